// Absolute Poker and UltimateBet hand histories (one network, one layout):
//
//   Stage #1483940000: Holdem  No Limit $0.02 - 2009-06-10 03:10:00 (ET)
//   Table: CHILE HWY (Real Money) Seat #7 is the dealer
//   Seat 7 - PLAYER7 ($2.13 in chips)
//   Hero - Posts small blind $0.01
//   *** POCKET CARDS ***
//   Dealt to Hero [9c 7c]
//   PLAYER2 - Calls $0.02
//   *** FLOP *** [Qh 8h 7h]
//   PLAYER2 - returned ($0.06) : not called
//   *** SHOW DOWN ***
//   PLAYER2 Collects $0.06 from main pot
//   *** SUMMARY ***
//   Total Pot($0.06) | Rake ($0.01)
//   Seat 2: PLAYER2 collected Total ($0.06) HI:($0.06)  [Does not show]
//
// Hand ids may carry a letter ("Stage #C282012441"); a tournament's hand line names it ("Stage
// #525691746 Tourney ID 5945889 Holdem Multi Normal Tournament No Limit 10 - ..."), and its
// amounts are chips ("1,440"). "Normal" is fixed limit, whose line writes the bets ("$0.25/$0.50")
// rather than the blinds; a no-limit line writes the big blind only ("No Limit $1, $0.25 ante").
// Stud writes no table line, deals "Pocket [H H Js]" lines whose cards are the player's whole hand
// so far ("H" a card face down) and names its streets "*** 3rd STREET ***" to "*** RIVER ***".
//
// Amounts: a raise writes the chips it adds and the player's total ("Raises $45 to $60" after a
// small blind of $15); an all-in the chips it adds, or both ("All-In(Raise) 1,270 to 1,300"), or
// none at all for a player whose time ran out ("All-In (Timeout)"). The 7-2 game's prize ("Collects
// $40 from 72 proposition pot") is paid by the other players beside the pot, and is no win of it.
#include "sites/absolute.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "core/chars.hpp"
#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "reader/bets.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/numbers.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"

namespace hs::absolute {
namespace {

using std::size_t;
using std::string_view;

constexpr string_view kDash = " - ";

// ---------------------------------------------------------------------------------------------
// The hand line
// ---------------------------------------------------------------------------------------------

struct GameName {
    string_view name;
    GameType game;
};
// Longer names first where one begins another; compared without case ("HOLDEM NORMAL").
constexpr GameName kGames[] = {
    {"Holdem", GameType::HoldEm},
    {"Hold'em", GameType::HoldEm},
    {"Omaha Hi/Lo", GameType::OmahaHiLo},
    {"Omaha", GameType::Omaha},
    {"Seven Card Hi/Lo", GameType::SevenCardStudHiLo},
    {"Seven Card", GameType::SevenCardStud},
    {"Razz", GameType::Razz},
};
struct LimitName {
    string_view name;
    BetType bet;
};
constexpr LimitName kLimits[] = {
    {"No Limit ", BetType::NoLimit},
    {"Pot Limit ", BetType::PotLimit},
    {"Normal ", BetType::Limit},
};

// The first place at or after `from` where `word` stands, compared without case.
size_t find_nocase(string_view line, string_view word, size_t from) noexcept {
    for (size_t i = from; i + word.size() <= line.size(); ++i)
        if (starts_nocase(rest(line, i), word)) return i;
    return npos;
}

// "2009-06-10 03:10:00 (ET)", "2011-02-21 05:08:53.010 (ET) [ 2011-02-21 05:08:53 ]".
void start_time(Header& h, string_view date) {
    const auto d = loose_date(date.substr(0, std::min<size_t>(date.size(), 19)));
    if (!d) return;
    h.start_date = *d;
    const size_t open = find_byte(date, '(');
    const size_t close = open == npos ? npos : find_byte(date, ')', open);
    const TimeZone zone = close == npos ? TimeZone{} : zone_named(slice(date, open + 1, close));
    h.start_utc = utc_start(h.start_date, zone);
    h.start_zoned = zone.kind != TimeZone::Kind::Unknown;
}

// The hand line after "Stage #": the id, a tournament's number, the game, limit and stakes, the
// date. An empty reason when it was read.
string_view hand_line(HandBuilder& b, string_view line) {
    static constexpr string_view kStage = "Stage #", kTourney = " Tourney ID ";
    Header& h = b.header();
    // The line may begin with white space or a byte-order mark (files joined end to end).
    const size_t stage = find_str(line, kStage);
    if (stage == npos) fault_line(kHandLineWithoutId, line);
    const size_t id_at = stage + kStage.size();
    size_t end = id_at;
    while (end < line.size() && line[end] != ':' && line[end] != ' ') ++end;
    if (end == id_at) fault_line(kHandLineWithoutId, line);
    h.id = b.store().push_text(cut_text(line, id_at, end));
    size_t at = end + 1;
    if (starts(rest(line, end), kTourney)) {
        const size_t from = end + kTourney.size();
        const size_t len = numeric_len(rest(line, from));
        Tournament t;
        t.id = b.store().push_text(cut_text(line, from, from + len));
        b.push_tournament(t);
        at = from + len;
    }
    while (at < line.size() && line[at] == ' ') ++at;
    const size_t date_dash = rfind_str(line, kDash);
    if (date_dash == npos || date_dash < at) return "hand line without a date";
    const GameName* game = nullptr;
    for (const GameName& g : kGames)
        if (starts_nocase(rest(line, at), g.name)) {
            game = &g;
            break;
        }
    if (game == nullptr) fault_game(line, at);
    h.game_type = game->game;
    const size_t after_game = at + game->name.size();
    // The limit; the stakes follow it.
    size_t stakes = npos;
    for (const LimitName& l : kLimits) {
        const size_t found = find_nocase(line.substr(0, date_dash + 1), l.name, after_game);
        if (found != npos) {
            h.bet_type = l.bet;
            stakes = found + l.name.size();
            break;
        }
    }
    if (stakes == npos) fault_game(line, at);
    const string_view stake_text = slice(line, stakes, date_dash);
    if (const auto sign = currency_symbol(stake_text); sign && !h.is_tournament())
        h.currency = sign->sign;
    const auto first = first_grouped_amount(stake_text);
    if (!first) return "hand line without stakes";
    // A limit line's first amount is the small bet, the big blind; a no-limit line's the big blind.
    h.big_blind = *first;
    h.small_blind = *first / 2;
    if (const size_t ante = find_str(stake_text, " ante"); ante != npos) {
        const size_t comma = rfind_byte(stake_text.substr(0, ante), ',');
        if (comma != npos)
            h.ante = first_grouped_number_at(slice(stake_text, comma + 1, ante), line);
    }
    start_time(h, rest(line, date_dash + kDash.size()));
    return {};
}

// "Table: CHILE HWY (Real Money) Seat #7 is the dealer"; play money has no currency.
void table_line(Header& h, HandStore& store, string_view line) {
    static constexpr string_view kTable = "Table: ", kButton = "Seat #";
    const size_t paren = rfind_str(line, " (");
    const size_t name_end = paren == npos ? line.size() : paren;
    h.table_name = store.push_text(cut_text(line, kTable.size(), name_end));
    if (find_str(line, "(Play Money)") != npos) h.currency = 0;
    if (const size_t seat = find_str(line, kButton); seat != npos)
        if (const auto n = read_integer(rest(line, seat + kButton.size())); n && n->value < kNone8)
            h.button_seat = static_cast<std::uint8_t>(n->value);
}

// "Seat 7 - PLAYER7 ($2.13 in chips)", "Seat 1 - SHUSWAPER (1,440 in chips)"; a note may follow.
bool seat_line(HandBuilder& b, string_view line) {
    const size_t dash = find_str(line, kDash);
    const size_t paren = rfind_str(line, " (");
    if (dash == npos || paren == npos || paren <= dash + kDash.size()) return false;
    const auto seat = read_integer(slice(line, 5, dash));
    const auto chips = first_grouped_amount(rest(line, paren));
    if (!seat || !chips) return false;
    const std::uint8_t id = b.seat_player(
        cut_name(line, dash + kDash.size(), paren),
        static_cast<std::uint8_t>(std::min<std::uint64_t>(seat->value, kNone8 - 1)), *chips);
    if (find_str(rest(line, paren), "sitting out") != npos)
        b.parser().player(id).sitting_out = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Actions: "<name> - <verb> ..."
// ---------------------------------------------------------------------------------------------

enum class Kind : std::uint8_t {
    Plain,     // no amount: `type`
    Post,      // a blind, an ante or a bring-in: `type`, live unless an ante
    Wager,     // a bet or a call: the chips added
    Raise,     // "Raises $45 to $60": the chips added, or the total after "to"
    AllIn,     // "All-In $1.47", "All-In(Raise) 1,270 to 1,300", "All-In (Timeout)"
    Returned,  // "returned ($0.06) : not called"
    Shows,     // "Shows [Ac Ah] (Straight, ten to ace)", "Folds (Fold & Show [Kd 6c])"
    Pocket,    // stud: "Pocket [H H Js 10d]"
};
struct Verb {
    string_view verb;
    Kind kind;
    ActionType type;
};
// The verbs that begin what follows the name; the first row that matches decides.
constexpr Verb kVerbs[] = {
    {"Folds (Fold & Show [", Kind::Shows, ActionType::Fold},
    {"Folds", Kind::Plain, ActionType::Fold},
    {"Checks", Kind::Plain, ActionType::Check},
    {"Calls ", Kind::Wager, ActionType::Call},
    {"Bets ", Kind::Wager, ActionType::Bet},
    {"Raises ", Kind::Raise, ActionType::Raise},
    {"All-In", Kind::AllIn, ActionType::BetAllIn},
    {"Posts small blind ", Kind::Post, ActionType::SmallBlind},
    {"Posts big blind ", Kind::Post, ActionType::BigBlind},
    {"Posts dead blind ", Kind::Post, ActionType::DeadBlind},
    {"Ante ", Kind::Post, ActionType::Ante},
    {"Bring-In ", Kind::Post, ActionType::BringIn},
    {"returned (", Kind::Returned, ActionType::UncalledBetReturned},
    {"Shows [", Kind::Shows, ActionType::Show},
    {"Mucks", Kind::Plain, ActionType::Muck},
    {"Does not show", Kind::Plain, ActionType::Muck},
    {"Pocket [", Kind::Pocket, ActionType::Dealt},
    {"sitout", Kind::Plain, ActionType::Sitout},
    {"is sitting out", Kind::Plain, ActionType::Sitout},
};

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets{};
    bool first_street = true;  // stud: the cards of the first "Pocket" lines
    bool seventh = false;      // stud: the last card is dealt face down
    // Stud: the cards each player has been dealt so far.
    std::array<std::uint8_t, kNoSlot> held{};

    std::uint8_t player(string_view line, size_t end) const {
        const std::uint8_t id = p.find_player(cut_name(line, 0, end));
        if (id >= p.player_count()) fault_missing("seated player", line);
        return id;
    }

    // "Pocket [H H Js 10d]": the cards beyond those the player held, face up but the last
    // street's; the first street deals two down and one up.
    void pocket(std::uint8_t id, string_view line, size_t open) {
        const size_t close = find_byte(line, ']', open);
        if (close == npos) fault_missing("']'", line);
        CardSet down, up;
        std::uint8_t n = 0;
        const string_view cards = slice(line, open, close);
        size_t i = 0;
        while (i < cards.size()) {
            size_t sp = find_byte(cards, ' ', i);
            if (sp == npos) sp = cards.size();
            const string_view piece = slice(cards, i, sp);
            i = sp + 1;
            if (piece.empty()) continue;
            if (n++ < held[id & (kNoSlot - 1)] || piece == "H") continue;
            const bool face_down = seventh || (first_street && n <= 2);
            (face_down ? down : up).push(card_from_text(piece));
        }
        held[id & (kNoSlot - 1)] = std::max(held[id & (kNoSlot - 1)], n);
        if (down.count > 0) {
            b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(down)));
            if (first_street) b.dealt_cards_to(id);
        }
        if (up.count > 0)
            b.push(Action::make(ActionType::DealtUp, id, p.store().push_card_set(up)));
    }

    // One line of a round (or before the deal); false when no kind takes it.
    bool line(string_view line) {
        static constexpr string_view kCollects = " Collects ";
        if (const size_t at = find_str(line, kCollects); at != npos) {
            const string_view from = rest(line, at + kCollects.size());
            if (find_str(from, " proposition pot") != npos) return true;
            const float a = first_grouped_number_at(from, line);
            const std::uint8_t id = player(line, at);
            const ActionType type = find_str(from, "side pot") != npos ? ActionType::CollectSidePot1
                                                                       : ActionType::CollectMainPot;
            b.push_collection(Action::with_amount(type, id, a));
            return true;
        }
        const size_t dash = find_str(line, kDash);
        if (dash == npos || dash == 0) return false;
        const string_view what = rest(line, dash + kDash.size());
        const Verb* verb = nullptr;
        for (const Verb& v : kVerbs)
            if (starts(what, v.verb)) {
                verb = &v;
                break;
            }
        if (verb == nullptr) return false;
        const std::uint8_t id = player(line, dash);
        const string_view after = rest(what, verb->verb.size());
        // "Raises $0.20 to $0.30": the chips that make the player's total "to".
        const auto added_to = [&](float written) {
            const size_t to = find_str(after, " to ");
            if (to == npos) return written;
            return sum_hundredths(first_grouped_number_at(rest(after, to + 4), line), -bets.in(id));
        };
        switch (verb->kind) {
            case Kind::Plain:
                b.push(Action::make(verb->type, id,
                                    verb->type == ActionType::Fold || verb->type == ActionType::Muck
                                        ? kNoCards
                                        : kNoPayload));
                break;
            case Kind::Post: {
                const float a = first_grouped_number_at(after, line);
                if (verb->type != ActionType::Ante && verb->type != ActionType::DeadBlind)
                    bets.add(id, a);
                b.push(Action::with_amount(verb->type, id, a));
                break;
            }
            case Kind::Wager: {
                const float a = first_grouped_number_at(after, line);
                bets.add(id, a);
                b.push(Action::with_amount(verb->type, id, a));
                break;
            }
            case Kind::Raise: {
                const float a = added_to(first_grouped_number_at(after, line));
                bets.add(id, a);
                b.push(Action::with_amount(ActionType::Raise, id, a));
                break;
            }
            case Kind::AllIn: {
                // No amount: the player's time ran out, and nothing more went in.
                const auto written = first_grouped_amount(after);
                const float a = written ? added_to(*written) : 0.0f;
                const ActionType type =
                    starts(after, "(Raise)") ? ActionType::RaiseAllIn : bets.all_in(id, a);
                bets.add(id, a);
                b.push(Action::with_amount(type, id, a));
                break;
            }
            case Kind::Returned: {
                const float a = first_grouped_number_at(after, line);
                bets.add(id, -a);
                b.push(Action::with_amount(ActionType::UncalledBetReturned, id, a));
                break;
            }
            case Kind::Shows: {
                const BracketedCards c = bracketed_cards(what);
                if (c.close == 0) fault_missing("']'", line);
                b.push(p.make_card_action(cut_name(line, 0, dash), verb->type, c.cards));
                break;
            }
            case Kind::Pocket: pocket(id, what, verb->verb.size()); break;
        }
        return true;
    }
};

// The streets after the preflop, for read_streets: a flop game's street lines carry the board;
// stud's name the street.
struct Streets {
    Reader& r;
    GameType game;
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY ***"); }
    std::optional<StreetLine> street_line(Parser& p) const {
        r.bets.clear();
        if (is_stud(game)) {
            struct Row {
                string_view line;
                StreetKind kind;
            };
            static constexpr Row kRows[] = {
                {"*** 4TH STREET ***", StreetKind::Flop},
                {"*** 5TH STREET ***", StreetKind::Turn},
                {"*** 6TH STREET ***", StreetKind::River},
                {"*** RIVER ***", StreetKind::Seventh},
            };
            r.first_street = false;
            for (const Row& row : kRows)
                if (starts_nocase(p.line(), row.line)) {
                    r.seventh = row.kind == StreetKind::Seventh;
                    p.next_line();
                    return StreetLine{row.kind, CardSet::empty()};
                }
        }
        return parse_street_line(p);
    }
    static bool round_ends(string_view line) noexcept { return is_stars_line(line); }
    bool round_line(HandBuilder&, string_view line) const { return r.line(line); }
};

// "Total Pot($0.43) | Rake ($0.04)", "Total Pot(5,480:3,750,1,730)" (the main pot and the side
// pots after the total), "| Jackpot Rake ($0.50)": every fee is rake, the jackpot's part of it
// named.
PotInfo pot_line(string_view line) {
    PotInfo pots;
    static constexpr string_view kTotal = "Total Pot(";
    const size_t close = find_byte(line, ')');
    const string_view inside = slice(line, kTotal.size(), close == npos ? line.size() : close);
    pots.total = pots.main = first_grouped_number_at(inside, line);
    if (const size_t colon = find_byte(inside, ':'); colon != npos) {
        float* const parts[] = {&pots.main, &pots.side_1, &pots.side_2, &pots.side_3};
        size_t at = colon + 1;
        for (float* part : parts) {
            const size_t sign = byte_or_0(inside, at) == '$';
            const auto r = read_grouped_decimal(rest(inside, at + sign));
            if (!r) break;
            *part = r->value;
            at += sign + r->len + 1;  // past the ',' that parts them
        }
    }
    static constexpr string_view kRake = "| Rake (", kJackpot = "| Jackpot Rake (";
    if (const size_t at = find_str(line, kRake); at != npos)
        pots.rake = first_grouped_number_at(rest(line, at + kRake.size()), line);
    if (const size_t at = find_str(line, kJackpot); at != npos) {
        pots.jackpot = first_grouped_number_at(rest(line, at + kJackpot.size()), line);
        pots.rake = sum_hundredths(pots.rake, pots.jackpot);
    }
    return pots;
}

// A seat's name without the notes after it (" (dealer)", " (big blind)").
string_view without_seat_notes(string_view name) {
    while (ends(name, ")"))
        if (const size_t open = rfind_str(name, " ("); open != npos)
            name = name.substr(0, open);
        else
            break;
    return name;
}

// "Seat 3: PLAYER3 won Total ($0.19) HI:with One pair, aces [...] LO:($0.19) [...]": the summary
// names the halves that the rounds' "Collects" lines did not. A player who won one half has
// collected it; one who won both names each by its amount (when they differ: a collection of the
// whole pot, or of two equal halves, keeps no half).
void name_halves(HandBuilder& b, string_view line, size_t colon) {
    static constexpr string_view kTotal = " Total (";
    if (!is_hi_lo(b.header().game_type)) return;
    const size_t total = find_str(line, kTotal);
    if (total == npos || total <= colon + 2) return;
    const string_view before = slice(line, colon + 2, total);
    const size_t verb = before.rfind(' ');
    if (verb == string_view::npos) return;
    const std::uint8_t id =
        b.parser().find_player(cut_name(line, without_seat_notes(before.substr(0, verb))));
    if (id >= b.parser().player_count()) return;
    const auto half_amount = [&](string_view mark) -> std::optional<float> {
        const size_t at = find_str(line, mark, total);
        if (at == npos) return std::nullopt;
        return first_grouped_amount(rest(line, at + mark.size()));
    };
    const auto high = half_amount(" HI:("), low = half_amount(" LO:(");
    if (high && low) {
        if (*high == *low) return;
        b.label_collections(id, PotHalf::High, *high);
        b.label_collections(id, PotHalf::Low, *low);
    } else if (high || low) {
        b.label_collections(id, high ? PotHalf::High : PotHalf::Low);
    }
}

HandOutcome read_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Absolute;
    if (const string_view reason = hand_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    if (starts(p.line(), "Table: ")) {
        table_line(h, p.store(), p.line());
        p.next_line();
    }
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    Reader r{b, p};
    const string_view pre_deal = read_round(p, is_stars_line, [&](string_view line) {
        // A big blind all in for less: "Player1 - All-In $191.27" before the cards.
        const size_t dash = find_str(line, kDash);
        if (dash != npos && starts(rest(line, dash + kDash.size()), "All-In ")) {
            const float a = first_grouped_number_at(rest(line, dash + kDash.size()), line);
            const std::uint8_t id = r.player(line, dash);
            r.bets.add(id, a);
            b.push(Action::with_amount(ActionType::BigBlind, id, a));
            return string_view();
        }
        return r.line(line) ? string_view() : kUnrecognisedPreDeal;
    });
    if (!pre_deal.empty()) return reject(pre_deal);
    b.close_pre_deal();
    if (h.is_tournament()) h.ante = largest_ante(p.store(), h.actions);
    for (const Action& a : p.store().resolve(p.store().actions, h.actions))
        if (a.type() == ActionType::SmallBlind) h.small_blind = a.amount();
    p.next_line();  // "*** POCKET CARDS ***", stud's "*** 3rd STREET ***"
    const string_view preflop = read_round(p, is_stars_line, [&](string_view line) {
        if (starts(line, "Dealt to ")) {
            const auto a = dealt_line(b, line);
            if (!a) return kDealtCutOff;
            b.push(*a);
            return string_view();
        }
        return r.line(line) ? string_view() : kUnrecognisedAction;
    });
    if (!preflop.empty()) return reject(preflop);
    b.close_preflop();
    if (const string_view reason = read_streets(b, Streets{r, h.game_type}); !reason.empty())
        return reject(reason);
    p.next_line();  // "*** SUMMARY ***"
    PotInfo pots;
    if (starts(p.line(), "Total Pot(")) {
        pots = pot_line(p.line());
        p.next_line();
    }
    if (starts(p.line(), "Board [")) p.next_line();
    // "Seat 3: Player4 HI: [Mucked] [Kd 6c]": the cards of a hand mucked; the other seat lines
    // repeat what the rounds wrote.
    const string_view summary = read_summary_seats(p, [&](string_view line) {
        static constexpr string_view kMucked = " [Mucked] [";
        const size_t colon = find_byte(line, ':');
        if (!starts(line, "Seat ") || colon == npos) return SeatResult::Reject;
        if (const size_t at = find_str(line, kMucked); at != npos) {
            // The name, without " HI:" and the notes of its seat (" (dealer)", " (big blind)").
            string_view name = slice(line, colon + 2, at);
            if (ends(name, " HI:")) name.remove_suffix(4);
            name = without_seat_notes(name);
            const BracketedCards c = bracketed_cards(rest(line, at + kMucked.size() - 1));
            if (c.close == 0) return SeatResult::Reject;
            b.push(p.make_card_action(cut_name(line, name), ActionType::Muck, c.cards));
            return SeatResult::Action;
        }
        name_halves(b, line, colon);
        return SeatResult::Skip;
    });
    if (!summary.empty()) return reject(summary);
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, "Stage #", errors, rejected, read_hand);
}

}  // namespace hs::absolute
