// Everything a RainflowCounter holds between chunks. Saved and restored as a
// whole (state_bytes.cpp), so a count can move between processes mid-record.
#pragma once

#include <cstdint>
#include <vector>

#include "cyclewright/records.hpp"
#include "records/point_stream.hpp"
#include "records/power_sums.hpp"
#include "records/push_points.hpp"
#include "records/range_mean_matrix.hpp"

namespace cyclewright {

namespace records {
// Throws BadCountOption for options that cannot be honoured.
void check(const CountOptions& options);
// Index of the first sample that is NaN or infinite, or n.
std::size_t first_non_finite(const double* x, std::size_t n);
}  // namespace records

struct RainflowCounter::State {
    explicit State(CountOptions o) : options(std::move(o)), points(options.flat_tops), gate(options.gate) {}

    CountOptions options;
    std::uint64_t samples = 0;
    bool finished = false;
    records::TurningPoints points;
    records::Gate gate;
    // Points below the bottom of the stack: NaN, so that a test reaching
    // below the residue fails and short stacks need no check of their own;
    // as many as a step of the count loads below the top of an empty stack.
    static constexpr std::size_t kSentinels = records::kPushSentinels;
    // kSentinels, then the values not yet closed into a cycle, oldest first:
    // the residue.
    std::vector<records::Point> stack;
    CycleRecords records;
    records::PowerSums sums;
    records::RangeMeanMatrix matrix;
};

}  // namespace cyclewright
