// The baseline build: portable C++ only, so it runs on every processor (and
// the tests run it on every machine). Vector code appears only where the
// architecture's baseline has it (SSE2 scans on x86-64).
#define CYCLEWRIGHT_BUILD_BASELINE
#include "isa/builds.hpp"
#include "isa/half_cycle_list.hpp"
#include "isa/loads.hpp"
#include "isa/maximum.hpp"
#include "isa/turning_points.hpp"
#include "power/scalar_power.hpp"

namespace cyclewright::detail::isa_baseline {
namespace {

std::size_t count_turning_points(const double* s, std::size_t count) noexcept {
    return count_turning_points_from(s, 0, count, 0);
}

std::size_t compact_turning_points(const double* s, std::size_t count, double* out) noexcept {
    return compact_turning_points_from(s, 0, count, out, 0);
}

}  // namespace

extern const LaneKernels kLanes{count_turning_points, compact_turning_points, last_maximum,
                                scalar_power,          scalar_power_of_each,   scalar_add_powers};
extern const CountKernels kCount{half_cycles, load_of, closed_load_of};

}  // namespace cyclewright::detail::isa_baseline
