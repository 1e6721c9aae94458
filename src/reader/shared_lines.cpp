// The readers of the parts that several sites' layouts share (see shared_lines.hpp).
#include "reader/shared_lines.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "core/chars.hpp"
#include "core/clock.hpp"
#include "core/fault.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/cursor.hpp"
#include "reader/phrases.hpp"

namespace hs {
namespace {

using std::size_t;
using std::string_view;

// A game's words as the sites write them. Where one name begins another ("Omaha " and "Omaha
// Hi/Lo "), the longer comes first. A name with a limit of its own gives it; the others are
// followed by the limit's words.
struct GameName {
    string_view words;
    GameType game;
    std::optional<BetType> limit;
};
constexpr GameName kGameNames[] = {
    {"Hold'em ", GameType::HoldEm, {}},
    {"Holdem ", GameType::HoldEm, {}},
    {"Omaha Hi/Lo ", GameType::OmahaHiLo, {}},
    {"Omaha (NL postflop)", GameType::Omaha, BetType::NoLimit},
    {"Omaha ", GameType::Omaha, {}},
    {"Omaha8 ", GameType::OmahaHiLo, {}},
    {"Omaha5 ", GameType::FiveCardOmaha, {}},
    {"5 Card Omaha Hi/Lo ", GameType::FiveCardOmahaHiLo, {}},
    {"5 Card Omaha ", GameType::FiveCardOmaha, {}},
    {"6 Card Omaha Hi/Lo ", GameType::SixCardOmahaHiLo, {}},
    {"6 Card Omaha ", GameType::SixCardOmaha, {}},
    {"Courchevel Hi/Lo ", GameType::CourchevelHiLo, {}},
    {"Courchevel ", GameType::Courchevel, {}},
    {"ShortDeck ", GameType::ShortDeckHoldEm, {}},
    {"PLO-5 ", GameType::FiveCardOmaha, BetType::PotLimit},
    {"PLO-6 ", GameType::SixCardOmaha, BetType::PotLimit},
    {"PLO ", GameType::Omaha, BetType::PotLimit},
    {"7 Card Stud Hi/Lo ", GameType::SevenCardStudHiLo, {}},
    {"7 Card Stud ", GameType::SevenCardStud, {}},
    {"5 Card Stud ", GameType::FiveCardStud, {}},
    {"Razz ", GameType::Razz, {}},
    {"5 Card Draw ", GameType::FiveCardDraw, {}},
    {"Single Draw 2-7 Lowball ", GameType::SingleDraw27, {}},
    {"Triple Draw 2-7 Lowball ", GameType::TripleDraw27, {}},
    {"Triple Draw A-5 Lowball ", GameType::TripleDrawA5, {}},
    {"Badugi ", GameType::Badugi, {}},
    // Winamax's names.
    {"7-Card Stud Hi/Lo ", GameType::SevenCardStudHiLo, {}},
    {"7-Card Stud ", GameType::SevenCardStud, {}},
    {"7stud ", GameType::SevenCardStud, {}},
    {"2-7 Triple Draw ", GameType::TripleDraw27, {}},
    {"Lowball27 ", GameType::TripleDraw27, {}},
};

// The rotations of the mixed games as the hand line names them before the game of the hand in
// parentheses ("HORSE (Razz Limit, $0.10/$0.20)").
struct MixedName {
    string_view words;
    MixedGame mixed;
};
constexpr MixedName kMixedNames[] = {
    {"HORSE (", MixedGame::HORSE},
    {"HOSE (", MixedGame::HOSE},
    {"8-Game (", MixedGame::EightGame},
    {"Mixed Hold'em (", MixedGame::MixedHoldEm},
    {"Mixed NLH/PLO (", MixedGame::MixedNLHPLO},
    {"Mixed PLH/PLO (", MixedGame::MixedPLHPLO},
    {"Mixed Omaha H/L (", MixedGame::MixedOmahaHiLo},
    {"Mixed Omaha (", MixedGame::MixedOmaha},
    {"Triple Stud (", MixedGame::TripleStud},
};

}  // namespace

std::optional<SeatLine> read_seat_line_at_wide_byte(std::string_view line) {
    // "Seat N: name (chips...)" or "Seat NN: name (chips...)".
    const unsigned char b6 = byte_at(line, 6);
    if (is_continuation(b6)) fault("byte index 6 is not a char boundary in a seat line");
    bool two_digits = is_ascii_digit(b6);
    if (b6 >= 0x80) {
        const Decoded c6 = decode_utf8(line, 6);
        two_digits = c6.len != 0 && is_numeric_code_point(c6.cp);
    }
    const std::size_t name_start = two_digits ? 9 : 8;
    const std::size_t paren = rfind_byte(line, '(');
    if (paren == npos) return std::nullopt;
    if (paren <= name_start) fault_missing("player name before '('", line);
    SeatLine out;
    out.seat_start = 5;
    out.seat_len = two_digits ? 2 : 1;
    out.name = slice(line, name_start, paren - 1);
    out.after_paren = paren + 1;
    return out;
}

CardSet parse_cards(std::string_view text) {
    // The usual form: one to six two-byte ASCII cards ("Ah Kd 7c") separated by single spaces,
    // read from a table; any other text (a "10", a character outside ASCII, a piece of another
    // length, a seventh card) goes to the general reader, which gives the same set for this form.
    static constexpr auto kRanks = [] {
        std::array<std::uint8_t, 256> t{};
        t['A'] = 1;
        t['T'] = 10;
        t['J'] = 11;
        t['Q'] = 12;
        t['K'] = 13;
        for (int r = 2; r <= 9; ++r)
            t[static_cast<std::size_t>('0' + r)] = static_cast<std::uint8_t>(r);
        return t;
    }();
    static constexpr auto kSuits = [] {
        std::array<std::uint8_t, 256> t{};  // suit << 6 | 0x20; 0 for no suit
        const char lower[4] = {'s', 'c', 'h', 'd'};
        for (unsigned i = 0; i < 4; ++i) {
            t[static_cast<unsigned char>(lower[i])] = static_cast<std::uint8_t>(i << 6 | 0x20);
            t[static_cast<unsigned char>(lower[i] - 32)] = static_cast<std::uint8_t>(i << 6 | 0x20);
        }
        return t;
    }();
    const std::size_t n = text.size();
    if (n >= 2 && n <= 3 * kMaxCards - 1 && n % 3 == 2) {
        const auto* const b = reinterpret_cast<const unsigned char*>(text.data());
        CardSet set;
        const std::size_t count = (n + 1) / 3;
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = 3 * k;  // at + 1 < n: the card lies inside the text
            const std::uint8_t rank = kRanks[b[at]];
            const std::uint8_t suit = kSuits[b[at + 1]];
            if (rank == 0 || suit == 0 || (k + 1 < count && b[at + 2] != ' '))
                return CardSet::from_text(text);
            set.cards[k] = static_cast<Card>(rank | (suit & 0xC0));
        }
        set.count = static_cast<std::uint8_t>(count);
        return set;
    }
    return CardSet::from_text(text);
}

BracketedCards bracketed_cards(std::string_view text) {
    const std::size_t open = find_byte(text, '[');
    if (open == npos) return BracketedCards{CardSet::empty(), 0, 0};
    const std::size_t close = find_byte(text, ']', open);
    if (close == npos) return BracketedCards{CardSet::empty(), 0, 0};
    return BracketedCards{parse_cards(slice(text, open + 1, close)), open + 1, close + 1};
}

CardSet comma_cards(string_view text, string_view line) {
    const size_t open = find_byte(text, '[');
    const size_t close = open == npos ? npos : find_byte(text, ']', open);
    if (close == npos) fault_missing("']'", line);
    CardSet set;
    string_view inside = slice(text, open + 1, close);
    while (!inside.empty()) {
        size_t end = 0;
        while (end < inside.size() && inside[end] != ',' && inside[end] != ' ') ++end;
        if (end > 0) set.push(card_from_text(inside.substr(0, end)));
        inside = rest(inside, end + 1);
    }
    return set;
}

std::optional<GameRead> read_game(string_view line, size_t at) {
    // `at` may fall inside a character (a byte skipped unread before it): its whole character.
    const string_view from =
        at < line.size() ? line.substr(static_cast<size_t>(char_at(line, at).data() - line.data()))
                         : string_view();
    for (const GameName& name : kGameNames) {
        if (!starts(from, name.words)) continue;
        const size_t end = at + name.words.size();
        if (name.limit) return GameRead{name.game, *name.limit, end};
        // The limit is told by its first letter; a game without one is not read.
        if (end >= line.size()) fault_game(line, at);
        switch (line[end]) {
            case 'N':
            case 'n': return GameRead{name.game, BetType::NoLimit, end};
            case 'P':
            case 'p': return GameRead{name.game, BetType::PotLimit, end};
            case 'L':
            case 'F':
            case 'f': return GameRead{name.game, BetType::Limit, end};
            default: fault_game(line, at);
        }
    }
    return std::nullopt;
}

std::optional<MixedRead> read_mixed(string_view line, size_t at) noexcept {
    if (at >= line.size()) return std::nullopt;
    const string_view from = line.substr(at);
    for (const MixedName& name : kMixedNames) {
        if (starts(from, name.words)) return MixedRead{name.mixed, at + name.words.size()};
    }
    return std::nullopt;
}

std::optional<MixedGame> mixed_ending_at(string_view line, size_t end) noexcept {
    if (end > line.size()) return std::nullopt;
    const string_view before = line.substr(0, end);
    for (const MixedName& name : kMixedNames) {
        if (ends(before, name.words)) return name.mixed;
    }
    return std::nullopt;
}

void fault_game(string_view line, size_t at) {
    // The game's words run to the stakes' '(', a mixed game's ')' or the " - " before a level.
    // `at` may fall inside a character (a byte skipped unread before it): its whole character.
    const string_view from =
        at < line.size() ? line.substr(static_cast<size_t>(char_at(line, at).data() - line.data()))
                         : string_view();
    size_t end = from.size();
    for (const char c : {'(', ')'}) end = std::min(end, find_byte(from, c));
    end = std::min(end, find_str(from, " - "));
    string_view game = from.substr(0, end);
    while (!game.empty() && game.back() == ' ') game.remove_suffix(1);
    std::string message = "game not read: ";
    append_cut(message, game.empty() ? from : game);
    throw InputError(std::move(message));
}

namespace {
// Eight bytes of a text as one word, the first byte in the low bits whatever the machine.
std::uint64_t load_le8(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}
// The high bit of each byte of the word that is no ASCII digit. No carry runs from one byte into
// the next unless a byte is above 0x7F, and such a byte is flagged by its own high bit.
constexpr std::uint64_t not_digits(std::uint64_t w) noexcept {
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    const std::uint64_t above_nine = w + 0x4646464646464646ull;           // high bit: byte > '9'
    const std::uint64_t from_zero = (w | kHigh) - 0x3030303030303030ull;  // high bit: byte >= '0'
    return (above_nine | ~from_zero | w) & kHigh;
}

// The two-digit numbers of a word whose bytes at `digits` (0x0F in each) were checked to be ASCII
// digits: byte i of the result is the number of bytes i and i + 1 when both are digits (at most
// 99: no byte carries into the next).
constexpr std::uint64_t pair_numbers(std::uint64_t w, std::uint64_t digits) noexcept {
    const std::uint64_t t = w & digits;
    return t * 10 + (t >> 8);
}
constexpr std::uint64_t byte_of(std::uint64_t w, unsigned i) noexcept {
    return (w >> (8 * i)) & 0xFF;
}

// Whether the byte after a date of `size` bytes (if any) ends it: the end, or an ASCII byte that
// is no digit (a character outside ASCII could be a numeric one that the general reading takes
// into the seconds).
bool date_ends_at(string_view d, size_t size) noexcept {
    if (d.size() == size) return true;
    const auto after = static_cast<unsigned char>(d[size]);
    return after < 0x80 && !is_ascii_digit(after);
}
}  // namespace

std::optional<PackedDate> fixed_date(string_view d) noexcept {
    // "dddd/dd/dd dd:dd:dd", tested as three words of eight bytes (bytes 0-7, 8-15, 11-18): the
    // digits' high bits (byte i of a word at bit 8i + 7) and the separators' bytes.
    if (d.size() < 19 || !date_ends_at(d, 19)) return std::nullopt;
    const std::uint64_t w0 = load_le8(d.data()), w1 = load_le8(d.data() + 8),
                        w2 = load_le8(d.data() + 11);
    // Word 0: digits at 0-3, 5, 6; '/' at 4 and 7. Word 1: digits at 0, 1, 3, 4, 6, 7 (bytes 8,
    // 9, 11, 12, 14, 15); ' ' at 2, ':' at 5. Word 2: ':' at 5 (byte 16), digits at 6, 7.
    constexpr std::uint64_t kDigits0 = 0x0080800080808080ull, kDigits1 = 0x8080008080008080ull,
                            kDigits2 = 0x8080000000000000ull;
    constexpr std::uint64_t kSep0 = 0xFF0000FF00000000ull, kSepBytes0 = 0x2F00002F00000000ull;
    constexpr std::uint64_t kSep1 = 0x0000FF0000FF0000ull, kSepBytes1 = 0x00003A0000200000ull;
    constexpr std::uint64_t kSep2 = 0x0000FF0000000000ull, kSepBytes2 = 0x00003A0000000000ull;
    if ((not_digits(w0) & kDigits0) | (not_digits(w1) & kDigits1) | (not_digits(w2) & kDigits2))
        return std::nullopt;
    if ((w0 & kSep0) != kSepBytes0 || (w1 & kSep1) != kSepBytes1 || (w2 & kSep2) != kSepBytes2)
        return std::nullopt;
    // The numbers from the words already loaded, two digits at a time.
    const std::uint64_t n0 = pair_numbers(w0, 0x000F0F000F0F0F0Full),
                        n1 = pair_numbers(w1, 0x0F0F000F0F000F0Full),
                        n2 = pair_numbers(w2, 0x0F0F000000000000ull);
    return pack_date(byte_of(n0, 0) * 100 + byte_of(n0, 2), byte_of(n0, 5), byte_of(n1, 0),
                     byte_of(n1, 3), byte_of(n1, 6), byte_of(n2, 6));
}

std::optional<PackedDate> fixed_date_short_hour(string_view d) noexcept {
    // "dddd/dd/dd d:dd:dd", tested as fixed_date tests its form, with words at bytes 0-7, 8-15
    // and 10-17.
    if (d.size() < 18 || !date_ends_at(d, 18)) return std::nullopt;
    const std::uint64_t w0 = load_le8(d.data()), w1 = load_le8(d.data() + 8),
                        w2 = load_le8(d.data() + 10);
    // Word 0 as fixed_date's. Word 1: digits at 0, 1, 3, 5, 6 (bytes 8, 9, 11, 13, 14); ' ' at
    // 2, ':' at 4 and 7 (bytes 12, 15). Word 2: digits at 6, 7 (bytes 16, 17).
    constexpr std::uint64_t kDigits0 = 0x0080800080808080ull, kDigits1 = 0x0080800080008080ull,
                            kDigits2 = 0x8080000000000000ull;
    constexpr std::uint64_t kSep0 = 0xFF0000FF00000000ull, kSepBytes0 = 0x2F00002F00000000ull;
    constexpr std::uint64_t kSep1 = 0xFF0000FF00FF0000ull, kSepBytes1 = 0x3A00003A00200000ull;
    if ((not_digits(w0) & kDigits0) | (not_digits(w1) & kDigits1) | (not_digits(w2) & kDigits2))
        return std::nullopt;
    if ((w0 & kSep0) != kSepBytes0 || (w1 & kSep1) != kSepBytes1) return std::nullopt;
    const std::uint64_t n0 = pair_numbers(w0, 0x000F0F000F0F0F0Full),
                        n1 = pair_numbers(w1, 0x000F0F0000000F0Full),
                        n2 = pair_numbers(w2, 0x0F0F000000000000ull);
    // The hour's one digit is read alone, from word 1's byte 3.
    return pack_date(byte_of(n0, 0) * 100 + byte_of(n0, 2), byte_of(n0, 5), byte_of(n1, 0),
                     byte_of(w1, 3) & 0xF, byte_of(n1, 5), byte_of(n2, 6));
}

std::optional<PackedDate> loose_date(string_view d) noexcept {
    std::uint64_t parts[6] = {};
    size_t at = 0;
    for (size_t i = 0; i < 6; ++i) {
        size_t end = at;
        std::uint64_t v = 0;
        while (end < d.size() && is_ascii_digit(static_cast<unsigned char>(d[end])) && end - at < 9)
            v = v * 10 + static_cast<unsigned>(d[end++] - '0');
        if (end == at) return std::nullopt;
        parts[i] = v;
        if (i < 5) {
            if (end >= d.size() || static_cast<unsigned char>(d[end]) >= 0x80) return std::nullopt;
            at = end + 1;
        } else if (end < d.size() && is_ascii_digit(static_cast<unsigned char>(d[end]))) {
            return std::nullopt;
        }
    }
    return pack_date(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
}

void date_after_last(Header& h, string_view line, string_view separator,
                     std::optional<PackedDate> (*read_date)(string_view) noexcept) {
    const size_t at = rfind_str(line, separator);
    const auto date = at == npos ? std::nullopt : read_date(rest(line, at + separator.size()));
    if (!date) fault_missing("date", line);
    h.start_date = *date;
    const size_t space = rfind_byte(line, ' ');
    h.start_utc = utc_start(*date, zone_named(rest(line, space + 1)));
}

namespace {
// A word of eight bytes of a literal, as load_le8 loads them from a text.
constexpr std::uint64_t word_of(string_view s) noexcept {
    std::uint64_t w = 0;
    for (size_t i = 0; i < 8; ++i) w |= std::uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
    return w;
}
// Whether any of the word's bytes is `c` (the test for a zero byte of w ^ c...c: exact for the
// word as a whole).
constexpr bool has_byte(std::uint64_t w, char c) noexcept {
    const std::uint64_t x = w ^ (0x0101010101010101ull * static_cast<unsigned char>(c));
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

// The usual street lines of a game with a board, told by their first bytes and their brackets:
// "*** FLOP *** [7s 5s 4d]", "*** TURN *** [7s 5s 4d] [Qd]", "*** RIVER *** [7s 5s 4d Qd] [2c]".
// What parse_street_line reads from them, read at fixed places; nothing for any other line.
std::optional<StreetLine> usual_street_line(string_view line) {
    const size_t n = line.size();
    if (n < 18 || line[n - 1] != ']') return std::nullopt;
    const std::uint64_t head = load_le8(line.data());
    if (head == word_of("*** FLOP")) {
        // Three cards, no other bracket among them: the last '[' is the one at byte 13.
        if (n != 23 || load_le8(line.data() + 6) != word_of("OP *** [") ||
            has_byte(load_le8(line.data() + 14), '['))
            return std::nullopt;
        return StreetLine{StreetKind::Flop, parse_cards(line.substr(14, 8))};
    }
    StreetKind kind;
    if (head == word_of("*** TURN") && load_le8(line.data() + 6) == word_of("RN *** ["))
        kind = StreetKind::Turn;
    else if (head == word_of("*** RIVE") && load_le8(line.data() + 7) == word_of("ER *** ["))
        kind = StreetKind::River;
    else
        return std::nullopt;
    // The street's card in the line's last brackets, of two bytes: "[Qd]".
    if (line[n - 4] != '[' || line[n - 3] == '[' || line[n - 2] == '[') return std::nullopt;
    return StreetLine{kind, parse_cards(line.substr(n - 3, 2))};
}
}  // namespace

std::optional<StreetLine> parse_street_line(Parser& p) {
    const string_view line = p.line();
    if (const auto usual = usual_street_line(line)) {
        p.next_line();
        return usual;
    }
    if (line.size() < 8) fault_missing("street name", line);
    const size_t k = find_lit(line, " *", 8);
    if (k == npos) fault_missing("street name", line);
    // A board's number: " FLOP 2 ***".
    const size_t name_end =
        is_ascii_digit(byte_at(line, k - 1)) && byte_at(line, k - 2) == ' ' ? k - 2 : k;
    const char a = static_cast<char>(byte_at(line, name_end - 2));
    const char b = static_cast<char>(byte_at(line, name_end - 1));
    StreetLine s{StreetKind::Showdown, CardSet::empty()};
    if (a == 'O' && b == 'P')
        s.kind = StreetKind::Flop;
    else if (a == 'R' && b == 'N')
        s.kind = StreetKind::Turn;
    else if (a == 'E' && b == 'R')
        s.kind = StreetKind::River;
    else if (a == 'W' && b == 'N')
        s.kind = StreetKind::Showdown;
    else
        fault_line("unrecognised street line", line);
    if (s.kind != StreetKind::Showdown) {
        const size_t open = rfind_byte(line, '[');
        if (open == npos) fault_missing("board cards", line);
        if (line.back() != ']') return std::nullopt;
        const CardSet last = parse_cards(slice(line, open + 1, line.size() - 1));
        const size_t first = find_byte(line, '[', k);
        if (s.kind == StreetKind::Flop && first < open) {
            const size_t close = find_byte(line, ']', first);
            if (close > open) fault_missing("']'", line);
            s.cards = parse_cards(slice(line, first + 1, close));
            for (std::uint8_t i = 0; i < last.count; ++i) s.cards.push(last.cards[i]);
        } else {
            s.cards = last;
        }
    }
    p.next_line();
    return s;
}

bool read_table_line(Parser& p, Header& h) {
    const string_view line = p.line();
    // The name runs from the first quote to the last one: a name may hold a quote itself
    // ("Isildur's PLO 50"), nothing after the name does.
    static constexpr string_view kTable = "Table '";  // the usual start: its quote the first
    const size_t q1 = starts(line, kTable) ? kTable.size() - 1 : find_byte(line, '\'');
    if (q1 == npos) return false;
    const size_t q2 = rfind_byte(line, '\'');
    if (q2 == q1) return false;
    h.table_name = p.store().push_text(cut_text(line, q1 + 1, q2));
    // The usual tail, " 6-max Seat #1 is the button" (a size and a button of one or two digits),
    // read at its places: the same numbers as the searches below find.
    {
        const auto* const l = reinterpret_cast<const unsigned char*>(line.data());
        const size_t n = line.size();
        const auto digit = [&](size_t i) { return i < n && is_ascii_digit(l[i]); };
        static constexpr char kMaxSeat[] = "-max Seat #";
        constexpr size_t kMaxSeatLen = std::size(kMaxSeat) - 1;
        size_t i = q2 + 2;
        if (q2 + 1 < n && l[q2 + 1] == ' ' && digit(i)) {
            unsigned max = l[i++] - '0';
            if (digit(i)) max = max * 10 + (l[i++] - '0');
            if (n - i > kMaxSeatLen && std::memcmp(l + i, kMaxSeat, kMaxSeatLen) == 0 &&
                digit(i + kMaxSeatLen)) {
                i += kMaxSeatLen;
                unsigned button = l[i++] - '0';
                if (digit(i)) button = button * 10 + (l[i++] - '0');
                if (i == n || (l[i] < 0x80 && !is_ascii_digit(l[i]))) {
                    h.max_players = static_cast<std::uint8_t>(max);
                    h.button_seat = static_cast<std::uint8_t>(button);
                    p.next_line();
                    return true;
                }
            }
        }
    }
    // The size ("9-max"); old histories write none ("Table '16609627 1' Seat #6 is the button"),
    // and the size stays 0.
    if (const auto max = read_integer(rest(line, q2 + 2)))
        h.max_players = static_cast<std::uint8_t>(max->value);
    // The button: the number after the first "Seat #" behind the table name.
    static constexpr char kButton[] = "Seat #";
    const size_t seat = find_lit(line, kButton, q2 + 1);
    if (seat == npos && is_stud(h.game_type)) {  // stud has no button
        p.next_line();
        return true;
    }
    if (seat == npos) fault_missing("button seat", line);
    const auto button = read_integer(rest(line, seat + std::size(kButton) - 1));
    if (!button) fault_missing("button seat", line);
    h.button_seat = static_cast<std::uint8_t>(button->value);
    p.next_line();
    return true;
}

std::optional<StreetKind> boardless_street_line(Parser& p, GameType game, std::uint8_t first) {
    struct Row {
        string_view line;
        StreetKind kind;
    };
    static constexpr Row kRows[] = {
        {"*** FIRST DRAW ***", StreetKind::Flop},  {"*** SECOND DRAW ***", StreetKind::Turn},
        {"*** THIRD DRAW ***", StreetKind::River}, {"*** DRAW ***", StreetKind::Flop},
        {"*** FIRST-DRAW ***", StreetKind::Flop},  {"*** SECOND-DRAW ***", StreetKind::Turn},
        {"*** THIRD-DRAW ***", StreetKind::River}, {"*** FOURTH ***", StreetKind::Flop},
        {"*** FIFTH ***", StreetKind::Turn},       {"*** SIXTH ***", StreetKind::River},
        {"*** SEVENTH ***", StreetKind::Seventh},
    };
    const string_view line = p.line();
    std::optional<StreetKind> kind;
    if (is_stud(game)) {
        // "*** 4th STREET ***", "*** 4TH STREET ***": the rounds after the first street's.
        constexpr StreetKind kAfterFirst[] = {StreetKind::Flop, StreetKind::Turn, StreetKind::River,
                                              StreetKind::Seventh};
        if (starts(line, "*** RIVER ***"))
            kind = StreetKind::Seventh;
        else if (const auto n = stud_street_number(line); n && *n > first && *n - first <= 4)
            kind = kAfterFirst[*n - first - 1];
    }
    if (!kind) {  // the draws' lines, and stud's streets named in words ("*** FOURTH ***")
        for (const Row& r : kRows) {
            if (starts(line, r.line)) {
                kind = r.kind;
                break;
            }
        }
    }
    if (kind) p.next_line();
    return kind;
}

std::optional<std::uint8_t> stud_street_number(string_view line) noexcept {
    const unsigned char n = byte_or_0(line, 4);
    if (!is_stars_line(line) || !is_ascii_digit(n) || !starts(rest(line, 7), " STREET ***"))
        return std::nullopt;
    return static_cast<std::uint8_t>(n - '0');
}

namespace {
// Whether `text` is `lower` (lowercase ASCII) in any case.
bool equals_any_case(string_view text, string_view lower) noexcept {
    if (text.size() != lower.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != static_cast<unsigned char>(lower[i]))
            return false;
    }
    return true;
}
}  // namespace

std::optional<StreetKind> dealing_stud_street(string_view line) noexcept {
    struct Row {
        string_view words;
        StreetKind kind;
    };
    static constexpr Row kRows[] = {
        {"4th street", StreetKind::Flop},    {"fourth street", StreetKind::Flop},
        {"5th street", StreetKind::Turn},    {"fifth street", StreetKind::Turn},
        {"6th street", StreetKind::River},   {"sixth street", StreetKind::River},
        {"7th street", StreetKind::Seventh}, {"seventh street", StreetKind::Seventh},
        {"river", StreetKind::Seventh},
    };
    static constexpr string_view kDealing = "dealing ";
    size_t from = 0, end = line.size();
    while (from < end && line[from] == '*') ++from;
    while (from < end && line[from] == ' ') ++from;
    while (end > from && line[end - 1] == '*') --end;
    while (end > from && line[end - 1] == ' ') --end;
    if (from == 0 || end == line.size() || end - from <= kDealing.size() ||
        !equals_any_case(line.substr(from, kDealing.size()), kDealing))
        return std::nullopt;
    const string_view words = slice(line, from + kDealing.size(), end);
    for (const Row& r : kRows)
        if (equals_any_case(words, r.words)) return r.kind;
    return std::nullopt;
}

bool draw_line(HandBuilder& b, string_view line, string_view sep) {
    static constexpr string_view kDiscards = "discards ", kStandsPat = "stands pat";
    Parser& p = b.parser();
    const auto name_end = [&](size_t at) -> size_t {
        return at >= sep.size() + 1 && line.substr(at - sep.size(), sep.size()) == sep
                   ? at - sep.size()
                   : npos;
    };
    // "stands pat", or with the hand kept: "stands pat on [5s 3h 4c 8d 2h]".
    if (const size_t pat = find_str(line, kStandsPat);
        pat != npos &&
        (pat + kStandsPat.size() == line.size() ||
         (starts(rest(line, pat + kStandsPat.size()), " on [") && line.back() == ']'))) {
        const size_t end = name_end(pat);
        if (end == npos) return false;
        b.push(
            Action::make(ActionType::StandPat, p.find_player(cut_name(line, 0, end)), kNoPayload));
        return true;
    }
    const size_t at = find_str(line, kDiscards);
    const size_t end = at == npos ? npos : name_end(at);
    if (end == npos) return false;
    // "discards 2 cards [7h 2c]" shows the cards, "discards 1 card" their number only.
    const auto a = draw_count(p, cut_name(line, 0, end), rest(line, at + kDiscards.size()), line);
    if (!a) return false;
    b.push(*a);
    return true;
}

namespace {
// Cards written "Ah Kd", hidden ones "X" among them: pieces of a rank and a suit letter.
bool card_like(string_view text) noexcept {
    static constexpr string_view kRanks = "A23456789TJQK", kSuits = "shdc";
    if (text.empty()) return false;
    for (size_t i = 0; i <= text.size();) {
        size_t sp = find_byte(text, ' ', i);
        if (sp == npos) sp = text.size();
        const string_view piece = text.substr(i, sp - i);
        if (piece != "X" &&
            !(piece.size() == 2 && kRanks.find(piece[0]) != npos && kSuits.find(piece[1]) != npos))
            return false;
        i = sp + 1;
    }
    return true;
}
}  // namespace

CardSet shown_cards(string_view text) {
    if (find_byte(text, 'X') == npos && find_byte(text, '-') == npos &&
        find_byte(text, ',') == npos)
        return parse_cards(text);
    CardSet set;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && text[end] != ' ' && text[end] != ',') ++end;
        const string_view piece = text.substr(i, end - i);
        if (!piece.empty() && piece != "X" && piece != "-") set.push(card_from_text(piece));
        i = end + 1;
    }
    return set;
}

namespace {
constexpr string_view kDealtTo = "Dealt to ";
// Where the name of a dealt line ends: before its one bracket, or before the first of two (the
// cards held, then the new ones). A name may hold brackets itself ("PC [Mittel]").
size_t dealt_name_end(string_view line, size_t open, bool two) {
    if (!two || open < 2 || line[open - 2] != ']') return open;
    const size_t first = rfind_byte(line.substr(0, open - 2), '[');
    return first == npos || first <= kDealtTo.size() ? open : first;
}
}  // namespace

std::optional<Action> dealt_line(HandBuilder& b, string_view line, string_view sep) {
    Parser& p = b.parser();
    const size_t open = rfind_byte(line, '[');
    if (open == npos || open <= kDealtTo.size()) {
        // No cards shown: the player was dealt in, nothing more.
        const std::uint8_t id = p.find_player(cut_name(line, kDealtTo.size(), line.size()));
        return Action::make(ActionType::Dealt, id, kNoCards);
    }
    if (line.back() != ']') return std::nullopt;
    const CardSet cards = shown_cards(slice(line, open + 1, line.size() - 1));
    const string_view name = name_before(line, open, sep, kDealtTo.size());
    if (cards.count == 0) return Action::make(ActionType::Dealt, p.find_player(name), kNoCards);
    const Action a = p.make_card_action(name, ActionType::Dealt, cards);
    b.dealt_cards_to(a.player_id());
    return a;
}

void push_stud_cards(HandBuilder& b, string_view name, const CardSet& cards, bool first, bool down,
                     CardSet hole) {
    Parser& p = b.parser();
    if (cards.count == 0) return;
    if (!first) {
        b.push(p.make_card_action(name, down ? ActionType::Dealt : ActionType::DealtUp, cards));
        return;
    }
    for (std::uint8_t i = 0; i + 1 < cards.count; ++i) hole.push(cards.cards[i]);
    CardSet up;
    up.push(cards.cards[cards.count - 1]);
    if (hole.count > 0) {
        const Action a = p.make_card_action(name, ActionType::Dealt, hole);
        b.push(a);
        b.dealt_cards_to(a.player_id());
    }
    b.push(p.make_card_action(name, ActionType::DealtUp, up));
}

bool stud_dealt_line(HandBuilder& b, string_view line, bool first, bool down, string_view sep,
                     bool down_apart) {
    const size_t open = rfind_byte(line, '[');
    if (open == npos || open <= kDealtTo.size() || line.back() != ']') return false;
    size_t name_end = dealt_name_end(line, open, !first || down_apart);
    // A first street's bracket before the up card holds down cards, not a name's own ("PC
    // [Mittel] [Jh]").
    if (first && name_end != open && !card_like(slice(line, name_end + 1, open - 2)))
        name_end = open;
    const string_view name = name_before(line, name_end, sep, kDealtTo.size());
    CardSet hole;
    if (first && name_end != open) {  // "[5d Ah] [Ad]": the down cards in a bracket of their own
        hole = shown_cards(slice(line, name_end + 1, open - 2));
    }
    push_stud_cards(b, name, shown_cards(slice(line, open + 1, line.size() - 1)), first, down,
                    hole);
    return true;
}

bool draw_dealt_line(HandBuilder& b, string_view line, bool first) {
    const size_t open = rfind_byte(line, '[');
    if (open == npos || open <= kDealtTo.size() || line.back() != ']') return false;
    const size_t name_end = dealt_name_end(line, open, !first);
    const string_view name = name_before(line, name_end, " ", kDealtTo.size());
    const CardSet cards = shown_cards(slice(line, open + 1, line.size() - 1));
    Parser& p = b.parser();
    if (first && cards.count == 0) {  // dealt in, no card shown
        b.push(Action::make(ActionType::Dealt, p.find_player(name), kNoCards));
        return true;
    }
    const Action a = p.make_card_action(name, ActionType::Dealt, cards);
    b.push(a);
    if (first) b.dealt_cards_to(a.player_id());
    return true;
}

std::optional<Action> draw_count(Parser& p, string_view name, string_view after, string_view line) {
    if (!after.empty() && after.back() == ']') {
        const BracketedCards c = bracketed_cards(after);
        if (c.close == 0) return std::nullopt;
        return p.make_card_action(name, ActionType::Discard, c.cards);
    }
    const auto count = read_integer(after);
    if (!count || count->value > kMaxCards) fault_missing("number of cards", line);
    if (count->value == 0)
        return Action::make(ActionType::StandPat, p.find_player(name), kNoPayload);
    return Action::make(ActionType::Draw, p.find_player(name),
                        static_cast<std::uint32_t>(count->value));
}

bool close_draw_preflop(HandBuilder& b) {
    const auto& actions = b.store().actions;
    for (std::size_t i = b.run_start(); i < actions.size(); ++i) {
        const ActionType t = actions[i].type();
        if (t == ActionType::Discard || t == ActionType::Draw || t == ActionType::StandPat) {
            b.split_preflop(i);
            return true;
        }
    }
    b.close_preflop();
    return false;
}

}  // namespace hs
