// The byte encodings that hand-history files are written in, decoded to the UTF-8 that every
// reader of the project takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hs {

// - Utf8: the bytes must be valid UTF-8 (the caller reports the first invalid one); a leading
//   byte-order mark is dropped by site detection.
// - Cp1252: Windows code page 1252, which older clients wrote: bytes below 0x80 are ASCII,
//   0x80-0x9F the code page's letters and signs (0x80 is the euro sign), 0xA0-0xFF the code point
//   of their value; the five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
//   become U+FFFD.
// - Latin1: ISO-8859-1, every byte the code point of its value.
//   Under both single-byte encodings the bytes of a UTF-8 byte-order mark are three characters
//   like any others ("ï»¿"): those code pages have no such mark.
// - Auto: a text that begins with the byte-order mark of UTF-16 (FF FE little-endian, FE FF
//   big-endian: Windows clients write their histories so) is UTF-16: a surrogate without its
//   other half, and an odd byte at the end, become U+FFFD. Else a text that is valid UTF-8 is
//   read as it is. A text that holds at least one
//   well-formed multi-byte UTF-8 sequence (a byte-order mark is one) is UTF-8 with damaged
//   bytes, as a tool that mangled a name leaves it: each byte that belongs to no well-formed
//   sequence becomes U+FFFD. A text with no well-formed multi-byte sequence at all is cp1252.
enum class Encoding : std::uint8_t { Utf8, Cp1252, Latin1, Auto };

// The UTF-8 text of `bytes` read in `encoding`: `bytes` itself when they are read unchanged,
// else a view of `buffer`, which then holds the decoded text. Valid UTF-8 read with Auto costs
// one validating pass and no copy; Utf8 gives the bytes as they are (the caller checks them).
std::string_view decode_text(std::string_view bytes, Encoding encoding, std::string& buffer);

}  // namespace hs
