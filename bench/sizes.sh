#!/usr/bin/env bash
# Ours against vipsthumbnail, Pillow, GraphicsMagick and ImageMagick at every
# box size, 2 cores, in one run: medians of CPU (user + system) and wall
# seconds, and the largest peak RSS; with --quality also every tool's median
# butteraugli 3-norm against both references of quality.py. See bench/README.md.
# Usage: bash bench/sizes.sh [--reps N] [--bin DIR] [--quality] FILE...  (the files in one folder)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=$(realpath "$(dirname "$here")/build-bench/bin")
reps=3 quality=0
while [[ ${1:-} == --* ]]; do
  case $1 in
    --reps) reps=$2; shift 2 ;;
    --bin) bin=$(realpath "$2"); shift 2 ;;
    --quality) quality=1; shift ;;
    *) echo "Usage: bash bench/sizes.sh [--reps N] [--bin DIR] [--quality] FILE..." >&2; exit 64 ;;
  esac
done
(($#)) || { echo "no files" >&2; exit 64; }
export OMP_NUM_THREADS=1 MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1 QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# gm mogrify wants names relative to where it runs: every tool runs in the files' folder.
cd "$(dirname "$1")"
files=()
for f in "$@"; do files+=("$(basename "$f")"); done
odd=() even=()
for i in "${!files[@]}"; do
  if ((i % 2)); then odd+=("${files[i]}"); else even+=("${files[i]}"); fi
done
cat "${files[@]}" >/dev/null # into the page cache

# One tool at one size over all files on cores 0 and 1; prints "cpu wall rss".
run() {
  local tool=$1 size=$2 dest=$work/$1-$2 t1=$work/t1 t2=$work/t2
  rm -rf "$dest"; mkdir -p "$dest"
  local w=${size%x*} h=${size#*x}
  local fmt='%U %S %e %M'
  case $tool in
    ours) /usr/bin/time -f "$fmt" -o "$t1" taskset -c 0,1 "$bin/ostrovel-batch" -j 2 -s "$size" "$dest" "${files[@]}" >/dev/null
          echo "0 0 0 0" >"$t2" ;;
    vips|pil|gm|im)
      local cmd=()
      case $tool in
        vips) cmd=(vipsthumbnail --size "$size" -o "$dest/%s.jpg[Q=100,subsample-mode=off,strip]") ;;
        pil) cmd=(/usr/bin/python3 "$here/pil_thumbs.py" --size "$size" "$dest") ;;
        gm) cmd=(gm mogrify -output-directory "$dest" -size "$((2 * w))x$((2 * h))" -auto-orient -thumbnail "$size"
                 -background white -gravity center -extent "$size" -quality 100 -sampling-factor 1x1) ;;
        im) cmd=(/usr/bin/mogrify -path "$dest" -define "jpeg:size=$((2 * w))x$((2 * h))" -auto-orient -thumbnail "$size"
                 -background white -gravity center -extent "$size" -quality 100 -sampling-factor 1x1) ;;
      esac
      /usr/bin/time -f "$fmt" -o "$t1" taskset -c 0,1 "${cmd[@]}" "${even[@]}" >/dev/null &
      if ((${#odd[@]})); then
        /usr/bin/time -f "$fmt" -o "$t2" taskset -c 0,1 "${cmd[@]}" "${odd[@]}" >/dev/null
      else
        echo "0 0 0 0" >"$t2"
      fi
      wait ;;
  esac
  local made; made=$(find "$dest" -type f | wc -l)
  ((made == ${#files[@]})) || echo "FAILED: $tool $size made $made of ${#files[@]}" >&2
  paste "$t1" "$t2" | awk '{ w = $3 > $7 ? $3 : $7; printf "%.3f %.3f %d\n", $1 + $2 + $5 + $6, w, ($4 + $8) / 1024 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Every tool's thumbnails of the last repetition at SIZE against both
# references; appends "size reference tool median" lines to $work/quality.
score() {
  local size=$1 ref t args=()
  for t in "${tools[@]}"; do args+=("$t=$work/$t-$size"); done
  for ref in linear srgb; do
    /usr/bin/python3 "$here/quality.py" --jobs 2 --reference "$ref" --tsv "$work/q.tsv" --report "$work/q.md" \
      photos="$work/src" -- "${args[@]}" >/dev/null
    for t in "${tools[@]}"; do
      awk -F'\t' -v t="$t" 'NR > 1 && $3 == t { print $9 }' "$work/q.tsv" | median |
        awk -v s="$size" -v r="$ref" -v t="$t" '{ printf "%s %s %s %.2f\n", s, r, t, $1 }' >>"$work/quality"
    done
  done
}

printf '| size | tool | CPU s | wall s | peak RSS MB |\n|---|---|---:|---:|---:|\n'
tools=(ours vips pil gm im)
if ((quality)); then # quality.py scores every .jpg of a folder: the files given, as links
  mkdir "$work/src"
  for f in "${files[@]}"; do ln -s "$PWD/$f" "$work/src/"; done
fi
: >"$work/quality"
for size in 640x480 1024x768 1920x1080 158x158; do
  : >"$work/res"
  for ((r = 0; r < reps; ++r)); do
    for tool in "${tools[@]}"; do
      echo "$tool $(run "$tool" "$size")" >>"$work/res"
    done
  done
  for tool in "${tools[@]}"; do
    cpu=$(awk -v t="$tool" '$1 == t { print $2 }' "$work/res" | median)
    wall=$(awk -v t="$tool" '$1 == t { print $3 }' "$work/res" | median)
    rss=$(awk -v t="$tool" '$1 == t { print $4 }' "$work/res" | sort -n | tail -1)
    printf '| %s | %s | %s | %s | %s |\n' "${size/x/ x }" "$tool" "$cpu" "$wall" "$rss"
  done
  if ((quality)); then score "$size"; fi
done
if ((quality)); then
  printf '\nMedian butteraugli 3-norm against the Lanczos reference in linear light and in sRGB (quality.py):\n\n'
  printf '| size | reference |%s\n|---|---|' "$(printf ' %s |' "${tools[@]}")"
  printf -- '---:|%.0s' "${tools[@]}"; echo
  awk '{ k = $1 " " $2; if (!(k in row)) order[n++] = k; row[k] = row[k] " " $4 " |" }
       END { for (i = 0; i < n; i++) { split(order[i], a, " "); sub("x", " x ", a[1]); print "| " a[1] " | " a[2] " |" row[order[i]] } }' "$work/quality"
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
