#!/usr/bin/env bash
# Makes doc/screenshot.png: the installed window in a virtual X server, with a
# folder of generated pictures and one of them previewed at 320 x 240.
# Usage: doc/screenshot.sh BUILD_DIR   (needs xvfb, xdotool, imagemagick)
set -euo pipefail
build=$(realpath "$1")
out=$(realpath "$(dirname "$0")")/screenshot.png
work=$(mktemp -d)
cleanup() { [ -n "${app:-}" ] && kill "$app" 2>/dev/null; [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
mkdir -p "$work/Bilder" && cd "$work/Bilder"
convert -size 640x400 gradient:'rgb(120,170,230)'-'rgb(235,240,250)' \
  -fill 'rgb(70,120,60)' -draw 'polygon 0,400 0,260 180,200 360,270 520,210 640,250 640,400' \
  -fill 'rgb(250,220,90)' -draw 'circle 500,90 540,90' Strand.jpg
convert -size 300x450 gradient:'rgb(200,80,40)'-'rgb(250,200,120)' Abend.jpg
convert -size 400x400 pattern:checkerboard -scale 400x400 Muster.gif
convert -size 500x300 xc:'rgb(40,90,150)' -fill white -draw 'rectangle 60,60 440,240' Plakat.bmp
cp Strand.jpg Urlaub_001.jpg && cp Abend.jpg Urlaub_002.jpg
exec 3< <(Xvfb -displayfd 1 -screen 0 1100x700x24 -nolisten tcp 2>/dev/null)
xvfb=$!
read -r -t 20 display <&3
export DISPLAY=":$display"
QT_QPA_PLATFORM=xcb "$work/prefix/bin/ostrovel" >/dev/null 2>&1 &
app=$!
win=$(xdotool search --sync --onlyvisible --name '^Ostrovel V' | head -n 1)
# Width, height and colour fields; then the first entry (Abend.jpg) and down to Strand.jpg.
xdotool mousemove --window "$win" 849 44 click 1 key ctrl+a type 320
xdotool mousemove --window "$win" 939 44 click 1 key ctrl+a type 240
xdotool mousemove --window "$win" 849 89 click 1 key ctrl+a type '240,235,225'
xdotool mousemove --window "$win" 840 187 click 1 key Down Down Down
sleep 1
import -window "$win" "$work/shot.png"
convert "$work/shot.png" -colors 64 -define png:compression-level=9 "PNG8:$out"
ls -l "$out"
