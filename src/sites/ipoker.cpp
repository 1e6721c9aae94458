// iPoker network histories, read with the project's XML reader.
//
// A session's <general> names the game and stakes ("Holdem NL €0.05/€0.10", translated by the
// client: "Holdem SL", "Holdem БЛ"), the table, its currency and, for a tournament, its name and
// buy-in. Each <game> is a hand: <players> with each seat's stack, button, total bet and total
// win, then rounds 0 (blinds and antes), 1 (pocket cards and preflop), 2 to 4 (flop, turn,
// river), each action numbered in the order played (a round lists them grouped by player).
// Amounts carry the table's sign or code ("€0,50", "$3,000", "RSD45.70", "1.500" chips): a
// separator before three digits groups thousands, before one or two it is the decimal mark.
//
// Action types: 0 fold, 1 small blind, 2 big blind, 3 call, 4 check, 5 bet, 6 raise (the chips
// added), 7 all in (the chips added), 8 and 9 sitting out, 15 ante, 23 raise (to the player's
// total on the street). The store keeps every raise as the chips it adds. The <player> bet
// attribute is not read (clients write it wrong after some raises); the win attribute holds a
// bet nobody called in older clients and leaves it out in those that write a <client_version>.
#include "sites/ipoker.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/chars.hpp"
#include "core/clock.hpp"
#include "core/fault.hpp"
#include "input/xml.hpp"
#include "reader/cursor.hpp"
#include "reader/ledger.hpp"
#include "reader/local_amounts.hpp"
#include "reader/numbers.hpp"
#include "reader/shared_lines.hpp"
#include "reader/xml_games.hpp"

namespace hs::ipoker {
namespace {

using std::size_t;
using std::string_view;
using Cents = ChipLedger::Cents;

// An input error of one game: it rejects that game in tolerant reading.
[[noreturn]] void fault_game(std::string message) { throw InputError(std::move(message)); }

constexpr string_view kOtherGame = "a game other than Hold'em, Omaha and stud";

// What a session's <general> says of all its hands.
struct Session {
    std::string gametype, tablename, tablecurrency, currency, nickname, tournamentname, buyin,
        tournamentcurrency;
    bool client_version = false;
    void clear() {
        for (std::string* s : {&gametype, &tablename, &tablecurrency, &currency, &nickname,
                               &tournamentname, &buyin, &tournamentcurrency})
            s->clear();
        client_version = false;
    }
    bool tournament() const noexcept { return !tournamentname.empty() || !buyin.empty(); }
};

struct PlayerRow {
    string_view name, chips, win;  // raw attribute values
    unsigned seat = 0;
    bool dealer = false;
};
struct ActionRow {
    unsigned round = 0, no = 0, type = 0, order = 0;
    string_view player, sum;
};
struct CardsRow {
    unsigned round = 0;
    string_view type, player, cards;
};

// The rows of one <game>, views of the text; the lists keep their capacity from hand to hand.
struct Game {
    string_view code, startdate;
    std::vector<PlayerRow> players;
    std::vector<ActionRow> actions;
    std::vector<CardsRow> cards;
    void clear() {
        code = startdate = {};
        players.clear();
        actions.clear();
        cards.clear();
    }
};

constexpr char ascii_lower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
constexpr bool is_space_byte(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
string_view trim(string_view s) noexcept {
    while (!s.empty() && is_space_byte(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space_byte(s.back())) s.remove_suffix(1);
    return s;
}

// An amount attribute: nothing (or no digit at all) reads as 0.
float amount_of(string_view raw) {
    const auto a = local_amount(raw);
    return a ? a->value : 0.0f;
}

// A three-capital code ("EUR", "RSD").
bool iso_code(string_view s) noexcept {
    return s.size() == 3 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool same_word(string_view a, string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

// The game and betting of a gametype text, word by word; the game may be left to the number of
// pocket cards (a "PL €0.05/€0.10" table of five-card Omaha names none).
struct GameKind {
    bool other = false;  // a word of another game (draw, badugi...)
    bool holdem = false, omaha = false, hi_lo = false, six_plus = false;
    bool stud = false, razz = false, five = false;  // "7 Card Stud", "Razz", "5 Card Stud"
    BetType bet = BetType::NoLimit;
};

GameKind game_kind(string_view text) {
    GameKind k;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        size_t j = i;
        while (j < text.size() && text[j] != ' ') ++j;
        const string_view w = text.substr(i, j - i);
        i = j;
        if (w.empty()) continue;
        if (same_word(w, "Holdem") || same_word(w, "Hold'em") || same_word(w, "NLH")) {
            k.holdem = true;
        } else if (same_word(w, "Omaha") || same_word(w, "PLO")) {
            k.omaha = true;
        } else if (same_word(w, "Hi-Lo") || same_word(w, "H/L") || same_word(w, "Hi/Lo") ||
                   same_word(w, "HiLo") || same_word(w, "O8")) {
            k.hi_lo = true;
        } else if (same_word(w, "Plus") || same_word(w, "6+")) {
            k.six_plus = true;
        } else if (same_word(w, "Stud")) {
            k.stud = true;
        } else if (same_word(w, "Razz")) {
            k.razz = true;
        } else if (w == "5" && !k.stud) {
            k.five = true;
        } else if (same_word(w, "Draw") || same_word(w, "Badugi")) {
            k.other = true;
        }
        if (same_word(w, "NL") || same_word(w, "SL") || w == "\xD0\x91\xD0\x9B" /* БЛ */ ||
            same_word(w, "NLH"))
            k.bet = BetType::NoLimit;
        else if (same_word(w, "PL") || w == "\xD0\x9F\xD0\x9B" /* ПЛ */ || same_word(w, "PLO"))
            k.bet = BetType::PotLimit;
        else if (same_word(w, "L") || same_word(w, "FL") || same_word(w, "Limit") ||
                 same_word(w, "LH") || w == "\xD0\x9B" /* Л */)
            k.bet = BetType::Limit;
        if (same_word(w, "LH")) k.holdem = true;
    }
    return k;
}

// "C10", "SA", "D3": the suit's letter, then the rank.
std::optional<Card> card_of(string_view t) noexcept {
    if (t.size() < 2 || t.size() > 3) return std::nullopt;
    unsigned suit;
    switch (ascii_lower(t[0])) {
        case 's': suit = 0; break;
        case 'c': suit = 1; break;
        case 'h': suit = 2; break;
        case 'd': suit = 3; break;
        default: return std::nullopt;
    }
    const string_view r = t.substr(1);
    unsigned rank = 0;
    if (r == "10") {
        rank = 10;
    } else if (r.size() == 1) {
        const char c = static_cast<char>(ascii_lower(r[0]));
        if (c >= '2' && c <= '9')
            rank = static_cast<unsigned>(c - '0');
        else if (c == 'a')
            rank = 1;
        else if (c == 't')
            rank = 10;
        else if (c == 'j')
            rank = 11;
        else if (c == 'q')
            rank = 12;
        else if (c == 'k')
            rank = 13;
    }
    if (rank == 0) return std::nullopt;
    return static_cast<Card>(rank | suit << 6);
}

// Calls f with each blank-separated word of `text` in turn, until f returns false.
template <class F>
void for_each_word(string_view text, F&& f) {
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_space_byte(text[i])) ++i;
        size_t j = i;
        while (j < text.size() && !is_space_byte(text[j])) ++j;
        if (j > i && !f(text.substr(i, j - i))) return;
        i = j;
    }
}

// The cards of a <cards> element; nullopt when they are hidden ("X X") or not cards.
std::optional<CardSet> cards_of(string_view text) {
    CardSet set;
    bool cards = true;
    for_each_word(text, [&](string_view word) {
        const auto c = card_of(word);
        cards = c && set.count < kMaxCards;
        if (cards) set.push(*c);
        return cards;
    });
    if (!cards || set.count == 0) return std::nullopt;
    return set;
}

// The cards of a stud street's <cards> ("X X D2", "C10"): those shown, and whether any is hidden
// ("X") and whether the last written (the first street's up card) is.
struct StudCards {
    CardSet cards;
    bool hidden = false, last_hidden = false;
};
StudCards stud_cards_of(string_view text) {
    StudCards s;
    for_each_word(text, [&](string_view word) {
        const auto c = card_of(word);
        s.last_hidden = !c;
        s.hidden |= !c;
        if (c && s.cards.count == kMaxCards) fault_line("more cards than a stud hand", text);
        if (c) s.cards.push(*c);
        return true;
    });
    return s;
}

// The number of cards written, hidden ones included.
unsigned cards_written(string_view text) noexcept {
    unsigned n = 0;
    bool in = false;
    for (const char c : text) {
        const bool word = !is_space_byte(c);
        n += word && !in;
        in = word;
    }
    return n;
}

const std::array<string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                             "jul", "aug", "sep", "oct", "nov", "dec"};

// "2014-01-06 17:11:41", "30/01/2012 02:30", "06.01.2014 17:11:41", "06-Apr-2014 17:11:41": the
// year written first (four digits) or last; 0 for another form.
PackedDate date_of(string_view t) noexcept {
    unsigned n[6] = {};
    size_t count = 0, i = 0, first_len = 0;
    while (i < t.size() && count < 6) {
        if (t[i] >= '0' && t[i] <= '9') {
            unsigned v = 0;
            const size_t at = i;
            while (i < t.size() && t[i] >= '0' && t[i] <= '9' && v < 100000)
                v = v * 10 + unsigned(t[i++] - '0');
            if (count == 0) first_len = i - at;
            n[count++] = v;
        } else if (count == 1 && i + 3 <= t.size() &&
                   ((t[i] | 0x20) >= 'a' && (t[i] | 0x20) <= 'z')) {
            const char m[3] = {static_cast<char>(t[i] | 0x20), static_cast<char>(t[i + 1] | 0x20),
                               static_cast<char>(t[i + 2] | 0x20)};
            const auto it = std::find(kMonths.begin(), kMonths.end(), string_view(m, 3));
            if (it == kMonths.end()) return 0;
            n[count++] = static_cast<unsigned>(it - kMonths.begin()) + 1;
            i += 3;
        } else {
            ++i;
        }
    }
    if (count < 5) return 0;
    unsigned y, mo, d;
    if (first_len == 4)
        y = n[0], mo = n[1], d = n[2];
    else
        d = n[0], mo = n[1], y = n[2];
    if (y < 2000 || mo == 0 || mo > 12 || d == 0 || d > 31) return 0;
    return pack_date(y, mo, d, n[3], n[4], count == 6 ? n[5] : 0);
}

class Reader {
  public:
    Reader(Parser& p, Errors errors, std::vector<Rejection>& rejected)
        : x_(p, errors, rejected), p_(p), b_(x_.builder()), sc_(x_.scanner()) {}
    void run();

  private:
    using GameEnd = XmlGames::End;
    // Reads the <game> just opened into game_. Faults on a malformed tag inside it.
    GameEnd read_game(size_t game_depth);
    HandOutcome build(string_view& quote, bool unclosed);
    template <class PlayRound>
    std::optional<string_view> play_flop_game(PlayRound& play_round, size_t& next_action);
    template <class PlayRound>
    bool play_stud(PlayRound& play_round, size_t& next_action, bool& completes);
    string_view decoded(string_view raw, std::string& buffer) {
        return XmlGames::decoded(raw, buffer);
    }
    std::uint8_t player_of(string_view raw) {
        const string_view name = decoded(raw, name_buffer_);
        if (name.empty()) fault_missing("player");
        const std::uint8_t id = p_.find_player(name);
        if (id < p_.player_count()) return id;
        return p_.player_id(name);  // a player the seats do not list
    }

    XmlGames x_;
    Parser& p_;
    HandBuilder& b_;
    xml::Scanner& sc_;
    Session session_;
    Game game_;
    ChipLedger ledger_;
    std::string name_buffer_, text_buffer_;
};

void Reader::run() {
    std::string* field = nullptr;
    size_t session_depth = 0;
    bool in_session = false;
    for (;;) {
        const xml::Token t = sc_.next();
        switch (t.event) {
            case xml::Event::End: return;
            case xml::Event::Error:
                x_.outside_error(t, "<game ");
                field = nullptr;
                break;
            case xml::Event::Text:
                if (field != nullptr && field->empty()) {
                    const string_view v = trim(x_.decoded_outside(t.text, text_buffer_));
                    field->assign(v);
                }
                break;
            case xml::Event::Close: field = nullptr; break;
            case xml::Event::Open: {
                field = nullptr;
                if (t.name == "session") {
                    session_.clear();
                    in_session = true;
                    session_depth = sc_.depth();
                    break;
                }
                if (t.name == "game") {
                    if (t.empty) break;
                    const size_t game_depth = sc_.depth() - 1;
                    game_.clear();
                    game_.code = xml::attribute(t.attributes, "gamecode").value_or(string_view{});
                    x_.hand(
                        t, game_.code, "<game ", "<session", [&] { return read_game(game_depth); },
                        [&](string_view& quote, bool unclosed) { return build(quote, unclosed); });
                    break;
                }
                if (!in_session || t.empty || sc_.depth() != session_depth + 2) break;
                // An element of the session's <general>.
                Session& s = session_;
                if (t.name == "gametype")
                    field = &s.gametype;
                else if (t.name == "tablename")
                    field = &s.tablename;
                else if (t.name == "tablecurrency")
                    field = &s.tablecurrency;
                else if (t.name == "currency")
                    field = &s.currency;
                else if (t.name == "nickname")
                    field = &s.nickname;
                else if (t.name == "tournamentname")
                    field = &s.tournamentname;
                else if (t.name == "buyin")
                    field = &s.buyin;
                else if (t.name == "tournamentcurrency")
                    field = &s.tournamentcurrency;
                else if (t.name == "client_version")
                    s.client_version = true;
                break;
            }
        }
    }
}

Reader::GameEnd Reader::read_game(size_t game_depth) {
    unsigned round = 0, order = 0;
    bool in_round = false, in_startdate = false;
    // The row of the <cards> element whose text comes next, by its index: a <cards> inside it
    // adds a row, which may move the rows.
    size_t open_cards = npos;
    return x_.element(game_depth, [&](const xml::Token& t) {
        switch (t.event) {
            case xml::Event::Text:
                if (open_cards < game_.cards.size())
                    game_.cards[open_cards].cards = t.text;
                else if (in_startdate)
                    game_.startdate = trim(t.text);
                break;
            case xml::Event::Close:
                if (t.name == "round") in_round = false;
                open_cards = npos;
                in_startdate = false;
                break;
            case xml::Event::Open:
                if (t.name == "player") {
                    PlayerRow row;
                    bool ok = xml::each_attribute(t.attributes, [&](string_view n, string_view v) {
                        if (n == "name")
                            row.name = v;
                        else if (n == "chips")
                            row.chips = v;
                        else if (n == "win")
                            row.win = v;
                        else if (n == "dealer")
                            row.dealer = v == "1";
                        else if (n == "seat") {
                            const auto s = read_integer(v);
                            row.seat = s && s->len == v.size() && s->value < kNone8
                                           ? unsigned(s->value)
                                           : kNone8;
                        }
                    });
                    if (!ok) fault_line("unreadable player", t.attributes);
                    if (row.seat == kNone8) fault_line("player without a seat", t.attributes);
                    if (!row.name.empty()) game_.players.push_back(row);
                } else if (t.name == "round") {
                    const auto no = xml::attribute(t.attributes, "no");
                    const auto n = no ? read_integer(*no) : std::nullopt;
                    if (!n || n->value > 16) fault_line("round without its number", t.attributes);
                    round = static_cast<unsigned>(n->value);
                    in_round = !t.empty;
                } else if (t.name == "action" && in_round) {
                    ActionRow a;
                    a.round = round;
                    a.order = order++;
                    bool has_no = false, has_type = false;
                    bool ok = xml::each_attribute(t.attributes, [&](string_view n, string_view v) {
                        if (n == "player")
                            a.player = v;
                        else if (n == "sum")
                            a.sum = v;
                        else if (n == "no" || n == "type") {
                            const auto x = read_integer(v);
                            if (!x || x->len != v.size() || x->value > 0xFFFFFF) return;
                            (n == "no" ? a.no : a.type) = static_cast<unsigned>(x->value);
                            (n == "no" ? has_no : has_type) = true;
                        }
                    });
                    if (!ok || !has_no || !has_type) fault_line("unreadable action", t.attributes);
                    game_.actions.push_back(a);
                } else if (t.name == "cards" && in_round) {
                    CardsRow c;
                    c.round = round;
                    c.type = xml::attribute(t.attributes, "type").value_or(string_view{});
                    c.player = xml::attribute(t.attributes, "player").value_or(string_view{});
                    game_.cards.push_back(c);
                    if (!t.empty) open_cards = game_.cards.size() - 1;
                } else if (t.name == "startdate") {
                    in_startdate = !t.empty;
                }
                break;
            default: break;
        }
    });
}

HandOutcome Reader::build(string_view& quote, bool unclosed) {
    const Session& s = session_;
    HandStore& store = b_.store();
    Header& h = b_.header();
    h.site = Site::IPoker;
    if (game_.code.empty()) return reject(kHandLineWithoutId);
    h.id = store.push_text(game_.code);
    quote = s.gametype;

    // The game: the gametype's words, else the number of pocket cards.
    const GameKind kind = game_kind(s.gametype);
    unsigned pocket = 0;
    for (const CardsRow& c : game_.cards)
        if (c.type == "Pocket") pocket = std::max(pocket, cards_written(c.cards));
    const bool stud = kind.stud || kind.razz;
    if (kind.other || (kind.holdem && kind.omaha) || (stud && (kind.holdem || kind.omaha)))
        return reject(kOtherGame);
    if (stud) {
        h.game_type = kind.razz    ? GameType::Razz
                      : kind.five  ? GameType::FiveCardStud
                      : kind.hi_lo ? GameType::SevenCardStudHiLo
                                   : GameType::SevenCardStud;
    } else if (kind.holdem || (!kind.omaha && pocket <= 2)) {
        if (pocket > 2) return reject(kOtherGame);
        h.game_type = kind.six_plus ? GameType::ShortDeckHoldEm : GameType::HoldEm;
    } else if (pocket <= 4) {
        h.game_type = kind.hi_lo ? GameType::OmahaHiLo : GameType::Omaha;
    } else if (pocket == 5) {
        h.game_type = kind.hi_lo ? GameType::FiveCardOmahaHiLo : GameType::FiveCardOmaha;
    } else if (pocket == 6) {
        h.game_type = kind.hi_lo ? GameType::SixCardOmahaHiLo : GameType::SixCardOmaha;
    } else {
        return reject(kOtherGame);
    }
    h.bet_type = kind.bet;
    if (!s.tablename.empty()) h.table_name = store.push_text(s.tablename);
    h.start_date = date_of(game_.startdate);
    h.start_utc = utc_start(h.start_date, TimeZone{});

    // Stakes: the last "a/b" of the gametype (a limit table writes its bets there).
    if (const size_t slash = s.gametype.rfind('/'); slash != std::string::npos) {
        const string_view g = s.gametype;
        size_t from = g.rfind(' ', slash);
        from = from == string_view::npos ? 0 : from + 1;
        if (const auto sb = local_amount(g.substr(from, slash - from))) h.small_blind = sb->value;
        if (const auto bb = local_amount(g.substr(slash + 1))) h.big_blind = bb->value;
    }

    // Cash or tournament, and the currency.
    if (s.tournament()) {
        Tournament t;
        const string_view name = s.tournamentname;
        // "Hyper Turbo (500 Chips) (#16727068)": the name, then the number.
        size_t name_end = std::min(name.find("(#"), name.size());
        while (name_end > 0 && name[name_end - 1] == ' ') --name_end;
        t.name = store.push_text(cut_text(name, 0, name_end));
        if (const size_t at = name.find("(#"); at != string_view::npos) {
            const auto n = read_integer(name.substr(at + 2));
            if (n) t.id = store.push_text(name.substr(at + 2, n->len));
        } else if (const size_t comma = s.tablename.rfind(", "); comma != std::string::npos) {
            const string_view rest = string_view(s.tablename).substr(comma + 2);
            const auto n = read_integer(rest);
            if (n) t.id = store.push_text(rest.substr(0, n->len));
        }
        const string_view buyin = s.buyin;
        t.currency = first_currency_sign(buyin);
        const string_view code = iso_code(s.tournamentcurrency) ? s.tournamentcurrency : s.currency;
        if (t.currency == 0 && iso_code(code))
            std::copy_n(code.begin(), 3, t.currency_code.begin());
        // "$5+$0.50", "$0.67+$0.07+$0.26", "Pts 11.00+Pts 0.00", "€0,50": the buy-in, then fees.
        Cents parts[2] = {0, 0};
        size_t from = 0, k = 0;
        bool any = false;
        while (from <= buyin.size() && !buyin.empty()) {
            const size_t plus = std::min(buyin.find('+', from), buyin.size());
            if (const auto a = local_amount(buyin.substr(from, plus - from))) {
                parts[k] += ChipLedger::cents(a->value);
                any = true;
            }
            k = 1;
            from = plus + 1;
        }
        t.buy_in = ChipLedger::of_cents(parts[0]);
        t.fee = ChipLedger::of_cents(parts[1]);
        if (buyin.find("Pts") != string_view::npos || buyin.find("FPP") != string_view::npos)
            t.buy_in_kind = BuyInKind::Points;
        else if (any && parts[0] + parts[1] == 0)
            t.buy_in_kind = BuyInKind::Freeroll;
        else if (any)
            t.buy_in_kind = BuyInKind::Money;
        b_.push_tournament(t);
    } else {
        h.currency = first_currency_sign(s.gametype);
        for (size_t i = 0; h.currency == 0 && i < game_.players.size(); ++i)
            h.currency = first_currency_sign(game_.players[i].chips);
        const string_view code = iso_code(s.tablecurrency) ? s.tablecurrency : s.currency;
        if (h.currency == 0 && iso_code(code)) {
            for (const CurrencyCode& c : kCurrencyCodes)
                if (c.code == code) h.currency = c.symbol;
            if (h.currency == 0) std::copy_n(code.begin(), 3, h.currency_code.begin());
        }
    }

    // Seats.
    std::array<Cents, kNoSlot> win{};
    for (const PlayerRow& row : game_.players) {
        const string_view name = decoded(row.name, name_buffer_);
        const std::uint8_t same = p_.find_player(name);
        if (same < p_.player_count() && store.text_of(p_.player(same).name) == name)
            fault_line("a player seated twice", name);
        if (p_.player_count() >= kNoSlot) fault_line("more players than a table seats", name);
        const std::uint8_t id =
            b_.seat_player(name, static_cast<std::uint8_t>(row.seat), amount_of(row.chips));
        win[id] = ChipLedger::cents(amount_of(row.win));
        if (row.dealer && !stud) h.button_seat = static_cast<std::uint8_t>(row.seat);
        if (!s.nickname.empty() && name == s.nickname) h.hero = id;
    }
    if (p_.player_count() == 0) fault_missing("players");
    ChipLedger& ledger = ledger_;
    ledger.begin(p_.player_count());
    for (std::uint8_t i = 0; i < p_.player_count(); ++i) ledger.add_win(i, win[i]);

    // The actions of each round in the order played.
    sort_rows(game_.actions, [](const ActionRow& a, const ActionRow& c) {
        return a.round != c.round ? a.round < c.round : a.no < c.no;
    });
    size_t next_action = 0;
    bool completes = false;  // a bet on stud's first street completes the bring-in
    const auto play_round = [&](unsigned r) {
        for (; next_action < game_.actions.size() && game_.actions[next_action].round == r;
             ++next_action) {
            const ActionRow& a = game_.actions[next_action];
            const std::uint8_t id = player_of(a.player);
            ledger.grow(p_.player_count());
            if (id >= kNoSlot) fault_line("a player without a slot in the hand", a.player);
            const Cents sum = ChipLedger::cents(amount_of(a.sum));
            Cents added = sum;
            ActionType type;
            switch (a.type) {
                case 0: type = ActionType::Fold; break;
                case 1: type = ActionType::SmallBlind; break;
                case 2: type = ActionType::BigBlind; break;
                case 3: type = ActionType::Call; break;
                case 4: type = ActionType::Check; break;
                case 5: type = completes ? ActionType::Complete : ActionType::Bet; break;
                case 6: type = ActionType::Raise; break;
                case 7: type = ledger.all_in(id, sum); break;
                case 8:
                case 9: type = ActionType::Sitout; break;
                case 15: type = ActionType::Ante; break;
                case 16:
                    if (!stud) fault_game("a bring-in outside stud");
                    type = ActionType::BringIn;
                    break;
                case 23:
                    type = ActionType::Raise;
                    added = std::max<Cents>(sum - ledger.street(id), 0);
                    break;
                default: fault_game("unrecognised action type " + std::to_string(a.type));
            }
            ledger.push(b_, type, id, added);
        }
    };

    // A table without stakes in its gametype (a tournament's) has the blinds it posts.
    for (size_t i = 0; i < game_.actions.size() && game_.actions[i].round == 0; ++i) {
        const ActionRow& a = game_.actions[i];
        const float v = amount_of(a.sum);
        if (a.type == 1 && h.small_blind == 0) h.small_blind = v;
        if (a.type == 2 && h.big_blind == 0) h.big_blind = v;
        if (a.type == 15) h.ante = std::max(h.ante, v);
    }
    play_round(0);
    b_.close_pre_deal();
    if (stud) {
        if (!play_stud(play_round, next_action, completes)) {
            quote = {};
            return reject("action in a round after the last street");
        }
    } else {
        if (const auto why = play_flop_game(play_round, next_action)) return reject(*why);
    }
    ledger.showdown(b_);

    // The wins. Older clients (no <client_version>) count a bet nobody called in its bettor's
    // win, as does any win that the pot without it cannot pay.
    if (ledger.unmatched() > 0 && (!s.client_version || ledger.wins_hold_return()))
        ledger.take_return_from_win();
    // A game cut off after a round is whole when its chips pay its wins; else rounds are missing.
    if (unclosed && ledger.won() > ledger.pot()) {
        quote = {};
        return reject(kTextEndsInsideElement);
    }
    ledger.settle(b_);
    return b_.finish();
}

// Hold'em and Omaha after the posts: the pocket cards, the preflop, then rounds 2 to 4 (flop,
// turn, river, each with its board). The reason of a game that cannot be read, else nullopt.
template <class PlayRound>
std::optional<string_view> Reader::play_flop_game(PlayRound& play_round, size_t& next_action) {
    HandStore& store = b_.store();
    Header& h = b_.header();
    ChipLedger& ledger = ledger_;
    // Pocket cards: the hero's dealt (the session's nickname, else the one player whose cards
    // the history shows), the others' shown at the end.
    unsigned known = 0;
    std::uint8_t hero = h.hero;
    for (const CardsRow& c : game_.cards) {
        if (c.type != "Pocket") continue;
        const auto set = cards_of(c.cards);
        if (!set) continue;
        const std::uint8_t id = player_of(c.player);
        if (id >= kNoSlot) continue;
        ledger.grow(p_.player_count());
        ledger.show_cards(id, store.push_card_set(*set));
        ++known;
        if (h.hero == kNone8) hero = id;
    }
    if (h.hero == kNone8 && known != 1) hero = kNone8;
    if (hero < kNoSlot && ledger.cards_of(hero) != kNoCards) {
        b_.push(Action::make(ActionType::Dealt, hero, ledger.cards_of(hero)));
        b_.dealt_cards_to(hero);
    }
    // Rounds before the preflop's number hold no action of their own beyond round 0.
    while (next_action < game_.actions.size() && game_.actions[next_action].round < 1)
        ++next_action;
    play_round(1);
    ledger.return_unmatched(b_);
    b_.close_preflop();
    constexpr std::array<std::pair<string_view, StreetKind>, 3> kStreets = {
        {{"Flop", StreetKind::Flop}, {"Turn", StreetKind::Turn}, {"River", StreetKind::River}}};
    for (unsigned r = 2; r <= 4; ++r) {
        const CardsRow* board = nullptr;
        for (const CardsRow& c : game_.cards)
            if (c.round == r && c.type == kStreets[r - 2].first) board = &c;
        const bool acts =
            next_action < game_.actions.size() && game_.actions[next_action].round == r;
        if (board == nullptr && !acts) continue;
        const auto cards = board ? cards_of(board->cards) : std::nullopt;
        if (board != nullptr && !cards) fault_line("unreadable board", board->cards);
        ledger.new_street();
        play_round(r);
        ledger.return_unmatched(b_);
        b_.close_street(kStreets[r - 2].second, cards.value_or(CardSet::empty()));
    }
    if (next_action < game_.actions.size()) return "action in a round after the river";
    return std::nullopt;
}

// Stud after the antes: rounds 1 (the flop games' pocket round) and 2 are the first street,
// rounds 3 on the later ones (seven-card stud's seventh is round 6). Each <cards> of a round holds
// what it deals one player, hidden cards written "X": on the first street the down cards, then
// the up card; on the later streets one up card, but seventh street's is dealt down. The hero's
// down cards are dealt to the hero; the others' are known once shown, and shown at the showdown
// with their up cards when none is hidden. False for an action in a round after the last street.
template <class PlayRound>
bool Reader::play_stud(PlayRound& play_round, size_t& next_action, bool& completes) {
    HandStore& store = b_.store();
    Header& h = b_.header();
    ChipLedger& ledger = ledger_;
    const bool seven = h.game_type != GameType::FiveCardStud;
    const unsigned last = seven ? 6 : 5;
    // The hero: the session's nickname, else the one player whose down cards are shown.
    std::uint8_t hero = h.hero;
    if (hero == kNone8) {
        unsigned shown = 0;
        for (const CardsRow& c : game_.cards) {
            if (c.round > 2 || stud_cards_of(c.cards).cards.count < 2) continue;
            ++shown;
            hero = player_of(c.player);
        }
        if (shown != 1) hero = kNone8;
    }
    std::array<CardSet, kNoSlot> held{};
    std::array<bool, kNoSlot> unknown{};
    const auto deal = [&](unsigned from, unsigned to, bool first, bool down) {
        for (const CardsRow& c : game_.cards) {
            if (c.round < from || c.round > to) continue;
            const std::uint8_t id = player_of(c.player);
            ledger.grow(p_.player_count());
            if (id >= kNoSlot) continue;
            const string_view name = decoded(c.player, name_buffer_);
            const StudCards s = stud_cards_of(c.cards);
            unknown[id] = unknown[id] || s.hidden || s.cards.count == 0;
            for (std::uint8_t i = 0; i < s.cards.count; ++i) {
                if (held[id].count == kMaxCards) fault_line("more cards than a stud hand", c.cards);
                held[id].push(s.cards.cards[i]);
            }
            if (id == hero || !first) {
                if (id == hero || !down) push_stud_cards(b_, name, s.cards, first, down);
            } else if (!s.last_hidden && s.cards.count > 0) {  // the up card only
                CardSet up;
                up.push(s.cards.cards[s.cards.count - 1]);
                push_stud_cards(b_, name, up, true, false);
            }
        }
    };
    deal(1, 2, true, false);
    completes = true;
    play_round(1);
    play_round(2);
    completes = false;
    ledger.return_unmatched(b_);
    b_.close_preflop();
    constexpr StreetKind kLater[] = {StreetKind::Flop, StreetKind::Turn, StreetKind::River,
                                     StreetKind::Seventh};
    for (unsigned r = 3; r <= last; ++r) {
        const bool dealt = std::any_of(game_.cards.begin(), game_.cards.end(),
                                       [&](const CardsRow& c) { return c.round == r; });
        const bool acts =
            next_action < game_.actions.size() && game_.actions[next_action].round == r;
        if (!dealt && !acts) continue;
        ledger.new_street();
        deal(r, r, false, seven && r == 6);
        play_round(r);
        ledger.return_unmatched(b_);
        b_.close_street(kLater[r - 3], CardSet::empty());
    }
    if (next_action < game_.actions.size()) return false;
    for (std::uint8_t id = 0; id < kNoSlot; ++id)
        if (!unknown[id] && held[id].count > 0)
            ledger.show_cards(id, store.push_card_set(held[id]));
    return true;
}

}  // namespace

void parse_hands(Parser& parser, Errors errors, std::vector<Rejection>& rejected) {
    Reader(parser, errors, rejected).run();
}

}  // namespace hs::ipoker
