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

// Length of the leading run of numeric characters.
std::size_t numeric_len(std::string_view text) noexcept;
// The same run with ',' counted as a numeric character (grouped amounts: "1,000.00").
std::size_t numeric_run_len(std::string_view text) noexcept;

// Byte length of the Unicode white-space character at the start of `text` (0 when it is not
// one).
std::size_t white_space_len(std::string_view text) noexcept;
// The text without its leading white space.
std::string_view skip_white_space(std::string_view text) noexcept;

}  // namespace hs
