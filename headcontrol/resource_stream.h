// Reading the model resource's sections: format tests, and arrays read from
// the bounds-checked cursor into blocks allocated through the callback table.
//
// A count read from the resource is never trusted: an array is checked
// against the bytes left before anything is allocated for it, and a count of
// 0 means an absent array (nothing allocated, a null pointer).
#pragma once

#include "common/byte_cursor.h"
#include "headcontrol/callbacks.h"
#include "headcontrol/codes.h"

#include <cstdint>

namespace ovcg::irac {

// The model resource's format number {major M, minor m} and its three tests.
struct ModelFormat {
    int16_t major = 0;
    int16_t minor = 0;
    bool at_least(int16_t minor_of_1) const { return (major == 1 && minor >= minor_of_1) || major > 1; }
    bool f12() const { return at_least(2); }  // u32 mode ids, unit variants
    bool f13() const { return at_least(3); }  // head-section flags, colour-order setters
    bool f14() const { return at_least(4); }  // tagged records, loss-nozzle form 1
};

// A zeroed array of `count` elements; count 0 gives null and success.
template <class T>
uint32_t alloc_array(const CallbackTable& cb, uint64_t count, uint32_t code, T*& out) {
    out = nullptr;
    if (count == 0) return 0;
    if (count > UINT32_MAX / sizeof(T)) return code;
    out = static_cast<T*>(alloc_zeroed(cb, static_cast<uint32_t>(count * sizeof(T))));
    return out ? 0 : code;
}

template <class T>
uint32_t alloc_record(const CallbackTable& cb, uint32_t code, T*& out) {
    return alloc_array(cb, 1, code, out);
}

// A zeroed record that keeps the callback table (its `cb` member): `code`
// for a null argument or a failed allocation, and *out null.
template <class T>
uint32_t allocate_owned(T** out, const CallbackTable* cb, uint32_t code) {
    if (!out) return code;
    *out = nullptr;
    if (!cb) return code;
    T* t = nullptr;
    if (alloc_record(*cb, code, t)) return code;
    t->cb = cb;
    *out = t;
    return 0;
}

// Frees through the table and clears the pointer; null is ignored.
template <class T>
void release_ptr(const CallbackTable& cb, T*& p) {
    release(cb, const_cast<void*>(static_cast<const void*>(p)));
    p = nullptr;
}

// Little-endian element reads, one per array element type.
inline bool read_le(ByteCursor& c, uint8_t& v) { return c.u8(v); }
inline bool read_le(ByteCursor& c, int8_t& v) { return c.i8(v); }
inline bool read_le(ByteCursor& c, uint16_t& v) { return c.u16le(v); }
inline bool read_le(ByteCursor& c, int16_t& v) { return c.i16le(v); }
inline bool read_le(ByteCursor& c, uint32_t& v) { return c.u32le(v); }
inline bool read_le(ByteCursor& c, int32_t& v) { return c.i32le(v); }

// True (the cursor untouched) when `count` elements of `width` bytes are left.
inline bool has_room(ByteCursor& c, uint64_t count, uint64_t width) {
    if (c.ok() && count <= c.remaining() / width) return true;
    c.fail();
    return false;
}

// Reads `count` elements into a new array: 104 when they run past the end
// (checked first), `alloc_code` when the array cannot be allocated.
template <class T>
uint32_t read_array(ByteCursor& c, const CallbackTable& cb, uint64_t count, uint32_t alloc_code, T*& out) {
    out = nullptr;
    if (!has_room(c, count, sizeof(T))) return kRscBadResource;
    if (uint32_t rc = alloc_array(cb, count, alloc_code, out)) return rc;
    for (uint64_t i = 0; i < count; ++i) read_le(c, out[i]);
    return 0;
}

// Reads into a caller's array of `count` elements (already allocated).
template <class T>
uint32_t read_into(ByteCursor& c, uint64_t count, T* out) {
    if (!has_room(c, count, sizeof(T))) return kRscBadResource;
    for (uint64_t i = 0; i < count; ++i) read_le(c, out[i]);
    return 0;
}

// A signed count read from the stream: 104 past the end, 106 when negative.
inline uint32_t read_count(ByteCursor& c, int16_t& n) {
    if (!c.i16le(n)) return kRscBadResource;
    return n < 0 ? kRscBadValue : 0;
}

}  // namespace ovcg::irac
