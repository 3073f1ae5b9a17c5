// The baseline build: portable C++ only, so it runs on every processor (and
// the tests run it on every machine). Vector code appears only where the
// architecture's baseline has it (SSE2 scans on x86-64).
#define CYCLEWRIGHT_BUILD_BASELINE
#include "isa/build.hpp"

namespace cyclewright::detail::isa_baseline {

extern constinit const LaneKernels kLanes = lane_kernels();
extern constinit const CountKernels kCount = count_kernels();

}  // namespace cyclewright::detail::isa_baseline
