// The hand model: faults, enumeration names, cards, packed references, the store and the text
// forms in which the records print themselves.
#include "model/model.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace hs {

// ---------------------------------------------------------------------------------------------
// Faults
// ---------------------------------------------------------------------------------------------

namespace {

std::string_view base_name(const char* path) {
    std::string_view p = path ? path : "";
    const std::size_t slash = p.find_last_of("/\\");
    return slash == std::string_view::npos ? p : p.substr(slash + 1);
}

std::string place_of(const std::source_location& where) {
    std::string s;
    s.reserve(96);
    s += base_name(where.file_name());
    s += ':';
    append_u64(s, where.line());
    const std::string_view fn = where.function_name() ? where.function_name() : "";
    if (!fn.empty()) {
        s += " (";
        s += fn;
        s += ')';
    }
    return s;
}

}  // namespace

Fault::Fault(std::string message, std::source_location where)
    : message_(std::move(message)), where_(place_of(where)) {}

void fault(std::string message, std::source_location where) {
    throw Fault(std::move(message), where);
}

void fault_index(std::size_t index, std::size_t len, std::source_location where) {
    std::string m = "index out of bounds: the len is ";
    append_u64(m, len);
    m += " but the index is ";
    append_u64(m, index);
    throw Fault(std::move(m), where);
}

void fault_missing(std::string_view what, std::string_view line, std::source_location where) {
    std::string m = "missing ";
    m += what;
    if (!line.empty()) {
        m += " in '";
        m += line;
        m += '\'';
    }
    throw Fault(std::move(m), where);
}

void fault_unreachable(std::string_view detail, std::source_location where) {
    std::string m = "internal error: entered unreachable code";
    if (!detail.empty()) {
        m += ": ";
        m += detail;
    }
    throw Fault(std::move(m), where);
}

// ---------------------------------------------------------------------------------------------
// Enumeration names
// ---------------------------------------------------------------------------------------------

namespace {

constexpr std::array<std::string_view, kSiteCount> kSiteNames = {
    "PokerStars", "PokerStarsPluribus", "OnGame", "Absolute", "EverLeaf", "BetOnline",
    "FullTiltPoker", "PacificPoker", "PokerTracker", "PartyPoker", "GGPoker", "Winamax",
    "KingsClub", "Bovada", "Enet", "Cake", "Pkr", "Winning",
};
constexpr std::array<std::string_view, kGameTypeCount> kGameTypeNames = {"HoldEm", "Omaha",
                                                                         "OmahaHiLo"};
constexpr std::array<std::string_view, kBetTypeCount> kBetTypeNames = {"NoLimit", "Limit",
                                                                       "PotLimit"};
constexpr std::array<std::string_view, kActionTypeCount> kActionTypeNames = {
    "Bet", "Call", "Raise", "BetAllIn", "CallAllIn", "RaiseAllIn", "Check", "Fold", "Muck",
    "Show", "Dealt", "Ante", "BigBlind", "SmallBlind", "BigSmallBlind", "DeadBlind",
    "ExtraBlind", "CashOut", "CollectMainPot", "CollectSidePot1", "CollectSidePot2",
    "CollectSidePot3", "UncalledBetReturned", "Join", "Leave", "Sitout", "Say",
};

template <std::size_t N>
std::string_view name_in(const std::array<std::string_view, N>& table, std::size_t code) {
    return code < N ? table[code] : std::string_view("?");
}

}  // namespace

std::string_view site_name(Site s) noexcept {
    return name_in(kSiteNames, static_cast<std::size_t>(s));
}
std::string_view game_type_name(GameType g) noexcept {
    return name_in(kGameTypeNames, static_cast<std::size_t>(g));
}
std::string_view bet_type_name(BetType b) noexcept {
    return name_in(kBetTypeNames, static_cast<std::size_t>(b));
}
std::string_view action_type_name(ActionType a) noexcept {
    return name_in(kActionTypeNames, static_cast<std::size_t>(a));
}

PayloadKind payload_kind(ActionType a) noexcept {
    switch (a) {
        case ActionType::Bet:
        case ActionType::Call:
        case ActionType::Raise:
        case ActionType::BetAllIn:
        case ActionType::CallAllIn:
        case ActionType::RaiseAllIn:
        case ActionType::Ante:
        case ActionType::BigBlind:
        case ActionType::SmallBlind:
        case ActionType::BigSmallBlind:
        case ActionType::DeadBlind:
        case ActionType::ExtraBlind:
        case ActionType::CollectMainPot:
        case ActionType::CollectSidePot1:
        case ActionType::CollectSidePot2:
        case ActionType::CollectSidePot3:
        case ActionType::UncalledBetReturned:
            return PayloadKind::Amount;
        case ActionType::Fold:
        case ActionType::Muck:
        case ActionType::Show:
        case ActionType::Dealt:
            return PayloadKind::Cards;
        case ActionType::CashOut:
            return PayloadKind::CashOut;
        case ActionType::Join:
            return PayloadKind::Seat;
        case ActionType::Say:
            return PayloadKind::Message;
        case ActionType::Check:
        case ActionType::Leave:
        case ActionType::Sitout:
            return PayloadKind::None;
    }
    return PayloadKind::None;
}

// ---------------------------------------------------------------------------------------------
// UTF-8
// ---------------------------------------------------------------------------------------------

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_scalar(char32_t c) noexcept {
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

// Decodes the character at the start of s (which must not be empty). Returns the scalar value
// (U+FFFD for a malformed sequence) and the number of bytes it takes (at least 1).
std::pair<char32_t, std::size_t> decode_utf8(std::string_view s) {
    const unsigned char b0 = byte_at(s, 0);
    if (b0 < 0x80) return {b0, 1};
    std::size_t len = 0;
    char32_t c = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        c = b0 & 0x07;
    } else {
        return {kReplacement, 1};
    }
    if (s.size() < len) return {kReplacement, 1};
    for (std::size_t i = 1; i < len; ++i) {
        const unsigned char b = byte_at(s, i);
        if (!is_continuation(b)) return {kReplacement, 1};
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMinForLen[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinForLen[len] || !is_scalar(c)) return {kReplacement, len};
    return {c, len};
}

// The first character of the Unicode lower-case mapping, for the cased scripts that a card
// text might plausibly carry (Latin, Greek, Cyrillic, Armenian, Georgian, the letter-like
// symbols, full-width Latin, Deseret). Other characters map to themselves.
char32_t to_lower(char32_t c) noexcept {
    auto even_up = [](char32_t x) { return (x % 2 == 0) ? x + 1 : x; };
    auto odd_up = [](char32_t x) { return (x % 2 == 1) ? x + 1 : x; };
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c <= 0x12F) return even_up(c);
    if (c == 0x130) return U'i';
    if (c >= 0x132 && c <= 0x137) return even_up(c);
    if (c >= 0x139 && c <= 0x148) return odd_up(c);
    if (c >= 0x14A && c <= 0x177) return even_up(c);
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return odd_up(c);
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x460 && c <= 0x481) return even_up(c);
    if (c >= 0x48A && c <= 0x4BF) return even_up(c);
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return odd_up(c);
    if (c >= 0x4D0 && c <= 0x52F) return even_up(c);
    if (c >= 0x531 && c <= 0x556) return c + 48;
    if (c >= 0x10A0 && c <= 0x10C5) return c + 7264;
    if (c >= 0x1E00 && c <= 0x1E95) return even_up(c);
    if (c == 0x1E9E) return 0xDF;
    if (c >= 0x1EA0 && c <= 0x1EFF) return even_up(c);
    if (c == 0x2126) return 0x3C9;
    if (c == 0x212A) return U'k';
    if (c == 0x212B) return 0xE5;
    if (c >= 0x2160 && c <= 0x216F) return c + 16;
    if (c >= 0x24B6 && c <= 0x24CF) return c + 26;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    if (c >= 0x10400 && c <= 0x10427) return c + 40;
    return c;
}

}  // namespace

std::size_t utf8_len(char32_t c) noexcept {
    if (c == 0) return 0;
    if (!is_scalar(c)) c = kReplacement;
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    if (c < 0x10000) return 3;
    return 4;
}

void append_utf8(std::string& out, char32_t c) {
    if (c == 0) return;
    if (!is_scalar(c)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int currency_index(Currency c) {
    if (c == 0) return -1;
    for (std::size_t i = 0; i < std::size(kCurrencyCodes); ++i)
        if (kCurrencyCodes[i].symbol == c) return static_cast<int>(i);
    std::string detail = "Invalid currency character: '";
    if (is_scalar(c)) {
        append_utf8(detail, c);
    } else {
        detail += "U+";
        append_u64(detail, static_cast<std::uint64_t>(c));
    }
    detail += '\'';
    fault_unreachable(detail);
}

// ---------------------------------------------------------------------------------------------
// Cards
// ---------------------------------------------------------------------------------------------

Card card_from_text(std::string_view text) {
    if (text.empty()) fault_missing("card", text);
    const unsigned char first = byte_at(text, 0);
    unsigned rank = 0;
    std::size_t suit_at = 1;
    switch (first) {
        case 'A': rank = 1; break;
        case 'T': rank = 10; break;
        case 'J': rank = 11; break;
        case 'Q': rank = 12; break;
        case 'K': rank = 13; break;
        case '1': {
            // "10": the character after the one is skipped unread.
            rank = 10;
            const std::string_view rest = tail(text, 1);
            if (rest.empty()) fault_missing("card suit", text);
            suit_at = 1 + decode_utf8(rest).second;
            if (suit_at >= text.size()) fault_missing("card suit", text);
            break;
        }
        default:
            if (first >= '2' && first <= '9') {
                rank = first - '0';
            } else {
                std::string detail = "Invalid rank: ";
                append_utf8(detail, decode_utf8(text).first);
                detail += " in '";
                detail += text;
                detail += '\'';
                fault_unreachable(detail);
            }
    }
    if (suit_at >= text.size()) fault_missing("card suit", text);
    const char32_t suit_char = to_lower(decode_utf8(tail(text, suit_at)).first);
    unsigned suit = 0;
    switch (suit_char) {
        case U's': suit = 0; break;
        case U'c': suit = 1; break;
        case U'h': suit = 2; break;
        case U'd': suit = 3; break;
        default: {
            std::string detail = "Invalid suit: ";
            append_utf8(detail, suit_char);
            detail += " in '";
            detail += text;
            detail += '\'';
            fault_unreachable(detail);
        }
    }
    return static_cast<Card>(rank | suit << 6);
}

char card_rank_char(Card c) noexcept {
    const unsigned rank = c & 0x3F;
    switch (rank) {
        case 1: return 'A';
        case 10: return 'T';
        case 11: return 'J';
        case 12: return 'Q';
        case 13: return 'K';
        default: return static_cast<char>('0' + rank);
    }
}

char card_suit_letter(Card c) noexcept {
    static constexpr char kLetters[4] = {'s', 'c', 'h', 'd'};
    return kLetters[(c >> 6) & 3];
}

std::string_view card_suit_symbol(Card c) noexcept {
    static constexpr std::string_view kSymbols[4] = {
        "\xE2\x99\xA0",  // U+2660 spade
        "\xE2\x99\xA3",  // U+2663 club
        "\xE2\x99\xA5",  // U+2665 heart
        "\xE2\x99\xA6",  // U+2666 diamond
    };
    return kSymbols[(c >> 6) & 3];
}

void CardSet::push(Card c) {
    if (count >= 5) fault_index(count, 5);
    cards[count] = c;
    ++count;
}

CardSet CardSet::from_text(std::string_view text) {
    CardSet set;
    std::size_t from = 0;
    for (;;) {
        const std::size_t space = text.find(' ', from);
        const std::size_t to = space == std::string_view::npos ? text.size() : space;
        set.push(card_from_text(slice(text, from, to)));
        if (space == std::string_view::npos) break;
        from = space + 1;
    }
    return set;
}

// ---------------------------------------------------------------------------------------------
// Packed references
// ---------------------------------------------------------------------------------------------

namespace {

[[noreturn]] void fault_width(std::string_view what, std::uint64_t value, unsigned bits,
                              std::source_location where) {
    std::string m(what);
    m += ' ';
    append_u64(m, value);
    m += " does not fit in ";
    append_u64(m, bits);
    m += " bits";
    fault(std::move(m), where);
}

// A list position among len elements (len < 2^24): a negative one counts from the end.
std::int64_t list_position(std::int64_t i, std::int64_t len) noexcept {
    return i < 0 ? i + len : i;
}

}  // namespace

Span Span::make_checked(std::uint64_t start, std::uint64_t count, std::source_location where) {
    if (start > kRefStartMask) fault_width("span start", start, 40, where);
    if (count > kRefMaxCount) fault_width("span count", count, 24, where);
    return Span{start | count << 40};
}

Span Span::between_checked(std::uint64_t start, std::uint64_t end,
                           std::source_location where) {
    if (end < start) {
        std::string m = "span end ";
        append_u64(m, end);
        m += " is before its start ";
        append_u64(m, start);
        fault(std::move(m), where);
    }
    return make_checked(start, end - start, where);
}

std::optional<Span> Span::item(std::int64_t index) const {
    const auto len = static_cast<std::int64_t>(count());
    const std::int64_t i = list_position(index, len);
    if (i < 0 || i >= len) return std::nullopt;
    return make(start() + static_cast<std::uint64_t>(i), 1);
}

Span Span::sub(std::int64_t from, std::int64_t to) const {
    const auto len = static_cast<std::int64_t>(count());
    const auto clamped = [len](std::int64_t i) {
        return static_cast<std::uint64_t>(std::clamp<std::int64_t>(list_position(i, len), 0, len));
    };
    const std::uint64_t first = clamped(from);
    const std::uint64_t last = std::max(first, clamped(to));
    return between(start() + first, start() + last);
}

TextRef TextRef::make(std::uint64_t offset, std::uint64_t length, std::source_location where) {
    if (offset > kRefStartMask) fault_width("text offset", offset, 40, where);
    if (length > kRefMaxCount) fault_width("text length", length, 24, where);
    return TextRef{offset | length << 40};
}

// ---------------------------------------------------------------------------------------------
// Dates
// ---------------------------------------------------------------------------------------------

PackedDate pack_date(std::uint64_t year, std::uint64_t month, std::uint64_t day,
                     std::uint64_t hour, std::uint64_t minute, std::uint64_t second) noexcept {
    const std::uint64_t packed = ((year - 2000) & 0x3F) << 26 | ((month - 1) & 0xF) << 22 |
                                 ((day - 1) & 0x1F) << 17 | (hour & 0x1F) << 12 |
                                 (minute & 0x3F) << 6 | (second & 0x3F);
    return static_cast<PackedDate>(packed);
}

DateParts unpack_date(PackedDate d) noexcept {
    return DateParts{2000 + ((d >> 26) & 0x3F), ((d >> 22) & 0xF) + 1, ((d >> 17) & 0x1F) + 1,
                     (d >> 12) & 0x1F, (d >> 6) & 0x3F, d & 0x3F};
}

std::optional<std::int64_t> date_seconds(PackedDate d) noexcept {
    if (d == 0) return std::nullopt;
    const DateParts p = unpack_date(d);
    const bool leap = p.year % 4 == 0;  // 2000..2063: every fourth year, 2000 included
    static constexpr unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (p.month > 12 || p.hour > 23 || p.minute > 59 || p.second > 59) return std::nullopt;
    if (p.day > kMonthDays[p.month - 1] + (leap && p.month == 2 ? 1 : 0)) return std::nullopt;
    // Days since 1970-01-01 in the civil calendar, counted with March as the first month so that
    // the leap day comes last in its year.
    const int y = static_cast<int>(p.year) - (p.month <= 2 ? 1 : 0);
    const int era = y / 400;  // years here are 1999..2063: never negative
    const int year_of_era = y - era * 400;
    const int day_of_year =
        (153 * static_cast<int>(p.month > 2 ? p.month - 3 : p.month + 9) + 2) / 5 +
        static_cast<int>(p.day) - 1;
    const int day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    const int days = era * 146097 + day_of_era - 719468;
    return std::int64_t{days} * 86400 + p.hour * 3600 + p.minute * 60 + p.second;
}

// ---------------------------------------------------------------------------------------------
// The store
// ---------------------------------------------------------------------------------------------

HandStore::HandStore() {
    text.reserve(131072);
    hands.reserve(1024);
    players.reserve(4096);
    flops.reserve(512);
    turns.reserve(256);
    rivers.reserve(256);
    showdowns.reserve(16);
    actions.reserve(8192);
    amounts.reserve(256);
    card_sets.reserve(512);
    winners.reserve(1024);
}

TextRef HandStore::push_text(std::string_view s) {
    const TextRef r = TextRef::make(text.size(), s.size());
    text.append(s);
    return r;
}

std::string_view HandStore::text_of(TextRef r) const {
    const std::uint64_t offset = r.offset();
    const std::uint64_t end = offset + r.length();
    if (end > text.size()) fault_index(end, text.size());
    const std::string_view all(text);
    const bool start_ok = offset == text.size() || !is_continuation(byte_at(all, offset));
    const bool end_ok = end == text.size() || !is_continuation(byte_at(all, end));
    if (!start_ok || !end_ok) {
        std::string m = "text reference ";
        append_u64(m, offset);
        m += "..";
        append_u64(m, end);
        m += " is not on character boundaries";
        fault(std::move(m));
    }
    return all.substr(offset, r.length());
}

std::uint32_t HandStore::push_card_set(const CardSet& c) {
    const std::size_t index = card_sets.size();
    if (index >= kNoCards) fault_index(index, kNoCards);
    card_sets.push_back(c);
    return static_cast<std::uint32_t>(index);
}

std::uint32_t HandStore::push_cash_out(float amount, float fee) {
    const std::size_t index = amounts.size();
    if (index >= kNoPayload - 1) fault_index(index, kNoPayload - 1);
    amounts.push_back(amount);
    amounts.push_back(fee);
    return static_cast<std::uint32_t>(index);
}

CardSet HandStore::cards_of(std::uint32_t payload) const {
    if (payload == kNoCards) return CardSet::empty();
    return at(card_sets, payload);
}

HandStore::CashOutValue HandStore::cash_out_of(std::uint32_t payload) const {
    const std::uint64_t fee_at = std::uint64_t{payload} + 1;
    if (fee_at >= amounts.size()) fault_index(fee_at, amounts.size());
    return CashOutValue{amounts[payload], amounts[fee_at]};
}

std::string_view HandStore::message_of(std::uint32_t payload, std::uint64_t text_start) const {
    const std::uint64_t offset = payload & 0xFFFFFFu;
    const std::uint64_t length = payload >> 24;
    if (text_start > kRefStartMask) fault_width("text offset", text_start, 40,
                                                std::source_location::current());
    return text_of(TextRef::make(text_start + offset, length));
}

std::uint32_t say_payload(std::uint64_t offset, std::uint64_t length, std::uint64_t text_start) {
    if (length > 255) {
        std::string m = "Message is too long ";
        append_u64(m, length);
        m += " - max: 255";
        fault(std::move(m));
    }
    if (offset < text_start) {
        std::string m = "message offset ";
        append_u64(m, offset);
        m += " lies before the hand's text start ";
        append_u64(m, text_start);
        fault(std::move(m));
    }
    const std::uint64_t relative = offset - text_start;
    if (relative > 0xFFFFFFu) fault_width("message offset", relative, 24,
                                          std::source_location::current());
    return static_cast<std::uint32_t>(relative | length << 24);
}

// ---------------------------------------------------------------------------------------------
// Number forms
// ---------------------------------------------------------------------------------------------

namespace {

// The shortest round-trip decimal digits of a finite, non-zero float and the decimal exponent
// of its first digit: value = 0.d1d2d3... * 10^(exp + 1), i.e. d1.d2d3... * 10^exp.
struct Digits {
    char digits[16];
    int count = 0;
    int exp = 0;
};

Digits shortest_digits(float magnitude) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    if (res.ec != std::errc()) fault_unreachable("float conversion failed");
    const std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
    Digits d;
    std::size_t i = 0;
    for (; i < s.size() && s[i] != 'e'; ++i) {
        if (s[i] == '.') continue;
        if (d.count >= static_cast<int>(sizeof d.digits)) fault_index(d.count, sizeof d.digits);
        d.digits[d.count++] = s[i];
    }
    // Exponent: "e+NN" / "e-NN".
    const std::string_view e = tail(s, i + 1 > s.size() ? s.size() : i + 1);
    int exp = 0;
    std::size_t j = 0;
    bool negative = false;
    if (!e.empty() && (e[0] == '+' || e[0] == '-')) {
        negative = e[0] == '-';
        j = 1;
    }
    const auto er = std::from_chars(e.data() + j, e.data() + e.size(), exp);
    if (er.ec != std::errc()) fault_unreachable("float conversion failed");
    d.exp = negative ? -exp : exp;
    // Trailing zeros carry no information ("1e16" has the single digit 1).
    while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
    return d;
}

// Special values shared by both forms. Returns true when v was one of them.
bool append_special(std::string& out, float v) {
    if (std::isnan(v)) {
        out += "NaN";
        return true;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-inf" : "inf";
        return true;
    }
    return false;
}

// Positional digits: integer part, then the fraction when there is one (or always, with
// `force_fraction`, as ".0").
void append_positional(std::string& out, const Digits& d, bool force_fraction) {
    const std::string_view digits(d.digits, static_cast<std::size_t>(d.count));
    if (d.exp < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-d.exp - 1), '0');
        out += digits;
        return;
    }
    const std::size_t int_len = static_cast<std::size_t>(d.exp) + 1;
    if (digits.size() <= int_len) {
        out += digits;
        out.append(int_len - digits.size(), '0');
        if (force_fraction) out += ".0";
    } else {
        out += digits.substr(0, int_len);
        out += '.';
        out += digits.substr(int_len);
    }
}

}  // namespace

void append_f32_record(std::string& out, float v) {
    if (append_special(out, v)) return;
    if (std::signbit(v)) out += '-';
    const float a = std::fabs(v);
    if (a == 0.0f) {
        out += "0.0";
        return;
    }
    const Digits d = shortest_digits(a);
    if (a >= 1e16f || a < 1e-4f) {
        out += d.digits[0];
        if (d.count > 1) {
            out += '.';
            out.append(d.digits + 1, static_cast<std::size_t>(d.count - 1));
        }
        out += 'e';
        if (d.exp < 0) {
            out += '-';
            append_u64(out, static_cast<std::uint64_t>(-d.exp));
        } else {
            append_u64(out, static_cast<std::uint64_t>(d.exp));
        }
        return;
    }
    append_positional(out, d, true);
}

void append_f32_plain(std::string& out, float v) {
    if (append_special(out, v)) return;
    if (std::signbit(v)) out += '-';
    const float a = std::fabs(v);
    if (a == 0.0f) {
        out += '0';
        return;
    }
    append_positional(out, shortest_digits(a), false);
}

void append_u64(std::string& out, std::uint64_t v) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, static_cast<std::size_t>(res.ptr - buf));
}

// ---------------------------------------------------------------------------------------------
// Text forms
// ---------------------------------------------------------------------------------------------

namespace {

void append_2digits(std::string& out, unsigned v) {
    out += static_cast<char>('0' + (v / 10) % 10);
    out += static_cast<char>('0' + v % 10);
}

void append_date(std::string& out, PackedDate date) {
    const DateParts p = unpack_date(date);
    append_u64(out, p.year);
    out += '/';
    append_2digits(out, p.month);
    out += '/';
    append_2digits(out, p.day);
    out += ' ';
    append_2digits(out, p.hour);
    out += ':';
    append_2digits(out, p.minute);
    out += ':';
    append_2digits(out, p.second);
}

void append_card_set(std::string& out, const CardSet& c) {
    if (c.count > 5) fault_index(c.count, 5);
    out += "[ ";
    for (std::uint8_t i = 0; i < c.count; ++i) {
        if (i) out += ' ';
        out += card_rank_char(c.cards[i]);
        out += card_suit_symbol(c.cards[i]);
    }
    out += " ]";
}

// Writes records and lists in the compact or the pretty layout. The separator before a field
// or element (and the trailing comma of the pretty layout) is written when the next field,
// element or closing bracket comes, so one flag per open level is enough: `first_`.
class Printer {
public:
    Printer(std::string& out, bool pretty) : out_(out), pretty_(pretty) {}

    void open_record(std::string_view name) {
        out_ += name;
        out_ += " {";
        ++depth_;
        first_ = true;
    }
    void field(std::string_view name) {
        if (pretty_) {
            if (!first_) out_ += ',';
            newline(depth_);
        } else {
            out_ += first_ ? " " : ", ";
        }
        first_ = false;
        out_ += name;
        out_ += ": ";
    }
    void close_record() {
        --depth_;
        if (pretty_) {
            if (!first_) out_ += ',';
            newline(depth_);
        } else {
            out_ += ' ';
        }
        out_ += '}';
        first_ = false;
    }

    void open_list() {
        out_ += '[';
        ++depth_;
        first_ = true;
    }
    void item() {
        if (pretty_) {
            if (!first_) out_ += ',';
            newline(depth_);
        } else if (!first_) {
            out_ += ", ";
        }
        first_ = false;
    }
    void close_list() {
        --depth_;
        if (!first_ && pretty_) {
            out_ += ',';
            newline(depth_);
        }
        out_ += ']';
        first_ = false;
    }

    std::string& out() { return out_; }

    void quoted(std::string_view s) {
        out_ += '\'';
        out_ += s;
        out_ += '\'';
    }
    void u64(std::uint64_t v) { append_u64(out_, v); }
    void f32(float v) { append_f32_record(out_, v); }

private:
    void newline(std::size_t depth) {
        out_ += '\n';
        out_.append(depth * 4, ' ');
    }

    std::string& out_;
    bool pretty_;
    bool first_ = true;
    std::size_t depth_ = 0;
};

void print_action(Printer& p, const HandStore& store, const Action& a, std::uint64_t text_start) {
    const ActionType type = a.type();
    if (static_cast<unsigned>(type) >= static_cast<unsigned>(kActionTypeCount)) {
        std::string detail = "Invalid action type: ";
        append_u64(detail, static_cast<unsigned>(type));
        fault_unreachable(detail);
    }
    p.open_record("Action");
    p.field("type");
    p.out() += action_type_name(type);
    p.field("player_id");
    p.u64(a.player_id());
    switch (payload_kind(type)) {
        case PayloadKind::Amount:
            p.field("amount");
            append_f32_plain(p.out(), a.amount());
            break;
        case PayloadKind::Cards:
            p.field("cards");
            append_card_set(p.out(), store.cards_of(a.payload()));
            break;
        case PayloadKind::CashOut: {
            const HandStore::CashOutValue v = store.cash_out_of(a.payload());
            p.field("data");
            p.open_record("CashOut");
            p.field("amount");
            p.f32(v.amount);
            p.field("fee");
            p.f32(v.fee);
            p.close_record();
            break;
        }
        case PayloadKind::Seat:
            p.field("seat");
            p.u64(a.payload());
            break;
        case PayloadKind::Message:
            p.field("msg");
            p.quoted(store.message_of(a.payload(), text_start));
            break;
        case PayloadKind::None:
            break;
    }
    p.close_record();
}

void print_actions(Printer& p, const HandStore& store, Span s, std::uint64_t text_start) {
    p.open_list();
    for (const Action& a : store.resolve(store.actions, s)) {
        p.item();
        print_action(p, store, a, text_start);
    }
    p.close_list();
}

void print_street(Printer& p, const HandStore& store, const Street& s, std::uint64_t text_start) {
    p.open_record("Street");
    p.field("cards");
    append_card_set(p.out(), s.cards);
    p.field("actions");
    print_actions(p, store, s.actions, text_start);
    p.close_record();
}

void print_streets(Printer& p, const HandStore& store, const std::vector<Street>& list, Span s,
                   std::uint64_t text_start) {
    p.open_list();
    for (const Street& street : store.resolve(list, s)) {
        p.item();
        print_street(p, store, street, text_start);
    }
    p.close_list();
}

void print_header(Printer& p, const HandStore& store, const Header& h, std::uint64_t text_start) {
    p.open_record("Header");
    p.field("id");
    p.quoted(store.text_of(h.id));
    p.field("site");
    p.out() += site_name(h.site);
    p.field("game_type");
    p.out() += game_type_name(h.game_type);
    p.field("currency");
    p.out() += '\'';
    append_utf8(p.out(), h.currency);
    p.out() += '\'';
    p.field("table_name");
    p.quoted(store.text_of(h.table_name));
    p.field("max_players");
    p.u64(h.max_players);
    p.field("dealer");
    p.u64(h.dealer);
    p.field("hero");
    p.u64(h.hero);
    p.field("ante");
    p.f32(h.ante);
    p.field("small_blind");
    p.f32(h.small_blind);
    p.field("big_blind");
    p.f32(h.big_blind);
    p.field("start_date");
    append_date(p.out(), h.start_date);
    p.field("players");
    p.open_list();
    for (const Player& player : store.resolve(store.players, h.players)) {
        p.item();
        p.open_record("Player");
        p.field("name");
        p.quoted(store.text_of(player.name));
        p.field("seat");
        p.u64(player.seat);
        p.field("chips");
        p.f32(player.chips);
        p.close_record();
    }
    p.close_list();
    p.field("actions");
    print_actions(p, store, h.actions, text_start);
    p.close_record();
}

void print_summary(Printer& p, const HandStore& store, const Summary& s,
                   std::uint64_t text_start) {
    p.open_record("Summary");
    p.field("pots");
    p.open_record("PotInfo");
    p.field("total");
    p.f32(s.pots.total);
    p.field("rake");
    p.f32(s.pots.rake);
    p.field("main");
    p.f32(s.pots.main);
    p.field("side_1");
    p.f32(s.pots.side_1);
    p.field("side_2");
    p.f32(s.pots.side_2);
    p.field("side_3");
    p.f32(s.pots.side_3);
    p.close_record();
    p.field("winners");
    p.open_list();
    for (const Winner& w : store.resolve(store.winners, s.winners)) {
        p.item();
        p.open_record("Winner");
        p.field("player_id");
        p.u64(w.player_id);
        p.field("amount");
        p.f32(w.amount);
        p.field("game_id");
        p.u64(w.game_id);
        p.close_record();
    }
    p.close_list();
    p.field("actions");
    print_actions(p, store, s.actions, text_start);
    p.close_record();
}

void print_hand(Printer& p, const HandStore& store, const Hand& h) {
    const std::uint64_t ts = h.text_start;
    p.open_record("Hand");
    p.field("header");
    print_header(p, store, h.header, ts);
    p.field("preflop");
    print_street(p, store, h.preflop, ts);
    p.field("flops");
    print_streets(p, store, store.flops, h.flops, ts);
    p.field("turns");
    print_streets(p, store, store.turns, h.turns, ts);
    p.field("rivers");
    print_streets(p, store, store.rivers, h.rivers, ts);
    p.field("showdowns");
    print_streets(p, store, store.showdowns, h.showdowns, ts);
    p.field("summary");
    print_summary(p, store, h.summary, ts);
    p.close_record();
}

// A rough size of one printed hand, to reserve the output once.
std::size_t hand_size_hint(bool pretty) { return pretty ? 8192 : 3072; }

}  // namespace

std::string card_set_text(const CardSet& c) {
    std::string out;
    out.reserve(4 + 5 * 5);
    append_card_set(out, c);
    return out;
}

std::string action_text(const HandStore& store, const Action& a, std::uint64_t text_start,
                        bool pretty) {
    std::string out;
    out.reserve(160);
    Printer p(out, pretty);
    print_action(p, store, a, text_start);
    return out;
}

std::string hand_text(const HandStore& store, std::size_t hand_index, bool pretty) {
    const Hand& h = at(store.hands, hand_index);
    std::string out;
    out.reserve(hand_size_hint(pretty));
    Printer p(out, pretty);
    print_hand(p, store, h);
    return out;
}

std::string hands_text(const HandStore& store, Span hands, bool pretty) {
    const std::span<const Hand> list = store.resolve(store.hands, hands);
    std::string out;
    out.reserve(2 + list.size() * hand_size_hint(pretty));
    Printer p(out, pretty);
    p.open_list();
    for (const Hand& h : list) {
        p.item();
        print_hand(p, store, h);
    }
    p.close_list();
    return out;
}

}  // namespace hs
