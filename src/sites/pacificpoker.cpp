// 888poker hand histories (written under the brands 888poker, Cassava, Pacific Poker and their
// regional skins).
//
// A hand: "#Game No : <id>", the brand's line "***** 888poker Hand History for Game <id> *****",
// the stakes line ("$0.50/$1 Blinds No Limit Holdem - *** 06 01 2014 14:52:42"), the table line
// (a tournament's names the tournament and its buy-in first), "Seat N is the button", the number
// of players, the seat lines, the posts, "** Dealing down cards **" and the dealt cards, one round
// per "** Dealing flop ** [ 8h, Ks, 9c ]" line, and "** Summary **" with the shown hands and the
// collections. Every amount is in brackets and is the chips the line puts in ("raises [$1.40]"
// adds $1.40). The client writes card letters and number forms in its own language: the cards
// are read by the table below, the amounts by local_amount.
//
// The history writes neither the pot nor the rake nor the chips returned: the reader keeps the
// chips each player puts in, writes the return of a bet nobody matched (see ChipCount),
// and the pot is what stays in; the rake is the pot less the collections.
#include "sites/pacificpoker.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "core/clock.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "reader/chip_count.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/local_amounts.hpp"
#include "reader/numbers.hpp"
#include "reader/open_section.hpp"
#include "reader/phrases.hpp"
#include "reader/shared_lines.hpp"

namespace hs::pacificpoker {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// Cards
// ---------------------------------------------------------------------------------------------

// Rank words of the clients, as the corpus shows them: English, Dutch (Heer, Vrouw, Boer),
// Swedish (Kung, Dam, Knekt, Ess) and Russian (Король, Дама, Валет, Туз), the last both in UTF-8
// and as the cp1251 bytes of a file read as cp1252 ("Â" for "В"). Longer words first.
struct RankWord {
    string_view text;
    std::uint8_t rank;
};
constexpr RankWord kRanks[] = {
    {"10", 10},    {"Kn", 11},     {"A", 1},       {"K", 13},      {"Q", 12},
    {"J", 11},     {"T", 10},      {"H", 13},      {"V", 12},      {"B", 11},
    {"D", 12},     {"E", 1},       {"\u041A", 13}, {"\u0414", 12}, {"\u0412", 11},
    {"\u0422", 1}, {"\u00CA", 13}, {"\u00C4", 12}, {"\u00C2", 11}, {"\u00D2", 1},
};
// Suits: the letters, and the German client's words. Card suits are s, c, h, d in bits 6-7.
struct SuitWord {
    string_view text;
    std::uint8_t suit;
};
constexpr SuitWord kSuits[] = {
    {"s", 0}, {"c", 1}, {"h", 2}, {"d", 3}, {"Pik", 0}, {"Kreuz", 1}, {"Herz", 2}, {"Karo", 3},
};

Card card_of(string_view text, string_view line) {
    for (const RankWord& r : kRanks) {
        if (!starts(text, r.text)) continue;
        if (r.rank >= 2 && r.rank <= 9) break;
        const string_view suit = text.substr(r.text.size());
        for (const SuitWord& s : kSuits)
            if (suit == s.text) return static_cast<Card>(r.rank | s.suit << 6);
    }
    if (!text.empty() && text[0] >= '2' && text[0] <= '9') {
        const string_view suit = text.substr(1);
        for (const SuitWord& s : kSuits)
            if (suit == s.text) return static_cast<Card>((text[0] - '0') | s.suit << 6);
    }
    fault_missing("card", line);
}

// "[ 8h, Ks, 9c ]" (the bracket's contents), cards separated by ", " or spaces.
CardSet cards_in(string_view inside, string_view line) {
    CardSet set;
    size_t at = 0;
    for (;;) {
        while (at < inside.size() && (inside[at] == ' ' || inside[at] == ',')) ++at;
        if (at >= inside.size()) break;
        size_t end = at;
        while (end < inside.size() && inside[end] != ' ' && inside[end] != ',') ++end;
        set.push(card_of(inside.substr(at, end - at), line));
        at = end;
    }
    return set;
}

// The cards of the first bracket of a line at or after `from`; nullopt when it is not closed.
std::optional<CardSet> bracket_cards(string_view line, size_t from) {
    const size_t open = find_byte(line, '[', from);
    const size_t close = open == npos ? npos : find_byte(line, ']', open);
    if (close == npos) return std::nullopt;
    return cards_in(slice(line, open + 1, close), line);
}

// ---------------------------------------------------------------------------------------------
// Header lines
// ---------------------------------------------------------------------------------------------

// Limits and games of the stakes line: "No Limit Holdem", "Fix Limit Omaha", "Pot Limit OmahaHL".
struct LimitWord {
    string_view text;
    BetType bet;
};
constexpr LimitWord kLimits[] = {
    {"No Limit ", BetType::NoLimit},
    {"Pot Limit ", BetType::PotLimit},
    {"Fix Limit ", BetType::Limit},
};
struct GameWord {
    string_view text;
    GameType game;
};
constexpr GameWord kGames[] = {
    {"Holdem", GameType::HoldEm},
    {"OmahaHL", GameType::OmahaHiLo},
    {"Omaha", GameType::Omaha},
};

// "25 000/50 000 Blinds No Limit Holdem - *** 06 01 2014 14:52:42": a tournament's gives no date.
void read_stakes_line(HandBuilder& b, string_view line) {
    static constexpr string_view kBlinds = " Blinds ", kDate = " - ***";
    Header& h = b.header();
    const size_t blinds = find_str(line, kBlinds);
    if (blinds == npos) fault_missing("blinds", line);
    const string_view stakes = line.substr(0, blinds);
    const size_t slash = find_byte(stakes, '/');
    if (slash == npos) fault_missing("big blind", line);
    h.small_blind = local_amount_at(stakes.substr(0, slash), line);
    h.big_blind = local_amount_at(stakes.substr(slash + 1), line);
    h.currency = first_currency_sign(stakes);

    const size_t game_at = blinds + kBlinds.size();
    const string_view game = rest(line, game_at);
    const LimitWord* limit = nullptr;
    for (const LimitWord& l : kLimits)
        if (starts(game, l.text)) limit = &l;
    const GameWord* kind = nullptr;
    if (limit != nullptr)
        for (const GameWord& g : kGames)
            if (starts(game.substr(limit->text.size()), g.text) && kind == nullptr) kind = &g;
    if (kind == nullptr) fault_game(line, game_at);
    h.bet_type = limit->bet;
    h.game_type = kind->game;

    // "DD MM YYYY HH:MM:SS", in a zone the history does not name.
    const size_t date = find_str(line, kDate, game_at);
    if (date == npos) fault_missing("date", line);
    const string_view d = rest(line, date + kDate.size() + 1);
    if (d.size() >= 19) {
        unsigned v[6] = {};
        static constexpr size_t kAt[6] = {0, 3, 6, 11, 14, 17}, kLen[6] = {2, 2, 4, 2, 2, 2};
        for (size_t i = 0; i < 6; ++i) {
            const auto n = read_integer(d.substr(kAt[i], kLen[i]));
            if (!n || n->len != kLen[i]) fault_missing("date", line);
            v[i] = static_cast<unsigned>(n->value);
        }
        h.start_date = pack_date(v[2], v[1], v[0], v[3], v[4], v[5]);
        h.start_utc = utc_start(h.start_date, TimeZone{});
    }
}

// Buy-ins that name no money: the English client's and the Russian one's.
constexpr string_view kFreeWords[] = {"Free",
                                      "\u0411\u0435\u0441\u043F\u043B\u0430\u0442\u043D\u043E"};

// "Tournament #36216773 Free - Table #296 (Real Money)", "Tournament #50321242 $10 + $1 - Table
// #1 (Real Money)", "Tournament #133514588 13,95 $ + 1,05 $ - Table #1 4 Max (Real Money)" and
// "Tournament #154648012 Бесплатно 10 Max (Real Money)" (no table): the record is pushed; returns
// the table part (empty when there is none).
string_view read_tournament_line(HandBuilder& b, string_view line) {
    static constexpr string_view kTournament = "Tournament #", kTable = " - Table ";
    Tournament t;
    const auto id = read_integer(rest(line, kTournament.size()));
    if (!id) fault_missing("tournament number", line);
    const size_t id_end = kTournament.size() + id->len;
    t.id = b.store().push_text(cut_text(line, kTournament.size(), id_end));
    const size_t table = find_str(line, kTable, id_end);
    size_t buy_in_end = table;
    if (table == npos) {  // the buy-in runs to the size or to the money's parenthesis
        buy_in_end = rfind_byte(line, '(');
        if (const size_t max = rfind_str(line.substr(0, buy_in_end), " Max");
            max != npos && max > id_end)
            buy_in_end = rfind_byte(line.substr(0, max), ' ');
        if (buy_in_end == npos || buy_in_end < id_end) buy_in_end = id_end;
    }
    const string_view buy_in = slice(line, std::min(id_end + 1, buy_in_end), buy_in_end);
    bool free = false;
    for (const string_view w : kFreeWords) free |= starts(buy_in, w);
    if (free) {
        t.buy_in_kind = BuyInKind::Freeroll;
    } else if (const auto first = local_amount(buy_in)) {
        t.buy_in_kind = BuyInKind::Money;
        t.buy_in = first->value;
        t.currency = first_currency_sign(buy_in);
        if (const size_t plus = find_str(buy_in, " + ", first->end); plus != npos)
            t.fee = local_amount_at(buy_in.substr(plus), line);
    }
    b.push_tournament(t);
    return table == npos ? string_view() : line.substr(table + kTable.size());
}

// "Table Arapiraca 6 Max (Real Money)", "Table Rubtsovsk (Practice Play)", or what a tournament
// line gives after its buy-in ("#296 (Real Money)", "#1 4 Max (Real Money)").
void read_table(HandBuilder& b, string_view table, string_view line) {
    static constexpr string_view kMax = " Max";
    Header& h = b.header();
    size_t end = rfind_byte(table, '(');
    if (end == npos) end = table.size();
    while (end > 0 && table[end - 1] == ' ') --end;
    if (ends(table.substr(0, end), kMax)) {
        const size_t space = rfind_byte(table.substr(0, end - kMax.size()), ' ');
        if (const auto max = read_integer(rest(table, space == npos ? 0 : space + 1)))
            h.max_players = static_cast<std::uint8_t>(max->value);
        end = space == npos ? 0 : space;
    }
    if (end == 0) return;
    const auto from = static_cast<size_t>(table.data() - line.data());
    h.table_name = b.store().push_text(cut_text(line, from, from + end));
}

// "Seat 4: SharkBruce ( $83.90 )"; false when the line has no chips.
bool read_seat(HandBuilder& b, string_view line) {
    const auto seat_line = read_seat_line(line);
    if (!seat_line) return false;
    const auto seat = read_integer(rest(line, seat_line->seat_start));
    const auto chips = local_amount(rest(line, seat_line->after_paren));
    if (!seat || !chips) return false;
    b.seat_player(cut_name(line, seat_line->name), static_cast<std::uint8_t>(seat->value),
                  chips->value);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Action lines
// ---------------------------------------------------------------------------------------------

// The lines of the posts, the rounds and the summary: the phrase after the name, and the action
// it names. A phrase that ends with '[' is followed by an amount or cards in brackets, at the end
// of the line; the others end the line.
enum class Kind : std::uint8_t { Post, Wager, Plain, Show, Collect, Nothing };
struct LineKind {
    string_view phrase;
    ActionType type;
    Kind kind;
};
constexpr LineKind kLineKinds[] = {
    {" folds", ActionType::Fold, Kind::Plain},
    {" checks", ActionType::Check, Kind::Plain},
    {" did not show his hand", ActionType::Show, Kind::Nothing},
    {" calls [", ActionType::Call, Kind::Wager},
    {" raises [", ActionType::Raise, Kind::Wager},
    {" bets [", ActionType::Bet, Kind::Wager},
    {" posts small blind [", ActionType::SmallBlind, Kind::Post},
    {" posts big blind [", ActionType::BigBlind, Kind::Post},
    {" posts ante [", ActionType::Ante, Kind::Post},
    {" posts dead blind [", ActionType::DeadBlind, Kind::Post},
    {" shows [", ActionType::Show, Kind::Show},
    {" mucks [", ActionType::Muck, Kind::Show},
    {" collected [", ActionType::CollectMainPot, Kind::Collect},
};
constexpr ActionType all_in(ActionType t) noexcept {
    return t == ActionType::Call  ? ActionType::CallAllIn
           : t == ActionType::Bet ? ActionType::BetAllIn
                                  : ActionType::RaiseAllIn;
}

// The last four bytes of a text of at least four, as one word (compared before the whole phrase).
constexpr std::uint32_t tail4(string_view t) noexcept {
    std::uint32_t w = 0;
    for (size_t i = t.size() - 4; i < t.size(); ++i) w = w << 8 | static_cast<unsigned char>(t[i]);
    return w;
}
constexpr auto kTails = [] {
    std::array<std::uint32_t, std::size(kLineKinds)> tails{};
    for (size_t i = 0; i < tails.size(); ++i) tails[i] = tail4(kLineKinds[i].phrase);
    return tails;
}();

// The kind of a line and where its phrase begins; nullptr when no kind takes it. A line that
// ends with ']' is told by the phrase before its last '[' (no amount nor card holds one).
const LineKind* line_kind(string_view line, size_t& at) noexcept {
    string_view head = line;
    if (!line.empty() && line.back() == ']') {
        const size_t open = rfind_byte(line, '[');
        if (open == npos) return nullptr;
        head = line.substr(0, open + 1);
    }
    if (head.size() < 4) return nullptr;
    const std::uint32_t tail = tail4(head);
    for (size_t i = 0; i < kTails.size(); ++i) {
        const LineKind& k = kLineKinds[i];
        if (kTails[i] != tail || !ends(head, k.phrase)) continue;
        at = head.size() - k.phrase.size();
        return &k;
    }
    return nullptr;
}

// One line of the posts, a round or the summary, pushed (a collection also as a winner); false
// when no kind takes it.
bool action_line(HandBuilder& b, ChipCount& chips, string_view line) {
    Parser& p = b.parser();
    size_t at = 0;
    const LineKind* k = line_kind(line, at);
    if (k == nullptr) return false;
    if (k->kind == Kind::Nothing) return true;
    const std::uint8_t id = p.player_id(cut_name(line, 0, at));
    const string_view inside = rest(line, at + k->phrase.size());
    switch (k->kind) {
        case Kind::Plain:
            b.push(Action::make(k->type, id, k->type == ActionType::Fold ? kNoCards : kNoPayload));
            return true;
        case Kind::Show: {
            const auto cards = bracket_cards(line, at);
            if (!cards) fault_missing("cards", line);
            b.push(Action::make(k->type, id, p.store().push_card_set(*cards)));
            return true;
        }
        case Kind::Post: {
            // "posts dead blind [$1 + $2]": a dead small blind and a live big one.
            const auto first = local_amount(inside);
            if (!first) fault_missing("amount", line);
            float amount = first->value;
            ActionType type = k->type;
            const float dead = type == ActionType::DeadBlind ? amount : 0.0f;
            if (const size_t plus = find_str(inside, " + ", first->end);
                plus != npos && type == ActionType::DeadBlind) {
                amount += local_amount_at(inside.substr(plus), line);
                type = ActionType::BigSmallBlind;
            }
            chips.put(id, amount, dead);
            b.push(Action::with_amount(type, id, amount));
            return true;
        }
        case Kind::Wager: {
            const float amount = local_amount_at(inside, line);
            const bool whole_stack = chips.put(id, amount);
            b.push(Action::with_amount(whole_stack ? all_in(k->type) : k->type, id, amount));
            return true;
        }
        case Kind::Collect: {
            const float amount = local_amount_at(inside, line);
            chips.collect(amount);
            b.push(Action::with_amount(k->type, id, amount));
            p.store().winners.push_back(Winner{id, amount, 0});
            return true;
        }
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
    {"** Dealing flop ** ", StreetKind::Flop},
    {"** Dealing turn ** ", StreetKind::Turn},
    {"** Dealing river ** ", StreetKind::River},
};

constexpr string_view kDealing = "** Dealing down cards **", kSummary = "** Summary **",
                      kDealtTo = "Dealt to ", kHigh = "(Hi: ", kLow = "(Lo: ";

// The summary: shows and mucks (which open the showdown), the hands they make, the collections.
// A hand nobody shows keeps its collections in its last round.
string_view read_summary(HandBuilder& b, ChipCount& chips, OpenSection& open) {
    Parser& p = b.parser();
    for (p.next_line(); !p.line().empty() && !p.at_end(); p.next_line()) {
        const string_view line = p.line();
        if (starts(line, kHigh) || starts(line, kLow)) continue;
        size_t at = 0;
        const LineKind* k = line_kind(line, at);
        if (k != nullptr && k->kind == Kind::Show) open.showdown(b);
        if (!action_line(b, chips, line)) return "unrecognised summary line";
    }
    return {};
}

HandOutcome read_hand(HandBuilder& b, ChipCount& chips) {
    static constexpr string_view kGameNo = "#Game No : ", kHistory = " Hand History for Game ",
                                 kButton = "Seat ", kTournament = "Tournament #", kTable = "Table ",
                                 kPlayers = "Total number of players";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::PacificPoker;
    {
        const string_view line = p.line();
        const size_t at = find_str(line, kGameNo);
        const size_t from = at == npos ? 0 : at + kGameNo.size();
        const auto id = at == npos ? std::nullopt : read_integer(rest(line, from));
        if (!id) return reject("hand line without a hand id");
        h.id = p.store().push_text(cut_text(line, from, from + id->len));
    }
    p.next_line();
    if (find_str(p.line(), kHistory) == npos) return reject("hand without its history line");
    p.next_line();
    read_stakes_line(b, p.line());
    p.next_line();
    const string_view table_line = p.line();
    if (starts(table_line, kTournament)) {
        read_table(b, read_tournament_line(b, table_line), table_line);
    } else if (starts(table_line, kTable)) {
        read_table(b, table_line.substr(kTable.size()), table_line);
    } else {
        return reject("hand without its table line");
    }
    if (h.is_tournament()) h.currency = 0;  // chips, whatever sign they are written with
    p.next_line();
    if (starts(p.line(), kButton) && ends(p.line(), " is the button")) {
        if (const auto seat = read_integer(rest(p.line(), kButton.size())))
            h.button_seat = static_cast<std::uint8_t>(seat->value);
        p.next_line();
    }
    if (starts(p.line(), kPlayers)) p.next_line();
    while (starts(p.line(), kButton)) {
        if (!read_seat(b, p.line())) return reject("seat line without chips");
        p.next_line();
    }
    chips.begin(p);

    // The posts, then the cards dealt, which begin the preflop's run.
    for (; p.line() != kDealing; p.next_line()) {
        if (p.at_end()) return reject(kTextEndsInsideHand);
        if (p.line() == kSummary) break;  // a hand cancelled before the deal
        if (!action_line(b, chips, p.line())) return reject("unrecognised line before the deal");
    }
    b.close_pre_deal();
    if (h.is_tournament()) h.ante = largest_ante(p.store(), h.actions);
    OpenSection open;
    if (p.line() == kDealing) p.next_line();
    while (p.line() != kSummary) {
        const string_view line = p.line();
        if (p.at_end()) return reject(kTextEndsInsideHand);
        if (starts(line, kDealtTo)) {
            const auto cards = bracket_cards(line, kDealtTo.size());
            if (!cards) return reject("dealt line cut off inside the cards");
            const size_t open_at = find_byte(line, '[');
            const std::uint8_t id =
                p.player_id(cut_name(line, kDealtTo.size(), open_at == 0 ? 0 : open_at - 1));
            b.dealt_cards_to(id);
            b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(*cards)));
        } else if (const StreetWord* s = [&]() -> const StreetWord* {
                       for (const StreetWord& w : kStreets)
                           if (starts(line, w.text)) return &w;
                       return nullptr;
                   }()) {
            const auto cards = bracket_cards(line, s->text.size());
            if (!cards) return reject(kBoardCutOff);
            chips.end_round();
            open.street(b, s->kind, *cards);
        } else if (!action_line(b, chips, line)) {
            return reject("unrecognised action line");
        }
        p.next_line();
    }
    chips.end_round();
    if (const string_view reason = read_summary(b, chips, open); !reason.empty())
        return reject(reason);
    chips.end_hand(b);
    open.close(b);
    b.close_summary(chips.pots());
    return b.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    ChipCount chips;
    read_hands(parser, "#Game No", errors, rejected,
               [&chips](HandBuilder& b) { return read_hand(b, chips); });
}

}  // namespace hs::pacificpoker
