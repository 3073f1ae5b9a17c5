#include "signal_array.hpp"

#include <cstdint>
#include <cstring>
#include <source_location>
#include <string>

#include "cyclewright/internal_failure.hpp"
#include "numpy_api.hpp"
#include "python_error.hpp"

namespace cyclewright {

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void unexpected_borrow_status(
    int status, std::source_location where = std::source_location::current()) {
    fail("Unexpected return code " + std::to_string(status) + " from borrow checking API", where);
}

[[noreturn, gnu::cold, gnu::noinline]] void already_borrowed(
    std::source_location where = std::source_location::current()) {
    fail("called `Result::unwrap()` on an `Err` value: AlreadyBorrowed", where);
}

[[noreturn, gnu::cold, gnu::noinline]] void not_contiguous(
    std::source_location where = std::source_location::current()) {
    fail("called `Result::unwrap()` on an `Err` value: NotContiguousError", where);
}

}  // namespace

PyReadonlyArray PyReadonlyArray::acquire(OwnedRef array) {
    const BorrowApiTable& table = borrow_api();
    const int status = table.acquire(table.flags, array.get());
    if (status == 0) return PyReadonlyArray(&table, std::move(array));
    array.reset();
    if (status == -1) already_borrowed();
    unexpected_borrow_status(status);
}

SampleBuffer::SampleBuffer(std::size_t count)
    : owned_(count == 0 ? nullptr : std::make_unique_for_overwrite<double[]>(count)),
      view_(owned_.get()),
      size_(count) {}

PyReadonlyArray convert_signal(PyObject* object) {
    if (!numpy::is_array(object) || !numpy::has_float64_dtype(object)) {
        throw conversion_failure(object, "PyArray<T, D>");
    }
    return PyReadonlyArray::acquire(OwnedRef::borrow(object));
}

SampleBuffer read_samples(const PyReadonlyArray& view) {
    const numpy::ArrayObject* fields = numpy::as_array(view.array());
    if ((fields->flags & (numpy::kArrayCContiguous | numpy::kArrayFContiguous)) == 0) {
        not_contiguous();
    }
    // A 0-d array holds one sample; a zero-length dimension leaves none.
    std::size_t count = 1;
    for (int i = 0; i < fields->nd; ++i) count *= static_cast<std::size_t>(fields->dimensions[i]);
#if !defined(Py_GIL_DISABLED)
    // Threads that run without the lock could still write the array, so a
    // free-threaded build always copies.
    if (reinterpret_cast<std::uintptr_t>(fields->data) % alignof(double) == 0) {
        return SampleBuffer(static_cast<const double*>(static_cast<const void*>(fields->data)), count);
    }
#endif
    SampleBuffer buffer(count);
    // Bytes, not doubles: the array's data need not be aligned.
    if (count != 0) std::memcpy(buffer.data(), fields->data, count * sizeof(double));
    return buffer;
}

}  // namespace cyclewright
