// The turning-point test and the loops over it that both get_peaktrough and
// the streaming loads use, so that both keep exactly the same samples.
#pragma once

#include <cstddef>

namespace cyclewright::detail {

// A strict local maximum or minimum of the window p, c, q. Ordered comparisons
// are false against NaN, so neither a NaN nor a neighbour of one qualifies.
// Bitwise operators keep the test free of branches.
inline bool is_turning_point(double p, double c, double q) {
    return (static_cast<unsigned>(q < c) & static_cast<unsigned>(p < c)) |
           (static_cast<unsigned>(c < q) & static_cast<unsigned>(c < p));
}

// Room that compact_turning_points may write past its result.
inline constexpr std::size_t kCompactSlack = 4;

// How many of the centres s[0], ..., s[count - 1] are turning points; reads
// s[-1] and s[count] as their outer neighbours.
std::size_t count_turning_points(const double* s, std::size_t count) noexcept;

// Copies the centres s[0], ..., s[count - 1] that are turning points to out,
// in order, and returns how many; reads s[-1] and s[count]. out needs room
// for count + kCompactSlack values: the values past the result are scratch.
std::size_t compact_turning_points(const double* s, std::size_t count, double* out) noexcept;

// The four-lane versions (turning_point_avx2.cpp): they handle a leading
// multiple of four centres and return how many they handled; 0 when the
// processor lacks AVX2.
std::size_t count_turning_points_avx2(const double* s, std::size_t count, std::size_t& turning) noexcept;
std::size_t compact_turning_points_avx2(const double* s, std::size_t count, double* out,
                                        std::size_t& kept) noexcept;

}  // namespace cyclewright::detail
