// Times, on one file: a plain memchr scan for line ends, the parser cursor's own line splitting,
// a full parse (strict, into a new store and into one reused from the run before, and skipping
// faulty hands), the replay of the hand facts alone, the Arrow tables of the parsed hands (facts
// included), and the "auto" decoding of the file; with a second file in cp1252, its "auto"
// decoding too; and the JSON and .ohh writers on the parsed hands (MB of output per second).
// Prints MB/s for each, the parse/scan ratio, the facts in hands/s and the tables' time over the
// parse's. One thread throughout; times are the thread's CPU time (page faults included), best
// of the runs.
//   bench_scan FILE [runs] [CP1252_FILE]
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include "core/store_pool.hpp"
#include "export/arrow.hpp"
#include "export/json.hpp"
#include "export/ohh.hpp"
#include "facts/facts.hpp"
#include "input/decode.hpp"
#include "reader/cursor.hpp"
#include "sites/parse.hpp"

namespace {

double cpu_now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F>
double best_seconds(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double t0 = cpu_now();
        f();
        best = std::min(best, cpu_now() - t0);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: bench_scan FILE [runs]\n", stderr);
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const auto read = [](const char* path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string text = read(argv[1]);
    const double mb = static_cast<double>(text.size()) / 1e6;

    volatile std::size_t sink = 0;
    const double scan = best_seconds(runs, [&] {
        std::size_t lines = 0;
        const char* p = text.data();
        const char* end = p + text.size();
        while (p < end) {
            const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            if (!nl) break;
            ++lines;
            p = static_cast<const char*>(nl) + 1;
        }
        sink = sink + lines;
    });
    const double split = best_seconds(runs, [&] {
        hs::LineSplitter lines(text);
        std::size_t n = 0;
        while (lines.next()) ++n;
        sink = sink + n;
    });
    std::size_t hands = 0;
    const double parse = best_seconds(runs, [&] {
        auto result = hs::parse_text(text);
        hands = result.ok() ? result.store->hands.size() : 0;
    });
    // The same parse into a store given back after each run, as a worker of a batch and the
    // Python module's parses reuse one (no page fault on the lists' memory after the first).
    const double parse_reused = best_seconds(runs, [&] {
        auto result = hs::parse_text(text);
        sink = sink + (result.ok() ? result.store->hands.size() : 0);
        hs::store_pool::give(std::move(result.store));
    });
    hs::store_pool::release();
    const double parse_skip = best_seconds(
        runs, [&] { sink = sink + hs::parse_text(text, hs::Errors::Skip).rejected.size(); });
    // "auto" on a text in a given encoding, in MB/s of its bytes.
    const auto decode_mb_s = [&](const std::string& bytes) {
        std::string buffer;
        const double t = best_seconds(
            runs, [&] { sink = sink + hs::decode_text(bytes, hs::Encoding::Auto, buffer).size(); });
        return static_cast<double>(bytes.size()) / 1e6 / t;
    };
    const auto parsed = hs::parse_text(text);
    // The tables and the parse timed in turn, so that a change in the machine's load between
    // runs hits both alike.
    double tables = 1e30, parse_paired = 1e30;
    for (int i = 0; i < runs; ++i) {
        parse_paired = std::min(parse_paired, best_seconds(1, [&] {
                                    const auto r = hs::parse_text(text);
                                    sink = sink + (r.ok() ? r.store->hands.size() : 0);
                                }));
        tables = std::min(tables, best_seconds(1, [&] {
                              if (!parsed.ok()) return;
                              hs::arrow::TablesBuilder builder;
                              builder.add(*parsed.store,
                                          hs::Span::make(0, parsed.store->hands.size()), {});
                              sink = sink + builder.finish()[0].batches.size();
                          }));
    }
    hs::facts::Replay replay;
    const double facts = best_seconds(runs, [&] {
        if (!parsed.ok()) return;
        for (const hs::Hand& h : parsed.store->hands)
            sink = sink + replay.run(*parsed.store, h).actions;
    });
    std::printf("bytes %zu\nhands %zu\n", text.size(), hands);
    // What the store's lists hold per hand (the text buffer included): the cost of the records.
    if (parsed.ok() && hands != 0)
        std::printf("store_bytes_per_hand %.1f\n",
                    static_cast<double>(parsed.store->used_bytes()) / static_cast<double>(hands));
    std::printf("memchr_scan_mb_s %.1f\n", mb / scan);
    std::printf("splitter_mb_s %.1f\n", mb / split);
    std::printf("parse_mb_s %.1f\n", mb / parse);
    std::printf("parse_hands_s %.0f\n", static_cast<double>(hands) / parse);
    std::printf("parse_over_scan %.2f\n", parse / scan);
    std::printf("parse_reused_mb_s %.1f\n", mb / parse_reused);
    std::printf("parse_skip_mb_s %.1f\n", mb / parse_skip);
    std::printf("decode_auto_utf8_mb_s %.1f\n", decode_mb_s(text));
    if (argc > 3) std::printf("decode_auto_cp1252_mb_s %.1f\n", decode_mb_s(read(argv[3])));
    std::printf("arrow_mb_s %.1f\n", mb / tables);
    std::printf("arrow_over_parse %.2f\n", tables / parse_paired);
    std::printf("facts_hands_s %.0f\n", static_cast<double>(hands) / facts);
    if (parsed.ok()) {
        const hs::HandStore& store = *parsed.store;
        const hs::Span all = hs::Span::make(0, store.hands.size());
        std::size_t out = 0;
        const double json =
            best_seconds(runs, [&] { out = hs::to_json_native(store, all)->size(); });
        std::printf("json_out_mb_s %.1f\n", static_cast<double>(out) / 1e6 / json);
        const double ohh = best_seconds(
            runs, [&] { out = hs::to_ohh(store, all, hs::Errors::Skip)->text.size(); });
        std::printf("ohh_out_mb_s %.1f\n", static_cast<double>(out) / 1e6 / ohh);
    }
    return static_cast<int>(sink & 0);
}
