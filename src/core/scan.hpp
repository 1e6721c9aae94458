// Byte and substring searches inside a text, and the one switch for the vector code: on x86-64
// the searches and the line splitter compare 16 bytes at a time with SSE2, elsewhere they fall
// back to plain loops and the C library. Header only and free of any other part of the project,
// so that every layer (the model's UTF-8 validation included) can use it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define HS_SIMD_SSE2 1
#endif

namespace hs {

// Searches answer npos when there is no match.
inline constexpr std::size_t npos = static_cast<std::size_t>(-1);

// Spans up to this length are searched by a plain loop: shorter than a C library call.
inline constexpr std::size_t kShortSpan = 16;

#ifdef HS_SIMD_SSE2
namespace scan_detail {
// The bits of the bytes of the 16 at `p` that equal `c` (bit i for byte i).
[[gnu::always_inline]] inline std::uint32_t block_mask(const char* p, __m128i c) noexcept {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, c)));
}
// Lines are short: this many 16-byte blocks are compared inline before a search goes to the C
// library.
inline constexpr std::size_t kInlineBlocks = 4;
}  // namespace scan_detail
#endif

// A text of 16 bytes or more is searched 16 bytes at a time: the last block of a search overlaps
// the one before it (its bytes outside the span masked off), so no load leaves the text. A span
// longer than a few blocks goes on in the C library.
[[gnu::always_inline]] inline std::size_t find_byte(std::string_view s, char c,
                                                    std::size_t from = 0) noexcept {
    const std::size_t n = s.size();
    if (from >= n) return npos;
#ifdef HS_SIMD_SSE2
    if (n >= 16) {
        const char* const p = s.data();
        const __m128i want = _mm_set1_epi8(c);
        std::size_t at = from;
        for (std::size_t k = 0; k < scan_detail::kInlineBlocks && n - at > 16; ++k, at += 16) {
            const std::uint32_t mask = scan_detail::block_mask(p + at, want);
            if (mask != 0) return at + static_cast<std::size_t>(std::countr_zero(mask));
        }
        if (n - at <= 16) {
            // The last 16 bytes of the text; those before `at` are shifted out.
            const std::uint32_t mask = scan_detail::block_mask(p + n - 16, want) >> (16 - (n - at));
            return mask != 0 ? at + static_cast<std::size_t>(std::countr_zero(mask)) : npos;
        }
        const void* hit = std::memchr(p + at, static_cast<unsigned char>(c), n - at);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - p) : npos;
    }
    // Fewer than 16 bytes: compared one by one.
    for (std::size_t i = from; i < n; ++i)
        if (s[i] == c) return i;
    return npos;
#else
    if (n - from <= kShortSpan) {
        for (std::size_t i = from; i < n; ++i)
            if (s[i] == c) return i;
        return npos;
    }
    const void* p = std::memchr(s.data() + from, static_cast<unsigned char>(c), n - from);
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - s.data()) : npos;
#endif
}

[[gnu::always_inline]] inline std::size_t rfind_byte(std::string_view s, char c) noexcept {
    const std::size_t n = s.size();
#ifdef HS_SIMD_SSE2
    if (n >= 16) {
        const char* const p = s.data();
        const __m128i want = _mm_set1_epi8(c);
        std::size_t end = n;  // the bytes before `end` are still to be searched
        for (std::size_t k = 0; k < scan_detail::kInlineBlocks && end >= 16; ++k, end -= 16) {
            const std::uint32_t mask = scan_detail::block_mask(p + end - 16, want);
            if (mask != 0) return end - 16 + static_cast<std::size_t>(31 - std::countl_zero(mask));
        }
        if (end < 16) {
            // The first 16 bytes of the text; those from `end` on are masked off.
            const std::uint32_t mask =
                scan_detail::block_mask(p, want) & ((std::uint32_t{1} << end) - 1);
            return mask != 0 ? static_cast<std::size_t>(31 - std::countl_zero(mask)) : npos;
        }
#if defined(__GLIBC__)
        const void* hit = ::memrchr(p, static_cast<unsigned char>(c), end);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - p) : npos;
#else
        for (std::size_t i = end; i-- > 0;)
            if (s[i] == c) return i;
        return npos;
#endif
    }
#endif
    if (n <= kShortSpan) {
        for (std::size_t i = n; i-- > 0;)
            if (s[i] == c) return i;
        return npos;
    }
#if defined(__GLIBC__)
    const void* p = ::memrchr(s.data(), static_cast<unsigned char>(c), n);
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - s.data()) : npos;
#else
    for (std::size_t i = n; i-- > 0;)
        if (s[i] == c) return i;
    return npos;
#endif
}

// First occurrence of `needle` at or after `from`, last occurrence (C library where it has
// them).
std::size_t find_str(std::string_view s, std::string_view needle, std::size_t from = 0) noexcept;
std::size_t rfind_str(std::string_view s, std::string_view needle) noexcept;

// First occurrence of a short literal at or after `from`. Lines are short, so a scan for one
// byte of the literal (the first one that is not a space) and a compare of the rest, of a
// length known at compile time, beats a general substring search. Several times per line:
// inline (forced), so that the literal's bytes and length are constants where it is used.
template <std::size_t N>
[[gnu::always_inline]] inline std::size_t find_lit(std::string_view s, const char (&lit)[N],
                                                   std::size_t from = 0) noexcept {
    constexpr std::size_t len = N - 1;
    static_assert(len >= 2);
    const std::size_t anchor = lit[0] == ' ' ? 1 : 0;
    const std::size_t n = s.size();
    if (from > n || n - from < len) return npos;
    const char* const base = s.data();
    const std::size_t last = n - len;  // last start of a match
    for (std::size_t at = from;;) {
        const std::size_t hit = find_byte(s.substr(0, last + anchor + 1), lit[anchor], at + anchor);
        if (hit == npos) return npos;
        const std::size_t start = hit - anchor;
        if (std::memcmp(base + start, lit, len) == 0) return start;
        at = start + 1;
    }
}

// The end of the run of ASCII bytes that starts at `from`: the offset of the first byte above
// 0x7F, or the size.
inline std::size_t ascii_run_end(std::string_view s, std::size_t from) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = from;
#ifdef HS_SIMD_SSE2
    while (i + 16 <= n) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
        if (high != 0) return i + static_cast<std::size_t>(std::countr_zero(high));
        i += 16;
    }
#endif
    while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull) break;
        i += 8;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// The first `c` at or after `from` by 16-byte compares of the blocks that lie wholly inside the
// text, the last bytes by the C library: most lines end within a few blocks, found without a
// library call. Used by the line splitter.
[[gnu::always_inline]] inline std::size_t find_byte_blocks(std::string_view s, char c,
                                                           std::size_t from) noexcept {
    const std::size_t size = s.size();
    std::size_t at = from;
#ifdef HS_SIMD_SSE2
    const char* const base = s.data();
    const __m128i sep = _mm_set1_epi8(c);
    while (size - at >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
        const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, sep)));
        if (mask != 0) return at + static_cast<std::size_t>(std::countr_zero(mask));
        at += 16;
    }
#endif
    if (at >= size) return npos;
    const void* hit = std::memchr(s.data() + at, static_cast<unsigned char>(c), size - at);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s.data()) : npos;
}

}  // namespace hs
