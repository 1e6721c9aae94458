"""Hand facts over the whole corpus: the money identities of every hand, and each raise's street
total against the "to" its line writes."""
import re
from collections import Counter, defaultdict
from decimal import Decimal

import pytest

import handscribe
from conftest import CORPUS, DATA

pa = pytest.importorskip("pyarrow")

# Folders whose readers existed when these identities were pinned: every hand must hold them but
# those listed below. The hands of other folders (readers added later) are checked too, and a
# folder whose hands all hold passes; one that does not is reported, not failed, until its
# contradictions are listed here.
PINNED = {"pokerstars", "pokerstars_other", "pokerstars_tournaments", "pluribus", "ongame",
          "ggpoker", "winamax", "stats_reference", "pokerstars_localized", "winning", "bovada",
          "pacificpoker", "partypoker", "ipoker", "pokernow", "fulltiltpoker", "merge", "enet",
          "pkr", "pokertracker", "betonline", "everleaf", "cake", "absolute", "kingsclub"}
# Hands whose text contradicts itself: the facts keep the text's values.
CONTRADICTIONS = {
    ("PokerStars__CashGame__Limits__AnteTable.txt", "109715173634"):
        "antes and blinds of $0.90 in a 'Total pot $0.50' (the hand was edited)",
    ("NLHE-2max-USD-STT-20-201209.txt", "2667630751"):
        "'raises 30 to 40' over a big blind of 20: a raise over the bet would be to 50",
    ("PLO-5max-EUR-1.00-2.00-201408.bad.pot.txt", "6468352-1737-1408024646"):
        "blinds of 3 and a raise to 6 uncalled, yet 'collected 10€' and 'Total pot 10€'",
    ("tour__NLHE-Ticket-MTT-201010.raise.written.as.bet.preflop.txt",
     "6307872438747255-64-1288123510"):
        "'Total pot 3.37k' rounds the 3368 collected",
    # An iPoker tournament of chips with cents ("131,401.13"): above 2^17 a 32-bit float holds
    # no cent exactly.
    ("cash__NLHE-USD-0.02-0.04.201105.Player.not.in.preamble.acts.xml", "34205042-1"):
        "a seat that posts a blind without a <player> element: its stack is not written",
    ("NLHE-USD-MTT-5r-201112.Sample.xml", "3869863986"):
        "chips with cents beyond a float's precision",
    # The Winning Poker Network's cash tables of 2014: 0.25 put in that neither the pot nor the
    # rake counts.
    **dict.fromkeys((
        ("10MultipleHands.txt", "261441841"), ("10MultipleHands.txt", "261442219"),
        ("10MultipleHands.txt", "261442490"), ("10MultipleHands.txt", "261442843"),
        ("10MultipleHands.txt", "261443389"), ("Straddle.txt", "266899075"),
        ("WinningPoker__CashGame__HandActionTests__Straddle.txt", "266899075"),
        ("StrangePlayerNames.txt", "258671202")), "0.25 put in beyond 'Pot: … Rake …'"),
    # Enet's files of hands that its own lines do not account for.
    ("cash__NLHE-6max-EUR-0.05-0.10-201210.post.dead.txt", "19408739"):
        "€0,40 put in (two blinds posted without an amount), 'collected (€0,20)' in the round, "
        "'collected (€0,30)' and 'Total pot €0,30' in the summary",
    ("cash__PLO-6max-USD-0.25-0.50-201207.side.pot.failure.txt", "7732419"):
        "€140,53 put in, €56,64 collected, 'Total pot €2,75 | Rake €1,39'",
    ("cash__PLO-9max-EUR-0.10-0.25-201207.bad.collected.txt", "6404139"):
        "€22,21 put in, €12,27 collected, 'Total pot €0 | Rake €0,27'",
    ("cash__PLO-9max-USD-0.10-0.25-201208.accounting.issue.txt", "12036770"):
        "€0,75 put in, 'collected (€0,82)' (the bet returned) in the round, 'collected (€1,04)' "
        "and 'Total pot €0 | Rake €0,06' in the summary",
    # PokerTracker's Merge layout of a sit-and-go: an all-in written as the player's whole stack,
    # the ante posted before it included ("Allin $1,488.00" from "$1,488.00 in chips" after
    # "Post Ante $25.00"), and "wins" beyond the chips put in.
    **dict.fromkeys((("tour__NLHE-USD-SNG-2-201111.Merge.txt", hand) for hand in (
        "4290961700035", "4290961700036", "4290961700040", "4290961700041", "4290961700043",
        "4291306800008")), "'wins' beyond the chips put in, an all-in written as the whole stack"),
    # PokerTracker's iPoker layout of a sit-and-go: a bet or raise beyond the chips left, which
    # the hand's "Total pot" counts whole.
    ("tour__NLHE-USD-SNG-2-201106.iPoker.txt", "3616779771"):
        "'Raise (NF) $1,615.00' from '$1,615.00 in chips' after an ante of 25 and a blind of 200",
    ("tour__NLHE-USD-SNG-2-201106.iPoker.txt", "3616973070"):
        "'Bet $2,172.60' from '$2,332.60 in chips' after calls of 40 and 160",
    # BetOnline: pots awarded inside a round ("Total pot 0.42 | Rake 0.04") that the summary's
    # total leaves out or no line gives to anyone, and lines the anonymised files dropped.
    ("cash__NLHE-10max-USD-0.01-0.02-201605.3.way.allin.txt", "1606125823"):
        "a flop bet of 0.81 that no line calls, folds or returns: 3.97 put in, 'Total pot 2.49'",
    ("cash__NLHE-10max-USD-0.01-0.02-201605.winner.no.show.txt", "1605375848"):
        "wins of 0.71 over 'Total pot 0.29 | Rake 0.04' (the side pot is written in the round)",
    ("cash__NLHE-10max-USD-0.25-0.05-201108.txt", "900203618"):
        "'post dead 0.00', yet 'Total pot 42.98 | Rake 2.26' holds 0.25 beyond the chips put in",
    ("cash__NLHE-10max-USD-0.25-0.05-201108.txt", "900204250"):
        "'Seat 7: Player5 (0.00 in chips)' puts 7.09 in",
    ("tour__NLHE-10max-USD-MTT-2011-08.nobuyinfee.txt", "900223632"):
        "a side pot of 70 ('Total pot 70.00' in the round) that no line awards",
    # KingsClub: a player coming in "posts blind 44" and antes 11, then folds, yet "-77".
    ("cash__2-7_Triple_Draw_Lowball-FL-USD-44-88-202012.rake.txt", "39879543"):
        "'posts blind 44' and 'posts ante 11' then folds, yet '-77' (22 more than its lines)",
}
# Files with raises whose "to" is not the replayed street total, and how many.
RAISES_CONTRADICTING = {"NLHE-2max-USD-STT-20-201209.txt": 1}  # see its hand above
RAISE_TO = re.compile(r"raises [^ \n]+ to \D*?([\d,]+(?:\.\d+)?)")


def exact(value) -> Decimal:
    """The decimal a float64 column holds: each is the double nearest a short decimal."""
    return Decimal(repr(value)) if value is not None else Decimal(0)


def hand_faults(hand: dict, players: list) -> list:
    won = sum(exact(p["won"]) for p in players)
    net = sum(exact(p["net"]) for p in players)
    pot, rake, jackpot = (exact(hand[k]) for k in ("total_pot", "rake", "jackpot"))
    faults = []
    if won != pot - rake - jackpot:
        faults.append(f"sum of won {won} != total_pot - rake - jackpot {pot - rake - jackpot}")
    # A cash-out is paid by the site outside the pot; GGPoker's cash drop is the site's chips.
    cashed = any(p["cash_out"] is not None for p in players)
    if not cashed and net + rake + jackpot != hand["added"]:
        faults.append(f"sum of net {net} + rake + jackpot != {hand['added']}")
    for p in players:
        if exact(p["invested"]) > exact(p["stack"]):
            faults.append(f"{p['name']} invested {p['invested']} > stack {p['stack']}")
        if p["cash_out"] is None and exact(p["net"]) != exact(p["won"]) - exact(p["invested"]):
            faults.append(f"{p['name']}: net != won - invested")
    return faults


def files_of(folder: str) -> list:
    base = DATA if folder == "tests/data" else CORPUS / folder
    return sorted(p for p in base.rglob("*") if p.is_file() and p.suffix not in (".hp", ".hands"))


# Every corpus folder (none when the corpus is absent) and the repository's own test data.
FOLDERS = ["tests/data"] + (sorted(p.name for p in CORPUS.iterdir() if p.is_dir())
                            if CORPUS.is_dir() else [])
PINNED.add("tests/data")


@pytest.mark.parametrize("folder", FOLDERS)
def test_money_identities_of_every_corpus_hand(folder):
    faults, checked, raises = [], 0, Counter()
    for path in files_of(folder):
        try:
            view = handscribe.parse_path(path, errors="skip", encoding="auto")
        except RuntimeError:
            continue  # a layout no reader takes yet
        tables = view.to_arrow()
        # Rows are keyed by hand id and its occurrence (anonymised files repeat ids): a hand's
        # players begin at player 0, its actions at seq 0.
        players, seen = defaultdict(list), Counter()
        for p in pa.table(tables.players).to_pylist():
            seen[p["hand_id"]] += p["player"] == 0
            players[p["hand_id"], seen[p["hand_id"]]].append(p)
        actions = pa.table(tables.actions).to_pylist()
        posted, seen = defaultdict(Decimal), Counter()
        for a in actions:
            seen[a["hand_id"]] += a["seq"] == 0
            if a["street"] == "predeal" and a["chips"] is not None:
                posted[a["hand_id"], seen[a["hand_id"]]] += exact(a["chips"])
        seen = Counter()
        for hand in pa.table(tables.hands).to_pylist():
            checked += 1
            seen[hand["hand_id"]] += 1
            key = (hand["hand_id"], seen[hand["hand_id"]])
            # The chips the site put in (GGPoker's cash drop): the pot before the cards less the
            # posts.
            hand["added"] = exact(hand["pot_preflop"]) - posted[key]
            found = hand_faults(hand, players[key])
            key = (path.name, hand["hand_id"])
            if key in CONTRADICTIONS:
                assert found, f"{key} is listed as contradicting itself but holds"
            elif found:
                faults.append(f"{path.name} {hand['hand_id']}: {'; '.join(found)}")
        # Each raise's street total is the "to" its line writes (PokerStars raises over the
        # bet, OnGame adds chips: the same totals either way).
        text = path.read_bytes().decode("utf-8", "replace")
        want = Counter(Decimal(m.replace(",", "")) for m in RAISE_TO.findall(text))
        got = Counter(exact(a["to"]) for a in actions
                      if a["action"] in ("Raise", "RaiseAllIn"))
        if want and sum(got.values()) == sum(want.values()):
            raises[path.name] = sum((got - want).values())
    missed = {name: n for name, n in raises.items() if n}
    if folder in PINNED:
        assert not faults, "\n".join(faults[:20])
        assert missed == {n: k for n, k in RAISES_CONTRADICTING.items() if n in raises}
    elif faults or missed:
        pytest.xfail(f"{len(faults)} hands and raises of {len(missed)} files not pinned yet")
    assert checked > 0 or folder not in ("tests/data", "pokerstars", "pluribus", "ongame",
                                         "ggpoker", "winamax")
