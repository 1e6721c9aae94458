// UTF-8: validation, character boundaries and encoding.
#include "core/utf8.hpp"

#include <bit>
#include <cstring>

#include "core/scan.hpp"

namespace hs {

std::size_t utf8_valid_prefix(std::string_view s) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        i = ascii_run_end(s, i);
        if (i >= n) break;
        const unsigned char b0 = p[i];
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            if (b0 == 0xE0)
                lo = 0xA0;  // no overlong forms
            else if (b0 == 0xED)
                hi = 0x9F;  // no surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            if (b0 == 0xF0)
                lo = 0x90;
            else if (b0 == 0xF4)
                hi = 0x8F;  // nothing above U+10FFFF
        } else {
            return i;
        }
        if (i + 1 >= n || p[i + 1] < lo || p[i + 1] > hi) return i;
        for (std::size_t k = 2; k < len; ++k)
            if (i + k >= n || !is_continuation(p[i + k])) return i;
        i += len;
    }
    return n;
}

std::size_t char_len_at(std::string_view s, std::size_t i) noexcept {
    if (i >= s.size()) return 0;
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return n <= s.size() - i ? n : s.size() - i;
}

std::string_view char_at(std::string_view s, std::size_t i) noexcept {
    while (i > 0 && i < s.size() && is_continuation(static_cast<unsigned char>(s[i]))) --i;
    return s.substr(i < s.size() ? i : s.size(), char_len_at(s, i));
}

std::string_view cut_at_boundary(std::string_view s, std::size_t max) noexcept {
    if (s.size() <= max) return s;
    std::size_t n = max;
    while (n > 0 && is_continuation(static_cast<unsigned char>(s[n]))) --n;
    return s.substr(0, n);
}

Utf8Bytes encode_utf8(char32_t c) noexcept {
    Utf8Bytes out{{0, 0, 0, 0}, 0};
    const auto put = [&](std::uint32_t b) { out.bytes[out.len++] = static_cast<char>(b); };
    const auto v = static_cast<std::uint32_t>(c);
    if (v == 0 || !is_scalar(c)) return out;
    if (v < 0x80) {
        put(v);
    } else if (v < 0x800) {
        put(0xC0 | (v >> 6));
        put(0x80 | (v & 0x3F));
    } else if (v < 0x10000) {
        put(0xE0 | (v >> 12));
        put(0x80 | ((v >> 6) & 0x3F));
        put(0x80 | (v & 0x3F));
    } else {
        put(0xF0 | (v >> 18));
        put(0x80 | ((v >> 12) & 0x3F));
        put(0x80 | ((v >> 6) & 0x3F));
        put(0x80 | (v & 0x3F));
    }
    return out;
}

void append_utf8(std::string& out, char32_t c) {
    if (c == 0) return;
    out += encode_utf8(is_scalar(c) ? c : kReplacementChar).view();
}

std::size_t utf8_len(char32_t c) noexcept {
    if (c == 0) return 0;
    return encode_utf8(is_scalar(c) ? c : kReplacementChar).len;
}

}  // namespace hs
