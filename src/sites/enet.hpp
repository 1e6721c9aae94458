// Enet hand histories ("Game #… : Omaha (€0,25/€0,50) - 23:32:44 29.7.2012 - %6").
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace enet {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace enet
}  // namespace hs
