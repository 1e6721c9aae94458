// Merge network histories: XML <description type=... stakes=...> elements, each followed by the
// <game> elements (one per hand) it describes.
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace merge {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace merge
}  // namespace hs
