#!/usr/bin/env bash
# Puts Wine's own fonts (Tahoma and its bold face, Marlett for the title bar's
# buttons, and the rest) into a Wine prefix. Debian's Wine does not read the
# fonts of its own data folder: without these copies the viewer's Tahoma is
# replaced by whatever the system matches, with other widths, and the title
# bar's buttons show the letters that stand for their symbols.
#
#   scripts/wine-fonts.sh PREFIX
set -euo pipefail
prefix=${1:?usage: wine-fonts.sh PREFIX}
fonts=$prefix/drive_c/windows/Fonts
mkdir -p "$fonts"
for font in /usr/share/wine/fonts/*.ttf; do
  [ -f "$fonts/$(basename "$font")" ] || cp "$font" "$fonts/"
done
