// The AVX2 and FMA build: the lane kernels alone (turning points and powers
// four at a time), as the count built for AVX2 is slower than SSE4.1's
// (kernels.cpp).
#define CYCLEWRIGHT_BUILD_AVX2
#include "isa/build.hpp"

namespace cyclewright::detail::isa_avx2 {

extern constinit const LaneKernels kLanes = lane_kernels();

}  // namespace cyclewright::detail::isa_avx2
