"""handscribe.Hand, Player and Action: every attribute against the Arrow tables' row of the same
hand over the corpus, golden hands checked field by field against their texts, equality and
hashing, the summary line."""
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
HAND_COLUMNS = {"id": "hand_id", "site": "site", "game": "game", "bet_type": "limit",
                "table": "table", "max_players": "max_players", "currency": "currency",
                "small_blind": "small_blind", "big_blind": "big_blind", "ante": "ante",
                "button_seat": "button_seat", "total_pot": "total_pot", "rake": "rake"}
PLAYER_COLUMNS = {"name": "name", "seat": "seat", "stack": "stack", "is_hero": "is_hero",
                  "won": "won", "cash_out": "cash_out"}
ACTION_COLUMNS = {"street": "street", "board": "board", "kind": "action", "amount": "amount"}
# Tournament fields in the order of the named tuple, and their columns.
TOURNAMENT_COLUMNS = ("tournament", "level", "buy_in_kind", "buy_in_currency", "buy_in", "fee",
                      "bounty_fee")


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
                  **dict(zip(TOURNAMENT_COLUMNS, (None,) * 7 if t is None else tuple(t))))
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

# (file, hand id, hand attributes, summary, players: name -> (seat, stack, hole cards, won),
#  actions: position -> (street, player, kind, amount, cards))
GOLDEN = [
    pytest.param(
        DATA / "pokerstars" / "PokerStars__CashGame__ExtraHands__SidePot.txt", "85998509763",
        dict(site="PokerStars", game="HoldEm", bet_type="NoLimit",
             table="Rarahu IV Fast,40-100 bb", max_players=9,
             started_at=datetime.datetime(2012, 9, 10, 23, 43, 58, tzinfo=UTC),  # 19:43:58 EDT
             currency="EUR", small_blind=0.05, big_blind=0.1, ante=0.0, button_seat=9,
             board=("8s", "Qh", "Ks", "9s", "Tc"), total_pot=19.84, rake=0.89, hero=None,
             tournament=None),
        "PokerStars #85998509763 NLHE €0.05/€0.10, 8 players, pot €19.84",
        {"mofdis": (1, 7.18, ("As", "Kd"), 0.0), "metra1977": (2, 8.45, None, 0.0),
         "CrSilva.11": (3, 1.38, ("Jh", "Ad"), 5.37), "danystorm": (4, 12.3, None, 0.0),
         "Lenorina": (5, 4.0, ("Qc", "Qd"), 0.0), "soplak": (7, 20.85, None, 0.0),
         "VodkinFirst": (8, 4.1, None, 0.0), "templargio": (9, 38.94, ("9d", "Jd"), 13.58),
         "Skyhand": (None, 0.0, None, 0.0)},  # sits out, without a seat line
        {2: ("predeal", "Skyhand", "Sitout", None, None),
         11: ("preflop", "CrSilva.11", "RaiseAllIn", 0.78, None),
         24: ("river", "templargio", "UncalledBetReturned", 9.69, None),
         27: ("showdown", "templargio", "CollectSidePot2", 6.08, None)},
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
        {"jedimaster82": (1, 1000.0, None, 0.0),
         "OneMoreSpin": (2, 1859.8, ("Qh", "3c", "Ks", "7c"), 0.0),
         "FLATC@T": (3, 2000.0, ("Jd", "Ts", "Qd", "Qs"), 3027.0),
         "KENZA_MILOU": (4, 1000.0, ("7s", "9s", "7h", "Jh"), 0.0),
         "Legheliel": (5, 2000.0, None, 0.0), "danfiu": (6, 2000.0, None, 0.0)},
        {11: ("preflop", "FLATC@T", "Say", None, None),
         16: ("turn", "FLATC@T", "BetAllIn", 990.0, None),
         24: ("showdown", "FLATC@T", "Show", None, ("Jd", "Ts", "Qd", "Qs")),
         27: ("showdown", "FLATC@T", "CollectMainPot", 1503.5, None)},
        id="run-twice"),
    corpus_param(
        KNOCKOUT, "68174975772",
        dict(site="PokerStars", game="OmahaHiLo", bet_type="NoLimit", table="447493868 1",
             max_players=9,
             started_at=datetime.datetime(2011, 9, 28, 13, 33, 23, tzinfo=UTC),  # 9:33:23 EDT
             currency=None, small_blind=100.0, big_blind=200.0, button_seat=8,
             board=("8c", "Qh", "8h", "2c", "8d"), total_pot=5640.0, rake=0.0,
             tournament=("447493868", "VI", "Money", "USD", 1.08, 0.15, 0.27)),
        "PokerStars #68174975772 tournament #447493868 NLO8 100/200, 3 players, pot 5640",
        {"APTEM-89": (2, 3796.0, ("6d", "Ks", "Js", "Kc"), 5640.0),
         "StaKuGorPS": (8, 6884.0, None, 0.0),
         "Hero": (9, 2820.0, ("Tc", "9d", "7s", "4s"), 0.0)},
        {12: ("showdown", "APTEM-89", "Bounty", 0.27, None),  # the $0.27 bounty for Hero
         13: ("showdown", "Hero", "Finish", 1.94, None)},  # 3rd place, $1.94
        id="tournament-bounty"),
    corpus_param(
        PLURIBUS, "35000",
        dict(site="PokerStarsPluribus", game="HoldEm", table="Pluribus Session 35",
             max_players=6,
             started_at=datetime.datetime(2019, 7, 11, 13, 43, 20, tzinfo=UTC),  # 09:43:20 EDT
             currency=None, small_blind=50.0, big_blind=100.0, button_seat=6,
             board=("5d", "Kd", "As", "5h", "6h"), total_pot=1000.0, rake=0.0, hero=None),
        "PokerStarsPluribus #35000 NLHE 50/100, 6 players, pot 1000",
        {"MrWhite": (1, 10000.0, ("4s", "9c"), 0.0), "Gogo": (2, 10000.0, ("7d", "7c"), 0.0),
         "Budd": (3, 10000.0, ("3c", "2h"), 0.0), "Eddie": (4, 10000.0, ("Jc", "9s"), 0.0),
         "Bill": (5, 10000.0, ("6d", "Jd"), 0.0),
         "Pluribus": (6, 10000.0, ("Kc", "8d"), 1000.0)},
        {11: ("preflop", "Pluribus", "Raise", 125.0, None),
         19: ("river", "Pluribus", "Bet", 250.0, None)},
        id="pluribus"),
    corpus_param(
        WINAMAX, "351984-130-1286650224",
        dict(site="Winamax", game="HoldEm", bet_type="NoLimit", table="Chelles", max_players=9,
             started_at=datetime.datetime(2010, 10, 9, 19, 50, 24, tzinfo=UTC),
             currency="EUR", small_blind=0.02, big_blind=0.05, button_seat=2,
             board=("7s", "2d", "6h", "9c", "9d"), total_pot=8.2, rake=0.35),
        "Winamax #351984-130-1286650224 NLHE €0.02/€0.05, 9 players, pot €8.20",
        {"Hero": (1, 5.0, ("Ks", "Th"), 0.0), "Player2": (2, 6.28, None, 0.0),
         "Player3": (3, 5.06, None, 0.0), "Player4": (4, 5.01, ("9h", "6s"), 8.2),
         "Player5": (5, 7.07, None, 0.0), "Player6": (6, 3.2, None, 0.0),
         "Player7": (7, 6.61, None, 0.0), "Player8": (8, 3.37, ("7d", "8d"), 0.0),
         "Player9": (9, 4.76, None, 0.0)},
        {2: ("predeal", "Hero", "BigBlind", 0.05, None),  # out of position
         21: ("turn", "Player4", "Raise", 0.05, None),
         24: ("river", "Player8", "CallAllIn", 3.17, None)},
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
    assert {p.name: (p.seat, p.stack, p.hole_cards, p.won) for p in h.players} == players
    assert [p.name for p in h.players] == list(players)
    for i, want in actions.items():
        a = h.actions[i]
        assert (a.street, a.player and a.player.name, a.kind, a.amount, a.cards) == want, i


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


def test_equality_by_text_form_and_hash_by_site_and_id():
    view, again = handscribe.parse_path(MANY), handscribe.parse_path(MANY)
    hands = list(view)
    assert len({h.id for h in hands}) == len(hands) > 2
    assert view[0] == view[0] and hash(view[0]) == hash(view[0])  # same store and index
    assert view[0] == again[0] and hash(view[0]) == hash(again[0])  # another parse
    assert view[0] != view[1] and not (view[0] == view[1])
    assert len(set(hands) | set(again)) == len(hands)
    assert view[0] != view[:1] and view[0].__eq__("x") is NotImplemented
    # The same id with other content is another hand.
    text = MANY.read_text(encoding="utf-8-sig")
    one = handscribe.parse_str(text)[0]
    name = one.players[0].name
    changed = handscribe.parse_str(text.replace(name, name + "x"))[0]
    assert changed.id == one.id and hash(changed) == hash(one) and changed != one


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
