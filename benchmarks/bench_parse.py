"""Parsing speed against a plain line scan of the same bytes.

Concatenates the PokerStars corpus files that are valid UTF-8 (repeated) to at least --mb
megabytes (200 by default: large enough that the page faults of the parse's lists count, as they
do on a user's large file; the size is printed first), then times in CPU time, best of several
runs:
  - handscribe.parse_str and handscribe.parse_path on it (Python entry points), strict and with
    errors="skip", and parse_path with encoding="auto" on it and on its cp1252 form;
  - the C++ helper bench_scan on the same file: a memchr scan for line ends, the parser cursor's
    line splitting alone, a full parse from C++ (strict, strict into a store reused from the run
    before, and skip), and the "auto" decoding alone of the file and of its cp1252 form.
Prints MB/s, hands/s and the ratio parse time / memchr scan time; then hands/s of parse_str per
site (PokerStars, Pluribus, OnGame, GGPoker, Winamax, Winning in each of its layouts, Bovada and
its Ignition brand, 888poker, PartyPoker, iPoker, Merge, Full Tilt, PokerNow, Run It Once, Enet,
Pkr, PokerTracker's layouts (Merge's two, iPoker's, Microgaming's two, Everest's), Absolute,
KingsClub, PokerMaster, PokerBros), each on its corpus files (or test hands) that parse into the
site's hands (repeated to at least a tenth of --mb; PokerNow's logs as one export whose rows are
repeated; a file that is not UTF-8 read as cp1252).

    python3 benchmarks/bench_parse.py [--mb 200] [--runs 5]
"""
import argparse
import csv
import io
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Optional

import handscribe

ROOT = Path(__file__).resolve().parents[1]
# HANDSCRIBE_CORPUS names another place for the corpus (as for the tests).
CORPUS = Path(os.environ.get("HANDSCRIBE_CORPUS") or ROOT.parent / "shared" / "corpus")
CORPUS = CORPUS / "pokerstars"


# The corpus folders of each site's files, for the per-site figures, and for a site of several
# layouts (which one text does not mix) what the first line of the layout's files begins with.
SITES = {"PokerStars": ("pokerstars", None), "Pluribus": ("pluribus", None),
         "OnGame": ("ongame", None), "GGPoker": ("ggpoker", None), "Winamax": ("winamax", None),
         "Winning": ("winning", "Hand #"), "Winning (older layout)": ("winning", "Game started"),
         "Bovada": ("bovada", "Bovada Hand #"), "Ignition": ("bovada", "Ignition Hand #"),
         "888poker": ("pacificpoker", None), "PartyPoker": ("partypoker", None),
         "iPoker": ("ipoker", None), "Merge": ("merge", None), "Full Tilt": ("fulltiltpoker", None),
         "PokerNow": ("pokernow", None), "BetOnline": ("betonline", "BetOnline Poker"),
         "Everleaf": ("everleaf", "Everleaf Gaming"), "Cake": ("cake", "Hand#"),
         "Run It Once": ("pokerstars_other", "Run It Once "), "Enet": ("enet", None),
         "Pkr": ("pkr", None), "PokerTracker (Merge)": ("pokertracker", "MERGE_GAME "),
         "PokerTracker (Merge 2)": ("pokertracker", "Merge Game #"),
         "PokerTracker (iPoker)": ("pokertracker", "GAME #"),
         "PokerTracker (MGS)": ("pokertracker", "** Game ID "),
         "PokerTracker (MGS Hand)": ("pokertracker", "** Hand # "),
         "PokerTracker (Everest)": ("pokertracker", "EverestPoker "),
         "Absolute": ("absolute", None), "KingsClub": ("kingsclub", None),
         # no history of these apps is at hand: the hands written for the tests
         "PokerMaster": (ROOT / "tests" / "data" / "pokermaster", None),
         "PokerBros": (ROOT / "tests" / "data" / "pokerbros", None)}
# The site name of each folder's hands, where the folder holds another site's file too.
SITE_NAMES = {"pacificpoker": "PacificPoker", "partypoker": "PartyPoker", "ipoker": "IPoker",
              "fulltiltpoker": "FullTiltPoker", "merge": "Merge"}


def parses(text: str, site: str = "") -> bool:
    """Whether the text parses into hands, strict, all of them the site's when one is named (a
    folder may hold another site's file); the fault's report on standard error is left
    unwritten."""
    sys.stderr.flush()
    saved = os.dup(2)
    try:
        with open(os.devnull, "w") as null:
            os.dup2(null.fileno(), 2)
            hands = json.loads(handscribe.parse_str(text).to_json())
            return len(hands) > 0 and all(not site or h["header"]["site"] == site for h in hands)
    except (RuntimeError, handscribe.PanicException):
        return False
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def build_log(target_mb: float, folder: Path) -> bytes:
    """One PokerNow log export of every log of the folder, repeated: each copy's rows keep their
    order among themselves and follow the copy before (their `order` moved past its last)."""
    rows = []
    for path in sorted(folder.rglob("*")):
        if path.is_file() and path.read_bytes().startswith(b"entry,at,order"):
            with path.open(encoding="utf-8", newline="") as f:
                rows += [(r["entry"], r["at"], int(r["order"])) for r in csv.DictReader(f)]
    span = max(r[2] for r in rows) - min(r[2] for r in rows) + 1
    size = sum(len(e.encode()) + len(a) + 20 for e, a, _ in rows)
    out = io.StringIO(newline="")
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(["entry", "at", "order"])
    for k in range(max(1, int(target_mb * 1e6 / size) + 1)):
        writer.writerows((e, a, o + k * span) for e, a, o in rows)
    return out.getvalue().encode("utf-8")


def build_input(target_mb: float, folder: Path = CORPUS, first: Optional[str] = None) -> bytes:
    if folder.name == "pokernow":
        return build_log(target_mb, folder)
    parts = []
    # XML histories (iPoker) are also written to .xml files.
    for path in sorted(p for p in folder.rglob("*") if p.suffix in (".txt", ".xml")):
        data = path.read_bytes()
        if data[:2] in (b"\xff\xfe", b"\xfe\xff"):  # UTF-16, read as "auto" reads it
            data = data.decode("utf-16", "replace").encode("utf-8")
        if data.startswith(b"\xef\xbb\xbf"):
            data = data[3:]
        if first is not None and not data.startswith(first.encode()):
            continue
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            if folder == CORPUS:
                continue
            data = data.decode("cp1252", "replace").encode("utf-8")  # as "auto" reads it
        if b"\n" not in data:  # old Mac line ends would break the concatenation
            continue
        if b"<session" in data[:200] and b"</session>" not in data:
            continue  # an unclosed XML session would nest every file joined after it
        if folder != CORPUS and not parses(data.decode("utf-8"), SITE_NAMES.get(folder.name, "")):
            continue  # per site: only the site's files that parse (no stud or draw file)
        parts.append(data.replace(b"\r\n", b"\n").rstrip(b"\n") + b"\n\n\n")
    one = b"".join(parts)
    reps = max(1, int(target_mb * 1e6 / len(one)) + 1)
    return one * reps


def best(runs: int, f):
    """The least process CPU time of f over the runs (page faults included), and its last
    result, the previous one freed before each run."""
    times, result = [], None
    for _ in range(runs):
        result = None
        t0 = time.process_time()
        result = f()
        times.append(time.process_time() - t0)
    return min(times), result


def build_scan_helper() -> Path:
    build = ROOT / "build" / "bench"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DHANDSCRIBE_PYTHON=OFF",
                    "-DHANDSCRIBE_BENCH=ON", "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "--target", "bench_scan"], check=True,
                   stdout=subprocess.DEVNULL)
    return build / "bench_scan"


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--mb", type=float, default=200.0,
                    help="megabytes of input (default 200; the per-site inputs take a tenth)")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    if not CORPUS.is_dir():
        print(f"corpus not found at {CORPUS}", file=sys.stderr)
        return 1
    data = build_input(args.mb)
    text = data.decode("utf-8")
    mb = len(data) / 1e6
    # The same hands as an older client wrote them: cp1252, characters outside it as '?'.
    legacy = text.encode("cp1252", errors="replace")
    with tempfile.NamedTemporaryFile(suffix=".txt", delete=False) as f:
        f.write(data)
        path = f.name
    with tempfile.NamedTemporaryFile(suffix=".txt", delete=False) as f:
        f.write(legacy)
        legacy_path = f.name
    try:
        t_str, view = best(args.runs, lambda: handscribe.parse_str(text))
        t_path, _ = best(args.runs, lambda: handscribe.parse_path(path))
        t_skip, _ = best(args.runs, lambda: handscribe.parse_str(text, errors="skip"))
        t_auto, _ = best(args.runs, lambda: handscribe.parse_path(path, encoding="auto"))
        t_legacy, _ = best(args.runs, lambda: handscribe.parse_path(legacy_path, encoding="auto"))
        hands = len(view)
        helper = build_scan_helper()
        out = subprocess.run([str(helper), path, str(args.runs), legacy_path], check=True,
                             capture_output=True, text=True).stdout
        scan = dict(line.split() for line in out.splitlines())
    finally:
        Path(path).unlink()
        Path(legacy_path).unlink()
    scan_mb_s = float(scan["memchr_scan_mb_s"])
    print(f"input: {mb:.1f} MB, {hands} hands (times: CPU, best of {args.runs})")
    print(f"parse_str : {mb / t_str:8.1f} MB/s  {hands / t_str:10.0f} hands/s")
    print(f"parse_path: {mb / t_path:8.1f} MB/s  {hands / t_path:10.0f} hands/s")
    print(f"parse_str, errors='skip'       : {mb / t_skip:8.1f} MB/s")
    print(f"parse_path, encoding='auto'    : {mb / t_auto:8.1f} MB/s (valid UTF-8)")
    print(f"parse_path, encoding='auto'    : {len(legacy) / 1e6 / t_legacy:8.1f} MB/s (cp1252)")
    print(f"C++ parse : {float(scan['parse_mb_s']):8.1f} MB/s")
    print(f"C++ parse, store reused: {float(scan['parse_reused_mb_s']):8.1f} MB/s")
    print(f"C++ parse, skip: {float(scan['parse_skip_mb_s']):8.1f} MB/s")
    print(f"C++ 'auto' decoding alone: {float(scan['decode_auto_utf8_mb_s']):8.1f} MB/s (valid "
          f"UTF-8), {float(scan['decode_auto_cp1252_mb_s']):8.1f} MB/s (cp1252)")
    print(f"splitter  : {float(scan['splitter_mb_s']):8.1f} MB/s (line splitting only)")
    print(f"memchr    : {scan_mb_s:8.1f} MB/s (line-end scan)")
    print(f"ratio parse_str / memchr scan: {(scan_mb_s / (mb / t_str)):.2f}x")
    for site, (folder, first) in SITES.items():
        if not (CORPUS.parent / folder).is_dir():
            continue
        site_text = build_input(args.mb / 10, CORPUS.parent / folder, first).decode("utf-8")
        t_site, site_view = best(args.runs, lambda t=site_text: handscribe.parse_str(t))
        print(f"{site:<24}: {len(site_text.encode()) / 1e6 / t_site:8.1f} MB/s  "
              f"{len(site_view) / t_site:10.0f} hands/s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
