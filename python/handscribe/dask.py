"""The hand tables as Dask DataFrames, for folders larger than one machine.

    hands, players, actions = handscribe.dask.read_tables(paths)

Each partition is one group of neighbouring files, parsed where the partition is computed (a
worker of a Dask cluster, or the local scheduler) by `handscribe.read_tables`; its columns are
pandas columns backed by Arrow (`pandas.ArrowDtype`), with the types of the tables. Needs the
`dask` extra: pip install 'handscribe[dask]'.
"""
import os
from collections.abc import Sequence
from typing import Any, Union

import handscribe

from ._extras import require
from ._files import groups

__all__ = ["read_tables"]

_FEATURE = "handscribe.dask.read_tables"


def _frames(tables: "handscribe.Tables") -> tuple[Any, Any, Any]:
    pa = require("pyarrow", "dask", _FEATURE)
    pd = require("pandas", "dask", _FEATURE)
    return tuple(
        pa.table(t).to_pandas(types_mapper=pd.ArrowDtype)
        for t in (tables.hands, tables.players, tables.actions)
    )


def _read_group(paths: list[str], errors: str, encoding: str) -> tuple[Any, Any, Any]:
    return _frames(handscribe.read_tables(paths, errors=errors, encoding=encoding))


def read_tables(
    paths: Sequence[Union[str, "os.PathLike[str]"]],
    *,
    blocksize: int = 64 * 2**20,
    errors: str = "skip",
    encoding: str = "auto",
) -> tuple[Any, Any, Any]:
    """The hands, players and actions tables of the files as three Dask DataFrames, one
    partition per group of neighbouring files of about `blocksize` bytes, each read by
    `handscribe.read_tables` with `errors` and `encoding`."""
    dd = require("dask.dataframe", "dask", _FEATURE)
    delayed = require("dask", "dask", _FEATURE).delayed
    files = [os.fspath(p) for p in paths]
    meta = _frames(handscribe.read_tables([], errors=errors, encoding=encoding))  # checks them
    parts = [delayed(_read_group, pure=True)(g, errors, encoding) for g in groups(files, blocksize)]
    if not parts:
        return tuple(dd.from_pandas(m, npartitions=1) for m in meta)
    return tuple(
        dd.from_delayed([p[i] for p in parts], meta=meta[i]) for i in range(3)
    )
