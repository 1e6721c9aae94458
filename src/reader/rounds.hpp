// The loops that every site reader runs over the body of a hand: the lines of a betting round, the
// streets after the preflop (a street line, then its round), and the seat lines of the summary. A
// site gives them its hooks and its line tables; it writes no loop of its own.
//
// The loops run once per line of every hand: they are inline templates, so that a site's hooks
// are inlined into them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/shared_lines.hpp"

namespace hs {

// The lines of one betting round, from the current line up to the line that ends the round:
// `round_ends(line)` tells that line, `take_line(line)` reads one line of the round and pushes
// what it holds, and returns an empty reason, or the reason of a line that it does not take. An
// empty reason when the round was read; the current line is then the one that ended it.
template <class RoundEnds, class TakeLine>
[[gnu::always_inline]] inline std::string_view read_round(Parser& p, RoundEnds&& round_ends,
                                                          TakeLine&& take_line) {
    while (!round_ends(p.line())) {
        if (const std::string_view reason = take_line(p.line()); !reason.empty()) return reason;
        p.next_line();
    }
    return {};
}

// A site's streets after the preflop, read by `read_streets`. The hooks:
// - `bool at_summary(std::string_view line)`: the line that ends the streets;
// - `std::optional<StreetLine> street_line(Parser&)`: reads the street line and moves past it;
//   nullopt for a board cut off;
// - `bool round_ends(std::string_view line)`: the line that ends a street's round;
// - `bool round_line(HandBuilder&, std::string_view line)`: reads one line of a round and pushes
//   what it holds; false when no line kind of the site's rounds takes it.
// Each street's actions are closed as its street. An empty reason when every street was read; the
// current line is then the one that begins the summary.
template <class Hooks>
inline std::string_view read_streets(HandBuilder& b, const Hooks& hooks) {
    Parser& p = b.parser();
    while (!hooks.at_summary(p.line())) {
        const std::optional<StreetLine> street = hooks.street_line(p);
        if (!street) return kBoardCutOff;
        // A line of the round: inline (forced, or it is a call per line) into the round's loop.
        const std::string_view reason = read_round(
            p, [&](std::string_view line) { return hooks.round_ends(line); },
            [&](std::string_view line) __attribute__((always_inline)) {
                return hooks.round_line(b, line) ? std::string_view() : kUnrecognisedAction;
            });
        if (!reason.empty()) return reason;
        b.close_street(street->kind, street->cards);
    }
    return {};
}

// What a summary's seat line holds, as a site's reader of it tells.
enum class SeatResult {
    Action,  // a result, pushed
    Skip,    // a note that holds none ("Seat 5: Bob (didn't bet)")
    Reject,  // no seat line: the summary cannot be read
};

// The seat lines of a summary, from the current line to the empty line (or the end of the text)
// that ends the hand, each read by `seat_line(line)`. An empty reason when they were read; a
// summary that runs into the next hand's first line is cut off.
template <class SeatLineReader>
inline std::string_view read_summary_seats(Parser& p, SeatLineReader&& seat_line) {
    while (p.line().size() >= 5) {
        if (seat_line(p.line()) == SeatResult::Reject) return kUnrecognisedSummary;
        p.next_line();
    }
    if (!p.line().empty() && !p.at_text_end()) return kUnrecognisedSummary;
    return {};
}

}  // namespace hs
