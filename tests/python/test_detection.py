"""Which site a text comes from, as seen through parse_str: every rule in its order, the
white space and byte-order-mark handling, and the messages of unknown and unsupported sites."""
import re

import pytest

import handscribe
from handscribe import PanicException, parse_str

HAND = """PokerStars Hand #200000000001:  Hold'em No Limit ($0.50/$1 USD) - 2021/03/04 5:06:07 ET
Table 'Alpha Beta' 6-max Seat #2 is the button
Seat 2: Anna ($100 in chips)
Seat 5: Boris ($55.50 in chips)
Boris: posts small blind $0.50
Anna: posts big blind $1
*** HOLE CARDS ***
Boris: raises $2 to $3
Anna: folds
Uncalled bet ($2) returned to Boris
Boris collected $2 from pot
Boris: doesn't show hand
*** SUMMARY ***
Total pot $2 | Rake $0
Seat 2: Anna (button) (big blind) folded before Flop
Seat 5: Boris (small blind) collected ($2)

"""
PLURIBUS_HAND = HAND.replace("Table 'Alpha Beta'", "Table 'Pluribus Session 7'")


@pytest.fixture(scope="module")
def plain_repr():
    text = repr(parse_str(HAND))
    assert text.startswith("[Hand { header: Header { id: '200000000001', site: PokerStars,")
    return text


@pytest.fixture(scope="module")
def pluribus_repr():
    text = repr(parse_str(PLURIBUS_HAND))
    assert "site: PokerStarsPluribus," in text
    assert "table_name: 'Pluribus Session 7'" in text
    return text


@pytest.mark.parametrize(
    "variant",
    [
        pytest.param(lambda t: "\ufeff" + t, id="byte-order-mark"),
        pytest.param(lambda t: "\n\n\r\n" + t, id="leading-blank-lines"),
        pytest.param(lambda t: " \t\u00a0\u3000\u2028" + t, id="leading-unicode-white-space"),
        pytest.param(lambda t: "\ufeff\n  " + t, id="mark-then-white-space"),
        pytest.param(lambda t: t.replace("\n", "\r\n"), id="crlf"),
        pytest.param(lambda t: t.replace("\n", "\r"), id="cr-only"),
    ],
)
def test_variants_of_a_pokerstars_text_read_the_same_hands(variant, plain_repr):
    assert repr(parse_str(variant(HAND))) == plain_repr


@pytest.mark.parametrize(
    "variant",
    [
        pytest.param(lambda t: t, id="lf"),
        pytest.param(lambda t: t.replace("\n", "\r\n"), id="crlf"),
        pytest.param(lambda t: t.replace("\n", "\r"), id="cr-only"),
        pytest.param(lambda t: "\ufeff\n" + t, id="mark-and-blank-line"),
    ],
)
def test_second_line_naming_pluribus_picks_the_pluribus_parser(variant, pluribus_repr):
    assert repr(parse_str(variant(PLURIBUS_HAND))) == pluribus_repr


def test_other_table_names_stay_with_pokerstars(plain_repr):
    # "Pluribus" anywhere but right after "Table '" does not count.
    text = HAND.replace("Table 'Alpha Beta'", "Table 'Alpha Pluribus'")
    assert "site: PokerStars," in repr(parse_str(text))
    lower = HAND.replace("Table 'Alpha Beta'", "Table 'pluribus Beta'")
    assert "site: PokerStars," in repr(parse_str(lower))


@pytest.mark.parametrize(
    "text",
    [
        pytest.param("PokerStars Hand #1: Hold'em", id="one-line"),
        pytest.param("PokerStars Hand #1: Hold'em\n", id="one-line-with-newline"),
        pytest.param("PokerStars Hand #1: Hold'em\r\n", id="one-line-with-crlf"),
        pytest.param("PokerStars Hand #1: Hold'em\r", id="one-line-with-cr"),
        pytest.param("\n\n  PokerStars Hand #1: Hold'em", id="after-blank-lines"),
    ],
)
def test_pokerstars_without_second_line_is_a_fault(text):
    with pytest.raises(PanicException) as info:
        parse_str(text)
    assert info.value.args == ("missing second line in 'PokerStars Hand #1: Hold'em'",)


FIRST_LINE = HAND.split("\n")[0]


@pytest.mark.parametrize(
    "text",
    [
        FIRST_LINE + "\n\n",  # an empty second line is a line
        FIRST_LINE + "\r\n\r\n",
        FIRST_LINE + "\r\r",
        FIRST_LINE + "\nTable",
        FIRST_LINE + "\nTable 'Pluribu",
    ],
)
def test_pokerstars_with_a_short_second_line_goes_to_the_parser(text):
    # The parser drops the hand (it has no table line), so nothing is read but no error either.
    view = parse_str(text)
    assert isinstance(view, handscribe.HandView)
    assert (len(view), repr(view), str(view)) == (0, "[]", "[]")


def test_every_recognised_site_has_a_reader():
    assert [name for name, read in handscribe._handscribe._sites if not read] == []


# Texts of the sites read since: the hand line goes to the site's reader, which reports the hand
# it cannot read (the layouts' first lines alone are no hands).
READ = [
    ("Stage #1: Holdem", "hand line without a date"),  # Absolute
    ("#5", "hand line without a hand id"),  # KingsClub: "#<id>: "
    ("#123 Hold'em", "hand line without a hand id"),
    ("#\u0663", "hand line without a hand id"),  # Arabic-Indic digit three (Nd)
    ("#\u00bd", "hand line without a hand id"),  # vulgar fraction one half (No)
    ("#\u216b", "hand line without a hand id"),  # Roman numeral twelve (Nl)
    ("Game started at: 2020/01/01", "start line without a date"),
    ("Game started at: 2020/1/1 1:2:3\nGame ID: 1", "game line without stakes"),
    ("Hand #1 - Holdem", "hand line without a game"),
    ("Game Hand #12 - Tournament", "hand line without a game"),
    ("Bodog Hand #1", "hand line without a game"),
    ("Bodog UK Hand #1 TBL#1 7CARD Fixed Limit - 2012-05-07 03:40:07",
     "text ends inside the hand"),
    ("Bodog Hand #1 TBL#1 RAZZ Fixed Limit - 2012-05-07 03:40:07", "hand line without a game"),
    ("Bovada Hand #1 TBL#2 HOLDEM No Limit - 2021-03-11 22:58:57 UTC", "text ends inside the hand"),
    ("Ignition Hand #1: HOLDEM Tournament #2 TBL#3, Normal- Level 7 (100/200) - 2017-07-23 "
     "21:42:38\nSeat 1: UTG (10 in chips)\nUTG : Dances", "unrecognised line before the deal"),
    ("Bodog.eu Hand #1", "hand line without a game"),
    ("Table #1 - Hold'em\nStarting Hand #5", "text ends inside the hand"),  # Pkr
    ("Starting Hand #5\nGame Type: HOLD'EM", "text ends inside the hand"),  # Pkr, cut before
    ("MERGE_GAME 1", "hand line without a hand id"),  # PokerTracker
    ("Game #123", "hand line without a hand id"),  # Enet
    ("Game #123 starts. ", "hand line without a hand id"),  # the line must end at "starts."
    ("Game #123\nstarts.", "hand line without a hand id"),  # only the first line counts
    ("BetOnline Poker Game #1", "hand line without a hand id"),
    ("PayNoRake Game #1: Hold'em No Limit ($0.05/0.10) - 2013/06/02 21:14:09",
     "text ends inside the hand"),
    ("Everleaf Gaming Game #1", "text ends inside the hand"),
    ("Hand#1 - Paris 1 -- $1/$2 NL Razz -- 2011/08/28 - 00:54:23",
     "a game other than Hold'em and Omaha"),
    ("- - Grand Poker - Game #1\n***** Hand history for game #1 *****\nBlinds 1/2 Razz - "
     "2010/05/14 - 20:31:07", "a game other than Hold'em and Omaha"),
]


@pytest.mark.parametrize("text,reason", READ, ids=repr)
def test_recognised_sites_with_a_reader(text, reason):
    for lead in ("", "\n \t", "\ufeff"):
        view = parse_str(lead + text, errors="skip")
        assert len(view) == 0
        # the reason, then the line that gave it
        assert [r.reason.split(": '")[0] for r in view.rejected] == [reason]


def test_fault_is_reported_on_standard_error(capfd):
    with pytest.raises(PanicException):
        parse_str("#1: Limit Drawmaha - 1/2")
    err = capfd.readouterr().err
    assert err.startswith("handscribe: internal fault: game not read: Limit Drawmaha (raised at ")
    assert err.count("\n") == 1 and re.search(r"\(raised at \w+\.cpp:\d+ \(", err)


@pytest.mark.parametrize("text,rejected", [
    # 888poker
    ("#Game No : 1", 1), ("#Game No : 1\n***** 888poker Hand History", 1),
    ("#Game No : 1\r\n***** Cassava Hand History for Game 1 *****", 1),
    # PartyPoker: its hand line, alone or after the "#Game No" line that 888poker writes too
    ("Game #123 starts.", 0), ("Game #123 starts.\r\nTable", 0), ("Game #123 starts.\nnext", 0),
    ("***** Hand History for Game 1 *****", 1), ("***** Hand History For Game 1a2b *****\n", 1),
    ("#Game No : 1\n***** Hand History for Game 1 *****", 1),
])
def test_888poker_and_partypoker_are_read(text, rejected):
    # The hand is cut off (or never begins): no hand, and no error.
    view = parse_str(text, errors="skip")
    assert len(view) == 0 and len(view.rejected) == rejected


@pytest.mark.parametrize(
    "text,line",
    [
        ("", "@@@"),
        (" ", "@@@"),
        ("\n\r\n\t \u000b\u000c", "@@@"),
        ("\u00a0\u2003\u3000\u2029\u0085", "@@@"),
        ("\ufeff", "@@@"),                          # the mark alone leaves nothing
        ("\ufeff   \n", "@@@"),
        ("pokerstars Hand #1\nTable 'x'", "pokerstars Hand #1"),
        ("\ufeffpokerstars Hand", "pokerstars Hand"),  # the mark is removed, not quoted
        ("\ufeff\ufeffPokerStars x\ny", "\ufeffPokerStars x"),  # only one mark is removed
        ("PokerStars", "PokerStars"),               # the prefix needs its space
        ("PokerStarsHand #1\nTable", "PokerStarsHand #1"),
        ("BetOnline", "BetOnline"),
        ("#G", "#G"),
        ("#", "#"),
        ("# 5", "# 5"),
        ("#Game No", "#Game No"),
        ("Game", "Game"),
        ("Game#1 starts.", "Game#1 starts."),
        ("Hand #1", "Hand #1"),
        ("Bovada", "Bovada"),                       # a brand's hand line
        ("Ignition Hand", "Ignition Hand"),
        ("Hand #1 -", "Hand #1 -"),                 # Winning's hand line needs " - " after the id
        ("Hand #x - Holdem", "Hand #x - Holdem"),
        ("Game Hand #", "Game Hand #"),
        ("Table 1", "Table 1"),
        ("  Hello world  \r\nsecond", "Hello world  "),
        ("Hello\rworld", "Hello"),                  # no '\n' anywhere: '\r' ends lines
        ("Hello\r\r\nworld", "Hello\r"),            # one '\r' dropped before '\n'
        ("\n\ufeffPokerStars Hand\nTable", "\ufeffPokerStars Hand"),  # mark not at the start
        ("\u200bPokerStars Hand\nTable", "\u200bPokerStars Hand"),    # zero width: not space
        ("\u001cPokerStars Hand\nTable", "\u001cPokerStars Hand"),    # not Unicode white space
        ("\u00e9t\u00e9 \u2660\n", "\u00e9t\u00e9 \u2660"),
    ],
)
def test_unknown_sites_name_their_first_line(text, line):
    with pytest.raises(RuntimeError) as info:
        parse_str(text)
    assert info.value.args == ("Invalid poker website - '" + line + "'",)
    assert type(info.value) is RuntimeError


def test_exact_ten_bytes_betonline():
    # The room's first word alone: BetOnline's reader finds no hand line in it.
    view = parse_str("BetOnline ")
    assert (len(view), view.rejected) == (0, [])
