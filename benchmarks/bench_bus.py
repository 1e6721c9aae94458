"""The throughput figures side by side, in one run, in CPU time (page faults included):

  - the C++ parse against a memchr line scan of the same bytes, the writers, the hand facts'
    replay alone (hands per second) and the Arrow tables over the parse, in C++ (bench_scan on
    the PokerStars corpus concatenated to --mb megabytes, 200 by default);
  - to_json / to_ohh from Python (MB of output per CPU second), as bytes (as_bytes=True), to a
    file (path=..., the kernel's copy into the page cache included) and as str;
  - parse_path and parse_str of the same text against the parse of its bytes (a str whose UTF-8
    CPython already holds, where bytes are not accepted), and view.to_arrow() against it;
  - parse_str of a new str that holds non-ASCII text (CPython encodes it to UTF-8 first);
  - one large file (--big-mb, 1000 by default): CPU time over wall time of parse_path;
  - read_tables(jobs=1) against parse_paths(jobs=1), on every corpus text (--batch-mb, 100 by
    default), as read_tables reads by default (errors="skip", encoding="auto");
  - the command line writing Parquet (--jobs 1) for those files against parse_paths on them.

    python3 benchmarks/bench_bus.py [--mb 200] [--big-mb 1000] [--batch-mb 100] [--runs 3]
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time
import warnings
from pathlib import Path

import handscribe

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench_parse import CORPUS as STARS
from bench_parse import build_input, build_scan_helper

CORPUS = STARS.parent


def cpu_best(runs: int, f):
    """Best process CPU time of f over the runs, and its last result."""
    best, result = float("inf"), None
    for _ in range(runs):
        result = None  # free the previous result outside the timed call
        t0 = time.process_time()
        result = f()
        best = min(best, time.process_time() - t0)
    return best, result


def accepts_bytes() -> bool:
    try:
        handscribe.parse_str(b"")
    except TypeError:
        return False
    except Exception:
        return True
    return True


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--mb", type=float, default=200.0)
    ap.add_argument("--big-mb", type=float, default=1000.0)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--batch-mb", type=float, default=100.0)
    ap.add_argument("--only-batch", action="store_true",
                    help="only read_tables and the command line")
    args = ap.parse_args()
    if not args.only_batch:
        single_text(args)
    batch(args)
    return 0


def single_text(args) -> None:

    data = build_input(args.mb)
    mb = len(data) / 1e6
    with tempfile.TemporaryDirectory() as tmp:
        path = Path(tmp) / "in.txt"
        path.write_bytes(data)
        out = subprocess.run([str(build_scan_helper()), str(path), str(args.runs)], check=True,
                             capture_output=True, text=True).stdout
        scan = dict(line.split() for line in out.splitlines())
        print(f"input: {mb:.1f} MB, {scan['hands']} hands (PokerStars corpus repeated)")
        print(f"C++ parse: {float(scan['parse_mb_s']):.0f} MB/s, "
              f"{float(scan['parse_over_scan']):.2f}x the memchr scan "
              f"({float(scan['memchr_scan_mb_s']):.0f} MB/s)")
        print(f"C++ writers: to_json {float(scan['json_out_mb_s']):.0f} MB/s out, "
              f"to_ohh {float(scan['ohh_out_mb_s']):.0f} MB/s")
        print(f"C++ hand facts alone: {float(scan['facts_hands_s']) / 1e6:.2f}M hands/s; the "
              f"Arrow tables (facts included) {float(scan['arrow_over_parse']):.2f}x the parse")

        text = data.decode("utf-8")
        handscribe.parse_str(text)  # CPython keeps the str's UTF-8 from now on
        bytes_ok = accepts_bytes()
        t_base, view = cpu_best(args.runs, lambda: handscribe.parse_str(data if bytes_ok
                                                                          else text))
        base = "bytes" if bytes_ok else "str, UTF-8 held"
        t_str, _ = cpu_best(args.runs, lambda: handscribe.parse_str(text))
        t_path, _ = cpu_best(args.runs, lambda: handscribe.parse_path(str(path)))
        print(f"parse_str ({base}): {mb / t_base:.0f} MB/s; parse_str(str) "
              f"{t_str / t_base:.2f}x, parse_path {t_path / t_base:.2f}x that")
        t_arrow, _ = cpu_best(args.runs, view.to_arrow)
        print(f"view.to_arrow(): {t_arrow / t_base:.2f}x the parse")
        t_new = float("inf")
        for _ in range(args.runs):
            fresh = data.decode("utf-8")  # a new str: no UTF-8 held yet
            t0 = time.process_time()
            handscribe.parse_str(fresh)
            t_new = min(t_new, time.process_time() - t0)
            del fresh
        print(f"parse_str(new non-ASCII str): {t_new / t_base:.2f}x the parse "
              f"(non-ASCII characters: {len(data) - len(text)} extra bytes)")

        warnings.simplefilter("ignore")  # the hands that the .ohh export leaves out
        out = Path(tmp) / "out"
        for label, fn in (("to_json", view.to_json),
                          ("to_ohh", lambda **kw: view.to_ohh(errors="skip", **kw))):
            t_bytes, result = cpu_best(args.runs, lambda f=fn: f(as_bytes=True))
            size = len(result)
            result = None
            t_str, _ = cpu_best(args.runs, fn)
            t_file, _ = cpu_best(args.runs, lambda f=fn: f(path=out))
            print(f"{label} from Python: {size / 1e6 / t_bytes:.0f} MB/s out as bytes, "
                  f"{size / 1e6 / t_file:.0f} to a file, {size / 1e6 / t_str:.0f} as str "
                  f"({size / 1e6:.0f} MB)")
        out.unlink()
        view = result = text = None  # free them before the large file

        big = Path(tmp) / "big.txt"
        with big.open("wb") as f:
            for _ in range(max(1, round(args.big_mb * 1e6 / len(data)))):
                f.write(data)
        size = big.stat().st_size
        data = None
        handscribe.parse_path(str(big))  # page cache
        w0, c0 = time.perf_counter(), time.process_time()
        big_view = handscribe.parse_path(str(big))
        wall, cpu = time.perf_counter() - w0, time.process_time() - c0
        print(f"one {size / 1e9:.2f} GB file: {len(big_view)} hands, {size / 1e6 / wall:.0f} "
              f"MB/s wall, CPU/wall {cpu / wall:.2f} on {len(os.sched_getaffinity(0))} cpus "
              f"(load average {os.getloadavg()[0]:.1f})")
        del big_view
        big.unlink()


def batch(args) -> None:
    # Every corpus text, as a user's folder of real files holds them (some unreadable, some in
    # cp1252), repeated to --batch-mb megabytes; read as read_tables reads by default.
    one = sorted(str(p) for p in CORPUS.rglob("*.txt"))
    size = sum(os.path.getsize(f) for f in one)
    files = one * max(1, round(args.batch_mb * 1e6 / size))
    corpus_mb = size * (len(files) // len(one)) / 1e6
    opts = {"jobs": 1, "errors": "skip", "encoding": "auto"}
    t_paths, views = cpu_best(args.runs, lambda: handscribe.parse_paths(files, **opts))
    hands = sum(len(v) for v in views)
    views = None
    t_tables, _ = cpu_best(args.runs, lambda: handscribe.read_tables(files, **opts))
    print(f"read_tables(jobs=1): {t_tables / t_paths:.2f}x parse_paths(jobs=1) "
          f"({len(files)} files, {corpus_mb:.1f} MB, {hands} hands)")
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp) / "in"
        folder.mkdir()
        for i, f in enumerate(files):
            (folder / f"{i:05d}_{Path(f).name}").symlink_to(f)
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
        best = float("inf")
        for _ in range(args.runs):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            # Exit status 1: some hands or files were left out, as in any real folder.
            subprocess.run([sys.executable, "-m", "handscribe", str(folder), "--format",
                            "parquet", "--output", str(Path(tmp) / "out"), "--jobs", "1"],
                           capture_output=True, env=env, check=False)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            best = min(best, (after.ru_utime + after.ru_stime)
                       - (before.ru_utime + before.ru_stime))
            subprocess.run(["rm", "-rf", str(Path(tmp) / "out")], check=True)
    print(f"command line to Parquet (--jobs 1, interpreter start included): {hands / best:.0f} "
          f"hands/s, {best / t_paths:.2f}x parse_paths(jobs=1)")


if __name__ == "__main__":
    sys.exit(main())
