// The three exposed functions, as the method-table entries that module
// initialisation registers, in registration order.
#pragma once

#include <span>

#include "python.hpp"

namespace cyclewright {

// Kept for the whole process: the function objects point into it.
std::span<PyMethodDef> exposed_functions() noexcept;

}  // namespace cyclewright
