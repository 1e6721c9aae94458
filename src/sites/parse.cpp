// Site detection, file input and dispatch to the site parsers.
#include "sites/parse.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/format.hpp"
#include "core/utf8.hpp"
#include "reader/parser.hpp"
#include "sites/bovada.hpp"
#include "sites/ongame.hpp"
#include "sites/pokerstars.hpp"
#include "sites/winamax.hpp"
#include "sites/winning.hpp"

namespace hs {
namespace {

std::string_view without_byte_order_mark(std::string_view text) noexcept {
    if (text.starts_with(kByteOrderMark)) return text.substr(kByteOrderMark.size());
    return text;
}

std::string_view skip_white_space(std::string_view s) noexcept {
    std::size_t at = 0;
    while (at < s.size()) {
        const std::size_t n = white_space_len(s.substr(at));
        if (n == 0) break;
        at += n;
    }
    return s.substr(at);
}

// The first two lines of a text, read as the line reader does: split at '\n' with one '\r'
// dropped from a line's end, or, for a text that holds no '\n' at all, split at '\r'. A text
// that ends in its separator has no empty last line.
struct FirstLines {
    std::string_view first;
    std::string_view second;
    bool has_first = false;
    bool has_second = false;
};

FirstLines first_lines(std::string_view rest, bool split_at_cr) noexcept {
    FirstLines out;
    if (rest.empty()) return out;
    const char sep = split_at_cr ? '\r' : '\n';
    auto line_at = [&](std::size_t from, std::string_view& line) -> std::size_t {
        const std::size_t cut = rest.find(sep, from);
        const std::size_t end = cut == std::string_view::npos ? rest.size() : cut;
        line = rest.substr(from, end - from);
        if (!split_at_cr && line.ends_with('\r')) line.remove_suffix(1);
        return cut == std::string_view::npos ? rest.size() : cut + 1;
    };
    const std::size_t after_first = line_at(0, out.first);
    out.has_first = true;
    if (after_first < rest.size()) {
        line_at(after_first, out.second);
        out.has_second = true;
    }
    return out;
}

struct Prefix {
    std::string_view text;
    Site site;
};

// Rules 2 to 14: plain prefixes, tested in this order.
constexpr Prefix kPrefixes[] = {
    {"***** History", Site::OnGame},
    {"BetOnline ", Site::BetOnline},
    {"Bodog ", Site::Bovada},
    {"Full Tilt ", Site::FullTiltPoker},
    {"Everleaf ", Site::EverLeaf},
    {"Winamax ", Site::Winamax},
    {"Stage ", Site::Absolute},
    {"#Game No ", Site::PacificPoker},
    {"Poker Hand #", Site::GGPoker},
    {"MERGE_GAME ", Site::PokerTracker},
    {"Hand#", Site::Cake},
    {"Table #", Site::Pkr},
    {"Game started ", Site::Winning},
};

std::string os_error_text(int code) {
    char buf[256] = {};
    // Both the GNU and the XSI forms of strerror_r are handled by overload.
    struct Pick {
        static const char* text(const char* gnu, const char*) { return gnu; }
        static const char* text(int rc, const char* buf) { return rc == 0 ? buf : "Unknown error"; }
    };
    const char* msg = Pick::text(strerror_r(code, buf, sizeof buf), buf);
    std::string out(msg != nullptr ? msg : "Unknown error");
    out += " (os error ";
    append_u64(out, static_cast<std::uint64_t>(code));
    out += ')';
    return out;
}

std::string open_error(const std::string& path, std::string_view reason) {
    std::string out = "Failed to open file at path '";
    out += path;
    out += "' with error ";
    out += reason;
    return out;
}

// The bytes of a file, in a buffer that is never zero-filled first.
struct FileText {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t capacity = 0;
    std::string_view view() const noexcept { return {data.get(), size}; }
    void grow(std::size_t to) {
        std::unique_ptr<char[]> bigger(new char[to]);
        if (size != 0) std::memcpy(bigger.get(), data.get(), size);
        data = std::move(bigger);
        capacity = to;
    }
};

// Reads the whole file into `text`; false with `error` set to errno on failure.
bool read_whole_file(const std::string& path, FileText& text, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // One byte more than the size, so that the read that meets the end of file needs no
    // growth (one read(2) for the data, one for the end); the size may change meanwhile, and
    // special files report none.
    struct stat st {};
    std::size_t capacity = 65536;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        capacity = static_cast<std::size_t>(st.st_size) + 1;
    text.grow(capacity);
    for (;;) {
        if (text.size == text.capacity) text.grow(text.capacity * 2);
        const ssize_t n = ::read(fd, text.data.get() + text.size, text.capacity - text.size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (n == 0) break;
        text.size += static_cast<std::size_t>(n);
    }
    return true;
}

// Sizes the store's lists from the length of the text, so that a large text fills each list in
// one allocation instead of repeated growth and copying. The ratios are a little above what real
// PokerStars files hold per byte (one hand per ~1,350 bytes, a player per ~170, an action per
// ~56, a byte of store text per ~13); a list that needs more still grows as usual.
void reserve_for_text(HandStore& store, std::size_t bytes) {
    const auto at_least = [](auto& list, std::size_t n) {
        if (list.capacity() < n) list.reserve(n);
    };
    at_least(store.text, bytes / 10);
    at_least(store.hands, bytes / 1000);
    at_least(store.players, bytes / 128);
    at_least(store.actions, bytes / 40);
    at_least(store.flops, bytes / 1500);
    at_least(store.turns, bytes / 2000);
    at_least(store.rivers, bytes / 2000);
    at_least(store.showdowns, bytes / 4000);
    at_least(store.card_sets, bytes / 1200);
    at_least(store.winners, bytes / 1000);
}

}  // namespace

std::variant<Site, std::string> detect_site(std::string_view text) {
    const std::string_view whole = without_byte_order_mark(text);
    const std::string_view rest = skip_white_space(whole);

    if (rest.starts_with("PokerStars ")) {
        const bool split_at_cr = whole.find('\n') == std::string_view::npos;
        const FirstLines lines = first_lines(rest, split_at_cr);
        if (!lines.has_second) fault_input(missing_message("second line", lines.first));
        return lines.second.starts_with("Table 'Pluribus") ? Site::PokerStarsPluribus
                                                           : Site::PokerStars;
    }
    for (const Prefix& p : kPrefixes)
        if (rest.starts_with(p.text)) return p.site;
    if (rest.size() > 1 && rest[0] == '#' && numeric_len(tail(rest, 1)) > 0) return Site::KingsClub;

    // Bovada's other brands ("Bodog " is rule 4; "Bodog.com", "Bodog.eu").
    for (const std::string_view brand :
         {std::string_view("Bovada Hand #"), std::string_view("Ignition Hand #"),
          std::string_view("Bodog.")})
        if (rest.starts_with(brand)) return Site::Bovada;

    // Winning Poker Network's current layout: "Hand #<number> - " ("Game Hand #" for tournaments).
    for (const std::string_view hand :
         {std::string_view("Hand #"), std::string_view("Game Hand #")}) {
        if (!rest.starts_with(hand)) continue;
        const std::size_t digits = numeric_len(tail(rest, hand.size()));
        if (digits > 0 && tail(rest, hand.size() + digits).starts_with(" - ")) return Site::Winning;
    }

    const bool split_at_cr = whole.find('\n') == std::string_view::npos;
    const FirstLines lines = first_lines(rest, split_at_cr);
    if (rest.starts_with("Game #"))
        return lines.first.ends_with("starts.") ? Site::PartyPoker : Site::Enet;

    std::string message = "Invalid poker website - '";
    message += lines.has_first ? lines.first : kEndMarker;
    message += '\'';
    return message;
}

void run_site_parser(Site site, std::string_view text, HandStore& store, Errors errors,
                     std::vector<Rejection>& rejected) {
    std::string unjoined;
    if (site == Site::Winning) text = winning::split_joined_hands(text, unjoined);
    Parser parser(text, store);
    switch (site) {
        case Site::PokerStars:
            pokerstars::parse_hands(parser, pokerstars::kPokerStars, errors, rejected);
            return;
        case Site::PokerStarsPluribus:
            pokerstars::parse_hands(parser, pokerstars::kPluribus, errors, rejected);
            return;
        case Site::GGPoker:
            pokerstars::parse_hands(parser, pokerstars::kGGPoker, errors, rejected);
            return;
        case Site::OnGame: ongame::parse_hands(parser, errors, rejected); return;
        case Site::Winamax: winamax::parse_hands(parser, errors, rejected); return;
        case Site::Winning: winning::parse_hands(parser, errors, rejected); return;
        case Site::Bovada: bovada::parse_hands(parser, errors, rejected); return;
        default: break;
    }
    fault_input("Parser has not been implemented for " + std::string(site_name(site)));
}

ParseResult parse_text(std::string_view text, Errors errors) {
    ParseResult result;
    try {
        auto site = detect_site(text);  // removes the mark itself
        if (auto* message = std::get_if<std::string>(&site)) {
            result.error = std::move(*message);
            return result;
        }
        auto store = std::make_unique<HandStore>();
        reserve_for_text(*store, text.size());
        run_site_parser(std::get<Site>(site), without_byte_order_mark(text), *store, errors,
                        result.rejected);
        result.store = std::move(store);
    } catch (const InputFault& f) {
        if (errors == Errors::Strict) throw;
        result.error = f.message();
    }
    return result;
}

ParseResult parse_file(const std::string& path, Errors errors, Encoding encoding) {
    ParseResult result;
    if (path.find('\0') != std::string::npos) {
        result.error = open_error(path, "file name contained an unexpected NUL byte");
        return result;
    }
    FileText file;
    int error = 0;
    if (!read_whole_file(path, file, error)) {
        result.error = open_error(path, os_error_text(error));
        return result;
    }
    const std::string_view bytes = file.view();
    if (encoding == Encoding::Utf8) {
        const std::size_t valid = utf8_valid_prefix(bytes);
        if (valid != bytes.size()) {
            std::string reason = "stream did not contain valid UTF-8 at byte offset ";
            append_u64(reason, valid);
            result.error = open_error(path, reason);
            return result;
        }
    }
    std::string decoded;
    const std::string_view text = decode_text(bytes, encoding, decoded);
    if (text.data() != bytes.data()) file = FileText{};  // read from `decoded` alone
    return parse_text(text, errors);
}

}  // namespace hs
