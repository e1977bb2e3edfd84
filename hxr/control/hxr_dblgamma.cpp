#include "hxr/control/hxr_dblgamma.h"

namespace {

// floor(g255 x 8160 / 100): D at the top of the scale.
uint64_t floor_term(uint32_t g255) { return uint64_t(g255) * kHxrDbgScale / 100; }

// Reads the 16.8 amount `t` (a 16-bit value scaled by 256) through the
// encode table; the index is clamped to the table's last interval.
uint32_t encode_at(const uint32_t* enc, uint64_t index, uint32_t f) {
    const uint32_t i = index > 255 ? 255u : uint32_t(index);
    const uint32_t lo = enc[i];
    return (lo + (((enc[i + 1] - lo) * f) >> 8) + 16) >> 5;
}

}  // namespace

bool HXRDbgPairValid(uint32_t g0, uint32_t g255) { return g255 != 0 && g0 >= g255; }

uint64_t HXRDbgDenominator(uint32_t g0, uint32_t g255, uint32_t x) {
    const uint64_t rest = kHxrDbgScale - x;
    return (uint64_t(g0 - g255) * rest / 100) * rest / kHxrDbgScale + floor_term(g255);
}

uint64_t HXRDbgDecode(uint32_t g0, uint32_t g255, uint32_t x) {
    return uint64_t(kHxrDbgFullAmount) * x / HXRDbgDenominator(g0, g255, x);
}

uint32_t HXRGetDbgDecTable(uint32_t* table, uint32_t g0, uint32_t g255) {
    if (!table || !HXRDbgPairValid(g0, g255)) return 1;
    for (uint32_t j = 0; j < kHxrDbgDecSize; ++j) table[j] = static_cast<uint32_t>(HXRDbgDecode(g0, g255, 32 * j));
    return 0;
}

uint32_t HXRGetDbgEncTable(uint32_t* table, uint32_t g0, uint32_t g255) {
    if (!table || !HXRDbgPairValid(g0, g255)) return 1;
    const uint64_t cap = 532684800u / floor_term(g255);
    // decode() never decreases with x (D never grows), so one pass upward
    // finds every smallest x in turn.
    uint32_t x = 0;
    table[0] = 0;
    for (uint32_t i = 1; i < 256; ++i) {
        const uint64_t target = uint64_t(256) * i < cap ? uint64_t(256) * i : cap;
        while (HXRDbgDecode(g0, g255, x) < target) {
            if (++x > kHxrDbgScale) return 1;
        }
        table[i] = x;
    }
    table[256] = table[255];
    return 0;
}

uint32_t HXREncodeDoubleGamma(const uint32_t* encode, uint32_t value) {
    return encode_at(encode, value >> 8, value & 255);
}

uint32_t HXRGetMeanInkValueDecodeEncode(const uint32_t* codes, const uint32_t* const* decode,
                                        const uint32_t* encode) {
    if (!codes || !decode || !decode[0] || !decode[1] || !encode) return 0xFFFFFFFFu;
    if (codes[0] > 255 || codes[1] > 255) return 0xFFFFFFFFu;
    const uint64_t t = ((uint64_t(decode[1][codes[1]]) + decode[0][codes[0]]) << 7) + 64;
    return encode_at(encode, t >> 16, uint32_t(t >> 8) & 255);
}

// ---------------------------------------------------------------- grids

const uint32_t Rebuild3DGridPos64[64] = {
    0,   5,   10,  15,  20,  24,  28,  32,  37,  41,  45,  49,  54,  58,  62,  66,
    71,  75,  79,  83,  88,  92,  96,  100, 105, 109, 113, 117, 122, 126, 130, 134,
    139, 143, 147, 151, 156, 160, 164, 168, 173, 177, 181, 185, 190, 194, 198, 202,
    207, 211, 215, 219, 223, 227, 231, 234, 237, 240, 243, 246, 249, 251, 253, 255};
const uint32_t Rebuild3DGridPos32[32] = {0,   8,   17,  26,  35,  44,  53,  62,  71,  80,  89,
                                         98,  107, 116, 125, 134, 143, 152, 161, 170, 179, 188,
                                         197, 206, 215, 224, 233, 239, 244, 248, 252, 255};
const uint32_t Rebuild4DGridPos32[32] = {0,   4,   9,   15,  21,  28,  36,  44,  53,  61,  70,
                                         78,  87,  95,  104, 112, 121, 129, 138, 146, 155, 164,
                                         173, 182, 191, 200, 209, 218, 227, 236, 245, 255};

namespace {

// The levels of a colour grid, or null for a combination without one.
const uint32_t* colour_grid(uint32_t count, uint32_t type) {
    if (type == kHxrLutType3D && count == 64) return Rebuild3DGridPos64;
    if (type == kHxrLutType3D && count == 32) return Rebuild3DGridPos32;
    if (type == kHxrLutType4D && count == 32) return Rebuild4DGridPos32;
    return nullptr;
}

}  // namespace

uint32_t HXRGetRebuildGridPos(uint32_t* out, uint32_t count, uint32_t type) {
    if (!out) return 1;
    if (type == kHxrLutType1D && count == 256) {
        for (uint32_t v = 0; v < 256; ++v) out[v] = v;
        return 0;
    }
    const uint32_t* p = colour_grid(count, type);
    if (!p) return 1;
    for (uint32_t k = 0; k < count; ++k) out[k] = p[k];
    return 0;
}

uint32_t HXRGetPreTable(uint32_t* out, uint32_t count, uint32_t type) {
    const uint32_t* p = colour_grid(count, type);
    if (!out || !p) return 1;
    uint32_t k = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        while (p[k] < v) ++k;  // every grid ends at 255
        out[v] = p[k] == v ? 256 * k : 256 * k - 256 * (p[k] - v) / (p[k] - p[k - 1]);
    }
    return 0;
}
