#include "cyclewright/cycles.hpp"
#include "cpu_features.hpp"
#include "load_kernels.hpp"

namespace cyclewright {
namespace detail {
// load_kernels_sse41.cpp: the same kernels built for SSE4.1, whose blends
// shorten the rainflow count's chain of dependent steps.
double sse41_load(std::span<const double> signal, double m, std::uint64_t neq, bool half);
double sse41_closed_load(std::span<const double> signal, std::size_t k, double m, std::uint64_t neq, bool half);
}  // namespace detail

double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    if (signal.empty()) fail(kEmptySignalMessage);
    return detail::has_sse41() ? detail::sse41_load(signal, m, neq, half)
                               : detail::load_of(signal, m, neq, half);
}

double eq_load_max_half_cycle_closed(std::span<const double> signal, double m,
                                     std::uint64_t neq, bool half) {
    const std::size_t k = detail::last_maximum(signal);
    if (k == signal.size()) fail(kNoMaximumMessage);
    return detail::has_sse41() ? detail::sse41_closed_load(signal, k, m, neq, half)
                               : detail::closed_load_of(signal, k, m, neq, half);
}

}  // namespace cyclewright
