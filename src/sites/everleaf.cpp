// Everleaf Gaming hand histories and the layouts that copy them:
//
//   Everleaf Gaming Game #190075259
//   ***** Hand history for game #190075259 *****
//   Blinds $0.01/$0.02 NL Hold'em - 2010/08/03 - 17:03:59
//   Table Los Angeles XV
//   Seat 2 is the button
//   Total number of players: 8
//   Seat 1: zetnik (  $ 0.98 USD )
//
// then the posts ("rcgott4: posts small blind [$ 0.01 USD]"), "** Dealing down cards **", the
// actions with the player's name first ("Serg2407 calls [$ 0.02 USD]", "Player6: bets [$ 1.75
// USD]"), street lines ("** Dealing Flop ** [ 6d, Jc, Js ]"), shows and wins ("MDKILLER69 wins $
// 0.13 USD from main pot with two pairs, ..."), and no summary: the hand ends at an empty line. A
// line of a player's own words is "<name>: <words>". A limit game's line writes its bets, not its
// blinds ("$0.50/$1 Omaha Hi/Lo"); a tournament's, chips ("Blinds 75/150 NL Hold'em", seats "(
// 2353 )" or "(  1500 Chips )").
//
// Amounts: a raise's amount is the chips the raiser adds ("raises [$ 0.18 USD]" from a big blind
// of 0.02 makes 0.20). No pot, rake or returned bet is written: the pot is the chips put in less
// a bet that no one matched, and the rake what the wins leave of it.
//
// Seven-card stud ("$0.05/$0.10 7 Card Stud - 2011/07/08 - 00:08:53", the stakes its bets) posts
// antes, deals at "** Dealing down cards **" and names its later streets ("** Dealing 4th Street
// **" .. "** Dealing River **", older files "**** dealing 4th street ****"), each dealing cards
// when the history shows them ("Dealt to Ann [ Ah ].", the player's own three "[ 5d, Qs, 7s ]"
// first), with a bring-in ("Bob posts bring-in $0.02.") and its completion to a total ("Ann
// completes to $0.05.").
#include "sites/everleaf.hpp"

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

namespace hs::everleaf {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// Hand lines
// ---------------------------------------------------------------------------------------------

struct GameName {
    string_view name;
    GameType game;
};
// Longer names first where one begins another.
constexpr GameName kGames[] = {
    {"Hold'em", GameType::HoldEm},
    {"Holdem", GameType::HoldEm},
    {"Omaha Hi/Lo", GameType::OmahaHiLo},
    {"Omaha Hi-Lo", GameType::OmahaHiLo},
    {"Omaha", GameType::Omaha},
    {"7 Card Stud Hi/Lo", GameType::SevenCardStudHiLo},
    {"7 Card Stud Hi-Lo", GameType::SevenCardStudHiLo},
    {"7 Card Stud", GameType::SevenCardStud},
};
// The limit's word before the game; a line without one is a limit game's.
struct LimitName {
    string_view name;
    BetType bet;
};
constexpr LimitName kLimits[] = {
    {"NL ", BetType::NoLimit},
    {"PL ", BetType::PotLimit},
    {"FL ", BetType::Limit},
};
// The currency code a seat line ends with.
struct CodeName {
    string_view code;
    Currency sign;
};
constexpr CodeName kCodes[] = {{" USD )", U'$'}, {" EUR )", U'€'}, {" EURO )", U'€'}};

// "Everleaf Gaming Game #190075259": the id, else the next line's ("***** Hand history for game
// #190075259 *****", "*** Historique des Mains pour la partie 25324991 ***").
void id_line(HandBuilder& b, string_view line, bool second) {
    Header& h = b.header();
    if (h.id.length() != 0) return;
    size_t at = second ? rfind_byte(line, ' ') : npos;
    if (second) {
        // The last number of the line, before its closing stars.
        size_t end = at == npos ? 0 : at;
        while (end > 0 && line[end - 1] == ' ') --end;
        size_t from = end;
        while (from > 0 && is_ascii_digit(static_cast<unsigned char>(line[from - 1]))) --from;
        if (from == end) return;
        h.id = b.store().push_text(cut_text(line, from, end));
        return;
    }
    const size_t hash = find_str(line, "Game #");
    if (hash == npos) return;
    at = hash + 6;
    size_t end = at;
    while (end < line.size() && is_ascii_digit(static_cast<unsigned char>(line[end]))) ++end;
    if (end > at) h.id = b.store().push_text(cut_text(line, at, end));
}

// "Blinds $0.01/$0.02 NL Hold'em - 2010/08/03 - 17:03:59", "Blinds €0.10/€0.20 NL Hold'em - 4
// Max - 2012/09/01 - 22:44:57", "$0.50/$1 Omaha Hi/Lo - 2010/03/01 - 11:00:02". An empty reason
// when it was read.
string_view game_line(Header& h, string_view line) {
    static constexpr string_view kBlinds = "Blinds ", kMax = " Max";
    const bool blinds = starts(line, kBlinds);
    const size_t at = blinds ? kBlinds.size() : 0;
    // The stakes, "$0.01/$0.02" or " €0.01/ €0.02": each number after whatever stands before it.
    const auto sb = first_grouped_number(rest(line, at));
    const size_t slash = find_byte(line, '/', at);
    const auto bb = slash == npos ? std::nullopt : first_grouped_number(rest(line, slash + 1));
    if (!sb || !bb) return "game line without stakes";
    if (blinds) {
        h.small_blind = sb->value;
        h.big_blind = bb->value;
    }
    if (starts(rest(line, at), "$")) h.currency = U'$';
    size_t g = slash + 1 + bb->len;
    while (g < line.size() && line[g] == ' ') ++g;
    h.bet_type = BetType::Limit;
    for (const LimitName& l : kLimits)
        if (starts(rest(line, g), l.name)) {
            h.bet_type = l.bet;
            g += l.name.size();
            break;
        }
    const GameName* known = nullptr;
    for (const GameName& n : kGames)
        if (starts(rest(line, g), n.name)) {
            known = &n;
            break;
        }
    if (known == nullptr) return "a game other than Hold'em and Omaha";
    h.game_type = known->game;
    if (is_stud(known->game)) {  // stud's stakes are its bets: no blind is posted
        h.small_blind = sb->value;
        h.big_blind = bb->value;
    }
    if (const size_t max = find_str(line, kMax, g); max != npos) {
        size_t from = max;
        while (from > 0 && is_ascii_digit(static_cast<unsigned char>(line[from - 1]))) --from;
        if (const auto n = read_integer(slice(line, from, max)); n && n->value < kNone8)
            h.max_players = static_cast<std::uint8_t>(n->value);
    }
    // The date: the last two " - " parts, "2010/08/03 - 17:03:59".
    const size_t dash = rfind_str(line, " - ");
    const size_t date_dash = dash == npos ? npos : rfind_str(line.substr(0, dash), " - ");
    if (date_dash == npos) fault_missing("date", line);
    std::uint64_t parts[6] = {};
    const string_view pieces[2] = {slice(line, date_dash + 3, dash), rest(line, dash + 3)};
    int n = 0;
    for (const string_view piece : pieces) {
        size_t i = 0;
        for (int k = 0; k < 3; ++k, ++n) {
            const auto v = read_integer(rest(piece, i));
            if (!v) fault_missing("date", line);
            parts[n] = v->value;
            i += v->len + 1;
        }
    }
    h.start_date = pack_date(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
    h.start_utc = h.start_date;  // the zone is not written
    return {};
}

// "Seat 1: zetnik (  $ 0.98 USD )", "Seat 3: Hero ( 2055 )", "Seat 4: Bob ( All-in )" and "Seat
// 6: Ann ( new player )" (no chips written: 0).
bool seat_line(HandBuilder& b, string_view line) {
    static constexpr string_view kSeat = "Seat ";
    const size_t colon = find_byte(line, ':');
    const size_t paren = rfind_byte(line, '(');
    if (colon == npos || paren == npos || paren < colon + 2 || line.back() != ')') return false;
    const auto seat = read_integer(slice(line, kSeat.size(), colon));
    if (!seat) return false;
    const auto chips = first_grouped_number(rest(line, paren + 1));
    size_t end = paren;
    while (end > colon + 2 && line[end - 1] == ' ') --end;
    b.seat_player(cut_name(line, colon + 2, end),
                  static_cast<std::uint8_t>(std::min<std::uint64_t>(seat->value, kNone8 - 1)),
                  chips ? chips->value : 0.0f);
    Header& h = b.header();
    for (const CodeName& c : kCodes)
        if (h.currency == 0 && ends(line, c.code)) h.currency = c.sign;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Actions
// ---------------------------------------------------------------------------------------------

enum class Kind : std::uint8_t {
    Post,      // a blind or an ante: `type`
    BringIn,   // stud's "posts bring-in $0.02."
    Complete,  // stud's "completes to $0.05.": the player's total in the round
    Wager,     // a bet, a call or a raise (the chips added): `type`
    Plain,     // no amount: `type`
    Shows,     // "shows [ 4c, 4d ] two pairs, ..."
    Wins,      // "wins $ 0.13 USD from main pot ...", "wins  low ($0.45) from main pot"
    Status,    // a note about the player: nothing pushed
};
// What follows the name, found in the line; the first row found decides.
struct Verb {
    string_view phrase;
    Kind kind;
    ActionType type;
};
constexpr Verb kVerbs[] = {
    {" folds", Kind::Plain, ActionType::Fold},
    {" checks", Kind::Plain, ActionType::Check},
    {" calls [", Kind::Wager, ActionType::Call},
    {" raises [", Kind::Wager, ActionType::Raise},
    {": bets [", Kind::Wager, ActionType::Bet},
    {": posts small blind [", Kind::Post, ActionType::SmallBlind},
    {": posts big blind [", Kind::Post, ActionType::BigBlind},
    {": posts ante [", Kind::Post, ActionType::Ante},
    {" does not show cards", Kind::Plain, ActionType::Muck},
    {" shows [", Kind::Shows, ActionType::Show},
    {" wins ", Kind::Wins, ActionType::CollectMainPot},
    {" has disconnected and has been given", Kind::Status, ActionType::Check},
    {" est d", Kind::Status, ActionType::Check},  // the French client's disconnection
    {" has been reseated to this table", Kind::Status, ActionType::Check},
    // Stud's lines last: the flop games' lines look for no more phrases than they did.
    {" posts bring-in ", Kind::BringIn, ActionType::BringIn},
    {" completes to ", Kind::Complete, ActionType::Complete},
};

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets;
    float put_in = 0.0f;     // the chips put in
    float unmatched = 0.0f;  // the bets no one matched, summed over the rounds
    float won = 0.0f;        // the wins' sum
    bool wrapped = false;    // the last line was a win whose hand runs on to the next line

    std::uint8_t player(string_view line, size_t end) const {
        const std::uint8_t id = p.find_player(cut_name(line, 0, end));
        if (id >= p.player_count()) fault_missing("seated player", line);
        return id;
    }

    // A round ends: its bet that no one matched came back.
    void end_round() {
        std::uint8_t who = kNoSlot;
        unmatched = sum_hundredths(unmatched, bets.unmatched(who));
        bets.clear();
    }

    // One line of the hand after the seats; false when no kind takes it.
    bool line(string_view line) {
        const Verb* verb = nullptr;
        size_t at = npos;
        for (const Verb& v : kVerbs)
            if (at = find_str(line, v.phrase); at != npos && at > 0) {
                verb = &v;
                break;
            }
        if (verb == nullptr) {
            // "<name>: <words>": a player's words; or the rest of a win's hand ("eights [ Jc,
            // Js, 9d, 8c, 8h ]").
            if (wrapped && !line.empty() && line.back() == ']') {
                wrapped = false;
                return true;
            }
            const size_t colon = find_str(line, ": ");
            if (colon == npos || colon == 0) return false;
            const std::uint8_t id = p.player_id(cut_name(line, 0, colon));
            const TextRef ref = p.store().push_text(cut_at_boundary(rest(line, colon + 2), 255));
            b.push(Action::make(ActionType::Say, id,
                                say_payload(ref.offset(), ref.length(), p.text_start())));
            return true;
        }
        wrapped = false;
        if (verb->kind == Kind::Status) return true;
        const std::uint8_t id = player(line, at);
        const string_view after = rest(line, at + verb->phrase.size());
        switch (verb->kind) {
            case Kind::Plain:
                b.push(Action::make(verb->type, id,
                                    verb->type == ActionType::Check ? kNoPayload : kNoCards));
                break;
            case Kind::Post:
            case Kind::BringIn:
            case Kind::Wager: {
                const float a = first_grouped_number_at(after, line);
                const bool live = verb->type != ActionType::Ante;
                if (live) bets.add(id, a);
                put_in = sum_hundredths(put_in, a);
                b.push(Action::with_amount(verb->type, id, a));
                break;
            }
            case Kind::Complete: {
                const float to = first_grouped_number_at(after, line);
                const float added = sum_hundredths(to, -bets.in(id));
                bets.add(id, added);
                put_in = sum_hundredths(put_in, added);
                b.push(Action::with_amount(ActionType::Complete, id, to));
                break;
            }
            case Kind::Shows:
                b.push(Action::make(ActionType::Show, id,
                                    p.store().push_card_set(comma_cards(rest(line, at), line))));
                break;
            case Kind::Wins: {
                const float a = first_grouped_number_at(after, line);
                const ActionType type = find_str(after, " from side pot") != npos
                                            ? ActionType::CollectSidePot1
                                            : ActionType::CollectMainPot;
                b.push(Action::with_amount(type, id, a));
                p.store().winners.push_back(Winner{id, a, 0});
                won = sum_hundredths(won, a);
                wrapped = find_str(after, " with ") != npos && line.back() != ']';
                break;
            }
            case Kind::Status: break;
        }
        return true;
    }
};

// "** Dealing Flop ** [ 6d, Jc, Js ]": the street, nullopt for another line.
std::optional<StreetKind> street_of(string_view line) {
    struct StreetName {
        string_view name;
        StreetKind kind;
    };
    static constexpr StreetName kStreets[] = {{"** Dealing Flop **", StreetKind::Flop},
                                              {"** Dealing Turn **", StreetKind::Turn},
                                              {"** Dealing River **", StreetKind::River}};
    for (const StreetName& s : kStreets)
        if (starts(line, s.name)) return s.kind;
    return std::nullopt;
}

HandOutcome read_hand(HandBuilder& b, Site site) {
    static constexpr string_view kDeal = "** Dealing down cards **", kTable = "Table ",
                                 kButton = " is the button", kPlayers = "Total number of players",
                                 kDealt = "Dealt to ";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = site;
    id_line(b, p.line(), false);
    p.next_line();
    id_line(b, p.line(), true);
    if (h.id.length() == 0) return reject(kHandLineWithoutId);
    p.next_line();
    if (const string_view reason = game_line(h, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    if (!starts(p.line(), kTable)) return reject("hand without a table line");
    h.table_name = p.store().push_text(cut_text(p.line(), kTable.size(), p.line().size()));
    p.next_line();
    if (starts(p.line(), "Seat ") && ends(p.line(), kButton)) {
        const auto seat = read_integer(rest(p.line(), 5));
        if (seat && seat->value < kNone8) h.button_seat = static_cast<std::uint8_t>(seat->value);
        p.next_line();
    }
    if (starts(p.line(), kPlayers)) p.next_line();
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    Reader r{b, p, {}};
    r.bets.clear();
    while (p.line() != kDeal) {
        if (p.line().empty() || p.at_end() || !r.line(p.line()))
            return reject(kUnrecognisedPreDeal);
        p.next_line();
    }
    b.close_pre_deal();
    p.next_line();
    // The blinds of a line that writes the limit game's bets: the posts'.
    if (h.small_blind == 0.0f && h.big_blind == 0.0f) {
        for (const Action& a : p.store().resolve(p.store().actions, h.actions)) {
            if (a.type() == ActionType::SmallBlind && h.small_blind == 0.0f)
                h.small_blind = a.amount();
            if (a.type() == ActionType::BigBlind && h.big_blind == 0.0f) h.big_blind = a.amount();
        }
    }
    std::optional<StreetKind> street;  // the street whose round is read; none for the preflop
    CardSet cards;
    const auto close_round = [&] {
        r.end_round();
        if (street)
            b.close_street(*street, cards);
        else
            b.close_preflop();
    };
    // Stud names its streets ("** Dealing 4th Street **", "**** dealing river ****") and deals
    // each player's cards on each ("Dealt to Ann [ Ah ].", the player's own "[ 5d, Qs, 7s ]").
    const bool stud = is_stud(h.game_type);
    while (!p.line().empty() && !p.at_end()) {
        const string_view line = p.line();
        if (const auto next = stud ? dealing_stud_street(line) : street_of(line)) {
            close_round();
            street = next;
            cards = stud ? CardSet::empty() : comma_cards(line, line);
        } else if (starts(line, kDealt)) {
            const size_t open = find_byte(line, '[');
            if (open == npos) return reject(kDealtCutOff);
            size_t end = open;
            while (end > kDealt.size() && line[end - 1] == ' ') --end;
            const std::uint8_t id = p.find_player(cut_name(line, kDealt.size(), end));
            if (id >= p.player_count()) fault_missing("seated player", line);
            const CardSet dealt = comma_cards(rest(line, open), line);
            if (stud) {
                push_stud_cards(b, cut_name(line, kDealt.size(), end), dealt, !street,
                                street == StreetKind::Seventh);
            } else {
                b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(dealt)));
                b.dealt_cards_to(id);
            }
        } else if (!r.line(line)) {
            return reject(kUnrecognisedAction);
        }
        p.next_line();
    }
    close_round();
    PotInfo pots;
    pots.total = pots.main = sum_hundredths(r.put_in, -r.unmatched);
    if (pots.total > r.won) pots.rake = sum_hundredths(pots.total, -r.won);
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Site site, Errors errors, std::vector<Rejection>& rejected) {
    // The room's name of the text's first line ("Everleaf Gaming", "- - Grand Poker") begins
    // every hand of the text; the French client writes no "Game #" there.
    const string_view text = parser.text();
    const string_view fallback = site == Site::GrandPoker ? string_view("- - Grand Poker ")
                                 : find_str(text.substr(0, 64), "Partouche Poker ") != npos
                                     ? string_view("Partouche Poker ")
                                     : string_view("Everleaf Gaming ");
    read_hands(parser, first_hand_start(text, "Game #", fallback), errors, rejected,
               [site](HandBuilder& b) { return read_hand(b, site); });
}

}  // namespace hs::everleaf
