// An error outcome: a Python exception that a call is to raise. Thrown as a
// C++ exception from wherever it arises and raised by the boundary
// (trampoline.hpp), so no layer in between passes error codes along.
#pragma once

#include <string>

#include "owned_ref.hpp"
#include "python.hpp"

namespace cyclewright {

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
    // failure being resumed: that throws ResumedPanic (panic.hpp) instead.
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

// Checks a result of the C API: null means an exception is pending.
inline OwnedRef checked(PyObject* new_reference) {
    if (new_reference == nullptr) throw_pending_error();
    return OwnedRef::steal(new_reference);
}

// `TypeError` "'{type}' object cannot be converted to '{kind}'", {type} being
// the `__qualname__` of the object's type.
[[nodiscard, gnu::cold, gnu::noinline]] PythonError conversion_failure(PyObject* object,
                                                                       const char* kind);

// The error in structure notation, for the message of an internal failure:
// PyErr { type: <repr>, value: <repr>, traceback: None | Some("<text>") }.
[[nodiscard, gnu::cold, gnu::noinline]] std::string describe_python_error(PythonError error);

// The UTF-8 text of a `str` object; empty if it cannot be encoded.
[[nodiscard]] std::string utf8_text(PyObject* text);

// The pointer of a capsule of exactly PyCapsule_Type, under the name that the
// capsule reports; a null pointer is refused. Throws PythonError.
void* capsule_pointer(PyObject* capsule);

}  // namespace cyclewright
