// The builds of the streaming load kernels, one per instruction set (the
// load_kernels_*.cpp files, each compiled for its own), and the choice among
// them. Every build gives the same bits; later ones are faster.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace cyclewright::detail {

struct LoadBuild {
    const char* name;
    // The load of a non-empty signal.
    double (*load)(std::span<const double> signal, double m, std::uint64_t neq, bool half);
    // The load of the signal closed at its maximum, at index k < size.
    double (*closed_load)(std::span<const double> signal, std::size_t k, double m, std::uint64_t neq,
                          bool half);
};

// Every build this processor can run, the fastest last.
std::span<const LoadBuild> runnable_load_builds() noexcept;

// The fastest of them, chosen once.
const LoadBuild& load_build() noexcept;

}  // namespace cyclewright::detail
