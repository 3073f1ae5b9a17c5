// One lane of the power kernel: its operations on plain doubles. std::fma is
// the correctly rounded fused operation whether or not the processor has one,
// so these lanes give the bits of the four-lane version. Included by
// power.cpp (for the baseline) and by power_avx2.cpp, where the same lanes
// compile to the processor's FMA instead of a library call.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "power_kernel.hpp"

namespace cyclewright::detail {
namespace {  // each including file gets its own copy, built for its flags

struct ScalarOps {
    using V = double;
    using I = std::uint64_t;
    using M = bool;
    static V fma(V a, V b, V c) { return std::fma(a, b, c); }
    static V add(V a, V b) { return a + b; }
    static V sub(V a, V b) { return a - b; }
    static V mul(V a, V b) { return a * b; }
    static V neg(V a) { return -a; }
    static V splat(double v) { return v; }
    static I isplat(std::uint64_t v) { return v; }
    static I bits(V v) { return std::bit_cast<I>(v); }
    static V from_bits(I v) { return std::bit_cast<V>(v); }
    static I isub(I a, I b) { return a - b; }
    static I iadd(I a, I b) { return a + b; }
    static I iand(I a, I b) { return a & b; }
    static I srl(I a, int n) { return a >> n; }
    static I sll(I a, int n) { return a << n; }
    static V exponent_of(I tmp) { return static_cast<double>(static_cast<std::int64_t>(tmp) >> 52); }
    static void gather_log(I i, V& invc, V& logc, V& tail) {
        const LogEntry& e = kLogTable[i];
        invc = e.invc, logc = e.logc, tail = e.logc_tail;
    }
    static void gather_exp(I i, V& value, V& tail) {
        value = kExpTable[i].value, tail = kExpTable[i].tail;
    }
    static bool positive_normal(V x) { return x >= DBL_MIN && x <= DBL_MAX; }
    static bool abs_at_most(V x, double limit) { return std::fabs(x) <= limit; }
    static bool both(bool a, bool b) { return a && b; }
};

// power(x, y) by the kernel, the library's pow outside its fast range.
inline double scalar_power(double x, double y) noexcept {
    bool fast = false;
    const double result = PowerKernel<ScalarOps>::pow(x, y, fast);
    return fast ? result : std::pow(x, y);
}

}  // namespace
}  // namespace cyclewright::detail
