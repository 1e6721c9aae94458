// The PokerStars and Pluribus parsers on texts built here: one case per line kind, rule and
// rejection that the real files do not exercise, and the behaviours that real files called for.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/format.hpp"
#include "core/model.hpp"
#include "export/text_form.hpp"
#include "sites/parse.hpp"
#include "support.hpp"

namespace {

using hs::ActionType;
using hs::HandStore;

constexpr const char* kHandLine =
    "PokerStars Hand #1001:  Hold'em No Limit ($0.01/$0.02 USD) - 2021/03/04 05:06:07 ET";
constexpr const char* kTable = "Table 'Alpha II' 6-max Seat #4 is the button";
constexpr const char* kSeats =
    "Seat 1: Alice ($2.50 in chips)\nSeat 2: Bob ($3 in chips)\n"
    "Seat 4: Carol ($4 in chips)\nSeat 6: Dave ($5 in chips)";
constexpr const char* kBlinds = "Alice: posts small blind $0.01\nBob: posts big blind $0.02";
constexpr const char* kSummary =
    "*** SUMMARY ***\nTotal pot $0.04 | Rake $0\nSeat 2: Bob collected ($0.04)";

struct Parts {
    std::string hand_line = kHandLine;
    std::string table = kTable;
    std::string seats = kSeats;
    std::string pre_deal = kBlinds;
    std::string preflop = "Carol: folds\nDave: folds\nAlice: folds";
    std::string streets;  // street lines and their rounds, may be empty
    std::string summary = kSummary;
};

std::string hand(const Parts& p) {
    std::string s = p.hand_line + "\n" + p.table + "\n" + p.seats + "\n";
    if (!p.pre_deal.empty()) s += p.pre_deal + "\n";
    s += "*** HOLE CARDS ***\n";
    if (!p.preflop.empty()) s += p.preflop + "\n";
    if (!p.streets.empty()) s += p.streets + "\n";
    return s + p.summary + "\n";
}

std::unique_ptr<HandStore> parse(const std::string& text) {
    hs::ParseResult r = hs::parse_text(text);
    EXPECT_TRUE(r.ok()) << r.error;
    return std::move(r.store);
}

std::string fault_of(const std::string& text) {
    return hs::test::fault_of([&] { hs::parse_text(text); });
}

std::vector<std::string> ids(const HandStore& s) {
    std::vector<std::string> out;
    for (const auto& h : s.hands) out.emplace_back(s.text_of(h.header.id));
    return out;
}

std::vector<hs::Action> actions(const HandStore& s, hs::Span span) {
    auto r = s.resolve(s.actions, span);
    return {r.begin(), r.end()};
}

std::string name(const HandStore& s, const hs::Hand& h, std::uint8_t id) {
    return std::string(s.text_of(hs::at(s.players, h.header.players.start() + id).name));
}

// --- hand line and table line --------------------------------------------------------------

struct HeaderCase {
    const char* stakes;
    const char* sign;
    hs::GameType game;
    hs::BetType bet;
    hs::Currency currency;
    float small, big, cap;
};

TEST(PokerStarsHeader, GameLimitStakesAndCurrency) {
    const HeaderCase cases[] = {
        {"Hold'em No Limit ($0.01/$0.02 USD)", "$", hs::GameType::HoldEm, hs::BetType::NoLimit,
         U'$', 0.01f, 0.02f, 0.0f},
        {"Omaha Pot Limit (\u20ac0.05/\u20ac0.10 EUR)", "\u20ac", hs::GameType::Omaha,
         hs::BetType::PotLimit, U'\u20ac', 0.05f, 0.1f, 0.0f},
        {"Omaha Hi/Lo Limit ($1/$2 USD)", "$", hs::GameType::OmahaHiLo, hs::BetType::Limit, U'$',
         1.0f, 2.0f, 0.0f},
        {"Hold'em No Limit ($1/$2 - $60 Cap USD)", "$", hs::GameType::HoldEm, hs::BetType::NoLimit,
         U'$', 1.0f, 2.0f, 60.0f},
        {"Hold'em Pot Limit (\u00a31/\u00a32 GBP)", "\u00a3", hs::GameType::HoldEm,
         hs::BetType::PotLimit, U'\u00a3', 1.0f, 2.0f, 0.0f},
        // play money: no sign anywhere, so the blinds, posts and pots are read without one
        {"Hold'em No Limit (50/100)", "", hs::GameType::HoldEm, hs::BetType::NoLimit, 0, 50.0f,
         100.0f, 0.0f},
        // the variants, each name with its limit
        {"5 Card Omaha Pot Limit ($1/$2 USD)", "$", hs::GameType::FiveCardOmaha,
         hs::BetType::PotLimit, U'$', 1.0f, 2.0f, 0.0f},
        {"5 Card Omaha Hi/Lo Pot Limit ($1/$2 USD)", "$", hs::GameType::FiveCardOmahaHiLo,
         hs::BetType::PotLimit, U'$', 1.0f, 2.0f, 0.0f},
        {"6 Card Omaha Pot Limit ($1/$2 USD)", "$", hs::GameType::SixCardOmaha,
         hs::BetType::PotLimit, U'$', 1.0f, 2.0f, 0.0f},
        {"6 Card Omaha Hi/Lo Limit ($1/$2 USD)", "$", hs::GameType::SixCardOmahaHiLo,
         hs::BetType::Limit, U'$', 1.0f, 2.0f, 0.0f},
        {"Courchevel Pot Limit ($1/$2 USD)", "$", hs::GameType::Courchevel, hs::BetType::PotLimit,
         U'$', 1.0f, 2.0f, 0.0f},
        {"Courchevel Hi/Lo Pot Limit ($1/$2 USD)", "$", hs::GameType::CourchevelHiLo,
         hs::BetType::PotLimit, U'$', 1.0f, 2.0f, 0.0f},
    };
    for (const auto& c : cases) {
        Parts p;
        p.hand_line = std::string("PokerStars Hand #7:  ") + c.stakes +
                      " - 2021/03/04 05:06:07 ET [2020/01/02 03:04:05 ET]";
        const std::string sign = c.sign;
        p.seats =
            "Seat 1: Alice (" + sign + "1000 in chips)\nSeat 2: Bob (" + sign + "900 in chips)";
        p.pre_deal =
            "Alice: posts small blind " + sign + "50\nBob: posts big blind " + sign + "100";
        p.preflop = "Alice: folds";
        p.summary = "*** SUMMARY ***\nTotal pot " + sign + "150 | Rake " + sign +
                    "0\nSeat 2: Bob collected (" + sign + "150)";
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << c.stakes;
        const auto& h = s->hands[0].header;
        EXPECT_EQ(h.game_type, c.game) << c.stakes;
        EXPECT_EQ(h.bet_type, c.bet) << c.stakes;
        EXPECT_EQ(h.currency, c.currency) << c.stakes;
        EXPECT_FLOAT_EQ(h.small_blind, c.small) << c.stakes;
        EXPECT_FLOAT_EQ(h.big_blind, c.big) << c.stakes;
        EXPECT_FLOAT_EQ(h.bet_cap, c.cap) << c.stakes;
        // the second, bracketed date is ignored
        EXPECT_EQ(h.start_date, hs::pack_date(2021, 3, 4, 5, 6, 7));
        {
            const auto pre = actions(*s, h.actions);
            ASSERT_EQ(pre.size(), 2u);
            EXPECT_FLOAT_EQ(pre[1].amount(), 100.0f);
            EXPECT_FLOAT_EQ(s->hands[0].summary.pots.total, 150.0f);
            EXPECT_FLOAT_EQ(hs::at(s->players, 1).chips, 900.0f);
        }
    }
}

TEST(PokerStarsHeader, IdIsTheTextAfterTheFirstHashUpToTheColon) {
    Parts p;
    std::string text;
    for (const char* prefix : {"PokerStars Hand #11:", "PokerStars Zoom Hand #181390547654:",
                               "PokerStars Game #27853240097:"}) {
        p.hand_line = std::string(prefix) +
                      "  Hold'em No Limit ($0.01/$0.02 USD) - 2021/03/04 "
                      "05:06:07 ET";
        text += hand(p) + "\n";
    }
    auto s = parse(text);
    EXPECT_EQ(ids(*s), (std::vector<std::string>{"11", "181390547654", "27853240097"}));
}

TEST(PokerStarsHeader, TableNameSizeAndButton) {
    Parts p;
    p.table = "Table 'Alpha II' 9-max Seat #10 is the button";
    p.seats = "Seat 1: Alice ($2.50 in chips)\nSeat 10: Bob ($3 in chips) is sitting out";
    auto s = parse(hand(p));
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0].header;
    EXPECT_EQ(s->text_of(h.table_name), "Alpha II");
    EXPECT_EQ(h.max_players, 9);
    EXPECT_EQ(h.dealer, 1);  // Bob, on seat 10
    EXPECT_EQ(hs::at(s->players, 1).seat, 10);
    EXPECT_FLOAT_EQ(hs::at(s->players, 1).chips, 3.0f);

    // play-money and Pluribus tables write a note between the size and the button
    p.table = "Table 'Pluribus Session 30' 6-max (Play Money) Seat #10 is the button";
    s = parse(hand(p));
    EXPECT_EQ(s->hands.at(0).header.dealer, 1);
    EXPECT_EQ(s->hands.at(0).header.button_seat, 10);
    // A button on a seat that no seat line names is a dead button: no dealer. (The seat number
    // used to stay in `dealer`, where it named whichever player had that index.) The hand keeps
    // the button's seat.
    p.table = "Table 'Alpha II' 6-max Seat #5 is the button";
    s = parse(hand(p));
    EXPECT_EQ(s->hands.at(0).header.dealer, hs::kNone8);
    EXPECT_EQ(s->hands.at(0).header.button_seat, 5);
    // A player who joins on that seat before the deal has no seat line: still no dealer.
    p.pre_deal = std::string(kBlinds) + "\nEve joins the table at seat #5";
    s = parse(hand(p));
    EXPECT_EQ(hs::at(s->players, 2).seat, 5);
    EXPECT_EQ(s->hands.at(0).header.dealer, hs::kNone8);
    p.pre_deal = kBlinds;
    // Seat lines out of seat order: the dealer is the player seated on the button, never the
    // player whose index happens to equal a later seat number.
    p.table = "Table 'Alpha II' 6-max Seat #1 is the button";
    p.seats =
        "Seat 3: Carol ($4 in chips)\nSeat 4: Dave ($5 in chips)\n"
        "Seat 1: Alice ($2.50 in chips)\nSeat 2: Bob ($3 in chips)";
    s = parse(hand(p));
    EXPECT_EQ(s->hands.at(0).header.dealer, 2);
}

// Seat numbers of one and two digits; anything else where the number stands is a fault.
TEST(PokerStarsHeader, SeatNumbers) {
    const std::pair<const char*, int> seats[] = {{"Seat 1: Bob ($3 in chips)", 1},
                                                 {"Seat 9: Bob ($3 in chips)", 9},
                                                 {"Seat 10: Bob ($3 in chips)", 10},
                                                 {"Seat 99: Bob ($3 in chips)", 99},
                                                 {"Seat 07: Bob ($3 in chips)", 7}};
    for (const auto& [line, seat] : seats) {
        Parts p;
        p.seats = std::string("Seat 2: Alice ($2 in chips)\n") + line;
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << line;
        EXPECT_EQ(hs::at(s->players, 1).seat, seat) << line;
        EXPECT_EQ(name(*s, s->hands[0], 1), "Bob") << line;
    }
    for (const char* line :
         {"Seat x: Bob ($3 in chips)", "Seat -1: Bob ($3 in chips)",
          "Seat 1\xD9\xA3: Bob ($3 in chips)", "Seat \xD9\xA3: Bob ($3 in chips)"}) {
        Parts p;
        p.seats = line;
        EXPECT_NE(fault_of(hand(p)), "") << line;
    }
}

// The table name runs from the first quote of the line to the last one.
TEST(PokerStarsHeader, TableNameHoldingQuotes) {
    struct Case {
        const char* line;
        const char* name;
        std::uint8_t max_players, dealer;
    };
    const Case cases[] = {
        {"Table 'Isildur's PLO 50' 2-max Seat #2 is the button", "Isildur's PLO 50", 2, 1},
        {"Table 'a'b'c' 10-max Seat #1 is the button", "a'b'c", 10, 0},
        {"Table 'O'Neil' 6-max (Play Money) Seat #4 is the button", "O'Neil", 6, hs::kNone8},
        {"Table '' 9-max Seat #2 is the button", "", 9, 1},
    };
    for (const auto& c : cases) {
        Parts p;
        p.table = c.line;
        p.seats = "Seat 1: Alice ($2 in chips)\nSeat 2: Bob ($3 in chips)";
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << c.line;
        const auto& h = s->hands[0].header;
        EXPECT_EQ(s->text_of(h.table_name), c.name);
        EXPECT_EQ(h.max_players, c.max_players) << c.line;
        EXPECT_EQ(h.dealer, c.dealer) << c.line;
    }
    // a single quote has no closing one: the hand is dropped
    Parts p;
    p.table = "Table 'Owa III 6-max Seat #4 is the button";
    EXPECT_TRUE(parse(hand(p))->hands.empty());
}

TEST(PokerStarsHeader, Faults) {
    Parts p;
    // a tournament of a game no reader knows fails as a cash hand of it does
    p.hand_line =
        "PokerStars Hand #5: Tournament #130326981, $10+$1 USD Pineapple Limit - Level I "
        "(10/20) - 2008/12/29 14:33:21 ET";
    EXPECT_EQ(fault_of(hand(p)), "game not read: Pineapple Limit");
    // and so does a mixed game's hand of one
    p.hand_line =
        "PokerStars Hand #5: Tournament #130326981, $10+$1 USD HORSE (Pineapple Limit) - "
        "Level I (10/20) - 2008/12/29 14:33:21 ET";
    EXPECT_EQ(fault_of(hand(p)), "game not read: Pineapple Limit");
    // no space after the colon: the byte after it is skipped unconditionally
    p.hand_line = "PokerStars Hand #5:Hold'em No Limit ($1/$2 USD) - 2021/03/04 05:06:07 ET";
    EXPECT_EQ(fault_of(hand(p)), "game not read: old'em No Limit");
    // the skipped byte opens a two-byte character: the message quotes the whole character
    p.hand_line =
        "PokerStars Hand #5:\xc3\xa9 Hold'em No Limit ($1/$2 USD) - 2021/03/04 05:06:07 ET";
    EXPECT_EQ(fault_of(hand(p)), "game not read: \xc3\xa9 Hold'em No Limit");
    p.hand_line = "PokerStars Hand #5:  Hold'em Mixed ($1/$2 USD) - 2021/03/04 05:06:07 ET";
    EXPECT_EQ(fault_of(hand(p)), "game not read: Hold'em Mixed");
    p.hand_line = "PokerStars Hand #5:  Hold'em No Limit (#1/#2 USD) - 2021/03/04 05:06:07 ET";
    EXPECT_NE(fault_of(hand(p)).find("currency"), std::string::npos);
    p.hand_line = "PokerStars Hand #5:  Hold'em No Limit ($1/$2 USD) - 2021/03/04";
    EXPECT_NE(fault_of(hand(p)).find("date"), std::string::npos);
}

// The usual date form is read at fixed places, every other form piece by piece: both give the
// leading digits of each piece.
TEST(PokerStarsHeader, DateForms) {
    struct Case {
        const char* date;
        hs::PackedDate want;
    };
    const Case cases[] = {
        {"2021/03/04 05:06:07 ET", hs::pack_date(2021, 3, 4, 5, 6, 7)},
        {"2021/03/04 05:06:07", hs::pack_date(2021, 3, 4, 5, 6, 7)},
        {"2016/10/14 0:04:07 ET", hs::pack_date(2016, 10, 14, 0, 4, 7)},
        {"2016/3/1 1:29:41 ET", hs::pack_date(2016, 3, 1, 1, 29, 41)},
        {"2018/03/09 23:36:32 CET [2018/03/09 17:36:32 ET]", hs::pack_date(2018, 3, 9, 23, 36, 32)},
        {"2021/03/04 05:06:071 ET", hs::pack_date(2021, 3, 4, 5, 6, 71)},
        {"2021/03/04 05:06:07x", hs::pack_date(2021, 3, 4, 5, 6, 7)},
        {"02021/03/04 05:06:07", hs::pack_date(2021, 3, 4, 5, 6, 7)},
        // a time without seconds (Run It Once): second 0
        {"2021/02/13 22:01 UTC [2021/02/13 23:01 CET]", hs::pack_date(2021, 2, 13, 22, 1, 0)},
        {"2021/03/04 05:06", hs::pack_date(2021, 3, 4, 5, 6, 0)},
        {"2016/10/14 0:04:07", hs::pack_date(2016, 10, 14, 0, 4, 7)},
        {"2016/10/14 9:04:071 ET", hs::pack_date(2016, 10, 14, 9, 4, 71)},
        {"2016/10/14 9:04:07x", hs::pack_date(2016, 10, 14, 9, 4, 7)},
    };
    for (const auto& c : cases) {
        Parts p;
        p.hand_line = std::string("PokerStars Hand #1:  Hold'em No Limit ($1/$2 USD) - ") + c.date;
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << c.date;
        EXPECT_EQ(s->hands[0].header.start_date, c.want) << c.date;
    }
    // a numeric character outside ASCII right after the seconds makes them unreadable
    Parts p;
    p.hand_line = "PokerStars Hand #1:  Hold'em No Limit ($1/$2 USD) - 2021/03/04 05:06:07\xC2\xB2";
    EXPECT_NE(fault_of(hand(p)).find("date"), std::string::npos);
    p.hand_line = "PokerStars Hand #1:  Hold'em No Limit ($1/$2 USD) - 2021/03/04 05";
    EXPECT_NE(fault_of(hand(p)).find("date"), std::string::npos);
}

// Hands that follow one another read their game and stakes as each alone reads them, whether
// the hand before wrote the same bytes before its date or others.
TEST(PokerStarsHeader, StakesOfHandsInTurn) {
    const std::string games[] = {"Hold'em No Limit ($1/$2 USD)",
                                 "Hold'em No Limit ($1/$2 USD)",
                                 "Hold'em No Limit ($10/$20 - $400 Cap -  USD)",
                                 "Hold'em No Limit ($10/$20 - $400 Cap -  USD)",
                                 "Omaha Pot Limit ($0.50/$1 CAD)",
                                 "Hold'em No Limit ($1/$2 USD)"};
    const auto fields = [](const hs::Header& h) {
        return std::tuple(h.game_type, h.bet_type, h.currency, h.small_blind, h.big_blind,
                          h.bet_cap, h.currency_code, h.start_utc);
    };
    std::string all;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < std::size(games); ++i) {
        Parts p;
        p.hand_line = "PokerStars Hand #" + std::to_string(i) + ":  " + games[i] +
                      " - 2021/03/04 " + (i % 2 ? "5:16:07 ET" : "05:06:07 ET");
        all += texts.emplace_back(hand(p)) + "\n";
    }
    const auto s = parse(all);
    ASSERT_EQ(s->hands.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(fields(s->hands[i].header), fields(parse(texts[i])->hands.at(0).header)) << i;
    EXPECT_TRUE(s->hands[3].header.bet_cap == 400.0f && s->hands[4].header.currency_code[0] == 'C');
}

// Hands that follow one another read their start as each alone reads it, whether the hand before
// started within the same hour or not (the hour's bytes read once are not read again).
TEST(PokerStarsHeader, DatesOfHandsInTurn) {
    const char* dates[] = {"2021/03/04 05:06:07 ET",  "2021/03/04 05:59:58 ET",
                           "2021/03/04 05:99:99 ET",  "2021/03/04 05:6:07 ET",
                           "2021/03/04 05:06:7 ET",   "2021/03/04 05:06:071 ET",
                           "2021/03/04 05:06:07x",    "2021/03/04 05:07:08",
                           "2021/03/04 06:06:07 ET",  "2021/03/04 5:06:07 ET",
                           "2021/03/04 05:06:08 CET [2021/03/03 23:06:08 ET]"};
    const std::string line = "PokerStars Hand #1:  Hold'em No Limit ($1/$2 USD) - ";
    for (const char* before : {"2021/03/04 05:00:00 ET", "2021/03/04 04:00:00 ET"}) {
        for (const char* date : dates) {
            Parts first, second;
            first.hand_line = line + before;
            second.hand_line = line + date;
            const auto both = parse(hand(first) + "\n" + hand(second));
            const auto alone = parse(hand(second));
            ASSERT_EQ(both->hands.size(), 2u) << date;
            const hs::Header &a = both->hands[1].header, &b = alone->hands.at(0).header;
            EXPECT_EQ(std::tuple(a.start_date, a.start_utc, a.start_zoned),
                      std::tuple(b.start_date, b.start_utc, b.start_zoned))
                << before << " then " << date;
        }
    }
}

// --- file input -------------------------------------------------------------------------------

// A file is read whole and checked as UTF-8: the error names the offset of the first byte of the
// first bad sequence, wherever it falls in the 16-byte blocks of the check.
TEST(PokerStarsFile, InvalidUtf8IsReportedAtItsOffset) {
    const std::string good = hand(Parts{});
    const std::string path = ::testing::TempDir() + "hs_utf8_check.txt";
    const auto write = [&](const std::string& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    };
    const std::string bad[] = {"\xFF",     "\xC3",         "\xC3(",
                               "\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                               "\xC0\xAF", "\x80"};
    for (std::size_t at : {std::size_t{20}, std::size_t{31}, std::size_t{32}, std::size_t{47},
                           std::size_t{100}, good.size() - 1}) {
        for (const std::string& b : bad) {
            std::string bytes = good;
            bytes.insert(at, b);
            write(bytes);
            const hs::ParseResult r = hs::parse_file(path);
            EXPECT_FALSE(r.ok());
            EXPECT_EQ(r.error,
                      "Failed to open file at path '" + path +
                          "' with error stream did not contain valid UTF-8 at byte offset " +
                          std::to_string(at))
                << at;
        }
    }
    // characters of two to four bytes across the block edges are valid: the file parses
    std::string text = good;
    text.insert(text.find("Alpha"), "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x9F\x98");  // in the table name
    for (int i = 0; i < 3; ++i) text += "\n" + good;
    write(text);
    const hs::ParseResult r = hs::parse_file(path);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.store->hands.size(), 4u);
    EXPECT_EQ(r.store->text_of(r.store->hands[0].header.table_name),
              "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x9F\x98"
              "Alpha II");
    std::remove(path.c_str());
}

// --- the driver ------------------------------------------------------------------------------

TEST(PokerStarsDriver, RejectedHandsAreDroppedAndTheNextHandIsRead) {
    Parts good;
    Parts bad = good;
    bad.preflop = "Carol: folds\nAlice: posts small blind $0.01";  // a post after the deal
    Parts next = good;
    next.hand_line.replace(next.hand_line.find("1001"), 4, "1002");
    Parts glued = good;
    glued.hand_line.replace(glued.hand_line.find("1001"), 4, "1003");
    // 1003's summary runs straight into the next hand line, which still starts that hand
    const std::string text =
        "\n\n" + hand(bad) + "\n" + hand(glued) + hand(good) + "\n\n\n" + hand(next) + "\n\n";
    auto s = parse(text);
    EXPECT_EQ(ids(*s), (std::vector<std::string>{"1001", "1002"}));
    EXPECT_TRUE(parse(hand(bad))->hands.empty());
}

TEST(PokerStarsDriver, AlwaysMakesProgress) {
    const std::string h = hand(Parts{});
    const std::pair<std::string, std::size_t> cases[] = {
        {"PokerStars x\n" + h, 1},                        // shorter than 17 bytes
        {"PokerStars Hand #1001 has no colon\n" + h, 1},  // rejected without being consumed
        {"PokerStars Hand #9-12: x\n" + h, 1},            // the last '-' before the ':'
        {"PokerStars Hand #1001\nPokerStars Hand #1002\n", 0},
        {h + "\n@@@\n" + h, 1},  // a literal end marker ends the text
        {h + "\ntrailer\n", 1},  // a short trailer after the last hand
    };
    // A hand line that cannot be read is an input error: skipped here, it rejects its hand.
    for (const auto& [text, count] : cases) {
        const hs::ParseResult r = hs::parse_text(text, hs::Errors::Skip);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(ids(*r.store), std::vector<std::string>(count, "1001")) << text.substr(0, 40);
    }
}

// --- seats and pre-deal lines ----------------------------------------------------------------

TEST(PokerStarsPreDeal, PostsStatusChatAndJoins) {
    Parts p;
    p.seats = "Seat 1: Alice ($1,234.50 in chips)\nSeat 2: Bob ($3 in chips)";
    p.pre_deal =
        "Alice: posts small & big blinds $0.03\nAlice: posts small blind $0.01\n"
        "Alice: posts big blind $0.02\nAlice: posts the ante $0.01\nZed: posts big blind $0.02\n"
        "Alice: sits out\nEve: is sitting out\nBob has timed out\nBob is connected\n"
        "Bob is disconnected\nBob has timed out while disconnected\n"
        "Bob has timed out while being disconnected\nBob leaves the table\n"
        "Bob was removed from the table for failing to post\n"
        "Bob will be allowed to play after the button\nBob has returned\n"
        "Carol joins the table at seat #7\nBob said, \"h\xc3\xa9llo\"";
    p.preflop = "Bob: folds";
    auto s = parse(hand(p));
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0];
    using T = ActionType;
    const std::pair<T, std::uint8_t> want[] = {
        {T::BigSmallBlind, 0}, {T::SmallBlind, 0}, {T::BigBlind, 0}, {T::Ante, 0},
        {T::BigBlind, 32},  // a poster without a seat line is not added
        {T::Sitout, 0},        {T::Sitout, 2},     {T::Leave, 1},    {T::Join, 1},
        {T::Leave, 1},         {T::Leave, 1},      {T::Leave, 1},    {T::Leave, 1},
        {T::Leave, 1},         {T::Join, 1},       {T::Join, 1},     {T::Join, 3},
        {T::Say, 1},
    };
    const auto got = actions(*s, h.header.actions);
    ASSERT_EQ(got.size(), std::size(want));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].type(), want[i].first) << i;
        EXPECT_EQ(got[i].player_id(), want[i].second) << i;
    }
    EXPECT_FLOAT_EQ(got[0].amount(), 0.03f);
    EXPECT_EQ(got[8].payload(), 253u);
    EXPECT_EQ(got[14].payload(), 254u);
    EXPECT_EQ(got[16].payload(), 7u);
    EXPECT_EQ(s->message_of(got[17].payload(), h.text_start), "h\xc3\xa9llo");
    EXPECT_FLOAT_EQ(hs::at(s->players, 0).chips, 1234.5f);  // "," between thousands
    EXPECT_EQ(h.header.players.count(), 4u);                // Alice, Bob, Eve, Carol
    EXPECT_EQ(name(*s, h, 2), "Eve");
    EXPECT_EQ(hs::at(s->players, 2).seat, 255);
    EXPECT_FLOAT_EQ(hs::at(s->players, 2).chips, 0.0f);
    EXPECT_EQ(hs::at(s->players, 3).seat, 7);
}

// Names first met in a line (a join, a sit-out, a leave, a chat line) whose first three bytes are
// a seated player's: each is a player of their own, and the seated player keeps their seat,
// chips and actions. An action on a name that is no player's goes to the lowest slot of its key.
TEST(PokerStarsPreDeal, NewPlayersSharingASeatedPlayersKeyAreTheirOwn) {
    Parts p;
    p.seats =
        "Seat 1: Peter_K ($2.50 in chips)\nSeat 2: Mr. Sjaak 13 ($3 in chips)\n"
        "Seat 4: Bob ($4 in chips)";
    p.pre_deal =
        "Peter_K: posts small blind $0.01\nMr. Sjaak 13: posts big blind $0.02\n"
        "Petra77 joins the table at seat #9\nPetrus: sits out\nMr. Sjaak 14 leaves the table\n"
        "Bobby said, \"hi\"\nMr. Sjaak 14 has returned\nPeter_K is disconnected";
    p.preflop = "Petra77: folds\nBobby: checks\nPete: calls $0.01\nPeter_K: folds\nBob: folds";
    p.summary =
        "*** SUMMARY ***\nTotal pot $0.03 | Rake $0\nSeat 9: Petra77 folded before Flop\n"
        "Seat 2: Mr. Sjaak 13 (big blind) collected ($0.03)";
    auto s = parse(hand(p));
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0];
    const struct {
        const char* name;
        int seat;
        float chips;
    } players[] = {{"Peter_K", 1, 2.5f}, {"Mr. Sjaak 13", 2, 3}, {"Bob", 4, 4},
                   {"Petra77", 9, 0},    {"Petrus", 255, 0},     {"Mr. Sjaak 14", 255, 0},
                   {"Bobby", 255, 0}};
    ASSERT_EQ(h.header.players.count(), std::size(players));
    for (std::size_t i = 0; i < std::size(players); ++i) {
        const hs::Player& got = hs::at(s->players, h.header.players.start() + i);
        EXPECT_EQ(s->text_of(got.name), players[i].name) << i;
        EXPECT_EQ(got.seat, players[i].seat) << i;
        EXPECT_FLOAT_EQ(got.chips, players[i].chips) << i;
    }
    const auto ids_of = [&](hs::Span span) {
        std::vector<int> out;
        for (const hs::Action& a : actions(*s, span)) out.push_back(a.player_id());
        return out;
    };
    EXPECT_EQ(ids_of(h.header.actions), (std::vector<int>{0, 1, 3, 4, 5, 6, 5, 0}));
    EXPECT_EQ(ids_of(h.preflop.actions), (std::vector<int>{3, 6, 0, 0, 2}));  // "Pete" calls
    EXPECT_EQ(ids_of(h.summary.actions), (std::vector<int>{3, 1}));
    EXPECT_EQ(hs::at(s->winners, h.summary.winners.start()).player_id, 1);
}

TEST(PokerStarsPreDeal, ChatIsCutAtTheLastWholeCharacter) {
    Parts p;
    const std::string ascii(300, 'x');
    const std::string euro = std::string(254, 'y') + "\xe2\x82\xac" + "zz";  // cut inside the €
    p.pre_deal = "Alice said, \"" + ascii + "\"\nBob said, \"" + euro + "\"";
    auto s = parse(hand(p));
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0];
    const auto got = actions(*s, h.header.actions);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(s->message_of(got[0].payload(), h.text_start), std::string(255, 'x'));
    EXPECT_EQ(s->message_of(got[1].payload(), h.text_start), std::string(254, 'y'));
}

TEST(PokerStarsPreDeal, RejectionsAndBlindFault) {
    Parts p;
    p.seats = "Seat 1: Alice ($2.50 in chips) (away)";  // last '(' is not the chips
    EXPECT_TRUE(parse(hand(p))->hands.empty());
    p = Parts{};
    p.pre_deal = "Alice: waves";
    EXPECT_TRUE(parse(hand(p))->hands.empty());
    p.pre_deal = "Alice: posts dead $0.01";
    EXPECT_EQ(fault_of(hand(p)),
              "internal error: entered unreachable code: Unexpected character 'd' in blind line: "
              "'Alice: posts dead $0.01'");
}

// --- betting rounds --------------------------------------------------------------------------

TEST(PokerStarsRounds, ActionLines) {
    Parts p;
    p.seats += "\nSeat 5: Edna ($5 in chips)";
    p.preflop =
        "Dealt to Carol [Ah Kd]\nCarol: raises $0.04 to $0.06\nDave: calls $5 and is all-in\n"
        "Edna: calls $5 and is all in\nAlice: bets $1,250\nBob: raises $1 to $2 and is all-in\n"
        "Alice: checks\nAlice: folds [7c 2d]\nBob: shows [Ah Kd] (a pair of Aces)\n"
        "Carol: shows [Qs Qd]\nDave: mucks hand\nEdna: doesn't show hand\n"
        "Uncalled bet ($0.04) returned to Carol\nCarol collected $1.20 from pot\n"
        "Dave collected $1 from side pot\nEdna collected $2 from main pot\n"
        "Carol collected $3 from side pot-2\nDave collected $4 from side pot-1\n"
        "Edna collected $5 from main pot-1\nBob collected $6 from pot-2\n"
        "Carol cashed out the hand for $5.00 | Cash Out Fee $0.10\n"
        "Dave cashed out the hand for $2\nFrank joins the table at seat #3\n"
        "Frank said, \"gl\"\nEdna is sitting out";
    auto s = parse(hand(p));
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0];
    using T = ActionType;
    struct Want {
        T type;
        std::uint8_t player;
        float amount;  // amount actions only
    };
    const Want want[] = {
        {T::Dealt, 2, 0},
        {T::Raise, 2, 0.04f},
        {T::CallAllIn, 3, 5},
        {T::CallAllIn, 4, 5},
        {T::Bet, 0, 1250},
        {T::RaiseAllIn, 1, 1},
        {T::Check, 0, 0},
        {T::Fold, 0, 0},
        {T::Show, 1, 0},
        {T::Show, 2, 0},
        {T::Fold, 3, 0},
        {T::Muck, 4, 0},
        {T::UncalledBetReturned, 2, 0.04f},
        {T::CollectMainPot, 2, 1.2f},
        {T::CollectSidePot1, 3, 1},
        {T::CollectMainPot, 4, 2},
        {T::CollectSidePot2, 2, 3},
        {T::CollectSidePot1, 3, 4},
        {T::CollectMainPot, 4, 5},
        {T::CollectMainPot, 1, 6},
        {T::CashOut, 2, 0},
        {T::CashOut, 3, 0},
        {T::Join, 5, 0},
        {T::Say, 5, 0},
        {T::Sitout, 4, 0},
    };
    const auto got = actions(*s, h.preflop.actions);
    ASSERT_EQ(got.size(), std::size(want));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].type(), want[i].type) << i;
        EXPECT_EQ(got[i].player_id(), want[i].player) << i;
        if (hs::payload_kind(want[i].type) == hs::PayloadKind::Amount) {
            EXPECT_FLOAT_EQ(got[i].amount(), want[i].amount) << i;
        }
    }
    EXPECT_EQ(s->cards_of(got[0].payload()), hs::CardSet::from_text("Ah Kd"));
    EXPECT_EQ(h.header.hero, 2);  // the only "Dealt to" line with cards
    EXPECT_EQ(s->cards_of(got[7].payload()), hs::CardSet::from_text("7c 2d"));
    EXPECT_EQ(s->cards_of(got[8].payload()), hs::CardSet::from_text("Ah Kd"));
    EXPECT_EQ(s->cards_of(got[9].payload()), hs::CardSet::from_text("Qs Qd"));
    EXPECT_EQ(got[10].payload(), hs::kNoPayload);
    EXPECT_FLOAT_EQ(s->cash_out_of(got[20].payload()).amount, 5.0f);
    EXPECT_FLOAT_EQ(s->cash_out_of(got[20].payload()).fee, 0.1f);
    EXPECT_FLOAT_EQ(s->cash_out_of(got[21].payload()).amount, 2.0f);
    EXPECT_FLOAT_EQ(s->cash_out_of(got[21].payload()).fee, 0.0f);
    EXPECT_EQ(hs::at(s->players, h.header.players.start() + 5).seat, 3);
}

// A wager whose first colon is not its verb's, or with a later colon: the rule's reading.
TEST(PokerStarsRounds, WagersWithColonsInNames) {
    const std::tuple<const char*, const char*, ActionType, float> cases[] = {
        {"Jo:x", "Jo:x: raises $2 to $4", ActionType::Raise, 2},
        {"Al: calls $1 Z", "Al: calls $1 Z: bets $2", ActionType::Bet, 2},
        {"Dv: raises $1 to $2 Q", "Dv: raises $1 to $2 Q: calls $9", ActionType::Call, 9}};
    for (const auto& [seat, line, type, amount] : cases) {
        Parts p;
        p.seats += std::string("\nSeat 5: ") + seat + " ($5 in chips)";
        p.preflop = line;
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << line;
        const auto got = actions(*s, s->hands[0].preflop.actions);
        ASSERT_EQ(got.size(), 1u) << line;
        EXPECT_EQ(got[0].type(), type) << line;
        EXPECT_EQ(got[0].player_id(), 4) << line;  // seat 5's player, named as seated
        EXPECT_FLOAT_EQ(got[0].amount(), amount) << line;
    }
}

// Every status ending is recognised inside a betting round as before the deal, whatever the
// row that the line's last byte sends it to.
TEST(PokerStarsRounds, StatusLinesInARound) {
    using T = ActionType;
    const std::pair<const char*, T> cases[] = {
        {"Bob: sits out", T::Sitout},
        {"Bob: is sitting out", T::Sitout},
        {"Bob is sitting out", T::Sitout},  // tournaments write it without the colon
        {"Bob has timed out", T::Leave},
        {"Bob is connected", T::Join},
        {"Bob is disconnected", T::Leave},
        {"Bob has timed out while disconnected", T::Leave},
        {"Bob has timed out while being disconnected", T::Leave},
        {"Bob leaves the table", T::Leave},
        {"Bob was removed from the table for failing to post", T::Leave},
        {"Bob will be allowed to play after the button", T::Join},
        {"Bob has returned", T::Join},
    };
    for (const auto& [line, type] : cases) {
        for (const bool preflop : {true, false}) {
            Parts p;
            if (preflop) {
                p.preflop = std::string("Carol: folds\n") + line;
            } else {
                p.streets = std::string("*** FLOP *** [Ah Kd 2c]\n") + line;
            }
            auto s = parse(hand(p));
            ASSERT_EQ(s->hands.size(), 1u) << line;
            const auto& h = s->hands[0];
            const auto got = preflop ? actions(*s, h.preflop.actions)
                                     : actions(*s, s->resolve(s->flops, h.flops)[0].actions);
            ASSERT_FALSE(got.empty()) << line;
            EXPECT_EQ(got.back().type(), type) << line;
            EXPECT_EQ(got.back().player_id(), 1) << line;  // Bob
        }
    }
}

TEST(PokerStarsRounds, StreetsAndBoardsRunTwice) {
    Parts p;
    p.preflop = "Carol: folds";
    p.streets =
        "*** FLOP *** [Ah Kd 2c]\nAlice: checks\n*** TURN *** [Ah Kd 2c] [5s]\n"
        "*** FIRST RIVER *** [Ah Kd 2c 5s] [6h]\n*** SECOND RIVER *** [Ah Kd 2c 5s] [7h]\n"
        "*** FIRST SHOW DOWN ***\nBob: shows [Qs Qd]\n*** SECOND SHOW DOWN ***\nBob: shows [Qs Qd]";
    auto s = parse(hand(p));
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0];
    const auto flops = s->resolve(s->flops, h.flops);
    const auto turns = s->resolve(s->turns, h.turns);
    const auto rivers = s->resolve(s->rivers, h.rivers);
    const auto shows = s->resolve(s->showdowns, h.showdowns);
    ASSERT_EQ(flops.size(), 1u);
    ASSERT_EQ(turns.size(), 1u);
    ASSERT_EQ(rivers.size(), 2u);
    ASSERT_EQ(shows.size(), 2u);
    EXPECT_EQ(flops[0].cards, hs::CardSet::from_text("Ah Kd 2c"));
    EXPECT_EQ(turns[0].cards, hs::CardSet::from_text("5s"));
    EXPECT_EQ(rivers[1].cards, hs::CardSet::from_text("7h"));
    EXPECT_EQ(shows[1].cards.count, 0);
    EXPECT_EQ(flops[0].actions.count(), 1u);
    EXPECT_EQ(shows[1].actions.count(), 1u);
    const std::uint8_t order[] = {flops[0].id,  turns[0].id, rivers[0].id,
                                  rivers[1].id, shows[0].id, shows[1].id};
    for (std::uint8_t i = 0; i < 6; ++i) EXPECT_EQ(order[i], i);
}

TEST(PokerStarsRounds, Faults) {
    Parts p;
    p.preflop = "Carol: folds";
    p.streets = "*** FLIP *** [Ah Kd 2c]";
    EXPECT_EQ(fault_of(hand(p)), "unrecognised street line: '*** FLIP *** [Ah Kd 2c]'");
    p.streets = "*** FLOP *** Ah Kd 2c";
    EXPECT_NE(fault_of(hand(p)), "");
    // a board cut off inside its bracket is a hand that ends there: rejected, not a fault
    p.streets = "*** FLOP *** [Ah Kd";
    EXPECT_TRUE(parse(hand(p))->hands.empty());
}

// Only " from pot", " main pot" and " side pot" (numbered or not) make a collect line: a name
// that ends in "pot" reaches the later rows, in both dialects.
TEST(PokerStarsRounds, NameEndingInPotIsNoCollectLine) {
    using T = ActionType;
    struct Case {
        const char* line;
        bool pluribus_too;
        T type;
        std::uint8_t player;
        float amount;
    };
    const Case cases[] = {
        {"Uncalled bet ($2) returned to windapot", true, T::UncalledBetReturned, 4, 2.0f},
        {"windapot: bets $3", true, T::Bet, 4, 3.0f},
        {"windapot: raises $1 to $2 and is all-in", true, T::RaiseAllIn, 4, 1.0f},
        {"windapot collected $5 from pot", true, T::CollectMainPot, 4, 5.0f},
        {"windapot collected $6 from side pot-2", true, T::CollectSidePot2, 4, 6.0f},
        {"Uncalled bet ($1) returned to Carol", true, T::UncalledBetReturned, 2, 1.0f},
        {"windapot has timed out", false, T::Leave, 4, 0.0f},
    };
    for (const auto& c : cases) {
        for (const bool pluribus : {false, true}) {
            if (pluribus && !c.pluribus_too) continue;
            Parts p;
            if (pluribus)
                p.table = "Table 'Pluribus Session 3' 6-max (Play Money) Seat #4 is the button";
            p.seats += "\nSeat 5: windapot ($9 in chips)";
            p.preflop = std::string("Carol: folds\n") + c.line;
            auto s = parse(hand(p));
            ASSERT_EQ(s->hands.size(), 1u) << c.line << pluribus;
            const auto got = actions(*s, s->hands[0].preflop.actions);
            ASSERT_EQ(got.size(), 2u) << c.line;
            EXPECT_EQ(got[1].type(), c.type) << c.line;
            EXPECT_EQ(got[1].player_id(), c.player) << c.line;
            if (hs::payload_kind(c.type) == hs::PayloadKind::Amount) {
                EXPECT_FLOAT_EQ(got[1].amount(), c.amount) << c.line;
            }
            EXPECT_EQ(s->hands[0].header.site,
                      pluribus ? hs::Site::PokerStarsPluribus : hs::Site::PokerStars);
        }
    }
    // a line that ends in some other "pot" matches no row: the hand is dropped, nothing faults
    for (const char* line : {"Bob collected $1 from a pot", "Bob collected $1 from teapot",
                             "Bob collected $1 from pot-3", "Bob collected $1 from a pot-1"}) {
        Parts p;
        p.preflop = line;
        EXPECT_TRUE(parse(hand(p))->hands.empty()) << line;
    }
}

TEST(PokerStarsRounds, HeroOnlyWhenExactlyOneDealtLineShowsCards) {
    Parts p;
    const std::pair<const char*, std::uint8_t> cases[] = {
        {"Carol: folds", 255},
        {"Dealt to Bob [Ah Kd]\nDealt to Carol", 1},
        {"Dealt to Bob [Ah Kd]\nDealt to Carol [2c 2d]", 255},
    };
    for (const auto& [preflop, hero] : cases) {
        p.preflop = preflop;
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << preflop;
        EXPECT_EQ(s->hands[0].header.hero, hero) << preflop;
    }
}

// --- summary ---------------------------------------------------------------------------------

TEST(PokerStarsSummary, PotLines) {
    struct Case {
        const char* line;
        hs::PotInfo want;
    };
    const Case cases[] = {
        {"Total pot $1.50 | Rake $0.05", {1.5f, 0.05f, 1.5f, 0, 0, 0}},
        {"Total pot $10 Main pot $7. Side pot $3. | Rake $0", {10, 0, 7, 3, 0, 0}},
        {"Total pot $10 Main pot $7. Side pot-1 $2. Side pot-2 $1. | Rake $0", {10, 0, 7, 2, 1, 0}},
        {"Total pot $1.50 | Rake", {1.5f, 0, 1.5f, 0, 0, 0}},
        // Next to the usual line: a fee after the rake, words after the rake, no space after '|'.
        {"Total pot $1.50 | Rake $0.05 | Jackpot $0.02", {1.5f, 0.07f, 1.5f, 0, 0, 0}},
        {"Total pot $1.50 | Rake $0.05 Main pot $1.", {1.5f, 0.05f, 1.0f, 0, 0, 0}},
        {"Total pot $1.50 |Rake $0.05", {1.5f, 0.05f, 1.5f, 0, 0, 0}},
        {"Total pot $20 Main pot $10. Side pot-1 $4. Side pot-2 $3. Side pot-3 $2. Side pot-4 $1. "
         "| Rake $0",
         {20, 0, 10, 4, 3, 2}},  // a fourth side pot is dropped, the hand kept
    };
    for (const auto& c : cases) {
        Parts p;
        p.summary = std::string("*** SUMMARY ***\n") + c.line + "\nBoard [Ah Kd 2c]";
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << c.line;
        const auto& got = s->hands[0].summary.pots;
        EXPECT_FLOAT_EQ(got.total, c.want.total) << c.line;
        EXPECT_FLOAT_EQ(got.rake, c.want.rake) << c.line;
        EXPECT_FLOAT_EQ(got.main, c.want.main) << c.line;
        EXPECT_FLOAT_EQ(got.side_1, c.want.side_1) << c.line;
        EXPECT_FLOAT_EQ(got.side_2, c.want.side_2) << c.line;
        EXPECT_FLOAT_EQ(got.side_3, c.want.side_3) << c.line;
    }
}

TEST(PokerStarsSummary, SeatResultLinesWithExactNames) {
    Parts p;
    // Bob and Bobby share a key: a name cut with a note still attached would fall back to the
    // lowest slot of the key (Bob), so every note must come off for Bobby to be found.
    p.seats =
        "Seat 1: Bob ($2.50 in chips)\nSeat 2: Bobby ($3 in chips)\n"
        "Seat 3: Carol ($4 in chips)\nSeat 4: Dan ($5 in chips)\nSeat 5: Eve ($6 in chips)";
    p.pre_deal = "Bob: posts small blind $0.01\nBobby: posts big blind $0.02";
    p.preflop = "Carol: folds";
    p.summary =
        "*** SUMMARY ***\nTotal pot $4 | Rake $0\nHand was run twice\n"
        "FIRST Board [Ah Kd 2c 3d 4s]\nSECOND Board [Ah Kd 2c 3d 5s]\n"
        "Seat 2: Bobby (button) (small blind) folded before Flop (didn't bet)\n"
        "Seat 2: Bobby (big blind) showed [Ah Kd] and lost with a pair of Aces, and won ($2) with "
        "two pair\n"
        "Seat 1: Bob (small blind) showed [Qs Qd] and won ($1.50) with a pair of Queens\n"
        "Seat 3: Carol mucked [2c 3d]\nSeat 4: Dan mucked\nSeat 5: Eve (button) collected ($0.50)\n"
        "Seat 2: Bobby (big blind) folded on the River\nSeat 2: Bobby (button) mucked\n"
        "Seat 3: Carol (didn't bet)\nSeat 4: Dan sat out";
    auto s = parse(hand(p));
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0];
    using T = ActionType;
    const std::pair<T, std::uint8_t> want[] = {{T::Fold, 1}, {T::Show, 1}, {T::Show, 0},
                                               {T::Muck, 2}, {T::Muck, 3}, {T::CollectMainPot, 4},
                                               {T::Fold, 1}, {T::Muck, 1}};
    const auto got = actions(*s, h.summary.actions);
    ASSERT_EQ(got.size(), std::size(want));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].type(), want[i].first) << i;
        EXPECT_EQ(got[i].player_id(), want[i].second) << i;
    }
    EXPECT_EQ(got[0].payload(), hs::kNoCards);
    EXPECT_EQ(s->cards_of(got[1].payload()), hs::CardSet::from_text("Ah Kd"));
    EXPECT_EQ(s->cards_of(got[3].payload()), hs::CardSet::from_text("2c 3d"));
    EXPECT_EQ(got[4].payload(), hs::kNoCards);
    EXPECT_FLOAT_EQ(got[5].amount(), 0.5f);
    const auto winners = s->resolve(s->winners, h.summary.winners);
    ASSERT_EQ(winners.size(), 3u);
    EXPECT_EQ(winners[0].player_id, 1);
    EXPECT_FLOAT_EQ(winners[0].amount, 2.0f);
    EXPECT_EQ(winners[0].game_id, 1);
    EXPECT_EQ(winners[1].player_id, 0);
    EXPECT_FLOAT_EQ(winners[1].amount, 1.5f);
    EXPECT_EQ(winners[1].game_id, 0);
    EXPECT_EQ(winners[2].player_id, 4);
    EXPECT_FLOAT_EQ(winners[2].amount, 0.5f);
}

// The seat number's colon at byte 6, 7 or further on, and names holding brackets: the summary
// line's player, type and cards do not depend on where the colon stands or on a '[' in a name.
TEST(PokerStarsSummary, ColonPlacesAndBracketsInNames) {
    struct Case {
        const char* seats;
        const char* line;
        ActionType type;
        const char* player;
        const char* cards;  // nullptr: no cards
    };
    const Case cases[] = {
        {"Seat 1: Dave ($5 in chips)", "Seat 1: Dave collected ($0.04)", ActionType::CollectMainPot,
         "Dave", nullptr},
        {"Seat 10: Dave ($5 in chips)", "Seat 10: Dave collected ($0.04)",
         ActionType::CollectMainPot, "Dave", nullptr},
        {"Seat 10: Dave ($5 in chips)", "Seat 100: Dave collected ($0.04)",
         ActionType::CollectMainPot, "Dave", nullptr},
        {"Seat 6: [Dave] ($5 in chips)", "Seat 6: [Dave] collected ($0.04)",
         ActionType::CollectMainPot, "[Dave]", nullptr},
        {"Seat 6: [Dave] ($5 in chips)", "Seat 6: [Dave] showed [Ah Kd] and won ($0.04)",
         ActionType::Show, "[Dave]", "Ah Kd"},
        {"Seat 6: Da[ve ($5 in chips)", "Seat 6: Da[ve (button) mucked [7c 2d]", ActionType::Muck,
         "Da[ve", "7c 2d"},
        {"Seat 6: Dave ($5 in chips)", "Seat 6: Dave (big blind) folded on the Turn",
         ActionType::Fold, "Dave", nullptr},
    };
    for (const Case& c : cases) {
        Parts p;
        p.seats =
            std::string(c.seats) + "\nSeat 2: Bob ($3 in chips)\nSeat 3: Alice ($2.50 in chips)";
        p.preflop = "Alice: folds";
        p.summary = std::string("*** SUMMARY ***\nTotal pot $0.04 | Rake $0\n") + c.line;
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << c.line;
        const auto& h = s->hands[0];
        const auto got = actions(*s, h.summary.actions);
        ASSERT_EQ(got.size(), 1u) << c.line;
        EXPECT_EQ(got[0].type(), c.type) << c.line;
        ASSERT_LT(got[0].player_id(), h.header.players.count()) << c.line;
        EXPECT_EQ(name(*s, h, got[0].player_id()), c.player) << c.line;
        if (c.cards) {
            EXPECT_EQ(s->cards_of(got[0].payload()), hs::CardSet::from_text(c.cards)) << c.line;
        }
    }
}

// The usual summary seat lines are read at fixed places, the lines next to those shapes as before
// (Bob's action and win, if any); an empty name, or one cut inside a character, is a fault.
TEST(PokerStarsSummary, UsualSeatLinesAndTheirNeighbours) {
    using T = ActionType;
    const std::tuple<const char*, std::optional<T>, float> cases[] = {
        {"Seat 2: Bob (big blind) (button) folded on the Flop", T::Fold, -1},
        {"Seat 2: Bob (button) collected ($0.04)", T::CollectMainPot, 0.04f},
        {"Seat 2: Bob (big blind) won ($0.04)", T::CollectMainPot, 0.04f},
        {"Seat 2: Bob won ($0.04)", T::CollectMainPot, 0.04f},
        {"Seat 2: Bob mucked hand collected ($0.04)", T::Muck, -1},
        {"Seat 2: Bob collected ($0.04) (didn't bet)", std::nullopt, -1},
        {"Seat 2: Bob showed [Ah Kd] and won ($0.04) with a pair of Aces", T::Show, 0.04f}};
    for (const auto& [line, type, won] : cases) {
        Parts p;
        p.summary = std::string("*** SUMMARY ***\nTotal pot $0.04 | Rake $0\n") + line;
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << line;
        const auto got = actions(*s, s->hands[0].summary.actions);
        const auto winners = s->resolve(s->winners, s->hands[0].summary.winners);
        ASSERT_EQ(got.size(), type ? 1u : 0u) << line;
        ASSERT_EQ(winners.size(), won < 0 ? 0u : 1u) << line;
        if (type) {
            EXPECT_EQ(got[0].type(), *type) << line;
            EXPECT_EQ(name(*s, s->hands[0], got[0].player_id()), "Bob") << line;
        }
        if (won >= 0) {
            EXPECT_FLOAT_EQ(winners[0].amount, won) << line;
        }
    }
    for (const char* line : {"Seat 2:  folded before Flop", "Seat 2: \x82ob folded before Flop",
                             "Seat 2:  collected ($0.04)"}) {
        Parts p;
        p.summary = std::string("*** SUMMARY ***\nTotal pot $0.04 | Rake $0\n") + line;
        EXPECT_NE(fault_of(hand(p)), "") << line;
    }
}

TEST(PokerStarsSummary, Rejections) {
    Parts p;
    p.summary = std::string(kSummary) + "\nNot a seat line";
    EXPECT_TRUE(parse(hand(p))->hands.empty());
    p.summary = std::string(kSummary) + "\nabc";
    EXPECT_TRUE(parse(hand(p))->hands.empty());
    p.summary = "*** SUMMARY ***\nTotal pot $0.04 Rake $0\nSeat 2: Bob collected ($0.04)";
    EXPECT_NE(fault_of(hand(p)).find("'|'"), std::string::npos);
}

// --- the Pluribus logs -----------------------------------------------------------------------

constexpr const char* kPluribus =
    R"(PokerStars Hand #30000: Hold'em No Limit (50/100) - 2019/07/11 08:20:00 ET
Table 'Pluribus Session 30' 6-max (Play Money) Seat #3 is the button
Seat 1: MrBlue (10000 in chips)
Seat 2: MrBlonde (10000 in chips)
Seat 3: MrBrown (10000 in chips)
MrBlue: posts small blind 50
MrBlonde: posts big blind 100
*** HOLE CARDS ***
Dealt to MrBlue [3c 9s]
Dealt to MrBlonde [6d 5s]
Dealt to MrBrown [Ad Kd]
MrBrown: raises 125 to 225
MrBlue: folds
MrBlonde: calls 125
*** FLOP *** [2c 7d Jh]
MrBlonde: checks
MrBrown: bets 300
MrBlonde: folds
Uncalled bet (300) returned to MrBrown
MrBrown collected 450.0 from pot
*** SUMMARY ***
Total pot 450 | Rake 0
Board [2c 7d Jh]
Seat 1: MrBlue (small blind) folded before Flop
Seat 2: MrBlonde (big blind) folded on the Flop
Seat 3: MrBrown (button) collected (450.0)
)";

TEST(Pluribus, NamesAreStrippedOfMrEverywhere) {
    auto s = parse(kPluribus);
    ASSERT_EQ(s->hands.size(), 1u);
    const auto& h = s->hands[0];
    EXPECT_EQ(h.header.site, hs::Site::PokerStarsPluribus);
    EXPECT_EQ(h.header.currency, 0u);
    EXPECT_EQ(h.header.hero, 255);  // everyone's cards are shown
    EXPECT_EQ(h.header.dealer, 2);
    EXPECT_EQ(name(*s, h, 1), "MrBlonde");
    const auto pre = actions(*s, h.preflop.actions);
    ASSERT_EQ(pre.size(), 6u);
    const std::uint8_t players[] = {0, 1, 2, 2, 0, 1};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(pre[i].player_id(), players[i]) << i;
    EXPECT_EQ(s->cards_of(pre[2].payload()), hs::CardSet::from_text("Ad Kd"));
    const auto sum = actions(*s, h.summary.actions);
    ASSERT_EQ(sum.size(), 3u);
    EXPECT_EQ(sum[1].player_id(), 1);
    EXPECT_EQ(sum[2].player_id(), 2);
    EXPECT_FLOAT_EQ(sum[2].amount(), 450.0f);
    EXPECT_EQ(h.header.players.count(), 3u);
}

TEST(Pluribus, KeysAreTakenAfterTheMrPrefix) {
    // A line that names the player without "Mr" is keyed on the same bytes as the seat line.
    std::string text = kPluribus;
    text.replace(text.find("MrBlue: folds"), 13, "Blue: folds");
    auto s = parse(text);
    ASSERT_EQ(s->hands.size(), 1u);
    const auto pre = actions(*s, s->hands[0].preflop.actions);
    ASSERT_EQ(pre.size(), 6u);
    EXPECT_EQ(pre[4].type(), ActionType::Fold);
    EXPECT_EQ(pre[4].player_id(), 0);
    EXPECT_EQ(s->hands[0].header.players.count(), 3u);
}

TEST(Pluribus, LinesOutsideTheLogVocabularyRejectTheHand) {
    std::string bad = kPluribus;
    bad.replace(bad.find("MrBlue: folds"), 13, "MrBlue said, \"hi\"");
    std::string other = kPluribus;
    other.replace(other.find("30000"), 5, "30001");
    std::string sitout = kPluribus;
    sitout.replace(sitout.find("MrBlue: folds"), 13, "MrBlue: sits out");
    auto s = parse(bad + "\n" + other + "\n" + sitout + "\n" + other);
    EXPECT_EQ(ids(*s), (std::vector<std::string>{"30001", "30001"}));
    // a PokerStars text keeps the chat line
    std::string stars = bad;
    stars.replace(stars.find("Pluribus Session"), 8, "Nebula");
    EXPECT_EQ(parse(stars)->hands.size(), 1u);
}

}  // namespace

// --- no input crashes ------------------------------------------------------------------------

// Parses `text` and reports whether it ended in a fault; anything else escaping is a failure. A
// store that comes out must be sound.
bool parses_or_faults(const std::string& text) {
    try {
        const hs::ParseResult r = hs::parse_text(text);
        if (r.ok()) hs::test::expect_sound(*r.store, text);
        return true;
    } catch (const hs::Fault&) {
        return false;
    }
}

std::string read_data(const char* name) {
    std::string path = std::string(HS_SOURCE_DIR) + "/tests/data/pokerstars/" + name;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr) << path;
    std::string out;
    if (f == nullptr) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    std::fclose(f);
    return out;
}

TEST(Robustness, TruncatedAndMangledHandsNeverCrash) {
    // Cut, drop and overwrite the bytes of real hands: every variant must either parse or end
    // in a fault (the sanitizer build turns any out-of-bounds access into a failure here).
    const std::string sources[] = {
        read_data("PokerStars__CashGame__PlayerTests__RunItTwice.txt"),
        read_data("PokerStars__CashGame__ExtraHands__SidePot.txt"),
        read_data("thlorenz_posts-allin.txt"),
        kPluribus,
    };
    const char replacements[] = {'\n', ' ', ':', '(', '[', '$', '#', '-', '"', '\'', '*'};
    std::size_t faults = 0, parsed = 0;
    for (const std::string& src : sources) {
        ASSERT_FALSE(src.empty());
        for (std::size_t cut = 0; cut <= src.size(); ++cut) {
            (parses_or_faults(src.substr(0, cut)) ? parsed : faults)++;
            std::string dropped = src;
            dropped.erase(cut, 1);
            (parses_or_faults(dropped) ? parsed : faults)++;
            if (cut < src.size()) {
                std::string changed = src;
                changed[cut] = replacements[cut % std::size(replacements)];
                (parses_or_faults(changed) ? parsed : faults)++;
            }
        }
    }
    EXPECT_GT(parsed, 0u);
    EXPECT_GT(faults, 0u);
}

// --- tournaments ---------------------------------------------------------------------------

namespace tournament {

// A tournament hand: chips without a sign, antes, seat lines with and without bounties.
constexpr const char* kHandLine =
    "PokerStars Hand #7: Tournament #2570765244, $0.98+$0.25+$0.16 USD Hold'em No Limit - Level "
    "III (25/50) - 2020/10/11 3:22:15 BRT [2020/10/11 2:22:15 ET]";

Parts parts(const std::string& hand_line = kHandLine) {
    Parts p;
    p.hand_line = hand_line;
    p.table = "Table '2570765244 708' 9-max Seat #4 is the button";
    p.seats =
        "Seat 1: Alice (1,500 in chips, $0.50 bounty)\nSeat 2: Bob (30 in chips) is sitting "
        "out\nSeat 4: Carol (2000 in chips, $1 bounty) out of hand (moved from another "
        "table into small blind)\nSeat 6: Dave (1470 in chips)";
    p.pre_deal =
        "Alice: posts the ante 10\nBob: posts the ante 5 and is all-in\n"
        "Alice: posts small blind 25\nDave: posts big blind 50";
    p.preflop = "Carol: folds\nDave: folds";
    p.summary = "*** SUMMARY ***\nTotal pot 1,065 | Rake 0\nSeat 1: Alice collected (1,065)";
    return p;
}

// The same seats without bounties.
constexpr const char* kPlainSeats =
    "Seat 1: Alice (1500 in chips)\nSeat 2: Bob (30 in chips)\n"
    "Seat 4: Carol (2000 in chips)\nSeat 6: Dave (1470 in chips)";

const hs::Tournament& record(const HandStore& s) {
    return hs::at(s.tournaments, s.hands.at(0).header.tournament);
}

}  // namespace tournament

// Every buy-in form and level of the hand line; blinds in chips, the hand's currency 0.
TEST(PokerStarsTournament, HandLines) {
    using K = hs::BuyInKind;
    using G = hs::GameType;
    struct Case {
        const char* after_id;  // the hand line after "PokerStars Hand #7: "
        const char* number;
        G game;
        K kind;
        hs::Currency currency;
        float buy_in, fee, bounty_fee, small, big;
        const char* level;
        const char* round;
    };
    const char* const kTail = " - 2020/10/11 3:22:15 BRT [2020/10/11 2:22:15 ET]";
    const Case cases[] = {
        {"Tournament #1, $1.84+$0.16 USD Hold'em No Limit - Level III (25/50)", "1", G::HoldEm,
         K::Money, U'$', 1.84f, 0.16f, 0, 25, 50, "III", ""},
        {"Tournament #2, $0.98+$0.25+$0.16 USD Omaha Hi/Lo Pot Limit - Level XV (300/600)", "2",
         G::OmahaHiLo, K::Money, U'$', 0.98f, 0.16f, 0.25f, 300, 600, "XV", ""},
        {"Tournament #3, Freeroll  Hold'em No Limit - Level I (20/40)", "3", G::HoldEm, K::Freeroll,
         0, 0, 0, 0, 20, 40, "I", ""},
        {"Tournament #4, 1FPP Hold'em No Limit - Level II (50/100)", "4", G::HoldEm, K::Points, 0,
         1, 0, 0, 50, 100, "II", ""},
        {"Tournament #5, 250 SC Hold'em Limit - Level XI (600/1200)", "5", G::HoldEm, K::StarsCoin,
         0, 250, 0, 0, 600, 1200, "XI", ""},
        {"Tournament #6, 300+20 Omaha Pot Limit - Level I (10/20)", "6", G::Omaha, K::PlayMoney, 0,
         300, 20, 0, 10, 20, "I", ""},
        {"Tournament #7, \xE2\x82\xB9"
         "136.50+\xE2\x82\xB9"
         "13.50 INR Hold'em No Limit - Level "
         "XXVI (2000/4000)",
         "7", G::HoldEm, K::Money, U'\u20B9', 136.5f, 13.5f, 0, 2000, 4000, "XXVI", ""},
        {"Tournament #8, \xE2\x82\xAC"
         "10+\xE2\x82\xAC"
         "1 EUR Hold'em No Limit - Level I "
         "(1,250/2,500)",
         "8", G::HoldEm, K::Money, U'\u20AC', 10, 1, 0, 1250, 2500, "I", ""},
        {"Tournament #9, Hold'em No Limit - Match Round I, Level I (15/30)", "9", G::HoldEm,
         K::Unknown, 0, 0, 0, 0, 15, 30, "I", "I"},
        {"Zoom Tournament #10, $3.00+$0.30 USD Hold'em No Limit - Match Round II, Level IV "
         "(100/200)",
         "10", G::HoldEm, K::Money, U'$', 3, 0.3f, 0, 100, 200, "IV", "II"},
        // a mixed game names the hand's game in parentheses
        {"Tournament #11, $24.55+$2.45 USD Mixed Omaha (Omaha Pot Limit) - Level III (20/40)", "11",
         G::Omaha, K::Money, U'$', 24.55f, 2.45f, 0, 20, 40, "III", ""},
        {"Tournament #12, $10+$1 USD HORSE (Hold'em Limit) - Level V (100/200)", "12", G::HoldEm,
         K::Money, U'$', 10, 1, 0, 100, 200, "V", ""},
    };
    for (const Case& c : cases) {
        Parts p = tournament::parts(std::string("PokerStars Hand #7: ") + c.after_id + kTail);
        p.seats = tournament::kPlainSeats;
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << c.after_id;
        const hs::Header& h = s->hands[0].header;
        const hs::Tournament& t = tournament::record(*s);
        EXPECT_TRUE(h.is_tournament());
        EXPECT_EQ(h.currency, 0u) << c.after_id;
        EXPECT_EQ(s->text_of(t.id), c.number);
        EXPECT_EQ(t.buy_in_kind, c.kind) << c.after_id;
        EXPECT_EQ(t.currency, c.currency) << c.after_id;
        EXPECT_FLOAT_EQ(t.buy_in, c.buy_in) << c.after_id;
        EXPECT_FLOAT_EQ(t.fee, c.fee) << c.after_id;
        EXPECT_FLOAT_EQ(t.bounty_fee, c.bounty_fee) << c.after_id;
        EXPECT_EQ(s->text_of(t.level), c.level);
        EXPECT_EQ(s->text_of(t.match_round), c.round);
        EXPECT_FLOAT_EQ(h.small_blind, c.small) << c.after_id;
        EXPECT_FLOAT_EQ(h.big_blind, c.big) << c.after_id;
        EXPECT_EQ(h.game_type, c.game) << c.after_id;
    }
    // The old header and the layout of converted histories: " - " inside the date, no level.
    struct Old {
        const char* line;
        const char* date;
        float small;
    };
    const Old old[] = {
        {"PokerStars Game #7: Tournament #63858762, $5.00+$0.50 Hold'em No Limit - Level II "
         "(15/30) - 2007/10/15 - 05:34:03 (ET)",
         "2007/10/15 05:34:03", 15},
        {"PokerStars Hand #7: Tournament #12305244, $125+$10 - Hold'em No Limit (3000/6000) - "
         "2015/06/14 21:06:43",
         "2015/06/14 21:06:43", 3000},
    };
    for (const Old& o : old) {
        auto s = parse(hand(tournament::parts(o.line)));
        ASSERT_EQ(s->hands.size(), 1u) << o.line;
        std::string date;
        hs::append_date(date, s->hands[0].header.start_date);
        EXPECT_EQ(date, o.date);
        EXPECT_FLOAT_EQ(s->hands[0].header.small_blind, o.small);
        EXPECT_FLOAT_EQ(tournament::record(*s).fee, o.small == 15 ? 0.5f : 10);
    }
}

// Seat lines: chips with separators, a bounty per seated player once one seat line gives one
// (0 for the others), notes after the chips; antes fill the header with the largest posted.
TEST(PokerStarsTournament, SeatLinesAndAntes) {
    auto s = parse(hand(tournament::parts()));
    ASSERT_EQ(s->hands.size(), 1u);
    const hs::Hand& h = s->hands[0];
    const float chips[] = {1500, 30, 2000, 1470};
    const std::uint8_t seats[] = {1, 2, 4, 6};
    const auto players = s->resolve(s->players, h.header.players);
    ASSERT_EQ(players.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(players[i].chips, chips[i]) << i;
        EXPECT_EQ(players[i].seat, seats[i]) << i;
    }
    EXPECT_EQ(name(*s, h, 2), "Carol");
    const auto bounties = s->resolve(s->amounts, tournament::record(*s).bounties);
    EXPECT_EQ(std::vector<float>(bounties.begin(), bounties.end()),
              (std::vector<float>{0.5f, 0, 1, 0}));
    EXPECT_FLOAT_EQ(h.header.ante, 10);
    EXPECT_EQ(h.header.dealer, 2);
    EXPECT_FLOAT_EQ(h.summary.pots.total, 1065);
    const auto pre = actions(*s, h.header.actions);
    ASSERT_EQ(pre.size(), 4u);
    EXPECT_EQ(pre[1].type(), ActionType::Ante);
    EXPECT_FLOAT_EQ(pre[1].amount(), 5);
    // a tournament without bounties has none, and a cash hand keeps its ante out of the header
    Parts plain = tournament::parts();
    plain.seats = tournament::kPlainSeats;
    EXPECT_EQ(tournament::record(*parse(hand(plain))).bounties.count(), 0u);
    Parts cash;
    cash.pre_deal = std::string("Alice: posts the ante $0.01\n") + kBlinds;
    EXPECT_FLOAT_EQ(parse(hand(cash))->hands.at(0).header.ante, 0);
}

// The lines only tournaments have, in any round: places, prizes, bounties, rebuys, add-ons.
TEST(PokerStarsTournament, TournamentLines) {
    using T = ActionType;
    struct Case {
        const char* line;
        T type;
        std::uint8_t player;
        std::vector<float> values;  // the run of amounts behind the payload
    };
    const Case cases[] = {
        {"Bob finished the tournament in 4th place", T::Finish, 1, {4, 0}},
        {"Bob finished the tournament in 3rd place and received $1.94.", T::Finish, 1, {3, 1.94f}},
        {"Bob finished the tournament in 2nd place and received \xE2\x82\xB9"
         "1520 .35.",
         T::Finish,
         1,
         {2, 1520.35f}},
        {"Alice wins the tournament and receives $10.80 - congratulations!",
         T::Finish,
         0,
         {1, 10.8f}},
        {"Alice re-buys and receives 1,500 chips for $1", T::Rebuy, 0, {1500, 1}},
        {"Dave re-buys and receives 300 chips for 1 FPPs", T::Rebuy, 3, {300, 1}},
        {"Dave re-buys and receives 3000 chips for 250 StarsCoin", T::Rebuy, 3, {3000, 250}},
        {"Carol takes the add-on and receives 2000 chips for $1.00", T::AddOn, 2, {2000, 1}},
        {"Alice wins the $0.27 bounty for eliminating Bob", T::Bounty, 0, {0.27f, 0, 0, 1}},
        {"Alice wins $0.31 for eliminating Bob and their own bounty increases by $0.30 to $4",
         T::Bounty,
         0,
         {0.31f, 0.3f, 4, 1}},
        {"Dave wins $4.60 for splitting the elimination of Bob and their own bounty increases by "
         "$4.59 to $41.32",
         T::SplitBounty,
         3,
         {4.6f, 4.59f, 41.32f, 1}},
        {"Alice wins $1 for eliminating Nobody", T::Bounty, 0, {1, 0, 0, hs::kNoSlot}},
    };
    for (const Case& c : cases) {
        for (const bool preflop : {true, false}) {
            auto p = tournament::parts();
            (preflop ? p.preflop : p.pre_deal) += std::string("\n") + c.line;
            auto s = parse(hand(p));
            ASSERT_EQ(s->hands.size(), 1u) << c.line;
            const hs::Hand& h = s->hands[0];
            const auto got = actions(*s, preflop ? h.preflop.actions : h.header.actions);
            const hs::Action a = got.back();
            EXPECT_EQ(a.type(), c.type) << c.line;
            EXPECT_EQ(a.player_id(), c.player) << c.line;
            const auto run = s->amounts_of(a.payload(), c.values.size());
            EXPECT_EQ(std::vector<float>(run.begin(), run.end()), c.values) << c.line;
            hs::test::expect_sound(*s, c.line);
        }
    }
    // a freeroll's bounties and prizes give the record its currency
    auto freeroll = tournament::parts(
        "PokerStars Hand #7: Tournament #3, Freeroll  Hold'em No "
        "Limit - Level I (20/40) - 2012/09/22 13:59:56 ET");
    EXPECT_EQ(tournament::record(*parse(hand(freeroll))).currency, U'$');
    // a satellite's entry keeps the number of the tournament it is for
    auto satellite = tournament::parts();
    satellite.preflop += "\nBob wins an entry to tournament #2244219929";
    auto s = parse(hand(satellite));
    ASSERT_EQ(s->hands.size(), 1u);
    const hs::Action entry = actions(*s, s->hands[0].preflop.actions).back();
    EXPECT_EQ(entry.type(), T::Entry);
    EXPECT_EQ(entry.player_id(), 1);
    EXPECT_EQ(s->message_of(entry.payload(), s->hands[0].text_start), "2244219929");
    // a cash hand does not read them, nor a tournament hand any other line
    Parts cash;
    cash.preflop += "\nBob finished the tournament in 4th place";
    EXPECT_TRUE(parse(hand(cash))->hands.empty());
    auto other = tournament::parts();
    other.preflop += "\nBob orders a free drink";
    EXPECT_TRUE(parse(hand(other))->hands.empty());
}

// Lines that old, converted and Hi/Lo histories write, cash or tournament: a table line without
// a size, a summary line "won (...)" without cards, "No low hand qualified" in a round.
TEST(PokerStarsTournament, OlderAndRarerLines) {
    for (const bool cash : {true, false}) {
        Parts p = cash ? Parts{} : tournament::parts();
        p.table = "Table '16609627 1' Seat #4 is the button";
        p.preflop += "\nNo low hand qualified";
        p.summary = cash ? "*** SUMMARY ***\nTotal pot $0.04 | Rake $0\nSeat 2: Bob won ($0.04)"
                         : "*** SUMMARY ***\nTotal pot 1065 | Rake 0\nSeat 2: Bob (big blind) won "
                           "(1065)";
        auto s = parse(hand(p));
        ASSERT_EQ(s->hands.size(), 1u) << cash;
        const hs::Hand& h = s->hands[0];
        EXPECT_EQ(h.header.max_players, 0);
        const auto summary = actions(*s, h.summary.actions);
        ASSERT_EQ(summary.size(), 1u);
        EXPECT_EQ(summary[0].player_id(), 1) << cash;
        EXPECT_FLOAT_EQ(summary[0].amount(), cash ? 0.04f : 1065);
    }
}
