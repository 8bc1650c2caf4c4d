#!/usr/bin/env bash
# Builds the pictures room, its unit tests and its fuzz targets natively with
# Debian's clang, under AddressSanitizer and UndefinedBehaviorSanitizer, in
# build/native (native/CMakeLists.txt). Setup installs what it needs.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/env.sh"
NATIVE=$SNAPVANE_BUILD/native
if [ ! -f "$NATIVE/build.ninja" ]; then
  cmake -S "$ROOT/native" -B "$NATIVE" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ > "$SNAPVANE_BUILD/native-configure.log" 2>&1 ||
    { cat "$SNAPVANE_BUILD/native-configure.log" >&2; exit 1; }
fi
cmake --build "$NATIVE"
