// The 32-slot player table and the byte searches.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/model.hpp"
#include "reader/player_table.hpp"

using namespace std::string_literals;
using hs::PlayerTable;

namespace {

PlayerTable table_of(const std::vector<std::string>& names) {
    PlayerTable t;
    for (const auto& n : names) t.insert(n);
    return t;
}

struct FindCase {
    const char* what;
    std::vector<std::string> seated;
    std::string lookup;
    unsigned expected;
};

class Find : public ::testing::TestWithParam<FindCase> {};

TEST_P(Find, LowestSlotWithTheKey) {
    const FindCase& c = GetParam();
    const PlayerTable t = table_of(c.seated);
    EXPECT_EQ(t.find(c.lookup), c.expected) << c.what;
    EXPECT_EQ(t.match_mask(c.lookup), t.match_mask_scalar(c.lookup)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Find,
    ::testing::Values(
        FindCase{"empty table", {}, "Alice", 32},
        FindCase{"first slot", {"Alice", "Bob"}, "Alice", 0},
        FindCase{"second slot", {"Alice", "Bob"}, "Bob", 1},
        FindCase{"only three bytes compared", {"Alice", "Bob"}, "Bobby", 1},
        FindCase{"absent", {"Alice", "Bob"}, "Carol", 32},
        FindCase{"shared key: lowest slot", {"Player1", "Player2"}, "Player2", 0},
        FindCase{"two-byte name", {"Alice", "Al"}, "Al", 1},
        FindCase{"two-byte key is padded, not a prefix", {"Al"}, "Ali", 32},
        FindCase{"three-byte name does not match a two-byte one", {"Alice"}, "Al", 32},
        FindCase{"one-byte name", {"Zed", "Z"}, "Z", 1},
        FindCase{"key of a two-byte character", {"\xC3\x89ric"s}, "\xC3\x89rica"s, 0},
        FindCase{"two-byte character differs from ASCII", {"\xC3\x89ric"s}, "Eric", 32},
        FindCase{"zero key never matches an unused slot", {}, "\0"s, 32},
        FindCase{"zero key only matches used slots", {"Al", "Bob"}, "\0\0\0"s, 32},
        FindCase{"zero-padded key that is used", {"Al", "\0"s}, "\0\0"s, 1},
        FindCase{"high half of the table",
                 {"a00", "a01", "a02", "a03", "a04", "a05", "a06", "a07", "a08", "a09",
                  "a10", "a11", "a12", "a13", "a14", "a15", "a16", "a17", "a18", "a19"},
                 "a17",
                 17},
        FindCase{"duplicate in both halves",
                 {"a00", "a01", "a02", "a03", "a04", "a05", "a06", "a07", "a08", "a09", "a10",
                  "a11", "a12", "a13", "a14", "a15", "zed", "zed"},
                 "zed",
                 16}));

TEST(PlayerTable, EverySlotOfAFullTableIsFound) {
    PlayerTable t;
    std::vector<std::string> names;
    for (int i = 0; i < 32; ++i) {
        names.push_back(
            std::string{static_cast<char>('A' + i % 26), static_cast<char>('a' + i / 26), 'x'});
        EXPECT_EQ(t.insert(names.back()), i);
    }
    EXPECT_EQ(t.count, 32);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(t.find(names[i]), i) << names[i];
    EXPECT_EQ(t.match_mask("Aax"), 1u);
    EXPECT_EQ(t.match_mask("Fbx"), 1u << 31);
}

TEST(PlayerTable, InsertWritesTheKeyAndDoesNotLookForDuplicates) {
    PlayerTable t;
    EXPECT_EQ(t.insert("Bob"), 0);
    EXPECT_EQ(t.insert("Bobby"), 1);
    EXPECT_EQ(t.insert("Q"), 2);
    EXPECT_EQ(t.count, 3);
    const std::uint32_t bob = 'B' | 'o' << 8 | 'b' << 16;
    EXPECT_EQ(t.keys[0], bob);
    EXPECT_EQ(t.keys[1], bob);
    EXPECT_EQ(t.keys[2], std::uint32_t{'Q'});
    EXPECT_EQ(t.match_mask("Bobcat"), 0b011u);
    // The words hold a name of up to 16 bytes whole: equal words, equal names.
    EXPECT_EQ(t.words[0], hs::NameWords::of("Bob"));
    EXPECT_NE(t.words[1], hs::NameWords::of("Bobbi"));
    EXPECT_NE(t.words[1], hs::NameWords::of("Bob"));
}

TEST(PlayerTable, ClearForgetsEverySlot) {
    PlayerTable t = table_of({"Alice", "Bob", "Carol"});
    t.clear();
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(t.find("Bob"), 32);
    EXPECT_EQ(t.insert("Carol"), 0);
}

TEST(PlayerTable, ThirtyThirdInsertFaults) {
    PlayerTable t;
    for (int i = 0; i < 32; ++i) t.insert(std::to_string(100 + i));
    try {
        t.insert("late");
        FAIL() << "no fault";
    } catch (const hs::Fault& f) {
        EXPECT_EQ(f.message(), "index out of bounds: the len is 32 but the index is 32");
    }
    EXPECT_EQ(t.count, 32);
}

TEST(PlayerTable, EmptyNameFaults) {
    PlayerTable t = table_of({"Alice"});
    EXPECT_THROW(t.find(""), hs::Fault);
    EXPECT_THROW(t.match_mask(""), hs::Fault);
    EXPECT_THROW(t.match_mask_scalar(""), hs::Fault);
    try {
        t.insert("");
        FAIL() << "no fault";
    } catch (const hs::Fault& f) {
        EXPECT_EQ(f.message(), "assertion failed: bytes.len() >= Self::STRIDE");
    }
    EXPECT_EQ(t.count, 1);
}

// The vector path against the plain loop: random rows (garbage above `count` included, which
// both must ignore) and random keys over a small alphabet so that matches and shared keys are
// frequent.
TEST(PlayerTable, VectorPathEqualsPlainLoop) {
    std::mt19937 rng(20261207);
    const char alphabet[] = {'a', 'b', '\0', '\xC3'};
    auto pick = [&] { return static_cast<std::uint8_t>(alphabet[rng() % 4]); };
    int matched = 0;
    for (int round = 0; round < 5000; ++round) {
        PlayerTable t;
        for (std::size_t i = 0; i < PlayerTable::SLOTS; ++i)
            t.keys[i] = pick() | pick() << 8 | pick() << 16;
        t.count = static_cast<std::uint8_t>(rng() % 33);
        for (int k = 0; k < 8; ++k) {
            std::string key(1 + rng() % 4, '\0');
            for (auto& ch : key) ch = static_cast<char>(pick());
            const std::uint32_t mask = t.match_mask(key);
            ASSERT_EQ(mask, t.match_mask_scalar(key)) << "round " << round;
            ASSERT_EQ(std::uint64_t{mask} >> t.count, 0u) << "a slot at or above count matched";
            matched += mask != 0;
        }
    }
    EXPECT_GT(matched, 1000);  // the alphabet makes matches common, so both paths were exercised
}

// ---------------------------------------------------------------------------------------------
// Byte searches, against std::string_view as the reference
// ---------------------------------------------------------------------------------------------

std::size_t ref(std::size_t r) { return r == std::string_view::npos ? hs::npos : r; }

constexpr std::size_t NP = hs::npos;

TEST(Search, MultiByteNeedlesAndStartsBeyondTheText) {
    const std::string_view euros =
        "\xE2\x82\xAC"
        "5/\xE2\x82\xAC"
        "10";
    EXPECT_EQ(hs::find_str(euros, "\xE2\x82\xAC"), 0u);
    EXPECT_EQ(hs::find_str(euros, "\xE2\x82\xAC", 1), 5u);
    EXPECT_EQ(hs::rfind_str(euros, "\xE2\x82\xAC"), 5u);
    EXPECT_EQ(hs::rfind_str(euros, "\xC2\xA3"), NP);
    EXPECT_EQ(hs::find_byte("abc", 'c', 3), NP);
    EXPECT_EQ(hs::find_byte("abc", 'c', 99), NP);
    EXPECT_EQ(hs::find_str("abc", "c", 99), NP);
    EXPECT_EQ(hs::rfind_byte("", 'c'), NP);
    EXPECT_EQ(hs::find_byte("a\0b"s, '\0'), 1u);
}

TEST(Search, RandomTextsAgreeWithStringView) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        // Texts past the blocks searched inline too, with bytes rare enough to be missed there.
        const std::string_view alphabet = round % 2 ? "ab\r\n" : "abcdefghijklmnopqrstuvwxyz\r\n";
        std::string s(rng() % 100, '\0');
        for (auto& ch : s) ch = alphabet[rng() % alphabet.size()];
        std::string needle(1 + rng() % 3, '\0');
        for (auto& ch : needle) ch = alphabet[rng() % alphabet.size()];
        const std::size_t from = rng() % (s.size() + 2);
        const std::string_view v = s;
        ASSERT_EQ(hs::find_str(v, needle, from), from > v.size() ? NP : ref(v.find(needle, from)))
            << s << " / " << needle;
        ASSERT_EQ(hs::rfind_str(v, needle), ref(v.rfind(needle)));
        ASSERT_EQ(hs::find_byte(v, needle[0], from), ref(v.find(needle[0], from)));
        ASSERT_EQ(hs::rfind_byte(v, needle[0]), ref(v.rfind(needle[0])));
    }
}

}  // namespace
