// Readers of the parts that several sites' layouts share: the game's name and the date on the
// hand line, dealt lines, the street lines with their boards, and the position notes of summary
// seat lines. The site readers
// call them once per hand or per street, never per action line.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/model.hpp"
#include "reader/hand.hpp"
#include "reader/phrases.hpp"

namespace hs {

// A game as a hand line names it, and where the text after its words begins.
struct GameRead {
    GameType game;
    BetType bet;
    std::size_t end;
};

// The game whose name begins at `at` of a hand line: its words ("Hold'em ", "5 Card Omaha Hi/Lo ",
// "Holdem ", "Omaha5 ", "ShortDeck ") followed by the limit ("No Limit", "Pot Limit", "Limit",
// "no limit", "pot limit", "fixed limit"), or a name that carries its limit ("PLO-5 ", "PLO ").
// nullopt when no game that the model holds begins there; a limit that is none of those faults.
std::optional<GameRead> read_game(std::string_view line, std::size_t at);

// The fault of a hand line whose game the model does not hold (stud, razz, draw, Badugi), with the
// character at `at` and the text from there.
[[noreturn]] void fault_game(std::string_view line, std::size_t at);

// The usual date form, "2021/03/04 05:06:07" followed by a non-digit or the end, read at fixed
// places; nothing when the text has another form.
std::optional<PackedDate> fixed_date(std::string_view d) noexcept;

// A date of six numbers each ended by one separator byte that is no digit, without padding
// ("2016/8/4 11:25:3", "2016-10-16 13:55:35"), the last number ended by the end of the text or a
// byte that is no digit; nothing when the text has another form.
std::optional<PackedDate> loose_date(std::string_view d) noexcept;

// "Dealt to <name> [cards]", or "Dealt to <name>" for a player dealt in whose cards are not
// shown; a line that shows cards makes its player the hero's candidate. nullopt when cut off
// inside the cards.
std::optional<Action> dealt_line(HandBuilder& b, std::string_view line);

// A street line: "*** FLOP *** [Qh 8s 9d]", "*** TURN *** [Qh 8s 9d] [Ah]", "*** FIRST RIVER ***
// [..] [9c]", "*** SHOWDOWN ***", "*** SHOW DOWN ***", "*** FLOP ***: [3h Td 6d]", and with the
// number of the board of a hand run twice, "*** FLOP 2 *** [6c 9s Jh]"; the kind is told by the
// two letters before the closing stars (and the board's number). The cards are the last bracket's, but a flop whose
// first card was shown before the preflop round (Courchevel) has them in two: "[8s] [2c 9h]".
struct StreetLine {
    StreetKind kind;
    CardSet cards;
};
// The street line at the parser's line, which it moves past; nullopt for a board whose bracket
// is not closed (a hand cut off in the middle).
std::optional<StreetLine> parse_street_line(Parser& p);

// A row of a suffix table of actions: the phrase that ends the line and the action it names
// (the name is the text before the phrase; see `ending_row`).
struct ActionEnding {
    Ending ending;
    ActionType type;
};

// A summary seat line's name without its trailing position notes (" (button)", " (small blind)",
// " (big blind)", in any number).
std::string_view strip_position_notes(std::string_view name) noexcept;

}  // namespace hs
