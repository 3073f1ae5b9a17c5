// The working stack of the four-point rainflow count, shared by the half-cycle
// list and the streaming load computations so that both close exactly the
// same cycles in exactly the same order.
#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <span>

namespace cyclewright::detail {

class RainflowStack {
public:
    // Room for `capacity` values, allocated once; the stack never grows.
    // Untouched room costs address space only, not memory.
    explicit RainflowStack(std::size_t capacity) : values_(new double[capacity]) {}

    // Pushes v, then closes cycles while the last four values allow it,
    // calling on_closed(b, c, |b - c|) for each, newest four values first.
    template <class OnClosed>
    void push(double v, OnClosed&& on_closed) {
        double* s = values_.get();
        s[top_++] = v;
        while (top_ >= 4) {
            const double a = s[top_ - 4], b = s[top_ - 3], c = s[top_ - 2], d = s[top_ - 1];
            const double y = std::fabs(b - c);
            // Ordered comparisons: a NaN among the four never closes a cycle.
            if (!(std::fabs(a - b) >= y && std::fabs(c - d) >= y)) return;
            on_closed(b, c, y);
            s[top_ - 3] = d;  // b and c leave; a and d become neighbours
            top_ -= 2;
        }
    }

    // The values never closed, oldest first.
    std::span<const double> residue() const { return {values_.get(), top_}; }

private:
    std::unique_ptr<double[]> values_;
    std::size_t top_ = 0;
};

}  // namespace cyclewright::detail
