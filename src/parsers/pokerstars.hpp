// PokerStars hand histories and the Pluribus logs written in the same layout.
#pragma once

namespace hs {
class Parser;
namespace pokerstars {

void parse_hands(Parser& parser);
void parse_pluribus_hands(Parser& parser);

}  // namespace pokerstars
}  // namespace hs
