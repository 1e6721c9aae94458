// The JSON writer and both layouts, over stores built by hand.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/format.hpp"
#include "core/model.hpp"
#include "export/json.hpp"
#include "export/json_writer.hpp"
#include "fuzz/check.hpp"
#include "support.hpp"

namespace {

using namespace hs;

// The layouts' form of JSON (strict, no white space between tokens, no exponents): the check
// that the fuzz target applies too.
bool valid(std::string_view s) { return fuzz::json_error(s).empty(); }

// ---------------------------------------------------------------------------------------------
// Building stores by hand
// ---------------------------------------------------------------------------------------------

Span span(std::uint64_t start, std::uint64_t count) { return Span{start | count << 40}; }

TextRef text(HandStore& st, std::string_view s) {
    const std::uint64_t off = st.text.size();
    st.text.append(s);
    return TextRef{off | std::uint64_t{s.size()} << 40};
}

PackedDate date(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) {
    return (y - 2000) << 26 | (mo - 1) << 22 | (d - 1) << 17 | h << 12 | mi << 6 | s;
}

Span push_actions(HandStore& st, std::initializer_list<Action> list) {
    const std::uint64_t start = st.actions.size();
    for (const Action& a : list) st.actions.push_back(a);
    return span(start, list.size());
}

Span push_streets(std::vector<Street>& list, std::initializer_list<Street> streets) {
    const std::uint64_t start = list.size();
    for (const Street& s : streets) list.push_back(s);
    return span(start, streets.size());
}

CardSet cards(std::initializer_list<Card> cs) {
    CardSet set;
    for (Card c : cs) set.cards[set.count++] = c;
    return set;
}

// A small two-player hand; tests change fields before push().
struct HandBuilder {
    HandStore& st;
    Hand hand;

    explicit HandBuilder(HandStore& store) : st(store) {
        hand.text_start = st.text.size();
        Header& h = hand.header;
        h.id = text(st, "42");
        h.table_name = text(st, "Alpha");
        h.currency = U'$';
        h.max_players = 6;
        h.dealer = 0;
        h.hero = 1;
        h.small_blind = 0.25f;
        h.big_blind = 0.5f;
        h.start_date = date(2021, 3, 5, 14, 7, 9);
        const std::uint64_t first = st.players.size();
        st.players.push_back(Player{.name = text(st, "alice"), .seat = 3, .chips = 100.0f});
        st.players.push_back(Player{.name = text(st, "bob"), .seat = 5, .chips = 12.75f});
        h.players = span(first, 2);
        hand.preflop.id = 0;
    }
    void push() { st.hands.push_back(hand); }
};

Span all_hands(const HandStore& st) { return span(0, st.hands.size()); }

std::string native(const HandStore& st, Span hands) {
    auto out = to_json_native(st, hands);
    EXPECT_TRUE(out.has_value());
    const std::string s(out ? out->view() : std::string_view());
    EXPECT_TRUE(valid(s)) << s;
    return s;
}
std::string native(const HandStore& st) { return native(st, all_hands(st)); }

std::string ohh(const HandStore& st) {
    auto out = to_json_ohh(st, all_hands(st));
    EXPECT_TRUE(out.has_value());
    const std::string s(out ? out->view() : std::string_view());
    EXPECT_TRUE(valid(s)) << s;
    return s;
}

using test::fault_of;

const std::string kHeaderHead =
    R"([{"header":{"site":"PokerStars","game_type":"HoldEm","bet_type":"NoLimit","id":"42",)"
    R"("table_name":"Alpha","start_date":"2021-03-05T14:07:09Z","currency":"$",)"
    R"("is_tournament":false,"max_players":6,"dealer_id":0,"hero_id":1,"bet_cap":0,"ante":0,)"
    R"("small_blind":0.25,"big_blind":0.5,"players":[{"name":"alice","id":0,"seat":3,)"
    R"("chips":100},{"name":"bob","id":1,"seat":5,"chips":12.75}],"actions":)";
const std::string kAfterHeaderActions =
    R"(},"preflop":{"id":0,"cards":[],"actions":[]},"flops":[],"turns":[],"rivers":[],)"
    R"("showdowns":[],"summary":{"total_pot":0,"main_pot":0,"side_pots":[0,0,0],"rake":0,)"
    R"("winners":[],"actions":[]}}])";

// The whole output of a base hand whose header actions are written as `actions`.
std::string base_with_header_actions(std::string_view actions) {
    return kHeaderHead + std::string(actions) + kAfterHeaderActions;
}

// ---------------------------------------------------------------------------------------------
// Native layout
// ---------------------------------------------------------------------------------------------

TEST(NativeJson, EmptyViewIsEmptyArray) {
    HandStore st;
    EXPECT_EQ(native(st), "[]");
    HandBuilder(st).push();
    EXPECT_EQ(native(st, span(1, 0)), "[]");
    EXPECT_EQ(*to_json_ohh(st, span(0, 0)), "[]");
}

TEST(NativeJson, BaseHandWholeText) {
    HandStore st;
    HandBuilder(st).push();
    EXPECT_EQ(native(st), base_with_header_actions("[]"));
}

struct AmountCase {
    float value;
    const char* text;
};

class Amounts : public ::testing::TestWithParam<AmountCase> {};

TEST_P(Amounts, WrittenShortestAndPositional) {
    HandStore st;
    HandBuilder b(st);
    b.hand.header.actions =
        push_actions(st, {Action::with_amount(ActionType::Bet, 1, GetParam().value)});
    b.push();
    EXPECT_EQ(native(st), base_with_header_actions(
                              std::string(R"([{"player_id":1,"type":"bet","cards":[],"amount":)") +
                              GetParam().text + R"(,"all_in":false}])"));
}

INSTANTIATE_TEST_SUITE_P(
    Json, Amounts,
    ::testing::Values(AmountCase{0.0f, "0"}, AmountCase{1.0f, "1"}, AmountCase{0.25f, "0.25"},
                      AmountCase{0.01f, "0.01"}, AmountCase{0.1f, "0.1"},
                      AmountCase{1234.56f, "1234.56"}, AmountCase{1000000.0f, "1000000"},
                      AmountCase{10000000000.0f, "10000000000"}, AmountCase{25.0f, "25"},
                      AmountCase{0.5f, "0.5"}, AmountCase{-3.5f, "-3.5"},
                      AmountCase{0.00005f, "0.00005"}, AmountCase{1e16f, "10000000000000000"}));

// Amounts of whole cents are written from the integer: the same digits as the general shortest
// form, for every number of cents below 2^17 (a stride through them), the floats beside each,
// their negatives and negative zero.
TEST(NativeJson, WholeCentsWrittenAsTheShortestForm) {
    JsonWriter w;
    std::string expected;
    std::size_t checked = 0;
    for (std::int64_t cents = 0; cents < 13107200; cents += 97) {
        const float v = static_cast<float>(static_cast<double>(cents) / 100.0);
        for (float x : {v, std::nextafter(v, 0.0f), std::nextafter(v, 1e9f), -v}) {
            w.truncate(0);
            w.amount(x);
            expected.clear();
            append_f32_plain(expected, x);
            ASSERT_EQ(std::string_view(w.take()), expected) << cents;
            ++checked;
        }
    }
    EXPECT_GT(checked, 500000u);
}

TEST(NativeJson, NonFiniteAmountIsAFormattingFailure) {
    for (float bad : {std::numeric_limits<float>::infinity(), std::nanf("")}) {
        HandStore st;
        HandBuilder b(st);
        b.hand.header.big_blind = bad;
        b.push();
        EXPECT_FALSE(to_json_native(st, all_hands(st)).has_value());
    }
}

TEST(NativeJson, TextsAreEscaped) {
    HandStore st;
    HandBuilder b(st);
    st.players[0].name = text(st, "a\"b\\c\td\x01\x1f\x7f");
    st.players[1].name = text(st, "J\xc3\xb6rg \xe2\x82\xac");  // "Jörg €"
    b.hand.header.table_name = text(st, "T\n'x'/");
    b.push();
    const std::string out = native(st);
    EXPECT_NE(out.find(R"("name":"a\"b\\c\u0009d\u0001\u001f)"
                       "\x7f"
                       R"(","id":0)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"name\":\"J\xc3\xb6rg \xe2\x82\xac\",\"id\":1"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("table_name":"T\u000a'x'/")"), std::string::npos) << out;
}

TEST(NativeJson, CardsAndStreets) {
    HandStore st;
    HandBuilder b(st);
    b.hand.preflop.cards = cards({});
    b.hand.flops = push_streets(st.flops, {Street{cards({0x01, 0xCA, 0x4D}), {}, 1}});
    b.hand.turns = push_streets(st.turns, {Street{cards({0x82}), {}, 2}});
    b.hand.rivers = push_streets(st.rivers, {Street{cards({0x0E}), {}, 3}});  // rank 14: '>'
    b.hand.showdowns = push_streets(st.showdowns, {Street{cards({}), {}, 4}});
    b.push();
    const std::string out = native(st);
    EXPECT_NE(out.find(R"("flops":[{"id":1,"cards":["As","Td","Kc"],"actions":[]}],)"
                       R"("turns":[{"id":2,"cards":["2h"],"actions":[]}],)"
                       R"("rivers":[{"id":3,"cards":[">s"],"actions":[]}],)"
                       R"("showdowns":[{"id":4,"cards":[],"actions":[]}],)"),
              std::string::npos)
        << out;
}

TEST(NativeJson, Dates) {
    struct Case {
        PackedDate d;
        const char* text;
    };
    for (const Case& c :
         {Case{date(2021, 3, 5, 14, 7, 9), "2021-03-05T14:07:09Z"}, Case{0, "2000-01-01T00:00:00Z"},
          Case{date(2009, 12, 31, 23, 59, 59), "2009-12-31T23:59:59Z"},
          Case{0xFFFFFFFFu, "2063-16-32T31:63:63Z"}}) {
        HandStore st;
        HandBuilder b(st);
        b.hand.header.start_date = c.d;
        b.push();
        EXPECT_NE(native(st).find(std::string("\"start_date\":\"") + c.text + "\","),
                  std::string::npos)
            << c.text;
        EXPECT_NE(ohh(st).find(std::string("\"start_date_utc\":\"") + c.text + "\","),
                  std::string::npos)
            << c.text;
    }
}

// Every action type: the object written for it, from "player_id" to the closing brace.
struct ActionCase {
    ActionType type;
    std::uint32_t payload;  // amount types take kAmount's bits
    const char* json;
};
// Payload stand-ins that the test replaces: the bits of 2.5, and the Say message of the hand.
constexpr std::uint32_t A = 0xA0A0A0A0u;
constexpr std::uint32_t M = 0xB0B0B0B0u;

class ActionKeys : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ActionKeys, KeysAndOrderPerType) {
    HandStore st;
    st.text = "0123456789";  // hand texts begin after this, so Say offsets are relative
    HandBuilder b(st);
    const std::uint32_t msg_off =
        static_cast<std::uint32_t>(text(st, "hi \"you\"").offset() - b.hand.text_start);
    st.card_sets.push_back(cards({0x01, 0x0D}));                    // index 0
    st.card_sets.push_back(cards({0x8A, 0xCB, 0x4C, 0x02, 0x03}));  // index 1
    st.amounts = {7.0f, 99.5f, 0.25f};                              // a cash-out at index 1
    std::uint32_t payload = GetParam().payload;
    if (payload == A) payload = std::bit_cast<std::uint32_t>(2.5f);
    if (payload == M) payload = msg_off | 8u << 24;
    b.hand.header.actions = push_actions(st, {Action::make(GetParam().type, 4, payload)});
    b.push();
    EXPECT_EQ(native(st), base_with_header_actions(std::string("[") + GetParam().json + "]"));
}

INSTANTIATE_TEST_SUITE_P(
    Json, ActionKeys,
    ::testing::Values(
        ActionCase{ActionType::Bet, A,
                   R"({"player_id":4,"type":"bet","cards":[],"amount":2.5,"all_in":false})"},
        ActionCase{ActionType::Call, A,
                   R"({"player_id":4,"type":"call","cards":[],"amount":2.5,"all_in":false})"},
        ActionCase{ActionType::Raise, A,
                   R"({"player_id":4,"type":"raise","cards":[],"amount":2.5,"all_in":false})"},
        ActionCase{ActionType::BetAllIn, A,
                   R"({"player_id":4,"type":"bet","cards":[],"amount":2.5,"all_in":true})"},
        ActionCase{ActionType::CallAllIn, A,
                   R"({"player_id":4,"type":"call","cards":[],"amount":2.5,"all_in":true})"},
        ActionCase{ActionType::RaiseAllIn, A,
                   R"({"player_id":4,"type":"raise","cards":[],"amount":2.5,"all_in":true})"},
        ActionCase{ActionType::Check, kNoPayload, R"({"player_id":4,"type":"check","cards":[]})"},
        ActionCase{ActionType::Fold, kNoCards, R"({"player_id":4,"type":"fold","cards":[]})"},
        ActionCase{ActionType::Fold, 0, R"({"player_id":4,"type":"fold","cards":["As","Ks"]})"},
        ActionCase{ActionType::Muck, 1,
                   R"({"player_id":4,"type":"muck","cards":["Th","Jd","Qc","2s","3s"]})"},
        ActionCase{ActionType::Show, 0, R"({"player_id":4,"type":"show","cards":["As","Ks"]})"},
        ActionCase{ActionType::Dealt, kNoCards, R"({"player_id":4,"type":"dealt","cards":[]})"},
        ActionCase{ActionType::Ante, A,
                   R"({"player_id":4,"type":"blind","cards":[],"amount":2.5,"blind":"ante"})"},
        ActionCase{ActionType::BigBlind, A,
                   R"({"player_id":4,"type":"blind","cards":[],"amount":2.5,"blind":"big"})"},
        ActionCase{ActionType::SmallBlind, A,
                   R"({"player_id":4,"type":"blind","cards":[],"amount":2.5,"blind":"small"})"},
        ActionCase{ActionType::BigSmallBlind, A,
                   R"({"player_id":4,"type":"blind","cards":[],"amount":2.5,"blind":"big_small"})"},
        ActionCase{ActionType::DeadBlind, A,
                   R"({"player_id":4,"type":"blind","cards":[],"amount":2.5,"blind":"dead"})"},
        ActionCase{ActionType::ExtraBlind, A,
                   R"({"player_id":4,"type":"blind","cards":[],"amount":2.5,"blind":"extra"})"},
        ActionCase{ActionType::CashOut, 1,
                   R"({"player_id":4,"type":"cashout","cards":[],"amount":99.5,"fee":0.25})"},
        ActionCase{ActionType::CollectMainPot, A,
                   R"({"player_id":4,"type":"collect_pot","cards":[],"amount":2.5,"pot":"main"})"},
        ActionCase{
            ActionType::CollectSidePot1, A,
            R"({"player_id":4,"type":"collect_pot","cards":[],"amount":2.5,"pot":"side_1"})"},
        ActionCase{
            ActionType::CollectSidePot2, A,
            R"({"player_id":4,"type":"collect_pot","cards":[],"amount":2.5,"pot":"side_2"})"},
        ActionCase{
            ActionType::CollectSidePot3, A,
            R"({"player_id":4,"type":"collect_pot","cards":[],"amount":2.5,"pot":"side_3"})"},
        ActionCase{ActionType::UncalledBetReturned, A,
                   R"({"player_id":4,"type":"uncalled_bet","cards":[],"amount":2.5})"},
        ActionCase{ActionType::Join, 0x1207,
                   R"({"player_id":4,"type":"join","cards":[],"seat":7})"},
        ActionCase{ActionType::Leave, kNoPayload, R"({"player_id":4,"type":"leave","cards":[]})"},
        ActionCase{ActionType::Sitout, kNoPayload, R"({"player_id":4,"type":"sitout","cards":[]})"},
        ActionCase{ActionType::Say, M,
                   R"({"player_id":4,"type":"say","cards":[],"msg":"hi \"you\""})"},
        ActionCase{ActionType::Say, 0, R"({"player_id":4,"type":"say","cards":[]})"}));

TEST(NativeJson, SayIsAnchoredAtTheHandBeingWritten) {
    HandStore st;
    // Two hands whose messages sit at the same offset relative to their own text start.
    std::vector<std::uint64_t> starts;
    for (std::string_view msg : {"first!", "second"}) {
        HandBuilder b(st);
        const std::uint64_t off = text(st, msg).offset() - b.hand.text_start;
        b.hand.summary.actions = push_actions(
            st, {Action::make(ActionType::Say, 0, static_cast<std::uint32_t>(off | 6u << 24))});
        b.push();
    }
    const std::string both = native(st);
    const auto p1 = both.find(R"("msg":"first!")");
    const auto p2 = both.find(R"("msg":"second")");
    ASSERT_NE(p1, std::string::npos) << both;
    ASSERT_NE(p2, std::string::npos) << both;
    EXPECT_LT(p1, p2);
    // A view of the second hand alone still finds its own message.
    const std::string second = native(st, span(1, 1));
    EXPECT_NE(second.find(R"("msg":"second")"), std::string::npos) << second;
    EXPECT_EQ(second.find("first!"), std::string::npos);
}

TEST(NativeJson, FullHandWholeText) {
    HandStore st;
    HandBuilder b(st);
    Header& h = b.hand.header;
    h.site = Site::PokerStarsPluribus;
    h.game_type = GameType::OmahaHiLo;
    h.bet_type = BetType::PotLimit;
    h.currency = U'\u20AC';
    h.tournament = static_cast<std::uint32_t>(st.tournaments.size());
    Tournament t;
    t.id = st.push_text("7");
    t.level = st.push_text("XV");
    t.buy_in_kind = BuyInKind::Money;
    t.currency = U'$';
    t.buy_in = 0.98f;
    t.fee = 0.16f;
    t.bounty_fee = 0.25f;
    t.bounties = span(st.push_amounts({0.5f, 0.25f}), 2);
    st.tournaments.push_back(t);
    h.hero = kNone8;
    h.dealer = 1;
    h.bet_cap = 80;
    h.ante = 0.1f;
    h.actions = push_actions(st, {Action::with_amount(ActionType::SmallBlind, 0, 0.25f),
                                  Action::with_amount(ActionType::BigBlind, 1, 0.5f)});
    b.hand.preflop.actions =
        push_actions(st, {Action::with_amount(ActionType::RaiseAllIn, 0, 12.75f),
                          Action::make(ActionType::Check, 1, kNoPayload)});
    b.hand.flops = push_streets(st.flops, {Street{cards({0x01, 0x02, 0x03}), {}, 1},
                                           Street{cards({0x44, 0x45, 0x46}), {}, 4}});
    b.hand.summary.pots = PotInfo{25.5f, 0.5f, 20.0f, 5.0f, 0.0f, 0.0f};
    const std::uint64_t w0 = st.winners.size();
    st.winners.push_back(Winner{0, 12.5f, 0});
    st.winners.push_back(Winner{1, 12.5f, 1});
    b.hand.summary.winners = span(w0, 2);
    b.hand.summary.actions = push_actions(
        st, {Action::with_amount(ActionType::CollectMainPot, 0, 12.5f),
             Action::make(ActionType::SplitBounty, 0, st.push_amounts({0.13f, 0.12f, 0.62f, 1})),
             Action::make(ActionType::Finish, 1, st.push_amounts({2, 1.5f})),
             Action::make(ActionType::AddOn, 0, st.push_amounts({1500, 1}))});
    b.push();
    EXPECT_EQ(
        native(st),
        R"([{"header":{"site":"PokerStarsPluribus","game_type":"OmahaHiLo","bet_type":"PotLimit",)"
        R"("id":"42","table_name":"Alpha","start_date":"2021-03-05T14:07:09Z","currency":")"
        "\xe2\x82\xac"
        R"(","is_tournament":true,"tournament":{"id":"7","buy_in_kind":"Money",)"
        R"("currency":"$","buy_in":0.98,"fee":0.16,"bounty_fee":0.25,"level":"XV",)"
        R"("match_round":"","bounties":[0.5,0.25]},"max_players":6,"dealer_id":1,)"
        R"("hero_id":255,"bet_cap":80,)"
        R"("ante":0.1,"small_blind":0.25,"big_blind":0.5,"players":[{"name":"alice","id":0,)"
        R"("seat":3,"chips":100},{"name":"bob","id":1,"seat":5,"chips":12.75}],"actions":[)"
        R"({"player_id":0,"type":"blind","cards":[],"amount":0.25,"blind":"small"},)"
        R"({"player_id":1,"type":"blind","cards":[],"amount":0.5,"blind":"big"}]},)"
        R"("preflop":{"id":0,"cards":[],"actions":[)"
        R"({"player_id":0,"type":"raise","cards":[],"amount":12.75,"all_in":true},)"
        R"({"player_id":1,"type":"check","cards":[]}]},)"
        R"("flops":[{"id":1,"cards":["As","2s","3s"],"actions":[]},)"
        R"({"id":4,"cards":["4c","5c","6c"],"actions":[]}],"turns":[],"rivers":[],)"
        R"("showdowns":[],"summary":{"total_pot":25.5,"main_pot":20,"side_pots":[5,0,0],)"
        R"("rake":0.5,"winners":[{"player_id":0,"game_id":0,"amount":12.5},)"
        R"({"player_id":1,"game_id":1,"amount":12.5}],"actions":[)"
        R"({"player_id":0,"type":"collect_pot","cards":[],"amount":12.5,"pot":"main"},)"
        R"({"player_id":0,"type":"bounty","cards":[],"amount":0.13,"defeated_id":1,)"
        R"("increase":0.12,"total":0.62,"split":true},)"
        R"({"player_id":1,"type":"finish","cards":[],"place":2,"prize":1.5},)"
        R"({"player_id":0,"type":"addon","cards":[],"chips":1500,"cost":1}]}}])");
}

TEST(NativeJson, CurrencySymbols) {
    struct Case {
        Currency c;
        const char* text;
    };
    for (const Case& c :
         {Case{0, ""}, Case{U'$', "$"}, Case{U'\u00A3', "\xc2\xa3"}, Case{U'\u00A5', "\xc2\xa5"},
          Case{U'\u20AC', "\xe2\x82\xac"}, Case{U'\u20B9', "\xe2\x82\xb9"}, Case{U'"', "\\\""}}) {
        HandStore st;
        HandBuilder b(st);
        b.hand.header.currency = c.c;
        b.push();
        EXPECT_NE(native(st).find(std::string("\"currency\":\"") + c.text + "\",\"is_tournament\""),
                  std::string::npos)
            << c.text;
    }
}

TEST(NativeJson, GrowsPastTheInitialBuffer) {
    HandStore st;
    constexpr int kHands = 1500;  // well over 100,000 bytes of output
    for (int i = 0; i < kHands; ++i) HandBuilder(st).push();
    const std::string out = native(st);
    EXPECT_GT(out.size(), 200000u);
    const std::string one = base_with_header_actions("[]");
    const std::string obj = one.substr(1, one.size() - 2);  // one hand object
    std::string expected = "[";
    for (int i = 0; i < kHands; ++i) expected += (i ? "," : "") + obj;
    expected += "]";
    EXPECT_EQ(out, expected);
}

// ---------------------------------------------------------------------------------------------
// Broken store invariants: a fault, never a text
// ---------------------------------------------------------------------------------------------

struct Breakage {
    const char* what;
    void (*apply)(HandStore&, Hand&);
};

class BrokenStore : public ::testing::TestWithParam<Breakage> {};

TEST_P(BrokenStore, IsAFault) {
    HandStore st;
    HandBuilder b(st);
    GetParam().apply(st, b.hand);
    b.push();
    EXPECT_NE(fault_of([&] { (void)to_json_native(st, all_hands(st)); }), "") << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Json, BrokenStore,
    ::testing::Values(
        Breakage{"players span beyond list",
                 [](HandStore&, Hand& h) { h.header.players = span(1, 2); }},
        Breakage{"action span beyond list",
                 [](HandStore&, Hand& h) { h.preflop.actions = span(0, 1); }},
        Breakage{"flops beyond list", [](HandStore&, Hand& h) { h.flops = span(0, 1); }},
        Breakage{"winners beyond list",
                 [](HandStore&, Hand& h) { h.summary.winners = span(3, 1); }},
        Breakage{"text beyond buffer",
                 [](HandStore& st, Hand& h) {
                     h.header.table_name = TextRef{(st.text.size() - 2) | std::uint64_t{5} << 40};
                 }},
        Breakage{"card index beyond card_sets",
                 [](HandStore& st, Hand& h) {
                     h.header.actions = push_actions(st, {Action::make(ActionType::Show, 0, 3)});
                 }},
        Breakage{"cash-out pair beyond amounts",
                 [](HandStore& st, Hand& h) {
                     st.amounts = {1.0f, 2.0f, 3.0f};
                     h.header.actions = push_actions(st, {Action::make(ActionType::CashOut, 0, 2)});
                 }},
        Breakage{"card count above seven", [](HandStore&, Hand& h) { h.preflop.cards.count = 8; }},
        Breakage{"say beyond text",
                 [](HandStore& st, Hand& h) {
                     h.header.actions =
                         push_actions(st, {Action::make(ActionType::Say, 0, 200u | 5u << 24)});
                 }},
        Breakage{"unknown action type",
                 [](HandStore& st, Hand& h) {
                     h.header.actions = push_actions(st, {Action{std::uint64_t{27} << 40}});
                 }},
        Breakage{"unknown site",
                 [](HandStore&, Hand& h) { h.header.site = static_cast<Site>(kSiteCount); }}));

// Random damage to the references and codes of a hand: every outcome is either a whole valid
// text or a fault (run under the sanitizers, this also shows no read goes astray).
TEST(NativeJson, RandomDamageIsTextOrFault) {
    std::uint64_t seed = 0x9E3779B97F4A7C15u;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    int faults = 0, texts = 0;
    for (int round = 0; round < 3000; ++round) {
        HandStore st;
        st.card_sets.push_back(cards({0x01, 0x02}));
        st.amounts = {1.0f, 0.5f};
        HandBuilder b(st);
        b.hand.header.actions = push_actions(
            st, {Action::make(ActionType::Show, 0, 0), Action::make(ActionType::CashOut, 1, 0),
                 Action::make(ActionType::Say, 1, 0 | 2u << 24),
                 Action::with_amount(ActionType::Call, 0, 1.5f)});
        b.hand.flops = push_streets(st.flops, {Street{cards({1, 2, 3}), {}, 1}});
        b.hand.summary.winners = span(0, 0);
        // Small values hit the edges of the lists more often than uniform ones would.
        const std::uint64_t r = next();
        const std::uint64_t v = (r & 1) ? next() : next() % 12 | (next() % 6) << 40;
        switch (r >> 1 & 15) {
            case 0: b.hand.header.players.raw = v; break;
            case 1: b.hand.header.actions.raw = v; break;
            case 2: b.hand.flops.raw = v; break;
            case 3: b.hand.summary.winners.raw = v; break;
            case 4: b.hand.header.id.raw = v; break;
            case 5: st.players[0].name.raw = v; break;
            case 6:
                st.actions[0].raw = (st.actions[0].raw & ~0xFFFFFFFFull) | (v & 0xFFFFFFFF);
                break;
            case 7:
                st.actions[1].raw = (st.actions[1].raw & ~0xFFFFFFFFull) | (v & 0xFFFFFFFF);
                break;
            case 8:
                st.actions[2].raw = (st.actions[2].raw & ~0xFFFFFFFFull) | (v & 0xFFFFFFFF);
                break;
            case 9: st.actions[3].raw = v & 0xFFFFFFFFFFFFull; break;
            case 10: b.hand.preflop.cards.count = static_cast<std::uint8_t>(v); break;
            case 11: b.hand.text_start = v; break;
            case 12: b.hand.header.dealer = static_cast<std::uint8_t>(v); break;
            case 13: b.hand.header.currency = static_cast<Currency>(v); break;
            case 14: b.hand.header.site = static_cast<Site>(v); break;
            default: b.hand.header.bet_type = static_cast<BetType>(v); break;
        }
        b.push();
        for (auto* convert : {&to_json_native, &to_json_ohh}) {
            try {
                const auto out = convert(st, all_hands(st));
                ASSERT_TRUE(out.has_value());
                ASSERT_TRUE(valid(*out)) << out->view();
                ++texts;
            } catch (const Fault&) {
                ++faults;
            }
        }
    }
    EXPECT_GT(faults, 1000);
    EXPECT_GT(texts, 500);
}

TEST(NativeJson, ViewBeyondTheHandList) {
    HandStore st;
    HandBuilder(st).push();
    EXPECT_NE(fault_of([&] { (void)to_json_native(st, span(0, 2)); }), "");
    EXPECT_NE(fault_of([&] { (void)to_json_ohh(st, span(1, 1)); }), "");
}

// ---------------------------------------------------------------------------------------------
// Open Hand History export
// ---------------------------------------------------------------------------------------------

TEST(OhhJson, BaseHandWholeText) {
    HandStore st;
    HandBuilder(st).push();
    EXPECT_EQ(
        ohh(st),
        R"([{"spec_version":"1.4.1","site_name":"PokerStars","network_name":"PokerStars",)"
        R"("game_type":"HoldEm","table_name":"Alpha","game_number":"42",)"
        R"("start_date_utc":"2021-03-05T14:07:09Z","tournament":false,"table_size":6,)"
        R"("currency":"USD","dealer_seat":3,"hero_player_id":null,"small_blind":0.25,)"
        R"("big_blind":0.5,"ante_amount":0,"bet_limit":{"bet_type":"NL","cap":0},)"
        R"("players":[{"id":0,"seat":3,"name":"alice","starting_stack":100,"player_bounty":0},)"
        R"({"id":1,"seat":5,"name":"bob","starting_stack":12.75,"player_bounty":0}],)"
        R"("flags":[],"rounds":[{"street":"Preflop","id":0,"actions":[]}],"pots":[]}])");
}

TEST(OhhJson, StreetsFlagsAndLimits) {
    HandStore st;
    HandBuilder b(st);
    Header& h = b.hand.header;
    h.hero = kNone8;
    h.bet_cap = 80;
    h.dealer = 1;
    h.bet_type = BetType::Limit;
    h.site = Site::OnGame;
    b.hand.preflop.cards = cards({0x01, 0x02});  // never written for the preflop
    b.hand.flops = push_streets(st.flops, {Street{cards({0x01, 0xCA, 0x4D}), {}, 1},
                                           Street{cards({0x82, 0x03, 0x04}), {}, 5}});
    b.hand.turns = push_streets(st.turns, {Street{cards({0x05}), {}, 2}});
    b.hand.rivers = push_streets(st.rivers, {Street{cards({0x06}), {}, 3}});
    b.hand.showdowns = push_streets(st.showdowns, {Street{cards({}), {}, 4}});
    b.hand.summary.pots.total = 10;  // pots are never exported
    b.push();
    const std::string out = ohh(st);
    EXPECT_NE(out.find(R"("site_name":"OnGame","network_name":"OnGame",)"), std::string::npos);
    EXPECT_NE(out.find(R"("dealer_seat":5,"hero_player_id":null,)"), std::string::npos);
    EXPECT_NE(out.find(R"("bet_limit":{"bet_type":"FL","cap":80},)"), std::string::npos);
    EXPECT_NE(out.find(R"("flags":["Run_It_Twice","Observed","Cap"],"rounds":[)"
                       R"({"street":"Preflop","id":0,"actions":[]},)"
                       R"({"street":"Flop","id":2,"cards":["As","Td","Kc"],"actions":[]},)"
                       R"({"street":"Flop","id":6,"cards":["2h","3s","4s"],"actions":[]},)"
                       R"({"street":"Turn","id":3,"cards":["5s"],"actions":[]},)"
                       R"({"street":"River","id":4,"cards":["6s"],"actions":[]},)"
                       R"({"street":"Showdown","id":5,"actions":[]}],"pots":[]}])"),
              std::string::npos)
        << out;
}

TEST(OhhJson, FlagsEachAlone) {
    struct Case {
        int twice_list;
        std::uint8_t hero;
        float cap;
        const char* flags;
    };
    for (const Case& c :
         {Case{-1, 0, 0, "[]"}, Case{0, 0, 0, R"(["Run_It_Twice"])"},
          Case{3, 0, 0, R"(["Run_It_Twice"])"}, Case{-1, kNone8, 0, R"(["Observed"])"},
          Case{-1, 1, 2.0f, R"(["Cap"])"}, Case{2, kNone8, 0, R"(["Run_It_Twice","Observed"])"}}) {
        HandStore st;
        HandBuilder b(st);
        b.hand.header.hero = c.hero;
        b.hand.header.bet_cap = c.cap;
        std::vector<Street>* lists[] = {&st.flops, &st.turns, &st.rivers, &st.showdowns};
        Span* spans[] = {&b.hand.flops, &b.hand.turns, &b.hand.rivers, &b.hand.showdowns};
        if (c.twice_list >= 0)
            *spans[c.twice_list] = push_streets(*lists[c.twice_list], {Street{}, Street{}});
        b.push();
        EXPECT_NE(ohh(st).find(std::string("\"flags\":") + c.flags + ",\"rounds\""),
                  std::string::npos)
            << c.flags;
    }
}

TEST(OhhJson, CurrencyCodes) {
    struct Case {
        Currency c;
        const char* code;
    };
    for (const Case& c : {Case{U'$', "USD"}, Case{U'\u00A3', "GBP"}, Case{U'\u00A5', "JPY"},
                          Case{U'\u20AC', "EUR"}, Case{U'\u20B9', "INR"}, Case{0, "PPC"}}) {
        HandStore st;
        HandBuilder b(st);
        b.hand.header.currency = c.c;
        b.push();
        EXPECT_NE(ohh(st).find(std::string("\"currency\":\"") + c.code + "\",\"dealer_seat\""),
                  std::string::npos)
            << c.code;
    }
}

constexpr const char* kNoActions = "not implemented: JsonOHH - action";
constexpr const char* kBadCurrency =
    "internal error: entered unreachable code: Invalid currency character: 'X'";

// Which failure a hand meets first: dealer, then currency, then the streets in order.
struct OhhFailure {
    const char* what;
    bool bad_dealer;
    bool bad_currency;
    int action_in;        // -1 none, 0 header, 1 preflop, 2 flop, 3 showdown
    const char* message;  // nullptr: the index fault
};

class OhhFailures : public ::testing::TestWithParam<OhhFailure> {};

TEST_P(OhhFailures, MetInWritingOrder) {
    const OhhFailure& f = GetParam();
    HandStore st;
    HandBuilder(st).push();  // a good hand first: its text is not returned either
    HandBuilder b(st);
    if (f.bad_dealer) b.hand.header.dealer = kNone8;  // no dealer: beyond any players span
    if (f.bad_currency) b.hand.header.currency = U'X';
    const Span one = push_actions(st, {Action::make(ActionType::Check, 0, kNoPayload)});
    b.hand.flops = push_streets(st.flops, {Street{cards({1, 2, 3}), {}, 1}});
    b.hand.showdowns = push_streets(st.showdowns, {Street{}});
    switch (f.action_in) {
        case 0: b.hand.header.actions = one; break;
        case 1: b.hand.preflop.actions = one; break;
        case 2: st.flops.back().actions = one; break;
        case 3: st.showdowns.back().actions = one; break;
        default: break;
    }
    b.push();
    const std::string msg = fault_of([&] { (void)to_json_ohh(st, all_hands(st)); });
    if (f.message == nullptr) {
        EXPECT_NE(msg.find("index"), std::string::npos) << msg;
        EXPECT_NE(msg.find("255"), std::string::npos) << msg;
    } else {
        EXPECT_EQ(msg, f.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Json, OhhFailures,
    ::testing::Values(OhhFailure{"header action", false, false, 0, kNoActions},
                      OhhFailure{"preflop action", false, false, 1, kNoActions},
                      OhhFailure{"flop action", false, false, 2, kNoActions},
                      OhhFailure{"showdown action", false, false, 3, kNoActions},
                      OhhFailure{"currency", false, true, -1, kBadCurrency},
                      OhhFailure{"currency before actions", false, true, 0, kBadCurrency},
                      OhhFailure{"dealer", true, false, -1, nullptr},
                      OhhFailure{"dealer before currency", true, true, 1, nullptr}));

// Hold'em and Omaha hi and hi/lo are written; every variant is a hand the format cannot express.
TEST(OhhJson, VariantsAreNotWritten) {
    for (std::size_t g = 0; g < kGameTypeCount; ++g) {
        HandStore st;
        HandBuilder b(st);
        b.hand.header.game_type = static_cast<GameType>(g);
        b.push();
        const std::string msg = fault_of([&] { (void)to_json_ohh(st, all_hands(st)); });
        const std::string name(kGameTypeNames[g]);
        EXPECT_EQ(msg, g <= 2 ? "" : "not implemented: JsonOHH - game type " + name) << name;
    }
}

TEST(OhhJson, PreflopRunCoversHeaderAndPreflopActions) {
    // Header actions alone and preflop actions alone both fail; an empty header run whose start
    // is arbitrary with an empty preflop run does not.
    HandStore st;
    HandBuilder b(st);
    b.hand.header.actions = span(12345, 0);
    b.hand.preflop.actions = span(999, 0);
    b.push();
    EXPECT_NE(ohh(st).find(R"("rounds":[{"street":"Preflop","id":0,"actions":[]}])"),
              std::string::npos);
}

}  // namespace
