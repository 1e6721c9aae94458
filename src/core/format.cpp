// Number and date forms: shortest round-trip float digits by std::to_chars, never printf.
#include "core/format.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace hs {

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
// Decimals
// ---------------------------------------------------------------------------------------------

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::int64_t kExactInDouble = std::int64_t{1} << 53;

Decimal trimmed(Decimal d) {
    if (d.units == 0) return Decimal{};
    while (d.units % 10 == 0) {
        d.units /= 10;
        ++d.exp;
    }
    return d;
}

Decimal negated(Decimal d, bool negative) {
    if (negative) d.units = -d.units;
    return d;
}

// "<units>e<exp>": the decimal's text for from_chars.
std::string_view decimal_text(Decimal d, char (&buf)[48]) {
    auto r = std::to_chars(buf, buf + sizeof buf - 1, d.units);  // room for the 'e' kept
    if (r.ec != std::errc()) fault_unreachable("decimal conversion failed");
    *r.ptr++ = 'e';
    r = std::to_chars(r.ptr, buf + sizeof buf, d.exp);
    if (r.ec != std::errc()) fault_unreachable("decimal conversion failed");
    return std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

float decimal_float(Decimal d) {
    char buf[48];
    const std::string_view s = decimal_text(d, buf);
    float f = 0.0f;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), f);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        fault_unreachable("decimal does not read back");
    return f;
}

// The two-place amount whose reading in two steps (see written_decimal) gives v, if one does.
std::optional<Decimal> two_step_amount(float v) {
    if (!(v > 0.0f) || v >= 16777216.0f) return std::nullopt;  // whole parts exact in a float
    const double d = v;
    const auto whole = static_cast<std::int64_t>(d);
    const float whole_f = static_cast<float>(whole);
    const auto near =
        static_cast<std::int64_t>(std::lround((d - static_cast<double>(whole)) * 100.0));
    for (std::int64_t cents = near - 1; cents <= near + 1; ++cents) {
        if (cents < 0 || cents > 99) continue;
        const float fraction = static_cast<float>(cents) / 100.0f;
        const float read = whole_f + fraction;
        if (read == v) return trimmed(Decimal{whole * 100 + cents, -2});
    }
    return std::nullopt;
}

}  // namespace

Decimal shortest_decimal(float v) {
    if (!std::isfinite(v)) fault_unreachable("a decimal of a value that is not finite");
    const bool negative = std::signbit(v);
    const float a = std::fabs(v);
    if (a == 0.0f) return Decimal{};
    const double d = a;
    if (d < 131072.0) {
        // Below 2^17 a float's rounding interval is narrower than a cent, so it holds at most
        // one whole number of cents; when it does, no shorter decimal rounds to the float.
        // d * 100 is exact, and adding and taking away 1.5 * 2^52 rounds it to a whole number.
        constexpr double kRound = 6755399441055744.0;
        const double cents = (d * 100.0 + kRound) - kRound;
        if (static_cast<float>(cents / 100.0) == a)
            return negated(trimmed(Decimal{static_cast<std::int64_t>(cents), -2}), negative);
    } else if (d < 16777216.0 && d == std::nearbyint(d)) {
        // A whole number below 2^24 is its own shortest decimal.
        return negated(trimmed(Decimal{static_cast<std::int64_t>(d), 0}), negative);
    }
    const Digits digits = shortest_digits(a);
    Decimal out{0, digits.exp - (digits.count - 1)};
    for (int i = 0; i < digits.count; ++i) out.units = out.units * 10 + (digits.digits[i] - '0');
    return negated(trimmed(out), negative);
}

Decimal written_decimal(float v) {
    const Decimal shortest = shortest_decimal(v);
    if (shortest.exp >= -2) return shortest;
    const auto two_step = two_step_amount(v);
    return two_step ? *two_step : shortest;
}

double decimal_double(Decimal d) {
    const std::int64_t magnitude = d.units < 0 ? -d.units : d.units;
    if (magnitude < kExactInDouble && d.exp >= -22 && d.exp <= 22) {
        // Both operands exact: one correctly rounded operation.
        const auto units = static_cast<double>(d.units);
        return d.exp >= 0 ? units * kPow10[d.exp] : units / kPow10[-d.exp];
    }
    char buf[48];
    const std::string_view s = decimal_text(d, buf);
    double out = 0.0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        fault_unreachable("decimal does not read back");
    return out;
}

float written_sum(float a, float b) {
    if (a == 0.0f || b == 0.0f || !std::isfinite(a) || !std::isfinite(b)) return a + b;
    Decimal x = written_decimal(a), y = written_decimal(b);
    if (x.exp > y.exp) std::swap(x, y);
    // Align on the smaller exponent; amounts far apart in scale are added as floats.
    if (y.exp - x.exp > 9) return a + b;
    for (int e = x.exp; e < y.exp; ++e) y.units *= 10;
    return decimal_float(Decimal{x.units + y.units, x.exp});
}

namespace {

void append_2digits(std::string& out, unsigned v) {
    out += static_cast<char>('0' + (v / 10) % 10);
    out += static_cast<char>('0' + v % 10);
}

}  // namespace

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

}  // namespace hs
