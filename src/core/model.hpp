// The hand model: enumerations, cards, packed references, the records of a hand and the
// store that holds every hand of one text. No Python here: C++ tests, fuzzers and benchmarks
// link this directly.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <source_location>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/fault.hpp"

namespace hs {

// ---------------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------------

enum class Site : std::uint8_t {
    PokerStars = 0,
    PokerStarsPluribus = 1,
    OnGame = 2,
    Absolute = 3,
    EverLeaf = 4,
    BetOnline = 5,
    FullTiltPoker = 6,
    PacificPoker = 7,
    PokerTracker = 8,
    PartyPoker = 9,
    GGPoker = 10,
    Winamax = 11,
    KingsClub = 12,
    Bovada = 13,
    Enet = 14,
    Cake = 15,
    Pkr = 16,
    Winning = 17,
    IPoker = 18,
    PokerNow = 19,
    Merge = 20,
    RunItOnce = 21,
    PokerMaster = 22,
    PokerBros = 23,
    PayNoRake = 24,
    GrandPoker = 25,
};
// The Omaha variants deal five or six hole cards; Courchevel deals five and shows the first card
// of the flop before the preflop round; short deck Hold'em is played without the twos to fives.
enum class GameType : std::uint8_t {
    HoldEm = 0,
    Omaha = 1,
    OmahaHiLo = 2,
    FiveCardOmaha = 3,
    FiveCardOmahaHiLo = 4,
    SixCardOmaha = 5,
    SixCardOmahaHiLo = 6,
    ShortDeckHoldEm = 7,
    Courchevel = 8,
    CourchevelHiLo = 9,
    // The games without a board: seven-card stud (high, high/low, and razz, its lowest hand
    // winning), five-card stud, and the draw games (five-card draw, 2-7 lowball with one draw or
    // three, A-5 lowball with three, badugi's four cards with three).
    SevenCardStud = 10,
    SevenCardStudHiLo = 11,
    Razz = 12,
    FiveCardStud = 13,
    FiveCardDraw = 14,
    SingleDraw27 = 15,
    TripleDraw27 = 16,
    TripleDrawA5 = 17,
    Badugi = 18,
    // KingsClub's mixed tables: 2-7 razz (stud, the lowest hand by deuce-to-seven), A-5 lowball
    // with one draw, the split draw games with three draws and five cards (Badacey: badugi and
    // A-5 lowball; Badeucey: badugi and 2-7 lowball), and Drawmaha (five-card Omaha's board with
    // one draw after the flop, the pot split between the Omaha hand and the 2-7 draw hand).
    Razz27 = 19,
    SingleDrawA5 = 20,
    Badacey = 21,
    Badeucey = 22,
    Drawmaha27 = 23,
};
// The rotation a hand of a mixed game belongs to, written beside the game of the hand ("HORSE
// (Razz Limit, ...)"); None for a hand of one game.
enum class MixedGame : std::uint8_t {
    None = 0,
    HORSE = 1,
    HOSE = 2,
    EightGame = 3,
    MixedHoldEm = 4,
    MixedNLHPLO = 5,
    MixedPLHPLO = 6,
    MixedOmaha = 7,
    MixedOmahaHiLo = 8,
    TripleStud = 9,
};
inline constexpr std::size_t kMixedGameCount = 10;
// The families of games: the flop games deal a board; stud deals up cards and no board; the
// draw games deal a hand that the players draw to.
// Drawmaha deals a board and draws to the hand: a flop game whose flop round holds the draw.
constexpr bool is_stud(GameType g) noexcept {
    return (g >= GameType::SevenCardStud && g <= GameType::FiveCardStud) || g == GameType::Razz27;
}
constexpr bool is_draw(GameType g) noexcept {
    return (g >= GameType::FiveCardDraw && g <= GameType::Badugi) ||
           (g >= GameType::SingleDrawA5 && g <= GameType::Badeucey);
}
constexpr bool is_boardless(GameType g) noexcept { return is_stud(g) || is_draw(g); }
enum class BetType : std::uint8_t { NoLimit = 0, Limit = 1, PotLimit = 2 };
enum class ActionType : std::uint8_t {
    Bet = 0,
    Call = 1,
    Raise = 2,
    BetAllIn = 3,
    CallAllIn = 4,
    RaiseAllIn = 5,
    Check = 6,
    Fold = 7,
    Muck = 8,
    Show = 9,
    Dealt = 10,
    Ante = 11,
    BigBlind = 12,
    SmallBlind = 13,
    BigSmallBlind = 14,
    DeadBlind = 15,
    ExtraBlind = 16,
    CashOut = 17,
    CollectMainPot = 18,
    CollectSidePot1 = 19,
    CollectSidePot2 = 20,
    CollectSidePot3 = 21,
    UncalledBetReturned = 22,
    Join = 23,
    Leave = 24,
    Sitout = 25,
    Say = 26,
    // Tournament events: a player's finishing place, a bounty won (alone or split with others),
    // chips bought during the tournament, a satellite's entry to another tournament won.
    Finish = 27,
    Bounty = 28,
    SplitBounty = 29,
    Rebuy = 30,
    AddOn = 31,
    Entry = 32,
    // The premium a player pays for all-in insurance: money out of the stack, not into the pot.
    Insurance = 33,
    // Stud: the forced opening bet of the lowest (razz: highest) up card, the raise of a bring-in
    // to a full bet, and the cards dealt face up (Dealt holds those dealt face down).
    BringIn = 34,
    Complete = 35,
    DealtUp = 36,
    // Draw games: the cards a player throws away when the history shows them (Discard), their
    // number when it does not (Draw), and a player who keeps the hand (StandPat).
    Discard = 37,
    Draw = 38,
    StandPat = 39,
};
inline constexpr std::size_t kActionTypeCount = 40;
// What a tournament's entry was paid with: money (in the tournament's currency), nothing, the
// site's player points, its StarsCoin, play money, what the history does not say, or a ticket
// won before (a qualifier's seat, a site's gift).
enum class BuyInKind : std::uint8_t {
    Money = 0,
    Freeroll = 1,
    Points = 2,
    StarsCoin = 3,
    PlayMoney = 4,
    Unknown = 5,
    Ticket = 6,
};
inline constexpr std::size_t kBuyInKindCount = 7;

inline constexpr std::size_t kSiteCount = 26;
inline constexpr std::size_t kGameTypeCount = 24;
inline constexpr std::size_t kBetTypeCount = 3;

// Member names (the text form of every enumeration), one table per enumeration, in code order.
// Each table's size is its enumeration's count, and the last member closes the count, so a
// member added without its name (or a name without its member) does not compile.
inline constexpr std::array<std::string_view, kSiteCount> kSiteNames = {
    "PokerStars",    "PokerStarsPluribus",
    "OnGame",        "Absolute",
    "EverLeaf",      "BetOnline",
    "FullTiltPoker", "PacificPoker",
    "PokerTracker",  "PartyPoker",
    "GGPoker",       "Winamax",
    "KingsClub",     "Bovada",
    "Enet",          "Cake",
    "Pkr",           "Winning",
    "IPoker",        "PokerNow",
    "Merge",         "RunItOnce",
    "PokerMaster",   "PokerBros",
    "PayNoRake",     "GrandPoker",
};
inline constexpr std::array<std::string_view, kGameTypeCount> kGameTypeNames = {"HoldEm",
                                                                                "Omaha",
                                                                                "OmahaHiLo",
                                                                                "FiveCardOmaha",
                                                                                "FiveCardOmahaHiLo",
                                                                                "SixCardOmaha",
                                                                                "SixCardOmahaHiLo",
                                                                                "ShortDeckHoldEm",
                                                                                "Courchevel",
                                                                                "CourchevelHiLo",
                                                                                "SevenCardStud",
                                                                                "SevenCardStudHiLo",
                                                                                "Razz",
                                                                                "FiveCardStud",
                                                                                "FiveCardDraw",
                                                                                "SingleDraw27",
                                                                                "TripleDraw27",
                                                                                "TripleDrawA5",
                                                                                "Badugi",
                                                                                "Razz27",
                                                                                "SingleDrawA5",
                                                                                "Badacey",
                                                                                "Badeucey",
                                                                                "Drawmaha27"};
inline constexpr std::array<std::string_view, kMixedGameCount> kMixedGameNames = {"",
                                                                                  "HORSE",
                                                                                  "HOSE",
                                                                                  "8-Game",
                                                                                  "Mixed Hold'em",
                                                                                  "Mixed NLH/PLO",
                                                                                  "Mixed PLH/PLO",
                                                                                  "Mixed Omaha",
                                                                                  "Mixed Omaha H/L",
                                                                                  "Triple Stud"};
inline constexpr std::array<std::string_view, kBetTypeCount> kBetTypeNames = {"NoLimit", "Limit",
                                                                              "PotLimit"};
inline constexpr std::array<std::string_view, kActionTypeCount> kActionTypeNames = {
    "Bet",
    "Call",
    "Raise",
    "BetAllIn",
    "CallAllIn",
    "RaiseAllIn",
    "Check",
    "Fold",
    "Muck",
    "Show",
    "Dealt",
    "Ante",
    "BigBlind",
    "SmallBlind",
    "BigSmallBlind",
    "DeadBlind",
    "ExtraBlind",
    "CashOut",
    "CollectMainPot",
    "CollectSidePot1",
    "CollectSidePot2",
    "CollectSidePot3",
    "UncalledBetReturned",
    "Join",
    "Leave",
    "Sitout",
    "Say",
    "Finish",
    "Bounty",
    "SplitBounty",
    "Rebuy",
    "AddOn",
    "Entry",
    "Insurance",
    "BringIn",
    "Complete",
    "DealtUp",
    "Discard",
    "Draw",
    "StandPat",
};
inline constexpr std::array<std::string_view, kBuyInKindCount> kBuyInKindNames = {
    "Money", "Freeroll", "Points", "StarsCoin", "PlayMoney", "Unknown", "Ticket"};
static_assert(static_cast<std::size_t>(Site::GrandPoker) + 1 == kSiteCount);
static_assert(static_cast<std::size_t>(GameType::Drawmaha27) + 1 == kGameTypeCount);
static_assert(static_cast<std::size_t>(MixedGame::TripleStud) + 1 == kMixedGameCount);
static_assert(static_cast<std::size_t>(BetType::PotLimit) + 1 == kBetTypeCount);
static_assert(static_cast<std::size_t>(ActionType::StandPat) + 1 == kActionTypeCount);
static_assert(static_cast<std::size_t>(BuyInKind::Ticket) + 1 == kBuyInKindCount);

// The member name of a code; codes outside the table give "?".
std::string_view site_name(Site s) noexcept;
std::string_view game_type_name(GameType g) noexcept;
std::string_view bet_type_name(BetType b) noexcept;
std::string_view action_type_name(ActionType a) noexcept;
std::string_view buy_in_kind_name(BuyInKind k) noexcept;
std::string_view mixed_game_name(MixedGame m) noexcept;

// Cash-out, Finish, Bounty and Purchase payloads index a run of the store's `amounts` (see
// HandStore for the values of each run); a Message payload is a text of the hand (a chat
// message, the number of the tournament a satellite's entry is for); a Count payload is a number
// of cards (a Draw's).
enum class PayloadKind : std::uint8_t {
    Amount,
    Cards,
    CashOut,
    Seat,
    Message,
    None,
    Finish,
    Bounty,
    Purchase,
    Count
};
PayloadKind payload_kind(ActionType a) noexcept;

// The currency of a hand: the symbol's Unicode scalar value ('$', U+00A3, U+00A5, U+20AC,
// U+20B9), or 0 for a hand whose amounts carry no sign (play money, the Pluribus logs, and every
// tournament hand, whose amounts are chips: its buy-in's currency is in its Tournament record).
using Currency = char32_t;
// The ISO 4217 codes of the five symbols, in this order: "USD", "GBP", "JPY", "EUR", "INR".
struct CurrencyCode {
    Currency symbol;
    std::string_view code;
};
inline constexpr CurrencyCode kCurrencyCodes[] = {
    {U'$', "USD"}, {U'\u00A3', "GBP"}, {U'\u00A5', "JPY"}, {U'\u20AC', "EUR"}, {U'\u20B9', "INR"},
};
// The position of a currency in kCurrencyCodes, or -1 for 0 (no sign: play money has no ISO
// code). Any other character is a broken record: "Invalid currency character: '<c>'".
int currency_index(Currency c);

// ---------------------------------------------------------------------------------------------
// Cards
// ---------------------------------------------------------------------------------------------

// rank in bits 0-5 (A=1, 2..9, T=10, J=11, Q=12, K=13), suit in bits 6-7 (s, c, h, d).
using Card = std::uint8_t;

// One card from text such as "Ah", "Td", "10d", "AS". Faults on anything else.
Card card_from_text(std::string_view text);
// 'A', '2'..'9', 'T', 'J', 'Q', 'K' (other ranks give the byte '0' + rank).
constexpr char card_rank_char(Card c) noexcept {
    constexpr char kFaces[14] = {'0', 'A', '2', '3', '4', '5', '6',
                                 '7', '8', '9', 'T', 'J', 'Q', 'K'};
    const unsigned rank = c & 0x3F;
    return rank < 14 ? kFaces[rank] : static_cast<char>('0' + rank);
}
constexpr char card_suit_letter(Card c) noexcept {  // s c h d
    constexpr char kLetters[4] = {'s', 'c', 'h', 'd'};
    return kLetters[(c >> 6) & 3];
}
std::string_view card_suit_symbol(Card c) noexcept;  // UTF-8 of the suit symbol

// Up to seven cards: a stud hand shown, the hole cards of six-card Omaha, a board. Seven cards and
// the count fill eight bytes: a Street stays at 24 bytes (the Span after the set is aligned to 8
// either way).
inline constexpr std::uint8_t kMaxCards = 7;
struct CardSet {
    Card cards[kMaxCards] = {1, 1, 1, 1, 1, 1, 1};
    std::uint8_t count = 0;

    static CardSet empty() noexcept { return CardSet{}; }
    // Cards separated by single spaces; every piece (empty ones included) is one card.
    static CardSet from_text(std::string_view text);
    void push(Card c);  // faults on an eighth card
    bool operator==(const CardSet&) const = default;
};
static_assert(sizeof(CardSet) == 8);

// ---------------------------------------------------------------------------------------------
// Packed references
// ---------------------------------------------------------------------------------------------

inline constexpr std::uint64_t kRefStartMask = (std::uint64_t{1} << 40) - 1;
inline constexpr std::uint64_t kRefMaxCount = (std::uint64_t{1} << 24) - 1;

// A run of a store list: start in bits 0-39, count in bits 40-63.
struct Span {
    std::uint64_t raw = 0;
    static inline Span make(std::uint64_t start, std::uint64_t count,
                            std::source_location where = std::source_location::current());
    // [start, end) with end >= start
    static inline Span between(std::uint64_t start, std::uint64_t end,
                               std::source_location where = std::source_location::current());
    // A start and count already known to fit their bits (make and between test them).
    static constexpr Span packed(std::uint64_t start, std::uint64_t count) noexcept {
        return Span{start | count << 40};
    }
    // The checked paths behind make and between (they fault on what does not fit).
    static Span make_checked(std::uint64_t start, std::uint64_t count, std::source_location where);
    static Span between_checked(std::uint64_t start, std::uint64_t end, std::source_location where);
    std::uint64_t start() const noexcept { return raw & kRefStartMask; }
    std::uint64_t count() const noexcept { return raw >> 40; }
    // Parts of a span addressed as a Python list addresses its items: a negative position
    // counts from the end. The one-element span at `index`, or nullopt when it lies outside.
    std::optional<Span> item(std::int64_t index) const;
    // The elements [from, to), each end clamped into the span as a list slice clamps it (empty
    // when `to` is not after `from`).
    Span sub(std::int64_t from, std::int64_t to) const;
    bool operator==(const Span&) const = default;
};

// Spans are made several times per hand: the fitting case inline, the faults out of line.
inline Span Span::make(std::uint64_t start, std::uint64_t count, std::source_location where) {
    if (start > kRefStartMask || count > kRefMaxCount) [[unlikely]]
        return make_checked(start, count, where);
    return packed(start, count);
}
inline Span Span::between(std::uint64_t start, std::uint64_t end, std::source_location where) {
    if (end < start || start > kRefStartMask || end - start > kRefMaxCount) [[unlikely]]
        return between_checked(start, end, where);
    return packed(start, end - start);
}

// A run of the store's text: offset in bits 0-39, length in bits 40-63.
struct TextRef {
    std::uint64_t raw = 0;
    static inline TextRef make(std::uint64_t offset, std::uint64_t length,
                               std::source_location where = std::source_location::current());
    // The checked path behind make (it faults on what does not fit).
    static TextRef make_checked(std::uint64_t offset, std::uint64_t length,
                                std::source_location where);
    std::uint64_t offset() const noexcept { return raw & kRefStartMask; }
    std::uint64_t length() const noexcept { return raw >> 40; }
    bool operator==(const TextRef&) const = default;
};

// Made once or more per hand: the fitting case inline, the faults out of line.
inline TextRef TextRef::make(std::uint64_t offset, std::uint64_t length,
                             std::source_location where) {
    if (offset > kRefStartMask || length > kRefMaxCount) [[unlikely]]
        return make_checked(offset, length, where);
    return TextRef{offset | length << 40};
}

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// Start date and time: year-2000 in bits 26-31, month-1 in 22-25, day-1 in 17-21, hour in
// 12-16, minute in 6-11, second in 0-5. Values are stored as read (masked to their widths).
using PackedDate = std::uint32_t;
PackedDate pack_date(std::uint64_t year, std::uint64_t month, std::uint64_t day, std::uint64_t hour,
                     std::uint64_t minute, std::uint64_t second) noexcept;
struct DateParts {
    unsigned year, month, day, hour, minute, second;
};
DateParts unpack_date(PackedDate d) noexcept;
// Seconds from 1970-01-01 00:00:00 to the date as written (no time zone), or nullopt for 0 (no
// date was read) and for parts outside the calendar (month 13, February 30, hour 24...).
std::optional<std::int64_t> date_seconds(PackedDate d) noexcept;

inline constexpr std::uint8_t kNone8 = 255;  // no hero / no seat / no dealer / no button
inline constexpr std::uint8_t kNoSlot = 32;  // a name without a slot in the hand
inline constexpr std::uint32_t kNoCards = 0xFFFFFFFFu;
inline constexpr std::uint32_t kNoPayload = 0xFFFFFFFFu;
inline constexpr std::uint32_t kNoTournament = 0xFFFFFFFFu;
inline constexpr std::uint32_t kExactWhole = std::uint32_t{1} << 24;  // every whole f32 up to it
// A whole number kept among the amounts (a place, a player): nullopt for anything that is not one
// from 0 to `max` (a float converted to an integer outside its range is no number at all).
std::optional<std::uint32_t> whole_number(float v, std::uint32_t max) noexcept;

// What a tournament hand tells of its tournament, one record per tournament hand (the level
// changes from hand to hand). Texts are as written and empty when the history writes none.
struct Tournament {
    TextRef id;           // the tournament's number
    TextRef name;         // as the history writes it ("Daily Special $250"); empty when it does not
    TextRef level;        // "III", "XV" for PokerStars' "Level III"
    TextRef match_round;  // a shootout's round: "I" for "Match Round I"
    BuyInKind buy_in_kind = BuyInKind::Unknown;
    Currency currency = 0;  // of the buy-in, fee, bounties and prizes; 0 when they have no sign
    float buy_in = 0.0f;
    float fee = 0.0f;
    float bounty_fee = 0.0f;  // the part of the buy-in that goes to bounties
    // The ISO 4217 code written after the buy-in ("$3.00+$0.30 USD"); zeros when none is.
    std::array<char, 3> currency_code{};
    // The bounty on each seated player's head, in player order, as a run of the store's
    // amounts; empty when the seat lines give none.
    Span bounties;
};

struct Header {
    TextRef id;
    Site site = Site::PokerStars;
    GameType game_type = GameType::HoldEm;
    BetType bet_type = BetType::NoLimit;
    // A fast-fold table (PokerStars Zoom), as the hand line says.
    bool fast_fold = false;
    Currency currency = 0;
    // The hand's record in the store's tournaments; kNoTournament for a cash hand. It takes the
    // room the alignment leaves after `currency`: a cash hand pays nothing for it.
    std::uint32_t tournament = kNoTournament;
    bool is_tournament() const noexcept { return tournament != kNoTournament; }
    // The start time in UTC where the history names its zone, the time as written where it does
    // not (see utc_start), 0 when it gives none. `start_date` keeps the time as written, and
    // stays 0 for histories whose native layout has never carried one (OnGame).
    PackedDate start_utc = 0;
    TextRef table_name;
    std::uint8_t max_players = 0;
    // The player on the button, resolved when the hand is finished from the button's seat: the
    // first player whose seat line has that seat, kNone8 when none has (a dead button).
    std::uint8_t dealer = kNone8;
    std::uint8_t hero = kNone8;
    // The button's seat as the history gives it (kNone8 when it gives none); not printed by the
    // text form nor the JSON layouts.
    std::uint8_t button_seat = kNone8;
    // The ISO 4217 code the hand line writes after the stakes ("$0.02/$0.05 CAD"), three ASCII
    // capitals; zeros when it writes none. Neither is printed by the text form nor the JSON
    // layouts (see iso_currency).
    std::array<char, 3> currency_code{};
    // The history names the zone of its start time, so `start_utc` is a time in UTC (false: the
    // time as written, of a zone not known). It takes the byte the alignment leaves here.
    bool start_zoned = false;
    float bet_cap = 0.0f;
    float ante = 0.0f;
    float small_blind = 0.0f;
    float big_blind = 0.0f;
    PackedDate start_date = 0;
    // The rotation of a mixed game the hand is dealt in (MixedGame::None for one game); it takes
    // a byte of the room the alignment leaves after `start_date`.
    MixedGame mixed = MixedGame::None;
    Span players;
    Span actions;
};

// The ISO 4217 code of a hand's amounts: the code its hand line writes, else its sign's code;
// empty for a hand without either (play money, the Pluribus logs, tournament chips). The same
// for a tournament's buy-in.
std::string_view iso_currency(const Header& h);
std::string_view iso_currency(const Tournament& t);

struct Player {
    TextRef name;
    std::uint8_t seat = kNone8;
    bool sitting_out = false;  // the seat line says the player is sitting out
    bool joined = false;       // seated by a join line during the hand: not dealt in
    float chips = 0.0f;
};

struct Street {
    CardSet cards;
    Span actions;
    std::uint8_t id = 0;
};

struct PotInfo {
    float total = 0, rake = 0, main = 0, side_1 = 0, side_2 = 0, side_3 = 0;
    // Chips the site put in the pot, no player's (GGPoker's "Cash Drop to Pot : total $0.2"):
    // part of the total. Printed by neither the text form nor the JSON layouts.
    float added = 0;
    // The part of the rake that the site takes for its jackpots and draws rather than as rake
    // (GGPoker's "| Jackpot $0.5 | Bingo $0"): inside `rake`, which holds every fee. Printed by
    // neither the text form nor the JSON layouts.
    float jackpot = 0;
};

// The half of a split pot that a collection wins in the hi/lo games: the high hand's, the low
// hand's, or none named (the whole pot, or a history that does not say which half).
enum class PotHalf : std::uint8_t { Unspecified = 0, High = 1, Low = 2 };
inline constexpr std::size_t kPotHalfCount = 3;
inline constexpr std::array<std::string_view, kPotHalfCount> kPotHalfNames = {"", "high", "low"};
// The name of a half ("high", "low"); "" for Unspecified and for a code outside the table.
constexpr std::string_view pot_half_name(PotHalf h) noexcept {
    const auto code = static_cast<std::size_t>(h);
    return code < kPotHalfCount ? kPotHalfNames[code] : std::string_view{};
}
// The games whose pots are split between the best high hand and the best low one.
constexpr bool is_hi_lo(GameType g) noexcept {
    return g == GameType::OmahaHiLo || g == GameType::FiveCardOmahaHiLo ||
           g == GameType::SixCardOmahaHiLo || g == GameType::CourchevelHiLo ||
           g == GameType::SevenCardStudHiLo;
}
constexpr bool is_collection(ActionType t) noexcept {
    return t >= ActionType::CollectMainPot && t <= ActionType::CollectSidePot3;
}

// `half` takes a byte of the room the alignment leaves after `game_id`: a Winner stays 12 bytes.
struct Winner {
    std::uint8_t player_id = 0;
    float amount = 0.0f;
    std::uint8_t game_id = 0;
    PotHalf half = PotHalf::Unspecified;
};
static_assert(sizeof(Winner) == 12);

struct Summary {
    PotInfo pots;
    Span winners;
    Span actions;
};

// payload | player_id << 32 | type << 40 | half << 48, bits 50-63 zero. The half (a PotHalf) is
// that of a collection's pot, Unspecified for every other action.
struct Action {
    std::uint64_t raw = 0;
    static constexpr Action make(ActionType type, std::uint8_t player_id,
                                 std::uint32_t payload) noexcept {
        return Action{std::uint64_t{payload} | std::uint64_t{player_id} << 32 |
                      std::uint64_t{static_cast<std::uint8_t>(type)} << 40};
    }
    static Action with_amount(ActionType type, std::uint8_t player_id, float amount) noexcept {
        return make(type, player_id, std::bit_cast<std::uint32_t>(amount));
    }
    std::uint32_t payload() const noexcept { return static_cast<std::uint32_t>(raw); }
    std::uint8_t player_id() const noexcept { return static_cast<std::uint8_t>(raw >> 32); }
    ActionType type() const noexcept { return static_cast<ActionType>((raw >> 40) & 0xFF); }
    float amount() const noexcept { return std::bit_cast<float>(payload()); }
    PotHalf half() const noexcept { return static_cast<PotHalf>((raw >> 48) & 3); }
    constexpr Action with_half(PotHalf h) const noexcept {
        return Action{(raw & ~(std::uint64_t{3} << 48)) |
                      std::uint64_t{static_cast<std::uint8_t>(h) & 3u} << 48};
    }
    bool operator==(const Action&) const = default;
};
static_assert(sizeof(Action) == 8);

// The betting rounds of a hand: the preflop, the flops, turns, rivers (a board dealt twice has
// two of each), the showdowns. Stud's five rounds are the third street (`preflop`), the fourth
// (`flops`), fifth (`turns`), sixth (`rivers`) and seventh (`sevenths`: empty for every other
// game); a draw game's are the deal (`preflop`) and the round after each draw (`flops`, `turns`,
// `rivers`). The games without a board keep its cards empty.
struct Hand {
    Header header;
    Street preflop;
    Span flops, turns, rivers, showdowns, sevenths;
    Summary summary;
    std::uint64_t text_start = 0;
};

// ---------------------------------------------------------------------------------------------
// The store
// ---------------------------------------------------------------------------------------------

// Every hand of one text, in flat lists. Lists only grow. Written by one parser on one thread,
// then frozen and shared read-only.
struct HandStore {
    std::string text;
    std::vector<Hand> hands;
    std::vector<Player> players;
    std::vector<Street> flops;
    std::vector<Street> turns;
    std::vector<Street> rivers;
    std::vector<Street> showdowns;
    std::vector<Street> sevenths;
    std::vector<Action> actions;
    std::vector<float> amounts;
    std::vector<CardSet> card_sets;
    std::vector<Winner> winners;
    std::vector<Tournament> tournaments;

    HandStore();  // reserves the initial capacities

    // Sizes the lists for the hands of a text of `bytes` bytes, so that a large text fills each
    // list in one allocation instead of repeated growth and copying (a list that needs more
    // still grows as usual). Never shrinks a list.
    void reserve_for_text(std::size_t bytes);
    // Empties every list and keeps its memory (the pages already touched stay mapped): a store
    // reused for the next text of a worker costs no allocation and no page fault.
    void clear() noexcept;
    // The bytes that the lists hold, and that they have reserved.
    std::size_t used_bytes() const noexcept;
    std::size_t reserved_bytes() const noexcept;

    // Appends bytes to the text buffer and returns their reference.
    TextRef push_text(std::string_view s);
    // The text of a reference; faults when it lies outside the buffer or off char boundaries.
    std::string_view text_of(TextRef r) const;
    std::uint32_t push_card_set(const CardSet& c);  // returns the index
    // Appends a run of amounts and returns the index of its first.
    std::uint32_t push_amounts(std::initializer_list<float> values);
    // The run of `count` amounts at `index`; faults when it does not lie inside the list.
    std::span<const float> amounts_of(std::uint32_t index, std::size_t count) const;

    // Checked resolution of a span against one of the lists.
    template <class T>
    std::span<const T> resolve(const std::vector<T>& list, Span s,
                               std::source_location where = std::source_location::current()) const {
        const std::uint64_t end = s.start() + s.count();
        if (end > list.size()) fault_index(end, list.size(), where);
        return std::span<const T>(list.data() + s.start(), s.count());
    }
    // Card payload: the set, or the empty set for kNoCards.
    CardSet cards_of(std::uint32_t payload) const;
    // The runs of amounts behind the payloads of those kinds, in the order pushed:
    // CashOut [amount, fee], Finish [place, prize], Bounty [amount, increase, total, defeated
    // player], Purchase [chips, cost]. A place (up to kExactWhole) and a player are whole
    // numbers, exact in an f32; the accessors fault on anything else.
    struct CashOutValue {
        float amount, fee;
    };
    CashOutValue cash_out_of(std::uint32_t payload) const;
    struct FinishValue {
        std::uint32_t place;
        float prize;
    };
    FinishValue finish_of(std::uint32_t payload) const;
    struct BountyValue {
        float amount, increase, total;
        std::uint8_t defeated;
    };
    BountyValue bounty_of(std::uint32_t payload) const;
    struct PurchaseValue {
        float chips, cost;
    };
    PurchaseValue purchase_of(std::uint32_t payload) const;
    // What an action moves, as the tables give it: the amount of an Amount payload, a cash-out's
    // amount, a Finish's prize, a bounty won, the chips of a Rebuy or AddOn, the number of cards
    // of a Draw; nullopt for the others.
    std::optional<float> amount_of(const Action& a) const;
    // Message of a Say or Entry payload in a hand whose parsing began at text_start.
    std::string_view message_of(std::uint32_t payload, std::uint64_t text_start) const;
};

// ---------------------------------------------------------------------------------------------
// What every writer of a hand reads the same way
// ---------------------------------------------------------------------------------------------

// The rounds of a hand in the order of its text. Predeal: the posts, joins and chat before the
// cards; Summary: the lines after the summary's mark; Seventh: stud's last betting round, which
// comes after its River (the sixth street) and before the Showdown.
enum class Round : std::uint8_t { Predeal, Preflop, Flop, Turn, River, Showdown, Summary, Seventh };
inline constexpr std::size_t kRoundCount = 8;
inline constexpr std::array<std::string_view, kRoundCount> kRoundNames = {
    "predeal", "preflop", "flop", "turn", "river", "showdown", "summary", "seventh"};
// The betting rounds by their place in a hand: 0 the preflop, 1 the flop... 4 stud's seventh
// street; kNoBettingRound for the others.
inline constexpr std::size_t kNoBettingRound = 5;
constexpr std::size_t betting_index(Round r) noexcept {
    switch (r) {
        case Round::Preflop: return 0;
        case Round::Flop: return 1;
        case Round::Turn: return 2;
        case Round::River: return 3;
        case Round::Seventh: return 4;
        default: return kNoBettingRound;
    }
}
// The name of a round in a game: seven-card stud's streets are "third" to "seventh", five-card
// stud's "second" to "fifth", a draw game's rounds "deal", "first_draw", "second_draw",
// "third_draw" (one draw's: "deal", "draw"); a flop game's are kRoundNames.
std::string_view round_name(GameType g, Round r) noexcept;
// Every name round_name gives, kRoundNames first (a dictionary of round names; a name's place is
// its code, and names are only ever added at the end).
inline constexpr std::array<std::string_view, kRoundCount + 10> kAllRoundNames = {
    "predeal", "preflop",    "flop",        "turn",       "river", "showdown",
    "summary", "seventh",    "third",       "fourth",     "fifth", "sixth",
    "deal",    "first_draw", "second_draw", "third_draw", "draw",  "second"};
// The place of round_name(g, r) in kAllRoundNames.
std::size_t round_name_index(GameType g, Round r) noexcept;

// An action whose cards are the player's own hand: dealt face down, shown, mucked, folded face
// up; not a stud up card (DealtUp) nor a draw's discard.
inline bool shows_holding(ActionType t) noexcept {
    return payload_kind(t) == PayloadKind::Cards && t != ActionType::DealtUp &&
           t != ActionType::Discard;
}

constexpr bool is_all_in(ActionType t) noexcept {
    return t == ActionType::BetAllIn || t == ActionType::CallAllIn || t == ActionType::RaiseAllIn;
}

// A hand whose board was dealt more than once (a second flop, turn, river or showdown).
inline bool run_twice(const Hand& h) noexcept {
    return h.flops.count() >= 2 || h.turns.count() >= 2 || h.rivers.count() >= 2 ||
           h.showdowns.count() >= 2 || h.sevenths.count() >= 2;
}

// The largest ante posted among `actions` (players of a tournament post different antes).
float largest_ante(const HandStore& store, Span actions);

// Calls f(Round, board, street) for the flops, turns, rivers, stud's seventh streets and the
// showdowns of a hand in the order of their lines (a hand run twice interleaves the lists);
// `board` counts the streets of the same kind from 0. Faults when the ids are not the places of
// the lines.
template <class F>
void each_street(const HandStore& store, const Hand& h, F&& f) {
    const std::span<const Street> lists[] = {
        store.resolve(store.flops, h.flops), store.resolve(store.turns, h.turns),
        store.resolve(store.rivers, h.rivers), store.resolve(store.showdowns, h.showdowns),
        store.resolve(store.sevenths, h.sevenths)};
    constexpr Round kRounds[] = {Round::Flop, Round::Turn, Round::River, Round::Showdown,
                                 Round::Seventh};
    std::size_t next[5] = {0, 0, 0, 0, 0};
    const std::size_t count =
        lists[0].size() + lists[1].size() + lists[2].size() + lists[3].size() + lists[4].size();
    for (std::size_t n = 0; n < count; ++n) {
        std::size_t l = 0;
        while (l < 5 && !(next[l] < lists[l].size() && lists[l][next[l]].id == n)) ++l;
        if (l == 5) fault_unreachable("street ids out of order");
        f(kRounds[l], next[l], lists[l][next[l]]);
        ++next[l];
    }
}

// Say payload of a message appended at offset o with length n, in a hand whose text began at t:
// (o - t) | n << 24. Faults with "Message is too long <n> - max: 255" above 255 bytes.
std::uint32_t say_payload(std::uint64_t offset, std::uint64_t length, std::uint64_t text_start);

}  // namespace hs
