#include "reader/local_amounts.hpp"

#include <charconv>
#include <cstdint>
#include <system_error>

#include "core/fault.hpp"

namespace hs {
namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The byte length of the group separator at `at` (0 when there is none there).
std::size_t separator_len(std::string_view t, std::size_t at) noexcept {
    if (at >= t.size()) return 0;
    const char c = t[at];
    if (c == '.' || c == ',' || c == ' ') return 1;
    const std::string_view r = t.substr(at);
    if (r.starts_with("\xC2\xA0")) return 2;      // U+00A0 no-break space
    if (r.starts_with("\xE2\x80\xAF")) return 3;  // U+202F narrow no-break space
    return 0;
}

std::size_t digits_at(std::string_view t, std::size_t at) noexcept {
    std::size_t n = 0;
    while (at + n < t.size() && is_digit(t[at + n])) ++n;
    return n;
}

}  // namespace

std::optional<LocalAmount> local_amount(std::string_view text) noexcept {
    std::size_t at = 0;
    while (at < text.size() && !is_digit(text[at])) ++at;
    if (at == text.size()) return std::nullopt;
    const std::size_t begin = at;
    char buf[48];
    std::size_t n = 0;
    const auto append = [&](std::size_t from, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) buf[n++] = text[from + i];
    };
    std::size_t run = digits_at(text, at);
    if (run > 30) return std::nullopt;
    append(at, run);
    at += run;
    for (;;) {
        const std::size_t sep = separator_len(text, at);
        if (sep == 0) break;
        const std::size_t after = digits_at(text, at + sep);
        if (after == 3 && n + 3 < 40) {  // a group of thousands
            append(at + sep, 3);
            at += sep + 3;
            continue;
        }
        if (sep == 1 && (text[at] == '.' || text[at] == ',') && (after == 1 || after == 2)) {
            buf[n++] = '.';
            append(at + 1, after);
            at += 1 + after;
        }
        break;
    }
    // Up to eight digits with up to two decimals (nearly every amount): digits up to 2^24 make
    // an exact float, and one division by an exact power of ten rounds correctly.
    if (n <= 8) {
        std::uint32_t mantissa = 0;
        std::size_t decimals = 0;
        bool point = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (buf[i] == '.') {
                point = true;
                continue;
            }
            mantissa = mantissa * 10 + static_cast<std::uint32_t>(buf[i] - '0');
            decimals += point;
        }
        static constexpr float kPow10[] = {1.0f, 10.0f, 100.0f};
        if (mantissa <= (std::uint32_t{1} << 24))
            return LocalAmount{static_cast<float>(mantissa) / kPow10[decimals], begin, at};
    }
    float value = 0.0f;
    const auto [ptr, ec] = std::from_chars(buf, buf + n, value);
    if (ec != std::errc{} || ptr != buf + n) return std::nullopt;
    return LocalAmount{value, begin, at};
}

float local_amount_at(std::string_view text, std::string_view line) {
    const auto a = local_amount(text);
    if (!a) fault_missing("amount", line);
    return a->value;
}

}  // namespace hs
