// Site detection and dispatch: the two parse entry points that the Python layer calls.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/model.hpp"
#include "parsers/hand.hpp"

namespace hs {

// A filled store, or an error message (site not recognised, file unreadable). Internal faults
// are thrown as hs::Fault.
struct ParseResult {
    std::unique_ptr<HandStore> store;  // null on error
    std::string error;
    // The hands that were rejected and left out of the store, in text order.
    std::vector<HandOutcome> rejected;
    bool ok() const noexcept { return store != nullptr; }
};

ParseResult parse_text(std::string_view text);
ParseResult parse_file(const std::string& path);

// The site of a text, or an error message.
std::variant<Site, std::string> detect_site(std::string_view text);

// Builds a Parser over the text and runs the site's reader; the rejected hands are appended to
// `rejected`. Faults for sites without a parser.
void run_site_parser(Site site, std::string_view text, HandStore& store,
                     std::vector<HandOutcome>& rejected);

}  // namespace hs
