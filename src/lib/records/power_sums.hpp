// Power sums for several exponents from one count: for each exponent m, the
// sum of power(range, m) over the records, a full cycle adding its term twice,
// in record order with one rounded addition per term. That is the order and
// the power function of the module's equivalent loads, so the sums have the
// same bits.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "power.hpp"

namespace cyclewright::records {

class PowerSums {
public:
    static constexpr std::size_t kChunk = 1024;

    void set_exponents(std::span<const double> exponents) {
        exponents_.assign(exponents.begin(), exponents.end());
        sums_.assign(exponents.size(), -0.0);  // the fold starts at -0.0
    }
    bool active() const noexcept { return !exponents_.empty(); }

    // A closed cycle's range; its powers wait for a chunk to fill.
    void add_closed(double range) {
        pending_[pending_count_++] = range;
        if (pending_count_ == kChunk) flush();
    }

    // Ranges that each stand for one record, or two when `twice`.
    void add(std::span<const double> ranges, bool twice) {
        flush();
        for (std::size_t start = 0; start < ranges.size(); start += kChunk) {
            const std::size_t count = std::min(kChunk, ranges.size() - start);
            add_chunk(ranges.data() + start, count, twice);
        }
    }

    std::span<const double> sums() {
        flush();
        return sums_;
    }
    std::span<const double> exponents() const noexcept { return exponents_; }
    // Restores sums saved after a flush.
    std::vector<double>& stored_sums() noexcept { return sums_; }

private:
    void flush() {
        add_chunk(pending_.data(), pending_count_, true);
        pending_count_ = 0;
    }

    // Every exponent's powers first, then the folds side by side: each sum
    // is still its own left-to-right chain, but the chains of the exponents
    // overlap instead of waiting on each other.
    void add_chunk(const double* ranges, std::size_t count, bool twice) {
        if (count == 0) return;
        const std::size_t exponents = exponents_.size();
        powers_.resize(exponents * kChunk);
        for (std::size_t e = 0; e < exponents; ++e)
            power_of_each(ranges, count, exponents_[e], powers_.data() + e * kChunk);
        for (std::size_t first = 0; first < exponents; first += kLanes) {
            const std::size_t lanes = std::min(kLanes, exponents - first);
            double sum[kLanes];
            const double* power[kLanes];
            for (std::size_t e = 0; e < kLanes; ++e) {
                // Lanes past the last exponent repeat it and are not kept.
                const std::size_t of = first + std::min(e, lanes - 1);
                sum[e] = sums_[of];
                power[e] = powers_.data() + of * kChunk;
            }
            for (std::size_t i = 0; i < count; ++i)
                for (std::size_t e = 0; e < kLanes; ++e) {
                    sum[e] += power[e][i];
                    if (twice) sum[e] += power[e][i];
                }
            for (std::size_t e = 0; e < lanes; ++e) sums_[first + e] = sum[e];
        }
    }

    std::vector<double> exponents_, sums_;
    std::array<double, kChunk> pending_;
    std::size_t pending_count_ = 0;
    static constexpr std::size_t kLanes = 4;
    std::vector<double> powers_;  // kChunk per exponent
};

}  // namespace cyclewright::records
