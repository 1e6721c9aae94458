// The pieces every part of the module's C API code shares: owned references, the release of
// the interpreter lock, the mapping of C++ exceptions to Python exceptions, and the rejected
// hands as Python values.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <exception>
#include <string_view>
#include <utility>

namespace hs::py {

// An owned reference, released at scope exit.
class Ref {
  public:
    explicit Ref(PyObject* p = nullptr) noexcept : p_(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }
    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

  private:
    PyObject* p_;
};

// Whether this thread gave the interpreter lock up in a GilReleased scope and has not taken it
// back: while the work runs, and on the way out of a daemon thread that the interpreter ends at
// shutdown, which unwinds from PyEval_RestoreThread without the lock.
inline thread_local bool t_lock_given_up = false;

// Releases the interpreter lock for its scope; the lock is taken back however the scope ends,
// so exceptions unwinding through it always reach the handlers with the lock held. When the
// interpreter is shutting down, taking the lock back ends a daemon thread with a forced unwind
// that starts in this destructor: it must be allowed to leave it (noexcept(false)), and the
// destructors of the frames around it must not touch Python objects (see lock_held).
class GilReleased {
  public:
    GilReleased() noexcept : state_(PyEval_SaveThread()) { t_lock_given_up = true; }
    GilReleased(const GilReleased&) = delete;
    GilReleased& operator=(const GilReleased&) = delete;
    ~GilReleased() noexcept(false) {
        PyEval_RestoreThread(state_);
        t_lock_given_up = false;
    }

  private:
    PyThreadState* state_;
};

// Whether a destructor may drop a Python reference: false only when a daemon thread is being
// ended at shutdown. (PyGILState_Check cannot tell: once the interpreter has deleted its
// thread-state key, it answers yes on every thread.)
inline bool lock_held() noexcept { return !t_lock_given_up; }

PyObject* utf8_to_str(std::string_view s);
void raise_with_message(PyObject* type, std::string_view message);

// The type of internal faults, handscribe.PanicException: created once per process, on first
// use; null with an exception set when that fails.
PyObject* panic_type();

// Whether a fault also writes its line (message and C++ place) to standard error; on by
// default. The command line turns it off and names the file itself. Returns the previous
// setting.
bool set_fault_lines(bool on) noexcept;

// handscribe.Rejected, a named tuple type of the standard library's kind (field access,
// unpacking, _asdict, a readable repr): created once per process, on first use; null with an
// exception set when that fails.
PyObject* rejected_type();
// A handscribe.Rejected value; null with an exception set.
PyObject* new_rejected(std::uint64_t line, std::string_view hand_id, std::string_view reason);

// Turns the exception being handled into a pending Python exception. Call inside catch (...)
// with the interpreter lock held.
void raise_current_exception() noexcept;

// Runs an entry point body with the lock held; no C++ exception leaves it.
template <class F>
PyObject* guarded(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        raise_current_exception();
        return nullptr;
    }
}

// Raises a kept exception; always null.
PyObject* raise(const std::exception_ptr& error) noexcept;

// Runs work with the lock released and returns what it threw (null when nothing). The lock is
// taken back after the handler has finished, in no try block: when the interpreter ends a
// daemon thread there, the forced unwind meets no handler of ours on its way out.
template <class F>
std::exception_ptr unlocked(F&& work) {
    std::exception_ptr error;
    GilReleased released;
    try {
        work();
    } catch (...) {
        error = std::current_exception();
    }
    return error;
}

}  // namespace hs::py
