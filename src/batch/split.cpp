#include "batch/split.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "batch/pool.hpp"
#include "input/detect.hpp"
#include "input/file.hpp"

namespace hs {
namespace {

// Sites whose reader takes each hand on its own, from its first line to the blank lines after
// it, with nothing carried from one hand to the next.
bool reads_hands_apart(Site s) noexcept {
    return s == Site::PokerStars || s == Site::PokerStarsPluribus || s == Site::GGPoker;
}

Span moved(Span s, std::uint64_t base) {
    return s.count() == 0 ? s : Span::make(s.start() + base, s.count());
}
TextRef moved(TextRef t, std::uint64_t base) {
    return t.length() == 0 ? t : TextRef::make(t.offset() + base, t.length());
}

// The lines before `end` as the line splitter counts them: '\n', or "\r\n" in a text whose
// first line ends so.
std::uint64_t lines_before(std::string_view text, std::size_t end, bool pair) {
    std::uint64_t n = 0;
    const char* p = text.data();
    if (!pair) return static_cast<std::uint64_t>(std::count(p, p + end, '\n'));
    for (std::size_t i = 1; i < end; ++i) n += (p[i] == '\n') & (p[i - 1] == '\r');
    return n;
}

// The starts of the pieces of `body` (the first is 0): where "<blank line><prefix>" is found
// after each even share of the text.
std::vector<std::size_t> piece_starts(std::string_view body, std::string_view sep,
                                      std::string_view prefix, std::size_t pieces) {
    std::string needle;
    needle.append(sep).append(sep).append(prefix);
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 1; k < pieces; ++k) {
        const std::size_t from = std::max(body.size() / pieces * k, starts.back() + 1);
        if (from >= body.size()) break;
        const void* hit =
            memmem(body.data() + from, body.size() - from, needle.data(), needle.size());
        if (hit == nullptr) break;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - body.data());
        starts.push_back(at + 2 * sep.size());
    }
    return starts;
}

struct Piece {
    ParseResult result;
    std::exception_ptr fault;
    std::uint64_t lines = 0;  // lines of the text before the piece
};

}  // namespace

void append_store(HandStore& into, const HandStore& from) {
    const std::uint64_t text = into.text.size(), players = into.players.size(),
                        flops = into.flops.size(), turns = into.turns.size(),
                        rivers = into.rivers.size(), showdowns = into.showdowns.size(),
                        actions = into.actions.size(), amounts = into.amounts.size(),
                        cards = into.card_sets.size(), winners = into.winners.size(),
                        tournaments = into.tournaments.size();
    into.text.append(from.text);
    into.amounts.insert(into.amounts.end(), from.amounts.begin(), from.amounts.end());
    into.card_sets.insert(into.card_sets.end(), from.card_sets.begin(), from.card_sets.end());
    into.winners.insert(into.winners.end(), from.winners.begin(), from.winners.end());
    into.hands.reserve(into.hands.size() + from.hands.size());
    for (Hand h : from.hands) {
        h.header.id = moved(h.header.id, text);
        h.header.table_name = moved(h.header.table_name, text);
        if (h.header.tournament != kNoTournament)
            h.header.tournament = static_cast<std::uint32_t>(h.header.tournament + tournaments);
        h.header.players = moved(h.header.players, players);
        h.header.actions = moved(h.header.actions, actions);
        h.preflop.actions = moved(h.preflop.actions, actions);
        h.flops = moved(h.flops, flops);
        h.turns = moved(h.turns, turns);
        h.rivers = moved(h.rivers, rivers);
        h.showdowns = moved(h.showdowns, showdowns);
        h.summary.winners = moved(h.summary.winners, winners);
        h.summary.actions = moved(h.summary.actions, actions);
        h.text_start += text;
        into.hands.push_back(h);
    }
    into.players.reserve(into.players.size() + from.players.size());
    for (Player p : from.players) {
        p.name = moved(p.name, text);
        into.players.push_back(p);
    }
    const auto streets = [actions](std::vector<Street>& to, const std::vector<Street>& list) {
        to.reserve(to.size() + list.size());
        for (Street s : list) {
            s.actions = moved(s.actions, actions);
            to.push_back(s);
        }
    };
    streets(into.flops, from.flops);
    streets(into.turns, from.turns);
    streets(into.rivers, from.rivers);
    streets(into.showdowns, from.showdowns);
    into.actions.reserve(into.actions.size() + from.actions.size());
    for (const Action& a : from.actions) {
        std::uint64_t base = 0;
        switch (payload_kind(a.type())) {
            case PayloadKind::Cards: base = a.payload() == kNoCards ? 0 : cards; break;
            case PayloadKind::CashOut:
            case PayloadKind::Finish:
            case PayloadKind::Bounty:
            case PayloadKind::Purchase: base = amounts; break;
            default: break;  // amounts, seats, and messages (placed from the hand's text start)
        }
        const std::uint64_t payload = a.payload() + base;
        if (payload > 0xFFFFFFFFu) fault_index(payload, 0xFFFFFFFFu);
        into.actions.push_back(
            Action::make(a.type(), a.player_id(), static_cast<std::uint32_t>(payload)));
    }
    into.tournaments.reserve(into.tournaments.size() + from.tournaments.size());
    for (Tournament t : from.tournaments) {
        t.id = moved(t.id, text);
        t.name = moved(t.name, text);
        t.level = moved(t.level, text);
        t.match_round = moved(t.match_round, text);
        t.bounties = moved(t.bounties, amounts);
        into.tournaments.push_back(t);
    }
}

ParseResult parse_text_on_pool(std::string_view text, Errors errors, std::size_t jobs,
                               std::size_t min_piece) {
    const std::size_t threads =
        jobs != 0 ? jobs : std::max<std::size_t>(1, std::thread::hardware_concurrency());
    const std::size_t most = min_piece == 0 ? threads : text.size() / min_piece;
    if (threads < 2 || most < 2) return parse_text(text, errors);
    auto site = detect_site(text);
    if (!std::holds_alternative<Site>(site) || !reads_hands_apart(std::get<Site>(site)))
        return parse_text(text, errors);
    const std::string_view body = without_byte_order_mark(text);
    // The first hand line up to its '#': every hand of a PokerStars-layout text begins so.
    const std::size_t lf = body.find('\n');
    const std::size_t hash = body.substr(0, std::min<std::size_t>(lf, 64)).find('#');
    if (lf == std::string_view::npos || hash == std::string_view::npos ||
        memmem(body.data(), body.size(), "@@@", 3) != nullptr)  // an end marker stops a parse
        return parse_text(text, errors);
    const bool pair = lf > 0 && body[lf - 1] == '\r';
    const std::vector<std::size_t> starts =
        piece_starts(body, pair ? "\r\n" : "\n", body.substr(0, hash + 1), std::min(threads, most));
    if (starts.size() < 2) return parse_text(text, errors);

    std::vector<Piece> pieces(starts.size());
    const Site s = std::get<Site>(site);
    pool::run_each(
        pieces.size(),
        [&](std::size_t i) {
            const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : body.size();
            try {
                pieces[i].result =
                    parse_text_as(s, body.substr(starts[i], end - starts[i]), errors);
            } catch (...) {
                pieces[i].fault = std::current_exception();
            }
            pieces[i].lines =
                lines_before(body.substr(starts[i], end - starts[i]), end - starts[i], pair);
        },
        threads);
    // The first fault or error in text order is the whole text's, as one parse meets it first.
    ParseResult out;
    std::uint64_t lines = 0;
    for (Piece& p : pieces) {
        if (p.fault) std::rethrow_exception(p.fault);
        if (!p.result.ok()) return std::move(p.result);
        for (Rejection& r : p.result.rejected) {
            r.line += lines;
            out.rejected.push_back(std::move(r));
        }
        lines += p.lines;
        if (out.store == nullptr) {
            out.store = std::move(p.result.store);
        } else {
            append_store(*out.store, *p.result.store);
            p.result.store.reset();
        }
    }
    return out;
}

ParseResult parse_file_on_pool(const std::string& path, Errors errors, Encoding encoding,
                               std::size_t jobs) {
    InputText input;
    if (std::string error = read_input_file(path, encoding, input); !error.empty()) {
        ParseResult result;
        result.error = std::move(error);
        return result;
    }
    return parse_text_on_pool(input.text, errors, jobs);
}

}  // namespace hs
