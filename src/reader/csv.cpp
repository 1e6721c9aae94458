// The comma-separated values reader (see csv.hpp).
#include "reader/csv.hpp"

#include "core/fault.hpp"
#include "core/format.hpp"

namespace hs {
namespace {

std::string at_line(std::string what, std::uint64_t line) {
    what += ", line ";
    append_u64(what, line);
    return what;
}

}  // namespace

std::string_view CsvTable::field(std::size_t record, std::size_t column) const {
    if (column >= columns) fault_index(column, columns);
    const CsvField& f = at(fields, record * columns + column);
    if (f.offset > text.size() || f.length > text.size() - f.offset)
        fault_index(f.offset + f.length, text.size());
    return std::string_view(text).substr(f.offset, f.length);
}

std::string read_csv(std::string_view text, CsvTable& table) {
    table = CsvTable{};
    table.text.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t i = 0;
    std::uint64_t line = 1;
    std::size_t in_record = 0;  // fields read of the current record
    while (i < n) {
        if (in_record == 0) table.lines.push_back(line);
        const std::uint64_t start = table.text.size();
        if (text[i] == '"') {
            // A quoted field: up to the quote that is not doubled.
            ++i;
            for (;;) {
                if (i >= n) return at_line("quoted field left open", table.lines.back());
                const char c = text[i];
                if (c == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        table.text.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (c == '\n') ++line;
                table.text.push_back(c);
                ++i;
            }
        } else {
            while (i < n && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
                if (text[i] == '"') return at_line("quote inside an unquoted field", line);
                table.text.push_back(text[i++]);
            }
        }
        table.fields.push_back(CsvField{start, table.text.size() - start});
        ++in_record;
        // What ends the field: a comma, the record's end, or the text's end.
        if (i < n && text[i] == ',') {
            ++i;
            if (i == n)
                table.fields.push_back(CsvField{table.text.size(), 0}), ++in_record;
            else
                continue;
        } else if (i < n && text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') {
            i += 2;
        } else if (i < n && text[i] == '\n') {
            ++i;
        } else if (i < n) {
            return at_line("text after a quoted field", line);
        }
        if (table.columns == 0) table.columns = in_record;
        if (in_record != table.columns) {
            std::string m = "record of ";
            append_u64(m, in_record);
            m += " fields where the header has ";
            append_u64(m, table.columns);
            return at_line(std::move(m), table.lines.back());
        }
        in_record = 0;
        ++line;
    }
    if (in_record != 0) {
        if (table.columns == 0) table.columns = in_record;
        if (in_record != table.columns) return at_line("record cut off", table.lines.back());
    }
    return {};
}

}  // namespace hs
