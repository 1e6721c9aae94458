"""A blazingly fast parser for poker hand histories"""
from collections.abc import Sequence as _Sequence

from . import _api
from ._handscribe import *  # noqa: F403
from ._handscribe import HandView as _HandView
from ._handscribe import PanicException  # noqa: F401
from ._handscribe import __all__ as _names

# The functions that take paths, texts and encoding names, in Python over the extension's own.
parse_path = _api.parse_path
parse_paths = _api.parse_paths
parse_strs = _api.parse_strs
read_tables = _api.read_tables


def _version() -> str:
    from importlib import metadata
    try:
        return metadata.version("handscribe")
    except metadata.PackageNotFoundError:  # imported from a build tree, not installed
        return "0+unknown"


def __getattr__(name: str) -> str:
    # __version__ is read from the installed package's metadata when first asked for:
    # importlib.metadata takes longer to import than the rest of the package.
    if name == "__version__":
        version = globals()["__version__"] = _version()
        return version
    raise AttributeError(f"module 'handscribe' has no attribute {name!r}")

# The public names, in the order the extension added them; PanicException stays out of it but
# is reachable as an attribute so that callers can catch it. The Dask reader is the submodule
# handscribe.dask, imported on its own (it needs the `dask` extra).
__all__ = list(_names)
del _names

# A view indexes, slices and iterates as a sequence of one-hand views (with index and count).
_Sequence.register(_HandView)
