// Everything the module keeps for the whole process, in one place. Each
// member starts empty, is filled lazily, once, with the interpreter lock
// held, by the one function named beside it, and is kept (with the reference
// or capsule behind it) until the process ends: nothing here is ever
// cleared or replaced. The module is initialised once per process, in its
// first interpreter only, so one set serves every call.
#pragma once

#include <atomic>
#include <cstdint>

#include "python.hpp"
#include "reproduced.hpp"

namespace cyclewright {

struct ProcessState {
    // NumPy's C API table, from the `_ARRAY_API` capsule of the running
    // NumPy: numpy::load_api_table (numpy_array.cpp), at the first call that
    // needs NumPy.
    void** numpy_api = nullptr;
    // "numpy._core.multiarray" or "numpy.core.multiarray":
    // numpy::multiarray_module_name (numpy_array.cpp), when the API table or
    // the registry is first looked for.
    const char* multiarray_name = nullptr;
    // NumPy's C API feature version: numpy::element_size (numpy_array.cpp),
    // at the first element size read. Atomic, as other extension modules may
    // call the registry's operations, which read it.
    std::atomic<unsigned> numpy_feature_version{0};
    // The table of the registry of array views, found on NumPy's multiarray
    // module or created there: borrow_api (view_registry.cpp), at the first
    // signal registered.
    const reproduced::BorrowApiTable* view_registry = nullptr;
    // The PanicException type: panic_exception_type (errors.cpp), the first
    // time an internal failure is raised.
    PyObject* panic_exception_type = nullptr;
    // Identifier of the first interpreter that imported the module; -1
    // before: claim_interpreter (module.cpp), at the first import.
    std::atomic<std::int64_t> interpreter{-1};
    // The module object: initialise (module.cpp), at the first import;
    // later imports return it again.
    PyObject* module = nullptr;
    // The interned string "__name__": name_attribute (module.cpp), at the
    // first import.
    PyObject* name_string = nullptr;
};

inline constinit ProcessState process_state;

}  // namespace cyclewright
