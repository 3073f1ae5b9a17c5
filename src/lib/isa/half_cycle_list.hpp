// The records of get_halfcycles (CountKernels::half_cycles).
#pragma once

#include "isa/isa.hpp"

#include <array>
#include <cmath>
#include <span>
#include <vector>

#include "isa/rainflow_stack.hpp"
#include "kernels.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

inline void half_cycles(std::span<const double> peaktrough, bool half, std::vector<HalfCycle>& out) {
    // Closed cycles are written unconditionally to a small buffer and kept
    // by moving its cursor, then handed on a block at a time.
    constexpr std::size_t kBlock = 512;
    std::array<HalfCycle, kBlock + 2> block;
    std::size_t kept = 0;
    RainflowStack stack(peaktrough.size());
    (void)stack.push(peaktrough, [&](double b, double c, double range, bool closed) {
        const HalfCycle cycle{(b + c) * 0.5, range};
        block[kept] = cycle;  // a full cycle: two records
        block[kept + 1] = cycle;
        kept += 2 * static_cast<std::size_t>(closed);
        if (kept >= kBlock) [[unlikely]] {
            append_records(out, block.data(), kept);
            kept = 0;
        }
    });
    // One record per neighbouring residue pair, twice unless `half`.
    const std::span<const double> r = stack.residue();
    for (std::size_t j = 1; j < r.size(); ++j) {
        const HalfCycle residual{(r[j - 1] + r[j]) * 0.5, std::fabs(r[j] - r[j - 1])};
        block[kept++] = residual;
        if (!half) block[kept++] = residual;
        if (kept >= kBlock) {
            append_records(out, block.data(), kept);
            kept = 0;
        }
    }
    append_records(out, block.data(), kept);
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
