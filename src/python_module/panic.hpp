// Internal failures as Python sees them: the exception type
// `pyo3_runtime.PanicException`, a subclass of BaseException made once per
// process, and the failures that resume one raised from Python code.
#pragma once

#include <exception>
#include <string>

#include "owned_ref.hpp"
#include "python_error.hpp"

namespace cyclewright {

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

// Whether the exception's type is exactly this module's PanicException.
// Before the type exists no instance of it can exist either.
[[nodiscard]] bool is_panic_exception(PyObject* exception) noexcept;

// Prints the notice and the exception with its traceback to standard error,
// then continues the failure with the exception's message.
[[noreturn, gnu::cold, gnu::noinline]] void resume_panic(OwnedRef exception);

// The PanicException error whose message is `message`, unchanged. If the type
// cannot be made, the error that prevented it.
[[nodiscard, gnu::cold, gnu::noinline]] PythonError from_panic_payload(const std::string& message);

}  // namespace cyclewright
