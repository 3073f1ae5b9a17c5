// The kernel tables of the build being compiled (isa/isa.hpp), from the same
// kernel headers in every build: each build's file defines, in its
// namespace, the tables it contributes to kernels.cpp's list of builds.
#pragma once

#include "isa/isa.hpp"

#include "isa/eight_lane_power.hpp"
#include "isa/eight_lane_turning_points.hpp"
#include "isa/four_lane_power.hpp"
#include "isa/four_lane_turning_points.hpp"
#include "isa/half_cycle_list.hpp"
#include "isa/loads.hpp"
#include "isa/maximum.hpp"
#include "isa/scalar_power.hpp"
#include "isa/turning_points.hpp"
#include "kernels.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

constexpr LaneKernels lane_kernels() {
#if CYCLEWRIGHT_ISA_AVX512
    return {eight_lane_count_turning_points,        eight_lane_compact_turning_points,
            last_maximum,                           scalar_power,
            eight_lane_power_of_each,               eight_lane_add_powers,
            eight_lane_copy_compact_turning_points, copy_last_maximum};
#elif CYCLEWRIGHT_ISA_AVX2
    return {four_lane_count_turning_points,        four_lane_compact_turning_points,
            last_maximum,                          scalar_power,
            four_lane_power_of_each,               four_lane_add_powers,
            four_lane_copy_compact_turning_points, copy_last_maximum};
#else
    return {scalar_count_turning_points,        scalar_compact_turning_points,
            last_maximum,                       scalar_power,
            scalar_power_of_each,               scalar_add_powers,
            scalar_copy_compact_turning_points, copy_last_maximum};
#endif
}

constexpr CountKernels count_kernels() { return {half_cycles, load_of, closed_load_of, ranges_of}; }

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
