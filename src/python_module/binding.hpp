// Binding the arguments of a vectorcall to the parameters of an exposed
// function, and naming the argument in the errors of its conversion.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "python.hpp"
#include "python_error.hpp"

namespace cyclewright {

// The parameters of one exposed function. Every parameter may be given by
// position or by keyword; none has a default.
struct FunctionDescription {
    const char* function_name;
    std::span<const std::string_view> parameter_names;
    std::size_t required_count;
};

// Fills `slots` (one per parameter) with borrowed references to the
// arguments, or throws the binding's `TypeError`. Allocates nothing and takes
// no reference when it succeeds.
void extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args,
                                Py_ssize_t nargs, PyObject* kwnames,
                                std::span<PyObject*> slots);

// The error of a failed conversion of argument `name`: an exact `TypeError`
// becomes "argument '{name}': {old message}", every other error stays as is.
[[nodiscard, gnu::cold, gnu::noinline]] PythonError argument_extraction_error(const char* name,
                                                                              PythonError error);

// Converts one bound argument, routing a failure through
// argument_extraction_error.
template <class Convert>
auto extract_argument(PyObject* argument, const char* name, Convert convert) {
    try {
        return convert(argument);
    } catch (PythonError& error) {
        throw argument_extraction_error(name, std::move(error));
    }
}

}  // namespace cyclewright
