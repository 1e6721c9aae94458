"""Command line: hand-history files, folders or glob patterns as JSON lines, Open Hand History
files or Parquet datasets.

    handscribe PATH... [--glob PATTERN] [--format json|ohh|parquet] [--output DIR] [--jobs N]
               [--ohh] [--errors strict|skip] [--encoding utf-8|cp1252|latin-1|auto] [--report]
    python -m handscribe PATH...

JSON: each file becomes one line of JSON on standard output, in the order given (folders in
sorted order). OHH: each file becomes one Open Hand History text, on standard output (the texts
one after the other, a blank line between them, which keeps the whole a valid .ohh stream) or,
with --output, as one file in DIR named after the input (see _ohh_names). Parquet: the hands,
players and actions tables become three datasets under --output, written a group of files at a
time. Standard error shows a progress bar when it is a terminal and ends with one line of totals.
With --report, every hand start that gave no hand is listed on standard error as PATH:LINE:
HAND_ID: REASON (line 0 for a file that could not be read as a whole), and every hand the .ohh
export left out as its warning's message.
"""
import argparse
import collections
import glob
import os
import re
import sys
import threading
import time
import warnings
from collections.abc import Iterator
from concurrent.futures import Future, ThreadPoolExecutor
from pathlib import Path
from typing import Callable, Optional, TypeVar

import handscribe

from ._extras import require
from ._files import file_size, groups

EXIT_OK = 0
EXIT_ERROR = 1  # a file could not be read as a whole, or a pattern matched none
EXIT_FAULT = 2  # an internal fault (PanicException)

TABLES = ("hands", "players", "actions")
T = TypeVar("T")
# Input bytes read into tables at once before they are written: bounds the memory of a run.
PARQUET_GROUP_BYTES = 64 * 2**20


def _jobs(text: str) -> int:
    n = int(text)
    if n < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return n


def _parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="handscribe",
        description=(
            "Parse poker hand-history files (PokerStars, PokerStars Pluribus logs, OnGame, "
            "GGPoker, Winamax) and "
            "write each file's hands as one line of JSON (an array with one object per hand), "
            "as an Open Hand History (.ohh) text, or all hands as three Parquet datasets."
        ),
        epilog=(
            "Exit status: 0 when every file was written; 1 when a file could not be read as a "
            "whole (unreadable, not in the encoding, site not recognised) or a pattern matched "
            "no file (the message goes to standard error, the other files are still written); "
            "2 on an internal fault, which stops at once, or on a usage error. With --format "
            "parquet and --errors strict, files that cannot be read are left out unreported. "
            "With --format ohh, a hand the format cannot express is a fault, or with --errors "
            "skip a hand left out (listed with --report)."
        ),
    )
    p.add_argument("paths", nargs="+", metavar="PATH",
                   help="a hand-history file, a folder (searched recursively) or a glob pattern")
    p.add_argument("--glob", default="*.txt", metavar="PATTERN",
                   help="names of the files taken from folders (default: %(default)s)")
    p.add_argument("--format", choices=("json", "ohh", "parquet"), default="json",
                   help="json: one line per file on standard output (default); ohh: one Open "
                        "Hand History text per file, on standard output or as NAME.ohh files "
                        "under --output; parquet: the hands, players and actions datasets "
                        "under --output")
    p.add_argument("--output", metavar="DIR",
                   help="folder of the Parquet datasets or of the .ohh files")
    p.add_argument("--jobs", type=_jobs, metavar="N",
                   help="files parsed at once (default: one per processor)")
    p.add_argument("--ohh", action="store_true",
                   help="write the Open Hand History layout instead of the module's own layout")
    p.add_argument("--errors", choices=("strict", "skip"), default="strict",
                   help="strict (the default): a fault inside a hand stops everything; skip: "
                        "that hand is left out and reading goes on with the next one")
    p.add_argument("--encoding", choices=("utf-8", "cp1252", "latin-1", "auto"),
                   default="utf-8",
                   help="how the files are written (default utf-8); auto: UTF-8 with each "
                        "damaged byte read as U+FFFD, or cp1252 for a file without a single "
                        "multi-byte UTF-8 character")
    p.add_argument("--report", action="store_true",
                   help="list every hand that was left out on standard error as "
                        "PATH:LINE: HAND_ID: REASON")
    return p


# ---------------------------------------------------------------------------------------------
# Inputs and totals
# ---------------------------------------------------------------------------------------------

def _is_pattern(text: str) -> bool:
    return any(c in text for c in "*?[")


def _inputs(args: argparse.Namespace) -> tuple[list[str], list[str]]:
    """The files to read, and the messages of patterns that matched none. A path that does not
    exist and is no pattern stays in the list: reading it reports the error."""
    files: list[str] = []
    errors: list[str] = []

    def folder(path: Path) -> None:
        files.extend(str(f) for f in sorted(path.rglob(args.glob)) if f.is_file())

    for arg in args.paths:
        path = Path(arg)
        if path.is_dir():
            folder(path)
        elif path.exists() or not _is_pattern(arg):
            files.append(arg)
        else:
            matches = sorted(Path(m) for m in glob.glob(arg, recursive=True))
            if not matches:
                errors.append(f"No file matches '{arg}'")
            for m in matches:
                if m.is_dir():
                    folder(m)
                else:
                    files.append(str(m))
    return files, errors


class Totals:
    """What a run read; printed as its last line on standard error."""

    def __init__(self, files: list[str]) -> None:
        self.files = len(files)
        self.bytes = sum(file_size(f) for f in files)
        self.hands = 0
        self.rejected = 0  # hand starts that gave no hand
        self.start = time.perf_counter()

    def reject(self, path: str, rejected: "handscribe.Rejected", report: bool) -> bool:
        """Counts a rejection, lists it with --report; whether a whole file failed."""
        if report:
            print(f"{path}:{rejected.line}: {rejected.hand_id}: {rejected.reason}",
                  file=sys.stderr)
        self.rejected += rejected.line > 0
        return rejected.line == 0

    def line(self) -> str:
        return (f"{self.files} files, {self.hands} hands, {self.rejected} rejected hands, "
                f"{self.bytes / 1e6:.1f} MB, {time.perf_counter() - self.start:.2f} s")


class Progress:
    """A tqdm bar over the input bytes when standard error is a terminal and tqdm is installed
    (the `cli` extra); nothing otherwise."""

    def __init__(self, total_bytes: int) -> None:
        self.bar = None
        if sys.stderr.isatty():
            try:
                from tqdm import tqdm  # type: ignore[import-untyped]
            except ImportError:
                return
            self.bar = tqdm(total=total_bytes, unit="B", unit_scale=True, file=sys.stderr,
                            leave=False)

    def advance(self, files: list[str]) -> None:
        if self.bar is not None:
            self.bar.update(sum(file_size(f) for f in files))

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


# ---------------------------------------------------------------------------------------------
# Formats
# ---------------------------------------------------------------------------------------------

def _write_line(text: str) -> None:
    # The JSON holds player names in any script: write UTF-8 whatever the locale says.
    out = getattr(sys.stdout, "buffer", None)
    if out is None:  # a replaced stdout without a byte layer
        sys.stdout.write(text + "\n")
        sys.stdout.flush()
        return
    sys.stdout.flush()
    out.write(text.encode("utf-8"))
    out.write(b"\n")
    out.flush()


def _in_order(pool: ThreadPoolExecutor, work: Callable[[str], T], files: list[str],
              window: int) -> Iterator[tuple[str, "Future[T]"]]:
    """The files' results in input order, with at most `window` files in flight."""
    pending: collections.deque[tuple[str, Future[T]]] = collections.deque()
    for path in files:
        pending.append((path, pool.submit(work, path)))
        if len(pending) >= window:
            yield pending.popleft()
    while pending:
        yield pending.popleft()


def _ohh_names(files: list[str]) -> list[str]:
    """The .ohh file name of each input: its name without the extension, every character other
    than an ASCII letter, digit, '.', '-' or '_' made '_' (the format asks for ASCII names), and
    "-2", "-3"... after a name already taken."""
    names: list[str] = []
    taken: set = set()
    for path in files:
        stem = re.sub(r"[^A-Za-z0-9._-]", "_", Path(path).stem) or "_"
        name, n = stem, 1
        while name.lower() in taken:  # case-insensitive file systems too
            n += 1
            name = f"{stem}-{n}"
        taken.add(name.lower())
        names.append(name + ".ohh")
    return names


def _write_json(files: list[str], args: argparse.Namespace, totals: Totals,
                progress: Progress) -> int:
    ohh = args.format == "ohh"
    if ohh:
        def convert(view: "handscribe.HandView") -> str:
            return handscribe.to_ohh(view, errors=args.errors)
    else:
        convert = handscribe.to_json_ohh if args.ohh else handscribe.to_json
    names = dict(zip(files, _ohh_names(files))) if ohh and args.output else {}
    if names:
        os.makedirs(args.output, exist_ok=True)
    written = False  # an .ohh text on standard output already: the next one follows a blank line

    def one(path: str) -> tuple["handscribe.HandView", str]:
        # Both calls release the interpreter lock: the threads parse and write in parallel.
        view = handscribe.parse_path(path, errors=args.errors, encoding=args.encoding)
        return view, convert(view)

    jobs = args.jobs or os.cpu_count() or 1
    status = EXIT_OK
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        for path, future in _in_order(pool, one, files, 2 * jobs):
            try:
                view, text = future.result()
            except RuntimeError as e:
                if args.report:
                    totals.reject(path, handscribe.Rejected(0, "", str(e)), True)
                else:
                    print(e, file=sys.stderr)
                status = EXIT_ERROR
                continue
            except handscribe.PanicException as e:
                pool.shutdown(cancel_futures=True)
                print(e, file=sys.stderr)
                return EXIT_FAULT
            finally:
                progress.advance([path])
            if names:
                Path(args.output, names[path]).write_bytes(text.encode("utf-8"))
            elif not ohh:
                _write_line(text)
            elif text:
                _write_line(text[:-1] if not written else "\n" + text[:-1])
                written = True
            totals.hands += len(view)
            for rejected in view.rejected:
                totals.reject(path, rejected, args.report)
    return status


def _write_parquet(files: list[str], args: argparse.Namespace, totals: Totals,
                   progress: Progress) -> int:
    pa = require("pyarrow", "arrow", "--format parquet")
    pq = require("pyarrow.parquet", "arrow", "--format parquet")
    empty = handscribe.read_tables([])
    writers = {}
    try:
        for name in TABLES:
            folder = Path(args.output) / name
            folder.mkdir(parents=True, exist_ok=True)
            writers[name] = pq.ParquetWriter(str(folder / "part-0.parquet"),
                                             pa.schema(getattr(empty, name)))
        status = EXIT_OK
        for group in groups(files, PARQUET_GROUP_BYTES):
            try:
                tables = handscribe.read_tables(group, jobs=args.jobs, errors=args.errors,
                                                encoding=args.encoding)
            except handscribe.PanicException as e:
                print(e, file=sys.stderr)
                return EXIT_FAULT
            for name in TABLES:
                writers[name].write_table(pa.table(getattr(tables, name)))
            totals.hands += len(tables.hands)
            for path, rejected in tables.rejected:
                if totals.reject(path, rejected, args.report):
                    if not args.report:
                        print(rejected.reason, file=sys.stderr)
                    status = EXIT_ERROR
            progress.advance(group)
    finally:
        for w in writers.values():
            w.close()
    return status


WRITERS = {"json": _write_json, "ohh": _write_json, "parquet": _write_parquet}


def main(argv: Optional[list[str]] = None) -> int:
    parser = _parser()
    args = parser.parse_args(argv)
    if args.format == "parquet" and not args.output:
        parser.error("--format parquet needs --output DIR")
    if args.format == "json" and args.output:
        parser.error("--output is for --format ohh or parquet")
    if args.ohh and args.format != "json":
        parser.error("--ohh is a JSON layout: it needs --format json")
    if args.format == "parquet":
        try:  # a missing extra is a usage error, said in one line before any file is read
            require("pyarrow.parquet", "arrow", "--format parquet")
        except ImportError as e:
            parser.error(str(e))
    files, errors = _inputs(args)
    for e in errors:
        print(e, file=sys.stderr)
    totals = Totals(files)
    progress = Progress(totals.bytes)
    try:
        with warnings.catch_warnings():
            # A hand the export leaves out (--errors skip) is a UserWarning of to_ohh, issued in
            # the worker thread that wrote the file: it counts as rejected, --report lists it.
            lock = threading.Lock()

            def left_out(message, *_args, **_kwargs) -> None:
                with lock:
                    totals.rejected += 1
                    if args.report:
                        print(message, file=sys.stderr)

            warnings.simplefilter("always", UserWarning)
            warnings.showwarning = left_out
            status = WRITERS[args.format](files, args, totals, progress)
    except BrokenPipeError:
        # The reader went away (`... | head`): stop quietly, and keep the interpreter's final
        # flush of stdout from failing again.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return EXIT_ERROR
    finally:
        progress.close()
    if status == EXIT_FAULT:
        return status  # the fault's message stays the last line
    print(totals.line(), file=sys.stderr)
    return max(status, EXIT_ERROR if errors else EXIT_OK)


if __name__ == "__main__":
    sys.exit(main())
