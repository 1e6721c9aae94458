// Helpers shared by the C++ tests: fault messages, test files and the corpus, and the check that
// a store a parser left is sound.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/model.hpp"
#include "export/json.hpp"
#include "support/check_store.hpp"

namespace hs::test {

// The message of the Fault that `f` raises; empty when it raises none.
template <class F>
std::string fault_of(F&& f) {
    try {
        f();
    } catch (const Fault& e) {
        return e.message();
    }
    return {};
}

// The bytes of a file; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A file of the repository's test data (tests/data/<rel>); a test fails when it is missing.
inline std::string data_file(const std::string& rel) {
    const std::string path = std::string(HS_SOURCE_DIR) + "/tests/data/" + rel;
    std::string text = read_file(path);
    if (text.empty()) ADD_FAILURE() << "cannot read " << path;
    return text;
}

// Whether the run pretends the shared corpus is absent (HANDSCRIBE_NO_CORPUS set), to show what
// the repository's own data catches.
inline bool corpus_hidden() { return std::getenv("HANDSCRIBE_NO_CORPUS") != nullptr; }

// A file of the shared corpus; empty when the corpus is not there (tests then skip).
inline std::string corpus_file(const std::string& rel) {
    if (corpus_hidden()) return {};
    return read_file(std::string(HS_CORPUS_DIR) + "/" + rel);
}

// Every history of the corpus (its .txt files), sorted; empty when the corpus is not there.
inline std::vector<std::string> corpus_paths() {
    std::vector<std::string> out;
    if (corpus_hidden()) return out;
    const std::filesystem::path root(HS_CORPUS_DIR);
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) return out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root, ec))
        if (e.is_regular_file() && e.path().extension() == ".txt") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Lines joined, each followed by `sep`.
inline std::string join(const std::vector<std::string>& lines, std::string_view sep = "\n") {
    std::string out;
    for (const std::string& l : lines) {
        out += l;
        out += sep;
    }
    return out;
}

// An OnGame hand with grouped amounts, an all-in bet and two hands shown; ids vary with `n`.
inline std::vector<std::string> ongame_hand(const std::string& n = "7") {
    return {
        "***** History for hand R5-100000001-" + n + " *****",
        "Start hand: Mon Jan 06 01:08:00 CET 2014",
        "Table: Testville [100000001] (NO_LIMIT TEXAS_HOLDEM $1/$2, Real money)",
        "Button: seat 3",
        "Players in round: 3",
        "Seat 1: Alice ($1,523.85) ",
        "Seat 3: Bob ($1,256.50) ",
        "Seat 5: Carol ($2,000.00) ",
        "Carol posts small blind ($1)",
        "Alice posts big blind ($2)",
        "---",
        "Dealing pocket cards",
        "Bob raises $4.00 to $6.00",
        "Carol calls $5.00",
        "Alice folds",
        "--- Dealing flop [Ah, Kd, 7c]",
        "Carol checks",
        "Bob bets $1,250.50 [all in] ",
        "Carol calls $1,250.50",
        "--- Dealing turn [2s]",
        "--- Dealing river [Td]",
        "---",
        "Summary:",
        "Main pot: $2,515.00 won by Carol ($2,490.00)",
        "Rake taken: $25",
        "Seat 1: Alice ($1,521.85), net: -$2",
        "Seat 3: Bob ($0.00), net: -$1,256.50, [Qs, Qh]",
        "Seat 5: Carol ($3,234.50), net: +$1,234.50, [As, 7h]",
        "***** End of hand R5-100000001-" + n + " *****",
    };
}

// A store that a parser left must hold every invariant of the model and write as JSON.
inline void expect_sound(const HandStore& store, const std::string& what) {
    EXPECT_EQ(check_store(store), "") << what;
    try {
        EXPECT_TRUE(to_json_native(store, Span::make(0, store.hands.size())).has_value()) << what;
    } catch (const Fault& f) {
        ADD_FAILURE() << what << ": to_json faults: " << f.message();
    }
}

}  // namespace hs::test
