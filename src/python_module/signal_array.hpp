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

// The call's own copy of the samples, in the array's memory order.
class SampleBuffer {
public:
    explicit SampleBuffer(std::size_t count);

    [[nodiscard]] std::span<const double> samples() const noexcept { return {data_.get(), size_}; }
    [[nodiscard]] double* data() noexcept { return data_.get(); }
    // Frees the samples as soon as nothing needs them any more.
    void reset() noexcept {
        data_.reset();
        size_ = 0;
    }

private:
    std::unique_ptr<double[]> data_;
    std::size_t size_;
};

// Converts `signal`: an ndarray (or subclass) whose data type is equivalent
// to float64, registered as a read-only view. Throws PythonError (a
// `TypeError` for anything else) or InternalFailure.
[[nodiscard]] PyReadonlyArray convert_signal(PyObject* object);

// Copies all samples of a C- or Fortran-contiguous array in one block.
// Throws InternalFailure for any other array, std::bad_alloc without memory.
[[nodiscard]] SampleBuffer read_samples(const PyReadonlyArray& view);

}  // namespace cyclewright
