// The baseline build of the load kernels, and the choice of a build.
#include "load_builds.hpp"

#include <array>

#include "cpu_features.hpp"
#include "load_kernels.hpp"

namespace cyclewright::detail {

extern const LoadBuild kSse41LoadBuild;  // load_kernels_sse41.cpp

namespace {

const LoadBuild kBaselineLoadBuild{"baseline", load_of, closed_load_of};

struct Runnable {
    std::array<LoadBuild, 2> builds{};
    std::size_t count = 0;

    Runnable() noexcept {
        builds[count++] = kBaselineLoadBuild;
        if (has_sse41()) builds[count++] = kSse41LoadBuild;
    }
};

const Runnable& runnable() noexcept {
    static const Runnable found;
    return found;
}

}  // namespace

std::span<const LoadBuild> runnable_load_builds() noexcept {
    return std::span<const LoadBuild>(runnable().builds.data(), runnable().count);
}

const LoadBuild& load_build() noexcept { return runnable_load_builds().back(); }

}  // namespace cyclewright::detail
