#include "cyclewright/power.hpp"

#include "cpu_features.hpp"
#include "power_scalar_ops.hpp"
#include "power_variants.hpp"

namespace cyclewright {

double detail::power_baseline(double x, double y) noexcept { return scalar_power(x, y); }

double power(double x, double y) noexcept {
    // Without the instruction, every fused multiply-add is a library call.
    return detail::has_avx2_fma() ? detail::power_fma(x, y) : detail::scalar_power(x, y);
}

void power_of_each(const double* x, std::size_t count, double y, double* out) noexcept {
    if (detail::has_avx2_fma()) return detail::power_of_each_avx2(x, count, y, out);
    for (std::size_t i = 0; i < count; ++i) out[i] = detail::scalar_power(x[i], y);
}

double detail::add_powers(const double* x, std::size_t count, double y, bool twice, double sum) noexcept {
    if (detail::has_avx2_fma()) return detail::add_powers_avx2(x, count, y, twice, sum);
    for (std::size_t i = 0; i < count; ++i) {
        sum = detail::add_term(sum, detail::scalar_power(x[i], y), twice);
    }
    return sum;
}

}  // namespace cyclewright
