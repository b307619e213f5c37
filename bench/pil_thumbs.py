#!/usr/bin/python3
"""The Pillow peer: draft (a reduced DCT decode leaving at least a factor of
2), EXIF orientation, Lanczos to fit the box (158 x 158 unless --size WxH),
JPEG quality 100 at 4:4:4, named as the source with .jpg. Fitted only, no
padding, like vipsthumbnail. --enlarge: a picture smaller than the box is
enlarged to fit it (Lanczos too), as `thumbnail` never does.
Usage: pil_thumbs.py [--size WxH] [--enlarge] OUT FILE..."""
import os
import sys

from PIL import Image, ImageOps

BOX = (158, 158)


def thumb(path, out, box, enlarge):
    with Image.open(path) as im:
        im.draft("RGB", (box[0] * 2, box[1] * 2))
        im = ImageOps.exif_transpose(im).convert("RGB")
        scale = min(box[0] / im.width, box[1] / im.height)
        if enlarge and scale > 1:
            im = im.resize((max(1, round(im.width * scale)), max(1, round(im.height * scale))), Image.LANCZOS)
        else:
            im.thumbnail(box, Image.LANCZOS, reducing_gap=None)
        name = os.path.splitext(os.path.basename(path))[0] + ".jpg"
        im.save(os.path.join(out, name), quality=100, subsampling=0)


def main():
    args = sys.argv[1:]
    box, enlarge = BOX, False
    while args[:1] in (["--size"], ["--enlarge"]):
        if args[0] == "--enlarge":
            enlarge, args = True, args[1:]
        elif len(args) > 1:
            box, args = tuple(int(v) for v in args[1].split("x")), args[2:]
        else:
            break
    if len(args) < 2:
        sys.exit(__doc__)
    status = 0
    for path in args[1:]:
        try:
            thumb(path, args[0], box, enlarge)
        except Exception as e:  # one bad file must not stop the others
            print(f"{path}: {e}", file=sys.stderr)
            status = 1
    sys.exit(status)


if __name__ == "__main__":
    main()
