// The core's failures in Python's words: every one a ValueError that says
// what to change.
#include <nanobind/nanobind.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "cyclewright/records.hpp"
#include "errors.hpp"

namespace cyclewright::fatigue {

namespace {

[[gnu::cold]] std::string describe(double v) {
    if (std::isnan(v)) return "nan";
    return v > 0 ? "inf" : "-inf";
}

[[gnu::cold]] void translate(const std::exception_ptr& failure, void*) {
    try {
        std::rethrow_exception(failure);
    } catch (const NonFiniteSample& e) {
        const std::string text = "sample " + std::to_string(e.index()) + " is " + describe(e.value()) +
                                 ": every sample must be finite (drop or fill NaN and infinite samples first)";
        PyErr_SetString(PyExc_ValueError, text.c_str());
    } catch (const EmptySignal&) {
        PyErr_SetString(PyExc_ValueError, "no samples: a count needs at least one");
    } catch (const std::logic_error& e) {  // options and finished counters
        PyErr_SetString(PyExc_ValueError, e.what());
    }
}

}  // namespace

void register_errors() { nanobind::register_exception_translator(translate); }

}  // namespace cyclewright::fatigue
