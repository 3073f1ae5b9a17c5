#include "internal_failure.hpp"

namespace cyclewright {

void fail(std::string message, std::source_location where) {
    throw InternalFailure(std::move(message), where);
}

}  // namespace cyclewright
