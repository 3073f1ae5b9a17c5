#include <cmath>

#include "cyclewright/cycles.hpp"
#include "growth.hpp"
#include "huge_pages.hpp"
#include "rainflow_stack.hpp"

namespace cyclewright {

std::vector<HalfCycle> get_halfcycles(std::span<const double> peaktrough, bool half) {
    std::vector<HalfCycle> out;
    const std::size_t n = peaktrough.size();
    if (n == 0) return out;
    // n values closing N cycles leave k = n - 2N, so the closed cycles and a
    // residue recorded once make exactly n - 1 records: reserve them at once.
    out.reserve(detail::doubling_capacity(n - 1));
    detail::prefer_huge_pages(out);
    detail::RainflowStack stack(n);
    for (const double v : peaktrough) {
        stack.push(v, [&out](double b, double c, double range) {
            const HalfCycle closed{(b + c) * 0.5, range};
            out.push_back(closed);
            out.push_back(closed);
        });
    }
    const std::span<const double> r = stack.residue();
    if (!half && r.size() >= 2) out.reserve(detail::doubling_capacity(out.size() + 2 * (r.size() - 1)));
    for (std::size_t j = 1; j < r.size(); ++j) {
        const HalfCycle residual{(r[j - 1] + r[j]) * 0.5, std::fabs(r[j] - r[j - 1])};
        out.push_back(residual);
        if (!half) out.push_back(residual);
    }
    return out;
}

}  // namespace cyclewright
