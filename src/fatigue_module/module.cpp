// cyclewright_fatigue._native: the counting of the fatigue library, on the
// core's RainflowCounter. The Python layer (cyclewright_fatigue.counting)
// checks and converts the arguments and shapes the results.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>

#include <optional>
#include <string_view>

#include "arrays.hpp"
#include "cyclewright/records.hpp"
#include "errors.hpp"

namespace cyclewright::fatigue {

namespace {

using Doubles = Samples;

[[noreturn, gnu::cold]] void bad_choice(const char* name, std::string_view value, const char* choices) {
    throw BadCountOption(std::string(name) + " must be one of " + choices + ", not '" + std::string(value) + "'");
}

FlatTops flat_tops_of(std::string_view v) {
    if (v == "merge") return FlatTops::merge;
    if (v == "drop") return FlatTops::drop;
    bad_choice("flat_tops", v, "'merge', 'drop'");
}

// "closed_max" is a residue of a whole record only: `closed` says whether it
// was asked for, where allowed.
Residue residue_of(std::string_view v, bool* closed) {
    if (v == "half") return Residue::half;
    if (v == "full") return Residue::full;
    if (v == "discard") return Residue::discard;
    if (closed != nullptr && v == "closed_max") {
        *closed = true;
        return Residue::half;
    }
    if (closed == nullptr && v == "closed_max")
        throw BadCountOption("residue='closed_max' needs the whole record: call rainflow(), eq_loads() or "
                             "power_sums() on it");
    bad_choice("residue", v, closed ? "'half', 'full', 'closed_max', 'discard'" : "'half', 'full', 'discard'");
}

std::vector<double> vector_of(const std::optional<Doubles>& v) {
    if (!v) return {};
    const std::span<const double> s = samples_of(*v);
    return {s.begin(), s.end()};
}

// The count of a whole record, without the interpreter lock.
RainflowCounter count_whole(const Samples& x, std::string_view residue, CountOptions options) {
    bool closed = false;
    options.residue = residue_of(residue, &closed);
    const std::span<const double> signal = samples_of(x);
    nb::gil_scoped_release unlocked;
    if (closed) return count_closed_at_maximum(signal, std::move(options));
    RainflowCounter counter(std::move(options));
    counter.feed(signal);
    counter.finish();
    return counter;
}

// The power sums of a whole record, without the interpreter lock.
std::vector<double> sums_whole(const Samples& x, const Doubles& exponents, std::string_view residue,
                               std::string_view flat_tops) {
    bool closed = false;
    CountOptions o;
    o.residue = residue_of(residue, &closed);
    o.flat_tops = flat_tops_of(flat_tops);
    o.exponents = vector_of(exponents);
    const std::span<const double> signal = samples_of(x);
    nb::gil_scoped_release unlocked;
    return power_sums_of(signal, o, closed);
}

// range, mean, count, start, end, start_value, end_value, residue, residue_index
nb::tuple records_of(RainflowCounter& counter) {
    CycleRecords& r = counter.records();
    return nb::make_tuple(to_array(std::move(r.range)), to_array(std::move(r.mean)), to_array(std::move(r.count)),
                          to_array(std::move(r.start)), to_array(std::move(r.end)),
                          to_array(std::move(r.start_value)), to_array(std::move(r.end_value)),
                          to_array(std::move(r.residue)), to_array(std::move(r.residue_index)));
}

}  // namespace

}  // namespace cyclewright::fatigue

NB_MODULE(_native, m) {
    namespace nb = nanobind;
    using namespace cyclewright;
    using namespace cyclewright::fatigue;
    using nb::arg;
    register_errors();
    m.doc() = "The compiled counting of cyclewright_fatigue; use cyclewright_fatigue's functions instead.";

    m.def(
        "rainflow",
        [](const Samples& x, std::string_view residue, std::string_view flat_tops, double gate) {
            CountOptions o;
            o.flat_tops = flat_tops_of(flat_tops);
            o.gate = gate;
            RainflowCounter counter = count_whole(x, residue, std::move(o));
            return records_of(counter);
        },
        arg("x").noconvert(), arg("residue"), arg("flat_tops"), arg("gate"),
        "The records of a whole record, as (range, mean, count, start, end, start_value, end_value, residue, "
        "residue_index).");

    m.def(
        "power_sums",
        [](const Samples& x, const Doubles& exponents, std::string_view residue, std::string_view flat_tops) {
            return to_array(sums_whole(x, exponents, residue, flat_tops));
        },
        arg("x").noconvert(), arg("exponents").noconvert(), arg("residue"), arg("flat_tops"),
        "The power sum of the records for each exponent.");

    m.def(
        "eq_loads",
        [](const Samples& x, const Doubles& exponents, double neq, std::string_view residue,
           std::string_view flat_tops) {
            std::vector<double> loads = sums_whole(x, exponents, residue, flat_tops);
            const std::span<const double> exponent = samples_of(exponents);
            for (std::size_t i = 0; i < loads.size(); ++i) loads[i] = equivalent_load(loads[i], exponent[i], neq);
            return to_array(std::move(loads));
        },
        arg("x").noconvert(), arg("exponents").noconvert(), arg("neq"), arg("residue"), arg("flat_tops"),
        "The damage-equivalent load for each exponent.");

    m.def(
        "eq_loads_from_sums",
        [](const Doubles& sums, const Doubles& exponents, double neq) {
            const std::span<const double> sum = samples_of(sums);
            const std::span<const double> exponent = samples_of(exponents);
            if (sum.size() != exponent.size()) throw nb::value_error("power_sums and m must have the same length");
            std::vector<double> loads(sum.size());
            for (std::size_t i = 0; i < loads.size(); ++i) loads[i] = equivalent_load(sum[i], exponent[i], neq);
            return to_array(std::move(loads));
        },
        arg("sums").noconvert(), arg("exponents").noconvert(), arg("neq"),
        "The damage-equivalent load of each power sum, rooted as eq_loads roots them.");

    nb::class_<RainflowCounter>(m, "Counter", "A rainflow count fed in chunks.")
        .def(
            "__init__",
            [](RainflowCounter* self, std::string_view residue, std::string_view flat_tops, double gate,
               std::optional<Doubles> exponents, std::optional<Doubles> range_edges,
               std::optional<Doubles> mean_edges, bool keep_cycles) {
                CountOptions o;
                o.residue = residue_of(residue, nullptr);
                o.flat_tops = flat_tops_of(flat_tops);
                o.gate = gate;
                o.exponents = vector_of(exponents);
                o.range_edges = vector_of(range_edges);
                o.mean_edges = vector_of(mean_edges);
                o.keep_cycles = keep_cycles;
                new (self) RainflowCounter(std::move(o));
            },
            arg("residue"), arg("flat_tops"), arg("gate"), arg("exponents").none().noconvert(),
            arg("range_edges").none().noconvert(), arg("mean_edges").none().noconvert(), arg("keep_cycles"))
        .def(
            "feed", [](RainflowCounter& c, const Samples& x) { c.feed(samples_of(x)); }, arg("x").noconvert(),
            "Counts the next samples; on failure nothing changes.")
        .def(
            "finish",
            [](RainflowCounter& c) {
                c.finish();
                return records_of(c);
            },
            "Ends the record; the records as rainflow() gives them.")
        .def_prop_ro("samples", &RainflowCounter::samples)
        .def_prop_ro("finished", &RainflowCounter::finished)
        .def_prop_ro("power_sums",
                     [](RainflowCounter& c) -> std::optional<Array<double>> {
                         if (c.options().exponents.empty()) return std::nullopt;
                         return copy_to_array(c.power_sums());
                     }, nb::rv_policy::move)
        .def_prop_ro("matrix",
                     [](const RainflowCounter& c) -> std::optional<Array<double>> {
                         const CountOptions& o = c.options();
                         if (o.range_edges.empty()) return std::nullopt;
                         return copy_to_array(c.matrix(), {o.range_edges.size() - 1, o.mean_edges.size() - 1});
                     }, nb::rv_policy::move)
        .def("save",
             [](RainflowCounter& c) {
                 const std::string state = c.save();
                 return nb::bytes(state.data(), state.size());
             })
        .def_static(
            "restore",
            [](nb::bytes state) { return RainflowCounter::restore(std::string_view(state.c_str(), state.size())); },
            arg("state"));
}
