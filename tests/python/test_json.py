"""JSON output of real hands: checked against the text form of the same view, golden texts,
the method/function pair, and the release of the interpreter lock."""
import json
import re
import struct
import sys
import threading
import time
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, corpus_files, corpus_id, needs_corpus

GOLDEN = Path(__file__).resolve().parent / "golden"
STARS = CORPUS / "pokerstars"
HHSMITHY = STARS / "HHSmithy_PokerHandHistoryParser"

REAL_FILES = corpus_files("pokerstars") + corpus_files("pluribus")
# OnGame files add grouped amounts and other games; whether each parses is the parser's concern.
ONGAME_FILES = corpus_files("ongame")


def load_view(path: Path):
    """The view of a real file. Files that are not valid UTF-8 are read with replacement
    characters, as a caller would have to."""
    try:
        return handscribe.parse_path(str(path))
    except RuntimeError as e:
        assert str(e).startswith(f"Failed to open file at path '{path}' with error ")
        return handscribe.parse_str(path.read_bytes().decode("utf-8", errors="replace"))


# ---------------------------------------------------------------------------------------------
# The text form, read with regular expressions
# ---------------------------------------------------------------------------------------------

HEADER_RE = re.compile(
    r"Header \{ id: '(?P<id>.*?)', site: (?P<site>\w+), game_type: (?P<game_type>\w+), "
    r"currency: '(?P<currency>.?)', (?:tournament: Tournament \{ .*? \}, )?"
    r"table_name: '(?P<table>.*?)', max_players: (?P<max>\d+), "
    r"dealer: (?P<dealer>\d+), hero: (?P<hero>\d+), ante: (?P<ante>[^,]+), "
    r"small_blind: (?P<sb>[^,]+), big_blind: (?P<bb>[^,]+), "
    r"start_date: (?P<date>\d{4}/\d\d/\d\d \d\d:\d\d:\d\d), players: \["
)
PLAYER_RE = re.compile(r"Player \{ name: '(.*?)', seat: (\d+), chips: ([^ ]+) \}")
STREET_RE = re.compile(r"Street \{ cards: \[ (.*?) \], actions: ")
ACTION_RE = re.compile(
    r"Action \{ type: (\w+), player_id: (\d+)"
    r"(?:, (amount|cards|count|data|seat|msg): "
    r"(CashOut \{ amount: [^,]+, fee: [^ ]+ \}|\[ [^\]]*? \]|'.*?'|[^ ,}]+))? \}"
)
POTS_RE = re.compile(
    r"PotInfo \{ total: ([^,]+), rake: ([^,]+), main: ([^,]+), side_1: ([^,]+), "
    r"side_2: ([^,]+), side_3: ([^ ]+) \}"
)
WINNER_RE = re.compile(r"Winner \{ player_id: (\d+), amount: ([^,]+), game_id: (\d+) \}")
CASH_OUT_RE = re.compile(r"CashOut \{ amount: ([^,]+), fee: ([^ ]+) \}")

SUITS = {"♠": "s", "♣": "c", "♥": "h", "♦": "d"}


def f32(x) -> float:
    """The single-precision value of a number, as the records hold it."""
    return struct.unpack("<f", struct.pack("<f", float(x)))[0]


def repr_cards(text: str) -> list:
    """'Q♥ 3♣' -> ['Qh', '3c']"""
    return [c[:-1] + SUITS[c[-1]] for c in text.split(" ") if c]


def action_type(a: dict) -> str:
    """The member name of a JSON action's type."""
    t = a["type"]
    if t in ("bet", "call", "raise"):
        return t.capitalize() + ("AllIn" if a["all_in"] else "")
    if t == "blind":
        return {"ante": "Ante", "big": "BigBlind", "small": "SmallBlind",
                "big_small": "BigSmallBlind", "dead": "DeadBlind",
                "extra": "ExtraBlind"}[a["blind"]]
    if t == "collect_pot":
        return {"main": "CollectMainPot", "side_1": "CollectSidePot1",
                "side_2": "CollectSidePot2", "side_3": "CollectSidePot3"}[a["pot"]]
    return {"check": "Check", "fold": "Fold", "muck": "Muck", "show": "Show", "dealt": "Dealt",
            "cashout": "CashOut", "uncalled_bet": "UncalledBetReturned", "join": "Join",
            "leave": "Leave", "sitout": "Sitout", "say": "Say", "bring_in": "BringIn",
            "complete": "Complete", "dealt_up": "DealtUp", "discard": "Discard", "draw": "Draw",
            "stand_pat": "StandPat"}[t]


BASE = ["player_id", "type", "cards"]
KEYS = {  # the keys of an action object per member name
    **{n: BASE + ["amount", "all_in"] for n in
       ("Bet", "Call", "Raise", "BetAllIn", "CallAllIn", "RaiseAllIn")},
    **{n: BASE + ["amount", "blind"] for n in
       ("Ante", "BigBlind", "SmallBlind", "BigSmallBlind", "DeadBlind", "ExtraBlind")},
    **{n: BASE + ["amount", "pot"] for n in
       ("CollectMainPot", "CollectSidePot1", "CollectSidePot2", "CollectSidePot3")},
    **dict.fromkeys(("Check", "Fold", "Muck", "Show", "Dealt", "Leave", "Sitout", "DealtUp",
                     "Discard", "StandPat"), BASE),
    **{n: BASE + ["amount"] for n in ("BringIn", "Complete")},
    "Draw": BASE + ["count"],
    "CashOut": BASE + ["amount", "fee"],
    "UncalledBetReturned": BASE + ["amount"],
    "Join": BASE + ["seat"],
}


def hand_streets(h: dict) -> list:
    return [h["preflop"], *h["flops"], *h["turns"], *h["rivers"], *h["showdowns"],
            *h.get("sevenths", [])]


def hand_actions(h: dict) -> list:
    out = list(h["header"]["actions"])
    for s in hand_streets(h):
        out += s["actions"]
    return out + h["summary"]["actions"]


def whitespace_outside_strings(text: str) -> bool:
    in_string = escaped = False
    for ch in text:
        if in_string:
            if escaped:
                escaped = False
            elif ch == "\\":
                escaped = True
            elif ch == '"':
                in_string = False
        elif ch == '"':
            in_string = True
        elif ch in " \t\r\n":
            return True
    return False


def positional_float(token: str) -> float:
    """Number reader for json.loads: amounts never take an exponent."""
    assert "e" not in token.lower(), token
    return float(token)


CARD_KINDS = ("Fold", "Muck", "Show", "Dealt", "DealtUp", "Discard")


def check_against_repr(hands: list, text_form: str) -> None:
    headers = [m.groupdict() for m in HEADER_RE.finditer(text_form)]
    assert len(headers) == len(hands)
    for h, r in zip(hands, headers):
        hd = h["header"]
        assert hd["id"] == r["id"]
        assert hd["site"] == r["site"]
        assert hd["game_type"] == r["game_type"]
        assert hd["currency"] == r["currency"]
        assert hd["table_name"] == r["table"]
        assert hd["max_players"] == int(r["max"])
        assert hd["dealer_id"] == int(r["dealer"])
        assert hd["hero_id"] == int(r["hero"])
        for key, group in (("ante", "ante"), ("small_blind", "sb"), ("big_blind", "bb")):
            assert f32(hd[key]) == f32(r[group]), key
        date = hd["start_date"]
        assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", date)
        assert date[:-1].replace("-", "/").replace("T", " ") == r["date"]

    players = PLAYER_RE.findall(text_form)
    json_players = [p for h in hands for p in h["header"]["players"]]
    assert len(json_players) == len(players)
    for p, (name, seat, chips) in zip(json_players, players):
        assert (p["name"], p["seat"], f32(p["chips"])) == (name, int(seat), f32(chips))
    for h in hands:
        assert [p["id"] for p in h["header"]["players"]] == list(range(len(h["header"]["players"])))

    streets = STREET_RE.findall(text_form)
    json_streets = [s for h in hands for s in hand_streets(h)]
    assert [s["cards"] for s in json_streets] == [repr_cards(c) for c in streets]

    actions = ACTION_RE.findall(text_form)
    json_actions = [a for h in hands for a in hand_actions(h)]
    assert len(json_actions) == len(actions)
    for a, (kind, pid, field, value) in zip(json_actions, actions):
        assert action_type(a) == kind
        assert a["player_id"] == int(pid)
        if kind == "Say":
            assert list(a) == BASE + (["msg"] if "msg" in a else [])
            assert a.get("msg", "") == value[1:-1]
        else:
            assert list(a) == KEYS[kind], a
        if "amount" in a and kind != "CashOut":
            assert field == "amount" and f32(a["amount"]) == f32(value)
        elif kind == "CashOut":
            amount, fee = CASH_OUT_RE.fullmatch(value).groups()
            assert (f32(a["amount"]), f32(a["fee"])) == (f32(amount), f32(fee))
        elif kind == "Join":
            assert field == "seat" and a["seat"] == int(value) % 256
        elif kind == "Draw":
            assert field == "count" and a["count"] == int(value)
        elif kind in CARD_KINDS:
            assert field == "cards" and a["cards"] == repr_cards(value[2:-2])
        if kind not in CARD_KINDS:
            assert a["cards"] == []

    pots = POTS_RE.findall(text_form)
    winners = WINNER_RE.findall(text_form)
    json_winners = [w for h in hands for w in h["summary"]["winners"]]
    assert len(pots) == len(hands) and len(winners) == len(json_winners)
    for h, (total, rake, main, s1, s2, s3) in zip(hands, pots):
        s = h["summary"]
        assert list(s) == ["total_pot", "main_pot", "side_pots", "rake", "winners", "actions"]
        got = [s["total_pot"], s["rake"], s["main_pot"], *s["side_pots"]]
        assert [f32(x) for x in got] == [f32(x) for x in (total, rake, main, s1, s2, s3)]
    for w, (pid, amount, game) in zip(json_winners, winners):
        assert list(w) == ["player_id", "game_id", "amount"]
        assert (w["player_id"], f32(w["amount"]), w["game_id"]) == (
            int(pid), f32(amount), int(game))


@needs_corpus
@pytest.mark.parametrize("path", REAL_FILES, ids=corpus_id)
def test_real_file_agrees_with_its_text_form(path):
    view = load_view(path)
    text = handscribe.to_json(view)
    assert not whitespace_outside_strings(text)
    hands = json.loads(text, parse_float=positional_float)
    assert len(hands) == len(view)
    for h in hands:
        assert list(h) == ["header", "preflop", "flops", "turns", "rivers", "showdowns", "summary"]
        assert list(h["header"]) == [
            "site", "game_type", "bet_type", "id", "table_name", "start_date", "currency",
            "is_tournament", "max_players", "dealer_id", "hero_id", "bet_cap", "ante",
            "small_blind", "big_blind", "players", "actions"]
    check_against_repr(hands, repr(view))


@needs_corpus
@pytest.mark.parametrize("path", ONGAME_FILES, ids=corpus_id)
def test_ongame_file_agrees_with_its_text_form(path):
    try:
        view = handscribe.parse_path(str(path))
    except (RuntimeError, handscribe.PanicException) as e:
        pytest.skip(f"does not parse: {e}")
    hands = json.loads(handscribe.to_json(view), parse_float=positional_float)
    assert len(hands) == len(view)
    check_against_repr(hands, repr(view))


@needs_corpus
@pytest.mark.parametrize("path", REAL_FILES[::5], ids=corpus_id)
def test_method_and_function_agree(path):
    view = load_view(path)
    assert view.to_json() == handscribe.to_json(view)
    # Real hands all post blinds, which the export does not carry.
    with pytest.raises(handscribe.PanicException) as by_function:
        handscribe.to_json_ohh(view)
    with pytest.raises(handscribe.PanicException) as by_method:
        view.to_json_ohh()
    assert str(by_function.value) == str(by_method.value) == "not implemented: JsonOHH - action"


QUIET_HAND = """\
PokerStars Hand #1001: Hold'em No Limit ($0.01/$0.02 USD) - 2021/01/01 10:00:00 ET
Table 'Xi "the\\\\tall"' 6-max Seat #2 is the button
Seat 1: Ann ($1 in chips)
Seat 2: Bö ($2.50 in chips)
*** HOLE CARDS ***
*** SUMMARY ***
Total pot $0 | Rake $0
Seat 1: Ann folded before Flop

"""


def test_export_of_a_hand_without_actions():
    view = handscribe.parse_str(QUIET_HAND)
    text = handscribe.to_json_ohh(view)
    assert view.to_json_ohh() == text
    assert json.loads(text) == [{
        "spec_version": "1.4.1", "site_name": "PokerStars", "network_name": "PokerStars",
        "game_type": "HoldEm", "table_name": 'Xi "the\\\\tall"', "game_number": "1001",
        "start_date_utc": "2021-01-01T10:00:00Z", "tournament": False, "table_size": 6,
        "currency": "USD", "dealer_seat": 2, "hero_player_id": None, "small_blind": 0.01,
        "big_blind": 0.02, "ante_amount": 0, "bet_limit": {"bet_type": "NL", "cap": 0},
        "players": [
            {"id": 0, "seat": 1, "name": "Ann", "starting_stack": 1, "player_bounty": 0},
            {"id": 1, "seat": 2, "name": "Bö", "starting_stack": 2.5, "player_bounty": 0}],
        "flags": ["Observed"],
        "rounds": [{"street": "Preflop", "id": 0, "actions": []}],
        "pots": []}]
    # The escaped quote and backslashes of the table name, and the name's UTF-8, byte for byte.
    assert '"table_name":"Xi \\"the\\\\\\\\tall\\"",' in text
    assert '"name":"Bö",' in text
    assert view.to_json() == handscribe.to_json(view)


def test_empty_view():
    # A hand without seats is dropped: the view is empty.
    view = handscribe.parse_str(
        "PokerStars Hand #1: Hold'em No Limit ($1/$2 USD) - 2020/01/01 1:00:00 ET\n"
        "Table 'x' 6-max Seat #1 is the button\n\n")
    assert len(view) == 0
    assert handscribe.to_json(view) == view.to_json() == "[]"
    assert handscribe.to_json_ohh(view) == view.to_json_ohh() == "[]"


# ---------------------------------------------------------------------------------------------
# Golden texts, checked by hand against their source hands
# ---------------------------------------------------------------------------------------------

def baetsle_cash_out_hand() -> str:
    text = (STARS / "santiweight_poker-handhistory" / "hh.com_Baetsle_289FR_2021.07.30_0.txt"
            ).read_bytes().decode("utf-8")
    start = text.index("PokerStars Hand #228672411142:")
    return text[start:text.index("PokerStars Hand #", start + 1)]


GOLDEN_CASES = [
    ("json_run_it_twice.json",
     lambda: HHSMITHY / "PokerStars__CashGame__PlayerTests__RunItTwice.txt"),
    ("json_gbp.json", lambda: HHSMITHY / "PokerStars__CashGame__Limits__GbpTable.txt"),
    ("json_eur_joins.json", lambda: HHSMITHY / "PokerStars__CashGame__GeneralHands__HeroName.txt"),
    ("json_cap.json", lambda: HHSMITHY / "OnGame__CashGame__GameTypeTests__CapNoLimitHoldem.txt"),
    ("json_sitout.json",
     lambda: HHSMITHY / "PokerStars__CashGame__PlayerTests__WithSittingOut.txt"),
    ("json_cash_out.json", baetsle_cash_out_hand),
]


@needs_corpus
@pytest.mark.parametrize("golden,source", GOLDEN_CASES, ids=[g for g, _ in GOLDEN_CASES])
def test_golden(golden, source):
    src = source()
    view = handscribe.parse_path(str(src)) if isinstance(src, Path) else handscribe.parse_str(src)
    expected = (GOLDEN / golden).read_text(encoding="utf-8")
    assert handscribe.to_json(view) + "\n" == expected


# ---------------------------------------------------------------------------------------------
# The interpreter lock
# ---------------------------------------------------------------------------------------------

@needs_corpus
def test_module_functions_release_the_lock():
    big = STARS / "santiweight_poker-handhistory" / "hh.com_Paulina_289FR_2021.07.30_0.txt"
    # Conversions of ~0.1 s: room for the checks below on a loaded machine.
    view = handscribe.parse_str(big.read_text(encoding="utf-8") * 60)
    assert len(view) > 10000

    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(time.perf_counter())

    old = sys.getswitchinterval()
    sys.setswitchinterval(0.0005)
    thread = threading.Thread(target=ticker)
    thread.start()
    try:
        def ticks_inside(convert) -> tuple:
            """Ticks of the other thread in the middle third of one conversion, and its length.
            The edges are left out: around the call itself the lock changes hands anyway, and
            on a loaded machine those moments stretch."""
            time.sleep(0.01)
            t0 = time.perf_counter()
            out = convert(view)
            t1 = time.perf_counter()
            del out
            third = (t1 - t0) / 3
            return sum(1 for t in list(ticks) if t0 + third < t < t1 - third), t1 - t0

        released, took = max(ticks_inside(handscribe.to_json) for _ in range(3))
        assert took > 0.03, "view too small to measure"
        assert released > 100
        held, _ = min(ticks_inside(lambda v: v.to_json()) for _ in range(3))
        assert held == 0  # the method keeps the lock: the control
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(old)
