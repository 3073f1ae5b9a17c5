#include "turning_point.hpp"

#include "cpu_features.hpp"

namespace cyclewright::detail {

std::size_t count_turning_points(const double* s, std::size_t count) noexcept {
    std::size_t turning = 0, i = 0;
    if (has_avx2()) i = count_turning_points_avx2(s, count, turning);
    const double* const before = s - 1;  // s[-1]: s points into the signal
    const double* const after = s + 1;
    for (; i < count; ++i) turning += is_turning_point(before[i], s[i], after[i]);
    return turning;
}

std::size_t compact_turning_points(const double* s, std::size_t count, double* out) noexcept {
    std::size_t kept = 0, i = 0;
    if (has_avx2()) i = compact_turning_points_avx2(s, count, out, kept);
    // Every centre is written; the cursor moves past turning points only.
    const double* const before = s - 1;
    const double* const after = s + 1;
    for (; i < count; ++i) {
        out[kept] = s[i];
        kept += is_turning_point(before[i], s[i], after[i]);
    }
    return kept;
}

}  // namespace cyclewright::detail
