#include "core/file_output.hpp"

#include <atomic>
#include <cerrno>
#include <charconv>

#include <fcntl.h>
#include <unistd.h>

namespace hs {

namespace {

std::atomic<unsigned> g_next_name{0};  // the temporary names one process has tried

}  // namespace

FileOutput::FileOutput(std::string path) : path_(std::move(path)) {
    // ".<name>.<pid>-<n>.part" in the target's folder: renamed within one file system.
    const std::size_t slash = path_.rfind('/');
    const std::size_t name_at = slash == std::string::npos ? 0 : slash + 1;
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_.assign(path_, 0, name_at);
        temp_ += '.';
        temp_.append(path_, name_at);
        char digits[48];
        char* end = std::to_chars(digits, digits + 20, static_cast<long>(::getpid())).ptr;
        *end++ = '-';
        end = std::to_chars(end, digits + sizeof digits, g_next_name.fetch_add(1)).ptr;
        temp_.append(digits, end);
        temp_ += ".part";
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt > 100)) throw FileError{errno, path_};
    }
}

FileOutput::~FileOutput() { discard(); }

void FileOutput::discard() noexcept {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(temp_.c_str());
}

void FileOutput::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError{errno, path_};
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void FileOutput::commit() {
    // close() reports the errors of a delayed write (a full disk over NFS).
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || ::rename(temp_.c_str(), path_.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp_.c_str());
        throw FileError{code, path_};
    }
}

}  // namespace hs
