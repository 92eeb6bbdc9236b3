# SPDX-License-Identifier: Apache-2.0
"""ombrel.seal and ombrel.check: the format as docs/keyed-format.md gives it,
written again here with hashlib, the report, the refusals, the free GIL."""

import hashlib
import os
import threading
import time
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

import ombrel

KEY = bytes(range(40, 72))
ID = "photo-7"


def documented_seal(image, key, image_id):
    """The seal made from the format page's words with Python's own BLAKE2b."""
    out = image.copy()
    pixels = out if out.ndim == 3 else out[:, :, None]
    height, width, channels = pixels.shape
    depth = out.dtype.itemsize * 8
    colour = channels - 1 if channels in (2, 4) else channels
    bound = (b"ombrel seal 1" + len(image_id.encode()).to_bytes(8, "little") + image_id.encode()
             + width.to_bytes(4, "little") + height.to_bytes(4, "little") + bytes([channels, depth]))
    image_key = hashlib.blake2b(bound, key=key, digest_size=32).digest()

    def units(n):
        if n < 8:
            return [(0, n)]
        return [(8 * u, 8 if u < n // 8 - 1 else 8 + n % 8) for u in range(n // 8)]

    for uy, (top, h) in enumerate(units(height)):
        for ux, (left, w) in enumerate(units(width)):
            message = bytearray(image_key + ux.to_bytes(4, "little") + uy.to_bytes(4, "little"))
            for y in range(top, top + h):
                for x in range(left, left + w):
                    for c in range(channels):
                        s = int(pixels[y, x, c]) & (~1 if c == (x + y) % colour else ~0)
                        message += s.to_bytes(depth // 8, "little")
            tag = hashlib.blake2b(bytes(message), digest_size=max(16, (w * h + 7) // 8)).digest()
            k = 0
            for y in range(top, top + h):
                for x in range(left, left + w):
                    c = (x + y) % colour
                    pixels[y, x, c] = (int(pixels[y, x, c]) & ~1) | (tag[k // 8] >> (k % 8) & 1)
                    k += 1
    return out


def random_image(shape, dtype, seed=1):
    return np.random.default_rng(seed).integers(0, np.iinfo(dtype).max + 1, shape, dtype=dtype)


SHAPES = [((1, 1), np.uint8), ((9, 17, 3), np.uint8), ((16, 16, 4), np.uint16), ((7, 5, 2), np.uint16),
          ((23, 10), np.uint16), ((10, 23, 1), np.uint8), ((17, 31, 4), np.uint8), ((24, 8, 3), np.uint16)]


@pytest.mark.parametrize("shape,dtype", SHAPES, ids=lambda v: str(v))
def test_seals_as_the_format_page_says(shape, dtype):
    image = random_image(shape, dtype)
    before = image.copy()
    sealed = ombrel.seal(image, key=KEY, image_id=ID)
    assert sealed.dtype == dtype and sealed.shape == shape
    assert np.array_equal(image, before)  # the input is left alone
    assert np.array_equal(sealed, documented_seal(image, KEY, ID))
    report = ombrel.check(sealed, key=KEY, image_id=ID)
    assert report.intact and report.box is None and not report.no_unit_matches
    assert report.units.shape == (max(1, shape[0] // 8), max(1, shape[1] // 8))
    assert report.units_checked == report.units.size and report.units_altered == 0


def test_any_layout_of_the_same_samples_seals_alike():
    image = random_image((40, 30, 4), np.uint8)
    view = np.asfortranarray(image)[:, :, :]  # not in row order: copied
    assert np.array_equal(ombrel.seal(view, key=KEY, image_id=ID), ombrel.seal(image, key=KEY, image_id=ID))
    assert np.array_equal(ombrel.seal(image, key=KEY, image_id=ID, threads=1),
                          ombrel.seal(image, key=KEY, image_id=ID, threads=3))


def test_the_report_marks_the_changed_units_and_their_box():
    sealed = ombrel.seal(random_image((40, 50, 4), np.uint16), key=KEY, image_id=ID)
    tampered = sealed.copy()
    tampered[3, 45, 3] ^= 0x100      # alpha, in unit (5, 0), which takes columns 40..49
    tampered[33, 10:20, 0] = 0       # red across units (1, 4) and (2, 4)
    report = ombrel.check(tampered, key=KEY, image_id=ID)
    assert not report.intact and not report.no_unit_matches
    assert report.units_altered == 3
    assert sorted(zip(*np.nonzero(report.units))) == [(0, 5), (4, 1), (4, 2)]
    assert report.box == (8, 0, 49, 39)
    assert report.unit_box(5, 0) == (40, 0, 49, 7)
    assert report.unit_box(2, 4) == (16, 32, 23, 39)
    assert repr(report) == "<CheckReport altered: 3 of 30 units altered>"
    with pytest.raises(IndexError):
        report.unit_box(6, 0)


@pytest.mark.parametrize("what", ["cropped", "other id", "other key", "as 8 bits", "alpha dropped"])
def test_another_picture_fails_every_unit(what):
    image = random_image((32, 48, 4), np.uint16)
    sealed = ombrel.seal(image, key=KEY, image_id=ID)
    key, image_id, picture = KEY, ID, sealed
    if what == "cropped":
        picture = sealed[8:, 8:]
    elif what == "other id":
        image_id = "photo-8"
    elif what == "other key":
        key = bytes(32)
    elif what == "as 8 bits":
        picture = (sealed >> 8).astype(np.uint8)
    else:
        picture = sealed[:, :, :3]
    report = ombrel.check(picture, key=key, image_id=image_id)
    assert report.no_unit_matches and report.units_altered == report.units_checked
    assert repr(report).startswith("<CheckReport no unit matches: ")


@pytest.mark.parametrize("image,key,error,code", [
    (np.zeros((8, 8, 3), np.float32), KEY, ValueError, None),
    (np.zeros((8, 8, 5), np.uint8), KEY, ValueError, None),
    (np.zeros((8,), np.uint8), KEY, ValueError, None),
    (np.zeros((0, 8), np.uint8), KEY, ombrel.Error, "Empty"),
    (np.zeros((8, 8), np.uint8), bytes(15), ombrel.Error, "KeyTooShort"),
], ids=["float", "five channels", "one axis", "empty", "short key"])
def test_refusals(image, key, error, code):
    for call in (ombrel.seal, ombrel.check):
        with pytest.raises(error) as refused:
            call(image, key=key, image_id=ID)
        if code is None:
            assert not isinstance(refused.value, ombrel.Error)
        else:
            assert refused.value.code == code


def test_the_key_is_asked_for_by_name():
    with pytest.raises(TypeError):
        ombrel.seal(np.zeros((8, 8), np.uint8), KEY)


def test_the_gil_is_free_while_it_hashes():
    image = random_image((4000, 4000, 3), np.uint8)
    started = time.perf_counter()
    ombrel.seal(image, key=KEY, image_id=ID, threads=1)
    alone = time.perf_counter() - started
    done = threading.Event()

    def work():
        ombrel.seal(image, key=KEY, image_id=ID, threads=1)
        done.set()

    worker = threading.Thread(target=work)
    longest = 0.0
    last = time.perf_counter()
    worker.start()
    while not done.is_set():
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    worker.join()
    # Held, this thread would stand still for the whole seal.
    assert longest < alone * 0.6, (longest, alone)


def photograph():
    import skimage
    return np.asarray(Image.open(Path(skimage.__file__).parent / "data" / "astronaut.png").convert("RGB"))


def test_a_photograph_as_16_bits_seals_at_more_than_55_db():
    photo = photograph().astype(np.uint16) * 257
    sealed = ombrel.seal(photo, key=KEY, image_id=ID)
    error = (sealed.astype(np.float64) - photo) ** 2
    assert 10 * np.log10(65535.0 ** 2 / error.mean()) > 55
    assert ombrel.check(sealed, key=KEY, image_id=ID).intact
    assert np.array_equal(sealed >> 1, photo >> 1)  # only bit 0 changes
