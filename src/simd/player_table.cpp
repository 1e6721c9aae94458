// The player table: clearing and the plain-loop reference lookup.
#include "simd/player_table.hpp"

#include <bit>
#include <cstring>

#include "model/fault.hpp"

namespace hs {

namespace {

struct Key {
    std::uint8_t k0, k1, k2;
};

// The first three bytes of a name, padded with zero bytes when the name is shorter.
inline Key key_of(std::string_view name) noexcept {
    const auto b = [&](std::size_t i) -> std::uint8_t {
        return i < name.size() ? static_cast<std::uint8_t>(name[i]) : std::uint8_t{0};
    };
    return Key{b(0), b(1), b(2)};
}

// Bits 0..count-1 set; slots at or above count never match.
inline std::uint32_t used_slots(std::uint8_t count) noexcept {
    return static_cast<std::uint32_t>((std::uint64_t{1} << (count > 32 ? 32 : count)) - 1);
}

}  // namespace

void PlayerTable::clear() noexcept {
    std::memset(first_bytes, 0, SLOTS);
    std::memset(second_bytes, 0, SLOTS);
    std::memset(third_bytes, 0, SLOTS);
    count = 0;
}

std::uint32_t PlayerTable::match_mask_scalar(std::string_view name) const {
    if (name.empty()) fault_index(0, 0);
    const Key k = key_of(name);
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < SLOTS; ++i) {
        if (first_bytes[i] == k.k0 && second_bytes[i] == k.k1 && third_bytes[i] == k.k2)
            mask |= std::uint32_t{1} << i;
    }
    return mask & used_slots(count);
}

}  // namespace hs
