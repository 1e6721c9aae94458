// A small reader of comma-separated values, as spreadsheet programs and web sites export them:
// fields separated by ',', records by "\n" or "\r\n", and a field in double quotes may hold
// commas, line breaks and doubled quotes ("" for one "). No allocation per field: the fields'
// texts are copied once into one buffer, and each field is an offset and a length into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hs {

struct CsvField {
    std::uint64_t offset = 0;  // into CsvTable::text
    std::uint64_t length = 0;
};

// Every record of a text, `columns` fields each.
struct CsvTable {
    std::string text;                  // the fields' texts, unquoted, back to back
    std::vector<CsvField> fields;      // record r's field c is fields[r * columns + c]
    std::vector<std::uint64_t> lines;  // the 1-based line on which each record begins
    std::size_t columns = 0;

    std::size_t records() const noexcept { return columns == 0 ? 0 : fields.size() / columns; }
    // The text of field `column` of record `record`; faults outside the table.
    std::string_view field(std::size_t record, std::size_t column) const;
};

// Reads the records of `text` into `table`, with the number of fields of the first record as the
// table's columns. An empty reason when every record was read; else what is wrong and on which
// line ("record of 2 fields where the header has 3, line 7", "quoted field left open, line 9", a
// quote inside a field that does not begin with one).
std::string read_csv(std::string_view text, CsvTable& table);

}  // namespace hs
