// The call boundary.  Every module function is an entry: a plain C++ function
// taking converted arguments and returning an Outcome.  `function_record`
// wraps one entry into a fast-call builtin: it binds positional and keyword
// arguments to the parameter names of the function's text signature,
// converts each argument by its C++ parameter type, runs the entry, raises a
// deferred error or converts the result, and turns internal faults into
// FaultException.  The text signature, the parameter names and the argument
// kinds all come from one place: the row of the function table.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "fault.hpp"
#include "pyapi/support/arrays.hpp"
#include "pyapi/support/error.hpp"
#include "pyapi/support/python.hpp"
#include "pyapi/support/results.hpp"
#include "pyapi/support/runtime.hpp"

namespace quorvantel::pyapi::support {

// ---------------------------------------------------------------------------
// Compile-time text: function names, parameter lists and text signatures.

template <std::size_t N>
struct FixedString {
    char text[N]{};
    constexpr FixedString(const char (&s)[N]) { std::copy_n(s, N, text); }  // NOLINT
    constexpr FixedString() = default;
    constexpr std::string_view view() const { return {text, N - 1}; }
    static constexpr std::size_t length = N - 1;
};

// "name(params)\n--\n\n": the documentation string that CPython reads as the
// function's text signature, leaving __doc__ None.
template <FixedString Name, FixedString Params>
struct TextSignature {
    static constexpr auto make() {
        constexpr std::string_view parts[] = {Name.view(), "(", Params.view(), ")\n--\n\n"};
        std::array<char, Name.length + Params.length + 8> out{};
        std::size_t k = 0;
        for (std::string_view part : parts) {
            for (char c : part) out[k++] = c;
        }
        out[k] = '\0';
        return out;
    }
    static constexpr auto value = make();
};

// The parameter names of "a, b, c".
template <FixedString Params>
struct ParameterNames {
    static constexpr std::size_t count() {
        if (Params.length == 0) return 0;
        std::size_t n = 1;
        for (char c : Params.view()) n += c == ',';
        return n;
    }
    static constexpr auto make() {
        std::array<std::string_view, count()> names{};
        std::string_view rest = Params.view();
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::size_t comma = rest.find(',');
            names[i] = rest.substr(0, comma);
            if (comma != std::string_view::npos) rest = rest.substr(comma + 2);
        }
        return names;
    }
    // NUL-terminated copies for the messages of the interpreter's format calls.
    static constexpr auto make_terminated() {
        std::array<std::array<char, Params.length + 1>, count()> out{};
        constexpr auto names = make();
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::copy(names[i].begin(), names[i].end(), out[i].begin());
        }
        return out;
    }
    static constexpr auto names = make();
    static constexpr auto terminated = make_terminated();
};

// ---------------------------------------------------------------------------
// Argument conversion, one converter per kind of parameter.  A converter
// returns false with a Python exception set.

template <class T> struct Convert;

template <> struct Convert<double> {
    static bool from(PyObject* obj, double& out) {
        if (PyFloat_CheckExact(obj)) {
            out = PyFloat_AS_DOUBLE(obj);
            return true;
        }
        out = PyFloat_AsDouble(obj);
        return !(out == -1.0 && PyErr_Occurred());
    }
};

template <> struct Convert<std::int64_t> {
    static bool from(PyObject* obj, std::int64_t& out) {
        PyObject* index = PyNumber_Index(obj);
        if (index == nullptr) return false;
        long long v = PyLong_AsLongLong(index);
        Py_DECREF(index);
        if (v == -1 && PyErr_Occurred()) return false;
        out = static_cast<std::int64_t>(v);
        return true;
    }
};

template <> struct Convert<std::uint64_t> {
    static bool from(PyObject* obj, std::uint64_t& out) {
        PyObject* index = PyLong_Check(obj) ? Py_NewRef(obj) : PyNumber_Index(obj);
        if (index == nullptr) return false;
        unsigned long long v = PyLong_AsUnsignedLongLong(index);
        Py_DECREF(index);
        if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
        out = static_cast<std::uint64_t>(v);
        return true;
    }
};

template <> struct Convert<bool> {
    static bool from(PyObject* obj, bool& out) {
        if (PyBool_Check(obj)) {
            out = obj == Py_True;
            return true;
        }
        if (is_numpy_bool_scalar(obj)) {
            int truth = PyObject_IsTrue(obj);
            if (truth < 0) return false;
            out = truth != 0;
            return true;
        }
        PyErr_Format(PyExc_TypeError, "must be bool, not %s", Py_TYPE(obj)->tp_name);
        return false;
    }
    static bool is_numpy_bool_scalar(PyObject* obj);
};

// Checks an array argument's type, dimension count and element type; throws
// Fault when NumPy's C API cannot be reached.
bool check_array(PyObject* obj, int ndim, int npy_type, const char* type_name);

template <class T, int ND> struct Convert<ArrayArg<T, ND>> {
    static bool from(PyObject* obj, ArrayArg<T, ND>& out) {
        if (!check_array(obj, ND, ElementType<T>::npy, ElementType<T>::name)) return false;
        out.array = reinterpret_cast<PyArrayObject*>(obj);
        return true;
    }
};

// Re-raises a failed conversion of parameter `name`: a TypeError gets the
// prefix "argument '{name}': ", anything else passes unchanged.
void prefix_conversion_error(const char* name);

// ---------------------------------------------------------------------------
// Binding.  Fills slots[0..count) from positional and keyword arguments;
// false with the interpreter's usual TypeError set.

bool bind_arguments(const char* function, const std::string_view* names, std::size_t count,
                    PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                    PyObject** slots);

// Raises what an entry handed back.
void raise_error(const Error& error);

// Runs `body` (which returns a new reference or null with an error set),
// turning C++ faults into FaultException so none crosses into the interpreter;
// memory that cannot be had is a MemoryError.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_SetString(PyExc_MemoryError, "out of memory");
    } catch (const std::exception& fault) {
        set_fault(fault.what());
    } catch (...) {
        set_fault("internal fault in quorvantel._native");
    }
    return nullptr;
}

template <class Sig> struct EntryTraits;
template <class R, class... A> struct EntryTraits<Outcome<R> (*)(A...)> {
    using Result = R;
    using Args = std::tuple<A...>;
    static constexpr std::size_t arity = sizeof...(A);
};

template <class R>
PyObject* finish(Outcome<R>& outcome) {
    if (!outcome.ok()) {
        raise_error(outcome.error());
        return nullptr;
    }
    PyObject* result = to_python(outcome.take());
    if (result == nullptr) throw_creation_failure("cannot create the result object");
    return result;
}

template <FixedString Name, FixedString Params, auto Entry>
PyObject* fast_call(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames) {
    using Traits = EntryTraits<decltype(Entry)>;
    using Names = ParameterNames<Params>;
    static_assert(Names::count() == Traits::arity, "text signature and entry disagree");
    return guarded([&]() -> PyObject* {
        PyObject* slots[Traits::arity == 0 ? 1 : Traits::arity] = {};
        if (!bind_arguments(Name.text, Names::names.data(), Traits::arity, args, nargsf, kwnames,
                            slots)) {
            return nullptr;
        }
        typename Traits::Args converted{};
        bool ok = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return ([&] {
                using P = std::tuple_element_t<I, typename Traits::Args>;
                if (Convert<P>::from(slots[I], std::get<I>(converted))) return true;
                prefix_conversion_error(Names::terminated[I].data());
                return false;
            }() && ...);
        }(std::make_index_sequence<Traits::arity>{});
        if (!ok) return nullptr;
        auto outcome = std::apply(Entry, converted);
        return finish(outcome);
    });
}

template <auto Entry>
PyObject* no_args_call(PyObject* /*module*/, PyObject* /*unused*/) {
    return guarded([&]() -> PyObject* {
        auto outcome = Entry();
        return finish(outcome);
    });
}

// ---------------------------------------------------------------------------
// One row of the function table.

struct FunctionRow {
    const char* name;
    const char* doc;  // the text signature
    PyCFunction entry;
    int flags;
};

template <FixedString Name, FixedString Params, auto Entry>
inline FunctionRow function_row() {
    const char* doc = TextSignature<Name, Params>::value.data();
    if constexpr (EntryTraits<decltype(Entry)>::arity == 0) {
        return {Name.text, doc, &no_args_call<Entry>, METH_NOARGS};
    } else {
        return {Name.text, doc,
                reinterpret_cast<PyCFunction>(
                    reinterpret_cast<void (*)()>(&fast_call<Name, Params, Entry>)),
                METH_FASTCALL | METH_KEYWORDS};
    }
}

}  // namespace quorvantel::pyapi::support
