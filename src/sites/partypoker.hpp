// PartyPoker hand histories ("***** Hand History for Game ...", 2005 to 2026).
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace partypoker {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace partypoker
}  // namespace hs
