// Fuzzes the LUT resource parser and its getters (directly and through the
// resource manager, so packed tables are unpacked first), the double-gamma
// tables of the gammas it reads, and the user colour table reader.
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut.h"
#include "hxr/control/hxr_resmgr.h"
#include "hxr_fuzz_services.h"

namespace {

void walk(const HXRLutResParser* p) {
    uint8_t node[256];
    uint32_t v[256], tone[3][6], rate[3][6];
    const uint32_t g = HXRGetLutColorGridNum(p);
    for (uint32_t i = 0; i < g && i < 40; i += 3)
        for (uint32_t mode = 0; mode < 4; ++mode) {
            HXRGetLutColor3dLut(p, i, g - 1 - i, i / 2, mode, i % 5, node);
            HXRGetLutColor4dLut(p, i, i, g - 1, i, mode, 1, node);
        }
    for (uint32_t i = 0; i < 260; i += 7) {
        HXRGetLutColorInkCode(p, i), HXRGetLutColorGridPos(p, i), HXRGetLutMonoGridPos(p, i);
        HXRGetLutMonoLut(p, i, node);
        HXRGetLut16GrayLut(p, i, i % 3, 0, v);
        HXRGetLut16GrayInkCode(p, i), HXRGetLutTNMXInkCode(p, i), HXRGetLutTNMXGridPos(p, i);
        HXRGetLutTNMXLut(p, i, v);
    }
    HXRGetLutMonoLut(p, HXRGetLutMonoGridNum(p) - 1, node);
    HXRGetLut16GrayLut(p, HXRGetLut16GrayGridNum(p) - 1, 0, 0, v);
    HXRGetLutTNMXLut(p, 255, v);
    HXRGetLutTNMXColorControlParam(p, tone, rate);
    HXRGetLutTNMXTotalInkDuty(p), HXRGetLutTNMXMaxValue(p), HXRGetLutTNMXCtcnNum(p);
    // The ink coding of the gammas the resource names.
    uint32_t dec[256], enc[257];
    for (auto [g0, g255] : {std::pair{HXRGetLutColorDblGamma0(p), HXRGetLutColorDblGamma255(p)},
                            std::pair{HXRGetLutMonoDblGamma0(p), HXRGetLutMonoDblGamma255(p)}}) {
        if (HXRGetDbgDecTable(dec, g0, g255) == 0 && HXRGetDbgEncTable(enc, g0, g255) == 0) {
            const uint32_t codes[2] = {g0 & 255, g255 & 255};
            const uint32_t* tables[2] = {dec, dec};
            HXRGetMeanInkValueDecodeEncode(codes, tables, enc);
            HXREncodeDoubleGamma(enc, g0 * 977u);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hxr_fuzz;
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return 0;
    const Exact res(data, size);
    if (HXRLutResParser* p = HXRCreateLutResParser(res.p, res.n, str_ncompare, to_integer, compare, mm)) {
        walk(p);
        HXRDeleteLutResParser(p, mm);
    }
    const std::vector<uint8_t> resource(data, data + size);
    const HXRServiceTable svc = services(&resource);
    if (HXRResMgr* rm = HXRCreateResMgr(svc.GetResource, svc.FreeResource, svc.Context, svc.MemCpy, mm)) {
        uint32_t n = 0;
        if (const uint8_t* r = HXRGetResource(rm, 1, kHxrResKindLut, &n)) {
            if (HXRLutResParser* p = HXRCreateLutResParser(r, n, str_ncompare, to_integer, compare, mm)) {
                walk(p);
                HXRDeleteLutResParser(p, mm);
            }
        }
        HXRDeleteResMgr(rm);
    }
    const HXRUserLutParser user = HXRCreateUserLutParser(res.p, res.n);
    uint32_t out[12];
    for (uint32_t i = 0; i < 258; i += 5) HXRGetUserLutData(&user, i, out);
    HXRSetErrorInfo(0);
    HXRDeleteMemMgr(mm);
    return 0;
}
