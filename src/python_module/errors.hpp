// How a call fails, and the boundary that turns each failure into a Python
// exception. Code anywhere in a call reports a failure by throwing:
//   PythonError              -> that exception, as it is
//   InternalFailure          -> PanicException, after a report on stderr
//   EmptySignal and NoNumberInSignal of the core -> the same, with their texts
//   ResumedPanic             -> PanicException, no report (already printed)
//   std::bad_alloc           -> MemoryError
// Whatever the call owned is released by the unwinding before the exception
// is raised, so no layer passes error codes along.
#pragma once

#include <exception>
#include <source_location>
#include <string>
#include <utility>

#include "python.hpp"

namespace cyclewright {

// ---- Python exceptions ------------------------------------------------------

// A Python exception that the call is to raise.
class PythonError {
public:
    // An exception type with its single argument, raised with PyErr_SetObject.
    [[nodiscard]] static PythonError lazy(PyObject* type, OwnedRef argument) noexcept;
    // A `TypeError` with `message` as its argument.
    [[nodiscard, gnu::cold]] static PythonError type_error(const char* message);
    // An exception instance, raised unchanged.
    [[nodiscard]] static PythonError instance(OwnedRef exception) noexcept;

    // Takes the pending exception. With none pending, a `SystemError`. A
    // pending PanicException of this module is not an error but an internal
    // failure being resumed: that throws ResumedPanic instead.
    [[nodiscard, gnu::cold, gnu::noinline]] static PythonError fetch();

    // The error as one exception instance (new reference, never null).
    [[nodiscard]] OwnedRef into_instance() &&;
    // Makes the error the current Python exception.
    void restore() && noexcept;

private:
    PythonError(OwnedRef type, OwnedRef value) noexcept
        : type_(std::move(type)), value_(std::move(value)) {}

    OwnedRef type_;   // null: value_ is an exception instance
    OwnedRef value_;
};

// Throws the pending exception as a PythonError.
[[noreturn, gnu::cold, gnu::noinline]] void throw_pending_error();

// Owns a new reference from the C API; null means an exception is pending,
// which is thrown as a PythonError.
inline OwnedRef owned_or_raise(PyObject* new_reference) {
    if (new_reference == nullptr) throw_pending_error();
    return OwnedRef::steal(new_reference);
}

// `TypeError` "'{type}' object cannot be converted to '{target}'", {type}
// being the `__qualname__` of the object's type.
[[nodiscard, gnu::cold, gnu::noinline]] PythonError conversion_failure(PyObject* object,
                                                                       const char* target);

// The error in structure notation, for the message of an internal failure:
// PyErr { type: <repr>, value: <repr>, traceback: None | Some("<text>") }.
[[nodiscard, gnu::cold, gnu::noinline]] std::string describe_python_error(PythonError error);

// ---- Internal failures --------------------------------------------------------

// A failed consistency condition: the message callers see and the source
// position it arose at.
class InternalFailure : public std::exception {
public:
    InternalFailure(std::string message, std::source_location where)
        : message_(std::move(message)), where_(where) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    const std::source_location& where() const noexcept { return where_; }

private:
    std::string message_;
    std::source_location where_;
};

// Kept out of line and cold: failures are rare and their message is built
// only when one happens.
[[noreturn, gnu::cold, gnu::noinline]] void fail(
    std::string message, std::source_location where = std::source_location::current());

// An internal failure that started as this module's PanicException raised by
// Python code that a conversion ran (a `__index__`, say). It carries the
// exception's message on to the boundary, which raises a new PanicException.
class ResumedPanic : public std::exception {
public:
    explicit ResumedPanic(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// ---- The boundary -------------------------------------------------------------

// Raises the exception being handled (call only inside a catch block) and
// returns null. Aborts the process if raising it fails in turn.
[[gnu::cold, gnu::noinline]] PyObject* raise_current_failure() noexcept;

// Runs `body`, which returns a new reference or throws.
template <class Body>
PyObject* run_at_boundary(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return raise_current_failure();
    }
}

using FastcallBody = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames);

// The vectorcall entry of an exposed function (METH_FASTCALL | METH_KEYWORDS).
template <FastcallBody Body>
PyObject* trampoline(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return run_at_boundary([&] { return Body(self, args, nargs, kwnames); });
}

}  // namespace cyclewright
