// Faults and the checked accesses that raise them: a bad index is a fault, never undefined
// behaviour. Two kinds: the internal fault (a broken invariant of the code: a bad index, a value
// the code cannot hold) and the input error (an input that breaks what its format always keeps:
// a line its reader does not expect, a part that a line kind always has and that is missing, a
// game no reader reads). Every message that quotes input quotes at most kQuotedChars characters of
// it (append_quoted).
#pragma once

#include <cstddef>
#include <exception>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

namespace hs {

// A broken invariant or a part of the input that the format requires and that is missing. It
// abandons the whole call; the Python layer turns it into PanicException.
class Fault : public std::exception {
  public:
    explicit Fault(std::string message,
                   std::source_location where = std::source_location::current());
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    // "file:line (function)" of the place that raised the fault.
    const std::string& where() const noexcept { return where_; }

  private:
    std::string message_;
    std::string where_;
};

// An input error: what the input holds, quoted, and never a place in the code's logic. It ends
// the call as any fault does, except where the caller skips what it cannot read (a hand read in
// Errors::Skip): there it rejects that part with its message as the reason.
class InputError : public Fault {
  public:
    using Fault::Fault;
};

// An input error of an input as a whole, met before any hand of it is read (a text that names its
// site and stops there, a site without a parser). It ends the call as any fault does, except where
// the caller skips what it cannot read: there it is that input's error.
class InputFault : public InputError {
  public:
    using InputError::InputError;
};

// What a fault inside one hand does, whether the hand is being read or exported: end the whole
// call (strict), or leave that hand out and go on with the next one (skip).
enum class Errors : unsigned char { Strict, Skip };

// The most characters of an input that a message quotes; a longer text is cut there and the
// quote ends in "…".
inline constexpr std::size_t kQuotedChars = 200;
// Appends the text between single quotes, cut to kQuotedChars characters (on a character
// boundary, "…" after the cut): '<text>'.
void append_quoted(std::string& out, std::string_view text);
// The same without the quotes.
void append_cut(std::string& out, std::string_view text);

[[noreturn]] void fault(std::string message,
                        std::source_location where = std::source_location::current());
// "index out of bounds: the len is <len> but the index is <index>"
[[noreturn]] void fault_index(std::size_t index, std::size_t len,
                              std::source_location where = std::source_location::current());
// "missing <what> in '<line>'" (or "missing <what>" when there is no line to quote)
std::string missing_message(std::string_view what, std::string_view line = {});
// The input error of the same message: a part that the line kind always has is not there.
[[noreturn]] void fault_missing(std::string_view what, std::string_view line = {},
                                std::source_location where = std::source_location::current());
// "internal error: entered unreachable code" followed by ": <detail>" when detail is not empty.
[[noreturn]] void fault_unreachable(std::string_view detail = {},
                                    std::source_location where = std::source_location::current());

// "<kind>: '<line>'": an input error for a line that is not what its reader expects there
// ("unrecognised action line: 'Alice dances'").
std::string line_message(std::string_view kind, std::string_view line);
[[noreturn]] void fault_line(std::string_view kind, std::string_view line,
                             std::source_location where = std::source_location::current());

// "byte index <index> is not a char boundary in '<line>'": an input error, a cut by position
// that falls inside a multi-byte character of a damaged line.
[[noreturn]] void fault_char_boundary(std::size_t index, std::string_view line,
                                      std::source_location where = std::source_location::current());

[[noreturn]] void fault_input(std::string message,
                              std::source_location where = std::source_location::current());

// Checked element access: a bad index is a fault, never undefined behaviour.
template <class T>
inline const T& at(const std::vector<T>& v, std::size_t i,
                   std::source_location where = std::source_location::current()) {
    if (i >= v.size()) fault_index(i, v.size(), where);
    return v[i];
}
template <class T>
inline T& at(std::vector<T>& v, std::size_t i,
             std::source_location where = std::source_location::current()) {
    if (i >= v.size()) fault_index(i, v.size(), where);
    return v[i];
}
// Checked byte access into a text view.
inline unsigned char byte_at(std::string_view s, std::size_t i,
                             std::source_location where = std::source_location::current()) {
    if (i >= s.size()) fault_index(i, s.size(), where);
    return static_cast<unsigned char>(s[i]);
}
// Checked sub-view [from, to).
inline std::string_view slice(std::string_view s, std::size_t from, std::size_t to,
                              std::source_location where = std::source_location::current()) {
    if (to > s.size()) fault_index(to, s.size(), where);
    if (from > to) fault_index(from, to, where);
    return s.substr(from, to - from);
}
// Checked suffix view [from, end).
inline std::string_view tail(std::string_view s, std::size_t from,
                             std::source_location where = std::source_location::current()) {
    if (from > s.size()) fault_index(from, s.size(), where);
    return s.substr(from);
}

}  // namespace hs
