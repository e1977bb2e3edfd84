// The correction-ID list of a printer-identifier blob: the IDs that pick the
// printer's ink-weight corrections. The parser copies nothing; the list points
// into the caller's blob, which must outlive it.
//
// Blob forms (byte offsets):
//   0x20, u8 n at 1, IDs from byte 3 (byte 2 unused): n - 1 IDs, n in 2..255
//   0x30, u16le n at 1, IDs from byte 4 (byte 3 unused): n - 1 IDs, n in 2..65535
// The blob comes with its size: a blob too short for its length field or for
// its n - 1 IDs, or one whose n is below 2, gives the empty list and records
// 5351; any other first byte gives the empty list and records nothing.
#pragma once

#include <cstdint>

inline constexpr uint32_t kHxrCrctIdLength = 5351;

// Returned by value; {0, null} is the empty list.
struct HXRCrctIdList {
    int32_t idNum;
    const uint8_t* ids;
};

// A null blob gives the empty list without an error.
HXRCrctIdList HXRCreateCrctIdParser(const uint8_t* blob, uint32_t size);
// 1 when every ID is 0 or there are none, 0 otherwise, -1 for a null list.
int32_t HXRIsCrctIdAllZero(const HXRCrctIdList* list);
// ID `index` (0..255); -1 for a null list or an index outside 0..idNum - 1.
int32_t HXRGetCrctId(const HXRCrctIdList* list, int32_t index);
