// OnGame network hand histories ("***** History for hand ...").
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace ongame {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace ongame
}  // namespace hs
