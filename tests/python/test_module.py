# SPDX-License-Identifier: Apache-2.0
"""The Python module against the ombrel tool, bit for bit, and its refusals."""

import os
import re
import shutil
import subprocess
import sys
import threading
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

import ombrel

SOURCE = Path(os.environ["OMBREL_SOURCE_DIR"])
CLI = os.environ["OMBREL_CLI"]
SAMPLES = SOURCE / "samples"


def load(path):
    return np.asarray(Image.open(path).convert("RGB"))


@pytest.fixture(scope="module")
def cover():
    return load(SAMPLES / "cover.bmp")


@pytest.fixture(scope="module")
def watermark():
    return np.asarray(Image.open(SAMPLES / "watermark.bmp").convert("L"))


def cli(*args):
    done = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.mark.parametrize("threshold", [0, 7, -255, 200])
def test_embed_and_extract_give_the_tools_bytes(tmp_path, cover, watermark, threshold):
    marked_file, mark_file = tmp_path / "marked.bmp", tmp_path / "mark.bmp"
    cli("embed", SAMPLES / "cover.bmp", SAMPLES / "watermark.bmp", "-t", threshold, "-o", marked_file)
    cli("extract", marked_file, "-o", mark_file)

    marked = ombrel.embed(cover, watermark, threshold)
    assert marked.dtype == np.uint8 and marked.shape == (768, 1024, 3)
    assert np.array_equal(marked, load(marked_file))
    found = ombrel.extract(marked)
    assert found.dtype == np.uint8 and found.shape == (512, 512)
    assert np.array_equal(found, load(mark_file)[:, :, 0])


def test_psnr_and_nc_agree_with_compare(tmp_path, cover, watermark):
    marked_file = tmp_path / "marked.bmp"
    cli("embed", SAMPLES / "cover.bmp", SAMPLES / "watermark.bmp", "-o", marked_file)
    said = cli("compare", SAMPLES / "cover.bmp", marked_file)
    marked = load(marked_file)
    assert f"PSNR: {ombrel.psnr(cover, marked):.2f} dB" in said
    assert f"NC: {ombrel.nc(cover, marked):.6f}" in said
    assert ombrel.psnr(watermark, watermark) == float("inf")


def test_a_grey_rgb_watermark_is_the_same_watermark(cover, watermark):
    rgb = np.repeat(watermark[:, :, None], 3, axis=2)
    assert np.array_equal(ombrel.embed(cover, rgb), ombrel.embed(cover, watermark))


def test_non_contiguous_arrays_are_copied(cover, watermark):
    wide = np.zeros((768, 2048, 3), np.uint8)
    wide[:, ::2] = cover
    fortran = np.asfortranarray(watermark)
    assert not wide[:, ::2].flags.c_contiguous and not fortran.flags.c_contiguous
    assert np.array_equal(ombrel.embed(wide[:, ::2], fortran), ombrel.embed(cover, watermark))
    marked = ombrel.embed(cover, watermark)
    assert np.array_equal(ombrel.extract(np.asfortranarray(marked)), ombrel.extract(marked))


def cli_any(*args):
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True)


def said(pattern, text):
    return tuple(int(n) for n in re.search(pattern, text).groups())


def test_verify_agrees_with_the_tool(tmp_path, cover, watermark):
    marked = ombrel.embed(cover, watermark, 3)
    tampered = marked.copy()
    tampered[300:340, 500:517] ^= 1  # lowest bits, as a careless edit would
    for name, image in [("marked", marked), ("tampered", tampered)]:
        path = tmp_path / f"{name}.png"
        Image.fromarray(image).save(path)
        done = cli_any("verify", path, "--watermark", SAMPLES / "watermark.bmp", "-t", 3)
        report = ombrel.verify(image, watermark, threshold=3)
        assert report.intact == (done.returncode == 0) == done.stdout.endswith("\nintact\n"), name
        assert (report.bits_compared,) == said(r"Bits compared: (\d+)", done.stdout)
        assert (report.bits_differing,) == said(r"Bits differing: (\d+)", done.stdout)
        assert (report.pixels_differing,) == said(r"Pixels with a differing bit: (\d+)", done.stdout)
        assert (report.blocks_altered, report.blocks_checked) == said(
            r"Altered 8x8 blocks: (\d+) of (\d+) checked", done.stdout)
        assert report.blocks.shape == (96, 128) and report.blocks.dtype == bool
        assert int(report.blocks.sum()) == report.blocks_altered
        if report.intact:
            assert report.box is None and report.bits_differing == 0
        else:
            left, right, top, bottom = said(r"Altered area: x (\d+)\.\.(\d+), y (\d+)\.\.(\d+)", done.stdout)
            assert report.box == (left, top, right, bottom)
    assert ombrel.verify(tampered, watermark, 3).box == (496, 296, 519, 343)
    assert not ombrel.verify(marked, watermark, 200).intact


def test_ssim_agrees_with_compare(tmp_path, cover, watermark):
    marked = ombrel.embed(cover, watermark)
    path = tmp_path / "marked.png"
    Image.fromarray(marked).save(path)
    done = cli("compare", SAMPLES / "cover.bmp", path)
    assert f"SSIM: {ombrel.ssim(cover, marked):.6f}" in done
    assert ombrel.ssim(watermark, watermark) == 1.0
    with pytest.raises(ValueError) as refused:
        ombrel.ssim(MARK[:10, :10], MARK[:10, :10])
    assert str(refused.value) == "SSIM needs pictures of at least 11x11 pixels, not 10x10"


COVER = np.zeros((768, 1024, 3), np.uint8)
MARK = np.zeros((512, 512), np.uint8)


@pytest.mark.parametrize(
    "call, message, code",
    [
        (lambda: ombrel.embed(COVER[:767], MARK), "cover must be uint8[768, 1024, 3], not uint8[767, 1024, 3]", None),
        (lambda: ombrel.embed(COVER[:, :, 0], MARK), "cover must be uint8[768, 1024, 3], not uint8[768, 1024]", None),
        (lambda: ombrel.embed(COVER.astype(np.float32), MARK),
         "cover must be uint8[768, 1024, 3], not float32[768, 1024, 3]", None),
        (lambda: ombrel.embed(COVER, MARK[:, :511]),
         "watermark must be uint8[512, 512] or uint8[512, 512, 3], not uint8[512, 511]", None),
        (lambda: ombrel.embed(COVER, np.zeros((512, 512, 4), np.uint8)),
         "watermark must be uint8[512, 512] or uint8[512, 512, 3], not uint8[512, 512, 4]", None),
        (lambda: ombrel.embed(COVER, MARK.astype(np.uint16)),
         "watermark must be uint8[512, 512] or uint8[512, 512, 3], not uint16[512, 512]", None),
        (lambda: ombrel.extract(np.zeros((512, 512), np.uint8)),
         "image must be uint8[768, 1024, 3], not uint8[512, 512]", None),
        (lambda: ombrel.nc(MARK, np.zeros((512, 512, 2), np.uint8)),
         "b must be uint8[height, width] or uint8[height, width, 3], not uint8[512, 512, 2]", None),
        (lambda: ombrel.psnr(MARK, MARK[:256]), "the images differ in size: 512x512 and 512x256", "SizesDiffer"),
        (lambda: ombrel.embed(COVER, MARK, 256),
         "The threshold value is not in range, or invalid, please enter a threshold value in the range (-255,255)", "ThresholdInvalid"),
        (lambda: ombrel.embed(COVER, np.dstack([MARK, MARK, MARK + 1])), "The image is not grey scale (8 bit)", "WatermarkNotGrey"),
    ],
)
def test_refusals_name_what_was_expected(call, message, code):
    with pytest.raises(ValueError) as refused:
        call()
    assert str(refused.value) == message
    # The tool's refusals are ombrel.Error with the C++ code's name; wrong shapes are plain ValueError.
    if code is None:
        assert not isinstance(refused.value, ombrel.Error)
    else:
        assert isinstance(refused.value, ombrel.Error) and refused.value.code == code


def test_threads_embed_at_the_same_time(cover, watermark):
    expected = ombrel.embed(cover, watermark, 5)
    results = [None] * 4

    def work(i):
        results[i] = ombrel.embed(cover, watermark, 5)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(r, expected) for r in results)


def python_page_section(heading):
    page = (SOURCE / "docs" / "python.md").read_text()
    section = page.split(f"## {heading}\n", 1)[1].split("\n## ", 1)[0]
    code, output = re.findall(r"```[a-z]*\n(.*?)```", section, re.S)[:2]
    return code, output


def test_the_python_pages_first_example_runs_and_prints_what_it_shows(tmp_path):
    code, output = python_page_section("Embed, extract, measure")
    shutil.copytree(SAMPLES, tmp_path / "samples")
    env = {**os.environ, "PYTHONPATH": str(Path(ombrel.__file__).parent)}
    done = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout == output
    assert (tmp_path / "marked.png").exists()


KEY = bytes(range(7, 39))


def test_a_keyed_mark_gives_the_keyless_watermark_with_its_key_and_noise_without(cover, watermark):
    sealed = ombrel.embed(cover, watermark, key=KEY, image_id="cover.bmp")
    plain = ombrel.embed(cover, watermark)
    assert not np.array_equal(sealed, plain)
    assert np.array_equal(sealed ^ plain, (sealed ^ plain) & 3)  # only the low bits differ
    assert np.array_equal(ombrel.extract(sealed, key=KEY, image_id="cover.bmp"), ombrel.extract(plain))
    assert ombrel.verify(sealed, watermark, key=KEY, image_id="cover.bmp").intact
    for key, image_id in [(None, ""), (KEY, "cover2.bmp"), (KEY[::-1], "cover.bmp")]:
        report = ombrel.verify(sealed, watermark, key=key, image_id=image_id)
        assert report.blocks_altered > 0.99 * report.blocks_checked
        noise = ombrel.extract(sealed, key=key, image_id=image_id)
        assert ombrel.nc(watermark, noise) < ombrel.nc(watermark, ombrel.extract(plain)) - 0.1


def test_a_keyed_mark_shows_a_region_pasted_from_an_image_with_another_id(cover, watermark):
    sealed = ombrel.embed(cover, watermark, key=KEY, image_id="a")
    other = ombrel.embed(cover[::-1].copy(), watermark, key=KEY, image_id="b")
    collage = sealed.copy()
    collage[320:448, 256:512] = other[320:448, 256:512]
    blocks = ombrel.verify(collage, watermark, key=KEY, image_id="a").blocks
    expected = np.zeros((96, 128), bool)
    expected[40:56, 32:64] = True
    assert np.array_equal(blocks, expected)


def test_a_keyed_edit_in_a_corner_marks_the_whole_span_as_the_tool_does(tmp_path, cover, watermark):
    sealed = ombrel.embed(cover, watermark, key=KEY, image_id="corner")
    edited = sealed.copy()
    edited[10, 10, 1] ^= 1
    report = ombrel.verify(edited, watermark, key=KEY, image_id="corner")
    expected = np.zeros((96, 128), bool)
    expected[1, 0:13] = True  # the corner blocks and block column 12, hashed together
    assert np.array_equal(report.blocks, expected)
    assert report.box == (0, 8, 103, 15)
    assert (report.blocks_altered, report.blocks_checked) == (1, 11968)
    assert not report.intact and not report.no_block_matches

    path, key_file = tmp_path / "edited.png", tmp_path / "owner.key"
    Image.fromarray(edited).save(path)
    private(key_file, KEY)
    done = cli_any("verify", path, "--watermark", SAMPLES / "watermark.bmp", "--key-file", key_file, "--id", "corner")
    assert done.returncode == 3
    assert "Altered 8x8 blocks: 1 of 11968 checked\nAltered area: x 0..103, y 8..15\n" in done.stdout


def test_no_block_matches_tells_a_wrong_key_or_id_apart(cover, watermark):
    sealed = ombrel.embed(cover, watermark, key=KEY, image_id="cover.bmp")
    rows = [
        ("its key and id", sealed, KEY, "cover.bmp", False),
        ("another id", sealed, KEY, "cover2.bmp", True),
        ("another key", sealed, KEY[::-1], "cover.bmp", True),
        ("no key", sealed, None, "", True),
        ("never marked", cover, KEY, "cover.bmp", True),
        ("keyless", ombrel.embed(cover, watermark), None, "", False),
    ]
    for name, image, key, image_id, none in rows:
        report = ombrel.verify(image, watermark, key=key, image_id=image_id)
        assert report.no_block_matches is none, name
        assert (report.blocks_altered == report.blocks_checked == 11968) is none, name
    intact = ombrel.verify(sealed, watermark, key=KEY, image_id="cover.bmp")
    assert repr(intact) == "<VerifyReport intact: 0 of 868035 bits differ, 0 of 11968 blocks altered>"
    wrong = ombrel.verify(sealed, watermark, key=KEY, image_id="cover2.bmp")
    assert repr(wrong) == (
        f"<VerifyReport no block matches: {wrong.bits_differing} of 868035 bits differ, "
        "11968 of 11968 blocks altered>"
    )
    with pytest.raises(AttributeError):
        wrong.no_block_matches = False


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: ombrel.embed(COVER, MARK, key=bytes(15)), ombrel.Error, "a key has at least 16 bytes, not 15"),
        (lambda: ombrel.extract(COVER, key=b""), ombrel.Error, "a key has at least 16 bytes, not 0"),
        (lambda: ombrel.verify(COVER, MARK, key=bytes(3)), ombrel.Error, "a key has at least 16 bytes, not 3"),
        (lambda: ombrel.embed(COVER, MARK, image_id="a"), ValueError, "image_id names a keyed mark: give key too"),
        (lambda: ombrel.verify(COVER, MARK, image_id="a"), ValueError, "image_id names a keyed mark: give key too"),
    ],
)
def test_keys_are_refused_in_plain_words(call, error, message):
    with pytest.raises(error) as refused:
        call()
    assert str(refused.value) == message


def test_a_key_is_bytes():
    with pytest.raises(TypeError):
        ombrel.embed(COVER, MARK, key="a text of twenty letters")


def private(path, data):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    os.write(fd, data)
    os.close(fd)
    return path


def test_ids_and_passphrases_are_the_tools_own(tmp_path, cover, watermark):
    assert ombrel.id_from_name("photos/holiday-042.png") == "holiday-042"
    assert ombrel.id_from_name("holiday.tar.png") == "holiday.tar"
    # Argon2id of "correct horse": the tool's --passphrase-file gives the same key.
    key = ombrel.key_from_passphrase("correct horse")
    assert key.hex() == "ff6c011f0e0343ed3e14d34af13ac42c1f94f66783055d0adc0f97da0c597de5"

    # Sealed here under the name's id, checked by the tool under --id-from-name.
    sealed = tmp_path / "print-7.png"
    Image.fromarray(ombrel.embed(cover, watermark, key=key, image_id=ombrel.id_from_name(str(sealed)))).save(sealed)
    phrase = private(tmp_path / "phrase.txt", b"correct horse\n")
    assert cli("verify", sealed, "--watermark", SAMPLES / "watermark.bmp", "--passphrase-file", phrase,
               "--id-from-name").endswith("intact\n")
    # And the other way: sealed by the tool, checked here.
    by_tool = tmp_path / "by-tool.png"
    cli("embed", SAMPLES / "cover.bmp", SAMPLES / "watermark.bmp", "-o", by_tool, "--passphrase-file", phrase,
        "--id", "t-1")
    assert ombrel.verify(load(by_tool), watermark, key=key, image_id="t-1").intact
