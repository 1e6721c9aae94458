"""The functions that take paths, texts or encodings: they accept what Python users pass (one
path or many, folders, generators, any encoding name Python knows) and hand the extension the
plain lists and names it reads."""
import codecs
import os
from typing import Any, Optional

from . import _handscribe as _ext
from ._files import DEFAULT_GLOB, expand, quoted, texts

# What each supported encoding is called by codecs.lookup(name).name.
_CODECS = {"utf-8": "utf-8", "cp1252": "cp1252", "iso8859-1": "latin-1"}
ENCODINGS = ("utf-8", "cp1252", "latin-1", "auto")


def encoding_name(encoding: Any) -> Any:
    """The extension's name of an encoding given by any name Python's codecs know for it
    ("UTF-8", "utf8", "windows-1252", "latin1"...), or "auto". ValueError for an encoding that
    is unknown or not read here; a non-str is left for the extension to refuse."""
    if not isinstance(encoding, str) or encoding in ENCODINGS:
        return encoding
    if encoding.lower() == "auto":
        return "auto"
    # The extension's own message for a name it does not take.
    refused = ValueError("argument 'encoding' must be one of 'utf-8', 'cp1252', 'latin-1', "
                         f"'auto', not {quoted(encoding)}")
    try:
        codec = codecs.lookup(encoding).name
    except LookupError:
        raise refused from None
    try:
        return _CODECS[codec]
    except KeyError:
        raise refused from None


def parse_path(path: Any, *, errors: str = "strict", encoding: str = "utf-8") -> Any:
    """The hands of one hand-history file, as a HandView.

    path: a str or os.PathLike. For several files or a folder, use parse_paths.
    errors='strict' (the default): a fault inside a hand raises PanicException for the whole
    file. errors='skip': that hand is left out (see HandView.rejected) and reading goes on.
    encoding: any name Python knows for UTF-8 (the default: invalid bytes raise RuntimeError),
    cp1252 ('windows-1252') or Latin-1 ('latin1', 'iso-8859-1'); or 'auto': valid UTF-8 as it
    is, a file with at least one valid multi-byte UTF-8 sequence as UTF-8 with each invalid
    byte read as U+FFFD, any other file as cp1252. An unreadable file, or one whose site is not
    recognised, raises RuntimeError naming it."""
    try:
        return _ext.parse_path(path, errors=errors, encoding=encoding_name(encoding))
    except RuntimeError:
        if isinstance(path, (str, os.PathLike)) and os.path.isdir(path):
            raise IsADirectoryError(
                f"{quoted(os.fspath(path))} is a folder: parse_paths(folder) reads its files"
            ) from None
        raise


def parse_paths(paths: Any, *, errors: str = "strict", encoding: str = "utf-8",
                jobs: Optional[int] = None, glob: str = DEFAULT_GLOB) -> list[Any]:
    """parse_path on every file, in parallel on `jobs` threads (None: one per processor): a
    list of HandView in file order.

    paths: one path (str or os.PathLike; a str is one path), a folder (the files under it whose
    names match `glob`, searched recursively, in sorted order), or any iterable of those (a
    list, a generator, Path.rglob(...)). In strict mode the files that cannot be read as a
    whole are left out of the list; in skip mode each gives an empty view whose one rejection,
    at line 0, holds the message. errors and encoding as for parse_path."""
    return _ext.parse_paths(expand(paths, "paths", glob), errors=errors,
                            encoding=encoding_name(encoding), jobs=jobs)


def parse_strs(srcs: Any, *, errors: str = "strict", jobs: Optional[int] = None) -> list[Any]:
    """parse_str on every text, in parallel on `jobs` threads (None: one per processor): a list
    of HandView in input order.

    srcs: one str (one text) or any iterable of str. In strict mode the texts that cannot be
    read as a whole are left out of the list; in skip mode each gives an empty view whose one
    rejection, at line 0, holds the message."""
    return _ext.parse_strs(texts(srcs, "srcs"), errors=errors, jobs=jobs)


def read_tables(paths: Any, *, jobs: Optional[int] = None, errors: str = "skip",
                encoding: str = "auto", glob: str = DEFAULT_GLOB) -> Any:
    """Every file parsed on `jobs` threads (None: one per processor) straight into a Tables:
    the hands, players and actions tables (`hands, players, actions = read_tables(...)`) and
    the hand starts that gave no row (.rejected, as (path, Rejected) pairs).

    paths as for parse_paths (a path, a folder searched with `glob`, or any iterable of
    those). Made for folders of real files, it skips and decodes what it can by default:
    errors='skip', encoding='auto' (see parse_path). A file that cannot be read as a whole is
    one rejection at line 0 naming the reason."""
    return _ext.read_tables(expand(paths, "paths", glob), jobs=jobs, errors=errors,
                            encoding=encoding_name(encoding))


for _f in (parse_path, parse_paths, parse_strs, read_tables):
    _f.__module__ = "handscribe"
del _f
