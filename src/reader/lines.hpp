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
//
// The separators are found 64 bytes at a time: the block's separators are kept as the bits of one
// word (for "\r\n", the bit of its '\n'), and each line takes the lowest bit left, so that a line
// costs a few instructions and a block of 64 bytes one compare for all its lines.
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
        lag_ = kind_ == Kind::Pair ? 1 : 0;
        pending_ = separator_bits(0);
    }
    Kind kind() const noexcept { return kind_; }
    // The next line's extent [start, end) in the text, without its separator.
    struct Extent {
        std::size_t start, end;
    };
    [[gnu::always_inline]] inline std::optional<Extent> next() noexcept;

  private:
    // The bits of the separators that end among the 64 bytes from `at` (bit i for byte at + i),
    // at <= the text's size; none past the text's end.
    std::uint64_t separator_bits(std::size_t at) const noexcept;
    // The blocks after the current one, once its separators are all taken: the next block that
    // holds one, or the text's last line (which has none), or nothing at the end.
    std::optional<Extent> next_block() noexcept;

    std::string_view text_;
    std::size_t start_ = 0;          // where the next line begins
    std::size_t block_ = 0;          // the offset of the block of `pending_`
    std::uint64_t pending_ = 0;      // its separators not taken yet
    std::size_t lag_ = 0;            // the bytes of a separator before its bit's byte
    Kind kind_ = Kind::Byte;
};

// The line loop runs once per line of every text: inline (forced), a bit taken from a word.
[[gnu::always_inline]] inline std::optional<LineSplitter::Extent> LineSplitter::next() noexcept {
    while (pending_ == 0) {
        if (text_.size() - block_ <= 64) [[unlikely]]
            return next_block();
        block_ += 64;
        pending_ = separator_bits(block_);
    }
    const std::size_t at = block_ + static_cast<std::size_t>(std::countr_zero(pending_));
    pending_ &= pending_ - 1;
    const std::size_t from = start_;
    start_ = at + 1;
    return Extent{from, at - lag_};
}

// Once per 64 bytes: a call (not inlined), so that each line's code stays small.
[[gnu::noinline]] inline std::optional<LineSplitter::Extent> LineSplitter::next_block() noexcept {
    const std::size_t size = text_.size();
    while (pending_ == 0) {
        if (size - block_ <= 64) {
            // The last line, when the text does not end with a separator.
            block_ = size;
            if (start_ >= size) return std::nullopt;
            const std::size_t from = start_;
            start_ = size;
            return Extent{from, size};
        }
        block_ += 64;
        pending_ = separator_bits(block_);
    }
    return next();
}

[[gnu::always_inline]] inline std::uint64_t LineSplitter::separator_bits(std::size_t at) const noexcept {
    const char* const p = text_.data() + at;
    const std::size_t left = text_.size() - at;
    const char sep = kind_ == Kind::Cr ? '\r' : '\n';
    std::uint64_t bits = 0, cr = 0;
#ifdef HS_SIMD_SSE2
    if (left >= 64) {
        const auto mask = [&](__m128i c) {
            std::uint64_t m = 0;
            for (std::size_t i = 0; i < 64; i += 16) {
                const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                m |= std::uint64_t{static_cast<std::uint32_t>(
                         _mm_movemask_epi8(_mm_cmpeq_epi8(block, c)))}
                     << i;
            }
            return m;
        };
        bits = mask(_mm_set1_epi8(sep));
        if (kind_ == Kind::Pair && bits != 0) cr = mask(_mm_set1_epi8('\r'));
    } else
#endif
    {
        const std::size_t n = left < 64 ? left : 64;
        for (std::size_t i = 0; i < n; ++i) {
            bits |= std::uint64_t{p[i] == sep} << i;
            cr |= std::uint64_t{p[i] == '\r'} << i;
        }
    }
    // A "\r\n" ends at its '\n': a '\n' with a '\r' before it, in this block or the last.
    if (kind_ == Kind::Pair) bits &= cr << 1 | std::uint64_t{at > 0 && p[-1] == '\r'};
    return bits;
}

}  // namespace hs
