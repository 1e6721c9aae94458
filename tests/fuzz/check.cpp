// The invariants of parsing and rendering: the shared check of the fuzz target and of the replay
// test, and the strict UTF-8 and JSON readers it needs.
#include "fuzz/check.hpp"

#include <exception>
#include <optional>

#include "core/format.hpp"
#include "core/model.hpp"
#include "core/utf8.hpp"
#include "export/json.hpp"
#include "export/ohh.hpp"
#include "export/text_form.hpp"
#include "sites/parse.hpp"
#include "support/check_store.hpp"

namespace hs::fuzz {

std::string repair_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = decode_utf8(bytes, i).len;
        if (len == 0)
            append_utf8(out, kReplacementChar);
        else
            out.append(bytes.substr(i, len));
        i += len == 0 ? 1 : len;
    }
    return out;
}

namespace {

std::string at_byte(std::string_view what, std::size_t at) {
    std::string out(what);
    out += " at byte ";
    append_u64(out, at);
    return out;
}

}  // namespace

std::string utf8_error(std::string_view s) {
    const std::size_t valid = utf8_valid_prefix(s);
    return valid == s.size() ? std::string() : at_byte("invalid UTF-8", valid);
}

namespace {

// A recursive reader of one JSON value. Nesting is bounded, so that no input can exhaust the
// stack of the reader itself.
class JsonReader {
  public:
    explicit JsonReader(std::string_view s) : s_(s) {}

    std::string error() {
        value(0);
        if (error_.empty() && i_ != s_.size()) fail("text after the value");
        return error_;
    }

  private:
    static constexpr int kMaxDepth = 64;

    bool fail(std::string_view what) {
        if (error_.empty()) error_ = at_byte(what, i_);
        return false;
    }
    char peek() const noexcept { return i_ < s_.size() ? s_[i_] : '\0'; }
    bool digit() const noexcept { return peek() >= '0' && peek() <= '9'; }
    bool take(char c) {
        if (peek() != c) return false;
        ++i_;
        return true;
    }

    bool value(int depth) {
        if (depth > kMaxDepth) return fail("nesting too deep");
        switch (peek()) {
            case '{': return object(depth);
            case '[': return array(depth);
            case '"': return string();
            case 't': return literal("true");
            case 'f': return literal("false");
            case 'n': return literal("null");
            default: return number();
        }
    }
    bool literal(std::string_view lit) {
        if (s_.substr(i_, lit.size()) != lit) return fail("unknown literal");
        i_ += lit.size();
        return true;
    }
    bool object(int depth) {
        ++i_;
        if (take('}')) return true;
        do {
            if (peek() != '"') return fail("expected a key");
            if (!string()) return false;
            if (!take(':')) return fail("expected ':'");
            if (!value(depth + 1)) return false;
        } while (take(','));
        return take('}') || fail("expected ',' or '}'");
    }
    bool array(int depth) {
        ++i_;
        if (take(']')) return true;
        do {
            if (!value(depth + 1)) return false;
        } while (take(','));
        return take(']') || fail("expected ',' or ']'");
    }
    // Four hex digits after "\u"; nullopt when they are not.
    std::optional<unsigned> hex4() {
        if (s_.size() - i_ < 4) return std::nullopt;
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[i_ + k];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) return std::nullopt;
            v = v << 4 | static_cast<unsigned>(d);
        }
        i_ += 4;
        return v;
    }
    bool escape() {
        const char e = peek();
        ++i_;
        if (e != 'u') {
            return std::string_view("\"\\/bfnrt").find(e) != std::string_view::npos ||
                   fail("unknown escape");
        }
        const auto unit = hex4();
        if (!unit) return fail("bad \\u escape");
        if (*unit >= 0xDC00 && *unit <= 0xDFFF) return fail("unpaired low surrogate");
        if (*unit < 0xD800 || *unit > 0xDBFF) return true;
        if (!take('\\') || !take('u')) return fail("unpaired high surrogate");
        const auto low = hex4();
        return (low && *low >= 0xDC00 && *low <= 0xDFFF) || fail("unpaired high surrogate");
    }
    bool string() {
        ++i_;
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') return ++i_, true;
            if (c < 0x20) return fail("control character in a string");
            if (c == '\\') {
                ++i_;
                if (!escape()) return false;
            } else {
                const std::size_t len = decode_utf8(s_, i_).len;
                if (len == 0) return fail("invalid UTF-8 in a string");
                i_ += len;
            }
        }
        return fail("unterminated string");
    }
    bool number() {
        take('-');
        if (!take('0')) {
            if (!digit()) return fail("expected a value");
            while (digit()) ++i_;
        }
        if (take('.')) {
            if (!digit()) return fail("expected a digit after '.'");
            while (digit()) ++i_;
        }
        if (peek() == 'e' || peek() == 'E') return fail("exponent in a number");
        return true;
    }

    std::string_view s_;
    std::size_t i_ = 0;
    std::string error_;
};

std::string labelled(std::string_view what, std::string error) {
    if (error.empty()) return error;
    std::string out(what);
    out += ": ";
    out += error;
    return out;
}

Span all_hands(const HandStore& store) { return Span::make(0, store.hands.size()); }

std::string compact_text(const HandStore& store) {
    return labelled("compact text form", utf8_error(hands_text(store, all_hands(store), false)));
}
std::string pretty_text(const HandStore& store) {
    return labelled("pretty text form", utf8_error(hands_text(store, all_hands(store), true)));
}
// A JSON writer that gives up (nullopt: a value without a JSON form) raises the documented
// RuntimeError in Python; that is an accepted outcome too.
std::string native_json(const HandStore& store) {
    const auto json = to_json_native(store, all_hands(store));
    return json ? labelled("native JSON", json_error(*json)) : std::string();
}
std::string ohh_json(const HandStore& store) {
    const auto json = to_json_ohh(store, all_hands(store));
    return json ? labelled("OHH JSON", json_error(*json)) : std::string();
}
// The standard export in skip mode, where a hand that cannot be written is left out: each line
// that is not blank must be one valid JSON object, and the reasons shown must be valid UTF-8.
std::string ohh_file(const HandStore& store) {
    const auto ohh = to_ohh(store, all_hands(store), Errors::Skip);
    if (!ohh) return {};
    std::string finding;
    std::string_view rest = ohh->text;
    while (!rest.empty() && finding.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        if (end != 0) finding = labelled(".ohh object", json_error(rest.substr(0, end)));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    for (const OhhLeftOut& left : ohh->left_out)
        if (finding.empty()) finding = labelled(".ohh left-out reason", utf8_error(left.reason));
    return finding;
}

// The checks of a parsed store. Each runs on its own, as Python runs each rendering: a fault in
// one ends that one only. The model's invariants come first, so that a broken store is named
// before a renderer trips on it.
using StoreCheck = std::string (*)(const HandStore&);
constexpr StoreCheck kStoreChecks[] = {
    &check_store, &compact_text, &pretty_text, &native_json, &ohh_json, &ohh_file,
};

// Runs one step: its own finding, a finding for an exception other than hs::Fault, or, for a
// fault, a finding when faults are not allowed or when its message (shown to the user) is not
// valid UTF-8.
template <class F>
std::string guarded(F&& step, bool fault_allowed = true) {
    try {
        return step();
    } catch (const Fault& f) {
        if (!fault_allowed) return "fault: " + f.message();
        return labelled("fault message", utf8_error(f.message()));
    } catch (const std::exception& e) {
        return std::string("exception other than hs::Fault: ") + e.what();
    } catch (...) {
        return "exception other than hs::Fault";
    }
}

// What the user is shown of a parse besides the store: the error value and the rejected hands.
std::string result_texts_error(const ParseResult& result) {
    std::string finding = labelled("error value", utf8_error(result.error));
    for (const Rejection& r : result.rejected) {
        if (!finding.empty()) break;
        finding = labelled("rejection reason", utf8_error(r.reason));
        if (finding.empty()) finding = labelled("rejected hand id", utf8_error(r.hand_id));
    }
    return finding;
}

// Parses the text in one mode and checks the result. In skip mode a fault inside a hand rejects
// that hand and a fault of the whole input becomes the error value, so no fault may leave the
// parse at all.
std::string check_mode(std::string_view text, Errors errors) {
    ParseResult result;
    std::string finding = guarded(
        [&] {
            result = parse_text(text, errors);
            return result_texts_error(result);
        },
        errors == Errors::Strict);
    // A fault or an error value ends the input here: there is no store to render.
    if (!finding.empty() || !result.ok()) return finding;
    for (const StoreCheck check : kStoreChecks) {
        finding = guarded([&] { return check(*result.store); });
        if (!finding.empty()) return finding;
    }
    return {};
}

}  // namespace

std::string json_error(std::string_view json) { return JsonReader(json).error(); }

std::string check_text(std::string_view text) {
    std::string finding = check_mode(text, Errors::Strict);
    if (finding.empty()) finding = labelled("skip mode", check_mode(text, Errors::Skip));
    return finding;
}

std::string check_bytes(std::string_view bytes) { return check_text(repair_utf8(bytes)); }

}  // namespace hs::fuzz
