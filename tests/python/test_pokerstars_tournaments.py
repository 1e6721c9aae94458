"""PokerStars tournament hands (their golden text forms are with the others in
test_pokerstars_golden.py): every tournament hand of the corpus checked against values read from
its own text here (stacks, bounties, blinds, antes, buy-in, level, places, bounties won, and the
collected amounts against the total pot)."""
import json
import re
import struct
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, corpus_files

STARS = DATA / "pokerstars"


def test_cash_hands_print_no_tournament():
    cash = handscribe.parse_path(str(STARS / "PokerStars__CashGame__ExtraHands__SidePot.txt"))
    assert "tournament" not in json.loads(cash.to_json())[0]["header"]
    assert "Tournament" not in repr(cash)


# ---------------------------------------------------------------------------------------------
# An independent reading of the text
# ---------------------------------------------------------------------------------------------

HAND_LINE = re.compile(
    r"PokerStars (?:Hand|Game) #(?P<id>\d+): (?:Zoom )?Tournament #(?P<number>\d+), "
    r"(?P<buy_in>.*?) ?(?:Hold'em|(?:5 Card )?Omaha|Courchevel).*?"
    r"(?:Level (?P<level>\w+) )?\((?P<sb>[\d,]+)/"
    r"(?P<bb>[\d,]+)\)"
)
SEAT = re.compile(r"^Seat (\d+): (.+?) \(([\d,]+) in chips(?:, .(\S+) bounty)?\)", re.M)
ANTE = re.compile(r"^.+?: posts the ante ([\d,]+)", re.M)
TOTAL = re.compile(r"^Total pot ([\d,]+)", re.M)
PLACE = re.compile(r"^(.+) finished the tournament in (\d+)\w\w place", re.M)
BOUNTY = re.compile(r"^(.+) wins (?:the )?\$([\d.]+) (?:bounty )?for "
                    r"(?:splitting the elimination of |eliminating )(.+?)(?: and |$)", re.M)
HAND_START = re.compile(r"(?:\r\n|\r|\n)+(?=PokerStars )")


def f32(x) -> float:
    return struct.unpack("<f", struct.pack("<f", float(x)))[0]


def number(text: str) -> float:
    return f32(text.replace(",", ""))


def all_actions(h: dict) -> list:
    out = list(h["header"]["actions"])
    for s in [h["preflop"], *h["flops"], *h["turns"], *h["rivers"], *h["showdowns"]]:
        out += s["actions"]
    return out + h["summary"]["actions"]


def parsed_hands(path: Path) -> list:
    """(hand text, hand JSON) of every hand that a tournament file returns in skip mode (the
    hands of games other than Hold'em and Omaha are pinned in the corpus tests)."""
    text = path.read_bytes().decode("utf-8").lstrip("\ufeff")
    hands = json.loads(handscribe.parse_str(text, errors="skip").to_json())
    by_id = {}
    for part in HAND_START.split(text):
        m = HAND_LINE.match(part)
        if m:
            by_id[m["id"]] = part
    return [(by_id[h["header"]["id"]], h) for h in hands]


TOURNAMENT_FILES = corpus_files("pokerstars_tournaments") + [
    STARS / f"thlorenz_{n}" for n in ("timezone-costarica.sng.txt", "freeroll.tny.txt",
                                      "posts-allin.txt")]


@pytest.mark.parametrize("path", TOURNAMENT_FILES, ids=lambda p: p.name)
def test_values_read_from_the_text(path):
    hands = parsed_hands(path)
    if path.is_relative_to(CORPUS) and not hands:
        pytest.skip("no Hold'em or Omaha hand")
    for text, h in hands:
        hd, line = h["header"], HAND_LINE.match(text)
        t = hd["tournament"]
        assert (hd["is_tournament"], hd["currency"], "name" in t) == (True, "", False)
        assert t["id"] == line["number"] and t["level"] == (line["level"] or "")
        parts = [number(p) for p in re.findall(r"[\d.,]+", line["buy_in"].replace("SC", ""))]
        if len(parts) == 3:  # buy-in, bounty, fee
            parts = [parts[0], parts[2], parts[1]]
        assert [f32(v) for v in (t["buy_in"], t["fee"], t["bounty_fee"])][:len(parts)] == parts
        assert (f32(hd["small_blind"]), f32(hd["big_blind"])) == (number(line["sb"]),
                                                                   number(line["bb"]))
        seats = SEAT.findall(text.split("*** HOLE CARDS ***")[0])
        players = hd["players"][:len(seats)]
        assert [(p["seat"], p["name"], f32(p["chips"])) for p in players] == [
            (int(s), n, number(c)) for s, n, c, _ in seats]
        bounties = [number(b) if b else 0.0 for *_, b in seats]
        assert [f32(b) for b in t["bounties"]] == (bounties if any(bounties) else [])
        antes = [number(a) for a in ANTE.findall(text)]
        assert f32(hd["ante"]) == max(antes, default=0.0)
        actions = all_actions(h)
        # the amounts collected in the rounds add up to the total pot (no rake in tournaments)
        collected = sum(a["amount"] for a in actions[:len(actions) - len(h["summary"]["actions"])]
                        if a["type"] == "collect_pot")
        assert collected == pytest.approx(number(TOTAL.search(text)[1]))
        assert h["summary"]["total_pot"] == number(TOTAL.search(text)[1])
        names = [p["name"] for p in hd["players"]]
        finishes = [(names[a["player_id"]], a["place"]) for a in actions if a["type"] == "finish"]
        assert finishes == [(n, int(p)) for n, p in PLACE.findall(text)]
        won = [(names[a["player_id"]], f32(a["amount"]), names[a["defeated_id"]])
               for a in actions if a["type"] == "bounty"]
        assert won == [(w, number(a), d) for w, a, d in BOUNTY.findall(text)]
