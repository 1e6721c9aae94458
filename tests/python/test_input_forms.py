"""The forms a text can take on its way in: a str, its UTF-8 bytes in any contiguous buffer
(read in place), a small file (read) and a large one (mapped), all giving the same hands."""
import pytest

import handscribe
from conftest import DATA

SAMPLE = DATA / "pokerstars" / "PokerStars__CashGame__ExtraHands__SidePot.txt"


def text_of(n: int) -> bytes:
    """The sample's hands repeated n times, as one file of them would hold them."""
    one = SAMPLE.read_bytes().replace(b"\r\n", b"\n").rstrip(b"\n") + b"\n\n\n"
    return one * n


@pytest.mark.parametrize("form", [bytes, bytearray, memoryview, lambda b: b.decode("utf-8")])
def test_buffers_and_str_read_alike(form):
    data = text_of(3)
    expected = handscribe.parse_str(data.decode("utf-8")).to_json()
    view = handscribe.parse_str(form(data))
    assert len(view) == 3
    assert view.to_json() == expected


@pytest.mark.parametrize("bad, offset", [(b"\xff", 0), (b"\xc3(", 0), (b"ok\xe2\x82", 2)])
def test_invalid_bytes_name_their_offset(bad, offset):
    with pytest.raises(RuntimeError, match=f"not contain valid UTF-8 at byte offset {offset}$"):
        handscribe.parse_str(bad + text_of(1))


def test_strided_buffer_is_refused():
    with pytest.raises(BufferError):
        handscribe.parse_str(memoryview(text_of(2))[::2])


@pytest.mark.parametrize("copies", [1, 2000])  # a few KB (read) and over a megabyte (mapped)
def test_file_reads_as_its_bytes(tmp_path, copies):
    data = text_of(copies)
    path = tmp_path / "hands.txt"
    path.write_bytes(data)
    from_file = handscribe.parse_path(path)
    assert len(from_file) == copies
    assert from_file.to_json() == handscribe.parse_str(data).to_json()
    assert handscribe.parse_path(path, encoding="auto").to_json() == from_file.to_json()
