"""Every GGPoker and Winamax file of the corpus: the hands returned and the reason for every hand
that is not, each returned hand checked against values read from its own text here (stakes,
seats and stacks, boards, total pot, rake and the amounts collected), and every action's player
named; golden text forms of one hand of each kind, checked once field by field."""
import json
import re
import struct
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, needs_corpus

EXPECTED = json.loads((Path(__file__).parent / "expected" / "ggpoker_winamax.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
FILES = sorted(p for folder in ("ggpoker", "winamax") if (CORPUS / folder).is_dir()
               for p in (CORPUS / folder).rglob("*") if p.is_file())


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def f32(x) -> float:
    return struct.unpack("<f", struct.pack("<f", float(x)))[0]


def number(text: str) -> float:
    """"$1,250", "0.05€", "3.37k" as the parser keeps it."""
    text = text.strip("$€ ").replace(",", "")
    return f32(float(text[:-1]) * 1000 if text.endswith("k") else float(text))


# Per site: where a hand begins (with its id), a seat line before the deal, a board line of the
# summary; for both, the stakes' parenthesis of the hand line, the pot line and a collection in
# the rounds. Amounts are any run of digits, separators and signs ("$1,250", "0.05€", "3.37k").
AMOUNT = r"\$?[\d.,]+k?€?"
SITES = {
    "ggpoker": dict(
        start=re.compile(r"^Poker Hand #(\w+):", re.M),
        seat=re.compile(rf"^Seat (\d+): (.+) \(({AMOUNT}) in chips\)$", re.M),
        deal="*** HOLE CARDS ***",
        board=re.compile(r"^(?:\w+ )?Board \[(.*)\]$", re.M),
        # the name may hold game words itself: the game is the last one before the level
        name=re.compile(r"Tournament #\d+, (.*\S) +(?:Hold'em|Omaha)\b.*?- Level"),
    ),
    "winamax": dict(
        start=re.compile(r"^Winamax Poker - .*?HandId: #([\w-]+) - ", re.M),
        seat=re.compile(rf"^Seat (\d+): (.+) \(({AMOUNT})\)$", re.M),
        deal="*** ANTE/BLINDS ***",
        board=re.compile(r"^Board: \[(.*)\]$", re.M),
        name=re.compile(r'Tournament "(.*)" buyIn: '),
    ),
}
for site in SITES.values():
    site.update(stakes=re.compile(r"\(([^()]*)\) - \d{4}/"),
                pot=re.compile(rf"^Total pot ({AMOUNT})(.*)$", re.M),
                collected=re.compile(rf"^.+ collected ({AMOUNT}) from", re.M))


def hands_by_id(folder: str, text: str) -> dict:
    starts = list(SITES[folder]["start"].finditer(text))
    ends = [m.start() for m in starts[1:]] + [len(text)]
    return {m[1]: text[m.start():end] for m, end in zip(starts, ends)}


@needs_corpus
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(EXPECTED)


@needs_corpus
@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    text = path.read_text(encoding="utf-8")
    if "raises" in want:
        # Stud, razz and draw: a fault in strict mode, each hand reported in skip mode.
        with pytest.raises(handscribe.PanicException) as err:
            handscribe.parse_str(text)
        assert str(err.value) == want["raises"]
    view = handscribe.parse_str(text, errors="skip")
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    in_text = hands_by_id(rel(path).split("/")[0], text)
    assert sorted(want["returned"] + list(want.get("missing", {}))) == sorted(in_text)


@needs_corpus
@pytest.mark.parametrize("path", [p for p in FILES if EXPECTED[rel(p)]["returned"]], ids=rel)
def test_values_read_from_the_text(path):
    folder = rel(path).split("/")[0]
    site = SITES[folder]
    text = path.read_text(encoding="utf-8")
    by_id = hands_by_id(folder, text)
    for h in json.loads(handscribe.parse_str(text, errors="skip").to_json()):
        hd, hand = h["header"], by_id[h["header"]["id"]]
        stakes = [number(s) for s in site["stakes"].search(hand.split("\n")[0])[1].split("/")]
        assert f32(hd["big_blind"]) == stakes[-1]
        assert f32(hd["small_blind"]) == (stakes[-2] if len(stakes) > 1 else 0.0)
        name = site["name"].search(hand.split("\n")[0])
        assert hd.get("tournament", {}).get("name") == (name and name[1])
        seats = site["seat"].findall(hand.split(site["deal"])[0])
        # the seated players first; a player named only in action lines follows them
        assert [(p["seat"], p["name"], f32(p["chips"])) for p in hd["players"][:len(seats)]] == [
            (int(s), n, number(c)) for s, n, c in seats]
        # every action, and every winner, names a player of the hand
        actions = list(hd["actions"])
        for street in [h["preflop"], *h["flops"], *h["turns"], *h["rivers"],
                       *h.get("sevenths", []), *h["showdowns"]]:
            actions += street["actions"]
        players = len(hd["players"])
        assert all(a["player_id"] < players for a in actions + h["summary"]["actions"])
        assert all(w["player_id"] < players for w in h["summary"]["winners"])
        # the boards, one per run, as the summary writes them (GGPoker may list a flop's cards
        # in another order there than on the flop's line)
        runs = [sorted(c for s in (f, t, r) for c in s["cards"]) for f, t, r in
                zip(h["flops"] + [{"cards": []}], h["turns"] + [{"cards": []}],
                    h["rivers"] + [{"cards": []}])]
        assert [r for r in runs if r] == [sorted(b.split()) for b in site["board"].findall(hand)]
        collected = [f32(a["amount"]) for a in actions if a["type"] == "collect_pot"]
        assert collected == [number(c) for c in site["collected"].findall(hand.split(
            "*** SUMMARY ***")[0])]
        total, fees = site["pot"].search(hand).groups()
        rake = sum(number(a) for a in re.findall(rf"\| \w+ ({AMOUNT})", fees))
        want = number(total)
        if total.endswith("k"):  # rounded to its last digit: the chips collected are the pot
            unit = 10 ** (3 - len(total[:-1].partition(".")[2]))
            if abs(sum(collected) - want) <= unit / 2:
                want = f32(sum(collected))
        assert (f32(h["summary"]["total_pot"]), h["summary"]["rake"]) == (
            want, pytest.approx(rake))


# ---------------------------------------------------------------------------------------------
# Golden text forms
# ---------------------------------------------------------------------------------------------

GG = CORPUS / "ggpoker" / "jejellyroll-fr_fpdb-3"
WINAMAX = CORPUS / "winamax" / "jejellyroll-fr_fpdb-3"
# name: (file, hand id)
GOLDEN_CASES = {
    "ggpoker_showdown_insurance": (GG / "PLO-6max-USD-0.50-1.00-202004.txt", "OM181427480"),
    "ggpoker_straddle": (GG / "PLO5-6max-USD-0.1-0.25-202104.over.straddle.txt", None),
    "ggpoker_run_twice": (GG / "PLO-6max-USD-2-5-202101.RIT.txt", None),
    "ggpoker_cash_drop": (GG / "PLO-6max-USD-0.01-0.02-202104.STP.txt", None),
    "ggpoker_short_deck": (GG / "NL-ShortDeck-5max-USD-0.2-202103.txt", "SD27208848"),
    "ggpoker_tournament": (GG / "tour__PLO-NLO-6max-MTT-USD-8.40-202104.KO.txt", None),
    "winamax_showdown_hi_lo": (WINAMAX / "5-Card-PLO8-6max-EUR-1.00-2.00-201611.txt", None),
    "winamax_out_of_position": (WINAMAX / "PLO-5max-EUR-2.00-4.00-201412.sb.oop.txt", None),
    "winamax_side_pots": (
        WINAMAX / "PLO-FR-EUR-0.02-0.05-201009.Real.side.pot.with.bad.collected.txt", None),
    "winamax_tournament": (WINAMAX / "tour__NLHE-10max-EUR-0.93-STT-201207.all.in.blind.txt",
                           None),
}


@needs_corpus
@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_repr(name):
    path, hand_id = GOLDEN_CASES[name]
    text = path.read_text(encoding="utf-8")
    if hand_id is not None:
        text = hands_by_id(name.split("_")[0], text)[hand_id]
    view = handscribe.parse_str(text)
    assert len(view) == 1
    assert repr(view) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
