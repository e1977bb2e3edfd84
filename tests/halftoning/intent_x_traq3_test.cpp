// The level-3 band driver against an encode buffer that records what it is
// given: placement (hand-derived table), the quality record, the pixels per
// format, flips and the quarter turn, the deferred skip, blank rows, and the
// dot-count pass that runs only when the job counts dots.
#include "halftoning/intent_x_traq3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "commands/traq3_records.h"
#include "engine/spooler.h"
#include "intent_x_fixture.h"
#include "support/null_encode_buffer.h"
#include "support/spool_deframer.h"

namespace ovcg_test {
namespace {

using ovcg::CIntentX_TRAQ3;
using ovcg::Level3Window;

struct Written {
    uint32_t x, y, w, h;
    Bytes pixels;  // w x h x bytes per pixel
};

struct CaptureEncode final : NullEncodeBuffer {
    unsigned bpp = 4;
    bool gray = false, initOk = true;
    std::vector<Written> writes;
    bool bInitEncodeBuffa(unsigned, int, int, const tagPOINT&) override { return initOk; }
    bool bWriteENCODEBuff(const ovcg::TRAQ3_tagBitmapParam* b, uint32_t stride,
                          const ovcg::TRAQ3_tagTargetPositionForBitmap* t, bool) override {
        Written w{t->horizontal, t->vertical, t->width, t->height, {}};
        for (uint32_t y = b->first_line; y < b->last_line; ++y)
            w.pixels.insert(w.pixels.end(), b->bits + size_t{y} * stride + b->rect.left * bpp,
                            b->bits + size_t{y} * stride + b->rect.right * bpp);
        writes.push_back(w);
        return true;
    }
    bool bCanInput8bitGray() const override { return gray; }
    unsigned BytesPerPixel() const override { return bpp; }
};

TEST(Level3Placement, HandDerived) {
    struct Case {
        const char* name;
        tagRECT clip, band;
        uint64_t frame;
        bool emptyPage, even;
        Level3Window want;  // top, bottom, left, right, bandRow, bandColumn
    };
    const Case cases[] = {
        {"clip", {2, 1, 8, 3}, {0, 5, 20, 9}, 0, false, false, {6, 8, 2, 8, 1, 2}},
        // The first band holds the frame's rows; the right edge loses the frame too.
        {"frame_first_band", {0, 0, 26, 10}, {0, 0, 26, 10}, 3, false, false, {0, 7, 0, 16, 3, 3}},
        {"frame_later_band", {5, 0, 10, 4}, {0, 13, 26, 17}, 3, false, false, {10, 12, 2, 7, 0, 5}},
        {"cut_at_page_end", {0, 0, 20, 6}, {0, 10, 20, 16}, 0, false, false, {10, 12, 0, 16, 0, 0}},
        // A band that starts inside the frame keeps only its page rows.
        {"above_the_page", {0, 0, 20, 4}, {0, 2, 20, 6}, 5, false, false, {0, 1, 0, 10, 3, 5}},
        {"clip_beyond_band", {0, 0, 50, 90}, {0, 0, 10, 4}, 0, false, false, {0, 4, 0, 10, 0, 0}},
        {"empty_page_takes_the_band", {4, 1, 5, 2}, {0, 0, 10, 4}, 0, true, false, {0, 4, 0, 10, 0, 0}},
        {"even_left", {3, 0, 9, 2}, {0, 0, 10, 2}, 0, false, true, {0, 2, 2, 9, 0, 2}},
        {"empty_window", {5, 0, 5, 2}, {0, 0, 10, 2}, 0, false, false, {}},
    };
    for (const Case& c : cases) {
        const Level3Window w = ovcg::PlaceLevel3Band(c.clip, c.band, {c.frame, c.frame}, c.emptyPage, 16, 12, c.even);
        const auto key = [](const Level3Window& v) {
            return std::vector<uint32_t>{v.top, v.bottom, v.left, v.right, v.bandRow, v.bandColumn};
        };
        EXPECT_EQ(key(w), key(c.want)) << c.name;
    }
}

class Traq3Test : public HalftoneTest {
protected:
    Traq3Test() {
        Build(HtGeometry{4, 1, 16, {720, 720}, {720, 720}});
        init.out_module = nullptr;
        init.page_length = 12;
        init.spooler = &spooler;
        init.level3_records = &records;
        init.encode_buffer = &encode;
    }
    std::unique_ptr<CIntentX_TRAQ3> MakeL3(int rotate = 0) {
        auto x = std::make_unique<CIntentX_TRAQ3>(&init, rotate, 2);
        EXPECT_EQ(x->StartPage(), 0);
        return x;
    }
    // A band of rows x width pixels of `bpp` bytes, each pixel's bytes given.
    static TestBand Band(unsigned rows, unsigned width, unsigned bpp, const Bytes& pixel) {
        TestBand t;
        t.Make(rows, width * bpp);
        for (unsigned i = 0; i < rows * width; ++i)
            for (unsigned k = 0; k < bpp; ++k) t.bits[i * bpp + k] = uint8_t(pixel[k] + (pixel.size() > bpp ? i : 0));
        return t;
    }
    // A gray source on a one-byte gray encoder, the encoder's record cleared.
    void GraySource() {
        init.src_format = 0;
        init.color_type = 0;
        encode = CaptureEncode{};
        encode.bpp = 1;
        encode.gray = true;
    }

    ovcg_test::SpoolRecorder recorder;
    CPlimoSpooler spooler{0, ovcg_test::SpoolRecorder::Callback, &recorder};
    ovcg::CTRAQ3V1_1 records{{720, 720}, {720, 720}, {20, 20}, {16, 12}, {2, 2}};
    CaptureEncode encode;
};

TEST_F(Traq3Test, QualityRecordAndItsFailures) {
    init.ht_sub_type = 0x1A5;
    init.upper_skip = 1;
    init.unit_number = 0x31;
    init.sub_type = 4;
    ht.color_correction = 2;
    auto x = MakeL3();
    spooler.Flush();
    EXPECT_EQ(records.ucGetqltyHalftone(), 0);  // method 3
    EXPECT_EQ(records.ucGetqltyHtSubType(), 0xA5);
    EXPECT_EQ(records.usGetqltyOverprint(), 2);
    EXPECT_EQ(records.ucGetqltyUpperSkip(), 1);
    // The slut package, then the quality record, then the page's make record.
    const Bytes sent = recorder.stream();
    const size_t q = records.uiGetLength_SetPrintingQuality(), m = records.uiGetLength_MakePage();
    ASSERT_GE(sent.size(), q + m);
    EXPECT_EQ(Bytes(sent.end() - long(q + m), sent.end() - long(m)),
              Bytes(static_cast<const uint8_t*>(records.pvGet_SetPrintingQuality()),
                    static_cast<const uint8_t*>(records.pvGet_SetPrintingQuality()) + q));
    x.reset();
    const auto message = [&] {
        try {
            MakeL3();
        } catch (const char* m) {
            return std::string(m);
        }
        return std::string();
    };
    ht.halftone_type = 2;  // no level-3 halftone for method 2
    EXPECT_EQ(message(), "HT Exception");
    ht.halftone_type = 3;
    encode.initOk = false;  // the encode buffer refuses the format
    EXPECT_EQ(message(), "Illegal Parameter Exception");
    EXPECT_EQ(engine.LiveInstances(), 0);
}

TEST_F(Traq3Test, PixelsPerFormatAndBuffer) {
    struct Case {
        int format, inkSet;
        bool composite;
        unsigned outBpp;
        bool gray;
        Bytes in, out;  // one pixel
    };
    const Case cases[] = {
        {7, 1, false, 4, false, {255, 0, 0, 7}, {255, 0, 0, 7}},
        {7, 1, true, 4, false, {255, 255, 255, 7}, {255, 255, 255, 7}},
        {7, 1, true, 4, false, {255, 0, 0, 7}, {76, 76, 76, 7}},  // 30 x 255 / 100
        {8, 1, true, 4, false, {0, 0, 255, 7}, {76, 76, 76, 7}},  // B, G, R
        {7, 0, false, 4, false, {0, 255, 0, 9}, {150, 150, 150, 9}},
        {0, 1, false, 4, false, {9}, {9, 9, 9, 0}},  // mended: gray on a buffer without gray
        {0, 1, false, 1, true, {9}, {9}},
        {8, 0, false, 1, true, {0, 0, 255, 7}, {76}},  // mended: one gray byte for a gray buffer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.format << " " << c.inkSet << " " << c.composite << " " << c.outBpp);
        init.src_format = c.format;
        init.color_type = c.format == 0 ? 0 : 7;
        init.ink_set_id = c.inkSet;
        init.composite_black = c.composite ? 1 : 0;
        encode = CaptureEncode{};
        encode.bpp = c.outBpp;
        encode.gray = c.gray;
        auto x = MakeL3();
        TestBand b = Band(1, 2, unsigned(c.in.size()), c.in);
        const tagRECT band{0, 3, 2, 4}, clip{0, 0, 2, 1};
        ASSERT_EQ(x->BandOut(&clip, &b.bmp, nullptr, &band, nullptr), 0);
        ASSERT_EQ(encode.writes.size(), 1u);
        Bytes want = c.out;
        want.insert(want.end(), c.out.begin(), c.out.end());
        EXPECT_EQ(encode.writes[0].pixels, want);
        // The band is refused when its format cannot reach the buffer.
    }
    init.src_format = 4;
    init.ink_set_id = 0;
    encode = CaptureEncode{};
    auto x = MakeL3();
    TestBand b = Band(1, 2, 4, {0, 0, 0, 0});
    const tagRECT band{0, 0, 2, 1};
    EXPECT_EQ(x->BandOut(&band, &b.bmp, nullptr, &band, nullptr), -203);
}

// The offered band step: gray rows padded to a multiple of 8 with 255,
// packed one after another in the band's own memory, against the formula
// written out here; bands it cannot rewrite are left as they were.
TEST(Traq3Steps, ConvertRGBXto8BITGRAY) {
    struct Case {
        const char* name;
        uint32_t width, rows, widthBytes;
        int code;
        uint32_t newWidthBytes;
    };
    const Case cases[] = {
        {"one pixel in 8-byte rows", 1, 3, 8, 0, 8},
        {"two pixels, tight rows", 2, 3, 8, 0, 8},
        {"three pixels, tight rows", 3, 4, 12, 0, 8},
        {"seven pixels", 7, 2, 28, 0, 8},
        {"eight pixels", 8, 2, 32, 0, 8},
        {"nine pixels", 9, 3, 36, 0, 16},
        {"rows longer than their pixels", 5, 3, 40, 0, 8},
        {"wide", 61, 5, 244, 0, 64},
        {"no rows", 4, 0, 16, 0, 8},
        {"one pixel in tight rows: gray rows would not fit", 1, 3, 4, -203, 4},
        {"rows shorter than their pixels", 4, 2, 15, -203, 15},
    };
    std::mt19937 rng(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes band(size_t{c.widthBytes} * std::max(c.rows, 1u) + 8);
        for (auto& v : band) v = uint8_t(rng());
        band[0] = band[1] = band[2] = 255;  // white stays 255
        if (band.size() > 8) band[4] = band[5] = band[6] = 0;  // black stays 0
        const Bytes before = band;
        tagBANDBMP bmp{c.widthBytes, band.data()};
        EXPECT_EQ(CIntentX_TRAQ3::ConvertRGBXto8BITGRAY(&bmp, c.width, c.rows), c.code);
        EXPECT_EQ(bmp.WidthBytes, c.newWidthBytes);
        if (c.code != 0) {
            EXPECT_TRUE(band == before);
            continue;
        }
        for (uint32_t r = 0; r < c.rows; ++r)
            for (uint32_t x = 0; x < c.newWidthBytes; ++x) {
                const uint8_t* p = before.data() + size_t{r} * c.widthBytes + 4 * x;
                const int want = x < c.width ? (30 * p[0] + 59 * p[1] + 11 * p[2]) / 100 : 255;
                ASSERT_EQ(band[size_t{r} * c.newWidthBytes + x], want) << "row " << r << " byte " << x;
            }
        // The bytes behind the band are not touched.
        const auto end = std::ptrdiff_t(size_t{c.rows} * c.widthBytes);
        EXPECT_TRUE(std::equal(band.begin() + end, band.end(), before.begin() + end));
    }
    tagBANDBMP none{16, nullptr};
    EXPECT_EQ(CIntentX_TRAQ3::ConvertRGBXto8BITGRAY(&none, 4, 1), -203);
    EXPECT_EQ(CIntentX_TRAQ3::ConvertRGBXto8BITGRAY(nullptr, 4, 1), -203);
}

TEST_F(Traq3Test, FlipsAndQuarterTurn) {
    struct Case {
        bool flipH, flipV, rotate;
        Written want;
    };
    // A 2-row, 3-pixel band at page rows 4, 5, columns 1 to 3 (page 16 x 12);
    // pixel value 10 + index.
    const Case cases[] = {
        {false, false, false, {1, 4, 3, 2, {10, 11, 12, 13, 14, 15}}},
        {true, false, false, {12, 4, 3, 2, {12, 11, 10, 15, 14, 13}}},
        {false, true, false, {1, 6, 3, 2, {13, 14, 15, 10, 11, 12}}},
        // Row y, column x -> row x, column 11 - y: 3 rows of 2 pixels.
        {false, false, true, {6, 1, 2, 3, {13, 10, 14, 11, 15, 12}}},
        {true, true, true, {4, 12, 2, 3, {12, 15, 11, 14, 10, 13}}},
    };
    for (const Case& c : cases) {
        GraySource();
        init.flip_h = c.flipH;
        init.flip_v = c.flipV;
        auto x = MakeL3(c.rotate);
        TestBand b = Band(2, 4, 1, {10, 0});
        const tagRECT band{0, 4, 4, 6}, clip{1, 0, 4, 2};
        ASSERT_EQ(x->BandOut(&clip, &b.bmp, nullptr, &band, nullptr), 0);
        ASSERT_EQ(encode.writes.size(), 1u);
        const Written& w = encode.writes[0];
        EXPECT_EQ((std::vector<uint32_t>{w.x, w.y, w.w, w.h}),
                  (std::vector<uint32_t>{c.want.x, c.want.y, c.want.w, c.want.h}))
            << c.flipH << c.flipV << c.rotate;
        // Pixel 10 + i sits at band index i (row-major, 4 a row): shift to columns 1..3.
        Bytes want = c.want.pixels;
        for (uint8_t& v : want) v = uint8_t(v + (v - 10) / 3 + 1);
        EXPECT_EQ(w.pixels, want) << c.flipH << c.flipV << c.rotate;
    }
}

// The deferred skip: rows become relative to the page's first printed row,
// rows above it are not printed; a zero clip writes nothing.
TEST_F(Traq3Test, DeferredSkipAndZeroClip) {
    GraySource();
    init.defer_skip = 1;
    auto x = MakeL3();
    TestBand b = Band(3, 4, 1, {1, 0});
    const tagRECT zero{0, 0, 0, 0};
    EXPECT_EQ(x->BandOut(&zero, &b.bmp, nullptr, &zero, nullptr), 0);
    EXPECT_TRUE(encode.writes.empty());
    const tagRECT clip{0, 0, 4, 3};
    for (const uint32_t top : {5u, 8u, 3u}) {
        const tagRECT band{0, top, 4, top + 3};
        ASSERT_EQ(x->BandOut(&clip, &b.bmp, nullptr, &band, nullptr), 0);
    }
    ASSERT_EQ(encode.writes.size(), 3u);
    EXPECT_EQ(x->FirstPrintedRow(), 5u);
    EXPECT_EQ((std::vector<uint32_t>{encode.writes[0].y, encode.writes[1].y, encode.writes[2].y}),
              (std::vector<uint32_t>{0, 3, 0}));
    EXPECT_EQ(encode.writes[2].h, 1u);  // rows 3 and 4 lie above the first printed row
}

// Empty-page mode: the gap before the first band, less the frame, goes out
// as white rows from the page's top (mended: the frame is larger than the
// previous band's end, so the position saturates at row 0), and so do the
// rows after the last band at the page end.
TEST_F(Traq3Test, BlankRowsInEmptyPageMode) {
    GraySource();
    init.empty_page = 1;
    auto x = MakeL3();
    TestBand b = Band(2, 22, 1, {1, 0});
    tagOSDEP3 frame{0, 0, 0, 3, 0, 0};
    const tagRECT band{0, 7, 22, 9}, clip{0, 0, 22, 2};  // page rows 4 and 5
    ASSERT_EQ(x->BandOut(&clip, &b.bmp, nullptr, &band, &frame), 0);
    ASSERT_EQ(encode.writes.size(), 2u);
    EXPECT_EQ((std::vector<uint32_t>{encode.writes[0].y, encode.writes[0].h, encode.writes[0].w}),
              (std::vector<uint32_t>{0, 4, 16}));
    EXPECT_EQ(encode.writes[0].pixels, Bytes(4 * 16, 255));
    EXPECT_EQ((std::vector<uint32_t>{encode.writes[1].y, encode.writes[1].h}), (std::vector<uint32_t>{4, 2}));
    // The page end: 12 + 3 - 9 rows counted, then sent from row 6.
    EXPECT_EQ(x->EmptyPageEndOut(1), 0);
    EXPECT_EQ(encode.writes.size(), 2u);
    EXPECT_EQ(x->EmptyPageEndFlush(0), 0);
    ASSERT_EQ(encode.writes.size(), 3u);
    EXPECT_EQ((std::vector<uint32_t>{encode.writes[2].y, encode.writes[2].h}), (std::vector<uint32_t>{6, 6}));
}

// Mended: without dot counting the band is not halftoned a second time.
TEST_F(Traq3Test, DotCountPassOnlyWhenCounting) {
    for (const uint32_t counting : {0u, 1u}) {
        init.dot_counting = counting;
        engine.ClearCalls();
        auto x = MakeL3();
        TestBand b = Band(2, 16, 4, {0, 0, 0, 0});
        const tagRECT band{0, 0, 16, 2};
        ASSERT_EQ(x->BandOut(&band, &b.bmp, nullptr, &band, nullptr), 0);
        EXPECT_EQ(engine.CallsOf(HxrCall::kHalftone).empty(), counting == 0);
    }
}

}  // namespace
}  // namespace ovcg_test
