"""Seeded damage of real hand histories, for the tests of hostile input, and an independent count
of the hand starts of a text.

`damaged(text, seed)` applies a few edits chosen by the seed: a line dropped, doubled, cut short
(anywhere, the line end included), two neighbouring lines swapped, a character replaced (by ASCII
that the readers look for, white space, or a character of two, three or four UTF-8 bytes).
`damaged_bytes(text, seed)` is that text in UTF-8 with a few bytes removed (which can cut a
character) or bytes inserted that no valid UTF-8 text holds there, as a damaged file has them. The
same seed gives the same text everywhere, so a failure names its seed and replays. `decoded` reads
bytes as `parse_path` does for each encoding."""
import random
import re

EDITS = ("drop", "double", "cut", "swap", "replace")

REPLACEMENTS = (
    "", " ", "#", ":", "$", "(", ")", "[", "]", "'", "-", "0", "9", ",", ".", "*", "\t",
    "\u00a0", "\u3000", "\u2028",  # white space outside ASCII
    "\u00e9", "\u20ac", "\u00a3", "\u0660",  # two and three bytes: é, €, £, an Arabic zero
    "\U0001f0a1", "\U0001d7d8",  # four bytes: a playing card, a mathematical digit
)

# Every header style begins with the site's name, PokerStars' ("PokerStars Hand #", "PokerStars
# Game #", "PokerStars Zoom Hand #", "PokerStars Home Game #"), OnGame's ("***** History for
# hand"), GGPoker's ("Poker Hand #"), Winamax's ("Winamax Poker"), Winning's ("Game started
# at:", "Hand #", "Game Hand #"), Bovada's brands' ("Bovada Hand #", "Ignition Hand #",
# "Bodog UK Hand #"...), 888poker's ("#Game No"), PartyPoker's ("***** Hand History"), Full
# Tilt's ("Full Tilt Poker Game #", "FullTiltPoker Game #", "Full Tilt Hand #"), PokerNow's
# (a log row '"-- starting hand #1 ...'), BetOnline's and Everleaf's rooms' ("BetOnline Poker
# Game #", "PayNoRake Game #", "Everleaf Gaming "...), PokerTracker's layouts' ("MERGE_GAME ",
# "Merge Game #", "GAME #", "** Game ID ", "** Hand # ", "EverestPoker "), Absolute's ("Stage #")
# and KingsClub's ("#3264632: "), after any white space or byte-order mark.
# The white space is Unicode's White_Space.
_WHITE = "\t\n\x0b\x0c\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000\ufeff"
HAND_START = re.compile(
    f"[{_WHITE}]*(?:PokerStars |\\*\\*\\*\\*\\* History|Poker Hand #|Winamax |Game started|"
    "(?:Game )?Hand #|(?:Bovada|Ignition|Bodog(?: UK|\\.\\w+)?) Hand #|#Game No"
    "|\\*\\*\\*\\*\\* Hand|Full Tilt Poker |FullTiltPoker Ga|Full Tilt Hand #|\"?-- starting hand"
    "|Run It Once |PokerMaster |PokerBros |Game #\\d+: |Starting Hand #|MERGE_GAME "
    "|Merge Game #|GAME #|\\*\\* Game ID |\\*\\* Hand # |EverestPoker "
    "|(?:BetOnline Poker|ActionPoker\\.com|Gear Poker|PayNoRake) Game #"
    "|Everleaf Gaming |- - Grand Poker - Game #|Partouche Poker |(?:\u00ef\u00bb\u00bf)*Hand#"
    "|Stage #|#\\d)")
# Winning's files joined end to end: a hand that begins after the mark in the middle of a line.
_JOINED = re.compile("(?<!\n)\ufeffGame started")
_WHITE_CHARS = "\t\n\x0b\x0c\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200b))) + \
    "\u2028\u2029\u202f\u205f\u3000\ufeff"
_PARTY_START = re.compile(f"[{_WHITE}]*\\*\\*\\*\\*\\* Hand")
_PACIFIC_START = re.compile(f"[{_WHITE}]*#Game No")


def _edit(lines: list, rng: random.Random) -> None:
    if not lines:
        return
    at = rng.randrange(len(lines))
    kind = rng.choice(EDITS)
    if kind == "drop":
        del lines[at]
    elif kind == "double":
        lines.insert(at, lines[at])
    elif kind == "cut":
        lines[at] = lines[at][: rng.randrange(len(lines[at]) + 1)]
        if rng.random() < 0.2:  # the text ends there
            del lines[at + 1:]
    elif kind == "swap" and at + 1 < len(lines):
        lines[at], lines[at + 1] = lines[at + 1], lines[at]
    elif kind == "replace" and lines[at]:
        i = rng.randrange(len(lines[at]))
        lines[at] = lines[at][:i] + rng.choice(REPLACEMENTS) + lines[at][i + 1:]


def damaged(text: str, seed: int, edits: int = 3) -> str:
    """The text with 1 to `edits` edits chosen by `seed`."""
    rng = random.Random(seed)
    lines = text.split("\n")  # a '\r' stays with its line, so every separator kind survives
    for _ in range(rng.randint(1, edits)):
        _edit(lines, rng)
    return "\n".join(lines)


# A stray continuation byte, sequences cut short, bytes that begin no character, and a byte that
# cp1252 leaves undefined.
BAD_BYTES = (b"\x80", b"\xa1", b"\xc3", b"\xe2\x82", b"\xf0\x9f\x82", b"\xff", b"\xc0", b"\x9d")


def damaged_bytes(text: str, seed: int, edits: int = 3) -> bytes:
    """damaged(text, seed) in UTF-8 with 1 to `edits` bytes removed or bad bytes inserted."""
    rng = random.Random(-seed - 1)  # not the stream that damaged() draws from
    data = bytearray(damaged(text, seed).encode("utf-8"))
    for _ in range(rng.randint(1, edits)):
        at = rng.randrange(len(data) + 1)
        if at < len(data) and rng.random() < 0.5:
            del data[at]
        else:
            data[at:at] = rng.choice(BAD_BYTES)
    return bytes(data)


def decoded(data: bytes, encoding: str) -> str:
    """The text that `parse_path` reads from the bytes with `encoding`, the byte-order mark
    dropped where it counts as UTF-8 ("auto": valid UTF-8 as it is, bytes with one valid multi-byte
    sequence as UTF-8 with U+FFFD for each byte that begins no character, any other bytes as
    cp1252). Raises UnicodeDecodeError where "utf-8" raises RuntimeError."""
    if encoding in ("cp1252", "latin-1"):
        return data.decode(encoding, "replace")
    try:
        return data.decode("utf-8").removeprefix("\ufeff")
    except UnicodeDecodeError:
        if encoding == "utf-8":
            raise
    chars, multi_byte, i = [], False, 0
    while i < len(data):
        n = next((n for n in (1, 2, 3, 4) if _is_char(data[i:i + n])), 0)
        chars.append(data[i:i + n].decode("utf-8") if n else "\ufffd")
        multi_byte |= n > 1
        i += n or 1
    if not multi_byte:
        return data.decode("cp1252", "replace")
    return "".join(chars).removeprefix("\ufeff")


def _is_char(piece: bytes) -> bool:
    try:
        return len(piece.decode("utf-8")) == 1
    except UnicodeDecodeError:
        return False


def lines_of(text: str) -> list:
    """The lines of a text as the format splits them: at "\\r\\n" when the first '\\n' has a '\\r'
    before it, else at '\\n'; at '\\r' in a text without '\\n'. Nothing after a last separator."""
    nl = text.find("\n")
    sep = "\r" if nl < 0 else "\r\n" if nl > 0 and text[nl - 1] == "\r" else "\n"
    lines = text.split(sep) if text else []
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def hand_starts(text: str) -> int:
    """The hand starts of a text, up to a line "@@@" (which ends any text). PartyPoker writes
    888poker's "#Game No" line before its own hand line "***** Hand History": in a PartyPoker
    text (as detection tells it from the first lines) that line begins no hand, and in an
    888poker text PartyPoker's line begins none."""
    lines = []
    for line in lines_of(_JOINED.sub("\n\ufeffGame started", text.removeprefix("\ufeff"))):
        if line.rstrip(" \t\r") == "@@@":
            break
        lines.append(line)
    first = lines_of(text.lstrip(_WHITE_CHARS))
    party = bool(first) and (first[0].startswith("***** Hand History ") or (
        first[0].startswith("Game #") and first[0].endswith("starts.")) or (
        first[0].startswith("#Game No ") and len(first) > 1
        and first[1].startswith("***** Hand History ")))
    other = _PACIFIC_START if party else _PARTY_START
    return sum(bool(HAND_START.match(line)) and not other.match(line) for line in lines)
