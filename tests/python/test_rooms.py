"""The rooms read as variants of another room's reader or by readers of their own (Run It Once,
PokerMaster, PokerBros, Enet, Pkr and PokerTracker's layouts): every corpus file's hands
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
START = re.compile(r"^(?:\ufeff|\u00ef\u00bb\u00bf)?(?:Run It Once Poker Hand #|PokerMaster Hand #|"
                   r"PokerBros Hand #|Game #(?=\d+: )|Starting Hand #|MERGE_GAME #|Merge Game #|"
                   r"GAME #|\*\* Game ID |\*\* Hand # |EverestPoker Game #)([\w-]+)", re.M)
FILES = sorted([p for folder in ("enet", "pkr", "pokertracker") if (CORPUS / folder).is_dir()
                for p in (CORPUS / folder).rglob("*") if p.is_file()] +
               [p for p in (CORPUS / "pokerstars_other").rglob("*") if p.is_file()
                and b"Run It Once Poker Hand #" in p.read_bytes()[:64]]) if CORPUS.is_dir() else []


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
PT = CORPUS / "pokertracker" / "jejellyroll-fr_fpdb-3"
# name: the file of one hand
GOLDEN_CASES = {
    "run_it_once_tournament": RIO / "NLHE-3max-EUR-5.00-202102.RIO.cub3d.txt",
    "pokermaster_cash": DATA / "pokermaster" / "pokermaster_cash.txt",
    "pokerbros_cash": DATA / "pokerbros" / "pokerbros_cash.txt",
    "enet_dead_blinds": CORPUS / "enet" / "jejellyroll-fr_fpdb-3" /
    "cash__NLHE-6max-EUR-0.05-0.10-201210.post.dead.txt",
    "pkr_two_winners": CORPUS / "pkr" / "jejellyroll-fr_fpdb-3" /
    "cash__NLHE-10max-USD-0.02-0.04-201208.disconnected.won.txt",
    "pokertracker_merge": PT / "cash__NLHE-USD-0.10-0.20-201204.PT4.Merge.txt",
    # PokerTracker's other layouts: Merge's second version ("wins $0.04 (uncalled)"), iPoker's
    # "Uncalled:Y" (the return written), Microgaming's version 3 (the wins hold the bet nobody
    # called) and its "Hand #" version (the return written), Everest's first hand.
    "pokertracker_merge_two": PT / "cash__NLHE-6max-USD-0.02-0.04-201412.Merge.v2.post.sb.txt",
    "pokertracker_ipoker_uncalled": PT / "cash__NLHE-EUR-0.01-0.02-201901.iPoker.Uncalled.txt",
    "pokertracker_microgaming": PT / "cash__NLHE-2max-EUR-25.00-50.00-201305.new.format.txt",
    "pokertracker_microgaming_hand": PT / "cash__PLO-EUR-0.25-0.50-201601.all.in.call.txt",
    "pokertracker_everest": (PT / "cash__NLHE-USD-0.50-1.00-201101.Everest.txt", 0),
}


@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_golden(name):
    path, index = GOLDEN_CASES[name] if isinstance(GOLDEN_CASES[name], tuple) else (
        GOLDEN_CASES[name], None)
    if not path.is_file():
        pytest.skip("hand-history corpus not present")
    view = handscribe.parse_path(path, encoding="auto")
    assert len(view) == 1 or index is not None
    text = repr(view) if index is None else repr(view[index])
    assert text + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
