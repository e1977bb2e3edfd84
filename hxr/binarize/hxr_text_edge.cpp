#include "hxr/binarize/hxr_text_edge.h"

#include "hxr/color/hxr_color_cvt.h"

#include <cstring>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kChannels = 3;
constexpr uint32_t kEdgeBits = 2;
constexpr uint8_t kEdgeCode = 2;
constexpr uint32_t kTargetCode = 0, kTargetCodeAlt = 12;

// 0 all three samples black, 1 all three white, -1 anything else.
template <typename Sample>
int tone(const uint8_t* const* line, size_t at) {
    unsigned hi[kChannels];
    for (uint32_t ch = 0; ch < kChannels; ++ch) {
        Sample s;
        std::memcpy(&s, line[ch] + at * sizeof(Sample), sizeof(Sample));
        hi[ch] = unsigned(s >> (8 * (sizeof(Sample) - 1))) & 0xFFu;
    }
    if (hi[0] == 0 && hi[1] == 0 && hi[2] == 0) return 0;
    if (hi[0] == 255 && hi[1] == 255 && hi[2] == 255) return 1;
    return -1;
}

void set_pixel(uint8_t* plane, uint64_t p, uint8_t code) {
    if (!plane) return;
    const unsigned shift = unsigned(6 - 2 * (p % 4));
    uint8_t& byte = plane[p / 4];
    byte = uint8_t((byte & ~(3u << shift)) | (unsigned(code) << shift));
}

// The pairs of one line: 0, or 1 at an edge with a setting other than 3.
template <typename Sample>
uint32_t pass_line(uint32_t setting, const uint8_t* const* line, uint8_t* const* planes, uint64_t stride,
                   uint64_t first, uint64_t pairs, uint64_t p0, uint32_t hc, uint32_t target) {
    for (uint64_t k = 0; k < pairs; ++k) {
        const uint64_t q = (first + 2 * k) * stride;
        const int a = tone<Sample>(line, q), b = tone<Sample>(line, q + stride);
        if (a < 0 || b < 0 || a == b) continue;
        if (setting != kHxrTextEnhancePairEdge) return 1;
        for (uint32_t c = 0; c < hc; ++c) set_pixel(planes[c], p0 + k, 0);
        set_pixel(planes[target], p0 + k, kEdgeCode);
    }
    return 0;
}

uint32_t sample_bytes(const HXRColorCvtController* cvt) {
    if (cvt->kind != kHxrColorCvt3D && cvt->kind != kHxrColorCvt4D) return 0;
    const auto* c = static_cast<const HXRColorCvt*>(cvt->converter);
    return c ? c->sampleBytes : 0;
}

}  // namespace

uint32_t IsTextEdge07Condition(const _HXR_HALFTONE_INFO* ht, const HXRClrMgr* clr) {
    if (!ht || !clr) return 0;
    const uint32_t bits = ht->outputBits, colours = HXRGetOutputColorNum(clr);
    const bool dotMode = bits == 2 || bits == 34 || bits == 66;
    return ht->scale == uint32_t(kHxrScaleHalf) && dotMode && (colours == 1 || colours == 4 || colours == 5) ? 1u
                                                                                                               : 0u;
}

uint32_t HXRTextEnhance(const HXRColorCvtController* cvt, const HXRBinarizeController* bnrz,
                        const uint8_t* const* input, uint8_t* const* planes, int32_t count, int32_t x0,
                        int32_t lines) {
    if (!cvt || !bnrz || !input || !planes) return 1;
    const uint32_t setting = HXRGetColorCvtTextEnhance(cvt);
    if (HXRGeColorCvtMode(cvt) != kHxrColorCvt3D || setting == kHxrTextEnhanceOff ||
        HXRGetInkQuantityElementSize(cvt) != 1)
        return 0;
    uint32_t target = HXRGetBnrzOutputColorOrder(bnrz, kTargetCode);
    if (target == kNone) target = HXRGetBnrzOutputColorOrder(bnrz, kTargetCodeAlt);
    if (target == kNone) return 0;
    return HXRTextEnhanceColor(setting, cvt, bnrz, input, planes, count, x0, lines, HXRGetBnrzHalftoneColorNum(bnrz),
                               target);
}

uint32_t HXRTextEnhanceColor(uint32_t setting, const HXRColorCvtController* cvt, const HXRBinarizeController* bnrz,
                             const uint8_t* const* input, uint8_t* const* planes, int32_t count, int32_t x0,
                             int32_t lines, uint32_t hc, uint32_t target) {
    if (!cvt || !bnrz || !input || !planes || count < 0 || x0 < 0 || (lines != 1 && lines != 2)) return 1;
    // Output pixel p of pair k is x0 / 2 + k; the planes hold pixelSize pixels.
    const uint64_t pairs = uint64_t(count) / 2, p0 = uint64_t(x0) >> 1;
    if (p0 + pairs > HXRGetBnrzPixelSize(bnrz)) return 1;
    if (HXRGetBnrzBitPerColor(bnrz) != kEdgeBits || target >= hc || hc > kHxrBnrzColors) return 0;
    const uint64_t stride = HXRGetColorCvtPixelOffset(cvt);
    const uint32_t bytes = sample_bytes(cvt);
    if (stride == 0 || pairs == 0 || (bytes != 1 && bytes != 2)) return 0;
    for (int32_t l = 0; l < lines * int32_t(kChannels); ++l)
        if (!input[l]) return 0;
    for (int32_t l = 0; l < lines; ++l) {
        const uint8_t* const* line = input + size_t(l) * kChannels;
        uint8_t* const* row = planes + size_t(l) * hc;
        const auto pass = bytes == 1 ? pass_line<uint8_t> : pass_line<uint16_t>;
        const uint32_t r = pass(setting, line, row, stride, uint64_t(x0), pairs, p0, hc, target);
        if (r != 0) return 1;
    }
    return 0;
}
