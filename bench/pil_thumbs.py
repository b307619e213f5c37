#!/usr/bin/python3
"""The Pillow peer: draft (a reduced DCT decode leaving at least a factor of
2), EXIF orientation, Lanczos to fit the box (158 x 158 unless --size WxH),
JPEG quality 100 at 4:4:4. Fitted only, no padding, like vipsthumbnail.
Usage: pil_thumbs.py [--size WxH] OUT FILE..."""
import os
import sys

from PIL import Image, ImageOps

BOX = (158, 158)


def thumb(path, out, box):
    with Image.open(path) as im:
        im.draft("RGB", (box[0] * 2, box[1] * 2))
        im = ImageOps.exif_transpose(im).convert("RGB")
        im.thumbnail(box, Image.LANCZOS, reducing_gap=None)
        im.save(os.path.join(out, os.path.basename(path)), quality=100, subsampling=0)


def main():
    args = sys.argv[1:]
    box = BOX
    if args[:1] == ["--size"] and len(args) > 1:
        box = tuple(int(v) for v in args[1].split("x"))
        args = args[2:]
    if len(args) < 2:
        sys.exit(__doc__)
    status = 0
    for path in args[1:]:
        try:
            thumb(path, args[0], box)
        except Exception as e:  # one bad file must not stop the others
            print(f"{path}: {e}", file=sys.stderr)
            status = 1
    sys.exit(status)


if __name__ == "__main__":
    main()
