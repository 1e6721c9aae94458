// BetOnline hand histories ("BetOnline Poker Game #1606125823: Hold'em No Limit ($0.01/0.02) -
// ..."), those of the network's other skins in the same layout ("ActionPoker.com Game #...",
// "Gear Poker Game #...") and of the rooms that copy it under their own name ("PayNoRake Game
// #..."): one reader, told the site by the room.
#pragma once

#include <vector>

#include "core/model.hpp"
#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace betonline {

// `site` is Site::BetOnline or a room that copies its layout (Site::PayNoRake).
void parse_hands(Parser& parser, Site site, Errors errors, std::vector<Rejection>& rejected);

}  // namespace betonline
}  // namespace hs
