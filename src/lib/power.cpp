#include "cyclewright/power.hpp"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "cpu_features.hpp"
#include "power_kernel.hpp"

namespace cyclewright {
namespace {

// One lane: the operations of the kernel on plain doubles. std::fma is the
// correctly rounded fused operation whether or not the processor has one,
// so these lanes give the bits of the four-lane version below.
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
        const detail::LogEntry& e = detail::kLogTable[i];
        invc = e.invc, logc = e.logc, tail = e.logc_tail;
    }
    static void gather_exp(I i, V& value, V& tail) {
        value = detail::kExpTable[i].value, tail = detail::kExpTable[i].tail;
    }
    static bool positive_normal(V x) { return x >= DBL_MIN && x <= DBL_MAX; }
    static bool abs_at_most(V x, double limit) { return std::fabs(x) <= limit; }
    static bool both(bool a, bool b) { return a && b; }
};

using ScalarKernel = detail::PowerKernel<ScalarOps>;

}  // namespace

double power(double x, double y) noexcept {
    bool fast = false;
    const double result = ScalarKernel::pow(x, y, fast);
    return fast ? result : std::pow(x, y);
}

namespace detail {
// power_avx2.cpp; returns how many leading values it computed.
std::size_t power_of_each_avx2(const double* x, std::size_t count, double y, double* out) noexcept;
}  // namespace detail

void power_of_each(const double* x, std::size_t count, double y, double* out) noexcept {
    std::size_t done = 0;
    if (detail::has_avx2_fma()) done = detail::power_of_each_avx2(x, count, y, out);
    for (std::size_t i = done; i < count; ++i) out[i] = power(x[i], y);
}

}  // namespace cyclewright
