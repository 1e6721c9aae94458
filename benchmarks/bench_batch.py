"""Throughput of parse_paths on the worker pool: one core against all cores.

Takes every corpus file (PokerStars, Pluribus, OnGame) that parses on its own, repeats the
list until it holds at least --mb megabytes of input (and at least 8 files), and times
parse_paths over it, best of --runs. The module has no pool-size setting, so the one-core case
runs this same script in a child process under `taskset -c 0` (the same pool, confined to one
core); the all-core case runs here. Prints MB/s, files/s and hands/s for both and the speed-up.

    python3 benchmarks/bench_batch.py [--mb 40] [--runs 5]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import handscribe

ROOT = Path(__file__).resolve().parents[1]
CORPUS = ROOT.parent / "shared" / "corpus"
FOLDERS = ("pokerstars", "pluribus", "ongame")


def pick_files() -> list:
    files = []
    for folder in FOLDERS:
        for path in sorted((CORPUS / folder).rglob("*.txt")):
            try:
                handscribe.parse_path(path)
            except (RuntimeError, handscribe.PanicException):
                continue  # unreadable alone, or it would fault the whole batch
            files.append(str(path))
    return files


def build_batch(files: list, target_mb: float) -> tuple:
    size = sum(os.path.getsize(f) for f in files)
    reps = max(1, int(target_mb * 1e6 / size) + 1)
    batch = files * reps
    while len(batch) < 8:
        batch += files
    return batch, size * (len(batch) // len(files))


def measure(target_mb: float, runs: int) -> dict:
    files = pick_files()
    if not files:
        sys.exit(f"no usable corpus files under {CORPUS}")
    batch, total = build_batch(files, target_mb)
    handscribe.parse_paths(batch[:4])  # start the pool, warm the page cache
    handscribe.parse_paths(batch)
    times = []
    hands = 0
    for _ in range(runs):
        t0 = time.perf_counter()
        views = handscribe.parse_paths(batch)
        times.append(time.perf_counter() - t0)
        hands = sum(len(v) for v in views)
        del views  # release the stores outside the timed call
    best = min(times)
    return {"files": len(batch), "bytes": total, "hands": hands, "seconds": best,
            "cpus": len(os.sched_getaffinity(0))}


def report(label: str, r: dict) -> None:
    print(f"{label:>10}: {r['files']} files, {r['bytes'] / 1e6:.1f} MB, {r['hands']} hands "
          f"in {r['seconds'] * 1e3:.1f} ms on {r['cpus']} cpu(s) -> "
          f"{r['bytes'] / 1e6 / r['seconds']:.1f} MB/s, {r['files'] / r['seconds']:.0f} files/s, "
          f"{r['hands'] / r['seconds']:.0f} hands/s")


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--mb", type=float, default=40.0, help="input megabytes per run")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--child", action="store_true", help="measure and print JSON only")
    args = ap.parse_args()

    if args.child:
        print(json.dumps(measure(args.mb, args.runs)))
        return
    if shutil.which("taskset") is None:
        sys.exit("taskset is needed for the one-core run")
    child = subprocess.run(
        ["taskset", "-c", "0", sys.executable, __file__, "--child", "--mb", str(args.mb),
         "--runs", str(args.runs)],
        check=True, capture_output=True, text=True, env=dict(os.environ))
    one = json.loads(child.stdout)
    everyone = measure(args.mb, args.runs)
    report("one core", one)
    report("all cores", everyone)
    print(f"speed-up: {one['seconds'] / everyone['seconds']:.2f}x "
          f"({everyone['cpus']} cpus available, the pool has one worker per logical processor "
          f"plus the calling thread)")


if __name__ == "__main__":
    main()
