// Faults: the message and the place in the code that raised them; quotes of input, bounded.
#include "core/fault.hpp"

#include <algorithm>
#include <utility>

#include "core/format.hpp"

namespace hs {

namespace {

std::string_view base_name(const char* path) {
    std::string_view p = path ? path : "";
    const std::size_t slash = p.find_last_of("/\\");
    return slash == std::string_view::npos ? p : p.substr(slash + 1);
}

std::string place_of(const std::source_location& where) {
    std::string s;
    s.reserve(96);
    s += base_name(where.file_name());
    s += ':';
    append_u64(s, where.line());
    const std::string_view fn = where.function_name() ? where.function_name() : "";
    if (!fn.empty()) {
        s += " (";
        s += fn;
        s += ')';
    }
    return s;
}

}  // namespace

void append_cut(std::string& out, std::string_view text) {
    if (text.size() <= kQuotedChars) {  // no more characters than bytes
        out.append(text);
        return;
    }
    // The byte where character kQuotedChars + 1 begins, if the text has that many.
    std::size_t chars = 0, cut = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars == kQuotedChars) {
            cut = i;
            break;
        }
        ++chars;
    }
    out.append(text.substr(0, cut));
    if (cut != text.size()) out += "\u2026";
}

void append_quoted(std::string& out, std::string_view text) {
    out += '\'';
    append_cut(out, text);
    out += '\'';
}

Fault::Fault(std::string message, std::source_location where)
    : message_(std::move(message)), where_(place_of(where)) {}

void fault(std::string message, std::source_location where) {
    throw Fault(std::move(message), where);
}

void fault_index(std::size_t index, std::size_t len, std::source_location where) {
    std::string m = "index out of bounds: the len is ";
    append_u64(m, len);
    m += " but the index is ";
    append_u64(m, index);
    throw Fault(std::move(m), where);
}

std::string missing_message(std::string_view what, std::string_view line) {
    std::string m = "missing ";
    m += what;
    if (!line.empty()) {
        m += " in ";
        append_quoted(m, line);
    }
    return m;
}

void fault_missing(std::string_view what, std::string_view line, std::source_location where) {
    throw InputError(missing_message(what, line), where);
}

std::string line_message(std::string_view kind, std::string_view line) {
    std::string m;
    m.reserve(kind.size() + std::min(line.size(), 4 * kQuotedChars) + 7);
    m += kind;
    m += ": ";
    append_quoted(m, line);
    return m;
}

void fault_line(std::string_view kind, std::string_view line, std::source_location where) {
    throw InputError(line_message(kind, line), where);
}

void fault_unreachable(std::string_view detail, std::source_location where) {
    std::string m = "internal error: entered unreachable code";
    if (!detail.empty()) {
        m += ": ";
        m += detail;
    }
    throw Fault(std::move(m), where);
}

void fault_char_boundary(std::size_t index, std::string_view line, std::source_location where) {
    std::string m = "byte index ";
    append_u64(m, index);
    m += " is not a char boundary in ";
    append_quoted(m, line);
    throw InputError(std::move(m), where);
}

void fault_input(std::string message, std::source_location where) {
    throw InputFault(std::move(message), where);
}

}  // namespace hs
