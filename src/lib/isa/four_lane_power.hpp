// Four lanes of the power kernel, with AVX2 and FMA, and the power's batch
// entries of LaneKernels on them (the AVX2 build only).
#pragma once

#include "isa/isa.hpp"

#if CYCLEWRIGHT_ISA_AVX2

#include <immintrin.h>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "isa/power_kernel.hpp"
#include "isa/scalar_power.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

static_assert(sizeof(LogEntry) == 4 * sizeof(double) && sizeof(ExpEntry) == 2 * sizeof(double));

struct Avx2Ops {
    using V = __m256d;
    using I = __m256i;
    using M = __m256d;
    static V fma(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V neg(V a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
    static V splat(double v) { return _mm256_set1_pd(v); }
    static I isplat(std::uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }
    static I bits(V v) { return _mm256_castpd_si256(v); }
    static V from_bits(I v) { return _mm256_castsi256_pd(v); }
    static I isub(I a, I b) { return _mm256_sub_epi64(a, b); }
    static I iadd(I a, I b) { return _mm256_add_epi64(a, b); }
    static I iand(I a, I b) { return _mm256_and_si256(a, b); }
    static I srl(I a, int n) { return _mm256_srli_epi64(a, n); }
    static I sll(I a, int n) { return _mm256_slli_epi64(a, n); }
    // (int64) tmp >> 52 as a double: the top 12 bits as an unsigned number
    // (exact through the 2^52 trick), less 4096 where they are negative.
    static V exponent_of(I tmp) {
        const V magic = _mm256_set1_pd(0x1p52);
        const V u = _mm256_sub_pd(
            _mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(tmp, 52), _mm256_castpd_si256(magic))), magic);
        const V negative = _mm256_cmp_pd(u, _mm256_set1_pd(2048.0), _CMP_GE_OQ);
        return _mm256_sub_pd(u, _mm256_and_pd(negative, _mm256_set1_pd(4096.0)));
    }
    // Table lookups as one load per lane and a transpose: cheaper than the
    // processor's gather instructions.
    static void gather_log(I i, V& invc, V& logc, V& tail) {
        alignas(32) std::uint64_t index[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(index), i);
        const V e0 = _mm256_load_pd(&kLogTable[index[0]].invc), e1 = _mm256_load_pd(&kLogTable[index[1]].invc);
        const V e2 = _mm256_load_pd(&kLogTable[index[2]].invc), e3 = _mm256_load_pd(&kLogTable[index[3]].invc);
        const V invc_tail01 = _mm256_unpacklo_pd(e0, e1), invc_tail23 = _mm256_unpacklo_pd(e2, e3);
        const V logc01 = _mm256_unpackhi_pd(e0, e1), logc23 = _mm256_unpackhi_pd(e2, e3);
        invc = _mm256_permute2f128_pd(invc_tail01, invc_tail23, 0x20);
        tail = _mm256_permute2f128_pd(invc_tail01, invc_tail23, 0x31);
        logc = _mm256_permute2f128_pd(logc01, logc23, 0x20);
    }
    static void gather_exp(I i, V& value, V& tail) {
        alignas(32) std::uint64_t index[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(index), i);
        const V even = _mm256_set_m128d(_mm_load_pd(&kExpTable[index[2]].value), _mm_load_pd(&kExpTable[index[0]].value));
        const V odd = _mm256_set_m128d(_mm_load_pd(&kExpTable[index[3]].value), _mm_load_pd(&kExpTable[index[1]].value));
        value = _mm256_unpacklo_pd(even, odd);
        tail = _mm256_unpackhi_pd(even, odd);
    }
    static V positive_normal(V x) {
        return _mm256_and_pd(_mm256_cmp_pd(x, _mm256_set1_pd(DBL_MIN), _CMP_GE_OQ),
                             _mm256_cmp_pd(x, _mm256_set1_pd(DBL_MAX), _CMP_LE_OQ));
    }
    static V abs_at_most(V x, double limit) {
        const V magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
        return _mm256_cmp_pd(magnitude, _mm256_set1_pd(limit), _CMP_LE_OQ);
    }
    static V both(V a, V b) { return _mm256_and_pd(a, b); }
};

// Four results; lanes outside the kernel's fast range go to the library.
inline __m256d power_of_four(__m256d base, __m256d vy, double y) {
    __m256d fast;
    const __m256d result = PowerKernel<Avx2Ops>::pow(base, vy, fast);
    const int slow = ~_mm256_movemask_pd(fast) & 0xf;
    if (slow == 0) [[likely]] return result;
    alignas(32) double bases[4], results[4];
    _mm256_store_pd(bases, base);
    _mm256_store_pd(results, result);
    for (int lane = 0; lane < 4; ++lane)
        if (slow & (1 << lane)) results[lane] = std::pow(bases[lane], y);
    return _mm256_load_pd(results);
}

inline void four_lane_power_of_each(const double* x, std::size_t count, double y, double* out) noexcept {
    const __m256d vy = _mm256_set1_pd(y);
    std::size_t i = 0;
    // out may be x: each vector is loaded before its results are stored.
    for (; i + 4 <= count; i += 4) _mm256_storeu_pd(out + i, power_of_four(_mm256_loadu_pd(x + i), vy, y));
    if (i == count) return;
    // The last one to three values as one vector, padded with ones: a
    // vector costs about what a single scalar result does. Masked loads and
    // stores touch only the values that are there.
    const __m256i lanes = _mm256_set_epi64x(3, 2, 1, 0);
    const __m256i present = _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(count - i)), lanes);
    const __m256d base = _mm256_blendv_pd(_mm256_set1_pd(1.0), _mm256_maskload_pd(x + i, present),
                                          _mm256_castsi256_pd(present));
    _mm256_maskstore_pd(out + i, present, power_of_four(base, vy, y));
}

inline double four_lane_add_powers(const double* x, std::size_t count, double y, bool twice, double sum) noexcept {
    const __m256d vy = _mm256_set1_pd(y);
    // Four vectors of powers at a time: one power's chain of dependent steps
    // is long, and the processor overlaps independent ones only as far as it
    // sees them. The additions follow in order and wait on each other.
    constexpr std::size_t kBatch = 16;
    alignas(32) double terms[kBatch];
    std::size_t i = 0;
    for (; i + kBatch <= count; i += kBatch) {
        for (std::size_t j = 0; j < kBatch; j += 4) {
            _mm256_store_pd(terms + j, power_of_four(_mm256_loadu_pd(x + i + j), vy, y));
        }
        for (const double term : terms) sum = add_term(sum, term, twice);
    }
    if (i == count) return sum;
    four_lane_power_of_each(x + i, count - i, y, terms);
    for (std::size_t j = 0; j < count - i; ++j) sum = add_term(sum, terms[j], twice);
    return sum;
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA

#endif  // CYCLEWRIGHT_ISA_AVX2
