// OnGame network hand histories ("***** History for hand ...").
#pragma once

namespace hs {
class Parser;
namespace ongame {

void parse_hands(Parser& parser);

}  // namespace ongame
}  // namespace hs
