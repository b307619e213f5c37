#!/usr/bin/env bash
# The formats read through libraries against vipsthumbnail: 12-megapixel
# HEIC (with a 320 x 240 thumbnail, as phones write them), AVIF, WebP and
# PNG photos made from bench-gen-photos' JPEGs, thumbnailed at 158x158 and
# 1024x768 on one core (taskset -c 0, one thread each); the median of RUNS
# (default 5) runs over the same files, in the page cache.
# Usage: bench/formats.sh [build-folder] (default: build; needs ostrovel-batch
# and bench-gen-photos built there, and scripts/setup.sh --test's tools)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$root/build}" && pwd)/bin  # absolute: the script changes folder
runs=${RUNS:-5}
count=3
out=$root/bench/out/formats
mkdir -p "$out/gen" "$out/thumbs"
cd "$out/gen"

if [ ! -f done ]; then
  "$bin/bench-gen-photos" --out . --prefix p --count $count --size 4000x3000 --quality 95 >/dev/null
  mkdir -p png webp heic avif
  for f in p*.jpg; do
    b=${f%.jpg}
    convert "$f" "png/$b.png"
    cwebp -quiet -q 90 "png/$b.png" -o "webp/$b.webp"
    heif-enc -q 90 -t 320 "png/$b.png" -o "heic/$b.heic" >/dev/null
    avifenc -s 8 -j 1 --min 10 --max 30 "png/$b.png" "avif/$b.avif" >/dev/null
  done
  touch done
fi

# Seconds one run of "$@" takes, on core 0.
seconds() {
  local start end
  start=$(date +%s.%N)
  taskset -c 0 "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

export VIPS_CONCURRENCY=1
echo "| format | size | ours (s) | vipsthumbnail (s) |"
echo "|---|---|---:|---:|"
for format in heic avif webp png; do
  files=("$format"/*)
  cat "${files[@]}" >/dev/null
  for size in 158x158 1024x768; do
    ours=() vips=()
    for ((r = 0; r < runs; ++r)); do
      rm -rf "$out/thumbs"/*
      ours+=("$(seconds "$bin/ostrovel-batch" -j 1 -s "$size" "$out/thumbs" "${files[@]}")")
      vips+=("$(seconds vipsthumbnail --size "$size" -o "$out/thumbs/%s.jpg[Q=100,subsample-mode=off,strip]" "${files[@]}")")
    done
    [ "$(ls "$out/thumbs" | wc -l)" -eq $((2 * count)) ] || echo "missing thumbnails for $format $size" >&2
    printf '| %s | %s | %.2f | %.2f |\n' "$format" "$size" \
      "$(printf '%s\n' "${ours[@]}" | median)" "$(printf '%s\n' "${vips[@]}" | median)"
  done
done
