// PokerStars hand histories and the Pluribus logs written in the same layout.
//
// A hand is read line by line through the Parser: the hand line, the table line, the seat
// lines, the pre-deal lines, the preflop round, one round per street line and the summary.
// Every line is classified by its first or last bytes and at most a few searches; nothing is
// allocated beyond the store's own lists. A hand that cannot be read is rejected and the driver
// resumes at the next hand line; a required part that is missing is a Fault.
//
// The Pluribus logs (and the sites written in the same layout) are variants of this reader: a
// `Variant` says which line kinds a betting round may hold and how names are keyed.
#include "sites/pokerstars.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/chars.hpp"
#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/money.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"
#include "reader/tournament.hpp"

namespace hs::pokerstars {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// Hand line and table line
// ---------------------------------------------------------------------------------------------

std::uint64_t date_piece(string_view piece, string_view line) {
    const auto v = read_integer(piece);
    if (!v) fault_missing("date", line);
    return v->value;
}

// Any other form: split at '/', '/', ' ', ':', ':' and read each piece's leading digits. The
// old hand line writes " - " between the date and the time ("2007/10/15 - 05:34:03 (ET)"): the
// hour then begins after it.
void general_date(Header& h, string_view date, string_view line) {
    static constexpr string_view kTimeDash = " - ";
    const size_t s1 = find_byte(date, '/');
    const size_t s2 = s1 == npos ? npos : find_byte(date, '/', s1 + 1);
    size_t s3 = s2 == npos ? npos : find_byte(date, ' ', s2 + 1);
    if (s3 != npos && starts(date.substr(s3), kTimeDash)) s3 += kTimeDash.size() - 1;
    const size_t s4 = s3 == npos ? npos : find_byte(date, ':', s3 + 1);
    if (s4 == npos) fault_missing("date", line);
    // A time without seconds ("2021/02/13 22:01 UTC") is read as at second 0.
    const size_t s5 = find_byte(date, ':', s4 + 1);
    const size_t space = find_byte(date, ' ', s4 + 1);
    const bool seconds = s5 != npos && (space == npos || s5 < space);
    h.start_date = pack_date(
        date_piece(date.substr(0, s1), line), date_piece(slice(date, s1 + 1, s2), line),
        date_piece(slice(date, s2 + 1, s3), line), date_piece(slice(date, s3 + 1, s4), line),
        date_piece(seconds ? slice(date, s4 + 1, s5) : date.substr(s4 + 1), line),
        seconds ? date_piece(date.substr(s5 + 1), line) : 0);
}

// The date PokerStars writes, "2015/04/01 16:58:17", or with an hour of one digit ("2015/04/01
// 6:58:17"), read at fixed places (the two forms are read so by general_date too); nullopt for
// any other form.
std::optional<PackedDate> stars_date(string_view d) noexcept {
    if (const auto packed = fixed_date(d)) return packed;
    return fixed_date_short_hour(d);
}

// The hands of a history start within the same hour as the hand before, most of them: the
// first 13 bytes of the last date that fixed_date read ("2015/04/01 16"), and the date it read
// without its minute and second. A date that begins with the same bytes and goes on ":mm:ss" up
// to its end is that date at its own minute and second, as fixed_date reads them (their fields
// keep 6 bits each).
struct DateMemo {
    std::uint64_t head = 0, tail = 0;  // bytes 0-7 and 5-12; head 0: none kept
    PackedDate hour = 0;
};

std::uint64_t bytes8(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

std::optional<PackedDate> stars_date(string_view d, DateMemo& memo) noexcept {
    if (memo.head != 0 && d.size() >= 19 && bytes8(d.data()) == memo.head &&
        bytes8(d.data() + 5) == memo.tail) {
        const auto b = [&](size_t i) { return static_cast<unsigned char>(d[i]); };
        const auto digit = [&](size_t i) { return is_ascii_digit(b(i)); };
        if (b(13) == ':' && digit(14) && digit(15) && b(16) == ':' && digit(17) && digit(18) &&
            (d.size() == 19 || (b(19) < 0x80 && !digit(19)))) {
            const unsigned minute = (b(14) - '0') * 10u + (b(15) - '0');
            const unsigned second = (b(17) - '0') * 10u + (b(18) - '0');
            return memo.hour | (minute & 0x3Fu) << 6 | (second & 0x3Fu);
        }
    }
    if (const auto packed = fixed_date(d)) {
        memo = DateMemo{bytes8(d.data()), bytes8(d.data() + 5), *packed & ~PackedDate{0xFFF}};
        return packed;
    }
    return fixed_date_short_hour(d);
}

// The zone of the start time, from what follows the date: " ET", the old " (ET)", a zone and
// the same time in ET after it (" UTC [2021/03/04 00:06:07 ET]", " CET [...]"), or nothing.
// The ET time in brackets is taken for zones other than UTC: PokerStars writes "CET" and "WET"
// in summer too, and "PT" follows rules of its own. The start time in UTC is stored.
void read_start_zone(Header& h, string_view line, string_view line_for_faults, UtcClock& clock) {
    if (!line.empty() && line.back() == ']') {
        const size_t open = rfind_byte(line, '[');
        if (open == npos) return;
        if (ends(line.substr(0, open), "UTC ")) {
            h.start_utc = h.start_date;
            h.start_zoned = true;
            return;
        }
        Header eastern;
        const string_view inside = slice(line, open + 1, line.size() - 1);
        if (const auto packed = stars_date(inside)) {
            eastern.start_date = *packed;
        } else {
            general_date(eastern, inside, line_for_faults);
        }
        read_start_zone(eastern, inside, line_for_faults, clock);
        h.start_utc = eastern.start_utc;
        h.start_zoned = eastern.start_zoned;
        return;
    }
    const size_t space = rfind_byte(line, ' ');
    const TimeZone named = zone_named(space == npos ? string_view() : line.substr(space + 1));
    h.start_utc = clock.utc(h.start_date, named);
    h.start_zoned = named.kind != TimeZone::Kind::Unknown;
}

// The start: the date after the hand line's last '-' (`dash`), and its zone.
void read_start(HandBuilder& b, string_view line, size_t colon, size_t dash, DateMemo& dates) {
    Header& h = b.header();
    // Date: year/month/day hour:minute:second, each piece read up to its first non-digit.
    const string_view date = rest(line, dash + 2);
    if (const auto packed = stars_date(date, dates)) {
        h.start_date = *packed;
        // The usual zone, " ET" (what read_start_zone reads from it, without its search).
        if (ends(date, " ET")) {
            h.start_utc = b.parser().clock().utc(*packed, TimeZone{TimeZone::Kind::UsEastern, 0});
            h.start_zoned = true;
            return;
        }
    } else if (const size_t before = rfind_byte(line.substr(0, dash), '-');
               find_byte(date, '/') == npos && before != npos && before + 2 > colon) {
        // The old hand line's date holds a dash of its own: it begins after the dash before.
        general_date(h, rest(line, before + 2), line);
    } else {
        general_date(h, date, line);
    }
    read_start_zone(h, date, line, b.parser().clock());
}

// What a cash hand's line of one game writes between its id and its date, from the ':' to the
// '-' (the game, its limit and the stakes), and what was read from it. The hands of a table write
// the same bytes there, hand after hand: a line whose bytes equal the last ones kept is read as
// that one was. Kept only when everything read from them lies between the game and the stakes'
// ')' (so that nothing outside them was read).
struct StakesMemo {
    string_view text;  // empty: none kept
    GameType game = GameType::HoldEm;
    BetType bet = BetType::NoLimit;
    Currency currency = 0;
    float small_blind = 0, big_blind = 0, bet_cap = 0;
    std::array<char, 3> code{};
};

// The hand line; a hand line that cannot be read is an input error. A tournament hand's record
// is pushed here.
void parse_hand_line(HandBuilder& b, const Variant& v, StakesMemo& memo, DateMemo& dates) {
    Parser& p = b.parser();
    Header& h = b.header();
    const string_view line = p.line();
    if (line.size() < 17) fault_line(kHandLineWithoutId, line);
    // The id runs from the first '#' to the ':' that follows it.
    const size_t hash = find_byte(line, '#');
    if (hash == npos) fault_line(kHandLineWithoutId, line);
    const size_t colon = find_byte(line, ':', hash + 1);
    if (colon == npos) fault_line(kHandLineWithoutId, line);

    const size_t dash = rfind_byte(line, '-');
    if (dash == npos) fault_missing("'-' before the date", line);
    const size_t date_start = dash + 2;
    if (date_start <= colon) fault_line("hand line without a date after the id", line);
    h.id = p.store().push_text(cut_text(line, hash + 1, colon));

    // Game and limit: the byte after the ':' is skipped, then any white space.
    size_t g = colon + 2;
    while (g < line.size()) {
        // The usual bytes, told without the general reading: a space, and a byte of ASCII above
        // it (no white space).
        const auto c = static_cast<unsigned char>(line[g]);
        if (c == ' ') {
            ++g;
            continue;
        }
        if (c > ' ' && c < 0x80) break;
        const size_t n = white_space_len(line.substr(g));
        if (n == 0) break;
        g += n;
    }
    if (g >= line.size()) fault_missing("game type", line);
    static constexpr string_view kZoomHand = "Zoom Hand ", kZoom = "Zoom ";
    h.fast_fold = ends(line.substr(0, hash), kZoomHand) || starts(line.substr(g), kZoom);
    const string_view between = slice(line, colon, dash);
    if (!memo.text.empty() && between == memo.text) {
        h.game_type = memo.game;
        h.bet_type = memo.bet;
        h.currency = memo.currency;
        h.small_blind = memo.small_blind;
        h.big_blind = memo.big_blind;
        h.bet_cap = memo.bet_cap;
        h.currency_code = memo.code;
        read_start(b, line, colon, dash, dates);
        p.next_line();
        return;
    }
    // A tournament hand names its tournament first.
    std::optional<GameRead> game = read_game(line, g);
    const bool one_game = game.has_value();
    if (!game) {
        if (const auto at = v.read_tournament(b, line, g)) g = *at;
        // A mixed game names its rotation, then the game of the hand in parentheses.
        if (const auto mixed = read_mixed(line, g)) {
            h.mixed = mixed->mixed;
            g = mixed->game_at;
        } else if (const auto before = mixed_ending_at(line, g)) {
            h.mixed = *before;
        }
        game = read_game(line, g);
        if (!game) fault_game(line, g);
    }
    h.game_type = game->game;
    h.bet_type = game->bet;
    const size_t limit_at = game->end;

    read_start(b, line, colon, dash, dates);

    // Stakes: the last '(' before the date's '-'.
    const size_t open = rfind_byte(line.substr(0, dash), '(');
    if (open == npos) fault_missing("'(' before the stakes", line);
    string_view stakes = line.substr(open + 1);
    // A mixed cash game writes the stakes after the game of the hand: "(Razz Limit, $0.10/$0.20)".
    if (h.mixed != MixedGame::None && !h.is_tournament()) {
        static constexpr string_view kComma = ", ";
        if (const size_t comma = find_str(stakes, kComma); comma != npos)
            stakes = stakes.substr(comma + kComma.size());
    }
    AmountForm cur = kChipAmounts;  // a tournament's blinds; the hand's currency stays 0
    if (h.is_tournament()) {
        tournament::read_level(b, cut_text(line, std::min(limit_at, open), open));
    } else if (!stakes.empty() && is_ascii_digit(static_cast<unsigned char>(stakes[0]))) {
        cur = v.amounts(0);  // play money and the Pluribus logs: amounts without a sign
    } else if (const auto sign = currency_symbol(stakes)) {
        cur = v.amounts(sign->sign);
        stakes = stakes.substr(sign->len);
    } else {
        fault_missing("currency symbol", line);
    }
    h.currency = cur.sign;
    const auto sb = read_number(stakes, cur);
    if (!sb) fault_missing("small blind", line);
    string_view after_bb = rest(stakes, sb->len);
    if (starts(after_bb, ")")) {
        // One stake only: a game without a small blind (GGPoker's short deck, whose one blind is
        // the button's).
        h.big_blind = sb->value;
    } else {
        h.small_blind = sb->value;
        const string_view after_sb = rest(stakes, sb->len + 1);
        const auto bb = decimal_after_first(after_sb, cur);
        if (!bb) fault_missing("big blind", line);
        h.big_blind = bb->value;
        after_bb = rest(after_sb, bb->end);
    }
    const auto at = [&](string_view part) {
        return static_cast<size_t>(part.data() - line.data());
    };
    size_t read_to = at(after_bb);  // past every byte read
    if (starts(after_bb, " -")) {
        const string_view cap_text = rest(after_bb, 3);
        const auto cap = decimal_after_first(cap_text, cur);
        if (!cap) fault_missing("bet cap", line);
        h.bet_cap = cap->value;
        read_to = std::max(read_to, at(cap_text) + cap->end);
    }
    // The currency's code, when written, is the last word of the stakes: "$0.02/$0.05 CAD)",
    // "$10/$20 - $400 Cap -  USD)".
    const size_t close = find_byte(after_bb, ')');
    if (close != npos && close >= 4)
        read_iso_code(slice(after_bb, close - 3, close), h.currency_code);
    if (one_game && h.mixed == MixedGame::None && !h.is_tournament() && open > colon &&
        limit_at < open && close != npos && read_to <= at(after_bb) + close &&
        at(after_bb) + close < dash) {
        memo = StakesMemo{between,       h.game_type, h.bet_type, h.currency,
                          h.small_blind, h.big_blind, h.bet_cap,  h.currency_code};
    }
    p.next_line();
}

// ---------------------------------------------------------------------------------------------
// Seats and pre-deal lines
// ---------------------------------------------------------------------------------------------

// What a seat line holds: the seat, the player's name and chips.
struct SeatRead {
    string_view name;
    float chips;
    std::uint8_t seat;
};

// The chips of the usual cash seat line, the amount that ends at `end` (the " in chips)" that
// follows it), read 8 bytes at a time: ASCII digits with two decimals after a '.' ("12.34") or
// none ("1234"), at most 7 bytes. The value is read_decimal_as's for the same bytes (at most 7
// digits: one division of an exact mantissa); `start` is where the amount begins. A '.' at any
// other place ends the digits read (the caller's test of the bytes before them then fails, or
// finds the general reading's number); nullopt for an amount of 8 bytes or more.
struct ChipsRead {
    float value;
    size_t start;
};
[[gnu::always_inline]] inline std::optional<ChipsRead> cash_chips_before(const unsigned char* l,
                                                                         size_t end) noexcept {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u,
                            kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    std::uint64_t w;
    std::memcpy(&w, l + end - 8, 8);  // the caller keeps end >= 8
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    // Byte k holds the byte at end - 8 + k. With two decimals the '.' (byte 5) goes and the
    // digits before it move up into its byte; bytes 0 and 1 are then zero, no digit (at most 4
    // digits before the '.').
    const bool cents = l[end - 3] == '.';
    if (cents) w = (w & 0xFFFF000000000000u) | (w & 0x000000FFFFFFFF00u) << 8;
    // A digit's byte of x holds its value; the test is exact per byte (no carry crosses a byte).
    const std::uint64_t x = w ^ (kOnes * '0');
    const std::uint64_t non_digit = ((((x & kLow7) + kOnes * (0x80 - 10)) | x) & kHigh);
    if (non_digit == 0) return std::nullopt;  // an amount of 8 bytes or more
    const auto run = static_cast<size_t>(std::countl_zero(non_digit) / 8);
    if (run <= 2 * size_t{cents}) return std::nullopt;  // "", "5.", ".5", ".50"
    std::uint64_t v = x & (~std::uint64_t{0} << (64 - 8 * run));
    // Eight digits (the first in the low byte, zeros before the number) to their value.
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFu;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFu;
    v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFu;
    return ChipsRead{cents ? static_cast<float>(v) / 100.0f : static_cast<float>(v),
                     end - run - size_t{cents}};
}

// The chips of a tournament seat line that ends at `end`: ASCII digits and ',', at most 18
// digits, read as read_chips reads them; nullopt for any other amount.
[[gnu::always_inline]] inline std::optional<ChipsRead> tournament_chips_before(
    const unsigned char* l, size_t end) noexcept {
    std::uint64_t value = 0, scale = 1;
    size_t digits = 0, i = end;
    for (; i > 9 && digits <= 18; --i) {
        const unsigned d = l[i - 1] - unsigned{'0'};
        if (d < 10) {
            value += d * scale;
            scale *= 10;
            ++digits;
        } else if (l[i - 1] != ',') {
            break;
        }
    }
    if (digits == 0 || digits > 18) return std::nullopt;
    return ChipsRead{static_cast<float>(value), i};
}

// The usual seat line, "Seat 3: Bob ($12.34 in chips)" ("Seat 10: ...", tournament chips "(1,500
// in chips)"), read from its end: the amount back to its sign and the '(' before it, then the
// name between the ": " and the " (" (a name may hold anything, so its end is found from the
// line's). Where it reads a line it gives what general_seat_line gives; a line of any other shape
// (an amount that the number readers' other paths read, no space before the '(', a note after
// the chips, a line of fewer than 22 bytes) is nullopt, left to that reader.
[[gnu::always_inline]] inline std::optional<SeatRead> quick_seat_line(string_view line,
                                                                      size_t sign_len,
                                                                      bool chips_form) noexcept {
    static constexpr string_view kInChips = " in chips)";
    const size_t n = line.size();
    if (n < 22 ||
        std::memcmp(line.data() + n - kInChips.size(), kInChips.data(), kInChips.size()) != 0)
        return std::nullopt;
    const auto* const l = reinterpret_cast<const unsigned char*>(line.data());
    const size_t end = n - kInChips.size();
    const auto chips = chips_form ? tournament_chips_before(l, end) : cash_chips_before(l, end);
    // A cash amount has at most 7 bytes and a tournament's begins after byte 9: in a line of 22
    // bytes or more it begins past byte 4, with room for the '(' and a sign of up to 4 bytes.
    if (!chips) return std::nullopt;
    const size_t paren = chips->start - sign_len - 1;
    const bool two_digits = is_ascii_digit(l[6]);  // "Seat 10: "
    const size_t name_start = 8 + size_t{two_digits};
    if (paren < name_start + 2 || std::memcmp(l + paren - 1, " (", 2) != 0 ||
        std::memcmp(l + name_start - 2, ": ", 2) != 0 || !is_ascii_digit(l[5]) ||
        is_continuation(l[name_start]))
        return std::nullopt;
    // The sign: no '(' that the last one is (the byte after the '(' is the amount's first digit
    // when there is no sign, and no '(' either).
    if (l[paren + 1] == '(') return std::nullopt;
    for (size_t k = paren + 2; k < chips->start; ++k)
        if (l[k] == '(') return std::nullopt;
    const unsigned first = l[5] - unsigned{'0'};
    const auto seat = static_cast<std::uint8_t>(two_digits ? first * 10 + (l[6] - '0') : first);
    return SeatRead{string_view(line.data() + name_start, paren - 1 - name_start), chips->value,
                    seat};
}

// Any seat line: the name before the last '(' and the chips after it (and its sign); nullopt
// when there is no '(' or no amount after it.
[[gnu::noinline]] std::optional<SeatRead> general_seat_line(string_view line, AmountForm cur) {
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return std::nullopt;
    const string_view digits =
        slice(line, seat_line->seat_start, seat_line->seat_start + seat_line->seat_len);
    std::uint8_t seat = 0;
    const auto d0 = static_cast<unsigned char>(digits[0]);
    const auto d1 = static_cast<unsigned char>(digits.back());
    if (is_ascii_digit(d0) && is_ascii_digit(d1)) {  // one or two ASCII digits: at most 99
        seat =
            static_cast<std::uint8_t>(digits.size() == 1 ? d0 - '0' : (d0 - '0') * 10 + (d1 - '0'));
    } else {
        const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seat);
        if (ec != std::errc{} || ptr != digits.data() + digits.size())
            fault_missing("seat number", line);
    }
    const size_t chips_at = seat_line->after_paren + sign_length(cur);
    const auto chips = read_number(rest(line, chips_at), cur);
    if (!chips) return std::nullopt;
    return SeatRead{cut_name(line, seat_line->name), chips->value, seat};
}

// A seat line of any shape, the tournaments' among them; false when it has no chips.
[[gnu::noinline]] bool parse_seat_line(HandBuilder& b, AmountForm cur, size_t sign_len) {
    Parser& p = b.parser();
    // A tournament seat line is read up to its chips' parenthesis, its bounty recorded.
    const string_view line =
        cur.form == NumberForm::Chips ? tournament::seat_line(b, p.line()) : p.line();
    auto seat = quick_seat_line(line, sign_len, cur.form == NumberForm::Chips);
    if (!seat) {
        seat = general_seat_line(line, cur);
        if (!seat) return false;
    }
    const std::uint8_t slot = b.seat_player(seat->name, seat->seat, seat->chips);
    // "Seat 4: Bob (2500 in chips) is sitting out"
    static constexpr string_view kSittingOut = ") is sitting out";
    if (p.line().back() == 't' && ends(p.line(), kSittingOut)) p.player(slot).sitting_out = true;
    // "Seat 5: Bob (510 in chips) [hero]": the player who saved the history (Run It Once).
    if (p.line().back() == ']' && ends(p.line(), " [hero]")) b.header().hero = slot;
    p.next_line();
    return true;
}

// The seat lines from the current line on, while the lines begin with "Seat "; false at one
// without chips. The usual cash seat line, which ends with its chips (no note after them), is
// read here; every other goes to parse_seat_line.
bool read_seat_lines(HandBuilder& b, AmountForm cur) {
    Parser& p = b.parser();
    const size_t sign_len = sign_length(cur);
    const bool cash = cur.form != NumberForm::Chips;
    while (p.line().size() >= 5 && starts(p.line(), "Seat ")) {
        if (cash) {
            if (const auto seat = quick_seat_line(p.line(), sign_len, false)) [[likely]] {
                b.seat_player(seat->name, seat->seat, seat->chips);
                p.next_line();
                continue;
            }
        }
        if (!parse_seat_line(b, cur, sign_len)) return false;
    }
    return true;
}

// A status line: a phrase at the end of the line after the player's name. A line is tested for
// the last bytes of a phrase only (the shortest ending that tells the phrases apart), and the
// name is what stands before the whole phrase.
struct StatusEnding {
    Ending ending;
    ActionType type;
    std::uint32_t payload;
};
constexpr StatusEnding kStatusEndings[] = {
    {Ending(": sits out", "s out"), ActionType::Sitout, kNoPayload},
    {Ending(": is sitting out", ": is sitting out"), ActionType::Sitout, kNoPayload},
    {Ending(" is sitting out", "g out"), ActionType::Sitout, kNoPayload},  // tournaments
    {Ending(" has timed out", "med out"), ActionType::Leave, kNoPayload},
    {Ending(" is connected", "s connected"), ActionType::Join, 253},
    {Ending(" is disconnected", "s disconnected"), ActionType::Leave, kNoPayload},
    {Ending(" has timed out while disconnected", "e disconnected"), ActionType::Leave, kNoPayload},
    {Ending(" has timed out while being disconnected", "g disconnected"), ActionType::Leave,
     kNoPayload},
    {Ending(" leaves the table", "e table"), ActionType::Leave, kNoPayload},
    {Ending(" was removed from the table for failing to post", "g to post"), ActionType::Leave,
     kNoPayload},
    {Ending(" will be allowed to play after the button", "e button"), ActionType::Join, 254},
    {Ending(" has returned", "s returned"), ActionType::Join, 253},
};

std::optional<Action> status_line(Parser& p, string_view line) {
    // Every status ending ends in 't', 'd', 'e' or 'n'; only the endings with the line's last
    // byte are compared, in table order. Most lines end in a digit or another letter.
    if (line.empty()) return std::nullopt;
    const char last = line.back();
    if (last != 't' && last != 'd' && last != 'e' && last != 'n') return std::nullopt;
    for (const StatusEnding& e : kStatusEndings) {
        if (e.ending.test.back() != last || !e.ending.matches(line)) continue;
        return Action::make(e.type, p.player_id(e.ending.name(line)), e.payload);
    }
    return std::nullopt;
}

// Last byte is '"': a chat message, "<name> said, "<message>"".
Action chat_line(Parser& p, string_view line) {
    const size_t q = find_byte(line, '"');
    const std::uint8_t id = p.player_id(name_before(line, q, " said, "));
    const string_view message =
        q + 1 < line.size() ? cut_text(line, q + 1, line.size() - 1) : line.substr(q, 0);
    const TextRef ref = p.store().push_text(cut_at_boundary(message, 255));
    return Action::make(ActionType::Say, id,
                        say_payload(ref.offset(), ref.length(), p.text_start()));
}

// "<name> joins the table at seat #<n>": a player without a seat takes it; a player dealt in at
// a seat keeps that seat (one who leaves and joins again during the hand plays the next hand
// from the new one), and the join stays an event with the seat it names.
Action join_line(Parser& p, string_view line, size_t joins) {
    const std::uint8_t id = p.player_id(cut_name(line, 0, joins));
    const size_t hash = rfind_byte(line, '#');
    const auto seat = hash == npos ? std::nullopt : read_integer(rest(line, hash + 1));
    if (!seat) fault_missing("seat number", line);
    Player& player = p.player(id);
    if (player.seat == kNone8) {
        player.joined = true;
        player.seat = static_cast<std::uint8_t>(seat->value);
    }
    return Action::make(ActionType::Join, id, static_cast<std::uint32_t>(seat->value));
}

// The blind that a post's kind names ("small blind", "big blind", "small & big blinds", "the
// ante", "missed blind", GGPoker's short deck "button blind": the hand's one blind), the kind
// being the line's bytes [kind_start, sign_at - 1) with sign_at >= kind_start + 2 (the caller's
// test); nullopt for a kind that begins with a byte no kind has.
[[gnu::always_inline]] inline std::optional<ActionType> post_kind(string_view line,
                                                                  size_t kind_start,
                                                                  size_t sign_at) noexcept {
    if (line[sign_at - 2] == 's') return ActionType::BigSmallBlind;
    switch (line[kind_start]) {
        case 'b': return ActionType::BigBlind;
        case 's': return ActionType::SmallBlind;
        case 't': return ActionType::Ante;
        case 'm': return ActionType::DeadBlind;
        default: return std::nullopt;
    }
}

// A post whose blind kind begins with a byte that no kind has.
[[noreturn, gnu::cold, gnu::noinline]] void fault_blind_kind(string_view line, size_t kind_start) {
    std::string msg = "Unexpected character '";
    msg.append(char_at(line, kind_start));
    msg += "' in blind line: ";
    append_quoted(msg, line);
    fault_unreachable(msg);
}

// A pre-deal line that is no post: a straddle (its ": straddle " at `straddle`, npos when the
// line has none), a status, chat or join line; nullopt for any other.
[[gnu::noinline]] std::optional<Action> other_pre_deal_line(Parser& p, string_view line,
                                                            AmountForm cur, size_t straddle) {
    // "<name>: straddle $0.04": a blind the player chose to post.
    if (straddle != npos) {
        const auto amount = decimal_after_first(rest(line, straddle), cur);
        if (!amount) fault_missing("amount", line);
        return p.make_action(cut_name(line, 0, straddle), ActionType::ExtraBlind, amount->value);
    }
    if (auto status = status_line(p, line)) return status;
    if (!line.empty() && line.back() == '"') return chat_line(p, line);
    if (const size_t joins = find_lit(line, " joins "); joins != npos)
        return join_line(p, line, joins);
    return std::nullopt;
}

// Any pre-deal line; nullopt for a line of no kind that it has.
[[gnu::noinline]] std::optional<Action> general_pre_deal_line(Parser& p, string_view line,
                                                              AmountForm cur) {
    static constexpr char kPosts[] = ": posts ";
    // Both phrases begin with ':': each colon of the line is tested once, in order, for the
    // first ": posts" and the first ": straddle " (a post is read whatever stands before it).
    size_t posts = npos, straddle = npos;
    for (size_t colon = find_byte(line, ':'); colon != npos;
         colon = find_byte(line, ':', colon + 1)) {
        const string_view at = line.substr(colon);
        if (starts(at, ": posts")) {
            posts = colon;
            break;
        }
        if (straddle == npos && starts(at, ": straddle ")) straddle = colon;
    }
    if (posts == npos) return other_pre_deal_line(p, line, cur, straddle);
    // The usual post ends with its amount after a '$': read from the end as a seat line's
    // chips are (the same value as the last amount's); any other line as the last amount.
    std::optional<SignedRead> amount;
    if (cur.sign == U'$' && cur.form != NumberForm::Chips && line.size() >= 10) {
        const auto quick =
            cash_chips_before(reinterpret_cast<const unsigned char*>(line.data()), line.size());
        if (quick && line[quick->start - 1] == '$')  // start >= 1: at most 7 of the 8 bytes
            amount = SignedRead{quick->value, quick->start - 1, line.size()};
    }
    if (!amount) amount = decimal_after_last(line, cur);
    if (!amount) fault_missing("amount", line);
    const size_t kind_start = posts + std::size(kPosts) - 1;
    if (amount->sign_at < kind_start + 2 || amount->sign_at > line.size())
        fault_missing("blind kind", line);
    const auto type = post_kind(line, kind_start, amount->sign_at);
    if (!type) fault_blind_kind(line, kind_start);
    return p.make_action(cut_name(line, 0, posts), *type, amount->value);
}

// The amount "$D.DD" that ends at `end` (>= 8), the usual blind of the small stakes, by one
// 8-byte load: the value that cash_chips_before reads for its digits, `start` at the first
// digit; nullopt for any other amount.
[[gnu::always_inline]] inline std::optional<ChipsRead> cents_before(const unsigned char* l,
                                                                    size_t end) noexcept {
    std::uint64_t w;
    std::memcpy(&w, l + end - 8, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    // Byte k holds the byte at end - 8 + k: "$D.DD" in bytes 3 to 7. Every byte tested is
    // zero in x but a digit's, which holds its value; a carry of the + 6 leaves a byte already
    // found wrong.
    const std::uint64_t x = w ^ 0x30302E3024000000u;
    const std::uint64_t bad =
        (x & 0xF0F0FFF0FF000000u) | ((x + 0x0606000600000000u) & 0x1010001000000000u);
    if (bad != 0) return std::nullopt;
    const auto cents = static_cast<unsigned>((x >> 32) & 0xF) * 100 +
                       static_cast<unsigned>((x >> 48) & 0xF) * 10 +
                       static_cast<unsigned>(x >> 56);
    return ChipsRead{static_cast<float>(cents) / 100.0f, end - 4};
}

// The usual cash post, "<name>: posts small blind $0.01": the line's first colon begins ": posts"
// (so no ": posts" stands before it), the amount at its end is one that cash_chips_before reads
// and the kind between them is one of the posts'. It reads the line as general_pre_deal_line
// does; nullopt for any other line, left to that reader.
[[gnu::always_inline]] inline std::optional<Action> quick_post(Parser& p, string_view line) {
    static constexpr char kPosts[] = ": posts ";
    constexpr size_t kKind = std::size(kPosts) - 1;
    const size_t n = line.size();
    const size_t colon = find_byte(line, ':');
    // The kind's two bytes at least, a byte before the '$' and one digit after it.
    if (colon == npos || colon == 0 || n < colon + kKind + 4 ||
        std::memcmp(line.data() + colon, kPosts, kKind - 1) != 0 ||
        is_continuation(static_cast<unsigned char>(line[0])))
        return std::nullopt;
    // n >= 12: the 8 bytes before the end lie inside the line, and start >= 1.
    const auto* const l = reinterpret_cast<const unsigned char*>(line.data());
    auto amount = cents_before(l, n);
    if (!amount) {
        amount = cash_chips_before(l, n);
        if (!amount || l[amount->start - 1] != '$') return std::nullopt;
    }
    const size_t sign_at = amount->start - 1;
    const size_t kind_start = colon + kKind;
    if (sign_at < kind_start + 2) return std::nullopt;
    const auto type = post_kind(line, kind_start, sign_at);
    if (!type) return std::nullopt;
    return Action::with_amount(*type, p.find_player(string_view(line.data(), colon)),
                               amount->value);
}

// ---------------------------------------------------------------------------------------------
// Betting rounds
// ---------------------------------------------------------------------------------------------

// Amount after the last sign of `text` and the name before the " collected " that ends at it
// ("<name> collected $1.20").
Action collect(Parser& p, string_view line, string_view text, ActionType type, AmountForm cur) {
    const auto amount = decimal_after_last(text, cur);
    if (!amount) fault_missing("amount", line);
    return p.make_action(name_before(line, amount->sign_at, " collected "), type, amount->value);
}

// Cards at the end of the line ("Alice: shows [Ah Kd]", "Alice: folds [7c 2d]").
Action cards_at_end(Parser& p, string_view line) {
    const size_t open = rfind_byte(line, '[');
    if (open == npos) fault_missing("'['", line);
    static constexpr string_view kShows = ": shows ", kVerbAfter = ": ";
    static_assert(kShows.size() == string_view(": folds ").size());
    const string_view name = name_before(line, open, kShows);
    const CardSet cards = parse_cards(slice(line, open + 1, line.size() - 1));
    // The verb's first letter tells the two apart.
    const size_t verb = open - kShows.size() + kVerbAfter.size();
    const ActionType type = byte_at(line, verb) == 's' ? ActionType::Show : ActionType::Fold;
    return p.make_card_action(name, type, cards);
}

// A collect line ends with one of the three pots it can name ("... collected $2 from pot",
// "... from main pot", "... from side pot"), tested by the pot's last words; a player whose
// name merely ends in "pot" (an uncalled bet returned to "windapot") is not one.
struct PotEnding {
    Ending ending;
    ActionType type;
};
constexpr PotEnding kPotEndings[] = {
    {Ending(" from pot"), ActionType::CollectMainPot},
    {Ending(" from main pot", " main pot"), ActionType::CollectMainPot},
    {Ending(" from side pot", " side pot"), ActionType::CollectSidePot1},
};
// The pot a collect line ends with; nullptr for a line that is none.
const PotEnding* collect_row(string_view line) noexcept {
    return line.size() >= 3 && line.back() == 't' ? ending_row(line, kPotEndings) : nullptr;
}
// The same with a numbered pot: "... from side pot-1", "... from side pot-2".
constexpr string_view kPotNumber = "-1";
bool is_numbered_collect_line(string_view line) noexcept {
    const size_t n = line.size();
    return n >= 2 && (line[n - 1] == '1' || line[n - 1] == '2') && line[n - 2] == '-' &&
           ending_row(line.substr(0, n - kPotNumber.size()), kPotEndings) != nullptr;
}

// The amount is searched in the text before the pot's phrase `e` (and its number).
Action collect_pot(Parser& p, string_view line, AmountForm cur, const PotEnding* e, bool numbered) {
    const size_t cut = (numbered ? kPotNumber.size() : 0) + e->ending.phrase.size();
    const string_view text = line.substr(0, line.size() > cut ? line.size() - cut : 0);
    const bool second_side =
        numbered && e->type == ActionType::CollectSidePot1 && line.back() == '2';
    return collect(p, line, text, second_side ? ActionType::CollectSidePot2 : e->type, cur);
}
Action collect_numbered_pot(Parser& p, string_view line, AmountForm cur) {
    const PotEnding* e = ending_row(line.substr(0, line.size() - kPotNumber.size()), kPotEndings);
    if (e == nullptr) fault_unreachable();
    return collect_pot(p, line, cur, e, true);
}

// "Uncalled bet ($0.50) returned to <name>": the name is all that follows the phrase after the
// amount. A line of another shape names the player after the last "ed to ".
Action uncalled(Parser& p, string_view line, AmountForm cur) {
    static constexpr string_view kUncalled = "Uncalled bet (";
    static constexpr string_view kReturnedTo = ") returned to ", kEdTo = "ed to ";
    const auto amount = decimal_at_start(rest(line, kUncalled.size()), cur);
    if (!amount) fault_missing("amount", line);
    size_t name_at = kUncalled.size() + amount->end;
    if (starts(rest(line, name_at), kReturnedTo)) {
        name_at += kReturnedTo.size();
    } else {
        const size_t to = rfind_str(line, kEdTo);
        if (to == npos) fault_missing("'returned to'", line);
        name_at = to + kEdTo.size();
    }
    return p.make_action(cut_name(line, name_at, line.size()), ActionType::UncalledBetReturned,
                         amount->value);
}

bool is_all_in(string_view line) noexcept { return ends(line, " in") || ends(line, "all-in"); }

constexpr Wager kWagers[] = {
    {": bets", ActionType::Bet, ActionType::BetAllIn},
    {": calls", ActionType::Call, ActionType::CallAllIn},
    {": raises", ActionType::Raise, ActionType::RaiseAllIn},
};

// The wager whose verb begins at the colon `at`: the amount after the verb and the space, and the
// name before the colon.
Action wager_at(Parser& p, string_view line, size_t at, const Wager& w, AmountForm cur) {
    const auto amount = decimal_at_start(rest(line, at + w.verb.size() + 1), cur);
    if (!amount) fault_missing("amount", line);
    return p.make_action(cut_name(line, 0, at), w.type(is_all_in(line)), amount->value);
}

// A name may hold ": " itself: the first occurrence of each verb at a colon counts, and the verbs
// are tried in their order (a bet before a call before a raise).
[[gnu::noinline]] std::optional<Action> bet_call_raise_among(Parser& p, string_view line,
                                                             size_t first, AmountForm cur) {
    // One pass over the colons of the line finds the first occurrence of each word.
    size_t at[3] = {npos, npos, npos};
    for (size_t c = first; c != npos; c = find_byte(line, ':', c + 1)) {
        const string_view from = line.substr(c);
        for (size_t w = 0; w < 3; ++w) {
            if (at[w] == npos && starts(from, kWagers[w].verb)) at[w] = c;
        }
    }
    for (size_t w = 0; w < 3; ++w)
        if (at[w] != npos) return wager_at(p, line, at[w], kWagers[w], cur);
    return std::nullopt;
}

std::optional<Action> bet_call_raise(Parser& p, string_view line, AmountForm cur) {
    const size_t colon = find_byte(line, ':');
    if (colon == npos) return std::nullopt;
    // Nearly every line has one colon, the one after the name: the verb's first letter after it
    // picks the one verb to compare. A bet at the first colon is the rule's answer whatever
    // follows; a call or a raise is when no later colon could begin a verb tried before it.
    size_t w;
    switch (byte_or_0(line, colon + 2)) {
        case 'b': w = 0; break;
        case 'c': w = 1; break;
        case 'r': w = 2; break;
        default: return bet_call_raise_among(p, line, colon, cur);
    }
    if (!starts(rest(line, colon), kWagers[w].verb) ||
        (w != 0 && find_byte(line, ':', colon + 1) != npos))
        return bet_call_raise_among(p, line, colon, cur);
    return wager_at(p, line, colon, kWagers[w], cur);
}

// Up to 8 bytes as one word, the first in the low bits: a verb compared with one load.
consteval std::uint64_t word_of(string_view bytes) {
    std::uint64_t w = 0;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i)
        w |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    return w;
}
[[gnu::always_inline]] inline std::uint64_t word_at(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}

// The usual wager line, "<name>: calls $0.50", "<name>: bets $2", "<name>: raises $2 to $4 and
// is all-in", read from its first colon with one compare of the verb, and pushed. It is what
// parse_action_line reads such a line as: its last byte (a digit, or the "all-in" ending's) is
// none by which the dispatch tries a line kind ahead of the wagers, a line that begins
// "Uncalled " is left to the dispatch, a call or a raise is taken only when no later colon could
// begin a verb tried before it, and the name (the text before the colon) is cut as wager_at cuts
// it. False for any other line (an amount that the reader finds none in, a name that begins
// inside a character), which the dispatch then reads.
[[gnu::always_inline]] inline bool quick_wager(HandBuilder& b, string_view line, AmountForm cur) {
    static constexpr string_view kUncalled = "Uncalled ", kAllIn = "all-in";
    const size_t n = line.size();
    if (n < 9) return false;
    const auto last = static_cast<unsigned char>(line[n - 1]);
    if (!is_ascii_digit(last) && !(last == 'n' && ends(line, kAllIn))) return false;
    if (starts(line, kUncalled)) return false;
    const size_t colon = find_byte(line, ':');
    if (colon == npos || colon == 0 || colon + 8 > n ||
        is_continuation(static_cast<unsigned char>(line[0])))
        return false;
    constexpr std::uint64_t kBets = word_of(kWagers[0].verb), kCalls = word_of(kWagers[1].verb),
                            kRaises = word_of(kWagers[2].verb);
    static_assert(kWagers[0].verb.size() == 6 && kWagers[1].verb.size() == 7 &&
                  kWagers[2].verb.size() == 8);
    const std::uint64_t verb = word_at(line.data() + colon);
    size_t w;
    if ((verb & 0xFFFFFFFFFFFFu) == kBets) {
        w = 0;
    } else if ((verb & 0xFFFFFFFFFFFFFFu) == kCalls) {
        w = 1;
    } else if (verb == kRaises) {
        w = 2;
    } else {
        return false;
    }
    if (w != 0 && find_byte(line, ':', colon + 1) != npos) return false;
    const auto amount = decimal_at_start(rest(line, colon + kWagers[w].verb.size() + 1), cur);
    if (!amount) return false;
    const ActionType type = kWagers[w].type(is_all_in(line));
    b.push(Action::with_amount(type, b.parser().find_player(line.substr(0, colon)), amount->value));
    return true;
}

// "<name>: shows [Ah Kd] (a pair of Aces)"; `at` is where ": shows" begins.
Action shows(Parser& p, string_view line, size_t at) {
    static constexpr string_view kShows = ": shows ";
    const BracketedCards b = bracketed_cards(rest(line, at + kShows.size()));
    return p.make_card_action(cut_name(line, 0, at), ActionType::Show, b.cards);
}

// "<name>: shows [Ah Kd] (a pair of Aces)", read as the dispatch reads it: a line that ends in
// ')' is none that the dispatch's tests of the last byte take, one that does not begin
// "Uncalled " and holds a single colon is no wager, and its first ": shows" is at that colon.
// False for any other line, which the dispatch then reads.
[[gnu::always_inline]] inline bool quick_shows(HandBuilder& b, string_view line,
                                               const Variant& v) {
    static constexpr string_view kShows = ": shows";
    if (line.empty() || line.back() != ')' || !v.allows(RoundLine::Shows) ||
        starts(line, "Uncalled "))
        return false;
    const size_t colon = find_byte(line, ':');
    if (colon == npos || !starts(rest(line, colon), kShows) ||
        find_byte(line, ':', colon + 1) != npos)
        return false;
    b.push(shows(b.parser(), line, colon));
    return true;
}

// "<name> cashed out the hand for $4.50 | Cash Out Fee $0.05"; `at` is where the phrase begins.
Action cash_out(Parser& p, string_view line, size_t at, AmountForm cur) {
    static constexpr string_view kCashedOut = " cashed out the hand for ";
    static constexpr char kFee[] = " Fee ";
    if (at < 3) fault_missing("player name", line);
    const string_view from = rest(line, at + kCashedOut.size());
    const auto amount = decimal_after_first(from, cur);
    if (!amount) fault_missing("cash-out amount", line);
    float fee = 0.0f;
    const string_view after = rest(from, amount->end);
    if (const size_t f = find_lit(after, kFee); f != npos) {
        const auto v = decimal_after_first(rest(after, f + std::size(kFee) - 1), cur);
        if (!v) fault_missing("cash-out fee", line);
        fee = v->value;
    }
    const std::uint32_t index = p.store().push_amounts({amount->value, fee});
    const std::uint8_t id = p.find_player(line.substr(0, at));
    return Action::make(ActionType::CashOut, id, index);
}

// ---------------------------------------------------------------------------------------------
// Stud and draw
// ---------------------------------------------------------------------------------------------

// A line of the games without a board that no flop game's round holds: the cards dealt on a
// stud street or after a draw, a bring-in and its completion, a discard, a player standing pat.
// False for any other line (and for a draw game's first deal, which is read as a flop game's).
[[gnu::noinline]] bool boardless_line(HandBuilder& b, string_view line, AmountForm cur,
                                      Round round) {
    static constexpr string_view kDealtTo = "Dealt to ", kBringsIn = ": brings in for ",
                                 kCompletes = ": completes it to ";
    Parser& p = b.parser();
    const GameType game = b.header().game_type;
    if (starts(line, kDealtTo)) {
        if (is_stud(game))
            return stud_dealt_line(b, line, round == Round::Preflop, round == Round::Seventh);
        return round != Round::Preflop && draw_dealt_line(b, line);
    }
    const auto amount_after = [&](size_t at, string_view phrase, ActionType type) {
        const auto amount = decimal_after_first(rest(line, at + phrase.size()), cur);
        if (!amount) fault_missing("amount", line);
        b.push(p.make_action(cut_name(line, 0, at), type, amount->value));
        return true;
    };
    if (const size_t at = find_str(line, kBringsIn); at != npos)
        return amount_after(at, kBringsIn, ActionType::BringIn);
    if (const size_t at = find_str(line, kCompletes); at != npos)
        return amount_after(at, kCompletes, ActionType::Complete);
    return draw_line(b, line, ": ");
}

// Rows that test the line's ending are tried only when the last byte allows them; the order of
// the rows that remain is unchanged, so the first row that matches still decides.
// Half the lines of the rounds: inline (forced) into the round loop, ahead of the dispatch.
[[gnu::always_inline]] inline std::optional<Action> fold_or_check(Parser& p, string_view line) {
    static constexpr ActionEnding kRows[] = {
        {Ending(": folds"), ActionType::Fold},
        {Ending(": checks"), ActionType::Check},
    };
    const ActionEnding* e = ending_row(line, kRows);
    if (e == nullptr) return std::nullopt;
    return Action::make(e->type, p.player_id(e->ending.name(line)), kNoPayload);
}

std::optional<Action> hand_not_shown(Parser& p, string_view line, const Variant& v);

// The lines a round ends most of, read as the dispatch reads them by one 8-byte load of the
// line's end: "<name>: folds", "<name>: checks" (fold_or_check), "<name>: doesn't show hand",
// "<name>: mucks hand" (hand_not_shown; whole phrase compared) and "<name> collected $2 from pot"
// (collect_pot). A name that ends at a ':' ends on a whole character and one of a line longer
// than its phrase holds a byte, so the one check it needs is of its first byte. False for any
// other line, and for a name that begins inside a character, which the dispatch then reads (and
// rejects).
[[gnu::always_inline]] inline bool quick_ending_line(HandBuilder& b, string_view line,
                                                     AmountForm cur, const Variant& v) {
    static constexpr string_view kFolds = ": folds", kChecks = ": checks",
                                 kNoShow = ": doesn't show hand", kMucks = ": mucks hand";
    static_assert(kFolds.size() == 7 && kChecks.size() == 8);
    const size_t n = line.size();
    if (n <= kChecks.size() || is_continuation(static_cast<unsigned char>(line[0]))) return false;
    const std::uint64_t end = word_at(line.data() + n - 8);
    size_t name_end;
    ActionType type;
    if ((end >> 8) == word_of(kFolds)) {
        name_end = n - kFolds.size();
        type = ActionType::Fold;
    } else if (end == word_of(kChecks)) {
        name_end = n - kChecks.size();
        type = ActionType::Check;
    } else if (end == word_of(kNoShow.substr(kNoShow.size() - 8))) {
        if (n <= kNoShow.size() || !ends(line, kNoShow)) return false;
        name_end = n - kNoShow.size();
        type = ActionType::Muck;
    } else if (end == word_of(kMucks.substr(kMucks.size() - 8))) {
        if (n <= kMucks.size() || !ends(line, kMucks)) return false;
        name_end = n - kMucks.size();
        type = v.mucks_hand;
    } else if (end == word_of("from pot") && line[n - 9] == ' ') {
        // The first pot's ending (" from pot"): what collect_row finds first.
        b.push(collect_pot(b.parser(), line, cur, &kPotEndings[0], false));
        return true;
    } else {
        return false;
    }
    b.push(Action::make(type, b.parser().player_id(line.substr(0, name_end)), kNoPayload));
    return true;
}

std::optional<Action> hand_not_shown(Parser& p, string_view line, const Variant& v) {
    static constexpr ActionEnding kRows[] = {
        {Ending(": mucks hand", "s hand"), ActionType::Fold},
        {Ending(": doesn't show hand", "w hand"), ActionType::Muck},
    };
    const ActionEnding* e = ending_row(line, kRows);
    if (e == nullptr) return std::nullopt;
    const ActionType type = e == &kRows[0] ? v.mucks_hand : e->type;
    return Action::make(type, p.player_id(e->ending.name(line)), kNoPayload);
}

// "<name> shows [Ad 4c] for Pair [Ah Ad Kc Jd 8c]" (or without the hand named): the first
// bracket holds the player's cards. Nullopt for the colon's form ("<name>: shows [...]").
std::optional<Action> shows_for(Parser& p, string_view line) {
    static constexpr string_view kShows = " shows [";
    const size_t at = find_str(line, kShows);
    if (at == npos || at == 0 || line[at - 1] == ':') return std::nullopt;
    const BracketedCards b = bracketed_cards(rest(line, at + kShows.size() - 1));
    return p.make_card_action(cut_name(line, 0, at), ActionType::Show, b.cards);
}

constexpr char kPaysPremium[] = ": pay premium of all-in insurance (";

// One line of a betting round; nullopt when the line is none that the variant's rounds hold.
std::optional<Action> parse_action_line(Parser& p, string_view line, AmountForm cur,
                                        const Variant& v) {
    if (line.empty()) return std::nullopt;
    const bool status = v.allows(RoundLine::Status);
    switch (line.back()) {
        case 's':
            if (auto a = fold_or_check(p, line)) return a;
            break;
        case 'd':
            if (auto a = hand_not_shown(p, line, v)) return a;
            if (status)
                if (auto a = status_line(p, line)) return a;
            break;
        case ']':
            if (v.allows(RoundLine::ShowsFor))
                if (auto a = shows_for(p, line)) return a;
            return cards_at_end(p, line);
        case '"':
            if (v.allows(RoundLine::Chat)) return chat_line(p, line);
            break;
        case 't':
            // A line ends either in one of the three pots or in a status ending, never both.
            if (const PotEnding* e = collect_row(line)) return collect_pot(p, line, cur, e, false);
            if (status)
                if (auto a = status_line(p, line)) return a;
            break;
        case 'e':
        case 'n':
            if (status)
                if (auto a = status_line(p, line)) return a;
            break;
        default: break;
    }
    if (starts(line, "Uncalled ")) return uncalled(p, line, cur);
    if (auto a = bet_call_raise(p, line, cur)) return a;
    if (v.allows(RoundLine::Shows))
        if (const size_t at = find_lit(line, ": shows"); at != npos) return shows(p, line, at);
    if (v.allows(RoundLine::CashOut))
        if (const size_t at = find_lit(line, " cashed o"); at != npos)
            return cash_out(p, line, at, cur);
    if (v.allows(RoundLine::Join))
        if (const size_t at = find_lit(line, " joins "); at != npos) return join_line(p, line, at);
    if (is_numbered_collect_line(line)) return collect_numbered_pot(p, line, cur);
    if (v.allows(RoundLine::Insurance))
        if (const size_t at = find_lit(line, kPaysPremium); at != npos) {
            const size_t from = at + std::size(kPaysPremium) - 1;
            const auto premium = decimal_after_first(rest(line, from), cur);
            if (!premium) fault_missing("premium", line);
            return p.make_action(cut_name(line, 0, at), ActionType::Insurance, premium->value);
        }
    return std::nullopt;
}

// A line of a round, pushed as its action: one of the variant's kinds, or in a tournament hand one
// of the lines only tournaments hold. A line that carries nothing is read past. False when no
// kind takes the line. Once per action line: inline (forced, or the reader around it calls it and
// stops taking the line step inline).
template <bool kTournament>
[[gnu::always_inline]] inline bool round_line(HandBuilder& b, string_view line, AmountForm cur,
                                              const Variant& v) {
    // Lines that carry nothing: a hi/lo hand without a low, a limit round at its last raise.
    static constexpr string_view kNoLow = "No low hand qualified", kCapped = "Betting is capped";
    static constexpr char kInsured[] = ": get an all-in insurance (";
    // The most common lines are read without the dispatch's call: parse_action_line reads them
    // so too.
    if (quick_ending_line(b, line, cur, v) || quick_wager(b, line, cur) || quick_shows(b, line, v))
        return true;
    auto a = parse_action_line(b.parser(), line, cur, v);
    if constexpr (kTournament) {
        if (!a) a = tournament::event_line(b, line);
    }
    if (a) b.push(*a);
    if constexpr (kTournament) {
        if (!a && tournament::is_prize_line(line)) return true;
    }
    // "Bob:" and nothing after it (some 2021 cash histories write one per all-in player where
    // their cards would be shown): a player's line that says nothing.
    return a || line == kNoLow || line == kCapped ||
           (v.allows(RoundLine::Insurance) && find_lit(line, kInsured) != npos) ||
           (line.size() > 1 && line.back() == ':' &&
            b.parser().is_player(line.substr(0, line.size() - 1)));
}

// ---------------------------------------------------------------------------------------------
// Summary
// ---------------------------------------------------------------------------------------------

PotInfo parse_pot_line(string_view line, AmountForm cur, bool rake_optional) {
    static constexpr char kMainPot[] = "Main pot ";
    static constexpr char kSidePot[] = "Side pot";
    static constexpr string_view kPotNumber = "-1";
    PotInfo pots;
    // The site's take: every part after the first '|', each an amount after a one-word name ("|
    // Rake $0.10", GGPoker's "| Rake $0.02 | Jackpot $0.02 | Bingo $0").
    size_t bar = find_byte(line, '|');
    Money fees = 0, jackpot = 0;
    if (bar == npos && !rake_optional) fault_missing("'|' before the rake", line);
    while (bar != npos) {
        const size_t next = find_byte(line, '|', bar + 1);
        const string_view part = slice(line, bar, next == npos ? line.size() : next);
        bar = next;
        const size_t word_end = find_byte(part, ' ', 2);
        if (word_end == npos || word_end + 1 >= part.size()) continue;
        string_view r = part.substr(word_end + 1);
        if (cur.sign != 0) {
            if (const auto sign = currency_symbol(r); sign && sign->sign == cur.sign)
                r = r.substr(sign->len);
        }
        const auto fee = read_number(r, cur);
        if (!fee) fault_missing("rake", line);
        // Added up exactly: a float sum of the parts would print as 0.029999999.
        fees += money_of(fee->value);
        if (part.substr(2, word_end - 2) != "Rake") jackpot += money_of(fee->value);
    }
    pots.rake = static_cast<float>(money_value(fees));
    pots.jackpot = static_cast<float>(money_value(jackpot));
    const auto total = decimal_after_first(line, cur);
    if (!total) fault_missing("total pot", line);
    pots.total = total->value;
    size_t pos = total->end;

    const size_t sign_len = sign_length(cur);
    if (const size_t m = find_lit(line, "Main ", pos); m != npos) {
        const size_t at = m + std::size(kMainPot) - 1 + sign_len;
        const auto main = read_number(rest(line, at), cur);
        if (!main) fault_missing("main pot", line);
        pots.main = main->value;
        pos = at + main->len;
    } else {
        pots.main = pots.total;
    }
    float* sides[] = {&pots.side_1, &pots.side_2, &pots.side_3};
    unsigned side_count = 0;
    for (;;) {
        const size_t s = find_lit(line, "Side ", pos);
        if (s == npos) break;
        // "Side pot $1.50." or "Side pot-2 $1.50."
        const size_t after = s + std::size(kSidePot) - 1;
        if (after >= line.size()) fault_missing("side pot", line);
        const size_t start = after + (line[after] == '-' ? kPotNumber.size() : 0) + 1 + sign_len;
        const auto side = read_number(rest(line, start), cur);
        if (!side) fault_missing("side pot", line);
        // More than three side pots: the first three are kept.
        if (side_count < 3) *sides[side_count] = side->value;
        ++side_count;
        pos = start + side->len + 1;
    }
    return pots;
}

// "Total pot $2.50 | Rake $0.10", the usual pot line, read once from left to right: the total
// where "Total pot " ends, then " | Rake " and the rake, which ends the line. Nothing else in
// such a line can be a '|', a main pot or a side pot, so parse_pot_line reads it the same way;
// nullopt for any other line, which it then reads.
std::optional<PotInfo> quick_pot_line(string_view line, AmountForm cur) {
    static constexpr string_view kTotal = "Total pot ", kRake = " | Rake ";
    if (!starts(line, kTotal)) return std::nullopt;
    const auto total = decimal_at_start(line.substr(kTotal.size()), cur);
    if (!total || total->sign_at != 0) return std::nullopt;
    const size_t bar = kTotal.size() + total->end;
    if (!starts(rest(line, bar), kRake)) return std::nullopt;
    string_view r = line.substr(bar + kRake.size());
    // The rake's sign, skipped as parse_pot_line skips it (currency_symbol reads '$' as itself).
    if (cur.sign == U'$') {
        if (!r.empty() && r[0] == '$') r.remove_prefix(1);
    } else if (cur.sign != 0) {
        if (const auto sign = currency_symbol(r); sign && sign->sign == cur.sign)
            r.remove_prefix(sign->len);
    }
    const auto rake = read_number(r, cur);
    if (!rake || rake->len != r.size()) return std::nullopt;
    PotInfo pots;
    pots.total = pots.main = total->value;
    pots.rake = static_cast<float>(money_value(money_of(rake->value)));
    return pots;
}

// Of the bytes of `text` from `at` (< size) to at most `at` + 16: the bits of the spaces and
// those of the bytes 'w' and 'l' (bit i for byte at + i). A text of 16 bytes or more is loaded
// 16 bytes at a time, the last load ending at the text's end (the bytes before `at` shifted out),
// so no load leaves it.
struct WordBits {
    std::uint32_t spaces, w_or_l;
};
[[gnu::always_inline]] inline WordBits word_bits(string_view text, size_t at) noexcept {
    const size_t n = text.size();
#ifdef HS_SIMD_SSE2
    if (n >= 16) {
        const size_t base = at + 16 <= n ? at : n - 16;
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + base));
        const auto bits = [&](__m128i eq) __attribute__((always_inline)) {
            return static_cast<std::uint32_t>(_mm_movemask_epi8(eq)) >> (at - base);
        };
        return {bits(_mm_cmpeq_epi8(block, _mm_set1_epi8(' '))),
                bits(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('w')),
                                  _mm_cmpeq_epi8(block, _mm_set1_epi8('l'))))};
    }
#endif
    WordBits bits{0, 0};
    for (size_t i = at; i < n && i < at + 16; ++i) {
        bits.spaces |= std::uint32_t{text[i] == ' '} << (i - at);
        bits.w_or_l |= std::uint32_t{text[i] == 'w' || text[i] == 'l'} << (i - at);
    }
    return bits;
}

// "... showed [cards] and won ($1.50) with ..., and lost with ...": each word "won" or "lost" is
// one game of the hand (a board of a hand run twice), in order; a "won" is a winner, with the
// amount of the word after it when that word is one ("won ($1.50)", or "won 420" as Run It Once
// writes it). Words are parted by single spaces (two make an empty word): only the words that
// begin with 'w' or 'l' (found 16 bytes at a time) are compared.
void read_results(Parser& p, string_view text, std::uint8_t id, AmountForm cur, string_view line) {
    auto& winners = p.store().winners;
    std::uint8_t game = 0;
    const size_t n = text.size();
    const char* const t = text.data();
    const auto won = [&](size_t to) __attribute__((always_inline)) {
        ++game;
        winners.push_back(Winner{id, 0.0f, static_cast<std::uint8_t>(game - 1)});
        // The word after "won " (empty when the text ends there or a second space follows).
        if (to + 1 > n) return;
        size_t end = find_byte(text, ' ', to + 1);
        if (end == npos) end = n;
        const string_view next = text.substr(to + 1, end - to - 1);
        if (!next.empty() &&
            (next.front() == '(' || is_ascii_digit(static_cast<unsigned char>(next.front())) ||
             (cur.sign != 0 && currency_symbol(next)))) {
            const auto amount = decimal_after_first(next.substr(next.front() == '(' ? 1 : 0), cur);
            if (!amount) fault_missing("amount won", line);
            winners.back().amount = amount->value;
        }
    };
    // Whether the word at `i` is `word` whole.
    const auto is_word = [&](size_t i, string_view word) __attribute__((always_inline)) {
        const size_t end = i + word.size();
        return end <= n && std::memcmp(t + i, word.data(), word.size()) == 0 &&
               (end == n || t[end] == ' ');
    };
    std::uint32_t carry = 1;  // a word begins at the text's first byte
    for (size_t at = 0; at < n; at += 16) {
        const WordBits bits = word_bits(text, at);
        std::uint32_t first = ((bits.spaces << 1) | carry) & bits.w_or_l;
        carry = (bits.spaces >> 15) & 1;
        for (; first != 0; first &= first - 1) {
            const size_t i = at + static_cast<size_t>(std::countr_zero(first));
            if (t[i] == 'l') {
                if (is_word(i, "lost")) ++game;
            } else if (is_word(i, "won")) {
                won(i + 3);
            }
        }
    }
}

// Whether `line` ends with `phrase`, a literal of 16 to 32 bytes: two 16-byte compares, one at
// the phrase's start and one ending with it (they overlap for a phrase shorter than 32 bytes);
// both loads lie inside the line and inside the literal.
template <size_t N>
[[gnu::always_inline]] inline bool ends_with_phrase(string_view line,
                                                    const char (&phrase)[N]) noexcept {
    constexpr size_t len = N - 1;
    static_assert(len >= 16 && len <= 32);
    if (line.size() < len) return false;
    const char* const at = line.data() + line.size() - len;
#ifdef HS_SIMD_SSE2
    const auto load = [](const char* p) __attribute__((always_inline)) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    const __m128i head = _mm_cmpeq_epi8(load(at), load(phrase));
    const __m128i tail = _mm_cmpeq_epi8(load(at + len - 16), load(phrase + len - 16));
    return _mm_movemask_epi8(_mm_and_si128(head, tail)) == 0xFFFF;
#else
    return std::memcmp(at, phrase, len) == 0;
#endif
}

// The start of the fold phrase that a summary seat line ends with, npos when it ends with none
// of the common ones ("Seat 3: Bob (button) folded before Flop (didn't bet)"). Picked by the last
// byte, then compared whole.
[[gnu::always_inline]] inline size_t fold_phrase_at(string_view line) noexcept {
    static constexpr char kNoBet[] = " folded before Flop (didn't bet)",
                          kBeforeFlop[] = " folded before Flop", kOnFlop[] = " folded on the Flop",
                          kOnTurn[] = " folded on the Turn", kOnRiver[] = " folded on the River";
    const auto at = [line](const auto& phrase) __attribute__((always_inline)) {
        return ends_with_phrase(line, phrase) ? line.size() - (std::size(phrase) - 1) : npos;
    };
    switch (line.empty() ? '\0' : line.back()) {
        case ')': return at(kNoBet);
        case 'p': return ends(line, "re Flop") ? at(kBeforeFlop) : at(kOnFlop);
        case 'n': return at(kOnTurn);
        case 'r': return at(kOnRiver);
        default: return npos;
    }
}

[[gnu::noinline]] SeatResult parse_seat_result(Parser& p, string_view line, AmountForm cur,
                                               bool notes_after_fold, Action& out) {
    if (!starts(line, "Seat ")) return SeatResult::Reject;
    // The colon follows a seat number of one or two digits: bytes 5 to 7 are looked at first.
    const auto colon_at = [&](size_t i) { return i < line.size() && line[i] == ':'; };
    const size_t colon = colon_at(5)   ? 5
                         : colon_at(6) ? 6
                         : colon_at(7) ? 7
                                       : find_byte(line, ':', 8);
    if (colon == npos) fault_missing("':' after the seat number", line);
    const size_t ns = colon + 2;
    // The name before `end`, without the position notes that only a name ending in ')' can have.
    auto name_to = [&](size_t end) {
        if (end < ns) fault_missing("player name", line);
        const string_view name = slice(line, ns, end);
        return cut_name(line,
                        !name.empty() && name.back() == ')' ? strip_position_notes(name) : name);
    };
    // Most seat lines end with a fold whose whole phrase is known by the line's last bytes: the
    // name ends where the phrase begins. The others take the general reading below.
    if (const size_t f = fold_phrase_at(line); f != npos && f >= ns) {
        out = Action::make(ActionType::Fold, p.find_player(name_to(f)), kNoCards);
        return SeatResult::Action;
    }
    if (line.size() > 6) {
        // The endings, picked by the last byte.
        static constexpr ActionEnding kEndings[] = {
            {Ending(" folded"), ActionType::Fold},
            {Ending(" mucked"), ActionType::Muck},
        };
        bool fold_before = false;
        switch (line.back()) {
            case 'd':
                if (const ActionEnding* e = ending_row(line, kEndings)) {
                    const size_t end = line.size() - e->ending.phrase.size();
                    out = Action::make(e->type, p.find_player(name_to(end)), kNoCards);
                    return SeatResult::Action;
                }
                break;
            // "... folded before Flop (timeout)" too, where the variant writes notes so.
            case ')':
                fold_before = ends(line, "n't bet)") ||
                              (notes_after_fold && find_lit(line, " folded before ", ns) != npos);
                break;
            case 'p': fold_before = ends(line, "re Flop") || ends(line, "he Flop"); break;
            case 'n': fold_before = ends(line, "he Turn") || ends(line, "re Turn"); break;
            case 'r': fold_before = ends(line, "he River") || ends(line, "re River"); break;
            // stud's "folded on the 5th Street", a draw game's "folded after the 1st Draw"
            case 't': fold_before = ends(line, " Street"); break;
            case 'w': fold_before = ends(line, " Draw"); break;
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
    // Shown and mucked cards need a '[' after the name; most lines (collections) hold none. The
    // phrases are found by their last bytes.
    static constexpr Ending kShowed(" showed [", "wed [");
    static constexpr Ending kMucked(" mucked [", "ked [");
    const auto phrase_start = [&](const Ending& e, size_t test_at) {
        const size_t back = e.phrase.size() - e.test.size();
        if (test_at < back) fault_missing("player name", line);
        return test_at - back;
    };
    const bool bracket = find_byte(line, '[', ns) != npos;
    // "Seat 5: Bob (small blind) mucked hand and won 80": a winner who did not show.
    static constexpr char kMuckedHand[] = " mucked hand";
    if (const size_t m = bracket ? npos : find_lit(line, kMuckedHand, ns); m != npos) {
        out = Action::make(ActionType::Muck, p.find_player(name_to(m)), kNoCards);
        read_results(p, rest(line, m + std::size(kMuckedHand) - 1), out.player_id(), cur, line);
        return SeatResult::Action;
    }
    if (const size_t w = bracket ? find_lit(line, "wed [", ns) : npos; w != npos) {
        const string_view name = name_to(phrase_start(kShowed, w));
        const BracketedCards b = bracketed_cards(line.substr(w));
        out = p.make_card_action(name, ActionType::Show, b.cards);
        if (b.close != 0) read_results(p, rest(line, w + b.close), out.player_id(), cur, line);
        return SeatResult::Action;
    }
    if (const size_t k = bracket ? rfind_str(line, kMucked.test) : npos; k != npos && k >= ns) {
        const string_view name = name_to(phrase_start(kMucked, k));
        const BracketedCards b = bracketed_cards(line.substr(k));
        out = p.make_card_action(name, ActionType::Muck, b.cards);
        return SeatResult::Action;
    }
    // "Seat 2: Bob collected ($0.04)", or "Seat 6: Bob (big blind) won (12600)" in histories
    // converted from another layout.
    const size_t open = rfind_byte(line, '(');
    if (open == npos || open < ns) return SeatResult::Skip;
    const auto amount = decimal_after_first(line.substr(open + 1), cur);
    if (!amount) fault_missing("amount collected", line);
    static constexpr string_view kCollected = " collected ", kWon = " won ";
    const string_view phrase = ends(line.substr(0, open), kWon) ? kWon : kCollected;
    if (open < phrase.size()) fault_missing("player name", line);
    out = p.make_action(name_to(open - phrase.size()), ActionType::CollectMainPot, amount->value);
    p.store().winners.push_back(Winner{out.player_id(), amount->value, 0});
    return SeatResult::Action;
}

// The name of a summary seat line from `ns` to `end`, where a phrase's or a note's space stands
// (so that the name ends on a character's boundary), without its position notes; empty where
// parse_seat_result faults (an empty name, or one that begins inside a character).
[[gnu::always_inline]] inline string_view seat_result_name(string_view line, size_t ns,
                                                           size_t end) noexcept {
    const string_view name = strip_position_notes(line.substr(ns, end - ns));
    return name.empty() || is_continuation(static_cast<unsigned char>(line[ns])) ? string_view()
                                                                                : name;
}

// Whether a byte of `line` from `from` on is `a` or `b`: 16 bytes at a time where the line has
// 16 or more (the last load ending at the line's end, the bytes before `from` shifted out).
[[gnu::always_inline]] inline bool holds_either(string_view line, size_t from, char a,
                                                char b) noexcept {
    const size_t n = line.size();
#ifdef HS_SIMD_SSE2
    if (n >= 16) {
        const __m128i want_a = _mm_set1_epi8(a), want_b = _mm_set1_epi8(b);
        for (size_t at = from; at < n; at += 16) {
            const size_t base = at + 16 <= n ? at : n - 16;
            const __m128i block =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + base));
            const auto hits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(
                _mm_cmpeq_epi8(block, want_a), _mm_cmpeq_epi8(block, want_b))));
            if ((hits >> (at - base)) != 0) return true;
        }
        return false;
    }
#endif
    for (size_t i = from; i < n; ++i)
        if (line[i] == a || line[i] == b) return true;
    return false;
}

// "Seat 2: Bob (button) collected ($1.25)" (or "won (12600)"), whose name starts at `ns` and
// whose last byte is ')': its collection and winner pushed, where parse_seat_result reads the
// line the same way only (no '[' and no " mucked hand" after the seat number, no fold note at the
// end, and a variant whose folds carry no notes after them); false otherwise, nothing pushed.
[[gnu::noinline]] bool quick_collection(HandBuilder& b, string_view line, size_t ns,
                                        AmountForm cur, bool notes_after_fold) {
    static constexpr string_view kCollected = " collected ", kWon = " won ";
    // Both searches at once by their rarest bytes ('[', the 'k' of " mucked hand"): only a line
    // that holds either from the name on is searched for them.
    if (notes_after_fold || ends(line, "n't bet)") ||
        (holds_either(line, ns, '[', 'k') &&
         (find_byte(line, '[', ns) != npos || find_lit(line, " mucked hand", ns) != npos)))
        return false;
    const size_t open = rfind_byte(line, '(');
    if (open == npos || open < ns + kCollected.size()) return false;
    const string_view before = line.substr(0, open);
    const string_view phrase = ends(before, kWon)         ? kWon
                               : ends(before, kCollected) ? kCollected
                                                          : string_view();
    if (phrase.empty()) return false;
    const auto amount = decimal_at_start(line.substr(open + 1), cur);
    const string_view name = seat_result_name(line, ns, open - phrase.size());
    if (!amount || name.empty()) return false;
    Parser& p = b.parser();
    const Action a = p.make_action(name, ActionType::CollectMainPot, amount->value);
    b.push(a);
    p.store().winners.push_back(Winner{a.player_id(), amount->value, 0});
    return true;
}

// The usual summary seat lines, read at fixed places and from their ends: "Seat N: " (N of one
// or two bytes), the name with its position notes, then one of the common fold phrases
// (fold_phrase_at), or a collection (quick_collection). Pushes the line's action and returns
// true; returns false, having pushed nothing, for any other line, and for a line that
// parse_seat_result faults on, which parse_seat_result then reads.
[[gnu::always_inline]] inline bool quick_seat_result(HandBuilder& b, string_view line,
                                                     AmountForm cur, bool notes_after_fold) {
    if (line.size() < 9 || !starts(line, "Seat ") || line[5] == ':') return false;
    const size_t colon = line[6] == ':' ? 6 : line[7] == ':' ? 7 : 0;
    if (colon == 0) return false;
    const size_t ns = colon + 2;
    if (const size_t f = fold_phrase_at(line); f != npos) {
        const string_view name = f < ns ? string_view() : seat_result_name(line, ns, f);
        if (name.empty()) return false;
        b.push(Action::make(ActionType::Fold, b.parser().find_player(name), kNoCards));
        return true;
    }
    return line.back() == ')' && quick_collection(b, line, ns, cur, notes_after_fold);
}

// From the "*** SUMMARY ***" line to the end of the hand, with the chips the site added to the
// pot before the deal; an empty reason when it was read.
string_view parse_summary(HandBuilder& b, AmountForm cur, const Variant& v, float added) {
    Parser& p = b.parser();
    p.next_line();
    const auto quick_pots = quick_pot_line(p.line(), cur);
    PotInfo pots = quick_pots ? *quick_pots : parse_pot_line(p.line(), cur, v.rake_optional);
    pots.added = added;
    p.next_line();
    while (p.line().size() > 7 && starts(p.line(), "Hand was")) p.next_line();
    // "Board [..]" begins its line (a hand run twice writes "FIRST Board [..]" and so on).
    static constexpr char kBoard[] = "Board [";
    while (starts(p.line(), kBoard) || find_lit(p.line(), kBoard) != npos) p.next_line();

    const string_view reason = read_summary_seats(p, [&](string_view line) {
        if (quick_seat_result(b, line, cur, v.notes_after_fold)) return SeatResult::Action;
        Action a;
        const SeatResult r = parse_seat_result(p, line, cur, v.notes_after_fold, a);
        if (r == SeatResult::Action) b.push(a);
        return r;
    });
    if (!reason.empty()) return reason;
    b.close_summary(pots);
    return {};
}

// ---------------------------------------------------------------------------------------------
// One hand
// ---------------------------------------------------------------------------------------------

// The rounds after the preflop: each begins at its street line and ends at the next "*** "
// line; the streets end at the summary's. The games without a board (stud, draw) have a copy of
// their own, so that the flop games' loop holds none of their lines.
template <bool kTournament, bool kBoardless>
struct Streets {
    const Variant& v;
    AmountForm cur;
    GameType game;
    // The round being read (stud's streets tell which cards are dealt face up by it).
    mutable Round round = Round::Preflop;
    static bool at_summary(string_view line) noexcept {
        return line.size() >= 6 && starts(line, "*** SU");
    }
    std::optional<StreetLine> street_line(Parser& p) const {
        if constexpr (kBoardless) {
            if (const auto kind = boardless_street_line(p, game)) {
                round = round_of(*kind);
                return StreetLine{*kind, CardSet::empty()};
            }
            round = Round::Showdown;
        }
        return parse_street_line(p);
    }
    static bool round_ends(string_view line) noexcept { return is_stars_line(line); }
    // Once per line of a street: inline (forced) into the streets' loop.
    [[gnu::always_inline]] bool round_line(HandBuilder& b, string_view line) const {
        if constexpr (kBoardless) {
            if (boardless_line(b, line, cur, round)) return true;
        }
        return pokerstars::round_line<kTournament>(b, line, cur, v);
    }
};

// A hand after its hand line: the table line, seats, pre-deal lines, rounds and summary. A
// tournament hand's amounts are chips and its lines include those only tournaments hold; a cash
// hand's copy of the reader looks for none of that.
template <bool kTournament>
HandOutcome read_after_hand_line(HandBuilder& b, const Variant& v) {
    Parser& p = b.parser();
    Header& h = b.header();
    const AmountForm cur = kTournament ? kChipAmounts : v.amounts(h.currency);
    if (!read_table_line(p, h)) return reject("table line without a table name");
    if (!read_seat_lines(b, cur)) return reject("seat line without chips");
    float added = 0;
    const bool dollars = cur.sign == U'$' && cur.form != NumberForm::Chips;
    const string_view pre_deal = read_round(p, is_stars_line, [&](string_view line) {
        if (dollars) {
            if (const auto post = quick_post(p, line)) {
                b.push(*post);
                return string_view();
            }
        }
        auto a = general_pre_deal_line(p, line, cur);
        if constexpr (kTournament) {
            if (!a) a = tournament::event_line(b, line);
        }
        if (a) {
            b.push(*a);
        } else if (!v.pot_drop.empty() && starts(line, v.pot_drop)) {
            const auto drop = decimal_after_first(rest(line, v.pot_drop.size()), cur);
            if (!drop) fault_missing("amount", line);
            added += drop->value;
        } else {
            return kUnrecognisedPreDeal;
        }
        return string_view();
    });
    if (!pre_deal.empty()) return reject(pre_deal);
    b.close_pre_deal();
    // A tournament's ante is the header's; a cash hand's antes stay actions only.
    if constexpr (kTournament) h.ante = largest_ante(p.store(), h.actions);
    p.next_line();

    // Preflop. Courchevel shows the flop's first card before the round: "*** PRE-FLOP *** [8s]".
    static constexpr string_view kPreFlop = "*** PRE-FLOP *** [";
    CardSet shown = CardSet::empty();
    const bool boardless = is_boardless(h.game_type);
    for (;;) {
        // Once per line of the round: inline (forced) into its loop, not called per line.
        const string_view reason = read_round(
            p, is_stars_line, [&](string_view line) __attribute__((always_inline)) {
                if (boardless && boardless_line(b, line, cur, Round::Preflop))
                    return string_view();
                if (line.size() > 8 && starts(line, "Dealt to ")) {
                    const auto a = dealt_line(b, line);
                    if (!a) return kDealtCutOff;
                    b.push(*a);
                } else if (!round_line<kTournament>(b, line, cur, v)) {
                    return kUnrecognisedAction;
                }
                return string_view();
            });
        if (!reason.empty()) return reject(reason);
        if (!starts(p.line(), kPreFlop) || p.line().back() != ']') break;
        shown = parse_cards(slice(p.line(), kPreFlop.size(), p.line().size() - 1));
        p.next_line();
    }
    if (is_draw(h.game_type))
        close_draw_preflop(b);
    else
        b.close_preflop(shown);

    const string_view streets =
        boardless ? read_streets(b, Streets<kTournament, true>{v, cur, h.game_type})
                  : read_streets(b, Streets<kTournament, false>{v, cur, h.game_type});
    if (!streets.empty()) return reject(streets);

    if (const string_view reason = parse_summary(b, cur, v, added); !reason.empty())
        return reject(reason);
    return b.finish();
}

HandOutcome read_hand(HandBuilder& b, const Variant& v, StakesMemo& memo, DateMemo& dates) {
    b.header().site = v.site;
    parse_hand_line(b, v, memo, dates);
    return b.header().is_tournament() ? read_after_hand_line<true>(b, v)
                                      : read_after_hand_line<false>(b, v);
}

}  // namespace

// PokerStars: every line kind a round may hold; cash amounts may group their thousands ("$2,418.66
// in chips", written so in histories whose stakes name no currency code).
const Variant kPokerStars{
    Site::PokerStars,
    RoundLine::Status | RoundLine::Chat | RoundLine::Shows | RoundLine::CashOut | RoundLine::Join,
    {},
    "PokerStars ",
    tournament::read_tournament,
    false,
    {},
    true};

// The Pluribus logs: no status, chat, show, cash-out or join lines inside a round, and names
// keyed without the "Mr" that every player's name begins with.
const Variant kPluribus{Site::PokerStarsPluribus,    0,     "Mr", "PokerStars ",
                        tournament::read_tournament, false, {},   false};

// GGPoker: hand ids with letters ("RC58843003", "TM247771977"), tournaments named rather than
// priced, straddles, missed blinds, cash drops, all-in insurance, tournament pot lines without a
// rake, and cash amounts that group their thousands ("$1,289.63").
const Variant kGGPoker{
    Site::GGPoker,
    RoundLine::Status | RoundLine::Chat | RoundLine::Shows | RoundLine::Insurance,
    {},
    "Poker Hand #",
    tournament::read_named_tournament,
    true,
    "Cash Drop to Pot ",
    true};

// Run It Once Poker: status and chat lines, "<name> shows [...] for <hand>", a winner's "mucks
// hand", and tournaments named after their buy-in ("€15.55+€0.95 Classic, Hold'em ...").
const Variant kRunItOnce{
    Site::RunItOnce,
    RoundLine::Status | RoundLine::Chat | RoundLine::Shows | RoundLine::ShowsFor | RoundLine::Join,
    {},
    "Run It Once ",
    tournament::read_tournament,
    false,
    {},
    true,
    ActionType::Muck,
    true};

// The PokerMaster and PokerBros apps' histories: PokerStars' layout under their own hand line.
const Variant kPokerMaster{
    Site::PokerMaster,
    RoundLine::Status | RoundLine::Chat | RoundLine::Shows | RoundLine::CashOut | RoundLine::Join,
    {},
    "PokerMaster ",
    tournament::read_tournament,
    false,
    {},
    true};
const Variant kPokerBros{
    Site::PokerBros,
    RoundLine::Status | RoundLine::Chat | RoundLine::Shows | RoundLine::CashOut | RoundLine::Join,
    {},
    "PokerBros ",
    tournament::read_tournament,
    false,
    {},
    true};

// Full Tilt Poker's histories after 2016, written in PokerStars' layout ("Full Tilt Hand
// #153580337131: Tournament #1571041343, 870+130 Hold'em No Limit - Level I (10/20) - ...").
const Variant kFullTiltStars{
    Site::FullTiltPoker,
    RoundLine::Status | RoundLine::Chat | RoundLine::Shows | RoundLine::CashOut | RoundLine::Join,
    {},
    "Full Tilt Hand #",
    tournament::read_tournament,
    false,
    {},
    true};

void parse_hands(Parser& parser, const Variant& variant, Errors errors,
                 std::vector<Rejection>& rejected) {
    parser.set_key_prefix(variant.key_prefix);
    StakesMemo memo;
    DateMemo dates;
    read_hands(parser, variant.hand_start, errors, rejected, [&variant, &memo, &dates](HandBuilder& b) {
        return read_hand(b, variant, memo, dates);
    });
}

}  // namespace hs::pokerstars
