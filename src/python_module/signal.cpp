#include "signal.hpp"

#include <cstdint>
#include <cstring>
#include <source_location>
#include <string>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "errors.hpp"
#include "numpy_array.hpp"
#include "reproduced.hpp"

namespace cyclewright {

namespace text = reproduced;

namespace {

// ---- Failures -------------------------------------------------------------------

[[noreturn, gnu::cold, gnu::noinline]] void unexpected_borrow_status(
    int status, std::source_location where = std::source_location::current()) {
    fail(text::kUnexpectedReturnCode + std::to_string(status) + text::kFromBorrowCheckingApi, where);
}

[[noreturn, gnu::cold, gnu::noinline]] void already_borrowed(
    std::source_location where = std::source_location::current()) {
    fail(text::kAlreadyBorrowed, where);
}

[[noreturn, gnu::cold, gnu::noinline]] void not_contiguous(
    std::source_location where = std::source_location::current()) {
    fail(text::kNotContiguous, where);
}

[[noreturn, gnu::cold, gnu::noinline]] void array_changed() {
    throw PythonError::type_error(
        "the array's data type, shape, strides or memory changed while the other arguments were "
        "converted; no sample was read");
}

// ---- The layout -----------------------------------------------------------------

// Reads the array's fields as they are now; never fails.
ArrayLayout layout_of(PyObject* array) noexcept {
    const reproduced::ArrayObject* fields = numpy::as_array(array);
    std::size_t count = 1;
    // FNV-1a over the number of dimensions, each length and each stride.
    std::uint64_t arrangement = 0xcbf29ce484222325u;
    auto mix = [&arrangement](std::uint64_t word) { arrangement = (arrangement ^ word) * 0x100000001b3u; };
    mix(static_cast<std::uint64_t>(fields->nd));
    for (int i = 0; i < fields->nd; ++i) {
        count *= static_cast<std::size_t>(fields->dimensions[i]);
        mix(static_cast<std::uint64_t>(fields->dimensions[i]));
        mix(static_cast<std::uint64_t>(fields->strides[i]));
    }
    return ArrayLayout{count, count * static_cast<std::size_t>(numpy::element_size(array)), fields->data,
                       arrangement,
                       (fields->flags & (reproduced::kArrayCContiguous | reproduced::kArrayFContiguous)) != 0};
}

// ---- The copy -------------------------------------------------------------------

// One pass over the bytes (the array's data need not be aligned), with
// ordinary stores: the library's memcpy writes a copy of this size past the
// caches, and the count, which reads it right after, would then wait on
// memory.
void copy_block(double* to, const char* from, std::size_t bytes) noexcept {
    auto* out = reinterpret_cast<char*>(to);
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= bytes; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), block);
    }
#endif
    if (i != bytes) std::memcpy(out + i, from + i, bytes - i);
}

}  // namespace

SampleBuffer::SampleBuffer(std::size_t count) : values_(allocate_samples(count)), size_(count) {}

void PendingCopy::copy() noexcept { copy_block(buffer.data(), from, bytes); }

// ---- The view -------------------------------------------------------------------

PyReadonlyArray PyReadonlyArray::acquire(OwnedRef array) {
    SharedRegistration registration;
    const int status = registration.acquire(array.get());
    if (status == 0) {
        // Taken right after the key, with no Python code in between.
        const ArrayLayout viewed = layout_of(array.get());
        return PyReadonlyArray(registration, std::move(array), viewed);
    }
    array.reset();
    if (status == text::kConflict) already_borrowed();
    unexpected_borrow_status(status);
}

PendingCopy PyReadonlyArray::prepare_copy() const {
    const ArrayLayout now = layout_of(array_.get());
    // The layout is compared before the data type, whose test may allocate.
    if (now != viewed_ || !numpy::has_float64_dtype(array_.get())) array_changed();
    if (!now.contiguous) not_contiguous();
    const bool aligned = reinterpret_cast<std::uintptr_t>(now.data) % alignof(double) == 0;
    return PendingCopy{SampleBuffer(now.count), now.data, now.bytes, aligned};
}

SampleBuffer PyReadonlyArray::copy_samples() const {
    PendingCopy pending = prepare_copy();
    pending.copy();
    return std::move(pending.buffer);
}

PyReadonlyArray convert_signal(PyObject* object) {
    if (!numpy::is_array(object) || !numpy::has_float64_dtype(object)) {
        throw conversion_failure(object, text::kSignalTarget);
    }
    return PyReadonlyArray::acquire(OwnedRef::borrow(object));
}

}  // namespace cyclewright
