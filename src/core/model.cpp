// The hand model: enumeration names, cards, packed references, dates and the store.
#include "core/model.hpp"

#include <algorithm>
#include <utility>

#include "core/format.hpp"
#include "core/out_buffer.hpp"
#include "core/utf8.hpp"

namespace hs {

// ---------------------------------------------------------------------------------------------
// Enumeration names
// ---------------------------------------------------------------------------------------------

namespace {

template <std::size_t N>
std::string_view name_in(const std::array<std::string_view, N>& table, std::size_t code) {
    return code < N ? table[code] : std::string_view("?");
}

}  // namespace

std::string_view site_name(Site s) noexcept {
    return name_in(kSiteNames, static_cast<std::size_t>(s));
}
std::string_view game_type_name(GameType g) noexcept {
    return name_in(kGameTypeNames, static_cast<std::size_t>(g));
}
std::string_view bet_type_name(BetType b) noexcept {
    return name_in(kBetTypeNames, static_cast<std::size_t>(b));
}
std::string_view action_type_name(ActionType a) noexcept {
    return name_in(kActionTypeNames, static_cast<std::size_t>(a));
}
std::string_view buy_in_kind_name(BuyInKind k) noexcept {
    return name_in(kBuyInKindNames, static_cast<std::size_t>(k));
}
std::string_view mixed_game_name(MixedGame m) noexcept {
    return name_in(kMixedGameNames, static_cast<std::size_t>(m));
}

std::size_t round_name_index(GameType g, Round r) noexcept {
    const auto plain = static_cast<std::size_t>(r);
    if (g == GameType::FiveCardStud) {
        // second (17), then third (8) to fifth (10)
        const std::size_t b = betting_index(r);
        return b == 0 ? 17 : b < 4 ? 7 + b : plain;
    }
    if (is_stud(g)) {
        // third (8) to sixth (11), then seventh (7)
        const std::size_t b = betting_index(r);
        return b < 4 ? 8 + b : plain;
    }
    if (is_draw(g)) {
        // the deal (12), then one round after each draw; a single draw's is "draw" (16)
        const std::size_t b = betting_index(r);
        if (b == 0) return 12;
        if (b == 1 && g == GameType::SingleDraw27) return 16;
        if (b == 1 && g == GameType::FiveCardDraw) return 16;
        if (b == 1 && g == GameType::SingleDrawA5) return 16;
        if (b >= 1 && b <= 3) return 12 + b;
    }
    return plain;
}
std::string_view round_name(GameType g, Round r) noexcept {
    return name_in(kAllRoundNames, round_name_index(g, r));
}

PayloadKind payload_kind(ActionType a) noexcept {
    switch (a) {
        case ActionType::Bet:
        case ActionType::Call:
        case ActionType::Raise:
        case ActionType::BetAllIn:
        case ActionType::CallAllIn:
        case ActionType::RaiseAllIn:
        case ActionType::Ante:
        case ActionType::BigBlind:
        case ActionType::SmallBlind:
        case ActionType::BigSmallBlind:
        case ActionType::DeadBlind:
        case ActionType::ExtraBlind:
        case ActionType::CollectMainPot:
        case ActionType::CollectSidePot1:
        case ActionType::CollectSidePot2:
        case ActionType::CollectSidePot3:
        case ActionType::UncalledBetReturned:
        case ActionType::Insurance: return PayloadKind::Amount;
        case ActionType::Fold:
        case ActionType::Muck:
        case ActionType::Show:
        case ActionType::Dealt:
        case ActionType::DealtUp:
        case ActionType::Discard: return PayloadKind::Cards;
        case ActionType::BringIn:
        case ActionType::Complete: return PayloadKind::Amount;
        case ActionType::Draw: return PayloadKind::Count;
        case ActionType::StandPat: return PayloadKind::None;
        case ActionType::CashOut: return PayloadKind::CashOut;
        case ActionType::Join: return PayloadKind::Seat;
        case ActionType::Say:
        case ActionType::Entry: return PayloadKind::Message;
        case ActionType::Check:
        case ActionType::Leave:
        case ActionType::Sitout: return PayloadKind::None;
        case ActionType::Finish: return PayloadKind::Finish;
        case ActionType::Bounty:
        case ActionType::SplitBounty: return PayloadKind::Bounty;
        case ActionType::Rebuy:
        case ActionType::AddOn: return PayloadKind::Purchase;
    }
    return PayloadKind::None;
}

// ---------------------------------------------------------------------------------------------
// Cards
// ---------------------------------------------------------------------------------------------

namespace {

// The first character of the Unicode lower-case mapping, for the cased scripts that a card
// text might plausibly carry (Latin, Greek, Cyrillic, Armenian, Georgian, the letter-like
// symbols, full-width Latin, Deseret). Other characters map to themselves.
char32_t to_lower(char32_t c) noexcept {
    auto even_up = [](char32_t x) { return (x % 2 == 0) ? x + 1 : x; };
    auto odd_up = [](char32_t x) { return (x % 2 == 1) ? x + 1 : x; };
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c <= 0x12F) return even_up(c);
    if (c == 0x130) return U'i';
    if (c >= 0x132 && c <= 0x137) return even_up(c);
    if (c >= 0x139 && c <= 0x148) return odd_up(c);
    if (c >= 0x14A && c <= 0x177) return even_up(c);
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return odd_up(c);
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x460 && c <= 0x481) return even_up(c);
    if (c >= 0x48A && c <= 0x4BF) return even_up(c);
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return odd_up(c);
    if (c >= 0x4D0 && c <= 0x52F) return even_up(c);
    if (c >= 0x531 && c <= 0x556) return c + 48;
    if (c >= 0x10A0 && c <= 0x10C5) return c + 7264;
    if (c >= 0x1E00 && c <= 0x1E95) return even_up(c);
    if (c == 0x1E9E) return 0xDF;
    if (c >= 0x1EA0 && c <= 0x1EFF) return even_up(c);
    if (c == 0x2126) return 0x3C9;
    if (c == 0x212A) return U'k';
    if (c == 0x212B) return 0xE5;
    if (c >= 0x2160 && c <= 0x216F) return c + 16;
    if (c >= 0x24B6 && c <= 0x24CF) return c + 26;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    if (c >= 0x10400 && c <= 0x10427) return c + 40;
    return c;
}

// The character at the start of a card text piece; a byte that starts no well-formed character
// reads as U+FFFD and takes one byte.
Decoded char_of(std::string_view s) noexcept {
    const Decoded d = decode_utf8(s, 0);
    return d.len != 0 ? d : Decoded{kReplacementChar, 1};
}

}  // namespace

int currency_index(Currency c) {
    if (c == 0) return -1;
    for (std::size_t i = 0; i < std::size(kCurrencyCodes); ++i)
        if (kCurrencyCodes[i].symbol == c) return static_cast<int>(i);
    std::string detail = "Invalid currency character: '";
    if (is_scalar(c)) {
        append_utf8(detail, c);
    } else {
        detail += "U+";
        append_u64(detail, static_cast<std::uint64_t>(c));
    }
    detail += '\'';
    fault_unreachable(detail);
}

namespace {
std::string_view iso_code(const std::array<char, 3>& written, Currency sign) {
    if (written[0] != 0) return std::string_view(written.data(), written.size());
    const int code = currency_index(sign);
    return code < 0 ? std::string_view() : kCurrencyCodes[code].code;
}
}  // namespace

std::string_view iso_currency(const Header& h) { return iso_code(h.currency_code, h.currency); }
std::string_view iso_currency(const Tournament& t) { return iso_code(t.currency_code, t.currency); }

Card card_from_text(std::string_view text) {
    if (text.empty()) fault_missing("card", text);
    const unsigned char first = byte_at(text, 0);
    unsigned rank = 0;
    std::size_t suit_at = 1;
    switch (first) {
        case 'A': rank = 1; break;
        case 'T': rank = 10; break;
        case 'J': rank = 11; break;
        case 'Q': rank = 12; break;
        case 'K': rank = 13; break;
        case '1': {
            // "10": the character after the one is skipped unread.
            rank = 10;
            const std::string_view rest = tail(text, 1);
            if (rest.empty()) fault_missing("card suit", text);
            suit_at = 1 + char_of(rest).len;
            if (suit_at >= text.size()) fault_missing("card suit", text);
            break;
        }
        default:
            if (first >= '2' && first <= '9') {
                rank = first - '0';
            } else {
                std::string detail = "Invalid rank: ";
                append_utf8(detail, char_of(text).cp);
                detail += " in ";
                append_quoted(detail, text);
                fault_unreachable(detail);
            }
    }
    if (suit_at >= text.size()) fault_missing("card suit", text);
    const char32_t suit_char = to_lower(char_of(tail(text, suit_at)).cp);
    unsigned suit = 0;
    switch (suit_char) {
        case U's': suit = 0; break;
        case U'c': suit = 1; break;
        case U'h': suit = 2; break;
        case U'd': suit = 3; break;
        default: {
            std::string detail = "Invalid suit: ";
            append_utf8(detail, suit_char);
            detail += " in ";
            append_quoted(detail, text);
            fault_unreachable(detail);
        }
    }
    return static_cast<Card>(rank | suit << 6);
}

std::string_view card_suit_symbol(Card c) noexcept {
    static constexpr std::string_view kSymbols[4] = {
        "\xE2\x99\xA0",  // U+2660 spade
        "\xE2\x99\xA3",  // U+2663 club
        "\xE2\x99\xA5",  // U+2665 heart
        "\xE2\x99\xA6",  // U+2666 diamond
    };
    return kSymbols[(c >> 6) & 3];
}

void CardSet::push(Card c) {
    if (count >= kMaxCards) fault_index(count, kMaxCards);
    cards[count] = c;
    ++count;
}

CardSet CardSet::from_text(std::string_view text) {
    CardSet set;
    std::size_t from = 0;
    for (;;) {
        const std::size_t space = text.find(' ', from);
        const std::size_t to = space == std::string_view::npos ? text.size() : space;
        set.push(card_from_text(slice(text, from, to)));
        if (space == std::string_view::npos) break;
        from = space + 1;
    }
    return set;
}

// ---------------------------------------------------------------------------------------------
// Packed references
// ---------------------------------------------------------------------------------------------

namespace {

[[noreturn]] void fault_width(std::string_view what, std::uint64_t value, unsigned bits,
                              std::source_location where) {
    std::string m(what);
    m += ' ';
    append_u64(m, value);
    m += " does not fit in ";
    append_u64(m, bits);
    m += " bits";
    fault(std::move(m), where);
}

// A list position among len elements (len < 2^24): a negative one counts from the end.
std::int64_t list_position(std::int64_t i, std::int64_t len) noexcept {
    return i < 0 ? i + len : i;
}

}  // namespace

Span Span::make_checked(std::uint64_t start, std::uint64_t count, std::source_location where) {
    if (start > kRefStartMask) fault_width("span start", start, 40, where);
    if (count > kRefMaxCount) fault_width("span count", count, 24, where);
    return packed(start, count);
}

Span Span::between_checked(std::uint64_t start, std::uint64_t end, std::source_location where) {
    if (end < start) {
        std::string m = "span end ";
        append_u64(m, end);
        m += " is before its start ";
        append_u64(m, start);
        fault(std::move(m), where);
    }
    return make_checked(start, end - start, where);
}

std::optional<Span> Span::item(std::int64_t index) const {
    const auto len = static_cast<std::int64_t>(count());
    const std::int64_t i = list_position(index, len);
    if (i < 0 || i >= len) return std::nullopt;
    return make(start() + static_cast<std::uint64_t>(i), 1);
}

Span Span::sub(std::int64_t from, std::int64_t to) const {
    const auto len = static_cast<std::int64_t>(count());
    const auto clamped = [len](std::int64_t i) {
        return static_cast<std::uint64_t>(std::clamp<std::int64_t>(list_position(i, len), 0, len));
    };
    const std::uint64_t first = clamped(from);
    const std::uint64_t last = std::max(first, clamped(to));
    return between(start() + first, start() + last);
}

TextRef TextRef::make_checked(std::uint64_t offset, std::uint64_t length,
                              std::source_location where) {
    if (offset > kRefStartMask) fault_width("text offset", offset, 40, where);
    if (length > kRefMaxCount) fault_width("text length", length, 24, where);
    return TextRef{offset | length << 40};
}

// ---------------------------------------------------------------------------------------------
// Dates
// ---------------------------------------------------------------------------------------------

PackedDate pack_date(std::uint64_t year, std::uint64_t month, std::uint64_t day, std::uint64_t hour,
                     std::uint64_t minute, std::uint64_t second) noexcept {
    const std::uint64_t packed = ((year - 2000) & 0x3F) << 26 | ((month - 1) & 0xF) << 22 |
                                 ((day - 1) & 0x1F) << 17 | (hour & 0x1F) << 12 |
                                 (minute & 0x3F) << 6 | (second & 0x3F);
    return static_cast<PackedDate>(packed);
}

DateParts unpack_date(PackedDate d) noexcept {
    return DateParts{2000 + ((d >> 26) & 0x3F), ((d >> 22) & 0xF) + 1, ((d >> 17) & 0x1F) + 1,
                     (d >> 12) & 0x1F,          (d >> 6) & 0x3F,       d & 0x3F};
}

std::optional<std::int64_t> date_seconds(PackedDate d) noexcept {
    if (d == 0) return std::nullopt;
    const DateParts p = unpack_date(d);
    const bool leap = p.year % 4 == 0;  // 2000..2063: every fourth year, 2000 included
    static constexpr unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (p.month > 12 || p.hour > 23 || p.minute > 59 || p.second > 59) return std::nullopt;
    if (p.day > kMonthDays[p.month - 1] + (leap && p.month == 2 ? 1 : 0)) return std::nullopt;
    // Days since 1970-01-01 in the civil calendar, counted with March as the first month so that
    // the leap day comes last in its year.
    const int y = static_cast<int>(p.year) - (p.month <= 2 ? 1 : 0);
    const int era = y / 400;  // years here are 1999..2063: never negative
    const int year_of_era = y - era * 400;
    const int day_of_year =
        (153 * static_cast<int>(p.month > 2 ? p.month - 3 : p.month + 9) + 2) / 5 +
        static_cast<int>(p.day) - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    const int days = era * 146097 + day_of_era - 719468;
    return std::int64_t{days} * 86400 + p.hour * 3600 + p.minute * 60 + p.second;
}

// ---------------------------------------------------------------------------------------------
// The store
// ---------------------------------------------------------------------------------------------

HandStore::HandStore() {
    text.reserve(131072);
    hands.reserve(1024);
    players.reserve(4096);
    flops.reserve(512);
    turns.reserve(256);
    rivers.reserve(256);
    showdowns.reserve(16);
    sevenths.reserve(16);
    actions.reserve(8192);
    amounts.reserve(256);
    card_sets.reserve(512);
    winners.reserve(1024);
}

namespace {

// Calls f(list) for every list of the store, the text included.
template <class Store, class F>
void each_list(Store& s, F&& f) {
    f(s.text);
    f(s.hands);
    f(s.players);
    f(s.flops);
    f(s.turns);
    f(s.rivers);
    f(s.showdowns);
    f(s.sevenths);
    f(s.actions);
    f(s.amounts);
    f(s.card_sets);
    f(s.winners);
    f(s.tournaments);
}

}  // namespace

// The ratios are a little above what real PokerStars files hold per byte (one hand per ~1,350
// bytes, a player per ~170, an action per ~56, a byte of store text per ~13).
// A list reserved anew of at least 4 MB asks for transparent huge pages: its pages are then
// faulted 2 MB at a time, where 4 KB pages would take 512 faults.
void HandStore::reserve_for_text(std::size_t bytes) {
    const auto at_least = [](auto& list, std::size_t n) {
        if (list.capacity() >= n) return;
        list.reserve(n);
        const std::size_t block = list.capacity() * sizeof(list[0]);
        if (block >= (std::size_t{4} << 20)) advise_huge_pages(list.data(), block);
    };
    at_least(text, bytes / 10);
    at_least(hands, bytes / 1000);
    at_least(players, bytes / 128);
    at_least(actions, bytes / 40);
    at_least(flops, bytes / 1500);
    at_least(turns, bytes / 2000);
    at_least(rivers, bytes / 2000);
    at_least(showdowns, bytes / 4000);
    at_least(card_sets, bytes / 1200);
    at_least(winners, bytes / 1000);
}

void HandStore::clear() noexcept {
    each_list(*this, [](auto& list) { list.clear(); });
}

std::size_t HandStore::used_bytes() const noexcept {
    std::size_t n = 0;
    each_list(*this, [&n](const auto& list) { n += list.size() * sizeof(list[0]); });
    return n;
}

std::size_t HandStore::reserved_bytes() const noexcept {
    std::size_t n = 0;
    each_list(*this, [&n](const auto& list) { n += list.capacity() * sizeof(list[0]); });
    return n;
}

TextRef HandStore::push_text(std::string_view s) {
    const TextRef r = TextRef::make(text.size(), s.size());
    text.append(s);
    return r;
}

std::string_view HandStore::text_of(TextRef r) const {
    const std::uint64_t offset = r.offset();
    const std::uint64_t end = offset + r.length();
    if (end > text.size()) fault_index(end, text.size());
    const std::string_view all(text);
    const bool start_ok = offset == text.size() || !is_continuation(byte_at(all, offset));
    const bool end_ok = end == text.size() || !is_continuation(byte_at(all, end));
    if (!start_ok || !end_ok) {
        std::string m = "text reference ";
        append_u64(m, offset);
        m += "..";
        append_u64(m, end);
        m += " is not on character boundaries";
        fault(std::move(m));
    }
    return all.substr(offset, r.length());
}

std::uint32_t HandStore::push_card_set(const CardSet& c) {
    const std::size_t index = card_sets.size();
    if (index >= kNoCards) fault_index(index, kNoCards);
    card_sets.push_back(c);
    return static_cast<std::uint32_t>(index);
}

std::uint32_t HandStore::push_amounts(std::initializer_list<float> values) {
    const std::size_t index = amounts.size();
    if (index >= kNoPayload - values.size()) fault_index(index, kNoPayload - values.size());
    amounts.insert(amounts.end(), values);
    return static_cast<std::uint32_t>(index);
}

std::span<const float> HandStore::amounts_of(std::uint32_t index, std::size_t count) const {
    const std::uint64_t end = std::uint64_t{index} + count;
    if (end > amounts.size()) fault_index(end - 1, amounts.size());
    return std::span<const float>(amounts.data() + index, count);
}

CardSet HandStore::cards_of(std::uint32_t payload) const {
    if (payload == kNoCards) return CardSet::empty();
    return at(card_sets, payload);
}

HandStore::CashOutValue HandStore::cash_out_of(std::uint32_t payload) const {
    const auto v = amounts_of(payload, 2);
    return CashOutValue{v[0], v[1]};
}

std::optional<std::uint32_t> whole_number(float v, std::uint32_t max) noexcept {
    if (!(v >= 0.0f && v <= static_cast<float>(max))) return std::nullopt;
    const auto whole = static_cast<std::uint32_t>(v);
    if (static_cast<float>(whole) != v) return std::nullopt;
    return whole;
}

namespace {

std::uint32_t whole_amount(float v, std::uint32_t max, std::string_view what) {
    if (const auto whole = whole_number(v, max)) return *whole;
    std::string m(what);
    m += " is not a whole number up to ";
    append_u64(m, max);
    fault(std::move(m));
}

}  // namespace

HandStore::FinishValue HandStore::finish_of(std::uint32_t payload) const {
    const auto v = amounts_of(payload, 2);
    return FinishValue{whole_amount(v[0], kExactWhole, "finishing place"), v[1]};
}

HandStore::BountyValue HandStore::bounty_of(std::uint32_t payload) const {
    const auto v = amounts_of(payload, 4);
    return BountyValue{v[0], v[1], v[2],
                       static_cast<std::uint8_t>(whole_amount(v[3], kNone8, "defeated player"))};
}

HandStore::PurchaseValue HandStore::purchase_of(std::uint32_t payload) const {
    const auto v = amounts_of(payload, 2);
    return PurchaseValue{v[0], v[1]};
}

std::optional<float> HandStore::amount_of(const Action& a) const {
    switch (payload_kind(a.type())) {
        case PayloadKind::Amount: return a.amount();
        case PayloadKind::CashOut: return cash_out_of(a.payload()).amount;
        case PayloadKind::Finish: return finish_of(a.payload()).prize;
        case PayloadKind::Bounty: return bounty_of(a.payload()).amount;
        case PayloadKind::Purchase: return purchase_of(a.payload()).chips;
        case PayloadKind::Count: return static_cast<float>(a.payload());
        default: return std::nullopt;
    }
}

std::string_view HandStore::message_of(std::uint32_t payload, std::uint64_t text_start) const {
    const std::uint64_t offset = payload & 0xFFFFFFu;
    const std::uint64_t length = payload >> 24;
    if (text_start > kRefStartMask)
        fault_width("text offset", text_start, 40, std::source_location::current());
    return text_of(TextRef::make(text_start + offset, length));
}

std::uint32_t say_payload(std::uint64_t offset, std::uint64_t length, std::uint64_t text_start) {
    if (length > 255) {
        std::string m = "Message is too long ";
        append_u64(m, length);
        m += " - max: 255";
        fault(std::move(m));
    }
    if (offset < text_start) {
        std::string m = "message offset ";
        append_u64(m, offset);
        m += " lies before the hand's text start ";
        append_u64(m, text_start);
        fault(std::move(m));
    }
    const std::uint64_t relative = offset - text_start;
    if (relative > 0xFFFFFFu)
        fault_width("message offset", relative, 24, std::source_location::current());
    return static_cast<std::uint32_t>(relative | length << 24);
}

// ---------------------------------------------------------------------------------------------
// Number forms
// ---------------------------------------------------------------------------------------------

float largest_ante(const HandStore& store, Span actions) {
    float ante = 0.0f;
    for (const Action& a : store.resolve(store.actions, actions))
        if (a.type() == ActionType::Ante && a.amount() > ante) ante = a.amount();
    return ante;
}

}  // namespace hs
