// The store invariant checker.
#include "support/check_store.hpp"

#include <string_view>

#include "core/format.hpp"
#include "core/utf8.hpp"

namespace hs {
namespace {

// Walks one hand; the first problem found is kept and the rest of the walk is skipped.
class Checker {
  public:
    explicit Checker(const HandStore& store) : store_(store) {}

    bool hand(std::size_t index) {
        index_ = index;
        const Hand& h = store_.hands[index];
        const Header& hd = h.header;
        if (!text("id", hd.id) || !text("table name", hd.table_name)) return false;
        if (hd.is_tournament() && !tournament(hd.tournament)) return false;
        if (!span("players", store_.players, hd.players)) return false;
        players_ = hd.players.count();
        if (hd.dealer != kNone8 && hd.dealer >= players_) return problem("dealer", hd.dealer);
        if (hd.hero != kNone8 && hd.hero >= players_) return problem("hero", hd.hero);
        for (const Player& p : store_.resolve(store_.players, hd.players))
            if (!text("player name", p.name)) return false;
        if (h.text_start > store_.text.size()) return problem("text start", h.text_start);
        text_start_ = h.text_start;
        if (!actions(hd.actions) || !street(h.preflop)) return false;
        for (const auto& [list, s] :
             {std::pair{&store_.flops, h.flops}, std::pair{&store_.turns, h.turns},
              std::pair{&store_.rivers, h.rivers}, std::pair{&store_.showdowns, h.showdowns}}) {
            if (!span("streets", *list, s)) return false;
            for (const Street& st : store_.resolve(*list, s))
                if (!street(st)) return false;
        }
        if (!span("winners", store_.winners, h.summary.winners)) return false;
        for (const Winner& w : store_.resolve(store_.winners, h.summary.winners))
            if (!player_id(w.player_id)) return false;
        return actions(h.summary.actions);
    }

    std::string take() { return std::move(problem_); }

  private:
    bool problem(std::string_view what, std::uint64_t value) {
        problem_ = "hand ";
        append_u64(problem_, index_);
        problem_ += ": ";
        problem_ += what;
        problem_ += ' ';
        append_u64(problem_, value);
        return false;
    }

    template <class T>
    bool span(std::string_view what, const std::vector<T>& list, Span s) {
        if (s.start() + s.count() <= list.size()) return true;
        std::string m(what);
        m += " span end beyond its list of ";
        append_u64(m, list.size());
        return problem(m, s.start() + s.count());
    }

    bool text(std::string_view what, TextRef r) {
        if (r.offset() + r.length() > store_.text.size())
            return problem(std::string(what) + " beyond the text at", r.offset());
        const std::string_view s = std::string_view(store_.text).substr(r.offset(), r.length());
        return valid(what, s, r.offset());
    }

    bool valid(std::string_view what, std::string_view s, std::uint64_t offset) {
        if (utf8_valid_prefix(s) == s.size()) return true;
        return problem(std::string(what) + " is not valid UTF-8 at", offset);
    }

    bool tournament(std::uint32_t index) {
        if (index >= store_.tournaments.size()) return problem("tournament", index);
        const Tournament& t = store_.tournaments[index];
        return text("tournament id", t.id) && text("level", t.level) &&
               text("match round", t.match_round) && text("name", t.name) &&
               span("bounties", store_.amounts, t.bounties) &&
               (static_cast<std::size_t>(t.buy_in_kind) < kBuyInKindCount ||
                problem("buy-in kind", static_cast<std::uint64_t>(t.buy_in_kind)));
    }

    // A run of `count` amounts behind a payload.
    bool amounts(std::string_view what, std::uint32_t payload, std::size_t count) {
        if (std::uint64_t{payload} + count <= store_.amounts.size()) return true;
        return problem(what, payload);
    }

    bool player_id(std::uint8_t id) {
        if (id < players_ || id == kNoSlot) return true;
        return problem("player_id", id);
    }

    bool street(const Street& s) {
        if (s.cards.count > kMaxCards) return problem("card count", s.cards.count);
        return actions(s.actions);
    }

    bool actions(Span s) {
        if (!span("actions", store_.actions, s)) return false;
        for (const Action& a : store_.resolve(store_.actions, s))
            if (!action(a)) return false;
        return true;
    }

    bool action(const Action& a) {
        if (static_cast<std::size_t>(a.type()) >= kActionTypeCount)
            return problem("action type", static_cast<std::uint64_t>(a.type()));
        if (!player_id(a.player_id())) return false;
        const std::uint32_t payload = a.payload();
        switch (payload_kind(a.type())) {
            case PayloadKind::Cards:
                if (payload != kNoCards && payload >= store_.card_sets.size())
                    return problem("card payload", payload);
                if (payload != kNoCards && store_.card_sets[payload].count > kMaxCards)
                    return problem("card count", store_.card_sets[payload].count);
                return true;
            case PayloadKind::CashOut: return amounts("cash-out payload", payload, 2);
            case PayloadKind::Purchase: return amounts("purchase payload", payload, 2);
            case PayloadKind::Finish: {
                if (!amounts("finish payload", payload, 2)) return false;
                if (!whole_number(store_.amounts[payload], kExactWhole))
                    return problem("finishing place at", payload);
                return true;
            }
            case PayloadKind::Bounty: {
                if (!amounts("bounty payload", payload, 4)) return false;
                const auto defeated = whole_number(store_.amounts[payload + 3], kNone8);
                if (!defeated) return problem("defeated player at", payload);
                return player_id(static_cast<std::uint8_t>(*defeated));
            }
            case PayloadKind::Message: {
                const std::uint64_t offset = text_start_ + (payload & 0xFFFFFFu);
                if (offset + (payload >> 24) > store_.text.size())
                    return problem("message beyond the text at", offset);
                return valid("message", std::string_view(store_.text).substr(offset, payload >> 24),
                             offset);
            }
            default: return true;
        }
    }

    const HandStore& store_;
    std::size_t index_ = 0;
    std::uint64_t players_ = 0;
    std::uint64_t text_start_ = 0;
    std::string problem_;
};

}  // namespace

std::string check_store(const HandStore& store) {
    Checker checker(store);
    for (std::size_t i = 0; i < store.hands.size(); ++i)
        if (!checker.hand(i)) return checker.take();
    return {};
}

}  // namespace hs
