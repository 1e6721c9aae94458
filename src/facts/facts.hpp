// Hand facts: one replay of a stored hand gives what each action puts in the pot, what each
// player invested, won and netted with their position and preflop flags, and the hand's pot,
// rake and jackpot. Every export reads these instead of replaying the hand itself. Amounts are
// exact (Money), so that for a hand whose text is consistent
//   Σ won = total_pot - rake - jackpot        and        Σ net + rake + jackpot = added
// (added: the chips the site put in, 0 but for GGPoker's cash drop; a cash-out breaks the
// second, since the site pays the player outside the pot). No Python here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/model.hpp"
#include "core/money.hpp"

namespace hs::facts {

// ---------------------------------------------------------------------------------------------
// What an amount means on each site
// ---------------------------------------------------------------------------------------------

// The first amount of a raise line: PokerStars' "raises $2 to $3" stores the raise over the bet
// ($2), OnGame's "raises $2.50 to $3.00" the chips the raiser adds (so do 888poker's and
// PartyPoker's).
enum class RaiseAmount : std::uint8_t { OverTheBet, ChipsAdded };
// A bet nobody called: PokerStars writes an "Uncalled bet ... returned" line and leaves it out
// of the total; Winamax writes no return, keeps it in "Total pot" and in its bettor's
// "collected" (an unmatched all-in even makes a "side pot" of its own), and PartyPoker's
// collections hold it the same way.
enum class Returns : std::uint8_t { Written, InThePot };
// The summary's "Total pot": with the rake (PokerStars) or what is left after it (Winamax).
enum class Total : std::uint8_t { WithRake, LessRake };
// A straddle's amount: the chips it adds, or the player's total on the street (GGPoker's
// "straddle $0.04", "straddle $0.08" by one player: the second adds $0.04).
enum class Straddle : std::uint8_t { ChipsAdded, StreetTotal };
// A small blind posted out of position by a player coming in (a second small blind, or
// Winamax's dead blind): dead (PokerStars, OnGame), or live, counting for the player's bet
// (Winamax: "posts small blind 2€ out of position", "calls 4€", and the next "raises 14€ to
// 20€" is over a bet of 6€, as the total pot confirms).
enum class LateSmallBlind : std::uint8_t { Dead, Live };
struct SiteRules {
    RaiseAmount raise = RaiseAmount::OverTheBet;
    Returns returns = Returns::Written;
    Total total = Total::WithRake;
    Straddle straddle = Straddle::ChipsAdded;
    LateSmallBlind late_small_blind = LateSmallBlind::Dead;
};
// The rules of a site (sites without a reader have PokerStars' rules). Faults on a code
// outside the enumeration.
const SiteRules& site_rules(Site site);

// ---------------------------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------------------------

// By the players dealt in, in seat order from the button: SB and BB follow the button; the
// seats between the big blind and the button are, counted back from the button, CO, HJ, LJ,
// then, counted on from the big blind, UTG, UTG+1, UTG+2, and MP for what is left (ten players
// have them all). Heads-up the button posts the small blind and is BTN, the other player BB.
// With a dead button (no player dealt in on the button's seat) nobody is BTN and the seats are
// still counted from the button's seat. Positions go by seats, not by who posted: a missing or
// dead blind changes nobody's position.
enum class Position : std::uint8_t { BTN, SB, BB, UTG, UTG1, UTG2, MP, LJ, HJ, CO };
inline constexpr std::size_t kPositionCount = 10;
inline constexpr std::array<std::string_view, kPositionCount> kPositionNames = {
    "BTN", "SB", "BB", "UTG", "UTG+1", "UTG+2", "MP", "LJ", "HJ", "CO"};

// ---------------------------------------------------------------------------------------------
// Facts
// ---------------------------------------------------------------------------------------------

inline constexpr std::uint8_t kNoRound = 255;

struct ActionFacts {
    Money chips = 0;  // what the action puts into the pot (has_chips)
    Money to = 0;     // the player's total on the street after a bet or raise (has_to)
    bool has_chips = false;
    bool has_to = false;
    // The action puts the player's last chips in: a line that says so, or chips that reach the
    // starting stack.
    bool all_in = false;
    Round round = Round::Predeal;  // where the action stands
};

struct PlayerFacts {
    Money invested = 0;  // chips put in, uncalled chips returned already taken off
    Money won = 0;       // chips taken from the pots
    Money cash_out = 0;  // what the site paid for the hand (cashed_out)
    // won - invested; after a cash-out, cash_out - invested: the site paid the player instead of
    // the pot (whose share, where the summary gives one, stays in `won`).
    Money net = 0;
    // A Position; kNone8 when not dealt in, with no button, and in stud (which has no button: the
    // up cards decide who acts first).
    std::uint8_t position = kNone8;
    std::uint8_t seats_to_button = kNone8;  // 0 the button, 1 the seat before it...
    std::uint8_t all_in_round = kNoRound;   // a Round; kNoRound when never all in
    bool dealt_in = false;  // seated, not sitting out, not joined, and named by a line
    // The preflop flags are those of the first betting round in the games without a flop (stud's
    // third street, a draw game's deal); a bring-in is forced, completing it a raise.
    bool vpip = false;       // put chips in before the flop without being forced to
    bool pfr = false;        // raised before the flop
    bool three_bet = false;  // made the second raise before the flop
    bool saw_flop = false;
    bool saw_showdown = false;  // in the hand (not folded) when two or more were at its end
    bool won_at_showdown = false;
    bool cashed_out = false;
};

struct HandFacts {
    Money total_pot = 0;  // every chip in the pots with the rake, returned chips left out
    Money rake = 0;       // the site's rake, its jackpot fees apart
    Money jackpot = 0;    // jackpot and draw fees apart from the rake (GGPoker)
    Money added = 0;      // chips the site put in (GGPoker's cash drop)
    // The pot when each round began: the preflop's after the posts before the cards; the
    // others when their first board was dealt (has_pot of the round).
    std::array<Money, 4> pot_at{};  // preflop, flop, turn, river
    std::array<bool, 4> has_pot{};
    // The chips of the last round's top bettor that nobody matched, left in the pot by a site
    // that writes no returns (taken back out of its bettor's win and the total).
    Money unmatched = 0;
    std::uint8_t unmatched_player = kNone8;
    std::uint8_t dealt_in = 0;  // players dealt in
    bool cash_out = false;      // a player cashed out
    Money largest_ante = 0;
    // The first thing the replay could not take as written (a raise below the chips already in,
    // chips of a name without a slot): the facts keep going without it. Empty for none.
    std::string_view problem;
    // Where the hand's players and actions start in the store's lists, and how many it has.
    std::uint64_t first_player = 0, players = 0;
    std::uint64_t first_action = 0, actions = 0;
};

// The facts of one hand: its HandFacts, its players by player id, and the facts of its run of
// the store's actions (from HandFacts::first_action).
struct HandFactsRef {
    const HandFacts* hand = nullptr;
    std::span<const PlayerFacts> players;
    std::span<const ActionFacts> actions;
    // The facts of a run of the store's actions inside the hand's (checked once for the run).
    std::span<const ActionFacts> of(Span run) const;
};

// The replay of one hand at a time, its buffers kept from hand to hand (no allocation per hand
// once they have grown). Faults only on a broken store (a reference outside its lists); what
// the text says that cannot be replayed is noted in HandFacts::problem.
class Replay {
  public:
    Replay() = default;
    Replay(const Replay&) = delete;  // its spans point into its own lists
    Replay& operator=(const Replay&) = delete;
    const HandFacts& run(const HandStore& store, const Hand& hand);
    // The same, the facts of the hand's players and actions appended to `players` and `actions`
    // instead of the replay's own lists (no copy for a caller that keeps them): players(),
    // facts() and action() then read those lists, valid while they are not changed.
    const HandFacts& run_into(const HandStore& store, const Hand& hand,
                              std::vector<PlayerFacts>& players, std::vector<ActionFacts>& actions);

    const HandFacts& hand() const noexcept { return hand_; }
    // The hand's players, by player id.
    std::span<const PlayerFacts> players() const noexcept { return players_; }
    // The facts of an action of the hand, by its index in the store's actions (checked).
    const ActionFacts& action(std::uint64_t store_index) const {
        const std::uint64_t i = store_index - hand_.first_action;
        if (store_index < hand_.first_action || i >= actions_.size()) [[unlikely]]
            fault_index(store_index, hand_.first_action + actions_.size());
        return actions_[i];
    }
    // The facts of the hand just replayed (valid until the next run).
    HandFactsRef facts() const noexcept { return {&hand_, players_, actions_}; }
    // The same for an action reached through a span of the store's actions.
    const ActionFacts& action(const HandStore& store, const Action& a) const {
        const Action* base = store.actions.data();
        if (&a < base || &a >= base + store.actions.size()) [[unlikely]]
            fault_unreachable("an action outside the store");
        return action(static_cast<std::uint64_t>(&a - base));
    }

  private:
    // The actions of a run of the store's list, all in `round`.
    void replay_round(Span run, Round round);
    void step(const Action& a, ActionFacts& f, Round round, bool betting, bool acting);
    void close_betting(Round round);
    void note(std::string_view problem) noexcept;
    // money_of, an amount out of range being 0 and noted.
    Money money(float v) {
        if (const auto cents = whole_cents(v)) [[likely]]
            return *cents * (kMoneyUnit / 100);
        return rare_money(v);
    }
    Money rare_money(float v);
    void finish(const Hand& hand);

    const HandStore* store_ = nullptr;
    SiteRules rules_;
    HandFacts hand_;
    // The facts of the hand being replayed: the tail of own_players_ / own_actions_ or of the
    // lists given to run_into.
    std::span<PlayerFacts> players_;
    std::span<ActionFacts> actions_;
    std::vector<PlayerFacts> own_players_;
    std::vector<ActionFacts> own_actions_;
    // The replay's state, per player: chips in this round and in the hand, returned, the
    // starting stack, whether folded.
    std::array<Money, kNoSlot> street_in_{}, put_in_{}, returned_{}, stack_{};
    std::array<Money, kNoSlot> collected_{}, summary_collected_{};
    std::uint32_t folded_ = 0, acted_ = 0;
    Money pot_ = 0;       // what the site added and every chip put in less those returned
    std::uint8_t n_ = 0;  // the hand's players
    Money level_ = 0, big_blind_ = 0;
    std::uint32_t preflop_raises_ = 0;
    bool small_blind_posted_ = false;
    bool collected_in_rounds_ = false;
    bool returns_written_ = false;
    Round unmatched_round_ = Round::Preflop;  // the round whose bets left hand_.unmatched
};

// The facts of a group of hands replayed one after another, kept together so that a writer can
// read them table by table (its buffers kept from group to group).
class FactsGroup {
  public:
    void clear() noexcept {
        hands_.clear();
        players_.clear();
        actions_.clear();
    }
    // Replays `hand` and keeps its facts as the group's next.
    void add(Replay& replay, const HandStore& store, const Hand& hand);
    std::size_t size() const noexcept { return hands_.size(); }
    // The facts of the group's hand i (checked).
    HandFactsRef operator[](std::size_t i) const;

  private:
    struct Kept {
        HandFacts hand;
        std::size_t players = 0, actions = 0;  // where its facts start in the lists below
    };
    std::vector<Kept> hands_;
    std::vector<PlayerFacts> players_;
    std::vector<ActionFacts> actions_;
};

// The facts of every hand of a store, in lists parallel to the store's: hands[i] for
// store.hands[i], players[j] for store.players[j], actions[k] for store.actions[k] (rows of no
// hand stay default). Built once; read by index.
struct FactsTable {
    std::vector<HandFacts> hands;
    std::vector<PlayerFacts> players;
    std::vector<ActionFacts> actions;
};
FactsTable facts_of(const HandStore& store);

}  // namespace hs::facts
