"""iPoker XML histories: every corpus file's hands returned and the reason for each one that is
not; each returned hand checked against its own <game> element (seats, stacks, button, wins); the
site's take of each pot (no rake in a tournament, none below zero at a cash table; the hands whose
text says otherwise are pinned); detection by the XML root; the encodings of a cp1252 "€" in a
text that declares UTF-8; tolerant reading of a broken <game>; the XML reader's references and
nesting bound; golden text forms."""
import json
import re
import struct
from decimal import Decimal
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS

EXPECTED = json.loads((Path(__file__).parent / "expected" / "ipoker.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
FILES = sorted(p for p in (CORPUS / "ipoker").rglob("*") if p.is_file()) if (
    CORPUS / "ipoker").is_dir() else []
needs_ipoker = pytest.mark.skipif(not FILES, reason="hand-history corpus not present")


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def parse(path: Path):
    return handscribe.parse_path(path, errors="skip", encoding="auto")


def exact(value) -> Decimal:
    return Decimal(repr(float(value)))


def amount(text: str) -> Decimal:
    """An amount as the clients write it: a separator before three digits groups thousands."""
    digits = re.sub(r"[^\d.,]", "", text)
    digits = re.sub(r"[.,](?=\d{3}(?:\D|$))", "", digits).replace(",", ".")
    return Decimal(digits or "0")


def games(path: Path) -> list:
    """The (gamecode, text) of each <game> in order (anonymised files repeat codes)."""
    data = path.read_bytes()
    try:
        text = data.decode("utf-8-sig")
    except UnicodeDecodeError:
        text = data.decode("cp1252")
    return [(m[1], m[0]) for m in re.finditer(r'<game gamecode="(\d+)">.*?(?:</game>|\Z)', text,
                                               re.S)]


def f32(value) -> float:
    """The 32-bit float the store keeps for an amount (chips with cents above 2^17 lose them)."""
    return struct.unpack("f", struct.pack("f", float(value)))[0]


def attrs(tag: str) -> dict:
    return dict(re.findall(r'(\w+)="([^"]*)"', tag))


@needs_ipoker
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(EXPECTED)


@needs_ipoker
@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    view = parse(path)
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    assert sorted(set(want["returned"]) | set(want.get("missing", {}))) == sorted(
        {code for code, _ in games(path)})


def every_action(hand: dict) -> list:
    actions = list(hand["header"]["actions"]) + hand["summary"]["actions"]
    for street in [hand["preflop"], *hand["flops"], *hand["turns"], *hand["rivers"],
                   *hand.get("sevenths", []), *hand["showdowns"]]:
        actions += street["actions"]
    return actions


@needs_ipoker
@pytest.mark.parametrize("path", [p for p in FILES if EXPECTED[rel(p)]["returned"]], ids=rel)
def test_values_read_from_the_game(path):
    missing = EXPECTED[rel(path)].get("missing", {})
    returned = [game for code, game in games(path) if code not in missing]
    contradicting = {}
    for h, game in zip(json.loads(parse(path).to_json()), returned, strict=True):
        hd = h["header"]
        seats = [attrs(t) for t in re.findall(r"<player [^>]*>", game)]
        seats = [s for s in seats if s["name"]]
        players = hd["players"]
        assert [(p["seat"], p["name"], f32(p["chips"])) for p in players[:len(seats)]] == [
            (int(s["seat"]), s["name"], f32(amount(s["chips"]))) for s in seats]
        # stud has no button, whatever seat the client marks
        stud = hd["game_type"] in ("SevenCardStud", "SevenCardStudHiLo", "Razz")
        button = [int(s["seat"]) for s in seats if s.get("dealer") == "1" and not stud]
        assert hd["dealer_id"] == (next(i for i, p in enumerate(players)
                                         if p["seat"] == button[0]) if button else 255)
        actions = every_action(h)
        assert all(a["player_id"] < len(players) for a in actions)
        # Each winner takes the win its seat writes, less a bet nobody called where it holds one.
        returned = {a["player_id"]: exact(a["amount"]) for a in actions
                    if a["type"] == "uncalled_bet"}
        won = {w["player_id"]: exact(w["amount"]) for w in h["summary"]["winners"]}
        for i, s in enumerate(seats):
            assert f32(amount(s["win"])) in (f32(won.get(i, 0)),
                                             f32(won.get(i, 0) + returned.get(i, 0)))
        # What the pot keeps beyond the wins: nothing in a tournament, never below zero.
        rake = exact(h["summary"]["rake"])
        if rake < 0 or (hd["is_tournament"] and rake != 0):
            contradicting[hd["id"]] = str(rake)
    assert contradicting == EXPECTED[rel(path)].get("contradicting", {})


# ---------------------------------------------------------------------------------------------
# Detection, encodings, tolerance, the XML reader
# ---------------------------------------------------------------------------------------------

GAME = ('<game gamecode="{code}"><general><startdate>2014-01-06 17:11:41</startdate><players>'
        '<player seat="1" name="{name}" chips="€1,50" dealer="1" win="€0,20" bet="€0,10"/>'
        '<player seat="2" name="B" chips="€2" dealer="0" win="€0" bet="€0,10"/></players>'
        '</general><round no="0"><action no="1" player="{name}" type="1" sum="€0,05"/>'
        '<action no="2" player="B" type="2" sum="€0,10"/></round><round no="1">'
        '<action no="3" player="{name}" type="{call}" sum="€0,05"/>'
        '<action no="4" player="B" type="4" sum="€0"/></round>{extra}</game>')


def session(*games: str, declaration: str = '<?xml version="1.0" encoding="utf-8"?>\n') -> str:
    return (declaration + '<session sessioncode="1"><general><gametype>Holdem NL €0,05/€0,10'
            '</gametype><tablename>T, 1</tablename></general>' + "".join(games) + "</session>")


def game(code: str, name: str = "A", call: str = "3", extra: str = "") -> str:
    return GAME.format(code=code, name=name, call=call, extra=extra)


@pytest.mark.parametrize("declaration", [
    '<?xml version="1.0" encoding="utf-8"?>\n', "", "\ufeff", "\ufeff \n\t",
    '\ufeff<?xml version="1.0"?>\r\n  '])
def test_detected_by_its_root(declaration):
    view = handscribe.parse_str(session(game("1"), declaration=declaration))
    assert json.loads(view.to_json())[0]["header"]["site"] == "IPoker"


@pytest.mark.parametrize("text", ["<sessions>", "<game gamecode=\"1\">", "<?xml?><html>"])
def test_other_roots_are_no_site(text):
    with pytest.raises(RuntimeError, match="Invalid poker website"):
        handscribe.parse_str(text)


def test_cp1252_euro_inside_a_utf8_declaration(tmp_path):
    path = tmp_path / "cp1252.xml"
    path.write_bytes(session(game("1")).encode("cp1252"))
    # Read as UTF-8 the "€" byte is no character: the file is refused as UTF-8 is, not garbled.
    with pytest.raises(RuntimeError, match="UTF-8"):
        handscribe.parse_path(path)
    for encoding in ("auto", "cp1252"):
        hand = json.loads(handscribe.parse_path(path, encoding=encoding).to_json())[0]
        assert (hand["header"]["currency"], hand["header"]["big_blind"]) == ("€", 0.1)


def test_a_broken_game_is_rejected_and_the_others_kept():
    text = session(game("1"), game("2", call="99"), game("3", extra="<round no=\"2\"><x></y>"),
                   game("4"))
    view = handscribe.parse_str(text, errors="skip")
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == ["1", "4"]
    assert {r.hand_id: r.reason for r in view.rejected} == {
        "2": "unrecognised action type 99",
        "3": "malformed XML: end tag that closes no open element"}
    with pytest.raises(handscribe.PanicException, match="unrecognised action type 99"):
        handscribe.parse_str(text)


@pytest.mark.parametrize("raw, name", [
    ("A&amp;B", "A&B"), ("&lt;x&gt;", "<x>"), ("&quot;q&apos;", "\"q'"), ("&#65;&#x42;", "AB"),
    ("&#x20AC;1", "€1")])
def test_references_in_names(raw, name):
    hand = json.loads(handscribe.parse_str(session(game("1", name=raw))).to_json())[0]
    assert hand["header"]["players"][0]["name"] == name
    assert all(a["player_id"] < 2 for a in every_action(hand))


@pytest.mark.parametrize("raw, reason", [
    ("A&bogus;", "unreadable reference: 'A&bogus;'"), ("&#0;", "unreadable reference: '&#0;'"),
    ("&#xD800;", "unreadable reference: '&#xD800;'")])
def test_unreadable_references(raw, reason):
    view = handscribe.parse_str(session(game("1", name=raw), game("2")), errors="skip")
    assert len(view) == 1 and {r.hand_id: r.reason for r in view.rejected} == {"1": reason}


def test_nesting_is_bounded():
    deep = "<a>" * 40 + "</a>" * 40
    view = handscribe.parse_str(session(game("1", extra=deep), game("2")), errors="skip")
    assert [r.reason for r in view.rejected] == ["malformed XML: elements nested too deep"]
    assert len(view) == 1


# ---------------------------------------------------------------------------------------------
# Golden text forms
# ---------------------------------------------------------------------------------------------

HHS = CORPUS / "ipoker" / "HHSmithy_PokerHandHistoryParser"
FPDB = CORPUS / "ipoker" / "jejellyroll-fr_fpdb-3"
# name: (file, hand id)
GOLDEN_CASES = {
    "ipoker_omaha_showdown": (HHS / "OmahaShowdown.txt", None),
    "ipoker_antes": (HHS / "AnteAction.txt", None),
    "ipoker_comma_decimals_cp1252": (FPDB / "5CPLO-EUR-0.50-1.00-202201.no.player.element.txt",
                                     None),
    "ipoker_russian": (FPDB / "NLHE-EUR-0.25-0.50-201202.Russian.NL.txt", None),
    "ipoker_italian_tournament": (FPDB / "NLHE-EUR-SNG-0.50.iPoker.it.txt", None),
    "ipoker_tournament_antes_side_pot": (FPDB / "NLHE-GBP-MTT-5-201403.FPPbuyin.txt",
                                         "5568984064"),
    # A short all-in's main pot (3 x 667.50 + the blinds) and the side pot bet and called after
    # it, won by two players; the XML names no pot, so both wins are the hand's pot's.
    "ipoker_side_pot": (FPDB / "NLHE-USD-MTT-5r-201112.Sample.xml", "3869434000"),
}


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
