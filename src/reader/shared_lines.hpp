// Readers of the parts that several sites' layouts share: the game's name and the date on the
// hand line, seat lines, cards, dealt lines, the street lines with their boards, and the position
// notes of summary seat lines. The site readers call them once per hand, per seat or per street.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/model.hpp"
#include "core/scan.hpp"
#include "reader/hand.hpp"
#include "reader/phrases.hpp"

namespace hs {

struct SeatLine {
    std::size_t seat_start;  // always 5
    std::size_t seat_len;    // 1 or 2
    std::string_view name;
    std::size_t after_paren;  // offset just past the last '('
};
struct BracketedCards {
    CardSet cards;
    std::size_t open;   // just past '[' (0 when none)
    std::size_t close;  // just past ']' (0 when none)
};

// "Seat N: name (chips...)" or "Seat NN: name (chips...)": where the seat number and the name
// stand; nullopt when the line has no '('. Once per seat line: the usual line, whose byte 6 (the
// seat number's second digit, or the ':') is ASCII, inline (forced); read_seat_line_at_wide_byte
// gives the same for any line and takes the others.
std::optional<SeatLine> read_seat_line_at_wide_byte(std::string_view line);
[[gnu::always_inline]] inline std::optional<SeatLine> read_seat_line(std::string_view line) {
    const unsigned char b6 = byte_at(line, 6);
    if (b6 >= 0x80) [[unlikely]]
        return read_seat_line_at_wide_byte(line);
    const bool two_digits = b6 >= '0' && b6 <= '9';
    const std::size_t name_start = two_digits ? 9 : 8;
    const std::size_t paren = rfind_byte(line, '(');
    if (paren == npos) return std::nullopt;
    if (paren <= name_start) fault_missing("player name before '('", line);
    return SeatLine{5, two_digits ? std::size_t{2} : std::size_t{1},
                    slice(line, name_start, paren - 1), paren + 1};
}
// Cards written "Ah Kd 7c" (see CardSet::from_text for the other forms).
CardSet parse_cards(std::string_view text);
// The cards between the first '[' and the ']' after it; none when there is no such pair.
BracketedCards bracketed_cards(std::string_view text);

// A game as a hand line names it, and where the text after its words begins.
struct GameRead {
    GameType game;
    BetType bet;
    std::size_t end;
};

// The cards between the first '[' of the text and the ']' after it, separated by commas and
// spaces ("[ Ad, 5c ]", "[Jd,7d,Ts]"); a fault when the brackets are not both there.
CardSet comma_cards(std::string_view text, std::string_view line);

// The game whose name begins at `at` of a hand line: its words ("Hold'em ", "5 Card Omaha Hi/Lo ",
// "Holdem ", "Omaha5 ", "ShortDeck ") followed by the limit ("No Limit", "Pot Limit", "Limit",
// "no limit", "pot limit", "fixed limit"), or a name that carries its limit ("PLO-5 ", "PLO ").
// nullopt when no game that the model holds begins there; a limit that is none of those faults.
std::optional<GameRead> read_game(std::string_view line, std::size_t at);

// A mixed game's rotation named at `at` ("HORSE (", "8-Game (", "Mixed NLH/PLO ("...), and where
// the game of the hand begins after its parenthesis; nullopt for a line that names none there.
struct MixedRead {
    MixedGame mixed;
    std::size_t game_at;
};
std::optional<MixedRead> read_mixed(std::string_view line, std::size_t at) noexcept;
// The rotation whose words (with their parenthesis) end at `end`.
std::optional<MixedGame> mixed_ending_at(std::string_view line, std::size_t end) noexcept;

// The input error of a hand line whose game no reader reads (stud, razz, draw, Badugi, a limit
// of another name): "game not read: <the game's words as the line writes them>".
[[noreturn]] void fault_game(std::string_view line, std::size_t at);

// The usual date form, "2021/03/04 05:06:07" followed by a non-digit or the end, read at fixed
// places; nothing when the text has another form.
std::optional<PackedDate> fixed_date(std::string_view d) noexcept;
// The same with an hour of one digit, "2021/03/04 5:06:07", read as fixed_date reads the hour
// with its missing digit put back.
std::optional<PackedDate> fixed_date_short_hour(std::string_view d) noexcept;

// A date of six numbers each ended by one separator byte that is no digit, without padding
// ("2016/8/4 11:25:3", "2016-10-16 13:55:35"), the last number ended by the end of the text or a
// byte that is no digit; nothing when the text has another form.
std::optional<PackedDate> loose_date(std::string_view d) noexcept;

// The tail of a hand line that ends in its date and time zone ("... - 2016-10-16 13:55:35 ET"):
// the date after the line's last `separator`, read by `read_date` (fixed_date, loose_date), into
// the header's start, and its UTC start by the zone that the line's last word names. A fault
// quoting the line when it has no such date.
void date_after_last(Header& h, std::string_view line, std::string_view separator,
                     std::optional<PackedDate> (*read_date)(std::string_view) noexcept);

// The table line "Table 'name' 9-max Seat #6 is the button" (PokerStars and the layouts that copy
// it; the size may be missing): the table's name, size and button seat into the header, and the
// parser past the line. False when the line names no table between quotes.
bool read_table_line(Parser& p, Header& h);

// "Dealt to <name> [cards]", or "Dealt to <name>" for a player dealt in whose cards are not
// shown; a line that shows cards makes its player the hero's candidate. nullopt when cut off
// inside the cards. `sep` is what stands between the name and the bracket (KingsClub writes
// "Dealt to Hero: [Qc Ks]"); a bracket of hidden cards only ("[X X]") shows none.
std::optional<Action> dealt_line(HandBuilder& b, std::string_view line, std::string_view sep = " ");

// A street line: "*** FLOP *** [Qh 8s 9d]", "*** TURN *** [Qh 8s 9d] [Ah]", "*** FIRST RIVER ***
// [..] [9c]", "*** SHOWDOWN ***", "*** SHOW DOWN ***", "*** FLOP ***: [3h Td 6d]", and with the
// number of the board of a hand run twice, "*** FLOP 2 *** [6c 9s Jh]"; the kind is told by the
// two letters before the closing stars (and the board's number). The cards are the last bracket's,
// but a flop whose first card was shown before the preflop round (Courchevel) has them in two:
// "[8s] [2c 9h]".
struct StreetLine {
    StreetKind kind;
    CardSet cards;
};
// The street line at the parser's line, which it moves past; nullopt for a board whose bracket
// is not closed (a hand cut off in the middle).
std::optional<StreetLine> parse_street_line(Parser& p);

// The street lines of the games without a board ("*** 4th STREET ***", "*** FOURTH ***", "***
// FIRST DRAW ***", "*** FIRST-DRAW ***", stud's "*** RIVER ***", the seventh street); the kind of
// the street, the parser moved past it; nullopt for any other line. A stud street's number counts
// from `first`, the number of the street whose round is the first (seven-card stud's third;
// five-card stud's second where the history numbers it so): the next is the flop's slot, and so on
// to the seventh's.
std::optional<StreetKind> boardless_street_line(Parser& p, GameType game, std::uint8_t first = 3);
// The number of a stud street line ("*** 3RD STREET ***", "*** 2nd STREET *** (Total Pot: 1,050,
// 7 Players)"), nullopt for any other line.
std::optional<std::uint8_t> stud_street_number(std::string_view line) noexcept;

// A stud street line of the layouts that write "** Dealing <street> **" ("** Dealing 4th Street
// **", "**** dealing river ****", "** Dealing Fourth street **"), in any case: the kind of the
// street whose round follows (the fourth street's is the flop's slot, and so on; the river is the
// seventh street); nullopt for any other line.
std::optional<StreetKind> dealing_stud_street(std::string_view line) noexcept;

// The cards of a bracket's text, separated by spaces or commas ("7c 3s", "5c, 2h"), the hidden
// ones ("X", "-") left out.
CardSet shown_cards(std::string_view text);

// A draw's line: "<name><sep>discards 2 cards [7h 2c]" (the cards shown, a Discard),
// "<name><sep>discards 1 card" (their number only, a Draw) or "<name><sep>stands pat" (maybe
// followed by the hand kept, " on [5s 3h 4c 8d 2h]", which the dealt cards gave), with the
// separator `sep` between the name and the words (": ", " "). False for any other line.
bool draw_line(HandBuilder& b, std::string_view line, std::string_view sep);

// The cards a stud street deals a player (hidden ones left out), pushed as dealt face down (Dealt)
// and face up (DealtUp): on the first street (`first`) the last card is up and those before it
// down (after `hole`, down cards shown apart), and a player shown down cards there is the hero's
// candidate; on the later streets the cards are up, but down on the seventh street (`down`).
void push_stud_cards(HandBuilder& b, std::string_view name, const CardSet& cards, bool first,
                     bool down, CardSet hole = {});
// "Dealt to <name> [cards]" in stud, pushed by push_stud_cards: on the first street the one
// bracket ("[7c 3s 5h]" for the player whose history it is, "[Td]" for the others), on the later
// streets the last of two ("[4c] [3c]"). A hidden card ("X") is no card. `sep` as for dealt_line.
// With `down_apart` the first street may write the down cards in a bracket of their own before
// the up card ("[5d Ah] [Ad]"). False for a line cut off inside its cards.
bool stud_dealt_line(HandBuilder& b, std::string_view line, bool first, bool down,
                     std::string_view sep = " ", bool down_apart = false);
// "Dealt to <name> [kept] [new]" after a draw: the new cards, as Dealt; with `first`, the deal
// before the first draw, "Dealt to <name> [cards]", whose player is the hero's candidate when it
// shows cards ("[X X X X X]" shows none). False for a line cut off inside its cards.
bool draw_dealt_line(HandBuilder& b, std::string_view line, bool first = false);
// A draw: `after` is the text after the verb, "2 cards [7h 2c]" (the cards thrown away: Discard),
// "1 card" (their number: Draw) or "0 card" (StandPat). nullopt for a bracket not closed.
std::optional<Action> draw_count(Parser& p, std::string_view name, std::string_view after,
                                 std::string_view line);
// A draw game's preflop closed: where the history writes no line for its draw (the discards among
// the preflop's lines), the round of the draw begins at its first discard, and is closed as the
// first street. True when it was so.
bool close_draw_preflop(HandBuilder& b);

// A line that begins "*** ": a section of the hand (a street, the summary) in the layouts that
// write them so.
inline bool is_stars_line(std::string_view line) noexcept {
    return line.size() >= 4 && std::memcmp(line.data(), "*** ", 4) == 0;
}

// A row of a table of bets, calls and raises: the verb before the amount and the action it
// names, plain or all-in.
struct Wager {
    std::string_view verb;
    ActionType plain, all_in;
    ActionType type(bool is_all_in) const noexcept { return is_all_in ? all_in : plain; }
};

// A row of a suffix table of actions: the phrase that ends the line and the action it names
// (the name is the text before the phrase; see `ending_row`).
struct ActionEnding {
    Ending ending;
    ActionType type;
};

// The action of a line that a suffix table of actions without an amount takes ("Bob folds",
// "Bob: Check"), pushed for the player the name before its phrase names; false for a line that
// no row takes.
template <std::size_t N>
bool push_ending_action(HandBuilder& b, std::string_view line, const ActionEnding (&rows)[N]) {
    const ActionEnding* e = ending_row(line, rows);
    if (e == nullptr) return false;
    b.push(Action::make(e->type, b.parser().find_player(e->ending.name(line)), kNoCards));
    return true;
}

// A summary seat line's name without its trailing position notes (" (button)", " (small blind)",
// " (big blind)", in any number). Once per summary line with a note: inline, each note told by
// the byte before its ')' and then compared whole (no two notes end alike, so their order does
// not matter).
inline std::string_view strip_position_notes(std::string_view name) noexcept {
    static constexpr std::string_view kButton = " (button)", kSmall = " (small blind)",
                                      kBig = " (big blind)";
    while (name.size() > 1 && name.back() == ')') {
        std::size_t note = 0;
        switch (name[name.size() - 2]) {
            case 'n': note = ends(name, kButton) ? kButton.size() : 0; break;
            case 'd':
                note = ends(name, kBig) ? kBig.size() : ends(name, kSmall) ? kSmall.size() : 0;
                break;
            default: break;
        }
        if (note == 0) break;
        name.remove_suffix(note);
    }
    return name;
}

}  // namespace hs
