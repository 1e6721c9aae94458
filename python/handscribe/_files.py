"""Groups of neighbouring files, shared by the command line and the Dask reader."""
import os
from collections.abc import Iterator, Sequence


def file_size(path: str) -> int:
    try:
        return os.path.getsize(path)
    except OSError:
        return 0  # the reader reports or skips it


def groups(paths: Sequence[str], max_bytes: int) -> Iterator[list[str]]:
    """Runs of files in order, each of at most `max_bytes` of text (a larger file alone)."""
    group: list[str] = []
    size = 0
    for path in paths:
        n = file_size(path)
        if group and size + n > max_bytes:
            yield group
            group, size = [], 0
        group.append(path)
        size += n
    if group:
        yield group
