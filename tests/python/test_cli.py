"""The command line, run as a separate process: `python -m handscribe PATH... [--ohh] [--errors]
[--encoding] [--report]`."""
import json
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, needs_corpus

STARS = CORPUS / "pokerstars" / "HHSmithy_PokerHandHistoryParser"
GBP = STARS / "PokerStars__CashGame__Limits__GbpTable.txt"
RUN_TWICE = STARS / "PokerStars__CashGame__PlayerTests__RunItTwice.txt"

# A hand in which nobody posts or acts before the summary: the only kind the export accepts.
QUIET_HAND = """\
PokerStars Hand #1001: Hold'em No Limit ($0.01/$0.02 USD) - 2021/01/01 10:00:00 ET
Table 'Xi' 6-max Seat #1 is the button
Seat 1: Ann ($1 in chips)
Seat 2: Bo ($2.50 in chips)
*** HOLE CARDS ***
*** SUMMARY ***
Total pot $0 | Rake $0
Seat 1: Ann (button) folded before Flop

"""


def run(*args):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    return subprocess.run(
        [sys.executable, "-m", "handscribe", *map(str, args)],
        capture_output=True,
        env=env,
        timeout=120,
        check=False,
    )


def lines(out: bytes) -> list:
    text = out.decode("utf-8")
    assert text.endswith("\n")
    return text[:-1].split("\n")


def messages(err: bytes, files: int, hands: int, unread: int = 0) -> list:
    """The lines of standard error before the closing line of totals, which it checks."""
    *before, last = lines(err)
    assert re.fullmatch(rf"{files} files, {hands} hands, 0 rejected hands, {unread} files not "
                        r"read, \d+\.\d MB, \d+\.\d\d s", last), last
    return before


def named(path, text: str) -> str:
    """A line of JSON that names its file, as several inputs give."""
    return '{"source": ' + json.dumps(str(path), ensure_ascii=False) + ', "hands": ' + text + "}"


@pytest.fixture
def quiet(tmp_path: Path) -> Path:
    p = tmp_path / "quiet.txt"
    p.write_text(QUIET_HAND, encoding="utf-8")
    return p


@pytest.fixture
def unknown_site(tmp_path: Path) -> Path:
    p = tmp_path / "unknown.txt"
    p.write_text("Lucky Poker Hand 7\nsecond line\n", encoding="utf-8")
    return p


@pytest.fixture
def no_parser(tmp_path: Path) -> Path:
    p = tmp_path / "absolute.txt"
    p.write_text("#1: Limit Drawmaha - 1/2\n", encoding="utf-8")
    return p


def test_quiet_hand_native_and_export(quiet):
    native = run(quiet)
    assert native.returncode == 0, native.stderr
    assert messages(native.stderr, 1, 1) == []
    [line] = lines(native.stdout)
    [hand] = json.loads(line)
    assert hand["header"]["id"] == "1001"
    assert [p["name"] for p in hand["header"]["players"]] == ["Ann", "Bo"]

    ohh = run(quiet, "--ohh")
    assert ohh.returncode == 0, ohh.stderr
    [line] = lines(ohh.stdout)
    assert line == (
        '[{"spec_version":"1.4.1","site_name":"PokerStars","network_name":"PokerStars",'
        '"game_type":"HoldEm","table_name":"Xi","game_number":"1001",'
        '"start_date_utc":"2021-01-01T10:00:00Z","tournament":false,"table_size":6,'
        '"currency":"USD","dealer_seat":1,"hero_player_id":null,"small_blind":0.01,'
        '"big_blind":0.02,"ante_amount":0,"bet_limit":{"bet_type":"NL","cap":0},'
        '"players":[{"id":0,"seat":1,"name":"Ann","starting_stack":1,"player_bounty":0},'
        '{"id":1,"seat":2,"name":"Bo","starting_stack":2.5,"player_bounty":0}],'
        '"flags":["Observed"],"rounds":[{"street":"Preflop","id":0,"actions":[]}],"pots":[]}]'
    )


@needs_corpus
def test_one_real_file_is_its_to_json():
    r = run(GBP)
    assert r.returncode == 0, r.stderr
    assert lines(r.stdout) == [handscribe.to_json(handscribe.parse_path(str(GBP)))]


@needs_corpus
def test_several_files_one_line_each_in_order(quiet):
    r = run(RUN_TWICE, quiet, GBP)
    assert r.returncode == 0, r.stderr
    expected = [named(p, handscribe.to_json(handscribe.parse_path(str(p))))
                for p in (RUN_TWICE, quiet, GBP)]
    assert lines(r.stdout) == expected
    # Non-ASCII symbols reach the output as UTF-8.
    assert '"currency":"£"' in lines(r.stdout)[2]


def test_missing_file_exits_3_after_the_others(quiet, tmp_path):
    missing = tmp_path / "nope.txt"
    r = run(missing, quiet)
    assert r.returncode == 3  # an input error
    assert lines(r.stdout) == [named(quiet, handscribe.to_json(handscribe.parse_path(quiet)))]
    [err] = messages(r.stderr, 2, 1, unread=1)
    assert err.startswith(f"{missing}: Failed to open file at path '{missing}' with error ")


def test_unknown_site_exits_3_after_the_others(quiet, unknown_site):
    r = run(unknown_site, quiet, unknown_site)
    assert r.returncode == 3
    assert len(lines(r.stdout)) == 1
    assert messages(r.stderr, 3, 1, unread=2) == [
        f"{unknown_site}: Invalid poker website - 'Lucky Poker Hand 7'"] * 2


def test_fault_exits_4_at_once(quiet, no_parser):
    r = run(quiet, no_parser, quiet)
    assert r.returncode == 4
    assert len(lines(r.stdout)) == 1  # the file after the fault is not written
    # Said once, with the file and without the C++ place, then the totals.
    assert messages(r.stderr, 3, 1) == [
        f"handscribe: {no_parser}: internal fault: game not read: Limit Drawmaha"]


@needs_corpus
def test_export_of_hands_with_actions_is_a_fault(quiet):
    r = run("--ohh", quiet, GBP, quiet)
    assert r.returncode == 4
    assert len(lines(r.stdout)) == 1
    assert r.stderr.decode().splitlines()[-2] == (
        f"handscribe: {GBP}: internal fault: not implemented: JsonOHH - action")


def test_help_and_usage_errors():
    r = run("--help")
    assert r.returncode == 0
    out = r.stdout.decode()
    assert out.startswith("usage: handscribe")
    for word in ("PATH", "--ohh", "--format ohh", "Open Hand History", "JSON", "exit status",
                 "GGPoker", "Winamax", "OnGame", "Omaha", "Courchevel", '{"source": "PATH"'):
        assert word in out, word
    for code in range(5):  # each exit status is explained on a line of its own
        assert re.search(rf"^  {code}  \w", out, re.M), code
    # every site the module recognises, under "sites read" when it has a reader
    read, not_read = (re.findall(r"\w+", part) for part in re.search(
        r"sites read:(.*)sites recognised[^\n]*:(.*)games read:", out, re.S).groups())
    sites = handscribe._handscribe._sites
    assert not_read == ["none"]  # every site recognised is read
    assert len(sites) == 26 and sorted(read) == sorted(n for n, _ in sites)
    assert {"PokerStars", "RunItOnce", "PokerMaster", "PokerBros"} <= set(read)
    r = run("--version")
    assert r.returncode == 0 and r.stdout.decode() == f"handscribe {handscribe.__version__}\n"

    r = run()  # no path at all
    assert r.returncode == 2
    assert r.stdout == b""
    assert "PATH" in r.stderr.decode()


@needs_corpus
def test_reader_going_away_stops_quietly():
    big = (CORPUS / "pokerstars" / "santiweight_poker-handhistory"
           / "hh.com_Paulina_289FR_2021.07.30_0.txt")
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    proc = subprocess.Popen(
        [sys.executable, "-m", "handscribe", str(big), str(big)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
    )
    assert proc.stdout.read(10) == b'{"source":'
    proc.stdout.close()  # far more than a pipe holds is still to come
    err = proc.stderr.read()
    assert proc.wait(timeout=120) == 3  # an output that cannot be written
    assert re.fullmatch(rb"2 files, \d+ hands, 0 rejected hands, 0 files not read, .* s\n", err)


@needs_corpus
def test_ggpoker_and_winamax_files_and_a_stud_file_reported():
    gg = CORPUS / "ggpoker" / "jejellyroll-fr_fpdb-3" / "PLO-6max-USD-2-5-202101.RIT.txt"
    wm = CORPUS / "winamax" / "jejellyroll-fr_fpdb-3" / "PLO-5max-EUR-2.00-4.00-201412.sb.oop.txt"
    stud = CORPUS / "winamax" / "jejellyroll-fr_fpdb-3" / "Razz-6max-EUR-25-50-201611._8games_.txt"
    r = run("--errors", "skip", gg, wm, stud, "--report")
    assert r.returncode == 1, r.stderr  # a hand rejected
    assert lines(r.stdout) == [named(p, handscribe.to_json(handscribe.parse_path(p)))
                               for p in (gg, wm)] + [named(stud, "[]")]
    err = r.stderr.decode().splitlines()
    assert err[0] == f"{stud}:1: 9250793-444-1478990340: game not read: Razz fixed limit"
    assert err[-1].startswith("3 files, 2 hands, 1 rejected hands, ")


def test_888poker_and_partypoker_files():
    # an 888poker hand and ten PartyPoker hands
    pacific = DATA / "pacificpoker" / "Pacific__CashGame__PlayerTests__OmahaShowdown.txt"
    party = DATA / "partypoker" / "PartyPoker__CashGame__MultipleHandsTests__10MultipleHands.txt"
    r = run("--errors", "skip", "--encoding", "auto", pacific, party, "--report")
    assert r.returncode == 0, r.stderr
    assert lines(r.stdout) == [named(p, handscribe.to_json(handscribe.parse_path(p)))
                               for p in (pacific, party)]
    assert r.stderr.decode().splitlines()[-1].startswith("2 files, 11 hands, 0 rejected hands, ")


@needs_corpus
def test_winning_in_utf16_and_bovada_files():
    utf16 = (CORPUS / "winning" / "jejellyroll-fr_fpdb-3" /
             "NLHE-2max-USD-2.40_HH00000000_T5732551-G0-201608.Hyper.txt")
    bovada = CORPUS / "bovada" / "thlorenz_hhp" / "sng-sidepot.txt"
    r = run("--encoding", "auto", utf16, bovada)
    assert r.returncode == 0, r.stderr
    assert lines(r.stdout) == [
        named(p, handscribe.to_json(handscribe.parse_path(p, encoding="auto")))
        for p in (utf16, bovada)]
    assert len(json.loads(lines(r.stdout)[0])["hands"]) == 10


@pytest.mark.parametrize("fmt", ["json", "parquet"])
def test_skip_auto_and_report(tmp_path, quiet, fmt):
    from test_tolerant import FAULT, THREE
    damaged = tmp_path / "damaged.txt"
    damaged.write_bytes(THREE.replace("Anna", "Ren\xe9").encode("cp1252"))
    missing = tmp_path / "nope.txt"
    out = ["--format", "parquet", "--output", tmp_path / "out"] if fmt == "parquet" else []
    if out:
        pytest.importorskip("pyarrow.parquet")
    r = run("--errors", "skip", "--encoding", "auto", *out, damaged, missing, quiet, "--report")
    assert r.returncode == 1  # a whole file failed
    if not out:
        written = lines(r.stdout)
        assert [len(json.loads(line)["hands"]) for line in written] == [2, 1]
        assert '"name":"Ren\u00e9"' in written[0]
    err = r.stderr.decode().splitlines()
    assert err[:-1] == [
        f"{damaged}:18: 300000000002: {FAULT}",
        f"{missing}:0: : Failed to open file at path '{missing}' with error No such file or "
        "directory (os error 2)",
    ]
    assert err[-1].startswith("3 files, 3 hands, 1 rejected hands, ")
    # without --report only the failed file is named; strict stops at the fault
    r = run("--errors", "skip", "--encoding", "windows-1252", *out, damaged)
    assert r.returncode == 1 and r.stderr.decode().startswith("1 files, 2 hands, 1 rejected ")
    if out:
        out[-1] = tmp_path / "fault"
    r = run("--encoding", "cp1252", *out, damaged, quiet)
    assert r.returncode == 4 and r.stdout == b"" and FAULT in r.stderr.decode()
    if out:  # the run stopped: no dataset is left behind
        assert not (tmp_path / "fault").exists()


@needs_corpus
def test_format_ohh_to_standard_output_and_to_files(tmp_path):
    """One .ohh text per file, the texts a valid stream together; with --output one file each,
    named in ASCII after its input, a taken name numbered."""
    from ohh_check import split_ohh
    from test_ohh import NO_GAME_NAME, SHORT_DECK
    short_deck = SHORT_DECK  # every hand of a game the format has no name for
    euro = tmp_path / "sub" / "caf\u00e9 table.txt"
    euro.parent.mkdir()
    euro.write_bytes(GBP.read_bytes())
    r = run("--format", "ohh", GBP)
    assert r.returncode == 0, r.stderr
    texts = [handscribe.to_ohh(handscribe.parse_path(str(p))) for p in (GBP, RUN_TWICE)]
    assert r.stdout.decode() == texts[0]
    assert len(split_ohh(r.stdout.decode())) == 1
    r = run("--format", "ohh", GBP, RUN_TWICE)  # a stream would not say which file is which
    assert r.returncode == 2 and r.stdout == b"" and b"need --output DIR" in r.stderr
    out = tmp_path / "out"
    r = run("--format", "ohh", "--output", out, "--errors", "skip", "--report=-", GBP, euro,
            short_deck)
    assert r.returncode == 1 and r.stdout == b""  # hands left out
    names = ["PokerStars__CashGame__Limits__GbpTable.ohh", "caf__table.ohh",
             "NL-ShortDeck-5max-USD-0.2-202103.ohh"]
    assert sorted(p.name for p in out.iterdir()) == sorted(names)
    assert (out / names[1]).read_text(encoding="utf-8") == texts[0]
    assert (out / names[2]).read_text(encoding="utf-8") == ""  # no hand can be written
    err = r.stderr.decode().splitlines()
    assert all(NO_GAME_NAME + "ShortDeckHoldEm" in line for line in err[:-1]) and len(err) > 2
    assert f"{len(err) - 1} rejected hands" in err[-1]
    r = run("--format", "ohh", short_deck)  # strict: a hand that cannot be written: a fault
    assert r.returncode == 4 and NO_GAME_NAME in r.stderr.decode()
