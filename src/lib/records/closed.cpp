// The count of the signal closed at its maximum: the module's closed signal,
// fed as three pieces of the signal itself (no copy), with positions that
// point back into the signal as given.
#include <cmath>

#include "cyclewright/records.hpp"

namespace cyclewright {

RainflowCounter count_closed_at_maximum(std::span<const double> signal, CountOptions options) {
    if (signal.empty()) throw EmptySignal();
    const std::size_t n = signal.size();
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(signal[i])) throw NonFiniteSample(i, signal[i]);
    const bool merge = options.flat_tops == FlatTops::merge;
    auto run_start = [&](std::size_t i) {
        while (merge && i > 0 && signal[i - 1] == signal[i]) --i;
        return i;
    };
    // Closing joins the last sample to the first. Merged, a last run equal to
    // the first is the same flat top as the first run: it goes, unless it is
    // the whole signal.
    std::size_t end = n;
    if (merge && signal[n - 1] == signal[0] && run_start(n - 1) != 0) end = run_start(n - 1);
    // The last of the equal largest samples (merged: the first of its run).
    std::size_t k = 0;
    for (std::size_t i = 1; i < end; ++i)
        if (signal[i] >= signal[k]) k = i;
    k = run_start(k);

    // signal[k..end), signal[0..k), signal[k]: the closed signal. Merged flat
    // tops meet no equal neighbour at either join, so the module's rule and
    // the merge count it alike.
    options.residue = Residue::half;
    RainflowCounter counter(std::move(options));
    counter.feed(signal.subspan(k, end - k));
    counter.feed(signal.first(k));
    counter.feed(signal.subspan(k, 1));
    counter.finish();
    // Positions in the closed signal back to positions in the signal.
    const auto first = static_cast<std::int64_t>(end - k), wrapped = static_cast<std::int64_t>(end);
    const auto at = static_cast<std::int64_t>(k);
    CycleRecords& r = counter.records();
    for (auto* positions : {&r.start, &r.end, &r.residue_index})
        for (std::int64_t& p : *positions) p = p < first ? at + p : p < wrapped ? p - first : at;
    return counter;
}

}  // namespace cyclewright
