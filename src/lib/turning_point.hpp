#pragma once

namespace cyclewright::detail {

// A strict local maximum or minimum of the window p, c, q. Ordered comparisons
// are false against NaN, so neither a NaN nor a neighbour of one qualifies.
// Bitwise operators keep the test free of branches.
inline bool is_turning_point(double p, double c, double q) {
    return (static_cast<unsigned>(q < c) & static_cast<unsigned>(p < c)) |
           (static_cast<unsigned>(c < q) & static_cast<unsigned>(c < p));
}

}  // namespace cyclewright::detail
