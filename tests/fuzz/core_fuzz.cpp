// libFuzzer harness of the core. Each input is decoded into a signal and the
// parameters m, neq and half; every core function is then checked against the
// plain reference count of tests/core/reference.hpp and against the
// definitions that tie the functions together, and every build of the kernels
// against the chosen one (the failure names the build). A broken invariant
// aborts, so libFuzzer keeps the input as a crash reproducer.
//
// Input layout: one byte choosing m, eight bytes of neq, one byte of flags
// (bit 0: half; bit 1: neq taken small), then one tagged value after another.
// The tags make the values that matter frequent: NaN, +-inf, +-0, subnormals,
// values whose sum or difference overflows, small integers and repeats (ties
// and flat runs); the raw tag lets any bit pattern through.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "cyclewright/cycles.hpp"
#include "kernels.hpp"
#include "power.hpp"
#include "reference.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kMaxSamples = 4096;

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint64_t word() {
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = (value << 8) | byte();
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

double exponent(std::uint8_t choice, Reader& in) {
    static constexpr double kTable[] = {3.0, 4.0, 0.0, -0.0, -1.5, 12.0, 0.5, 1.0,
                                        kInf, -kInf, kNaN, 1e-300, 1e300, 3.3, 8.0};
    constexpr std::size_t kCount = sizeof kTable / sizeof kTable[0];
    if (choice < kCount) return kTable[choice];
    return std::bit_cast<double>(in.word());
}

double sample(Reader& in, double previous) {
    const std::uint8_t tag = in.byte();
    const std::uint8_t arg = in.byte();
    const double sign = (arg & 0x80) ? -1.0 : 1.0;
    switch (tag % 10) {
        case 0: return std::bit_cast<double>((std::uint64_t{arg} << 56) | (in.word() >> 8));
        case 1: return static_cast<double>(static_cast<std::int8_t>(arg) % 8);  // ties galore
        case 2: return std::bit_cast<double>(std::uint64_t{0x7ff8000000000000} | arg |
                                             ((std::uint64_t{arg} & 0x80) << 56));  // NaNs, both signs
        case 3: return sign * kInf;
        case 4: return sign * 0.0;
        case 5: return sign * std::numeric_limits<double>::denorm_min() * (arg & 0x7f);
        case 6: return sign * (std::numeric_limits<double>::max() - (arg & 0x7f) * 1e292);
        case 7: return previous;  // flat runs
        case 8: return sign * std::ldexp(1.0, (arg & 0x7f) - 64) * 1.5;
        default: return static_cast<double>(static_cast<std::int8_t>(arg)) * 0.25;
    }
}

bool same_bits(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool same_records(std::span<const cyclewright::HalfCycle> a, std::span<const cyclewright::HalfCycle> b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same_bits(a[i].mean, b[i].mean) || !same_bits(a[i].range, b[i].range)) return false;
    }
    return true;
}

[[noreturn]] void broken(const char* what, const std::vector<double>& signal, double m,
                         std::uint64_t neq, bool half) {
    std::fprintf(stderr, "invariant broken: %s\n  m=%.17g neq=%llu half=%d n=%zu\n  signal:", what, m,
                 static_cast<unsigned long long>(neq), half ? 1 : 0, signal.size());
    for (std::size_t i = 0; i < signal.size() && i < 64; ++i) std::fprintf(stderr, " %.17g", signal[i]);
    std::fputc('\n', stderr);
    std::abort();
}

template <class Call>
std::string failure_of(Call&& call) {
    try {
        call();
    } catch (const cyclewright::SignalError& failure) {
        return failure.what();
    }
    return "<none>";
}

// The loads are the composition with the core's own power function, which
// must stay within one unit in the last place of the mathematics library's
// pow and give the library's special values exactly.
double core_pow(double x, double y) { return cyclewright::power(x, y); }

double power_sum(std::span<const cyclewright::HalfCycle> records, double m) {
    double sum = -0.0;
    for (const auto& r : records) sum += core_pow(r.range, m);
    return sum;
}

double root(double sum, double m, std::uint64_t neq) {
    return core_pow(sum / (2.0 * static_cast<double>(neq)), 1.0 / m);
}

// The core's power against the library's pow: the same bits for NaN,
// infinite, zero and subnormal results, else at most one unit apart.
bool close_to_library_pow(double x, double y) {
    const double mine = core_pow(x, y), library = std::pow(x, y);
    if (same_bits(mine, library)) return true;
    if (!std::isnormal(library) || !std::isnormal(mine)) return false;
    return std::nextafter(library, mine) == mine;
}

// The closed signal, built from the definition: rotated to start at the last
// of the equal maxima (NaN never counts) and closed by it once more.
bool closed_signal(const std::vector<double>& s, std::vector<double>& out) {
    std::size_t top = s.size();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!std::isnan(s[i]) && (top == s.size() || s[i] >= s[top])) top = i;
    }
    if (top == s.size()) return false;
    out.assign(s.begin() + static_cast<std::ptrdiff_t>(top), s.end());
    out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(top));
    out.push_back(s[top]);
    return true;
}

// The count of an arbitrary sequence (not only a peak-trough sequence).
void check_count(const std::vector<double>& values, bool half, const std::vector<double>& signal,
                 double m, std::uint64_t neq) {
    const auto records = cyclewright::get_halfcycles(values, half);
    const cwref::Count ref = cwref::rainflow(values, half);
    if (!same_records(ref.records, records)) broken("half cycles differ from the reference", signal, m, neq, half);
    if (values.empty()) {
        if (!records.empty()) broken("records of an empty sequence", signal, m, neq, half);
        return;
    }
    const std::size_t closed = ref.closed, k = ref.residue;
    if (k != values.size() - 2 * closed) broken("residue size", signal, m, neq, half);
    const std::size_t expected = 2 * closed + (k >= 2 ? (half ? 1 : 2) * (k - 1) : 0);
    if (records.size() != expected) broken("record count", signal, m, neq, half);
    for (const auto& r : records) {
        if (std::signbit(r.range)) broken("negative range", signal, m, neq, half);
    }
    // Closed cycles first, each as two identical records in a row.
    for (std::size_t i = 0; i + 1 < 2 * closed; i += 2) {
        if (!same_bits(records[i].mean, records[i + 1].mean) ||
            !same_bits(records[i].range, records[i + 1].range)) {
            broken("a closed cycle is not two identical records", signal, m, neq, half);
        }
        if (std::isnan(records[i].range)) broken("a NaN closed a cycle", signal, m, neq, half);
    }
}

// Every build of the kernels this processor runs, the portable one included,
// gives the bits of the public functions.
void check_builds(const std::vector<double>& signal, double m, std::uint64_t neq, bool half) {
    namespace core = cyclewright::detail;
    const auto peaks = cyclewright::get_peaktrough(signal);
    const auto records = cyclewright::get_halfcycles(signal, half);
    const double load = cyclewright::eq_load(signal, m, neq, half);
    // The builds' loads copy the signal on the way, as the module's calls do.
    std::vector<double> copy(signal.size());
    const auto closed_load = [&](const core::Kernels* build) {
        try {
            return build ? core::eq_load_max_half_cycle_closed(*build, signal, copy.data(), m, neq, half)
                         : cyclewright::eq_load_max_half_cycle_closed(signal, m, neq, half);
        } catch (const cyclewright::NoNumberInSignal&) {
            return -1.0;  // no load is negative
        }
    };
    const double closed = closed_load(nullptr);
    std::vector<double> each(signal.size()), build_each(signal.size());
    cyclewright::power_of_each(signal.data(), signal.size(), m, each.data());
    for (const auto& build : core::runnable_builds()) {
        const auto build_peaks = core::get_peaktrough(build, signal);
        bool same = build_peaks.size() == peaks.size();
        for (std::size_t i = 0; same && i < peaks.size(); ++i) same = same_bits(build_peaks[i], peaks[i]);
        build.lanes.power_of_each(signal.data(), signal.size(), m, build_each.data());
        for (std::size_t i = 0; same && i < signal.size(); ++i) same = same_bits(build_each[i], each[i]);
        if (!same || !same_records(core::get_halfcycles(build, signal, half), records) ||
            !same_bits(core::eq_load(build, signal, copy.data(), m, neq, half), load) ||
            !std::equal(signal.begin(), signal.end(), copy.begin(), same_bits) ||
            !same_bits(closed_load(&build), closed) ||
            !std::equal(signal.begin(), signal.end(), copy.begin(), same_bits)) {
            broken(build.name, signal, m, neq, half);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const double m = exponent(in.byte(), in);
    std::uint64_t neq = in.word();
    const std::uint8_t flags = in.byte();
    const bool half = (flags & 1) != 0;
    if (flags & 2) neq %= 16;

    std::vector<double> signal;
    double previous = 0.0;
    while (!in.empty() && signal.size() < kMaxSamples) {
        previous = sample(in, previous);
        signal.push_back(previous);
    }

    if (signal.empty()) {
        if (failure_of([&] { (void)cyclewright::get_peaktrough(signal); }) != std::string(cyclewright::EmptySignal().what()) ||
            failure_of([&] { (void)cyclewright::eq_load(signal, m, neq, half); }) !=
                std::string(cyclewright::EmptySignal().what()) ||
            failure_of([&] { (void)cyclewright::eq_load_max_half_cycle_closed(signal, m, neq, half); }) !=
                std::string(cyclewright::NoNumberInSignal().what())) {
            broken("empty signal", signal, m, neq, half);
        }
        return 0;
    }

    const auto peaks = cyclewright::get_peaktrough(signal);
    const auto ref_peaks = cwref::peaktrough(signal);
    bool same = ref_peaks.size() == peaks.size();
    for (std::size_t i = 0; same && i < peaks.size(); ++i) same = same_bits(ref_peaks[i], peaks[i]);
    if (!same) broken("peak-trough sequence differs from the reference", signal, m, neq, half);
    if (peaks.size() < 2 || peaks.size() > std::max<std::size_t>(signal.size(), 2)) {
        broken("peak-trough length", signal, m, neq, half);
    }
    check_count(peaks, half, signal, m, neq);
    check_count(signal, half, signal, m, neq);  // any sequence, alternating or not
    check_builds(signal, m, neq, half);

    const auto records = cyclewright::get_halfcycles(peaks, half);
    for (const auto& r : records) {
        if (!close_to_library_pow(r.range, m)) broken("power of a range is off pow", signal, m, neq, half);
    }
    // Every sample as a base too: any double, not only ranges.
    for (const double x : signal) {
        if (!close_to_library_pow(x, m)) broken("power of a sample is off pow", signal, m, neq, half);
    }
    {
        std::vector<double> each(signal.size());
        cyclewright::power_of_each(signal.data(), signal.size(), m, each.data());
        for (std::size_t i = 0; i < signal.size(); ++i) {
            if (!same_bits(each[i], cyclewright::power(signal[i], m))) {
                broken("power_of_each differs from power", signal, m, neq, half);
            }
        }
    }
    const double load = cyclewright::eq_load(signal, m, neq, half);
    if (!same_bits(root(power_sum(records, m), m, neq), load)) {
        broken("eq_load is not the composition of its steps", signal, m, neq, half);
    }

    std::vector<double> closed;
    if (!closed_signal(signal, closed)) {
        if (failure_of([&] { (void)cyclewright::eq_load_max_half_cycle_closed(signal, m, neq, half); }) !=
            std::string(cyclewright::NoNumberInSignal().what())) {
            broken("signal without a number must fail", signal, m, neq, half);
        }
        return 0;
    }
    const double closed_load = cyclewright::eq_load_max_half_cycle_closed(signal, m, neq, half);
    const auto closed_records = cyclewright::get_halfcycles(cwref::peaktrough(closed), half);
    if (!same_bits(root(power_sum(closed_records, m), m, neq), closed_load)) {
        broken("the closed load is not eq_load of the closed signal", signal, m, neq, half);
    }
    return 0;
}
