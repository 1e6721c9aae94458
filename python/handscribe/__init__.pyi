"""A blazingly fast parser for poker hand histories"""
import os
from collections.abc import Iterable, Iterator, Sequence
from typing import (
    Any,
    Literal,
    NamedTuple,
    SupportsIndex,
    Union,
    overload,
)

__all__ = [
    "HandView",
    "Rejected",
    "Table",
    "Tables",
    "parse_path",
    "parse_paths",
    "parse_str",
    "parse_strs",
    "read_tables",
    "to_json",
    "to_json_ohh",
    "to_ohh",
]

__version__: str

_Path = Union[str, "os.PathLike[str]"]
# One path (a file, or a folder searched for files), or any iterable of them.
_Paths = _Path | Iterable[_Path]
_Errors = Literal["strict", "skip"]
# Any name Python's codecs know for UTF-8, cp1252 or Latin-1 ("utf8", "windows-1252", ...),
# or "auto".
_Encoding = str

class PanicException(BaseException): ...

class Rejected(NamedTuple):
    """A hand start of a parsed text that gave no hand."""

    line: int  # 1-based line of the hand's first line; 0 for an input not read as a whole
    hand_id: str  # the hand's id when it was read, else ""
    reason: str  # the line kind that rejected the hand, or the message of its fault

class Table:
    """One table as Arrow record batches, read through the Arrow PyCapsule interface."""
    def __len__(self) -> int: ...
    def __repr__(self) -> str: ...
    def __arrow_c_stream__(self, requested_schema: Any | None = None) -> Any: ...
    def __arrow_c_schema__(self) -> Any: ...

class Tables:
    @property
    def hands(self) -> Table: ...
    @property
    def players(self) -> Table: ...
    @property
    def actions(self) -> Table: ...
    def __iter__(self) -> Iterator[Table]: ...
    def __repr__(self) -> str: ...
    @property
    def rejected(self) -> list[tuple[str, Rejected]]:
        """The hand starts of the files that gave no row, as (path, Rejected) pairs in file
        order."""

class HandView(Sequence["HandView"]):
    """The hands of one parsed text, or a run of them. `view[i]` is the one-hand view at i
    (negative from the end), `view[a:b]` the view of those hands; both share the parsed store.
    A slice step other than 1 raises ValueError. Two views are equal when they show the same
    hands of the same parse; index() and count() find one-hand views."""

    def __len__(self) -> int: ...
    def __contains__(self, value: object) -> bool: ...
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    def index(self, value: Any, start: int = 0, stop: int = ...) -> int: ...
    def count(self, value: Any) -> int: ...
    @overload
    def __getitem__(self, index: SupportsIndex) -> HandView: ...
    @overload
    def __getitem__(self, index: slice) -> HandView: ...
    def __iter__(self) -> Iterator[HandView]: ...
    def __reversed__(self) -> Iterator[HandView]: ...
    def to_json(self) -> str: ...
    def to_json_ohh(self) -> str: ...
    def to_ohh(self, *, errors: _Errors = "strict") -> str: ...
    def to_arrow(self) -> Tables: ...
    @property
    def rejected(self) -> list[Rejected]:
        """The hand starts of the parsed text that gave no hand, in text order (empty for a
        view cut from another)."""

def parse_str(src: str, *, errors: _Errors = "strict") -> HandView: ...
def parse_strs(
    srcs: str | Iterable[str], *, errors: _Errors = "strict", jobs: int | None = None
) -> list[HandView]: ...
def parse_path(
    path: _Path, *, errors: _Errors = "strict", encoding: _Encoding = "utf-8"
) -> HandView: ...
def parse_paths(
    paths: _Paths,
    *,
    errors: _Errors = "strict",
    encoding: _Encoding = "utf-8",
    jobs: int | None = None,
    glob: str = "*.txt",
) -> list[HandView]: ...
def to_json(view: HandView) -> str: ...
def to_json_ohh(view: HandView) -> str: ...
def to_ohh(view: HandView, *, errors: _Errors = "strict") -> str: ...
def read_tables(
    paths: _Paths,
    *,
    jobs: int | None = None,
    errors: _Errors = "skip",
    encoding: _Encoding = "auto",
    glob: str = "*.txt",
) -> Tables: ...
