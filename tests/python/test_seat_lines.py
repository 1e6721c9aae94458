"""Seat lines of the PokerStars layout, read on the quick path (the usual shape, read from the
line's end) and on the general one (every other shape): each must give the name, seat and chips
that the line writes."""
import json

import pytest

import handscribe
from conftest import DATA

WRITTEN = DATA / "written"


def seated(name: str, old: str, new: str):
    hand = (WRITTEN / f"{name}.txt").read_text(encoding="utf-8")
    assert old + "\n" in hand
    [h] = json.loads(handscribe.parse_str(hand.replace(old + "\n", new + "\n", 1)).to_json())
    return [(p["name"], p["seat"], p["chips"]) for p in h["header"]["players"]]


CASH = "Seat 2: Bert ($10.25 in chips)"
CHIPS = "Seat 2: Bert (1500 in chips)"
J, T = ("pokerstars_join_again", CASH), ("pokerstars_tournament", CHIPS)


@pytest.mark.parametrize("where,line,want", [
    (J, CASH, ("Bert", 2, 10.25)),
    (J, "Seat 2: Bert ($12 in chips)", ("Bert", 2, 12)),
    (J, "Seat 12: Bert ($99999.99 in chips)", ("Bert", 12, 99999.99)),
    (J, "Seat 2: Bert (Jr) 9 ($20.5 in chips)", ("Bert (Jr) 9", 2, 20.5)),
    (J, "Seat 2: Bert ($0.07 in chips)", ("Bert", 2, 0.07)),
    (J, "Seat 2: Bert ($123456.7 in chips)", ("Bert", 2, 123456.7)),
    (J, "Seat 10: B ($5 in chips)", ("B", 10, 5)),
    # Shapes the quick path leaves: 8 bytes of amount, thousands, a '.' that ends the number,
    # two dots.
    (J, "Seat 2: Bert ($1234567.5 in chips)", ("Bert", 2, 1234567.5)),
    (J, "Seat 2: Bert ($1,000.50 in chips)", ("Bert", 2, 1000.5)),
    (J, "Seat 2: Bert ($10. in chips)", ("Bert", 2, 10)),
    (J, "Seat 2: Bert ($1.2.3 in chips)", ("Bert", 2, 1.2)),
    # A '.' away from the cents' place, or cents after 5 digits, or no digit before them.
    (J, "Seat 2: Bert ($1.2.34 in chips)", ("Bert", 2, 1.2)),
    (J, "Seat 2: Bert ($1.234 in chips)", ("Bert", 2, 1.234)),
    (J, "Seat 2: Bert ($12345.67 in chips)", ("Bert", 2, 12345.67)),
    (J, "Seat 2: Bert (.50 in chips)", ("Bert", 2, 50)),
    (T, "Seat 2: Bert (1,500 in chips)", ("Bert", 2, 1500)),
    (T, "Seat 2: Bert (2) (15000 in chips)", ("Bert (2)", 2, 15000)),
])
def test_seat_line(where, line, want):
    assert seated(*where, line)[1] == want
