// KingsClub hand histories:
//
//   #3264632: No Limit Holdem - 125/250
//   2020-12-30 22:34:16
//   Table 'Bobbys Room Mix' Seat 1 is the button
//   Seat 1: Player0 (325)
//   Player0: posts ante 50
//   Player1: posts the small blind 125
//   *** HOLE CARDS ***
//   Dealt to Hero: [Qc Ks]
//   Hero raises to 625
//   Player0 calls 275, and is all in
//   *** FLOP *** [8d 4d 3c]
//   Player2 shows [Kd 6d]
//   *** SUMMARY ***
//   Seat 1: Player0 (0) -325
//   Rake 1
//   Player2 wins pot (1,350)
//
// No currency is written, nor the zone of the time. A call, bet or raise writes the player's total
// in the round ("Hero calls 80" from a big blind of 40 adds 40); the reader stores the chips each
// adds. No bet returned is written: the reader returns the part of a round's highest bet that no
// one matched. The summary writes each player's stack after the hand and what the hand made or
// cost them ("-325"; nothing for a player it left even); its "wins" lines leave out pots (a side
// pot won uncontested, the rest of a pot after a bet returned), so each player's win is read from
// that figure and the chips they put in.
//
// A hand run twice deals its boards on lines of their own ("*** BOARD 2 - RIVER *** [- - - Kh]
// [Ac]", a '-' for a card the boards share) and shows its hands by run ("Run 1: Hero shows [...]").
// Stud deals its third street before any street line and names the later ones by the street
// just played ("*** 3RD STREET ***" deals the fourth card); the draw games' rounds after the first
// are "*** 1ST DRAW ***" and so on ("*** 2ND BETTING ROUND ***" marks the betting after the draw),
// though an A-5 single draw may write its draw among the first round's lines, with no line before
// it. Drawmaha is a flop game whose flop round holds the draw.
#include "sites/kingsclub.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

#include "core/chars.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "reader/bets.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/numbers.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"

namespace hs::kingsclub {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// The hand's first lines
// ---------------------------------------------------------------------------------------------

struct LimitName {
    string_view name;
    BetType bet;
};
constexpr LimitName kLimits[] = {
    {"No Limit ", BetType::NoLimit},
    {"Pot Limit ", BetType::PotLimit},
    {"Limit ", BetType::Limit},
};
// The games the model holds, by their whole name; any other is a game not read.
struct GameName {
    string_view name;
    GameType game;
};
constexpr GameName kGames[] = {
    {"Holdem", GameType::HoldEm},
    {"Hold'em", GameType::HoldEm},
    {"Omaha", GameType::Omaha},
    {"Omaha Hi-Lo", GameType::OmahaHiLo},
    {"Omaha 5 Card", GameType::FiveCardOmaha},
    {"Omaha Hi-Lo 5 Card", GameType::FiveCardOmahaHiLo},
    {"Big O", GameType::FiveCardOmahaHiLo},
    {"Seven Card Stud", GameType::SevenCardStud},
    {"Seven Card Stud Hi-Lo", GameType::SevenCardStudHiLo},
    {"Razz", GameType::Razz},
    {"Five Card Draw", GameType::FiveCardDraw},
    {"2-7 Single Draw", GameType::SingleDraw27},
    {"2-7 Triple Draw", GameType::TripleDraw27},
    {"A-5 Triple Draw", GameType::TripleDrawA5},
    {"Badugi", GameType::Badugi},
    {"2-7 Razz", GameType::Razz27},
    {"A-5 Single Draw", GameType::SingleDrawA5},
    {"Badacey", GameType::Badacey},
    {"Badeucey", GameType::Badeucey},
    {"2-7 Drawmaha", GameType::Drawmaha27},
};

// "#3264632: No Limit Holdem - 125/250". An empty reason when it was read.
string_view hand_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    // The line may begin with white space or a byte-order mark (files joined end to end).
    const size_t hash = find_byte(line, '#');
    const size_t len = hash == npos ? 0 : numeric_len(rest(line, hash + 1));
    if (len == 0 || byte_or_0(line, hash + 1 + len) != ':') fault_line(kHandLineWithoutId, line);
    h.id = b.store().push_text(cut_text(line, hash + 1, hash + 1 + len));
    const size_t at = hash + 1 + len + 2;
    const size_t dash = rfind_str(line, " - ");
    if (dash == npos || dash < at) return "hand line without stakes";
    const string_view words = slice(line, at, dash);
    const LimitName* limit = nullptr;
    for (const LimitName& l : kLimits)
        if (starts(words, l.name)) {
            limit = &l;
            break;
        }
    if (limit == nullptr) fault_game(line, at);
    h.bet_type = limit->bet;
    const string_view game = rest(words, limit->name.size());
    const GameName* known = nullptr;
    for (const GameName& g : kGames)
        if (game == g.name) known = &g;
    if (known == nullptr) fault_game(line, at);
    h.game_type = known->game;
    // "125/250" the blinds; a limit game's "40/80" its bets, the small one the big blind.
    const string_view stakes = rest(line, dash + 3);
    const auto first = first_grouped_amount(stakes);
    const size_t slash = find_byte(stakes, '/');
    const auto second =
        slash == npos ? std::nullopt : first_grouped_amount(rest(stakes, slash + 1));
    if (!first || !second) return "hand line without stakes";
    if (h.bet_type == BetType::Limit) {
        h.big_blind = *first;
        h.small_blind = *first / 2;
    } else {
        h.small_blind = *first;
        h.big_blind = *second;
    }
    return {};
}

// "Table 'Bobbys Room Mix' Seat 1 is the button", "Table '8 Game Mix'" (stud has no button).
bool table_line(Header& h, HandStore& store, string_view line) {
    static constexpr string_view kSeat = "' Seat ";
    const size_t q1 = find_byte(line, '\'');
    const size_t q2 = rfind_byte(line, '\'');
    if (!starts(line, "Table '") || q2 == q1) return false;
    h.table_name = store.push_text(cut_text(line, q1 + 1, q2));
    if (starts(rest(line, q2), kSeat))
        if (const auto n = read_integer(rest(line, q2 + kSeat.size())); n && n->value < kNone8)
            h.button_seat = static_cast<std::uint8_t>(n->value);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Actions
// ---------------------------------------------------------------------------------------------

enum class Kind : std::uint8_t {
    Plain,    // "<name> folds": no amount
    Post,     // "<name>: posts ante 50": a blind or an ante
    Wager,    // "<name> calls 80": the player's total in the round
    BringIn,  // "<name> brings in for 10": the chips
    Shows,    // "<name> shows [Kd 6d]"
    Discard,  // "<name> discards [9d Th Jc] draws [5s 9c Kd]"
    Draws,    // "<name> draws 3"
};
// What follows the name: the phrase of the table that begins at the first place after a name
// whose text before it is a seated player's name.
struct Verb {
    string_view phrase;
    Kind kind;
    ActionType type, all_in;
};
constexpr Verb kVerbs[] = {
    {" folds", Kind::Plain, ActionType::Fold, ActionType::Fold},
    {" checks", Kind::Plain, ActionType::Check, ActionType::Check},
    {" stands pat", Kind::Plain, ActionType::StandPat, ActionType::StandPat},
    {" calls ", Kind::Wager, ActionType::Call, ActionType::CallAllIn},
    {" bets ", Kind::Wager, ActionType::Bet, ActionType::BetAllIn},
    {" raises to ", Kind::Wager, ActionType::Raise, ActionType::RaiseAllIn},
    {": posts ante ", Kind::Post, ActionType::Ante, ActionType::Ante},
    {": posts the small blind ", Kind::Post, ActionType::SmallBlind, ActionType::SmallBlind},
    {": posts the big blind ", Kind::Post, ActionType::BigBlind, ActionType::BigBlind},
    {": posts blind ", Kind::Post, ActionType::BigBlind, ActionType::BigBlind},
    {" brings in for ", Kind::BringIn, ActionType::BringIn, ActionType::BringIn},
    {" shows [", Kind::Shows, ActionType::Show, ActionType::Show},
    {" discards [", Kind::Discard, ActionType::Discard, ActionType::Discard},
    {" draws ", Kind::Draws, ActionType::Draw, ActionType::Draw},
};

// The rows of kVerbs that may begin at a byte pair of the line (" f", " c", ": "...): the phrase
// is told by its first two bytes, then compared whole.
const Verb* verb_at(string_view line, size_t at) noexcept {
    const auto row = [&](std::initializer_list<std::size_t> rows) -> const Verb* {
        const string_view from = rest(line, at);
        for (const std::size_t i : rows)
            if (starts(from, kVerbs[i].phrase)) return &kVerbs[i];
        return nullptr;
    };
    if (line[at] == ':') return row({6, 7, 8, 9});
    switch (byte_or_0(line, at + 1)) {
        case 'f': return row({0});
        case 'c': return row({1, 3});
        case 's': return row({2, 11});
        case 'b': return row({4, 10});
        case 'r': return row({5});
        case 'd': return row({12, 13});
        default: return nullptr;
    }
}

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets{};
    // Each player's chips in the pot, the bets returned taken off.
    std::array<float, kNoSlot> put_in{};
    Round round = Round::Preflop;

    std::uint8_t player(string_view line, size_t end) const {
        const std::uint8_t id = p.find_player(cut_name(line, 0, end));
        if (id >= p.player_count()) fault_missing("seated player", line);
        return id;
    }
    void put(std::uint8_t id, float chips) {
        float& in = put_in[id & (kNoSlot - 1)];
        in = sum_hundredths(in, chips);
    }

    // A round ends: the part of its highest bet that no one matched goes back to its bettor.
    void end_round() {
        std::uint8_t who = kNoSlot;
        const float back = bets.unmatched(who);
        if (who < p.player_count() && back > 0) {
            put(who, -back);
            b.push(Action::with_amount(ActionType::UncalledBetReturned, who, back));
        }
        bets.clear();
    }

    // The cards dealt: a flop game's and the first deal of a draw game ("Dealt to Hero: [Qc Ks]",
    // "[X X]" for another player), stud's cards of a street.
    bool dealt(string_view line) {
        const size_t open = find_str(line, ": [");
        if (open == npos) return false;
        const GameType game = b.header().game_type;
        if (is_stud(game))
            return stud_dealt_line(b, line, round == Round::Preflop, round == Round::Seventh, ": ");
        const auto a = dealt_line(b, line, ": ");
        if (!a) return false;
        b.push(*a);
        return true;
    }

    // One line of a round; false when no kind takes it.
    bool line(string_view line) {
        static constexpr string_view kDealtTo = "Dealt to ", kRun = "Run ";
        if (starts(line, kDealtTo)) return dealt(line);
        // "Run 1: Hero shows [...]": the hand of one run of the board.
        if (starts(line, kRun)) {
            const size_t colon = find_str(line, ": ");
            if (colon == npos) return false;
            line = rest(line, colon + 2);
        }
        // The first phrase after the whole name of a seated player (a name may hold spaces and
        // verbs); where none follows one, the first phrase found (its name then read as any
        // action's name).
        const Verb* verb = nullptr;
        size_t at = npos, first_at = npos;
        const Verb* first = nullptr;
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] != ' ' && line[i] != ':') continue;
            const Verb* v = verb_at(line, i);
            if (v == nullptr) continue;
            const string_view name = cut_name(line, 0, i);
            const std::uint8_t id = p.find_player(name);
            if (id < p.player_count() && p.store().text_of(p.player(id).name) == name) {
                verb = v, at = i;
                break;
            }
            if (first == nullptr) first = v, first_at = i;
        }
        if (verb == nullptr) verb = first, at = first_at;
        if (verb == nullptr) return false;
        const std::uint8_t id = player(line, at);
        const string_view after = rest(line, at + verb->phrase.size());
        // A draw game whose history writes no line for its draw: the first draw ends the
        // betting before it (see close_draw_preflop).
        if (round == Round::Preflop &&
            (verb->kind == Kind::Discard || verb->kind == Kind::Draws ||
             verb->type == ActionType::StandPat) &&
            is_draw(b.header().game_type)) {
            end_round();
            round = Round::Flop;
        }
        switch (verb->kind) {
            case Kind::Plain:
                b.push(Action::make(verb->type, id,
                                    verb->type == ActionType::Fold ? kNoCards : kNoPayload));
                break;
            case Kind::Post:
            case Kind::BringIn: {
                const float a = first_grouped_number_at(after, line);
                if (verb->type != ActionType::Ante) bets.add(id, a);
                put(id, a);
                b.push(Action::with_amount(verb->type, id, a));
                break;
            }
            case Kind::Wager: {
                const float added =
                    sum_hundredths(first_grouped_number_at(after, line), -bets.in(id));
                const bool all_in = ends(after, " and is all in");
                bets.add(id, added);
                put(id, added);
                b.push(Action::with_amount(all_in ? verb->all_in : verb->type, id, added));
                break;
            }
            case Kind::Shows: {
                const BracketedCards c = bracketed_cards(rest(line, at));
                if (c.close == 0) fault_missing("']'", line);
                b.push(Action::make(ActionType::Show, id, p.store().push_card_set(c.cards)));
                break;
            }
            case Kind::Discard: {
                // The cards thrown, then those drawn (one bracket for each run of a hand run
                // twice).
                const BracketedCards thrown = bracketed_cards(rest(line, at));
                if (thrown.close == 0) fault_missing("']'", line);
                b.push(
                    Action::make(ActionType::Discard, id, p.store().push_card_set(thrown.cards)));
                size_t from = at + thrown.close;
                for (;;) {
                    const BracketedCards drawn = bracketed_cards(rest(line, from));
                    if (drawn.close == 0) break;
                    b.push(
                        Action::make(ActionType::Dealt, id, p.store().push_card_set(drawn.cards)));
                    from += drawn.close;
                }
                break;
            }
            case Kind::Draws: {
                const auto n = read_integer(after);
                if (!n || n->value > kMaxCards) fault_missing("number of cards", line);
                b.push(Action::make(ActionType::Draw, id, static_cast<std::uint32_t>(n->value)));
                break;
            }
        }
        return true;
    }
};

// "*** 2ND BETTING ROUND ***": the betting after a draw, in the draw's round.
bool betting_mark(string_view line) noexcept {
    return is_stars_line(line) && ends(line, " BETTING ROUND ***");
}
// A line that ends a round: a street's line, the summary's.
bool ends_round(string_view line) noexcept { return is_stars_line(line) && !betting_mark(line); }

// The streets after the first round, for read_streets.
struct Streets {
    Reader& r;
    // The cards of each board run ("BOARD 2"), and how many of them are dealt.
    mutable std::array<CardSet, 2> boards{};
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY ***"); }

    std::optional<StreetLine> street_line(Parser& p) const {
        const string_view line = p.line();
        const GameType game = r.b.header().game_type;
        if (is_boardless(game)) {
            struct Row {
                string_view line;
                StreetKind kind;
                Round round;
            };
            // Stud names a street by the one just played; the draw games by the draw.
            static constexpr Row kStud[] = {
                {"*** 3RD STREET ***", StreetKind::Flop, Round::Flop},
                {"*** 4TH STREET ***", StreetKind::Turn, Round::Turn},
                {"*** 5TH STREET ***", StreetKind::River, Round::River},
                {"*** 6TH STREET ***", StreetKind::Seventh, Round::Seventh},
            };
            static constexpr Row kDraw[] = {
                {"*** 1ST DRAW ***", StreetKind::Flop, Round::Flop},
                {"*** 2ND DRAW ***", StreetKind::Turn, Round::Turn},
                {"*** 3RD DRAW ***", StreetKind::River, Round::River},
            };
            for (const Row& row :
                 is_stud(game) ? std::span<const Row>(kStud) : std::span<const Row>(kDraw))
                if (starts(line, row.line)) {
                    r.round = row.round;
                    p.next_line();
                    return StreetLine{row.kind, CardSet::empty()};
                }
            fault_line("unrecognised street line", line);
        }
        return board_line(p, line);
    }

    // "*** FLOP *** [8d 4d 3c]", "*** TURN *** [8d 4d 3c] [5c]", "*** BOARD 2 - RIVER *** [- - -
    // Kh] [Ac]": the board's cards so far, a '-' the first board's card; the streets that are
    // new to the board are dealt, the last of them returned (a board run from the flop deals its
    // turn on its river's line).
    std::optional<StreetLine> board_line(Parser& p, string_view line) const {
        static constexpr string_view kBoard = "*** BOARD ";
        const bool board_run = starts(line, kBoard);
        const size_t board = board_run && byte_or_0(line, kBoard.size()) == '2';
        CardSet& own = boards[board];
        CardSet cards;
        size_t at = 0;
        for (;;) {
            const size_t open = find_byte(line, '[', at);
            if (open == npos) break;
            const size_t close = find_byte(line, ']', open);
            if (close == npos) return std::nullopt;
            at = close + 1;
            const string_view text = slice(line, open + 1, close);
            size_t i = 0;
            while (i < text.size()) {
                size_t sp = find_byte(text, ' ', i);
                if (sp == npos) sp = text.size();
                const string_view piece = slice(text, i, sp);
                i = sp + 1;
                if (piece.empty()) continue;
                if (piece == "-") {
                    if (cards.count >= boards[0].count) fault_missing("board cards", line);
                    cards.push(boards[0].cards[cards.count]);
                } else {
                    cards.push(card_from_text(piece));
                }
            }
        }
        if (cards.count < 3 || cards.count > 5 || own.count > cards.count)
            fault_missing("board cards", line);
        std::optional<StreetLine> last;
        const auto deal = [&](StreetKind kind, CardSet dealt) {
            if (last) r.b.close_street(last->kind, last->cards);
            last = StreetLine{kind, dealt};
        };
        if (own.count < 3) {
            CardSet flop;
            for (std::uint8_t i = 0; i < 3; ++i) flop.push(cards.cards[i]);
            deal(StreetKind::Flop, flop);
        }
        for (std::uint8_t i = std::max<std::uint8_t>(own.count, 3); i < cards.count; ++i) {
            CardSet one;
            one.push(cards.cards[i]);
            deal(i == 3 ? StreetKind::Turn : StreetKind::River, one);
        }
        own = cards;
        if (!board_run) boards[1] = cards;  // a street both boards share
        if (!last) fault_missing("board cards", line);
        p.next_line();
        return last;
    }

    bool round_ends(string_view line) const {
        if (!ends_round(line)) return false;
        r.end_round();
        return true;
    }
    bool round_line(HandBuilder&, string_view line) const {
        return betting_mark(line) || r.line(line);
    }
};

HandOutcome read_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::KingsClub;
    if (const string_view reason = hand_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    if (const auto d = loose_date(p.line())) {
        h.start_date = h.start_utc = *d;  // the zone is not written
        p.next_line();
    }
    if (!table_line(h, p.store(), p.line())) return reject("hand without a table line");
    p.next_line();
    while (starts(p.line(), "Seat ")) {
        const auto seat = read_seat_line(p.line());
        const auto chips =
            seat ? first_grouped_amount(rest(p.line(), seat->after_paren)) : std::nullopt;
        if (!seat || !chips) return reject("seat line without chips");
        const auto number = read_integer(p.line().substr(seat->seat_start, seat->seat_len));
        b.seat_player(cut_name(p.line(), seat->name),
                      number ? static_cast<std::uint8_t>(number->value) : kNone8, *chips);
        p.next_line();
    }
    Reader r{b, p};
    // The posts, up to the first cards dealt (a draw game marks its first round before them).
    static constexpr string_view kHoleCards = "*** HOLE CARDS ***";
    const string_view pre_deal = read_round(
        p, [](string_view line) { return starts(line, "Dealt to ") || ends_round(line); },
        [&](string_view line) {
            return betting_mark(line) || r.line(line) ? string_view() : kUnrecognisedPreDeal;
        });
    if (!pre_deal.empty()) return reject(pre_deal);
    b.close_pre_deal();
    for (const Action& a : p.store().resolve(p.store().actions, h.actions)) {
        if (a.type() == ActionType::SmallBlind) h.small_blind = a.amount();
        if (a.type() == ActionType::BigBlind && h.bet_type != BetType::Limit)
            h.big_blind = a.amount();
    }
    if (p.line() == kHoleCards) p.next_line();
    const string_view preflop = read_round(
        p,
        [&](string_view line) {
            if (!ends_round(line)) return false;
            r.end_round();
            return true;
        },
        [&](string_view line) {
            return betting_mark(line) || r.line(line) ? string_view() : kUnrecognisedAction;
        });
    if (!preflop.empty()) return reject(preflop);
    if (is_draw(h.game_type))
        close_draw_preflop(b);
    else
        b.close_preflop();
    if (const string_view reason = read_streets(b, Streets{r}); !reason.empty())
        return reject(reason);
    p.next_line();  // "*** SUMMARY ***"

    // "Seat 2: Player1 (9,325) -675", "Seat 1: Hero (32,500)": what the hand made each player;
    // "Rake 1"; "Player2 wins pot (1,350)", "Player1 wins (3,075) from side pot 1".
    std::array<float, kNoSlot> net{}, wins{};
    bool figures = false;  // whether any seat line writes one
    PotInfo pots;
    float sides = 0.0f;
    const string_view summary = read_round(
        p, [&](string_view line) { return line.empty() || p.at_end(); },
        [&](string_view line) {
            static constexpr string_view kRake = "Rake ", kWins = " wins ";
            if (starts(line, "Seat ")) {
                const auto seat = read_seat_line(line);
                if (!seat) return kUnrecognisedSummary;
                const std::uint8_t id = p.find_player(cut_name(line, seat->name));
                if (id >= p.player_count()) fault_missing("seated player", line);
                const size_t close = find_byte(line, ')', seat->after_paren);
                if (close == npos) return kUnrecognisedSummary;
                const string_view figure = rest(line, close + 1);
                if (const auto a = first_grouped_amount(figure)) {
                    net[id & (kNoSlot - 1)] = find_byte(figure, '-') != npos ? -*a : *a;
                    figures = true;
                }
                return string_view();
            }
            if (starts(line, kRake)) {
                pots.rake = first_grouped_number_at(rest(line, kRake.size()), line);
                return string_view();
            }
            const size_t at = find_str(line, kWins);
            if (at == npos || at == 0) return kUnrecognisedSummary;
            const string_view after = rest(line, at + kWins.size());
            const float a = first_grouped_number_at(after, line);
            const bool side = find_str(after, " side pot") != npos;
            if (side) sides = sum_hundredths(sides, a);
            const std::uint8_t id = r.player(line, at);
            wins[id & (kNoSlot - 1)] = sum_hundredths(wins[id & (kNoSlot - 1)], a);
            b.push(Action::with_amount(
                side ? ActionType::CollectSidePot1 : ActionType::CollectMainPot, id, a));
            return string_view();
        });
    if (!summary.empty()) return reject(summary);
    // Each player's win: what the hand made them and what they put in; the "wins" lines where no
    // seat line writes what the hand made anyone.
    float won = 0.0f;
    for (std::uint8_t id = 0; id < p.player_count(); ++id) {
        const float w = figures ? sum_hundredths(net[id], r.put_in[id]) : wins[id];
        if (w <= 0.0f) continue;
        p.store().winners.push_back(Winner{id, w, 0});
        won = sum_hundredths(won, w);
    }
    pots.total = sum_hundredths(won, pots.rake);
    pots.side_1 = sides;
    pots.main = sum_hundredths(pots.total, -sides);
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, "#", errors, rejected, read_hand);
}

}  // namespace hs::kingsclub
