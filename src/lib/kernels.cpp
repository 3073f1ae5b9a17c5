// The tables of kernels, and the choice among them. Nothing else in the core
// asks the processor what it offers.
#include "kernels.hpp"

#include "isa/builds.hpp"

namespace cyclewright::detail {
namespace {

const Kernels kBuilds[] = {
    {"baseline", isa_baseline::kLanes, isa_baseline::kCount},
#if defined(CYCLEWRIGHT_X86_BUILDS)
    {"sse4.1", isa_baseline::kLanes, isa_sse41::kCount},
    {"avx2", isa_avx2::kLanes, isa_sse41::kCount},
#endif
};

// How many of kBuilds, from the first, this processor runs.
std::size_t runnable_count() noexcept {
#if defined(CYCLEWRIGHT_X86_BUILDS)
    if (!__builtin_cpu_supports("sse4.1")) return 1;
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) return 2;
    return 3;
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
