// 888poker hand histories ("#Game No : ..." then "***** 888poker Hand History for Game ...").
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace pacificpoker {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace pacificpoker
}  // namespace hs
