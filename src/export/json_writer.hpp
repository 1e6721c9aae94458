// The JSON writer that every export shares: one growable buffer, written straight from the
// store in one pass, with objects and arrays that place their own separators.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/fault.hpp"
#include "core/format.hpp"
#include "core/model.hpp"
#include "core/money.hpp"
#include "core/out_buffer.hpp"

namespace hs {

inline constexpr std::size_t kInitialCapacity = 100000;
// The bytes a writer with a sink hands it at a time.
inline constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

// Thrown (and caught at the entry points) when a value has no JSON form.
struct FormatFailure {};

class JsonWriter {
  public:
    // `estimate`: the expected size of the output, reserved at once (the buffer still grows past
    // it, without zero-filling).
    explicit JsonWriter(std::size_t estimate = kInitialCapacity) : out_(estimate) {}
    // A writer whose output goes to `sink` a piece at a time (see end_of_hand); `estimate`, the
    // expected size of the whole output, is passed on to the sink.
    JsonWriter(OutputSink& sink, std::size_t estimate)
        : out_(kPieceBytes + kPieceBytes / 4), sink_(&sink) {
        sink.expect(estimate);
    }

    // Between two hands: with a sink, the bytes written so far go to it once they fill a piece,
    // so that the buffer holds whole hands only and never grows large.
    void end_of_hand() {
        if (sink_ != nullptr && out_.size() >= kPieceBytes) flush();
    }
    // The rest of the output to the sink (nothing without one).
    void flush() {
        if (sink_ == nullptr) return;
        sink_->write(out_.view());
        out_.truncate(0);
    }

    // Room for n more bytes; growth at least doubles the capacity. commit(k) keeps the first k.
    char* room(std::size_t n) { return out_.room(n); }
    void commit(std::size_t n) noexcept { out_.commit(n); }
    void put(char c) {
        *room(1) = c;
        out_.commit(1);
    }
    void raw(std::string_view s) {
        if (s.empty()) return;  // an empty view may carry no pointer at all
        std::memcpy(room(s.size()), s.data(), s.size());
        out_.commit(s.size());
    }

    void null() { raw("null"); }
    void flag(bool b) {
        // Five bytes copied either way, four of them kept for "true".
        std::memcpy(room(5), b ? "true " : "false", 5);
        out_.commit(b ? 4 : 5);
    }
    void small(std::uint8_t v) {
        char* p = room(3);
        out_.commit(static_cast<std::size_t>(small_at(p, v) - p));
    }
    void number(std::uint64_t v) {
        constexpr std::size_t kDigits = 20;  // the most a 64-bit number has
        char* p = room(kDigits);
        out_.commit(static_cast<std::size_t>(std::to_chars(p, p + kDigits, v).ptr - p));
    }
    void amount(float v) {
        // Most amounts are whole cents: their shortest decimal is the cents' own digits (the
        // float's rounding interval holds one number of cents and no shorter decimal), written
        // from the integer. The others take the general shortest form.
        if (const auto cents = whole_cents(v)) [[likely]] {
            write_cents(*cents, std::signbit(v));
            return;
        }
        // JSON has no form for infinities or NaN: that is a formatting failure, never a
        // number that the reader would reject.
        if (!std::isfinite(v)) throw FormatFailure{};
        scratch_.clear();
        append_f32_plain(scratch_, v);
        raw(scratch_);
    }
    // The decimal of an exact amount: the digits, and the fraction without trailing zeros ("0.5",
    // "12", "-0.05"), as money_text writes it.
    void money(Money m) {
        char* p = room(kMoneyBytes);
        out_.commit(static_cast<std::size_t>(money_at(p, m) - p));
    }
    // A JSON string holding the bytes of s, escaped where JSON requires it.
    void text(std::string_view s) {
        const std::size_t plain = plain_prefix(s);
        if (plain == s.size()) [[likely]] {
            char* p = room(s.size() + 2);
            p[0] = '"';
            if (!s.empty()) std::memcpy(p + 1, s.data(), s.size());
            p[s.size() + 1] = '"';
            out_.commit(s.size() + 2);
            return;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        put('"');
        raw(s.substr(0, plain));
        std::size_t run = plain;  // start of the bytes not yet copied
        for (std::size_t i = plain; i < s.size(); ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (c >= 0x20 && c != '"' && c != '\\') continue;
            raw(s.substr(run, i - run));
            if (c == '"') {
                raw("\\\"");
            } else if (c == '\\') {
                raw("\\\\");
            } else {
                const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
                raw(std::string_view(esc, 6));
            }
            run = i + 1;
        }
        raw(s.substr(run));
        put('"');
    }
    // A name from one of the layout's tables: never needs escaping.
    void name(std::string_view s) {
        char* p = room(s.size() + 2);
        p[0] = '"';
        std::memcpy(p + 1, s.data(), s.size());
        p[s.size() + 1] = '"';
        out_.commit(s.size() + 2);
    }
    void card(Card c) {
        // The rank byte is '0'..'o' for any six bits: never escaped.
        const char s[4] = {'"', card_rank_char(c), card_suit_letter(c), '"'};
        raw(std::string_view(s, 4));
    }
    // The first `count` cards of a set as an array; a count above six is a broken set.
    void cards(const CardSet& set) {
        char* p = room(kCardsBytes);
        out_.commit(static_cast<std::size_t>(cards_at(p, set) - p));
    }

    // The forms above written at p, which has room for them; each returns the end. A caller
    // that writes a whole object this way takes room for all of it once.
    template <std::size_t N>
    static char* literal_at(char* p, const char (&s)[N]) noexcept {
        std::memcpy(p, s, N - 1);
        return p + N - 1;
    }
    static char* small_at(char* p, std::uint8_t v) noexcept {
        if (v >= 100) *p++ = static_cast<char>('0' + v / 100);
        if (v >= 10) *p++ = static_cast<char>('0' + v / 10 % 10);
        *p++ = static_cast<char>('0' + v % 10);
        return p;
    }
    static char* flag_at(char* p, bool b) noexcept {
        std::memcpy(p, b ? "true " : "false", 5);
        return p + (b ? 4 : 5);
    }
    // A name of at most kShortName bytes (from one of the layout's tables), quoted.
    static char* short_name_at(char* p, std::string_view s) noexcept {
        *p = '"';
        if (!s.empty()) std::memcpy(p + 1, s.data(), s.size());
        p[s.size() + 1] = '"';
        return p + s.size() + 2;
    }
    // Any bytes that need no escape (see plain_prefix), quoted; the caller took room for them.
    static char* quoted_at(char* p, std::string_view s) noexcept { return short_name_at(p, s); }
    static char* cards_at(char* p, const CardSet& set) {
        if (set.count > std::size(set.cards)) fault_index(std::size(set.cards), set.count);
        *p++ = '[';
        for (std::size_t i = 0; i < set.count; ++i) {
            if (i != 0) *p++ = ',';
            const char s[4] = {'"', card_rank_char(set.cards[i]), card_suit_letter(set.cards[i]),
                               '"'};
            std::memcpy(p, s, 4);
            p += 4;
        }
        *p++ = ']';
        return p;
    }
    // The decimal of a whole number of cents: the digits, and the fraction without trailing
    // zeros; `negative` writes the sign (of -0 too). At most kCentsBytes.
    static char* cents_at(char* p, std::int64_t cents, bool negative) noexcept {
        if (negative) *p++ = '-';
        const std::uint64_t a =
            cents < 0 ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
        p = std::to_chars(p, p + 20, a / 100).ptr;
        const auto fraction = static_cast<unsigned>(a % 100);
        if (fraction != 0) {
            *p++ = '.';
            *p++ = static_cast<char>('0' + fraction / 10);
            if (fraction % 10 != 0) *p++ = static_cast<char>('0' + fraction % 10);
        }
        return p;
    }
    static char* money_at(char* p, Money m) noexcept {
        if (m < 0) *p++ = '-';
        const std::uint64_t a =
            m < 0 ? 0 - static_cast<std::uint64_t>(m) : static_cast<std::uint64_t>(m);
        std::uint64_t fraction = a % kMoneyUnit;
        p = std::to_chars(p, p + 20, a / kMoneyUnit).ptr;
        if (fraction == 0) return p;
        *p++ = '.';
        constexpr std::uint64_t kCent = kMoneyUnit / 100;
        if (fraction % kCent == 0) [[likely]] {
            const auto cents = static_cast<unsigned>(fraction / kCent);
            *p++ = static_cast<char>('0' + cents / 10);
            if (cents % 10 != 0) *p++ = static_cast<char>('0' + cents % 10);
            return p;
        }
        char digits[6];
        for (std::size_t i = 6; i-- > 0; fraction /= 10)
            digits[i] = static_cast<char>('0' + fraction % 10);
        std::size_t count = 6;
        while (digits[count - 1] == '0') --count;
        std::memcpy(p, digits, count);
        return p + count;
    }
    // The most bytes of a card set, an amount of cents and of money (sign, 20 digits, point, 6
    // digits); the longest name short_name_at copies.
    static constexpr std::size_t kCardsBytes = 2 + 6 * 5, kCentsBytes = 24, kMoneyBytes = 28,
                                 kShortName = 16;
    // "YYYY-MM-DDTHH:MM:SSZ" from the packed start date, stored values as they are.
    void date(PackedDate d) {
        char s[22];
        const DateParts p = unpack_date(d);  // the year is 2000..2063: always four digits
        auto two = [&s](std::size_t at, unsigned v) {
            s[at] = static_cast<char>('0' + v / 10 % 10);
            s[at + 1] = static_cast<char>('0' + v % 10);
        };
        s[0] = '"';
        two(1, p.year / 100);
        two(3, p.year % 100);
        s[5] = '-';
        two(6, p.month);
        s[8] = '-';
        two(9, p.day);
        s[11] = 'T';
        two(12, p.hour);
        s[14] = ':';
        two(15, p.minute);
        s[17] = ':';
        two(18, p.second);
        s[20] = 'Z';
        s[21] = '"';
        raw(std::string_view(s, 22));
    }

    // ',' unless first, then "key": in one copy; a literal key's copy has a constant size.
    template <std::size_t N>
    void member_key(const char (&k)[N], bool first) {
        char* p = room(N + 3);
        p[0] = ',';
        char* q = p + (first ? 0 : 1);
        q[0] = '"';
        std::memcpy(q + 1, k, N - 1);
        q[N] = '"';
        q[N + 1] = ':';
        out_.commit(N + (first ? 2 : 3));
    }
    void member_key(std::string_view k, bool first) {
        char* p = room(k.size() + 4);
        std::size_t n = 0;
        if (!first) p[n++] = ',';
        p[n++] = '"';
        std::memcpy(p + n, k.data(), k.size());
        n += k.size();
        p[n++] = '"';
        p[n++] = ':';
        out_.commit(n);
    }

    // Bytes written so far; a hand that cannot be written is dropped by cutting back to it.
    std::size_t size() const noexcept { return out_.size(); }
    void truncate(std::size_t n) noexcept { out_.truncate(n); }

    OutBuffer take() {
        out_.shrink();
        return std::move(out_);
    }

    // The bytes at the start of s that need no escape in a JSON string, counted eight at a time: a
    // control character, '"' or '\\' ends them. The last bytes are tested in one word too (the
    // last eight, or the rest padded with spaces); only a text that has an escape is read byte by
    // byte from its first word that has one.
    static std::size_t plain_prefix(std::string_view s) noexcept {
        constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
        const auto has_zero = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
        // Bytes below 0x20 (those of 0x80 and above are not), '"' and '\\': a byte is flagged
        // where one is, the flags above a flagged byte may be wrong.
        const auto escapes = [&](std::uint64_t x) {
            return ((x - kOnes * 0x20) & ~x & kHigh) | has_zero(x ^ (kOnes * '"')) |
                   has_zero(x ^ (kOnes * '\\'));
        };
        const std::size_t n = s.size();
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t x;
            std::memcpy(&x, s.data() + i, 8);
            if (escapes(x)) break;
        }
        if (i + 8 > n) {
            std::uint64_t x = kOnes * ' ';
            if (n >= 8)
                std::memcpy(&x, s.data() + n - 8, 8);
            else if (n != 0)
                std::memcpy(&x, s.data(), n);
            if (!escapes(x)) return n;
        }
        for (; i < n; ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (c < 0x20 || c == '"' || c == '\\') break;
        }
        return i;
    }

  private:
    void write_cents(std::int64_t cents, bool negative) {
        char* p = room(kCentsBytes);
        out_.commit(static_cast<std::size_t>(cents_at(p, cents, negative) - p));
    }

    OutBuffer out_;
    OutputSink* sink_ = nullptr;
    std::string scratch_;  // the digits of an amount of the general form, reused
};

// The expected size of an export of `hands`: the store's hands, players and actions in the
// span's proportion, each at the bytes a record of its kind takes in the layout. An estimate
// only: the writer grows past it.
inline std::size_t output_estimate(const HandStore& store, Span hands, std::size_t per_hand,
                                   std::size_t per_player, std::size_t per_action) {
    const std::size_t all = store.hands.size();
    if (all == 0) return kInitialCapacity;
    const double share = static_cast<double>(hands.count()) / static_cast<double>(all);
    const double bytes =
        share * static_cast<double>(all * per_hand + store.players.size() * per_player +
                                    store.actions.size() * per_action);
    return static_cast<std::size_t>(bytes) + kInitialCapacity;
}

// An open object or array: writes the separators, the caller writes the values.
class Obj {
  public:
    explicit Obj(JsonWriter& w) : w_(w) { w_.put('{'); }
    // An object whose opening and first members the caller has written already.
    struct Continued {};
    Obj(JsonWriter& w, Continued) : w_(w), first_(false) {}
    // The key of the next member; the caller writes its value right after.
    template <std::size_t N>
    JsonWriter& key(const char (&k)[N]) {
        w_.member_key(k, first_);
        first_ = false;
        return w_;
    }
    JsonWriter& key(std::string_view k) {
        w_.member_key(k, first_);
        first_ = false;
        return w_;
    }
    void close() { w_.put('}'); }

  private:
    JsonWriter& w_;
    bool first_ = true;
};

class Arr {
  public:
    explicit Arr(JsonWriter& w) : w_(w) { w_.put('['); }
    JsonWriter& next() {
        if (!first_) w_.put(',');
        first_ = false;
        return w_;
    }
    void close() { w_.put(']'); }

  private:
    JsonWriter& w_;
    bool first_ = true;
};

// Checked lookup in a name table: a code beyond the table is a broken record.
template <std::size_t N>
std::string_view name_of(const std::array<std::string_view, N>& table, std::size_t code) {
    if (code >= N) fault_index(code, N);
    return table[code];
}

// Enumeration names come from the model's tables; a code outside its table is a broken record.
template <class Enum, std::size_t N>
std::string_view enum_text(const std::array<std::string_view, N>& names, Enum code) {
    return name_of(names, static_cast<std::size_t>(code));
}
// The bet_type codes of the Open Hand History layouts, in the model's code order.
inline constexpr std::array<std::string_view, kBetTypeCount> kBetLimitCodes = {"NL", "FL", "PL"};

}  // namespace hs
