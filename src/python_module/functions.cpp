#include "functions.hpp"

#include <array>
#include <string_view>
#include <vector>

#include "binding.hpp"
#include "conversions.hpp"
#include "cyclewright/cycles.hpp"
#include "results.hpp"
#include "signal_array.hpp"
#include "trampoline.hpp"

namespace cyclewright {

namespace {

constexpr std::string_view kHalfcyclesParameters[] = {"signal", "half"};
constexpr std::string_view kLoadParameters[] = {"signal", "m", "neq", "half"};

constexpr FunctionDescription kHalfcycles{"halfcycles", kHalfcyclesParameters, 2};
constexpr FunctionDescription kEqLoad{"eq_load_python", kLoadParameters, 4};
constexpr FunctionDescription kEqLoadClosed{"eq_load_max_half_cycle_closed_python",
                                            kLoadParameters, 4};

PyObject* halfcycles(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 2> slots;
    extract_arguments_fastcall(kHalfcycles, args, nargs, kwnames, slots);
    PyReadonlyArray signal = extract_argument(slots[0], "signal", convert_signal);
    const bool half = extract_argument(slots[1], "half", to_bool);

    std::vector<HalfCycle> cycles;
    {
        SampleBuffer samples = read_samples(signal);
        const std::vector<double> peaktrough = get_peaktrough(samples.samples());
        samples.reset();
        cycles = get_halfcycles(peaktrough, half);
    }
    signal.release();
    return half_cycle_list(cycles);
}

using EquivalentLoad = double (*)(std::span<const double>, double, std::uint64_t, bool);

template <const FunctionDescription& Description, EquivalentLoad Compute>
PyObject* equivalent_load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 4> slots;
    extract_arguments_fastcall(Description, args, nargs, kwnames, slots);
    PyReadonlyArray signal = extract_argument(slots[0], "signal", convert_signal);
    const double m = extract_argument(slots[1], "m", to_double);
    const std::uint64_t neq = extract_argument(slots[2], "neq", to_uint64);
    const bool half = extract_argument(slots[3], "half", to_bool);

    double load = 0.0;
    {
        const SampleBuffer samples = read_samples(signal);
        load = Compute(samples.samples(), m, neq, half);
    }
    signal.release();
    // NaN and infinities pass unchanged.
    return new_float(load);
}

// CPython stores every entry as a PyCFunction; METH_FASTCALL | METH_KEYWORDS
// tells it the real signature.
template <FastcallBody Body>
PyCFunction entry() noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&trampoline<Body>));
}

PyMethodDef methods[] = {
    {"eq_load_python", entry<equivalent_load<kEqLoad, eq_load>>(), METH_FASTCALL | METH_KEYWORDS,
     "eq_load_python(signal, m, neq, half)\n--\n\n"},
    {"eq_load_max_half_cycle_closed_python",
     entry<equivalent_load<kEqLoadClosed, eq_load_max_half_cycle_closed>>(),
     METH_FASTCALL | METH_KEYWORDS,
     "eq_load_max_half_cycle_closed_python(signal, m, neq, half)\n--\n\n"},
    {"halfcycles", entry<halfcycles>(), METH_FASTCALL | METH_KEYWORDS,
     "halfcycles(signal, half)\n--\n\n"},
};

}  // namespace

std::span<PyMethodDef> exposed_functions() noexcept { return methods; }

}  // namespace cyclewright
