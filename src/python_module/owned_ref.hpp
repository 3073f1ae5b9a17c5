// A strong reference to a Python object, released when the owner goes away.
// Every `PyObject*` the module owns lives in one of these; bare pointers are
// borrowed.
#pragma once

#include <utility>

#include "python.hpp"

namespace cyclewright {

class OwnedRef {
public:
    OwnedRef() noexcept = default;

    // Takes over a new reference (null allowed).
    [[nodiscard]] static OwnedRef steal(PyObject* object) noexcept { return OwnedRef(object); }
    // Takes a new reference to a borrowed object (null allowed).
    [[nodiscard]] static OwnedRef borrow(PyObject* object) noexcept {
        return OwnedRef(Py_XNewRef(object));
    }

    OwnedRef(const OwnedRef& other) noexcept : object_(Py_XNewRef(other.object_)) {}
    OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    OwnedRef& operator=(OwnedRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~OwnedRef() { Py_XDECREF(object_); }

    [[nodiscard]] PyObject* get() const noexcept { return object_; }
    // Hands the reference to the caller.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    void reset() noexcept { Py_CLEAR(object_); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    explicit OwnedRef(PyObject* object) noexcept : object_(object) {}

    PyObject* object_ = nullptr;
};

}  // namespace cyclewright
