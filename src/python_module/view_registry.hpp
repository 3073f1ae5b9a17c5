// The registry of array views, shared by every extension module of the
// process that uses the same table (reproduced::BorrowApiTable behind the
// capsule reproduced::kRegistryCapsule on NumPy's multiarray module); the
// first module to look for it creates it. And the signal's view: a strong
// reference to the array plus one shared registration of it.
#pragma once

#include <cstdint>

#include "numpy_array.hpp"
#include "python.hpp"
#include "reproduced.hpp"

namespace cyclewright {

// What a view can touch, as four machine words compared as a whole.
struct BorrowKey {
    std::uintptr_t range_start;  // first byte an element can touch
    std::uintptr_t range_end;    // one past the last; equal to start when empty
    std::uintptr_t data_ptr;
    std::intptr_t gcd_strides;

    friend bool operator==(const BorrowKey&, const BorrowKey&) = default;
};

// One shared registration of an array, as it must be released. In the
// registry this module creates, the registration remembers the base address
// and key it was made under and is released by them, so that Python code
// which changes the array's data type, shape, strides or data meanwhile
// cannot strand it. A registry created by another module only ever sees the
// array: its release recomputes the key from the array as it is then, and
// may miss the entry if the array changed in between.
class SharedRegistration {
public:
    // Registers a shared view of `array`; returns the registry's status (0 on
    // success). Throws InternalFailure when the registry is unusable.
    [[nodiscard]] int acquire(PyObject* array);
    // Removes the registration; only after a successful acquire.
    void release(PyObject* array) const noexcept;

private:
    const reproduced::BorrowApiTable* table_ = nullptr;
    std::uintptr_t base_ = 0;
    BorrowKey key_{};
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

    // The call's own copy of the samples (numpy_array.hpp: copy_samples).
    [[nodiscard]] SampleBuffer copy_samples() const { return cyclewright::copy_samples(array_.get(), viewed_); }
    // The same checks and room, for a copy made by the count's first pass.
    [[nodiscard]] PendingCopy prepare_copy() const { return cyclewright::prepare_copy(array_.get(), viewed_); }

private:
    PyReadonlyArray(SharedRegistration registration, OwnedRef array, ArrayLayout viewed) noexcept
        : registration_(registration), array_(std::move(array)), viewed_(viewed) {}

    SharedRegistration registration_;
    OwnedRef array_;
    ArrayLayout viewed_;
};

}  // namespace cyclewright
