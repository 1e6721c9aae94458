"""OnGame histories through the public functions: every corpus file pinned to the hand ids it
returns (each hand that is not returned named with its reason, each file that faults with its
message), the logged-in player's lines read against the text of every file that has them, golden
repr() texts of four real hands, and grouped amounts."""
import json
import re
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, needs_corpus

GOLDEN = Path(__file__).resolve().parent / "golden"
ONGAME = CORPUS / "ongame"
HHS = "HHSmithy_PokerHandHistoryParser"
FPDB = "jejellyroll-fr_fpdb-3"

HAND_LINE = re.compile(r"^(?:\ufeff)?\*\*\*\*\* History for hand [RT]5-(\S+)", re.M)


def hand_blocks(text):
    """(id, lines) of every hand of a file, cut at its hand lines."""
    starts = list(HAND_LINE.finditer(text))
    ends = [m.start() for m in starts[1:]] + [len(text)]
    return [(m.group(1), text[m.start():end].splitlines()) for m, end in zip(starts, ends)]


# Why a hand of a real file is not returned; each reason comes with a test of the hand's lines.
def _cut_short(lines):
    # The text ends inside the summary, before the '*' line that closes the hand.
    summary = lines.index("Summary:")
    return not any(line.startswith("*") for line in lines[summary:])


CUT_SHORT = ("text ends before the summary's closing line", _cut_short)


class Faults:
    """A file whose parse ends with an internal fault: no hand of it is returned."""

    def __init__(self, message):
        self.message = message


# file -> (hand ids returned, reason for every other hand of the file), or Faults(message)
EXPECTED = {
    f"{HHS}/OnGame__CashGame__GameTypeTests__FixedLimitHoldem.txt": (["361709806-1"], None),
    f"{HHS}/OnGame__CashGame__GameTypeTests__NoLimitHoldem.txt": (["362012167-85"], None),
    f"{HHS}/OnGame__CashGame__GameTypeTests__PotLimitOmaha.txt": (["361878619-322"], None),
    f"{HHS}/OnGame__CashGame__GameTypeTests__PotLimitOmahaHiLo.txt": (["361875219-2"], None),
    f"{HHS}/OnGame__CashGame__GeneralHands__GeneralHand.txt": (["361850810-464"], None),
    f"{HHS}/OnGame__CashGame__GeneralHands__HeroName.txt": (["98754621-43"], None),
    f"{HHS}/OnGame__CashGame__HandActionTests__3BetHand.txt": (["361850810-504"], None),
    f"{HHS}/OnGame__CashGame__HandActionTests__AllInHandWithShowdown.txt":
        (["361850810-476"], None),
    f"{HHS}/OnGame__CashGame__HandActionTests__BasicHand.txt": (["361850810-474"], None),
    f"{HHS}/OnGame__CashGame__HandActionTests__FoldedPreflop.txt": (["361850810-475"], None),
    f"{HHS}/OnGame__CashGame__HandActionTests__NameWithDashes.txt": (["361850810-471"], None),
    f"{HHS}/OnGame__CashGame__HandActionTests__OmahaHiLo.txt": (["361875219-6"], None),
    f"{HHS}/OnGame__CashGame__Limits__EuroTable.txt": (["118630507-219"], None),
    f"{HHS}/OnGame__CashGame__Limits__Limit1.txt": (["361851798-349"], None),
    f"{HHS}/OnGame__CashGame__Limits__Limit2.txt": (["361993106-31"], None),
    f"{HHS}/OnGame__CashGame__Limits__Limit3.txt": (["361886770-3"], None),
    f"{HHS}/OnGame__CashGame__Limits__Limit4.txt": (["361926621-2"], None),
    f"{HHS}/OnGame__CashGame__Limits__Limit5.txt": (["362055755-3"], None),
    f"{HHS}/OnGame__CashGame__MultipleHandsTests__10MultipleHands.txt":
        ([f"362037295-{n}" for n in range(54, 64)], None),
    f"{HHS}/OnGame__CashGame__PlayerTests__NoHoleCards.txt": (["361920831-66"], None),
    f"{HHS}/OnGame__CashGame__PlayerTests__OmahaHiLoShowdown.txt": (["361875219-14"], None),
    f"{HHS}/OnGame__CashGame__PlayerTests__OmahaShowdown.txt": (["361991211-178"], None),
    f"{HHS}/OnGame__CashGame__PlayerTests__WithShowdown.txt": (["361920831-111"], None),
    f"{HHS}/OnGame__CashGame__Seats__6_Max.txt": (["362019465-110"], None),
    f"{HHS}/OnGame__CashGame__Seats__Full_Ring__9_Handed_.txt": (["244303234-150"], None),
    f"{HHS}/OnGame__CashGame__Seats__HeadsUp.txt": (["362053496-2"], None),
    f"{HHS}/OnGame__CashGame__StreetTests__Flop.txt": (["361717011-52"], None),
    f"{HHS}/OnGame__CashGame__StreetTests__Preflop.txt": (["361717011-37"], None),
    f"{HHS}/OnGame__CashGame__StreetTests__River.txt": (["361717011-54"], None),
    f"{HHS}/OnGame__CashGame__StreetTests__Turn.txt": (["361717011-53"], None),
    f"{HHS}/OnGame__CashGame__Tables__Table1.txt": (["362037295-54"], None),
    f"{HHS}/OnGame__CashGame__Tables__Table3.txt": (["361882901-144"], None),
    f"{HHS}/OnGame__CashGame__Tables__Table4.txt": (["361726027-6"], None),
    f"{HHS}/OnGame__CashGame__ValidHandTests__InValidHand.txt": ([], CUT_SHORT),
    f"{HHS}/OnGame__CashGame__ValidHandTests__ValidHand.txt": (["361956504-51"], None),
    # Histories saved by a logged-in player ("User:" line, own cards on "Dealing to" lines).
    f"{FPDB}/LO-9max-0.05-0.10-201009.Sample.txt":
        ([f"81867677-{n}" for n in range(656, 665)], None),
    f"{FPDB}/NLHE-5max-USD-0.05-0.10-201302.Strobe.txt":
        ([f"69701-{n}" for n in range(1672, 1677)], None),
    f"{FPDB}/NLHE-6max-play-0.25-0.50-201204.txt": (["232794641-2"], None),
    # A dead blind posted on coming back ("Hero posts dead blind ($0.05)").
    f"{FPDB}/NLHE-9max-USD-0.05-0.10-201009.Dead.Small.Blind.txt": (["79836934-72"], None),
    f"{FPDB}/PLO8-USD-0.50-0.50-201111.txt": (["174523451-25", "174523451-26"], None),
    # Five-card draw (its draw among the first round's lines, or after a "---"; the logged-in
    # player's "New hand" line) and stud (a bring-in for a whole bet).
    f"{FPDB}/5-Carddraw-PL-USD-1.00-1.00-201111.No.Street.Delimiter.txt": (["192626403-203"], None),
    f"{FPDB}/5-Carddraw-USD-1-2-201109.Goalwin.Sample.txt":
        ([f"174428515-{n}" for n in range(248, 258)], None),
    f"{FPDB}/7-Stud-USD-1.00-2.00-201212.big.bring.txt": (["292493407-77"], None),
    # Stakes without a sign: a cash table whose only sign is on the rake line, and tournaments
    # (chips; a bare "---" before the boards of a hand whose players are all in).
    f"{FPDB}/LHE-9max-USD-0.50-1.00-201008.All-in.with.showdown.txt": (["75443872-61"], None),
    f"{FPDB}/tour__NLHE-9max-200906.missing.tourno.txt": (["569087-5"], None),
    f"{FPDB}/tour__R-186-1481_1.txt": ([f"330030241-{n}" for n in range(1, 13)], None),
    f"{FPDB}/tour__R-274-110.txt": (
        [f"18949598-{n}" for n in range(1, 11)] + [f"18949649-{n}" for n in range(10, 15)]
        + [f"18949590-{n}" for n in range(16, 19)] + [f"18949637-{n}" for n in range(26, 64)]
        + [f"18949596-{n}" for n in range(63, 72)], None),
    f"{FPDB}/tour__R-274-73.txt": (
        [f"17781999-{n}" for n in range(1, 23)] + [f"17782010-{n}" for n in range(29, 42)], None),
}


def returned_ids(view):
    return [hand["header"]["id"] for hand in json.loads(handscribe.to_json(view))]


@needs_corpus
def test_every_corpus_file_is_pinned():
    present = sorted(str(p.relative_to(ONGAME)) for p in ONGAME.rglob("*.txt"))
    assert present == sorted(EXPECTED)


@needs_corpus
@pytest.mark.parametrize("name", sorted(EXPECTED), ids=lambda n: n.split("/")[-1])
def test_corpus_file(name):
    path = ONGAME / name
    if isinstance(EXPECTED[name], Faults):
        with pytest.raises(handscribe.PanicException) as fault:
            handscribe.parse_path(str(path))
        assert str(fault.value) == EXPECTED[name].message
        return
    returned, reason = EXPECTED[name]
    view = handscribe.parse_path(str(path))
    assert len(view) == len(returned)
    assert returned_ids(view) == returned

    blocks = hand_blocks(path.read_text(encoding="utf-8"))
    # a tournament's name is the quoted one of its hand line; a cash hand has no tournament
    names = {i: re.search(r'\(TOURNAMENT: "([^"]*)"', lines[0]) for i, lines in blocks}
    assert [h["header"].get("tournament", {}).get("name") for h in
            json.loads(view.to_json())] == [names[i] and names[i][1] for i in returned]
    dropped = [(hand_id, lines) for hand_id, lines in blocks if hand_id not in returned]
    assert len(blocks) == len(returned) + len(dropped)
    if reason is None:
        assert dropped == []
    else:
        text, holds = reason
        assert dropped, "a reason is given but every hand is returned"
        for hand_id, lines in dropped:
            assert holds(lines), f"hand {hand_id}: not '{text}'"


# Files of flop games saved by a logged-in player that return hands (stud deals to every
# player, a draw game's first round may end at its draw: see test_games.py).
def _logged_in_flop_game(text):
    return "\nUser: " in text and not re.search(r"_(?:STUD|DRAW) ", text)


LOGGED_IN = [name for name, expected in EXPECTED.items()
             if not isinstance(expected, Faults) and expected[0]
             and (not ONGAME.is_dir()
                  or _logged_in_flop_game((ONGAME / name).read_text(encoding="utf-8")))]

COUNT_LINE = re.compile(r"Players in round: (\d+)(?: \((\d+)\))?")
DEALT_LINE = re.compile(r"Dealing to (.+): \[(.*)\]")
SHOW_LINE = re.compile(r"Seat \d+: (.+) \(.*\), net: .*, \[(.*)\](?: \(.*\))?")


@needs_corpus
@pytest.mark.parametrize("name", LOGGED_IN, ids=lambda n: n.split("/")[-1])
def test_logged_in_player_lines_read_against_the_text(name):
    text = (ONGAME / name).read_text(encoding="utf-8")
    assert "\nUser: " in text
    blocks = dict(hand_blocks(text))
    hands = json.loads(handscribe.to_json(handscribe.parse_path(str(ONGAME / name))))
    for hand in hands:
        lines = blocks[hand["header"]["id"]]
        header = hand["header"]
        names = [player["name"] for player in header["players"]]

        # The table size in parentheses when the count line has one, else the plain number.
        count = COUNT_LINE.fullmatch(next(x for x in lines if x.startswith("Players in round")))
        assert header["max_players"] == int(count.group(2) or count.group(1))

        # The own cards: a dealt action where the line stands, for the player the "User:" line
        # names; that player is the hand's hero.
        start = lines.index("Dealing pocket cards") + 1
        end = next(i for i in range(start, len(lines)) if lines[i].startswith("---"))
        preflop = lines[start:end]
        dealt = [(i, DEALT_LINE.fullmatch(x).groups()) for i, x in enumerate(preflop)
                 if x.startswith("Dealing to ")]
        assert len(dealt) == 1
        at, (player, cards) = dealt[0]
        assert player == next(x for x in lines if x.startswith("User: "))[len("User: "):]
        actions = hand["preflop"]["actions"]
        assert len(actions) == len(preflop)
        assert actions[at] == {"player_id": names.index(player), "type": "dealt",
                               "cards": cards.split(", ")}
        assert [a["type"] for a in actions].count("dealt") == 1
        assert header["hero_id"] == names.index(player)

        # Shown cards, with or without the made hand after them.
        shows = [SHOW_LINE.fullmatch(x).groups() for x in lines if SHOW_LINE.fullmatch(x)]
        assert [(names[a["player_id"]], a["cards"]) for a in hand["summary"]["actions"]] == \
            [(n, c.split(", ")) for n, c in shows]


GOLDEN_CASES = [
    # all-in raise and call on the flop, board run out, two hands shown
    ("OnGame__CashGame__HandActionTests__AllInHandWithShowdown.txt", "ongame_allin_showdown.txt"),
    # four-digit stacks and winnings ($1000.00, $1113.00), a "[SPEED]" table
    ("OnGame__CashGame__Tables__Table4.txt", "ongame_four_digit_amounts.txt"),
    # ends on the turn: no river
    ("OnGame__CashGame__StreetTests__Turn.txt", "ongame_ends_on_turn.txt"),
    # saved by a logged-in player: "User:" line, table size "(6)", own cards, a made hand named
    # after the shown cards
    ("OnGame__CashGame__GeneralHands__HeroName.txt", "ongame_logged_in.txt"),
]


def golden(name):
    return (GOLDEN / name).read_text(encoding="utf-8").rstrip("\n")


@pytest.mark.parametrize("data,expected", GOLDEN_CASES, ids=[g for _, g in GOLDEN_CASES])
def test_golden_repr(data, expected):
    view = handscribe.parse_path(str(DATA / "ongame" / data))
    assert repr(view) == golden(expected)


def test_thousands_separators():
    # The all-in hand with its big amounts written with separators, as the site does above 999.
    text = (DATA / "ongame" / GOLDEN_CASES[0][0]).read_text(encoding="utf-8")
    for old, new in [
        ("fyabcf ($236.15)", "fyabcf ($1,236.15)"),
        ("raises $192.15 to $210.15", "raises $1,192.15 to $1,210.15"),
        ("Main pot: $229.82 won by fyabcf ($226.82)",
         "Main pot: $12,229.50 won by fyabcf ($12,000.25)"),
    ]:
        assert old in text
        text = text.replace(old, new)
    expected = golden(GOLDEN_CASES[0][1])
    for old, new in [
        ("chips: 236.15", "chips: 1236.15"),
        ("amount: 192.15", "amount: 1192.15"),
        ("total: 229.82, rake: 3.0, main: 229.82", "total: 12229.5, rake: 229.25, main: 12229.5"),
        ("amount: 226.82", "amount: 12000.25"),
    ]:
        assert old in expected
        expected = expected.replace(old, new)
    assert repr(handscribe.parse_str(text)) == expected

