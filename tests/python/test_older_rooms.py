"""BetOnline, Everleaf and Cake, and the rooms that copy the first two's layouts (PayNoRake,
Grand Poker: hands written for the tests): every hand of every file returned, or rejected with its
reason, each with its room's site and every action's player named; one golden hand per site. The
money of each hand adds up in test_facts.py (the hands that contradict themselves are listed
there)."""
import json
import re
from pathlib import Path

import pyarrow as pa
import pytest

import handscribe
from conftest import CORPUS, DATA

EXPECTED = json.loads((Path(__file__).parent / "expected" / "older_rooms.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
WRITTEN = [DATA / "written" / "paynorake_cash.txt", DATA / "written" / "grandpoker_cash.txt"]
FILES = sorted(p for folder in ("betonline", "everleaf", "cake") if (CORPUS / folder).is_dir()
               for p in (CORPUS / folder).rglob("*") if p.is_file()) + WRITTEN
# A fragment of a hand before the first hand start is reported without an id ("").
# A hand's first line (the French client's two, after a byte-order mark that may be misread) and
# the id in it; the site its first words name.
HAND = re.compile(r"^[\ufeff\u00ef\u00bb\u00bf]*(?:(.*?) Game #(\d+)|(Partouche) Poker Gibraltar\n"
                  r"\*\*\* Historique des Mains pour la partie (\d+)|(Hand)#(\w+) - )", re.M)
SITES = {"BetOnline Poker": "BetOnline", "ActionPoker.com": "BetOnline", "Gear Poker": "BetOnline",
         "PayNoRake": "PayNoRake", "Everleaf Gaming": "EverLeaf", "Partouche": "EverLeaf",
         "Everleaf Gaming - Concord Gaming -": "EverLeaf", "- - Grand Poker -": "GrandPoker",
         "Hand": "Cake"}


def rel(path: Path) -> str:
    return path.relative_to(CORPUS if path.is_relative_to(CORPUS) else DATA).as_posix()


def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(k for k in EXPECTED
                                                   if CORPUS.is_dir() or k.startswith("written/"))


@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    if "error" in want:
        with pytest.raises(RuntimeError, match=re.escape(want["error"])):
            handscribe.parse_path(path, errors="skip", encoding="auto")
        return
    view = handscribe.parse_path(path, errors="skip", encoding="auto")
    hands = json.loads(view.to_json())
    assert [h["header"]["id"] for h in hands] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    text = path.read_bytes().decode("utf-8", "replace")
    starts = {m[2] or m[4] or m[6]: SITES[m[1] or m[3] or m[5]] for m in HAND.finditer(text)}
    assert sorted(starts) == sorted(want["returned"] + [i for i in want.get("missing", {}) if i])
    assert {h["header"]["id"]: h["header"]["site"] for h in hands} == {
        i: starts[i] for i in want["returned"]}
    actions = pa.table(view.to_arrow().actions)
    assert actions.num_rows > 0 or not hands
    assert actions.column("player").null_count == 0


GOLDEN_CASES = {
    "betonline_post_now": ("betonline/jejellyroll-fr_fpdb-3/"
                           "cash__NLHE-10max-0.25-0.50-201204.post.now.txt", "1002060530"),
    "everleaf_side_pot_wrapped": ("everleaf/jejellyroll-fr_fpdb-3/"
                                  "cash__NLHE-10max-USD-0.01-0.02-2010-08-03.fixed_wtsd_bug.txt",
                                  "190075259"),
    "cake_showdown": ("cake/jejellyroll-fr_fpdb-3/"
                      "cash__NLHE-6max-USD-0.25-0.50-201004.new.showdown.formats.txt",
                      "2217011712000147"),
    "paynorake_written": ("written/paynorake_cash.txt", "2201554301"),
    "grandpoker_written": ("written/grandpoker_cash.txt", "51234987"),
}


@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_golden_hand(name):
    path, hand_id = GOLDEN_CASES[name]
    base = DATA if path.startswith("written/") else CORPUS
    if not (base / path).is_file():
        pytest.skip("hand-history corpus not present")
    view = handscribe.parse_path(base / path, errors="skip", encoding="auto")
    hands = [view[i] for i in range(len(view))
             if json.loads(view[i].to_json())[0]["header"]["id"] == hand_id]
    assert len(hands) == 1
    assert repr(hands[0]) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
