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

// A decimal number, `units` × 10^`exp`; `units` ends in no zero digit unless it is 0.
struct Decimal {
    std::int64_t units = 0;
    int exp = 0;
    bool operator==(const Decimal&) const = default;
};
// The shortest decimal that reads back as the finite float v: the digits append_f32_plain
// writes. Whole cents and whole numbers are found by arithmetic, other values from their digits.
Decimal shortest_decimal(float v);
// The decimal a history wrote for an amount stored as v. The amount readers take some amounts in
// two steps, the whole part and then the cents, each made a float and then added in float (the
// grouped amounts): "1.84" is then 1 + 0.84f, the float next below the one nearest 1.84, whose
// shortest decimal is 1.8399999. So when the shortest decimal has more than two places and a
// two-place amount read that way gives exactly v, that amount is the one written; otherwise the
// shortest decimal is.
Decimal written_decimal(float v);
// The double nearest to a decimal.
double decimal_double(Decimal d);
// The float nearest to the sum of two written amounts (the float sum of two amounts is not
// always the float of their sum: 0.03f + 0.02f is 0.049999997f).
float written_sum(float a, float b);
// "YYYY/MM/DD hh:mm:ss" of a packed date, stored values as they are.
void append_date(std::string& out, PackedDate date);

}  // namespace hs
