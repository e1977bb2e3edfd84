// Memory that faults on the first byte outside it.
//
// GuardedBytes hands out n bytes that either end exactly where an
// inaccessible (PROT_NONE) page begins, or begin exactly where one ends, so
// a read or write one byte past the end (or before the start) crashes the
// test at once instead of passing silently. The bytes start zeroed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovcg_test {

class GuardedBytes {
public:
    enum class Guard { After, Before };

    // n bytes with the inaccessible page right after (Guard::After) or
    // right before (Guard::Before) them. n may be 0.
    explicit GuardedBytes(size_t n, Guard guard = Guard::After);
    static GuardedBytes EndingAtGuard(size_t n) { return GuardedBytes(n, Guard::After); }
    static GuardedBytes StartingAfterGuard(size_t n) { return GuardedBytes(n, Guard::Before); }

    GuardedBytes(GuardedBytes&& other) noexcept;
    GuardedBytes& operator=(GuardedBytes&& other) noexcept;
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    ~GuardedBytes();

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    uint8_t* begin() { return data_; }
    uint8_t* end() { return data_ + size_; }

    // Copies min(n, size()) bytes of src to the start.
    void assign(const void* src, size_t n) {
        if (n > size_) n = size_;
        if (n) std::memcpy(data_, src, n);
    }

private:
    void release();

    uint8_t* map_ = nullptr;
    size_t map_size_ = 0;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace ovcg_test
