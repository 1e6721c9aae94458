// Owned references, the release of the interpreter lock and the mapping of C++ exceptions to
// Python exceptions.
#include "python/glue.hpp"

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include <unistd.h>

#include "core/model.hpp"

namespace hs::py {
namespace {

PyObject* g_panic_type = nullptr;       // created once per process
PyObject* g_rejected_type = nullptr;    // the same
std::atomic<bool> g_fault_lines{true};  // see set_fault_lines

// One line on the process's standard error stream, written with a single call.
void write_fault_line(std::string_view message, std::string_view where) noexcept {
    try {
        std::string line = "handscribe: internal fault: ";
        line += message;
        line += " (raised at ";
        line += where;
        line += ")\n";
        const char* p = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            const ssize_t n = ::write(2, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                return;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    } catch (...) {
        // Out of memory while reporting: the exception below still carries the message.
    }
}

void raise_panic(std::string_view message, std::string_view where) noexcept {
    if (g_fault_lines.load(std::memory_order_relaxed)) write_fault_line(message, where);
    PyObject* type = panic_type();
    if (type == nullptr) return;  // the creation failure is the pending exception
    raise_with_message(type, message);
}

}  // namespace

bool set_fault_lines(bool on) noexcept { return g_fault_lines.exchange(on); }

PyObject* rejected_type() {
    if (g_rejected_type == nullptr) {
        Ref collections(PyImport_ImportModule("collections"));
        if (!collections) return nullptr;
        Ref factory(PyObject_GetAttrString(collections.get(), "namedtuple"));
        if (!factory) return nullptr;
        Ref args(Py_BuildValue("(s(sss))", "Rejected", "line", "hand_id", "reason"));
        Ref kwargs(Py_BuildValue("{ss}", "module", "handscribe"));
        if (!args || !kwargs) return nullptr;
        Ref type(PyObject_Call(factory.get(), args.get(), kwargs.get()));
        if (!type) return nullptr;
        Ref doc(PyUnicode_FromString(
            "A hand start of a parsed text that gave no hand: `line`, the 1-based line number of "
            "the hand's first line (0 for an input that could not be read as a whole); `hand_id`, "
            "the hand's id when it was read, else \"\"; `reason`, the line kind that rejected "
            "the hand or the message of its fault."));
        if (!doc || PyObject_SetAttrString(type.get(), "__doc__", doc.get()) < 0) return nullptr;
        g_rejected_type = type.release();
    }
    return g_rejected_type;
}

PyObject* new_rejected(std::uint64_t line, std::string_view hand_id, std::string_view reason) {
    PyObject* type = rejected_type();
    if (type == nullptr) return nullptr;
    Ref number(PyLong_FromUnsignedLongLong(line));
    Ref id(utf8_to_str(hand_id));
    Ref why(utf8_to_str(reason));
    if (!number || !id || !why) return nullptr;
    return PyObject_CallFunctionObjArgs(type, number.get(), id.get(), why.get(), nullptr);
}

PyObject* panic_type() {
    if (g_panic_type == nullptr) {
        g_panic_type = PyErr_NewExceptionWithDoc(
            "handscribe.PanicException",
            "An internal fault of the parser: a broken invariant or a required part of the "
            "input that is missing. It abandons the whole call.",
            PyExc_BaseException, nullptr);
    }
    return g_panic_type;
}

void raise_current_exception() noexcept {
    try {
        throw;
    } catch (const hs::Fault& f) {
        raise_panic(f.message(), f.where());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_panic(e.what(), "an unknown place");
    } catch (...) {
        raise_panic("unknown exception", "an unknown place");
    }
}

PyObject* raise(const std::exception_ptr& error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (...) {
        raise_current_exception();
    }
    return nullptr;
}

PyObject* utf8_to_str(std::string_view s) {
    return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
}

void raise_with_message(PyObject* type, std::string_view message) {
    Ref text(utf8_to_str(message));
    if (text) PyErr_SetObject(type, text.get());
}

}  // namespace hs::py
