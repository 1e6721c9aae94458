// The standard Open Hand History export.
//
// One pass over the store per hand, straight into the shared JSON writer. What the records hold
// in the history's own terms is turned into the format's here: the chips each action adds and
// whether it is all in come from the hand facts (one replay of the hand, shared with the
// tables), the pots with their winners and rake, the rounds of a hand run twice, the UTC start
// time the readers stored. Amounts are exact decimals (Money), so a pot less its wins is the
// history's own figure.
//
// The format leaves some points open; each is decided once, in the "Choices" section below.
#include "export/ohh.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/money.hpp"
#include "export/json_writer.hpp"
#include "facts/facts.hpp"

#ifndef HANDSCRIBE_VERSION
#error "HANDSCRIBE_VERSION is set by the build from pyproject.toml"
#endif

namespace hs {

const std::string_view kOhhInternalVersion = HANDSCRIBE_VERSION;

namespace {

using std::string_view;

// ---------------------------------------------------------------------------------------------
// Choices: what the format leaves open, decided here once
// ---------------------------------------------------------------------------------------------

// Action numbers restart at 0 in every round, as the format's text says (its examples begin
// at 1).
constexpr std::uint64_t kFirstActionNumber = 0;

// Site and network names. What an amount means on each site (a raise's increment or the chips
// added, a total with or after the rake, bets nobody called left in the pot) is the hand facts'
// (facts::site_rules). The format counts returned chips in no pot, so on a site that leaves
// them in (Winamax) the export takes the unmatched chips of the last round that had bets out of
// the bettor's last pot and win (a pot left empty goes). The Pluribus logs are research logs
// written in PokerStars' layout, not PokerStars hands: they are named for themselves.
struct SiteForm {
    string_view site, network;
};
constexpr std::array<SiteForm, kSiteCount> kSiteForms = {{
    {"PokerStars", "PokerStars"},                // PokerStars
    {"Pluribus", "Pluribus"},                    // PokerStarsPluribus
    {"OnGame", "OnGame"},                        // OnGame
    {"Absolute Poker", "Cereus"},                // Absolute
    {"Everleaf", "Everleaf Gaming"},             // EverLeaf
    {"BetOnline", "Chico"},                      // BetOnline
    {"Full Tilt Poker", "Full Tilt Poker"},      // FullTiltPoker
    {"Pacific Poker", "888 Poker"},              // PacificPoker
    {"PokerTracker", "PokerTracker"},            // PokerTracker
    {"partypoker", "partypoker"},                // PartyPoker
    {"GGPoker", "GGNetwork"},                    // GGPoker
    {"Winamax", "Winamax"},                      // Winamax
    {"Kings Club", "Kings Club"},                // KingsClub
    {"Bovada", "Bovada"},                        // Bovada
    {"Enet", "Enet"},                            // Enet
    {"Cake Poker", "Cake Network"},              // Cake
    {"PKR", "PKR"},                              // Pkr
    {"Winning Poker", "Winning Poker Network"},  // Winning
    {"iPoker", "iPoker Network"},                // IPoker
    {"PokerNow", "PokerNow"},                    // PokerNow
    {"Merge Gaming", "Merge Gaming Network"},    // Merge
    {"Run It Once Poker", "Run It Once Poker"},  // RunItOnce
    {"PokerMaster", "PokerMaster"},              // PokerMaster
    {"PokerBros", "PokerBros"},                  // PokerBros
    {"PayNoRake", "Chico"},                      // PayNoRake
    {"Grand Poker", "Everleaf Gaming"},          // GrandPoker
}};

// The format's game names, in the model's code order. A game the format has no name for fails
// the hand: its "Omaha" deals four cards and its "Holdem" a full deck, so five- and six-card
// Omaha, short deck and Courchevel have no name that would not misstate them. Razz, badugi and
// the lowball draws have none either; and its "Stud", "StudHiLo" and "Draw" are left out too, as
// its rounds cannot hold them: it names four betting rounds where stud has five, and it has no
// action for a card dealt face up, a bring-in, a discard or a player standing pat. Nor has it a
// name for 2-7 razz, A-5 single draw, Badacey, Badeucey or Drawmaha (a board and a draw, the pot
// split between two hands its rounds and actions cannot tell apart).
constexpr std::array<string_view, kGameTypeCount> kGameNames = {"Holdem", "Omaha", "OmahaHiLo"};

// Money without a sign: cash play money and the Pluribus logs' chips are play chips, "XPM" (the
// code since 1.4.6; "PPC" before). A tournament hand's amounts are chips: its currency is its
// buy-in's (the format has no code for chips), a StarsCoin buy-in "XSC", and a tournament whose
// hand names no money at all (a freeroll, a play-money or unwritten buy-in, a Winamax ticket won
// before) plays for play chips, "XPM"; a ticket's buy-in and fee, which its hands do not give,
// are null. Player points (FPP) are play chips too: a buy-in in points is written "XPM", its
// amounts the points.
constexpr string_view kPlayMoney = "XPM", kStarsCoin = "XSC";

// What tournament_info needs and a hand history does not say: the tournament's name where the
// history writes none (the format's own example writes ""), its start (the hand's start is
// written: the tournament had started by then), its starting stack (0: not known), whether it is
// played at one table (a hand does not tell: "MTT", the general case) and its speed ("Normal", 0
// seconds between levels: not known).
constexpr string_view kTournamentType = "MTT", kSpeed = "Normal";
constexpr string_view kInitialStack = "0", kRoundTime = "0";
// The start of a hand whose history writes no date (888poker's tournament layout): the format
// requires one, and the Unix epoch, which no history's hand can have, says "not known".
constexpr string_view kUnknownStart = "1970-01-01T00:00:00Z";

// The table's size is at least its largest seat number (OnGame writes the number of players
// dealt in where PokerStars writes the size; old histories write none), at least the button's
// seat (a dead button's seat may be empty) and at least 2. Sizes
// above 10 cannot be written.
constexpr std::uint8_t kMinTableSize = 2, kMaxTableSize = 10;

// The amount of each posted blind: PokerStars' "posts small & big blinds $0.15" is a live big
// blind ("Post BB", the big blind's amount) and a dead small blind ("Post Dead", the rest);
// OnGame's "posts dead blind" is "Post Dead". A second small blind of a hand is one posted out
// of position by a player coming in, and is dead too ("Post Dead"). Dead money counts for no bet
// of the round.
// A "Bet" in the preflop (a site that writes the first voluntary chips there as a bet) is written
// as "Raise": the format allows no Bet there.
//
// Shows: every "Shows Cards" and every "Mucks Cards" with known cards is in a Showdown round: the
// history's showdown rounds (one per board of a hand run twice), and the last of them (or one
// after the streets when the history has none) also takes the shows of the betting rounds and
// the cards the summary alone shows or mucks. Cards folded face up stay on the Fold.
//
// GGPoker's all-in insurance premium goes to the site, not into the pot, and no action of the
// format carries it: it is left out (the player's win is the pot's, as the history writes it).
//
// Chips the site adds to the pot (GGPoker's cash drop) are an "Add to Pot" without a player, the
// first action of the Preflop round (the history writes them before the posts).
//
// Pots: the main pot is the total less the side pots, which PokerStars lists after the rake is
// taken, so the whole rake is in the main pot; each pot's rake is its amount less its wins and
// its jackpot (a pot whose wins exceed it cannot be written). The main pot's jackpot is every fee
// of the summary but its rake: GGPoker's "Jackpot" and its "Bingo" (a fee for a promotion, taken
// from the pot like the jackpot: the format's "jackpot or similar fee"). Every collect line is one
// player_wins entry of its pot, in text order: a split, the halves of a hi/lo pot and the boards of
// a hand run twice give several entries, a player's several entries are not added up (the format
// has no field for the half a hi/lo entry wins: the native JSON and the Arrow tables give it). A
// summary that lists no side pots (Winamax) while collect lines name them makes each side pot what
// its collections take, the rest of the total being the main pot. The total is taken with the rake
// and without the chips returned, per site (see kSiteForms). The summary's wins that no collect
// line gives (a hand without collect lines, as OnGame's; a pot "not awarded as player cashed out")
// are spread over the pots by summary_wins. A cash-out is the cashout_amount and cashout_fee of its
// player's main-pot entry, else of the player's first entry (win_amount 0 when the player won
// nothing).
//
// Players are those dealt in: the seat lines' players (sitting out too, marked so). Names met
// only in chat or status lines, and players who join the table during the hand, are not listed;
// an action that the export writes for one of them fails the hand. The hero's (and any
// player's) dealt cards are a "Dealt Cards" action where the history shows them.
//
// Tournaments: tournament_info holds what a hand history says (number, currency, buy-in, fee,
// bounty fee, the flags "Bounty" and "Shootout"), and for the rest the values above.

// The decimal form of an amount: digits, and the fraction without trailing zeros ("0.5", "12").
void write_money(JsonWriter& w, Money m) { w.money(m); }

// ---------------------------------------------------------------------------------------------
// The writer of one hand
// ---------------------------------------------------------------------------------------------

// The format's name of a posted blind, and whether its chips count for the round's bets.
struct PostForm {
    string_view name;
    bool live;
};
std::optional<PostForm> post_form(ActionType t) noexcept {
    switch (t) {
        case ActionType::Ante: return PostForm{"Post Ante", false};
        case ActionType::SmallBlind: return PostForm{"Post SB", true};
        case ActionType::BigBlind: return PostForm{"Post BB", true};
        case ActionType::DeadBlind: return PostForm{"Post Dead", false};
        case ActionType::ExtraBlind: return PostForm{"Post Extra Blind", true};
        default: return std::nullopt;
    }
}

// The pot a collect action names: 0 for the main pot, k for side pot k.
std::optional<std::size_t> collected_pot(ActionType t) noexcept {
    switch (t) {
        case ActionType::CollectMainPot: return 0;
        case ActionType::CollectSidePot1: return 1;
        case ActionType::CollectSidePot2: return 2;
        case ActionType::CollectSidePot3: return 3;
        default: return std::nullopt;
    }
}

enum class RoundKind : std::uint8_t { Betting, Showdown };

class HandWriter {
  public:
    HandWriter(const HandStore& store, JsonWriter& w) : store_(store), w_(w) {}

    // Writes the hand; or gives the reason it cannot be written where that is the format's (a
    // game it has no name for: a common case, as stud and draw are, given without the cost of
    // an exception), the bytes written so far to be cut off. A broken record is a Fault.
    std::optional<std::string> hand(const Hand& h) {
        const Header& hd = h.header;
        hand_ = &h;
        players_ = store_.resolve(store_.players, hd.players);
        if (players_.size() > kNoSlot) fault_index(players_.size(), kNoSlot);
        const auto site = static_cast<std::size_t>(hd.site);
        if (site >= kSiteForms.size()) fault_index(site, kSiteForms.size());
        site_ = &kSiteForms[site];
        replay_.run(store_, h);
        if (!replay_.hand().problem.empty()) fault(std::string(replay_.hand().problem));
        small_blind_posted_ = false;
        const Tournament* t = hd.is_tournament() ? &at(store_.tournaments, hd.tournament) : nullptr;
        const string_view currency = currency_of(hd, t);

        // The members that are the same for every hand of a site, in one copy.
        std::string& head = heads_[site];
        if (head.empty()) head = site_head(*site_);
        w_.raw(head);
        Obj o(w_, Obj::Continued{});
        if (t != nullptr) {
            o.key("tournament").flag(true);
            o.key("tournament_info");
            tournament_info(*t, currency, hd.start_utc);
        }
        o.key("game_number").text(store_.text_of(hd.id));
        o.key("start_date_utc");
        start_date(hd.start_utc);
        o.key("table_name");
        table_name(hd, t);
        const string_view game = name_of(kGameNames, static_cast<std::size_t>(hd.game_type));
        if (game.empty())
            return std::string("a game the format has no name for: ") +
                   std::string(enum_text(kGameTypeNames, hd.game_type));
        const string_view bet_type = name_of(kBetLimitCodes, static_cast<std::size_t>(hd.bet_type));
        const std::uint8_t size = table_size(hd);
        if (hd.button_seat == kNone8) fault("no button seat");
        if (hd.hero != kNone8) listed(hd.hero);
        const Money cap = money_of(hd.bet_cap), small = money_of(hd.small_blind),
                    big = money_of(hd.big_blind);
        // The members from game_type to the flags in one reservation: the literals take 230
        // bytes at most, the names and the four amounts the rest.
        const std::size_t most =
            256 + game.size() + bet_type.size() + currency.size() + 4 * JsonWriter::kMoneyBytes;
        char* const start = w_.room(most);
        char* p = JsonWriter::literal_at(start, ",\"game_type\":");
        p = JsonWriter::quoted_at(p, game);
        p = JsonWriter::literal_at(p, ",\"bet_limit\":{\"bet_type\":");
        p = JsonWriter::quoted_at(p, bet_type);
        p = JsonWriter::literal_at(p, ",\"bet_cap\":");
        p = JsonWriter::money_at(p, cap);
        p = JsonWriter::literal_at(p, "},\"table_size\":");
        p = JsonWriter::small_at(p, size);
        p = JsonWriter::literal_at(p, ",\"currency\":");
        p = JsonWriter::quoted_at(p, currency);
        p = JsonWriter::literal_at(p, ",\"dealer_seat\":");
        p = JsonWriter::small_at(p, hd.button_seat);
        p = JsonWriter::literal_at(p, ",\"small_blind_amount\":");
        p = JsonWriter::money_at(p, small);
        p = JsonWriter::literal_at(p, ",\"big_blind_amount\":");
        p = JsonWriter::money_at(p, big);
        p = JsonWriter::literal_at(p, ",\"ante_amount\":");
        p = JsonWriter::money_at(p, replay_.hand().largest_ante);
        if (hd.hero != kNone8) {
            p = JsonWriter::literal_at(p, ",\"hero_player_id\":");
            p = JsonWriter::small_at(p, hd.hero);
        }
        p = JsonWriter::literal_at(p, ",\"flags\":[");
        p = flags_at(p, h);
        *p++ = ']';
        w_.commit(static_cast<std::size_t>(p - start));
        o.key("players");
        players(t);
        o.key("rounds");
        rounds(h);
        o.key("pots");
        pots(h);
        if (t != nullptr) {
            o.key("tournament_bounties");
            bounties(h);
        }
        w_.raw("}}");
        return std::nullopt;
    }

  private:
    // -----------------------------------------------------------------------------------------
    // Header
    // -----------------------------------------------------------------------------------------

    static string_view currency_of(const Header& hd, const Tournament* t) {
        if (t == nullptr) {
            const string_view code = iso_currency(hd);
            return code.empty() ? kPlayMoney : code;
        }
        if (const string_view code = iso_currency(*t); !code.empty()) return code;
        if (t->buy_in_kind == BuyInKind::StarsCoin) return kStarsCoin;
        return kPlayMoney;
    }

    std::uint8_t table_size(const Header& hd) const {
        std::uint8_t size = std::max(hd.max_players, kMinTableSize);
        if (hd.button_seat != kNone8) size = std::max(size, hd.button_seat);
        for (const Player& p : players_)
            if (dealt_in(p)) size = std::max(size, p.seat);
        if (size > kMaxTableSize) {
            std::string detail = "a table of ";
            append_u64(detail, size);
            detail += " seats";
            fault(detail);
        }
        return size;
    }

    // The flags' names, separated, at p (60 bytes at most).
    static char* flags_at(char* p, const Hand& h) {
        bool first = true;
        const auto one = [&](string_view name) {
            if (!first) *p++ = ',';
            first = false;
            p = JsonWriter::quoted_at(p, name);
        };
        if (run_twice(h)) one("Run_It_Twice");
        if (h.header.hero == kNone8) one("Observed");
        if (h.header.fast_fold) one("Fast");
        if (h.header.bet_cap > 0.0f) one("Cap");
        return p;
    }

    // The start of a hand's object up to its first member that varies: "{"ohh":{" and the
    // versions and names of the site.
    static std::string site_head(const SiteForm& form) {
        std::string s = "{\"ohh\":{\"spec_version\":\"";
        s += kOhhSpecVersion;
        s += "\",\"site_name\":\"";
        s += form.site;
        s += "\",\"network_name\":\"";
        s += form.network;
        s += "\",\"internal_version\":\"";
        s += kOhhInternalVersion;
        s += '"';
        return s;
    }

    static bool dealt_in(const Player& p) noexcept { return p.seat != kNone8 && !p.joined; }

    // The id of a player that the export writes: one dealt in.
    std::uint8_t listed(std::uint8_t player) const {
        if (player < players_.size() && dealt_in(players_[player])) [[likely]]
            return player;
        not_listed(player);
    }
    [[noreturn, gnu::noinline]] void not_listed(std::uint8_t player) const {
        if (player >= players_.size()) fault_index(player, players_.size());
        std::string message = "an action of ";
        append_quoted(message, store_.text_of(players_[player].name));
        fault(message + ", who was not dealt in");
    }

    void players(const Tournament* t) {
        const auto bounties =
            t != nullptr ? store_.resolve(store_.amounts, t->bounties) : std::span<const float>();
        w_.put('[');
        bool first = true;
        for (std::size_t i = 0; i < players_.size(); ++i) {
            const Player& p = players_[i];
            if (!dealt_in(p)) continue;
            const string_view name = store_.text_of(p.name);
            const bool plain = JsonWriter::plain_prefix(name) == name.size();
            const Money stack = money_of(p.chips);
            // The literals take 80 bytes at most, the numbers 6, the amounts two kMoneyBytes.
            constexpr std::size_t kMost = 96 + 2 * JsonWriter::kMoneyBytes;
            char* start = w_.room(kMost + name.size());
            char* q = start;
            if (!first) *q++ = ',';
            first = false;
            q = JsonWriter::literal_at(q, "{\"id\":");
            q = JsonWriter::small_at(q, static_cast<std::uint8_t>(i));
            q = JsonWriter::literal_at(q, ",\"seat\":");
            q = JsonWriter::small_at(q, p.seat);
            q = JsonWriter::literal_at(q, ",\"name\":");
            if (plain) {
                q = JsonWriter::quoted_at(q, name);
            } else {
                w_.commit(static_cast<std::size_t>(q - start));
                w_.text(name);
                start = q = w_.room(kMost);
            }
            q = JsonWriter::literal_at(q, ",\"starting_stack\":");
            q = JsonWriter::money_at(q, stack);
            if (i < bounties.size()) {
                q = JsonWriter::literal_at(q, ",\"player_bounty\":");
                q = JsonWriter::money_at(q, money_of(bounties[i]));
            }
            if (p.sitting_out) q = JsonWriter::literal_at(q, ",\"is_sitting_out\":true");
            *q++ = '}';
            w_.commit(static_cast<std::size_t>(q - start));
        }
        w_.put(']');
    }

    // The format wants a table's name; a history that names none gives its tournament's number
    // (888poker's freerolls), else the site's name (PokerNow's logs).
    void table_name(const Header& hd, const Tournament* t) {
        if (hd.table_name.length() != 0)
            w_.text(store_.text_of(hd.table_name));
        else if (t != nullptr)
            w_.text(store_.text_of(t->id));
        else
            w_.name(site_->site);
    }

    void start_date(PackedDate start) {
        if (start == 0)
            w_.name(kUnknownStart);
        else
            w_.date(start);
    }

    void tournament_info(const Tournament& t, string_view currency, PackedDate start) {
        Obj o(w_);
        o.key("tournament_number").text(store_.text_of(t.id));
        o.key("name").text(store_.text_of(t.name));
        o.key("start_date_utc");
        start_date(start);
        o.key("currency").name(currency);
        const auto price = [&](string_view key, float amount) {
            o.key(key);
            if (t.buy_in_kind == BuyInKind::Ticket)
                w_.null();
            else
                write_money(w_, money_of(amount));
        };
        price("buyin_amount", t.buy_in);
        price("fee_amount", t.fee);
        o.key("bounty_fee_amount");
        write_money(w_, money_of(t.bounty_fee));
        o.key("initial_stack").raw(kInitialStack);
        o.key("type").name(kTournamentType);
        o.key("flags");
        {
            Arr arr(w_);
            if (t.bounty_fee > 0.0f || t.bounties.count() != 0) arr.next().name("Bounty");
            if (t.match_round.length() != 0) arr.next().name("Shootout");
            arr.close();
        }
        o.key("speed");
        {
            Obj speed(w_);
            speed.key("type").name(kSpeed);
            speed.key("round_time").raw(kRoundTime);
            speed.close();
        }
        o.close();
    }

    // -----------------------------------------------------------------------------------------
    // Rounds
    // -----------------------------------------------------------------------------------------

    // An open round object: its actions are numbered as they are written. Each action's object
    // is written in one reservation where its size is bounded.
    class Round {
      public:
        Round(HandWriter& hw, std::uint64_t id, string_view street, const CardSet* cards)
            : w_(hw.w_) {
            // The literals take 40 bytes, the number 20 at most, the street 10, the cards
            // kCardsBytes.
            constexpr std::size_t kMost = 80 + JsonWriter::kCardsBytes;
            char* const start = w_.room(kMost);
            char* p = JsonWriter::literal_at(start, "{\"id\":");
            p = std::to_chars(p, p + 20, id).ptr;
            p = JsonWriter::literal_at(p, ",\"street\":");
            p = JsonWriter::short_name_at(p, street);
            if (cards != nullptr && cards->count != 0) {
                p = JsonWriter::literal_at(p, ",\"cards\":");
                p = JsonWriter::cards_at(p, *cards);
            }
            p = JsonWriter::literal_at(p, ",\"actions\":[");
            w_.commit(static_cast<std::size_t>(p - start));
        }
        // A whole action that puts no chips in (amount 0, not all in), with the cards it shows
        // when `cards` is given, its object closed.
        void no_chips(std::uint8_t player, string_view name, const CardSet* cards) {
            char* const start = w_.room(kHeadBytes + name.size() + 64 + JsonWriter::kCardsBytes);
            char* p = head_at(start, player);
            p = JsonWriter::quoted_at(p, name);
            p = JsonWriter::literal_at(p, ",\"amount\":0,\"is_allin\":false");
            if (cards != nullptr) {
                p = JsonWriter::literal_at(p, ",\"cards\":");
                p = JsonWriter::cards_at(p, *cards);
            }
            *p++ = '}';
            w_.commit(static_cast<std::size_t>(p - start));
        }
        // A whole action of a player that puts `chips` in (0 for none), its object closed:
        // the same bytes as action() and its members, in one reservation.
        void chips_action(std::uint8_t player, string_view name, Money chips, bool all_in) {
            constexpr std::size_t kTail = 32 + JsonWriter::kMoneyBytes;
            char* const start = w_.room(kHeadBytes + name.size() + kTail);
            char* p = head_at(start, player);
            p = JsonWriter::quoted_at(p, name);
            p = JsonWriter::literal_at(p, ",\"amount\":");
            p = JsonWriter::money_at(p, chips);
            p = JsonWriter::literal_at(p, ",\"is_allin\":");
            p = JsonWriter::flag_at(p, all_in);
            *p++ = '}';
            w_.commit(static_cast<std::size_t>(p - start));
        }
        void close() { w_.raw("]}"); }

      private:
        // The separator, the number, the player and the "action" key: 48 bytes of literals, 20
        // of number, 3 of player, and the name's quotes.
        static constexpr std::size_t kHeadBytes = 80;
        char* head_at(char* p, std::uint8_t player) {
            if (number_ != kFirstActionNumber) *p++ = ',';
            p = JsonWriter::literal_at(p, "{\"action_number\":");
            p = std::to_chars(p, p + 20, number_++).ptr;
            if (player != kNoSlot) {
                p = JsonWriter::literal_at(p, ",\"player_id\":");
                p = JsonWriter::small_at(p, player);
            }
            return JsonWriter::literal_at(p, ",\"action\":");
        }

        JsonWriter& w_;
        std::uint64_t number_ = kFirstActionNumber;
    };

    void rounds(const Hand& h) {
        shown_ = 0;
        pending_shows_.clear();
        round_id_ = 0;

        Arr arr(w_);
        arr.next();
        {
            Round r(*this, round_id_++, "Preflop", nullptr);
            if (const Money added = replay_.hand().added; added != 0) {
                r.chips_action(kNoSlot, "Add to Pot", added, false);
            }
            for (const Action& a : store_.resolve(store_.actions, h.header.actions)) post(r, a);
            betting(r, h.preflop.actions, true);
            r.close();
        }
        // The streets in the order of the history's street lines.
        const auto showdowns = store_.resolve(store_.showdowns, h.showdowns);
        const Street* last_showdown = showdowns.empty() ? nullptr : &showdowns.back();
        each_street(store_, h, [&](hs::Round kind, std::size_t, const Street& st) {
            arr.next();
            if (kind == hs::Round::Showdown) {
                Round r(*this, round_id_++, "Showdown", nullptr);
                shows(r, store_.resolve(store_.actions, st.actions));
                if (&st == last_showdown) late_shows(r, h);
                r.close();
                return;
            }
            const string_view name = kind == hs::Round::Flop   ? "Flop"
                                     : kind == hs::Round::Turn ? "Turn"
                                                               : "River";
            Round r(*this, round_id_++, name, &st.cards);
            betting(r, st.actions, false);
            r.close();
        });
        if (last_showdown == nullptr && (!pending_shows_.empty() || summary_shows(h))) {
            arr.next();
            Round r(*this, round_id_++, "Showdown", nullptr);
            late_shows(r, h);
            r.close();
        }
        arr.close();
    }

    // A post of `m` chips, all in as the facts say.
    void post_action(Round& r, std::uint8_t player, string_view name, Money m, bool all_in) {
        r.chips_action(player, name, m, all_in);
    }

    // A line before the deal: posts are written, joins, sit-outs, chat and tournament events are
    // not actions of the format.
    void post(Round& r, const Action& a) {
        const ActionType type = a.type();
        const facts::ActionFacts& f = replay_.action(store_, a);
        if (type == ActionType::BigSmallBlind) {
            const std::uint8_t p = listed(a.player_id());
            const Money live = std::min(f.chips, money_of(hand_->header.big_blind));
            post_action(r, p, "Post BB", live, f.all_in && f.chips == live);
            if (f.chips > live) post_action(r, p, "Post Dead", f.chips - live, f.all_in);
            return;
        }
        if (type == ActionType::SmallBlind && small_blind_posted_) {
            post_action(r, listed(a.player_id()), "Post Dead", f.chips, f.all_in);
            return;
        }
        if (const auto form = post_form(type)) {
            small_blind_posted_ |= type == ActionType::SmallBlind;
            post_action(r, listed(a.player_id()), form->name, f.chips, f.all_in);
        }
    }

    void betting(Round& r, Span actions, bool preflop) {
        for (const Action& a : store_.resolve(store_.actions, actions)) {
            const ActionType type = a.type();
            switch (type) {
                case ActionType::Bet:
                case ActionType::BetAllIn:
                case ActionType::Call:
                case ActionType::CallAllIn:
                case ActionType::Raise:
                case ActionType::RaiseAllIn: {
                    const std::uint8_t p = listed(a.player_id());
                    const facts::ActionFacts& f = replay_.action(store_, a);
                    const bool raise = type == ActionType::Raise || type == ActionType::RaiseAllIn;
                    const bool bet = type == ActionType::Bet || type == ActionType::BetAllIn;
                    const string_view name = raise || (bet && preflop) ? "Raise"
                                             : bet                     ? "Bet"
                                                                       : "Call";
                    r.chips_action(p, name, f.chips, f.all_in);
                    break;
                }
                case ActionType::Check:
                    r.chips_action(listed(a.player_id()), "Check", 0, false);
                    break;
                case ActionType::Fold: {
                    const std::uint8_t p = listed(a.player_id());
                    const CardSet cards = store_.cards_of(a.payload());
                    r.no_chips(p, "Fold", cards.count != 0 ? &cards : nullptr);
                    break;
                }
                case ActionType::Dealt: {
                    const CardSet cards = store_.cards_of(a.payload());
                    if (cards.count == 0) break;  // dealt in, cards not shown
                    r.no_chips(listed(a.player_id()), "Dealt Cards", &cards);
                    break;
                }
                case ActionType::Show:
                    if (store_.cards_of(a.payload()).count != 0) pending_shows_.push_back(a);
                    break;
                default:
                    // Posts of a late player are written where they stand; collections, returns,
                    // cash-outs, chat, seat changes and tournament events are no actions.
                    if (preflop) post(r, a);
                    break;
            }
        }
    }

    // "Shows Cards" and "Mucks Cards" of the actions that show cards.
    void shows(Round& r, std::span<const Action> actions) {
        for (const Action& a : actions) {
            const ActionType type = a.type();
            if (type != ActionType::Show && type != ActionType::Muck) continue;
            const CardSet cards = store_.cards_of(a.payload());
            if (cards.count == 0) continue;
            const std::uint8_t p = listed(a.player_id());
            shown_ |= std::uint32_t{1} << p;
            r.no_chips(p, type == ActionType::Show ? "Shows Cards" : "Mucks Cards", &cards);
        }
    }

    // Whether the summary shows cards of a player that no round has shown.
    bool summary_shows(const Hand& h) const {
        for (const Action& a : store_.resolve(store_.actions, h.summary.actions)) {
            if ((a.type() == ActionType::Show || a.type() == ActionType::Muck) &&
                a.player_id() < kNoSlot && (shown_ >> a.player_id() & 1) == 0 &&
                store_.cards_of(a.payload()).count != 0)
                return true;
        }
        return false;
    }

    // The shows of the betting rounds, then the cards that only the summary shows.
    void late_shows(Round& r, const Hand& h) {
        shows(r, pending_shows_);
        for (const Action& a : store_.resolve(store_.actions, h.summary.actions)) {
            if (a.player_id() < kNoSlot && (shown_ >> a.player_id() & 1) != 0) continue;
            shows(r, std::span<const Action>(&a, 1));
        }
    }

    // -----------------------------------------------------------------------------------------
    // Pots
    // -----------------------------------------------------------------------------------------

    struct Win {
        std::size_t pot;
        std::uint8_t player;
        Money amount;
        Money cashout = 0, fee = 0;
        bool cashed_out = false;
    };

    void collect_runs(const Hand& h, auto&& each) const {
        each(store_.resolve(store_.actions, h.preflop.actions));
        for (const auto* list : {&store_.flops, &store_.turns, &store_.rivers, &store_.showdowns}) {
            const Span s = list == &store_.flops    ? h.flops
                           : list == &store_.turns  ? h.turns
                           : list == &store_.rivers ? h.rivers
                                                    : h.showdowns;
            for (const Street& st : store_.resolve(*list, s))
                each(store_.resolve(store_.actions, st.actions));
        }
    }

    void pots(const Hand& h) {
        const PotInfo& info = h.summary.pots;
        const float sides[] = {info.side_1, info.side_2, info.side_3};
        std::array<Money, 4> amounts{};
        std::size_t count = 1;
        for (const float side : sides) {
            if (side == 0.0f) break;
            amounts[count++] = money_of(side);
        }
        const bool listed_sides = count > 1;

        wins_.clear();
        cash_outs_.clear();
        collect_runs(h, [&](std::span<const Action> actions) {
            for (const Action& a : actions) {
                if (a.type() == ActionType::CashOut) cash_outs_.push_back(a);
                if (const auto pot = collected_pot(a.type())) {
                    const Money m = money_of(a.amount());
                    if (!listed_sides && *pot != 0) {
                        amounts[*pot] += m;
                        count = std::max(count, *pot + 1);
                    }
                    if (*pot >= count) fault("a collection from a side pot the summary lists not");
                    wins_.push_back(Win{*pot, listed(a.player_id()), m});
                }
            }
        });
        Money total = money_of(info.total);
        if (facts::site_rules(h.header.site).total == facts::Total::LessRake)
            total += money_of(info.rake);
        amounts[0] = total;
        for (std::size_t pot = 1; pot < count; ++pot) amounts[0] -= amounts[pot];
        take_back_unmatched(amounts, count);
        summary_wins(h, amounts, count);
        for (const Action& a : cash_outs_) {
            const std::uint8_t p = listed(a.player_id());
            const auto of = [p](const Win& w) { return w.player == p; };
            auto win = std::find_if(wins_.begin(), wins_.end(),
                                    [p](const Win& w) { return w.pot == 0 && w.player == p; });
            if (win == wins_.end()) win = std::find_if(wins_.begin(), wins_.end(), of);
            if (win == wins_.end()) win = wins_.insert(wins_.end(), Win{0, p, 0});
            const auto value = store_.cash_out_of(a.payload());
            win->cashout = money_of(value.amount);
            win->fee = money_of(value.fee);
            win->cashed_out = true;
        }

        const Money jackpot = replay_.hand().jackpot;
        w_.put('[');
        for (std::size_t pot = 0; pot < count; ++pot) {
            Money won = 0;
            for (const Win& win : wins_)
                if (win.pot == pot) won += win.amount;
            const Money taken = pot == 0 ? jackpot : 0;
            if (won + taken > amounts[pot]) fault("a pot whose wins exceed it");
            // The literals take 60 bytes, the number 1.
            char* const start = w_.room(64 + 3 * JsonWriter::kMoneyBytes);
            char* p = start;
            if (pot != 0) *p++ = ',';
            p = JsonWriter::literal_at(p, "{\"number\":");
            *p++ = static_cast<char>('0' + pot);
            p = JsonWriter::literal_at(p, ",\"amount\":");
            p = JsonWriter::money_at(p, amounts[pot]);
            p = JsonWriter::literal_at(p, ",\"rake\":");
            p = JsonWriter::money_at(p, amounts[pot] - won - taken);
            if (taken != 0) {
                p = JsonWriter::literal_at(p, ",\"jackpot\":");
                p = JsonWriter::money_at(p, taken);
            }
            p = JsonWriter::literal_at(p, ",\"player_wins\":[");
            w_.commit(static_cast<std::size_t>(p - start));
            bool first = true;
            for (const Win& win : wins_) {
                if (win.pot != pot) continue;
                // The literals take 70 bytes, the player 3.
                char* const ws = w_.room(80 + 3 * JsonWriter::kMoneyBytes);
                char* q = ws;
                if (!first) *q++ = ',';
                first = false;
                q = JsonWriter::literal_at(q, "{\"player_id\":");
                q = JsonWriter::small_at(q, win.player);
                q = JsonWriter::literal_at(q, ",\"win_amount\":");
                q = JsonWriter::money_at(q, win.amount);
                if (win.cashed_out) {
                    q = JsonWriter::literal_at(q, ",\"cashout_amount\":");
                    q = JsonWriter::money_at(q, win.cashout);
                    q = JsonWriter::literal_at(q, ",\"cashout_fee\":");
                    q = JsonWriter::money_at(q, win.fee);
                }
                *q++ = '}';
                w_.commit(static_cast<std::size_t>(q - ws));
            }
            w_.raw("]}");
        }
        w_.put(']');
    }

    // The wins of the summary that no collect line gives: every summary winner's in a hand
    // without collect lines (OnGame), and the win of a player who cashed out, whose pot the site
    // did not award ("pot not awarded as player cashed out"), less what that player collects.
    // A summary win is the player's whole win over the pots: the side pots, from the last, are
    // given to the winners who put the most chips in (those who could win them), as far as each
    // pot and win go, and the main pot takes the rest.
    void summary_wins(const Hand& h, const std::array<Money, 4>& amounts, std::size_t count) {
        std::uint32_t cashed_out = 0;
        for (const Action& a : cash_outs_) cashed_out |= std::uint32_t{1} << listed(a.player_id());
        const bool collected = !wins_.empty();
        dues_.clear();
        for (const Winner& win : store_.resolve(store_.winners, h.summary.winners)) {
            const std::uint8_t p = listed(win.player_id);
            if (collected && (cashed_out >> p & 1) == 0) continue;
            Money due = money_of(win.amount);
            for (const Win& w : wins_)
                if (w.player == p) due -= w.amount;
            if (due > 0) dues_.push_back(Win{0, p, due});
        }
        if (dues_.empty()) return;
        order_.resize(dues_.size());
        for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = i;
        const auto players = replay_.players();
        const auto invested = [&](std::size_t i) {
            const std::uint8_t p = dues_[i].player;
            if (p >= players.size()) fault_index(p, players.size());
            return players[p].invested;
        };
        std::stable_sort(order_.begin(), order_.end(),
                         [&](std::size_t a, std::size_t b) { return invested(a) > invested(b); });
        for (std::size_t pot = count; pot-- > 1;) {
            Money room = amounts[pot];
            for (const Win& w : wins_)
                if (w.pot == pot) room -= w.amount;
            for (const std::size_t i : order_) {
                Win& due = dues_[i];
                const Money take = std::min(room, due.amount);
                if (take <= 0) continue;
                wins_.push_back(Win{pot, due.player, take});
                due.amount -= take;
                room -= take;
            }
        }
        for (const Win& due : dues_)
            if (due.amount > 0) wins_.push_back(due);
    }

    // The unmatched chips of a site that leaves them in the pot, out of the last pot their bettor
    // collects from and of the bettor's largest win there; that pot goes when nothing is left of
    // it. A bettor who collects nothing was given them back outside the pots.
    void take_back_unmatched(std::array<Money, 4>& amounts, std::size_t& count) {
        const Money unmatched = replay_.hand().unmatched;
        if (unmatched == 0) return;
        Win* from = nullptr;
        for (Win& win : wins_) {
            if (win.player == replay_.hand().unmatched_player &&
                (from == nullptr || win.pot > from->pot ||
                 (win.pot == from->pot && win.amount > from->amount)))
                from = &win;
        }
        if (from == nullptr) return;
        if (from->amount < unmatched) fault("unmatched chips beyond their bettor's win");
        from->amount -= unmatched;
        amounts[from->pot] -= unmatched;
        if (amounts[from->pot] == 0 && from->pot + 1 == count && count > 1) {
            --count;
            std::erase_if(wins_, [&](const Win& w) { return w.pot == count; });
        }
    }

    void bounties(const Hand& h) {
        Arr arr(w_);
        const auto each = [&](std::span<const Action> actions) {
            for (const Action& a : actions) {
                if (a.type() != ActionType::Bounty && a.type() != ActionType::SplitBounty) continue;
                const auto value = store_.bounty_of(a.payload());
                arr.next();
                Obj o(w_);
                o.key("player_id").small(listed(a.player_id()));
                o.key("bounty_won");
                write_money(w_, money_of(value.amount));
                o.key("defeated_player_id").small(listed(value.defeated));
                o.close();
            }
        };
        each(store_.resolve(store_.actions, h.header.actions));
        collect_runs(h, each);
        arr.close();
    }

    const HandStore& store_;
    JsonWriter& w_;
    const Hand* hand_ = nullptr;
    const SiteForm* site_ = nullptr;
    std::span<const Player> players_;
    // The hand facts: the chips of each action, the unmatched chips of a site that keeps them.
    facts::Replay replay_;
    bool small_blind_posted_ = false;
    std::uint64_t round_id_ = 0;
    std::uint32_t shown_ = 0;  // players whose cards a Showdown round has shown
    // Kept from hand to hand: no allocation per hand once they have grown.
    std::vector<Action> pending_shows_;
    std::vector<Win> wins_, dues_;
    std::vector<Action> cash_outs_;  // the hand's cash-outs, in text order
    std::vector<std::size_t> order_;
    std::array<std::string, kSiteCount> heads_;  // site_head of each site met, made once
};

// The message of a hand that cannot be written: its id, then the reason.
std::string hand_message(const HandStore& store, const Hand& h, std::string_view reason) {
    std::string message = "Open Hand History: hand ";
    message += store.text_of(h.header.id);
    message += ": ";
    message += reason;
    return message;
}

}  // namespace

namespace {

// Bytes of a hand, a player and an action in this layout, as real hands give them.
constexpr std::size_t kHandBytes = 700, kPlayerBytes = 90, kActionBytes = 110;

// The hands into `w`, those left out listed; false on a formatting failure.
bool write_hands(const HandStore& store, Span hands, Errors errors, JsonWriter& w,
                 std::vector<OhhLeftOut>& left_out) {
    HandWriter writer(store, w);
    bool first = true;
    try {
        for (const Hand& h : store.resolve(store.hands, hands)) {
            const std::size_t start = w.size();
            if (!first) w.put('\n');
            std::optional<std::string> reason;
            try {
                reason = writer.hand(h);
            } catch (const Fault& f) {
                reason = f.message();
            }
            if (!reason) {
                w.put('\n');
                first = false;
            } else {
                if (errors == Errors::Strict) throw Fault(hand_message(store, h, *reason));
                w.truncate(start);
                left_out.push_back(
                    OhhLeftOut{std::string(store.text_of(h.header.id)), std::move(*reason)});
            }
            w.end_of_hand();
        }
    } catch (const FormatFailure&) {
        return false;
    }
    w.flush();
    return true;
}

}  // namespace

std::optional<OhhText> to_ohh(const HandStore& store, Span hands, Errors errors) {
    JsonWriter w(output_estimate(store, hands, kHandBytes, kPlayerBytes, kActionBytes));
    OhhText out;
    if (!write_hands(store, hands, errors, w, out.left_out)) return std::nullopt;
    out.text = w.take();
    return out;
}

std::optional<std::vector<OhhLeftOut>> write_ohh(const HandStore& store, Span hands, Errors errors,
                                                 OutputSink& sink) {
    JsonWriter w(sink, output_estimate(store, hands, kHandBytes, kPlayerBytes, kActionBytes));
    std::vector<OhhLeftOut> left_out;
    if (!write_hands(store, hands, errors, w, left_out)) return std::nullopt;
    return left_out;
}

}  // namespace hs
