# SPDX-License-Identifier: Apache-2.0
"""Reports and refusals cross processes: pickled, and on Dask worker processes."""

import os
import pickle
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

import ombrel

SAMPLES = Path(os.environ["OMBREL_SOURCE_DIR"]) / "samples"
KEY = bytes(range(40, 72))


def load(path):
    return np.asarray(Image.open(path).convert("RGB"))


@pytest.fixture(scope="module")
def pictures(tmp_path_factory):
    """Marked pictures, keyless and keyed, some edited, written as PNG."""
    folder = tmp_path_factory.mktemp("pictures")
    cover = load(SAMPLES / "cover.bmp")
    watermark = np.asarray(Image.open(SAMPLES / "watermark.bmp").convert("L"))
    plain = ombrel.embed(cover, watermark)
    sealed = ombrel.embed(cover, watermark, key=KEY, image_id="sealed")
    edits = {
        "plain": plain,
        "plain-blacked": np.where(np.arange(768)[:, None, None] // 100 == 3, 0, plain).astype(np.uint8),
        "sealed": sealed,
        "sealed-flipped": sealed ^ (np.arange(1024)[None, :, None] == 900).astype(np.uint8),
        "cover": cover,
    }
    paths = []
    for name, image in edits.items():
        Image.fromarray(image).save(folder / f"{name}.png")
        paths.append(str(folder / f"{name}.png"))
    return watermark, paths


def fields(r):
    return (r.intact, r.no_block_matches, r.bits_compared, r.bits_differing, r.pixels_differing,
            r.blocks_checked, r.blocks_altered, r.box, r.blocks.tobytes(), repr(r))


def check(path, watermark):
    """What a worker does with one file; keyed pictures by their name."""
    image = load(path)
    if Path(path).name.startswith("sealed"):
        return ombrel.verify(image, watermark, key=KEY, image_id="sealed")
    return ombrel.verify(image, watermark)


def verify_at(path, watermark, threshold):
    return ombrel.verify(load(path), watermark, threshold)


def test_reports_and_errors_pickle(pictures):
    watermark, paths = pictures
    for path in paths:
        report = check(path, watermark)
        for protocol in range(2, pickle.HIGHEST_PROTOCOL + 1):
            again = pickle.loads(pickle.dumps(report, protocol))
            assert fields(again) == fields(report), (path, protocol)
    # The altered reports are the ones that would lose most.
    assert [check(p, watermark).intact for p in paths] == [True, False, True, False, False]

    with pytest.raises(ombrel.Error) as refused:
        ombrel.embed(load(SAMPLES / "cover.bmp"), watermark, threshold=256)
    again = pickle.loads(pickle.dumps(refused.value))
    assert type(again) is ombrel.Error and isinstance(again, ValueError)
    assert again.code == "ThresholdInvalid"
    assert str(again) == str(refused.value)


@pytest.mark.parametrize("state", [(), (True,) * 10, (True, False, 1, 0, 0, 1, 0, None, 2, 2, b"\0\0\0")])
def test_a_wrong_state_is_refused(state):
    report = ombrel.VerifyReport.__new__(ombrel.VerifyReport)
    with pytest.raises((ValueError, TypeError)):
        report.__setstate__(state)


def test_two_dask_workers_give_the_plain_loops_reports(pictures):
    distributed = pytest.importorskip("dask.distributed")
    watermark, paths = pictures
    expected = [fields(check(p, watermark)) for p in paths]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        # Two processes of their own, not this one.
        pids = set(client.run(os.getpid).values())
        assert len(pids) == 2 and os.getpid() not in pids
        mark = client.scatter(watermark, broadcast=True)
        reports = client.gather(client.map(check, paths, watermark=mark))
        refused = client.submit(verify_at, paths[0], mark, 300)
        error = refused.exception()
    assert [fields(r) for r in reports] == expected
    assert type(error) is ombrel.Error and error.code == "ThresholdInvalid"
