// The cycle analysis core: turning points, rainflow half cycles and the
// damage-equivalent loads. Plain functions of their inputs; no state.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "cyclewright/half_cycle.hpp"
#include "cyclewright/signal_error.hpp"

namespace cyclewright {

// First sample, every strict interior local maximum or minimum, last sample.
// Throws EmptySignal for an empty signal.
std::vector<double> get_peaktrough(std::span<const double> signal);

// Four-point rainflow count: the closed cycles (two records each) in closing
// order, then one record per neighbouring residue pair, twice unless `half`.
std::vector<HalfCycle> get_halfcycles(std::span<const double> peaktrough, bool half);

// power(S / (2 * neq), 1 / m), S the left-to-right sum of power(range, m)
// over the half cycles of the signal (power: the core's own pow, within one
// unit in the last place). Throws
// EmptySignal for an empty signal.
double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half);

// eq_load of the signal rotated to start at its last maximum and closed by
// that maximum once more. Throws NoNumberInSignal when no sample
// is a number.
double eq_load_max_half_cycle_closed(std::span<const double> signal, double m,
                                     std::uint64_t neq, bool half);

// The same two loads, also copying the signal to `copy` (room for
// signal.size() values) in the pass that first reads it, so that a caller
// that needs its own copy reads the samples once less; the count then reads
// the copy wherever it reads the signal again. Same results, same errors
// (nothing is copied for an empty signal).
double eq_load_copying(std::span<const double> signal, double* copy, double m, std::uint64_t neq, bool half);
double eq_load_max_half_cycle_closed_copying(std::span<const double> signal, double* copy, double m,
                                             std::uint64_t neq, bool half);

}  // namespace cyclewright
