#include "input/xml.hpp"

#include <charconv>
#include <cstring>

#include "core/utf8.hpp"

namespace hs::xml {
namespace {

bool name_end(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>';
}

// The offset just past the first `mark` at or after `from`, npos when there is none.
std::size_t past(std::string_view text, std::size_t from, std::string_view mark) noexcept {
    if (from > text.size()) return std::string_view::npos;
    const std::size_t at = text.find(mark, from);
    return at == std::string_view::npos ? at : at + mark.size();
}

}  // namespace

Token Scanner::error(std::string_view message, std::size_t at) noexcept {
    failed_ = true;
    message_ = message;
    pos_ = at;
    Token t;
    t.event = Event::Error;
    t.text = message;
    t.offset = at;
    return t;
}

void Scanner::restart(std::size_t offset, std::size_t depth) noexcept {
    pos_ = offset < text_.size() ? offset : text_.size();
    if (depth < depth_) depth_ = depth;
    failed_ = false;
}

Token Scanner::next() noexcept {
    Token t;
    if (failed_) {
        t.event = Event::Error;
        t.text = message_;
        t.offset = pos_;
        return t;
    }
    const std::size_t n = text_.size();
    for (;;) {
        t.offset = pos_;
        if (pos_ >= n) {
            t.event = Event::End;
            return t;
        }
        const char* const base = text_.data();
        if (base[pos_] != '<') {
            const void* lt = std::memchr(base + pos_, '<', n - pos_);
            const std::size_t end =
                lt == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(lt) - base);
            t.event = Event::Text;
            t.text = text_.substr(pos_, end - pos_);
            pos_ = end;
            return t;
        }
        const std::string_view rest = text_.substr(pos_);
        if (rest.size() >= 2 && (rest[1] == '?' || rest[1] == '!')) {
            std::size_t after;
            if (rest.starts_with("<!--")) {
                after = past(text_, pos_ + 4, "-->");
            } else if (rest.starts_with("<![CDATA[")) {
                const std::size_t close = text_.find("]]>", pos_ + 9);
                if (close == std::string_view::npos)
                    return error("CDATA section without its end", pos_);
                t.event = Event::Text;
                t.cdata = true;
                t.text = text_.substr(pos_ + 9, close - pos_ - 9);
                pos_ = close + 3;
                return t;
            } else if (rest[1] == '?') {
                after = past(text_, pos_ + 2, "?>");
            } else {
                // A document type declaration, its internal subset between brackets passed over.
                const std::size_t bracket = text_.find_first_of("[>", pos_ + 2);
                after = bracket == std::string_view::npos ? bracket
                        : text_[bracket] == '>'           ? bracket + 1
                                                          : past(text_, bracket, "]>");
            }
            if (after == std::string_view::npos)
                return error("comment or declaration without its end", pos_);
            pos_ = after;
            continue;
        }
        const bool closing = rest.size() >= 2 && rest[1] == '/';
        const std::size_t name_at = pos_ + (closing ? 2 : 1);
        std::size_t i = name_at;
        while (i < n && !name_end(text_[i])) ++i;
        if (i == name_at) return error("tag without a name", pos_);
        t.name = text_.substr(name_at, i - name_at);
        // The tag's end: the first '>' outside a quoted value.
        char quote = 0;
        std::size_t j = i;
        for (; j < n; ++j) {
            const char c = text_[j];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            } else if (c == '<') {
                return error("tag without its '>'", pos_);
            }
        }
        if (j == n) return error("tag without its '>'", pos_);
        if (closing) {
            if (depth_ == 0 || open_[depth_ - 1] != t.name)
                return error("end tag that closes no open element", pos_);
            --depth_;
            t.event = Event::Close;
            pos_ = j + 1;
            return t;
        }
        t.empty = j > i && text_[j - 1] == '/';
        t.attributes = text_.substr(i, j - i - (t.empty ? 1 : 0));
        if (!t.empty) {
            if (depth_ == kMaxDepth) return error("elements nested too deep", pos_);
            open_[depth_++] = t.name;
        }
        t.event = Event::Open;
        pos_ = j + 1;
        return t;
    }
}

std::optional<std::string_view> attribute(std::string_view attributes,
                                          std::string_view name) noexcept {
    std::optional<std::string_view> found;
    const bool ok = each_attribute(attributes, [&](std::string_view n, std::string_view v) {
        if (!found && n == name) found = v;
    });
    return ok ? found : std::nullopt;
}

std::optional<std::string_view> decode(std::string_view raw, std::string& buffer) {
    std::size_t amp = raw.find('&');
    if (amp == std::string_view::npos) return raw;
    buffer.clear();
    std::size_t from = 0;
    while (amp != std::string_view::npos) {
        buffer.append(raw.substr(from, amp - from));
        const std::size_t semi = raw.find(';', amp + 1);
        if (semi == std::string_view::npos || semi - amp > 12) return std::nullopt;
        const std::string_view ref = raw.substr(amp + 1, semi - amp - 1);
        if (ref == "lt") {
            buffer.push_back('<');
        } else if (ref == "gt") {
            buffer.push_back('>');
        } else if (ref == "amp") {
            buffer.push_back('&');
        } else if (ref == "quot") {
            buffer.push_back('"');
        } else if (ref == "apos") {
            buffer.push_back('\'');
        } else if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            std::uint32_t code = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() ||
                code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return std::nullopt;
            append_utf8(buffer, static_cast<char32_t>(code));
        } else {
            return std::nullopt;
        }
        from = semi + 1;
        amp = raw.find('&', from);
    }
    buffer.append(raw.substr(from));
    return std::string_view(buffer);
}

}  // namespace hs::xml
