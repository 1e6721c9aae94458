// The fuzz target's check: its UTF-8 and JSON readers on cases with known answers, and the
// check itself over every saved fuzz input and every test data file (each must keep every
// invariant; a fuzz finding becomes a regression test by being saved in tests/fuzz/regressions).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check.hpp"

namespace {

namespace fs = std::filesystem;
using hs::fuzz::check_bytes;
using hs::fuzz::json_error;
using hs::fuzz::repair_utf8;
using hs::fuzz::utf8_error;

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD

struct Utf8Case {
    std::string bytes;
    std::string repaired;  // one U+FFFD for each byte that starts no character
    std::string error;     // utf8_error of the bytes
};

TEST(FuzzCheck, Utf8RepairAndValidation) {
    const Utf8Case cases[] = {
        {"", "", ""},
        {"Seat 1: Anna", "Seat 1: Anna", ""},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x82\xA1", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x82\xA1", ""},
        {"\xE2\xA1\x9E"
         "eaves",
         "\xE2\xA1\x9E"
         "eaves",
         ""},
        {"a\xC3", "a" + kR, "invalid UTF-8 at byte 1"},  // cut at the end
        {"\xE2\x82"
         "A",
         kR + kR + "A", "invalid UTF-8 at byte 0"},
        {"\xA1\x9E"
         "eaves",
         kR + kR + "eaves", "invalid UTF-8 at byte 0"},                      // lone continuations
        {"\xC0\xAF", kR + kR, "invalid UTF-8 at byte 0"},                    // overlong
        {"x\xED\xA0\x80", "x" + kR + kR + kR, "invalid UTF-8 at byte 1"},    // a surrogate
        {"\xF4\x90\x80\x80", kR + kR + kR + kR, "invalid UTF-8 at byte 0"},  // above U+10FFFF
        {"ab\xFF", "ab" + kR, "invalid UTF-8 at byte 2"},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(repair_utf8(c.bytes), c.repaired) << c.bytes;
        EXPECT_EQ(utf8_error(c.bytes), c.error) << c.bytes;
        EXPECT_EQ(utf8_error(c.repaired), "") << c.bytes;
    }
}

TEST(FuzzCheck, JsonReader) {
    const std::pair<std::string, std::string> cases[] = {
        {R"([{"a":1,"b":[true,false,null],"c":{}},[],"x",-0.5,0,10.25])", ""},
        {R"("\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00")", ""},
        {"\"\xE2\x82\xAC\"", ""},
        {"", "expected a value at byte 0"},
        {"[1,]", "expected a value at byte 3"},
        {"[1 ]", "expected ',' or ']' at byte 2"},  // the layouts write no white space
        {"{\"a\":1,}", "expected a key at byte 7"},
        {"{a:1}", "expected a key at byte 1"},
        {"{\"a\" :1}", "expected ':' at byte 4"},
        {"[1]]", "text after the value at byte 3"},
        {"01", "text after the value at byte 1"},
        {"1.", "expected a digit after '.' at byte 2"},
        {"1e5", "exponent in a number at byte 1"},
        {"-", "expected a value at byte 1"},
        {"tru", "unknown literal at byte 0"},
        {"\"a\x01\"", "control character in a string at byte 2"},
        {"\"a\xC3\"", "invalid UTF-8 in a string at byte 2"},
        {"\"abc", "unterminated string at byte 4"},
        {R"("\q")", "unknown escape at byte 3"},
        {R"("\u12")", "bad \\u escape at byte 3"},
        {R"("\udc00")", "unpaired low surrogate at byte 7"},
        {R"("\ud800")", "unpaired high surrogate at byte 7"},
        {R"("\ud800\u0041")", "unpaired high surrogate at byte 13"},
        {std::string(65, '[') + std::string(65, ']'), ""},
        {std::string(66, '[') + std::string(66, ']'), "nesting too deep at byte 65"},
    };
    for (const auto& [json, error] : cases) EXPECT_EQ(json_error(json), error) << json;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below `dir` whose name does not start with a dot, notes (.md) left out
// (nothing when it is absent).
std::vector<fs::path> files_below(const fs::path& dir) {
    std::vector<fs::path> out;
    if (!fs::exists(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename().string().front() != '.' &&
            e.path().extension() != ".md")
            out.push_back(e.path());
    return out;
}

// The saved fuzz findings (each kept once it was mended) and the real test files: every one
// keeps every invariant. The test files also show that the check accepts real output whole.
TEST(FuzzCheck, SavedInputsKeepEveryInvariant) {
    const fs::path root = HS_SOURCE_DIR;
    std::vector<fs::path> inputs = files_below(root / "tests/fuzz/regressions");
    std::size_t data_files = 0;
    for (const fs::path& p : files_below(root / "tests/data")) {
        if (p.extension() != ".txt") continue;
        inputs.push_back(p);
        ++data_files;
    }
    ASSERT_GE(data_files, 10u);
    for (const fs::path& p : inputs) EXPECT_EQ(check_bytes(read_file(p)), "") << p;
}

}  // namespace
