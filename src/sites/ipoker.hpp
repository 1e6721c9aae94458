// iPoker network histories: XML documents of one or more `<session>` elements, each a `<general>`
// of the table (game, stakes, currency, tournament) and one `<game gamecode=...>` per hand.
#pragma once

#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace ipoker {

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace ipoker
}  // namespace hs
