// Exact money: an amount of the history as a whole number of millionths, the decimal the
// history wrote (the shortest decimal that reads back as the stored f32). Sums and differences
// of Money are exact, so a pot less its wins is the history's own figure.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hs {

using Money = std::int64_t;
inline constexpr Money kMoneyUnit = 1000000;  // millionths

// The whole number of cents of `v` when its shortest decimal has at most two fraction digits
// and |v| < 2^17 (where a float's rounding interval is narrower than a cent, so at most one
// number of cents reads back as it); nullopt otherwise. Arithmetic only: the fast path of every
// amount.
[[gnu::always_inline]] inline std::optional<std::int64_t> whole_cents(float v) noexcept {
    const double d = v;
    if (!(std::fabs(d) < 131072.0)) return std::nullopt;
    const std::uint32_t exponent = (std::bit_cast<std::uint32_t>(v) >> 23) & 0xFF;
    if (exponent == 0) return v == 0.0f ? std::optional<std::int64_t>(0) : std::nullopt;
    // d * 100 is exact; adding and taking away 1.5 * 2^52 rounds it to a whole number. The
    // decimal cents / 100 reads back as v when it lies within half a unit in the last place of
    // v, that is when the cents are within 50 units of it (no division: this is every amount's
    // path; no tie can fall below 2^17).
    constexpr double kRound = 6755399441055744.0;
    const double scaled = d * 100.0;
    const double cents = (scaled + kRound) - kRound;
    const double unit = std::bit_cast<double>(std::uint64_t{exponent + 873} << 52);  // 2^(e-150)
    if (std::fabs(scaled - cents) >= 50.0 * unit) return std::nullopt;
    return static_cast<std::int64_t>(cents);
}

// The whole number of cents of a two-place amount that the readers took in two steps (the
// grouped amounts: the whole part and the cents, each made a float, added in float) and that
// gave exactly `v`, for 0 < v < 2^17; nullopt when none did. "1.84" so read is 1 + 0.84f, the
// float next below the one nearest 1.84, whose shortest decimal is 1.8399999: such a value has
// no whole cents, and this finds the 184 that the history wrote.
std::optional<std::int64_t> two_step_cents(float v) noexcept;

// The decimal of `v` in millionths through its text (digits beyond the millionths are dropped).
// Faults on an amount that is not finite or whose magnitude is 1e12 or more.
Money money_of_text(float v);
// The decimal the history wrote for `v`, in millionths: its whole cents, else the two-place
// amount read in two steps that gave it, else its shortest decimal (whole numbers below 2^24 by
// arithmetic, the others through money_of_text).
inline Money money_of(float v) {
    if (const auto cents = whole_cents(v)) return *cents * (kMoneyUnit / 100);
    if (const auto cents = two_step_cents(v)) return *cents * (kMoneyUnit / 100);
    if (std::fabs(v) < 16777216.0f) {
        const auto whole = static_cast<std::int64_t>(v);
        if (static_cast<float>(whole) == v) return whole * kMoneyUnit;
    }
    return money_of_text(v);
}

// The decimal form: digits, and the fraction without trailing zeros ("0.5", "12", "-3.25"),
// written at the end of `buf`.
using MoneyBuffer = std::array<char, 32>;
std::string_view money_text(Money m, MoneyBuffer& buf) noexcept;
inline void append_money(std::string& out, Money m) {
    MoneyBuffer buf;
    out += money_text(m, buf);
}
// The float64 nearest to the decimal (a correctly rounded division: 0.1, never
// 0.10000000000000001 noise from a float).
inline double money_value(Money m) noexcept {
    return static_cast<double>(m) / static_cast<double>(kMoneyUnit);
}

}  // namespace hs
