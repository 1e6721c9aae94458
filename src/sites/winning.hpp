// Winning Poker Network hand histories: the older layout ("Game started at: ...", "Game ID: ...")
// and the current one ("Hand #... - Holdem(No Limit) - ...", "Game Hand #... - Tournament #...").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "reader/hand.hpp"

namespace hs {
class Parser;
namespace winning {

// The text with a line break before each hand that begins in the middle of a line (files joined
// end to end, each with its byte-order mark): `text` itself when there is none, else a view of
// `buffer`, which then holds the text so split.
std::string_view split_joined_hands(std::string_view text, std::string& buffer);

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected);

}  // namespace winning
}  // namespace hs
