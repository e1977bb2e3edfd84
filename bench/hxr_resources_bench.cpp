// The halftone engine's share of a job start in resources: parsing the
// model's print-mode index, finding a print mode and reading every resource
// it names, and the double-gamma tables a colour table needs.
#include <benchmark/benchmark.h>

#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_readctrl.h"
#include "support/counting_services.h"
#include "support/model_index.h"

namespace {

using namespace ovcg_test;

void BM_IndexParse(benchmark::State& state) {
    CountingServices svc;
    const HXRServiceTable* t = svc.table();
    const Bytes text = text_bytes(write_index_text(model_index(default_model())));
    HXRMemMgr* mm = HXRCreateMemMgr(t->Alloc, t->Free);
    for (auto _ : state) {
        HXRIndexParser* p = HXRCreateIndexResParser(text.data(), uint32_t(text.size()), mm, t->StrCmp, t->StrCpy,
                                                    t->AtoI, t->StrLen);
        benchmark::DoNotOptimize(p);
        HXRDeleteIndexResParser(p, mm);
    }
    HXRDeleteMemMgr(mm);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

// Create, find (document types 0 and 7: two intents), read, delete, as a job
// start does; the host serves the model's resources, the packed LUT unpacked
// each time.
void BM_ReadAllResources(benchmark::State& state) {
    CountingServices svc;
    const ModelDescription model = default_model();
    svc.add_resources_from(build_model(model));
    const ModelPrintMode m = model_print_modes(model).at(3);
    const _HXR_HALFTONE_INFO q = {1, m.media, 0, 0, m.ht_type, m.h_res, m.v_res, m.out_bits, 0, 0, 1};
    _HXR_OPTION_INFO o{};
    o.secondDocType = kModelTnmxDocType;
    HXRMemMgr* mm = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
    HXRClrMgr* clr = HXRCreateClrMgr(1, m.out_bits, 0, mm);
    for (auto _ : state) {
        HXRResReadController* c = HXRCreateResReadController(svc.table(), mm);
        if (HXRFindPrintMode(c, &q, &o) || HXRReadAllResource(c, clr)) state.SkipWithError("read failed");
        HXRDeleteResReadController(c);
    }
    HXRDeleteMemMgr(mm);
}

void BM_DoubleGammaTables(benchmark::State& state) {
    uint32_t dec[256], enc[257];
    for (auto _ : state) {
        HXRGetDbgDecTable(dec, 120, 100);
        HXRGetDbgEncTable(enc, 120, 100);
        benchmark::DoNotOptimize(enc);
    }
}

}  // namespace

BENCHMARK(BM_IndexParse);
BENCHMARK(BM_ReadAllResources);
BENCHMARK(BM_DoubleGammaTables);
