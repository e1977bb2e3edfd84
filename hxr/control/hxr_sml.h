// The SML resource (kind 2): the dot-size generation rates of every ink.
//
// Layout (little-endian; every offset counts from the resource start):
// bytes 4-7 the magic FB 69 F7 DC, 8 s32 version 5, 12 s32 directory offset,
// 16 u16 gradation count G. The directory: u8 table count, then tables
// {u8 kind 0..5, u8 entry count n, u8 entry size s, n entries of s bytes}.
// Kind 0 lists the inks {u8 code, s32 ink header}; kinds 1, 2 and 3 list
// s32 offsets of dot informations, double-gamma pairs and dot-size sets;
// kinds 4 and 5 are skipped. An ink header is {u8 kind-3 index, u8 255}; a
// dot-size set {.., .., u8 kind-1 index, u8 dot count, u8 kind-2 index, ..,
// rates}, the rate of dot d at level v being the u16 at (G d + v) x stride; a
// dot information {u8 stride, u16 maximum, u8 dot count (<= 6), 6-byte
// records beginning with the s16 dot weight in tenths}; a double-gamma pair
// {.., u16 g0, u16 g255}.
//
// Every table, entry and block is checked against the resource's size; an
// entry too short for its fields does not fit. The parser keeps pointers into
// the resource, which must outlive it.
#pragma once

#include "hxr/control/hxr_ht_data.h"  // kHxrSmlMaxDots
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrResKindSml = 2;
inline constexpr uint32_t kHxrSmlVersion = 5;
inline constexpr uint8_t kHxrSmlMagic[4] = {0xFB, 0x69, 0xF7, 0xDC};

enum : uint32_t {
    kHxrSmlNone = 4501,
    kHxrSmlBadMagic = 4551,
    kHxrSmlBadVersion = 4552,
    kHxrSmlBadMarker = 4553,     // an ink header's second byte is not 255
    kHxrSmlDotCount = 4554,      // dot counts differ, or above 6
    kHxrSmlSetIndex = 4555,      // kind-3 index out of range
    kHxrSmlDotInfoIndex = 4556,  // kind-1 index out of range
    kHxrSmlDblGammaIndex = 4557, // kind-2 index out of range
    kHxrSmlBlockSize = 4558,     // a table, entry or block does not fit the resource
};

struct HXRSmlResParser;

// None on failure, with the code recorded; a directory without tables or
// without an ink table, a table kind above 5, an ink count outside 1..12 and
// an ink header offset of 0 record none.
HXRSmlResParser* HXRCreateSmlResParser(const uint8_t* resource, uint32_t size, HXRStrNCmpFn compare,
                                       HXRMemMgr* manager);
// 4501 when none, else the free result.
uint32_t HXRDeleteSmlResParser(HXRSmlResParser* parser, HXRMemMgr* manager);

// Look-ups by ink code; the first ink with the code answers.
uint32_t HXRGetSmlGradNum(const HXRSmlResParser* p, uint32_t ink);    // 0xFFFFFFFF when absent
uint32_t HXRGetSmlMaxValue(const HXRSmlResParser* p, uint32_t ink);   // 0xFFFFFFFF when absent
uint32_t HXRGetSmlDotNum(const HXRSmlResParser* p, uint32_t ink);     // 0 when absent
// The s16 weight divided by 10, truncated toward zero (sign-extended); 0 when
// absent or the dot is out of range.
uint32_t HXRGetSmlDotWeight(const HXRSmlResParser* p, uint32_t ink, uint32_t dot);
// The u16 rate; 0xFFFFFFFF when absent, the dot outside the dot count or the
// level outside G.
uint32_t HXRGetSmlGenerateRate(const HXRSmlResParser* p, uint32_t ink, uint32_t dot, uint32_t level);
uint32_t HXRGetSmlDoubleGamma0(const HXRSmlResParser* p, uint32_t ink);    // 0xFFFFFFFF when absent
uint32_t HXRGetSmlDoubleGamma255(const HXRSmlResParser* p, uint32_t ink);  // 0xFFFFFFFF when absent
