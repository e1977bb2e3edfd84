#include "codecs/jpeg/dct_quant.h"

#include <cstring>

namespace ovcg::jpeg {

const int16_t kYQuantumT8[64] = {
    2, 2, 2, 2, 3,  4,  5,  6,  2, 2, 2, 2, 3,  4,  5,  6,  2, 2, 2, 2, 4,  5,  7,  9,
    2, 2, 2, 4, 5,  7,  9,  12, 3, 3, 4, 5, 8,  10, 12, 12, 4, 4, 5, 7, 10, 12, 12, 12,
    5, 5, 7, 9, 12, 12, 12, 12, 6, 6, 9, 12, 12, 12, 12, 12};
const int16_t kCQuantumT8[64] = {
    3,  3,  5,  9,  13, 15, 15, 15, 3,  4,  6,  10, 14, 12, 12, 12, 5,  6,  9,  14, 12, 12,
    12, 12, 9,  10, 14, 12, 12, 12, 12, 12, 13, 14, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12,
    12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12};
const int16_t kYQuantumT10[64] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 2, 2,
    1, 1, 1, 1, 1, 2, 2, 3, 1, 1, 1, 1, 2, 2, 3, 3, 1, 1, 1, 2, 2, 3, 3, 3, 1, 1, 2, 2, 3, 3, 3, 3};
const int16_t kCQuantumT10[64] = {
    1, 1, 1, 1, 2, 3, 3, 3, 1, 1, 1, 2, 3, 3, 3, 3, 1, 1, 1, 3, 3, 3, 3, 3, 1, 2, 3, 3, 3, 3, 3, 3,
    2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
const int16_t kYQuantumT12[64] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 2, 2,
    1, 1, 1, 1, 1, 2, 2, 3, 1, 1, 1, 1, 2, 2, 3, 3, 1, 1, 1, 2, 2, 3, 3, 3, 1, 1, 2, 2, 3, 3, 3, 3};
const int16_t kCQuantumT12[64] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 2, 2,
    1, 1, 1, 1, 1, 2, 2, 3, 1, 1, 1, 1, 2, 2, 3, 3, 1, 1, 1, 2, 2, 3, 3, 3, 1, 1, 2, 2, 3, 3, 3, 3};
const int16_t kYQuantumT10_16[64] = {
    1, 1, 1, 1, 1, 2, 3, 3, 1, 1, 1, 1, 1, 3, 3, 3, 1, 1, 1, 1, 2, 3, 4, 3, 1, 1, 1, 1, 3, 5, 5, 3,
    1, 1, 2, 3, 4, 6, 6, 4, 1, 2, 3, 4, 5, 6, 7, 5, 3, 4, 4, 5, 6, 7, 7, 6, 4, 5, 5, 6, 7, 6, 6, 6};
const int16_t kCQuantumT10_16[64] = {
    1, 1, 1, 2, 6, 6, 6, 6, 1, 1, 1, 4, 6, 6, 6, 6, 1, 1, 3, 6, 6, 6, 6, 6, 2, 4, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6};

namespace {
// AAN output scale factors: a[0] = 1, a[k] = cos(k * pi / 16) * sqrt(2).
constexpr double kAanScale[8] = {1.0,         1.387039845, 1.306562965, 1.175875602,
                                 1.0,         0.785694958, 0.541196100, 0.275899379};

// Four single-precision lanes; every lane gets exactly the scalar operations.
typedef float V4 __attribute__((vector_size(16)));

inline V4 Load(const float* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, V4 v) { std::memcpy(p, &v, sizeof v); }

// One 8-point pass of the scaled AAN forward DCT down every column of `b`,
// four columns side by side.
inline void AanColumns(float* b) {
    const V4 k0707 = {0.707106781f, 0.707106781f, 0.707106781f, 0.707106781f};
    const V4 k0382 = {0.382683433f, 0.382683433f, 0.382683433f, 0.382683433f};
    const V4 k0541 = {0.541196100f, 0.541196100f, 0.541196100f, 0.541196100f};
    const V4 k1306 = {1.306562965f, 1.306562965f, 1.306562965f, 1.306562965f};
    for (int c = 0; c < 8; c += 4) {
        const V4 d0 = Load(b + c), d1 = Load(b + 8 + c), d2 = Load(b + 16 + c), d3 = Load(b + 24 + c);
        const V4 d4 = Load(b + 32 + c), d5 = Load(b + 40 + c), d6 = Load(b + 48 + c), d7 = Load(b + 56 + c);
        const V4 tmp0 = d0 + d7, tmp7 = d0 - d7;
        const V4 tmp1 = d1 + d6, tmp6 = d1 - d6;
        const V4 tmp2 = d2 + d5, tmp5 = d2 - d5;
        const V4 tmp3 = d3 + d4, tmp4 = d3 - d4;

        // Even part.
        const V4 tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
        const V4 tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
        Store(b + c, tmp10 + tmp11);
        Store(b + 32 + c, tmp10 - tmp11);
        const V4 z1 = (tmp12 + tmp13) * k0707;
        Store(b + 16 + c, tmp13 + z1);
        Store(b + 48 + c, tmp13 - z1);

        // Odd part.
        const V4 o10 = tmp4 + tmp5, o11 = tmp5 + tmp6, o12 = tmp6 + tmp7;
        const V4 z5 = (o10 - o12) * k0382;
        const V4 z2 = k0541 * o10 + z5;
        const V4 z4 = k1306 * o12 + z5;
        const V4 z3 = o11 * k0707;
        const V4 z11 = tmp7 + z3, z13 = tmp7 - z3;
        Store(b + 40 + c, z13 + z2);
        Store(b + 24 + c, z13 - z2);
        Store(b + 8 + c, z11 + z4);
        Store(b + 56 + c, z11 - z4);
    }
}

inline void Transpose(const float* in, float* out) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) out[c * 8 + r] = in[r * 8 + c];
}
}  // namespace

void ConvTableFloat(const int16_t* q, bool dc16, bool ac16, FloatDivisors* out) {
    for (int k = 0; k < 64; ++k) {
        const double s = (k == 0 ? dc16 : ac16) ? 16.0 : 1.0;
        const double f = s / (static_cast<double>(q[k]) * kAanScale[k >> 3] * kAanScale[k & 7] * 8.0);
        out->mul[k] = static_cast<float>(f);
        out->half[k] = static_cast<float>(0.5 / f);
    }
}

void DctAndQtiz_Chen_Float(int* out, float* block, const float* mul, const float* half) {
    // Rows first (as columns of the transposed block), then columns.
    alignas(32) float t[64];
    Transpose(block, t);
    AanColumns(t);
    Transpose(t, block);
    AanColumns(block);
    // Round half away from zero: add the half divisor with the value's sign,
    // scale, truncate.
    typedef int32_t V4i __attribute__((vector_size(16)));
    for (int k = 0; k < 64; k += 4) {
        const V4 v = Load(block + k), h = Load(half + k), m = Load(mul + k);
        const V4 c = v > 0.0f ? v + h : v - h;
        const V4i q = __builtin_convertvector(c * m, V4i);
        std::memcpy(out + k, &q, sizeof q);
    }
}

}  // namespace ovcg::jpeg
