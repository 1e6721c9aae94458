"""Merge network XML histories: every corpus file's hands returned and the reason for each one that
is not; each returned hand checked against its own <game> element (seats, stacks, button, wins);
the site's take of each pot (none in a tournament, none below zero; the hands whose text says
otherwise are pinned); detection by the XML root; a golden text form."""
import json
import re
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS
from test_ipoker import amount, attrs, every_action, f32

EXPECTED = json.loads((Path(__file__).parent / "expected" / "merge.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
FILES = sorted(p for p in (CORPUS / "merge").rglob("*") if p.is_file()) if (
    CORPUS / "merge").is_dir() else []
needs_merge = pytest.mark.skipif(not FILES, reason="hand-history corpus not present")


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def parse(path: Path):
    return handscribe.parse_path(path, errors="skip", encoding="auto")


def games(path: Path) -> list:
    text = path.read_bytes().decode("utf-8")
    return [(m[1], m[0]) for m in re.finditer(r'<game id="([^"]+)".*?(?:</game>|\Z)', text, re.S)]


@needs_merge
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(EXPECTED)


@needs_merge
@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    view = parse(path)
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    assert sorted(want["returned"] + list(want.get("missing", {}))) == sorted(
        code for code, _ in games(path))


@needs_merge
@pytest.mark.parametrize("path", [p for p in FILES if EXPECTED[rel(p)]["returned"]], ids=rel)
def test_values_read_from_the_game(path):
    missing = EXPECTED[rel(path)].get("missing", {})
    returned = [game for code, game in games(path) if code not in missing]
    contradicting = {}
    for h, game in zip(json.loads(parse(path).to_json()), returned, strict=True):
        hd = h["header"]
        seats = [attrs(t) for t in re.findall(r"<player [^>]*>", game)]
        players = hd["players"]
        # Older exports write the balances after the posts: then every stack has its posts back.
        blinds = re.search(r'<round id="BLINDS".*?</round>', game, re.S)
        posts = {}
        for e in (attrs(t) for t in re.findall(r"<event [^>]*>", blinds[0] if blinds else "")):
            posts[e["player"]] = posts.get(e["player"], 0) + amount(e.get("amount", "0"))
        stacks = [(p["seat"], p["name"], f32(p["chips"])) for p in players[:len(seats)]]
        assert stacks in ([(int(s["seat"]), s["nickname"], f32(amount(s["balance"]) + posts.get(
            s["seat"], 0) * after)) for s in seats] for after in (0, 1))
        # stud has no button
        assert hd["dealer_id"] == next(
            (i for i, p in enumerate(players[:len(seats)])
             if str(p["seat"]) == re.search(r'<players dealer="(\d+)"', game)[1]
             and "BRING_IN" not in game), 255)
        assert all(a["player_id"] < len(players) for a in every_action(h))
        # Each winner takes what its <winner> elements write, less a bet returned it holds.
        by_seat = {p["seat"]: i for i, p in enumerate(players)}
        written = {}
        for w in (attrs(t) for t in re.findall(r"<winner [^>]*>", game)):
            if w["uncalled"] != "true":
                i = by_seat[int(w["player"])]
                written[i] = written.get(i, 0) + amount(w["amount"])
        returned_to = {a["player_id"]: a["amount"] for a in every_action(h)
                       if a["type"] == "uncalled_bet"}
        won = {}
        for w in h["summary"]["winners"]:
            won[w["player_id"]] = won.get(w["player_id"], 0) + w["amount"]
        for i, amount_written in written.items():
            assert f32(amount_written) in (f32(won.get(i, 0)),
                                           f32(won.get(i, 0) + returned_to.get(i, 0)))
        rake = h["summary"]["rake"]
        if rake < 0 or (hd["is_tournament"] and rake != 0):
            contradicting[hd["id"]] = f"{rake:g}"
    assert contradicting == EXPECTED[rel(path)].get("contradicting", {})


def test_detected_by_its_root():
    text = ('<description type="Holdem" stakes="No Limit ($0.02/$0.04)"/>\n<game id="1-1" '
            'starttime="20110531030610" data="d|T|1|1-1|false"><players dealer="1">'
            '<player seat="1" nickname="A &amp; B" balance="$1.00" dealtin="true"/>'
            '<player seat="2" nickname="C" balance="$2.00" dealtin="true"/></players>'
            '<round id="BLINDS"><event sequence="1" type="SMALL_BLIND" player="1" amount="0.02"/>'
            '<event sequence="2" type="BIG_BLIND" player="2" amount="0.04"/></round>'
            '<round id="PREFLOP"><event sequence="3" type="FOLD" player="1"/></round>'
            '<round id="END_OF_FOLDED_GAME"><winner amount="0.06" uncalled="false" player="2"/>'
            '</round></game>')
    hand = json.loads(handscribe.parse_str("\ufeff \n" + text).to_json())[0]
    assert (hand["header"]["site"], hand["header"]["players"][0]["name"]) == ("Merge", "A & B")
    assert [(w["player_id"], w["amount"]) for w in hand["summary"]["winners"]] == [(1, 0.04)]


@pytest.mark.parametrize("name, file, hand_id", [
    ("merge_showdown", "cash__Tropicana_VII.new.format.txt", None)])
def test_repr(name, file, hand_id):
    path = CORPUS / "merge" / "jejellyroll-fr_fpdb-3" / file
    if not path.is_file():
        pytest.skip("hand-history corpus not present")
    view = parse(path)
    assert len(view) == 1
    assert repr(view[0]) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
