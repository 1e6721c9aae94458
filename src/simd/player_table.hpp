// The player table: the players of one hand keyed on the first three bytes of their names and
// searched with 16-byte vector compares (SSE2 on x86-64, a plain loop elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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
    std::uint32_t match_mask(std::string_view name) const;
    // Same result as match_mask, by a plain loop (the reference for the vector path).
    std::uint32_t match_mask_scalar(std::string_view name) const;

    // Lowest slot holding the key of `name`, or 32.
    std::uint8_t find(std::string_view name) const;

    // Writes the key into slot `count` and returns that slot. Faults on an empty name and on a
    // 33rd player. Does not look for an existing slot with the same key.
    std::uint8_t insert(std::string_view name);
};

// Byte and substring searches (C library where it has them). npos when absent.
inline constexpr std::size_t npos = static_cast<std::size_t>(-1);
std::size_t find_byte(std::string_view s, char c, std::size_t from = 0) noexcept;
std::size_t rfind_byte(std::string_view s, char c) noexcept;
std::size_t find_str(std::string_view s, std::string_view needle, std::size_t from = 0) noexcept;
std::size_t rfind_str(std::string_view s, std::string_view needle) noexcept;

}  // namespace hs
