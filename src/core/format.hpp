// Number and date forms, shared by the text forms and the JSON writer.
#pragma once

#include <cstdint>
#include <string>

#include "core/model.hpp"

namespace hs {

// Record float form: shortest round-trip digits, always with a fractional part; exponent form
// for magnitudes >= 1e16 and non-zero magnitudes < 1e-4 ("1.0", "0.25", "1e16", "5e-5").
void append_f32_record(std::string& out, float v);
// Plain form: shortest round-trip digits, positional, no fraction for whole values, never an
// exponent ("1", "0.25", "10000000000").
void append_f32_plain(std::string& out, float v);
void append_u64(std::string& out, std::uint64_t v);
// "YYYY/MM/DD hh:mm:ss" of a packed date, stored values as they are.
void append_date(std::string& out, PackedDate date);

}  // namespace hs
