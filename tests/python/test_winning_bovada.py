"""Every Winning Poker Network and Bovada file of the corpus: the hands returned and the reason for
every hand that is not, each returned hand checked against values read from its own text here
(stakes, seats and stacks, total pot, rake and the amounts won), every action's player named, and
the chips of each hand accounted for (put in, less what came back, is the pot with its rake; the
hands whose own lines say otherwise are pinned with what they leave out); golden text forms of
one hand of each kind."""
import json
import re
from collections import defaultdict
from decimal import Decimal
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, needs_corpus

EXPECTED = json.loads((Path(__file__).parent / "expected" / "winning_bovada.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
FOLDERS = ("winning", "bovada")
FILES = sorted(p for folder in FOLDERS if (CORPUS / folder).is_dir()
               for p in (CORPUS / folder).rglob("*") if p.is_file())


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def text_of(path: Path) -> str:
    """The file's text as a reader of its bytes sees it: UTF-16 after its mark, else UTF-8."""
    data = path.read_bytes()
    if data[:2] in (b"\xff\xfe", b"\xfe\xff"):
        return data.decode("utf-16", errors="replace")
    return data.decode("utf-8").lstrip("\ufeff")


def dec(text: str) -> Decimal:
    return Decimal(text.replace("$", "").replace(",", ""))


def exact(value: float) -> Decimal:
    """A stored amount as the decimal it was read from (its shortest form)."""
    return Decimal(repr(float(value))) if value == value else Decimal(0)


AMOUNT = r"\$?[\d.,]*\d"
# Per layout: where a hand begins (its id in group 1), its stakes, its seat lines (before the
# deal), the pot line (what the summary counts, and the rake and fees after it), what each winner
# takes, and whether the summary's total is before or after the rake.
LAYOUTS = {
    "winning_old": dict(
        start=re.compile(r"Game started at: [^\n]*\n+Game ID: (\d+) "),
        stakes=re.compile(r"Game ID: \d+ ([\d.]+)/([\d.]+) "),
        seat=re.compile(r"^Seat (\d+): (.+) \(([\d.]+)\)\.$", re.M),
        deal=re.compile(r"^(?:\*?Player |------)", re.M),
        pot=re.compile(rf"^Pot: ({AMOUNT})(.*)$", re.M),
        fees=re.compile(rf"(?:Rake|JP fee) ({AMOUNT})"),
        wins=re.compile(rf"Collects: ({AMOUNT})"),
        # a tournament's table: its name, which begins with the buy-in (a freeroll's prizes)
        tournament=re.compile(
            r"Game ID: \d+ [\d.]+/[\d.]+ ((?P<price>\$[\d.]+ )?.*), Table \d+ \("),
        less_rake=True,
    ),
    "winning": dict(
        start=re.compile(r"^(?:Game )?Hand #(\d+) - ", re.M),
        stakes=re.compile(rf"(?:Limit\) - |Level \S+ \()({AMOUNT})/({AMOUNT})"),
        seat=re.compile(rf"^Seat (\d+): (.+) \(({AMOUNT})\)(?: is sitting out)?$", re.M),
        deal=re.compile(r"^\*\*\* (?:HOLE CARDS|3rd STREET)", re.M),
        pot=re.compile(rf"^Total pot ({AMOUNT})(.*)$", re.M),
        fees=re.compile(rf"\| [\w ]+ ({AMOUNT})"),
        wins=re.compile(rf"^.+ collected ({AMOUNT}) from ", re.M),
        summary_wins=re.compile(rf" won ({AMOUNT})"),
        tournament=re.compile(r"^Game Hand #\d+ - (.*?) ?Tournament #"),
        less_rake=True,
    ),
    "bovada": dict(
        start=re.compile(r"^\ufeff?(?:Bovada|Ignition|Bodog(?: UK|\.\w+)?) Hand #(\d+)", re.M),
        # a tournament's blinds are on its hand line, a cash hand's in its first posts
        stakes=re.compile(rf"Level \S+ \(({AMOUNT})/({AMOUNT})\)"),
        small_blind=re.compile(rf"^.+ : (?:Ante/)?Small [Bb]lind ({AMOUNT})", re.M),
        big_blind=re.compile(rf"^.+ : Big [Bb]lind(?:/Bring in)? ({AMOUNT})", re.M),
        seat=re.compile(rf"^Seat (\d+): (.+?)( +\[ME\])? \(({AMOUNT}) in chips\)$", re.M),
        stud_seat=re.compile(rf"^(?=Seat\+(\d+))(\S+)( \[ME\])?: ({AMOUNT}) in chips$", re.M),
        deal=re.compile(r"^\*\*\* (?:HOLE CARDS|3RD STREET)", re.M),
        pot=re.compile(rf"^Total Pot\(({AMOUNT})\)(.*)$", re.M),
        fees=re.compile(rf"Rake \(({AMOUNT})\)"),
        wins=re.compile(rf"^.+ : Hand [Rr]esult(?:-Side [Pp]ot)? ({AMOUNT}) *$", re.M),
        less_rake=False,
    ),
}


def layout_of(folder: str, text: str) -> str:
    return folder + "_old" if folder == "winning" and "Game started at:" in text[:40] else folder


def hands_by_id(layout: str, text: str) -> dict:
    starts = list(LAYOUTS[layout]["start"].finditer(text))
    ends = [m.start() for m in starts[1:]] + [len(text)]
    return {m[1]: text[m.start():end] for m, end in zip(starts, ends)}


def parse(path: Path):
    return handscribe.parse_path(path, errors="skip", encoding="auto")


@needs_corpus
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(EXPECTED)


@needs_corpus
@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    view = parse(path)
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    text = text_of(path)
    in_text = hands_by_id(layout_of(rel(path).split("/")[0], text), text)
    assert sorted(want["returned"] + list(want.get("missing", {}))) == sorted(in_text)


def chips_put_in(hand: dict) -> Decimal:
    """The chips the hand's actions put in, less the bets returned: a raise's amount is the chips
    the raiser adds on both sites, a stud completion's the player's total on its street."""
    total = Decimal(0)
    for street in [hand["header"], hand["preflop"], *hand["flops"], *hand["turns"],
                   *hand["rivers"], *hand.get("sevenths", []), *hand["showdowns"]]:
        put = defaultdict(Decimal)  # by player, on the street
        for a in street["actions"]:
            if a["type"] in ("blind", "bet", "call", "raise", "bring_in", "complete"):
                added = exact(a["amount"])
                if a["type"] == "complete":
                    added -= put[a["player_id"]]
                put[a["player_id"]] += added
                total += added
            elif a["type"] == "uncalled_bet":
                total -= exact(a["amount"])
    return total


@needs_corpus
@pytest.mark.parametrize("path", [p for p in FILES if EXPECTED[rel(p)]["returned"]], ids=rel)
def test_values_read_from_the_text(path):
    text = text_of(path)
    site = LAYOUTS[layout_of(rel(path).split("/")[0], text)]
    by_id = hands_by_id(layout_of(rel(path).split("/")[0], text), text)
    contradicting = {}
    for h in json.loads(parse(path).to_json()):
        hd, hand = h["header"], by_id[h["header"]["id"]]
        stakes = site["stakes"].search(hand)
        if stakes is None:
            sb, bb = (m[1] if m else "0" for m in (site["small_blind"].search(hand),
                                                    site["big_blind"].search(hand)))
        else:
            sb, bb = stakes.groups()
        assert (exact(hd["small_blind"]), exact(hd["big_blind"])) == (dec(sb), dec(bb))
        if "tournament" in site:  # Winning: the name, and the buy-in the old layout begins it with
            t, m = hd.get("tournament"), site["tournament"].search(hand)
            price = m and m.groupdict().get("price")
            kind = "Freeroll" if m and "Freeroll" in m[1] else "Money" if price else "Unknown"
            assert (t and (t.get("name", ""), t["buy_in_kind"], exact(t["buy_in"]))) == (m and (
                m[1], kind, dec(price) if kind == "Money" else 0))
        seats = site["seat"].findall(hand[:site["deal"].search(hand).start()]) or site.get(
            "stud_seat", site["seat"]).findall(hand)  # stud's: the seat's label is the name
        if len(seats[0]) == 4:  # Bovada: the position is the name, the hero's seat is marked
            assert hd["hero_id"] in [i for i, s in enumerate(seats) if s[2]] + [255]
            assert (hd["hero_id"] == 255) == (not any(s[2] for s in seats))
            if max(int(s[0]) for s in seats) > 10:  # a tournament's seat numbers: their order
                assert [p["seat"] for p in hd["players"]] == sorted(p["seat"] for p in hd[
                    "players"])
                seats = [(p["seat"], n, me, c) for p, (_, n, me, c) in zip(hd["players"], seats)]
            seats = [(s, n, c) for s, n, _, c in seats]
        assert [(p["seat"], p["name"], exact(p["chips"])) for p in hd["players"][:len(seats)]] == [
            (int(s), n, dec(c)) for s, n, c in seats]
        # every action, and every winner, names a player of the hand
        actions = list(hd["actions"]) + h["summary"]["actions"]
        for street in [h["preflop"], *h["flops"], *h["turns"], *h["rivers"],
                       *h.get("sevenths", []), *h["showdowns"]]:
            actions += street["actions"]
        players = len(hd["players"])
        assert all(a["player_id"] < players for a in actions)
        assert all(w["player_id"] < players for w in h["summary"]["winners"])
        # the pot and the site's take, and what the winners take of it
        summary = h["summary"]
        won = [dec(w) for w in site["wins"].findall(hand)]
        if not won and "summary_wins" in site:
            won = [dec(w) for w in site["summary_wins"].findall(hand.split("*** SUMMARY")[1])]
        assert sorted(exact(w["amount"]) for w in summary["winners"]) == sorted(
            w for w in won if w)
        pot_line = site["pot"].search(hand)
        if pot_line is None:  # Bovada's fast-fold hands may write an empty summary
            total, fees = str(chips_put_in(h)), ""
        else:
            total, fees = pot_line.groups()
        rake = sum((dec(f) for f in site["fees"].findall(fees)), Decimal(0))
        if not site["less_rake"] and not site["fees"].search(fees):
            # a rake not written is what the total holds beyond the results
            rake = max(dec(total) - sum(won, Decimal(0)), Decimal(0))
        assert (exact(summary["total_pot"]), exact(summary["rake"])) == (dec(total), rake)
        pot = dec(total) + rake if site["less_rake"] else dec(total)
        assert sum(won, Decimal(0)) + rake == pot
        if chips_put_in(h) != pot:
            contradicting[hd["id"]] = str(chips_put_in(h) - pot)
    assert contradicting == EXPECTED[rel(path)].get("contradicting", {})


# ---------------------------------------------------------------------------------------------
# Golden text forms
# ---------------------------------------------------------------------------------------------

WIN_OLD = DATA / "winning"
WIN = CORPUS / "winning" / "jejellyroll-fr_fpdb-3"
BOVADA = CORPUS / "bovada" / "jejellyroll-fr_fpdb-3"
# name: (file, hand id)
GOLDEN_CASES = {
    "winning_old_showdown_all_in": (WIN_OLD / "WinningPoker__CashGame__Tables__Table5.txt", None),
    "winning_old_utf16_tournament": (
        WIN / "NLHE-2max-USD-2.40_HH00000000_T5732551-G0-201608.Hyper.txt", "695374741"),
    "winning_old_dead_post": (
        WIN_OLD / "WinningPoker__CashGame__HandActionTests__PostingDead.txt", None),
    "winning_run_twice_hi_lo": (WIN / "NLO8-6max-USD-3-6-202104.RIT.txt", None),
    "winning_tournament_antes": (
        WIN / "NLHE-9max-NA-0-0-201907.SCHEDULEDID-TN-The_Venom_-_$5,000,000_GTD_-_Day_1C_"
        "GAMETYPE.txt", None),
    "bovada_zone_hero": (DATA / "bovada" / "ignition__cash.zone.txt", None),
    "bovada_tournament_side_pot": (DATA / "bovada" / "ignition__sng-sidepot.txt", None),
    "bovada_tournament_antes": (
        BOVADA / "NLHE-9max-USD-MTT_-_GSPO9_High_Roller_Tune-Up_-_$50.000_Gtd_-_$300-$25_-_202110"
        ".txt", "4405058426"),
    "bovada_dead_button_rake_unwritten": (
        BOVADA / "NLHE-USD_-_$0.25-$0.50_-_202103.MVS.version.txt", None),
    "bovada_no_street_lines": (BOVADA / "PLO-USD-2.00-4.00-201205.multiway.allin.txt", None),
}


# Hands without street lines, their rounds told by their betting: each street's actions but the
# dealt cards; and a tournament's bounty won ("Dealer : BOUNTY PRIZE [$5]", before the line that
# ranks the player it was won on).
ROUNDS = {
    ("LHE-USD-2-4-201205.Bodog.txt", "2607518885"): {
        "preflop": "Fold Raise Call", "flop": "Bet Call", "turn": "Check Bet Call",
        "river": "Check Check Show Muck CollectMainPot"},
    ("PLO8-9max-USD-10-MTT-201207.txt", "2645486142"): {
        "preflop": "Fold Fold Fold Fold Fold Raise Fold Call",
        "flop": "Check Bet Fold UncalledBetReturned CollectMainPot"},
    ("NLHE-USD-MTT_-_($5_Knockout)_-_$10-$1_-_201512.KO.txt", "3304886256"): {
        "turn": "Check Bet Raise RaiseAllIn CallAllIn UncalledBetReturned",
        "river": "Show Show CollectMainPot Bounty Finish"},
}


@pytest.mark.parametrize("name, hand_id", sorted(ROUNDS))
def test_rounds_and_bounties(name, hand_id):
    path = BOVADA / name
    if not path.is_file():
        pytest.skip("hand-history corpus not present")
    view = parse(path)
    hand = next(view[i] for i in range(len(view)) if view[i].id == hand_id)
    for street, kinds in ROUNDS[name, hand_id].items():
        assert " ".join(a.kind for a in hand.actions if a.street == street and a.kind != "Dealt"
                        ) == kinds, street
    bounties = [a for s in json.loads(hand.to_json())[0]["rivers"] for a in s["actions"]
                if a["type"] == "bounty"]
    assert [(hand.players[b["player_id"]].name, b["amount"], hand.players[b["defeated_id"]].name)
            for b in bounties] == ([("Dealer", 5, "Small Blind")] if "KO" in name else [])


@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_repr(name):
    path, hand_id = GOLDEN_CASES[name]
    if not path.is_file():
        pytest.skip("hand-history corpus not present")
    view = parse(path)
    hands = [view[i] for i in range(len(view))
             if hand_id is None or json.loads(view[i].to_json())[0]["header"]["id"] == hand_id]
    assert len(hands) == 1
    assert repr(hands[0]) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
