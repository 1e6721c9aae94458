"""A checker of Open Hand History hands (spec_version 1.4.7), written from the format's rules
alone: required keys and their types, the format's names, ids that resolve, numbering, and the
accounting of chips and pots. It knows nothing of handscribe's writer."""
import re
from datetime import datetime
from decimal import Decimal
from typing import Optional

GAME_TYPES = {"Holdem", "Omaha", "OmahaHiLo", "Stud", "StudHiLo", "Draw"}
BET_TYPES = {"NL", "PL", "FL"}
FLAGS = {"Run_It_Twice", "Anonymous", "Observed", "Fast", "Cap"}
STREETS = {"Preflop", "Flop", "Turn", "River", "Showdown"}
ACTIONS = {
    "Dealt Cards", "Mucks Cards", "Shows Cards", "Post Ante", "Post SB", "Post BB", "Straddle",
    "Post Dead", "Post Extra Blind", "Fold", "Check", "Bet", "Raise", "Call", "Added Chips",
    "Sits Down", "Stands Up", "Add to Pot",
}
# The actions that put chips in the pot, and those whose chips count for no bet of the round.
PAYING = {"Post Ante", "Post SB", "Post BB", "Straddle", "Post Dead", "Post Extra Blind", "Bet",
          "Raise", "Call"}
DEAD = {"Post Ante", "Post Dead"}
TOURNAMENT_TYPES = {"STT", "MTT"}
TOURNAMENT_FLAGS = {
    "SNG", "DON", "Bounty", "Shootout", "Rebuy", "Matrix", "Push_Or_Fold", "Satellite", "Steps",
    "Deep", "Multi-Entry", "Fifty50", "Flipout", "TripleUp", "Lottery", "Re-Entry", "Power_Up",
    "Progressive-Bounty",
}
SPEEDS = {"Normal", "Semi-Turbo", "Turbo", "Super-Turbo", "Hyper-Turbo", "Ultra-Turbo"}
# The keys each object may have.
KEYS = {
    "hand": {"spec_version", "site_name", "network_name", "internal_version", "tournament",
             "tournament_info", "game_number", "start_date_utc", "table_name", "table_handle",
             "table_skin", "game_type", "bet_limit", "table_size", "currency", "dealer_seat",
             "small_blind_amount", "big_blind_amount", "ante_amount", "hero_player_id", "flags",
             "players", "rounds", "pots", "tournament_bounties"},
    "tournament_info": {"tournament_number", "name", "start_date_utc", "currency", "buyin_amount",
                        "fee_amount", "bounty_fee_amount", "initial_stack", "type", "flags",
                        "speed"},
    "speed": {"type", "round_time"},
    "bet_limit": {"bet_type", "bet_cap"},
    "player": {"id", "seat", "name", "display", "starting_stack", "player_bounty",
               "is_sitting_out"},
    "round": {"id", "street", "cards", "actions"},
    "action": {"action_number", "player_id", "action", "amount", "is_allin", "cards"},
    # contributed_rake is deprecated since 1.4.7: a 1.4.7 hand does not write it.
    "pot": {"number", "amount", "rake", "jackpot", "player_wins"},
    "player_wins": {"player_id", "win_amount", "cashout_amount", "cashout_fee", "bonus_amount"},
    "bounty": {"player_id", "bounty_won", "defeated_player_id"},
}
CARD = re.compile(r"^[AKQJT2-9][hsdc]$")
VERSION = re.compile(r"^\d+\.\d+\.\d+$")
UTC = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
NUMBER = (int, Decimal)


class Invalid(AssertionError):
    pass


def need(cond: bool, what: str) -> None:
    if not cond:
        raise Invalid(what)


def field(obj: dict, key: str, types, optional: bool = False, nullable: bool = False):
    """The value of a key of the given types; None when an optional key is absent."""
    if key not in obj:
        need(optional or nullable, f"missing required key {key!r}")
        return None
    value = obj[key]
    if value is None:
        need(nullable, f"{key!r} is null")
        return None
    need((isinstance(value, types) and not isinstance(value, bool)) or
         (types is bool and isinstance(value, bool)), f"{key!r} has type {type(value).__name__}")
    return value


def keys(obj, kind: str) -> None:
    need(isinstance(obj, dict), f"{kind} is not an object")
    unknown = set(obj) - KEYS[kind]
    need(not unknown, f"unknown keys of {kind}: {sorted(unknown)}")


def utc(obj: dict, key: str) -> None:
    value = field(obj, key, str)
    need(UTC.match(value) is not None, f"{key} {value!r}")
    datetime.strptime(value, "%Y-%m-%dT%H:%M:%SZ")


def amount(obj: dict, key: str, optional: bool = False, nullable: bool = False):
    value = field(obj, key, NUMBER, optional=optional, nullable=nullable)
    need(value is None or value >= 0, f"negative {key}")
    return value


def tournament_info(info) -> None:
    """Every field the format requires of a tournament (all but the buy-in, fee, bounty fee and
    flags), with its names."""
    keys(info, "tournament_info")
    field(info, "tournament_number", str)
    field(info, "name", str)
    utc(info, "start_date_utc")
    need(re.match(r"^[A-Z]{3}$", field(info, "currency", str)) is not None, "currency")
    for key in ("buyin_amount", "fee_amount", "bounty_fee_amount"):
        amount(info, key, nullable=True)
    need(field(info, "initial_stack", int) >= 0, "negative initial_stack")
    need(field(info, "type", str) in TOURNAMENT_TYPES, "tournament type")
    for flag in field(info, "flags", list, optional=True, nullable=True) or []:
        need(flag in TOURNAMENT_FLAGS, f"tournament flag {flag!r}")
    speed = field(info, "speed", dict)
    keys(speed, "speed")
    need(field(speed, "type", str) in SPEEDS, "speed type")
    need(field(speed, "round_time", int) >= 0, "negative round_time")


def cards(obj: dict, key: str) -> None:
    value = field(obj, key, list, optional=True, nullable=True)
    for c in value or []:
        need(isinstance(c, str) and CARD.match(c) is not None, f"bad card {c!r}")


def unmatched(rounds: list) -> set:
    """What a history that writes no returns may have given back: in the last round where chips
    went in, the top bettor's live chips above the next one's, or nothing when those chips were
    a posted blind that nobody called (some sites leave a walk's blind in the pot)."""
    for r in reversed(rounds):
        live: dict[int, Decimal] = {}
        last: dict[int, str] = {}
        for a in r["actions"]:
            if a["action"] in PAYING and a["action"] not in DEAD:
                live[a["player_id"]] = live.get(a["player_id"], Decimal(0)) + a["amount"]
                last[a["player_id"]] = a["action"]
        if live:
            top = sorted(live.items(), key=lambda kv: kv[1], reverse=True) + [(None, Decimal(0))]
            excess = top[0][1] - top[1][1]
            return {excess} if last[top[0][0]] in ("Bet", "Raise", "Call") else {excess, Decimal(0)}
    return {Decimal(0)}


def check_hand(doc: dict, uncalled: Optional[Decimal] = None) -> dict:
    """Checks one {"ohh": {...}} object (numbers parsed as Decimal) and returns the hand. The chips
    put in, less the uncalled chips returned, must make the pots: `uncalled` is what the history
    returned; without it, the chips of a bet or raise that nobody matched."""
    need(isinstance(doc, dict) and list(doc) == ["ohh"], "not a {'ohh': ...} object")
    h = doc["ohh"]
    keys(h, "hand")
    need(field(h, "spec_version", str) == "1.4.7", "spec_version")
    for key in ("site_name", "network_name", "game_number", "table_name"):
        need(field(h, key, str) != "", f"empty {key}")
    need(VERSION.match(field(h, "internal_version", str)) is not None, "internal_version")
    utc(h, "start_date_utc")
    need(field(h, "game_type", str) in GAME_TYPES, "game_type")
    limit = field(h, "bet_limit", dict)
    keys(limit, "bet_limit")
    need(field(limit, "bet_type", str) in BET_TYPES, "bet_type")
    field(limit, "bet_cap", NUMBER, optional=True, nullable=True)
    size = field(h, "table_size", int)
    need(2 <= size <= 10, f"table_size {size}")
    need(re.match(r"^[A-Z]{3}$", field(h, "currency", str)) is not None, "currency")
    need(1 <= field(h, "dealer_seat", int) <= size, "dealer_seat")
    for key in ("small_blind_amount", "big_blind_amount", "ante_amount"):
        field(h, key, NUMBER, optional=True, nullable=True)
    for flag in field(h, "flags", list, optional=True, nullable=True) or []:
        need(flag in FLAGS, f"flag {flag!r}")
    tournament = field(h, "tournament", bool, optional=True)
    if tournament:
        tournament_info(field(h, "tournament_info", dict))
    else:
        need("tournament_info" not in h and "tournament_bounties" not in h,
             "tournament objects in a cash hand")

    players: dict[int, dict] = {}
    seats = set()
    for p in field(h, "players", list):
        keys(p, "player")
        pid = field(p, "id", int)
        need(pid not in players, f"player id {pid} twice")
        players[pid] = p
        seat = field(p, "seat", int)
        need(1 <= seat <= size, f"seat {seat} of a {size}-seat table")
        need(seat not in seats, f"seat {seat} twice")
        seats.add(seat)
        field(p, "name", str)
        amount(p, "starting_stack")
        amount(p, "player_bounty", nullable=True)
        field(p, "is_sitting_out", bool, optional=True)
    hero = field(h, "hero_player_id", int, optional=True, nullable=True)
    need(hero is None or hero in players, "hero_player_id does not resolve")

    put_in: dict[int, Decimal] = {pid: Decimal(0) for pid in players}
    added = Decimal(0)
    rounds = field(h, "rounds", list)
    need(len(rounds) > 0 and rounds[0].get("street") == "Preflop", "no Preflop round 0")
    for number, r in enumerate(rounds):
        keys(r, "round")
        need(field(r, "id", int) == number, "round ids out of sequence")
        street = field(r, "street", str)
        need(street in STREETS, f"street {street!r}")
        cards(r, "cards")
        actions = field(r, "actions", list)
        for i, a in enumerate(actions):
            keys(a, "action")
            need(field(a, "action_number", int) == i, "action numbers out of sequence")
            name = field(a, "action", str)
            need(name in ACTIONS, f"action {name!r}")
            need(not (street == "Preflop" and name == "Bet"), "a Bet in the preflop")
            if name in ("Shows Cards", "Mucks Cards"):
                need(street == "Showdown", f"{name} in a {street} round")
            pid = field(a, "player_id", int, nullable=name == "Add to Pot")
            need(pid is None or pid in players, f"player_id {pid} does not resolve")
            # The format makes both optional; its examples write them on every action, and
            # readers built from the examples require them.
            chips = amount(a, "amount")
            allin = field(a, "is_allin", bool)
            cards(a, "cards")
            if name in PAYING:
                need(chips > 0, f"{name} without an amount")
                put_in[pid] += chips
            elif name == "Add to Pot":  # the site's chips, in the pot like the players'
                need(chips > 0 and not allin, f"{name} without an amount")
                added += chips
            else:
                need(chips == 0 and not allin, f"{name} with chips")
            if name in ("Dealt Cards", "Shows Cards", "Mucks Cards"):
                need(bool(a.get("cards")), f"{name} without cards")
    for pid, chips in put_in.items():
        need(chips <= players[pid]["starting_stack"], f"player {pid} puts in more than the stack")

    pot_total = Decimal(0)
    for number, pot in enumerate(field(h, "pots", list)):
        keys(pot, "pot")
        need(field(pot, "number", int) == number, "pot numbers out of sequence")
        total = amount(pot, "amount")
        rake = amount(pot, "rake", nullable=True) or Decimal(0)
        jackpot = amount(pot, "jackpot", optional=True, nullable=True) or Decimal(0)
        won = Decimal(0)
        for win in field(pot, "player_wins", list):
            keys(win, "player_wins")
            need(field(win, "player_id", int) in players, "a winner that does not resolve")
            won += amount(win, "win_amount")
            amount(win, "cashout_amount", optional=True)
            amount(win, "cashout_fee", optional=True, nullable=True)
            amount(win, "bonus_amount", optional=True, nullable=True)
        need(won + rake + jackpot == total,
             f"pot {number}: wins {won} + rake {rake} + jackpot {jackpot} != {total}")
        pot_total += total
    returned = unmatched(rounds) if uncalled is None else {uncalled}
    chips = sum(put_in.values()) + added
    need(chips - pot_total in returned,
         f"chips put in {chips} less {returned} returned != pots {pot_total}")
    for b in field(h, "tournament_bounties", list, optional=True) or []:
        keys(b, "bounty")
        need(field(b, "player_id", int) in players, "bounty winner does not resolve")
        need(field(b, "defeated_player_id", int) in players, "defeated player does not resolve")
        amount(b, "bounty_won")
    return h


def split_ohh(text: str) -> list[str]:
    """The objects of an .ohh text: each followed by a newline, separated by one blank line."""
    if text == "":
        return []
    assert text.endswith("}\n") and "\n\n\n" not in text
    return text[:-1].split("\n\n")
