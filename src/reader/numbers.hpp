// The number readers: pure functions of a text view that never allocate. Amounts are read in
// the form a hand writes them (AmountForm: the sign before them and the number's form); the
// common forms are settled inline, the rest out of line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/model.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"

namespace hs {

// The form of a number as a hand writes its amounts.
enum class NumberForm : std::uint8_t {
    Plain,    // ASCII digits, an optional '.' and decimals: "1.50", "300" (read_decimal)
    Grouped,  // the same with ',' between thousands: "1,289.63", as GGPoker writes cash amounts
    Chips,    // tournament chips: whole numbers with or without ',' between thousands, and never
              // a sign before them (read_chips)
};

// How a hand writes its amounts: the currency sign before each (0 for none) and the number's
// form. A tournament hand's chips have no sign.
struct AmountForm {
    Currency sign = 0;
    NumberForm form = NumberForm::Plain;
    constexpr AmountForm(Currency sign_ = 0, NumberForm form_ = NumberForm::Plain) noexcept
        : sign(sign_), form(form_) {}
};
inline constexpr AmountForm kChipAmounts{0, NumberForm::Chips};

struct NumberRead {
    float value;
    std::size_t len;  // bytes consumed
};
struct IntegerRead {
    std::uint64_t value;
    std::size_t len;
};
struct SignedRead {
    float value;
    std::size_t sign_at;  // offset of the sign (or of the number when the hand has no sign)
    std::size_t end;      // offset just past the number
};
struct SignRead {
    Currency sign;
    std::size_t len;
};
// Grouped amounts: ',' as thousands separator, exactly two decimals (numeric_run_len's run).
std::optional<NumberRead> read_amount(std::string_view text) noexcept;
float parse_amount(std::string_view text) noexcept;
std::uint64_t parse_grouped_integer(std::string_view text) noexcept;
std::optional<SignedRead> amount_after_last(std::string_view text, Currency sign) noexcept;

// Plain numbers.
std::optional<IntegerRead> read_integer(std::string_view text) noexcept;
// read_decimal, and with kGrouped read_grouped_decimal, their common forms settled inline.
template <bool kGrouped>
[[gnu::always_inline]] inline std::optional<NumberRead> read_decimal_as(
    std::string_view text) noexcept;
[[gnu::always_inline]] inline std::optional<NumberRead> read_decimal(
    std::string_view text) noexcept {
    return read_decimal_as<false>(text);
}
// read_decimal for the texts its inline fast path leaves aside (a character outside ASCII where
// the number could go on, a long mantissa); gives the same result for every text.
std::optional<NumberRead> read_decimal_general(std::string_view text) noexcept;
// The first (or last) amount of the text written in `form`: its sign and the number after it.
// With sign 0 (a hand without a currency sign) the first ASCII digit at or after the start
// stands where the sign would, and nothing is skipped; the last is the text's last number (that
// may hold ',' in the grouped and chip forms).
[[gnu::always_inline]] inline std::optional<SignedRead> decimal_after_first(
    std::string_view text, AmountForm form) noexcept;
[[gnu::always_inline]] inline std::optional<SignedRead> decimal_after_last(
    std::string_view text, AmountForm form) noexcept;
// decimal_after_first for a text that begins with the amount (its sign, or with no sign its
// first digit), as a line writes it at a fixed place: the same result without the search.
[[gnu::always_inline]] inline std::optional<SignedRead> decimal_at_start(std::string_view text,
                                                                         AmountForm form) noexcept;
// Both of the above: the first (or last) occurrence.
std::optional<SignedRead> decimal_after_sign(std::string_view text, AmountForm form,
                                             bool last) noexcept;

// read_amount for chips, with their common form (ASCII digits and ',', ended by an ASCII byte
// other than '.') settled first; gives the same result for every text.
std::optional<NumberRead> read_chips(std::string_view text) noexcept;
// read_decimal with ',' between thousands: a ',' followed by exactly three ASCII digits carries
// the whole part on ("1,289.63", "2,000"); any other ',' ends the number.
std::optional<NumberRead> read_grouped_decimal(std::string_view text) noexcept;
// The number at the start of the text in its form. Several times per line: inline (forced).
[[gnu::always_inline]] inline std::optional<NumberRead> read_number(std::string_view text,
                                                                    NumberForm form) noexcept {
    switch (form) {
        case NumberForm::Chips: return read_chips(text);
        case NumberForm::Grouped: return read_decimal_as<true>(text);
        case NumberForm::Plain: break;
    }
    return read_decimal(text);
}
[[gnu::always_inline]] inline std::optional<NumberRead> read_number(std::string_view text,
                                                                    AmountForm form) noexcept {
    return read_number(text, form.form);
}
// The byte length of the sign written before an amount: none for a hand without one.
inline std::size_t sign_length(AmountForm form) noexcept {
    return form.sign < 0x80 ? form.sign != 0 : utf8_len(form.sign);
}

// An amount written with its sign after the number, as Winamax writes them: "0.05€", "3€", and
// without a sign for play money and chips ("0.10", "1520"). A 'k' right after the number is
// thousands ("3.37k"). `sign` is 0 when none follows; `len` counts the sign's bytes too.
struct TrailingRead {
    float value;
    Currency sign;
    std::size_t len;
};
std::optional<TrailingRead> amount_sign_after(std::string_view text) noexcept;

// The currency sign at the start of the text: '$', '£', '¥', '€' or '₹'.
std::optional<SignRead> currency_symbol(std::string_view text) noexcept;
// The first currency sign written anywhere in a text ("$0.50/$1", "0,02$/0,04$", "10 €/20 €"),
// 0 for none.
Currency first_currency_sign(std::string_view text) noexcept;

// An amount at the start of the text with or without its sign before it ("$0.25", "25,825",
// "$1,142.13"), read with ',' between thousands; its length counts the sign's bytes.
std::optional<NumberRead> signed_grouped_amount(std::string_view text) noexcept;
// The value of the amount that `read` (a reader of amounts above, or a site's own) finds at the
// start of the text; a fault quoting `line` when it finds none.
float amount_at(std::string_view text, std::string_view line,
                std::optional<NumberRead> (*read)(std::string_view) noexcept);
// signed_grouped_amount's value; a fault quoting `line` when the text starts with none.
inline float signed_grouped_amount_at(std::string_view text, std::string_view line) {
    return amount_at(text, line, signed_grouped_amount);
}
// The first number of the text, whatever stands before it ("($0.06)", "[$ 0.25 USD]", "1,440"),
// read with ',' between thousands; its length counts what stands before it.
std::optional<NumberRead> first_grouped_number(std::string_view text) noexcept;
// first_grouped_number's value, nullopt when the text holds none.
inline std::optional<float> first_grouped_amount(std::string_view text) noexcept {
    const auto r = first_grouped_number(text);
    return r ? std::optional<float>(r->value) : std::nullopt;
}
// first_grouped_number's value; a fault quoting `line` when the text holds none.
inline float first_grouped_number_at(std::string_view text, std::string_view line) {
    return amount_at(text, line, first_grouped_number);
}

// Amounts are read several times per line: the common forms are settled inline.

template <bool kGrouped>
[[gnu::always_inline]] inline std::optional<NumberRead> read_decimal_as(
    std::string_view text) noexcept {
    // ASCII digits, an optional '.' and ASCII digits, ended by an ASCII byte or the end of the
    // text, with at most 7 whole digits: the mantissa stays at most 2^24 + a little, exact in
    // f32, and 10^k (k <= 10) is exact too, so one division rounds correctly. Anything else
    // goes to the general reader (grouped: a ',' after the whole digits goes to the grouped one).
    const auto* const p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const auto digit = [](unsigned char b) { return static_cast<unsigned>(b - '0') < 10u; };
    std::size_t i = 0;
    std::uint64_t mantissa = 0;
    while (i < n && digit(p[i])) mantissa = mantissa * 10 + (p[i++] - '0');
    if constexpr (kGrouped) {
        if (i != 0 && i < n && p[i] == ',') return read_grouped_decimal(text);
    }
    if (i == 0) {
        if (n == 0 || p[0] < 0x80) return std::nullopt;
        return read_decimal_general(text);
    }
    if (i > 7) return read_decimal_general(text);
    std::size_t decimals = 0;
    if (i < n && p[i] == '.') {
        const std::size_t stop = n - i - 1 < 11 ? n : i + 11;  // at most 10 decimals here
        std::size_t j = i + 1;
        while (j < stop && digit(p[j])) mantissa = mantissa * 10 + (p[j++] - '0');
        decimals = j - i - 1;
        if (decimals > 0)
            i = j;
        else if (j < n && p[j] >= 0x80)
            return read_decimal_general(text);
    }
    if ((i < n && (p[i] >= 0x80 || digit(p[i]))) || mantissa > (std::uint64_t{1} << 24))
        return read_decimal_general(text);
    static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                       1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    return NumberRead{static_cast<float>(mantissa) / kPow10[decimals], i};
}

[[gnu::always_inline]] inline std::optional<SignedRead> decimal_after_first(
    std::string_view text, AmountForm form) noexcept {
    if (form.sign == U'$' && form.form != NumberForm::Chips) {
        const std::size_t at = find_byte(text, '$');
        if (at == npos) return std::nullopt;
        const auto r = form.form == NumberForm::Grouped ? read_decimal_as<true>(text.substr(at + 1))
                                                        : read_decimal(text.substr(at + 1));
        if (!r) return std::nullopt;
        return SignedRead{r->value, at, at + 1 + r->len};
    }
    return decimal_after_sign(text, form, false);
}

[[gnu::always_inline]] inline std::optional<SignedRead> decimal_after_last(
    std::string_view text, AmountForm form) noexcept {
    if (form.sign == U'$' && form.form != NumberForm::Chips) {
        const std::size_t at = rfind_byte(text, '$');
        if (at == npos) return std::nullopt;
        const auto r = form.form == NumberForm::Grouped ? read_decimal_as<true>(text.substr(at + 1))
                                                        : read_decimal(text.substr(at + 1));
        if (!r) return std::nullopt;
        return SignedRead{r->value, at, at + 1 + r->len};
    }
    return decimal_after_sign(text, form, true);
}

[[gnu::always_inline]] inline std::optional<SignedRead> decimal_at_start(std::string_view text,
                                                                         AmountForm form) noexcept {
    const unsigned char b = text.empty() ? 0 : static_cast<unsigned char>(text[0]);
    if (form.form == NumberForm::Chips) {
        if (static_cast<unsigned>(b - '0') < 10u) {
            const auto r = read_chips(text);
            if (!r) return std::nullopt;
            return SignedRead{r->value, 0, r->len};
        }
    } else if (form.sign == U'$' && b == '$') {
        const auto r = form.form == NumberForm::Grouped ? read_decimal_as<true>(text.substr(1))
                                                        : read_decimal(text.substr(1));
        if (!r) return std::nullopt;
        return SignedRead{r->value, 0, 1 + r->len};
    }
    return decimal_after_first(text, form);
}

}  // namespace hs
