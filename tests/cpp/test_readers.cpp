// The value readers: numbers, grouped and plain amounts, currency signs, seat lines and cards.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/chars.hpp"
#include "core/model.hpp"
#include "core/utf8.hpp"
#include "reader/cursor.hpp"
#include "reader/local_amounts.hpp"
#include "reader/shared_lines.hpp"

using namespace std::string_literals;

namespace {

constexpr hs::Currency kDollar = U'$';
constexpr hs::Currency kPound = U'\u00A3';
constexpr hs::Currency kYen = U'\u00A5';
constexpr hs::Currency kEuro = U'\u20AC';
constexpr hs::Currency kRupee = U'\u20B9';

// The two-decimal result of a grouped amount, written as its own arithmetic.
float cents_form(std::uint64_t whole, unsigned cents) {
    return static_cast<float>(whole) + static_cast<float>(cents) / 100.0f;
}

// ---------------------------------------------------------------------------------------------
// Numeric runs
// ---------------------------------------------------------------------------------------------

struct RunCase {
    std::string text;
    std::size_t plain, grouped;
};

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, NumericPrefix) {
    const RunCase& c = GetParam();
    EXPECT_EQ(hs::numeric_len(c.text), c.plain);
    EXPECT_EQ(hs::numeric_run_len(c.text), c.grouped);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Runs,
    ::testing::Values(RunCase{"", 0, 0}, RunCase{"123abc", 3, 3}, RunCase{"1,234.5", 1, 5},
                      RunCase{",,", 0, 2}, RunCase{" 1", 0, 0}, RunCase{"0/9", 1, 1},
                      RunCase{"\xD9\xA3\xD9\xA4x", 4, 4},         // Arabic-Indic 3 4 (Nd)
                      RunCase{"\xC2\xBD", 2, 2},                  // one half (No)
                      RunCase{"\xC2\xB2\xC2\xB3\xC2\xB9", 6, 6},  // superscripts (No)
                      RunCase{"\xE2\x85\xAB", 3, 3},              // Roman twelve (Nl)
                      RunCase{"\xE3\x80\x87", 3, 3},              // ideographic zero (Nl)
                      RunCase{"\xF0\x9D\x9F\x98"
                              "1",
                              5, 5},               // double-struck zero (Nd)
                      RunCase{"1\xC3\xA9", 1, 1},  // a letter
                      RunCase{"\xD9\xAB", 0, 0},   // Arabic decimal separator (Po)
                      RunCase{"\xC2\xA3"
                              "5",
                              0, 0},                  // a currency sign
                      RunCase{"7\xC2", 1, 1},         // cut character
                      RunCase{"7\xD9", 1, 1},         // cut character
                      RunCase{"\xC1\xB1", 0, 0},      // overlong form of '1'
                      RunCase{"\xED\xA0\x80", 0, 0},  // surrogate
                      RunCase{"\xB2", 0, 0}));        // lone continuation byte

// ---------------------------------------------------------------------------------------------
// Grouped amounts
// ---------------------------------------------------------------------------------------------

struct AmountCase {
    std::string text;
    std::optional<float> value;
    std::size_t len;
};

class Amount : public ::testing::TestWithParam<AmountCase> {};

TEST_P(Amount, ReadAmount) {
    const AmountCase& c = GetParam();
    const auto r = hs::read_amount(c.text);
    ASSERT_EQ(r.has_value(), c.value.has_value()) << c.text;
    if (!r) return;
    EXPECT_EQ(r->value, *c.value) << c.text;
    EXPECT_EQ(r->len, c.len) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Amount,
    ::testing::Values(AmountCase{"1,234.56 ", cents_form(1234, 56), 8}, AmountCase{".5", 0.5f, 2},
                      AmountCase{"12.", 12.0f, 2}, AmountCase{"12.x", 12.0f, 2},
                      AmountCase{"3.999", cents_form(3, 99), 5}, AmountCase{"7", 7.0f, 1},
                      AmountCase{"1,000,000 in chips", 1e6f, 9}, AmountCase{"12,34.5", 1234.5f, 7},
                      AmountCase{"0.05/0.10", cents_form(0, 5), 4},
                      AmountCase{"210.15 [all in]", cents_form(210, 15), 6},
                      AmountCase{"abc", std::nullopt, 0}, AmountCase{"", std::nullopt, 0},
                      AmountCase{".", std::nullopt, 0}, AmountCase{".x", std::nullopt, 0},
                      AmountCase{"$5", std::nullopt, 0},
                      // a lone ',' after the point counts as a digit: (',' - '0') mod 256
                      AmountCase{".,", cents_form(0, (252 * 10) % 256), 2},
                      // non-ASCII numerals enter the arithmetic as (code point - '0') mod 256
                      AmountCase{"\xD9\xA3", 51.0f, 2}, AmountCase{"\xC2\xB2", 130.0f, 2}));

struct ParseAmountCase {
    std::string text;
    float amount;
    std::uint64_t integer;
};

class ParseAmount : public ::testing::TestWithParam<ParseAmountCase> {};

TEST_P(ParseAmount, TwoDecimalArithmetic) {
    const ParseAmountCase& c = GetParam();
    EXPECT_EQ(hs::parse_amount(c.text), c.amount) << c.text;
    EXPECT_EQ(hs::parse_grouped_integer(c.text), c.integer) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseAmount,
    ::testing::Values(
        ParseAmountCase{"3.999", cents_form(3, 99), 3}, ParseAmountCase{"1,234.5", 1234.5f, 1234},
        ParseAmountCase{"1.2", cents_form(1, 20), 1}, ParseAmountCase{"7", 7.0f, 7},
        ParseAmountCase{"", 0.0f, 0}, ParseAmountCase{".", 0.0f, 0},
        ParseAmountCase{",,,", 0.0f, 0}, ParseAmountCase{"0.07", cents_form(0, 7), 0},
        ParseAmountCase{"1523.85", cents_form(1523, 85), 1523},
        ParseAmountCase{"16777217.00", 16777216.0f, 16777217},
        ParseAmountCase{"18446744073709551615", 18446744073709551615.0f,
                        std::numeric_limits<std::uint64_t>::max()},
        ParseAmountCase{"18446744073709551616.25", cents_form(0, 25), 0},  // wraps to 0
        ParseAmountCase{"18446744073709551617", 1.0f, 1},
        ParseAmountCase{"12a", 169.0f, 169},  // 'a' - '0' = 49
        ParseAmountCase{"1.a", cents_form(1, (49 * 10) % 256), 1},
        ParseAmountCase{"1.5.5", cents_form(1, (50 + 254) % 256), 1},  // '.' - '0' = 254
        ParseAmountCase{"\xD9\xA3.\xD9\xA3\xD9\xA3", cents_form(51, (51 * 10 + 51) % 256), 51}));

struct SignedCase {
    std::string text;
    hs::AmountForm sign;
    std::optional<float> value;
    std::size_t sign_at, end;
};

constexpr hs::AmountForm grouped(hs::Currency sign) { return {sign, hs::NumberForm::Grouped}; }

void expect_signed(const std::optional<hs::SignedRead>& r, const SignedCase& c) {
    ASSERT_EQ(r.has_value(), c.value.has_value()) << c.text;
    if (!r) return;
    EXPECT_EQ(r->value, *c.value) << c.text;
    EXPECT_EQ(r->sign_at, c.sign_at) << c.text;
    EXPECT_EQ(r->end, c.end) << c.text;
}

class AmountAfterLast : public ::testing::TestWithParam<SignedCase> {};

TEST_P(AmountAfterLast, Reads) {
    expect_signed(hs::amount_after_last(GetParam().text, GetParam().sign.sign), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, AmountAfterLast,
    ::testing::Values(SignedCase{"$0.05/$0.10", kDollar, cents_form(0, 10), 6, 11},
                      SignedCase{"Alice: raises $5 to $1,523.85 [all in]", kDollar,
                                 cents_form(1523, 85), 20, 29},
                      SignedCase{"\xE2\x82\xAC"
                                 "5",
                                 kEuro, 5.0f, 0, 4},
                      SignedCase{"\xE2\x82\xB9"
                                 "1,00,000 x",
                                 kRupee, 100000.0f, 0, 11},
                      SignedCase{"won \xC2\xA3"
                                 "1.5 and \xC2\xA3"
                                 "2.25",
                                 kPound, cents_form(2, 25), 14, 20},
                      SignedCase{"$", kDollar, std::nullopt, 0, 0},
                      SignedCase{"$5 then $x", kDollar, std::nullopt, 0, 0},
                      SignedCase{"no sign 5", kDollar, std::nullopt, 0, 0},
                      SignedCase{"$5", kEuro, std::nullopt, 0, 0},
                      // without a sign: the last number of the text
                      SignedCase{"collected 1,234.5 from pot", 0, 1234.5f, 10, 17},
                      SignedCase{"(50/100)", 0, 100.0f, 4, 7}, SignedCase{"x .5", 0, 0.5f, 2, 4},
                      SignedCase{"a..5", 0, 0.5f, 2, 4}, SignedCase{"7,", 0, 7.0f, 0, 2},
                      SignedCase{"no digits", 0, std::nullopt, 0, 0}));

// ---------------------------------------------------------------------------------------------
// Plain numbers
// ---------------------------------------------------------------------------------------------

struct IntegerCase {
    std::string text;
    std::optional<std::uint64_t> value;
    std::size_t len;
};

class Integer : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(Integer, ReadInteger) {
    const IntegerCase& c = GetParam();
    const auto r = hs::read_integer(c.text);
    ASSERT_EQ(r.has_value(), c.value.has_value()) << c.text;
    if (!r) return;
    EXPECT_EQ(r->value, *c.value) << c.text;
    EXPECT_EQ(r->len, c.len) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Integer,
    ::testing::Values(IntegerCase{"42abc", 42, 2}, IntegerCase{"007", 7, 3},
                      IntegerCase{"1,000", 1, 1}, IntegerCase{"12.5", 12, 2},
                      IntegerCase{"18446744073709551615", 18446744073709551615u, 20},
                      IntegerCase{"18446744073709551616", std::nullopt, 0},
                      IntegerCase{"99999999999999999999999", std::nullopt, 0},
                      IntegerCase{"", std::nullopt, 0}, IntegerCase{"abc", std::nullopt, 0},
                      IntegerCase{"-5", std::nullopt, 0}, IntegerCase{"+5", std::nullopt, 0},
                      IntegerCase{"\xD9\xA3", std::nullopt, 0},
                      IntegerCase{"4\xD9\xA3", std::nullopt, 0}, IntegerCase{"4\xC3\xA9", 4, 1}));

struct DecimalCase {
    std::string text;
    std::optional<float> value;
    std::size_t len;
};

class Decimal : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(Decimal, ReadDecimal) {
    const DecimalCase& c = GetParam();
    const auto r = hs::read_decimal(c.text);
    ASSERT_EQ(r.has_value(), c.value.has_value()) << c.text;
    if (!r) return;
    EXPECT_EQ(r->value, *c.value) << c.text;
    EXPECT_EQ(r->len, c.len) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Decimal,
    ::testing::Values(
        DecimalCase{"1,5", 1.0f, 1}, DecimalCase{".5", std::nullopt, 0},
        DecimalCase{"0.25 ", 0.25f, 4}, DecimalCase{"12.", 12.0f, 2},
        DecimalCase{"3.999", 3.999f, 5}, DecimalCase{"54.98 in chips)", 54.98f, 5},
        DecimalCase{"0.1", 0.1f, 3}, DecimalCase{"20250.0)", 20250.0f, 7},
        DecimalCase{"1e5", 1.0f, 1}, DecimalCase{"1.2.3", 1.2f, 3},
        // correct rounding: halfway between two floats goes to the even one
        DecimalCase{"16777217", 16777216.0f, 8}, DecimalCase{"16777219", 16777220.0f, 8},
        DecimalCase{"16777216", 16777216.0f, 8}, DecimalCase{"1677721.7", 1677721.75f, 9},
        DecimalCase{"0.0000000001", 1e-10f, 12}, DecimalCase{"0.00000000001", 1e-11f, 13},
        DecimalCase{"0.300000011920928955078125", 0.3f, 26},
        DecimalCase{std::string(41, '9'), std::numeric_limits<float>::infinity(), 41},
        DecimalCase{"0." + std::string(60, '0') + "1", 0.0f, 63}, DecimalCase{"", std::nullopt, 0},
        DecimalCase{"x1", std::nullopt, 0}, DecimalCase{"1\xD9\xA3", std::nullopt, 0},
        DecimalCase{"1.\xD9\xA3", std::nullopt, 0}));

// Against the general decimal-to-float conversion on random digit strings, around the limits
// of exact f32 mantissas and powers of ten.
TEST(Decimal, AgreesWithFromChars) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200000; ++round) {
        std::string text(1 + rng() % 9, '0');
        for (auto& ch : text) ch = static_cast<char>('0' + rng() % 10);
        if (rng() % 4 != 0) {
            std::string frac(1 + rng() % 12, '0');
            for (auto& ch : frac) ch = static_cast<char>('0' + rng() % 10);
            text += "." + frac;
        }
        float expected = 0.0f;
        std::from_chars(text.data(), text.data() + text.size(), expected);
        const auto r = hs::read_decimal(text + " ");
        ASSERT_TRUE(r.has_value()) << text;
        ASSERT_EQ(r->value, expected) << text;
        ASSERT_EQ(r->len, text.size()) << text;
    }
}

class DecimalAfterFirst : public ::testing::TestWithParam<SignedCase> {};
class DecimalAfterLast : public ::testing::TestWithParam<SignedCase> {};

TEST_P(DecimalAfterFirst, Reads) {
    expect_signed(hs::decimal_after_first(GetParam().text, GetParam().sign), GetParam());
}
TEST_P(DecimalAfterLast, Reads) {
    expect_signed(hs::decimal_after_last(GetParam().text, GetParam().sign), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecimalAfterFirst,
    ::testing::Values(
        SignedCase{"$0.05/$0.10", kDollar, 0.05f, 0, 5},
        SignedCase{"Total pot \xE2\x82\xAC"
                   "1.50 | Rake \xE2\x82\xAC"
                   "0.02",
                   kEuro, 1.5f, 10, 17},
        SignedCase{"posts \xC2\xA3"
                   "0.10",
                   kPound, 0.1f, 6, 12},
        SignedCase{"\xC2\xA5"
                   "300",
                   kYen, 300.0f, 0, 5},
        SignedCase{"raises \xE2\x82\xB9"
                   "10 to \xE2\x82\xB9"
                   "20",
                   kRupee, 10.0f, 7, 12},
        SignedCase{"no sign here", kDollar, std::nullopt, 0, 0},
        SignedCase{"$abc $5", kDollar, std::nullopt, 0, 0},
        SignedCase{"$", kDollar, std::nullopt, 0, 0},
        // without a sign: the first ASCII digit stands where the sign would
        SignedCase{"posts small blind 50", 0, 50.0f, 18, 20},
        SignedCase{"Hold'em No Limit (50/100)", 0, 50.0f, 18, 20},
        SignedCase{"Seat 1: Eddie (10000 in chips)", 0, 1.0f, 5, 6},
        SignedCase{"12.5", 0, 12.5f, 0, 4}, SignedCase{"none", 0, std::nullopt, 0, 0},
        // in the grouped form a ',' followed by three digits carries the whole part on
        SignedCase{"($1,289.63 in chips)", grouped(kDollar), 1289.63f, 1, 10},
        SignedCase{"raises $1,000,000 to $2", grouped(kDollar), 1e6f, 7, 17},
        SignedCase{"$2,000)", grouped(kDollar), 2000.0f, 0, 6},
        SignedCase{"$1,5 and $1,0000", grouped(kDollar), 1.0f, 0, 2},
        SignedCase{"$0.5/$1", grouped(kDollar), 0.5f, 0, 4},
        SignedCase{"($1,289.63 in chips)", kDollar, 1.0f, 1, 3}));

INSTANTIATE_TEST_SUITE_P(
    Table, DecimalAfterLast,
    ::testing::Values(SignedCase{"$0.05/$0.10", kDollar, 0.1f, 6, 11},
                      SignedCase{"Total pot \xE2\x82\xAC"
                                 "1.50 | Rake \xE2\x82\xAC"
                                 "0.02",
                                 kEuro, 0.02f, 25, 32},
                      SignedCase{"$5 to $x", kDollar, std::nullopt, 0, 0},
                      SignedCase{"\xC2\xA3"
                                 "5",
                                 kEuro, std::nullopt, 0, 0},
                      // without a sign: the last number of the text
                      SignedCase{"Hold'em No Limit (50/100)", 0, 100.0f, 21, 24},
                      SignedCase{"won (20250.0)", 0, 20250.0f, 5, 12},
                      SignedCase{"Seat 1: Eddie (10000 in chips)", 0, 10000.0f, 15, 20},
                      SignedCase{"ends with 5.", 0, 5.0f, 10, 11},
                      SignedCase{"x .5", 0, std::nullopt, 0, 0},
                      SignedCase{"1,234 chips", 0, 234.0f, 2, 5},
                      SignedCase{"1,234 chips", grouped(0), 1234.0f, 0, 5},
                      SignedCase{"won ($1,5,000)", grouped(kDollar), 1.0f, 5, 7},
                      SignedCase{"no digits", 0, std::nullopt, 0, 0}));

// Amounts with the sign after the number (Winamax).
struct TrailingCase {
    std::string text;
    std::optional<float> value;
    hs::Currency sign;
    std::size_t len;
};

class Trailing : public ::testing::TestWithParam<TrailingCase> {};

TEST_P(Trailing, AmountSignAfter) {
    const TrailingCase& c = GetParam();
    const auto r = hs::amount_sign_after(c.text);
    ASSERT_EQ(r.has_value(), c.value.has_value()) << c.text;
    if (!r) return;
    EXPECT_EQ(r->value, *c.value) << c.text;
    EXPECT_EQ(r->sign, c.sign) << c.text;
    EXPECT_EQ(r->len, c.len) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Trailing,
    ::testing::Values(TrailingCase{"0.05\xE2\x82\xAC out of position", 0.05f, kEuro, 7},
                      TrailingCase{"3\xE2\x82\xAC)", 3.0f, kEuro, 4},
                      TrailingCase{"3.37k | No rake", 3370.0f, 0, 5},
                      TrailingCase{"1.2345k", 1234.5f, 0, 7},
                      TrailingCase{"12k\xE2\x82\xAC", 12000.0f, kEuro, 6},
                      TrailingCase{"1520)", 1520.0f, 0, 4}, TrailingCase{"0.10", 0.1f, 0, 4},
                      TrailingCase{"$5", std::nullopt, 0, 0},
                      TrailingCase{"", std::nullopt, 0, 0}));

// ---------------------------------------------------------------------------------------------
// Signs
// ---------------------------------------------------------------------------------------------

struct SymbolCase {
    std::string text;
    hs::Currency sign;  // 0: no result
    std::size_t len;
};

class Symbol : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(Symbol, CurrencySymbol) {
    const SymbolCase& c = GetParam();
    const auto r = hs::currency_symbol(c.text);
    ASSERT_EQ(r.has_value(), c.sign != 0) << c.text;
    if (!r) return;
    EXPECT_EQ(r->sign, c.sign);
    EXPECT_EQ(r->len, c.len);
    EXPECT_EQ(hs::utf8_len(r->sign), c.len);
}

INSTANTIATE_TEST_SUITE_P(Table, Symbol,
                         ::testing::Values(SymbolCase{"$1", kDollar, 1},
                                           SymbolCase{"$", kDollar, 1},
                                           SymbolCase{"\xC2\xA3"
                                                      "0.10",
                                                      kPound, 2},
                                           SymbolCase{"\xC2\xA5", kYen, 2},
                                           SymbolCase{"\xE2\x82\xAC"
                                                      "0.02",
                                                      kEuro, 3},
                                           SymbolCase{"\xE2\x82\xB9"
                                                      "5",
                                                      kRupee, 3},
                                           SymbolCase{" $1", 0, 0}, SymbolCase{"", 0, 0},
                                           SymbolCase{"\xC2", 0, 0}, SymbolCase{"\xE2\x82", 0, 0},
                                           SymbolCase{"\xC2\xA2", 0, 0},      // cent sign
                                           SymbolCase{"\xE2\x82\xAD", 0, 0},  // kip sign
                                           SymbolCase{"USD", 0, 0}, SymbolCase{"10", 0, 0}));

// ---------------------------------------------------------------------------------------------
// Seat lines
// ---------------------------------------------------------------------------------------------

struct SeatCase {
    std::string line;
    bool found;
    std::size_t seat_len;
    std::string name;
    std::size_t after_paren;
};

class Seat : public ::testing::TestWithParam<SeatCase> {};

TEST_P(Seat, ReadSeatLine) {
    const SeatCase& c = GetParam();
    const auto r = hs::read_seat_line(c.line);
    ASSERT_EQ(r.has_value(), c.found) << c.line;
    if (!r) return;
    EXPECT_EQ(r->seat_start, 5u);
    EXPECT_EQ(r->seat_len, c.seat_len) << c.line;
    EXPECT_EQ(r->name, c.name) << c.line;
    EXPECT_EQ(r->after_paren, c.after_paren) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Seat,
    ::testing::Values(SeatCase{"Seat 3: Bob (1,000)", true, 1, "Bob", 13},
                      SeatCase{"Seat 10: Bob ($5 in chips)", true, 2, "Bob", 14},
                      SeatCase{"Seat 1: Al (x) (5)", true, 1, "Al (x)", 16},
                      SeatCase{"Seat 2: a0Kribu (\xC2\xA3"
                               "25.35 in chips)",
                               true, 1, "a0Kribu", 17},
                      SeatCase{"Seat 6: JOZSEF1981 (button) (small blind) collected (\xC2\xA3"
                               "0.50)",
                               true, 1, "JOZSEF1981 (button) (small blind) collected", 53},
                      SeatCase{"Seat 1:  (5)", true, 1, "", 10},
                      SeatCase{"Seat 1\xC2\xB2 x (1)", true, 2, "x",
                               12},  // a numeric character at byte 6
                      SeatCase{"Seat 1: nobody", false, 0, "", 0},
                      SeatCase{"Seat 1:", false, 0, "", 0}, SeatCase{"Seat 10", false, 0, "", 0}));

TEST(Seat, MalformedSeatLinesFault) {
    for (const std::string& line :
         {"Seat 1"s, ""s, "Seat 1: (5)"s, "(Seat 1: x"s, "Seat 12:(5)"s, "Seat \xC3\xA9: x (1)"s}) {
        EXPECT_THROW(hs::read_seat_line(line), hs::Fault) << line;
    }
}

// ---------------------------------------------------------------------------------------------
// Cards
// ---------------------------------------------------------------------------------------------

// Card bytes: rank in bits 0-5 (A=1 .. K=13), suit in bits 6-7 (s c h d).
constexpr hs::Card card(unsigned rank, unsigned suit) {
    return static_cast<hs::Card>(rank | suit << 6);
}
constexpr unsigned S = 0, C = 1, H = 2, D = 3;

hs::CardSet set_of(std::initializer_list<hs::Card> cards) {
    hs::CardSet s;
    for (hs::Card c : cards) s.cards[s.count++] = c;
    return s;
}

struct BracketCase {
    std::string text;
    hs::CardSet cards;
    std::size_t open, close;
};

class Brackets : public ::testing::TestWithParam<BracketCase> {};

TEST_P(Brackets, BracketedCards) {
    const BracketCase& c = GetParam();
    const hs::BracketedCards r = hs::bracketed_cards(c.text);
    EXPECT_EQ(r.cards, c.cards) << c.text;
    EXPECT_EQ(r.open, c.open) << c.text;
    EXPECT_EQ(r.close, c.close) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Brackets,
    ::testing::Values(
        BracketCase{"[Ah Kd]", set_of({card(1, H), card(13, D)}), 1, 7},
        BracketCase{"Dealt to Hero [2c 3d]", set_of({card(2, C), card(3, D)}), 15, 21},
        BracketCase{"*** TURN *** [Ah Kd Qs] [Jc]", set_of({card(1, H), card(13, D), card(12, S)}),
                    14, 23},
        BracketCase{"[Ts 9s 8s 7s 6s]",
                    set_of({card(10, S), card(9, S), card(8, S), card(7, S), card(6, S)}), 1, 16},
        BracketCase{"x: shows [10d] (a pair)", set_of({card(10, D)}), 10, 14},
        BracketCase{"no brackets", hs::CardSet{}, 0, 0}, BracketCase{"]Ah[", hs::CardSet{}, 0, 0},
        BracketCase{"[Ah Kd", hs::CardSet{}, 0, 0}));

TEST(Brackets, BadCardsFault) {
    for (const char* text : {"[]", "[Ah  Kd]", "[Ah Kd Qs Jc Tc 9c 8c 7c]", "[Xx]"}) {
        EXPECT_THROW(hs::bracketed_cards(text), hs::Fault) << text;
    }
}

// ---------------------------------------------------------------------------------------------
// The inline fast paths against the general readers
// ---------------------------------------------------------------------------------------------

// Texts near the edges of the fast paths: runs of ASCII digits of every length, dots, numeric
// characters outside ASCII (which either end the number or make it unreadable), other bytes.
std::string fast_path_text(std::mt19937& rng) {
    static const char* const pieces[] = {"0",
                                         "1",
                                         "5",
                                         "9",
                                         "12",
                                         "999",
                                         "1677721",
                                         "16777216",
                                         "0000000",
                                         ".",
                                         ".",
                                         ",",
                                         " ",
                                         "$",
                                         "$",
                                         "x",
                                         "\xC2\xB2",
                                         "\xD9\xA3",
                                         "\xC3\xA9",
                                         "\xE2\x82\xAC",
                                         "\xF0\x9D\x9F\x98"};
    std::string text;
    const int n = static_cast<int>(rng() % 9);
    for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
    return text;
}

void expect_same(const std::optional<hs::NumberRead>& a, const std::optional<hs::NumberRead>& b,
                 const std::string& text) {
    ASSERT_EQ(a.has_value(), b.has_value()) << text;
    if (!a) return;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(a->value), std::bit_cast<std::uint32_t>(b->value))
        << text;
    ASSERT_EQ(a->len, b->len) << text;
}

void expect_same(const std::optional<hs::SignedRead>& a, const std::optional<hs::SignedRead>& b,
                 const std::string& text) {
    ASSERT_EQ(a.has_value(), b.has_value()) << text;
    if (!a) return;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(a->value), std::bit_cast<std::uint32_t>(b->value))
        << text;
    ASSERT_EQ(a->sign_at, b->sign_at) << text;
    ASSERT_EQ(a->end, b->end) << text;
}

TEST(FastPaths, AgreeWithTheGeneralReaders) {
    std::mt19937 rng(23);
    for (int round = 0; round < 200000; ++round) {
        const std::string text = fast_path_text(rng);
        expect_same(hs::read_decimal(text), hs::read_decimal_general(text), text);
        expect_same(hs::read_chips(text), hs::read_amount(text), text);
        // read_integer: the numeric run, parsed whole or not at all
        const std::size_t run = hs::numeric_len(text);
        std::optional<std::uint64_t> want;
        std::uint64_t v = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + run, v);
        if (run > 0 && ec == std::errc{} && ptr == text.data() + run) want = v;
        const auto got = hs::read_integer(text);
        ASSERT_EQ(got.has_value(), want.has_value()) << text;
        if (got) {
            ASSERT_EQ(got->value, *want) << text;
            ASSERT_EQ(got->len, run) << text;
        }
        for (const bool last : {false, true}) {
            const auto fast = last ? hs::decimal_after_last(text, kDollar)
                                   : hs::decimal_after_first(text, kDollar);
            expect_same(fast, hs::decimal_after_sign(text, kDollar, last), text);
        }
        if (HasFatalFailure()) return;
    }
}

// ---------------------------------------------------------------------------------------------
// Any text: results stay inside the text; the only failure is a fault
// ---------------------------------------------------------------------------------------------

TEST(Readers, RandomTextsStayInBounds) {
    std::mt19937 rng(11);
    const char* pieces[] = {"Seat ",
                            "1",
                            "10",
                            "0",
                            ":",
                            " ",
                            "(",
                            ")",
                            "[",
                            "]",
                            "$",
                            ",",
                            ".",
                            "Ah",
                            "Kd",
                            "10d",
                            "x",
                            "\xE2\x82\xAC",
                            "\xC2\xA3",
                            "\xD9\xA3",
                            "\xC2\xB2",
                            "\xC3",
                            "\x82",
                            "\xE2\x82",
                            "\xF0\x9D\x9F\x98"};
    const hs::Currency signs[] = {0, kDollar, kPound, kEuro};
    int faults = 0, seats = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
        const std::size_t size = text.size();
        ASSERT_LE(hs::numeric_len(text), hs::numeric_run_len(text));
        ASSERT_LE(hs::numeric_run_len(text), size);
        const auto len = [](const auto& r) -> std::size_t { return r ? r->len : 0; };
        ASSERT_LE(len(hs::read_amount(text)), size) << text;
        ASSERT_LE(len(hs::read_decimal(text)), size) << text;
        ASSERT_LE(len(hs::read_integer(text)), size) << text;
        ASSERT_LE(len(hs::currency_symbol(text)), size) << text;
        for (const hs::Currency sign : signs) {
            for (const auto& r :
                 {hs::amount_after_last(text, sign), hs::decimal_after_first(text, sign),
                  hs::decimal_after_last(text, sign)}) {
                if (!r) continue;
                ASSERT_LT(r->sign_at, r->end) << text;
                ASSERT_LE(r->end, size) << text;
            }
        }
        try {
            const hs::BracketedCards b = hs::bracketed_cards(text);
            ASSERT_LE(b.open, b.close);
            ASSERT_LE(b.close, size);
        } catch (const hs::Fault&) {
            ++faults;
        }
        try {
            if (auto r = hs::read_seat_line(text)) {
                ++seats;
                ASSERT_GE(r->name.data(), text.data() + 8);
                ASSERT_LE(r->name.data() + r->name.size() + 1, text.data() + r->after_paren - 1);
                ASSERT_EQ(text[r->after_paren - 1], '(');
            }
        } catch (const hs::Fault&) {
            ++faults;
        }
    }
    EXPECT_GT(faults, 0);
    EXPECT_GT(seats, 0);
}

// Card texts near the edges of the table-driven path: every rank and suit byte in both cases,
// "10", pieces of one and three bytes, doubled spaces, a sixth card, characters outside ASCII.
// The fast reader must give the general reader's set, or fault where it faults.
TEST(FastPaths, CardsAgreeWithTheGeneralReader) {
    static const char* const pieces[] = {
        "A", "K", "Q", "J", "T", "2", "9", "1", "10",           "0",       "x", "s", "c", "h",
        "d", "S", "H", "D", "C", " ", " ", " ", "\xE2\x99\xA0", "\xC5\xBF"};
    std::mt19937 rng(5);
    int sets = 0, faults = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string text;
        const int n = 1 + static_cast<int>(rng() % 17);
        for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
        std::optional<hs::CardSet> want;
        try {
            want = hs::CardSet::from_text(text);
        } catch (const hs::Fault&) {
        }
        if (want) {
            ++sets;
            ASSERT_EQ(hs::parse_cards(text), *want) << text;
        } else {
            ++faults;
            ASSERT_THROW(hs::parse_cards(text), hs::Fault) << text;
        }
    }
    EXPECT_GT(sets, 1000);
    EXPECT_GT(faults, 1000);
    // Every well-formed board and hand of up to five cards, against the general reader.
    const std::string ranks = "A23456789TJQK", suits = "schdSCHD";
    for (std::size_t count = 1; count <= 5; ++count) {
        for (int round = 0; round < 2000; ++round) {
            std::string text;
            for (std::size_t k = 0; k < count; ++k) {
                if (k) text += ' ';
                text += ranks[rng() % ranks.size()];
                text += suits[rng() % suits.size()];
            }
            const hs::CardSet got = hs::parse_cards(text);
            ASSERT_EQ(got.count, count) << text;
            ASSERT_EQ(got, hs::CardSet::from_text(text)) << text;
        }
    }
}

// The line splitter's block search against a plain search, on texts whose line ends fall at
// every place of a 64-byte block, in the last bytes of the text, and past runs of lines longer
// than a block; for each of the three separators, with lone '\r' and '\n' bytes inside lines
// (the separator searched for is the one the splitter chose), and trailing white space.
TEST(FastPaths, LineEndsAgreeWithAPlainSearch) {
    std::mt19937 rng(11);
    for (const std::string sep : {"\n", "\r\n", "\r"}) {
        for (int round = 0; round < 3000; ++round) {
            std::string text;
            const int lines = static_cast<int>(rng() % 8);
            for (int i = 0; i < lines; ++i) {
                const std::size_t len = rng() % 3 == 0 ? rng() % 140 : rng() % 18;
                for (std::size_t k = 0; k < len; ++k) {
                    const unsigned r = rng() % 64;
                    text += r == 0   ? '\r'
                            : r == 1 ? '\n'
                            : r == 2 ? ' '
                            : r == 3 ? '\t'
                                     : static_cast<char>('a' + r % 26);
                }
                if (i + 1 < lines || rng() % 2) text += sep;
            }
            if (text.empty()) continue;
            hs::LineSplitter split(text);
            const std::string_view kSeps[] = {"\n", "\r\n", "\r"};
            const std::string_view found = kSeps[static_cast<int>(split.kind())];
            std::vector<std::pair<std::size_t, std::size_t>> want;
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t hit = std::string_view(text).find(found, at);
                const std::size_t end = hit == std::string_view::npos ? text.size() : hit;
                want.emplace_back(at, end);
                at = end + found.size();
            }
            std::vector<std::pair<std::size_t, std::size_t>> got;
            while (const auto e = split.next()) got.emplace_back(e->start, e->end);
            ASSERT_EQ(got, want) << sep.size() << " " << text;
            ASSERT_FALSE(split.next());
            // The cursor's lines (a '\n' text's taken by the quick path but near its end) are
            // those extents without their trailing spaces, tabs and carriage returns.
            hs::HandStore store;
            hs::Parser p(text, store);
            for (const auto& [at, end] : want) {
                std::string_view line = std::string_view(text).substr(at, end - at);
                while (!line.empty() && std::string_view(" \t\r").find(line.back()) != std::string_view::npos)
                    line.remove_suffix(1);
                ASSERT_EQ(p.line(), line) << sep.size() << " " << text;
                p.next_line();
            }
            ASSERT_TRUE(p.at_end()) << text;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Amounts in the forms of translated clients
// ---------------------------------------------------------------------------------------------

struct LocalCase {
    std::string text;
    std::optional<float> value;
    std::size_t begin = 0, end = 0;
};

class LocalAmounts : public ::testing::TestWithParam<LocalCase> {};

TEST_P(LocalAmounts, GroupsAndDecimalMark) {
    const LocalCase& c = GetParam();
    const auto got = hs::local_amount(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value());
    if (!got) return;
    EXPECT_EQ(got->value, *c.value);
    EXPECT_EQ(got->begin, c.begin);
    EXPECT_EQ(got->end, c.end);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LocalAmounts,
    ::testing::Values(LocalCase{"$1,734.09 )", 1734.09f, 1, 9},
                      LocalCase{"$ 3.243 )", 3243.0f, 2, 7}, LocalCase{"$ 552,72 )", 552.72f, 2, 8},
                      LocalCase{"0,02$", 0.02f, 0, 4}, LocalCase{"42.797,60 $/0 $", 42797.6f, 0, 9},
                      LocalCase{"5\xC2\xA0"
                                "000\xC2\xA0$",
                                5000.0f, 0, 6},  // no-break spaces
                      LocalCase{"1 123 698 )", 1123698.0f, 0, 9},
                      LocalCase{"25 000/50 000", 25000.0f, 0, 6},
                      LocalCase{"[$0.50 USD]", 0.5f, 2, 6}, LocalCase{"$0,1", 0.1f, 1, 4},
                      LocalCase{"12 34", 12.0f, 0, 2},  // a group has three digits
                      LocalCase{"1.2345", 1.0f, 0, 1},  // nor four
                      LocalCase{"7.", 7.0f, 0, 1}, LocalCase{"no digit", std::nullopt},
                      LocalCase{std::string(40, '9'), std::nullopt}));

}  // namespace
