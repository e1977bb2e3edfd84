// The colour-conversion controller: the kind chosen for every image and
// halftone record (or the code recorded), the forwarding of tables and
// bands, and the getters on every kind.
#include "color_test_util.h"
#include "recording_kernels.h"

#include "hxr/color/hxr_color_ctrl.h"
#include "hxr/color/hxr_color_cvt.h"
#include "hxr/color/hxr_color_direct.h"
#include "hxr/color/hxr_color_tnmx.h"

namespace {

using namespace color_test;

class ColourController : public ColorTest {
protected:
    void SetUp() override {
        ColorTest::SetUp();
        values.wprint.outputMode = kHxrWPrintOff;
        values.textEnhance = 3;
    }
    HXRColorCvtController* make(uint32_t mode, uint32_t docType, uint32_t scale, uint32_t inks,
                                uint32_t sampleBytes = 1, uint32_t pixelOffset = 3, uint32_t attrStride = 0,
                                uint32_t width = 100) {
        const _HXR_IMAGE_INFO im = image(mode, width, pixelOffset, sampleBytes, attrStride);
        _HXR_HALFTONE_INFO ht{};
        ht.docType = docType;
        ht.scale = scale;
        return HXRCreateColorCvtController(&im, &ht, &values, clr(inks), mm);
    }
    HXRValueSettings values{};
    BoundTables bound;  // recording kernels, so kinds 1 and 2 can be made
};

TEST_F(ColourController, KindOrCode) {
    struct Case {
        uint32_t mode, docType, scale, inks, sampleBytes, pixelOffset, attrStride, width;
        uint32_t kind;  // 0: refused
        uint32_t code;  // recorded on refusal (0: none)
    };
    const Case cases[] = {
        {3, 0, 1, 4, 1, 3, 0, 100, 1, 0},
        {3, 2, 0x20001, 6, 2, 3, 1, 100, 1, 0},
        {4, 0, 8, 4, 1, 4, 0, 0, 2, 0},  // width 0 is accepted
        {3, 7, 2, 4, 1, 3, 0, 100, 4, 0},
        {4, 7, 1, 4, 1, 4, 0, 100, 0, kHxrColorCvtModeInvalid},
        {3, 7, 0x20001, 4, 1, 3, 0, 100, 0, 0},  // no 2:1 monochrome-photo form: no code
        {101, 0, 1, 1, 1, 1, 0, 100, 5, 0},
        {104, 0, 4, 4, 2, 1, 0, 100, 5, 0},
        {105, 0, 1, 5, 1, 1, 0, 100, 5, 0},
        {110, 0, 1, 10, 1, 1, 0, 100, 5, 0},
        {112, 0, 2, 12, 1, 1, 0, 100, 5, 0},
        {112, 0, 2, 4, 1, 1, 0, 100, 0, kHxrColorCvtDirectCount},
        {106, 7, 1, 6, 1, 1, 0, 100, 6, 0},
        {112, 7, 1, 12, 1, 1, 0, 100, 6, 0},
        {101, 7, 1, 1, 1, 1, 0, 100, 0, 0},  // the monochrome-photo table has no one-ink row
        {109, 7, 1, 9, 1, 1, 0, 100, 0, 0},
        {112, 0, 0x20001, 12, 1, 1, 0, 100, 0, 0},  // no 2:1 direct form
        {0, 0, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {99, 0, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {100, 0, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {102, 0, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {103, 7, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {111, 0, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {113, 0, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {0xFFFFFFFF, 0, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {0xFFFFFFFF, 7, 1, 4, 1, 3, 0, 100, 0, kHxrColorCvtModeInvalid},
        {3, 0, 1, 4, 0, 3, 0, 100, 0, kHxrColorCvtImageInvalid},
        {3, 0, 3, 4, 3, 3, 0, 100, 0, kHxrColorCvtImageInvalid},  // the record before the scale
        {3, 0, 1, 4, 1, 0x80000000, 0, 100, 0, kHxrColorCvtImageInvalid},
        {3, 0, 1, 4, 1, 3, 0xFFFFFFFF, 100, 0, kHxrColorCvtImageInvalid},
        {3, 0, 1, 4, 1, 3, 0, 0x80000000, 0, kHxrColorCvtImageInvalid},
        {3, 0, 0, 4, 1, 3, 0, 100, 0, kHxrColorCvtScaleInvalid},
        {3, 0, 3, 4, 1, 3, 0, 100, 0, kHxrColorCvtScaleInvalid},
        {3, 0, 16, 4, 1, 3, 0, 100, 0, kHxrColorCvtScaleInvalid},
        {3, 0, 0x20002, 4, 1, 3, 0, 100, 0, kHxrColorCvtScaleInvalid},
        {3, 0, 0x10001, 4, 1, 3, 0, 100, 0, kHxrColorCvtScaleInvalid},
        {4, 0, 1, 3, 1, 4, 0, 100, 0, 0},  // three inks have no 4D row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " doc " << c.docType << " scale " << c.scale);
        HXRColorCvtController* ctl =
            make(c.mode, c.docType, c.scale, c.inks, c.sampleBytes, c.pixelOffset, c.attrStride, c.width);
        EXPECT_EQ(HXRGeColorCvtMode(ctl), c.kind);
        expect_error(c.code);
    }
}

TEST_F(ColourController, FirstCodeKeptAndNullArguments) {
    EXPECT_EQ(make(3, 0, 1, 4, 0), nullptr);       // 9001
    EXPECT_EQ(make(3, 0, 5, 4), nullptr);          // 9011
    EXPECT_EQ(make(112, 0, 1, 4, 1, 1), nullptr);  // 9003
    expect_error(kHxrColorCvtImageInvalid);

    const _HXR_IMAGE_INFO im = image(3, 10);
    _HXR_HALFTONE_INFO ht{};
    ht.scale = 1;
    const HXRClrMgr* c4 = clr(4);
    EXPECT_EQ(HXRCreateColorCvtController(nullptr, &ht, &values, c4, mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvtController(&im, nullptr, &values, c4, mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvtController(&im, &ht, &values, nullptr, mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvtController(&im, &ht, nullptr, c4, mm), nullptr);  // the 3D converter needs them
    for (long n : {0L, 1L}) {  // converter, then the controller record
        svc.fail_allocation_after(n);
        EXPECT_EQ(HXRCreateColorCvtController(&im, &ht, &values, c4, mm), nullptr);
        svc.fail_allocation_after(-1);
    }
    expect_error(0);
}

TEST_F(ColourController, DirectModePlanes) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 0},    {99, 0},  {100, 0}, {101, 1}, {102, 0},        {103, 0},        {104, 4},
        {105, 5},  {106, 6}, {107, 7}, {108, 8}, {109, 9},        {110, 10},       {111, 0},
        {112, 12}, {113, 0}, {132, 0}, {133, 0}, {0x80000064, 0}, {0xFFFFFFFF, 0},
    };
    for (auto [mode, planes] : cases) EXPECT_EQ(HXRDirectColorModePlanes(mode), planes) << mode;
}

TEST_F(ColourController, GettersOnEveryKind) {
    struct Case {
        HXRColorCvtController* ctl;
        uint32_t kind, lutType, useLut, grid, element, text, offset;
    };
    const Case cases[] = {
        {make(3, 0, 1, 4, 1, 5), 1, 3, 1, 64, 1, 3, 5},   {make(4, 0, 2, 4, 1, 6), 2, 4, 1, 32, 1, 3, 6},
        {make(3, 7, 1, 4, 2, 3), 4, 17, 1, 256, 1, 0, 0}, {make(104, 0, 1, 4, 2, 1), 5, 0, 0, 0, 2, 0, 0},
        {make(108, 7, 4, 8, 1, 1), 6, 0, 0, 0, 1, 0, 0},  {nullptr, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(HXRGeColorCvtMode(c.ctl), c.kind);
        EXPECT_EQ(HXRGetColorCvtLutType(c.ctl), c.lutType);
        EXPECT_EQ(HXRIfUseLut(c.ctl), c.useLut);
        EXPECT_EQ(HXRGetColorCvtLutGridInfoType(c.ctl), c.useLut);
        EXPECT_EQ(HXRGetColorCvtLutGridNum(c.ctl), c.grid);
        EXPECT_EQ(HXRGetInkQuantityElementSize(c.ctl), c.element);
        EXPECT_EQ(HXRGetColorCvtTextEnhance(c.ctl), c.text);
        EXPECT_EQ(HXRGetColorCvtPixelOffset(c.ctl), c.offset);
        // Monochrome-photo tables are answered only by kind 4, for intents 0 and 1.
        for (uint32_t intent : {0u, 1u, 2u}) {
            EXPECT_EQ(HXRGetTNMXLutInfo(c.ctl, intent), nullptr);
            EXPECT_EQ(HXRGetTNMXLutData(c.ctl, intent), nullptr);
        }
    }
    EXPECT_EQ(HXRGetColorCvt3DLutGridNumCore(), 64u);
    EXPECT_EQ(HXRGetColorCvt4DLutGridNumCore(), 32u);
    // Kinds that are never made: a record written by hand.
    HXRColorCvtController odd{3, cases[0].ctl->converter};
    for (uint32_t kind : {0u, 3u, 7u, 0xFFFFFFFFu}) {
        odd.kind = kind;
        EXPECT_EQ(HXRGetColorCvtLutType(&odd), 0u);
        EXPECT_EQ(HXRGetColorCvtLutGridNum(&odd), 0u);
        EXPECT_EQ(HXRGetInkQuantityElementSize(&odd), 0u);
        EXPECT_EQ(HXRGetColorCvtTextEnhance(&odd), 0u);
        EXPECT_EQ(HXRGetTNMXLutInfo(&odd, 0), nullptr);
        HXRColorCvtLutSet set{};
        EXPECT_EQ(HXRSetColorCvtData(&odd, &set), 1u);
        EXPECT_EQ(HXRColorConvert(&odd, nullptr, nullptr, nullptr, nullptr, 0, 0, 1, 0), 1u);
    }
}

TEST_F(ColourController, TablesAndBandsReachTheConverter) {
    HXRColorCvtController* rgb = make(3, 0, 2, 4, 1, 3);
    HXRColorCvtController* tnmx = make(3, 7, 2, 4, 1, 3);
    HXRColorCvtController* direct = make(104, 0, 2, 4, 1, 1);
    ASSERT_TRUE(rgb && tnmx && direct);
    TestLut lut(3, 64, 4), narrow(3, 64, 3);
    std::vector<uint32_t> tone(256 * 4);
    HXRLutTNMXData tnmx0{tone.data(), 256, 4}, tnmx1{tone.data(), 256, 4};
    HXRColorCvtLutSet none{}, good{}, bad{};
    good.lut3D[0] = &lut.lut;
    good.lutTNMX[0] = &tnmx0;
    good.lutTNMX[1] = &tnmx1;
    bad.lut3D[0] = &narrow.lut;

    EXPECT_EQ(HXRSetColorCvtData(nullptr, &good), 1u);
    EXPECT_EQ(HXRSetColorCvtData(rgb, &bad), 1u);
    EXPECT_EQ(HXRSetColorCvtData(rgb, &good), 0u);
    EXPECT_EQ(HXRSetColorCvtData(tnmx, &none), 1u);  // a refused table is not success
    EXPECT_EQ(HXRSetColorCvtData(tnmx, &good), 0u);
    EXPECT_EQ(HXRSetColorCvtData(direct, &none), 0u);  // direct input uses no table
    EXPECT_EQ(HXRGetTNMXLutInfo(tnmx, 0), &tnmx0);
    EXPECT_EQ(HXRGetTNMXLutInfo(tnmx, 1), &tnmx1);
    EXPECT_EQ(HXRGetTNMXLutData(tnmx, 1), tone.data());
    EXPECT_EQ(HXRGetTNMXLutInfo(tnmx, 2), nullptr);

    HXRIntermediateData* ink = buffer(4, 200);
    HXRRandNum* random = HXRCreateRandNum(mm);
    std::vector<uint8_t> pixels(400, 9);
    const uint8_t* rgbPlanes[8] = {&pixels[0], &pixels[1], &pixels[2], &pixels[0], &pixels[1], &pixels[2]};
    const uint8_t* inkPlanes[8] = {&pixels[0], &pixels[100], &pixels[200], &pixels[300]};
    calls().clear();
    EXPECT_EQ(HXRColorConvert(rgb, ink, random, rgbPlanes, nullptr, 10, 0, 1, 0), 0u);
    EXPECT_EQ(calls().size(), 1u);
    EXPECT_EQ(HXRColorConvert(rgb, ink, random, rgbPlanes, nullptr, 101, 0, 1, 0), 1u);
    EXPECT_EQ(HXRColorConvert(tnmx, ink, random, rgbPlanes, nullptr, 10, 0, 1, 0), 0u);
    EXPECT_EQ(HXRColorConvert(tnmx, ink, random, rgbPlanes, nullptr, 10, 0, 3, 0), 1u);  // refused, not success
    EXPECT_EQ(HXRColorConvert(direct, ink, random, inkPlanes, nullptr, 10, 0, 1, 0), 0u);
    EXPECT_EQ(HXRColorConvert(direct, ink, random, inkPlanes, nullptr, 10, -1, 1, 0), 1u);
    EXPECT_EQ(HXRColorConvert(nullptr, ink, random, inkPlanes, nullptr, 10, 0, 1, 0), 1u);
    EXPECT_EQ(calls().size(), 1u);
}

}  // namespace
