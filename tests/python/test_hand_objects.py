"""handscribe.Hand, Player and Action: every attribute against the Arrow tables' row of the same
hand over the corpus, golden hands checked field by field against their texts (with their summary
lines), equality and hashing."""
import datetime
import gc

import pytest

import handscribe
from conftest import CORPUS, DATA, corpus_files, data_files, needs_corpus
from handscribe import Action, Hand, HandView, Player

pa = pytest.importorskip("pyarrow")

FOLDERS = ("pokerstars", "pokerstars_other", "pokerstars_tournaments", "pluribus", "ongame",
           "ggpoker", "winamax")
# Attribute -> column, where the value is the same Python value on both sides.
HAND_COLUMNS = {"id": "hand_id", "site": "site", "game": "game", "mixed": "mixed",
                "bet_type": "limit",
                "table": "table", "max_players": "max_players", "currency": "currency",
                "small_blind": "small_blind", "big_blind": "big_blind", "ante": "ante",
                "button_seat": "button_seat", "total_pot": "total_pot", "rake": "rake",
                "jackpot": "jackpot"}
PLAYER_COLUMNS = {n: n for n in (
    "name", "seat", "stack", "is_hero", "position", "invested", "won", "net", "cash_out", "vpip",
    "pfr", "three_bet", "saw_flop", "saw_showdown", "won_at_showdown", "all_in_street")}
ACTION_COLUMNS = {"street": "street", "board": "board", "kind": "action", "amount": "amount",
                  "chips": "chips", "to": "to", "all_in": "all_in"}
# Tournament fields in the order of the named tuple, and their columns.
TOURNAMENT_COLUMNS = ("tournament", "level", "buy_in_kind", "buy_in_currency", "buy_in", "fee",
                      "bounty_fee", "tournament_name")


def cards(value):
    return None if value is None else tuple(value)


def hand_values(h: Hand) -> dict:
    players = h.players
    start = h.started_at
    assert start is None or start.tzinfo in (None, datetime.timezone.utc)
    assert h.board == (h.boards[0] if h.boards else ())
    assert h.winners == tuple(p for p in players if p.won > 0)
    heroes = [p for p in players if p.is_hero]
    assert (h.hero,) == (tuple(heroes) or (None,))
    t = h.tournament
    values = {c: getattr(h, a) for a, c in HAND_COLUMNS.items()}
    values.update(started_at=None if start is None else start.replace(tzinfo=None),
                  hero=None if h.hero is None else h.hero.name,
                  boards=h.boards,
                  **dict(zip(TOURNAMENT_COLUMNS, (None,) * 8 if t is None else tuple(t))))
    return values


def row_values(row: dict, columns) -> dict:
    values = {c: row[c] for c in columns}
    if "boards" in values:
        values["boards"] = tuple(tuple(b) for b in values["boards"])
    return values


@pytest.mark.parametrize("folder", FOLDERS + ("data",))
def test_attributes_equal_the_tables_rows(folder):
    if folder != "data" and not CORPUS.is_dir():
        pytest.skip("hand-history corpus not present")
    compared = 0
    for path in data_files() if folder == "data" else corpus_files(folder):
        try:
            view = handscribe.parse_path(path)
        except (RuntimeError, handscribe.PanicException):
            continue  # unreadable, unknown or unsupported: nothing to compare
        tables = view.to_arrow()
        hand_rows = pa.table(tables.hands).to_pylist()
        player_rows = iter(pa.table(tables.players).to_pylist())
        action_rows = iter(pa.table(tables.actions).to_pylist())
        assert len(hand_rows) == len(view)
        for h, row in zip(view, hand_rows):
            assert type(h) is Hand
            got = hand_values(h)
            assert got == row_values(row, got), (path, h.id)
            for p in h.players:
                r = next(player_rows)
                assert (r["hand_id"], cards(r["hole_cards"])) == (h.id, p.hole_cards), path
                assert {a: getattr(p, a) for a in PLAYER_COLUMNS} == {
                    a: r[c] for a, c in PLAYER_COLUMNS.items()}, (path, h.id, p.name)
            for a in h.actions:
                r = next(action_rows)
                player = None if r["player"] is None else h.players[r["player"]]
                assert (r["hand_id"], cards(r["cards"])) == (h.id, a.cards), path
                assert a.player is player, (path, h.id, r["seq"])
                assert {n: getattr(a, n) for n in ACTION_COLUMNS} == {
                    n: r[c] for n, c in ACTION_COLUMNS.items()}, (path, h.id, r["seq"])
            compared += 1
        assert next(player_rows, None) is None and next(action_rows, None) is None, path
    if folder != "pokerstars_other":
        assert compared > 0


# ------------------------------------------------------------------------------------------
# Golden hands, read off their texts
# ------------------------------------------------------------------------------------------

UTC = datetime.timezone.utc
KNOCKOUT = CORPUS / "pokerstars_tournaments" / "jejellyroll-fr_fpdb-3" / \
    "NLO8-USD-STT-201109.Knockout.sample.txt"
PLURIBUS = CORPUS / "pluribus" / "VitamintK_pluribus-hand-parser" / "pluribus_35.txt"
WINAMAX = CORPUS / "winamax" / "jejellyroll-fr_fpdb-3" / \
    "NLHE-FR-EUR-0.02-0.05-201010.Real.side.pot.with.bad.collected.Biggest.stack.wins.txt"


def corpus_param(*values, id):
    return pytest.param(*values, marks=needs_corpus, id=id)

# (file, hand id, hand attributes, summary line,
#  players: name -> (seat, stack, hole cards, position, invested, won, net, all-in street, flags),
#  actions: position -> (street, player, kind, amount, chips, to, all in, cards)).
# Flags: V vpip, P pfr, 3 three-bet, F saw the flop, S saw the showdown, W won at showdown.
FLAGS = {"V": "vpip", "P": "pfr", "3": "three_bet", "F": "saw_flop", "S": "saw_showdown",
         "W": "won_at_showdown"}
GOLDEN = [
    pytest.param(
        DATA / "pokerstars" / "PokerStars__CashGame__ExtraHands__SidePot.txt", "85998509763",
        dict(site="PokerStars", game="HoldEm", bet_type="NoLimit",
             table="Rarahu IV Fast,40-100 bb", max_players=9,
             started_at=datetime.datetime(2012, 9, 10, 23, 43, 58, tzinfo=UTC),  # 19:43:58 EDT
             currency="EUR", small_blind=0.05, big_blind=0.1, ante=0.0, button_seat=9,
             board=("8s", "Qh", "Ks", "9s", "Tc"), total_pot=19.84, rake=0.89, jackpot=0.0,
             hero=None, tournament=None),
        "PokerStars #85998509763 NLHE €0.05/€0.10, 8 players, pot €19.84",
        # 0.05 + 0.55 + 0.78 preflop, 2.62 on the flop, 3.18 all in on the river
        {"mofdis": (1, 7.18, ("As", "Kd"), "SB", 7.18, 0.0, -7.18, "river", "VFS"),
         "metra1977": (2, 8.45, None, "BB", 0.1, 0.0, -0.1, None, ""),
         "CrSilva.11": (3, 1.38, ("Jh", "Ad"), "UTG", 1.38, 5.37, 3.99, "preflop", "VPFSW"),
         "danystorm": (4, 12.3, None, "UTG+1", 0.0, 0.0, 0.0, None, ""),
         "Lenorina": (5, 4.0, ("Qc", "Qd"), "LJ", 4.0, 0.0, -4.0, "flop", "VP3FS"),
         "soplak": (7, 20.85, None, "HJ", 0.0, 0.0, 0.0, None, ""),
         "VodkinFirst": (8, 4.1, None, "CO", 0.0, 0.0, 0.0, None, ""),
         # 12.87 bet on the river, 9.69 returned: 7.18 in, 6.08 + 7.50 won
         "templargio": (9, 38.94, ("9d", "Jd"), "BTN", 7.18, 13.58, 6.4, None, "VFSW"),
         # sits out, without a seat line: not dealt in
         "Skyhand": (None, 0.0, None, None, 0.0, 0.0, 0.0, None, "")},
        {2: ("predeal", "Skyhand", "Sitout", None, None, None, False, None),
         # "raises €0.78 to €1.38 and is all-in" with €0.20 in
         11: ("preflop", "CrSilva.11", "RaiseAllIn", 0.78, 1.18, 1.38, True, None),
         24: ("river", "templargio", "UncalledBetReturned", 9.69, None, None, False, None),
         27: ("showdown", "templargio", "CollectSidePot2", 6.08, None, None, False, None)},
        id="showdown-side-pots"),
    pytest.param(
        DATA / "pokerstars" / "PokerStars__CashGame__PlayerTests__RunItTwice.txt",
        "124689908714",
        dict(site="PokerStars", game="Omaha", bet_type="PotLimit", table="Pomona III",
             max_players=6,
             started_at=datetime.datetime(2014, 11, 8, 0, 40, 18, tzinfo=UTC),  # 19:40:18 EST
             currency="USD", small_blind=10.0, big_blind=20.0, button_seat=1,
             board=("3d", "Kd", "9h", "8h", "4s"),
             boards=(("3d", "Kd", "9h", "8h", "4s"), ("3d", "Kd", "9h", "8h", "Kc")),
             total_pot=3030.0, rake=3.0, tournament=None),
        "PokerStars #124689908714 PLO $10/$20, 6 players, pot $3030",
        {"jedimaster82": (1, 1000.0, None, "BTN", 0.0, 0.0, 0.0, None, ""),
         "OneMoreSpin": (2, 1859.8, ("Qh", "3c", "Ks", "7c"), "SB", 10.0, 0.0, -10.0, None, ""),
         # $1010 in, the $990 all-in bet returned; $1513.50 won on each board
         "FLATC@T": (3, 2000.0, ("Jd", "Ts", "Qd", "Qs"), "BB", 1010.0, 3027.0, 2017.0, "turn",
                     "VP3FSW"),
         "KENZA_MILOU": (4, 1000.0, ("7s", "9s", "7h", "Jh"), "LJ", 1000.0, 0.0, -1000.0,
                         "preflop", "VPFS"),
         "Legheliel": (5, 2000.0, None, "HJ", 1010.0, 0.0, -1010.0, None, "VPF"),
         "danfiu": (6, 2000.0, None, "CO", 0.0, 0.0, 0.0, None, "")},
        {11: ("preflop", "FLATC@T", "Say", None, None, None, False, None),
         16: ("turn", "FLATC@T", "BetAllIn", 990.0, 990.0, 990.0, True, None),
         24: ("showdown", "FLATC@T", "Show", None, None, None, False, ("Jd", "Ts", "Qd", "Qs")),
         27: ("showdown", "FLATC@T", "CollectMainPot", 1503.5, None, None, False, None)},
        id="run-twice"),
    corpus_param(
        KNOCKOUT, "68174975772",
        dict(site="PokerStars", game="OmahaHiLo", bet_type="NoLimit", table="447493868 1",
             max_players=9,
             started_at=datetime.datetime(2011, 9, 28, 13, 33, 23, tzinfo=UTC),  # 9:33:23 EDT
             currency=None, small_blind=100.0, big_blind=200.0, button_seat=8,
             board=("8c", "Qh", "8h", "2c", "8d"), total_pot=5640.0, rake=0.0,
             tournament=("447493868", "VI", "Money", "USD", 1.08, 0.15, 0.27, "")),
        "PokerStars #68174975772 tournament #447493868 NLO8 100/200, 3 players, pot 5640",
        {"APTEM-89": (2, 3796.0, ("6d", "Ks", "Js", "Kc"), "BB", 2820.0, 5640.0, 2820.0, None,
                      "VFSW"),
         "StaKuGorPS": (8, 6884.0, None, "BTN", 0.0, 0.0, 0.0, None, ""),
         "Hero": (9, 2820.0, ("Tc", "9d", "7s", "4s"), "SB", 2820.0, 0.0, -2820.0, "flop",
                  "VPFS")},
        {4: ("preflop", "Hero", "Raise", 400.0, 500.0, 600.0, False, None),  # 100 posted
         12: ("showdown", "APTEM-89", "Bounty", 0.27, None, None, False, None),  # for Hero
         13: ("showdown", "Hero", "Finish", 1.94, None, None, False, None)},  # 3rd, $1.94
        id="tournament-bounty"),
    corpus_param(
        PLURIBUS, "35000",
        dict(site="PokerStarsPluribus", game="HoldEm", table="Pluribus Session 35",
             max_players=6,
             started_at=datetime.datetime(2019, 7, 11, 13, 43, 20, tzinfo=UTC),  # 09:43:20 EDT
             currency=None, small_blind=50.0, big_blind=100.0, button_seat=6,
             board=("5d", "Kd", "As", "5h", "6h"), total_pot=1000.0, rake=0.0, hero=None),
        "PokerStarsPluribus #35000 NLHE 50/100, 6 players, pot 1000",
        {"MrWhite": (1, 10000.0, ("4s", "9c"), "SB", 50.0, 0.0, -50.0, None, ""),
         "Gogo": (2, 10000.0, ("7d", "7c"), "BB", 475.0, 0.0, -475.0, None, "VFS"),
         "Budd": (3, 10000.0, ("3c", "2h"), "LJ", 0.0, 0.0, 0.0, None, ""),
         "Eddie": (4, 10000.0, ("Jc", "9s"), "HJ", 0.0, 0.0, 0.0, None, ""),
         "Bill": (5, 10000.0, ("6d", "Jd"), "CO", 0.0, 0.0, 0.0, None, ""),
         # its "collected 1000.0" stands before the summary
         "Pluribus": (6, 10000.0, ("Kc", "8d"), "BTN", 475.0, 1000.0, 525.0, None, "VPFSW")},
        {11: ("preflop", "Pluribus", "Raise", 125.0, 225.0, 225.0, False, None),
         19: ("river", "Pluribus", "Bet", 250.0, 250.0, 250.0, False, None)},
        id="pluribus"),
    corpus_param(
        WINAMAX, "351984-130-1286650224",
        # "Total pot 8.20€ | Rake 0.35€" is after the rake and keeps the 1.64€ of Player4's
        # all-in that Player8 could not call: 8.20 + 0.35 - 1.64 was in the pot.
        dict(site="Winamax", game="HoldEm", bet_type="NoLimit", table="Chelles", max_players=9,
             started_at=datetime.datetime(2010, 10, 9, 19, 50, 24, tzinfo=UTC),
             currency="EUR", small_blind=0.02, big_blind=0.05, button_seat=2,
             board=("7s", "2d", "6h", "9c", "9d"), total_pot=6.91, rake=0.35),
        "Winamax #351984-130-1286650224 NLHE €0.02/€0.05, 9 players, pot €6.91",
        {"Hero": (1, 5.0, ("Ks", "Th"), "CO", 0.1, 0.0, -0.1, None, "F"),
         "Player2": (2, 6.28, None, "BTN", 0.05, 0.0, -0.05, None, "VF"),
         "Player3": (3, 5.06, None, "SB", 0.02, 0.0, -0.02, None, ""),
         "Player4": (4, 5.01, ("9h", "6s"), "BB", 3.37, 6.56, 3.19, "river", "FSW"),
         "Player5": (5, 7.07, None, "UTG", 0.0, 0.0, 0.0, None, ""),
         "Player6": (6, 3.2, None, "UTG+1", 0.0, 0.0, 0.0, None, ""),
         "Player7": (7, 6.61, None, "UTG+2", 0.0, 0.0, 0.0, None, ""),
         "Player8": (8, 3.37, ("7d", "8d"), "LJ", 3.37, 0.0, -3.37, "river", "VFS"),
         "Player9": (9, 4.76, None, "HJ", 0.0, 0.0, 0.0, None, "")},
        {2: ("predeal", "Hero", "BigBlind", 0.05, 0.05, None, False, None),  # out of position
         21: ("turn", "Player4", "Raise", 0.05, 0.1, 0.1, False, None),  # 0.05€ to 0.10€
         24: ("river", "Player8", "CallAllIn", 3.17, 3.17, None, True, None)},
        id="winamax"),
]


@pytest.mark.parametrize("path,hand_id,attributes,summary,players,actions", GOLDEN)
def test_golden_hands(path, hand_id, attributes, summary, players, actions):
    (h,) = [h for h in handscribe.parse_path(path) if h.id == hand_id]
    got = {a: getattr(h, a) for a in attributes}
    if got.get("tournament") is not None:
        got["tournament"] = tuple(got["tournament"])
    assert got == attributes
    assert h.summary() == summary
    assert [p.name for p in h.players] == list(players)
    for p in h.players:
        flags = "".join(k for k, name in FLAGS.items() if getattr(p, name))
        assert (p.seat, p.stack, p.hole_cards, p.position, p.invested, p.won, p.net,
                p.all_in_street, flags) == players[p.name], p.name
    assert h.winners == tuple(p for p in h.players if p.won > 0)
    for i, want in actions.items():
        a = h.actions[i]
        assert (a.street, a.player and a.player.name, a.kind, a.amount, a.chips, a.to, a.all_in,
                a.cards) == want, i


# ------------------------------------------------------------------------------------------
# Objects, equality and hashing
# ------------------------------------------------------------------------------------------

RUN_TWICE = DATA / "pokerstars" / "PokerStars__CashGame__PlayerTests__RunItTwice.txt"
MANY = DATA / "pokerstars" / "hh.com_Baetsle_289FR_2021.07.30_0.txt"


def test_items_are_hands_and_slices_views():
    view = handscribe.parse_path(MANY)
    first = view[0]
    assert type(first) is Hand and isinstance(first, HandView)
    assert [type(h) for h in view] == [Hand] * len(view)
    assert type(view[1:3]) is HandView and type(first[:]) is HandView
    assert len(first) == 1 and first.to_json() == view[:1].to_json()
    assert (repr(first), str(first)) == (repr(view[:1]), str(view[:1]))
    assert first.rejected == []
    for cls in (Hand, Player, Action):
        with pytest.raises(TypeError, match="^No constructor defined$"):
            cls()
    # Shared objects: the hero and the action's player are items of `players`.
    h = handscribe.parse_path(RUN_TWICE)[0]
    assert h.players is h.players and h.actions is h.actions
    assert h.hero is h.players[1] and h.actions[2].player is h.hero
    assert h.winners[0] is h.players[2]


def test_equal_to_the_views_of_the_same_hand_of_the_same_parse():
    view, again = handscribe.parse_path(MANY), handscribe.parse_path(MANY)
    hands = list(view)
    assert view[0] == view[0] and hash(view[0]) == hash(view[0])
    assert view[0] == view[:1] and hash(view[0]) == hash(view[:1])  # the one-hand view it is
    assert view[0] != view[1] and view[0] != again[0]  # another parse: compare repr() instead
    assert repr(view[0]) == repr(again[0])
    assert len(set(hands) | set(view)) == len(hands)
    assert hands[3] in view and view.index(hands[3]) == 3 and again[3] not in view


def test_objects_outlive_their_view_and_cost_nothing_until_read():
    view = handscribe.parse_path(RUN_TWICE)
    h = view[0]
    players, actions = h.players, h.actions
    del view, h
    gc.collect()
    assert [p.name for p in players][:2] == ["jedimaster82", "OneMoreSpin"]
    assert actions[2].player is players[1] and actions[2].cards == ("Qh", "3c", "Ks", "7c")
    # A Hand holds no more than a one-hand view until an attribute is read.
    big = handscribe.parse_path(MANY)
    assert big[0].__sizeof__() <= big[:1].__sizeof__() + 40
