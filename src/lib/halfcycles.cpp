#include <array>
#include <cmath>

#include "cyclewright/cycles.hpp"
#include "growth.hpp"
#include "rainflow_stack.hpp"

namespace cyclewright {
namespace {

// Out of line, so that the counting loop keeps its values in registers.
[[gnu::noinline]] void append(std::vector<HalfCycle>& out, const HalfCycle* block, std::size_t count) {
    out.insert(out.end(), block, block + count);
}

}  // namespace

std::vector<HalfCycle> get_halfcycles(std::span<const double> peaktrough, bool half) {
    std::vector<HalfCycle> out;
    const std::size_t n = peaktrough.size();
    if (n == 0) return out;
    // n values closing N cycles leave k = n - 2N, so the closed cycles and a
    // residue recorded once make exactly n - 1 records: reserve them at once.
    out.reserve(detail::doubling_capacity(n - 1));
    // Closed cycles are written unconditionally to a small buffer and kept
    // by moving its cursor, then appended a block at a time.
    constexpr std::size_t kBlock = 512;
    std::array<HalfCycle, kBlock + 2> block;
    std::size_t kept = 0;
    detail::RainflowStack stack(n);
    (void)stack.push(peaktrough, [&](double b, double c, double range, bool closed) {
        const HalfCycle cycle{(b + c) * 0.5, range};
        block[kept] = cycle;  // a full cycle: two records
        block[kept + 1] = cycle;
        kept += 2 * static_cast<std::size_t>(closed);
        if (kept >= kBlock) [[unlikely]] {
            append(out, block.data(), kept);
            kept = 0;
        }
    });
    append(out, block.data(), kept);
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
