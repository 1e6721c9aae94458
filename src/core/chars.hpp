// Character classes that readers and detection test: ASCII digits, the numeric characters of
// Unicode (categories Nd, Nl, No) and white space. The texts are UTF-8; a byte that starts no
// well-formed character belongs to no class.
#pragma once

#include <cstddef>
#include <string_view>

namespace hs {

constexpr bool is_ascii_digit(unsigned char b) noexcept { return b >= '0' && b <= '9'; }

// Whether the code point is numeric: an ASCII digit or in Nd, Nl or No.
bool is_numeric_code_point(char32_t c) noexcept;

// Length of the leading run of numeric characters, and of ',' too when `commas` is set, for a
// text whose run goes on past its ASCII digits (a character outside ASCII or a ',').
std::size_t numeric_prefix_general(std::string_view text, bool commas) noexcept;

// Length of the leading run of numeric characters. Most runs are ASCII digits ended by another
// ASCII byte: settled inline.
inline std::size_t numeric_len(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && is_ascii_digit(static_cast<unsigned char>(text[i]))) ++i;
    if (i == text.size() || static_cast<unsigned char>(text[i]) < 0x80) return i;
    return numeric_prefix_general(text, false);
}
// The same run with ',' counted as a numeric character (grouped amounts: "1,000.00").
inline std::size_t numeric_run_len(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && is_ascii_digit(static_cast<unsigned char>(text[i]))) ++i;
    if (i == text.size() || (static_cast<unsigned char>(text[i]) < 0x80 && text[i] != ','))
        return i;
    return numeric_prefix_general(text, true);
}

// Byte length of the Unicode white-space character at the start of `text` (0 when it is not
// one).
std::size_t white_space_len(std::string_view text) noexcept;
// The text without its leading white space.
std::string_view skip_white_space(std::string_view text) noexcept;

}  // namespace hs
