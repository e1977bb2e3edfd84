// Fuzzes the colour-table builder on hostile LUT resources: the first 16
// bytes choose the job (ink set, channel mode, document type, picture
// controls, duty, monochrome-photo controls), the rest is the resource. Every
// slice kind is built and its tables are read back; 4D builds (a million
// nodes) only for one input in eight.
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr_fuzz_services.h"

#include <cstring>

namespace {

constexpr size_t kParams = 16;

void read_back(const HXRLutData* lut) {
    if (!lut || !lut->grid) return;
    uint32_t levels[64], index[256];
    if (HXRGetRebuildGridPos(levels, lut->gridNum, lut->dimension) != 0) return;
    HXRGetSrcLutGridPosIndex(index, lut->gridNum, levels);
    uint8_t out[12];
    for (uint32_t v = 0; v < 256; v += 51) {
        if (lut->dimension == 3)
            HXR8TRAQ2LutInterpolate3D(out, v, 255 - v, v / 2, lut->decode, lut->encode, lut->grid, lut->gridNum,
                                      lut->channels, index);
        else
            HXR8TRAQ2LutInterpolate4D(out, v, 255 - v, v / 2, v * 3, lut->decode, lut->encode, lut->grid, lut->gridNum,
                                      lut->channels, index);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hxr_fuzz;
    if (size < kParams) return 0;
    const uint8_t* q = data;
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return 0;
    const Exact res(data + kParams, size - kParams);
    HXRLutResParser* p = HXRCreateLutResParser(res.p, res.n, str_ncompare, to_integer, compare, mm);
    static const uint32_t kInkSets[8] = {0, 1, 3, 7, 11, 25, 26, 44};
    HXRClrMgr* clr = HXRCreateClrMgr(kInkSets[q[0] & 7], (q[0] & 8) ? 34 : 2, 0, mm);
    if (p && clr) {
        _HXR_HALFTONE_INFO ht{};
        ht.inkSet = kInkSets[q[0] & 7];
        ht.docType = q[2] % 8;
        _HXR_OPTION_INFO o{};
        o.tone[0] = (q[3] & 1) ? -1 : int8_t(q[3]) + 175;
        for (int w = 1; w < 7; ++w) o.tone[w] = (q[w + 3] & 0x80) ? 0 : int8_t(q[w + 3] << 1) / 2;
        // Monochrome photo: circle, gamma, four tone controls, density, highlight point.
        o.tone[7] = int8_t(q[10]) % 76;
        o.tone[8] = int8_t(q[11]) % 76;
        o.tone[9] = 60 + q[12];
        for (int w = 10; w < 14; ++w) o.tone[w] = int8_t(q[12] * (w - 7)) % 26;
        o.tone[14] = -(q[13] % 51);
        o.tone[15] = q[12] & 1;
        for (unsigned& v : o.colorValue) v = 1024;
        if (q[13] & 1) {
            std::memcpy(o.colorValue, kHxrDutyModeId, kHxrDutyIdBytes);
            o.colorValue[4] = uint32_t(q[13]) * 40;
            for (int w = 5; w < 12; ++w) o.colorValue[w] = 0xFFFFFFFFu;
        }
        const uint32_t mode = q[1] % 8;
        const uint32_t types[3] = {kLutSlice3D, (q[14] & 7) == 0 ? kLutSlice4D : kLutSlice3D, kLutSliceTNMX};
        for (uint32_t type : types) {
            const uint32_t grid = type == kLutSlice4D ? 32 : type == kLutSliceTNMX ? 256 : (q[15] & 1) ? 64 : 32;
            HXRLutSlc* s = HXRCreateTRAQ2LutSlc(p, type, grid, 0, &ht, &o, kHxrDutyModeId, mode, clr, mm);
            if (!s) continue;
            read_back(HXRGetTRAQ2Lut3DColor(s));
            read_back(HXRGetTRAQ2Lut4DColor(s));
            HXRSetTRAQ2LUTSlcPatternDitherUpperValue(s, q[15], q[14] % 16);
            const HXRAdditionalLut blob{uint32_t(size - kParams), const_cast<uint8_t*>(res.p)};
            HXR8SetTRAQ2LutSlcCopyAdditionalLUT(s, &blob, q[13], &o, kHxrDutyModeId, clr, mm);
            HXRDeleteTRAQ2LutSlc(s, mm);
        }
        if (HXRLutSlc* s = HXRCreateTRAQ2LutSlcOnlyDbg(p, q[1] % 6, &ht, mm)) HXRDeleteTRAQ2LutSlc(s, mm);
    }
    // The resource bytes as a user colour blob.
    if (clr) HXRCreateTRAQ2LutUserData(res.p, res.n, q[1] % 8, clr, mm);
    HXRDeleteMemMgr(mm);
    return 0;
}
