// The player table: the players of one hand keyed on the first three bytes of their names and
// searched with 16-byte vector compares (SSE2 on x86-64, a plain loop elsewhere; see scan.hpp).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "model/fault.hpp"
#include "simd/scan.hpp"

namespace hs {

struct PlayerTable {
    static constexpr std::size_t STRIDE = 3;
    static constexpr std::size_t SLOTS = 32;

    alignas(16) std::uint8_t first_bytes[SLOTS] = {};
    alignas(16) std::uint8_t second_bytes[SLOTS] = {};
    alignas(16) std::uint8_t third_bytes[SLOTS] = {};
    std::uint8_t count = 0;

    // Zeroes the three rows and the count.
    void clear() noexcept;

    // Bit i set when slot i (< count) holds the key of `name` (its first three bytes, padded
    // with zero bytes when shorter). Faults on an empty name.
    inline std::uint32_t match_mask(std::string_view name) const;
    // Same result as match_mask, by a plain loop (the reference for the vector path).
    std::uint32_t match_mask_scalar(std::string_view name) const;

    // Lowest slot holding the key of `name`, or 32.
    inline std::uint8_t find(std::string_view name) const;

    // Writes the key into slot `count` and returns that slot. Faults on an empty name and on a
    // 33rd player. Does not look for an existing slot with the same key.
    inline std::uint8_t insert(std::string_view name);
};

// The lookup runs several times per line: it is inline.

inline std::uint32_t PlayerTable::match_mask(std::string_view name) const {
#ifdef HS_SIMD_SSE2
    if (name.empty()) fault_index(0, 0);
    // The key: the first three bytes, padded with zero bytes when the name is shorter.
    // Each key byte is spread over a 32-bit lane by one multiplication, then over the vector.
    const auto spread = [](std::uint32_t b) {
        return _mm_set1_epi32(static_cast<int>(b * 0x01010101u));
    };
    const __m128i v0 = spread(static_cast<std::uint8_t>(name[0]));
    const __m128i v1 = spread(name.size() > 1 ? static_cast<std::uint8_t>(name[1]) : 0u);
    const __m128i v2 = spread(name.size() > 2 ? static_cast<std::uint8_t>(name[2]) : 0u);
    const auto half = [&](std::size_t off) -> std::uint32_t {
        const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(first_bytes + off));
        const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(second_bytes + off));
        const __m128i c = _mm_load_si128(reinterpret_cast<const __m128i*>(third_bytes + off));
        const __m128i eq = _mm_and_si128(
            _mm_and_si128(_mm_cmpeq_epi8(a, v0), _mm_cmpeq_epi8(b, v1)), _mm_cmpeq_epi8(c, v2));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(eq)) & 0xFFFFu;
    };
    // Tables of sixteen players or fewer (nearly every hand) never look at the second half.
    std::uint32_t mask = half(0);
    if (count > 16) [[unlikely]] mask |= half(16) << 16;
    // Slots at or above count never match.
    const std::uint32_t used =
        static_cast<std::uint32_t>((std::uint64_t{1} << (count > SLOTS ? SLOTS : count)) - 1);
    return mask & used;
#else
    return match_mask_scalar(name);
#endif
}

inline std::uint8_t PlayerTable::insert(std::string_view name) {
    if (name.empty()) fault("assertion failed: bytes.len() >= Self::STRIDE");
    if (count >= SLOTS) fault_index(count, SLOTS);
    const std::size_t slot = count & (SLOTS - 1);  // count < SLOTS here: the mask keeps it
    first_bytes[slot] = static_cast<std::uint8_t>(name[0]);
    second_bytes[slot] = name.size() > 1 ? static_cast<std::uint8_t>(name[1]) : std::uint8_t{0};
    third_bytes[slot] = name.size() > 2 ? static_cast<std::uint8_t>(name[2]) : std::uint8_t{0};
    return count++;
}

inline std::uint8_t PlayerTable::find(std::string_view name) const {
    const std::uint32_t mask = match_mask(name);
    if (mask == 0) return static_cast<std::uint8_t>(SLOTS);
    return static_cast<std::uint8_t>(std::countr_zero(mask));
}

}  // namespace hs
