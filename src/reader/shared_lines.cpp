// The readers of the parts that several sites' layouts share (see sections.hpp).
#include "reader/shared_lines.hpp"

#include <string>

#include "core/fault.hpp"
#include "core/scan.hpp"
#include "core/utf8.hpp"
#include "reader/parser.hpp"
#include "reader/phrases.hpp"

namespace hs {
namespace {

using std::size_t;
using std::string_view;

inline bool is_digit(unsigned char c) noexcept { return c >= '0' && c <= '9'; }

// A game's words as the sites write them. Where one name begins another ("Omaha " and "Omaha
// Hi/Lo "), the longer comes first. A name with a limit of its own gives it; the others are
// followed by the limit's words.
struct GameName {
    string_view words;
    GameType game;
    std::optional<BetType> limit;
};
constexpr GameName kGameNames[] = {
    {"Hold'em ", GameType::HoldEm, {}},
    {"Holdem ", GameType::HoldEm, {}},
    {"Omaha Hi/Lo ", GameType::OmahaHiLo, {}},
    {"Omaha (NL postflop)", GameType::Omaha, BetType::NoLimit},
    {"Omaha ", GameType::Omaha, {}},
    {"Omaha8 ", GameType::OmahaHiLo, {}},
    {"Omaha5 ", GameType::FiveCardOmaha, {}},
    {"5 Card Omaha Hi/Lo ", GameType::FiveCardOmahaHiLo, {}},
    {"5 Card Omaha ", GameType::FiveCardOmaha, {}},
    {"6 Card Omaha Hi/Lo ", GameType::SixCardOmahaHiLo, {}},
    {"6 Card Omaha ", GameType::SixCardOmaha, {}},
    {"Courchevel Hi/Lo ", GameType::CourchevelHiLo, {}},
    {"Courchevel ", GameType::Courchevel, {}},
    {"ShortDeck ", GameType::ShortDeckHoldEm, {}},
    {"PLO-5 ", GameType::FiveCardOmaha, BetType::PotLimit},
    {"PLO-6 ", GameType::SixCardOmaha, BetType::PotLimit},
    {"PLO ", GameType::Omaha, BetType::PotLimit},
};

}  // namespace

std::optional<GameRead> read_game(string_view line, size_t at) {
    const string_view from = rest(line, at);
    for (const GameName& name : kGameNames) {
        if (!starts(from, name.words)) continue;
        const size_t end = at + name.words.size();
        if (name.limit) return GameRead{name.game, *name.limit, end};
        // The limit is told by its first letter.
        switch (byte_at(line, end)) {
            case 'N':
            case 'n': return GameRead{name.game, BetType::NoLimit, end};
            case 'P':
            case 'p': return GameRead{name.game, BetType::PotLimit, end};
            case 'L':
            case 'F':
            case 'f': return GameRead{name.game, BetType::Limit, end};
            default: fault_unreachable();
        }
    }
    return std::nullopt;
}

void fault_game(string_view line, size_t at) {
    const string_view ch = char_at(line, at);
    std::string msg = "Unexpected character '";
    msg.append(ch);
    msg += "' while parsing game type in '";
    msg.append(line.substr(static_cast<size_t>(ch.data() - line.data())));
    msg += '\'';
    fault_unreachable(msg);
}

std::optional<PackedDate> fixed_date(string_view d) noexcept {
    static constexpr char kShape[] = "dddd/dd/dd dd:dd:dd";
    // After the seconds: the end, or an ASCII byte that is no digit (a character outside ASCII
    // could be a numeric one that the general reading takes into the seconds).
    if (d.size() < 19) return std::nullopt;
    if (d.size() > 19) {
        const auto after = static_cast<unsigned char>(d[19]);
        if (after >= 0x80 || is_digit(after)) return std::nullopt;
    }
    for (size_t i = 0; i < 19; ++i) {
        const auto c = static_cast<unsigned char>(d[i]);
        if (kShape[i] == 'd' ? !is_digit(c) : c != static_cast<unsigned char>(kShape[i]))
            return std::nullopt;
    }
    const auto num = [&](size_t at, size_t len) {
        std::uint64_t v = 0;
        for (size_t i = at; i < at + len; ++i) v = v * 10 + static_cast<unsigned>(d[i] - '0');
        return v;
    };
    return pack_date(num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2));
}

std::optional<PackedDate> loose_date(string_view d) noexcept {
    std::uint64_t parts[6] = {};
    size_t at = 0;
    for (size_t i = 0; i < 6; ++i) {
        size_t end = at;
        std::uint64_t v = 0;
        while (end < d.size() && is_digit(static_cast<unsigned char>(d[end])) && end - at < 9)
            v = v * 10 + static_cast<unsigned>(d[end++] - '0');
        if (end == at) return std::nullopt;
        parts[i] = v;
        if (i < 5) {
            if (end >= d.size() || static_cast<unsigned char>(d[end]) >= 0x80) return std::nullopt;
            at = end + 1;
        } else if (end < d.size() && is_digit(static_cast<unsigned char>(d[end]))) {
            return std::nullopt;
        }
    }
    return pack_date(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
}

std::optional<StreetLine> parse_street_line(Parser& p) {
    const string_view line = p.line();
    if (line.size() < 8) fault_missing("street name", line);
    const size_t k = find_lit(line, " *", 8);
    if (k == npos) fault_missing("street name", line);
    // A board's number: " FLOP 2 ***".
    const size_t name_end =
        is_digit(byte_at(line, k - 1)) && byte_at(line, k - 2) == ' ' ? k - 2 : k;
    const char a = static_cast<char>(byte_at(line, name_end - 2));
    const char b = static_cast<char>(byte_at(line, name_end - 1));
    StreetLine s{StreetKind::Showdown, CardSet::empty()};
    if (a == 'O' && b == 'P')
        s.kind = StreetKind::Flop;
    else if (a == 'R' && b == 'N')
        s.kind = StreetKind::Turn;
    else if (a == 'E' && b == 'R')
        s.kind = StreetKind::River;
    else if (a == 'W' && b == 'N')
        s.kind = StreetKind::Showdown;
    else
        fault_unreachable();
    if (s.kind != StreetKind::Showdown) {
        const size_t open = rfind_byte(line, '[');
        if (open == npos) fault_missing("board cards", line);
        if (line.back() != ']') return std::nullopt;
        const CardSet last = parse_cards(slice(line, open + 1, line.size() - 1));
        const size_t first = find_byte(line, '[', k);
        if (s.kind == StreetKind::Flop && first < open) {
            const size_t close = find_byte(line, ']', first);
            if (close > open) fault_missing("']'", line);
            s.cards = parse_cards(slice(line, first + 1, close));
            for (std::uint8_t i = 0; i < last.count; ++i) s.cards.push(last.cards[i]);
        } else {
            s.cards = last;
        }
    }
    p.next_line();
    return s;
}

std::optional<Action> dealt_line(HandBuilder& b, string_view line) {
    static constexpr string_view kDealtTo = "Dealt to ";
    Parser& p = b.parser();
    const size_t open = rfind_byte(line, '[');
    if (open == npos || open <= kDealtTo.size()) {
        // No cards shown: the player was dealt in, nothing more.
        const std::uint8_t id = p.find_player(cut_name(line, kDealtTo.size(), line.size()));
        return Action::make(ActionType::Dealt, id, kNoCards);
    }
    if (line.back() != ']') return std::nullopt;
    const CardSet cards = parse_cards(slice(line, open + 1, line.size() - 1));
    const Action a =
        p.make_card_action(name_before(line, open, " ", kDealtTo.size()), ActionType::Dealt, cards);
    b.dealt_cards_to(a.player_id());
    return a;
}

string_view strip_position_notes(string_view name) noexcept {
    static constexpr string_view kNotes[] = {" (button)", " (small blind)", " (big blind)"};
    for (;;) {
        if (name.empty() || name.back() != ')') return name;
        const string_view* note = std::begin(kNotes);
        while (note != std::end(kNotes) && !ends(name, *note)) ++note;
        if (note == std::end(kNotes)) return name;
        name.remove_suffix(note->size());
    }
}

}  // namespace hs
