// Bovada, Ignition and Bodog hand histories ("Bovada Hand #2628482935 TBL#1866535 HOLDEM No
// Limit - 2012-08-26 23:35:15", "Ignition Hand #3372762461  Zone Poker ID#875 HOLDEMZonePoker No
// Limit - ...", "Ignition Hand #3549249421: HOLDEM Tournament #18094253 TBL#34, Normal- Level 7
// (100/200) - ...").
//
// The site hides its players' names: every seat is named by its position at the table ("Dealer",
// "Small Blind", "Big Blind", "UTG", "UTG+1"...), which is the player's name here, and the seat of
// the player who saved the history carries " [ME]" after it (that player is the hero). Every line
// of a round is "<position> : <what happened>"; lines that name no player ("Table enter user",
// "Enter(Auto)") are notes. Everyone's cards are written when dealt, and a player who shows writes
// the best five cards, not the hole cards. Each player's win is a "Hand result" line in the
// rounds; the summary's total holds the rake, which only some hands write.
//
// Amounts: a raise's first amount is the chips the raiser adds ("Raises $33.92 to $35.42" after a
// bet of $1.50); the layout of 2012 wrote the total alone ("Raises $22"), and no street lines:
// its rounds are told apart by their betting (a round ends where every player still in has acted
// and matched its highest bet) and dealt the summary's board.
//
// Tournaments: "Ranking 84" is a player's place, "Prize Cash [$20]" its prize, and "BOUNTY PRIZE
// [$5]" a bounty won, on a player the hand ranks (the line does not name which).
//
// Seven-card stud ("7CARD", "7CARD HiLo") names each player by the seat's label ("Seat+3 [ME]:
// $0.50 in chips"; "Seat+3" is the name), deals every card in the open, the first street's three
// on one line ("Card dealt to a spot [7h 8c Jc]": two down, one up), and brings in with "Bring_in
// chip $0.02" or "Big blind/Bring in 5"; the first raise of the bring-in completes it. The
// layouts of 2012 write no street lines: a street begins where a card is dealt after the round's
// betting, or to a player dealt one in the round already. A show writes the best five cards; the
// cards shown are all those the player was dealt.
#include "sites/bovada.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

#include "core/chars.hpp"
#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/bets.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/numbers.hpp"
#include "reader/phrases.hpp"
#include "reader/shared_lines.hpp"

namespace hs::bovada {
namespace {

using std::size_t;
using std::string_view;

constexpr string_view kHero = " [ME]";
constexpr string_view kDealer = "Dealer", kSmallBlind = "Small Blind";
constexpr string_view kSeparator = " : ";

// A position label as lines write it, without the hero's mark and the spaces before it
// ("Big Blind  [ME]" is "Big Blind").
string_view position(string_view text) noexcept {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (ends(text, kHero)) text.remove_suffix(kHero.size());
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Hand line and seats
// ---------------------------------------------------------------------------------------------

struct GameName {
    string_view name;
    GameType game;
    BetType bet;  // where the line writes no limit (a tournament's "Normal", "Turbo")
};
// Longer names first where one begins another.
constexpr GameName kGames[] = {
    {"HOLDEMZonePoker ", GameType::HoldEm, BetType::NoLimit},
    {"HOLDEM ", GameType::HoldEm, BetType::NoLimit},
    {"OMAHA HiLo ", GameType::OmahaHiLo, BetType::PotLimit},
    {"OMAHA ", GameType::Omaha, BetType::PotLimit},
    {"7CARD HiLo ", GameType::SevenCardStudHiLo, BetType::Limit},
    {"7CARD ", GameType::SevenCardStud, BetType::Limit},
};
struct LimitName {
    string_view name;
    BetType bet;
};
constexpr LimitName kLimits[] = {
    {"No Limit", BetType::NoLimit},
    {"Pot Limit", BetType::PotLimit},
    {"Fixed Limit", BetType::Limit},
};

// The hand line; an empty reason when it was read.
string_view hand_line(HandBuilder& b, string_view line) {
    static constexpr string_view kHand = "Hand #", kTable = "TBL#", kZone = "Zone Poker ID#",
                                 kTournament = "Tournament #", kLevel = "Level ";
    Header& h = b.header();
    HandStore& store = b.store();
    const size_t hash = find_str(line, kHand);
    if (hash == npos) return "hand line without a hand id";
    const size_t id_at = hash + kHand.size();
    size_t id_end = id_at;
    while (id_end < line.size() && line[id_end] >= '0' && line[id_end] <= '9') ++id_end;
    if (id_end == id_at) return "hand line without a hand id";
    h.id = store.push_text(cut_text(line, id_at, id_end));

    // The table: "TBL#1866535" or a fast-fold pool's "Zone Poker ID#875".
    size_t table_at = find_str(line, kTable, id_end);
    size_t table_len = kTable.size();
    if (const size_t zone = find_str(line, kZone, id_end); zone != npos) {
        table_at = zone;
        table_len = kZone.size();
        h.fast_fold = true;
    }
    if (table_at != npos) {
        size_t end = table_at + table_len;
        while (end < line.size() && line[end] != ' ' && line[end] != ',') ++end;
        h.table_name = store.push_text(cut_text(line, table_at + table_len, end));
    }

    // The game's word, after the id.
    const GameName* known = nullptr;
    size_t game_at = npos;
    for (const GameName& g : kGames)
        if (game_at = find_str(line, g.name, id_end); game_at != npos) {
            known = &g;
            break;
        }
    if (known == nullptr) return "hand line without a game";
    h.game_type = known->game;
    h.bet_type = known->bet;
    for (const LimitName& l : kLimits)
        if (find_str(line, l.name, game_at) != npos) {
            h.bet_type = l.bet;
            break;
        }

    if (const size_t t = find_str(line, kTournament, game_at); t != npos) {
        Tournament record;
        const size_t number = t + kTournament.size();
        const size_t end = find_byte(line, ' ', number);
        record.id = store.push_text(cut_text(line, number, end == npos ? line.size() : end));
        b.push_tournament(record);
        // "- Level 7 (100/200)": the level, then the blinds.
        const size_t level = find_str(line, kLevel, number);
        const size_t open = level == npos ? npos : find_byte(line, '(', level);
        if (open == npos) fault_missing("level", line);
        size_t level_end = open;
        while (level_end > level && line[level_end - 1] == ' ') --level_end;
        b.tournament().level = store.push_text(cut_text(line, level + kLevel.size(), level_end));
        const auto sb = signed_grouped_amount(rest(line, open + 1));
        if (!sb || byte_at(line, open + 1 + sb->len) != '/') fault_missing("blinds", line);
        const auto bb = signed_grouped_amount(rest(line, open + 2 + sb->len));
        if (!bb) fault_missing("blinds", line);
        h.small_blind = sb->value;
        h.big_blind = bb->value;
    }

    // The date after the last " - ", "2016-10-16 13:55:35", then its zone when written.
    date_after_last(h, line, " - ", loose_date);
    return {};
}

// "Seat 3: UTG+1 [ME] ($75.67 in chips)", "Seat 240: Dealer (25,825 in chips)"; stud's "Seat+3
// [ME]: $0.50 in chips", whose label before the colon is the player's name.
bool seat_line(HandBuilder& b, string_view line, unsigned& largest_seat) {
    static constexpr string_view kSeat = "Seat ", kStudSeat = "Seat+", kInChips = " in chips)";
    // Seat numbers run past two digits at a tournament's tables.
    const size_t colon = find_byte(line, ':');
    if (colon == npos) return false;
    const bool stud = starts(line, kStudSeat);
    const size_t paren = stud ? colon + 1 : rfind_byte(line, '(');
    if (stud ? !ends(line, kInChips.substr(0, kInChips.size() - 1))
             : !ends(line, kInChips) || paren == npos || paren < colon + 2)
        return false;
    string_view text = stud ? cut_name(line, 0, colon) : cut_name(line, colon + 2, paren);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    const auto seat = read_integer(stud ? rest(position(text), kStudSeat.size())
                                        : slice(line, kSeat.size(), colon));
    const auto chips = signed_grouped_amount(rest(line, paren + 1));
    if (!seat || !chips) return false;
    const string_view name = position(text);
    if (name.empty()) fault_missing("player name", line);
    const std::uint8_t id = b.seat_player(
        cut_name(line, name),
        static_cast<std::uint8_t>(std::min<std::uint64_t>(seat->value, kNone8 - 1)), chips->value);
    largest_seat =
        std::max(largest_seat,
                 static_cast<unsigned>(std::min<std::uint64_t>(seat->value, std::uint64_t{1000})));
    if (ends(text, kHero)) b.header().hero = id;
    if (b.header().currency == 0 && !b.header().is_tournament())
        if (const auto sign = currency_symbol(rest(line, paren + 1)))
            b.header().currency = sign->sign;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Rounds
// ---------------------------------------------------------------------------------------------

// What follows "<position> : ". A row's phrase begins the text; `amount` says that an amount
// follows it.
enum class Kind : std::uint8_t {
    Post,      // a blind or an ante: `type`
    Wager,     // a call or a bet: `type`
    Raise,     // "Raises $0.75 to $1" (the chips added), or "Raises $22" (the total)
    AllIn,     // "All-in $39": a bet, a call or a raise, told by the round
    Plain,     // an action without amount: `type`
    Dealt,     // "Card dealt to a spot [Kd Qs]"
    Show,      // "Showdown [...]": the best five cards; the hole cards are the dealt ones
    Muck,      // "Mucks [...]"
    Result,    // "Hand result $207.27": `type` is the pot
    Returned,  // "Return uncalled portion of bet $9.14"
    Dealer,    // "Set dealer [5]", "Set dealer/Bring in spot [2]"
    Ranking,   // "Ranking 84": a tournament's finishing place
    Prize,     // "Prize Cash [$20]": the prize of that place
    Bounty,    // "BOUNTY PRIZE [$5]": a bounty won, of a player the hand ranks
    Note,      // no action: "Leave(Auto)", "Stand", "Table deposit $86.20"...
};
struct Verb {
    string_view phrase;
    Kind kind;
    ActionType type = ActionType::Check;
};
constexpr Verb kVerbs[] = {
    {"Folds", Kind::Plain, ActionType::Fold},
    {"Checks", Kind::Plain, ActionType::Check},
    {"Calls ", Kind::Wager, ActionType::Call},
    {"Call(timeout) ", Kind::Wager, ActionType::Call},
    {"Call ", Kind::Wager, ActionType::Call},
    {"Bets chip info(timeout) ", Kind::Wager, ActionType::Bet},
    {"Bets ", Kind::Wager, ActionType::Bet},
    {"Raises ", Kind::Raise, ActionType::Raise},
    {"Raises(timeout) ", Kind::Raise, ActionType::Raise},
    {"All-in(raise) ", Kind::Raise, ActionType::RaiseAllIn},
    {"All-in(raise-timeout) ", Kind::Raise, ActionType::RaiseAllIn},
    {"All-in ", Kind::AllIn},
    {"Card dealt to a spot [", Kind::Dealt},
    {"Return uncalled portion of bet ", Kind::Returned},
    {"Hand result-Side pot ", Kind::Result, ActionType::CollectSidePot1},
    {"Hand Result-Side Pot ", Kind::Result, ActionType::CollectSidePot1},
    {"Hand result ", Kind::Result, ActionType::CollectMainPot},
    {"Hand Result ", Kind::Result, ActionType::CollectMainPot},
    {"Showdown", Kind::Show},
    {"Mucks ", Kind::Muck},
    {"Does not show", Kind::Note},
    {"Ante/Small Blind ", Kind::Post, ActionType::SmallBlind},
    {"Ante/Small blind ", Kind::Post, ActionType::SmallBlind},
    {"Small Blind ", Kind::Post, ActionType::SmallBlind},
    {"Small blind ", Kind::Post, ActionType::SmallBlind},
    {"Big blind/Bring in ", Kind::Post, ActionType::BigBlind},  // stud's bring-in
    {"Big blind/Bring in(timeout) ", Kind::Post, ActionType::BigBlind},
    {"Big blind ", Kind::Post, ActionType::BigBlind},
    {"Big Blind ", Kind::Post, ActionType::BigBlind},
    {"Posts chip ", Kind::Post, ActionType::BigBlind},  // a live blind of a player coming in
    {"Ante chip ", Kind::Post, ActionType::Ante},
    {"Set dealer", Kind::Dealer},
    {"Ranking ", Kind::Ranking},
    {"Prize Cash [", Kind::Prize},
    {"Seat sit out", Kind::Plain, ActionType::Sitout},
    {"Sit out", Kind::Plain, ActionType::Sitout},
    {"Leave(Auto)", Kind::Note},
    {"Enter(Auto)", Kind::Note},
    {"Stand", Kind::Note},
    {"Re-join", Kind::Note},
    {"Seat re-join", Kind::Note},
    {"Seat stand", Kind::Note},
    {"Table enter user", Kind::Note},
    {"Table leave user", Kind::Note},
    {"Table deposit ", Kind::Note},
    {"Draw for dealer", Kind::Note},
    {"BOUNTY PRIZE [", Kind::Bounty},
    // Stud's alone, last: the other games' lines do not pass them.
    {"Bring_in chip ", Kind::Post, ActionType::BringIn},
    {"Double bets ", Kind::Wager, ActionType::Bet},  // fourth street, a pair showing
    {"D bets ", Kind::Wager, ActionType::Bet},
};
// Lines that name no player.
constexpr string_view kNotes[] = {
    "Enter(Auto)",  "Leave(Auto)",   "Table enter user", "Table leave user", "Table deposit ",
    "Seat sit out", "Seat sit down", "Seat re-join",     "Seat stand",       "Set dealer",
    "Seating Info", "Table Info",    "Player Info",
};

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets{};
    // The card set of each player's dealt cards (the hole cards a show or a muck reveals).
    std::uint32_t dealt[kNoSlot]{};
    // Each player's last Finish, as the index of its amounts (a prize follows its place).
    std::uint32_t finish[kNoSlot]{};
    std::uint8_t dealer_number = kNone8;
    bool streets = false;      // the hand has street lines (or is stud, read by its rounds)
    bool bet_preflop = false;  // a "Bets" line in what is read as the preflop
    // A hand without street lines (2012) has its rounds told by their betting: a round ends where
    // every player still in, and not all in, has acted in it and matched its highest bet.
    // `round_end` holds the store's action count at each end, the preflop's first.
    bool split = false;
    std::uint32_t in_hand = 0, folded = 0, all_in = 0, acted = 0;  // bits by player
    std::size_t round_end[4]{};
    std::uint8_t rounds_ended = 0;
    float won = 0.0f;        // the results' sum
    float put_in = 0.0f;     // the chips put in, less those returned
    string_view last_bet{};  // the last betting line
    bool repeated = false;   // a betting line written twice in a row
    // The bounties won (the index of each one's amounts, and its winner) and the players ranked
    // (eliminated), in text order: a bounty line does not name the player it was won on, so the
    // n-th bounty is on the n-th player ranked other than its winner.
    std::uint32_t bounty_at[kNoSlot]{};
    std::uint8_t bounty_winner[kNoSlot]{};
    std::uint8_t ranked[kNoSlot]{};
    std::uint8_t bounties = 0, ranks = 0;

    // Stud: the round being read (the first street's while `third`, else `street`), whether the
    // hand writes street lines, whether the round has had an action or dealt a card to each player
    // (bits by player), the bring-in and its completion, and each player's cards.
    bool stud = false, stud_lines = false, third = true, round_acted = false;
    StudOpening opening{};
    StreetKind street = StreetKind::Flop;
    std::uint32_t round_dealt = 0;
    CardSet* cards = nullptr;  // kNoSlot sets, while stud_rounds reads the rounds

    void begin_stud(bool street_lines) {
        stud = true;
        stud_lines = street_lines;
    }
    // Closes the round being read.
    void close_round() {
        if (third)
            b.close_preflop();
        else
            b.close_street(street, CardSet::empty());
    }
    // Closes the round being read and opens `next`'s.
    [[gnu::noinline]] void open_round(StreetKind next) {
        close_round();
        third = false;
        street = next;
        round_acted = false;
        round_dealt = 0;
        last_bet = {};
        bets.clear();
    }
    // A card dealt where the text writes no street lines: a card after the round's betting, or to
    // a player dealt one in the round, begins the next street. False past the seventh.
    [[gnu::noinline]] bool deal_opens_round(std::uint8_t id) {
        if (stud_lines || id >= kNoSlot || (!round_acted && (round_dealt >> id & 1u) == 0))
            return true;
        if (!third && street == StreetKind::Seventh) return false;
        constexpr StreetKind kNext[] = {StreetKind::Turn, StreetKind::River, StreetKind::Seventh,
                                        StreetKind::Seventh, StreetKind::Seventh};
        open_round(third ? StreetKind::Flop : kNext[static_cast<size_t>(street)]);
        return true;
    }
    // A stud line's cards: on the first street two down and one up, then one up, the seventh
    // street's down.
    [[gnu::noinline]] void stud_cards(std::uint8_t id, string_view name,
                                      const CardSet& dealt_cards) {
        if (id < kNoSlot && cards != nullptr) {
            round_dealt |= std::uint32_t{1} << id;
            for (std::uint8_t i = 0; i < dealt_cards.count && cards[id].count < kMaxCards; ++i)
                cards[id].push(dealt_cards.cards[i]);
        }
        push_stud_cards(b, name, dealt_cards, third, !third && street == StreetKind::Seventh);
    }
    // A raise or a bet of `id` adding `added` (already in the round's bets): in stud, the first
    // one after the bring-in completes it, to the player's total on the street.
    Action wager(ActionType type, std::uint8_t id, float added) {
        if (stud) [[unlikely]] {
            round_acted = true;
            if (opening.completes(type, third))
                return Action::with_amount(ActionType::Complete, id, bets.in(id));
        }
        return Action::with_amount(type, id, added);
    }

    void clear() {
        bets.clear();
        bounties = ranks = 0;
        in_hand = folded = all_in = acted = 0;
        rounds_ended = 0;
        for (std::uint32_t& d : dealt) d = kNoCards;
        for (std::uint32_t& f : finish) f = kNoPayload;
    }

    // A tournament's money (prizes, bounties) gives the record its currency when it has none.
    void currency_of_money(string_view money) {
        Tournament* t = b.header().is_tournament() ? &b.tournament() : nullptr;
        if (t != nullptr && t->currency == 0)
            if (const auto sign = currency_symbol(money)) t->currency = sign->sign;
    }

    // A betting action of `id` in a hand without street lines: ends the round when it is over.
    void round_act(std::uint8_t id, ActionType type) {
        if (!split || id >= kNoSlot) return;
        const std::uint32_t bit = std::uint32_t{1} << id;
        in_hand |= bit;
        acted |= bit;
        if (type == ActionType::Fold) folded |= bit;
        if (type == ActionType::BetAllIn || type == ActionType::CallAllIn ||
            type == ActionType::RaiseAllIn)
            all_in |= bit;
        const std::uint32_t live = in_hand & ~folded;
        if (std::popcount(live) < 2) return;  // the hand is over: no round follows
        const std::uint32_t to_act = live & ~all_in;
        if ((to_act & ~acted) != 0) return;
        for (std::uint8_t i = 0; i < kNoSlot; ++i)
            if ((to_act >> i & 1u) != 0 && !bets.matched(i)) return;
        if (rounds_ended < std::size(round_end))
            round_end[rounds_ended++] = p.store().actions.size();
        bets.clear();
        acted = 0;
    }

    // Each bounty's eliminated player; false when a bounty has none.
    bool pair_bounties() {
        std::uint8_t next = 0;
        for (std::uint8_t i = 0; i < bounties; ++i) {
            while (next < ranks && ranked[next] == bounty_winner[i]) ++next;
            if (next == ranks) return false;
            at(p.store().amounts, bounty_at[i] + std::size_t{3}) = ranked[next++];
        }
        return true;
    }

    // The hole cards of a player, for a show or a muck.
    std::uint32_t hole_cards(std::uint8_t id) const { return id < kNoSlot ? dealt[id] : kNoCards; }

    // One line of a round; false when no kind takes it.
    bool line(string_view line) {
        const size_t sep = find_str(line, kSeparator);
        if (sep == npos) {
            for (const string_view note : kNotes)
                if (starts(line, note)) return true;
            return false;
        }
        const string_view who = position(line.substr(0, sep));
        if (who.empty()) fault_missing("player name", line);
        const string_view what = rest(line, sep + kSeparator.size());
        const Verb* verb = nullptr;
        for (const Verb& v : kVerbs)
            if (starts(what, v.phrase)) {
                verb = &v;
                break;
            }
        if (verb == nullptr) return false;
        const string_view after = rest(what, verb->phrase.size());
        const std::uint8_t id = p.find_player(cut_name(line, who));
        const auto amount = [&] { return signed_grouped_amount_at(after, line); };
        HandStore& store = p.store();
        const auto put = [&](float chips) { put_in = sum_hundredths(put_in, chips); };
        const Kind kind = verb->kind;
        if (kind == Kind::Wager || kind == Kind::Raise || kind == Kind::AllIn) {
            repeated = repeated || line == last_bet;
            last_bet = line;
        }
        switch (verb->kind) {
            case Kind::Post: {
                const float a = amount();
                // Stud has no blinds: its "Big blind/Bring in" brings in.
                const ActionType type =
                    stud && verb->type == ActionType::BigBlind ? ActionType::BringIn : verb->type;
                if (type == ActionType::BringIn) {
                    opening.bring_in();
                    round_acted = true;
                }
                if (type != ActionType::Ante) bets.add(id, a);
                put(a);
                b.push(Action::with_amount(type, id, a));
                break;
            }
            case Kind::Wager: {
                const float a = amount();
                if (verb->type == ActionType::Bet && !streets && !stud && rounds_ended == 0)
                    bet_preflop = true;
                bets.add(id, a);
                put(a);
                b.push(wager(verb->type, id, a));
                round_act(id, verb->type);
                break;
            }
            case Kind::Raise: {
                // "Raises $0.75 to $1": the chips added; "Raises $22": the total.
                const auto first = signed_grouped_amount(after);
                if (!first) fault_missing("amount", line);
                const bool to = starts(rest(after, first->len), " to ");
                const float added = to ? first->value : sum_hundredths(first->value, -bets.in(id));
                bets.add(id, added);
                put(added);
                b.push(wager(verb->type, id, added));
                round_act(id, verb->type);
                break;
            }
            case Kind::AllIn: {
                const float a = amount();
                const ActionType type = bets.all_in(id, a);
                bets.add(id, a);
                put(a);
                b.push(Action::with_amount(type, id, a));
                round_acted = true;
                round_act(id, type);
                break;
            }
            case Kind::Plain: {
                const std::uint32_t payload =
                    verb->type == ActionType::Fold ? kNoCards : kNoPayload;
                b.push(Action::make(verb->type, id, payload));
                round_acted = true;
                if (verb->type == ActionType::Fold || verb->type == ActionType::Check)
                    round_act(id, verb->type);
                break;
            }
            case Kind::Dealt: {
                const size_t close = find_byte(after, ']');
                if (close == npos) fault_missing("']'", line);
                if (stud) {
                    if (!deal_opens_round(id)) return false;
                    stud_cards(id, cut_name(line, who), parse_cards(after.substr(0, close)));
                    break;
                }
                const std::uint32_t dealt_cards =
                    store.push_card_set(parse_cards(after.substr(0, close)));
                if (id < kNoSlot) {
                    dealt[id] = dealt_cards;
                    in_hand |= std::uint32_t{1} << id;
                }
                b.push(Action::make(ActionType::Dealt, id, dealt_cards));
                break;
            }
            case Kind::Show:
            case Kind::Muck:
                b.push(Action::make(
                    verb->kind == Kind::Show ? ActionType::Show : ActionType::Muck, id,
                    stud && id < kNoSlot && cards != nullptr ? store.push_card_set(cards[id])
                                                             : hole_cards(id)));
                break;
            case Kind::Result: {
                const float a = amount();
                b.push(Action::with_amount(verb->type, id, a));
                store.winners.push_back(Winner{id, a, 0});
                won = sum_hundredths(won, a);
                break;
            }
            case Kind::Returned: {
                const float a = amount();
                bets.add(id, -a);
                put(-a);
                b.push(Action::with_amount(ActionType::UncalledBetReturned, id, a));
                break;
            }
            case Kind::Dealer: {
                const size_t open = find_byte(after, '[');
                const auto n = open == npos ? std::nullopt : read_integer(rest(after, open + 1));
                if (n && n->value < kNone8) dealer_number = static_cast<std::uint8_t>(n->value);
                break;
            }
            case Kind::Ranking: {
                const auto place = read_integer(after);
                if (!place || place->value > kExactWhole) fault_missing("place", line);
                const std::uint32_t index =
                    store.push_amounts({static_cast<float>(place->value), 0.0f});
                if (id < kNoSlot) finish[id] = index;
                if (ranks < kNoSlot) ranked[ranks++] = id;
                b.push(Action::make(ActionType::Finish, id, index));
                break;
            }
            case Kind::Bounty: {
                const float won_on = amount();
                const std::uint32_t index = store.push_amounts({won_on, 0.0f, 0.0f, kNone8});
                if (bounties < kNoSlot) {
                    bounty_at[bounties] = index;
                    bounty_winner[bounties++] = id;
                }
                currency_of_money(after);
                b.push(Action::make(ActionType::Bounty, id, index));
                break;
            }
            case Kind::Prize: {
                const float prize = amount();
                if (id < kNoSlot && finish[id] != kNoPayload) {
                    at(store.amounts, finish[id] + std::size_t{1}) = prize;
                    currency_of_money(after);
                }
                break;
            }
            case Kind::Note: break;
        }
        return true;
    }
};

// "Total Pot($222.21)", "Total Pot($2) | Rake ($0)".
PotInfo pot_line(string_view line, bool& rake_written) {
    static constexpr string_view kTotal = "Total Pot(", kRake = "| Rake (";
    if (!starts(line, kTotal)) fault_missing("total pot", line);
    PotInfo pots;
    pots.total = signed_grouped_amount_at(line.substr(kTotal.size()), line);
    pots.main = pots.total;
    const size_t rake = find_str(line, kRake);
    rake_written = rake != npos;
    if (rake_written) pots.rake = signed_grouped_amount_at(rest(line, rake + kRake.size()), line);
    return pots;
}

// Whether the next "***" line after the current one is the summary: a hand without street lines.
// The lines between hold no '*' but in a damaged text, so the first '*' at a line's start is
// that line's.
bool no_street_lines(const Parser& p) {
    static constexpr string_view kSummaryLine = "*** SUMMARY ***";
    const string_view text = p.text(), line = p.line();
    const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
    const auto at = reinterpret_cast<std::uintptr_t>(line.data());
    if (at < begin || at - begin > text.size()) return false;
    const string_view ahead = rest(text, at - begin + line.size());
    for (size_t star = find_byte(ahead, '*'); star != npos; star = find_byte(ahead, '*', star + 1))
        if (star > 0 && (ahead[star - 1] == '\n' || ahead[star - 1] == '\r'))
            return starts(rest(ahead, star), kSummaryLine);
    return false;
}

// "Board [7d Kh 9h Qd 7h]" (empty when the summary has no board line): the streets of a hand
// without street lines. Where its betting told the rounds apart (Reader::split), the preflop and
// each street dealt take their round's actions, and the last street dealt also those after the
// last round's end (shows, results); false when more rounds ended than the board deals.
bool close_rounds(HandBuilder& b, const Reader& r, string_view line) {
    CardSet board;
    const size_t open = find_byte(line, '[');
    const size_t close = open == npos ? npos : find_byte(line, ']', open);
    if (close != npos) {
        string_view cards = slice(line, open + 1, close);
        while (!cards.empty() && cards.back() == ' ') cards.remove_suffix(1);
        board = parse_cards(cards);
    }
    const unsigned dealt = board.count < 3 ? 0 : std::min(board.count, std::uint8_t{5}) - 2u;
    if (r.rounds_ended > dealt + 1) return false;
    const auto end_of = [&](unsigned round) -> size_t {
        if (round == dealt) return HandBuilder::kOpenEnd;
        return round < r.rounds_ended ? r.round_end[round] : 0;
    };
    if (r.split) b.close_preflop(CardSet::empty(), end_of(0));
    if (dealt == 0) return true;
    CardSet flop;
    for (std::uint8_t i = 0; i < 3; ++i) flop.push(board.cards[i]);
    b.close_street(StreetKind::Flop, flop, end_of(1));
    for (std::uint8_t i = 3; i < board.count && i < 5; ++i) {
        CardSet one;
        one.push(board.cards[i]);
        b.close_street(i == 3 ? StreetKind::Turn : StreetKind::River, one, end_of(i - 1u));
    }
    return true;
}

// "Seat+2: UTG Folded before the FLOP", "Seat 1: UTG+2 Folded on the POCKET CARDS": a fold;
// the summary's other lines repeat what the rounds wrote.
void summary_line(Reader& r, string_view line) {
    static constexpr string_view kFolded = " Folded";
    const size_t colon = find_byte(line, ':');
    const size_t folded = find_str(line, kFolded);
    if (colon == npos || folded == npos || folded < colon + 2) return;
    const string_view who = position(slice(line, colon + 1, folded));
    size_t skip = 0;
    while (skip < who.size() && who[skip] == ' ') ++skip;
    if (skip == who.size()) return;
    r.b.push(Action::make(ActionType::Fold, r.p.find_player(cut_name(line, who.substr(skip))),
                          kNoCards));
}

inline bool is_stars_line(string_view line) noexcept { return starts(line, "*** "); }

// Stud's rounds, from the first street's to the summary's line; an empty reason when they were
// read.
string_view stud_rounds(Reader& r) {
    Parser& p = r.p;
    CardSet cards[kNoSlot];
    r.cards = cards;
    for (;;) {
        while (!is_stars_line(p.line())) {
            if (!r.line(p.line())) {
                r.cards = nullptr;
                return "unrecognised action line";
            }
            p.next_line();
        }
        if (starts(p.line(), "*** SUMMARY ***")) break;
        const auto kind = boardless_street_line(p, r.b.header().game_type);
        if (!kind) {
            r.cards = nullptr;
            return "unrecognised street line";
        }
        r.open_round(*kind);
    }
    r.cards = nullptr;
    r.close_round();
    r.streets = true;
    return {};
}

HandOutcome read_hand(HandBuilder& b) {
    static constexpr string_view kHoleCards = "*** HOLE CARDS ***", kSummary = "*** SUMMARY ***",
                                 kBoard = "Board [";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Bovada;
    if (const string_view reason = hand_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    while (starts(p.line(), "Table Info") || starts(p.line(), "Seating Info")) p.next_line();
    unsigned largest_seat = 0;
    // Stud's seat lines ("Seat+1: $0.57 in chips") begin as its action lines do ("Seat+1 : ...").
    while (starts(p.line(), "Seat ") ||
           (starts(p.line(), "Seat+") && ends(p.line(), " in chips"))) {
        if (!seat_line(b, p.line(), largest_seat)) return reject("seat line without chips");
        p.next_line();
    }
    // A tournament table's seats are numbered across the tournament ("Seat 284"): the seats are
    // then the places of the seat lines, which go round the table. A button that no player holds
    // (its player left) keeps its place, before the small blind.
    const std::uint8_t count = p.player_count();
    const std::uint8_t dealer = p.find_player(kDealer);
    const std::uint8_t small_blind = p.find_player(kSmallBlind);
    if (largest_seat > 10) {
        const bool dead_button = dealer >= count && small_blind < count;
        for (std::uint8_t id = 0; id < count; ++id)
            p.player(id).seat = id + 1 + (dead_button && id >= small_blind ? 1 : 0);
        if (dead_button) h.button_seat = small_blind + 1;
    }
    Reader r{b, p};
    r.clear();
    while (!is_stars_line(p.line())) {
        if (!r.line(p.line())) return reject("unrecognised line before the deal");
        p.next_line();
    }
    b.close_pre_deal();
    const bool stud = is_stud(h.game_type);
    if (p.line() != kHoleCards && !(stud && stud_street_number(p.line()) == 3))
        return reject("hand without hole cards");
    if (stud)
        r.begin_stud(!no_street_lines(p));
    else
        r.split = no_street_lines(p);
    p.next_line();
    if (h.is_tournament() || stud) {
        float ante = 0.0f;
        for (const Action& a : p.store().resolve(p.store().actions, h.actions))
            if (a.type() == ActionType::Ante) ante = std::max(ante, a.amount());
        h.ante = ante;
    } else {
        // A cash hand's line writes no stakes: the blinds posted give them.
        for (const Action& a : p.store().resolve(p.store().actions, h.actions)) {
            if (a.type() == ActionType::SmallBlind && h.small_blind == 0.0f)
                h.small_blind = a.amount();
            if (a.type() == ActionType::BigBlind && h.big_blind == 0.0f) h.big_blind = a.amount();
        }
    }
    if (stud) {
        if (const string_view reason = stud_rounds(r); !reason.empty()) return reject(reason);
    } else {
        while (!is_stars_line(p.line())) {
            if (!r.line(p.line())) return reject("unrecognised action line");
            p.next_line();
        }
        if (!r.split) b.close_preflop();
    }
    while (!starts(p.line(), kSummary)) {
        const auto street = parse_street_line(p);
        if (!street) return reject(kBoardCutOff);
        r.streets = true;
        r.bets.clear();
        while (!is_stars_line(p.line())) {
            if (!r.line(p.line())) return reject("unrecognised action line");
            p.next_line();
        }
        b.close_street(street->kind, street->cards);
    }
    // Without street lines, a bet after the preflop's cannot be told from it.
    if (r.bet_preflop) return reject("bets after the preflop without street lines");
    if (r.repeated) return reject("a betting line written twice in a row");
    if (!r.pair_bounties()) return reject("a bounty won on no player the hand ranks");
    p.next_line();
    // A fast-fold hand's summary may be empty: its total is then the chips put in.
    bool rake_written = false;
    PotInfo pots;
    if (starts(p.line(), "Total Pot(")) {
        pots = pot_line(p.line(), rake_written);
        p.next_line();
    } else {
        pots.total = pots.main = r.put_in;
    }
    string_view board;
    if (starts(p.line(), kBoard)) {
        board = p.line();
        p.next_line();
    }
    if (!r.streets && !close_rounds(b, r, board))
        return reject("more betting rounds than the board deals");
    while (starts(p.line(), "Seat")) {
        summary_line(r, p.line());
        p.next_line();
    }
    if (!p.line().empty() && !p.at_end()) return reject("unrecognised summary line");
    // Without a rake written, the rake is what the total holds beyond the results.
    if (!rake_written && pots.total > r.won) pots.rake = sum_hundredths(pots.total, -r.won);
    // The button: the seat of the player named "Dealer"; else the seat before the small blind's
    // (a dead button), or the one "Set dealer [n]" names. (That number is no seat's where a player
    // holds the button: "Set dealer [9]" at seat 2.)
    if (dealer < count) {
        h.button_seat = p.player(dealer).seat;
    } else if (h.button_seat == kNone8 && small_blind < count) {
        // Before seat 1 comes the seat after the last one seated.
        const std::uint8_t seat = p.player(small_blind).seat;
        h.button_seat = seat > 1 ? seat - 1 : static_cast<std::uint8_t>(largest_seat + 1);
    } else if (h.button_seat == kNone8) {
        h.button_seat = r.dealer_number;
    }
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    // The brand of the text's first hand line ("Bovada", "Ignition", "Bodog UK", "Bodog.com")
    // begins every hand of the text.
    read_hands(parser, first_hand_start(parser.text(), "Hand #", "Bovada Hand #"), errors, rejected,
               read_hand);
}

}  // namespace hs::bovada
