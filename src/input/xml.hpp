// A small pull reader of XML, for the sites that write their histories as XML documents. It reads
// a text in place: each token is a view of the text (no allocation per element), the open
// elements are a fixed stack (nesting is bounded), every index is checked. References are
// decoded on demand (the five predefined entities and numeric references), into a buffer that
// the caller keeps and reuses.
//
// What it does not do: it validates nothing beyond the shape of tags (matching end tags, quoted
// attribute values), reads no document type declaration's internal subset, and takes the text's
// bytes as they are (the caller decodes the text to UTF-8 first, whatever the declaration says).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hs::xml {

// The deepest nesting of elements read; an element deeper than this is an error.
inline constexpr std::size_t kMaxDepth = 32;

enum class Event : std::uint8_t {
    Open,   // a start tag, or an empty-element tag (`empty`): no Close follows that one
    Close,  // the end tag of the innermost open element
    Text,   // character data between tags, raw (decode() replaces its references); CDATA too
    End,    // the end of the text (open elements may remain: see depth())
    Error,  // a malformed tag: `text` says what; the reader stays at the error until restarted
};

struct Token {
    Event event = Event::End;
    std::string_view name;        // Open, Close: the element's name
    std::string_view attributes;  // Open: the raw text after the name, up to '>' or "/>"
    std::string_view text;        // Text: the data (raw); Error: the message
    bool empty = false;           // Open: an empty-element tag ("<a/>")
    bool cdata = false;           // Text: a CDATA section (no references to decode)
    std::size_t offset = 0;       // where the token begins in the text
};

class Scanner {
  public:
    explicit Scanner(std::string_view text) noexcept : text_(text) {}

    // The next token; comments, processing instructions (the XML declaration) and document
    // type declarations are passed over.
    Token next() noexcept;
    // The number of elements open.
    std::size_t depth() const noexcept { return depth_; }
    // The name of the open element `level` (0 is the outermost); empty outside the stack.
    std::string_view open_element(std::size_t level) const noexcept {
        return level < depth_ ? open_[level] : std::string_view{};
    }
    std::size_t offset() const noexcept { return pos_; }
    std::string_view text() const noexcept { return text_; }
    // Resumes reading at `offset` with only the `depth` outermost elements open (a reader that
    // gives up on an element goes on after it, or at the next one it looks for).
    void restart(std::size_t offset, std::size_t depth) noexcept;

  private:
    Token error(std::string_view message, std::size_t at) noexcept;

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t depth_ = 0;
    bool failed_ = false;
    std::string_view message_;
    std::array<std::string_view, kMaxDepth> open_{};
};

// Calls f(name, raw_value) for each attribute of an Open token's attribute text, in order;
// false when the text is not a list of name="value" (or name='value') pairs.
template <class F>
bool each_attribute(std::string_view attributes, F&& f) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t i = 0;
    const std::size_t n = attributes.size();
    for (;;) {
        while (i < n && space(attributes[i])) ++i;
        if (i == n || attributes[i] == '/') return i == n || i + 1 == n;
        const std::size_t name_at = i;
        while (i < n && attributes[i] != '=' && !space(attributes[i])) ++i;
        const std::string_view name = attributes.substr(name_at, i - name_at);
        while (i < n && space(attributes[i])) ++i;
        if (name.empty() || i == n || attributes[i] != '=') return false;
        ++i;
        while (i < n && space(attributes[i])) ++i;
        if (i == n || (attributes[i] != '"' && attributes[i] != '\'')) return false;
        const std::size_t close = attributes.find(attributes[i], i + 1);
        if (close == std::string_view::npos) return false;
        f(name, attributes.substr(i + 1, close - i - 1));
        i = close + 1;
    }
}

// The raw value of the attribute `name`, nullopt when the tag has none (or is malformed).
std::optional<std::string_view> attribute(std::string_view attributes,
                                          std::string_view name) noexcept;

// The text with its references replaced (&lt; &gt; &amp; &quot; &apos; &#NN; &#xHH;): `raw`
// itself when it holds no '&', else a view of `buffer`, which then holds the decoded text;
// nullopt for a reference that is none of these (or names no Unicode scalar value).
std::optional<std::string_view> decode(std::string_view raw, std::string& buffer);

}  // namespace hs::xml
