// The two-pass writer both printer-side packages are laid out with.
//
// Every record or section routine takes a cursor: null in the sizing pass,
// a bounded writer over the package block in the writing pass. A routine
// returns the bytes it takes (the same in both passes) or kHxrPkgFail after
// recording why. Sizes are 64-bit; a package the memory manager cannot hold
// in one block (above 32 bits) fails. The writing pass must end exactly where
// the sizing pass said, else the build fails rather than hand out a package
// that disagrees with its own size.
#pragma once

#include "common/byte_writer.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>
#include <utility>

using HXRPkgCursor = ovcg::ByteWriter*;

inline constexpr uint64_t kHxrPkgFail = ~uint64_t(0);
inline constexpr uint64_t kHxrPkgMaxBytes = 0xFFFFFFFFull;

// Byte writers: advance the cursor when it is not null; the byte count either way.
inline uint64_t HXRWriteLe4Byte(HXRPkgCursor c, uint32_t v) {
    if (c) c->u32le(v);
    return 4;
}
inline uint64_t HXRWriteLe2Byte(HXRPkgCursor c, uint32_t v) {
    if (c) c->u16le(static_cast<uint16_t>(v));
    return 2;
}
inline uint64_t HXRWrite1Byte(HXRPkgCursor c, uint32_t v) {
    if (c) c->u8(static_cast<uint8_t>(v));
    return 1;
}
inline uint64_t HXRWrite0(HXRPkgCursor c, uint64_t n) {
    if (c) c->fill(0, static_cast<size_t>(n));
    return n;
}
inline uint64_t HXRWriteBytes(HXRPkgCursor c, const uint8_t* src, uint64_t n) {
    if (c) c->bytes(src, static_cast<size_t>(n));
    return n;
}
// Zero bytes that pad n up to a multiple of 4, or of 2.
inline constexpr uint64_t HXRGetBurySizeAlign4(uint64_t n) { return (0 - n) & 3; }
inline constexpr uint64_t HXRGetBurySizeAlign2(uint64_t n) { return n & 1; }
// The 8-byte record header {u32 identifier, u32 body size} at `position`,
// moving no cursor.
void HXRWriteSlutHeader(uint8_t* position, uint32_t id, uint32_t size);

// A running byte count of a run of routines: a failed routine fails the sum.
struct HXRPkgSum {
    uint64_t bytes = 0;
    bool ok = true;
    HXRPkgSum& operator+=(uint64_t n) {
        if (n == kHxrPkgFail) ok = false;
        else if (ok) bytes += n;
        return *this;
    }
    uint64_t result() const { return ok ? bytes : kHxrPkgFail; }
};

// Runs `layout(cursor)` as a sizing pass, allocates a block of that size from
// the memory manager and runs it again as the writing pass. The block, or null
// after recording the layout's own code or sizeCode (the size exceeds 32 bits,
// or the writing pass disagrees with the sizing pass); *size receives the byte
// count.
template <typename Layout>
uint8_t* HXRWriteTwoPass(HXRMemMgr* manager, uint32_t sizeCode, uint32_t* size, Layout&& layout) {
    const uint64_t total = layout(HXRPkgCursor{nullptr});
    if (total == kHxrPkgFail) return nullptr;
    if (total == 0 || total > kHxrPkgMaxBytes) {
        HXRSetErrorInfo(sizeCode);
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(HXRAllocMem(manager, static_cast<uint32_t>(total)));
    if (!block) return nullptr;
    ovcg::ByteWriter w(block, static_cast<size_t>(total));
    const uint64_t written = layout(HXRPkgCursor{&w});
    if (written != total || !w.ok() || w.size() != total) {
        HXRSetErrorInfo(sizeCode);  // kept only when the layout recorded nothing itself
        HXRFreeMem(manager, block);
        return nullptr;
    }
    *size = static_cast<uint32_t>(total);
    return block;
}
