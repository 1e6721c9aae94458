// A file written whole or not at all. The bytes go to a new file beside the target, which takes
// the target's name only when every byte is written (a rename, atomic on one file system): an
// error, an exception or a crash halfway leaves any earlier file of that name as it was and no
// half-written file under it.
#pragma once

#include <string>
#include <string_view>

#include "core/out_buffer.hpp"

namespace hs {

// A system call that failed on a file: errno's code and the path the caller named.
struct FileError {
    int code;
    std::string path;
};

class FileOutput final : public OutputSink {
  public:
    // Creates the new file beside `path` (mode 0666 less the umask, as open() would). Throws
    // FileError naming `path`.
    explicit FileOutput(std::string path);
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;
    // Removes the new file unless commit() has given it the target's name.
    ~FileOutput();

    // Appends bytes; throws FileError.
    void write(std::string_view bytes) override;
    // Closes the file and renames it to the target; throws FileError, the new file removed.
    void commit();

  private:
    void discard() noexcept;

    std::string path_, temp_;
    int fd_ = -1;
};

}  // namespace hs
