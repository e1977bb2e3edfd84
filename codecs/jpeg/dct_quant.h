// Forward DCT and quantisation of the JPEG encoder.
//
// The transform is the scaled AAN flow graph in single precision; its output
// scaling is folded into per-coefficient multipliers, so quantising is one
// multiply per coefficient.
#pragma once

#include <cstdint>

namespace ovcg::jpeg {

// Quantisation tables in natural (row-major) order, by quality.
extern const int16_t kYQuantumT8[64];
extern const int16_t kCQuantumT8[64];
extern const int16_t kYQuantumT10[64];
extern const int16_t kCQuantumT10[64];
extern const int16_t kYQuantumT12[64];
extern const int16_t kCQuantumT12[64];
extern const int16_t kYQuantumT10_16[64];
extern const int16_t kCQuantumT10_16[64];

// Per-coefficient multiplier and half divisor of one quantisation table.
struct FloatDivisors {
    float mul[64];
    float half[64];
};

// Derives the multipliers of a table: f = s / (q * a[row] * a[col] * 8) with s
// 16 for the DC (dc16) or the AC (ac16) coefficients at 16 times precision;
// half = 0.5 / f.
void ConvTableFloat(const int16_t* q, bool dc16, bool ac16, FloatDivisors* out);

// Transforms 64 level-shifted samples (natural order; the block is
// overwritten) and stores the 64 quantised coefficients, rounded half away
// from zero, in natural order.
void DctAndQtiz_Chen_Float(int* out, float* block, const float* mul, const float* half);

}  // namespace ovcg::jpeg
