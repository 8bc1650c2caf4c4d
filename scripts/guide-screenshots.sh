#!/usr/bin/env bash
# Makes the screenshots of the user guide (docs/user-guide.md) again: the
# stand-in host plays docs/user-guide/tour.json on the bundled sample map
# (both copied to C:\GIS of the prefix),
# with the 32-bit build (the product) under 32-bit Wine in Xvfb, and the
# screenshots it takes become the PNG files in docs/user-guide/.
#
#   scripts/guide-screenshots.sh [--build DIR]    (build/x64 runs under wine64)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build/i686
[ "${1:-}" = --build ] && BUILD=$(cd "$2" && pwd)

"$ROOT/scripts/setup.sh"
cmake --build "$BUILD" --target snapvane snapvane_host record_command_line

case $(x86_64-w64-mingw32-objdump -f "$BUILD/bin/Snapvane.dll") in
  *pei-i386*) export WINEARCH=win32; WINE=/usr/lib/wine/wine ;;
  *) export WINEARCH=win64; WINE=/usr/lib/wine/wine64 ;;
esac
# A prefix of the screenshots' own, so that they look the same on every machine.
export WINEPREFIX=$BUILD/guide-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 "$WINE" wineboot --init > "$BUILD/guide-wineboot.log" 2>&1
  timeout 120 /usr/lib/wine/wineserver -w
  timeout 120 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >> "$BUILD/guide-wineboot.log" 2>&1
  timeout 120 /usr/lib/wine/wineserver -w
fi
"$ROOT/scripts/wine-fonts.sh" "$WINEPREFIX"

# The sample map and the tour go to C:\GIS, so that the folders the pictures
# show read as a user's would, the same on every machine.
GIS=$WINEPREFIX/drive_c/GIS
rm -rf "$GIS"
mkdir -p "$GIS"
cp -r "$ROOT/samples/field-survey" "$ROOT/samples/field-survey.json" "$ROOT/docs/user-guide/tour.json" "$GIS/"

SHOTS=$BUILD/guide-screenshots
rm -rf "$SHOTS"
mkdir -p "$SHOTS"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" timeout --kill-after=10 300 "$WINE" "$BUILD/bin/snapvane_host.exe" \
  --script 'C:\GIS\tour.json' --log "$SHOTS/tour.log" --screenshots "$SHOTS" \
  > "$SHOTS/host.out" 2>&1 || status=$?
timeout 120 /usr/lib/wine/wineserver -w || true
[ $status = 0 ] || { echo "guide-screenshots: the tour failed ($status), see $SHOTS/tour.log" >&2; exit 1; }

# The tour's windows, in the order it shows them.
declare -A NAMES=(
  [map]=map                        # the sample map with Picture Display chosen
  [viewer-1]=viewer                # a click on site S-01
  [message-1]=picture-not-found    # site S-03 names a picture that is not there
  [message-2]=no-images-found      # a click on S-04, which names no pictures
  [report-1]=call-stack-report     # OnCreate given something that is no application
)
for shot in "${!NAMES[@]}"; do
  [ -f "$SHOTS/$shot.bmp" ] || { echo "guide-screenshots: the tour made no $shot.bmp" >&2; exit 1; }
  convert "$SHOTS/$shot.bmp" -strip "$ROOT/docs/user-guide/${NAMES[$shot]}.png"
done
echo "guide-screenshots: wrote ${#NAMES[@]} screenshots to docs/user-guide/ (log: $SHOTS/tour.log)"
