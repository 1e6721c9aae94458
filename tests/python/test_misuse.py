"""What a newcomer tries first, each giving the right result or an error that says what to do:
paths as str, folders and generators, jobs, encodings by their usual names, help(), reprs,
the version; and the command line on a folder of mixed, damaged and unsupported files."""
import importlib.metadata
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import handscribe
from conftest import DATA
from test_cli import run
from test_tolerant import FAULT, THREE

STARS = DATA / "pokerstars"
ONE = STARS / "thlorenz_posts-allin.txt"  # ASCII: the same hands in every encoding
MANY = STARS / "hh.com_Baetsle_289FR_2021.07.30_0.txt"
FILES = sorted(str(p) for p in DATA.rglob("*.txt"))


def ids(views) -> list:
    return [i for v in views for i in re.findall(r"id: '(\d+)'", repr(v))]


def hand_ids(tables) -> list:
    pa = pytest.importorskip("pyarrow")
    return pa.table(tables.hands).column("hand_id").to_pylist()


ALL_IDS = ids(handscribe.parse_paths(FILES))
ONE_IDS = ids([handscribe.parse_path(ONE)])
TABLE_IDS = hand_ids(handscribe.read_tables(FILES))
ONE_TABLES = handscribe.read_tables([str(ONE)])
ROWS = [len(t) for t in (ONE_TABLES.hands, ONE_TABLES.players, ONE_TABLES.actions)]
PLAYER_COLUMNS = [f.name for f in pytest.importorskip("pyarrow").schema(ONE_TABLES.players)]

# (what is tried, the call, the expected result or (exception type, pattern of its message))
CASES = [
    ("read_tables of a folder as str", lambda: hand_ids(handscribe.read_tables(str(DATA))),
     TABLE_IDS),
    ("read_tables of a generator",
     lambda: sorted(hand_ids(handscribe.read_tables(DATA.rglob("*.txt")))), sorted(TABLE_IDS)),
    ("parse_paths of one str path", lambda: ids(handscribe.parse_paths(str(ONE))), ONE_IDS),
    ("parse_paths of one Path", lambda: len(handscribe.parse_paths(ONE)), 1),
    ("parse_paths of a folder", lambda: ids(handscribe.parse_paths(DATA)), ALL_IDS),
    ("parse_paths of Path.rglob", lambda: sorted(ids(handscribe.parse_paths(DATA.rglob("*.txt")))),
     sorted(ALL_IDS)),
    ("parse_paths of a folder and a file",
     lambda: ids(handscribe.parse_paths([DATA / "ongame", ONE])),
     ids(handscribe.parse_paths(sorted(str(p) for p in (DATA / "ongame").rglob("*.txt"))))
     + ONE_IDS),
    ("parse_paths with glob", lambda: len(handscribe.parse_paths(DATA, glob="OnGame*.txt")), 5),
    ("parse_paths with jobs", lambda: ids(handscribe.parse_paths(FILES, jobs=1)), ALL_IDS),
    ("parse_strs with jobs",
     lambda: ids(handscribe.parse_strs([ONE.read_text(encoding="utf-8")], jobs=2)), ONE_IDS),
    ("read_tables with jobs", lambda: hand_ids(handscribe.read_tables(FILES, jobs=1)),
     TABLE_IDS),
    ("jobs of 0", lambda: handscribe.parse_paths(FILES, jobs=0),
     (ValueError, "jobs must be at least 1")),
    ("parse_path of a folder", lambda: handscribe.parse_path(DATA),
     (IsADirectoryError, "is a folder: parse_paths")),
    ("parse_path of a list", lambda: handscribe.parse_path([str(ONE)]),
     (TypeError, "'list' object cannot be converted to 'PyString'")),
    ("bytes for paths", lambda: handscribe.parse_paths(str(ONE).encode()),
     (TypeError, "'bytes' object cannot be converted to 'PyString'")),
    ("a number for paths", lambda: handscribe.read_tables(3),
     (TypeError, "'int' object cannot be converted to 'Sequence'")),
    *[(f"encoding {name!r}", lambda name=name: ids(handscribe.parse_paths(ONE, encoding=name)),
       ONE_IDS) for name in ("UTF-8", "utf8", "U8", "windows-1252", "cp1252", "latin1",
                             "ISO-8859-1", "Latin-1", "AUTO")],
    ("encoding 'utf-16'", lambda: handscribe.parse_path(ONE, encoding="utf-16"),
     (ValueError, "argument 'encoding' must be one of 'utf-8', 'cp1252', 'latin-1', 'auto', "
                  "not 'utf-16'")),
    ("an unknown encoding", lambda: handscribe.read_tables(ONE, encoding="klingon"),
     (ValueError, "must be one of 'utf-8', 'cp1252', 'latin-1', 'auto', not 'klingon'")),
    ("__version__", lambda: handscribe.__version__, importlib.metadata.version("handscribe")),
    ("repr of Table", lambda: repr(handscribe.read_tables(ONE).players),
     f"Table(players: {ROWS[1]} rows, {len(PLAYER_COLUMNS)} columns: "
     f"{', '.join(PLAYER_COLUMNS)})"),
    ("repr of Tables", lambda: repr(handscribe.read_tables([ONE, DATA / "missing.txt"])),
     f"Tables(hands={ROWS[0]} rows, players={ROWS[1]} rows, actions={ROWS[2]} rows, "
     "rejected=1)"),
    ("Tables unpacks", lambda: [len(t) for t in handscribe.read_tables(ONE)], ROWS),
    ("view.count", lambda: [v.count(v[1]) for v in [handscribe.parse_path(MANY)]]
     + [handscribe.parse_path(MANY).count(handscribe.parse_path(MANY)[1])], [1, 0]),
    ("view.index", lambda: [(v.index(v[7]), v[5:].index(v[7]), v.index(v[7], 2, 9))
                            for v in [handscribe.parse_path(MANY)]], [(7, 2, 7)]),
    ("view.index out of its bounds", lambda: [v.index(v[7], 0, 7) for v in
                                              [handscribe.parse_path(MANY)]],
     (ValueError, "not in view")),
    ("view.index of another parse", lambda: handscribe.parse_path(MANY).index(
        handscribe.parse_path(MANY)[0]), (ValueError, "not in view")),
    ("in", lambda: [(v[-1] in v, v[0] in v[1:]) for v in [handscribe.parse_path(MANY)]],
     [(True, False)]),
]

@pytest.mark.parametrize("call,expected", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_misuse(call, expected):
    if isinstance(expected, tuple) and isinstance(expected[0], type):
        error, pattern = expected
        with pytest.raises(error, match=pattern):
            call()
    elif isinstance(expected, str) and expected.endswith(" "):  # a beginning
        assert call().startswith(expected)
    else:
        assert call() == expected


PUBLIC = [*handscribe.__all__, *(f"HandView.{m}" for m in (
    "to_json", "to_json_ohh", "to_ohh", "to_arrow", "index", "count", "rejected")),
    "Tables.hands", "Tables.players", "Tables.actions", "Tables.rejected",
    "Table.__arrow_c_stream__"]


@pytest.mark.parametrize("name", PUBLIC)
def test_every_public_name_has_a_docstring(name):
    obj = handscribe
    for part in name.split("."):
        obj = getattr(obj, part)
    assert obj.__doc__ and len(obj.__doc__) > 30, name


# ------------------------------------------------------------------------------------------
# The command line on a folder as found on a player's disk
# ------------------------------------------------------------------------------------------

@pytest.fixture
def mixed_folder(tmp_path: Path) -> Path:
    """Two sites' files, a damaged hand among good ones, a file whose one hand is of a game no
    reader reads, one of no site, one with a byte that is not UTF-8, and a file of another name
    left alone."""
    folder = tmp_path / "histories"
    shutil.copytree(DATA, folder)
    (folder / "damaged.txt").write_text(THREE, encoding="utf-8")
    (folder / "kingsclub.txt").write_text("#1: Limit Drawmaha - 1/2\nTable x\n", encoding="utf-8")
    (folder / "notes.txt").write_text("remember to fold more\n", encoding="utf-8")
    (folder / "nested").mkdir()
    (folder / "nested" / "latin.txt").write_bytes(THREE.replace("Anna", "Ren\xe9").encode("cp1252"))
    (folder / "notes.md").write_text("not read\n", encoding="utf-8")
    return folder


def test_command_line_on_a_mixed_folder_with_default_flags(tmp_path, mixed_folder):
    pq = pytest.importorskip("pyarrow.parquet")
    out = tmp_path / "out"
    r = run(mixed_folder, "--format", "parquet", "--output", out, "--report")
    assert r.returncode == 1, r.stderr  # hands rejected
    err = r.stderr.decode().splitlines()
    files = sorted(str(p) for p in mixed_folder.rglob("*.txt"))
    tables = handscribe.read_tables(files, errors="skip", encoding="utf-8")
    assert re.fullmatch(rf"{len(files)} files, {len(tables.hands)} hands, 2 rejected hands, "
                        r"2 files not read, \d+\.\d MB, \d+\.\d\d s", err[-1]), err[-1]
    assert sorted(err[:-1]) == sorted([
        f"{mixed_folder / 'damaged.txt'}:18: 300000000002: {FAULT}",
        f"{mixed_folder / 'kingsclub.txt'}:1: 1: game not read: Limit Drawmaha",
        f"{mixed_folder / 'notes.txt'}:0: : Invalid poker website - 'remember to fold more'",
        f"{mixed_folder / 'nested' / 'latin.txt'}:0: : Failed to open file at path "
        f"'{mixed_folder / 'nested' / 'latin.txt'}' with error stream did not contain valid "
        "UTF-8 at byte offset " + str(THREE.index("Anna") + 3)])  # the \xe9 of "Ren\xe9"
    written = pq.read_table(out / "hands")
    assert written.column("hand_id").to_pylist() == hand_ids(tables)
    assert set(written.column("source").to_pylist()) == set(files) - {
        str(mixed_folder / n) for n in ("kingsclub.txt", "notes.txt", "nested/latin.txt")}
    assert {"300000000001", "300000000003"} <= set(written.column("hand_id").to_pylist())
    for name in ("players", "actions"):
        assert pq.read_table(out / name).num_rows == len(getattr(tables, name))


@pytest.mark.parametrize("args,status,message", [
    # --report takes a file, or writes to standard error when none follows
    (["--report", "{tmp}/rep.txt", "{one}"], 0, "1 files, 1 hands"),
    # a hand history taken for the report's file by mistake is left alone
    (["--report", "{one}", "{one}"], 2, "--report would overwrite"),
    (["{one}", "--format", "parquet", "--output", "{one}"], 3, "cannot write '{one}': "),
    (["{one}", "--report={tmp}/no/such/rep.txt"], 3, "cannot write '{tmp}/no/such/rep.txt'"),
    (["{one}", "--format", "ohh", "--ohh"], 2, "for .ohh files use --format ohh"),
    (["{one}", "--encoding", "utf-16"], 2, "must be one of 'utf-8', 'cp1252', 'latin-1', 'auto', "
                                         "not 'utf-16' (or another name of one of them)"),
    (["{one}", "--encoding", "Windows-1252"], 0, "1 files, 1 hands"),
    (["{tmp}/missing.txt"], 3, "{tmp}/missing.txt: Failed to open file"),
])
def test_command_line_misuse(tmp_path, args, status, message):
    def fill(text: str) -> str:
        return text.format(tmp=tmp_path, one=ONE)
    before = ONE.read_bytes()
    r = run(*map(fill, args))
    assert r.returncode == status, r.stderr
    assert fill(message) in r.stderr.decode()
    assert ONE.read_bytes() == before
    if args[0] == "--report" and status == 0:
        assert (tmp_path / "rep.txt").read_text() == ""  # written, and nothing was left out


@pytest.mark.parametrize("module", ["handscribe", "handscribe.dask"])
def test_help_has_no_undocumented_name(module):
    text = subprocess.run([sys.executable, "-c", f"import {module}; help({module})"],
                          check=True, capture_output=True, text=True, timeout=60).stdout
    assert text and "no documentation" not in text.lower()
