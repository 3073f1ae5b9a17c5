// The working stack of the four-point rainflow count, shared by the half-cycle
// list and the streaming load computations so that both close exactly the
// same cycles in exactly the same order.
#pragma once

#include "isa.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <span>

#if defined(__SSE4_1__)
#include <smmintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cyclewright::detail {
inline namespace CYCLEWRIGHT_ISA {

class RainflowStack {
public:
    // Room for `capacity` values, allocated once; the stack never grows.
    // Untouched room costs address space only, not memory.
    explicit RainflowStack(std::size_t capacity) : values_(new double[capacity + kSentinels]) {
        // NaN below the bottom: a test that reaches below the stack compares
        // against NaN and fails, so short stacks need no separate check.
        for (std::size_t i = 0; i < kSentinels; ++i) values_[i] = std::numeric_limits<double>::quiet_NaN();
    }

    // Pushes the values in order; after each push, closes cycles while the
    // last four values a, b, c, d pass the test |a - b| >= |b - c| <= |c - d|.
    // Every test calls on_step(b, c, |b - c|, closed): the callee keeps the
    // values only when `closed` is true, and should not branch on it, since
    // the outcome is as good as random and a mispredicted branch costs more
    // than the step itself.
    template <class OnStep>
    void push(std::span<const double> input, OnStep&& on_step);

    // The values never closed, oldest first.
    std::span<const double> residue() const { return {values_.get() + kSentinels, top_ - kSentinels}; }

private:
    static constexpr std::size_t kSentinels = 5;
    std::unique_ptr<double[]> values_;
    std::size_t top_ = kSentinels;
};

#if defined(__SSE2__)

// A state machine without data-dependent branches. Each step tests the last
// three stack values a, b, c (kept in registers) with the next value d, not
// yet pushed, and then either closes b, c (a and d become neighbours and d is
// tested again) or pushes d. Choices between values are mask operations; the
// values below a are loaded before the test needs them, from memory, which
// always holds the whole stack.
template <class OnStep>
void RainflowStack::push(std::span<const double> input, OnStep&& on_step) {
    const std::size_t n = input.size();
    if (n == 0) return;
    double* const s = values_.get();
    const double* const in = input.data();
    const __m128d sign = _mm_set_sd(-0.0);
    auto distance = [sign](__m128d p, __m128d q) { return _mm_andnot_pd(sign, _mm_sub_sd(p, q)); };
    auto choose = [](__m128d mask, __m128d p, __m128d q) {
#if defined(__SSE4_1__)
        return _mm_blendv_pd(q, p, mask);
#else
        return _mm_or_pd(_mm_and_pd(mask, p), _mm_andnot_pd(mask, q));
#endif
    };
    std::size_t top = top_, i = 0;
    __m128d a = _mm_load_sd(s + top - 3), b = _mm_load_sd(s + top - 2), c = _mm_load_sd(s + top - 1);
    __m128d d = _mm_load_sd(in);
    for (;;) {
        const __m128d y = distance(b, c);
        // Ordered comparisons: a NaN among the four never closes a cycle.
        const __m128d closing =
            _mm_and_pd(_mm_cmpge_sd(distance(a, b), y), _mm_cmpge_sd(distance(c, d), y));
        const bool closed = (_mm_movemask_pd(closing) & 1) != 0;
        on_step(_mm_cvtsd_f64(b), _mm_cvtsd_f64(c), _mm_cvtsd_f64(y), closed);
        const __m128d below2 = _mm_load_sd(s + top - 5), below1 = _mm_load_sd(s + top - 4);
        const __m128d after_d = _mm_load_sd(in + std::min(i + 1, n - 1));
        _mm_store_sd(s + top, d);  // kept by a push; past the top, so unused, after a close
        const std::size_t step = static_cast<std::size_t>(closed);
        top = top + 1 - 3 * step;
        i += 1 - step;
        const __m128d old_a = a;
        a = choose(closing, below2, b);
        b = choose(closing, below1, c);
        c = choose(closing, old_a, d);
        d = choose(closing, d, after_d);
        if (i == n) break;
    }
    top_ = top;
}

#else

template <class OnStep>
void RainflowStack::push(std::span<const double> input, OnStep&& on_step) {
    double* const s = values_.get();
    for (const double v : input) {
        s[top_++] = v;
        for (;;) {
            const double a = s[top_ - 4], b = s[top_ - 3], c = s[top_ - 2], d = s[top_ - 1];
            const double y = std::fabs(b - c);
            // Ordered comparisons: a NaN among the four never closes a cycle.
            const bool closed = std::fabs(a - b) >= y && std::fabs(c - d) >= y;
            on_step(b, c, y, closed);
            if (!closed) break;
            s[top_ - 3] = d;  // b and c leave; a and d become neighbours
            top_ -= 2;
        }
    }
}

#endif

}  // namespace CYCLEWRIGHT_ISA
}  // namespace cyclewright::detail
