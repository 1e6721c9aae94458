"""The files named by path arguments, shared by the Python functions, the command line and the
Dask reader: a path, a folder searched for files, or any iterable of those; and groups of
neighbouring files."""
import fnmatch
import os
import re
from collections.abc import Callable, Iterable, Iterator, Mapping, Sequence
from pathlib import Path
from typing import Any


def cut(text: str, most: int = 200) -> str:
    """The text cut to `most` characters with "…" after a cut: what a message holds of its input
    at the most."""
    return text if len(text) <= most else text[:most] + "\u2026"


def quoted(text: str) -> str:
    """The text between single quotes, cut as above: how a message quotes its input."""
    return "'" + cut(text) + "'"

DEFAULT_GLOB = "*.txt"


def _not_converted(param: str, obj: Any, target: str) -> TypeError:
    return TypeError(f"argument '{param}': '{type(obj).__qualname__}' object cannot be "
                     f"converted to '{target}'")


def path_text(obj: Any, param: str) -> str:
    """A str path of a str or os.PathLike argument; TypeError for anything else (bytes paths
    included: file names are text here)."""
    if isinstance(obj, str):
        return obj
    if isinstance(obj, os.PathLike):
        path = os.fspath(obj)
        if isinstance(path, str):
            return path
    raise _not_converted(param, obj, "PyString")


def folder_files(folder: str, glob: str) -> list[str]:
    """The files under `folder` (searched recursively) whose names match `glob`, sorted."""
    return [path for path, _ in sized_folder_files(folder, glob)]


def sized_folder_files(folder: str, glob: str) -> list[tuple[str, int]]:
    """folder_files with each file's size in bytes, read by the same system call that tells it
    is a file. The files and their order are those of sorted(Path(folder).rglob(glob)) keeping
    the files (symbolic links to folders not followed, hidden names matched); a plain name
    pattern on POSIX is matched while walking the folders with os.scandir, which asks the
    system once per file where the Path objects ask three or four times."""
    if os.name != "posix" or not glob or "/" in glob or "**" in glob or glob in (".", ".."):
        return [(str(f), file_size(str(f))) for f in sorted(Path(folder).rglob(glob))
                if f.is_file()]
    root = str(Path(folder))
    prefix = "" if root == "." else root if root.endswith("/") else root + "/"
    match = re.compile(fnmatch.translate(glob)).fullmatch
    found: list[tuple[str, int]] = []
    _walk(root, prefix, match, found)
    return found


def _walk(folder: str, prefix: str, match: Callable[[str], Any],
          found: list[tuple[str, int]]) -> None:
    # Names in sorted order, each folder's files walked where its name sorts: the order of the
    # sorted paths, which compare part by part.
    try:
        with os.scandir(folder) as it:
            entries = sorted(it, key=lambda e: e.name)
    except (PermissionError, NotADirectoryError, FileNotFoundError):
        return
    for entry in entries:
        try:
            if entry.is_dir(follow_symlinks=False):
                _walk(entry.path, prefix + entry.name + "/", match, found)
            elif match(entry.name) and entry.is_file():
                found.append((prefix + entry.name, entry.stat().st_size))
        except OSError:
            continue  # gone, or a link to nowhere: not a file


def expand(paths: Any, param: str = "paths", glob: str = DEFAULT_GLOB) -> list[str]:
    """The files of a path argument: one path (str or os.PathLike), a folder (the files under it
    matching `glob`), or any iterable of those (lists, generators, Path.rglob). A str is one
    path, never a sequence of characters. A path that does not exist stays in the list: reading
    it reports the error."""
    if not isinstance(glob, str):
        raise _not_converted("glob", glob, "PyString")
    if isinstance(paths, (str, os.PathLike)):
        items: Iterable = (paths,)
    elif isinstance(paths, (bytes, bytearray)):
        raise _not_converted(param, paths, "PyString")
    elif isinstance(paths, Iterable) and not isinstance(paths, Mapping):
        items = paths
    else:
        raise _not_converted(param, paths, "Sequence")
    files: list[str] = []
    for item in items:
        path = path_text(item, param)
        if os.path.isdir(path):
            files.extend(folder_files(path, glob))
        else:
            files.append(path)
    return files


def texts(srcs: Any, param: str = "srcs") -> Sequence[Any]:
    """The texts of a text argument: one str (one text), or any iterable of str (whose items
    the extension checks)."""
    if isinstance(srcs, str):
        return [srcs]
    if isinstance(srcs, (bytes, bytearray)):
        raise _not_converted(param, srcs, "PyString")
    if isinstance(srcs, (list, tuple)):
        return srcs  # type: ignore[return-value]  # the items are checked as they are copied
    if isinstance(srcs, Iterable) and not isinstance(srcs, Mapping):
        items = []
        for text in srcs:  # iteration alone: list(srcs) would ask for a length first
            items.append(text)
        return items
    raise _not_converted(param, srcs, "Sequence")


def file_size(path: str) -> int:
    try:
        return os.path.getsize(path)
    except OSError:
        return 0  # the reader reports or skips it


def groups(paths: Sequence[str], max_bytes: int,
           size_of: Callable[[str], int] = file_size) -> Iterator[list[str]]:
    """Runs of files in order, each of at most `max_bytes` of text (a larger file alone), by the
    sizes that `size_of` gives."""
    group: list[str] = []
    size = 0
    for path in paths:
        n = size_of(path)
        if group and size + n > max_bytes:
            yield group
            group, size = [], 0
        group.append(path)
        size += n
    if group:
        yield group
