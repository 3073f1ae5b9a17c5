// The power sum of a load, S = power(range, m) added up over the half-cycle
// records in list order, one rounded addition per record. The ranges arrive
// in chunks; the powers and the additions of long signals run on a helper
// thread while the caller goes on counting, so the count's chain of dependent
// steps and the sum's arithmetic overlap. The chunks are summed strictly in
// the order they were handed on, so the result has the same bits either way.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>

namespace cyclewright::detail {

class PowerSum {
public:
    static constexpr std::size_t kChunk = 1024;

    // `helper`: whether a second thread may take the arithmetic. Without
    // one, every chunk is summed as it is handed on.
    PowerSum(double m, bool helper);
    ~PowerSum();
    PowerSum(const PowerSum&) = delete;
    PowerSum& operator=(const PowerSum&) = delete;

    // Room for kChunk ranges, to be filled before submit().
    [[nodiscard]] double* chunk() noexcept { return slot().values.data(); }

    // Hands on the first `count` ranges of chunk(), each for one record, or
    // for two (a full cycle, or a residual one with `half` false) when
    // `twice`. chunk() is fresh afterwards.
    void submit(std::size_t count, bool twice) noexcept;

    // The sum, once every range has been submitted.
    [[nodiscard]] double finish() noexcept;

    // Whether a signal of this many samples is worth a helper thread here:
    // long enough, more than one processor to run on, and threads not
    // turned off with CYCLEWRIGHT_THREADS=1.
    [[nodiscard]] static bool helper_pays(std::size_t samples) noexcept;

private:
    static constexpr std::size_t kSlots = 8;
    struct Slot {
        std::array<double, kChunk> values;
        std::size_t count = 0;
        bool twice = false;
    };

    Slot& slot() noexcept { return ring_ ? ring_[next_ % kSlots] : local_; }
    void add(Slot& slot) noexcept;
    void run_helper() noexcept;

    const double m_;
    double sum_ = -0.0;  // the fold starts at -0.0; no reordering, no FMA
    Slot local_;                    // the one slot without a helper
    std::unique_ptr<Slot[]> ring_;  // the helper's slots
    std::size_t next_ = 0;  // chunks handed on so far
    // Chunks published to the helper, times two, plus one once no more come.
    std::atomic<std::size_t> published_{0};
    std::atomic<std::size_t> summed_{0};  // chunks the helper is done with
    std::thread helper_;
};

}  // namespace cyclewright::detail
