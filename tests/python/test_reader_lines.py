"""Lines of real histories that a reader once got wrong, one hand per fault (written for the
tests after the lines the sites write): each hand is read whole in strict mode, passes the Open
Hand History checker, and gives the values the faulty reading lost."""
import json
from decimal import Decimal

import pytest

import handscribe
from ohh_check import check_hand, split_ohh

STARS_GROUPED = """\
PokerStars Hand #250000000001:  Hold'em No Limit ($10/$20) - 2024/01/05 12:00:00 ET
Table 'Alcyone III' 6-max Seat #1 is the button
Seat 1: Anna ($2,418.66 in chips)
Seat 2: Bert ($1,000 in chips)
Seat 3: Cleo ($3,050.10 in chips)
Bert: posts small blind $10
Cleo: posts big blind $20
*** HOLE CARDS ***
Anna: raises $40 to $60
Bert: folds
Cleo: calls $40
*** FLOP *** [2c 7d 9h]
Cleo: checks
Anna: bets $1,200
Cleo: folds
Uncalled bet ($1,200) returned to Anna
Anna collected $127 from pot
*** SUMMARY ***
Total pot $130 | Rake $3
Board [2c 7d 9h]
Seat 1: Anna (button) collected ($127)
Seat 2: Bert (small blind) folded before Flop
Seat 3: Cleo (big blind) folded on the Flop
"""

STARS_REJOIN = """\
PokerStars Hand #250000000002:  Hold'em No Limit ($0.05/$0.10 USD) - 2024/01/05 12:10:00 ET
Table 'Alcyone IV' 6-max Seat #1 is the button
Seat 1: Anna ($10 in chips) is sitting out
Seat 2: Bert ($10.25 in chips)
Seat 3: Cleo ($9.80 in chips)
Bert: posts small blind $0.05
Cleo: posts big blind $0.10
Anna leaves the table
*** HOLE CARDS ***
Bert: raises $0.20 to $0.30
Anna joins the table at seat #5
Cleo: folds
Uncalled bet ($0.20) returned to Bert
Bert collected $0.20 from pot
Bert: doesn't show hand
*** SUMMARY ***
Total pot $0.20 | Rake $0
Seat 2: Bert (small blind) collected ($0.20)
Seat 3: Cleo (big blind) folded before Flop
"""

STARS_LIMIT = """\
PokerStars Hand #250000000003:  Hold'em Limit ($2/$4 USD) - 2024/01/05 12:20:00 ET
Table 'Alcyone V' 6-max Seat #1 is the button
Seat 1: Anna ($80 in chips)
Seat 2: Bert ($95.50 in chips)
Seat 3: Cleo ($120 in chips)
Bert: posts small blind $1
Cleo: posts big blind $2
*** HOLE CARDS ***
Anna: raises $2 to $4
Bert: raises $2 to $6
Cleo: raises $2 to $8
Betting is capped
Anna: calls $4
Bert: calls $2
*** FLOP *** [Kc 7h 2d]
Bert: checks
Cleo: bets $2
Anna: folds
Bert: folds
Uncalled bet ($2) returned to Cleo
Cleo collected $23 from pot
Cleo: doesn't show hand
*** SUMMARY ***
Total pot $24 | Rake $1
Board [Kc 7h 2d]
Seat 1: Anna (button) folded on the Flop
Seat 2: Bert (small blind) folded on the Flop
Seat 3: Cleo (big blind) collected ($23)
"""

STARS_TOURNAMENT = """\
PokerStars Hand #200000000001: Tournament #3000000001, $1.00+$0.10 USD Hold'em No Limit - Level III (25/50) - 2024/01/05 12:00:00 ET
Table '3000000001 1' 9-max Seat #1 is the button
Seat 1: Anna (1500 in chips)
Seat 2: Bert (1500 in chips)
Seat 3: Cleo (1500 in chips)
Bert: posts small blind 25
Cleo: posts big blind 50
*** HOLE CARDS ***
Dealt to Anna [Ah Kh]
Anna: raises 100 to 150
Bert: folds
Cleo: calls 100
*** FLOP *** [2c 7d 9h]
Cleo: checks
Anna: bets 200
Cleo: folds
Uncalled bet (200) returned to Anna
Anna collected 325 from pot
*** SUMMARY ***
Total pot 325 | Rake 0
Board [2c 7d 9h]
Seat 1: Anna (button) collected (325)
Seat 2: Bert (small blind) folded before Flop
Seat 3: Cleo (big blind) folded on the Flop
"""

WINAMAX_RAISE = """\
Winamax Poker - CashGame - HandId: #3200001-5-1710005000 - Holdem no limit (1€/2€) - 2024/03/11 21:00:00 UTC
Table: 'Nice 02' 5-max (real money) Seat #1 is the button
Seat 1: Hero (200€)
Seat 2: Anna (150€)
Seat 3: Bert (210€)
Seat 4: Cleo (95€)
*** ANTE/BLINDS ***
Anna posts small blind 1€
Bert posts big blind 2€
Cleo raises 1€ to 3€
Dealt to Hero [7c 2d]
*** PRE-FLOP ***
Hero folds
Anna folds
Bert calls 1€
Cleo checks
*** FLOP *** [Ah 9c 4d]
Bert checks
Cleo bets 4€
Bert folds
Cleo collected 11€ from pot
*** SUMMARY ***
Total pot 11€ | No rake
Board: [Ah 9c 4d]
Seat 4: Cleo won 11€
"""

WINAMAX_THOUSANDS = """\
Winamax Poker - CashGame - HandId: #3200002-9-1710005100 - Holdem no limit (50/100) - 2024/03/11 21:05:00 UTC
Table: 'Osaka' 5-max (play money) Seat #1 is the button
Seat 1: Anna (8841)
Seat 2: Hero (10k)
*** ANTE/BLINDS ***
Anna posts small blind 50
Hero posts big blind 100
Dealt to Hero [Kd Kc]
*** PRE-FLOP ***
Anna raises 8741 to 8841 and is all-in
Hero calls 8741
*** FLOP *** [2c 5d 9s]
*** TURN *** [2c 5d 9s][Jh]
*** RIVER *** [2c 5d 9s Jh][3c]
*** SHOW DOWN ***
Anna shows [Qs Qh] (One pair : Queens)
Hero shows [Kd Kc] (One pair : Kings)
Hero collected 17682 from pot
*** SUMMARY ***
Total pot 17.68k | No rake
Board: [2c 5d 9s Jh 3c]
Seat 1: Anna (button) (small blind) showed [Qs Qh] and lost with One pair : Queens
Seat 2: Hero (big blind) showed [Kd Kc] and won 17.68k with One pair : Kings
"""

ONGAME_TOURNAMENT = """\
***** History for hand T5-45000001-7 (TOURNAMENT: "Sunday Freeroll", R-300-41, buy-in: €0) *****
Start hand: Sun Jan 09 16:28:29 GMT+0100 2011
Table: Table #12 [45000001] (NO_LIMIT TEXAS_HOLDEM 10/20, TC)
User: Hero
Button: seat 3
Players in round: 4
Seat 1: Anna (1490)
Seat 2: Bert (2020)
Seat 3: Hero (1500)
Seat 4: Cleo (990)
Anna posts ante 5
Bert posts ante 5
Hero posts ante 5
Cleo posts ante 5
Cleo posts small blind (10)
Anna posts big blind (20)
---
Dealing pocket cards
Dealing to Hero: [Ac, Kc]
Bert raises 40 to 40
Hero raises 1495 to 1495 [all in]
Cleo calls 975 [all in]
Anna folds
Bert calls 1455
--- Dealing flop [Ad, 7s, 2c]
--- Dealing turn [9h]
--- Dealing river [4d]
---
Summary:
Main pot: 2995 won by Hero (2995)
Side pot 1: 1020 won by Hero (1020)
Rake taken: €0
Seat 1: Anna (1465), net: -25
Seat 2: Bert (520), net: -1500, [Qd, Qs] (PAIR QUEEN)
Seat 3: Hero (4015), net: +2515, [Ac, Kc] (PAIR ACE)
Seat 4: Cleo (0), net: -990, [8c, 8d] (PAIR EIGHT)
***** End of hand T5-45000001-7 *****
"""

ONGAME_SIGN_ON_RAKE = """\
***** History for hand R5-81000001-12 *****
Start hand: Fri Mar 04 21:10:05 GMT+0000 2011
Table: Thames [81000001] (NO_LIMIT TEXAS_HOLDEM 0.05/0.10, Real money)
User: Hero
Button: seat 2
Players in round: 3 (6)
Seat 1: Anna (10.40)
Seat 2: Bert (1,204.50)
Seat 4: Hero (9.85)
Hero posts small blind (0.05)
Anna posts big blind (0.10)
---
Dealing pocket cards
Dealing to Hero: [Qh, Qd]
Bert raises 0.30 to 0.30
Hero raises 0.85 to 0.90
Anna folds
Bert calls 0.60
--- Dealing flop [2s, 8c, Jd]
Hero bets 1.20
Bert folds
---
Summary:
Main pot: 1.90 won by Hero (1.75)
Rake taken: £0.15
Seat 1: Anna (10.30), net: -0.10
Seat 2: Bert (1,203.60), net: -0.90
Seat 4: Hero (10.70), net: +0.85
***** End of hand R5-81000001-12 *****
"""


def inserted(text: str, after: str, *lines: str) -> str:
    """The text with `lines` inserted after its line `after`."""
    assert after + "\n" in text
    return text.replace(after + "\n", after + "\n" + "".join(line + "\n" for line in lines), 1)


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
        STARS_REJOIN,
        lambda h: (players(h)[0], h["header"]["dealer_id"],
                   of_type(h["preflop"]["actions"], "join")),
        (("Anna", 1, 10), 0, [{"seat": 5}])),
    "betting_is_capped": (
        STARS_LIMIT, lambda h: [a["type"] for a in h["preflop"]["actions"]],
        ["raise", "raise", "raise", "call", "call"]),
    "returned_after_the_flop": (
        inserted(STARS_TOURNAMENT, "*** FLOP *** [2c 7d 9h]", "Bert has returned"),
        lambda h: of_type(h["flops"][0]["actions"], "join"), [{"seat": 253}]),
    "finished_without_a_place": (
        inserted(STARS_TOURNAMENT, "Anna collected 325 from pot", "Cleo finished the tournament"),
        lambda h: of_type(h["flops"][0]["actions"], "finish"), [{"place": 0, "prize": 0}]),
    # A ticket is no money: the "$1" in its name is no prize.
    "prizes_that_are_not_money": (
        inserted(STARS_TOURNAMENT, "Anna collected 325 from pot",
                 "Cleo finished the tournament in 2nd place and received a 'Fast Track $1' "
                 "ticket.", "Anna wins a 'Fast Track $1' ticket"),
        lambda h: of_type(h["flops"][0]["actions"], "finish"), [{"place": 2, "prize": 0}]),
    "thousands_in_stacks_and_bets": (
        STARS_GROUPED,
        lambda h: (players(h), of_type(h["flops"][0]["actions"], "bet")),
        ([("Anna", 1, 2418.66), ("Bert", 2, 1000), ("Cleo", 3, 3050.1)],
         [{"amount": 1200, "all_in": False}])),
    # The raise written among the posts opens the preflop's run.
    "winamax_raise_before_the_deal": (
        WINAMAX_RAISE,
        lambda h: ([a["type"] for a in h["header"]["actions"]], h["preflop"]["actions"][0]),
        (["blind", "blind"],
         {"player_id": 3, "type": "raise", "cards": [], "amount": 1, "all_in": False})),
    # "17.68k" is rounded to 10 chips; the 17682 collected is the pot.
    "winamax_total_in_thousands": (
        WINAMAX_THOUSANDS, lambda h: h["summary"]["total_pot"], 17682),
    "ongame_tournament": (
        ONGAME_TOURNAMENT,
        lambda h: (h["header"]["tournament"]["id"], h["header"]["tournament"]["buy_in_kind"],
                   h["header"]["tournament"]["currency"], h["header"]["ante"],
                   h["summary"]["total_pot"], h["summary"]["rake"],
                   [w["amount"] for w in h["summary"]["winners"]]),
        ("R-300-41", "Freeroll", "\u20ac", 5, 4015, 0, [2995, 1020])),
    # A skin that writes its currency on the rake line only.
    "ongame_sign_on_the_rake_line": (
        ONGAME_SIGN_ON_RAKE,
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
