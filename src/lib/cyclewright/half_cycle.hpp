#pragma once

namespace cyclewright {

// One counted half cycle. A full cycle is two identical records in a row; a
// record carries nothing else, so every consumer weighs all records alike.
struct HalfCycle {
    double mean;   // (a + b) * 0.5: the sum is halved, so it may overflow to inf
    double range;  // |a - b|: sign bit always clear; NaN for NaN or equal infinities
};

}  // namespace cyclewright
