"""Tolerant reading: errors="skip", HandView.rejected and handscribe.Rejected, the batch functions
in skip mode, the encodings, and every corpus file read with errors="skip", encoding="auto"."""
import codecs
import json
import re

import pytest

import handscribe
from conftest import CORPUS, corpus_files, needs_corpus
from damage import HAND_START, hand_starts, lines_of
from handscribe import PanicException, Rejected, parse_path, parse_paths, parse_str, parse_strs
from test_detection import HAND
from test_pokerstars_corpus import HANDS, ids_of, rel


def hand(number: int) -> str:
    return HAND.replace("#200000000001", f"#{300000000000 + number}")


# The middle hand's pot line has no '|': a fault inside that hand alone.
BROKEN = hand(2).replace("Total pot $2 | Rake $0", "Total pot $2 Rake $0")
FAULT = "missing '|' before the rake in 'Total pot $2 Rake $0'"
THREE = hand(1) + BROKEN + hand(3)


def test_a_faulting_hand_costs_only_itself_in_skip_mode(capfd):
    with pytest.raises(PanicException, match=re.escape(FAULT)):
        parse_str(THREE)
    capfd.readouterr()
    view = parse_str(THREE, errors="skip")
    assert repr(view) == repr(parse_str(hand(1) + hand(3)))  # its records are taken back
    assert view.rejected == [Rejected(18, "300000000002", FAULT)]
    assert capfd.readouterr().err == ""  # no fault line: nothing reached Python as a fault
    # the strict mode reports its rejected hands too
    cancelled = hand(2).replace("*** HOLE CARDS ***", "Hand cancelled\n*** HOLE CARDS ***")
    strict = parse_str(hand(1) + cancelled)
    assert strict.rejected == [
        Rejected(18, "300000000002", "unrecognised line before the deal: 'Hand cancelled'")]


def test_messages_quote_at_most_200_characters_of_the_input(capfd):
    long = "Alice dances " + "é" * 300
    quoted = "'" + long[:200] + "\u2026'"
    strict = parse_str(hand(1).replace("*** HOLE CARDS ***", long + "\n*** HOLE CARDS ***"))
    assert strict.rejected[0].reason == "unrecognised line before the deal: " + quoted
    with pytest.raises(PanicException) as err:
        parse_str(THREE.replace("Total pot $2 Rake $0", "Total pot $2 Rake $0" + "x" * 300))
    assert len(str(err.value)) < 250 and str(err.value).endswith("x\u2026'")
    assert len(capfd.readouterr().err) < 1000  # the fault's line on standard error too
    with pytest.raises(RuntimeError, match=re.escape("Invalid poker website - " + quoted)):
        parse_str(long)


def test_rejected_is_a_named_tuple():
    r = parse_str(THREE, errors="skip").rejected[0]
    line, hand_id, reason = r
    assert (line, hand_id, reason) == (r.line, r.hand_id, r.reason) == tuple(r)
    assert isinstance(r, tuple) and Rejected._fields == ("line", "hand_id", "reason")
    assert r._asdict() == {"line": 18, "hand_id": "300000000002", "reason": FAULT}
    assert repr(r) == f"Rejected(line=18, hand_id='300000000002', reason={FAULT!r})"
    assert Rejected.__module__ == "handscribe" and "hand_id" in Rejected.__doc__


def test_views_cut_from_another_have_no_rejections():
    view = parse_str(THREE, errors="skip")
    assert len(view.rejected) == 1
    assert view[0].rejected == view[:].rejected == [h.rejected for h in view][1] == []
    view.rejected.clear()  # the list is the view's own
    assert parse_str(THREE, errors="skip").rejected != []


@pytest.mark.parametrize(
    "text,message",
    [
        ("PokerStars Hand #1: Hold'em", "missing second line in 'PokerStars Hand #1: Hold'em'"),
    ],
)
def test_faults_of_a_whole_input_are_runtime_errors_in_skip_mode(text, message):
    with pytest.raises(PanicException, match=re.escape(message)):
        parse_str(text)
    with pytest.raises(RuntimeError) as info:
        parse_str(text, errors="skip")
    assert info.value.args == (message,)
    with pytest.raises(PanicException):
        parse_strs([hand(1), text])
    views = parse_strs([hand(1), text, "Lucky Poker 7", hand(3)], errors="skip")
    assert [len(v) for v in views] == [1, 0, 0, 1]
    assert [v.rejected for v in views] == [
        [], [Rejected(0, "", message)],
        [Rejected(0, "", "Invalid poker website - 'Lucky Poker 7'")], [],
    ]
    assert len(parse_strs([hand(1), "Lucky Poker 7"])) == 1  # strict still drops


@pytest.mark.parametrize(
    "call",
    [
        lambda: parse_str(HAND, errors="ignore"),
        lambda: parse_strs([HAND], errors="Skip"),
        lambda: parse_path("x", encoding="utf-16"),  # "utf8" is a name of utf-8: taken
        lambda: parse_paths(["x"], encoding="cp1251"),
        lambda: handscribe.to_ohh(parse_str(HAND), errors="ignore"),
    ],
)
def test_unknown_values_name_the_allowed_ones(call):
    with pytest.raises(ValueError) as info:
        call()
    assert re.fullmatch(
        r"argument '(errors|encoding)' must be one of ('strict', 'skip'|'utf-8', 'cp1252', "
        r"'latin-1', 'auto'), not '.*'", str(info.value))


def test_the_new_arguments_are_keywords_only():
    with pytest.raises(TypeError):
        parse_str(HAND, "skip")
    with pytest.raises(TypeError):
        parse_path("x", "strict", "auto")
    with pytest.raises(TypeError, match="argument 'errors'.*'int'"):
        parse_str(HAND, errors=1)
    with pytest.raises(TypeError):
        parse_str(HAND, encoding="auto")  # texts are str: no encoding
    with pytest.raises(TypeError):
        parse_str(HAND).to_ohh("skip")


# ------------------------------------------------------------------------------------------
# Encodings
# ------------------------------------------------------------------------------------------

HIGH = bytes(range(0x80, 0x100))
EURO_NAME = "Z\u00e9\u20ac\U0001f0a1"  # characters of two, three and four bytes


def named(name: bytes) -> bytes:
    """HAND with Anna renamed to `name` (raw bytes)."""
    return HAND.encode().replace(b"Anna", name)


def name_of(view) -> str:
    return json.loads(view.to_json())[0]["header"]["players"][0]["name"]


@pytest.mark.parametrize(
    "data,encoding,name",
    [
        # every byte above ASCII, each code page against Python's own codec
        (b"N" + HIGH, "cp1252", "N" + HIGH.decode("cp1252", "replace")),
        (b"N" + HIGH, "latin-1", "N" + HIGH.decode("latin-1")),
        (b"N" + HIGH, "auto", "N" + HIGH.decode("cp1252", "replace")),  # no UTF-8 sequence
        # valid UTF-8 is read as it is, under "auto" as under "utf-8"
        (EURO_NAME.encode(), "auto", EURO_NAME),
        (EURO_NAME.encode(), "utf-8", EURO_NAME),
        # UTF-8 with damage: each byte of no valid sequence is one U+FFFD
        (EURO_NAME.encode() + b"\xe2\x82x\xff", "auto", EURO_NAME + "\ufffd\ufffdx\ufffd"),
        (b"\xf0\x9f\x82" + "\u00e9".encode(), "auto", "\ufffd" * 3 + "\u00e9"),
        # the undefined bytes of cp1252
        (b"A\x81\x8d\x8f\x90\x9d", "cp1252", "A" + "\ufffd" * 5),
    ],
    ids=lambda v: v if isinstance(v, str) and len(v) < 10 else None,
)
def test_names_decoded_from_each_encoding(tmp_path, data, encoding, name):
    path = tmp_path / "h.txt"
    path.write_bytes(named(data))
    assert name_of(parse_path(path, encoding=encoding)) == name
    assert [name_of(v) for v in parse_paths([path], encoding=encoding)] == [name]
    if encoding != "utf-8" and data != EURO_NAME.encode():
        with pytest.raises(RuntimeError, match="did not contain valid UTF-8 at byte offset"):
            parse_path(path)


def test_byte_order_mark_under_each_encoding(tmp_path):
    path = tmp_path / "h.txt"
    path.write_bytes(codecs.BOM_UTF8 + named(b"Ren\xe9"))  # a mark, then a cp1252 byte
    assert name_of(parse_path(path, encoding="auto")) == "Ren\ufffd"  # the mark is UTF-8
    for encoding in ("cp1252", "latin-1"):  # no mark in those code pages: three characters
        with pytest.raises(RuntimeError, match="^Invalid poker website - '\u00ef\u00bb\u00bfPoker"):
            parse_path(path, encoding=encoding)
    path.write_bytes(codecs.BOM_UTF8 + named(b"Ren\xc3\xa9"))
    for encoding in ("utf-8", "auto"):
        assert name_of(parse_path(path, encoding=encoding)) == "Ren\u00e9"


@pytest.mark.parametrize("codec,mark", [("utf-16-le", codecs.BOM_UTF16_LE),
                                        ("utf-16-be", codecs.BOM_UTF16_BE)])
def test_utf16_with_its_mark_under_auto(tmp_path, codec, mark):
    # any site's file, written by a Windows client: characters of every length, one of them
    # outside the Basic Multilingual Plane (a surrogate pair)
    path = tmp_path / "h.txt"
    path.write_bytes(mark + HAND.replace("Anna", EURO_NAME).encode(codec))
    assert name_of(parse_path(path, encoding="auto")) == EURO_NAME
    assert repr(parse_path(path, encoding="auto")) == repr(parse_str(HAND.replace("Anna",
                                                                                  EURO_NAME)))
    with pytest.raises(RuntimeError, match="did not contain valid UTF-8 at byte offset 0"):
        parse_path(path)
    # a surrogate without its other half, and an odd byte at the end, are U+FFFD
    path.write_bytes(mark + HAND.replace("Anna", "A\ud800").encode(codec, "surrogatepass") +
                     b"\x00")
    assert name_of(parse_path(path, encoding="auto")) == "A\ufffd"


INVALID_UTF8 = [p for p in corpus_files("pokerstars") if HANDS[rel(p)].get("invalid_utf8")]


@needs_corpus
@pytest.mark.parametrize("path", INVALID_UTF8, ids=rel)
def test_files_with_damaged_names_return_their_hands_with_auto(path):
    assert ids_of(parse_path(path, encoding="auto")) == HANDS[rel(path)]["returned"]


@needs_corpus
def test_the_cp1252_file():
    path = CORPUS / "pokerstars_other" / "thlorenz_hhp" / "2008-tournament.txt"
    text = path.read_bytes().decode("cp1252")
    assert "\u00f2" in text  # ò, byte 0xF2
    with pytest.raises(RuntimeError, match="did not contain valid UTF-8 at byte offset 408"):
        parse_path(path)
    for encoding in ("cp1252", "auto"):
        view = parse_path(path, encoding=encoding, errors="skip")
        want = parse_str(text, errors="skip")
        assert (repr(view), view.rejected) == (repr(want), want.rejected)
        assert len(view) + len(view.rejected) == 1


@needs_corpus
@pytest.mark.parametrize("name", ["NLHE-3max-EUR-5.00-202102.RIO.cub3d.txt",
                                  "NLHE-3max-EUR-5.00-202103.classic.txt"])
def test_run_it_once_files_in_cp1252_are_read(name):
    path = CORPUS / "pokerstars_other" / "jejellyroll-fr_fpdb-3" / name
    view = parse_path(path, encoding="auto", errors="skip")
    assert (len(view), view.rejected) == (1, [])
    assert json.loads(view.to_json())[0]["header"]["tournament"]["currency"] == "\u20ac"


# ------------------------------------------------------------------------------------------
# Every corpus file
# ------------------------------------------------------------------------------------------

# The header styles of the corpus's PokerStars files (the hand-start count reads any line that
# begins "PokerStars ", as the format does).
HEADER_STYLE = re.compile(r"PokerStars (?:Zoom Hand|Hand|Game|Home Game) #\d+: ")
EVERY_FILE = sorted(CORPUS.rglob("*.txt")) if CORPUS.is_dir() else []
XML_ROOT = re.compile(r"\ufeff?\s*(?:<\?xml[^>]*\?>\s*)?<(?:session|description)[\s>/]")
XML_GAME = re.compile(r"<game[\s>]")


@needs_corpus
@pytest.mark.parametrize("path", EVERY_FILE, ids=rel)
def test_every_hand_start_is_returned_or_reported(path):
    data = path.read_bytes()
    utf16 = data[:2] in (codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE)
    text = data.decode("utf-16" if utf16 else "utf-8", "replace")
    try:
        view = parse_path(path, errors="skip", encoding="auto")
    except RuntimeError as e:
        assert re.match("Invalid poker website - ", str(e))
        return
    # A history that begins inside a hand reports that text first, without an id: no hand start.
    n = sum(r.reason == "text begins inside a hand" for r in view.rejected)
    assert all(not r.hand_id and r.reason.startswith("text begins") for r in view.rejected[:n])
    rejected = [r for r in view.rejected[n:] if r.line > 0]
    if XML_ROOT.match(text):  # an XML history (iPoker, Merge): each <game> element is a hand
        lines = lines_of(text.removeprefix("\ufeff"))
        assert len(view) + len(rejected) == len(XML_GAME.findall(text))
        assert all(XML_GAME.search(lines[r.line - 1]) for r in rejected)
        return
    assert len(view) + len(rejected) == hand_starts(text)
    lines = lines_of(text.removeprefix("\ufeff"))
    for r in rejected:  # each names a hand start of the file, in order
        assert HAND_START.match(lines[r.line - 1])
    assert [r.line for r in rejected] == sorted({r.line for r in rejected})
    starts = [line for line in lines if HAND_START.match(line) and "PokerStars" in line]
    assert all(HEADER_STYLE.match(line.lstrip("\ufeff")) for line in starts)


@needs_corpus
@pytest.mark.parametrize("folder", ["pokerstars", "pokerstars_other", "ongame", "winamax",
                                    "ggpoker", "pacificpoker", "partypoker"])
def test_parse_paths_in_skip_mode_equals_parse_path_on_each(folder, tmp_path):
    paths = corpus_files(folder) + [tmp_path / "missing.txt"]
    unsupported = tmp_path / "pokernow.txt"
    unsupported.write_text("entry,at,order\n\"x\n", encoding="utf-8")
    paths.insert(1, unsupported)  # a text no reader can read as a whole

    def single(p):
        try:
            v = parse_path(p, errors="skip")
            return repr(v), v.rejected
        except RuntimeError as e:
            return "[]", [Rejected(0, "", str(e))]

    views = parse_paths(paths, errors="skip")
    assert [(repr(v), v.rejected) for v in views] == [single(p) for p in paths]
    assert views[-1].rejected[0].reason.startswith("Failed to open file at path ")
    assert views[1].rejected[0].reason.startswith("PokerNow log that is not comma-separated")


# ------------------------------------------------------------------------------------------
# Tables
# ------------------------------------------------------------------------------------------

def test_read_tables_skips_and_decodes_by_default(tmp_path):
    pa = pytest.importorskip("pyarrow")
    damaged = tmp_path / "damaged.txt"
    damaged.write_bytes(THREE.replace("Anna", "Ren\xe9").encode("cp1252"))
    unknown = tmp_path / "unknown.txt"
    unknown.write_text("Lucky Poker 7\n")
    paths = [damaged, tmp_path / "missing.txt", unknown]
    tables = handscribe.read_tables(paths)
    views = parse_paths(paths, errors="skip", encoding="auto")
    assert len(tables.hands) == sum(len(v) for v in views) == 2
    assert "Ren\u00e9" in pa.table(tables.players).column("name").to_pylist()
    assert tables.rejected == [(str(p), r) for p, v in zip(paths, views) for r in v.rejected]
    assert [r.line for _, r in tables.rejected] == [18, 0, 0]
    assert handscribe.read_tables(paths, errors="skip", encoding="utf-8").rejected[0][1].line == 0
    with pytest.raises(PanicException, match=re.escape(FAULT)):
        handscribe.read_tables(paths, errors="strict", encoding="cp1252")
    strict = handscribe.read_tables([tmp_path / "missing.txt"], errors="strict")
    # Left out, and named in strict mode too (the command line names every file it could not read).
    [(path, rejected)] = strict.rejected
    assert (len(strict.hands), path, rejected.line) == (0, str(tmp_path / "missing.txt"), 0)
    assert rejected.reason.startswith("Failed to open file at path ")
    assert parse_str(HAND).to_arrow().rejected == []
    with pytest.raises(ValueError, match="argument 'encoding'"):
        handscribe.read_tables(paths, encoding="ascii")


def test_dask_reader_takes_the_same_keywords(tmp_path):
    pytest.importorskip("dask.dataframe")
    import handscribe.dask
    path = tmp_path / "h.txt"
    path.write_bytes(THREE.encode())
    hands, _, _ = handscribe.dask.read_tables([path])
    assert len(hands.compute()) == 2
    with pytest.raises(ValueError, match="argument 'errors'"):
        handscribe.dask.read_tables([path], errors="lenient")
