// Winamax hand histories.
//
// A hand: the hand line (cash or tournament), the table line, the seat lines, "*** ANTE/BLINDS
// ***" with the posts and the dealt cards, "*** PRE-FLOP ***" and one round per street line,
// "*** SHOW DOWN ***" with the shown hands and the collections, and the summary. Names come first
// on every line and may hold spaces ("Incognito 4 posts small blind 2€"): each is cut by the
// phrase that follows it. Amounts carry their sign after the number ("0.05€"); play money and
// tournament chips carry none. The street lines, dealt lines, game names and dates are the shared
// readers' (shared_lines.hpp), the loops over rounds, streets and summary seats the kit's
// (rounds.hpp); the driver and the builder are every site's.
#include "sites/winamax.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"
#include "reader/tournament.hpp"

namespace hs::winamax {
namespace {

using std::size_t;
using std::string_view;

// The amount at the start of `text`; a fault when there is none.
TrailingRead amount_at(string_view text, string_view line) {
    const auto amount = amount_sign_after(text);
    if (!amount) fault_missing("amount", line);
    return *amount;
}

// ---------------------------------------------------------------------------------------------
// Hand line and table line
// ---------------------------------------------------------------------------------------------

// "Tournament "<name>" buyIn: <buy-in> level: <level> - ": the buy-in is "Free", a ticket
// ("Ticket", "Ticket only") or up to three amounts joined by '+' or '-' ("0.93-0.07", "4.50€ +
// 0.50€": buy-in and fee, with a bounty part between them when there are three). The tournament's
// number is in its table's name (read with the table line).
void read_tournament(HandBuilder& b, string_view part) {
    static constexpr string_view kBuyIn = " buyIn: ", kLevel = " level: ", kDash = " - ",
                                 kFree = "Free", kTicket = "Ticket";
    Tournament t;
    const size_t buy_in = rfind_str(part, kBuyIn);
    const size_t level = rfind_str(part, kLevel);
    // The name runs to the last quote before the buy-in: a name may hold a quote itself.
    if (const size_t quote = rfind_byte(part.substr(0, std::min(buy_in, part.size())), '"');
        quote != npos)
        t.name = b.store().push_text(part.substr(0, quote));
    if (buy_in != npos && level != npos && level > buy_in) {
        const string_view text = slice(part, buy_in + kBuyIn.size(), level);
        if (starts(text, kFree)) {
            t.buy_in_kind = BuyInKind::Freeroll;
        } else if (starts(text, kTicket)) {
            t.buy_in_kind = BuyInKind::Ticket;
        } else if (const auto parts = tournament::split_buy_in(text, amount_sign_after, "+-", true);
                   parts.count != 0) {
            t.buy_in_kind = BuyInKind::Money;
            t.currency = parts.sign;
            tournament::set_buy_in(t, parts);
        }
        const size_t from = level + kLevel.size();
        const size_t to = ends(part, kDash) ? part.size() - kDash.size() : part.size();
        t.level = b.store().push_text(cut_text(part, from, std::max(from, to)));
    }
    b.push_tournament(t);
}

// The hand line; a hand line that cannot be read is an input error.
void parse_hand_line(HandBuilder& b) {
    static constexpr string_view kHandId = "HandId: #", kDash = " - ",
                                 kTournament = " - Tournament \"";
    Parser& p = b.parser();
    Header& h = b.header();
    const string_view line = p.line();
    const size_t id_at = find_str(line, kHandId);
    if (id_at == npos) fault_line(kHandLineWithoutId, line);
    const size_t id_start = id_at + kHandId.size();
    const size_t id_end = find_str(line, kDash, id_start);
    if (id_end == npos) fault_line(kHandLineWithoutId, line);
    h.id = p.store().push_text(cut_text(line, id_start, id_end));
    if (const size_t t = find_str(line.substr(0, id_at), kTournament); t != npos)
        read_tournament(b, slice(line, t + kTournament.size(), id_at));

    const size_t game_at = id_end + kDash.size();
    const auto game = read_game(line, game_at);
    if (!game) fault_game(line, game_at);
    h.game_type = game->game;
    h.bet_type = game->bet;

    // Stakes: "(1€/2€)", or with the ante first, "(50/200/400)".
    const size_t open = find_byte(line, '(', game->end);
    const size_t close = open == npos ? npos : find_byte(line, ')', open);
    if (close == npos) fault_missing("stakes", line);
    const string_view stakes = slice(line, open + 1, close);
    float parts[3] = {};
    size_t count = 0;
    Currency sign = 0;
    for (size_t at = 0; count < 3;) {
        const TrailingRead amount = amount_at(rest(stakes, at), line);
        if (count == 0) sign = amount.sign;
        parts[count++] = amount.value;
        at += amount.len;
        if (!starts(rest(stakes, at), "/")) break;
        ++at;
    }
    h.big_blind = parts[count - 1];
    if (count > 1) h.small_blind = parts[count - 2];
    h.currency = h.is_tournament() ? 0 : sign;

    const auto date = fixed_date(rest(line, close + 1 + kDash.size()));
    if (!date) fault_missing("date", line);
    h.start_date = *date;
    // The zone follows the time ("2016/11/12 23:04:10 UTC").
    const size_t zone = rfind_byte(line, ' ');
    const TimeZone named = zone_named(zone == npos ? string_view() : rest(line, zone + 1));
    h.start_utc = utc_start(h.start_date, named);
    h.start_zoned = named.kind != TimeZone::Kind::Unknown;
    p.next_line();
}

// "Table: 'Karlsruhe' 6-max (real money) Seat #5 is the button" ("Table 'Nagoya'" and "Seat
// 0000005" in some files, no button at all in others). A tournament table's name ends with the
// tournament's number and the table's: "Quitte ou Double(27536269)#0".
bool parse_table_line(HandBuilder& b) {
    static constexpr string_view kSeat = "Seat ", kPlayMoney = "(play money)";
    Parser& p = b.parser();
    Header& h = b.header();
    const string_view line = p.line();
    const size_t q1 = find_byte(line, '\'');
    const size_t q2 = rfind_byte(line, '\'');
    if (q1 == npos || q2 == q1) return false;
    const string_view name = cut_text(line, q1 + 1, q2);
    h.table_name = p.store().push_text(name);
    if (const auto max = read_integer(rest(line, q2 + 2)))
        h.max_players = static_cast<std::uint8_t>(max->value);
    if (const size_t seat = find_str(line, kSeat, q2); seat != npos) {
        size_t at = seat + kSeat.size();
        if (starts(rest(line, at), "#")) ++at;
        if (const auto button = read_integer(rest(line, at)))
            h.button_seat = static_cast<std::uint8_t>(button->value);
    }
    if (h.is_tournament()) {
        Tournament& t = b.tournament();
        const size_t number = rfind_byte(name, '(');
        const size_t end = number == npos ? npos : find_byte(name, ')', number);
        if (end != npos) t.id = p.store().push_text(cut_text(name, number + 1, end));
        // A buy-in in money without a sign ("buyIn: 0.93-0.07") is in euros, the only money
        // Winamax plays for, unless the table is a play-money one.
        if (t.buy_in_kind == BuyInKind::Money && find_str(line, kPlayMoney, q2) != npos)
            t.buy_in_kind = BuyInKind::PlayMoney;
        else if (t.buy_in_kind == BuyInKind::Money && t.currency == 0)
            t.currency = U'€';
    }
    p.next_line();
    return true;
}

// "Seat 1: Player0 (400€)"; false when the line has no chips.
bool parse_seat_line(HandBuilder& b) {
    Parser& p = b.parser();
    const string_view line = p.line();
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;
    const auto seat = read_integer(rest(line, seat_line->seat_start));
    if (!seat) fault_missing("seat number", line);
    const auto chips = amount_sign_after(rest(line, seat_line->after_paren));
    if (!chips) return false;
    b.seat_player(cut_name(line, seat_line->name), static_cast<std::uint8_t>(seat->value),
                  chips->value);
    p.next_line();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Posts and rounds
// ---------------------------------------------------------------------------------------------

// "<name> posts small blind 2€", "... big blind 4€ out of position", "... ante 50": a small blind
// posted out of position is dead money, a big blind so posted is live.
std::optional<Action> post_line(Parser& p, string_view line) {
    static constexpr char kPosts[] = " posts ";
    static constexpr string_view kOutOfPosition = " out of position";
    static constexpr struct {
        string_view kind;
        ActionType type, out_of_position;
    } kKinds[] = {
        {"small blind ", ActionType::SmallBlind, ActionType::DeadBlind},
        {"big blind ", ActionType::BigBlind, ActionType::BigBlind},
        {"ante ", ActionType::Ante, ActionType::Ante},
    };
    const size_t at = find_lit(line, kPosts);
    if (at == npos) return std::nullopt;
    const size_t kind_at = at + std::size(kPosts) - 1;
    for (const auto& k : kKinds) {
        if (!starts(rest(line, kind_at), k.kind)) continue;
        const TrailingRead amount = amount_at(rest(line, kind_at + k.kind.size()), line);
        const ActionType type = ends(line, kOutOfPosition) ? k.out_of_position : k.type;
        return Action::with_amount(type, p.player_id(cut_name(line, 0, at)), amount.value);
    }
    return std::nullopt;
}

// Winamax writes a post of both blinds as two lines: "posts small blind 3€ out of position" (the
// two blinds' sum) then "posts big blind 0€ out of position". The second makes the first the one
// post of both that other sites write ("posts small & big blinds"); true when it did.
bool joins_both_blinds(Action* previous, const Action& a) noexcept {
    if (a.type() != ActionType::BigBlind || a.amount() != 0.0f || previous == nullptr ||
        previous->type() != ActionType::DeadBlind || previous->player_id() != a.player_id())
        return false;
    *previous = Action::with_amount(ActionType::BigSmallBlind, a.player_id(), previous->amount());
    return true;
}

// Actions named by the phrase that ends the line.
constexpr ActionEnding kEndings[] = {
    {Ending(" folds"), ActionType::Fold},
    {Ending(" checks"), ActionType::Check},
    {Ending(" denies big blind"), ActionType::Sitout},
};
// "<name> deny BB 0€", the older form of "denies big blind".
constexpr char kDenyBigBlind[] = " deny BB ";

// Bets, calls and raises: the amount after the verb (a raise's increase, as "raises 14€ to 20€"
// writes it first).
constexpr Wager kWagers[] = {
    {" calls ", ActionType::Call, ActionType::CallAllIn},
    {" bets ", ActionType::Bet, ActionType::BetAllIn},
    {" raises ", ActionType::Raise, ActionType::RaiseAllIn},
};

// "<name> collected 471.48€ from pot", "... from main pot", "... from side pot 1", "... from pot
// (HI)", "... from pot(LO)": the half of a hi/lo pot (see HandBuilder::winners_take_halves).
Action collect_line(Parser& p, string_view line, size_t at, string_view phrase) {
    static constexpr string_view kSidePot = " from side pot ";
    const TrailingRead amount = amount_at(rest(line, at + phrase.size()), line);
    const PotHalf half = ends(line, "(HI)")   ? PotHalf::High
                         : ends(line, "(LO)") ? PotHalf::Low
                                              : PotHalf::Unspecified;
    ActionType type = ActionType::CollectMainPot;
    if (const size_t side = find_str(line, kSidePot, at); side != npos) {
        const auto number = read_integer(rest(line, side + kSidePot.size()));
        const std::uint64_t n = number ? number->value : 1;
        type = n <= 1   ? ActionType::CollectSidePot1
               : n == 2 ? ActionType::CollectSidePot2
                        : ActionType::CollectSidePot3;
    }
    return Action::with_amount(type, p.player_id(cut_name(line, 0, at)), amount.value)
        .with_half(half);
}

// One line of a round; nullopt when it is none that a round holds.
std::optional<Action> action_line(Parser& p, string_view line) {
    static constexpr string_view kAllIn = " and is all-in", kCollected = " collected ";
    static constexpr char kShows[] = " shows [";
    if (const ActionEnding* e = ending_row(line, kEndings))
        return Action::make(e->type, p.player_id(e->ending.name(line)), kNoPayload);
    for (const Wager& w : kWagers) {
        const size_t at = find_str(line, w.verb);
        if (at == npos) continue;
        const TrailingRead amount = amount_at(rest(line, at + w.verb.size()), line);
        return Action::with_amount(w.type(ends(line, kAllIn)), p.player_id(cut_name(line, 0, at)),
                                   amount.value);
    }
    if (const size_t at = find_str(line, kCollected); at != npos)
        return collect_line(p, line, at, kCollected);
    if (const size_t at = find_lit(line, kShows); at != npos) {
        const std::uint8_t id = p.player_id(cut_name(line, 0, at));
        const std::uint32_t cards = p.store().push_card_set(bracketed_cards(line.substr(at)).cards);
        return Action::make(ActionType::Show, id, cards);
    }
    return std::nullopt;
}

// A line of a round, pushed; in a tournament hand also the lines only tournaments hold. False
// when no kind takes the line.
[[gnu::always_inline]] inline bool round_line(HandBuilder& b, string_view line) {
    auto a = action_line(b.parser(), line);
    if (!a && b.header().is_tournament()) a = tournament::event_line(b, line);
    if (a) b.push(*a);
    return a.has_value();
}

// ---------------------------------------------------------------------------------------------
// Summary
// ---------------------------------------------------------------------------------------------

// "Total pot 471.48€ | Rake 3€", "Total pot 56€ | No rake", "Total pot 3.37k | No rake". A total
// in thousands is rounded to its last digit ("17.68k": to 10 chips) while the collections are
// written in chips: when the chips `collected` round to the total, they are the total.
PotInfo parse_pot_line(string_view line, float collected) {
    static constexpr string_view kTotal = "Total pot ", kRake = "| Rake ";
    if (!starts(line, kTotal)) fault_missing("total pot", line);
    PotInfo pots;
    const string_view text = line.substr(kTotal.size());
    const TrailingRead total = amount_at(text, line);
    pots.total = total.value;
    const string_view written = text.substr(0, total.len);
    if (const size_t k = find_byte(written, 'k'); k != npos) {
        const size_t point = find_byte(written, '.');
        const size_t decimals = point == npos || point > k ? 0 : k - point - 1;
        float unit = 1000.0f;
        for (size_t i = 0; i < decimals && unit > 1.0f; ++i) unit /= 10.0f;
        if (collected > 0.0f && std::fabs(collected - total.value) <= unit / 2.0f)
            pots.total = collected;
    }
    pots.main = pots.total;
    if (const size_t r = find_str(line, kRake); r != npos)
        pots.rake = amount_at(line.substr(r + kRake.size()), line).value;
    return pots;
}

// "Seat 5: Player3 (button) showed [Kh Ks Ad 4d Jc] and won 471.48€ with Full of Kings and
// Tens", "... and lost with ...", "Seat 2: Player1 won 167€", "Seat 1: Player1 folded on the
// pre-flop". A hi/lo hand gives a player one line per half: the low half's win is game 1.
SeatResult parse_seat_result(HandBuilder& b, string_view line) {
    static constexpr string_view kShowed = " showed [", kWon = " won ", kAndWon = " and won ",
                                 kLow = " with LO";
    static constexpr char kFolded[] = " folded";
    Parser& p = b.parser();
    if (!starts(line, "Seat ")) return SeatResult::Reject;
    const size_t colon = find_byte(line, ':');
    if (colon == npos) fault_missing("':' after the seat number", line);
    const size_t ns = colon + 2;
    const auto name_to = [&](size_t end) {
        if (end < ns) fault_missing("player name", line);
        return cut_name(line, strip_position_notes(slice(line, ns, end)));
    };
    auto& winners = p.store().winners;
    if (const size_t w = find_str(line, kShowed, ns); w != npos) {
        const Action show =
            p.make_card_action(name_to(w), ActionType::Show, bracketed_cards(line.substr(w)).cards);
        b.push(show);
        if (const size_t won = find_str(line, kAndWon, w); won != npos) {
            const float amount = amount_at(rest(line, won + kAndWon.size()), line).value;
            const std::uint8_t game = find_str(line, kLow, won) != npos ? 1 : 0;
            winners.push_back(Winner{show.player_id(), amount, game});
        }
        return SeatResult::Action;
    }
    if (const size_t won = find_str(line, kWon, ns); won != npos) {
        const float amount = amount_at(rest(line, won + kWon.size()), line).value;
        const Action a = p.make_action(name_to(won), ActionType::CollectMainPot, amount);
        b.push(a);
        winners.push_back(Winner{a.player_id(), amount, 0});
        return SeatResult::Action;
    }
    if (const size_t f = find_lit(line, kFolded, ns); f != npos) {
        b.push(Action::make(ActionType::Fold, p.find_player(name_to(f)), kNoCards));
        return SeatResult::Action;
    }
    return SeatResult::Skip;
}

// From the "*** SUMMARY ***" line to the end of the hand; an empty reason when it was read.
string_view parse_summary(HandBuilder& b) {
    static constexpr string_view kBoard = "Board";
    Parser& p = b.parser();
    p.next_line();
    // What the rounds collected, every section of the hand being closed.
    const HandStore& store = p.store();
    float collected = 0.0f;
    const Span rounds = Span::between(b.header().actions.start(), store.actions.size());
    for (const Action& a : store.resolve(store.actions, rounds))
        if (a.type() >= ActionType::CollectMainPot && a.type() <= ActionType::CollectSidePot3)
            collected += a.amount();
    const PotInfo pots = parse_pot_line(p.line(), collected);
    p.next_line();
    while (starts(p.line(), kBoard)) p.next_line();
    const string_view reason =
        read_summary_seats(p, [&](string_view line) { return parse_seat_result(b, line); });
    if (!reason.empty()) return reason;
    b.winners_take_halves();
    b.close_summary(pots);
    return {};
}

// ---------------------------------------------------------------------------------------------
// Stud and draw
// ---------------------------------------------------------------------------------------------

// A stud hand's bring-in. Winamax leaves it out of the totals its raises write on that street:
// the completion is a raise over no bet ("Bob raises 25€ to 25€" after "Al brings in 10€"), and
// the bringer's own raise counts the chips added since ("Al raises -6.10€ to 18.90€": 18.90€ on
// top of the 10€, 3.90€ over Bob's 25€).
struct BringIn {
    std::uint8_t player = kNone8;
    float amount = 0.0f;
    bool completed = false;
};

// "<name> raises <by> to <total>" on the street of a bring-in: the completion (Complete, to the
// player's total) or a raise over it (its increase), each with the bringer's bring-in added.
Action stud_raise(Parser& p, string_view line, size_t at, BringIn& bring) {
    static constexpr string_view kRaises = " raises ", kTo = " to ", kAllIn = " and is all-in";
    // A signed amount: the bringer's raise may be written below the bet.
    const auto signed_at = [&](size_t from) {
        const bool minus = byte_at(line, from) == '-';
        TrailingRead r = amount_at(rest(line, from + minus), line);
        r.len += minus;
        if (minus) r.value = -r.value;
        return r;
    };
    const size_t by_at = at + kRaises.size();
    const TrailingRead by = signed_at(by_at);
    const size_t to = find_str(line, kTo, by_at + by.len);
    if (to == npos) fault_missing("raise total", line);
    const TrailingRead total = signed_at(to + kTo.size());
    const std::uint8_t id = p.player_id(cut_name(line, 0, at));
    const float extra = id == bring.player ? bring.amount : 0.0f;
    if (!bring.completed) {
        bring.completed = true;
        return Action::with_amount(ActionType::Complete, id, total.value + extra);
    }
    return Action::with_amount(ends(line, kAllIn) ? ActionType::RaiseAllIn : ActionType::Raise, id,
                               by.value + extra);
}

// A line of stud's and the draw games' rounds that no flop game's round holds: the cards dealt
// ("Dealt to Bob [X X 8h] [Ks]"), a bring-in ("brings in 10€", "bring-in 0.02") and its
// completion, a draw ("discards 2 cards", "discard 0 card") or a player standing pat ("stands pat
// [2h Td 8c 7c 8s]"). False for any other line.
bool boardless_line(HandBuilder& b, string_view line, Round round, BringIn& bring) {
    static constexpr string_view kDealtTo = "Dealt to ",
                                 kBringsIn[] = {" brings in ", " bring-in "},
                                 kCompletes = " completes ", kTo = "to ",
                                 kDiscards[] = {" discards ", " discard "},
                                 kStandsPat = " stands pat", kRaises = " raises ";
    Parser& p = b.parser();
    const GameType game = b.header().game_type;
    if (starts(line, kDealtTo)) {
        if (is_stud(game))
            return stud_dealt_line(b, line, round == Round::Preflop, round == Round::Seventh);
        return draw_dealt_line(b, line, round == Round::Preflop);
    }
    for (const string_view verb : kBringsIn) {
        const size_t at = find_str(line, verb);
        if (at == npos) continue;
        const Action a =
            Action::with_amount(ActionType::BringIn, p.player_id(cut_name(line, 0, at)),
                                amount_at(rest(line, at + verb.size()), line).value);
        bring = BringIn{a.player_id(), a.amount(), false};
        b.push(a);
        return true;
    }
    if (const size_t at = find_str(line, kCompletes); at != npos) {
        size_t from = at + kCompletes.size();
        if (starts(rest(line, from), kTo)) from += kTo.size();
        b.push(Action::with_amount(ActionType::Complete, p.player_id(cut_name(line, 0, at)),
                                   amount_at(rest(line, from), line).value));
        bring.completed = true;
        return true;
    }
    for (const string_view verb : kDiscards) {
        const size_t at = find_str(line, verb);
        if (at == npos) continue;
        const auto a = draw_count(p, cut_name(line, 0, at), rest(line, at + verb.size()), line);
        if (a) b.push(*a);
        return a.has_value();
    }
    if (const size_t at = find_str(line, kStandsPat);
        at != npos &&
        (at + kStandsPat.size() == line.size() || byte_at(line, at + kStandsPat.size()) == ' ')) {
        b.push(Action::make(ActionType::StandPat, p.player_id(cut_name(line, 0, at)), kNoPayload));
        return true;
    }
    if (round == Round::Preflop && bring.player != kNone8) {
        if (const size_t at = find_str(line, kRaises); at != npos) {
            b.push(stud_raise(p, line, at, bring));
            return true;
        }
    }
    return false;
}

// Stud's streets ("*** 4th STREET ***", "*** FOURTH ***") and the draws' ("*** FIRST-DRAW ***",
// whose round runs on past the "*** SECOND-BET ***" of the betting after it), then the
// showdown's; the streets end at the summary's line.
struct BoardlessStreets {
    GameType game;
    BringIn& bring;
    mutable Round round = Round::Preflop;
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY ***"); }
    std::optional<StreetLine> street_line(Parser& p) const {
        if (const auto kind = boardless_street_line(p, game)) {
            round = round_of(*kind);
            return StreetLine{*kind, CardSet::empty()};
        }
        round = Round::Showdown;
        return parse_street_line(p);
    }
    static bool round_ends(string_view line) noexcept {
        return is_stars_line(line) && !ends(line, "-BET ***");
    }
    bool round_line(HandBuilder& b, string_view line) const {
        if (is_stars_line(line)) return true;  // a betting round's line inside a draw's street
        return boardless_line(b, line, round, bring) || winamax::round_line(b, line);
    }
};

// The rounds of a game without a board from the line after the first round's ("*** 3rd STREET
// ***", "*** THIRD ***", "*** FIRST-BET ***") to the summary's: an empty reason when they were
// read.
[[gnu::cold]] string_view read_boardless_rounds(HandBuilder& b) {
    Parser& p = b.parser();
    const GameType game = b.header().game_type;
    BringIn bring;
    BoardlessStreets streets{game, bring};
    const string_view first = read_round(p, BoardlessStreets::round_ends, [&](string_view line) {
        return streets.round_line(b, line) ? string_view() : kUnrecognisedAction;
    });
    if (!first.empty()) return first;
    if (is_draw(game))
        close_draw_preflop(b);
    else
        b.close_preflop();
    return read_streets(b, streets);
}

// ---------------------------------------------------------------------------------------------
// One hand
// ---------------------------------------------------------------------------------------------

// The rounds after the preflop: each begins at its street line and ends at the next "*** "
// line; the streets end at the summary's.
struct Streets {
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY ***"); }
    static std::optional<StreetLine> street_line(Parser& p) { return parse_street_line(p); }
    static bool round_ends(string_view line) noexcept { return is_stars_line(line); }
    static bool round_line(HandBuilder& b, string_view line) {
        return winamax::round_line(b, line);
    }
};

HandOutcome read_hand(HandBuilder& b) {
    static constexpr string_view kPreFlop = "*** PRE-FLOP ***", kDealtTo = "Dealt to ",
                                 kAnteBlinds = "*** ANTE/BLINDS ***";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Winamax;
    parse_hand_line(b);
    if (!parse_table_line(b)) return reject("table line without a table name");
    // Stud has no button (some histories write "Seat #0 is the button").
    if (is_stud(h.game_type)) h.button_seat = kNone8;
    const bool boardless = is_boardless(h.game_type);
    while (starts(p.line(), "Seat ")) {
        if (!parse_seat_line(b)) return reject("seat line without chips");
    }

    // "*** ANTE/BLINDS ***": the posts, then the cards dealt, which begin the preflop's run; so
    // does a bet written before them ("Player3 raises 1€ to 3€").
    bool dealt = false;
    // The games without a board begin their first round at the first street line after the
    // posts': "*** 3rd STREET ***", "*** FIRST-BET ***".
    const auto at_preflop = [boardless](string_view line) {
        return boardless ? is_stars_line(line) && !starts(line, kAnteBlinds)
                         : starts(line, kPreFlop);
    };
    const string_view pre_deal = read_round(p, at_preflop, [&](string_view line) {
        if (starts(line, kDealtTo)) {
            if (!dealt) b.close_pre_deal();
            dealt = true;
            const auto a = dealt_line(b, line);
            if (!a) return kDealtCutOff;
            b.push(*a);
        } else if (!is_stars_line(line)) {
            auto a = post_line(p, line);
            if (!a) {
                a = action_line(p, line);
                const bool wager =
                    a &&
                    (a->type() == ActionType::Bet || a->type() == ActionType::Call ||
                     a->type() == ActionType::Raise || a->type() == ActionType::BetAllIn ||
                     a->type() == ActionType::CallAllIn || a->type() == ActionType::RaiseAllIn);
                if (wager && !dealt) {
                    b.close_pre_deal();
                    dealt = true;
                }
            }
            if (const size_t deny = a ? npos : find_lit(line, kDenyBigBlind); deny != npos)
                a = Action::make(ActionType::Sitout, p.player_id(cut_name(line, 0, deny)),
                                 kNoPayload);
            if (!a && h.is_tournament()) a = tournament::event_line(b, line);
            if (!a) return kUnrecognisedPreDeal;
            if (!joins_both_blinds(b.last_pushed(), *a)) b.push(*a);
        }
        return string_view();
    });
    if (!pre_deal.empty()) return reject(pre_deal);
    if (!dealt) b.close_pre_deal();
    if (h.is_tournament()) h.ante = largest_ante(p.store(), h.actions);
    p.next_line();

    if (boardless) {
        if (const string_view reason = read_boardless_rounds(b); !reason.empty())
            return reject(reason);
    } else {
        const string_view preflop = read_round(p, is_stars_line, [&](string_view line) {
            return round_line(b, line) ? string_view() : kUnrecognisedAction;
        });
        if (!preflop.empty()) return reject(preflop);
        b.close_preflop();
        if (const string_view reason = read_streets(b, Streets{}); !reason.empty())
            return reject(reason);
    }
    if (const string_view reason = parse_summary(b); !reason.empty()) return reject(reason);
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, "Winamax ", errors, rejected, read_hand);
}

}  // namespace hs::winamax
