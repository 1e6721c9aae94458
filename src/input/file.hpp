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

// A file's text: the bytes as read, or their decoding when the encoding changed them.
struct InputText {
    FileText file;
    std::string decoded;
    std::string_view text;
};

// Reads the file at `path` and decodes it in `encoding` into `out`; an empty message when it
// was read, else "Failed to open file at path '<path>' with error <reason>" (a path that holds a
// NUL byte, a file that cannot be opened or read, or bytes that are not valid UTF-8 under
// Encoding::Utf8, with the offset of the first invalid one).
std::string read_input_file(const std::string& path, Encoding encoding, InputText& out);

}  // namespace hs
