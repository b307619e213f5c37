#!/usr/bin/env bash
# The enlargement set (graphics and photos of 6 x 6 to 200 x 200 px) enlarged
# to 158 x 158 and 640 x 480 by ours, vipsthumbnail, Pillow, GraphicsMagick
# and ImageMagick (their default filters): ringing beyond the local source
# range, CPU time, and contact sheets to judge by eye. See bench/README.md.
# Usage: bash bench/enlarge.sh [--reps N] [--bin DIR]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=$(realpath "$(dirname "$here")/build-bench/bin")
reps=3
while [[ ${1:-} == --* ]]; do
  case $1 in
    --reps) reps=$2; shift 2 ;;
    --bin) bin=$(realpath "$2"); shift 2 ;;
    *) echo "Usage: bash bench/enlarge.sh [--reps N] [--bin DIR]" >&2; exit 64 ;;
  esac
done
export OMP_NUM_THREADS=1 MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 QT_QPA_PLATFORM=offscreen
out=$here/out/enlarge
src=$out/src masks=$out/masks
tools=(ours vips pil gm im)
rm -rf "$src" "$masks"
"$bin/bench-gen-photos" --out "$out/photo" --count 1 --size 1600x1200 --seed 21 >/dev/null
/usr/bin/python3 "$here/enlarge.py" make "$src" "$masks" "$out/photo/p0000.jpg"

# One tool at one size over every file of a folder into DEST; prints CPU seconds.
run() {
  local tool=$1 size=$2 dir=$3 dest=$4 t=$out/time
  rm -rf "$dest"; mkdir -p "$dest"
  local magick=(-auto-orient -thumbnail "$size" -background white -gravity center -extent "$size"
                -quality 100 -sampling-factor 1x1)
  local cmd=()
  case $tool in
    ours) cmd=("$bin/ostrovel-batch" -j 2 -s "$size" "$dest") ;;
    vips) cmd=(vipsthumbnail --size "$size" -o "$dest/%s.jpg[Q=100,subsample-mode=off,strip]") ;;
    pil) cmd=(/usr/bin/python3 "$here/pil_thumbs.py" --enlarge --size "$size" "$dest") ;;
    gm) cmd=(gm mogrify -output-directory "$dest" -format jpg "${magick[@]}") ;;
    im) cmd=(/usr/bin/mogrify -path "$dest" -format jpg "${magick[@]}") ;;
  esac
  # gm mogrify wants names relative to where it runs.
  local names=("$dir"/*)
  (cd "$dir" && /usr/bin/time -f '%U %S' -o "$t" taskset -c 0,1 "${cmd[@]}" "${names[@]##*/}" >/dev/null)
  local made; made=$(find "$dest" -type f | wc -l)
  ((${#names[@]} == made)) || echo "FAILED: $tool $size made $made of ${#names[@]}" >&2
  awk '{ printf "%.3f\n", $1 + $2 }' "$t"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Contact sheet: one row per picture (the source as blocks, then each tool), labelled.
sheet() {
  local size=$1 file=$2; shift 2
  local args=() stem tool t
  mkdir -p "$out/$size-source"
  for stem in "$@"; do
    /usr/bin/convert "$src/$stem".* -filter point -resize "$size" "$out/$size-source/$stem.png"
    args+=(-label "$stem" "$out/$size-source/$stem.png")
    for tool in "${tools[@]}"; do
      t=$out/$size-$tool/$stem.jpg
      [[ -e $t ]] || t=$out/$size-$tool/thumb_$stem.jpg
      args+=(-label "$tool" "$t")
    done
  done
  montage -background '#c8c8c8' -gravity center -font DejaVu-Sans -pointsize 11 "${args[@]}" \
    -tile "$((${#tools[@]} + 1))x" -geometry +3+3 "$file"
}

stems=()
for f in "$src"/*; do stems+=("$(basename "${f%.*}")"); done
echo "pictures: ${#stems[@]} in $src: ${stems[*]}"
for size in 158x158 640x480; do
  : >"$out/cpu"
  for ((r = 0; r < reps; ++r)); do
    for tool in "${tools[@]}"; do echo "$tool $(run "$tool" "$size" "$src" "$out/$size-$tool")" >>"$out/cpu"; done
  done
  specs=()
  for tool in "${tools[@]}"; do
    run "$tool" "$size" "$masks" "$out/$size-$tool-masks" >/dev/null
    specs+=("$tool=$out/$size-$tool:$out/$size-$tool-masks")
  done
  echo; echo "### ${size/x/ x }"; echo
  printf 'CPU s for the set, median of %d:' "$reps"
  for tool in "${tools[@]}"; do printf ' %s %s' "$tool" "$(awk -v t="$tool" '$1 == t { print $2 }' "$out/cpu" | median)"; done
  echo; echo
  /usr/bin/python3 "$here/enlarge.py" ring "$src" "$size" "${specs[@]}"
done
sheet 158x158 "$out/contact-158.png" "${stems[@]}"
sheet 640x480 "$out/contact-640.png" squares4 icon32 logo text1
echo; echo "contact sheets: $out/contact-158.png $out/contact-640.png"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
