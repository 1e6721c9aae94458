// Tests of the hand model: faults, cards, packed references, the store's checked access, the
// number forms, the compact and pretty text forms of every record, and the file encodings.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.hpp"
#include "core/format.hpp"
#include "core/model.hpp"
#include "core/utf8.hpp"
#include "export/text_form.hpp"
#include "input/decode.hpp"
#include "support.hpp"

namespace {

using namespace hs;
using test::fault_of;

// ---------------------------------------------------------------------------------------------
// Faults
// ---------------------------------------------------------------------------------------------

TEST(Faults, MessagesAndPlace) {
    struct Case {
        std::string expected;
        std::string got;
    };
    const Case cases[] = {
        {"index out of bounds: the len is 3 but the index is 5",
         fault_of([] { fault_index(5, 3); })},
        {"missing amount in 'Seat 1: bob'",
         fault_of([] { fault_missing("amount", "Seat 1: bob"); })},
        {"missing amount", fault_of([] { fault_missing("amount"); })},
        {"internal error: entered unreachable code", fault_of([] { fault_unreachable(); })},
        {"internal error: entered unreachable code: Bad thing",
         fault_of([] { fault_unreachable("Bad thing"); })},
        {"free text", fault_of([] { fault("free text"); })},
        {"unrecognised action line: 'Bob dances'",
         fault_of([] { fault_line("unrecognised action line", "Bob dances"); })},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);

    // A quote holds 200 characters at the most, whole ones, and "…" after a cut.
    const std::string long_text(300, 'x');
    std::string two_byte;
    for (int i = 0; i < 201; ++i) two_byte += "\xC3\xA9";
    const std::pair<std::string, std::string> quotes[] = {
        {std::string(200, 'x'), "'" + std::string(200, 'x') + "'"},
        {long_text, "'" + std::string(200, 'x') + "\xE2\x80\xA6'"},
        {two_byte, "'" + two_byte.substr(0, 400) + "\xE2\x80\xA6'"},
    };
    for (const auto& [text, quoted] : quotes) {
        std::string out;
        append_quoted(out, text);
        EXPECT_EQ(out, quoted);
        EXPECT_EQ(missing_message("amount", text), "missing amount in " + quoted);
    }
    // Input errors are faults of their own kind.
    EXPECT_THROW(fault_missing("amount", "x"), InputError);
    EXPECT_THROW(fault_line("unrecognised action line", "x"), InputError);

    // The place names this file and the raising line, not the model's own code.
    const int line = __LINE__ + 2;
    try {
        fault_index(1, 0);
    } catch (const Fault& e) {
        EXPECT_EQ(e.where().rfind("test_model.cpp:" + std::to_string(line), 0), 0u) << e.where();
        EXPECT_STREQ(e.what(), "index out of bounds: the len is 0 but the index is 1");
    }
}

TEST(Faults, CheckedViewHelpers) {
    const std::string_view s = "Seat 1";
    EXPECT_EQ(slice(s, 0, 4), "Seat");
    EXPECT_EQ(tail(s, 5), "1");
    EXPECT_EQ(fault_of([&] { byte_at(s, 6); }),
              "index out of bounds: the len is 6 but the index is 6");
    EXPECT_EQ(fault_of([&] { slice(s, 2, 7); }),
              "index out of bounds: the len is 6 but the index is 7");
    EXPECT_EQ(fault_of([&] { slice(s, 4, 2); }),
              "index out of bounds: the len is 2 but the index is 4");
    EXPECT_EQ(fault_of([&] { tail(s, 7); }),
              "index out of bounds: the len is 6 but the index is 7");
    std::vector<int> v{1, 2};
    EXPECT_EQ(fault_of([&] { at(v, 2); }), "index out of bounds: the len is 2 but the index is 2");
}

// ---------------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------------

TEST(Enumerations, NamesByCode) {
    const char* const sites[] = {"PokerStars",    "PokerStarsPluribus",
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
                                 "PayNoRake",     "GrandPoker"};
    for (unsigned i = 0; i < kSiteCount; ++i) EXPECT_EQ(site_name(static_cast<Site>(i)), sites[i]);
    EXPECT_EQ(site_name(static_cast<Site>(kSiteCount)), "?");
    EXPECT_EQ(game_type_name(GameType::OmahaHiLo), "OmahaHiLo");
    EXPECT_EQ(game_type_name(GameType::CourchevelHiLo), "CourchevelHiLo");
    EXPECT_EQ(game_type_name(GameType::Badugi), "Badugi");
    EXPECT_EQ(game_type_name(static_cast<GameType>(kGameTypeCount)), "?");
    EXPECT_EQ(mixed_game_name(MixedGame::EightGame), "8-Game");
    EXPECT_EQ(bet_type_name(BetType::PotLimit), "PotLimit");
    EXPECT_EQ(bet_type_name(static_cast<BetType>(3)), "?");
    EXPECT_EQ(action_type_name(static_cast<ActionType>(kActionTypeCount)), "?");
    EXPECT_EQ(buy_in_kind_name(BuyInKind::StarsCoin), "StarsCoin");
    EXPECT_EQ(buy_in_kind_name(static_cast<BuyInKind>(kBuyInKindCount)), "?");
}

TEST(Enumerations, ActionNamesAndPayloads) {
    using K = PayloadKind;
    struct Row {
        const char* name;
        K kind;
    };
    const Row rows[kActionTypeCount] = {
        {"Bet", K::Amount},
        {"Call", K::Amount},
        {"Raise", K::Amount},
        {"BetAllIn", K::Amount},
        {"CallAllIn", K::Amount},
        {"RaiseAllIn", K::Amount},
        {"Check", K::None},
        {"Fold", K::Cards},
        {"Muck", K::Cards},
        {"Show", K::Cards},
        {"Dealt", K::Cards},
        {"Ante", K::Amount},
        {"BigBlind", K::Amount},
        {"SmallBlind", K::Amount},
        {"BigSmallBlind", K::Amount},
        {"DeadBlind", K::Amount},
        {"ExtraBlind", K::Amount},
        {"CashOut", K::CashOut},
        {"CollectMainPot", K::Amount},
        {"CollectSidePot1", K::Amount},
        {"CollectSidePot2", K::Amount},
        {"CollectSidePot3", K::Amount},
        {"UncalledBetReturned", K::Amount},
        {"Join", K::Seat},
        {"Leave", K::None},
        {"Sitout", K::None},
        {"Say", K::Message},
        {"Finish", K::Finish},
        {"Bounty", K::Bounty},
        {"SplitBounty", K::Bounty},
        {"Rebuy", K::Purchase},
        {"AddOn", K::Purchase},
        {"Entry", K::Message},
        {"Insurance", K::Amount},
        {"BringIn", K::Amount},
        {"Complete", K::Amount},
        {"DealtUp", K::Cards},
        {"Discard", K::Cards},
        {"Draw", K::Count},
        {"StandPat", K::None},
    };
    for (std::size_t i = 0; i < kActionTypeCount; ++i) {
        const auto t = static_cast<ActionType>(i);
        EXPECT_EQ(action_type_name(t), rows[i].name) << i;
        EXPECT_EQ(payload_kind(t), rows[i].kind) << rows[i].name;
    }
}

TEST(Enumerations, Utf8OfCurrencies) {
    struct Case {
        char32_t c;
        const char* utf8;
    };
    const Case cases[] = {{U'$', "$"},
                          {0xA3, "\xC2\xA3"},
                          {0xA5, "\xC2\xA5"},
                          {0x20AC, "\xE2\x82\xAC"},
                          {0x20B9, "\xE2\x82\xB9"},
                          {0x1F0A1, "\xF0\x9F\x82\xA1"},
                          {0, ""}};
    for (const Case& c : cases) {
        std::string out = "x";
        append_utf8(out, c.c);
        EXPECT_EQ(out, std::string("x") + c.utf8);
        EXPECT_EQ(utf8_len(c.c), std::strlen(c.utf8));
    }
}

// ---------------------------------------------------------------------------------------------
// Cards
// ---------------------------------------------------------------------------------------------

TEST(Cards, FromText) {
    struct Case {
        const char* text;
        Card card;
    };
    const Case cases[] = {
        {"10h", 0x8A},
        {"Th", 0x8A},
        {"1xh", 0x8A},
        {"AS", 0x01},
        {"As", 0x01},
        {"Kd", 0xCD},
        {"2c", 0x42},
        {"9H", 0x89},
        {"Qs", 0x0C},
        {"Jc", 0x4B},
        {"7dx", 0xC7},  // characters after the suit are
                        // ignored
        {"10D", 0xCA},
        {"1\xC3\xA9s", 0x0A},  // the skipped character after the one is a whole
                               // character
    };
    for (const Case& c : cases) EXPECT_EQ(card_from_text(c.text), c.card) << c.text;
}

TEST(Cards, FromTextFaults) {
    struct Case {
        std::string_view text;
        const char* message;
    };
    const Case cases[] = {
        {"", "missing card"},
        {"A", "missing card suit in 'A'"},
        {"1", "missing card suit in '1'"},
        {"10", "missing card suit in '10'"},
        {"Ax", "internal error: entered unreachable code: Invalid suit: x in 'Ax'"},
        {"AX", "internal error: entered unreachable code: Invalid suit: x in 'AX'"},
        {"A\xC3\x89",
         "internal error: entered unreachable code: Invalid suit: \xC3\xA9 in "
         "'A\xC3\x89'"},
        {"K\xE2\x82\xAC",
         "internal error: entered unreachable code: Invalid suit: \xE2\x82\xAC "
         "in 'K\xE2\x82\xAC'"},
        {"xh", "internal error: entered unreachable code: Invalid rank: x in 'xh'"},
        {"0s", "internal error: entered unreachable code: Invalid rank: 0 in '0s'"},
        {"ah", "internal error: entered unreachable code: Invalid rank: a in 'ah'"},
        {"\xC3\x89s",
         "internal error: entered unreachable code: Invalid rank: \xC3\x89 in "
         "'\xC3\x89s'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fault_of([&] { card_from_text(c.text); }), c.message) << c.text;
}

TEST(Cards, EveryCardRoundTripsThroughBothForms) {
    const std::string ranks = "A23456789TJQK";
    const std::string suits = "schd";
    const char* const symbols[] = {"\xE2\x99\xA0", "\xE2\x99\xA3", "\xE2\x99\xA5", "\xE2\x99\xA6"};
    for (std::size_t r = 0; r < ranks.size(); ++r) {
        for (std::size_t s = 0; s < suits.size(); ++s) {
            const std::string text{ranks[r], suits[s]};
            const Card c = card_from_text(text);
            EXPECT_EQ(c, (r + 1) | s << 6) << text;
            EXPECT_EQ(card_rank_char(c), ranks[r]);
            EXPECT_EQ(card_suit_letter(c), suits[s]);
            EXPECT_EQ(card_suit_symbol(c), symbols[s]);
        }
    }
}

TEST(Cards, SetFromTextAndPrint) {
    struct Case {
        const char* text;
        std::uint8_t count;
        const char* printed;
    };
    const Case cases[] = {
        {"As Kd 7c 2h 3s", 5,
         "[ A\xE2\x99\xA0 K\xE2\x99\xA6 7\xE2\x99\xA3 2\xE2\x99\xA5 3\xE2\x99\xA0 ]"},
        {"As Kd 7c 2h 3s 4s", 6,
         "[ A\xE2\x99\xA0 K\xE2\x99\xA6 7\xE2\x99\xA3 2\xE2\x99\xA5 3\xE2\x99\xA0 4\xE2\x99\xA0 ]"},
        {"Ah", 1, "[ A\xE2\x99\xA5 ]"},
        {"10c Td", 2, "[ T\xE2\x99\xA3 T\xE2\x99\xA6 ]"},
    };
    for (const Case& c : cases) {
        const CardSet set = CardSet::from_text(c.text);
        EXPECT_EQ(set.count, c.count) << c.text;
        EXPECT_EQ(card_set_text(set), c.printed) << c.text;
        for (std::uint8_t i = set.count; i < kMaxCards; ++i)
            EXPECT_EQ(set.cards[i], 0x01) << c.text;
    }
    EXPECT_EQ(card_set_text(CardSet::empty()), "[  ]");
    const CardSet two = CardSet::from_text("As Ks");
    EXPECT_NE(two, CardSet::empty());
    EXPECT_EQ(two, (CardSet{{0x01, 0x0D, 0x01, 0x01, 0x01, 0x01, 0x01}, 2}));
}

TEST(Cards, SetFaults) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"As Kd 7c 2h 3s 4s 5s 6s", "index out of bounds: the len is 7 but the index is 7"},
        {"As  Kd", "missing card"},
        {" As", "missing card"},
        {"As ", "missing card"},
        {"", "missing card"},
        {"As Kx", "internal error: entered unreachable code: Invalid suit: x in 'Kx'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fault_of([&] { CardSet::from_text(c.text); }), c.message) << c.text;

    CardSet full = CardSet::from_text("As Kd 7c 2h 3s 4s 5s");
    EXPECT_EQ(fault_of([&] { full.push(0x01); }),
              "index out of bounds: the len is 7 but the index is 7");
    CardSet broken;
    broken.count = 8;
    EXPECT_EQ(fault_of([&] { card_set_text(broken); }),
              "index out of bounds: the len is 7 but the index is 8");
}

// ---------------------------------------------------------------------------------------------
// Packed references, actions and dates
// ---------------------------------------------------------------------------------------------

TEST(Packing, SpansAndTextRefs) {
    struct Case {
        std::uint64_t start, count;
    };
    const Case cases[] = {{0, 0}, {5, 3}, {kRefStartMask, kRefMaxCount}, {1, kRefMaxCount}};
    for (const Case& c : cases) {
        const Span s = Span::make(c.start, c.count);
        EXPECT_EQ(s.raw, c.start | c.count << 40);
        EXPECT_EQ(s.start(), c.start);
        EXPECT_EQ(s.count(), c.count);
        const TextRef t = TextRef::make(c.start, c.count);
        EXPECT_EQ(t.raw, s.raw);
        EXPECT_EQ(t.offset(), c.start);
        EXPECT_EQ(t.length(), c.count);
    }
    EXPECT_EQ(Span::between(7, 10), Span::make(7, 3));
    EXPECT_EQ(Span::between(7, 7).count(), 0u);

    const std::uint64_t too_far = kRefStartMask + 1, too_many = kRefMaxCount + 1;
    EXPECT_EQ(fault_of([&] { Span::make(too_far, 0); }),
              "span start 1099511627776 does not fit in 40 bits");
    EXPECT_EQ(fault_of([&] { Span::make(0, too_many); }),
              "span count 16777216 does not fit in 24 bits");
    EXPECT_EQ(fault_of([&] { Span::between(9, 8); }), "span end 8 is before its start 9");
    EXPECT_EQ(fault_of([&] { TextRef::make(too_far, 1); }),
              "text offset 1099511627776 does not fit in 40 bits");
    EXPECT_EQ(fault_of([&] { TextRef::make(1, too_many); }),
              "text length 16777216 does not fit in 24 bits");
}

// Sub-spans addressed as Python lists address their items; the Python tests compare the same
// arithmetic with list slicing itself.
TEST(Packing, SubSpansByListPositions) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const Span four = Span::make(5, 4), none = Span::make(5, 0);
    const Span top = Span::make(kRefStartMask - 2, 2);  // its end is the largest start there is

    struct ItemCase {
        Span span;
        std::int64_t index;
        std::optional<Span> expected;
    };
    const ItemCase items[] = {
        {four, 0, Span::make(5, 1)},
        {four, 3, Span::make(8, 1)},
        {four, -1, Span::make(8, 1)},
        {four, -4, Span::make(5, 1)},
        {four, 4, std::nullopt},
        {four, -5, std::nullopt},
        {four, kMax, std::nullopt},
        {four, kMin, std::nullopt},
        {none, 0, std::nullopt},
        {none, -1, std::nullopt},
        {top, -1, Span::make(kRefStartMask - 1, 1)},
    };
    for (const ItemCase& c : items)
        EXPECT_EQ(c.span.item(c.index), c.expected) << c.span.raw << " [" << c.index << "]";

    struct SubCase {
        Span span;
        std::int64_t from, to;
        Span expected;
    };
    const SubCase subs[] = {
        {four, 0, 4, four},
        {four, 1, 3, Span::make(6, 2)},
        {four, -1, kMax, Span::make(8, 1)},
        {four, kMin, 2, Span::make(5, 2)},
        {four, 0, 0, Span::make(5, 0)},
        {four, 3, 1, Span::make(8, 0)},
        {four, -2, -3, Span::make(7, 0)},
        {four, 10, 20, Span::make(9, 0)},
        {four, -10, -8, Span::make(5, 0)},
        {four, kMin, kMax, four},
        {none, -1, 1, none},
        {top, 1, kMax, Span::make(kRefStartMask - 1, 1)},
        {top, kMax, kMax, Span::make(kRefStartMask, 0)},
    };
    for (const SubCase& c : subs)
        EXPECT_EQ(c.span.sub(c.from, c.to), c.expected)
            << c.span.raw << " [" << c.from << ":" << c.to << "]";
}

TEST(Packing, Actions) {
    const Action raise = Action::with_amount(ActionType::Raise, 2, 1.5f);
    EXPECT_EQ(raise.raw, 0x3FC00000ull | 2ull << 32 | 2ull << 40);
    EXPECT_EQ(raise.type(), ActionType::Raise);
    EXPECT_EQ(raise.player_id(), 2);
    EXPECT_EQ(raise.amount(), 1.5f);

    const Action say = Action::make(ActionType::Say, 32, 0xFF123456u);
    EXPECT_EQ(say.raw >> 48, 0u);
    EXPECT_EQ(say.type(), ActionType::Say);
    EXPECT_EQ(say.player_id(), kNoSlot);
    EXPECT_EQ(say.payload(), 0xFF123456u);
    EXPECT_EQ(Action::make(ActionType::Check, 0, kNoPayload).raw, 0x0600FFFFFFFFull);

    // A collection's half takes bits 48-49 and leaves the rest of the word as it was.
    const Action won = Action::with_amount(ActionType::CollectSidePot2, 7, 2.25f);
    for (const PotHalf h : {PotHalf::High, PotHalf::Low, PotHalf::Unspecified}) {
        const Action labelled = won.with_half(PotHalf::Low).with_half(h);
        EXPECT_EQ(labelled.half(), h);
        EXPECT_EQ(labelled.raw, won.raw | std::uint64_t{static_cast<std::uint8_t>(h)} << 48);
    }
}

TEST(Packing, Dates) {
    struct Case {
        unsigned y, mo, d, h, mi, s;
    };
    const Case cases[] = {{2021, 3, 7, 9, 5, 0},
                          {2000, 1, 1, 0, 0, 0},
                          {2063, 12, 31, 23, 59, 59},
                          {2009, 11, 16, 12, 30, 45}};
    for (const Case& c : cases) {
        const PackedDate p = pack_date(c.y, c.mo, c.d, c.h, c.mi, c.s);
        const DateParts u = unpack_date(p);
        EXPECT_EQ(u.year, c.y);
        EXPECT_EQ(u.month, c.mo);
        EXPECT_EQ(u.day, c.d);
        EXPECT_EQ(u.hour, c.h);
        EXPECT_EQ(u.minute, c.mi);
        EXPECT_EQ(u.second, c.s);
    }
    EXPECT_EQ(pack_date(2021, 3, 7, 9, 5, 0), 21u << 26 | 2u << 22 | 6u << 17 | 9u << 12 | 5u << 6);
    // Values are masked to their widths: a field never spills into its neighbour.
    EXPECT_EQ(pack_date(2000, 1, 1, 0, 0, 64), 0u);
    EXPECT_EQ(pack_date(2064, 1, 1, 0, 0, 0), 0u);
}

TEST(Packing, DateSeconds) {
    struct Case {
        unsigned y, mo, d, h, mi, s;
        std::int64_t seconds;
    };  // -1: no date
    const Case cases[] = {
        {2021, 3, 4, 5, 6, 7, 1614834367}, {2000, 1, 1, 0, 0, 1, 946684801},
        {2000, 2, 29, 0, 0, 0, 951782400}, {2024, 2, 29, 12, 0, 0, 1709208000},
        {2001, 3, 1, 0, 0, 0, 983404800},  {2063, 12, 31, 23, 59, 59, 2966371199},
        {2023, 2, 29, 0, 0, 0, -1},        {2021, 4, 31, 0, 0, 0, -1},
        {2021, 13, 1, 0, 0, 0, -1},        {2021, 1, 1, 24, 0, 0, -1},
        {2021, 1, 1, 0, 60, 0, -1},        {2021, 1, 1, 0, 0, 60, -1},
        {2000, 1, 1, 0, 0, 0, -1},  // packs to 0: no date was read
    };
    for (const Case& c : cases) {
        const auto got = date_seconds(pack_date(c.y, c.mo, c.d, c.h, c.mi, c.s));
        EXPECT_EQ(got.value_or(-1), c.seconds) << c.y << '/' << c.mo << '/' << c.d << ' ' << c.h;
    }
}

TEST(Enumerations, CurrencyCodes) {
    EXPECT_EQ(currency_index(0), -1);
    const char32_t symbols[] = {U'$', 0xA3, 0xA5, 0x20AC, 0x20B9};
    const char* codes[] = {"USD", "GBP", "JPY", "EUR", "INR"};
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(currency_index(symbols[i]), i);
        EXPECT_EQ(kCurrencyCodes[i].code, codes[i]);
    }
    EXPECT_THROW(currency_index(U'X'), Fault);
}

// ---------------------------------------------------------------------------------------------
// The store's checked access
// ---------------------------------------------------------------------------------------------

TEST(Store, TextReferences) {
    HandStore s;
    const TextRef a = s.push_text("Table \xC3\xA9t\xC3\xA9");  // "Table été", 11 bytes
    const TextRef b = s.push_text("bob");
    EXPECT_EQ(a, TextRef::make(0, 11));
    EXPECT_EQ(b, TextRef::make(11, 3));
    EXPECT_EQ(s.text_of(a), "Table \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(s.text_of(b), "bob");
    EXPECT_EQ(s.text_of(TextRef::make(14, 0)), "");
    EXPECT_EQ(s.text_of(TextRef::make(6, 2)), "\xC3\xA9");

    struct Case {
        std::uint64_t offset, length;
        const char* message;
    };
    const Case cases[] = {
        {12, 3, "index out of bounds: the len is 14 but the index is 15"},
        {15, 0, "index out of bounds: the len is 14 but the index is 15"},
        {7, 2, "text reference 7..9 is not on character boundaries"},  // starts mid-character
        {5, 2, "text reference 5..7 is not on character boundaries"},  // ends mid-character
        {7, 0, "text reference 7..7 is not on character boundaries"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fault_of([&] { s.text_of(TextRef::make(c.offset, c.length)); }), c.message);
}

TEST(Store, ListPayloads) {
    HandStore s;
    s.actions.resize(4);
    EXPECT_EQ(s.resolve(s.actions, Span::make(1, 3)).size(), 3u);
    EXPECT_EQ(s.resolve(s.actions, Span::make(4, 0)).size(), 0u);
    EXPECT_EQ(fault_of([&] { s.resolve(s.actions, Span::make(2, 3)); }),
              "index out of bounds: the len is 4 but the index is 5");

    EXPECT_EQ(s.push_card_set(CardSet::from_text("Ah Kh")), 0u);
    EXPECT_EQ(s.push_card_set(CardSet::from_text("2c")), 1u);
    EXPECT_EQ(s.cards_of(1), CardSet::from_text("2c"));
    EXPECT_EQ(s.cards_of(kNoCards), CardSet::empty());
    EXPECT_EQ(fault_of([&] { s.cards_of(2); }),
              "index out of bounds: the len is 2 but the index is 2");

    EXPECT_EQ(s.push_amounts({12.0f, 0.5f}), 0u);
    EXPECT_EQ(s.push_amounts({3.0f, 0.25f}), 2u);
    EXPECT_EQ(s.cash_out_of(2).amount, 3.0f);
    EXPECT_EQ(s.cash_out_of(2).fee, 0.25f);
    EXPECT_EQ(s.cash_out_of(1).amount, 0.5f);  // any index whose pair lies inside is readable
    EXPECT_EQ(fault_of([&] { s.cash_out_of(3); }),
              "index out of bounds: the len is 4 but the index is 4");
    EXPECT_EQ(fault_of([&] { s.cash_out_of(0xFFFFFFFFu); }),
              "index out of bounds: the len is 4 but the index is 4294967296");
}

TEST(Store, SayPayloads) {
    HandStore s;
    s.push_text("first hand text ");
    const std::uint64_t start = s.text.size();
    s.push_text("abc");
    const TextRef m = s.push_text("hello there");
    const std::uint32_t p = say_payload(m.offset(), m.length(), start);
    EXPECT_EQ(p, 3u | 11u << 24);
    EXPECT_EQ(s.message_of(p, start), "hello there");
    EXPECT_EQ(s.message_of(p, 0), "st hand tex");  // relative: another hand, another text

    EXPECT_EQ(say_payload(100, 255, 100), 255u << 24);
    EXPECT_EQ(say_payload((1u << 24) - 1 + 7, 0, 7), (1u << 24) - 1);
    EXPECT_EQ(fault_of([] { say_payload(0, 256, 0); }), "Message is too long 256 - max: 255");
    EXPECT_EQ(fault_of([] { say_payload((1u << 24) + 7, 1, 7); }),
              "message offset 16777216 does not fit in 24 bits");
    EXPECT_EQ(fault_of([] { say_payload(3, 1, 7); }),
              "message offset 3 lies before the hand's text start 7");
    EXPECT_EQ(fault_of([&] { s.message_of(p, 20); }),
              "index out of bounds: the len is 30 but the index is 34");
}

// ---------------------------------------------------------------------------------------------
// Number forms
// ---------------------------------------------------------------------------------------------

TEST(Numbers, FloatForms) {
    struct Case {
        float v;
        const char* record;
        const char* plain;
    };
    const Case cases[] = {
        {1.0f, "1.0", "1"},
        {0.25f, "0.25", "0.25"},
        {100.0f, "100.0", "100"},
        {2.0f, "2.0", "2"},
        {0.1f, "0.1", "0.1"},
        {0.3f, "0.3", "0.3"},
        {52.25f, "52.25", "52.25"},
        {123456.79f, "123456.79", "123456.79"},
        {16777216.0f, "16777216.0", "16777216"},
        {1e10f, "10000000000.0", "10000000000"},
        {1e15f, "1000000000000000.0", "1000000000000000"},
        {1e16f, "1e16", "10000000000000000"},
        {-2.5e20f, "-2.5e20", "-250000000000000000000"},
        {0.0001f, "0.0001", "0.0001"},
        {5e-5f, "5e-5", "0.00005"},
        {1.5e-7f, "1.5e-7", "0.00000015"},
        {-0.5f, "-0.5", "-0.5"},
        {0.0f, "0.0", "0"},
        {-0.0f, "-0.0", "-0"},
        {std::numeric_limits<float>::quiet_NaN(), "NaN", "NaN"},
        {std::numeric_limits<float>::infinity(), "inf", "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf", "-inf"},
        {std::numeric_limits<float>::max(), "3.4028235e38",
         "340282350000000000000000000000000000000"},
        {std::numeric_limits<float>::denorm_min(), "1e-45",
         "0.000000000000000000000000000000000000000000001"},
    };
    for (const Case& c : cases) {
        std::string r = "<", p = "<";
        append_f32_record(r, c.v);
        append_f32_plain(p, c.v);
        EXPECT_EQ(r, std::string("<") + c.record) << c.record;
        EXPECT_EQ(p, std::string("<") + c.plain) << c.plain;
    }
}

// Both forms read back as the same float, for values across the whole range.
TEST(Numbers, FloatFormsRoundTrip) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<std::uint32_t> bits;
    int checked = 0;
    while (checked < 20000) {
        const float v = std::bit_cast<float>(bits(rng));
        if (!std::isfinite(v)) continue;
        ++checked;
        for (int form = 0; form < 2; ++form) {
            std::string s;
            form == 0 ? append_f32_record(s, v) : append_f32_plain(s, v);
            float back = 0;
            const auto res = std::from_chars(s.data(), s.data() + s.size(), back);
            ASSERT_EQ(res.ec, std::errc()) << s;
            ASSERT_EQ(res.ptr, s.data() + s.size()) << s;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v)) << s;
            if (form == 1) {
                ASSERT_EQ(s.find('e'), std::string::npos) << s;
            } else if (s.find('e') == std::string::npos) {
                ASSERT_NE(s.find('.'), std::string::npos) << s;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Text forms
// ---------------------------------------------------------------------------------------------

#define SP "\xE2\x99\xA0"  // ♠
#define CL "\xE2\x99\xA3"  // ♣
#define HE "\xE2\x99\xA5"  // ♥
#define DI "\xE2\x99\xA6"  // ♦

Action amount(ActionType t, std::uint8_t p, float v) { return Action::with_amount(t, p, v); }
Action bare(ActionType t, std::uint8_t p, std::uint32_t payload = kNoPayload) {
    return Action::make(t, p, payload);
}

Span push_actions(HandStore& s, std::initializer_list<Action> actions) {
    const std::uint64_t start = s.actions.size();
    s.actions.insert(s.actions.end(), actions);
    return Span::between(start, s.actions.size());
}

Street street(HandStore& s, const char* cards, std::initializer_list<Action> actions) {
    Street st;
    if (cards) st.cards = CardSet::from_text(cards);
    st.actions = push_actions(s, actions);
    return st;
}

Span push_streets(std::vector<Street>& list, std::initializer_list<Street> streets) {
    const std::uint64_t start = list.size();
    list.insert(list.end(), streets);
    return Span::between(start, list.size());
}

// A run-it-twice cash hand with an action of every payload kind, followed by a hand from
// another site with a chat message at the same relative offset.
HandStore two_hands() {
    HandStore s;
    using T = ActionType;
    {
        Hand h;
        h.text_start = s.text.size();
        Header& hd = h.header;
        hd.id = s.push_text("230000001");
        hd.table_name = s.push_text("Alpha II");
        hd.currency = U'$';
        hd.max_players = 6;
        hd.dealer = 1;
        hd.hero = 0;
        hd.bet_cap = 7.0f;  // not printed
        hd.small_blind = 0.5f;
        hd.big_blind = 1.0f;
        hd.start_date = pack_date(2021, 3, 7, 9, 5, 0);
        const std::uint64_t p0 = s.players.size();
        s.players.push_back({.name = s.push_text("alice"), .seat = 1, .chips = 100.0f});
        s.players.push_back({.name = s.push_text("bob"), .seat = 3, .chips = 52.25f});
        s.players.push_back({.name = s.push_text("chlo\xC3\xA9"), .seat = kNone8, .chips = 0.0f});
        hd.players = Span::between(p0, s.players.size());
        const TextRef msg = s.push_text("hi all");
        const std::uint32_t say = say_payload(msg.offset(), msg.length(), h.text_start);
        const std::uint32_t cash = s.push_amounts({12.0f, 0.5f});
        hd.actions = push_actions(s, {amount(T::SmallBlind, 0, 0.5f), amount(T::BigBlind, 1, 1.0f),
                                      bare(T::Join, 2, 7), bare(T::Say, 2, say), bare(T::Sitout, 2),
                                      bare(T::Leave, 2), bare(T::CashOut, 1, cash)});
        const std::uint32_t hole = s.push_card_set(CardSet::from_text("As Kh"));
        h.preflop = street(s, nullptr,
                           {bare(T::Dealt, 0, hole), amount(T::Raise, 0, 3.0f),
                            amount(T::Call, 1, 2.0f), bare(T::Fold, 2, kNoCards)});
        const Street flop1 =
            street(s, "2c 7d Th", {amount(T::BetAllIn, 0, 97.0f), amount(T::CallAllIn, 1, 49.25f)});
        const Street flop2 = street(s, "Qs Jd 9h", {bare(T::Check, 0)});
        h.flops = push_streets(s.flops, {flop1, flop2});
        const std::uint32_t shown = s.push_card_set(CardSet::from_text("Qc Qd"));
        h.showdowns = push_streets(
            s.showdowns, {street(s, nullptr, {bare(T::Show, 1, shown), bare(T::Muck, 0)})});
        h.summary.pots = PotInfo{104.5f, 2.5f, 102.0f, 0.0f, 0.0f, 0.0f};
        const std::uint64_t w0 = s.winners.size();
        s.winners.push_back({1, 51.0f, 0});
        s.winners.push_back({0, 51.0f, 1});
        h.summary.winners = Span::between(w0, s.winners.size());
        h.summary.actions = push_actions(
            s, {amount(T::CollectMainPot, 1, 51.0f), amount(T::UncalledBetReturned, 0, 47.75f)});
        s.hands.push_back(h);
    }
    {
        Hand h;
        h.text_start = s.text.size();
        Header& hd = h.header;
        hd.id = s.push_text("230000002");
        hd.site = Site::OnGame;
        hd.game_type = GameType::Omaha;
        hd.table_name = s.push_text("Alpha II");
        hd.max_players = 9;
        hd.ante = 1e16f;
        hd.small_blind = 5e-5f;
        hd.big_blind = 0.0001f;
        hd.start_date = pack_date(2009, 12, 31, 23, 59, 59);
        const std::uint64_t p0 = s.players.size();
        s.players.push_back({.name = s.push_text("dave_the_great"), .seat = 2, .chips = 2.0f});
        hd.players = Span::between(p0, s.players.size());
        const TextRef msg = s.push_text("yo dog");
        hd.actions = push_actions(
            s, {bare(T::Say, 0, say_payload(msg.offset(), msg.length(), h.text_start))});
        s.hands.push_back(h);
    }
    return s;
}

const char* const kHand0Compact =
    "Hand { header: Header { id: '230000001', site: PokerStars, game_type: HoldEm, "
    "currency: '$', table_name: 'Alpha II', max_players: 6, dealer: 1, hero: 0, ante: 0.0, "
    "small_blind: 0.5, big_blind: 1.0, start_date: 2021/03/07 09:05:00, players: "
    "[Player { name: 'alice', seat: 1, chips: 100.0 }, Player { name: 'bob', seat: 3, "
    "chips: 52.25 }, Player { name: 'chlo\xC3\xA9', seat: 255, chips: 0.0 }], actions: "
    "[Action { type: SmallBlind, player_id: 0, amount: 0.5 }, Action { type: BigBlind, "
    "player_id: 1, amount: 1 }, Action { type: Join, player_id: 2, seat: 7 }, "
    "Action { type: Say, player_id: 2, msg: 'hi all' }, Action { type: Sitout, player_id: 2 }, "
    "Action { type: Leave, player_id: 2 }, Action { type: CashOut, player_id: 1, "
    "data: CashOut { amount: 12.0, fee: 0.5 } }] }, "
    "preflop: Street { cards: [  ], actions: [Action { type: Dealt, player_id: 0, "
    "cards: [ A" SP " K" HE
    " ] }, Action { type: Raise, player_id: 0, amount: 3 }, "
    "Action { type: Call, player_id: 1, amount: 2 }, Action { type: Fold, player_id: 2, "
    "cards: [  ] }] }, "
    "flops: [Street { cards: [ 2" CL " 7" DI " T" HE
    " ], actions: [Action { type: BetAllIn, "
    "player_id: 0, amount: 97 }, Action { type: CallAllIn, player_id: 1, amount: 49.25 }] }, "
    "Street { cards: [ Q" SP " J" DI " 9" HE
    " ], actions: [Action { type: Check, "
    "player_id: 0 }] }], turns: [], rivers: [], "
    "showdowns: [Street { cards: [  ], actions: [Action { type: Show, player_id: 1, "
    "cards: [ Q" CL " Q" DI
    " ] }, Action { type: Muck, player_id: 0, cards: [  ] }] }], "
    "summary: Summary { pots: PotInfo { total: 104.5, rake: 2.5, main: 102.0, side_1: 0.0, "
    "side_2: 0.0, side_3: 0.0 }, winners: [Winner { player_id: 1, amount: 51.0, game_id: 0 }, "
    "Winner { player_id: 0, amount: 51.0, game_id: 1 }], actions: [Action { "
    "type: CollectMainPot, player_id: 1, amount: 51 }, Action { type: UncalledBetReturned, "
    "player_id: 0, amount: 47.75 }] } }";

const char* const kHand1Compact =
    "Hand { header: Header { id: '230000002', site: OnGame, game_type: Omaha, currency: '', "
    "table_name: 'Alpha II', max_players: 9, dealer: 255, hero: 255, ante: 1e16, "
    "small_blind: 5e-5, big_blind: 0.0001, start_date: 2009/12/31 23:59:59, players: "
    "[Player { name: 'dave_the_great', seat: 2, chips: 2.0 }], actions: [Action { type: Say, "
    "player_id: 0, msg: 'yo dog' }] }, preflop: Street { cards: [  ], actions: [] }, "
    "flops: [], turns: [], rivers: [], showdowns: [], summary: Summary { pots: PotInfo { "
    "total: 0.0, rake: 0.0, main: 0.0, side_1: 0.0, side_2: 0.0, side_3: 0.0 }, winners: [], "
    "actions: [] } }";

const char* const kHand0Pretty = R"(Hand {
    header: Header {
        id: '230000001',
        site: PokerStars,
        game_type: HoldEm,
        currency: '$',
        table_name: 'Alpha II',
        max_players: 6,
        dealer: 1,
        hero: 0,
        ante: 0.0,
        small_blind: 0.5,
        big_blind: 1.0,
        start_date: 2021/03/07 09:05:00,
        players: [
            Player {
                name: 'alice',
                seat: 1,
                chips: 100.0,
            },
            Player {
                name: 'bob',
                seat: 3,
                chips: 52.25,
            },
            Player {
                name: 'chloé',
                seat: 255,
                chips: 0.0,
            },
        ],
        actions: [
            Action {
                type: SmallBlind,
                player_id: 0,
                amount: 0.5,
            },
            Action {
                type: BigBlind,
                player_id: 1,
                amount: 1,
            },
            Action {
                type: Join,
                player_id: 2,
                seat: 7,
            },
            Action {
                type: Say,
                player_id: 2,
                msg: 'hi all',
            },
            Action {
                type: Sitout,
                player_id: 2,
            },
            Action {
                type: Leave,
                player_id: 2,
            },
            Action {
                type: CashOut,
                player_id: 1,
                data: CashOut {
                    amount: 12.0,
                    fee: 0.5,
                },
            },
        ],
    },
    preflop: Street {
        cards: [  ],
        actions: [
            Action {
                type: Dealt,
                player_id: 0,
                cards: [ A♠ K♥ ],
            },
            Action {
                type: Raise,
                player_id: 0,
                amount: 3,
            },
            Action {
                type: Call,
                player_id: 1,
                amount: 2,
            },
            Action {
                type: Fold,
                player_id: 2,
                cards: [  ],
            },
        ],
    },
    flops: [
        Street {
            cards: [ 2♣ 7♦ T♥ ],
            actions: [
                Action {
                    type: BetAllIn,
                    player_id: 0,
                    amount: 97,
                },
                Action {
                    type: CallAllIn,
                    player_id: 1,
                    amount: 49.25,
                },
            ],
        },
        Street {
            cards: [ Q♠ J♦ 9♥ ],
            actions: [
                Action {
                    type: Check,
                    player_id: 0,
                },
            ],
        },
    ],
    turns: [],
    rivers: [],
    showdowns: [
        Street {
            cards: [  ],
            actions: [
                Action {
                    type: Show,
                    player_id: 1,
                    cards: [ Q♣ Q♦ ],
                },
                Action {
                    type: Muck,
                    player_id: 0,
                    cards: [  ],
                },
            ],
        },
    ],
    summary: Summary {
        pots: PotInfo {
            total: 104.5,
            rake: 2.5,
            main: 102.0,
            side_1: 0.0,
            side_2: 0.0,
            side_3: 0.0,
        },
        winners: [
            Winner {
                player_id: 1,
                amount: 51.0,
                game_id: 0,
            },
            Winner {
                player_id: 0,
                amount: 51.0,
                game_id: 1,
            },
        ],
        actions: [
            Action {
                type: CollectMainPot,
                player_id: 1,
                amount: 51,
            },
            Action {
                type: UncalledBetReturned,
                player_id: 0,
                amount: 47.75,
            },
        ],
    },
})";

const char* const kHand1Pretty = R"(Hand {
    header: Header {
        id: '230000002',
        site: OnGame,
        game_type: Omaha,
        currency: '',
        table_name: 'Alpha II',
        max_players: 9,
        dealer: 255,
        hero: 255,
        ante: 1e16,
        small_blind: 5e-5,
        big_blind: 0.0001,
        start_date: 2009/12/31 23:59:59,
        players: [
            Player {
                name: 'dave_the_great',
                seat: 2,
                chips: 2.0,
            },
        ],
        actions: [
            Action {
                type: Say,
                player_id: 0,
                msg: 'yo dog',
            },
        ],
    },
    preflop: Street {
        cards: [  ],
        actions: [],
    },
    flops: [],
    turns: [],
    rivers: [],
    showdowns: [],
    summary: Summary {
        pots: PotInfo {
            total: 0.0,
            rake: 0.0,
            main: 0.0,
            side_1: 0.0,
            side_2: 0.0,
            side_3: 0.0,
        },
        winners: [],
        actions: [],
    },
})";

// Every line after the first moved right by four spaces.
std::string indented(std::string_view s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '\n') out += "    ";
    }
    return out;
}

TEST(TextForms, WholeHands) {
    const HandStore s = two_hands();
    EXPECT_EQ(hand_text(s, 0, false), kHand0Compact);
    EXPECT_EQ(hand_text(s, 1, false), kHand1Compact);
    EXPECT_EQ(hand_text(s, 0, true), kHand0Pretty);
    EXPECT_EQ(hand_text(s, 1, true), kHand1Pretty);
}

TEST(TextForms, HandLists) {
    const HandStore s = two_hands();
    EXPECT_EQ(hands_text(s, Span::make(0, 2), false),
              std::string("[") + kHand0Compact + ", " + kHand1Compact + "]");
    EXPECT_EQ(hands_text(s, Span::make(0, 2), true),
              "[\n    " + indented(kHand0Pretty) + ",\n    " + indented(kHand1Pretty) + ",\n]");
    EXPECT_EQ(hands_text(s, Span::make(1, 1), false), std::string("[") + kHand1Compact + "]");
    EXPECT_EQ(hands_text(s, Span::make(2, 0), false), "[]");
    EXPECT_EQ(hands_text(s, Span::make(0, 0), true), "[]");
}

// Both hands carry a message at the same offset relative to their own text start.
TEST(TextForms, SayMessagesResolvePerHand) {
    const HandStore s = two_hands();
    const Action say0 = s.actions[s.hands[0].header.actions.start() + 3];
    const Action say1 = s.actions[s.hands[1].header.actions.start()];
    ASSERT_EQ(say0.type(), ActionType::Say);
    EXPECT_EQ(say0.payload(), say1.payload());
    EXPECT_EQ(action_text(s, say0, s.hands[0].text_start, false),
              "Action { type: Say, player_id: 2, msg: 'hi all' }");
    EXPECT_EQ(action_text(s, say0, s.hands[1].text_start, false),
              "Action { type: Say, player_id: 2, msg: 'yo dog' }");
}

TEST(TextForms, SingleActions) {
    HandStore s;
    const std::uint32_t cash = s.push_amounts({12.0f, 0.5f});
    const std::uint32_t cards = s.push_card_set(CardSet::from_text("Ah"));
    const TextRef number = s.push_text("2244219929");
    const std::uint32_t entry = say_payload(number.offset(), number.length(), 0);
    struct Case {
        Action a;
        const char* compact;
        const char* pretty;
    };
    const Case cases[] = {
        {amount(ActionType::Raise, 2, 1.5f), "Action { type: Raise, player_id: 2, amount: 1.5 }",
         "Action {\n    type: Raise,\n    player_id: 2,\n    amount: 1.5,\n}"},
        {bare(ActionType::Check, 0), "Action { type: Check, player_id: 0 }",
         "Action {\n    type: Check,\n    player_id: 0,\n}"},
        {bare(ActionType::CashOut, 4, cash),
         "Action { type: CashOut, player_id: 4, data: CashOut { amount: 12.0, fee: 0.5 } }",
         "Action {\n    type: CashOut,\n    player_id: 4,\n    data: CashOut {\n"
         "        amount: 12.0,\n        fee: 0.5,\n    },\n}"},
        {bare(ActionType::Show, 32, cards),
         "Action { type: Show, player_id: 32, cards: [ A" HE " ] }",
         "Action {\n    type: Show,\n    player_id: 32,\n    cards: [ A" HE " ],\n}"},
        {amount(ActionType::Bet, 1, 1e16f),
         "Action { type: Bet, player_id: 1, amount: 10000000000000000 }",
         "Action {\n    type: Bet,\n    player_id: 1,\n    amount: 10000000000000000,\n}"},
        {bare(ActionType::Join, 9, 4294967294u),
         "Action { type: Join, player_id: 9, seat: 4294967294 }",
         "Action {\n    type: Join,\n    player_id: 9,\n    seat: 4294967294,\n}"},
        {bare(ActionType::Entry, 3, entry),
         "Action { type: Entry, player_id: 3, tournament_id: '2244219929' }",
         "Action {\n    type: Entry,\n    player_id: 3,\n    tournament_id: '2244219929',\n}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(action_text(s, c.a, 0, false), c.compact);
        EXPECT_EQ(action_text(s, c.a, 0, true), c.pretty);
    }
}

// References that leave their lists are faults while printing, never reads past the end.
TEST(TextForms, BrokenReferencesFault) {
    struct Case {
        const char* name;
        void (*spoil)(HandStore&);
        const char* message;
    };
    const Case cases[] = {
        {"players span", [](HandStore& s) { s.hands[1].header.players = Span::make(3, 2); },
         "index out of bounds: the len is 4 but the index is 5"},
        {"flops span", [](HandStore& s) { s.hands[0].flops = Span::make(1, 2); },
         "index out of bounds: the len is 2 but the index is 3"},
        {"winners span", [](HandStore& s) { s.hands[0].summary.winners = Span::make(0, 3); },
         "index out of bounds: the len is 2 but the index is 3"},
        {"table name", [](HandStore& s) { s.hands[1].header.table_name = TextRef::make(80, 1); },
         "index out of bounds: the len is 74 but the index is 81"},
        {"player name mid-character",
         [](HandStore& s) { s.players[2].name = TextRef::make(s.players[2].name.offset(), 5); },
         "text reference 25..30 is not on character boundaries"},
        {"card index", [](HandStore& s) { s.actions[7] = bare(ActionType::Dealt, 0, 2); },
         "index out of bounds: the len is 2 but the index is 2"},
        {"cash-out pair", [](HandStore& s) { s.actions[6] = bare(ActionType::CashOut, 1, 1); },
         "index out of bounds: the len is 2 but the index is 2"},
        {"say message",
         [](HandStore& s) { s.actions[3] = bare(ActionType::Say, 2, 70u | 20u << 24); },
         "index out of bounds: the len is 74 but the index is 90"},
        {"street cards", [](HandStore& s) { s.flops[0].cards.count = 8; },
         "index out of bounds: the len is 7 but the index is 8"},
        {"action type",
         [](HandStore& s) { s.actions[0] = bare(static_cast<ActionType>(kActionTypeCount), 0); },
         "internal error: entered unreachable code: Invalid action type: 40"},
    };
    for (const Case& c : cases) {
        HandStore s = two_hands();
        ASSERT_EQ(s.text.size(), 74u);
        c.spoil(s);
        EXPECT_EQ(fault_of([&] { hands_text(s, Span::make(0, 2), false); }), c.message) << c.name;
        EXPECT_EQ(fault_of([&] { hands_text(s, Span::make(0, 2), true); }), c.message) << c.name;
    }
    const HandStore s = two_hands();
    EXPECT_EQ(fault_of([&] { hands_text(s, Span::make(1, 2), false); }),
              "index out of bounds: the len is 2 but the index is 3");
    EXPECT_EQ(fault_of([&] { hand_text(s, 2, false); }),
              "index out of bounds: the len is 2 but the index is 2");
}

// ---------------------------------------------------------------------------------------------
// File encodings (every byte of the code pages is checked against Python's codecs in the Python
// tests; here the edges of the passes)
// ---------------------------------------------------------------------------------------------

TEST(Decode, EncodingsAtTheEdges) {
    struct Case {
        const char* what;
        std::string_view bytes;
        Encoding encoding;
        std::string_view text;
    };
    const Case cases[] = {
        {"cp1252 euro, undefined, a-grave", "\x80\x81\xE0", Encoding::Cp1252,
         "\xE2\x82\xAC\xEF\xBF\xBD\xC3\xA0"},
        {"latin-1 keeps the controls", "a\x80\x81\xFF", Encoding::Latin1,
         "a\xC2\x80\xC2\x81\xC3\xBF"},
        {"auto: no multi-byte sequence is cp1252", "caf\xE9 \x80", Encoding::Auto,
         "caf\xC3\xA9 \xE2\x82\xAC"},
        {"auto: damage first, then a character", "\xFF\xC3\xA9", Encoding::Auto,
         "\xEF\xBF\xBD\xC3\xA9"},
        {"auto: a character, then a cut one at the end", "\xC3\xA9x\xE2\x82", Encoding::Auto,
         "\xC3\xA9x\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"auto: a surrogate is three damaged bytes", "\xED\xA0\x80\xC3\xA9", Encoding::Auto,
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xC3\xA9"},
        {"auto: a byte-order mark counts as UTF-8", "\xEF\xBB\xBF\xE9", Encoding::Auto,
         "\xEF\xBB\xBF\xEF\xBF\xBD"},
        {"cp1252 of a byte-order mark", "\xEF\xBB\xBF", Encoding::Cp1252,
         "\xC3\xAF\xC2\xBB\xC2\xBF"},
        {"empty", "", Encoding::Auto, ""},
    };
    for (const Case& c : cases) {
        std::string buffer;
        EXPECT_EQ(decode_text(c.bytes, c.encoding, buffer), c.text) << c.what;
    }
    // Valid UTF-8 is read in place, under Auto as under Utf8: no copy.
    const std::string valid = std::string(100, 'a') + "\xC3\xA9\xF0\x9F\x82\xA1";
    std::string buffer;
    for (const Encoding e : {Encoding::Auto, Encoding::Utf8})
        EXPECT_EQ(decode_text(valid, e, buffer).data(), valid.data());
    EXPECT_TRUE(buffer.empty());
}

}  // namespace

// Start times to UTC: US Eastern time at the changes of both rule sets (2007 and later, 1987 to
// 2006), fixed zones across a year's end, offsets, and zones that keep the written time.
TEST(Clock, StartTimesInUtc) {
    struct Case {
        std::string_view zone;
        PackedDate written, utc;
    };
    const auto d = [](unsigned y, unsigned mo, unsigned dd, unsigned h, unsigned mi, unsigned s) {
        return pack_date(y, mo, dd, h, mi, s);
    };
    const Case cases[] = {
        {"ET", d(2021, 3, 14, 1, 59, 59), d(2021, 3, 14, 6, 59, 59)},  // last standard second
        {"ET", d(2021, 3, 14, 3, 0, 0), d(2021, 3, 14, 7, 0, 0)},      // first daylight one
        {"ET", d(2021, 11, 7, 0, 59, 59), d(2021, 11, 7, 4, 59, 59)},
        {"ET", d(2021, 11, 7, 1, 30, 0), d(2021, 11, 7, 5, 30, 0)},  // repeated hour: daylight
        {"(ET)", d(2021, 11, 7, 2, 0, 0), d(2021, 11, 7, 7, 0, 0)},
        {"ET", d(2006, 3, 20, 12, 0, 0), d(2006, 3, 20, 17, 0, 0)},  // old rules: still winter
        {"ET", d(2007, 3, 20, 12, 0, 0), d(2007, 3, 20, 16, 0, 0)},
        {"ET", d(2006, 4, 2, 1, 59, 59), d(2006, 4, 2, 6, 59, 59)},
        {"ET", d(2006, 4, 2, 3, 0, 0), d(2006, 4, 2, 7, 0, 0)},
        {"ET", d(2006, 10, 29, 1, 30, 0), d(2006, 10, 29, 5, 30, 0)},
        {"ET", d(2006, 10, 29, 2, 0, 0), d(2006, 10, 29, 7, 0, 0)},
        {"ET", d(2006, 11, 3, 12, 0, 0), d(2006, 11, 3, 17, 0, 0)},  // new rules would say 16
        {"ET", d(2012, 12, 31, 22, 0, 0), d(2013, 1, 1, 3, 0, 0)},
        {"CET", d(2014, 1, 1, 0, 30, 0), d(2013, 12, 31, 23, 30, 0)},
        {"CEST", d(2014, 6, 6, 8, 52, 0), d(2014, 6, 6, 6, 52, 0)},
        {"EEST", d(2014, 6, 6, 8, 52, 0), d(2014, 6, 6, 5, 52, 0)},
        {"GST", d(2014, 6, 6, 8, 52, 0), d(2014, 6, 6, 4, 52, 0)},
        {"GMT+0100", d(2014, 2, 28, 23, 59, 0), d(2014, 2, 28, 22, 59, 0)},
        {"GMT-0330", d(2016, 2, 28, 22, 0, 0), d(2016, 2, 29, 1, 30, 0)},
        {"UTC", d(2021, 3, 4, 5, 6, 7), d(2021, 3, 4, 5, 6, 7)},
        {"PT", d(2021, 3, 4, 5, 6, 7), d(2021, 3, 4, 5, 6, 7)},  // unknown: as written
        {"GMT+0160", d(2021, 3, 4, 5, 6, 7), d(2021, 3, 4, 5, 6, 7)},
        {"", d(2021, 3, 4, 5, 6, 7), d(2021, 3, 4, 5, 6, 7)},
        {"CET", 0, 0},                         // no date
        {"ET", d(2063, 12, 31, 22, 0, 0), 0},  // beyond the packed years
    };
    for (const Case& c : cases) {
        std::string shown(c.zone);
        append_date(shown += ' ', c.written);
        EXPECT_EQ(utc_start(c.written, zone_named(c.zone)), c.utc) << shown;
    }
}

// US Eastern time in every year a PackedDate holds, at the changes the rules name (found here by
// their weekdays: 1970-01-01 was a Thursday). And the clock that keeps the hour converted last
// gives utc_start's time for every hour of those days and of others, the zone changing each hour.
TEST(Clock, EasternYearsAndKeptHours) {
    const TimeZone zones[] = {zone_named("ET"), zone_named("CET"), zone_named("GMT-0330"), {}};
    const auto offset = [&](PackedDate w) {
        return (*date_seconds(utc_start(w, zones[0])) - *date_seconds(w)) / 3600;
    };
    UtcClock clock;
    for (unsigned year = 2000; year <= 2063; ++year) {
        const auto sunday = [&](unsigned month, unsigned nth) {  // nth 0: the last
            unsigned found = 0, last = 0;
            for (unsigned day = 1; day <= 31 && (nth == 0 || found < nth); ++day)
                if (const auto s = date_seconds(pack_date(year, month, day, 0, 0, 0));
                    s && (*s / 86400 + 4) % 7 == 0)
                    last = day, ++found;
            return last;
        };
        const bool rules_2007 = year >= 2007;
        const unsigned sm = rules_2007 ? 3 : 4, em = rules_2007 ? 11 : 10;
        const unsigned start = sunday(sm, rules_2007 ? 2 : 1), end = sunday(em, rules_2007 ? 1 : 0);
        EXPECT_TRUE(offset(pack_date(year, sm, start, 1, 59, 59)) == 5 &&
                    offset(pack_date(year, sm, start, 3, 0, 0)) == 4 &&
                    offset(pack_date(year, em, end, 1, 59, 59)) == 4 &&
                    offset(pack_date(year, em, end, 2, 0, 0)) == 5)
            << year;
        for (const PackedDate day :
             {pack_date(year, sm, start, 0, 0, 0), pack_date(year, em, end, 0, 0, 0),
              pack_date(year, 12, 31, 0, 0, 0)})
            for (unsigned hour = 0; hour < 24; ++hour)
                for (const TimeZone zone : zones)
                    for (const unsigned clock_part : {0u, 59u << 6 | 59, 60u << 6, 63u}) {
                        const PackedDate written = day | hour << 12 | clock_part;
                        ASSERT_EQ(clock.utc(written, zone), utc_start(written, zone)) << written;
                    }
    }
}
