// Site detection and dispatch: the two parse entry points that the Python layer calls.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "model/model.hpp"

namespace hs {

// A filled store, or an error message (site not recognised, file unreadable). Internal faults
// are thrown as hs::Fault.
struct ParseResult {
    std::unique_ptr<HandStore> store;  // null on error
    std::string error;
    bool ok() const noexcept { return store != nullptr; }
};

ParseResult parse_text(std::string_view text);
ParseResult parse_file(const std::string& path);

// The site of a text, or an error message.
std::variant<Site, std::string> detect_site(std::string_view text);

// Builds a Parser over the text and runs the site's driver; faults for sites without a parser.
void run_site_parser(Site site, std::string_view text, HandStore& store);

}  // namespace hs
