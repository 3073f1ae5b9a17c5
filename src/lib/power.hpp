// The power function of the core: every range^m of a power sum and the final
// root go through it, in the streaming loads and in the plain composition
// alike, so that both give the same bits. Accurate to within one unit in the
// last place (at most 0.506 measured; see isa/power_kernel.hpp); special
// values (zeros, infinities, NaN, negative bases, results that overflow or
// are subnormal) are those of the mathematics library's pow, which handles
// them. Internal to the libraries built on the core (not in cyclewright/):
// the chosen build's add_powers (kernels.hpp) is the power sum itself.
#pragma once

#include <cstddef>

namespace cyclewright {

double power(double x, double y) noexcept;

// out[i] = power(x[i], y), bit for bit, four at a time where the processor
// allows. out may be x.
void power_of_each(const double* x, std::size_t count, double y, double* out) noexcept;

}  // namespace cyclewright
