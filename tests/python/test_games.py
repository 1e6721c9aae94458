"""Stud, razz, the draw games, badugi and the mixed rotations: every such hand of the corpus is
returned (pinned per file) and its money adds up, its rounds are named for its game in every
output, and golden hands are checked field by field."""
import json

import pytest

import handscribe
from conftest import CORPUS, corpus_files, needs_corpus

pa = pytest.importorskip("pyarrow")

# file -> hands returned, every one of a game without a board or of a mixed rotation
PINS = {
    "stats_reference/pokerstars/cash__7-StudHL-USD-0.04-0.08-200911.Cardtest.txt": 1,
    "stats_reference/pokerstars/cash__2-7_Single_Draw-NL-USD-0.25-0.50-201106.standspat.txt": 1,
    "pokerstars_other/jejellyroll-fr_fpdb-3/Razz-8max-USD-200-15-201009.bracket.in.alias.txt": 1,
    "pokerstars_other/jejellyroll-fr_fpdb-3/LBad-USD-SNG8-201011.txt": 104,
    "pokerstars_other/jejellyroll-fr_fpdb-3/LBad-USD-MTT8-201011.txt": 78,
    "pokerstars_tournaments/jejellyroll-fr_fpdb-3/MPLO-6max-MTT-USD-27-201605.txt": 2,
    **{f"winamax/jejellyroll-fr_fpdb-3/{name}": 1 for name in (
        "7-Stud-6max-EUR-25-50-201611._8games_.negative.bet.txt",
        "7-Stud-6max-play-0.5-0.10-201606.export.txt",
        "7-StudHL-6max-EUR-25-50-201611._8games_.txt",
        "Razz-6max-EUR-25-50-201611._8games_.txt",
        "Triple_Draw_2-7-FL-6max-EUR-25-50-201611._8games_.txt",
        "Triple_Draw_2-7-FL-6max-play-0.50-1.00-201610.export.txt")},
    "ongame/jejellyroll-fr_fpdb-3/5-Carddraw-PL-USD-1.00-1.00-201111.No.Street.Delimiter.txt": 1,
    "ongame/jejellyroll-fr_fpdb-3/5-Carddraw-USD-1-2-201109.Goalwin.Sample.txt": 10,
    "ongame/jejellyroll-fr_fpdb-3/7-Stud-USD-1.00-2.00-201212.big.bring.txt": 1,
    "ipoker/jejellyroll-fr_fpdb-3/7-StudHL-EUR-0.05-0.10-201405.txt": 5,
    **{f"kingsclub/jejellyroll-fr_fpdb-3/cash__{name}.txt": 1 for name in (
        "2-7_Drawmaha-FL-USD-60-120-202108.showdown", "2-7_Drawmaha-FL-USD-60-120-202108",
        "2-7_Razz-USD-22-44-202101", "2-7_Razz-USD-500-1000-202102.multi.pot.failure",
        "A5-1-Draw-Limit-USD-50-100-202102", "Badacey-Limit-USD-22-44-202101",
        "Badeucey-Limit-USD-22-44-202101")},
}


def load(rel):
    view = handscribe.parse_path(str(CORPUS / rel), encoding="auto")
    return view, json.loads(handscribe.to_json(view)), view.to_arrow()


@needs_corpus
@pytest.mark.parametrize("rel", sorted(PINS))
def test_every_hand_is_returned_and_its_money_adds_up(rel):
    view, doc, tables = load(rel)
    assert len(view) == PINS[rel]
    hands = pa.table(tables.hands).to_pylist()
    players = pa.table(tables.players).to_pylist()
    for h in hands:
        net = sum(p["net"] for p in players if p["hand_id"] == h["hand_id"])
        assert net + h["rake"] == pytest.approx(0, abs=1e-9), h["hand_id"]
    for h in doc:
        game = h["header"]["game_type"]
        assert game not in ("HoldEm",), rel
        # the board stays empty but in the flop games (Drawmaha's draw is on its flop); only
        # stud has a seventh street
        flop_game = game in ("Drawmaha27", "Omaha", "FiveCardOmaha")
        assert flop_game or all(not s["cards"] for k in ("flops", "turns", "rivers") for s in h[k])
        assert ("sevenths" in h) == (not flop_game)


def actions_of(tables, hand_id):
    rows = pa.table(tables.actions).to_pylist()
    players = {(p["hand_id"], p["player"]): p["name"]
               for p in pa.table(tables.players).to_pylist()}
    return [(r["street"], players.get((hand_id, r["player"])), r["action"], r["amount"],
             r["cards"]) for r in rows if r["hand_id"] == hand_id]


@needs_corpus
def test_stud_hi_lo_showdown_with_a_bring_in_and_a_split_pot():
    view, doc, tables = load("stats_reference/pokerstars/cash__7-StudHL-USD-0.04-0.08-200911"
                             ".Cardtest.txt")
    [h] = doc
    assert h["header"]["game_type"] == "SevenCardStudHiLo"
    assert h["header"]["bet_type"] == "Limit"
    assert [s["id"] for s in h["flops"] + h["turns"] + h["rivers"] + h["sevenths"]
            + h["showdowns"]] == [0, 1, 2, 3, 4]
    acts = actions_of(tables, "35874676388")
    assert acts[8] == ("third", "u.pressure", "DealtUp", None, ["Td"])
    assert acts[12:14] == [("third", "Hero", "Dealt", None, ["7c", "3s"]),
                           ("third", "Hero", "DealtUp", None, ["5h"])]
    assert acts[17] == ("third", "denny501", "BringIn", 0.02, None)
    assert ("seventh", "Hero", "Dealt", None, ["4d"]) in acts
    assert ("sixth", "Soroka69", "DealtUp", None, ["2s"]) in acts
    players = {p["name"]: p for p in pa.table(tables.players).to_pylist()}
    assert players["Hero"]["is_hero"] and players["Hero"]["hole_cards"] == ["7c", "3s"]
    # the hi half and the lo half, $0.40 each, out of $0.84 with $0.04 rake
    assert [(w["player_id"], w["amount"]) for w in h["summary"]["winners"]] == [(2, 0.4), (4, 0.4)]
    assert {n: round(p["net"], 2) for n, p in players.items() if p["net"]} == {
        "u.pressure": -0.01, "123smoothie": -0.03, "gashpor": 0.13, "denny501": -0.03,
        "Hero": 0.13, "TomSludge": -0.01, "Soroka69": -0.19, "rdiezchang": -0.03}
    assert all(p["position"] is None for p in players.values())
    assert not players["denny501"]["vpip"] and players["Hero"]["vpip"]
    [hand] = view
    assert hand.mixed is None and hand.game == "SevenCardStudHiLo"


def streets_of(acts) -> dict:
    """Each street's actions in short: "<player> <kind>[ <amount>][ <cards>]", joined by "; "."""
    out = {}
    for street, name, kind, amount, cards in acts:
        words = [name, kind] + ([f"{amount:g}"] if amount is not None else []) + (cards or [])
        out[street] = (out[street] + "; " if street in out else "") + " ".join(words)
    return out


@needs_corpus
def test_bovada_stud_without_street_lines():
    """A card dealt after a round's betting opens the next street; a show holds all seven."""
    _view, doc, tables = load("bovada/jejellyroll-fr_fpdb-3/7-Stud-USD-2.00-4.00-201205.txt")
    h, hd = doc[2], doc[2]["header"]
    assert (hd["id"], hd["game_type"], hd["bet_type"], hd["ante"], [
        (p["name"], p["seat"], p["chips"]) for p in hd["players"]]) == (
        "2604291699", "SevenCardStud", "Limit", 0.01,
        [("Seat+1", 1, 0.41), ("Seat+3", 3, 0.33), ("Seat+5", 5, 0.82)])
    assert streets_of(actions_of(tables, "2604291699")) == {
        "predeal": "Seat+1 Ante 0.01; Seat+3 Ante 0.01; Seat+5 Ante 0.01",
        "third": "Seat+1 Dealt 6c Th; Seat+1 DealtUp Ks; Seat+3 Dealt 8c Qs; Seat+3 DealtUp Qc; "
                 "Seat+5 Dealt 9d 8s; Seat+5 DealtUp Jd; Seat+5 BringIn 0.02; Seat+1 Fold; "
                 "Seat+3 Call 0.02",
        # "Raises $0.10": the total
        "fourth": "Seat+3 DealtUp 3d; Seat+5 DealtUp 5c; Seat+3 Check; Seat+5 Bet 0.05; "
                  "Seat+3 Raise 0.1; Seat+5 Call 0.05",
        "fifth": "Seat+3 DealtUp Ts; Seat+5 DealtUp Td; Seat+3 Bet 0.1; Seat+5 Call 0.1",
        "sixth": "Seat+3 DealtUp 4s; Seat+5 DealtUp Ac; Seat+5 Check; Seat+3 Check",
        "seventh": "Seat+3 Dealt 2h; Seat+5 Dealt Js; Seat+5 Check; Seat+3 Check; "
                   "Seat+5 Show 9d 8s Jd 5c Td Ac Js; Seat+3 Show 8c Qs Qc 3d Ts 4s 2h; "
                   "Seat+3 CollectMainPot 0.45"}
    assert (h["summary"]["total_pot"], h["summary"]["rake"]) == (0.47, 0.02)
    players = {p["name"]: p for p in pa.table(tables.players).to_pylist()
               if p["hand_id"] == "2604291699"}
    assert {n: round(p["net"], 2) for n, p in players.items()} == {
        "Seat+1": -0.01, "Seat+3": 0.22, "Seat+5": -0.23}
    assert players["Seat+3"]["is_hero"] and players["Seat+3"]["hole_cards"] == ["8c", "Qs"]
    assert all(p["position"] is None for p in players.values())
    # with street lines: the first raise of the bring-in completes it; hi and lo each collected
    _view, doc, tables = load("bovada/jejellyroll-fr_fpdb-3/7-StudHL-USD-RING-$5-$10,$1.25Ante"
                              "-201404.txt")
    assert "Seat+5 BringIn 2.5; Seat+6 Fold; Seat+7 Fold; Seat+8 Complete 5; Seat+1 Fold; " \
        "Seat+2 Call 5" in streets_of(actions_of(tables, "2844383701"))["third"]
    assert [(w["player_id"], w["amount"]) for w in doc[0]["summary"]["winners"]] == [
        (1, 73.5), (4, 73.5)]


WINNING = "winning/jejellyroll-fr_fpdb-3/"


@needs_corpus
@pytest.mark.parametrize("rel, hand_id, street, want", [
    # the older layout: one card a line, the hero's first two down, a hidden card no action;
    # "raises (1)" after the bring-in completes it
    (WINNING + "7-Stud-8max-USD-1.00-2.00-201608.HH00000000_G0.txt", "693977839", "third",
     "ChazDazzle Dealt Js 5s; ChazDazzle DealtUp Ac; Nee DealtUp 8d; Nee BringIn 0.4; "
     "ChazDazzle Complete 1; Nee Call 0.6"),
    (WINNING + "7Stud-8max-USD-0.04-0.08-201907.CASHID-TN-Gorham_GAMETYPE.txt", "85198832",
     "seventh", "Hero Dealt Jc; Player2 Bet 0.08; Hero Fold; Player2 UncalledBetReturned 0.08"),
])
def test_winning_stud(rel, hand_id, street, want):
    _view, _doc, tables = load(rel)
    assert streets_of(actions_of(tables, hand_id))[street] == want


@needs_corpus
def test_razz_hand():
    _view, doc, tables = load("pokerstars_other/jejellyroll-fr_fpdb-3/Razz-8max-USD-200-15-201009"
                             ".bracket.in.alias.txt")
    [h] = doc
    assert h["header"]["game_type"] == "Razz" and h["header"]["is_tournament"]
    acts = actions_of(tables, "49382949075")
    assert acts[8:12] == [("third", "Player0", "DealtUp", None, ["Jh"]),
                          ("third", "Player1", "DealtUp", None, ["3d"]),
                          ("third", "Hero", "Dealt", None, ["3c", "Ac"]),
                          ("third", "Hero", "DealtUp", None, ["5s"])]
    assert ("third", "Player5", "BringIn", 15.0, None) in acts
    # a name with brackets of its own
    assert ("fifth", "PC [Mittel]", "DealtUp", None, ["4s"]) in acts
    show = [a for a in h["showdowns"][0]["actions"] if a["type"] == "show"]
    assert [len(a["cards"]) for a in show] == [7, 7]
    players = {p["name"]: p for p in pa.table(tables.players).to_pylist()}
    assert players["PC [Mittel]"]["net"] == 1145 - 10 - 200 - 50 - 100  # ante, 3rd, 4th, 5th


@needs_corpus
def test_badugi_with_three_draws():
    view, doc, tables = load("pokerstars_other/jejellyroll-fr_fpdb-3/LBad-USD-SNG8-201011.txt")
    h = doc[0]
    assert h["header"]["game_type"] == "Badugi"
    acts = actions_of(tables, h["header"]["id"])
    draws = [a for a in acts if a[2] in ("Discard", "Draw", "StandPat")]
    assert draws == [
        ("first_draw", "Player3", "StandPat", None, None),
        ("first_draw", "Player5", "Discard", None, ["3c", "Qc"]),
        ("first_draw", "Player6", "Draw", 1.0, None),
        ("second_draw", "Player5", "Discard", None, ["3h"]),
        ("second_draw", "Player6", "Draw", 1.0, None),
        ("third_draw", "Player5", "Discard", None, ["9h"]),
        ("third_draw", "Player6", "Draw", 1.0, None)]
    assert ("first_draw", "Player5", "Dealt", None, ["2c", "Ah"]) in acts
    assert [a["count"] for a in h["flops"][0]["actions"] if a["type"] == "draw"] == [1]
    assert h["showdowns"][0]["actions"][0]["cards"] == ["5h", "2c", "Ah", "9d"]
    assert view[0].hero.name == "Player5"


@needs_corpus
def test_single_draw_without_a_draw_line():
    _view, doc, _tables = load("stats_reference/pokerstars/cash__2-7_Single_Draw-NL-USD-0.25-0.50"
                             "-201106.standspat.txt")
    [h] = doc
    assert h["header"]["game_type"] == "SingleDraw27"
    # the draw opens the round after the deal
    assert [a["type"] for a in h["flops"][0]["actions"]] == ["draw", "stand_pat", "check", "check"]
    assert [a["type"] for a in h["preflop"]["actions"]][-2:] == ["call", "fold"]


@needs_corpus
def test_mixed_rotation_is_kept_beside_the_game_of_the_hand():
    view, doc, _ = load("pokerstars_tournaments/jejellyroll-fr_fpdb-3/MPLO-6max-MTT-USD-27"
                        "-201605.txt")
    assert [(h.mixed, h.game) for h in view] == [("Mixed Omaha", "FiveCardOmaha"),
                                                 ("Mixed Omaha", "Omaha")]
    assert [h["header"]["mixed"] for h in doc] == ["Mixed Omaha", "Mixed Omaha"]


HORSE = """PokerStars Game #27853487426: HORSE (Razz Limit, $0.10/$0.20) - 2009/05/06 7:31:42 ET
Table 'Aase II' 8-max
Seat 1: Ann ($5 in chips)
Seat 2: Bob ($5 in chips)
Ann: posts the ante $0.02
Bob: posts the ante $0.02
*** 3rd STREET ***
Dealt to Ann [Kh]
Dealt to Bob [2c 3d 4s]
Ann: brings in for $0.05
Bob: completes it to $0.10
Ann: folds
Uncalled bet ($0.05) returned to Bob
Bob collected $0.14 from pot
Bob: doesn't show hand
*** SUMMARY ***
Total pot $0.14 | Rake $0
Seat 1: Ann folded on the 3rd Street
Seat 2: Bob collected ($0.14)



PokerStars Game #27853487427: HORSE (Hold'em Limit, $0.10/$0.20) - 2009/05/06 7:32:42 ET
Table 'Aase II' 8-max Seat #1 is the button
Seat 1: Ann ($4.93 in chips)
Seat 2: Bob ($5.07 in chips)
Ann: posts small blind $0.05
Bob: posts big blind $0.10
*** HOLE CARDS ***
Dealt to Bob [Ah Kh]
Ann: folds
Uncalled bet ($0.05) returned to Bob
Bob collected $0.10 from pot
*** SUMMARY ***
Total pot $0.10 | Rake $0
Seat 1: Ann (button) (small blind) folded before Flop
Seat 2: Bob (big blind) collected ($0.10)
"""


def test_horse_rotation_change():
    view = handscribe.parse_str(HORSE)
    assert [(h.mixed, h.game, h.bet_type) for h in view] == [("HORSE", "Razz", "Limit"),
                                                             ("HORSE", "HoldEm", "Limit")]
    tables = view.to_arrow()
    players = pa.table(tables.players).to_pylist()
    assert [(p["name"], round(p["net"], 2), p["vpip"], p["pfr"]) for p in players][:2] == [
        ("Ann", -0.07, False, False), ("Bob", 0.07, True, True)]
    hands = pa.table(tables.hands).to_pylist()
    assert [(h["small_blind"], h["big_blind"], h["button_seat"], h["game"], h["mixed"])
            for h in hands] == [(0.1, 0.2, None, "Razz", "HORSE"), (0.1, 0.2, 1, "HoldEm", "HORSE")]


WINAMAX = "winamax/jejellyroll-fr_fpdb-3/"
ONGAME = "ongame/jejellyroll-fr_fpdb-3/"


@needs_corpus
def test_winamax_triple_draw_with_its_draws():
    _view, doc, tables = load(WINAMAX + "Triple_Draw_2-7-FL-6max-play-0.50-1.00-201610.export.txt")
    [h] = doc
    assert (h["header"]["game_type"], h["header"]["bet_type"]) == ("TripleDraw27", "Limit")
    # "discard 2 cards" is a draw of two, "discard 0 card" standing pat
    draws = [(s, [(a["player_id"], a["type"], a.get("count")) for a in h[s][0]["actions"]
                  if a["type"] in ("draw", "stand_pat")]) for s in ("flops", "turns", "rivers")]
    assert draws == [("flops", [(4, "draw", 2), (5, "draw", 2), (0, "draw", 4), (1, "draw", 2),
                                (2, "stand_pat", None)]),
                     ("turns", [(5, "draw", 2), (0, "draw", 2), (1, "draw", 1),
                                (2, "stand_pat", None)]),
                     ("rivers", [(0, "draw", 1), (1, "draw", 1), (2, "stand_pat", None)])]
    # the betting after each draw ("*** SECOND-BET ***") stays in the draw's street
    assert [a["type"] for a in h["turns"][0]["actions"]][4:] == ["check", "bet", "call", "call",
                                                                 "fold"]
    assert [a["type"] for a in h["showdowns"][0]["actions"]] == ["show"] * 3 + ["collect_pot"]
    players = {p["name"]: p for p in pa.table(tables.players).to_pylist()}
    assert {n: round(p["net"], 2) for n, p in players.items()} == {
        "Player4": -3.5, "Player3": -3.5, "Player2": 8.65, "Player1": 0.0, "Player0": -1.0,
        "Hero": -1.5}
    assert (players["Player1"]["position"], players["Hero"]["position"]) == ("BTN", "BB")


@needs_corpus
def test_winamax_stud_completion_and_the_bringers_raise():
    # "raises 25€ to 25€" over a bring-in of 10€ completes it; the bringer's "raises -6.10€ to
    # 18.90€" puts 18.90€ on top of the bring-in: all in, 3.90€ over the completion
    _view, _doc, tables = load(WINAMAX + "7-Stud-6max-EUR-25-50-201611._8games_.negative.bet.txt")
    acts = actions_of(tables, "9250793-1578-1479092164")
    assert [a for a in acts if a[0] == "third" and a[2] not in ("Dealt", "DealtUp")] == [
        ("third", "Player0", "BringIn", 10.0, None), ("third", "Player1", "Complete", 25.0, None),
        ("third", "Hero", "Fold", None, None), ("third", "Player0", "Raise", 3.9, None),
        ("third", "Player1", "Call", 3.9, None)]
    assert ("sixth", "Player0", "DealtUp", None, ["Ad"]) in acts
    _view, _doc, older = load(WINAMAX + "7-Stud-6max-play-0.5-0.10-201606.export.txt")
    # "Seat #0 is the button" in the older layout: stud has none
    assert [h["button_seat"] for h in pa.table(older.hands).to_pylist()] == [None]
    players = {p["name"]: p for p in pa.table(tables.players).to_pylist()}
    assert {n: round(p["net"], 2) for n, p in players.items()} == {
        "Player0": 36.4, "Player1": -33.9, "Hero": -5.0}
    assert players["Player1"]["vpip"] and players["Player1"]["pfr"]


@needs_corpus
def test_ongame_stud_with_a_big_bring_in():
    view, doc, tables = load(ONGAME + "7-Stud-USD-1.00-2.00-201212.big.bring.txt")
    assert doc[0]["header"]["game_type"] == "SevenCardStud"
    acts = actions_of(tables, "292493407-77")
    # "Hero big bring in $1" opens for a whole bet: a completion
    assert acts[:8] == [("predeal", "Hero", "Ante", 0.1, None),
                        ("predeal", "Player0", "Ante", 0.1, None),
                        ("third", "Hero", "Dealt", None, ["5c", "2h"]),
                        ("third", "Hero", "DealtUp", None, ["2s"]),
                        ("third", "Player0", "DealtUp", None, ["7d"]),
                        ("third", "Hero", "Complete", 1.0, None),
                        ("third", "Player0", "Raise", 2.0, None),
                        ("third", "Hero", "Call", 1.0, None)]
    assert ("sixth", "Player0", "DealtUp", None, ["As"]) in acts
    assert ("seventh", "Hero", "Dealt", None, ["Ah"]) in acts
    assert len(doc[0]["summary"]["actions"][0]["cards"]) == 7
    players = {p["name"]: p for p in pa.table(tables.players).to_pylist()}
    assert {n: (round(p["net"], 2), p["position"]) for n, p in players.items()} == {
        "Hero": (-5.1, None), "Player0": (4.6, None)}
    assert view[0].hero.name == "Hero"


@needs_corpus
def test_ongame_draw_of_the_logged_in_player():
    # "New hand for Hero" after the draw: the card thrown away and the one dealt for it
    _view, doc, tables = load(ONGAME + "5-Carddraw-USD-1-2-201109.Goalwin.Sample.txt")
    h = next(h for h in doc if h["header"]["id"] == "174428515-250")
    assert h["header"]["bet_type"] == "Limit"
    acts = actions_of(tables, "174428515-250")
    assert [a for a in acts if a[0] == "draw"] == [
        ("draw", "Player4", "Draw", 1.0, None), ("draw", "Hero", "Discard", None, ["5h"]),
        ("draw", "Hero", "Dealt", None, ["7c"]), ("draw", "Player4", "Check", None, None),
        ("draw", "Hero", "Check", None, None)]


FT = "fulltiltpoker/jejellyroll-fr_fpdb-3/"
FT_BOARDLESS = [FT + p.name for p in corpus_files("fulltiltpoker")
                if any(w in p.name for w in ("Stud", "Razz", "Draw", "draw", "Badugi"))]
STUD = {"third", "fourth", "fifth", "sixth", "seventh"}
TRIPLE = {"deal", "first_draw", "second_draw", "third_draw"}
ROUNDS = {"SevenCardStud": STUD, "SevenCardStudHiLo": STUD, "Razz": STUD,
          "FiveCardStud": {"second", "third", "fourth", "fifth"},
          "FiveCardDraw": {"deal", "draw"}, "SingleDraw27": {"deal", "draw"},
          "TripleDraw27": TRIPLE, "TripleDrawA5": TRIPLE, "Badugi": TRIPLE, "Razz27": STUD,
          "SingleDrawA5": {"deal", "draw"}, "Badacey": TRIPLE, "Badeucey": TRIPLE}


@needs_corpus
@pytest.mark.parametrize("rel", sorted(PINS) + FT_BOARDLESS)
def test_rounds_are_named_for_the_game_in_every_output(rel):
    view, _doc, tables = load(rel)
    for h in view:
        names = ROUNDS.get(h.game, {"preflop", "flop", "turn", "river"}) | {"predeal", "showdown"}
        assert {a.street for a in h.actions} <= names
        assert {p.all_in_street for p in h.players} - {None} <= names
        # an up card is no hole card; a draw's number of cards is its amount
        for p in h.players:
            up = [a.cards for a in h.actions if a.kind == "DealtUp" and a.player.name == p.name]
            assert p.hole_cards is None or p.hole_cards not in up
        assert all(a.amount in range(1, 6) for a in h.actions if a.kind == "Draw")
    actions = pa.table(tables.actions).to_pylist()
    players = pa.table(tables.players).to_pylist()
    assert [r["street"] for r in actions] == [a.street for h in view for a in h.actions]
    assert [r["all_in_street"] for r in players] == [
        p.all_in_street for h in view for p in h.players]


@needs_corpus
def test_full_tilt_razz_all_in_on_the_bring_in():
    view, doc, tables = load(FT + "tour__Razz-USD-HUSNG-2-201102.Villain.allin.on.bringing.txt")
    [h], [hand] = doc, view
    hd = h["header"]
    assert (hd["site"], hd["game_type"], hd["bet_type"], hd["id"], hd["hero_id"]) == (
        "FullTiltPoker", "Razz", "Limit", "28333847000", 1)
    assert (hd["small_blind"], hd["big_blind"], hd["ante"], hd["tournament"]["id"]) == (
        80, 160, 15, "220338000")
    assert [(s["id"], len(s["actions"])) for s in h["flops"] + h["turns"] + h["rivers"]
            + h["sevenths"]] == [(0, 2), (1, 2), (2, 2), (3, 5)]
    acts = actions_of(tables, "28333847000")
    assert acts[2:8] == [("third", "Villain", "DealtUp", None, ["Kc"]),
                         ("third", "Hero", "Dealt", None, ["5d", "6s"]),
                         ("third", "Hero", "DealtUp", None, ["2s"]),
                         ("third", "Villain", "BringIn", 9.0, None),
                         ("third", "Hero", "Call", 9.0, None),
                         ("third", "Villain", "Show", None, ["As", "7c", "Kc"])]
    assert acts[15:] == [("seventh", "Villain", "Dealt", None, ["Tc"]),
                         ("seventh", "Hero", "Dealt", None, ["Qc"]),
                         ("seventh", "Villain", "Show", None,
                          ["As", "7c", "Kc", "Js", "4s", "7d", "Tc"]),
                         ("seventh", "Hero", "Show", None,
                          ["5d", "6s", "2s", "Td", "Jh", "2h", "Qc"]),
                         ("seventh", "Hero", "CollectMainPot", 48.0, None)]
    assert [(p.name, p.hole_cards, p.invested, p.net, p.all_in_street) for p in hand.players] == [
        ("Villain", ("As", "7c", "Kc"), 24, -24, "third"), ("Hero", ("5d", "6s"), 24, 24, None)]
    assert [p.up_cards for p in hand.players] == [("Kc", "Js", "4s", "7d"),
                                                  ("2s", "Td", "Jh", "2h")]
    assert hand.hero.name == "Hero" and hand.board == ()
    assert hand.summary().startswith(
        "FullTiltPoker #28333847000 tournament #220338000 FLRazz 80/160")


@needs_corpus
def test_ipoker_stud_streets_bring_in_and_raises_to_a_total():
    view, doc, tables = load("ipoker/jejellyroll-fr_fpdb-3/7-StudHL-EUR-0.05-0.10-201405.txt")
    assert {(h.game, h.bet_type) for h in view} == {("SevenCardStudHiLo", "Limit")}
    assert {h["button_seat"] for h in pa.table(tables.hands).to_pylist()} == {None}
    # a bet on third street completes; the other player's down cards are known at the showdown
    acts = actions_of(tables, "5710054735")
    assert acts[:7] == [("predeal", "Player0", "Ante", 0.01, None),
                        ("predeal", "Hero", "Ante", 0.01, None),
                        ("third", "Player0", "DealtUp", None, ["Kd"]),
                        ("third", "Hero", "Dealt", None, ["Ac", "5d"]),
                        ("third", "Hero", "DealtUp", None, ["4h"]),
                        ("third", "Hero", "Complete", 0.05, None),
                        ("third", "Player0", "Call", 0.05, None)]
    assert ("seventh", "Hero", "Dealt", None, ["7s"]) in acts
    assert ("showdown", "Player0", "Show", None, ["7d", "4d", "Kd", "3c", "9h", "Ad", "Jc"]) in acts
    # type 16 brings in; type 23 raises to a total (the chips added are stored); 7 is all in
    acts = [a for a in actions_of(tables, "5710056302") if a[2] not in ("DealtUp", "Dealt")]
    assert acts[2:4] == [("third", "Player0", "BringIn", 0.02, None),
                         ("third", "Hero", "Call", 0.02, None)]
    assert acts[8:15] == [("sixth", "Hero", "Bet", 0.1, None),
                          ("sixth", "Player0", "Raise", 0.2, None),
                          ("sixth", "Hero", "Raise", 0.2, None),
                          ("sixth", "Player0", "Call", 0.1, None),
                          ("seventh", "Hero", "Bet", 0.1, None),
                          ("seventh", "Player0", "RaiseAllIn", 0.11, None),
                          ("seventh", "Hero", "Call", 0.01, None)]
    # hidden down cards ("X X D2") leave the up card only, and no show
    acts = actions_of(tables, "5710077134")
    assert [a for a in acts if a[1] == "Player0" and a[2] != "Ante"] == [
        ("third", "Player0", "DealtUp", None, ["2d"]), ("third", "Player0", "BringIn", 0.02, None),
        ("third", "Player0", "UncalledBetReturned", 0.02, None)]
    players = pa.table(tables.players).to_pylist()
    assert [(p["name"], round(p["net"], 2), p["position"]) for p in players[2:4]] == [
        ("Player0", -0.59, None), ("Hero", 0.55, None)]
    assert doc[1]["summary"]["rake"] == 0.04


KINGS = "kingsclub/jejellyroll-fr_fpdb-3/cash__"
EVERLEAF = "everleaf/jejellyroll-fr_fpdb-3/cash__7-Stud-"


@needs_corpus
def test_kingsclub_split_draw_games_2_7_razz_and_drawmaha():
    # Badacey: three draws, the pot split between its badugi and its A-5 hands
    view, doc, _tables = load(KINGS + "Badacey-Limit-USD-22-44-202101.txt")
    [h], [hand] = doc, view
    assert (hand.game, hand.bet_type, hand.summary()[:30]) == (
        "Badacey", "Limit", "KingsClub #40201390 FLBadacey ")
    assert [(a.street, a.kind, a.amount) for a in hand.actions if a.player.name == "Player1"
            and a.kind in ("Draw", "StandPat")] == [
        ("first_draw", "Draw", 2), ("second_draw", "Draw", 1), ("third_draw", "Draw", 1)]
    assert [(w["player_id"], w["amount"]) for w in h["summary"]["winners"]] == [(1, 168), (2, 168)]
    assert [(p.name, p.invested, p.net, p.vpip, p.position) for p in hand.players][:3] == [
        ("Player0", 5.5, -5.5, False, "BTN"), ("Hero", 159.5, 8.5, True, "SB"),
        ("Player1", 159.5, 8.5, True, "BB")]
    # A-5 single draw written among the first round's lines: the draw opens its own round
    [hand] = load(KINGS + "A5-1-Draw-Limit-USD-50-100-202102.txt")[0]
    assert hand.game == "SingleDrawA5"
    assert [(a.street, a.kind) for a in hand.actions][5:9] == [
        ("deal", "Call"), ("draw", "Discard"), ("draw", "Dealt"), ("draw", "StandPat")]
    # 2-7 razz is stud: no positions, its streets named third to seventh
    [hand] = load(KINGS + "2-7_Razz-USD-22-44-202101.txt")[0]
    assert hand.game == "Razz27" and {p.position for p in hand.players} == {None}
    assert [(p.name, p.net) for p in hand.players if p.net > 0] == [("Player0", 259.64)]
    assert ("third", "BringIn", 16.58) in [(a.street, a.kind, a.amount) for a in hand.actions]
    # Drawmaha: a board, and the draw on the flop
    [hand] = load(KINGS + "2-7_Drawmaha-FL-USD-60-120-202108.showdown.txt")[0]
    assert hand.game == "Drawmaha27" and hand.board == ("3c", "5c", "7s", "Kc", "Jd")
    assert [(a.street, a.player.name, a.kind, a.cards) for a in hand.actions
            if a.kind in ("Draw", "Discard")] == [("flop", "Player0", "Draw", None),
                                                    ("flop", "Hero", "Discard", ("8d", "Ks"))]
    assert [(p.net, p.won) for p in hand.players] == [(-0.5, 484.5), (-0.5, 484.5)]


MERGE = "merge/jejellyroll-fr_fpdb-3/cash__"


def merge_acts(hand, kinds):
    return [(a.street, a.player.name, a.kind, a.amount, a.cards) for a in hand.actions
            if a.kind in kinds]


@needs_corpus
def test_merge_triple_draw_badugi_and_razz():
    # 2-7 triple draw: each DRAW's number of cards, the hero's new cards after it
    view, doc, _ = load(MERGE + "3-Draw-Limit-USD-1-2-201104.Sample.with.showdown.txt")
    [hand], [h] = view, doc
    assert (hand.game, hand.bet_type, hand.hero.name, h["header"]["dealer_id"]) == (
        "TripleDraw27", "Limit", "Hero", 0)
    assert merge_acts(hand, ("Dealt", "Draw", "StandPat")) == [
        ("deal", "Hero", "Dealt", None, ("Qh", "Tc", "4s", "6h", "7h")),
        ("first_draw", "Hero", "Draw", 2, None), ("first_draw", "Villain", "Draw", 1, None),
        ("first_draw", "Hero", "Dealt", None, ("9d", "9c")),
        ("second_draw", "Hero", "Draw", 1, None),
        ("second_draw", "Villain", "StandPat", None, None),
        ("second_draw", "Hero", "Dealt", None, ("3c",)),
        ("third_draw", "Hero", "StandPat", None, None),
        ("third_draw", "Villain", "StandPat", None, None)]
    assert [a["cards"] for a in h["showdowns"][0]["actions"]] == [
        ["2d", "6c", "4c", "8s", "7c"], ["3c", "9c", "4s", "6h", "7h"]]
    assert [(p.name, p.net) for p in hand.players] == [("Villain", 6.5), ("Hero", -7)]
    # badugi at half pot limit: antes, three draws, the last bet returned
    [hand] = load(MERGE + "Badugi-HPL-USD-0.50-0.50-201104.Sample.txt")[0]
    assert (hand.game, hand.bet_type, hand.ante) == ("Badugi", "PotLimit", 0.5)
    assert merge_acts(hand, ("Draw", "Dealt"))[:5] == [
        ("deal", "Hero", "Dealt", None, ("Qs", "2s", "Jh", "2c")),
        ("first_draw", "Hero", "Draw", 3, None), ("first_draw", "Player2", "Draw", 3, None),
        ("first_draw", "Player3", "Draw", 2, None),
        ("first_draw", "Hero", "Dealt", None, ("Ts", "4c", "As"))]
    assert [(p.name, p.net) for p in hand.players] == [
        ("Hero", -0.5), ("Player2", -1.25), ("Player3", 1.63)]
    # razz: the others' up cards only, the hero's down and up cards, bring-in and completion
    [hand] = load(MERGE + "Razz-USD-0.50-1.00-201111.allIn.txt")[0]
    assert (hand.game, {p.position for p in hand.players}) == ("Razz", {None})
    assert merge_acts(hand, ("Dealt", "DealtUp", "BringIn", "Complete"))[:6] == [
        ("third", "Player1", "DealtUp", None, ("6c",)),
        ("third", "Player2", "DealtUp", None, ("5c",)),
        ("third", "Hero", "Dealt", None, ("As", "7h")), ("third", "Hero", "DealtUp", None, ("Kc",)),
        ("third", "Hero", "BringIn", 0.1, None), ("third", "Player1", "Complete", 0.5, None)]
    assert merge_acts(hand, ("Dealt", "RaiseAllIn"))[1:] == [
        ("fourth", "Hero", "RaiseAllIn", 0.91, None),
        ("seventh", "Player1", "Dealt", None, ("9d",)), ("seventh", "Hero", "Dealt", None, ("8s",))]
    assert [len(a.cards) for a in hand.actions if a.kind == "Show"] == [7, 7]
    assert [(p.name, p.net) for p in hand.players] == [
        ("Hero", -2.96), ("Player1", 4.62), ("Player2", -2.05)]


@needs_corpus
def test_merge_horse_rotation_and_the_game_of_each_hand():
    path = CORPUS / (MERGE + "HORSE-8max-USD-0.25-0.50-201409.new.format.txt")
    view, doc, _ = load(path.relative_to(CORPUS))
    assert {(h.mixed, h.game) for h in view} == {("HORSE", "SevenCardStudHiLo")}
    # the hi and lo halves of one winner, each its own collection
    assert [(w["player_id"], w["amount"]) for w in doc[0]["summary"]["winners"]] == [
        (4, 2.3), (4, 2.29)]
    # the game turns with the hand's code; a stud code not known is seven-card stud
    text = path.read_text(encoding="utf-8")
    last = text.rindex("<game ")
    holdem = ('<game id="1-1" starttime="20140911020000" gametype="75" multigametype="2" '
              'data="d|T|1|1-1|false"><players dealer="1"><player seat="1" nickname="A" '
              'balance="1.00"/><player seat="2" nickname="B" balance="2.00"/></players><round '
              'id="BLINDS"><event sequence="1" type="SMALL_BLIND" player="1" amount="0.10"/><event '
              'sequence="2" type="BIG_BLIND" player="2" amount="0.25"/></round><round '
              'id="PREFLOP"><event sequence="3" type="FOLD" player="1"/></round><round '
              'id="END_OF_FOLDED_GAME"><winner amount="0.35" uncalled="false" player="2"/>'
              '</round></game>')
    mixed = text[:last] + text[last:].replace('multigametype="43"', 'multigametype="41"') + holdem
    assert [(h.mixed, h.game) for h in handscribe.parse_str(mixed)][1:] == [
        ("HORSE", "SevenCardStudHiLo"), ("HORSE", "SevenCardStud"), ("HORSE", "HoldEm")]


@needs_corpus
def test_everleaf_stud_bring_in_completion_and_showdown():
    _view, doc, tables = load(EVERLEAF + "EUR-0.05-0.10.201108-new-format.txt")
    [h] = [h for h in doc if h["header"]["id"] == "295680332"]
    assert [h["header"][k] for k in ("game_type", "bet_type", "small_blind", "big_blind")] == [
        "SevenCardStud", "Limit", 0.05, 0.1]
    acts = actions_of(tables, "295680332")
    assert acts[2:9] == [("third", "MOURINHO_", "DealtUp", None, ["8d"]),
                         ("third", "EricBlade", "Dealt", None, ["Jd", "7d"]),
                         ("third", "EricBlade", "DealtUp", None, ["4s"]),
                         ("third", "EricBlade", "BringIn", 0.02, None),
                         ("third", "MOURINHO_", "Complete", 0.05, None),
                         ("third", "EricBlade", "Call", 0.03, None),
                         ("fourth", "MOURINHO_", "DealtUp", None, ["Ah"])]
    assert [acts[24]] + acts[-3:] == [
        ("seventh", "EricBlade", "Dealt", None, ["Qd"]),
        ("seventh", "MOURINHO_", "Show", None, ["Kh", "Qc", "8d", "Ah", "4c", "3h", "Kd"]),
        ("seventh", "EricBlade", "Show", None, ["Jd", "7d", "4s", "4h", "4d", "7c", "Qd"]),
        ("seventh", "EricBlade", "CollectMainPot", 2.11, None)]
    assert (h["summary"]["total_pot"], h["summary"]["rake"]) == (2.22, 0.11)
    players = [p for p in pa.table(tables.players).to_pylist() if p["hand_id"] == "295680332"]
    assert [(p["name"], round(p["net"], 2), p["position"], p["is_hero"]) for p in players] == [
        ("MOURINHO_", -1.11, None, False), ("EricBlade", 1.0, None, True)]
    # a bring-in nobody calls goes back: the pot is the antes
    usd = load(EVERLEAF + "USD-0.05-0.10.201107.txt")[1]
    assert [(h["summary"]["total_pot"], h["summary"]["rake"]) for h in usd
            if h["header"]["id"] == "286000221"] == [(0.02, 0)]


@needs_corpus
def test_partypoker_stud_hi_lo_collections():
    _view, [h], tables = load("partypoker/jejellyroll-fr_fpdb-3/"
                              "7-StudHL-USD-10-20.201202.wins.lo.pot.txt")
    acts = actions_of(tables, "11480841734")
    assert acts[4:6] == [("third", "Player0", "BringIn", 3.0, None),
                         ("third", "Player1", "Complete", 10.0, None)]
    # the high half to Player0, "wins Lo ($90.50 USD)" to Player1, out of $182 less $1 rake
    assert [a[1:4] for a in acts[-2:]] == [("Player0", "CollectMainPot", 90.5),
                                            ("Player1", "CollectMainPot", 90.5)]
    assert [(w["player_id"], w["amount"], w["game_id"]) for w in h["summary"]["winners"]] == [
        (0, 90.5, 0), (1, 90.5, 1)]
    assert (h["summary"]["total_pot"], h["summary"]["rake"]) == (182, 1)
    assert pa.table(tables.hands).to_pylist()[0]["button_seat"] is None
