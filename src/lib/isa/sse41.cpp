// The SSE4.1 build of the rainflow count, whose blends shorten its chain of
// dependent steps: the count alone, as the lanes gain nothing from SSE4.1
// (kernels.cpp).
#define CYCLEWRIGHT_BUILD_SSE41
#include "isa/build.hpp"

namespace cyclewright::detail::isa_sse41 {

extern constinit const CountKernels kCount = count_kernels();

}  // namespace cyclewright::detail::isa_sse41
