// The AVX2 and FMA build of the lane kernels: turning points and powers four
// at a time.
#define CYCLEWRIGHT_BUILD_AVX2
#include "isa/maximum.hpp"
#include "isa/turning_points_avx2.hpp"
#include "kernels.hpp"
#include "power/four_lane_power.hpp"

namespace cyclewright::detail::isa_avx2 {

extern const LaneKernels kLanes{count_turning_points,    compact_turning_points,      last_maximum,
                                scalar_power,            four_lane_power_of_each,     four_lane_add_powers,
                                copy_compact_turning_points, copy_last_maximum};

}  // namespace cyclewright::detail::isa_avx2
