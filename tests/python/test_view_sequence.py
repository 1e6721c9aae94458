"""HandView as a sequence: one-hand views by index, runs of hands by slice, iteration, and the
sub-views' own life and output."""
import collections.abc
import ctypes
import gc
import itertools
import operator

import pytest

from conftest import CORPUS, DATA, needs_corpus
from handscribe import HandView, parse_path, parse_str, to_json, to_json_ohh
from test_detection import HAND

BIG = 2 ** 70  # beyond any Py_ssize_t: clipped as list positions are


def hands(count, prefix="2000000000"):
    """A text of `count` hands whose ids differ, so that every position prints differently."""
    return "".join(HAND.replace("#200000000001", f"#{prefix}{i:02}") for i in range(count))


def joined(parts, form):
    """The whole view's text built from the texts of one-hand views."""
    if form is str:  # "[\n", one indented block per hand ending in ",\n", "]"
        return "[\n" + "".join(p[2:-1] for p in parts) + "]"
    return "[" + (", " if form is repr else ",").join(p[1:-1] for p in parts) + "]"


@pytest.mark.parametrize("path", [
    DATA / "pokerstars" / "hh.com_Baetsle_289FR_2021.07.30_0.txt",
    pytest.param(CORPUS / "pokerstars_other" / "santiweight_poker-handhistory" /
                 "HH20181228_Hydra_-__0.10-_0.25_-_USD_No_Limit_Hold_em.txt",
                 marks=needs_corpus),  # 423 hands with chat lines, resolved per hand
], ids=lambda p: p.name)
def test_one_hand_views_add_up_to_the_whole_view(path):
    view = parse_path(path)
    assert isinstance(view, collections.abc.Sequence) and len(view) > 20
    one_hand = list(view)
    assert [len(h) for h in one_hand] == [1] * len(view)
    for form in (repr, str, HandView.to_json, to_json):
        parts = [form(h) for h in one_hand]
        assert joined(parts, form) == form(view), form
        assert [form(view[i]) for i in range(-len(view), 0)] == parts
        assert [form(h) for h in reversed(view)] == parts[::-1]
        assert form(view[3:-3]) == joined(parts[3:-3], form)


POSITIONS = [None, -BIG, -8, -7, -6, -1, 0, 1, 5, 6, 7, 8, BIG]


class Index:
    def __index__(self):
        return -2


def test_indices_and_slices_select_what_list_ones_select():
    seven = parse_str(hands(7))
    items = [repr(h) for h in seven]
    assert len(set(items)) == 7
    for index in POSITIONS[1:] + [True, Index()]:
        if -7 <= operator.index(index) < 7:
            assert repr(seven[index]) == items[index], index
        else:
            with pytest.raises(IndexError, match="^HandView index out of range$"):
                seven[index]
    for start, stop in itertools.product(POSITIONS, POSITIONS):
        sub = seven[start:stop]
        assert [repr(h) for h in sub] == items[start:stop], (start, stop)
        assert (len(sub), repr(sub)) == (len(items[start:stop]), joined(items[start:stop], repr))
    for outer, inner in itertools.product([(1, 6), (-4, None), (5, 3)], [(1, -1), (-2, BIG)]):
        assert ([repr(h) for h in seven[slice(*outer)][slice(*inner)]] ==
                items[slice(*outer)][slice(*inner)]), (outer, inner)
    empty = seven[5:3]
    assert (str(empty), empty.to_json(), to_json_ohh(empty), list(empty)) == ("[]",) * 3 + ([],)
    # C callers reach the item slot with a negative index already counted from the end once.
    get_item = ctypes.pythonapi.PySequence_GetItem
    get_item.argtypes, get_item.restype = [ctypes.py_object, ctypes.c_ssize_t], ctypes.py_object
    assert repr(get_item(seven, -7)) == items[0]
    with pytest.raises(IndexError, match="^HandView index out of range$"):
        get_item(seven, -8)


@pytest.mark.parametrize("key,error,message", [
    (slice(None, None, 2), ValueError, "HandView slice step must be 1"),
    (slice(None, None, -1), ValueError, "HandView slice step must be 1"),
    (slice(None, None, 0), ValueError, "slice step cannot be zero"),
    ("0", TypeError, "argument 'index': 'str' object cannot be converted to 'int | slice'"),
    (1.0, TypeError, "argument 'index': 'float' object cannot be converted to 'int | slice'"),
    ((0, 1), TypeError,
     "argument 'index': 'tuple' object cannot be converted to 'int | slice'"),
])
def test_other_keys(key, error, message):
    view = parse_str(hands(3))
    with pytest.raises(error) as info:
        view[key]
    assert type(info.value) is error and info.value.args == (message,)
    assert len(view[::1]) == len(view[0:3:None]) == 3


def test_sub_views_outlive_the_parent_view_and_the_text():
    text = hands(12, "3000000000")
    expected = parse_str(text)
    want = (repr(expected[4:9]), str(expected[-1]), expected[:2].to_json(), repr(expected[5]))
    sub, last, first_two = parse_str(text)[4:9], parse_str(text)[-1], parse_str(text)[:2]
    inner = sub[1:][:-1][0]
    del text
    gc.collect()
    assert (repr(sub), str(last), to_json(first_two), repr(inner)) == want
