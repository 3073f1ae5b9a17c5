#include "errors.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "cyclewright/signal_error.hpp"
#include "process_state.hpp"
#include "reproduced.hpp"

namespace cyclewright {

namespace text = reproduced;

// ---- The PanicException type ----------------------------------------------

namespace {

// The type, created on first use (process_state.hpp); null with an exception
// set if CPython refuses to make it.
PyObject* panic_exception_type() noexcept {
    PyObject*& known = process_state.panic_exception_type;
    if (known != nullptr) return known;
    PyObject* created = PyErr_NewExceptionWithDoc(text::kPanicTypeName, text::kPanicTypeDoc,
                                                  PyExc_BaseException, nullptr);
    if (created == nullptr) return nullptr;
    // Making the type may run Python code; keep whichever was stored first.
    if (known == nullptr) {
        known = created;
    } else {
        Py_DECREF(created);
    }
    return known;
}

// Whether the exception's type is exactly this module's PanicException.
// Before the type exists no instance of it can exist either.
bool is_panic_exception(PyObject* exception) noexcept {
    PyObject* type = process_state.panic_exception_type;
    return type != nullptr && py::as_object(Py_TYPE(exception)) == type;
}

// Prints the notice and the exception with its traceback to standard error,
// then continues the failure with the exception's message.
[[noreturn, gnu::cold, gnu::noinline]] void resume_panic(OwnedRef exception) {
    std::string message = text::kUnwrappedPanic;
    if (OwnedRef shown = OwnedRef::steal(PyObject_Str(exception.get()))) {
        Py_ssize_t size = 0;
        if (const char* bytes = PyUnicode_AsUTF8AndSize(shown.get(), &size)) {
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

// The PanicException error whose message is `message`, unchanged. If the
// type cannot be made, the error that prevented it.
[[nodiscard, gnu::cold, gnu::noinline]] PythonError from_panic_payload(const std::string& message) {
    PyObject* type = panic_exception_type();
    if (type == nullptr) return PythonError::fetch();
    OwnedRef payload = OwnedRef::steal(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (!payload) return PythonError::fetch();
    return PythonError::lazy(type, std::move(payload));
}

}  // namespace

// ---- Python exceptions ----------------------------------------------------

PythonError PythonError::lazy(PyObject* type, OwnedRef argument) noexcept {
    return PythonError(OwnedRef::borrow(type), std::move(argument));
}

PythonError PythonError::type_error(const char* message) {
    OwnedRef argument = OwnedRef::steal(PyUnicode_FromString(message));
    if (!argument) return fetch();
    return lazy(PyExc_TypeError, std::move(argument));
}

PythonError PythonError::instance(OwnedRef exception) noexcept {
    return PythonError(OwnedRef(), std::move(exception));
}

PythonError PythonError::fetch() {
    OwnedRef exception = OwnedRef::steal(py::take_raised_exception());
    if (!exception) {
        OwnedRef argument = OwnedRef::steal(PyUnicode_FromString(text::kNoErrorSet));
        if (!argument) return instance(OwnedRef::steal(py::take_raised_exception()));
        return lazy(PyExc_SystemError, std::move(argument));
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

// The UTF-8 text of a `str` object; empty if it cannot be encoded.
std::string utf8_text(PyObject* object) {
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(object, &size);
    if (bytes == nullptr) {
        PyErr_Clear();
        return {};
    }
    return std::string(bytes, static_cast<std::size_t>(size));
}

// `__qualname__` of the object's type, or the fixed stand-in text.
OwnedRef type_qualname(PyObject* object) {
    OwnedRef name = OwnedRef::steal(PyType_GetQualName(Py_TYPE(object)));
    if (!name) {
        PyErr_Clear();
        name = OwnedRef::steal(PyUnicode_FromString(text::kNoTypeName));
    }
    return name;
}

// `repr()` of the object; a failure is reported as unraisable.
std::string repr_text(PyObject* object) {
    OwnedRef repr = OwnedRef::steal(PyObject_Repr(object));
    if (!repr) {
        PyErr_WriteUnraisable(object);
        return text::kUnprintable;
    }
    return utf8_text(repr.get());
}

// What PyTraceBack_Print writes for the traceback into a fresh io.StringIO.
std::string traceback_text(PyObject* traceback) {
    OwnedRef io = OwnedRef::steal(PyImport_ImportModule("io"));
    OwnedRef sink;
    if (io) sink = OwnedRef::steal(PyObject_CallMethod(io.get(), "StringIO", nullptr));
    OwnedRef printed;
    if (sink && PyTraceBack_Print(traceback, sink.get()) == 0) {
        printed = OwnedRef::steal(PyObject_CallMethod(sink.get(), "getvalue", nullptr));
    }
    if (!printed || !PyUnicode_Check(printed.get())) {
        if (PyErr_Occurred()) PyErr_WriteUnraisable(traceback);
        return text::kUnformattable + repr_text(traceback) + ">";
    }
    return utf8_text(printed.get());
}

// The text as a double-quoted literal would show it: quotes, backslashes and
// control characters escaped.
void push_escaped(std::string& out, const std::string& shown) {
    for (char c : shown) {
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

PythonError conversion_failure(PyObject* object, const char* target) {
    OwnedRef name = type_qualname(object);
    if (!name) return PythonError::fetch();
    OwnedRef message = OwnedRef::steal(PyUnicode_FromFormat(text::kCannotConvert, name.get(), target));
    if (!message) return PythonError::fetch();
    return PythonError::lazy(PyExc_TypeError, std::move(message));
}

std::string describe_python_error(PythonError error) {
    OwnedRef exception = std::move(error).into_instance();
    std::string out = text::kErrorOpen;
    out += repr_text(py::as_object(Py_TYPE(exception.get())));
    out += text::kErrorValue;
    out += repr_text(exception.get());
    out += text::kErrorTraceback;
    OwnedRef traceback = OwnedRef::steal(PyException_GetTraceback(exception.get()));
    if (!traceback) {
        out += "None";
    } else {
        out += "Some(\"";
        push_escaped(out, traceback_text(traceback.get()));
        out += "\")";
    }
    out += text::kErrorClose;
    return out;
}

// ---- Internal failures ----------------------------------------------------

void fail(std::string message, std::source_location where) {
    throw InternalFailure(std::move(message), where);
}

// ---- The boundary ---------------------------------------------------------

namespace {

// The short report of an internal failure: where it arose and its message.
void report_internal_failure(const InternalFailure& failure) noexcept {
    const std::source_location& where = failure.where();
    std::fprintf(stderr, "cyclewright: internal failure at %s:%u:%u in %s:\n  %s\n",
                 where.file_name(), static_cast<unsigned>(where.line()),
                 static_cast<unsigned>(where.column()), where.function_name(),
                 failure.message().c_str());
    std::fflush(stderr);
}

void raise_internal_failure(const InternalFailure& failure) {
    report_internal_failure(failure);
    from_panic_payload(failure.message()).restore();
}

[[noreturn]] void abort_at_boundary() noexcept {
    std::fputs(text::kUncaughtAtBoundary, stderr);
    std::fflush(stderr);
    std::abort();
}

PyObject* raise_handled_failure() {
    try {
        throw;
    } catch (PythonError& error) {
        std::move(error).restore();
    } catch (const InternalFailure& failure) {
        raise_internal_failure(failure);
    } catch (const EmptySignal& refused) {
        raise_internal_failure(InternalFailure(text::kEmptySignal, refused.where()));
    } catch (const NoNumberInSignal& refused) {
        raise_internal_failure(InternalFailure(text::kNoMaximum, refused.where()));
    } catch (const ResumedPanic& panic) {
        from_panic_payload(panic.message()).restore();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& other) {
        // A failure of the standard library (a length error, say) is a failed
        // consistency condition like any other.
        std::fprintf(stderr, "cyclewright: internal failure: %s\n", other.what());
        std::fflush(stderr);
        from_panic_payload(other.what()).restore();
    }
    return nullptr;
}

}  // namespace

PyObject* raise_current_failure() noexcept {
    // Raising is guarded once more: a failure here is not caught again.
    try {
        return raise_handled_failure();
    } catch (...) {
        abort_at_boundary();
    }
}

}  // namespace cyclewright
