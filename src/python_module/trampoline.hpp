// The boundary between CPython and the module's own code. Every entry point
// that CPython calls runs its body through here; the body reports failures
// by throwing, and the boundary turns each kind into a Python exception:
//   PythonError              -> that exception, as it is
//   InternalFailure          -> PanicException, after a report on stderr
//   ResumedPanic             -> PanicException, no report (already printed)
//   std::bad_alloc           -> MemoryError
// Whatever the body owned is released by the unwinding before the exception
// is raised.
#pragma once

#include "python.hpp"

namespace cyclewright {

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
