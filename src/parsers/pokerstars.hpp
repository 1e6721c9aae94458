// PokerStars hand histories and the logs written in the same layout (the Pluribus logs), each a
// variant of one reader.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/model.hpp"
#include "parsers/hand.hpp"

namespace hs {
class Parser;
namespace pokerstars {

// The line kinds that a betting round may hold besides bets, calls, raises, folds, checks,
// cards at the end of a line, collections and uncalled bets.
namespace RoundLine {
inline constexpr std::uint8_t Status = 1;   // sitting out, leaving, timing out, coming back
inline constexpr std::uint8_t Chat = 2;     // <name> said, "..."
inline constexpr std::uint8_t Shows = 4;    // <name>: shows [cards] (a hand)
inline constexpr std::uint8_t CashOut = 8;  // <name> cashed out the hand for ...
inline constexpr std::uint8_t Join = 16;    // <name> joins the table at seat #n
}  // namespace RoundLine

// What sets one site written in the PokerStars layout apart: data, read by the one reader.
struct Variant {
    Site site;
    std::uint8_t round_lines;     // RoundLine bits
    std::string_view key_prefix;  // what every name loses before it is keyed (empty for none)
    std::string_view hand_start;  // what a hand's first line begins with
    bool allows(std::uint8_t kind) const noexcept { return (round_lines & kind) != 0; }
};

extern const Variant kPokerStars;
extern const Variant kPluribus;

void parse_hands(Parser& parser, const Variant& variant, Errors errors,
                 std::vector<Rejection>& rejected);

}  // namespace pokerstars
}  // namespace hs
