"""A blazingly fast parser for poker hand histories"""
from collections.abc import Sequence as _Sequence

from ._handscribe import *  # noqa: F403
from ._handscribe import HandView as _HandView
from ._handscribe import PanicException  # noqa: F401
from ._handscribe import __all__ as _names

# The public names, in the order the extension added them; PanicException stays out of it but
# is reachable as an attribute so that callers can catch it. The Dask reader is the submodule
# handscribe.dask, imported on its own (it needs the `dask` extra).
__all__ = list(_names)
del _names

# A view indexes, slices and iterates as a sequence of one-hand views.
_Sequence.register(_HandView)
