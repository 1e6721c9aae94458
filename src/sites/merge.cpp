// Merge network histories, read with the project's XML reader.
//
// A text is a run of <description type="Holdem" stakes="No Limit ($0.02/$0.04)"/> elements, each
// followed by the <game> elements it describes: the seats (<player seat nickname balance
// dealtin>, the button's seat on <players dealer>), then rounds named by the street (BLINDS,
// PREFLOP, POSTFLOP, POSTTURN, POSTRIVER, SHOWDOWN, END_OF_GAME or END_OF_FOLDED_GAME) holding
// <event type player amount> (the player is a seat number), <cards> (the hero's HOLE cards, the
// board as COMMUNITY cards so far, SHOWN and MUCKED hands) and <winner amount uncalled player>.
// A RAISE writes the player's new total on the street, every other amount the chips it adds; a
// RETURN_BLIND posts both blinds (the big one live).
#include "sites/merge.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/fault.hpp"
#include "input/xml.hpp"
#include "reader/cursor.hpp"
#include "reader/ledger.hpp"
#include "reader/local_amounts.hpp"
#include "reader/numbers.hpp"
#include "reader/shared_lines.hpp"
#include "reader/xml_games.hpp"

namespace hs::merge {
namespace {

using std::size_t;
using std::string_view;
using Cents = ChipLedger::Cents;

constexpr string_view kOtherGame = "a game other than Hold'em and Omaha";

enum class RoundKind : std::uint8_t { Blinds, Preflop, Flop, Turn, River, End, Other, Cancelled };

RoundKind round_kind(string_view id) noexcept {
    if (id == "BLINDS") return RoundKind::Blinds;
    if (id == "PREFLOP") return RoundKind::Preflop;
    if (id == "POSTFLOP") return RoundKind::Flop;
    if (id == "POSTTURN") return RoundKind::Turn;
    if (id == "POSTRIVER") return RoundKind::River;
    if (id == "SHOWDOWN" || id == "END_OF_GAME" || id == "END_OF_FOLDED_GAME")
        return RoundKind::End;
    if (id == "GAME_CANCELLED") return RoundKind::Cancelled;
    return RoundKind::Other;  // the streets and draws of stud and draw games
}

struct SeatRow {
    string_view name, balance;
    unsigned seat = kNone8;
    bool dealt_in = true;
};
struct EventRow {
    RoundKind round = RoundKind::Blinds;
    unsigned sequence = 0, seat = kNone8;
    string_view type, amount;
};
struct CardsRow {
    RoundKind round = RoundKind::Blinds;
    unsigned seat = kNone8;
    string_view type, cards;
};
struct WinnerRow {
    unsigned seat = kNone8;
    string_view amount;
    bool uncalled = false;
};

struct Game {
    string_view id, start, seats, data, dealer;
    bool cancelled = false, other_round = false;
    std::vector<SeatRow> players;
    std::vector<EventRow> events;
    std::vector<CardsRow> cards;
    std::vector<WinnerRow> winners;
    void clear() {
        id = start = seats = data = dealer = {};
        cancelled = other_round = false;
        players.clear();
        events.clear();
        cards.clear();
        winners.clear();
    }
};

unsigned number_of(string_view v) noexcept {
    const auto n = read_integer(v);
    return n && n->len == v.size() && n->value < kNone8 ? static_cast<unsigned>(n->value) : kNone8;
}

float amount_of(string_view raw) {
    const auto a = local_amount(raw);
    return a ? a->value : 0.0f;
}

// "Ah,Kd", "null,Ac" (a card not shown), "10h": nullopt when no card is known.
std::optional<CardSet> cards_of(string_view text) {
    CardSet set;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t comma = std::min(text.find(',', from), text.size());
        const string_view c = text.substr(from, comma - from);
        if (!c.empty() && c != "null") {
            if (set.count == kMaxCards) return std::nullopt;
            set.push(card_from_text(c));
        }
        from = comma + 1;
    }
    if (set.count == 0) return std::nullopt;
    return set;
}

// "20110531030610", or "2012/06/05 19:39:26 -0400" with its offset from UTC.
void start_of(string_view t, Header& h) {
    if (t.size() == 14 &&
        std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const auto n = [&](size_t at, size_t len) {
            unsigned v = 0;
            for (size_t i = at; i < at + len; ++i) v = v * 10 + unsigned(t[i] - '0');
            return v;
        };
        h.start_date = pack_date(n(0, 4), n(4, 2), n(6, 2), n(8, 2), n(10, 2), n(12, 2));
        h.start_utc = utc_start(h.start_date, TimeZone{});
        return;
    }
    const auto d = loose_date(t.substr(0, std::min<size_t>(t.find(" ", 11), t.size())));
    if (!d) return;
    h.start_date = *d;
    TimeZone zone;
    const size_t sign = t.find_last_of("+-");
    if (sign != string_view::npos && sign > 10 && t.size() - sign == 5) {
        const auto hm = read_integer(t.substr(sign + 1));
        if (hm && hm->len == 4) {
            const int minutes = static_cast<int>(hm->value / 100 * 60 + hm->value % 100);
            zone = TimeZone::fixed(static_cast<std::int16_t>(t[sign] == '-' ? -minutes : minutes));
            h.start_zoned = true;
        }
    }
    h.start_utc = utc_start(h.start_date, zone);
}

class Reader {
  public:
    Reader(Parser& p, Errors errors, std::vector<Rejection>& rejected)
        : x_(p, errors, rejected), p_(p), b_(x_.builder()), sc_(x_.scanner()) {}
    void run();

  private:
    XmlGames::End read_game(size_t depth);
    HandOutcome build(string_view& quote, bool unclosed);

    XmlGames x_;
    Parser& p_;
    HandBuilder& b_;
    xml::Scanner& sc_;
    std::string type_, stakes_, name_buffer_;
    Game game_;
    ChipLedger ledger_;
};

void Reader::run() {
    for (;;) {
        const xml::Token t = sc_.next();
        if (t.event == xml::Event::End) return;
        if (t.event == xml::Event::Error) {
            x_.outside_error(t, "<game ");
            continue;
        }
        if (t.event != xml::Event::Open) continue;
        if (t.name == "description") {
            type_ =
                XmlGames::decoded(xml::attribute(t.attributes, "type").value_or(""), name_buffer_);
            stakes_ = XmlGames::decoded(xml::attribute(t.attributes, "stakes").value_or(""),
                                        name_buffer_);
        } else if (t.name == "game" && !t.empty) {
            const size_t depth = sc_.depth() - 1;
            game_.clear();
            bool ok = xml::each_attribute(t.attributes, [&](string_view n, string_view v) {
                if (n == "id")
                    game_.id = v;
                else if (n == "starttime")
                    game_.start = v;
                else if (n == "seats")
                    game_.seats = v;
                else if (n == "data")
                    game_.data = v;
            });
            x_.hand(
                t, game_.id, "<game ", "<description",
                [&] {
                    if (!ok) fault_line("unreadable game", t.attributes);
                    return read_game(depth);
                },
                [&](string_view& quote, bool unclosed) { return build(quote, unclosed); });
        }
    }
}

XmlGames::End Reader::read_game(size_t depth) {
    RoundKind round = RoundKind::Blinds;
    return x_.element(depth, [&](const xml::Token& t) {
        if (t.event != xml::Event::Open) return;
        if (t.name == "players") {
            game_.dealer = xml::attribute(t.attributes, "dealer").value_or("");
        } else if (t.name == "player") {
            SeatRow row;
            const bool ok = xml::each_attribute(t.attributes, [&](string_view n, string_view v) {
                if (n == "seat")
                    row.seat = number_of(v);
                else if (n == "nickname")
                    row.name = v;
                else if (n == "balance")
                    row.balance = v;
                else if (n == "dealtin")
                    row.dealt_in = v != "false";
            });
            if (!ok || row.seat == kNone8) fault_line("unreadable player", t.attributes);
            game_.players.push_back(row);
        } else if (t.name == "round") {
            round = round_kind(xml::attribute(t.attributes, "id").value_or(""));
            game_.cancelled |= round == RoundKind::Cancelled;
            game_.other_round |= round == RoundKind::Other;
        } else if (t.name == "event") {
            EventRow e;
            e.round = round;
            const bool ok = xml::each_attribute(t.attributes, [&](string_view n, string_view v) {
                if (n == "sequence") {
                    const auto s = read_integer(v);
                    e.sequence =
                        s ? static_cast<unsigned>(std::min<std::uint64_t>(s->value, 1u << 30)) : 0;
                } else if (n == "type") {
                    e.type = v;
                } else if (n == "player") {
                    e.seat = number_of(v);
                } else if (n == "amount") {
                    e.amount = v;
                }
            });
            if (!ok || e.type.empty()) fault_line("unreadable event", t.attributes);
            game_.events.push_back(e);
        } else if (t.name == "cards") {
            CardsRow c;
            c.round = round;
            const bool ok = xml::each_attribute(t.attributes, [&](string_view n, string_view v) {
                if (n == "type")
                    c.type = v;
                else if (n == "cards")
                    c.cards = v;
                else if (n == "player")
                    c.seat = number_of(v);
            });
            if (!ok) fault_line("unreadable cards", t.attributes);
            game_.cards.push_back(c);
        } else if (t.name == "winner") {
            WinnerRow w;
            const bool ok = xml::each_attribute(t.attributes, [&](string_view n, string_view v) {
                if (n == "amount")
                    w.amount = v;
                else if (n == "player")
                    w.seat = number_of(v);
                else if (n == "uncalled")
                    w.uncalled = v == "true";
            });
            if (!ok || w.seat == kNone8) fault_line("unreadable winner", t.attributes);
            game_.winners.push_back(w);
        }
    });
}

HandOutcome Reader::build(string_view& quote, bool unclosed) {
    HandStore& store = b_.store();
    Header& h = b_.header();
    h.site = Site::Merge;
    if (game_.id.empty()) return reject(kHandLineWithoutId);
    h.id = store.push_text(game_.id);
    quote = type_;
    if (game_.cancelled) return reject("a cancelled game");

    // The game: "Holdem", "Omaha", "Omaha H/L8", each maybe a "... Tournament".
    const string_view type = type_;
    const bool tournament = type.ends_with(" Tournament");
    const string_view game = tournament ? type.substr(0, type.size() - 11) : type;
    unsigned pocket = 0;
    for (const CardsRow& c : game_.cards)
        if (c.type == "HOLE" || c.type == "SHOWN" || c.type == "MUCKED")
            pocket = std::max<unsigned>(
                pocket, static_cast<unsigned>(std::count(c.cards.begin(), c.cards.end(), ',')) + 1);
    if (game_.other_round) return reject(kOtherGame);
    if (game == "Holdem") {
        h.game_type = GameType::HoldEm;
    } else if (game == "Omaha" || game == "Omaha H/L8") {
        const bool hi_lo = game != "Omaha";
        h.game_type = pocket == 5 ? (hi_lo ? GameType::FiveCardOmahaHiLo : GameType::FiveCardOmaha)
                      : pocket == 6 ? (hi_lo ? GameType::SixCardOmahaHiLo : GameType::SixCardOmaha)
                                    : (hi_lo ? GameType::OmahaHiLo : GameType::Omaha);
    } else {
        return reject(kOtherGame);
    }
    const string_view stakes = stakes_;
    if (stakes.starts_with("No Limit"))
        h.bet_type = BetType::NoLimit;
    else if (stakes.starts_with("Pot Limit"))
        h.bet_type = BetType::PotLimit;
    else if (stakes.starts_with("Limit"))
        h.bet_type = BetType::Limit;
    else {
        quote = stakes_;
        return reject("a betting other than no limit, pot limit and limit");
    }
    // Stakes: the last "a/b" ("($0.02/$0.04)", "$1/$2", "Blinds 40/80").
    if (const size_t slash = stakes.rfind('/'); slash != string_view::npos) {
        size_t from = stakes.rfind(' ', slash);
        from = from == string_view::npos ? 0 : from + 1;
        if (const auto sb = local_amount(stakes.substr(from, slash - from)))
            h.small_blind = sb->value;
        if (const auto bb = local_amount(stakes.substr(slash + 1))) h.big_blind = bb->value;
    }
    start_of(game_.start, h);
    h.max_players = static_cast<std::uint8_t>(std::min<unsigned>(number_of(game_.seats), kNone8));
    if (h.max_players == kNone8) h.max_players = 0;
    // data="20110531|Santiago (35368081)|35368081|35368081-1133|false": the table's name, then
    // (for a tournament) its number before the '-'.
    string_view fields[5];
    size_t count = 0, from = 0;
    while (count < 5 && from <= game_.data.size()) {
        const size_t bar = std::min(game_.data.find('|', from), game_.data.size());
        fields[count++] = game_.data.substr(from, bar - from);
        from = bar + 1;
    }
    if (count > 1 && !fields[1].empty()) h.table_name = store.push_text(fields[1]);
    if (tournament) {
        Tournament t;
        if (count > 2) t.id = store.push_text(fields[2].substr(0, fields[2].find('-')));
        b_.push_tournament(t);
    } else {
        if (const auto s =
                currency_symbol(stakes.substr(std::min(stakes.find('$'), stakes.size()))))
            h.currency = s->sign;
    }

    // Seats, by number.
    std::array<std::uint8_t, 256> slot_of;
    slot_of.fill(kNoSlot);
    const unsigned button = number_of(game_.dealer);
    for (const SeatRow& row : game_.players) {
        const string_view name = XmlGames::decoded(row.name, name_buffer_);
        if (name.empty()) fault_line("player without a name", row.balance);
        if (slot_of[row.seat] != kNoSlot) fault_line("a seat taken twice", name);
        if (p_.player_count() >= kNoSlot) fault_line("more players than a table seats", name);
        const std::uint8_t id =
            b_.seat_player(name, static_cast<std::uint8_t>(row.seat), amount_of(row.balance));
        slot_of[row.seat] = id;
        if (!row.dealt_in) p_.player(id).sitting_out = true;
    }
    if (p_.player_count() == 0) fault_missing("players");
    if (button < kNone8) h.button_seat = static_cast<std::uint8_t>(button);
    // A seat that acts but that <players> does not list: a player of its own, named by it.
    const auto slot = [&](unsigned seat) {
        if (seat >= slot_of.size()) fault_input("an action without its seat");
        if (slot_of[seat] == kNoSlot) {
            if (p_.player_count() >= kNoSlot) fault_input("more players than a table seats");
            const std::string name = "Seat " + std::to_string(seat);
            slot_of[seat] = p_.player_id(name);
            p_.player(slot_of[seat]).seat = static_cast<std::uint8_t>(seat);
            ledger_.grow(p_.player_count());
        }
        return slot_of[seat];
    };
    ChipLedger& ledger = ledger_;
    ledger.begin(p_.player_count());
    // A tournament's stakes are its posts.
    for (const EventRow& e : game_.events) {
        if (e.round != RoundKind::Blinds) continue;
        const float v = amount_of(e.amount);
        if (e.type == "SMALL_BLIND" && h.small_blind == 0) h.small_blind = v;
        if (e.type == "BIG_BLIND" && h.big_blind == 0) h.big_blind = v;
        if (e.type == "ANTE") h.ante = std::max(h.ante, v);
    }

    // Known cards: the hero's HOLE cards, the hands shown.
    std::uint8_t hero = kNone8;
    for (const CardsRow& c : game_.cards) {
        if (c.type != "HOLE" && c.type != "SHOWN") continue;
        const auto set = cards_of(c.cards);
        if (!set) continue;
        const std::uint8_t id = slot(c.seat);
        if (ledger.cards_of(id) == kNoCards || c.type == "SHOWN")
            ledger.show_cards(id, store.push_card_set(*set));
        if (c.type == "HOLE") hero = id;
    }
    h.hero = hero;

    sort_rows(game_.events, [](const EventRow& a, const EventRow& c) {
        return a.round != c.round ? a.round < c.round : a.sequence < c.sequence;
    });
    size_t next = 0;
    std::array<Cents, kNoSlot> posted{};
    // The live part of a post of both blinds: the big blind posted (a limit table's stakes are
    // its bets).
    Cents big_blind = ChipLedger::cents(h.big_blind);
    for (const EventRow& e : game_.events)
        if (e.round == RoundKind::Blinds && e.type == "BIG_BLIND") {
            big_blind = ChipLedger::cents(amount_of(e.amount));
            break;
        }
    const auto play = [&](RoundKind r) {
        for (; next < game_.events.size() && game_.events[next].round == r; ++next) {
            const EventRow& e = game_.events[next];
            const string_view k = e.type;
            // What no hand of Hold'em or Omaha changes: chat, a player leaving or out.
            if (k == "CHAT" || k == "PLAYER_OUT" || k == "LEAVE" || k == "SHOW" || k == "MUCK")
                continue;
            const std::uint8_t id = slot(e.seat);
            const Cents sum = ChipLedger::cents(amount_of(e.amount));
            Cents added = sum;
            ActionType type;
            if (k == "FOLD")
                type = ActionType::Fold;
            else if (k == "CHECK")
                type = ActionType::Check;
            else if (k == "CALL")
                type = ActionType::Call;
            else if (k == "BET")
                type = ActionType::Bet;
            else if (k == "RAISE") {
                type = ActionType::Raise;
                added = std::max<Cents>(sum - ledger.street(id), 0);
            } else if (k == "ALL_IN")
                type = ledger.all_in(id, sum);
            else if (k == "SMALL_BLIND")
                type = ActionType::SmallBlind;
            else if (k == "BIG_BLIND" || k == "INITIAL_BLIND")
                type = ActionType::BigBlind;
            else if (k == "RETURN_BLIND")
                type = ActionType::BigSmallBlind;
            else if (k == "ANTE")
                type = ActionType::Ante;
            else {
                quote = k;
                return false;
            }
            ledger.push(b_, type, id, added, big_blind);
            if (r == RoundKind::Blinds) posted[id] += added;
        }
        return true;
    };
    if (!play(RoundKind::Blinds)) return reject("unrecognised event");
    b_.close_pre_deal();
    if (hero < kNoSlot && ledger.cards_of(hero) != kNoCards) {
        b_.push(Action::make(ActionType::Dealt, hero, ledger.cards_of(hero)));
        b_.dealt_cards_to(hero);
    }
    if (!play(RoundKind::Preflop)) return reject("unrecognised event");
    ledger.return_unmatched(b_);
    b_.close_preflop();
    // The board: each street's COMMUNITY cards are the board so far.
    std::optional<CardSet> board_before;
    constexpr std::array<std::pair<RoundKind, StreetKind>, 3> kStreets = {
        {{RoundKind::Flop, StreetKind::Flop},
         {RoundKind::Turn, StreetKind::Turn},
         {RoundKind::River, StreetKind::River}}};
    for (const auto& [round, street] : kStreets) {
        std::optional<CardSet> board;
        for (const CardsRow& c : game_.cards)
            if (c.round == round && c.type == "COMMUNITY") board = cards_of(c.cards);
        const bool acts = next < game_.events.size() && game_.events[next].round == round;
        if (!board && !acts) continue;
        CardSet dealt;
        if (board) {
            const std::uint8_t seen = board_before ? board_before->count : 0;
            for (std::uint8_t i = seen; i < board->count; ++i) dealt.push(board->cards[i]);
            board_before = board;
        }
        ledger.new_street();
        if (!play(round)) return reject("unrecognised event");
        ledger.return_unmatched(b_);
        b_.close_street(street, dealt);
    }
    if (!play(RoundKind::End)) return reject("unrecognised event");
    if (next < game_.events.size()) return reject("event out of its round's order");
    // Older exports write each balance after the blinds and antes posted: a player who puts in
    // more than the balance had the posts on top of it.
    bool after_posts = false;
    const size_t listed = game_.players.size();  // the players of <players>, seated first
    for (std::uint8_t i = 0; i < listed && i < p_.player_count(); ++i)
        after_posts |= ledger.put(i) > ChipLedger::cents(p_.player(i).chips) &&
                       p_.player(i).seat != kNone8 && posted[i] > 0;
    if (after_posts)
        for (std::uint8_t i = 0; i < listed && i < p_.player_count(); ++i)
            p_.player(i).chips =
                ChipLedger::of_cents(ChipLedger::cents(p_.player(i).chips) + posted[i]);
    ledger.showdown(b_);

    // The wins: a winner "uncalled" is the bet returned, which the ledger writes itself; a win
    // that the pot without the returned bet cannot pay holds it.
    for (const WinnerRow& w : game_.winners)
        if (!w.uncalled) ledger.add_win(slot(w.seat), ChipLedger::cents(amount_of(w.amount)));
    if (ledger.wins_hold_return()) ledger.take_return_from_win();
    if (unclosed && ledger.won() > ledger.pot()) {
        quote = {};
        return reject(kTextEndsInsideElement);
    }
    ledger.settle(b_);
    return b_.finish();
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    Reader(parser, errors, rejected).run();
}

}  // namespace hs::merge
