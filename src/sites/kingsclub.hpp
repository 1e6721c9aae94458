// KingsClub hand histories ("#3264632: No Limit Holdem - 125/250"): cash Hold'em, Omaha (hi/lo,
// five cards, run twice), stud and the draw games the model holds.
#pragma once

#include <vector>

#include "core/model.hpp"
#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace kingsclub {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace kingsclub
}  // namespace hs
