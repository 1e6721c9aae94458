// The player table: the plain-loop reference lookup.
#include "reader/player_table.hpp"

#include "core/fault.hpp"

namespace hs {

std::uint32_t PlayerTable::match_mask_scalar(std::string_view name) const {
    if (name.empty()) fault_index(0, 0);
    // The key read byte by byte, whatever the machine's byte order.
    std::uint32_t key = 0;
    for (std::size_t i = 0; i < STRIDE && i < name.size(); ++i)
        key |= std::uint32_t{static_cast<std::uint8_t>(name[i])} << (8 * i);
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < SLOTS && i < count; ++i)
        if (keys[i] == key) mask |= std::uint32_t{1} << i;
    return mask;
}

}  // namespace hs
