// The NumPy C API, reached through the table in the `_ARRAY_API` capsule of
// whichever NumPy the interpreter has, fetched at first use. The layouts of
// the array object and of the descriptor are this module's own, so that one
// binary serves NumPy 1 and NumPy 2 whichever headers it was built with.
#pragma once

#include <cstdint>

#include "python.hpp"

namespace cyclewright::numpy {

using npy_intp = Py_ssize_t;

// The leading fields of PyArrayObject, identical in NumPy 1 and 2.
struct ArrayObject {
    PyObject_HEAD
    char* data;
    int nd;
    npy_intp* dimensions;
    npy_intp* strides;
    PyObject* base;
    PyObject* descr;
    int flags;
};

// The leading fields of PyArray_Descr up to the element size.
struct DescrNumpy1 {
    PyObject_HEAD
    PyTypeObject* typeobj;
    char kind;
    char type;
    char byteorder;
    char flags;
    int type_num;
    int elsize;
};
struct DescrNumpy2 {
    PyObject_HEAD
    PyTypeObject* typeobj;
    char kind;
    char type;
    char byteorder;
    char former_flags;
    int type_num;
    std::uint64_t flags;
    npy_intp elsize;
};

inline constexpr int kNpyDouble = 12;
inline constexpr int kArrayCContiguous = 0x0001;
inline constexpr int kArrayFContiguous = 0x0002;
inline constexpr int kArrayWriteable = 0x0400;
// Feature versions above this one have the NumPy 2 descriptor layout.
inline constexpr unsigned kLastNumpy1FeatureVersion = 17;

inline ArrayObject* as_array(PyObject* array) noexcept {
    return reinterpret_cast<ArrayObject*>(array);
}

namespace detail {
extern void** api_table;
[[gnu::cold, gnu::noinline]] void** load_api_table();
}  // namespace detail

// The API table; loaded on first use. Throws InternalFailure when NumPy or
// its capsule cannot be reached.
inline void** api() {
    void** table = detail::api_table;
    return table != nullptr ? table : detail::load_api_table();
}

// "numpy._core.multiarray" or "numpy.core.multiarray", after the running
// NumPy's major version. Throws PythonError.
const char* multiarray_module_name();

// Whether the object is an instance of ndarray or of a subclass.
bool is_array(PyObject* object);

// Whether the array's data type is equivalent to float64.
bool has_float64_dtype(PyObject* array);

// The element size of the array's data type, read with the descriptor
// layout of the running NumPy. Only valid once the API table is loaded.
npy_intp element_size(PyObject* array) noexcept;

// Whether the object is an array, for callers that cannot fail: the API
// table must already be loaded.
bool is_array_loaded(PyObject* object) noexcept;

}  // namespace cyclewright::numpy
