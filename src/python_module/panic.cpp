#include "panic.hpp"

#include <cstdio>

namespace cyclewright {

namespace {

constexpr const char* kPanicExceptionDoc =
    "The exception raised when the compiled code of cyclewright, called from Python, "
    "fails with an internal error.\n\n"
    "Like SystemExit, it derives from BaseException, not from Exception, so that it "
    "typically propagates all the way through the stack and makes the interpreter exit.";

// Created the first time one is raised, then kept for the process. Only ever
// touched with the interpreter lock held.
PyObject* panic_exception_type = nullptr;

// The type, created on first use; null with an exception set if CPython
// refuses to make it.
PyObject* get_panic_exception_type() noexcept {
    if (panic_exception_type != nullptr) return panic_exception_type;
    PyObject* created = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicExceptionDoc,
                                                  PyExc_BaseException, nullptr);
    if (created == nullptr) return nullptr;
    // Making the type may run Python code; keep whichever was stored first.
    if (panic_exception_type == nullptr) {
        panic_exception_type = created;
    } else {
        Py_DECREF(created);
    }
    return panic_exception_type;
}

}  // namespace

bool is_panic_exception(PyObject* exception) noexcept {
    return panic_exception_type != nullptr &&
           py::as_object(Py_TYPE(exception)) == panic_exception_type;
}

void resume_panic(OwnedRef exception) {
    std::string message = "Unwrapped panic from Python code";
    if (OwnedRef text = OwnedRef::steal(PyObject_Str(exception.get()))) {
        Py_ssize_t size = 0;
        if (const char* bytes = PyUnicode_AsUTF8AndSize(text.get(), &size)) {
            message.assign(bytes, static_cast<std::size_t>(size));
        } else {
            PyErr_Clear();
        }
    } else {
        PyErr_Clear();
    }
    std::fputs("cyclewright: an internal failure raised in Python code is resumed:\n", stderr);
    std::fflush(stderr);
    py::set_raised_exception(exception.release());
    PyErr_PrintEx(0);
    throw ResumedPanic(std::move(message));
}

PythonError from_panic_payload(const std::string& message) {
    PyObject* type = get_panic_exception_type();
    if (type == nullptr) return PythonError::fetch();
    OwnedRef text = OwnedRef::steal(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (!text) return PythonError::fetch();
    return PythonError::lazy(type, std::move(text));
}

}  // namespace cyclewright
