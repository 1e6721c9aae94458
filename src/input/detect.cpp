// Site detection from a text's first lines.
#include "input/detect.hpp"

#include <algorithm>

#include "core/chars.hpp"
#include "core/fault.hpp"
#include "core/utf8.hpp"

namespace hs {
namespace {

// What a text without a first line quotes: the end of the text, as the line readers name it.
constexpr std::string_view kEndOfText = "@@@";

// The first two lines of a text, read as the line reader does: split at '\n' with one '\r'
// dropped from a line's end, or, for a text that holds no '\n' at all, split at '\r'. A text
// that ends in its separator has no empty last line.
struct FirstLines {
    std::string_view first;
    std::string_view second;
    bool has_first = false;
    bool has_second = false;
};

FirstLines first_lines(std::string_view rest, bool split_at_cr) noexcept {
    FirstLines out;
    if (rest.empty()) return out;
    const char sep = split_at_cr ? '\r' : '\n';
    auto line_at = [&](std::size_t from, std::string_view& line) -> std::size_t {
        const std::size_t cut = rest.find(sep, from);
        const std::size_t end = cut == std::string_view::npos ? rest.size() : cut;
        line = rest.substr(from, end - from);
        if (!split_at_cr && line.ends_with('\r')) line.remove_suffix(1);
        return cut == std::string_view::npos ? rest.size() : cut + 1;
    };
    const std::size_t after_first = line_at(0, out.first);
    out.has_first = true;
    if (after_first < rest.size()) {
        line_at(after_first, out.second);
        out.has_second = true;
    }
    return out;
}

// Whether a line of the text (its first or a later one) begins with `mark`, among the lines that
// start in its first `limit` bytes.
bool line_begins_with(std::string_view text, std::string_view mark, std::size_t limit) noexcept {
    if (text.starts_with(mark)) return true;
    const std::string_view head = text.substr(0, std::min(limit, text.size()));
    for (std::size_t at = head.find(mark); at != std::string_view::npos;
         at = head.find(mark, at + 1))
        if (at > 0 && (text[at - 1] == '\n' || text[at - 1] == '\r')) return true;
    return false;
}

struct Prefix {
    std::string_view text;
    Site site;
};

// Rules 2 to 14: plain prefixes, tested in this order.
constexpr Prefix kPrefixes[] = {
    {"***** History", Site::OnGame},
    {"BetOnline ", Site::BetOnline},
    {"ActionPoker.com Game #", Site::BetOnline},  // the network's skins
    {"Gear Poker Game #", Site::BetOnline},
    {"PayNoRake Game #", Site::PayNoRake},
    {"Bodog ", Site::Bovada},
    {"Full Tilt ", Site::FullTiltPoker},
    {"FullTiltPoker ", Site::FullTiltPoker},
    {"Everleaf ", Site::EverLeaf},
    {"Partouche Poker ", Site::EverLeaf},  // the French client of its network
    {"- - Grand Poker - Game #", Site::GrandPoker},
    {"Winamax ", Site::Winamax},
    {"Stage ", Site::Absolute},
    {"#Game No ", Site::PacificPoker},
    {"Poker Hand #", Site::GGPoker},
    {"MERGE_GAME ", Site::PokerTracker},
    // PokerTracker's other layouts: Merge's second version, iPoker's, Microgaming's and Everest's.
    {"Merge Game #", Site::PokerTracker},
    {"GAME #", Site::PokerTracker},
    {"** Game ID ", Site::PokerTracker},
    {"** Hand # ", Site::PokerTracker},
    {"EverestPoker ", Site::PokerTracker},
    {"Hand#", Site::Cake},
    {"Table #", Site::Pkr},
    {"Game started ", Site::Winning},
    // Rooms and apps that write PokerStars' layout under a hand line of their own.
    {"Run It Once Poker ", Site::RunItOnce},
    {"PokerMaster ", Site::PokerMaster},
    {"PokerBros ", Site::PokerBros},
};

}  // namespace

std::string_view without_byte_order_mark(std::string_view text) noexcept {
    if (text.starts_with(kByteOrderMark)) return text.substr(kByteOrderMark.size());
    return text;
}

std::variant<Site, std::string> detect_site(std::string_view text) {
    const std::string_view whole = without_byte_order_mark(text);
    std::string_view rest = skip_white_space(whole);
    // A file that begins with its mark and the same mark misread ("\xEF\xBB\xBFï»¿Hand#..."); a
    // text without the mark that begins "ï»¿" (read in another code page) is no site's.
    if (text.starts_with(kByteOrderMark))
        while (rest.starts_with(kMisreadByteOrderMark))
            rest = skip_white_space(rest.substr(kMisreadByteOrderMark.size()));
    // A notice a room writes before its first hand ("Tournament will start in a moment.").
    static constexpr std::string_view kNotices[] = {"Tournament will start in a moment."};
    for (const std::string_view notice : kNotices)
        if (rest.starts_with(notice)) rest = skip_white_space(rest.substr(notice.size()));

    // XML histories, told by their root element after the declaration: iPoker's <session>, Merge's
    // <description> of the games that follow it.
    if (rest.starts_with("<")) {
        std::string_view root = rest;
        if (root.starts_with("<?xml")) {
            const std::size_t end = root.find("?>");
            root = end == std::string_view::npos ? std::string_view{}
                                                 : skip_white_space(root.substr(end + 2));
        }
        const auto element = [&](std::string_view name) {
            return root.size() > name.size() && root.starts_with(name) &&
                   (root[name.size()] == '>' || root[name.size()] == '/' ||
                    white_space_len(root.substr(name.size())) > 0);
        };
        if (element("<session")) return Site::IPoker;
        if (element("<description")) return Site::Merge;
    }

    if (rest.starts_with("PokerStars ")) {
        const bool split_at_cr = whole.find('\n') == std::string_view::npos;
        const FirstLines lines = first_lines(rest, split_at_cr);
        if (!lines.has_second) fault_input(missing_message("second line", lines.first));
        return lines.second.starts_with("Table 'Pluribus") ? Site::PokerStarsPluribus
                                                           : Site::PokerStars;
    }
    // PartyPoker writes its hand line "***** Hand History for Game ..." (or "... For Game") first,
    // or after a "#Game No : ..." line as 888poker does; 888poker names its brand in that line.
    static constexpr std::string_view kPartyHistory = "***** Hand History ";
    if (rest.starts_with(kPartyHistory)) return Site::PartyPoker;
    if (rest.starts_with("#Game No ")) {
        const bool split_at_cr = whole.find('\n') == std::string_view::npos;
        const FirstLines lines = first_lines(rest, split_at_cr);
        if (lines.has_second && lines.second.starts_with(kPartyHistory)) return Site::PartyPoker;
    }
    for (const Prefix& p : kPrefixes)
        if (rest.starts_with(p.text)) return p.site;
    // PokerNow's log export: a table of comma-separated values under the header "entry,at,order".
    if (rest.starts_with("entry,at,order")) {
        const std::string_view after = rest.substr(14);
        if (after.empty() || after.front() == '\n' || after.starts_with("\r\n"))
            return Site::PokerNow;
    }
    // Full Tilt Poker archives open with a line of their own ("BEGIN", "******************** # 1
    // ****...") before the first hand's line.
    if (rest.starts_with("BEGIN") || rest.starts_with("******************** # ")) {
        const std::size_t cut = rest.find('\n');
        const std::string_view next =
            skip_white_space(cut == std::string_view::npos ? std::string_view() : rest.substr(cut));
        if (next.starts_with("FullTiltPoker Game #") || next.starts_with("Full Tilt Poker Game #"))
            return Site::FullTiltPoker;
    }
    if (rest.size() > 1 && rest[0] == '#' && numeric_len(tail(rest, 1)) > 0) return Site::KingsClub;

    // Bovada's other brands ("Bodog " is a prefix above; "Bodog.com", "Bodog.eu").
    for (const std::string_view brand :
         {std::string_view("Bovada Hand #"), std::string_view("Ignition Hand #"),
          std::string_view("Bodog.")})
        if (rest.starts_with(brand)) return Site::Bovada;

    // Winning Poker Network's current layout: "Hand #<number> - " ("Game Hand #" for tournaments).
    for (const std::string_view hand :
         {std::string_view("Hand #"), std::string_view("Game Hand #")}) {
        if (!rest.starts_with(hand)) continue;
        const std::size_t digits = numeric_len(tail(rest, hand.size()));
        if (digits > 0 && tail(rest, hand.size() + digits).starts_with(" - ")) return Site::Winning;
    }

    const bool split_at_cr = whole.find('\n') == std::string_view::npos;
    const FirstLines lines = first_lines(rest, split_at_cr);
    if (rest.starts_with("Game #"))
        return lines.first.ends_with("starts.") ? Site::PartyPoker : Site::Enet;

    // Pkr writes its hand line "Starting Hand #..." after the table line: a history cut before it
    // (one that begins inside a hand, or at the hand line) is Pkr's when a line begins so.
    if (line_begins_with(rest, "Starting Hand #", rest.size())) return Site::Pkr;
    // A Cake history cut from a longer one begins with table notices ("Player left the table") or
    // the end of a hand: Cake's when a line of its first 16 KiB (a few hands) begins a hand.
    if (line_begins_with(rest, "Hand#", 16 * 1024)) return Site::Cake;

    std::string message = "Invalid poker website - ";
    append_quoted(message, lines.has_first ? lines.first : kEndOfText);
    return message;
}

}  // namespace hs
