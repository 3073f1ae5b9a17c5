// NumPy as this module reaches it: its C API, through the table in the
// `_ARRAY_API` capsule of whichever NumPy the interpreter has (fetched at
// first use), and what the module asks of an array through it. The
// structure layouts are this module's own (reproduced.hpp), so that one
// binary serves NumPy 1 and NumPy 2 whichever headers it was built with.
#pragma once

#include "process_state.hpp"
#include "python.hpp"
#include "reproduced.hpp"

namespace cyclewright {

// ---- NumPy's API table ------------------------------------------------------
namespace numpy {

inline reproduced::ArrayObject* as_array(PyObject* array) noexcept {
    return reinterpret_cast<reproduced::ArrayObject*>(array);
}

// Fills process_state.numpy_api. Throws InternalFailure when NumPy or its
// capsule cannot be reached.
[[gnu::cold, gnu::noinline]] void** load_api_table();

// The API table; loaded on first use.
inline void** api() {
    void** table = process_state.numpy_api;
    return table != nullptr ? table : load_api_table();
}

// "numpy._core.multiarray" or "numpy.core.multiarray", after the running
// NumPy's major version. Throws PythonError.
const char* multiarray_module_name();

// Whether the object is an instance of ndarray or of a subclass.
bool is_array(PyObject* object);

// Whether the object is an array, for callers that cannot fail: the API
// table must already be loaded.
bool is_array_loaded(PyObject* object) noexcept;

// Whether the array's data type is equivalent to float64.
bool has_float64_dtype(PyObject* array);

// The element size of the array's data type, read with the descriptor
// layout of the running NumPy. Only valid once the API table is loaded.
reproduced::npy_intp element_size(PyObject* array) noexcept;

}  // namespace numpy

// The pointer of a capsule of exactly PyCapsule_Type, under the name that the
// capsule reports; a null pointer is refused. Throws PythonError.
void* capsule_pointer(PyObject* capsule);

}  // namespace cyclewright
