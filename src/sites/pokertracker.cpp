// Histories in the layout PokerTracker writes for the Merge network's hands:
//
//   MERGE_GAME #3047310402797: Texas Hold'em NL $0.50/$1 01/01/2011 12:01:23
//   Table Bad Beat - Rue St Catherine (30473104)
//   Seat 9: Player2 ($116.13 in chips) DEALER
//   Player0: Post SB $0.50
//   *** HOLE CARDS ***
//   Dealt to Player10 [Ks 8s]
//   Player8: Call $1.00 / Raise $4.50 / Allin $36.49 / Bet $1.50 / Check / Fold
//   *** FLOP *** [Qc Ts Ah]
//   *** SUMMARY ***
//   Player2: Shows [6s 2h]
//   Player8: wins $18.90
//
// A raise writes the player's total in the round, a call and an all-in the chips added: the
// reader stores the chips each adds. No bet is returned: what nobody called is part of its
// bettor's "wins". The summary writes no pot and no rake: the pot is the chips put in, and the
// rake what the winners do not take of it. Tournament tables write their chips with a '$'.
#include "sites/pokertracker.hpp"

#include <optional>
#include <string_view>

#include "core/chars.hpp"
#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "reader/bets.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/local_amounts.hpp"
#include "reader/numbers.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"

namespace hs::pokertracker {
namespace {

using std::size_t;
using std::string_view;

// "Texas Hold'em NL", "Holdem NL", "Omaha PL", "Omaha Hi/Lo PL": the game's words and limit.
void read_game_words(Header& h, string_view words, string_view line) {
    if (find_str(words, "Hold") != npos) {
        h.game_type = GameType::HoldEm;
    } else if (find_str(words, "Omaha") != npos) {
        h.game_type = find_str(words, "Hi/Lo") != npos || find_str(words, "H/L") != npos
                          ? GameType::OmahaHiLo
                          : GameType::Omaha;
    } else {
        fault_game(line, static_cast<size_t>(words.data() - line.data()));
    }
    if (find_str(words, " PL") != npos) {
        h.bet_type = BetType::PotLimit;
    } else if (find_str(words, " FL") != npos || ends(words, " L")) {
        h.bet_type = BetType::Limit;
    } else {
        h.bet_type = BetType::NoLimit;
    }
}

// "01/01/2011 12:01:23": month, day, year and the time; the zone is not written.
std::optional<PackedDate> month_first_date(string_view date) {
    unsigned parts[6] = {};
    size_t at = 0;
    for (unsigned& part : parts) {
        const auto n = read_integer(rest(date, at));
        if (!n) return std::nullopt;
        part = static_cast<unsigned>(n->value);
        at += n->len + 1;
    }
    return pack_date(parts[2], parts[0], parts[1], parts[3], parts[4], parts[5]);
}

// "MERGE_GAME #3047310402797: Texas Hold'em NL $0.50/$1 01/01/2011 12:01:23", "MERGE_GAME
// #4290961700035: Holdem NL Tournament 11/02/2011 21:16:13".
void hand_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    const size_t hash = find_byte(line, '#');
    const size_t colon = hash == npos ? npos : find_byte(line, ':', hash);
    if (colon == npos) fault_line(kHandLineWithoutId, line);
    h.id = b.store().push_text(cut_text(line, hash + 1, colon));
    // The date: the last two words.
    const size_t time = rfind_byte(line, ' ');
    const size_t date = time == npos || time == 0 ? npos : rfind_byte(line.substr(0, time), ' ');
    if (date == npos || date <= colon) fault_missing("date", line);
    const auto packed = month_first_date(rest(line, date + 1));
    if (!packed) fault_missing("date", line);
    h.start_date = *packed;
    h.start_utc = utc_start(h.start_date, TimeZone{});
    string_view words = slice(line, colon + 2, date);
    static constexpr string_view kTournament = " Tournament";
    if (ends(words, kTournament)) {
        words.remove_suffix(kTournament.size());
        Tournament t;
        t.id = h.id;
        b.push_tournament(t);
    } else {
        // The stakes: the last word of the game's words, "$0.50/$1".
        const size_t space = rfind_byte(words, ' ');
        if (space == npos) fault_missing("stakes", line);
        const string_view stakes = words.substr(space + 1);
        if (const auto sign = currency_symbol(stakes)) h.currency = sign->sign;
        const size_t slash = find_byte(stakes, '/');
        if (slash == npos) fault_missing("stakes", line);
        h.small_blind = local_amount_at(stakes.substr(0, slash), line);
        h.big_blind = local_amount_at(stakes.substr(slash + 1), line);
        words = words.substr(0, space);
    }
    read_game_words(h, words, line);
}

// "Table Bad Beat - Rue St Catherine (30473104)", "Table Kentucky (53094604), Seats 2", "Table
// $2 Bounty Turbo, 42862423 (Tournament: $2 Bounty Turbo, 42862423 Buy-In: $2+$0.20)".
void table_line(HandBuilder& b, string_view line) {
    static constexpr string_view kTable = "Table ";
    Header& h = b.header();
    string_view name = rest(line, kTable.size());
    if (const size_t open = find_str(name, " ("); open != npos) name = name.substr(0, open);
    h.table_name = b.store().push_text(cut_text(name, 0, name.size()));
    static constexpr string_view kSeats = ", Seats ";
    if (const size_t seats = find_str(line, kSeats); seats != npos)
        if (const auto n = read_integer(rest(line, seats + kSeats.size())))
            h.max_players = static_cast<std::uint8_t>(n->value);
    static constexpr string_view kBuyIn = " Buy-In: ";
    if (const size_t buy_in = find_str(line, kBuyIn); buy_in != npos && h.is_tournament()) {
        Tournament& t = b.tournament();
        const string_view parts = rest(line, buy_in + kBuyIn.size());
        if (const auto sign = currency_symbol(parts)) t.currency = sign->sign;
        const auto first = local_amount(parts);
        const size_t plus = find_byte(parts, '+');
        if (first && plus != npos) {
            t.buy_in = first->value;
            t.fee = local_amount_at(parts.substr(plus + 1), line);
            t.buy_in_kind = t.currency != 0 ? BuyInKind::Money : BuyInKind::Unknown;
        }
    }
}

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets{};
    float put_in = 0.0f;  // every chip put in, posts and antes too
    float won = 0.0f;

    std::uint8_t player_before(string_view line, size_t colon) const {
        return p.find_player(cut_name(line, 0, colon));
    }

    // "Player0: Post SB $0.50", "Post BB", "Post Ante", "Post DB" (a dead blind).
    std::optional<Action> post(string_view line) {
        static constexpr string_view kPost = ": Post ";
        const size_t at = find_str(line, kPost);
        if (at == npos) return std::nullopt;
        const string_view kind = rest(line, at + kPost.size());
        ActionType type;
        if (starts(kind, "SB ")) {
            type = ActionType::SmallBlind;
        } else if (starts(kind, "BB ")) {
            type = ActionType::BigBlind;
        } else if (starts(kind, "Ante ")) {
            type = ActionType::Ante;
        } else if (starts(kind, "DB ")) {
            type = ActionType::DeadBlind;
        } else {
            return std::nullopt;
        }
        const std::uint8_t id = player_before(line, at);
        const float amount = local_amount_at(kind, line);
        if (type == ActionType::SmallBlind || type == ActionType::BigBlind) bets.add(id, amount);
        put_in = sum_hundredths(put_in, amount);
        return Action::with_amount(type, id, amount);
    }

    // One line of a betting round; false when it is none of the round's lines.
    bool round_line(string_view line) {
        static constexpr ActionEnding kEndings[] = {
            {Ending(": Fold"), ActionType::Fold},
            {Ending(": Check"), ActionType::Check},
        };
        if (const ActionEnding* e = ending_row(line, kEndings)) {
            b.push(Action::make(e->type, p.find_player(e->ending.name(line)), kNoCards));
            return true;
        }
        struct Row {
            string_view verb;
            ActionType type;
            bool total;  // the amount is the player's total in the round
        };
        static constexpr Row kRows[] = {
            {": Call ", ActionType::Call, false},
            {": Bet ", ActionType::Bet, false},
            {": Raise ", ActionType::Raise, true},
            {": Allin ", ActionType::BetAllIn, false},
        };
        for (const Row& r : kRows) {
            const size_t at = find_str(line, r.verb);
            if (at == npos) continue;
            const std::uint8_t id = player_before(line, at);
            const float amount = local_amount_at(rest(line, at + r.verb.size()), line);
            const float added = r.total ? sum_hundredths(amount, -bets.in(id)) : amount;
            const ActionType type =
                r.type == ActionType::BetAllIn ? bets.all_in(id, added) : r.type;
            bets.add(id, added);
            put_in = sum_hundredths(put_in, added);
            b.push(Action::with_amount(type, id, added));
            return true;
        }
        if (starts(line, "Dealt to ")) {
            const auto a = dealt_line(b, line);
            if (a) b.push(*a);
            return a.has_value();
        }
        return false;
    }

    // The summary: "Player2: Shows [6s 2h]", "Player8: wins $18.90".
    SeatResult summary_line(string_view line) {
        static constexpr string_view kShows = ": Shows [", kWins = ": wins ";
        if (const size_t at = find_str(line, kShows); at != npos) {
            const BracketedCards cards = bracketed_cards(rest(line, at));
            b.push(p.make_card_action(cut_name(line, 0, at), ActionType::Show, cards.cards));
            return SeatResult::Action;
        }
        if (const size_t at = find_str(line, kWins); at != npos) {
            const float amount = local_amount_at(rest(line, at + kWins.size()), line);
            const Action a =
                p.make_action(cut_name(line, 0, at), ActionType::CollectMainPot, amount);
            b.push(a);
            p.store().winners.push_back(Winner{a.player_id(), amount, 0});
            won = sum_hundredths(won, amount);
            return SeatResult::Action;
        }
        return SeatResult::Reject;
    }
};

struct Streets {
    Reader& r;
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY"); }
    std::optional<StreetLine> street_line(Parser& p) const {
        r.bets.clear();
        return parse_street_line(p);
    }
    static bool round_ends(string_view line) noexcept { return is_stars_line(line); }
    bool round_line(HandBuilder&, string_view line) const { return r.round_line(line); }
};

HandOutcome read_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::PokerTracker;
    hand_line(b, p.line());
    p.next_line();
    if (!starts(p.line(), "Table ")) return reject("hand without a table line");
    table_line(b, p.line());
    p.next_line();
    // "Seat 1: Player0 ($127.26 in chips)", "... DEALER"
    while (starts(p.line(), "Seat ")) {
        const string_view line = p.line();
        const auto seat = read_seat_line(line);
        if (!seat) return reject("seat line without chips");
        const auto number = read_integer(line.substr(seat->seat_start));
        if (!number) fault_missing("seat number", line);
        const float chips = local_amount_at(rest(line, seat->after_paren), line);
        b.seat_player(cut_name(line, seat->name), static_cast<std::uint8_t>(number->value), chips);
        if (ends(line, " DEALER")) h.button_seat = static_cast<std::uint8_t>(number->value);
        p.next_line();
    }
    Reader r{b, p};
    r.bets.clear();
    while (!is_stars_line(p.line())) {
        const auto a = r.post(p.line());
        if (!a) return reject(kUnrecognisedPreDeal);
        b.push(*a);
        p.next_line();
    }
    b.close_pre_deal();
    if (h.is_tournament()) {
        // A tournament's hand line writes no stakes: the blinds posted give them.
        h.ante = largest_ante(p.store(), h.actions);
        for (const Action& a : p.store().resolve(p.store().actions, h.actions)) {
            if (a.type() == ActionType::SmallBlind && h.small_blind == 0.0f)
                h.small_blind = a.amount();
            if (a.type() == ActionType::BigBlind && h.big_blind == 0.0f) h.big_blind = a.amount();
        }
    }
    if (!starts(p.line(), "*** HOLE")) return reject("hand without hole cards");
    p.next_line();
    const string_view preflop = read_round(p, is_stars_line, [&](string_view line) {
        return r.round_line(line) ? string_view() : kUnrecognisedAction;
    });
    if (!preflop.empty()) return reject(preflop);
    b.close_preflop();
    if (const string_view reason = read_streets(b, Streets{r}); !reason.empty())
        return reject(reason);
    p.next_line();
    const string_view reason =
        read_summary_seats(p, [&](string_view line) { return r.summary_line(line); });
    if (!reason.empty()) return reject(reason);
    PotInfo pots;
    pots.total = r.put_in;
    pots.main = pots.total;
    pots.rake = r.won < r.put_in ? sum_hundredths(r.put_in, -r.won) : 0.0f;
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, "MERGE_GAME ", errors, rejected, read_hand);
}

}  // namespace hs::pokertracker
