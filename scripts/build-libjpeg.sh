#!/usr/bin/env bash
# Fetches libjpeg-turbo from Debian's own source package and cross-builds its
# static library, SIMD included, for both architectures of the DLL. Run by
# setup.sh; does nothing for an architecture that is built already.
#
#   build/third_party/src                       the unpacked source package
#   build/third_party/libjpeg-turbo-<arch>/     include/ and lib/libjpeg.a
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/env.sh"
THIRD_PARTY=$SNAPVANE_BUILD/third_party

built() { [ -f "$THIRD_PARTY/libjpeg-turbo-$1/lib/libjpeg.a" ] && [ -f "$THIRD_PARTY/libjpeg-turbo-$1/share/licenses/libjpeg-turbo-notices.txt" ]; }
if built i686 && built x86_64; then exit 0; fi

source_dir() { find "$THIRD_PARTY/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' 2>/dev/null | sort | tail -n 1; }
snapvane_debian_source libjpeg-turbo "$THIRD_PARTY/src"
SOURCE=$(source_dir)
[ -n "$SOURCE" ] || { echo "build-libjpeg: the libjpeg-turbo source package was not unpacked" >&2; exit 1; }

build() {  # arch, toolchain file
  local arch=$1 toolchain=$2
  built "$arch" && return 0
  local work=$THIRD_PARTY/libjpeg-turbo-$arch-build prefix=$THIRD_PARTY/libjpeg-turbo-$arch
  echo "build-libjpeg: building $(basename "$SOURCE") for $arch"
  cmake -S "$SOURCE" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm > "$work.log" 2>&1 \
    || { cat "$work.log" >&2; exit 1; }
  # Only the library: none of its programs or tests.
  cmake --build "$work" --target jpeg-static >> "$work.log" 2>&1 || { tail -n 40 "$work.log" >&2; exit 1; }
  mkdir -p "$prefix/include" "$prefix/lib" "$prefix/share/licenses"
  cp "$SOURCE/jpeglib.h" "$SOURCE/jmorecfg.h" "$SOURCE/jerror.h" "$work/jconfig.h" "$prefix/include/"
  # The notices its licences ask a binary to carry (the DLL holds them as a resource).
  { echo "Snapvane.dll contains libjpeg-turbo $(basename "$SOURCE" | sed 's/^libjpeg-turbo-//'), built from Debian's source package."
    echo "This software is based in part on the work of the Independent JPEG Group."
    echo; cat "$SOURCE/LICENSE.md"; echo; cat "$SOURCE/README.ijg"; } > "$prefix/share/licenses/libjpeg-turbo-notices.txt"
  cp "$work/libjpeg.a" "$prefix/lib/libjpeg.a.part"
  mv "$prefix/lib/libjpeg.a.part" "$prefix/lib/libjpeg.a"
}
build i686 mingw-i686.cmake
build x86_64 mingw-x86_64.cmake
