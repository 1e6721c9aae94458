// The JSON writer that every export shares: one growable buffer, written straight from the
// store in one pass, with objects and arrays that place their own separators.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/fault.hpp"
#include "core/format.hpp"
#include "core/model.hpp"

namespace hs {

inline constexpr std::size_t kInitialCapacity = 100000;

// Thrown (and caught at the entry points) when a value has no JSON form.
struct FormatFailure {};

class JsonWriter {
  public:
    // The buffer is kept at its full capacity and len_ counts the bytes written, so appends are
    // plain copies behind one bounds test.
    JsonWriter() {
        buf_.resize(kInitialCapacity);
        scratch_.reserve(64);
    }

    // Room for n more bytes; growth at least doubles the capacity.
    char* room(std::size_t n) {
        if (buf_.size() - len_ < n) grow(n);
        return buf_.data() + len_;
    }
    void put(char c) {
        *room(1) = c;
        ++len_;
    }
    void raw(std::string_view s) {
        if (s.empty()) return;  // an empty view may carry no pointer at all
        std::memcpy(room(s.size()), s.data(), s.size());
        len_ += s.size();
    }

    void null() { raw("null"); }
    void flag(bool b) { raw(b ? std::string_view("true") : std::string_view("false")); }
    void small(std::uint8_t v) {
        char tmp[3];
        std::size_t n = 0;
        if (v >= 100) tmp[n++] = static_cast<char>('0' + v / 100);
        if (v >= 10) tmp[n++] = static_cast<char>('0' + v / 10 % 10);
        tmp[n++] = static_cast<char>('0' + v % 10);
        raw(std::string_view(tmp, n));
    }
    void number(std::uint64_t v) {
        scratch_.clear();
        append_u64(scratch_, v);
        raw(scratch_);
    }
    void amount(float v) {
        // JSON has no form for infinities or NaN: that is a formatting failure, never a
        // number that the reader would reject.
        if (!std::isfinite(v)) throw FormatFailure{};
        scratch_.clear();
        append_f32_plain(scratch_, v);
        raw(scratch_);
    }
    // A JSON string holding the bytes of s, escaped where JSON requires it.
    void text(std::string_view s) {
        static constexpr char kHex[] = "0123456789abcdef";
        put('"');
        std::size_t run = 0;  // start of the bytes not yet copied
        for (std::size_t i = 0; i < s.size(); ++i) {
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
        len_ += s.size() + 2;
    }
    void card(Card c) {
        // The rank byte is '0'..'o' for any six bits: never escaped.
        const char s[4] = {'"', card_rank_char(c), card_suit_letter(c), '"'};
        raw(std::string_view(s, 4));
    }
    // The first `count` cards of a set as an array; a count above six is a broken set.
    void cards(const CardSet& set) {
        put('[');
        for (std::size_t i = 0; i < set.count; ++i) {
            if (i >= std::size(set.cards)) fault_index(i, std::size(set.cards));
            if (i != 0) put(',');
            card(set.cards[i]);
        }
        put(']');
    }
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

    // ',' unless first, then "key": in one copy.
    void member_key(std::string_view k, bool first) {
        char* p = room(k.size() + 4);
        std::size_t n = 0;
        if (!first) p[n++] = ',';
        p[n++] = '"';
        std::memcpy(p + n, k.data(), k.size());
        n += k.size();
        p[n++] = '"';
        p[n++] = ':';
        len_ += n;
    }

    // Bytes written so far; a hand that cannot be written is dropped by cutting back to it.
    std::size_t size() const noexcept { return len_; }
    void truncate(std::size_t n) noexcept { len_ = n < len_ ? n : len_; }

    std::string take() {
        buf_.resize(len_);
        return std::move(buf_);
    }

  private:
    [[gnu::noinline]] void grow(std::size_t n) {
        const std::size_t need = len_ + n;
        const std::size_t doubled = buf_.size() * 2;
        buf_.resize(need > doubled ? need : doubled);
    }

    std::string buf_;
    std::size_t len_ = 0;
    std::string scratch_;  // number digits, reused: no allocation per value
};

// An open object or array: writes the separators, the caller writes the values.
class Obj {
  public:
    explicit Obj(JsonWriter& w) : w_(w) { w_.put('{'); }
    // The key of the next member; the caller writes its value right after.
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
