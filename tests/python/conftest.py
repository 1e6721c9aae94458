"""Shared test helpers: where the real hand histories live."""
import os
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
# Real files from poker sites; only MIT/BSD ones are copied into tests/data, the rest are read
# in place, and their tests skip when the folder is absent. HANDSCRIBE_CORPUS names another place
# for it; HANDSCRIBE_NO_CORPUS=1 runs the suite as if it were absent, to show what the
# repository's own data catches.
CORPUS = Path(os.environ.get("HANDSCRIBE_CORPUS") or ROOT.parent / "shared" / "corpus")
if os.environ.get("HANDSCRIBE_NO_CORPUS"):
    CORPUS = ROOT / "tests" / "no-corpus"
DATA = ROOT / "tests" / "data"

needs_corpus = pytest.mark.skipif(not CORPUS.is_dir(), reason="hand-history corpus not present")


def corpus_files(folder: str) -> list:
    """Every .txt file of a corpus folder, sorted (empty when the corpus is absent)."""
    base = CORPUS / folder
    if not base.is_dir():
        return []
    return sorted(base.rglob("*.txt"))


def data_files() -> list:
    """Every hand history of the repository's own test data (tests/data/<site>/), sorted."""
    return sorted(DATA.rglob("*.txt"))


def corpus_id(path: Path) -> str:
    return path.name
