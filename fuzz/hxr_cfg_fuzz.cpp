// Fuzzes the configuration resource parser and its look-ups, and the
// calibration blob reader. The first byte chooses: even, the configuration
// resource; odd, the calibration blob.
#include "hxr/control/hxr_cfg.h"
#include "hxr/control/hxr_rate.h"
#include "hxr_fuzz_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hxr_fuzz;
    if (size < 1) return 0;
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return 0;
    const Exact res(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        if (HXRCfgResParser* p = HXRCreateCfgResParser(res.p, res.n, str_ncompare, mm)) {
            const uint32_t value_size = HXRGetIdPosSize(p);
            const struct {
                uint32_t ink_set, bits;
            } sets[] = {{0, 1}, {1, 2}, {3, 2}, {11, 34}};
            const char* names[] = {"0", "MW1", "MW3", "", "12"};
            for (const auto& s : sets) {
                HXRClrMgr* clr = HXRCreateClrMgr(s.ink_set, s.bits, 0, mm);
                for (const char* a : names)
                    for (const char* b : names) {
                        const uint8_t* block = HXRSearchCorrectMode(p, s.ink_set, s.bits & 15, a, b, str_ncompare);
                        for (uint32_t ink = 0; block && ink < 8; ++ink)
                            for (uint32_t dot = 0; dot < 6; ++dot) HXRGetCorrectOffset(block, ink, dot, value_size, clr);
                    }
                HXRDeleteClrMgr(clr, mm);
            }
            HXRDeleteCfgResParser(p, mm);
        }
    } else {
        const HXRClbTblParser p = HXRCreateClbTblParser(res.p, res.n);
        for (uint32_t id = 0; id < 24; ++id) {
            const uint8_t* table = HXRSearchCalibTable(&p, id);
            for (uint32_t level = 0; table && level < 257; ++level) HXRGetCalibData(table, level);
        }
    }
    HXRSetErrorInfo(0);
    HXRDeleteMemMgr(mm);
    return 0;
}
