#include "cyclewright/cycles.hpp"
#include "kernels.hpp"

namespace cyclewright {

double detail::eq_load(const Kernels& build, std::span<const double> signal, double* copy, double m,
                       std::uint64_t neq, bool half) {
    if (signal.empty()) throw EmptySignal();
    return build.count.load(build.lanes, signal, copy, m, neq, half);
}

double detail::eq_load_max_half_cycle_closed(const Kernels& build, std::span<const double> signal, double* copy,
                                             double m, std::uint64_t neq, bool half) {
    const std::size_t k =
        copy == nullptr ? build.lanes.last_maximum(signal) : build.lanes.copy_last_maximum(signal, copy);
    if (k == signal.size()) throw NoNumberInSignal();
    // Every later pass reads the copy.
    if (copy != nullptr) signal = {copy, signal.size()};
    return build.count.closed_load(build.lanes, signal, k, m, neq, half);
}

double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    return detail::eq_load(detail::kernels(), signal, nullptr, m, neq, half);
}

double eq_load_max_half_cycle_closed(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    return detail::eq_load_max_half_cycle_closed(detail::kernels(), signal, nullptr, m, neq, half);
}

double eq_load_copying(std::span<const double> signal, double* copy, double m, std::uint64_t neq, bool half) {
    return detail::eq_load(detail::kernels(), signal, copy, m, neq, half);
}

double eq_load_max_half_cycle_closed_copying(std::span<const double> signal, double* copy, double m,
                                             std::uint64_t neq, bool half) {
    return detail::eq_load_max_half_cycle_closed(detail::kernels(), signal, copy, m, neq, half);
}

}  // namespace cyclewright
