// The number readers (see numbers.hpp).
#include "reader/numbers.hpp"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>

#include "core/chars.hpp"
#include "core/fault.hpp"
#include "core/utf8.hpp"
#include "reader/phrases.hpp"

namespace hs {

namespace {

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
inline std::uint64_t grouped_integer(std::string_view s, std::size_t& stop) noexcept {
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
// Grouped amounts
// ---------------------------------------------------------------------------------------------

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

std::optional<SignedRead> decimal_after_sign(std::string_view text, AmountForm form,
                                             bool last) noexcept {
    switch (form.form) {
        case NumberForm::Chips: return after_sign(text, 0, last, true, read_chips);
        case NumberForm::Grouped:
            return after_sign(text, form.sign, last, true, read_grouped_decimal);
        case NumberForm::Plain: break;
    }
    return after_sign(text, form.sign, last, false, read_decimal);
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

Currency first_currency_sign(std::string_view text) noexcept {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto b = static_cast<unsigned char>(text[at]);
        if (b != '$' && b < 0x80) continue;  // every other sign begins outside ASCII
        if (const auto s = currency_symbol(text.substr(at))) return s->sign;
    }
    return 0;
}

std::optional<NumberRead> signed_grouped_amount(std::string_view text) noexcept {
    std::size_t skip = 0;
    if (const auto sign = currency_symbol(text)) skip = sign->len;
    auto r = read_grouped_decimal(text.substr(skip));
    if (r) r->len += skip;
    return r;
}

std::optional<NumberRead> first_grouped_number(std::string_view text) noexcept {
    std::size_t at = 0;
    while (at < text.size() && !is_ascii_digit(static_cast<unsigned char>(text[at]))) ++at;
    auto r = read_grouped_decimal(rest(text, at));
    if (r) r->len += at;
    return r;
}

float amount_at(std::string_view text, std::string_view line,
                std::optional<NumberRead> (*read)(std::string_view) noexcept) {
    const auto r = read(text);
    if (!r) fault_missing("amount", line);
    return r->value;
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

}  // namespace hs
