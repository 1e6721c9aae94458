"""Every 888poker and PartyPoker file of the corpus: the hands returned and the reason for every
hand that is not, each returned hand checked against values read from its own text here (stakes,
seats and stacks, the number of board cards, the amounts collected), every action's player named,
and the pot accounted for (the collections and the rake make the pot; a tournament takes no rake,
but for the hands listed as contradicting themselves); golden text forms of one hand of each
kind, checked once field by field."""
import json
import re
import struct
from pathlib import Path

import pytest

import handscribe
from conftest import CORPUS, DATA, needs_corpus

EXPECTED = json.loads((Path(__file__).parent / "expected" / "pacific_party.json").read_text(
    encoding="utf-8"))
GOLDEN = Path(__file__).parent / "golden"
FOLDERS = ("pacificpoker", "partypoker")
FILES = sorted(p for folder in FOLDERS if (CORPUS / folder).is_dir()
               for p in (CORPUS / folder).rglob("*") if p.is_file())


def rel(path: Path) -> str:
    return path.relative_to(CORPUS).as_posix()


def site_of(path: Path) -> str:
    """The site whose layout a corpus file is in: its folder's, but for a PartyPoker hand kept
    among the 888poker files."""
    text = read_text(path)
    return "partypoker" if re.search(r"^\ufeff?\*\*\*\*\* Hand History", text, re.M) else \
        rel(path).split("/")[0]


def f32(x) -> float:
    return struct.unpack("<f", struct.pack("<f", float(x)))[0]


def read_text(path: Path) -> str:
    """The text as encoding="auto" reads it (UTF-8, else cp1252), with LF line ends."""
    data = path.read_bytes().replace(b"\r\n", b"\n")
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("cp1252", errors="replace")


def number(text: str) -> float:
    """An amount in any client's form: "$1,734.09", "$ 3.243", "0,02$", "5\u00a0000\u00a0$",
    "1 123 698": a separator before exactly three digits groups them, a '.' or ',' before one or
    two digits is the decimal mark."""
    tokens = re.split(r"([.,\s])", re.search(r"\d+(?:[.,\s]\d+)*", text)[0])
    digits = tokens[0]
    for sep, part in zip(tokens[1::2], tokens[2::2]):
        if len(part) == 3:
            digits += part
            continue
        if sep in ".," and len(part) <= 2:
            digits += "." + part
        break
    return f32(float(digits))


AMOUNT = r"[$\u20ac]?\s?\d[\d.,\s\u00a0]*"


def party_blinds(hand: str) -> tuple:
    """PartyPoker's blinds: the stakes of the game line where it writes them ("$0.50/$1 USD NL",
    "0.10/0.25 Omaha", "Blinds(50/100)"), else the posts' (its "$2 USD PL Omaha" names the
    table's buy-in)."""
    game = hand.split("\n")[1]
    m = re.match(rf"^({AMOUNT})/({AMOUNT}) ", game) or re.search(
        rf"Blinds\(({AMOUNT})/({AMOUNT})\)", hand)
    if m:
        return number(m[1]), number(m[2])
    posts = [re.search(rf" posts {kind} [\[(]\s?({AMOUNT})", hand) for kind in ("small blind",
                                                                              "big blind")]
    return tuple(number(p[1]) if p else 0.0 for p in posts)


# Per site: where a hand begins (with its id), its blinds, a seat line, a board line and the
# collections.
SITES = {
    "pacificpoker": dict(
        start=re.compile(r"^\ufeff?#Game No : (\d+)", re.M),
        blinds=lambda hand: tuple(number(s) for s in re.search(r"^(.*?) Blinds ", hand,
                                                               re.M)[1].split("/")),
        seat=re.compile(r"^Seat (\d+): (.+) \( (.+) \)$", re.M),
        board=re.compile(r"^\*\* Dealing \w+ \*\* \[ (.*) \]$", re.M),
        collected=[re.compile(r"^.+ collected \[ (.+) \]$", re.M)],
        rake=None,
    ),
    "partypoker": dict(
        start=re.compile(r"^\ufeff?\*\*\*\*\* Hand History [Ff]or Game (\w+) \*\*\*\*\*", re.M),
        blinds=party_blinds,
        seat=re.compile(r"^[Ss]eat (\d+): (.+?) \( ?(.+?) ?\)$", re.M),
        board=re.compile(r"^\*\* Dealing \w+ \*\* :? *\[ (.*) \]$", re.M),
        # "wins $0.13 USD from ...", "wins Lo ($28.75 USD)", two on one line; the balance lines'
        # "collected $1.09" but a cashed-out player's (the site pays it).
        collected=[re.compile(rf" wins (?:Lo \()?({AMOUNT})"),
                   re.compile(rf"^(?!.* Cashed out ).* balance .*?, collected ({AMOUNT})", re.M)],
        rake=re.compile(rf"^Main Pot: .* Rake: ({AMOUNT})$", re.M),
    ),
}


def hands_in(folder: str, text: str) -> list:
    """(id, text) of every hand start, in order (ids may repeat in anonymised files)."""
    starts = list(SITES[folder]["start"].finditer(text))
    ends = [m.start() for m in starts[1:]] + [len(text)]
    return [(m[1], text[m.start():end]) for m, end in zip(starts, ends)]


def parse(path: Path, errors="skip"):
    return handscribe.parse_path(str(path), errors=errors, encoding="auto")


@needs_corpus
def test_every_file_is_pinned():
    assert sorted(rel(p) for p in FILES) == sorted(EXPECTED)


@needs_corpus
@pytest.mark.parametrize("path", FILES, ids=rel)
def test_hands_returned_and_missing(path):
    want = EXPECTED[rel(path)]
    if "error" in want:
        with pytest.raises(RuntimeError) as err:
            parse(path)
        assert str(err.value) == want["error"]
        return
    if "raises" in want:
        with pytest.raises(handscribe.PanicException) as err:
            parse(path, errors="strict")
        assert str(err.value) == want["raises"]
    view = parse(path)
    assert [h["header"]["id"] for h in json.loads(view.to_json())] == want["returned"]
    assert {r.hand_id: r.reason for r in view.rejected} == want.get("missing", {})
    in_text = [i for i, _ in hands_in(site_of(path), read_text(path))]
    assert sorted(want["returned"] + list(want.get("missing", {}))) == sorted(in_text)


@needs_corpus
@pytest.mark.parametrize("path", [p for p in FILES if EXPECTED[rel(p)].get("returned")], ids=rel)
def test_values_read_from_the_text(path):
    site = SITES[site_of(path)]
    want = EXPECTED[rel(path)]
    texts = [t for i, t in hands_in(site_of(path), read_text(path)) if i not in want.get("missing",
                                                                                         {})]
    hands = json.loads(parse(path).to_json())
    assert len(hands) == len(texts)
    for h, hand in zip(hands, texts):
        hd = h["header"]
        assert hand.startswith(("\ufeff", "#", "*")) and hd["id"] in hand.split("\n")[0]
        assert (f32(hd["small_blind"]), f32(hd["big_blind"])) == site["blinds"](hand)
        seats = site["seat"].findall(hand)
        # the seated players first; a player named only in action lines follows them
        assert [(p["seat"], p["name"], f32(p["chips"])) for p in hd["players"][:len(seats)]] == [
            (int(s), n, number(c)) for s, n, c in seats]
        actions = list(hd["actions"])
        for street in [h["preflop"], *h["flops"], *h["turns"], *h["rivers"], *h["showdowns"]]:
            actions += street["actions"]
        players = len(hd["players"])
        assert all(a["player_id"] < players for a in actions + h["summary"]["actions"])
        assert all(w["player_id"] < players for w in h["summary"]["winners"])
        boards = [len(re.split(r",? ", b)) for b in site["board"].findall(hand)]
        boarded = [] if "sevenths" in h else h["flops"] + h["turns"] + h["rivers"]  # not stud
        assert [len(s["cards"]) for s in boarded] == boards
        collected = sorted(number(c) for r in site["collected"] for c in r.findall(hand))
        assert sorted(f32(a["amount"]) for a in actions if a["type"].startswith("collect")) == \
            collected
        # The pot: the collections and the rake. A tournament takes no rake, a cash table at
        # most a tenth, and the rake is the one the summary writes, unless the hand contradicts
        # itself.
        s = h["summary"]
        assert s["total_pot"] == pytest.approx(sum(collected) + s["rake"], abs=1e-3)
        if hd["id"] in want.get("contradicting", {}):
            continue
        limit = 0 if "tournament" in hd else 0.1 * s["total_pot"] + 1e-4
        assert 0 <= s["rake"] <= limit + 1e-4, hd["id"]
        if site["rake"] and site["rake"].search(hand):
            assert f32(s["rake"]) == number(site["rake"].search(hand)[1])


# ---------------------------------------------------------------------------------------------
# Golden text forms
# ---------------------------------------------------------------------------------------------

PACIFIC = CORPUS / "pacificpoker" / "jejellyroll-fr_fpdb-3"
PARTY = CORPUS / "partypoker" / "jejellyroll-fr_fpdb-3"
# name: (file, hand id)
GOLDEN_CASES = {
    "pacific_showdown": (DATA / "pacificpoker" /
                         "Pacific__CashGame__PlayerTests__OmahaShowdown.txt", None),
    "pacific_dead_blind": (DATA / "pacificpoker" /
                           "Pacific__CashGame__HandActionTests__PostingDead.txt", None),
    "pacific_tournament_side_pot": (PACIFIC / "NLHE-FREE-MTT-$75Freeroll20120217.txt",
                                    "190625036"),
    "pacific_swedish": (PACIFIC / "PLO-6max-USD-25-50-201604.Swedish.txt", "873818904"),
    "pacific_german": (PACIFIC / "888-NLHE-USD-0.01-0.02-201107.non.english.post.both.txt", None),
    "pacific_russian_cp1252": (PACIFIC / "888-NLHE-USD-0.02-0.04-201107.russian.cards.txt", None),
    "pacific_dutch": (PACIFIC / "888-PLO-USD-10.00-20.00-201405.dutch.txt", None),
    "party_showdown_side_pot_hi_lo": (DATA / "partypoker" /
                                      "PartyPoker__CashGame__HandActionTests__OmahaHiLo.txt", None),
    "party_cash_out_2026": (PARTY / "PLO-6max-USD-0.10-0.25-202602.cash.out.txt", None),
    "party_tournament_antes": (PARTY / "NLHE-MTT-USD-100-9-202104.anon.txt", None),
    "party_comma_decimals_two_wins": (PARTY / "NLHE-6max-USD-0.10-0.25-201212.Mac.Format.txt",
                                      None),
    "party_sit_and_go": (PARTY / "NLHE-4max-STT-USD-1-201607.second.trny.format.txt",
                         "15414995953"),
}


@pytest.mark.parametrize("name", sorted(GOLDEN_CASES))
def test_repr(name):
    path, hand_id = GOLDEN_CASES[name]
    if not path.is_file():
        pytest.skip("hand-history corpus not present")
    text = read_text(path)
    if hand_id is not None:
        text = dict(hands_in(name.split("_")[0] + "poker", text))[hand_id]
    view = handscribe.parse_str(text)
    assert len(view) == 1
    assert repr(view) + "\n" == (GOLDEN / f"{name}.txt").read_text(encoding="utf-8")
