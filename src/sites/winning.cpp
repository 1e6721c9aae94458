// Winning Poker Network (Americas Cardroom and its skins) hand histories, in their two layouts.
//
// The older one ("Game started at: 2014/10/29 15:33:25") names every player after "Player ",
// writes amounts in parentheses ("Player X raises (8)"), deals the hero's cards one line each,
// and sums each player up in the summary ("Bets: 23.67. Collects: 75.74. Wins: 52.07."); the hand
// ends with "Game ended at: ...". Clients wrote it in UTF-16 (with a blank line after every
// line) or in UTF-8, and joined files end to end, the next one's byte-order mark and first line
// right after the last line of the one before.
//
// The current one ("Hand #784383001 - Holdem(No Limit) - $0.02/$0.05 - 2021/04/20 18:42:26
// UTC", tournaments "Game Hand #... - Tournament #... - Holdem(No Limit) - Level 10 (...)- ...")
// is close to PokerStars': names first without a colon, "*** HOLE CARDS ***", a pot line after
// each street line, boards numbered in a hand run twice, and the collections in the rounds.
//
// Seven-card stud ("Seven Cards Stud", "7Stud(Fixed Limit)") shows the hero's down cards and
// everyone's up cards; the older layout deals them one line each ("received card: [5d]", a hidden
// one "received a card.") and writes its first street line, "*** Third street ***", after the
// first round. The first raise of the bring-in completes it.
//
// In both, the first amount of a raise is the chips the raiser puts in with it ("raises (130)"
// after a small blind of 10 makes 140 in all; "raises $0.22 to $0.22"), and the summary's total
// is what is left after the rake (and the jackpot fee, which is part of the rake here).
#include "sites/winning.hpp"

#include <iterator>
#include <optional>
#include <span>
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

namespace hs::winning {
namespace {

using std::size_t;
using std::string_view;

// A game that neither layout's reader takes: the hand is rejected with a reason naming it.
struct OtherGame {
    string_view name;
    string_view reason;
};
constexpr OtherGame kOtherGames[] = {
    {"Razz", "a game other than Hold'em, Omaha and stud: Razz"},
};
// The reason for a game the reader does not take; a name of no known game is a fault that names
// it.
string_view other_game(string_view name, string_view line) {
    for (const OtherGame& g : kOtherGames)
        if (g.name == name) return g.reason;
    fault("a game other than Hold'em, Omaha and stud: '" + std::string(name) + "' in '" +
          std::string(line) + "'");
}

// A street line, past the blank lines after it.
std::optional<StreetLine> street_line(Parser& p) {
    auto s = parse_street_line(p);
    p.skip_empty_lines();
    return s;
}

// =============================================================================================
// The older layout
// =============================================================================================
namespace old {

constexpr string_view kStart = "Game started";
constexpr string_view kPlayer = "Player ";

struct GameName {
    string_view name;
    GameType game;
    BetType bet;
};
// The layout names the game only: WPN dealt Hold'em no limit, Omaha pot limit and stud fixed
// limit under it.
constexpr GameName kGames[] = {
    {"Hold'em", GameType::HoldEm, BetType::NoLimit},
    {"Omaha", GameType::Omaha, BetType::PotLimit},
    {"Omaha HiLow", GameType::OmahaHiLo, BetType::PotLimit},
    {"Six Plus Hold'em", GameType::ShortDeckHoldEm, BetType::NoLimit},
    {"Seven Cards Stud", GameType::SevenCardStud, BetType::Limit},
    {"Seven Cards Stud HiLow", GameType::SevenCardStudHiLo, BetType::Limit},
};

// "Game ID: 328766507 1/2 Wichita Falls 1/2 - 3 (Hold'em)", "... $5 Regular 9-Max, Table 1
// (Hold'em)", "... PMS_27056799 (Hold'em) 8-max"; an empty reason when it was read. A table
// named "<tournament>, Table <n>" is a tournament's, "PM ..." a play-money one; the other
// tables play for dollars, which the layout does not write.
string_view game_line(HandBuilder& b, string_view line) {
    static constexpr string_view kGameId = "Game ID: ", kTable = ", Table ", kPlayMoney = "PM ",
                                 kMax = "-max", kMaxCapital = "-Max";
    Header& h = b.header();
    HandStore& store = b.store();
    if (!starts(line, kGameId)) return "game line without a game id";
    const size_t id_end = find_byte(line, ' ', kGameId.size());
    if (id_end == npos) return "game line without stakes";
    h.id = store.push_text(cut_text(line, kGameId.size(), id_end));
    // The game: the last parenthesis of the line.
    const size_t close = rfind_byte(line, ')');
    const size_t open = close == npos ? npos : rfind_byte(line.substr(0, close), '(');
    if (open == npos || open <= id_end) return "game line without a game";
    const string_view game = slice(line, open + 1, close);
    const GameName* known = nullptr;
    for (const GameName& g : kGames)
        if (g.name == game) known = &g;
    if (known == nullptr) return other_game(game, line);
    h.game_type = known->game;
    h.bet_type = known->bet;

    // The stakes, "<small>/<big>", then the table's name up to the game.
    const string_view stakes = rest(line, id_end + 1);
    const auto sb = read_decimal(stakes);
    if (!sb || byte_at(stakes, sb->len) != '/') fault_missing("stakes", line);
    const auto bb = read_decimal(rest(stakes, sb->len + 1));
    if (!bb) fault_missing("stakes", line);
    h.small_blind = sb->value;
    h.big_blind = bb->value;
    const size_t name_at = id_end + 1 + sb->len + 1 + bb->len + 1;
    size_t name_end = open;
    while (name_end > name_at && line[name_end - 1] == ' ') --name_end;
    const string_view name = cut_text(line, std::min(name_at, name_end), name_end);
    h.table_name = store.push_text(name);
    // The size: "6-Max" in the name, or "8-max" after the game.
    size_t max_at = rfind_str(line, kMax);
    if (max_at == npos) max_at = rfind_str(line, kMaxCapital);
    if (max_at != npos) {
        size_t digits = max_at;
        while (digits > 0 && line[digits - 1] >= '0' && line[digits - 1] <= '9') --digits;
        if (const auto max = read_integer(slice(line, digits, max_at)); max && max->value < 256)
            h.max_players = static_cast<std::uint8_t>(max->value);
    }
    if (const size_t table = rfind_str(name, kTable); table != npos) {
        // The tournament's name begins with its buy-in, fee included ("$5 Regular 9-Max",
        // "$2.40 Hyper Turbo Heads-up"), but a freeroll's with its prizes ("$10 Freeroll - On
        // Demand").
        static constexpr string_view kFreeroll = "Freeroll";
        Tournament t;
        const string_view tournament = name.substr(0, table);
        t.name = store.push_text(tournament);
        const auto sign = currency_symbol(tournament);
        const auto buy_in = sign ? signed_grouped_amount(tournament) : std::nullopt;
        if (find_str(tournament, kFreeroll) != npos) {
            t.buy_in_kind = BuyInKind::Freeroll;
        } else if (buy_in && byte_at(tournament, buy_in->len) == ' ') {
            t.buy_in_kind = BuyInKind::Money;
            t.currency = sign->sign;
            t.buy_in = buy_in->value;
        }
        b.push_tournament(t);
    } else if (!starts(name, kPlayMoney)) {
        h.currency = U'$';
    }
    return {};
}

// "Seat 1: Namu0124 (224.12)."
bool seat_line(HandBuilder& b, string_view line) {
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;
    const auto seat = read_integer(rest(line, seat_line->seat_start));
    const auto chips = read_decimal(rest(line, seat_line->after_paren));
    if (!seat || seat->value > 254 || !chips) return false;
    b.seat_player(cut_name(line, seat_line->name), static_cast<std::uint8_t>(seat->value),
                  chips->value);
    return true;
}

// "Player <name> <phrase> (<amount>)": the phrase before the last parenthesis names the action.
struct AmountPhrase {
    Ending ending;  // the phrase with its "("
    ActionType type;
};
// Longer phrases first where one ends another (" posts ante (" and " ante (").
constexpr AmountPhrase kAmountPhrases[] = {
    {Ending(" calls ("), ActionType::Call},
    {Ending(" bets ("), ActionType::Bet},
    {Ending(" raises ("), ActionType::Raise},
    {Ending(" caps ("), ActionType::Raise},      // a raise up to the table's cap
    {Ending(" allin ("), ActionType::BetAllIn},  // bet, call or raise: told by the round
    {Ending(" has small blind ("), ActionType::SmallBlind},
    {Ending(" has big blind ("), ActionType::BigBlind},
    {Ending(" posts ante ("), ActionType::Ante},
    {Ending(" ante ("), ActionType::Ante},
    {Ending(" straddle ("), ActionType::ExtraBlind},
    {Ending(" posts ("), ActionType::BigBlind},    // a live blind of a player coming in
    {Ending(" bring in ("), ActionType::BringIn},  // stud's alone: the last row
};
constexpr string_view kDeadBet = " as a dead bet";  // "Player X posts (0.25) as a dead bet"

// "Player <name> <phrase>" without an amount.
struct Note {
    Ending ending;
    std::optional<ActionType> type;  // nullopt: a line that names no action
    bool hidden_card = false;        // a card dealt and not shown
};
constexpr Note kNotes[] = {
    {Ending(" folds"), ActionType::Fold},       {Ending(" checks"), ActionType::Check},
    {Ending(" mucks cards"), ActionType::Muck}, {Ending(" sitting out"), ActionType::Sitout},
    {Ending(" wait BB"), ActionType::Sitout},   {Ending(" received a card."), std::nullopt, true},
    {Ending(" is timed out."), std::nullopt},
};

enum class LineKind { Action, Note, Dealt, None };

// Stud's street lines, each after a street's cards: the layout's "third" street is the round
// after the first one.
struct StudStreet {
    string_view line;
    StreetKind kind;
};
constexpr StudStreet kStudStreets[] = {
    {"*** Third street ***", StreetKind::Flop},
    {"*** Fourth street ***", StreetKind::Turn},
    {"*** Fifth street ***", StreetKind::River},
    {"*** Sixth street ***", StreetKind::Seventh},
};

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets;
    bool dealt = false;  // a card has been dealt: the posts are over
    std::uint8_t hero = kNone8;
    // Stud: the first street's round is being read (`third`), else `street`'s; the cards each
    // player was dealt on the first street, shown or not (the first two are down, the third up).
    bool stud = false, third = true;
    StreetKind street = StreetKind::Flop;
    StudOpening opening{};
    std::uint8_t first_cards[kNoSlot]{};

    // Whether the next card dealt to `id` is dealt face down.
    bool down_card(std::uint8_t id) {
        if (!third) return street == StreetKind::Seventh;
        if (id >= kNoSlot) return false;
        return first_cards[id] < 255 && first_cards[id]++ < 2;
    }

    // The name of a "Player <name>..." line whose phrase begins at `at`.
    string_view name(string_view line, size_t at) const {
        return cut_name(line, kPlayer.size(), at);
    }

    // "Player <name> received card: [3c]": the hero's cards, one line each, joined into one
    // dealt action.
    void dealt_card(string_view line, size_t at) {
        static constexpr string_view kReceived = " received card: [";
        const std::uint8_t id = p.find_player(name(line, at));
        const size_t open = at + kReceived.size() - 1;
        const size_t close = find_byte(line, ']', open);
        if (close == npos) fault_missing("']'", line);
        const Card card = card_from_text(slice(line, open + 1, close));
        // Stud's up cards, and its down cards after the first street, are actions of their own.
        if (stud && (!down_card(id) || !third)) {
            CardSet one;
            one.push(card);
            const bool down = !third && street == StreetKind::Seventh;
            b.push(Action::make(down ? ActionType::Dealt : ActionType::DealtUp, id,
                                p.store().push_card_set(one)));
            return;
        }
        Action* last = b.last_pushed();
        if (id == hero && last != nullptr && last->type() == ActionType::Dealt &&
            last->player_id() == id) {
            p.store().card_sets.back().push(card);
            return;
        }
        CardSet cards;
        cards.push(card);
        b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(cards)));
        b.dealt_cards_to(id);
        hero = id;
    }

    LineKind line_kind(string_view line) {
        static constexpr char kReceivedCard[] = " received card: [";
        static constexpr string_view kUncalled = "Uncalled bet (", kReturned = ") returned to ";
        if (starts(line, kPlayer)) {
            if (line.back() == ')') {
                const size_t open = rfind_byte(line, '(');
                const string_view head = line.substr(0, open + 1);
                for (const AmountPhrase& a :
                     std::span(kAmountPhrases, std::size(kAmountPhrases) - (stud ? 0 : 1))) {
                    if (!a.ending.matches(head)) continue;
                    const float amount = signed_grouped_amount_at(rest(line, open + 1), line);
                    const std::uint8_t id =
                        p.find_player(name(line, head.size() - a.ending.phrase.size()));
                    ActionType type = a.type;
                    if (type == ActionType::BetAllIn) type = bets.all_in(id, amount);
                    if (type != ActionType::Ante) bets.add(id, amount);
                    if (type == ActionType::BringIn) opening.bring_in();
                    if (stud && opening.completes(type, third))
                        b.push(Action::with_amount(ActionType::Complete, id, bets.in(id)));
                    else
                        b.push(Action::with_amount(type, id, amount));
                    return LineKind::Action;
                }
                return LineKind::None;
            }
            if (ends(line, kDeadBet)) {
                const string_view head = line.substr(0, line.size() - kDeadBet.size());
                static constexpr Ending kPosts(" posts (");
                const size_t open = rfind_byte(head, '(');
                if (open == npos || !kPosts.matches(head.substr(0, open + 1)))
                    return LineKind::None;
                const float amount = signed_grouped_amount_at(rest(head, open + 1), line);
                b.push(p.make_action(name(line, open + 1 - kPosts.phrase.size()),
                                     ActionType::DeadBlind, amount));
                return LineKind::Action;
            }
            if (const size_t at = find_lit(line, kReceivedCard); at != npos) {
                dealt_card(line, at);
                return LineKind::Dealt;
            }
            for (const Note& n : kNotes) {
                if (!n.ending.matches(line)) continue;
                const string_view who = name(line, line.size() - n.ending.phrase.size());
                if (n.hidden_card) {
                    if (stud) down_card(p.find_player(who));
                    return LineKind::Dealt;
                }
                if (!n.type) return LineKind::Note;
                b.push(Action::make(*n.type, p.player_id(who),
                                    *n.type == ActionType::Muck ? kNoCards : kNoPayload));
                return LineKind::Action;
            }
            return LineKind::None;
        }
        if (starts(line, kUncalled)) {
            const size_t returned = find_str(line, kReturned, kUncalled.size());
            if (returned == npos) return LineKind::None;
            const float amount = signed_grouped_amount_at(rest(line, kUncalled.size()), line);
            b.push(p.make_action(cut_name(line, returned + kReturned.size(), line.size()),
                                 ActionType::UncalledBetReturned, amount));
            return LineKind::Action;
        }
        return LineKind::None;
    }
};

// "Pot: 75.74. Rake 3. JP fee 0.24": what is left after the rake, then the rake and the jackpot
// fee, which are the site's take together (the fee is the jackpot's part).
PotInfo pot_line(string_view line) {
    static constexpr string_view kPot = "Pot: ", kRake = " Rake ", kJackpot = " JP fee ";
    if (!starts(line, kPot)) fault_missing("pot", line);
    PotInfo pots;
    pots.total = signed_grouped_amount_at(line.substr(kPot.size()), line);
    pots.main = pots.total;
    if (const size_t r = find_str(line, kRake); r != npos)
        pots.rake =
            sum_hundredths(pots.rake, signed_grouped_amount_at(rest(line, r + kRake.size()), line));
    if (const size_t j = find_str(line, kJackpot); j != npos) {
        pots.jackpot = signed_grouped_amount_at(rest(line, j + kJackpot.size()), line);
        pots.rake = sum_hundredths(pots.rake, pots.jackpot);
    }
    return pots;
}

// "[*]Player <name> shows: Flush, A high [10d 3d]. Bets: 23.67. Collects: 75.74. Wins: 52.07.",
// "... does not show cards.Bets: ...", "... mucks (does not show: [8d 4s 10c 6c]). Bets: ...";
// false when the line is none of these.
bool summary_line(Reader& r, string_view line) {
    static constexpr string_view kBets = "Bets: ", kCollects = "Collects: ";
    static constexpr string_view kPhrases[] = {" shows: ", " mucks (", " does not show",
                                               " doesn't show"};
    const size_t from = starts(line, "*") ? 1 : 0;
    if (!starts(rest(line, from), kPlayer)) return false;
    const size_t bets = find_str(line, kBets);
    if (bets == npos) return false;
    size_t phrase_at = npos;
    string_view phrase;
    for (const string_view ph : kPhrases) {
        const size_t at = find_str(line.substr(0, bets), ph, from + kPlayer.size());
        if (at < phrase_at) {
            phrase_at = at;
            phrase = ph;
        }
    }
    if (phrase_at == npos) return false;
    Parser& p = r.p;
    const std::uint8_t id = p.find_player(cut_name(line, from + kPlayer.size(), phrase_at));
    const string_view shown = slice(line, phrase_at, bets);
    const BracketedCards cards = bracketed_cards(shown);
    if (phrase == kPhrases[0] || (phrase == kPhrases[1] && cards.close != 0)) {
        const ActionType type = phrase == kPhrases[0] ? ActionType::Show : ActionType::Muck;
        r.b.push(Action::make(type, id, p.store().push_card_set(cards.cards)));
    }
    if (const size_t c = find_str(line, kCollects, bets); c != npos) {
        const float amount = signed_grouped_amount_at(rest(line, c + kCollects.size()), line);
        if (amount > 0.0f) p.store().winners.push_back(Winner{id, amount, 0});
    }
    return true;
}

HandOutcome read_hand(HandBuilder& b) {
    static constexpr string_view kStartedAt = "Game started at: ", kButton = " is the button",
                                 kSummary = "------ Summary ------",
                                 kBoard = "Board: ", kEnded = "Game ended at: ";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Winning;
    const string_view first = p.line();
    const size_t at = find_str(first, kStartedAt);
    if (at == npos) return reject("start line without a date");
    const auto date = loose_date(rest(first, at + kStartedAt.size()));
    if (!date) return reject("start line without a date");
    h.start_date = *date;
    h.start_utc = utc_start(*date, TimeZone{});
    p.next_line();
    p.skip_empty_lines();
    if (const string_view reason = game_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    p.skip_empty_lines();
    // "Seat 4 is the button"
    if (starts(p.line(), "Seat ") && ends(p.line(), kButton)) {
        const auto seat = read_integer(rest(p.line(), 5));
        if (seat && seat->value < 255) h.button_seat = static_cast<std::uint8_t>(seat->value);
        p.next_line();
        p.skip_empty_lines();
    }
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
        p.skip_empty_lines();
    }

    Reader r{b, p, {}, false, kNone8};
    r.bets.clear();
    r.stud = is_stud(h.game_type);
    // The posts, up to the first card dealt; then the preflop round.
    while (!starts(p.line(), "*** ") && !starts(p.line(), kSummary)) {
        const string_view line = p.line();
        const bool before = !r.dealt;
        // The deal ends the posts; so does a returned blind in a hand cancelled before it.
        if (before && ((starts(line, kPlayer) && find_lit(line, " received") != npos) ||
                       starts(line, "Uncalled bet"))) {
            b.close_pre_deal();
            r.dealt = true;
        }
        if (r.line_kind(line) == LineKind::None) return reject("unrecognised action line");
        p.next_line();
        p.skip_empty_lines();
    }
    if (!r.dealt) b.close_pre_deal();
    if (h.is_tournament() || r.stud) {
        float ante = 0.0f;
        for (const Action& a : p.store().resolve(p.store().actions, h.actions))
            if (a.type() == ActionType::Ante) ante = std::max(ante, a.amount());
        h.ante = ante;
    }
    b.close_preflop();
    while (starts(p.line(), "*** ")) {
        std::optional<StreetLine> street;
        if (r.stud) {
            for (const StudStreet& s : kStudStreets)
                if (p.line() == s.line) street = StreetLine{s.kind, CardSet::empty()};
            if (!street) return reject("unrecognised street line");
            r.third = false;
            r.street = street->kind;
            p.next_line();
            p.skip_empty_lines();
        } else {
            street = street_line(p);
            if (!street) return reject(kBoardCutOff);
        }
        r.bets.clear();
        while (!starts(p.line(), "*** ") && !starts(p.line(), kSummary)) {
            const LineKind kind = r.line_kind(p.line());
            if (kind == LineKind::None || (kind == LineKind::Dealt && !r.stud))
                return reject("unrecognised action line");
            p.next_line();
            p.skip_empty_lines();
        }
        b.close_street(street->kind, street->cards);
    }
    if (!starts(p.line(), kSummary)) return reject("hand without a summary");
    p.next_line();
    p.skip_empty_lines();
    const PotInfo pots = pot_line(p.line());
    p.next_line();
    p.skip_empty_lines();
    if (starts(p.line(), kBoard)) {
        p.next_line();
        p.skip_empty_lines();
    }
    while (!starts(p.line(), kEnded)) {
        if (p.at_end() || !summary_line(r, p.line())) return reject("unrecognised summary line");
        p.next_line();
        p.skip_empty_lines();
    }
    b.close_summary(pots);
    p.next_line();
    return b.finish();
}

}  // namespace old

// =============================================================================================
// The current layout
// =============================================================================================
namespace current {

struct GameName {
    string_view name;
    GameType game;
};
constexpr GameName kGames[] = {
    {"Holdem", GameType::HoldEm},
    {"Omaha", GameType::Omaha},
    {"Omaha H/L", GameType::OmahaHiLo},
    {"7Stud", GameType::SevenCardStud},
    {"7Stud H/L", GameType::SevenCardStudHiLo},
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
    static constexpr string_view kDash = " - ", kTournament = "Tournament #", kLevel = "Level ";
    Header& h = b.header();
    HandStore& store = b.store();
    const size_t hash = find_byte(line, '#');
    const size_t id_end = hash == npos ? npos : find_str(line, kDash, hash);
    if (id_end == npos) return "hand line without a hand id";
    h.id = store.push_text(cut_text(line, hash + 1, id_end));
    size_t at = id_end + kDash.size();
    if (const size_t t = find_str(line, kTournament, at); t != npos) {
        const size_t number = t + kTournament.size();
        const size_t end = find_str(line, kDash, number);
        if (end == npos) fault_missing("game", line);
        Tournament record;
        record.id = store.push_text(cut_text(line, number, end));
        // A name before the number ("$5,000 GTD Tournament #27099516": a guarantee, no buy-in).
        size_t name_end = t;
        while (name_end > at && line[name_end - 1] == ' ') --name_end;
        record.name = store.push_text(cut_text(line, at, name_end));
        b.push_tournament(record);
        at = end + kDash.size();
    }
    // "Holdem(No Limit)"
    const size_t open = find_byte(line, '(', at);
    const size_t close = open == npos ? npos : find_byte(line, ')', open);
    if (close == npos) return "hand line without a game";
    const string_view game = slice(line, at, open);
    const string_view limit = slice(line, open + 1, close);
    const GameName* known = nullptr;
    for (const GameName& g : kGames)
        if (g.name == game) known = &g;
    if (known == nullptr) return other_game(game, line);
    h.game_type = known->game;
    const LimitName* bet = nullptr;
    for (const LimitName& l : kLimits)
        if (l.name == limit) bet = &l;
    if (bet == nullptr) fault_missing("limit", line);
    h.bet_type = bet->bet;

    // Stakes: " - $0.02/$0.05 - " for cash, " - Level 10 (3000.00/6000.00)- " in a tournament.
    string_view stakes = rest(line, close + 1 + kDash.size());
    if (h.is_tournament()) {
        const size_t level = find_str(line, kLevel, close);
        const size_t paren = level == npos ? npos : find_byte(line, '(', level);
        if (paren == npos) fault_missing("level", line);
        size_t level_end = paren;
        while (level_end > level + kLevel.size() && line[level_end - 1] == ' ') --level_end;
        b.tournament().level = store.push_text(cut_text(line, level + kLevel.size(), level_end));
        stakes = rest(line, paren + 1);
    } else if (const auto sign = currency_symbol(stakes)) {
        h.currency = sign->sign;
    }
    const auto sb = signed_grouped_amount(stakes);
    if (!sb || byte_at(stakes, sb->len) != '/') fault_missing("stakes", line);
    const auto bb = signed_grouped_amount(rest(stakes, sb->len + 1));
    if (!bb) fault_missing("stakes", line);
    h.small_blind = sb->value;
    h.big_blind = bb->value;

    // The date after the last "- ", then its zone.
    date_after_last(h, line, "- ", fixed_date);
    return {};
}

// "Fort Lupton 9-max Seat #5 is the button", "Table '99' 8-max Seat #3 is the button". A table
// named "Blitz ..." is the network's fast-fold pool.
void table_line(HandBuilder& b, string_view line) {
    static constexpr string_view kSeat = " Seat #", kMax = "-max", kTable = "Table '",
                                 kBlitz = "Blitz ";
    Header& h = b.header();
    size_t end = line.size();
    if (const size_t seat = rfind_str(line, kSeat); seat != npos) {
        const auto button = read_integer(rest(line, seat + kSeat.size()));
        if (button && button->value < 255) h.button_seat = static_cast<std::uint8_t>(button->value);
        end = seat;
    }
    string_view head = line.substr(0, end);
    if (ends(head, kMax)) {
        const size_t space = rfind_byte(head, ' ');
        if (space != npos) {
            const auto max = read_integer(rest(head, space + 1));
            if (max && max->value < 256) h.max_players = static_cast<std::uint8_t>(max->value);
            head = head.substr(0, space);
        }
    }
    if (starts(head, kTable) && ends(head, "'")) head = slice(head, kTable.size(), head.size() - 1);
    h.table_name =
        b.store().push_text(cut_text(line, static_cast<size_t>(head.data() - line.data()),
                                     static_cast<size_t>(head.data() - line.data()) + head.size()));
    h.fast_fold = starts(head, kBlitz);
}

// "Seat 1: Player0 ($5.07)", "... ($9.74) is sitting out".
bool seat_line(HandBuilder& b, string_view line) {
    static constexpr string_view kSittingOut = " is sitting out";
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;
    const auto seat = read_integer(rest(line, seat_line->seat_start));
    const auto chips = signed_grouped_amount(rest(line, seat_line->after_paren));
    if (!seat || seat->value > 254 || !chips) return false;
    const std::uint8_t id = b.seat_player(cut_name(line, seat_line->name),
                                          static_cast<std::uint8_t>(seat->value), chips->value);
    if (ends(line, kSittingOut)) b.parser().player(id).sitting_out = true;
    return true;
}

// "<name> <verb> <amount>[ and is all-in]", and the raise's " to <total>" after its amount.
struct Wager {
    string_view verb;
    ActionType plain, all_in;
};
constexpr Wager kWagers[] = {
    {" calls ", ActionType::Call, ActionType::CallAllIn},
    {" bets ", ActionType::Bet, ActionType::BetAllIn},
    {" raises ", ActionType::Raise, ActionType::RaiseAllIn},
    {" caps ", ActionType::Raise, ActionType::RaiseAllIn},  // a raise up to the table's cap
    {" posts the small blind ", ActionType::SmallBlind, ActionType::SmallBlind},
    {" posts the big blind ", ActionType::BigBlind, ActionType::BigBlind},
    {" posts dead ", ActionType::BigSmallBlind, ActionType::BigSmallBlind},  // both blinds
    {" posts ante ", ActionType::Ante, ActionType::Ante},
    {" posts straddle ", ActionType::ExtraBlind, ActionType::ExtraBlind},
    {" brings in ", ActionType::BringIn, ActionType::BringIn},  // stud's alone: the last row
};
constexpr ActionEnding kEndings[] = {
    {Ending(" folds"), ActionType::Fold},
    {Ending(" checks"), ActionType::Check},
    {Ending(" mucks hand"), ActionType::Muck},
    {Ending(" is sitting out"), ActionType::Sitout},
};

struct Reader {
    HandBuilder& b;
    Parser& p;
    bool collected = false;  // the rounds hold collections
    // Stud: the first street's round is being read (`third`), else `street`'s.
    bool stud = false, third = true;
    StreetKind street = StreetKind::Flop;
    StudOpening opening{};

    // "<name> collected $0.17 from main pot", "... from main pot 2", "... from side pot 1",
    // "... from side pot 1 2"? The number after a main pot is the board of a hand run twice.
    bool collect(string_view line, size_t at) {
        static constexpr string_view kCollected = " collected ", kMain = " from main pot",
                                     kSide = " from side pot";
        const auto amount = signed_grouped_amount(rest(line, at + kCollected.size()));
        if (!amount) return false;
        const size_t after = at + kCollected.size() + amount->len;
        const string_view tail = rest(line, after);
        ActionType type = ActionType::CollectMainPot;
        size_t number_at;
        if (starts(tail, kMain)) {
            number_at = kMain.size();
        } else if (starts(tail, kSide)) {
            number_at = kSide.size();
            const auto side = read_integer(rest(tail, number_at + 1));
            const std::uint64_t n = side ? side->value : 1;
            type = n <= 1   ? ActionType::CollectSidePot1
                   : n == 2 ? ActionType::CollectSidePot2
                            : ActionType::CollectSidePot3;
            if (side) number_at += 1 + side->len;
        } else {
            return false;
        }
        std::uint8_t game = 0;
        if (const auto board = read_integer(rest(tail, number_at + 1));
            board && byte_at(tail, number_at) == ' ' && board->value >= 1 && board->value < 8)
            game = static_cast<std::uint8_t>(board->value - 1);
        const Action a = p.make_action(cut_name(line, 0, at), type, amount->value);
        b.push(a);
        p.store().winners.push_back(Winner{a.player_id(), amount->value, game});
        collected = true;
        return true;
    }

    // One line of a round; false when it is none.
    bool round_line(string_view line) {
        static constexpr string_view kAllIn = " and is all-in", kShows = " shows [",
                                     kNoShow = " does not show", kCollected = " collected ",
                                     kUncalled = "Uncalled bet (", kReturned = ") returned to ",
                                     kMainPot = "Main pot ", kDealt = "Dealt to ";
        if (starts(line, kMainPot)) return true;  // the pot after the street line
        if (const ActionEnding* e = ending_row(line, kEndings)) {
            const std::uint32_t payload =
                e->type == ActionType::Fold || e->type == ActionType::Muck ? kNoCards : kNoPayload;
            b.push(Action::make(e->type, p.player_id(e->ending.name(line)), payload));
            return true;
        }
        if (ends(line, kNoShow)) return true;
        for (const Wager& w : std::span(kWagers, std::size(kWagers) - (stud ? 0 : 1))) {
            const size_t at = find_str(line, w.verb);
            if (at == npos) continue;
            float amount = signed_grouped_amount_at(rest(line, at + w.verb.size()), line);
            ActionType type = ends(line, kAllIn) ? w.all_in : w.plain;
            if (type == ActionType::BringIn) opening.bring_in();
            if (stud && opening.completes(type, third)) {
                // "raises $0.04 to $0.04": the completion is the total after " to ".
                type = ActionType::Complete;
                if (const size_t to = find_str(line, " to ", at + w.verb.size()); to != npos)
                    amount = signed_grouped_amount_at(rest(line, to + 4), line);
            }
            b.push(Action::with_amount(type, p.player_id(cut_name(line, 0, at)), amount));
            return true;
        }
        if (const size_t at = find_str(line, kShows); at != npos) {
            const std::uint8_t id = p.player_id(cut_name(line, 0, at));
            const CardSet cards = bracketed_cards(line.substr(at)).cards;
            b.push(Action::make(ActionType::Show, id, p.store().push_card_set(cards)));
            return true;
        }
        if (const size_t at = find_str(line, kCollected); at != npos && collect(line, at))
            return true;
        if (starts(line, kUncalled)) {
            const size_t returned = find_str(line, kReturned, kUncalled.size());
            if (returned == npos) return false;
            const float amount = signed_grouped_amount_at(rest(line, kUncalled.size()), line);
            b.push(p.make_action(cut_name(line, returned + kReturned.size(), line.size()),
                                 ActionType::UncalledBetReturned, amount));
            return true;
        }
        if (starts(line, kDealt) && stud) {
            if (!stud_dealt_line(b, line, third, !third && street == StreetKind::Seventh))
                fault_missing("']'", line);
            return true;
        }
        if (starts(line, kDealt)) {
            const auto a = dealt_line(b, line);
            if (!a) fault_missing("']'", line);
            b.push(*a);
            return true;
        }
        return false;
    }
};

// "Total pot $246.00 | Rake $2.76 | JP Fee $0.24": what is left after the rake, and the rake
// with the jackpot fee (which is also the jackpot's part).
PotInfo pot_line(string_view line) {
    static constexpr string_view kTotal = "Total pot ", kRake = "| Rake ";
    if (!starts(line, kTotal)) fault_missing("total pot", line);
    PotInfo pots;
    pots.total = signed_grouped_amount_at(line.substr(kTotal.size()), line);
    pots.main = pots.total;
    for (size_t bar = find_byte(line, '|'); bar != npos; bar = find_byte(line, '|', bar + 1)) {
        // "| Rake $2.76", "| JP Fee $0.24": the amount after the part's last space.
        const size_t next = find_byte(line, '|', bar + 1);
        const string_view part = slice(line, bar, next == npos ? line.size() : next);
        size_t end = part.size();
        while (end > 0 && part[end - 1] == ' ') --end;
        const size_t space = rfind_byte(part.substr(0, end), ' ');
        if (space == npos) fault_missing("rake", line);
        const float fee = signed_grouped_amount_at(rest(part, space + 1), line);
        pots.rake = sum_hundredths(pots.rake, fee);
        if (!starts(part, kRake)) pots.jackpot = sum_hundredths(pots.jackpot, fee);
    }
    return pots;
}

// "Seat 3: Hero showed [..] and won $61.50 with ...", "... and lost with ...", "Seat 5: Hero did
// not show and won 46200.00", "Seat 1: Player0 (big blind) folded on the Pre-Flop", "Seat 6:
// Hero (button) mucked [Ac 4d]"; the winners are the summary's when the rounds collect nothing.
bool summary_line(Reader& r, string_view line, bool first_board) {
    static constexpr string_view kShowed = " showed [", kAndWon = " and won ",
                                 kNoShowWon = " did not show and won ", kFolded = " folded",
                                 kMucked = " mucked [";
    if (!starts(line, "Seat ")) return false;
    const size_t colon = find_byte(line, ':');
    if (colon == npos) return false;
    if (!first_board) return true;  // a hand run twice lists its seats again for each board
    Parser& p = r.p;
    const size_t ns = colon + 2;
    const auto name_to = [&](size_t end) {
        if (end < ns) fault_missing("player name", line);
        return cut_name(line, strip_position_notes(slice(line, ns, end)));
    };
    const auto won = [&](std::uint8_t id, size_t at, string_view phrase) {
        if (at == npos || r.collected) return;
        const float amount = signed_grouped_amount_at(rest(line, at + phrase.size()), line);
        p.store().winners.push_back(Winner{id, amount, 0});
    };
    if (const size_t at = find_str(line, kShowed, ns); at != npos) {
        const Action a = p.make_card_action(name_to(at), ActionType::Show,
                                            bracketed_cards(line.substr(at)).cards);
        r.b.push(a);
        won(a.player_id(), find_str(line, kAndWon, at), kAndWon);
        return true;
    }
    if (const size_t at = find_str(line, kNoShowWon, ns); at != npos) {
        won(p.find_player(name_to(at)), at, kNoShowWon);
        return true;
    }
    if (const size_t at = find_str(line, kMucked, ns); at != npos) {
        r.b.push(p.make_card_action(name_to(at), ActionType::Muck,
                                    bracketed_cards(line.substr(at)).cards));
        return true;
    }
    if (const size_t at = find_str(line, kFolded, ns); at != npos) {
        r.b.push(Action::make(ActionType::Fold, p.find_player(name_to(at)), kNoCards));
        return true;
    }
    return true;  // a seat's note: "Seat 2: Bob (didn't bet)"
}

inline bool is_stars_line(string_view line) noexcept { return starts(line, "*** "); }

HandOutcome read_hand(HandBuilder& b) {
    static constexpr string_view kHoleCards = "*** HOLE CARDS ***", kSummary = "*** SUMMARY ***",
                                 kRunTwice = "*** RUN IT TWICE ***", kDealt = "Dealt to ",
                                 kBoard = "Board ";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Winning;
    if (const string_view reason = hand_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    table_line(b, p.line());
    p.next_line();
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    Reader r{b, p, false};
    r.stud = is_stud(h.game_type);
    // The posts; the cards dealt before them, one to each player, drew for the button.
    while (!is_stars_line(p.line())) {
        const string_view line = p.line();
        if (!starts(line, kDealt) && !r.round_line(line))
            return reject("unrecognised line before the deal");
        p.next_line();
    }
    b.close_pre_deal();
    if (h.is_tournament() || r.stud) {
        float ante = 0.0f;
        for (const Action& a : p.store().resolve(p.store().actions, h.actions))
            if (a.type() == ActionType::Ante) ante = std::max(ante, a.amount());
        h.ante = ante;
    }
    // Stud opens with its first street's line, "*** 3rd STREET ***".
    if (p.line() != kHoleCards && !(r.stud && stud_street_number(p.line()) == 3))
        return reject("hand without hole cards");
    p.next_line();
    while (!is_stars_line(p.line())) {
        if (!r.round_line(p.line())) return reject("unrecognised action line");
        p.next_line();
    }
    b.close_preflop();
    while (!starts(p.line(), kSummary)) {
        if (p.line() == kRunTwice) {
            p.next_line();
            continue;
        }
        std::optional<StreetLine> street;
        if (r.stud) {
            const auto kind = boardless_street_line(p, h.game_type);
            if (!kind) return reject("unrecognised street line");
            street = StreetLine{*kind, CardSet::empty()};
            r.third = false;
            r.street = *kind;
        } else {
            street = parse_street_line(p);
            if (!street) return reject(kBoardCutOff);
        }
        while (!is_stars_line(p.line())) {
            if (!r.round_line(p.line())) return reject("unrecognised action line");
            p.next_line();
        }
        b.close_street(street->kind, street->cards);
    }
    p.next_line();
    const PotInfo pots = pot_line(p.line());
    p.next_line();
    unsigned boards = 0;
    while (!p.line().empty() && !p.at_end()) {
        const string_view line = p.line();
        if (starts(line, kBoard)) {
            ++boards;
        } else if (!summary_line(r, line, boards <= 1)) {
            return reject("unrecognised summary line");
        }
        p.next_line();
    }
    if (!p.line().empty() && !p.at_text_end() && !p.holds_start())
        return reject("unrecognised summary line");
    b.close_summary(pots);
    return b.finish();
}

}  // namespace current

}  // namespace

std::string_view split_joined_hands(std::string_view text, std::string& buffer) {
    static constexpr std::string_view kJoined = "\xEF\xBB\xBFGame started";
    // A byte-order mark that begins a hand in the middle of a line: a line break goes before it.
    std::size_t at = find_str(text, kJoined, 1);
    while (at != npos && text[at - 1] == '\n') at = find_str(text, kJoined, at + 1);
    if (at == npos) return text;
    buffer.clear();
    buffer.reserve(text.size() + text.size() / 256);
    std::size_t from = 0;
    while (at != npos) {
        buffer.append(text.substr(from, at - from));
        if (text[at - 1] != '\n') buffer += '\n';
        from = at;
        at = find_str(text, kJoined, at + 1);
    }
    buffer.append(text.substr(from));
    return buffer;
}

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    // The layout of the text's first hand is the layout of all of them.
    const string_view first = parser.text().substr(0, 64);
    size_t at = 0;
    while (at < first.size()) {
        const size_t n = white_space_len(first.substr(at));
        const size_t skip = n != 0 ? n : (starts(first.substr(at), kByteOrderMark) ? 3 : 0);
        if (skip == 0) break;
        at += skip;
    }
    const string_view head = rest(first, at);
    if (starts(head, old::kStart)) {
        read_hands(parser, old::kStart, errors, rejected, old::read_hand);
    } else {
        read_hands(parser, starts(head, "Game Hand #") ? "Game Hand #" : "Hand #", errors, rejected,
                   current::read_hand);
    }
}

}  // namespace hs::winning
