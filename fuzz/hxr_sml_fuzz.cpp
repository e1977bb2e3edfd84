// Fuzzes the SML (dot-size rate) resource parser and its look-ups.
#include "hxr/control/hxr_sml.h"
#include "hxr_fuzz_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hxr_fuzz;
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return 0;
    const Exact res(data, size);
    if (HXRSmlResParser* p = HXRCreateSmlResParser(res.p, res.n, str_ncompare, mm)) {
        for (uint32_t ink = 0; ink < 24; ++ink) {
            const uint32_t g = HXRGetSmlGradNum(p, ink);
            HXRGetSmlMaxValue(p, ink), HXRGetSmlDoubleGamma0(p, ink), HXRGetSmlDoubleGamma255(p, ink);
            for (uint32_t dot = 0; dot <= HXRGetSmlDotNum(p, ink); ++dot) {
                HXRGetSmlDotWeight(p, ink, dot);
                for (uint32_t v = 0; v < g && v < 300; ++v) HXRGetSmlGenerateRate(p, ink, dot, v);
                HXRGetSmlGenerateRate(p, ink, dot, g - 1);
                HXRGetSmlGenerateRate(p, ink, dot, g);
            }
        }
        HXRDeleteSmlResParser(p, mm);
    }
    HXRSetErrorInfo(0);
    HXRDeleteMemMgr(mm);
    return 0;
}
