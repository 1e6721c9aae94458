// The readers of what only tournament hands hold (see tournament.hpp). They run once per
// tournament hand or per tournament line, never for a cash hand, and allocate nothing beyond the
// store's own lists.
#include "reader/tournament.hpp"

#include <algorithm>
#include <cstdint>

#include "core/fault.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/cursor.hpp"
#include "reader/phrases.hpp"
#include "reader/shared_lines.hpp"

namespace hs::tournament {
namespace {

using std::size_t;
using std::string_view;

// ---------------------------------------------------------------------------------------------
// Money
// ---------------------------------------------------------------------------------------------

// The currency sign written right before `at`, 0 when the character there is none.
Currency sign_before(string_view text, size_t at) {
    if (at == 0) return 0;
    const string_view ch = char_at(text, at - 1);
    const auto sign = currency_symbol(ch);
    return sign && sign->len == ch.size() ? sign->sign : 0;
}

// Rupee prizes are written with a space before the decimal point: "₹1520 .35". The decimals join
// the whole number read before them.
void join_spaced_decimals(string_view text, SignedRead& amount) {
    static constexpr string_view kSpacedPoint = " .";
    if (!starts(rest(text, amount.end), kSpacedPoint)) return;
    const auto decimals = read_integer(rest(text, amount.end + kSpacedPoint.size()));
    // Up to 2^24 with the decimals: exact in an f32, so that one division rounds as the reading
    // of "1520.35" does.
    const auto whole = whole_number(amount.value, kExactWhole / 100 - 1);
    if (!decimals || decimals->len > 2 || !whole) return;
    const std::uint32_t scale = decimals->len == 1 ? 10 : 100;
    amount.value = static_cast<float>(*whole * scale + decimals->value) / static_cast<float>(scale);
    amount.end += kSpacedPoint.size() + decimals->len;
}

// The money at the start of `text`: at its first digit, past any sign, with ',' between
// thousands. The sign before it becomes the record's currency when none was met before (a
// freeroll's bounties and prizes are money).
std::optional<SignedRead> money(Tournament& t, string_view text) {
    auto amount = decimal_after_sign(text, kChipAmounts, false);
    if (!amount) return amount;
    join_spaced_decimals(text, *amount);
    if (t.currency == 0) t.currency = sign_before(text, amount->sign_at);
    return amount;
}

// The money after `phrase` in the line, searched from `from`; nullopt when the phrase is absent.
std::optional<float> money_after(Tournament& t, string_view line, string_view phrase,
                                 size_t from = 0) {
    const size_t at = find_str(line, phrase, from);
    if (at == npos) return std::nullopt;
    const auto amount = money(t, rest(line, at + phrase.size()));
    if (!amount) fault_missing("amount", line);
    return amount->value;
}

// ---------------------------------------------------------------------------------------------
// The hand line
// ---------------------------------------------------------------------------------------------

// The buy-in at `at` (see read_tournament); returns where the text after it begins.
size_t read_buy_in(string_view line, size_t at, Tournament& t) {
    static constexpr string_view kFreeroll = "Freeroll", kPoints = "FPP", kStarsCoin = "SC";
    if (starts(rest(line, at), kFreeroll)) {
        t.buy_in_kind = BuyInKind::Freeroll;
        return at + kFreeroll.size();
    }
    // Up to three amounts joined by '+', each after the sign when the buy-in has one.
    const auto sign = currency_symbol(rest(line, at));
    const size_t sign_len = sign ? sign->len : 0;
    const BuyInParts parts = split_buy_in(
        rest(line, at),
        [&](string_view text) -> std::optional<TrailingRead> {
            const auto amount = read_amount(rest(text, sign_len));
            if (!amount) return std::nullopt;
            return TrailingRead{amount->value, 0, sign_len + amount->len};
        },
        "+", false);
    if (parts.count == 0) return at;  // no buy-in written
    at += parts.end;
    set_buy_in(t, parts);
    t.currency = sign ? sign->sign : 0;
    // The unit after the amounts: "FPP" right after them, "SC", or a currency code ("USD").
    t.buy_in_kind = sign ? BuyInKind::Money : BuyInKind::PlayMoney;
    if (starts(rest(line, at), kPoints)) t.buy_in_kind = BuyInKind::Points;
    size_t word = at;
    while (byte_at(line, word) == ' ') ++word;
    size_t end = word;
    while (end < line.size() && line[end] >= 'A' && line[end] <= 'Z') ++end;
    if (!sign && slice(line, word, end) == kStarsCoin) t.buy_in_kind = BuyInKind::StarsCoin;
    if (sign) read_iso_code(slice(line, word, end), t.currency_code);
    return end > word && byte_at(line, end) == ' ' ? end : at;
}

}  // namespace

void set_buy_in(Tournament& t, const BuyInParts& parts) noexcept {
    if (parts.count == 0) return;
    t.buy_in = parts.parts[0];
    t.fee = parts.parts[parts.count >= 3 ? 2 : 1];
    if (parts.count >= 3) t.bounty_fee = parts.parts[1];
}

namespace {

// "Tournament #<number>," at `at`: the number becomes the record's id. The offset of the ',', or
// nullopt when the text names no tournament there.
std::optional<size_t> read_number_part(HandBuilder& b, string_view line, size_t at, Tournament& t) {
    static constexpr string_view kTournament = "Tournament #";
    if (!starts(rest(line, at), kTournament)) return std::nullopt;
    const size_t number = at + kTournament.size();
    const size_t comma = find_byte(line, ',', number);
    if (comma == npos) fault_missing("',' after the tournament number", line);
    t.id = b.store().push_text(cut_text(line, number, comma));
    return comma;
}

}  // namespace

std::optional<size_t> read_tournament(HandBuilder& b, string_view line, size_t at) {
    static constexpr string_view kZoom = "Zoom ";
    if (starts(rest(line, at), kZoom)) at += kZoom.size();
    Tournament t;
    const auto number_end = read_number_part(b, line, at, t);
    if (!number_end) return std::nullopt;
    const size_t comma = *number_end;
    const auto skip_spaces = [&](size_t i) {
        while (byte_at(line, i) == ' ') ++i;
        return i;
    };
    size_t game = read_buy_in(line, skip_spaces(comma + 1), t);
    // "$125+$10 - Hold'em No Limit" in histories converted from another layout.
    static constexpr string_view kDash = " - ";
    if (starts(rest(line, game), kDash)) game += kDash.size();
    game = skip_spaces(game);
    // A tournament named after its buy-in: "€15.55+€0.95 Classic, Hold'em No Limit (10/20)".
    if (!read_game(line, game)) {
        const size_t named = find_lit(line, ", ", game);
        if (named != npos && read_game(line, named + 2)) game = named + 2;
    }
    // The first parenthesis after the game's words holds the blinds, which begin with a digit,
    // unless a mixed game names the game of the hand in one before them ("Mixed Omaha (5 Card
    // Omaha Pot Limit)" too).
    const size_t open = find_byte(line, '(', game);
    const unsigned char inside = open == npos ? '0' : byte_at(line, open + 1);
    if (inside < '0' || inside > '9' || read_game(line, open + 1)) game = open + 1;
    b.push_tournament(t);
    return game;
}

std::optional<size_t> read_named_tournament(HandBuilder& b, string_view line, size_t at) {
    static constexpr string_view kLevel = " - Level";
    Tournament t;
    const auto number_end = read_number_part(b, line, at, t);
    if (!number_end) return std::nullopt;
    const size_t comma = *number_end;
    b.push_tournament(t);
    size_t end = rfind_str(line, kLevel);
    if (end == npos || end < comma) end = line.size();
    for (size_t g = end; g > comma + 1; --g) {
        if (line[g - 1] != ' ' || !read_game(line, g)) continue;
        size_t name_end = g;
        while (name_end > comma + 2 && line[name_end - 1] == ' ') --name_end;
        b.tournament().name = b.store().push_text(cut_text(line, comma + 2, name_end));
        return g;
    }
    return comma + 1;
}

void read_level(HandBuilder& b, string_view part) {
    static constexpr string_view kLevel = "Level", kRound = "Match Round ";
    Tournament& t = b.tournament();
    if (const size_t r = find_str(part, kRound); r != npos) {
        const size_t start = r + kRound.size();
        const size_t comma = find_byte(part, ',', start);
        if (comma == npos) fault_missing("',' after the match round", part);
        t.match_round = b.store().push_text(cut_text(part, start, comma));
    }
    if (const size_t l = rfind_str(part, kLevel); l != npos) {
        // "Level III " (PokerStars) or "Level14" (GGPoker).
        size_t start = l + kLevel.size();
        while (start < part.size() && part[start] == ' ') ++start;
        size_t end = part.size();
        while (end > start && part[end - 1] == ' ') --end;
        t.level = b.store().push_text(cut_text(part, start, end));
    }
}

// ---------------------------------------------------------------------------------------------
// Seat lines
// ---------------------------------------------------------------------------------------------

string_view seat_line(HandBuilder& b, string_view line) {
    static constexpr string_view kInChips = " in chips", kChipsOnly = " in chips)",
                                 kBounty = " bounty";
    std::optional<float> bounty;
    string_view cut = line;
    // Most seat lines end with their chips. In the others, the name comes first and may hold
    // anything: the last " in chips" is the chips'.
    if (!ends(line, kChipsOnly)) {
        const size_t chips = rfind_str(line, kInChips);
        const size_t close = chips == npos ? npos : find_byte(line, ')', chips);
        if (close != npos) {
            cut = line.substr(0, close + 1);
            const string_view inside = slice(line, chips + kInChips.size(), close);
            if (ends(inside, kBounty)) {
                const auto amount = money(b.tournament(), inside);
                if (!amount) fault_missing("bounty", line);
                bounty = amount->value;
            }
        }
    }
    b.seat_bounty(bounty);
    return cut;
}

// ---------------------------------------------------------------------------------------------
// Tournament events
// ---------------------------------------------------------------------------------------------

namespace {

// Whether `text` begins with money (a digit, or a sign before one) rather than a prize that is
// not money ("a 'Fast Track $1' ticket", "a seat").
bool begins_with_money(string_view text) noexcept {
    const auto sign = currency_symbol(text);
    const string_view number = sign ? rest(text, sign->len) : text;
    return !number.empty() && number.front() >= '0' && number.front() <= '9';
}

// "<name> finished the tournament in 4th place[ and received $1.94.]", "<name> wins the
// tournament and receives $10.80 - congratulations!": a Finish of [place, prize]. A place that
// the line does not give is 0, and so is a prize that is not money ("and received a 'Fast Track
// $1' ticket.").
Action finish_line(HandBuilder& b, string_view line, size_t at, bool winner) {
    static constexpr string_view kIn = " in ", kReceive = " receive", kReceived = "d ",
                                 kReceives = "s ";
    float place = 1.0f;
    if (!winner) {
        const size_t in = find_str(line, kIn, at);
        const auto number = in == npos ? std::nullopt : read_integer(rest(line, in + kIn.size()));
        place = number ? static_cast<float>(number->value) : 0.0f;
    }
    float prize = 0.0f;
    if (const size_t r = find_str(line, kReceive, at); r != npos) {
        string_view after = rest(line, r + kReceive.size());
        if (starts(after, kReceived) || starts(after, kReceives)) after = rest(after, 2);
        if (begins_with_money(after))
            prize = money_after(b.tournament(), line, kReceive, at).value_or(0.0f);
    }
    const std::uint32_t index = b.store().push_amounts({place, prize});
    return Action::make(ActionType::Finish, b.parser().find_player(cut_name(line, 0, at)), index);
}

// "<name> re-buys and receives 1500 chips for $1" (or "for 20 FPPs"), "<name> takes the add-on
// and receives ...": a Rebuy or AddOn of [chips, cost].
Action purchase_line(HandBuilder& b, string_view line, size_t at, string_view phrase,
                     ActionType type) {
    static constexpr string_view kFor = " for ";
    const auto chips = decimal_after_sign(rest(line, at + phrase.size()), kChipAmounts, false);
    if (!chips) fault_missing("chips", line);
    const float cost = money_after(b.tournament(), line, kFor, at).value_or(0.0f);
    const std::uint32_t index = b.store().push_amounts({chips->value, cost});
    return Action::make(type, b.parser().find_player(cut_name(line, 0, at)), index);
}

// "<name> wins an entry to tournament #2244219929": an Entry whose text is the number of the
// tournament the satellite was played for.
Action entry_line(HandBuilder& b, string_view line, size_t at, string_view phrase) {
    Parser& p = b.parser();
    if (at + phrase.size() >= line.size()) fault_missing("tournament number", line);
    const string_view number = cut_text(line, at + phrase.size(), line.size());
    const TextRef ref = p.store().push_text(cut_at_boundary(number, 255));
    return Action::make(ActionType::Entry, p.find_player(cut_name(line, 0, at)),
                        say_payload(ref.offset(), ref.length(), p.text_start()));
}

// "<name> wins the $5 bounty for eliminating <name>", "<name> wins $0.31 for eliminating <name>
// and their own bounty increases by $0.30 to $4", and "... for splitting the elimination of
// <name> ...": a Bounty (or SplitBounty) of [amount, increase, new bounty, defeated player]; a
// line that gives no increase has 0 for both. nullopt when the line is none of these.
std::optional<Action> bounty_line(HandBuilder& b, string_view line, size_t at, string_view wins) {
    static constexpr string_view kEliminating = " for eliminating ",
                                 kSplitting = " for splitting the elimination of ",
                                 kIncrease = " and their own bounty increases by ", kTo = " to ";
    size_t defeated = find_str(line, kEliminating, at);
    ActionType type = ActionType::Bounty;
    if (defeated != npos) {
        defeated += kEliminating.size();
    } else if (defeated = find_str(line, kSplitting, at); defeated != npos) {
        defeated += kSplitting.size();
        type = ActionType::SplitBounty;
    } else {
        return std::nullopt;
    }
    Tournament& t = b.tournament();
    const auto amount = money(t, slice(line, at + wins.size(), defeated));
    if (!amount) fault_missing("bounty amount", line);
    size_t defeated_end = line.size();
    float increase = 0.0f, total = 0.0f;
    if (const size_t inc = rfind_str(line, kIncrease); inc != npos && inc > defeated) {
        defeated_end = inc;
        increase = money_after(t, line, kIncrease, inc).value_or(0.0f);
        total = money_after(t, line, kTo, inc + kIncrease.size()).value_or(0.0f);
    }
    Parser& p = b.parser();
    const std::uint8_t loser = p.find_player(cut_name(line, defeated, defeated_end));
    const std::uint32_t index =
        b.store().push_amounts({amount->value, increase, total, static_cast<float>(loser)});
    return Action::make(type, p.find_player(cut_name(line, 0, at)), index);
}

}  // namespace

std::optional<Action> event_line(HandBuilder& b, string_view line) {
    static constexpr string_view kFinished = " finished the tournament",
                                 kWinsTournament = " wins the tournament",
                                 kEntry = " wins an entry to tournament #",
                                 kRebuy = " re-buys and receives ",
                                 kAddOn = " takes the add-on and receives ", kWins = " wins ";
    if (const size_t at = find_str(line, kFinished); at != npos)
        return finish_line(b, line, at, false);
    if (const size_t at = find_str(line, kWinsTournament); at != npos)
        return finish_line(b, line, at, true);
    if (const size_t at = find_str(line, kEntry); at != npos)
        return entry_line(b, line, at, kEntry);
    if (const size_t at = find_str(line, kRebuy); at != npos)
        return purchase_line(b, line, at, kRebuy, ActionType::Rebuy);
    if (const size_t at = find_str(line, kAddOn); at != npos)
        return purchase_line(b, line, at, kAddOn, ActionType::AddOn);
    if (const size_t at = find_str(line, kWins); at != npos) return bounty_line(b, line, at, kWins);
    return std::nullopt;
}

bool is_prize_line(string_view line) noexcept {
    static constexpr string_view kWinsA = " wins a";
    const size_t at = find_str(line, kWinsA);
    if (at == npos) return false;
    const string_view after = rest(line, at + kWinsA.size());
    return starts(after, " ") || starts(after, "n ");
}

}  // namespace hs::tournament
