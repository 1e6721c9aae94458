"""The hand tables as Dask DataFrames, for folders larger than one machine.

    hands, players, actions = handscribe.dask.read_tables("logs/")

Each partition is one run of neighbouring files, parsed where the partition is computed (a
worker of a Dask cluster, or the local scheduler) by `handscribe.read_tables`. Every table has
a `source` column, the file each row was read from: (`source`, `hand_id`) names a hand, while
(`site`, `hand_id`) does not when a hand appears in two files. Text columns are pandas strings
backed by Arrow (`string[pyarrow]`), lists (cards, boards) Python objects, the other columns
`pandas.ArrowDtype` of the tables' types: the types that merges, group-bys and shuffles (the P2P
shuffle of `distributed` too) take. Needs the
`dask` extra: pip install 'handscribe[dask]'.
"""
import math
import os
from typing import Any, NamedTuple, Optional

import handscribe

from ._extras import require
from ._files import DEFAULT_GLOB, expand, file_size

__all__ = ["DaskTables", "read_tables"]

_FEATURE = "handscribe.dask.read_tables"
# Text read per partition when the files allow more partitions than the workers need.
_PARTITION_BYTES = 64 * 2**20


class DaskTables(NamedTuple):
    """The three tables as Dask DataFrames, in the order and under the names of
    handscribe.Tables."""

    hands: Any
    players: Any
    actions: Any


def _plain_type(t: Any) -> Any:
    """The type with every dictionary in it (lists of them too) replaced by its values' type."""
    pa = require("pyarrow", "dask", _FEATURE)
    if pa.types.is_dictionary(t):
        return _plain_type(t.value_type)
    if pa.types.is_list(t):
        return pa.list_(_plain_type(t.value_type))
    if pa.types.is_large_list(t):
        return pa.large_list(_plain_type(t.value_type))
    if pa.types.is_struct(t):
        return pa.struct([pa.field(f.name, _plain_type(f.type), f.nullable) for f in t])
    return t


def _plain(table: Any) -> Any:
    """The Arrow table with its dictionary columns (and lists of them) as plain strings, which
    pandas and the shuffles of Dask read."""
    pa = require("pyarrow", "dask", _FEATURE)
    return table.cast(pa.schema([pa.field(f.name, _plain_type(f.type), f.nullable)
                                 for f in table.schema]))


def _frame(table: Any) -> Any:
    pa = require("pyarrow", "dask", _FEATURE)
    pd = require("pandas", "dask", _FEATURE)
    text = pd.StringDtype("pyarrow")

    def mapper(t: Any) -> Any:
        if pa.types.is_string(t) or pa.types.is_large_string(t):
            return text
        if pa.types.is_nested(t):
            return None  # lists (of cards, of boards) as Python objects: shuffles take them
        return pd.ArrowDtype(t)

    return _plain(table).to_pandas(types_mapper=mapper)


def _tables(paths: list[str], errors: str, encoding: str) -> list[Any]:
    """The hands, players and actions of the files as Arrow tables (each names its file in
    `source`)."""
    pa = require("pyarrow", "dask", _FEATURE)
    return [pa.table(t) for t in
            handscribe.read_tables(paths, jobs=1, errors=errors, encoding=encoding)]


def _read_run(paths: list[str], errors: str, encoding: str) -> Any:
    return tuple(_frame(t) for t in _tables(paths, errors, encoding))


def _threads() -> int:
    """The threads of the workers of the current Dask cluster, or this machine's processors."""
    try:
        from distributed import get_client  # type: ignore[import-not-found]
        workers = get_client().scheduler_info().get("workers", {})
        threads = sum(w.get("nthreads", 1) for w in workers.values())
        if threads:
            return int(threads)
    except (ImportError, ValueError):
        pass  # no cluster: the local scheduler
    return os.cpu_count() or 1


def partitions(files: list[str], blocksize: Optional[int], threads: int) -> list[list[str]]:
    """Runs of neighbouring files of about equal size: at least two per thread when there are
    files enough, and no more than `blocksize` bytes each (a larger file alone)."""
    if not files:
        return []
    sizes = [file_size(f) for f in files]
    total = sum(sizes) or 1
    count = max(2 * threads, math.ceil(total / (blocksize or _PARTITION_BYTES)))
    count = min(count, len(files))
    parts: list[list[str]] = [[] for _ in range(count)]
    done = 0
    for path, size in zip(files, sizes):
        # The file goes where the middle of its bytes falls.
        parts[min(count - 1, int((done + size / 2) * count / total))].append(path)
        done += size
    parts = [p for p in parts if p]
    if len(parts) < count:  # sizes too uneven: as many files in each run
        step = len(files) / count
        parts = [files[round(i * step):round((i + 1) * step)] for i in range(count)]
    return parts


def read_tables(paths: Any, *, blocksize: Optional[int] = None, errors: str = "skip",
                encoding: str = "auto", glob: str = DEFAULT_GLOB) -> DaskTables:
    """The hands, players and actions tables of the files as three Dask DataFrames (a
    DaskTables: `hands, players, actions = read_tables(...)`), each with a `source` column.

    paths: one path, a folder (the files under it matching `glob`), or any iterable of those,
    as handscribe.read_tables takes them. Partitions are runs of neighbouring files, at least
    two per thread of the cluster's workers when there are files enough, of at most
    `blocksize` bytes of text (default 64 MiB). errors and encoding as for
    handscribe.read_tables."""
    dd = require("dask.dataframe", "dask", _FEATURE)
    delayed = require("dask", "dask", _FEATURE).delayed
    files = expand(paths, "paths", glob)
    encoding = handscribe._api.encoding_name(encoding)
    handscribe.read_tables([], errors=errors, encoding=encoding)  # checks the arguments
    meta = [_frame(t) for t in _tables([], errors, encoding)]
    runs = partitions(files, blocksize, _threads())
    if not runs:
        return DaskTables(*(dd.from_pandas(m, npartitions=1) for m in meta))
    parts = [delayed(_read_run, pure=True, nout=3)(run, errors, encoding) for run in runs]
    return DaskTables(*(dd.from_delayed([p[i] for p in parts], meta=meta[i], verify_meta=False)
                        for i in range(3)))
