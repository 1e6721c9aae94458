// Everleaf Gaming hand histories ("Everleaf Gaming Game #190075259", "Everleaf Gaming - Concord
// Gaming - Game #...", the French client's "Partouche Poker Gibraltar") and those of the rooms
// that copy the layout under their own name ("- - Grand Poker - Game #..."): one reader, told the
// site by the room.
#pragma once

#include <vector>

#include "core/model.hpp"
#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace everleaf {

// `site` is Site::EverLeaf or a room that copies its layout (Site::GrandPoker).
void parse_hands(Parser& parser, Site site, Errors errors, std::vector<Rejection>& rejected);

}  // namespace everleaf
}  // namespace hs
