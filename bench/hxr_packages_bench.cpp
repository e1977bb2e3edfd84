// The printer-side packages of a job start for the default model: the SLUT
// package (one and two intents of 64-node 3D tables) and the RH package,
// each built and freed again; and the SLUT layout alone (both passes) over a
// data set built once.
#include <benchmark/benchmark.h>

#include "hxr/control/hxr_slut.h"
#include "support/counting_services.h"
#include "support/model_index.h"

#include <algorithm>
#include <vector>

namespace {

using namespace ovcg_test;

struct Job {
    explicit Job(uint32_t second_doc, uint32_t ht = 5) {
        svc.add_resources_from(build_model(model));
        for (const ModelPrintMode& m : model_print_modes(model))
            if (m.doc_type == 0 && m.sub_type == kModelNarrowSubType && m.ht_type == ht && m.out_bits == 2) {
                q = {1, m.media, 0, kModelNarrowSubType, ht, m.h_res, m.v_res, 2, 0, 1, 1};
                break;
            }
        std::fill(option.colorValue, option.colorValue + 12, 1024u);
        option.tone[0] = -1, option.tone[9] = 220, option.secondDocType = second_doc, option.channelMode1 = 0xFFFFFFFF;
        values.colorWords[0] = values.colorWords[1] = option.colorValue;
        mm = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
        ctrl = HXRCreateResReadController(svc.table(), mm);
        if (HXRFindPrintMode(ctrl, &q, &option) == 0) clr = HXRCreateClrMgr(1, 2, HXRGetBlackInkCode(ctrl), mm);
        if (clr && HXRReadAllResource(ctrl, clr) != 0) clr = nullptr;
        a.needLut = 1, a.lutType = 3, a.lutGridNum = 64, a.colorConvertMode = 1, a.smlGradNum = 256, a.needDth = 1;
    }
    ~Job() {
        HXRDeleteResReadController(ctrl);
        HXRDeleteMemMgr(mm);
    }
    CountingServices svc;
    const ModelDescription model = default_model();
    _HXR_HALFTONE_INFO q{};
    _HXR_OPTION_INFO option{};
    HXRDataSetOptions values{};
    HXRHtCtrlAnswers a{};
    HXRMemMgr* mm = nullptr;
    HXRResReadController* ctrl = nullptr;
    const HXRClrMgr* clr = nullptr;
};

// Everything a package leaves in the memory manager, freed by deleting the
// manager of a fresh "instance" per iteration.
template <typename Build>
void run(benchmark::State& state, Job& job, Build build) {
    if (!job.clr) return state.SkipWithError("no job");
    for (auto _ : state) {
        HXRMemMgr* inst = HXRCreateMemMgr(job.svc.table()->Alloc, job.svc.table()->Free);
        if (!build(inst)) state.SkipWithError("build failed");
        HXRDeleteMemMgr(inst);
    }
}

void BM_SlutPackage(benchmark::State& state) {
    Job job(state.range(0) == 2 ? kModelSecondDocType : 0xFFFFFFFF);
    run(state, job, [&](HXRMemMgr* inst) {
        return HXRCreateTRAQ3Data(job.ctrl, &job.a, &job.q, &job.option, &job.values, job.svc.table(), job.clr, inst,
                                  "DUTY_FACTOR_MODE") != nullptr;
    });
}

void BM_RhPackage(benchmark::State& state) {
    Job job(state.range(0) == 2 ? kModelSecondDocType : 0xFFFFFFFF);
    run(state, job, [&](HXRMemMgr* inst) {
        return HXRCreateRHData(job.ctrl, &job.q, &job.option, &job.values, nullptr, job.svc.table(), job.clr, inst,
                               "DUTY_FACTOR_MODE") != nullptr;
    });
}

void BM_SlutLayout(benchmark::State& state) {
    Job job(0xFFFFFFFF);
    HXRTRAQ2Data* set = HXRCreateTRAQ3DataSet(job.ctrl, &job.a, &job.q, &job.option, &job.values, job.svc.table(),
                                              job.clr, job.mm, "DUTY_FACTOR_MODE");
    if (!set) return state.SkipWithError("no data set");
    const auto layout = [&](HXRPkgCursor c) {
        return CreateSlutResource(c, set, job.ctrl, 64, job.clr, 1, 2, 3, job.svc.table()->StrNCmp);
    };
    std::vector<uint8_t> out(layout(nullptr));
    for (auto _ : state) {
        ovcg::ByteWriter w(out.data(), out.size());
        const uint64_t n = layout(nullptr);
        if (n != out.size() || layout(&w) != n) state.SkipWithError("layout failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
    HXRDeleteTRAQ2Data(set, job.mm);
}

}  // namespace

BENCHMARK(BM_SlutPackage)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RhPackage)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlutLayout)->Unit(benchmark::kMillisecond);
