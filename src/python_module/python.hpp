// The one include of the CPython headers, the few shims that let the module
// build on every interpreter from 3.11 on with the same calls, and the owner
// of a reference: every `PyObject*` the module owns lives in an OwnedRef;
// bare pointers are borrowed.
#pragma once

#include <utility>

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace cyclewright::py {

// The pending exception as one normalised instance (new reference), or null
// when none is pending. Clears the error indicator.
inline PyObject* take_raised_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return value;
#endif
}

// Raises the exception instance unchanged; steals the reference.
inline void set_raised_exception(PyObject* exception) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception);
#else
    PyObject* type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exception)));
    PyErr_Restore(type, exception, PyException_GetTraceback(exception));
#endif
}

// The `__module__` of a type as a new reference, or null with an exception.
inline PyObject* type_module_name(PyTypeObject* type) noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return PyType_GetModuleName(type);
#else
    return PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__");
#endif
}

inline PyObject* as_object(PyTypeObject* type) noexcept {
    return reinterpret_cast<PyObject*>(type);
}

}  // namespace cyclewright::py

namespace cyclewright {

// A strong reference, released when the owner goes away.
class OwnedRef {
public:
    OwnedRef() noexcept = default;

    // Takes over a new reference (null allowed).
    [[nodiscard]] static OwnedRef steal(PyObject* object) noexcept { return OwnedRef(object); }
    // Takes a new reference to a borrowed object (null allowed).
    [[nodiscard]] static OwnedRef borrow(PyObject* object) noexcept {
        return OwnedRef(Py_XNewRef(object));
    }

    OwnedRef(const OwnedRef& other) noexcept : object_(Py_XNewRef(other.object_)) {}
    OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    OwnedRef& operator=(OwnedRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~OwnedRef() { Py_XDECREF(object_); }

    [[nodiscard]] PyObject* get() const noexcept { return object_; }
    // Hands the reference to the caller.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    void reset() noexcept { Py_CLEAR(object_); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    explicit OwnedRef(PyObject* object) noexcept : object_(object) {}

    PyObject* object_ = nullptr;
};

}  // namespace cyclewright
