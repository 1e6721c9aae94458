// Amounts as clients in other languages write them: "$1,734.09" and "$ 3.243" (three thousand
// two hundred and forty-three), "0,01 $", "42.797,60 $", "5 000 $" with a no-break space, and
// "1 123 698" chips. The readers of the sites whose clients translate their number forms (888poker,
// PartyPoker) take every amount through here.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace hs {

// A separator ('.', ',', ' ', U+00A0 or U+202F) followed by exactly three ASCII digits (and no
// fourth) groups thousands; a '.' or ',' followed by one or two digits is the decimal mark and
// ends the number. No client writes three decimals nor groups of another size, so each amount
// tells its own form and no hand needs to declare one.
struct LocalAmount {
    float value;
    std::size_t begin;  // offset of the first digit
    std::size_t end;    // offset just past the last digit read
};

// The first amount of `text`, read from its first ASCII digit; nullopt when it holds none (or
// more digits than any amount has).
std::optional<LocalAmount> local_amount(std::string_view text) noexcept;
// local_amount's value; a fault quoting `line` when the text holds none.
float local_amount_at(std::string_view text, std::string_view line);

}  // namespace hs
