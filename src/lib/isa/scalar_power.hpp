// One lane of the power kernel: its operations on plain doubles, and the
// power's entries of LaneKernels on them. std::fma is the correctly rounded
// fused operation whether or not the processor has one, so these lanes give
// the bits of the four-lane ones; the AVX2 build compiles it to the
// processor's instruction instead of a library call.
#pragma once

#include "isa/isa.hpp"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "isa/power_kernel.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

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

inline void scalar_power_of_each(const double* x, std::size_t count, double y, double* out) noexcept {
    for (std::size_t i = 0; i < count; ++i) out[i] = scalar_power(x[i], y);
}

// One term of a power sum: one rounded addition, or two.
inline double add_term(double sum, double term, bool twice) noexcept {
    sum += term;
    return twice ? sum + term : sum;
}

inline double scalar_add_powers(const double* x, std::size_t count, double y, bool twice, double sum) noexcept {
    for (std::size_t i = 0; i < count; ++i) sum = add_term(sum, scalar_power(x[i], y), twice);
    return sum;
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
