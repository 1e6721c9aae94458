"""Every PokerNow log and Full Tilt Poker file of the corpus: the hands returned and the reason for
every hand that is not, every action's and winner's player named, each hand's stakes, seats and
won amounts checked against its own text; the log reader's handling of the comma-separated
layout; golden text forms of one hand of each site. (Each hand's chips adding up is checked over
the whole corpus by test_facts.)"""
import csv
import io
import json
import re
from decimal import Decimal
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, needs_corpus

EXPECTED = json.loads((Path(__file__).parent / "expected" / "pokernow_fulltilt.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
FOLDERS = ("pokernow", "fulltiltpoker")
FILES = sorted(p for folder in FOLDERS if (CORPUS / folder).is_dir()
               for p in (CORPUS / folder).rglob("*") if p.is_file())
LOG = DATA / "pokernow" / "charlestudor__Input_Log_002.csv"


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def parse(path: Path):
    return handscribe.parse_path(path, errors="skip", encoding="auto")


def text_of(path: Path) -> str:
    data = path.read_bytes()
    if data[:2] == b"\xff\xfe":
        return data.decode("utf-16", errors="replace")
    return data.decode("utf-8").lstrip("\ufeff")


def log_entries(path: Path) -> list:
    """A PokerNow export's entries in time order, read with Python's own CSV reader."""
    rows = list(csv.DictReader(io.StringIO(text_of(path), newline="")))
    # the table lists the newest first: rows of the same order keep that order reversed
    rows.reverse()
    return [r["entry"] for r in sorted(rows, key=lambda r: int(r["order"]))]


FT_START = re.compile(r"^(?:Full ?Tilt ?Poker) Game #(\d+):", re.M)
PN_START = re.compile(r"^-- starting hand #(\d+) +(?:\(id: (\w+)\))?")


def hand_texts(path: Path) -> dict:
    """Each hand's text by its id, as this test reads the file."""
    if rel(path).startswith("pokernow/"):
        hands, current = {}, None
        for entry in log_entries(path):
            m = PN_START.match(entry)
            if m:
                current = m[2] or m[1]
                hands[current] = []
            if current is not None:
                hands[current].append(entry)
            if entry.startswith("-- ending hand"):
                current = None
        return {k: "\n".join(v) for k, v in hands.items()}
    text = text_of(path)
    starts = list(FT_START.finditer(text))
    ends = [m.start() for m in starts[1:]] + [len(text)]
    return {m[1]: text[m.start():end] for m, end in zip(starts, ends)}


@needs_corpus
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(EXPECTED)


@needs_corpus
@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    view = parse(path)
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    # Every hand of the text is returned or reported (a tournament's summary is reported too).
    found = set(want["returned"]) | set(want.get("missing", {})) - {""}
    assert found == set(hand_texts(path))
    # Only games not read (Irish), tournament summaries and hands never dealt (every player
    # sitting out; a partial hand of a summary alone) are missing.
    assert all(r.startswith(("game not read: ", "a tournament's summary",
                             "hand without hole cards: '*** SUMMARY"))
               for r in want.get("missing", {}).values())


def dec(text: str) -> Decimal:
    return Decimal(re.sub(r"[^\d.]", "", text))


def exact(value: float) -> Decimal:
    return Decimal(repr(float(value)))


@needs_corpus
@pytest.mark.parametrize("path", [p for p in FILES if EXPECTED[rel(p)]["returned"]], ids=rel)
def test_values_read_from_the_text(path):
    texts = hand_texts(path)
    pokernow = rel(path).startswith("pokernow/")
    for h in json.loads(parse(path).to_json()):
        hd, text = h["header"], texts[h["header"]["id"]]
        actions = list(hd["actions"]) + h["summary"]["actions"]
        for street in [h["preflop"], *h["flops"], *h["turns"], *h["rivers"], *h["showdowns"],
                       *h.get("sevenths", [])]:
            actions += street["actions"]
        players = len(hd["players"])
        assert all(a["player_id"] < players for a in actions)
        assert all(w["player_id"] < players for w in h["summary"]["winners"])
        if pokernow:
            seats = re.findall(r'#(\d+) "(.+?)" \((\d+(?:\.\d+)?)\)(?= \||$)',
                               text.split("Player stacks: ")[1].split("\n")[0])
            won = re.findall(r'^".+" collected (\d+(?:\.\d+)?) from pot', text, re.M)
        else:
            deal = text.index("\n*** ")  # the hole cards, or stud's first street
            seats = re.findall(r"^Seat (\d+): (.+) \(([^)]*)\)(?:, is sitting out)?$",
                               text[:deal], re.M)
            won = re.findall(r"^.+ (?:wins|ties for) (?:the |)[\w ]*pot[ \d]* \(([^)]+)\)",
                             text, re.M)
            if not won:  # no collection in the rounds: the summary's
                won = re.findall(r"(?:collected|won) \(([^)]+)\)", text.split("*** SUMMARY")[1])
            pot = re.search(r"^Total pot ([^ ]+)", text, re.M)[1]
            assert exact(h["summary"]["total_pot"]) == dec(pot)
        assert [(p["seat"], p["name"], exact(p["chips"])) for p in hd["players"][:len(seats)]] == [
            (int(s), n, dec(c)) for s, n, c in seats]
        assert sorted(exact(w["amount"]) for w in h["summary"]["winners"]) == sorted(
            dec(w) for w in won)


# ---------------------------------------------------------------------------------------------
# The log reader's own layout: quoted fields, doubled quotes, line ends, broken tables
# ---------------------------------------------------------------------------------------------

def test_log_line_ends_and_row_order_do_not_matter():
    data = LOG.read_bytes()
    want = parse(LOG).to_json()
    lines = data.decode("utf-8").split("\n")
    header, rows = lines[0], [r for r in lines[1:] if r]
    variants = {
        "crlf": data.replace(b"\n", b"\r\n"),
        # rows in time order rather than newest first: the order column decides
        "oldest first": "\n".join([header] + rows[::-1]).encode(),
        # a field holding a line break of its own (as a table's settings entry does)
        "multi-line entry": "\n".join(
            [header, '"Game Config Changes\n* Cents Mode: on » off",2022-01-20T10:52:40Z,1'
                     "64267595858601"] + rows).encode(),
    }
    for name, text in variants.items():
        view = handscribe.parse_str(text.decode("utf-8"))
        assert (name, view.to_json()) == (name, want)


@pytest.mark.parametrize("text,message", [
    ('entry,at,order\n"-- starting hand #1 (No Limit Texas Hold\'em) --,2022,1\n',
     "PokerNow log that is not comma-separated values: quoted field left open, line 2"),
    ("entry,at,order\nx,2022\n",
     "PokerNow log that is not comma-separated values: record of 2 fields where the header has "
     "3, line 2"),
    ('entry,at,order\nab"c,2022,1\n',
     "PokerNow log that is not comma-separated values: quote inside an unquoted field, line 2"),
    ('entry,at,order\n"a"b,2022,1\n',
     "PokerNow log that is not comma-separated values: text after a quoted field, line 2"),
    ("entry,at,order\nx,2022,soon\n", "PokerNow log row without an order, line 2"),
], ids=["open quote", "short record", "stray quote", "after quote", "no order"])
def test_broken_logs_are_refused_with_the_reason(text, message):
    with pytest.raises(RuntimeError) as err:
        handscribe.parse_str(text)
    assert str(err.value) == message


def test_log_players_quotes_and_hero():
    hands = json.loads(parse(LOG).to_json())
    names = [p["name"] for p in hands[0]["header"]["players"]]
    assert names == ["P1 @ eNVKMq2Tcb", "@atsymbols@@@ @ 3mid0aO0hZ",
                     "\"quotes\"\"''' @ us2R6psQVF", "spa @ ces @ ZQfm6ZDMPO"]
    # The log's own cards ("Your hand is 4♥, Q♥") are P1's, whose cards it shows in hand 3.
    assert [h["header"]["hero_id"] for h in hands] == [0, 0, 0, 0]
    assert hands[1]["preflop"]["actions"][0] == {"player_id": 0, "type": "dealt",
                                                 "cards": ["4h", "Qh"]}


# ---------------------------------------------------------------------------------------------
# Golden text forms
# ---------------------------------------------------------------------------------------------

FT = CORPUS / "fulltiltpoker" / "jejellyroll-fr_fpdb-3"
PN = CORPUS / "pokernow"
# name: (file, hand id)
GOLDEN_CASES = {
    "pokernow_log_all_in": (LOG, "1"),
    "pokernow_run_twice": (PN / "whitlock23_pokernow-log-analyzer" /
                           "poker_now_log_pglp0Dax7YaS_0IokGCQVc-t1.csv", "ohmhijx8r7o5"),
    "fulltilt_run_twice_omaha": (FT / "cash__PLO-6max-USD-2.00-4.00-201211.RIT.new.format.txt",
                                 None),
    "fulltilt_utf16_euro": (FT / "cash__NLHE-6max-EUR-0.01-0.02.201008.Weird.table.character.txt",
                            None),
    "fulltilt_tournament_thousands": (FT / "tour__NLHE-USD-MTT-KO.201104.K.as.thousand.txt", None),
    "fulltilt_courchevel": (FT / "cash__PL-Courchevel-6max-play-25-50-201305.txt", None),
}


@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_repr(name):
    path, hand_id = GOLDEN_CASES[name]
    if not path.is_file():
        pytest.skip("hand-history corpus not present")
    view = parse(path)
    hands = [view[i] for i in range(len(view))
             if hand_id is None or json.loads(view[i].to_json())[0]["header"]["id"] == hand_id]
    assert len(hands) == 1
    assert repr(hands[0]) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
