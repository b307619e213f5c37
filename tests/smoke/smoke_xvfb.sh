#!/usr/bin/env bash
# Starts the installed program in a real X server and checks it from outside:
# one window "Ostrovel V1.0.0" with a 1028 x 614 client area, the brown label
# colour, a preview on the white canvas, and Alt+E ending it.
# Usage: smoke_xvfb.sh BUILD_DIR ARTIFACT_DIR
set -euo pipefail
build=$1
artifacts=$2
for tool in Xvfb xdotool xwininfo import convert; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
mkdir -p "$artifacts"
work=$(mktemp -d)
cleanup() { [ -n "${app:-}" ] && kill "$app" 2>/dev/null; [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# A picture to preview: 200 x 100, red, so the canvas shows white above and below it.
mkdir -p "$work/pics" && convert -size 200x100 xc:'rgb(220,0,0)' "BMP3:$work/pics/a.bmp"

exec 3< <(Xvfb -displayfd 1 -screen 0 1400x900x24 -nolisten tcp 2>/dev/null)
xvfb=$!
read -r -t 20 display <&3
export DISPLAY=":$display"
cd "$work/pics"
QT_QPA_PLATFORM=xcb "$work/prefix/bin/ostrovel" >"$work/app.log" 2>&1 &
app=$!

win=$(xdotool search --sync --onlyvisible --name '^Ostrovel V1\.0\.0$' | head -n 1)
count=$(xdotool search --onlyvisible --name '^Ostrovel' | wc -l)
[ "$count" -eq 1 ] || { echo "FAIL: $count windows"; exit 1; }
size=$(xwininfo -id "$win" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$size" = "1028x614" ] || { echo "FAIL: client area $size"; exit 1; }

pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
# The first list entry sits at the top of the file list (frame at 805, list at 6,180).
xdotool mousemove --window "$win" 840 190 click 1
sleep 1
import -window "$win" "$artifacts/smoke-window.png"
# Somewhere in the brown caption "Ausgabegröße wählen" the text is drawn in full colour.
brown=$(convert "$artifacts/smoke-window.png" -crop 120x16+811+15 +repage -fuzz 12% -fill black +opaque 'rgb(128,64,0)' -fill white -opaque 'rgb(128,64,0)' -format '%[fx:mean]' info:)
awk -v m="$brown" 'BEGIN{exit !(m > 0)}' || { echo "FAIL: no brown caption pixels"; exit 1; }
[ "$(pixel "$artifacts/smoke-window.png" 79 10)" = "255,255,255" ] || { echo "FAIL: canvas background $(pixel "$artifacts/smoke-window.png" 79 10)"; exit 1; }
red=$(pixel "$artifacts/smoke-window.png" 79 79)
[ "${red%%,*}" -gt 180 ] || { echo "FAIL: preview pixel $red"; exit 1; }

xdotool key --window "$win" alt+e
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "FAIL: Alt+E did not end the program"; exit 1; fi
app=
echo "PASS: window, screenshot $artifacts/smoke-window.png, Alt+E"
