// The registry of array views, shared by every extension module of the
// process that uses the same table: a capsule named
// "_RUST_NUMPY_BORROW_CHECKING_API" on NumPy's multiarray module, pointing
// to a BorrowApiTable. Whichever module looks for it first creates it.
#pragma once

#include <cstdint>

#include "python.hpp"

namespace cyclewright {

// The table behind the capsule; every field is 8 bytes wide.
struct BorrowApiTable {
    std::uint64_t version;
    void* flags;  // the registry state, passed back to every operation
    int (*acquire)(void* flags, PyObject* array);
    int (*acquire_mut)(void* flags, PyObject* array);
    void (*release)(void* flags, PyObject* array);
    void (*release_mut)(void* flags, PyObject* array);
};
static_assert(sizeof(BorrowApiTable) == 6 * 8);

// The registry table, located or created on first use. Throws
// InternalFailure when the attribute is unusable or cannot be created.
const BorrowApiTable& borrow_api();

}  // namespace cyclewright
