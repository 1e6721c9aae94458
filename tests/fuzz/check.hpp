// The invariants that every input must keep, checked the same way by the fuzz target and by the
// C++ test that replays the saved inputs: whatever the bytes, parsing and rendering end either in
// output that is valid UTF-8 (and JSON that a strict reader accepts) or in an hs::Fault.
#pragma once

#include <string>
#include <string_view>

namespace hs::fuzz {

// The bytes as text that the Python layer could hand over: each byte that starts no well-formed
// character is replaced by U+FFFD.
std::string repair_utf8(std::string_view bytes);

// Empty when s is valid UTF-8, else where it is not.
std::string utf8_error(std::string_view s);

// Empty when `json` is one JSON value as the layouts write it: strict JSON in valid UTF-8, with
// no white space between tokens, no exponents and no unpaired surrogate escapes. Else what is
// wrong and at which byte.
std::string json_error(std::string_view json);

// Parses the text (detection and the site's parser) in strict mode and in skip mode, checks each
// store with the store invariant checker and renders it through both text forms and both JSON
// layouts, and returns the first broken invariant as text, empty when all hold. An hs::Fault is
// an accepted outcome of any step but the skip-mode parse; any other exception is a finding.
std::string check_text(std::string_view text);

// check_text over the repaired bytes: the fuzz target's whole check.
std::string check_bytes(std::string_view bytes);

}  // namespace hs::fuzz
