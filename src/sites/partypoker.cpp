// PartyPoker hand histories, 2005 to 2026.
//
// A hand begins at "***** Hand History for Game <id> *****" ("For Game" since 2010; the id has
// letters since 2019); the lines "Game #<n> starts." and "#Game No : <n>" that older files write
// before it are passed over between hands. Two layouts follow:
// - the classic one: "$0.50/$1 USD NL Texas Hold'em - Wednesday, July 04, 23:18:02 EDT 2018" (or
//   "$2 USD PL Omaha": the table's buy-in, the blinds are the posts'; a tournament's "NL Texas
//   Hold'em $1 USD Buy-in - ..." with "Trny: <n> Level: <l>" and "Blinds(10/20)" lines), the table
//   line, "Seat N is the button", the players, the seat lines, posts and rounds with amounts in
//   brackets ("raises [$30 USD]"), shown hands ("shows [ 4c, Qh ]two pairs, ...") and the wins
//   ("wins $0.13 USD from the main pot with ...", "wins $239 USD"), without a summary;
// - the current one: "0.10/0.25 Omaha Hi Game Table (PL) - Mon Feb 09 12:55:26 EST 2026" (a
//   tournament's "(MTT Tournament #<n>) (Buyin $100.0 + $9.0)" after the limit), the button on the
//   table line, amounts in parentheses ("calls (1.80)", "raises 2.40 to 2.65"), the cash-out lines
//   of 2026, and a summary: "Main Pot: $38.50 Rake: $2.0", the board, and one balance line per
//   player ("bet $0.57, collected $1.09, net +$0.52[ 9s, 4d, 8s, Jc ] [ three of a kind ... ]").
// Every amount is the chips the line puts in ("raises 2.40 to 2.65" adds 2.40). The pot is the
// chips put in (reader/chip_count.hpp), and the rake what the collections leave of it: PartyPoker
// writes no returns, and collects a bet nobody called with the pot ("wins $4 USD" after an
// uncalled raise; "wins $0.59 USD from the side pot 1" for an all-in's unmatched chips; a
// balance line's "collected" holds them too).
// Seven-card stud ("$10/$20 USD FL 7 Card Stud Hi-Lo - ...") deals at "** Dealing **", then at
// "** Dealing Fourth street **" .. "** Dealing River **", with the hand's own cards on each
// ("Dealt to Hero [  Ah 4h 4d ]", then "[  Td ]"), "<name> opens" before the first to act, a
// bring-in ("bring-ins [$3 USD]") and its completion ("completes [$10 USD]", the chips added),
// and the low half's win ("wins Lo ($90.50 USD) from the main pot with 8,5,3,2,A.").
#include "sites/partypoker.hpp"

#include <optional>
#include <string_view>

#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/bets.hpp"
#include "reader/chip_count.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/local_amounts.hpp"
#include "reader/numbers.hpp"
#include "reader/open_section.hpp"
#include "reader/phrases.hpp"
#include "reader/shared_lines.hpp"

namespace hs::partypoker {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// Game line
// ---------------------------------------------------------------------------------------------

// Games and limits by their words. Other games (Double Hold'em) fail the hand.
struct GameWord {
    string_view text;
    GameType game;
};
constexpr GameWord kGames[] = {
    {"Texas Hold'em", GameType::HoldEm},
    {"Texas Holdem", GameType::HoldEm},
    {"Omaha Hi-Lo", GameType::OmahaHiLo},
    {"Omaha Hi", GameType::Omaha},
    {"Omaha", GameType::Omaha},
    {"Short Deck", GameType::ShortDeckHoldEm},
    {"Tourney Texas Holdem", GameType::HoldEm},
    {"7 Card Stud Hi-Lo", GameType::SevenCardStudHiLo},
    {"7 Card Stud", GameType::SevenCardStud},
};
struct LimitWord {
    string_view text;
    BetType bet;
};
// The classic layout's words before the game ("NL "), the current one's after it ("(NL)").
constexpr LimitWord kLimits[] = {
    {"NL", BetType::NoLimit},
    {"PL", BetType::PotLimit},
    {"FL", BetType::Limit},
};

const GameWord* game_at(string_view text) noexcept {
    for (const GameWord& g : kGames) {
        if (!starts(text, g.text)) continue;
        const string_view after = text.substr(g.text.size());
        if (after.empty() || after[0] == ' ') return &g;
    }
    return nullptr;
}
const LimitWord* limit_word(string_view word) noexcept {
    for (const LimitWord& l : kLimits)
        if (word == l.text) return &l;
    return nullptr;
}

// Zones of the dates: "EDT", "EST", the German client's "MESZ" and "MEZ", "MSKS" (Moscow summer
// time), and those the shared table names ("CET", "CEST", "MSK", ...).
struct ZoneWord {
    string_view text;
    std::int16_t minutes;
};
constexpr ZoneWord kZones[] = {
    {"EST", -300}, {"EDT", -240}, {"MEZ", 60}, {"MESZ", 120}, {"MSKS", 240}, {"ICT", 420},
};
TimeZone zone_of(string_view name) noexcept {
    for (const ZoneWord& z : kZones)
        if (name == z.text) return TimeZone::fixed(z.minutes);
    return zone_named(name);
}

constexpr string_view kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

unsigned month_of(string_view word) noexcept {
    for (unsigned m = 0; m < 12; ++m)
        if (word.size() >= 3 && starts(kMonths[m], word)) return m + 1;
    return 0;
}

// "Wednesday, July 04, 23:18:02 EDT 2018", "Wednesday,August 31, 01:41:34 MESZ 2016" and "Mon Feb
// 09 12:55:26 EST 2026": the month's word, the day, the time, the zone and the year.
void read_date(Header& h, string_view d, string_view line) {
    // The words after the weekday: month, day, time, zone, year.
    while (!d.empty() && d.front() == ' ') d.remove_prefix(1);
    string_view words[5];
    size_t count = 0, at = 0;
    const size_t comma = find_byte(d, ',');
    at = comma != npos && comma < 12 ? comma + 1 : find_byte(d, ' ');
    while (at != npos && at < d.size() && count < 5) {
        while (at < d.size() && d[at] == ' ') ++at;
        size_t end = at;
        while (end < d.size() && d[end] != ' ' && d[end] != ',') ++end;
        if (end > at) words[count++] = d.substr(at, end - at);
        at = end + 1;
    }
    if (count < 5) fault_missing("date", line);
    const unsigned month = month_of(words[0]);
    const auto day = read_integer(words[1]);
    const auto year = read_integer(words[4]);
    const string_view time = words[2];
    if (month == 0 || !day || !year || time.size() != 8) fault_missing("date", line);
    const auto hour = read_integer(time.substr(0, 2)), minute = read_integer(time.substr(3, 2)),
               second = read_integer(time.substr(6, 2));
    if (!hour || !minute || !second) fault_missing("date", line);
    h.start_date =
        pack_date(year->value, month, day->value, hour->value, minute->value, second->value);
    h.start_utc = utc_start(h.start_date, zone_of(words[3]));
}

// The blinds "10/20" or "$0.50/$1" of a text; false when it holds no '/'.
bool read_blinds(Header& h, string_view text, string_view line) {
    const size_t slash = find_byte(text, '/');
    if (slash == npos) return false;
    h.small_blind = local_amount_at(text.substr(0, slash), line);
    h.big_blind = local_amount_at(text.substr(slash + 1), line);
    return true;
}

// The tournament of a game line: "NL Texas Hold'em $1 USD Buy-in", "NL Texas Hold'em $30 Buy-in +
// $3 Entry Fee Trny:15286975 Level:4 Blinds(50/100)", "(MTT Tournament #303344128) (Buyin $100.0
// + $9.0)": the record is pushed.
void read_tournament(HandBuilder& b, string_view part, string_view line) {
    static constexpr string_view kTournament = "Tournament #", kBuyin = "(Buyin ",
                                 kBuyIn = " Buy-in",
                                 kTrny = "Trny:", kLevel = "Level:", kBlinds = "Blinds(";
    Tournament t;
    if (const size_t n = find_str(part, kTournament); n != npos) {
        const auto id = read_integer(rest(part, n + kTournament.size()));
        if (id) {
            const size_t from = n + kTournament.size();
            t.id = b.store().push_text(cut_text(part, from, from + id->len));
        }
    } else if (const size_t trny = find_str(part, kTrny); trny != npos) {
        size_t from = trny + kTrny.size();
        while (from < part.size() && part[from] == ' ') ++from;
        if (const auto id = read_integer(rest(part, from)))
            t.id = b.store().push_text(cut_text(part, from, from + id->len));
    }
    string_view money;
    if (const size_t buyin = find_str(part, kBuyin); buyin != npos) {
        money = rest(part, buyin + kBuyin.size());
    } else if (find_str(part, kBuyIn) != npos) {
        money = part;  // " $1 USD Buy-in", " $30 Buy-in  + $3 Entry Fee  Trny:..."
    }
    if (const auto first = local_amount(money)) {
        t.buy_in_kind = BuyInKind::Money;
        t.buy_in = first->value;
        t.currency = first_currency_sign(money.substr(0, first->begin + 1));
        if (const size_t plus = find_byte(money, '+', first->end); plus != npos)
            if (const auto fee = local_amount(money.substr(plus))) t.fee = fee->value;
        if (const size_t code = first->end + 1; code + 3 <= money.size())
            read_iso_code(money.substr(code, 3), t.currency_code);
    }
    if (const size_t level = find_str(part, kLevel); level != npos) {
        size_t from = level + kLevel.size();
        while (from < part.size() && part[from] == ' ') ++from;
        if (const auto l = read_integer(rest(part, from)))
            t.level = b.store().push_text(cut_text(part, from, from + l->len));
    }
    b.push_tournament(t);
    if (const size_t blinds = find_str(part, kBlinds); blinds != npos)
        read_blinds(b.header(), rest(part, blinds + kBlinds.size()), line);
}

// "Trny: 128487129 Level: 1", the classic tournament's number and level after the seat lines.
void trny_line(HandBuilder& b, string_view line) {
    static constexpr string_view kLevel = "Level:";
    Tournament& t = b.tournament();
    size_t from = 5;
    while (from < line.size() && line[from] == ' ') ++from;
    if (const auto id = read_integer(rest(line, from)); id && t.id.length() == 0)
        t.id = b.store().push_text(cut_text(line, from, from + id->len));
    if (const size_t level = find_str(line, kLevel); level != npos && t.level.length() == 0) {
        size_t at = level + kLevel.size();
        while (at < line.size() && line[at] == ' ') ++at;
        if (const auto l = read_integer(rest(line, at)))
            t.level = b.store().push_text(cut_text(line, at, at + l->len));
    }
}

// The game line of either layout.
void read_game_line(HandBuilder& b, string_view line) {
    static constexpr string_view kGameTable = " Game Table (", kDash = " - ";
    Header& h = b.header();
    // The date follows the last " - " (the current layout writes "  -  " before it).
    const size_t dash = rfind_str(line, kDash);
    if (dash == npos) fault_missing("date", line);
    read_date(h, rest(line, dash + kDash.size()), line);
    string_view head = line.substr(0, dash);
    while (!head.empty() && head.back() == ' ') head.remove_suffix(1);

    if (const size_t table = find_str(head, kGameTable); table != npos) {
        // "<sb>/<bb> <game> Game Table (<limit>) [(<tournament>) (Buyin ...)]"
        const size_t space = find_byte(head, ' ');
        const GameWord* g = space == npos ? nullptr : game_at(head.substr(space + 1));
        if (g == nullptr) fault_game(line, space == npos ? 0 : space + 1);
        const size_t limit_at = table + kGameTable.size();
        const size_t limit_end = find_byte(head, ')', limit_at);
        const LimitWord* l =
            limit_end == npos ? nullptr : limit_word(slice(head, limit_at, limit_end));
        if (l == nullptr) fault_missing("limit", line);
        h.game_type = g->game;
        h.bet_type = l->bet;
        read_blinds(h, head.substr(0, space), line);
        if (find_str(head, "Tournament #", limit_end) != npos)
            read_tournament(b, rest(head, limit_end), line);
        return;
    }
    // "[<stakes> <CODE> ][fastforward ]<limit> <game>[ <buy-in> Buy-in ...]"
    size_t at = 0;
    string_view stakes;
    if (!starts(head, "NL ") && !starts(head, "PL ") && !starts(head, "FL ")) {
        const size_t space = find_byte(head, ' ');
        if (space == npos) fault_missing("game type", line);
        stakes = head.substr(0, space);
        at = space + 1;
        if (read_iso_code(slice(head, at, at + 3), h.currency_code) &&
            starts(rest(head, at + 3), " "))
            at += 4;
        if (starts(rest(head, at), "fastforward ")) {
            h.fast_fold = true;
            at += 12;
        }
    }
    const size_t limit_end = find_byte(head, ' ', at);
    const LimitWord* l = limit_end == npos ? nullptr : limit_word(slice(head, at, limit_end));
    if (l == nullptr) fault_game(line, at);
    const GameWord* g = game_at(rest(head, limit_end + 1));
    if (g == nullptr) fault_game(line, limit_end + 1);
    h.bet_type = l->bet;
    h.game_type = g->game;
    const string_view after = rest(head, limit_end + 1 + g->text.size());
    if (find_str(after, "Buy-in") != npos) {
        read_tournament(b, after, line);
    } else if (find_byte(stakes, '/') != npos) {
        read_blinds(h, stakes, line);
        h.currency = first_currency_sign(stakes);
    } else {
        h.currency = first_currency_sign(stakes);  // the table's buy-in: the blinds are the posts'
    }
}

// "Table Clifton (Real Money)", "Table $1 Sit & Go Hero (128487129) Table #1 (Real Money)",
// "Table (303344128) Table #62 (Real Money) -- Seat 2 is the button".
void read_table_line(HandBuilder& b, string_view line) {
    static constexpr string_view kTable = "Table ", kButton = " -- Seat ";
    Header& h = b.header();
    string_view name = line.substr(kTable.size());
    if (const size_t button = find_str(name, kButton); button != npos) {
        if (const auto seat = read_integer(rest(name, button + kButton.size())))
            h.button_seat = static_cast<std::uint8_t>(seat->value);
        name = name.substr(0, button);
    }
    if (const size_t money = rfind_byte(name, '('); money != npos) name = name.substr(0, money);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    const auto from = static_cast<size_t>(name.data() - line.data());
    h.table_name = b.store().push_text(cut_text(line, from, from + name.size()));
}

// "Seat 10: Player0 ( $200 USD )", "seat 1: Player0 ( $11.84 USD )", "Seat 1: Player1 ($0.95)";
// false when the line has no chips.
bool read_seat(HandBuilder& b, string_view line) {
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;
    const auto seat = read_integer(rest(line, seat_line->seat_start));
    const string_view chips_text = rest(line, seat_line->after_paren);
    const auto chips = local_amount(chips_text);
    if (!seat || !chips) return false;
    Header& h = b.header();
    if (h.currency == 0 && !h.is_tournament()) h.currency = first_currency_sign(chips_text);
    b.seat_player(cut_name(line, seat_line->name), static_cast<std::uint8_t>(seat->value),
                  chips->value);
    return true;
}

// The cards of the first bracket of a text, separated by spaces or ", ": "** Dealing Flop ** [
// Qh, Kd, 6d ]", "Dealt to Hero [  Td 9c ]"; nullopt when it is not closed.
std::optional<CardSet> bracket_cards(string_view line) {
    const size_t open = find_byte(line, '[');
    const size_t close = open == npos ? npos : find_byte(line, ']', open);
    if (close == npos) return std::nullopt;
    CardSet cards;
    const string_view inside = slice(line, open + 1, close);
    size_t c = 0;
    while (c < inside.size()) {
        while (c < inside.size() && (inside[c] == ' ' || inside[c] == ',')) ++c;
        size_t end = c;
        while (end < inside.size() && inside[end] != ' ' && inside[end] != ',') ++end;
        if (end > c) cards.push(card_from_text(inside.substr(c, end - c)));
        c = end;
    }
    return cards;
}

// ---------------------------------------------------------------------------------------------
// Action lines
// ---------------------------------------------------------------------------------------------

// The lines of the posts and the rounds, by the phrase after the name. An amount follows
// in brackets or parentheses ("calls [$0.02 USD]", "calls (0.02)", "raises 0.06 to 0.08").
enum class Kind : std::uint8_t {
    Post,
    DeadPost,
    Wager,
    BringIn,   // stud's "bring-ins [$3 USD]"
    Complete,  // stud's "completes [$10 USD]": the chips added
    AllIn,
    MarkAllIn,
    Plain,
    Show,
    Muck,
    Win,
    Status,
    Nothing,
    CashOut,
};
struct LineKind {
    string_view phrase;
    ActionType type;
    Kind kind;
    bool ends_line;  // the phrase ends the line (else it is followed by more)
};
constexpr LineKind kLineKinds[] = {
    {" folds", ActionType::Fold, Kind::Plain, true},
    {" folds.", ActionType::Fold, Kind::Plain, true},
    {" checks", ActionType::Check, Kind::Plain, true},
    {" checks.", ActionType::Check, Kind::Plain, true},
    {" calls ", ActionType::Call, Kind::Wager, false},
    {" bets ", ActionType::Bet, Kind::Wager, false},
    {" raises ", ActionType::Raise, Kind::Wager, false},
    {" is all-In.", ActionType::Call, Kind::MarkAllIn, true},
    {" is all-In ", ActionType::Call, Kind::AllIn, false},
    {" posts small blind ", ActionType::SmallBlind, Kind::Post, false},
    {" posts big blind + dead ", ActionType::BigSmallBlind, Kind::DeadPost, false},
    {" posts big blind ", ActionType::BigBlind, Kind::Post, false},
    {" posts button blind ", ActionType::BigBlind, Kind::Post, false},
    {" posts ante ", ActionType::Ante, Kind::Post, false},
    {" shows [", ActionType::Show, Kind::Show, false},
    {" doesn't show [", ActionType::Muck, Kind::Muck, false},
    {" wins ", ActionType::CollectMainPot, Kind::Win, false},
    {" has joined the table.", ActionType::Join, Kind::Status, true},
    {" has left the table.", ActionType::Leave, Kind::Status, true},
    {" is sitting out", ActionType::Sitout, Kind::Status, true},
    {" Cashout Amount is ", ActionType::CashOut, Kind::CashOut, false},
    // Lines that carry nothing: a hand not shown, time banks and connections, the cash-out offer.
    {" does not show cards.", ActionType::Fold, Kind::Nothing, true},
    {" did not respond in time", ActionType::Fold, Kind::Nothing, true},
    {" could not respond in time.(disconnected)", ActionType::Fold, Kind::Nothing, true},
    {" will be using their time bank for this hand.", ActionType::Fold, Kind::Nothing, true},
    {" will be using his time bank for this hand.", ActionType::Fold, Kind::Nothing, true},
    {" will be using her time bank for this hand.", ActionType::Fold, Kind::Nothing, true},
    {" is disconnected. We will wait for ", ActionType::Fold, Kind::Nothing, false},
    {" has been reconnected and has ", ActionType::Fold, Kind::Nothing, false},
    {" opted for cash-out", ActionType::Fold, Kind::Nothing, true},
    {" Cash-out Premium % is ", ActionType::Fold, Kind::Nothing, false},
    {" probabilty is ", ActionType::Fold, Kind::Nothing, false},
    {"  for low.", ActionType::Fold, Kind::Nothing, true},  // "<name> shows7,5,4,2,A  for low."
    // Stud's lines last: the flop games' lines look for no more phrases than they did.
    {" opens", ActionType::Fold, Kind::Nothing, true},  // the player first to act
    {" bring-ins ", ActionType::BringIn, Kind::BringIn, false},
    {" completes ", ActionType::Complete, Kind::Complete, false},
};
// Lines that name no player, by their start.
constexpr string_view kNoPlayer[] = {
    "Your time bank will be activated", ">You have options at Table",
    "Due to current high memory use",   "Congratulations to player ",
    "Creating Main Pot with ",          "Creating Side Pot",
};

constexpr ActionType all_in(ActionType t) noexcept {
    return t == ActionType::Call  ? ActionType::CallAllIn
           : t == ActionType::Bet ? ActionType::BetAllIn
                                  : ActionType::RaiseAllIn;
}

// The first line kind whose phrase the line holds (at its end for a phrase that ends it), and
// where; nullptr when none.
const LineKind* line_kind(string_view line, size_t& at) {
    for (const LineKind& k : kLineKinds) {
        if (k.ends_line) {
            if (!ends(line, k.phrase) || line.size() == k.phrase.size()) continue;
            at = line.size() - k.phrase.size();
        } else {
            at = find_str(line, k.phrase);
            if (at == npos || at == 0) continue;
        }
        return &k;
    }
    return nullptr;
}

// "Player Hero finished in 1 place and received $3 USD", "Player Player2 finished in 4.": a
// Finish of [place, prize].
std::optional<Action> finish_line(HandBuilder& b, string_view line) {
    static constexpr string_view kPlayer = "Player ", kFinished = " finished in ",
                                 kReceived = " received ";
    if (!starts(line, kPlayer)) return std::nullopt;
    const size_t at = find_str(line, kFinished);
    if (at == npos) return std::nullopt;
    const auto place = read_integer(rest(line, at + kFinished.size()));
    float prize = 0.0f;
    if (const size_t r = find_str(line, kReceived, at); r != npos)
        if (const auto a = local_amount(rest(line, r + kReceived.size()))) prize = a->value;
    const std::uint32_t index =
        b.store().push_amounts({place ? static_cast<float>(place->value) : 0.0f, prize});
    Parser& p = b.parser();
    return Action::make(ActionType::Finish, p.find_player(cut_name(line, kPlayer.size(), at)),
                        index);
}

// "<name>: <message>", a chat line of a seated player.
std::optional<Action> chat_line(Parser& p, string_view line) {
    const size_t colon = find_str(line, ": ");
    if (colon == npos || colon == 0) return std::nullopt;
    const std::uint8_t id = p.find_player(cut_text(line, 0, colon));
    if (id >= kNoSlot) return std::nullopt;
    const TextRef ref = p.store().push_text(cut_at_boundary(line.substr(colon + 2), 255));
    return Action::make(ActionType::Say, id,
                        say_payload(ref.offset(), ref.length(), p.text_start()));
}

// The wins of a line: "<name> wins $0.13 USD from the main pot with ...", "... wins 20 chips from
// side pot #1 with ...", "... wins $1 USD from the side pot 1 with ...", "... wins Lo ($28.75
// USD) from the main pot with ...", "<name> wins $239 USD". A line may hold a second player's
// win after the first one's hand ("... Aces and Queens.Player4 wins $27,36 USD ..."): its winner
// is the seated player whose name ends right before " wins ".
void win_line(HandBuilder& b, ChipCount& chips, string_view line, size_t at) {
    static constexpr string_view kWins = " wins ", kLow = "Lo (", kSide = "side pot";
    Parser& p = b.parser();
    size_t from = 0;
    while (at != npos) {
        const size_t next = find_str(line, kWins, at + kWins.size());
        // The next win's player: the longest seated name that ends at `next`.
        size_t next_name = npos;
        for (size_t search = next; search != npos && next_name == npos;
             search = find_str(line, kWins, search + kWins.size())) {
            size_t best = 0;
            for (std::uint8_t id = 0; id < p.player_count(); ++id) {
                const string_view name = p.store().text_of(p.player(id).name);
                if (name.size() > best && search >= name.size() &&
                    ends(line.substr(0, search), name))
                    best = name.size();
            }
            if (best != 0) next_name = search - best;
        }
        const string_view part =
            slice(line, at + kWins.size(), next_name == npos ? line.size() : next_name);
        const std::uint8_t id = p.player_id(cut_name(line, from, at));
        const bool low = starts(part, kLow);
        const float amount = local_amount_at(part, line);
        ActionType type = ActionType::CollectMainPot;
        if (const size_t side = find_str(part, kSide); side != npos) {
            const auto n = local_amount(part.substr(side + kSide.size()));
            type = !n || n->value <= 1 ? ActionType::CollectSidePot1
                   : n->value == 2     ? ActionType::CollectSidePot2
                                       : ActionType::CollectSidePot3;
        }
        chips.collect(amount);
        b.push(Action::with_amount(type, id, amount));
        p.store().winners.push_back(Winner{id, amount, static_cast<std::uint8_t>(low ? 1 : 0)});
        if (next_name == npos) break;
        from = next_name;
        at = find_str(line, kWins, next_name);
    }
}

// One line of the posts or the rounds, pushed; false when no kind takes it.
bool action_line(HandBuilder& b, ChipCount& chips, OpenSection& open, string_view line) {
    Parser& p = b.parser();
    size_t at = 0;
    const LineKind* k = line_kind(line, at);
    if (k == nullptr) {
        for (const string_view start : kNoPlayer)
            if (starts(line, start)) return true;
        auto a = b.header().is_tournament() ? finish_line(b, line) : std::nullopt;
        if (!a) a = chat_line(p, line);
        if (a) b.push(*a);
        return a.has_value();
    }
    if (k->kind == Kind::Nothing) return true;
    if (k->kind == Kind::Win) {
        win_line(b, chips, line, at);
        return true;
    }
    const std::uint8_t id = p.player_id(cut_name(line, 0, at));
    const string_view after = rest(line, at + k->phrase.size());
    switch (k->kind) {
        case Kind::Plain:
            b.push(Action::make(k->type, id, k->type == ActionType::Fold ? kNoCards : kNoPayload));
            return true;
        case Kind::Status: b.push(Action::make(k->type, id, kNoPayload)); return true;
        case Kind::Show:
        case Kind::Muck: {
            // "[ 4c, Qh, 8c ]two pairs, ...", "[  Ah 4h 4d ]"
            const auto cards = bracket_cards(line.substr(at));
            if (!cards) fault_missing("cards", line);
            open.showdown(b);
            b.push(Action::make(k->type, id, p.store().push_card_set(*cards)));
            return true;
        }
        case Kind::Post:
        case Kind::DeadPost: {
            const float amount = local_amount_at(after, line);
            // "posts big blind + dead [$0.35]": the big blind live, the rest dead.
            // An ante is no bet of the round either.
            const float dead = k->type == ActionType::Ante ? amount
                               : k->kind == Kind::DeadPost && amount > b.header().big_blind &&
                                       b.header().big_blind > 0
                                   ? amount - b.header().big_blind
                                   : 0.0f;
            chips.put(id, amount, dead);
            Header& h = b.header();
            if (k->type == ActionType::SmallBlind && h.small_blind == 0) h.small_blind = amount;
            if (k->type == ActionType::BigBlind && h.big_blind == 0) h.big_blind = amount;
            b.push(Action::with_amount(k->type, id, amount));
            return true;
        }
        case Kind::Wager: {
            const float amount = local_amount_at(after, line);
            const bool whole_stack = chips.put(id, amount);
            b.push(Action::with_amount(whole_stack ? all_in(k->type) : k->type, id, amount));
            return true;
        }
        case Kind::BringIn: {
            const float amount = local_amount_at(after, line);
            chips.put(id, amount);
            b.push(Action::with_amount(ActionType::BringIn, id, amount));
            return true;
        }
        case Kind::Complete: {
            // The model's completion is the player's total in the round.
            const float amount = local_amount_at(after, line);
            const float to = sum_hundredths(chips.in_round(id), amount);
            chips.put(id, amount);
            b.push(Action::with_amount(ActionType::Complete, id, to));
            return true;
        }
        case Kind::AllIn: {
            // "<name> is all-In  [$20,90 USD]": a bet, a raise or a call by what it adds.
            const float amount = local_amount_at(after, line);
            const float level = chips.round_level(), mine = chips.in_round(id);
            const ActionType type = level == 0.0f           ? ActionType::BetAllIn
                                    : mine + amount > level ? ActionType::RaiseAllIn
                                                            : ActionType::CallAllIn;
            chips.put(id, amount);
            b.push(Action::with_amount(type, id, amount));
            return true;
        }
        case Kind::MarkAllIn: {
            // "<name> is all-In." after the player's bet, call or raise.
            Action* last = b.last_pushed();
            if (last != nullptr && last->player_id() == id &&
                (last->type() == ActionType::Bet || last->type() == ActionType::Call ||
                 last->type() == ActionType::Raise))
                *last = Action::with_amount(all_in(last->type()), id, last->amount());
            return true;
        }
        case Kind::CashOut: {
            const float amount = local_amount_at(after, line);
            b.push(Action::make(ActionType::CashOut, id, p.store().push_amounts({amount, 0.0f})));
            return true;
        }
        case Kind::Win:
        case Kind::Nothing: break;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Streets and summary
// ---------------------------------------------------------------------------------------------

struct StreetWord {
    string_view text;
    StreetKind kind;
};
constexpr StreetWord kStreets[] = {
    {"** Dealing Flop **", StreetKind::Flop},
    {"** Dealing Turn **", StreetKind::Turn},
    {"** Dealing River **", StreetKind::River},
};

// A balance line of the summary: "<name> balance $13.12, bet $0.57, collected $1.09, net +$0.52[
// 9s, 4d, 8s, Jc ] [ three of a kind, eights -- ... ]", "<name> balance $56.64, didn't bet
// (folded)", "<name> balance $50.99, lost $0.57[ 7s, Tc, 5c, Jh ] [ ... ]", "<name> balance
// $0.76, sits out", "<name> Cashed out  balance $23.01, bet $20.20, collected $23.01, ..." (the
// site paid the collection: the cash-out line gave it). False for another line.
bool balance_line(HandBuilder& b, ChipCount& chips, OpenSection& open, string_view line) {
    static constexpr string_view kBalance = " balance ", kCashedOut = " Cashed out ",
                                 kCollected = ", collected ";
    Parser& p = b.parser();
    const size_t at = find_str(line, kBalance);
    if (at == npos) return false;
    const size_t cashed = find_str(line.substr(0, at + 1), kCashedOut);
    size_t name_end = cashed == npos ? at : cashed;
    const std::uint8_t id = p.player_id(cut_name(line, 0, name_end));
    if (const size_t cards = find_byte(line, '[', at); cards != npos) {
        const auto shown = bracket_cards(line.substr(cards));
        if (!shown) fault_missing("cards", line);
        open.showdown(b);
        b.push(Action::make(ActionType::Show, id, p.store().push_card_set(*shown)));
    }
    if (const size_t c = find_str(line, kCollected, at); c != npos && cashed == npos) {
        const float amount = local_amount_at(rest(line, c + kCollected.size()), line);
        chips.collect(amount);
        b.push(Action::with_amount(ActionType::CollectMainPot, id, amount));
        p.store().winners.push_back(Winner{id, amount, 0});
    }
    return true;
}

// Lines that end a hand of the classic layout: an empty line, and the lines written before the
// next hand's first.
bool ends_hand(const Parser& p) noexcept {
    const string_view line = p.line();
    return line.empty() || p.at_end() || starts(line, "Game #") || starts(line, "#Game No");
}

HandOutcome read_hand(HandBuilder& b, ChipCount& chips) {
    static constexpr string_view kForGame = " Game ", kStars = " *****", kButton = "Seat ",
                                 kButtonEnd = " is the button",
                                 kPlayers = "Total number of players",
                                 kDealing = "** Dealing down cards **", kSummary = "** Summary **",
                                 kStudDealing = "** Dealing **", kDealtTo = "Dealt to ",
                                 kTrny = "Trny:", kBlinds = "Blinds(",
                                 kMainPot = "Main Pot:", kBoard = "Board:";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::PartyPoker;
    {
        const string_view line = p.line();
        const size_t game = find_str(line, kForGame);
        const size_t end = game == npos ? npos : find_str(line, kStars, game + 1);
        if (end == npos || end <= game + kForGame.size())
            return reject("hand line without a hand id");
        h.id = p.store().push_text(cut_text(line, game + kForGame.size(), end));
    }
    p.next_line();
    read_game_line(b, p.line());
    p.next_line();
    if (!starts(p.line(), "Table ")) return reject("hand without its table line");
    read_table_line(b, p.line());
    p.next_line();
    if (starts(p.line(), kButton) && ends(p.line(), kButtonEnd)) {
        // Stud has no button (its hands write "Seat 0 is the button").
        if (const auto seat = read_integer(rest(p.line(), kButton.size()));
            seat && !is_stud(h.game_type))
            h.button_seat = static_cast<std::uint8_t>(seat->value);
        p.next_line();
    }
    if (starts(p.line(), kPlayers)) {
        if (const size_t slash = find_byte(p.line(), '/'); slash != npos)
            if (const auto max = read_integer(rest(p.line(), slash + 1)))
                h.max_players = static_cast<std::uint8_t>(max->value);
        p.next_line();
    }
    while (starts(p.line(), "Seat ") || starts(p.line(), "seat ")) {
        if (!read_seat(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    chips.begin(p);
    if (h.is_tournament()) h.currency = 0;

    // The tournament's lines, the posts, then the cards dealt, which begin the preflop's run.
    OpenSection open;
    for (; p.line() != kDealing && p.line() != kStudDealing; p.next_line()) {
        const string_view line = p.line();
        if (ends_hand(p)) return reject(kTextEndsInsideHand);
        if (starts(line, kTrny)) {  // "Trny: 128487129 Level: 1"
            if (h.is_tournament()) trny_line(b, line);
            continue;
        }
        if (starts(line, kBlinds)) {
            read_blinds(h, line.substr(kBlinds.size()), line);
            continue;
        }
        if (!action_line(b, chips, open, line)) return reject("unrecognised line before the deal");
    }
    b.close_pre_deal();
    if (h.is_tournament()) h.ante = largest_ante(p.store(), h.actions);
    p.next_line();
    bool summary = false;
    // Stud's streets have no board ("** Dealing Fourth street **"); each deals the hand's own
    // player a card ("Dealt to Hero [  Td ]", the third street's three "[  Ah 4h 4d ]").
    const bool stud = is_stud(h.game_type);
    std::optional<StreetKind> street;  // the stud street whose round is read; none for the third
    for (; !ends_hand(p); p.next_line()) {
        const string_view line = p.line();
        if (starts(line, kDealtTo)) {
            const auto cards = bracket_cards(line);
            if (!cards) return reject("dealt line cut off inside the cards");
            const size_t open_at = find_byte(line, '[');
            size_t name_end = open_at;
            while (name_end > kDealtTo.size() && line[name_end - 1] == ' ') --name_end;
            const string_view name = cut_name(line, kDealtTo.size(), name_end);
            if (stud) {
                p.player_id(name);  // the player, seated or not
                push_stud_cards(b, name, *cards, !street, street == StreetKind::Seventh);
                continue;
            }
            const std::uint8_t id = p.player_id(name);
            b.dealt_cards_to(id);
            b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(*cards)));
            continue;
        }
        if (starts(line, "** ")) {
            if (line == kSummary) {
                summary = true;
                break;
            }
            if (stud) {
                street = dealing_stud_street(line);
                if (!street) return reject("unrecognised street line");
                chips.end_round();
                open.street(b, *street, CardSet::empty());
                continue;
            }
            const StreetWord* s = nullptr;
            for (const StreetWord& w : kStreets)
                if (starts(line, w.text)) s = &w;
            if (s == nullptr) return reject("unrecognised street line");
            const auto cards = bracket_cards(line);
            if (!cards) return reject(kBoardCutOff);
            chips.end_round();
            open.street(b, s->kind, *cards);
            continue;
        }
        if (!action_line(b, chips, open, line)) return reject("unrecognised action line");
    }
    chips.end_round();
    if (summary) {
        // The pot and rake lines, "Main Pot: $0.18 Rake: $0", are the chips' own count.
        for (p.next_line(); !ends_hand(p); p.next_line()) {
            const string_view line = p.line();
            if (starts(line, kBoard) || starts(line, kMainPot)) continue;
            if (!balance_line(b, chips, open, line)) return reject("unrecognised summary line");
        }
    }
    open.close(b);
    b.close_summary(chips.pots());
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    ChipCount chips;
    read_hands(parser, "***** Hand", errors, rejected,
               [&chips](HandBuilder& b) { return read_hand(b, chips); });
}

}  // namespace hs::partypoker
