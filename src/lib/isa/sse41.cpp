// The SSE4.1 build of the rainflow count, whose blends shorten its chain of
// dependent steps.
#define CYCLEWRIGHT_BUILD_SSE41
#include "isa/half_cycle_list.hpp"
#include "isa/loads.hpp"

namespace cyclewright::detail::isa_sse41 {

extern const CountKernels kCount{half_cycles, load_of, closed_load_of, ranges_of};

}  // namespace cyclewright::detail::isa_sse41
