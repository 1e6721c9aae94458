"""Command line: hand-history files, folders or glob patterns as JSON lines, Open Hand History
files or Parquet datasets.

    handscribe PATH... [--glob PATTERN] [--format json|ohh|parquet] [--output DIR] [--jobs N]
               [--ohh] [--errors strict|skip] [--encoding NAME] [--report [FILE]] [--version]
    python -m handscribe PATH...

JSON: each file becomes one line of JSON on standard output, in the order given (folders in
sorted order): for a single file argument the array of its hands; otherwise (several files, a
folder, a pattern) an object {"source": PATH, "hands": [...]} that names the file. OHH: each file
becomes one Open Hand History text, on standard output for a single file or, with --output, as
one file in DIR named after the input (see _ohh_names). Parquet: the hands, players and actions
tables become three datasets under --output, written a group of files at a time; a run that
stops on a fault, or reads no hand and fails, leaves none behind. Standard error shows a
progress bar when it is a terminal (messages are written through it) and always ends with one
line of totals. --report [FILE] lists every hand start that gave no hand as PATH:LINE: HAND_ID:
REASON (line 0 for a file that could not be read as a whole), and every hand the .ohh export
left out as PATH: its warning's message, in FILE or on standard error.
"""
import argparse
import collections
import glob
import json
import os
import re
import shutil
import sys
import textwrap
import threading
import time
import warnings
from collections.abc import Iterator
from concurrent.futures import Future, ThreadPoolExecutor
from pathlib import Path
from typing import IO, Any, Callable, Optional, TypeVar

import handscribe
from handscribe import _handscribe

from ._api import encoding_name
from ._extras import require
from ._files import DEFAULT_GLOB, cut, file_size, groups, quoted, sized_folder_files

EXIT_OK = 0  # every file read, every hand written
EXIT_REJECTED = 1  # the run ended, but hands or files were left out (see --report)
EXIT_USAGE = 2  # the arguments cannot be run (argparse's own status)
EXIT_INPUT = 3  # a named input or an output could not be used
EXIT_FAULT = 4  # reading stopped at a fault

TABLES = ("hands", "players", "actions")
T = TypeVar("T")
# Input bytes read into tables at once before they are written: bounds the memory of a run.
PARQUET_GROUP_BYTES = 64 * 2**20
# How the Parquet files are written. The encoder takes the rows write_batch_size at a time and
# does fixed work per step (for a dictionary column with statistics, the values the step's
# indices use are looked up again each time): steps of 64 Ki rows instead of 1 Ki write the
# same pages, values and statistics for a sixth less CPU time.
PARQUET_OPTIONS = {"write_batch_size": 64 * 2**10}
# Columns written without min/max statistics: every row group of a real folder holds their whole
# range (true and false, the 52 cards, seats and player numbers 0-10, action numbers from 0,
# player names from A to z), so a reader can never skip a row group by them. Their statistics
# cost 3% of the Parquet encoding's CPU time; every other column keeps them (site, hand_id,
# started_at, stakes, amounts, street, action, source... which tell row groups apart).
PARQUET_NO_STATISTICS = frozenset({"name", "player", "seat", "seq"})

# The module's table of the sites it recognises, with whether each has a reader, under the names
# its hands' "site" field writes.
SITES_READ = ", ".join(name for name, read in _handscribe._sites if read)
SITES_NOT_READ = ", ".join(name for name, read in _handscribe._sites if not read)
SITES = SITES_READ + (f" (recognised, not read: {SITES_NOT_READ})" if SITES_NOT_READ else "")
GAMES = ("Hold'em, Omaha and Omaha Hi/Lo (4, 5 or 6 cards), short-deck Hold'em and Courchevel, "
         "in no-limit, pot-limit and fixed-limit; seven- and five-card stud (hi/lo too), razz, "
         "five-card draw, the 2-7 and A-5 draws and Badugi where the site writes them (see the "
         "README's table of games per site)")
EXIT_HELP = f"""\
exit status:
  {EXIT_OK}  every file was read and every hand written
  {EXIT_REJECTED}  hands rejected: the run ended but left hands out (hand starts that gave no
     hand, files that could not be read with --errors skip, hands the .ohh export cannot
     express; --report lists them)
  {EXIT_USAGE}  usage error: the arguments cannot be run
  {EXIT_INPUT}  input or output error: a file named with --errors strict could not be read
     (missing, not in the encoding, site not recognised), a pattern matched no file, or
     an output cannot be written; the other files are still written
  {EXIT_FAULT}  internal fault: reading stopped at once (with --errors strict, at a fault
     inside a hand: --errors skip leaves such hands out); the file is named

JSON on standard output: one line per file; for a single file argument the array of its hands,
otherwise {{"source": "PATH", "hands": [...]}} naming the file it comes from.

sites read:
{textwrap.fill(SITES_READ + ".", 92, initial_indent="  ", subsequent_indent="  ")}
sites recognised by their first line but not read (the file is reported):
{textwrap.fill((SITES_NOT_READ or "none") + ".", 92, initial_indent="  ", subsequent_indent="  ")}
games read:
{textwrap.fill(GAMES + ".", 92, initial_indent="  ", subsequent_indent="  ",
              break_on_hyphens=False)}
"""


def _jobs(text: str) -> int:
    n = int(text)
    if n < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return n


def _encoding(text: str) -> str:
    try:
        return str(encoding_name(text))
    except ValueError as e:
        raise argparse.ArgumentTypeError(
            str(e).replace("argument 'encoding' ", "") + " (or another name of one of them)"
        ) from None


def _parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="handscribe",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        description=(
            "Parse poker hand-history files and write each file's hands as one line of JSON, "
            "as an Open Hand History (.ohh) text, or all hands as three Parquet datasets.\n\n"
            f"Sites: {SITES}.\nGames: {GAMES}."
        ),
        epilog=EXIT_HELP,
    )
    p.add_argument("paths", nargs="+", metavar="PATH",
                   help="a hand-history file, a folder (searched recursively) or a glob pattern")
    p.add_argument("--glob", default=DEFAULT_GLOB, metavar="PATTERN",
                   help="names of the files taken from folders (default: %(default)s)")
    p.add_argument("--format", choices=("json", "ohh", "parquet"), default="json",
                   help="json: one line per file on standard output (default); ohh: one Open "
                        "Hand History text per file, on standard output (a single file) or as "
                        "NAME.ohh files under --output; parquet: the hands, players and actions "
                        "datasets under --output")
    p.add_argument("--output", metavar="DIR",
                   help="folder of the Parquet datasets or of the .ohh files")
    p.add_argument("--jobs", type=_jobs, metavar="N",
                   help="files parsed at once (default: one per processor)")
    p.add_argument("--ohh", action="store_true",
                   help="JSON in the Open Hand History 1.4.1 vocabulary instead of the module's "
                        "own layout; it refuses every hand with actions (a fault), so it suits "
                        "only hands where nobody acts. For the standard export of every hand "
                        "use --format ohh")
    p.add_argument("--errors", choices=("strict", "skip"),
                   help="skip: a hand whose reading faults is left out and reading goes on, a "
                        "file that cannot be read is named and skipped; strict: such a hand "
                        "stops the run. Default: skip when a folder or pattern is given, "
                        "else strict")
    p.add_argument("--encoding", type=_encoding, default="utf-8", metavar="NAME",
                   help="how the files are written: utf-8 (default), cp1252 (windows-1252), "
                        "latin-1 (any name Python knows for them), or auto: UTF-8 with each "
                        "damaged byte read as U+FFFD, or cp1252 for a file without a single "
                        "multi-byte UTF-8 character")
    p.add_argument("--report", nargs="?", const="-", metavar="FILE",
                   help="list every hand left out, as PATH:LINE: HAND_ID: REASON, in FILE or "
                        "on standard error (put it after the paths, or write --report=FILE)")
    p.add_argument("--version", action=_Version, nargs=0, default=argparse.SUPPRESS,
                   help="show the version and exit")
    return p


class _Version(argparse.Action):
    """--version, whose number is read from the package's metadata only when asked for."""

    def __call__(self, parser, namespace, values, option_string=None) -> None:
        sys.stdout.write(f"handscribe {handscribe.__version__}\n")
        parser.exit()


# ---------------------------------------------------------------------------------------------
# Inputs, messages and totals
# ---------------------------------------------------------------------------------------------

def _is_pattern(text: str) -> bool:
    return any(c in text for c in "*?[")


class Sizes(dict[str, int]):
    """The sizes of the input files in bytes, as the folder walk read them; a file not walked
    is asked for once."""

    def __missing__(self, path: str) -> int:
        self[path] = n = file_size(path)
        return n

    def walk(self, folder: str, glob_pattern: str) -> list[str]:
        found = sized_folder_files(folder, glob_pattern)
        self.update(found)
        return [path for path, _ in found]


def _inputs(args: argparse.Namespace,
            sizes: Optional[Sizes] = None) -> tuple[list[str], list[str], bool]:
    """The files to read, the messages of patterns that matched none, and whether a folder or
    a pattern was given (the sizes of the files found in folders go to `sizes`). A path that
    does not exist and is no pattern stays in the list: reading it reports the error."""
    sizes = Sizes() if sizes is None else sizes
    files: list[str] = []
    errors: list[str] = []
    searched = False
    for arg in args.paths:
        path = Path(arg)
        if path.is_dir():
            searched = True
            files.extend(sizes.walk(arg, args.glob))
        elif path.exists() or not _is_pattern(arg):
            files.append(arg)
        else:
            searched = True
            matches = sorted(Path(m) for m in glob.glob(arg, recursive=True))
            if not matches:
                errors.append(f"no file matches {quoted(arg)}")
            for m in matches:
                if m.is_dir():
                    files.extend(sizes.walk(str(m), args.glob))
                else:
                    files.append(str(m))
    return files, errors, searched


class Messages:
    """Lines for the user on standard error, written through the progress bar when one is
    shown (so that the bar is redrawn below them), from any thread; and the report."""

    def __init__(self) -> None:
        self.bar = None
        self.report: Optional[IO[str]] = None
        self.report_to_stderr = False
        self.lock = threading.Lock()

    def say(self, text: str) -> None:
        with self.lock:
            if self.bar is not None:
                self.bar.write(text, file=sys.stderr)
            else:
                print(text, file=sys.stderr, flush=True)

    def open_report(self, target: Optional[str]) -> None:
        if target == "-":
            self.report_to_stderr = True
        elif target is not None:
            self.report = open(target, "w", encoding="utf-8")

    def reported(self, text: str) -> None:
        if self.report_to_stderr:
            self.say(text)
        elif self.report is not None:
            with self.lock:
                self.report.write(text + "\n")

    def close(self) -> None:
        if self.report is not None:
            self.report.close()


class Totals:
    """What a run read; printed as its last line on standard error."""

    def __init__(self, files: list[str], messages: Messages, sizes: Sizes) -> None:
        self.files = len(files)
        self.sizes = sizes
        self.bytes = sum(sizes[f] for f in files)
        self.hands = 0
        self.rejected = 0  # hand starts that gave no hand, hands the export left out
        self.unread = 0  # files that could not be read as a whole
        self.start = time.perf_counter()
        self.messages = messages

    def reject(self, path: str, rejected: "handscribe.Rejected") -> None:
        """Counts a rejection and reports it; a file not read as a whole is also named."""
        line = f"{path}:{rejected.line}: {cut(rejected.hand_id)}: {rejected.reason}"
        self.messages.reported(line)
        if rejected.line > 0:
            self.rejected += 1
        else:
            self.file_failed(path, rejected.reason, reported=True)

    def file_failed(self, path: str, reason: str, reported: bool = False) -> None:
        self.unread += 1
        if not reported:
            self.messages.reported(f"{path}:0: : {reason}")
        if not self.messages.report_to_stderr:
            self.messages.say(f"{path}: {reason}")

    def left_out(self, path: str, message: str) -> None:
        self.rejected += 1
        self.messages.reported(f"{path}: {message}")

    def line(self) -> str:
        return (f"{self.files} files, {self.hands} hands, {self.rejected} rejected hands, "
                f"{self.unread} files not read, {self.bytes / 1e6:.1f} MB, "
                f"{time.perf_counter() - self.start:.2f} s")


class Progress:
    """A tqdm bar over the input bytes when standard error is a terminal and tqdm is installed
    (the `cli` extra); nothing otherwise."""

    def __init__(self, total_bytes: int, messages: Messages, sizes: Sizes) -> None:
        self.bar = None
        self.sizes = sizes
        if sys.stderr.isatty():
            try:
                from tqdm import tqdm  # type: ignore[import-untyped]
            except ImportError:
                return
            self.bar = tqdm(total=total_bytes, unit="B", unit_scale=True, file=sys.stderr,
                            leave=False)
            messages.bar = self.bar
        self.messages = messages

    def advance(self, files: list[str]) -> None:
        if self.bar is not None:
            self.bar.update(sum(self.sizes[f] for f in files))

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()
            self.messages.bar = None


class Fault(Exception):
    """Reading stopped at a fault in a file."""

    def __init__(self, path: str, message: str) -> None:
        super().__init__(f"{path}: internal fault: {message}")


# ---------------------------------------------------------------------------------------------
# Formats
# ---------------------------------------------------------------------------------------------

def _write_out(*parts: "bytes | memoryview") -> None:
    """Bytes on standard output, UTF-8 (the JSON holds player names in any script, whatever the
    locale says), then a newline."""
    out = getattr(sys.stdout, "buffer", None)
    if out is None:  # a replaced stdout without a byte layer
        sys.stdout.write(b"".join(parts).decode("utf-8") + "\n")
        sys.stdout.flush()
        return
    sys.stdout.flush()
    for part in parts:
        out.write(part)
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


class OutputError(Exception):
    """An output that cannot be written."""

    def __init__(self, path: str, error: OSError) -> None:
        super().__init__(f"cannot write '{path}': {error.strerror or error}")


class _WriteFailed(Exception):
    """An .ohh file that a worker could not write."""

    def __init__(self, path: str, error: OSError) -> None:
        super().__init__(path)
        self.path, self.error = path, error


def _write_json(files: list[str], args: argparse.Namespace, totals: Totals,
                progress: Progress, named: bool) -> int:
    ohh = args.format == "ohh"
    names = dict(zip(files, _ohh_names(files))) if ohh and args.output else {}
    current = threading.local()  # the file whose export a worker thread is writing

    def convert(path: str, view: "handscribe.HandView") -> Optional[bytes]:
        # The text's UTF-8 as bytes (no str built); an .ohh file is written by the export
        # itself, a piece at a time and whole or not at all.
        if not ohh:
            return (handscribe.to_json_ohh if args.ohh else handscribe.to_json)(view,
                                                                                as_bytes=True)
        if not names:
            return handscribe.to_ohh(view, errors=args.errors, as_bytes=True)
        target = str(Path(args.output, names[path]))
        try:
            handscribe.to_ohh(view, errors=args.errors, path=target)
        except OSError as e:
            raise _WriteFailed(target, e) from None
        return None

    def one(path: str) -> tuple["handscribe.HandView", Optional[bytes]]:
        # Both calls release the interpreter lock: the threads parse and write in parallel.
        view = handscribe.parse_path(path, errors=args.errors, encoding=args.encoding)
        current.path = path
        try:
            return view, convert(path, view)
        finally:
            current.path = None

    def left_out(message, *_args, **_kwargs) -> None:
        # A hand the .ohh export leaves out (--errors skip) is a UserWarning of to_ohh, issued
        # in the worker thread that writes the file.
        totals.left_out(getattr(current, "path", None) or "?", str(message))

    jobs = args.jobs or os.cpu_count() or 1
    status = EXIT_OK
    with warnings.catch_warnings():
        warnings.simplefilter("always", UserWarning)
        warnings.showwarning = left_out
        with ThreadPoolExecutor(max_workers=jobs) as pool:
            for path, future in _in_order(pool, one, files, 2 * jobs):
                try:
                    view, data = future.result()
                except RuntimeError as e:
                    totals.file_failed(path, str(e))
                    status = max(status, EXIT_INPUT if args.errors == "strict" else EXIT_OK)
                    continue
                except handscribe.PanicException as e:
                    pool.shutdown(cancel_futures=True)
                    raise Fault(path, str(e)) from None
                except _WriteFailed as e:
                    pool.shutdown(cancel_futures=True)
                    raise OutputError(e.path, e.error) from None
                finally:
                    progress.advance([path])
                if data is None:
                    pass  # written to its .ohh file
                elif not ohh and named:
                    _write_out(b'{"source": ' + json.dumps(path, ensure_ascii=False).encode(),
                               b', "hands": ', data, b"}")
                elif not ohh:
                    _write_out(data)
                elif data:
                    _write_out(memoryview(data)[:-1])  # its last newline is the line's
                totals.hands += len(view)
                for rejected in view.rejected:
                    totals.reject(path, rejected)
    return status


class ParquetOutput:
    """The three datasets under DIR, made when the first rows are written; what this run made
    is removed again when the run fails."""

    def __init__(self, root: str) -> None:
        self.pa = require("pyarrow", "arrow", "--format parquet")
        self.pq = require("pyarrow.parquet", "arrow", "--format parquet")
        self.root = Path(root)
        self.made: list[Path] = []  # folders and files this run made, in order
        self.writers: dict = {}
        self.mkdir(self.root)

    def mkdir(self, folder: Path) -> None:
        missing = []
        p = folder
        while not p.exists() and p != p.parent:
            missing.append(p)
            p = p.parent
        try:
            folder.mkdir(parents=True, exist_ok=True)
        except OSError as e:
            raise OutputError(str(folder), e) from None
        self.made.extend(reversed(missing))

    def open(self, schemas: "handscribe.Tables") -> None:
        for name in TABLES:
            folder = self.root / name
            self.mkdir(folder)
            file = folder / "part-0.parquet"
            try:
                schema = self.pa.schema(getattr(schemas, name))
                self.writers[name] = self.pq.ParquetWriter(
                    str(file), schema, write_statistics=self.statistics_columns(schema),
                    **PARQUET_OPTIONS)
            except OSError as e:
                raise OutputError(str(file), e) from None
            self.made.append(file)

    def statistics_columns(self, schema: Any) -> list[str]:
        """The columns whose statistics are written: all but booleans, lists of cards and
        PARQUET_NO_STATISTICS (the writer names a list's values by their path, which no
        top-level name matches)."""
        types = self.pa.types
        return [f.name for f in schema if f.name not in PARQUET_NO_STATISTICS
                and not types.is_boolean(f.type) and not types.is_list(f.type)]

    def table(self, source: "handscribe.Table") -> Any:
        """The table's batches as a pyarrow table, without a copy, their dictionaries made one.

        pyarrow.table() would import pandas (a quarter of a second) to ask whether the object is
        a DataFrame: the stream reader takes the batches straight (pyarrow 15 and later). Each
        batch of a source column has a dictionary of its own files; the Parquet writer would
        hash every row of a column whose dictionary changes from one batch to the next, while
        it writes the indices of one shared dictionary as they are."""
        from_stream = getattr(self.pa.RecordBatchReader, "from_stream", None)
        table = self.pa.table(source) if from_stream is None else from_stream(source).read_all()
        return table.unify_dictionaries()

    def write(self, tables: "handscribe.Tables") -> None:
        if not self.writers:
            self.open(tables)
        for name in TABLES:
            try:
                self.writers[name].write_table(self.table(getattr(tables, name)))
            except OSError as e:
                raise OutputError(str(self.root / name), e) from None

    def finish(self, keep: bool) -> None:
        for w in self.writers.values():
            w.close()
        if keep and not self.writers:  # no file read: the datasets are empty, with the schemas
            self.write(handscribe.read_tables([]))
            return self.finish(True)
        self.writers = {}
        if not keep:
            for path in reversed(self.made):
                if path.is_dir():
                    shutil.rmtree(path, ignore_errors=True)
                else:
                    path.unlink(missing_ok=True)
            self.made = []


def _write_parquet(files: list[str], args: argparse.Namespace, totals: Totals,
                   progress: Progress, named: bool) -> int:
    output = ParquetOutput(args.output)
    status = EXIT_OK
    done = False
    # A group is encoded on a thread of its own while the next group is read (both let go of
    # the interpreter lock): the run takes the longer of the two per group rather than their
    # sum, for the same CPU time and at most two groups held at once.
    encoder = ThreadPoolExecutor(max_workers=1, thread_name_prefix="handscribe-parquet")
    written: Optional[Future[int]] = None

    def write(tables: "handscribe.Tables") -> int:
        output.write(tables)
        return len(tables.hands)

    def wait_written() -> None:
        nonlocal written
        if written is not None:
            future, written = written, None
            totals.hands += future.result()

    try:
        for group in groups(files, PARQUET_GROUP_BYTES, totals.sizes.__getitem__):
            try:
                # The module's own call: the files are known, no folder among them to search
                # (handscribe.read_tables would ask the system about each path again).
                tables = _handscribe.read_tables(group, jobs=args.jobs, errors=args.errors,
                                                 encoding=args.encoding)
            except handscribe.PanicException as e:
                raise Fault(_fault_file(group, args), str(e)) from None
            wait_written()
            written = encoder.submit(write, tables)
            for path, rejected in tables.rejected:
                totals.reject(path, rejected)
                if rejected.line == 0 and args.errors == "strict":
                    status = EXIT_INPUT
            del tables
            progress.advance(group)
        wait_written()
        done = True
    finally:
        if written is not None:  # the run stopped: the group being written ends first
            written.exception()
        encoder.shutdown()
        # A run that stopped, or read no hand and failed, leaves no datasets behind.
        output.finish(keep=done and (totals.hands > 0 or (status == EXIT_OK and not totals.unread)))
    return status


def _fault_file(group: list[str], args: argparse.Namespace) -> str:
    """The file of a group whose reading faults (read again one at a time, as the message must
    name it); the group's first file when none does alone."""
    for path in group:
        try:
            handscribe.parse_path(path, errors=args.errors, encoding=args.encoding)
        except handscribe.PanicException:
            return path
        except RuntimeError:
            pass
    return group[0] if len(group) == 1 else f"{group[0]} (one of {len(group)} files)"


WRITERS = {"json": _write_json, "ohh": _write_json, "parquet": _write_parquet}


def _usage_checks(parser: argparse.ArgumentParser, args: argparse.Namespace) -> None:
    if args.format == "parquet" and not args.output:
        parser.error("--format parquet needs --output DIR")
    if args.format == "json" and args.output:
        parser.error("--output is for --format ohh or parquet")
    if args.ohh and args.format != "json":
        parser.error("--ohh is a JSON layout (Open Hand History 1.4.1, hands without actions "
                     "only): for .ohh files use --format ohh without --ohh")
    if args.format == "parquet":
        try:  # a missing extra is a usage error, said in one line before any file is read
            require("pyarrow.parquet", "arrow", "--format parquet")
        except ImportError as e:
            parser.error(str(e))


def _is_hand_history(path: str) -> bool:
    """Whether an existing file begins as a hand history of a site that is read (or known):
    the file that an optional --report value took from the paths by mistake."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return False
    try:
        handscribe.parse_str(head.decode("utf-8", "replace"), errors="skip")
    except RuntimeError as e:
        return not str(e).startswith("Invalid poker website")
    except handscribe.PanicException:
        pass  # a site without a reader
    return True


def main(argv: Optional[list[str]] = None) -> int:
    parser = _parser()
    args = parser.parse_args(argv)
    _usage_checks(parser, args)
    sizes = Sizes()
    files, pattern_errors, searched = _inputs(args, sizes)
    if args.errors is None:
        args.errors = "skip" if searched else "strict"
    named = searched or len(files) != 1
    if args.format == "ohh" and not args.output and len(files) > 1:
        parser.error("several files with --format ohh need --output DIR (one NAME.ohh file "
                     "per input): an .ohh stream on standard output has no place for the name "
                     "of the file each hand comes from")
    if args.report not in (None, "-") and _is_hand_history(args.report):
        parser.error(f"--report would overwrite '{args.report}', a hand-history file: put "
                     "--report after the paths, or write --report=FILE for the report's file")
    messages = Messages()
    totals = Totals(files, messages, sizes)
    progress: Optional[Progress] = None
    status = EXIT_INPUT if pattern_errors else EXIT_OK
    fault_lines = _handscribe._fault_lines(False)  # the fault is said once, with its file
    try:
        for e in pattern_errors:
            messages.say(f"handscribe: {e}")
        try:
            messages.open_report(args.report)
            if args.format == "ohh" and args.output:
                try:
                    os.makedirs(args.output, exist_ok=True)
                except OSError as e:
                    raise OutputError(args.output, e) from None
        except OSError as e:  # the report file
            raise OutputError(args.report, e) from None
        progress = Progress(totals.bytes, messages, sizes)
        status = max(status, WRITERS[args.format](files, args, totals, progress, named))
        if totals.rejected or (totals.unread and args.errors == "skip"):
            status = max(status, EXIT_REJECTED)
    except Fault as e:
        messages.say(f"handscribe: {e}")
        status = EXIT_FAULT
    except OutputError as e:
        messages.say(f"handscribe: {e}")
        status = max(status, EXIT_INPUT)
    except BrokenPipeError:
        # The reader went away (`... | head`): stop quietly, and keep the interpreter's final
        # flush of stdout from failing again.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        status = max(status, EXIT_INPUT)
    except KeyboardInterrupt:
        messages.say("handscribe: interrupted")
        status = 130
    except Exception as e:  # a defect of the command line itself: still a summary
        messages.say(f"handscribe: internal fault: {type(e).__name__}: {e}")
        status = EXIT_FAULT
    finally:
        _handscribe._fault_lines(fault_lines)
        if progress is not None:
            progress.close()
        messages.close()
        messages.say(totals.line())
    return status


if __name__ == "__main__":
    sys.exit(main())
