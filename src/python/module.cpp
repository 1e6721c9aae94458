// The Python extension handscribe._handscribe: the module functions, the HandView class and
// argument conversion.
#include "python/glue.hpp"  // Python.h first

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "batch/pool.hpp"
#include "batch/split.hpp"
#include "core/fault.hpp"
#include "core/file_output.hpp"
#include "core/format.hpp"
#include "core/model.hpp"
#include "core/store_pool.hpp"
#include "core/utf8.hpp"
#include "export/json.hpp"
#include "export/ohh.hpp"
#include "export/text_form.hpp"
#include "python/tables.hpp"
#include "python/view.hpp"
#include "sites/parse.hpp"

namespace {

constexpr const char* kModuleDoc = "A blazingly fast parser for poker hand histories";

using hs::py::guarded;
using hs::py::lock_held;
using hs::py::new_rejected;
using hs::py::panic_type;
using hs::py::raise;
using hs::py::raise_with_message;
using hs::py::Ref;
using hs::py::unlocked;
using hs::py::utf8_to_str;

// ---------------------------------------------------------------------------------------------
// Argument conversion
// ---------------------------------------------------------------------------------------------

std::string type_name(PyObject* obj) {
    Ref qualname(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__qualname__"));
    if (qualname && PyUnicode_Check(qualname.get())) {
        Py_ssize_t n = 0;
        if (const char* s = PyUnicode_AsUTF8AndSize(qualname.get(), &n))
            return std::string(s, static_cast<std::size_t>(n));
    }
    PyErr_Clear();
    return Py_TYPE(obj)->tp_name;
}

// TypeError "argument '<param>': '<type>' object cannot be converted to '<target>'".
void conversion_error(const char* param, PyObject* obj, const char* target) {
    std::string message = "argument '";
    message += param;
    message += "': '";
    message += type_name(obj);
    message += "' object cannot be converted to '";
    message += target;
    message += '\'';
    raise_with_message(PyExc_TypeError, message);
}

// The UTF-8 of a str argument, valid while the object lives; false with an exception set.
// Lone surrogates raise CPython's own UnicodeEncodeError.
bool text_arg(PyObject* obj, const char* param, std::string_view& out) {
    if (!PyUnicode_Check(obj)) {
        conversion_error(param, obj, "PyString");
        return false;
    }
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(obj, &n);
    if (p == nullptr) return false;
    out = std::string_view(p, static_cast<std::size_t>(n));
    return true;
}

// A path argument: a str, or an os.PathLike whose path is a str. Returns a new reference to
// the str, or null with an exception set.
PyObject* path_arg(PyObject* obj, const char* param) {
    if (PyUnicode_Check(obj)) {
        Py_INCREF(obj);
        return obj;
    }
    Ref method(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__fspath__"));
    if (!method) {
        PyErr_Clear();
        conversion_error(param, obj, "PyString");
        return nullptr;
    }
    Ref path(PyOS_FSPath(obj));
    if (!path) return nullptr;  // the object's own __fspath__ failed
    if (!PyUnicode_Check(path.get())) {
        conversion_error(param, obj, "PyString");
        return nullptr;
    }
    return path.release();
}

bool path_text(PyObject* obj, const char* param, std::string& out) {
    Ref path(path_arg(obj, param));
    if (!path) return false;
    std::string_view text;
    if (!text_arg(path.get(), param, text)) return false;
    out.assign(text);
    return true;
}

// The items of a sequence argument, each converted as a single text or path argument. False
// with an exception set; the first failing item ends the conversion. Texts are read in place:
// `views` gets each str's UTF-8 and `held` (a list) a reference to the str, which keeps it alive;
// paths are copied into `out`.
bool collect_texts(PyObject* seq, const char* param, bool paths, std::vector<std::string>& out,
                   std::vector<std::string_view>* views = nullptr, PyObject* held = nullptr) {
    if (!PySequence_Check(seq)) {
        conversion_error(param, seq, "Sequence");
        return false;
    }
    Py_ssize_t hint = PySequence_Size(seq);  // only sizes the list
    if (hint < 0) {
        PyErr_Clear();
        hint = 0;
    }
    out.reserve(static_cast<std::size_t>(hint));
    Ref iter(PyObject_GetIter(seq));
    if (!iter) return false;
    for (;;) {
        Ref item(PyIter_Next(iter.get()));
        if (!item) break;
        if (paths) {
            std::string path;
            if (!path_text(item.get(), param, path)) return false;
            out.push_back(std::move(path));
        } else {
            std::string_view text;
            if (!text_arg(item.get(), param, text)) return false;
            if (views == nullptr || held == nullptr) {
                out.emplace_back(text);
            } else {
                if (PyList_Append(held, item.get()) < 0) return false;
                views->push_back(text);
            }
        }
    }
    return PyErr_Occurred() == nullptr;
}

// ---------------------------------------------------------------------------------------------
// HandView
// ---------------------------------------------------------------------------------------------

using hs::py::ViewObject;

PyTypeObject* g_view_type = nullptr;  // created once, at import

ViewObject* as_view(PyObject* self) noexcept { return reinterpret_cast<ViewObject*>(self); }

// A new view over `hands` of a shared store; null with an exception set. Every view, whether
// a parse returned it or it was cut from another view, is made here.
PyObject* new_view(std::shared_ptr<const hs::HandStore> store, hs::Span hands) {
    PyObject* obj = g_view_type->tp_alloc(g_view_type, 0);
    if (obj == nullptr) return nullptr;
    ViewObject* view = as_view(obj);
    new (&view->store) std::shared_ptr<const hs::HandStore>(std::move(store));
    view->hands = hands;
    view->rejected = nullptr;
    return obj;
}

// The view that a parse returns: every hand of the store, and the rejected hand starts as a list
// of handscribe.Rejected values. Null with an exception set.
PyObject* make_view(std::unique_ptr<hs::HandStore> store,
                    const std::vector<hs::Rejection>& rejected) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(rejected.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < rejected.size(); ++i) {
        const hs::Rejection& r = rejected[i];
        PyObject* item = new_rejected(r.line, r.hand_id, r.reason);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    const hs::Span hands = hs::Span::make(0, store->hands.size());
    // The last view or hand of the store to go gives it back for the next parse to fill.
    PyObject* view = new_view(
        std::shared_ptr<const hs::HandStore>(store.release(), hs::store_pool::GiveBack{}), hands);
    if (view != nullptr) as_view(view)->rejected = list.release();
    return view;
}

PyObject* view_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

void view_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Py_XDECREF(as_view(self)->rejected);
    as_view(self)->store.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type);
}

Py_ssize_t view_len(PyObject* self) {
    return static_cast<Py_ssize_t>(as_view(self)->hands.count());
}

// A sub-view shares the store: it costs one small object and keeps the store alive by itself.
// `view[i]` takes positions as lists do and gives a handscribe.Hand; out of range is an
// IndexError, not a fault.
PyObject* view_item(PyObject* self, Py_ssize_t index) {
    return guarded([&]() -> PyObject* {
        const ViewObject* view = as_view(self);
        const std::optional<hs::Span> hand = view->hands.item(index);
        if (!hand) {
            PyErr_SetString(PyExc_IndexError, "HandView index out of range");
            return nullptr;
        }
        return hs::py::new_hand(view->store, *hand);
    });
}

// The sequence protocol's item slot (iteration, reversed()): the protocol has already counted
// a negative index from the end, so one still negative lies before the first hand.
PyObject* view_sequence_item(PyObject* self, Py_ssize_t index) {
    return view_item(self, index < 0 ? PY_SSIZE_T_MIN : index);
}

// `view[i]` and `view[a:b]`. Every writer takes one contiguous run of hands, so a slice with a
// step other than 1 is refused rather than turned into a list of indices.
PyObject* view_subscript(PyObject* self, PyObject* key) {
    if (PyIndex_Check(key)) {
        // Clipped, not raised: an index beyond any size is simply out of range.
        const Py_ssize_t index = PyNumber_AsSsize_t(key, nullptr);
        if (index == -1 && PyErr_Occurred()) return nullptr;  // the object's own __index__
        return view_item(self, index);
    }
    if (PySlice_Check(key)) {
        Py_ssize_t start = 0, stop = 0, step = 0;
        if (PySlice_Unpack(key, &start, &stop, &step) < 0) return nullptr;  // zero step, bad ends
        if (step != 1) {
            PyErr_SetString(PyExc_ValueError, "HandView slice step must be 1");
            return nullptr;
        }
        return guarded([&]() -> PyObject* {
            const ViewObject* view = as_view(self);
            return new_view(view->store, view->hands.sub(start, stop));
        });
    }
    return guarded([&]() -> PyObject* {
        conversion_error("index", key, "int | slice");
        return nullptr;
    });
}

PyObject* view_text(PyObject* self, bool pretty) {
    return guarded([&]() -> PyObject* {
        const ViewObject* view = as_view(self);
        const std::string text = hs::hands_text(*view->store, view->hands, pretty);
        return utf8_to_str(text);
    });
}
PyObject* view_repr(PyObject* self) { return view_text(self, false); }
PyObject* view_str(PyObject* self) { return view_text(self, true); }

// Defined with the module functions below, which share the argument conversion.
PyObject* view_to_json(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* view_to_json_ohh(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* view_to_ohh(PyObject* self, PyObject* args, PyObject* kwargs);

// The three Arrow tables of the view's hands, built with the interpreter lock released.
PyObject* view_to_arrow(PyObject* self, PyObject*) {
    const std::shared_ptr<const hs::HandStore> store = as_view(self)->store;
    const hs::Span hands = as_view(self)->hands;
    hs::py::TableSet tables;
    auto error = unlocked([&] {
        hs::arrow::TablesBuilder builder;
        builder.add(*store, hands, {});
        tables = builder.finish();
    });
    if (error) return raise(error);
    return guarded([&] { return hs::py::make_tables(std::move(tables)); });
}

// A new list each time for a view cut from another, which holds none.
PyObject* view_rejected(PyObject* self, void*) {
    PyObject* list = as_view(self)->rejected;
    if (list == nullptr) return PyList_New(0);
    Py_INCREF(list);
    return list;
}

// Two views are equal when they show the same hands of the same parse: `view[2] == view[2]`,
// while the same text parsed twice gives views that differ. Hashes follow equality.
bool same_hands(PyObject* a, PyObject* b) {
    return as_view(a)->store == as_view(b)->store && as_view(a)->hands == as_view(b)->hands;
}

PyObject* view_richcompare(PyObject* self, PyObject* other, int op) {
    if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, g_view_type))
        Py_RETURN_NOTIMPLEMENTED;
    return PyBool_FromLong(same_hands(self, other) == (op == Py_EQ));
}

Py_hash_t view_hash(PyObject* self) {
    const auto store = reinterpret_cast<std::uintptr_t>(as_view(self)->store.get());
    const std::uint64_t raw = as_view(self)->hands.raw;
    Py_hash_t h = static_cast<Py_hash_t>((store >> 4) ^ (raw * 0x9E3779B97F4A7C15ULL));
    return h == -1 ? -2 : h;
}

// The position of `value` among the view's one-hand views, or -1 when it is none of them.
std::int64_t position_of(PyObject* self, PyObject* value) {
    if (!PyObject_TypeCheck(value, g_view_type)) return -1;
    const ViewObject* view = as_view(self);
    const ViewObject* item = as_view(value);
    if (item->store != view->store || item->hands.count() != 1) return -1;
    const std::uint64_t start = view->hands.start();
    const std::uint64_t at = item->hands.start();
    if (at < start || at - start >= view->hands.count()) return -1;
    return static_cast<std::int64_t>(at - start);
}

int view_contains(PyObject* self, PyObject* value) { return position_of(self, value) >= 0; }

PyObject* view_count(PyObject* self, PyObject* value) {
    return PyLong_FromLong(position_of(self, value) >= 0 ? 1 : 0);
}

// index(value[, start[, stop]]), as list.index: start and stop clamp as slice ends do.
PyObject* view_index(PyObject* self, PyObject* args) {
    PyObject* value = nullptr;
    Py_ssize_t start = 0;
    Py_ssize_t stop = PY_SSIZE_T_MAX;
    if (!PyArg_ParseTuple(args, "O|nn:index", &value, &start, &stop)) return nullptr;
    const Py_ssize_t n = view_len(self);
    if (start < 0) start = std::max<Py_ssize_t>(0, start + n);
    if (stop < 0) stop = std::max<Py_ssize_t>(0, stop + n);
    const std::int64_t at = position_of(self, value);
    if (at >= 0 && at >= start && at < stop) return PyLong_FromLongLong(at);
    PyErr_SetString(PyExc_ValueError, "HandView.index(x): x not in view");
    return nullptr;
}

PyGetSetDef kViewGetSet[] = {
    {"rejected", view_rejected, nullptr,
     "The hand starts of the parsed text that gave no hand, as handscribe.Rejected values in "
     "text order (empty for a view cut from another).",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kViewMethods[] = {
    {"to_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(view_to_json)),
     METH_VARARGS | METH_KEYWORDS,
     "to_json($self, /, *, path=None, as_bytes=False)\n--\n\n"
     "The view's hands in the module's own JSON layout: an array with one object per hand. "
     "Same text as handscribe.to_json(view), which releases the interpreter lock while "
     "writing; path and as_bytes as there."},
    {"to_json_ohh", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(view_to_json_ohh)),
     METH_VARARGS | METH_KEYWORDS,
     "to_json_ohh($self, /, *, path=None, as_bytes=False)\n--\n\n"
     "The view's hands as an array of Open Hand History 1.4.1 objects (a layout that refuses "
     "hands with actions: use to_ohh for the standard export). Same text as "
     "handscribe.to_json_ohh(view)."},
    {"to_ohh", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(view_to_ohh)),
     METH_VARARGS | METH_KEYWORDS,
     "to_ohh($self, /, *, errors='strict', path=None, as_bytes=False)\n--\n\n"
     "The view's hands as an Open Hand History (.ohh) text, as handscribe.to_ohh(view)."},
    {"to_arrow", view_to_arrow, METH_NOARGS,
     "to_arrow($self, /)\n--\n\n"
     "The view's hands as a handscribe.Tables: the hands, players and actions tables, read "
     "with pyarrow.table(t), polars.from_arrow(t) or any reader of the Arrow PyCapsule "
     "interface."},
    {"index", view_index, METH_VARARGS,
     "index($self, value, start=0, stop=sys.maxsize, /)\n--\n\n"
     "The position of a one-hand view of this view (ValueError when it is none)."},
    {"count", view_count, METH_O,
     "count($self, value, /)\n--\n\n"
     "1 when value is one of the view's one-hand views, else 0."},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char* kViewDoc =
    "The hands of one parsed text, or a run of them; made by the parse functions.\n\n"
    "A view is a read-only sequence of one-hand views: len(view) hands, view[i] (negative from "
    "the end), view[a:b] (step 1 only), iteration, reversed(), `in`, index() and count(). "
    "Views share the parsed store; two views are equal when they show the same hands of the "
    "same parse. repr() and str() print the hands as records; to_json(), to_json_ohh(), "
    "to_ohh() and to_arrow() write them; .rejected lists the hand starts that gave no hand.";

PyType_Slot kViewSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(view_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(view_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(view_repr)},
    {Py_tp_str, reinterpret_cast<void*>(view_str)},
    {Py_mp_length, reinterpret_cast<void*>(view_len)},
    {Py_mp_subscript, reinterpret_cast<void*>(view_subscript)},
    {Py_sq_length, reinterpret_cast<void*>(view_len)},
    {Py_sq_item, reinterpret_cast<void*>(view_sequence_item)},
    {Py_tp_methods, kViewMethods},
    {Py_tp_getset, kViewGetSet},
    {Py_tp_richcompare, reinterpret_cast<void*>(view_richcompare)},
    {Py_tp_hash, reinterpret_cast<void*>(view_hash)},
    {Py_sq_contains, reinterpret_cast<void*>(view_contains)},
    {Py_tp_doc, const_cast<char*>(kViewDoc)},
    {0, nullptr},
};

PyType_Spec kViewSpec = {
    // A base type for handscribe.Hand, the view of one hand.
    "handscribe.HandView",
    static_cast<int>(sizeof(ViewObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    kViewSlots,
};

// ---------------------------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------------------------

// A keyword argument whose value is one of a few names: a str, else TypeError; one of the names,
// else ValueError naming them all. False with the exception set.
template <class T, std::size_t N>
bool choice_arg(PyObject* obj, const char* param, const std::pair<std::string_view, T> (&names)[N],
                T& out) {
    if (obj == nullptr) return true;  // not given: the default stays
    std::string_view text;
    if (!text_arg(obj, param, text)) return false;
    for (const auto& [name, value] : names) {
        if (text == name) {
            out = value;
            return true;
        }
    }
    std::string message = "argument '";
    message += param;
    message += "' must be one of ";
    for (std::size_t i = 0; i < N; ++i) {
        message += i == 0 ? "'" : ", '";
        message += names[i].first;
        message += '\'';
    }
    message += ", not ";
    hs::append_quoted(message, text);
    raise_with_message(PyExc_ValueError, message);
    return false;
}

constexpr std::pair<std::string_view, hs::Errors> kErrorsNames[] = {
    {"strict", hs::Errors::Strict},
    {"skip", hs::Errors::Skip},
};
constexpr std::pair<std::string_view, hs::Encoding> kEncodingNames[] = {
    {"utf-8", hs::Encoding::Utf8},
    {"cp1252", hs::Encoding::Cp1252},
    {"latin-1", hs::Encoding::Latin1},
    {"auto", hs::Encoding::Auto},
};

// `jobs`: None (every worker of the pool) or an int of at least 1. False with an exception set.
bool jobs_arg(PyObject* obj, std::size_t& out) {
    if (obj == nullptr || obj == Py_None) return true;
    if (!PyLong_Check(obj)) {
        conversion_error("jobs", obj, "int");
        return false;
    }
    const long long n = PyLong_AsLongLong(obj);
    if (n == -1 && PyErr_Occurred()) return false;
    if (n < 1) {
        PyErr_SetString(PyExc_ValueError, "jobs must be at least 1");
        return false;
    }
    out = static_cast<std::size_t>(n);
    return true;
}

// The arguments of a parse function: the input (positional or by keyword), then the keyword-only
// `errors`, for paths `encoding`, and for the batch functions `jobs`. False with an exception
// set.
struct ParseArgs {
    PyObject* input = nullptr;
    hs::Errors errors = hs::Errors::Strict;
    hs::Encoding encoding = hs::Encoding::Utf8;
    std::size_t jobs = 0;  // every worker
};

bool parse_args(PyObject* args, PyObject* kwargs, const char* format, const char* name, bool paths,
                bool batch, ParseArgs& out) {
    char* keywords[5] = {const_cast<char*>(name), const_cast<char*>("errors"), nullptr, nullptr,
                         nullptr};
    PyObject* errors = nullptr;
    PyObject* encoding = nullptr;
    PyObject* jobs = nullptr;
    PyObject** slots[2] = {nullptr, nullptr};  // the optional arguments after `errors`, in order
    std::size_t n = 2;
    if (paths) {
        slots[n - 2] = &encoding;
        keywords[n++] = const_cast<char*>("encoding");
    }
    if (batch) {
        slots[n - 2] = &jobs;
        keywords[n++] = const_cast<char*>("jobs");
    }
    PyObject* unused = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, keywords, &out.input, &errors,
                                     slots[0] != nullptr ? slots[0] : &unused,
                                     slots[1] != nullptr ? slots[1] : &unused))
        return false;
    return guarded([&]() -> PyObject* {
               return choice_arg(errors, "errors", kErrorsNames, out.errors) &&
                              choice_arg(encoding, "encoding", kEncodingNames, out.encoding) &&
                              jobs_arg(jobs, out.jobs)
                          ? Py_None
                          : nullptr;
           }) != nullptr;
}

PyObject* single_result(hs::ParseResult result) {
    if (!result.ok()) {
        raise_with_message(PyExc_RuntimeError, result.error);
        return nullptr;
    }
    return make_view(std::move(result.store), result.rejected);
}

// Every function that releases the lock has three steps: argument conversion and result
// building run inside `guarded` with the lock held; the work in between runs in `unlocked`,
// which is called from no C++ handler at all (see GilReleased).

// A bytes-like argument (bytes, bytearray, memoryview, mmap, any C-contiguous buffer) held
// for the duration of a call and read in place.
struct HeldBuffer {
    Py_buffer buffer{};
    bool held = false;
    HeldBuffer() = default;
    HeldBuffer(const HeldBuffer&) = delete;
    HeldBuffer& operator=(const HeldBuffer&) = delete;
    ~HeldBuffer() {
        if (held && lock_held()) PyBuffer_Release(&buffer);  // left to a thread ended at exit
    }
    std::string_view view() const {
        return buffer.len == 0 ? std::string_view()
                               : std::string_view(static_cast<const char*>(buffer.buf),
                                                  static_cast<std::size_t>(buffer.len));
    }
};

// The text of parse_str's argument: a str's UTF-8 (CPython keeps it with the str), or the bytes
// of a contiguous buffer, read without a copy. False with an exception set.
bool source_arg(PyObject* obj, HeldBuffer& held, std::string_view& out) {
    if (PyUnicode_Check(obj) || !PyObject_CheckBuffer(obj)) return text_arg(obj, "src", out);
    if (PyObject_GetBuffer(obj, &held.buffer, PyBUF_SIMPLE) < 0) return false;
    held.held = true;
    out = held.view();
    return true;
}

PyObject* py_parse_str(PyObject*, PyObject* args, PyObject* kwargs) {
    ParseArgs a;
    if (!parse_args(args, kwargs, "O|$O:parse_str", "src", false, false, a)) return nullptr;
    HeldBuffer held;
    std::string_view text;  // read in place: the str or the buffer outlives the call
    if (guarded([&]() -> PyObject* {
            return source_arg(a.input, held, text) ? Py_None : nullptr;
        }) == nullptr)
        return nullptr;
    hs::ParseResult result;
    if (auto error = unlocked([&] {
            // Bytes must be UTF-8, as a file read with encoding='utf-8' (a str always is).
            if (held.held) {
                if (const std::size_t valid = hs::utf8_valid_prefix_on_pool(text);
                    valid != text.size()) {
                    result.error = "text did not contain valid UTF-8 at byte offset ";
                    hs::append_u64(result.error, valid);
                    return;
                }
            }
            result = hs::parse_text_on_pool(text, a.errors);
        }))
        return raise(error);
    return guarded([&] { return single_result(std::move(result)); });
}

PyObject* py_parse_path(PyObject*, PyObject* args, PyObject* kwargs) {
    ParseArgs a;
    if (!parse_args(args, kwargs, "O|$OO:parse_path", "path", true, false, a)) return nullptr;
    std::string path;
    if (guarded([&]() -> PyObject* {
            return path_text(a.input, "path", path) ? Py_None : nullptr;
        }) == nullptr)
        return nullptr;
    hs::ParseResult result;
    if (auto error = unlocked([&] { result = hs::parse_file_on_pool(path, a.errors, a.encoding); }))
        return raise(error);
    return guarded([&] { return single_result(std::move(result)); });
}

// A reference kept for a call that lets go of the interpreter lock, dropped at scope exit with
// the lock held. A daemon thread that the interpreter ends at exit, while it waits to take the
// lock back, unwinds without it: the reference is then left (the process is ending).
class HeldWhileUnlocked {
  public:
    explicit HeldWhileUnlocked(PyObject* p) noexcept : p_(p) {}
    HeldWhileUnlocked(const HeldWhileUnlocked&) = delete;
    HeldWhileUnlocked& operator=(const HeldWhileUnlocked&) = delete;
    ~HeldWhileUnlocked() {
        if (p_ != nullptr && lock_held()) Py_DECREF(p_);
    }
    PyObject* get() const noexcept { return p_; }

  private:
    PyObject* p_;
};

// Parses every text (or file) on the pool. In strict mode the inputs that could not be read are
// left out of the returned list; in skip mode each gives an empty view whose one rejection, at
// line 0, holds the message, so that the list has one view per input, in input order.
PyObject* parse_batch(const ParseArgs& a, const char* param, bool paths) {
    std::vector<std::string> inputs;        // paths
    std::vector<std::string_view> texts;    // the texts' UTF-8, read in place
    HeldWhileUnlocked held(PyList_New(0));  // the texts, alive until the parse is done
    if (held.get() == nullptr) return nullptr;
    if (guarded([&]() -> PyObject* {
            return collect_texts(a.input, param, paths, inputs, &texts, held.get()) ? Py_None
                                                                                    : nullptr;
        }) == nullptr)
        return nullptr;
    std::vector<hs::ParseResult> results;
    auto error = unlocked([&] {
        const std::size_t count = paths ? inputs.size() : texts.size();
        results.resize(count);
        hs::pool::run_each(
            count,
            [&](std::size_t i) {
                results[i] = paths ? hs::parse_file(inputs[i], a.errors, a.encoding)
                                   : hs::parse_text(texts[i], a.errors);
            },
            a.jobs);
    });
    if (error) return raise(error);
    return guarded([&]() -> PyObject* {
        inputs.clear();
        inputs.shrink_to_fit();
        const bool skip = a.errors == hs::Errors::Skip;
        Ref list(PyList_New(0));
        if (!list) return nullptr;
        for (hs::ParseResult& r : results) {
            if (!r.ok()) {
                if (!skip) continue;
                r.store = std::make_unique<hs::HandStore>();
                r.rejected.push_back(hs::Rejection{0, {}, std::move(r.error)});
            }
            Ref view(make_view(std::move(r.store), r.rejected));
            if (!view || PyList_Append(list.get(), view.get()) < 0) return nullptr;
        }
        return list.release();
    });
}

PyObject* py_parse_strs(PyObject*, PyObject* args, PyObject* kwargs) {
    ParseArgs a;
    if (!parse_args(args, kwargs, "O|$OO:parse_strs", "srcs", false, true, a)) return nullptr;
    return parse_batch(a, "srcs", false);
}

PyObject* py_parse_paths(PyObject*, PyObject* args, PyObject* kwargs) {
    ParseArgs a;
    if (!parse_args(args, kwargs, "O|$OOO:parse_paths", "paths", true, true, a)) return nullptr;
    return parse_batch(a, "paths", true);
}

// The view argument of a module function; null with TypeError for anything else.
PyObject* view_arg(PyObject* obj) {
    if (PyObject_TypeCheck(obj, g_view_type)) return obj;
    return guarded([&]() -> PyObject* {
        conversion_error("view", obj, "HandView");
        return nullptr;
    });
}

// ---------------------------------------------------------------------------------------------
// Exports: to_json, to_json_ohh and to_ohh, as module functions and HandView methods
// ---------------------------------------------------------------------------------------------

enum class Layout : std::uint8_t { Json, JsonOhh, Ohh };

constexpr std::size_t kHugeCopy = std::size_t{32} << 20;  // see BytesSink

// The export as bytes (as_bytes=True), written into the bytes object a piece at a time as the
// writer hands its pieces over: the writer's buffer stays small and warm, and the text is never
// held twice nor copied whole at the end. The object grows by realloc, at least doubling (a
// large block is remapped, not copied), and is cut to the text's size when it is taken. A large
// object asks for huge pages, as the writer's own buffer does: one page fault per 2 MB rather
// than per 4 KB. The sink is used where the writing keeps the interpreter lock (the methods):
// growing the object needs it.
class BytesSink final : public hs::OutputSink {
  public:
    BytesSink() = default;
    BytesSink(const BytesSink&) = delete;
    BytesSink& operator=(const BytesSink&) = delete;
    ~BytesSink() { Py_XDECREF(bytes_); }

    void write(std::string_view s) override {
        if (s.empty()) return;
        if (capacity_ - size_ < s.size()) grow(s.size());
        std::memcpy(PyBytes_AS_STRING(bytes_) + size_, s.data(), s.size());
        size_ += s.size();
    }
    // Room for the whole text at once, before the first piece: no growth when the estimate holds.
    void expect(std::size_t bytes) override {
        if (bytes_ == nullptr && bytes > 0) grow(bytes);
    }
    // The bytes written, a new reference; null with an exception set.
    PyObject* take() {
        if (bytes_ == nullptr) return PyBytes_FromStringAndSize(nullptr, 0);
        if (size_ != capacity_ && _PyBytes_Resize(&bytes_, static_cast<Py_ssize_t>(size_)) < 0)
            return nullptr;  // the object is freed and bytes_ null
        return std::exchange(bytes_, nullptr);
    }

  private:
    void grow(std::size_t n) {
        const std::size_t capacity = std::max(size_ + n, capacity_ * 2);
        if (capacity > static_cast<std::size_t>(PY_SSIZE_T_MAX)) throw std::bad_alloc();
        const auto size = static_cast<Py_ssize_t>(capacity);
        bool ok = false;
        if (bytes_ == nullptr) {
            bytes_ = PyBytes_FromStringAndSize(nullptr, size);
            ok = bytes_ != nullptr;
        } else {
            ok = _PyBytes_Resize(&bytes_, size) == 0;  // on failure: freed, bytes_ null
        }
        if (!ok) {
            PyErr_Clear();  // reported as the bad_alloc below
            size_ = capacity_ = 0;
            throw std::bad_alloc();
        }
        capacity_ = capacity;
        if (capacity >= kHugeCopy) hs::advise_huge_pages(PyBytes_AS_STRING(bytes_), capacity);
    }

    PyObject* bytes_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
};

// Where an export goes: a str (the default); its UTF-8 as bytes (as_bytes=True), without the
// decoding into a str; or a file (path=...), written a piece at a time from a small buffer and
// whole or not at all, None returned.
struct ExportArgs {
    hs::Errors errors = hs::Errors::Strict;
    bool as_bytes = false;
    PyObject* path_obj = nullptr;  // the path as a str, owned (null: no file)
    std::string path;

    ExportArgs() = default;
    ExportArgs(const ExportArgs&) = delete;
    ExportArgs& operator=(const ExportArgs&) = delete;
    ~ExportArgs() {
        if (lock_held()) Py_XDECREF(path_obj);  // left to a thread ended at exit
    }
};

bool export_args(PyObject* errors, PyObject* path, PyObject* as_bytes, ExportArgs& out) {
    return guarded([&]() -> PyObject* {
               if (!choice_arg(errors, "errors", kErrorsNames, out.errors)) return nullptr;
               if (as_bytes != nullptr) {
                   const int truth = PyObject_IsTrue(as_bytes);
                   if (truth < 0) return nullptr;
                   out.as_bytes = truth != 0;
               }
               if (path == nullptr || path == Py_None) return Py_None;
               if (!path_text(path, "path", out.path)) return nullptr;
               out.path_obj = path_arg(path, "path");
               if (out.path_obj == nullptr) return nullptr;
               if (out.as_bytes) {
                   raise_with_message(PyExc_ValueError,
                                      "as_bytes=True returns the text: it cannot be combined "
                                      "with path, which writes it to a file");
                   return nullptr;
               }
               return Py_None;
           }) != nullptr;
}

// The export of a view's hands, with the lock released (the module functions; the methods
// keep it while writing in memory); null with an exception set. Each hand that to_ohh leaves
// out in skip mode is a UserWarning "hand <id> left out of the Open Hand History export:
// <reason>", issued once the text is written. An error of the file is an OSError naming the
// path; a file that is not written whole (a fault, a formatting failure) is removed.
PyObject* export_view(PyObject* view_obj, Layout layout, ExportArgs& a, bool release) {
    const std::shared_ptr<const hs::HandStore> store = as_view(view_obj)->store;
    const hs::Span hands = as_view(view_obj)->hands;
    std::optional<hs::OutBuffer> text;
    std::optional<BytesSink> bytes;  // as_bytes=True, the lock kept
    if (a.as_bytes && !release) bytes.emplace();
    std::vector<hs::OhhLeftOut> left_out;
    std::optional<hs::FileError> file_error;
    bool formatted = true;
    const auto write = [&](auto& target) {
        if constexpr (std::is_base_of_v<hs::OutputSink, std::decay_t<decltype(target)>>) {
            switch (layout) {
                case Layout::Json: formatted = hs::write_json_native(*store, hands, target); break;
                case Layout::JsonOhh: formatted = hs::write_json_ohh(*store, hands, target); break;
                case Layout::Ohh:
                    if (auto out = hs::write_ohh(*store, hands, a.errors, target))
                        left_out = std::move(*out);
                    else
                        formatted = false;
                    break;
            }
        } else {
            switch (layout) {
                case Layout::Json: target = hs::to_json_native(*store, hands); break;
                case Layout::JsonOhh: target = hs::to_json_ohh(*store, hands); break;
                case Layout::Ohh:
                    if (auto out = hs::to_ohh(*store, hands, a.errors)) {
                        target = std::move(out->text);
                        left_out = std::move(out->left_out);
                    }
                    break;
            }
            formatted = target.has_value();
        }
    };
    const auto work = [&] {
        if (bytes) {
            write(*bytes);
            return;
        }
        if (a.path_obj == nullptr) {
            write(text);
            return;
        }
        try {
            hs::FileOutput file(a.path);
            write(file);
            if (formatted) file.commit();
        } catch (const hs::FileError& e) {
            file_error = e;
        }
    };
    std::exception_ptr error;
    if (release || a.path_obj != nullptr) {
        error = unlocked(work);
    } else {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (error) return raise(error);
    return guarded([&]() -> PyObject* {
        if (file_error) {
            errno = file_error->code;
            return PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, a.path_obj);
        }
        if (!formatted) {
            raise_with_message(PyExc_RuntimeError,
                               std::string("Failed to write json: ") + hs::kJsonFormatError);
            return nullptr;
        }
        Ref result([&]() -> PyObject* {
            if (a.path_obj != nullptr) {
                Py_INCREF(Py_None);
                return Py_None;
            }
            if (bytes) return bytes->take();
            const auto size = static_cast<Py_ssize_t>(text->size());
            if (a.as_bytes) {
                // A large text's copy asks for huge pages, as the writer's buffer does.
                PyObject* copy = PyBytes_FromStringAndSize(nullptr, size);
                if (copy == nullptr || size == 0) return copy;
                char* dst = PyBytes_AS_STRING(copy);
                if (text->size() >= kHugeCopy) hs::advise_huge_pages(dst, text->size());
                std::memcpy(dst, text->data(), text->size());
                return copy;
            }
            if (layout == Layout::Ohh) return utf8_to_str(text->view());
            return PyUnicode_DecodeUTF8(text->data(), size, "strict");
        }());
        if (!result) return nullptr;
        for (const hs::OhhLeftOut& left : left_out) {
            const std::string message = "hand " + left.hand_id +
                                        " left out of the Open Hand History export: " + left.reason;
            if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) < 0) return nullptr;
        }
        return result.release();
    });
}

// A module function: export(view, *, [errors,] path=None, as_bytes=False).
PyObject* export_function(PyObject* args, PyObject* kwargs, Layout layout) {
    PyObject* view = nullptr;
    PyObject* errors = nullptr;
    PyObject* path = nullptr;
    PyObject* as_bytes = nullptr;
    if (layout == Layout::Ohh) {
        char* keywords[] = {const_cast<char*>("view"), const_cast<char*>("errors"),
                            const_cast<char*>("path"), const_cast<char*>("as_bytes"), nullptr};
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$OOO:to_ohh", keywords, &view, &errors,
                                         &path, &as_bytes))
            return nullptr;
    } else {
        char* keywords[] = {const_cast<char*>("view"), const_cast<char*>("path"),
                            const_cast<char*>("as_bytes"), nullptr};
        if (!PyArg_ParseTupleAndKeywords(
                args, kwargs, layout == Layout::Json ? "O|$OO:to_json" : "O|$OO:to_json_ohh",
                keywords, &view, &path, &as_bytes))
            return nullptr;
    }
    if (view_arg(view) == nullptr) return nullptr;
    ExportArgs a;
    if (!export_args(errors, path, as_bytes, a)) return nullptr;
    return export_view(view, layout, a, true);
}

// A HandView method: the same export of the view itself.
PyObject* export_method(PyObject* self, PyObject* args, PyObject* kwargs, Layout layout) {
    PyObject* errors = nullptr;
    PyObject* path = nullptr;
    PyObject* as_bytes = nullptr;
    if (layout == Layout::Ohh) {
        char* keywords[] = {const_cast<char*>("errors"), const_cast<char*>("path"),
                            const_cast<char*>("as_bytes"), nullptr};
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|$OOO:to_ohh", keywords, &errors, &path,
                                         &as_bytes))
            return nullptr;
    } else {
        char* keywords[] = {const_cast<char*>("path"), const_cast<char*>("as_bytes"), nullptr};
        if (!PyArg_ParseTupleAndKeywords(
                args, kwargs, layout == Layout::Json ? "|$OO:to_json" : "|$OO:to_json_ohh",
                keywords, &path, &as_bytes))
            return nullptr;
    }
    ExportArgs a;
    if (!export_args(errors, path, as_bytes, a)) return nullptr;
    return export_view(self, layout, a, false);
}

PyObject* py_to_json(PyObject*, PyObject* args, PyObject* kwargs) {
    return export_function(args, kwargs, Layout::Json);
}
PyObject* py_to_json_ohh(PyObject*, PyObject* args, PyObject* kwargs) {
    return export_function(args, kwargs, Layout::JsonOhh);
}
PyObject* py_to_ohh(PyObject*, PyObject* args, PyObject* kwargs) {
    return export_function(args, kwargs, Layout::Ohh);
}
PyObject* view_to_json(PyObject* self, PyObject* args, PyObject* kwargs) {
    return export_method(self, args, kwargs, Layout::Json);
}
PyObject* view_to_json_ohh(PyObject* self, PyObject* args, PyObject* kwargs) {
    return export_method(self, args, kwargs, Layout::JsonOhh);
}
PyObject* view_to_ohh(PyObject* self, PyObject* args, PyObject* kwargs) {
    return export_method(self, args, kwargs, Layout::Ohh);
}

// read_tables(paths, *, jobs=None, errors="skip", encoding="auto"): every file parsed on the
// pool straight into one Tables. Made for folders of real files, it skips and decodes what it can
// by default.
PyObject* py_read_tables(PyObject*, PyObject* args, PyObject* kwargs) {
    char* keywords[] = {const_cast<char*>("paths"), const_cast<char*>("jobs"),
                        const_cast<char*>("errors"), const_cast<char*>("encoding"), nullptr};
    PyObject* paths = nullptr;
    PyObject* jobs_obj = Py_None;
    PyObject* errors_arg = nullptr;
    PyObject* encoding_arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$OOO:read_tables", keywords, &paths,
                                     &jobs_obj, &errors_arg, &encoding_arg))
        return nullptr;
    std::vector<std::string> inputs;
    std::size_t jobs = 0;  // every worker
    hs::Errors errors = hs::Errors::Skip;
    hs::Encoding encoding = hs::Encoding::Auto;
    if (guarded([&]() -> PyObject* {
            if (!jobs_arg(jobs_obj, jobs)) return nullptr;
            if (!choice_arg(errors_arg, "errors", kErrorsNames, errors) ||
                !choice_arg(encoding_arg, "encoding", kEncodingNames, encoding))
                return nullptr;
            return collect_texts(paths, "paths", true, inputs) ? Py_None : nullptr;
        }) == nullptr)
        return nullptr;
    hs::py::TableSet tables;
    hs::py::FileRejections rejected;
    if (auto error = unlocked(
            [&] { tables = hs::py::read_files(inputs, jobs, errors, encoding, rejected); }))
        return raise(error);
    return guarded([&] { return hs::py::make_tables(std::move(tables), rejected); });
}

// _fault_lines(on): turns the standard-error line of each fault on or off; the previous setting.
PyObject* py_fault_lines(PyObject*, PyObject* arg) {
    const int on = PyObject_IsTrue(arg);
    if (on < 0) return nullptr;
    return PyBool_FromLong(hs::py::set_fault_lines(on != 0));
}

template <PyObject* (*F)(PyObject*, PyObject*, PyObject*)>
PyCFunction with_keywords() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(F));
}

// The first lines give the signatures that help() and inspect show.
constexpr const char* kParseStrDoc =
    "parse_str(src, *, errors='strict')\n--\n\n"
    "The hands of one hand-history text, as a HandView.\n\n"
    "src: a str, or the text's UTF-8 bytes as bytes, bytearray, memoryview or any contiguous "
    "buffer, read in place without a copy (bytes that are not valid UTF-8 raise RuntimeError "
    "naming the offset of the first invalid one).\n\n"
    "errors='strict' (the default): a fault inside a hand raises PanicException for the whole "
    "text. errors='skip': that hand is left out (see HandView.rejected) and reading goes on "
    "with the next hand. A text that cannot be read as a whole (site not recognised, a site "
    "without a parser in skip mode) raises RuntimeError.";
constexpr const char* kParsePathDoc =
    "parse_path(path, *, errors='strict', encoding='utf-8')\n--\n\n"
    "The hands of one hand-history file, as a HandView; errors as for parse_str.\n\n"
    "encoding: 'utf-8' (the default: invalid bytes raise RuntimeError), 'cp1252', 'latin-1', "
    "or 'auto': valid UTF-8 as it is; a file with at least one valid multi-byte UTF-8 sequence "
    "as UTF-8 with each invalid byte read as U+FFFD; any other file as cp1252. An unreadable "
    "file raises RuntimeError.";
constexpr const char* kParseStrsDoc =
    "parse_strs(srcs, *, errors='strict', jobs=None)\n--\n\n"
    "parse_str on every text, in parallel: a list of HandView in input order. In strict mode "
    "the texts that cannot be read as a whole are left out of the list; in skip mode each "
    "gives an empty view whose one rejection, at line 0, holds the message.";
constexpr const char* kParsePathsDoc =
    "parse_paths(paths, *, errors='strict', encoding='utf-8', jobs=None)\n--\n\n"
    "parse_path on every file, in parallel: a list of HandView in input order. In strict mode "
    "the files that cannot be read as a whole are left out of the list; in skip mode each "
    "gives an empty view whose one rejection, at line 0, holds the message.";

// What path= and as_bytes= do, in the docs of the three exports.
#define HS_EXPORT_TARGETS                                                                      \
    "\n\npath: a str or os.PathLike: the text is written to that file as UTF-8, a piece at a " \
    "time, and None is returned. The file is written whole or not at all: the text goes to a " \
    "new file in the same folder, which replaces the target only once every byte is written; " \
    "on any error that new file is removed and an existing target is left as it was. A file "  \
    "that cannot be written raises OSError naming the path.\n\nas_bytes=True: the text's "     \
    "UTF-8 as bytes, the fastest way to hold it in memory (no decoding into a str)."

constexpr const char* kToJsonDoc =
    "to_json(view, *, path=None, as_bytes=False)\n--\n\n"
    "The view's hands in the module's own JSON layout: an array with one object per hand, "
    "written with the interpreter lock released. RuntimeError for a value without a JSON "
    "form." HS_EXPORT_TARGETS;
constexpr const char* kToJsonOhhDoc =
    "to_json_ohh(view, *, path=None, as_bytes=False)\n--\n\n"
    "The view's hands as a JSON array of Open Hand History 1.4.1 objects, written with the "
    "interpreter lock released. That layout has no actions: a hand with actions raises "
    "PanicException. For the standard export of every hand, use to_ohh." HS_EXPORT_TARGETS;
constexpr const char* kReadTablesDoc =
    "read_tables(paths, *, jobs=None, errors='skip', encoding='auto')\n--\n\n"
    "Every file parsed on the worker pool straight into a handscribe.Tables (the hands, "
    "players and actions tables and the rejected hand starts). paths: a list of str paths; "
    "jobs: threads used (None: one per processor); errors and encoding as for parse_path, "
    "with defaults made for folders of real files.";
constexpr const char* kToOhhDoc =
    "to_ohh(view, *, errors='strict', path=None, as_bytes=False)\n--\n\n"
    "The view's hands as an Open Hand History (.ohh) text: one {\"ohh\": {...}} object per "
    "hand, separated by one blank line. A hand the format cannot express raises "
    "PanicException naming the hand; with errors='skip' it is left out and reported as a "
    "UserWarning." HS_EXPORT_TARGETS;
#undef HS_EXPORT_TARGETS

PyMethodDef kFunctions[] = {
    {"parse_str", with_keywords<py_parse_str>(), METH_VARARGS | METH_KEYWORDS, kParseStrDoc},
    {"parse_strs", with_keywords<py_parse_strs>(), METH_VARARGS | METH_KEYWORDS, kParseStrsDoc},
    {"parse_path", with_keywords<py_parse_path>(), METH_VARARGS | METH_KEYWORDS, kParsePathDoc},
    {"parse_paths", with_keywords<py_parse_paths>(), METH_VARARGS | METH_KEYWORDS, kParsePathsDoc},
    {"to_json", with_keywords<py_to_json>(), METH_VARARGS | METH_KEYWORDS, kToJsonDoc},
    {"to_json_ohh", with_keywords<py_to_json_ohh>(), METH_VARARGS | METH_KEYWORDS, kToJsonOhhDoc},
    {"to_ohh", with_keywords<py_to_ohh>(), METH_VARARGS | METH_KEYWORDS, kToOhhDoc},
    {"read_tables", with_keywords<py_read_tables>(), METH_VARARGS | METH_KEYWORDS, kReadTablesDoc},
    {"_fault_lines", py_fault_lines, METH_O,
     "_fault_lines(on, /)\n--\n\nWhether a fault also writes a line to standard error (on by "
     "default); returns the previous setting."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "handscribe._handscribe",
    kModuleDoc,
    -1,
    kFunctions,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Adds `value` (a new reference, consumed) under `name`; false with an exception set.
bool add_object(PyObject* module, const char* name, PyObject* value) {
    if (value == nullptr) return false;
    if (PyModule_AddObject(module, name, value) < 0) {
        Py_DECREF(value);
        return false;
    }
    return true;
}

PyObject* init_module() {
    Ref module(PyModule_Create(&kModule));
    if (!module) return nullptr;
    Ref names(PyList_New(0));
    if (!names) return nullptr;
    for (const PyMethodDef* f = kFunctions; f->ml_name != nullptr; ++f) {
        if (f->ml_name[0] == '_') continue;  // private
        Ref name(PyUnicode_FromString(f->ml_name));
        if (!name || PyList_Append(names.get(), name.get()) < 0) return nullptr;
    }
    if (g_view_type == nullptr) {
        g_view_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kViewSpec));
        if (g_view_type == nullptr) return nullptr;
    }
    Py_INCREF(g_view_type);
    if (!add_object(module.get(), "HandView", reinterpret_cast<PyObject*>(g_view_type)))
        return nullptr;
    PyObject* rejected = hs::py::rejected_type();
    if (rejected == nullptr) return nullptr;
    Py_INCREF(rejected);
    if (!add_object(module.get(), "Rejected", rejected)) return nullptr;
    for (const char* type_name : {"HandView", "Rejected"}) {
        Ref name(PyUnicode_FromString(type_name));
        if (!name || PyList_Append(names.get(), name.get()) < 0) return nullptr;
    }
    if (!hs::py::add_hand_types(module.get(), g_view_type, names.get())) return nullptr;
    if (!hs::py::add_table_types(module.get(), names.get())) return nullptr;
    PyObject* panic = panic_type();
    if (panic == nullptr) return nullptr;
    Py_INCREF(panic);
    if (!add_object(module.get(), "PanicException", panic)) return nullptr;
    // The sites recognised, in code order, each with whether it has a reader: (name, read).
    Ref sites(PyTuple_New(static_cast<Py_ssize_t>(hs::kSiteCount)));
    if (!sites) return nullptr;
    for (std::size_t i = 0; i < hs::kSiteCount; ++i) {
        const std::string_view name = hs::kSiteNames[i];
        PyObject* row =
            Py_BuildValue("(s#O)", name.data(), static_cast<Py_ssize_t>(name.size()),
                          hs::site_has_reader(static_cast<hs::Site>(i)) ? Py_True : Py_False);
        if (row == nullptr) return nullptr;
        PyTuple_SET_ITEM(sites.get(), static_cast<Py_ssize_t>(i), row);
    }
    if (!add_object(module.get(), "_sites", sites.release())) return nullptr;
    if (!add_object(module.get(), "__all__", names.release())) return nullptr;
    return module.release();
}

}  // namespace

PyMODINIT_FUNC PyInit__handscribe(void) {
    return guarded([] { return init_module(); });
}
