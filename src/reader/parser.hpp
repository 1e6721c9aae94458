// The parser cursor shared by every site parser (lines, the end marker, the player table, the
// building of actions) and the pure value readers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/model.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/player_table.hpp"

namespace hs {

// The end of the text reads as this line; a literal "@@@" line ends parsing as well.
inline constexpr std::string_view kEndMarker = "@@@";

// Splits a text into lines. The separator is chosen once, from the first line: "\r\n" when the
// first '\n' has a '\r' before it, '\n' when there is a '\n', and a lone '\r' for texts that
// hold no '\n' but do hold '\r' (old Mac files).
class LineSplitter {
  public:
    enum class Kind : std::uint8_t { Byte, Pair, Cr };
    explicit LineSplitter(std::string_view text) noexcept;
    Kind kind() const noexcept { return kind_; }
    // The next line's extent [start, end) in the text, without its separator.
    struct Extent {
        std::size_t start, end;
    };
    inline std::optional<Extent> next() noexcept;

  private:
    std::string_view text_;
    std::size_t start_ = 0;
    Kind kind_ = Kind::Byte;
};

class Parser {
  public:
    Parser(std::string_view text, HandStore& store);

    // The current line without its separator and without trailing spaces, tabs and carriage
    // returns; the end marker once the text is exhausted.
    std::string_view line() const noexcept { return line_; }
    // The 1-based number of the current line in the text; the end of the text counts as the
    // line after the last one.
    std::uint64_t line_number() const noexcept { return line_number_; }
    inline void next_line() noexcept;
    void skip_empty_lines() noexcept;
    bool at_end() const noexcept { return line_ == kEndMarker; }

    // What a hand's first line begins with, 4 to 16 bytes. Once it is set, a line that begins a
    // hand reads as the end of the text, so that no hand read line by line runs into the next
    // one: the driver takes the line back with `take_held_start` between hands.
    void set_hand_start(std::string_view start);
    // Whether a line begins a hand: it starts with the hand start after any white space and
    // byte-order marks (an indented first hand, files joined end to end).
    bool begins_hand(std::string_view line) const noexcept;
    // Whether the end reached is a hand start held back.
    bool holds_start() const noexcept { return !held_.empty(); }
    // The end of the text itself.
    bool at_text_end() const noexcept { return at_end() && held_.empty(); }
    // Makes the held hand start the current line; false when none is held.
    bool take_held_start() noexcept;

    // Starts a hand: clears the table, remembers where the hand's players and text begin.
    void begin_hand() noexcept;

    HandStore& store() noexcept { return *store_; }
    const HandStore& store() const noexcept { return *store_; }
    std::string_view text() const noexcept { return text_; }
    std::uint64_t first_player() const noexcept { return first_player_; }
    std::uint64_t text_start() const noexcept { return text_start_; }
    std::uint8_t player_count() const noexcept { return players_.count; }
    const PlayerTable& table() const noexcept { return players_; }

    // The player record of slot `id` of the current hand; faults when id is not a slot.
    Player& player(std::uint8_t id);

    // A prefix that every name loses (when at least one byte remains) before it is keyed or
    // looked up; stored names keep the full name. Empty for none.
    void set_key_prefix(std::string_view prefix) noexcept { key_prefix_ = prefix; }
    inline std::string_view key_name(std::string_view name) const noexcept;

    // Slot of `name` in the current hand, or 32: the slot whose whole name equals `name` (both
    // keyed); when slots share the name's key but none equals it, the lowest of them. Actions
    // look players up this way.
    [[gnu::always_inline]] inline std::uint8_t find_player(std::string_view name) const;
    // Appends the name, takes a new slot and pushes Player{name, seat, chips}.
    inline std::uint8_t add_seated_player(std::string_view name, std::uint8_t seat, float chips);
    // The slot whose whole name equals `name`, or a new player with chips 0.0 and seat 255: a
    // line that may name a player first (a join, a sit-out, a chat line) registers the name, and
    // a new player whose name begins as a seated one's does is a player of their own.
    inline std::uint8_t player_id(std::string_view name);
    // Action with an amount payload; the player is looked up only (32 when absent).
    inline Action make_action(std::string_view name, ActionType type, float amount) const;
    // Pushes the card set, then builds the action with its index as payload (lookup only).
    Action make_card_action(std::string_view name, ActionType type, const CardSet& cards);

  private:
    // The current line becomes the end when it begins a hand.
    void hold_if_hand_start() noexcept;
    // A lookup: the slot found (32 for none) and whether its whole name equals the one looked up.
    struct Found {
        std::uint8_t slot;
        bool equal;
    };
    inline Found lookup(std::string_view name) const;
    // The lookup when several slots hold the key (bits of `mask`) or the name is too long for
    // the words to hold whole.
    Found lookup_among(std::uint32_t mask, const NameWords& words, std::string_view key) const;
    // Whether the name of slot `slot` of the current hand, keyed, is `key` (read from the store).
    bool keyed_name_is(std::uint8_t slot, std::string_view key) const;

    PlayerTable players_;
    LineSplitter lines_;
    std::string_view line_;
    std::string_view text_;
    HandStore* store_;
    std::uint64_t first_player_ = 0;
    std::uint64_t text_start_ = 0;
    std::uint64_t line_number_ = 0;
    std::string_view key_prefix_;
    std::string_view hand_start_;
    std::uint64_t start_head_ = 0;  // the hand start's first 8 bytes
    std::uint64_t start_tail_ = 0;  // and its last 8
    std::string_view held_;
    // The first bytes that a hand start may have: the start's own, and those of white space and
    // of the byte-order mark. One look-up per line tells the lines that cannot begin a hand.
    bool may_start_[256] = {};
};

// The line loop runs once per line of every text: both steps are inline, one byte search per line.
inline std::optional<LineSplitter::Extent> LineSplitter::next() noexcept {
    const std::size_t size = text_.size();
    if (start_ >= size) return std::nullopt;
    const char* const base = text_.data();
    const std::size_t from = start_;
    std::size_t end = size;
    std::size_t sep_len = 1;
    if (kind_ == Kind::Pair) {
        // The next "\r\n": a '\n' from start + 1 on with a '\r' before it.
        sep_len = 2;
        std::size_t at = from + 1;
        while (at < size) {
            const void* lf = std::memchr(base + at, '\n', size - at);
            if (lf == nullptr) break;
            const auto i = static_cast<std::size_t>(static_cast<const char*>(lf) - base);
            if (base[i - 1] == '\r') {  // i >= from + 1 >= 1
                end = i - 1;
                break;
            }
            at = i + 1;
        }
    } else {
        const std::size_t at = find_byte_blocks(text_, kind_ == Kind::Cr ? '\r' : '\n', from);
        if (at != npos) end = at;
    }
    start_ = end + sep_len;
    return Extent{from, end};
}

inline void Parser::next_line() noexcept {
    // The end stays the end, whether it is the end of the text or a literal end-marker line.
    if (line_.size() == kEndMarker.size() && line_ == kEndMarker) return;
    ++line_number_;
    const auto e = lines_.next();
    if (!e) {
        line_ = kEndMarker;
        return;
    }
    // Trailing spaces, tabs and carriage returns are not part of the line; most lines end in a
    // byte above the space, which settles it with one compare.
    const char* const first = text_.data() + e->start;
    const char* last = text_.data() + e->end;
    while (last != first && static_cast<unsigned char>(last[-1]) <= ' ' &&
           (last[-1] == ' ' || last[-1] == '\t' || last[-1] == '\r'))
        --last;
    line_ = std::string_view(first, static_cast<std::size_t>(last - first));
    if (last != first && may_start_[static_cast<unsigned char>(*first)]) [[unlikely]]
        hold_if_hand_start();
}

inline std::string_view Parser::key_name(std::string_view name) const noexcept {
    const std::size_t n = key_prefix_.size();
    if (n != 0 && name.size() > n && std::memcmp(name.data(), key_prefix_.data(), n) == 0)
        return name.substr(n);
    return name;
}

// Several lookups per line: inline (forced: the call would cost as much as the lookup). The key
// narrows the slots to compare, nearly always to one, and that one's name is compared whole (by
// the table's words, and in the store for a name too long to be held in them): three bytes in
// common make no one the same player.
[[gnu::always_inline]] inline Parser::Found Parser::lookup(std::string_view name) const {
    const std::string_view key = key_name(name);
    if (key.empty()) fault_index(0, 0);
    const NameWords words = NameWords::of(key);
    const std::uint32_t mask = players_.key_mask(words.key());
    if (mask == 0) return Found{static_cast<std::uint8_t>(PlayerTable::SLOTS), false};
    // One slot with the key and a name the words hold whole: the common case, settled here.
    const auto slot = static_cast<std::uint8_t>(std::countr_zero(mask));
    if ((mask & (mask - 1)) == 0 && words.size <= NameWords::kWholeName) [[likely]]
        return Found{slot, players_.words[slot & (PlayerTable::SLOTS - 1)] == words};
    return lookup_among(mask, words, key);
}

// An action's name: one slot with the key is that player whether or not the name equals (the rule
// for a name that equals no one's), so only several slots are compared.
inline std::uint8_t Parser::find_player(std::string_view name) const {
    const std::string_view key = key_name(name);
    const std::uint32_t mask = players_.match_mask(key);
    if (mask == 0) return static_cast<std::uint8_t>(PlayerTable::SLOTS);
    if ((mask & (mask - 1)) == 0) return static_cast<std::uint8_t>(std::countr_zero(mask));
    return lookup_among(mask, NameWords::of(key), key).slot;
}

inline std::uint8_t Parser::player_id(std::string_view name) {
    const Found found = lookup(name);
    if (found.equal) return found.slot;
    return add_seated_player(name, kNone8, 0.0f);
}

// Once per seat line: inline, one append and one push (forced, or a large reader around it can
// tip the compiler into a call).
[[gnu::always_inline]] inline std::uint8_t Parser::add_seated_player(std::string_view name,
                                                                     std::uint8_t seat,
                                                                     float chips) {
    // The reference fits its bit fields in every real text; the checked path faults otherwise.
    const std::uint64_t offset = store_->text.size();
    TextRef ref;
    if (offset <= kRefStartMask && name.size() <= kRefMaxCount) [[likely]] {
        store_->text.append(name);
        ref.raw = offset | std::uint64_t{name.size()} << 40;
    } else {
        ref = store_->push_text(name);
    }
    const std::uint8_t slot = players_.insert(key_name(name));
    Player p;
    p.name = ref;
    p.seat = seat;
    p.chips = chips;
    store_->players.push_back(p);
    return slot;
}

inline Action Parser::make_action(std::string_view name, ActionType type, float amount) const {
    return Action::with_amount(type, find_player(name), amount);
}

// ---------------------------------------------------------------------------------------------
// Value readers: pure functions of a text view; never allocate.
// ---------------------------------------------------------------------------------------------

struct NumberRead {
    float value;
    std::size_t len;  // bytes consumed
};
struct IntegerRead {
    std::uint64_t value;
    std::size_t len;
};
struct SignedRead {
    float value;
    std::size_t sign_at;  // offset of the sign (or of the number when the hand has no sign)
    std::size_t end;      // offset just past the number
};
struct SignRead {
    Currency sign;
    std::size_t len;
};
struct SeatLine {
    std::size_t seat_start;  // always 5
    std::size_t seat_len;    // 1 or 2
    std::string_view name;
    std::size_t after_paren;  // offset just past the last '('
};
struct BracketedCards {
    CardSet cards;
    std::size_t open;   // just past '[' (0 when none)
    std::size_t close;  // just past ']' (0 when none)
};

// Numeric characters: ASCII digits and the Unicode categories Nd, Nl, No.
// Length of the leading run of numeric characters (no ',').
std::size_t numeric_len(std::string_view text) noexcept;

// Grouped amounts: ',' as thousands separator, exactly two decimals.
std::size_t numeric_run_len(std::string_view text) noexcept;  // numeric characters and ','
std::optional<NumberRead> read_amount(std::string_view text) noexcept;
float parse_amount(std::string_view text) noexcept;
std::uint64_t parse_grouped_integer(std::string_view text) noexcept;
std::optional<SignedRead> amount_after_last(std::string_view text, Currency sign) noexcept;

// Plain numbers.
std::optional<IntegerRead> read_integer(std::string_view text) noexcept;
inline std::optional<NumberRead> read_decimal(std::string_view text) noexcept;
// read_decimal for the texts its inline fast path leaves aside (a character outside ASCII where
// the number could go on, a long mantissa); gives the same result for every text.
std::optional<NumberRead> read_decimal_general(std::string_view text) noexcept;
// With sign 0 (a hand without a currency sign): the first ASCII digit at or after the start
// stands where the sign would, and nothing is skipped. With kChips the same, read by read_chips.
inline std::optional<SignedRead> decimal_after_first(std::string_view text, Currency sign) noexcept;
// With sign 0: the last number of the text; with kChips the last one that may hold ','.
inline std::optional<SignedRead> decimal_after_last(std::string_view text, Currency sign) noexcept;
// Both of the above for any sign: first (or last) occurrence.
std::optional<SignedRead> decimal_after_sign(std::string_view text, Currency sign,
                                             bool last) noexcept;

// The sign under which the readers take a tournament hand's amounts: chips, whole numbers
// without a sign, with or without ',' between thousands. It is no character and never reaches a
// record: a tournament hand's currency is 0.
inline constexpr Currency kChips = 0x110000;
// read_amount for chips, with their common form (ASCII digits and ',', ended by an ASCII byte
// other than '.') settled first; gives the same result for every text.
std::optional<NumberRead> read_chips(std::string_view text) noexcept;
// A mark on a sign (any but kChips) under which the readers take amounts whose whole part may
// group its thousands with ',' ("$1,289.63", as GGPoker writes cash amounts); amounts read
// under the bare sign end at a ','. Like kChips it never reaches a record.
inline constexpr Currency kGrouped = 0x200000;
// The sign itself, without the kGrouped mark.
constexpr Currency bare_sign(Currency sign) noexcept { return sign & ~kGrouped; }
// read_decimal with ',' between thousands: a ',' followed by exactly three ASCII digits carries
// the whole part on ("1,289.63", "2,000"); any other ',' ends the number.
std::optional<NumberRead> read_grouped_decimal(std::string_view text) noexcept;
// read_decimal, read_chips for chips, read_grouped_decimal under a kGrouped sign.
inline std::optional<NumberRead> read_number(std::string_view text, Currency sign) noexcept {
    if (sign == kChips) return read_chips(text);
    return (sign & kGrouped) != 0 ? read_grouped_decimal(text) : read_decimal(text);
}
// The byte length of the sign written before an amount: none for chips or a hand without one.
inline std::size_t sign_length(Currency sign) noexcept {
    if (sign < 0x80) return sign != 0;
    if (sign == kChips) return 0;
    sign = bare_sign(sign);
    return sign < 0x80 ? sign != 0 : utf8_len(sign);
}

// An amount written with its sign after the number, as Winamax writes them: "0.05€", "3€", and
// without a sign for play money and chips ("0.10", "1520"). A 'k' right after the number is
// thousands ("3.37k"). `sign` is 0 when none follows; `len` counts the sign's bytes too.
struct TrailingRead {
    float value;
    Currency sign;
    std::size_t len;
};
std::optional<TrailingRead> amount_sign_after(std::string_view text) noexcept;

// Byte length of the Unicode white-space character at the start of `text` (0 when it is not
// one).
std::size_t white_space_len(std::string_view text) noexcept;

// Signs, seats, cards.
std::optional<SignRead> currency_symbol(std::string_view text) noexcept;
std::optional<SeatLine> read_seat_line(std::string_view line);
CardSet parse_cards(std::string_view text);
BracketedCards bracketed_cards(std::string_view text);

// Amounts are read several times per line: the common forms are settled inline.

inline std::optional<NumberRead> read_decimal(std::string_view text) noexcept {
    // ASCII digits, an optional '.' and ASCII digits, ended by an ASCII byte or the end of the
    // text, with at most 7 whole digits: the mantissa stays at most 2^24 + a little, exact in
    // f32, and 10^k (k <= 10) is exact too, so one division rounds correctly. Anything else
    // goes to the general reader.
    const auto* const p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const auto digit = [](unsigned char b) { return static_cast<unsigned>(b - '0') < 10u; };
    std::size_t i = 0;
    std::uint64_t mantissa = 0;
    while (i < n && digit(p[i])) mantissa = mantissa * 10 + (p[i++] - '0');
    if (i == 0) {
        if (n == 0 || p[0] < 0x80) return std::nullopt;
        return read_decimal_general(text);
    }
    if (i > 7) return read_decimal_general(text);
    std::size_t decimals = 0;
    if (i < n && p[i] == '.') {
        const std::size_t stop = n - i - 1 < 11 ? n : i + 11;  // at most 10 decimals here
        std::size_t j = i + 1;
        while (j < stop && digit(p[j])) mantissa = mantissa * 10 + (p[j++] - '0');
        decimals = j - i - 1;
        if (decimals > 0)
            i = j;
        else if (j < n && p[j] >= 0x80)
            return read_decimal_general(text);
    }
    if ((i < n && (p[i] >= 0x80 || digit(p[i]))) || mantissa > (std::uint64_t{1} << 24))
        return read_decimal_general(text);
    static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                       1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    return NumberRead{static_cast<float>(mantissa) / kPow10[decimals], i};
}

inline std::optional<SignedRead> decimal_after_first(std::string_view text,
                                                     Currency sign) noexcept {
    if (sign == U'$') {
        const std::size_t at = find_byte(text, '$');
        if (at == npos) return std::nullopt;
        const auto r = read_decimal(text.substr(at + 1));
        if (!r) return std::nullopt;
        return SignedRead{r->value, at, at + 1 + r->len};
    }
    return decimal_after_sign(text, sign, false);
}

inline std::optional<SignedRead> decimal_after_last(std::string_view text, Currency sign) noexcept {
    if (sign == U'$') {
        const std::size_t at = rfind_byte(text, '$');
        if (at == npos) return std::nullopt;
        const auto r = read_decimal(text.substr(at + 1));
        if (!r) return std::nullopt;
        return SignedRead{r->value, at, at + 1 + r->len};
    }
    return decimal_after_sign(text, sign, true);
}

}  // namespace hs
