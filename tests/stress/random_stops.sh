#!/usr/bin/env bash
# Stress test of stopping ostrovel-batch, outside the normal suite (minutes):
# many tiny BMPs are exported and the run is stopped by a random terminating
# signal at a random moment. Every stop must end with 128 + the signal and
# leave no temporary file in the target folder.
#
#   tests/stress/random_stops.sh [BATCH_PROGRAM] [STOPS] [FILES]
#   (defaults: build/bin/ostrovel-batch 200 3000)
set -euo pipefail
batch=${1:-build/bin/ostrovel-batch}
stops=${2:-200}
files=${3:-3000}
[[ -x $batch ]] || { echo "no program at $batch (build the default preset first)" >&2; exit 64; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out"
# A 2x1 24-bit BMP: 54 bytes of headers and one padded row of 8 bytes.
bmp=$(printf 'BM\x3e\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x08\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x20\x40\x80\xf0\xa0\x10\x00\x00' | base64 -w0)
for ((i = 0; i < files; ++i)); do
    echo "$bmp" | base64 -d > "$work/in/p$i.bmp"
done

signals=(TERM INT HUP QUIT USR1 USR2 ALRM VTALRM PROF)
stopped=0 finished=0 failures=0
for ((run = 1; run <= stops; ++run)); do
    find "$work/out" -mindepth 1 -delete
    sig=${signals[RANDOM % ${#signals[@]}]}
    ms=$((300 + RANDOM % 2200))  # 0.3 to 2.5 s after the start
    delay=$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))
    (ulimit -c 0; exec "$batch" "$work/out" "$work/in") 2>/dev/null &
    pid=$!
    sleep "$delay"
    kill -s "$sig" "$pid" 2>/dev/null || true
    status=0
    wait "$pid" || status=$?
    expected=$((128 + $(kill -l "$sig")))
    left=$(find "$work/out" -name '.ostrovel-*' | wc -l)
    if ((status == 0)); then
        ((++finished))
    elif ((status == expected)); then
        ((++stopped))
    else
        echo "run $run: SIG$sig after ${delay}s gave status $status, not $expected" >&2
        ((++failures))
    fi
    if ((left > 0)); then
        echo "run $run: SIG$sig after ${delay}s left $left temporary file(s)" >&2
        ((++failures))
    fi
done
echo "$stops runs over $files files: $stopped stopped by their signal, $finished finished first, $failures failures"
((failures == 0))
