// Shared set-up of the halftone data-set tests: the default model's halftone
// resources served by the counting services, colour managers, dither resource
// managers and parsers over byte images, all released at the end of a test
// (the fixture checks that the memory manager then holds no block).
#pragma once

#include "hxr/control/hxr_cfg.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_dither.h"
#include "hxr/control/hxr_lut_data.h"
#include "hxr/control/hxr_rate.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr/control/hxr_sml.h"
#include "support/hxr_fixture.h"
#include "support/model.h"
#include "support/model_dither.h"
#include "support/model_index.h"
#include "support/model_sml.h"

#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class HostDataTest : public HxrTest {
protected:
    void TearDown() override {
        for (auto it = cleanup_.rbegin(); it != cleanup_.rend(); ++it) (*it)();
        EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
        HxrTest::TearDown();
    }
    HXRStrNCmpFn cmp() { return svc.table()->StrNCmp; }
    // Runs at the end of the test, last registered first.
    void at_end(std::function<void()> f) { cleanup_.push_back(std::move(f)); }

    const HXRClrMgr* colours(uint32_t ink_set, uint32_t bits, uint32_t black = 0) {
        HXRClrMgr* c = HXRCreateClrMgr(ink_set, bits, black, mm);
        if (c) at_end([this, c] { HXRDeleteClrMgr(c, mm); });
        return c;
    }
    // A copy of the bytes in a buffer of exactly their size, kept to the end.
    const uint8_t* hold(const ovcg_test::Bytes& b) {
        held_.push_back(std::make_unique<uint8_t[]>(b.size() + 1));
        if (!b.empty()) std::memcpy(held_.back().get(), b.data(), b.size());
        return held_.back().get();
    }
    const HXRSmlResParser* sml_parser(const ovcg_test::SmlSpec& recipe) {
        const ovcg_test::Bytes b = ovcg_test::write_sml(recipe);
        HXRSmlResParser* p = HXRCreateSmlResParser(hold(b), uint32_t(b.size()), cmp(), mm);
        if (p) at_end([this, p] { HXRDeleteSmlResParser(p, mm); });
        return p;
    }
    // Serves `file` (once; edit it before the first call).
    void serve() {
        if (!served_) svc.add_resources_from(file);
        served_ = true;
    }
    // The query of a model print mode for an ink set.
    static _HXR_HALFTONE_INFO query(const ovcg_test::ModelPrintMode& m, uint32_t ink_set) {
        return {ink_set, m.media, m.doc_type, m.sub_type, m.ht_type, m.h_res, m.v_res, m.out_bits, 0, 1, 1};
    }
    // The first model print mode with these words.
    ovcg_test::ModelPrintMode mode(uint32_t doc, uint32_t ht, uint32_t bits, uint32_t sub = 0) const {
        for (const auto& m : ovcg_test::model_print_modes(model))
            if (m.doc_type == doc && m.ht_type == ht && m.out_bits == bits && m.sub_type == sub) return m;
        return {};
    }
    // A read controller that has read every resource of the query's print
    // mode, and its colour manager in *clr; null on failure.
    HXRResReadController* read_controller(const _HXR_HALFTONE_INFO& q, const HXRClrMgr** clr,
                                          uint32_t second_doc = 0xFFFFFFFFu) {
        serve();
        HXRResReadController* c = HXRCreateResReadController(svc.table(), mm);
        if (!c) return nullptr;
        at_end([c] { EXPECT_EQ(HXRDeleteResReadController(c), 0u); });
        _HXR_OPTION_INFO o{};
        o.secondDocType = second_doc;
        o.channelMode1 = 0xFFFFFFFFu;
        if (HXRFindPrintMode(c, &q, &o) != 0) return nullptr;
        *clr = colours(q.inkSet, q.outputBits, HXRGetBlackInkCode(c));
        return *clr && HXRReadAllResource(c, *clr) == 0 ? c : nullptr;
    }
    // The model's dither resources and a manager of `dither` (a switch or a
    // mask identifier) for the colours.
    const HXRDthResMgr* dither_resources(uint32_t dither, const HXRClrMgr* clr) {
        serve();
        HXRResMgr* rm = resources();
        at_end([rm] { HXRDeleteResMgr(rm); });
        HXRDthResMgr* d = HXRCreateDthResMgr(dither, ovcg_test::kModelDitherOffsetId, clr, cmp(), rm, mm);
        if (d) at_end([this, d] { HXRDeleteDthResMgr(d, mm); });
        return d;
    }
    // A colour slice holding only the double-gamma tables of the pair.
    HXRLutSlc* dbg_slice(uint32_t g0, uint32_t g255) {
        auto lut = std::make_unique<HXRLutData>();
        *lut = {};
        HXRGetDbgDecTable(lut->decode, g0, g255);
        HXRGetDbgEncTable(lut->encode, g0, g255);
        slices_.push_back({lut.get(), kLutSlice3D});
        luts_.push_back(std::move(lut));
        return &slices_.back();
    }

    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    ovcg_test::ResWriter file = ovcg_test::build_model(model);

private:
    bool served_ = false;
    std::vector<std::function<void()>> cleanup_;
    std::vector<std::unique_ptr<uint8_t[]>> held_;
    std::vector<std::unique_ptr<HXRLutData>> luts_;
    std::deque<HXRLutSlc> slices_;
};
