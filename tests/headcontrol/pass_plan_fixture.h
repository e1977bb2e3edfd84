// The pass engine on a fake platform over a head-control model description,
// and the record of a page planned by it, pass by pass, head by head and ink
// by ink, as the output loop would read it.
#pragma once

#include "headcontrol/mle.h"
#include "headcontrol/model_resource.h"

#include "support/fake_ovf.h"
#include "support/model_head_control.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ovcg::irac::test {

// The default model's head control in one of its variants.
ovcg_test::ModelHeadControl hc_variant(ovcg_test::HcVariant v);

// The command colour codes of the default model's six nozzle arrays, K C M Y c m.
std::vector<uint8_t> six_inks();

// The model resource read and the pass engine built on it. `code` is the
// first failing code (the reader's or the engine's); the destructor frees
// everything and records in `trouble` what the platform saw go wrong.
class PassEngine {
public:
    explicit PassEngine(const ovcg_test::ModelHeadControl& hc, int32_t direction = 0, uint32_t subMode = 1,
                        size_t failEngineAllocation = 0);
    ~PassEngine();
    PassEngine(const PassEngine&) = delete;
    PassEngine& operator=(const PassEngine&) = delete;

    // Frees the engine and the reader; "" when nothing leaked or was freed twice.
    std::string release();

    ovcg_test::FakeOvf ovf;
    CallbackTable cb;
    RscObject* rsc = nullptr;
    MLE_INSTANCE* mle = nullptr;
    uint32_t code = 0;
};

// One head and ink of one pass: the nozzle information and copies of its
// per-nozzle arrays over the window.
struct NozzleRecord {
    int32_t head = 0;
    int32_t ink = 0;
    MleNozzleInfo info{};
    std::vector<uint8_t> states;
    std::vector<uint32_t> offsets;
    std::vector<uint16_t> headNos;
    std::vector<uint16_t> steps;
    // Raster of nozzle k of the window (k from info.firstNozzle).
    int64_t raster(int32_t k) const { return int64_t{info.nozzlePos} + (int64_t{info.yShift} + k) * info.pitch; }
};

struct PassRecord {
    int32_t pass = 0;
    int32_t vPos = 0;
    int32_t headPos = 0;
    uint32_t polFirst = 0;
    uint32_t polSecond = 0;
    uint16_t polPhase = 0;
    std::vector<MleHeadEntry> entries;
    std::vector<NozzleRecord> nozzles;  // by head, then ink
};

struct PagePlan {
    uint32_t code = 0;        // the first failing call's code
    std::string failedCall;   // and which call it was
    int32_t top = 0;          // head-top position from the page start
    std::vector<PassRecord> passes;
};

struct PageRequest {
    uint32_t length = 0;
    std::vector<uint8_t> codes;
    std::optional<std::pair<int32_t, int32_t>> notPrinted;  // set after the schedule is built
    int32_t logic = 0;
};

// Starts the page, builds the schedule, records every pass, ends the page.
PagePlan plan_page(PassEngine& engine, const PageRequest& request);

// The invariants every plan keeps, for each ink: every raster of
// [notPrintStart, notPrintEnd) is reached by exactly one state-1 nozzle, or
// by exactly one state-2 and one state-3 nozzle of two different passes;
// no nozzle in states 1-3 reaches a raster outside it; two heads' nozzles
// reaching one raster in one pass with one state count once. Every raster
// a window reads lies in [vPos + offsetMax, that + headHeight). Returns a
// description of the first breaches, "" when none.
std::string check_plan(const PagePlan& plan, int32_t inks, int64_t notPrintStart, int64_t notPrintEnd,
                       int64_t offsetMax, int64_t headHeight);

// The invariants of plans with edge groups, for each ink: every raster of
// [notPrintStart, notPrintEnd) is reached by a state-1 nozzle, or by a
// state-2 and a state-3 nozzle of two passes, or by a state-6 and a
// state-7 nozzle of two passes, and by no two state-1 nozzles; no nozzle in
// states 1-3, 6 or 7 reaches a raster outside it; every state is 0-3 or
// 5-7; every raster a window reads lies in the reach.
std::string check_edge_plan(const PagePlan& plan, int32_t inks, int64_t notPrintStart, int64_t notPrintEnd,
                            int64_t offsetMax, int64_t headHeight);

}  // namespace ovcg::irac::test
