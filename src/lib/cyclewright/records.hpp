// Rainflow counting into cycle records: each closed cycle and each half cycle
// of the residue with its range, mean, count and the positions of its two
// samples, counted from a signal given whole or in chunks. Beside the records
// it keeps, on request, power sums for many exponents and a range-mean
// matrix, all from the one count.
#pragma once

#include <cstdint>
#include <memory>
#include <source_location>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cyclewright/column.hpp"
#include "cyclewright/signal_error.hpp"

namespace cyclewright {

// What the values left open at the end of the count become.
enum class Residue : std::uint8_t {
    half,     // each neighbouring pair a half cycle (count 0.5)
    full,     // each neighbouring pair a full cycle (count 1.0)
    discard,  // nothing
};

// What a run of equal consecutive samples is.
enum class FlatTops : std::uint8_t {
    merge,  // one sample (the run's first): a flat top is a turning point
    drop,   // a sample equal to a neighbour is never a turning point
};

// A sample that is NaN or infinite, at `index` of the whole record.
class NonFiniteSample final : public SignalError {
public:
    NonFiniteSample(std::uint64_t index, double value,
                    std::source_location where = std::source_location::current()) noexcept
        : SignalError(where), index_(index), value_(value) {}
    std::uint64_t index() const noexcept { return index_; }
    double value() const noexcept { return value_; }
    const char* what() const noexcept override { return "a sample is not finite"; }

private:
    std::uint64_t index_;
    double value_;
};

// An option of a count that cannot be honoured; what() says which.
class BadCountOption final : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct CountOptions {
    Residue residue = Residue::half;
    FlatTops flat_tops = FlatTops::merge;
    // Reversals smaller than the gate are dropped before counting; 0 keeps all.
    double gate = 0.0;
    // A power sum per exponent, none when empty.
    std::vector<double> exponents;
    // A range-mean matrix when both are given: increasing bin edges, bins
    // [a, b) with the last one closed, weighted by count.
    std::vector<double> range_edges, mean_edges;
    // Off, the closed cycles go into the sums and the matrix only.
    bool keep_cycles = true;
};

// One entry per record, in the order the cycles closed, then the residue's.
struct CycleRecords {
    Column<double> range, mean, count;
    Column<std::int64_t> start, end;
    Column<double> start_value, end_value;
    Column<double> residue;
    Column<std::int64_t> residue_index;
};

class RainflowCounter {
public:
    // Throws BadCountOption.
    explicit RainflowCounter(CountOptions options);
    RainflowCounter(RainflowCounter&&) noexcept;
    RainflowCounter& operator=(RainflowCounter&&) noexcept;
    ~RainflowCounter();

    // Counts the next samples. Throws NonFiniteSample (the index in the whole
    // record) before anything changes; throws std::logic_error once finished.
    void feed(std::span<const double> chunk);
    // Ends the record: the residue becomes records. Throws EmptySignal when no
    // sample came, std::logic_error when already finished.
    void finish();

    bool finished() const noexcept;
    std::uint64_t samples() const noexcept;
    const CountOptions& options() const noexcept;
    // The records so far (the caller may move them out once finished).
    CycleRecords& records() noexcept;
    // The power sums of the records so far: sum of power(range, m), a full
    // cycle adding its term twice, in record order (cyclewright/power.hpp).
    std::span<const double> power_sums();
    // Counts per (range bin, mean bin), row by row; empty without edges.
    std::span<const double> matrix() const noexcept;

    // The whole state as bytes, and back. restore throws BadCountOption for
    // bytes that are not a state of this version.
    std::string save();
    static RainflowCounter restore(std::string_view state);

    struct State;

private:
    explicit RainflowCounter(std::unique_ptr<State> state) noexcept;
    std::unique_ptr<State> state_;
};

// The finished count of the signal closed at its maximum: after merging flat
// tops (and, as closing joins the last sample to the first, dropping a last
// sample equal to the first), rotated to start at its last maximum and ended by
// that maximum once more; the residue as half cycles. Record positions index
// `signal`. Throws as feed and finish do.
RainflowCounter count_closed_at_maximum(std::span<const double> signal, CountOptions options);

// The power sums of a whole signal for options.exponents (residue,
// flat_tops; no gate), or with `closed_at_maximum` of the signal closed as
// count_closed_at_maximum closes it: the bits of a RainflowCounter's, by the
// core's streaming count without positions. Throws as feed and finish do.
std::vector<double> power_sums_of(std::span<const double> signal, const CountOptions& options,
                                  bool closed_at_maximum);

// power(power_sum / (2 * neq), 1 / m): the damage-equivalent load.
double equivalent_load(double power_sum, double m, double neq) noexcept;

}  // namespace cyclewright
