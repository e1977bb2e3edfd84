#include "hxr/color/hxr_color_ctrl.h"

#include "hxr/color/hxr_color_cvt.h"
#include "hxr/color/hxr_color_direct.h"
#include "hxr/color/hxr_color_tnmx.h"

namespace {

bool is_scale(uint32_t scale) {
    return scale == 1 || scale == 2 || scale == 4 || scale == 8 || scale == static_cast<uint32_t>(kHxrScaleHalf);
}

// Kind of converter for the colour mode and document type; 0 when none.
uint32_t kind_for(uint32_t mode, uint32_t docType) {
    const bool direct = HXRDirectColorModePlanes(mode) != 0;
    if (docType == kHxrDocTypeTNMX) {
        if (mode == kHxrColorModeRGB) return kHxrColorCvtTNMX;
        return direct ? kHxrColorCvtDirectTNMX : 0;
    }
    if (mode == kHxrColorModeRGB) return kHxrColorCvt3D;
    if (mode == kHxrColorModeCMYK) return kHxrColorCvt4D;
    return direct ? kHxrColorCvtDirect : 0;
}

HXRColorCvt* lut_cvt(const HXRColorCvtController* c) {
    return c && (c->kind == kHxrColorCvt3D || c->kind == kHxrColorCvt4D) ? static_cast<HXRColorCvt*>(c->converter)
                                                                         : nullptr;
}
HXRColorCvtTNMX* tnmx_cvt(const HXRColorCvtController* c) {
    return c && c->kind == kHxrColorCvtTNMX ? static_cast<HXRColorCvtTNMX*>(c->converter) : nullptr;
}
HXRColorCvtDirect* direct_cvt(const HXRColorCvtController* c) {
    return c && (c->kind == kHxrColorCvtDirect || c->kind == kHxrColorCvtDirectTNMX)
               ? static_cast<HXRColorCvtDirect*>(c->converter)
               : nullptr;
}

}  // namespace

uint32_t HXRDirectColorModePlanes(uint32_t mode) {
    // Plane counts 1, 4..10 and 12: bit n - 1 of 0xBF9. The range comes
    // first, so the shift is always defined.
    if (mode <= kHxrColorModeDirect || mode > kHxrColorModeDirect + kHxrMaxInks) return 0;
    const uint32_t n = mode - kHxrColorModeDirect;
    return (0xBF9u >> (n - 1)) & 1 ? n : 0;
}

HXRColorCvtController* HXRCreateColorCvtController(const _HXR_IMAGE_INFO* image, const _HXR_HALFTONE_INFO* halftone,
                                                   HXRValueSettings* values, const HXRClrMgr* clr, HXRMemMgr* memory) {
    if (!image || !halftone || !clr) return nullptr;
    if (static_cast<int32_t>(image->pixelOffset) < 0 || static_cast<int32_t>(image->attributeStride) < 0 ||
        static_cast<int32_t>(image->width) < 0 || (image->sampleBytes != 1 && image->sampleBytes != 2)) {
        HXRSetErrorInfo(kHxrColorCvtImageInvalid);
        return nullptr;
    }
    if (!is_scale(halftone->scale)) {
        HXRSetErrorInfo(kHxrColorCvtScaleInvalid);
        return nullptr;
    }
    const uint32_t kind = kind_for(image->colorMode, halftone->docType);
    if (kind == 0) {
        HXRSetErrorInfo(kHxrColorCvtModeInvalid);
        return nullptr;
    }

    const int32_t scale = static_cast<int32_t>(halftone->scale);
    void* converter = nullptr;
    switch (kind) {
        case kHxrColorCvt3D: converter = HXRCreateColorCvt3D(image, values, scale, clr, memory); break;
        case kHxrColorCvt4D: converter = HXRCreateColorCvt4D(image, values, scale, clr, memory); break;
        case kHxrColorCvtTNMX: converter = HXRCreateColorCvtTNMX(image, scale, clr, memory); break;
        case kHxrColorCvtDirect: converter = HXRCreateColorCvtDirect(image, scale, clr, memory); break;
        default: converter = HXRCreateColorCvtDirectTNMX(image, scale, clr, memory); break;
    }
    if (!converter) return nullptr;
    if (kind == kHxrColorCvtDirect || kind == kHxrColorCvtDirectTNMX) {
        const uint32_t planes = HXRDirectColorModePlanes(image->colorMode);
        if (HXRGetColorCvtDirectColorNum(static_cast<HXRColorCvtDirect*>(converter)) != planes) {
            HXRSetErrorInfo(kHxrColorCvtDirectCount);
            return nullptr;
        }
    }
    auto* c = static_cast<HXRColorCvtController*>(HXRAllocMem(memory, sizeof(HXRColorCvtController)));
    if (!c) return nullptr;
    c->kind = kind;
    c->converter = converter;
    return c;
}

uint32_t HXRSetColorCvtData(HXRColorCvtController* c, const HXRColorCvtLutSet* set) {
    if (!c) return 1;
    switch (c->kind) {
        case kHxrColorCvt3D: return HXRSetColorCvt3DData(lut_cvt(c), set) != 0 ? 1 : 0;
        case kHxrColorCvt4D: return HXRSetColorCvt4DData(lut_cvt(c), set) != 0 ? 1 : 0;
        // A refused monochrome-photo table is a failure like any other.
        case kHxrColorCvtTNMX: return HXRSetColorCvtTNMXData(tnmx_cvt(c), set) != 0 ? 1 : 0;
        case kHxrColorCvtDirect:
        case kHxrColorCvtDirectTNMX: return 0;  // direct input uses no table
        default: return 1;
    }
}

uint32_t HXRColorConvert(HXRColorCvtController* c, HXRIntermediateData* ink, HXRRandNum* random,
                         const uint8_t* const* planes, const uint8_t* const* attrs, int32_t count, int32_t start,
                         int32_t lines, int32_t lineNumber) {
    if (!c) return 1;
    uint32_t r = 1;
    switch (c->kind) {
        case kHxrColorCvt3D:
            r = HXRColorConvert3D(lut_cvt(c), ink, random, planes, attrs, count, start, lines, lineNumber);
            break;
        case kHxrColorCvt4D:
            r = HXRColorConvert4D(lut_cvt(c), ink, random, planes, attrs, count, start, lines, lineNumber);
            break;
        case kHxrColorCvtTNMX:
            r = HXRColorConvertTNMX(tnmx_cvt(c), ink, random, planes, attrs, count, start, lines, lineNumber);
            break;
        case kHxrColorCvtDirect:
        case kHxrColorCvtDirectTNMX:
            r = HXRColorConvertDirect(direct_cvt(c), ink, random, planes, attrs, count, start, lines, lineNumber);
            break;
        default: break;
    }
    return r != 0 ? 1 : 0;
}

uint32_t HXRGetColorConvertColorConvertData(const HXRColorCvtController* c, uint8_t* out, const uint8_t* pixel,
                                            uint32_t colourMode, uint32_t mode, uint32_t useAttribute,
                                            int32_t channels) {
    if (!c || !out || !pixel) return 1;
    if (colourMode == kHxrColorModeRGB && c->kind == kHxrColorCvt3D)
        return HXRGetColorConvert3DData(lut_cvt(c), out, pixel, mode, useAttribute, channels);
    if (colourMode == kHxrColorModeCMYK && c->kind == kHxrColorCvt4D)
        return HXRGetColorConvert4DData(lut_cvt(c), out, pixel, mode, useAttribute, channels);
    return 1;
}

uint32_t HXRGeColorCvtMode(const HXRColorCvtController* c) { return c ? c->kind : 0; }

uint32_t HXRGetColorCvtLutType(const HXRColorCvtController* c) {
    if (!c) return 0;
    switch (c->kind) {
        case kHxrColorCvt3D: return kLutSlice3D;
        case kHxrColorCvt4D: return kLutSlice4D;
        case kHxrColorCvtTNMX: return kLutSliceTNMX;
        default: return 0;
    }
}

uint32_t HXRIfUseLut(const HXRColorCvtController* c) { return HXRGetColorCvtLutType(c) != 0 ? 1 : 0; }
uint32_t HXRGetColorCvtLutGridInfoType(const HXRColorCvtController* c) { return HXRIfUseLut(c); }

uint32_t HXRGetColorCvtLutGridNum(const HXRColorCvtController* c) {
    if (!c) return 0;
    switch (c->kind) {
        case kHxrColorCvt3D: return HXRGetColorCvt3DLutGridNum(lut_cvt(c));
        case kHxrColorCvt4D: return HXRGetColorCvt4DLutGridNum(lut_cvt(c));
        case kHxrColorCvtTNMX: return HXRGetColorCvtTNMXLutGridNum(tnmx_cvt(c));
        default: return 0;
    }
}

uint32_t HXRGetInkQuantityElementSize(const HXRColorCvtController* c) {
    if (lut_cvt(c) || tnmx_cvt(c)) return 1;
    return HXRGetColorCvtDirectElementSize(direct_cvt(c));
}

uint32_t HXRGetColorCvtTextEnhance(const HXRColorCvtController* c) { return HXRGetColorCvtClrTextEnhance(lut_cvt(c)); }
uint32_t HXRGetColorCvtPixelOffset(const HXRColorCvtController* c) { return HXRGetColorCvtClrPixelOffset(lut_cvt(c)); }

const HXRLutTNMXData* HXRGetTNMXLutInfo(const HXRColorCvtController* c, uint32_t intent) {
    return HXRGetColorCvtTNMXLutInfo(tnmx_cvt(c), intent);
}

const uint32_t* HXRGetTNMXLutData(const HXRColorCvtController* c, uint32_t intent) {
    return HXRGetColorCvtTNMXLUTData(tnmx_cvt(c), intent);
}
