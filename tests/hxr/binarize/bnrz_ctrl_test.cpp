// Binarize controller: creation and its two error codes, the pixel size, the
// forwarders and every query, for the only kind, another kind and none.
#include "bnrz_job.h"

#include <string>

namespace {

using namespace ovcg_test;

class BnrzCtrl : public BnrzJob {
public:
    // A controller of ink set 1 at type 3 made directly.
    HXRBinarizeController* make(uint32_t dotMode, uint32_t count, const HXRClrMgr* colours,
                                const HXRBnrzDataOps* ops = FakeDataSet::ops(), bool withInfo = true,
                                bool withMode = true) {
        _HXR_HALFTONE_INFO info{};
        info.inkSet = 1;
        info.htType = 3;
        info.outputBits = dotMode;
        const int mode = 0;
        return HXRCreateBinarizeController(withInfo ? &info : nullptr, withMode ? &mode : nullptr, 1, count, 1,
                                           colours, mm, ops);
    }
};

TEST_F(BnrzCtrl, Creation) {
    struct Case {
        uint32_t inkSet, dotMode, kind, htType, elementSize;
        bool made;
        uint32_t error;
    };
    const Case cases[] = {
        {11, 34, 6, 5, 1, false, 8401},  // the converter test comes first
        {11, 34, 4, 3, 1, false, 8401},
        {11, 34, 1, 5, 1, false, 8402},
        {11, 34, 1, 6, 1, false, 8402},
        {11, 34, 1, 3, 1, true, 0},
        {11, 34, 5, 3, 2, true, 0},
        {1, 2, 1, 4, 1, false, 0},  // silent refusals
        {1, 2, 1, 0, 1, false, 0},
        {1, 2, 4, 7, 1, false, 0},
        {1, 1, 1, 3, 3, false, 0},  // no dither kernel for the element size
        {1, 2, 1, 5, 0, false, 0},
        {1, 1, 4, 3, 1, true, 0},
        {1, 2, 6, 6, 1, true, 0},   // the HybridED set-up refuses this kind later
        {3, 2, 1, 5, 1, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.inkSet) + "/" + std::to_string(c.dotMode) + " kind " + std::to_string(c.kind) +
                     " type " + std::to_string(c.htType));
        BnrzJobSpec s = job_of(c.inkSet, c.dotMode, c.htType).converter(c.kind, c.elementSize);
        EXPECT_EQ(build(s), c.made);
        expect_error(c.error);
        if (c.made) {
            EXPECT_EQ(ctrl->kind, 1u);
            EXPECT_EQ(HXRGetBnrzBitPerColor(ctrl), c.dotMode & 15);
            EXPECT_EQ(HXRGetBnrzDthThreshAddition(ctrl), 8192u);
        }
    }
    // Dot mode 66 (no dither kernel) and null arguments: null, no error.
    const HXRClrMgr* clr2 = HXRCreateClrMgr(1, 2, 0, mm);
    EXPECT_EQ(make(66, 8, clr2), nullptr);
    EXPECT_NE(make(2, 8, clr2), nullptr);
    EXPECT_EQ(make(2, 8, clr2, FakeDataSet::ops(), false), nullptr);
    EXPECT_EQ(make(2, 8, clr2, FakeDataSet::ops(), true, false), nullptr);
    EXPECT_EQ(make(2, 8, nullptr), nullptr);
    EXPECT_EQ(make(2, 8, clr2, nullptr), nullptr);
    EXPECT_EQ(error(), 0u);
}

TEST_F(BnrzCtrl, PixelSizeRoundsUpWithoutWrapping) {
    const HXRClrMgr* c = HXRCreateClrMgr(1, 1, 0, mm);
    const std::pair<uint32_t, uint32_t> sizes[] = {{0, 0}, {1, 8}, {8, 8}, {9, 16}, {0xFFFFFFF8u, 0xFFFFFFF8u}};
    for (auto [count, size] : sizes) {
        const HXRBinarizeController* b = make(1, count, c);
        ASSERT_NE(b, nullptr) << count;
        EXPECT_EQ(HXRGetBnrzPixelSize(b), size) << count;
        EXPECT_EQ(b->everyColor->planePixels, size) << count;
    }
    // Rounded up, these would wrap to a plane of 0 pixels.
    for (uint32_t count : {0xFFFFFFF9u, 0xFFFFFFFFu})
        EXPECT_EQ(make(1, count, c), nullptr) << count;
}

// Every query and forwarder for a working controller, one of another kind and
// none.
TEST_F(BnrzCtrl, QueriesAndForwardersByKind) {
    ASSERT_TRUE(build(job_of(1, 2, 6)));
    ASSERT_EQ(attach(), 0u);
    ASSERT_EQ(hybrid(), 0u);
    struct Query {
        const char* name;
        std::function<uint32_t(HXRBinarizeController*)> get;
        uint32_t kind1, other, none;
    };
    uint64_t counts[12];
    const Query queries[] = {
        {"SmlGradNum", HXRGetBnrzSmlGradNum, 256, 0, 0},
        {"IfAddBiggerDotRate", [](HXRBinarizeController*) { return HXRBnrzIfAddBiggerDotRate(); }, 0, 0, 0},
        {"IfUseDth", HXRIfUseDth, 1, 0, 0},
        {"DthOrder", HXRGetBnrzDthOrder, 1, 0, 0},
        {"DthThreshAddition", HXRGetBnrzDthThreshAddition, 8192, 0, 0},
        {"DthDataBytes", HXRGetBnrzDthDataBytes, 2, 0, 0},
        {"DthDataType", HXRGetBnrzDthDataType, 1, 0, 0},
        {"DthThreshUpdatePixel", HXRGetBnrzDthThreshUpdatePixel, 4, 0, 0},
        {"BitPerColor", HXRGetBnrzBitPerColor, 2, 2, 0},
        {"CtrlDotCounter", [&](HXRBinarizeController* c) { return HXRGetBnrzCtrlDotCounter(c, counts, 12); }, 12, 0,
         0},
        {"IfUseUBEC", HXRIfUseUBEC, 0, 0, 0},
        {"UBECBlockSize", HXRGetBnrzUBECBlockSize, 1, 0, 0},
        {"UBECEncodeStep", HXRGetBnrzUBECEncodeStep, 1, 0, 0},
        {"UBECTableType", HXRGetBnrzUBECTableType, 1, 0, 0},
        {"IfExecUBECSmlCalib", [](HXRBinarizeController*) { return HXRIfExecUBECSmlCalib(); }, 0, 0, 0},
        {"PixelSize", HXRGetBnrzPixelSize, 104, 104, 0},
        {"OutputColorOrder K", [](HXRBinarizeController* c) { return HXRGetBnrzOutputColorOrder(c, 0); }, 3, 3,
         0xFFFFFFFF},
        {"OutputColorOrder 256+Y", [](HXRBinarizeController* c) { return HXRGetBnrzOutputColorOrder(c, 259); }, 2, 2,
         0xFFFFFFFF},
        {"OutputColorOrder R", [](HXRBinarizeController* c) { return HXRGetBnrzOutputColorOrder(c, 8); },
         0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        {"HalftoneColorNum", HXRGetBnrzHalftoneColorNum, 4, 4, 0},
        // Forwarders.
        {"SetBinarizeData", [&](HXRBinarizeController* c) { return HXRSetBinarizeData(c, set.handle(), clr, mm); }, 0,
         1, 1},
        {"SetHybridEDBinarize",
         [&](HXRBinarizeController* c) { return HXRSetHybridEDBinarize(c, &ht, 1, 1, clr, interm, random, mm); }, 0, 1,
         1},
        {"SetHtSwitchPos", [&](HXRBinarizeController* c) { return HXRSetHtSwitchPos(c, nullptr, 0, mm); }, 0, 1, 1},
        {"ResetBnrzErrorBuffer", [&](HXRBinarizeController* c) { return HXRResetBnrzErrorBuffer(c, random); }, 0, 1,
         1},
        {"SetBrsBinarize", [](HXRBinarizeController* c) { return HXRSetBrsBinarize(c, nullptr); }, 0, 1, 1},
        {"SetDataShiftBinarize",
         [&](HXRBinarizeController* c) { return HXRSetDataShiftBinarize(c, nullptr, clr); }, 0, 1, 1},
        {"Binarize",
         [&](HXRBinarizeController* c) {
             std::vector<uint8_t> plane(26);
             uint8_t* planes[8] = {plane.data(), plane.data(), plane.data(), plane.data()};
             return HXRBinarize(c, interm, random, planes, nullptr, 1, 0, nullptr);
         },
         0, 1, 1},
    };
    fill_ink(3, 0, 100);
    for (const Query& q : queries) EXPECT_EQ(q.get(ctrl), q.kind1) << q.name;
    HXRBinarizeController other = *ctrl;
    other.kind = 2;
    for (const Query& q : queries) EXPECT_EQ(q.get(&other), q.other) << q.name;
    for (const Query& q : queries) EXPECT_EQ(q.get(nullptr), q.none) << q.name;

    // Refused sources, a null halftone description.
    const HXRBrsSource brs{&brs, nullptr};
    const HXRDataShiftSource shift{&shift, &shift};
    EXPECT_EQ(HXRSetBrsBinarize(ctrl, &brs), 1u);
    EXPECT_EQ(HXRSetDataShiftBinarize(ctrl, &shift, clr), 1u);
    EXPECT_EQ(HXRSetHybridEDBinarize(ctrl, nullptr, 1, 1, clr, interm, random, mm), 1u);
    EXPECT_EQ(HXRSetHtSwitchPos(ctrl, nullptr, 3, mm), 1u);
}

}  // namespace
