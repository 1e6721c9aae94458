// The player table: the players of one hand keyed on the first three bytes of their names and
// searched with 16-byte vector compares (SSE2 on x86-64, a plain loop elsewhere; see scan.hpp),
// and each slot's whole name as two words, which settle the compare of a lookup without reading
// the name back from the store.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/fault.hpp"
#include "core/scan.hpp"

namespace hs {

// The bytes of a name that a table holds: its length, its key (the first three bytes, padded with
// zero bytes when the name is shorter) and two words. A name of up to kWholeName bytes is held
// whole (two overlapping loads of 8 or of 4 bytes cover every byte of a name of 4 bytes or more,
// the key every byte of a shorter one), so two such names are equal exactly when their NameWords
// are; of a longer name the words hold the first and the last 8 bytes only.
struct NameWords {
    static constexpr std::size_t kWholeName = 16;
    static constexpr std::size_t kKeyBytes = 3;
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::uint64_t size = 0;

    // Once per lookup: inline.
    static inline NameWords of(std::string_view name) noexcept;
    // The key: the first three bytes (zero bytes past the end of a shorter name), byte i in bits
    // 8i..8i+7. The head holds them so.
    std::uint32_t key() const noexcept { return static_cast<std::uint32_t>(head) & 0xFFFFFFu; }
    bool operator==(const NameWords&) const = default;
};

struct PlayerTable {
    static constexpr std::size_t STRIDE = NameWords::kKeyBytes;
    static constexpr std::size_t SLOTS = 32;

    alignas(16) std::uint32_t keys[SLOTS] = {};  // each slot's key (NameWords::key)
    NameWords words[SLOTS];
    // Slots at or above the count hold what an earlier hand left there.
    std::uint8_t count = 0;

    // Forgets every slot: slots at or above the count are never looked at.
    void clear() noexcept { count = 0; }

    // Bit i set when slot i (< count) holds the key of `name`. Faults on an empty name.
    [[gnu::always_inline]] inline std::uint32_t match_mask(std::string_view name) const;
    // The same for a key already taken (NameWords::key), for a caller that needs the words too.
    [[gnu::always_inline]] inline std::uint32_t key_mask(std::uint32_t key) const noexcept;
    // Same result as match_mask, by a plain loop (the reference for the vector path).
    std::uint32_t match_mask_scalar(std::string_view name) const;

    // Lowest slot holding the key of `name`, or 32.
    inline std::uint8_t find(std::string_view name) const;

    // Writes the key and the words of `name` into slot `count` and returns that slot. Faults on
    // an empty name and on a 33rd player. Does not look for an existing slot with the same key.
    inline std::uint8_t insert(std::string_view name);
};

// GCC, inlining a call with a name of constant length below 8, warns of the 8-byte load of a
// branch that the length test keeps it from taking.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
inline NameWords NameWords::of(std::string_view name) noexcept {
    const auto load = [](const char* p, auto word) {
        std::memcpy(&word, p, sizeof word);
        // The first byte in the low bits, whatever the machine.
        if constexpr (std::endian::native == std::endian::big) {
            if constexpr (sizeof word == 8) word = __builtin_bswap64(word);
            if constexpr (sizeof word == 4) word = __builtin_bswap32(word);
        }
        return static_cast<std::uint64_t>(word);
    };
    const std::size_t n = name.size();
    const char* const p = name.data();
    NameWords w;
    w.size = n;
    if (n >= 8) {
        w.head = load(p, std::uint64_t{});
        w.tail = load(p + n - 8, std::uint64_t{});
    } else if (n >= 4) {
        w.head = load(p, std::uint32_t{});
        w.tail = load(p + n - 4, std::uint32_t{});
    } else {
        // Up to three bytes: the head holds them all.
        for (std::size_t i = 0; i < n; ++i) w.head |= load(p + i, std::uint8_t{}) << (8 * i);
    }
    return w;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The lookup runs several times per line: it is inline.

[[gnu::always_inline]] inline std::uint32_t PlayerTable::match_mask(std::string_view name) const {
    if (name.empty()) fault_index(0, 0);
    return key_mask(NameWords::of(name).key());
}

[[gnu::always_inline]] inline std::uint32_t PlayerTable::key_mask(
    std::uint32_t key) const noexcept {
    // Slots at or above count never match (count <= SLOTS: insert stops there; the shift stays
    // defined whatever it holds).
    const auto used = static_cast<std::uint32_t>((std::uint64_t{1} << (count & 63)) - 1);
#ifdef HS_SIMD_SSE2
    // Four keys per compare; the four results of sixteen slots are packed into one byte mask.
    const __m128i k = _mm_set1_epi32(static_cast<int>(key));
    const auto four = [&](std::size_t off) __attribute__((always_inline)) {
        return _mm_cmpeq_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(keys + off)), k);
    };
    const auto sixteen = [&](std::size_t off) __attribute__((always_inline))->std::uint32_t {
        const __m128i low = _mm_packs_epi32(four(off), four(off + 4));
        const __m128i high = _mm_packs_epi32(four(off + 8), four(off + 12));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    };
    // Tables of sixteen players or fewer (nearly every hand) never look at the second half.
    std::uint32_t mask = sixteen(0);
    if (count > 16) [[unlikely]]
        mask |= sixteen(16) << 16;
    return mask & used;
#else
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < SLOTS; ++i) mask |= std::uint32_t{keys[i] == key} << i;
    return mask & used;
#endif
}

inline std::uint8_t PlayerTable::insert(std::string_view name) {
    if (name.empty()) fault("assertion failed: bytes.len() >= Self::STRIDE");
    if (count >= SLOTS) fault_index(count, SLOTS);
    const std::size_t slot = count & (SLOTS - 1);  // count < SLOTS here: the mask keeps it
    words[slot] = NameWords::of(name);
    keys[slot] = words[slot].key();
    return count++;
}

inline std::uint8_t PlayerTable::find(std::string_view name) const {
    const std::uint32_t mask = match_mask(name);
    if (mask == 0) return static_cast<std::uint8_t>(SLOTS);
    return static_cast<std::uint8_t>(std::countr_zero(mask));
}

}  // namespace hs
