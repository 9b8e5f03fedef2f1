#!/bin/sh
# Draws docs/scenes.png: one labelled frame per scene, captured with
# demo_capture and laid out with ImageMagick's montage (needs imagemagick and
# a DejaVu font, fonts-dejavu-core).
#   scripts/make_contact_sheet.sh [BIN_DIR]   (default build/native/bin)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$root/build/native/bin}" && pwd)
[ -x "$bin/demo_capture" ] || { echo "make_contact_sheet.sh: build the native preset first ($bin/demo_capture)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One moment per scene, where its picture is typical: scene, clock, label.
scenes='1 3.000 320x240
2 9.000 160x120
3 13.000 80x60
4 15.300 40x30
5 16.000 20x15
6 16.450 10x15
7 16.950 20x15
8 17.450 40x30
9 20.000 80x60
10 24.000 160x120
11 27.800 320x240
12 33.000 particles
13 47.000 fading
14 90.000 cube_field'
clocks=$(echo "$scenes" | awk '{printf "%s%s", (NR > 1 ? "," : ""), $2}')
(cd "$bin" && ./demo_capture --at "$clocks" --out "$work" >/dev/null)
set --
while read -r scene clock label; do
  set -- "$@" -label "$scene: ${clock%?} s, $(echo "$label" | tr _ ' ')" "$work/frame-$clock.png"
done <<LIST
$scenes
LIST
montage -font DejaVu-Sans -pointsize 11 "$@" -tile 7x -geometry 160x120+2+2 -background '#202020' -fill white \
  "$work/sheet.png"
# A small palette keeps the file small: the pictures have few colours.
convert "$work/sheet.png" -colors 32 -strip -define png:compression-level=9 "$root/docs/scenes.png"
echo "wrote $root/docs/scenes.png ($(wc -c <"$root/docs/scenes.png") bytes)"
