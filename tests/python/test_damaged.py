"""Real hands damaged at random (seeded, see damage.py): in skip mode nothing raises
PanicException, every hand start is returned or reported, and the view writes; in strict mode only
the documented exceptions come out."""
import pytest

import handscribe
from conftest import DATA, ROOT
from damage import damaged, hand_starts, lines_of

# The test data, and the GGPoker and Winamax hands written as fuzzing seeds (the real files of
# those sites may not be copied here).
SOURCES = sorted(DATA.glob("*/*.txt")) + sorted((ROOT / "tests" / "fuzz" / "seeds").glob("*.txt"))
SEEDS = range(200)


def counted(view) -> int:
    return len(view) + sum(r.line > 0 for r in view.rejected)


@pytest.mark.parametrize("path", SOURCES, ids=lambda p: p.name)
def test_damaged_hands(path):
    text = path.read_bytes().decode("utf-8")
    for seed in SEEDS:
        bad = damaged(text, seed)
        try:
            view = handscribe.parse_str(bad, errors="skip")
        except RuntimeError:  # the first line no longer names a site, or nothing follows it
            assert (hand_starts(bad) == 0 or len(lines_of(bad.lstrip())) == 1
                    or not bad.lstrip().startswith(("PokerStars ", "*****", "Poker Hand #",
                                                    "Winamax ")))
            continue
        assert counted(view) == hand_starts(bad), seed
        assert [r.line for r in view.rejected] == sorted(r.line for r in view.rejected), seed
        view.to_json()
        repr(view)
        try:
            strict = handscribe.parse_str(bad)
        except (RuntimeError, handscribe.PanicException):
            continue
        assert repr(strict) == repr(view), seed
