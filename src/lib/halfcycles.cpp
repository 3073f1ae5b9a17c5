#include "cyclewright/cycles.hpp"
#include "growth.hpp"
#include "kernels.hpp"

namespace cyclewright {

// Grows the list as doubling from four would, to the same final capacity.
void detail::append_records(std::vector<HalfCycle>& out, const HalfCycle* records, std::size_t count) {
    out.reserve(doubling_capacity(out.size() + count));
    out.insert(out.end(), records, records + count);
}

std::vector<HalfCycle> detail::get_halfcycles(const Kernels& build, std::span<const double> peaktrough,
                                              bool half) {
    std::vector<HalfCycle> out;
    const std::size_t n = peaktrough.size();
    if (n == 0) return out;
    // n values closing N cycles leave k = n - 2N, so the closed cycles and a
    // residue recorded once make exactly n - 1 records: reserve them at once.
    out.reserve(doubling_capacity(n - 1));
    build.count.half_cycles(peaktrough, half, out);
    return out;
}

std::vector<HalfCycle> get_halfcycles(std::span<const double> peaktrough, bool half) {
    return detail::get_halfcycles(detail::kernels(), peaktrough, half);
}

}  // namespace cyclewright
