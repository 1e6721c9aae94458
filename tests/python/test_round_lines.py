"""Round lines of the common forms and lines close to them (a name that holds a colon, a later colon
that begins a wager, a name of one byte), each inserted into a hand's preflop and read back."""
import json

import pytest

import handscribe
from conftest import DATA

HAND = (DATA / "written" / "pokerstars_join_again.txt").read_text(encoding="utf-8")

# line: (type, player's name, amount, cards) of the action read from it
CASES = {
    "Cleo: checks": ("check", "Cleo", None, []),
    "x: folds": ("fold", "x", None, []),
    "Bert: folds: checks": ("check", "Bert: folds", None, []),
    "Bert: mucks hand": ("fold", "Bert", None, []),
    "Bert: doesn't show hand": ("muck", "Bert", None, []),
    "Bert collected $0.20 from pot": ("collect_pot", "Bert", 0.2, []),
    "Bert: shows [Ah Kd] (a pair: Aces)": ("show", "Bert", None, ["Ah", "Kd"]),
    "Bert: said: calls $2 (x)": ("call", "Bert", 2, []),
}


@pytest.mark.parametrize("line", sorted(CASES))
def test_round_line(line):
    text = HAND.replace("Cleo: folds\n", f"Cleo: folds\n{line}\n", 1)
    [hand] = json.loads(handscribe.parse_str(text).to_json())
    names = [p["name"] for p in hand["header"]["players"]]
    actions = hand["preflop"]["actions"]
    a = actions[[x["type"] for x in actions].index("fold") + 1]
    assert (a["type"], names[a["player_id"]], a.get("amount"), a["cards"]) == CASES[line]
