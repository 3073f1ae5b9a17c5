// The working stack of the four-point rainflow count, shared by the half-cycle
// list and the streaming load computations so that both close exactly the
// same cycles in exactly the same order.
#pragma once

#include "isa/isa.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <span>

#if CYCLEWRIGHT_ISA_SSE41
#include <smmintrin.h>
#endif

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

class RainflowStack {
public:
    // Room for up to `most` values (all that the stack will ever hold), or
    // less: a count's stack is rarely deep, and push() makes room for its
    // input before it steps through it.
    explicit RainflowStack(std::size_t most)
        : values_(std::make_unique_for_overwrite<double[]>(std::min(most, kStartCapacity) + kSentinels)),
          capacity_(std::min(most, kStartCapacity)) {
        // NaN below the bottom: a test that reaches below the stack compares
        // against NaN and fails, so short stacks need no separate check.
        for (std::size_t i = 0; i < kSentinels; ++i) values_[i] = std::numeric_limits<double>::quiet_NaN();
    }

    // Pushes the values in order; after each push, closes cycles while the
    // last four values a, b, c, d pass the test |a - b| >= |b - c| <= |c - d|.
    // Every test calls on_step(b, c, |b - c|, closed): the callee keeps the
    // values only when `closed` is true, and should not branch on it, since
    // the outcome is as good as random and a mispredicted branch costs more
    // than the step itself. on_step is taken by value and handed back, so
    // that the state it carries stays in the loop's registers.
    template <class OnStep>
    [[nodiscard]] OnStep push(std::span<const double> input, OnStep on_step);

    // The values never closed, oldest first.
    std::span<const double> residue() const { return {values_.get() + kSentinels, top_ - kSentinels}; }

private:
    static constexpr std::size_t kStartCapacity = 1024;
    // As deep as the step loads below the top of an empty stack.
    static constexpr std::size_t kSentinels = 7;

    // Room for `more` values on top of the stack, doubling as it grows.
    void make_room(std::size_t more) {
        const std::size_t needed = top_ - kSentinels + more;
        if (needed <= capacity_) return;
        const std::size_t capacity = std::max(2 * capacity_, needed);
        auto values = std::make_unique_for_overwrite<double[]>(capacity + kSentinels);
        std::copy(values_.get(), values_.get() + top_, values.get());
        values_ = std::move(values);
        capacity_ = capacity;
    }

    std::unique_ptr<double[]> values_;
    std::size_t capacity_;
    std::size_t top_ = kSentinels;
};

#if CYCLEWRIGHT_ISA_SSE41

// A state machine without data-dependent branches. Each step tests the last
// three stack values a, b, c with the next value d, not yet pushed, and then
// either closes b, c (a and d become neighbours and d is tested again) or
// pushes d. Choices between values are mask operations. The two values below
// a and the value after d are kept in registers too, and their successors
// are loaded a step before they can be needed: a load whose address hangs on
// the last step's outcome would otherwise stand on the loop's critical path.
// Memory always holds the whole stack.
template <class OnStep>
OnStep RainflowStack::push(std::span<const double> input, OnStep on_step) {
    const std::size_t n = input.size();
    if (n == 0) return on_step;
    make_room(n);
    double* const s = values_.get();
    const double* const in = input.data();
    const __m128d sign = _mm_set_sd(-0.0);
    auto distance = [sign](__m128d p, __m128d q) { return _mm_andnot_pd(sign, _mm_sub_sd(p, q)); };
    auto choose = [](__m128d mask, __m128d p, __m128d q) { return _mm_blendv_pd(q, p, mask); };
    std::size_t top = top_, i = 0;
    __m128d below2 = _mm_load_sd(s + top - 5), below1 = _mm_load_sd(s + top - 4);
    __m128d a = _mm_load_sd(s + top - 3), b = _mm_load_sd(s + top - 2), c = _mm_load_sd(s + top - 1);
    __m128d d = _mm_load_sd(in), after_d = _mm_load_sd(in + std::min<std::size_t>(1, n - 1));
    for (;;) {
        const __m128d y = distance(b, c);
        // Ordered comparisons: a NaN among the four never closes a cycle.
        const __m128d closing =
            _mm_and_pd(_mm_cmple_sd(y, distance(a, b)), _mm_cmple_sd(y, distance(c, d)));
        // All ones when closing: moved as it stands, it is the step's -1.
        const auto minus_closed = static_cast<std::ptrdiff_t>(_mm_cvtsi128_si64(_mm_castpd_si128(closing)));
        on_step(_mm_cvtsd_f64(b), _mm_cvtsd_f64(c), _mm_cvtsd_f64(y), minus_closed != 0);
        // What a close would bring into the registers, and the value after
        // the next one.
        const __m128d below4 = _mm_load_sd(s + top - 7), below3 = _mm_load_sd(s + top - 6);
        const __m128d later = _mm_load_sd(in + std::min(i + 2, n - 1));
        _mm_store_sd(s + top, d);  // kept by a push; past the top, so unused, after a close
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
        if (i == n) break;
    }
    top_ = top;
    return on_step;
}

#else

// The portable step: the same tests and closes, one value at a time.
template <class OnStep>
OnStep RainflowStack::push(std::span<const double> input, OnStep on_step) {
    make_room(input.size());
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
    return on_step;
}

#endif

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
