#!/usr/bin/env bash
# Draws the sample map's pictures. Each picture has a plain frame and a large
# disc of its own colour in the middle, so that a scripted run can tell the
# pictures apart by the colour at the centre of the displayed picture.
# Needs ImageMagick's convert and python3 (for the metafiles). The generated
# files are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/field-survey"

# picture FILE WIDTH HEIGHT BACKGROUND DISC [convert options...]
picture() {
  local file=$1 width=$2 height=$3 background=$4 disc=$5; shift 5
  local radius=$(( (height < width ? height : width) * 3 / 10 ))
  local cx=$(( width / 2 )) cy=$(( height / 2 ))
  convert -size "${width}x${height}" "gradient:${background}-white" \
    -fill none -stroke '#303030' -strokewidth 4 -draw "rectangle 2,2 $((width - 3)),$((height - 3))" \
    -stroke none -fill "$disc" -draw "circle $cx,$cy $((cx + radius)),$cy" \
    -fill '#303030' -draw "rectangle 10,$((height - 22)) $((width / 3)),$((height - 14))" \
    "$@" "$file"
}

picture points/site01.jpg 320 240 '#8fb3d9' '#e07010' -quality 70
picture points/site01-sketch.gif 200 150 '#d9d2b3' '#109030' -colors 16
picture points/SITE02.JPG 320 240 '#b3d9b8' '#1040c0' -quality 70
picture tracks/track-a.gif 240 180 '#d9b3c9' '#c01090' -colors 16
picture BMP3:tracks/track-a-start.bmp 160 120 '#c9c9c9' '#10a0a0' -type Palette
picture BMP3:plots/plot-north.bmp 160 120 '#e6ddc0' '#806020' -type Palette
picture plots/plot-north.jpg 320 240 '#c0d0e6' '#a01010' -quality 70
picture boreholes/bh01.jpg 320 240 '#dddddd' '#000080' -quality 70
picture benchmarks/bm01.gif 200 150 '#eeeecc' '#ff00ff' -colors 16
picture shared/overview.jpg 400 300 '#a9c6a0' '#f0d000' -quality 70

python3 ../make-metafile.py points/site02-plan.wmf '#2080ff'
python3 ../make-metafile.py plots/plot-south.wmf '#20b040'
