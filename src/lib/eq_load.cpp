#include "cyclewright/cycles.hpp"
#include "load_builds.hpp"
#include "load_kernels.hpp"

namespace cyclewright {

double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    if (signal.empty()) throw EmptySignal();
    return detail::load_build().load(signal, m, neq, half);
}

double eq_load_max_half_cycle_closed(std::span<const double> signal, double m,
                                     std::uint64_t neq, bool half) {
    const std::size_t k = detail::last_maximum(signal);
    if (k == signal.size()) throw NoNumberInSignal();
    return detail::load_build().closed_load(signal, k, m, neq, half);
}

}  // namespace cyclewright
