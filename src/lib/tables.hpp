// The Arrow tables as Python sees them: handscribe.Table (one table, read through the Arrow
// PyCapsule interface) and handscribe.Tables (the three of a view or of many files), and the
// reading of many files straight into tables on the worker pool.
#pragma once

#include "lib/glue.hpp"  // Python.h first

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "arrow/arrow.hpp"

namespace hs::py {

using TableSet = std::array<arrow::TableBatches, arrow::kTableCount>;

// Creates the types Tables and Table, adds them to the module and their names to `names`;
// false with an exception set.
bool add_table_types(PyObject* module, PyObject* names);

// A new Tables object that owns the batches; null with an exception set.
PyObject* make_tables(TableSet tables);

// Parses the files on the worker pool with at most `jobs` threads (0: every worker) straight
// into tables, one batch per group of neighbouring files, rows in file order. Files that cannot
// be read or whose site is not recognised are left out, as parse_paths leaves them out; faults
// are thrown. No store outlives its group.
TableSet read_files(const std::vector<std::string>& paths, std::size_t jobs);

}  // namespace hs::py
