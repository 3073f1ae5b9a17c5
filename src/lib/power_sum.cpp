#include "power_sum.hpp"

#include <cstdlib>
#include <cstring>
#include <system_error>

#include "power_variants.hpp"

#if defined(__linux__)
#include <sched.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace cyclewright::detail {
namespace {

// Below this many samples a call takes well under a millisecond, and
// starting a thread would cost more than it saves.
constexpr std::size_t kHelperMinimum = std::size_t{1} << 17;

unsigned usable_processors() noexcept {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    return std::thread::hardware_concurrency();
}

bool threads_allowed() noexcept {
    const char* setting = std::getenv("CYCLEWRIGHT_THREADS");
    return setting == nullptr || std::strcmp(setting, "1") != 0;
}

void relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

// Waits until `counter` exceeds `value`: spins briefly, since the other
// side usually answers within microseconds, then sleeps in the kernel.
std::size_t await_above(const std::atomic<std::size_t>& counter, std::size_t value) noexcept {
    for (int spin = 0;; ++spin) {
        const std::size_t now = counter.load(std::memory_order_acquire);
        if (now > value) return now;
        if (spin < 2000) {
            relax();
        } else {
            counter.wait(now, std::memory_order_acquire);
        }
    }
}

}  // namespace

bool PowerSum::helper_pays(std::size_t samples) noexcept {
    static const bool possible = threads_allowed() && usable_processors() > 1;
    return possible && samples >= kHelperMinimum;
}

PowerSum::PowerSum(double m, bool helper) : m_(m) {
    if (!helper) return;
    ring_ = std::make_unique_for_overwrite<Slot[]>(kSlots);
    try {
        helper_ = std::thread([this] { run_helper(); });
    } catch (const std::system_error&) {
        ring_.reset();  // no thread to be had: every chunk is summed in place
    }
}

PowerSum::~PowerSum() {
    if (helper_.joinable()) (void)finish();
}

void PowerSum::add(Slot& slot) noexcept {
    sum_ = add_powers(slot.values.data(), slot.count, m_, slot.twice, sum_);
}

void PowerSum::submit(std::size_t count, bool twice) noexcept {
    if (count == 0) return;
    Slot& filled = slot();
    filled.count = count;
    filled.twice = twice;
    if (!ring_) {
        add(filled);  // one slot, reused at once
        return;
    }
    ++next_;
    published_.store(2 * next_, std::memory_order_release);
    published_.notify_one();
    // The next slot is free once the helper has summed what it held before.
    if (next_ >= kSlots) (void)await_above(summed_, next_ - kSlots);
}

void PowerSum::run_helper() noexcept {
    for (std::size_t done = 0;;) {
        const std::size_t published = await_above(published_, 2 * done);
        for (; done < published / 2; ++done) {
            add(ring_[done % kSlots]);
            summed_.store(done + 1, std::memory_order_release);
            summed_.notify_one();
        }
        if (published % 2 == 1 && done == published / 2) return;
    }
}

double PowerSum::finish() noexcept {
    if (helper_.joinable()) {
        published_.store(2 * next_ + 1, std::memory_order_release);
        published_.notify_one();
        helper_.join();
    }
    return sum_;
}

}  // namespace cyclewright::detail
