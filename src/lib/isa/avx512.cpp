// The AVX-512 build (F, DQ and VL): the lane kernels alone (turning points
// and powers eight at a time), as the count stays the SSE4.1 one
// (kernels.cpp).
#define CYCLEWRIGHT_BUILD_AVX512
#include "isa/build.hpp"

namespace cyclewright::detail::isa_avx512 {

extern constinit const LaneKernels kLanes = lane_kernels();

}  // namespace cyclewright::detail::isa_avx512
