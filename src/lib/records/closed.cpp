// The count of the signal closed at its maximum: the module's closed signal,
// counted with positions that point back into the signal as given.
#include <cmath>
#include <vector>

#include "cyclewright/records.hpp"

namespace cyclewright {

RainflowCounter count_closed_at_maximum(std::span<const double> signal, CountOptions options) {
    if (signal.empty()) throw EmptySignal();
    for (std::size_t i = 0; i < signal.size(); ++i)
        if (!std::isfinite(signal[i])) throw NonFiniteSample(i, signal[i]);
    // The samples to close, by their positions in the signal.
    std::vector<std::int64_t> kept;
    kept.reserve(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i)
        if (options.flat_tops == FlatTops::drop || i == 0 || signal[i] != signal[i - 1])
            kept.push_back(static_cast<std::int64_t>(i));
    // Closing joins the last sample to the first: equal, they would make a
    // flat top again, so with merged flat tops the last one goes.
    if (options.flat_tops == FlatTops::merge && kept.size() >= 3 &&
        signal[static_cast<std::size_t>(kept.front())] == signal[static_cast<std::size_t>(kept.back())])
        kept.pop_back();
    auto at = [&](std::size_t j) { return signal[static_cast<std::size_t>(kept[j])]; };
    // The last of the equal largest samples.
    std::size_t k = 0;
    for (std::size_t j = 1; j < kept.size(); ++j)
        if (at(j) >= at(k)) k = j;
    // kept[k..], kept[..k], kept[k]: the closed signal, by position.
    std::vector<std::int64_t> order;
    order.reserve(kept.size() + 1);
    order.insert(order.end(), kept.begin() + static_cast<std::ptrdiff_t>(k), kept.end());
    order.insert(order.end(), kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(k));
    order.push_back(kept[k]);
    std::vector<double> closed(order.size());
    for (std::size_t j = 0; j < order.size(); ++j) closed[j] = signal[static_cast<std::size_t>(order[j])];

    // The module counts the closed signal by its own rule; merged, it holds no
    // two equal neighbours, so the rules agree.
    options.residue = Residue::half;
    options.flat_tops = FlatTops::drop;
    RainflowCounter counter(std::move(options));
    counter.feed(closed);
    counter.finish();
    CycleRecords& r = counter.records();
    for (auto* positions : {&r.start, &r.end, &r.residue_index})
        for (std::int64_t& p : *positions) p = order[static_cast<std::size_t>(p)];
    return counter;
}

}  // namespace cyclewright
