// A halftone-engine job start over the default model, whole and in its two
// largest parts.
//   BM_HxrJobStart: HXR_CreateInstance and HXR_DeleteInstance for the colour
//     and the mono ink set, output flags 1 (the host halftones) and 3 (and
//     the printer's SLUT package).
//   BM_HxrIndexParse: the print-mode index resource parsed and deleted.
//   BM_HxrLutBuild: the colour table of the default job built and deleted.
#include <benchmark/benchmark.h>

#include "hxr/control/hxr_index.h"
#include "hxr/control/hxr_instance.h"
#include "hxr/control/hxr_lut_build.h"
#include "support/counting_services.h"
#include "support/model.h"
#include "support/model_index.h"

namespace {

using namespace ovcg_test;

ModelPrintMode default_mode(const ModelDescription& model) {
    for (const ModelPrintMode& m : model_print_modes(model))
        if (m.doc_type == 0 && m.sub_type == 0 && m.ht_type == 3 && m.out_bits == 2) return m;
    return {};
}

void BM_HxrJobStart(benchmark::State& state) {
    const uint32_t inkSet = uint32_t(state.range(0));
    const int flags = int(state.range(1));
    CountingServices svc;
    const ModelDescription model = default_model();
    svc.add_resources_from(build_model(model));
    const ModelPrintMode m = default_mode(model);
    const _HXR_IMAGE_INFO image = {3, 1, 3, 0, 4800};
    const _HXR_HALFTONE_INFO halftone = {inkSet, m.media, 0, 0, 3, m.h_res, m.v_res, 2, 0, 1, 1};
    _HXR_OPTION_INFO option;
    HXR_GetDefaultValue(&option);
    for (auto _ : state) {
        void* h = nullptr;
        if (HXR_CreateInstance(&h, &image, &halftone, &option, svc.table(), flags) != 0) {
            state.SkipWithError("job start failed");
            break;
        }
        HXR_DeleteInstance(h);
    }
}
BENCHMARK(BM_HxrJobStart)
    ->ArgNames({"ink_set", "flags"})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 3})
    ->Args({0, 3})
    ->Unit(benchmark::kMillisecond);

void BM_HxrIndexParse(benchmark::State& state) {
    CountingServices svc;
    const HXRServiceTable* t = svc.table();
    const ResWriter file = build_model(default_model());
    const Bytes& text = *file.find(kResTypeHalftone, kModelIndexId + 100);
    HXRMemMgr* mm = HXRCreateMemMgr(t->Alloc, t->Free);
    for (auto _ : state) {
        HXRIndexParser* p =
            HXRCreateIndexResParser(text.data(), uint32_t(text.size()), mm, t->StrCmp, t->StrCpy, t->AtoI, t->StrLen);
        if (!p) {
            state.SkipWithError("index refused");
            break;
        }
        HXRDeleteIndexResParser(p, mm);
    }
    HXRDeleteMemMgr(mm);
}
BENCHMARK(BM_HxrIndexParse)->Unit(benchmark::kMicrosecond);

void BM_HxrLutBuild(benchmark::State& state) {
    CountingServices svc;
    const ModelDescription model = default_model();
    svc.add_resources_from(build_model(model));
    const HXRServiceTable* t = svc.table();
    HXRMemMgr* mm = HXRCreateMemMgr(t->Alloc, t->Free);
    const ModelPrintMode m = default_mode(model);
    const _HXR_HALFTONE_INFO q = {1, m.media, 0, 0, 3, m.h_res, m.v_res, 2, 0, 1, 1};
    _HXR_OPTION_INFO option;
    HXR_GetDefaultValue(&option);
    HXRResReadController* rc = HXRCreateResReadController(t, mm);
    HXRClrMgr* clr = nullptr;
    if (HXRFindPrintMode(rc, &q, &option) == 0) clr = HXRCreateClrMgr(1, 2, HXRGetBlackInkCode(rc), mm);
    if (!clr || HXRReadAllResource(rc, clr) != 0) state.SkipWithError("no print mode");
    for (auto _ : state) {
        HXRLutSlc* slice = HXRCreateTRAQ2LutSlc(HXRGetLutParser(rc, 0), kLutSlice3D, 64, 1, &q, &option,
                                                kHxrDutyFactorModeId, 0, clr, mm);
        if (!slice) {
            state.SkipWithError("build failed");
            break;
        }
        HXRDeleteTRAQ2LutSlc(slice, mm);
    }
    HXRDeleteResReadController(rc);
    HXRDeleteMemMgr(mm);
}
BENCHMARK(BM_HxrLutBuild)->Unit(benchmark::kMillisecond);

}  // namespace
