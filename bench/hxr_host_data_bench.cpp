// The host halftoning data set of a job start: building and deleting it for
// the default model (colour tables, SML managers with their correction,
// dither data, UBEC tables), and the corrected SML table the binariser asks
// for whenever a line's SML rate changes.
#include <benchmark/benchmark.h>

#include "hxr/control/hxr_traq2_data.h"
#include "support/counting_services.h"
#include "support/model_index.h"
#include "support/model_printer_id.h"

#include <algorithm>

namespace {

using namespace ovcg_test;

struct Job {
    Job(uint32_t ht, uint32_t bits) {
        svc.add_resources_from(build_model(model));
        for (const ModelPrintMode& m : model_print_modes(model))
            if (m.doc_type == 0 && m.sub_type == 0 && m.ht_type == ht && m.out_bits == bits) {
                q = {1, m.media, 0, 0, ht, m.h_res, m.v_res, bits, 0, 1, 1};
                break;
            }
        std::fill(option.colorValue, option.colorValue + 12, 1024u);
        option.tone[0] = -1, option.tone[9] = 220, option.secondDocType = 0xFFFFFFFF, option.channelMode1 = 0xFFFFFFFF;
        values.colorWords[0] = values.colorWords[1] = option.colorValue;
        values.printerId = {pid.data(), uint32_t(pid.size())};
        mm = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
        ctrl = HXRCreateResReadController(svc.table(), mm);
        if (HXRFindPrintMode(ctrl, &q, &option) == 0) clr = HXRCreateClrMgr(1, bits, HXRGetBlackInkCode(ctrl), mm);
        if (clr && HXRReadAllResource(ctrl, clr) != 0) clr = nullptr;
    }
    ~Job() {
        HXRDeleteResReadController(ctrl);
        HXRDeleteMemMgr(mm);
    }
    HXRTRAQ2Data* build(const HXRHtCtrlAnswers& a) {
        return clr ? HXRCreateTRAQ2Data(ctrl, &a, &q, &option, &values, svc.table(), clr, mm, "DUTY_FACTOR_MODE")
                   : nullptr;
    }
    CountingServices svc;
    const ModelDescription model = default_model();
    const Bytes pid = write_printer_id(model_printer_ids(200), true);
    _HXR_HALFTONE_INFO q{};
    _HXR_OPTION_INFO option{};
    HXRDataSetOptions values{};
    HXRMemMgr* mm = nullptr;
    HXRResReadController* ctrl = nullptr;
    const HXRClrMgr* clr = nullptr;
};

HXRHtCtrlAnswers answers(bool ubec) {
    HXRHtCtrlAnswers a{};
    a.needLut = 1, a.lutType = 3, a.lutGridNum = 64, a.colorConvertMode = 1, a.smlGradNum = 256;
    a.needDth = 1, a.dthOrder = 1, a.dthThreshAddition = 8192, a.dthDataBytes = 2, a.dthUpdatePixel = 4;
    a.dthDataType = ubec ? 3 : 1, a.needUBEC = ubec, a.ubecBlockKind = 2, a.ubecEncodeStep = 1, a.ubecTableType = 1;
    a.halftoneColorNum = 4;
    return a;
}

void BM_HostDataSet(benchmark::State& state) {
    Job job(3, 2);
    const HXRHtCtrlAnswers a = answers(state.range(0) != 0);
    for (auto _ : state) {
        HXRTRAQ2Data* set = job.build(a);
        if (!set) state.SkipWithError("build failed");
        HXRDeleteTRAQ2Data(set, job.mm);
    }
}

void BM_CorrectedSmlTable(benchmark::State& state) {
    Job job(3, 2);
    HXRTRAQ2Data* set = job.build(answers(false));
    HXRSmlDataMgr* sml = HXRGetSmlDataMgr(set, 0, 0);
    uint32_t rates[256 * 3];
    for (auto _ : state) {
        if (HXRGetSDMSmlTable(sml, rates, 1) != 0) state.SkipWithError("no table");
        benchmark::DoNotOptimize(rates);
    }
    HXRDeleteTRAQ2Data(set, job.mm);
}

}  // namespace

BENCHMARK(BM_HostDataSet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorrectedSmlTable);
