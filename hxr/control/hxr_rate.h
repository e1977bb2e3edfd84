// Correction data of the dot-size tables: the rate resource (kind 3) of a
// print mode and the calibration blob a caller hands in.
//
// Rate resource (little-endian): bytes 0-7 the magic A9 81 55 27 40 AA 35 4A,
// 8 u16 version 1, 16 s16 (kept, unused), 18 u8 entry count n, 19 u8 offsets
// per entry k, 20 u8 that must be 1; from 32 n entries {s16 ink code, k s16
// offsets from the resource start}. A non-zero offset leads to a two-point
// line {s16 x0, y0, x1, y1}. The parser checks that the entries and every
// line they name lie inside the resource, so a look-up can trust them.
//
// Calibration blob: 0 s32 total length L, 8 u16 400, 16 s32 levels 256,
// 20 s32 12, 24 s32 table count n (1..12), from 32 n index entries {s32
// offset, s32 identifier}; L >= 128 + 512 n. A table is 256 s16 values and
// must lie between the 128-byte header and L.
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrResKindRate = 3;
inline constexpr uint8_t kHxrRateMagic[8] = {0xA9, 0x81, 0x55, 0x27, 0x40, 0xAA, 0x35, 0x4A};
inline constexpr uint32_t kHxrRateVersion = 1;

enum : uint32_t {
    kHxrRateNone = 4601,
    kHxrRateIndex = 4654,      // offset index outside 0..k-1
    kHxrRateFlatLine = 4655,   // x0 = x1
    kHxrRateBlockSize = 4656,  // entries or a line run past the resource
};

struct HXRRateResParser;

// None on failure: a bad magic, version or byte 20 records no code; entries
// or lines past the resource record 4656.
HXRRateResParser* HXRCreateRateResParser(const uint8_t* resource, uint32_t size, HXRStrNCmpFn compare,
                                         HXRMemMgr* manager);
// 4601 when none, else the free result.
uint32_t HXRDeleteRateResParser(HXRRateResParser* parser, HXRMemMgr* manager);
// The line `index` of the first entry of the ink at `level`:
// ((y1 (level - x0) + y0 (x1 - level)) 256) / (x1 - x0) + 32768, computed in
// 64 bits, truncating, and saturated to 0..0x7FFFFFFF (a factor is never
// negative). 0xFFFFFFFF for a missing ink or line or a level above 255;
// with 4654 for an index outside 0..k-1, with 4655 for x0 = x1.
uint32_t HXRGetCorrectValue(const HXRRateResParser* parser, uint32_t ink, uint32_t index, uint32_t level);
// The line's four values, sign-extended. 0, or 1 when it is missing.
uint32_t HXRGetRateData2Point(const HXRRateResParser* parser, uint32_t* out, uint32_t ink, uint32_t index);

inline constexpr uint32_t kHxrCalibHeader = 128;
inline constexpr uint32_t kHxrCalibTableSize = 512;
inline constexpr uint32_t kHxrCalibLevels = 256;
inline constexpr uint32_t kHxrCalibMaxTables = 12;

enum : uint32_t {
    kHxrCalibBadMark = 5251,    // u16 at 8 not 400
    kHxrCalibBadLevels = 5252,  // s32 at 16 not 256
    kHxrCalibBadWord = 5253,    // s32 at 20 not 12
    kHxrCalibBadCount = 5254,   // table count outside 1..12
    kHxrCalibBadLength = 5255,  // L below 128 + 512 n, or above the blob's size
};

struct HXRClbTblParser {
    const uint8_t* blob;  // null: none
    uint32_t length;      // L
    uint32_t count;
};
// Checks, in order, 400, 256, 12, the count and the length (a field the blob
// is too short for fails its own check); each failure records its code.
HXRClbTblParser HXRCreateClbTblParser(const uint8_t* blob, uint32_t size);
// The first table with the identifier, or null; null too when its offset lies
// inside the header or its 512 bytes run past L.
const uint8_t* HXRSearchCalibTable(const HXRClbTblParser* parser, uint32_t identifier);
// The level's s16 sign-extended and shifted left by 4; 0xFFFFFFFF for no
// table or a level above 255.
uint32_t HXRGetCalibData(const uint8_t* table, uint32_t level);
