// What the readers of XML histories share: the XML scanner over the parser's text, the hand
// builder, references decoded into a kept buffer, the line of an offset (a rejection names the
// line of its hand's element), and the one place where a hand element's outcome is decided: a
// hand element that cannot be read is taken back and reported with its id and reason, and
// reading goes on at the next hand element (or the next element that begins a new context).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/fault.hpp"
#include "input/xml.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"

namespace hs {

// The reason of a hand element that the text ends inside of.
inline constexpr std::string_view kTextEndsInsideElement = "text ends inside the game";

// Sorts the rows of a hand element stably in place: the rows are nearly in order already (a round
// lists its actions grouped by player), and nothing is allocated, as std::stable_sort would.
template <class T, class Less>
void sort_rows(std::vector<T>& rows, Less less) {
    for (std::size_t i = 1; i < rows.size(); ++i) {
        T row = rows[i];
        std::size_t j = i;
        for (; j > 0 && less(row, rows[j - 1]); --j) rows[j] = rows[j - 1];
        rows[j] = row;
    }
}

class XmlGames {
  public:
    XmlGames(Parser& p, Errors errors, std::vector<Rejection>& rejected)
        : p_(p),
          b_(p),
          sc_(p.text()),
          errors_(errors),
          rejected_(rejected),
          line_end_(p.text().find('\n') == std::string_view::npos ? '\r' : '\n') {}

    Parser& parser() noexcept { return p_; }
    HandBuilder& builder() noexcept { return b_; }
    xml::Scanner& scanner() noexcept { return sc_; }
    Errors errors() const noexcept { return errors_; }

    // The text with its references decoded (into `buffer` when it holds any); an input error
    // for a reference that is none.
    static std::string_view decoded(std::string_view raw, std::string& buffer) {
        const auto d = xml::decode(raw, buffer);
        if (!d) fault_line("unreadable reference", raw);
        return *d;
    }
    // The same for a text outside every hand element (a session's field, shared by the hands
    // after it): in skip mode a reference that is none leaves the text out (empty), so that the
    // hands are read, or rejected, one by one rather than the whole input failing.
    std::string_view decoded_outside(std::string_view raw, std::string& buffer) const {
        if (const auto d = xml::decode(raw, buffer)) return *d;
        if (errors_ == Errors::Strict) fault_line("unreadable reference", raw);
        return {};
    }

    // A malformed tag outside every hand element: it ends the call in strict reading; else
    // reading goes on at the next `resume` tag.
    void outside_error(const xml::Token& t, std::string_view resume) {
        if (errors_ == Errors::Strict)
            fault_input(std::string("malformed XML: ") + std::string(t.text));
        const std::size_t next = p_.text().find(resume, t.offset + 1);
        sc_.restart(next == std::string_view::npos ? p_.text().size() : next, sc_.depth());
    }

    // How a hand element's text ends: closed, cut off at the end of the text with nothing open
    // inside it (a file copied without its closing tags), or cut off inside one of its elements.
    enum class End { Closed, Unclosed, Inside };

    // Calls f(token) for each token inside the element opened at `depth` (the depth before its
    // start tag) until it closes. A malformed tag is an input error of the hand.
    template <class F>
    End element(std::size_t depth, F&& f) {
        for (;;) {
            const xml::Token t = sc_.next();
            switch (t.event) {
                case xml::Event::End: return sc_.depth() == depth + 1 ? End::Unclosed : End::Inside;
                case xml::Event::Error:
                    throw InputError(std::string("malformed XML: ") + std::string(t.text));
                case xml::Event::Close:
                    if (sc_.depth() == depth) return End::Closed;
                    break;
                default: break;
            }
            f(t);
        }
    }

    // One hand element, opened by `open` with the hand's id: `read()` reads it and returns its
    // End; `build(quote, unclosed)` builds the hand from what was read, and names what a
    // rejection quotes. A hand rejected or faulted (in tolerant reading) is taken back and
    // reported; reading resumes at the next of the `resume` tags after it.
    template <class Read, class Build>
    void hand(const xml::Token& open, std::string_view id, std::string_view resume_hand,
              std::string_view resume_context, Read&& read, Build&& build) {
        const std::size_t depth = sc_.depth() - 1;
        b_.begin();
        std::string reason;
        try {
            const End end = read();
            if (end == End::Inside) {
                reason = kTextEndsInsideElement;
            } else {
                std::string_view quote;
                const HandOutcome out = build(quote, end == End::Unclosed);
                if (out.kind == HandOutcome::Kind::Stored) return;
                reason = quote.empty() ? std::string(out.reason) : line_message(out.reason, quote);
            }
        } catch (const Fault& f) {
            if (errors_ == Errors::Strict) throw;
            reason = f.message();
        }
        rejected_.push_back(Rejection{line_at(open.offset), std::string(id), std::move(reason)});
        b_.rollback();
        const std::string_view t = p_.text();
        std::size_t next = t.find(resume_hand, open.offset + 1);
        std::size_t resume_depth = depth;
        const std::size_t context = t.find(resume_context, open.offset + 1);
        if (context < next) next = context, resume_depth = 0;
        sc_.restart(next == std::string_view::npos ? t.size() : next, resume_depth);
    }

  private:
    // The 1-based line of an offset: lines end at '\n', or at '\r' in a text without any '\n'.
    std::uint64_t line_at(std::size_t offset) noexcept {
        const std::string_view t = p_.text();
        offset = std::min(offset, t.size());
        if (offset < line_offset_) line_offset_ = 0, line_ = 1;
        line_ += static_cast<std::uint64_t>(
            std::count(t.begin() + static_cast<std::ptrdiff_t>(line_offset_),
                       t.begin() + static_cast<std::ptrdiff_t>(offset), line_end_));
        line_offset_ = offset;
        return line_;
    }

    Parser& p_;
    HandBuilder b_;
    xml::Scanner sc_;
    Errors errors_;
    std::vector<Rejection>& rejected_;
    char line_end_;
    std::size_t line_offset_ = 0;
    std::uint64_t line_ = 1;
};

}  // namespace hs
