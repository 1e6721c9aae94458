// Absolute Poker and UltimateBet hand histories ("Stage #1483940000: Holdem  No Limit $0.02 -
// 2009-06-10 03:10:00 (ET)"): cash and tournament Hold'em and Omaha, and seven-card stud.
#pragma once

#include <vector>

#include "core/model.hpp"
#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace absolute {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace absolute
}  // namespace hs
