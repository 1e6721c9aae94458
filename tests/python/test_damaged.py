"""Real hands damaged at random (seeded, see damage.py): in skip mode nothing raises
PanicException, every hand start is returned or reported, and the view writes; in strict mode only
the documented exceptions come out. Then every public function on damaged texts and bytes."""
import json
import os
import subprocess
import sys
import warnings

import pytest

import handscribe
from conftest import DATA, ROOT
from damage import damaged, damaged_bytes, decoded, hand_starts, lines_of
from handscribe import PanicException
from ohh_check import split_ohh

try:
    import pyarrow as pa
except ImportError:  # the Arrow tables are then built but not read back
    pa = None

# The test data, and the GGPoker and Winamax hands written as fuzzing seeds (the real files of
# those sites may not be copied here).
SOURCES = sorted(DATA.glob("*/*.txt")) + sorted((ROOT / "tests" / "fuzz" / "seeds").glob("*.txt"))
SEEDS = range(200)


def counted(view) -> int:
    return len(view) + sum(r.line > 0 for r in view.rejected)


@pytest.mark.parametrize("path", SOURCES, ids=lambda p: p.name)
def test_damaged_hands(path):
    text = path.read_bytes().decode("utf-8")
    for seed in SEEDS:
        bad = damaged(text, seed)
        try:
            view = handscribe.parse_str(bad, errors="skip")
        except RuntimeError:  # the first line no longer names a site, or nothing follows it
            assert (hand_starts(bad) == 0 or len(lines_of(bad.lstrip())) == 1
                    or not bad.lstrip().startswith(("PokerStars ", "*****", "Poker Hand #",
                                                    "Winamax ", "Game started", "Hand #",
                                                    "Game Hand #", "Bovada ", "Ignition ",
                                                    "Bodog", "#Game No ", "Game #")))
            continue
        assert counted(view) == hand_starts(bad), seed
        assert [r.line for r in view.rejected] == sorted(r.line for r in view.rejected), seed
        view.to_json()
        repr(view)
        try:
            strict = handscribe.parse_str(bad)
        except (RuntimeError, handscribe.PanicException):
            continue
        assert repr(strict) == repr(view), seed


# ---------------------------------------------------------------------------------------------
# Every public function on damaged text and damaged bytes: only the documented exceptions, and
# every text written is valid (no U+FFFD that its input did not hold: the module decodes its texts
# with "replace", which would show invalid UTF-8 that way) and every JSON text parses.

ERRORS = ("strict", "skip")
ENCODINGS = ("utf-8", "cp1252", "latin-1", "auto")
HOSTILE_SEEDS = range(6)


def check_text(out: str, source: str) -> None:
    assert isinstance(out, str)
    assert "\ufffd" not in out or "\ufffd" in source, out


def _no_constant(name):
    raise ValueError(f"{name} is no JSON value")


def check_json(out: str, source: str) -> None:
    check_text(out, source)
    value = json.loads(out, parse_constant=_no_constant)
    json.dumps(value, ensure_ascii=False).encode("utf-8")  # no unpaired surrogate escape


def check_tables(tables, source: str) -> None:
    if pa is None:
        return
    for table in (tables.hands, tables.players, tables.actions):
        pa.table(table).validate(full=True)  # string columns: valid UTF-8
    for _, r in getattr(tables, "rejected", []):
        check_text(r.reason, source)


# The JSON writers and what they may raise: a RuntimeError for a value without a JSON form, and
# the Open Hand History layout a PanicException for a hand with actions, which it does not write.
WRITERS = (
    (lambda v: v.to_json(), RuntimeError),
    (handscribe.to_json, RuntimeError),
    (lambda v: v.to_json_ohh(), (RuntimeError, PanicException)),
    (handscribe.to_json_ohh, (RuntimeError, PanicException)),
)
# The standard export: a hand it cannot express is a PanicException naming it in strict mode, a
# warning in skip mode (whose text is checked too).
OHH_WRITERS = (
    (lambda v: v.to_ohh(), PanicException),
    (lambda v: handscribe.to_ohh(v, errors="skip"), ()),
)


def check_view(view, source: str) -> None:
    """Every text that a view and the views cut from it write."""
    cut = [view[0], view[-1], view[len(view) // 2:]] if len(view) else [view[:]]
    for v in (view, *cut):
        check_text(repr(v), source)
        check_text(str(v), source)
        for write, documented in WRITERS:
            try:
                check_json(write(v), source)
            except documented as e:
                check_text(str(e), source)
        for write, documented in OHH_WRITERS:
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                try:
                    for obj in split_ohh(write(v)):
                        check_json(obj, source)
                except documented as e:
                    check_text(str(e), source)
            for w in caught:
                check_text(str(w.message), source)
        for r in v.rejected:
            check_text(r.hand_id, source)
            check_text(r.reason, source)
    check_tables(view.to_arrow(), source)


def attempt(call, source: str, errors: str):
    """What a parse call returns, or None when it raised one of the documented exceptions: a
    RuntimeError (an input not read as a whole), a PanicException in strict mode only."""
    try:
        return call()
    except RuntimeError as e:
        check_text(str(e), source)
    except PanicException as e:
        assert errors == "strict", e
        check_text(str(e), source)
    return None


@pytest.mark.parametrize("path", SOURCES, ids=lambda p: p.name)
def test_every_public_function_on_damaged_input(path, tmp_path):
    text = path.read_bytes().decode("utf-8")
    texts = [damaged(text, seed) for seed in HOSTILE_SEEDS]
    files = []
    for seed in HOSTILE_SEEDS:
        files.append(tmp_path / f"{seed}.txt")
        files[-1].write_bytes(damaged_bytes(text, seed))
    for errors in ERRORS:
        for bad in texts:
            view = attempt(lambda: handscribe.parse_str(bad, errors=errors), bad, errors)
            if view is not None:
                check_view(view, bad)
        every_text = "".join(texts)
        for view in attempt(lambda: handscribe.parse_strs(texts, errors=errors), every_text,
                            errors) or []:
            check_view(view, every_text)
        for encoding in ENCODINGS:
            sources = []
            for file in files:
                try:
                    sources.append(decoded(file.read_bytes(), encoding))
                except UnicodeDecodeError:
                    with pytest.raises(RuntimeError, match="valid UTF-8"):
                        handscribe.parse_path(file, errors=errors, encoding=encoding)
                    sources.append("\ufffd")  # the error names no text of the file
                    continue
                view = attempt(
                    lambda: handscribe.parse_path(file, errors=errors, encoding=encoding),
                    sources[-1], errors)
                if view is not None:
                    check_view(view, sources[-1])
            every_source = "".join(sources)
            for view in attempt(lambda: handscribe.parse_paths(files, errors=errors,
                                                               encoding=encoding),
                                every_source, errors) or []:
                check_view(view, every_source)
            tables = attempt(lambda: handscribe.read_tables(files, errors=errors,
                                                            encoding=encoding),
                             every_source, errors)
            if tables is not None:
                check_tables(tables, every_source)


def test_command_line_on_damaged_files(tmp_path):
    """Damaged files of every source through the command line: it ends with a documented exit
    code, and every line it writes is valid JSON."""
    files = []
    for path in SOURCES:
        text = path.read_bytes().decode("utf-8")
        for seed in HOSTILE_SEEDS:
            files.append(tmp_path / f"{path.stem}.{seed}.txt")
            files[-1].write_bytes(damaged_bytes(text, seed))
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    # In skip mode each file that is read writes its line; a strict run may stop at a fault.
    for flags, codes, least in ((["--errors", "skip", "--encoding", "auto", "--report=-"], (0, 1),
                                 len(files) // 2),
                                (["--ohh"], (0, 1, 3, 4), 0)):
        run = subprocess.run([sys.executable, "-m", "handscribe", *flags, *map(str, files)],
                             capture_output=True, env=env, timeout=120, check=False)
        assert run.returncode in codes, run.stderr.decode("utf-8", "replace")[-2000:]
        written = run.stdout.decode("utf-8").splitlines()
        assert len(written) >= least, flags
        for line in written:
            json.loads(line, parse_constant=_no_constant)
        run.stderr.decode("utf-8")  # valid UTF-8 (U+FFFD from the "auto" decoding may be there)


def test_a_cut_inside_a_damaged_character_rejects_its_hand(capfd):
    """One damaged character in a real hand ("Mr. Sjaak 13 leaves the table" with its 'l' turned
    into a three-byte character) puts the cut of the name inside that character: a fault, so
    strict mode raises and skip mode rejects that hand alone, and nothing written holds a partial
    character."""
    text = (DATA.parent / "fuzz" / "regressions" /
            "stars_leaves_line_damaged_character.txt").read_text(encoding="utf-8")
    message = "byte index 14 is not a char boundary in 'Mr. Sjaak 13 \u285eeaves the table'"
    with pytest.raises(PanicException) as fault:
        handscribe.parse_str(text)
    assert str(fault.value) == message
    capfd.readouterr()
    view = handscribe.parse_str(text, errors="skip")
    assert [json.loads(h.to_json())[0]["header"]["id"] for h in view] == ["228688547784"]
    assert view.rejected == [handscribe.Rejected(1, "228688528189", message)]
    check_view(view, text)
