#!/usr/bin/env bash
# Runs CTest on one build (SNAPVANE_ARCH: i686 or x64) with one persistent
# wineserver for the whole run, in that build's own prefix; Wine's own output
# goes to that build's logs. Expects a display (scripts/test.sh starts Xvfb).
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/env.sh"
# The server's output goes to a file so that nothing waits on our pipes.
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
"$SNAPVANE_WINESERVER" -p > "$SNAPVANE_LOGS/wineserver.log" 2>&1
# Wine's own background programs (services, the desktop window) start with the
# first program; start them here, on this display, with their output in a
# file, so that no test's output pipe is held open by them.
timeout 120 "$SNAPVANE_WINE" wineboot > "$SNAPVANE_LOGS/warmup.log" 2>&1
timeout 120 "$SNAPVANE_WINE" rundll32 user32.dll,MessageBeep >> "$SNAPVANE_LOGS/warmup.log" 2>&1
status=0
ctest --test-dir "$SNAPVANE_BUILD/$SNAPVANE_ARCH" --output-on-failure -j2 --timeout 600 \
  --output-log "$SNAPVANE_LOGS/ctest.log" "$@" || status=$?
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
exit $status
