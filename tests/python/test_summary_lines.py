"""Summary seat lines of the PokerStars layout: the words "won" and "lost" after shown cards, at
every place in the text, and the collection lines that hold a '[' or a 'k' after the name."""
import json

import pytest

import handscribe
from conftest import DATA

LINE = "Seat 2: Bert (small blind) collected ($0.20)"


def summary(line: str):
    hand = (DATA / "written" / "pokerstars_join_again.txt").read_text(encoding="utf-8")
    assert LINE + "\n" in hand
    [h] = json.loads(handscribe.parse_str(hand.replace(LINE + "\n", line + "\n", 1)).to_json())
    s = h["summary"]
    return s["actions"][0]["type"], [(w["game_id"], w["amount"]) for w in s["winners"]]


SHOWN = "Seat 2: Bert showed [Ah Kh] and "


@pytest.mark.parametrize("line,want", [
    (SHOWN + "won ($0.20) with a pair of Aces", ("show", [(0, 0.2)])),
    (SHOWN + "lost with a pair, and won ($0.20) with a flush", ("show", [(1, 0.2)])),
    (SHOWN + "won", ("show", [(0, 0)])),
    (SHOWN + "wonder lost  won ($0.20) with lostwon", ("show", [(1, 0.2)])),
    *[(SHOWN + "x" * k + " won ($0.20) with lost", ("show", [(0, 0.2)])) for k in range(17)],
    ("Seat 2: Bert [k] collected ($0.20)", ("collect_pot", [(0, 0.2)])),
    ("Seat 2: Kirk collected ($0.20)", ("collect_pot", [(0, 0.2)])),
    ("Seat 2: Bert mucked hand collected ($0.20)", ("muck", [])),
])
def test_summary_line(line, want):
    assert summary(line) == want
