#include "results.hpp"

#include "internal_failure.hpp"
#include "owned_ref.hpp"

namespace cyclewright {

namespace {

// The pending error goes to standard error (which clears it); the call ends
// as an internal failure.
[[noreturn, gnu::cold, gnu::noinline]] void python_api_call_failed(
    std::source_location where = std::source_location::current()) {
    PyErr_Print();
    fail("Python API call failed", where);
}

OwnedRef checked_result(PyObject* object,
                        std::source_location where = std::source_location::current()) {
    if (object == nullptr) python_api_call_failed(where);
    return OwnedRef::steal(object);
}

}  // namespace

PyObject* half_cycle_list(std::span<const HalfCycle> cycles) {
    OwnedRef list = checked_result(PyList_New(static_cast<Py_ssize_t>(cycles.size())));
    Py_ssize_t index = 0;
    for (const HalfCycle& cycle : cycles) {
        OwnedRef mean = checked_result(PyFloat_FromDouble(cycle.mean));
        OwnedRef range = checked_result(PyFloat_FromDouble(cycle.range));
        OwnedRef pair = checked_result(PyTuple_New(2));
        PyTuple_SET_ITEM(pair.get(), 0, mean.release());
        PyTuple_SET_ITEM(pair.get(), 1, range.release());
        PyList_SET_ITEM(list.get(), index++, pair.release());
    }
    return list.release();
}

PyObject* new_float(double value) { return checked_result(PyFloat_FromDouble(value)).release(); }

}  // namespace cyclewright
