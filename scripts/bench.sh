#!/usr/bin/env bash
# Benchmarks of the click-to-picture road (see docs/benchmarks.md). Builds
# the 32-bit build where this machine runs 32-bit
# programs (otherwise the 64-bit one; SNAPVANE_ARCH chooses), makes the
# pictures with ImageMagick, times libjpeg-turbo's djpeg on the JPEGs outside
# Wine, then runs the benchmark program under Wine in Xvfb and prints its table.
#
#   scripts/bench.sh                     # 5 runs per timing, 200 layers x 10000 features
#   SNAPVANE_BENCH_RUNS=9 scripts/bench.sh
#   SNAPVANE_BENCH_PICTURES=tiny.bmp,photo-12mp.bmp SNAPVANE_BENCH_MAP=0 scripts/bench.sh   # those pictures, no map
#   SNAPVANE_ARCH=x64 scripts/bench.sh    # the 64-bit build, where the 32-bit one would be chosen
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh"
. "$ROOT/scripts/env.sh"
arch=$SNAPVANE_ARCH
build=$SNAPVANE_BUILD/$arch
cmake --build "$build" --target snapvane_bench

pictures="$SNAPVANE_BUILD/bench-pictures"
mkdir -p "$pictures"
# picture FILE WIDTH HEIGHT [convert options]: a photograph-like plasma.
picture() {
  local file=$1 size=$2x$3 format=; shift 3
  case $file in
    *.bmp) format=BMP3: ;;      # an uncompressed 24-bit bitmap
    *-png.jpg) format=PNG24: ;;  # PNG content under a JPEG's name, as pictures saved from the web often are
  esac
  [ -f "$pictures/$file" ] || convert -size "$size" -seed 7 plasma:fractal -blur 0x1 "$@" "$format$pictures/$file"
}
picture photo-2mp.jpg 1632 1224 -quality 90
picture photo-12mp.jpg 4000 3000 -quality 90
picture photo-24mp.jpg 6000 4000 -quality 90
picture photo-12mp-progressive.jpg 4000 3000 -quality 90 -interlace JPEG
picture photo-12mp.bmp 4000 3000 -type TrueColor
picture large.gif 2400 1800 -colors 256
picture web-photo-png.jpg 1632 1224
picture tiny.bmp 64 48 -type TrueColor  # what showing the viewer costs whatever the picture
# The metafile is drawn by the benchmark program itself (ImageMagick writes none).

# djpeg outside Wine: a full decode, and a decode at the DCT scale the viewer
# chooses: the smallest m/8 whose output (rounded up, as libjpeg rounds)
# still covers the picture's place in the 683 x 512 box.
viewer_scale() {  # width height
  awk -v w="$1" -v h="$2" 'function round(x) { return int(x + 0.5) }
    BEGIN { s = 683 / w; if (512 / h < s) s = 512 / h
            pw = round(w * s); ph = round(h * s)
            for (m = 1; m < 8; ++m) if (int((w * m + 7) / 8) >= pw && int((h * m + 7) / 8) >= ph) break
            print m }'
}
runs=${SNAPVANE_BENCH_RUNS:-5}
median_ms() {  # command...: the median of $runs timings in ms
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N); "$@" > /dev/null; end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2) { printf "%.1f", $1 / 1000 }'
}
: > "$pictures/djpeg.txt"
if command -v djpeg > /dev/null; then
  for file in photo-2mp.jpg photo-12mp.jpg photo-24mp.jpg photo-12mp-progressive.jpg; do
    read -r width height < <(identify -format '%w %h\n' "$pictures/$file")
    scale=$(viewer_scale "$width" "$height")
    full=$(median_ms djpeg -outfile /dev/null "$pictures/$file")
    scaled=$(median_ms djpeg -scale "$scale/8" -outfile /dev/null "$pictures/$file")
    echo "$file $full $scaled $scale/8" >> "$pictures/djpeg.txt"
  done
else
  echo "bench: djpeg not installed (apt-get install libjpeg-turbo-progs); its columns stay empty" >&2
fi

out="$SNAPVANE_BUILD/bench-results-$arch.txt"
winpath() { echo "Z:${1//\//\\}"; }
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" "$ROOT/scripts/wine-run" "$SNAPVANE_BIN/snapvane_bench.exe" \
  "$(winpath "$pictures")" "$(winpath "$pictures/djpeg.txt")" > "$out" 2> "$SNAPVANE_LOGS/bench-wine.log" || status=$?
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
case $arch in
  i686) label="the 32-bit build (the shipped DLL) under 32-bit Wine" ;;
  x64) label="the 64-bit build under wine64$(snapvane_runs_32bit || echo " (this machine cannot run 32-bit programs)")" ;;
esac
echo "bench: $(date -u '+%Y-%m-%d %H:%M UTC'), $label, $(git -C "$ROOT" rev-parse --short HEAD)"
tr -d '\r' < "$out"
exit $status
