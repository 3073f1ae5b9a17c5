// A growable array of plain values whose storage a caller can take over (and
// free with free_column), for records that end up as NumPy arrays without a
// copy. Large storage is mapped from the system on huge pages, grows by
// moving its pages, and once freed is kept for the next count (64 MiB at
// most): a count's records are tens of megabytes written once, and faulting
// them in page by page, clearing fresh pages or copying them as they grow
// would cost more than the count.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

namespace cyclewright {

// From this size on, storage is mapped (on Linux) and grows without a copy.
inline constexpr std::size_t kMappedColumnBytes = std::size_t{1} << 20;

// Storage of at least `bytes` holding the first `used` bytes of `old` (of
// `old_bytes`), which it replaces; sets `bytes` to its size. Throws
// std::bad_alloc.
void* grow_column(void* old, std::size_t old_bytes, std::size_t used, std::size_t& bytes);
// The size to ask grow_column for, at least `bytes`: large storage in whole
// huge pages.
std::size_t column_bytes(std::size_t bytes) noexcept;
// Frees storage of `bytes` from grow_column.
void free_column(void* storage, std::size_t bytes) noexcept;

template <class T>
class Column {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    Column() = default;
    Column(Column&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    Column& operator=(Column&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;
    ~Column() { free_column(data_, capacity_ * sizeof(T)); }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + size_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + size_; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }

    void reserve(std::size_t capacity) {
        if (capacity <= capacity_) return;
        std::size_t bytes = column_bytes(capacity * sizeof(T));
        data_ = static_cast<T*>(grow_column(data_, capacity_ * sizeof(T), size_ * sizeof(T), bytes));
        capacity_ = bytes / sizeof(T);
    }
    // Room for `count` more values to come, doubling as it grows; eightfold
    // while small, where each growth copies the values.
    void expect(std::size_t count) {
        if (size_ + count <= capacity_) return;
        const std::size_t factor = capacity_ * sizeof(T) < kMappedColumnBytes ? 8 : 2;
        reserve(std::max({size_ + count, factor * capacity_, std::size_t{16}}));
    }
    // Room for `count` more values, not yet written.
    T* extend(std::size_t count) {
        expect(count);
        T* const room = data_ + size_;
        size_ += count;
        return room;
    }
    void push_back(T value) { *extend(1) = value; }
    void clear() noexcept { size_ = 0; }
    void assign(std::span<const T> values) {
        clear();
        if (!values.empty()) std::memcpy(extend(values.size()), values.data(), values.size_bytes());
    }
    // The storage and its size in bytes, for the caller to free with
    // free_column; the column is empty.
    std::pair<T*, std::size_t> release() noexcept {
        const std::size_t bytes = capacity_ * sizeof(T);
        size_ = capacity_ = 0;
        return {std::exchange(data_, nullptr), bytes};
    }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace cyclewright
