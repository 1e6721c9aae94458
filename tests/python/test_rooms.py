"""The rooms read as variants of another room's reader or by readers of their own (Run It Once,
PokerMaster, PokerBros, Enet, Pkr and PokerTracker's Merge layout): every corpus file's hands
returned or reported with their reason, pinned per file, every action's player among the hand's
players, and one golden text form per site. The money identities of these hands are checked with
every other corpus hand's in test_facts.py."""
import json
import re
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, needs_corpus

EXPECTED = json.loads((Path(__file__).parent / "expected" / "rooms.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
# Where each room's hands begin (the id in group 1), and its files: a corpus folder, or the files
# of another folder that hold its hands.
START = re.compile(r"^\ufeff?(?:Run It Once Poker Hand #|PokerMaster Hand #|PokerBros Hand #|"
                   r"Game #(?=\d+: )|Starting Hand #|MERGE_GAME #)([\w-]+)", re.M)
FILES = sorted([p for folder in ("enet", "pkr") if (CORPUS / folder).is_dir()
                for p in (CORPUS / folder).rglob("*") if p.is_file()] +
               [p for folder, first in (("pokerstars_other", b"Run It Once Poker Hand #"),
                                        ("pokertracker", b"MERGE_GAME #"))
                for p in (CORPUS / folder).rglob("*") if p.is_file()
                and first in p.read_bytes()[:64]]) if CORPUS.is_dir() else []


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def parse(path: Path):
    return handscribe.parse_path(path, errors="skip", encoding="auto")


@needs_corpus
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(EXPECTED)


@needs_corpus
@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    view = parse(path)
    hands = json.loads(view.to_json())
    assert [h["header"]["id"] for h in hands] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    text = path.read_bytes().decode("cp1252", "replace")
    assert sorted(want["returned"] + [i for i in want.get("missing", {}) if i]) == sorted(
        START.findall(text))
    for h in hands:
        n = len(h["header"]["players"])
        streets = [h["header"], h["preflop"], *h["flops"], *h["turns"], *h["rivers"],
                   *h["showdowns"], h["summary"]]
        assert all(0 <= a["player_id"] < n for s in streets for a in s["actions"]), \
            h["header"]["id"]


RIO = CORPUS / "pokerstars_other" / "jejellyroll-fr_fpdb-3"
# name: the file of one hand
GOLDEN_CASES = {
    "run_it_once_tournament": RIO / "NLHE-3max-EUR-5.00-202102.RIO.cub3d.txt",
    "pokermaster_cash": DATA / "pokermaster" / "pokermaster_cash.txt",
    "pokerbros_cash": DATA / "pokerbros" / "pokerbros_cash.txt",
    "enet_dead_blinds": CORPUS / "enet" / "jejellyroll-fr_fpdb-3" /
    "cash__NLHE-6max-EUR-0.05-0.10-201210.post.dead.txt",
    "pkr_two_winners": CORPUS / "pkr" / "jejellyroll-fr_fpdb-3" /
    "cash__NLHE-10max-USD-0.02-0.04-201208.disconnected.won.txt",
    "pokertracker_merge": CORPUS / "pokertracker" / "jejellyroll-fr_fpdb-3" /
    "cash__NLHE-USD-0.10-0.20-201204.PT4.Merge.txt",
}


@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_golden(name):
    path = GOLDEN_CASES[name]
    if not path.is_file():
        pytest.skip("hand-history corpus not present")
    view = handscribe.parse_path(path, encoding="auto")
    assert len(view) == 1
    assert repr(view) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
