#!/usr/bin/python3
"""Thumbnail quality of each tool against a reference made the slow way: the
full-resolution decode (EXIF orientation applied), Lanczos-3 in linear light
(Pillow's float resize; --reference srgb: Pillow's 8-bit resize of the sRGB
values, so that no single reference decides) to the tool's own picture
rectangle, so that the geometry does not count. Per file and tool: butteraugli
3-norm and maximum (butteraugli_main), ssimulacra (ssimulacra_main), PSNR,
fine-detail energy (high-pass energy of the tool's picture over the
reference's) and the worst edge line (mean difference of the first or last row
or column).
Usage: quality.py --tsv OUT.tsv --report OUT.md [--jobs N] [--reference linear|srgb]
       SET=DIR ... -- TOOL=DIR ...
A SET=DIR names a folder of source JPEGs; TOOL=DIR a folder of that tool's
thumbnails for all sets (named as the source, or thumb_ + the source name)."""
import os
import statistics
import subprocess
import sys
import tempfile
from multiprocessing import Pool

import numpy as np
from PIL import Image, ImageOps

PAD_TOLERANCE = 8  # JPEG at quality 100 rings this little into a white pad


def srgb_to_linear(v):
    v = v / 255.0
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def linear_to_srgb(v):
    v = np.clip(v, 0.0, 1.0)
    s = np.where(v <= 0.0031308, v * 12.92, 1.055 * np.power(v, 1 / 2.4) - 0.055)
    return np.clip(np.round(s * 255.0), 0, 255).astype(np.uint8)


LINEAR = srgb_to_linear(np.arange(256, dtype=np.float64)).astype(np.float32)


def full_decode(path):
    with Image.open(path) as im:
        return ImageOps.exif_transpose(im).convert("RGB")


def reference(full, size, space="linear"):
    """Lanczos in linear light, channel by channel, to `size` (w, h); or in sRGB."""
    if space == "srgb":
        return np.asarray(full.resize(size, Image.LANCZOS))
    rgb = np.asarray(full)
    out = []
    for c in range(3):
        plane = Image.fromarray(LINEAR[rgb[:, :, c]], mode="F")
        out.append(np.asarray(plane.resize(size, Image.LANCZOS)))
    return linear_to_srgb(np.stack(out, axis=2))


def picture_rect(img):
    """The part of the thumbnail that is not white padding: (x, y, w, h)."""
    off = np.abs(img.astype(np.int16) - 255).max(axis=2) > PAD_TOLERANCE
    cols, rows = np.where(off.any(axis=0))[0], np.where(off.any(axis=1))[0]
    if len(cols) == 0 or len(rows) == 0:
        return 0, 0, img.shape[1], img.shape[0]
    return cols[0], rows[0], cols[-1] - cols[0] + 1, rows[-1] - rows[0] + 1


def detail_energy(img):
    y = img.astype(np.float64) @ np.array([0.299, 0.587, 0.114])
    lap = 4 * y[1:-1, 1:-1] - y[:-2, 1:-1] - y[2:, 1:-1] - y[1:-1, :-2] - y[1:-1, 2:]
    return float((lap ** 2).sum())


def psnr(a, b):
    mse = float(((a.astype(np.float64) - b.astype(np.float64)) ** 2).mean())
    return 99.0 if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)


def worst_edge(a, b):
    d = np.abs(a.astype(np.float64) - b.astype(np.float64)).mean(axis=2)
    return float(max(d[0].mean(), d[-1].mean(), d[:, 0].mean(), d[:, -1].mean()))


def run_metric(cmd):
    out = subprocess.run(cmd, capture_output=True, text=True, check=False).stdout.split()
    return out


def perceptual(ref, pic):
    with tempfile.TemporaryDirectory() as tmp:
        r, p = os.path.join(tmp, "r.png"), os.path.join(tmp, "p.png")
        Image.fromarray(ref).save(r)
        Image.fromarray(pic).save(p)
        b = run_metric(["butteraugli_main", r, p])
        s = run_metric(["ssimulacra_main", r, p])
    bmax = float(b[0]) if b else float("nan")
    b3 = float(b[b.index("3-norm:") + 1]) if "3-norm:" in b else float("nan")
    return b3, bmax, float(s[0]) if s else float("nan")


def thumb_of(folder, name):
    for candidate in (name, "thumb_" + name):
        path = os.path.join(folder, candidate)
        if os.path.exists(path):
            return path
    return None


def measure(job):
    set_name, path, tools, space = job
    full, refs, rows = full_decode(path), {}, []
    for tool, folder in tools:
        thumb = thumb_of(folder, os.path.basename(path))
        if thumb is None:
            continue
        with Image.open(thumb) as im:
            img = np.asarray(im.convert("RGB"))
        x, y, w, h = picture_rect(img)
        pic = img[y:y + h, x:x + w]
        if (w, h) not in refs:
            refs[(w, h)] = reference(full, (int(w), int(h)), space)
        ref = refs[(w, h)]
        b3, bmax, ssim = perceptual(ref, pic)
        rows.append((set_name, os.path.basename(path), tool, int(w), int(h), psnr(pic, ref),
                     detail_energy(pic) / max(detail_energy(ref), 1e-9), worst_edge(pic, ref), b3, bmax, ssim))
    return rows


def med(values):
    values = [v for v in values if v == v]
    return statistics.median(values) if values else float("nan")


def table(rows, tools, title):
    lines = [f"{title}", "",
             "| tool | files | butteraugli 3-norm median | worst | ssimulacra median | PSNR median dB "
             "| fine-detail energy median | worst | edge line off, median | worst |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for tool in tools:
        r = [x for x in rows if x[2] == tool]
        if not r:
            continue
        col = lambda i: [x[i] for x in r]  # noqa: E731
        lines.append(f"| {tool} | {len(r)} | {med(col(8)):.2f} | {max(col(8)):.2f} | {med(col(10)):.4f} "
                     f"| {med(col(5)):.2f} | {med(col(6)):.2f} | {min(col(6)):.2f} | {med(col(7)):.2f} "
                     f"| {max(col(7)):.2f} |")
    return "\n".join(lines) + "\n"


def main():
    args, sets, tools, jobs, tsv, report, space = sys.argv[1:], [], [], 2, None, None, "linear"
    target = sets
    while args:
        a = args.pop(0)
        if a == "--jobs":
            jobs = int(args.pop(0))
        elif a == "--tsv":
            tsv = args.pop(0)
        elif a == "--report":
            report = args.pop(0)
        elif a == "--reference":
            space = args.pop(0)
        elif a == "--":
            target = tools
        else:
            target.append(tuple(a.split("=", 1)))
    if not sets or not tools or not tsv or not report or space not in ("linear", "srgb"):
        sys.exit(__doc__)
    work = [(s, os.path.join(d, f), tools, space) for s, d in sets for f in sorted(os.listdir(d)) if f.endswith(".jpg")]
    with Pool(jobs) as pool:
        rows = [r for rs in pool.map(measure, work, chunksize=1) for r in rs]
    with open(tsv, "w") as f:
        f.write("set\tfile\ttool\tw\th\tpsnr\tdetail\tedge\tbutteraugli3\tbutteraugli_max\tssimulacra\n")
        for r in rows:
            f.write("\t".join(str(v) for v in r) + "\n")
    names = [t for t, _ in tools]
    text = table(rows, names, f"All {len({(r[0], r[1]) for r in rows})} pictures:")
    for s, _ in sets:
        text += "\n" + table([r for r in rows if r[0] == s], names, f"Set {s}:")
    with open(report, "w") as f:
        f.write(text)
    print(text)


if __name__ == "__main__":
    main()
