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

#include "cyclewright/power.hpp"

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

    void add_chunk(const double* ranges, std::size_t count, bool twice) {
        if (count == 0) return;
        for (std::size_t e = 0; e < exponents_.size(); ++e) {
            power_of_each(ranges, count, exponents_[e], powers_.data());
            double sum = sums_[e];
            for (std::size_t i = 0; i < count; ++i) {
                sum += powers_[i];
                if (twice) sum += powers_[i];
            }
            sums_[e] = sum;
        }
    }

    std::vector<double> exponents_, sums_;
    std::array<double, kChunk> pending_;
    std::size_t pending_count_ = 0;
    std::array<double, kChunk> powers_;
};

}  // namespace cyclewright::records
