// The hand pipeline that every site reader runs in: the hand builder, which turns what a reader
// pushes into one `Hand` of the store (or takes it all back), and the driver loop, which decides
// each hand's outcome and where reading resumes after a rejected one.
//
// A site reader is a function `HandOutcome (HandBuilder&)` that reads one hand from the parser's
// current line: it fills the header, pushes actions and closes the sections they belong to, and
// ends with `return b.finish();`, or returns `reject("...")` naming the line kind that stopped it
// (the driver quotes the line it stopped at).
// Both run once per hand on the hot path: everything here is inline, but for taking back a
// rejected hand and the steps of tournament hands.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fault.hpp"
#include "core/model.hpp"
#include "reader/cursor.hpp"
#include "reader/phrases.hpp"

namespace hs {

// What came of one hand, as a site reader returns it.
struct HandOutcome {
    enum class Kind : std::uint8_t {
        Stored,    // the hand is in the store
        Rejected,  // the hand is to be taken back
    };
    Kind kind = Kind::Stored;
    std::string_view reason;  // Rejected: a static text naming the line kind that rejected it
};

inline HandOutcome reject(std::string_view reason) {
    return HandOutcome{HandOutcome::Kind::Rejected, reason};
}

// A hand start of the text that gave no hand, as the driver reports it.
struct Rejection {
    std::uint64_t line = 0;  // the 1-based line number of the hand's first line
    std::string hand_id;     // the hand's id when it was read, else empty
    std::string reason;      // the line kind that rejected it, or the message of its fault
};

// The reason of a hand that the text ends inside of, whatever line kind the reader expected.
inline constexpr std::string_view kTextEndsInsideHand = "text ends inside the hand";
// The same for a hand that the next hand's first line cuts off.
inline constexpr std::string_view kCutByNextHand = "next hand begins inside the hand";
// The reason of the text before a text's first hand start when it is not blank: a history cut
// from a longer one begins inside a hand, whose lines are reported, never read as a hand.
inline constexpr std::string_view kTextBeginsInsideHand = "text begins inside a hand";
// The reason of a hand whose street line ends before the board's ']'.
inline constexpr std::string_view kBoardCutOff = "street line cut off inside the board";
// The reasons of a line that no line kind of a betting round, or of a summary, takes.
inline constexpr std::string_view kUnrecognisedAction = "unrecognised action line";
inline constexpr std::string_view kUnrecognisedSummary = "unrecognised summary line";
inline constexpr std::string_view kUnrecognisedPreDeal = "unrecognised line before the deal";
// The input error of a hand line that names no hand id: a hand line that cannot be read ends the
// call in strict mode, and rejects its hand in skip mode, on every site.
inline constexpr std::string_view kHandLineWithoutId = "hand line without a hand id";
// The reason of a dealt line that ends before its cards' ']'.
inline constexpr std::string_view kDealtCutOff = "dealt line cut off inside the cards";

// Stud's seventh street is a street of its own (see Hand).
enum class StreetKind : std::uint8_t { Flop, Turn, River, Showdown, Seventh };
// The round that a street of that kind holds.
constexpr Round round_of(StreetKind k) noexcept {
    constexpr Round kRounds[] = {Round::Flop, Round::Turn, Round::River, Round::Showdown,
                                 Round::Seventh};
    return kRounds[static_cast<std::size_t>(k)];
}

// The half of a split pot that the first word of a win's text names, the spaces before it passed
// over: "high" or "hi" for the high half, "low" or "lo" for the low one, in any case ("wins  high
// ($ 0.95 USD)", "wins Lo ($90.50 USD)"); Unspecified for any other word.
inline PotHalf half_named(std::string_view words) noexcept {
    std::size_t i = 0;
    while (i < words.size() && words[i] == ' ') ++i;
    std::size_t end = i;
    while (end < words.size() && ((words[end] | 0x20) >= 'a' && (words[end] | 0x20) <= 'z')) ++end;
    const std::string_view word = words.substr(i, end - i);
    const auto is = [&](std::string_view w) {
        return word.size() == w.size() && starts_nocase(word, w);
    };
    if (is("high") || is("hi")) return PotHalf::High;
    if (is("low") || is("lo")) return PotHalf::Low;
    return PotHalf::Unspecified;
}

class HandBuilder {
  public:
    explicit HandBuilder(Parser& p) noexcept : p_(p), store_(p.store()) {}

    // Starts a hand at the parser's current line: clears the player table and notes the size
    // of every list and of the text buffer.
    inline void begin() noexcept;

    Header& header() noexcept { return hand_.header; }
    Parser& parser() noexcept { return p_; }
    HandStore& store() noexcept { return store_; }

    // A player of a seat line. Seat lines come first: the players they seat are the hand's first
    // ones, and the dealer is looked for among them only (a player who joins the table later on
    // a dead button's seat is not on the button). Once per seat line: inline (forced).
    [[gnu::always_inline]] std::uint8_t seat_player(std::string_view name, std::uint8_t seat,
                                                    float chips) {
        ++seated_;
        return p_.add_seated_player(name, seat, chips);
    }
    // Once per action: inline (forced: the readers around it are large).
    [[gnu::always_inline]] void push(Action a) { store_.actions.push_back(a); }
    // A collection and its winner record: player `a.player_id()` wins `a.amount()` on board
    // `game`, and the half of the pot the history names (a half is kept in the hi/lo games
    // only: a history that writes "HI:" in every game says nothing of a half in the others).
    void push_collection(Action a, std::uint8_t game = 0, PotHalf half = PotHalf::Unspecified) {
        if (!is_hi_lo(hand_.header.game_type)) half = PotHalf::Unspecified;
        push(a.with_half(half));
        store_.winners.push_back(Winner{a.player_id(), a.amount(), game, half});
    }
    // Names the half of the collections of `player` pushed so far in the hand, and of their
    // winner records, for a history that names the halves after its collections (in its
    // summary): those whose amount is `amount` (any amount when nullopt) and whose half is not
    // named yet. Nothing in a game that is not hi/lo. Returns how many it named.
    inline std::size_t label_collections(std::uint8_t player, PotHalf half,
                                         std::optional<float> amount = std::nullopt);
    // For a history that names the half on its collections and writes its winners apart
    // (Winamax's "collected 114€ from pot (HI)", then "Seat 2: Player0 won 114€"): each winner of
    // the hand without a half takes that of a collection of the same player and amount, each
    // collection's once. In a game that is not hi/lo the collections keep no half either.
    inline void winners_take_halves();
    // The last action of the section still open; nullptr when it has none yet.
    Action* last_pushed() noexcept {
        return store_.actions.size() > run_start_ ? &store_.actions.back() : nullptr;
    }
    // Tournament hands only, off the hot path. push_tournament makes the hand a tournament hand
    // with this record, which tournament() then gives (a fault for a cash hand).
    void push_tournament(const Tournament& t);
    Tournament& tournament() { return at(store_.tournaments, hand_.header.tournament); }
    // The bounty of the seat line about to be seated, nullopt when it gives none: once one seat
    // line gives a bounty, every seated player has one in the record (0 for the others).
    void seat_bounty(std::optional<float> bounty);
    // A "dealt" line that shows a player's own cards: the hand's hero is that player when the
    // hand shows one player's cards only.
    void dealt_cards_to(std::uint8_t player) noexcept {
        ++dealt_lines_;
        dealt_player_ = player;
    }

    // The actions pushed since the previous section closed (or since the hand began) become the
    // section's run: the actions before the deal, the preflop, one street, the summary.
    void close_pre_deal() noexcept { hand_.header.actions = take_run(); }
    // The preflop's cards are those shown before its round (Courchevel's first flop card).
    // A section may end at an earlier action (`end`, a count of the store's actions) for a layout
    // whose rounds are told by their betting rather than by street lines.
    void close_preflop(const CardSet& shown = CardSet::empty(),
                       std::size_t end = kOpenEnd) noexcept {
        hand_.preflop = Street{shown, take_run(end), 0};
    }
    [[gnu::always_inline]] inline void close_street(StreetKind kind, const CardSet& cards,
                                                    std::size_t end = kOpenEnd);
    static constexpr std::size_t kOpenEnd = ~std::size_t{0};
    // A draw game whose history writes no line for its draw: the preflop's run ends at the
    // store's action `at` (the first draw), and the rest of it is the round of the draw.
    void split_preflop(std::size_t at) {
        hand_.preflop = Street{CardSet::empty(), Span::between(run_start_, at), 0};
        run_start_ = at;
        close_street(StreetKind::Flop, CardSet::empty());
    }
    std::size_t run_start() const noexcept { return run_start_; }
    void close_summary(const PotInfo& pots) noexcept {
        hand_.summary.pots = pots;
        hand_.summary.actions = take_run();
    }

    // Completes the hand (players, hero, dealer, the spans of its streets and winners) and
    // pushes it onto the store.
    inline HandOutcome finish();
    // Truncates every list and the text buffer to where the hand began: a rejected hand leaves
    // nothing in the store.
    inline void rollback() noexcept;
    // The hand's id as read so far (empty before the hand line is read).
    std::string_view hand_id() const {
        const TextRef id = hand_.header.id;
        return slice(store_.text, id.offset(), id.offset() + id.length());
    }

  private:
    Span take_run(std::size_t end = kOpenEnd) noexcept {
        end = std::max(run_start_, std::min(end, store_.actions.size()));
        const Span s = Span::between(run_start_, end);
        run_start_ = end;
        return s;
    }
    // The id of the first player whose seat line has the button's seat; kNone8 when none has.
    inline std::uint8_t dealer_of(std::uint8_t button_seat) const;

    Parser& p_;
    HandStore& store_;
    Hand hand_;
    struct Sizes {
        std::size_t flops, turns, rivers, showdowns, actions, winners, card_sets, amounts,
            tournaments, sevenths;
    } at_{};
    std::size_t run_start_ = 0;
    std::uint8_t street_id_ = 0;
    std::uint8_t seated_ = 0;
    unsigned dealt_lines_ = 0;
    std::uint8_t dealt_player_ = kNone8;
};

inline void HandBuilder::begin() noexcept {
    p_.begin_hand();
    hand_ = Hand{};
    at_ = Sizes{store_.flops.size(),     store_.turns.size(),   store_.rivers.size(),
                store_.showdowns.size(), store_.actions.size(), store_.winners.size(),
                store_.card_sets.size(), store_.amounts.size(), store_.tournaments.size(),
                store_.sevenths.size()};
    run_start_ = at_.actions;
    street_id_ = 0;
    seated_ = 0;
    dealt_lines_ = 0;
    dealt_player_ = kNone8;
}

inline void HandBuilder::close_street(StreetKind kind, const CardSet& cards, std::size_t end) {
    const Street street{cards, take_run(end), street_id_++};
    switch (kind) {
        case StreetKind::Flop: store_.flops.push_back(street); break;
        case StreetKind::Turn: store_.turns.push_back(street); break;
        case StreetKind::River: store_.rivers.push_back(street); break;
        case StreetKind::Showdown: store_.showdowns.push_back(street); break;
        case StreetKind::Seventh: store_.sevenths.push_back(street); break;
    }
}

inline std::size_t HandBuilder::label_collections(std::uint8_t player, PotHalf half,
                                                  std::optional<float> amount) {
    if (!is_hi_lo(hand_.header.game_type) || half == PotHalf::Unspecified) return 0;
    const auto named = [&](std::uint8_t id, PotHalf now, float won) {
        return id == player && now == PotHalf::Unspecified && (!amount || won == *amount);
    };
    std::size_t count = 0;
    for (std::size_t i = at_.actions; i < store_.actions.size(); ++i) {
        Action& a = store_.actions[i];
        if (is_collection(a.type()) && named(a.player_id(), a.half(), a.amount())) {
            a = a.with_half(half);
            ++count;
        }
    }
    for (std::size_t i = at_.winners; i < store_.winners.size(); ++i) {
        Winner& w = store_.winners[i];
        if (named(w.player_id, w.half, w.amount)) w.half = half;
    }
    return count;
}

inline void HandBuilder::winners_take_halves() {
    const bool hi_lo = is_hi_lo(hand_.header.game_type);
    for (std::size_t i = at_.actions; i < store_.actions.size(); ++i) {
        Action& a = store_.actions[i];
        if (!is_collection(a.type()) || a.half() == PotHalf::Unspecified) continue;
        if (!hi_lo) {
            a = a.with_half(PotHalf::Unspecified);
            continue;
        }
        for (std::size_t k = at_.winners; k < store_.winners.size(); ++k) {
            Winner& w = store_.winners[k];
            if (w.half == PotHalf::Unspecified && w.player_id == a.player_id() &&
                w.amount == a.amount()) {
                w.half = a.half();
                break;
            }
        }
    }
}

inline std::uint8_t HandBuilder::dealer_of(std::uint8_t button_seat) const {
    if (button_seat == kNone8) return kNone8;
    // One check that the seated players lie inside the list, then a plain walk over them.
    const std::size_t first = p_.first_player();
    if (first + seated_ > store_.players.size()) [[unlikely]]
        fault_index(first + seated_, store_.players.size());
    const Player* const seated = store_.players.data() + first;
    for (std::uint8_t id = 0; id < seated_; ++id)
        if (seated[id].seat == button_seat) return id;
    return kNone8;
}

inline HandOutcome HandBuilder::finish() {
    Header& h = hand_.header;
    h.players = Span::make(p_.first_player(), p_.player_count());
    if (dealt_lines_ == 1 && dealt_player_ < kNoSlot) h.hero = dealt_player_;
    h.dealer = dealer_of(h.button_seat);
    // The six runs of the lists that grow by hand: one test that every start and count fits (a
    // list shorter than at the hand's start gives a count that does not), else the checked
    // spans, which fault.
    const std::uint64_t counts[] = {
        store_.flops.size() - at_.flops,         store_.turns.size() - at_.turns,
        store_.rivers.size() - at_.rivers,       store_.showdowns.size() - at_.showdowns,
        store_.sevenths.size() - at_.sevenths,   store_.winners.size() - at_.winners};
    if (((at_.flops | at_.turns | at_.rivers | at_.showdowns | at_.sevenths | at_.winners) >
         kRefStartMask) |
        ((counts[0] | counts[1] | counts[2] | counts[3] | counts[4] | counts[5]) > kRefMaxCount))
        [[unlikely]] {
        hand_.flops = Span::between(at_.flops, store_.flops.size());
        hand_.turns = Span::between(at_.turns, store_.turns.size());
        hand_.rivers = Span::between(at_.rivers, store_.rivers.size());
        hand_.showdowns = Span::between(at_.showdowns, store_.showdowns.size());
        hand_.sevenths = Span::between(at_.sevenths, store_.sevenths.size());
        hand_.summary.winners = Span::between(at_.winners, store_.winners.size());
    } else {
        hand_.flops = Span::packed(at_.flops, counts[0]);
        hand_.turns = Span::packed(at_.turns, counts[1]);
        hand_.rivers = Span::packed(at_.rivers, counts[2]);
        hand_.showdowns = Span::packed(at_.showdowns, counts[3]);
        hand_.sevenths = Span::packed(at_.sevenths, counts[4]);
        hand_.summary.winners = Span::packed(at_.winners, counts[5]);
    }
    hand_.text_start = p_.text_start();
    store_.hands.push_back(hand_);
    return HandOutcome{};
}

inline void HandBuilder::rollback() noexcept {
    store_.text.resize(p_.text_start());
    store_.players.resize(p_.first_player());
    store_.flops.resize(at_.flops);
    store_.turns.resize(at_.turns);
    store_.rivers.resize(at_.rivers);
    store_.showdowns.resize(at_.showdowns);
    store_.sevenths.resize(at_.sevenths);
    store_.actions.resize(at_.actions);
    store_.winners.resize(at_.winners);
    store_.card_sets.resize(at_.card_sets);
    store_.amounts.resize(at_.amounts);
    store_.tournaments.resize(at_.tournaments);
}

// ---------------------------------------------------------------------------------------------
// The driver
// ---------------------------------------------------------------------------------------------

// A hand begins only at a line that begins a hand (Parser::begins_hand). Every other line met
// between hands, blank or not, is passed over unread: it is no hand. And a hand ends at the latest
// where the next one begins (the parser holds that line back). So each hand start of a text is
// either stored or reported, and nothing else is. Moves to the next hand start; false at the end.
inline bool to_hand_start(Parser& p) noexcept {
    for (;;) {
        if (p.at_end()) return p.take_held_start();
        if (!p.line().empty() && p.begins_hand(p.line())) return true;
        p.next_line();
    }
}

// Takes back the hand that began at `first_line`, reports it with its reason (and the line the
// reader stopped at, quoted, unless `line` is a null view), and moves off its first line when the
// reader did not get past it (the next hand start is looked for from there).
void take_back(HandBuilder& b, std::uint64_t first_line, std::string_view reason,
               std::string_view line, std::vector<Rejection>& rejected);

// The hand start of a layout whose rooms write their own name before the same words ("Bodog UK
// Hand #", "Gear Poker Game #"): the text's first line (after white space and a byte-order mark)
// up to and including `mark`, cut to 16 bytes; `fallback` when the first line has no `mark` in
// its first bytes. Every hand of one text comes from one room.
std::string_view first_hand_start(std::string_view text, std::string_view mark,
                                  std::string_view fallback) noexcept;

// What a reader makes of the text before its first hand start: passed over unread (the default),
// or reported as one fragment (kTextBeginsInsideHand, at its first line) unless each of its lines
// is blank or one that `lead_in` takes for a line a hand writes before its hand start.
struct Leading {
    bool report = false;
    bool (*lead_in)(std::string_view line) noexcept = nullptr;
};

// Moves the parser to the first hand start, reporting the lines before it as `leading` says.
void pass_leading_text(Parser& p, Leading leading, std::vector<Rejection>& rejected);

// Reads every hand of the parser's text with `read_hand`. This is the one place where a hand's
// outcome is decided: a rejected hand is taken back and reported with its first line, its id and
// its reason and the line that stopped it, and reading resumes at the next hand start. With
// Errors::Skip, a fault raised while a hand is read rejects that hand the same way, with the
// fault's message as the reason.
template <class ReadHand>
void read_hands(Parser& p, std::string_view hand_start, Errors errors,
                std::vector<Rejection>& rejected, ReadHand&& read_hand, Leading leading = {}) {
    HandBuilder b(p);
    p.set_hand_start(hand_start);
    if (leading.report) pass_leading_text(p, leading, rejected);
    while (to_hand_start(p)) {
        const std::uint64_t first_line = p.line_number();
        b.begin();
        std::string_view reason, line;
        try {
            const HandOutcome outcome = read_hand(b);
            if (outcome.kind == HandOutcome::Kind::Stored) [[likely]]
                continue;
            if (!p.at_end())
                reason = outcome.reason, line = p.line();
            else
                reason = p.holds_start() ? kCutByNextHand : kTextEndsInsideHand;
        } catch (const Fault& f) {
            if (errors == Errors::Strict) throw;
            take_back(b, first_line, f.message(), {}, rejected);
            continue;
        }
        take_back(b, first_line, reason, line, rejected);
    }
}

}  // namespace hs
