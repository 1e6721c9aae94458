// BetOnline hand histories and the layouts that copy them:
//
//   BetOnline Poker Game #1606125823: Hold'em No Limit ($0.01/0.02) - 2016/05/04 10:36:39 Eastern
//   Daylight Time
//   BetOnline Poker Game #1078353699: Tournament #4157956: Hold'em $10.00/$20.00 - 2012/10/13 ...
//   ActionPoker.com Game #1012408051: Hold'em - 2012-04-03 02:10:06
//
// then the table line ("Table '24' 10-Max, Seat #4 is the button", or a skin's "Table The Green
// Mile (Real Money) Seat #2 is the button"), seat lines with the seat's role after them ("Seat 4:
// Bob (0.63 in chips) - The button"), the posts, "*** HOLE CARDS ***", rounds of "<name>: <verb>
// <amount>" lines, street lines in the PokerStars form, and a summary whose seat lines hold the
// wins ("Seat 2: Bob showed [5s 4s] and won (2.49)", "Seat 5: Ann collected (0.40)"). The skins
// capitalise their verbs and end them with a full stop ("Player0: Posts small blind 1.00.").
//
// Amounts: a raise's first amount is the chips the raiser adds ("raises 3.25 to 3.50" from a small
// blind of 0.25); the summary's total is the pot less the rake ("Total pot 47.98 | Rake 2.52").
#include "sites/betonline.hpp"

#include <algorithm>
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

namespace hs::betonline {
namespace {

using std::size_t;
using std::string_view;

// An amount with or without its sign ("$0.25", "0.02", "8,200.00"); its length counts the sign.
std::optional<NumberRead> money(string_view text) noexcept {
    size_t skip = 0;
    if (const auto sign = currency_symbol(text)) skip = sign->len;
    auto r = read_grouped_decimal(text.substr(skip));
    if (r) r->len += skip;
    return r;
}
float money_at(string_view text, string_view line) {
    const auto r = money(text);
    if (!r) fault_missing("amount", line);
    return r->value;
}

// ---------------------------------------------------------------------------------------------
// Hand line
// ---------------------------------------------------------------------------------------------

struct GameName {
    string_view name;
    GameType game;
    BetType bet;  // where the line writes no limit
};
// Longer names first where one begins another.
constexpr GameName kGames[] = {
    {"Hold'em", GameType::HoldEm, BetType::NoLimit},
    {"Holdem", GameType::HoldEm, BetType::NoLimit},
    {"Omaha Hi/Lo", GameType::OmahaHiLo, BetType::PotLimit},
    {"Omaha Hi-Lo", GameType::OmahaHiLo, BetType::PotLimit},
    {"Omaha", GameType::Omaha, BetType::PotLimit},
};
struct LimitName {
    string_view name;
    BetType bet;
};
constexpr LimitName kLimits[] = {
    {" No Limit", BetType::NoLimit},
    {" Pot Limit", BetType::PotLimit},
    {" Fixed Limit", BetType::Limit},
    {" Limit", BetType::Limit},
};

// Windows' names of the zones the rooms write their times in.
struct ZoneName {
    string_view name;
    TimeZone zone;
};
constexpr ZoneName kZones[] = {
    {"Eastern Daylight Time", {TimeZone::Kind::UsEastern, 0}},
    {"Eastern Standard Time", {TimeZone::Kind::UsEastern, 0}},
    {"GMT Standard Time", TimeZone::fixed(0)},
    {"GMT Daylight Time", TimeZone::fixed(60)},
};

// "2016/05/04 10:36:39", "2012-04-03 02:10:06", or without seconds ("2011/08/07 14:59"), then the
// zone's name; nothing when the date is not one.
bool read_date(Header& h, string_view text) {
    std::uint64_t parts[6] = {};
    size_t at = 0;
    int read = 0;
    for (; read < 6; ++read) {
        const auto n = read_integer(rest(text, at));
        if (!n) break;
        parts[read] = n->value;
        at += n->len;
        const char sep = at < text.size() ? text[at] : '\0';
        const bool more = read < 2    ? (sep == '/' || sep == '-')
                          : read == 2 ? sep == ' '
                                      : sep == ':';
        if (!more) {
            ++read;
            break;
        }
        ++at;
    }
    if (read < 5) return false;
    h.start_date = pack_date(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
    string_view zone = rest(text, at);
    while (!zone.empty() && zone.front() == ' ') zone.remove_prefix(1);
    TimeZone named = zone_named(zone);
    for (const ZoneName& z : kZones)
        if (zone == z.name) named = z.zone;
    h.start_utc = utc_start(h.start_date, named);
    h.start_zoned = named.kind != TimeZone::Kind::Unknown;
    return true;
}

// The hand line; an empty reason when it was read.
string_view hand_line(HandBuilder& b, string_view line) {
    static constexpr string_view kGame = "Game #", kTournament = "Tournament #";
    Header& h = b.header();
    HandStore& store = b.store();
    const size_t hash = find_str(line, kGame);
    if (hash == npos) return kHandLineWithoutId;
    const size_t id_at = hash + kGame.size();
    const size_t colon = find_byte(line, ':', id_at);
    if (colon == npos || colon == id_at) return kHandLineWithoutId;
    h.id = store.push_text(cut_text(line, id_at, colon));
    size_t at = colon + 2;
    if (starts(rest(line, at), kTournament)) {
        const size_t number = at + kTournament.size();
        const size_t end = find_byte(line, ':', number);
        if (end == npos) fault_missing("tournament id", line);
        Tournament record;
        record.id = store.push_text(cut_text(line, number, end));
        b.push_tournament(record);
        at = end + 2;
    }
    const string_view game = rest(line, at);
    const GameName* known = nullptr;
    for (const GameName& g : kGames)
        if (starts(game, g.name)) {
            known = &g;
            break;
        }
    if (known == nullptr) return "a game other than Hold'em and Omaha";
    h.game_type = known->game;
    h.bet_type = known->bet;
    at += known->name.size();
    for (const LimitName& l : kLimits)
        if (starts(rest(line, at), l.name)) {
            h.bet_type = l.bet;
            at += l.name.size();
            break;
        }
    const size_t dash = rfind_str(line, " - ");
    if (dash == npos || dash < at || !read_date(h, rest(line, dash + 3)))
        fault_missing("date", line);
    // The stakes, when written: "($0.01/0.02)", a tournament's "$10.00/$20.00".
    string_view stakes = slice(line, at, dash);
    while (!stakes.empty() && (stakes.front() == ' ' || stakes.front() == '('))
        stakes.remove_prefix(1);
    if (!stakes.empty()) {
        if (const auto sign = currency_symbol(stakes); sign && !h.is_tournament())
            h.currency = sign->sign;
        const auto sb = money(stakes);
        const size_t slash = sb ? sb->len : npos;
        const auto bb = slash < stakes.size() && stakes[slash] == '/'
                            ? money(rest(stakes, slash + 1))
                            : std::nullopt;
        if (!bb) fault_missing("stakes", line);
        h.small_blind = sb->value;
        h.big_blind = bb->value;
    }
    return {};
}

// "Table '24' 10-Max, Seat #4 is the button"; "Table The Green Mile (Real Money) Seat #2 is the
// button", whose money is the network's dollars.
bool table_line(HandBuilder& b, string_view line) {
    static constexpr string_view kTable = "Table ", kButton = "Seat #", kRealMoney = "(Real Money)";
    Header& h = b.header();
    if (!starts(line, kTable)) return false;
    const size_t button = rfind_str(line, kButton);
    if (button == npos) return false;
    if (const auto seat = read_integer(rest(line, button + kButton.size()));
        seat && seat->value < kNone8)
        h.button_seat = static_cast<std::uint8_t>(seat->value);
    size_t from = kTable.size(), to = button;
    if (from < line.size() && line[from] == '\'') {
        to = rfind_byte(line.substr(0, button), '\'');
        if (to == npos || to <= from) return false;
        ++from;
        if (const auto max = read_integer(rest(line, to + 2)); max && max->value < kNone8)
            h.max_players = static_cast<std::uint8_t>(max->value);
    } else {
        if (const size_t open = rfind_byte(line.substr(0, button), '(');
            open != npos && open > from) {
            if (find_str(line, kRealMoney, open) == open && !h.is_tournament() && h.currency == 0)
                h.currency = U'$';
            to = open;
        }
        while (to > from && line[to - 1] == ' ') --to;
    }
    h.table_name = b.store().push_text(cut_text(line, from, to));
    return true;
}

// "Seat 4: Bob (0.63 in chips) - The button", "Seat 8: Ann (1.72 in chips) - Sitting out",
// "Seat 0: Player0 (79.50 in Chips)".
bool seat_line(HandBuilder& b, string_view line) {
    static constexpr string_view kSeat = "Seat ", kSittingOut = " - Sitting out";
    const size_t colon = find_byte(line, ':');
    const size_t in = find_str(line, " in ");
    const size_t paren = in == npos ? npos : rfind_byte(line.substr(0, in), '(');
    if (colon == npos || paren == npos || paren < colon + 2) return false;
    const auto seat = read_integer(slice(line, kSeat.size(), colon));
    const auto chips = money(rest(line, paren + 1));
    if (!seat || !chips) return false;
    size_t end = paren;
    while (end > colon + 2 && line[end - 1] == ' ') --end;
    const std::uint8_t id = b.seat_player(
        cut_name(line, colon + 2, end),
        static_cast<std::uint8_t>(std::min<std::uint64_t>(seat->value, kNone8 - 1)), chips->value);
    if (ends(line, kSittingOut)) b.parser().player(id).sitting_out = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Rounds
// ---------------------------------------------------------------------------------------------

// What follows "<name>: ", compared without case and without the full stop that the skins end
// their lines with.
enum class Kind : std::uint8_t {
    Post,   // a blind or an ante: `type`
    Wager,  // a call or a bet: `type`
    Raise,  // "raises 3.25 to 3.50" (the chips added), or "Raises 1000.00" (the total)
    Plain,  // an action without amount: `type`
};
struct Verb {
    string_view phrase;
    Kind kind;
    ActionType type;
};
constexpr Verb kVerbs[] = {
    {"folds", Kind::Plain, ActionType::Fold},
    {"checks", Kind::Plain, ActionType::Check},
    {"mucks", Kind::Plain, ActionType::Muck},
    {"calls ", Kind::Wager, ActionType::Call},
    {"bets ", Kind::Wager, ActionType::Bet},
    {"raises ", Kind::Raise, ActionType::Raise},
    {"posts small blind ", Kind::Post, ActionType::SmallBlind},
    {"posts big blind ", Kind::Post, ActionType::BigBlind},
    {"posts dead blind ", Kind::Post, ActionType::DeadBlind},
    {"post dead ", Kind::Post, ActionType::DeadBlind},
    {"post now ", Kind::Post, ActionType::BigBlind},  // a live blind of a player coming in
    {"posts ante ", Kind::Post, ActionType::Ante},
    {"ante processed ", Kind::Post, ActionType::Ante},
};
constexpr string_view kAllIn = " and is all in";

// The lines of a round that name their player first, without a colon.
struct Phrase {
    string_view phrase;
    ActionType type;
};
constexpr Phrase kPhrases[] = {
    {" has left the table", ActionType::Leave},
    {" is sitting out", ActionType::Sitout},
};
// Lines that carry nothing.
constexpr string_view kNotes[] = {"Total pot ", "Joined table during game",
                                  "Tournament will start"};

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets;

    // A player's action: the line's player must be one of the hand's.
    std::uint8_t player(string_view line, string_view name) const {
        const std::uint8_t id = p.find_player(cut_name(line, name));
        if (id >= p.player_count()) fault_missing("seated player", line);
        return id;
    }

    void push_amount(ActionType type, std::uint8_t id, float amount, bool live) {
        if (live) bets.add(id, amount);
        b.push(Action::with_amount(type, id, amount));
    }

    // "<name>: <verb> <amount>"; false when no verb takes it.
    bool verb_line(string_view line, size_t colon) {
        string_view what = rest(line, colon + 2);
        if (!what.empty() && what.back() == '.') what.remove_suffix(1);
        const Verb* verb = nullptr;
        for (const Verb& v : kVerbs)
            if (starts_nocase(what, v.phrase)) {
                verb = &v;
                break;
            }
        if (verb == nullptr) return false;
        const std::uint8_t id = player(line, line.substr(0, colon));
        const string_view after = rest(what, verb->phrase.size());
        const bool all_in = what.size() >= kAllIn.size() &&
                            starts_nocase(what.substr(what.size() - kAllIn.size()), kAllIn);
        switch (verb->kind) {
            case Kind::Plain: {
                b.push(Action::make(verb->type, id,
                                    verb->type == ActionType::Check ? kNoPayload : kNoCards));
                break;
            }
            case Kind::Post: {
                const float a = money_at(after, line);
                // "ante processed 0.00": no ante was taken.
                if (verb->type == ActionType::Ante && a == 0.0f) break;
                push_amount(verb->type, id, a,
                            verb->type != ActionType::Ante && verb->type != ActionType::DeadBlind);
                break;
            }
            case Kind::Wager: {
                const float a = money_at(after, line);
                const ActionType type =
                    !all_in ? verb->type
                            : (verb->type == ActionType::Bet ? ActionType::BetAllIn
                                                             : ActionType::CallAllIn);
                push_amount(type, id, a, true);
                break;
            }
            case Kind::Raise: {
                const auto first = money(after);
                if (!first) fault_missing("amount", line);
                const bool to = starts(rest(after, first->len), " to ");
                const float added = to ? first->value : sum_hundredths(first->value, -bets.in(id));
                push_amount(all_in ? ActionType::RaiseAllIn : ActionType::Raise, id, added, true);
                break;
            }
        }
        return true;
    }

    // One line of a round (or of the lines before the deal); false when no kind takes it.
    bool line(string_view line) {
        static constexpr string_view kDealt = "Dealt to ", kUncalled = "Uncalled bet (",
                                     kReturned = ") returned to ", kShows = " shows ",
                                     kSaid = " said \"", kJoins = " joins the table at seat #";
        const size_t colon = find_str(line, ": ");
        if (colon != npos && verb_line(line, colon)) return true;
        if (starts_nocase(line, kDealt)) {
            const size_t open = find_byte(line, '[');
            const size_t close = open == npos ? npos : find_byte(line, ']', open);
            if (close == npos) fault_missing("']'", line);
            size_t end = open;
            while (end > kDealt.size() && line[end - 1] == ' ') --end;
            const std::uint8_t id = player(line, slice(line, kDealt.size(), end));
            string_view cards = slice(line, open + 1, close);
            while (!cards.empty() && cards.back() == ' ') cards.remove_suffix(1);
            if (cards.empty()) {
                b.push(Action::make(ActionType::Dealt, id, kNoCards));
            } else {
                b.push(Action::make(ActionType::Dealt, id,
                                    p.store().push_card_set(parse_cards(cards))));
                b.dealt_cards_to(id);
            }
            return true;
        }
        if (starts(line, kUncalled)) {
            const float a = money_at(rest(line, kUncalled.size()), line);
            const size_t to = find_str(line, kReturned);
            if (to == npos) fault_missing("'returned to'", line);
            const std::uint8_t id = player(line, rest(line, to + kReturned.size()));
            bets.add(id, -a);
            b.push(Action::with_amount(ActionType::UncalledBetReturned, id, a));
            return true;
        }
        for (const string_view note : kNotes)
            if (starts_nocase(line, note)) return true;
        if (const size_t at = find_str(line, kShows); at != npos) {
            // "Bob shows Qh Ac", or the cards in brackets.
            size_t from = at + kShows.size(), to = line.size();
            if (from < line.size() && line[from] == '[') {
                to = find_byte(line, ']', from);
                if (to == npos) fault_missing("']'", line);
                ++from;
            }
            string_view cards = slice(line, from, to);
            while (!cards.empty() && cards.back() == ' ') cards.remove_suffix(1);
            const std::uint8_t id = player(line, line.substr(0, at));
            const std::uint32_t set =
                cards.empty() ? kNoCards : p.store().push_card_set(parse_cards(cards));
            b.push(Action::make(ActionType::Show, id, set));
            return true;
        }
        if (!line.empty() && line.back() == '"')
            if (const size_t at = find_str(line, kSaid); at != npos) {
                const std::uint8_t id = p.player_id(cut_name(line, 0, at));
                const TextRef ref = p.store().push_text(
                    cut_at_boundary(slice(line, at + kSaid.size(), line.size() - 1), 255));
                b.push(Action::make(ActionType::Say, id,
                                    say_payload(ref.offset(), ref.length(), p.text_start())));
                return true;
            }
        if (const size_t at = find_str(line, kJoins); at != npos) {
            const std::uint8_t id = p.player_id(cut_name(line, 0, at));
            const auto seat = read_integer(rest(line, at + kJoins.size()));
            if (!seat) fault_missing("seat number", line);
            Player& joined = p.player(id);
            if (joined.seat == kNone8) {
                joined.joined = true;
                joined.seat =
                    static_cast<std::uint8_t>(std::min<std::uint64_t>(seat->value, kNone8 - 1));
            }
            b.push(Action::make(ActionType::Join, id, static_cast<std::uint32_t>(joined.seat)));
            return true;
        }
        for (const Phrase& ph : kPhrases)
            if (ends(line, ph.phrase)) {
                const std::uint8_t id =
                    p.player_id(cut_name(line, 0, line.size() - ph.phrase.size()));
                b.push(Action::make(ph.type, id, kNoPayload));
                return true;
            }
        return false;
    }
};

// ---------------------------------------------------------------------------------------------
// Summary
// ---------------------------------------------------------------------------------------------

// "Total pot 47.98 | Rake 2.52", the skins' "Total Pot 13.30 | Rake 0.70", a tournament's "Total
// pot 500.00".
PotInfo pot_line(string_view line) {
    static constexpr string_view kTotal = "Total pot ", kRake = "| Rake ";
    if (!starts_nocase(line, kTotal)) fault_missing("total pot", line);
    PotInfo pots;
    pots.total = pots.main = money_at(rest(line, kTotal.size()), line);
    if (const size_t rake = find_str(line, kRake); rake != npos)
        pots.rake = money_at(rest(line, rake + kRake.size()), line);
    return pots;
}

// A summary seat line's name: the text after "Seat N: " up to `end`, without the seat's role
// ("Bob (Small Blind) ").
string_view seat_name(string_view line, size_t from, size_t end) {
    string_view name = slice(line, from, end);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty() && name.back() == ')')
        if (const size_t open = rfind_str(name, " ("); open != npos) name = name.substr(0, open);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return name;
}

// "Seat 2: Bob showed [5s 4s] and won (2.49)", "Seat 5: Ann collected (0.40)", "Seat 9: Bob
// (Big Blind)  collected (3.20) from the Pot."; folds and sitting out repeat the rounds or say
// nothing. False for a line of another kind.
bool summary_seat(Reader& r, string_view line) {
    static constexpr string_view kShowed = " showed [", kCollected = " collected (",
                                 kWon = " won (";
    if (!starts(line, "Seat ")) return false;
    const size_t colon = find_byte(line, ':');
    if (colon == npos) return false;
    const size_t from = colon + 2;
    Parser& p = r.p;
    HandStore& store = p.store();
    size_t win_at = npos;
    std::uint8_t id = kNone8;
    if (const size_t at = find_str(line, kShowed, from); at != npos) {
        id = r.player(line, seat_name(line, from, at));
        const size_t close = find_byte(line, ']', at);
        if (close == npos) fault_missing("']'", line);
        string_view cards = slice(line, at + kShowed.size(), close);
        while (!cards.empty() && cards.back() == ' ') cards.remove_suffix(1);
        r.b.push(Action::make(ActionType::Show, id,
                              cards.empty() ? kNoCards : store.push_card_set(parse_cards(cards))));
        if (const size_t won = find_str(line, kWon, close); won != npos) win_at = won + kWon.size();
    } else if (const size_t at = find_str(line, kCollected, from); at != npos) {
        id = r.player(line, seat_name(line, from, at));
        win_at = at + kCollected.size();
    }
    if (win_at != npos) {
        const float a = money_at(rest(line, win_at), line);
        r.b.push(Action::with_amount(ActionType::CollectMainPot, id, a));
        store.winners.push_back(Winner{id, a, 0});
    }
    return true;
}

HandOutcome read_hand(HandBuilder& b, Site site) {
    static constexpr string_view kHoleCards = "*** HOLE CARDS ***", kSummary = "*** SUMMARY ***",
                                 kBoard = "Board [";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = site;
    if (const string_view reason = hand_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    if (!table_line(b, p.line())) return reject("hand without a table line");
    p.next_line();
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    Reader r{b, p, {}};
    r.bets.clear();
    while (!is_stars_line(p.line())) {
        if (!r.line(p.line())) return reject(kUnrecognisedPreDeal);
        p.next_line();
    }
    b.close_pre_deal();
    if (p.line() != kHoleCards) return reject("hand without hole cards");
    p.next_line();
    // The stakes of a line that writes none, and a tournament's ante: from the posts.
    for (const Action& a : p.store().resolve(p.store().actions, h.actions)) {
        if (a.type() == ActionType::SmallBlind && h.small_blind == 0.0f) h.small_blind = a.amount();
        if (a.type() == ActionType::BigBlind && h.big_blind == 0.0f) h.big_blind = a.amount();
        if (a.type() == ActionType::Ante && h.is_tournament())
            h.ante = std::max(h.ante, a.amount());
    }
    while (!is_stars_line(p.line())) {
        if (!r.line(p.line())) return reject(kUnrecognisedAction);
        p.next_line();
    }
    b.close_preflop();
    while (!starts(p.line(), kSummary)) {
        const auto street = parse_street_line(p);
        if (!street) return reject(kBoardCutOff);
        r.bets.clear();
        while (!is_stars_line(p.line())) {
            if (!r.line(p.line())) return reject(kUnrecognisedAction);
            p.next_line();
        }
        b.close_street(street->kind, street->cards);
    }
    p.next_line();
    const PotInfo pots = pot_line(p.line());
    p.next_line();
    // The seat lines; some hands write the pot and board lines twice, a show between them, and
    // lines of players leaving after the seat lines.
    while (!p.line().empty() && !p.at_end()) {
        if (!summary_seat(r, p.line()) && !starts(p.line(), kBoard) && !r.line(p.line()))
            return reject(kUnrecognisedSummary);
        p.next_line();
    }
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Site site, Errors errors, std::vector<Rejection>& rejected) {
    // The room's name of the text's first hand line ("BetOnline Poker", "Gear Poker",
    // "PayNoRake") begins every hand of the text.
    const string_view fallback =
        site == Site::PayNoRake ? string_view("PayNoRake Game #") : string_view("BetOnline Poker ");
    read_hands(parser, first_hand_start(parser.text(), "Game #", fallback), errors, rejected,
               [site](HandBuilder& b) { return read_hand(b, site); });
}

}  // namespace hs::betonline
