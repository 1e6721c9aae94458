// The steps off the hot path: taking back a rejected hand, and what only tournament hands hold.
#include "reader/hand.hpp"

#include <algorithm>

#include "core/chars.hpp"
#include "core/utf8.hpp"

namespace hs {

void HandBuilder::push_tournament(const Tournament& t) {
    const std::size_t index = store_.tournaments.size();
    if (index >= kNoTournament) fault_index(index, kNoTournament);
    hand_.header.tournament = static_cast<std::uint32_t>(index);
    store_.tournaments.push_back(t);
}

void HandBuilder::seat_bounty(std::optional<float> bounty) {
    Tournament& t = tournament();
    std::uint64_t start = t.bounties.start();
    if (t.bounties.count() == 0) {
        if (!bounty) return;
        // The first seat line with a bounty: the players seated before it get 0.
        start = store_.amounts.size();
        store_.amounts.insert(store_.amounts.end(), seated_, 0.0f);
    }
    store_.amounts.push_back(bounty.value_or(0.0f));
    t.bounties = Span::between(start, store_.amounts.size());
}

std::string_view first_hand_start(std::string_view text, std::string_view mark,
                                  std::string_view fallback) noexcept {
    std::string_view first = text.substr(0, 128);
    while (!first.empty()) {
        const std::size_t n = white_space_len(first);
        const std::size_t skip =
            n != 0 ? n : (starts(first, kByteOrderMark) ? kByteOrderMark.size() : 0);
        if (skip == 0) break;
        first.remove_prefix(skip);
    }
    first = first.substr(0, std::min(find_byte(first, '\n'), first.size()));
    const std::size_t at = find_str(first, mark);
    if (at == npos) return fallback;
    const std::string_view start = first.substr(0, std::min<std::size_t>(at + mark.size(), 16));
    return start.size() >= 4 ? start : fallback;
}

void take_back(HandBuilder& b, std::uint64_t first_line, std::string_view reason,
               std::string_view line, std::vector<Rejection>& rejected) {
    rejected.push_back(
        Rejection{first_line, std::string(b.hand_id()),
                  line.data() == nullptr ? std::string(reason) : line_message(reason, line)});
    b.rollback();
    Parser& p = b.parser();
    if (p.line_number() == first_line) p.next_line();
}

void pass_leading_text(Parser& p, Leading leading, std::vector<Rejection>& rejected) {
    std::uint64_t first = 0;
    for (; !p.at_end() && !p.begins_hand(p.line()); p.next_line()) {
        // A line's white space and byte-order marks before its words, as before a hand start.
        std::string_view line = skip_white_space(p.line());
        while (line.starts_with(kByteOrderMark))
            line = skip_white_space(line.substr(kByteOrderMark.size()));
        if (first == 0 && !line.empty() && (leading.lead_in == nullptr || !leading.lead_in(line)))
            first = p.line_number();
    }
    if (first != 0)
        rejected.push_back(Rejection{first, std::string(), std::string(kTextBeginsInsideHand)});
}

}  // namespace hs
