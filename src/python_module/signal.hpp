// The `signal` argument, from conversion to the call's own copy of its
// samples: the array held as a registered read-only view (view_registry),
// its layout when it was viewed, and the copy, which first checks that
// layout again and lies in huge pages when long (sample_memory.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "python.hpp"
#include "sample_memory.hpp"
#include "view_registry.hpp"

namespace cyclewright {

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

// A registered read-only view of an array, and the array's layout when it
// was registered. Disposing of it releases the registration first, then the
// reference.
class PyReadonlyArray {
public:
    PyReadonlyArray(PyReadonlyArray&& other) noexcept
        : registration_(other.registration_), array_(std::move(other.array_)), viewed_(other.viewed_) {}
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
            registration_.release(array_.get());
            array_.reset();
        }
    }

    // A copy of the samples of a C- or Fortran-contiguous array, in memory
    // order. Python code that ran since the array was viewed may have
    // changed it: unless its data type is still equivalent to float64 and
    // its layout is the one viewed, this throws a `TypeError` and reads
    // nothing. Throws InternalFailure for an array that is not contiguous,
    // std::bad_alloc without memory.
    [[nodiscard]] SampleBuffer copy_samples() const;
    // copy_samples up to the copy itself: the checks, and the room.
    [[nodiscard]] PendingCopy prepare_copy() const;

private:
    PyReadonlyArray(SharedRegistration registration, OwnedRef array, ArrayLayout viewed) noexcept
        : registration_(registration), array_(std::move(array)), viewed_(viewed) {}

    SharedRegistration registration_;
    OwnedRef array_;
    ArrayLayout viewed_;
};

// Converts `signal`: an ndarray (or subclass) whose data type is equivalent
// to float64, registered as a read-only view. Throws PythonError (a
// `TypeError` for anything else) or InternalFailure.
[[nodiscard]] PyReadonlyArray convert_signal(PyObject* object);

}  // namespace cyclewright
