// Colour (ink-set) manager: for the job's ink set, which inks are output and
// in which order, in which order the colour LUT delivers them, which channels
// the printer receives, which are halftoned, the dot levels of every output
// ink and the order in which the inks take dither offsets.
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrMaxInks = 12;
inline constexpr uint32_t kHxrNoValue = 0xFFFFFFFFu;
inline constexpr uint32_t kHxrClrMgrNone = 3301;
// Bit of a derived halftone channel; the low 8 bits name the ink it derives from.
inline constexpr uint32_t kHxrDerivedChannel = 0x100;

// Ink codes 0 to 15 (the letters of the printer formats).
enum HXRInkCode : uint32_t {
    kInkK = 0, kInkC = 1, kInkM = 2, kInkY = 3, kInkLc = 4, kInkLm = 5, kInkDY = 6, kInkLk = 7,
    kInkR = 8, kInkV = 9, kInkCl = 10, kInkLLk = 11, kInkMk = 12, kInkPk = 13, kInkOr = 14, kInkGr = 15,
};

// A row of the ink tables: {ink set, count, codes}. Tables end with a row
// whose key is 0xFFFFFFFF.
struct HXRInkRow {
    uint32_t ink_set;
    uint32_t count;
    uint32_t codes[kHxrMaxInks];
};
// A row of the dot-size table: {ink set, output bits, count, dot levels}.
struct HXRDotRow {
    uint32_t ink_set;
    uint32_t output_bits;
    uint32_t count;
    uint32_t levels[kHxrMaxInks];
};

const HXRInkRow* HXRGetBaseOutputTable(uint32_t inkSet);
const HXRInkRow* HXRGetLutTable(uint32_t inkSet);
const HXRInkRow* HXRGetSpecialOutputTable(uint32_t inkSet);
const HXRInkRow* HXRGetSpecialHalftoneTable(uint32_t inkSet);
const HXRDotRow* HXRGetSpecialDotTable(uint32_t inkSet, uint32_t outputBits);

struct HXRClrMgr;

// None when the ink set has no rows or its rows disagree with the output bits.
HXRClrMgr* HXRCreateClrMgr(uint32_t inkSet, uint32_t outputBits, uint32_t blackInkCode, HXRMemMgr* manager);
// 3301 when none, else the free result.
uint32_t HXRDeleteClrMgr(HXRClrMgr* clr, HXRMemMgr* manager);

// Every code or order answers 0xFFFFFFFF when absent or out of range.
uint32_t HXRGetOutputColorNum(const HXRClrMgr* clr);
uint32_t HXRGetOutputColorCode(const HXRClrMgr* clr, uint32_t index);
uint32_t HXRGetOutputColorOrder(const HXRClrMgr* clr, uint32_t code);
uint32_t HXRGetOutputDotNum(const HXRClrMgr* clr, uint32_t index);  // 0 out of range
uint32_t HXRGetOutputDthOffOrder(const HXRClrMgr* clr, uint32_t index);
uint32_t HXRGetOutputColorOrderByDthOff(const HXRClrMgr* clr, uint32_t order);

uint32_t HXRGetLutColorNum(const HXRClrMgr* clr);
uint32_t HXRGetLutColorCode(const HXRClrMgr* clr, uint32_t index);
uint32_t HXRGetLutColorOrder(const HXRClrMgr* clr, uint32_t code);

uint32_t HXRGetRealOutputColorNum(const HXRClrMgr* clr);
uint32_t HXRGetRealOutputColorCode(const HXRClrMgr* clr, uint32_t index);
uint32_t HXRGetRealOutputColorOrder(const HXRClrMgr* clr, uint32_t code);

uint32_t HXRGetHalftoneColorNum(const HXRClrMgr* clr);
uint32_t HXRGetHalftoneColorCode(const HXRClrMgr* clr, uint32_t index);
uint32_t HXRGetHalftoneColorOrder(const HXRClrMgr* clr, uint32_t code);  // full code compared
// 1: a halftone colour with bit 0x100; 0: one without; 0xFFFFFFFF: not a halftone colour.
uint32_t HXRIsV6UpperColor(const HXRClrMgr* clr, uint32_t code);
// The output index of the ink that halftone colour `index` derives from.
uint32_t HXRGetOutputColorOrderByHalftoneIndex(const HXRClrMgr* clr, uint32_t index);
