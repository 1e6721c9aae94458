"""Cost of sub-views: iterate a large view and take len() of every one-hand view.

Repeats the bundled sample history until the view holds at least --hands hands, then times,
best of several runs, `for hand in view: len(hand)` (one sub-view per hand, made and released),
the same through `view[i]`, the slices `view[i:i + 10]`, and reading `hand.id` and
`hand.players[0].net` of every hand (each Hand made, read and released). Prints milliseconds per
pass and nanoseconds per sub-view.

    PYTHONPATH=build/python python3 benchmarks/bench_views.py [--hands 20000] [--runs 9]
"""
import argparse
import time
from pathlib import Path

import handscribe

ROOT = Path(__file__).resolve().parents[1]
SAMPLE = ROOT / "samples" / "HH20260114_Z420909_real.txt"


def load(hands: int):
    one = SAMPLE.read_text(encoding="utf-8").rstrip("\n") + "\n\n\n"
    per_copy = len(handscribe.parse_str(one))
    return handscribe.parse_str(one * -(-hands // per_copy))


def iterate(view) -> int:
    return sum(len(hand) for hand in view)


def index(view) -> int:
    return sum(len(view[i]) for i in range(len(view)))


def slices(view) -> int:
    return sum(len(view[i:i + 10]) for i in range(len(view)))


def attributes(view) -> float:
    return sum(len(hand.id) + hand.players[0].net for hand in view)


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--hands", type=int, default=20000)
    ap.add_argument("--runs", type=int, default=9)
    args = ap.parse_args()

    view = load(args.hands)
    print(f"hands: {len(view)}")
    for label, fn in (("for hand in view: len(hand)", iterate),
                      ("len(view[i])", index),
                      ("len(view[i:i + 10])", slices),
                      ("hand.id, players[0].net", attributes)):
        times = []
        for _ in range(args.runs):
            t0 = time.perf_counter()
            fn(view)
            times.append(time.perf_counter() - t0)
        wall, median = min(times), sorted(times)[len(times) // 2]
        print(f"{label:28s} best {wall * 1e3:7.2f} ms  median {median * 1e3:7.2f} ms  "
              f"{wall / len(view) * 1e9:6.0f} ns per sub-view")


if __name__ == "__main__":
    main()
