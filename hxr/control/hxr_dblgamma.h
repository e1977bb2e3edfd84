// Double-gamma ink coding and the engine's fixed grids.
//
// Ink codes are 8-bit; an ink amount is linear from 0 to 65280 (255 x 256).
// A pair of double gammas (g0, g255, in percent) bends the code scale: the
// code x / 32 (x = 0..8160 in 1/32 code steps) decodes to
//   D(x)      = floor(floor((g0 - g255)(8160 - x) / 100)(8160 - x) / 8160)
//               + floor(g255 x 8160 / 100)
//   decode(x) = floor(65280 x / D(x)).
// D is computed in 64 bits (the 32-bit products wrap once g0 - g255 exceeds
// about 6450); wherever they did not wrap the result is the same. A pair with
// g255 = 0 (no denominator) or g0 < g255 (a negative first product) gives no
// table. With g255 below 100 a decoded amount may exceed 65535; the encoder
// and the mean then clamp their table index at 255 instead of reading past the
// 257 entries.
#pragma once

#include <cstdint>

inline constexpr uint32_t kHxrDbgDecSize = 256;
inline constexpr uint32_t kHxrDbgEncSize = 257;
// The code scale in 1/32 steps, and the full linear amount.
inline constexpr uint32_t kHxrDbgScale = 8160;
inline constexpr uint32_t kHxrDbgFullAmount = 65280;

// D(x) and decode(x) of the pair, for x = 0..8160 (64-bit, no table needed).
// Both are meaningful only for a pair HXRDbgPairValid accepts.
uint64_t HXRDbgDenominator(uint32_t g0, uint32_t g255, uint32_t x);
uint64_t HXRDbgDecode(uint32_t g0, uint32_t g255, uint32_t x);
bool HXRDbgPairValid(uint32_t g0, uint32_t g255);

// dec[j] = decode(32 j). 0; 1 for a null table or a pair without a table.
uint32_t HXRGetDbgDecTable(uint32_t* table, uint32_t g0, uint32_t g255);
// enc[0] = 0; enc[i] = the smallest x >= enc[i-1] whose decode reaches
// min(256 i, cap), cap = floor(532684800 / floor(g255 x 8160 / 100));
// enc[256] = enc[255]. 0; 1 for a null table, a pair without a table, or a
// target that no x up to 8160 reaches.
uint32_t HXRGetDbgEncTable(uint32_t* table, uint32_t g0, uint32_t g255);
// The 8-bit code of a linear amount: i = min(v >> 8, 255), f = v & 255,
// (enc[i] + ((enc[i+1] - enc[i]) f >> 8) + 16) >> 5.
uint32_t HXREncodeDoubleGamma(const uint32_t* encode, uint32_t value);
// The code of the mean of two decoded inks: t = ((dec1[c1] + dec0[c0]) << 7)
// + 64, i = min(t >> 16, 255), f = (t >> 8) & 255, then as the encoder.
// 0xFFFFFFFF when an argument is missing or a code is above 255.
uint32_t HXRGetMeanInkValueDecodeEncode(const uint32_t* codes, const uint32_t* const* decode,
                                        const uint32_t* encode);

// Node input levels of the engine's rebuilt grids.
extern const uint32_t Rebuild3DGridPos64[64];
extern const uint32_t Rebuild3DGridPos32[32];
extern const uint32_t Rebuild4DGridPos32[32];

// LUT types of the grids.
inline constexpr uint32_t kHxrLutType1D = 1;
inline constexpr uint32_t kHxrLutType3D = 3;
inline constexpr uint32_t kHxrLutType4D = 4;

// Writes the node levels of the grid of `count` nodes for the LUT type: type 3
// with 32 or 64 nodes, type 4 with 32, type 1 with 256 (0..255). 0; 1 for a
// null array or another combination.
uint32_t HXRGetRebuildGridPos(uint32_t* out, uint32_t count, uint32_t lutType);
// Input level to grid position in 1/256 node steps: with k the first node
// whose level p[k] >= v, pre[v] = 256 k at a node, else
// 256 k - floor(256 (p[k] - v) / (p[k] - p[k-1])). Types 3 (32, 64 nodes) and
// 4 (32 nodes). 0; 1 for a null array or another combination.
uint32_t HXRGetPreTable(uint32_t* out, uint32_t count, uint32_t lutType);
