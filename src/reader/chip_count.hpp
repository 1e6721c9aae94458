// The chips each player of a hand puts in, for the readers of sites whose histories write neither
// the pot, nor the rake, nor the chips given back (888poker, PartyPoker's older layouts): what
// an all-in is, which bet went back, and what the pot held. Counted in hundredths, exactly (the
// amounts of those histories have at most two decimals), so that the sums match the amounts that
// the history writes.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/model.hpp"
#include "reader/hand.hpp"

namespace hs {

class ChipCount {
  public:
    // A hand begins: the stacks are the seated players' chips.
    void begin(const Parser& p) {
        stack_.fill(0);
        hand_.fill(0);
        round_.fill(0);
        collected_ = excess_ = 0;
        top_ = kNone8;
        const auto& players = p.store().players;
        for (std::uint8_t id = 0; id < p.player_count() && id < kNoSlot; ++id) {
            const std::uint64_t at = p.first_player() + id;
            if (at < players.size()) stack_[id] = units(players[at].chips);
        }
    }
    // Chips put in, of which `dead` count for no bet of the round (a dead blind); true when they
    // are all that the player had left.
    bool put(std::uint8_t id, float amount, float dead = 0.0f) {
        if (id >= kNoSlot) return false;
        const std::int64_t left = stack_[id] - hand_[id];
        hand_[id] += units(amount);
        round_[id] += units(amount) - units(dead);
        return left > 0 && left == units(amount);
    }
    void collect(float amount) { collected_ += units(amount); }
    // The chips a player has put in this round, and the most any player has.
    float in_round(std::uint8_t id) const { return id < kNoSlot ? money(round_[id]) : 0.0f; }
    float round_level() const {
        std::int64_t top = 0;
        for (const std::int64_t r : round_) top = r > top ? r : top;
        return money(top);
    }
    // The end of a betting round: its top bettor's chips above everybody else's are noted.
    void end_round() {
        std::uint8_t first_id = kNone8;
        std::int64_t first = 0, second = 0;
        for (std::uint8_t id = 0; id < kNoSlot; ++id) {
            if (round_[id] > first) {
                second = first;
                first = round_[id];
                first_id = id;
            } else if (round_[id] > second) {
                second = round_[id];
            }
        }
        if (first > second) {
            top_ = first_id;
            excess_ = first - second;
        }
        round_.fill(0);
    }
    // The end of the hand. Such histories collect unmatched chips one way or another (888poker
    // gives back a bet nobody called, collects the blinds that everybody folded to whole, and
    // collects an unmatched all-in as a pot of its own in one hand and gives it back in the
    // next): the excess went back when the pot less the collections holds it. The return is
    // pushed then, as the action of the history's last section.
    void end_hand(HandBuilder& b) {
        if (top_ == kNone8 || pot_units() - collected_ < excess_) return;
        b.push(Action::with_amount(ActionType::UncalledBetReturned, top_, money(excess_)));
        hand_[top_] -= excess_;
    }
    // The pot, and the rake: what the collections leave of it.
    PotInfo pots() const {
        PotInfo p;
        p.total = p.main = money(pot_units());
        p.rake = money(pot_units() - collected_);
        return p;
    }

  private:
    // Amounts beyond any stake (or not numbers) are held at a bound far above every stack and far
    // below what a sum of them could overflow.
    static std::int64_t units(float amount) {
        constexpr double kBound = 1e15;
        const double hundredths = double{amount} * 100.0;
        if (std::isnan(hundredths)) return 0;
        return std::llround(std::clamp(hundredths, -kBound, kBound));
    }
    // Through a double: the hundredths of a large amount are not all exact in a float.
    static float money(std::int64_t units) {
        return static_cast<float>(static_cast<double>(units) / 100.0);
    }
    std::int64_t pot_units() const {
        std::int64_t sum = 0;
        for (const std::int64_t h : hand_) sum += h;
        return sum;
    }

    std::array<std::int64_t, kNoSlot> stack_{}, hand_{}, round_{};
    std::int64_t collected_ = 0;
    std::uint8_t top_ = kNone8;
    std::int64_t excess_ = 0;
};

}  // namespace hs
