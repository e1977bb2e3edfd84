// Ink-weight correction of the SML data: re-targets a colour's dot-size rates
// to the printer's calibration.
//
// A colour's ink-weight table holds, per level g, the ink its rates put down:
//   w[g] = (sum_d (f[d] >> 8) weight[d] rate[g][d] + 128) >> 8
// with six 16.16 factors f (0x10000 = 1.0); with every factor 1.0 that is
// sum_d weight[d] rate[g][d]. The base table (all factors 1.0) must rise with
// the level; a corrected table (A: calibration or correction IDs, and the
// multi-duty factor; B: the per-nozzle BRS step) says how much ink a level
// should put down, and the corrected SML table of a level is the rates found
// where the base table reaches that amount. Sums are taken in 64-bit signed
// arithmetic (weights may be negative); a corrected entry saturates to
// 0..0xFFFFFFFF.
//
// Positions in a table of n entries are fixed point: with b the bit count of
// n - 1 (0 for n = 1) and s = 16 - b, position = index 2^s + fraction.
// Interpolation reads a table at a position (past the last entry it
// extrapolates with the end slope); GetSmlIndex is its inverse on a
// non-decreasing table: the first index i whose entry reaches the value,
// interpolated between entries i - 1 and i (rounded to nearest), 0 for a value
// not above entry 0, and past the last entry extrapolated with the end slope
// (the last position when that slope is not positive). The hint only says
// where the search starts; the answer does not depend on it.
//
// Results: the builder gives the object or null; every other call 0 for
// success and 1 for failure (a null argument among them). Codes recorded:
// 6851 a correction offset names an ID the printer identifier lacks, 6852 a
// base table that decreases, is negative or reaches 0x400000, 6857 more than
// 254 IDs with one-byte ID positions; 6801 a delete of nothing.
#pragma once

#include "hxr/control/hxr_cfg.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_rate.h"
#include "hxr/control/hxr_sml_data.h"

#include <cstdint>

enum : uint32_t {
    kHxrSmlCorrectNone = 6801,
    kHxrSmlCorrectIdMissing = 6851,
    kHxrSmlCorrectBaseTable = 6852,
    kHxrSmlCorrectTooManyIds = 6857,
};

// Table selectors.
inline constexpr uint32_t kHxrSmlTableA = 2;
inline constexpr uint32_t kHxrSmlTableB = 3;
inline constexpr uint32_t kHxrSmlFactorOne = 0x10000;
inline constexpr uint32_t kHxrSmlBaseLimit = 0x400000;
inline constexpr uint32_t kHxrMdfMax = 4096;  // multi-duty word: 1024 = 100 %

// A caller's blob and its size.
struct HXRBlobRef {
    const uint8_t* data;
    uint32_t size;
};

struct HXRSmlCorrectData {
    // Per output colour three tables of G entries, carved from one block of
    // 3 x 12 x G u32.
    uint32_t* base[kHxrMaxInks];
    uint32_t* tableA[kHxrMaxInks];
    uint32_t* tableB[kHxrMaxInks];
    uint32_t source[kHxrMaxInks];  // 2 table A, 3 table B; 0 past the colour count
    uint32_t target[kHxrMaxInks];
    uint32_t gradationNum;
    const HXRSmlData* sml;
    const HXRClrMgr* colours;
    uint32_t* block;
};

uint32_t Interpolation(const uint32_t* table, uint32_t n, uint32_t x);
uint32_t GetSmlIndex(const uint32_t* table, uint32_t n, uint32_t value, uint32_t hint);
// Eight times the per-entry slope at the end of the table:
// (6 (v - t[k-4]) + (v - t[k-8]) + 32 (v - t[k-2])) / 12, where k is the
// first entry of the flat tail (v = t[k]) and an index below 0 reads entry 0.
int64_t GetSlope(const uint32_t* table, uint32_t n);
// The fixed-point shift s of a table of n entries.
uint32_t HXRSmlPositionShift(uint32_t n);
// One entry of an ink-weight table, unsaturated.
int64_t HXRInkWeight(const HXRSmlColorData* entry, const uint32_t* factors, uint32_t level);
// G entries, each saturated to 0..0xFFFFFFFF; factors null means all 1.0.
void MakeInkWeightTable(uint32_t* out, const HXRSmlColorData* entry, const uint32_t* factors);

// Builds the base table and table A of every output colour: with a
// calibration blob, A re-reads the base table at the calibration's positions
// (G 256 or 512; a colour's table is the blob's table whose identifier is the
// colour code); else with a printer identifier, a configuration parser and a
// rate parser, A takes the correction factors of the correction mode found for
// (colourFlag, outBits, inkSetName, microName). Without either A is the base
// table. Null on failure, with 6851, 6852 or 6857 where they apply (a blob
// that does not parse records its parser's code).
HXRSmlCorrectData* HXRCreateTRAQ2SmlCorrectData(const HXRSmlData* sml, HXRBlobRef calibTable, HXRBlobRef printerId,
                                                const HXRCfgResParser* cfgRateParser, const char* microName,
                                                const char* inkSetName, uint32_t colourFlag, uint32_t outBits,
                                                HXRStrNCmpFn compare, const HXRRateResParser* rateParser,
                                                const HXRClrMgr* colours, HXRMemMgr* manager);
uint32_t HXRDeleteTRAQ2SmlCorrectData(HXRSmlCorrectData* corr, HXRMemMgr* manager);

// Multi-duty factor, per output colour k with word r = rates[k] (at most
// 4096, else nothing changes and the result is 1):
// dst[g] = ((src[g] (r & 255) >> 8) + src[g] (r >> 8) + 2) >> 2; the source
// selector then becomes the target.
uint32_t HXRControlInkWeightTRAQ2SmlByRate(HXRSmlCorrectData* corr, const uint32_t* rates);
// BRS: dst[g] = Interpolation(base, G, Interpolation(brs, 256, p)), p the
// position of src[g] in the base table; the source becomes the target.
uint32_t HXRControlInkWeightTRAQ2SmlByIndex(HXRSmlCorrectData* corr, const uint32_t* brsTable, uint32_t colourCode);
// The BRS step, accepted only while the colour reads table A into table B.
uint32_t HXRSetBrsExcutedInkWeight(HXRSmlCorrectData* corr, const uint32_t* brsTable, uint32_t colourCode);
// Every used colour reads table A and writes table B again.
uint32_t HXRPrepareFinalWeightTable(HXRSmlCorrectData* corr);
// out[j] = the base-table position of w[j G / 256] (w the colour's current
// table), at most (G - 1) 2^s.
uint32_t HXRGetSmlIndexTable(uint32_t* out, const HXRSmlCorrectData* corr, uint32_t colourCode);
// The colour's corrected SML table, G x D rates: for level g with p the
// base-table position of w[g], i = p >> s, f its fraction,
// out[g][d] = (rate[i+1][d] f + rate[i][d] (2^s - f) + 2^(s-1)) >> s, and
// the last level's rates once i reaches G - 1.
uint32_t HXRGetSmlTable(uint32_t* out, const HXRSmlCorrectData* corr, uint32_t colourCode);

// 0 for a null block or when each of the first (output colour count) words
// is at most 4096; 1 otherwise or for a colour count outside 1..12.
uint32_t HXRCheckMDFParam(const uint32_t* words, const HXRClrMgr* colours);
uint32_t HXR8CheckTRAQ2SmlMDFParam(const uint32_t* words, const HXRClrMgr* colours);
