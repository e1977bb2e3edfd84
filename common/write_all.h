// Writing a piece of a stream through an output that may take only part of
// it per call: the front end's output function and the job interface's spool
// callback both answer the count they accepted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovcg {

// Consecutive calls that accept nothing after which a write is given up as
// failed (an output that never accepts anything would otherwise hang the job).
inline constexpr int kMaxIdleWrites = 1 << 16;

// Calls write(offset, left) for the `left` bytes from `offset` on, until all
// `length` bytes are accepted; each call answers the count it accepted. The
// bytes accepted are returned: fewer than `length` when the output fails (a
// negative count, a count past what was asked, or kMaxIdleWrites calls in a
// row that accepted nothing).
template <class Write>
size_t write_all(size_t length, Write&& write) {
    size_t total = 0;
    int idle = 0;
    while (total < length) {
        const int64_t n = write(total, length - total);
        if (n < 0 || static_cast<uint64_t>(n) > length - total) break;
        if (n == 0) {
            if (++idle >= kMaxIdleWrites) break;
            continue;
        }
        idle = 0;
        total += static_cast<size_t>(n);
    }
    return total;
}

}  // namespace ovcg
