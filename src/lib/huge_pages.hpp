#pragma once

#include <cstddef>

namespace cyclewright::detail {

// Asks the kernel to back a large, not yet touched buffer with huge pages:
// filling tens of megabytes then costs a few hundred page faults instead of
// tens of thousands. Only advice: ignored where unsupported, never fails.
void prefer_huge_pages(const void* data, std::size_t bytes) noexcept;

template <class Vector>
void prefer_huge_pages(const Vector& v) noexcept {
    prefer_huge_pages(v.data(), v.capacity() * sizeof(typename Vector::value_type));
}

}  // namespace cyclewright::detail
