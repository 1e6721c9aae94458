#include "batch/split.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "batch/pool.hpp"
#include "core/scan.hpp"
#include "core/store_pool.hpp"
#include "core/utf8.hpp"
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

// The lines of `text` as the line splitter counts them: '\n', or "\r\n" in a text whose first
// line ends so. Sixteen bytes at a time where SSE2 is at hand.
std::uint64_t count_lines(std::string_view text, bool pair) {
    const char* const p = text.data();
    const std::size_t n = text.size();
    std::uint64_t lines = 0;
    std::size_t i = pair ? 1 : 0;  // a pair ends at i: p[i - 1] == '\r', p[i] == '\n'
#ifdef HS_SIMD_SSE2
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; i + 16 <= n; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)));
        if (pair && ends != 0) {
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1));
            ends &= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(before, cr)));
        }
        lines += static_cast<std::uint64_t>(std::popcount(ends));
    }
#endif
    for (; i < n; ++i) lines += p[i] == '\n' && (!pair || p[i - 1] == '\r');
    return lines;
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

// Whether a line of `text` that begins in [from, to) begins with "@@@": the end marker ends a
// parse there, so that the pieces after it must not be read. Lines begin at `body` (the text
// after its byte order mark) and after each line end. A byte search for the rare '@'.
bool end_marker_in(std::string_view text, std::size_t body, std::size_t from, std::size_t to) {
    const char* const base = text.data();
    const char* p = base + from;
    const char* const end = base + to;
    while (p < end) {
        const void* at = std::memchr(p, '@', static_cast<std::size_t>(end - p));
        if (at == nullptr) return false;
        const char* a = static_cast<const char*>(at);
        const auto i = static_cast<std::size_t>(a - base);
        const bool line_start = i == body || (i > body && (a[-1] == '\n' || a[-1] == '\r'));
        if (line_start && text.size() - i >= 3 && a[1] == '@' && a[2] == '@') return true;
        p = a + 1;
    }
    return false;
}

// A large text is read in this many shares per thread, so that a thread slowed by others takes
// fewer of them; each share in blocks of kScanBlock bytes, each block read once (its pages
// mapped, checked, searched) while it is in the caches.
constexpr std::size_t kSharesPerThread = 4;
constexpr std::size_t kScanBlock = std::size_t{1} << 20;

// `at` moved forward to the start of a character (past continuation bytes).
std::size_t char_start(std::string_view s, std::size_t at) noexcept {
    while (at < s.size() && is_continuation(static_cast<unsigned char>(s[at]))) ++at;
    return at;
}

struct Scan {
    std::size_t invalid = std::string_view::npos;  // the first byte that is not valid UTF-8
    bool end_marker = false;                       // see end_marker_in
};

// Reads `text` on up to `threads` threads, in shares that begin where characters begin: each
// block's pages mapped first (`mapped`: a file mapping whose pages are not yet), checked as UTF-8
// (`validate`) and searched for the end marker (`body` as for end_marker_in). The first invalid
// byte is the one utf8_valid_prefix finds: a valid character never spans the start of a share or
// block, so that those before the first invalid one are read as one pass over the whole reads
// them.
Scan scan_on_pool(std::string_view text, std::size_t body, bool validate, bool mapped,
                  std::size_t threads) {
    const std::size_t count = threads * kSharesPerThread;
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 1; k < count; ++k) {
        const std::size_t at = char_start(text, text.size() / count * k);
        if (at > starts.back() && at < text.size()) starts.push_back(at);
    }
    starts.push_back(text.size());
    std::vector<Scan> found(starts.size() - 1);
    pool::run_each(
        found.size(),
        [&](std::size_t i) {
            Scan& out = found[i];
            const std::size_t to = starts[i + 1];
            for (std::size_t from = starts[i]; from < to;) {
                const std::size_t end =
                    to - from <= kScanBlock ? to : char_start(text, from + kScanBlock);
                const std::string_view block = text.substr(from, end - from);
                if (mapped) prefault_pages(block);
                if (validate) {
                    const std::size_t valid = utf8_valid_prefix(block);
                    if (valid != block.size()) {
                        out.invalid = from + valid;
                        return;
                    }
                }
                out.end_marker = out.end_marker || end_marker_in(text, body, from, end);
                from = end;
            }
        },
        threads);
    Scan all;
    for (const Scan& share : found) {
        if (share.invalid != std::string_view::npos) return Scan{share.invalid, false};
        all.end_marker = all.end_marker || share.end_marker;
    }
    return all;
}

// count_lines of `text` on up to `threads` threads, in shares that begin after a '\n', where
// no "\r\n" pair is cut.
std::uint64_t count_lines_on_pool(std::string_view text, bool pair, std::size_t threads) {
    const std::size_t count = threads * kSharesPerThread;
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 1; k < count; ++k) {
        const std::size_t lf = text.find('\n', std::max(text.size() / count * k, starts.back()));
        if (lf == std::string_view::npos || lf + 1 >= text.size()) break;
        starts.push_back(lf + 1);
    }
    starts.push_back(text.size());
    std::vector<std::uint64_t> lines(starts.size() - 1);
    pool::run_each(
        lines.size(),
        [&](std::size_t i) {
            lines[i] = count_lines(text.substr(starts[i], starts[i + 1] - starts[i]), pair);
        },
        threads);
    std::uint64_t all = 0;
    for (const std::uint64_t n : lines) all += n;
    return all;
}

std::size_t thread_count(std::size_t jobs) {
    return jobs != 0 ? jobs : std::max<std::size_t>(1, std::thread::hardware_concurrency());
}

struct Piece {
    ParseResult result;
    std::exception_ptr fault;
    std::string_view text;
};

}  // namespace

namespace {

// The lengths of a store's lists, where the next store's records go.
struct Bases {
    std::uint64_t text, players, flops, turns, rivers, showdowns, sevenths, actions, amounts, cards,
        winners, tournaments;
    static Bases of(const HandStore& s) {
        return {s.text.size(),    s.players.size(),   s.flops.size(),    s.turns.size(),
                s.rivers.size(),  s.showdowns.size(), s.sevenths.size(), s.actions.size(),
                s.amounts.size(), s.card_sets.size(), s.winners.size(),  s.tournaments.size()};
    }
    Bases operator+(const Bases& o) const {
        return {text + o.text,         players + o.players, flops + o.flops,
                turns + o.turns,       rivers + o.rivers,   showdowns + o.showdowns,
                sevenths + o.sevenths, actions + o.actions, amounts + o.amounts,
                cards + o.cards,       winners + o.winners, tournaments + o.tournaments};
    }
};

// Copies `from` to the end of `to` in one block, then moves the references of the copies in
// place.
template <class T, class F>
void append_moved(std::vector<T>& to, const std::vector<T>& from, F&& move) {
    const std::size_t at = to.size();
    to.insert(to.end(), from.begin(), from.end());
    for (std::size_t i = at; i < to.size(); ++i) move(to[i]);
}

// Every list of the store and every reference in its records is moved here: a store that
// gains one must be joined here too.
static_assert(sizeof(HandStore) == sizeof(std::string) + 12 * sizeof(std::vector<int>),
              "a list added to HandStore must be joined by append_list");
static_assert(sizeof(Hand) == 200, "a reference added to Hand must be moved by append_list");

// The lists that append_stores fills, each on its own: the lists are independent of each other,
// so that several stores are joined with one job per list.
constexpr std::size_t kListCount = 10;
// The jobs in the order they are handed out: the longest first (the actions, the hands, the
// players and the text hold most of the bytes), so that the threads end together.
constexpr std::size_t kListOrder[kListCount] = {7, 1, 2, 0, 3, 4, 5, 6, 8, 9};

void append_list(std::size_t list, HandStore& into, const HandStore& from, const Bases& b) {
    switch (list) {
        case 0:
            into.text.append(from.text);
            into.amounts.insert(into.amounts.end(), from.amounts.begin(), from.amounts.end());
            into.card_sets.insert(into.card_sets.end(), from.card_sets.begin(),
                                  from.card_sets.end());
            into.winners.insert(into.winners.end(), from.winners.begin(), from.winners.end());
            return;
        case 1:
            append_moved(into.hands, from.hands, [&b](Hand& h) {
                h.header.id = moved(h.header.id, b.text);
                h.header.table_name = moved(h.header.table_name, b.text);
                if (h.header.tournament != kNoTournament)
                    h.header.tournament =
                        static_cast<std::uint32_t>(h.header.tournament + b.tournaments);
                h.header.players = moved(h.header.players, b.players);
                h.header.actions = moved(h.header.actions, b.actions);
                h.preflop.actions = moved(h.preflop.actions, b.actions);
                h.flops = moved(h.flops, b.flops);
                h.turns = moved(h.turns, b.turns);
                h.rivers = moved(h.rivers, b.rivers);
                h.showdowns = moved(h.showdowns, b.showdowns);
                h.sevenths = moved(h.sevenths, b.sevenths);
                h.summary.winners = moved(h.summary.winners, b.winners);
                h.summary.actions = moved(h.summary.actions, b.actions);
                h.text_start += b.text;
            });
            return;
        case 2:
            append_moved(into.players, from.players,
                         [&b](Player& p) { p.name = moved(p.name, b.text); });
            return;
        case 3:
        case 4:
        case 5:
        case 6:
        case 8: {
            std::vector<Street>* const to[] = {&into.flops,     &into.turns, &into.rivers,
                                               &into.showdowns, nullptr,     &into.sevenths};
            const std::vector<Street>* const lists[] = {
                &from.flops, &from.turns, &from.rivers, &from.showdowns, nullptr, &from.sevenths};
            append_moved(*to[list - 3], *lists[list - 3],
                         [&b](Street& s) { s.actions = moved(s.actions, b.actions); });
            return;
        }
        case 7:
            append_moved(into.actions, from.actions, [&b](Action& a) {
                std::uint64_t base = 0;
                switch (payload_kind(a.type())) {
                    case PayloadKind::Cards: base = a.payload() == kNoCards ? 0 : b.cards; break;
                    case PayloadKind::CashOut:
                    case PayloadKind::Finish:
                    case PayloadKind::Bounty:
                    case PayloadKind::Purchase: base = b.amounts; break;
                    default: break;  // amounts, seats, messages (placed from the hand's start)
                }
                const std::uint64_t payload = a.payload() + base;
                if (payload > 0xFFFFFFFFu) fault_index(payload, 0xFFFFFFFFu);
                a = Action::make(a.type(), a.player_id(), static_cast<std::uint32_t>(payload));
            });
            return;
        case 9:
            append_moved(into.tournaments, from.tournaments, [&b](Tournament& t) {
                t.id = moved(t.id, b.text);
                t.level = moved(t.level, b.text);
                t.match_round = moved(t.match_round, b.text);
                t.name = moved(t.name, b.text);
                t.bounties = moved(t.bounties, b.amounts);
            });
            return;
        default: return;
    }
}

// Appends every store of `from` to `into`, in order, every reference moved by the lengths of
// the lists before it; one job per list on up to `threads`
// threads.
void append_stores(HandStore& into, const std::vector<const HandStore*>& from,
                   std::size_t threads) {
    std::vector<Bases> bases{Bases::of(into)};
    for (const HandStore* s : from) bases.push_back(bases.back() + Bases::of(*s));
    const Bases& total = bases.back();
    std::size_t hands = into.hands.size();
    for (const HandStore* s : from) hands += s->hands.size();
    pool::run_each(
        kListCount,
        [&](std::size_t job) {
            const std::size_t list = kListOrder[job];
            switch (list) {  // one allocation per list
                case 0:
                    into.text.reserve(total.text);
                    into.amounts.reserve(total.amounts);
                    into.card_sets.reserve(total.cards);
                    into.winners.reserve(total.winners);
                    break;
                case 1: into.hands.reserve(hands); break;
                case 2: into.players.reserve(total.players); break;
                case 3: into.flops.reserve(total.flops); break;
                case 4: into.turns.reserve(total.turns); break;
                case 5: into.rivers.reserve(total.rivers); break;
                case 6: into.showdowns.reserve(total.showdowns); break;
                case 7: into.actions.reserve(total.actions); break;
                case 8: into.sevenths.reserve(total.sevenths); break;
                default: into.tournaments.reserve(total.tournaments); break;
            }
            for (std::size_t i = 0; i < from.size(); ++i)
                append_list(list, into, *from[i], bases[i]);
        },
        threads);
}

}  // namespace

namespace {

// parse_text_on_pool on `threads` threads. `end_marker`: whether a line of the text begins with
// the end marker, when the text was searched already; null: searched here.
ParseResult parse_on_threads(std::string_view text, Errors errors, std::size_t threads,
                             std::size_t min_piece, const bool* end_marker) {
    const std::size_t most = min_piece == 0 ? threads : text.size() / min_piece;
    if (threads < 2 || most < 2) return parse_text(text, errors);
    auto site = detect_site(text);
    if (!std::holds_alternative<Site>(site) || !reads_hands_apart(std::get<Site>(site)))
        return parse_text(text, errors);
    const std::string_view body = without_byte_order_mark(text);
    // The first hand line up to its '#': every hand of a PokerStars-layout text begins so.
    const std::size_t lf = body.find('\n');
    const std::size_t hash = body.substr(0, std::min<std::size_t>(lf, 64)).find('#');
    if (lf == std::string_view::npos || hash == std::string_view::npos)
        return parse_text(text, errors);
    const auto body_start = static_cast<std::size_t>(body.data() - text.data());
    if (end_marker != nullptr ? *end_marker
                              : scan_on_pool(text, body_start, false, false, threads).end_marker)
        return parse_text(text, errors);
    const bool pair = lf > 0 && body[lf - 1] == '\r';
    const std::vector<std::size_t> starts =
        piece_starts(body, pair ? "\r\n" : "\n", body.substr(0, hash + 1), std::min(threads, most));
    if (starts.size() < 2) return parse_text(text, errors);

    std::vector<Piece> pieces(starts.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : body.size();
        pieces[i].text = body.substr(starts[i], end - starts[i]);
    }
    const Site s = std::get<Site>(site);
    pool::run_each(
        pieces.size(),
        [&](std::size_t i) {
            try {
                // The first piece's store is sized for the whole text: the others' hands are
                // joined to it without growing it.
                pieces[i].result =
                    parse_text_as(s, pieces[i].text, errors, i == 0 ? body.size() : 0);
            } catch (...) {
                pieces[i].fault = std::current_exception();
            }
        },
        threads);
    // The first fault or error in text order is the whole text's, as one parse meets it first.
    std::size_t last = 0;  // the last piece with rejections
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Piece& p = pieces[i];
        if (p.fault) std::rethrow_exception(p.fault);
        if (!p.result.ok()) return std::move(p.result);
        if (!p.result.rejected.empty()) last = i;
    }
    // A rejection's line is counted in the whole text: the lines of the pieces before the last
    // one with rejections are counted, each on every thread.
    std::vector<std::uint64_t> piece_lines(last, 0);
    for (std::size_t i = 0; i < last; ++i)
        piece_lines[i] = count_lines_on_pool(pieces[i].text, pair, threads);
    ParseResult out;
    std::uint64_t lines = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        Piece& p = pieces[i];
        for (Rejection& r : p.result.rejected) {
            r.line += lines;
            out.rejected.push_back(std::move(r));
        }
        if (i < last) lines += piece_lines[i];
    }
    out.store = std::move(pieces[0].result.store);
    std::vector<const HandStore*> rest;
    for (std::size_t i = 1; i < pieces.size(); ++i) rest.push_back(pieces[i].result.store.get());
    append_stores(*out.store, rest, threads);
    // The pieces' own stores are kept for the next parse.
    for (std::size_t i = 1; i < pieces.size(); ++i)
        store_pool::give(std::move(pieces[i].result.store));
    return out;
}

}  // namespace

ParseResult parse_text_on_pool(std::string_view text, Errors errors, std::size_t jobs,
                               std::size_t min_piece) {
    return parse_on_threads(text, errors, thread_count(jobs), min_piece, nullptr);
}

std::size_t utf8_valid_prefix_on_pool(std::string_view text, std::size_t jobs) {
    const std::size_t threads = thread_count(jobs);
    if (threads < 2 || text.size() < 2 * kSplitMinBytes) return utf8_valid_prefix(text);
    const Scan scan = scan_on_pool(text, 0, true, false, threads);
    return scan.invalid == std::string_view::npos ? text.size() : scan.invalid;
}

ParseResult parse_file_on_pool(const std::string& path, Errors errors, Encoding encoding,
                               std::size_t jobs) {
    const std::size_t threads = thread_count(jobs);
    InputText input;
    ParseResult failed;
    if (threads < 2 || encoding != Encoding::Utf8) {
        if (std::string error = read_input_file(path, encoding, input); !error.empty()) {
            failed.error = std::move(error);
            return failed;
        }
        return parse_text_on_pool(input.text, errors, jobs);
    }
    // A UTF-8 file is read as it is: a large one mapped, its pages mapped, checked and searched
    // for the end marker on every thread, where one thread would do it before the parse.
    if (std::string error = read_input_bytes(path, input, false); !error.empty()) {
        failed.error = std::move(error);
        return failed;
    }
    const std::string_view text = input.text;
    const bool mapped = input.mapped.data != nullptr;
    if (text.size() < 2 * kSplitMinBytes) {
        if (mapped) prefault_pages(text);
        if (const std::size_t valid = utf8_valid_prefix(text); valid != text.size()) {
            failed.error = invalid_utf8_message(path, valid);
            return failed;
        }
        return parse_on_threads(text, errors, threads, kSplitMinBytes, nullptr);
    }
    const auto body_start =
        static_cast<std::size_t>(without_byte_order_mark(text).data() - text.data());
    const Scan scan = scan_on_pool(text, body_start, true, mapped, threads);
    if (scan.invalid != std::string_view::npos) {
        failed.error = invalid_utf8_message(path, scan.invalid);
        return failed;
    }
    return parse_on_threads(text, errors, threads, kSplitMinBytes, &scan.end_marker);
}

}  // namespace hs
