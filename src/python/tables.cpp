// handscribe.Table and handscribe.Tables, and read_files.
//
// A Table keeps its record batches in C++; every __arrow_c_stream__ call hands out a new stream
// whose arrays share those buffers, so pyarrow, polars, DuckDB or any other reader of the
// PyCapsule interface take them without a copy, as often as they like.
#include "python/tables.hpp"

#include <structmember.h>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include <sys/stat.h>

#include "batch/pool.hpp"
#include "core/store_pool.hpp"
#include "sites/parse.hpp"

namespace hs::py {
namespace {

constexpr const char* kStreamCapsule = "arrow_array_stream";
constexpr const char* kSchemaCapsule = "arrow_schema";

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Table
// ---------------------------------------------------------------------------------------------

struct TableObject {
    PyObject_HEAD std::shared_ptr<const arrow::TableBatches> data;
};

PyTypeObject* g_table_type = nullptr;
PyTypeObject* g_tables_type = nullptr;

TableObject* as_table(PyObject* self) noexcept { return reinterpret_cast<TableObject*>(self); }

void table_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    as_table(self)->data.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type);
}

Py_ssize_t table_len(PyObject* self) {
    return static_cast<Py_ssize_t>(as_table(self)->data->rows());
}

// A capsule that a consumer did not take still owns its structure: release it, then free it.
void release_stream_capsule(PyObject* capsule) {
    if (!PyCapsule_IsValid(capsule, kStreamCapsule)) return;
    auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, kStreamCapsule));
    if (stream->release != nullptr) stream->release(stream);
    delete stream;
}

void release_schema_capsule(PyObject* capsule) {
    if (!PyCapsule_IsValid(capsule, kSchemaCapsule)) return;
    auto* schema = static_cast<ArrowSchema*>(PyCapsule_GetPointer(capsule, kSchemaCapsule));
    if (schema->release != nullptr) schema->release(schema);
    delete schema;
}

// __arrow_c_stream__(requested_schema=None). A requested schema is a wish that producers may
// decline: the table is always given in its own schema.
PyObject* table_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
    char* keywords[] = {const_cast<char*>("requested_schema"), nullptr};
    PyObject* requested = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:__arrow_c_stream__", keywords, &requested))
        return nullptr;
    return guarded([&]() -> PyObject* {
        auto stream = std::make_unique<ArrowArrayStream>();
        arrow::export_stream(as_table(self)->data, stream.get());
        PyObject* capsule = PyCapsule_New(stream.get(), kStreamCapsule, &release_stream_capsule);
        if (capsule == nullptr) {
            stream->release(stream.get());
            return nullptr;
        }
        stream.release();
        return capsule;
    });
}

PyObject* table_schema(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        auto schema = std::make_unique<ArrowSchema>();
        schema->release = nullptr;
        try {
            arrow::table_schema(as_table(self)->data->table, schema.get());
        } catch (...) {
            if (schema->release != nullptr) schema->release(schema.get());
            throw;
        }
        PyObject* capsule = PyCapsule_New(schema.get(), kSchemaCapsule, &release_schema_capsule);
        if (capsule == nullptr) {
            schema->release(schema.get());
            return nullptr;
        }
        schema.release();
        return capsule;
    });
}

constexpr const char* kTableNames[arrow::kTableCount] = {"hands", "players", "actions"};

// Table(hands: 1234 rows, 31 columns: hand_id, site, ...)
PyObject* table_repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        const arrow::TableBatches& data = *as_table(self)->data;
        arrow::OwnedSchema schema;
        arrow::table_schema(data.table, &schema.raw);
        const auto index = static_cast<std::size_t>(data.table);
        std::string text = "Table(";
        text += index < arrow::kTableCount ? kTableNames[index] : "?";
        text += ": " + std::to_string(data.rows()) + " rows, " +
                std::to_string(schema.raw.n_children) + " columns: ";
        for (std::int64_t i = 0; i < schema.raw.n_children; ++i) {
            if (i > 0) text += ", ";
            text += schema.raw.children[i]->name;
        }
        text += ')';
        return utf8_to_str(text);
    });
}

constexpr const char* kTableDoc =
    "One table (hands, players or actions) as Arrow record batches held by the module.\n\n"
    "len(table) is its number of rows. Read it with pyarrow.table(table), "
    "polars.from_arrow(table), duckdb or any reader of the Arrow PyCapsule interface "
    "(__arrow_c_stream__): each read shares the table's buffers, without a copy.";

PyMethodDef kTableMethods[] = {
    {"__arrow_c_stream__",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(table_stream)),
     METH_VARARGS | METH_KEYWORDS,
     "__arrow_c_stream__($self, /, requested_schema=None)\n--\n\n"
     "A new Arrow C stream capsule of the table's batches (the requested schema is ignored)."},
    {"__arrow_c_schema__", table_schema, METH_NOARGS,
     "__arrow_c_schema__($self, /)\n--\n\nThe table's schema as an Arrow C schema capsule."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kTableSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
    {Py_tp_dealloc, reinterpret_cast<void*>(table_dealloc)},
    {Py_mp_length, reinterpret_cast<void*>(table_len)},
    {Py_tp_methods, kTableMethods},
    {Py_tp_repr, reinterpret_cast<void*>(table_repr)},
    {Py_tp_doc, const_cast<char*>(kTableDoc)},
    {0, nullptr},
};

PyType_Spec kTableSpec = {
    "handscribe.Table", static_cast<int>(sizeof(TableObject)), 0, Py_TPFLAGS_DEFAULT, kTableSlots,
};

PyObject* make_table(arrow::TableBatches batches) {
    auto data = std::make_shared<const arrow::TableBatches>(std::move(batches));
    PyObject* obj = g_table_type->tp_alloc(g_table_type, 0);
    if (obj == nullptr) return nullptr;
    new (&as_table(obj)->data) std::shared_ptr<const arrow::TableBatches>(std::move(data));
    return obj;
}

// ---------------------------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------------------------

struct TablesObject {
    PyObject_HEAD PyObject* tables[arrow::kTableCount];  // hands, players, actions
    PyObject* rejected;                                  // a list of (path, handscribe.Rejected)
};

void tables_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    for (PyObject* t : reinterpret_cast<TablesObject*>(self)->tables) Py_XDECREF(t);
    Py_XDECREF(reinterpret_cast<TablesObject*>(self)->rejected);
    type->tp_free(self);
    Py_DECREF(type);
}

PyMemberDef kTablesMembers[] = {
    {"hands", T_OBJECT_EX, offsetof(TablesObject, tables), READONLY,
     "The hands table: one row per hand, with the file it was read from in `source`."},
    {"players", T_OBJECT_EX, offsetof(TablesObject, tables) + sizeof(PyObject*), READONLY,
     "The players table: one row per seated player of each hand."},
    {"actions", T_OBJECT_EX, offsetof(TablesObject, tables) + 2 * sizeof(PyObject*), READONLY,
     "The actions table: one row per action of each hand, in hand order."},
    {"rejected", T_OBJECT_EX, offsetof(TablesObject, rejected), READONLY,
     "The hand starts of the files that gave no row, as (path, handscribe.Rejected) pairs in "
     "file order."},
    {nullptr, 0, 0, 0, nullptr},
};

// Tables(hands=1234 rows, players=..., actions=..., rejected=5)
PyObject* tables_repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        const auto* set = reinterpret_cast<TablesObject*>(self);
        std::string text = "Tables(";
        for (std::size_t t = 0; t < arrow::kTableCount; ++t) {
            text += kTableNames[t];
            text += '=';
            text += std::to_string(as_table(set->tables[t])->data->rows()) + " rows, ";
        }
        const Py_ssize_t rejected = set->rejected != nullptr ? PyList_Size(set->rejected) : 0;
        text += "rejected=" + std::to_string(rejected) + ')';
        return utf8_to_str(text);
    });
}

constexpr const char* kTablesDoc =
    "The hands, players and actions tables of a view (HandView.to_arrow) or of many files "
    "(handscribe.read_tables), each a handscribe.Table, and the hand starts that gave no row "
    "(.rejected). `hands, players, actions = tables` unpacks the three tables.";

// Iteration gives the three tables, so that a Tables unpacks like the Dask reader's trio.
PyObject* tables_iter(PyObject* self) {
    const auto* set = reinterpret_cast<TablesObject*>(self);
    Ref tuple(PyTuple_Pack(3, set->tables[0], set->tables[1], set->tables[2]));
    if (!tuple) return nullptr;
    return PyObject_GetIter(tuple.get());
}

PyType_Slot kTablesSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
    {Py_tp_dealloc, reinterpret_cast<void*>(tables_dealloc)},
    {Py_tp_members, kTablesMembers},
    {Py_tp_repr, reinterpret_cast<void*>(tables_repr)},
    {Py_tp_iter, reinterpret_cast<void*>(tables_iter)},
    {Py_tp_doc, const_cast<char*>(kTablesDoc)},
    {0, nullptr},
};

PyType_Spec kTablesSpec = {
    "handscribe.Tables", static_cast<int>(sizeof(TablesObject)), 0, Py_TPFLAGS_DEFAULT,
    kTablesSlots,
};

bool add_type(PyObject* module, PyObject* names, PyType_Spec& spec, PyTypeObject*& type) {
    if (type == nullptr) {
        type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
        if (type == nullptr) return false;
    }
    const char* name = spec.name + sizeof("handscribe.") - 1;
    Py_INCREF(type);
    if (PyModule_AddObject(module, name, reinterpret_cast<PyObject*>(type)) < 0) {
        Py_DECREF(type);
        return false;
    }
    Ref text(PyUnicode_FromString(name));
    return text && PyList_Append(names, text.get()) == 0;
}

// ---------------------------------------------------------------------------------------------
// Reading files
// ---------------------------------------------------------------------------------------------

// Neighbouring files of about `target` bytes together (a file larger than that alone).
std::vector<std::size_t> group_starts(const std::vector<std::uint64_t>& sizes,
                                      std::uint64_t target) {
    std::vector<std::size_t> starts;
    std::uint64_t filled = target;  // the first file opens a group
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (filled >= target) {
            starts.push_back(i);
            filled = 0;
        }
        filled += sizes[i];
    }
    starts.push_back(sizes.size());
    return starts;
}

}  // namespace

bool add_table_types(PyObject* module, PyObject* names) {
    return add_type(module, names, kTablesSpec, g_tables_type) &&
           add_type(module, names, kTableSpec, g_table_type);
}

PyObject* make_tables(TableSet tables, const FileRejections& rejected) {
    Ref list(PyList_New(0));
    if (!list) return nullptr;
    for (const auto& [path, file_rejected] : rejected) {
        for (const Rejection& r : file_rejected) {
            Ref item(new_rejected(r.line, r.hand_id, r.reason));
            if (!item) return nullptr;
            Ref pair(Py_BuildValue("(NO)", utf8_to_str(path), item.get()));
            if (!pair || PyList_Append(list.get(), pair.get()) < 0) return nullptr;
        }
    }
    PyObject* obj = g_tables_type->tp_alloc(g_tables_type, 0);
    if (obj == nullptr) return nullptr;
    auto* set = reinterpret_cast<TablesObject*>(obj);
    set->rejected = list.release();
    for (std::size_t t = 0; t < arrow::kTableCount; ++t) {
        set->tables[t] = make_table(std::move(tables[t]));
        if (set->tables[t] == nullptr) {
            Py_DECREF(obj);
            return nullptr;
        }
    }
    return obj;
}

TableSet read_files(const std::vector<std::string>& paths, std::size_t jobs, Errors errors,
                    Encoding encoding, FileRejections& rejected) {
    // Groups small enough that every thread gets several (files differ in size), large enough
    // that a batch holds thousands of hands.
    std::vector<std::uint64_t> sizes(paths.size(), 0);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        struct stat st {};
        if (::stat(paths[i].c_str(), &st) == 0) sizes[i] = static_cast<std::uint64_t>(st.st_size);
        total += sizes[i];
    }
    const std::uint64_t threads =
        jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const std::uint64_t target = std::clamp<std::uint64_t>(total / (4 * threads), kMiB, 32 * kMiB);
    const std::vector<std::size_t> starts = group_starts(sizes, target);
    const std::size_t groups = starts.size() - 1;

    std::vector<TableSet> parts(groups);
    std::vector<std::vector<Rejection>> file_rejected(paths.size());  // each written by one group
    pool::run_each(
        groups,
        [&](std::size_t g) {
            arrow::TablesBuilder builder;
            for (std::size_t i = at(starts, g); i < at(starts, g + 1); ++i) {
                ParseResult r = parse_file(at(paths, i), errors, encoding);
                if (r.ok()) {
                    builder.add(*r.store, Span::make(0, r.store->hands.size()), paths[i]);
                    store_pool::give(std::move(r.store));  // the next file fills it
                } else
                    r.rejected.push_back({0, {}, std::move(r.error)});
                at(file_rejected, i) = std::move(r.rejected);
            }
            parts[g] = builder.finish();
        },
        jobs);
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (!file_rejected[i].empty()) rejected.emplace_back(paths[i], std::move(file_rejected[i]));

    TableSet out;
    for (std::size_t t = 0; t < arrow::kTableCount; ++t) {
        out[t].table = static_cast<arrow::TableId>(t);
        for (TableSet& part : parts)
            for (arrow::OwnedArray& batch : part[t].batches)
                out[t].batches.push_back(std::move(batch));
    }
    return out;
}

}  // namespace hs::py
