// Fuzzes the rate resource parser and the corrected values of its lines.
#include "hxr/control/hxr_rate.h"
#include "hxr_fuzz_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hxr_fuzz;
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return 0;
    const Exact res(data, size);
    if (HXRRateResParser* p = HXRCreateRateResParser(res.p, res.n, str_ncompare, mm)) {
        uint32_t points[4];
        for (int32_t ink = -2; ink < 24; ++ink)
            for (uint32_t index = 0; index < 8; ++index) {
                HXRGetRateData2Point(p, points, uint32_t(ink), index);
                for (uint32_t level : {0u, 1u, 100u, 254u, 255u, 256u})
                    HXRGetCorrectValue(p, uint32_t(ink), index, level);
            }
        HXRDeleteRateResParser(p, mm);
    }
    HXRSetErrorInfo(0);
    HXRDeleteMemMgr(mm);
    return 0;
}
