// The one exception type of the core: a failed consistency condition, carrying
// the exact message that callers show and the source position it arose at.
#pragma once

#include <exception>
#include <source_location>
#include <string>
#include <utility>

namespace cyclewright {

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

// Kept out of line and cold: failures are rare and their message is built only
// when one happens.
[[noreturn, gnu::cold, gnu::noinline]] void fail(
    std::string message, std::source_location where = std::source_location::current());

// Messages shared by the core and the module.
inline constexpr const char* kEmptySignalMessage =
    "index out of bounds: the len is 0 but the index is 0";
inline constexpr const char* kNoMaximumMessage = "called `Option::unwrap()` on a `None` value";

}  // namespace cyclewright
