"""OnGame histories through the public functions: every corpus file pinned to the hand ids it
returns (each hand that is not returned named with its reason), golden repr() texts of three
real hands, and grouped amounts."""
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
def _user_line(lines):
    # The history names the viewing player on a line of its own where the button line belongs:
    # the dealer line's last word ("Hero", "Lakesdie", ...) is not a seat number.
    return lines[3].startswith("User: ") and not lines[3].rsplit(" ", 1)[1][0].isdigit()


def _no_sign(lines):
    # Stakes printed without a currency sign ("10/20, TC", "0.50/1"): tournaments and an old
    # limit file. The table line is not read.
    after = lines[2].rsplit("/", 1)[1]
    return after[:1] not in ("$", "\u00a3", "\u00a5") and after[:1] not in ("\u20ac", "\u20b9")


def _cut_short(lines):
    # The text ends inside the summary, before the '*' line that closes the hand.
    summary = lines.index("Summary:")
    return not any(line.startswith("*") for line in lines[summary:])


USER_LINE = ("'User:' line in place of the button line", _user_line)
NO_SIGN = ("stakes without a currency sign", _no_sign)
CUT_SHORT = ("text ends before the summary's closing line", _cut_short)

# file -> (hand ids returned, reason for every other hand of the file)
EXPECTED = {
    f"{HHS}/OnGame__CashGame__GameTypeTests__FixedLimitHoldem.txt": (["361709806-1"], None),
    f"{HHS}/OnGame__CashGame__GameTypeTests__NoLimitHoldem.txt": (["362012167-85"], None),
    f"{HHS}/OnGame__CashGame__GameTypeTests__PotLimitOmaha.txt": (["361878619-322"], None),
    f"{HHS}/OnGame__CashGame__GameTypeTests__PotLimitOmahaHiLo.txt": (["361875219-2"], None),
    f"{HHS}/OnGame__CashGame__GeneralHands__GeneralHand.txt": (["361850810-464"], None),
    f"{HHS}/OnGame__CashGame__GeneralHands__HeroName.txt": ([], USER_LINE),
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
    # Other games (draw, stud, Omaha), play money and the remaining Hold'em cash files: all name
    # the viewing player on a "User:" line.
    f"{FPDB}/5-Carddraw-PL-USD-1.00-1.00-201111.No.Street.Delimiter.txt": ([], USER_LINE),
    f"{FPDB}/5-Carddraw-USD-1-2-201109.Goalwin.Sample.txt": ([], USER_LINE),
    f"{FPDB}/7-Stud-USD-1.00-2.00-201212.big.bring.txt": ([], USER_LINE),
    f"{FPDB}/LO-9max-0.05-0.10-201009.Sample.txt": ([], USER_LINE),
    f"{FPDB}/NLHE-5max-USD-0.05-0.10-201302.Strobe.txt": ([], USER_LINE),
    f"{FPDB}/NLHE-6max-play-0.25-0.50-201204.txt": ([], USER_LINE),
    f"{FPDB}/NLHE-9max-USD-0.05-0.10-201009.Dead.Small.Blind.txt": ([], USER_LINE),
    f"{FPDB}/PLO8-USD-0.50-0.50-201111.txt": ([], USER_LINE),
    # Stakes without a sign: the table line is given up before the "User:" line is reached.
    f"{FPDB}/LHE-9max-USD-0.50-1.00-201008.All-in.with.showdown.txt": ([], NO_SIGN),
    f"{FPDB}/tour__NLHE-9max-200906.missing.tourno.txt": ([], NO_SIGN),
    f"{FPDB}/tour__R-186-1481_1.txt": ([], NO_SIGN),
    f"{FPDB}/tour__R-274-110.txt": ([], NO_SIGN),
    f"{FPDB}/tour__R-274-73.txt": ([], NO_SIGN),
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
    returned, reason = EXPECTED[name]
    view = handscribe.parse_path(str(path))
    assert len(view) == len(returned)
    assert returned_ids(view) == returned

    blocks = hand_blocks(path.read_text(encoding="utf-8"))
    dropped = [(hand_id, lines) for hand_id, lines in blocks if hand_id not in returned]
    assert len(blocks) == len(returned) + len(dropped)
    if reason is None:
        assert dropped == []
    else:
        text, holds = reason
        assert dropped, "a reason is given but every hand is returned"
        for hand_id, lines in dropped:
            assert holds(lines), f"hand {hand_id}: not '{text}'"


GOLDEN_CASES = [
    # all-in raise and call on the flop, board run out, two hands shown
    ("OnGame__CashGame__HandActionTests__AllInHandWithShowdown.txt", "ongame_allin_showdown.txt"),
    # four-digit stacks and winnings ($1000.00, $1113.00), a "[SPEED]" table
    ("OnGame__CashGame__Tables__Table4.txt", "ongame_four_digit_amounts.txt"),
    # ends on the turn: no river
    ("OnGame__CashGame__StreetTests__Turn.txt", "ongame_ends_on_turn.txt"),
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

