// Site detection, dispatch and file input, driven from C++ (no Python involved).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <variant>

#include "export/text_form.hpp"
#include "sites/parse.hpp"

namespace {

using hs::Site;

const std::string kHand =
    "PokerStars Hand #200000000001:  Hold'em No Limit ($0.50/$1 USD) - 2021/03/04 5:06:07 ET\n"
    "Table 'Alpha Beta' 6-max Seat #2 is the button\n"
    "Seat 2: Anna ($100 in chips)\n"
    "Seat 5: Boris ($55.50 in chips)\n"
    "Boris: posts small blind $0.50\n"
    "Anna: posts big blind $1\n"
    "*** HOLE CARDS ***\n"
    "Boris: raises $2 to $3\n"
    "Anna: folds\n"
    "Uncalled bet ($2) returned to Boris\n"
    "Boris collected $2 from pot\n"
    "Boris: doesn't show hand\n"
    "*** SUMMARY ***\n"
    "Total pot $2 | Rake $0\n"
    "Seat 2: Anna (button) (big blind) folded before Flop\n"
    "Seat 5: Boris (small blind) collected ($2)\n"
    "\n";

struct SiteCase {
    std::string text;
    Site site;
};

class DetectSite : public ::testing::TestWithParam<SiteCase> {};

TEST_P(DetectSite, RecognisesTheSite) {
    const auto& c = GetParam();
    const auto got = hs::detect_site(c.text);
    ASSERT_TRUE(std::holds_alternative<Site>(got)) << std::get<std::string>(got);
    EXPECT_EQ(hs::site_name(std::get<Site>(got)), hs::site_name(c.site)) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DetectSite,
    ::testing::Values(
        SiteCase{"PokerStars Hand #1\nTable 'Alpha'", Site::PokerStars},
        SiteCase{"PokerStars Hand #1\rTable 'Pluribus'\r", Site::PokerStarsPluribus},
        SiteCase{"\xEF\xBB\xBFPokerStars Hand #1\r\nTable 'Pluribus", Site::PokerStarsPluribus},
        SiteCase{"\xC2\x85\xC2\xA0\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xA8\xE2\x80\xA9"
                 "\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80\x0B\x0C"
                 "PokerStars x\ny",
                 Site::PokerStars},
        SiteCase{"***** History for hand R5-1", Site::OnGame},
        SiteCase{"BetOnline ", Site::BetOnline}, SiteCase{"Bodog Hand", Site::Bovada},
        SiteCase{"Full Tilt Poker", Site::FullTiltPoker}, SiteCase{"Everleaf ", Site::EverLeaf},
        SiteCase{"Winamax Poker", Site::Winamax}, SiteCase{"Stage #1", Site::Absolute},
        SiteCase{"#Game No : 1", Site::PacificPoker}, SiteCase{"Poker Hand #1", Site::GGPoker},
        SiteCase{"MERGE_GAME x", Site::PokerTracker}, SiteCase{"Hand#1", Site::Cake},
        // PokerTracker's other layouts; a Cake history that begins with notices or a hand's end.
        SiteCase{"Merge Game #1", Site::PokerTracker}, SiteCase{"GAME #1", Site::PokerTracker},
        SiteCase{"** Game ID 1", Site::PokerTracker}, SiteCase{"** Hand # 1", Site::PokerTracker},
        SiteCase{"EverestPoker Game #1", Site::PokerTracker},
        SiteCase{"Player left the table\r\nBob: folds\r\nHand#1", Site::Cake},
        SiteCase{"\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBFHand#1", Site::Cake},
        SiteCase{"Table #1", Site::Pkr}, SiteCase{"Game started at", Site::Winning},
        SiteCase{"#0", Site::KingsClub}, SiteCase{"#\xD9\xA3", Site::KingsClub},
        SiteCase{"Game #1 starts.\rx", Site::PartyPoker}, SiteCase{"Game #1", Site::Enet},
        SiteCase{"Hand #1 - Holdem", Site::Winning}, SiteCase{"Game Hand #12 - x", Site::Winning},
        SiteCase{"Bovada Hand #1", Site::Bovada}, SiteCase{"Ignition Hand #1", Site::Bovada},
        SiteCase{"Bodog.com Hand #1", Site::Bovada},
        SiteCase{"ActionPoker.com Game #1", Site::BetOnline},
        SiteCase{"Gear Poker Game #1", Site::BetOnline},
        SiteCase{"PayNoRake Game #1", Site::PayNoRake},
        SiteCase{"Partouche Poker Gibraltar", Site::EverLeaf},
        SiteCase{"- - Grand Poker - Game #1", Site::GrandPoker},
        SiteCase{"Tournament will start in a moment.\n\nBetOnline Poker Game #1", Site::BetOnline},
        // Full Tilt's archives: the site's name in one word, an opening line before the hand.
        SiteCase{"FullTiltPoker Game #1", Site::FullTiltPoker},
        SiteCase{"BEGIN\nFullTiltPoker Game #1", Site::FullTiltPoker},
        SiteCase{"******************** # 1 ***\r\n\r\nFull Tilt Poker Game #1",
                 Site::FullTiltPoker},
        // PokerNow's log export, by its header.
        SiteCase{"entry,at,order\n", Site::PokerNow},
        SiteCase{"entry,at,order\r\nx", Site::PokerNow},
        // PartyPoker's hand line, alone or after the "#Game No" line that 888poker writes too.
        SiteCase{"***** Hand History for Game 1 *****", Site::PartyPoker},
        SiteCase{"#Game No : 1\r\n***** Hand History For Game 1 *****", Site::PartyPoker},
        SiteCase{"#Game No : 1\n***** 888poker Hand History for Game 1 *****",
                 Site::PacificPoker}));

struct ErrorCase {
    std::string text;
    std::string line;
};

class DetectError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DetectError, QuotesTheFirstLine) {
    const auto& c = GetParam();
    const auto got = hs::detect_site(c.text);
    ASSERT_TRUE(std::holds_alternative<std::string>(got));
    EXPECT_EQ(std::get<std::string>(got), "Invalid poker website - '" + c.line + "'");
    const hs::ParseResult result = hs::parse_text(c.text);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, std::get<std::string>(got));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DetectError,
    ::testing::Values(
        ErrorCase{"", "@@@"}, ErrorCase{" \r\n\t", "@@@"}, ErrorCase{"\xEF\xBB\xBF", "@@@"},
        ErrorCase{"\xE3\x80\x80\xC2\xA0", "@@@"},
        // Only a mark at the very start is removed; a second one is text.
        ErrorCase{"\xEF\xBB\xBF\xEF\xBB\xBFPokerStars x\ny", "\xEF\xBB\xBFPokerStars x"},
        // Cut or foreign bytes are never read past the end and never count as white space.
        ErrorCase{"\xE2\x80", "\xE2\x80"}, ErrorCase{"\xC2", "\xC2"},
        ErrorCase{"\xE2\x80\x8B x", "\xE2\x80\x8B x"},  // U+200B is not white space
        ErrorCase{"\xE2\x80\x7F", "\xE2\x80\x7F"}, ErrorCase{"\xFF\n", "\xFF"},
        ErrorCase{std::string("\0PokerStars x\ny", 15), std::string("\0PokerStars x", 13)},
        // Winning's hand line needs its number and " - "; Bovada's brands their hand line.
        ErrorCase{"Hand #1", "Hand #1"}, ErrorCase{"Hand #x - ", "Hand #x - "},
        ErrorCase{"Game Hand #1-", "Game Hand #1-"}, ErrorCase{"Bovada", "Bovada"},
        // A PokerNow header is the whole first line; an archive's opening line is Full Tilt's
        // only before a Full Tilt hand.
        ErrorCase{"entry,at,orders\n", "entry,at,orders"}, ErrorCase{"BEGIN\nx", "BEGIN"},
        ErrorCase{"Ignition Hand", "Ignition Hand"},
        // A Cake hand line is looked for in the first 16 KiB only, at the start of a line.
        ErrorCase{"x\n" + std::string(16 * 1024, 'y') + "\nHand#1", "x"},
        ErrorCase{"x Hand#1", "x Hand#1"}));

TEST(Dispatch, SingleLinePokerStarsTextIsAFault) {
    for (const char* text :
         {"PokerStars Hand", "PokerStars Hand\n", "PokerStars Hand\r\n", "\n\nPokerStars Hand\r"}) {
        try {
            static_cast<void>(hs::detect_site(text));
            ADD_FAILURE() << "no fault for " << text;
        } catch (const hs::Fault& f) {
            EXPECT_EQ(f.message(), "missing second line in 'PokerStars Hand'");
        }
    }
}

TEST(Dispatch, EverySiteHasAReader) {
    for (std::size_t code = 0; code < hs::kSiteCount; ++code) {
        const auto site = static_cast<Site>(code);
        EXPECT_TRUE(hs::site_has_reader(site)) << hs::site_name(site);
        // A text of no hand gives none, whatever the reader.
        hs::HandStore store;
        std::vector<hs::Rejection> rejected;
        try {
            hs::run_site_parser(site, "whatever\n", store, hs::Errors::Skip, rejected);
        } catch (const hs::Fault&) {
        }
        EXPECT_TRUE(store.hands.empty()) << hs::site_name(site);
    }
}

// ---------------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------------

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("hs_dispatch_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write(const std::string& name, std::string_view bytes) {
        const auto path = (dir_ / name).string();
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(TempDir, MissingFileAndDirectory) {
    const std::string missing = (dir_ / "nope.txt").string();
    EXPECT_EQ(hs::parse_file(missing).error,
              "Failed to open file at path '" + missing +
                  "' with error No such file or directory (os error 2)");
    EXPECT_EQ(hs::parse_file(dir_.string()).error, "Failed to open file at path '" + dir_.string() +
                                                       "' with error Is a directory (os error 21)");
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(hs::parse_file(with_nul).error,
              "Failed to open file at path '" + with_nul +
                  "' with error file name contained an unexpected NUL byte");
}

TEST_F(TempDir, InvalidUtf8ReportsTheFirstBadOffset) {
    struct Case {
        std::string bytes;
        std::size_t offset;
    };
    const Case cases[] = {
        {"\x80", 0},
        {"abcdefgh\xC3", 8},  // cut at the end
        {"abcdefghijklmno\xE2\x82", 15},
        {"\xEF\xBB\xBF"
         "abc\xF0\x9F\x82",
         6},
        {"a\xC1\xBF", 1},            // overlong two-byte form
        {"ab\xE0\x9F\xBF", 2},       // overlong three-byte form
        {"abc\xF0\x8F\xBF\xBF", 3},  // overlong four-byte form
        {"abcd\xED\xBF\xBF", 4},     // surrogate
        {"\xF4\x90\x80\x80", 0},     // above U+10FFFF
        {"\xF5\x80\x80\x80", 0},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x82\xA1\xC3\x28", 9},  // bad continuation
        {std::string(70000, 'a') + "\xC3\xA9\xFF", 70002},
    };
    for (const Case& c : cases) {
        const std::string path = write("bad.txt", c.bytes);
        EXPECT_EQ(hs::parse_file(path).error,
                  "Failed to open file at path '" + path +
                      "' with error stream did not contain valid UTF-8 at byte offset " +
                      std::to_string(c.offset));
    }
}

TEST_F(TempDir, ValidMultiByteTextIsAccepted) {
    const std::string path = write("ok.txt",
                                   "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x82\xA1 "
                                   "\xF4\x8F\xBF\xBF\n");
    EXPECT_EQ(hs::parse_file(path).error,
              "Invalid poker website - '\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x82\xA1 "
              "\xF4\x8F\xBF\xBF'");
}

TEST_F(TempDir, LargeFileReadsLikeItsText) {
    std::string text;
    for (int k = 0; k < 400; ++k) text += kHand;  // well past one read
    const std::string path = write("big.txt", "\xEF\xBB\xBF" + text);
    const hs::ParseResult from_file = hs::parse_file(path);
    const hs::ParseResult from_text = hs::parse_text(text);
    ASSERT_TRUE(from_file.ok()) << from_file.error;
    ASSERT_TRUE(from_text.ok());
    ASSERT_EQ(from_file.store->hands.size(), 400u);
    const auto all = hs::Span::make(0, 400);
    EXPECT_EQ(hs::hands_text(*from_file.store, all, false),
              hs::hands_text(*from_text.store, all, false));
}

TEST(Files, SpecialFileWithoutASizeIsReadToTheEnd) {
    // /proc files report size 0 but have content.
    const hs::ParseResult r = hs::parse_file("/proc/self/status");
    EXPECT_EQ(r.error.rfind("Invalid poker website - 'Name:", 0), 0u) << r.error;
}

}  // namespace
