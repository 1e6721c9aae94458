// Winamax hand histories ("Winamax Poker - CashGame - HandId: #...", "Winamax Poker - Tournament
// "..." buyIn: ... level: ... - HandId: #...").
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace winamax {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace winamax
}  // namespace hs
