#include "pyapi/support/call.hpp"

#include <string>

namespace quorvantel::pyapi::support {
namespace {

std::string quoted_list(const std::vector<std::string_view>& names) {
    std::string out;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (k > 0) out += names.size() > 2 ? ", " : " ";
        if (k > 0 && k + 1 == names.size()) out += "and ";
        out += "'";
        out += names[k];
        out += "'";
    }
    return out;
}

bool has_name(PyObject* type, const char* attribute, std::initializer_list<const char*> wanted) {
    PyObject* value = PyObject_GetAttrString(type, attribute);
    if (value == nullptr) {
        PyErr_Clear();
        return false;
    }
    bool found = false;
    if (PyUnicode_Check(value)) {
        for (const char* w : wanted) found = found || PyUnicode_CompareWithASCIIString(value, w) == 0;
    }
    Py_DECREF(value);
    return found;
}

}  // namespace

bool bind_arguments(const char* function, const std::string_view* names, std::size_t count,
                    PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                    PyObject** slots) {
    const Py_ssize_t given = PyVectorcall_NARGS(nargsf);
    if (static_cast<std::size_t>(given) > count) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zu positional argument%s but %zd %s given",
                     function, count, count == 1 ? "" : "s", given, given == 1 ? "was" : "were");
        return false;
    }
    for (Py_ssize_t k = 0; k < given; ++k) slots[k] = args[k];
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
        std::size_t index = 0;
        if (utf8 == nullptr) {
            // A name that UTF-8 cannot hold (a lone surrogate) names no
            // parameter: it is unexpected like any other.
            PyErr_Clear();
            index = count;
        } else {
            const std::string_view keyword(utf8, static_cast<std::size_t>(size));
            while (index < count && names[index] != keyword) ++index;
        }
        if (index == count) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function,
                         key);
            return false;
        }
        if (slots[index] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", function,
                         key);
            return false;
        }
        slots[index] = args[given + k];
    }
    std::vector<std::string_view> missing;
    for (std::size_t k = 0; k < count; ++k) {
        if (slots[k] == nullptr) missing.push_back(names[k]);
    }
    if (!missing.empty()) {
        PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s",
                     function, missing.size(), missing.size() == 1 ? "" : "s",
                     quoted_list(missing).c_str());
        return false;
    }
    return true;
}

void prefix_conversion_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject* original = take_pending_exception();
    PyObject* cause = original != nullptr ? PyException_GetCause(original) : nullptr;
    PyObject* message =
        PyUnicode_FromFormat("argument '%s': %S", name, original != nullptr ? original : Py_None);
    Py_XDECREF(original);
    PyObject* replacement =
        message != nullptr ? PyObject_CallOneArg(PyExc_TypeError, message) : nullptr;
    Py_XDECREF(message);
    if (replacement == nullptr) {
        Py_XDECREF(cause);
        return;  // the error of the failed creation is set
    }
    if (cause != nullptr) PyException_SetCause(replacement, cause);  // steals cause
    PyErr_SetObject(PyExc_TypeError, replacement);
    Py_DECREF(replacement);
}

void raise_error(const Error& error) {
    switch (error.kind) {
        case ErrorKind::Value:
            PyErr_SetString(PyExc_ValueError, error.message.c_str());
            break;
        case ErrorKind::Memory:
            PyErr_SetString(PyExc_MemoryError, error.message.c_str());
            break;
        case ErrorKind::Fetched:
            if (!PyErr_Occurred()) set_fault("an error was reported without an exception");
            break;
    }
}

bool check_array(PyObject* obj, int ndim, int npy_type, const char* type_name) {
    require_numpy_api();
    std::string wanted =
        ndim == ANY_DIMENSIONS ? std::string("a ") + type_name + " array"
                               : "a " + std::to_string(ndim) + "-dimensional " + type_name + " array";
    if (!PyArray_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "must be %s, not %s", wanted.c_str(), Py_TYPE(obj)->tp_name);
        return false;
    }
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    PyArray_Descr* expected = PyArray_DescrFromType(npy_type);
    if (expected == nullptr) return false;
    const bool equivalent = PyArray_EquivTypes(PyArray_DESCR(array), expected) != 0;
    Py_DECREF(expected);
    if (equivalent && (ndim == ANY_DIMENSIONS || PyArray_NDIM(array) == ndim)) return true;
    PyErr_Format(PyExc_TypeError, "must be %s, not a %d-dimensional array of dtype %S",
                 wanted.c_str(), PyArray_NDIM(array),
                 reinterpret_cast<PyObject*>(PyArray_DESCR(array)));
    return false;
}

bool Convert<bool>::is_numpy_bool_scalar(PyObject* obj) {
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
    return has_name(type, "__module__", {"numpy"}) && has_name(type, "__name__", {"bool_", "bool"});
}

}  // namespace quorvantel::pyapi::support
