// The power sum of a load, S = power(range, m) added up over the half-cycle
// records in list order, one rounded addition per record. The ranges arrive
// in chunks, each summed as it is handed on.
#pragma once

#include "isa/isa.hpp"

#include <array>
#include <cstddef>

#include "kernels.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

class PowerSum {
public:
    static constexpr std::size_t kChunk = 1024;

    // Powers by `lanes`' add_powers.
    PowerSum(const LaneKernels& lanes, double m) noexcept : add_powers_(lanes.add_powers), m_(m) {}
    PowerSum(const PowerSum&) = delete;
    PowerSum& operator=(const PowerSum&) = delete;

    // Room for kChunk ranges, to be filled before submit().
    [[nodiscard]] double* chunk() noexcept { return chunk_.data(); }

    // Adds the first `count` ranges of chunk(), each for one record, or for
    // two (a full cycle, or a residual one with `half` false) when `twice`.
    // chunk() is free again afterwards.
    void submit(std::size_t count, bool twice) noexcept {
        sum_ = add_powers_(chunk_.data(), count, m_, twice, sum_);
    }

    // The sum, once every range has been submitted.
    [[nodiscard]] double sum() const noexcept { return sum_; }

private:
    double (*const add_powers_)(const double*, std::size_t, double, bool, double) noexcept;
    const double m_;
    double sum_ = -0.0;  // the fold starts at -0.0; no reordering, no FMA
    std::array<double, kChunk> chunk_;
};

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
