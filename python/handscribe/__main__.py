"""Command line: print hand-history files as JSON.

    python -m handscribe PATH... [--ohh] [--errors strict|skip] [--encoding ENCODING] [--report]

Each file is parsed and written as one line of JSON on standard output, in the order given.
With --report, every hand start that gave no hand is listed on standard error as
PATH:LINE: HAND_ID: REASON (line 0 for a file that could not be read as a whole).
"""
import argparse
import os
import sys

import handscribe

EXIT_OK = 0
EXIT_ERROR = 1  # a file could not be read or its site is not recognised
EXIT_FAULT = 2  # an internal fault (PanicException)


def _parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="python -m handscribe",
        description=(
            "Parse poker hand-history files (PokerStars, PokerStars Pluribus logs, OnGame) and "
            "print each file's hands as one line of JSON: an array with one object per hand."
        ),
        epilog=(
            "Exit status: 0 when every file was written; 1 when a file could not be read as a "
            "whole (unreadable, not in the encoding, site not recognised; the message goes to "
            "standard error, the other files are still written); 2 on an internal fault, which "
            "stops at once, or on a usage error."
        ),
    )
    p.add_argument("paths", nargs="+", metavar="PATH", help="hand-history file to convert")
    p.add_argument(
        "--ohh",
        action="store_true",
        help="write the Open Hand History layout instead of the module's own layout",
    )
    p.add_argument(
        "--errors",
        choices=("strict", "skip"),
        default="strict",
        help="strict (the default): a fault inside a hand stops everything; skip: that hand is "
        "left out and reading goes on with the next one",
    )
    p.add_argument(
        "--encoding",
        choices=("utf-8", "cp1252", "latin-1", "auto"),
        default="utf-8",
        help="how the files are written (default utf-8); auto: UTF-8 with each damaged byte "
        "read as U+FFFD, or cp1252 for a file without a single multi-byte UTF-8 character",
    )
    p.add_argument(
        "--report",
        action="store_true",
        help="list every hand that was left out on standard error as PATH:LINE: HAND_ID: REASON",
    )
    return p


def _report(path, line: int, hand_id: str, reason: str) -> None:
    print(f"{path}:{line}: {hand_id}: {reason}", file=sys.stderr)


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


def main(argv=None) -> int:
    args = _parser().parse_args(argv)
    try:
        return _convert_all(args)
    except BrokenPipeError:
        # The reader went away (`... | head`): stop quietly, and keep the interpreter's final
        # flush of stdout from failing again.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return EXIT_ERROR


def _convert_all(args) -> int:
    convert = handscribe.to_json_ohh if args.ohh else handscribe.to_json
    status = EXIT_OK
    for path in args.paths:
        try:
            view = handscribe.parse_path(path, errors=args.errors, encoding=args.encoding)
            text = convert(view)
        except RuntimeError as e:
            if args.report:
                _report(path, 0, "", str(e))
            else:
                print(e, file=sys.stderr)
            status = EXIT_ERROR
            continue
        except handscribe.PanicException as e:
            print(e, file=sys.stderr)
            return EXIT_FAULT
        if args.report:
            for rejected in view.rejected:
                _report(path, *rejected)
        _write_line(text)
    return status


if __name__ == "__main__":
    sys.exit(main())
