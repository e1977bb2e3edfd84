// Hostile copies of a resource for parser tests: one field patched, or the
// bytes cut short, always in memory that ends at an inaccessible page so that
// a read past the resource faults at once.
#pragma once

#include "support/guard_page.h"
#include "support/res_writer.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

namespace ovcg_test {

struct Patch {
    size_t at;
    uint32_t value;
    int width;  // bytes, little-endian
};

inline Bytes patched(Bytes b, std::initializer_list<Patch> patches) {
    for (const Patch& p : patches)
        for (int k = 0; k < p.width; ++k) b.at(p.at + size_t(k)) = uint8_t(p.value >> (8 * k));
    return b;
}

// The bytes, ending at a guard page.
class GuardedCopy {
public:
    explicit GuardedCopy(const Bytes& b) : g_(b.size()) { g_.assign(b.data(), b.size()); }
    const uint8_t* data() const { return g_.data(); }
    uint32_t size() const { return uint32_t(g_.size()); }

private:
    GuardedBytes g_;
};

// Guarded copies that live as long as the holder: parsers point into their
// resources, which must outlive them.
class GuardedCopies {
public:
    const GuardedCopy& hold(const Bytes& b) {
        held_.push_back(std::make_unique<GuardedCopy>(b));
        return *held_.back();
    }
    const GuardedCopy& last() const { return *held_.back(); }

private:
    std::vector<std::unique_ptr<GuardedCopy>> held_;
};

// Calls f(bytes, n) for every prefix of b (n = 0 .. size - 1), each placed
// so that it ends at the guard page.
template <typename F>
void for_each_prefix(const Bytes& b, F f) {
    GuardedBytes g(b.size());
    for (size_t n = 0; n < b.size(); ++n) {
        uint8_t* p = g.data() + (b.size() - n);
        if (n) std::memcpy(p, b.data(), n);
        f(static_cast<const uint8_t*>(p), uint32_t(n));
    }
}

}  // namespace ovcg_test
