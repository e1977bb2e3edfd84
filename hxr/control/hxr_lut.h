// The LUT resource (kind 1): a tagged container of colour tables.
//
// Layout (little-endian, offsets from the resource start): "OV"; at 16 the
// version as four decimal digits (5100); at 20 the tag count N; from 24 N
// entries {4-character tag, u32 block offset}. Ten tags are known: "clut"
// (3D or 4D colour LUT), "mlut" (mono LUT), "egry" (16-bit gray LUT), "cdbg",
// "mdbg" (colour and mono double gammas), "gama", "encd" (recognised, not
// read), "tnmx" (monochrome-photo LUT) with "inkd" (ink duties) and "ctcn"
// (colour-control parameters), the last two read only beside "tnmx". An entry
// counts only when its block starts with the same tag; a later entry of a tag
// wins. Every block is optional; an absent section answers 0xFFFFFFFF.
//
// The parser checks every count, offset and table extent against the
// resource's size (products in 64 bits) and keeps pointers into the resource,
// which must outlive it. Failures return none and record a code (some
// monochrome-photo checks record none); the read controller turns every one
// into 4115.
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrResKindLut = 1;
inline constexpr uint32_t kHxrLutVersion = 5100;
// The ink code whose "inkd" value is the monochrome-photo total ink duty.
inline constexpr uint32_t kHxrInkdTotalCode = 20;
// Ink codes past the valid ones.
inline constexpr uint8_t kHxrLutNoInk = 255;
// The only grid count of a monochrome-photo table: its readers take rows by
// level 0..255.
inline constexpr uint32_t kHxrTnmxGridNum = 256;
// "ctcn": tone-index values per record, rate values per record, the bound of
// each range.
inline constexpr uint32_t kHxrCtcnToneCount = 4;
inline constexpr uint32_t kHxrCtcnRateCount = 6;
inline constexpr int32_t kHxrCtcnRange = 75;

enum : uint32_t {
    kHxrLutNone = 4401,
    kHxrLutBadHead = 4451,        // no "OV", or the head and tag table do not fit
    kHxrLutBadVersion = 4452,
    kHxrLutGammaMismatch = 4453,  // the gray LUT's gamma differs from "gama"
    kHxrLutColorDimension = 4454,
    kHxrLutGridCounts = 4455,     // the colour axes differ in grid count
    kHxrLutGridLists = 4456,      // the colour axes differ in grid positions
    kHxrLutColorGridPos = 4457,
    kHxrLutMonoGridPos = 4458,
    kHxrLutSelector = 4459,       // gray maximum selector, or monochrome-photo dimension
    kHxrLutGrayGridPos = 4460,
    kHxrLutBlockSize = 4461,      // a block or its table runs past the resource
};

struct HXRLutResParser;

HXRLutResParser* HXRCreateLutResParser(const uint8_t* resource, uint32_t size, HXRStrNCmpFn compare,
                                       HXRAtoIFn toInteger, HXRMemCmpFn memCompare, HXRMemMgr* manager);
// 4401 when none, else the free result.
uint32_t HXRDeleteLutResParser(HXRLutResParser* parser, HXRMemMgr* manager);

// Grid positions are valid when the first is 0, the last 255, and none is
// below the one before it (so at least two).
bool CheckGridPos(const uint8_t* positions, uint32_t count);

// Colour LUT. Each 0xFFFFFFFF without a parser or the block, or out of range.
uint32_t HXRGetLutColorDimension(const HXRLutResParser* p);
uint32_t HXRGetLutColorUnitSize(const HXRLutResParser* p);
uint32_t HXRGetLutColorOutputType(const HXRLutResParser* p);
uint32_t HXRGetLutColorGridNum(const HXRLutResParser* p);
uint32_t HXRGetLutColorInkCode(const HXRLutResParser* p, uint32_t i);  // i < unit size
uint32_t HXRGetLutColorInkNum(const HXRLutResParser* p);               // codes before the first 255
uint32_t HXRGetLutColorGridPos(const HXRLutResParser* p, uint32_t i);  // i < grid count
// Look-up modes: 0 every ink, 1 every ink but `ink` (written 0), 2 only
// `ink` (the others written 0).
inline constexpr uint32_t kHxrLutModeAll = 0;
inline constexpr uint32_t kHxrLutModeAllBut = 1;
inline constexpr uint32_t kHxrLutModeOnly = 2;
// Writes the node's first ink-count bytes. 0; 0xFFFFFFFF for another
// dimension, an index outside the grid or another mode.
uint32_t HXRGetLutColor3dLut(const HXRLutResParser* p, uint32_t i, uint32_t j, uint32_t k, uint32_t mode,
                             uint32_t ink, uint8_t* out);
uint32_t HXRGetLutColor4dLut(const HXRLutResParser* p, uint32_t i, uint32_t j, uint32_t k, uint32_t l,
                             uint32_t mode, uint32_t ink, uint8_t* out);

// Mono LUT: one ink of code 0.
uint32_t HXRGetLutMonoDimension(const HXRLutResParser* p);
uint32_t HXRGetLutMonoUnitSize(const HXRLutResParser* p);
uint32_t HXRGetLutMonoOutputType(const HXRLutResParser* p);
uint32_t HXRGetLutMonoGridNum(const HXRLutResParser* p);
uint32_t HXRGetLutMonoInkCode(const HXRLutResParser* p, uint32_t i);  // 0 below the unit size
uint32_t HXRGetLutMonoInkNum(const HXRLutResParser* p);               // 1 with a unit size of 1 or more
uint32_t HXRGetLutMonoGridPos(const HXRLutResParser* p, uint32_t i);
// The level's unit-size bytes. 0, or 0xFFFFFFFF.
uint32_t HXRGetLutMonoLut(const HXRLutResParser* p, uint32_t level, uint8_t* out);

// 16-bit gray LUT.
uint32_t HXRGetLut16GrayDimension(const HXRLutResParser* p);
uint32_t HXRGetLut16GrayUnitSize(const HXRLutResParser* p);
uint32_t HXRGetLut16GrayOutputType(const HXRLutResParser* p);
uint32_t HXRGetLut16GrayGridNum(const HXRLutResParser* p);
uint32_t HXRGetLut16GrayGamma(const HXRLutResParser* p);
uint32_t HXRGetLut16GrayMaxValue(const HXRLutResParser* p);  // 4080, 4095, 255 or 65280
uint32_t HXRGetLut16GrayInkCode(const HXRLutResParser* p, uint32_t i);
uint32_t HXRGetLut16GrayInkNum(const HXRLutResParser* p);
uint32_t HXRGetLut16GrayGridPos(const HXRLutResParser* p, uint32_t i);
// The level's ink-count values, sign-extended, with the modes of the colour
// look-up. 0, or 0xFFFFFFFF.
uint32_t HXRGetLut16GrayLut(const HXRLutResParser* p, uint32_t level, uint32_t mode, uint32_t ink, uint32_t* out);

// Double gammas and gamma (sign-extended).
uint32_t HXRGetLutColorDblGamma0(const HXRLutResParser* p);
uint32_t HXRGetLutColorDblGamma255(const HXRLutResParser* p);
uint32_t HXRGetLutMonoDblGamma0(const HXRLutResParser* p);
uint32_t HXRGetLutMonoDblGamma255(const HXRLutResParser* p);
uint32_t HXRGetLutGamma(const HXRLutResParser* p);

// Monochrome-photo LUT. Byte 6 of its block is its output type, as in the
// other three tables.
uint32_t HXRGetLutTNMXGamma(const HXRLutResParser* p);
uint32_t HXRGetLutTNMXDimension(const HXRLutResParser* p);
uint32_t HXRGetLutTNMXUnitSize(const HXRLutResParser* p);
uint32_t HXRGetLutTNMXOutputType(const HXRLutResParser* p);
uint32_t HXRGetLutTNMXGridNum(const HXRLutResParser* p);
uint32_t HXRGetLutTNMXInkCode(const HXRLutResParser* p, uint32_t i);
uint32_t HXRGetLutTNMXGridPos(const HXRLutResParser* p, uint32_t i);
uint32_t HXRGetLutTNMXInkNum(const HXRLutResParser* p);
// Each 0xFFFFFFFF unless positive.
uint32_t HXRGetLutTNMXTotalInkDuty(const HXRLutResParser* p);
uint32_t HXRGetLutTNMXMaxValue(const HXRLutResParser* p);
uint32_t HXRGetLutTNMXCtcnNum(const HXRLutResParser* p);
// The increase-and-decrease-rate mode; 0xFFFFFFFF when negative or absent.
uint32_t HXRGetLutTNMXCtcnIncAndDecRate(const HXRLutResParser* p);
// The level's unit-size u16 values. 0, or 0xFFFFFFFF.
uint32_t HXRGetLutTNMXLut(const HXRLutResParser* p, uint32_t level, uint32_t* out);
// The colour-control parameters of the three tone axes. With two TNMX ink
// codes of 4 or 5 the first two axes come from entry types 4 and 5, with none
// from types 1 and 2; the third always from type 3. tone[a] = the set's values
// 3, 1, 4, 2 (1-based), then the range's lower and upper bound; rate[a] = the
// set's values 5, 3, 6, 4, 2, 1. 0; 0xFFFFFFFF without "ctcn", with another
// count of codes 4 and 5, or when a type the axes need was not given.
uint32_t HXRGetLutTNMXColorControlParam(const HXRLutResParser* p, uint32_t tone[3][6], uint32_t rate[3][6]);

// The user colour table of the option record: byte 0 colour count c (1..12),
// bytes 2-3 s16 entry count m (1..256), from byte 4 m entries of c bytes.
struct HXRUserLutParser {
    uint32_t colorNum;
    uint32_t entryNum;
    const uint8_t* entries;  // null: none
};
inline constexpr uint32_t kHxrUserLutEntryCount = 5451;
// None (entries null) for a colour count of 0 or above 12, for entries that
// do not fit `size`, and, recording 5451, for an entry count outside 1..256.
HXRUserLutParser HXRCreateUserLutParser(const uint8_t* table, uint32_t size);
// Writes entry `index`'s c bytes as u32; c, or 0 for a bad index.
uint32_t HXRGetUserLutData(const HXRUserLutParser* parser, uint32_t index, uint32_t* out);
