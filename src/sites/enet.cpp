// Enet hand histories ("Game #7732419: Omaha (€0,25/€0,50) - 23:32:44 29.7.2012 - %6").
//
// The layout is close to PokerStars' in its table, seat, street and summary lines, and differs
// in what the amounts mean: every amount is written with a comma for the decimal mark ("€0,25"),
// a raise and an all-in write the chips the player adds ("raises €2,75", "goes all-in €5,75"),
// a blind posted dead writes no amount ("posts big blind"), the street lines write the whole
// board ("*** TURN *** [Td4h7d2d]"), and the rounds hold the site's "Rake: €0,52" notes. The
// table's name carries the limit ("Romania 1 - Pot Limit").
#include "sites/enet.hpp"

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

namespace hs::enet {
namespace {

using std::size_t;
using std::string_view;

// "Td4h7d", "5cJc5hJs": the cards of a bracket, two bytes each and nothing between them.
CardSet compact_cards(string_view text, string_view line) {
    static constexpr string_view kRanks = "23456789TJQKA", kSuits = "shdc";
    if (text.size() % 2 != 0) fault_missing("card", line);
    CardSet set;
    for (size_t i = 0; i < text.size(); i += 2) {
        if (kRanks.find(text[i]) == npos || kSuits.find(text[i + 1]) == npos)
            fault_missing("card", line);
        set.push(card_from_text(text.substr(i, 2)));
    }
    return set;
}

// The cards between the first '[' at or after `from` and the ']' after it.
CardSet bracket_at(string_view line, size_t from) {
    const size_t open = find_byte(line, '[', from);
    const size_t close = open == npos ? npos : find_byte(line, ']', open);
    if (close == npos) fault_missing("cards", line);
    return compact_cards(slice(line, open + 1, close), line);
}

// A number of the date, ended by any byte that is no digit.
unsigned date_part(string_view text, size_t& at, string_view line) {
    const auto n = read_integer(rest(text, at));
    if (!n) fault_missing("date", line);
    at += n->len + 1;
    return static_cast<unsigned>(n->value);
}

// "Game #7732419: Omaha (€0,25/€0,50) - 23:32:44 29.7.2012 - %6"
void hand_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    const size_t hash = find_byte(line, '#');
    const size_t colon = hash == npos ? npos : find_byte(line, ':', hash);
    if (colon == npos) fault_line(kHandLineWithoutId, line);
    h.id = b.store().push_text(cut_text(line, hash + 1, colon));
    const size_t open = find_byte(line, '(', colon);
    const size_t close = open == npos ? npos : find_byte(line, ')', open);
    if (close == npos) fault_missing("stakes", line);
    // The game's words; the limit is the table's.
    const string_view game = slice(line, colon + 2, open > colon + 2 ? open - 1 : colon + 2);
    if (game == "Hold'em" || game == "Holdem") {
        h.game_type = GameType::HoldEm;
        h.bet_type = BetType::NoLimit;
    } else if (game == "Omaha") {
        h.game_type = GameType::Omaha;
        h.bet_type = BetType::PotLimit;
    } else if (starts(game, "Omaha H")) {  // "Omaha Hi/Lo", "Omaha H/L"
        h.game_type = GameType::OmahaHiLo;
        h.bet_type = BetType::PotLimit;
    } else {
        fault_game(line, colon + 2);
    }
    // Stakes: "€0,25/€0,50", or without a sign for play money.
    string_view stakes = slice(line, open + 1, close);
    if (const auto sign = currency_symbol(stakes)) h.currency = sign->sign;
    const auto sb = local_amount(stakes);
    const size_t slash = find_byte(stakes, '/');
    if (!sb || slash == npos) fault_missing("blinds", line);
    h.small_blind = sb->value;
    h.big_blind = local_amount_at(stakes.substr(slash + 1), line);
    // "23:32:44 29.7.2012": the time, then day, month and year; the zone is not written.
    const size_t dash = find_lit(line, " - ", close);
    if (dash == npos) fault_missing("date", line);
    const string_view date = rest(line, dash + 3);
    size_t at = 0;
    const unsigned hour = date_part(date, at, line), minute = date_part(date, at, line),
                   second = date_part(date, at, line), day = date_part(date, at, line),
                   month = date_part(date, at, line), year = date_part(date, at, line);
    h.start_date = pack_date(year, month, day, hour, minute, second);
    h.start_utc = utc_start(h.start_date, TimeZone{});
}

// The limit at the end of the table's name: "Parfigi 1 - No Limit", "Romania 1 - Pot Limit".
void limit_of_table(Header& h, string_view name) {
    if (ends(name, " - No Limit")) {
        h.bet_type = BetType::NoLimit;
    } else if (ends(name, " - Pot Limit")) {
        h.bet_type = BetType::PotLimit;
    } else if (ends(name, " Limit")) {  // " - Limit", " - Fixed Limit"
        h.bet_type = BetType::Limit;
    }
}

// "Seat 1: amazing_mck (€18 in chips)"
bool seat_line(HandBuilder& b, string_view line) {
    const auto seat = read_seat_line(line);
    if (!seat) return false;
    const auto number = read_integer(line.substr(seat->seat_start));
    if (!number) fault_missing("seat number", line);
    const float chips = local_amount_at(rest(line, seat->after_paren), line);
    b.seat_player(cut_name(line, seat->name), static_cast<std::uint8_t>(number->value), chips);
    return true;
}

// The name of a summary seat line, before `end`: after "Seat N: ", without the spaces and the
// position note ("(dealer)", "(small blind)") before the result.
string_view summary_name(string_view line, size_t end) {
    const size_t colon = find_byte(line, ':');
    if (colon == npos || end < colon + 2) fault_missing("player name", line);
    string_view name = slice(line, colon + 2, end);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (ends(name, " (dealer)")) name.remove_suffix(string_view(" (dealer)").size());
    name = strip_position_notes(name);
    return cut_name(line, name);
}

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets;

    Action wager(string_view line, size_t at, string_view verb, ActionType type) {
        const std::uint8_t id = p.find_player(cut_name(line, 0, at));
        const float amount = local_amount_at(rest(line, at + verb.size()), line);
        if (type == ActionType::BetAllIn) type = bets.all_in(id, amount);
        bets.add(id, amount);
        return Action::with_amount(type, id, amount);
    }

    // "X: posts small blind €0,05", "X: posts big blind" (dead: no amount written, the blind's).
    std::optional<Action> post(string_view line) {
        static constexpr string_view kPosts = ": posts ";
        const size_t at = find_str(line, kPosts);
        if (at == npos) return std::nullopt;
        const string_view kind = rest(line, at + kPosts.size());
        const Header& h = b.header();
        ActionType type;
        float blind;
        if (starts(kind, "small blind")) {
            type = ActionType::SmallBlind;
            blind = h.small_blind;
        } else if (starts(kind, "big blind")) {
            type = ActionType::BigBlind;
            blind = h.big_blind;
        } else if (starts(kind, "ante")) {
            type = ActionType::Ante;
            blind = 0.0f;
        } else {
            return std::nullopt;
        }
        const auto written = local_amount(kind);
        const float amount = written ? written->value : blind;
        const std::uint8_t id = p.find_player(cut_name(line, 0, at));
        if (type != ActionType::Ante) bets.add(id, amount);
        return Action::with_amount(type, id, amount);
    }

    // One line of a betting round; false when it is none of the round's lines.
    bool round_line(string_view line) {
        static constexpr ActionEnding kEndings[] = {
            {Ending(": folds"), ActionType::Fold},
            {Ending(": checks"), ActionType::Check},
            {Ending(": mucked"), ActionType::Muck},
            {Ending(": mucks"), ActionType::Muck},
        };
        if (const ActionEnding* e = ending_row(line, kEndings)) {
            b.push(Action::make(e->type, p.find_player(e->ending.name(line)), kNoCards));
            return true;
        }
        static constexpr Wager kWagers[] = {
            {": bets ", ActionType::Bet, ActionType::BetAllIn},
            {": calls ", ActionType::Call, ActionType::CallAllIn},
            {": raises ", ActionType::Raise, ActionType::RaiseAllIn},
            {": goes all-in ", ActionType::BetAllIn, ActionType::BetAllIn},
        };
        for (const Wager& w : kWagers) {
            if (const size_t at = find_str(line, w.verb); at != npos) {
                b.push(wager(line, at, w.verb, w.plain));
                return true;
            }
        }
        // "X: shows [5cJc5hJs] (A Pair, Jacks)"
        if (const size_t at = find_str(line, ": shows ["); at != npos) {
            b.push(
                p.make_card_action(cut_name(line, 0, at), ActionType::Show, bracket_at(line, at)));
            return true;
        }
        // "Hero collected (€0,20) from pot", "Player2: collected (€56,64) from pot"
        static constexpr string_view kCollected = " collected (";
        if (const size_t at = find_str(line, kCollected); at != npos) {
            const size_t name_end = at > 0 && line[at - 1] == ':' ? at - 1 : at;
            const float amount = local_amount_at(rest(line, at + kCollected.size()), line);
            b.push(p.make_action(cut_name(line, 0, name_end), ActionType::CollectMainPot, amount));
            return true;
        }
        // "Uncalled bet (€0,20) returned to Hero"
        static constexpr string_view kUncalled = "Uncalled bet (", kReturnedTo = " returned to ";
        if (starts(line, kUncalled)) {
            const size_t to = find_str(line, kReturnedTo);
            if (to == npos) fault_missing("'returned to'", line);
            const float amount = local_amount_at(rest(line, kUncalled.size()), line);
            b.push(p.make_action(cut_name(line, to + kReturnedTo.size(), line.size()),
                                 ActionType::UncalledBetReturned, amount));
            return true;
        }
        if (starts(line, "Dealt to ")) {
            const auto a = dealt_line(b, line);
            if (a) b.push(*a);
            return a.has_value();
        }
        // The site's notes of its rake as the round goes ("Rake: €0,52", "Rake: €-0,27"): the
        // summary's rake is the hand's.
        return starts(line, "Rake: ");
    }
};

// A summary seat line: a fold, a hand shown (and what it won), or a collection.
SeatResult summary_line(Reader& r, string_view line) {
    if (!starts(line, "Seat ")) return SeatResult::Reject;
    Parser& p = r.p;
    static constexpr string_view kShowed = " showed [", kWon = " won (",
                                 kCollected = " collected (";
    if (ends(line, " folded")) {
        const size_t end = line.size() - string_view(" folded").size();
        r.b.push(Action::make(ActionType::Fold, p.find_player(summary_name(line, end)), kNoCards));
        return SeatResult::Action;
    }
    if (const size_t at = find_str(line, kShowed); at != npos) {
        const std::uint8_t id = p.find_player(summary_name(line, at));
        // "showed [] and lost with": nothing shown.
        if (byte_at(line, at + kShowed.size()) != ']')
            r.b.push(
                Action::make(ActionType::Show, id, p.store().push_card_set(bracket_at(line, at))));
        if (const size_t won = find_str(line, kWon, at); won != npos)
            p.store().winners.push_back(
                Winner{id, local_amount_at(rest(line, won + kWon.size()), line), 0});
        return SeatResult::Action;
    }
    if (const size_t at = find_str(line, kCollected); at != npos) {
        const float amount = local_amount_at(rest(line, at + kCollected.size()), line);
        const Action a = Action::with_amount(ActionType::CollectMainPot,
                                             p.find_player(summary_name(line, at)), amount);
        r.b.push(a);
        p.store().winners.push_back(Winner{a.player_id(), amount, 0});
        return SeatResult::Action;
    }
    return SeatResult::Skip;
}

// "Total pot €2,75 | Rake €1,39"
PotInfo pot_line(string_view line) {
    static constexpr string_view kTotal = "Total pot ", kRake = "| Rake ";
    if (!starts(line, kTotal)) fault_missing("total pot", line);
    PotInfo pots;
    pots.total = local_amount_at(line.substr(kTotal.size()), line);
    pots.main = pots.total;
    if (const size_t rake = find_str(line, kRake); rake != npos)
        pots.rake = local_amount_at(rest(line, rake + kRake.size()), line);
    return pots;
}

struct Streets {
    Reader& r;
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY"); }
    // "*** FLOP *** [Td4h7d]", "*** TURN *** [Td4h7d2d]": the board as a whole on each street
    // line, the turn's and the river's card its last.
    std::optional<StreetLine> street_line(Parser& p) const {
        const string_view line = p.line();
        const size_t open = find_byte(line, '[');
        std::optional<StreetLine> s;
        if (open == npos) {
            s = parse_street_line(p);  // "*** SHOWDOWN ***"
        } else {
            if (line.back() != ']') return std::nullopt;
            const CardSet board = compact_cards(slice(line, open + 1, line.size() - 1), line);
            s = parse_street_line(p);  // the kind
            if (s && s->kind != StreetKind::Flop && board.count > 0) {
                s->cards = CardSet::empty();
                s->cards.push(board.cards[board.count - 1]);
            } else if (s) {
                s->cards = board;
            }
        }
        r.bets.clear();
        return s;
    }
    static bool round_ends(string_view line) noexcept { return is_stars_line(line); }
    bool round_line(HandBuilder&, string_view line) const { return r.round_line(line); }
};

HandOutcome read_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Enet;
    hand_line(b, p.line());
    p.next_line();
    if (!read_table_line(p, h)) return reject("table line without a table name");
    limit_of_table(h, p.store().text_of(h.table_name));
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    Reader r{b, p, {}};
    r.bets.clear();
    while (!is_stars_line(p.line())) {
        const auto a = r.post(p.line());
        if (!a) return reject(kUnrecognisedPreDeal);
        b.push(*a);
        p.next_line();
    }
    b.close_pre_deal();
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
    const PotInfo pots = pot_line(p.line());
    p.next_line();
    if (starts(p.line(), "Board [")) p.next_line();
    const string_view reason =
        read_summary_seats(p, [&](string_view line) { return summary_line(r, line); });
    if (!reason.empty()) return reject(reason);
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, "Game #", errors, rejected, read_hand);
}

}  // namespace hs::enet
