"""The hands written for the tests in the layouts whose real files may not be copied here
(GGPoker, Winamax, the Pluribus logs): each file's whole text form, checked once field by field
against its source. With the OnGame and PokerStars files of tests/data, they are also read by the
Arrow and Open Hand History checks over every file (test_arrow.py, test_ohh.py), so that the
suites catch a reader's faults without the shared corpus."""
import json
import re

import pytest

import handscribe
from conftest import DATA
from test_pokerstars_golden import GOLDEN

# file of tests/data -> the pattern of its hand lines (with the hand id)
FILES = {
    "ggpoker/ggpoker_cash.txt": r"^Poker Hand #(\w+):",
    "ggpoker/ggpoker_tournament.txt": r"^Poker Hand #(\w+):",
    "winamax/winamax_cash.txt": r"^Winamax Poker - .*HandId: #([\w-]+) - ",
    "winamax/winamax_tournament.txt": r"^Winamax Poker - .*HandId: #([\w-]+) - ",
    "pluribus/pluribus_session.txt": r"^PokerStars Hand #(\d+):",
}


@pytest.mark.parametrize("name", sorted(FILES))
def test_written_hands(name):
    text = (DATA / name).read_text(encoding="utf-8")
    view = handscribe.parse_str(text)
    ids = [h["header"]["id"] for h in json.loads(view.to_json())]
    assert ids == re.findall(FILES[name], text, re.M)
    golden = GOLDEN / ("data_" + name.split("/")[1])
    assert repr(view) + "\n" == golden.read_text(encoding="utf-8")
