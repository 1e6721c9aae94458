// Hand facts: exact money, the positions of every table size (a button, a dead button), and a
// hand's chips, totals and flags line by line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/money.hpp"
#include "facts/facts.hpp"
#include "sites/parse.hpp"

namespace {

using hs::Money;
using hs::facts::kPositionNames;

struct MoneyCase {
    float value;
    Money millionths;
    const char* text;
};

TEST(Money, DecimalsAsWritten) {
    const MoneyCase cases[] = {
        {0.1f, 100000, "0.1"},
        {1523.85f, 1523850000, "1523.85"},
        {0.005f, 5000, "0.005"},
        {131072.5f, 131072500000, "131072.5"},
        {150000.0f, 150000000000, "150000"},
        {-3.25f, -3250000, "-3.25"},
        {0.0f, 0, "0"},
    };
    for (const MoneyCase& c : cases) {
        EXPECT_EQ(hs::money_of(c.value), c.millionths) << c.text;
        std::string text;
        hs::append_money(text, c.millionths);
        EXPECT_EQ(text, c.text);
    }
    // Float sums are noisy, money sums are not.
    EXPECT_EQ(hs::money_of(0.1f) + hs::money_of(0.2f), hs::money_of(0.3f));
    EXPECT_THROW(hs::money_of(1e13f), hs::Fault);
}

// A two-place amount as the grouped-amount reader takes it: the whole part and the cents, each
// made a float, added in float.
float two_step(std::int64_t whole, std::int64_t cents) {
    const float fraction = static_cast<float>(cents) / 100.0f;
    return static_cast<float>(whole) + fraction;
}

// Every two-place amount read in two steps is the decimal written, below 2^17 where a float's
// rounding interval is narrower than a cent ("$1.84" read as 1 + 0.84f is 1.84, not 1.839999);
// a value that no two-step reading gives keeps its shortest decimal.
TEST(Money, TwoStepAmountsAreTheirDigits) {
    EXPECT_EQ(hs::money_of(two_step(1, 84)), 1840000);
    // The float below is no two-step reading: its shortest decimal, 1.8399998, as it is.
    EXPECT_EQ(hs::money_of(std::nextafter(two_step(1, 84), 0.0f)), 1839999);
    EXPECT_EQ(hs::two_step_cents(0.125f), std::nullopt);
    for (std::int64_t amount = 0; amount < 13'107'200; amount += amount < 200'000 ? 1 : 97) {
        const std::int64_t whole = amount / 100, cents = amount % 100;
        ASSERT_EQ(hs::money_of(two_step(whole, cents)), amount * 10'000) << whole << "." << cents;
    }
}

// A PokerStars hand of `seats` players (seats 1..n, the button on `button`), where everybody
// folds to the big blind.
std::string folded_hand(int seats, int button) {
    std::string t = "PokerStars Hand #1: Hold'em No Limit ($1/$2 USD) - 2021/03/04 05:06:07 ET\n";
    t += "Table 'T' 10-max Seat #" + std::to_string(button) + " is the button\n";
    for (int s = 1; s <= seats; ++s)
        t += "Seat " + std::to_string(s) + ": P" + std::to_string(s) + " ($100 in chips)\n";
    const auto after = [&](int k) { return (button - 1 + k) % seats + 1; };
    const int sb = after(1), bb = after(2);
    t += "P" + std::to_string(seats == 2 ? button : sb) + ": posts small blind $1\n";
    t += "P" + std::to_string(seats == 2 ? after(1) : bb) + ": posts big blind $2\n";
    t += "*** HOLE CARDS ***\n";
    const int big = seats == 2 ? after(1) : bb;
    for (int k = 1; k <= seats; ++k) {
        const int s = seats == 2 ? after(k + 1) : after(k + 2);
        if (s != big) t += "P" + std::to_string(s) + ": folds\n";
    }
    t += "Uncalled bet ($1) returned to P" + std::to_string(big) + "\n";
    t += "P" + std::to_string(big) + " collected $2 from pot\n";
    t += "*** SUMMARY ***\nTotal pot $2 | Rake $0\n\n";
    return t;
}

struct PositionCase {
    int seats;
    int button;
    std::vector<std::string> names;  // by seat from 1
};

class Positions : public ::testing::TestWithParam<PositionCase> {};

TEST_P(Positions, BySeatsFromTheButton) {
    const PositionCase& c = GetParam();
    const auto r = hs::parse_text(folded_hand(c.seats, c.button));
    ASSERT_TRUE(r.ok()) << r.error;
    hs::facts::Replay replay;
    const auto& hand = replay.run(*r.store, r.store->hands.at(0));
    std::vector<std::string> names;
    for (const auto& p : replay.players()) names.emplace_back(kPositionNames.at(p.position));
    EXPECT_EQ(names, c.names);
    // The big blind's walk: it wins the small blind, which is all anybody lost.
    EXPECT_EQ(hand.total_pot, 2 * hs::kMoneyUnit);
    Money net = 0;
    for (const auto& p : replay.players()) net += p.net;
    EXPECT_EQ(net, 0);
    EXPECT_TRUE(hand.problem.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Positions,
    ::testing::Values(
        PositionCase{2, 1, {"BTN", "BB"}}, PositionCase{3, 3, {"SB", "BB", "BTN"}},
        PositionCase{4, 1, {"BTN", "SB", "BB", "CO"}},
        PositionCase{6, 6, {"SB", "BB", "LJ", "HJ", "CO", "BTN"}},
        PositionCase{7, 2, {"CO", "BTN", "SB", "BB", "UTG", "LJ", "HJ"}},
        PositionCase{9, 9, {"SB", "BB", "UTG", "UTG+1", "UTG+2", "LJ", "HJ", "CO", "BTN"}},
        PositionCase{
            10, 10, {"SB", "BB", "UTG", "UTG+1", "UTG+2", "MP", "LJ", "HJ", "CO", "BTN"}}));

TEST(Facts, DeadButtonNamesNobodyTheButton) {
    // The button's seat 5 is empty: seat 1 is the small blind, seat 4 the seat before it.
    std::string t = folded_hand(4, 4);
    t.replace(t.find("Seat #4"), 7, "Seat #5");
    const auto r = hs::parse_text(t);
    ASSERT_TRUE(r.ok()) << r.error;
    hs::facts::Replay replay;
    replay.run(*r.store, r.store->hands.at(0));
    std::vector<std::string> names;
    for (const auto& p : replay.players()) names.emplace_back(kPositionNames.at(p.position));
    EXPECT_EQ(names, (std::vector<std::string>{"SB", "BB", "HJ", "CO"}));
}

TEST(Facts, PositionsByTheSeatsWhateverTheOrderOfTheList) {
    // The seat lines in increasing order, and the same lines listed otherwise (the general
    // path): each player has the same position.
    const auto positions = [](const std::string& text) {
        std::map<std::string, std::string> by_name;  // player: position
        const auto r = hs::parse_text(text);
        EXPECT_TRUE(r.ok()) << r.error;
        if (!r.ok()) return by_name;
        hs::facts::Replay replay;
        replay.run(*r.store, r.store->hands.at(0));
        const hs::Hand& hand = r.store->hands.at(0);
        const auto players = r.store->resolve(r.store->players, hand.header.players);
        for (std::size_t i = 0; i < players.size(); ++i)
            by_name[std::string(r.store->text_of(players[i].name))] =
                kPositionNames.at(replay.players()[i].position);
        return by_name;
    };
    for (const int button : {1, 4, 7}) {
        const std::string listed = folded_hand(7, button);
        // Seats 1 and 2 listed after seat 7.
        const std::size_t seat1 = listed.find("Seat 1:"), seat3 = listed.find("Seat 3:");
        const std::size_t end = listed.find('\n', listed.find("Seat 7:")) + 1;
        std::string moved = listed;
        moved.replace(seat1, end - seat1,
                      listed.substr(seat3, end - seat3) + listed.substr(seat1, seat3 - seat1));
        ASSERT_NE(moved, listed);
        EXPECT_EQ(positions(moved), positions(listed)) << button;
        EXPECT_EQ(positions(listed).size(), 7u);
    }
}

TEST(Facts, GroupKeepsEachHandsFacts) {
    // Hands of 2, 6 and 9 players kept together give what the replay gives each alone; a run of
    // actions outside a hand's is a fault.
    const auto r = hs::parse_text(folded_hand(2, 1) + folded_hand(6, 3) + folded_hand(9, 9));
    ASSERT_TRUE(r.ok()) << r.error;
    const hs::HandStore& store = *r.store;
    hs::facts::Replay replay, alone;
    hs::facts::FactsGroup group;
    for (const hs::Hand& h : store.hands) group.add(replay, store, h);
    ASSERT_EQ(group.size(), 3u);
    for (std::size_t i = 0; i < group.size(); ++i) {
        const auto& want = alone.run(store, store.hands[i]);
        const hs::facts::HandFactsRef got = group[i];
        EXPECT_EQ(got.hand->total_pot, want.total_pot);
        EXPECT_EQ(got.hand->first_action, want.first_action);
        ASSERT_EQ(got.players.size(), alone.players().size());
        for (std::size_t p = 0; p < got.players.size(); ++p) {
            EXPECT_EQ(got.players[p].net, alone.players()[p].net);
            EXPECT_EQ(got.players[p].position, alone.players()[p].position);
        }
        const hs::Span run = store.hands[i].preflop.actions;
        const auto facts = got.of(run);
        ASSERT_EQ(facts.size(), run.count());
        for (std::size_t k = 0; k < facts.size(); ++k)
            EXPECT_EQ(facts[k].chips, alone.action(run.start() + k).chips);
        EXPECT_THROW(got.of(hs::Span::make(run.start(), want.actions + 1)), hs::Fault);
    }
    EXPECT_THROW(group[3], hs::Fault);
}

}  // namespace
