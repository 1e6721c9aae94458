// Pkr hand histories: a hand is "Table #46120523 - Audeamus 1", "Starting Hand #2138526544", the
// start time, one line per property ("Game Type: HOLD'EM", "Limit Type: NO LIMIT", "Table Type:
// RING", "Money Type: REAL MONEY", "Blinds are now $0.02 / $0.04", "Button is at seat 10"), the
// seats ("Seat 1: Player0 - $4.63"), the posts, "Dealing Cards", the rounds ("Dealing Flop [8 h][2
// c][5 c]" begins a street), the rake ("Taking Rake of $0.01 from pot 1"), the hands shown and the
// winners ("Player1 wins $0.13"), the seats again with their stacks after the hand, and "End of
// Hand #2138526544".
//
// Calls and raises write the player's total in the round ("calls 120" after a bet of 40 of one's
// own adds 80, "raises to $0.22"): the reader stores the chips each adds. Chat, emotes and the
// client's notes (time bank, disconnections, chips brought to the table) stand between actions.
#include "sites/pkr.hpp"

#include <array>
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
#include "reader/local_amounts.hpp"
#include "reader/numbers.hpp"
#include "reader/phrases.hpp"
#include "reader/rounds.hpp"
#include "reader/shared_lines.hpp"

namespace hs::pkr {
namespace {

using std::size_t;
using std::string_view;

constexpr string_view kAllIn = " (all-in)";

// "[8 h][2 c][5 c]", "[6 d] [7 h]", "[T h][9 s]": a rank, a space and a suit in each bracket;
// older clients write "[qs][2s]". A card not shown ("[XX]") is left out.
CardSet cards_in(string_view text, string_view line) {
    CardSet set;
    size_t at = 0;
    for (;;) {
        const size_t open = find_byte(text, '[', at);
        if (open == npos) break;
        const size_t close = find_byte(text, ']', open);
        if (close == npos) fault_missing("']'", line);
        at = close + 1;
        std::array<char, 3> card{};
        size_t len = 0;
        for (const char c : slice(text, open + 1, close)) {
            if (c == ' ') continue;
            if (len == card.size()) fault_missing("card", line);
            card[len++] = c;
        }
        if (len == 2 && card[0] == 'X') continue;
        if (len < 2) fault_missing("card", line);
        const char rank =
            card[0] >= 'a' && card[0] <= 'z' ? static_cast<char>(card[0] - 'a' + 'A') : card[0];
        if (!is_ascii_digit(static_cast<unsigned char>(rank)) && rank != 'A' && rank != 'K' &&
            rank != 'Q' && rank != 'J' && rank != 'T')
            fault_missing("card", line);
        card[0] = rank;
        set.push(card_from_text(string_view(card.data(), len)));
    }
    return set;
}

// "01 Aug 2012 03:36:03": day, English month, year, time; the zone is not written.
void start_time(Header& h, string_view date, string_view line) {
    static constexpr string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto day = read_integer(date);
    if (!day || date.size() < day->len + 5) fault_missing("date", line);
    unsigned month = 0;
    const string_view name = date.substr(day->len + 1, 3);
    for (unsigned m = 0; m < 12; ++m)
        if (name == kMonths[m]) month = m + 1;
    if (month == 0) fault_missing("month", line);
    const auto year = read_integer(rest(date, day->len + 5));
    if (!year) fault_missing("date", line);
    const size_t time_at = day->len + 5 + year->len + 1;
    unsigned parts[3] = {0, 0, 0};
    size_t at = time_at;
    for (unsigned& part : parts) {
        const auto n = read_integer(rest(date, at));
        if (!n) fault_missing("time", line);
        part = static_cast<unsigned>(n->value);
        at += n->len + 1;
    }
    h.start_date = pack_date(year->value, month, day->value, parts[0], parts[1], parts[2]);
    h.start_utc = utc_start(h.start_date, TimeZone{});
}

struct Reader {
    HandBuilder& b;
    Parser& p;
    RoundBets bets{};
    float rake = 0.0f;
    float won = 0.0f;

    // Whether `name` is the whole name of a player of the hand.
    bool is_player(string_view name) {
        const std::uint8_t id = p.find_player(name);
        return id < p.player_count() && p.store().text_of(p.player(id).name) == name;
    }

    std::uint8_t player_before(string_view line, size_t at) const {
        return p.find_player(cut_name(line, 0, at));
    }

    // "X calls $0.04", "X bets 40", "X raises to 120", each maybe " (all-in)": the player's total
    // in the round, stored as the chips added.
    std::optional<Action> wager(string_view line) {
        struct Row {
            string_view verb;
            ActionType plain, all_in;
        };
        static constexpr Row kRows[] = {
            {" calls ", ActionType::Call, ActionType::CallAllIn},
            {" bets ", ActionType::Bet, ActionType::BetAllIn},
            {" raises to ", ActionType::Raise, ActionType::RaiseAllIn},
        };
        for (const Row& r : kRows) {
            const size_t at = find_str(line, r.verb);
            if (at == npos) continue;
            const std::uint8_t id = player_before(line, at);
            const float total = local_amount_at(rest(line, at + r.verb.size()), line);
            const float added = sum_hundredths(total, -bets.in(id));
            bets.add(id, added);
            return Action::with_amount(ends(line, kAllIn) ? r.all_in : r.plain, id, added);
        }
        return std::nullopt;
    }

    // "X posts small blind ($0.02)", "X posts big blind ($0.04)", "X posts ante of 25", "X posts
    // $0.04" (a player coming in), "X posts 50 dead"; each maybe " (all-in)".
    std::optional<Action> post(string_view line) {
        static constexpr string_view kPosts = " posts ";
        const size_t at = find_str(line, kPosts);
        if (at == npos) return std::nullopt;
        const string_view kind = rest(line, at + kPosts.size());
        ActionType type = ActionType::BigBlind;
        if (starts(kind, "small blind")) {
            type = ActionType::SmallBlind;
        } else if (starts(kind, "ante")) {
            type = ActionType::Ante;
        } else if (find_str(kind, " dead") != npos) {
            type = ActionType::DeadBlind;
        }
        const std::uint8_t id = player_before(line, at);
        const float amount = local_amount_at(kind, line);
        if (type == ActionType::SmallBlind || type == ActionType::BigBlind) bets.add(id, amount);
        return Action::with_amount(type, id, amount);
    }

    // Chat ("X: gg", "X says good luck."), emotes ("X cheers.", "X yawns at Y.") and the client's
    // notes: true when the line is one of them (a chat line is pushed).
    bool aside(string_view line) {
        static constexpr string_view kNotes[] = {
            " has become disconnected",
            " has disconnected",
            " has requested more time",
            " is using the time bank",
            " in the time bank",
            " will be dealt in after the button",
            " brings ",
            " rebuys ",
            " did not respond in time",
            " has reconnected",
            " sits out",
            " has returned",
        };
        for (const string_view note : kNotes)
            if (find_str(line, note) != npos) return true;
        static constexpr string_view kSays = " says ";
        size_t say = find_str(line, ": ");
        size_t text = say + 2;
        if (say == npos || !is_player(slice(line, 0, say))) {
            say = find_str(line, kSays);
            text = say + kSays.size();
            if (say != npos && !is_player(slice(line, 0, say))) say = npos;
        }
        if (say != npos) {
            const TextRef ref = p.store().push_text(cut_at_boundary(rest(line, text), 255));
            b.push(Action::make(ActionType::Say, player_before(line, say),
                                say_payload(ref.offset(), ref.length(), p.text_start())));
            return true;
        }
        return !line.empty() && (line.back() == '.' || line.back() == '!');
    }

    // One line of a betting round; false when it is none of the round's lines.
    bool round_line(string_view line) {
        static constexpr ActionEnding kEndings[] = {
            {Ending(" folds"), ActionType::Fold},
            {Ending(" checks"), ActionType::Check},
        };
        if (push_ending_action(b, line, kEndings)) return true;
        if (const auto a = wager(line)) {
            b.push(*a);
            return true;
        }
        // "X folds and shows [Q d][J c]"
        static constexpr string_view kFoldShows = " folds and shows ";
        if (const size_t at = find_str(line, kFoldShows); at != npos) {
            b.push(p.make_card_action(cut_name(line, 0, at), ActionType::Fold,
                                      cards_in(rest(line, at), line)));
            return true;
        }
        // "Returning $0.18 to Player1 uncalled"
        static constexpr string_view kReturning = "Returning ", kUncalled = " uncalled";
        if (starts(line, kReturning) && ends(line, kUncalled)) {
            const size_t to = find_str(line, " to ", kReturning.size());
            if (to == npos) fault_missing("player name", line);
            const float amount = local_amount_at(rest(line, kReturning.size()), line);
            const std::uint8_t id = p.find_player(
                cut_name(line, to + string_view(" to ").size(), line.size() - kUncalled.size()));
            bets.add(id, -amount);
            b.push(Action::with_amount(ActionType::UncalledBetReturned, id, amount));
            return true;
        }
        if (starts(line, "Dealing [")) {  // "Dealing [T h][9 s] to Hero"
            static constexpr string_view kTo = "] to ";
            const size_t to = rfind_str(line, kTo);
            if (to == npos) fault_missing("player name", line);
            const std::uint8_t id = p.find_player(cut_name(line, to + kTo.size(), line.size()));
            b.dealt_cards_to(id);
            b.push(Action::make(ActionType::Dealt, id,
                                p.store().push_card_set(cards_in(slice(line, 0, to + 1), line))));
            return true;
        }
        return starts(line, "Pot sizes:") || show(line) || aside(line);
    }

    // A hand shown: "Player4 shows [K d][A d]", during the rounds when a player is all in, or
    // after them. The hand's showdown begins with the lines after the betting when a hand was
    // shown before them, else at the first hand shown after them.
    bool show(string_view line) {
        static constexpr string_view kShows = " shows [";
        const size_t at = find_str(line, kShows);
        if (at == npos) return false;
        b.push(p.make_card_action(cut_name(line, 0, at), ActionType::Show,
                                  cards_in(rest(line, at), line)));
        shown = true;
        return true;
    }
    void begin_showdown() {
        if (showdown) return;
        close_betting();
        showdown = true;
    }

    // The lines after the betting: the rake, the hands shown or not, what each winner takes.
    bool closing_line(string_view line) {
        static constexpr string_view kRake = "Taking Rake of ";
        if (starts(line, kRake)) {
            rake = sum_hundredths(rake, local_amount_at(rest(line, kRake.size()), line));
            return true;
        }
        if (line == "No Rake Taken" || starts(line, "Pot sizes:")) return true;
        static constexpr ActionEnding kEndings[] = {
            {Ending(" doesn't show"), ActionType::Muck},
            {Ending(" mucks"), ActionType::Muck},
        };
        if (push_ending_action(b, line, kEndings)) return true;
        if (find_str(line, " shows [") != npos) {
            begin_showdown();
            return show(line);
        }
        // "X wins $0.35 with: ...", "X wins 880 from side pot #1 with: ...", "X ties, and wins
        // 12 with: ...", "X wins $0.04, disconnection protection limited from $0.17 with: ..."
        static constexpr string_view kWins = " wins ", kTies = " ties, and";
        if (const size_t at = find_str(line, kWins); at != npos) {
            const size_t ties = find_str(line.substr(0, at), kTies);
            const float amount = local_amount_at(rest(line, at + kWins.size()), line);
            const size_t with = find_str(line, " with: ", at);
            const bool side = find_str(slice(line, at, with == npos ? line.size() : with),
                                       " from side pot") != npos;
            const Action a = p.make_action(
                cut_name(line, 0, ties != npos ? ties : at),
                side ? ActionType::CollectSidePot1 : ActionType::CollectMainPot, amount);
            b.push(a);
            p.store().winners.push_back(Winner{a.player_id(), amount, 0});
            won = sum_hundredths(won, amount);
            return true;
        }
        // "X has One Pair: 7s": the hand shown, named.
        return find_str(line, " has ") != npos || aside(line);
    }

    // The street being read: the preflop until the first street line; whether a hand was shown,
    // and whether the showdown has begun.
    bool preflop = true, shown = false, showdown = false;
    StreetKind street = StreetKind::Flop;
    CardSet board{};
    void close_betting() {
        if (preflop) {
            b.close_preflop();
        } else {
            b.close_street(street, board);
        }
        preflop = false;
    }
};

// The table line before the hand line: "Table #46120523 - Audeamus 1", "Table #42688466 -
// Tournament #24820874 Table #7", "Table #44761272 - STT # 25738091"; nothing when the text
// holds none there (a history that begins at its hand line).
string_view table_line_before(const Parser& p) {
    const string_view text = p.text();
    const string_view line = p.line();
    if (line.data() < text.data() || line.data() > text.data() + text.size()) return {};
    size_t end = static_cast<size_t>(line.data() - text.data());
    // The line break before the hand line (and a carriage return before it).
    if (end == 0 || text[end - 1] != '\n') return {};
    --end;
    if (end > 0 && text[end - 1] == '\r') --end;
    size_t begin = 0;
    if (const size_t lf = end == 0 ? npos : text.rfind('\n', end - 1); lf != npos) begin = lf + 1;
    const string_view before = slice(text, begin, end);
    return starts(before, "Table #") ? before : string_view();
}

void read_table(HandBuilder& b, string_view table) {
    static constexpr string_view kDash = " - ";
    const size_t dash = find_str(table, kDash);
    if (dash == npos) return;
    const string_view name = rest(table, dash + kDash.size());
    b.header().table_name = b.store().push_text(cut_text(name, 0, name.size()));
}

// "Tournament #24820874 Table #7", "STT # 25738091": the tournament's number.
void read_tournament(HandBuilder& b, string_view table_name) {
    Tournament t;
    const size_t hash = find_byte(table_name, '#');
    if (hash != npos) {
        size_t from = hash + 1;
        while (byte_at(table_name, from) == ' ') ++from;
        const size_t len = numeric_len(rest(table_name, from));
        t.id = b.store().push_text(cut_text(table_name, from, from + len));
    }
    b.push_tournament(t);
}

HandOutcome read_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::Pkr;
    const string_view table = table_line_before(p);
    read_table(b, table);
    static constexpr string_view kStarting = "Starting Hand #";
    const string_view first = p.line();
    const size_t id_at = find_str(first, kStarting);
    if (id_at == npos || first.size() <= id_at + kStarting.size())
        fault_line(kHandLineWithoutId, first);
    h.id = p.store().push_text(cut_text(first, id_at + kStarting.size(), first.size()));
    p.next_line();
    bool tournament = false, play_money = false;
    AmountForm blinds;
    // The properties, up to the first seat line.
    while (!starts(p.line(), "Seat ")) {
        const string_view line = p.line();
        if (p.at_end()) return reject(kTextEndsInsideHand);
        static constexpr string_view kStart = "Start time of hand: ", kGame = "Game Type: ",
                                     kLimit = "Limit Type: ", kTable = "Table Type: ",
                                     kMoney = "Money Type: ", kBlinds = "Blinds are now ",
                                     kButton = "Button is at seat ";
        if (starts(line, kStart)) {
            start_time(h, rest(line, kStart.size()), line);
        } else if (starts(line, kGame)) {
            const string_view game = rest(line, kGame.size());
            if (game == "HOLD'EM") {
                h.game_type = GameType::HoldEm;
            } else if (game == "OMAHA") {
                h.game_type = GameType::Omaha;
            } else if (starts(game, "OMAHA HI")) {  // "OMAHA HI/LO"
                h.game_type = GameType::OmahaHiLo;
            } else {
                fault_game(line, kGame.size());
            }
        } else if (starts(line, kLimit)) {
            const string_view limit = rest(line, kLimit.size());
            h.bet_type = limit == "NO LIMIT"    ? BetType::NoLimit
                         : limit == "POT LIMIT" ? BetType::PotLimit
                                                : BetType::Limit;
        } else if (starts(line, kTable)) {
            tournament = rest(line, kTable.size()) == "TOURNAMENT";
        } else if (starts(line, kMoney)) {
            play_money = rest(line, kMoney.size()) == "PLAY MONEY";
        } else if (starts(line, kBlinds)) {
            const string_view stakes = rest(line, kBlinds.size());
            if (const auto sign = currency_symbol(stakes)) blinds.sign = sign->sign;
            h.small_blind = local_amount_at(stakes, line);
            const size_t slash = find_byte(stakes, '/');
            if (slash == npos) fault_missing("big blind", line);
            h.big_blind = local_amount_at(stakes.substr(slash + 1), line);
        } else if (starts(line, kButton)) {
            if (const auto seat = read_integer(rest(line, kButton.size())))
                h.button_seat = static_cast<std::uint8_t>(seat->value);
        }
        p.next_line();
    }
    if (tournament) read_tournament(b, p.store().text_of(h.table_name));
    h.currency = tournament || play_money ? 0 : blinds.sign;
    // "Seat 1: Player0 - $4.63", "Seat 1: Player0 (bounty value $0.40, bounty won $0) - 2,940",
    // "Seat 4: Player9 - $0 (away from table)"
    while (starts(p.line(), "Seat ")) {
        const string_view line = p.line();
        const size_t colon = find_byte(line, ':');
        const size_t dash = rfind_str(line, " - ");
        if (colon == npos || dash == npos || dash < colon + 2)
            return reject("seat line without chips");
        const auto seat = read_integer(rest(line, 5));
        if (!seat) fault_missing("seat number", line);
        string_view name = slice(line, colon + 2, dash);
        static constexpr string_view kBounty = " (bounty value ";
        if (const size_t bounty = find_str(name, kBounty); bounty != npos) {
            b.seat_bounty(local_amount_at(rest(name, bounty + kBounty.size()), line));
            name = name.substr(0, bounty);
        }
        const float chips = local_amount_at(rest(line, dash + 3), line);
        const std::uint8_t id =
            b.seat_player(cut_name(line, name), static_cast<std::uint8_t>(seat->value), chips);
        if (ends(line, "(away from table)")) p.player(id).sitting_out = true;
        p.next_line();
    }
    Reader r{b, p};
    r.bets.clear();
    // Before the deal: the shuffle, the button's moves, the posts.
    static constexpr string_view kMoving = "Moving Button to seat ";
    while (p.line() != "Dealing Cards") {
        const string_view line = p.line();
        if (p.at_end()) return reject(kTextEndsInsideHand);
        if (starts(line, kMoving)) {
            if (const auto seat = read_integer(rest(line, kMoving.size())))
                h.button_seat = static_cast<std::uint8_t>(seat->value);
        } else if (const auto a = r.post(line)) {
            b.push(*a);
        } else if (line != "Shuffling Deck" && !starts(line, "Pot sizes:") && !r.aside(line)) {
            return reject(kUnrecognisedPreDeal);
        }
        p.next_line();
    }
    b.close_pre_deal();
    if (tournament) h.ante = largest_ante(p.store(), h.actions);
    p.next_line();

    // The rounds: each ends at the next street line or at the first line after the betting.
    static constexpr string_view kStreets[] = {"Dealing Flop ", "Dealing Turn ", "Dealing River "};
    const auto street_of = [](string_view line) -> int {
        if (!starts(line, "Dealing ") || line.size() < 14) return -1;
        for (int i = 0; i < 3; ++i)
            if (starts(line, kStreets[i])) return i;
        return -1;
    };
    for (;;) {
        bool closing = false;
        const string_view reason = read_round(
            p,
            [&](string_view line) {
                return street_of(line) >= 0 || starts(line, "Seat ") ||
                       (starts(line, "End of Hand") || starts(line, "End Of Hand")) || p.at_end();
            },
            [&](string_view line) {
                if (!closing && r.round_line(line)) return string_view();
                if (!closing && r.shown) r.begin_showdown();
                closing = true;
                return r.closing_line(line) ? string_view() : kUnrecognisedAction;
            });
        if (!reason.empty()) return reject(reason);
        const int street = street_of(p.line());
        if (street < 0) break;
        if (closing) return reject("a street dealt after the hand's winners");
        r.close_betting();
        r.street = static_cast<StreetKind>(street);
        r.board = cards_in(p.line(), p.line());
        r.preflop = false;
        r.bets.clear();
        p.next_line();
    }
    if (r.showdown) {
        b.close_street(StreetKind::Showdown, CardSet::empty());
    } else {
        r.close_betting();
    }
    // The seats with their stacks after the hand, then the hand's end.
    while (starts(p.line(), "Seat ")) p.next_line();
    if (!(starts(p.line(), "End of Hand") || starts(p.line(), "End Of Hand")))
        return reject(kTextEndsInsideHand);
    PotInfo pots;
    pots.rake = r.rake;
    pots.total = sum_hundredths(r.won, r.rake);
    pots.main = pots.total;
    b.close_summary(pots);
    return b.finish();
}

// The table line a hand writes before its hand line is no fragment of a hand.
bool table_line(string_view line) noexcept { return starts(line, "Table #"); }

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    read_hands(parser, "Starting Hand #", errors, rejected, read_hand, Leading{true, table_line});
}

}  // namespace hs::pkr
