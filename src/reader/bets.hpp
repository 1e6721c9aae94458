// The chips each player has put in during the betting round being read, for the layouts whose
// lines do not say what an all-in is ("Player X allin (14.40)", "UTG : All-in $39"): an all-in
// that opens the betting is a bet, one that does not go past the round's highest bet a call, any
// other a raise. Amounts are kept in hundredths, so that sums of cents compare exactly.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/model.hpp"

namespace hs {

// a + b to the hundredth: the rake and the fees a summary writes in parts, added as the
// history's own decimals rather than as floats (0.15 + 0.06 is 0.21, not 0.21000001).
inline float sum_hundredths(float a, float b) noexcept {
    return static_cast<float>(
        static_cast<double>(std::llround((static_cast<double>(a) + b) * 100.0)) / 100.0);
}

class RoundBets {
  public:
    // A new round: nobody has put anything in.
    void clear() noexcept {
        in_.fill(0);
        top_ = 0;
    }
    // `player` puts `amount` more into the round (a live blind, a bet, a call, a raise).
    void add(std::uint8_t player, float amount) noexcept {
        std::int64_t& in = in_[player & (kNoSlot - 1)];
        in += cents(amount);
        if (in > top_) top_ = in;
    }
    // What an all-in of `amount` more chips by `player` is.
    ActionType all_in(std::uint8_t player, float amount) const noexcept {
        if (top_ == 0) return ActionType::BetAllIn;
        const std::int64_t after = in_[player & (kNoSlot - 1)] + cents(amount);
        return after <= top_ ? ActionType::CallAllIn : ActionType::RaiseAllIn;
    }
    // Whether `player` has put in as much as the round's highest bet.
    bool matched(std::uint8_t player) const noexcept { return in_[player & (kNoSlot - 1)] == top_; }
    // The highest total any player has put in during the round.
    float top() const noexcept { return static_cast<float>(top_) / 100.0f; }
    // The chips of the round's highest bet that no other player matched, and its player
    // (kNoSlot when every bet was matched): the bet returned to its player where a history
    // writes no return.
    float unmatched(std::uint8_t& player) const noexcept {
        std::int64_t second = 0;
        player = kNoSlot;
        for (std::size_t i = 0; i < in_.size(); ++i) {
            if (in_[i] == top_ && player == kNoSlot) {
                player = static_cast<std::uint8_t>(i);
            } else {
                second = std::max(second, in_[i]);
            }
        }
        if (player == kNoSlot || second >= top_) {
            player = kNoSlot;
            return 0.0f;
        }
        return static_cast<float>(top_ - second) / 100.0f;
    }
    // The chips `player` has in the round.
    float in(std::uint8_t player) const noexcept {
        return static_cast<float>(in_[player & (kNoSlot - 1)]) / 100.0f;
    }

    // A raise written as the player's total for the round ("raises to $12"): the raise over the
    // round's highest bet, which the model keeps, while the chips it adds go into the round.
    float raise_to(std::uint8_t player, float to) noexcept {
        const float over = sum_hundredths(to, -top());
        add(player, sum_hundredths(to, -in(player)));
        return over;
    }

  private:
    static std::int64_t cents(float amount) noexcept {
        return std::isfinite(amount) && std::fabs(amount) < 1e15f
                   ? std::llround(static_cast<double>(amount) * 100.0)
                   : 0;
    }
    std::array<std::int64_t, kNoSlot> in_{};
    std::int64_t top_ = 0;
};

// Stud's first street in the layouts that write its completion as a raise (or a bet): the first
// one after the bring-in completes it, to the player's total on the street.
class StudOpening {
  public:
    void clear() noexcept { brought_in_ = completed_ = false; }
    void bring_in() noexcept { brought_in_ = true; }
    // Whether a `type` action on the first street (`first`) completes the bring-in; the first one
    // that does is the only one.
    bool completes(ActionType type, bool first) noexcept {
        if (!first || !brought_in_ || completed_ ||
            (type != ActionType::Raise && type != ActionType::Bet))
            return false;
        completed_ = true;
        return true;
    }

  private:
    bool brought_in_ = false, completed_ = false;
};

}  // namespace hs
