#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""How well the seal shows tampering, on real photographs at their own size.

Each photograph shipped with scikit-image is sealed as it is (RGB or grey,
its own width and height, edge remainders and all), and two mosaics of
several megapixels are tiled from them, one RGB, one grey. For each picture:

- the PSNR over all samples (goal: 55 dB or more in RGB, 50.5 or more in
  grey, where every sample carries a bit and about 51 is expected; none for
  a picture under 1000 pixels, whose few tag bits make it a matter of luck);
- an untouched sealed copy must raise no alarm;
- regions of 1 %, 10 % and 50 % of the area are tampered with, and the units
  check flags are scored against the units that really changed (a unit
  counts as changed when any of its samples differs): precision and recall
  must both be 1 for every kind;
- a crop, a wider canvas and one-pixel shifts must fail as a whole: every
  unit altered, never intact.

Prints the tables and exits 1 when a goal is missed.

    PYTHONPATH=build/python /usr/bin/python3 bench/seal_scores.py
    PYTHONPATH=build/python /usr/bin/python3 bench/seal_scores.py --small   # a few seconds
"""

import argparse
import os
import sys

import numpy as np
import skimage
from PIL import Image, ImageDraw, ImageFilter, ImageFont

DATA = os.path.join(os.path.dirname(skimage.__file__), "data")
RGB_PHOTOS = ["astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg", "motorcycle_left.png",
              "hubble_deep_field.jpg", "retina.jpg"]
GREY_PHOTOS = ["camera.png", "moon.png", "page.png", "coins.png", "brick.png"]
KEY = bytes(range(7, 39))
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SHARES = [0.01, 0.10, 0.50]
KINDS = ["black", "white", "random", "copy-move", "block-move", "text", "blur", "collage", "twin"]
# What each kind does, for the table's foot.
KIND_NOTES = {
    "black": "a rectangle filled with 0",
    "white": "a rectangle filled with the largest sample",
    "random": "a rectangle of random samples",
    "copy-move": "a rectangle copied from elsewhere in the picture, anywhere",
    "block-move": "whole units copied to other unit positions (on the 8 x 8 grid)",
    "text": "a caption drawn inside the rectangle",
    "blur": "the rectangle blurred (Gaussian, radius 2)",
    "collage": "the same place taken from another photograph sealed under another id",
    "twin": "the same place from this photograph sealed under another id (only tag bits differ)",
}
WHOLE = ["crop 8", "crop 3", "canvas +8", "shift right 1", "shift down 1"]
RGB_GOAL, GREY_GOAL = 55.0, 50.5
MIN_PSNR_PIXELS = 1000


def load(name, grey):
    return np.asarray(Image.open(os.path.join(DATA, name)).convert("L" if grey else "RGB"))


def mosaic(photos, height, width):
    """A picture of height x width tiled from the photographs, each tile a
    400 x 300 cut from one of them, flipped now and then so no two tiles
    repeat side by side."""
    th, tw = 300, 400
    tiles = []
    for p in photos:
        top, left = (p.shape[0] - th) // 2, (p.shape[1] - tw) // 2
        if top >= 0 and left >= 0:
            tiles.append(p[top:top + th, left:left + tw])
    rows = []
    n = 0
    for _ in range(-(-height // th)):
        row = []
        for _ in range(-(-width // tw)):
            tile = tiles[n % len(tiles)]
            row.append(tile[:, ::-1] if (n // len(tiles)) % 2 else tile)
            n += 1
        rows.append(np.concatenate(row, axis=1))
    return np.ascontiguousarray(np.concatenate(rows, axis=0)[:height, :width])


def pictures(small):
    """(name, picture) pairs: the photographs at their own size, or, small,
    cuts of a few of them at awkward sizes."""
    rgb = {n: load(n, False) for n in RGB_PHOTOS}
    grey = {n: load(n, True) for n in GREY_PHOTOS}
    if small:
        return [("astronaut 61x45", rgb["astronaut.png"][200:245, 200:261]),
                ("coffee 130x97", rgb["coffee.png"][100:197, 200:330]),
                ("chelsea 7x5", rgb["chelsea.png"][100:105, 100:107]),
                ("camera 83x66", grey["camera.png"][100:166, 150:233]),
                ("moon 40x40", grey["moon.png"][200:240, 200:240])]
    out = list(rgb.items()) + list(grey.items())
    colour = mosaic(list(rgb.values()), 2403, 3205)
    out.append(("mosaic RGB 3205x2403", colour))
    out.append(("mosaic grey 3205x2403", np.asarray(Image.fromarray(colour).convert("L"))))
    return out


def changed_units(before, after):
    """Per unit: does any of its samples differ. Units start every 8 pixels,
    the last of a row or column running to the edge."""
    differs = before != after
    if differs.ndim == 3:
        differs = differs.any(axis=2)
    down, across = (np.arange(max(1, n // 8)) * 8 for n in differs.shape)
    return np.logical_or.reduceat(np.logical_or.reduceat(differs, down, axis=0), across, axis=1)


def psnr(before, after):
    error = np.mean((before.astype(np.float64) - after) ** 2)
    return float("inf") if error == 0 else 10 * np.log10(255.0 ** 2 / error)


def region(rng, shape, share):
    """A 4:3 rectangle of share of the area at a random place: (top, left, height, width)."""
    h, w = shape[:2]
    height = max(1, min(h, round(np.sqrt(share * h * w * 3 / 4))))
    width = max(1, min(w, round(share * h * w / height)))
    return int(rng.integers(0, h - height + 1)), int(rng.integers(0, w - width + 1)), height, width


def blurred(picture, top, left, height, width):
    """The rectangle as a blur of the whole picture would leave it."""
    margin = 8
    t, l = max(0, top - margin), max(0, left - margin)
    around = picture[t:top + height + margin, l:left + width + margin]
    out = np.asarray(Image.fromarray(around).filter(ImageFilter.GaussianBlur(2)))
    return out[top - t:top - t + height, left - l:left - l + width]


def texted(picture, top, left, height, width):
    drawn = Image.fromarray(picture)
    draw = ImageDraw.Draw(drawn)
    size = max(6, height // 4)
    font = ImageFont.truetype(FONT, size)
    fill = 255 if picture.ndim == 2 else (255, 255, 40)
    for line in range(4):
        draw.text((left, top + line * size), "FORGED 2024 " * 8, fill=fill, font=font)
    return np.asarray(drawn)[top:top + height, left:left + width]


def tampered(kind, sealed, other, twin, rng, share):
    out = sealed.copy()
    top, left, height, width = region(rng, sealed.shape, share)
    box = (slice(top, top + height), slice(left, left + width))
    h, w = sealed.shape[:2]
    if kind == "black":
        out[box] = 0
    elif kind == "white":
        out[box] = 255
    elif kind == "random":
        out[box] = rng.integers(0, 256, out[box].shape, dtype=np.uint8)
    elif kind == "copy-move":
        top2, left2 = int(rng.integers(0, h - height + 1)), int(rng.integers(0, w - width + 1))
        out[box] = sealed[top2:top2 + height, left2:left2 + width]
    elif kind == "block-move":
        # Whole units, each intact where it came from, moved along the grid.
        uh, uw = max(1, min(height // 8, h // 8 - 1)), max(1, min(width // 8, w // 8 - 1))
        if h < 16 or w < 16:
            out[:] = sealed[::-1]  # too small to move a unit: turned over instead
            return out
        ty, tx = 8 * int(rng.integers(0, h // 8 - uh)), 8 * int(rng.integers(0, w // 8 - uw))
        sy, sx = 8 * int(rng.integers(0, h // 8 - uh)), 8 * int(rng.integers(0, w // 8 - uw))
        if (sy, sx) == (ty, tx):
            sx = 8 if tx == 0 else 0
        out[ty:ty + 8 * uh, tx:tx + 8 * uw] = sealed[sy:sy + 8 * uh, sx:sx + 8 * uw]
    elif kind == "text":
        out[box] = texted(sealed, top, left, height, width)
    elif kind == "blur":
        out[box] = blurred(sealed, top, left, height, width)
    elif kind == "collage":
        out[box] = other[box]
    elif kind == "twin":
        out[box] = twin[box]
    return out


def whole(kind, sealed):
    if kind == "crop 8":
        return sealed[8:, 8:] if min(sealed.shape[:2]) > 8 else sealed[1:, 1:]
    if kind == "crop 3":
        return sealed[:-3, :-3]
    if kind == "canvas +8":
        pad = [(0, 8), (0, 8)] + ([(0, 0)] if sealed.ndim == 3 else [])
        return np.pad(sealed, pad, mode="edge")
    if kind == "shift right 1":
        return np.concatenate([sealed[:, :1], sealed[:, :-1]], axis=1)
    return np.concatenate([sealed[:1], sealed[:-1]], axis=0)


def scores(flagged, truth):
    hit = int((flagged & truth).sum())
    precision = hit / flagged.sum() if flagged.any() else 1.0
    recall = hit / truth.sum() if truth.any() else 1.0
    return precision, recall


def main():
    import ombrel  # here, so seal_speed.py can take the photographs without the module

    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--small", action="store_true", help="small cuts of a few photographs, for the tests")
    args = parser.parse_args()
    shares = SHARES[1:] if args.small else SHARES
    failed = []

    sealed = {}
    rows = pictures(args.small)
    print(f"{len(rows)} pictures, key of {len(KEY)} bytes, id = picture's name")
    print(f"{'picture':24} {'size':>11} {'kind':>4} {'units':>7} {'PSNR dB':>8} {'goal':>5} "
          f"{'untouched: altered':>19}")
    for name, picture in rows:
        s = ombrel.seal(picture, key=KEY, image_id=name)
        sealed[name] = s
        grey = picture.ndim == 2
        value, goal = psnr(picture, s), GREY_GOAL if grey else RGB_GOAL
        # In a picture of a few pixels the PSNR is the luck of a few tag bits.
        goal = goal if picture.shape[0] * picture.shape[1] >= MIN_PSNR_PIXELS else None
        report = ombrel.check(s, key=KEY, image_id=name)
        if goal is not None and value < goal:
            failed.append(f"{name}: PSNR {value:.2f} dB under {goal}")
        if not report.intact or report.units_altered:
            failed.append(f"{name}: untouched, yet {report.units_altered} units altered")
        size = f"{picture.shape[1]}x{picture.shape[0]}"
        print(f"{name:24} {size:>11} {'grey' if grey else 'RGB':>4} {report.units_checked:7d} {value:8.2f} "
              f"{'-' if goal is None else f'{goal:.1f}':>5} {report.units_altered:19d}")

    # Another picture of the same size, sealed under its own id, for collages;
    # this one again under another id, for twins.
    names = [n for n, _ in rows]
    by_name = dict(rows)
    others, twins = {}, {}
    for i, name in enumerate(names):
        picture = by_name[name]
        partner = next(n for n in names[i + 1:] + names[:i] if by_name[n].ndim == picture.ndim)
        resized = Image.fromarray(by_name[partner]).resize((picture.shape[1], picture.shape[0]), Image.LANCZOS)
        others[name] = ombrel.seal(np.asarray(resized), key=KEY, image_id=partner)
        twins[name] = ombrel.seal(picture, key=KEY, image_id=name + " again")

    rng = np.random.default_rng(29)
    print()
    print(f"{'tamper':11} {'area':>5} {'cases':>5} {'changed':>8} {'flagged':>8} {'false':>6} {'missed':>6} "
          f"{'precision':>9} {'recall':>7}   (units summed, worst score, over the pictures)")
    for kind in KINDS:
        for share in shares:
            totals = np.zeros(4, int)
            worst = [1.0, 1.0]
            for name in names:
                changed = tampered(kind, sealed[name], others[name], twins[name], rng, share)
                truth = changed_units(sealed[name], changed)
                report = ombrel.check(changed, key=KEY, image_id=name)
                flagged = np.asarray(report.units, bool)
                p, r = scores(flagged, truth)
                worst = [min(worst[0], p), min(worst[1], r)]
                totals += [truth.sum(), flagged.sum(), (flagged & ~truth).sum(), (truth & ~flagged).sum()]
                if p < 1 or r < 1:
                    failed.append(f"{name}: {kind} {share:.0%}: precision {p:.4f}, recall {r:.4f}")
            print(f"{kind:11} {share:5.0%} {len(names):5d} {totals[0]:8d} {totals[1]:8d} {totals[2]:6d} "
                  f"{totals[3]:6d} {worst[0]:9.4f} {worst[1]:7.4f}")

    print()
    print(f"{'whole picture':14} {'cases':>5} {'never intact':>12} {'every unit fails':>16}")
    for kind in WHOLE:
        intact = every = 0
        for name in names:
            report = ombrel.check(whole(kind, sealed[name]), key=KEY, image_id=name)
            intact += report.intact
            every += report.no_unit_matches and report.units_altered == report.units_checked
            if report.intact or not report.no_unit_matches:
                failed.append(f"{name}: {kind}: {report.units_altered} of {report.units_checked} units altered")
        print(f"{kind:14} {len(names):5d} {'yes' if intact == 0 else 'NO':>12} "
              f"{f'{every} of {len(names)}':>16}")

    print()
    for kind in KINDS:
        print(f"  {kind:11} {KIND_NOTES[kind]}")
    if failed:
        print(f"\n{len(failed)} goals missed:", *failed, sep="\n  ", file=sys.stderr)
        return 1
    print("\nevery goal met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
