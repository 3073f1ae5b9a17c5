#include "view_registry.hpp"

#include <cstddef>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "errors.hpp"
#include "numpy_array.hpp"
#include "process_state.hpp"

namespace cyclewright {

namespace text = reproduced;
using reproduced::BorrowApiTable;

namespace {

std::uintptr_t gcd(std::uintptr_t a, std::uintptr_t b) noexcept {
    while (b != 0) a = std::exchange(b, a % b);
    return a;
}

std::uintptr_t magnitude(std::intptr_t value) noexcept {
    const auto bits = static_cast<std::uintptr_t>(value);
    return value < 0 ? std::uintptr_t{0} - bits : bits;
}

// The addresses wrap like the machine's; no signed overflow on the way.
BorrowKey borrow_key(PyObject* array) noexcept {
    const reproduced::ArrayObject* fields = numpy::as_array(array);
    const auto data = reinterpret_cast<std::uintptr_t>(fields->data);
    const std::size_t nd = fields->nd > 0 ? static_cast<std::size_t>(fields->nd) : 0;
    if (nd == 0) return BorrowKey{data, data, data, 1};

    // One dimension keeps the stride's sign; a fold of two or more gives the
    // non-negative gcd, a zero stride adding nothing.
    std::intptr_t gcd_strides = fields->strides[0];
    for (std::size_t i = 1; i < nd; ++i) {
        gcd_strides = static_cast<std::intptr_t>(
            gcd(magnitude(gcd_strides), magnitude(fields->strides[i])));
    }

    bool empty = false;
    for (std::size_t i = 0; i < nd; ++i) empty = empty || fields->dimensions[i] == 0;
    if (empty) return BorrowKey{data, data, data, gcd_strides};

    std::uintptr_t start = data;
    std::uintptr_t end = data + static_cast<std::uintptr_t>(numpy::element_size(array));
    for (std::size_t i = 0; i < nd; ++i) {
        const auto offset = static_cast<std::uintptr_t>(fields->dimensions[i] - 1) *
                            static_cast<std::uintptr_t>(fields->strides[i]);
        if (fields->strides[i] < 0) {
            start += offset;
        } else {
            end += offset;
        }
    }
    return BorrowKey{start, end, data, gcd_strides};
}

// Two views conflict when their byte ranges overlap and their elements can
// meet: the data addresses lie a multiple of the strides' gcd apart.
bool conflicts(const BorrowKey& a, const BorrowKey& b) noexcept {
    if (b.range_start >= a.range_end || a.range_start >= b.range_end) return false;
    const std::uintptr_t distance =
        a.data_ptr > b.data_ptr ? a.data_ptr - b.data_ptr : b.data_ptr - a.data_ptr;
    const std::uintptr_t g = gcd(magnitude(a.gcd_strides), magnitude(b.gcd_strides));
    // Overlapping views whose strides are all zero: assume the worst.
    if (g == 0) return true;
    return distance % g == 0;
}

// The object that owns the memory: the array at the end of a chain of array
// bases, or the first base that is not an array.
std::uintptr_t base_address(PyObject* array) noexcept {
    PyObject* current = array;
    for (;;) {
        PyObject* base = numpy::as_array(current)->base;
        if (base == nullptr) return reinterpret_cast<std::uintptr_t>(current);
        if (!numpy::is_array_loaded(base)) return reinterpret_cast<std::uintptr_t>(base);
        current = base;
    }
}

// Count of each key registered under one base address: positive for shared
// views, -1 for one exclusive view; a zero never stays. Few views share a
// base, so a flat list beats a map here.
using ViewCounts = std::vector<std::pair<BorrowKey, std::int64_t>>;

class BorrowRegistry {
public:
    int acquire_shared(std::uintptr_t base, const BorrowKey& key) {
        std::lock_guard guard(lock_);
        auto entry = views_.find(base);
        if (entry == views_.end()) {
            views_.emplace(base, ViewCounts{{key, 1}});
            return 0;
        }
        ViewCounts& counts = entry->second;
        if (auto* found = find(counts, key)) {
            if (found->second < 0 || found->second == std::numeric_limits<std::int64_t>::max()) {
                return text::kConflict;
            }
            ++found->second;
            return 0;
        }
        for (const auto& [other, count] : counts) {
            if (count < 0 && conflicts(key, other)) return text::kConflict;
        }
        counts.emplace_back(key, 1);
        return 0;
    }

    int acquire_exclusive(std::uintptr_t base, const BorrowKey& key) {
        std::lock_guard guard(lock_);
        auto entry = views_.find(base);
        if (entry == views_.end()) {
            views_.emplace(base, ViewCounts{{key, -1}});
            return 0;
        }
        ViewCounts& counts = entry->second;
        if (find(counts, key) != nullptr) return text::kConflict;
        for (const auto& [other, count] : counts) {
            if (count != 0 && conflicts(key, other)) return text::kConflict;
        }
        counts.emplace_back(key, -1);
        return 0;
    }

    // `exclusive`: drop the key whatever its count; else take one off it.
    void release(std::uintptr_t base, const BorrowKey& key, bool exclusive) noexcept {
        std::lock_guard guard(lock_);
        auto entry = views_.find(base);
        // Releasing what was never registered is the caller's fault; there
        // is nothing to undo.
        if (entry == views_.end()) return;
        ViewCounts& counts = entry->second;
        auto* found = find(counts, key);
        if (found == nullptr) return;
        if (!exclusive && --found->second != 0) return;
        *found = counts.back();
        counts.pop_back();
        if (counts.empty()) views_.erase(entry);
    }

private:
    static std::pair<BorrowKey, std::int64_t>* find(ViewCounts& counts, const BorrowKey& key) {
        for (auto& item : counts) {
            if (item.first == key) return &item;
        }
        return nullptr;
    }

    std::mutex lock_;
    std::unordered_map<std::uintptr_t, ViewCounts> views_;
};

// Status returned when the registry cannot get memory for a registration;
// callers see an unexpected code rather than a conflict.
constexpr int kOutOfMemory = -3;

int acquire_shared_key(void* flags, std::uintptr_t base, const BorrowKey& key) noexcept {
    try {
        return static_cast<BorrowRegistry*>(flags)->acquire_shared(base, key);
    } catch (...) {
        return kOutOfMemory;
    }
}

int acquire_shared(void* flags, PyObject* array) noexcept {
    return acquire_shared_key(flags, base_address(array), borrow_key(array));
}

int acquire_mut_shared(void* flags, PyObject* array) noexcept {
    if ((numpy::as_array(array)->flags & reproduced::kArrayWriteable) == 0) return text::kNotWriteable;
    try {
        return static_cast<BorrowRegistry*>(flags)->acquire_exclusive(base_address(array),
                                                                      borrow_key(array));
    } catch (...) {
        return kOutOfMemory;
    }
}

void release_shared(void* flags, PyObject* array) noexcept {
    static_cast<BorrowRegistry*>(flags)->release(base_address(array), borrow_key(array), false);
}

void release_mut_shared(void* flags, PyObject* array) noexcept {
    static_cast<BorrowRegistry*>(flags)->release(base_address(array), borrow_key(array), true);
}

// The capsule owns the table and, through `flags`, the registry.
void destroy_capsule(PyObject* capsule) noexcept {
    auto* table = static_cast<BorrowApiTable*>(PyCapsule_GetPointer(capsule, text::kRegistryCapsule));
    if (table == nullptr) {
        PyErr_Clear();
        return;
    }
    delete static_cast<BorrowRegistry*>(table->flags);
    delete table;
}

// A new registry attached to the multiarray module. Throws PythonError.
OwnedRef create_registry(PyObject* multiarray) {
    auto* table = new BorrowApiTable{text::kRegistryVersion,
                                     nullptr,
                                     acquire_shared,
                                     acquire_mut_shared,
                                     release_shared,
                                     release_mut_shared};
    try {
        table->flags = new BorrowRegistry();
    } catch (...) {
        delete table;
        throw;
    }
    PyObject* capsule = PyCapsule_New(table, text::kRegistryCapsule, destroy_capsule);
    if (capsule == nullptr) {
        delete static_cast<BorrowRegistry*>(table->flags);
        delete table;
        throw_pending_error();
    }
    OwnedRef owned = OwnedRef::steal(capsule);
    if (PyObject_SetAttrString(multiarray, text::kRegistryCapsule, owned.get()) != 0) throw_pending_error();
    return owned;
}

// The table of a found capsule. Throws PythonError.
const BorrowApiTable* found_table(PyObject* capsule) {
    const auto* table = static_cast<const BorrowApiTable*>(capsule_pointer(capsule));
    if (table->version == 0) {
        throw PythonError::type_error(text::kRegistryVersionZero);
    }
    return table;
}

[[gnu::cold, gnu::noinline]] const BorrowApiTable& load_borrow_api() {
    try {
        OwnedRef name = owned_or_raise(PyUnicode_FromString(numpy::multiarray_module_name()));
        OwnedRef multiarray = owned_or_raise(PyImport_Import(name.get()));
        OwnedRef capsule = OwnedRef::steal(PyObject_GetAttrString(multiarray.get(), text::kRegistryCapsule));
        if (!capsule) {
            // No registry yet, whatever the reason: make one.
            PyErr_Clear();
            capsule = create_registry(multiarray.get());
        }
        const BorrowApiTable* table = found_table(capsule.get());
        // Imports may run Python code that found a table meanwhile; keep the
        // first one. The capsule is kept referenced for ever.
        if (process_state.view_registry == nullptr) {
            process_state.view_registry = table;
            static_cast<void>(capsule.release());
        }
        return *process_state.view_registry;
    } catch (PythonError& error) {
        fail(text::kRegistryError + describe_python_error(std::move(error)));
    }
}

const BorrowApiTable& borrow_api() {
    if (process_state.view_registry != nullptr) return *process_state.view_registry;
    return load_borrow_api();
}

// Whether the table is the one this module created: its state is then a
// BorrowRegistry.
bool is_own(const BorrowApiTable& table) noexcept { return table.acquire == acquire_shared; }

}  // namespace

int SharedRegistration::acquire(PyObject* array) {
    const BorrowApiTable& table = borrow_api();
    table_ = &table;
    if (!is_own(table)) return table.acquire(table.flags, array);
    base_ = base_address(array);
    key_ = borrow_key(array);
    return acquire_shared_key(table.flags, base_, key_);
}

void SharedRegistration::release(PyObject* array) const noexcept {
    if (is_own(*table_)) {
        static_cast<BorrowRegistry*>(table_->flags)->release(base_, key_, false);
    } else {
        table_->release(table_->flags, array);
    }
}

}  // namespace cyclewright
