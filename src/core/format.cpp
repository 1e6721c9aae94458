// Number and date forms: shortest round-trip float digits by std::to_chars, never printf.
#include "core/format.hpp"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

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
