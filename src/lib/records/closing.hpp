// Where the module's closed signal starts and what it leaves out: it reads
// signal[k..end), signal[0..k), signal[k].
#pragma once

#include <cstddef>
#include <span>

namespace cyclewright::records {

struct Closing {
    std::size_t k, end;
};

// For a non-empty signal. Merged, a last run equal to the first is the same
// flat top as the first run once the signal is closed: it goes (unless it is
// the whole signal), and k is the first sample of the last maximum's run.
inline Closing closing_of(std::span<const double> signal, bool merge) {
    const std::size_t n = signal.size();
    auto run_start = [&](std::size_t i) {
        while (merge && i > 0 && signal[i - 1] == signal[i]) --i;
        return i;
    };
    std::size_t end = n;
    if (merge && signal[n - 1] == signal[0] && run_start(n - 1) != 0) end = run_start(n - 1);
    std::size_t k = 0;  // the last of the equal largest samples
    for (std::size_t i = 1; i < end; ++i)
        if (signal[i] >= signal[k]) k = i;
    return {run_start(k), end};
}

}  // namespace cyclewright::records
