// Fuzzes the pass planning: a model resource and a page from the input,
// planned pass by pass with every head's and ink's nozzle information.
//
// Input: u16 page length (taken modulo 20001), u8 ink count (modulo 34, so
// 33 inks are tried too), u8 options (bits 0-1 the logic slot, bit 2 print
// direction -1 instead of 1, bit 3 a direction at all, bit 4 a not-printed
// window, bits 5-7 a re-planning after the page: 0 none, 1-5 a change of
// logic with selector -1..3, 6 a change of the page length, 7 a selector
// beyond 3), u16 window start, u16 window end, the ink codes, then the model
// resource (kind 256) to the end. After the passes the edge queries run
// (MIR list, lower-edge range, footer, BRS, loss-nozzle and memory queries).
//
// Whatever the input, planning must stay inside every array (the sanitizers
// watch), each window must stay inside its head, every raster a window reads
// must lie in the reach the job driver buffers for, and everything must be
// freed.
#include "headcontrol/mle.h"
#include "headcontrol/model_resource.h"
#include "irac_fuzz_platform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using namespace ovcg::irac;

volatile uint32_t g_sink;

void check_pass(MLE_INSTANCE* m, int64_t offsetMax, int64_t height) {
    const int32_t heads = m->resource->head.headNum;
    const int64_t vPos = static_cast<int32_t>(MLE_GetVPos(m));
    uint32_t a = 0, b = 0;
    MLE_GetPOLPassNo(m, &a, &b);
    g_sink = g_sink + a + b + MLE_IsInsertNullPass(m, m->passNo);
    for (int32_t h = 0; h < heads; ++h) {
        for (int32_t ink = 0; ink < m->inkCount; ++ink) {
            const MleNozzleInfo* info = nullptr;
            if (MLE_GetNozzleInfo(m, h, ink, &info) != 0) continue;
            if (info->firstNozzle < info->endNozzle) {
                if (info->firstNozzle + info->yShift < 0 || info->endNozzle + info->yShift > info->headNozzles)
                    std::abort();
                for (int32_t k = info->firstNozzle; k < info->endNozzle; ++k) {
                    const int32_t i = k - info->firstNozzle;
                    g_sink = g_sink + info->state[i] + info->rasterOffset[i] + info->headNo[i] + info->stepValue[i];
                    if (info->lhtLayer) g_sink = g_sink + info->lhtLayer[i] + info->lhtHalftone[i];
                    const int64_t raster = int64_t{info->nozzlePos} + (int64_t{info->yShift} + k) * info->pitch;
                    if (raster < vPos + offsetMax || raster >= vPos + offsetMax + height) std::abort();
                }
            }
            for (const MleNozzleRange* r : {&info->prevOverlap, &info->nextOverlap}) {
                const uint16_t* values = r == &info->prevOverlap ? info->prevOverlapValues : info->nextOverlapValues;
                if (values)
                    for (int32_t k = r->first; k < r->end; ++k) g_sink = g_sink + values[k - r->first];
            }
        }
    }
}

// Steps through the plan from the current pass, checking each, within a
// budget of work: a pass costs its nozzle count for each head table and
// window, and each layer's walk visits at most one pass per raster of the
// head's reach.
void walk_passes(MLE_INSTANCE* m, int64_t offsetMax, int64_t height) {
    int64_t budget = int64_t{10} << 20;
    const int64_t nozzles = int64_t{m->schedule.maxNozzle} + 16;
    const int64_t perPass = 2 * nozzles * (1 + m->inkCount) +
                            int64_t{m->schedule.logic.layerCount} * m->schedule.logic.pitch * nozzles;
    for (; budget > 0; budget -= perPass) {
        if (MLE_MakeHeadTable(m) != 0) break;
        check_pass(m, offsetMax, height);
        uint8_t end = 0;
        if (MLE_Next(m, nullptr, &end) != 0 || end) break;
    }
}

// The queries of the lower edge, the BRS switch, the loss-nozzle complement
// and the memory estimate: whatever they answer, they stay in bounds.
void edge_queries(MLE_INSTANCE* m, uint32_t value) {
    const MleMirList* mir = nullptr;
    if (MLE_GetMIR(m, &mir) == 0)
        for (uint32_t k = 0; k < mir->sectionCount; ++k)
            for (uint32_t i = 0; i < mir->sections[k].valueCount; ++i) g_sink = g_sink + mir->sections[k].values[i];
    int32_t a = 0, b = 0;
    uint8_t flag = 0;
    uint16_t selector = 0;
    uint32_t size = 0;
    g_sink = g_sink + MLE_GetAutoBottomRange(m, &a, &b) + uint32_t(a) + uint32_t(b);
    g_sink = g_sink + MLE_GetFooterTopPosition(m, &a, &flag) + uint32_t(a) + flag;
    g_sink = g_sink + MLE_BRSPositioningGap(m, &a) + MLE_BRSCorrectLowerPosition(m, &b) + uint32_t(a) + uint32_t(b);
    g_sink = g_sink + MLE_SumAllocateMemorySize(m, &size) + size + uint32_t(MLE_GetUNDIndex(m, int32_t(value)));
    for (int32_t ink = 0; ink < m->inkCount && ink < 4; ++ink)
        g_sink = g_sink + MLE_GetNozzleEndPosition(m, ink) + uint32_t(MLE_GetEndHeadNo(m, ink));
    int32_t c = 0;
    g_sink = g_sink + MLE_GetHeadPosAfterPass(m, int32_t(value % 7) - 3, &flag, &a, &b, &c, &selector) +
             uint32_t(a) + uint32_t(b) + uint32_t(c) + selector;
}

void plan(const CallbackTable& cb, RscObject* rsc, const uint8_t* page, const uint8_t* codes) {
    const uint32_t length = (uint32_t(page[0]) | uint32_t(page[1]) << 8) % 20001;
    const uint8_t inks = page[2] % 34, options = page[3];
    const int32_t direction = (options & 0x8) ? ((options & 0x4) ? -1 : 1) : 0;
    MLE_INSTANCE* m = nullptr;
    if (MLE_Constructor(&m, direction, &cb, rsc) != 0) {
        if (m) std::abort();
        return;
    }
    const int64_t height = MLE_GetHeadheight(m);
    int32_t top = 0;
    if (MLE_StartPage(m, length, inks, codes, nullptr, &top) == 0 &&
        MLE_CreateSchedulingTable(m, options & 0x3, nullptr) == 0) {
        if (options & 0x10)
            MLE_SetNotPrintRaster(m, int32_t(page[4] | page[5] << 8), int32_t(page[6] | page[7] << 8));
        const int64_t offsetMax = MLE_GetOffsetNozzleMax(m);
        walk_passes(m, offsetMax, height);
        const uint32_t value = uint32_t(page[4] | page[5] << 8);
        edge_queries(m, value);
        // Re-planning within the page, then its passes again.
        const int32_t replan = options >> 5;
        uint32_t rc = 1;
        if (replan >= 1 && replan <= 5) {
            rc = MLE_ChangeMicroWeaveLogic(m, replan - 2, replan == 1 ? length : value % 20001, nullptr);
        } else if (replan == 6) {
            int32_t before = 0, after = 0;
            rc = MLE_ChangeSpecification(m, &before, &after, value % 20001, int32_t(page[6] % 8));
        } else if (replan == 7) {
            rc = MLE_ChangeMicroWeaveLogic(m, 4 + page[6], value, nullptr);
        }
        if (rc == 0) walk_passes(m, offsetMax, height);
        int32_t p = 0, q = 0;
        MLE_GetHTMaskSwitchingPosition(m, &p, &q);
        uint8_t colours[64];
        int32_t n = 0;
        MLE_GetTRAQColorCode(m, &n, colours, 64);
        g_sink = g_sink + uint32_t(p) + uint32_t(q) + uint32_t(n) + MLE_GetInsertNullPassNum(m, 0, 0xFFFFFFFFu) +
                 MLE_FindPOLIndex(m, 1) + uint32_t(MLE_GetNormalMaxFeed(m)) + MLE_GetHeadTopPosition(m);
    }
    MLE_EndPage(m);
    MLE_Destructor(m);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kHeader = 8;
    if (size < kHeader || size > (1u << 20)) return 0;
    const size_t inks = data[2] % 34;
    if (size < kHeader + inks) return 0;
    const CallbackTable cb = irac_fuzz::callbacks(data + kHeader + inks, size - kHeader - inks);
    RscObject* rsc = nullptr;
    // The default model's print mode (long mode number), sub-mode 1.
    if (RSC_Constructor(&rsc, {0x03020131u, 1}, 0x10, &cb) == 0) {
        plan(cb, rsc, data, data + kHeader);
        RSC_Destructor(rsc);
    }
    if (irac_fuzz::g_platform.blocks != 0 || irac_fuzz::g_platform.resources != 0) std::abort();
    return 0;
}
