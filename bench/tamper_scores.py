#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""How well verify locates tampering, keyless and keyed, on real photographs.

Each photograph shipped with scikit-image is fitted to 1024 x 768 and marked
with the camera man (512 x 512) twice: without a key, and with a key and the
photograph's own id. Then a region of 1 %, 10 % and 50 % of the area is
tampered with, and the 8 x 8 blocks that verify flags are scored against the
blocks that really changed, over the blocks that carry bits (a top-corner
block counts as the carrying block it is hashed with).

    PYTHONPATH=build/python python3 bench/tamper_scores.py
"""

import os
import sys

import numpy as np
import skimage
from PIL import Image, ImageDraw, ImageFont

import ombrel

DATA = os.path.join(os.path.dirname(skimage.__file__), "data")
PHOTOS = ["astronaut.png", "chelsea.png", "coffee.png", "hubble_deep_field.jpg",
          "motorcycle_left.png", "rocket.jpg", "retina.jpg"]
KEY = bytes(range(100, 132))
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SHARES = [0.01, 0.10, 0.50]
KINDS = ["fill-zero", "fill-random", "copy-move", "text", "collage"]


def fitted(name):
    """The photograph scaled and cropped to fill 1024 x 768."""
    picture = Image.open(os.path.join(DATA, name)).convert("RGB")
    scale = max(1024 / picture.width, 768 / picture.height)
    picture = picture.resize((round(picture.width * scale), round(picture.height * scale)), Image.LANCZOS)
    left, top = (picture.width - 1024) // 2, (picture.height - 768) // 2
    return np.asarray(picture.crop((left, top, left + 1024, top + 768)))


def folded_blocks(changed):
    """Per carrying block (96 x 128): does it hold, or is it hashed with, a changed pixel."""
    blocks = changed.reshape(96, 8, 128, 8).any(axis=(1, 3))
    corners = blocks[:16]
    corners[:, 12] |= corners[:, :12].any(axis=1)
    corners[:, 119] |= corners[:, 120:].any(axis=1)
    corners[:, :12] = corners[:, 120:] = False
    return blocks


CARRYING = np.ones((96, 128), bool)
CARRYING[:16, :12] = CARRYING[:16, 120:] = False


def region(rng, share):
    """A 4:3 rectangle of share of the area at a random place: (top, left, height, width)."""
    height = min(768, round(np.sqrt(share * 1024 * 768 * 3 / 4)))
    width = min(1024, round(share * 1024 * 768 / height))
    return rng.integers(0, 769 - height), rng.integers(0, 1025 - width), height, width


def tampered(kind, image, other, rng, share):
    out = image.copy()
    top, left, height, width = region(rng, share)
    box = (slice(top, top + height), slice(left, left + width))
    if kind == "fill-zero":
        out[box] = 0
    elif kind == "fill-random":
        out[box] = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
    elif kind == "copy-move":
        top2, left2 = rng.integers(0, 769 - height), rng.integers(0, 1025 - width)
        out[box] = image[top2:top2 + height, left2:left2 + width]
    elif kind == "text":
        picture = Image.fromarray(out)
        draw = ImageDraw.Draw(picture)
        size = max(12, height // 4)
        font = ImageFont.truetype(FONT, size)
        for line in range(4):
            draw.text((left, top + line * size), "FORGED 2024 " * 8, fill=(255, 255, 40), font=font)
        # Text stays inside its rectangle, as a caption pasted into it would.
        drawn = np.asarray(picture)
        out[box] = drawn[box]
    elif kind == "collage":
        out[box] = other[box]  # the same place in another marked photograph
    return out


def scores(flagged, truth):
    flagged, truth = flagged & CARRYING, truth & CARRYING
    hit = int((flagged & truth).sum())
    precision = hit / flagged.sum() if flagged.any() else 1.0
    recall = hit / truth.sum() if truth.any() else 1.0
    return precision, recall


def main():
    camera = np.asarray(Image.open(os.path.join(DATA, "camera.png")).convert("L"))
    covers = {name: fitted(name) for name in PHOTOS}
    plain = {name: ombrel.embed(c, camera) for name, c in covers.items()}
    keyed = {name: ombrel.embed(c, camera, key=KEY, image_id=name) for name, c in covers.items()}

    print(f"{len(PHOTOS)} photographs, watermark camera.png, key of {len(KEY)} bytes, id = file name")
    print(f"{'photograph':24} {'PSNR keyless':>12} {'PSNR keyed':>11} {'difference':>11} "
          f"{'false alarms keyless':>21} {'keyed':>6}")
    for name in PHOTOS:
        a = ombrel.psnr(covers[name], plain[name])
        b = ombrel.psnr(covers[name], keyed[name])
        alarms_plain = ombrel.verify(plain[name], camera).blocks_altered
        alarms_keyed = ombrel.verify(keyed[name], camera, key=KEY, image_id=name).blocks_altered
        print(f"{name:24} {a:12.2f} {b:11.2f} {a - b:11.2f} {alarms_plain:21d} {alarms_keyed:6d}")

    rng = np.random.default_rng(2024)
    print()
    print(f"{'tamper':12} {'area':>5}   {'keyless precision':>17} {'recall':>7}   "
          f"{'keyed precision':>15} {'recall':>7}   (worst over the photographs)")
    for kind in KINDS:
        for share in SHARES:
            worst = [1.0, 1.0, 1.0, 1.0]
            for i, name in enumerate(PHOTOS):
                other = PHOTOS[(i + 1) % len(PHOTOS)]
                seed = rng.integers(1 << 30)
                for column, (marked, pasted_from, key, image_id) in enumerate([
                        (plain[name], plain[other], None, ""),
                        (keyed[name], keyed[other], KEY, name)]):
                    changed = tampered(kind, marked, pasted_from, np.random.default_rng(seed), share)
                    truth = folded_blocks((changed != marked).any(axis=2))
                    report = ombrel.verify(changed, camera, key=key, image_id=image_id)
                    p, r = scores(report.blocks, truth)
                    worst[2 * column] = min(worst[2 * column], p)
                    worst[2 * column + 1] = min(worst[2 * column + 1], r)
            print(f"{kind:12} {share:5.0%}   {worst[0]:17.2f} {worst[1]:7.2f}   {worst[2]:15.2f} {worst[3]:7.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
