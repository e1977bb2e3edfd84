#pragma once

#include <unistd.h>

#include <cstddef>
#include <initializer_list>

namespace ovcg_test {

// Fills a pipe through a descriptor that does not wait: whole pages, then
// the last page's room a byte at a time. The count of bytes written.
inline size_t fill_pipe(int fd) {
    static const char zeros[4096] = {};
    size_t filled = 0;
    for (size_t n : {sizeof zeros, size_t{1}})
        for (ssize_t w; (w = ::write(fd, zeros, n)) > 0;) filled += static_cast<size_t>(w);
    return filled;
}

}  // namespace ovcg_test
