// The AVX-512 build of the lane kernels (F, DQ and VL): turning points and
// powers eight at a time.
#define CYCLEWRIGHT_BUILD_AVX512
#include "isa/maximum.hpp"
#include "isa/turning_points_avx512.hpp"
#include "kernels.hpp"
#include "power/eight_lane_power.hpp"

namespace cyclewright::detail::isa_avx512 {

extern const LaneKernels kLanes{count_turning_points,    compact_turning_points,      last_maximum,
                                scalar_power,            eight_lane_power_of_each,    eight_lane_add_powers,
                                copy_compact_turning_points, copy_last_maximum};

}  // namespace cyclewright::detail::isa_avx512
