#include "trampoline.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "cyclewright/signal_error.hpp"
#include "internal_failure.hpp"
#include "panic.hpp"
#include "python_error.hpp"

namespace cyclewright {

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

[[noreturn]] void abort_at_boundary() noexcept {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::fflush(stderr);
    std::abort();
}

PyObject* raise_handled_failure() {
    try {
        throw;
    } catch (PythonError& error) {
        std::move(error).restore();
    } catch (const InternalFailure& failure) {
        report_internal_failure(failure);
        from_panic_payload(failure.message()).restore();
    } catch (const EmptySignal& refused) {
        const InternalFailure failure(kEmptySignalMessage, refused.where());
        report_internal_failure(failure);
        from_panic_payload(failure.message()).restore();
    } catch (const NoNumberInSignal& refused) {
        const InternalFailure failure(kNoMaximumMessage, refused.where());
        report_internal_failure(failure);
        from_panic_payload(failure.message()).restore();
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
