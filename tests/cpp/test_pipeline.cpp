// The shared hand pipeline: the builder's rollback, the driver's outcomes and where it resumes,
// line numbers, the PokerStars variants as data, the phrase helpers, and the store invariant
// checker on every corpus file.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "export/text_form.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"
#include "reader/phrases.hpp"
#include "sites/parse.hpp"
#include "sites/pokerstars.hpp"
#include "support.hpp"
#include "support/check_store.hpp"

namespace {

using hs::test::join;

// 14 lines.
std::vector<std::string> stars_hand(const std::string& id) {
    return {
        "PokerStars Hand #" + id + ":  Hold'em No Limit ($0.01/$0.02 USD) - 2021/03/04 05:06:07 ET",
        "Table 'Alpha II' 6-max Seat #4 is the button",
        "Seat 1: Alice ($2.50 in chips)",
        "Seat 2: Bob ($3 in chips)",
        "Seat 4: Carol ($4 in chips)",
        "Alice: posts small blind $0.01",
        "Bob: posts big blind $0.02",
        "Alice said, \"hello\"",
        "*** HOLE CARDS ***",
        "Dealt to Bob [Ah Kd]",
        "Carol: folds",
        "Alice: folds",
        "*** SUMMARY ***",
        "Total pot $0.04 | Rake $0",
        "Seat 2: Bob collected ($0.04)"};
}

// 29 lines.
std::vector<std::string> ongame_hand(const std::string& n) {
    std::vector<std::string> lines = hs::test::ongame_hand(n);
    lines.emplace_back();
    return lines;
}

hs::ParseResult parse(const std::string& text, hs::Errors errors = hs::Errors::Strict) {
    hs::ParseResult r = hs::parse_text(text, errors);
    EXPECT_TRUE(r.ok()) << r.error;
    return r;
}

// A hand broken in one line between two good hands: the store holds exactly what the two good
// hands alone give (a rejected hand leaves nothing behind, not even text), and the broken hand
// is reported with its first line, its id and the line kind that rejected it.
struct Rejected {
    const char* what;
    bool ongame;
    std::size_t line;         // index in the middle hand of the line to replace
    const char* replacement;  // nullptr: the text ends after that line
    std::string_view reason;
    const char* id;
};

class RejectedHand : public ::testing::TestWithParam<Rejected> {};

TEST_P(RejectedHand, LeavesNothingAndIsReported) {
    const Rejected& c = GetParam();
    const auto hand = [&](const char* id) { return c.ongame ? ongame_hand(id) : stars_hand(id); };
    std::vector<std::string> bad = hand("2");
    std::string tail = "\n" + join(hand("3"));
    if (c.replacement != nullptr) {
        bad[c.line] = c.replacement;
    } else {
        bad.resize(c.line + 1);
        tail.clear();
    }
    const std::string first = join(hand("1")) + "\n";
    // Skipped: a hand line that cannot be read ends a strict parse.
    const hs::ParseResult got = parse(first + join(bad) + tail, hs::Errors::Skip);
    const hs::ParseResult want = parse(first + (tail.empty() ? "" : tail.substr(1)));
    ASSERT_TRUE(got.ok() && want.ok());
    EXPECT_EQ(hs::hands_text(*got.store, hs::Span::make(0, got.store->hands.size()), false),
              hs::hands_text(*want.store, hs::Span::make(0, want.store->hands.size()), false));
    EXPECT_EQ(got.store->text, want.store->text);
    for (const auto& [a, b] : {std::pair{got.store->actions.size(), want.store->actions.size()},
                               {got.store->players.size(), want.store->players.size()},
                               {got.store->flops.size(), want.store->flops.size()},
                               {got.store->winners.size(), want.store->winners.size()},
                               {got.store->card_sets.size(), want.store->card_sets.size()}})
        EXPECT_EQ(a, b) << c.what;
    ASSERT_EQ(got.rejected.size(), 1u) << c.what;
    const hs::Rejection& r = got.rejected[0];
    // The reason names the line kind and quotes the line that the reader stopped at.
    EXPECT_EQ(r.reason,
              c.replacement ? hs::line_message(c.reason, c.replacement) : std::string(c.reason))
        << c.what;
    EXPECT_EQ(r.line, hand("1").size() + 2) << c.what;  // after the first hand and a blank line
    EXPECT_EQ(r.hand_id, c.id) << c.what;
    EXPECT_TRUE(want.rejected.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sites, RejectedHand,
    ::testing::Values(
        Rejected{"stars hand line", false, 0, "PokerStars Hand 1002", "hand line without a hand id",
                 ""},
        Rejected{"stars seat", false, 3, "Seat 2: Bob (lots)", "seat line without chips", "2"},
        Rejected{"stars pre-deal", false, 7, "Alice waves", "unrecognised line before the deal",
                 "2"},
        Rejected{"stars action", false, 11, "Alice: dances", "unrecognised action line", "2"},
        Rejected{"stars summary", false, 14, "Bob", "unrecognised summary line", "2"},
        Rejected{"stars text ends", false, 11, nullptr, hs::kTextEndsInsideHand, "2"},
        Rejected{"ongame count", true, 4, "Players in round: none",
                 "player count line without a number", "100000001-2"},
        Rejected{"ongame seat", true, 6, "Seat 3: Bob (lots)", "seat line without chips",
                 "100000001-2"},
        Rejected{"ongame action", true, 17, "Carol dances", "unrecognised action line",
                 "100000001-2"},
        Rejected{"ongame text ends", true, 25, nullptr, hs::kTextEndsInsideHand, "100000001-2"}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name) ch = (ch == ' ' || ch == '-') ? '_' : ch;
        return name;
    });

std::string hands_of(const hs::ParseResult& r) {
    return hs::hands_text(*r.store, hs::Span::make(0, r.store->hands.size()), false);
}

// With Errors::Skip a fault inside a hand rejects that hand alone: its records are taken back and
// the fault's message is its reason. With Errors::Strict the fault ends the call.
TEST(Driver, FaultInsideAHand) {
    std::vector<std::string> bad = stars_hand("2");
    bad[13] = "Total pot $0.04 Rake $0";  // no '|'
    const std::string first = join(stars_hand("1")) + "\n";
    const std::string last = "\n" + join(stars_hand("3"));
    const std::string message = "missing '|' before the rake in 'Total pot $0.04 Rake $0'";
    EXPECT_EQ(hs::test::fault_of([&] { hs::parse_text(first + join(bad) + last); }), message);
    const hs::ParseResult got = hs::parse_text(first + join(bad) + last, hs::Errors::Skip);
    const hs::ParseResult want = parse(first + last.substr(1));
    EXPECT_EQ(hands_of(got), hands_of(want));
    EXPECT_EQ(got.store->text, want.store->text);
    EXPECT_EQ(got.store->actions.size(), want.store->actions.size());
    ASSERT_EQ(got.rejected.size(), 1u);
    EXPECT_EQ(got.rejected[0].line, stars_hand("1").size() + 2);
    EXPECT_EQ(got.rejected[0].hand_id, "2");
    EXPECT_EQ(got.rejected[0].reason, message);
}

// Hands begin only at hand-start lines (after white space and byte-order marks); other lines
// between hands are passed over unreported; a hand ends at the latest where the next begins.
TEST(Driver, HandStarts) {
    const std::string h1 = join(stars_hand("1")), h2 = join(stars_hand("2"));
    std::vector<std::string> cut = stars_hand("1");
    cut.resize(9);  // up to the hole cards
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> ids;
        std::string_view reason;  // of a rejected hand 1, empty for none
    };
    const Case cases[] = {
        {"lines between hands", h1 + "\n\nnot a hand\n  PokerStars\n\n" + h2, {"1", "2"}, {}},
        {"indented and marked start", h1 + "\n\n \t\xEF\xBB\xBF\xE3\x80\x80" + h2, {"1", "2"}, {}},
        {"cut off by the next hand", join(cut) + h2, {"2"}, hs::kCutByNextHand},
        {"summary runs into the next hand", h1 + h2, {"2"}, hs::kCutByNextHand},
        {"a start line without an id",
         "PokerStars Hand\nx\n\ny\n" + h2.substr(1),
         {},
         "hand line without a hand id: 'PokerStars Hand'"},
    };
    for (const Case& c : cases) {
        const hs::ParseResult r = parse(c.text, hs::Errors::Skip);
        std::vector<std::string> ids;
        for (const hs::Hand& h : r.store->hands) ids.emplace_back(r.store->text_of(h.header.id));
        EXPECT_EQ(ids, c.ids) << c.what;
        ASSERT_EQ(r.rejected.size(), c.reason.empty() ? 0u : 1u) << c.what;
        if (!c.reason.empty()) {
            EXPECT_EQ(r.rejected[0].line, 1u) << c.what;
            EXPECT_EQ(r.rejected[0].reason, c.reason) << c.what;
        }
    }
}

// One rule on every site: a hand line that cannot be read is an input error that quotes it. It
// ends a strict parse and rejects its hand in skip mode; the next hand is read.
TEST(Driver, UnreadableHandLineOnEverySite) {
    const std::string_view lines[] = {"PokerStars Hand #x", "Poker Hand #x", "Winamax Poker - x",
                                      "***** History for hand R5-1 *****"};
    for (const std::string_view line : lines) {
        const std::string text = std::string(line) + "\nTable x\n\n" + std::string(line) + "\n";
        const std::string message = hs::line_message(hs::kHandLineWithoutId, line);
        try {
            hs::parse_text(text);
            ADD_FAILURE() << line;
        } catch (const hs::InputError& e) {
            EXPECT_EQ(e.message(), message);
        }
        const hs::ParseResult r = parse(text, hs::Errors::Skip);
        ASSERT_EQ(r.rejected.size(), 2u) << line;
        EXPECT_EQ(r.rejected[1].line, 4u) << line;
        for (const hs::Rejection& rejected : r.rejected) EXPECT_EQ(rejected.reason, message);
    }
}

// The parser counts lines from 1 for every separator; the end counts as the line after the last.
TEST(Parser, LineNumbers) {
    for (const char* sep : {"\n", "\r\n", "\r"}) {
        const std::string text = std::string("a") + sep + sep + "b" + sep + "c";
        hs::HandStore store;
        hs::Parser p(text, store);
        std::vector<std::pair<std::string, std::uint64_t>> seen;
        for (int i = 0; i < 5; ++i) {
            seen.emplace_back(p.line(), p.line_number());
            p.next_line();
        }
        const std::vector<std::pair<std::string, std::uint64_t>> want = {
            {"a", 1}, {"", 2}, {"b", 3}, {"c", 4}, {"@@@", 5}};
        EXPECT_EQ(seen, want) << std::strlen(sep);
    }
}

// The PokerStars variants differ only by data: which line kinds a round may hold, how names are
// keyed. Each round line kind is read by PokerStars and rejects the hand in the Pluribus logs.
TEST(Variants, RoundLineKinds) {
    using T = hs::ActionType;
    for (const auto& [line, type] : {std::pair{"Carol: sits out", T::Sitout},
                                     {"Carol said, \"hi\"", T::Say},
                                     {"Carol: shows [Ah Kd] (a pair of Aces)", T::Show},
                                     {"Carol cashed out the hand for $1", T::CashOut},
                                     {"Dan joins the table at seat #5", T::Join}}) {
        std::vector<std::string> hand = stars_hand("7");
        hand.insert(hand.begin() + 10, line);
        const std::string text = join(hand);
        for (const auto* v : {&hs::pokerstars::kPokerStars, &hs::pokerstars::kPluribus}) {
            hs::HandStore store;
            hs::Parser p(text, store);
            std::vector<hs::Rejection> rejected;
            hs::pokerstars::parse_hands(p, *v, hs::Errors::Strict, rejected);
            const bool stars = v == &hs::pokerstars::kPokerStars;
            EXPECT_EQ(store.hands.size(), stars ? 1u : 0u) << line;
            if (stars) {
                EXPECT_EQ(hs::at(store.actions, 4).type(), type) << line;
            }
            EXPECT_EQ(rejected.size(), stars ? 0u : 1u) << line;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Phrase helpers
// ---------------------------------------------------------------------------------------------

TEST(Lines, NamesCutByPhrase) {
    static constexpr hs::Ending kSits(": sits out", "s out");
    EXPECT_TRUE(kSits.matches("Bob: sits out"));
    EXPECT_TRUE(kSits.matches("Bob gets out"));  // only the test bytes are compared
    EXPECT_FALSE(kSits.matches("Bob: sits ou"));
    EXPECT_EQ(kSits.name("Bob: sits out"), "Bob");
    EXPECT_EQ(hs::name_before("Al collected $1", 13, " collected "), "Al");
    // A cut inside a character is a fault at either end, an empty cut of a whole line is none.
    for (const auto& [line, from, to, at] :
         {std::tuple{"Z\xC3\xA9", 0, 2, 2}, std::tuple{"\xC3\xA9Z", 1, 3, 1},
          std::tuple{"\xC3\xA9", 1, 2, 1}}) {
        const auto call = [&] { hs::cut_name(line, from, to); };
        EXPECT_EQ(hs::test::fault_of(call),
                  "byte index " + std::to_string(at) + " is not a char boundary in '" + line + "'");
    }
    EXPECT_EQ(hs::cut_text("\xC3\xA9Z", 2, 3), "Z");
    EXPECT_EQ(hs::cut_text("\xC3\xA9Z", 3, 3), "");
    for (const auto& [line, at] : {std::pair{"x collected $1", std::size_t{2}},  // before the start
                                   std::pair{" collected $1", std::size_t{11}}}) {  // empty name
        const auto call = [&] { hs::name_before(line, at, " collected "); };
        EXPECT_EQ(hs::test::fault_of(call), std::string("missing player name in '") + line + "'");
    }
}

// ---------------------------------------------------------------------------------------------
// Store invariants
// ---------------------------------------------------------------------------------------------

// Every history of the corpus that parses leaves a sound store.
TEST(StoreInvariants, EveryCorpusFile) {
    const std::vector<std::string> paths = hs::test::corpus_paths();
    if (paths.empty()) GTEST_SKIP() << "corpus not available";
    std::size_t stores = 0;
    for (const std::string& path : paths) {
        try {
            const hs::ParseResult r = hs::parse_file(path);
            if (!r.ok()) continue;
            hs::test::expect_sound(*r.store, path);
            ++stores;
        } catch (const hs::Fault&) {
        }
    }
    EXPECT_GT(stores, 100u);
}

// A way to break a sound store, and the start of the problem the checker names for it.
struct Damage {
    const char* problem;
    void (*damage)(hs::HandStore&);
};

void expect_problems(const hs::HandStore& good, std::initializer_list<Damage> cases) {
    ASSERT_EQ(hs::check_store(good), "");
    for (const Damage& c : cases) {
        hs::HandStore s = good;
        c.damage(s);
        EXPECT_EQ(hs::check_store(s).substr(0, std::string_view(c.problem).size()), c.problem);
    }
}

// The checker finds each kind of broken reference in a sound store.
TEST(StoreInvariants, BrokenStores) {
    expect_problems(
        *parse(join(stars_hand("1"))).store,
        {
            {"hand 0: dealer 3", [](hs::HandStore& s) { s.hands[0].header.dealer = 3; }},
            {"hand 0: player_id 3",
             [](hs::HandStore& s) {
                 s.actions[0] = hs::Action::make(hs::ActionType::Check, 3, hs::kNoPayload);
             }},
            {"hand 0: players span end beyond its list of 3 5",
             [](hs::HandStore& s) { s.hands[0].header.players = hs::Span::make(1, 4); }},
            {"hand 0: id is not valid UTF-8 at 0", [](hs::HandStore& s) { s.text[0] = '\xC3'; }},
            {"hand 0: card payload 9",
             [](hs::HandStore& s) {
                 s.actions.back() = hs::Action::make(hs::ActionType::Show, 0, 9);
             }},
            {"hand 0: message beyond the text at 200",
             [](hs::HandStore& s) {
                 s.actions[2] = hs::Action::make(hs::ActionType::Say, 0, 200u | 5u << 24);
             }},
        });
}

// The same for the records of a tournament hand: its Tournament and the runs of amounts behind
// its tournament actions.
hs::Action& finish_action(hs::HandStore& s) {
    for (hs::Action& a : s.actions)
        if (a.type() == hs::ActionType::Finish) return a;
    throw std::logic_error("no Finish action");
}

TEST(StoreInvariants, BrokenTournamentStores) {
    const std::string text = hs::test::data_file("pokerstars/thlorenz_posts-allin.txt");
    expect_problems(
        *hs::parse_text(text).store,
        {
            {"hand 0: tournament 1", [](hs::HandStore& s) { s.hands[0].header.tournament = 1; }},
            {"hand 0: bounties span end beyond its list",
             [](hs::HandStore& s) { s.tournaments[0].bounties = hs::Span::make(0, 1000); }},
            {"hand 0: finishing place at",
             [](hs::HandStore& s) { s.amounts.at(finish_action(s).payload()) = 1.5f; }},
            {"hand 0: player_id 40",
             [](hs::HandStore& s) {
                 finish_action(s) =
                     hs::Action::make(hs::ActionType::Bounty, 0, s.push_amounts({1, 0, 0, 40}));
             }},
            {"hand 0: purchase payload",
             [](hs::HandStore& s) {
                 finish_action(s) = hs::Action::make(hs::ActionType::Rebuy, 0, 100000);
             }},
        });
}

}  // namespace
