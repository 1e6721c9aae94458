"""handscribe.Hand, Player and Action: every attribute against the Arrow tables' row of the same
hand over the corpus, golden hands checked field by field against their texts, equality and
hashing, the summary line."""
import datetime
import gc

import pytest

import handscribe
from handscribe import Action, Hand, HandView, Player

from conftest import CORPUS, DATA, corpus_files, needs_corpus

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


@needs_corpus
@pytest.mark.parametrize("folder", FOLDERS)
def test_attributes_equal_the_tables_rows(folder):
    compared = 0
    for path in corpus_files(folder):
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
