// Turning points four centres at a time, for processors with AVX2; chosen at
// run time. Only this file is compiled for AVX2, and it holds nothing that
// another file could share.
#include <cstddef>
#include <cstdint>

#include "turning_point.hpp"

#if defined(__AVX2__)
#include <immintrin.h>

namespace cyclewright::detail {
namespace {

// The lanes of p, c, q that are strict maxima or minima, as four mask bits.
// The ordered, quiet comparisons are false against NaN, as in the scalar test.
inline unsigned turning_mask(const double* s) {
    const __m256d p = _mm256_loadu_pd(s - 1), c = _mm256_loadu_pd(s), q = _mm256_loadu_pd(s + 1);
    const __m256d peak = _mm256_and_pd(_mm256_cmp_pd(q, c, _CMP_LT_OQ), _mm256_cmp_pd(p, c, _CMP_LT_OQ));
    const __m256d trough = _mm256_and_pd(_mm256_cmp_pd(c, q, _CMP_LT_OQ), _mm256_cmp_pd(c, p, _CMP_LT_OQ));
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_or_pd(peak, trough)));
}

// For each mask of four lanes, the 32-bit lane indices that move its set
// lanes, in order, to the front.
struct PackTable {
    alignas(32) std::int32_t index[16][8];
    constexpr PackTable() : index{} {
        for (int mask = 0; mask < 16; ++mask) {
            int to = 0;
            for (int lane = 0; lane < 4; ++lane) {
                if ((mask >> lane) & 1) {
                    index[mask][2 * to] = 2 * lane;
                    index[mask][2 * to + 1] = 2 * lane + 1;
                    ++to;
                }
            }
        }
    }
};
constexpr PackTable kPack;

}  // namespace

std::size_t count_turning_points_avx2(const double* s, std::size_t count, std::size_t& turning) noexcept {
    std::size_t i = 0, sum = 0;
    for (; i + 4 <= count; i += 4) sum += static_cast<std::size_t>(__builtin_popcount(turning_mask(s + i)));
    turning += sum;
    return i;
}

std::size_t compact_turning_points_avx2(const double* s, std::size_t count, double* out,
                                        std::size_t& kept) noexcept {
    std::size_t i = 0, k = kept;
    for (; i + 4 <= count; i += 4) {
        const unsigned mask = turning_mask(s + i);
        const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPack.index[mask]));
        const __m256 packed = _mm256_permutevar8x32_ps(_mm256_castpd_ps(_mm256_loadu_pd(s + i)), order);
        // All four lanes are stored; the cursor moves past the kept ones only.
        _mm256_storeu_pd(out + k, _mm256_castps_pd(packed));
        k += static_cast<std::size_t>(__builtin_popcount(mask));
    }
    kept = k;
    return i;
}

}  // namespace cyclewright::detail

#else

namespace cyclewright::detail {
std::size_t count_turning_points_avx2(const double*, std::size_t, std::size_t&) noexcept { return 0; }
std::size_t compact_turning_points_avx2(const double*, std::size_t, double*, std::size_t&) noexcept { return 0; }
}  // namespace cyclewright::detail

#endif
