#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""ombrel.embed from Python against the C++ core, in one run, on one machine.

    bench/python_vs_cpp.py [BUILD_DIR]      (default: build)

Alternates short runs of BUILD_DIR/bench/ombrel_bench_api (the C++ figures)
with timings of the module built in BUILD_DIR/python, on the sample cover and
watermark, and prints the medians of both side by side.
"""

import json
import os
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

root = Path(__file__).resolve().parent.parent
build = Path(sys.argv[1] if len(sys.argv) > 1 else root / "build").resolve()
sys.path.insert(0, str(build / "python"))

import numpy as np  # noqa: E402
from PIL import Image  # noqa: E402

import ombrel  # noqa: E402

ROUNDS = 9


def cpp_round():
    """One short run of every C++ benchmark: name -> ms a call."""
    done = subprocess.run(
        [build / "bench" / "ombrel_bench_api", "--benchmark_format=json", "--benchmark_min_time=0.2"],
        capture_output=True, text=True, check=True)
    return {r["run_name"]: r["cpu_time"] for r in json.loads(done.stdout)["benchmarks"]}


def python_round(call, seconds=0.2):
    loops, start = 0, time.process_time()
    while time.process_time() - start < seconds:
        call()
        loops += 1
    return (time.process_time() - start) / loops * 1e3


def threaded_ms(call, threads, per_thread=100):
    workers = [threading.Thread(target=lambda: [call() for _ in range(per_thread)]) for _ in range(threads)]
    start = time.perf_counter()
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    return (time.perf_counter() - start) * 1e3


def python_share_while_embedding(seconds=1.0):
    """How fast a pure-Python loop runs while another thread embeds, against
    alone: near 0 % if embed kept the GIL, near 100 % with a free core."""
    def spin():
        n, start = 0, time.perf_counter()
        while time.perf_counter() - start < seconds:
            n += 1
        return n

    alone = spin()
    stop = threading.Event()
    worker = threading.Thread(target=lambda: [embed() for _ in iter(stop.is_set, True)])
    worker.start()
    beside = spin()
    stop.set()
    worker.join()
    return 100 * beside / alone


cover = np.asarray(Image.open(root / "samples" / "cover.bmp").convert("RGB"))
watermark = np.asarray(Image.open(root / "samples" / "watermark.bmp").convert("L"))
embed = lambda: ombrel.embed(cover, watermark, 0)  # noqa: E731
marked = embed()

# The machine's load drifts, so C++ and Python take turns, round by round,
# and the medians are taken over the rounds. CPU time on both sides: time
# spent waiting for a core shared with other work does not count.
rounds = []
for _ in range(ROUNDS):
    cpp = cpp_round()
    cpp["PythonEmbed"] = python_round(embed)
    cpp["PythonExtract"] = python_round(lambda: ombrel.extract(marked))
    rounds.append(cpp)


def median(name):
    return statistics.median(r[name] for r in rounds)


one, two = threaded_ms(embed, 1, 200), threaded_ms(embed, 2, 100)
share = python_share_while_embedding()

rows = [
    ("C++ core embed (surfaces)", median("CoreEmbed")),
    ("C++ ombrel::mark (bytes in, bytes out)", median("ApiMark")),
    ("C++ ombrel::embed (with PSNR)", median("ApiEmbedWithPsnr")),
    ("Python ombrel.embed", median("PythonEmbed")),
    ("C++ ombrel::extract", median("ApiExtract")),
    ("Python ombrel.extract", median("PythonExtract")),
    ("Python ombrel.embed minus C++ core embed",
     statistics.median(r["PythonEmbed"] - r["CoreEmbed"] for r in rounds)),
]
print(f"{'1024 x 768 cover, median of ' + str(ROUNDS) + ' alternating rounds':52} {'CPU ms':>8}")
for what, ms in rows:
    print(f"{what:52} {ms:8.3f}")
print(f"200 embeds, wall clock: on 1 thread {one:.0f} ms, on 2 threads {two:.0f} ms ({os.cpu_count()} cores)")
print(f"a Python loop beside a thread that embeds runs at {share:.0f} % of its speed alone")
