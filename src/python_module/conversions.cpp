#include "conversions.hpp"

#include <limits>

#include "owned_ref.hpp"
#include "python_error.hpp"

namespace cyclewright {

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
    if (!PyUnicode_Check(module.get()) || PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) {
        return false;
    }
    OwnedRef name = OwnedRef::steal(PyType_GetName(type));
    if (!name) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
           PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0;
}

[[noreturn, gnu::cold, gnu::noinline]] void no_bool_conversion(PyObject* object) {
    OwnedRef message = OwnedRef::steal(
        PyUnicode_FromFormat("object of type '%S' does not define a '__bool__' conversion",
                             py::as_object(Py_TYPE(object))));
    if (!message) throw_pending_error();
    throw PythonError::lazy(PyExc_TypeError, std::move(message));
}

[[gnu::cold, gnu::noinline]] bool to_bool_slow(PyObject* object) {
    if (!is_numpy_bool(object)) throw conversion_failure(object, "PyBool");
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
    OwnedRef integer = checked(PyNumber_Index(object));
    return checked_unsigned(integer.get());
}

bool to_bool(PyObject* object) {
    if (Py_IS_TYPE(object, &PyBool_Type)) return object == Py_True;
    return to_bool_slow(object);
}

}  // namespace cyclewright
