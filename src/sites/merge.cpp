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
// Stud and draw games write their own rounds (BRING_IN, THIRD_STREET... SEVENTH_STREET;
// PRE_FIRST_DRAW, FIRST_DRAW, POST_FIRST_DRAW...), the cards dealt as DRAW_DRAWN_CARDS (stud: each
// player's cards so far by place, "null" or empty where hidden; draw: the hero's hand after a
// draw), a BRING_IN, a COMPLETE, a DRAW with its number of cards as text. A mixed table names its
// rotation as the type ("HORSE") and the game of each hand by code (multigametype).
#include "sites/merge.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
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

constexpr string_view kOtherGame = "a game this reader does not know";

// The rounds in the order played. The flop games' PREFLOP to POSTRIVER; stud's BRING_IN, then
// THIRD_STREET to SEVENTH_STREET (third street is the preflop's slot); the draw games' deal
// (PRE_FIRST_DRAW), then each draw (FIRST_DRAW...) and the betting after it (POST_FIRST_DRAW...).
enum class RoundKind : std::uint8_t {
    Blinds,
    BringIn,
    Preflop,
    FirstDraw,
    Flop,
    SecondDraw,
    Turn,
    ThirdDraw,
    River,
    Seventh,
    End,
    Other,
    Cancelled
};
// The family of games whose histories write a round: the flop games, stud, draw (0: any game).
enum Family : std::uint8_t { kAnyGame = 0, kFlopGame = 1, kStudGame = 2, kDrawGame = 4 };

struct RoundName {
    string_view id;
    RoundKind kind;
    Family family;
};
constexpr RoundName kRounds[] = {
    {"BLINDS", RoundKind::Blinds, kAnyGame},
    {"PREFLOP", RoundKind::Preflop, kFlopGame},
    {"POSTFLOP", RoundKind::Flop, kFlopGame},
    {"POSTTURN", RoundKind::Turn, kFlopGame},
    {"POSTRIVER", RoundKind::River, kFlopGame},
    {"SHOWDOWN", RoundKind::End, kAnyGame},
    {"END_OF_GAME", RoundKind::End, kAnyGame},
    {"END_OF_FOLDED_GAME", RoundKind::End, kAnyGame},
    {"BRING_IN", RoundKind::BringIn, kStudGame},
    {"THIRD_STREET", RoundKind::Preflop, kStudGame},
    {"FOURTH_STREET", RoundKind::Flop, kStudGame},
    {"FIFTH_STREET", RoundKind::Turn, kStudGame},
    {"SIXTH_STREET", RoundKind::River, kStudGame},
    {"SEVENTH_STREET", RoundKind::Seventh, kStudGame},
    {"PRE_FIRST_DRAW", RoundKind::Preflop, kDrawGame},
    {"FIRST_DRAW", RoundKind::FirstDraw, kDrawGame},
    {"POST_FIRST_DRAW", RoundKind::Flop, kDrawGame},
    {"SECOND_DRAW", RoundKind::SecondDraw, kDrawGame},
    {"POST_SECOND_DRAW", RoundKind::Turn, kDrawGame},
    {"THIRD_DRAW", RoundKind::ThirdDraw, kDrawGame},
    {"POST_THIRD_DRAW", RoundKind::River, kDrawGame},
    {"GAME_CANCELLED", RoundKind::Cancelled, kAnyGame},
};

// The games by the code a <game> writes (gametype, and a mixed table's multigametype for the game
// of the hand): those the flop games share with the mixed rotations, and the games without a board.
struct GameCode {
    unsigned code;
    GameType game;
};
constexpr GameCode kGameCodes[] = {
    {2, GameType::HoldEm},        {9, GameType::Omaha},
    {35, GameType::OmahaHiLo},    {43, GameType::SevenCardStudHiLo},
    {47, GameType::Razz},         {63, GameType::TripleDrawA5},
    {67, GameType::TripleDraw27}, {71, GameType::Badugi},
};
// The games without a board by the name the <description> gives them.
struct GameName {
    string_view name;
    GameType game;
};
constexpr GameName kGameNames[] = {
    {"7-Stud H/L8", GameType::SevenCardStudHiLo},
    {"7-Stud", GameType::SevenCardStud},
    {"Razz", GameType::Razz},
    {"2-7 Lowball", GameType::TripleDraw27},
    {"A-5 Lowball", GameType::TripleDrawA5},
    {"Badugi", GameType::Badugi},
};

constexpr Family family_of(GameType g) noexcept {
    return is_stud(g) ? kStudGame : is_draw(g) ? kDrawGame : kFlopGame;
}

struct SeatRow {
    string_view name, balance;
    unsigned seat = kNone8;
    bool dealt_in = true;
};
struct EventRow {
    RoundKind round = RoundKind::Blinds;
    unsigned sequence = 0, seat = kNone8;
    string_view type, amount, text;  // the text: a draw's number of cards
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
    bool half = false;  // one half of a hi/lo pot (pottype "h" or "l")
};

struct Game {
    string_view id, start, seats, data, dealer, code, multi_code;
    bool cancelled = false, other_round = false;
    std::uint8_t families = kAnyGame;  // of the rounds written
    std::vector<SeatRow> players;
    std::vector<EventRow> events;
    std::vector<CardsRow> cards;
    std::vector<WinnerRow> winners;
    void clear() {
        id = start = seats = data = dealer = code = multi_code = {};
        cancelled = other_round = false;
        families = kAnyGame;
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

// Calls f(place, card) for each card of a stud <cards> text known ("null,null,6c", ",,6c": the
// first two hidden) and returns its number of places.
template <class F>
unsigned each_place(string_view text, F&& f) {
    unsigned place = 0;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t comma = std::min(text.find(',', from), text.size());
        const string_view c = text.substr(from, comma - from);
        if (place == kMaxCards) fault_line("more cards than a stud hand", text);
        if (!c.empty() && c != "null") f(place, card_from_text(c));
        ++place;
        from = comma + 1;
    }
    return place;
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
                x_.decoded_outside(xml::attribute(t.attributes, "type").value_or(""), name_buffer_);
            stakes_ = x_.decoded_outside(xml::attribute(t.attributes, "stakes").value_or(""),
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
                else if (n == "gametype")
                    game_.code = v;
                else if (n == "multigametype")
                    game_.multi_code = v;
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
            const string_view id = xml::attribute(t.attributes, "id").value_or("");
            const auto* r = std::find_if(std::begin(kRounds), std::end(kRounds),
                                         [&](const RoundName& n) { return n.id == id; });
            round = r == std::end(kRounds) ? RoundKind::Other : r->kind;
            if (r != std::end(kRounds)) game_.families |= r->family;
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
                } else if (n == "text") {
                    e.text = v;
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
                else if (n == "pottype")
                    w.half = v == "h" || v == "l";
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

    // The game: "Holdem", "Omaha", "Omaha H/L8", "Razz", "2-7 Lowball"..., each maybe a "...
    // Tournament". A mixed table's name ("HORSE") is the rotation, and the code of its
    // multigametype the game of the hand.
    const string_view type = type_;
    const bool tournament = type.ends_with(" Tournament");
    const string_view game = tournament ? type.substr(0, type.size() - 11) : type;
    if (game_.other_round) return reject(kOtherGame);
    std::optional<GameType> g;
    for (size_t m = 1; m < kMixedGameNames.size(); ++m)
        if (game == kMixedGameNames[m]) h.mixed = static_cast<MixedGame>(m);
    if (h.mixed != MixedGame::None) {
        const unsigned code = number_of(game_.multi_code);
        for (const GameCode& c : kGameCodes)
            if (c.code == code) g = c.game;
        // Seven-card stud (high) is the one stud game of the rotations whose code is not known
        // here: a stud hand of another code is taken for it.
        if (!g && game_.families == kStudGame) g = GameType::SevenCardStud;
    } else if (game == "Holdem") {
        g = GameType::HoldEm;
    } else if (game == "Omaha") {
        g = GameType::Omaha;
    } else if (game == "Omaha H/L8") {
        g = GameType::OmahaHiLo;
    } else {
        for (const GameName& n : kGameNames)
            if (n.name == game) g = n.game;
    }
    if (!g || (game_.families & ~family_of(*g)) != 0) return reject(kOtherGame);
    h.game_type = *g;
    if (h.game_type == GameType::Omaha || h.game_type == GameType::OmahaHiLo) {
        unsigned pocket = 0;
        for (const CardsRow& c : game_.cards)
            if (c.type == "HOLE" || c.type == "SHOWN" || c.type == "MUCKED")
                pocket = std::max<unsigned>(
                    pocket,
                    static_cast<unsigned>(std::count(c.cards.begin(), c.cards.end(), ',')) + 1);
        const bool hi_lo = h.game_type == GameType::OmahaHiLo;
        h.game_type = pocket == 5 ? (hi_lo ? GameType::FiveCardOmahaHiLo : GameType::FiveCardOmaha)
                      : pocket == 6 ? (hi_lo ? GameType::SixCardOmahaHiLo : GameType::SixCardOmaha)
                                    : h.game_type;
    }
    const Family family = family_of(h.game_type);
    const string_view stakes = stakes_;
    if (stakes.starts_with("No Limit"))
        h.bet_type = BetType::NoLimit;
    else if (stakes.starts_with("Pot Limit") || stakes.starts_with("Half Pot Limit"))
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
    if (button < kNone8 && family != kStudGame) h.button_seat = static_cast<std::uint8_t>(button);
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

    // Known cards: the hero's HOLE cards, the hands shown. Without a board, a player's hand is
    // the fullest one written with no card hidden (stud's seventh street, the last draw's).
    std::uint8_t hero = kNone8;
    std::array<std::uint8_t, kNoSlot> known{};
    for (const CardsRow& c : game_.cards) {
        const bool dealt = family != kFlopGame && c.type == "DRAW_DRAWN_CARDS";
        if (c.type != "HOLE" && c.type != "SHOWN" && !dealt) continue;
        const auto set = cards_of(c.cards);
        if (!set) continue;
        const std::uint8_t id = slot(c.seat);
        if (c.type == "HOLE") hero = id;
        if (family == kFlopGame) {
            if (ledger.cards_of(id) == kNoCards || c.type == "SHOWN")
                ledger.show_cards(id, store.push_card_set(*set));
        } else if (set->count >= known[id] &&
                   each_place(c.cards, [](unsigned, Card) {}) == set->count) {
            known[id] = set->count;
            ledger.show_cards(id, store.push_card_set(*set));
        }
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
            else if (k == "BRING_IN" && family == kStudGame)
                type = ActionType::BringIn;
            else if (k == "COMPLETE" && family == kStudGame)
                type = ActionType::Complete;
            else if (k == "DRAW" && family == kDrawGame) {
                // "text" is the number of cards drawn: none stands pat.
                const auto n = read_integer(e.text);
                if (!n || n->len != e.text.size() || n->value > kMaxCards)
                    fault_line("a draw without its number of cards", e.text);
                if (n->value > 0) {
                    b_.push(
                        Action::make(ActionType::Draw, id, static_cast<std::uint32_t>(n->value)));
                    continue;
                }
                type = ActionType::StandPat;
            } else {
                quote = k;
                return false;
            }
            ledger.push(b_, type, id, added, big_blind);
            if (r == RoundKind::Blinds) posted[id] += added;
        }
        return true;
    };
    const auto acts_in = [&](RoundKind r) {
        return next < game_.events.size() && game_.events[next].round == r;
    };
    // The flop games: the hero's cards, the preflop, then each street's COMMUNITY cards, the board
    // so far.
    const auto play_flop_game = [&] {
        if (hero < kNoSlot && ledger.cards_of(hero) != kNoCards) {
            b_.push(Action::make(ActionType::Dealt, hero, ledger.cards_of(hero)));
            b_.dealt_cards_to(hero);
        }
        if (!play(RoundKind::Preflop)) return false;
        ledger.return_unmatched(b_);
        b_.close_preflop();
        std::optional<CardSet> board_before;
        constexpr std::array<std::pair<RoundKind, StreetKind>, 3> kStreets = {
            {{RoundKind::Flop, StreetKind::Flop},
             {RoundKind::Turn, StreetKind::Turn},
             {RoundKind::River, StreetKind::River}}};
        for (const auto& [round, street] : kStreets) {
            std::optional<CardSet> board;
            for (const CardsRow& c : game_.cards)
                if (c.round == round && c.type == "COMMUNITY") board = cards_of(c.cards);
            if (!board && !acts_in(round)) continue;
            CardSet dealt;
            if (board) {
                const std::uint8_t seen = board_before ? board_before->count : 0;
                for (std::uint8_t i = seen; i < board->count; ++i) dealt.push(board->cards[i]);
                board_before = board;
            }
            ledger.new_street();
            if (!play(round)) return false;
            ledger.return_unmatched(b_);
            b_.close_street(street, dealt);
        }
        return true;
    };
    // Stud: each street's cards, then its betting (the bring-in's round and THIRD_STREET are the
    // first street). A <cards> writes every card a player has been dealt so far by its place, a
    // hidden one "null" or empty: the places after those written before are the street's, the
    // first two and the seventh dealt down, the others up.
    std::array<std::uint8_t, kNoSlot> places{};
    const auto deal_stud = [&](RoundKind from, RoundKind to) {
        for (const CardsRow& c : game_.cards) {
            if (c.round < from || c.round > to ||
                (c.type != "HOLE" && c.type != "DRAW_DRAWN_CARDS"))
                continue;
            const std::uint8_t id = slot(c.seat);
            CardSet down, up;
            const unsigned count = each_place(c.cards, [&](unsigned place, Card card) {
                if (place < places[id]) return;
                (place < 2 || place == 6 ? down : up).push(card);
            });
            places[id] = static_cast<std::uint8_t>(std::max<unsigned>(places[id], count));
            if (down.count > 0)
                b_.push(Action::make(ActionType::Dealt, id, store.push_card_set(down)));
            if (up.count > 0)
                b_.push(Action::make(ActionType::DealtUp, id, store.push_card_set(up)));
        }
    };
    const auto play_stud = [&] {
        deal_stud(RoundKind::BringIn, RoundKind::Preflop);
        if (!play(RoundKind::BringIn) || !play(RoundKind::Preflop)) return false;
        ledger.return_unmatched(b_);
        b_.close_preflop();
        constexpr std::array<std::pair<RoundKind, StreetKind>, 4> kStreets = {
            {{RoundKind::Flop, StreetKind::Flop},
             {RoundKind::Turn, StreetKind::Turn},
             {RoundKind::River, StreetKind::River},
             {RoundKind::Seventh, StreetKind::Seventh}}};
        for (const auto& [round, street] : kStreets) {
            const bool dealt = std::any_of(game_.cards.begin(), game_.cards.end(),
                                           [&](const CardsRow& c) { return c.round == round; });
            if (!dealt && !acts_in(round)) continue;
            ledger.new_street();
            deal_stud(round, round);
            if (!play(round)) return false;
            ledger.return_unmatched(b_);
            b_.close_street(street, CardSet::empty());
        }
        return true;
    };
    // The draw games: the hero's hand dealt, the betting before the first draw, then each draw
    // (DRAW events, the hero's hand after it: the cards new in it are dealt) and the betting
    // after it.
    const auto play_draw = [&] {
        CardSet hand;
        // The hero's last hand of that type written in rounds `from` to `to`.
        const auto hand_in = [&](RoundKind from, RoundKind to,
                                 string_view type) -> std::optional<CardSet> {
            std::optional<CardSet> last;
            for (const CardsRow& c : game_.cards)
                if (c.round >= from && c.round <= to && c.type == type && hero < kNoSlot &&
                    slot(c.seat) == hero)
                    last = cards_of(c.cards);
            return last;
        };
        if (const auto dealt = hand_in(RoundKind::Blinds, RoundKind::Preflop, "HOLE")) {
            hand = *dealt;
            b_.push(Action::make(ActionType::Dealt, hero, store.push_card_set(hand)));
        }
        if (!play(RoundKind::Preflop)) return false;
        ledger.return_unmatched(b_);
        b_.close_preflop();
        constexpr std::array<std::tuple<RoundKind, RoundKind, StreetKind>, 3> kDraws = {
            {{RoundKind::FirstDraw, RoundKind::Flop, StreetKind::Flop},
             {RoundKind::SecondDraw, RoundKind::Turn, StreetKind::Turn},
             {RoundKind::ThirdDraw, RoundKind::River, StreetKind::River}}};
        for (const auto& [draw, round, street] : kDraws) {
            const auto drawn = hand_in(draw, draw, "DRAW_DRAWN_CARDS");
            if (!drawn && !acts_in(draw) && !acts_in(round)) continue;
            ledger.new_street();
            if (!play(draw)) return false;
            if (drawn) {
                CardSet fresh;
                for (std::uint8_t i = 0; i < drawn->count; ++i)
                    if (std::find(hand.cards, hand.cards + hand.count, drawn->cards[i]) ==
                        hand.cards + hand.count)
                        fresh.push(drawn->cards[i]);
                hand = *drawn;
                if (fresh.count > 0)
                    b_.push(Action::make(ActionType::Dealt, hero, store.push_card_set(fresh)));
            }
            if (!play(round)) return false;
            ledger.return_unmatched(b_);
            b_.close_street(street, CardSet::empty());
        }
        return true;
    };
    if (!play(RoundKind::Blinds)) return reject("unrecognised event");
    b_.close_pre_deal();
    const bool played = family == kStudGame   ? play_stud()
                        : family == kDrawGame ? play_draw()
                                              : play_flop_game();
    if (!played) return reject("unrecognised event");
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
    // A hi/lo pot's halves are collections of their own.
    for (const WinnerRow& w : game_.winners) {
        if (w.uncalled) continue;
        const std::uint8_t id = slot(w.seat);
        const Cents won = ChipLedger::cents(amount_of(w.amount));
        if (w.half)
            ledger.add_win_apart(id, won);
        else
            ledger.add_win(id, won);
    }
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
