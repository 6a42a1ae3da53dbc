#include "pyapi/support/module_functions.hpp"

#include "fault.hpp"
#include "pyapi/support/runtime.hpp"

namespace quorvantel::pyapi::support {
namespace {

// The module's __all__ list, created when absent (new reference or null).
PyObject* all_list(PyObject* module) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr) return nullptr;
        if (PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_DECREF(all);
            return nullptr;
        }
        return all;
    }
    if (!PyList_Check(all)) {
        PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'list'",
                     Py_TYPE(all)->tp_name);
        Py_DECREF(all);
        return nullptr;
    }
    return all;
}

}  // namespace

bool add_function(PyObject* module, PyMethodDef* record) {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return false;
    PyObject* function = PyCMethod_New(record, module, module_name, nullptr);
    Py_DECREF(module_name);
    if (function == nullptr) return false;
    PyObject* name = PyObject_GetAttrString(function, "__name__");
    if (name == nullptr) {
        Py_DECREF(function);
        return false;
    }
    bool ok = false;
    PyObject* all = nullptr;
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'str'",
                     Py_TYPE(name)->tp_name);
    } else if ((all = all_list(module)) != nullptr) {
        if (PyList_Append(all, name) < 0) {
            Py_DECREF(all);
            Py_DECREF(name);
            Py_DECREF(function);
            throw_if_out_of_memory();
            throw Fault("cannot append a function name to __all__");
        }
        ok = PyObject_SetAttr(module, name, function) == 0;
    }
    Py_XDECREF(all);
    Py_DECREF(name);
    Py_DECREF(function);
    return ok;
}

}  // namespace quorvantel::pyapi::support
