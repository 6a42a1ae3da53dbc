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
    std::string failure;
    bool ok = once(numpy_ready, numpy_guard, [&] {
        if (_import_array() >= 0) return true;
        failure = pending_error_text();
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
