#include <cstdlib>
#include <cstring>

#include "cyclewright/column.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace cyclewright {

namespace {

#if defined(__linux__)
// From this size on, storage is mapped: huge pages, and growth that moves
// page tables instead of bytes.
constexpr std::size_t kMapped = std::size_t{1} << 20;
bool mapped(std::size_t bytes) { return bytes >= kMapped; }
#else
bool mapped(std::size_t) { return false; }
#endif

}  // namespace

void* grow_column(void* old, std::size_t old_bytes, std::size_t used, std::size_t bytes) {
#if defined(__linux__)
    if (mapped(bytes)) {
        void* p = mapped(old_bytes) ? mremap(old, old_bytes, bytes, MREMAP_MAYMOVE)
                                    : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        (void)madvise(p, bytes, MADV_HUGEPAGE);  // advice only: its failure changes nothing
        if (!mapped(old_bytes)) {
            if (used != 0) std::memcpy(p, old, used);
            std::free(old);
        }
        return p;
    }
#endif
    (void)old_bytes, (void)used;
    void* p = std::realloc(old, bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void free_column(void* storage, std::size_t bytes) noexcept {
    if (storage == nullptr) return;
#if defined(__linux__)
    if (mapped(bytes)) {
        munmap(storage, bytes);
        return;
    }
#endif
    std::free(storage);
}

}  // namespace cyclewright
