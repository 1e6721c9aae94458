"""Hashes of every export of every corpus file, to check that a change leaves the output bytes
as they were.

Parses each corpus file (encoding="auto", errors="skip") and prints one line per file: the
SHA-256 of to_json(), to_json_ohh(), to_ohh(errors="skip") and of the Arrow tables' rows, or the
name of the exception that an export raised. Run it before and after a change and compare:

    python3 scripts/output_hashes.py > before.txt
    ... change, rebuild ...
    python3 scripts/output_hashes.py > after.txt && cmp before.txt after.txt
"""
import argparse
import hashlib
import sys
from pathlib import Path

import handscribe

ROOT = Path(__file__).resolve().parents[1]
CORPUS = ROOT.parent / "shared" / "corpus"


def digest(fn) -> str:
    try:
        out = fn()
    except (Exception, handscribe.PanicException) as e:
        return type(e).__name__
    if isinstance(out, str):
        out = out.encode("utf-8", "surrogatepass")
    return hashlib.sha256(out).hexdigest()[:16]


def arrow_rows(view) -> bytes:
    tables = view.to_arrow()
    import pyarrow as pa
    parts = []
    for t in tables:
        parts.append(repr(pa.table(t).to_pylist()).encode("utf-8", "surrogatepass"))
    return b"\n".join(parts)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", type=Path, default=CORPUS)
    ap.add_argument("--no-arrow", action="store_true", help="leave the Arrow tables out")
    args = ap.parse_args()
    files = sorted(p for p in args.corpus.rglob("*") if p.is_file() and p.suffix != ".tsv"
                   and p.name != "README.md")
    for path in files:
        rel = path.relative_to(args.corpus)
        try:
            view = handscribe.parse_path(str(path), encoding="auto", errors="skip")
        except (Exception, handscribe.PanicException) as e:
            print(f"{rel}\tparse:{type(e).__name__}")
            continue
        fields = [str(len(view)), str(len(view.rejected)),
                  digest(view.to_json), digest(view.to_json_ohh),
                  digest(lambda v=view: v.to_ohh(errors="skip"))]
        if not args.no_arrow:
            fields.append(digest(lambda v=view: arrow_rows(v)))
        print(f"{rel}\t" + "\t".join(fields))
    return 0


if __name__ == "__main__":
    sys.exit(main())
