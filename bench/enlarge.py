#!/usr/bin/python3
"""The enlargement set: small graphics and photos as catalogues have them, and
how far each tool's enlargement rings (see bench/README.md).
Usage: enlarge.py make DIR MASKS PHOTO.jpg  -- writes the seeded pictures into
           DIR and, per picture size, a black picture of that size into MASKS
       enlarge.py ring SRC WxH TOOL=DIR[:MASKDIR] ...  -- prints the table row
           per tool; DIR holds the thumbnails of SRC, MASKDIR those of MASKS,
           which give the picture's rectangle in the box"""
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

LIMIT = 3  # levels beyond the local source range that count as ringing


def checker(w, h, cell, a, b):
    y, x = np.mgrid[0:h, 0:w]
    on = ((x // cell + y // cell) % 2 == 0)[:, :, None]
    return Image.fromarray(np.where(on, np.array(a, np.uint8), np.array(b, np.uint8)).astype(np.uint8))


def pictures(photo):
    """Name (with the format's suffix) -> PIL picture, the same on every run."""
    p = {}
    sq = Image.new("RGB", (10, 10))
    for i, c in enumerate([(220, 30, 30), (30, 160, 40), (30, 60, 200), (240, 200, 20)]):
        sq.paste(c, ((i % 2) * 5, (i // 2) * 5, (i % 2) * 5 + 5, (i // 2) * 5 + 5))
    p["squares4.gif"] = sq.convert("P", palette=Image.ADAPTIVE, colors=4)
    flat = Image.new("RGB", (24, 16), "white")
    for i, c in enumerate(["black", "red", "orange", "navy", "white", "teal"]):
        flat.paste(c, ((i % 3) * 8, (i // 3) * 8, (i % 3) * 8 + 8, (i // 3) * 8 + 8))
    p["squares6.gif"] = flat.convert("P", palette=Image.ADAPTIVE, colors=8)
    logo = Image.new("RGB", (96, 32), (250, 250, 250))
    d = ImageDraw.Draw(logo)
    d.ellipse((3, 3, 28, 28), fill=(200, 20, 40))
    d.rectangle((12, 12, 19, 19), fill="white")
    d.text((34, 4), "ACME", fill=(20, 40, 120), font=ImageFont.load_default())
    d.text((34, 17), "Tools", fill=(90, 90, 90), font=ImageFont.load_default())
    p["logo.gif"] = logo.convert("P", palette=Image.ADAPTIVE, colors=8)
    text = Image.new("1", (80, 24), 1)
    ImageDraw.Draw(text).text((2, 6), "Preis 12,50", fill=0, font=ImageFont.load_default())
    p["text1.bmp"] = text
    art = Image.new("1", (64, 64), 1)
    d = ImageDraw.Draw(art)
    d.ellipse((6, 6, 57, 57), outline=0)
    d.line((0, 63, 63, 0), fill=0)
    d.rectangle((20, 20, 43, 43), outline=0)
    d.line((0, 32, 63, 32), fill=0)
    p["lineart1.bmp"] = art
    icon = Image.new("RGB", (32, 32), (128, 128, 128))
    d = ImageDraw.Draw(icon)
    d.rectangle((6, 6, 25, 25), fill=(230, 0, 0))
    d.polygon([(16, 8), (23, 23), (9, 23)], fill=(128, 128, 128))
    p["icon32.bmp"] = icon
    p["checker6.gif"] = checker(6, 6, 2, (0, 0, 0), (255, 255, 255)).convert("P", palette=Image.ADAPTIVE, colors=2)
    p["checker24.bmp"] = checker(24, 24, 3, (20, 30, 120), (250, 220, 40))
    lines = Image.new("RGB", (40, 40), "white")
    d = ImageDraw.Draw(lines)
    for i, c in enumerate([(0, 0, 0), (220, 0, 0), (0, 120, 0), (0, 0, 220)]):
        d.line((0, 4 + 9 * i, 39, 4 + 9 * i), fill=c)
        d.line((4 + 9 * i, 0, 4 + 9 * i, 39), fill=c)
    d.line((0, 0, 39, 39), fill=(0, 0, 0))
    p["lines.gif"] = lines.convert("P", palette=Image.ADAPTIVE, colors=8)
    with Image.open(photo) as im:
        im = im.convert("RGB")
        p["photo200.jpg"] = im.crop((700, 500, 900, 650))
        p["photo64.jpg"] = im.resize((64, 48), Image.LANCZOS)
        p["photo16.jpg"] = im.crop((800, 560, 816, 576))
    return p


def make(folder, masks, photo):
    os.makedirs(folder, exist_ok=True)
    os.makedirs(masks, exist_ok=True)
    for name, im in pictures(photo).items():
        im.save(os.path.join(folder, name), quality=90)
        w, h = im.size
        Image.new("RGB", (w, h)).save(os.path.join(masks, f"mask{w}x{h}.bmp"))


def output(folder, stem):
    for name in (stem + ".jpg", "thumb_" + stem + ".jpg"):
        if os.path.exists(os.path.join(folder, name)):
            with Image.open(os.path.join(folder, name)) as im:
                return np.asarray(im.convert("RGB")).astype(np.int16)
    return None


def rect(mask):
    """The picture's rectangle in the box: where the black mask was drawn."""
    dark = mask.max(axis=2) < 128
    cols, rows = np.where(dark.any(axis=0))[0], np.where(dark.any(axis=1))[0]
    return cols[0], rows[0], cols[-1] - cols[0] + 1, rows[-1] - rows[0] + 1


def window(n_out, n_src):
    """Per output position, 3 source indices within +-1 source pixel of where it maps back to."""
    s = (np.arange(n_out) + 0.5) * n_src / n_out - 0.5
    lo, hi = np.clip(np.ceil(s - 1), 0, n_src - 1), np.clip(np.floor(s + 1), 0, n_src - 1)
    return [np.minimum(lo + k, hi).astype(int) for k in range(3)]


def excess(src, out, box):
    """Levels by which each inner pixel lies beyond the local source range (max over channels)."""
    x, y, w, h = box
    pic = out[y:y + h, x:x + w]
    xs, ys = window(w, src.shape[1]), window(h, src.shape[0])
    blocks = [src[yi][:, xi] for yi in ys for xi in xs]
    lo, hi = np.min(blocks, axis=0), np.max(blocks, axis=0)
    e = np.maximum(pic - hi, lo - pic).clip(0).max(axis=2)
    return e[1:-1, 1:-1]  # the outermost row and column blend with the padding


def ring(src_dir, size, entries):
    bw, bh = (int(v) for v in size.split("x"))
    names = sorted(os.listdir(src_dir))
    print("| tool | pictures | max levels | 99.9th percentile | pictures beyond 3 | worst picture |")
    print("|---|---:|---:|---:|---:|---|")
    per = {}
    for entry in entries:
        tool, dirs = entry.split("=", 1)
        out_dir, mask_dir = dirs.split(":")
        values, beyond, worst = [], 0, (0, "")
        for name in names:
            with Image.open(os.path.join(src_dir, name)) as im:
                src = np.asarray(im.convert("RGB")).astype(np.int16)
            sh, sw = src.shape[:2]
            if min(bw / sw, bh / sh) < 1:
                continue  # a reduction, not an enlargement
            stem = os.path.splitext(name)[0]
            out, mask = output(out_dir, stem), output(mask_dir, f"mask{sw}x{sh}")
            if out is None or mask is None:
                print(f"missing: {tool} {name}", file=sys.stderr)
                continue
            e = excess(src, out, rect(mask))
            values.append(e.ravel())
            beyond += int(e.max() > LIMIT)
            worst = max(worst, (int(e.max()), stem))
            per.setdefault(stem, {})[tool] = int(e.max())
        v = np.concatenate(values)
        print(f"| {tool} | {len(values)} | {v.max()} | {np.percentile(v, 99.9):.0f} | {beyond} | {worst[1]} ({worst[0]}) |")
    tools = [e.split("=", 1)[0] for e in entries]
    print("\nMax levels beyond the local range, per picture:\n")
    print("| picture | " + " | ".join(tools) + " |")
    print("|---|" + "---:|" * len(tools))
    for stem, row in per.items():
        print(f"| {stem} | " + " | ".join(str(row.get(t, "-")) for t in tools) + " |")


def main():
    a = sys.argv[1:]
    if len(a) == 4 and a[0] == "make":
        make(a[1], a[2], a[3])
    elif len(a) >= 4 and a[0] == "ring":
        ring(a[1], a[2], a[3:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
