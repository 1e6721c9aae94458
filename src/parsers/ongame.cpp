// OnGame network hand histories ("***** History for hand ...").
//
// Fields are read by position within a line or relative to a few markers: the hand's currency
// sign, the last '(', '[', '/' or ' ' of a line, and the first bytes of section lines. Amounts are
// grouped amounts (',' between thousands, two decimals).
//
// A hand the parser cannot read is dropped and parsing resumes at the next "***** " line; a hand
// that breaks a rule the format always keeps (a short hand line, a blind line without an amount,
// an unknown street) is an internal fault that ends the whole parse.

#include "parsers/ongame.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/model.hpp"
#include "parsers/parser.hpp"
#include "simd/player_table.hpp"

namespace hs::ongame {
namespace {

using std::size_t;
using std::string_view;

// How the reading of one hand ended.
enum class Outcome : std::uint8_t {
    Done,  // the hand was pushed onto the store
    Skip,  // the hand is dropped; look for the next one from the current line
    Stop,  // the text ended inside the hand's summary: drop the hand and end the parse
};

// The hand's currency sign: its code point and its UTF-8 bytes as the table line prints them
// (a view into the input, which outlives the parse).
struct Sign {
    Currency code = 0;
    string_view bytes;
};

constexpr string_view kSection = "---";

bool starts_with(string_view s, string_view prefix) noexcept {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}
bool ends_with(string_view s, string_view suffix) noexcept {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// A section line: the bare "---" or "--- " followed by a street's title. Player names may begin
// with dashes ("---Cockatrice--- folds"), so three dashes alone do not make a section line.
bool is_section_line(string_view line) noexcept {
    return line == kSection || starts_with(line, "--- ");
}

// A text cut out of a line by position can begin or end inside a multi-byte character (a table
// name written right against its '[', a seat name against its '('). The stored texts must be
// whole characters, so a partial character at either end is left out.
string_view whole_chars(string_view s) noexcept {
    const auto continuation = [](char c) noexcept {
        return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    };
    size_t lead = 0;
    while (lead < s.size() && lead < 3 && continuation(s[lead])) ++lead;
    s.remove_prefix(lead);
    const size_t n = s.size();
    for (size_t k = 1; k <= 4 && k <= n; ++k) {
        const auto c = static_cast<unsigned char>(s[n - k]);
        if ((c & 0xC0) == 0x80) continue;
        const size_t need = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (need > k) s.remove_suffix(k);
        break;
    }
    return s;
}

// The player name that a line gives from byte 0 up to `end` = `at` - `back`. A name that would
// end before the line begins, or an empty one, is a fault: lines of these shapes always name a
// player there.
string_view name_before(string_view line, size_t at, size_t back) {
    if (at < back || at - back == 0) fault_missing("player name", line);
    const string_view name = whole_chars(slice(line, 0, at - back));
    if (name.empty()) fault_missing("player name", line);
    return name;
}

// The last word of a line (the text after its last space); nullopt when it has no space.
std::optional<string_view> last_word(string_view line) {
    const size_t sp = rfind_byte(line, ' ');
    if (sp == npos) return std::nullopt;
    return tail(line, sp + 1);
}

// ---------------------------------------------------------------------------------------------
// Header: the table, dealer and count lines
// ---------------------------------------------------------------------------------------------

// Reads the table, dealer and count lines. On acceptance the current line is the first seat
// line and `sign` holds the hand's currency sign.
bool parse_table_lines(Parser& p, Header& header, Sign& sign) {
    HandStore& store = p.store();

    // The table line: "Table: <name> [<number>] (<game> $0.50/$1, Real money)".
    string_view line = p.line();
    if (p.at_end()) fault_missing("table line");
    header.game_type = GameType::HoldEm;
    if (line.size() < 7) fault_index(7, line.size());
    // The name runs from byte 7 to the space before the table number's '['. A name may itself
    // begin with a bracketed tag ("[SPEED] Dallas"), so a '[' at byte 7 belongs to the name.
    const size_t open = line.size() > 8 ? find_byte(line, '[', 8) : npos;
    if (open == npos) return false;
    header.table_name = store.push_text(whole_chars(slice(line, 7, open - 1)));

    const size_t slash = rfind_byte(line, '/');
    if (slash == npos) return false;
    const string_view after_slash = tail(line, slash + 1);
    const auto symbol = currency_symbol(after_slash);
    // Tables that print their stakes without a sign (tournament chips, some old cash files) are
    // not read: their amounts cannot be told from the other numbers of the lines.
    if (!symbol) return false;
    sign = Sign{symbol->sign, slice(after_slash, 0, symbol->len)};
    header.currency = symbol->sign;
    const auto big = read_amount(tail(after_slash, symbol->len));
    if (!big) fault_missing("big blind", line);
    header.big_blind = big->value;
    const auto small = amount_after_last(slice(line, 0, slash), symbol->sign);
    if (!small) fault_missing("small blind", line);
    header.small_blind = small->value;
    p.next_line();

    // A history saved by a logged-in player names that player on a line of its own here
    // ("User: Hero"); the player's own cards follow in the preflop.
    if (starts_with(p.line(), "User: ")) p.next_line();

    // The dealer line: "Button: seat 8"; a last word beginning with 'R' means no dealer.
    line = p.line();
    if (p.at_end()) fault_missing("dealer line");
    const auto dealer = last_word(line);
    if (!dealer) return false;
    if (!dealer->empty() && dealer->front() == 'R') {
        header.dealer = kNone8;
    } else {
        const size_t n = numeric_run_len(*dealer);
        if (n == 0) return false;
        header.dealer = static_cast<std::uint8_t>(parse_grouped_integer(slice(*dealer, 0, n)));
    }
    p.next_line();

    // The count line: "Players in round: 6", or with the table's size after the number of
    // players dealt in: "Players in round: 3 (5)". The last word is what is kept.
    line = p.line();
    if (p.at_end()) fault_missing("player count line");
    const auto count = last_word(line);
    if (!count) return false;
    string_view number = *count;
    if (!number.empty() && number.front() == '(') {
        // Only "(<digits>)": the number must fill the parentheses.
        if (number.size() < 3 || number.back() != ')') return false;
        number = slice(number, 1, number.size() - 1);
        if (numeric_run_len(number) != number.size()) return false;
    }
    const size_t n = numeric_run_len(number);
    if (n == 0) return false;
    header.max_players = static_cast<std::uint8_t>(parse_grouped_integer(slice(number, 0, n)));
    p.next_line();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Seats, blinds and actions
// ---------------------------------------------------------------------------------------------

// One seat line, "Seat 3: Bob ($1,000.00)". False when the hand cannot be read.
bool parse_seat_line(Parser& p, Header& header, const Sign& sign) {
    const string_view line = p.line();
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;

    const string_view digits = slice(line, seat_line->seat_start,
                                     seat_line->seat_start + seat_line->seat_len);
    unsigned seat = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seat);
    if (ec != std::errc{} || end != digits.data() + digits.size() || seat > 255) {
        fault_missing("seat number", line);
    }

    // The sign (or whatever stands in its place) follows the '('.
    const size_t chips_at = seat_line->after_paren + sign.bytes.size();
    if (chips_at > line.size()) return false;
    const auto chips = read_amount(tail(line, chips_at));
    if (!chips) return false;

    const string_view name = whole_chars(seat_line->name);
    if (name.empty()) fault_missing("player name", line);
    const std::uint8_t slot =
        p.add_seated_player(name, static_cast<std::uint8_t>(seat), chips->value);
    // The dealer line gave a seat number; the seat line of that seat turns it into a slot.
    if (seat == header.dealer) header.dealer = slot;
    return true;
}

// One blind line: "Bob posts big blind ($1)" or "Al posts small blind ($0.50)".
Action parse_blind_line(Parser& p, const Sign& sign) {
    const string_view line = p.line();
    const auto amount = amount_after_last(line, sign.code);
    if (!amount) fault_missing("blind amount", line);
    const size_t s = amount->sign_at;
    if (s < 9) fault_missing("blind kind", line);
    ActionType type;
    string_view name;
    switch (byte_at(line, s - 9)) {
        case 'g':  // "<name> posts big blind ("
            type = ActionType::BigBlind;
            name = name_before(line, s, 18);
            break;
        case 'l':  // "<name> posts small blind ("
            type = ActionType::SmallBlind;
            name = name_before(line, s, 20);
            break;
        case 'd':  // "<name> posts dead blind (": a missed small blind paid on coming back
            type = ActionType::DeadBlind;
            name = name_before(line, s, 19);
            break;
        default:
            fault_unreachable();
    }
    return Action::with_amount(type, p.find_player(name), amount->value);
}

// One action line of a betting round; nullopt when the line is not an action.
std::optional<Action> parse_action_line(Parser& p, const Sign& sign) {
    const string_view line = p.line();
    const size_t len = line.size();

    if (len > 1 && ends_with(line, "ds")) {  // "<name> folds"
        const string_view name = name_before(line, len, 6);
        return Action::make(ActionType::Fold, p.player_id(name), kNoCards);
    }
    if (len > 1 && ends_with(line, "ks")) {  // "<name> checks"
        const string_view name = name_before(line, len, 7);
        return Action::make(ActionType::Check, p.player_id(name), kNoPayload);
    }
    if (line.empty()) return std::nullopt;

    // All-in lines end "[all in]" (the space after it is already gone).
    const bool all_in = line.back() == ']';
    const size_t s = find_str(line, sign.bytes);
    if (s == npos) return std::nullopt;
    const auto amount = read_amount(tail(line, s + sign.bytes.size()));
    if (!amount) return std::nullopt;
    if (s < 3) return std::nullopt;

    ActionType type;
    size_t back;
    switch (byte_at(line, s - 3)) {
        case 'e':  // "<name> raises $2.50 to $3.00"
            type = all_in ? ActionType::RaiseAllIn : ActionType::Raise;
            back = 8;
            break;
        case 't':  // "<name> bets $4.00"
            type = all_in ? ActionType::BetAllIn : ActionType::Bet;
            back = 6;
            break;
        case 'l':  // "<name> calls $1.50"
            type = all_in ? ActionType::CallAllIn : ActionType::Call;
            back = 7;
            break;
        default:
            return std::nullopt;
    }
    const string_view name = name_before(line, s, back);
    return Action::with_amount(type, p.find_player(name), amount->value);
}

// The hole cards that the preflop of a logged-in player's history shows.
struct Dealt {
    unsigned lines = 0;           // "Dealing to" lines with cards
    std::uint8_t player = kNone8;  // the player of the last of them
};

// "Dealing to Hero: [Th, 3d]": the player's own hole cards. nullopt when the line is not
// written that way (no ':' before the cards, or cut inside them).
std::optional<Action> parse_dealt_line(Parser& p, Dealt& dealt) {
    const string_view line = p.line();
    constexpr size_t kAfter = 11;  // "Dealing to "
    const size_t open = rfind_byte(line, '[');
    if (open == npos || open < kAfter || line.back() != ']') return std::nullopt;
    const size_t colon = rfind_byte(slice(line, kAfter, open), ':');
    if (colon == npos) return std::nullopt;
    const string_view name = whole_chars(slice(line, kAfter, kAfter + colon));
    if (name.empty()) fault_missing("player name", line);
    // The cards are written "Th, 3d": the card reader leaves the ',' after each suit unread.
    const CardSet cards = parse_cards(slice(line, open + 1, line.size() - 1));
    const Action action = p.make_card_action(name, ActionType::Dealt, cards);
    ++dealt.lines;
    dealt.player = action.player_id();
    return action;
}

// Reads action lines up to the next section line. False when a line is not an action. In the
// preflop (`dealt` given) a "Dealing to" line is the player's own hole cards.
bool parse_actions(Parser& p, const Sign& sign, Dealt* dealt = nullptr) {
    HandStore& store = p.store();
    while (!is_section_line(p.line())) {
        const auto action = dealt != nullptr && starts_with(p.line(), "Dealing to ")
                                ? parse_dealt_line(p, *dealt)
                                : parse_action_line(p, sign);
        if (!action) return false;
        p.next_line();
        store.actions.push_back(*action);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Streets and summary
// ---------------------------------------------------------------------------------------------

enum class StreetKind : std::uint8_t { Flop, Turn, River };

struct StreetLine {
    StreetKind kind;
    CardSet cards;
};

// "--- Dealing flop [6d, Kd, 8c]"; advances past the line.
StreetLine parse_street_line(Parser& p) {
    const string_view line = p.line();
    if (line.size() <= 12) fault_index(12, line.size());
    StreetKind kind;
    switch (byte_at(line, 12)) {
        case 'f': kind = StreetKind::Flop; break;
        case 't': kind = StreetKind::Turn; break;
        case 'r': kind = StreetKind::River; break;
        default: fault_unreachable();
    }
    const size_t open = rfind_byte(line, '[');
    if (open == npos) fault_missing("board cards", line);
    const CardSet cards = parse_cards(slice(line, open + 1, line.size() - 1));
    p.next_line();
    return StreetLine{kind, cards};
}

// A summary line that ends with the shown cards and then the hand they make, "[5s, 5h]
// (TWO_PAIR SEVEN, FIVE)", up to and including the cards' ']'; any other line as it is.
string_view without_hand_rank(string_view line) {
    if (line.empty() || line.back() != ')') return line;
    const size_t open = rfind_byte(line, '(');
    if (open == npos || open < 2) return line;
    if (byte_at(line, open - 1) != ' ' || byte_at(line, open - 2) != ']') return line;
    return slice(line, 0, open - 1);
}

// From the "---" that closes the betting to the '*' line that closes the hand. nullopt with
// `stopped` false when a show line cannot be read; with `stopped` true when the text ends first.
std::optional<Summary> parse_summary(Parser& p, const Sign& sign, bool& stopped) {
    HandStore& store = p.store();
    const size_t first_action = store.actions.size();
    const size_t first_winner = store.winners.size();
    p.next_line();  // the "---" line
    p.next_line();  // "Summary:"

    // The pot line: "Main pot: $229.82 won by fyabcf ($226.82)".
    const string_view line = p.line();
    if (p.at_end()) {
        stopped = true;
        return std::nullopt;
    }
    const size_t total_at = 10 + sign.bytes.size();
    const auto total = read_amount(tail(line, total_at));
    if (!total) fault_missing("pot amount", line);
    const size_t open = rfind_byte(line, '(');
    if (open == npos) fault_missing("winner amount", line);
    const size_t won_at = open + 1 + sign.bytes.size();
    if (won_at > line.size()) fault_missing("winner amount", line);
    const auto won = read_amount(tail(line, won_at));
    if (!won) fault_missing("winner amount", line);
    // " won by " lies between the total and the name; the space before '(' is left out.
    if (open == 0) fault_missing("winner name", line);
    const string_view winner = whole_chars(slice(line, total_at + total->len + 8, open - 1));
    if (winner.empty()) fault_missing("winner name", line);
    const std::uint8_t slot = p.player_id(winner);
    store.winners.push_back(Winner{slot, won->value, 0});

    p.next_line();
    p.skip_empty_lines();
    for (;;) {
        const string_view l = p.line();
        if (p.at_end()) {
            stopped = true;
            return std::nullopt;
        }
        if (!l.empty() && l.front() == '*') break;
        // "Seat 8: fyabcf ($350.06), net: +$113.91, [Kc, Kh]"; histories of a logged-in player
        // name the hand after the cards: "..., [5s, 5h] (TWO_PAIR SEVEN, FIVE)".
        const string_view shown = without_hand_rank(l);
        if (!shown.empty() && shown.back() == ']') {
            const size_t bracket = rfind_byte(shown, '[');
            if (bracket == npos) fault_missing("shown cards", l);
            const CardSet cards = parse_cards(slice(shown, bracket + 1, shown.size() - 1));
            const auto seat_line = read_seat_line(shown);
            if (!seat_line) return std::nullopt;
            const string_view name = whole_chars(seat_line->name);
            if (name.empty()) fault_missing("player name", l);
            store.actions.push_back(p.make_card_action(name, ActionType::Show, cards));
        }
        p.next_line();
        p.skip_empty_lines();
    }
    p.next_line();  // past the '*' line

    Summary summary;
    summary.winners = Span::between(first_winner, store.winners.size());
    summary.actions = Span::between(first_action, store.actions.size());
    summary.pots.total = total->value;
    summary.pots.rake = total->value - won->value;
    summary.pots.main = total->value;
    return summary;
}

// ---------------------------------------------------------------------------------------------
// One hand
// ---------------------------------------------------------------------------------------------

Outcome parse_hand(Parser& p) {
    HandStore& store = p.store();
    Header header;
    header.site = Site::OnGame;
    header.game_type = GameType::HoldEm;
    header.bet_type = BetType::NoLimit;
    header.dealer = kNone8;
    header.hero = kNone8;
    header.is_tournament = false;

    // The hand line: "***** History for hand R5-361850810-476 *****". The id starts after the
    // "R5-" (or "T5-") prefix and runs to the first space after it.
    const string_view hand_line = p.line();
    if (hand_line.size() < 37) fault_index(37, hand_line.size());
    const string_view rest = tail(hand_line, 26);
    const size_t id_end = find_byte(rest, ' ');
    header.id = store.push_text(whole_chars(id_end == npos ? rest : slice(rest, 0, id_end)));
    p.next_line();
    if (p.at_end()) fault_missing("start line");
    p.next_line();

    Sign sign;
    if (!parse_table_lines(p, header, sign)) return Outcome::Skip;

    while (starts_with(p.line(), "Seat ")) {
        if (!parse_seat_line(p, header, sign)) return Outcome::Skip;
        p.next_line();
    }

    const size_t first_blind = store.actions.size();
    while (!is_section_line(p.line())) {
        const Action blind = parse_blind_line(p, sign);
        p.next_line();
        store.actions.push_back(blind);
    }
    header.actions = Span::between(first_blind, store.actions.size());

    p.next_line();  // "---"
    p.next_line();  // "Dealing pocket cards"
    const size_t first_preflop = store.actions.size();
    Dealt dealt;
    if (!parse_actions(p, sign, &dealt)) return Outcome::Skip;
    Street preflop;
    preflop.actions = Span::between(first_preflop, store.actions.size());
    preflop.id = 0;

    const size_t flops_at = store.flops.size();
    const size_t turns_at = store.turns.size();
    const size_t rivers_at = store.rivers.size();
    const size_t showdowns_at = store.showdowns.size();
    std::uint8_t n = 0;
    while (p.line() != kSection) {
        const StreetLine street_line = parse_street_line(p);
        const size_t first = store.actions.size();
        if (!parse_actions(p, sign)) return Outcome::Skip;
        Street street;
        street.cards = street_line.cards;
        street.actions = Span::between(first, store.actions.size());
        street.id = n;
        switch (street_line.kind) {
            case StreetKind::Flop: store.flops.push_back(street); break;
            case StreetKind::Turn: store.turns.push_back(street); break;
            case StreetKind::River: store.rivers.push_back(street); break;
        }
        ++n;
    }

    bool stopped = false;
    const auto summary = parse_summary(p, sign, stopped);
    if (!summary) return stopped ? Outcome::Stop : Outcome::Skip;

    header.players = Span::make(p.first_player(), p.player_count());
    // The player whose cards the history shows, when it shows one player's cards only.
    if (dealt.lines == 1 && dealt.player < kNoSlot) header.hero = dealt.player;
    Hand hand;
    hand.header = header;
    hand.preflop = preflop;
    hand.flops = Span::between(flops_at, store.flops.size());
    hand.turns = Span::between(turns_at, store.turns.size());
    hand.rivers = Span::between(rivers_at, store.rivers.size());
    hand.showdowns = Span::between(showdowns_at, store.showdowns.size());
    hand.summary = *summary;
    hand.text_start = p.text_start();
    store.hands.push_back(hand);
    return Outcome::Done;
}

// Moves to the next hand after a dropped one: to the next line beginning "***** ", or past it
// when it is the "***** End" line of the dropped hand.
void skip_to_next_hand(Parser& p) {
    for (;;) {
        if (p.at_end()) return;
        const string_view line = p.line();
        if (line.size() > 5 && starts_with(line, "***** ")) {
            if (starts_with(line, "***** End")) p.next_line();
            return;
        }
        p.next_line();
    }
}

}  // namespace

void parse_hands(Parser& parser) {
    for (;;) {
        parser.skip_empty_lines();
        if (parser.at_end()) return;
        parser.begin_hand();
        switch (parse_hand(parser)) {
            case Outcome::Done: break;
            case Outcome::Skip: skip_to_next_hand(parser); break;
            case Outcome::Stop: return;
        }
    }
}

}  // namespace hs::ongame
