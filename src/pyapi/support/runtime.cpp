#define QUORVANTEL_NUMPY_API_OWNER
#include "pyapi/support/runtime.hpp"

#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "fault.hpp"
#include "pyapi/support/forks.hpp"

namespace quorvantel::pyapi::support {
namespace {

// Where the lookup of NumPy's C API table stands.  One thread at a time looks
// it up (the lookup writes the table's global pointers, which NumPy's macros
// read without synchronisation); threads that arrive meanwhile wait for it
// with the interpreter released, since the looking thread may need it for an
// import.  A fork() while a thread of the parent is looking leaves the child
// without that thread, so the child forgets the lookup and makes its own.
enum : int { NUMPY_ABSENT, NUMPY_LOOKING, NUMPY_READY };
std::atomic<int> numpy_state{NUMPY_ABSENT};
std::atomic<bool> numpy_fork_handler{false};

void forget_lookup_in_child() {
    int looking = NUMPY_LOOKING;
    numpy_state.compare_exchange_strong(looking, NUMPY_ABSENT);
}

// Takes the lookup for the calling thread: false when the table is ready.
bool claim_lookup() {
    int seen = numpy_state.load(std::memory_order_acquire);
    for (;;) {
        if (seen == NUMPY_READY) return false;
        if (seen == NUMPY_ABSENT) {
            if (numpy_state.compare_exchange_weak(seen, NUMPY_LOOKING, std::memory_order_acquire)) {
                return true;
            }
            continue;
        }
        PyThreadState* state = PyEval_SaveThread();
        numpy_state.wait(NUMPY_LOOKING, std::memory_order_acquire);
        PyEval_RestoreThread(state);
        seen = numpy_state.load(std::memory_order_acquire);
    }
}

void end_lookup(int outcome) {
    numpy_state.store(outcome, std::memory_order_release);
    numpy_state.notify_all();
}

// FaultException, published once made.  Threads that meet their first fault
// at once may each make one; the first published is the one every thread
// raises, and the others are dropped.  Nobody waits, so a fork() never leaves
// a child waiting either.
std::atomic<PyObject*> fault_type{nullptr};

constexpr const char* FAULT_DOC =
    "Raised when the module's own code meets an internal fault.\n\n"
    "Like SystemExit it derives from BaseException, not from Exception, so it\n"
    "normally propagates all the way through the stack and ends the interpreter.";

// The type, or null with the interpreter's error of making it set.
PyObject* fault_exception_type() {
    PyObject* published = fault_type.load(std::memory_order_acquire);
    if (published != nullptr) return published;
    PyObject* made = PyErr_NewExceptionWithDoc("native_runtime.FaultException", FAULT_DOC,
                                               PyExc_BaseException, nullptr);
    if (made == nullptr) return nullptr;
    if (fault_type.compare_exchange_strong(published, made, std::memory_order_acq_rel,
                                           std::memory_order_acquire)) {
        return made;
    }
    Py_DECREF(made);
    return published;
}

}  // namespace

PyObject* take_pending_exception() {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &trace);
    if (value != nullptr && trace != nullptr) PyException_SetTraceback(value, trace);
    Py_XDECREF(type);
    Py_XDECREF(trace);
    return value;
#endif
}

std::string pending_error_text() {
    PyObject* exception = take_pending_exception();
    if (exception == nullptr) return "unknown error";
    std::string text = Py_TYPE(exception)->tp_name;
    PyObject* message = PyObject_Str(exception);
    const char* utf8 = message != nullptr ? PyUnicode_AsUTF8(message) : nullptr;
    if (utf8 != nullptr) text += std::string(": ") + utf8;
    PyErr_Clear();
    Py_XDECREF(message);
    Py_DECREF(exception);
    return text;
}

void require_numpy_api() {
    if (numpy_state.load(std::memory_order_acquire) == NUMPY_READY) return;
    // The handler is in place before any thread can be looking.
    if (!call_in_fork_children(numpy_fork_handler, forget_lookup_in_child)) throw std::bad_alloc();
    if (!claim_lookup()) return;
    if (_import_array() >= 0) {
        end_lookup(NUMPY_READY);
        return;
    }
    end_lookup(NUMPY_ABSENT);
    throw_if_out_of_memory();
    throw Fault("Failed to access NumPy array API capsule: " + pending_error_text());
}

void throw_if_out_of_memory() {
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) {
        PyErr_Clear();
        throw std::bad_alloc();
    }
}

void set_fault(const char* message) {
    PyObject* type = fault_exception_type();
    if (type == nullptr) return;
    PyObject* text = PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)),
                                          "replace");
    if (text == nullptr) return;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

}  // namespace quorvantel::pyapi::support
