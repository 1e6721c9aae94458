"""Whole text forms of real hands, each checked once field by field against its source text.
Hands from MIT/BSD files are kept in tests/data; the Pluribus logs are read from the corpus."""
import re
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA

GOLDEN = Path(__file__).parent / "golden"
STARS = DATA / "pokerstars"
TOURNAMENTS = CORPUS / "pokerstars_tournaments" / "jejellyroll-fr_fpdb-3"

# name: (source file, hand id)
CASES = {
    "run_twice": (STARS / "PokerStars__CashGame__PlayerTests__RunItTwice.txt", "124689908714"),
    "cash_out": (STARS / "hh.com_Baetsle_289FR_2021.07.30_0.txt", "228672411142"),
    "side_pots": (STARS / "PokerStars__CashGame__ExtraHands__SidePot.txt", "85998509763"),
    "chat": (STARS / "PokerStars__CashGame__GameTypeTests__FixedLimitHoldem.txt", "109679365424"),
    "join_sit_out": (STARS / "PokerStars__CashGame__PlayerTests__WithSittingOut.txt",
                     "78407803350"),
    "pluribus": (CORPUS / "pluribus" / "VitamintK_pluribus-hand-parser" / "pluribus_30.txt",
                 "30007"),
    "no_currency": (STARS / "HH20260111_Z420909_kurhah_playmoney.txt", "259277557424"),
    "capped": (STARS / "OnGame__CashGame__GameTypeTests__CapNoLimitHoldem.txt", "78456396653"),
    "omaha_hi_lo": (STARS / "PokerStars__CashGame__GameTypeTests__PotLimitOmahaHiLo.txt",
                    "109677324649"),
    "euro": (STARS / "PokerStars__CashGame__GeneralHands__HeroName.txt", "1846552153"),
    "pound": (STARS / "PokerStars__CashGame__Limits__GbpTable.txt", "78782145143"),
    # tournaments
    "tournament_sit_and_go_antes": (STARS / "thlorenz_timezone-costarica.sng.txt", "183617887084"),
    "tournament_freeroll": (STARS / "thlorenz_freeroll.tny.txt", "183617828093"),
    "tournament_knockout": (TOURNAMENTS / "NLHE-9max-MTT-Freeroll-201909.progressive.bounty.txt",
                            "204469397162"),
    "tournament_rebuy": (TOURNAMENTS / "NLHE-9max-SC-MTT-201512.txt", "145645009921"),
    "tournament_old_game_line": (TOURNAMENTS / "NLHE-USD-MTT-5r-200710.txt", "12637565869"),
    "tournament_shootout": (TOURNAMENTS / "NLHE-4max-MTT-USD-2-201305.shootout.txt",
                            "99150131499"),
    "tournament_omaha_hi_lo_bounty": (TOURNAMENTS / "NLO8-USD-STT-201109.Knockout.sample.txt",
                                      "68174975772"),
    "tournament_courchevel_hi_lo": (
        TOURNAMENTS / "PL-Courcheval-HL-6max-USD-7.50-201705.fixed.flop.txt", "170983530791"),
}

HAND_START = re.compile(r"(?:\r\n|\r|\n)+(?=PokerStars )")


def one_hand(path: Path, hand_id: str) -> str:
    """The text of one hand of a file (hands are cut at their hand lines)."""
    text = path.read_bytes().decode("utf-8").lstrip("\ufeff")
    hands = [h for h in HAND_START.split(text) if re.match(rf"PokerStars [^#]*#{hand_id}:", h)]
    assert len(hands) == 1, hand_id
    return hands[0]


@pytest.mark.parametrize("name", sorted(CASES))
def test_repr(name):
    path, hand_id = CASES[name]
    if not path.is_file():
        pytest.skip(f"{path} not present")
    view = handscribe.parse_str(one_hand(path, hand_id))
    assert len(view) == 1
    assert repr(view) + "\n" == (GOLDEN / f"pokerstars_{name}.txt").read_text(encoding="utf-8")


def test_str_of_a_hand():
    path, hand_id = CASES["join_sit_out"]
    view = handscribe.parse_str(one_hand(path, hand_id))
    assert str(view) + "\n" == (GOLDEN / "pokerstars_join_sit_out_str.txt").read_text(
        encoding="utf-8"
    )


def test_cap_and_limit_reach_the_json():
    """The text form leaves out the limit and the cap; the native JSON carries them."""
    import json

    capped = json.loads(handscribe.parse_str(one_hand(*CASES["capped"])).to_json())[0]["header"]
    assert (capped["bet_type"], capped["bet_cap"]) == ("NoLimit", 400)
    limit = json.loads(handscribe.parse_str(one_hand(*CASES["chat"])).to_json())[0]["header"]
    assert (limit["bet_type"], limit["bet_cap"]) == ("Limit", 0)
    hilo = json.loads(handscribe.parse_str(one_hand(*CASES["omaha_hi_lo"])).to_json())[0]["header"]
    assert (hilo["game_type"], hilo["bet_type"]) == ("OmahaHiLo", "PotLimit")


def test_bundled_sample_reads_every_hand():
    sample = Path(__file__).resolve().parents[2] / "samples" / "HH20260114_Z420909_real.txt"
    import json

    text = sample.read_text(encoding="utf-8")
    view = handscribe.parse_path(str(sample))
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == re.findall(
        r"^PokerStars Hand #(\d+):", text, re.M
    )
    assert len(view) == 7
