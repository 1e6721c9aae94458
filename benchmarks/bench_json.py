"""Speed of the JSON output on the largest real file.

Parses the largest file of the PokerStars and Pluribus corpus folders once, then times, best of
several runs (wall clock and CPU time of the calling thread), handscribe.to_json(view) (the
interpreter lock released), view.to_json() (the lock held) and the standard Open Hand History
export handscribe.to_ohh(view), with its time as a multiple of to_json's; all include building
the Python str. Prints MB of output per second and hands per second.

    PYTHONPATH=build/python python3 benchmarks/bench_json.py [--runs 10] [--repeat 1]

--repeat N parses the file's text N times over, for a larger view.
"""
import argparse
import time
from pathlib import Path

import handscribe

ROOT = Path(__file__).resolve().parents[1]
CORPUS = ROOT.parent / "shared" / "corpus"


def largest_file() -> Path:
    files = [p for folder in ("pokerstars", "pluribus") for p in (CORPUS / folder).rglob("*.txt")]
    if not files:
        raise SystemExit(f"no corpus files under {CORPUS}")
    return max(files, key=lambda p: p.stat().st_size)


def load(path: Path, repeat: int):
    text = path.read_bytes().decode("utf-8", errors="replace")  # a few files hold invalid bytes
    if repeat > 1:
        one = text.lstrip("\ufeff").replace("\r\n", "\n").rstrip("\n") + "\n\n\n"
        text = one * repeat
    return handscribe.parse_str(text)


def best(fn, runs: int) -> tuple:
    """Best wall-clock and best CPU time of the calling thread (the conversion runs on it; the
    CPU time stays meaningful on a loaded machine)."""
    walls, cpus = [], []
    out = None
    for _ in range(runs):
        c0, t0 = time.thread_time(), time.perf_counter()
        out = fn()
        walls.append(time.perf_counter() - t0)
        cpus.append(time.thread_time() - c0)
    return min(walls), min(cpus), out


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--repeat", type=int, default=1)
    args = ap.parse_args()

    path = largest_file()
    view = load(path, args.repeat)
    print(f"file: {path.relative_to(CORPUS)} ({path.stat().st_size / 1e6:.2f} MB, "
          f"x{args.repeat}), hands: {len(view)}")
    cpus = {}
    for label, fn in (("handscribe.to_json(view)", lambda: handscribe.to_json(view)),
                      ("view.to_json()", view.to_json),
                      ("handscribe.to_ohh(view)", lambda: handscribe.to_ohh(view))):
        wall, cpu, text = best(fn, args.runs)
        cpus[label] = cpu
        size = len(text.encode("utf-8"))
        print(f"{label:26s} {size / 1e6:7.2f} MB JSON | wall {wall * 1e3:8.2f} ms "
              f"{size / 1e6 / wall:7.1f} MB/s {len(view) / wall:9.0f} hands/s | "
              f"cpu {cpu * 1e3:8.2f} ms {size / 1e6 / cpu:7.1f} MB/s")
    print(f"to_ohh / to_json (cpu): "
          f"{cpus['handscribe.to_ohh(view)'] / cpus['handscribe.to_json(view)']:.2f}x")


if __name__ == "__main__":
    main()
