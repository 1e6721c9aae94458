"""Every real PokerStars and Pluribus file of the corpus, cash and tournament: the exact hands
returned, the reason for every hand that is not, and which of the other Stars-like files parse and
which raise."""
import json
import re
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, corpus_files, needs_corpus

EXPECTED = Path(__file__).parent / "expected"
HANDS = json.loads((EXPECTED / "pokerstars_hands.json").read_text(encoding="utf-8"))
# A tournament file whose first hand is of a game other than Hold'em and Omaha raises the
# game-type fault; in skip mode its other hands are returned.
HANDS.update(json.loads((EXPECTED / "pokerstars_tournaments.json").read_text(encoding="utf-8")))
OTHER = json.loads((EXPECTED / "pokerstars_other.json").read_text(encoding="utf-8"))

# Every hand line of a file, whatever its header style, also one that begins inside another line
# (a file whose hands were joined without their line ends): no hand begins there.
HAND_ID = re.compile(r"PokerStars (?:Zoom )?(?:Hand|Game) #(\d+):")


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def ids_of(view) -> list:
    return [hand["header"]["id"] for hand in json.loads(view.to_json())]


def text_of(path: Path) -> str:
    data = path.read_bytes()
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("utf-8", "replace")


MUST_PARSE = (corpus_files("pokerstars") + corpus_files("pluribus")
              + corpus_files("pokerstars_tournaments"))


@needs_corpus
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in MUST_PARSE) == sorted(HANDS)
    assert sorted(rel(p) for p in corpus_files("pokerstars_other")) == sorted(OTHER)


@needs_corpus
@pytest.mark.parametrize("path", MUST_PARSE, ids=rel)
def test_hands_returned_and_missing(path):
    want = HANDS[rel(path)]
    text = text_of(path)
    missing = want.get("missing", {})
    if "raises" in want:
        with pytest.raises(handscribe.PanicException) as err:
            handscribe.parse_str(text)
        assert str(err.value) == want["message"]
        view = handscribe.parse_str(text, errors="skip")
        assert ids_of(view) == want["returned"]
        assert {r.hand_id: "faults: " + r.reason for r in view.rejected} == missing
    else:
        assert ids_of(handscribe.parse_str(text)) == want["returned"]
    # every hand of the file is either returned or named with the line that rejected it
    assert sorted(set(want["returned"]) | set(missing)) == sorted(set(HAND_ID.findall(text)))
    assert not set(want["returned"]) & set(missing)
    for reason in missing.values():
        line = re.fullmatch(r"(?:rejected at|begins inside the) line: '(.*)'|faults: .*", reason,
                            re.S).group(1)
        assert line is None or line in text
    if not want.get("invalid_utf8") and "raises" not in want:
        assert ids_of(handscribe.parse_path(str(path))) == want["returned"]


@needs_corpus
@pytest.mark.parametrize(
    "path", [p for p in MUST_PARSE if HANDS[rel(p)].get("invalid_utf8")], ids=rel
)
def test_invalid_utf8_files_raise_on_path(path):
    with pytest.raises(UnicodeDecodeError) as bad:
        path.read_bytes().decode("utf-8")
    offset = bad.value.start
    with pytest.raises(RuntimeError) as err:
        handscribe.parse_path(str(path))
    assert str(err.value) == (
        f"Failed to open file at path '{path}' with error stream did not contain valid UTF-8 "
        f"at byte offset {offset}"
    )


@needs_corpus
def test_pinned_totals():
    returned = dict.fromkeys(("pokerstars", "pluribus", "pokerstars_tournaments"), 0)
    in_files = dict(returned)
    for name, entry in HANDS.items():
        folder = name.split("/")[0]
        returned[folder] += len(entry["returned"])
        in_files[folder] += len(entry["returned"]) + len(entry.get("missing", {}))
    assert in_files == {"pokerstars": 2787, "pluribus": 4717, "pokerstars_tournaments": 543}
    assert returned == {"pokerstars": 2782, "pluribus": 4717, "pokerstars_tournaments": 539}


@needs_corpus
@pytest.mark.parametrize("path", corpus_files("pokerstars_other"), ids=rel)
def test_other_files_parse_or_raise(path):
    want = OTHER[rel(path)]
    if "hands" in want:
        assert len(handscribe.parse_path(str(path))) == want["hands"]
        return
    kind = {"RuntimeError": RuntimeError, "PanicException": handscribe.PanicException}
    with pytest.raises(kind[want["raises"]]) as err:
        handscribe.parse_path(str(path))
    assert type(err.value) is kind[want["raises"]]
    assert str(err.value) == want["message"].replace("{path}", str(path))
    if "hands_decoded" in want:  # a cp1252 file, read as cp1252 (told or guessed)
        for encoding in ("cp1252", "auto"):
            assert len(handscribe.parse_path(path, encoding=encoding)) == want["hands_decoded"]


@needs_corpus
def test_old_header_and_zoom_files_parse():
    old = [n for n, v in OTHER.items() if "hands" in v and v["hands"] > 0]
    texts = [(CORPUS / n).read_text(encoding="utf-8-sig", errors="replace") for n in old]
    assert any(t.startswith("PokerStars Game #") for t in texts)
    assert any(t.startswith("PokerStars Zoom Hand #") for t in texts)


# Real hands in which a player first met in a line (a sit-out, a leave) shares the first three
# bytes of a seated player's name: each is a player of their own, at seat 255, and the line's
# action is theirs; the seated player keeps their seat.
SHARED_KEYS = [
    ("pokerstars/santiweight_poker-handhistory/hh.com_Ahrensa_289FR_2021.07.30_0.txt",
     ["228681031447", "228681051395", "228681059153", "228681070760", "228681075186",
      "228681184775"], "cartman177", ("cartagina", 6), "sitout"),
    ("pokerstars/jejellyroll-fr_fpdb-3/PLO-6max-USD-200-400-201505.rit.leaves.table.txt",
     ["134782498345"], "Player1", ("Player0", 3), "leave"),
]


@needs_corpus
@pytest.mark.parametrize("name,hand_ids,newcomer,seated,action", SHARED_KEYS,
                         ids=[s[0].split("/")[-1] for s in SHARED_KEYS])
def test_names_sharing_a_seated_players_key_are_players_of_their_own(name, hand_ids, newcomer,
                                                                     seated, action):
    hands = {h["header"]["id"]: h for h in json.loads(
        handscribe.parse_path(str(CORPUS / name), encoding="auto").to_json())}
    for hand_id in hand_ids:
        players = [(p["name"], p["seat"]) for p in hands[hand_id]["header"]["players"]]
        assert seated in players and (newcomer, 255) in players, hand_id
        theirs = [players[a["player_id"]][0] for part in all_actions(hands[hand_id])
                  for a in part if a["type"] == action]
        assert newcomer in theirs and seated[0] not in theirs, hand_id


def all_actions(hand) -> list:
    streets = [s for key in ("flops", "turns", "rivers", "showdowns") for s in hand[key]]
    return [hand["header"]["actions"], hand["preflop"]["actions"],
            *(s["actions"] for s in streets), hand["summary"]["actions"]]
