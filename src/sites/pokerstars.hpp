// PokerStars hand histories and the histories written in the same layout (the Pluribus logs,
// GGPoker), each a variant of one reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/model.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"

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
// All-in insurance: "<name>: pay premium of all-in insurance ($4)" is pushed; "<name>: get an
// all-in insurance (...)", which moves no money, is read past.
inline constexpr std::uint8_t Insurance = 32;
// A hand shown without the colon and named after it: "<name> shows [Ad 4c] for Pair [Ah Ad ...]".
inline constexpr std::uint8_t ShowsFor = 64;
}  // namespace RoundLine

// What sets one site written in the PokerStars layout apart: data, read by the one reader.
struct Variant {
    Site site;
    std::uint8_t round_lines;     // RoundLine bits
    std::string_view key_prefix;  // what every name loses before it is keyed (empty for none)
    std::string_view hand_start;  // what a hand's first line begins with
    // The tournament part of a hand line (see tournament.hpp): it pushes the hand's record and
    // returns where the game's words begin, or nullopt for a cash hand.
    std::optional<std::size_t> (*read_tournament)(HandBuilder&, std::string_view, std::size_t);
    // Whether a summary's pot line may name no rake at all (GGPoker's tournaments: "Total pot
    // 588"); every part after the first '|' is the site's take either way ("| Rake $0.02 |
    // Jackpot $0.02 | Bingo $0").
    bool rake_optional;
    // The pre-deal line that names no player but adds to the pot ("Cash Drop to Pot : total
    // $0.2"), kept as the pot's `added` chips; empty for none.
    std::string_view pot_drop;
    // Whether a cash hand's amounts may group their thousands with ',' ("$1,289.63").
    bool grouped_amounts;
    // What "<name>: mucks hand" in a round means: a fold at the showdown (PokerStars), or a
    // winner who does not show (Run It Once, whose loser's cards are in the summary).
    ActionType mucks_hand = ActionType::Fold;
    // Whether a summary's seat line may end in a note after its fold ("Seat 2: Bob folded before
    // Flop (timeout)", Run It Once): such lines are searched for the fold.
    bool notes_after_fold = false;
    bool allows(std::uint8_t kind) const noexcept { return (round_lines & kind) != 0; }
    // How a cash hand whose stakes carry `sign` writes its amounts.
    AmountForm amounts(Currency sign) const noexcept {
        return {sign, grouped_amounts ? NumberForm::Grouped : NumberForm::Plain};
    }
};

extern const Variant kPokerStars;
extern const Variant kPluribus;
extern const Variant kGGPoker;
extern const Variant kFullTiltStars;
extern const Variant kRunItOnce;
extern const Variant kPokerMaster;
extern const Variant kPokerBros;

void parse_hands(Parser& parser, const Variant& variant, Errors errors,
                 std::vector<Rejection>& rejected);

}  // namespace pokerstars
}  // namespace hs
