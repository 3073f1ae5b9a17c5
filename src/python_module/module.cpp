// The module object: its three functions, each along the road of a call
// (bind and convert the arguments, copy the samples, count, build the
// result), its single-phase definition and the initialisation entry point.
#include <array>
#include <atomic>
#include <cstdint>
#include <source_location>
#include <span>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "cyclewright/cycles.hpp"
#include "errors.hpp"
#include "process_state.hpp"
#include "python.hpp"
#include "reproduced.hpp"
#include "signal.hpp"

namespace cyclewright {

namespace text = reproduced;

namespace {

// ---- The results ----------------------------------------------------------------
// A result object that cannot be made ends the call as an internal failure,
// "Python API call failed", after printing the Python error.

// The pending error goes to standard error (which clears it); the call ends
// as an internal failure.
[[noreturn, gnu::cold, gnu::noinline]] void python_api_call_failed(
    std::source_location where = std::source_location::current()) {
    PyErr_Print();
    fail(text::kApiCallFailed, where);
}

// Owns a new result object; null ends the call as above.
OwnedRef result_or_fail(PyObject* object, std::source_location where = std::source_location::current()) {
    if (object == nullptr) python_api_call_failed(where);
    return OwnedRef::steal(object);
}

// A new list of (mean, range) float 2-tuples, one per half cycle, in order.
PyObject* half_cycle_list(std::span<const HalfCycle> cycles) {
    OwnedRef list = result_or_fail(PyList_New(static_cast<Py_ssize_t>(cycles.size())));
    Py_ssize_t index = 0;
    for (const HalfCycle& cycle : cycles) {
        OwnedRef mean = result_or_fail(PyFloat_FromDouble(cycle.mean));
        OwnedRef range = result_or_fail(PyFloat_FromDouble(cycle.range));
        OwnedRef pair = result_or_fail(PyTuple_New(2));
        PyTuple_SET_ITEM(pair.get(), 0, mean.release());
        PyTuple_SET_ITEM(pair.get(), 1, range.release());
        PyList_SET_ITEM(list.get(), index++, pair.release());
    }
    return list.release();
}

// A new float; NaN and infinities pass unchanged.
PyObject* new_float(double value) { return result_or_fail(PyFloat_FromDouble(value)).release(); }

// ---- The functions ------------------------------------------------------------

constexpr std::string_view kHalfcyclesParameters[] = {"signal", "half"};
constexpr std::string_view kLoadParameters[] = {"signal", "m", "neq", "half"};

constexpr FunctionDescription kHalfcycles{text::kHalfcyclesName, kHalfcyclesParameters, 2};
constexpr FunctionDescription kEqLoad{text::kEqLoadName, kLoadParameters, 4};
constexpr FunctionDescription kEqLoadClosed{text::kEqLoadClosedName, kLoadParameters, 4};

// The samples are read only after every argument is converted: the copy is
// the last step of converting `signal`.
SampleBuffer copy_signal(const PyReadonlyArray& signal) {
    return extract_argument(signal, "signal", [](const PyReadonlyArray& view) { return view.copy_samples(); });
}

// The same, for a computation that makes the copy in its first pass.
PendingCopy prepare_signal_copy(const PyReadonlyArray& signal) {
    return extract_argument(signal, "signal", [](const PyReadonlyArray& view) { return view.prepare_copy(); });
}

PyObject* halfcycles(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 2> slots;
    extract_arguments_fastcall(kHalfcycles, args, nargs, kwnames, slots);
    PyReadonlyArray signal = extract_argument(slots[0], "signal", convert_signal);
    const bool half = extract_argument(slots[1], "half", to_bool);

    std::vector<HalfCycle> cycles;
    {
        SampleBuffer samples = copy_signal(signal);
        const std::vector<double> peaktrough = get_peaktrough(samples.samples());
        samples.reset();
        cycles = get_halfcycles(peaktrough, half);
    }
    signal.release();
    return half_cycle_list(cycles);
}

using EquivalentLoad = double (*)(std::span<const double>, double, std::uint64_t, bool);
using CopyingLoad = double (*)(std::span<const double>, double*, double, std::uint64_t, bool);

template <const FunctionDescription& Description, EquivalentLoad Compute, CopyingLoad ComputeCopying>
PyObject* equivalent_load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 4> slots;
    extract_arguments_fastcall(Description, args, nargs, kwnames, slots);
    PyReadonlyArray signal = extract_argument(slots[0], "signal", convert_signal);
    const double m = extract_argument(slots[1], "m", to_double);
    const std::uint64_t neq = extract_argument(slots[2], "neq", to_uint64);
    const bool half = extract_argument(slots[3], "half", to_bool);

    double load = 0.0;
    {
        // Aligned samples (nearly always) are copied by the load's first
        // pass over them, which so reads them once for both.
        PendingCopy samples = prepare_signal_copy(signal);
        if (samples.aligned) {
            load = ComputeCopying(samples.source(), samples.buffer.data(), m, neq, half);
        } else {
            samples.copy();
            load = Compute(samples.buffer.samples(), m, neq, half);
        }
    }
    signal.release();
    return new_float(load);
}

// CPython stores every entry as a PyCFunction; METH_FASTCALL | METH_KEYWORDS
// tells it the real signature.
template <FastcallBody Body>
PyCFunction entry() noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&trampoline<Body>));
}

// In registration order; kept for the whole process, as the function objects
// point into it.
PyMethodDef methods[] = {
    {text::kEqLoadName, entry<equivalent_load<kEqLoad, eq_load, eq_load_copying>>(), METH_FASTCALL | METH_KEYWORDS,
     text::kEqLoadDoc},
    {text::kEqLoadClosedName, entry<equivalent_load<kEqLoadClosed, eq_load_max_half_cycle_closed,
                                                             eq_load_max_half_cycle_closed_copying>>(),
     METH_FASTCALL | METH_KEYWORDS, text::kEqLoadClosedDoc},
    {text::kHalfcyclesName, entry<halfcycles>(), METH_FASTCALL | METH_KEYWORDS, text::kHalfcyclesDoc},
};

// ---- The module ---------------------------------------------------------------

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    text::kModuleName,  // m_name
    "",                 // m_doc
    0,                  // m_size
    nullptr,            // m_methods: functions are added after creation
    nullptr,            // m_slots: single-phase initialisation
    nullptr,            // m_traverse
    nullptr,            // m_clear
    nullptr,            // m_free
};

[[noreturn, gnu::cold, gnu::noinline]] void throw_subinterpreter_error() {
    PyErr_SetString(PyExc_ImportError, text::kSubinterpreter);
    throw_pending_error();
}

void claim_interpreter() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) throw_pending_error();
    std::int64_t expected = -1;
    if (!process_state.interpreter.compare_exchange_strong(expected, id) && expected != id) {
        throw_subinterpreter_error();
    }
}

// The interned "__name__", made once.
PyObject* name_attribute() {
    PyObject*& name = process_state.name_string;
    if (name == nullptr) name = owned_or_raise(PyUnicode_InternFromString("__name__")).release();
    return name;
}

// The module's `__all__` list, created empty when absent.
OwnedRef all_list(PyObject* module) {
    OwnedRef all = OwnedRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_pending_error();
        PyErr_Clear();
        all = owned_or_raise(PyList_New(0));
        if (PyObject_SetAttrString(module, "__all__", all.get()) != 0) throw_pending_error();
        return all;
    }
    if (!PyList_Check(all.get())) throw conversion_failure(all.get(), text::kListTarget);
    return all;
}

void add_function(PyObject* module, PyMethodDef& definition) {
    OwnedRef function;
    {
        OwnedRef module_name = owned_or_raise(PyModule_GetNameObject(module));
        function = owned_or_raise(PyCMethod_New(&definition, module, module_name.get(), nullptr));
    }
    OwnedRef name = owned_or_raise(PyObject_GetAttr(function.get(), name_attribute()));
    if (!PyUnicode_Check(name.get())) throw conversion_failure(name.get(), text::kStringTarget);
    OwnedRef all = all_list(module);
    // Unlike the other steps, a failed append is an internal failure that
    // carries the error in its message.
    if (PyList_Append(all.get(), name.get()) != 0) {
        fail(text::kAppendNameError + describe_python_error(PythonError::fetch()));
    }
    if (PyObject_SetAttr(module, name.get(), function.get()) != 0) throw_pending_error();
}

PyObject* initialise() {
    claim_interpreter();
    PyObject*& kept = process_state.module;
    if (kept != nullptr) return Py_NewRef(kept);

    OwnedRef module = owned_or_raise(PyModule_Create2(&module_definition, PYTHON_API_VERSION));
    for (PyMethodDef& definition : methods) add_function(module.get(), definition);

    // Adding the functions may run Python code that imported the module
    // meanwhile; keep the first module made.
    if (kept == nullptr) kept = module.release();
    return Py_NewRef(kept);
}

}  // namespace

}  // namespace cyclewright

PyMODINIT_FUNC PyInit_cyclewright(void) {
    return cyclewright::run_at_boundary(cyclewright::initialise);
}
