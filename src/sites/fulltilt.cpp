// Full Tilt Poker hand histories.
//
// The hand line names the table (or the tournament and its table), the stakes and the game in
// either order, the local time and zone and, from 2010 on, the same time in ET in brackets:
// "Full Tilt Poker Game #32709588390: Table SDF (6 max) - CAP NL Hold'em - $0.01/$0.02 - 18:38:07
// UTC - 2013/05/24 [14:38:07 ET - 2013/05/24]", "... Game #32654487081: $5 Sit & Go (Super Turbo)
// (253843023), Table 1 - NL Hold'em - 15/30 - 19:02:47 ET - 2013/05/14". The seat lines follow,
// then the posts and "The button is in seat #4", "*** HOLE CARDS ***" and the rounds, whose lines
// begin with the player's name and no colon ("Hero raises to $12", "... calls $17.70, and is all
// in"); a raise's amount is the player's total for the street. The collections are in the rounds
// ("Player2 wins the pot ($0.04)", "Hero ties for pot 1 ($62.10) with ..."), the summary gives the
// pot, the rake and each seat's result. A hand run twice numbers its streets and its summaries.
// Tournament chips group their thousands ("2,866,582"); stakes may write them "50K/100K".
#include "sites/fulltilt.hpp"

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
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"

namespace hs::fulltilt {
namespace {

using std::size_t;
using std::string_view;

// "$0.60", "€0.02", "300", "2,866,582": the sign skipped, thousands grouped.
std::optional<NumberRead> money(string_view text) noexcept { return signed_grouped_amount(text); }
float money_at(string_view text, string_view line) { return signed_grouped_amount_at(text, line); }
// A stake, which may count in thousands, millions or billions of chips ("50K", "2B").
std::optional<NumberRead> stake(string_view text) noexcept {
    auto r = money(text);
    if (!r) return r;
    const char unit = static_cast<char>(byte_or_0(text, r->len));
    const float scale = unit == 'K' ? 1e3f : unit == 'M' ? 1e6f : unit == 'B' ? 1e9f : 0.0f;
    if (scale != 0.0f) {
        r->value *= scale;
        ++r->len;
    }
    return r;
}

// The games read: the limit's words, then the game's.
struct LimitName {
    string_view words;
    BetType bet;
};
constexpr LimitName kLimits[] = {
    {"No Limit ", BetType::NoLimit}, {"NL ", BetType::NoLimit},  {"Pot Limit ", BetType::PotLimit},
    {"PL ", BetType::PotLimit},      {"Limit ", BetType::Limit}, {"FL ", BetType::Limit},
};
struct GameName {
    string_view words;
    GameType game;
};
constexpr GameName kGames[] = {
    {"Hold'em", GameType::HoldEm},
    {"Holdem", GameType::HoldEm},
    {"Omaha", GameType::Omaha},
    {"Omaha Hi", GameType::Omaha},
    {"Omaha Hi/Lo", GameType::OmahaHiLo},
    {"Omaha H/L", GameType::OmahaHiLo},
    {"5 Card Omaha", GameType::FiveCardOmaha},
    {"5 Card Omaha Hi", GameType::FiveCardOmaha},
    {"5 Card Omaha Hi/Lo", GameType::FiveCardOmahaHiLo},
    {"5 Card Omaha H/L", GameType::FiveCardOmahaHiLo},
    {"Courchevel", GameType::Courchevel},
    {"Courchevel Hi", GameType::Courchevel},
    {"Courchevel Hi/Lo", GameType::CourchevelHiLo},
    {"Courchevel H/L", GameType::CourchevelHiLo},
    {"Stud Hi", GameType::SevenCardStud},
    {"Stud", GameType::SevenCardStud},
    {"Stud H/L", GameType::SevenCardStudHiLo},
    {"Stud Hi/Lo", GameType::SevenCardStudHiLo},
    {"Razz", GameType::Razz},
    {"5 Card Stud", GameType::FiveCardStud},
    {"5 Card Draw", GameType::FiveCardDraw},
    {"2-7 Single Draw", GameType::SingleDraw27},
    {"2-7 Triple Draw", GameType::TripleDraw27},
    {"A-5 Triple Draw", GameType::TripleDrawA5},
    {"Badugi", GameType::Badugi},
};

// A part of the hand line that names a game: "$2,000 Cap Pot Limit Omaha Hi", "CAP NL Hold'em",
// "Limit 2-7 Triple Draw". True when it names a limit; the game is then set, or the hand faults
// as a game not read.
bool game_part(Header& h, string_view part, string_view line) {
    string_view rest_of = part;
    if (starts(rest_of, "CAP ")) rest_of.remove_prefix(4);
    if (const size_t cap = find_str(rest_of, " Cap "); cap != npos) {
        if (const auto amount = money(rest_of)) h.bet_cap = amount->value;
        rest_of.remove_prefix(cap + 5);
    } else if (currency_symbol(rest_of)) {  // "$400 Pot Limit Omaha Hi": a cap of $400
        const size_t space = find_byte(rest_of, ' ');
        if (space == npos) return false;
        if (const auto amount = money(rest_of)) h.bet_cap = amount->value;
        rest_of.remove_prefix(space + 1);
    }
    for (const LimitName& l : kLimits) {
        if (!starts(rest_of, l.words)) continue;
        const string_view game = rest_of.substr(l.words.size());
        for (const GameName& g : kGames) {
            if (game != g.words) continue;
            h.game_type = g.game;
            h.bet_type = l.bet;
            return true;
        }
        fault_game(line, static_cast<size_t>(part.data() - line.data()));
    }
    return false;
}

// A part of the hand line that names the rotation of a mixed game by itself ("HORSE",
// "8-Game"), beside the part that names the game of the hand.
std::optional<MixedGame> mixed_part(string_view part) noexcept {
    for (std::size_t m = 1; m < kMixedGameCount; ++m)
        if (part == kMixedGameNames[m]) return static_cast<MixedGame>(m);
    return std::nullopt;
}

// "15:13 ET - Wed, July 21, 2010" (a short-lived form of 2010): the time, then the date.
std::optional<PackedDate> long_date(string_view time, string_view date) noexcept {
    static constexpr string_view kMonths[] = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
    const size_t comma = find_byte(date, ',');
    if (comma == npos) return std::nullopt;
    const string_view md = rest(date, comma + 2);
    const size_t space = find_byte(md, ' ');
    if (space == npos) return std::nullopt;
    std::uint64_t month = 0;
    for (size_t i = 0; i < 12; ++i)
        if (md.substr(0, space) == kMonths[i]) month = i + 1;
    const auto day = read_integer(rest(md, space + 1));
    const size_t year_at = find_str(md, ", ");
    const auto year = year_at == npos ? std::nullopt : read_integer(rest(md, year_at + 2));
    const auto hour = read_integer(time);
    const auto minute = hour ? read_integer(rest(time, hour->len + 1)) : std::nullopt;
    if (month == 0 || !day || !year || !hour || !minute) return std::nullopt;
    std::uint64_t second = 0;
    if (byte_or_0(time, hour->len + 1 + minute->len) == ':')
        if (const auto s = read_integer(rest(time, hour->len + 2 + minute->len))) second = s->value;
    return pack_date(year->value, month, day->value, hour->value, minute->value, second);
}

// "19:02:47 ET - 2013/05/14", "18:38:07 UTC - 2013/05/24 [14:38:07 ET - 2013/05/24]".
void read_date(Header& h, string_view time_part, string_view date_part) {
    const size_t zone_at = rfind_byte(time_part, ' ');
    if (zone_at == npos) return;
    const string_view time = time_part.substr(0, zone_at);
    const TimeZone zone = zone_named(rest(time_part, zone_at + 1));
    std::optional<PackedDate> date;
    if (date_part.size() >= 10 && time.size() >= 5) {
        char joined[24] = {};
        const size_t tn = std::min<size_t>(time.size(), 8);
        for (size_t i = 0; i < 10; ++i) joined[i] = date_part[i];
        joined[10] = ' ';
        // "8:19:00" has one digit for the hour: pad it.
        const size_t pad = tn == 7 ? 1 : 0;
        if (pad) joined[11] = '0';
        for (size_t i = 0; i < tn; ++i) joined[11 + pad + i] = time[i];
        date = fixed_date(string_view(joined, 19));
    }
    if (!date) date = long_date(time, date_part);
    if (!date) return;
    h.start_date = *date;
    h.start_utc = utc_start(*date, zone);
    h.start_zoned = zone.kind != TimeZone::Kind::Unknown;
    // The ET time in brackets names a zone when the local one is not known ("CT", "CCT").
    const size_t open = find_byte(date_part, '[');
    if (!h.start_zoned && open != npos) {
        const string_view et = rest(date_part, open + 1);
        const size_t dash = find_str(et, " - ");
        const size_t sp = find_byte(et, ' ');
        if (dash != npos && sp != npos && sp < dash) {
            char joined[20] = {};
            const string_view t = et.substr(0, sp), d = rest(et, dash + 3);
            if (t.size() == 8 && d.size() >= 10) {
                for (size_t i = 0; i < 10; ++i) joined[i] = d[i];
                joined[10] = ' ';
                for (size_t i = 0; i < 8; ++i) joined[11 + i] = t[i];
                if (const auto et_date = fixed_date(string_view(joined, 19))) {
                    h.start_utc = utc_start(*et_date, zone_named("ET"));
                    h.start_zoned = true;
                }
            }
        }
    }
}

// "$5 Sit & Go (Super Turbo) (253843023), Table 1", "$4 + $0.40 Rush On Demand (233183652),
// Table 5", "250 Play Money Sit & Go (247472173), Table 1", "$26 Super Turbo Matrix (244669447),
// Match 2": the tournament's number is the last parenthesis before the table.
void tournament_part(HandBuilder& b, string_view part, string_view line) {
    const size_t comma = rfind_str(part, ", ");
    const string_view head = part.substr(0, comma);
    const size_t close = rfind_byte(head, ')');
    const size_t open = close == npos ? npos : rfind_byte(head.substr(0, close), '(');
    if (open == npos) fault_missing("tournament number", line);
    Tournament t;
    const auto base = static_cast<size_t>(part.data() - line.data());
    t.id = b.store().push_text(cut_text(line, base + open + 1, base + close));
    if (const auto sign = currency_symbol(head)) {
        t.currency = sign->sign;
        t.buy_in_kind = BuyInKind::Money;
        const auto buy_in = money(head);
        if (buy_in) {
            t.buy_in = buy_in->value;
            const string_view after = rest(head, buy_in->len);
            if (starts(after, " + "))
                if (const auto fee = money(rest(after, 3))) t.fee = fee->value;
        }
    } else if (find_str(head, "Play Money") != npos) {
        t.buy_in_kind = BuyInKind::PlayMoney;
    }
    b.push_tournament(t);
    b.header().table_name =
        b.store().push_text(cut_text(line, base + comma + 2, base + part.size()));
}

// "Table SDF (6 max)", "Table Rymer (6 max, shallow)", "Table Gilmerton (heads up)".
void table_part(HandBuilder& b, string_view part, string_view line) {
    Header& h = b.header();
    string_view name = part.substr(6);
    if (ends(name, ")")) {
        const size_t open = rfind_str(name, " (");
        if (open != npos) {
            const string_view note = rest(name, open + 2);
            if (const auto max = read_integer(note); max && starts(rest(note, max->len), " max"))
                h.max_players = static_cast<std::uint8_t>(std::min<std::uint64_t>(max->value, 255));
            else if (starts(note, "heads up"))
                h.max_players = 2;
            name = name.substr(0, open);
        }
    }
    const auto base = static_cast<size_t>(name.data() - line.data());
    h.table_name = b.store().push_text(cut_text(line, base, base + name.size()));
}

// The hand line; an empty reason when it was read.
string_view hand_line(HandBuilder& b, string_view line) {
    static constexpr string_view kDash = " - ";
    Header& h = b.header();
    h.site = Site::FullTiltPoker;
    const size_t hash = find_str(line, " Game #");
    if (hash == npos)
        return find_str(line, " Tournament Summary ") != npos ? "a tournament's summary, no hand"
                                                              : "not a hand line";
    const size_t id_at = hash + 7;
    const size_t colon = find_str(line, ": ", id_at);
    if (colon == npos || colon == id_at) fault_input(std::string(kHandLineWithoutId));
    h.id = b.store().push_text(cut_text(line, id_at, colon));
    // The parts between " - "; the date's part keeps the bracket after it.
    string_view parts[8];
    size_t count = 0, at = colon + 2;
    while (count < 8) {
        const size_t dash = find_str(line, kDash, at);
        // The bracketed ET time holds a dash of its own: the date part runs to the end.
        const size_t bracket = find_byte(line, '[', at);
        if (dash == npos || (bracket != npos && bracket < dash)) {
            parts[count++] = rest(line, at);
            break;
        }
        parts[count++] = slice(line, at, dash);
        at = dash + kDash.size();
    }
    if (count < 4) return "hand line without its parts";
    if (starts(parts[0], "Table "))
        table_part(b, parts[0], line);
    else
        tournament_part(b, parts[0], line);
    bool stakes = false, game = false;
    for (size_t i = 1; i + 2 < count || (i + 2 == count && !(stakes && game)); ++i) {
        const string_view part = parts[i];
        if (const auto mixed = mixed_part(part)) {
            h.mixed = *mixed;
            continue;
        }
        if (!game && game_part(h, part, line)) {
            game = true;
            continue;
        }
        if (stakes) continue;
        const auto sb = stake(part);
        if (!sb || byte_or_0(part, sb->len) != '/') continue;
        const auto bb = stake(rest(part, sb->len + 1));
        if (!bb) continue;
        h.small_blind = sb->value;
        h.big_blind = bb->value;
        const string_view after = rest(part, sb->len + 1 + bb->len);
        if (starts(after, " Ante "))
            if (const auto ante = stake(rest(after, 6))) h.ante = ante->value;
        if (!h.is_tournament())
            if (const auto sign = currency_symbol(part)) h.currency = sign->sign;
        stakes = true;
    }
    if (!game) fault_game(line, static_cast<size_t>(parts[1].data() - line.data()));
    if (!stakes) fault_missing("stakes", line);
    read_date(h, parts[count - 2], parts[count - 1]);
    return {};
}

// "Seat 1: Hero ($0.60)", "Seat 3: Player1 ($0), is sitting out", "Seat 1: Hero (2,866,582)".
bool seat_line(HandBuilder& b, string_view line) {
    static constexpr string_view kSittingOut = ", is sitting out";
    string_view body = line;
    const bool out = ends(line, kSittingOut);
    if (out) body = line.substr(0, line.size() - kSittingOut.size());
    if (body.empty() || body.back() != ')') return false;
    const auto seat_line = read_seat_line(body);
    if (!seat_line) return false;
    const auto seat = read_integer(rest(body, seat_line->seat_start));
    const auto chips = money(rest(body, seat_line->after_paren));
    if (!seat || seat->value > 254 || !chips) return false;
    const std::uint8_t id = b.seat_player(cut_name(line, seat_line->name),
                                          static_cast<std::uint8_t>(seat->value), chips->value);
    if (out) b.parser().player(id).sitting_out = true;
    return true;
}

// "<name> <verb><amount>[, and is all in]".
constexpr Wager kWagers[] = {
    {" calls ", ActionType::Call, ActionType::CallAllIn},
    {" bets ", ActionType::Bet, ActionType::BetAllIn},
    {" raises to ", ActionType::Raise, ActionType::RaiseAllIn},
    {" posts the small blind of ", ActionType::SmallBlind, ActionType::SmallBlind},
    {" posts the big blind of ", ActionType::BigBlind, ActionType::BigBlind},
    {" posts a dead small blind of ", ActionType::DeadBlind, ActionType::DeadBlind},
    {" antes ", ActionType::Ante, ActionType::Ante},
    {" posts ", ActionType::BigBlind, ActionType::BigBlind},  // a player coming in
};
constexpr string_view kAllIn = ", and is all in";
constexpr string_view kCapped = ", and is capped";  // a bet up to the table's cap
static_assert(kCapped.size() == kAllIn.size());

constexpr ActionEnding kEndings[] = {
    {Ending(" folds"), ActionType::Fold},      {Ending(" checks"), ActionType::Check},
    {Ending(" mucks"), ActionType::Muck},      {Ending(" is sitting out"), ActionType::Sitout},
    {Ending(" stands up"), ActionType::Leave},
};
// Lines that name a player and move nothing.
constexpr string_view kNotes[] = {
    " seconds left to act", " has timed out",      " has been disconnected",
    " has reconnected",     " has requested TIME", " has returned",
    " sits down",           " is feeling ",        " is low with [",
    " is high with [",
};

// "wins the pot ($0.04)", "ties for the pot (600)", "wins the side pot (N)", "wins the high pot
// (N)", "ties for pot 1 ($62.10)", "wins pot 2 ($124.20)". A hi/lo game names the half before the
// pot: "wins the high pot", "wins the low main pot", "ties for the low side pot #1".
struct PotWord {
    string_view phrase;
    ActionType type;
};
constexpr PotWord kPots[] = {
    {" the pot (", ActionType::CollectMainPot},
    {" the main pot (", ActionType::CollectMainPot},
    {" the side pot (", ActionType::CollectSidePot1},
    {" side pot #1 (", ActionType::CollectSidePot1},
    {" side pot #2 (", ActionType::CollectSidePot2},
    {" side pot #3 (", ActionType::CollectSidePot3},
    {" pot ", ActionType::CollectMainPot},  // a board's pot: "pot 2 ("
};
// The half's word: what follows it is a pot's phrase without its " the" (" pot (", " side pot (").
struct HalfWord {
    string_view phrase;
    PotHalf half;
};
constexpr HalfWord kHalves[] = {{" the high", PotHalf::High}, {" the low", PotHalf::Low}};

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets;
    bool collected = false;
    // A game without a board, and the round being read (stud's streets tell which cards are
    // dealt face up by it; a draw game's first deal is read as a flop game's).
    bool boardless = false;
    Round round = Round::Preflop;

    // A forced or completing bet: "<name> brings in for $1", "<name> completes it to $3", either
    // "..., and is all in". The completion is the player's total for the street.
    bool stud_bet(string_view line, size_t at, string_view phrase, ActionType type) {
        const auto amount = money(rest(line, at + phrase.size()));
        if (!amount) return false;
        const size_t end = at + phrase.size() + amount->len;
        if (end != line.size() && !(ends(line, kAllIn) && end + kAllIn.size() == line.size()))
            return false;
        const Action a = p.make_action(cut_name(line, 0, at), type, amount->value);
        bets.add(a.player_id(), type == ActionType::Complete
                                    ? sum_hundredths(amount->value, -bets.in(a.player_id()))
                                    : amount->value);
        b.push(a);
        return true;
    }

    // A line of the games without a board that no flop game's round holds: the cards dealt on a
    // stud street or after a draw, a bring-in and its completion, a discard, a player standing
    // pat, the number of cards a player is dealt (a note). False for any other line.
    bool boardless_line(string_view line) {
        static constexpr string_view kBringsIn = " brings in for ",
                                     kCompletes = " completes it to ", kIsDealt = " is dealt ";
        const GameType game = b.header().game_type;
        if (starts(line, "Dealt to ")) {
            if (is_stud(game))
                return stud_dealt_line(b, line, round == Round::Preflop, round == Round::Seventh,
                                       " ", true);
            return round != Round::Preflop && draw_dealt_line(b, line);
        }
        if (const size_t at = find_str(line, kBringsIn); at != npos && at > 0)
            return stud_bet(line, at, kBringsIn, ActionType::BringIn);
        if (const size_t at = find_str(line, kCompletes); at != npos && at > 0)
            return stud_bet(line, at, kCompletes, ActionType::Complete);
        if (const size_t at = find_str(line, kIsDealt);
            at != npos && at > 0 && (ends(line, " card") || ends(line, " cards")))
            return true;
        return draw_line(b, line, " ");
    }

    bool collect(string_view line) {
        static constexpr string_view kVerbs[] = {" wins", " ties for"};
        for (const string_view verb : kVerbs) {
            const size_t v = find_str(line, verb);
            if (v == npos) continue;
            string_view after = rest(line, v + verb.size());
            PotHalf half = PotHalf::Unspecified;
            for (const HalfWord& h : kHalves) {
                if (!starts(after, h.phrase)) continue;
                after.remove_prefix(h.phrase.size());
                half = h.half;
                break;
            }
            for (const PotWord& pot : kPots) {
                PotWord w = pot;
                if (half != PotHalf::Unspecified && starts(w.phrase, " the "))
                    w.phrase.remove_prefix(4);
                if (!starts(after, w.phrase)) continue;
                size_t open = w.phrase.size() - 1;
                std::uint8_t game = 0;
                if (w.phrase == " pot ") {
                    const auto board = read_integer(rest(after, w.phrase.size()));
                    if (!board || byte_or_0(after, w.phrase.size() + board->len + 1) != '(')
                        return false;
                    if (board->value >= 1 && board->value < 8)
                        game = static_cast<std::uint8_t>(board->value - 1);
                    open = w.phrase.size() + board->len + 1;
                }
                const float amount = money_at(rest(after, open + 1), line);
                b.push_collection(p.make_action(cut_name(line, 0, v), w.type, amount), game, half);
                collected = true;
                return true;
            }
        }
        return false;
    }

    // "Hero: gg" (a seated player's chat); an observer's ("name (Observer): ...") is no one's.
    bool chat(string_view line) {
        const size_t colon = find_str(line, ": ");
        if (colon == npos || colon == 0) return false;
        const string_view name = line.substr(0, colon);
        if (ends(name, " (Observer)")) return true;
        const std::uint8_t id = p.find_player(name);
        if (id >= kNoSlot) return false;
        const TextRef ref =
            p.store().push_text(cut_at_boundary(cut_text(line, colon + 2, line.size()), 255));
        b.push(Action::make(ActionType::Say, id,
                            say_payload(ref.offset(), ref.length(), p.text_start())));
        return true;
    }

    // One line of a round (or of the posts); false when no line kind takes it.
    bool line(string_view line) {
        // An empty line, or the low hand of a hi/lo showdown on a line of its own: " (8,7,4,3,A)".
        if (line.empty() || starts(line, " (")) return true;
        if (boardless && boardless_line(line)) return true;
        for (const Wager& w : kWagers) {
            const size_t at = find_str(line, w.verb);
            if (at == npos || at == 0) continue;
            const bool all_in = ends(line, kAllIn);
            const bool capped = !all_in && ends(line, kCapped);
            const string_view tail = rest(line, at + w.verb.size());
            const auto amount = money(tail);
            if (!amount) continue;
            const size_t end = at + w.verb.size() + amount->len;
            if (end != line.size() && !((all_in || capped) && end + kAllIn.size() == line.size()))
                continue;
            const Action a = p.make_action(cut_name(line, 0, at), w.type(all_in), amount->value);
            const std::uint8_t id = a.player_id();
            float value = amount->value;
            switch (w.plain) {
                case ActionType::Raise:
                    // "raises to $12": the street's total; the model keeps the raise over the
                    // bet, and the chips added go into the round.
                    value = bets.raise_to(id, amount->value);
                    break;
                case ActionType::Ante:
                case ActionType::DeadBlind: break;
                default: bets.add(id, amount->value);
            }
            b.push(Action::with_amount(a.type(), id, value));
            return true;
        }
        if (const ActionEnding* e = ending_row(line, kEndings)) {
            const std::uint8_t id = p.find_player(e->ending.name(line));
            b.push(Action::make(e->type, id, e->type == ActionType::Muck ? kNoCards : kNoPayload));
            return true;
        }
        if (starts(line, "Uncalled bet of ")) {
            static constexpr string_view kReturned = " returned to ";
            const size_t r = find_str(line, kReturned);
            if (r == npos) return false;
            const float amount = money_at(rest(line, 16), line);
            b.push(p.make_action(cut_name(line, r + kReturned.size(), line.size()),
                                 ActionType::UncalledBetReturned, amount));
            return true;
        }
        if (starts(line, "Dealt to ")) {
            // "Dealt to Hero [8s] [Ac 9c]": the cards of every bracket.
            const size_t open = find_byte(line, '[');
            if (open == npos || line.back() != ']') return false;
            CardSet cards;
            for (size_t o = open; o != npos; o = find_byte(line, '[', o + 1)) {
                const size_t close = find_byte(line, ']', o);
                if (close == npos) return false;
                const CardSet part = parse_cards(slice(line, o + 1, close));
                for (std::uint8_t i = 0; i < part.count; ++i) cards.push(part.cards[i]);
            }
            const Action a =
                p.make_card_action(name_before(line, open, " ", 9), ActionType::Dealt, cards);
            b.push(a);
            b.dealt_cards_to(a.player_id());
            return true;
        }
        if (const size_t s = find_str(line, " shows ["); s != npos && s > 0) {
            const BracketedCards c = bracketed_cards(rest(line, s));
            if (c.close == 0) return false;
            b.push(p.make_card_action(cut_name(line, 0, s), ActionType::Show, c.cards));
            return true;
        }
        if (collect(line)) return true;
        if (find_str(line, " shows ") != npos || find_str(line, " adds ") != npos) return true;
        for (const string_view note : kNotes)
            if (find_str(line, note) != npos) return true;
        if (starts(line, "The button is in seat #")) {
            const auto seat = read_integer(rest(line, 23));
            if (seat && seat->value < 255)
                b.header().button_seat = static_cast<std::uint8_t>(seat->value);
            return true;
        }
        if (starts(line, "Players agree to Run It Twice") || starts(line, "Run It Twice"))
            return true;
        return chat(line);
    }
};

// "Total pot $16 | Rake $0.80", "Total pot 3,386,836 | Rake 0", "Total pot $30 Main pot $20. Side
// pot $10. | Rake $0".
PotInfo pot_line(string_view line) {
    static constexpr string_view kTotal = "Total pot ", kRake = "| Rake ", kMain = "Main pot ",
                                 kSide = "Side pot ";
    PotInfo pots;
    pots.total = money_at(rest(line, kTotal.size()), line);
    pots.main = pots.total;
    if (const size_t m = find_str(line, kMain); m != npos) {
        pots.main = money_at(rest(line, m + kMain.size()), line);
        float* sides[] = {&pots.side_1, &pots.side_2, &pots.side_3};
        size_t n = 0;
        for (size_t s = find_str(line, kSide); s != npos && n < 3;
             s = find_str(line, kSide, s + kSide.size())) {
            // "Side pot 2 $5." names its number in some layouts; the amount follows the sign.
            string_view after = rest(line, s + kSide.size());
            if (const auto number = read_integer(after);
                number && byte_or_0(after, number->len) == ' ' && !currency_symbol(after))
                after = rest(after, number->len + 1);
            *sides[n++] = money_at(after, line);
        }
    }
    if (const size_t r = find_str(line, kRake); r != npos)
        pots.rake = money_at(rest(line, r + kRake.size()), line);
    return pots;
}

// A summary's seat line: shown and mucked cards become actions; a hand whose rounds write no
// collection takes its winners from "collected ($50)" and "won ($62.10)". False for a line that
// is no seat line.
bool summary_seat(Reader& r, string_view line, std::uint8_t board) {
    if (!starts(line, "Seat ")) return false;
    const size_t colon = find_byte(line, ':');
    if (colon == npos) return false;
    const size_t ns = colon + 2;
    static constexpr string_view kPhrases[] = {" showed [", " mucked [",       " collected (",
                                               " won (",    " is sitting out", " didn't bet",
                                               " folded",   " mucked",         " lost"};
    size_t at = npos;
    string_view phrase;
    for (const string_view ph : kPhrases) {
        const size_t f = find_str(line, ph, ns);
        if (f < at) at = f, phrase = ph;
    }
    if (at == npos) return true;  // "Seat 2: Gamboul (big blind)": a note
    const string_view name = strip_position_notes(slice(line, ns, at));
    Parser& p = r.p;
    const std::uint8_t id = p.find_player(cut_name(line, name));
    if (phrase == kPhrases[0] || phrase == kPhrases[1]) {
        const BracketedCards c = bracketed_cards(rest(line, at));
        const ActionType type = phrase == kPhrases[0] ? ActionType::Show : ActionType::Muck;
        r.b.push(Action::make(type, id, p.store().push_card_set(c.cards)));
    }
    if (!r.collected) {
        for (const string_view won : {string_view(" collected ("), string_view(" won (")}) {
            const size_t w = find_str(line, won, ns);
            if (w == npos) continue;
            const float amount = money_at(rest(line, w + won.size()), line);
            r.b.push(Action::with_amount(ActionType::CollectMainPot, id, amount));
            p.store().winners.push_back(Winner{id, amount, board});
            break;
        }
    }
    return true;
}

// A street line with the pot after it: "*** FLOP *** [Td Qc Js] (Total Pot: $0.04, 2 Players)";
// Courchevel's "*** FLOPET *** [9h]" shows the flop's first card before the preflop round.
bool is_street(string_view line) noexcept { return is_stars_line(line) && !starts(line, "*** SU"); }

HandOutcome read_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    if (const string_view reason = hand_line(b, p.line()); !reason.empty()) return reject(reason);
    p.next_line();
    p.skip_empty_lines();
    if (starts(p.line(), "Seats: ")) {  // the table's size
        p.next_line();
        p.skip_empty_lines();
    }
    while (starts(p.line(), "Seat ")) {
        if (!seat_line(b, p.line())) return reject("seat line without chips");
        p.next_line();
        p.skip_empty_lines();
    }
    Reader r{b, p, {}, false, is_boardless(h.game_type)};
    r.bets.clear();
    // The posts, up to the hole cards.
    while (!is_stars_line(p.line())) {
        if (p.at_end()) return reject(kTextEndsInsideHand);
        if (!r.line(p.line())) return reject(kUnrecognisedPreDeal);
        p.next_line();
    }
    b.close_pre_deal();
    if (h.is_tournament() && h.ante == 0.0f) h.ante = largest_ante(p.store(), h.actions);
    // Stud opens with its first street ("*** 3RD STREET ***", five-card stud's "*** 2ND STREET
    // *** (Total Pot: 1,050, 7 Players)"); the streets after it count from its number.
    std::optional<std::uint8_t> first_street;
    if (is_stud(h.game_type)) first_street = stud_street_number(p.line());
    if (!first_street && !starts(p.line(), "*** HOLE CARDS"))
        return reject("hand without hole cards");
    p.next_line();
    CardSet shown;
    const auto round = [&]() -> string_view {
        return read_round(
            p, [](string_view line) { return is_stars_line(line); },
            [&](string_view line) { return r.line(line) ? string_view() : kUnrecognisedAction; });
    };
    if (const string_view reason = round(); !reason.empty()) return reject(reason);
    if (starts(p.line(), "*** FLOPET ")) {
        shown = bracketed_cards(p.line()).cards;
        p.next_line();
        if (const string_view reason = round(); !reason.empty()) return reject(reason);
    }
    b.close_preflop(shown);
    while (is_street(p.line())) {
        if (r.boardless) {
            if (const auto kind = boardless_street_line(p, h.game_type, first_street.value_or(3))) {
                constexpr Round kRounds[] = {Round::Flop, Round::Turn, Round::River,
                                             Round::Showdown, Round::Seventh};
                r.round = kRounds[static_cast<size_t>(*kind)];
                r.bets.clear();
                if (const string_view reason = round(); !reason.empty()) return reject(reason);
                b.close_street(*kind, CardSet::empty());
                continue;
            }
            r.round = Round::Showdown;
        }
        const string_view line = p.line();
        // The board ends at its last ']': the pot after it is not read.
        const size_t close = rfind_byte(line, ']');
        StreetLine street{StreetKind::Showdown, CardSet::empty()};
        const size_t stars = find_str(line, " ***", 4);
        if (stars == npos) return reject("unrecognised street line");
        string_view name = slice(line, 4, stars);
        if (const size_t sp = rfind_byte(name, ' ');
            sp != npos && is_ascii_digit(byte_or_0(name, sp + 1)))
            name = name.substr(0, sp);
        if (name == "FLOP")
            street.kind = StreetKind::Flop;
        else if (name == "TURN")
            street.kind = StreetKind::Turn;
        else if (name == "RIVER")
            street.kind = StreetKind::River;
        else if (name != "SHOW DOWN" && name != "SHOWDOWN")
            return reject("unrecognised street line");
        if (street.kind != StreetKind::Showdown) {
            if (close == npos) return reject(kBoardCutOff);
            const size_t open = rfind_byte(line.substr(0, close), '[');
            if (open == npos) return reject(kBoardCutOff);
            if (street.kind == StreetKind::Flop) {
                street.cards = shown;
                // A flop of two cards after Courchevel's first, or the whole flop.
                const size_t first = find_byte(line, '[');
                const CardSet c = parse_cards(slice(line, first + 1, find_byte(line, ']', first)));
                for (std::uint8_t i = 0; i < c.count; ++i) street.cards.push(c.cards[i]);
            } else {
                street.cards = parse_cards(slice(line, open + 1, close));
            }
        }
        p.next_line();
        r.bets.clear();
        if (const string_view reason = round(); !reason.empty()) return reject(reason);
        b.close_street(street.kind, street.cards);
    }
    if (!starts(p.line(), "*** SUMMARY ***")) return reject("hand without a summary");
    p.next_line();
    p.skip_empty_lines();
    if (starts(p.line(), "Duration ")) {
        p.next_line();
        p.skip_empty_lines();
    }
    if (!starts(p.line(), "Total pot ")) return reject("summary without a pot line");
    const PotInfo pots = pot_line(p.line());
    p.next_line();
    std::uint8_t board = 0;
    // The summary ends at an empty line, but for the empty lines that clients writing UTF-16 put
    // between all lines: after those, a line that no summary holds ends it.
    for (;;) {
        if (p.line().empty()) {
            p.skip_empty_lines();
            const string_view next = p.line();
            if (!starts(next, "Seat ") && !starts(next, "Board: ") && !starts(next, "Pot ") &&
                !starts(next, "*** SUMMARY "))
                break;
        }
        if (p.at_end()) break;
        const string_view line = p.line();
        if (starts(line, "*** SUMMARY ")) {
            const auto n = read_integer(rest(line, 12));
            if (n && n->value >= 1 && n->value < 8) board = static_cast<std::uint8_t>(n->value - 1);
        } else if (!starts(line, "Board: ") && !starts(line, "Pot ") &&
                   !summary_seat(r, line, board)) {
            return reject(kUnrecognisedSummary);
        }
        p.next_line();
    }
    b.close_summary(pots);
    return b.finish();
}

}  // namespace

bool in_stars_layout(string_view text) noexcept {
    const string_view head = text.substr(0, std::min<size_t>(text.size(), 4096));
    return find_str(head, "Full Tilt Hand #") < find_str(head, "Full Tilt Poker ");
}

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    // Older clients and archives write the site's name in one word.
    const string_view head = parser.text().substr(0, std::min<size_t>(parser.text().size(), 4096));
    const size_t one_word = find_str(head, "FullTiltPoker Game #");
    const size_t three_words = find_str(head, "Full Tilt Poker ");
    const string_view start =
        one_word < three_words ? string_view("FullTiltPoker Ga") : string_view("Full Tilt Poker ");
    read_hands(parser, start, errors, rejected, read_hand);
}

}  // namespace hs::fulltilt
