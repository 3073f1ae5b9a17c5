// Memory straight from the system, in whole 2 MiB pages that the kernel is
// asked to back with huge pages: for the long blocks (a long signal's copy,
// the columns of a long count) whose first stores would otherwise fault once
// per 4 KiB page. Linux only; elsewhere no mapping is ever made.
#pragma once

#include <cstddef>

namespace cyclewright::detail {

inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Whether huge-page mappings can be made here at all.
bool huge_pages_available() noexcept;

// `bytes` rounded up to whole huge pages, or 0 if that overflows.
constexpr std::size_t whole_huge_pages(std::size_t bytes) noexcept {
    return bytes > static_cast<std::size_t>(-1) - kHugePage ? 0 : (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// A mapping of `bytes` (whole huge pages) that starts on a huge page;
// nullptr when the system refuses it or where there are none.
void* map_huge_pages(std::size_t bytes) noexcept;

// Gives back a mapping of map_huge_pages, or a part of one.
void unmap_pages(void* start, std::size_t bytes) noexcept;

}  // namespace cyclewright::detail
