// Shared set-up of the engine-interface tests: the default model served by
// the counting services, the fake binariser, kernel tables whose missing
// families record instead of converting, and the three description records
// of a model print mode. Every test ends with no live block and no live
// resource.
#pragma once

#include "hxr/control/hxr_instance.h"
#include "support/counting_services.h"
#include "support/hxr_engine_fakes.h"
#include "support/hxr_fixture.h"
#include "support/model.h"
#include "support/model_index.h"

#include <gtest/gtest.h>

namespace hxr_test {

struct JobRecords {
    _HXR_IMAGE_INFO image;
    _HXR_HALFTONE_INFO halftone;
    _HXR_OPTION_INFO option;
};

class HxrJobTest : public HxrTest {
protected:
    // Instances bring their own memory managers: the counts start at zero.
    void SetUp() override {
        HxrTest::SetUp();
        HXRDeleteMemMgr(mm);
        mm = nullptr;
    }
    void TearDown() override {
        for (void* h : instances_) HXR_DeleteInstance(h);
        HxrTest::TearDown();
    }

    // The first model print mode with these words.
    ovcg_test::ModelPrintMode mode(uint32_t doc = 0, uint32_t ht = 3, uint32_t bits = 2, uint32_t sub = 0) const {
        for (const auto& m : ovcg_test::model_print_modes(model))
            if (m.doc_type == doc && m.ht_type == ht && m.out_bits == bits && m.sub_type == sub) return m;
        ADD_FAILURE() << "no model print mode";
        return {};
    }
    // Records of a model print mode: RGB input (CMYK for sub-type 1).
    JobRecords records(uint32_t inkSet = 1, const ovcg_test::ModelPrintMode* m = nullptr, uint32_t width = 101) const {
        const ovcg_test::ModelPrintMode pm = m ? *m : mode();
        JobRecords r{};
        const uint32_t colourMode = pm.sub_type == 1 ? 4 : 3;
        r.image = {colourMode, 1, colourMode, 0, width};
        r.halftone = {inkSet, pm.media, pm.doc_type, pm.sub_type, pm.ht_type, pm.h_res, pm.v_res, pm.out_bits, 0, 1, 1};
        HXR_GetDefaultValue(&r.option);
        return r;
    }
    // Serves `file` (once; edit it before the first call).
    void serve() {
        if (!served_) svc.add_resources_from(file);
        served_ = true;
    }
    // An instance made by HXR_CreateInstanceEx, deleted at the end of the test.
    void* create(const JobRecords& r, int flags = 1) {
        serve();
        void* h = nullptr;
        EXPECT_EQ(HXR_CreateInstanceEx(&h, &r.image, &r.halftone, &r.option, svc.table(), flags), 0u);
        keep(h);
        return h;
    }
    // HXR_CreateInstance's result; the instance is kept to the end.
    uint32_t create_started(const JobRecords& r, void** h, int flags = 1) {
        serve();
        *h = nullptr;
        const uint32_t code = HXR_CreateInstance(h, &r.image, &r.halftone, &r.option, svc.table(), flags);
        keep(*h);
        return code;
    }
    void keep(void* h) {
        if (h) instances_.push_back(h);
    }
    // Deletes a kept instance now.
    void drop(void* h) {
        for (auto it = instances_.begin(); it != instances_.end(); ++it)
            if (*it == h) {
                instances_.erase(it);
                HXR_DeleteInstance(h);
                return;
            }
    }
    static HXRInstance* inst(void* h) { return static_cast<HXRInstance*>(h); }

    FakeBinarizerScope bnrz;
    KernelTablesScope kernels;
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    ovcg_test::ResWriter file = ovcg_test::build_model(model);

private:
    bool served_ = false;
    std::vector<void*> instances_;
};

}  // namespace hxr_test
