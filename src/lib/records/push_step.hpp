// The body of the count's step over points (records/push_points.hpp), for
// the file of each build to compile with its own flags. Its code stays in an
// unnamed namespace: each build's copy is its own, so the linker can never
// hand one build's code to another.
#pragma once

#include <cstddef>

#include "records/push_points.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cyclewright::records {
namespace {

#if defined(__SSE2__)

// Each step tests the top three values with the next point d, not yet
// pushed, and either closes b, c (d is then tested again) or pushes d,
// without a branch: the outcome is as good as random. A point is one
// register, its value in the low lane and its index's bits in the high one,
// so a choice between points is one mask operation (`choose(mask, p, q)`: p
// where the mask is set). The top three values, the two below them and the
// next two points wait in registers, and what a close would need next is
// loaded a step ahead: no load whose address hangs on the last outcome
// stands on the loop's chain. Closed cycles gather in a block.
template <class Choose>
std::size_t push_step(Point* v, std::size_t top, const Point* in, std::size_t n, ClosedSink sink, void* context,
                      Choose choose) {
    if (n == 0) return top;
    constexpr std::size_t kBlock = 512;
    Point closed_b[kBlock], closed_c[kBlock];
    std::size_t closed = 0;
    static_assert(sizeof(Point) == 16 && offsetof(Point, index) == 8);
    auto load = [](const Point* p) { return _mm_loadu_pd(reinterpret_cast<const double*>(p)); };
    auto store = [](Point* p, __m128d x) { _mm_storeu_pd(reinterpret_cast<double*>(p), x); };
    const __m128d sign = _mm_set_sd(-0.0);
    auto distance = [sign](__m128d p, __m128d q) { return _mm_andnot_pd(sign, _mm_sub_sd(p, q)); };
    const std::size_t last = n - 1;
    __m128d below2 = load(v + top - 5), below1 = load(v + top - 4);
    __m128d a = load(v + top - 3), b = load(v + top - 2), c = load(v + top - 1);
    __m128d d = load(in), after_d = load(in + (last < 1 ? last : 1));
    for (std::size_t i = 0;;) {
        const __m128d y = distance(b, c);
        // Ordered comparisons: the NaN sentinels below the stack never close.
        const __m128d test = _mm_and_pd(_mm_cmple_sd(y, distance(a, b)), _mm_cmple_sd(y, distance(c, d)));
        const __m128d closing = _mm_unpacklo_pd(test, test);
        // All ones when closing: as an integer, the step's -1.
        const auto minus_closed = static_cast<std::ptrdiff_t>(_mm_cvtsi128_si64(_mm_castpd_si128(closing)));
        store(closed_b + closed, b);  // kept only when it closes
        store(closed_c + closed, c);
        closed = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(closed) - minus_closed);
        const __m128d below4 = load(v + top - 7), below3 = load(v + top - 6);
        const __m128d later = load(in + (i + 2 < last ? i + 2 : last));
        store(v + top, d);  // past the new top when it closes
        top = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(top) + 1 + 3 * minus_closed);
        i = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(i) + 1 + minus_closed);
        const __m128d old_below2 = below2, old_below1 = below1, old_a = a;
        below2 = choose(closing, below4, below1);
        below1 = choose(closing, below3, a);
        a = choose(closing, old_below2, b);
        b = choose(closing, old_below1, c);
        c = choose(closing, old_a, d);
        d = choose(closing, d, after_d);
        after_d = choose(closing, after_d, later);
        if (closed == kBlock) [[unlikely]] {
            sink(context, closed_b, closed_c, closed);
            closed = 0;
        }
        if (i == n) break;
    }
    sink(context, closed_b, closed_c, closed);
    return top;
}

#endif

}  // namespace
}  // namespace cyclewright::records
