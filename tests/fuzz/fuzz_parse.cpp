// The libFuzzer target: any bytes, repaired to the UTF-8 text that Python would pass, through
// detection, the site parsers, both text forms and both JSON layouts. A broken invariant aborts,
// so libFuzzer keeps the input; sanitizer reports do the same on their own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string finding =
        hs::fuzz::check_bytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!finding.empty()) {
        std::fputs(("handscribe fuzz finding: " + finding + "\n").c_str(), stderr);
        std::abort();
    }
    return 0;
}
