// The one way this module includes the interpreter's and NumPy's C headers.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL quorvantel_ARRAY_API
#ifndef QUORVANTEL_NUMPY_API_OWNER
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
