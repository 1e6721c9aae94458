// The line splitter: a text cut into lines, the separator chosen once per text.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/scan.hpp"

namespace hs {

// The end of the text reads as this line; a literal "@@@" line ends parsing as well.
inline constexpr std::string_view kEndMarker = "@@@";

// Splits a text into lines. The separator is chosen once, from the first line: "\r\n" when the
// first '\n' has a '\r' before it, '\n' when there is a '\n', and a lone '\r' for texts that
// hold no '\n' but do hold '\r' (old Mac files).
class LineSplitter {
  public:
    enum class Kind : std::uint8_t { Byte, Pair, Cr };
    explicit LineSplitter(std::string_view text) noexcept : text_(text) {
        const std::size_t lf = find_byte(text, '\n');
        if (lf != npos) {
            kind_ = (lf > 0 && text[lf - 1] == '\r') ? Kind::Pair : Kind::Byte;
        } else {
            kind_ = find_byte(text, '\r') != npos ? Kind::Cr : Kind::Byte;
        }
        if (kind_ == Kind::Byte) quick_last_ = last_quick_separator(text);
    }
    Kind kind() const noexcept { return kind_; }
    // The next line's extent [start, end) in the text, without its separator.
    struct Extent {
        std::size_t start, end;
    };
    [[gnu::always_inline]] inline std::optional<Extent> next() noexcept;
    // The next line of a '\n' text, as [first, end), when it is not the text's first line and a
    // '\n' ends it whose 16 bytes from its own lie inside the text (every line but the last few
    // bytes' ones): the byte before `first` is then the '\n' of the line before and `*end` the
    // line's own '\n'. False, and nothing taken, for any other line (next() takes it).
    [[gnu::always_inline]] inline bool next_quick(const char*& first, const char*& end) noexcept;
    // Stops next_quick from taking lines (the cursor at its end) and returns where the next line
    // begins, for resume; next() is not to be called in between.
    std::size_t pause() noexcept {
        const std::size_t at = start_;
        start_ = 0;
        return at;
    }
    void resume(std::size_t at) noexcept { start_ = at; }

  private:
    // The offset of the last '\n' whose 16 bytes from its own lie inside the text; 0 when none
    // does (a '\n' at offset 0 ends the first line, which next_quick never takes).
    static std::size_t last_quick_separator(std::string_view text) noexcept {
        if (text.size() < 16) return 0;
        const std::size_t at = rfind_byte(text.substr(0, text.size() - 15), '\n');
        return at == npos ? 0 : at;
    }

    std::string_view text_;
    std::size_t start_ = 0;
    // The lines that begin at offsets 1 to this one are next_quick's (0 for the texts split at
    // another separator).
    std::size_t quick_last_ = 0;
    Kind kind_ = Kind::Byte;
};

// Once per line of nearly every text: inline (forced). The line starts at or before the '\n' at
// quick_last_, so its own '\n' is found at or before that one: every 16-byte block compared
// begins there at the latest and so lies inside the text, and no test of the text's end is made.
[[gnu::always_inline]] inline bool LineSplitter::next_quick(const char*& first,
                                                            const char*& end) noexcept {
    const std::size_t from = start_;
    if (from - 1 >= quick_last_) [[unlikely]]  // from 0 wraps round: the first line is next()'s
        return false;
    const char* const p = text_.data() + from;
#ifdef HS_SIMD_SSE2
    const __m128i sep = _mm_set1_epi8('\n');
    std::size_t at = 0;
    std::uint32_t mask;
    while ((mask = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), sep)))) == 0)
        at += 16;
    const std::size_t len = at + static_cast<std::size_t>(std::countr_zero(mask));
#else
    std::size_t len = 0;
    while (p[len] != '\n') ++len;
#endif
    start_ = from + len + 1;
    first = p;
    end = p + len;
    return true;
}

// The line loop runs once per line of every text: inline (forced), one byte search per line.
// Texts split at '\n' (nearly all) take a path of their own, where the separator is a constant:
// its 16-byte pattern is loaded rather than built from the kind on every line.
[[gnu::always_inline]] inline std::optional<LineSplitter::Extent> LineSplitter::next() noexcept {
    const std::size_t size = text_.size();
    const std::size_t from = start_;
    if (from >= size) return std::nullopt;
    if (kind_ == Kind::Byte) [[likely]] {
        std::size_t at = from;
#ifdef HS_SIMD_SSE2
        // The blocks of 16 that lie wholly inside the text, to the last one's start; a line ends
        // here, in one of its first blocks, without a test for a search that found nothing.
        if (size - from >= 16) {
            const char* const base = text_.data();
            const __m128i sep = _mm_set1_epi8('\n');
            const std::size_t last = size - 16;
            do {
                const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at)), sep)));
                if (mask != 0) {
                    const std::size_t end = at + static_cast<std::size_t>(std::countr_zero(mask));
                    start_ = end + 1;
                    return Extent{from, end};
                }
                at += 16;
            } while (at <= last);
        }
#endif
        // The last bytes (or a text without the vector code).
        const std::size_t hit = find_byte_blocks(text_, '\n', at);
        const std::size_t end = hit == npos ? size : hit;
        start_ = end + 1;
        return Extent{from, end};
    }
    const char* const base = text_.data();
    std::size_t end = size;
    std::size_t sep_len = 1;
    if (kind_ == Kind::Pair) {
        // The next "\r\n": a '\n' from start + 1 on with a '\r' before it, found as the '\n' of
        // the other texts is.
        sep_len = 2;
        std::size_t at = from + 1;
        while (at < size) {
            const std::size_t i = find_byte_blocks(text_, '\n', at);
            if (i == npos) break;
            if (base[i - 1] == '\r') {  // i >= from + 1 >= 1
                end = i - 1;
                break;
            }
            at = i + 1;
        }
    } else {
        const std::size_t at = find_byte_blocks(text_, '\r', from);
        if (at != npos) end = at;
    }
    start_ = end + sep_len;
    return Extent{from, end};
}

}  // namespace hs
