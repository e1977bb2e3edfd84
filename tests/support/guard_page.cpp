#include "support/guard_page.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>
#include <utility>

namespace ovcg_test {
namespace {

size_t PageSize() {
    static const size_t page = [] {
        long p = sysconf(_SC_PAGESIZE);
        return p > 0 ? static_cast<size_t>(p) : size_t{4096};
    }();
    return page;
}

}  // namespace

GuardedBytes::GuardedBytes(size_t n, Guard guard) : size_(n) {
    const size_t page = PageSize();
    const size_t data_pages = (n + page - 1) / page;
    map_size_ = (data_pages + 1) * page;
    void* m = mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    map_ = static_cast<uint8_t*>(m);
    uint8_t* guard_page = guard == Guard::After ? map_ + data_pages * page : map_;
    if (mprotect(guard_page, page, PROT_NONE) != 0) {
        munmap(map_, map_size_);
        throw std::bad_alloc();
    }
    data_ = guard == Guard::After ? guard_page - n : map_ + page;
}

GuardedBytes::GuardedBytes(GuardedBytes&& other) noexcept
    : map_(std::exchange(other.map_, nullptr)),
      map_size_(std::exchange(other.map_size_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

GuardedBytes& GuardedBytes::operator=(GuardedBytes&& other) noexcept {
    if (this != &other) {
        release();
        map_ = std::exchange(other.map_, nullptr);
        map_size_ = std::exchange(other.map_size_, 0);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

GuardedBytes::~GuardedBytes() { release(); }

void GuardedBytes::release() {
    if (map_) munmap(map_, map_size_);
    map_ = nullptr;
    map_size_ = 0;
    data_ = nullptr;
    size_ = 0;
}

}  // namespace ovcg_test
