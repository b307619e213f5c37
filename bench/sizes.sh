#!/usr/bin/env bash
# Ours against vipsthumbnail and Pillow (and GraphicsMagick at 158 x 158) at
# every box size, 2 cores, in one run: medians of CPU (user + system) and wall
# seconds, and the largest peak RSS. See bench/README.md.
# Usage: bash bench/sizes.sh [--reps N] [--bin DIR] FILE...  (the files in one folder)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin=$(realpath "$(dirname "$here")/build-bench/bin")
reps=3
while [[ ${1:-} == --* ]]; do
  case $1 in
    --reps) reps=$2; shift 2 ;;
    --bin) bin=$(realpath "$2"); shift 2 ;;
    *) echo "Usage: bash bench/sizes.sh [--reps N] [--bin DIR] FILE..." >&2; exit 64 ;;
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
    vips|pil|gm)
      local cmd=()
      case $tool in
        vips) cmd=(vipsthumbnail --size "$size" -o "$dest/%s.jpg[Q=100,subsample-mode=off,strip]") ;;
        pil) cmd=(/usr/bin/python3 "$here/pil_thumbs.py" --size "$size" "$dest") ;;
        gm) cmd=(gm mogrify -output-directory "$dest" -size "$((2 * w))x$((2 * h))" -auto-orient -thumbnail "$size"
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

printf '| size | tool | CPU s | wall s | peak RSS MB |\n|---|---|---:|---:|---:|\n'
for size in 640x480 1024x768 1920x1080 158x158; do
  tools=(ours vips pil)
  [[ $size == 158x158 ]] && tools+=(gm)
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
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
