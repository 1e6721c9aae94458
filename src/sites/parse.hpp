// The two parse entry points that the Python layer calls, and the dispatch to the site readers.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/model.hpp"
#include "input/decode.hpp"
#include "input/detect.hpp"
#include "reader/hand.hpp"

namespace hs {

// A filled store, or an error message (site not recognised, file unreadable). Internal faults
// are thrown as hs::Fault.
struct ParseResult {
    std::unique_ptr<HandStore> store;  // null on error
    std::string error;
    // The hand starts of the text that gave no hand, in text order.
    std::vector<Rejection> rejected;
    bool ok() const noexcept { return store != nullptr; }
};

// With Errors::Skip, a fault inside a hand rejects that hand, and a fault of the input as a
// whole (hs::InputFault) is the result's error.
ParseResult parse_text(std::string_view text, Errors errors = Errors::Strict);
ParseResult parse_file(const std::string& path, Errors errors = Errors::Strict,
                       Encoding encoding = Encoding::Utf8);

// parse_text of a piece of a text whose site is known (the piece starts at a hand's first line);
// the store's lists are sized for `reserve_bytes` of text (0: the piece's size), so that the
// first piece's store takes the others' hands without growing.
ParseResult parse_text_as(Site site, std::string_view text, Errors errors,
                          std::size_t reserve_bytes = 0);

// Builds a Parser over the text and runs the site's reader; the rejected hands are appended to
// `rejected`. An InputFault for sites without a parser.
void run_site_parser(Site site, std::string_view text, HandStore& store, Errors errors,
                     std::vector<Rejection>& rejected);

// Whether the site has a reader (a site recognised without one ends in the fault above).
bool site_has_reader(Site site);

}  // namespace hs
