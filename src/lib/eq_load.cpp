#include "cyclewright/cycles.hpp"
#include "kernels.hpp"

namespace cyclewright {

double detail::eq_load(const Kernels& build, std::span<const double> signal, double m, std::uint64_t neq,
                       bool half) {
    if (signal.empty()) throw EmptySignal();
    return build.count.load(build.lanes, signal, m, neq, half);
}

double detail::eq_load_max_half_cycle_closed(const Kernels& build, std::span<const double> signal, double m,
                                             std::uint64_t neq, bool half) {
    const std::size_t k = build.lanes.last_maximum(signal);
    if (k == signal.size()) throw NoNumberInSignal();
    return build.count.closed_load(build.lanes, signal, k, m, neq, half);
}

double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    return detail::eq_load(detail::kernels(), signal, m, neq, half);
}

double eq_load_max_half_cycle_closed(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    return detail::eq_load_max_half_cycle_closed(detail::kernels(), signal, m, neq, half);
}

}  // namespace cyclewright
