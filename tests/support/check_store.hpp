// The store invariant checker: what every store that a parser leaves must satisfy. Shared by the
// C++ tests and the fuzzers.
#pragma once

#include <string>

#include "core/model.hpp"

namespace hs {

// The first broken invariant of the store, as one line of text; empty when the store is sound.
// Checked for every hand: every span inside its list, every text reference inside the text
// buffer and valid UTF-8, every `player_id` (actions and winners) below the hand's player count
// or kNoSlot, the dealer and the hero below the player count or kNone8, every card, cash-out and
// message payload resolvable, every card set at most six cards.
std::string check_store(const HandStore& store);

}  // namespace hs
