"""Absolute (UltimateBet) and KingsClub: every hand of every file returned, or rejected with its
reason, each with its site and every action's player named; one golden hand per site. The money of
each hand adds up in test_facts.py (the hands that contradict themselves are listed there)."""
import json
import re
from pathlib import Path

import pyarrow as pa
import pytest

import handscribe
from conftest import CORPUS

EXPECTED = json.loads((Path(__file__).parent / "expected" / "absolute_kingsclub.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
SITES = {"absolute": "Absolute", "kingsclub": "KingsClub"}
FILES = sorted(p for folder in SITES if (CORPUS / folder).is_dir()
               for p in (CORPUS / folder).rglob("*") if p.is_file())
# A hand's first line and its id: "Stage #C282012441: ..." and "#3264632: ...".
HAND = re.compile(r"^(?:Stage #(\w+)|#(\d+): )", re.M)


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == (sorted(EXPECTED) if CORPUS.is_dir() else [])


@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    view = handscribe.parse_path(path, errors="skip", encoding="auto")
    hands = json.loads(view.to_json())
    assert [h["header"]["id"] for h in hands] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    text = path.read_text(encoding="utf-8")
    assert sorted(m[1] or m[2] for m in HAND.finditer(text)) == sorted(
        want["returned"] + list(want.get("missing", {})))
    assert {h["header"]["site"] for h in hands} <= {SITES[rel(path).split("/")[0]]}
    actions = pa.table(view.to_arrow().actions)
    assert actions.num_rows > 0 or not hands
    assert actions.column("player").null_count == 0


# Every Hold'em and Omaha hand is returned; a game without a game type is rejected as a game not
# read, whatever its limit.
@pytest.mark.parametrize("text,reason", [
    ("#1: Limit Archie - 60/120\n", "game not read: Limit Archie"),
    ("#1: Limit 5 Card Draw - 22/44\n", "game not read: Limit 5 Card Draw"),
    ("Stage #1: Badugi  Normal $1/$2 - 2009-01-01 00:00:00 (ET)\n",
     "game not read: Badugi  Normal $1/$2"),
])
def test_games_not_read(text, reason):
    view = handscribe.parse_str(text, errors="skip")
    assert (len(view), [r.reason for r in view.rejected]) == (0, [reason])


GOLDEN_CASES = {
    "absolute_tournament_side_pot": (
        "absolute/jejellyroll-fr_fpdb-3/tour__IHH20110116_$1K_Special_Sunday_FR_3_Tourney_ID_"
        "5945889_No_Limit_Hold'em_Freeroll(Real_Money).txt", "525744427"),
    "kingsclub_run_twice_side_pot": (
        "kingsclub/jejellyroll-fr_fpdb-3/cash__PLO-USD-125-250-202102.RIT.txt", "3583643"),
}


@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_golden_hand(name):
    path, hand_id = GOLDEN_CASES[name]
    if not (CORPUS / path).is_file():
        pytest.skip("hand-history corpus not present")
    view = handscribe.parse_path(CORPUS / path, errors="skip", encoding="auto")
    hands = [view[i] for i in range(len(view))
             if json.loads(view[i].to_json())[0]["header"]["id"] == hand_id]
    assert len(hands) == 1
    assert repr(hands[0]) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")


KINGS_NAMES = """#1: No Limit Holdem - 1/2
2021-01-01 00:00:00
Table 'T' Seat 1 is the button
Seat 1: Mr bets (200)
Seat 2: Ann folds (200)
Mr bets: posts the small blind 1
Ann folds: posts the big blind 2
Dealt to Mr bets: [Ah Kh]
Mr bets raises to 6
Ann folds folds
*** SUMMARY ***
Seat 1: Mr bets (202) +2
Seat 2: Ann folds (198) -2
Mr bets wins pot (4)
"""


def test_kingsclub_names_holding_a_verb():
    # the verb is the first phrase after a seated player's whole name, whatever the name holds
    view = handscribe.parse_str(KINGS_NAMES)
    assert [(a.player.name, a.kind, a.amount) for a in view[0].actions if a.amount] == [
        ("Mr bets", "SmallBlind", 1), ("Ann folds", "BigBlind", 2), ("Mr bets", "Raise", 5),
        ("Mr bets", "UncalledBetReturned", 4)]
    assert [(a.player.name, a.kind) for a in view[0].actions][4] == ("Ann folds", "Fold")
    assert [(p.name, p.net) for p in view[0].players] == [("Mr bets", 2), ("Ann folds", -2)]
