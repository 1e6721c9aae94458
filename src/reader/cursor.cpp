// The parser cursor: lines, the end marker, hand starts, player registration and actions.
#include "reader/cursor.hpp"

#include <bit>
#include <cstring>

#include "core/chars.hpp"
#include "core/utf8.hpp"

namespace hs {

// ---------------------------------------------------------------------------------------------
// The cursor
// ---------------------------------------------------------------------------------------------

Parser::Parser(std::string_view text, HandStore& store)
    : lines_(text), line_(), text_(text), store_(&store) {
    players_.clear();
    may_start_[static_cast<unsigned char>(kEndMarker.front())] = true;
    next_line();
}

void Parser::next_line_slow() noexcept {
    if (at_end()) return;
    ++line_number_;
    const auto e = lines_.next();
    if (!e) {
        line_ = kEndMarker;
        return;
    }
    const char* const first = text_.data() + e->start;
    const char* last = text_.data() + e->end;
    while (last != first && static_cast<unsigned char>(last[-1]) <= ' ' &&
           ((kTrimmed >> static_cast<unsigned char>(last[-1])) & 1) != 0)
        --last;
    line_ = std::string_view(first, static_cast<std::size_t>(last - first));
    if (last != first && may_start_[static_cast<unsigned char>(*first)]) [[unlikely]]
        hold_if_hand_start();
}

void Parser::skip_empty_lines() noexcept {
    while (line_.empty()) next_line();
}

namespace {
std::uint64_t load8(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
}  // namespace

void Parser::set_hand_start(std::string_view start) {
    if (start.empty() || start.size() > 16) fault_index(start.size(), 16);
    hand_start_ = start;
    if (start.size() >= 8) {
        start_head_ = load8(start.data());
        start_tail_ = load8(start.data() + start.size() - 8);
    }
    // ASCII white space, U+0085 and U+00A0 (0xC2), U+1680 (0xE1), U+2000-U+205F (0xE2),
    // U+3000 (0xE3), the byte-order mark (0xEF) and the mark misread (0xC3).
    for (unsigned char b : {'\t', '\n', '\v', '\f', '\r', ' '}) may_start_[b] = true;
    for (unsigned char b : {0xC2, 0xC3, 0xE1, 0xE2, 0xE3, 0xEF}) may_start_[b] = true;
    may_start_[static_cast<unsigned char>(start.front())] = true;
    // A text split at '\n' has no line that begins with one (next_line reads an empty line's
    // first byte, its '\n').
    if (lines_.kind() == LineSplitter::Kind::Byte) may_start_[static_cast<unsigned char>('\n')] = false;
}

bool Parser::begins_hand(std::string_view line) const noexcept {
    const std::size_t n = hand_start_.size();
    if (n == 0) return false;
    // Two overlapping 8-byte compares cover the whole start.
    const auto at_start = [&](std::string_view s) {
        if (n < 8) return s.starts_with(hand_start_);
        return s.size() >= n && load8(s.data()) == start_head_ &&
               load8(s.data() + n - 8) == start_tail_;
    };
    if (at_start(line)) return true;
    if (line.empty() || line.front() == hand_start_.front()) return false;  // not white space
    std::size_t at = 0;
    for (;;) {
        const std::string_view rest = line.substr(at);
        std::size_t skip = white_space_len(rest);
        if (skip == 0 && rest.starts_with(kByteOrderMark)) skip = kByteOrderMark.size();
        if (skip == 0 && rest.starts_with(kMisreadByteOrderMark))
            skip = kMisreadByteOrderMark.size();
        if (skip == 0) return at != 0 && at_start(rest);
        at += skip;
    }
}

void Parser::hold_if_hand_start() noexcept {
    if (line_ != kEndMarker) {
        if (!begins_hand(line_)) return;
        held_ = line_;
        line_ = kEndMarker;
    }
    resume_at_ = lines_.pause();
}

bool Parser::take_held_start() noexcept {
    if (held_.empty()) return false;
    line_ = held_;
    held_ = {};
    lines_.resume(resume_at_);
    return true;
}

void Parser::begin_hand() noexcept {
    players_.clear();
    first_player_ = store_->players.size();
    text_start_ = store_->text.size();
}

Player& Parser::player(std::uint8_t id) {
    return at(store_->players, static_cast<std::size_t>(first_player_ + id));
}

Parser::Found Parser::lookup_among(std::uint32_t mask, const NameWords& words,
                                   std::string_view key) const {
    for (std::uint32_t m = mask; m != 0; m &= m - 1) {
        const auto slot = static_cast<std::uint8_t>(std::countr_zero(m));
        if (players_.words[slot & (PlayerTable::SLOTS - 1)] == words &&
            (words.size <= NameWords::kWholeName || keyed_name_is(slot, key)))
            return Found{slot, true};
    }
    return Found{static_cast<std::uint8_t>(std::countr_zero(mask)), false};
}

bool Parser::keyed_name_is(std::uint8_t slot, std::string_view key) const {
    const TextRef name = at(store_->players, static_cast<std::size_t>(first_player_ + slot)).name;
    return key_name(slice(store_->text, name.offset(), name.offset() + name.length())) == key;
}

Action Parser::make_card_action(std::string_view name, ActionType type, const CardSet& cards) {
    const std::uint32_t index = store_->push_card_set(cards);
    return Action::make(type, find_player(name), index);
}

}  // namespace hs
