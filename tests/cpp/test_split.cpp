// One text parsed in pieces on the pool gives what one parse of the whole text gives: the same
// hands (their JSON), the same rejections (line numbers in the whole text) and the same fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "batch/split.hpp"
#include "core/store_pool.hpp"
#include "core/utf8.hpp"
#include "export/json.hpp"
#include "support.hpp"

namespace {

using namespace hs;

// The JSON of a parse, its rejections, its error, or the message of the fault it raised.
std::string outcome(const std::function<ParseResult()>& parse) {
    try {
        const ParseResult r = parse();
        std::string out =
            r.ok()
                ? std::string(
                      to_json_native(*r.store, Span::make(0, r.store->hands.size())).value().view())
                : "error: " + r.error;
        for (const Rejection& j : r.rejected) {
            out += '\n';
            out += std::to_string(j.line);
            out.append(" ").append(j.hand_id).append(" ").append(j.reason);
        }
        return out;
    } catch (const Fault& f) {
        return "fault: " + f.message();
    }
}

// Every corpus text, alone, with its damaged copy after it (a hand cut short, so that pieces
// meet rejections) and with an end marker inside, both modes, cut into as many pieces as it has
// room for.
TEST(Split, PiecesGiveTheWholeTextsParse) {
    const std::vector<std::string> paths = test::corpus_paths();
    if (paths.empty()) GTEST_SKIP() << "corpus not available";
    for (const std::string& path : paths) {
        const std::string text = test::read_file(path);
        std::string damaged = text;
        if (const std::size_t cut = damaged.find("*** FLOP"); cut != std::string::npos)
            damaged.erase(cut, 20);
        const std::string twice = text + "\n\n\n" + damaged + "\n\n\n" + text;
        const std::string marked = text + "\n\n\n@@@\n\n\n" + text;  // the end marker stops
        for (const std::string* t : {&text, &twice, &marked}) {
            for (Errors e : {Errors::Strict, Errors::Skip}) {
                const std::string whole = outcome([&] { return parse_text(*t, e); });
                EXPECT_EQ(outcome([&] { return parse_text_on_pool(*t, e, 6, 1); }), whole) << path;
            }
        }
    }
}

// A large text's UTF-8 is checked on the threads, share by share: the first invalid byte is the
// one a single pass finds, wherever it falls (at the start, inside a character that a share's or
// a block's edge cuts, at the end) and whatever invalid bytes follow it.
TEST(Split, LargeTextsCheckedOnThreadsFindTheFirstInvalidByte) {
    std::string text;
    while (text.size() < (std::size_t{40} << 20))
        text +=
            "Seat 1: \xC3\xA9l\xC3\xA8ve \xE2\x82\xAC"
            "12 \xF0\x9F\x82\xA1\n";
    EXPECT_EQ(utf8_valid_prefix_on_pool(text, 3), text.size());
    const std::size_t n = text.size();
    for (const std::size_t at : {std::size_t{0}, n / 12, n / 12 * 5 + 1, (std::size_t{1} << 20) + 2,
                                 n / 12 * 7 + 3, n - 1}) {
        for (const char bad : {'\x80', '\xFF', '\xC3'}) {
            std::string t = text;
            t[at] = bad;
            t[n - 2] = '\xFE';  // a later invalid byte, in the last share
            EXPECT_EQ(utf8_valid_prefix_on_pool(t, 3), utf8_valid_prefix(t)) << at;
        }
    }
}

// A file large enough to be read on the threads gives what parse_file gives: its hands, its
// rejections, its first invalid byte, its end marker.
TEST(Split, LargeFilesReadOnThreadsGiveTheFilesParse) {
    const std::string one =
        test::data_file("pokerstars/PokerStars__CashGame__ExtraHands__SidePot.txt");
    std::string text;
    while (text.size() < 2 * kSplitMinBytes + 4096) text += one + "\n\n\n";
    std::string invalid = text;
    invalid[text.size() / 3 * 2] = '\xFF';
    std::string marked = text;
    marked.insert(marked.size() / 4 * 3, "\n\n@@@\n\n");
    const std::string path = testing::TempDir() + "hs_split_large.txt";
    for (const std::string* t : {&text, &invalid, &marked}) {
        std::ofstream(path, std::ios::binary) << *t;
        const std::string whole = outcome([&] { return parse_file(path, Errors::Skip); });
        EXPECT_EQ(
            outcome([&] { return parse_file_on_pool(path, Errors::Skip, Encoding::Utf8, 3); }),
            whole);
    }
    std::remove(path.c_str());
}

// A store given back is taken again emptied with its memory kept, and a parse into it gives what
// a parse into a new store gives; the pool keeps no more stores than its bound.
TEST(StorePool, GivenBackStoresAreReusedEmpty) {
    store_pool::release();
    const std::vector<std::string> paths = test::corpus_paths();
    if (paths.empty()) GTEST_SKIP() << "corpus not available";
    const std::string text = test::read_file(paths.front());
    const std::string fresh = outcome([&] { return parse_text(text); });
    ParseResult first = parse_text(text + "\n\n\n" + text);
    ASSERT_TRUE(first.ok());
    const HandStore* kept = first.store.get();
    const std::size_t reserved = kept->reserved_bytes();
    store_pool::give(std::move(first.store));
    EXPECT_EQ(store_pool::kept(), 1u);
    EXPECT_EQ(store_pool::kept_bytes(), reserved);
    std::unique_ptr<HandStore> again = store_pool::take(0);
    EXPECT_EQ(again.get(), kept);
    EXPECT_EQ(again->used_bytes(), 0u);
    EXPECT_EQ(again->reserved_bytes(), reserved);
    store_pool::give(std::move(again));
    EXPECT_EQ(outcome([&] { return parse_text(text); }), fresh);  // into the kept store
    for (std::size_t i = 0; i < store_pool::kMaxStores + 2; ++i)
        store_pool::give(std::make_unique<HandStore>());
    EXPECT_EQ(store_pool::kept(), store_pool::kMaxStores);
    store_pool::release();
    EXPECT_EQ(store_pool::kept(), 0u);
}

}  // namespace
