#include "arguments.hpp"

#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "reproduced.hpp"

namespace cyclewright {

namespace text = reproduced;

// ---- Binding ------------------------------------------------------------------

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void throw_type_error(const std::string& message) {
    throw PythonError::type_error(message.c_str());
}

[[noreturn, gnu::cold, gnu::noinline]] void too_many_positional_arguments(
    const FunctionDescription& description, Py_ssize_t nargs) {
    throw_type_error(std::string(description.function_name) + text::kTakes +
                     std::to_string(description.parameter_names.size()) + text::kPositionalArgumentsBut +
                     std::to_string(nargs) + text::kWereGiven);
}

// The keyword name is shown with str(), so a name that UTF-8 cannot encode
// is shown too.
[[noreturn, gnu::cold, gnu::noinline]] void unexpected_keyword_argument(
    const FunctionDescription& description, PyObject* keyword) {
    OwnedRef message = OwnedRef::steal(PyUnicode_FromFormat(
        text::kUnexpectedKeyword, description.function_name, keyword));
    if (!message) throw_pending_error();
    throw PythonError::lazy(PyExc_TypeError, std::move(message));
}

[[noreturn, gnu::cold, gnu::noinline]] void multiple_values_for_argument(
    const FunctionDescription& description, std::string_view name) {
    throw_type_error(std::string(description.function_name) +
                     text::kMultipleValues + std::string(name) + "'");
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
void push_parameter_list(std::string& out, std::span<const std::string_view> names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) out += ',';
            out += (i + 1 == names.size()) ? " and " : " ";
        }
        out += '\'';
        out += names[i];
        out += '\'';
    }
}

[[noreturn, gnu::cold, gnu::noinline]] void missing_required_positional_arguments(
    const FunctionDescription& description, std::span<PyObject* const> slots) {
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < description.required_count; ++i) {
        if (slots[i] == nullptr) missing.push_back(description.parameter_names[i]);
    }
    std::string message = std::string(description.function_name) + text::kMissing +
                          std::to_string(missing.size()) + text::kRequiredPositional +
                          (missing.size() == 1 ? text::kArgument : text::kArguments) + ": ";
    push_parameter_list(message, missing);
    throw_type_error(message);
}

// Index of the parameter spelled `keyword`, or -1. The UTF-8 form of a str
// is cached by the interpreter, so this allocates nothing after the first
// use of a name; a name that cannot be encoded matches nothing.
Py_ssize_t find_parameter(const FunctionDescription& description, PyObject* keyword) noexcept {
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_Check(keyword) ? PyUnicode_AsUTF8AndSize(keyword, &size) : nullptr;
    if (bytes == nullptr) {
        PyErr_Clear();
        return -1;
    }
    const std::string_view name(bytes, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < description.parameter_names.size(); ++i) {
        if (description.parameter_names[i] == name) return static_cast<Py_ssize_t>(i);
    }
    return -1;
}

}  // namespace

void extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args,
                                Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots) {
    const auto parameter_count = static_cast<Py_ssize_t>(description.parameter_names.size());
    for (PyObject*& slot : slots) slot = nullptr;
    if (nargs > parameter_count) too_many_positional_arguments(description, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = args[i];

    if (kwnames != nullptr) {
        const Py_ssize_t keyword_count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < keyword_count; ++k) {
            PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
            const Py_ssize_t index = find_parameter(description, keyword);
            if (index < 0) unexpected_keyword_argument(description, keyword);
            PyObject*& slot = slots[static_cast<std::size_t>(index)];
            if (slot != nullptr) {
                multiple_values_for_argument(
                    description, description.parameter_names[static_cast<std::size_t>(index)]);
            }
            slot = args[nargs + k];
        }
    }

    if (nargs < static_cast<Py_ssize_t>(description.required_count)) {
        for (std::size_t i = static_cast<std::size_t>(nargs); i < description.required_count; ++i) {
            if (slots[i] == nullptr) missing_required_positional_arguments(description, slots);
        }
    }
}

PythonError argument_extraction_error(const char* name, PythonError error) {
    OwnedRef old = std::move(error).into_instance();
    // Only the exact type: a subclass of TypeError keeps its own message.
    if (py::as_object(Py_TYPE(old.get())) != PyExc_TypeError) {
        return PythonError::instance(std::move(old));
    }
    OwnedRef message = OwnedRef::steal(PyUnicode_FromFormat(text::kArgumentPrefix, name, old.get()));
    if (!message) return PythonError::fetch();
    OwnedRef replacement = OwnedRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) return PythonError::fetch();
    // The old error's cause is carried over; the old error itself is not chained.
    PyException_SetCause(replacement.get(), PyException_GetCause(old.get()));
    return PythonError::instance(std::move(replacement));
}

// ---- Conversions ----------------------------------------------------------------

namespace {

[[gnu::cold, gnu::noinline]] double to_double_slow(PyObject* object) {
    const double value = PyFloat_AsDouble(object);
    // -1.0 is also an ordinary value; only a pending exception marks failure.
    if (value == -1.0 && PyErr_Occurred()) throw_pending_error();
    return value;
}

std::uint64_t checked_unsigned(PyObject* integer) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(integer);
    // 2**64 - 1 is also an ordinary value; only a pending exception marks failure.
    if (value == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) {
        throw_pending_error();
    }
    return static_cast<std::uint64_t>(value);
}

// A scalar of numpy.bool (NumPy 2) or numpy.bool_ (NumPy 1). An error while
// reading the names only means that the object does not count as one.
bool is_numpy_bool(PyObject* object) noexcept {
    PyTypeObject* type = Py_TYPE(object);
    OwnedRef module = OwnedRef::steal(py::type_module_name(type));
    if (!module) {
        PyErr_Clear();
        return false;
    }
    if (!PyUnicode_Check(module.get()) || PyUnicode_CompareWithASCIIString(module.get(), text::kNumpyModule) != 0) {
        return false;
    }
    OwnedRef name = OwnedRef::steal(PyType_GetName(type));
    if (!name) {
        PyErr_Clear();
        return false;
    }
    for (const char* bool_name : text::kNumpyBoolNames) {
        if (PyUnicode_CompareWithASCIIString(name.get(), bool_name) == 0) return true;
    }
    return false;
}

[[noreturn, gnu::cold, gnu::noinline]] void no_bool_conversion(PyObject* object) {
    OwnedRef message = OwnedRef::steal(
        PyUnicode_FromFormat(text::kNoBoolConversion,
                             py::as_object(Py_TYPE(object))));
    if (!message) throw_pending_error();
    throw PythonError::lazy(PyExc_TypeError, std::move(message));
}

[[gnu::cold, gnu::noinline]] bool to_bool_slow(PyObject* object) {
    if (!is_numpy_bool(object)) throw conversion_failure(object, text::kBoolTarget);
    PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) no_bool_conversion(object);
    const int truth = number->nb_bool(object);
    if (truth == 1) return true;
    if (truth == 0) return false;
    throw_pending_error();
}

}  // namespace

double to_double(PyObject* object) {
    if (PyFloat_CheckExact(object)) return PyFloat_AS_DOUBLE(object);
    return to_double_slow(object);
}

std::uint64_t to_uint64(PyObject* object) {
    if (PyLong_Check(object)) return checked_unsigned(object);
    OwnedRef integer = owned_or_raise(PyNumber_Index(object));
    return checked_unsigned(integer.get());
}

bool to_bool(PyObject* object) {
    if (Py_IS_TYPE(object, &PyBool_Type)) return object == Py_True;
    return to_bool_slow(object);
}

}  // namespace cyclewright
