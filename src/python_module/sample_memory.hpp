// The memory of a call's copy of the samples: from the C library, or, for
// long signals, whole huge pages straight from the system.
#pragma once

#include <cstddef>
#include <memory>

namespace cyclewright {

// Frees what allocate_samples handed out, however it was had.
struct SampleMemoryRelease {
    std::size_t mapped_bytes = 0;  // 0: from operator new[]
    void operator()(double* values) const noexcept;
};

using SampleMemory = std::unique_ptr<double[], SampleMemoryRelease>;

// Uninitialised room for `count` doubles (none for 0). Throws std::bad_alloc.
[[nodiscard]] SampleMemory allocate_samples(std::size_t count);

}  // namespace cyclewright
