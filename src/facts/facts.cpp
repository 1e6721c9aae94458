// The replay behind the hand facts: the hand's rounds in the order of its text, each action's
// chips by what its amount means on the site, then the players' totals and flags.
#include "facts/facts.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace hs::facts {

namespace {

constexpr SiteRules kPokerStars{};
constexpr std::array<SiteRules, kSiteCount> kSiteRules = [] {
    std::array<SiteRules, kSiteCount> rules{};
    rules.fill(kPokerStars);
    rules[static_cast<std::size_t>(Site::OnGame)].raise = RaiseAmount::ChipsAdded;
    rules[static_cast<std::size_t>(Site::Winamax)] =
        SiteRules{RaiseAmount::OverTheBet, Returns::InThePot, Total::LessRake, Straddle::ChipsAdded,
                  LateSmallBlind::Live};
    rules[static_cast<std::size_t>(Site::GGPoker)].straddle = Straddle::StreetTotal;
    // 888poker's "raises [$1.40]" and PartyPoker's "raises [$30 USD]" and "raises 2.40 to 2.65"
    // add those chips. The 888poker reader writes the returns its collections leave out;
    // PartyPoker's collections hold a bet nobody called, and its reader's total every chip put in.
    rules[static_cast<std::size_t>(Site::PacificPoker)].raise = RaiseAmount::ChipsAdded;
    rules[static_cast<std::size_t>(Site::PartyPoker)].raise = RaiseAmount::ChipsAdded;
    rules[static_cast<std::size_t>(Site::PartyPoker)].returns = Returns::InThePot;
    // The Winning Poker Network and Bovada write the chips a raiser adds ("raises (130)" after a
    // blind of 10; "Raises $33.92 to $35.42" after a bet of $1.50); Winning's total is what is
    // left after the rake.
    rules[static_cast<std::size_t>(Site::Winning)].raise = RaiseAmount::ChipsAdded;
    rules[static_cast<std::size_t>(Site::Winning)].total = Total::LessRake;
    rules[static_cast<std::size_t>(Site::Bovada)].raise = RaiseAmount::ChipsAdded;
    // Enet writes the chips a raiser adds ("raises €2,75" over a big blind of €0,50).
    rules[static_cast<std::size_t>(Site::Enet)].raise = RaiseAmount::ChipsAdded;
    // Pkr writes a call's and a raise's total in the round; its reader stores the chips added.
    rules[static_cast<std::size_t>(Site::Pkr)].raise = RaiseAmount::ChipsAdded;
    // PokerTracker's layouts: their readers store the chips a raiser adds, and a bet nobody
    // called is part of its bettor's "wins", but where the reader writes its return.
    rules[static_cast<std::size_t>(Site::PokerTracker)].raise = RaiseAmount::ChipsAdded;
    rules[static_cast<std::size_t>(Site::PokerTracker)].returns = Returns::InThePot;
    // The iPoker and Merge readers store every raise as the chips it adds (its histories write some
    // raises as the player's new total on the street, some as the chips added), and writes the
    // returns.
    rules[static_cast<std::size_t>(Site::IPoker)].raise = RaiseAmount::ChipsAdded;
    rules[static_cast<std::size_t>(Site::Merge)].raise = RaiseAmount::ChipsAdded;
    // BetOnline ("raises 3.25 to 3.50" from a small blind of 0.25) and the rooms of its layout
    // add the chips written first; the summary's total is the pot less the rake.
    // Everleaf's "raises [$ 0.18 USD]" adds those chips too, and the Cake reader stores its
    // "raises to $1.50" as the chips added.
    for (const Site s : {Site::EverLeaf, Site::GrandPoker, Site::Cake})
        rules[static_cast<std::size_t>(s)].raise = RaiseAmount::ChipsAdded;
    // Absolute writes the chips a raiser adds and the total ("Raises $45 to $60" from a small
    // blind of $15), KingsClub the total ("raises to 80"): both readers store the chips added, and
    // KingsClub's writes the bets no one called.
    for (const Site s : {Site::Absolute, Site::KingsClub})
        rules[static_cast<std::size_t>(s)].raise = RaiseAmount::ChipsAdded;
    for (const Site s : {Site::BetOnline, Site::PayNoRake}) {
        rules[static_cast<std::size_t>(s)].raise = RaiseAmount::ChipsAdded;
        rules[static_cast<std::size_t>(s)].total = Total::LessRake;
    }
    return rules;
}();

// A post's chips count for the round's bets when it is live (antes and dead blinds do not).
constexpr bool live_post(ActionType t) noexcept {
    return t == ActionType::SmallBlind || t == ActionType::BigBlind || t == ActionType::ExtraBlind;
}

constexpr bool is_post(ActionType t) noexcept {
    switch (t) {
        case ActionType::Ante:
        case ActionType::SmallBlind:
        case ActionType::BigBlind:
        case ActionType::BigSmallBlind:
        case ActionType::DeadBlind:
        case ActionType::ExtraBlind: return true;
        default: return false;
    }
}

// An action of a player dealt in (not a seat change, a chat line or a tournament event).
constexpr bool plays(ActionType t) noexcept {
    return (static_cast<std::uint8_t>(t) <=
                static_cast<std::uint8_t>(ActionType::UncalledBetReturned) &&
            t != ActionType::CashOut) ||
           (t >= ActionType::BringIn && t <= ActionType::StandPat);
}

// What the replay does with an action of each type, and whether the type is an action of a player
// dealt in (plays): one lookup per action. Codes outside the enumeration do nothing.
enum class Op : std::uint8_t {
    None,
    Wager,
    BringIn,
    Complete,
    Fold,
    Return,
    Collect,
    CashOut,
    Post
};
struct TypeRule {
    Op op = Op::None;
    bool plays = false;
};
constexpr std::array<TypeRule, 256> kTypeRules = [] {
    std::array<TypeRule, 256> rules{};
    for (std::size_t i = 0; i < kActionTypeCount; ++i) {
        const auto t = static_cast<ActionType>(i);
        Op op = Op::None;
        switch (t) {
            case ActionType::Bet:
            case ActionType::BetAllIn:
            case ActionType::Call:
            case ActionType::CallAllIn:
            case ActionType::Raise:
            case ActionType::RaiseAllIn: op = Op::Wager; break;
            case ActionType::BringIn: op = Op::BringIn; break;
            case ActionType::Complete: op = Op::Complete; break;
            case ActionType::Fold: op = Op::Fold; break;
            case ActionType::UncalledBetReturned: op = Op::Return; break;
            case ActionType::CollectMainPot:
            case ActionType::CollectSidePot1:
            case ActionType::CollectSidePot2:
            case ActionType::CollectSidePot3: op = Op::Collect; break;
            case ActionType::CashOut: op = Op::CashOut; break;
            default: op = is_post(t) ? Op::Post : Op::None;
        }
        rules[i] = TypeRule{op, plays(t)};
    }
    return rules;
}();

// The names of the seats between the big blind and the button, first to act first: `k` seats.
Position middle_position(std::size_t i, std::size_t k) noexcept {
    constexpr Position kBack[] = {Position::CO, Position::HJ, Position::LJ};
    constexpr Position kFront[] = {Position::UTG, Position::UTG1, Position::UTG2};
    const std::size_t back = std::min<std::size_t>(k, 3);
    const std::size_t from_end = k - 1 - i;
    if (from_end < back) return kBack[from_end];
    if (i < 3) return kFront[i];
    return Position::MP;
}

}  // namespace

const SiteRules& site_rules(Site site) {
    const auto i = static_cast<std::size_t>(site);
    if (i >= kSiteRules.size()) fault_index(i, kSiteRules.size());
    return kSiteRules[i];
}

const HandFacts& Replay::run(const HandStore& store, const Hand& h) {
    own_players_.clear();
    own_actions_.clear();
    return run_into(store, h, own_players_, own_actions_);
}

const HandFacts& Replay::run_into(const HandStore& store, const Hand& h,
                                  std::vector<PlayerFacts>& player_list,
                                  std::vector<ActionFacts>& action_list) {
    store_ = &store;
    const Header& hd = h.header;
    rules_ = site_rules(hd.site);
    const auto players = store.resolve(store.players, hd.players);
    if (players.size() > kNoSlot) fault_index(players.size(), kNoSlot);
    const std::size_t n = players.size();
    n_ = static_cast<std::uint8_t>(n);

    // The hand's actions are one run of the store's list, from the header's to the summary's
    // (a round outside it is a broken store: replay_round() checks each).
    const Span runs[] = {hd.actions, h.preflop.actions, h.summary.actions};
    std::uint64_t first = hd.actions.start(), end = first;
    for (const Span s : runs) {
        first = std::min(first, s.start());
        end = std::max(end, s.start() + s.count());
    }
    if (end > store.actions.size()) fault_index(end, store.actions.size());

    hand_ = HandFacts{};
    hand_.first_player = hd.players.start();
    hand_.players = n;
    hand_.first_action = first;
    hand_.actions = end - first;
    const std::size_t first_player = player_list.size(), first_fact = action_list.size();
    player_list.resize(first_player + n);
    action_list.resize(first_fact + (end - first));
    players_ = std::span<PlayerFacts>(player_list).subspan(first_player);
    actions_ = std::span<ActionFacts>(action_list).subspan(first_fact);
    for (std::size_t i = 0; i < n; ++i) stack_[i] = money(players[i].chips);
    std::fill_n(street_in_.begin(), n, 0);
    std::fill_n(put_in_.begin(), n, 0);
    std::fill_n(returned_.begin(), n, 0);
    std::fill_n(collected_.begin(), n, 0);
    std::fill_n(summary_collected_.begin(), n, 0);
    folded_ = 0;
    acted_ = 0;
    level_ = 0;
    preflop_raises_ = 0;
    small_blind_posted_ = false;
    collected_in_rounds_ = false;
    returns_written_ = false;
    hand_.added = money(h.summary.pots.added);
    big_blind_ = money(hd.big_blind);
    hand_.largest_ante = money(largest_ante(store, hd.actions));
    // The pot as the rounds go: what the site added, and every chip put in less those returned.
    pot_ = hand_.added;

    replay_round(hd.actions, Round::Predeal);
    hand_.pot_at[0] = pot_;
    hand_.has_pot[0] = true;
    replay_round(h.preflop.actions, Round::Preflop);
    close_betting(Round::Preflop);
    std::uint32_t in_at_flop = 0;
    each_street(store, h, [&](Round round, std::size_t, const Street& st) {
        if (round == Round::Showdown) {
            replay_round(st.actions, round);
            return;
        }
        const std::size_t k = betting_index(round);
        if (k < hand_.has_pot.size() && !hand_.has_pot[k]) {
            hand_.pot_at[k] = pot_;
            hand_.has_pot[k] = true;
            if (round == Round::Flop) in_at_flop = acted_ & ~folded_;
        }
        std::fill_n(street_in_.begin(), n, 0);
        level_ = 0;
        replay_round(st.actions, round);
        close_betting(round);
    });
    replay_round(h.summary.actions, Round::Summary);
    if (hand_.has_pot[1])
        for (std::size_t i = 0; i < n; ++i) players_[i].saw_flop = (in_at_flop >> i & 1) != 0;
    finish(h);
    return hand_;
}

std::span<const ActionFacts> HandFactsRef::of(Span run) const {
    const std::uint64_t at = run.start() - hand->first_action;  // wraps below the hand's run
    if (run.count() == 0) return {};
    if (at >= actions.size()) [[unlikely]]
        fault_index(at, actions.size());
    if (run.count() > actions.size() - at) [[unlikely]]
        fault_index(actions.size(), actions.size());
    return actions.subspan(at, run.count());
}

void FactsGroup::add(Replay& replay, const HandStore& store, const Hand& hand) {
    const std::size_t players = players_.size(), actions = actions_.size();
    hands_.push_back(Kept{replay.run_into(store, hand, players_, actions_), players, actions});
}

HandFactsRef FactsGroup::operator[](std::size_t i) const {
    if (i >= hands_.size()) fault_index(i, hands_.size());
    const Kept& k = hands_[i];
    const auto players = static_cast<std::size_t>(k.hand.players);
    const auto actions = static_cast<std::size_t>(k.hand.actions);
    if (k.players + players > players_.size() || k.actions + actions > actions_.size())
        fault_unreachable("facts outside the group");
    return {
        &k.hand, {players_.data() + k.players, players}, {actions_.data() + k.actions, actions}};
}

void Replay::replay_round(Span run, Round round) {
    const auto actions = store_->resolve(store_->actions, run);
    if (actions.empty()) return;
    // The facts of the run's actions: checked once for the run (the first action outside the
    // hand's run is the fault).
    const std::uint64_t at = run.start() - hand_.first_action;
    if (at >= actions_.size()) [[unlikely]]
        fault_index(at, actions_.size());
    if (actions.size() > actions_.size() - at) [[unlikely]]
        fault_index(actions_.size(), actions_.size());
    ActionFacts* f = actions_.data() + at;
    // What the round allows, the same for each of its actions.
    const bool betting = round != Round::Summary;
    const bool acting = betting && round != Round::Showdown;
    for (const Action& a : actions) step(a, *f++, round, betting, acting);
}

inline void Replay::step(const Action& a, ActionFacts& f, Round round, bool betting, bool acting) {
    const ActionType type = a.type();
    const TypeRule rule = kTypeRules[static_cast<std::uint8_t>(type)];
    f.round = round;
    const std::uint8_t p = a.player_id();
    const bool slot = p < n_;
    // Without a branch: the bit is 0 but for a player with a slot (below 32).
    acted_ |= static_cast<std::uint32_t>(slot & acting & rule.plays) << (p & 31);
    // The chips `m` the player puts in: counted for the hand, and for the round's bets when live.
    const auto put = [&](Money m, bool live) {
        // Nobody puts in more than the stack holds (a line that says more contradicts the seat
        // line: the stack wins).
        const Money stack = stack_[p];
        if (stack > 0 && m > stack - put_in_[p]) m = std::max<Money>(stack - put_in_[p], 0);
        put_in_[p] += m;
        pot_ += m;
        if (live) {
            street_in_[p] += m;
            level_ = std::max(level_, street_in_[p]);
        }
        f.chips = m;
        f.has_chips = true;
        f.all_in = f.all_in || is_all_in(type) || (stack > 0 && put_in_[p] >= stack);
        if (f.all_in && players_[p].all_in_round == kNoRound)
            players_[p].all_in_round = static_cast<std::uint8_t>(round);
    };
    // Chips of a name without a slot in the hand go nowhere.
    const auto need_player = [&] {
        if (slot) return true;
        note("an action of a player without a slot in the hand");
        return false;
    };
    switch (rule.op) {
        case Op::Wager: {
            if (!betting) return;
            if (!need_player()) return;
            const Money m = money(a.amount());
            const bool raise = type == ActionType::Raise || type == ActionType::RaiseAllIn;
            const bool bet = type == ActionType::Bet || type == ActionType::BetAllIn;
            Money added = m;
            if (raise && rules_.raise == RaiseAmount::OverTheBet)
                added = level_ + m - street_in_[p];
            if (added < 0) {
                note("a raise below the chips already in");
                added = 0;
            }
            // An all-in adds no more than the stack holds: where the big blind is all in for
            // less than the small blind, Winamax writes the raise over the big blind.
            if (is_all_in(type)) added = std::min(added, stack_[p] - put_in_[p]);
            put(added, true);
            if (raise || bet) {
                f.to = street_in_[p];
                f.has_to = true;
            }
            if (round == Round::Preflop) {
                PlayerFacts& pf = players_[p];
                pf.vpip = true;
                if (raise || bet) {
                    pf.pfr = true;
                    if (++preflop_raises_ == 2) pf.three_bet = true;
                }
            }
            return;
        }
        case Op::BringIn:
            // A forced bet: live, but no voluntary chips.
            if (!betting || !need_player()) return;
            put(money(a.amount()), true);
            return;
        case Op::Complete: {
            // "completes it to $0.08": the street's total of the player.
            if (!betting || !need_player()) return;
            const Money added = money(a.amount()) - street_in_[p];
            if (added < 0) note("a raise below the chips already in");
            put(std::max<Money>(added, 0), true);
            f.to = street_in_[p];
            f.has_to = true;
            if (round == Round::Preflop) {
                PlayerFacts& pf = players_[p];
                pf.vpip = pf.pfr = true;
                if (++preflop_raises_ == 2) pf.three_bet = true;
            }
            return;
        }
        case Op::Fold:
            if (betting && slot) folded_ |= std::uint32_t{1} << p;
            return;
        case Op::Return: {
            if (!betting) return;
            if (!need_player()) return;
            const Money m = money(a.amount());
            returned_[p] += m;
            pot_ -= m;
            returns_written_ = true;
            return;
        }
        case Op::Collect:
            if (!need_player()) return;
            if (betting) {
                collected_[p] += money(a.amount());
                collected_in_rounds_ = true;
            } else {
                summary_collected_[p] += money(a.amount());
            }
            return;
        case Op::CashOut: {
            if (!need_player()) return;
            players_[p].cash_out += money(store_->cash_out_of(a.payload()).amount);
            players_[p].cashed_out = true;
            hand_.cash_out = true;
            return;
        }
        case Op::Post: break;
        case Op::None: return;
    }
    // Posts: before the cards, or in the preflop for a player coming in.
    if (round != Round::Predeal && round != Round::Preflop) return;
    if (!need_player()) return;
    const Money m = money(a.amount());
    if (type == ActionType::BigSmallBlind) {
        // A live big blind and a dead small blind.
        const Money live = std::min(m, big_blind_);
        put(live, true);
        put_in_[p] += m - live;
        pot_ += m - live;
        f.chips = m;
        return;
    }
    if (type == ActionType::SmallBlind && small_blind_posted_) {
        // A second small blind: posted by a player coming in.
        put(m, rules_.late_small_blind == LateSmallBlind::Live);
        return;
    }
    small_blind_posted_ |= type == ActionType::SmallBlind;
    if (type == ActionType::DeadBlind) {
        put(m, rules_.late_small_blind == LateSmallBlind::Live);
        return;
    }
    if (type == ActionType::ExtraBlind && rules_.straddle == Straddle::StreetTotal) {
        put(std::max<Money>(m - street_in_[p], 0), true);
        return;
    }
    put(m, live_post(type));
}

Money Replay::rare_money(float v) {
    if (!std::isfinite(v) || std::fabs(v) >= 1e12f) [[unlikely]] {
        note("an amount out of range");
        return 0;
    }
    return money_of(v);
}

void Replay::note(std::string_view problem) noexcept {
    if (hand_.problem.empty()) hand_.problem = problem;
}

void Replay::close_betting(Round round) {
    // The top bettor's chips above the next one's. Only the last round with bets can leave any
    // unmatched (a round after it is dealt to all-in players or to none).
    // No chips in the round: no player's are above 0 (the level is the top of them).
    if (level_ == 0) return;
    Money top = 0, next = 0;
    std::uint8_t who = 0;
    for (std::size_t i = 0; i < players_.size(); ++i) {
        const Money m = street_in_[i];
        if (m > top) {
            next = top;
            top = m;
            who = static_cast<std::uint8_t>(i);
        } else if (m > next) {
            next = m;
        }
    }
    if (top == 0) return;
    hand_.unmatched = top - next;
    hand_.unmatched_player = who;
    unmatched_round_ = round;
}

void Replay::finish(const Hand& h) {
    const std::size_t n = players_.size();
    const PotInfo& pots = h.summary.pots;
    const auto players = store_->resolve(store_->players, h.header.players);

    // Wins: the collections of the rounds; else the summary's winners (OnGame writes no
    // collections), else the summary's collections.
    if (collected_in_rounds_) {
        for (std::size_t i = 0; i < n; ++i) players_[i].won = collected_[i];
    } else {
        bool any = false;
        for (const Winner& w : store_->resolve(store_->winners, h.summary.winners)) {
            if (w.player_id >= n) {
                note("a winner without a slot in the hand");
                continue;
            }
            players_[w.player_id].won += money(w.amount);
            any = true;
        }
        if (!any)
            for (std::size_t i = 0; i < n; ++i) players_[i].won = summary_collected_[i];
    }
    if (hand_.cash_out && collected_in_rounds_) {
        // A player who cashed out collects nothing; the share of the pot the summary gives them
        // ("won ($26.62) ... (pot not awarded as player cashed out)") went to the site.
        for (const Winner& w : store_->resolve(store_->winners, h.summary.winners)) {
            if (w.player_id < n && players_[w.player_id].cashed_out && collected_[w.player_id] == 0)
                players_[w.player_id].won += money(w.amount);
        }
    }

    hand_.total_pot = money(pots.total);
    hand_.jackpot = money(pots.jackpot);
    const Money fees = money(pots.rake);
    hand_.rake = fees - hand_.jackpot;
    if (rules_.total == Total::LessRake) hand_.total_pot += fees;
    if (rules_.raise == RaiseAmount::ChipsAdded) {
        // OnGame's rake was taken as the total less the wins: the same, exactly.
        Money won = 0;
        for (const PlayerFacts& pf : players_) won += pf.won;
        hand_.rake = hand_.total_pot - won - hand_.jackpot;
    }
    if (rules_.returns == Returns::InThePot) {
        // The unmatched chips came back to their bettor: out of the invested chips, and out of
        // the win and the total where the bettor's collection holds them. A hand that writes its
        // returns (a layout of the site that leaves them out of the wins) has them already.
        if (!returns_written_ && hand_.unmatched > 0 && hand_.unmatched_player < n) {
            const std::uint8_t p = hand_.unmatched_player;
            returned_[p] += hand_.unmatched;
            if (players_[p].won >= hand_.unmatched) {
                players_[p].won -= hand_.unmatched;
                hand_.total_pot -= hand_.unmatched;
            }
            // Nor were they in the pot of a street dealt after their round.
            for (std::size_t k = static_cast<std::size_t>(unmatched_round_); k < 4; ++k)
                if (hand_.has_pot[k]) hand_.pot_at[k] -= hand_.unmatched;
        }
    } else {
        // A hand without a return line whose total leaves the unmatched chips out (old
        // PokerStars histories, OnGame's walks) gave them back without saying so.
        if (!returns_written_ && hand_.unmatched > 0 && hand_.unmatched_player < n) {
            Money in = hand_.added;
            for (std::size_t i = 0; i < n; ++i) in += put_in_[i] - returned_[i];
            if (in - hand_.unmatched == hand_.total_pot)
                returned_[hand_.unmatched_player] += hand_.unmatched;
        }
        hand_.unmatched = 0;
        hand_.unmatched_player = kNone8;
    }

    // Who was dealt in: seated, not sitting out, not joined, and named by an action.
    std::uint32_t in_hand = 0;
    std::uint8_t dealt = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Player& pl = players[i];
        PlayerFacts& pf = players_[i];
        pf.dealt_in = pl.seat != kNone8 && !pl.joined && !pl.sitting_out && (acted_ >> i & 1);
        if (pf.dealt_in) {
            in_hand |= std::uint32_t{1} << i;
            ++dealt;
        }
        pf.invested = put_in_[i] - returned_[i];
        pf.net = (pf.cashed_out ? pf.cash_out : pf.won) - pf.invested;
    }
    const std::uint32_t at_end = in_hand & ~folded_;
    const bool showdown = (at_end & (at_end - 1)) != 0;  // two or more (no popcount call)
    for (std::size_t i = 0; i < n; ++i) {
        PlayerFacts& pf = players_[i];
        pf.saw_flop = pf.saw_flop && pf.dealt_in;
        pf.saw_showdown = showdown && (at_end >> i & 1);
        pf.won_at_showdown = pf.saw_showdown && pf.won > 0;
    }
    hand_.dealt_in = dealt;

    // Positions: the players dealt in, clockwise from the seat after the button's. Stud has no
    // button (its order of play follows the up cards): no position.
    const std::uint8_t button = h.header.button_seat;
    if (button == kNone8 || hand_.dealt_in < 2 || is_stud(h.header.game_type)) return;
    std::array<std::uint8_t, kNoSlot> order{};
    std::size_t count = 0;
    // Seats after the button first, then from the lowest seat up to the button's.
    const auto after = [&](std::uint8_t i) {
        const unsigned seat = players[i].seat;
        return seat > button ? seat - button : seat + 256u - button;
    };
    // The usual list, seats in increasing order: the players after the button's seat in list
    // order, then those up to it (the one order that the sorts below give to distinct seats).
    std::size_t up_to_button = 0;
    bool increasing = true;
    int last = -1;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(in_hand >> i & 1)) continue;
        const int seat = players[i].seat;
        increasing = increasing && seat > last;
        last = seat;
        up_to_button += seat <= button;
    }
    if (increasing) {
        std::size_t after_button = 0, before = hand_.dealt_in - up_to_button;
        for (std::size_t i = 0; i < n; ++i) {
            if (!(in_hand >> i & 1)) continue;
            order[players[i].seat > button ? after_button++ : before++] =
                static_cast<std::uint8_t>(i);
        }
        count = hand_.dealt_in;
    } else if (hand_.dealt_in <= 16) {
        // Insertion by (seats after the button, player): the order std::sort gives so few
        // (an insertion sort, stable), without a call per comparison.
        std::array<std::uint32_t, 16> keys{};
        for (std::size_t i = 0; i < n; ++i) {
            if (!(in_hand >> i & 1)) continue;
            const std::uint32_t key = after(static_cast<std::uint8_t>(i)) << 8 | i;
            std::size_t j = count++;
            for (; j > 0 && keys[j - 1] > key; --j) keys[j] = keys[j - 1];
            keys[j] = key;
        }
        for (std::size_t j = 0; j < count; ++j) order[j] = static_cast<std::uint8_t>(keys[j]);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            if (in_hand >> i & 1) order[count++] = static_cast<std::uint8_t>(i);
        std::sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count),
                  [&](std::uint8_t x, std::uint8_t y) { return after(x) < after(y); });
    }
    const bool dealer = players[order[count - 1]].seat == button;
    for (std::size_t j = 0; j < count; ++j) {
        PlayerFacts& pf = players_[order[j]];
        pf.seats_to_button = static_cast<std::uint8_t>(count - j - (dealer ? 1 : 0));
        Position pos;
        if (count == 2 && dealer) {
            pos = j == 1 ? Position::BTN : Position::BB;
        } else if (dealer && j == count - 1) {
            pos = Position::BTN;
        } else if (j == 0) {
            pos = Position::SB;
        } else if (j == 1) {
            pos = Position::BB;
        } else {
            const std::size_t middle = count - 2 - (dealer ? 1 : 0);
            pos = middle_position(j - 2, middle);
        }
        pf.position = static_cast<std::uint8_t>(pos);
    }
}

FactsTable facts_of(const HandStore& store) {
    FactsTable t;
    t.hands.resize(store.hands.size());
    t.players.resize(store.players.size());
    t.actions.resize(store.actions.size());
    Replay r;
    for (std::size_t i = 0; i < store.hands.size(); ++i) {
        t.hands[i] = r.run(store, store.hands[i]);
        const HandFacts& hf = t.hands[i];
        std::copy(r.players().begin(), r.players().end(),
                  t.players.begin() + static_cast<std::ptrdiff_t>(hf.first_player));
        for (std::uint64_t k = 0; k < hf.actions; ++k)
            t.actions[hf.first_action + k] = r.action(hf.first_action + k);
    }
    return t;
}

}  // namespace hs::facts
