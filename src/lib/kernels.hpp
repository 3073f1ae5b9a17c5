// The core's kernels: one table per build (isa/*.cpp, each compiled for its
// instruction set, its code in its own namespace), one table chosen once. The
// public functions run the chosen table; the tests run every runnable one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cyclewright/half_cycle.hpp"

namespace cyclewright::detail {

// Room that compact_turning_points may write past its result.
inline constexpr std::size_t kCompactSlack = 4;

// Kernels that work lane by lane and so gain from wider vectors.
struct LaneKernels {
    // How many of the centres s[0], ..., s[count - 1] are turning points;
    // reads s[-1] and s[count] as their outer neighbours.
    std::size_t (*count_turning_points)(const double* s, std::size_t count) noexcept;
    // Copies those centres to out, in order, and returns how many; out needs
    // room for count + kCompactSlack values, the ones past the result scratch.
    std::size_t (*compact_turning_points)(const double* s, std::size_t count, double* out) noexcept;
    // Index of the last of the equal largest numbers, or size when no sample
    // is a number (NaN neither becomes nor displaces the maximum).
    std::size_t (*last_maximum)(std::span<const double> signal) noexcept;
    double (*power)(double x, double y) noexcept;
    // out[i] = power(x[i], y); out may be x.
    void (*power_of_each)(const double* x, std::size_t count, double y, double* out) noexcept;
    // sum + power(x[0], y) + power(x[1], y) + ..., each term added once, or
    // twice in a row when `twice`, left to right with one rounding each.
    double (*add_powers)(const double* x, std::size_t count, double y, bool twice, double sum) noexcept;
    // compact_turning_points that also copies s[0], ..., s[count - 1] to
    // copy, from the same loads: the samples are read once for both.
    std::size_t (*copy_compact_turning_points)(const double* s, std::size_t count, double* copy,
                                               double* out) noexcept;
    // last_maximum of the signal, copying it to copy in the pass that finds
    // the maximum.
    std::size_t (*copy_last_maximum)(std::span<const double> signal, double* copy) noexcept;
};

// Appends a count's records to out. Defined beside get_halfcycles, so that
// only baseline code grows the list.
void append_records(std::vector<HalfCycle>& out, const HalfCycle* records, std::size_t count);

// Receives a chunk of a count's ranges (CountKernels::ranges).
using RangeSink = void (*)(void* context, const double* ranges, std::size_t count, bool closed);

// The rainflow count and the loads built on it: one chain of dependent
// steps, which SSE4.1's blends shorten and which wider vectors do not help.
struct CountKernels {
    // The records of get_halfcycles for a non-empty peak-trough sequence.
    void (*half_cycles)(std::span<const double> peaktrough, bool half, std::vector<HalfCycle>& out);
    // eq_load of a non-empty signal, by `lanes`' turning points and powers;
    // with a copy (else null), the signal is copied there on the way.
    double (*load)(const LaneKernels& lanes, std::span<const double> signal, double* copy, double m,
                   std::uint64_t neq, bool half);
    // The same for the signal closed at its maximum, at index k < size.
    double (*closed_load)(const LaneKernels& lanes, std::span<const double> signal, std::size_t k, double m,
                          std::uint64_t neq, bool half);
    // The ranges of the count of a non-empty signal given in consecutive
    // pieces (each run of equal samples merged into its first when `merge`),
    // in chunks: the closed cycles' in closing order (closed true), then the
    // residue's (closed false).
    void (*ranges)(const LaneKernels& lanes, std::span<const std::span<const double>> pieces, bool merge,
                   RangeSink sink, void* context);
};

struct Kernels {
    const char* name;
    const LaneKernels& lanes;
    const CountKernels& count;
};

// Every table this processor can run, baseline (portable) first, fastest last.
std::span<const Kernels> runnable_builds() noexcept;

// The fastest of them, chosen at the first call.
const Kernels& kernels() noexcept;

// The public functions (cyclewright/cycles.hpp, defined in cycles.cpp) run by
// the given table.
std::vector<double> get_peaktrough(const Kernels& build, std::span<const double> signal);
std::vector<HalfCycle> get_halfcycles(const Kernels& build, std::span<const double> peaktrough, bool half);
// With a copy (else null), the signal is also copied there, as by
// eq_load_copying.
double eq_load(const Kernels& build, std::span<const double> signal, double* copy, double m, std::uint64_t neq,
               bool half);
double eq_load_max_half_cycle_closed(const Kernels& build, std::span<const double> signal, double* copy,
                                     double m, std::uint64_t neq, bool half);

}  // namespace cyclewright::detail
