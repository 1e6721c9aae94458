// Cake Poker hand histories:
//
//   Hand#2998011673000397 - Innsbruck (6-max) 11673 -- $5/$10 FL Hold'em -- 2012-06-20 - 23:10:52
//   Hand#2930A7507F000252 - $2,500 Guaranteed - R&A T10965119 -- CASH -- $15 + $1.5 -- 10 Max --
//   Table 5 -- 0/75/150 NL Hold'em -- 2012/04/12 - 22:32:06
//
// The hand line's parts are parted by " -- ": the table (a tournament's name ending in its number
// "T10965119"), a tournament's buy-in and size and table, the stakes with the game (a tournament's
// ante first: "0/75/150"), and the date. Then "Dealer: Seat 9" (or "DEALER" after the button's seat
// line), seat lines ("Seat 3: Bob ($250,50 in chips)", with the amount in the table's currency
// after it: "(EUR €17,29)"), and rounds of "<name>: <verb> <amount>" lines between street lines
// whose cards are parted by commas ("*** FLOP *** [Jd,7d,Ts]", "***SHOW DOWN***"); each win is
// "<name> wins $76 with Flush, Ace high". The hand ends at an empty line.
//
// Amounts: the clients write decimals after a point or a comma ("$2,50"), and a tournament's chips
// group their thousands with a comma or a space ("2,375", "1 836"): a comma followed by three
// digits groups, any other is the decimal point. A raise writes its total ("raises to $1.50"), read
// as the chips added; an all-in the chips added ("is all in 2,375"). No pot or rake is written: the
// pot is the chips put in less those returned ("returns uncalled bet $10"), the rake what the wins
// leave of it.
#include "sites/cake.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

#include "core/chars.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/bets.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/numbers.hpp"
#include "reader/phrases.hpp"
#include "reader/shared_lines.hpp"

namespace hs::cake {
namespace {

using std::size_t;
using std::string_view;

bool digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The length of a space (or a no-break space) at `i` that parts thousands: three digits follow it
// and no fourth; 0 for none.
size_t group_space(string_view text, size_t i) noexcept {
    const size_t gap = text[i] == ' ' ? 1 : starts(rest(text, i), "\xC2\xA0") ? 2 : 0;
    const size_t d = i + gap;
    if (gap == 0 || d + 3 > text.size()) return 0;
    if (!digit(text[d]) || !digit(text[d + 1]) || !digit(text[d + 2])) return 0;
    return d + 3 == text.size() || !digit(text[d + 3]) ? gap : 0;
}

// The first amount of the text after its sign: "$2,50" is 2.5, "2,375" is 2375, "$1.50" 1.5.
std::optional<NumberRead> amount_in(string_view text) noexcept {
    size_t at = 0;
    // The sign, and a space after it, stand before the digits: at most four bytes.
    while (at < text.size() && at < 4 && !digit(text[at])) ++at;
    if (at == text.size() || !digit(text[at])) return std::nullopt;
    double value = 0, scale = 0;
    size_t i = at;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (digit(c)) {
            value = value * 10 + (c - '0');
            if (scale != 0) scale *= 10;
        } else if ((c == ',' || c == '.') && scale == 0 && i + 1 < text.size() &&
                   digit(text[i + 1])) {
            size_t run = i + 1;
            while (run < text.size() && digit(text[run])) ++run;
            if (c == ',' && run - i - 1 == 3) continue;  // thousands
            scale = 1;
        } else if (const size_t gap = group_space(text, i); gap != 0 && scale == 0) {
            i += gap - 1;  // thousands parted by a space or a no-break space ("1 836")
        } else {
            break;
        }
    }
    if (i - at > 24) return std::nullopt;
    return NumberRead{static_cast<float>(scale != 0 ? value / scale : value), i};
}

// ---------------------------------------------------------------------------------------------
// Hand line
// ---------------------------------------------------------------------------------------------

struct GameName {
    string_view name;
    GameType game;
};
// Longer names first where one begins another.
constexpr GameName kGames[] = {
    {"Hold'em", GameType::HoldEm},        {"Holdem", GameType::HoldEm},
    {"OmahaHiLo", GameType::OmahaHiLo},   {"Omaha Hi-Lo", GameType::OmahaHiLo},
    {"Omaha Hi/Lo", GameType::OmahaHiLo}, {"Omaha", GameType::Omaha},
};
struct LimitName {
    string_view name;
    BetType bet;
};
constexpr LimitName kLimits[] = {
    {"NL ", BetType::NoLimit}, {"PL ", BetType::PotLimit}, {"FL ", BetType::Limit}};

constexpr string_view kPart = " -- ";

// "0/75/150 NL Hold'em", "$5/$10 FL Hold'em", "€0,04/€0,08 PL Omaha"; an empty reason when read.
string_view stakes_part(Header& h, string_view part, string_view line) {
    // The stakes, then the limit and the game.
    const size_t blank = find_byte(part, ' ');
    if (blank == npos) return "hand line without a game";
    const string_view stakes = part.substr(0, blank);
    string_view game = rest(part, blank + 1);
    const LimitName* limit = nullptr;
    for (const LimitName& l : kLimits)
        if (starts(game, l.name)) limit = &l;
    if (limit == nullptr) return "a game other than Hold'em and Omaha";
    game = rest(game, limit->name.size());
    const GameName* known = nullptr;
    for (const GameName& g : kGames)
        if (game == g.name) {
            known = &g;
            break;
        }
    if (known == nullptr) return "a game other than Hold'em and Omaha";
    h.game_type = known->game;
    h.bet_type = limit->bet;
    // Two or three numbers parted by '/': the ante comes first where three are written.
    float numbers[3] = {};
    size_t count = 0, at = 0;
    while (count < 3) {
        const auto n = amount_in(rest(stakes, at));
        if (!n) break;
        numbers[count++] = n->value;
        const size_t slash = find_byte(stakes, '/', at);
        if (slash == npos) break;
        at = slash + 1;
    }
    if (count < 2) fault_missing("stakes", line);
    h.small_blind = numbers[count - 2];
    h.big_blind = numbers[count - 1];
    if (count == 3) h.ante = numbers[0];
    if (!h.is_tournament())
        if (const auto sign = currency_symbol(stakes)) h.currency = sign->sign;
    return {};
}

// The date part: "2012/04/12 - 22:32:06", "2012-07-01 - 01:26:16", "2011.03.13 - 12:00:01".
void date_part(Header& h, string_view part, string_view line) {
    std::uint64_t n[6] = {};
    size_t at = 0;
    for (auto& v : n) {
        while (at < part.size() && !digit(part[at])) ++at;
        const auto r = read_integer(rest(part, at));
        if (!r) fault_missing("date", line);
        v = r->value;
        at += r->len;
    }
    h.start_date = pack_date(n[0], n[1], n[2], n[3], n[4], n[5]);
    h.start_utc = h.start_date;  // the zone is not written
}

// The hand line; an empty reason when it was read.
string_view hand_line(HandBuilder& b, string_view line) {
    static constexpr string_view kHand = "Hand#", kTable = "Table ", kMax = " Max", kDash = " - ";
    Header& h = b.header();
    HandStore& store = b.store();
    const size_t hash = find_str(line, kHand);
    const size_t id_at = hash == npos ? npos : hash + kHand.size();
    const size_t id_end = id_at == npos ? npos : find_str(line, kDash, id_at);
    if (id_end == npos || id_end == id_at) return kHandLineWithoutId;
    h.id = store.push_text(cut_text(line, id_at, id_end));
    // The parts after the id; the last is the date, the one before it the stakes and game.
    string_view parts[8];
    size_t count = 0;
    for (size_t from = id_end + kDash.size(); count < 8;) {
        const size_t cut = find_str(line, kPart, from);
        parts[count++] = slice(line, from, cut == npos ? line.size() : cut);
        if (cut == npos) break;
        from = cut + kPart.size();
    }
    if (count < 3) fault_missing("date", line);
    string_view table = parts[0];
    for (size_t i = 1; i + 2 < count; ++i) {
        if (starts(parts[i], kTable) && !h.is_tournament()) {
            // A tournament's: its name ends in " T<number>".
            Tournament record;
            const size_t t = rfind_str(parts[0], " T");
            if (t != npos && t + 2 < parts[0].size() && digit(parts[0][t + 2]))
                record.id = store.push_text(cut_text(parts[0], t + 2, parts[0].size()));
            b.push_tournament(record);
            table = rest(parts[i], kTable.size());
        } else if (ends(parts[i], kMax)) {
            if (const auto max = read_integer(parts[i]); max && max->value < kNone8)
                h.max_players = static_cast<std::uint8_t>(max->value);
        }
    }
    if (!h.is_tournament()) {
        // "Innsbruck (6-max) 11673": the name, and the size in parentheses.
        if (const size_t open = find_str(table, " ("); open != npos) {
            const size_t dash = find_byte(table, '-', open);
            size_t from = dash == npos ? open : dash;
            while (from > open && digit(table[from - 1])) --from;
            if (dash != npos)
                if (const auto max = read_integer(slice(table, from, dash));
                    max && max->value < kNone8)
                    h.max_players = static_cast<std::uint8_t>(max->value);
            table = table.substr(0, open);
        }
    } else {
        // The buy-in and fee, "$15 + $1.5".
        Tournament& t = b.tournament();
        for (size_t i = 1; i + 2 < count; ++i)
            if (const size_t plus = find_str(parts[i], " + "); plus != npos) {
                const auto buy_in = amount_in(parts[i].substr(0, plus));
                const auto fee = amount_in(rest(parts[i], plus + 3));
                if (!buy_in || !fee) continue;
                t.buy_in = buy_in->value;
                t.fee = fee->value;
                t.buy_in_kind =
                    buy_in->value == 0 && fee->value == 0 ? BuyInKind::Freeroll : BuyInKind::Money;
                if (const auto sign = currency_symbol(parts[i])) t.currency = sign->sign;
            }
    }
    h.table_name =
        store.push_text(cut_text(line, static_cast<size_t>(table.data() - line.data()),
                                 static_cast<size_t>(table.data() - line.data()) + table.size()));
    if (const string_view reason = stakes_part(h, parts[count - 2], line); !reason.empty())
        return reason;
    date_part(h, parts[count - 1], line);
    return {};
}

// "Seat 3: Bob ($250,50 in chips)", "Seat 6: Ann ($62.65 in chips) DEALER", "Seat 1: Eve ($21,89
// in chips)  (EUR €17,29)".
bool seat_line(HandBuilder& b, string_view line) {
    static constexpr string_view kSeat = "Seat ", kInChips = " in chips)", kDealer = " DEALER";
    const size_t colon = find_byte(line, ':');
    const size_t in = find_str(line, kInChips);
    const size_t paren = in == npos ? npos : rfind_byte(line.substr(0, in), '(');
    if (colon == npos || paren == npos || paren < colon + 2) return false;
    const auto seat = read_integer(slice(line, kSeat.size(), colon));
    const auto chips = amount_in(slice(line, paren + 1, in));
    if (!seat || !chips) return false;
    size_t end = paren;
    while (end > colon + 2 && line[end - 1] == ' ') --end;
    const auto number = static_cast<std::uint8_t>(std::min<std::uint64_t>(seat->value, kNone8 - 1));
    b.seat_player(cut_name(line, colon + 2, end), number, chips->value);
    if (ends(line, kDealer)) b.header().button_seat = number;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Rounds
// ---------------------------------------------------------------------------------------------

enum class Kind : std::uint8_t {
    Post,      // a blind or an ante: `type`
    Wager,     // a bet or a call: `type`
    RaiseTo,   // "raises to $1.50": the total
    AllIn,     // "is all in 2,375": the chips added; a bet, a call or a raise, told by the round
    Plain,     // no amount: `type`
    Returned,  // "returns uncalled bet $10"
    Cards,     // "shows [8s 7s] (Flush, Ace high)", "mucks [ Td, Ac ] (Pair)": `type`
};
struct Verb {
    string_view phrase;
    Kind kind;
    ActionType type;
};
// What follows "<name>: ". Longer phrases first where one begins another.
constexpr Verb kVerbs[] = {
    {"folds", Kind::Plain, ActionType::Fold},
    {"checks", Kind::Plain, ActionType::Check},
    {"calls ", Kind::Wager, ActionType::Call},
    {"bets ", Kind::Wager, ActionType::Bet},
    {"raises to ", Kind::RaiseTo, ActionType::Raise},
    {"is all in ", Kind::AllIn, ActionType::RaiseAllIn},
    {"posts small blind ", Kind::Post, ActionType::SmallBlind},
    {"posts big blind ", Kind::Post, ActionType::BigBlind},
    {"posts dead blind ", Kind::Post, ActionType::DeadBlind},
    {"posts ante of ", Kind::Post, ActionType::Ante},
    {"returns uncalled bet ", Kind::Returned, ActionType::UncalledBetReturned},
    {"shows [", Kind::Cards, ActionType::Show},
    {"mucks [", Kind::Cards, ActionType::Muck},
    {"mucks", Kind::Plain, ActionType::Muck},
};
// Lines that carry nothing, in a hand or before the first ("Player left the table", "Bob rebuys
// 3000 chips", "Hero finished 9 out of 10 players.", "There is no low hand").
constexpr string_view kNoteEndings[] = {" left the table", " chips", " players.", " no low hand"};
bool note_line(string_view line) noexcept {
    for (const string_view ending : kNoteEndings)
        if (ends(line, ending)) return true;
    return false;
}

// The pot a win names before its amount, and the half of a split pot it names.
struct PotWord {
    string_view words;
    PotHalf half;
};
constexpr PotWord kPotWords[] = {{"high pot ", PotHalf::High},
                                 {"low pot ", PotHalf::Low},
                                 {"main pot ", PotHalf::Unspecified},
                                 {"side pot ", PotHalf::Unspecified}};

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets;
    float put_in = 0.0f;  // the chips put in, less those returned
    float won = 0.0f;     // the wins' sum

    std::uint8_t player(string_view line, size_t end) const {
        const std::uint8_t id = p.find_player(cut_name(line, 0, end));
        if (id >= p.player_count()) fault_missing("seated player", line);
        return id;
    }
    void put(std::uint8_t id, ActionType type, float a, bool live) {
        if (live) bets.add(id, a);
        put_in = sum_hundredths(put_in, a);
        b.push(Action::with_amount(type, id, a));
    }

    // One line of a round (or before the deal); false when no kind takes it.
    bool line(string_view line) {
        static constexpr string_view kDealt = "Dealt to ", kWins = " wins ";
        const size_t colon = find_str(line, ": ");
        if (colon != npos && colon > 0) {
            const string_view what = rest(line, colon + 2);
            for (const Verb& v : kVerbs) {
                if (!starts(what, v.phrase)) continue;
                const std::uint8_t id = player(line, colon);
                const string_view after = rest(what, v.phrase.size());
                switch (v.kind) {
                    case Kind::Post:
                        put(id, v.type, amount_at(after, line, amount_in),
                            v.type != ActionType::Ante && v.type != ActionType::DeadBlind);
                        break;
                    case Kind::Wager:
                        put(id, v.type, amount_at(after, line, amount_in), true);
                        break;
                    case Kind::RaiseTo:
                        put(id, v.type,
                            sum_hundredths(amount_at(after, line, amount_in), -bets.in(id)), true);
                        break;
                    case Kind::AllIn: {
                        const float a = amount_at(after, line, amount_in);
                        put(id, bets.all_in(id, a), a, true);
                        break;
                    }
                    case Kind::Plain:
                        b.push(Action::make(v.type, id,
                                            v.type == ActionType::Check ? kNoPayload : kNoCards));
                        break;
                    case Kind::Returned: {
                        const float a = amount_at(after, line, amount_in);
                        bets.add(id, -a);
                        put_in = sum_hundredths(put_in, -a);
                        b.push(Action::with_amount(v.type, id, a));
                        break;
                    }
                    case Kind::Cards:
                        b.push(Action::make(v.type, id,
                                            p.store().push_card_set(comma_cards(what, line))));
                        break;
                }
                return true;
            }
        }
        if (starts(line, kDealt)) {
            const size_t open = find_byte(line, '[');
            if (open == npos) fault_missing("'['", line);
            size_t end = open;
            while (end > kDealt.size() && line[end - 1] == ' ') --end;
            const std::uint8_t id = p.find_player(cut_name(line, kDealt.size(), end));
            if (id >= p.player_count()) fault_missing("seated player", line);
            b.push(Action::make(ActionType::Dealt, id,
                                p.store().push_card_set(comma_cards(rest(line, open), line))));
            b.dealt_cards_to(id);
            return true;
        }
        if (const size_t at = find_str(line, kWins); at != npos && at > 0) {
            const std::uint8_t id = player(line, at);
            // "wins $76 with ...", "wins high pot 327 with ...": the pot's words before the amount.
            string_view won_text = rest(line, at + kWins.size());
            PotHalf half = PotHalf::Unspecified;
            for (const PotWord& pot : kPotWords)
                if (starts(won_text, pot.words)) {
                    won_text.remove_prefix(pot.words.size());
                    half = pot.half;
                }
            const float a = amount_at(won_text, line, amount_in);
            b.push_collection(Action::with_amount(ActionType::CollectMainPot, id, a), 0, half);
            won = sum_hundredths(won, a);
            return true;
        }
        return note_line(line);
    }
};

// "*** FLOP *** [Jd,7d,Ts]", "*** TURN *** [Qh]", "***SHOW DOWN***": the street, nullopt for
// another line.
std::optional<StreetKind> street_of(string_view line) {
    struct StreetName {
        string_view name;
        StreetKind kind;
    };
    static constexpr StreetName kStreets[] = {{"*** FLOP ***", StreetKind::Flop},
                                              {"*** TURN ***", StreetKind::Turn},
                                              {"*** RIVER ***", StreetKind::River},
                                              {"***SHOW DOWN***", StreetKind::Showdown},
                                              {"*** SHOW DOWN ***", StreetKind::Showdown}};
    for (const StreetName& s : kStreets)
        if (starts(line, s.name)) return s.kind;
    return std::nullopt;
}

HandOutcome read_hand(HandBuilder& b) {
    static constexpr string_view kDealer = "Dealer: Seat ";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Cake;
    if (const string_view reason = hand_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    if (starts(p.line(), kDealer)) {
        const auto seat = read_integer(rest(p.line(), kDealer.size()));
        if (seat && seat->value < kNone8) h.button_seat = static_cast<std::uint8_t>(seat->value);
        p.next_line();
    }
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    Reader r{b, p, {}};
    r.bets.clear();
    // The posts, up to the first line of the preflop round (a dealt line, or an action).
    const auto is_post = [](string_view line) {
        const size_t colon = find_str(line, ": posts ");
        return colon != npos && colon > 0;
    };
    while (is_post(p.line())) {
        if (!r.line(p.line())) return reject(kUnrecognisedPreDeal);
        p.next_line();
    }
    b.close_pre_deal();
    std::optional<StreetKind> street;  // the street whose round is read; none for the preflop
    CardSet cards;
    bool showdown = false;
    const auto close_round = [&] {
        if (street)
            b.close_street(*street, cards);
        else
            b.close_preflop();
    };
    while (!p.line().empty() && !p.at_end()) {
        const string_view line = p.line();
        if (const auto next = street_of(line)) {
            // A second "***SHOW DOWN***" (one per pot) goes on with the first.
            if (!(showdown && next == StreetKind::Showdown)) {
                close_round();
                r.bets.clear();
                street = next;
                cards = *next == StreetKind::Showdown ? CardSet::empty() : comma_cards(line, line);
                showdown = *next == StreetKind::Showdown;
            }
        } else if (!r.line(line)) {
            return reject(kUnrecognisedAction);
        }
        p.next_line();
    }
    close_round();
    PotInfo pots;
    pots.total = pots.main = r.put_in;
    if (pots.total > r.won) pots.rake = sum_hundredths(pots.total, -r.won);
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, "Hand#", errors, rejected, read_hand, Leading{true, note_line});
}

}  // namespace hs::cake
