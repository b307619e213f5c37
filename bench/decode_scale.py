#!/usr/bin/python3
"""How much margin each reduced DCT decode needs: reads the lines of
bench-decode-scale (name, denominator, margin, width, height) on standard
input, scores each reduced rendering against the full decode's rendering at
the same size with butteraugli (3-norm and maximum) and prints per
denominator and margin the median and worst 3-norm.
Usage: bench-decode-scale DIR MARGINS FILES... | decode_scale.py DIR [--jobs N]"""
import statistics
import subprocess
import sys
from multiprocessing import Pool


def score(job):
    folder, name, d, margin, w = job
    ref = f"{folder}/{name}_1_{w}.png"
    pic = f"{folder}/{name}_{d}_{w}.png"
    out = subprocess.run(["butteraugli_main", ref, pic], capture_output=True, text=True, check=False).stdout.split()
    b3 = float(out[out.index("3-norm:") + 1]) if "3-norm:" in out else float("nan")
    return d, margin, b3, float(out[0]) if out else float("nan")


def main():
    args = sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    folder, jobs = args[0], 2
    if "--jobs" in args:
        jobs = int(args[args.index("--jobs") + 1])
    work = []
    for line in sys.stdin:
        name, d, margin, w, _ = line.split("\t")
        work.append((folder, name, int(d), float(margin), int(w)))
    with Pool(jobs) as pool:
        rows = pool.map(score, work, chunksize=1)
    print("| scale | margin | files | butteraugli 3-norm median | worst | max-norm median |")
    print("|---|---:|---:|---:|---:|---:|")
    for d in sorted({r[0] for r in rows}):
        for m in sorted({r[1] for r in rows if r[0] == d}):
            sel = [r for r in rows if r[0] == d and r[1] == m]
            print(f"| 1/{d} | {m:.2f} | {len(sel)} | {statistics.median(r[2] for r in sel):.3f} "
                  f"| {max(r[2] for r in sel):.3f} | {statistics.median(r[3] for r in sel):.3f} |")


if __name__ == "__main__":
    main()
