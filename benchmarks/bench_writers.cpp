// Times the writers alone on the hands of one file, parsed once: the JSON layout and the .ohh
// export (errors skipped), in MB of output per second of
// the thread's CPU time (best of the runs) and the output's size. One writer can be named, so
// that an instruction count (callgrind) covers it alone.
//   bench_writers FILE [runs] [json|ohh|all]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "export/json.hpp"
#include "export/ohh.hpp"
#include "sites/parse.hpp"

namespace {

double cpu_now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best CPU seconds of `runs` calls of f, which returns the bytes it wrote.
template <class F>
double best_seconds(int runs, std::size_t& bytes, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double t0 = cpu_now();
        bytes = f();
        best = std::min(best, cpu_now() - t0);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: bench_writers FILE [runs] [json|ohh|all]\n", stderr);
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string_view only = argc > 3 ? argv[3] : "all";
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto parsed = hs::parse_text(text, hs::Errors::Skip);
    if (!parsed.ok()) {
        std::fputs("the file does not parse\n", stderr);
        return 1;
    }
    const hs::HandStore& store = *parsed.store;
    const hs::Span all = hs::Span::make(0, store.hands.size());
    std::printf("hands %zu\n", store.hands.size());
    const auto report = [&](std::string_view name, auto&& write) {
        if (only != "all" && only != name) return;
        std::size_t bytes = 0;
        const double t = best_seconds(runs, bytes, write);
        std::printf("%.*s_out_mb_s %.1f\n%.*s_out_bytes %zu\n", static_cast<int>(name.size()),
                    name.data(), static_cast<double>(bytes) / 1e6 / t,
                    static_cast<int>(name.size()), name.data(), bytes);
    };
    report("json", [&] { return hs::to_json_native(store, all)->size(); });
    report("ohh", [&] { return hs::to_ohh(store, all, hs::Errors::Skip)->text.size(); });
    return 0;
}
