// The text forms of the records (the repr and str of a view): compact or pretty.
#pragma once

#include <cstdint>
#include <string>

#include "core/model.hpp"

namespace hs {

// The list of hands of a span: compact ("[Hand { ... }, ...]") or pretty (multi-line).
std::string hands_text(const HandStore& store, Span hands, bool pretty);

// The text form of single records (used by tests and by hands_text). `hand_index` is the
// position of the hand that owns the record (resolves Say messages).
std::string card_set_text(const CardSet& c);
std::string action_text(const HandStore& store, const Action& a, std::uint64_t text_start,
                        bool pretty);
std::string hand_text(const HandStore& store, std::size_t hand_index, bool pretty);

}  // namespace hs
