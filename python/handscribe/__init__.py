"""A blazingly fast parser for poker hand histories"""
from ._handscribe import *  # noqa: F401,F403
from ._handscribe import PanicException, __all__  # noqa: F401
