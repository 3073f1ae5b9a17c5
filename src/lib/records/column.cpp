#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "cyclewright/column.hpp"
#include "huge_pages.hpp"

#if defined(__linux__)
#include <sys/mman.h>  // mremap
#endif

namespace cyclewright {

namespace {

// From this size on, storage is mapped on huge pages.
bool mapped(std::size_t bytes) { return detail::huge_pages_available() && bytes >= kMappedColumnBytes; }

}  // namespace

std::size_t column_bytes(std::size_t bytes) noexcept {
    if (!mapped(bytes)) return bytes;
    const std::size_t whole = detail::whole_huge_pages(bytes);
    return whole == 0 ? bytes : whole;
}

#if defined(__linux__)
namespace {

// Freed mappings kept for the next count: counts of like signals ask for
// columns of the same sizes call after call, and the system clears every
// fresh page, which costs about as much as writing the records. At most
// kKeptBytes stay mapped.
class KeptMappings {
public:
    // The smallest kept mapping of `bytes` to four times that, setting
    // `bytes` to its size; or nullptr. A counter's columns grow: the larger
    // mapping of the count before spares them the growing.
    void* take(std::size_t& bytes) noexcept {
        const std::lock_guard<std::mutex> lock(mutex_);
        Mapping* best = nullptr;
        for (Mapping& m : kept_)
            if (m.storage != nullptr && m.bytes >= bytes && m.bytes <= 4 * bytes && (!best || m.bytes < best->bytes))
                best = &m;
        if (best == nullptr) return nullptr;
        bytes = best->bytes;
        total_ -= bytes;
        best->bytes = 0;
        return std::exchange(best->storage, nullptr);
    }
    // Keeps the mapping, or says no when there is no room for it.
    bool keep(void* storage, std::size_t bytes) noexcept {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (total_ + bytes > kKeptBytes) return false;
        for (Mapping& m : kept_)
            if (m.storage == nullptr) {
                m = {storage, bytes};
                total_ += bytes;
                return true;
            }
        return false;
    }

private:
    static constexpr std::size_t kKeptBytes = std::size_t{64} << 20;
    struct Mapping {
        void* storage = nullptr;
        std::size_t bytes = 0;
    };
    std::mutex mutex_;
    std::array<Mapping, 16> kept_{};
    std::size_t total_ = 0;
};

// Never destroyed: arrays may free their columns while the process exits.
KeptMappings& kept_mappings() {
    static auto* kept = new KeptMappings;
    return *kept;
}

// A mapping of at least `bytes` (whole huge pages; `bytes` set to its size),
// a kept one if there is one. Throws std::bad_alloc.
void* map_column(std::size_t& bytes) {
    if (void* kept = kept_mappings().take(bytes)) return kept;
    void* p = detail::map_huge_pages(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace
#endif

void* grow_column(void* old, std::size_t old_bytes, std::size_t used, std::size_t& bytes) {
#if defined(__linux__)
    // Grown into a new mapping. A mapped column's pages move to its start,
    // where whole huge pages land on whole huge pages: nothing is copied and
    // no huge page is split. Smaller columns are copied.
    if (mapped(bytes)) {
        void* p = map_column(bytes);
        if (used != 0 && mapped(old_bytes) &&
            mremap(old, old_bytes, old_bytes, MREMAP_MAYMOVE | MREMAP_FIXED, p) != MAP_FAILED)
            return p;
        if (used != 0) std::memcpy(p, old, used);
        free_column(old, old_bytes);
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
        if (!kept_mappings().keep(storage, bytes)) detail::unmap_pages(storage, bytes);
        return;
    }
#endif
    std::free(storage);
}

}  // namespace cyclewright
