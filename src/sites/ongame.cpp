// OnGame network hand histories ("***** History for hand ...").
//
// Fields are read by position within a line or relative to a few markers: the hand's currency
// sign, the last '(', '[', '/' or ' ' of a line, and the first bytes of section lines. Amounts are
// grouped amounts (',' between thousands, two decimals). A table whose stakes carry no sign (a
// tournament's chips, a skin that names its currency on the rake line only) has no sign on any
// amount: there the verbs and the parentheses place them.
//
// A hand the parser cannot read is rejected and parsing resumes at the next "***** History" line; a
// hand that breaks a rule the format always keeps (a short hand line, a blind line without an
// amount, an unknown street) is an internal fault that ends the whole parse.

#include "sites/ongame.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/chars.hpp"
#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"

namespace hs::ongame {
namespace {

using std::size_t;
using std::string_view;

// The hand's currency sign: its code point and its UTF-8 bytes as the table line prints them
// (a view into the input, which outlives the parse).
struct Sign {
    Currency code = 0;
    string_view bytes;
};

constexpr string_view kSection = "---";
// What a hand's first line begins with.
constexpr string_view kHandStart = "***** History";

// A section line: the bare "---" or "--- " followed by a street's title. Player names may begin
// with dashes ("---Cockatrice--- folds"), so three dashes alone do not make a section line.
bool is_section_line(string_view line) noexcept { return line == kSection || starts(line, "--- "); }

// The last word of a line (the text after its last space); nullopt when it has no space.
std::optional<string_view> last_word(string_view line) {
    const size_t sp = rfind_byte(line, ' ');
    if (sp == npos) return std::nullopt;
    return tail(line, sp + 1);
}

// ---------------------------------------------------------------------------------------------
// Header: the start, table, dealer and count lines
// ---------------------------------------------------------------------------------------------

// "Start hand: Mon Jan 06 08:52:00 CET 2014": the start time in UTC (the written time for a zone
// not known), kept in `start_utc` only: the native layout has never carried an OnGame date.
// A line of another shape leaves it 0.
void read_start_line(string_view line, Header& header) {
    static constexpr string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    static constexpr string_view kStart = "Start hand: ";
    if (!starts(line, kStart)) return;
    // Weekday, month, day, time, zone, year: six words.
    string_view words[6];
    size_t from = kStart.size();
    for (string_view& word : words) {
        const size_t space = find_byte(line, ' ', from);
        word = slice(line, from, space == npos ? line.size() : space);
        from = space == npos ? line.size() : space + 1;
    }
    const size_t month = words[1].size() == 3 ? find_str(kMonths, words[1]) : npos;
    const auto day = read_integer(words[2]);
    const auto year = read_integer(words[5]);
    const string_view time = words[3];
    if (month == npos || month % 3 != 0 || !day || !year || time.size() != 8) return;
    const auto hour = read_integer(time.substr(0, 2));
    const auto minute = read_integer(time.substr(3, 2));
    const auto second = read_integer(time.substr(6, 2));
    if (!hour || !minute || !second || year->value < 2000 || year->value > 2063) return;
    const PackedDate written = pack_date(year->value, month / 3 + 1, day->value, hour->value,
                                         minute->value, second->value);
    const TimeZone named = zone_named(words[4]);
    header.start_utc = utc_start(written, named);
    header.start_zoned = named.kind != TimeZone::Kind::Unknown;
}

// ---------------------------------------------------------------------------------------------
// The table, dealer and count lines
// ---------------------------------------------------------------------------------------------

// The stud game whose name ends at `stud`, the "_STUD" of a table line: "SEVEN_CARD_STUD",
// "SEVEN_CARD_STUD_HI_LO", "FIVE_CARD_STUD".
GameType stud_game(string_view line, size_t stud) {
    if (stud >= 9 && slice(line, stud - 9, stud) == "FIVE_CARD") return GameType::FiveCardStud;
    return starts(rest(line, stud + 5), "_HI_LO") ? GameType::SevenCardStudHiLo
                                                  : GameType::SevenCardStud;
}

// The limit that opens the game's parenthesis after the table number: "(LIMIT ", "(POT_LIMIT ",
// "(NO_LIMIT ".
BetType limit_of(string_view line, size_t from) {
    const size_t open = find_byte(line, '(', from);
    const string_view words = open == npos ? string_view() : rest(line, open + 1);
    if (starts(words, "POT_LIMIT")) return BetType::PotLimit;
    if (starts(words, "NO_LIMIT")) return BetType::NoLimit;
    return BetType::Limit;
}

// Reads the table, dealer and count lines; an empty reason when they were read. The current line
// is then the first seat line and `sign` holds the hand's currency sign.
string_view parse_table_lines(Parser& p, Header& header, Sign& sign) {
    HandStore& store = p.store();

    // The table line: "Table: <name> [<number>] (<game> $0.50/$1, Real money)".
    string_view line = p.line();
    if (p.at_end()) fault_missing("table line");
    header.game_type = GameType::HoldEm;
    static constexpr string_view kTable = "Table: ";
    if (line.size() < kTable.size()) fault_line("unrecognised table line", line);
    // The name runs from byte 7 to the space before the table number's '['. A name may itself
    // begin with a bracketed tag ("[SPEED] Dallas"), so a '[' at byte 7 belongs to the name.
    const size_t open =
        line.size() > kTable.size() + 1 ? find_byte(line, '[', kTable.size() + 1) : npos;
    if (open == npos) return "table line without a table number";
    header.table_name = store.push_text(cut_text(line, kTable.size(), open - 1));
    // The game after the table number ("(LIMIT FIVE_CARD_DRAW $1/$2, ...", "(LIMIT
    // SEVEN_CARD_STUD $1/$2, ante: $0.10, ..."); Hold'em and Omaha keep the header's game.
    if (find_str(line, "FIVE_CARD_DRAW", open) != npos)
        header.game_type = GameType::FiveCardDraw;
    else if (const size_t stud = find_str(line, "_STUD", open); stud != npos)
        header.game_type = stud_game(line, stud);
    if (is_boardless(header.game_type)) header.bet_type = limit_of(line, open);

    const size_t slash = rfind_byte(line, '/');
    if (slash == npos) return "table line without stakes";
    const string_view after_slash = tail(line, slash + 1);
    // Stakes without a sign: a tournament's chips ("10/20, TC"), or a skin that writes its
    // currency on the rake line only ("0.50/1, Real money"; read with the summary). Every amount
    // of the hand then stands without a sign.
    const auto symbol = currency_symbol(after_slash);
    const size_t sign_len = symbol ? symbol->len : 0;
    sign = symbol ? Sign{symbol->sign, slice(after_slash, 0, sign_len)} : Sign{};
    header.currency = sign.code;
    const auto big = read_amount(tail(after_slash, sign_len));
    if (!big) fault_missing("big blind", line);
    header.big_blind = big->value;
    const auto small = amount_after_last(slice(line, 0, slash), sign.code);
    if (!small) fault_missing("small blind", line);
    header.small_blind = small->value;
    p.next_line();

    // A history saved by a logged-in player names that player on a line of its own here
    // ("User: Hero"); the player's own cards follow in the preflop.
    if (starts(p.line(), "User: ")) p.next_line();

    // The dealer line: "Button: seat 8"; a last word beginning with 'R' means no dealer.
    line = p.line();
    if (p.at_end()) fault_missing("dealer line");
    const auto dealer = last_word(line);
    if (!dealer) return "dealer line without a seat";
    if (!dealer->empty() && dealer->front() == 'R') {
        header.button_seat = kNone8;
    } else {
        const size_t n = numeric_run_len(*dealer);
        if (n == 0) return "dealer line without a seat";
        header.button_seat = static_cast<std::uint8_t>(parse_grouped_integer(slice(*dealer, 0, n)));
    }
    p.next_line();

    // The count line: "Players in round: 6", or with the table's size after the number of
    // players dealt in: "Players in round: 3 (5)". The last word is what is kept.
    line = p.line();
    if (p.at_end()) fault_missing("player count line");
    const auto count = last_word(line);
    if (!count) return "player count line without a number";
    string_view number = *count;
    if (!number.empty() && number.front() == '(') {
        // Only "(<digits>)": the number must fill the parentheses.
        if (number.size() < 3 || number.back() != ')') return "player count line without a number";
        number = slice(number, 1, number.size() - 1);
        if (numeric_run_len(number) != number.size()) return "player count line without a number";
    }
    const size_t n = numeric_run_len(number);
    if (n == 0) return "player count line without a number";
    header.max_players = static_cast<std::uint8_t>(parse_grouped_integer(slice(number, 0, n)));
    p.next_line();
    return {};
}

// ---------------------------------------------------------------------------------------------
// Seats, blinds and actions
// ---------------------------------------------------------------------------------------------

// One seat line, "Seat 3: Bob ($1,000.00)". False when the hand cannot be read.
bool parse_seat_line(HandBuilder& b, const Sign& sign) {
    const string_view line = b.parser().line();
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;

    const string_view digits =
        slice(line, seat_line->seat_start, seat_line->seat_start + seat_line->seat_len);
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

    b.seat_player(cut_name(line, seat_line->name), static_cast<std::uint8_t>(seat), chips->value);
    return true;
}

// One blind line: "Bob posts big blind ($1)" or "Al posts small blind ($0.50)"; in a tournament
// or stud hand (`antes`) also an ante, "Al posts ante 20", "Al posts ante $0.10".
Action parse_blind_line(Parser& p, const Sign& sign, bool antes) {
    static constexpr string_view kAnte = " posts ante ";
    const string_view line = p.line();
    const auto amount = amount_after_last(line, sign.code);
    if (!amount) fault_missing("blind amount", line);
    if (const size_t ante = antes ? find_str(line, kAnte) : npos; ante != npos)
        return Action::with_amount(ActionType::Ante, p.find_player(cut_name(line, 0, ante)),
                                   amount->value);
    const size_t s = amount->sign_at;
    // The kind is told by the letter before " blind (": 'g' (big), 'l' (small), 'd' (dead).
    static constexpr string_view kBlind = " blind (";
    if (s < kBlind.size() + 1) fault_missing("blind kind", line);
    ActionType type;
    string_view name;
    switch (byte_at(line, s - kBlind.size() - 1)) {
        case 'g':
            type = ActionType::BigBlind;
            name = name_before(line, s, " posts big blind (");
            break;
        case 'l':
            type = ActionType::SmallBlind;
            name = name_before(line, s, " posts small blind (");
            break;
        case 'd':  // a missed small blind paid on coming back
            type = ActionType::DeadBlind;
            name = name_before(line, s, " posts dead blind (");
            break;
        default: fault_unreachable();
    }
    return Action::with_amount(type, p.find_player(name), amount->value);
}

// One action line of a betting round; nullopt when the line is not an action.
std::optional<Action> parse_action_line(Parser& p, const Sign& sign) {
    const string_view line = p.line();
    // The whole phrase is compared: a draw's "Player0 changed 2 cards" ends in "ds" too, and
    // would be a fold by a player named "Player0 changed 2".
    static constexpr Ending kFolds(" folds");
    static constexpr Ending kChecks(" checks");
    if (kFolds.matches(line))
        return Action::make(ActionType::Fold, p.player_id(kFolds.name(line)), kNoCards);
    if (kChecks.matches(line))
        return Action::make(ActionType::Check, p.player_id(kChecks.name(line)), kNoPayload);
    if (line.empty()) return std::nullopt;

    // All-in lines end "[all in]" (the space after it is already gone).
    const bool all_in = line.back() == ']';
    size_t s = npos;
    if (!sign.bytes.empty()) {
        s = find_str(line, sign.bytes);
    } else {
        // No sign to find: the amount follows the verb, the last one in the line.
        for (const string_view verb :
             {string_view(" raises "), string_view(" bets "), string_view(" calls ")}) {
            const size_t v = rfind_str(line, verb);
            if (v != npos && (s == npos || v + verb.size() > s)) s = v + verb.size();
        }
    }
    if (s == npos) return std::nullopt;
    const auto amount = read_amount(tail(line, s + sign.bytes.size()));
    if (!amount) return std::nullopt;
    if (s < 3) return std::nullopt;

    // The verb before the amount, told by its last letter but one.
    ActionType type;
    string_view verb;
    switch (byte_at(line, s - 3)) {
        case 'e':  // "<name> raises $2.50 to $3.00"
            type = all_in ? ActionType::RaiseAllIn : ActionType::Raise;
            verb = " raises ";
            break;
        case 't':  // "<name> bets $4.00"
            type = all_in ? ActionType::BetAllIn : ActionType::Bet;
            verb = " bets ";
            break;
        case 'l':  // "<name> calls $1.50"
            type = all_in ? ActionType::CallAllIn : ActionType::Call;
            verb = " calls ";
            break;
        default: return std::nullopt;
    }
    const string_view name = name_before(line, s, verb);
    return Action::with_amount(type, p.find_player(name), amount->value);
}

constexpr string_view kDealingTo = "Dealing to ";

// A line "<words><name>: [<cards>]" ("Dealing to Hero: [Th, 3d]", "New hand for Hero: [As, 7c,
// Jh, Ac, Jd]"): the name and the text between the brackets; nullopt when the line is not written
// that way (no ':' before the cards, or cut inside them).
struct NamedCards {
    string_view name, cards;
};
std::optional<NamedCards> named_cards(string_view line, size_t after) {
    const size_t open = rfind_byte(line, '[');
    if (open == npos || open < after || line.back() != ']') return std::nullopt;
    const size_t colon = rfind_byte(slice(line, after, open), ':');
    if (colon == npos) return std::nullopt;
    return NamedCards{cut_name(line, after, after + colon), slice(line, open + 1, line.size() - 1)};
}

// "Dealing to Hero: [Th, 3d]": the player's own hole cards. nullopt when the line is not
// written that way.
std::optional<Action> parse_dealt_line(HandBuilder& b) {
    const auto dealt = named_cards(b.parser().line(), kDealingTo.size());
    if (!dealt) return std::nullopt;
    // The cards are written "Th, 3d": the card reader leaves the ',' after each suit unread.
    const Action action =
        b.parser().make_card_action(dealt->name, ActionType::Dealt, parse_cards(dealt->cards));
    b.dealt_cards_to(action.player_id());
    return action;
}

// A preflop line: "Dealing to" is the player's own hole cards, any other an action line.
string_view preflop_line(HandBuilder& b, const Sign& sign) {
    if (starts(b.parser().line(), kDealingTo)) {
        const auto action = parse_dealt_line(b);
        if (!action) return "dealing line without cards";
        b.push(*action);
        return {};
    }
    const auto action = parse_action_line(b.parser(), sign);
    if (!action) return kUnrecognisedAction;
    b.push(*action);
    return {};
}

// ---------------------------------------------------------------------------------------------
// Stud and draw
// ---------------------------------------------------------------------------------------------

// The hand that a draw game's "Dealing to" line last showed, and whose it was.
struct Held {
    std::uint8_t player = kNone8;
    CardSet cards;
};

bool holds(const CardSet& set, Card c) noexcept {
    for (std::uint8_t i = 0; i < set.count; ++i)
        if (set.cards[i] == c) return true;
    return false;
}

// The cards of `a` that `b` does not hold.
CardSet less(const CardSet& a, const CardSet& b) {
    CardSet out;
    for (std::uint8_t i = 0; i < a.count; ++i)
        if (!holds(b, a.cards[i])) out.push(a.cards[i]);
    return out;
}

// "New hand for Hero: [As, 7c, Jh, Ac, Jd]" after a draw: the new cards dealt (Dealt), and, where
// no line of the round wrote the player's draw, the cards thrown away (Discard; StandPat for
// none), told by the hand held before.
bool new_hand_line(HandBuilder& b, string_view line, Held& held) {
    static constexpr string_view kNewHand = "New hand for ";
    const auto shown = named_cards(line, kNewHand.size());
    if (!shown) return false;
    Parser& p = b.parser();
    const CardSet cards = parse_cards(shown->cards);
    const std::uint8_t id = p.find_player(shown->name);
    if (id == held.player) {
        bool drawn = false;
        const auto& actions = b.store().actions;
        for (std::size_t i = b.run_start(); i < actions.size(); ++i) {
            const ActionType t = actions[i].type();
            drawn =
                drawn ||
                (actions[i].player_id() == id &&
                 (t == ActionType::Discard || t == ActionType::Draw || t == ActionType::StandPat));
        }
        const CardSet thrown = less(held.cards, cards);
        if (!drawn && thrown.count == 0)
            b.push(Action::make(ActionType::StandPat, id, kNoPayload));
        else if (!drawn)
            b.push(Action::make(ActionType::Discard, id, p.store().push_card_set(thrown)));
        const CardSet added = less(cards, held.cards);
        if (added.count > 0)
            b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(added)));
    } else {
        b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(cards)));
    }
    held = Held{id, cards};
    return true;
}

// A line of stud's and the draw game's rounds that no flop game's round holds: the cards dealt
// ("Dealing to Bob: [-, -, 7d]" on a stud street, "Dealing to Hero: [Qs, 8c, 5h, Th, 5s]" before
// a draw), a bring-in ("Al bring in $0.25"; "Al big bring in $1" opens for a whole bet: a
// completion), a draw ("Bob changed 2 cards", "New hand for Hero: [...]") or a player standing
// pat. False for any other line.
bool boardless_line(HandBuilder& b, const Sign& sign, string_view line, Round round, Held& held) {
    static constexpr string_view kBringIn = " bring in ", kBig = " big", kSmall = " small",
                                 kChanged = " changed ", kStandsPat = " stands pat";
    Parser& p = b.parser();
    const GameType game = b.header().game_type;
    if (starts(line, kDealingTo)) {
        if (!is_stud(game)) {
            if (round != Round::Preflop) return false;
            const auto a = parse_dealt_line(b);
            if (!a) return false;
            b.push(*a);
            held = Held{a->player_id(), p.store().card_sets.back()};
            return true;
        }
        const auto dealt = named_cards(line, kDealingTo.size());
        if (!dealt) return false;
        push_stud_cards(b, dealt->name, shown_cards(dealt->cards), round == Round::Preflop,
                        round == Round::Seventh);
        return true;
    }
    if (const size_t at = find_str(line, kBringIn); at != npos) {
        const auto amount = amount_after_last(line, sign.code);
        if (!amount) fault_missing("amount", line);
        const string_view before = line.substr(0, at);
        const bool big = ends(before, kBig);
        const size_t name_end = big                    ? at - kBig.size()
                                : ends(before, kSmall) ? at - kSmall.size()
                                                       : at;
        b.push(p.make_action(cut_name(line, 0, name_end),
                             big ? ActionType::Complete : ActionType::BringIn, amount->value));
        return true;
    }
    if (const size_t at = find_str(line, kChanged); at != npos) {
        const auto a = draw_count(p, cut_name(line, 0, at), rest(line, at + kChanged.size()), line);
        if (a) b.push(*a);
        return a.has_value();
    }
    if (ends(line, kStandsPat)) {
        b.push(Action::make(ActionType::StandPat,
                            p.find_player(cut_name(line, 0, line.size() - kStandsPat.size())),
                            kNoPayload));
        return true;
    }
    return new_hand_line(b, line, held);
}

// ---------------------------------------------------------------------------------------------
// Streets and summary
// ---------------------------------------------------------------------------------------------

// "--- Dealing flop [6d, Kd, 8c]"; advances past the line. A board whose bracket is not closed
// (a line cut off in the middle) cannot be read: nullopt.
std::optional<StreetLine> read_dealing_line(Parser& p) {
    const string_view line = p.line();
    // The street's first letter follows "--- Dealing ".
    static constexpr string_view kDealing = "--- Dealing ";
    if (line.size() <= kDealing.size()) fault_line("unrecognised street line", line);
    StreetKind kind;
    switch (byte_at(line, kDealing.size())) {
        case 'f': kind = StreetKind::Flop; break;
        case 't': kind = StreetKind::Turn; break;
        case 'r': kind = StreetKind::River; break;
        default: fault_unreachable();
    }
    const size_t open = rfind_byte(line, '[');
    if (open == npos) fault_missing("board cards", line);
    if (line.back() != ']') return std::nullopt;
    const CardSet cards = parse_cards(slice(line, open + 1, line.size() - 1));
    p.next_line();
    return StreetLine{kind, cards};
}

// The rounds after the preflop: each begins at its "--- Dealing" line and ends at the next
// section line; the streets end at the bare "---".
struct Streets {
    Parser& p;
    const Sign& sign;
    // The bare "---" before the summary, read past. A hand whose players are all in before the
    // river closes the betting with a bare "---" first; the boards left follow it.
    bool at_summary(string_view line) const {
        static constexpr string_view kDealing = "--- Dealing ";
        if (line != kSection) return false;
        p.next_line();
        return !starts(p.line(), kDealing);
    }
    static std::optional<StreetLine> street_line(Parser& p) { return read_dealing_line(p); }
    static bool round_ends(string_view line) noexcept { return is_section_line(line); }
    bool round_line(HandBuilder& b, string_view) const {
        const auto action = parse_action_line(b.parser(), sign);
        if (action) b.push(*action);
        return action.has_value();
    }
};

// The rounds after the first of stud and the draw game: each begins after a bare "---" that no
// "Summary:" line follows, stud's at its street line ("Dealing 4th street", "Dealing river"), a
// draw's at once; the streets end at the "Summary:" line.
struct BoardlessStreets {
    Parser& p;
    const Sign& sign;
    GameType game;
    Held& held;
    mutable std::uint8_t closed;  // streets closed
    mutable Round round = Round::Preflop;
    bool at_summary(string_view line) const {
        if (line != kSection) return false;
        p.next_line();
        return p.at_end() || starts(p.line(), "Summary:");
    }
    std::optional<StreetLine> street_line(Parser& q) const {
        static constexpr string_view kDealing = "Dealing ";
        static constexpr StreetKind kKinds[] = {StreetKind::Flop, StreetKind::Turn,
                                                StreetKind::River, StreetKind::Seventh};
        if (closed >= std::size(kKinds)) fault_line("unrecognised street line", q.line());
        StreetKind kind = kKinds[closed];
        if (is_stud(game)) {
            string_view line = q.line();
            if (starts(line, "--- ")) line.remove_prefix(4);
            if (!starts(line, kDealing)) fault_line("unrecognised street line", q.line());
            switch (byte_at(line, kDealing.size())) {
                case '4': kind = StreetKind::Flop; break;
                case '5': kind = StreetKind::Turn; break;
                case '6': kind = StreetKind::River; break;
                case 'r': kind = StreetKind::Seventh; break;
                default: fault_line("unrecognised street line", q.line());
            }
            q.next_line();
        } else if (kind == StreetKind::Seventh) {
            fault_line("unrecognised street line", q.line());
        }
        ++closed;
        round = round_of(kind);
        return StreetLine{kind, CardSet::empty()};
    }
    static bool round_ends(string_view line) noexcept { return is_section_line(line); }
    bool round_line(HandBuilder& b, string_view line) const {
        if (boardless_line(b, sign, line, round, held)) return true;
        const auto action = parse_action_line(b.parser(), sign);
        if (action) b.push(*action);
        return action.has_value();
    }
};

// A summary line that ends with the shown cards and then the hand they make, "[5s, 5h]
// (TWO_PAIR SEVEN, FIVE)", up to and including the cards' ']'; any other line as it is.
string_view without_hand_rank(string_view line) {
    if (line.empty() || line.back() != ')') return line;
    const size_t open = rfind_byte(line, '(');
    if (open == npos || open < 2) return line;
    if (byte_at(line, open - 1) != ' ' || byte_at(line, open - 2) != ']') return line;
    return slice(line, 0, open - 1);
}

// The summary after its pot lines: the shown cards, up to and past the '*' line; the rake is
// what the pots hold beyond the wins.
string_view finish_summary(HandBuilder& b, PotInfo pots, float won) {
    Parser& p = b.parser();
    p.skip_empty_lines();
    for (;;) {
        const string_view l = p.line();
        if (p.at_end()) return kTextEndsInsideHand;
        if (!l.empty() && l.front() == '*') break;
        // "Seat 8: fyabcf ($350.06), net: +$113.91, [Kc, Kh]"; histories of a logged-in player
        // name the hand after the cards: "..., [5s, 5h] (TWO_PAIR SEVEN, FIVE)".
        const string_view shown = without_hand_rank(l);
        if (!shown.empty() && shown.back() == ']') {
            const size_t bracket = rfind_byte(shown, '[');
            if (bracket == npos) fault_missing("shown cards", l);
            const CardSet cards = parse_cards(slice(shown, bracket + 1, shown.size() - 1));
            const auto seat_line = read_seat_line(shown);
            if (!seat_line) return "summary show line without a seat";
            b.push(p.make_card_action(cut_name(l, seat_line->name), ActionType::Show, cards));
        }
        p.next_line();
        p.skip_empty_lines();
    }
    p.next_line();  // past the '*' line

    pots.rake = pots.total - won;
    b.close_summary(pots);
    return {};
}

// The pot lines of a hand whose amounts have no sign (a tournament, the skin that writes its
// currency on the rake line only): "Main pot: 6010 won by Al (6010)", then "Side pot 1: 330 won
// by Al (165 High), Bo (165 Low)". Every winner of every pot is pushed (a low half is game 1)
// and its win added to `won`; the pots add up to the total, kept as the main pot (a winner
// record names no pot, so the side pots could not be given their winners). The current line is
// then the one after them; false when there was none.
bool read_unsigned_pots(HandBuilder& b, PotInfo& pots, float& won) {
    static constexpr string_view kMainPot = "Main pot: ", kSidePot = "Side pot ",
                                 kWonBy = " won by ", kLow = " Low)";
    Parser& p = b.parser();
    for (bool any = false;; any = true) {
        const string_view line = p.line();
        if (p.at_end() || !(starts(line, kMainPot) || starts(line, kSidePot))) return any;
        const size_t colon = find_lit(line, ": ");
        const size_t by = find_str(line, kWonBy);
        const auto total = colon == npos ? std::nullopt : read_amount(rest(line, colon + 2));
        if (!total || by == npos) fault_missing("pot amount", line);
        pots.total += total->value;
        pots.main = pots.total;
        // "<name> (<amount>[ High| Low])", joined by ", ": a name ends at the " (" before a digit.
        size_t at = by + kWonBy.size();
        while (at < line.size()) {
            size_t open = find_lit(line, " (", at);
            while (open != npos &&
                   !(byte_at(line, open + 2) >= '0' && byte_at(line, open + 2) <= '9'))
                open = find_lit(line, " (", open + 1);
            const size_t close = open == npos ? npos : find_byte(line, ')', open);
            if (close == npos) fault_missing("winner amount", line);
            const auto amount = read_amount(slice(line, open + 2, close));
            if (!amount) fault_missing("winner amount", line);
            const std::uint8_t game =
                close + 1 >= kLow.size() && starts(rest(line, close + 1 - kLow.size()), kLow) ? 1
                                                                                              : 0;
            const std::uint8_t slot = p.player_id(cut_name(line, at, open));
            b.store().winners.push_back(Winner{slot, amount->value, game});
            won += amount->value;
            at = close + 3;  // past "), "
        }
        p.next_line();
    }
}

// From the line after the "---" that closes the betting to the '*' line that closes the hand; an
// empty reason when it was read.
string_view parse_summary(HandBuilder& b, const Sign& sign) {
    static constexpr string_view kMainPot = "Main pot: ";
    static constexpr string_view kWonBy = " won by ";
    static constexpr string_view kRakeTaken = "Rake taken: ";
    Parser& p = b.parser();
    p.next_line();  // "Summary:" (the "---" before it is read)
    if (p.at_end()) return kTextEndsInsideHand;
    PotInfo pots;
    float won_total = 0.0f;
    if (sign.bytes.empty()) {
        if (!read_unsigned_pots(b, pots, won_total)) return "summary without a pot line";
        // "Rake taken: $0.15": a cash table's only sign, its currency.
        if (!b.header().is_tournament() && starts(p.line(), kRakeTaken))
            if (const auto symbol = currency_symbol(rest(p.line(), kRakeTaken.size())))
                b.header().currency = symbol->sign;
        return finish_summary(b, pots, won_total);
    }

    // The pot line: "Main pot: $229.82 won by fyabcf ($226.82)".
    const string_view line = p.line();
    const size_t total_at = kMainPot.size() + sign.bytes.size();
    const auto total = read_amount(rest(line, total_at));
    if (!total) fault_missing("pot amount", line);
    const size_t open = rfind_byte(line, '(');
    if (open == npos) fault_missing("winner amount", line);
    const size_t won_at = open + 1 + sign.bytes.size();
    if (won_at > line.size()) fault_missing("winner amount", line);
    const auto won = read_amount(tail(line, won_at));
    if (!won) fault_missing("winner amount", line);
    // " won by " lies between the total and the name, which ends at the first " (" with the sign
    // after it: a split pot names every winner ("won by Al ($354.50), Bo ($354.50)"), and the
    // first is the one kept.
    const size_t name_at = total_at + total->len + kWonBy.size();
    size_t name_end = find_lit(line, " (", name_at);
    while (name_end != npos && !starts(rest(line, name_end + 2), sign.bytes))
        name_end = find_lit(line, " (", name_end + 1);
    if (name_end == npos) fault_missing("winner name", line);
    const std::uint8_t slot = p.player_id(cut_name(line, name_at, name_end));
    b.store().winners.push_back(Winner{slot, won->value, 0});
    p.next_line();
    pots.total = total->value;
    pots.main = total->value;
    return finish_summary(b, pots, won->value);
}

// The rounds of stud and the draw game, from the first line after "Dealing pocket cards" to the
// "Summary:" line; an empty reason when they were read. A draw hand may write its draw among the
// first round's lines, without a "---" before it: the round of the draw begins at its first.
[[gnu::cold]] string_view read_boardless_rounds(HandBuilder& b, const Sign& sign) {
    Parser& p = b.parser();
    const GameType game = b.header().game_type;
    Held held;
    const string_view first = read_round(p, is_section_line, [&](string_view line) {
        if (boardless_line(b, sign, line, Round::Preflop, held)) return string_view();
        const auto action = parse_action_line(p, sign);
        if (!action) return kUnrecognisedAction;
        b.push(*action);
        return string_view();
    });
    if (!first.empty()) return first;
    std::uint8_t closed = 0;
    if (is_stud(game))
        b.close_preflop();
    else
        closed = close_draw_preflop(b) ? 1 : 0;
    return read_streets(b, BoardlessStreets{p, sign, game, held, closed});
}

// ---------------------------------------------------------------------------------------------
// One hand
// ---------------------------------------------------------------------------------------------

// The tournament part of a hand line: "(TOURNAMENT: "Freeroll tournois live", R-274-73, buy-in:
// €0)", or "(TOURNAMENT: )" when the history names none. Pushes the hand's record: the name, the
// number, and the buy-in (a freeroll's is 0).
void read_tournament(HandBuilder& b, string_view line, size_t at) {
    static constexpr string_view kBuyIn = ", buy-in: ";
    Tournament t;
    size_t from = at;
    if (byte_at(line, from) == '"') {
        const size_t quote = find_byte(line, '"', from + 1);
        if (quote != npos) t.name = b.store().push_text(cut_text(line, from + 1, quote));
        from = quote == npos ? line.size() : quote + 1;
        if (starts(rest(line, from), ", ")) from += 2;
    }
    if (const size_t buy_in = find_str(line, kBuyIn, from); buy_in != npos) {
        t.id = b.store().push_text(cut_text(line, from, buy_in));
        const string_view money = rest(line, buy_in + kBuyIn.size());
        const auto symbol = currency_symbol(money);
        if (const auto amount = read_amount(rest(money, symbol ? symbol->len : 0))) {
            t.buy_in_kind = amount->value == 0.0f ? BuyInKind::Freeroll : BuyInKind::Money;
            t.buy_in = amount->value;
            if (symbol) t.currency = symbol->sign;
        }
    }
    b.push_tournament(t);
}

HandOutcome read_hand(HandBuilder& b) {
    Parser& p = b.parser();
    HandStore& store = p.store();
    Header& header = b.header();
    header.site = Site::OnGame;
    header.game_type = GameType::HoldEm;
    header.bet_type = BetType::NoLimit;

    // The hand line: "***** History for hand R5-361850810-476 *****". The id starts after the
    // "R5-" (or "T5-") prefix and runs to the first space after it.
    static constexpr string_view kHandLine = "***** History for hand R5-";
    const string_view hand_line = p.line();
    if (hand_line.size() < 37) fault_line(kHandLineWithoutId, hand_line);  // the shortest one
    const size_t id_end = find_byte(hand_line, ' ', kHandLine.size());
    header.id = store.push_text(
        cut_text(hand_line, kHandLine.size(), id_end == npos ? hand_line.size() : id_end));
    static constexpr string_view kTournament = "(TOURNAMENT: ";
    if (const size_t t = find_str(hand_line, kTournament); t != npos)
        read_tournament(b, hand_line, t + kTournament.size());
    p.next_line();
    if (p.at_end()) fault_missing("start line");
    read_start_line(p.line(), header);
    p.next_line();

    Sign sign;
    if (const string_view reason = parse_table_lines(p, header, sign); !reason.empty())
        return reject(reason);

    while (starts(p.line(), "Seat ")) {
        if (!parse_seat_line(b, sign)) return reject("seat line without chips");
        p.next_line();
    }

    const bool stud = is_stud(header.game_type);
    if (stud) header.button_seat = kNone8;  // stud has no button
    while (!is_section_line(p.line())) {
        const Action blind = parse_blind_line(p, sign, header.is_tournament() || stud);
        p.next_line();
        b.push(blind);
    }
    b.close_pre_deal();
    if (header.is_tournament()) header.ante = largest_ante(store, header.actions);

    p.next_line();  // "---"
    p.next_line();  // "Dealing pocket cards"
    if (is_boardless(header.game_type)) {
        if (const string_view reason = read_boardless_rounds(b, sign); !reason.empty())
            return reject(reason);
    } else {
        const string_view preflop =
            read_round(p, is_section_line, [&](string_view) { return preflop_line(b, sign); });
        if (!preflop.empty()) return reject(preflop);
        b.close_preflop();
        if (const string_view reason = read_streets(b, Streets{p, sign}); !reason.empty())
            return reject(reason);
    }

    if (const string_view reason = parse_summary(b, sign); !reason.empty()) return reject(reason);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, kHandStart, errors, rejected, read_hand);
}

}  // namespace hs::ongame
