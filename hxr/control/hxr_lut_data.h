// The colour look-up-table objects a job start builds and the colour kernels
// read. The layouts are fixed because the kernels index them directly.
//
// Lane layout: a node of K channels takes ceil(K/4) u32 words; channel k is
// the byte at bit shift 0, 16, 8, 24 of word k / 4 for k mod 4 = 0, 1, 2, 3
// (so the kernels average two nodes two channels at a time under the mask
// 0x00FF00FF). Unused bytes are 0.
#pragma once

#include <cstdint>

// Bytes a user-supplied additional table holds, and the bytes.
struct HXRAdditionalLut {
    uint32_t size;
    uint8_t* data;
};

// One colour slice's table object (3D or 4D).
struct HXRLutData {
    // N^D nodes (N = 64 or 32 for 3D, 32 for 4D), each ceil(K/4) words in
    // lane layout; node (i0, i1, i2[, i3]) at ((i0 x N + i1) x N + i2)[x N + i3].
    uint32_t* grid;
    // Input level to grid position in 1/256 node steps: (pre[v] + t) >> 8
    // stays on the grid for every offset t in 0..255.
    uint32_t preTable[256];
    // Ink code to linear amount (double gamma).
    uint32_t decode[256];
    // Linear amount to ink code in 1/32 steps; entry 256 repeats entry 255.
    uint32_t encode[257];
    // Input level to position on the resource table's grid in 1/128 node steps.
    uint32_t srcGridIndex[256];
    // The adjusted resource table, each node widened to (K + 3) & ~3 bytes.
    uint8_t* paddedTable;
    // N nodes of 4 x ceil(K/4) bytes on the neutral axis in LUT order; null
    // without a gray table.
    uint8_t* grayAxis;
    // PatternD hold thresholds per LUT-order colour (0 = no hold).
    uint32_t patternUpper[12];
    // Set only by the RH package builder.
    HXRAdditionalLut* additional;
    // What the builder made, so a converter can refuse a table its kernels
    // cannot index: nodes per axis, dimension (3 or 4), channel count K.
    uint32_t gridNum;
    uint32_t dimension;
    uint32_t channels;
};

// Slice types.
inline constexpr uint32_t kLutSlice3D = 3;
inline constexpr uint32_t kLutSlice4D = 4;
inline constexpr uint32_t kLutSliceTNMX = 17;

struct HXRLutSlc {
    void* table;    // HXRLutData (types 3, 4) or HXRLutTNMXData (17)
    uint32_t type;
};

// The monochrome-photo table: G entries of K u32 channel values.
struct HXRLutTNMXData {
    uint32_t* table;
    uint32_t gridNum;
    uint32_t channels;
};

// The user colour table: 256 entries x ceil(K/4) u32 words in lane layout;
// entry i is the ink set of user colour i. A flat block, no header.
using HXRLutUserData = uint32_t;
