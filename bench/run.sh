#!/usr/bin/env bash
# Benchmarks of the batch export and the preview against the libjpeg decode
# floor, GraphicsMagick, libvips, ImageMagick and Pillow, speed and thumbnail
# quality in the same run; see bench/README.md.
# Usage: bash bench/run.sh [--quick]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
mode=full
case "${1:-}" in
  "") ;;
  --quick) mode=quick ;;
  *) echo "Usage: bash bench/run.sh [--quick]" >&2; exit 64 ;;
esac

out=$here/out
build=$root/build-bench
bin=$build/bin
gen=$out/gen
work=$out/$mode
sets=$work/sets
raw=$work/raw.tsv
log=$work/log.txt

if [[ $mode == full ]]; then
  photos=200 baseline_photos=100 large=4 progressive=4 mid=4 reps=5 mem_small=20 preview_rounds=6 size_photos=10
else
  photos=20 baseline_photos=12 large=1 progressive=1 mid=1 reps=3 mem_small=5 preview_rounds=3 size_photos=4
fi
tools=(floor ours gm vips im pil)

# Anchors: the same 158 x 158 thumbnail padded on white, 4:4:4 at quality 100,
# each told to decode at a reduced DCT scale (a 316 x 316 size hint).
gm_args=(-size 316x316 -auto-orient -thumbnail 158x158 -background white -gravity center
         -extent 158x158 -quality 100 -sampling-factor 1x1)
im_args=(-define jpeg:size=316x316 -auto-orient -thumbnail 158x158 -background white -gravity center
         -extent 158x158 -quality 100 -sampling-factor 1x1)
# One thread per anchor process: two cores are two processes, as for the floor's two threads.
export OMP_NUM_THREADS=1 MAGICK_THREAD_LIMIT=1 VIPS_CONCURRENCY=1
export QT_QPA_PLATFORM=offscreen

say() { printf '[%s] %s\n' "$(date +%T)" "$*"; }

install_packages() {
  local wanted=(build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev libwmf-dev
                graphicsmagick libvips-tools imagemagick libjpeg-turbo-progs time util-linux
                python3-pil python3-numpy libjxl-devtools)
  local missing=() p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  say "installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# A configure can fail while another developer is half way through an edit: retry.
build_programs() {
  local try
  for try in 1 2 3; do
    if cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >>"$log" 2>&1 &&
       cmake --build "$build" -j2 --target ostrovel-batch bench-gen-photos bench-decode-floor bench-preview \
         bench-psnr >>"$log" 2>&1; then
      return 0
    fi
    say "build failed (try $try, see $log); retrying in a minute"
    sleep 60
  done
  return 1
}

# Same names, same seeds, same bytes: a later run only adds missing files.
generate() {
  local stamp="bench-gen-photos v1"
  [[ -f $gen/.stamp && $(cat "$gen/.stamp") == "$stamp" ]] || { rm -rf "$gen"; mkdir -p "$gen"; echo "$stamp" >"$gen/.stamp"; }
  local g=("$bin/bench-gen-photos" --threads 2)
  "${g[@]}" --out "$gen/photos" --prefix p --count "$photos" --size 4000x3000 --portraits --seed 1
  "${g[@]}" --out "$gen/large" --prefix l --count "$large" --size 6000x4000 --portraits --seed 2
  "${g[@]}" --out "$gen/progressive" --prefix r --count "$progressive" --progressive --sampling 420 --seed 3
  "${g[@]}" --out "$gen/progressive" --prefix s --count "$progressive" --progressive --sampling 444 --seed 4
  "${g[@]}" --out "$gen/tiny" --prefix t --count 1 --size 16x16 --seed 5
  # Where a 1/8 decode would leave less than a factor of 2, and a phone's
  # size whose last block row is partial.
  "${g[@]}" --out "$gen/mid" --prefix m --count "$mid" --size 1800x1200 --portraits --seed 6
  "${g[@]}" --out "$gen/mid" --prefix n --count "$mid" --size 2048x1536 --portraits --seed 7
  "${g[@]}" --out "$gen/mid" --prefix q --count "$mid" --size 4128x2322 --portraits --seed 8
}

# A set is a folder of links, so that every tool sees one flat folder.
make_set() {
  local name=$1; shift
  rm -rf "${sets:?}/$name"; mkdir -p "$sets/$name"
  ln -s "$@" "$sets/$name/"
}

# The paths of the first COUNT generated files of a folder: FOLDER PREFIX COUNT.
generated() {
  local i
  for ((i = 0; i < $3; i++)); do printf '%s/%s/%s%04d.jpg\n' "$gen" "$1" "$2" "$i"; done
}

make_sets() {
  local p=() l=() r=() m=()
  mapfile -t p < <(generated photos p "$photos")
  mapfile -t l < <(generated large l "$large")
  mapfile -t r < <(generated progressive r "$progressive"; generated progressive s "$progressive")
  mapfile -t m < <(generated mid m "$mid"; generated mid n "$mid"; generated mid q "$mid")
  make_set baseline "${p[@]:0:baseline_photos}" "${l[@]}"
  make_set progressive "${r[@]}"
  make_set mid "${m[@]}"
  make_set mem-small "${p[@]:0:mem_small}"
  make_set mem-large "${p[@]}"
  make_set all "${p[@]}" "${l[@]}" "${r[@]}" "${m[@]}"
  make_set sizes "${p[@]:0:size_photos}"
}

# Runs a command under GNU time; its report goes to the file in $1.
timed() {
  /usr/bin/time -v -o "$1" "${@:2}" >>"$log" 2>&1
}

# One process of a tool over some files of one folder: TOOL CPUS THREADS OUT TIMEFILE FILE...
run_one() {
  local tool=$1 cpus=$2 threads=$3 dest=$4 tf=$5; shift 5
  case $tool in
    ours) timed "$tf" taskset -c "$cpus" "$bin/ostrovel-batch" "$dest" "$@" ;;
    floor) timed "$tf" taskset -c "$cpus" "$bin/bench-decode-floor" --threads "$threads" --fit 158x158 "$@" ;;
    gm) (cd "$(dirname "$1")" && timed "$tf" taskset -c "$cpus" gm mogrify -output-directory "$dest" "${gm_args[@]}" "${@##*/}") ;;
    vips) timed "$tf" taskset -c "$cpus" vipsthumbnail --size 158x158 -o "$dest/%s.jpg[Q=100,subsample-mode=off,strip]" "$@" ;;
    im) timed "$tf" taskset -c "$cpus" /usr/bin/mogrify -path "$dest" "${im_args[@]}" "$@" ;;
    pil) timed "$tf" taskset -c "$cpus" /usr/bin/python3 "$here/pil_thumbs.py" "$dest" "$@" ;;
  esac
}

# CPU seconds, summed peak RSS in kB and the worst exit status of the reports given.
time_reports() {
  awk -F': ' '/User time/{c+=$2} /System time/{c+=$2} /Maximum resident/{m+=$2}
              /Exit status/{if ($2+0 > x) x=$2+0} END{printf "%.3f %d %d\n", c, m, x}' "$@"
}

# One timed run: TOOL CORES SET REP. Two cores: one process with two threads
# for ours and the floor, two processes over alternate files for the anchors.
measure() {
  local tool=$1 cores=$2 set=$3 rep=$4
  local dest=$work/run/$set-$tool
  rm -rf "$dest" "$dest".t*; mkdir -p "$dest"
  local files=("$sets/$set"/*.jpg) cpus=0 i
  ((cores == 1)) || cpus=0,1
  local start; start=$(date +%s%N)
  if [[ $tool == ours || $tool == floor || $cores == 1 ]]; then
    run_one "$tool" "$cpus" "$cores" "$dest" "$dest.t0" "${files[@]}" || true
  else
    local even=() odd=()
    for i in "${!files[@]}"; do if ((i % 2)); then odd+=("${files[i]}"); else even+=("${files[i]}"); fi; done
    run_one "$tool" "$cpus" 1 "$dest" "$dest.t0" "${even[@]}" &
    run_one "$tool" "$cpus" 1 "$dest" "$dest.t1" "${odd[@]}" &
    wait
  fi
  local wall; wall=$(( ($(date +%s%N) - start) / 1000 ))
  local cpu rss worst made=${#files[@]}
  read -r cpu rss worst < <(time_reports "$dest".t*)
  [[ $tool == floor ]] || made=$(find "$dest" -name '*.jpg' | wc -l)
  local ok=ok
  ((worst == 0 && made == ${#files[@]})) || ok=FAILED
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$set" "$tool" "$cores" "$rep" "${#files[@]}" \
    "$wall" "$cpu" "$rss" "$ok" >>"$raw"
}

# Every tool on every set and core count, interleaved; the order rotates per repetition.
time_exports() {
  local rep k t cores set
  for ((rep = 1; rep <= reps; rep++)); do
    say "timing: repetition $rep of $reps"
    for set in baseline progressive mid; do
      for cores in 1 2; do
        for ((k = 0; k < ${#tools[@]}; k++)); do
          t=${tools[(k + rep) % ${#tools[@]}]}
          measure "$t" "$cores" "$set" "$rep"
        done
      done
    done
  done
}

# Peak memory of our export of few and of many files, two cores.
time_memory() {
  local rep set
  for ((rep = 1; rep <= 3; rep++)); do
    for set in mem-small mem-large; do
      measure ours 2 "$set" "$rep"
    done
  done
}

# One djpeg -scale 1/8 run on core 0: KEY FILE; appends its wall and CPU ms.
djpeg_sample() {
  local TIMEFORMAT='%3R %3U %3S' t
  t=$({ time taskset -c 0 djpeg -scale 1/8 -outfile /dev/null "$2"; } 2>&1)
  awk -v k="$1" -v t="$t" 'BEGIN{split(t, a, " "); printf "%s\t%.3f\t%.3f\n", k, a[1] * 1000, (a[2] + a[3]) * 1000}' >>"$work/preview.tsv"
}

# Each round: our preview in one process, djpeg -scale 1/8 per sample, djpeg
# on a 16 x 16 file for its start-up cost, and the one-thread floor; all on core 0.
time_preview() {
  local file=$gen/large/l0000.jpg tiny=$gen/tiny/t0000.jpg r i per=5 pv=$work/preview.tsv
  : >"$pv"
  for ((r = 1; r <= preview_rounds; r++)); do
    taskset -c 0 "$bin/bench-preview" --repeat "$per" "$file" 2>>"$log" |
      awk '/^sample_ms/{print "ours\t" $2 "\t" $4}' >>"$pv"
    for ((i = 0; i < per; i++)); do
      djpeg_sample djpeg "$file"
      djpeg_sample djpeg-start "$tiny"
    done
    taskset -c 0 "$bin/bench-decode-floor" --threads 1 --repeat "$per" "$file" |
      awk '/^pass_ms/{print "floor\t" $2 "\t" $4}' >>"$pv"
  done
}

# Our thumbnails of every generated picture, then their PSNR against full decodes.
check_psnr() {
  local dest=$work/run/psnr-ours
  rm -rf "$dest"; mkdir -p "$dest"
  "$bin/ostrovel-batch" "$dest" "$sets"/all/*.jpg 2>>"$log" || say "ostrovel-batch failed on the whole set"
  "$bin/bench-psnr" --threads 2 --thumbs "$dest" "$sets"/all/*.jpg | tee "$work/psnr.txt" || true
}

# Every tool's thumbnails of the last timed 2-core run against the linear-light
# Lanczos reference, one folder of links per tool over all timed sets.
check_quality() {
  local q=$work/quality tool set f
  rm -rf "$q"; mkdir -p "$q"
  for tool in ours gm vips im pil; do
    mkdir -p "$q/$tool"
    for set in baseline progressive mid; do
      for f in "$work/run/$set-$tool"/*.jpg; do [[ -e $f ]] && ln -sf "$f" "$q/$tool/"; done
    done
  done
  /usr/bin/python3 "$here/quality.py" --jobs 2 --tsv "$work/quality.tsv" --report "$work/quality.md" \
    baseline="$sets/baseline" progressive="$sets/progressive" mid="$sets/mid" -- \
    ours="$q/ours" gm="$q/gm" vips="$q/vips" im="$q/im" pil="$q/pil" >>"$log" 2>&1 || say "quality check failed (see $log)"
}

# shellcheck source=bench/report.sh
source "$here/report.sh"

main() {
  mkdir -p "$work"
  if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then # else Qt warns on every start
    export XDG_RUNTIME_DIR=$work/xdg
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
  fi
  : >"$log"; : >"$raw"
  local began; began=$(date +%s)
  echo "load_before $(cut -d' ' -f1-3 /proc/loadavg)" >"$work/load.txt"
  install_packages
  say "building in $build"
  build_programs
  say "generating pictures ($mode)"
  generate
  make_sets
  cat "$sets"/all/*.jpg >/dev/null # into the page cache before anything is timed
  time_exports
  say "memory: $mem_small vs $photos files"
  time_memory
  say "preview"
  time_preview
  say "PSNR over $(find "$sets/all" -name "*.jpg" | wc -l) files"
  check_psnr
  say "quality against the linear-light Lanczos reference"
  check_quality
  say "every size, five tools, both references"
  bash "$here/sizes.sh" --reps 3 --bin "$bin" --quality "$sets"/sizes/*.jpg >"$work/sizes.md" 2>>"$log" ||
    say "sizes.sh failed (see $log)"
  say "the enlargement set"
  bash "$here/enlarge.sh" --reps 3 --bin "$bin" >"$work/enlarge.md" 2>>"$log" || say "enlarge.sh failed (see $log)"
  echo "load_after $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/load.txt"
  echo "minutes $(( ($(date +%s) - began + 30) / 60 ))" >>"$work/load.txt"
  { report; echo; echo "## Every size"; echo; cat "$work/sizes.md"; echo; echo "## Enlargements"; echo
    cat "$work/enlarge.md"; } | tee "$work/results.md"
}

main
