#include "core/money.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

#include "core/fault.hpp"
#include "core/format.hpp"

namespace hs {

namespace {
constexpr float kMoneyLimit = 1e12f;  // below 2^63 millionths
}  // namespace

Money money_of_text(float v) {
    if (!std::isfinite(v) || std::fabs(v) >= kMoneyLimit) {
        std::string detail = "amount out of range: ";
        append_f32_plain(detail, v);
        fault(detail);
    }
    char buf[48];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (res.ec != std::errc()) fault_unreachable("float conversion failed");
    Money whole = 0, fraction = 0, scale = kMoneyUnit;
    bool negative = false, in_fraction = false;
    for (const char* p = buf; p != res.ptr; ++p) {
        if (*p == '-') {
            negative = true;
        } else if (*p == '.') {
            in_fraction = true;
        } else if (!in_fraction) {
            whole = whole * 10 + (*p - '0');
        } else if (scale > 1) {  // digits beyond the millionths are dropped
            scale /= 10;
            fraction += (*p - '0') * scale;
        }
    }
    const Money m = whole * kMoneyUnit + fraction;
    return negative ? -m : m;
}

std::optional<std::int64_t> two_step_cents(float v) noexcept {
    if (!(v > 0.0f) || v >= 131072.0f) return std::nullopt;
    const double d = v;
    const auto whole = static_cast<std::int64_t>(d);
    const float whole_f = static_cast<float>(whole);
    const auto near = std::llround((d - static_cast<double>(whole)) * 100.0);
    for (std::int64_t cents = near - 1; cents <= near + 1; ++cents) {
        if (cents < 0 || cents > 99) continue;
        const float fraction = static_cast<float>(cents) / 100.0f;
        if (whole_f + fraction == v) return whole * 100 + cents;
    }
    return std::nullopt;
}

std::string_view money_text(Money m, MoneyBuffer& buf) noexcept {
    char* end = buf.data() + buf.size();
    char* p = end;
    // The magnitude as unsigned: the most negative value has none as a signed number.
    std::uint64_t a = m < 0 ? 0 - static_cast<std::uint64_t>(m) : static_cast<std::uint64_t>(m);
    std::uint64_t fraction = a % kMoneyUnit;
    if (fraction != 0) {
        int digits = 6;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        for (; digits > 0; --digits) {
            *--p = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        *--p = '.';
    }
    std::uint64_t whole = a / kMoneyUnit;
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (m < 0) *--p = '-';
    return std::string_view(p, static_cast<std::size_t>(end - p));
}

}  // namespace hs
