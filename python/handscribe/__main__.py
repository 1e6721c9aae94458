"""Command line: print hand-history files as JSON.

    python -m handscribe PATH... [--ohh]

Each file is parsed and written as one line of JSON on standard output, in the order given.
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
            "Exit status: 0 when every file was written; 1 when a file could not be read or "
            "its site was not recognised (the message goes to standard error, the other files "
            "are still written); 2 on an internal fault, which stops at once, or on a usage "
            "error."
        ),
    )
    p.add_argument("paths", nargs="+", metavar="PATH", help="hand-history file to convert")
    p.add_argument(
        "--ohh",
        action="store_true",
        help="write the Open Hand History layout instead of the module's own layout",
    )
    return p


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
            text = convert(handscribe.parse_path(path))
        except RuntimeError as e:
            print(e, file=sys.stderr)
            status = EXIT_ERROR
            continue
        except handscribe.PanicException as e:
            print(e, file=sys.stderr)
            return EXIT_FAULT
        _write_line(text)
    return status


if __name__ == "__main__":
    sys.exit(main())
