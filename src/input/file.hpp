// Reading a file's bytes and decoding them to the UTF-8 text that every reader takes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "input/decode.hpp"

namespace hs {

// The bytes of a file, in a buffer that is never zero-filled first.
struct FileText {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t capacity = 0;
    std::string_view view() const noexcept { return {data.get(), size}; }
    void grow(std::size_t to);
};

// A file mapped into memory, read-only; unmapped when it goes.
struct MappedFile {
    const char* data = nullptr;
    std::size_t size = 0;
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& o) noexcept;
    MappedFile& operator=(MappedFile&& o) noexcept;
    ~MappedFile();
    std::string_view view() const noexcept { return {data, size}; }
};

// A file's text: the bytes as read (mapped, for a large regular file, or copied), or their
// decoding when the encoding changed them.
struct InputText {
    MappedFile mapped;
    FileText file;
    std::string decoded;
    std::string_view text;
};

// Regular files of at least this size are mapped rather than copied; below it a read(2) costs
// less than setting up and tearing down the mapping.
inline constexpr std::size_t kMapThreshold = std::size_t{1} << 20;

// Reads the file at `path` and decodes it in `encoding` into `out`; an empty message when it
// was read, else "Failed to open file at path '<path>' with error <reason>" (a path that holds a
// NUL byte, a file that cannot be opened or read, or bytes that are not valid UTF-8 under
// Encoding::Utf8, with the offset of the first invalid one).
std::string read_input_file(const std::string& path, Encoding encoding, InputText& out);

// The first step of read_input_file: the file's bytes in `out` (out.text), neither checked nor
// decoded. A large file's mapping has its pages populated at once unless `populate` is false,
// for a caller that reads them on several threads (see prefault_pages).
std::string read_input_bytes(const std::string& path, InputText& out, bool populate);
// read_input_file's message for a file whose bytes are not valid UTF-8 from `offset` on.
std::string invalid_utf8_message(const std::string& path, std::size_t offset);
// Maps the pages of `bytes`, a range of a file mapping, in one request rather than one fault at
// a time (where the kernel can; else they fault in as they are read).
void prefault_pages(std::string_view bytes) noexcept;

}  // namespace hs
