"""Speed of the Arrow tables.

  - to_arrow against the parse of the same text: the PokerStars corpus concatenated to --mb
    megabytes (as bench_parse.py builds it), parse_str and view.to_arrow() in turn, best of
    --runs each;
  - read_tables against parse_paths alone, on every corpus file that parses (PokerStars,
    Pluribus, OnGame), repeated to --mb megabytes as bench_batch.py does;
  - the command line writing Parquet for a folder of those files (one run): hands per second.

    python3 benchmarks/bench_arrow.py [--mb 30] [--runs 5]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import handscribe

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench_batch import build_batch, pick_files
from bench_parse import build_input


def paired(runs: int, first, second):
    """Best times of two calls run in turn, so that a change in the machine's load between
    runs hits both alike; and their last results."""
    best = [float("inf"), float("inf")]
    results = [None, None]
    for _ in range(runs):
        for k, f in enumerate((first, second)):
            t0 = time.perf_counter()
            results[k] = f()
            best[k] = min(best[k], time.perf_counter() - t0)
    return best, results


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--mb", type=float, default=30.0)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()

    data = build_input(args.mb)
    text = data.decode("utf-8")
    mb = len(data) / 1e6
    view = handscribe.parse_str(text)
    (t_parse, t_arrow), _ = paired(args.runs, lambda: handscribe.parse_str(text), view.to_arrow)
    print(f"text: {mb:.1f} MB, {len(view)} hands")
    print(f"parse_str : {t_parse * 1e3:8.1f} ms  {mb / t_parse:8.1f} MB/s")
    print(f"to_arrow  : {t_arrow * 1e3:8.1f} ms  {mb / t_arrow:8.1f} MB/s  "
          f"({t_arrow / t_parse:.2f}x the parse)")

    files = pick_files()
    batch, total = build_batch(files, args.mb)
    handscribe.parse_paths(batch[:4])  # start the pool, warm the page cache
    (t_paths, t_tables), (views, tables) = paired(
        args.runs, lambda: handscribe.parse_paths(batch), lambda: handscribe.read_tables(batch))
    hands = sum(len(v) for v in views)
    assert len(tables.hands) == hands
    print(f"corpus: {len(batch)} files, {total / 1e6:.1f} MB, {hands} hands, "
          f"{os.cpu_count()} cpus")
    print(f"parse_paths: {t_paths * 1e3:8.1f} ms  {total / 1e6 / t_paths:8.1f} MB/s")
    print(f"read_tables: {t_tables * 1e3:8.1f} ms  {total / 1e6 / t_tables:8.1f} MB/s  "
          f"({t_tables / t_paths:.2f}x parse_paths)")

    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp) / "in"
        folder.mkdir()
        for i, f in enumerate(files):
            (folder / f"{i:04d}_{Path(f).name}").symlink_to(f)
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
        t0 = time.perf_counter()
        r = subprocess.run([sys.executable, "-m", "handscribe", str(folder), "--format",
                            "parquet", "--output", str(Path(tmp) / "out")],
                           capture_output=True, text=True, env=env, check=True)
        seconds = time.perf_counter() - t0
        cli_hands = int(r.stderr.splitlines()[-1].split(" files, ")[1].split(" hands")[0])
        size = sum(os.path.getsize(f) for f in files)
    print(f"parquet CLI: {len(files)} files, {size / 1e6:.1f} MB, {cli_hands} hands in "
          f"{seconds:.2f} s (interpreter start included) -> {cli_hands / seconds:.0f} hands/s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
