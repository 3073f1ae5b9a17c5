// The count of the signal closed at its maximum: the module's closed signal,
// fed as three pieces of the signal itself (no copy), with positions that
// point back into the signal as given.
#include <cmath>

#include "cyclewright/records.hpp"
#include "records/closing.hpp"

namespace cyclewright {

RainflowCounter count_closed_at_maximum(std::span<const double> signal, CountOptions options) {
    if (signal.empty()) throw EmptySignal();
    const std::size_t n = signal.size();
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(signal[i])) throw NonFiniteSample(i, signal[i]);
    const auto [k, end] = records::closing_of(signal, options.flat_tops == FlatTops::merge);

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
