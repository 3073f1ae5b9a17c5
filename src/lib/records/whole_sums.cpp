// Power sums of a whole signal by the core's own streaming count (the one
// behind the module's loads), which carries no positions and so runs faster
// than a RainflowCounter; the sums are the same, bit for bit.
#include "kernels.hpp"
#include "records/closing.hpp"
#include "records/counter_state.hpp"

namespace cyclewright {

std::vector<double> power_sums_of(std::span<const double> signal, const CountOptions& options,
                                  bool closed_at_maximum) {
    records::check(options);
    if (signal.empty()) throw EmptySignal();
    const std::size_t bad = records::first_non_finite(signal.data(), signal.size());
    if (bad != signal.size()) throw NonFiniteSample(bad, signal[bad]);
    const bool merge = options.flat_tops == FlatTops::merge;

    struct Sums {
        records::PowerSums sums;
        Residue residue;
    } sums{{}, closed_at_maximum ? Residue::half : options.residue};
    sums.sums.set_exponents(options.exponents);
    const detail::RangeSink sink = [](void* context, const double* ranges, std::size_t count, bool closed) {
        auto& s = *static_cast<Sums*>(context);
        // A closed cycle is two records; a residue pair one, two or none.
        if (closed || s.residue != Residue::discard)
            s.sums.add({ranges, count}, closed || s.residue == Residue::full);
    };
    const detail::Kernels& build = detail::kernels();
    if (closed_at_maximum) {
        const auto [k, end] = records::closing_of(signal, merge);
        const std::span<const double> pieces[] = {signal.subspan(k, end - k), signal.first(k), signal.subspan(k, 1)};
        build.count.ranges(build.lanes, std::span(pieces), merge, sink, &sums);
    } else {
        const std::span<const double> pieces[] = {signal};
        build.count.ranges(build.lanes, std::span(pieces), merge, sink, &sums);
    }
    const std::span<const double> result = sums.sums.sums();
    return {result.begin(), result.end()};
}

}  // namespace cyclewright
