// Pkr hand histories ("Table #… - <name>", "Starting Hand #…").
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace pkr {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace pkr
}  // namespace hs
