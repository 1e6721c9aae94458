// Site detection: which site wrote a text, told by its first line (and, for PokerStars, its
// second).
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "core/model.hpp"

namespace hs {

// The site of a text, or the error message of a text that no site writes ("Invalid poker
// website - '<first line>'"). A text that names PokerStars and has no second line is an
// InputFault.
std::variant<Site, std::string> detect_site(std::string_view text);

// The text without the UTF-8 byte-order mark that may open it.
std::string_view without_byte_order_mark(std::string_view text) noexcept;

}  // namespace hs
