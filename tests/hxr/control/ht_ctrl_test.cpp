// The halftone controller over the real colour-conversion controller and ink
// buffer and the fake binariser: ink rows and selection flags, creation
// refusals, the set-up, page and band codes, the monochrome-photo rows of the
// parallel path, and the getters.
#include "hxr/color/hxr_color_tnmx.h"
#include "hxr/color/recording_kernels.h"
#include "hxr/control/hxr_ht_ctrl.h"
#include "hxr_job_fixture.h"
#include "support/hxr_fixture.h"

#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

namespace hxr_test {
namespace {

class HtController : public HxrTest {
protected:
    void SetUp() override {
        HxrTest::SetUp();
        values.reductionMethod = 0xFFFFFFFFu;
        values.wprint.outputMode = kHxrWPrintOff;
        HXR_GetDefaultValue(&option);
    }
    void TearDown() override {
        if (clr) HXRDeleteClrMgr(clr, mm);
        HxrTest::TearDown();
    }
    // RGB input of `width` pixels for ink set 1 (C M Y K), 2-bit dither.
    HXRHtController* make(uint32_t colourMode = 3, uint32_t doc = 0, uint32_t bits = 2, uint32_t width = 101,
                          uint32_t scale = 1, uint32_t inkSet = 1) {
        image = {colourMode, 1, colourMode > 100 ? 1 : colourMode, 0, width};
        halftone = {inkSet, 0, doc, 0, 3, 600, 600, bits, 0, scale, 1};
        if (!clr) clr = HXRCreateClrMgr(inkSet, bits, kInkK, mm);
        return HXRCreateHtController(&image, &halftone, &option, &values, clr, mm);
    }

    FakeBinarizerScope bnrz;
    KernelTablesScope kernels;
    _HXR_IMAGE_INFO image{};
    _HXR_HALFTONE_INFO halftone{};
    _HXR_OPTION_INFO option{};
    HXRValueSettings values{};
    HXRClrMgr* clr = nullptr;
};

// The literal ceiling of width x numerator / denominator in wide arithmetic.
using Wide = unsigned __int128;
uint64_t reference_row(uint32_t scale, uint32_t width) {
    const int32_t d = static_cast<int16_t>(scale >> 16);
    const Wide u = scale & 0xFFFF;
    if (d < 0) return 0;
    const Wide p = d == 0 ? Wide{scale} * width : (u * width + unsigned(d) - 1) / unsigned(d);
    return p == 0 || p > INT32_MAX ? 0 : static_cast<uint64_t>(p);
}

TEST_F(HtController, InkRowLengthInSixtyFourBits) {
    const struct {
        uint32_t scale, width, expect;
    } cases[] = {
        {0x20001, 101, 51},        {1, 101, 101},           {2, 101, 202},   {0x30002, 101, 68},
        {0xFFFF0001, 101, 0},      {1, 0, 0},               {0, 5, 0},       {8, 0x10000000, 0},
        {0x1FFFF, 0x10000, 0},     {0xFFFF, 0x8000, 2147450880u}, {0x7FFF8000, 0xFFFF, 65538},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HXRHtInkRowLength(c.scale, c.width), c.expect) << std::hex << c.scale << " " << c.width;
        EXPECT_EQ(HXRHtInkRowLength(c.scale, c.width), reference_row(c.scale, c.width));
    }
    uint32_t s = 0x12345;
    for (int i = 0; i < 2000; ++i) {
        s = s * 1103515245u + 12345u;
        const uint32_t scale = s;
        s = s * 1103515245u + 12345u;
        const uint32_t width = s >> (s & 15);
        ASSERT_EQ(HXRHtInkRowLength(scale, width), reference_row(scale, width)) << scale << " " << width;
    }
}

TEST_F(HtController, InkSelectionFlags) {
    using F = std::vector<uint32_t>;
    const struct {
        uint32_t mode, colourMode;
        int32_t clear;
        uint32_t result;
        F flags;  // first five
    } cases[] = {
        {0, 3, 2, 0, {0, 0, 0, 0, 0}},   {2, 3, 2, 0, {0, 0, 1, 0, 0}},   {4, 3, 2, 0, {1, 1, 0, 1, 1}},
        {2, 3, -1, 0, {0, 0, 0, 0, 0}},  {4, 3, -1, 0, {1, 1, 1, 1, 1}},  {6, 3, 2, 0, {0, 0, 0, 0, 0}},
        {1, 3, 2, 0, {0, 0, 0, 0, 0}},   {3, 4, 2, 0, {0, 0, 0, 0, 0}},   {5, 110, 2, 1, {0, 0, 0, 0, 0}},
        {1, 104, -1, 1, {0, 0, 0, 0, 0}}, {2, 110, 2, 0, {0, 0, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        uint32_t flags[kHxrMaxInks];
        EXPECT_EQ(HXRHtInkSelectionFlags(c.mode, c.colourMode, c.clear, 5, flags), c.result) << c.mode;
        EXPECT_EQ(F(flags, flags + 5), c.flags) << c.mode << " " << c.clear;
        EXPECT_EQ(F(flags + 5, flags + 12), F(7, 0));
    }
}

TEST_F(HtController, CreationAndItsRefusals) {
    HXRHtController* c = make();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HXRGet1Color1LinePixelSize(c->ink), 104u);  // (101 + 8) & ~7
    EXPECT_EQ(HXRGetInkNum(c->ink), 4u);
    EXPECT_EQ(bnrz.world().createdPixels, 101u);
    EXPECT_EQ(HXRGetReductionMethod(c->ink), 0u);  // "not set" kept the buffer's own
    EXPECT_EQ(HXRGetIntentBuf(c->ink, 0), nullptr);
    EXPECT_EQ(HXRDeleteHtController(c, mm), 0u);
    EXPECT_EQ(HXRDeleteHtController(nullptr, mm), kHxrHtSetNoController);

    // The edge case of the ink-selection table: mode 1 needs RGB or CMYK.
    option.inkSelectionMode = 1;
    EXPECT_EQ(make(110), nullptr);
    option.inkSelectionMode = 0;
    EXPECT_EQ(error(), 0u);

    const uint32_t width = 0x10000000;
    EXPECT_EQ(make(3, 0, 2, width, 8), nullptr);  // 2^31 pixels
    expect_error(kHxrHtRowLength);
    EXPECT_EQ(make(3, 0, 2, 0), nullptr);
    expect_error(kHxrHtRowLength);

    bnrz.world().fail = {"create"};
    EXPECT_EQ(make(), nullptr);
    bnrz.world().fail.clear();

    values.reductionMethod = 1;
    HXRHtController* reduced = make(3, 0, 2, 101, 0x20001);
    ASSERT_NE(reduced, nullptr);
    EXPECT_EQ(HXRGet1Color1LinePixelSize(reduced->ink), 56u);
    EXPECT_EQ(HXRGetReductionMethod(reduced->ink), 1u);

    EXPECT_EQ(HXRCreateHtController(nullptr, &halftone, &option, &values, clr, mm), nullptr);
    EXPECT_EQ(HXRCreateHtController(&image, &halftone, &option, &values, nullptr, mm), nullptr);
    // A binariser table with a gap makes no controller.
    HXRBinarizeOps gap = *FakeBinarizeOps();
    gap.textEnhance = nullptr;
    HXRSetBinarizeOps(&gap);
    EXPECT_EQ(make(), nullptr);
    HXRSetBinarizeOps(FakeBinarizeOps());
    EXPECT_EQ(HXRBinarizeOpsComplete(HXRDefaultBinarizeOps()) == 1, HXRDefaultBinarizeOps()->create != nullptr);
}

TEST_F(HtController, SetUpPageAndBandCodes) {
    HXRHtController* c = make();
    ASSERT_NE(c, nullptr);
    HXRSwitchPosList list{2, {10, 20}};
    std::vector<uint8_t> rgb(3 * 101, 200), planes(4 * 26);
    const uint8_t* in[6] = {rgb.data(), rgb.data() + 1, rgb.data() + 2};
    uint8_t* out[4] = {&planes[0], &planes[26], &planes[52], &planes[78]};
    int32_t start = 0, length = 0;
    std::vector<uint8_t> inkOut(4 * 104);
    uint8_t* inkRows[4] = {&inkOut[0], &inkOut[104], &inkOut[208], &inkOut[312]};

    // Null controllers.
    EXPECT_EQ(HXRSetHybridED(nullptr, &image, &halftone, &option, clr, mm), kHxrHtSetNoController);
    EXPECT_EQ(HXRSetHybridED(c, nullptr, &halftone, &option, clr, mm), 1u);
    EXPECT_EQ(HXRSetBrs(nullptr, nullptr), kHxrHtSetNoController);
    EXPECT_EQ(HXRSetDataShift(nullptr, nullptr, clr), kHxrHtShiftNoController);
    EXPECT_EQ(HXRSetResourceData(nullptr, nullptr, clr, mm), kHxrHtDataNoController);
    EXPECT_EQ(HXRStartPage(nullptr, &list, mm), kHxrHtPageNoController);
    EXPECT_EQ(HXRResetSwitchingPos(nullptr, &list, mm), kHxrHtResetNoController);
    EXPECT_EQ(HXREndPage(), 0u);
    EXPECT_EQ(HXRHalftone(nullptr, out, nullptr, in, nullptr, 101, 0, 1, 0), kHxrHtBandNoController);
    EXPECT_EQ(HXRConvertColor(nullptr, inkRows, &start, &length, in, nullptr, 101, 0, 1, 0), kHxrHtInkNoController);

    // Each inner refusal by its own code.
    const struct {
        const char* fail;
        std::function<uint32_t()> call;
        uint32_t expect;
    } cases[] = {
        {"setHybridED", [&] { return HXRSetHybridED(c, &image, &halftone, &option, clr, mm); }, kHxrHtSetHybridFailed},
        {"setBrs", [&] { return HXRSetBrs(c, &list); }, kHxrHtSetBrsFailed},
        {"setDataShift", [&] { return HXRSetDataShift(c, &list, clr); }, kHxrHtShiftFailed},
        {"setSwitchPos0", [&] { return HXRStartPage(c, &list, mm); }, kHxrHtPageSwitchFailed},
        {"resetErrorBuffer", [&] { return HXRStartPage(c, &list, mm); }, kHxrHtPageResetFailed},
        {"setSwitchPos1", [&] { return HXRResetSwitchingPos(c, &list, mm); }, kHxrHtResetFailed},
        {"binarize", [&] { return HXRHalftone(c, out, nullptr, in, nullptr, 101, 0, 1, 0); }, kHxrHtBandBinarizeFailed},
        {"textEnhance", [&] { return HXRHalftone(c, out, nullptr, in, nullptr, 101, 0, 1, 0); },
         kHxrHtBandTextEdgeFailed},
        {"resetErrorBuffer", [&] { return HXRResetHtCtrlErrorBuffer(c); }, 1u},
    };
    // The converter needs its tables before a band: a recording 3D table.
    std::vector<uint32_t> grid(64 * 64 * 64, 0x80808080u);
    HXRLutData lut{};
    lut.grid = grid.data();
    lut.gridNum = 64, lut.dimension = 3, lut.channels = 4;
    HXRColorCvtLutSet luts{};
    luts.lut3D[0] = &lut;
    ASSERT_EQ(HXRSetColorCvtData(c->colour, &luts), 0u);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.fail);
        bnrz.world().fail.clear();
        EXPECT_EQ(k.call(), 0u);
        bnrz.world().fail = {k.fail};
        EXPECT_EQ(k.call(), k.expect);
    }
    bnrz.world().fail.clear();
    EXPECT_EQ(bnrz.world().lastSwitchMode, 1u);
    EXPECT_EQ(bnrz.world().lastSwitch.positions[1], 20);
    EXPECT_EQ(bnrz.world().lastTnmx, nullptr);

    // Negative offsets, rows and counts are refused before anything converts.
    color_test::calls().clear();
    const size_t before = bnrz.world().calls.size();
    for (const auto& a : {std::array<int32_t, 3>{INT32_MIN, 0, 1}, {0, -1, 1}, {0, 0, -1}}) {
        EXPECT_EQ(HXRHalftone(c, out, nullptr, in, nullptr, a[2], a[0], 1, a[1]), kHxrHtBandBadArgument);
        EXPECT_EQ(HXRConvertColor(c, inkRows, &start, &length, in, nullptr, a[2], a[0], 1, a[1]), kHxrHtInkBadArgument);
    }
    EXPECT_TRUE(color_test::calls().empty());
    EXPECT_EQ(bnrz.world().calls.size(), before);
    // A band the converter refuses (three lines).
    EXPECT_EQ(HXRHalftone(c, out, nullptr, in, nullptr, 101, 0, 3, 0), kHxrHtBandConvertFailed);
    EXPECT_EQ(HXRConvertColor(c, inkRows, &start, &length, in, nullptr, 101, 0, 3, 0), kHxrHtInkConvertFailed);
    EXPECT_EQ(HXRConvertColor(c, nullptr, &start, &length, in, nullptr, 101, 0, 1, 0), kHxrHtInkNoOutput);
    EXPECT_EQ(HXRConvertColor(c, inkRows, &start, &length, in, nullptr, 101, 0, 1, 0), 0u);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(length, 101);

    // Data: the converter refuses a set without an intent-0 table, the binariser its own.
    EXPECT_EQ(HXRSetResourceData(c, nullptr, clr, mm), kHxrHtDataColourRefused);

    // A direct converter has no table for the parallel path.
    HXRHtController* direct = make(104);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(HXRConvertColor(direct, inkRows, &start, &length, in, nullptr, 101, 0, 1, 0), kHxrHtInkNotLut8);
}

TEST_F(HtController, MonochromePhotoRowsAreSixteenBitTableEntries) {
    HXRHtController* c = make(3, kHxrDocTypeTNMX);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HXRGetColorConvertMode(c), kHxrColorCvtTNMX);
    EXPECT_EQ(HXRGetWriteInkBufSize(c), 2u * 104);
    // Entry of gray q, ink k: a value that spreads over both bytes.
    std::vector<uint32_t> table(256 * 4);
    for (uint32_t q = 0; q < 256; ++q)
        for (uint32_t k = 0; k < 4; ++k) table[q * 4 + k] = 0x10000 + q * 257 + k * 3;
    HXRLutTNMXData tnmx{table.data(), 256, 4};
    HXRColorCvtLutSet luts{};
    luts.lutTNMX[0] = &tnmx;
    ASSERT_EQ(HXRSetColorCvtData(c->colour, &luts), 0u);

    const uint32_t width = 9;
    std::vector<uint8_t> rgb(2 * 3 * 101);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37 + 11);
    const uint8_t* in[6] = {&rgb[0], &rgb[1], &rgb[2], &rgb[303], &rgb[304], &rgb[305]};
    std::vector<std::vector<uint8_t>> rows(8, std::vector<uint8_t>(2 * 104, 0xEE));
    uint8_t* out[8];
    for (int i = 0; i < 8; ++i) out[i] = rows[size_t(i)].data();
    int32_t start = -1, length = -1;
    ASSERT_EQ(HXRConvertColor(c, out, &start, &length, in, nullptr, int32_t(width), 0, 2, 0), 0u);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(length, int32_t(2 * width));
    for (uint32_t line = 0; line < 2; ++line)
        for (uint32_t k = 0; k < 4; ++k)
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = &rgb[line * 303 + x * 3];
                const uint32_t v = table[HXRTNMXGray(p[0], p[1], p[2]) * 4u + k];
                const uint8_t* o = &rows[line * 4 + k][2 * x];
                ASSERT_EQ(o[0] | o[1] << 8, int(v & 0xFFFF)) << line << " " << k << " " << x;
            }
    EXPECT_EQ(rows[0][2 * width], 0xEE);  // nothing past the written span

    // A table of another ink count would be read past its rows.
    HXRLutTNMXData narrow{table.data(), 256, 3};
    luts.lutTNMX[0] = &narrow;
    ASSERT_EQ(HXRSetColorCvtData(c->colour, &luts), 0u);
    EXPECT_EQ(HXRConvertColor(c, out, &start, &length, in, nullptr, int32_t(width), 0, 1, 0), kHxrHtInkNoOutput);
    HXRLutTNMXData shortRows{table.data(), 255, 4};
    luts.lutTNMX[0] = &shortRows;
    ASSERT_EQ(HXRSetColorCvtData(c->colour, &luts), 0u);
    EXPECT_EQ(HXRConvertColor(c, out, &start, &length, in, nullptr, int32_t(width), 0, 1, 0), kHxrHtInkNoOutput);

    // The band path hands the binariser the table record of intent 0.
    luts.lutTNMX[0] = &tnmx;
    ASSERT_EQ(HXRSetColorCvtData(c->colour, &luts), 0u);
    std::vector<uint8_t> planes(4 * 26);
    uint8_t* dots[4] = {&planes[0], &planes[26], &planes[52], &planes[78]};
    EXPECT_EQ(HXRHalftone(c, dots, nullptr, in, nullptr, int32_t(width), 0, 1, 0), 0u);
    EXPECT_EQ(bnrz.world().lastTnmx, &tnmx);
}

TEST_F(HtController, OutputRowBytesOnlyForOneAndTwoBits) {
    const struct {
        uint32_t bits, width, expect;
    } cases[] = {{2, 5, 2}, {1, 5, 1}, {34, 101, 26}, {1, 101, 13}, {2, 8, 2}, {2, 9, 4},
                 {3, 16, 0}, {8, 16, 0}, {0, 16, 0}, {16, 16, 0}};
    for (const auto& k : cases) {
        if (clr) HXRDeleteClrMgr(clr, mm), clr = nullptr;
        clr = HXRCreateClrMgr(1, 2, kInkK, mm);
        HXRHtController* c = make(3, 0, k.bits, k.width);
        ASSERT_NE(c, nullptr) << k.bits;
        EXPECT_EQ(HXRGetWriteOutBufSize(c, 0), k.expect) << k.bits << " " << k.width;
        EXPECT_EQ(HXRGetWriteOutBufSize(c, 11), k.expect);
    }
}

TEST_F(HtController, GettersAndAnswers) {
    HXRHtController* c = make();
    ASSERT_NE(c, nullptr);
    const HXRHtCtrlAnswers a = HXRGetHtCtrlAnswers(c);
    const std::vector<uint32_t> got = {a.needLut,      a.lutType,      a.lutGridNum,     a.lutGridInfoType,
                                       a.colorConvertMode, a.smlGradNum, a.needDth,      a.dthOrder,
                                       a.dthThreshAddition, a.dthDataBytes, a.dthUpdatePixel, a.dthDataType,
                                       a.needUBEC,     a.ubecBlockKind, a.ubecEncodeStep, a.ubecTableType,
                                       a.ubecSmlCalib, a.halftoneColorNum};
    EXPECT_EQ(got, (std::vector<uint32_t>{1, 3, 64, 1, 1, 256, 1, 1, 8192, 2, 4, 1, 0, 1, 1, 1, 0, 4}));
    EXPECT_EQ(HXRIfLutType3D4D(c), 1u);
    EXPECT_EQ(HXRGetHtCtrlInkQtElementSize(c), 1u);
    EXPECT_EQ(HXRGetHtCtrlPixelOffset(c), 3u);
    EXPECT_EQ(HXRGetHtCtrlOutputColorOrder(c, kInkK), 3u);
    EXPECT_EQ(HXRGetWriteInkBufSize(c), 104u);
    uint8_t px[3] = {1, 2, 3}, ink[4];
    EXPECT_EQ(HXRGetHalftoneColorConvertData(c, ink, px, 4, 0, 0, 4), 1u);  // CMYK on a 3D converter

    bnrz.world().counts = {1, 2, 3, 4};
    uint64_t counts[kHxrHtDotCounts];
    EXPECT_EQ(HXRGetHtCtrlDotCounter(c, counts, kHxrHtDotCounts), 4u);
    EXPECT_EQ(counts[3], 4u);
    EXPECT_EQ(HXRGetHtCtrlDotCounter(c, nullptr, kHxrHtDotCounts), 0u);

    // A null controller answers the neutral value of every getter.
    const HXRHtCtrlAnswers none = HXRGetHtCtrlAnswers(nullptr);
    EXPECT_EQ(none.colorConvertMode, 0xFFFFFFFFu);
    HXRHtCtrlAnswers zero{};
    zero.colorConvertMode = 0xFFFFFFFFu;
    EXPECT_EQ(std::memcmp(&none, &zero, sizeof none), 0);
    EXPECT_EQ(HXRIfLutType3D4D(nullptr), 0u);
    EXPECT_EQ(HXRGetHtCtrlOutputColorOrder(nullptr, 0), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetHalftoneColorConvertData(nullptr, ink, px, 3, 0, 0, 4), kHxrHtBandNoController);
    EXPECT_EQ(HXRGetWriteOutBufSize(nullptr, 0), 0u);
    EXPECT_EQ(HXRGetWriteInkBufSize(nullptr), 0u);
    EXPECT_EQ(HXRResetHtCtrlErrorBuffer(nullptr), 1u);
    EXPECT_EQ(HXRGetHtCtrlDotCounter(nullptr, counts, kHxrHtDotCounts), 0u);
}

}  // namespace
}  // namespace hxr_test
