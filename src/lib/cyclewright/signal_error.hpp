// The core's failures: a signal it cannot analyse. Each reason is a type of
// its own, so that a caller tells them apart by type and words them its own
// way; what() is the core's plain description.
#pragma once

#include <exception>
#include <source_location>

namespace cyclewright {

class SignalError : public std::exception {
public:
    explicit SignalError(std::source_location where) noexcept : where_(where) {}
    // Where in the core the signal was refused.
    const std::source_location& where() const noexcept { return where_; }

private:
    std::source_location where_;
};

// The signal has no sample.
class EmptySignal final : public SignalError {
public:
    explicit EmptySignal(std::source_location where = std::source_location::current()) noexcept
        : SignalError(where) {}
    const char* what() const noexcept override { return "the signal has no sample"; }
};

// No sample of the signal is a number, so it has no maximum to close at.
class NoNumberInSignal final : public SignalError {
public:
    explicit NoNumberInSignal(std::source_location where = std::source_location::current()) noexcept
        : SignalError(where) {}
    const char* what() const noexcept override { return "no sample of the signal is a number"; }
};

}  // namespace cyclewright
