// The model resource reader against resources written by the model builder,
// laid by hand, and broken one field at a time.
#include "headcontrol/model_resource.h"

#include "support/fake_ovf.h"
#include "support/model.h"
#include "support/model_head_control.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace ovcg::irac {
namespace {

using ovcg_test::Bytes;
using ovcg_test::FakeOvf;
using ovcg_test::HcLayout;
using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;

const IdentifierPair kJob{ovcg_test::model_head_mode_id(), 1};

ModelHeadControl variant(HcVariant v) { return ovcg_test::head_control_variant(ovcg_test::default_model(), v); }

Bytes resource(const ModelHeadControl& hc, HcLayout* layout = nullptr) {
    return ovcg_test::head_control_resource(hc, layout);
}

// One construction on its own fake platform. A failure must leave nothing
// allocated; either way the resource is fetched once and released.
struct Outcome {
    uint32_t code = 0;
    std::string trouble;  // empty when the platform was used cleanly
};

Outcome construct(const Bytes& res, IdentifierPair id, const std::function<void(RscObject*)>& check = {}) {
    Outcome out;
    FakeOvf ovf;
    ovf.set_resource(kModelResourceKind, res);
    const CallbackTable cb = relay_callbacks(ovf.table());
    RscObject* rsc = reinterpret_cast<RscObject*>(&ovf);  // must be overwritten
    out.code = RSC_Constructor(&rsc, id, IRAC_OPT_ENGINE, &cb);
    if (out.code != 0 && rsc != nullptr) out.trouble += "object returned on failure; ";
    if (out.code != 0 && ovf.live_blocks() != 0) out.trouble += "blocks left on failure; ";
    if (out.code == 0 && check) check(rsc);
    RSC_Destructor(out.code == 0 ? rsc : nullptr);
    if (ovf.resource_fetches() != 1) out.trouble += "fetched " + std::to_string(ovf.resource_fetches()) + " times; ";
    if (ovf.resources_out() != 0) out.trouble += "resource not released; ";
    if (ovf.live_blocks() != 0) out.trouble += std::to_string(ovf.live_blocks()) + " blocks leaked; ";
    if (ovf.bad_frees() != 0 || ovf.bad_resource_frees() != 0) out.trouble += "bad free; ";
    return out;
}

// ---- The default model ----------------------------------------------------------------

TEST(HeadModelDefault, ParsesIntoFourBlocksAndFiveTables) {
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    for (uint32_t sub : {1u, 3u}) {
        const Outcome o = construct(resource(model.head_control), {kJob.mode_id, sub}, [&](RscObject* rsc) {
            ICMResourceData* icm = nullptr;
            MLEResourceData* mle = nullptr;
            ESCResourceData* esc = nullptr;
            RBMResourceData* rbm = nullptr;
            ASSERT_EQ(RSC_GetICMResourceData(rsc, &icm), 0u);
            ASSERT_EQ(RSC_GetMLEResourceData(rsc, &mle), 0u);
            ASSERT_EQ(RSC_GetESCResourceData(rsc, &esc), 0u);
            ASSERT_EQ(RSC_GetRBMResourceData(rsc, &rbm), 0u);
            // The head: six arrays of 180 nozzles, one per ink of the ink sets.
            EXPECT_EQ(mle->head.headNum, 1);
            EXPECT_EQ(mle->head.nozzleLineNum, 6);
            EXPECT_EQ(mle->head.nozzleNumOfHead[0], 180);
            EXPECT_EQ(icm->head, &mle->head);
            EXPECT_EQ(mle->nozzleArrayNum, 6);
            const uint8_t order[] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15};  // K C M Y c m
            EXPECT_TRUE(std::equal(order, order + 6, mle->colorOrder));
            ASSERT_EQ(icm->colorTableNum, 6);
            for (int i = 0; i < 6; ++i) {
                EXPECT_EQ(icm->inkCodes[i], i);  // halftone ink codes K=0 .. m=5
                EXPECT_EQ(icm->colorCodes[i], 0x10 + i);
            }
            // The mode the front end's default media resolves to.
            EXPECT_EQ(icm->bitsPerPixel, 2);
            EXPECT_EQ(esc->modeByte, 2);
            EXPECT_EQ(rbm->modeValue0, 1);
            EXPECT_EQ(rbm->encoderWord3, 1);
            EXPECT_EQ(rbm->colorNum, 1);
            EXPECT_EQ(mle->colorNum, 1);
            EXPECT_GT(mle->minLength, 0u);
            EXPECT_GE(mle->htMaskSwitchingPosition, 0);
            EXPECT_EQ(mle->brsCalculationMethod, 0xFFFFFFFFu);
            EXPECT_GE(icm->encoderSubModeValue, 180u);  // the margin holds the head's reach
            EXPECT_EQ(esc->value2, 2);
            EXPECT_EQ(icm->useHead.headNum, 1);
            EXPECT_EQ(icm->useHead.heads[0], 1);
            EXPECT_EQ(mle->optionWordHigh, 2);
            // Slot 0: a one-pass logic.
            ASSERT_EQ(mle->unitNum, 1);
            EXPECT_EQ(mle->unitIndexOfSlot[0], 0);
            EXPECT_EQ(mle->unitIndexOfSlot[1], -1);
            const MicroweaveLogicRecord& u = mle->units[0];
            EXPECT_EQ(u.pitch, 1);
            ASSERT_EQ(u.layerCount, 1u);
            EXPECT_EQ(u.layers[0].kind, 1);
            ASSERT_EQ(u.layers[0].cycleLength, 1);
            EXPECT_EQ(u.layers[0].feed[0], 180);
            EXPECT_EQ(u.layers[0].range[0].end, 180);
            EXPECT_EQ(u.normal.count, 1);
            // The tables carry only their per-line colour codes (format 1.4, no head flags).
            EXPECT_FALSE(NLM_IsValid(rsc->nlm));
            EXPECT_FALSE(YDS_IsValid(rsc->yds));
            EXPECT_FALSE(RLS_IsValid(rsc->rls));
            EXPECT_EQ(rsc->nlm->colorCodeOfLine[0], 0x15);  // reversed
            EXPECT_FALSE(LHT_GetEnable(rsc->lht));
            EXPECT_FALSE(SSS_GetEnable(rsc->sss));
        });
        EXPECT_EQ(o.code, 0u) << sub;
        EXPECT_EQ(o.trouble, "") << sub;
    }
}

TEST(HeadModelDefault, TransferredTablesBelongToTheTaker) {
    FakeOvf ovf;
    ovf.set_resource(kModelResourceKind, resource(variant(HcVariant::Default)));
    const CallbackTable cb = relay_callbacks(ovf.table());
    RscObject* rsc = nullptr;
    ASSERT_EQ(RSC_Constructor(&rsc, kJob, 0, &cb), 0u);
    LhtTable* lht = nullptr;
    SssTable* sss = nullptr;
    ASSERT_EQ(RSC_TransferLht(&lht, rsc), 0u);
    ASSERT_EQ(RSC_TransferSss(&sss, rsc), 0u);
    EXPECT_NE(lht, nullptr);
    EXPECT_EQ(rsc->lht, nullptr);
    RSC_Destructor(rsc);  // frees YDS, NLM and RLS, not the two taken
    EXPECT_GT(ovf.live_blocks(), 0u);
    LHT_Free(&lht, &cb);
    SSS_Free(&sss, &cb);
    EXPECT_EQ(lht, nullptr);
    EXPECT_EQ(ovf.live_blocks(), 0u);
    // Without an object nothing is lent or handed over.
    ICMResourceData* icm = reinterpret_cast<ICMResourceData*>(&ovf);
    EXPECT_EQ(RSC_GetICMResourceData(nullptr, &icm), kRscNotAvailable);
    EXPECT_EQ(icm, nullptr);
    EXPECT_EQ(RSC_TransferYds(nullptr, nullptr), kRscNotAvailable);
    EXPECT_EQ(RSC_Constructor(nullptr, kJob, 0, &cb), kRscNoObject);
    EXPECT_EQ(RSC_Constructor(&rsc, kJob, 0, nullptr), kRscNoObject);
    RSC_Destructor(nullptr);
}

}  // namespace
}  // namespace ovcg::irac
