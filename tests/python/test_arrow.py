"""The Arrow tables: every corpus file against its native JSON, the readers that take them,
read_tables, the Dask reader on a cluster of processes, and the Parquet command line."""
import json
import os
import re
import shutil
import subprocess
import sys
from datetime import datetime
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, ROOT, corpus_files, data_files, needs_corpus

pa = pytest.importorskip("pyarrow")
pc = pytest.importorskip("pyarrow.compute")

FOLDERS = ("pokerstars", "pokerstars_other", "pokerstars_tournaments", "pluribus", "ongame",
           "ggpoker", "winamax", "winning", "bovada", "pacificpoker", "partypoker", "fulltiltpoker")
STREETS = ("predeal", "preflop", "flop", "turn", "river", "showdown", "summary", "seventh")
# The rounds of the games without a board by their names in a flop game (stud's seventh street
# is a round of its own).
STREET_OF = {"third": "preflop", "fourth": "flop", "fifth": "turn", "sixth": "river",
             "deal": "preflop", "draw": "flop", "first_draw": "flop", "second_draw": "turn",
             "third_draw": "river"}
FIVE_CARD_STUD = {"second": "preflop", "third": "flop", "fourth": "turn", "fifth": "river"}
# The JSON key of the value that an action type's `amount` column holds, where it is not "amount".
AMOUNT_KEYS = {"finish": "prize", "rebuy": "chips", "addon": "chips", "draw": "count"}
TOURNAMENT_COLUMNS = ("tournament", "buy_in_kind", "buy_in_currency", "buy_in", "fee",
                      "bounty_fee", "level", "tournament_name")
CODES = {"": None, "$": "USD", "\u00a3": "GBP", "\u00a5": "JPY", "\u20ac": "EUR", "\u20b9": "INR"}


def tournament_row(header: dict) -> tuple:
    """The tournament columns of a hand as its native JSON tells them."""
    t = header.get("tournament")
    if t is None:
        return (None,) * len(TOURNAMENT_COLUMNS)
    return (t["id"], t["buy_in_kind"], CODES[t["currency"]], t["buy_in"], t["fee"],
            t["bounty_fee"], t["level"], t.get("name", ""))
RUN_TWICE = DATA / "pokerstars" / "PokerStars__CashGame__PlayerTests__RunItTwice.txt"
GBP = DATA / "pokerstars" / "PokerStars__CashGame__Limits__GbpTable.txt"
BAETSLE = DATA / "pokerstars" / "hh.com_Baetsle_289FR_2021.07.30_0.txt"


def tables_of(tables) -> tuple:
    return tuple(pa.table(getattr(tables, n)) for n in ("hands", "players", "actions"))


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


# ------------------------------------------------------------------------------------------
# Every corpus file against its native JSON
# ------------------------------------------------------------------------------------------

def expected_rows(hands: list) -> tuple:
    """Rows of the players and actions tables as the native JSON tells them. Actions carry their
    hand's position and are listed by street kind and board (the table orders them by their
    place in the text)."""
    players, actions = [], []
    for n, h in enumerate(hands):
        hd = h["header"]
        count = len(hd["players"])
        for p in hd["players"]:
            players.append((hd["id"], p["id"], p["name"], None if p["seat"] == 255 else p["seat"],
                            p["chips"]))
        runs = [("predeal", 0, hd["actions"]), ("preflop", 0, h["preflop"]["actions"])]
        for kind in ("flop", "turn", "river", "showdown", "seventh"):
            runs += [(kind, k, s["actions"]) for k, s in enumerate(h.get(kind + "s", []))]
        # The summary's seat lines are no action rows: what they say is the players table's.
        for street, board, run in runs:
            for a in run:
                player = a["player_id"] if a["player_id"] < count else None
                actions.append((n, hd["id"], STREETS.index(street), board, player,
                                a.get(AMOUNT_KEYS.get(a["type"], "amount")),
                                a.get("all_in", False)))
    return players, actions


def parsed_files(folder: str):
    """Every file of a corpus folder (or of the repository's data) that parses on its own, with
    its view."""
    for path in data_files() if folder == "data" else corpus_files(folder):
        try:
            yield path, handscribe.parse_path(path)
        except (RuntimeError, handscribe.PanicException):
            continue  # unreadable, unknown or unsupported: nothing to compare


@pytest.mark.parametrize("folder", FOLDERS + ("data",))
def test_every_corpus_file_matches_its_native_json(folder):
    if folder != "data" and not CORPUS.is_dir():
        pytest.skip("hand-history corpus not present")
    compared = 0
    for path, view in parsed_files(folder):
        hands, players, actions = tables_of(view.to_arrow())
        doc = json.loads(view.to_json())
        assert hands.column("hand_id").to_pylist() == [h["header"]["id"] for h in doc], path
        assert list(zip(*(hands.column(c).to_pylist() for c in TOURNAMENT_COLUMNS))) == [
            tournament_row(h["header"]) for h in doc], path
        want_players, want_actions = expected_rows(doc)
        got_players = list(zip(*(players.column(c).to_pylist()
                                 for c in ("hand_id", "player", "name", "seat", "stack"))))
        assert got_players == want_players, path
        # Each hand's actions are numbered from 0 in one run; the position of the hand is the
        # count of runs so far.
        seq = actions.column("seq").to_pylist()
        position = [-1]
        for s in seq:
            position.append(position[-1] + (s == 0))
        assert seq == [i for n in range(len(doc))
                       for i in range(sum(1 for r in want_actions if r[0] == n))], path
        games = [h["header"]["game_type"] for h in doc]
        streets = [STREETS.index((FIVE_CARD_STUD if games[n] == "FiveCardStud" else STREET_OF)
                                 .get(s, s))
                   for n, s in zip(position[1:], actions.column("street").to_pylist())]
        got_actions = list(zip(position[1:], actions.column("hand_id").to_pylist(), streets,
                               *(actions.column(c).to_pylist()
                                 for c in ("board", "player", "amount", "all_in"))))
        # Stable sorts by hand, street and board keep each run's own order. A line that says
        # all-in is all in; so is one whose chips reach the stack.
        key = lambda r: r[:4]  # noqa: E731
        got_actions, want_actions = sorted(got_actions, key=key), sorted(want_actions, key=key)
        assert [r[:-1] for r in got_actions] == [r[:-1] for r in want_actions], path
        assert all(g[-1] for g, w in zip(got_actions, want_actions) if w[-1]), path
        compared += 1
    if folder in ("pokerstars", "pluribus", "ongame", "ggpoker", "winamax", "winning", "bovada",
                  "pacificpoker", "partypoker", "data"):
        assert compared > 0


# ------------------------------------------------------------------------------------------
# Golden rows
# ------------------------------------------------------------------------------------------

def test_golden_rows_of_a_run_twice_hand():
    hands, players, actions = tables_of(handscribe.parse_path(RUN_TWICE).to_arrow())
    [hand] = hands.to_pylist()
    assert hand == {
        "site": "PokerStars", "hand_id": hand["hand_id"], "started_at": hand["started_at"],
        "table": hand["table"], "game": "Omaha", "mixed": None, "limit": "PotLimit",
        "currency": "USD",
        "max_players": hand["max_players"], "button_seat": hand["button_seat"],
        "small_blind": hand["small_blind"], "big_blind": hand["big_blind"], "ante": 0.0,
        "hero": "OneMoreSpin", "total_pot": hand["total_pot"], "rake": hand["rake"],
        "jackpot": 0.0, "pot_preflop": 30.0, "pot_flop": 3030.0, "pot_turn": 3030.0,
        "pot_river": 3030.0,
        "boards": [["3d", "Kd", "9h", "8h", "4s"], ["3d", "Kd", "9h", "8h", "Kc"]],
        **dict.fromkeys(TOURNAMENT_COLUMNS), "source": None,
    }
    doc = json.loads(handscribe.parse_path(RUN_TWICE).to_json())[0]
    hd = doc["header"]
    assert (hand["hand_id"], hand["table"], hand["max_players"]) == (
        hd["id"], hd["table_name"], hd["max_players"])
    # "0:40:18 WET [2014/11/07 19:40:18 ET]": the ET time in UTC.
    assert hand["started_at"] == datetime(2014, 11, 8, 0, 40, 18)
    assert hand["button_seat"] == hd["players"][hd["dealer_id"]]["seat"]
    assert (hand["small_blind"], hand["big_blind"]) == (hd["small_blind"], hd["big_blind"])
    assert (hand["total_pot"], hand["rake"]) == (doc["summary"]["total_pot"],
                                                 doc["summary"]["rake"])
    hero = players.filter(pc.field("is_hero")).to_pylist()
    assert [(p["name"], p["hole_cards"]) for p in hero] == [
        ("OneMoreSpin", ["Qh", "3c", "Ks", "7c"])]
    # Winnings over both boards, one amount per winner.
    won = {p["name"]: p["won"] for p in players.to_pylist()}
    for w in doc["summary"]["winners"]:
        assert won[hd["players"][w["player_id"]]["name"]] > 0
    assert sum(won.values()) == pytest.approx(sum(w["amount"] for w in doc["summary"]["winners"]))
    # The facts of each player: the 3-bettor's all-in on the turn came back uncalled; the short
    # stack called all in preflop.
    facts = [tuple(p[k] for k in ("position", "invested", "won", "net", "vpip", "pfr",
                                  "three_bet", "saw_flop", "saw_showdown", "all_in_street"))
             for p in players.to_pylist()]
    assert facts == [
        ("BTN", 0.0, 0.0, 0.0, False, False, False, False, False, None),
        ("SB", 10.0, 0.0, -10.0, False, False, False, False, False, None),
        ("BB", 1010.0, 3027.0, 2017.0, True, True, True, True, True, "turn"),
        ("LJ", 1000.0, 0.0, -1000.0, True, True, False, True, True, "preflop"),
        ("HJ", 1010.0, 0.0, -1010.0, True, True, False, True, False, None),
        ("CO", 0.0, 0.0, 0.0, False, False, False, False, False, None),
    ]
    raises = actions.filter(pc.equal(actions.column("action"), "Raise")).to_pylist()
    assert [(r["amount"], r["chips"], r["to"]) for r in raises] == [
        (40.0, 60.0, 60.0), (190.0, 230.0, 250.0), (760.0, 950.0, 1010.0)]
    dealt = actions.filter(pc.equal(actions.column("action"), "Dealt")).to_pylist()
    assert [(a["street"], a["cards"], a["amount"]) for a in dealt] == [
        ("preflop", ["Qh", "3c", "Ks", "7c"], None)]


def test_amounts_are_the_decimals_the_text_prints():
    hands, players, actions = tables_of(handscribe.parse_path(GBP).to_arrow())
    assert hands.column("currency").to_pylist() == ["GBP"]
    text = repr(handscribe.parse_path(GBP))
    for stack in players.column("stack").to_pylist():
        assert f"chips: {stack!r}" in text  # 0.1, never 0.10000000149011612
    for amount in actions.column("amount").drop_null().to_pylist():
        assert repr(amount).removesuffix(".0") in text


@pytest.mark.parametrize("path, started_at, currency", [
    # 12:26:49 ET in January: EST, +5h; "$0.02/$0.05 CAD" is Canadian money.
    (ROOT / "samples" / "HH20260114_Z420909_real.txt", datetime(2026, 1, 14, 17, 26, 49), "CAD"),
    # "Start hand: Sun Jan 05 09:12:00 CET 2014": OnGame's zone, the native layout has no date.
    (DATA / "ongame" / "OnGame__CashGame__StreetTests__Turn.txt", datetime(2014, 1, 5, 8, 12),
     "USD"),
])
def test_start_in_utc_and_the_currency_the_hand_line_writes(path, started_at, currency):
    [hand] = tables_of(handscribe.parse_path(path)[:1].to_arrow())[0].to_pylist()
    assert (hand["started_at"], hand["currency"]) == (started_at, currency)


def test_play_money_has_no_currency_and_types_are_as_documented():
    view = handscribe.parse_path(DATA / "pokerstars" / "HH20260111_Z420909_kurhah_playmoney.txt")
    hands, players, actions = tables_of(view.to_arrow())
    assert set(hands.column("currency").to_pylist()) == {None}
    types = {f.name: str(f.type) for t in (hands, players, actions) for f in t.schema}
    assert types["started_at"] == "timestamp[s]"
    assert types["site"] == "dictionary<values=string, indices=int8, ordered=0>"
    assert types["source"] == "dictionary<values=string, indices=int32, ordered=0>"
    assert types["amount"] == types["stack"] == "double"
    assert types["boards"].startswith("list<item: list<item: dictionary<")


# ------------------------------------------------------------------------------------------
# The readers
# ------------------------------------------------------------------------------------------

def test_pyarrow_polars_duckdb_and_pandas_read_the_tables():
    polars = pytest.importorskip("polars")
    duckdb = pytest.importorskip("duckdb")
    pytest.importorskip("pandas")
    view = handscribe.parse_path(BAETSLE)
    tables = view.to_arrow()
    ids = [h["header"]["id"] for h in json.loads(view.to_json())]

    assert pa.table(tables.hands).column("hand_id").to_pylist() == ids
    assert pa.schema(tables.actions).names[:4] == ["site", "hand_id", "seq", "street"]
    assert polars.DataFrame(tables.hands)["hand_id"].to_list() == ids
    assert polars.DataFrame(tables.actions).height == len(tables.actions)
    players = tables.players  # noqa: F841 - DuckDB finds the table by its variable name
    top = duckdb.sql("select name, sum(won) as w from players group by name order by w desc, "
                     "name limit 1").fetchall()
    frame = pa.table(tables.players).to_pandas()
    best = frame.groupby("name")["won"].sum().sort_values(ascending=False)
    assert top == [(best.index[0], best.iloc[0])]
    assert str(frame["site"].dtype) == "category"
    # Every export shares the same buffers: reading twice gives the same rows.
    assert pa.table(tables.actions).equals(pa.table(tables.actions))


def test_tables_type_shape():
    tables = handscribe.parse_path(BAETSLE).to_arrow()
    assert isinstance(tables, handscribe.Tables)
    assert all(isinstance(getattr(tables, n), handscribe.Table) for n in ("hands", "players",
                                                                           "actions"))
    for cls in (handscribe.Tables, handscribe.Table):
        with pytest.raises(TypeError, match="No constructor defined"):
            cls()
    with pytest.raises(AttributeError):
        tables.hands = None
    empty = handscribe.parse_str("PokerStars Hand #1\nTable 'x'\n", errors="skip").to_arrow()
    assert len(empty.hands) == 0 and pa.table(empty.players).num_rows == 0


def test_sub_views_give_their_own_hands():
    view = handscribe.parse_path(BAETSLE)
    whole = pa.table(view.to_arrow().hands).column("hand_id").to_pylist()
    for part, ids in ((view[3:7], whole[3:7]), (view[-1], whole[-1:]), (view[5:5], [])):
        hands, players, actions = tables_of(part.to_arrow())
        assert hands.column("hand_id").to_pylist() == ids
        assert set(players.column("hand_id").to_pylist()) == set(actions.column(
            "hand_id").to_pylist()) == set(ids)


# ------------------------------------------------------------------------------------------
# read_tables
# ------------------------------------------------------------------------------------------

def test_read_tables_equals_the_views_with_their_sources(tmp_path):
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b"PokerStars \xff\n")
    files = sorted((DATA / "pokerstars").glob("*.txt"))
    inputs = [files[0], tmp_path / "missing.txt", bad, *files[1:]]
    views = handscribe.parse_paths(files)
    for jobs in (None, 1, 3):
        hands, players, actions = tables_of(handscribe.read_tables(inputs, jobs=jobs))
        assert hands.column("hand_id").to_pylist() == [
            i for v in views for i in pa.table(v.to_arrow().hands).column("hand_id").to_pylist()]
        assert hands.column("source").to_pylist() == [str(f) for f, v in zip(files, views)
                                                      for _ in range(len(v))]
        assert players.num_rows == sum(len(v.to_arrow().players) for v in views)
        assert actions.num_rows == sum(len(v.to_arrow().actions) for v in views)
    empty = handscribe.read_tables([])
    assert len(empty.hands) == 0 and pa.schema(empty.hands).names[-1] == "source"


@pytest.mark.parametrize("jobs, error, message", [
    (0, ValueError, "jobs must be at least 1"),
    ("2", TypeError, "argument 'jobs': 'str' object cannot be converted to 'int'"),
])
def test_read_tables_argument_errors(jobs, error, message):
    with pytest.raises(error, match=message):
        handscribe.read_tables([str(GBP)], jobs=jobs)
    with pytest.raises(TypeError, match="cannot be converted to 'Sequence'"):
        handscribe.read_tables(5)


def test_missing_extras_name_the_extra(monkeypatch, tmp_path, capsys):
    import handscribe.__main__ as cli
    import handscribe.dask as hdask
    monkeypatch.setitem(sys.modules, "dask", None)
    monkeypatch.setitem(sys.modules, "dask.dataframe", None)
    with pytest.raises(ImportError, match=r"pip install 'handscribe\[dask\]'"):
        hdask.read_tables([GBP])
    monkeypatch.setitem(sys.modules, "pyarrow", None)
    monkeypatch.setitem(sys.modules, "pyarrow.parquet", None)
    with pytest.raises(SystemExit) as exit_:
        cli.main([str(GBP), "--format", "parquet", "--output", str(tmp_path)])
    assert exit_.value.code == 2
    assert re.search(r"--format parquet needs .*handscribe\[arrow\]'\n$", capsys.readouterr().err)


# ------------------------------------------------------------------------------------------
# Dask on a cluster of two worker processes
# ------------------------------------------------------------------------------------------

@needs_corpus
def test_dask_on_a_local_cluster_counts_like_read_tables():
    distributed = pytest.importorskip("distributed")
    import handscribe.dask as hdask
    files = corpus_files("pokerstars")
    want = [len(t) for t in (lambda t: (t.hands, t.players, t.actions))(
        handscribe.read_tables(files))]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster):
        frames = hdask.read_tables(files, blocksize=2**20)
        assert frames[0].npartitions > 2
        got = [len(f) for f in frames]
        ids = frames[0]["hand_id"].compute().tolist()
    assert got == want
    assert ids == pa.table(handscribe.read_tables(files).hands).column("hand_id").to_pylist()


def test_dask_merges_and_groups_by_file_and_hand_with_the_p2p_shuffle(tmp_path):
    """The same files in two folders: (site, hand_id) repeats, (source, hand_id) does not; the
    P2P shuffle of two worker processes merges and groups the three tables on it."""
    distributed = pytest.importorskip("distributed")
    dask = pytest.importorskip("dask")
    import handscribe.dask as hdask
    for copy in ("a", "b"):
        shutil.copytree(DATA, tmp_path / copy)
    want = handscribe.read_tables(tmp_path)
    counts = [len(t) for t in want]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster), dask.config.set({"dataframe.shuffle.method": "p2p"}):
        frames = hdask.read_tables(tmp_path)
        assert frames._fields == ("hands", "players", "actions")
        assert frames.hands.npartitions >= 4  # two per worker thread
        for f in frames:
            assert "source" in f.columns
        key = ["source", "hand_id"]
        per_hand = frames.players.merge(frames.hands[key + ["total_pot"]], on=key).compute()
        actions = frames.actions.groupby(key).seq.count().compute()
        hands = frames.hands.compute()
    assert len(per_hand) == counts[1]
    assert actions.sum() == counts[2]
    assert len(hands) == counts[0] and not hands.duplicated(key).any()
    assert hands.duplicated(["site", "hand_id"]).sum() == counts[0] // 2
    assert set(hands.source) == {str(p) for p in tmp_path.rglob("*.txt")}


def test_dask_partitions_spread_over_the_workers():
    from handscribe.dask import partitions
    files = [str(p) for p in sorted(DATA.rglob("*.txt"))]
    for threads, blocksize, least in ((2, None, 4), (8, None, 16), (1, 1, len(files))):
        runs = partitions(files, blocksize, threads)
        assert [f for r in runs for f in r] == files  # in order, each once
        assert len(runs) == least


# ------------------------------------------------------------------------------------------
# The command line on folders
# ------------------------------------------------------------------------------------------

def cli(*args):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    return subprocess.run([sys.executable, "-m", "handscribe", *map(str, args)],
                          capture_output=True, env=env, timeout=300, check=False)


@needs_corpus
def test_cli_turns_a_corpus_folder_into_parquet(tmp_path):
    pq = pytest.importorskip("pyarrow.parquet")
    folder = CORPUS / "pokerstars"
    r = cli(folder, "--format", "parquet", "--output", tmp_path / "out", "--jobs", "2")
    assert r.returncode == 1, r.stderr  # a folder is read with --errors skip: hands left out
    files = sorted(p for p in folder.rglob("*.txt"))
    views = handscribe.parse_paths(files)
    total = sum(len(v) for v in views)
    rejected = sum(r.line > 0 for v in views for r in v.rejected)
    assert rejected > 0  # the cancelled hand at least
    last = r.stderr.decode().splitlines()[-1]
    assert last.startswith(f"{len(files)} files, {total} hands, {rejected} rejected hands, "
                           f"{len(files) - len(views)} files not read, ")
    hands = pq.read_table(tmp_path / "out" / "hands")
    assert hands.num_rows == total
    assert hands.column("hand_id").to_pylist() == [
        i for v in views for i in pa.table(v.to_arrow().hands).column("hand_id").to_pylist()]
    for name in ("players", "actions"):
        assert pq.read_table(tmp_path / "out" / name).num_rows == sum(
            len(getattr(v.to_arrow(), name)) for v in views)


@needs_corpus
def test_cli_parquet_written_a_group_at_a_time_holds_the_tables(tmp_path, monkeypatch, capsys):
    # Groups of 1 MB: each written while the next is read, all of them read back as the tables.
    pq = pytest.importorskip("pyarrow.parquet")
    from handscribe import __main__ as cli_module
    monkeypatch.setattr(cli_module, "PARQUET_GROUP_BYTES", 2**20)
    folder = CORPUS / "pokerstars"
    assert cli_module.main([str(folder), "--format", "parquet", "--output", str(tmp_path / "o"),
                            "--encoding", "auto", "--jobs", "1"]) == 1
    tables = handscribe.read_tables(folder)
    for name in ("hands", "players", "actions"):
        want = pa.RecordBatchReader.from_stream(getattr(tables, name)).read_all()
        got = pq.read_table(tmp_path / "o" / name, schema=want.schema)
        file = pq.ParquetFile(tmp_path / "o" / name / "part-0.parquet")
        assert file.num_row_groups > 1
        assert got.to_pylist() == want.to_pylist()
        stats = {c["path_in_schema"] for c in file.metadata.row_group(0).to_dict()["columns"]
                 if c["statistics"]}  # where they tell row groups apart
        assert {"site", "hand_id", "source"} <= stats and not stats & {"name", "seq", "all_in"}
    assert f" {len(tables.hands)} hands, " in capsys.readouterr().err.splitlines()[-1]


def test_cli_inputs_folders_patterns_and_usage(tmp_path):
    nested = tmp_path / "a" / "b"
    nested.mkdir(parents=True)
    (nested / "two.txt").write_bytes(GBP.read_bytes())
    (tmp_path / "a" / "one.txt").write_bytes(RUN_TWICE.read_bytes())
    (tmp_path / "a" / "skip.log").write_bytes(RUN_TWICE.read_bytes())
    r = cli(tmp_path / "a")
    assert r.returncode == 0, r.stderr
    # From a folder each line names its file.
    expected = [f'{{"source": "{p}", "hands": {handscribe.to_json(handscribe.parse_path(p))}}}'
                for p in (nested / "two.txt", tmp_path / "a" / "one.txt")]
    assert r.stdout.decode().splitlines() == expected  # sorted paths: a/b/two.txt first
    r = cli(tmp_path / "a", "--glob", "*.log")
    assert len(r.stdout.decode().splitlines()) == 1
    r = cli(str(tmp_path / "**" / "t*.txt"), tmp_path / "none*.txt", "--jobs", "1")
    assert r.returncode == 3  # an input error
    assert r.stdout.decode().splitlines() == expected[:1]
    assert r.stderr.decode().splitlines()[0] == (
        f"handscribe: no file matches '{tmp_path / 'none*.txt'}'")
    for bad in (["--format", "parquet"], ["--output", tmp_path], ["--format", "parquet",
                "--output", tmp_path, "--ohh"], ["--jobs", "0"]):
        r = cli(GBP, *bad)
        assert r.returncode == 2 and r.stdout == b"", bad
