// The results of the exposed functions as new Python objects.
#pragma once

#include <span>

#include "cyclewright/half_cycle.hpp"
#include "python.hpp"

namespace cyclewright {

// A new list of (mean, range) float 2-tuples, one per half cycle, in order.
// Throws InternalFailure "Python API call failed" if an object cannot be made.
PyObject* half_cycle_list(std::span<const HalfCycle> cycles);

// A new float. Throws InternalFailure as above.
PyObject* new_float(double value);

}  // namespace cyclewright
