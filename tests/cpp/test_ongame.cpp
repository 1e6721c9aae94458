// The OnGame parser on texts built here for the cases that real files do not show (rejected
// hands, faults, the end of the text inside a summary, grouped amounts, players without seat
// lines, the lines of a history saved by a logged-in player) and on real hands cut short at
// every byte. Real files as a whole, and their golden
// text forms, are checked by tests/python/test_ongame.py.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/model.hpp"
#include "export/text_form.hpp"
#include "reader/cursor.hpp"
#include "sites/ongame.hpp"
#include "support.hpp"

namespace {

using hs::ActionType;

using hs::test::join;

std::string data_file(const std::string& name) { return hs::test::data_file("ongame/" + name); }

// Parses like the dispatcher does: the byte-order mark is removed first.
std::unique_ptr<hs::HandStore> parse(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    auto store = std::make_unique<hs::HandStore>();
    hs::Parser parser(text, *store);
    std::vector<hs::Rejection> rejected;
    hs::ongame::parse_hands(parser, hs::Errors::Strict, rejected);
    return store;
}

std::vector<std::string> ids(const hs::HandStore& store) {
    std::vector<std::string> out;
    for (const hs::Hand& h : store.hands) out.emplace_back(store.text_of(h.header.id));
    return out;
}

std::vector<std::string> base_hand(const std::string& n = "7") { return hs::test::ongame_hand(n); }

// Checked once against the lines of base_hand() field by field.
constexpr std::string_view kBaseHandText =
    "Hand { header: Header { id: '100000001-7', site: OnGame, game_type: HoldEm, currency: '$', "
    "table_name: 'Testville', max_players: 3, dealer: 1, hero: 255, ante: 0.0, "
    "small_blind: 1.0, big_blind: 2.0, start_date: 2000/01/01 00:00:00, players: ["
    "Player { name: 'Alice', seat: 1, chips: 1523.85 }, "
    "Player { name: 'Bob', seat: 3, chips: 1256.5 }, "
    "Player { name: 'Carol', seat: 5, chips: 2000.0 }], actions: ["
    "Action { type: SmallBlind, player_id: 2, amount: 1 }, "
    "Action { type: BigBlind, player_id: 0, amount: 2 }] }, "
    "preflop: Street { cards: [  ], actions: ["
    "Action { type: Raise, player_id: 1, amount: 4 }, "
    "Action { type: Call, player_id: 2, amount: 5 }, "
    "Action { type: Fold, player_id: 0, cards: [  ] }] }, "
    "flops: [Street { cards: [ A♥ K♦ 7♣ ], actions: ["
    "Action { type: Check, player_id: 2 }, "
    "Action { type: BetAllIn, player_id: 1, amount: 1250.5 }, "
    "Action { type: Call, player_id: 2, amount: 1250.5 }] }], "
    "turns: [Street { cards: [ 2♠ ], actions: [] }], "
    "rivers: [Street { cards: [ T♦ ], actions: [] }], showdowns: [], "
    "summary: Summary { pots: PotInfo { total: 2515.0, rake: 25.0, main: 2515.0, side_1: 0.0, "
    "side_2: 0.0, side_3: 0.0 }, winners: [Winner { player_id: 2, amount: 2490.0, game_id: 0 }], "
    "actions: [Action { type: Show, player_id: 1, cards: [ Q♠ Q♥ ] }, "
    "Action { type: Show, player_id: 2, cards: [ A♠ 7♥ ] }] } }";

void replace_all(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

// Index of the first line of base_hand() that begins with `prefix`.
std::size_t line_of(const std::vector<std::string>& lines, std::string_view prefix) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (std::string_view(lines[i]).substr(0, prefix.size()) == prefix) return i;
    }
    ADD_FAILURE() << "no line begins with " << prefix;
    return 0;
}

// Cutting a real hand short at every byte never crashes: each prefix either parses (into a sound
// store) or raises an internal fault, and a prefix that stops inside the summary never yields
// the hand.
class OngameFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(OngameFiles, EveryTruncationParsesOrFaults) {
    const std::string text = data_file(GetParam());
    const std::size_t summary_end = text.rfind("***** End");
    ASSERT_NE(summary_end, std::string::npos);
    for (std::size_t n = 0; n <= text.size(); ++n) {
        try {
            const auto store = parse(std::string_view(text).substr(0, n));
            hs::test::expect_sound(*store, "cut at " + std::to_string(n));
            if (n <= summary_end) {
                EXPECT_TRUE(store->hands.empty()) << "cut at " << n;
            }
        } catch (const hs::Fault&) {
        }
    }
    EXPECT_EQ(parse(text)->hands.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Ongame, OngameFiles,
    ::testing::Values("OnGame__CashGame__HandActionTests__AllInHandWithShowdown.txt",
                      // "User:" line, "(6)" count, own cards, a made hand after a show
                      "OnGame__CashGame__GeneralHands__HeroName.txt"));

TEST(OngameBuilt, BaseHandFieldByField) {
    const auto store = parse(join(base_hand()));
    ASSERT_EQ(store->hands.size(), 1u);
    EXPECT_EQ(hs::hand_text(*store, 0, false), kBaseHandText);
    const hs::Hand& h = store->hands[0];
    EXPECT_EQ(h.header.site, hs::Site::OnGame);
    EXPECT_EQ(h.header.bet_type, hs::BetType::NoLimit);
    EXPECT_FALSE(h.header.is_tournament());
    EXPECT_EQ(h.header.bet_cap, 0.0f);
    EXPECT_EQ(store->flops.at(h.flops.start()).id, 0);
    EXPECT_EQ(store->turns.at(h.turns.start()).id, 1);
    EXPECT_EQ(store->rivers.at(h.rivers.start()).id, 2);
}

// A name that begins with dashes, in blind, action, pot and show lines alike.
TEST(OngameBuilt, NameBeginningWithDashes) {
    std::string text = join(base_hand());
    replace_all(text, "Carol", "---Carol---");
    std::string expected(kBaseHandText);
    replace_all(expected, "Carol", "---Carol---");
    const auto store = parse(text);
    ASSERT_EQ(store->hands.size(), 1u);
    EXPECT_EQ(hs::hand_text(*store, 0, false), expected);
}

TEST(OngameBuilt, CrLfLineEndsWithTrailingBlanks) {
    const auto store = parse(join(base_hand(), " \t\r\n"));
    ASSERT_EQ(store->hands.size(), 1u);
    EXPECT_EQ(hs::hand_text(*store, 0, false), kBaseHandText);
}

TEST(OngameBuilt, OnlyEmptyLinesGiveNoHands) {
    for (const char* text : {"", "\n", "\n\n\n", "\r\n\r\n", "   \n\t\n"}) {
        EXPECT_TRUE(parse(text)->hands.empty()) << '"' << text << '"';
    }
}

TEST(OngameBuilt, HandsSeparatedByEmptyLinesAndBackToBack) {
    const auto a = base_hand("1"), b = base_hand("2"), c = base_hand("3");
    const std::string text = "\n\n" + join(a) + "\n\n" + join(b) + join(c) + "\n";
    EXPECT_EQ(ids(*parse(text)),
              (std::vector<std::string>{"100000001-1", "100000001-2", "100000001-3"}));
}

TEST(OngameBuilt, HandIdRunsToTheFirstSpaceAfterByte26) {
    auto lines = base_hand();
    lines[0] = "***** History for hand T5-569087-5 (TOURNAMENT: ) *****";
    EXPECT_EQ(ids(*parse(join(lines))), std::vector<std::string>{"569087-5"});
    lines[0] = "***** History for hand R5-12345678901234567890";  // no space after the id
    EXPECT_EQ(ids(*parse(join(lines))), std::vector<std::string>{"12345678901234567890"});
}

TEST(OngameBuilt, DealerLine) {
    struct Case {
        const char* line;
        std::uint8_t dealer, button_seat;
    };
    for (const Case& c : {Case{"Button: seat 5", 2, 5}, Case{"Button: seat 1", 0, 1},
                          Case{"Button: R", 255, 255}, Case{"Button: Round", 255, 255},
                          // No seat line names seat 7: a dead button, no dealer (the seat number
                          // used to stay in `dealer`, naming whichever player had that index).
                          Case{"Button: seat 7", 255, 7},
                          Case{"Button: seat 259", 1, 3}}) {  // kept to 8 bits: Bob's seat
        auto lines = base_hand();
        lines[3] = c.line;
        const auto store = parse(join(lines));
        ASSERT_EQ(store->hands.size(), 1u) << c.line;
        EXPECT_EQ(store->hands[0].header.dealer, c.dealer) << c.line;
        EXPECT_EQ(store->hands[0].header.button_seat, c.button_seat) << c.line;
    }
}

TEST(OngameBuilt, TableLineNameAndStakes) {
    struct Case {
        const char* line;
        const char* name;
        char32_t currency;
        float small, big;
    };
    for (const Case& c : {
             Case{"Table: [SPEED] Dallas [361717011] (NO_LIMIT TEXAS_HOLDEM $0.50/$1, Real money)",
                  "[SPEED] Dallas", U'$', 0.5f, 1.0f},
             Case{"Table: Big [1] (NO_LIMIT TEXAS_HOLDEM \xC2\xA3"
                  "1,000/\xC2\xA3"
                  "2,000.50, x)",
                  "Big", U'\u00A3', 1000.0f, 2000.5f},
             Case{"Table: Rupee [1] (NO_LIMIT TEXAS_HOLDEM \xE2\x82\xB9"
                  "5/\xE2\x82\xB9"
                  "10)",
                  "Rupee", U'\u20B9', 5.0f, 10.0f},
         }) {
        auto lines = base_hand();
        lines[2] = c.line;
        // Amounts of the other lines keep their '$', which is not this hand's sign: rewrite the
        // lines that carry amounts to the table's sign.
        std::string sign;
        hs::append_utf8(sign, c.currency);
        for (std::string& l : lines) {
            if (&l == &lines[2]) continue;
            std::string out;
            for (char ch : l) {
                if (ch == '$') {
                    out += sign;
                } else {
                    out += ch;
                }
            }
            l = out;
        }
        const auto store = parse(join(lines));
        ASSERT_EQ(store->hands.size(), 1u) << c.line;
        const hs::Header& h = store->hands[0].header;
        EXPECT_EQ(store->text_of(h.table_name), c.name);
        EXPECT_EQ(h.currency, c.currency);
        EXPECT_FLOAT_EQ(h.small_blind, c.small);
        EXPECT_FLOAT_EQ(h.big_blind, c.big);
        EXPECT_FLOAT_EQ(store->players.at(h.players.start()).chips, 1523.85f);
        EXPECT_FLOAT_EQ(store->hands[0].summary.pots.total, 2515.0f);
    }
}

// Texts cut by position right against a multi-byte character keep whole characters only.
// A text cut by position next to a multi-byte character: a cut that falls inside it is a fault
// (the store never holds part of a character), one that falls beside it is read.
TEST(OngameBuilt, CutsInsideACharacterAreFaults) {
    const struct {
        const char* prefix;
        std::string line;
        std::size_t at;  // the byte of the line that the cut falls on; 0 for none
    } cases[] = {
        {"Table:", "Table: Z\u00fcrich\u20ac[100000001] (NO_LIMIT TEXAS_HOLDEM $1/$2, Real money)",
         16},
        {"Seat 3: Bob", "Seat 3: Bob\u00e9($1,256.50)", 12},
        {"Main pot", "Main pot: $2,515.00 won by\u00e9Carol ($2,490.00)", 27},
        {"Table:", "Table: Z\u00fcrich\u20ac [100000001] (NO_LIMIT TEXAS_HOLDEM $1/$2, Real money)",
         0},
        {"Seat 3: Bob", "Seat 3: Bob\u00e9 ($1,256.50)", 0},
    };
    for (const auto& c : cases) {
        auto lines = base_hand();
        lines[line_of(lines, c.prefix)] = c.line;
        const std::string fault = hs::test::fault_of([&] { parse(join(lines)); });
        EXPECT_EQ(fault, c.at == 0 ? ""
                                   : "byte index " + std::to_string(c.at) +
                                         " is not a char boundary in '" + c.line + "'");
    }
}

// A split pot names every winner ("won by Bob ($10.00), Carol ($10.00)"): the first one is the
// winner kept, with the last amount, as with one winner; no player is added.
TEST(OngameBuilt, SplitPotWinnerIsTheFirstSeatedPlayer) {
    auto lines = base_hand();
    lines[line_of(lines, "Main pot")] = "Main pot: $20.00 won by Bob ($10.00), Carol ($9.00)";
    const auto store = parse(join(lines));
    ASSERT_EQ(store->hands.size(), 1u);
    const hs::Hand& h = store->hands[0];
    EXPECT_EQ(h.header.players.count(), 3u);
    const hs::Winner w = store->winners.at(h.summary.winners.start());
    EXPECT_EQ(w.player_id, 1);
    EXPECT_EQ(w.amount, 9.0f);
}

TEST(OngameBuilt, PlayersWithoutSeatLines) {
    auto lines = base_hand();
    const std::size_t pre = line_of(lines, "Bob raises");
    lines.insert(lines.begin() + pre, {"Zed folds", "Yan checks", "Xi calls $2.00",
                                       "Wanda raises $3 to $5", "Zed bets $1", "Bobby checks"});
    lines.insert(lines.begin() + line_of(lines, "Alice posts"), "Vic posts big blind ($2)");
    const auto store = parse(join(lines));
    ASSERT_EQ(store->hands.size(), 1u);
    const hs::Hand& h = store->hands[0];
    // Fold and check register the name (seat 255, chips 0.0), a name that begins as a seated
    // one's too ("Bobby", with Bob seated); other verbs only look it up.
    const auto players = store->resolve(store->players, h.header.players);
    ASSERT_EQ(players.size(), 6u);
    EXPECT_EQ(store->text_of(players[5].name), "Bobby");
    EXPECT_EQ(players[5].seat, 255);
    EXPECT_EQ(players[1].seat, 3);  // Bob
    EXPECT_EQ(store->text_of(players[3].name), "Zed");
    EXPECT_EQ(players[3].seat, 255);
    EXPECT_EQ(players[3].chips, 0.0f);
    EXPECT_EQ(store->text_of(players[4].name), "Yan");
    const auto blinds = store->resolve(store->actions, h.header.actions);
    ASSERT_EQ(blinds.size(), 3u);
    EXPECT_EQ(blinds[1], hs::Action::with_amount(ActionType::BigBlind, hs::kNoSlot, 2.0f));
    const auto pre_actions = store->resolve(store->actions, h.preflop.actions);
    ASSERT_GE(pre_actions.size(), 6u);
    EXPECT_EQ(pre_actions[0], hs::Action::make(ActionType::Fold, 3, hs::kNoCards));
    EXPECT_EQ(pre_actions[1], hs::Action::make(ActionType::Check, 4, hs::kNoPayload));
    EXPECT_EQ(pre_actions[2], hs::Action::with_amount(ActionType::Call, hs::kNoSlot, 2.0f));
    EXPECT_EQ(pre_actions[3], hs::Action::with_amount(ActionType::Raise, hs::kNoSlot, 3.0f));
    EXPECT_EQ(pre_actions[4], hs::Action::with_amount(ActionType::Bet, 3, 1.0f));
    EXPECT_EQ(pre_actions[5], hs::Action::make(ActionType::Check, 5, hs::kNoPayload));
}

TEST(OngameBuilt, SharedKeysKeepTheirOwnSlots) {
    std::string text = join(base_hand());
    replace_all(text, "Alice", "Player1");
    replace_all(text, "Bob", "Player2");
    replace_all(text, "Carol", "Player3");
    const auto store = parse(text);
    ASSERT_EQ(store->hands.size(), 1u);
    const hs::Hand& h = store->hands[0];
    const auto blinds = store->resolve(store->actions, h.header.actions);
    EXPECT_EQ(blinds[0].player_id(), 2);
    EXPECT_EQ(blinds[1].player_id(), 0);
    const auto pre = store->resolve(store->actions, h.preflop.actions);
    EXPECT_EQ(pre[0].player_id(), 1);
    EXPECT_EQ(pre[1].player_id(), 2);
    EXPECT_EQ(store->winners.at(h.summary.winners.start()).player_id, 2);
    const auto shows = store->resolve(store->actions, h.summary.actions);
    ASSERT_EQ(shows.size(), 2u);
    EXPECT_EQ(shows[0].player_id(), 1);
    EXPECT_EQ(shows[1].player_id(), 2);
}

TEST(OngameBuilt, ActionVerbsAndAllIn) {
    struct Case {
        const char* line;
        hs::Action action;
    };
    const Case cases[] = {
        {"Bob raises $4.00 to $6.00", hs::Action::with_amount(ActionType::Raise, 1, 4.0f)},
        {"Bob raises $4.00 to $6.00 [all in] ",
         hs::Action::with_amount(ActionType::RaiseAllIn, 1, 4.0f)},
        {"Bob bets $1,000.25", hs::Action::with_amount(ActionType::Bet, 1, 1000.25f)},
        {"Bob bets $7 [all in]", hs::Action::with_amount(ActionType::BetAllIn, 1, 7.0f)},
        {"Bob calls $.5", hs::Action::with_amount(ActionType::Call, 1, 0.5f)},
        {"Bob calls $3.999 [all in]", hs::Action::with_amount(ActionType::CallAllIn, 1, 3.99f)},
        {"Al calls $1", hs::Action::with_amount(ActionType::Call, hs::kNoSlot, 1.0f)},
        {"Bob folds", hs::Action::make(ActionType::Fold, 1, hs::kNoCards)},
        {"Bob checks", hs::Action::make(ActionType::Check, 1, hs::kNoPayload)},
    };
    for (const Case& c : cases) {
        auto lines = base_hand();
        lines[line_of(lines, "Bob raises")] = c.line;
        const auto store = parse(join(lines));
        ASSERT_EQ(store->hands.size(), 1u) << c.line;
        const auto pre = store->resolve(store->actions, store->hands[0].preflop.actions);
        ASSERT_EQ(pre.size(), 3u);
        EXPECT_EQ(pre[0], c.action) << c.line;
    }
}

TEST(OngameBuilt, SummaryWinnerRakeAndShows) {
    auto lines = base_hand();
    const std::size_t pot = line_of(lines, "Main pot");
    lines[pot] = "Main pot: $10.00 won by Bob ($9.50)";
    lines.insert(lines.begin() + pot + 1, "");  // empty lines are skipped
    lines.insert(lines.begin() + pot + 3, "");
    lines.insert(lines.begin() + pot + 3, "Some note [x]y");  // ends with 'y': ignored
    lines[line_of(lines, "Seat 5: Carol ($3")] = "Seat 5: Newbie ($3), net: +$1, [9c, 9d]";
    const auto store = parse(join(lines));
    ASSERT_EQ(store->hands.size(), 1u);
    const hs::Summary& s = store->hands[0].summary;
    EXPECT_FLOAT_EQ(s.pots.total, 10.0f);
    EXPECT_FLOAT_EQ(s.pots.rake, 0.5f);
    EXPECT_FLOAT_EQ(s.pots.main, 10.0f);
    EXPECT_EQ(s.pots.side_1 + s.pots.side_2 + s.pots.side_3, 0.0f);
    ASSERT_EQ(s.winners.count(), 1u);
    const hs::Winner& w = store->winners.at(s.winners.start());
    EXPECT_EQ(w.player_id, 1);
    EXPECT_FLOAT_EQ(w.amount, 9.5f);
    EXPECT_EQ(w.game_id, 0);
    const auto shows = store->resolve(store->actions, s.actions);
    ASSERT_EQ(shows.size(), 2u);
    EXPECT_EQ(shows[1].player_id(), hs::kNoSlot);  // a show line of an unknown name
    EXPECT_EQ(hs::card_set_text(store->cards_of(shows[1].payload())), "[ 9♣ 9♦ ]");
}

TEST(OngameBuilt, WinnerWithoutSeatLineIsRegistered) {
    auto lines = base_hand();
    lines[line_of(lines, "Main pot")] = "Main pot: $10.00 won by Ghost ($10.00)";
    const auto store = parse(join(lines));
    ASSERT_EQ(store->hands.size(), 1u);
    const hs::Hand& h = store->hands[0];
    EXPECT_EQ(h.header.players.count(), 4u);
    EXPECT_EQ(store->winners.at(h.summary.winners.start()).player_id, 3);
    EXPECT_EQ(store->text_of(store->players.at(h.header.players.start() + 3).name), "Ghost");
    EXPECT_EQ(h.summary.pots.rake, 0.0f);
}

TEST(OngameBuilt, RepeatedStreetsAreKeptInOrder) {
    auto twice = base_hand();
    // Two flop lines (as some files print after an all-in): both kept, numbered in order.
    twice.insert(twice.begin() + line_of(twice, "--- Dealing turn"),
                 "--- Dealing flop [2d, 3d, 4d]");
    const auto store = parse(join(twice));
    ASSERT_EQ(store->hands.size(), 1u);
    const hs::Hand& h = store->hands[0];
    ASSERT_EQ(h.flops.count(), 2u);
    EXPECT_EQ(store->flops.at(h.flops.start() + 1).id, 1);
    EXPECT_EQ(hs::card_set_text(store->flops.at(h.flops.start() + 1).cards), "[ 2♦ 3♦ 4♦ ]");
    EXPECT_EQ(store->turns.at(h.turns.start()).id, 2);
}

// A dead blind paid on coming back is one more post.
TEST(OngameBuilt, DeadBlind) {
    auto lines = base_hand();
    lines.insert(lines.begin() + line_of(lines, "---"), "Bob posts dead blind ($1)");
    const auto store = parse(join(lines));
    ASSERT_EQ(store->hands.size(), 1u);
    std::string expected(kBaseHandText);
    replace_all(expected, "Action { type: BigBlind, player_id: 0, amount: 2 }]",
                "Action { type: BigBlind, player_id: 0, amount: 2 }, "
                "Action { type: DeadBlind, player_id: 1, amount: 1 }]");
    EXPECT_EQ(hs::hand_text(*store, 0, false), expected);
}

// Show lines of some histories name the made hand after the cards; lines ending with ')' that
// hold no cards stay ignored.
TEST(OngameBuilt, ShowLinesWithTheMadeHand) {
    auto lines = base_hand();
    lines[line_of(lines, "Seat 3: Bob ($0")] =
        "Seat 3: Bob ($0.00), net: -$1,256.50, [Qs, Qh] (PAIR QUEEN)";
    lines[line_of(lines, "Seat 1: Alice ($1,521")] = "Seat 1: Alice ($1,521.85), net: -$2 (away)";
    lines.insert(lines.begin() + line_of(lines, "Seat 5: Carol ($3"), "Seat 2: Dan ($5) (out)");
    const auto store = parse(join(lines));
    ASSERT_EQ(store->hands.size(), 1u);
    EXPECT_EQ(hs::hand_text(*store, 0, false), kBaseHandText);
}

// ---------------------------------------------------------------------------------------------
// Histories saved by a logged-in player: a "User:" line before the dealer line, the table size
// after the count, and the player's own cards in the preflop.
// ---------------------------------------------------------------------------------------------

std::vector<std::string> logged_in_hand(const std::string& n = "7") {
    auto lines = base_hand(n);
    lines.insert(lines.begin() + line_of(lines, "Button:"), "User: Bob");
    lines[line_of(lines, "Players in round")] = "Players in round: 3 (6)";
    lines.insert(lines.begin() + line_of(lines, "Bob raises"), "Dealing to Bob: [Th, 3d]");
    return lines;
}

// kBaseHandText with the logged-in player's fields.
std::string logged_in_text() {
    std::string text(kBaseHandText);
    replace_all(text, "max_players: 3, dealer: 1, hero: 255", "max_players: 6, dealer: 1, hero: 1");
    replace_all(text, "preflop: Street { cards: [  ], actions: [",
                "preflop: Street { cards: [  ], actions: ["
                "Action { type: Dealt, player_id: 1, cards: [ T♥ 3♦ ] }, ");
    return text;
}

TEST(OngameLoggedIn, WholeHand) {
    const auto store = parse(join(logged_in_hand()));
    ASSERT_EQ(store->hands.size(), 1u);
    EXPECT_EQ(hs::hand_text(*store, 0, false), logged_in_text());
    // The own cards are one more card set; nothing else moves.
    EXPECT_EQ(store->card_sets.size(), parse(join(base_hand()))->card_sets.size() + 1);
}

TEST(OngameLoggedIn, HandsInARowAndAfterADroppedOne) {
    auto dropped = logged_in_hand("1");
    dropped[line_of(dropped, "Bob raises")] = "Bob jams $6.00";
    const auto store = parse(join(dropped) + join(logged_in_hand("2")) + "\n" +
                             join(base_hand("3")) + join(logged_in_hand("4")));
    ASSERT_EQ(ids(*store), (std::vector<std::string>{"100000001-2", "100000001-3", "100000001-4"}));
    EXPECT_EQ(store->hands[0].header.hero, 1);
    EXPECT_EQ(store->hands[1].header.hero, hs::kNone8);
    EXPECT_EQ(store->hands[1].header.max_players, 3);
    std::string fourth = logged_in_text();
    replace_all(fourth, "100000001-7", "100000001-4");
    EXPECT_EQ(hs::hand_text(*store, 2, false), fourth);
}

TEST(OngameLoggedIn, CountLine) {
    struct Case {
        const char* line;
        std::uint8_t max_players;
    };
    for (const Case& c : {Case{"Players in round: 3 (5)", 5}, Case{"Players in round: 3 (10)", 10},
                          Case{"Players in round: 10 (9)", 9}, Case{"Players in round: (4)", 4},
                          Case{"Players in round: 3 (261)", 5},  // kept to 8 bits
                          Case{"Players in round: 9", 9}, Case{"Players in round: 6x", 6}}) {
        auto lines = logged_in_hand();
        lines[line_of(lines, "Players in round")] = c.line;
        const auto store = parse(join(lines));
        ASSERT_EQ(store->hands.size(), 1u) << c.line;
        EXPECT_EQ(store->hands[0].header.max_players, c.max_players) << c.line;
    }
}

// The "User:" line is optional and read only in its place; it names nobody by itself.
TEST(OngameLoggedIn, UserLine) {
    auto without = logged_in_hand();
    without.erase(without.begin() + line_of(without, "User:"));
    auto other = logged_in_hand();
    other[line_of(other, "User:")] = "User: Somebody Else";
    for (const auto& lines : {without, other}) {
        const auto store = parse(join(lines));
        ASSERT_EQ(store->hands.size(), 1u);
        EXPECT_EQ(hs::hand_text(*store, 0, false), logged_in_text());
    }
    // After the dealer line it stands where the count line belongs: the hand is dropped.
    auto late = base_hand();
    late.insert(late.begin() + line_of(late, "Players in round"), "User: Bob");
    EXPECT_TRUE(parse(join(late))->hands.empty());
}

TEST(OngameLoggedIn, OwnCards) {
    struct Case {
        const char* name;
        std::vector<std::string> dealt;   // lines put before "Bob raises"
        std::vector<hs::Action> actions;  // the preflop's dealt actions, payloads aside
        std::vector<std::string> cards;
        std::uint8_t hero;
    };
    using hs::Action;
    const Case cases[] = {
        {"One",
         {"Dealing to Carol: [As, 10h]"},
         {Action::make(ActionType::Dealt, 2, 0)},
         {"[ A♠ T♥ ]"},
         2},
        {"FiveCards",
         {"Dealing to Alice: [Qs, 8c, 5h, Th, 5s]"},
         {Action::make(ActionType::Dealt, 0, 0)},
         {"[ Q♠ 8♣ 5♥ T♥ 5♠ ]"},
         0},
        {"Two",
         {"Dealing to Bob: [Th, 3d]", "Dealing to Carol: [As, Ks]"},
         {Action::make(ActionType::Dealt, 1, 0), Action::make(ActionType::Dealt, 2, 0)},
         {"[ T♥ 3♦ ]", "[ A♠ K♠ ]"},
         hs::kNone8},
        {"NoSeatLine",
         {"Dealing to Zed: [Th, 3d]"},
         {Action::make(ActionType::Dealt, hs::kNoSlot, 0)},
         {"[ T♥ 3♦ ]"},
         hs::kNone8},
    };
    for (const Case& c : cases) {
        auto lines = base_hand();
        lines.insert(lines.begin() + line_of(lines, "Bob raises"), c.dealt.begin(), c.dealt.end());
        const auto store = parse(join(lines));
        ASSERT_EQ(store->hands.size(), 1u) << c.name;
        const hs::Hand& h = store->hands[0];
        EXPECT_EQ(h.header.hero, c.hero) << c.name;
        EXPECT_EQ(h.header.players.count(), 3u) << c.name;  // looked up, never registered
        const auto pre = store->resolve(store->actions, h.preflop.actions);
        ASSERT_EQ(pre.size(), c.actions.size() + 3) << c.name;
        for (std::size_t i = 0; i < c.actions.size(); ++i) {
            EXPECT_EQ(pre[i].type(), c.actions[i].type()) << c.name;
            EXPECT_EQ(pre[i].player_id(), c.actions[i].player_id()) << c.name;
            EXPECT_EQ(hs::card_set_text(store->cards_of(pre[i].payload())), c.cards[i]) << c.name;
        }
        EXPECT_EQ(pre[c.actions.size()], Action::with_amount(ActionType::Raise, 1, 4.0f)) << c.name;
    }
}

// Names with ':' or '[' of their own: the name ends at the last ':' before the cards' '['.
// Alice is renamed to share Carol's first three bytes, so only the whole name finds Carol.
TEST(OngameLoggedIn, OwnCardsOfOddNames) {
    struct Case {
        const char* alice;
        const char* carol;
    };
    for (const Case& c : {Case{"Carol", "Carol:x"}, Case{"Carol", "Carol:"},
                          Case{"[x]Alice", "[x]Carol"}, Case{"Car", "Car: [2c]"}}) {
        std::string text = join(logged_in_hand());
        replace_all(text, "Dealing to Bob", "Dealing to Carol");
        replace_all(text, "Alice", "\x01");
        replace_all(text, "Carol", "\x02");
        replace_all(text, "\x01", c.alice);
        replace_all(text, "\x02", c.carol);
        const auto store = parse(text);
        ASSERT_EQ(store->hands.size(), 1u) << c.carol;
        const hs::Hand& h = store->hands[0];
        EXPECT_EQ(h.header.hero, 2) << c.carol;
        const auto pre = store->resolve(store->actions, h.preflop.actions);
        ASSERT_FALSE(pre.empty());
        EXPECT_EQ(pre[0].type(), ActionType::Dealt);
        EXPECT_EQ(hs::card_set_text(store->cards_of(pre[0].payload())), "[ T♥ 3♦ ]") << c.carol;
    }
}

// A hand that cannot be read is dropped and the next hand is found; the hand after it parses
// as if alone. Each case changes one line of the first hand.
struct Rejected {
    const char* name;
    const char* prefix;  // the line to change (first line beginning with it)
    const char* line;    // its replacement
};

class OngameRejected : public ::testing::TestWithParam<Rejected> {};

TEST_P(OngameRejected, HandIsDroppedAndTheNextOneRead) {
    auto first = base_hand("1");
    first[line_of(first, GetParam().prefix)] = GetParam().line;
    const auto alone = parse(join(base_hand("2")));
    // With an empty line between the hands, and with the next hand right after the "***** End"
    // line of the dropped one.
    for (const char* between : {"\n", ""}) {
        const auto store = parse(join(first) + between + join(base_hand("2")));
        EXPECT_EQ(ids(*store), std::vector<std::string>{"100000001-2"}) << '"' << between << '"';
        // The records of the dropped hand stay in the store; the kept hand does not see them.
        if (store->hands.size() == 1) {
            EXPECT_EQ(hs::hand_text(*store, 0, false), hs::hand_text(*alone, 0, false));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ongame, OngameRejected,
    ::testing::Values(
        Rejected{"TableWithoutBracket", "Table:", "Table: Testville (NO_LIMIT $1/$2)"},
        Rejected{"TableWithoutSlash", "Table:", "Table: Testville [1] (NO_LIMIT $1-$2)"},
        Rejected{"TableWithoutSign", "Table:", "Table: Table #40 [569087] (NO_LIMIT 10/20, TC)"},
        Rejected{"UserLineWithoutDealerLine", "Button:", "User: Hero"},
        Rejected{"DealerLineWithoutSpace", "Button:", "Button:"},
        Rejected{"CountWordNotANumber", "Players in round", "Players in round: 4 (six)"},
        Rejected{"CountInOpenParenthesis", "Players in round", "Players in round: 4 (6"},
        Rejected{"CountInEmptyParentheses", "Players in round", "Players in round: 4 ()"},
        Rejected{"CountAndMoreInParentheses", "Players in round", "Players in round: 4 (6x)"},
        Rejected{"SeatWithoutParenthesis", "Seat 3: Bob", "Seat 3: Bob $1,256.50"},
        Rejected{"SeatWithoutChips", "Seat 3: Bob", "Seat 3: Bob (chips)"},
        Rejected{"PreflopLineNotAnAction", "Bob raises", "Bob shows [Ah, Kh]"},
        Rejected{"OwnCardsWithoutColon", "Bob raises", "Dealing to Bob [Ah, Kh]"},
        Rejected{"OwnCardsWithoutBrackets", "Bob raises", "Dealing to Bob: Ah, Kh"},
        Rejected{"OwnCardsCutShort", "Bob raises", "Dealing to Bob: [Ah, Kh"},
        Rejected{"OwnCardsOnTheFlop", "Carol checks", "Dealing to Bob: [Ah, Kh]"},
        Rejected{"PreflopVerbUnknown", "Bob raises", "Bob jams $6.00"},
        Rejected{"PreflopEmptyLine", "Bob raises", ""},
        Rejected{"DrawLineIsNoFold", "Bob raises", "Bob changed 2 cards"},
        Rejected{"FlopLineNotAnAction", "Carol checks", "Carol says hi"},
        Rejected{"BoardCutOff", "--- Dealing flop", "--- Dealing flop [6d, Kd, 8c"},
        Rejected{"ShowLineWithoutParenthesis", "Seat 3: Bob ($0", "Seat 3: Bob shows [Qs, Qh]"}),
    [](const ::testing::TestParamInfo<Rejected>& info) { return std::string(info.param.name); });

// Lines that break what the format always keeps end the whole parse with a fault: an input error
// that names the line kind and quotes the line, or the internal fault that the format's rules
// name.
struct Faulty {
    const char* name;
    const char* prefix;
    const char* line;
    const char* message;  // the fault's message begins with this
};

class OngameFault : public ::testing::TestWithParam<Faulty> {};

TEST_P(OngameFault, WholeParseFaults) {
    auto lines = base_hand();
    lines[line_of(lines, GetParam().prefix)] = GetParam().line;
    const std::string text = join(base_hand("0")) + join(lines);
    try {
        parse(text);
        ADD_FAILURE() << "no fault";
    } catch (const hs::Fault& f) {
        EXPECT_EQ(f.message().rfind(GetParam().message, 0), 0u) << f.message();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ongame, OngameFault,
    ::testing::Values(
        Faulty{"ShortHandLine", "*****", "***** History for hand R5-1 *****",
               "hand line without a hand id: '***** History for hand R5-1 *****'"},
        Faulty{"ShortTableLine", "Table:", "Table", "unrecognised table line: 'Table'"},
        Faulty{"BigBlindWithoutAmount", "Table:", "Table: T [1] (NL $1/$x)", "missing big blind"},
        Faulty{"SmallBlindWithoutSign", "Table:", "Table: T [1] (NL 1/$2)", "missing small blind"},
        Faulty{"SeatNumberNotDigits", "Seat 3:", "Seat x: Bob ($1)", "missing seat number"},
        Faulty{"BlindWithoutAmount", "Carol posts", "Carol posts small blind",
               "missing blind amount"},
        Faulty{"AnteLine", "Carol posts", "Carol posts ante $0.10",
               "internal error: entered unreachable code"},
        Faulty{"OwnCardsWithoutName", "Bob raises", "Dealing to : [Ah, Kh]", "missing player name"},
        Faulty{"OwnCardsEmpty", "Bob raises", "Dealing to Bob: []", "missing card"},
        Faulty{"OwnCardsBad", "Bob raises", "Dealing to Bob: [Ah, Kx]",
               "internal error: entered unreachable code: Invalid suit: x"},
        Faulty{"BlindWithoutName", "Carol posts", " posts big blind ($2)", "missing player name"},
        Faulty{"StreetOfUnknownKind", "--- Dealing flop", "--- Dealing 4th street [Ah]",
               "internal error: entered unreachable code"},
        Faulty{"StreetLineTooShort", "--- Dealing flop", "--- F [Ah]",
               "unrecognised street line: '--- F [Ah]'"},
        Faulty{"StreetWithoutCards", "--- Dealing flop", "--- Dealing flop Ah Kd 7c",
               "missing board cards"},
        Faulty{"BadBoardCard", "--- Dealing flop", "--- Dealing flop [Ax, Kd, 7c]",
               "internal error: entered unreachable code: Invalid suit: x"},
        Faulty{"PotWithoutAmount", "Main pot", "Main pot: none won by Carol ($1)",
               "missing pot amount"},
        Faulty{"PotWithoutWinnerAmount", "Main pot", "Main pot: $5 won by Carol",
               "missing winner amount"}),
    [](const ::testing::TestParamInfo<Faulty>& info) { return std::string(info.param.name); });

TEST(OngameBuilt, TextEndingBeforeTheClosingStarLine) {
    auto lines = base_hand("2");
    lines.pop_back();  // no "***** End" line
    // Earlier hands are kept; the cut hand is dropped without a fault.
    const auto store = parse(join(base_hand("1")) + join(lines));
    EXPECT_EQ(ids(*store), std::vector<std::string>{"100000001-1"});
    // Cut right after the bare "---" line and right after "Summary:".
    for (std::string_view last : {"---", "Summary:"}) {
        auto cut = base_hand("2");
        std::size_t i = cut.size();
        while (cut[i - 1] != last) --i;
        cut.resize(i);
        EXPECT_EQ(ids(*parse(join(base_hand("1")) + join(cut))),
                  std::vector<std::string>{"100000001-1"})
            << last;
    }
}

TEST(OngameBuilt, TextEndingInTheHeaderFaults) {
    for (std::size_t keep = 1; keep <= 4; ++keep) {
        auto lines = base_hand();
        lines.resize(keep);
        EXPECT_THROW(parse(join(lines)), hs::Fault) << keep << " lines";
    }
}

TEST(OngameBuilt, LiteralEndMarkerLineEndsTheText) {
    const std::string text = join(base_hand("1")) + "@@@\n" + join(base_hand("2"));
    EXPECT_EQ(ids(*parse(text)), std::vector<std::string>{"100000001-1"});
}

}  // namespace
