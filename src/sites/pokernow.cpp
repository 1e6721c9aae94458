// PokerNow club logs.
//
// The export is a table of log entries ("entry,at,order"), the newest first; `order` is a number
// that grows with time, and rows of the same instant keep the table's order reversed. The rows are
// put back in time order and read as lines. A hand runs from "-- starting hand #12 (id:
// ohmhijx8r7o5)  No Limit Texas Hold'em (dealer: "LAN @ UX6K7gIzlC") --" (older logs: "-- starting
// hand #1  (No Limit Texas Hold'em) (dealer: ...) --", no id) to "-- ending hand #12 --". Players
// are written in quotes, their name and their account: "Alice @ eNVKMq2Tcb". A hand seats its
// players by "Player stacks: #1 "Alice @ x" (50) | #4 ...", posts ("posts a big blind of 20"),
// bets ("raises to 50 and go all in": the player's total for the round), deals its boards ("Flop:
// [9♥, Q♥, A♥]", "Turn: 9♥, Q♥, A♥ [J♣]", "River (second run): ... [8♠]") and pays its pots
// ("collected 120 from pot with ...", "... on the second run"). Cards are written with suit
// symbols and "10" for the ten. The log's own player's cards are "Your hand is 8♣, 10♠", without
// a name: that player is the one whose cards shown at a showdown are the same. No rake is taken:
// the pot is what the winners collect.
#include "sites/pokernow.hpp"

#include <algorithm>
#include <numeric>
#include <optional>
#include <string_view>

#include "core/chars.hpp"
#include "core/fault.hpp"
#include "core/format.hpp"
#include "core/model.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/bets.hpp"
#include "reader/csv.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/numbers.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"

namespace hs::pokernow {
namespace {

using std::size_t;
using std::string_view;

constexpr string_view kStart = "-- starting hand";
constexpr string_view kEnd = "-- ending hand ";
constexpr string_view kYourHand = "Your hand is ";

// One card: "10♥", "A♣", "Q♠" (a letter for the suit is taken too: "Ah").
std::optional<Card> symbol_card(string_view text) noexcept {
    static constexpr string_view kSuits[] = {"\u2660", "\u2663", "\u2665", "\u2666"};  // s c h d
    static constexpr string_view kLetters = "schd";
    if (text.empty()) return std::nullopt;
    size_t rank_len = 1;
    unsigned rank = 0;
    switch (text[0]) {
        case 'A': rank = 1; break;
        case 'T': rank = 10; break;
        case 'J': rank = 11; break;
        case 'Q': rank = 12; break;
        case 'K': rank = 13; break;
        case '1':
            if (text.size() < 2 || text[1] != '0') return std::nullopt;
            rank = 10;
            rank_len = 2;
            break;
        default:
            if (text[0] < '2' || text[0] > '9') return std::nullopt;
            rank = static_cast<unsigned>(text[0] - '0');
    }
    const string_view suit = text.substr(rank_len);
    for (unsigned s = 0; s < 4; ++s) {
        if (suit == kSuits[s] || (suit.size() == 1 && suit[0] == kLetters[s]))
            return static_cast<Card>(rank | s << 6);
    }
    return std::nullopt;
}

// "9♥, Q♥, A♥", "8♣, 10♠"; nullopt for any piece that is no card.
std::optional<CardSet> symbol_cards(string_view text) {
    CardSet set;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = find_byte(text, ',', at);
        if (end == npos) end = text.size();
        string_view piece = slice(text, at, end);
        while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
        const auto card = symbol_card(piece);
        if (!card || set.count == kMaxCards) return std::nullopt;
        set.push(*card);
        at = end + 1;
    }
    return set;
}

// A player as the lines write one: "Alice @ eNVKMq2Tcb" in quotes, where the name itself may
// hold quotes. The name begins after the line's first quote and ends at the quote that `after`
// follows; npos when there is none.
size_t name_end(string_view line, size_t from, string_view after) noexcept {
    for (size_t q = find_byte(line, '"', from); q != npos; q = find_byte(line, '"', q + 1))
        if (starts(rest(line, q + 1), after)) return q;
    return npos;
}

// =============================================================================================
// The lines of a hand
// =============================================================================================

// "<verb><amount>[ and go all in][ (bomb pot bet)]"
constexpr Wager kWagers[] = {
    {" calls ", ActionType::Call, ActionType::CallAllIn},
    {" bets ", ActionType::Bet, ActionType::BetAllIn},
    {" raises to ", ActionType::Raise, ActionType::RaiseAllIn},
    {" posts a small blind of ", ActionType::SmallBlind, ActionType::SmallBlind},
    {" posts a big blind of ", ActionType::BigBlind, ActionType::BigBlind},
    {" posts a missing small blind of ", ActionType::DeadBlind, ActionType::DeadBlind},
    {" posts a missed big blind of ", ActionType::BigBlind, ActionType::BigBlind},
    {" posts a straddle of ", ActionType::ExtraBlind, ActionType::ExtraBlind},
    {" posts an ante of ", ActionType::Ante, ActionType::Ante},
    {" posts a bet of ", ActionType::Ante, ActionType::Ante},
};
constexpr string_view kAllIn = " and go all in";
// A bomb pot's bets: every player puts the same in before the flop, as an ante.
constexpr string_view kBombPot = " (bomb pot bet)";

struct Verb {
    string_view verb;
    ActionType type;
};
constexpr Verb kPlain[] = {
    {" folds", ActionType::Fold},
    {" checks", ActionType::Check},
};

// Lines of a hand that move nothing: the table's messages, the players' choices of running the
// board twice, the notes of the admin.
constexpr string_view kNotes[] = {
    "The player ",     "The admin ",         "WARNING: ",      "The game's ",
    "Game Config",     "Remaining players ", "All players ",   "Some players ",
    "The board will ", "Dead Small Blind",   "Dead Big Blind", "Game entering ",
    "Player stacks",  // a second one (none seen) changes no seat
};

struct Reader {
    HandBuilder& b;
    Parser& p;
    const Log& log;
    RoundBets bets;
    std::optional<CardSet> hero_cards;
    PotInfo pots;
    bool dealt = false;  // the preflop has begun

    // The slot of a player named by a line: the stacks line seats them; one who is not seated
    // there (a line about a player who left) is registered by name.
    std::uint8_t player(string_view line, size_t from, size_t to) {
        const string_view name = cut_name(line, from, to);
        const std::uint8_t id = p.find_player(name);
        return id < kNoSlot ? id : p.player_id(name);
    }

    // "Player stacks: #1 "Alice @ x" (50) | #4 "Bob @ y" (120)"
    bool stacks(string_view line) {
        static constexpr string_view kStacks = "Player stacks: ";
        size_t at = kStacks.size();
        while (at < line.size()) {
            if (byte_or_0(line, at) != '#') return false;
            const auto seat = read_integer(rest(line, at + 1));
            if (!seat || seat->value > 254) return false;
            const size_t open = at + 1 + seat->len + 1;
            if (byte_or_0(line, open) != '"') return false;
            const size_t close = name_end(line, open + 1, " (");
            if (close == npos) return false;
            const auto chips = read_decimal(rest(line, close + 3));
            if (!chips) return false;
            b.seat_player(cut_name(line, open + 1, close), static_cast<std::uint8_t>(seat->value),
                          chips->value);
            const size_t next = find_str(line, " | #", close);
            at = next == npos ? line.size() : next + 3;
        }
        return true;
    }

    // The posts end at the first line that is no post: the preflop begins, with the log's own
    // player's cards.
    void begin_preflop() {
        if (dealt) return;
        dealt = true;
        b.close_pre_deal();
        if (!hero_cards || log.hero.empty()) return;
        const std::uint8_t id = p.find_player(log.hero);
        if (id >= kNoSlot) return;
        b.push(Action::make(ActionType::Dealt, id, p.store().push_card_set(*hero_cards)));
        b.dealt_cards_to(id);
    }

    // A line that begins with a player; false when no line kind takes it.
    bool player_line(string_view line) {
        for (const Wager& w : kWagers) {
            const size_t q = name_end(line, 1, w.verb);
            if (q == npos) continue;
            string_view tail = rest(line, q + 1 + w.verb.size());
            bool bomb = false;
            if (ends(tail, kBombPot)) {
                tail.remove_suffix(kBombPot.size());
                bomb = true;
            }
            const bool all_in = ends(tail, kAllIn);
            if (all_in) tail.remove_suffix(kAllIn.size());
            const auto amount = read_decimal(tail);
            if (!amount || amount->len != tail.size()) continue;
            const bool post = w.plain != ActionType::Call && w.plain != ActionType::Bet &&
                              w.plain != ActionType::Raise;
            if (!post && !bomb) begin_preflop();
            const std::uint8_t id = player(line, 1, q);
            ActionType type = bomb ? ActionType::Ante : w.type(all_in);
            float value = amount->value;
            // A raise, a call or a bet writes the player's total for the round ("calls 150"
            // after a big blind of 50 adds 100): the model keeps the chips a call or a bet
            // adds, and a raise over the bet.
            if (w.plain == ActionType::Raise) {
                value = bets.raise_to(id, value);
            } else if (w.plain == ActionType::Call || w.plain == ActionType::Bet) {
                if (!bomb) {
                    value = sum_hundredths(value, -bets.in(id));
                    bets.add(id, value);
                }
            } else if (type != ActionType::Ante && type != ActionType::DeadBlind) {
                bets.add(id, value);
            }
            b.push(Action::with_amount(type, id, value));
            return true;
        }
        for (const Verb& v : kPlain) {
            if (!ends(line, v.verb) || line.size() < v.verb.size() + 2) continue;
            const size_t q = line.size() - v.verb.size() - 1;
            if (line[q] != '"') continue;
            begin_preflop();
            b.push(Action::make(v.type, player(line, 1, q), kNoPayload));
            return true;
        }
        // "Alice @ x" shows a A♣, Q♠.
        if (const size_t q = name_end(line, 1, " shows a "); q != npos) {
            string_view cards = rest(line, q + 1 + string_view(" shows a ").size());
            if (ends(cards, ".")) cards.remove_suffix(1);
            const auto set = symbol_cards(cards);
            if (!set) return false;
            begin_preflop();
            b.push(
                Action::make(ActionType::Show, player(line, 1, q), p.store().push_card_set(*set)));
            return true;
        }
        // "Alice @ x" collected 120 from pot with Straight, ... (combination: ...)
        if (const size_t q = name_end(line, 1, " collected "); q != npos) {
            const string_view tail = rest(line, q + 1 + string_view(" collected ").size());
            const auto amount = read_decimal(tail);
            if (!amount) return false;
            // "collected 4 from the 7-2 bounty": paid by the players, outside the pot.
            if (!starts(rest(tail, amount->len), " from pot")) return true;
            begin_preflop();
            const std::uint8_t id = player(line, 1, q);
            const std::uint8_t game = find_str(tail, " on the second run") != npos ? 1 : 0;
            b.push(Action::with_amount(ActionType::CollectMainPot, id, amount->value));
            p.store().winners.push_back(Winner{id, amount->value, game});
            pots.total = sum_hundredths(pots.total, amount->value);
            return true;
        }
        // Choices of running the board twice, a bounty paid: nothing moves in the pot.
        if (name_end(line, 1, " chooses ") != npos || name_end(line, 1, " paid ") != npos)
            return true;
        return false;
    }

    // "Uncalled bet of 30 returned to "Alice @ x""
    bool uncalled(string_view line) {
        static constexpr string_view kUncalled = "Uncalled bet of ", kReturned = " returned to \"";
        const auto amount = read_decimal(rest(line, kUncalled.size()));
        if (!amount) return false;
        const size_t r = find_str(line, kReturned);
        if (r == npos || line.back() != '"') return false;
        begin_preflop();
        b.push(Action::with_amount(ActionType::UncalledBetReturned,
                                   player(line, r + kReturned.size(), line.size() - 1),
                                   amount->value));
        return true;
    }
};

// A street line: "Flop:  [9♥, Q♥, A♥]", "Turn: 9♥, Q♥, A♥ [J♣]", "River (second run): ... [8♠]".
struct StreetName {
    string_view name;
    StreetKind kind;
};
constexpr StreetName kStreets[] = {
    {"Flop", StreetKind::Flop},
    {"Turn", StreetKind::Turn},
    {"River", StreetKind::River},
};
std::optional<StreetKind> street_kind(string_view line) noexcept {
    for (const StreetName& s : kStreets)
        if (starts(line, s.name) &&
            (starts(rest(line, s.name.size()), ":") || starts(rest(line, s.name.size()), " (")))
            return s.kind;
    return std::nullopt;
}

// "-- starting hand #44 (id: ohmhijx8r7o5)  No Limit Texas Hold'em (dealer: "LAN @ x") --"
struct GameName {
    string_view words;
    GameType game;
    BetType bet;
};
constexpr GameName kGames[] = {
    {"No Limit Texas Hold'em", GameType::HoldEm, BetType::NoLimit},
    {"Pot Limit Texas Hold'em", GameType::HoldEm, BetType::PotLimit},
    {"Limit Texas Hold'em", GameType::HoldEm, BetType::Limit},
    {"Pot Limit Omaha Hi/Lo 8 or Better", GameType::OmahaHiLo, BetType::PotLimit},
    {"Pot Limit Omaha Hi", GameType::Omaha, BetType::PotLimit},
    {"No Limit Omaha Hi", GameType::Omaha, BetType::NoLimit},
    {"Pot Limit Omaha 5 Card Hi/Lo 8 or Better", GameType::FiveCardOmahaHiLo, BetType::PotLimit},
    {"Pot Limit Omaha 5 Card Hi", GameType::FiveCardOmaha, BetType::PotLimit},
    {"Pot Limit Omaha 6 Card Hi", GameType::SixCardOmaha, BetType::PotLimit},
};

// "2022-01-20T10:49:37.495Z"
std::optional<PackedDate> iso_time(string_view at) noexcept {
    if (at.size() < 19 || at[4] != '-' || at[7] != '-' || at[10] != 'T' || at[13] != ':' ||
        at[16] != ':')
        return std::nullopt;
    std::uint64_t parts[6] = {};
    constexpr size_t kAt[6] = {0, 5, 8, 11, 14, 17};
    constexpr size_t kLen[6] = {4, 2, 2, 2, 2, 2};
    for (size_t i = 0; i < 6; ++i) {
        for (size_t k = kAt[i]; k < kAt[i] + kLen[i]; ++k) {
            if (!is_ascii_digit(static_cast<unsigned char>(at[k]))) return std::nullopt;
            parts[i] = parts[i] * 10 + static_cast<unsigned>(at[k] - '0');
        }
    }
    return pack_date(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
}

// The hand line; an empty reason when it was read. The dealer's name is left in `dealer`.
string_view hand_line(HandBuilder& b, const Log& log, string_view& dealer) {
    static constexpr string_view kId = "(id: ", kDealer = "(dealer: \"";
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::PokerNow;
    const string_view line = p.line();
    const size_t hash = find_byte(line, '#');
    if (hash == npos) fault_line(kHandLineWithoutId, line);
    const auto number = read_integer(rest(line, hash + 1));
    if (!number) fault_line(kHandLineWithoutId, line);
    size_t game_at = hash + 1 + number->len;
    if (const size_t id = find_str(line, kId, game_at); id != npos) {
        const size_t close = find_byte(line, ')', id);
        if (close == npos) fault_line(kHandLineWithoutId, line);
        h.id = p.store().push_text(cut_text(line, id + kId.size(), close));
        game_at = close + 1;
    } else {
        h.id = p.store().push_text(cut_text(line, hash + 1, hash + 1 + number->len));
    }
    while (byte_or_0(line, game_at) == ' ' || byte_or_0(line, game_at) == '(') ++game_at;
    const GameName* game = nullptr;
    for (const GameName& g : kGames)
        if (starts(rest(line, game_at), g.words) &&
            (game == nullptr || g.words.size() > game->words.size()))
            game = &g;
    if (game == nullptr) fault_game(line, game_at);
    h.game_type = game->game;
    h.bet_type = game->bet;
    if (const size_t d = find_str(line, kDealer); d != npos) {
        const size_t close = name_end(line, d + kDealer.size(), ")");
        if (close != npos) dealer = cut_name(line, d + kDealer.size(), close);
    }
    const std::uint64_t n = p.line_number();
    if (n >= 1 && n <= log.times.size()) {
        if (const auto date = iso_time(log.times[n - 1])) {
            h.start_date = *date;
            h.start_utc = *date;
            h.start_zoned = true;
        }
    }
    return {};
}

HandOutcome read_hand(HandBuilder& b, const Log& log) {
    Parser& p = b.parser();
    Header& h = b.header();
    string_view dealer;
    if (const string_view reason = hand_line(b, log, dealer); !reason.empty())
        return reject(reason);
    p.next_line();
    Reader r{b, p, log, {}, std::nullopt, PotInfo{}, false};
    r.bets.clear();
    bool seated = false;
    std::optional<StreetKind> open;  // the street whose round is being read
    CardSet open_cards;
    const auto close_open = [&] {
        if (open) b.close_street(*open, open_cards);
        open.reset();
    };
    for (;; p.next_line()) {
        const string_view line = p.line();
        if (p.at_end()) return reject(kTextEndsInsideHand);
        if (starts(line, kEnd)) break;
        if (line.empty()) continue;
        if (starts(line, "Player stacks: ") && !seated) {
            if (!r.stacks(line)) return reject("stacks line without chips");
            seated = true;
            continue;
        }
        if (starts(line, kYourHand)) {
            r.hero_cards = symbol_cards(rest(line, kYourHand.size()));
            if (!r.hero_cards) return reject("cards line without cards");
            continue;
        }
        if (line.front() == '"') {
            if (!seated) return reject(kUnrecognisedPreDeal);
            if (!r.player_line(line)) return reject(kUnrecognisedAction);
            continue;
        }
        if (starts(line, "Uncalled bet of ")) {
            if (!r.uncalled(line)) return reject(kUnrecognisedAction);
            continue;
        }
        if (const auto kind = street_kind(line)) {
            // The cards in the last bracket are the street's.
            const size_t open_at = rfind_byte(line, '[');
            if (open_at == npos || line.back() != ']') return reject(kBoardCutOff);
            const auto cards = symbol_cards(slice(line, open_at + 1, line.size() - 1));
            if (!cards) return reject(kBoardCutOff);
            r.begin_preflop();
            if (!open) b.close_preflop();
            close_open();
            open = kind;
            open_cards = *cards;
            // A board dealt a second time deals no betting round.
            if (find_str(line, "(second run)") == npos) r.bets.clear();
            continue;
        }
        bool note = false;
        for (const string_view n : kNotes) note = note || starts(line, n);
        if (!note) return reject(kUnrecognisedAction);
    }
    if (!seated) return reject("hand without a stacks line");
    r.begin_preflop();
    if (!open) b.close_preflop();
    close_open();
    p.next_line();
    // The button: the seat of the dealer the hand line names.
    if (!dealer.empty()) {
        const std::uint8_t id = p.find_player(dealer);
        if (id < kNoSlot) h.button_seat = p.player(id).seat;
    }
    // The blinds as posted, the largest ante.
    for (const Action& a : p.store().resolve(p.store().actions, h.actions)) {
        if (a.type() == ActionType::SmallBlind && h.small_blind == 0.0f) h.small_blind = a.amount();
        if (a.type() == ActionType::BigBlind && h.big_blind == 0.0f) h.big_blind = a.amount();
    }
    h.ante = largest_ante(p.store(), h.actions);
    r.pots.main = r.pots.total;
    b.close_summary(r.pots);
    return b.finish();
}

// The name of the player whose shown cards are the log's own player's cards most often.
std::string hero_of(string_view text) {
    std::string cards, best;
    size_t best_count = 0;
    std::vector<std::pair<string_view, size_t>> counts;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = find_byte(text, '\n', at);
        if (end == npos) end = text.size();
        const string_view line = slice(text, at, end);
        at = end + 1;
        if (starts(line, kYourHand)) {
            cards.assign(line.substr(kYourHand.size()));
            continue;
        }
        if (starts(line, kStart)) cards.clear();
        if (cards.empty() || line.empty() || line.front() != '"') continue;
        const size_t q = name_end(line, 1, " shows a ");
        if (q == npos) continue;
        string_view shown = rest(line, q + 10);
        if (ends(shown, ".")) shown.remove_suffix(1);
        if (shown != cards) continue;
        const string_view name = slice(line, 1, q);
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const auto& c) { return c.first == name; });
        if (it == counts.end()) {
            counts.emplace_back(name, 0);
            it = counts.end() - 1;
        }
        if (++it->second > best_count) {
            best_count = it->second;
            best.assign(name);
        }
    }
    return best;
}

}  // namespace

std::string rebuild(std::string_view csv, Log& log) {
    CsvTable table;
    if (std::string error = read_csv(csv, table); !error.empty())
        return "PokerNow log that is not comma-separated values: " + error;
    if (table.records() == 0) return "PokerNow log without rows";
    size_t entry = npos, time = npos, order = npos;
    for (size_t c = 0; c < table.columns; ++c) {
        const string_view name = table.field(0, c);
        if (name == "entry") entry = c;
        if (name == "at") time = c;
        if (name == "order") order = c;
    }
    if (entry == npos || time == npos || order == npos)
        return "PokerNow log without the columns entry, at and order";
    // The rows in time order: by `order`, rows of the same order as the table lists them
    // reversed (it lists the newest first).
    const size_t rows = table.records() - 1;
    std::vector<std::uint64_t> orders(rows);
    std::vector<size_t> index(rows);
    for (size_t i = 0; i < rows; ++i) {
        const size_t row = rows - i;  // the table reversed
        const string_view o = table.field(row, order);
        const auto n = read_integer(o);
        if (!n || n->len != o.size()) {
            std::string m = "PokerNow log row without an order, line ";
            append_u64(m, at(table.lines, row));
            return m;
        }
        orders[i] = n->value;
        index[i] = row;
    }
    std::vector<size_t> sorted(rows);
    std::iota(sorted.begin(), sorted.end(), size_t{0});
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](size_t a, size_t b) { return orders[a] < orders[b]; });
    // One line per entry: an entry's own line breaks ("Game Config Changes\n* ...") become spaces.
    log.text.clear();
    log.text.reserve(table.text.size() + rows);
    std::vector<std::pair<size_t, size_t>> time_at;
    time_at.reserve(rows);
    log.cells.clear();
    for (const size_t i : sorted) {
        for (const char c : table.field(index[i], entry))
            log.text.push_back(c == '\n' || c == '\r' ? ' ' : c);
        log.text.push_back('\n');
        const string_view t = table.field(index[i], time);
        time_at.emplace_back(log.cells.size(), t.size());
        log.cells.append(t);
    }
    log.times.clear();
    log.times.reserve(rows);
    for (const auto& [offset, length] : time_at)
        log.times.push_back(string_view(log.cells).substr(offset, length));
    log.hero = hero_of(log.text);
    return {};
}

void parse_hands(Parser& parser, const Log& log, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, kStart, errors, rejected,
               [&log](HandBuilder& b) { return read_hand(b, log); });
}

}  // namespace hs::pokernow
