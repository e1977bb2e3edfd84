// The direct converters: widening and ink-off by hand, 16-bit rows, missing
// planes, attribute rows, the ink counts of both tables, and the converter
// against a literal model on random bands.
#include "color_test_util.h"

#include "hxr/color/hxr_color_direct.h"

#include <algorithm>
#include <functional>
#include <random>

namespace {

using namespace color_test;

class DirectConverter : public ColorTest {
protected:
    HXRColorCvtDirect* make(uint32_t inks, int32_t scale, uint32_t width, uint32_t pixelOffset = 1,
                            uint32_t sampleBytes = 1, uint32_t attrStride = 0) {
        const _HXR_IMAGE_INFO im = image(100 + inks, width, pixelOffset, sampleBytes, attrStride);
        return HXRCreateColorCvtDirect(&im, scale, clr(inks), mm);
    }
    HXRRandNum* random() { return HXRCreateRandNum(mm); }
};

TEST_F(DirectConverter, ScaleFourAndInkOff) {
    const uint32_t off[4] = {0, 1, 0, 0};
    HXRColorCvtDirect* c = make(4, 4, 6);
    ASSERT_NE(c, nullptr);
    HXRIntermediateData* d = buffer(4, 24, 1, 0, off);
    paint(d);
    std::vector<uint8_t> plane(6, 0);
    plane[3] = 200;
    const uint8_t* planes[4] = {plane.data(), plane.data(), plane.data(), plane.data()};
    ASSERT_EQ(HXRColorConvertDirect(c, d, random(), planes, nullptr, 2, 2, 1, 0), 0u);
    const uint8_t* row0 = HXRGetInkQuantityBuf(d, 0, 0);
    const uint8_t* row1 = HXRGetInkQuantityBuf(d, 1, 0);
    // Pixels 2 and 3 fill columns 8..15; the rest keeps the paint.
    EXPECT_EQ(std::vector<uint8_t>(row0 + 7, row0 + 17),
              (std::vector<uint8_t>{0xA5, 0, 0, 0, 0, 200, 200, 200, 200, 0xA5}));
    EXPECT_EQ(std::vector<uint8_t>(row1 + 7, row1 + 17),
              (std::vector<uint8_t>{0xA5, 0, 0, 0, 0, 0, 0, 0, 0, 0xA5}));  // ink 1 is switched off
    uint32_t start = 0, count = 0;
    HXRGetWrittenArea(d, &start, &count);
    EXPECT_EQ(start, 8u);
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(d->vExpansion, 1u);
    EXPECT_EQ(d->validInput[0][1], 0u);  // one line: line 1 is served from line 0
}

TEST_F(DirectConverter, SixteenBitRowsKeepTheSamples) {
    HXRColorCvtDirect* c = make(1, 2, 4, 2, 2);  // every other 16-bit sample
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HXRGetColorCvtDirectElementSize(c), 2u);
    HXRIntermediateData* d = buffer(1, 8, 2);
    const uint16_t samples[2][8] = {{0x1234, 0, 0xFEDC, 0, 0x0001, 0, 0x8000, 0},
                                    {0xAAAA, 0, 0xBBBB, 0, 0xCCCC, 0, 0xDDDD, 0}};
    const uint8_t* planes[2] = {reinterpret_cast<const uint8_t*>(samples[0]),
                                reinterpret_cast<const uint8_t*>(samples[1])};
    ASSERT_EQ(HXRColorConvertDirect(c, d, random(), planes, nullptr, 4, 0, 2, 0), 0u);
    const uint16_t* r0 = HXRGetInkQuantityBuf16(d, 0, 0);
    const uint16_t* r1 = HXRGetInkQuantityBuf16(d, 0, 1);
    EXPECT_EQ(std::vector<uint16_t>(r0, r0 + 8),
              (std::vector<uint16_t>{0x1234, 0x1234, 0xFEDC, 0xFEDC, 1, 1, 0x8000, 0x8000}));
    EXPECT_EQ(std::vector<uint16_t>(r1, r1 + 8),
              (std::vector<uint16_t>{0xAAAA, 0xAAAA, 0xBBBB, 0xBBBB, 0xCCCC, 0xCCCC, 0xDDDD, 0xDDDD}));
    EXPECT_EQ(HXRGetInkQuantityBuf(d, 0, 0), nullptr);  // an 8-bit view of 16-bit rows
}

TEST_F(DirectConverter, MissingPlanesAndIdenticalLines) {
    HXRColorCvtDirect* c = make(4, 1, 8);
    HXRIntermediateData* d = buffer(4, 8);
    paint(d);
    std::vector<uint8_t> px(16, 9);
    const uint8_t* planes[8] = {&px[0], &px[0], &px[0], &px[0], &px[8], &px[8], nullptr, &px[8]};
    ASSERT_EQ(HXRColorConvertDirect(c, d, random(), planes, nullptr, 8, 0, 2, 0), 0u);
    EXPECT_EQ(HXRGetInkQuantityBuf(d, 2, 1), nullptr);
    EXPECT_NE(HXRGetInkQuantityBuf(d, 2, 0), nullptr);
    const uint8_t* unwritten = d->inkQuantityBuf + 5 * d->linePixelSize;  // ink 2, line 1
    EXPECT_EQ(std::count(unwritten, unwritten + d->linePixelSize, 0xA5), 16);

    // Line 1's pointers equal to line 0's: only line 0's rows are written.
    paint(d);
    const uint8_t* same[8] = {&px[0], &px[1], &px[2], &px[3], &px[0], &px[1], &px[2], &px[3]};
    ASSERT_EQ(HXRColorConvertDirect(c, d, random(), same, nullptr, 8, 0, 2, 0), 0u);
    EXPECT_EQ(d->vExpansion, 1u);
    for (int32_t i = 0; i < 4; ++i) {
        const uint8_t* line1 = d->inkQuantityBuf + (2 * i + 1) * d->linePixelSize;
        EXPECT_EQ(std::count(line1, line1 + 16, 0xA5), 16) << i;
        EXPECT_EQ(HXRGetInkQuantityBuf(d, i, 1), HXRGetInkQuantityBuf(d, i, 0));
    }
}

// Pixel x's attribute byte is x strides from its line's start, also when the
// band starts later in the line.
TEST_F(DirectConverter, AttributesFromTheLineStart) {
    HXRColorCvtDirect* c = make(1, 2, 6, 1, 1, 3);
    HXRIntermediateData* d = buffer(1, 12);
    paint(d);
    std::vector<uint8_t> px(6, 1), attr0(18), attr1(18);
    for (int i = 0; i < 18; ++i) {
        attr0[i] = static_cast<uint8_t>(i);
        attr1[i] = static_cast<uint8_t>(100 + i);
    }
    const uint8_t* planes[2] = {px.data(), px.data() + 1};
    const uint8_t* attrs[2] = {attr0.data(), attr1.data()};
    ASSERT_EQ(HXRColorConvertDirect(c, d, random(), planes, attrs, 3, 2, 2, 0), 0u);
    const uint8_t* i0 = HXRGetIntentBuf(d, 0);
    const uint8_t* i1 = HXRGetIntentBuf(d, 1);
    EXPECT_EQ(std::vector<uint8_t>(i0 + 3, i0 + 11), (std::vector<uint8_t>{0xA5, 6, 6, 9, 9, 12, 12, 0xA5}));
    EXPECT_EQ(std::vector<uint8_t>(i1 + 3, i1 + 11), (std::vector<uint8_t>{0xA5, 106, 106, 109, 109, 112, 112, 0xA5}));

    // Without an attribute plane the intent rows stay as they were.
    HXRColorCvtDirect* plain = make(1, 2, 6);
    paint(d);
    ASSERT_EQ(HXRColorConvertDirect(plain, d, random(), planes, nullptr, 3, 2, 2, 0), 0u);
    EXPECT_EQ(std::count(i0, i0 + 2 * d->linePixelSize, 0xA5), static_cast<long>(2 * d->linePixelSize));
}

// Sample and attribute offsets are taken in pointer width.
TEST_F(DirectConverter, FarPixelsAreNotWrapped) {
    SparseSpace space(kFarOffset + 4096);
    ASSERT_NE(space.base(), nullptr);
    *space.at(kFarOffset) = 77;
    *space.at(kWrappedOffset) = 11;
    HXRColorCvtDirect* c = make(1, 1, 4, 0x7FFFFFFF, 1, 0x7FFFFFFF);
    HXRIntermediateData* d = buffer(1, 4);
    const uint8_t* planes[1] = {space.base()};
    const uint8_t* attrs[1] = {space.base()};
    ASSERT_EQ(HXRColorConvertDirect(c, d, random(), planes, attrs, 1, 3, 1, 0), 0u);
    EXPECT_EQ(HXRGetInkQuantityBuf(d, 0, 0)[3], 77);
    EXPECT_EQ(HXRGetIntentBuf(d, 0)[3], 77);
}

TEST_F(DirectConverter, InkCountsOfBothTables) {
    const std::vector<uint32_t> direct = {1, 4, 5, 6, 7, 8, 9, 10, 12}, tnmx = {6, 7, 8, 10, 12};
    for (uint32_t n = 0; n <= 13; ++n) {
        const bool d = std::find(direct.begin(), direct.end(), n) != direct.end();
        const bool t = std::find(tnmx.begin(), tnmx.end(), n) != tnmx.end();
        EXPECT_EQ(HXRLookupDirectFunc(DirectFuncTable, n, 1), d ? HXRColorConvertDirectExpand : nullptr) << n;
        EXPECT_EQ(HXRLookupDirectFunc(TNMXDirectFuncTable, n, 8), t ? HXRColorConvertDirectExpand : nullptr) << n;
        EXPECT_EQ(HXRLookupDirectFunc(DirectFuncTable, n, 0x20001), nullptr) << n;
        EXPECT_EQ(HXRLookupDirectFunc(TNMXDirectFuncTable, n, 0x20001), nullptr) << n;
        if (ink_set_for(n) == 0xFFFFFFFF) continue;
        const _HXR_IMAGE_INFO im = image(100 + n, 8, 1);
        const HXRClrMgr* m = clr(n);
        HXRColorCvtDirect* cd = HXRCreateColorCvtDirect(&im, 4, m, mm);
        HXRColorCvtDirect* ct = HXRCreateColorCvtDirectTNMX(&im, 4, m, mm);
        EXPECT_EQ(cd != nullptr, d) << n;
        EXPECT_EQ(ct != nullptr, t) << n;
        EXPECT_EQ(HXRGetColorCvtDirectColorNum(cd), d ? n : 0u);
        EXPECT_EQ(HXRCreateColorCvtDirect(&im, 0x20001, m, mm), nullptr);
        EXPECT_EQ(HXRCreateColorCvtDirectTNMX(&im, 0x20001, m, mm), nullptr);
    }
    EXPECT_EQ(HXRLookupDirectFunc(nullptr, 4, 1), nullptr);
    const _HXR_IMAGE_INFO im = image(104, 8, 1);
    for (int32_t scale : {0, -4, 3, 16}) EXPECT_EQ(HXRCreateColorCvtDirect(&im, scale, clr(4), mm), nullptr) << scale;
    EXPECT_EQ(HXRCreateColorCvtDirect(nullptr, 1, clr(4), mm), nullptr);
    EXPECT_EQ(HXRCreateColorCvtDirectTNMX(&im, 1, nullptr, mm), nullptr);
    const HXRClrMgr* c4 = clr(4);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateColorCvtDirect(&im, 1, c4, mm), nullptr);
    svc.fail_allocation_after(-1);
    EXPECT_EQ(HXRGetColorCvtDirectColorNum(nullptr), 0u);
    EXPECT_EQ(HXRGetColorCvtDirectElementSize(nullptr), 0u);
}

TEST_F(DirectConverter, MatchesLiteralModelOnRandomBands) {
    std::mt19937 rng(1804);
    const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    const uint32_t counts[] = {1, 4, 5, 6, 7, 8, 9, 10, 12};
    for (int round = 0; round < 300; ++round) {
        const uint32_t n = counts[pick(9)];
        const int32_t scale = 1 << pick(4);
        const uint32_t width = 1 + pick(30), po = 1 + pick(3), sb = 1 + pick(2), attr = pick(2) * (1 + pick(3));
        const int32_t lines = 1 + static_cast<int32_t>(pick(2));
        const bool same = lines == 2 && pick(3) == 0;
        const int32_t start = static_cast<int32_t>(pick(width + 1));
        const int32_t count = static_cast<int32_t>(pick(width - start + 1));
        SCOPED_TRACE(testing::Message() << "round " << round << " n " << n << " scale " << scale << " width " << width
                                        << " po " << po << " sb " << sb << " attr " << attr << " lines " << lines
                                        << " same " << same << " " << start << "+" << count);
        HXRColorCvtDirect* c = make(n, scale, width, po, sb, attr);
        ASSERT_NE(c, nullptr);
        uint32_t off[12];
        for (uint32_t& f : off) f = pick(4) == 0;
        HXRIntermediateData* d = HXRCreateIntermediateData(static_cast<int32_t>(n), static_cast<int32_t>(width) * scale,
                                                           static_cast<int32_t>(sb), pick(2), off, -1, mm);
        ASSERT_NE(d, nullptr);
        for (uint32_t i = 0, size = HXRGetMemSize(mm, d->inkQuantityBuf); i < size; ++i)
            d->inkQuantityBuf[i] = rng() & 0xFF;
        std::vector<std::vector<uint8_t>> bytes(2 * n);
        std::vector<const uint8_t*> planes(2 * n);
        for (uint32_t j = 0; j < 2 * n; ++j) {
            bytes[j].resize(width * po * sb + 2);
            for (uint8_t& b : bytes[j]) b = rng() & 0xFF;
            planes[j] = pick(6) == 0 ? nullptr : bytes[j].data();
            if (same && j >= n) planes[j] = planes[j - n];
        }
        std::vector<uint8_t> attrBytes(2 * width * 4 + 2);
        for (uint8_t& b : attrBytes) b = rng() & 0xFF;
        const uint8_t* attrs[2] = {attrBytes.data(), same ? attrBytes.data() : attrBytes.data() + width * 4 + 1};

        // The model: valid flags from the pointers, then each processed
        // line's planes widened (0 for a switched-off ink), then the
        // attribute bytes when the image and the descriptor have them.
        Snapshot want = snap(d);
        bool vexp = lines == 1 || attr == 0 || attrs[0] == attrs[1];
        for (uint32_t i = 0; i < n && lines == 2; ++i) vexp = vexp && planes[n + i] == planes[i];
        const size_t rowBytes = static_cast<size_t>(d->linePixelSize) * sb;
        for (uint32_t i = 0; i < n; ++i)
            for (int32_t l = 0; l < 2; ++l) want.record.validInput[i][l] = l < lines && planes[l * n + i] ? 1 : 0;
        for (int32_t l = 0; l < (vexp ? 1 : 2); ++l) {
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t* src = planes[l * n + i];
                if (!src) continue;
                uint8_t* row = want.block.data() + (2 * i + l) * rowBytes;
                for (int32_t x = start; x < start + count; ++x) {
                    for (int32_t k = 0; k < scale; ++k) {
                        const size_t at = (static_cast<size_t>(x) * scale + k) * sb;
                        for (uint32_t b = 0; b < sb; ++b) row[at + b] = off[i] ? 0 : src[x * po * sb + b];
                    }
                }
            }
            if (attr && d->intentBuf) {
                uint8_t* intent = want.block.data() + 2 * n * rowBytes + l * d->linePixelSize;
                for (int32_t x = start; x < start + count; ++x)
                    for (int32_t k = 0; k < scale; ++k) intent[x * scale + k] = attrs[l][x * attr];
            }
        }
        want.record.writtenStart = start * scale;
        want.record.writtenEnd = (start + count) * scale;
        want.record.vExpansion = vexp;
        ASSERT_EQ(HXRColorConvertDirect(c, d, random(), planes.data(), attrs, count, start, lines, 0), 0u);
        ASSERT_TRUE(snap(d) == want);
    }
}

TEST_F(DirectConverter, RefusedBandsLeaveTheDescriptor) {
    HXRColorCvtDirect* c = make(4, 2, 10, 1, 1, 1);
    ASSERT_NE(c, nullptr);
    std::vector<uint8_t> px(64, 3);
    const auto band = [&] {
        BandCall b = plain_band(c, 4, 4, px.data());
        b.planes[5] = nullptr;  // a missing plane is no failure
        return b;
    };
    const BandRun run = [](const BandCall& b) {
        return HXRColorConvertDirect(static_cast<HXRColorCvtDirect*>(b.cvt), b.ink, b.random, b.planeArg(), b.attrArg(),
                                     b.count, b.start, b.lines, b.line);
    };
    expect_refusals(band, run,
                    {{"descriptor of five inks", [](BandCall& b, ColorTest& t) { b.ink = t.buffer(5, 20); }}});
}

}  // namespace
