// OnGame network hand histories ("***** History for hand ...").
#pragma once

#include <vector>

#include "parsers/hand.hpp"

namespace hs {
class Parser;
namespace ongame {

void parse_hands(Parser& parser, std::vector<HandOutcome>& rejected);

}  // namespace ongame
}  // namespace hs
