// What each build (isa/<build>.cpp) gives the tables of kernels.cpp.
// Declarations only, so any file may include this.
#pragma once

#include "kernels.hpp"

namespace cyclewright::detail {

// Portable C++: runs on every processor.
namespace isa_baseline {
extern const LaneKernels kLanes;
extern const CountKernels kCount;
}  // namespace isa_baseline

#if defined(CYCLEWRIGHT_X86_BUILDS)
// The count built for SSE4.1. Its lanes gain nothing from SSE4.1.
namespace isa_sse41 {
extern const CountKernels kCount;
}  // namespace isa_sse41

// Turning points and powers built for AVX2 and FMA. The count gains nothing
// from them: the same code built for AVX2 counts 20-30 % slower than for
// SSE4.1 (VEX encoding), so it stays in isa_sse41.
namespace isa_avx2 {
extern const LaneKernels kLanes;
}  // namespace isa_avx2
#endif

}  // namespace cyclewright::detail
