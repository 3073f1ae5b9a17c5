// Turning points four centres at a time, with AVX2 (the AVX2 build only).
#pragma once

#include "isa/isa.hpp"

#if CYCLEWRIGHT_ISA_AVX2

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "isa/turning_points.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

// The lanes of p, c, q that are strict maxima or minima, as four mask bits.
// The ordered, quiet comparisons are false against NaN, as in the scalar test.
inline unsigned turning_mask(const double* s) {
    const __m256d p = _mm256_loadu_pd(s - 1), c = _mm256_loadu_pd(s), q = _mm256_loadu_pd(s + 1);
    const __m256d peak = _mm256_and_pd(_mm256_cmp_pd(q, c, _CMP_LT_OQ), _mm256_cmp_pd(p, c, _CMP_LT_OQ));
    const __m256d trough = _mm256_and_pd(_mm256_cmp_pd(c, q, _CMP_LT_OQ), _mm256_cmp_pd(c, p, _CMP_LT_OQ));
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_or_pd(peak, trough)));
}

// For each mask of four lanes, the 32-bit lane indices that move its set
// lanes, in order, to the front.
struct PackTable {
    alignas(32) std::int32_t index[16][8];
    constexpr PackTable() : index{} {
        for (int mask = 0; mask < 16; ++mask) {
            int to = 0;
            for (int lane = 0; lane < 4; ++lane) {
                if ((mask >> lane) & 1) {
                    index[mask][2 * to] = 2 * lane;
                    index[mask][2 * to + 1] = 2 * lane + 1;
                    ++to;
                }
            }
        }
    }
};
inline constexpr PackTable kPack;

inline std::size_t four_lane_count_turning_points(const double* s, std::size_t count) noexcept {
    std::size_t i = 0, sum = 0;
    for (; i + 4 <= count; i += 4) sum += static_cast<std::size_t>(__builtin_popcount(turning_mask(s + i)));
    return sum + scalar_count_turning_points(s + i, count - i);
}

inline std::size_t four_lane_compact_turning_points(const double* s, std::size_t count, double* out) noexcept {
    std::size_t i = 0, k = 0;
    for (; i + 4 <= count; i += 4) {
        const unsigned mask = turning_mask(s + i);
        const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPack.index[mask]));
        const __m256 packed = _mm256_permutevar8x32_ps(_mm256_castpd_ps(_mm256_loadu_pd(s + i)), order);
        // All four lanes are stored; the cursor moves past the kept ones only.
        _mm256_storeu_pd(out + k, _mm256_castps_pd(packed));
        k += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    return k + scalar_compact_turning_points(s + i, count - i, out + k);
}

// The same, also copying the centres from the loads that test them.
inline std::size_t four_lane_copy_compact_turning_points(const double* s, std::size_t count, double* copy,
                                                         double* out) noexcept {
    std::size_t i = 0, k = 0;
    for (; i + 4 <= count; i += 4) {
        const unsigned mask = turning_mask(s + i);
        const __m256d centres = _mm256_loadu_pd(s + i);
        _mm256_storeu_pd(copy + i, centres);
        const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPack.index[mask]));
        _mm256_storeu_pd(out + k, _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(centres), order)));
        k += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    return k + scalar_copy_compact_turning_points(s + i, count - i, copy + i, out + k);
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA

#endif  // CYCLEWRIGHT_ISA_AVX2
