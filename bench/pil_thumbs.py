#!/usr/bin/python3
"""The Pillow peer: draft (a reduced DCT decode leaving at least a factor of
2), EXIF orientation, Lanczos to fit 158 x 158, JPEG quality 100 at 4:4:4.
Fitted only, no padding, like vipsthumbnail.
Usage: pil_thumbs.py OUT FILE..."""
import os
import sys

from PIL import Image, ImageOps

BOX = (158, 158)


def thumb(path, out):
    with Image.open(path) as im:
        im.draft("RGB", (BOX[0] * 2, BOX[1] * 2))
        im = ImageOps.exif_transpose(im).convert("RGB")
        im.thumbnail(BOX, Image.LANCZOS, reducing_gap=None)
        im.save(os.path.join(out, os.path.basename(path)), quality=100, subsampling=0)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    status = 0
    for path in sys.argv[2:]:
        try:
            thumb(path, sys.argv[1])
        except Exception as e:  # one bad file must not stop the others
            print(f"{path}: {e}", file=sys.stderr)
            status = 1
    sys.exit(status)


if __name__ == "__main__":
    main()
