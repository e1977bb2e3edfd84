// The band-path resource (STR): kind 768, fetched through the second
// resource context of the callback table, copied into a record of its own and
// released at once.
//
// Layout (little-endian, byte-packed): u16 version (1), three bytes kept,
// u32 lines per band N (not 0), i8 run-length flag (0 raw only; its sign
// chooses the coder), u16 ink count n, n ink codes, n command colour codes
// (the colour byte of the raster command for the ink code at the same index).
//
// Errors (codes.h): 701 record or arrays, 703 a version other than 1, N of 0,
// an ink count above 32767 or arrays running past the resource's end, 704
// resource absent, 705 an ink code the resource does not list.
#pragma once

#include "common/byte_cursor.h"
#include "headcontrol/callbacks.h"

#include <cstdint>

namespace ovcg::irac {

inline constexpr int kBandResourceKind = 768;

struct StrRecord {
    uint16_t version;
    uint8_t kept[3];      // nothing reads them
    uint32_t lineNum;     // lines per band
    int8_t runLength;     // 0: raw only; the sign chooses the coder
    int16_t inkNum;
    uint8_t* inkCodes;    // inkNum
    uint8_t* colorCodes;  // inkNum
};

struct StrObject {
    const CallbackTable* cb;
    StrRecord* record;
};

// Fetches and parses kind 768. On failure nothing is left allocated and
// *out is null.
uint32_t STR_Constructor(StrObject** out, const CallbackTable* cb);
// Parses a resource image (the fetched bytes) into a new object.
uint32_t STR_Parse(StrObject** out, ByteCursor c, const CallbackTable* cb);
void STR_Destructor(StrObject* object, const CallbackTable* cb);

uint32_t STR_GetLineNum(const StrObject* object);
int8_t STR_GetRle(const StrObject* object);
void STR_GetHXRInkInfo(const StrObject* object, int16_t* count, const uint8_t** inkCodes,
                       const uint8_t** colorCodes);
// 0 when the code is one of the ink codes; 705 otherwise or without inks.
uint32_t STR_CheckHXRInkCodeExist(const StrObject* object, uint8_t code);

}  // namespace ovcg::irac
