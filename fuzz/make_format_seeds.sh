#!/usr/bin/env bash
# Makes the committed seed corpora of the formats read through libraries
# (fuzz/corpus/png, webp, tiff, heif, jxl) with the formats' own tools
# (scripts/setup.sh --test installs them), from small pictures made by
# ImageMagick, plus a cut copy of one file per format.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=$root/fuzz/corpus
for f in png webp tiff heif jxl; do rm -rf "${corpus:?}/$f"; mkdir -p "$corpus/$f"; done

convert -size 24x16 gradient:red-blue "$work/rgb.png"
convert -size 24x16 gradient:red-blue \( -size 24x16 gradient:white-none \) -compose copy-opacity -composite "$work/alpha.png"
convert -size 24x16 gradient:grey20-white -colors 5 "$work/few.png"

cd "$corpus/png"
cp "$work/rgb.png" rgb.png
cp "$work/alpha.png" alpha.png
convert "$work/rgb.png" -depth 16 16bit.png
convert "$work/few.png" PNG8:palette.png
convert "$work/few.png" -colorspace gray grey.png
convert "$work/rgb.png" -interlace PNG interlaced.png
head -c 200 rgb.png > cut.png

cd "$corpus/webp"
cwebp -quiet -q 50 "$work/rgb.png" -o lossy.webp
cwebp -quiet -lossless "$work/alpha.png" -o lossless-alpha.webp
cwebp -quiet -q 50 "$work/alpha.png" -o lossy-alpha.webp
img2webp -lossy "$work/rgb.png" "$work/alpha.png" -o animated.webp >/dev/null 2>&1
head -c 100 lossy.webp > cut.webp

cd "$corpus/tiff"
convert "$work/rgb.png" -compress none rgb.tif
convert "$work/rgb.png" -depth 16 -compress zip 16bit.tif
convert "$work/alpha.png" -compress lzw alpha.tif
convert "$work/rgb.png" -colorspace CMYK -depth 8 cmyk.tif
convert "$work/rgb.png" -colorspace CMYK -depth 16 cmyk-16bit.tif
convert "$work/few.png" -type palette palette.tif
tiffcp -t -w 16 -l 16 rgb.tif tiled.tif
tiffcp -t -w 16 -l 16 cmyk-16bit.tif tiled-cmyk-16bit.tif
cp rgb.tif orientation-6.tif && tiffset -s 274 6 orientation-6.tif
tiffcp rgb.tif alpha.tif two-pages.tif
head -c 300 16bit.tif > cut.tif

cd "$corpus/heif"
heif-enc -q 30 "$work/rgb.png" -o rgb.heic >/dev/null
heif-enc -q 30 "$work/alpha.png" -o alpha.heic >/dev/null
avifenc "$work/rgb.png" rgb.avif >/dev/null
avifenc --irot 1 "$work/rgb.png" rotated.avif >/dev/null
avifenc --imir 1 "$work/rgb.png" mirrored.avif >/dev/null
avifenc -d 10 "$work/alpha.png" 10bit-alpha.avif >/dev/null
avifenc -d 10 --imir 1 --irot 1 "$work/rgb.png" 10bit-mirrored.avif >/dev/null
avifenc --irot 1 "$work/alpha.png" rotated-alpha.avif >/dev/null
head -c 300 rgb.heic > cut.heic

cd "$corpus/jxl"
cjxl -d 2 "$work/rgb.png" lossy.jxl 2>/dev/null
cjxl -d 0 "$work/alpha.png" lossless-alpha.jxl 2>/dev/null
cjxl -d 0 "$corpus/png/16bit.png" 16bit.jxl 2>/dev/null
cjxl --container=1 -d 1 "$work/rgb.png" container.jxl 2>/dev/null || cjxl -d 1 "$work/rgb.png" container.jxl 2>/dev/null
head -c 60 lossy.jxl > cut.jxl
