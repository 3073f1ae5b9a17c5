// The `signal` argument: a NumPy array of float64, held as a registered
// read-only view for the length of a call, and its samples copied out.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "borrow_registry.hpp"
#include "owned_ref.hpp"
#include "python.hpp"

namespace cyclewright {

// A strong reference to an array plus one shared registration of it.
// Disposing of it releases the registration first, then the reference.
class PyReadonlyArray {
public:
    PyReadonlyArray(PyReadonlyArray&& other) noexcept
        : table_(other.table_), array_(std::move(other.array_)) {}
    PyReadonlyArray(const PyReadonlyArray&) = delete;
    PyReadonlyArray& operator=(const PyReadonlyArray&) = delete;
    PyReadonlyArray& operator=(PyReadonlyArray&&) = delete;
    ~PyReadonlyArray() { release(); }

    // Registers a shared view of `array`, to which the caller gives a new
    // reference. Throws InternalFailure when the view cannot be registered.
    [[nodiscard]] static PyReadonlyArray acquire(OwnedRef array);

    // Lets the array go; idempotent.
    void release() noexcept {
        if (array_) {
            table_->release(table_->flags, array_.get());
            array_.reset();
        }
    }

    [[nodiscard]] PyObject* array() const noexcept { return array_.get(); }

private:
    PyReadonlyArray(const BorrowApiTable* table, OwnedRef array) noexcept
        : table_(table), array_(std::move(array)) {}

    const BorrowApiTable* table_;
    OwnedRef array_;
};

// The samples a call reads, in the array's memory order: either the
// call's own copy, or the array's memory itself where reading it in place is
// as safe as a copy (see read_samples).
class SampleBuffer {
public:
    explicit SampleBuffer(std::size_t count);
    // The samples at `data`, owned by somebody else.
    SampleBuffer(const double* data, std::size_t count) noexcept : view_(data), size_(count) {}

    [[nodiscard]] std::span<const double> samples() const noexcept { return {view_, size_}; }
    [[nodiscard]] double* data() noexcept { return owned_.get(); }
    // Drops the samples as soon as nothing needs them any more.
    void reset() noexcept {
        owned_.reset();
        view_ = nullptr;
        size_ = 0;
    }

private:
    std::unique_ptr<double[]> owned_;
    const double* view_;
    std::size_t size_;
};

// Converts `signal`: an ndarray (or subclass) whose data type is equivalent
// to float64, registered as a read-only view. Throws PythonError (a
// `TypeError` for anything else) or InternalFailure.
[[nodiscard]] PyReadonlyArray convert_signal(PyObject* object);

// The samples of a C- or Fortran-contiguous array, in memory order. With the
// interpreter lock held for the whole call and no Python code running while
// the core reads, nothing can change an aligned array's samples under the
// core, so they are read in place; others are copied in one block.
// Throws InternalFailure for any other array, std::bad_alloc without memory.
[[nodiscard]] SampleBuffer read_samples(const PyReadonlyArray& view);

}  // namespace cyclewright
