#!/usr/bin/env bash
# Fuzzes every entry of the pictures room that takes a file's bytes: builds
# the room natively with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build/native), makes seed corpora from the
# pictures the project and its tests make, and runs each libFuzzer target for
# SECONDS (60 unless said). Any finding fails the run; its reproducer stays in
# build/native/findings/TARGET/, and once mended it belongs in
# tests/pictures/regressions/TARGET/.
#
#   scripts/fuzz.sh [seconds]
#   SNAPVANE_FUZZ_TARGETS="bitmap gif" scripts/fuzz.sh 30   # only those targets
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/env.sh"
seconds=${1:-60}
NATIVE=$SNAPVANE_BUILD/native
TARGETS=(${SNAPVANE_FUZZ_TARGETS:-identify metafile gif exif jpeg bitmap})

"$ROOT/scripts/native-build.sh" || exit 1

# seeds TARGET: the seed folder of one target, made once.
make_seeds() {
  local seeds=$NATIVE/seeds pictures=$NATIVE/seeds/pictures
  [ -f "$seeds/complete" ] && return 0
  rm -rf "$seeds"; mkdir -p "$pictures"
  # The sample map's pictures, and the small JPEGs the JPEG tests make.
  find "$ROOT/samples" -type f \( -iname '*.jpg' -o -iname '*.gif' -o -iname '*.bmp' -o -iname '*.wmf' \) \
    -exec cp {} "$pictures/" \;
  local jpegs
  jpegs=$(dirname "$(ls "$SNAPVANE_BUILD"/*/bin/jpeg-pictures/complete 2>/dev/null | head -1)")
  if [ "$jpegs" = . ]; then
    jpegs=$NATIVE/jpeg-pictures
    "$ROOT/tests/viewer/make-jpeg-pictures.sh" "$jpegs" 683 512 > /dev/null
  fi
  find "$jpegs" -name '*.jpg' -size -64k -exec cp {} "$pictures/" \;
  # The pictures the viewer's tests craft byte by byte, written by a Windows
  # program of the build that runs here.
  local arch; arch=$(snapvane_default_arch)
  snapvane_use_arch "$arch"
  if cmake --build "$SNAPVANE_BUILD/$arch" --target picture_seed_writer > "$NATIVE/seed-writer.log" 2>&1; then
    timeout 120 "$SNAPVANE_WINE" "$SNAPVANE_BIN/picture_seed_writer.exe" "Z:$pictures" >> "$NATIVE/seed-writer.log" 2>&1 ||
      echo "fuzz: the crafted seed pictures were not written (see $NATIVE/seed-writer.log)"
    timeout 60 "$SNAPVANE_WINESERVER" -k 2>/dev/null || true
  fi
  for target in "${TARGETS[@]}"; do mkdir -p "$seeds/$target"; done
  cp "$pictures"/* "$seeds/identify/"
  cp "$pictures"/*.{wmf,emf} "$seeds/metafile/" 2>/dev/null
  cp "$pictures"/*.gif "$seeds/gif/" 2>/dev/null
  cp "$pictures"/*.jpg "$seeds/jpeg/" 2>/dev/null
  cp "$pictures"/*.bmp "$seeds/bitmap/" 2>/dev/null
  # EXIF: the APP1 segments of the JPEGs that have one.
  python3 - "$pictures" "$seeds/exif" <<'PY'
import pathlib, sys
for path in pathlib.Path(sys.argv[1]).glob('*.jpg'):
    data, at = path.read_bytes(), 2
    while at + 4 <= len(data) and data[at] == 0xFF and data[at + 1] not in (0xDA, 0xD9):
        length = int.from_bytes(data[at + 2:at + 4], 'big')
        if data[at + 1] == 0xE1 and data[at + 4:at + 10] == b'Exif\0\0':
            (pathlib.Path(sys.argv[2]) / (path.stem + '.exif')).write_bytes(data[at + 4:at + 2 + length])
        at += 2 + length
PY
  touch "$seeds/complete"
}
make_seeds

status=0
printf 'fuzz: %-12s %10s %8s %s\n' target executions corpus findings
for target in "${TARGETS[@]}"; do
  corpus=$NATIVE/corpus/$target findings=$NATIVE/findings/$target log=$NATIVE/fuzz-$target.log
  mkdir -p "$corpus" "$findings"
  # A slow input (20 s) or one that takes 2 GB is a finding too: the viewer
  # bounds both.
  "$NATIVE/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$NATIVE/seeds/$target" > "$log" 2>&1
  result=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # libFuzzer keeps inputs slower than 10 s as slow-unit-*: on a busy machine
  # they are the machine's, and an input slower than the limit fails anyway.
  found=$(find "$findings" -type f ! -name 'slow-unit-*' | wc -l)
  printf 'fuzz: %-12s %10s %8s %s\n' "$target" "${executions:-?}" "$(find "$corpus" -type f | wc -l)" "$found"
  if [ "$result" != 0 ] || [ "$found" != 0 ]; then
    echo "fuzz: FAILED: $target found a fault (exit $result); reproducers in $findings, output in $log"
    grep -m 3 -E 'ERROR|SUMMARY|runtime error' "$log" | sed 's/^/fuzz:   /'
    status=1
  fi
done
exit $status
