// Full Tilt Poker hand histories ("Full Tilt Poker Game #...", and "FullTiltPoker Game #..." in
// older clients and archives).
#pragma once

#include <string_view>
#include <vector>

#include "core/model.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"

namespace hs::fulltilt {

// Whether the text's first hand is written in PokerStars' layout ("Full Tilt Hand #..."), which
// the site's histories took after 2016.
bool in_stars_layout(std::string_view text) noexcept;

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace hs::fulltilt
