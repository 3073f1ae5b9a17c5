// Each core function beside the cost of copying the same signal into a newly
// allocated buffer, measured in the same run: the copy is the yardstick.
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "cyclewright/cycles.hpp"

namespace {

constexpr double kM = 3.3;
constexpr std::uint64_t kNeq = 10;

// Random walk plus white noise: the shape of a measured load history.
const std::vector<double>& signal_of(std::size_t n) {
    static std::vector<std::pair<std::size_t, std::unique_ptr<std::vector<double>>>> cache;
    for (auto& [size, s] : cache)
        if (size == n) return *s;
    std::mt19937_64 rng(42);
    std::normal_distribution<double> noise(0.0, 1.0);
    auto s = std::make_unique<std::vector<double>>(n);
    double walk = 0;
    for (auto& v : *s) {
        walk += noise(rng);
        v = walk + noise(rng);
    }
    cache.emplace_back(n, std::move(s));
    return *cache.back().second;
}

void per_sample(benchmark::State& state, std::size_t n) {
    state.counters["ns_per_sample"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void copy_signal(benchmark::State& state) {
    const auto& s = signal_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::unique_ptr<double[]> copy(new double[s.size()]);
        std::memcpy(copy.get(), s.data(), s.size() * sizeof(double));
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
    }
    per_sample(state, s.size());
}

void get_peaktrough(benchmark::State& state) {
    const auto& s = signal_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(cyclewright::get_peaktrough(s));
    per_sample(state, s.size());
}

void get_halfcycles(benchmark::State& state) {
    const auto& s = signal_of(static_cast<std::size_t>(state.range(0)));
    const auto peaks = cyclewright::get_peaktrough(s);
    for (auto _ : state) benchmark::DoNotOptimize(cyclewright::get_halfcycles(peaks, true));
    per_sample(state, s.size());
}

void eq_load(benchmark::State& state) {
    const auto& s = signal_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(cyclewright::eq_load(s, kM, kNeq, true));
    per_sample(state, s.size());
}

void eq_load_max_half_cycle_closed(benchmark::State& state) {
    const auto& s = signal_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(cyclewright::eq_load_max_half_cycle_closed(s, kM, kNeq, true));
    per_sample(state, s.size());
}

// Interleaved per size, so that each function sits beside its yardstick.
void sizes(benchmark::internal::Benchmark* b) { b->Arg(10'000)->Arg(1'000'000)->Arg(10'000'000); }

}  // namespace

BENCHMARK(copy_signal)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(get_peaktrough)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(get_halfcycles)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(eq_load)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(eq_load_max_half_cycle_closed)->Apply(sizes)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
