// The load kernels built for SSE4.1, whose blends shorten the rainflow count's
// chain of dependent steps.
#include "load_builds.hpp"
#include "load_kernels.hpp"

namespace cyclewright::detail {

extern const LoadBuild kSse41LoadBuild{"sse4.1", load_of, closed_load_of};

}  // namespace cyclewright::detail
