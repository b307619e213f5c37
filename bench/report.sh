# shellcheck shell=bash disable=SC2154  # the globals are run.sh's
# The results of bench/run.sh as Markdown: medians over the repetitions,
# ratios against the decode floor and the anchors, and the targets.
# Sourced by run.sh; reads $raw, $work/preview.tsv, $work/psnr.txt, $work/load.txt,
# $work/quality.tsv and $work/quality.md.

median() {
  sort -g | awk '{v[NR]=$1} END{if (NR == 0) print "nan"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'
}

# SET TOOL CORES -> files, median wall (us), median CPU (s), largest peak RSS (kB), failed runs
summary_of() {
  local rows
  rows=$(awk -F'\t' -v s="$1" -v t="$2" -v c="$3" '$1 == s && $2 == t && $3 == c' "$raw")
  [[ -n $rows ]] || { echo "0 nan nan 0 0"; return; }
  echo "$(cut -f5 <<<"$rows" | head -1) $(cut -f6 <<<"$rows" | median) $(cut -f7 <<<"$rows" | median)" \
       "$(cut -f8 <<<"$rows" | sort -g | tail -1) $(grep -c FAILED <<<"$rows" || true)"
}

# Median wall time (us) and CPU time (s) of a tool on a set: SET TOOL CORES.
wall_of() { summary_of "$@" | cut -d' ' -f2; }
cpu_of() { summary_of "$@" | cut -d' ' -f3; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{if (b > 0 && a == a + 0) printf "%.2f", a / b; else print "n/a"}'; }

label() {
  case $1 in
    floor) echo "decode floor (libjpeg, our scale)" ;;
    ours) echo "**ostrovel-batch**" ;;
    gm) echo "gm mogrify" ;;
    vips) echo "vipsthumbnail (fit, no pad)" ;;
    im) echo "ImageMagick mogrify" ;;
    pil) echo "Pillow draft + Lanczos (fit, no pad)" ;;
  esac
}

export_table() {
  local set=$1 cores tool
  echo "| tool | cores | files | ms/file | CPU ms/file | files/s | peak RSS MB | time / floor | time / ours |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
  for cores in 1 2; do
    for tool in "${tools[@]}"; do
      read -r n wall cpu rss bad < <(summary_of "$set" "$tool" "$cores")
      awk -v l="$(label "$tool")" -v c="$cores" -v n="$n" -v w="$wall" -v cpu="$cpu" -v r="$rss" -v bad="$bad" \
          -v f="$(ratio "$wall" "$(wall_of "$set" floor "$cores")")" -v o="$(ratio "$wall" "$(wall_of "$set" ours "$cores")")" \
          'BEGIN{printf "| %s%s | %d | %d | %.1f | %.1f | %.1f | %.0f | %s | %s |\n", l, (bad > 0 ? " (FAILED runs: " bad ")" : ""),
                 c, n, w / 1000 / n, cpu * 1000 / n, n / (w / 1e6), r / 1024, f, o}'
    done
  done
}

# Median of the preview samples of KEY: wall ms, or CPU ms with "cpu".
preview_median() { awk -F'\t' -v k="$1" -v col="${2:+3}" '$1 == k {print $(col ? col : 2)}' "$work/preview.tsv" | median; }

memory_table() {
  local set
  echo "| files | median wall s | peak RSS MB (largest of 3 runs) | peak RSS MB per run |"
  echo "|---:|---:|---:|---|"
  for set in mem-small mem-large; do
    read -r n wall _ rss _ < <(summary_of "$set" ours 2)
    local each
    each=$(awk -F'\t' -v s="$set" '$1 == s {printf "%s%.0f", sep, $8 / 1024; sep = ", "}' "$raw")
    awk -v n="$n" -v w="$wall" -v r="$rss" -v e="$each" 'BEGIN{printf "| %d | %.2f | %.0f | %s |\n", n, w / 1e6, r / 1024, e}'
  done
}

verdict() { awk -v v="$1" -v lim="$2" -v dir="$3" 'BEGIN{if (v != v + 0) print "n/a"; else if ((dir == "le" && v <= lim) || (dir == "ge" && v >= lim)) print "met"; else print "**missed**"}'; }

# A target row: WHAT WALL CPU TARGET LIMIT DIRECTION UNIT; CPU "-" when not measured.
target_row() {
  local what=$1 wall=$2 cpu=$3 target=$4 lim=$5 dir=$6 unit=$7 v shown=-
  v=$(verdict "$wall" "$lim" "$dir")
  if [[ $cpu != - ]]; then
    shown=$cpu$unit
    v="$v / $(verdict "$cpu" "$lim" "$dir")"
  fi
  echo "| $what | $wall$unit | $shown | $target | $v |"
}

# Time ratio A/B of two tools on a set, by wall and by CPU time: SET TOOL_A TOOL_B CORES.
ratios() {
  echo "$(ratio "$(wall_of "$1" "$2" "$4")" "$(wall_of "$1" "$3" "$4")")" \
       "$(ratio "$(cpu_of "$1" "$2" "$4")" "$(cpu_of "$1" "$3" "$4")")"
}

# Median of a quality.tsv column (1-based) for TOOL over all pictures.
quality_median() {
  [[ -s $work/quality.tsv ]] || { echo nan; return; }
  awk -F'\t' -v t="$1" -v c="$2" 'NR > 1 && $3 == t {print $c}' "$work/quality.tsv" | median |
    awk '{if ($1 == $1 + 0) printf "%.2f\n", $1; else print $1}'
}

# The lowest median butteraugli 3-norm among the peers.
best_peer_butteraugli() {
  local t best=nan v
  for t in gm vips im pil; do
    v=$(quality_median "$t" 9)
    best=$(awk -v a="$best" -v b="$v" 'BEGIN{if (a != a + 0 || (b == b + 0 && b < a)) print b; else print a}')
  done
  echo "$best"
}

targets_table() {
  local rss_small rss_large psnr_min w c
  rss_small=$(summary_of mem-small ours 2 | awk '{printf "%.0f", $4 / 1024}')
  rss_large=$(summary_of mem-large ours 2 | awk '{printf "%.0f", $4 / 1024}')
  psnr_min=$(awk '/^files/{for (i = 1; i < NF; i++) if ($i ~ /_min_db$/ && (m == "" || $(i+1) + 0 < m + 0)) m = $(i+1)} END{print m}' "$work/psnr.txt")
  echo "| what | by wall time | by CPU time | target | verdict (wall / CPU) |"
  echo "|---|---:|---:|---|---|"
  read -r w c < <(ratios baseline ours floor 2)
  target_row "our export / decode floor, 2 cores" "$w" "$c" "<= 1.10" 1.10 le ""
  read -r w c < <(ratios mid ours floor 2)
  target_row "1800 to 4128 px set: our export / decode floor, 2 cores" "$w" "$c" "<= 1.10" 1.10 le ""
  read -r w c < <(ratios baseline gm ours 2)
  target_row "two parallel gm mogrify / our export" "$w" "$c" ">= 1.18 (ours 15 % faster)" 1.18 ge " x"
  read -r w c < <(ratios mid gm ours 2)
  target_row "1800 to 4128 px set: two parallel gm / our export" "$w" "$c" ">= 1.18 (ours 15 % faster)" 1.18 ge " x"
  read -r w c < <(ratios baseline vips ours 2)
  target_row "two parallel vipsthumbnail / our export" "$w" "$c" "> 1 (ours faster)" 1 ge " x"
  read -r w c < <(ratios baseline im ours 2)
  target_row "two parallel ImageMagick mogrify / our export" "$w" "$c" "(none)" 0 ge " x"
  read -r w c < <(ratios progressive gm ours 2)
  target_row "progressive: two parallel gm / our export" "$w" "$c" ">= 1.5" 1.5 ge " x"
  w=$(ratio "$(preview_median ours)" "$(preview_median djpeg)")
  c=$(ratio "$(preview_median ours cpu)" "$(preview_median djpeg cpu)")
  target_row "preview / djpeg -scale 1/8 (24 MP, 1 core)" "$w" "$c" "<= 1.20" 1.2 le ""
  target_row "peak RSS of the export of $photos photos" "$rss_large" - "< 200 MB" 200 le " MB"
  target_row "peak RSS, progressive set, 2 threads" "$(summary_of progressive ours 2 | awk '{printf "%.0f", $4 / 1024}')" - \
    "< 200 MB" 200 le " MB"
  target_row "peak RSS growth, $mem_small to $photos photos" "$(awk -v a="$rss_large" -v b="$rss_small" 'BEGIN{print a - b}')" - "none (<= 10 MB)" 10 le " MB"
  target_row "lowest PSNR against a full decode" "$psnr_min" - ">= 40 dB" 40 ge " dB"
  local ours_b best_b
  ours_b=$(quality_median ours 9)
  best_b=$(best_peer_butteraugli)
  target_row "median butteraugli 3-norm, ours (best peer: $best_b)" "$ours_b" - "<= best peer's" "$best_b" le ""
  target_row "median fine-detail energy, ours" "$(quality_median ours 7)" - ">= 0.90" 0.9 ge ""
}

machine() {
  echo "- date: $(date '+%Y-%m-%d %H:%M %Z'); mode: $mode, $reps repetitions; $(awk '/^minutes/{print $2}' "$work/load.txt") minutes in all"
  echo "- machine: $(env -u OMP_NUM_THREADS nproc) cores, $(awk -F': ' '/model name/{print $2; exit}' /proc/cpuinfo)," \
       "$(awk '/MemTotal/{printf "%.1f GB", $2 / 1048576}' /proc/meminfo) RAM, Linux $(uname -r)"
  echo "- load average (1, 5, 15 min) before: $(awk '/before/{print $2, $3, $4}' "$work/load.txt"), after: $(awk '/after/{print $2, $3, $4}' "$work/load.txt")"
  echo "- $(gm -version | head -1 | cut -c1-40); vips $(vips --version | cut -d- -f2); $(/usr/bin/mogrify -version | head -1 | cut -d' ' -f2-3);" \
       "libjpeg-turbo $(dpkg-query -W -f='${Version}' libjpeg62-turbo); Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null | cut -d+ -f1)"
  echo "- ostrovel: commit $(git -C "$root" rev-parse --short HEAD), $(git -C "$root" status --porcelain -- . ':!bench' | wc -l) files changed outside bench/ in the working tree"
}

pictures() {
  echo "| set | files | MB per file (mean) |"
  echo "|---|---:|---:|"
  local set
  for set in baseline progressive mid mem-large; do
    find -L "$sets/$set" -name '*.jpg' -printf '%s\n' |
      awk -v s="$set" '{t += $1; n++} END{printf "| %s | %d | %.2f |\n", s, n, t / n / 1048576}'
  done
}

# The size of one EXIF-turned portrait's thumbnail from each tool.
outputs() {
  local tool f dims=()
  for tool in ours gm vips im; do
    f=$(find "$work/run/baseline-$tool" -name '*p0003.jpg' | head -1)
    dims+=("$tool $( [[ -n $f ]] && gm identify -format '%wx%h' "$f" 2>/dev/null || echo missing)")
  done
  printf 'Thumbnail of the EXIF-turned portrait p0003 (4000 x 3000 stored, orientation 6): %s, %s, %s, %s.\n' "${dims[@]}"
}

report() {
  echo "## Results ($mode)"
  echo
  machine
  echo
  echo "### Targets"
  echo
  targets_table
  echo
  echo "### Export, baseline set (12 MP and 24 MP, portraits among them)"
  echo
  export_table baseline
  echo
  outputs
  echo
  echo "### Export, progressive set (12 MP, 4:2:0 and 4:4:4)"
  echo
  export_table progressive
  echo
  echo "### Export, 1800 x 1200, 2048 x 1536 and 4128 x 2322 (decoded at 1/4 and 1/8)"
  echo
  export_table mid
  echo
  echo "### Quality against a full decode, Lanczos in linear light to each tool's own rectangle"
  echo
  if [[ -s $work/quality.md ]]; then cat "$work/quality.md"; else echo "(not measured)"; fi
  echo
  echo "### Preview of one 24 MP JPEG (one core, median of $((preview_rounds * 5)))"
  echo
  echo "| what | wall ms | CPU ms |"
  echo "|---|---:|---:|"
  local k
  for k in "ours:our preview (Bildanpassen into the 158 x 158 canvas)" "djpeg:djpeg -scale 1/8, whole process" \
           "djpeg-start:of that, djpeg's start-up (on a 16 x 16 file)" "floor:decode floor, one thread"; do
    printf '| %s | %.1f | %.1f |\n' "${k#*:}" "$(preview_median "${k%%:*}")" "$(preview_median "${k%%:*}" cpu)"
  done
  echo
  echo "### Peak memory of the export (2 cores)"
  echo
  memory_table
  echo
  echo "### PSNR against a full-resolution decode"
  echo
  sed 's/^/    /' "$work/psnr.txt"
  echo
  echo "### Pictures"
  echo
  pictures
}
