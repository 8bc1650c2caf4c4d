#!/usr/bin/env bash
# Makes the photographs of the JPEG tests and, for each, the same photograph
# scaled by ImageMagick to the place it fills in the picture box:
#
#   make-jpeg-pictures.sh FOLDER BOX-WIDTH BOX-HEIGHT
#
# NAME.jpg beside NAME.ref.bmp (upright, 24-bit), and small JPEGs that the
# damaged-picture sweep mutates.
set -euo pipefail
folder=$1 boxWidth=$2 boxHeight=$3
mkdir -p "$folder"
cd "$folder"
rm -f complete

# The place of a WIDTH x HEIGHT picture in the box, as the viewer fits it.
place() {
  awk -v w="$1" -v h="$2" -v bw="$boxWidth" -v bh="$boxHeight" 'function round(x) { return int(x + 0.5) }
    BEGIN { s = bw / w; if (bh / h < s) s = bh / h
            pw = round(w * s); ph = round(h * s); if (pw < 1) pw = 1; if (ph < 1) ph = 1
            if (pw > bw) pw = bw; if (ph > bh) ph = bh; printf "%dx%d", pw, ph }'
}
# reference NAME UPRIGHT-SOURCE WIDTH HEIGHT [convert options]
reference() {
  local name=$1 source=$2 size; size=$(place "$3" "$4"); shift 4
  convert "$source" "$@" -resize "$size!" -type TrueColor "BMP3:$name.ref.bmp"
}

# One smooth photograph-like plasma; the others are made from it.
convert -size 2732x2048 -seed 7 plasma:fractal -blur 0x3 master.ppm

convert master.ppm -resize 2400x1800! -quality 92 baseline.jpg                 # 3/8 covers the box
reference baseline baseline.jpg 2400 1800
convert master.ppm -resize 1366x1024! -quality 90 -interlace JPEG progressive.jpg  # 4/8
reference progressive progressive.jpg 1366 1024
convert master.ppm -colorspace Gray -quality 90 grey.jpg                       # 2/8, one component
reference grey grey.jpg 2732 2048
convert master.ppm -resize 1000x750! -colorspace CMYK -quality 95 cmyk.jpg     # 6/8, Adobe CMYK
reference cmyk cmyk.jpg 1000 750 -colorspace sRGB
convert master.ppm -resize 1600x1200! restart.ppm
cjpeg -quality 90 -restart 1 -outfile restart.jpg restart.ppm                   # a restart marker every row
reference restart restart.jpg 1600 1200
# Stored lying on its side, with an EXIF orientation (6, a LONG) that turns
# it upright.
convert master.ppm -resize 1200x1600! upright.ppm
convert upright.ppm -rotate -90 -quality 92 turned-stored.jpg
python3 - turned-stored.jpg turned.jpg <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
tiff = b'II' + struct.pack('<HI', 42, 8) + struct.pack('<H', 1) + struct.pack('<HHII', 0x0112, 4, 1, 6) + struct.pack('<I', 0)
exif = b'Exif\0\0' + tiff
open(sys.argv[2], 'wb').write(data[:2] + b'\xff\xe1' + struct.pack('>H', len(exif) + 2) + exif + data[2:])
PY
reference turned upright.ppm 1200 1600
# A small progressive picture of one colour, for cutting short.
convert -size 160x120 xc:'rgb(40,160,220)' -quality 90 -interlace JPEG plain-progressive.jpg
# Small seeds of the damaged-picture sweep: progressive, and grey with
# restart markers.
convert -size 48x32 -seed 3 plasma:fractal -quality 85 -interlace JPEG small-progressive.jpg
convert -size 48x32 -seed 5 plasma:fractal -colorspace Gray small-grey.pgm
cjpeg -quality 85 -restart 1 -outfile small-grey-restart.jpg small-grey.pgm

rm -f master.ppm restart.ppm upright.ppm turned-stored.jpg small-grey.pgm
touch complete
