#define QUORVANTEL_NUMPY_API_OWNER
#include "pyapi/support/runtime.hpp"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "fault.hpp"

namespace quorvantel::pyapi::support {
namespace {

// Runs `make` once per process unless it fails.  A thread that finds another
// thread creating the object waits for it with the interpreter released, so
// the creator (which may need the interpreter, for an import) can finish.
template <class Make>
bool once(std::atomic<bool>& done, std::mutex& guard, Make make) {
    if (done.load(std::memory_order_acquire)) return true;
    PyThreadState* state = PyEval_SaveThread();
    guard.lock();
    PyEval_RestoreThread(state);
    std::lock_guard<std::mutex> hold(guard, std::adopt_lock);
    if (done.load(std::memory_order_relaxed)) return true;
    if (!make()) return false;
    done.store(true, std::memory_order_release);
    return true;
}

std::string describe_pending_error() {
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    PyErr_NormalizeException(&type, &value, &trace);
    std::string text = "unknown error";
    if (value != nullptr) {
        PyObject* repr = PyObject_Str(value);
        if (repr != nullptr) {
            const char* utf8 = PyUnicode_AsUTF8(repr);
            if (utf8 != nullptr) text = utf8;
            Py_DECREF(repr);
        }
        if (type != nullptr) {
            const char* name = reinterpret_cast<PyTypeObject*>(type)->tp_name;
            text = std::string(name) + ": " + text;
        }
    }
    PyErr_Clear();
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(trace);
    return text;
}

std::atomic<bool> numpy_ready{false};
std::mutex numpy_guard;

std::atomic<bool> fault_ready{false};
std::mutex fault_guard;
PyObject* fault_type = nullptr;

constexpr const char* FAULT_DOC =
    "Raised when the module's own code meets an internal fault.\n\n"
    "Like SystemExit it derives from BaseException, not from Exception, so it\n"
    "normally propagates all the way through the stack and ends the interpreter.";

}  // namespace

void require_numpy_api() {
    std::string failure;
    bool ok = once(numpy_ready, numpy_guard, [&] {
        if (_import_array() >= 0) return true;
        failure = describe_pending_error();
        return false;
    });
    if (!ok) throw Fault("Failed to access NumPy array API capsule: " + failure);
}

void set_fault(const char* message) {
    bool ok = once(fault_ready, fault_guard, [] {
        fault_type = PyErr_NewExceptionWithDoc("native_runtime.FaultException", FAULT_DOC,
                                               PyExc_BaseException, nullptr);
        return fault_type != nullptr;
    });
    if (!ok) return;  // the interpreter's own error from creating the type stays set
    PyObject* text = PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)),
                                          "replace");
    if (text == nullptr) return;
    PyErr_SetObject(fault_type, text);
    Py_DECREF(text);
}

}  // namespace quorvantel::pyapi::support
