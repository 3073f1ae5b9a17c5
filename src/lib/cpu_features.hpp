// What the processor offers beyond the baseline instruction set, asked once:
// the kernels built for more (the *_avx2.cpp and *_sse41.cpp files) are
// chosen by these. Only baseline code may include this.
#pragma once

namespace cyclewright::detail {

#if defined(__x86_64__) && defined(__GNUC__)
inline bool has_sse41() noexcept {
    static const bool supported = __builtin_cpu_supports("sse4.1");
    return supported;
}
inline bool has_avx2() noexcept {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
inline bool has_avx2_fma() noexcept {
    static const bool supported = has_avx2() && __builtin_cpu_supports("fma");
    return supported;
}
#else
inline bool has_sse41() noexcept { return false; }
inline bool has_avx2() noexcept { return false; }
inline bool has_avx2_fma() noexcept { return false; }
#endif

}  // namespace cyclewright::detail
