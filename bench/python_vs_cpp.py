#!/usr/bin/python3
"""ombrel.embed from Python against the C++ core, in one run, on one machine.

    bench/python_vs_cpp.py [BUILD_DIR]      (default: build)

Runs build/bench/ombrel_bench_api for the C++ figures, then times the module
built in BUILD_DIR/python on the sample cover and watermark, and prints both.
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

REPEATS = 7


def cpp_medians():
    done = subprocess.run(
        [build / "bench" / "ombrel_bench_api", "--benchmark_format=json",
         f"--benchmark_repetitions={REPEATS}", "--benchmark_report_aggregates_only=true"],
        capture_output=True, text=True, check=True)
    runs = json.loads(done.stdout)["benchmarks"]
    return {r["run_name"]: r["real_time"] for r in runs if r["aggregate_name"] == "median"}


def python_median(call, loops=200):
    times = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        for _ in range(loops):
            call()
        times.append((time.perf_counter() - start) / loops * 1e3)
    return statistics.median(times)


def threaded_ms(call, threads, per_thread=100):
    workers = [threading.Thread(target=lambda: [call() for _ in range(per_thread)]) for _ in range(threads)]
    start = time.perf_counter()
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    return (time.perf_counter() - start) * 1e3


cover = np.asarray(Image.open(root / "samples" / "cover.bmp").convert("RGB"))
watermark = np.asarray(Image.open(root / "samples" / "watermark.bmp").convert("L"))
embed = lambda: ombrel.embed(cover, watermark, 0)  # noqa: E731
marked = embed()

cpp = cpp_medians()
py_embed = python_median(embed)
py_extract = python_median(lambda: ombrel.extract(marked))
one, two = threaded_ms(embed, 1, 200), threaded_ms(embed, 2, 100)

print(f"{'what (1024 x 768 cover, median of ' + str(REPEATS) + ')':52} {'ms':>8}")
print(f"{'C++ core embed (surfaces)':52} {cpp['CoreEmbed']:8.3f}")
print(f"{'C++ ombrel::mark (bytes in, bytes out)':52} {cpp['ApiMark']:8.3f}")
print(f"{'C++ ombrel::embed (with PSNR)':52} {cpp['ApiEmbedWithPsnr']:8.3f}")
print(f"{'Python ombrel.embed':52} {py_embed:8.3f}")
print(f"{'C++ ombrel::extract':52} {cpp['ApiExtract']:8.3f}")
print(f"{'Python ombrel.extract':52} {py_extract:8.3f}")
print(f"{'Python ombrel.embed minus C++ core embed':52} {py_embed - cpp['CoreEmbed']:8.3f}")
print(f"200 embeds on 1 thread {one:.0f} ms, on 2 threads {two:.0f} ms ({os.cpu_count()} cores)")
