// Decoding of the single-byte code pages and of damaged UTF-8: runs of ASCII bytes (and of valid
// UTF-8) are found by the vector scans and copied whole; only the other bytes are looked at one
// by one.
#include "input/decode.hpp"

#include <array>
#include <cstddef>

#include "core/fault.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"

namespace hs {
namespace {

// The UTF-8 of the characters of the bytes 0x80-0xFF of a single-byte encoding.
using HighBytes = std::array<Utf8Bytes, 128>;

// Code page 1252 at 0x80-0x9F; U+FFFD where it defines no character.
constexpr char32_t kCp1252Controls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

HighBytes high_bytes(bool cp1252) noexcept {
    HighBytes out{};
    for (std::size_t b = 0x80; b <= 0xFF; ++b) {
        const char32_t c = cp1252 && b < 0xA0 ? kCp1252Controls[b - 0x80] : char32_t(b);
        out[b - 0x80] = encode_utf8(c);
    }
    return out;
}

// Reads every byte through `high` (ASCII as it is).
void decode_single_byte(std::string_view bytes, const HighBytes& high, std::string& out) {
    const std::size_t n = bytes.size();
    out.clear();
    out.reserve(n + n / 4);
    std::size_t i = 0;
    while (i < n) {
        const std::size_t run = ascii_run_end(bytes, i);
        out.append(bytes.data() + i, run - i);
        if (run == n) break;
        out.append(high[byte_at(bytes, run) - 0x80].view());
        i = run + 1;
    }
}

bool has_multi_byte(std::string_view valid) noexcept {
    return ascii_run_end(valid, 0) != valid.size();
}

// UTF-8 with each byte that belongs to no well-formed sequence as U+FFFD; `valid` is the length
// of the well-formed prefix. Whether the text holds a well-formed multi-byte sequence.
bool repair_utf8(std::string_view bytes, std::size_t valid, std::string& out) {
    const std::size_t n = bytes.size();
    out.clear();
    out.reserve(n + n / 4);
    const Utf8Bytes replacement = encode_utf8(kReplacementChar);
    bool multi = has_multi_byte(bytes.substr(0, valid));
    std::size_t from = 0;  // [from, valid) is well-formed
    for (;;) {
        out.append(bytes.data() + from, valid - from);
        if (valid == n) return multi;
        out.append(replacement.view());
        from = valid + 1;
        const std::string_view rest = tail(bytes, from);
        const std::size_t len = utf8_valid_prefix(rest);
        multi = multi || has_multi_byte(rest.substr(0, len));
        valid = from + len;
    }
}

// UTF-16 after its byte-order mark, `big_endian` or not: each code unit pair that is a surrogate
// pair is one character, a surrogate without its other half and an odd byte at the end are
// U+FFFD. Runs of ASCII units are copied a byte each.
void decode_utf16(std::string_view bytes, bool big_endian, std::string& out) {
    const std::size_t n = bytes.size() & ~std::size_t{1};
    out.clear();
    out.reserve(n / 2 + n / 8);
    const auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return big_endian ? char32_t(a) << 8 | b : char32_t(b) << 8 | a;
    };
    const Utf8Bytes replacement = encode_utf8(kReplacementChar);
    std::size_t i = 2;  // past the mark
    while (i < n) {
        const char32_t u = unit(i);
        i += 2;
        if (u < 0x80) {
            out += static_cast<char>(u);
            continue;
        }
        char32_t c = u;
        if (u >= 0xD800 && u <= 0xDBFF && i < n && unit(i) >= 0xDC00 && unit(i) <= 0xDFFF) {
            c = 0x10000 + ((u - 0xD800) << 10) + (unit(i) - 0xDC00);
            i += 2;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            c = kReplacementChar;
        }
        out.append(encode_utf8(c).view());
    }
    if (bytes.size() != n) out.append(replacement.view());
}

}  // namespace

std::string_view decode_text(std::string_view bytes, Encoding encoding, std::string& buffer) {
    static const HighBytes kCp1252 = high_bytes(true);
    static const HighBytes kLatin1 = high_bytes(false);
    switch (encoding) {
        case Encoding::Utf8: return bytes;
        case Encoding::Cp1252: decode_single_byte(bytes, kCp1252, buffer); return buffer;
        case Encoding::Latin1: decode_single_byte(bytes, kLatin1, buffer); return buffer;
        case Encoding::Auto: {
            if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
                decode_utf16(bytes, bytes[0] == '\xFE', buffer);
                return buffer;
            }
            const std::size_t valid = utf8_valid_prefix(bytes);
            if (valid == bytes.size()) return bytes;
            if (!repair_utf8(bytes, valid, buffer)) decode_single_byte(bytes, kCp1252, buffer);
            return buffer;
        }
    }
    fault_unreachable("encoding");
}

}  // namespace hs
