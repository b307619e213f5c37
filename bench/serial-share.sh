#!/usr/bin/env bash
# The export's serial share and its throughput on 1 and 2 worker threads, for
# the Amdahl bound in bench/README.md. Usage: bash bench/serial-share.sh [REPS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build-bench
work=$here/out/serial
reps=${1:-5}
export QT_QPA_PLATFORM=offscreen

mkdir -p "$work"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >"$work/log.txt" 2>&1
cmake --build "$build" -j2 --target ostrovel-batch bench-gen-photos bench-serial-share >>"$work/log.txt" 2>&1
# 24 photos of 12 megapixels, the same bytes every time.
[[ -f $work/photos/p0023.jpg ]] ||
  "$build/bin/bench-gen-photos" --out "$work/photos" --prefix p --count 24 --size 4000x3000 --seed 1 --threads 2

echo "# export: threads files wall_s files_per_s calling_cpu_s process_cpu_s serial_share (median of $reps)"
for threads in 1 2; do
  "$build/bin/bench-serial-share" --threads "$threads" --reps "$reps" "$work/photos" "$work/target" 2>/dev/null
done
# The start of the program (Qt, fonts) is serial too: a run over an empty folder.
mkdir -p "$work/empty" "$work/target"
echo "# ostrovel-batch start: cpu_s wall_s (median of $reps)"
for ((i = 0; i < reps; i++)); do
  /usr/bin/time -f '%U %S %e' "$build/bin/ostrovel-batch" "$work/target" "$work/empty" 2>&1 | awk '{print $1 + $2, $3}'
done | sort -n | awk '{a[NR] = $0} END {print a[int((NR + 1) / 2)]}'
