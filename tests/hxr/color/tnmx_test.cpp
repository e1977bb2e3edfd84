// The monochrome-photo converter: gray codes by hand, the lone last column,
// one-line bands, and the converter against a literal model of its pairwise
// walk on random bands.
#include "color_test_util.h"

#include "hxr/color/hxr_color_tnmx.h"

#include <algorithm>
#include <functional>
#include <random>

namespace {

using namespace color_test;

class TnmxConverter : public ColorTest {
protected:
    HXRColorCvtTNMX* make(int32_t scale, uint32_t width, uint32_t pixelOffset = 3, uint32_t sampleBytes = 1,
                          uint32_t attrStride = 0) {
        const _HXR_IMAGE_INFO im = image(3, width, pixelOffset, sampleBytes, attrStride);
        return HXRCreateColorCvtTNMX(&im, scale, clr(4), mm);
    }
};

// Interleaved 8-bit RGB lines and their plane pointers.
struct RgbLines {
    std::vector<uint8_t> line[2];
    const uint8_t* planes[6];
    explicit RgbLines(std::vector<uint8_t> l0, std::vector<uint8_t> l1) {
        line[0] = std::move(l0);
        line[1] = std::move(l1);
        for (int j = 0; j < 6; ++j) planes[j] = line[j / 3].data() + j % 3;
    }
};

TEST_F(TnmxConverter, GrayCodesByHand) {
    // (30 R + 59 G + 11 B) / 100, truncated.
    EXPECT_EQ(HXRTNMXGray(255, 255, 255), 255);
    EXPECT_EQ(HXRTNMXGray(255, 0, 0), 76);
    EXPECT_EQ(HXRTNMXGray(0, 255, 0), 150);
    EXPECT_EQ(HXRTNMXGray(0, 0, 255), 28);
    HXRColorCvtTNMX* c = make(1, 4);
    ASSERT_NE(c, nullptr);
    HXRIntermediateData* d = buffer(4, 4);
    paint(d);
    RgbLines rgb({255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255}, {0, 0, 0, 1, 1, 1, 100, 100, 100, 2, 4, 200});
    ASSERT_EQ(HXRColorConvertTNMX(c, d, HXRCreateRandNum(mm), rgb.planes, nullptr, 4, 0, 2, 0), 0u);
    const uint8_t* row0 = HXRGetInkQuantityBuf(d, 0, 0);
    const uint8_t* row1 = HXRGetInkQuantityBuf(d, 0, 1);
    EXPECT_EQ(std::vector<uint8_t>(row0, row0 + 5), (std::vector<uint8_t>{255, 76, 150, 28, 0xA5}));
    // 0; 1; 100; (60 + 236 + 2200) / 100 = 24.
    EXPECT_EQ(std::vector<uint8_t>(row1, row1 + 5), (std::vector<uint8_t>{0, 1, 100, 24, 0xA5}));
    EXPECT_EQ(HXRGetInkQuantityBuf(d, 1, 0)[0], 0xA5);  // only ink 0 is written
}

TEST_F(TnmxConverter, LoneLastColumnAndOneLineBands) {
    // Scale 1, count 5: pixels 0..4, the fifth also at column 5; span 0..5.
    HXRColorCvtTNMX* c1 = make(1, 5);
    HXRIntermediateData* d = buffer(1, 5);
    paint(d);
    RgbLines rgb({10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40, 50, 50, 50},
                 {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5});
    ASSERT_EQ(HXRColorConvertTNMX(c1, d, HXRCreateRandNum(mm), rgb.planes, nullptr, 5, 0, 2, 0), 0u);
    const uint8_t* row0 = HXRGetInkQuantityBuf(d, 0, 0);
    EXPECT_EQ(std::vector<uint8_t>(row0, row0 + 7), (std::vector<uint8_t>{10, 20, 30, 40, 50, 50, 0xA5}));
    uint32_t start = 9, count = 9;
    HXRGetWrittenArea(d, &start, &count);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(count, 5u);

    // One line at scale 2: the ExpandH2NxV2 kernel writes row 0 only.
    HXRColorCvtTNMX* c2 = make(2, 5);
    EXPECT_EQ(c2->convertFunc[1], HXRTNMXConvertExpandH2NxV2);
    EXPECT_EQ(c1->convertFunc[1], HXRTNMXConvertNormal);
    HXRIntermediateData* d2 = buffer(1, 10);
    paint(d2);
    ASSERT_EQ(HXRColorConvertTNMX(c2, d2, HXRCreateRandNum(mm), rgb.planes, nullptr, 3, 1, 1, 0), 0u);
    EXPECT_EQ(d2->vExpansion, 1u);
    const uint8_t* r0 = d2->inkQuantityBuf;
    const uint8_t* r1 = r0 + d2->linePixelSize;
    EXPECT_EQ(std::vector<uint8_t>(r0, r0 + 9), (std::vector<uint8_t>{0xA5, 0xA5, 20, 20, 30, 30, 40, 40, 0xA5}));
    EXPECT_EQ(std::count(r1, r1 + d2->linePixelSize, 0xA5), static_cast<long>(d2->linePixelSize));

    // Scale 4, distinct lines: four equal columns per pixel on each line.
    HXRColorCvtTNMX* c4 = make(4, 5);
    HXRIntermediateData* d4 = buffer(1, 20);
    ASSERT_EQ(HXRColorConvertTNMX(c4, d4, HXRCreateRandNum(mm), rgb.planes, nullptr, 2, 3, 2, 0), 0u);
    EXPECT_EQ(std::vector<uint8_t>(HXRGetInkQuantityBuf(d4, 0, 1) + 12, HXRGetInkQuantityBuf(d4, 0, 1) + 20),
              (std::vector<uint8_t>{4, 4, 4, 4, 5, 5, 5, 5}));
}

// The converter's walk written out literally: pairs of output columns; at
// scale 1 a pair takes two input pixels, the last lone pixel filling both.
void model_line(uint8_t* row, const std::function<uint8_t(int32_t)>& gray, int32_t scale, int32_t start, int32_t end) {
    size_t out = static_cast<size_t>(start) * scale;
    if (scale == 1) {
        for (int32_t x = start; x < end;) {
            row[out] = gray(x);
            row[out + 1] = x + 1 < end ? gray(x + 1) : gray(x);
            out += 2;
            x += 2;
        }
    } else {
        for (int32_t x = start; x < end; ++x)
            for (int32_t p = 0; p < scale / 2; ++p, out += 2) row[out] = row[out + 1] = gray(x);
    }
}

TEST_F(TnmxConverter, MatchesLiteralModelOnRandomBands) {
    std::mt19937 rng(18);
    const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    for (int round = 0; round < 400; ++round) {
        const int32_t scale = 1 << pick(4);
        const uint32_t width = 1 + pick(40), po = 1 + pick(4), sb = 1 + pick(2), attr = pick(2) * (1 + pick(3));
        const int32_t lines = 1 + static_cast<int32_t>(pick(2));
        const bool same = lines == 2 && pick(3) == 0;
        const int32_t start = static_cast<int32_t>(pick(width + 1));
        const int32_t count = static_cast<int32_t>(pick(width - start + 1));
        SCOPED_TRACE(testing::Message() << "round " << round << " scale " << scale << " width " << width << " po " << po
                                        << " sb " << sb << " lines " << lines << " same " << same << " " << start << "+"
                                        << count);
        HXRColorCvtTNMX* c = make(scale, width, po, sb, attr);
        ASSERT_NE(c, nullptr);
        HXRIntermediateData* d = buffer(1 + static_cast<int32_t>(pick(12)), static_cast<int32_t>(width) * scale);
        for (uint32_t i = 0, size = HXRGetMemSize(mm, d->inkQuantityBuf); i < size; ++i)
            d->inkQuantityBuf[i] = rng() & 0xFF;
        std::vector<uint8_t> planeBytes[6];
        const uint8_t* planes[6];
        for (int j = 0; j < 6; ++j) {
            planeBytes[j].resize(width * po * sb + 2);
            for (uint8_t& b : planeBytes[j]) b = rng() & 0xFF;
            planes[j] = planeBytes[j].data();
        }
        if (same)
            for (int j = 0; j < 3; ++j) planes[3 + j] = planes[j];
        std::vector<uint8_t> attrBytes(width * 4 + 1, 7);
        const uint8_t* attrs[2] = {attrBytes.data(), same ? attrBytes.data() : attrBytes.data() + 1};

        Snapshot want = snap(d);
        const bool vexp = lines == 1 || same;
        const uint32_t rowBytes = d->linePixelSize;
        for (int32_t l = 0; l < (vexp ? 1 : 2); ++l) {
            const auto gray = [&](int32_t x) {
                uint32_t ch[3];
                for (int k = 0; k < 3; ++k) {
                    const uint8_t* p = planes[3 * l + k] + static_cast<size_t>(x) * po * sb;
                    ch[k] = sb == 1 ? p[0] : (p[0] | p[1] << 8) >> 8;  // high byte of a host-order sample
                }
                return static_cast<uint8_t>((30 * ch[0] + 59 * ch[1] + 11 * ch[2]) / 100);
            };
            model_line(want.block.data() + l * rowBytes, gray, scale, start, start + count);
        }
        want.record.writtenStart = start * scale;
        want.record.writtenEnd = (start + count) * scale;
        want.record.vExpansion = vexp;
        ASSERT_EQ(HXRColorConvertTNMX(c, d, HXRCreateRandNum(mm), planes, attrs, count, start, lines, round), 0u);
        ASSERT_TRUE(snap(d) == want);
    }
}

// Sample offsets are taken in pointer width.
TEST_F(TnmxConverter, FarPixelsAreNotWrapped) {
    SparseSpace space(kFarOffset + 4096);
    ASSERT_NE(space.base(), nullptr);
    for (size_t k = 0; k < 3; ++k) {
        *space.at(kFarOffset + k) = 255;
        *space.at(kWrappedOffset + k) = 0;
    }
    HXRColorCvtTNMX* c = make(1, 4, 0x7FFFFFFF);
    HXRIntermediateData* d = buffer(1, 4);
    const uint8_t* planes[3] = {space.base(), space.base() + 1, space.base() + 2};
    ASSERT_EQ(HXRColorConvertTNMX(c, d, HXRCreateRandNum(mm), planes, nullptr, 1, 3, 1, 0), 0u);
    EXPECT_EQ(HXRGetInkQuantityBuf(d, 0, 0)[3], 255);
}

TEST_F(TnmxConverter, RefusedBandsLeaveTheDescriptor) {
    HXRColorCvtTNMX* c = make(2, 10, 3, 1, 1);
    ASSERT_NE(c, nullptr);
    std::vector<uint8_t> px(64, 3);
    const auto band = [&] { return plain_band(c, 2, 3, px.data()); };
    const BandRun run = [](const BandCall& b) {
        return HXRColorConvertTNMX(static_cast<HXRColorCvtTNMX*>(b.cvt), b.ink, b.random, b.planeArg(), b.attrArg(),
                                   b.count, b.start, b.lines, b.line);
    };
    expect_refusals(band, run,
                    {{"line 1 green missing", [](BandCall& b, ColorTest&) { b.planes[4] = nullptr; }},
                     {"ink 0 line 1 missing", [](BandCall& b, ColorTest&) { b.ink->validInput[0][1] = 0; }}});
}

TEST_F(TnmxConverter, CreationTablesAndGetters) {
    const _HXR_IMAGE_INFO im = image(3, 8);
    const HXRClrMgr* c4 = clr(4);
    EXPECT_EQ(HXRCreateColorCvtTNMX(nullptr, 1, c4, mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvtTNMX(&im, 1, nullptr, mm), nullptr);
    for (int32_t scale : {0x20001, 0, -1, 3, 16})
        EXPECT_EQ(HXRCreateColorCvtTNMX(&im, scale, c4, mm), nullptr) << scale;
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateColorCvtTNMX(&im, 1, c4, mm), nullptr);
    svc.fail_allocation_after(-1);

    HXRColorCvtTNMX* c = make(8, 8, 3, 2, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HXRGetColorCvtTNMXLutGridNum(c), 256u);
    EXPECT_EQ(HXRGetColorCvtTNMXLutGridNum(nullptr), 0u);
    EXPECT_EQ(HXRGetColorCvtTNMXLutInfo(c, 0), nullptr);
    EXPECT_EQ(HXRGetColorCvtTNMXLUTData(c, 0), nullptr);

    std::vector<uint32_t> t0(1024), t1(1024);
    HXRLutTNMXData i0{t0.data(), 256, 4}, i1{t1.data(), 256, 4};
    HXRColorCvtLutSet set{};
    EXPECT_EQ(HXRSetColorCvtTNMXData(c, &set), 1u);
    EXPECT_EQ(HXRSetColorCvtTNMXData(nullptr, &set), 1u);
    EXPECT_EQ(HXRSetColorCvtTNMXData(c, nullptr), 1u);
    set.lutTNMX[0] = &i0;
    ASSERT_EQ(HXRSetColorCvtTNMXData(c, &set), 0u);
    EXPECT_EQ(HXRGetColorCvtTNMXLutInfo(c, 1), &i0);  // intent 1 defaults to intent 0
    set.lutTNMX[1] = &i1;
    ASSERT_EQ(HXRSetColorCvtTNMXData(c, &set), 0u);
    EXPECT_EQ(HXRGetColorCvtTNMXLutInfo(c, 1), &i1);
    EXPECT_EQ(HXRGetColorCvtTNMXLUTData(c, 1), t1.data());
    EXPECT_EQ(HXRGetColorCvtTNMXLutInfo(c, 2), nullptr);
    EXPECT_EQ(HXRGetColorCvtTNMXLUTData(c, 2), nullptr);
    EXPECT_EQ(HXRGetColorCvtTNMXLutInfo(nullptr, 0), nullptr);
    EXPECT_EQ(HXRGetColorCvtTNMXLUTData(nullptr, 0), nullptr);
}

}  // namespace
