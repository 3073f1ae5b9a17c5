// Turning points eight centres at a time, with AVX-512: the comparisons give
// a mask, and a compress packs the kept centres to the front of a register
// (the AVX-512 build only).
#pragma once

#include "isa/isa.hpp"

#if CYCLEWRIGHT_ISA_AVX512

#include <immintrin.h>

#include <cstddef>

#include "isa/turning_points.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

// The lanes of p, c, q that are strict maxima or minima. The ordered, quiet
// comparisons are false against NaN, as in the scalar test.
inline __mmask8 eight_lane_turning_mask(__m512d p, __m512d c, __m512d q) {
    const __mmask8 peak = _mm512_cmp_pd_mask(q, c, _CMP_LT_OQ) & _mm512_cmp_pd_mask(p, c, _CMP_LT_OQ);
    const __mmask8 trough = _mm512_cmp_pd_mask(c, q, _CMP_LT_OQ) & _mm512_cmp_pd_mask(c, p, _CMP_LT_OQ);
    return peak | trough;
}

inline __mmask8 eight_lane_turning_mask(const double* s) {
    return eight_lane_turning_mask(_mm512_loadu_pd(s - 1), _mm512_loadu_pd(s), _mm512_loadu_pd(s + 1));
}

inline std::size_t eight_lane_count_turning_points(const double* s, std::size_t count) noexcept {
    std::size_t i = 0, sum = 0;
    for (; i + 8 <= count; i += 8) sum += static_cast<std::size_t>(__builtin_popcount(eight_lane_turning_mask(s + i)));
    return sum + scalar_count_turning_points(s + i, count - i);
}

// kCompactSlack covers only four values past the result: a whole register
// is stored only while at least eight centres remain after it.
inline std::size_t eight_lane_compact_turning_points(const double* s, std::size_t count, double* out) noexcept {
    std::size_t i = 0, k = 0;
    for (; i + 8 <= count; i += 8) {
        const __mmask8 mask = eight_lane_turning_mask(s + i);
        // The register-to-register compress is fast; its form that stores to
        // memory is not. All eight lanes are stored, the cursor moves past
        // the kept ones only: out has room, as k + 8 <= i + 8 <= count.
        _mm512_storeu_pd(out + k, _mm512_maskz_compress_pd(mask, _mm512_loadu_pd(s + i)));
        k += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    return k + scalar_compact_turning_points(s + i, count - i, out + k);
}

inline std::size_t eight_lane_copy_compact_turning_points(const double* s, std::size_t count, double* copy,
                                                          double* out) noexcept {
    std::size_t i = 0, k = 0;
    for (; i + 8 <= count; i += 8) {
        const __m512d centres = _mm512_loadu_pd(s + i);
        const __mmask8 mask = eight_lane_turning_mask(_mm512_loadu_pd(s + i - 1), centres, _mm512_loadu_pd(s + i + 1));
        _mm512_storeu_pd(copy + i, centres);
        _mm512_storeu_pd(out + k, _mm512_maskz_compress_pd(mask, centres));
        k += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    return k + scalar_copy_compact_turning_points(s + i, count - i, copy + i, out + k);
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA

#endif  // CYCLEWRIGHT_ISA_AVX512
