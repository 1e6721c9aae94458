// Exact money: an amount of the history as a whole number of millionths, the decimal the
// history wrote (the shortest decimal that reads back as the stored f32). Sums and differences
// of Money are exact, so a pot less its wins is the history's own figure.
#pragma once

#include <array>
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
std::optional<std::int64_t> whole_cents(float v) noexcept;

// The decimal of `v` in millionths (digits beyond the millionths are dropped). Faults on an
// amount that is not finite or whose magnitude is 1e12 or more.
Money money_of(float v);

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
