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

// Every setting the driver prints a media with, and its high-speed mode,
// has a mode the reader accepts: its bits per dot, its dot-size code, and a
// unit whose steps give the setting's resolution on both axes.
TEST(HeadModelDefault, EveryDriverSettingHasItsModes) {
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    const Bytes res = resource(model.head_control);
    size_t settings = 0;
    for (const ovcg_test::ModelMedia& media : model.media)
        for (const ovcg_test::ModelDriverPrint& p : media.driver)
            for (bool fast : {false, true}) {
                SCOPED_TRACE(testing::Message() << media.number << ": " << p.x << " x " << p.y << ", " << p.bits
                                                << " bits" << (fast ? ", high speed" : ""));
                ++settings;
                const Outcome o = construct(res, {ovcg_test::model_driver_head_mode_id(p, fast), 1}, [&](RscObject* rsc) {
                    const ESCResourceData& esc = *rsc->esc;
                    EXPECT_EQ(rsc->icm->bitsPerPixel, p.bits);
                    EXPECT_EQ(esc.value0, ovcg_test::model_driver_dot_size(p, fast));
                    uint8_t v = 0, h = 0;
                    ASSERT_TRUE(RSC_ResolutionSteps(esc, v, h));
                    EXPECT_EQ(esc.value3 / v, p.y);
                    EXPECT_EQ(esc.value3 / h, p.x);
                });
                EXPECT_EQ(o.code, 0u);
                EXPECT_EQ(o.trouble, "");
            }
    EXPECT_GT(settings, 100u);
    EXPECT_NE(ovcg_test::model_driver_dot_size({300, 600, 2}), ovcg_test::model_driver_dot_size({300, 600, 2}, true));
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


// ---- A resource laid byte by byte ---------------------------------------------------------

struct Lay {
    Bytes b;
    Lay& u8(uint8_t v) { b.push_back(v); return *this; }
    Lay& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
    Lay& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    Lay& i16(int16_t v) { return u16(uint16_t(v)); }
    Lay& i32(int32_t v) { return u32(uint32_t(v)); }
    Lay& bytes(std::initializer_list<uint8_t> v) { b.insert(b.end(), v); return *this; }
    Lay& append(const Lay& o) { b.insert(b.end(), o.b.begin(), o.b.end()); return *this; }
};

constexpr uint32_t kAllFlags = 0x2F3FE0;  // 0x20 0x40 0x80 0x100 0x200 0x400 0x800 0x1000 0x2000 0x10000-0x40000 0x80000 0x200000

// Format 1.4 with every optional section: two heads, split order, two units
// over four slots (one shared, one empty), both sub-modes.
Bytes hand_laid_all_sections() {
    Lay mode;
    mode.u16(1).i16(600).u16(2).i16(3).u16(2).u32(4)     // values 0-3, colorNum 2, value 5
        .i16(2).i16(2).i16(2)                               // layer kinds, mode bytes, nozzle arrays
        .u16(0x0A).u16(0x0F).u16(1);                        // sub-modes 1 and 3, four slots, layer values 1
    mode.u16(0x10).i16(1).u16(0x55);                         // simple kind, one value
    mode.u16(0x4240).i16(8).u16(4).u8(0).u8(1).u16(1).u16(5).u16(0).u16(8).u8(0);  // 0x40, 0x4000, 0x200 blocks
    mode.bytes({1, 2});                                      // mode bytes
    mode.u32(0x80).u32(0x20).u32(0x40);                      // unit values 8, 2, 4
    mode.u32(100).u32(300).bytes({0xFF, 0xFD}).u32(11).u32(13).u32(21).u32(23)  // per sub-mode
        .u32(31).u32(33).i32(41).i32(43).u32(kAllFlags).u32(kAllFlags);
    mode.bytes({0x10, 0x11}).u16(0).u16(1);                  // colour order (split: no more), array offsets
    mode.u16(1).u16(2).u16(3).u16(4);                        // 0x800
    mode.u16(5).i16(1).u16(6).u16(7).u16(8);                 // 0x2000: list of 1, per colour 2
    mode.u32(9).u32(10).u32(11).u16(12).i16(1).u8(13);       // 0x400
    mode.u8(14).i16(2).bytes({0x10, 0x12, 0x11, 0x13, 0x10, 0x12, 0x11, 0x13});  // 0x200: 2 heads x 2 arrays x 2
    mode.u16(15).i16(1).u16(16);                             // 0x100
    mode.u16(2).i16(2).bytes({0x10, 0x11, 0x20, 0x21}).u16(0).u16(1);  // 0x40
    mode.i16(2).u16(0).u16(5).u16(0).u16(6).u16(1).u16(2).u16(3).u16(4).u8(1);  // LHT, stacked
    mode.u16(1440).i16(2).u16(1).u16(2);                     // SSS
    mode.i16(2).i16(1).u16(1).i16(2).u16(2).u16(3);          // RLS timings
    mode.u8(1).u16(3).bytes({1, 2, 3});                      // PMC unit, form 1
    mode.u8(1).bytes({0, 0, 0}).u8(2).bytes({10, 20, 1, 2}); // CMS unit
    mode.u8(3);                                              // lower-edge mode
    mode.u16(0).u16(1);                                      // 1 x blockE.n values
    mode.i32(51).i32(53).u32(1).u32(1).u32(61).u32(63);      // switching, method, offset per sub-mode
    mode.bytes({1, 0});                                      // use heads
    for (int sub = 0; sub < 2; ++sub) mode.i32(1).i32(0).i32(2).i32(5).i32(1).i32(0).i32(-1).i32(-1);  // selectors per sub-mode

    Lay unitA;
    unitA.u16(2).u16(0).u32(1).i16(1).u16(0x61).u16(0).i32(2).u16(10).u16(2).u32(3).u32(1).i16(1).i16(1).i16(1);
    unitA.i16(1).i32(0).i32(0).i16(1).i16(1).i16(1).u16(1).i16(4).u16(0).u16(4).u16(0).u16(0).u16(7);
    unitA.u16(1).u16(2).u16(0);                              // feedBase, lowerSumSteps, head units
    unitA.u16(4).u16(0).i16(0).i16(0).u16(2).u16(1).i16(-1).i16(0).u16(3).u16(1).u16(0x0102);
    Lay unitB;
    unitB.u16(1).u16(0).u32(1).i16(2).u16(0).u16(0).i32(0).i16(1).i16(0).i16(0);
    unitB.i16(2).i32(-10).i32(-1).i16(2).i16(0).i16(1).u16(0).i16(2).i16(3).u16(0).u16(2).u16(1).u16(3).u16(1);
    unitB.u16(0).u16(10).u16(5).u16(0).i16(0).i16(0);

    Lay enc;
    enc.u32(100).u32(300).u8(0x11).u32(0x01020304).u8(0xFD).u16(3).u16(1440).u16(180).u16(120).u16(2).u16(0x0D);
    enc.bytes({1, 2, 3}).i16(2).bytes({0x10, 0x11, 0x40, 0x41});

    Lay r;
    r.i16(1).i16(4).u8(0).u32(0).bytes({0xAB, 0xB0, 0xA0, 0, 0, 0, 0});  // header; size bytes patched below
    r.u16(600).u32(7).i16(2).i16(2).u16(3).u16(4).u16(0x38).u16(0x77F);
    r.u32(0x11111111).u32(0x22222222).u32(0x33333333);
    r.u16(10).u16(12).u16(2).u16(5).u16(6);                  // nozzles, overlap, line values
    r.u16(720).u16(0).u16(1).u16(1).u16(2);                  // YDS resolution and columns, head kinds
    r.i16(2).i16(1).i16(1).i16(1).i16(1).i16(1).i16(1).i16(1).i16(1);  // counts 0x1 0x2 0x4 0x8 0x10 0x100 0x200 0x20 0x40
    r.u32(0xA1A2A3A4).u32(0xB1B2B3B4).u32(1).u32(2).u8(3).u8(4);
    r.u8(1).u8(2).bytes({5, 6});                             // matrix
    r.u32(1).u8(1).i16(2).bytes({7, 8, 9, 10});              // tagged record with its extra bytes
    r.u8(11).u8(12);
    r.u32(1).u8(1).u16(1).u16(2).u8(1).u16(1).u16(2).u16(1).u16(1).u8(1).u16(3);  // PMC model part, one set
    r.u8(2).u16(1).u8(2).bytes({0xF0, 0x0F, 0xCC, 0x33});    // mask 2 x 1 x 2
    r.i16(2).bytes({0, 1, 0x10, 0x11}).u32(0);               // colour table, 4 unread bytes
    r.u16(1).u32(0x03020131).u32(uint32_t(mode.b.size())).append(mode);
    r.u16(2).i32(1).i32(0).i32(2).i32(5).u32(uint32_t(unitA.b.size())).u32(uint32_t(unitB.b.size()));
    r.append(unitA).append(unitB);
    r.u16(1).u32(0x03020131).u32(uint32_t(enc.b.size())).append(enc);
    const uint32_t size = uint32_t(r.b.size() - 9);
    r.b[5] = uint8_t(size >> 16);
    r.b[6] = uint8_t(size);
    r.b[7] = uint8_t(size >> 24);
    r.b[8] = uint8_t(size >> 8);
    return r.b;
}

TEST(HeadModelBytes, HandLaidResourceEqualsTheWriterAndParsesFieldByField) {
    const Bytes laid = hand_laid_all_sections();
    EXPECT_EQ(resource(variant(HcVariant::AllSections)), laid);
    const Outcome o = construct(laid, {kJob.mode_id, 3}, [](RscObject* rsc) {
        const ICMResourceData& icm = *rsc->icm;
        const MLEResourceData& mle = *rsc->mle;
        const ESCResourceData& esc = *rsc->esc;
        const RBMResourceData& rbm = *rsc->rbm;
        // Head section; the split count 2 doubles the nozzle counts and the overlap.
        EXPECT_EQ(icm.headValueA, 600);
        EXPECT_EQ(mle.headValueB, 7u);
        EXPECT_EQ(mle.head.headValueC, 3);
        EXPECT_EQ(mle.head.headValueD, 4);
        EXPECT_EQ(mle.head.nozzleNumOfHead[0], 20);
        EXPECT_EQ(mle.head.nozzleNumOfHead[1], 24);
        EXPECT_EQ(mle.head.headOverlapNum[0], 4);
        EXPECT_EQ(mle.head.lineValues[1], 6);
        EXPECT_EQ(rsc->yds->resolutionBetweenNozzles, 720);
        EXPECT_EQ(rsc->yds->effectiveResolution, 1440u);
        EXPECT_EQ(rsc->yds->headColumnOfLine[1], 1);
        EXPECT_EQ(rsc->nlm->hasKind2Line, 1);
        ASSERT_EQ(rsc->rls->kind2LineNum, 1);
        EXPECT_EQ(rsc->rls->kind2Lines[0], 1);
        // Split order into the lines: group A-1 = {0x11, 0x13} fills both lines.
        for (const uint8_t* line : {rsc->yds->colorCodeOfLine, rsc->nlm->colorCodeOfLine, rsc->rls->colorCodeOfLine}) {
            EXPECT_EQ(line[0], 0x11);
            EXPECT_EQ(line[1], 0x13);
        }
        EXPECT_EQ(icm.polBaseWordsA.count, 2);
        EXPECT_EQ(icm.polBaseWordsA.items[1], 0xB1B2B3B4u);
        EXPECT_EQ(icm.polBaseWordsC.items[0], 2u);
        EXPECT_EQ(icm.polOffsetTable32.items[0], 4);
        EXPECT_EQ(icm.polThresholdMatrices.items[0].data[1], 6);
        EXPECT_EQ(icm.polStoredPatterns.items[0].extra[1], 10);
        EXPECT_EQ(icm.polOrderTable.items[0], 12);
        const PmcResource& pmc = *icm.lossNozzleModelData->pmc;
        EXPECT_EQ(pmc.sets[0].tables1[0][1], 2);
        EXPECT_EQ(pmc.sets[0].tables2[0][0], 3);
        EXPECT_EQ(pmc.maskHeight, 2);
        EXPECT_EQ(pmc.maskTable[3], 0x33);
        EXPECT_EQ(pmc.unitKind, 1);
        EXPECT_EQ(pmc.unitLength, 3);
        EXPECT_EQ(icm.lossNozzleModelData->cms->types[1], 2);
        ASSERT_EQ(icm.colorTableNum, 2);
        EXPECT_EQ(icm.colorCodes[1], 0x11);
        // Mode entry, sub-mode 3 (the second of two).
        EXPECT_EQ(rbm.colorNum, 2);
        EXPECT_EQ(mle.modeValue1, 600);
        EXPECT_EQ(mle.modeValue3, 3);
        EXPECT_EQ(mle.modeValue5, 4u);
        EXPECT_EQ(icm.layerKinds[0].values[0], 0x55);
        EXPECT_EQ(icm.layerKinds[1].n, 8);
        EXPECT_EQ(icm.layerKinds[1].values, nullptr);
        EXPECT_EQ(icm.layerKinds[1].ditherColumnStep, 1);
        EXPECT_EQ(icm.layerKinds[1].range[1], 5);
        EXPECT_EQ(icm.layerKinds[1].storedRowBytes, 8);
        EXPECT_EQ(icm.modeBytes[1], 2);
        EXPECT_EQ(mle.unitValue8, 0x80u);
        EXPECT_EQ(icm.unitValue4, 0x40u);
        EXPECT_EQ(mle.subModeValue0, 300u);
        EXPECT_EQ(mle.subModeValue1, -3);
        EXPECT_EQ(icm.subModeValue2, 13u);
        EXPECT_EQ(icm.subModeValue3, 23u);
        EXPECT_EQ(mle.minLength, 33u);
        EXPECT_EQ(mle.preBufferingRaster, 43);
        EXPECT_EQ(icm.functionFlags, kAllFlags);
        EXPECT_EQ(rsc->functionFlags, kAllFlags);
        EXPECT_EQ(mle.mleFlag, 1);
        EXPECT_EQ(icm.colorOrderOfHeadsNum, 2);
        EXPECT_EQ(mle.nozzleArrayValues[1], 1);
        EXPECT_EQ(icm.blockA[3], 4);
        EXPECT_EQ(mle.blockAFlag, 1);
        EXPECT_EQ(icm.blockB.perColor[1], 8);
        EXPECT_EQ(icm.blockC.value3, 12);
        EXPECT_EQ(icm.blockC.bytes[0], 13);
        EXPECT_EQ(icm.splitColorOrder.n, 2);
        EXPECT_EQ(icm.splitColorOrder.codes[7], 0x13);
        EXPECT_EQ(icm.blockD.list[0], 16);
        ASSERT_NE(icm.blockE, nullptr);
        EXPECT_EQ(mle.blockE, icm.blockE);
        EXPECT_EQ(icm.blockE->rowCodes[1], 0x21);
        EXPECT_EQ(icm.blockE->rowShifts[1], 1);
        EXPECT_EQ(rsc->lht->halftoneIndex[1][0], 3);
        EXPECT_EQ(icm.stackedHTEachNozzleLine, 1);
        EXPECT_EQ(SSS_GetShift(1, rsc->sss), 2);
        EXPECT_EQ(rsc->rls->timings[1].areas[1], 3);
        EXPECT_EQ(mle.optionWordLow, 1);
        EXPECT_EQ(mle.optionWordHigh, 3);
        EXPECT_EQ(icm.layerValueCount, 1);
        EXPECT_EQ(icm.layerValues[1], 1);
        EXPECT_EQ(mle.htMaskSwitchingPosition, 53);
        EXPECT_EQ(mle.subModeValue4, 63u);
        EXPECT_EQ(icm.useHead.headNum, 2);
        EXPECT_EQ(icm.useHead.heads[0], 1);
        // Slots 0 and 2 share unit 0, slot 1 is unit 1, slot 3 is empty.
        EXPECT_EQ(mle.unitNum, 2);
        EXPECT_EQ(mle.unitIndexOfSlot[0], 0);
        EXPECT_EQ(mle.unitIndexOfSlot[1], 1);
        EXPECT_EQ(mle.unitIndexOfSlot[2], 0);
        EXPECT_EQ(mle.unitIndexOfSlot[3], -1);
        const MicroweaveLogicRecord& a = mle.units[0];
        EXPECT_EQ(a.pitch, 2);
        EXPECT_EQ(a.nullPassFTransCount, 1);
        EXPECT_EQ(a.nullPassOtherCount, 1);
        EXPECT_EQ(a.nullPassNo[0], 3u);
        EXPECT_EQ(a.layers[0].stepValue[0], 7);
        EXPECT_EQ(a.feedBase, 1);
        EXPECT_EQ(a.lowerSumSteps, 2);
        EXPECT_EQ(a.fTrans.value[0], -1);
        EXPECT_EQ(a.mwsw.phase[0], 0x0102);
        const MicroweaveLogicRecord& b = mle.units[1];
        EXPECT_EQ(b.layers[0].kind, 2);
        EXPECT_EQ(b.layers[0].start, -10);
        EXPECT_EQ(b.layers[0].end, -1);
        EXPECT_EQ(b.layers[0].range[1].first, 1);
        EXPECT_EQ(b.layers[0].selector, nullptr);
        EXPECT_EQ(b.layers[0].group[0], 1);
        EXPECT_EQ(b.headUnits[1], 10);
        // Encoder entry.
        EXPECT_EQ(icm.encoderSubModeValue, 300u);
        EXPECT_EQ(esc.value0, 0x11);
        EXPECT_EQ(esc.value1, 0x01020304u);
        EXPECT_EQ(esc.value2, -3);
        EXPECT_EQ(esc.colorCodeNum, 3);
        EXPECT_EQ(esc.colorCodes[2], 3);
        EXPECT_EQ(esc.value3, 1440);
        EXPECT_EQ(esc.value4, 180);
        EXPECT_EQ(esc.value5, 120);
        EXPECT_EQ(rbm.encoderWord3, 2);
        EXPECT_EQ(icm.encoderFlag2, 1);
        ASSERT_EQ(esc.colorRemapNum, 2);
        EXPECT_EQ(esc.remapTo[1], 0x41);
    });
    EXPECT_EQ(o.code, 0u);
    EXPECT_EQ(o.trouble, "");
}


// ---- Broken fields, one at a time -------------------------------------------------------

struct Breakage {
    const char* what;
    HcVariant base;
    std::function<void(ModelHeadControl&)> describe;  // a change to the description, or none
    std::vector<std::pair<const char*, uint64_t>> patches;  // then fields set in the bytes
    uint32_t code;
};

TEST(HeadModelBroken, EachFieldGivesItsCode) {
    using V = HcVariant;
    const auto none = std::function<void(ModelHeadControl&)>{};
    const Breakage cases[] = {
        {"still packed", V::Default, none, {{"header.packed", 1}}, kRscPacked},
        {"negative major", V::Default, none, {{"header.major", 0xFFFF}}, kRscBadFormat},
        {"negative minor", V::Default, none, {{"header.minor", 0x8000}}, kRscBadFormat},
        {"mode id absent", V::Default, none, {{"modes.id[0]", 0x12345678}}, kRscNoMode},
        {"no modes", V::Default, [](ModelHeadControl& h) { h.modes.clear(); }, {}, kRscNoMode},
        {"sub-mode not in mask", V::Default, none, {{"modes[0].subModeMask", 0x02}}, kRscNoSubMode},
        {"unit absent", V::Default, none, {{"units.logic[0]", 7}}, kRscNoUnit},
        {"encoder entry absent", V::Default, none, {{"encoders.id[0]", 5}}, kRscNoEncoderMode},
        {"layer values without 0x40 entries", V::AllSections,
         [](ModelHeadControl& h) {
             auto& e = h.modes[0].block_e;
             e.colors.clear();
             e.codes.clear();
             e.shifts.clear();
         },
         {}, kRscLayerValuesWithoutBlockE},
        // Counts, sizes and sums past the end.
        {"layer count", V::Default, none, {{"units[0].layerCount", 0x10000000}}, kRscBadResource},
        {"null-pass count", V::Default, none, {{"units[0].nullPassCount", 0x7FFFFFFF}}, kRscBadResource},
        {"entry past its size", V::Default, none, {{"modes.size[0]", 100}}, kRscBadResource},
        {"mode size sum", V::Default, none, {{"modes.size[0]", 0xFFFFFFF0}}, kRscBadResource},
        {"unit size sum", V::Default, none, {{"units.size[0]", 0x80000000}}, kRscBadResource},
        {"encoder size sum", V::Default, none, {{"encoders.size[0]", 0xFFFFFF00}}, kRscBadResource},
        {"colour table", V::Default, none, {{"colorTable.count", 0x7FFF}}, kRscBadResource},
        {"option table", V::AllSections, none, {{"head.polBaseA.count", 0x7FFF}}, kRscBadResource},
        {"PMC table 65535 x 65535", V::AllSections, none,
         {{"pmc.set[0].group1.rows", 0xFFFF}, {"pmc.set[0].group1.columns", 0xFFFF}}, kRscBadResource},
        {"split order", V::AllSections, none, {{"modes[0].split.n", 0x7FFF}}, kRscBadResource},
        {"LHT layers", V::AllSections, none, {{"modes[0].lht.layerNum", 0x7FFF}}, kRscBadResource},
        {"cycle length", V::AllSections, none, {{"units[0].layer[0].cycleLength", 0x7FFF}}, kRscBadResource},
        {"PMC unit length", V::AllSections, none, {{"modes[0].pmcUnit.length", 0xFFFF}}, kRscBadResource},
        {"CMS count", V::AllSections, none, {{"modes[0].cmsUnit.n", 0xFF}}, kRscBadResource},
        {"extra record", V::Default, none, {{"encoders[0].colorCodeNum", 200}}, kRscBadResource},
        {"unit table", V::Default, none, {{"units.count", 0xFFFF}}, kRscBadResource},
        // Values refused.
        {"head value A 0", V::Default, none, {{"head.valueA", 0}}, kRscBadValue},
        {"negative head count", V::Default, none, {{"head.headNum", 0xFFFF}}, kRscBadValue},
        {"no head", V::Default, none, {{"head.headNum", 0}}, kRscBadValue},
        {"negative line count", V::Default, none, {{"head.nozzleLineNum", 0x8000}}, kRscBadValue},
        {"no nozzle", V::Default, none, {{"head.nozzles", 0}}, kRscBadValue},
        {"40000 nozzles", V::Default, none, {{"head.nozzles", 40000}}, kRscBadValue},
        {"split above 32767 nozzles", V::AllSections, none, {{"head.nozzles", 20000}}, kRscBadValue},
        {"overlap above the first head", V::AllSections, none, {{"head.overlaps", 11}}, kRscBadValue},
        {"overlap above the second head", V::TwoHeads, none, {{"head.overlaps", 93}}, kRscBadValue},
        {"bits per dot 3", V::Default, none, {{"modes[0].bitsPerPixel", 3}}, kRscBadValue},
        {"bits per dot 0", V::Default, none, {{"modes[0].bitsPerPixel", 0}}, kRscBadValue},
        {"colour count 0", V::Default, none, {{"modes[0].colorNum", 0}}, kRscBadValue},
        {"encoder word 3", V::Default, none, {{"encoders[0].word3", 0}}, kRscBadValue},
        // The unit command's steps: base 1200 over each resolution, 1 to 255.
        {"no horizontal resolution", V::Default, none, {{"encoders[0].value4", 0}}, kRscBadValue},
        {"no vertical resolution", V::Default, none, {{"encoders[0].value5", 0}}, kRscBadValue},
        {"horizontal resolution not dividing the base", V::Default, none, {{"encoders[0].value4", 700}}, kRscBadValue},
        {"vertical resolution not dividing the base", V::Default, none, {{"encoders[0].value5", 7}}, kRscBadValue},
        {"horizontal step above 255", V::Default, none, {{"encoders[0].value4", 4}}, kRscBadValue},
        {"vertical step above 255", V::Default, none, {{"encoders[0].value5", 2}}, kRscBadValue},
        {"resolution above the base", V::Default, none, {{"encoders[0].value5", 2400}}, kRscBadValue},
        {"no base", V::Default, none, {{"encoders[0].value3", 0}}, kRscBadValue},
        {"extra record above 256", V::Default, none, {{"encoders[0].colorCodeNum", 257}}, kRscBadValue},
        {"mode value 0 with the cycle block", V::AllSections, none, {{"modes[0].value0", 0}}, kRscBadValue},
        {"empty cycle block", V::AllSections, none, {{"modes[0].blockB.n", 0}}, kRscBadValue},
        {"empty vertical block", V::AllSections, none, {{"modes[0].blockD.n", 0}}, kRscBadValue},
        {"split 0", V::AllSections, none, {{"modes[0].split.n", 0}}, kRscBadValue},
        {"negative split", V::AllSections, none, {{"modes[0].split.n", 0xFFFF}}, kRscBadValue},
        {"negative layer kinds", V::AllSections, none, {{"modes[0].layerKindCount", 0xFFFF}}, kRscBadValue},
        {"negative kind values", V::AllSections, none, {{"modes[0].layerKind[0].n", 0xFFFF}}, kRscBadValue},
        {"negative mode bytes", V::AllSections, none, {{"modes[0].modeByteCount", 0xFFFF}}, kRscBadValue},
        {"negative nozzle arrays", V::Default, none, {{"modes[0].nozzleArrayNum", 0xFFFF}}, kRscBadValue},
        {"negative matrix rows", V::AllSections, none, {{"head.matrix[0].rows", 0xFF}}, kRscBadValue},
        {"negative stored columns", V::AllSections, none, {{"head.stored[0].columns", 0xFFFF}}, kRscBadValue},
        {"negative 0x40 count", V::AllSections, none, {{"modes[0].blockE.n", 0xFFFF}}, kRscBadValue},
        {"negative timings", V::AllSections, none, {{"modes[0].rls.timingNum", 0xFFFF}}, kRscBadValue},
        {"negative shifts", V::AllSections, none, {{"modes[0].sss.shiftNum", 0xFFFF}}, kRscBadValue},
        {"negative remap", V::AllSections, none, {{"encoders[0].remapNum", 0xFFFF}}, kRscBadValue},
        {"negative cycle", V::AllSections, none, {{"units[0].layer[0].cycleLength", 0xFFFF}}, kRscBadValue},
        {"negative null passes", V::Default, none, {{"units[0].nullPassCount", 0xFFFFFFFF}}, kRscBadValue},
        {"negative head units", V::Default, none, {{"units[0].headUnitCount", 0x8000}}, kRscBadValue},
        {"negative layer values", V::AllSections, none, {{"modes[0].layerValueCount", 0xFFFF}}, kRscBadValue},
        {"negative colour table", V::Default, none, {{"colorTable.count", 0xFFFF}}, kRscBadValue},
        // The PMC mask height is kept in 16 bits.
        {"mask rows x multiplier", V::AllSections, none, {{"pmc.maskRows", 0x8000}}, kPmcNoResource},
        // Colour-order setters.
        {"more lines than colour codes", V::Default,
         [](ModelHeadControl& h) { h.head.line_values.push_back(0); }, {}, kYdsTooFewCodes},
        {"more lines than split codes", V::AllSections,
         [](ModelHeadControl& h) { h.head.line_values = {1, 2, 3, 4, 5}; h.head.yds_columns = {0, 0, 0, 0, 0};
                                   h.head.head_kinds = {1, 1, 1, 1, 1}; },
         {}, kYdsSplitTooFewCodes},
        {"split order without arrays", V::AllSections,
         [](ModelHeadControl& h) {
             ovcg_test::HcMode& m = h.modes[0];
             m.color_order.clear();
             m.array_values.clear();
             m.split.codes.clear();
             m.lht.starts.clear();
             m.lht.halftones.clear();
         },
         {}, kYdsSplitNoArrays},
    };
    for (const Breakage& c : cases) {
        ModelHeadControl hc = variant(c.base);
        if (c.describe) c.describe(hc);
        HcLayout layout;
        Bytes res = resource(hc, &layout);
        for (const auto& [field, value] : c.patches) ovcg_test::patch_field(res, layout, field, value);
        const Outcome o = construct(res, {kJob.mode_id, 3});
        EXPECT_EQ(o.code, c.code) << c.what;
        EXPECT_EQ(o.trouble, "") << c.what;
    }
}

// A row of the split colour table prints the windows of the mode's logics
// moved down its nozzle line; a row that carries one past the heads' last
// nozzle (the shared nozzles of two heads counted once) is refused, at the
// last nozzle and one beyond it. Rows of code 255 name no ink.
TEST(HeadModelBroken, SplitRowsKeepTheLogicsWindowsOnTheHead) {
    using V = HcVariant;
    auto rowAt = [](uint16_t shift) { return [shift](ModelHeadControl& h) { h.modes[0].block_e.shifts[1] = shift; }; };
    // Head 0's K with a second row (0x30) on two heads sharing 4 of 92 nozzles.
    auto twoHeads = [](uint16_t shift, uint16_t width) {
        return [shift, width](ModelHeadControl& h) {
            ovcg_test::HcMode& m = h.modes[0];
            m.function_flags |= 0x40;
            m.block_e.rows = 2;
            m.block_e.colors = {0x10, 0x10};
            m.block_e.codes = {0x10, 0x30};
            m.block_e.shifts = {0, shift};
            h.units[0].layers[0].feed = {int16_t(width)};
            h.units[0].layers[0].range = {{0, width}};
            h.units[0].normal = {{width, 0, 0, 0}};
        };
    };
    // A second logic in slot 1, of 100-nozzle passes.
    auto wideSecond = [](ModelHeadControl& h) {
        ovcg_test::HcLogic u = h.units[0];
        u.logic_id = 2;
        u.layers[0].feed = {100};
        u.layers[0].range = {{0, 100}};
        u.normal = {{100, 0, 0, 0}};
        h.units.push_back(u);
        h.modes[0].unit_mask |= 0x2;
        for (ovcg_test::HcSubMode& s : h.modes[0].sub_modes) s.units[1] = {2, 0};
    };
    const struct {
        const char* what;
        HcVariant base;
        std::function<void(ModelHeadControl&)> describe;
        uint32_t code;
    } cases[] = {
        {"row 90 down, passes of 90 on 180", V::DriverGrouped, rowAt(90), 0},
        {"row 91 down", V::DriverGrouped, rowAt(91), kRscBadValue},
        {"row 1000 down, code 255",
         V::DriverGrouped,
         [](ModelHeadControl& h) {
             h.modes[0].block_e.shifts[1] = 1000;
             h.modes[0].block_e.codes[1] = 255;
         },
         0},
        {"row 80 down, a second logic of 100", V::DriverGrouped,
         [&](ModelHeadControl& h) {
             rowAt(80)(h);
             wideSecond(h);
         },
         0},
        {"row 81 down, a second logic of 100", V::DriverGrouped,
         [&](ModelHeadControl& h) {
             rowAt(81)(h);
             wideSecond(h);
         },
         kRscBadValue},
        {"two heads of 180 nozzles, row 10 down, passes of 170", V::TwoHeads, twoHeads(10, 170), 0},
        {"two heads of 180 nozzles, row 11 down, passes of 170", V::TwoHeads, twoHeads(11, 170), kRscBadValue},
        {"two heads, row 0, passes of 170", V::TwoHeads, twoHeads(0, 170), 0},
    };
    for (const auto& c : cases) {
        ModelHeadControl hc = variant(c.base);
        c.describe(hc);
        const Outcome o = construct(resource(hc), {kJob.mode_id, 3});
        EXPECT_EQ(o.code, c.code) << c.what;
        EXPECT_EQ(o.trouble, "") << c.what;
    }
}

TEST(HeadModelBroken, AbsentResource) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    RscObject* rsc = nullptr;
    EXPECT_EQ(RSC_Constructor(&rsc, kJob, 0, &cb), kRscNotAvailable);
    EXPECT_EQ(rsc, nullptr);
    EXPECT_EQ(ovf.resource_fetches(), 1u);
    EXPECT_EQ(ovf.live_blocks(), 0u);
}

TEST(HeadModelBroken, EveryPrefixGivesACode) {
    for (HcVariant v : {HcVariant::Default, HcVariant::AllSections}) {
        const Bytes full = resource(variant(v));
        for (size_t n = 0; n < full.size(); ++n) {
            const Outcome o = construct(Bytes(full.begin(), full.begin() + ptrdiff_t(n)), {kJob.mode_id, 3});
            // Only the encoder entry's last bytes may go unread; it is the last section.
            EXPECT_EQ(o.code, kRscBadResource) << int(v) << " prefix " << n;
            EXPECT_EQ(o.trouble, "") << int(v) << " prefix " << n;
        }
    }
}


// ---- Formats and edge cases -----------------------------------------------------------

TEST(HeadModelFormats, OlderFormatsReadTheirOwnLayouts) {
    const struct {
        HcVariant variant;
        int16_t minor;
        uint32_t mode_id;  // one byte below 1.2
        bool head_flags;   // the head-section flags word and the colour-order setters, from 1.3
    } cases[] = {
        {HcVariant::Format10, 0, 0x31, false},
        {HcVariant::Format11, 1, 0x31, false},
        {HcVariant::Format12, 2, ovcg_test::model_head_mode_id(), false},
        {HcVariant::Format13, 3, ovcg_test::model_head_mode_id(), true},
    };
    for (const auto& c : cases) {
        ModelHeadControl hc = variant(c.variant);
        ASSERT_EQ(hc.format_minor, c.minor);
        // Every head-section array the format can carry.
        hc.head.yds_resolution = 360;
        hc.head.yds_columns.assign(6, 0);
        hc.head.head_kinds.assign(6, 2);
        hc.modes[0].function_flags = 0x10000;  // LHT: the stacked byte only from 1.3
        hc.modes[0].lht.starts.assign(6, {0});
        hc.modes[0].lht.halftones.assign(6, {1});
        hc.modes[0].lht.stacked = 1;
        const Bytes res = resource(hc);
        const Outcome o = construct(res, {c.mode_id, 1}, [&](RscObject* rsc) {
            EXPECT_EQ(rsc->nlm->headKindExists, c.head_flags ? 1 : 0);
            EXPECT_EQ(rsc->nlm->hasKind2Line, c.head_flags ? 1 : 0);
            EXPECT_EQ(rsc->yds->resolutionBetweenNozzles, c.head_flags ? 360 : 0);
            EXPECT_EQ(rsc->rls->kind2LineNum, c.head_flags ? 6 : 0);
            EXPECT_EQ(rsc->nlm->colorCodeOfLine[0], c.head_flags ? 0x15 : 0);
            EXPECT_EQ(rsc->icm->stackedHTEachNozzleLine, c.head_flags ? 1 : 0);
            EXPECT_EQ(rsc->lht->halftoneIndex[5][0], 1);
            EXPECT_FALSE(NLM_IsValid(rsc->nlm));
            EXPECT_FALSE(YDS_IsValid(rsc->yds));
            EXPECT_FALSE(RLS_IsValid(rsc->rls));
            EXPECT_EQ(rsc->mle->units[0].pitch, 1);
            EXPECT_EQ(rsc->esc->value2, 2);
        });
        EXPECT_EQ(o.code, 0u) << c.minor;
        EXPECT_EQ(o.trouble, "") << c.minor;
        // The long mode number is no one-byte id.
        if (c.mode_id == 0x31) {
            EXPECT_EQ(construct(res, kJob).code, kRscNoMode) << c.minor;
        }
    }
}

TEST(HeadModelEdges, Table) {
    const struct {
        const char* what;
        HcVariant base;
        std::function<void(ModelHeadControl&)> describe;
        std::function<void(Bytes&, const HcLayout&)> edit;
        IdentifierPair job;
        uint32_t code;
        std::function<void(RscObject*)> check;
    } cases[] = {
        {"the later of two units with the same ids", HcVariant::SharedUnits, {}, {}, kJob, 0,
         [](RscObject* r) {
             ASSERT_EQ(r->mle->unitNum, 2);
             EXPECT_EQ(r->mle->units[0].pitch, 1);  // not the shadowed unit's 9
             EXPECT_EQ(r->mle->units[1].pitch, 2);
             const int16_t slots[4] = {0, -1, 1, 0};
             EXPECT_TRUE(std::equal(slots, slots + 4, r->mle->unitIndexOfSlot));
         }},
        {"no unit selected at all", HcVariant::Default,
         [](ModelHeadControl& h) { h.modes[0].unit_mask = 0; }, {}, kJob, 0,
         [](RscObject* r) {
             EXPECT_EQ(r->mle->unitNum, 0);
             EXPECT_EQ(r->mle->units, nullptr);
             EXPECT_EQ(r->mle->unitIndexOfSlot[0], -1);
         }},
        {"the job's mode behind another", HcVariant::Default,
         [](ModelHeadControl& h) {
             ovcg_test::HcMode other = h.modes[0];
             other.id = 0x99;
             other.bits_per_pixel = 1;
             other.sub_modes.pop_back();
             h.modes.insert(h.modes.begin(), other);
             ovcg_test::HcEncoder enc = h.encoders[0];
             enc.id = 0x99;
             enc.run_length = 9;
             enc.sub_mode_values.pop_back();
             h.encoders.insert(h.encoders.begin(), enc);
         },
         {}, kJob, 0,
         [](RscObject* r) {
             EXPECT_EQ(r->icm->bitsPerPixel, 2);
             EXPECT_EQ(r->esc->value2, 2);
         }},
        {"an entry longer than what it holds", HcVariant::Default, {},
         [](Bytes& b, const HcLayout& l) {
             // Three bytes after the mode entry, counted in its size: the unit table follows them.
             const size_t at = l.at("units.count").offset;
             b.insert(b.begin() + ptrdiff_t(at), {0xEE, 0xEE, 0xEE});
             const size_t size_at = l.at("modes.size[0]").offset;
             b[size_at] = uint8_t(b[size_at] + 3);
         },
         kJob, 0, [](RscObject* r) { EXPECT_EQ(r->mle->units[0].pitch, 1); }},
        {"sub-mode 4 absent", HcVariant::Default, {}, {}, {kJob.mode_id, 4}, kRscNoSubMode, {}},
        {"sub-mode 9", HcVariant::Default, {}, {}, {kJob.mode_id, 9}, kRscNoSubMode, {}},
        {"sub-mode 0 alone", HcVariant::Default,
         [](ModelHeadControl& h) {
             h.modes[0].sub_modes = {h.modes[0].sub_modes[0]};
             h.modes[0].sub_modes[0].number = 0;
             h.modes[0].sub_modes[0].min_length = 77;
             h.encoders[0].sub_mode_values = {55};
         },
         {}, {kJob.mode_id, 0}, 0,
         [](RscObject* r) {
             EXPECT_EQ(r->mle->minLength, 77u);
             EXPECT_EQ(r->icm->encoderSubModeValue, 55u);
         }},
        {"logic -1 is an id below format 1.2", HcVariant::Format11,
         [](ModelHeadControl& h) {
             for (auto& s : h.modes[0].sub_modes) s.units[0] = {-1, 0};
             h.units[0].logic_id = -1;
         },
         {}, {0x31, 1}, 0, [](RscObject* r) { EXPECT_EQ(r->mle->unitNum, 1); }},
        {"bit 0x8000 drops three option counts", HcVariant::AllSections,
         [](ModelHeadControl& h) {
             h.head.option_mask = uint16_t(0x77F | 0x8000);
             h.head.pol_offsets64.clear();
             h.head.pol_offsets32.clear();
             h.head.pol_order.clear();
         },
         {}, kJob, 0,
         [](RscObject* r) {
             EXPECT_EQ(r->icm->polOffsetTable64.items, nullptr);
             EXPECT_EQ(r->icm->polOrderTable.count, 0);
             EXPECT_EQ(r->icm->polDispersionOffsets.items[0], 11);
         }},
        {"mask bit with a count of 0", HcVariant::Default,
         [](ModelHeadControl& h) { h.head.option_mask = 0x1; }, {}, kJob, 0,
         [](RscObject* r) { EXPECT_EQ(r->icm->polBaseWordsA.items, nullptr); }},
        {"PMC mask left out in form 1", HcVariant::AllSections,
         [](ModelHeadControl& h) {
             h.head.pmc_model->flags = 0;
             h.head.pmc_model->mask.clear();
         },
         {}, kJob, 0,
         [](RscObject* r) {
             const PmcResource& p = *r->icm->lossNozzleModelData->pmc;
             EXPECT_EQ(p.maskTable, nullptr);
             EXPECT_EQ(p.unitLength, 3);  // the unit record fills the same PMC record
         }},
        {"layer values per nozzle array", HcVariant::AllSections,
         [](ModelHeadControl& h) {
             h.modes[0].function_flags &= ~0x40u;
             h.modes[0].layer_value_count = 2;
             h.modes[0].layer_values = {1, 2, 3, 4};  // 2 x 2 arrays
         },
         {}, kJob, 0,
         [](RscObject* r) {
             EXPECT_EQ(r->icm->blockE, nullptr);
             EXPECT_EQ(r->icm->layerValues[3], 4);
         }},
        {"layer values without 0x80: one per layer kind", HcVariant::AllSections,
         [](ModelHeadControl& h) {
             h.modes[0].function_flags &= ~0x80u;
             h.modes[0].layer_value_count = 9;  // replaced by the kind count
         },
         {}, kJob, 0, [](RscObject* r) { EXPECT_EQ(r->icm->layerValueCount, 2); }},
        {"colour order of two heads", HcVariant::TwoHeads, {}, {}, kJob, 0,
         [](RscObject* r) {
             EXPECT_EQ(r->icm->colorOrderOfHeadsNum, 12);
             EXPECT_EQ(r->icm->colorOrderOfHeads[11], 0x15);
             EXPECT_EQ(r->mle->head.headOverlapNum[0], 4);
             EXPECT_EQ(r->yds->colorCodeOfLine[0], 0x15);  // the last of all twelve codes
         }},
    };
    for (const auto& c : cases) {
        ModelHeadControl hc = variant(c.base);
        if (c.describe) c.describe(hc);
        HcLayout layout;
        Bytes res = resource(hc, &layout);
        if (c.edit) c.edit(res, layout);
        const Outcome o = construct(res, c.job, c.check);
        EXPECT_EQ(o.code, c.code) << c.what;
        EXPECT_EQ(o.trouble, "") << c.what;
    }
}


// ---- Allocation failures -------------------------------------------------------------------

// Fails the n-th allocation and every later one.
uint32_t construct_failing(const Bytes& res, size_t n, std::string& trouble) {
    FakeOvf ovf;
    ovf.fail_alloc_from(n);
    ovf.set_resource(kModelResourceKind, res);
    const CallbackTable cb = relay_callbacks(ovf.table());
    RscObject* rsc = nullptr;
    const uint32_t code = RSC_Constructor(&rsc, kJob, 0, &cb);
    RSC_Destructor(rsc);
    trouble.clear();
    if (code != 0 && rsc) trouble += "object returned; ";
    if (ovf.live_blocks() != 0) trouble += "leak; ";
    if (ovf.resources_out() != 0) trouble += "resource kept; ";
    if (n > 10 && ovf.resource_fetches() != 1) trouble += "fetch count; ";
    return code;
}

TEST(HeadModelAlloc, EachAllocationOfTheDefaultModelGivesItsCode) {
    // The default resource's allocations, in order (derived from the layout:
    // one head, six lines and arrays, no optional section, one unit of one layer).
    const std::vector<uint32_t> expected = {
        101, 102, 102, 102, 102,            // object, ICM, MLE, ESC, RBM blocks
        901, 921, 970, 980, 990,            // the five head tables
        971, 977, 981, 984, 991, 995,       // their per-line arrays
        116, 112, 118,                      // nozzle counts, line values, loss-nozzle record
        122, 122,                           // ink and colour codes
        136, 136, 137, 159,                 // colour order (MLE, ICM), array values, use heads
        172, 173, 175, 175, 175, 175,       // unit records, layers, feed/range/selector/group
        174, 174, 174, 174, 174,            // head units, the normal table's four columns
    };
    const Bytes res = resource(variant(HcVariant::Default));
    std::string trouble;
    for (size_t n = 1; n <= expected.size() + 1; ++n) {
        const uint32_t want = n <= expected.size() ? expected[n - 1] : 0;
        EXPECT_EQ(construct_failing(res, n, trouble), want) << "allocation " << n;
        EXPECT_EQ(trouble, "") << "allocation " << n;
    }
}

TEST(HeadModelAlloc, EveryAllocationOfAllSectionsFailsCleanly) {
    const std::set<uint32_t> codes = {101, 102, 112, 115, 116, 117, 118, 122, 135, 136, 137, 150, 151, 152, 153,
                                      159, 162, 163, 164, 172, 173, 174, 175, 177, 183, 901, 902, 903, 904, 905,
                                      921, 922, 946, 951, 970, 971, 977, 980, 981, 984, 990, 991, 992, 993, 994, 995};
    const Bytes res = resource(variant(HcVariant::AllSections));
    std::set<uint32_t> seen;
    std::string trouble;
    for (size_t n = 1;; ++n) {
        const uint32_t code = construct_failing(res, n, trouble);
        EXPECT_EQ(trouble, "") << "allocation " << n;
        if (code == 0) break;
        EXPECT_TRUE(codes.count(code)) << "allocation " << n << " gave " << code;
        seen.insert(code);
        ASSERT_LT(n, 1000u);
    }
    // Every allocation site of the variant was reached.
    EXPECT_EQ(seen, codes);
}

}  // namespace
}  // namespace ovcg::irac
