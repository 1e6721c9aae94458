// Line helpers shared by the site readers: prefix and suffix tests, and the texts and names cut
// out of a line (names by the phrase that follows them, so that every length comes from a
// literal and no byte count is written by hand).
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "core/fault.hpp"
#include "core/utf8.hpp"

namespace hs {

inline bool starts(std::string_view s, std::string_view lit) noexcept {
    return s.size() >= lit.size() && std::memcmp(s.data(), lit.data(), lit.size()) == 0;
}
inline bool ends(std::string_view s, std::string_view lit) noexcept {
    return s.size() >= lit.size() &&
           std::memcmp(s.data() + s.size() - lit.size(), lit.data(), lit.size()) == 0;
}
// Whether `s` begins with `lit`, ASCII letters compared without their case: the rooms whose
// skins write the same words capitalised ("Dealt To", "Folds.").
inline bool starts_nocase(std::string_view s, std::string_view lit) noexcept {
    if (s.size() < lit.size()) return false;
    for (std::size_t i = 0; i < lit.size(); ++i) {
        const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(lit[i]);
        const bool letter = (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
        if (a != b && !(letter && (a | 0x20) == (b | 0x20))) return false;
    }
    return true;
}

// The text from `from` on, or nothing when `from` lies past the end (an empty view that still
// points into the line, so that the C library searches never see a null pointer).
inline std::string_view rest(std::string_view s, std::size_t from) noexcept {
    return s.substr(from < s.size() ? from : s.size());
}

// The byte at `i`, or 0 past the end: a look at what may follow a number or a word.
inline unsigned char byte_or_0(std::string_view s, std::size_t i) noexcept {
    return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
}

// An ISO 4217 code: exactly three ASCII capitals ("USD", "CAD"), copied into `out`.
inline bool read_iso_code(std::string_view word, std::array<char, 3>& out) noexcept {
    if (word.size() != 3) return false;
    for (const char c : word)
        if (c < 'A' || c > 'Z') return false;
    std::memcpy(out.data(), word.data(), 3);
    return true;
}

// The text in [from, to) of a line, for the store. A cut by position (a length counted back
// from a phrase, a fixed place after a seat number) falls inside a multi-byte character when the
// line is damaged there ("Mr. Sjaak 13 ⡞eaves the table"); the store holds whole characters
// only, so such a cut is a fault, as a bad index is, and a hand that holds one is rejected in
// skip mode. Every text that a reader stores is cut here. Several times per line: inline (forced:
// a large reader around it tips the compiler into a call).
[[gnu::always_inline]] inline std::string_view cut_text(std::string_view line, std::size_t from,
                                                        std::size_t to) {
    const std::string_view text = slice(line, from, to);
    if (!is_char_boundary(line, from)) fault_char_boundary(from, line);
    if (!is_char_boundary(line, to)) fault_char_boundary(to, line);
    return text;
}

// The name in [from, to) of a line, cut as above. A range that ends before it begins, or a name
// that comes out empty, is a fault: the lines that are cut this way always name a player there.
[[gnu::always_inline]] inline std::string_view cut_name(std::string_view line, std::size_t from,
                                                        std::size_t to) {
    if (to < from || to > line.size()) fault_missing("player name", line);
    const std::string_view name = cut_text(line, from, to);
    if (name.empty()) fault_missing("player name", line);
    return name;
}

// The same for a name already found inside the line (a view into it).
inline std::string_view cut_name(std::string_view line, std::string_view name) {
    const auto from = static_cast<std::size_t>(name.data() - line.data());
    return cut_name(line, from, from + name.size());
}

// The name from the start of a line (or from `from`) up to `phrase`, which ends at `at`:
// name_before(line, sign_at, " collected ") for "<name> collected $1.20". The phrase is not
// compared: the caller found it, or found what stands at `at`.
inline std::string_view name_before(std::string_view line, std::size_t at, std::string_view phrase,
                                    std::size_t from = 0) {
    if (at < phrase.size()) fault_missing("player name", line);
    return cut_name(line, from, at - phrase.size());
}

// A row of a suffix table: a line is tested for the `test` bytes at its end, and the name before
// the whole `phrase` (which ends with them) is cut out. Both are literals; the row does not
// compile when the phrase does not end with the test.
struct Ending {
    std::string_view test;
    std::string_view phrase;
    consteval Ending(std::string_view phrase_, std::string_view test_)
        : test(test_), phrase(phrase_) {
        if (test.size() > phrase.size() || phrase.substr(phrase.size() - test.size()) != test)
            throw "the phrase must end with the bytes it is tested by";
    }
    consteval explicit Ending(std::string_view phrase_) : Ending(phrase_, phrase_) {}
    bool matches(std::string_view line) const noexcept { return ends(line, test); }
    // The name before the phrase at the end of the line.
    std::string_view name(std::string_view line) const {
        return name_before(line, line.size(), phrase);
    }
};

// The first row of a suffix table (rows with an `Ending ending` member) whose ending the line
// has; nullptr when none.
template <class Row, std::size_t N>
const Row* ending_row(std::string_view line, const Row (&rows)[N]) noexcept {
    for (const Row& r : rows)
        if (r.ending.matches(line)) return &r;
    return nullptr;
}

}  // namespace hs
