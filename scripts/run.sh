#!/usr/bin/env bash
# Sets up, builds the 64-bit stand-in host with the component, and opens the
# bundled sample map in it under wine64. With an X display ($DISPLAY) the host
# window opens there for a person to use. Without one, a bundled script of the
# sample runs under Xvfb instead and the screenshots of the map and of the
# viewer are written to build/screenshots.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh"
. "$ROOT/scripts/env.sh"

cmake --build "$SNAPVANE_BUILD/x64" --target snapvane snapvane_host record_command_line

BIN="$SNAPVANE_BUILD/x64/bin"
cd "$ROOT/samples"   # picture names that are written relative resolve here

if [ -n "${DISPLAY:-}" ]; then
  echo "run: opening samples/field-survey.json in the stand-in host on $DISPLAY"
  echo "run: the host's own output goes to $SNAPVANE_BUILD/host.log"
  "$ROOT/scripts/wine-run" "$BIN/snapvane_host.exe" field-survey.json > "$SNAPVANE_BUILD/host.log" 2>&1 || true
  "$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
  exit 0
fi

SHOTS="$ROOT/build/screenshots"
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.bmp "$SHOTS"/*.png
echo "run: no display; running the sample tour under Xvfb"
status=0
SNAPVANE_WINE_TIMEOUT=180 xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$ROOT/scripts/wine-run" "$BIN/snapvane_host.exe" \
  --script "$ROOT/tests/hostapp/scripts/sample-tour.json" \
  --log "$SHOTS/sample-tour.log" --screenshots "$SHOTS" > "$SNAPVANE_BUILD/host.log" 2>&1 || status=$?
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
for bmp in "$SHOTS"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "run: the run's log is $SHOTS/sample-tour.log"
echo "run: screenshots of the map and the viewer:"
ls -1 "$SHOTS"/*.png 2>/dev/null | sed 's/^/  /'
exit $status
