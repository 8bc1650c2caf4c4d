#!/usr/bin/env bash
# Runs CTest on the 64-bit build with one persistent wineserver for the whole
# run. Expects a display (scripts/test.sh starts Xvfb).
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/env.sh"
# The server's output goes to a file so that nothing waits on our pipes.
"$SNAPVANE_WINESERVER" -p > "$SNAPVANE_BUILD/wineserver.log" 2>&1
# Wine's own background programs (services, the desktop window) start with the
# first program; start them here, with their output in a file, so that no
# test's output pipe is held open by them.
timeout 120 "$SNAPVANE_WINE" wineboot > "$SNAPVANE_BUILD/warmup.log" 2>&1
timeout 120 "$SNAPVANE_WINE" rundll32 user32.dll,MessageBeep >> "$SNAPVANE_BUILD/warmup.log" 2>&1
status=0
ctest --test-dir "$SNAPVANE_BUILD/x64" --output-on-failure -j2 --timeout 600 "$@" || status=$?
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
exit $status
