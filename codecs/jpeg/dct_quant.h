// Forward DCT and quantisation of the JPEG encoder.
//
// Both transforms are the scaled AAN flow graph, written once: in single
// precision, its output scaling folded into per-coefficient multipliers so
// that quantising is one multiply per coefficient; and in integer arithmetic
// on 16-bit samples, quantised by integer divisors that carry the scaling.
#pragma once

#include <array>
#include <cstdint>

namespace ovcg::jpeg {

// The coder's tables before a quality is chosen (the example tables of the
// JPEG standard), natural order.
extern const int16_t kYQuantumT[64];
extern const int16_t kCQuantumT[64];

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

// AAN scale factors of 14-bit precision: round(16384 a[row] a[col]).
extern const std::array<int32_t, 64> kAanScales14;

// Integer divisor form of one quantisation table.
struct IntDivisors {
    // Per coefficient d = (q A + 1024) >> 11, A the 14-bit AAN scale: d
    // divides out the transform's scaling too.
    int16_t divisor[64];
    // For the quantiser, in single precision: 16 where the coefficient is
    // kept at 16 times precision, else 1; d / 2 + 1/2; 1 / d.
    float scale[64];
    float halfPlusHalf[64];
    float reciprocal[64];
};

// Derives the divisors of a table (dc16, ac16 as for ConvTableFloat).
void ConvTableInt(const int16_t* q, bool dc16, bool ac16, IntDivisors* out);

// Quantises 64 transform outputs (|v| < 2^16): c = v times the scale, then
// (c + d/2) / d, or (c - d/2) / d when v < 0, dividing toward zero; the quick
// variant divides c / d without the half divisor.
template <bool Quick>
void QuantiseInt(int* out, const int32_t* v, const IntDivisors& t);

// Integer transform of 64 level-shifted samples in -128..128 (natural order)
// and quantisation as above. The flow graph is the float one's, with the
// 10-bit constants 724, 392, 554 and 1338, each product rounded by +512 >> 10.
template <bool Quick>
void DctAndQtizInt(int* out, const int16_t* block, const IntDivisors& t);

using IntDct = void (*)(int* out, const int16_t* block, const IntDivisors& t);
inline constexpr IntDct DctAndQtiz_Chen = &DctAndQtizInt<false>;
inline constexpr IntDct DctAndQtiz_Chen_Quick = &DctAndQtizInt<true>;

// Whether the DC coefficient is kept at 16 times precision.
enum JPEG_DC_ACCURACY : uint32_t { JPEG_DC_NORMAL = 0, JPEG_DC_X16 = 1 };

// A third transform, unscaled: the true DCT coefficients, so it quantises
// with the plain table values rather than divisors carrying a scale. The
// 8-point pass is the transpose of the Chen-Wang inverse flow graph, its
// constants 4096 sqrt(2) cos(k pi / 16) for k = 1, 2, 3, 5, 6, 7 (5681,
// 5352, 4816, 3218, 2217, 1130) and 4096 / sqrt(2) (2896); each pass yields
// 2 sqrt(2) times the exact coefficients (every product by a constant
// rounded back by +2048 >> 12), so the two passes together give 8 F. Quantised
// coefficient: c = 8 F, times 16 for the DC with JPEG_DC_X16, then
// (c + 4q) / 8q, or (c - 4q) / 8q when negative, dividing toward zero.
// `block` holds 64 level-shifted samples in -128..128 (natural order) and
// receives the 64 quantised coefficients in natural order; `q` is a
// quantisation table in natural order (values 1..255). Nothing in the
// encoder calls it: its converters feed the AAN transforms above.
void DctAndQtiz_ESD2(int16_t* block, const int16_t* q, JPEG_DC_ACCURACY accuracy);

}  // namespace ovcg::jpeg
