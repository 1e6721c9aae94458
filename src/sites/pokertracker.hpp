// Histories in the layout PokerTracker writes for the Merge network ("MERGE_GAME #…").
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace pokertracker {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace pokertracker
}  // namespace hs
