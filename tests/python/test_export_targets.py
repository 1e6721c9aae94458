"""The exports' other targets: bytes (as_bytes=True) and a file (path=...), written whole or not
at all."""
import os
import warnings
from pathlib import Path

import pytest

import handscribe
from conftest import needs_corpus
from test_ohh import SHORT_DECK

SAMPLE = Path(__file__).resolve().parents[2] / "samples" / "HH20260114_Z420909_real.txt"
# Enough hands for several of the pieces a file is written in (1 MiB each).
BIG = handscribe.parse_str(SAMPLE.read_text(encoding="utf-8") * 400)

EXPORTS = {
    "to_json": handscribe.to_json,
    "to_json_ohh": lambda v, **kw: handscribe.to_json_ohh(v[:0], **kw),  # no hand with actions
    "to_ohh": handscribe.to_ohh,
    "view.to_json": lambda v, **kw: v.to_json(**kw),
    "view.to_ohh": lambda v, **kw: v.to_ohh(errors="skip", **kw),
}


@pytest.mark.parametrize("name", EXPORTS)
def test_bytes_and_file_hold_the_text(name, tmp_path):
    export = EXPORTS[name]
    text = export(BIG)
    assert isinstance(text, str)
    data = export(BIG, as_bytes=True)
    assert isinstance(data, bytes) and data == text.encode("utf-8")
    target = tmp_path / "out.txt"
    target.write_bytes(b"old")
    assert export(BIG, path=target) is None  # an existing file is replaced
    assert target.read_bytes() == data
    assert export(BIG[:0], path=str(target)) is None
    assert target.read_bytes() == export(BIG[:0], as_bytes=True)
    assert os.listdir(tmp_path) == ["out.txt"]  # no temporary file left beside it
    if name == "to_json":
        assert len(data) > 3 << 20  # several pieces were written


@pytest.mark.parametrize("name", [n for n in EXPORTS if n != "to_json_ohh"])
def test_bytes_beyond_the_estimate(name):
    # Names of 3000 characters: the text outgrows the size the writer expects from its counts of
    # hands, players and actions, and the bytes object grows while it is written.
    text = SAMPLE.read_text(encoding="utf-8").replace("Jovinater", "Jovinater" + "x" * 3000)
    view = handscribe.parse_str(text * 20)
    export = EXPORTS[name]
    data = export(view, as_bytes=True)
    assert data == export(view).encode("utf-8") and data.count(b"x" * 3000) > len(view) // 2


def test_file_errors_name_the_path(tmp_path):
    missing = tmp_path / "no folder" / "out.json"
    with pytest.raises(FileNotFoundError) as e:
        handscribe.to_json(BIG, path=missing)
    assert e.value.filename == str(missing)
    with pytest.raises(IsADirectoryError) as e:
        BIG.to_ohh(path=tmp_path)
    assert e.value.filename == str(tmp_path) and os.listdir(tmp_path) == []
    with pytest.raises(ValueError, match="cannot be combined with path"):
        handscribe.to_json(BIG, path=tmp_path / "x", as_bytes=True)
    with pytest.raises(TypeError, match="argument 'path'"):
        handscribe.to_ohh(BIG, path=3)


@needs_corpus
def test_a_failed_export_leaves_the_old_file(tmp_path):
    view = handscribe.parse_path(str(SHORT_DECK))  # no hand has a name in the .ohh format
    target = tmp_path / "hands.ohh"
    target.write_bytes(b"old")
    with pytest.raises(handscribe.PanicException):
        handscribe.to_ohh(view, path=target)
    assert target.read_bytes() == b"old" and os.listdir(tmp_path) == ["hands.ohh"]
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        view.to_ohh(errors="skip", path=target)
    assert target.read_bytes() == b"" and len(caught) == len(view)
