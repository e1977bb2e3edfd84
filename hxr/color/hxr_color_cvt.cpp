#include "hxr/color/hxr_color_cvt.h"

#include "hxr/color/hxr_color_band.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_build.h"

#include <cstring>

namespace {

// What a band reads as its attribute without an attribute plane.
const uint8_t kZeroAttribute = 0;

bool is_lut_scale(int32_t scale) {
    return scale == 1 || scale == 2 || scale == 4 || scale == 8 || scale == kHxrScaleHalf;
}

bool is_pattern_d(const HXRValueSettings& v) {
    for (const auto& table : v.patternD)
        for (uint32_t w : table)
            if (w >= 1 && w <= 255) return true;
    return false;
}

uint32_t grid_num(uint32_t dimension) { return dimension == 3 ? kHxr3DLutGridNum : kHxr4DLutGridNum; }

HXRColorCvt* CreateColorCvt(const _HXR_IMAGE_INFO* image, HXRValueSettings* values, int32_t scale, const HXRClrMgr* clr,
                            HXRMemMgr* memory, uint32_t dimension) {
    if (!image || !values || !clr || !is_lut_scale(scale)) return nullptr;
    const bool patternD = is_pattern_d(*values);
    const uint32_t n = HXRGetOutputColorNum(clr);
    if (n == 0) return nullptr;

    HXRColorKernel color[2] = {}, user[2] = {}, wprint[2] = {};
    HXRColorFamily userFamily;
    bool wprintMode = false;
    uint32_t wChannel = kHxrNoValue;
    if (dimension == 4) {
        const bool underWhite = values->underWhite != 0;
        const HXRColorFamily main = underWhite ? (patternD ? kColor4DUnderWhitePatternD : kColor4DUnderWhite)
                                               : (patternD ? kColor4DPatternD : kColor4D);
        userFamily = underWhite ? (patternD ? kColor4DUserSpecUnderWhitePatternD : kColor4DUserSpecUnderWhite)
                                : (patternD ? kColor4DUserSpecPatternD : kColor4DUserSpec);
        if (!GetColorCvtColorFunc(HXRGetColorFuncTable(main), n, scale, color)) return nullptr;
    } else {
        wprintMode = values->wprint.outputMode != kHxrWPrintOff;
        if (!wprintMode) {
            if (!GetColorCvtColorFunc(HXRGetColorFuncTable(patternD ? kColor3DPatternD : kColor3D), n, scale, color))
                return nullptr;
        } else {
            if (!GetColorCvtColorFunc(HXRGetColorFuncTable(kColor3DWprint), n, scale, wprint)) return nullptr;
            // The W channel must be one of the rows the kernels write.
            wChannel = HXRGetLutColorOrder(clr, kHxrWhiteInkCode);
            if (wChannel >= n || wChannel >= kHxrWPrintChannels) return nullptr;
        }
        userFamily = patternD ? kColor3DUserSpecPatternD : kColor3DUserSpec;
    }
    if (!GetColorCvtColorFunc(HXRGetColorFuncTable(userFamily), n, scale, user)) return nullptr;

    auto* c = static_cast<HXRColorCvt*>(HXRAllocMem(memory, sizeof(HXRColorCvt)));
    if (!c) return nullptr;
    // Nothing can fail from here on: only now complete the caller's block.
    if (wprintMode) {
        values->wprint.wChannel = static_cast<int32_t>(wChannel);
        values->wprint.weight[wChannel] = 0;
        values->wprint.cap[wChannel] = 0;
    }
    for (int s = 0; s < 2; ++s) {
        c->colorFunc[s] = color[s];
        c->userSpecFunc[s] = user[s];
        c->wprintFunc[s] = wprint[s];
        c->lut[s] = nullptr;
    }
    c->userTable = nullptr;
    HXRKeepImageGeometry(c, *image, scale);
    c->textEnhance = values->textEnhance;
    c->wprintParam = values->wprint;
    c->dimension = dimension;
    c->colorNum = n;
    return c;
}

// The kernels index a table by the converter's grid and channel count and
// step from a pre-table position up to 255/256 of a node further.
bool lut_fits(const HXRLutData* lut, const HXRColorCvt* c) {
    const uint32_t grid = grid_num(c->dimension);
    if (!lut->grid || lut->dimension != c->dimension || lut->channels != c->colorNum || lut->gridNum != grid)
        return false;
    for (uint32_t p : lut->preTable)
        if (p > (grid - 1) * 256) return false;
    return true;
}

uint32_t attach(HXRColorCvt* c, const HXRColorCvtLutSet* set, uint32_t dimension) {
    if (!c || !set || c->dimension != dimension) return 1;
    const HXRLutData* const* luts = dimension == 3 ? set->lut3D : set->lut4D;
    const HXRLutData* lut0 = luts[0];
    if (!lut0) return 1;
    const HXRLutData* lut1 = luts[1] ? luts[1] : lut0;
    if (!lut_fits(lut0, c) || !lut_fits(lut1, c)) return 1;
    if (set->userTable && set->userChannels != c->colorNum) return 1;
    c->lut[0] = lut0;
    c->lut[1] = lut1;
    c->userTable = set->userTable;
    return 0;
}

uint32_t convert(HXRColorCvt* c, uint32_t dimension, HXRIntermediateData* ink, HXRRandNum* random,
                 const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start, int32_t lines,
                 int32_t lineNumber) {
    if (!c || !ink || !random || c->dimension != dimension || !c->lut[0]) return 1;
    const HXRBandShape shape = {c->width, c->attrStride, dimension, true, &kZeroAttribute};
    HXRBandInput in;
    if (!HXRPrepareBand(shape, planes, attrs, count, start, lines, &in)) return 1;
    if (c->scale == kHxrScaleHalf && ((start | count) & 1) != 0) return 1;

    const bool userColours = c->attrStride != 0 && c->userTable != nullptr;
    HXRColorKernel kernel = (userColours ? c->userSpecFunc : c->colorFunc)[in.vExpansion];
    const void* aux = c->userTable;
    if (!kernel && dimension == 3) {
        kernel = c->wprintFunc[in.vExpansion];
        aux = &c->wprintParam;
    }
    // A dummy slot would leave the previous band's rows and span standing.
    if (!kernel || kernel == HXRColorConvertDummy || kernel == HXRColorConvertDummyWp) return 1;

    const int32_t end = start + count;
    if (ink->inkNum != static_cast<int32_t>(c->colorNum)) return 1;
    if (!HXRInkRowsFit(ink, 1, HXRBandRowNeed(end, c->scale), ink->inkNum, in.vExpansion)) return 1;

    HXRSetVExpansion(ink, in.vExpansion);
    // Both lines of a pair, and every band starting at the same line, share a seed.
    const uint32_t seed = HXRGetRandNum(random, static_cast<uint32_t>(lineNumber / 2));
    kernel(c->lut, aux, ink, seed, c->pixelOffset, c->sampleBytes, c->scale, in.planes, in.attrs, c->attrStride, start,
           end);
    return 0;
}

// One pixel through HXR8TRAQ2LutInterpolate3D / 4D. The interpolation runs
// over all N channels of the node, so the node width matches the table
// whatever `channels` asks for; only the first `channels` codes are written.
uint32_t lookup_one(const HXRColorCvt* c, uint32_t dimension, uint8_t* out, const uint8_t* pixel, uint32_t mode,
                    uint32_t useAttribute, int32_t channels) {
    if (!c || c->dimension != dimension || !out || !pixel || !c->lut[0]) return 1;
    if (channels < 1 || static_cast<uint32_t>(channels) > c->colorNum) return 1;
    const uint32_t grid = grid_num(dimension);
    uint32_t levels[kHxr3DLutGridNum];
    if (HXRGetRebuildGridPos(levels, grid, dimension == 3 ? kHxrLutType3D : kHxrLutType4D) != 0) return 1;
    uint32_t index[256];
    if (HXRGetSrcLutGridPosIndex(index, grid, levels) != 0 || mode != 1) return 1;
    const HXRLutData* lut = c->lut[useAttribute == 1 && (pixel[dimension] & 3) == 1 ? 1 : 0];
    uint8_t codes[kHxrMaxInkNum];
    const uint32_t failed =
        dimension == 3 ? HXR8TRAQ2LutInterpolate3D(codes, pixel[0], pixel[1], pixel[2], lut->decode, lut->encode,
                                                   lut->grid, grid, c->colorNum, index)
                       : HXR8TRAQ2LutInterpolate4D(codes, pixel[0], pixel[1], pixel[2], pixel[3], lut->decode,
                                                   lut->encode, lut->grid, grid, c->colorNum, index);
    if (failed) return 1;
    std::memcpy(out, codes, static_cast<size_t>(channels));
    return 0;
}

}  // namespace

HXRColorCvt* HXRCreateColorCvt3D(const _HXR_IMAGE_INFO* imageInfo, HXRValueSettings* values, int32_t scale,
                                 const HXRClrMgr* colourManager, HXRMemMgr* memory) {
    return CreateColorCvt(imageInfo, values, scale, colourManager, memory, 3);
}

HXRColorCvt* HXRCreateColorCvt4D(const _HXR_IMAGE_INFO* imageInfo, HXRValueSettings* values, int32_t scale,
                                 const HXRClrMgr* colourManager, HXRMemMgr* memory) {
    return CreateColorCvt(imageInfo, values, scale, colourManager, memory, 4);
}

uint32_t HXRSetColorCvt3DData(HXRColorCvt* converter, const HXRColorCvtLutSet* set) {
    return attach(converter, set, 3);
}

uint32_t HXRSetColorCvt4DData(HXRColorCvt* converter, const HXRColorCvtLutSet* set) {
    return attach(converter, set, 4);
}

uint32_t HXRColorConvert3D(HXRColorCvt* converter, HXRIntermediateData* ink, HXRRandNum* random,
                           const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                           int32_t lines, int32_t lineNumber) {
    return convert(converter, 3, ink, random, planes, attrs, count, start, lines, lineNumber);
}

uint32_t HXRColorConvert4D(HXRColorCvt* converter, HXRIntermediateData* ink, HXRRandNum* random,
                           const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                           int32_t lines, int32_t lineNumber) {
    return convert(converter, 4, ink, random, planes, attrs, count, start, lines, lineNumber);
}

uint32_t HXRGetColorConvert3DData(const HXRColorCvt* converter, uint8_t* out, const uint8_t* pixel, uint32_t mode,
                                  uint32_t useAttribute, int32_t channels) {
    return lookup_one(converter, 3, out, pixel, mode, useAttribute, channels);
}

uint32_t HXRGetColorConvert4DData(const HXRColorCvt* converter, uint8_t* out, const uint8_t* pixel, uint32_t mode,
                                  uint32_t useAttribute, int32_t channels) {
    return lookup_one(converter, 4, out, pixel, mode, useAttribute, channels);
}

uint32_t HXRGetColorCvtClrTextEnhance(const HXRColorCvt* c) { return c ? c->textEnhance : 0; }
uint32_t HXRGetColorCvtClrPixelOffset(const HXRColorCvt* c) { return c ? c->pixelOffset : 0; }
uint32_t HXRGetColorCvt3DLutGridNum(const HXRColorCvt* c) { return c ? kHxr3DLutGridNum : 0; }
uint32_t HXRGetColorCvt4DLutGridNum(const HXRColorCvt* c) { return c ? kHxr4DLutGridNum : 0; }
uint32_t HXRGetColorCvt3DLutGridNumCore() { return kHxr3DLutGridNum; }
uint32_t HXRGetColorCvt4DLutGridNumCore() { return kHxr4DLutGridNum; }
