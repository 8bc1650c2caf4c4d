#!/usr/bin/env bash
# Sets up, builds the stand-in host with the component, and opens the bundled
# sample map in it: the 32-bit build under 32-bit Wine wherever this machine
# runs 32-bit programs, otherwise the 64-bit build under wine64. With an X
# display ($DISPLAY) the host window opens there for a person to use. Without
# one, a bundled script of the sample runs under Xvfb instead and the
# screenshots of the map and of the viewer are written to build/screenshots.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh"
. "$ROOT/scripts/env.sh"

cmake --build "$SNAPVANE_BUILD/$SNAPVANE_ARCH" --target snapvane snapvane_host record_command_line
case $SNAPVANE_ARCH in
  i686) echo "run: the 32-bit build (the shipped Snapvane.dll) under 32-bit Wine" ;;
  x64) echo "run: the 64-bit build under wine64 ($( snapvane_runs_32bit && echo "chosen by SNAPVANE_ARCH" ||
                                                  echo "this machine cannot run 32-bit programs"))" ;;
esac

HOST_LOG=$SNAPVANE_LOGS/host.log
cd "$ROOT/samples"   # picture names that are written relative resolve here

# The host's exit code, said plainly with the reason the host gave.
say_how_the_host_ended() {  # exit code, the host's log of the run (may be empty)
  local code=$1 runlog=${2:-}
  [ "$code" = 0 ] && return 0
  local reason=
  if [ -n "$runlog" ] && [ -f "$runlog" ]; then
    reason=$(tr -d '\r' < "$runlog" | sed -n 's/.*"event": *"error".*"text": *"\([^"]*\)".*/\1/p' | tail -1)
  fi
  case $code in
    124|137) reason=${reason:-"it did not end in time and was stopped"} ;;
  esac
  echo "run: FAILED: the stand-in host ended with exit code $code${reason:+: $reason}" >&2
  echo "run: the host's own output is in $HOST_LOG" >&2
}

# Nothing of an earlier Wine session of this prefix may linger: its desktop
# belongs to the display it was started on.
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true

if [ -n "${DISPLAY:-}" ]; then
  echo "run: opening samples/field-survey.json in the stand-in host on $DISPLAY"
  echo "run: the host's own output goes to $HOST_LOG"
  status=0
  "$ROOT/scripts/wine-run" "$SNAPVANE_BIN/snapvane_host.exe" field-survey.json > "$HOST_LOG" 2>&1 || status=$?
  "$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
  say_how_the_host_ended "$status"
  exit $status
fi

SHOTS="$SNAPVANE_BUILD/screenshots"
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.bmp "$SHOTS"/*.png "$SHOTS"/sample-tour.log
echo "run: no display; running the sample tour under Xvfb"
status=0
SNAPVANE_WINE_TIMEOUT=180 xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$ROOT/scripts/wine-run" "$SNAPVANE_BIN/snapvane_host.exe" \
  --script "$ROOT/tests/hostapp/scripts/sample-tour.json" \
  --log "$SHOTS/sample-tour.log" --screenshots "$SHOTS" > "$HOST_LOG" 2>&1 || status=$?
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
for bmp in "$SHOTS"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "run: the run's log is $SHOTS/sample-tour.log"
if ls "$SHOTS"/*.png > /dev/null 2>&1; then
  echo "run: screenshots of the map and the viewer:"
  ls -1 "$SHOTS"/*.png | sed 's/^/  /'
else
  echo "run: no screenshots were written"
fi
say_how_the_host_ended "$status" "$SHOTS/sample-tour.log"
exit $status
