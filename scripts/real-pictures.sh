#!/usr/bin/env bash
# Real-world test pictures through the viewer: the JPEG, GIF, bitmap,
# metafile and PNG files of the test suites that Debian's source packages of
# image libraries ship, each loaded as the viewer loads it into its box (one
# child process per batch, a crash or a hang ending only its file's reading),
# and each read by another reader too: ImageMagick, or libwmf's wmf2svg for
# metafiles. Prints what the viewer shows and refuses, and the files another
# reader shows but the viewer refuses, by content. See docs/security.md.
#
#   scripts/real-pictures.sh [--arch i686|x64]
#
#   build/real-pictures/src/                the source packages, fetched once
#   build/real-pictures/pictures.txt        the files, one a line
#   build/real-pictures/report-ARCH.tsv     a row per file: the viewer's outcome, time, message; the other reader's
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
while [ $# -gt 0 ]; do
  case $1 in
    --arch) export SNAPVANE_ARCH=$2; shift 2 ;;
    *) echo "usage: scripts/real-pictures.sh [--arch i686|x64]" >&2; exit 2 ;;
  esac
done
. "$ROOT/scripts/env.sh"
arch=$SNAPVANE_ARCH
work=$SNAPVANE_BUILD/real-pictures
src=$work/src
began=$(date +%s)

# The suites: pillow's (bitmaps, GIFs, a metafile, JPEGs), giflib's,
# libjpeg-turbo's, gdk-pixbuf's, libpng's, and libwmf's metafiles where the
# archive serves them. About 55 MB to fetch.
mkdir -p "$work"
for package in pillow giflib libjpeg-turbo gdk-pixbuf libpng1.6 libwmf; do
  if snapvane_debian_source "$package" "$src" > "$work/fetch-$package.log" 2>&1; then
    rm -f "$work/fetch-$package.log"
  else
    echo "real-pictures: $package could not be fetched, going on without it (see $work/fetch-$package.log)" >&2
  fi
done

list=$work/pictures.txt
find "$src" -mindepth 2 -type f -not -path '*/.pc/*' |
  grep -iE '\.(jpe?g|gif|bmp|wmf|png)$' | LC_ALL=C sort > "$list"
echo "real-pictures: $(wc -l < "$list") files from $(find "$src" -mindepth 1 -maxdepth 1 -type d | wc -l) source packages"

cmake --build "$SNAPVANE_BUILD/$arch" --target real_picture_sweep > /dev/null

# What the file is by its first bytes, with what sets it apart among its kind.
content_kind() {  # file
  local magic; magic=$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')
  case $magic in
    ffd8ff*) echo JPEG ;;
    47494638*) echo GIF ;;
    424d*) echo "BMP, info header $(od -An -tu4 -j14 -N4 "$1" | tr -d ' ') bytes" ;;
    d7cdc69a*) echo "WMF, placeable" ;;
    01000900*|02000900*) echo "WMF, no placeable header" ;;
    89504e47*) echo PNG ;;
    *) echo "unknown content" ;;
  esac
}

# The other reader: "shown W x H [N frames]", "refused", or "unknown" where
# none is at hand.
another_reader() {  # file kind
  local out
  case $2 in
    WMF*)
      command -v wmf2svg > /dev/null || { echo unknown; return; }
      if out=$(timeout 30 wmf2svg -o /dev/stdout "$1" 2> /dev/null) && [ -n "$out" ]; then
        echo "shown $(grep -o -m1 'width="[0-9.]*" *height="[0-9.]*"' <<< "$out" | tr -dc '0-9. ' | awk '{print $1 " x " $2}')"
      else echo refused; fi ;;
    *)
      if out=$(timeout 60 identify -format '%w %h %m %[interlace]\n' "$1" 2> /dev/null) && [ -n "$out" ]; then
        awk -v n="$(wc -l <<< "$out")" 'NR == 1 { printf "shown %s x %s %s", $1, $2, $3;
          if ($4 != "None") printf " interlaced"; if (n > 1) printf ", %d frames", n; print "" }' <<< "$out"
      else echo refused; fi ;;
  esac
}

reference=$work/reference.tsv
: > "$reference"
while IFS= read -r file; do
  kind=$(content_kind "$file")
  printf '%s\t%s\t%s\n' "$kind" "$(another_reader "$file" "$kind")" "${file#"$src/"}" >> "$reference"
done < "$list"

report=$work/report-$arch.tsv
sed 's|/|\\|g; s|^|Z:|' "$list" > "$work/pictures-windows.txt"
winpath() { echo "Z:${1//\//\\}"; }
sweep_began=$(date +%s)
SNAPVANE_WINE_TIMEOUT=${SNAPVANE_WINE_TIMEOUT:-7200} xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$ROOT/scripts/wine-run" "$SNAPVANE_BIN/real_picture_sweep.exe" \
  "$(winpath "$work/pictures-windows.txt")" "$(winpath "$report.part")" 2> "$SNAPVANE_LOGS/real-pictures-wine.log" |
  tr -d '\r'
"$SNAPVANE_WINESERVER" -k > /dev/null 2>&1 || true
sweep_seconds=$(( $(date +%s) - sweep_began ))

# The report: the viewer's columns, then the file's content and the other reader's verdict.
paste <(tail -n +2 "$report.part" | cut -f3-6) "$reference" |
  awk -F'\t' 'BEGIN { OFS = "\t"; print "file", "viewer", "ms", "error", "message", "content", "another reader" }
              { print $7, $1, $2, $3, $4, $5, $6 }' > "$report"
rm -f "$report.part"

echo
echo "real-pictures: $(date -u '+%Y-%m-%d %H:%M UTC'), the $arch build at $(git -C "$ROOT" rev-parse --short HEAD);" \
  "the sweep took ${sweep_seconds} s, all $(( $(date +%s) - began )) s"
awk -F'\t' 'NR > 1 { ++n; ++count[$2]; if (!($2 == "shown" || $2 == "refused")) bad = bad "  " $2 ": " $1 " (" $5 ")\n" }
  END { printf "total %d: shown %d, refused %d, errors %d, crashes %d, hangs %d\n", n,
          count["shown"], count["refused"], count["error"], count["crash"], count["hang"]; printf "%s", bad }' "$report"
tail -n +2 "$report" | cut -f1,3 | sort -t$'\t' -k2,2n |
  awk -F'\t' '{ ms[NR] = $2; slowest = $1 } END { printf "time per file: median %d ms, slowest %d ms (%s)\n", ms[int((NR + 1) / 2)], ms[NR], slowest }'
echo "by content (viewer shown/refused; another reader shown/refused/unknown):"
tail -n +2 "$report" | awk -F'\t' '{ kind = $6; sub(/,.*/, "", kind)
    ++total[kind]; if ($2 == "shown") ++shown[kind]; else if ($2 == "refused") ++refused[kind]
    if ($7 ~ /^shown/) ++other[kind]; else if ($7 == "refused") ++otherRefused[kind] }
  END { for (k in total) printf "  %-16s %4d: %4d / %-4d %4d / %d / %d\n", k, total[k], shown[k], refused[k], other[k],
          otherRefused[k], total[k] - other[k] - otherRefused[k] }' | sort
echo "refused, by the viewer's message:"
awk -F'\t' 'NR > 1 && $2 == "refused" { sub(/: .*/, ": ...", $5); print $5 }' "$report" | sort | uniq -c | sort -rn
echo "shown by another reader, refused by the viewer:"
awk -F'\t' 'NR > 1 && $2 != "shown" && $7 ~ /^shown/ { print }' "$report" |
  sort -t$'\t' -k6,6 -k1,1 |
  awk -F'\t' '{ kind = $6; sub(/,.*/, "", kind); if (kind != last) { print "  " kind ":"; last = kind }
              print "    " $1 "  [" $6 "; " substr($7, 7) "]  viewer: " $2 ", " $5 }'
printf 'shown by the viewer, refused by another reader: %s\n' \
  "$(awk -F'\t' 'NR > 1 && $2 == "shown" && $7 == "refused"' "$report" | wc -l)"
echo "report: $report"
