// Bovada, Ignition and Bodog hand histories ("Bovada Hand #... TBL#...", "Ignition Hand #...",
// "Bodog Hand #...", "Bodog UK Hand #...", "Bodog.com Hand #...").
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace bovada {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace bovada
}  // namespace hs
