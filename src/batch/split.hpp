// One large text parsed on every worker: cut at hand starts, the pieces parsed side by side and
// their stores joined in text order, giving what one parse of the whole text gives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sites/parse.hpp"

namespace hs {

// Texts shorter than this are parsed whole: below it the pieces would not repay the joining.
inline constexpr std::size_t kSplitMinBytes = std::size_t{16} << 20;

// parse_text of `text` on up to `jobs` threads (0: every worker), the same hands in the same
// order, the same rejections (their line numbers counted in the whole text) and the same faults
// (in strict mode, the first one in text order). A text is cut only where a blank line is
// followed by a line that begins as the text's first hand line does, for the sites whose hands
// are known to be read independently of each other (PokerStars and the sites in its layout);
// pieces are at least `min_piece` bytes. Other texts are parsed whole on the calling thread.
ParseResult parse_text_on_pool(std::string_view text, Errors errors, std::size_t jobs = 0,
                               std::size_t min_piece = kSplitMinBytes);

// utf8_valid_prefix of `text`, read on up to `jobs` threads (0: every worker) when it is large.
std::size_t utf8_valid_prefix_on_pool(std::string_view text, std::size_t jobs = 0);

// parse_file with the text parsed by parse_text_on_pool. A large UTF-8 file is read (its pages
// mapped, its bytes checked) on the threads too.
ParseResult parse_file_on_pool(const std::string& path, Errors errors, Encoding encoding,
                               std::size_t jobs = 0);

}  // namespace hs
