// Substring searches.
#include "core/scan.hpp"

#include <string_view>

namespace hs {

std::size_t find_str(std::string_view s, std::string_view needle, std::size_t from) noexcept {
    if (from > s.size()) return npos;
    if (needle.empty()) return from;
    if (needle.size() == 1) return find_byte(s, needle[0], from);
    if (s.size() - from < needle.size()) return npos;  // also keeps an empty text's null data out
#if defined(__GLIBC__)
    const void* p = ::memmem(s.data() + from, s.size() - from, needle.data(), needle.size());
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - s.data()) : npos;
#else
    const std::size_t r = s.find(needle, from);
    return r == std::string_view::npos ? npos : r;
#endif
}

std::size_t rfind_str(std::string_view s, std::string_view needle) noexcept {
    if (needle.empty()) return s.size();
    if (needle.size() > s.size()) return npos;
    if (needle.size() == 1) return rfind_byte(s, needle[0]);
    // Walk back over the occurrences of the needle's first byte that leave room for the rest.
    std::string_view head = s.substr(0, s.size() - needle.size() + 1);
    for (;;) {
        const std::size_t i = rfind_byte(head, needle[0]);
        if (i == npos) return npos;
        if (std::memcmp(s.data() + i + 1, needle.data() + 1, needle.size() - 1) == 0) return i;
        head = head.substr(0, i);
    }
}

}  // namespace hs
