// SML data of a job: for every output colour the dot-size generation rates
// per gradation level (rates in 1/4080 of the pixels, a level's rates summing
// to at most 4080), with the colour's dot count and dot weights, read once
// from the print mode's SML resource. Also the monochrome-photo (TNMX) copy
// the binariser resamples through the tone table, and the per-colour row
// helpers the binariser and the data-set builders share.
//
// Ownership: every block comes from the instance's memory manager. An
// HXRSmlData owns the rate table of each of its entries; a row handed to a
// helper (HXRSmlColorData) owns nothing the helper frees.
//
// Results: the builders give the object or null; the helpers 0 for success
// and 1 for failure (a null argument among them). The builder's failures that
// have a code record it (HXRSetErrorInfo): 6751..6758 below; 6701 a delete of
// nothing.
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_ht_data.h"
#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_memory.h"
#include "hxr/control/hxr_sml.h"

#include <cstdint>

enum : uint32_t {
    kHxrSmlDataNone = 6701,
    kHxrSmlGradZero = 6751,         // the resource's gradation count is 0
    kHxrSmlGradDiffer = 6752,       // counts differ between colours or from the expected count
    kHxrSmlMaxNot4080 = 6753,       // the resource's maximum value is not 4080
    kHxrSmlDotCountBad = 6754,      // dot count 0 (the colour is not in the resource) or not the colour manager's
    kHxrSmlWeightsDecrease = 6755,  // the non-zero dot weights decrease
    kHxrSmlZeroWeightRate = 6756,   // a dot of weight 0 has a non-zero rate
    kHxrSmlDblGammaDiffer = 6758,   // a colour's double-gamma pair is not colour 0's
};

inline constexpr uint32_t kHxrSmlFullRate = 4080;
// Rows of the monochrome-photo copies: mode 1 (the job converts through the
// tone LUT) resamples into 512 rows, the direct modes expand to 65535.
inline constexpr uint32_t kHxrSmlTnmxLutRows = 512;
inline constexpr uint32_t kHxrSmlTnmxExpandRows = 65535;

// Twelve entries in output-colour order; entries past the output colour count
// are all zero. `room` is the number of rates each entry's table holds (at
// least gradationNum x dotSizeNum). Dot weights are the resource's tenths
// divided by 10 and may be negative (stored as their 32-bit pattern).
struct HXRSmlData {
    HXRSmlColorData entry[kHxrMaxInks];
    uint64_t room[kHxrMaxInks];
};

// Reads every output colour's entry from the SML resource. expectedG 0 takes
// the resource's count. Null on failure: a colour count outside 1..12, a code
// above, a missing or invalid rate, a level whose rates sum above 4080, colour
// 0 without a double-gamma pair (no code), or a failed allocation.
HXRSmlData* HXRCreateTRAQ2SmlData(const HXRSmlResParser* parser, uint32_t expectedG, const HXRClrMgr* colours,
                                  HXRMemMgr* manager);
// Frees every rate table and the block (SML data or a TNMX copy); 6701 for null.
uint32_t HXRDeleteTRAQ2SmlData(HXRSmlData* sml, HXRMemMgr* manager);
// dst (a block the caller owns) takes src's counts and weights and fresh
// zero-filled rate tables of the same sizes; the rates are not copied. On
// failure dst holds no table.
uint32_t HXRCopyTRAQ2SmlData(const HXRSmlData* src, HXRSmlData* dst, HXRMemMgr* manager);
// 0 when all twelve entries agree in G, D and the six dot weights, else 1.
uint32_t HXRCheckCoordinationTRAQ2Sml(const HXRSmlData* a, const HXRSmlData* b);

// Row helpers.
// A deep copy of entry `colour` (0..11): a new rate table of G x D values.
uint32_t HXRCopyTRAQ2SmlDataEveryColor(const HXRSmlData* sml, HXRSmlColorData* dst, uint32_t colour,
                                       HXRMemMgr* manager);
// D 4..6 becomes D = 3 in place: part 0 keeps dots 3..D-1 (padded with 0) and
// the weights of dots 0..2; part 1 keeps dots 0..2 and takes the weights of
// dots 3..5. The rest of the table is zeroed. D below 4: nothing. 1 for a
// missing table, D above 6 or a part above 1.
uint32_t HXRSplitTRAQ2SmlDataEveryColor(HXRSmlColorData* row, uint32_t part);
// Every level cumulative from the largest dot down (d += d + 1 for d = D-2..0).
uint32_t HXRAddRateTRAQ2SmlDataEveryColor(HXRSmlColorData* row);
// 0 when entries i and j have equal D, dot weights and G and equal first
// G x D rates; else 1 (also for an index above 11).
uint32_t HXRCheckSameTRAQ2SmlDataEveryColor(const HXRSmlData* sml, uint32_t i, uint32_t j);
// The same test between two rows.
uint32_t HXRCheckSameSmlRow(const HXRSmlColorData* a, const HXRSmlColorData* b);
// Copies the G x D rates when both rows have tables and agree in G, D and the
// dot weights; else 1.
uint32_t HXRCopyTRAQ2SmlDotRate(const HXRSmlColorData* src, HXRSmlColorData* dst);
// dst takes colour's D and dot weights (rates untouched).
uint32_t HXRResetTRAQ2SmlDot(const HXRSmlData* sml, HXRSmlColorData* dst, uint32_t colour);

// The monochrome-photo copy: per colour the SML data's D and dot weights;
// mode 1: the SML data's G and a zero-filled table of max(512, G) rows;
// other modes: G = 65535 and a table of 65535 rows.
HXRSmlData* HXRCreateTRAQ2SmlTNMXData(const HXRSmlData* sml, uint32_t mode, const HXRClrMgr* colours,
                                      HXRMemMgr* manager);
// Resamples a working row through the tone LUT into dst->entry[colour]: for
// level g of the row, x = lut->table[g x lutStride + lutChannel] gives row
// r = bits 8..15 and fraction t = bits 0..7; rate = rate[r] + (t x delta + 128)
// >> 8 (delta >= 0) or rate[r] + (t x delta - 128) / 256 truncated (delta < 0);
// r at or past the row's last level takes the last level. The entry takes the
// row's G, D and weights. 1 when the row has more levels than the LUT has
// entries, lutChannel is not below lutStride, lutStride exceeds the LUT's
// channels, or the entry's table is too small.
uint32_t HXRGetTRAQ2SmlTNMXMergeLut(const HXRSmlColorData* row, uint32_t colour, const HXRLutTNMXData* lut,
                                    uint32_t lutChannel, uint32_t lutStride, HXRSmlData* dst);
// Expands a working row of G = 2..256 levels into dst->entry[colour]'s
// 65535-row table: row 256k + t = rate[k] + (delta t +- 128) / 256 (truncated,
// + for delta >= 0) for k = 0..G-2 and t = 0..255, and every row from 256(G-1)
// on repeats row 256(G-1) - 1; G becomes 65535. 1 for G outside 2..256 or an
// entry table smaller than 65535 rows.
uint32_t HXRGetTRAQ2SmlTNMXExpand(const HXRSmlColorData* row, uint32_t colour, HXRSmlData* dst);
// Per colour of the TNMX copy: G 512 copies the SML data's 512 rows; G 256
// doubles the SML data's 256 rows into 512 (odd rows the floor mean of their
// neighbours, or a copy of the even row when their sum is one short of it;
// rows 510 and 511 the last level) and sets G = 512. Other G, or SML data of
// another G: 1.
uint32_t HXRTRAQ2SmlTNMXExpandDotRate(const HXRSmlData* sml, HXRSmlData* tnmx, const HXRClrMgr* colours,
                                      HXRMemMgr* manager);
// Swaps the rate tables of row and tnmx->entry[colour] when both hold G x D
// rates of equal G and D (the entry's room becomes G x D).
uint32_t HXRResetTRAQ2SmlTNMX(HXRSmlColorData* row, uint32_t colour, HXRSmlData* tnmx);
