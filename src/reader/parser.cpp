// The parser cursor (lines, the end marker, player registration, actions) and the value readers.
#include "reader/parser.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <limits>

#include "core/utf8.hpp"
#include "reader/phrases.hpp"

namespace hs {

namespace {

// ---------------------------------------------------------------------------------------------
// Characters
// ---------------------------------------------------------------------------------------------

struct CodeRange {
    char32_t first, last;
};

// Code points above U+007F in the Unicode general categories Nd, Nl and No (Unicode 14.0),
// sorted and disjoint. The ASCII digits are tested separately.
constexpr CodeRange kNumericRanges[] = {
    {0xB2, 0xB3},       {0xB9, 0xB9},       {0xBC, 0xBE},       {0x660, 0x669},
    {0x6F0, 0x6F9},     {0x7C0, 0x7C9},     {0x966, 0x96F},     {0x9E6, 0x9EF},
    {0x9F4, 0x9F9},     {0xA66, 0xA6F},     {0xAE6, 0xAEF},     {0xB66, 0xB6F},
    {0xB72, 0xB77},     {0xBE6, 0xBF2},     {0xC66, 0xC6F},     {0xC78, 0xC7E},
    {0xCE6, 0xCEF},     {0xD58, 0xD5E},     {0xD66, 0xD78},     {0xDE6, 0xDEF},
    {0xE50, 0xE59},     {0xED0, 0xED9},     {0xF20, 0xF33},     {0x1040, 0x1049},
    {0x1090, 0x1099},   {0x1369, 0x137C},   {0x16EE, 0x16F0},   {0x17E0, 0x17E9},
    {0x17F0, 0x17F9},   {0x1810, 0x1819},   {0x1946, 0x194F},   {0x19D0, 0x19DA},
    {0x1A80, 0x1A89},   {0x1A90, 0x1A99},   {0x1B50, 0x1B59},   {0x1BB0, 0x1BB9},
    {0x1C40, 0x1C49},   {0x1C50, 0x1C59},   {0x2070, 0x2070},   {0x2074, 0x2079},
    {0x2080, 0x2089},   {0x2150, 0x2182},   {0x2185, 0x2189},   {0x2460, 0x249B},
    {0x24EA, 0x24FF},   {0x2776, 0x2793},   {0x2CFD, 0x2CFD},   {0x3007, 0x3007},
    {0x3021, 0x3029},   {0x3038, 0x303A},   {0x3192, 0x3195},   {0x3220, 0x3229},
    {0x3248, 0x324F},   {0x3251, 0x325F},   {0x3280, 0x3289},   {0x32B1, 0x32BF},
    {0xA620, 0xA629},   {0xA6E6, 0xA6EF},   {0xA830, 0xA835},   {0xA8D0, 0xA8D9},
    {0xA900, 0xA909},   {0xA9D0, 0xA9D9},   {0xA9F0, 0xA9F9},   {0xAA50, 0xAA59},
    {0xABF0, 0xABF9},   {0xFF10, 0xFF19},   {0x10107, 0x10133}, {0x10140, 0x10178},
    {0x1018A, 0x1018B}, {0x102E1, 0x102FB}, {0x10320, 0x10323}, {0x10341, 0x10341},
    {0x1034A, 0x1034A}, {0x103D1, 0x103D5}, {0x104A0, 0x104A9}, {0x10858, 0x1085F},
    {0x10879, 0x1087F}, {0x108A7, 0x108AF}, {0x108FB, 0x108FF}, {0x10916, 0x1091B},
    {0x109BC, 0x109BD}, {0x109C0, 0x109CF}, {0x109D2, 0x109FF}, {0x10A40, 0x10A48},
    {0x10A7D, 0x10A7E}, {0x10A9D, 0x10A9F}, {0x10AEB, 0x10AEF}, {0x10B58, 0x10B5F},
    {0x10B78, 0x10B7F}, {0x10BA9, 0x10BAF}, {0x10CFA, 0x10CFF}, {0x10D30, 0x10D39},
    {0x10E60, 0x10E7E}, {0x10F1D, 0x10F26}, {0x10F51, 0x10F54}, {0x10FC5, 0x10FCB},
    {0x11052, 0x1106F}, {0x110F0, 0x110F9}, {0x11136, 0x1113F}, {0x111D0, 0x111D9},
    {0x111E1, 0x111F4}, {0x112F0, 0x112F9}, {0x11450, 0x11459}, {0x114D0, 0x114D9},
    {0x11650, 0x11659}, {0x116C0, 0x116C9}, {0x11730, 0x1173B}, {0x118E0, 0x118F2},
    {0x11950, 0x11959}, {0x11C50, 0x11C6C}, {0x11D50, 0x11D59}, {0x11DA0, 0x11DA9},
    {0x11FC0, 0x11FD4}, {0x12400, 0x1246E}, {0x16A60, 0x16A69}, {0x16AC0, 0x16AC9},
    {0x16B50, 0x16B59}, {0x16B5B, 0x16B61}, {0x16E80, 0x16E96}, {0x1D2E0, 0x1D2F3},
    {0x1D360, 0x1D378}, {0x1D7CE, 0x1D7FF}, {0x1E140, 0x1E149}, {0x1E2F0, 0x1E2F9},
    {0x1E8C7, 0x1E8CF}, {0x1E950, 0x1E959}, {0x1EC71, 0x1ECAB}, {0x1ECAD, 0x1ECAF},
    {0x1ECB1, 0x1ECB4}, {0x1ED01, 0x1ED2D}, {0x1ED2F, 0x1ED3D}, {0x1F100, 0x1F10C},
    {0x1FBF0, 0x1FBF9},
};

constexpr bool ranges_sorted() {
    for (std::size_t i = 0; i < std::size(kNumericRanges); ++i) {
        if (kNumericRanges[i].first > kNumericRanges[i].last) return false;
        if (i > 0 && kNumericRanges[i - 1].last >= kNumericRanges[i].first) return false;
    }
    return true;
}
static_assert(ranges_sorted());

bool is_numeric_code_point(char32_t c) noexcept {
    if (c >= U'0' && c <= U'9') return true;
    if (c < kNumericRanges[0].first) return false;
    // The last range whose first code point is <= c.
    const auto* it = std::upper_bound(std::begin(kNumericRanges), std::end(kNumericRanges), c,
                                      [](char32_t v, const CodeRange& r) { return v < r.first; });
    return it != std::begin(kNumericRanges) && c <= (it - 1)->last;
}

inline bool is_ascii_digit(unsigned char b) noexcept { return b >= '0' && b <= '9'; }

// Length of the leading run of numeric characters, and of ',' too when `commas` is set.
std::size_t numeric_prefix(std::string_view s, bool commas) noexcept {
    std::size_t i = 0;
    // ASCII digits first; characters outside ASCII are decoded only when one is met.
    const std::size_t n = s.size();
    while (i < n && is_ascii_digit(static_cast<unsigned char>(s[i]))) ++i;
    if (i == n || (static_cast<unsigned char>(s[i]) < 0x80 && (!commas || s[i] != ','))) return i;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (is_ascii_digit(b) || (commas && b == ',')) {
            ++i;
            continue;
        }
        if (b < 0x80) break;
        const Decoded d = decode_utf8(s, i);
        if (d.len == 0 || !is_numeric_code_point(d.cp)) break;
        i += d.len;
    }
    return i;
}

// A character for the digit arithmetic of grouped amounts: a byte that starts no well-formed
// character counts as a character of its own value.
inline Decoded amount_char_at(std::string_view s, std::size_t i) noexcept {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return {b, 1};
    const Decoded d = decode_utf8(s, i);
    if (d.len == 0) return {static_cast<unsigned char>(s[i]), 1};
    return d;
}

// (c - '0') modulo 256.
inline std::uint64_t digit_value(char32_t c) noexcept {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(c) - U'0');
}

// Integer part of a grouped amount: ',' skipped, stops at '.' or at the end. Returns the value
// and the offset where it stopped.
std::uint64_t grouped_integer(std::string_view s, std::size_t& stop) noexcept {
    std::uint64_t value = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const Decoded d = amount_char_at(s, i);
        if (d.cp == U'.') break;
        if (d.cp != U',') value = value * 10 + digit_value(d.cp);
        i += d.len;
    }
    stop = i;
    return value;
}

// Where the last number of a text begins, for hands whose amounts carry no sign: the start of
// the last run of ASCII digits and '.' (and ',' for grouped amounts) that holds a digit, past any
// leading separator that is not a '.' directly before a digit. npos when the text has no digit.
std::size_t last_number_start(std::string_view s, bool commas) noexcept {
    std::size_t last = s.size();
    while (last > 0 && !is_ascii_digit(static_cast<unsigned char>(s[last - 1]))) --last;
    if (last == 0) return npos;
    const auto in_run = [&](unsigned char b) {
        return is_ascii_digit(b) || b == '.' || (commas && b == ',');
    };
    std::size_t start = last - 1;
    while (start > 0 && in_run(static_cast<unsigned char>(s[start - 1]))) --start;
    while (!is_ascii_digit(static_cast<unsigned char>(s[start]))) {
        const bool dot_before_digit =
            s[start] == '.' && is_ascii_digit(static_cast<unsigned char>(s[start + 1]));
        if (dot_before_digit) break;
        ++start;
    }
    return start;
}

std::size_t first_digit_at(std::string_view s) noexcept {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (is_ascii_digit(static_cast<unsigned char>(s[i]))) return i;
    return npos;
}

// Offset and length of the sign in the text, searched forward or from the end.
struct SignAt {
    std::size_t at, len;
};
inline std::optional<SignAt> find_sign(std::string_view text, Currency sign, bool last) noexcept {
    if (sign != 0 && sign < 0x80) {  // '$': one byte
        const auto c = static_cast<char>(sign);
        const std::size_t at = last ? rfind_byte(text, c) : find_byte(text, c);
        if (at == npos) return std::nullopt;
        return SignAt{at, 1};
    }
    const Utf8Bytes enc = encode_utf8(sign);
    if (enc.len == 0) return std::nullopt;
    const std::size_t at = last ? rfind_str(text, enc.view()) : find_str(text, enc.view());
    if (at == npos) return std::nullopt;
    return SignAt{at, enc.len};
}

template <class Reader>
std::optional<SignedRead> read_after(std::string_view text, std::size_t sign_at,
                                     std::size_t sign_len, Reader read) noexcept {
    const std::size_t from = sign_at + sign_len;
    if (from > text.size()) return std::nullopt;
    const auto r = read(text.substr(from));
    if (!r) return std::nullopt;
    return SignedRead{r->value, sign_at, from + r->len};
}

// The number after the sign (the first or the last sign of the text), read by `read`; with
// sign 0 the first ASCII digit, or the start of the last number, stands where the sign would.
template <class Reader>
std::optional<SignedRead> after_sign(std::string_view text, Currency sign, bool last, bool commas,
                                     Reader read) noexcept {
    if (sign == 0) {
        const std::size_t at = last ? last_number_start(text, commas) : first_digit_at(text);
        if (at == npos) return std::nullopt;
        return read_after(text, at, 0, read);
    }
    const auto s = find_sign(text, sign, last);
    if (!s) return std::nullopt;
    return read_after(text, s->at, s->len, read);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------------------------

LineSplitter::LineSplitter(std::string_view text) noexcept : text_(text) {
    const std::size_t lf = find_byte(text, '\n');
    if (lf != npos) {
        kind_ = (lf > 0 && text[lf - 1] == '\r') ? Kind::Pair : Kind::Byte;
    } else {
        kind_ = find_byte(text, '\r') != npos ? Kind::Cr : Kind::Byte;
    }
}

// ---------------------------------------------------------------------------------------------
// The cursor
// ---------------------------------------------------------------------------------------------

Parser::Parser(std::string_view text, HandStore& store)
    : lines_(text), line_(), text_(text), store_(&store) {
    players_.clear();
    next_line();
}

void Parser::skip_empty_lines() noexcept {
    while (line_.empty()) next_line();
}

namespace {
std::uint64_t load8(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
}  // namespace

void Parser::set_hand_start(std::string_view start) {
    if (start.size() < 4 || start.size() > 16) fault_index(start.size(), 16);
    hand_start_ = start;
    if (start.size() >= 8) {
        start_head_ = load8(start.data());
        start_tail_ = load8(start.data() + start.size() - 8);
    }
    // ASCII white space, U+0085 and U+00A0 (0xC2), U+1680 (0xE1), U+2000-U+205F (0xE2),
    // U+3000 (0xE3) and the byte-order mark (0xEF).
    for (unsigned char b : {'\t', '\n', '\v', '\f', '\r', ' '}) may_start_[b] = true;
    for (unsigned char b : {0xC2, 0xE1, 0xE2, 0xE3, 0xEF}) may_start_[b] = true;
    may_start_[static_cast<unsigned char>(start.front())] = true;
}

bool Parser::begins_hand(std::string_view line) const noexcept {
    const std::size_t n = hand_start_.size();
    if (n == 0) return false;
    // Two overlapping 8-byte compares cover the whole start.
    const auto at_start = [&](std::string_view s) {
        if (n < 8) return s.starts_with(hand_start_);
        return s.size() >= n && load8(s.data()) == start_head_ &&
               load8(s.data() + n - 8) == start_tail_;
    };
    if (at_start(line)) return true;
    if (line.empty() || line.front() == hand_start_.front()) return false;  // not white space
    std::size_t at = 0;
    for (;;) {
        const std::string_view rest = line.substr(at);
        std::size_t skip = white_space_len(rest);
        if (skip == 0 && rest.starts_with(kByteOrderMark)) skip = kByteOrderMark.size();
        if (skip == 0) return at != 0 && at_start(rest);
        at += skip;
    }
}

void Parser::hold_if_hand_start() noexcept {
    if (!begins_hand(line_)) return;
    held_ = line_;
    line_ = kEndMarker;
}

bool Parser::take_held_start() noexcept {
    if (held_.empty()) return false;
    line_ = held_;
    held_ = {};
    return true;
}

void Parser::begin_hand() noexcept {
    players_.clear();
    first_player_ = store_->players.size();
    text_start_ = store_->text.size();
}

Player& Parser::player(std::uint8_t id) {
    return at(store_->players, static_cast<std::size_t>(first_player_ + id));
}

Parser::Found Parser::lookup_among(std::uint32_t mask, const NameWords& words,
                                   std::string_view key) const {
    for (std::uint32_t m = mask; m != 0; m &= m - 1) {
        const auto slot = static_cast<std::uint8_t>(std::countr_zero(m));
        if (players_.words[slot & (PlayerTable::SLOTS - 1)] == words &&
            (words.size <= NameWords::kWholeName || keyed_name_is(slot, key)))
            return Found{slot, true};
    }
    return Found{static_cast<std::uint8_t>(std::countr_zero(mask)), false};
}

bool Parser::keyed_name_is(std::uint8_t slot, std::string_view key) const {
    const TextRef name = at(store_->players, static_cast<std::size_t>(first_player_ + slot)).name;
    return key_name(slice(store_->text, name.offset(), name.offset() + name.length())) == key;
}

Action Parser::make_card_action(std::string_view name, ActionType type, const CardSet& cards) {
    const std::uint32_t index = store_->push_card_set(cards);
    return Action::make(type, find_player(name), index);
}

// ---------------------------------------------------------------------------------------------
// Grouped amounts
// ---------------------------------------------------------------------------------------------

std::size_t numeric_len(std::string_view text) noexcept { return numeric_prefix(text, false); }

std::size_t numeric_run_len(std::string_view text) noexcept { return numeric_prefix(text, true); }

std::optional<NumberRead> read_amount(std::string_view text) noexcept {
    const std::size_t r = numeric_run_len(text);
    std::size_t extent;
    if (r > 0) {
        extent = r;
        if (r < text.size() && text[r] == '.') {
            const std::size_t s = numeric_run_len(text.substr(r + 1));
            if (s > 0) extent = r + 1 + s;
        }
    } else {
        if (text.empty() || text[0] != '.') return std::nullopt;
        const std::size_t s = numeric_run_len(text.substr(1));
        if (s == 0) return std::nullopt;
        extent = 1 + s;
    }
    return NumberRead{parse_amount(text.substr(0, extent)), extent};
}

std::optional<NumberRead> read_chips(std::string_view text) noexcept {
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (is_ascii_digit(b)) {
            value = value * 10 + (b - '0');
        } else if (b != ',') {
            break;
        }
    }
    // A '.' or a character outside ASCII may carry the number on: read_amount's to read.
    const unsigned char after = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    if (i == 0 || after == '.' || after >= 0x80) return read_amount(text);
    return NumberRead{static_cast<float>(value), i};
}

float parse_amount(std::string_view text) noexcept {
    std::size_t i = 0;
    const std::uint64_t value = grouped_integer(text, i);
    char32_t d1 = U'0', d2 = U'0';
    if (i < text.size()) {  // text[i] is the '.'
        ++i;
        if (i < text.size()) {
            const Decoded a = amount_char_at(text, i);
            d1 = a.cp;
            i += a.len;
            if (i < text.size()) d2 = amount_char_at(text, i).cp;
        }
    }
    const auto cents = static_cast<std::uint8_t>(digit_value(d1) * 10 + digit_value(d2));
    return static_cast<float>(value) + static_cast<float>(cents) / 100.0f;
}

std::uint64_t parse_grouped_integer(std::string_view text) noexcept {
    std::size_t stop = 0;
    return grouped_integer(text, stop);
}

std::optional<SignedRead> amount_after_last(std::string_view text, Currency sign) noexcept {
    if (sign == 0) {
        const std::size_t at = last_number_start(text, true);
        if (at == npos) return std::nullopt;
        return read_after(text, at, 0, read_amount);
    }
    const auto s = find_sign(text, sign, true);
    if (!s) return std::nullopt;
    return read_after(text, s->at, s->len, read_amount);
}

// ---------------------------------------------------------------------------------------------
// Plain numbers
// ---------------------------------------------------------------------------------------------

std::optional<IntegerRead> read_integer(std::string_view text) noexcept {
    // ASCII digits ended by an ASCII byte (or the end): at most 19 digits cannot overflow.
    {
        const std::size_t n = text.size();
        std::size_t i = 0;
        std::uint64_t v = 0;
        while (i < n && is_ascii_digit(static_cast<unsigned char>(text[i]))) {
            v = v * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
        }
        if (i == 0 && (n == 0 || static_cast<unsigned char>(text[0]) < 0x80)) return std::nullopt;
        if (i > 0 && i <= 19 && (i == n || static_cast<unsigned char>(text[i]) < 0x80))
            return IntegerRead{v, i};
    }
    const std::size_t r = numeric_len(text);
    if (r == 0) return std::nullopt;
    std::uint64_t v = 0;
    const char* end = text.data() + r;
    const auto res = std::from_chars(text.data(), end, v);
    if (res.ec != std::errc{} || res.ptr != end) return std::nullopt;
    return IntegerRead{v, r};
}

namespace {
constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 24;
constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
}  // namespace

std::optional<NumberRead> read_decimal_general(std::string_view text) noexcept {
    const std::size_t r = numeric_len(text);
    if (r == 0) return std::nullopt;
    std::size_t extent = r;
    if (r < text.size() && text[r] == '.') {
        const std::size_t s = numeric_len(text.substr(r + 1));
        if (s > 0) extent = r + 1 + s;
    }
    // A non-ASCII numeric character leaves from_chars short of the extent: no result. The same
    // walk gathers the digits as an integer mantissa and counts the decimals.
    std::uint64_t mantissa = 0;
    std::size_t decimals = 0;
    for (std::size_t i = 0; i < extent; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (is_ascii_digit(b)) {
            if (mantissa <= kExactMantissa) mantissa = mantissa * 10 + (b - '0');
            decimals += i > r;
        } else if (b != '.') {
            return std::nullopt;
        }
    }
    // A mantissa of at most 2^24 and a power of ten of at most 10^10 are both exact in f32, so
    // one division gives the correctly rounded value; anything else goes through from_chars.
    if (mantissa <= kExactMantissa && decimals < std::size(kPow10))
        return NumberRead{static_cast<float>(mantissa) / kPow10[decimals], extent};
    float v = 0.0f;
    const char* end = text.data() + extent;
    const auto res = std::from_chars(text.data(), end, v, std::chars_format::fixed);
    if (res.ptr != end) return std::nullopt;
    if (res.ec == std::errc::result_out_of_range) {
        // Rounded to nearest, a digit string beyond the f32 range is infinite and one below
        // its smallest subnormal is zero.
        bool whole_part = false;
        for (std::size_t i = 0; i < r; ++i) whole_part |= text[i] != '0';
        v = whole_part ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (res.ec != std::errc{}) {
        return std::nullopt;
    }
    return NumberRead{v, extent};
}

std::optional<SignedRead> decimal_after_sign(std::string_view text, Currency sign,
                                             bool last) noexcept {
    if (sign == kChips) return after_sign(text, 0, last, true, read_chips);
    if ((sign & kGrouped) != 0)
        return after_sign(text, bare_sign(sign), last, true, read_grouped_decimal);
    return after_sign(text, sign, last, false, read_decimal);
}

std::optional<NumberRead> read_grouped_decimal(std::string_view text) noexcept {
    const auto digit_at = [&](std::size_t i) {
        return i < text.size() && is_ascii_digit(static_cast<unsigned char>(text[i]));
    };
    std::size_t whole = 0;
    while (digit_at(whole)) ++whole;
    if (whole == 0 || whole >= text.size() || text[whole] != ',') return read_decimal(text);
    // The digits without their ',' go to read_decimal; a number too long for the copy is none.
    char ungrouped[32];
    std::size_t n = 0, i = 0;
    const auto copy = [&](std::size_t end) {
        for (; i < end; ++i) {
            if (text[i] == ',') continue;
            if (n == sizeof ungrouped) return false;
            ungrouped[n++] = text[i];
        }
        return true;
    };
    std::size_t end = whole;
    while (end < text.size() && text[end] == ',' && digit_at(end + 1) && digit_at(end + 2) &&
           digit_at(end + 3) && !digit_at(end + 4))
        end += 4;
    if (end < text.size() && text[end] == '.')
        for (++end; digit_at(end);) ++end;
    if (!copy(end)) return std::nullopt;
    const auto r = read_decimal(std::string_view(ungrouped, n));
    if (!r) return std::nullopt;
    // The copy's length back in the text: its digits and the ',' among them.
    std::size_t len = 0;
    for (std::size_t kept = 0; kept < r->len; ++len) kept += text[len] != ',';
    return NumberRead{r->value, len};
}

// ---------------------------------------------------------------------------------------------
// Signs, seats, cards
// ---------------------------------------------------------------------------------------------

std::optional<SignRead> currency_symbol(std::string_view text) noexcept {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.empty()) return std::nullopt;
    if (b(0) == '$') return SignRead{U'$', 1};
    if (text.size() < 2) return std::nullopt;
    if (b(0) == 0xC2 && b(1) == 0xA3) return SignRead{U'\u00A3', 2};
    if (b(0) == 0xC2 && b(1) == 0xA5) return SignRead{U'\u00A5', 2};
    if (text.size() < 3) return std::nullopt;
    if (b(0) == 0xE2 && b(1) == 0x82 && b(2) == 0xAC) return SignRead{U'\u20AC', 3};
    if (b(0) == 0xE2 && b(1) == 0x82 && b(2) == 0xB9) return SignRead{U'\u20B9', 3};
    return std::nullopt;
}

std::optional<SeatLine> read_seat_line(std::string_view line) {
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

std::optional<TrailingRead> amount_sign_after(std::string_view text) noexcept {
    const auto number = read_decimal(text);
    if (!number) return std::nullopt;
    TrailingRead out{number->value, 0, number->len};
    if (starts(rest(text, out.len), "k")) {
        // Thousands: the number read again with its point three digits further right, so that
        // "3.37k" is 3370 exactly rather than 3.37f times 1000.
        char shifted[48];
        const std::string_view digits = text.substr(0, out.len);
        const std::size_t point = find_byte(digits, '.');
        if (digits.size() + 3 > sizeof shifted) return std::nullopt;
        std::size_t n = 0;
        for (std::size_t i = 0; i < digits.size(); ++i)
            if (i != point) shifted[n++] = digits[i];
        const std::size_t decimals = point == npos ? 0 : digits.size() - point - 1;
        for (std::size_t i = decimals; i < 3; ++i) shifted[n++] = '0';
        if (decimals > 3) {  // the point goes back in, three digits after where it stood
            std::copy_backward(shifted + point + 3, shifted + n, shifted + n + 1);
            shifted[point + 3] = '.';
            ++n;
        }
        const auto thousands = read_decimal(std::string_view(shifted, n));
        if (!thousands) return std::nullopt;
        out.value = thousands->value;
        ++out.len;
    }
    if (const auto sign = currency_symbol(rest(text, out.len))) {
        out.sign = sign->sign;
        out.len += sign->len;
    }
    return out;
}

// Byte length of the white-space character at the start of `s` (0 when it is not one): ASCII
// tab, line feed, vertical tab, form feed, carriage return and space, and the non-ASCII
// characters of the Unicode White_Space property (U+0085, U+00A0, U+1680, U+2000-U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000).
std::size_t white_space_len(std::string_view s) noexcept {
    if (s.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 == ' ' || (b0 >= 0x09 && b0 <= 0x0D)) return 1;
    if (b0 == 0xC2 && s.size() >= 2) {
        const auto b1 = static_cast<unsigned char>(s[1]);
        return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    }
    if (s.size() < 3) return 0;
    const auto b1 = static_cast<unsigned char>(s[1]);
    const auto b2 = static_cast<unsigned char>(s[2]);
    if (b0 == 0xE1) return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
    if (b0 == 0xE2) {
        if (b1 == 0x80)
            return (b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) && b2 >= 0x80 ? 3 : 0;
        if (b1 == 0x81) return b2 == 0x9F ? 3 : 0;
        return 0;
    }
    if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
    return 0;
}

}  // namespace hs
