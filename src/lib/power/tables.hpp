// The tables and constants of the power kernel (power_kernel.hpp): plain
// data, shared by every build.
#pragma once

#include <cstdint>

namespace cyclewright::detail {

// Padded to whole vector loads: one load fetches an entry for one lane.
struct alignas(32) LogEntry {
    double invc, logc, logc_tail, unused = 0;
};
struct alignas(16) ExpEntry {
    double value, tail;
};
static_assert(sizeof(LogEntry) == 4 * sizeof(double) && sizeof(ExpEntry) == 2 * sizeof(double));

#include "power/power_tables.inc"

}  // namespace cyclewright::detail
