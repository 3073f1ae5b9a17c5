#include "python_error.hpp"

#include <cstdio>
#include <new>

#include "panic.hpp"

namespace cyclewright {

PythonError PythonError::lazy(PyObject* type, OwnedRef argument) noexcept {
    return PythonError(OwnedRef::borrow(type), std::move(argument));
}

PythonError PythonError::type_error(const char* message) {
    OwnedRef text = OwnedRef::steal(PyUnicode_FromString(message));
    if (!text) return fetch();
    return lazy(PyExc_TypeError, std::move(text));
}

PythonError PythonError::instance(OwnedRef exception) noexcept {
    return PythonError(OwnedRef(), std::move(exception));
}

PythonError PythonError::fetch() {
    OwnedRef exception = OwnedRef::steal(py::take_raised_exception());
    if (!exception) {
        OwnedRef text = OwnedRef::steal(
            PyUnicode_FromString("attempted to fetch exception but none was set"));
        if (!text) return instance(OwnedRef::steal(py::take_raised_exception()));
        return lazy(PyExc_SystemError, std::move(text));
    }
    if (is_panic_exception(exception.get())) resume_panic(std::move(exception));
    return instance(std::move(exception));
}

OwnedRef PythonError::into_instance() && {
    if (!type_) return std::move(value_);
    // Let the interpreter build the instance exactly as it would raise it.
    PyErr_SetObject(type_.get(), value_.get());
    type_.reset();
    value_.reset();
    OwnedRef exception = OwnedRef::steal(py::take_raised_exception());
    // PyErr_SetObject always leaves an exception; only a broken interpreter
    // gets here, and then there is nothing left to build an instance with.
    if (!exception) throw std::bad_alloc();
    return exception;
}

void PythonError::restore() && noexcept {
    if (type_) {
        PyErr_SetObject(type_.get(), value_.get());
        type_.reset();
        value_.reset();
    } else {
        py::set_raised_exception(value_.release());
    }
}

void throw_pending_error() { throw PythonError::fetch(); }

namespace {

// `__qualname__` of the object's type, or the fixed stand-in text.
OwnedRef type_qualname(PyObject* object) {
    OwnedRef name = OwnedRef::steal(PyType_GetQualName(Py_TYPE(object)));
    if (!name) {
        PyErr_Clear();
        name = OwnedRef::steal(PyUnicode_FromString("<failed to extract type name>"));
    }
    return name;
}

// `repr()` of the object; a failure is reported as unraisable.
std::string repr_text(PyObject* object) {
    OwnedRef repr = OwnedRef::steal(PyObject_Repr(object));
    if (!repr) {
        PyErr_WriteUnraisable(object);
        return "<unprintable object>";
    }
    return utf8_text(repr.get());
}

// What PyTraceBack_Print writes for the traceback into a fresh io.StringIO.
std::string traceback_text(PyObject* traceback) {
    OwnedRef io = OwnedRef::steal(PyImport_ImportModule("io"));
    OwnedRef sink;
    if (io) sink = OwnedRef::steal(PyObject_CallMethod(io.get(), "StringIO", nullptr));
    OwnedRef text;
    if (sink && PyTraceBack_Print(traceback, sink.get()) == 0) {
        text = OwnedRef::steal(PyObject_CallMethod(sink.get(), "getvalue", nullptr));
    }
    if (!text || !PyUnicode_Check(text.get())) {
        if (PyErr_Occurred()) PyErr_WriteUnraisable(traceback);
        return "<unformattable " + repr_text(traceback) + ">";
    }
    return utf8_text(text.get());
}

// The text as a double-quoted literal would show it: quotes, backslashes and
// control characters escaped.
void push_escaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default: {
                auto byte = static_cast<unsigned char>(c);
                if (byte < 0x20 || byte == 0x7f) {
                    char escaped[16];
                    std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(byte));
                    out += escaped;
                } else {
                    out += c;
                }
            }
        }
    }
}

}  // namespace

std::string utf8_text(PyObject* text) {
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(text, &size);
    if (bytes == nullptr) {
        PyErr_Clear();
        return {};
    }
    return std::string(bytes, static_cast<std::size_t>(size));
}

PythonError conversion_failure(PyObject* object, const char* kind) {
    OwnedRef name = type_qualname(object);
    if (!name) return PythonError::fetch();
    OwnedRef message = OwnedRef::steal(
        PyUnicode_FromFormat("'%U' object cannot be converted to '%s'", name.get(), kind));
    if (!message) return PythonError::fetch();
    return PythonError::lazy(PyExc_TypeError, std::move(message));
}

std::string describe_python_error(PythonError error) {
    OwnedRef exception = std::move(error).into_instance();
    std::string out = "PyErr { type: ";
    out += repr_text(py::as_object(Py_TYPE(exception.get())));
    out += ", value: ";
    out += repr_text(exception.get());
    out += ", traceback: ";
    OwnedRef traceback = OwnedRef::steal(PyException_GetTraceback(exception.get()));
    if (!traceback) {
        out += "None";
    } else {
        out += "Some(\"";
        push_escaped(out, traceback_text(traceback.get()));
        out += "\")";
    }
    out += " }";
    return out;
}

void* capsule_pointer(PyObject* capsule) {
    if (!Py_IS_TYPE(capsule, &PyCapsule_Type)) throw conversion_failure(capsule, "PyCapsule");
    const char* name = PyCapsule_GetName(capsule);
    if (name == nullptr) PyErr_Clear();
    void* pointer = PyCapsule_GetPointer(capsule, name);
    if (pointer == nullptr) {
        // A null table would be dereferenced later; refuse it here.
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "capsule holds a null pointer");
        throw_pending_error();
    }
    return pointer;
}

}  // namespace cyclewright
