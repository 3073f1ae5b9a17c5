// The tables of kernels, and the choice among them. Nothing else in the core
// asks the processor what it offers.
#include "kernels.hpp"

namespace cyclewright::detail {

// What each build (isa/<build>.cpp) gives: the baseline is portable C++.
namespace isa_baseline {
extern const LaneKernels kLanes;
extern const CountKernels kCount;
}  // namespace isa_baseline
#if defined(CYCLEWRIGHT_X86_BUILDS)
// The count gains nothing from AVX2: the same code built for AVX2 counts
// 20-30 % slower than for SSE4.1 (VEX encoding), so it is built for SSE4.1
// only; the lanes gain nothing from SSE4.1, so they are built for AVX2 only.
namespace isa_sse41 {
extern const CountKernels kCount;
}  // namespace isa_sse41
namespace isa_avx2 {
extern const LaneKernels kLanes;
}  // namespace isa_avx2
// AVX-512 widens the lanes again; the count stays the SSE4.1 one.
namespace isa_avx512 {
extern const LaneKernels kLanes;
}  // namespace isa_avx512
#endif

namespace {

const Kernels kBuilds[] = {
    {"baseline", isa_baseline::kLanes, isa_baseline::kCount},
#if defined(CYCLEWRIGHT_X86_BUILDS)
    {"sse4.1", isa_baseline::kLanes, isa_sse41::kCount},
    {"avx2", isa_avx2::kLanes, isa_sse41::kCount},
    {"avx512", isa_avx512::kLanes, isa_sse41::kCount},
#endif
};

// How many of kBuilds, from the first, this processor runs.
std::size_t runnable_count() noexcept {
#if defined(CYCLEWRIGHT_X86_BUILDS)
    if (!__builtin_cpu_supports("sse4.1")) return 1;
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) return 2;
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512dq") ||
        !__builtin_cpu_supports("avx512vl"))
        return 3;
    return 4;
#else
    return 1;
#endif
}

}  // namespace

std::span<const Kernels> runnable_builds() noexcept {
    static const std::size_t count = runnable_count();
    return {kBuilds, count};
}

const Kernels& kernels() noexcept {
    static const Kernels& chosen = runnable_builds().back();
    return chosen;
}

}  // namespace cyclewright::detail
