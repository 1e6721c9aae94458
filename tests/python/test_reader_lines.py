"""Lines of real histories that a reader once got wrong, one hand per fault (tests/data/written:
hands written after the lines the sites write): each hand is read whole in strict mode, passes the
Open Hand History checker, and gives the values the faulty reading lost."""
import json
from decimal import Decimal

import pytest

import handscribe
from conftest import DATA
from ohh_check import check_hand, split_ohh

WRITTEN = DATA / "written"


def text(name: str) -> str:
    return (WRITTEN / f"{name}.txt").read_text(encoding="utf-8")


def inserted(hand: str, after: str, *lines: str) -> str:
    """The hand with `lines` inserted after its line `after`."""
    assert after + "\n" in hand
    return hand.replace(after + "\n", after + "\n" + "".join(line + "\n" for line in lines), 1)


def players(h):
    return [(p["name"], p["seat"], p["chips"]) for p in h["header"]["players"]]


def of_type(actions, kind):
    return [{k: v for k, v in a.items() if k not in ("player_id", "type", "cards")}
            for a in actions if a["type"] == kind]


# name: (hand text, what to read of the native JSON hand, what it must be)
CASES = {
    # A player dealt in at seat 1 (the button) leaves and joins again at seat 5: the seat stays,
    # so the button names that player; the join is an event with the new seat.
    "join_again_keeps_the_seat": (
        text("pokerstars_join_again"),
        lambda h: (players(h)[0], h["header"]["dealer_id"],
                   of_type(h["preflop"]["actions"], "join")),
        (("Anna", 1, 10), 0, [{"seat": 5}])),
    "betting_is_capped": (
        text("pokerstars_betting_capped"), lambda h: [a["type"] for a in h["preflop"]["actions"]],
        ["raise", "raise", "raise", "call", "call"]),
    # A name that holds ": " (its first colon is no verb's) and one that holds "ed to ": every
    # line names its player whole, the uncalled bet's too.
    "names_holding_phrases": (
        text("pokerstars_betting_capped").replace("Cleo", "wicked to Cleo")
        .replace("Bert", "Bert: on"),
        lambda h: [(a["type"], a["player_id"], a.get("amount"))
                   for r in (h["preflop"], h["flops"][0]) for a in r["actions"]],
        [("raise", 0, 2), ("raise", 1, 2), ("raise", 2, 2), ("call", 0, 4), ("call", 1, 2),
         ("check", 1, None), ("bet", 2, 2), ("fold", 0, None), ("fold", 1, None),
         ("uncalled_bet", 2, 2), ("collect_pot", 2, 23), ("muck", 2, None)]),
    # A name that holds " folded " and shares its first letters with another's: the summary's
    # fold, read by the phrase at the line's end, names the whole of it.
    "name_holding_the_fold_phrase": (
        text("pokerstars_betting_capped").replace("Bert", "Anna folded"),
        lambda h: [(a["type"], a["player_id"]) for a in h["summary"]["actions"]],
        [("fold", 0), ("fold", 1), ("collect_pot", 2)]),
    "returned_after_the_flop": (
        inserted(text("pokerstars_tournament"), "*** FLOP *** [2c 7d 9h]", "Bert has returned"),
        lambda h: of_type(h["flops"][0]["actions"], "join"), [{"seat": 253}]),
    "finished_without_a_place": (
        inserted(text("pokerstars_tournament"), "Anna collected 325 from pot",
                 "Cleo finished the tournament"),
        lambda h: of_type(h["flops"][0]["actions"], "finish"), [{"place": 0, "prize": 0}]),
    # A ticket is no money: the "$1" in its name is no prize.
    "prizes_that_are_not_money": (
        inserted(text("pokerstars_tournament"), "Anna collected 325 from pot",
                 "Cleo finished the tournament in 2nd place and received a 'Fast Track $1' "
                 "ticket.", "Anna wins a 'Fast Track $1' ticket"),
        lambda h: of_type(h["flops"][0]["actions"], "finish"), [{"place": 2, "prize": 0}]),
    "thousands_in_stacks_and_bets": (
        text("pokerstars_thousands"),
        lambda h: (players(h), of_type(h["flops"][0]["actions"], "bet")),
        ([("Anna", 1, 2418.66), ("Bert", 2, 1000), ("Cleo", 3, 3050.1)],
         [{"amount": 1200, "all_in": False}])),
    # The raise written among the posts opens the preflop's run.
    "winamax_raise_before_the_deal": (
        text("winamax_raise_before_the_deal"),
        lambda h: ([a["type"] for a in h["header"]["actions"]], h["preflop"]["actions"][0]),
        (["blind", "blind"],
         {"player_id": 3, "type": "raise", "cards": [], "amount": 1, "all_in": False})),
    # "17.68k" is rounded to 10 chips; the 17682 collected is the pot.
    "winamax_total_in_thousands": (
        text("winamax_total_in_thousands"), lambda h: h["summary"]["total_pot"], 17682),
    "ongame_tournament": (
        text("ongame_tournament"),
        lambda h: (h["header"]["tournament"]["id"], h["header"]["tournament"]["buy_in_kind"],
                   h["header"]["tournament"]["currency"], h["header"]["ante"],
                   h["summary"]["total_pot"], h["summary"]["rake"],
                   [w["amount"] for w in h["summary"]["winners"]]),
        ("R-300-41", "Freeroll", "\u20ac", 5, 4015, 0, [2995, 1020])),
    # A skin that writes its currency on the rake line only.
    "ongame_sign_on_the_rake_line": (
        text("ongame_sign_on_the_rake_line"),
        lambda h: (h["header"]["currency"], h["header"]["big_blind"], players(h)[1],
                   h["summary"]["total_pot"], h["summary"]["winners"][0]["amount"]),
        ("\u00a3", 0.1, ("Bert", 2, 1204.5), 1.9, 1.75)),
}


@pytest.mark.parametrize("name", sorted(CASES))
def test_line_read(name):
    text, read, want = CASES[name]
    view = handscribe.parse_str(text)
    assert len(view) == 1
    assert read(json.loads(view.to_json())[0]) == want
    [ohh] = split_ohh(view.to_ohh())
    doc = json.loads(ohh, parse_float=Decimal)
    check_hand(doc)
    # Posts within the stacks are no all-ins.
    actions = [a for r in doc["ohh"]["rounds"] for a in r["actions"]]
    assert not any(a.get("is_allin") for a in actions if a["action"].startswith("Post"))
