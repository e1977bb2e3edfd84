// The configuration resource (kind 4, identifier 991): which correction
// offsets a job's dot sizes take, by ink set, output bits and the print mode's
// ink-set and Micro names.
//
// Layout (little-endian, offsets from the resource start): "HL<c"; 8 u16
// version 2 or 3; 16, 20, 24 s32 offsets of name list A (ink-set names), name
// list B (Micro names) and the mode list. A name list: u8 count, entries
// {u8 length m, m characters, u8 number}. The mode list: u8 count, 8-byte
// entries {u8 ink set, u8 output bits, u8 list-A number, u8 list-B number
// (255: any), s32 correction block offset}. A correction block: u8 entry
// count T, u8 width W (1..4), T entries of W values of 1 byte (version 2) or
// 2 bytes (version 3); 255 or 65535 marks an empty place.
//
// The parser checks that the lists and every correction block the mode list
// names lie inside the resource (a block of a width outside 1..4 only by its
// two header bytes: the look-up refuses it), so a block handed out can be
// read without its size.
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrResKindCfg = 4;
inline constexpr uint32_t kHxrCfgResourceId = 991;
inline constexpr uint32_t kHxrCfgAny = 255;
inline constexpr uint32_t kHxrCfgMaxValues = 4;

enum : uint32_t {
    kHxrCfgNone = 4701,
    kHxrCfgBadMagic = 4751,
    kHxrCfgBadVersion = 4752,
    kHxrCfgDupNameA = 4753,
    kHxrCfgDupNameB = 4754,
    kHxrCfgDupMode = 4755,     // two mode entries with equal first four bytes
    kHxrCfgBadWidth = 4756,    // a block's width outside 1..4
    kHxrCfgBadEntry = 4757,    // the entry index reaches the block's count
    kHxrCfgBlockSize = 4758,   // a list or block runs past the resource
};

struct HXRCfgResParser;

HXRCfgResParser* HXRCreateCfgResParser(const uint8_t* resource, uint32_t size, HXRStrNCmpFn compare,
                                       HXRMemMgr* manager);
// 4701 when none, else the free result.
uint32_t HXRDeleteCfgResParser(HXRCfgResParser* parser, HXRMemMgr* manager);
// The value size: 1 (version 2) or 2 (version 3); 0xFFFFFFFF for none.
uint32_t HXRGetIdPosSize(const HXRCfgResParser* parser);
// A name's number is that of the first list entry whose m characters equal
// the name's first m (none: -1). The first mode entry with both keys whose
// list numbers are 255 or the names' numbers gives its correction block;
// null when none does.
const uint8_t* HXRSearchCorrectMode(const HXRCfgResParser* parser, uint32_t firstKey, uint32_t secondKey,
                                    const char* inkSetName, const char* microName, HXRStrNCmpFn compare);

struct HXRCorrectOffset {
    uint32_t count;
    uint32_t values[kHxrCfgMaxValues];
};
// The correction offsets of one dot of an ink: entry index = the dot counts
// of the inks before it in dither-offset order, plus `dot`; its W values
// without the empty marks. Empty for a missing argument, a value size other
// than 1 or 2 (pass HXRGetIdPosSize of the block's parser), an ink outside
// the ink set, a dot not below the ink's dot count or any dot count of 0;
// empty with 4756 for a width outside 1..4, with 4757 for an index not below
// the block's count.
HXRCorrectOffset HXRGetCorrectOffset(const uint8_t* block, uint32_t inkCode, uint32_t dot, uint32_t valueSize,
                                     const HXRClrMgr* colours);
