"""Post lines of a dollar hand are read on a quick path; the same hand in euros is read by the
general reader only. Each line must come out of both the same (name, kind and amount)."""
import json

import pytest

import handscribe
from conftest import DATA

HAND = (DATA / "written" / "pokerstars_join_again.txt").read_text(encoding="utf-8")
POST = "Bert: posts small blind $0.05"


def pre_deal(name: str, post: str, euros: bool):
    hand = HAND.replace(POST, post, 1).replace("Bert", name)
    if euros:
        hand = hand.replace("$", "€").replace("USD", "EUR")
    [h] = json.loads(handscribe.parse_str(hand).to_json())
    return h["header"]["players"], h["header"]["actions"]


@pytest.mark.parametrize("name,post", [
    (name, post.replace("Bert", name))
    for name in ("Bert", "Bérénice", "B", "Bert: posts big blind 1", "Be:rt", "a: b")
    for post in (POST, "Bert: posts small blind $5", "Bert: posts small blind $10.05",
                 "Bert: posts small blind $0.5", "Bert: posts small blind $1,000.05",
                 "Bert: posts big blind $9.99", "Bert: posts small & big blinds $0.15",
                 "Bert: posts the ante $0.01", "Bert: posts missed blind $0.05",
                 "Bert: postsXbig blind $0.10", "Bert: posts button blind $0.10",
                 "Bert: posts small blind $0.05$0.05", "Bert: posts big blind $20")
])
def test_post_read_as_the_general_reader_reads_it(name, post):
    assert pre_deal(name, post, False) == pre_deal(name, post, True)
