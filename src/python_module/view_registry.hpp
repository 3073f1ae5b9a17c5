// The registry of array views, shared by every extension module of the
// process that uses the same table (reproduced::BorrowApiTable behind the
// capsule reproduced::kRegistryCapsule on NumPy's multiarray module); the
// first module to look for it creates it. This module takes shared
// registrations only (signal.hpp holds the signal's).
#pragma once

#include <cstdint>

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

}  // namespace cyclewright
