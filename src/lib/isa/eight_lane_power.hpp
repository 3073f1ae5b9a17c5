// Eight lanes of the power kernel, with AVX-512 (F, DQ), and the power's
// batch entries of LaneKernels on them: the operations of the other builds,
// eight at a time, so the same bits (the AVX-512 build only).
#pragma once

#include "isa/isa.hpp"

#if CYCLEWRIGHT_ISA_AVX512

#include <immintrin.h>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "isa/power_kernel.hpp"
#include "isa/scalar_power.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

struct Avx512Ops {
    using V = __m512d;
    using I = __m512i;
    using M = __mmask8;
    static V fma(V a, V b, V c) { return _mm512_fmadd_pd(a, b, c); }
    static V add(V a, V b) { return _mm512_add_pd(a, b); }
    static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static V neg(V a) { return _mm512_xor_pd(a, _mm512_set1_pd(-0.0)); }
    static V splat(double v) { return _mm512_set1_pd(v); }
    static I isplat(std::uint64_t v) { return _mm512_set1_epi64(static_cast<long long>(v)); }
    static I bits(V v) { return _mm512_castpd_si512(v); }
    static V from_bits(I v) { return _mm512_castsi512_pd(v); }
    static I isub(I a, I b) { return _mm512_sub_epi64(a, b); }
    static I iadd(I a, I b) { return _mm512_add_epi64(a, b); }
    static I iand(I a, I b) { return _mm512_and_si512(a, b); }
    static I srl(I a, int n) { return _mm512_srli_epi64(a, static_cast<unsigned>(n)); }
    static I sll(I a, int n) { return _mm512_slli_epi64(a, static_cast<unsigned>(n)); }
    // (int64) tmp >> 52 as a double: both steps exact, as in the other builds.
    static V exponent_of(I tmp) { return _mm512_cvtepi64_pd(_mm512_srai_epi64(tmp, 52)); }
    // Table lookups as one load per lane and a transpose, as with AVX2.
    static void gather_log(I i, V& invc, V& logc, V& tail) {
        alignas(64) std::uint64_t index[8];
        _mm512_store_si512(index, i);
        auto pair = [&](int a) {
            return _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_load_pd(&kLogTable[index[a]].invc)),
                                      _mm256_load_pd(&kLogTable[index[a + 1]].invc), 1);
        };
        // Each pair holds two entries: invc, logc, tail, unused of lane a, then of lane a + 1.
        const V p01 = pair(0), p23 = pair(2), p45 = pair(4), p67 = pair(6);
        const I first = _mm512_setr_epi64(0, 4, 8, 12, 1, 5, 9, 13);  // invc, then logc, of four lanes
        const I third = _mm512_setr_epi64(2, 6, 10, 14, 3, 7, 11, 15);
        const V low = _mm512_permutex2var_pd(p01, first, p23), high = _mm512_permutex2var_pd(p45, first, p67);
        invc = _mm512_shuffle_f64x2(low, high, 0x44);
        logc = _mm512_shuffle_f64x2(low, high, 0xee);
        tail = _mm512_shuffle_f64x2(_mm512_permutex2var_pd(p01, third, p23),
                                    _mm512_permutex2var_pd(p45, third, p67), 0x44);
    }
    static void gather_exp(I i, V& value, V& tail) {
        alignas(64) std::uint64_t index[8];
        _mm512_store_si512(index, i);
        auto quad = [&](int a) {  // lanes a, a + 2, a + 4, a + 6: value, tail each
            const __m256d low = _mm256_set_m128d(_mm_load_pd(&kExpTable[index[a + 2]].value),
                                                 _mm_load_pd(&kExpTable[index[a]].value));
            const __m256d high = _mm256_set_m128d(_mm_load_pd(&kExpTable[index[a + 6]].value),
                                                  _mm_load_pd(&kExpTable[index[a + 4]].value));
            return _mm512_insertf64x4(_mm512_castpd256_pd512(low), high, 1);
        };
        const V even = quad(0), odd = quad(1);
        value = _mm512_unpacklo_pd(even, odd);
        tail = _mm512_unpackhi_pd(even, odd);
    }
    static M positive_normal(V x) {
        return _mm512_cmp_pd_mask(x, _mm512_set1_pd(DBL_MIN), _CMP_GE_OQ) &
               _mm512_cmp_pd_mask(x, _mm512_set1_pd(DBL_MAX), _CMP_LE_OQ);
    }
    static M abs_at_most(V x, double limit) {
        return _mm512_cmp_pd_mask(_mm512_abs_pd(x), _mm512_set1_pd(limit), _CMP_LE_OQ);
    }
    static M both(M a, M b) { return a & b; }
};

// Eight results; lanes outside the kernel's fast range go to the library.
inline __m512d power_of_eight(__m512d base, __m512d vy, double y) {
    __mmask8 fast;
    const __m512d result = PowerKernel<Avx512Ops>::pow(base, vy, fast);
    const unsigned slow = ~static_cast<unsigned>(fast) & 0xffu;
    if (slow == 0) [[likely]] return result;
    alignas(64) double bases[8], results[8];
    _mm512_store_pd(bases, base);
    _mm512_store_pd(results, result);
    for (unsigned lane = 0; lane < 8; ++lane)
        if (slow & (1u << lane)) results[lane] = std::pow(bases[lane], y);
    return _mm512_load_pd(results);
}

inline void eight_lane_power_of_each(const double* x, std::size_t count, double y, double* out) noexcept {
    const __m512d vy = _mm512_set1_pd(y);
    std::size_t i = 0;
    // out may be x: each vector is loaded before its results are stored.
    for (; i + 8 <= count; i += 8) _mm512_storeu_pd(out + i, power_of_eight(_mm512_loadu_pd(x + i), vy, y));
    if (i == count) return;
    // The last one to seven values as one vector padded with ones; masked
    // loads and stores touch only the values that are there.
    const auto present = static_cast<__mmask8>((1u << (count - i)) - 1);
    const __m512d base = _mm512_mask_loadu_pd(_mm512_set1_pd(1.0), present, x + i);
    _mm512_mask_storeu_pd(out + i, present, power_of_eight(base, vy, y));
}

inline double eight_lane_add_powers(const double* x, std::size_t count, double y, bool twice,
                                    double sum) noexcept {
    const __m512d vy = _mm512_set1_pd(y);
    // The in-order additions wait on each other; the powers do not. Each
    // batch's additions run inside the next batch's power loop, a vector's
    // worth after each vector of powers, so that the processor overlaps the
    // two instead of finishing one before starting the other.
    constexpr std::size_t kVector = 8, kBatch = 4 * kVector;
    alignas(64) double terms[2][kBatch];
    std::size_t i = 0, ready = 0;  // ready: terms of the previous batch not yet added
    int current = 0;
    for (; i + kBatch <= count; i += kBatch) {
        const double* previous = terms[current ^ 1];
        for (std::size_t j = 0; j < kBatch; j += kVector) {
            _mm512_store_pd(terms[current] + j, power_of_eight(_mm512_loadu_pd(x + i + j), vy, y));
            if (ready != 0) {
                for (std::size_t k = j; k < j + kVector; ++k) sum = add_term(sum, previous[k], twice);
            }
        }
        ready = kBatch;
        current ^= 1;
    }
    const double* previous = terms[current ^ 1];
    for (std::size_t k = 0; k < ready; ++k) sum = add_term(sum, previous[k], twice);
    if (i == count) return sum;
    alignas(64) double rest[kBatch];
    eight_lane_power_of_each(x + i, count - i, y, rest);
    for (std::size_t k = 0; k < count - i; ++k) sum = add_term(sum, rest[k], twice);
    return sum;
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA

#endif  // CYCLEWRIGHT_ISA_AVX512
