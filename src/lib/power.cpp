// The power function, by the chosen build's kernel (isa/power_kernel.hpp).
#include "power.hpp"

#include "kernels.hpp"

namespace cyclewright {

double power(double x, double y) noexcept { return detail::kernels().lanes.power(x, y); }

void power_of_each(const double* x, std::size_t count, double y, double* out) noexcept {
    detail::kernels().lanes.power_of_each(x, count, y, out);
}

}  // namespace cyclewright
