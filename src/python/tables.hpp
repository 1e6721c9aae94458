// The Arrow tables as Python sees them: handscribe.Table (one table, read through the Arrow
// PyCapsule interface) and handscribe.Tables (the three of a view or of many files), and the
// reading of many files straight into tables on the worker pool.
#pragma once

#include "python/glue.hpp"  // Python.h first

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "export/arrow.hpp"
#include "sites/parse.hpp"

namespace hs::py {

using TableSet = std::array<arrow::TableBatches, arrow::kTableCount>;

// Creates the types Tables and Table, adds them to the module and their names to `names`;
// false with an exception set.
bool add_table_types(PyObject* module, PyObject* names);

// The rejected hand starts of each file read into tables (a file that could not be read as a
// whole: one at line 0 with the message), in file order.
using FileRejections = std::vector<std::pair<std::string, std::vector<Rejection>>>;

// A new Tables object that owns the batches, with its list of (path, handscribe.Rejected) pairs;
// null with an exception set.
PyObject* make_tables(TableSet tables, const FileRejections& rejected = {});

// Parses the files on the worker pool with at most `jobs` threads (0: every worker) straight
// into tables, one batch per group of neighbouring files, rows in file order; the files' rejected
// hand starts go to `rejected`. Files that cannot be read as a whole are left out, each with
// one rejection at line 0 holding the message, in both modes; faults are thrown. No store
// outlives its group.
TableSet read_files(const std::vector<std::string>& paths, std::size_t jobs, Errors errors,
                    Encoding encoding, FileRejections& rejected);

}  // namespace hs::py
