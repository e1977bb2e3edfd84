// Bounded writing into a caller's buffer.
//
// A ByteWriter never writes past the capacity it was given, whatever counts
// its user passes: a write that does not fit writes nothing and marks the
// writer overflowed (sticky), so a command or record is either written whole
// or reported as not fitting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovcg {

class ByteWriter {
public:
    constexpr ByteWriter() = default;
    constexpr ByteWriter(void* buf, size_t capacity)
        : base_(static_cast<uint8_t*>(buf)), cap_(buf ? capacity : 0) {}

    uint8_t* data() const { return base_; }
    size_t size() const { return pos_; }
    size_t capacity() const { return cap_; }
    size_t remaining() const { return cap_ - pos_; }
    bool ok() const { return ok_; }

    bool reserve(size_t n) {
        if (!ok_ || n > remaining()) { ok_ = false; return false; }
        return true;
    }
    // Pointer to the next n bytes, advancing past them; null when they do not fit.
    uint8_t* take(size_t n) {
        if (!reserve(n)) return nullptr;
        uint8_t* p = base_ + pos_;
        pos_ += n;
        return p;
    }
    bool bytes(const void* src, size_t n) {
        uint8_t* p = take(n);
        if (!p) return false;
        if (n) std::memcpy(p, src, n);
        return true;
    }
    bool fill(uint8_t value, size_t n) {
        uint8_t* p = take(n);
        if (!p) return false;
        if (n) std::memset(p, value, n);
        return true;
    }
    bool u8(uint8_t v) { return put<1, false>(v); }
    bool u16le(uint16_t v) { return put<2, false>(v); }
    bool u32le(uint32_t v) { return put<4, false>(v); }
    bool u16be(uint16_t v) { return put<2, true>(v); }
    bool u32be(uint32_t v) { return put<4, true>(v); }

    // Overwrites bytes already written (for lengths patched after the body).
    bool patch_u16be(size_t at, uint16_t v) { return patch<2, true>(at, v); }
    bool patch_u32be(size_t at, uint32_t v) { return patch<4, true>(at, v); }
    bool patch_u16le(size_t at, uint16_t v) { return patch<2, false>(at, v); }
    bool patch_u32le(size_t at, uint32_t v) { return patch<4, false>(at, v); }

private:
    template <size_t N, bool BigEndian>
    static void encode(uint8_t* p, uint64_t v) {
        for (size_t i = 0; i < N; ++i) {
            size_t shift = BigEndian ? (N - 1 - i) * 8 : i * 8;
            p[i] = static_cast<uint8_t>(v >> shift);
        }
    }
    template <size_t N, bool BigEndian>
    bool put(uint64_t v) {
        uint8_t* p = take(N);
        if (!p) return false;
        encode<N, BigEndian>(p, v);
        return true;
    }
    template <size_t N, bool BigEndian>
    bool patch(size_t at, uint64_t v) {
        if (at > pos_ || N > pos_ - at) { ok_ = false; return false; }
        encode<N, BigEndian>(base_ + at, v);
        return true;
    }

    uint8_t* base_ = nullptr;
    size_t cap_ = 0;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace ovcg
