// The parser cursor: line splitting, the end marker, hands, and the player operations.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "core/model.hpp"
#include "reader/cursor.hpp"
#include "reader/shared_lines.hpp"
#include "support.hpp"

// Counts allocations while a test watches, to hold the cursor and the lookups to none.
namespace {
std::atomic<bool> g_watch{false};
std::atomic<long> g_allocations{0};
[[gnu::noinline]] void release(void* p) noexcept { std::free(p); }
}  // namespace

void* operator new(std::size_t n) {
    if (g_watch.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }

using namespace std::string_literals;
using hs::ActionType;
using hs::HandStore;
using hs::LineSplitter;
using hs::Parser;

namespace {

// Every line the cursor presents up to the end marker.
std::vector<std::string> lines_of(std::string_view text) {
    HandStore store;
    Parser p(text, store);
    std::vector<std::string> out;
    for (int guard = 0; !p.at_end() && guard < 10000; ++guard) {
        out.emplace_back(p.line());
        p.next_line();
    }
    return out;
}

using Lines = std::vector<std::string>;
using Kind = LineSplitter::Kind;

struct SplitCase {
    const char* what;
    std::string text;
    Kind kind;
    Lines lines;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, LinesUpToTheEnd) {
    const SplitCase& c = GetParam();
    EXPECT_EQ(LineSplitter(c.text).kind(), c.kind) << c.what;
    EXPECT_EQ(lines_of(c.text), c.lines) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Split,
    ::testing::Values(
        SplitCase{"empty text", "", Kind::Byte, {}},
        SplitCase{"one line without separator", "abc", Kind::Byte, {"abc"}},
        SplitCase{"pair kind", "a\r\nb", Kind::Pair, {"a", "b"}},
        SplitCase{"byte kind, later CR LF trimmed", "a\nb\r\n", Kind::Byte, {"a", "b"}},
        SplitCase{"pair kind, leading separator", "\r\nx", Kind::Pair, {"", "x"}},
        SplitCase{"byte kind, leading separator", "\nx", Kind::Byte, {"", "x"}},
        SplitCase{"no empty line after the last separator",
                  "a\r\n\r\n\r\nb\r\n",
                  Kind::Pair,
                  {"a", "", "", "b"}},
        SplitCase{"lone LF stays inside a pair-kind line",
                  "a\r\nb\nc\r\nd",
                  Kind::Pair,
                  {"a", "b\nc", "d"}},
        SplitCase{"CR only", "a\rb\rc", Kind::Cr, {"a", "b", "c"}},
        SplitCase{"CR only, trailing separators", "a\r\rb\r", Kind::Cr, {"a", "", "b"}},
        SplitCase{"CR without LF before the first LF", "a\rb\nc", Kind::Byte, {"a\rb", "c"}},
        SplitCase{"mixed endings after an LF first line",
                  "h\nx\r\ny\nz\r\n\r\nw",
                  Kind::Byte,
                  {"h", "x", "y", "z", "", "w"}},
        SplitCase{"trailing white space",
                  "Alice: folds \nBob: checks\t \r\nTotal pot $0 \n",
                  Kind::Byte,
                  {"Alice: folds", "Bob: checks", "Total pot $0"}},
        SplitCase{"leading white space is kept", "  a\n\tb", Kind::Byte, {"  a", "\tb"}},
        SplitCase{"white-space line is empty", "a\n \t \r\nb", Kind::Byte, {"a", "", "b"}},
        SplitCase{"only separators", "\n\n", Kind::Byte, {"", ""}},
        SplitCase{"end-marker line ends the text", "a\n@@@\nb\n", Kind::Byte, {"a"}},
        SplitCase{"end-marker line with trailing spaces", "a\r\n@@@  \r\nb", Kind::Pair, {"a"}},
        SplitCase{"longer @ line is a line", "@@@@\n@@\nx", Kind::Byte, {"@@@@", "@@", "x"}},
        SplitCase{"indented end marker is a line", " @@@\nx", Kind::Byte, {" @@@", "x"}},
        SplitCase{"multi-byte text",
                  "\xE2\x82\xAC"
                  "1 \r\n\xC2\xA3"
                  "2",
                  Kind::Pair,
                  {"\xE2\x82\xAC"
                   "1",
                   "\xC2\xA3"
                   "2"}}));

TEST(Parser, NextLineAfterTheEndKeepsTheMarker) {
    for (const std::string& text : {"a\nb"s, ""s, "a\n@@@\nb"s, "\r\n\r\n"s}) {
        HandStore store;
        Parser p(text, store);
        for (int i = 0; i < 6; ++i) p.next_line();
        EXPECT_TRUE(p.at_end()) << text;
        EXPECT_EQ(p.line(), "@@@");
        p.skip_empty_lines();
        EXPECT_EQ(p.line(), "@@@");
    }
}

TEST(Parser, SkipEmptyLinesStopsAtTheNextLineOrTheEnd) {
    HandStore store;
    Parser p("\n \n\t\r\nHand 1\n\n\n", store);
    EXPECT_EQ(p.line(), "");
    p.skip_empty_lines();
    EXPECT_EQ(p.line(), "Hand 1");
    p.skip_empty_lines();
    EXPECT_EQ(p.line(), "Hand 1");
    p.next_line();
    p.skip_empty_lines();
    EXPECT_TRUE(p.at_end());
}

// A real file: every line of a CR-only hand history, and the same text re-joined with each
// separator reads the same.
const Lines kGbpTable = {
    "\xEF\xBB\xBFPokerStars Hand #78782145143:  Hold'em No Limit (\xC2\xA3"
    "0.10/\xC2\xA3"
    "0.25 GBP) - 2012/04/13 2:45:55 ET",
    "Table 'Crocus' 6-max Seat #6 is the button",
    "Seat 2: a0Kribu (\xC2\xA3"
    "25.35 in chips)",
    "Seat 6: JOZSEF1981 (\xC2\xA3"
    "54.98 in chips)",
    "JOZSEF1981: posts small blind \xC2\xA3"
    "0.10",
    "a0Kribu: posts big blind \xC2\xA3"
    "0.25",
    "*** HOLE CARDS ***",
    "JOZSEF1981: raises \xC2\xA3"
    "0.41 to \xC2\xA3"
    "0.66",
    "a0Kribu: folds",
    "Uncalled bet (\xC2\xA3"
    "0.41) returned to JOZSEF1981",
    "JOZSEF1981 collected \xC2\xA3"
    "0.50 from pot",
    "JOZSEF1981: doesn't show hand",
    "*** SUMMARY ***",
    "Total pot \xC2\xA3"
    "0.50 | Rake \xC2\xA3"
    "0",
    "Seat 2: a0Kribu (big blind) folded before Flop",
    "Seat 6: JOZSEF1981 (button) (small blind) collected (\xC2\xA3"
    "0.50)",
};

struct FileCase {
    const char* path;
    Kind kind;
    const Lines* lines;
};

class RealFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(RealFile, EveryLine) {
    const FileCase& c = GetParam();
    const std::string text = hs::test::corpus_file(c.path);
    if (text.empty()) GTEST_SKIP() << "corpus not available";
    EXPECT_EQ(LineSplitter(text).kind(), c.kind);
    EXPECT_EQ(lines_of(text), *c.lines);
    for (const char* sep : {"\n", "\r\n", "\r"}) {
        std::string joined;
        for (const auto& l : *c.lines) joined += l + sep;
        EXPECT_EQ(lines_of(joined), *c.lines) << "separator of " << std::strlen(sep) << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealFile,
                         ::testing::Values(FileCase{"pokerstars/HHSmithy_PokerHandHistoryParser/"
                                                    "PokerStars__CashGame__Limits__GbpTable.txt",
                                                    Kind::Cr, &kGbpTable}));

// ---------------------------------------------------------------------------------------------
// Hands and players
// ---------------------------------------------------------------------------------------------

std::string name_of(Parser& p, const HandStore& store, std::uint8_t id) {
    return std::string(store.text_of(p.player(id).name));
}

TEST(Parser, SeatedPlayersAndTheirRecords) {
    HandStore store;
    Parser p("", store);
    p.begin_hand();
    EXPECT_EQ(p.add_seated_player("Alice", 1, 10.5f), 0);
    EXPECT_EQ(p.add_seated_player("Bob", 4, 2.0f), 1);
    ASSERT_EQ(store.players.size(), 2u);
    EXPECT_EQ(store.text, "AliceBob");
    EXPECT_EQ(name_of(p, store, 1), "Bob");
    EXPECT_EQ(p.player(1).seat, 4);
    EXPECT_EQ(p.player(1).chips, 2.0f);
    EXPECT_EQ(p.player(0).chips, 10.5f);
    EXPECT_EQ(p.player_count(), 2);
    EXPECT_THROW(p.player(2), hs::Fault);
    EXPECT_THROW(p.player(32), hs::Fault);
    EXPECT_THROW(p.add_seated_player("", 3, 1.0f), hs::Fault);
}

struct LookupCase {
    const char* what;
    bool strip_mr;
    std::vector<std::string> seated;
    std::string lookup;
    unsigned expected;
    bool equal = true;  // the slot found holds the very name: player_id registers none
};

class Lookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(Lookup, FindPlayer) {
    const LookupCase& c = GetParam();
    HandStore store;
    Parser p("", store);
    p.set_key_prefix(c.strip_mr ? "Mr" : "");
    // An earlier hand whose players share every key, to check that only this hand's count.
    p.begin_hand();
    for (const auto& n : c.seated) p.add_seated_player(n + "!", 1, 1.0f);
    p.begin_hand();
    std::uint8_t seat = 1;
    for (const auto& n : c.seated) p.add_seated_player(n, seat++, 1.0f);
    EXPECT_EQ(p.find_player(c.lookup), c.expected) << c.what;
    const hs::Action a = p.make_action(c.lookup, ActionType::Call, 0.25f);
    EXPECT_EQ(a.player_id(), c.expected) << c.what;
    EXPECT_EQ(a.amount(), 0.25f);
    EXPECT_EQ(a.type(), ActionType::Call);
    // Registering: the slot whose name equals, else a new player of their own.
    EXPECT_EQ(p.player_id(c.lookup), c.equal ? c.expected : c.seated.size()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Lookup,
    ::testing::Values(
        LookupCase{"empty hand", false, {}, "Bob", 32, false},
        LookupCase{
            "one slot with the key, another name", false, {"Alice", "Bob"}, "Bobby", 1, false},
        LookupCase{"one slot with the key, a shorter name", false, {"Peter_K"}, "Pet", 0, false},
        LookupCase{"shared key, first", false, {"Player1", "Player2"}, "Player1", 0},
        LookupCase{"shared key, second", false, {"Player1", "Player2"}, "Player2", 1},
        LookupCase{
            "shared key, none equal: lowest", false, {"Player1", "Player2"}, "Player3", 0, false},
        LookupCase{
            "names of 8 to 16 bytes", false, {"Mr. Sjaak 13", "Mr. Sjaak 14"}, "Mr. Sjaak 14", 1},
        LookupCase{"16 bytes, last one differs",
                   false,
                   {"0123456789abcdef"},
                   "0123456789abcdeF",
                   0,
                   false},
        LookupCase{"longer names: first and last 8 bytes alike",
                   false,
                   {"Abcdefgh_1_ijklmnop", "Abcdefgh_2_ijklmnop"},
                   "Abcdefgh_2_ijklmnop",
                   1},
        LookupCase{"longer name, another middle",
                   false,
                   {"Abcdefgh_1_ijklmnop"},
                   "Abcdefgh_3_ijklmnop",
                   0,
                   false},
        LookupCase{
            "a name of zero bytes after its key", false, {std::string("Al\0", 3)}, "Al", 0, false},
        LookupCase{"real table", false, {"cartman177", "x", "cartagina"}, "cartagina", 2},
        LookupCase{"shared key in both halves",
                   false,
                   {"a00", "a01", "a02", "a03", "a04", "a05", "a06", "a07", "a08", "a09", "a10",
                    "a11", "a12", "a13", "a14", "a15", "a16", "PlayerA", "PlayerB"},
                   "PlayerB",
                   18},
        LookupCase{"same full name twice: earlier slot", false, {"Bob", "Bob"}, "Bob", 0},
        LookupCase{"two-byte names", false, {"Al", "Alice", "Ab"}, "Al", 0},
        LookupCase{"two-byte name against longer", false, {"Alice", "Al"}, "Al", 1},
        LookupCase{
            "Mr kept when not stripping", false, {"MrBlue", "MrBlonde", "MrBrown"}, "MrBrown", 2},
        LookupCase{"Mr stripped", true, {"MrBlue", "MrBlonde", "MrBrown"}, "MrBlonde", 1},
        LookupCase{
            "Mr stripped: Blue and Blonde share Blu", true, {"MrBlonde", "MrBlue"}, "MrBlue", 1},
        LookupCase{"Mr stripped on both sides", true, {"MrWhite", "Pluribus"}, "White", 0},
        LookupCase{"Mr stripped from the line's name only", true, {"MrBlue"}, "Blue", 0},
        LookupCase{"Mr alone is not stripped", true, {"Mr", "Mrs"}, "Mr", 0},
        LookupCase{"Mrs keyed on s", true, {"Mr", "Mrs"}, "Mrs", 1}));

TEST(Parser, StrippedKeysKeepTheFullStoredName) {
    HandStore store;
    Parser p("", store);
    p.set_key_prefix("Mr");
    EXPECT_EQ(p.key_name("MrBlue"), "Blue");
    EXPECT_EQ(p.key_name("Mr"), "Mr");
    EXPECT_EQ(p.key_name("Mx"), "Mx");
    p.begin_hand();
    EXPECT_EQ(p.add_seated_player("MrBlue", 2, 100.0f), 0);
    EXPECT_EQ(store.text, "MrBlue");
    EXPECT_EQ(p.table().keys[0], 'B' | 'l' << 8 | 'u' << 16);
    p.set_key_prefix("");
    EXPECT_EQ(p.key_name("MrBlue"), "MrBlue");
}

TEST(Parser, PlayerIdAddsUnseatedNamesOnce) {
    HandStore store;
    Parser p("", store);
    p.begin_hand();
    p.add_seated_player("Alice", 1, 5.0f);
    EXPECT_EQ(p.player_id("Alice"), 0);
    EXPECT_EQ(p.player_id("Zoe"), 1);
    EXPECT_EQ(p.player_id("Zoe"), 1);
    ASSERT_EQ(store.players.size(), 2u);
    EXPECT_EQ(p.player(1).seat, hs::kNone8);
    EXPECT_EQ(p.player(1).chips, 0.0f);
    EXPECT_EQ(name_of(p, store, 1), "Zoe");
    EXPECT_EQ(store.text, "AliceZoe");
}

TEST(Parser, ActionsNeverRegisterNames) {
    HandStore store;
    Parser p("", store);
    p.begin_hand();
    p.add_seated_player("Alice", 1, 5.0f);
    const hs::Action a = p.make_action("Mallory", ActionType::Bet, 1.5f);
    EXPECT_EQ(a, hs::Action::with_amount(ActionType::Bet, hs::kNoSlot, 1.5f));
    const hs::Action c = p.make_card_action("Mallory", ActionType::Show, hs::CardSet{});
    EXPECT_EQ(c.player_id(), hs::kNoSlot);
    EXPECT_EQ(p.player_count(), 1);
    EXPECT_EQ(store.players.size(), 1u);
    EXPECT_EQ(store.text, "Alice");
    EXPECT_THROW(p.make_action("", ActionType::Bet, 1.0f), hs::Fault);
}

TEST(Parser, CardActionsCarryTheIndexOfTheirCardSet) {
    HandStore store;
    const std::size_t before = store.card_sets.size();
    store.push_card_set(hs::CardSet::from_text("Ah"));
    store.push_card_set(hs::CardSet::from_text("Kd"));
    const std::uint32_t n = static_cast<std::uint32_t>(before + 2);
    Parser p("", store);
    p.begin_hand();
    p.add_seated_player("Alice", 1, 5.0f);
    p.add_seated_player("Bob", 2, 5.0f);
    const hs::CardSet first = hs::CardSet::from_text("Ah Kd");
    const hs::CardSet second = hs::CardSet::from_text("2c 2s");
    const hs::Action a = p.make_card_action("Bob", ActionType::Show, first);
    const hs::Action b = p.make_card_action("Alice", ActionType::Dealt, second);
    EXPECT_EQ(a, hs::Action::make(ActionType::Show, 1, n));
    EXPECT_EQ(b, hs::Action::make(ActionType::Dealt, 0, n + 1));
    ASSERT_EQ(store.card_sets.size(), n + 2);
    EXPECT_EQ(store.card_sets[n], first);
    EXPECT_EQ(store.card_sets[n + 1], second);
    EXPECT_TRUE(store.actions.empty());
}

TEST(Parser, BeginHandStartsAFreshTable) {
    HandStore store;
    Parser p("", store);
    EXPECT_EQ(p.first_player(), 0u);
    EXPECT_EQ(p.text_start(), 0u);
    p.begin_hand();
    p.add_seated_player("Alice", 1, 1.0f);
    p.add_seated_player("Bob", 2, 2.0f);
    p.begin_hand();
    EXPECT_EQ(p.first_player(), 2u);
    EXPECT_EQ(p.text_start(), 8u);
    EXPECT_EQ(p.player_count(), 0);
    EXPECT_EQ(p.find_player("Alice"), 32);
    EXPECT_THROW(p.player(0), hs::Fault);
    EXPECT_EQ(p.add_seated_player("Bob", 7, 3.0f), 0);
    EXPECT_EQ(p.player(0).seat, 7);
    EXPECT_EQ(p.find_player("Bob"), 0);
    EXPECT_EQ(name_of(p, store, 0), "Bob");
}

TEST(Parser, ThirtyThirdPlayerOfAHandFaults) {
    HandStore store;
    Parser p("", store);
    for (int hand = 0; hand < 2; ++hand) {
        p.begin_hand();
        for (int i = 0; i < 32; ++i) p.add_seated_player(std::to_string(100 + i), 1, 1.0f);
    }
    EXPECT_THROW(p.player_id("newcomer"), hs::Fault);
}

// ---------------------------------------------------------------------------------------------
// Random texts and allocations
// ---------------------------------------------------------------------------------------------

// A plain model of the cursor: separator from the first line, split, trim, stop at the marker.
std::vector<std::string> model_lines(const std::string& text) {
    std::string sep = "\n";
    const std::size_t lf = text.find('\n');
    if (lf != std::string::npos && lf > 0 && text[lf - 1] == '\r') sep = "\r\n";
    if (lf == std::string::npos && text.find('\r') != std::string::npos) sep = "\r";
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(sep, start);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(start, end - start);
        while (!l.empty() && (l.back() == ' ' || l.back() == '\t' || l.back() == '\r'))
            l.pop_back();
        if (l == "@@@") break;
        out.push_back(l);
        start = end + sep.size();
    }
    return out;
}

TEST(Parser, RandomTextsSplitLikeThePlainModel) {
    std::mt19937 rng(3);
    const char* pieces[] = {"\r\n", "\n", "\r", " ", "\t", "a", "bc", "@@@", "@", "\xE2\x82\xAC"};
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 24);
        for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
        ASSERT_EQ(lines_of(text), model_lines(text)) << "round " << round;
    }
}

TEST(Parser, LinesAndLookupsAllocateNothing) {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "Player" + std::to_string(i % 6) + ": raises $1,234.50 to $2.50 [Ah Kd] \r\n\r\n";
    HandStore store;
    Parser p(text, store);
    p.begin_hand();
    for (int i = 0; i < 6; ++i) p.add_seated_player("Player" + std::to_string(i), 1, 1.0f);
    p.add_seated_player("Al", 7, 1.0f);

    g_allocations = 0;
    g_watch = true;
    std::size_t lines = 0, found = 0;
    float total = 0.0f;
    for (; !p.at_end(); p.next_line()) {
        const std::string_view l = p.line();
        ++lines;
        const std::size_t colon = hs::find_byte(l, ':');
        if (colon == hs::npos) continue;
        const std::string_view name = l.substr(0, colon);
        found += p.find_player(name) == static_cast<unsigned>(name.back() - '0');
        found += p.make_action(name, ActionType::Raise, 1.0f).player_id() < 32;
        if (auto a = hs::amount_after_last(l, U'$')) total += a->value;
        if (auto d = hs::decimal_after_first(l, U'$')) total += d->value;
        if (auto d = hs::decimal_after_last(l, 0)) total += d->value;
        if (auto i = hs::read_integer(name.substr(6))) total += static_cast<float>(i->value);
        total += static_cast<float>(hs::bracketed_cards(l).cards.count);
    }
    found += p.find_player("Al") == 6;
    g_watch = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(lines, 4000u);
    EXPECT_EQ(found, 4001u);
    EXPECT_GT(total, 0.0f);
}

}  // namespace

// The usual date forms are tested a word at a time: every text of a form's length with a few
// bytes changed (to any byte, or to a digit or separator) reads as the byte-by-byte shape test
// says, and a text that has the shape reads as its numbers (an hour of one digit as that digit).
struct DateForm {
    const char* shape;
    const char* sample;
    std::optional<hs::PackedDate> (*read)(std::string_view) noexcept;
};
class FixedDate : public ::testing::TestWithParam<DateForm> {};

TEST_P(FixedDate, WordTestAgreesWithTheShapeByteByByte) {
    const std::string shape = GetParam().shape;
    const std::size_t n = shape.size(), hour = 11, hour_len = n - 17;
    const auto has_shape = [&](const std::string& d) {
        for (std::size_t i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(d[i]);
            if (shape[i] == 'd' ? !(c >= '0' && c <= '9')
                                : c != static_cast<unsigned char>(shape[i]))
                return false;
        }
        return true;
    };
    std::mt19937 rng(11);
    int shaped = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string d = GetParam().sample;
        for (unsigned k = rng() % 3; k-- > 0;)
            d[rng() % n] = round % 2 ? static_cast<char>(rng() % 256) : "0123456789/: "[rng() % 13];
        // A byte after the date: none, one that ends it, or a digit that does not.
        if (round % 3 == 1) d += ' ';
        const bool digit_after = round % 3 == 2;
        if (digit_after) d += '7';
        const auto read = GetParam().read(d);
        ASSERT_EQ(read.has_value(), has_shape(d) && !digit_after) << d;
        if (!read) continue;
        ++shaped;
        const auto num = [&](std::size_t at, std::size_t len) {
            return std::stoul(d.substr(at, len));
        };
        const std::size_t m = hour + hour_len + 1;  // the minutes
        EXPECT_EQ(*read, hs::pack_date(num(0, 4), num(5, 2), num(8, 2), num(hour, hour_len),
                                       num(m, 2), num(m + 3, 2)));
    }
    EXPECT_GT(shaped, 1000);
}

INSTANTIATE_TEST_SUITE_P(Forms, FixedDate,
                         ::testing::Values(DateForm{"dddd/dd/dd dd:dd:dd", "2012/04/06 22:51:18",
                                                    hs::fixed_date},
                                           DateForm{"dddd/dd/dd d:dd:dd", "2012/04/06 6:51:18",
                                                    hs::fixed_date_short_hour}));
