// UTF-8: decoding, validation, character boundaries and encoding. Every reader of the project
// that looks inside a character goes through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hs {

inline constexpr char32_t kReplacementChar = 0xFFFD;
// U+FEFF as UTF-8: the mark that may open a UTF-8 text.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The mark read as Windows-1252 and written again as UTF-8 ("ï»¿"), as some files begin after
// their own mark.
inline constexpr std::string_view kMisreadByteOrderMark = "\xC3\xAF\xC2\xBB\xC2\xBF";

constexpr bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }
constexpr bool is_scalar(char32_t c) noexcept {
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

// ---------------------------------------------------------------------------------------------
// Decoding and validation
// ---------------------------------------------------------------------------------------------

struct Decoded {
    char32_t cp;
    std::size_t len;  // 0 when the bytes at the position are not a well-formed character
};

// The character that starts at byte i; {0, 0} when i is past the end or the bytes there are no
// well-formed character (overlong forms, surrogates and values above U+10FFFF included).
inline Decoded decode_utf8(std::string_view s, std::size_t i) noexcept {
    if (i >= s.size()) return {0, 0};
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) return {b0, 1};
    std::size_t len;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return {0, 0};
    }
    if (s.size() - i < len) return {0, 0};
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if (!is_continuation(b)) return {0, 0};
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || !is_scalar(cp)) return {0, 0};
    return {cp, len};
}

// Length of the longest prefix of `s` that is well-formed UTF-8: the offset of the first byte
// of the first invalid or truncated sequence, or the size when all of it is valid.
std::size_t utf8_valid_prefix(std::string_view s) noexcept;

// ---------------------------------------------------------------------------------------------
// Character boundaries
// ---------------------------------------------------------------------------------------------

// Byte length of the character that begins at i, read from its first byte alone and clamped to
// the text (0 past the end).
std::size_t char_len_at(std::string_view s, std::size_t i) noexcept;
// The whole character that holds byte i (for messages that quote it).
std::string_view char_at(std::string_view s, std::size_t i) noexcept;
// Whether byte i begins a character or ends the text: a cut there leaves whole characters (in
// a text that is valid UTF-8). Past the end is no boundary.
constexpr bool is_char_boundary(std::string_view s, std::size_t i) noexcept {
    return i == s.size() || (i < s.size() && !is_continuation(static_cast<unsigned char>(s[i])));
}
// The longest prefix of `s` of at most `max` bytes that ends on a character boundary.
std::string_view cut_at_boundary(std::string_view s, std::size_t max) noexcept;

// ---------------------------------------------------------------------------------------------
// Encoding
// ---------------------------------------------------------------------------------------------

struct Utf8Bytes {
    char bytes[4];
    std::size_t len;
    std::string_view view() const noexcept { return {bytes, len}; }
};
// The encoding of a scalar value; no bytes for 0 and for values that are no scalar value.
Utf8Bytes encode_utf8(char32_t c) noexcept;
// Appends the encoding of c, U+FFFD for a value that is no scalar value; nothing for 0.
void append_utf8(std::string& out, char32_t c);
// Byte length of what append_utf8 appends for c.
std::size_t utf8_len(char32_t c) noexcept;

}  // namespace hs
