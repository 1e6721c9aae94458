// What only tournament hands hold: the tournament part of a hand line (number, buy-in, level), the
// bounties of the seat lines, and the lines of tournament events (places, prizes, bounties won,
// rebuys, add-ons, satellite entries). A site reader calls these for tournament hands only, so
// that its cash hands never run them; they live apart from every reader so that the readers of
// other sites that write the same parts can share them.
//
// A tournament hand's amounts are chips, read in the form kChipAmounts (numbers.hpp). Its money
// (buy-in, bounties, prizes) is read here; the first currency sign met is the record's currency.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/model.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"

namespace hs::tournament {

// A buy-in of up to three amounts joined by a sign ("$1.84+$0.16", "$0.98+$0.25+$0.16",
// Winamax's "4.50€ + 0.50€" and "0.93-0.07"): the buy-in, then the fee, with a bounty part between
// them when there are three. More than three are counted, the first three kept.
struct BuyInParts {
    float parts[3] = {};
    std::size_t count = 0;
    Currency sign = 0;    // the sign that the first amount reads (0 for none)
    std::size_t end = 0;  // where the text after the last amount begins
};
// The amounts at the start of `text`, each read by `read_part` (a TrailingRead: the value, the
// sign it reads and the bytes it takes), joined by one of the bytes of `joins`; with `spaced`, the
// joins may stand between spaces.
template <class ReadPart>
BuyInParts split_buy_in(std::string_view text, ReadPart&& read_part, std::string_view joins,
                        bool spaced) {
    BuyInParts out;
    std::size_t at = 0;
    const auto skip_spaces = [&] {
        while (spaced && at < text.size() && text[at] == ' ') ++at;
    };
    for (;;) {
        skip_spaces();
        const std::optional<TrailingRead> part = read_part(text.substr(at));
        if (!part) break;
        if (out.count == 0) out.sign = part->sign;
        if (out.count < 3) out.parts[out.count] = part->value;
        ++out.count;
        at += part->len;
        out.end = at;
        skip_spaces();
        if (at >= text.size() || joins.find(text[at]) == std::string_view::npos) break;
        ++at;
    }
    return out;
}
// The record's buy-in, fee and bounty part from the amounts (none when there are none).
void set_buy_in(Tournament& t, const BuyInParts& parts) noexcept;

// "Tournament #<number>, <buy-in> " (or "Zoom Tournament #...") at `at` of a hand line, where a
// cash hand names its game: pushes the hand's Tournament record and returns where the game's
// words begin. The buy-in is "$1.84+$0.16 USD", with a bounty part ("$0.98+$0.25+$0.16 USD":
// buy-in, bounty, fee), "Freeroll", "1FPP", "250 SC", play money ("300+20") or nothing at all.
// A mixed game names the game of the hand in parentheses ("Mixed Omaha (Omaha Pot Limit)",
// "HORSE (Razz Limit)"): its words begin inside them. nullopt, and nothing pushed, when the text
// names no tournament.
std::optional<std::size_t> read_tournament(HandBuilder& b, std::string_view line, std::size_t at);

// GGPoker's "Tournament #<number>, <name> <game> - Level<n>(<blinds>)" at `at`: pushes the
// hand's record (number and name: the buy-in is part of the name) and returns where the game's words
// begin. The name stands where PokerStars writes the buy-in and may hold anything, game words
// too ("WSOP #77: $5,000 No Limit Hold'em Main Event [Flight W], $25M GTD Hold'em No Limit"): the
// game is the last one named before the level. nullopt, and nothing pushed, when the text names
// no tournament.
std::optional<std::size_t> read_named_tournament(HandBuilder& b, std::string_view line,
                                                 std::size_t at);

// The level and a shootout's round in `part`, the hand line between the game and the stakes:
// "- Level III ", "- Match Round I, Level I " and GGPoker's "- Level14". A hand line converted
// from another layout may give neither.
void read_level(HandBuilder& b, std::string_view part);

// A seat line up to the ')' that closes its chips; its bounty, the ", $0.50 bounty" in that
// parenthesis, is recorded for the player about to be seated. What follows the parenthesis is a
// note ("is sitting out", "out of hand (moved from another table into small blind)").
std::string_view seat_line(HandBuilder& b, std::string_view line);

// A line of a tournament event, each naming its player first; nullopt for any other line.
std::optional<Action> event_line(HandBuilder& b, std::string_view line);

// "<name> wins a 'Fast Track $1' ticket" and other prizes that are not money (an event_line
// takes the entries, bounties and money won first): a line that carries nothing the hand keeps.
bool is_prize_line(std::string_view line) noexcept;

}  // namespace hs::tournament
