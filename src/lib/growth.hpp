// Capacity of the core's output vectors: the first allocation holds four
// elements and each growth doubles it, so a vector of `size` elements ends with
// the smallest 4 * 2^j that holds it. Where the final size is known up front
// that capacity is reserved at once, which skips the intermediate buffers (and
// their page faults and copies) without changing the result.
#pragma once

#include <bit>
#include <cstddef>

namespace cyclewright::detail {

constexpr std::size_t doubling_capacity(std::size_t size) {
    return size == 0 ? 0 : size <= 4 ? 4 : std::bit_ceil(size);
}

static_assert(doubling_capacity(1) == 4 && doubling_capacity(5) == 8 && doubling_capacity(8) == 8);

}  // namespace cyclewright::detail
