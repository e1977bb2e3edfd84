// Halftone engine base: the per-instance memory manager, the process-wide
// error record and the unaligned endian readers.
#pragma once

#include "ovcg/hxr.h"

#include <cstddef>
#include <cstdint>

// Result codes of the memory manager.
inline constexpr uint32_t kHxrMemNoManager = 3101;
inline constexpr uint32_t kHxrMemNotFound = 3102;

// Opaque: every block of one engine instance, freed together when the
// manager is deleted.
struct HXRMemMgr;

// Null when either function is null or the record cannot be allocated.
HXRMemMgr* HXRCreateMemMgr(HXRAllocFn allocate, HXRFreeFn release);
// Frees every block in allocation order, then the record. 3101 for null.
uint32_t HXRDeleteMemMgr(HXRMemMgr* manager);
// `size` zeroed bytes, or null (no manager, or the host allocator failed).
void* HXRAllocMem(HXRMemMgr* manager, uint32_t size);
// 0 (also for a null pointer); 3101 null manager; 3102 the pointer is not one of
// this manager's blocks (nothing is freed then).
uint32_t HXRFreeMem(HXRMemMgr* manager, void* pointer);
// Frees an engine object held in one block: a null object records and
// returns `none_code`, else the free result.
uint32_t HXRFreeObject(HXRMemMgr* manager, void* object, uint32_t none_code);
// The block's size, 0 when the pointer is not one of the manager's blocks.
uint32_t HXRGetMemSize(const HXRMemMgr* manager, const void* pointer);
// Bytes held: 24 for the record plus size + 32 for every block.
uint64_t HXRGetAllMemSize(const HXRMemMgr* manager);
// Number of live blocks (for diagnostics and tests).
uint32_t HXRGetMemBlockCount(const HXRMemMgr* manager);

// Error record, shared by every instance of the process. A non-zero code is
// kept only while no code is stored, so the first failure of a job survives;
// a code of 0 clears the record.
void HXRSetErrorInfo(uint32_t code);
// The stored code (0 = none); *message, when given, receives an empty text.
uint32_t HXRGetErrorInfo(char** message);
// Puts `restore` back when the record still holds `expected` (atomically).
// Lets a caller undo a failure it provoked on purpose without erasing one
// that was recorded before it, or by another thread since.
bool HXRRestoreErrorInfo(uint32_t expected, uint32_t restore);

// Numbers from resource bytes, without alignment requirement. The caller has
// bounded the bytes (parsers read through ovcg::ByteCursor).
inline uint16_t LeToUint16(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline int16_t LeToInt16(const void* p) { return static_cast<int16_t>(LeToUint16(p)); }
inline uint16_t BeToUint16(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}
inline int16_t BeToInt16(const void* p) { return static_cast<int16_t>(BeToUint16(p)); }
inline uint32_t LeToUint32(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
inline int32_t LeToInt32(const void* p) { return static_cast<int32_t>(LeToUint32(p)); }
inline uint32_t BeToUint32(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}
inline int32_t BeToInt32(const void* p) { return static_cast<int32_t>(BeToUint32(p)); }
