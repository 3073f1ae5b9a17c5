// The conversions of the scalar arguments. Each takes a borrowed object and
// returns the value or throws the conversion's PythonError.
#pragma once

#include <cstdint>

#include "python.hpp"

namespace cyclewright {

// `m`: an exact float is read directly; anything else goes through the
// interpreter's float conversion (int, bool, __float__, __index__).
double to_double(PyObject* object);

// `neq`: an int (bool included) or any object with __index__, 0 to 2**64 - 1.
std::uint64_t to_uint64(PyObject* object);

// `half`: a bool, or a NumPy boolean scalar. Integers are refused.
bool to_bool(PyObject* object);

}  // namespace cyclewright
