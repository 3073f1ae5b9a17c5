// The baseline build: portable C++ only, so it runs on every processor (and
// the tests run it on every machine). Vector code appears only where the
// architecture's baseline has it (SSE2 scans on x86-64).
#define CYCLEWRIGHT_BUILD_BASELINE
#include "isa/half_cycle_list.hpp"
#include "isa/loads.hpp"
#include "isa/maximum.hpp"
#include "isa/turning_points.hpp"
#include "power/scalar_power.hpp"

namespace cyclewright::detail::isa_baseline {

extern const LaneKernels kLanes{scalar_count_turning_points,
                                scalar_compact_turning_points,
                                last_maximum,
                                scalar_power,
                                scalar_power_of_each,
                                scalar_add_powers,
                                scalar_copy_compact_turning_points,
                                copy_last_maximum};
extern const CountKernels kCount{half_cycles, load_of, closed_load_of};

}  // namespace cyclewright::detail::isa_baseline
