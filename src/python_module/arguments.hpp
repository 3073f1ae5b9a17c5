// The arguments of an exposed function: binding a vectorcall's arguments to
// the parameters, converting each one, and naming the argument in the errors
// of its conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "errors.hpp"
#include "python.hpp"

namespace cyclewright {

// ---- Binding ------------------------------------------------------------------

// The parameters of one exposed function. Every parameter may be given by
// position or by keyword; none has a default.
struct FunctionDescription {
    const char* function_name;
    std::span<const std::string_view> parameter_names;
    std::size_t required_count;
};

// Fills `slots` (one per parameter) with borrowed references to the
// arguments, or throws the binding's `TypeError`. When it succeeds it takes
// no reference and allocates nothing but, at the first use of a keyword name
// that is not ASCII, the UTF-8 form the interpreter then keeps with the name.
void extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args,
                                Py_ssize_t nargs, PyObject* kwnames,
                                std::span<PyObject*> slots);

// The error of a failed conversion of argument `name`: an exact `TypeError`
// becomes "argument '{name}': {old message}", every other error stays as is.
[[nodiscard, gnu::cold, gnu::noinline]] PythonError argument_extraction_error(const char* name,
                                                                              PythonError error);

// Converts one bound argument (or finishes the conversion of one, as the
// copy of the signal's samples does), routing a failure through
// argument_extraction_error.
template <class Argument, class Convert>
auto extract_argument(Argument&& argument, const char* name, Convert convert) {
    try {
        return convert(std::forward<Argument>(argument));
    } catch (PythonError& error) {
        throw argument_extraction_error(name, std::move(error));
    }
}

// ---- Conversions ----------------------------------------------------------------
// Each takes a borrowed object and returns the value or throws the
// conversion's PythonError.

// `m`: an exact float is read directly; anything else goes through the
// interpreter's float conversion (int, bool, __float__, __index__).
double to_double(PyObject* object);

// `neq`: an int (bool included) or any object with __index__, 0 to 2**64 - 1.
std::uint64_t to_uint64(PyObject* object);

// `half`: a bool, or a NumPy boolean scalar. Integers are refused.
bool to_bool(PyObject* object);

// `signal`: convert_signal (signal.hpp).

}  // namespace cyclewright
