#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Speed and peak memory of `ombrel seal` and `ombrel check` on a large PNG.

A PNG of about 24 megapixels (6000 x 4000 by default) is tiled from
scikit-image's photographs. In every round, in turn so all see the same load:
Qt's bare decode, its bare decode and encode at the tool's PNG settings (the
yardstick), the yardstick with the library's seal or check between them, and
the tool's seal and check. Prints the best and median wall time of each, its
processor time, the ratios and the peak resident memory of each child, then
the goals, judged on the best times:

- seal at most 1.2 x the bare decode and encode;
- check at most 1.2 x the bare decode;
- the peak of either at most the decoded picture twice plus 64 MiB.

Exits 1 when a goal is missed, 2 when a run fails or the tool's output is not
what the library seals.

    /usr/bin/python3 bench/seal_speed.py --tool build/ombrel \\
        --yardstick build/bench/ombrel_seal_yardstick [--rounds 5] [--size 6000x4000] \\
        [--other ANOTHER_BUILD/ombrel]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time


KEY = bytes(range(7, 39))
ID = "mosaic-24"
MIB = 1 << 20
SEAL_GOAL, CHECK_GOAL = 1.2, 1.2


def run(args):
    """Wall seconds, processor seconds, peak resident bytes, exit status and
    error output of one child."""
    started = time.perf_counter()
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - started
    err = child.stderr.read().decode(errors="replace").strip()
    child.stderr.close()
    child.returncode = os.waitstatus_to_exitcode(status)
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024, child.returncode, err


def helper(*args):
    """Runs this script's picture work in a child of its own: a child's peak
    memory counts its parent's peak at the fork, so this process stays small."""
    subprocess.run([sys.executable, os.path.abspath(__file__), *args], check=True)


def make_picture(path, width, height):
    from PIL import Image
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from seal_scores import RGB_PHOTOS, load, mosaic
    Image.fromarray(mosaic([load(n, False) for n in RGB_PHOTOS], height, width)).save(path)


def same_samples(a, b):
    import numpy as np
    from PIL import Image
    return np.array_equal(np.asarray(Image.open(a)), np.asarray(Image.open(b)))


def main():
    if sys.argv[1:2] == ["--make"]:
        make_picture(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
        return 0
    if sys.argv[1:2] == ["--same"]:
        return 0 if same_samples(sys.argv[2], sys.argv[3]) else 1
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True, help="the ombrel tool to time")
    parser.add_argument("--yardstick", required=True, help="bench/ombrel_seal_yardstick")
    parser.add_argument("--other", help="another build of the tool, timed in the same rounds (no goals)")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--size", default="6000x4000", help="WIDTHxHEIGHT of the picture")
    parser.add_argument("--folder", help="where the pictures go (default: a temporary folder)")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))

    with tempfile.TemporaryDirectory(prefix="sealspeed-", dir=args.folder) as folder:
        photo = os.path.join(folder, "mosaic.png")
        helper("--make", photo, str(width), str(height))  # by PIL, at zlib's default level
        key = os.path.join(folder, "seal.key")
        with open(os.open(key, os.O_WRONLY | os.O_CREAT, 0o600), "wb") as f:
            f.write(KEY)
        out = {name: os.path.join(folder, name + ".png") for name in ("recoded", "floor", "tool", "resealed")}
        # The sealed picture's lowest bits are noise, which deflate takes
        # longer over: the same decode and encode of a sealed copy shows
        # that part of the seal's cost apart from the hashing.
        sealed = os.path.join(folder, "sealed.png")
        if run([args.yardstick, "seal", photo, sealed, key, ID])[3] != 0:
            print("seal_speed: the yardstick could not seal the picture", file=sys.stderr)
            return 2

        steps = [
            ("bare decode", [args.yardstick, "decode", photo]),
            ("bare decode+encode", [args.yardstick, "recode", photo, out["recoded"]]),
            ("same of a sealed copy", [args.yardstick, "recode", sealed, out["resealed"]]),
            ("library seal (floor)", [args.yardstick, "seal", photo, out["floor"], key, ID]),
            ("ombrel seal", [args.tool, "seal", photo, "-o", out["tool"], "--key-file", key, "--id", ID]),
            ("library check (floor)", [args.yardstick, "check", out["floor"], key, ID]),
            ("ombrel check", [args.tool, "check", out["tool"], "--key-file", key, "--id", ID]),
        ]
        if args.other:
            out["other"] = os.path.join(folder, "other.png")
            steps += [
                ("other seal", [args.other, "seal", photo, "-o", out["other"], "--key-file", key, "--id", ID]),
                ("other check", [args.other, "check", out["other"], "--key-file", key, "--id", ID]),
            ]
        times = {name: [] for name, _ in steps}
        cpu = {name: [] for name, _ in steps}
        peaks = {name: 0 for name, _ in steps}
        for _ in range(args.rounds):
            for name, command in steps:
                seconds, processor, peak, status, err = run(command)
                if status != 0:
                    print(f"seal_speed: {name} failed with status {status}: {err}", file=sys.stderr)
                    return 2
                times[name].append(seconds)
                cpu[name].append(processor)
                peaks[name] = max(peaks[name], peak)

        # The tool's seal is the library's, sample for sample.
        for made in ("tool", "other") if args.other else ("tool",):
            if subprocess.run([sys.executable, os.path.abspath(__file__), "--same", out[made], out["floor"]]).returncode:
                print(f"seal_speed: {args.tool if made == 'tool' else args.other}'s sealed picture differs "
                      "from the library's", file=sys.stderr)
                return 2
        sizes = {name: os.path.getsize(path) for name, path in out.items()}

    decoded = width * height * 3
    limit = 2 * decoded + 64 * MIB
    # The best of the rounds is what each run costs with the least of the
    # machine's other load in it; the median and the processor time are beside it.
    best = {name: min(v) for name, v in times.items()}
    median = {name: statistics.median(v) for name, v in times.items()}
    processor = {name: statistics.median(v) for name, v in cpu.items()}
    bases = {"same of a sealed copy": "bare decode+encode",
             "library seal (floor)": "bare decode+encode", "ombrel seal": "bare decode+encode",
             "library check (floor)": "bare decode", "ombrel check": "bare decode",
             "other seal": "bare decode+encode", "other check": "bare decode"}
    print(f"{width} x {height} RGB PNG ({width * height / 1e6:.1f} megapixels) on {os.cpu_count()} cores, "
          f"{args.rounds} rounds; decoded {decoded / MIB:.0f} MiB, memory limit {limit / MIB:.0f} MiB")
    print(f"{'run':22} {'best s':>7} {'median s':>8} {'cpu s':>6}   {'against':18} {'ratio':>5} {'cpu':>5} "
          f"{'peak MiB':>8}")
    for name, _ in steps:
        base = bases.get(name)
        ratios = (f"{best[name] / best[base]:5.2f} {processor[name] / processor[base]:5.2f}" if base
                  else f"{'':5} {'':5}")
        print(f"{name:22} {best[name]:7.3f} {median[name]:8.3f} {processor[name]:6.3f}   {base or '':18} {ratios} "
              f"{peaks[name] / MIB:8.0f}")
    print(f"written: bare {sizes['recoded'] / MIB:.1f} MiB, sealed {sizes['tool'] / MIB:.1f} MiB")

    seal_ratio = best["ombrel seal"] / best["bare decode+encode"]
    check_ratio = best["ombrel check"] / best["bare decode"]
    goals = [
        (f"seal {seal_ratio:.2f} x bare decode+encode", seal_ratio <= SEAL_GOAL, f"<= {SEAL_GOAL}"),
        (f"check {check_ratio:.2f} x bare decode", check_ratio <= CHECK_GOAL, f"<= {CHECK_GOAL}"),
        (f"seal peak {peaks['ombrel seal'] / MIB:.0f} MiB", peaks["ombrel seal"] <= limit,
         f"<= {limit / MIB:.0f} MiB"),
        (f"check peak {peaks['ombrel check'] / MIB:.0f} MiB", peaks["ombrel check"] <= limit,
         f"<= {limit / MIB:.0f} MiB"),
    ]
    print()
    for text, met, goal in goals:
        print(f"{text:34} goal {goal:12} {'met' if met else 'MISSED'}")
    return 0 if all(met for _, met, _ in goals) else 1


if __name__ == "__main__":
    sys.exit(main())
