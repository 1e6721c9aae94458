// The driver's step off the hot path: taking back a rejected hand.
#include "parsers/hand.hpp"

namespace hs {

void take_back(HandBuilder& b, std::uint64_t first_line, std::string_view reason,
               std::vector<Rejection>& rejected) {
    rejected.push_back(Rejection{first_line, std::string(b.hand_id()), std::string(reason)});
    b.rollback();
    Parser& p = b.parser();
    if (p.line_number() == first_line) p.next_line();
}

}  // namespace hs
