// Histories in the layouts PokerTracker writes for the hands of other networks' clients. The
// Merge network's and iPoker's share one table of line kinds, with a hand line of their own:
//
//   MERGE_GAME #3047310402797: Texas Hold'em NL $0.50/$1 01/01/2011 12:01:23
//   Merge Game #80256693-236 | Holdem NL ($0.02/$0.04) | 12/05/2014 17:08:49 EST | Version:2
//   GAME #2978859505: Texas Hold'em  NL $0.05/$0.10 2011-10-12 02:52:19
//   GAME #4999408769: Omaha 50/100 - 2013-08-01 22:16:18
//   GAME #8162156892 Version:18.5.6.4 Uncalled:Y Texas Hold'em NL €0.01/€0.02 2018-12-26
//       22:40:05/GMT
//   Table Bad Beat - Rue St Catherine (30473104)
//   Seat 9: Player2 ($116.13 in chips) DEALER
//   Player0: Post SB $0.50                      (iPoker's older archive: "Player0: SB $50.00")
//   *** HOLE CARDS ***
//   Dealt to Player10 [Ks 8s]                   (iPoker: "[SQ DQ]", "[H10 SK]", "[dJ s7]")
//   Player8: Call $1.00 / Raise $4.50 / Raise (NF) $0.06 / Raise to $250.00 / Allin $36.49 /
//            Bet $1.50 / Check / Fold
//   *** FLOP *** [Qc Ts Ah]                     (the older archive: "*** TURN *** [D3 SK C3 DQ]")
//   *** SUMMARY ***
//   Total pot $62.50 Rake $3.00                 (iPoker: the pot less the rake, then the rake)
//   Player2: Shows [6s 2h] / Mucks [HA CA] One Pair, Aces
//   Player8: wins $18.90                        (Merge's second version: "wins $0.04 (uncalled)")
//
// "Raise" and "Raise (NF)" write the player's total in the round, "Raise to" (iPoker's older
// archive), a call and an all-in the chips added: the reader stores the chips each adds. What
// nobody called is part of its bettor's "wins", but for the versions that say "Uncalled:Y" on the
// hand line: their wins leave it out, and the reader writes its return at the end of its round.
// Without a "Total pot" line the rake is what the winners do not take of the chips put in.
// Tournament tables write their chips with a currency sign.
//
// Microgaming's layout, in versions whose amounts mean different things:
//
//   ** Game ID 4908778359 Version:3 starting - 2013-05-28 16:44:14      (Version:4; none in 2011)
//   ** Hand # 5870377181 starting - 2016-01-12 23:00:07
//   ** Anonymous (Heads Up) - €5K Max [Hold'em] (25|50 NL - € Cash Game seats:2 badbeat )
//       Real Money
//   - Player 1 sitting in seat 1 with €14785.00 at end €14585.00 [Dealer]
//   Player 1 posted the small blind - €25.00 / posted ante - 20.00
//   ** Dealing card to Hero: A of c, 6 of d       ("** Dealing cards to Hero: 6h, 9s, 3h, 4c")
//   Player 1 raised - €75.00 / raised to €6 / called - €50.00 / bet - €100.00 /
//            went all-in - €21.26 / checked / folded
//   ** Dealing the flop: 6 of s, 10 of h, 6 of c
//   Player0 shows: 7 of s, 4 of s / mucks: K of d, A of c
//   Hero wins €649.00 from the main pot / from side pot 1
//   Rake: €1.50
//   End of game 4908778359
//
// The 2011 version writes a call and a raise as the player's total in the round, an all-in as the
// chips added, and its wins leave out what nobody called. Versions 3 and 4 write the chips added
// throughout, and their wins hold what nobody called ("at end" stacks agree). The "Hand #"
// version writes the chips added too ("raised to €16.75" adds them) and a rake line, and its wins
// leave out what nobody called.
//
// Everest Poker's layout, close to PokerStars':
//
//   EverestPoker Game #6450768434: Table Moroni-1 - $0.50/$1 - No Limit Hold'em - 22:33:12
//       - 2011/01/02
//   Seat 1: Player14 ($94.15)
//   Player9 posts the small blind of $0.50 / the big blind of / the dead blind of / posts $1.00
//   The button is in seat #7
//   Player28 raises to $5.50 [and is all-in] / calls $4.50 / bets $7.00 / checks / folds
//   Uncalled bet of $7.00 returned to Player28
//   *** SUMMARY ***
//   Player28 collects $12.85 / shows [5d 3c] / mucked [Ks Kd]
#include "sites/pokertracker.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

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

namespace hs::pokertracker {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// Cards, games, dates
// ---------------------------------------------------------------------------------------------

bool suit_letter(char c) noexcept {
    switch (c) {
        case 's':
        case 'c':
        case 'h':
        case 'd':
        case 'S':
        case 'C':
        case 'H':
        case 'D': return true;
        default: return false;
    }
}

// One card as the layouts write it: "Ks", "10h", "SQ", "H10", "dJ" (the suit first), "A of c".
Card card_of(string_view piece, string_view line) {
    char buf[4];
    string_view rank = piece, suit;
    if (const size_t of = find_str(piece, " of "); of != npos) {
        rank = piece.substr(0, of);
        suit = piece.substr(of + 4);
    } else if (piece.size() >= 2 && suit_letter(piece.front()) && !suit_letter(piece[1])) {
        rank = piece.substr(1);
        suit = piece.substr(0, 1);
    } else {
        return card_from_text(piece);
    }
    if (rank.empty() || rank.size() > 2 || suit.size() != 1) fault_missing("card", line);
    std::memcpy(buf, rank.data(), rank.size());
    buf[rank.size()] = suit.front();
    return card_from_text(string_view(buf, rank.size() + 1));
}

// Cards parted by spaces or by ", ": "SQ DQ", "A of c, 6 of d", "6h, 9s, 3h, 4c".
CardSet cards_of(string_view text, string_view line) {
    CardSet set;
    // "J of c" is one card: a text that writes cards so parts them by commas.
    const bool commas = find_byte(text, ',') != npos || find_str(text, " of ") != npos;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') ++at;
        if (at >= text.size()) break;
        size_t end = commas ? find_byte(text, ',', at) : find_byte(text, ' ', at);
        if (end == npos) end = text.size();
        set.push(card_of(slice(text, at, end), line));
        at = end + 1;
    }
    return set;
}

// The cards between the last '[' of the line and the ']' that ends it.
CardSet bracket_cards_of(string_view line) {
    const size_t open = rfind_byte(line, '[');
    if (open == npos || line.back() != ']') fault_missing("']'", line);
    return cards_of(slice(line, open + 1, line.size() - 1), line);
}

// "Texas Hold'em NL", "Holdem NL", "Omaha PL", "Omaha Hi/Lo PL", "Hold'em", "Multi Table
// Hold'em": the game's words, and the limit they write.
void read_game_words(Header& h, string_view words, string_view line) {
    if (find_str(words, "Hold") != npos) {
        h.game_type = GameType::HoldEm;
    } else if (find_str(words, "Omaha") != npos) {
        h.game_type = find_str(words, "Hi/Lo") != npos || find_str(words, "H/L") != npos
                          ? GameType::OmahaHiLo
                          : GameType::Omaha;
    } else {
        fault_game(line, static_cast<size_t>(words.data() - line.data()));
    }
    if (find_str(words, " PL") != npos) {
        h.bet_type = BetType::PotLimit;
    } else if (find_str(words, " FL") != npos || ends(words, " L")) {
        h.bet_type = BetType::Limit;
    } else {
        h.bet_type = BetType::NoLimit;
    }
}

// "01/01/2011 12:01:23": month, day, year and the time.
std::optional<PackedDate> month_first_date(string_view date) {
    unsigned parts[6] = {};
    size_t at = 0;
    for (unsigned& part : parts) {
        const auto n = read_integer(rest(date, at));
        if (!n) return std::nullopt;
        part = static_cast<unsigned>(n->value);
        at += n->len + 1;
    }
    return pack_date(parts[2], parts[0], parts[1], parts[3], parts[4], parts[5]);
}

// "$0.50/$1", "€0.01/€0.02", "50/100": the blinds, and the currency of their sign.
void read_stakes(Header& h, string_view stakes, string_view line) {
    if (const auto sign = currency_symbol(stakes)) h.currency = sign->sign;
    const size_t slash = find_byte(stakes, '/');
    if (slash == npos) fault_missing("stakes", line);
    h.small_blind = local_amount_at(stakes.substr(0, slash), line);
    h.big_blind = local_amount_at(stakes.substr(slash + 1), line);
}

void start_tournament(HandBuilder& b) {
    Tournament t;
    t.id = b.header().id;
    b.push_tournament(t);
}

// A tournament's hand line writes no stakes: the blinds posted give them.
void blinds_from_posts(HandBuilder& b) {
    Header& h = b.header();
    HandStore& store = b.store();
    h.ante = largest_ante(store, h.actions);
    for (const Action& a : store.resolve(store.actions, h.actions)) {
        if (a.type() == ActionType::SmallBlind && h.small_blind == 0.0f) h.small_blind = a.amount();
        if (a.type() == ActionType::BigBlind && h.big_blind == 0.0f) h.big_blind = a.amount();
    }
}

// ---------------------------------------------------------------------------------------------
// The Merge network's and iPoker's hand lines
// ---------------------------------------------------------------------------------------------

// What a hand line says of the hand's amounts.
struct LineFlags {
    bool returns_left_out = false;  // the wins leave out what nobody called ("Uncalled:Y")
};

// The game's words and then the stakes or " Tournament": "Texas Hold'em NL $0.50/$1".
void game_and_stakes(HandBuilder& b, string_view words, string_view line) {
    static constexpr string_view kTournament = " Tournament";
    while (ends(words, " -") || ends(words, " ")) words.remove_suffix(ends(words, " -") ? 2 : 1);
    if (ends(words, kTournament)) {
        words.remove_suffix(kTournament.size());
        start_tournament(b);
    } else {
        const size_t space = rfind_byte(words, ' ');
        if (space == npos) fault_missing("stakes", line);
        read_stakes(b.header(), words.substr(space + 1), line);
        words = words.substr(0, space);
    }
    read_game_words(b.header(), words, line);
}

// The id after '#', up to `end` (the first of its bytes not in the id).
size_t read_id(HandBuilder& b, string_view line, string_view enders) {
    const size_t hash = find_byte(line, '#');
    size_t end = hash == npos ? npos : hash + 1;
    while (end < line.size() && enders.find(line[end]) == string_view::npos) ++end;
    if (hash == npos || end == hash + 1 || end >= line.size()) fault_line(kHandLineWithoutId, line);
    b.header().id = b.store().push_text(cut_text(line, hash + 1, end));
    return end;
}

// The last two words of a line: its date and time.
size_t date_start(string_view line, size_t after) {
    const size_t time = rfind_byte(line, ' ');
    const size_t date = time == npos || time == 0 ? npos : rfind_byte(line.substr(0, time), ' ');
    if (date == npos || date <= after) fault_missing("date", line);
    return date;
}

// "MERGE_GAME #3047310402797: Texas Hold'em NL $0.50/$1 01/01/2011 12:01:23", "MERGE_GAME
// #4290961700035: Holdem NL Tournament 11/02/2011 21:16:13"; the zone is not written.
LineFlags merge_hand_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    const size_t colon = read_id(b, line, ":");
    const size_t date = date_start(line, colon);
    const auto packed = month_first_date(rest(line, date + 1));
    if (!packed) fault_missing("date", line);
    h.start_date = *packed;
    h.start_utc = utc_start(h.start_date, TimeZone{});
    game_and_stakes(b, slice(line, colon + 2, date), line);
    return {};
}

// "Merge Game #80256693-236 | Holdem NL ($0.02/$0.04) | 12/05/2014 17:08:49 EST | Version:2".
LineFlags merge_two_hand_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    static constexpr string_view kBar = " | ";
    const size_t id_end = read_id(b, line, " ");
    const size_t game = find_str(line, kBar, id_end);
    const size_t date = game == npos ? npos : find_str(line, kBar, game + kBar.size());
    if (date == npos) fault_missing("date", line);
    string_view words = slice(line, game + kBar.size(), date);
    if (const size_t open = find_byte(words, '('); open != npos) {
        const size_t close = find_byte(words, ')', open);
        read_stakes(h, slice(words, open + 1, close == npos ? words.size() : close), line);
        words = words.substr(0, open);
        while (ends(words, " ")) words.remove_suffix(1);
    } else if (ends(words, " Tournament")) {
        words.remove_suffix(11);
        start_tournament(b);
    }
    read_game_words(h, words, line);
    const string_view when = rest(line, date + kBar.size());
    const auto packed = month_first_date(when);
    if (!packed) fault_missing("date", line);
    h.start_date = *packed;
    // "17:08:49 EST | Version:2": the zone after the time.
    const size_t space = find_byte(when, ' ', find_byte(when, ' ') + 1);
    const size_t end = find_byte(when, ' ', space + 1);
    h.start_utc = utc_start(h.start_date,
                            zone_named(slice(when, space + 1, end == npos ? when.size() : end)));
    return {};
}

// "GAME #2978859505: Texas Hold'em  NL $0.05/$0.10 2011-10-12 02:52:19", "GAME #4999408769:
// Omaha 50/100 - 2013-08-01 22:16:18", "GAME #3704959981 Texas Hold'em NL $1/$2 2018-12-24
// 10:34:39/GMT", "GAME #8162156892 Version:18.5.6.4 Uncalled:Y Texas Hold'em NL Tournament
// 2018-12-26 22:40:05/GMT".
LineFlags ipoker_hand_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    LineFlags flags;
    size_t at = read_id(b, line, ": ");
    if (byte_at(line, at) == ':') ++at;
    const size_t date = date_start(line, at);
    // "Version:18.5.6.4 Uncalled:Y ": words of the export, before the game's.
    for (;;) {
        while (byte_at(line, at) == ' ') ++at;
        const size_t space = find_byte(line, ' ', at);
        if (space == npos || space >= date) break;
        const string_view word = slice(line, at, space);
        if (starts(word, "Version:")) {
        } else if (starts(word, "Uncalled:")) {
            flags.returns_left_out = word == "Uncalled:Y";
        } else {
            break;
        }
        at = space + 1;
    }
    const auto packed = loose_date(rest(line, date + 1));
    if (!packed) fault_missing("date", line);
    h.start_date = *packed;
    const size_t slash = find_byte(line, '/', rfind_byte(line, ' '));
    h.start_utc =
        utc_start(h.start_date, slash == npos ? TimeZone{} : zone_named(rest(line, slash + 1)));
    game_and_stakes(b, slice(line, at, date), line);
    return flags;
}

// "Table Bad Beat - Rue St Catherine (30473104)", "Table Kentucky (53094604), Seats 2", "Table
// $2 Bounty Turbo, 42862423 (Tournament: $2 Bounty Turbo, 42862423 Buy-In: $2+$0.20)", "Table
// €200 Deepstack Turbo, 942927853, 942393668 (Tournament: ... Buy-In: €0.91 + €0.09)".
void table_line(HandBuilder& b, string_view line) {
    static constexpr string_view kTable = "Table ";
    Header& h = b.header();
    string_view name = rest(line, kTable.size());
    if (const size_t open = find_str(name, " ("); open != npos) name = name.substr(0, open);
    h.table_name = b.store().push_text(cut_text(name, 0, name.size()));
    static constexpr string_view kSeats = ", Seats ";
    if (const size_t seats = find_str(line, kSeats); seats != npos)
        if (const auto n = read_integer(rest(line, seats + kSeats.size())))
            h.max_players = static_cast<std::uint8_t>(n->value);
    static constexpr string_view kBuyIn = " Buy-In: ";
    if (const size_t buy_in = find_str(line, kBuyIn); buy_in != npos && h.is_tournament()) {
        Tournament& t = b.tournament();
        const string_view parts = rest(line, buy_in + kBuyIn.size());
        if (const auto sign = currency_symbol(parts)) t.currency = sign->sign;
        const auto first = local_amount(parts);
        const size_t plus = find_byte(parts, '+');
        if (first && plus != npos) {
            t.buy_in = first->value;
            t.fee = local_amount_at(parts.substr(plus + 1), line);
            t.buy_in_kind = t.currency != 0 ? BuyInKind::Money : BuyInKind::Unknown;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The Merge network's and iPoker's hands
// ---------------------------------------------------------------------------------------------

// ---------------------------------------------------------------------------------------------
// What each layout's reader keeps of a hand's chips
// ---------------------------------------------------------------------------------------------

// How a line's amount counts: the chips the player adds, the player's total in the round, the
// chips an all-in adds (a bet, call or raise by the round's bets), or chips into the pot that
// are no bet of the round (an ante, a dead blind).
enum class Amount : std::uint8_t { Added, Total, AllIn, Dead };

// A row of a table of posts, bets, calls and raises: the words between the name and the amount.
struct AmountRow {
    string_view words;
    ActionType type;
    Amount amount = Amount::Added;
};

ActionType all_in_of(ActionType t) noexcept {
    switch (t) {
        case ActionType::Call: return ActionType::CallAllIn;
        case ActionType::Raise: return ActionType::RaiseAllIn;
        case ActionType::Bet: return ActionType::BetAllIn;
        default: return t;
    }
}

struct Ledger {
    HandBuilder& b;
    Parser& p;
    bool write_returns = false;  // the wins leave out what nobody called: the reader returns it
    RoundBets bets{};
    float put_in = 0.0f;  // every chip put in, posts and antes too, less those returned
    float won = 0.0f;
    std::optional<float> rake{};  // as a line of the hand writes it

    void put(std::uint8_t id, ActionType type, float added, bool bet = true) {
        if (bet) bets.add(id, added);
        put_in = sum_hundredths(put_in, added);
        b.push(Action::with_amount(type, id, added));
    }

    // The line's row of `rows` (the first whose words it holds): the player named before the
    // words puts in the amount after them, as the row counts it; an all-in line's action is the
    // row's all-in one. False when no row's words are in the line.
    template <size_t N>
    bool take(string_view line, const AmountRow (&rows)[N], bool all_in = false) {
        for (const AmountRow& r : rows) {
            const size_t at = find_str(line, r.words);
            if (at == npos) continue;
            const std::uint8_t id = p.find_player(cut_name(line, 0, at));
            const float amount = local_amount_at(rest(line, at + r.words.size()), line);
            const ActionType type = all_in ? all_in_of(r.type) : r.type;
            switch (r.amount) {
                case Amount::Added: put(id, type, amount); break;
                case Amount::Total: put(id, type, sum_hundredths(amount, -bets.in(id))); break;
                case Amount::AllIn: put(id, bets.all_in(id, amount), amount); break;
                case Amount::Dead: put(id, type, amount, false); break;
            }
            return true;
        }
        return false;
    }

    // The end of a betting round: a bet nobody matched goes back to its player when the layout
    // leaves it out of the wins.
    void end_round() {
        if (write_returns) {
            std::uint8_t who = kNoSlot;
            const float back = bets.unmatched(who);
            if (who < kNoSlot && back > 0.0f) {
                b.push(Action::with_amount(ActionType::UncalledBetReturned, who, back));
                put_in = sum_hundredths(put_in, -back);
            }
        }
        bets.clear();
    }

    // A win of the player named before `at`.
    void collect(string_view line, size_t at, ActionType type, float amount) {
        const Action a = p.make_action(cut_name(line, 0, at), type, amount);
        b.push(a);
        p.store().winners.push_back(Winner{a.player_id(), amount, 0});
        won = sum_hundredths(won, amount);
    }

    // Cards shown or mucked by the player named before `at`.
    void show(string_view line, size_t at, ActionType type, const CardSet& cards) {
        b.push(p.make_card_action(cut_name(line, 0, at), type, cards));
    }

    // The pot is the chips put in less those returned; the rake, when no line writes it, what
    // the winners do not take of it.
    PotInfo pots() const {
        PotInfo pots;
        pots.total = pots.main = put_in;
        pots.rake = rake ? *rake : won < put_in ? sum_hundredths(put_in, -won) : 0.0f;
        return pots;
    }
};

struct Reader : Ledger {
    // "Player0: Post SB $0.50", "Post BB", "Post BB Allin €20.00", "Post Ante", "Post DB" (a
    // dead blind that counts for its player's bet, as its call shows), and the older archive's
    // "Player0: SB $50.00".
    bool post(string_view line) {
        static constexpr AmountRow kPosts[] = {
            {": Post SB ", ActionType::SmallBlind},
            {": Post BB ", ActionType::BigBlind},
            {": Post Ante ", ActionType::Ante, Amount::Dead},
            {": Post DB ", ActionType::DeadBlind},
            {": SB ", ActionType::SmallBlind},
            {": BB ", ActionType::BigBlind},
        };
        return take(line, kPosts);
    }

    // One line of a betting round; false when it is none of the round's lines. "Raise" and
    // "Raise (NF)" write the player's total in the round, the older archive's "Raise to" the
    // chips added.
    bool round_line(string_view line) {
        static constexpr ActionEnding kEndings[] = {
            {Ending(": Fold"), ActionType::Fold},
            {Ending(": Check"), ActionType::Check},
        };
        static constexpr AmountRow kWagers[] = {
            {": Call ", ActionType::Call},
            {": Bet ", ActionType::Bet},
            {": Raise to ", ActionType::Raise},
            {": Raise ", ActionType::Raise, Amount::Total},
            {": Allin ", ActionType::BetAllIn, Amount::AllIn},
        };
        if (push_ending_action(b, line, kEndings) || take(line, kWagers)) return true;
        // iPoker's "Player8:" with no action after it says nothing.
        if (ends(line, ":") && find_byte(line, ' ') == npos) return true;
        static constexpr string_view kDealtTo = "Dealt to ";
        if (starts(line, kDealtTo)) {
            const size_t open = rfind_byte(line, '[');
            if (open == npos || open < kDealtTo.size() + 2) return false;
            const Action a = p.make_card_action(cut_name(line, kDealtTo.size(), open - 1),
                                                ActionType::Dealt, bracket_cards_of(line));
            b.dealt_cards_to(a.player_id());
            b.push(a);
            return true;
        }
        return false;
    }

    // The summary: "Total pot $62.50 Rake $3.00", "Player2: Shows [6s 2h] ...", "Mucks [..]",
    // "Player8: wins $18.90", "wins $0.04 (uncalled)".
    SeatResult summary_line(string_view line) {
        static constexpr string_view kShows = ": Shows [", kMucks = ": Mucks [", kWins = ": wins ",
                                     kRake = " Rake ";
        if (starts(line, "Total pot ")) {
            if (const size_t at = find_str(line, kRake); at != npos)
                rake = local_amount_at(rest(line, at + kRake.size()), line);
            return SeatResult::Skip;
        }
        for (const string_view words : {kShows, kMucks}) {
            const size_t at = find_str(line, words);
            if (at == npos) continue;
            const size_t close = find_byte(line, ']', at);
            if (close == npos) fault_missing("']'", line);
            show(line, at, words == kShows ? ActionType::Show : ActionType::Muck,
                 cards_of(slice(line, at + words.size(), close), line));
            return SeatResult::Action;
        }
        if (const size_t at = find_str(line, kWins); at != npos) {
            collect(line, at, ActionType::CollectMainPot,
                    local_amount_at(rest(line, at + kWins.size()), line));
            return SeatResult::Action;
        }
        return SeatResult::Reject;
    }

    // "*** FLOP *** [Qc Ts Ah]", "*** TURN *** [S3]", and the older archive's whole board on
    // each street ("*** TURN *** [D3 SK C3 DQ]"): the street's own cards are the last ones.
    std::optional<StreetLine> street_line() {
        const string_view line = p.line();
        StreetLine s{StreetKind::Flop, bracket_cards_of(line)};
        size_t own = 3;
        if (starts(line, "*** TURN")) {
            s.kind = StreetKind::Turn;
            own = 1;
        } else if (starts(line, "*** RIVER")) {
            s.kind = StreetKind::River;
            own = 1;
        } else if (!starts(line, "*** FLOP")) {
            fault_line("unrecognised street line", line);
        }
        if (s.cards.count > own) {
            CardSet last;
            for (size_t i = s.cards.count - own; i < s.cards.count; ++i)
                last.push(s.cards.cards[i]);
            s.cards = last;
        }
        p.next_line();
        return s;
    }
};

struct Streets {
    Reader& r;
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY"); }
    std::optional<StreetLine> street_line(Parser&) const { return r.street_line(); }
    bool round_ends(string_view line) const {
        if (!is_stars_line(line)) return false;
        r.end_round();
        return true;
    }
    bool round_line(HandBuilder&, string_view line) const { return r.round_line(line); }
};

using HandLine = LineFlags (*)(HandBuilder&, string_view);

HandOutcome read_hand(HandBuilder& b, HandLine hand_line) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::PokerTracker;
    const LineFlags flags = hand_line(b, p.line());
    p.next_line();
    if (!starts(p.line(), "Table ")) return reject("hand without a table line");
    table_line(b, p.line());
    p.next_line();
    // iPoker's archive names the server: "Server poker2.ipoker.com".
    while (p.line().empty() || starts(p.line(), "Server ")) {
        if (p.at_end()) return reject("hand without seats");
        p.next_line();
    }
    // "Seat 1: Player0 ($127.26 in chips)", "... DEALER", "... (REBUY) (ADDON)".
    static constexpr string_view kInChips = " in chips)";
    while (starts(p.line(), "Seat ")) {
        const string_view line = p.line();
        const size_t colon = find_byte(line, ':');
        const size_t chips_end = find_str(line, kInChips);
        const size_t open = chips_end == npos ? npos : rfind_byte(line.substr(0, chips_end), '(');
        if (colon == npos || open == npos || open < colon + 3)
            return reject("seat line without chips");
        const auto number = read_integer(rest(line, 5));
        if (!number) fault_missing("seat number", line);
        const float chips = local_amount_at(slice(line, open + 1, chips_end), line);
        b.seat_player(cut_name(line, colon + 2, open - 1), static_cast<std::uint8_t>(number->value),
                      chips);
        if (ends(line, " DEALER")) h.button_seat = static_cast<std::uint8_t>(number->value);
        p.next_line();
    }
    Reader r{{b, p, flags.returns_left_out}};
    while (p.line().empty() && !p.at_end()) p.next_line();
    while (!is_stars_line(p.line())) {
        if (!r.post(p.line())) return reject(kUnrecognisedPreDeal);
        p.next_line();
    }
    b.close_pre_deal();
    if (h.is_tournament()) blinds_from_posts(b);
    // Heads-up the small blind is on the button, which iPoker's older archive does not mark.
    if (h.button_seat == kNone8 && p.player_count() == 2)
        for (const Action& a : b.store().resolve(b.store().actions, h.actions))
            if (a.type() == ActionType::SmallBlind) h.button_seat = p.player(a.player_id()).seat;
    if (!starts(p.line(), "*** HOLE")) return reject("hand without hole cards");
    p.next_line();
    const Streets streets{r};
    const string_view preflop = read_round(
        p, [&](string_view line) { return streets.round_ends(line); },
        [&](string_view line) { return r.round_line(line) ? string_view() : kUnrecognisedAction; });
    if (!preflop.empty()) return reject(preflop);
    b.close_preflop();
    if (const string_view reason = read_streets(b, streets); !reason.empty()) return reject(reason);
    p.next_line();
    const string_view reason =
        read_summary_seats(p, [&](string_view line) { return r.summary_line(line); });
    if (!reason.empty()) return reject(reason);
    b.close_summary(r.pots());
    return b.finish();
}

// ---------------------------------------------------------------------------------------------
// Microgaming's hands
// ---------------------------------------------------------------------------------------------

// The posts, bets, calls and raises of Microgaming's versions (see the top of the file).
constexpr AmountRow kMgsPosts[] = {
    {" posted the small blind - ", ActionType::SmallBlind},
    {" posted the big blind - ", ActionType::BigBlind},
    {" posted ante - ", ActionType::Ante, Amount::Dead},
};
constexpr AmountRow kMgsAdded[] = {
    {" called - ", ActionType::Call},
    {" bet - ", ActionType::Bet},
    {" raised to ", ActionType::Raise},
    {" raised - ", ActionType::Raise},
    {" went all-in - ", ActionType::BetAllIn, Amount::AllIn},
};
constexpr AmountRow kMgsTotals[] = {
    {" called - ", ActionType::Call, Amount::Total},
    {" bet - ", ActionType::Bet},
    {" raised - ", ActionType::Raise, Amount::Total},
    {" went all-in - ", ActionType::BetAllIn, Amount::AllIn},
};

struct MgsReader : Ledger {
    bool totals = false;  // calls and raises write the player's total in the round (2011)

    // "Player0 posted the small blind - €0.25", "posted the big blind - ", "posted ante - 20.00",
    // and a blind posted all-in: "Player0 went all-in - 10.00" before the deal.
    bool post(string_view line) {
        static constexpr string_view kAllIn = " went all-in - ";
        if (const size_t at = find_str(line, kAllIn); at != npos) {
            put(p.find_player(cut_name(line, 0, at)),
                bets.top() == 0.0f ? ActionType::SmallBlind : ActionType::BigBlind,
                local_amount_at(rest(line, at + kAllIn.size()), line));
            return true;
        }
        return take(line, kMgsPosts);
    }

    // "** Dealing card to Hero: A of c, 6 of d", "** Dealing cards to Hero: 6h, 9s, 3h, 4c".
    bool dealt(string_view line) {
        if (!starts(line, "** Dealing card")) return false;
        const size_t to = find_str(line, " to ");
        const size_t colon = to == npos ? npos : find_str(line, ": ", to);
        if (colon == npos) fault_missing("cards", line);
        const Action a = p.make_card_action(cut_name(line, to + 4, colon), ActionType::Dealt,
                                            cards_of(rest(line, colon + 2), line));
        b.dealt_cards_to(a.player_id());
        b.push(a);
        return true;
    }

    // "Player0 shows: 7 of s, 4 of s", "mucks: K of d, A of c", "Hero mucks:".
    bool shown(string_view line) {
        for (const auto& [words, type] : {std::pair{string_view(" shows:"), ActionType::Show},
                                          std::pair{string_view(" mucks:"), ActionType::Muck}}) {
            const size_t at = find_str(line, words);
            if (at == npos) continue;
            show(line, at, type, cards_of(rest(line, at + words.size()), line));
            return true;
        }
        return false;
    }

    // A line of a betting round (blank lines too); false for none of them.
    bool round_line(string_view line) {
        static constexpr ActionEnding kEndings[] = {
            {Ending(" folded"), ActionType::Fold},
            {Ending(" checked"), ActionType::Check},
        };
        return line.empty() || push_ending_action(b, line, kEndings) ||
               (totals ? take(line, kMgsTotals) : take(line, kMgsAdded)) || dealt(line) ||
               shown(line);
    }

    // "Hero wins €649.00 from the main pot", "player8 wins €0.40 from side pot 1".
    static bool is_win(string_view line) noexcept {
        return find_str(line, " from the main pot") != npos ||
               find_str(line, " from side pot") != npos;
    }
    void win(string_view line) {
        static constexpr string_view kWins = " wins ", kSide = " from side pot ";
        const size_t at = find_str(line, kWins);
        if (at == npos) fault_missing("winner", line);
        ActionType type = ActionType::CollectMainPot;
        if (const size_t side = find_str(line, kSide); side != npos) {
            const auto n = read_integer(rest(line, side + kSide.size()));
            const std::uint64_t k = std::clamp<std::uint64_t>(n ? n->value : 1, 1, 3);
            type =
                static_cast<ActionType>(static_cast<std::uint64_t>(ActionType::CollectMainPot) + k);
        }
        collect(line, at, type, local_amount_at(rest(line, at + kWins.size()), line));
    }

    // "** Dealing the flop: 6 of s, 10 of h, 6 of c", "** Dealing the turn: J of c".
    static bool is_street(string_view line) noexcept { return starts(line, "** Dealing the "); }
    std::optional<StreetLine> street_line() {
        const string_view line = p.line();
        const size_t colon = find_str(line, ": ");
        if (colon == npos) fault_missing("board cards", line);
        const string_view name = slice(line, 15, colon);
        StreetLine s{StreetKind::Flop, cards_of(rest(line, colon + 2), line)};
        if (name == "turn") {
            s.kind = StreetKind::Turn;
        } else if (name == "river") {
            s.kind = StreetKind::River;
        } else if (name != "flop") {
            fault_line("unrecognised street line", line);
        }
        p.next_line();
        return s;
    }
};

struct MgsStreets {
    MgsReader& r;
    bool at_summary(string_view line) const noexcept {
        return MgsReader::is_win(line) || line == kEndMarker;
    }
    std::optional<StreetLine> street_line(Parser&) const { return r.street_line(); }
    bool round_ends(string_view line) const {
        if (!MgsReader::is_street(line) && !at_summary(line)) return false;
        r.end_round();
        return true;
    }
    bool round_line(HandBuilder&, string_view line) const { return r.round_line(line); }
};

// "** Anonymous (Heads Up) - €5K Max [Hold'em] (25|50 NL - € Cash Game seats:2 badbeat ) Real
// Money", "** Heads Up(10195133):Table 1 [Multi Table Hold'em] (10|20 NL - MTT seats:2 ) Real
// Money": the table, the game, the blinds and the limit, cash or tournament.
void mgs_table_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    const size_t open = find_byte(line, '[');
    const size_t close = open == npos ? npos : find_byte(line, ']', open);
    const size_t paren = close == npos ? npos : find_byte(line, '(', close);
    if (paren == npos) fault_missing("game", line);
    string_view name = slice(line, 3, open);
    while (ends(name, " ")) name.remove_suffix(1);
    h.table_name = b.store().push_text(cut_text(name, 0, name.size()));
    const string_view about = rest(line, paren + 1);
    const size_t bar = find_byte(about, '|');
    const size_t space = bar == npos ? npos : find_byte(about, ' ', bar);
    if (space == npos) fault_missing("stakes", line);
    h.small_blind = local_amount_at(about.substr(0, bar), line);
    h.big_blind = local_amount_at(slice(about, bar + 1, space), line);
    read_game_words(h, slice(line, open + 1, close), line);
    const string_view limit = rest(about, space + 1);
    h.bet_type = starts(limit, "PL")   ? BetType::PotLimit
                 : starts(limit, "FL") ? BetType::Limit
                                       : BetType::NoLimit;
    static constexpr string_view kSeats = "seats:";
    if (const size_t seats = find_str(about, kSeats); seats != npos)
        if (const auto n = read_integer(rest(about, seats + kSeats.size())))
            h.max_players = static_cast<std::uint8_t>(n->value);
    if (find_str(about, "Cash Game") != npos) {
        h.currency = first_currency_sign(line);  // "€5K Max", "€ Cash Game
    } else {
        Tournament t;
        t.id = h.id;
        // "Heads Up(10195133):Table 1": the tournament's number.
        if (const size_t num = find_byte(name, '('); num != npos) {
            const size_t end = find_byte(name, ')', num);
            if (end != npos && read_integer(slice(name, num + 1, end)))
                t.id = b.store().push_text(cut_text(name, num + 1, end));
        }
        b.push_tournament(t);
    }
}

// "- Player 1 sitting in seat 1 with €14785.00 at end €14585.00 [Dealer]", "Player2 sitting in
// seat 4 with €39.76[Dealer]", "... [Sitting out]"; false for another line.
bool mgs_seat_line(HandBuilder& b, string_view line) {
    static constexpr string_view kSitting = " sitting in seat ", kWith = " with ";
    const size_t at = find_str(line, kSitting);
    if (at == npos) return false;
    const size_t from = starts(line, "- ") ? 2 : 0;
    const auto seat = read_integer(rest(line, at + kSitting.size()));
    const size_t with = find_str(line, kWith, at);
    if (!seat || with == npos) fault_missing("seat", line);
    const float chips = local_amount_at(rest(line, with + kWith.size()), line);
    const auto number = static_cast<std::uint8_t>(seat->value);
    b.seat_player(cut_name(line, from, at), number, chips);
    if (find_str(line, "[Dealer]") != npos) b.header().button_seat = number;
    if (find_str(line, "[Sitting out]") != npos) b.store().players.back().sitting_out = true;
    return true;
}

HandOutcome read_mgs_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::PokerTracker;
    // "** Game ID 4908778359 Version:3 starting - 2013-05-28 16:44:14", "** Hand # 5870377181
    // starting - 2016-01-12 23:00:07".
    const string_view line = p.line();
    const size_t hash = find_byte(line, '#');
    const size_t game_id = find_str(line, " ID ");
    if (hash == npos && game_id == npos) fault_line(kHandLineWithoutId, line);
    const size_t id_at = hash != npos ? hash + 2 : game_id + 4;
    const size_t id_end = find_byte(line, ' ', id_at);
    if (id_end == npos || id_end == id_at) fault_line(kHandLineWithoutId, line);
    h.id = b.store().push_text(cut_text(line, id_at, id_end));
    const size_t dash = find_str(line, " - ", id_end);
    const auto packed = dash == npos ? std::nullopt : loose_date(rest(line, dash + 3));
    if (!packed) fault_missing("date", line);
    h.start_date = *packed;
    h.start_utc = utc_start(h.start_date, TimeZone{});
    // The 2011 version (no "Version:") writes totals and, with the "Hand #" version, leaves
    // what nobody called out of the wins.
    const bool versioned = find_str(line, " Version:") != npos;
    p.next_line();
    while (p.line().empty() && !p.at_end()) p.next_line();
    if (!starts(p.line(), "** ")) return reject("hand without a table line");
    mgs_table_line(b, p.line());
    p.next_line();
    while ((p.line().empty() && !p.at_end()) || mgs_seat_line(b, p.line())) p.next_line();
    MgsReader r{{b, p, hash != npos || !versioned}, hash == npos && !versioned};
    while (!starts(p.line(), "** Dealing card")) {
        if (!p.line().empty() && !r.post(p.line())) return reject(kUnrecognisedPreDeal);
        if (p.at_end()) return reject(kUnrecognisedPreDeal);
        p.next_line();
    }
    b.close_pre_deal();
    if (h.is_tournament() && h.small_blind == 0.0f) blinds_from_posts(b);
    h.ante = largest_ante(b.store(), h.actions);
    const MgsStreets streets{r};
    const string_view preflop = read_round(
        p, [&](string_view l) { return streets.round_ends(l); },
        [&](string_view l) { return r.round_line(l) ? string_view() : kUnrecognisedAction; });
    if (!preflop.empty()) return reject(preflop);
    b.close_preflop();
    if (const string_view reason = read_streets(b, streets); !reason.empty()) return reject(reason);
    // The wins, the hands shown at the end, the rake; "End of game 4908778359" ends the hand.
    static constexpr string_view kRake = "Rake: ";
    while (!p.at_end() && !starts(p.line(), "End of game")) {
        const string_view l = p.line();
        if (MgsReader::is_win(l)) {
            r.win(l);
        } else if (starts(l, kRake)) {
            r.rake = local_amount_at(rest(l, kRake.size()), l);
        } else if (!l.empty() && !r.shown(l)) {
            return reject(kUnrecognisedSummary);
        }
        p.next_line();
    }
    if (!p.at_end()) p.next_line();
    b.close_summary(r.pots());
    return b.finish();
}

// ---------------------------------------------------------------------------------------------
// Everest Poker's hands
// ---------------------------------------------------------------------------------------------

struct EverestReader : Ledger {
    bool shown = false;

    // "Player9 posts the small blind of $0.50", "the big blind of", "the dead blind of", and a
    // new player's "Player3 posts $1.00".
    bool post(string_view line) {
        static constexpr AmountRow kPosts[] = {
            {" posts the small blind of ", ActionType::SmallBlind},
            {" posts the big blind of ", ActionType::BigBlind},
            {" posts the dead blind of ", ActionType::DeadBlind, Amount::Dead},
            {" posts ", ActionType::ExtraBlind},
        };
        return take(line, kPosts);
    }

    bool round_line(string_view line) {
        static constexpr ActionEnding kEndings[] = {
            {Ending(" folds"), ActionType::Fold},
            {Ending(" checks"), ActionType::Check},
        };
        static constexpr AmountRow kWagers[] = {
            {" calls ", ActionType::Call},
            {" bets ", ActionType::Bet},
            {" raises to ", ActionType::Raise, Amount::Total},
        };
        if (push_ending_action(b, line, kEndings) ||
            take(line, kWagers, ends(line, " and is all-in")))
            return true;
        static constexpr string_view kUncalled = "Uncalled bet of ", kReturned = " returned to ";
        if (starts(line, kUncalled)) {
            const size_t to = find_str(line, kReturned);
            if (to == npos) fault_missing("player name", line);
            const float amount = local_amount_at(rest(line, kUncalled.size()), line);
            const std::uint8_t id =
                p.find_player(cut_name(line, to + kReturned.size(), line.size()));
            b.push(Action::with_amount(ActionType::UncalledBetReturned, id, amount));
            put_in = sum_hundredths(put_in, -amount);
            return true;
        }
        if (ends(line, ", and is allin")) return true;  // a disconnection: the player stays in
        if (starts(line, "Dealt to ")) {
            const auto a = dealt_line(b, line);
            if (a) b.push(*a);
            return a.has_value();
        }
        return show_line(line);
    }

    // "Player16 shows [Kh 3h]", "Player3 mucked [Ks Kd]".
    bool show_line(string_view line) {
        for (const auto& [words, type] : {std::pair{string_view(" shows ["), ActionType::Show},
                                          std::pair{string_view(" mucked ["), ActionType::Muck}}) {
            const size_t at = find_str(line, words);
            if (at == npos) continue;
            show(line, at, type, bracketed_cards(rest(line, at)).cards);
            shown = true;
            return true;
        }
        return false;
    }

    // "Player28 collects $12.85", and the hands shown again.
    SeatResult summary_line(string_view line) {
        static constexpr string_view kCollects = " collects ";
        if (const size_t at = find_str(line, kCollects); at != npos) {
            collect(line, at, ActionType::CollectMainPot,
                    local_amount_at(rest(line, at + kCollects.size()), line));
            return SeatResult::Action;
        }
        if (find_str(line, " shows [") != npos || find_str(line, " mucked [") != npos) {
            // Shown in the rounds already, else shown here only.
            if (shown) return SeatResult::Skip;
            return show_line(line) ? SeatResult::Action : SeatResult::Reject;
        }
        return SeatResult::Reject;
    }
};

// "EverestPoker Game #6450768434: Table Moroni-1 - $0.50/$1 - No Limit Hold'em - 22:33:12 -
// 2011/01/02".
void everest_hand_line(HandBuilder& b, string_view line) {
    Header& h = b.header();
    static constexpr string_view kDash = " - ", kTable = ": Table ";
    const size_t colon = read_id(b, line, ":");
    if (!starts(rest(line, colon), kTable)) fault_missing("table", line);
    const size_t name_at = colon + kTable.size();
    const size_t stakes = find_str(line, kDash, name_at);
    const size_t game = stakes == npos ? npos : find_str(line, kDash, stakes + kDash.size());
    const size_t time = game == npos ? npos : find_str(line, kDash, game + kDash.size());
    const size_t date = time == npos ? npos : find_str(line, kDash, time + kDash.size());
    if (date == npos) fault_missing("date", line);
    h.table_name = b.store().push_text(cut_text(line, name_at, stakes));
    read_stakes(h, slice(line, stakes + kDash.size(), game), line);
    const string_view words = slice(line, game + kDash.size(), time);
    read_game_words(h, words, line);
    h.bet_type = find_str(words, "Pot Limit") != npos  ? BetType::PotLimit
                 : find_str(words, "No Limit") != npos ? BetType::NoLimit
                 : find_str(words, "Limit") != npos    ? BetType::Limit
                                                       : BetType::NoLimit;
    unsigned parts[6] = {};
    size_t at = date + kDash.size();
    for (size_t k = 0; k < 6; ++k) {
        if (k == 3) at = time + kDash.size();
        const auto n = read_integer(rest(line, at));
        if (!n) fault_missing("date", line);
        parts[k] = static_cast<unsigned>(n->value);
        at += n->len + 1;
    }
    h.start_date = pack_date(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
    h.start_utc = utc_start(h.start_date, TimeZone{});
}

struct EverestStreets {
    Reader& streets;  // the street line reader of the Merge layout
    EverestReader& r;
    static bool at_summary(string_view line) noexcept { return starts(line, "*** SUMMARY"); }
    std::optional<StreetLine> street_line(Parser&) const {
        r.bets.clear();
        return streets.street_line();
    }
    static bool round_ends(string_view line) noexcept { return is_stars_line(line); }
    bool round_line(HandBuilder&, string_view line) const { return r.round_line(line); }
};

HandOutcome read_everest_hand(HandBuilder& b) {
    Parser& p = b.parser();
    Header& h = b.header();
    h.site = Site::PokerTracker;
    everest_hand_line(b, p.line());
    p.next_line();
    // "Seat 1: Player14 ($94.15)"
    while (starts(p.line(), "Seat ")) {
        const string_view line = p.line();
        const size_t colon = find_byte(line, ':');
        const size_t open = rfind_byte(line, '(');
        if (colon == npos || open == npos || open < colon + 3)
            return reject("seat line without chips");
        const auto number = read_integer(rest(line, 5));
        if (!number) fault_missing("seat number", line);
        b.seat_player(cut_name(line, colon + 2, open - 1), static_cast<std::uint8_t>(number->value),
                      local_amount_at(rest(line, open + 1), line));
        p.next_line();
    }
    EverestReader r{{b, p}};
    static constexpr string_view kButton = "The button is in seat #";
    while (!is_stars_line(p.line())) {
        const string_view line = p.line();
        if (starts(line, kButton)) {
            if (const auto n = read_integer(rest(line, kButton.size())))
                h.button_seat = static_cast<std::uint8_t>(n->value);
        } else if (!r.post(line)) {
            return reject(kUnrecognisedPreDeal);
        }
        p.next_line();
    }
    b.close_pre_deal();
    if (!starts(p.line(), "*** HOLE")) return reject("hand without hole cards");
    p.next_line();
    const string_view preflop = read_round(p, is_stars_line, [&](string_view line) {
        return r.round_line(line) ? string_view() : kUnrecognisedAction;
    });
    if (!preflop.empty()) return reject(preflop);
    b.close_preflop();
    Reader street_reader{{b, p}};
    if (const string_view reason = read_streets(b, EverestStreets{street_reader, r});
        !reason.empty())
        return reject(reason);
    p.next_line();
    const string_view reason =
        read_summary_seats(p, [&](string_view line) { return r.summary_line(line); });
    if (!reason.empty()) return reject(reason);
    b.close_summary(r.pots());
    return b.finish();
}

// A layout: its hand start and its reader.
struct Layout {
    string_view start;
    HandOutcome (*read)(HandBuilder&);
};

constexpr Layout kLayouts[] = {
    {"MERGE_GAME ", [](HandBuilder& b) { return read_hand(b, merge_hand_line); }},
    {"Merge Game #", [](HandBuilder& b) { return read_hand(b, merge_two_hand_line); }},
    {"GAME #", [](HandBuilder& b) { return read_hand(b, ipoker_hand_line); }},
    {"** Game ID ", read_mgs_hand},
    {"** Hand # ", read_mgs_hand},
    {"EverestPoker ", read_everest_hand},
};

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    // Every hand of one text is in one layout: the one its first line begins (after white space
    // and a byte-order mark, read right or misread).
    string_view first = parser.text().substr(0, 64);
    for (std::size_t skip = 1; skip != 0; first.remove_prefix(skip)) {
        skip = white_space_len(first);
        if (skip == 0 && starts(first, kByteOrderMark)) skip = kByteOrderMark.size();
        if (skip == 0 && starts(first, kMisreadByteOrderMark)) skip = kMisreadByteOrderMark.size();
    }
    const Layout* layout = &kLayouts[0];
    for (const Layout& l : kLayouts)
        if (starts(first, l.start)) layout = &l;
    read_hands(parser, layout->start, errors, rejected, layout->read);
}

}  // namespace hs::pokertracker
