// NumPy arrays in and out: samples are read where they lie (1-D, C order,
// float64; the Python layer converts anything else once), and results are
// the core's vectors handed over to NumPy without a copy.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include "cyclewright/column.hpp"

#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

namespace cyclewright::fatigue {

namespace nb = nanobind;

using Samples = nb::ndarray<const double, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

inline std::span<const double> samples_of(const Samples& x) { return {x.data(), x.shape(0)}; }

template <class T>
using Array = nb::ndarray<nb::numpy, T>;

// The vector moves into the array, which frees it with its last reference.
template <class T>
Array<T> to_array(std::vector<T>&& values, std::initializer_list<std::size_t> shape = {}) {
    auto* owned = new std::vector<T>(std::move(values));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<T>*>(p); });
    if (shape.size() == 0) return Array<T>(owned->data(), {owned->size()}, owner);
    return Array<T>(owned->data(), shape, owner);
}

// The column's storage moves into the array, which frees it with its last
// reference.
template <class T>
Array<T> to_array(Column<T>&& values) {
    const std::size_t size = values.size();
    values.reserve(1);  // a capsule needs storage to hold, also when empty
    struct Storage {
        T* data;
        std::size_t bytes;
    };
    auto storage = std::make_unique<Storage>();
    const auto [data, bytes] = values.release();
    *storage = {data, bytes};
    nb::capsule owner;
    try {
        owner = nb::capsule(storage.get(), [](void* p) noexcept {
            auto* s = static_cast<Storage*>(p);
            free_column(s->data, s->bytes);
            delete s;
        });
    } catch (...) {
        free_column(data, bytes);  // no capsule holds it
        throw;
    }
    storage.release();  // the capsule's now
    return Array<T>(data, {size}, owner);
}

template <class T>
Array<T> copy_to_array(std::span<const T> values, std::initializer_list<std::size_t> shape = {}) {
    return to_array(std::vector<T>(values.begin(), values.end()), shape);
}

}  // namespace cyclewright::fatigue
