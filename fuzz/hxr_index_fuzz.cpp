// Fuzzes the print-mode index: the text parser, the queries on what it
// parsed, and the read controller's search for one or two intents.
#include "hxr/control/hxr_readctrl.h"
#include "hxr_fuzz_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hxr_fuzz;
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return 0;
    const Exact text(data, size);
    if (HXRIndexParser* p = HXRCreateIndexResParser(text.p, text.n, mm, str_compare, str_copy, to_integer, str_length)) {
        // Query every row's own print mode, for a colour and a monochrome job.
        for (int32_t i = 0; i < p->count && i < 64; ++i) {
            const HXRIndexRow& r = p->rows[i];
            for (uint32_t ink_set : {0u, 1u}) {
                const _HXR_HALFTONE_INFO q = {ink_set, r.media, ink_set ? r.docTypeA : r.docTypeB, r.subType,
                                              r.halftone, r.hRes, r.vRes, r.outBit, 0, 0, 1};
                const uint32_t n = HXRGetMatchedPrintMode(p, &q);
                if (HXRIndexInfo* info = HXRCreateIndexInfo(p, &q, int32_t(n), mm, str_copy, to_integer))
                    HXRDeleteIndexInfo(info, mm);
                HXRSearchPrintMode(p, q.inkSet, q.media, q.docType, q.subType, q.htType, q.xResolution,
                                   q.yResolution, q.outputBits, int32_t(n) + 1);
            }
        }
        HXRDeleteIndexResParser(p, mm);
    }
    // The read controller over the same text as its index.
    const std::vector<uint8_t> resource(data, data + size);
    const HXRServiceTable svc = services(&resource);
    if (HXRResReadController* c = HXRCreateResReadController(&svc, mm)) {
        const _HXR_HALFTONE_INFO q = {1, 1, 0, 0, 3, 300, 300, 1, 0, 0, 1};
        _HXR_OPTION_INFO o{};
        o.secondDocType = size ? data[0] % 9 : 0xFFFFFFFFu;
        HXRFindPrintMode(c, &q, &o);
        HXRGetBlackInkCode(c);
        HXRGetMicroStr(c, 1);
        HXRDeleteResReadController(c);
    }
    HXRSetErrorInfo(0);
    HXRDeleteMemMgr(mm);
    return 0;
}
