#include "pass_plan_fixture.h"

#include "support/model.h"

#include <algorithm>
#include <sstream>

namespace ovcg::irac::test {

using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;

ModelHeadControl hc_variant(HcVariant v) { return ovcg_test::head_control_variant(ovcg_test::default_model(), v); }

std::vector<uint8_t> six_inks() { return {0x10, 0x11, 0x12, 0x13, 0x14, 0x15}; }

PassEngine::PassEngine(const ModelHeadControl& hc, int32_t direction, uint32_t subMode, size_t failEngineAllocation)
    : cb(relay_callbacks(ovf.table())) {
    ovf.set_resource(kModelResourceKind, ovcg_test::head_control_resource(hc));
    code = RSC_Constructor(&rsc, {ovcg_test::model_head_mode_id(), subMode}, IRAC_OPT_ENGINE, &cb);
    if (code) return;
    if (failEngineAllocation) ovf.fail_alloc_from(ovf.alloc_calls() + failEngineAllocation);
    code = MLE_Constructor(&mle, direction, &cb, rsc);
}

std::string PassEngine::release() {
    MLE_Destructor(mle);
    mle = nullptr;
    RSC_Destructor(rsc);
    rsc = nullptr;
    std::string trouble;
    if (ovf.live_blocks() != 0) trouble += std::to_string(ovf.live_blocks()) + " blocks left; ";
    if (ovf.bad_frees() != 0) trouble += "bad free; ";
    if (ovf.resources_out() != 0) trouble += "resource kept; ";
    return trouble;
}

PassEngine::~PassEngine() { release(); }

namespace {

NozzleRecord record_nozzles(const MleNozzleInfo& info, int32_t head, int32_t ink) {
    NozzleRecord r;
    r.head = head;
    r.ink = ink;
    r.info = info;
    const int32_t n = std::max(info.endNozzle - info.firstNozzle, 0);
    r.states.assign(info.state, info.state + n);
    r.offsets.assign(info.rasterOffset, info.rasterOffset + n);
    r.headNos.assign(info.headNo, info.headNo + n);
    r.steps.assign(info.stepValue, info.stepValue + n);
    r.info.state = nullptr;  // the engine's arrays change with the next pass
    r.info.rasterOffset = nullptr;
    r.info.headNo = nullptr;
    r.info.stepValue = nullptr;
    r.info.lhtLayer = r.info.lhtHalftone = nullptr;
    r.info.prevOverlapValues = r.info.nextOverlapValues = nullptr;
    return r;
}

}  // namespace

PagePlan plan_page(PassEngine& e, const PageRequest& q) {
    PagePlan plan;
    auto fail = [&](uint32_t code, const char* call) {
        plan.code = code;
        plan.failedCall = call;
        MLE_EndPage(e.mle);
        return plan;
    };
    if (e.code) return fail(e.code, "construction");
    MLE_INSTANCE* m = e.mle;
    if (uint32_t rc = MLE_StartPage(m, q.length, uint16_t(q.codes.size()), q.codes.data(), nullptr, &plan.top))
        return fail(rc, "MLE_StartPage");
    uint32_t pos = 0;
    if (uint32_t rc = MLE_CreateSchedulingTable(m, q.logic, &pos)) return fail(rc, "MLE_CreateSchedulingTable");
    if (q.notPrinted) MLE_SetNotPrintRaster(m, q.notPrinted->first, q.notPrinted->second);
    const int32_t heads = m->resource->head.headNum;
    for (int32_t guard = 0; guard < 1000000; ++guard) {
        if (uint32_t rc = MLE_MakeHeadTable(m)) return fail(rc, "MLE_MakeHeadTable");
        PassRecord p;
        p.pass = m->passNo;
        p.vPos = int32_t(MLE_GetVPos(m));
        p.headPos = m->table.headPos;
        MLE_GetPOLPassNo(m, &p.polFirst, &p.polSecond);
        p.polPhase = m->table.polPhase;
        p.entries.assign(m->table.entries, m->table.entries + heads);
        for (int32_t h = 0; h < heads; ++h)
            for (int32_t ink = 0; ink < int32_t(q.codes.size()); ++ink) {
                const MleNozzleInfo* info = nullptr;
                if (uint32_t rc = MLE_GetNozzleInfo(m, h, ink, &info)) return fail(rc, "MLE_GetNozzleInfo");
                p.nozzles.push_back(record_nozzles(*info, h, ink));
            }
        plan.passes.push_back(std::move(p));
        uint8_t end = 0;
        if (uint32_t rc = MLE_Next(m, &pos, &end)) return fail(rc, "MLE_Next");
        if (end) break;
        if (pos != MLE_GetVPos(m)) return fail(1, "MLE_Next position");
    }
    MLE_EndPage(m);
    return plan;
}

namespace {

enum class Rule { Strict, Edge };

// The nozzles reaching one raster; two heads' nozzles of one pass with one
// state count once. Up to eight are kept.
struct Hit {
    int32_t pass;
    uint8_t state;
};
struct Cell {
    uint8_t n = 0;
    Hit hits[8];
    void add(Hit h) {
        for (uint8_t i = 0; i < std::min<uint8_t>(n, 8); ++i)
            if (hits[i].pass == h.pass && hits[i].state == h.state) return;
        if (n < 8) hits[n] = h;
        if (n < 255) ++n;
    }
    bool pair(uint8_t a, uint8_t b) const {
        for (uint8_t i = 0; i < std::min<uint8_t>(n, 8); ++i)
            for (uint8_t k = 0; k < std::min<uint8_t>(n, 8); ++k)
                if (hits[i].state == a && hits[k].state == b && hits[i].pass != hits[k].pass) return true;
        return false;
    }
    int alone() const {
        int count = 0;
        for (uint8_t i = 0; i < std::min<uint8_t>(n, 8); ++i) count += hits[i].state == 1;
        return count;
    }
};

std::string check(const PagePlan& plan, int32_t inks, int64_t lo, int64_t hi, int64_t offsetMax, int64_t headHeight,
                  Rule rule) {
    std::ostringstream out;
    int breaches = 0;
    auto breach = [&]() -> std::ostringstream& {
        ++breaches;
        return out;
    };
    auto known = [&](uint8_t st) { return rule == Rule::Strict ? st <= 3 : st <= 3 || (st >= 5 && st <= 7); };
    std::vector<Cell> cells(size_t(std::max<int64_t>(hi - lo, 0)));
    for (int32_t ink = 0; ink < inks && breaches < 5; ++ink) {
        std::fill(cells.begin(), cells.end(), Cell{});
        for (const PassRecord& p : plan.passes) {
            for (const NozzleRecord& r : p.nozzles) {
                if (r.ink != ink) continue;
                for (int32_t k = r.info.firstNozzle; k < r.info.endNozzle; ++k) {
                    const int64_t raster = r.raster(k);
                    if (raster < p.vPos + offsetMax || raster >= p.vPos + offsetMax + headHeight)
                        breach() << "pass " << p.pass << " ink " << ink << " reads raster " << raster
                                 << " outside its reach; ";
                    const uint8_t st = r.states[size_t(k - r.info.firstNozzle)];
                    if (st == 0 || st == 5) continue;
                    if (!known(st)) {
                        breach() << "pass " << p.pass << " state " << int(st) << "; ";
                    } else if (raster < lo || raster >= hi) {
                        breach() << "pass " << p.pass << " ink " << ink << " head " << r.head << " prints raster "
                                 << raster << " outside [" << lo << ", " << hi << "); ";
                    } else {
                        cells[size_t(raster - lo)].add(Hit{p.pass, st});
                    }
                }
            }
        }
        for (int64_t r = lo; r < hi && breaches < 5; ++r) {
            const Cell& cell = cells[size_t(r - lo)];
            const Hit* h = cell.hits;
            bool good = false;
            if (rule == Rule::Strict) {
                const bool alone = cell.n == 1 && h[0].state == 1;
                const bool shared = cell.n == 2 && h[0].pass != h[1].pass &&
                                    ((h[0].state == 2 && h[1].state == 3) || (h[0].state == 3 && h[1].state == 2));
                good = alone || shared;
            } else {
                good = cell.alone() <= 1 && (cell.alone() == 1 || cell.pair(2, 3) || cell.pair(6, 7));
            }
            if (!good) {
                breach() << "ink " << ink << " raster " << r << ":";
                for (uint8_t i = 0; i < std::min<uint8_t>(cell.n, 8); ++i)
                    out << " pass " << h[i].pass << " state " << int(h[i].state);
                out << "; ";
            }
        }
    }
    return out.str();
}

}  // namespace

std::string check_plan(const PagePlan& plan, int32_t inks, int64_t lo, int64_t hi, int64_t offsetMax,
                       int64_t headHeight) {
    return check(plan, inks, lo, hi, offsetMax, headHeight, Rule::Strict);
}

std::string check_edge_plan(const PagePlan& plan, int32_t inks, int64_t lo, int64_t hi, int64_t offsetMax,
                            int64_t headHeight) {
    return check(plan, inks, lo, hi, offsetMax, headHeight, Rule::Edge);
}

}  // namespace ovcg::irac::test
