"""HandView as a sequence: one-hand views by index, runs of hands by slice, iteration, and the
sub-views' own life and output."""
import collections.abc
import ctypes
import gc
import itertools
import json

import pytest

from handscribe import HandView, parse_path, parse_str, to_json, to_json_ohh

from conftest import CORPUS, DATA, needs_corpus
from test_detection import HAND

BIG = 2 ** 70  # beyond any Py_ssize_t: clipped as list positions are


@pytest.fixture(scope="module")
def seven():
    """Seven hands that differ in their ids, so that every position prints differently."""
    return parse_str("".join(HAND.replace("#200000000001", f"#20000000000{i}") for i in range(7)))


def joined(parts, form):
    """The whole view's text built from the texts of one-hand views."""
    if form is repr:
        return "[" + ", ".join(p[1:-1] for p in parts) + "]"
    if form is str:  # "[\n", one indented block per hand ending in ",\n", "]"
        return "[\n" + "".join(p[2:-1] for p in parts) + "]"
    return "[" + ",".join(p[1:-1] for p in parts) + "]"  # compact JSON


@pytest.mark.parametrize("path", [
    DATA / "pokerstars" / "hh.com_Baetsle_289FR_2021.07.30_0.txt",
    pytest.param(CORPUS / "pokerstars_other" / "santiweight_poker-handhistory" /
                 "HH20181228_Hydra_-__0.10-_0.25_-_USD_No_Limit_Hold_em.txt",
                 marks=needs_corpus),  # 423 hands with chat lines, resolved per hand
], ids=lambda p: p.name)
def test_one_hand_views_add_up_to_the_whole_view(path):
    view = parse_path(path)
    assert len(view) > 20
    hands = list(view)
    assert [len(h) for h in hands] == [1] * len(view)
    for form in (repr, str, HandView.to_json):
        parts = [form(h) for h in hands]
        assert joined(parts, form) == form(view), form
        assert [form(view[i]) for i in range(-len(view), 0)] == parts
        assert [form(h) for h in reversed(view)] == parts[::-1]
    assert [to_json(h) for h in hands] == [h.to_json() for h in hands]
    assert [json.loads(h.to_json())[0] for h in hands] == json.loads(view.to_json())
    middle = view[3:-3]
    assert middle.to_json() == joined([h.to_json() for h in hands[3:-3]], None)


POSITIONS = [None, -BIG, -9, -8, -7, -6, -3, -1, 0, 1, 2, 5, 6, 7, 8, 100, BIG]


def test_slices_select_what_list_slices_select(seven):
    hands = [repr(h) for h in seven]
    assert len(set(hands)) == 7
    for start, stop in itertools.product(POSITIONS, POSITIONS):
        sub = seven[start:stop]
        expected = hands[start:stop]
        assert (len(sub), [repr(h) for h in sub]) == (len(expected), expected), (start, stop)
        assert repr(sub) == joined(expected, repr)
    # A slice of a slice is positioned within the slice.
    for outer, inner in itertools.product([(1, 6), (-4, None), (5, 3)], [(1, -1), (-2, BIG)]):
        assert ([repr(h) for h in seven[slice(*outer)][slice(*inner)]] ==
                hands[slice(*outer)][slice(*inner)]), (outer, inner)


class Index:
    def __index__(self):
        return -2


@pytest.mark.parametrize("index", [-BIG, -8, -7, -1, 0, 3, 6, 7, BIG, True, Index()])
def test_indices_select_what_list_indices_select(seven, index):
    hands = [repr(h) for h in seven]
    try:
        expected = hands[index]
    except IndexError:
        with pytest.raises(IndexError) as info:
            seven[index]
        assert info.value.args == ("HandView index out of range",)
    else:
        assert repr(seven[index]) == "[" + expected[1:-1] + "]"


@pytest.mark.parametrize("key,error,message", [
    (slice(None, None, 2), ValueError, "HandView slice step must be 1"),
    (slice(None, None, -1), ValueError, "HandView slice step must be 1"),
    (slice(1, 5, BIG), ValueError, "HandView slice step must be 1"),
    (slice(None, None, 0), ValueError, "slice step cannot be zero"),
    (slice("a", None), TypeError,
     "slice indices must be integers or None or have an __index__ method"),
    ("0", TypeError, "argument 'index': 'str' object cannot be converted to 'int | slice'"),
    (1.0, TypeError, "argument 'index': 'float' object cannot be converted to 'int | slice'"),
    (None, TypeError,
     "argument 'index': 'NoneType' object cannot be converted to 'int | slice'"),
    ((0, 1), TypeError,
     "argument 'index': 'tuple' object cannot be converted to 'int | slice'"),
    (HandView, TypeError,
     "argument 'index': 'type' object cannot be converted to 'int | slice'"),
])
def test_other_keys(seven, key, error, message):
    with pytest.raises(error) as info:
        seven[key]
    assert type(info.value) is error and info.value.args == (message,)
    assert len(seven[::1]) == len(seven[0:7:None]) == 7


def test_sub_views_outlive_the_parent_view_and_the_text():
    text = "".join(HAND.replace("#200000000001", f"#3000000000{i:02}") for i in range(12))
    expected = parse_str(text)
    want = (repr(expected[4:9]), str(expected[-1]), expected[:2].to_json())
    sub, last, first_two = parse_str(text)[4:9], parse_str(text)[-1], parse_str(text)[:2]
    inner = sub[1:][:-1][0]
    del text
    gc.collect()
    assert (repr(sub), str(last), to_json(first_two)) == want
    assert repr(inner) == repr(expected[5])


def test_empty_sub_views(seven):
    for empty in (seven[:0], seven[5:3], seven[BIG:], seven[-1:-1]):
        assert (len(empty), repr(empty), str(empty), list(empty)) == (0, "[]", "[]", [])
        assert empty.to_json() == to_json_ohh(empty) == empty.to_json_ohh() == "[]"


def test_sequence_protocol(seven):
    assert isinstance(seven, collections.abc.Sequence)
    assert isinstance(seven[1:3], collections.abc.Sequence)
    assert [type(h) for h in seven[:2]] == [HandView, HandView]
    order = [json.loads(h.to_json())[0]["header"]["id"] for h in seven]
    assert order == [f"20000000000{i}" for i in range(7)]
    backwards = [json.loads(h.to_json())[0]["header"]["id"] for h in reversed(seven[2:])]
    assert backwards == order[:1:-1]
    # C callers reach the item slot with negative indices already counted from the end once.
    get_item = ctypes.pythonapi.PySequence_GetItem
    get_item.argtypes, get_item.restype = [ctypes.py_object, ctypes.c_ssize_t], ctypes.py_object
    assert repr(get_item(seven, -7)) == repr(seven[0])
    with pytest.raises(IndexError, match="^HandView index out of range$"):
        get_item(seven, -8)
