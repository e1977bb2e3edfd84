// Bounds-checked reading of byte images (resources, records, streams).
//
// Every count and offset read from a model file is untrusted. Parsers read
// through a ByteCursor: each read either succeeds inside the range or fails
// without touching memory outside it. A failure is sticky (ok() stays false),
// so a parser may read a run of fields and check once; the caller maps the
// failure to its own "bad resource" code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovcg {

class ByteCursor {
public:
    constexpr ByteCursor() = default;
    constexpr ByteCursor(const void* data, size_t size)
        : base_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}

    const uint8_t* data() const { return base_; }
    size_t size() const { return size_; }
    size_t pos() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool ok() const { return ok_; }
    bool at_end() const { return pos_ == size_; }
    // Marks the cursor failed, for checks a parser makes on values it read.
    void fail() { ok_ = false; }

    // Moves to an absolute position (== size() is allowed).
    bool seek(size_t pos) {
        if (!ok_ || pos > size_) return fail_false();
        pos_ = pos;
        return true;
    }
    bool skip(size_t n) {
        if (!ok_ || n > remaining()) return fail_false();
        pos_ += n;
        return true;
    }
    // Aligns the position up to a multiple of `align` (a power of two or any n > 0).
    bool align(size_t align) {
        if (align == 0) return fail_false();
        size_t pad = (align - pos_ % align) % align;
        return skip(pad);
    }

    // Pointer to the next n bytes, advancing past them; null when they are not all there.
    const uint8_t* take(size_t n) {
        if (!ok_ || n > remaining()) { ok_ = false; return nullptr; }
        const uint8_t* p = base_ + pos_;
        pos_ += n;
        return p;
    }
    bool read_bytes(void* out, size_t n) {
        const uint8_t* p = take(n);
        if (!p) return false;
        if (n) std::memcpy(out, p, n);
        return true;
    }

    // A cursor over the next n bytes, advancing past them.
    bool sub(size_t n, ByteCursor& out) {
        const uint8_t* p = take(n);
        if (!p) { out = ByteCursor(); out.ok_ = false; return false; }
        out = ByteCursor(p, n);
        return true;
    }
    // A cursor over [offset, offset + n) of the whole range, independent of the position.
    bool sub_at(size_t offset, size_t n, ByteCursor& out) const {
        if (offset > size_ || n > size_ - offset) { out = ByteCursor(); out.ok_ = false; return false; }
        out = ByteCursor(base_ + offset, n);
        return true;
    }
    // A cursor over [offset, end) of the whole range.
    bool tail_at(size_t offset, ByteCursor& out) const {
        if (offset > size_) { out = ByteCursor(); out.ok_ = false; return false; }
        return sub_at(offset, size_ - offset, out);
    }

    // Value reads: false (and the cursor failed) when the bytes are not there.
    bool u8(uint8_t& v) { return rd<uint8_t, 1, false>(v); }
    bool u16le(uint16_t& v) { return rd<uint16_t, 2, false>(v); }
    bool u32le(uint32_t& v) { return rd<uint32_t, 4, false>(v); }
    bool u64le(uint64_t& v) { return rd<uint64_t, 8, false>(v); }
    bool u16be(uint16_t& v) { return rd<uint16_t, 2, true>(v); }
    bool u32be(uint32_t& v) { return rd<uint32_t, 4, true>(v); }
    bool i8(int8_t& v) { uint8_t u; if (!u8(u)) return false; v = static_cast<int8_t>(u); return true; }
    bool i16le(int16_t& v) { uint16_t u; if (!u16le(u)) return false; v = static_cast<int16_t>(u); return true; }
    bool i32le(int32_t& v) { uint32_t u; if (!u32le(u)) return false; v = static_cast<int32_t>(u); return true; }
    bool i16be(int16_t& v) { uint16_t u; if (!u16be(u)) return false; v = static_cast<int16_t>(u); return true; }
    bool i32be(int32_t& v) { uint32_t u; if (!u32be(u)) return false; v = static_cast<int32_t>(u); return true; }

    // Value-returning forms: 0 on failure, with the failure kept for a later ok() check.
    uint8_t u8() { uint8_t v = 0; u8(v); return v; }
    uint16_t u16le() { uint16_t v = 0; u16le(v); return v; }
    uint32_t u32le() { uint32_t v = 0; u32le(v); return v; }
    uint16_t u16be() { uint16_t v = 0; u16be(v); return v; }
    uint32_t u32be() { uint32_t v = 0; u32be(v); return v; }
    int16_t i16le() { int16_t v = 0; i16le(v); return v; }
    int32_t i32le() { int32_t v = 0; i32le(v); return v; }

    // Reads at an absolute offset without moving the position (and without
    // failing the cursor): for tables addressed by offsets.
    bool peek_u8(size_t off, uint8_t& v) const { return pk<uint8_t, 1, false>(off, v); }
    bool peek_u16le(size_t off, uint16_t& v) const { return pk<uint16_t, 2, false>(off, v); }
    bool peek_u32le(size_t off, uint32_t& v) const { return pk<uint32_t, 4, false>(off, v); }
    bool peek_u16be(size_t off, uint16_t& v) const { return pk<uint16_t, 2, true>(off, v); }
    bool peek_u32be(size_t off, uint32_t& v) const { return pk<uint32_t, 4, true>(off, v); }

private:
    bool fail_false() { ok_ = false; return false; }

    template <typename T, size_t N, bool BigEndian>
    static T decode(const uint8_t* p) {
        T v = 0;
        for (size_t i = 0; i < N; ++i) {
            size_t shift = BigEndian ? (N - 1 - i) * 8 : i * 8;
            v = static_cast<T>(v | (static_cast<T>(p[i]) << shift));
        }
        return v;
    }
    template <typename T, size_t N, bool BigEndian>
    bool rd(T& v) {
        const uint8_t* p = take(N);
        if (!p) return false;
        v = decode<T, N, BigEndian>(p);
        return true;
    }
    template <typename T, size_t N, bool BigEndian>
    bool pk(size_t off, T& v) const {
        if (off > size_ || N > size_ - off) return false;
        v = decode<T, N, BigEndian>(base_ + off);
        return true;
    }

    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Little-endian loads and stores on memory the caller has already bounded.
inline uint16_t load_u16le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t load_u32le(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t load_u16be(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t load_u32be(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void store_u16le(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void store_u32le(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void store_u16be(uint8_t* p, uint16_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void store_u32be(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}

}  // namespace ovcg
