#include "codecs/jpeg/dct_quant.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <type_traits>

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

// The example tables of the JPEG standard (luminance, chrominance).
const int16_t kYQuantumT[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24, 40,  57,
    69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int16_t kCQuantumT[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

namespace {
// AAN output scale factors: a[0] = 1, a[k] = cos(k * pi / 16) * sqrt(2).
constexpr double kAanScale[8] = {1.0,         1.387039845, 1.306562965, 1.175875602,
                                 1.0,         0.785694958, 0.541196100, 0.275899379};

constexpr std::array<int32_t, 64> MakeAanScales14() {
    std::array<int32_t, 64> a{};
    for (size_t k = 0; k < 64; ++k) a[k] = static_cast<int32_t>(16384.0 * kAanScale[k >> 3] * kAanScale[k & 7] + 0.5);
    return a;
}

// Four lanes; every lane gets exactly the scalar operations.
typedef float V4 __attribute__((vector_size(16)));
typedef int32_t V4i __attribute__((vector_size(16)));

// The multiplications of the flow graph.
enum AanConstant { kC0707, kC0382, kC0541, kC1306 };

// Loads and stores of four lanes of element type E.
template <typename E, typename Vec>
struct Lanes {
    using Elem = E;
    using V = Vec;
    static V Load(const E* p) {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void Store(E* p, V v) { std::memcpy(p, &v, sizeof v); }
};

// Single precision throughout.
struct FloatLanes : Lanes<float, V4> {
    static constexpr float kK[4] = {0.707106781f, 0.382683433f, 0.541196100f, 1.306562965f};
    static V Mul(V v, AanConstant c) { return v * kK[c]; }
};

// 32-bit lanes; a product by a 10-bit constant is rounded back to unit
// scale. The transform keeps its intermediates to 16 bits; for samples in
// -128..128 none exceeds 22023 in magnitude, so 32-bit lanes give the same
// values.
struct IntLanes : Lanes<int32_t, V4i> {
    static constexpr int32_t kK[4] = {724, 392, 554, 1338};
    static V Mul(V v, AanConstant c) { return (v * kK[c] + 512) >> 10; }
};

// Writes a pass's outputs back in place.
template <class L>
struct StoreInPlace {
    typename L::Elem* b;
    void operator()(int at, typename L::V v) const { L::Store(b + at, v); }
};

// One 8-point pass of the scaled AAN forward DCT down every column of `b`,
// four columns side by side; output k of column c goes to out(8k + c, value).
template <class L, class Out>
inline void AanColumns(const typename L::Elem* b, Out out) {
    using V = typename L::V;
    for (int c = 0; c < 8; c += 4) {
        const V d0 = L::Load(b + c), d1 = L::Load(b + 8 + c), d2 = L::Load(b + 16 + c), d3 = L::Load(b + 24 + c);
        const V d4 = L::Load(b + 32 + c), d5 = L::Load(b + 40 + c), d6 = L::Load(b + 48 + c), d7 = L::Load(b + 56 + c);
        const V tmp0 = d0 + d7, tmp7 = d0 - d7;
        const V tmp1 = d1 + d6, tmp6 = d1 - d6;
        const V tmp2 = d2 + d5, tmp5 = d2 - d5;
        const V tmp3 = d3 + d4, tmp4 = d3 - d4;

        // Even part.
        const V tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
        const V tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
        out(c, tmp10 + tmp11);
        out(32 + c, tmp10 - tmp11);
        const V z1 = L::Mul(tmp12 + tmp13, kC0707);
        out(16 + c, tmp13 + z1);
        out(48 + c, tmp13 - z1);

        // Odd part.
        const V o10 = tmp4 + tmp5, o11 = tmp5 + tmp6, o12 = tmp6 + tmp7;
        const V z5 = L::Mul(o10 - o12, kC0382);
        const V z2 = L::Mul(o10, kC0541) + z5;
        const V z4 = L::Mul(o12, kC1306) + z5;
        const V z3 = L::Mul(o11, kC0707);
        const V z11 = tmp7 + z3, z13 = tmp7 - z3;
        out(40 + c, z13 + z2);
        out(24 + c, z13 - z2);
        out(8 + c, z11 + z4);
        out(56 + c, z11 - z4);
    }
}

template <typename In, typename Out>
inline void Transpose(const In* in, Out* out) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) out[c * 8 + r] = static_cast<Out>(in[r * 8 + c]);
}

// The same for four-lane elements, a 4 x 4 tile at a time in registers (the
// values only move).
template <class L>
inline void Transpose(const typename L::Elem* in, typename L::Elem* out) {
    using V = typename L::V;
    for (int r = 0; r < 8; r += 4)
        for (int c = 0; c < 8; c += 4) {
            const V a = L::Load(in + r * 8 + c), b = L::Load(in + (r + 1) * 8 + c);
            const V d = L::Load(in + (r + 2) * 8 + c), e = L::Load(in + (r + 3) * 8 + c);
            const V ab0 = __builtin_shufflevector(a, b, 0, 4, 1, 5), ab1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
            const V de0 = __builtin_shufflevector(d, e, 0, 4, 1, 5), de1 = __builtin_shufflevector(d, e, 2, 6, 3, 7);
            L::Store(out + c * 8 + r, __builtin_shufflevector(ab0, de0, 0, 1, 4, 5));
            L::Store(out + (c + 1) * 8 + r, __builtin_shufflevector(ab0, de0, 2, 3, 6, 7));
            L::Store(out + (c + 2) * 8 + r, __builtin_shufflevector(ab1, de1, 0, 1, 4, 5));
            L::Store(out + (c + 3) * 8 + r, __builtin_shufflevector(ab1, de1, 2, 3, 6, 7));
        }
}

// Rows first (as columns of the transposed block), then columns, whose
// outputs go to `out` (as AanColumns).
template <class L, typename In, class Out>
inline void AanTransform(const In* in, Out out) {
    alignas(32) typename L::Elem t[64], u[64];
    if constexpr (std::is_same_v<In, typename L::Elem>)
        Transpose<L>(in, t);
    else
        Transpose(in, t);
    AanColumns<L>(t, StoreInPlace<L>{t});
    Transpose<L>(t, u);
    AanColumns<L>(u, out);
}
}  // namespace

constexpr std::array<int32_t, 64> kAanScales14 = MakeAanScales14();

void ConvTableFloat(const int16_t* q, bool dc16, bool ac16, FloatDivisors* out) {
    for (int k = 0; k < 64; ++k) {
        const double s = (k == 0 ? dc16 : ac16) ? 16.0 : 1.0;
        const double f = s / (static_cast<double>(q[k]) * kAanScale[k >> 3] * kAanScale[k & 7] * 8.0);
        out->mul[k] = static_cast<float>(f);
        out->half[k] = static_cast<float>(0.5 / f);
    }
}

void DctAndQtiz_Chen_Float(int* out, float* block, const float* mul, const float* half) {
    // Round half away from zero as each output leaves the last pass: add the
    // half divisor with the value's sign (v > 0: v + h, else v - h; for v = 0
    // both signs truncate to 0 once scaled), scale, truncate.
    const auto quantise = [out, mul, half](int at, V4 v) {
        const V4i sign = std::bit_cast<V4i>(v) & V4i{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
        const V4 c = v + std::bit_cast<V4>(std::bit_cast<V4i>(FloatLanes::Load(half + at)) | sign);
        IntLanes::Store(out + at, __builtin_convertvector(c * FloatLanes::Load(mul + at), V4i));
    };
    AanTransform<FloatLanes>(block, quantise);
}

void ConvTableInt(const int16_t* q, bool dc16, bool ac16, IntDivisors* out) {
    for (size_t k = 0; k < 64; ++k) {
        // The tables hold 1..255, so 1 <= d < 2^12.
        const int d = std::max(1, (q[k] * kAanScales14[k] + 1024) >> 11);
        out->divisor[k] = static_cast<int16_t>(d);
        out->scale[k] = (k == 0 ? dc16 : ac16) ? 16.0f : 1.0f;
        out->halfPlusHalf[k] = static_cast<float>(d / 2) + 0.5f;
        out->reciprocal[k] = 1.0f / static_cast<float>(d);
    }
}

// Integer quotients in single precision: with n the numerator (below 2^21)
// and Q = floor(n / d), (n + 1/2) / d lies at least 1/(2d) from Q and from
// Q + 1, while n + 1/2 is exact and its product with the rounded reciprocal
// is within (n + 1/2) 2^-23 < 1/(2d) of it: the truncated product is Q.
template <bool Quick>
void QuantiseInt(int* out, const int32_t* v, const IntDivisors& t) {
    for (int k = 0; k < 64; k += 4) {
        const V4i x = IntLanes::Load(v + k);
        const V4i negative = x < 0;
        const V4 n = __builtin_convertvector(negative ? -x : x, V4) * FloatLanes::Load(t.scale + k) +
                     (Quick ? V4{0.5f, 0.5f, 0.5f, 0.5f} : FloatLanes::Load(t.halfPlusHalf + k));
        const V4i quotient = __builtin_convertvector(n * FloatLanes::Load(t.reciprocal + k), V4i);
        IntLanes::Store(out + k, negative ? -quotient : quotient);
    }
}

template <bool Quick>
void DctAndQtizInt(int* out, const int16_t* block, const IntDivisors& t) {
    alignas(32) int32_t v[64];
    AanTransform<IntLanes>(block, StoreInPlace<IntLanes>{v});
    QuantiseInt<Quick>(out, v, t);
}

namespace {

// 4096 sqrt(2) cos(k pi / 16) and 4096 / sqrt(2).
constexpr int32_t kW1 = 5681, kW2 = 5352, kW3 = 4816, kW5 = 3218, kW6 = 2217, kW7 = 1130, kC4 = 2896;

int32_t Round12(int32_t v) { return (v + 2048) >> 12; }

// One 8-point pass over values `step` apart, in place: 2 sqrt(2) times the
// exact coefficients. The forward graph runs the inverse one backwards:
// even part one rotation by (W2, W6); odd part the 1/sqrt(2) butterfly on
// the middle differences, then the rotations by (W1, W7) and (W3, W5).
void Esd2Pass(int32_t* p, int step) {
    int32_t s[4], d[4];
    for (int n = 0; n < 4; ++n) {
        s[n] = p[n * step] + p[(7 - n) * step];
        d[n] = p[n * step] - p[(7 - n) * step];
    }
    // Even part: sums need no constant.
    const int32_t e0 = s[0] + s[3], e1 = s[1] + s[2];
    const int32_t e2 = s[0] - s[3], e3 = s[1] - s[2];
    const int32_t out0 = e0 + e1, out4 = e0 - e1;
    const int32_t rot = kW6 * (e2 + e3);
    const int32_t out2 = Round12(rot + (kW2 - kW6) * e2);
    const int32_t out6 = Round12(rot - (kW2 + kW6) * e3);
    // Odd part: the outer differences pass straight, the middle ones through
    // the butterfly, each pair then through one rotation.
    const int32_t m0 = Round12(kC4 * (d[1] + d[2]));
    const int32_t m1 = Round12(kC4 * (d[1] - d[2]));
    const int32_t f4 = d[0] + m0, f5 = d[3] + m1;
    const int32_t f6 = d[0] - m0, f7 = d[3] - m1;
    const int32_t r17 = kW7 * (f4 + f5);
    const int32_t r35 = kW3 * (f6 + f7);
    p[0] = out0;
    p[4 * step] = out4;
    p[2 * step] = out2;
    p[6 * step] = out6;
    p[1 * step] = Round12(r17 + (kW1 - kW7) * f4);
    p[7 * step] = Round12(r17 - (kW1 + kW7) * f5);
    p[5 * step] = Round12(r35 - (kW3 - kW5) * f6);
    p[3 * step] = Round12(r35 - (kW3 + kW5) * f7);
}

}  // namespace

void DctAndQtiz_ESD2(int16_t* block, const int16_t* q, JPEG_DC_ACCURACY accuracy) {
    int32_t v[64];
    for (int k = 0; k < 64; ++k) v[k] = block[k];
    for (int r = 0; r < 8; ++r) Esd2Pass(v + 8 * r, 1);
    for (int c = 0; c < 8; ++c) Esd2Pass(v + c, 8);
    for (int k = 0; k < 64; ++k) {
        const int32_t c = v[k] * (k == 0 && accuracy == JPEG_DC_X16 ? 16 : 1);
        const int32_t d = 8 * q[k];
        block[k] = static_cast<int16_t>(c >= 0 ? (c + d / 2) / d : (c - d / 2) / d);
    }
}

template void QuantiseInt<false>(int*, const int32_t*, const IntDivisors&);
template void QuantiseInt<true>(int*, const int32_t*, const IntDivisors&);
template void DctAndQtizInt<false>(int*, const int16_t*, const IntDivisors&);
template void DctAndQtizInt<true>(int*, const int16_t*, const IntDivisors&);

}  // namespace ovcg::jpeg
