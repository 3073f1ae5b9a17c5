#include "huge_pages.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace cyclewright::detail {

#if defined(__linux__) && defined(MADV_HUGEPAGE)

bool huge_pages_available() noexcept { return true; }

void* map_huge_pages(std::size_t bytes) noexcept {
    if (bytes == 0 || bytes % kHugePage != 0 || bytes > static_cast<std::size_t>(-1) - kHugePage) return nullptr;
    // Mapped one huge page longer, then trimmed at both ends to the alignment.
    const std::size_t spare = bytes + kHugePage;
    void* mapped = mmap(nullptr, spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    auto* start = static_cast<char*>(mapped);
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    char* aligned = start + ((kHugePage - address % kHugePage) % kHugePage);
    if (aligned != start) munmap(start, static_cast<std::size_t>(aligned - start));
    char* end = aligned + bytes;
    if (end != start + spare) munmap(end, static_cast<std::size_t>(start + spare - end));
    // Only a hint: without it the block still works, with ordinary pages.
    (void)madvise(aligned, bytes, MADV_HUGEPAGE);
    return aligned;
}

void unmap_pages(void* start, std::size_t bytes) noexcept { munmap(start, bytes); }

#else

bool huge_pages_available() noexcept { return false; }
void* map_huge_pages(std::size_t) noexcept { return nullptr; }
void unmap_pages(void*, std::size_t) noexcept {}

#endif

}  // namespace cyclewright::detail
