// The JSON writer and the two layouts: the module's own and the Open Hand History export.
#pragma once

#include <optional>
#include <string>

#include "core/model.hpp"
#include "core/out_buffer.hpp"

namespace hs {

// The formatter's failure text, reported as "Failed to write json: " + this.
inline constexpr const char* kJsonFormatError = "an error occurred when formatting an argument";

// The hands of `hands` as one compact JSON array. nullopt on a formatting failure; broken store
// invariants and the export's own failures are thrown as hs::Fault.
std::optional<OutBuffer> to_json_native(const HandStore& store, Span hands);
std::optional<OutBuffer> to_json_ohh(const HandStore& store, Span hands);
// The same texts handed to `sink` a piece at a time; false on a formatting failure (the sink
// then holds a part of the text: a file sink is not committed).
bool write_json_native(const HandStore& store, Span hands, OutputSink& sink);
bool write_json_ohh(const HandStore& store, Span hands, OutputSink& sink);

}  // namespace hs
