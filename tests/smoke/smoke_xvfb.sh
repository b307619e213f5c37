#!/usr/bin/env bash
# Starts the installed program in a real X server and checks it from outside:
# one window "Ostrovel V1.0.0" with a 1028 x 614 client area, the brown label
# colour on the frame's own background over a canvas 1000 wide, a preview,
# a first export into the folder the program was started in, the folder
# chooser still answering after expanding a folder with a pipe in it, and
# Alt+E ending it.
# Usage: smoke_xvfb.sh BUILD_DIR ARTIFACT_DIR
set -euo pipefail
build=$1
artifacts=$2
for tool in Xvfb xdotool xwininfo import convert; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
mkdir -p "$artifacts"
work=$(mktemp -d)
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  # A reader still blocked on the pipe would keep its folder busy.
  [ -p "$work/pics/rohr/leitung" ] && { timeout 1 sh -c "echo > '$work/pics/rohr/leitung'" || true; }
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# A picture to preview: 200 x 100, red.
mkdir -p "$work/pics" && convert -size 200x100 xc:'rgb(220,0,0)' "BMP3:$work/pics/a.bmp"
# A folder whose pipe blocks any reader, beside a file only its content names.
mkdir -p "$work/pics/rohr/unter" && mkfifo "$work/pics/rohr/leitung" && echo '%PDF-1.4' >"$work/pics/rohr/unbekannt"

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
# Types into a field of the frame (frame at 805): click, select all, type.
typeInto() { xdotool mousemove --window "$win" "$1" "$2" click 1 key ctrl+a type "$3"; }
# Waits up to 10 s for a window named $1 to be there (1) or gone (0).
waitWindow() {
  for _ in $(seq 100); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    if [ "$2" = 1 ] && [ -n "$found" ]; then echo "$found"; return 0; fi
    if [ "$2" = 0 ] && [ -z "$found" ]; then return 0; fi
    sleep 0.1
  done
  return 1
}

# A canvas 1000 wide and green runs under the frame.
typeInto 850 44 1000
typeInto 850 89 0,255,0
# The first list entry sits at the top of the file list (frame at 805, list at 6,180).
xdotool mousemove --window "$win" 840 190 click 1
sleep 1
import -window "$win" "$artifacts/smoke-window.png"
shot="$artifacts/smoke-window.png"
# Somewhere in the brown caption "Ausgabegröße wählen" the text is drawn in full colour.
brown=$(convert "$shot" -crop 120x16+811+15 +repage -fuzz 12% -fill black +opaque 'rgb(128,64,0)' -fill white -opaque 'rgb(128,64,0)' -format '%[fx:mean]' info:)
awk -v m="$brown" 'BEGIN{exit !(m > 0)}' || { echo "FAIL: no brown caption pixels"; exit 1; }
[ "$(pixel "$shot" 79 10)" = "0,255,0" ] || { echo "FAIL: canvas background $(pixel "$shot" 79 10)"; exit 1; }
red=$(pixel "$shot" 500 79)
[ "${red%%,*}" -gt 180 ] || { echo "FAIL: preview pixel $red"; exit 1; }
# The frame paints its own background where the canvas runs under it.
for at in "808 300" "905 177" "905 2" "1020 10" "1000 150"; do
  # shellcheck disable=SC2086
  [ "$(pixel "$shot" $at)" != "0,255,0" ] || { echo "FAIL: canvas shows through the frame at $at"; exit 1; }
done

# Alt+S with the entry selected: the chooser starts in the folder the program
# was started in, and Enter writes the thumbnail there.
xdotool key --window "$win" alt+s
dialog=$(waitWindow '^Zielordner wählen$' 1) || { echo "FAIL: no target chooser"; exit 1; }
sleep 0.5
xdotool windowfocus --sync "$dialog" key Return
for _ in $(seq 100); do [ -f "$work/pics/thumb_a.jpg" ] && break; sleep 0.1; done
[ -f "$work/pics/thumb_a.jpg" ] || { echo "FAIL: no thumbnail in the start folder"; exit 1; }
waitWindow '^Zielordner wählen$' 0 || { echo "FAIL: target chooser stayed"; exit 1; }

# Alt+B, then open the folder with the pipe: the chooser must still answer.
xdotool key --window "$win" alt+b
dialog=$(waitWindow '^Bildordner wählen$' 1) || { echo "FAIL: no picture chooser"; exit 1; }
sleep 0.5
xdotool windowfocus --sync "$dialog" key Right
sleep 0.5
xdotool key --window "$dialog" Down Right
sleep 1
import -window "$dialog" "$artifacts/smoke-chooser.png"
xdotool windowfocus --sync "$dialog" key Escape
waitWindow '^Bildordner wählen$' 0 || { echo "FAIL: the chooser stopped answering after expanding the folder with the pipe"; exit 1; }

xdotool windowfocus --sync "$win" key alt+e
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "FAIL: Alt+E did not end the program"; exit 1; fi
app=
echo "PASS: window, screenshots $artifacts/smoke-window.png and smoke-chooser.png, first export, chooser, Alt+E"
