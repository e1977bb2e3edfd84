#include "hxr/control/hxr_lut_adjust.h"

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_lut_tetra.h"

#include <cmath>
#include <cstring>

const uint32_t LogTable[kHxrLogPrimes] = {
    3466,  5493,  8047,  9730,  11989, 12825, 14166, 14722, 15677, 16836, 17170, 18055, 18568, 18806, 19251,
    19851, 20388, 20554, 21023, 21313, 21452, 21847, 22094, 22443, 22874, 23076, 23174, 23364, 23457, 23637,
    24221, 24376, 24600, 24672, 25020, 25086, 25281, 25469, 25590, 25766, 25937, 25992, 26261, 26313, 26416,
    26467, 26759, 27036, 27125, 27169, 27255, 27382, 27424, 27627, 27745, 27861, 27974, 28011, 28120, 28192,
    28227, 28401, 28634, 28699, 28731, 28795, 29011, 29100, 29247, 29275, 29332, 29417, 29527, 29608, 29688,
    29740, 29818, 29920, 29970, 30069, 30189, 30213, 30331, 30354, 30422, 30468, 30535, 30623, 30667, 30689,
    30732, 30859, 30941, 30982, 31063, 31103, 31162,
};

namespace {

constexpr uint32_t kSmallPrimes[9] = {2, 3, 5, 7, 11, 13, 17, 19, 23};
constexpr uint32_t kLog29 = 16836;
constexpr uint32_t kPrime31Index = 10;  // LogTable index of 31
constexpr int32_t kControlLimit = 50;
constexpr int32_t kGammaMin = 50, kGammaMax = 300;
constexpr uint32_t kDutyMin = 128, kDutyMax = 8192;
// The odd-m search of the gamma tone ends at tone 255.
constexpr uint32_t kToneSearchEnd = 511;

int32_t clamp255(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : int32_t(v); }

}  // namespace

uint32_t LogInteger(uint32_t n) {
    if (n == 0) return 0;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < 9; ++i) {
        while (n % kSmallPrimes[i] == 0) {
            n /= kSmallPrimes[i];
            sum += LogTable[i];
        }
    }
    if (n == 1) return sum;
    if (n == 29) return sum + kLog29;
    // The remaining factor is a prime above 29: count the primes from 31 up
    // (odd numbers free of the small primes) until it is reached.
    uint32_t index = kPrime31Index;
    for (uint32_t m = 31; index < kHxrLogPrimes; m += 2) {
        bool prime = true;
        for (uint32_t i = 1; i < 9 && prime; ++i) prime = m % kSmallPrimes[i] != 0;
        if (!prime) continue;
        if (m == n) return sum + LogTable[index];
        if (m > n) break;
        ++index;
    }
    return sum;  // above 509
}

// ---------------------------------------------------------------- curves

void AdjustBrightness(int32_t* curve, int32_t b) {
    if (!curve || b == 0 || b <= -100 || b >= 100) return;
    if (b > 0) {
        const int64_t m = 10000 / (100 - b);
        const int64_t k = (300 - m) * 256 / (2 * m);
        const int64_t t = k - 256;
        const int64_t coef = m * 65536 / (3 * t * t);
        for (int64_t i = 0; i < 256; ++i) {
            const int64_t v = curve[i];
            curve[i] = clamp255(i < k ? v * m / 100 : coef * (v - 256) * (v - 256) * (v - 256) / 6553600 + 256);
        }
    } else {
        const int64_t m = 10000 / (100 + b);
        const int64_t k = (3 * m - 300) * 256 / (2 * m);
        const int64_t coef = m * 65536 / (3 * k * k);
        for (int64_t i = 0; i < 256; ++i) {
            const int64_t v = curve[i];
            curve[i] = clamp255(i < k ? coef * v * v * v / 6553600 : (v * m + (100 - m) * 256) / 100);
        }
    }
}

void AdjustContrast(int32_t* curve, int32_t c) {
    if (!curve || c == 0 || c <= -100 || c >= 100) return;
    if (c < 0) {
        for (int i = 0; i < 256; ++i) curve[i] = clamp255((int64_t(curve[i]) * (100 + c) - 128 * c) / 100);
        return;
    }
    // The curve may already carry brightness, so v is not the index: cubes
    // of v up to 255 with the low knee's coefficient need 64 bits.
    const int64_t m = 10000 / (100 - c);
    const int64_t kl = (3 * m - 300) * 128 / (2 * m);
    const int64_t coefL = m * 65536 / (3 * kl * kl);
    const int64_t kh = (m + 300) * 128 / (2 * m);
    const int64_t coefH = m * 65536 / (3 * (kh - 256) * (kh - 256));
    for (int64_t i = 0; i < 256; ++i) {
        const int64_t v = curve[i];
        int64_t r;
        if (i < kl) r = coefL * v * v * v / 6553600;
        else if (i < kh) r = (v * m + (100 - m) * 128) / 100;
        else r = coefH * (v - 256) * (v - 256) * (v - 256) / 6553600 + 256;
        curve[i] = clamp255(r);
    }
}

void AdjustStrengthAndGamma(int32_t* c1, int32_t* c2, int32_t* c3, int32_t b1, int32_t b2, int32_t b3,
                            uint32_t gamma, uint32_t tableGamma) {
    if (!c1 || !c2 || !c3) return;
    int32_t d[256] = {};
    if (gamma != tableGamma && tableGamma != 0) {
        // tone(i) ~ 255 (i / 255)^(gamma / tableGamma), from 5000 ln n:
        // the smallest odd m with 2048 ln m + Kq > q ln i gives tone m / 2.
        const int64_t r = int64_t(gamma) * 100 / tableGamma;
        const int64_t q = r * 2048 / 100;
        const int64_t kq = (q - 2048) * 27706 - 7113368;
        int64_t logOdd[kToneSearchEnd / 2 + 1];
        for (uint32_t m = 3; m <= kToneSearchEnd; m += 2) logOdd[m / 2] = LogInteger(m);
        for (int32_t i = 1; i < 255; ++i) {
            const int64_t rhs = q * LogInteger(uint32_t(i));
            int32_t tone = 0;
            if (kq <= rhs) {
                uint32_t m = 3;
                while (m < kToneSearchEnd && 2048 * logOdd[m / 2] + kq <= rhs) m += 2;
                tone = int32_t(m / 2 > 255 ? 255 : m / 2);
            }
            d[i] = tone - i;
        }
    }
    int32_t* curves[3] = {c1, c2, c3};
    const int32_t balance[3] = {b1, b2, b3};
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) curves[k][i] = clamp255(int64_t(curves[k][i]) + d[i] + balance[k]);
}

namespace {

// c[i] = (c[i-1] + c[i] + c[i+1]) / 3 in place, c[i-1] already smoothed.
void smooth(int32_t* c) {
    for (int i = 1; i < 255; ++i) c[i] = (c[i - 1] + c[i] + c[i + 1]) / 3;
}

// Curve 0 = identity with brightness and contrast; curves 1..3 copies of it
// with the gamma's tone and the balances, smoothed.
void build_curves(int32_t (*curve)[256], const int32_t* tone, const int32_t* balance, uint32_t gamma,
                  uint32_t tableGamma) {
    for (int i = 0; i < 256; ++i) curve[0][i] = i;
    AdjustBrightness(curve[0], tone[kToneBrightness]);
    AdjustContrast(curve[0], tone[kToneContrast]);
    for (int k = 1; k < 4; ++k) std::memcpy(curve[k], curve[0], sizeof(curve[0]));
    AdjustStrengthAndGamma(curve[1], curve[2], curve[3], balance[0], balance[1], balance[2], gamma, tableGamma);
    for (int k = 1; k < 4; ++k) smooth(curve[k]);
}

// The first segment of positive width that holds x (levels start at 0 and
// end at 255, so there is one); repeated levels are stepped over.
uint32_t segment_of(const uint32_t* levels, uint32_t n, uint32_t x) {
    for (uint32_t k = 0; k + 1 < n; ++k)
        if (levels[k + 1] > levels[k] && levels[k] <= x && x <= levels[k + 1]) return k;
    return n - 2;
}

// Pushes the two larger levels away from the smallest by the saturation;
// the factor is 80 % as strong when blue is the smallest.
void saturate(uint32_t* rgb, int32_t s) {
    const uint32_t r = rgb[0], g = rgb[1], b = rgb[2];
    uint32_t low;
    int64_t factor;
    if (g < r && b >= g) low = g, factor = 100 + s;
    else if (g >= r && b >= r) low = r, factor = 100 + s;
    else low = b, factor = 100 + int64_t(s) * 80 / 100;
    for (int a = 0; a < 3; ++a) {
        const int64_t v = int64_t(rgb[a] - low) * factor / 100 + low;
        rgb[a] = uint32_t(v > 255 ? 255 : v);
    }
}

// The colour table resampled through the curves (and saturation) into a new
// table of the same grid.
bool resample_colour(HXRLutWork& w, const int32_t (*curve)[256], int32_t saturation, HXRMemMgr* mem) {
    const uint32_t ns = w.gridNum, k = w.colorNum;
    const uint64_t bytes = uint64_t(ns) * ns * ns * k;
    auto* out = static_cast<uint8_t*>(HXRAllocMem(mem, uint32_t(bytes)));
    if (!out) return false;
    const size_t stride[3] = {size_t(ns) * ns * k, size_t(ns) * k, k};
    const uint32_t* L = w.gridPos;
    uint8_t* node = out;
    for (uint32_t a = 0; a < ns; ++a) {
        for (uint32_t b = 0; b < ns; ++b) {
            for (uint32_t c = 0; c < ns; ++c, node += k) {
                const size_t at = a * stride[0] + b * stride[1] + c * stride[2];
                if (a == b && b == c && (a == 0 || a == ns - 1)) {
                    std::memcpy(node, w.table + at, k);  // black and white stay as they are
                    continue;
                }
                uint32_t rgb[3] = {L[a], L[b], L[c]};
                if (saturation != 0 && !(rgb[0] == rgb[1] && rgb[1] == rgb[2])) saturate(rgb, saturation);
                for (int x = 0; x < 3; ++x) rgb[x] = uint32_t(curve[x + 1][rgb[x]]);
                // Fractions on the red segment's span S.
                uint32_t seg[3], f[3];
                for (int x = 0; x < 3; ++x) seg[x] = segment_of(L, ns, rgb[x]);
                const uint32_t span = L[seg[0] + 1] - L[seg[0]];
                f[0] = rgb[0] - L[seg[0]];
                for (int x = 1; x < 3; ++x)
                    f[x] = (rgb[x] - L[seg[x]]) * span / (L[seg[x] + 1] - L[seg[x]]);
                const HXRTetra t = HXRTetraWeights(span, f, stride);
                const uint8_t* base = w.table + seg[0] * stride[0] + seg[1] * stride[1] + seg[2] * stride[2];
                for (uint32_t ch = 0; ch < k; ++ch) {
                    uint32_t sum = 0;
                    for (int v = 0; v < 4; ++v) sum += t.w[v] * base[t.off[v] + ch];
                    node[ch] = uint8_t(sum / span);
                }
            }
        }
    }
    if (HXRFreeMem(mem, w.table) != 0) return false;
    w.table = out;
    return true;
}

// Every inner gray node moves to curve1 of its level, interpolated between
// the gray nodes around that level.
bool resample_gray(HXRGrayLutWork& g, const int32_t* curve1, HXRMemMgr* mem) {
    const uint32_t n = g.gridNum, k = g.colorNum;
    auto* old = static_cast<uint32_t*>(HXRAllocMem(mem, uint32_t(uint64_t(n) * k * 4)));
    if (!old) return false;
    std::memcpy(old, g.table, size_t(n) * k * 4);
    const uint32_t* L = g.gridPos;
    for (uint32_t i = 1; i + 1 < n; ++i) {
        const uint32_t x = uint32_t(curve1[L[i]]);
        const uint32_t s = segment_of(L, n, x);
        const uint64_t span = L[s + 1] - L[s];
        for (uint32_t c = 0; c < k; ++c)
            g.table[size_t(i) * k + c] = uint32_t(
                (uint64_t(old[size_t(s) * k + c]) * (L[s + 1] - x) + uint64_t(old[size_t(s + 1) * k + c]) * (x - L[s])) /
                span);
    }
    return HXRFreeMem(mem, old) == 0;
}

bool in_range(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

}  // namespace

uint32_t HXRAdjustColor(HXRLutWork* work, HXRGrayLutWork* gray, const _HXR_OPTION_INFO* option, uint32_t mono,
                        HXRMemMgr* mem) {
    if (!work || !work->table || !option || !mem) return 1;
    if (work->dimension != 3) return 0;
    if (!HXRLutLevelsValid(work->gridPos, work->gridNum, kHxrLutSrcMaxGrid) || work->colorNum < 1 ||
        work->colorNum > kHxrMaxInks)
        return 1;
    if (gray && gray->table &&
        (!HXRLutLevelsValid(gray->gridPos, gray->gridNum, kHxrLutGrayMaxGrid) || gray->colorNum != work->colorNum))
        return 1;
    const int32_t* tone = option->tone;
    for (uint32_t w = kToneBrightness; w <= kToneBalance3; ++w) {
        if (!in_range(tone[w], -kControlLimit, kControlLimit)) {
            HXRSetErrorInfo(kHxrAdjustRange);
            return 1;
        }
    }
    if (tone[kToneGamma] != -1 && !in_range(tone[kToneGamma], kGammaMin, kGammaMax)) {
        HXRSetErrorInfo(kHxrAdjustGamma);
        return 1;
    }
    if (mono && (tone[kToneSaturation] | tone[kToneBalance1] | tone[kToneBalance2] | tone[kToneBalance3]) != 0) {
        HXRSetErrorInfo(kHxrAdjustMono);
        return 1;
    }
    auto* curve = static_cast<int32_t(*)[256]>(HXRAllocMem(mem, 4 * 256 * sizeof(int32_t)));
    if (!curve) return 1;
    const bool keepGamma = tone[kToneGamma] == -1;
    bool ok = true;
    build_curves(curve, tone, tone + kToneBalance1, keepGamma ? work->gamma : uint32_t(tone[kToneGamma]),
                 work->gamma);
    ok = resample_colour(*work, curve, tone[kToneSaturation], mem);
    if (ok && gray && gray->table) {
        const int32_t none[3] = {0, 0, 0};
        build_curves(curve, tone, none, keepGamma ? gray->gamma : uint32_t(tone[kToneGamma]), gray->gamma);
        ok = resample_gray(*gray, curve[1], mem);
    }
    if (HXRFreeMem(mem, curve) != 0) ok = false;
    return ok ? 0 : 1;
}

// ---------------------------------------------------------------- duty

uint32_t HXRCheckDutyFactorParam(const uint32_t* block, const char* id) {
    if (!block || !id || std::memcmp(block, id, kHxrDutyIdBytes) != 0) return 1;
    for (uint32_t w = 5; w < 12; ++w)
        if (block[w] != 0xFFFFFFFFu) return 1;
    return block[4] < kDutyMin || block[4] > kDutyMax ? 2 : 0;
}

namespace {

inline uint8_t scale_duty(uint32_t v, uint32_t d) {
    const uint64_t s = (uint64_t(v) * d + 512) >> 10;
    return uint8_t(s > 255 ? 255 : s);
}

// The duty of a block: 0 with *duty set (1024 for no duty block), or 1 (9034).
uint32_t duty_of(const uint32_t* block, const char* id, uint32_t* duty) {
    switch (HXRCheckDutyFactorParam(block, id)) {
        case 0: *duty = block[4]; return 0;
        case 2: HXRSetErrorInfo(kHxrAdjustDutyRange); return 1;
        default: *duty = kHxrDuty100; return 0;
    }
}

}  // namespace

uint32_t HXRAdjustDuty(HXRLutWork* work, HXRGrayLutWork* gray, const uint32_t* block, const char* id) {
    if (!work || !work->table || work->gridNum > kHxrLutSrcMaxGrid || work->colorNum > kHxrMaxInks) return 1;
    if (gray && gray->gridNum > kHxrLutGrayMaxGrid) return 1;
    uint32_t d = kHxrDuty100;
    if (duty_of(block, id, &d) != 0) return 1;
    work->duty = kHxrDuty100;
    if (d == kHxrDuty100) return 0;
    if (work->dimension == 4) {
        work->duty = d;
        return 0;
    }
    const uint64_t bytes = uint64_t(work->gridNum) * work->gridNum * work->gridNum * work->colorNum;
    for (uint64_t i = 0; i < bytes; ++i) work->table[i] = scale_duty(work->table[i], d);
    if (gray && gray->table)
        for (uint64_t i = 0; i < uint64_t(gray->gridNum) * gray->colorNum; ++i)
            gray->table[i] = scale_duty(gray->table[i], d);
    return 0;
}

uint32_t HXRAdjsutDutyAdditionalLUT(HXRAdditionalLut* lut, const uint32_t* block, const char* id) {
    if (!lut || (!lut->data && lut->size != 0)) return 1;
    uint32_t d = kHxrDuty100;
    if (duty_of(block, id, &d) != 0) return 1;
    if (d != kHxrDuty100)
        for (uint32_t i = 0; i < lut->size; ++i) lut->data[i] = scale_duty(lut->data[i], d);
    return 0;
}

// ---------------------------------------------------------------- monochrome photo

void tnmx_sort(int32_t* in, int32_t* out, uint32_t n) {
    if (!in || !out) return;
    for (uint32_t pass = 0; pass + 1 < n; ++pass) {
        for (uint32_t i = 0; i + 1 < n - pass; ++i) {
            if (in[i] > in[i + 1]) {
                const int32_t a = in[i], b = out[i];
                in[i] = in[i + 1], out[i] = out[i + 1];
                in[i + 1] = a, out[i + 1] = b;
            }
        }
    }
}

namespace {

constexpr double kPi = 3.14159265358979323846;

double clamp01(double x) { return x < 0 ? 0 : x > 1 ? 1 : x; }

bool tnmx_controls_valid(const int32_t* v) {
    const int32_t a = v[kTnmxCircleX], b = v[kTnmxCircleY];
    if (!in_range(a, -75, 75) || !in_range(b, -75, 75) || a * a + b * b > 75 * 75) return false;
    if (v[kTnmxGamma] < 0) return false;
    for (uint32_t w = kTnmxBrightness; w <= kTnmxHighlight; ++w)
        if (!in_range(v[w], -25, 25)) return false;
    return in_range(v[kTnmxMaxOd], -50, 0) && in_range(v[kTnmxHighlightPoint], 0, 1);
}

void tnmx_brightness(double* x, int32_t v) {
    for (int i = 0; i < 256; ++i) {
        const double t = x[i];
        double f;
        if (v < 0) {
            f = t <= 0.502 ? ((1.5101 * t - 0.3422) * t + 0.0941) * t : ((-1.3267 * t + 3.7487) * t - 1.6008) * t + 0.1787;
            x[i] = clamp01((f - t) * v / -25 + t);
        } else {
            f = t <= 0.502 ? ((-1.5101 * t + 0.3422) * t + 1.9059) * t : ((1.3267 * t - 3.7487) * t + 3.6008) * t - 0.1787;
            x[i] = clamp01((f - t) * v / 25 + t);
        }
    }
}

void tnmx_contrast(double* x, int32_t v) {
    for (int i = 0; i < 256; ++i) {
        const double t = x[i];
        double r;
        if (v < 0) {
            const double g = t < 1e-6 ? 0 : t > 0.999999 ? 1 : 0.5 * t + 0.251;
            r = (g - t) * v / -25 + t;
            if (t > 1e-6 && t < 0.2) {
                const double s = std::asin(1 - 5 * t) * 2 / kPi;
                r = r * (1 - s * s);
            } else if (t > 0.8 && t < 0.999999) {
                const double a = std::asin(5 * t - 4) * 2 / kPi;
                const double s = a * a;
                r = r * (1 - s) + s;
            }
        } else {
            double f;
            if (t <= 0.5) {
                f = ((2.9941 * t + 0.3343) * t + 0.0833) * t;
            } else {
                const double y = 1 - t;
                f = (-2.9941 * y - 0.3343) * y * y + 0.0833 * t + 0.9167;
            }
            r = (f - t) * v / 25 + t;
        }
        x[i] = clamp01(r);
    }
}

void tnmx_shadow(double* x, int32_t v) {
    const double knee = 60.0 / 255;
    int n = 0;
    while (n < 256 && x[n] < knee) ++n;
    for (int i = 0; i < n; ++i) {
        const double y = x[i] / knee;
        double f, r;
        if (v < 0) {
            f = ((-0.9551 * y + 1.8544) * y + 0.1006) * y;
            r = (f - y) * v / -25 + y;
        } else {
            f = ((0.9631 * y - 1.8606) * y + 1.8977) * y;
            r = (f - y) * v / 25 + y;
        }
        x[i] = r > 1 ? knee : r < 0 ? 0 : r * knee;
    }
}

void tnmx_highlight(double* x, int32_t v) {
    const double knee = 192.0 / 255, width = 63.0 / 255;
    int n = 0;
    while (n < 255 && !(x[n] > knee)) ++n;
    if (n == 255) return;
    for (int i = n; i < 256; ++i) {
        const double y = (x[i] - knee) / width;
        double f, r;
        if (v < 0) {
            f = y <= 0.6349 ? ((0.9806 * y - 0.8906) * y + 0.8059) * y : ((-6.2314 * y + 16.601) * y - 12.807) * y + 3.4372;
            r = (f - y) * v / -25 + y;
        } else {
            f = y <= 0.6349 ? ((-1.0175 * y + 0.9372) * y + 1.1909) * y : ((4.3528 * y - 11.956) * y + 11.02) * y - 2.4163;
            r = (f - y) * v / 25 + y;
        }
        x[i] = r > 1 ? 1 : r < 0 ? knee : r * width + knee;
    }
}

// Rows resampled along the curve: row i takes the table at level 255 x[i].
bool tnmx_resample(HXRLutTNMXWork& w, const double* x, HXRMemMgr* mem) {
    const uint32_t k = w.colorNum;
    const size_t count = size_t(w.gridNum) * k;
    auto* old = static_cast<uint32_t*>(HXRAllocMem(mem, uint32_t(count * 4)));
    if (!old) return false;
    std::memcpy(old, w.table, count * 4);
    for (uint32_t i = 0; i < w.gridNum; ++i) {
        const double z = x[i] * 255;
        const uint32_t lo = uint32_t(z), hi = lo + 1 > 255 ? 255 : lo + 1;
        for (uint32_t c = 0; c < k; ++c) {
            const uint32_t a = old[size_t(lo) * k + c], b = old[size_t(hi) * k + c];
            w.table[size_t(i) * k + c] = lo == hi ? a : uint32_t((double(b) - double(a)) * (z - lo) + a);
        }
    }
    return HXRFreeMem(mem, old) == 0;
}

// Linear interpolation through six sorted pairs: the first segment whose
// upper input reaches d (a d past the last input extrapolates the last
// segment); a segment of zero width gives its lower output.
double tnmx_tone_at(const int32_t* in, const int32_t* out, double d) {
    uint32_t s = 0;
    while (s + 2 < kHxrTnmxPairs && in[s + 1] < d) ++s;
    if (in[s + 1] == in[s]) return out[s];
    return out[s] + (double(out[s + 1]) - out[s]) * (d - in[s]) / (double(in[s + 1]) - in[s]);
}

// Codes 1, 2 and 3 must have channels; 4 and 5 both or neither.
bool tnmx_orders_valid(const HXRLutTNMXWork& w) {
    const int32_t* o = w.order;
    auto in = [&](int32_t v) { return v >= 0 && uint32_t(v) < w.colorNum; };
    if (!in(o[kTnmxOrderC]) || !in(o[kTnmxOrderM]) || !in(o[kTnmxOrderY])) return false;
    const bool lc = o[kTnmxOrderLc] >= 0, lm = o[kTnmxOrderLm] >= 0;
    return lc == lm && (!lc || (in(o[kTnmxOrderLc]) && in(o[kTnmxOrderLm])));
}

bool tnmx_colour_tone(HXRLutTNMXWork& w, int32_t a, int32_t b) {
    const double r3 = std::sqrt(3.0);
    double d[3] = {std::fabs((r3 * a + b) - 150) / 2 - 75, std::fabs((r3 * a - b) + 150) / 2 - 75,
                   std::fabs(double(b) + 75) - 75};
    double scale;
    if (w.rateMode == 1) scale = 0.01;
    else if (w.rateMode == 2) scale = 0.001;
    else return false;
    double m[3];
    for (uint32_t j = 0; j < kHxrTnmxAxes; ++j) {
        d[j] = d[j] < -75 ? -75 : d[j] > 75 ? 75 : d[j];
        int32_t in[kHxrTnmxPairs], out[kHxrTnmxPairs];
        std::memcpy(in, w.toneIn[j], sizeof(in));
        std::memcpy(out, w.toneOut[j], sizeof(out));
        tnmx_sort(in, out, kHxrTnmxPairs);
        m[j] = 1 + tnmx_tone_at(in, out, d[j]) * scale;
        if (m[j] < 0) return false;
    }
    if (!tnmx_orders_valid(w)) return false;
    const struct {
        uint32_t order;
        int axis;
    } apply[5] = {{kTnmxOrderC, 0}, {kTnmxOrderLc, 0}, {kTnmxOrderM, 1}, {kTnmxOrderLm, 1}, {kTnmxOrderY, 2}};
    for (uint32_t row = 0; row < w.gridNum; ++row) {
        uint32_t* v = w.table + size_t(row) * w.colorNum;
        for (const auto& p : apply) {
            const int32_t o = w.order[p.order];
            if (o < 0) continue;
            // Products can pass the 16 bits every reader keeps.
            const double r = double(v[o]) * m[p.axis];
            v[o] = r >= w.maxValue ? w.maxValue : uint32_t(r);
        }
    }
    return true;
}

bool tnmx_ink_limit(HXRLutTNMXWork& w) {
    if (!tnmx_orders_valid(w)) return false;
    const uint32_t k = w.colorNum;
    const double limit = double(int64_t(w.totalInkDuty / 255.0 * w.maxValue));
    const int32_t* o = w.order;
    const bool light = o[kTnmxOrderLc] >= 0;
    for (;;) {
        uint64_t heaviest = 0;
        uint32_t row = 0;
        for (uint32_t r = 0; r < w.gridNum; ++r) {
            uint64_t s = 0;
            for (uint32_t c = 0; c < k; ++c) s += w.table[size_t(r) * k + c];
            if (s > heaviest) heaviest = s, row = r;
        }
        if (double(heaviest) <= limit) return true;
        const double e = double(heaviest) - limit;
        const uint32_t* v = w.table + size_t(row) * k;
        auto factor = [](double cut, uint32_t value) {
            if (value == 0) return 0.0;
            const double f = 1 - cut / value;
            return f < 0 ? 0.0 : f;
        };
        double f[5];
        f[kTnmxOrderC] = factor(3 * e / 7, v[o[light ? kTnmxOrderLc : kTnmxOrderC]]);
        f[kTnmxOrderM] = factor(3 * e / 7, v[o[light ? kTnmxOrderLm : kTnmxOrderM]]);
        f[kTnmxOrderY] = factor(e / 7, v[o[kTnmxOrderY]]);
        f[kTnmxOrderLc] = light ? factor(3 * e / 7, v[o[kTnmxOrderLc]]) : 1;
        f[kTnmxOrderLm] = light ? factor(3 * e / 7, v[o[kTnmxOrderLm]]) : 1;
        bool changed = false;
        for (uint32_t r = 0; r < w.gridNum; ++r) {
            uint32_t* row_v = w.table + size_t(r) * k;
            for (uint32_t c = 0; c < 5; ++c) {
                if (o[c] < 0) continue;
                const uint32_t nv = uint32_t(double(row_v[o[c]]) * f[c]);
                changed |= nv != row_v[o[c]];
                row_v[o[c]] = nv;
            }
        }
        if (!changed) return true;
    }
}

}  // namespace

uint32_t HXRAdjustColorTNMX(HXRLutTNMXWork* w, const int32_t* v, HXRMemMgr* mem) {
    if (!w || !w->table || !v || !mem || w->colorNum < 1 || w->colorNum > kHxrMaxInks || w->gridNum < 1 ||
        w->gridNum > kHxrTnmxMaxGrid)
        return 1;
    if (!tnmx_controls_valid(v)) return 1;
    auto* x = static_cast<double*>(HXRAllocMem(mem, 256 * sizeof(double)));
    if (!x) return 1;
    for (int i = 0; i < 256; ++i) x[i] = i / 255.0;
    bool resample = false;
    if (v[kTnmxBrightness] != 0) tnmx_brightness(x, v[kTnmxBrightness]), resample = true;
    if (v[kTnmxContrast] != 0) tnmx_contrast(x, v[kTnmxContrast]), resample = true;
    if (v[kTnmxShadow] != 0) tnmx_shadow(x, v[kTnmxShadow]), resample = true;
    if (v[kTnmxHighlight] != 0) tnmx_highlight(x, v[kTnmxHighlight]), resample = true;
    if (v[kTnmxMaxOd] < 0) {
        for (int i = 0; i < 256; ++i) {
            const double t = x[i];
            const double f = ((-0.0824 * t + 0.3291) * t + 0.0303) * t + 0.7232;
            x[i] = clamp01((f - t) * v[kTnmxMaxOd] / -50 + t);
        }
        resample = true;
    }
    if (v[kTnmxHighlightPoint] == 1) {
        for (int i = 0; i < 256; ++i) x[i] = x[i] * 0.9608;
        resample = true;
    }
    if (uint32_t(v[kTnmxGamma]) != w->gamma && w->gamma != 0) {
        for (int i = 0; i < 256; ++i) {
            if (x[i] > 1e-6) {
                const double g = std::exp(std::log(x[i]) * v[kTnmxGamma] / w->gamma);
                x[i] = g > 1 ? 1 : g;
            }
        }
        resample = true;
    }
    // The resampling reads rows by level 0..255.
    bool ok = !resample || (w->gridNum == kHxrTnmxMaxGrid && tnmx_resample(*w, x, mem));
    if (ok && (v[kTnmxCircleX] != 0 || v[kTnmxCircleY] != 0)) ok = tnmx_colour_tone(*w, v[kTnmxCircleX], v[kTnmxCircleY]);
    if (ok) ok = tnmx_ink_limit(*w);
    if (HXRFreeMem(mem, x) != 0) ok = false;
    return ok ? 0 : 1;
}
