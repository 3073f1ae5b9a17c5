// The turning-point test and the plain loops over it, which get_peaktrough
// and the streaming loads share, so that both keep exactly the same samples.
#pragma once

#include "isa/isa.hpp"

#include <cstddef>

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

// A strict local maximum or minimum of the window p, c, q. Ordered comparisons
// are false against NaN, so neither a NaN nor a neighbour of one qualifies.
// Bitwise operators keep the test free of branches.
inline bool is_turning_point(double p, double c, double q) {
    return (static_cast<unsigned>(q < c) & static_cast<unsigned>(p < c)) |
           (static_cast<unsigned>(c < q) & static_cast<unsigned>(c < p));
}

// LaneKernels::count_turning_points, one centre at a time.
inline std::size_t scalar_count_turning_points(const double* s, std::size_t count) noexcept {
    std::size_t turning = 0;
    const double* const before = s - 1;  // s[-1]: s points into the signal
    const double* const after = s + 1;
    for (std::size_t i = 0; i < count; ++i) turning += is_turning_point(before[i], s[i], after[i]);
    return turning;
}

// LaneKernels::compact_turning_points, one centre at a time.
inline std::size_t scalar_compact_turning_points(const double* s, std::size_t count, double* out) noexcept {
    // Every centre is written; the cursor moves past turning points only.
    std::size_t kept = 0;
    const double* const before = s - 1;
    const double* const after = s + 1;
    for (std::size_t i = 0; i < count; ++i) {
        out[kept] = s[i];
        kept += is_turning_point(before[i], s[i], after[i]);
    }
    return kept;
}

// LaneKernels::copy_compact_turning_points, one centre at a time.
inline std::size_t scalar_copy_compact_turning_points(const double* s, std::size_t count, double* copy,
                                                      double* out) noexcept {
    std::size_t kept = 0;
    const double* const before = s - 1;
    const double* const after = s + 1;
    for (std::size_t i = 0; i < count; ++i) {
        copy[i] = s[i];
        out[kept] = s[i];
        kept += is_turning_point(before[i], s[i], after[i]);
    }
    return kept;
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
