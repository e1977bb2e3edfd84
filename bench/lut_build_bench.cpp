// Every job start builds its colour tables: the resource's table read,
// adjusted, and re-gridded onto the kernels' grid.
//   BM_LutRebuild3D: a 17-node, 6-ink RGB table (with its gray table) onto
//     64 nodes, with brightness, contrast, saturation and gamma.
//   BM_LutRebuild4D: a 9-node, 4-ink CMYK table onto 32 nodes at duty 1536.
#include <benchmark/benchmark.h>

#include "hxr/control/hxr_lut_build.h"
#include "support/counting_services.h"
#include "support/model.h"
#include "support/model_lut.h"

#include <cstring>

namespace {

using namespace ovcg_test;

void run(benchmark::State& state, const LutSpec& recipe, uint32_t inkSet, uint32_t lutType, uint32_t gridNum,
         const _HXR_OPTION_INFO& option) {
    CountingServices svc;
    const HXRServiceTable* t = svc.table();
    HXRMemMgr* mm = HXRCreateMemMgr(t->Alloc, t->Free);
    const Bytes res = write_lut(recipe);
    HXRLutResParser* parser = HXRCreateLutResParser(res.data(), uint32_t(res.size()), t->StrNCmp, t->AtoI, t->MemCmp, mm);
    HXRClrMgr* clr = HXRCreateClrMgr(inkSet, 2, 0, mm);
    for (auto _ : state) {
        HXRLutData* lut = HXRCreateTRAQ2LutColorData(parser, lutType, gridNum, 1, 0, &option, option.colorValue,
                                                     kHxrDutyModeId, 0, clr, mm);
        if (!lut) {
            state.SkipWithError("build failed");
            break;
        }
        benchmark::DoNotOptimize(lut->grid);
        HXRDeleteTRAQ2LutColorData(lut, mm);
    }
    HXRDeleteMemMgr(mm);
}

_HXR_OPTION_INFO options() {
    _HXR_OPTION_INFO o{};
    o.tone[0] = -1;
    for (unsigned& v : o.colorValue) v = 1024;
    return o;
}

void BM_LutRebuild3D(benchmark::State& state) {
    ModelDescription model = default_model();
    model.links.format_aliases = {{101, 3}};  // the six-ink set
    _HXR_OPTION_INFO o = options();
    o.tone[0] = 220;  // gamma, brightness, contrast, saturation
    o.tone[1] = 10;
    o.tone[2] = -15;
    o.tone[3] = 20;
    run(state, model_lut_3d(model, 0), 3, 3, 64, o);
}

void BM_LutRebuild4D(benchmark::State& state) {
    _HXR_OPTION_INFO o = options();
    std::memcpy(o.colorValue, kHxrDutyModeId, kHxrDutyIdBytes);
    o.colorValue[4] = 1536;
    for (int w = 5; w < 12; ++w) o.colorValue[w] = 0xFFFFFFFFu;
    run(state, model_lut_4d(default_model()), 1, 4, 32, o);
}

}  // namespace

BENCHMARK(BM_LutRebuild3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LutRebuild4D)->Unit(benchmark::kMillisecond);
