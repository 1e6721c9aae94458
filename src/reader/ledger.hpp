// The chips of a hand whose history writes what each action puts in and what each player wins,
// and no summary of its own (the XML histories: iPoker, Merge). The ledger counts each player's
// chips on the street and in the hand in whole cents, pushes every action with an amount as the
// chips it adds, returns the bet nobody called at the end of its street, shows the cards of the
// players left at the showdown, and closes the summary from the wins: the pot is every chip put
// in and not returned, the rake what the wins leave of it.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/model.hpp"
#include "reader/hand.hpp"

namespace hs {

class ChipLedger {
  public:
    using Cents = std::int64_t;
    static Cents cents(float v) noexcept {
        return static_cast<Cents>(std::llround(static_cast<double>(v) * 100));
    }
    static float of_cents(Cents c) noexcept {
        return static_cast<float>(static_cast<double>(c) / 100.0);
    }

    // A new hand of `players` seated players (at most kNoSlot).
    void begin(std::uint8_t players) noexcept {
        players_ = std::min<std::uint8_t>(players, kNoSlot);
        put_.fill(0);
        street_.fill(0);
        win_.fill(0);
        folded_.fill(false);
        shown_.fill(kNoCards);
        level_ = unmatched_ = 0;
        unmatched_player_ = kNone8;
        parts_ = 0;
    }
    // A player met after the seats (a name no seat lists).
    void grow(std::uint8_t players) noexcept {
        players_ = std::max(players_, std::min<std::uint8_t>(players, kNoSlot));
    }
    // The flop, turn and river begin a street; the posts before the cards count for the preflop.
    void new_street() noexcept {
        street_.fill(0);
        level_ = 0;
    }
    Cents street(std::uint8_t id) const noexcept { return id < kNoSlot ? street_[id] : 0; }
    // The chips the player has put in the hand so far, less any returned.
    Cents put(std::uint8_t id) const noexcept { return id < kNoSlot ? put_[id] : 0; }
    // An all-in by the chips it adds: a bet on an open street, a call up to the bet, else a raise.
    ActionType all_in(std::uint8_t id, Cents added) const noexcept {
        if (level_ == 0) return ActionType::BetAllIn;
        return street(id) + added <= level_ ? ActionType::CallAllIn : ActionType::RaiseAllIn;
    }
    // Pushes an action; one with an amount puts in `added` (antes and dead posts count for the
    // hand only, and a post of both blinds only its big blind for the street).
    void push(HandBuilder& b, ActionType type, std::uint8_t id, Cents added, Cents big_blind = 0) {
        if (id >= kNoSlot) return;
        if (type == ActionType::Fold) folded_[id] = true;
        const PayloadKind kind = payload_kind(type);
        if (kind != PayloadKind::Amount) {
            b.push(Action::make(type, id, kind == PayloadKind::Cards ? kNoCards : kNoPayload));
            return;
        }
        b.push(Action::with_amount(type, id, of_cents(added)));
        put_[id] += added;
        Cents live = added;
        if (type == ActionType::Ante || type == ActionType::DeadBlind) live = 0;
        if (type == ActionType::BigSmallBlind) live = std::min(added, big_blind);
        street_[id] += live;
        level_ = std::max(level_, street_[id]);
    }
    // At the end of a betting street: the chips of its top bettor that nobody matched go back.
    void return_unmatched(HandBuilder& b) {
        Cents top = 0, second = 0;
        std::uint8_t who = 0;
        for (std::uint8_t i = 0; i < players_; ++i) {
            if (street_[i] > top) {
                second = top;
                top = street_[i];
                who = i;
            } else if (street_[i] > second) {
                second = street_[i];
            }
        }
        if (top <= second) return;
        unmatched_ = top - second;
        unmatched_player_ = who;
        put_[who] -= unmatched_;
        street_[who] = second;
        b.push(Action::with_amount(ActionType::UncalledBetReturned, who, of_cents(unmatched_)));
    }
    // The cards the history shows of a player (a card set of the store).
    void show_cards(std::uint8_t id, std::uint32_t cards) noexcept {
        if (id < kNoSlot) shown_[id] = cards;
    }
    std::uint32_t cards_of(std::uint8_t id) const noexcept {
        return id < kNoSlot ? shown_[id] : kNoCards;
    }
    // The showdown, when two players or more are left with chips in: each shows the cards the
    // history knows.
    void showdown(HandBuilder& b) {
        unsigned in = 0;
        for (std::uint8_t i = 0; i < players_; ++i) in += !folded_[i] && put_[i] > 0;
        if (in < 2) return;
        for (std::uint8_t i = 0; i < players_; ++i)
            if (!folded_[i] && put_[i] > 0 && shown_[i] != kNoCards)
                b.push(Action::make(ActionType::Show, i, shown_[i]));
        b.close_street(StreetKind::Showdown, CardSet::empty());
    }
    void add_win(std::uint8_t id, Cents amount) noexcept {
        if (id < kNoSlot) win_[id] += amount;
    }
    // A win that the history writes as a collection of its own (one half of a hi/lo pot), which
    // the summary keeps apart from the player's other wins, in the order written.
    void add_win_apart(std::uint8_t id, Cents amount) noexcept {
        if (id >= kNoSlot) return;
        win_[id] += amount;
        if (parts_ < part_.size()) part_[parts_++] = Part{id, amount};
    }
    Cents pot() const noexcept {
        Cents p = 0;
        for (std::uint8_t i = 0; i < players_; ++i) p += put_[i];
        return p;
    }
    Cents won() const noexcept {
        Cents w = 0;
        for (std::uint8_t i = 0; i < players_; ++i) w += win_[i];
        return w;
    }
    // The wins written count the returned bet in its bettor's win: taken out of it.
    bool wins_hold_return() const noexcept { return unmatched_ > 0 && won() > pot(); }
    Cents unmatched() const noexcept { return unmatched_; }
    void take_return_from_win() noexcept {
        if (unmatched_player_ >= kNoSlot) return;
        win_[unmatched_player_] -= std::min(unmatched_, win_[unmatched_player_]);
    }
    // Pushes each win (a collection and a winner; each win kept apart, then the rest) and closes
    // the summary.
    void settle(HandBuilder& b) {
        const auto collect = [&b](std::uint8_t i, Cents amount) {
            b.push(Action::with_amount(ActionType::CollectMainPot, i, of_cents(amount)));
            b.store().winners.push_back(Winner{i, of_cents(amount), 0});
        };
        for (std::uint8_t i = 0; i < players_; ++i) {
            Cents left = win_[i];
            for (std::uint8_t k = 0; k < parts_ && left > 0; ++k) {
                if (part_[k].id != i || part_[k].amount <= 0) continue;
                const Cents part = std::min(part_[k].amount, left);
                collect(i, part);
                left -= part;
            }
            if (left > 0) collect(i, left);
        }
        PotInfo pots;
        pots.total = pots.main = of_cents(pot());
        pots.rake = of_cents(pot() - won());
        b.close_summary(pots);
    }

  private:
    std::array<Cents, kNoSlot> put_{}, street_{}, win_{};
    std::array<bool, kNoSlot> folded_{};
    std::array<std::uint32_t, kNoSlot> shown_{};
    struct Part {
        std::uint8_t id = 0;
        Cents amount = 0;
    };
    std::array<Part, 8> part_{};
    std::uint8_t parts_ = 0;
    Cents level_ = 0, unmatched_ = 0;
    std::uint8_t players_ = 0, unmatched_player_ = kNone8;
};

}  // namespace hs
