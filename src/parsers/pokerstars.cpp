// PokerStars hand histories and the Pluribus logs written in the same layout.
//
// A hand is read line by line through the Parser: the hand line, the table line, the seat
// lines, the pre-deal lines, the preflop round, one round per street line and the summary.
// Every line is classified by its first or last bytes and at most a few searches; nothing is
// allocated beyond the store's own lists. A hand that cannot be read is dropped and the driver
// resumes at the next hand line; a required part that is missing is a Fault.
#include "parsers/pokerstars.hpp"

#include <charconv>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/model.hpp"
#include "parsers/parser.hpp"
#include "simd/player_table.hpp"

namespace hs::pokerstars {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// Small byte helpers
// ---------------------------------------------------------------------------------------------

inline bool starts(string_view s, string_view lit) noexcept {
    return s.size() >= lit.size() && std::memcmp(s.data(), lit.data(), lit.size()) == 0;
}
inline bool ends(string_view s, string_view lit) noexcept {
    return s.size() >= lit.size() &&
           std::memcmp(s.data() + s.size() - lit.size(), lit.data(), lit.size()) == 0;
}
// The text from `from` on, or nothing when `from` lies past the end (an empty view that still
// points into the line, so that the C library searches never see a null pointer).
inline string_view rest(string_view s, size_t from) noexcept {
    return s.substr(from < s.size() ? from : s.size());
}
inline bool is_digit(unsigned char c) noexcept { return c >= '0' && c <= '9'; }

// First occurrence of a short literal at or after `from` (npos when absent). Lines are short, so a
// scan for one byte of the literal (the first one that is not a space) and a compare of the rest
// of a length known here beats a general substring search.
template <size_t N>
size_t find_lit(string_view s, const char (&lit)[N], size_t from = 0) noexcept {
    constexpr size_t len = N - 1;
    static_assert(len >= 2);
    const size_t anchor = lit[0] == ' ' ? 1 : 0;
    const size_t n = s.size();
    if (from > n || n - from < len) return npos;
    const char* const base = s.data();
    const size_t last = n - len;  // last start of a match
    for (size_t at = from;;) {
        const size_t hit = find_byte(s.substr(0, last + anchor + 1), lit[anchor], at + anchor);
        if (hit == npos) return npos;
        const size_t start = hit - anchor;
        if (std::memcmp(base + start, lit, len) == 0) return start;
        at = start + 1;
    }
}

// Byte length of the UTF-8 character that begins at i (clamped to the text).
size_t char_len_at(string_view s, size_t i) noexcept {
    if (i >= s.size()) return 0;
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return n <= s.size() - i ? n : s.size() - i;
}

// The whole character that holds byte i (for messages that quote it).
string_view char_at(string_view s, size_t i) noexcept {
    while (i > 0 && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    return s.substr(i < s.size() ? i : s.size(), char_len_at(s, i));
}

// The longest prefix of `s` of at most `max` bytes that ends on a character boundary.
string_view cut_at_boundary(string_view s, size_t max) noexcept {
    if (s.size() <= max) return s;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

// A name cut from a line: empty names are a fault (no player can be keyed on them).
string_view name_of(string_view name, string_view line) {
    if (name.empty()) fault_missing("player name", line);
    return name;
}

// A summary name loses every trailing position note.
string_view strip_position_notes(string_view name) noexcept {
    for (;;) {
        if (name.empty() || name.back() != ')') return name;
        if (ends(name, " (button)")) name.remove_suffix(9);
        else if (ends(name, " (small blind)")) name.remove_suffix(14);
        else if (ends(name, " (big blind)")) name.remove_suffix(12);
        else return name;
    }
}

// ---------------------------------------------------------------------------------------------
// Per-hand state
// ---------------------------------------------------------------------------------------------

struct HandState {
    Header header;
    std::uint8_t hero = kNone8;
    unsigned dealt_with_cards = 0;
};

// ---------------------------------------------------------------------------------------------
// Hand line and table line
// ---------------------------------------------------------------------------------------------

enum class LineResult { Accepted, RejectedInPlace, RejectedMoved };

std::uint64_t date_piece(string_view piece, string_view line) {
    const auto v = read_integer(piece);
    if (!v) fault_missing("date", line);
    return v->value;
}

// The usual form, "2021/03/04 05:06:07" followed by a non-digit or the end, read at fixed
// places; nothing when the text has another form.
std::optional<PackedDate> fixed_date(string_view d) noexcept {
    static constexpr char kShape[] = "dddd/dd/dd dd:dd:dd";
    // After the seconds: the end, or an ASCII byte that is no digit (a character outside ASCII
    // could be a numeric one that the general reading takes into the seconds).
    if (d.size() < 19) return std::nullopt;
    if (d.size() > 19) {
        const auto after = static_cast<unsigned char>(d[19]);
        if (after >= 0x80 || is_digit(after)) return std::nullopt;
    }
    for (size_t i = 0; i < 19; ++i) {
        const auto c = static_cast<unsigned char>(d[i]);
        if (kShape[i] == 'd' ? !is_digit(c) : c != static_cast<unsigned char>(kShape[i]))
            return std::nullopt;
    }
    const auto num = [&](size_t at, size_t len) {
        std::uint64_t v = 0;
        for (size_t i = at; i < at + len; ++i) v = v * 10 + static_cast<unsigned>(d[i] - '0');
        return v;
    };
    return pack_date(num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2));
}

// Any other form: split at '/', '/', ' ', ':', ':' and read each piece's leading digits.
void general_date(Header& h, string_view date, string_view line) {
    const size_t s1 = find_byte(date, '/');
    const size_t s2 = s1 == npos ? npos : find_byte(date, '/', s1 + 1);
    const size_t s3 = s2 == npos ? npos : find_byte(date, ' ', s2 + 1);
    const size_t s4 = s3 == npos ? npos : find_byte(date, ':', s3 + 1);
    const size_t s5 = s4 == npos ? npos : find_byte(date, ':', s4 + 1);
    if (s5 == npos) fault_missing("date", line);
    h.start_date = pack_date(date_piece(date.substr(0, s1), line),
                             date_piece(slice(date, s1 + 1, s2), line),
                             date_piece(slice(date, s2 + 1, s3), line),
                             date_piece(slice(date, s3 + 1, s4), line),
                             date_piece(slice(date, s4 + 1, s5), line),
                             date_piece(date.substr(s5 + 1), line));
}

LineResult parse_hand_line(Parser& p, Header& h) {
    const string_view line = p.line();
    if (line.size() < 17) return LineResult::RejectedInPlace;
    // The id runs from the first '#' to the ':' that follows it.
    const size_t hash = find_byte(line, '#');
    if (hash == npos) return LineResult::RejectedInPlace;
    const size_t colon = find_byte(line, ':', hash + 1);
    if (colon == npos) return LineResult::RejectedInPlace;

    const size_t dash = rfind_byte(line, '-');
    if (dash == npos) fault_missing("'-' before the date", line);
    const size_t date_start = dash + 2;
    if (date_start <= colon) {
        p.next_line();
        return LineResult::RejectedMoved;
    }
    h.id = p.store().push_text(slice(line, hash + 1, colon));

    // Game and limit: the byte after the ':' is skipped, then any white space.
    size_t g = colon + 2;
    while (g < line.size()) {
        const size_t n = white_space_len(line.substr(g));
        if (n == 0) break;
        g += n;
    }
    if (g >= line.size()) fault_missing("game type", line);
    const char c = line[g];
    size_t limit_at;
    if (c == 'H') {
        h.game_type = GameType::HoldEm;
        limit_at = g + 8;
    } else if (c == 'O') {
        h.game_type = GameType::Omaha;
        limit_at = g + 6;
        if (limit_at < line.size() && line[limit_at] == 'H') {
            h.game_type = GameType::OmahaHiLo;
            limit_at = g + 12;
        }
    } else {
        const string_view ch = char_at(line, g);
        std::string msg = "Unexpected character '";
        msg.append(ch);
        msg += "' while parsing game type in '";
        msg.append(line.substr(static_cast<size_t>(ch.data() - line.data())));
        msg += '\'';
        fault_unreachable(msg);
    }
    switch (byte_at(line, limit_at)) {
        case 'N': h.bet_type = BetType::NoLimit; break;
        case 'L': h.bet_type = BetType::Limit; break;
        case 'P': h.bet_type = BetType::PotLimit; break;
        default: fault_unreachable();
    }

    // Date: year/month/day hour:minute:second, each piece read up to its first non-digit.
    const string_view date = rest(line, date_start);
    if (const auto packed = fixed_date(date)) {
        h.start_date = *packed;
    } else {
        general_date(h, date, line);
    }

    // Stakes: the last '(' before the date's '-'.
    const size_t open = rfind_byte(line.substr(0, dash), '(');
    if (open == npos) fault_missing("'(' before the stakes", line);
    string_view stakes = line.substr(open + 1);
    Currency cur = 0;
    if (!stakes.empty() && is_digit(static_cast<unsigned char>(stakes[0]))) {
        cur = 0;  // play money and the Pluribus logs: amounts without a sign
    } else if (const auto sign = currency_symbol(stakes)) {
        cur = sign->sign;
        stakes = stakes.substr(sign->len);
    } else {
        fault_missing("currency symbol", line);
    }
    h.currency = cur;
    const auto sb = read_decimal(stakes);
    if (!sb) fault_missing("small blind", line);
    h.small_blind = sb->value;
    const string_view after_sb = rest(stakes, sb->len + 1);
    const auto bb = decimal_after_first(after_sb, cur);
    if (!bb) fault_missing("big blind", line);
    h.big_blind = bb->value;
    const string_view after_bb = rest(after_sb, bb->end);
    if (starts(after_bb, " -")) {
        const auto cap = decimal_after_first(rest(after_bb, 3), cur);
        if (!cap) fault_missing("bet cap", line);
        h.bet_cap = cap->value;
    }
    p.next_line();
    return LineResult::Accepted;
}

bool parse_table_line(Parser& p, Header& h) {
    const string_view line = p.line();
    // The name runs from the first quote to the last one: a name may hold a quote itself
    // ("Isildur's PLO 50"), nothing after the name does.
    const size_t q1 = find_byte(line, '\'');
    if (q1 == npos) return false;
    const size_t q2 = rfind_byte(line, '\'');
    if (q2 == q1) return false;
    h.table_name = p.store().push_text(slice(line, q1 + 1, q2));
    const auto max = read_integer(rest(line, q2 + 2));
    if (!max) fault_missing("table size", line);
    h.max_players = static_cast<std::uint8_t>(max->value);
    // The button: the number after the first "Seat #" behind the table name.
    const size_t seat = find_lit(line, "Seat #", q2 + 1);
    if (seat == npos) fault_missing("button seat", line);
    const auto button = read_integer(rest(line, seat + 6));
    if (!button) fault_missing("button seat", line);
    h.dealer = static_cast<std::uint8_t>(button->value);
    p.next_line();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Seats and pre-deal lines
// ---------------------------------------------------------------------------------------------

bool parse_seat_line(Parser& p, Header& h) {
    const string_view line = p.line();
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;
    const string_view digits = slice(line, seat_line->seat_start,
                                     seat_line->seat_start + seat_line->seat_len);
    std::uint8_t seat = 0;
    const auto d0 = static_cast<unsigned char>(digits[0]);
    const auto d1 = static_cast<unsigned char>(digits.back());
    if (is_digit(d0) && is_digit(d1)) {  // one or two ASCII digits: at most 99
        seat = static_cast<std::uint8_t>(digits.size() == 1 ? d0 - '0'
                                                            : (d0 - '0') * 10 + (d1 - '0'));
    } else {
        const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seat);
        if (ec != std::errc{} || ptr != digits.data() + digits.size())
            fault_missing("seat number", line);
    }
    const size_t sign_len = h.currency < 0x80 ? (h.currency != 0) : utf8_len(h.currency);
    const auto chips = read_decimal(rest(line, seat_line->after_paren + sign_len));
    if (!chips) return false;
    const std::uint8_t id =
        p.add_seated_player(name_of(seat_line->name, line), seat, chips->value);
    p.next_line();
    if (seat == h.dealer) h.dealer = id;
    return true;
}

struct StatusEnding {
    string_view ending;
    size_t remove;
    ActionType type;
    std::uint32_t payload;
};
constexpr StatusEnding kStatusEndings[] = {
    {"s out", 10, ActionType::Sitout, kNoPayload},
    {"g out", 16, ActionType::Sitout, kNoPayload},
    {"med out", 14, ActionType::Leave, kNoPayload},
    {"s connected", 13, ActionType::Join, 253},
    {"s disconnected", 16, ActionType::Leave, kNoPayload},
    {"e disconnected", 33, ActionType::Leave, kNoPayload},
    {"g disconnected", 39, ActionType::Leave, kNoPayload},
    {"e table", 17, ActionType::Leave, kNoPayload},
    {"g to post", 47, ActionType::Leave, kNoPayload},
    {"e button", 41, ActionType::Join, 254},
    {"s returned", 13, ActionType::Join, 253},
};

std::optional<Action> status_line(Parser& p, string_view line) {
    // Every status ending ends in 't', 'd', 'e' or 'n'; only the endings with the line's last
    // byte are compared, in table order. Most lines end in a digit or another letter.
    if (line.empty()) return std::nullopt;
    static constexpr std::uint8_t kEndT[] = {0, 1, 2, 8};
    static constexpr std::uint8_t kEndD[] = {3, 4, 5, 6, 10};
    static constexpr std::uint8_t kEndE[] = {7};
    static constexpr std::uint8_t kEndN[] = {9};
    std::span<const std::uint8_t> rows;
    switch (line.back()) {
        case 't': rows = kEndT; break;
        case 'd': rows = kEndD; break;
        case 'e': rows = kEndE; break;
        case 'n': rows = kEndN; break;
        default: return std::nullopt;
    }
    for (const std::uint8_t i : rows) {
        const StatusEnding& e = kStatusEndings[i];
        if (!ends(line, e.ending)) continue;
        if (line.size() <= e.remove) fault_missing("player name", line);
        const std::uint8_t id = p.player_id(line.substr(0, line.size() - e.remove));
        return Action::make(e.type, id, e.payload);
    }
    return std::nullopt;
}

// Last byte is '"': a chat message.
Action chat_line(Parser& p, string_view line) {
    const size_t q = find_byte(line, '"');
    if (q < 7) fault_missing("player name", line);
    const std::uint8_t id = p.player_id(name_of(line.substr(0, q - 7), line));
    const string_view message =
        q + 1 < line.size() ? line.substr(q + 1, line.size() - 1 - (q + 1)) : line.substr(q, 0);
    const TextRef ref = p.store().push_text(cut_at_boundary(message, 255));
    return Action::make(ActionType::Say, id,
                        say_payload(ref.offset(), ref.length(), p.text_start()));
}

// "<name> joins the table at seat #<n>"
Action join_line(Parser& p, string_view line, size_t joins) {
    const std::uint8_t id = p.player_id(name_of(line.substr(0, joins), line));
    const size_t hash = rfind_byte(line, '#');
    const auto seat = hash == npos ? std::nullopt : read_integer(rest(line, hash + 1));
    if (!seat) fault_missing("seat number", line);
    p.player(id).seat = static_cast<std::uint8_t>(seat->value);
    return Action::make(ActionType::Join, id, static_cast<std::uint32_t>(seat->value));
}

std::optional<Action> parse_pre_deal_line(Parser& p, string_view line, Currency cur) {
    if (const size_t posts = find_lit(line, ": posts"); posts != npos) {
        const auto amount = decimal_after_last(line, cur);
        if (!amount) fault_missing("amount", line);
        const size_t kind_start = posts + 8;
        if (amount->sign_at < kind_start + 2) fault_missing("blind kind", line);
        const string_view kind = slice(line, kind_start, amount->sign_at - 1);
        ActionType type;
        if (kind.back() == 's') {
            type = ActionType::BigSmallBlind;
        } else {
            switch (kind.front()) {
                case 'b': type = ActionType::BigBlind; break;
                case 's': type = ActionType::SmallBlind; break;
                case 't': type = ActionType::Ante; break;
                default: {
                    std::string msg = "Unexpected character '";
                    msg.append(char_at(line, kind_start));
                    msg += "' in blind line: '";
                    msg.append(line);
                    msg += '\'';
                    fault_unreachable(msg);
                }
            }
        }
        return p.make_action(name_of(line.substr(0, posts), line), type, amount->value);
    }
    if (auto status = status_line(p, line)) return status;
    if (!line.empty() && line.back() == '"') return chat_line(p, line);
    if (const size_t joins = find_lit(line, " joins "); joins != npos)
        return join_line(p, line, joins);
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Betting rounds
// ---------------------------------------------------------------------------------------------

enum class StreetKind { Flop, Turn, River, Showdown };

struct StreetLine {
    StreetKind kind;
    CardSet cards;
};

// A board whose bracket is not closed (a hand cut off in the middle) cannot be read: nullopt.
std::optional<StreetLine> parse_street_line(Parser& p) {
    const string_view line = p.line();
    if (line.size() < 8) fault_missing("street name", line);
    const size_t k = find_lit(line, " *", 8);
    if (k == npos) fault_missing("street name", line);
    const char a = static_cast<char>(byte_at(line, k - 2));
    const char b = static_cast<char>(byte_at(line, k - 1));
    StreetLine s{StreetKind::Showdown, CardSet::empty()};
    if (a == 'O' && b == 'P') s.kind = StreetKind::Flop;
    else if (a == 'R' && b == 'N') s.kind = StreetKind::Turn;
    else if (a == 'E' && b == 'R') s.kind = StreetKind::River;
    else if (a == 'W' && b == 'N') s.kind = StreetKind::Showdown;
    else fault_unreachable();
    if (s.kind != StreetKind::Showdown) {
        const size_t open = rfind_byte(line, '[');
        if (open == npos) fault_missing("board cards", line);
        if (line.back() != ']') return std::nullopt;
        s.cards = parse_cards(slice(line, open + 1, line.size() - 1));
    }
    p.next_line();
    return s;
}

// Amount after the last sign of `text` and the name that ends 11 bytes before it
// ("<name> collected $1.20").
Action collect(Parser& p, string_view line, string_view text, ActionType type, Currency cur) {
    const auto amount = decimal_after_last(text, cur);
    if (!amount) fault_missing("amount", line);
    if (amount->sign_at < 11) fault_missing("player name", line);
    return p.make_action(name_of(line.substr(0, amount->sign_at - 11), line), type,
                         amount->value);
}

// Row 5: cards at the end of the line ("Alice: shows [Ah Kd]", "Alice: folds [7c 2d]").
Action cards_at_end(Parser& p, string_view line) {
    const size_t open = rfind_byte(line, '[');
    if (open == npos) fault_missing("'['", line);
    if (open < 8) fault_missing("player name", line);
    const CardSet cards = parse_cards(slice(line, open + 1, line.size() - 1));
    const ActionType type = byte_at(line, open - 6) == 's' ? ActionType::Show : ActionType::Fold;
    return p.make_card_action(name_of(line.substr(0, open - 8), line), type, cards);
}

// A collect line ends with one of the three pots it can name ("... collected $2 from pot",
// "... from main pot", "... from side pot"); a player whose name merely ends in "pot" (an
// uncalled bet returned to "windapot") is not one.
bool ends_with_pot(string_view line) noexcept {
    return ends(line, " from pot") || ends(line, " main pot") || ends(line, " side pot");
}
bool is_collect_line(string_view line) noexcept {
    return line.size() >= 3 && line.back() == 't' && ends_with_pot(line);
}
// The same with a numbered pot: "... from side pot-1", "... from side pot-2".
bool is_numbered_collect_line(string_view line) noexcept {
    const size_t n = line.size();
    return n >= 2 && (line[n - 1] == '1' || line[n - 1] == '2') && line[n - 2] == '-' &&
           ends_with_pot(line.substr(0, n - 2));
}

Action collect_pot(Parser& p, string_view line, Currency cur) {
    const size_t n = line.size();
    if (n < 5) fault_missing("pot", line);
    switch (line[n - 5]) {
        case 'e': return collect(p, line, slice(line, 0, n >= 14 ? n - 14 : 0),
                                 ActionType::CollectSidePot1, cur);
        case 'm': return collect(p, line, slice(line, 0, n >= 9 ? n - 9 : 0),
                                 ActionType::CollectMainPot, cur);
        case 'n': return collect(p, line, slice(line, 0, n >= 14 ? n - 14 : 0),
                                 ActionType::CollectMainPot, cur);
        default: fault_unreachable();
    }
}

Action collect_numbered_pot(Parser& p, string_view line, Currency cur) {
    const size_t n = line.size();
    if (n < 7) fault_missing("pot", line);
    const bool second = line[n - 1] == '2';
    switch (line[n - 7]) {
        case 'e': return collect(p, line, slice(line, 0, n >= 16 ? n - 16 : 0),
                                 second ? ActionType::CollectSidePot2
                                        : ActionType::CollectSidePot1, cur);
        case 'm': return collect(p, line, slice(line, 0, n >= 11 ? n - 11 : 0),
                                 ActionType::CollectMainPot, cur);
        case 'n': return collect(p, line, slice(line, 0, n >= 16 ? n - 16 : 0),
                                 ActionType::CollectMainPot, cur);
        default: fault_unreachable();
    }
}

Action uncalled(Parser& p, string_view line, Currency cur) {
    const auto amount = decimal_after_first(rest(line, 14), cur);
    if (!amount) fault_missing("amount", line);
    const size_t to = rfind_str(line, "ed to ");
    if (to == npos) fault_missing("'returned to'", line);
    return p.make_action(name_of(line.substr(to + 6), line), ActionType::UncalledBetReturned,
                         amount->value);
}

bool is_all_in(string_view line) noexcept { return ends(line, " in") || ends(line, "all-in"); }

std::optional<Action> bet_call_raise(Parser& p, string_view line, Currency cur) {
    static constexpr struct {
        string_view word;
        ActionType plain, all_in;
    } kWords[] = {
        {": bets", ActionType::Bet, ActionType::BetAllIn},
        {": calls", ActionType::Call, ActionType::CallAllIn},
        {": raises", ActionType::Raise, ActionType::RaiseAllIn},
    };
    // One pass over the colons of the line finds the first occurrence of each word; the words
    // are then tried in their order.
    size_t at[3] = {npos, npos, npos};
    for (size_t c = find_byte(line, ':'); c != npos; c = find_byte(line, ':', c + 1)) {
        const string_view from = line.substr(c);
        for (size_t w = 0; w < 3; ++w) {
            if (at[w] == npos && starts(from, kWords[w].word)) at[w] = c;
        }
    }
    for (size_t w = 0; w < 3; ++w) {
        if (at[w] == npos) continue;
        const auto amount = decimal_after_first(rest(line, at[w] + kWords[w].word.size() + 1), cur);
        if (!amount) fault_missing("amount", line);
        return p.make_action(name_of(line.substr(0, at[w]), line),
                             is_all_in(line) ? kWords[w].all_in : kWords[w].plain, amount->value);
    }
    return std::nullopt;
}

Action shows(Parser& p, string_view line, size_t at) {
    const BracketedCards b = bracketed_cards(rest(line, at + 8));
    return p.make_card_action(name_of(line.substr(0, at), line), ActionType::Show, b.cards);
}

Action cash_out(Parser& p, string_view line, size_t at, Currency cur) {
    if (at < 3) fault_missing("player name", line);
    const string_view from = rest(line, at + 25);
    const auto amount = decimal_after_first(from, cur);
    if (!amount) fault_missing("cash-out amount", line);
    float fee = 0.0f;
    const string_view after = rest(from, amount->end);
    if (const size_t f = find_lit(after, " Fee "); f != npos) {
        const auto v = decimal_after_first(rest(after, f + 5), cur);
        if (!v) fault_missing("cash-out fee", line);
        fee = v->value;
    }
    const std::uint32_t index = p.store().push_cash_out(amount->value, fee);
    const std::uint8_t id = p.find_player(line.substr(0, at));
    return Action::make(ActionType::CashOut, id, index);
}

// Rows that test the line's ending are tried only when the last byte allows them; the order of
// the rows that remain is unchanged, so the first row that matches still decides.
std::optional<Action> fold_or_check(Parser& p, string_view line) {
    const size_t n = line.size();
    if (n >= 7 && ends(line, ": folds"))
        return Action::make(ActionType::Fold, p.player_id(name_of(line.substr(0, n - 7), line)),
                            kNoPayload);
    if (n >= 8 && ends(line, ": checks"))
        return Action::make(ActionType::Check, p.player_id(name_of(line.substr(0, n - 8), line)),
                            kNoPayload);
    return std::nullopt;
}

std::optional<Action> hand_not_shown(Parser& p, string_view line) {
    const size_t n = line.size();
    if (n >= 6 && ends(line, "s hand")) {
        if (n <= 12) fault_missing("player name", line);
        return Action::make(ActionType::Fold, p.player_id(line.substr(0, n - 12)), kNoPayload);
    }
    if (n >= 6 && ends(line, "w hand")) {
        if (n <= 19) fault_missing("player name", line);
        return Action::make(ActionType::Muck, p.player_id(line.substr(0, n - 19)), kNoPayload);
    }
    return std::nullopt;
}

std::optional<Action> parse_action_line(Parser& p, string_view line, Currency cur) {
    if (line.empty()) return std::nullopt;
    switch (line.back()) {
        case 's':
            if (auto a = fold_or_check(p, line)) return a;
            break;
        case 'd':
            if (auto a = hand_not_shown(p, line)) return a;
            if (auto a = status_line(p, line)) return a;
            break;
        case ']': return cards_at_end(p, line);
        case '"': return chat_line(p, line);
        case 't':
            // A line ends either in one of the three pots or in a status ending, never both.
            if (is_collect_line(line)) return collect_pot(p, line, cur);
            if (auto a = status_line(p, line)) return a;
            break;
        case 'e': case 'n':
            if (auto a = status_line(p, line)) return a;
            break;
        default: break;
    }
    if (starts(line, "Uncalled ")) return uncalled(p, line, cur);
    if (auto a = bet_call_raise(p, line, cur)) return a;
    if (const size_t at = find_lit(line, ": shows"); at != npos) return shows(p, line, at);
    if (const size_t at = find_lit(line, " cashed o"); at != npos)
        return cash_out(p, line, at, cur);
    if (const size_t at = find_lit(line, " joins "); at != npos) return join_line(p, line, at);
    if (is_numbered_collect_line(line)) return collect_numbered_pot(p, line, cur);
    return std::nullopt;
}

// The Pluribus logs: no status, chat, ": shows", cash-out or join lines inside a round.
std::optional<Action> parse_pluribus_action_line(Parser& p, string_view line, Currency cur) {
    if (line.empty()) return std::nullopt;
    switch (line.back()) {
        case 's':
            if (auto a = fold_or_check(p, line)) return a;
            break;
        case 'd':
            if (auto a = hand_not_shown(p, line)) return a;
            break;
        case ']': return cards_at_end(p, line);
        case 't':
            if (is_collect_line(line)) return collect_pot(p, line, cur);
            break;
        default: break;
    }
    if (starts(line, "Uncalled ")) return uncalled(p, line, cur);
    if (auto a = bet_call_raise(p, line, cur)) return a;
    if (is_numbered_collect_line(line)) return collect_numbered_pot(p, line, cur);
    return std::nullopt;
}

// "Dealt to <name> [cards]" (preflop only).
std::optional<Action> dealt_line(Parser& p, string_view line, HandState& st) {
    const size_t open = rfind_byte(line, '[');
    if (open == npos || open < 10) {
        // No cards shown: the player was dealt in, nothing more.
        const std::uint8_t id = p.find_player(name_of(line.substr(9), line));
        return Action::make(ActionType::Dealt, id, kNoCards);
    }
    if (line.back() != ']') return std::nullopt;  // cut off inside the cards
    const CardSet cards = parse_cards(slice(line, open + 1, line.size() - 1));
    const Action a = p.make_card_action(name_of(line.substr(9, open - 10), line),
                                        ActionType::Dealt, cards);
    ++st.dealt_with_cards;
    st.hero = a.player_id();
    return a;
}

// ---------------------------------------------------------------------------------------------
// Summary
// ---------------------------------------------------------------------------------------------

PotInfo parse_pot_line(string_view line, Currency cur) {
    PotInfo pots;
    const size_t bar = rfind_byte(line, '|');
    if (bar == npos) fault_missing("'|' before the rake", line);
    if (line.size() > bar + 7) {
        string_view r = line.substr(bar + 7);
        if (cur != 0) {
            if (const auto sign = currency_symbol(r); sign && sign->sign == cur)
                r = r.substr(sign->len);
        }
        const auto rake = read_decimal(r);
        if (!rake) fault_missing("rake", line);
        pots.rake = rake->value;
    }
    const auto total = decimal_after_first(line, cur);
    if (!total) fault_missing("total pot", line);
    pots.total = total->value;
    size_t pos = total->end;

    const size_t sign_len = utf8_len(cur);
    if (const size_t m = find_lit(line, "Main ", pos); m != npos) {
        const auto main = read_decimal(rest(line, m + 9 + sign_len));
        if (!main) fault_missing("main pot", line);
        pots.main = main->value;
        pos = m + 9 + sign_len + main->len;
    } else {
        pots.main = pots.total;
    }
    float* sides[] = {&pots.side_1, &pots.side_2, &pots.side_3};
    unsigned side_count = 0;
    for (;;) {
        const size_t s = find_lit(line, "Side ", pos);
        if (s == npos) break;
        if (s + 8 >= line.size()) fault_missing("side pot", line);
        const size_t start = s + 8 + (line[s + 8] == '-' ? 2 : 0) + 1 + sign_len;
        const auto side = read_decimal(rest(line, start));
        if (!side) fault_missing("side pot", line);
        // More than three side pots: the first three are kept.
        if (side_count < 3) *sides[side_count] = side->value;
        ++side_count;
        pos = start + side->len + 1;
    }
    return pots;
}

// "... showed [cards] and won ($1.50) with ..., and lost with ..."
void read_results(Parser& p, string_view text, std::uint8_t id, Currency cur,
                  string_view line) {
    auto& winners = p.store().winners;
    std::uint8_t game = 0;
    bool after_won = false;
    size_t i = 0;
    while (i <= text.size()) {
        size_t sp = find_byte(text, ' ', i);
        if (sp == npos) sp = text.size();
        const string_view word = text.substr(i, sp - i);
        if (after_won && !word.empty() && word.front() == '(') {
            const auto amount = decimal_after_first(word.substr(1), cur);
            if (!amount) fault_missing("amount won", line);
            winners.back().amount = amount->value;
        }
        after_won = false;
        if (word == "lost") {
            ++game;
        } else if (word == "won") {
            winners.push_back(Winner{id, 0.0f, game});
            ++game;
            after_won = true;
        }
        i = sp + 1;
    }
}

enum class SeatResult { Action, Skip, Reject };

SeatResult parse_seat_result(Parser& p, string_view line, Currency cur, Action& out) {
    if (!starts(line, "Seat ")) return SeatResult::Reject;
    // The colon follows a seat number of one or two digits: bytes 5 to 7 are looked at first.
    size_t colon = npos;
    for (size_t i = 5; i < 8 && i < line.size(); ++i) {
        if (line[i] == ':') {
            colon = i;
            break;
        }
    }
    if (colon == npos) colon = find_byte(line, ':', 8);
    if (colon == npos) fault_missing("':' after the seat number", line);
    const size_t ns = colon + 2;
    const size_t n = line.size();
    auto name_to = [&](size_t end) {
        if (end < ns) fault_missing("player name", line);
        return name_of(strip_position_notes(slice(line, ns, end)), line);
    };
    if (n > 6) {
        // The endings, picked by the last byte.
        bool fold_before = false;
        switch (line.back()) {
            case 'd':
                if (ends(line, " folded")) {
                    out = Action::make(ActionType::Fold, p.find_player(name_to(n - 7)), kNoCards);
                    return SeatResult::Action;
                }
                if (ends(line, " mucked")) {
                    out = Action::make(ActionType::Muck, p.find_player(name_to(n - 7)), kNoCards);
                    return SeatResult::Action;
                }
                break;
            case ')': fold_before = ends(line, "n't bet)"); break;
            case 'p': fold_before = ends(line, "re Flop") || ends(line, "he Flop"); break;
            case 'n': fold_before = ends(line, "he Turn"); break;
            case 'r': fold_before = ends(line, "he River"); break;
            default: break;
        }
        if (fold_before) {
            // "Seat 5: Bob (didn't bet)" carries no fold: a note, skipped.
            const size_t f = find_lit(line, " folded ", ns);
            if (f == npos) return SeatResult::Skip;
            out = Action::make(ActionType::Fold, p.find_player(name_to(f)), kNoCards);
            return SeatResult::Action;
        }
    }
    // Shown and mucked cards need a '[' after the name; most lines (collections) hold none.
    const bool bracket = find_byte(line, '[', ns) != npos;
    if (const size_t w = bracket ? find_lit(line, "wed [", ns) : npos; w != npos) {
        if (w < 4) fault_missing("player name", line);
        const string_view name = name_to(w - 4);
        const BracketedCards b = bracketed_cards(line.substr(w));
        out = p.make_card_action(name, ActionType::Show, b.cards);
        if (b.close != 0) read_results(p, rest(line, w + b.close), out.player_id(), cur, line);
        return SeatResult::Action;
    }
    if (const size_t k = bracket ? rfind_str(line, "ked [") : npos; k != npos && k >= ns) {
        const string_view name = name_to(k - 4);
        const BracketedCards b = bracketed_cards(line.substr(k));
        out = p.make_card_action(name, ActionType::Muck, b.cards);
        return SeatResult::Action;
    }
    const size_t open = rfind_byte(line, '(');
    if (open == npos || open < ns) return SeatResult::Skip;
    const auto amount = decimal_after_first(line.substr(open + 1), cur);
    if (!amount) fault_missing("amount collected", line);
    if (open < 11) fault_missing("player name", line);
    out = p.make_action(name_to(open - 11), ActionType::CollectMainPot, amount->value);
    p.store().winners.push_back(Winner{out.player_id(), amount->value, 0});
    return SeatResult::Action;
}

std::optional<Summary> parse_summary(Parser& p, Currency cur) {
    HandStore& store = p.store();
    p.next_line();
    Summary sum;
    sum.pots = parse_pot_line(p.line(), cur);
    p.next_line();
    while (p.line().size() > 7 && starts(p.line(), "Hand was")) p.next_line();
    while (find_lit(p.line(), "Board [") != npos) p.next_line();

    const size_t first_action = store.actions.size();
    const size_t first_winner = store.winners.size();
    while (p.line().size() >= 5) {
        Action a;
        switch (parse_seat_result(p, p.line(), cur, a)) {
            case SeatResult::Reject: return std::nullopt;
            case SeatResult::Action: store.actions.push_back(a); break;
            case SeatResult::Skip: break;
        }
        p.next_line();
    }
    if (!p.line().empty() && !p.at_end()) return std::nullopt;
    sum.actions = Span::between(first_action, store.actions.size());
    sum.winners = Span::between(first_winner, store.winners.size());
    return sum;
}

// ---------------------------------------------------------------------------------------------
// One hand
// ---------------------------------------------------------------------------------------------

inline bool is_stars_line(string_view line) noexcept {
    return line.size() >= 4 && std::memcmp(line.data(), "*** ", 4) == 0;
}

enum class HandResult { Stored, Rejected, RejectedOnHandLine };

HandResult parse_hand(Parser& p, bool pluribus) {
    HandStore& store = p.store();
    HandState st;
    Header& h = st.header;
    h.site = pluribus ? Site::PokerStarsPluribus : Site::PokerStars;
    h.dealer = kNone8;
    h.hero = kNone8;

    // Header: hand line, table line, seats, pre-deal lines.
    if (parse_hand_line(p, h) != LineResult::Accepted) return HandResult::RejectedOnHandLine;
    if (!parse_table_line(p, h)) return HandResult::Rejected;
    while (p.line().size() >= 5 && starts(p.line(), "Seat ")) {
        if (!parse_seat_line(p, h)) return HandResult::Rejected;
    }
    const size_t first_pre_deal = store.actions.size();
    while (!is_stars_line(p.line())) {
        const auto a = parse_pre_deal_line(p, p.line(), h.currency);
        if (!a) return HandResult::Rejected;
        store.actions.push_back(*a);
        p.next_line();
    }
    h.actions = Span::between(first_pre_deal, store.actions.size());
    p.next_line();

    auto action_line = [&](string_view line) {
        return pluribus ? parse_pluribus_action_line(p, line, h.currency)
                        : parse_action_line(p, line, h.currency);
    };

    // Preflop.
    const size_t first_preflop = store.actions.size();
    while (!is_stars_line(p.line())) {
        const string_view line = p.line();
        std::optional<Action> a;
        if (line.size() > 8 && starts(line, "Dealt to ")) a = dealt_line(p, line, st);
        else a = action_line(line);
        if (!a) return HandResult::Rejected;
        store.actions.push_back(*a);
        p.next_line();
    }
    Hand hand;
    hand.preflop = Street{CardSet::empty(),
                          Span::between(first_preflop, store.actions.size()), 0};

    // Streets after the preflop, each with its round.
    const size_t flops0 = store.flops.size(), turns0 = store.turns.size(),
                 rivers0 = store.rivers.size(), showdowns0 = store.showdowns.size();
    std::uint8_t street_id = 0;
    while (!(p.line().size() >= 6 && starts(p.line(), "*** SU"))) {
        const auto street_line = parse_street_line(p);
        if (!street_line) return HandResult::Rejected;
        const StreetLine& s = *street_line;
        const size_t first = store.actions.size();
        while (!is_stars_line(p.line())) {
            const auto a = action_line(p.line());
            if (!a) return HandResult::Rejected;
            store.actions.push_back(*a);
            p.next_line();
        }
        const Street street{s.cards, Span::between(first, store.actions.size()), street_id++};
        switch (s.kind) {
            case StreetKind::Flop: store.flops.push_back(street); break;
            case StreetKind::Turn: store.turns.push_back(street); break;
            case StreetKind::River: store.rivers.push_back(street); break;
            case StreetKind::Showdown: store.showdowns.push_back(street); break;
        }
    }

    const auto summary = parse_summary(p, h.currency);
    if (!summary) return HandResult::Rejected;

    h.players = Span::make(p.first_player(), p.player_count());
    if (st.dealt_with_cards == 1 && st.hero < kNoSlot) h.hero = st.hero;
    hand.header = h;
    hand.flops = Span::between(flops0, store.flops.size());
    hand.turns = Span::between(turns0, store.turns.size());
    hand.rivers = Span::between(rivers0, store.rivers.size());
    hand.showdowns = Span::between(showdowns0, store.showdowns.size());
    hand.summary = *summary;
    hand.text_start = p.text_start();
    store.hands.push_back(hand);
    return HandResult::Stored;
}

// Moves to the next hand line ("PokerStars " at the start) or to the end.
void skip_to_next_hand(Parser& p) {
    while (!p.at_end() && !(p.line().size() >= 11 && starts(p.line(), "PokerStars ")))
        p.next_line();
}

void run(Parser& p, bool pluribus) {
    p.set_strip_mr(pluribus);
    for (;;) {
        p.skip_empty_lines();
        if (p.at_end()) return;
        p.begin_hand();
        const string_view start = p.line();
        const HandResult r = parse_hand(p, pluribus);
        if (r == HandResult::Stored) continue;
        // Always make progress: a hand line that was not read is left behind first. A hand
        // rejected later restarts at the line where it stopped when that line is a hand line
        // (a summary followed directly by the next hand), else at the next hand line.
        if (r == HandResult::RejectedOnHandLine && p.line().data() == start.data()) p.next_line();
        skip_to_next_hand(p);
    }
}

}  // namespace

void parse_hands(Parser& parser) { run(parser, false); }

void parse_pluribus_hands(Parser& parser) { run(parser, true); }

}  // namespace hs::pokerstars
