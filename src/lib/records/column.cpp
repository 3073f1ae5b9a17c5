#include "cyclewright/column.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace cyclewright {

void* allocate_column(std::size_t bytes) {
    constexpr std::size_t kHuge = std::size_t{1} << 21;
    if (bytes >= kHuge) {
        // Whole huge pages, aligned to one, so that the system can back them so.
        const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
        if (void* p = std::aligned_alloc(kHuge, rounded)) {
#if defined(MADV_HUGEPAGE)
            (void)madvise(p, rounded, MADV_HUGEPAGE);  // advice only: its failure changes nothing
#endif
            return p;
        }
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    throw std::bad_alloc();
}

}  // namespace cyclewright
