// The cursor that every site reader moves through a text: the current line (and the end marker),
// the hand starts, the player registry of the current hand (names keyed into the player table)
// and the building of actions that name a player.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/clock.hpp"
#include "core/model.hpp"
#include "reader/lines.hpp"
#include "reader/numbers.hpp"
#include "reader/player_table.hpp"

namespace hs {

class Parser {
  public:
    Parser(std::string_view text, HandStore& store);

    // The current line without its separator and without trailing spaces, tabs and carriage
    // returns; the end marker once the text is exhausted.
    std::string_view line() const noexcept { return line_; }
    // The 1-based number of the current line in the text; the end of the text counts as the
    // line after the last one.
    std::uint64_t line_number() const noexcept { return line_number_; }
    // Once per line of every hand: inline (forced: the readers around it are large).
    [[gnu::always_inline]] inline void next_line() noexcept;
    void skip_empty_lines() noexcept;
    bool at_end() const noexcept { return line_ == kEndMarker; }

    // What a hand's first line begins with, 1 to 16 bytes (KingsClub's hands begin "#<id>: "). Once
    // it is set, a line that begins a hand reads as the end of the text, so that no hand read line
    // by line runs into the next one: the driver takes the line back with `take_held_start` between
    // hands.
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
    // The conversion of the hands' start times to UTC, which keeps the hour converted last.
    UtcClock& clock() noexcept { return clock_; }
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
    [[gnu::always_inline]] inline std::string_view key_name(std::string_view name) const noexcept;

    // Slot of `name` in the current hand, or 32: the slot whose whole name equals `name` (both
    // keyed); when slots share the name's key but none equals it, the lowest of them. Actions
    // look players up this way.
    [[gnu::always_inline]] inline std::uint8_t find_player(std::string_view name) const;
    // Appends the name, takes a new slot and pushes Player{name, seat, chips}.
    inline std::uint8_t add_seated_player(std::string_view name, std::uint8_t seat, float chips);
    // The slot whose whole name equals `name`, or a new player with chips 0.0 and seat 255: a
    // line that may name a player first (a join, a sit-out, a chat line) registers the name, and
    // a new player whose name begins as a seated one's does is a player of their own.
    [[gnu::always_inline]] inline std::uint8_t player_id(std::string_view name);
    // Whether a player of the current hand has exactly this name (keyed as lookups key it).
    inline bool is_player(std::string_view name) const;
    // Action with an amount payload; the player is looked up only (32 when absent).
    [[gnu::always_inline]] inline Action make_action(std::string_view name, ActionType type,
                                                     float amount) const;
    // Pushes the card set, then builds the action with its index as payload (lookup only).
    Action make_card_action(std::string_view name, ActionType type, const CardSet& cards);

  private:
    // The current line becomes the end when it begins a hand; a literal end-marker line is the
    // end. Either pauses the splitter.
    void hold_if_hand_start() noexcept;
    // next_line for the lines that LineSplitter::next_quick does not take.
    void next_line_slow() noexcept;
    // The bytes trimmed from a line's end: space, tab, carriage return.
    static constexpr std::uint64_t kTrimmed =
        std::uint64_t{1} << ' ' | std::uint64_t{1} << '\t' | std::uint64_t{1} << '\r';
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
    UtcClock clock_;
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
    std::size_t resume_at_ = 0;  // where the paused splitter goes on
    // The first bytes that a hand start may have: the start's own, and those of white space and
    // of the byte-order mark; and '@' (the end marker's). One look-up per line tells the lines
    // that cannot begin a hand nor end the text.
    bool may_start_[256] = {};
};

[[gnu::always_inline]] inline void Parser::next_line() noexcept {
    // At the end the splitter is paused (the end of the text, a literal end-marker line or a
    // hand start held back): the end stays the end, on the slow path.
    const char* first;
    const char* last;
    if (!lines_.next_quick(first, last)) [[unlikely]] {
        next_line_slow();
        return;
    }
    ++line_number_;
    // Trailing spaces, tabs and carriage returns are not part of the line; most lines end in a
    // byte above the space, which settles it with one compare, and the others are told by one bit
    // test. The '\n' before the line stops the trimming of a line that is all trimmed bytes; and
    // an empty line's first byte is its '\n', which begins no hand in a text split at '\n'.
    while (static_cast<unsigned char>(last[-1]) <= ' ' &&
           ((kTrimmed >> static_cast<unsigned char>(last[-1])) & 1) != 0)
        --last;
    line_ = std::string_view(first, static_cast<std::size_t>(last - first));
    if (may_start_[static_cast<unsigned char>(*first)]) [[unlikely]]
        hold_if_hand_start();
}

[[gnu::always_inline]] inline std::string_view Parser::key_name(
    std::string_view name) const noexcept {
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

inline bool Parser::is_player(std::string_view name) const {
    if (key_name(name).empty()) return false;
    const Found found = lookup(name);
    return found.slot < PlayerTable::SLOTS && found.equal;
}

[[gnu::always_inline]] inline std::uint8_t Parser::player_id(std::string_view name) {
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

[[gnu::always_inline]] inline Action Parser::make_action(std::string_view name, ActionType type,
                                                         float amount) const {
    return Action::with_amount(type, find_player(name), amount);
}

}  // namespace hs
