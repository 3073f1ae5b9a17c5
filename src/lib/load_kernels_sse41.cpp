// The load kernels built for SSE4.1; eq_load.cpp chooses them at run time.
#include "load_kernels.hpp"

namespace cyclewright::detail {

double sse41_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    return load_of(signal, m, neq, half);
}

double sse41_closed_load(std::span<const double> signal, std::size_t k, double m, std::uint64_t neq, bool half) {
    return closed_load_of(signal, k, m, neq, half);
}

}  // namespace cyclewright::detail
