"""The half of a hi/lo pot that a collection wins, where the history names it, in every output.
A label changes no money."""
import json
from collections import Counter

import pyarrow as pa
import pytest

import handscribe
from conftest import CORPUS, needs_corpus

FPDB = "jejellyroll-fr_fpdb-3"
CAKE = f"cake/{FPDB}/tour__PLO8-2max-USD-5-201307.txt"
ABSOLUTE = f"absolute/{FPDB}/cash__7-StudHL-USD-0.02-0.04-200903.River.with.mucked.txt"
WINAMAX = f"winamax/{FPDB}/7-StudHL-6max-EUR-25-50-201611._8games_.txt"
FULL_TILT = f"fulltiltpoker/{FPDB}/cash__LO8-6max-USD-200-400.200610.Observed.Hand.with.chat.txt"

# hand: [(winner, half, amount collected, the winner's net)]
GOLDEN = {
    # A split pot: the high half to one player, the low half to the other.
    (CAKE, "3389E587C7000012"): [("Player0", "high", 327, 0), ("Hero", "low", 327, 0)],
    # No low hand ("There is no low hand"): the high pot is the whole pot, scooped.
    (CAKE, "3389E587C7000013"): [("Hero", "high", 20, 10)],
    # The summary names the halves ("HI:($0.20)", "LO:($0.19)") after the rounds' collections.
    (ABSOLUTE, "1300000000"): [("PLAYER3", "low", 0.19, 0.09), ("PLAYER6", "high", 0.2, 0.1)],
    (FULL_TILT, "1088791321"): [("zbubop", "high", 2048.5, 248.5),
                                ("AllenCunningham", "low", 2048.5, 248.5)],
    # Both halves to one player, each collected on a line of its own ("from pot(HI)").
    (WINAMAX, "9250793-554-1478991850"): [("Player0", "high", 114, 88),
                                          ("Player0", "low", 114, 88)],
}


@needs_corpus
@pytest.mark.parametrize("rel,hand_id", sorted(GOLDEN))
def test_a_hi_lo_split_pot(rel, hand_id):
    view = handscribe.parse_path(str(CORPUS / rel))
    hand = next(h for h in view if h.id == hand_id)
    wins = [(a.player.name, a.half, round(a.amount, 2), round(a.player.net, 2))
            for a in hand.actions if a.kind.startswith("Collect")]
    assert wins == GOLDEN[rel, hand_id]
    assert sum(p.net for p in hand.players) + hand.rake == pytest.approx(0, abs=1e-9)
    names, halves = [p.name for p in hand.players], [w[1] for w in GOLDEN[rel, hand_id]]
    winners = json.loads(hand.to_json())[0]["summary"]["winners"]
    assert [(names[w["player_id"]], w["half"], w["amount"]) for w in winners] \
        == [w[:3] for w in GOLDEN[rel, hand_id]]
    rows = pa.table(hand.to_arrow().actions).to_pylist()
    assert [r["half"] for r in rows if r["action"].startswith("Collect")] == halves
    assert str(hand).count("half: High") == 2 * halves.count("high")  # collection and winner


def collections(hand: dict):
    """The native JSON's collections of a hand, every round's."""
    rounds = [hand["header"], hand["preflop"], hand["summary"]] + [
        s for k in ("flops", "turns", "rivers", "showdowns", "sevenths") for s in hand.get(k, [])]
    return [a for r in rounds for a in r["actions"] if a["type"] == "collect_pot"]


@needs_corpus
@pytest.mark.parametrize("site", sorted(p.name for p in CORPUS.iterdir() if p.is_dir())
                         if CORPUS.is_dir() else [])
def test_halves_only_on_hi_lo_collections_and_their_winners(site):
    for path in sorted(p for p in (CORPUS / site).rglob("*") if p.suffix in (".txt", ".xml")):
        try:
            view = handscribe.parse_path(str(path), encoding="auto", errors="skip")
        except RuntimeError:  # a file of no site the reader knows (a dump, a log)
            continue
        for i, hand in enumerate(json.loads(view.to_json())):
            halves = Counter((a["player_id"], a["amount"], a["half"])
                             for a in collections(hand) if "half" in a)
            winners = Counter((w["player_id"], w["amount"], w["half"])
                              for w in hand["summary"]["winners"] if "half" in w)
            assert halves == winners, (path.name, hand["header"]["id"])
            if halves:
                assert hand["header"]["game_type"].endswith("HiLo")
                assert {k for _, _, k in halves} <= {"high", "low"}
                h = view[i]
                assert sum(p.net for p in h.players) + h.rake + h.jackpot \
                    == pytest.approx(0, abs=1e-9)
