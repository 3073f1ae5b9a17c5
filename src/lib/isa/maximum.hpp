// The scans behind the closed signal's maximum, with SSE2 lanes where the
// processor has them (every x86-64 does).
#pragma once

#include "isa/isa.hpp"

#include <cmath>
#include <cstddef>
#include <span>

#if CYCLEWRIGHT_ISA_SSE2
#include <emmintrin.h>
#endif

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

// The largest sample that is a number; -infinity when there is none. NaN
// samples are skipped: x > top is false for them. Which of two equal zeros
// comes out does not matter to last_index_of. With a copy (else null), each
// sample is also stored there from the load that tests it.
template <bool Copy>
inline double maximum_of_numbers(const double* s, std::size_t n, double* copy = nullptr) {
    double top = -INFINITY;
    std::size_t i = 0;
#if CYCLEWRIGHT_ISA_SSE2
    // _mm_max_pd(x, t) is x > t ? x : t, lane by lane; four independent
    // accumulators keep the comparisons off one chain of dependencies.
    __m128d t0 = _mm_set1_pd(-INFINITY), t1 = t0, t2 = t0, t3 = t0;
    for (; i + 8 <= n; i += 8) {
        const __m128d x0 = _mm_loadu_pd(s + i), x1 = _mm_loadu_pd(s + i + 2);
        const __m128d x2 = _mm_loadu_pd(s + i + 4), x3 = _mm_loadu_pd(s + i + 6);
        if constexpr (Copy) {
            _mm_storeu_pd(copy + i, x0);
            _mm_storeu_pd(copy + i + 2, x1);
            _mm_storeu_pd(copy + i + 4, x2);
            _mm_storeu_pd(copy + i + 6, x3);
        }
        t0 = _mm_max_pd(x0, t0);
        t1 = _mm_max_pd(x1, t1);
        t2 = _mm_max_pd(x2, t2);
        t3 = _mm_max_pd(x3, t3);
    }
    const __m128d t = _mm_max_pd(_mm_max_pd(t0, t1), _mm_max_pd(t2, t3));
    const double lanes[2] = {_mm_cvtsd_f64(t), _mm_cvtsd_f64(_mm_unpackhi_pd(t, t))};
    for (const double x : lanes) top = x > top ? x : top;
#endif
    for (; i < n; ++i) {
        if constexpr (Copy) copy[i] = s[i];
        top = s[i] > top ? s[i] : top;
    }
    return top;
}

// The highest index of a sample equal to `value`, or n when none is.
inline std::size_t last_index_of(const double* s, std::size_t n, double value) {
    std::size_t i = n;
#if CYCLEWRIGHT_ISA_SSE2
    const __m128d v = _mm_set1_pd(value);
    for (; i >= 8; i -= 8) {
        const __m128d e0 = _mm_cmpeq_pd(_mm_loadu_pd(s + i - 8), v), e1 = _mm_cmpeq_pd(_mm_loadu_pd(s + i - 6), v);
        const __m128d e2 = _mm_cmpeq_pd(_mm_loadu_pd(s + i - 4), v), e3 = _mm_cmpeq_pd(_mm_loadu_pd(s + i - 2), v);
        if (_mm_movemask_pd(_mm_or_pd(_mm_or_pd(e0, e1), _mm_or_pd(e2, e3))) != 0) break;
    }
    // The match, if any, lies among s[i - 8 .. i).
#endif
    while (i-- > 0)
        if (s[i] == value) return i;
    return n;
}

// LaneKernels::last_maximum: two vectorised passes, the value, then its last
// occurrence. -0.0 and +0.0 count as equal.
inline std::size_t last_maximum(std::span<const double> signal) noexcept {
    const double top = maximum_of_numbers<false>(signal.data(), signal.size());
    return last_index_of(signal.data(), signal.size(), top);
}

// LaneKernels::copy_last_maximum: the copy is made in the first pass, and the
// second reads it.
inline std::size_t copy_last_maximum(std::span<const double> signal, double* copy) noexcept {
    const double top = maximum_of_numbers<true>(signal.data(), signal.size(), copy);
    return last_index_of(copy, signal.size(), top);
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
