// Reading whole files and decoding them.
#include "input/file.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/fault.hpp"
#include "core/format.hpp"
#include "core/utf8.hpp"

namespace hs {
namespace {

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
    std::string out = "Failed to open file at path ";
    append_quoted(out, path);
    out += " with error ";
    out += reason;
    return out;
}

// Reads the whole file: a regular file of kMapThreshold bytes or more is mapped into `mapped`
// (its pages populated at once: one system call rather than a fault per page), any other is
// read into `text`. False with `error` set to errno on failure.
//
// A mapped file that another process truncates while it is parsed would make the reads past
// its new end fail with SIGBUS; hand-history files are appended to, never cut, by the clients
// that write them.
bool read_whole_file(const std::string& path, MappedFile& mapped, FileText& text, bool populate,
                     int& error) {
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
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        if (size >= kMapThreshold) {
            void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | (populate ? MAP_POPULATE : 0),
                             fd, 0);
            if (p != MAP_FAILED) {
                mapped.data = static_cast<const char*>(p);
                mapped.size = size;
                return true;
            }
            // A file system without mappings: read it.
        }
        capacity = size + 1;
    }
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

}  // namespace

MappedFile::MappedFile(MappedFile&& o) noexcept : data(o.data), size(o.size) {
    o.data = nullptr;
    o.size = 0;
}
MappedFile& MappedFile::operator=(MappedFile&& o) noexcept {
    if (this != &o) {
        if (data != nullptr) ::munmap(const_cast<char*>(data), size);
        data = o.data;
        size = o.size;
        o.data = nullptr;
        o.size = 0;
    }
    return *this;
}
MappedFile::~MappedFile() {
    if (data != nullptr) ::munmap(const_cast<char*>(data), size);
}

void FileText::grow(std::size_t to) {
    std::unique_ptr<char[]> bigger(new char[to]);
    if (size != 0) std::memcpy(bigger.get(), data.get(), size);
    data = std::move(bigger);
    capacity = to;
}

std::string read_input_bytes(const std::string& path, InputText& out, bool populate) {
    if (path.find('\0') != std::string::npos)
        return open_error(path, "file name contained an unexpected NUL byte");
    int error = 0;
    if (!read_whole_file(path, out.mapped, out.file, populate, error))
        return open_error(path, os_error_text(error));
    out.text = out.mapped.data != nullptr ? out.mapped.view() : out.file.view();
    return {};
}

std::string invalid_utf8_message(const std::string& path, std::size_t offset) {
    std::string reason = "stream did not contain valid UTF-8 at byte offset ";
    append_u64(reason, offset);
    return open_error(path, reason);
}

void prefault_pages(std::string_view bytes) noexcept {
#ifdef MADV_POPULATE_READ
    if (bytes.empty()) return;
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(bytes.data()) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(bytes.data()) + bytes.size();
    // Refused by a kernel older than 5.14: the pages then fault in as they are read.
    (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_READ);
#else
    (void)bytes;
#endif
}

std::string read_input_file(const std::string& path, Encoding encoding, InputText& out) {
    if (std::string error = read_input_bytes(path, out, true); !error.empty()) return error;
    const std::string_view bytes = out.text;
    if (encoding == Encoding::Utf8) {
        const std::size_t valid = utf8_valid_prefix(bytes);
        if (valid != bytes.size()) return invalid_utf8_message(path, valid);
    }
    out.text = decode_text(bytes, encoding, out.decoded);
    if (out.text.data() != bytes.data()) {  // read from `decoded` alone
        out.file = FileText{};
        out.mapped = MappedFile{};
    }
    return {};
}

}  // namespace hs
