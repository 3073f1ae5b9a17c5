// NumPy arrays as this module reads them: NumPy's C API, reached through the
// table in the `_ARRAY_API` capsule of whichever NumPy the interpreter has
// (fetched at first use), the layout of an array's samples, and the call's
// own copy of them. The structure layouts are this module's own
// (reproduced.hpp), so that one binary serves NumPy 1 and NumPy 2 whichever
// headers it was built with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "python.hpp"
#include "reproduced.hpp"
#include "sample_memory.hpp"

namespace cyclewright {

// ---- NumPy's API table ------------------------------------------------------
namespace numpy {

inline reproduced::ArrayObject* as_array(PyObject* array) noexcept {
    return reinterpret_cast<reproduced::ArrayObject*>(array);
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

// ---- The samples of an array --------------------------------------------------

// What the samples of an array are: how many, how many bytes, where, in
// which arrangement, and whether they lie in one block.
struct ArrayLayout {
    std::size_t count;  // the product of the dimensions: 1 for 0-d, 0 if any is 0
    std::size_t bytes;  // count times the element size
    const char* data;
    std::uint64_t arrangement;  // a hash of the dimensions and strides
    bool contiguous;            // C- or Fortran-contiguous

    friend bool operator==(const ArrayLayout&, const ArrayLayout&) = default;
};

// Reads the array's fields as they are now; never fails.
ArrayLayout layout_of(PyObject* array) noexcept;

// The call's own copy of the samples, in the array's memory order.
class SampleBuffer {
public:
    explicit SampleBuffer(std::size_t count);

    [[nodiscard]] std::span<const double> samples() const noexcept { return {values_.get(), size_}; }
    [[nodiscard]] double* data() noexcept { return values_.get(); }
    // Frees the copy as soon as nothing needs it any more.
    void reset() noexcept {
        values_.reset();
        size_ = 0;
    }

private:
    SampleMemory values_;
    std::size_t size_;
};

// The room for a copy of the samples, with where they lie: filled either
// by copy(), or by a computation that copies the samples in its first pass
// over them (which needs them aligned for doubles: `aligned`).
struct PendingCopy {
    SampleBuffer buffer;
    const char* from;
    std::size_t bytes;
    bool aligned;

    // The samples where they lie; only when `aligned`.
    [[nodiscard]] std::span<const double> source() const noexcept {
        return {reinterpret_cast<const double*>(from), buffer.samples().size()};
    }
    void copy() noexcept;
};

// copy_samples up to the copy itself: the checks, and the room.
[[nodiscard]] PendingCopy prepare_copy(PyObject* array, const ArrayLayout& viewed);

// A copy of the samples of a C- or Fortran-contiguous array, in memory
// order. Python code that ran since the array was viewed may have changed
// it: unless its data type is still equivalent to float64 and its layout is
// `viewed`, this throws a `TypeError` and reads nothing.
// Throws InternalFailure for an array that is not contiguous, std::bad_alloc
// without memory.
[[nodiscard]] SampleBuffer copy_samples(PyObject* array, const ArrayLayout& viewed);

}  // namespace cyclewright
