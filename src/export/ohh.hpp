// The standard Open Hand History export: an .ohh text, one {"ohh": {...}} object per hand.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/fault.hpp"
#include "core/model.hpp"
#include "core/out_buffer.hpp"

namespace hs {

// The format version the export follows.
inline constexpr std::string_view kOhhSpecVersion = "1.4.7";

// A hand the export left out (errors=skip): its id and why it cannot be written.
struct OhhLeftOut {
    std::string hand_id;
    std::string reason;
};

struct OhhText {
    OutBuffer text;
    std::vector<OhhLeftOut> left_out;
};

// The package's version, the export's internal_version.
extern const std::string_view kOhhInternalVersion;

// The hands of `hands` as an .ohh text: one compact {"ohh": {...}} object per hand in store order,
// the objects separated by one blank line. A hand that the format cannot express (a game it has
// no name for, money without a currency code, amounts that do not add up) is an hs::Fault whose
// message names the hand; with Errors::Skip a hand whose writing faults is left out and listed
// instead. nullopt on a formatting failure.
std::optional<OhhText> to_ohh(const HandStore& store, Span hands, Errors errors);
// The same text handed to `sink` a piece at a time: the hands left out, or nullopt on a
// formatting failure (the sink then holds a part of the text).
std::optional<std::vector<OhhLeftOut>> write_ohh(const HandStore& store, Span hands, Errors errors,
                                                 OutputSink& sink);

}  // namespace hs
