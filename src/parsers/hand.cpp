// The driver's steps off the hot path: the hand-start test past leading white space, and taking
// back a rejected hand.
#include "parsers/hand.hpp"

namespace hs {

bool starts_after_white_space(std::string_view line, std::string_view start) noexcept {
    std::size_t at = 0;
    for (;;) {
        const std::string_view r = rest(line, at);
        std::size_t n = white_space_len(r);
        if (n == 0 && starts(r, kByteOrderMark)) n = kByteOrderMark.size();
        if (n == 0) return at != 0 && starts(r, start);
        at += n;
    }
}

void take_back(HandBuilder& b, std::uint64_t first_line, std::string_view reason,
               std::vector<Rejection>& rejected) {
    rejected.push_back(Rejection{first_line, std::string(b.hand_id()), std::string(reason)});
    b.rollback();
    Parser& p = b.parser();
    if (p.line_number() == first_line) p.next_line();
}

}  // namespace hs
