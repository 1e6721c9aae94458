// Cake Poker hand histories ("Hand#2217011712000147 - Pebble Beach (6-Max) 11712 -- $0.25/$0.50
// NL Hold'em -- 2010/04/30 - 18:26:41"), cash and tournaments.
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace cake {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace cake
}  // namespace hs
