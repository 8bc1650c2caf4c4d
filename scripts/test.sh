#!/usr/bin/env bash
# Sets everything up, builds both architectures and runs every test under Wine
# inside Xvfb.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh"
. "$ROOT/scripts/env.sh"

cmake --build "$SNAPVANE_BUILD/x64"
cmake --build "$SNAPVANE_BUILD/i686"

exec xvfb-run -a -s "-screen 0 1280x1024x24" "$ROOT/scripts/ctest-under-wine.sh" "$@"
