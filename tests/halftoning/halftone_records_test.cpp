// The halftone base's construction: code mapping, tables, the engine's
// description records, plane pointers, gray expansion and instance creation.
#include <cstdio>
#include <cstring>
#include <set>

#include "commands/traq3_records.h"
#include "halftone_fixture.h"

namespace ovcg_test {
namespace {

using ovcg::CHalftone;

TEST(HalftoneCodesTest, EngineResultsAtEachBoundary) {
    const struct {
        uint32_t code;
        int want;
    } rows[] = {{0, 0},         {1, -3001},          {4999, -3001},      {5000, -3002},      {5999, -3002},
                {6000, -3003},  {7999, -3003},       {8000, -3004},      {0x7FFFFFFF, -3004}, {0x80000000u, -3004},
                {0xFFFFFFFFu, -3004}};
    for (const auto& r : rows) EXPECT_EQ(CHalftone::ConvertHXRError(r.code), r.want) << r.code;
}

TEST(HalftoneCodesTest, DocumentTypes) {
    const std::set<int> kept{2, 4, 5, 6, 7, 9, 12, 13, 14, 18};
    for (int t = -1; t <= 300; ++t) {
        const int want = t == 90 ? 11 : kept.count(t) ? t : 0;
        EXPECT_EQ(CHalftone::GetDocType(t), want) << t;
    }
}

TEST_F(HalftoneTest, HalftoneKinds) {
    const int want[] = {0, 0, 1, 0, 3, 4, 5, 6, 0};  // halftone_type -1 .. 7
    for (int t = -1; t <= 7; ++t) {
        ht.halftone_type = t;
        EXPECT_EQ(Make()->GetHXRHtType(), want[t + 1]) << t;
    }
}

TEST_F(HalftoneTest, ImageRecordPerColourTypeAndFormat) {
    const struct {
        int ink_set, format, color_type, step;
        int type;  // resulting colour type, or the thrown code when below 0
        unsigned mode, stride, comps;
    } rows[] = {
        {0, 7, 7, 1, 0, 3, 1, 1},        {0, 7, 7, 2, 0, 3, 2, 1},       {1, 2, 1, 1, 1, 3, 3, 3},
        {1, 2, 2, 3, 2, 3, 9, 3},        {1, 7, 3, 1, 3, 3, 4, 4},       {1, 4, 4, 1, 4, 4, 4, 4},
        {1, 7, 7, 2, 7, 3, 8, 4},        {1, 10, 7, 1, 10, 110, 10, 10}, {1, 101, 7, 1, 101, 101, 1, 1},
        {1, 104, 3, 1, 104, 104, 4, 4},  {1, 110, 0, 2, 110, 110, 20, 10}, {1, 112, 0, 1, 112, 112, 12, 12},
        {1, 7, 5, 1, -204, 0, 0, 0},     {1, 7, 8, 1, -204, 0, 0, 0},    {1, 102, 102, 1, -204, 0, 0, 0},
        {1, 111, 111, 1, -204, 0, 0, 0}, {1, 7, 7, 0, -204, 0, 0, 0},    {1, 7, 7, -3, -204, 0, 0, 0},
    };
    for (const auto& r : rows) {
        init.ink_set_id = r.ink_set;
        init.src_format = r.format;
        init.color_type = r.color_type;
        init.reduce_step = r.step;
        if (r.type < 0) {
            EXPECT_EQ(ThrowCode(), r.type) << r.format << "/" << r.color_type << " step " << r.step;
            continue;
        }
        auto h = Make();
        EXPECT_EQ(h->ColourType(), r.type) << r.format;
        EXPECT_EQ(h->ImageInfo().colorMode, r.mode) << r.format;
        EXPECT_EQ(h->ImageInfo().pixelOffset, r.stride) << r.format;
        EXPECT_EQ(h->ComponentsPerPixel(), r.comps) << r.format;
        EXPECT_EQ(h->ImageInfo().sampleBytes, 1u);
        EXPECT_EQ(h->ImageInfo().attributeStride, 0u);
        EXPECT_EQ(h->ImageInfo().width, 64u);
    }
}

TEST_F(HalftoneTest, HalftoneAndOptionRecords) {
    init.ink_set_id = 17;
    init.sub_type = 4;
    init.ht_sub_type = -1;
    init.out_bits = 34;
    init.duty_multi_on = 1;
    for (int i = 0; i < 12; ++i) init.duty_multi[i] = 1000 + i;
    ht.halftone_type = 5;
    ht.brightness = 2, ht.contrast = 3, ht.saturation = 4, ht.r_strength = 5, ht.g_strength = 6, ht.b_strength = 7;
    TNMX_PARAMS tnmx{1, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    ht.lpTNMX_params = &tnmx;
    const unsigned char id[] = {0x20, 1, 0x41};
    const unsigned char cid[] = {0x20, 0};
    ht.lpSMBidx_Tbl = const_cast<unsigned char*>(id);
    init.cid_data = cid;
    auto h = Make();
    const _HXR_HALFTONE_INFO& hi = h->HalftoneInfo();
    const unsigned want[11] = {17, 3, 0, 4, 5, 720, 720, 34, 0, static_cast<unsigned>(buffer->HExpansion()), 1};
    EXPECT_EQ(0, std::memcmp(&hi, want, sizeof want));
    const _HXR_OPTION_INFO& o = h->OptionInfo();
    const int tones[16] = {100, 2, 3, 4, 5, 6, 7, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    EXPECT_EQ(0, std::memcmp(o.tone, tones, sizeof tones));
    for (unsigned i = 0; i < 12; ++i) EXPECT_EQ(o.colorValue[i], 1000 + i);
    EXPECT_EQ(o.printerId, id);  // the halftone record's table before the CID file
    EXPECT_EQ(o.secondDocType, 0xFFFFFFFFu);

    // Without TNMX version and duties: the engine's defaults stay; out_bits
    // -1 takes the buffer's bits; the CID file is the printer identifier.
    tnmx.version = 0;
    init.duty_multi_on = 0;
    init.out_bits = -1;
    ht.lpSMBidx_Tbl = nullptr;
    h = Make();
    EXPECT_EQ(h->OptionInfo().tone[9], 220);
    EXPECT_EQ(h->OptionInfo().colorValue[3], 1024u);
    EXPECT_EQ(h->HalftoneInfo().outputBits, 1u);
    EXPECT_EQ(h->OptionInfo().printerId, cid);
    ht.OsCMM = 1;
    EXPECT_EQ(ThrowCode(), -204);
}

TEST_F(HalftoneTest, ConstructorRefusals) {
    // More output colours than the row tables hold, and no record.
    Build(HtGeometry{13, 1, 64});
    EXPECT_EQ(ThrowCode(), -204);
    Build(HtGeometry{12, 1, 64});
    EXPECT_EQ(ThrowCode(), 0);
    init.ht_struct = nullptr;
    EXPECT_EQ(ThrowCode(), -204);
    Build(HtGeometry{});
    init.composite_black = 1;
    for (int type : {0, 10, 104}) {
        init.color_type = type;
        init.src_format = 7;
        EXPECT_EQ(ThrowCode(), -204) << type;
    }
    init.color_type = 7;
    init.band_lines = 7;
    EXPECT_EQ(ThrowCode(), -204);
    init.band_lines = 6;
    EXPECT_EQ(ThrowCode(), 0);
}

// ---------------------------------------------------------------------------
// Plane pointers and line preparation

TEST_F(HalftoneTest, PlanePointersPerColourType) {
    const struct {
        int format, type;
        std::vector<int> offsets;  // per plane entry of line 0, from the line start
    } rows[] = {
        {7, 7, {0, 1, 2}},         // RGBX
        {8, 7, {2, 1, 0}},         // BGRX left in order: R, G, B by exchange
        {7, 3, {1, 2, 3}},         // XRGB: R, G, B are bytes 1..3
        {8, 3, {1, 2, 3}},         // BGRX converted to XRGB: no exchange on top
        {2, 1, {0, 1, 2}},         // BGR converted to RGB
        {4, 4, {0, 1, 2, 3}},      // CMYK
        {104, 0, {0, 1, 2, 3}},    // four ink planes
    };
    for (const auto& r : rows) {
        init.src_format = r.format;
        init.color_type = r.type;
        std::vector<uint8_t> line(64, 0);
        unsigned char* lines[1] = {line.data()};
        auto h = Make();
        void* hs[13] = {};
        const int docs[2] = {-1, -1};
        ASSERT_EQ(h->GetHXRHandle(hs, 0, docs, nullptr), 0);
        h->SetHTPosition(0, 4);
        ASSERT_EQ(h->CallHXRHalftone(hs[0], 1, lines, nullptr, 4), 0);
        const auto calls = engine.CallsOf(HxrCall::kHalftone);
        ASSERT_FALSE(calls.empty());
        const auto& c = calls.back();
        ASSERT_EQ(c.plane_pointers.size(), r.offsets.size()) << r.format << "/" << r.type;
        for (size_t i = 0; i < r.offsets.size(); ++i)
            EXPECT_EQ(c.plane_pointers[i], line.data() + r.offsets[i]) << r.format << "/" << r.type << " " << i;
        EXPECT_TRUE(c.attribute_pointers.empty());
        h->DeleteHXRHandle(hs[0]);
    }
    // Gray: the one sample three times, line after line.
    init.ink_set_id = 0;
    auto h = Start();
    h->SetHTPosition(0, 8);
    std::vector<uint8_t> a(8, 255), b(8, 255);
    unsigned char* lines[2] = {a.data(), b.data()};
    unsigned char attrA = 0, attrB = 0;
    unsigned char* attrs[2] = {&attrA, &attrB};
    ASSERT_EQ(h->CallHXRHalftone(handles[0], 2, lines, attrs, 8), 0);
    const auto c = engine.CallsOf(HxrCall::kHalftone).back();
    EXPECT_EQ(c.plane_pointers,
              (std::vector<const void*>{a.data(), a.data(), a.data(), b.data(), b.data(), b.data()}));
    EXPECT_EQ(c.attribute_pointers, (std::vector<const void*>{&attrA, &attrB}));
}

TEST_F(HalftoneTest, BlackAndWhiteFilterOfGrayJobs) {
    init.ink_set_id = 0;
    for (uint32_t bina : {0u, 1u}) {
        init.bina_flag = bina;
        auto h = Start();
        h->SetHTPosition(0, 5);
        std::vector<uint8_t> line{254, 255, 0, 128, 1, 77};
        unsigned char* lines[1] = {line.data()};
        ASSERT_EQ(h->CallHXRHalftone(handles[0], 1, lines, nullptr, 5), 0);
        const std::vector<uint8_t> want = bina ? std::vector<uint8_t>{0, 255, 0, 0, 0, 77}
                                               : std::vector<uint8_t>{254, 255, 0, 128, 1, 77};
        EXPECT_EQ(line, want) << bina;  // only the call's pixels are filtered
        dll.HXR_DeleteInstance(handles[0]);
        handles[0] = nullptr;
    }
}

TEST(GrayExpansionTest, BytesPerColourType) {
    const uint8_t gray[3] = {10, 255, 0};
    const uint8_t attr[3] = {7, 8, 9};
    const struct {
        int type;
        bool bw;
        bool withAttr;
        int result;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {1, false, true, 3, {10, 10, 10, 255, 255, 255, 0, 0, 0, 255, 255, 255}},
        {2, false, false, 3, {10, 10, 10, 255, 255, 255, 0, 0, 0, 255, 255, 255}},
        {3, false, true, 4, {7, 10, 10, 10, 8, 255, 255, 255, 9, 0, 0, 0, 0, 255, 255, 255}},
        {3, false, false, 4, {0, 10, 10, 10, 0, 255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255}},
        {4, false, true, 4, {10, 10, 10, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {7, false, true, 4, {10, 10, 10, 7, 255, 255, 255, 8, 0, 0, 0, 9, 255, 255, 255, 0}},
        {7, true, true, 4, {0, 0, 0, 7, 255, 255, 255, 8, 0, 0, 0, 9, 255, 255, 255, 0}},
        {0, false, true, -202, {}},
        {5, false, true, -202, {}},
        {8, false, true, -202, {}},
    };
    for (const auto& r : rows) {
        std::vector<uint8_t> out(16, 0xCC);
        EXPECT_EQ(CHalftone::ExpandGrayLine(r.type, r.bw, gray, r.withAttr ? attr : nullptr, 3, out.data()),
                  r.result)
            << r.type;
        if (r.result > 0) {
            EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<long>(r.bytes.size())), r.bytes)
                << r.type << " bw " << r.bw;
        }
    }
}

TEST_F(HalftoneTest, GrayExpansionFeedsTheEngine) {
    // A monochrome XRGB job: the engine reads R, G, B of the expansion
    // buffer, limited to the page width; the attribute buffer holds what the
    // converter gave as alpha.
    Build(HtGeometry{4, 1, 6});
    init.composite_black = 1;
    init.color_type = 3;
    init.attr_type = 2;
    init.attr_flags = 0x2;
    init.cl_mode = 1;
    auto h = Start();
    ASSERT_TRUE(h->HasGrayExpansion());
    ASSERT_NE(h->GrayAttributeBuffer(0), nullptr);
    EXPECT_EQ(h->GrayAttributeBuffer(2), nullptr);  // two lines per call
    h->GrayAttributeBuffer(0)[1] = 5;
    std::vector<uint8_t> line{1, 2, 3, 4, 5, 6, 7, 8, 9};
    unsigned char* lines[1] = {line.data()};
    h->SetHTPosition(0, 6);
    ASSERT_EQ(h->CallHXRHalftone(handles[0], 1, lines, nullptr, 9), 0);
    const auto c = engine.CallsOf(HxrCall::kHalftone).back();
    ASSERT_EQ(c.planes.size(), 3u);
    for (const auto& plane : c.planes) EXPECT_EQ(plane, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    const auto* base = static_cast<const uint8_t*>(c.plane_pointers[0]) - 1;
    EXPECT_EQ(base[4], 5);   // attribute byte of pixel 1
    EXPECT_EQ(base[24], 0);  // terminator pixel after six pixels
    EXPECT_EQ(base[25], 255);
    // Three lines do not fit the two expansion buffers.
    unsigned char* three[3] = {line.data(), line.data(), line.data()};
    EXPECT_EQ(h->CallHXRHalftone(handles[0], 3, three, nullptr, 6), -203);
}

// ---------------------------------------------------------------------------
// Instances

TEST_F(HalftoneTest, RetryOrderOfDocumentTypes) {
    for (int second : {-1, 9}) {
        for (int failures = 0; failures <= 9; ++failures) {
            engine.ClearCalls();
            engine.FailTimes(HxrCall::kCreateInstance, failures, failures % 2 ? 202 : 8100);
            auto h = Make();
            void* hs[13] = {};
            const int docs[2] = {7, second};
            const int r = h->GetHXRHandle(hs, 0, docs, nullptr);
            const auto creates = engine.CallsOf(HxrCall::kCreateInstance);
            const std::vector<unsigned> order{7, 5, 0, 6, 2, 12, 13, 14, 4};
            ASSERT_EQ(creates.size(), static_cast<size_t>(std::min(failures + 1, 9))) << failures;
            for (size_t i = 0; i < creates.size(); ++i) {
                EXPECT_EQ(creates[i].halftone.docType, order[i]) << failures << " " << i;
                EXPECT_EQ(creates[i].flags, 1);
                const unsigned wantSecond = second < 0 ? 0xFFFFFFFFu : i == 0 ? 9u : order[i];
                EXPECT_EQ(creates[i].option.secondDocType, wantSecond) << failures << " " << i;
            }
            // The last failure's code, mapped: 202 and 8100 alternate.
            EXPECT_EQ(r, failures < 9 ? 0 : -3001) << failures;
            if (hs[0]) h->DeleteHXRHandle(hs[0]);
        }
    }
    // A candidate equal to both given types is passed over.
    engine.ClearCalls();
    engine.FailTimes(HxrCall::kCreateInstance, 1, 201);
    auto h = Make();
    const int docs[2] = {5, 5};
    ASSERT_EQ(h->GetHXRHandle(handles, 0, docs, nullptr), 0);
    const auto creates = engine.CallsOf(HxrCall::kCreateInstance);
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(creates[1].halftone.docType, 0u);
}

TEST_F(HalftoneTest, LevelThreeRefusesASecondDocumentType) {
    ovcg::CTRAQ3V1 records;
    init.level3_records = &records;
    auto h = Make();
    const int docs[2] = {2, 4};
    EXPECT_EQ(h->GetHXRHandle(handles, 0, docs, nullptr), -207);
    EXPECT_TRUE(engine.CallsOf(HxrCall::kCreateInstance).empty());
    EXPECT_EQ(h->GetHXRHandle(nullptr, 0, docs, nullptr), -201);
    EXPECT_EQ(h->DeleteHXRHandle(nullptr), -200);
}

TEST_F(HalftoneTest, PerChannelInstancesAndTheOutputScale) {
    // Source 720, print 360 dpi: output scale 0x20001 (one half). The ink
    // rows of a channel hold ceil(width / 2) columns.
    const struct {
        int format, color_type;
        unsigned width;
        unsigned mode, stride, channelWidth;
    } rows[] = {{7, 7, 101, 104, 1, 51}, {7, 7, 100, 104, 1, 50}, {104, 0, 101, 104, 4, 101}};
    for (const auto& r : rows) {
        Build(HtGeometry{4, 1, r.width, {720, 720}, {360, 360}});
        ASSERT_EQ(buffer->HExpansion(), 0x20001);
        init.src_format = r.format;
        init.color_type = r.color_type;
        ht.halftone_type = 6;
        engine.ClearCalls();
        auto h = Start(4);
        const auto creates = engine.CallsOf(HxrCall::kCreateInstance);
        ASSERT_EQ(creates.size(), 5u);
        for (unsigned i = 1; i < 5; ++i) {
            EXPECT_EQ(creates[i].image.colorMode, r.mode);
            EXPECT_EQ(creates[i].image.pixelOffset, r.stride) << r.format;
            EXPECT_EQ(creates[i].image.width, r.channelWidth) << r.format << " " << r.width;
            EXPECT_EQ(creates[i].halftone.scale, r.format == 104 ? 0x20001u : 1u);
            EXPECT_EQ(creates[i].flags, 1);
            EXPECT_EQ(0, std::memcmp(&creates[i].image, &h->ChannelImageInfo(i - 1), sizeof(_HXR_IMAGE_INFO)));
        }
        EXPECT_EQ(engine.CallsOf(HxrCall::kStartPage).size(), 5u);
        // The per-channel halftoning takes the scaled window: ceil(7 / 2) and
        // ceil(3 / 2) for the window 3..10.
        h->SetHTPosition(3, 10);
        std::vector<uint8_t> ink(64, 0);
        unsigned char* in[4] = {ink.data(), ink.data(), ink.data(), ink.data()};
        unsigned char* outRows[4] = {};
        ASSERT_EQ(h->CallHXRHalftoneHT(handles[1], 1, in, outRows, 0), 0);
        const auto ht1 = engine.CallsOf(HxrCall::kHalftone).back();
        EXPECT_EQ(ht1.pixels, r.format == 104 ? 7 : 4);
        EXPECT_EQ(ht1.x_offset, r.format == 104 ? 3 : 2);
        EXPECT_TRUE(ht1.attribute_pointers.empty());
        for (void*& hd : handles)
            if (hd) h->DeleteHXRHandle(hd), hd = nullptr;
    }
    // No per-channel instances without the parallel halftone kind.
    Build(HtGeometry{});
    ht.halftone_type = 5;
    engine.ClearCalls();
    Start(4);
    EXPECT_EQ(engine.CallsOf(HxrCall::kCreateInstance).size(), 1u);
}

TEST_F(HalftoneTest, AStepTakesTheWindowsEveryStepthPixel) {
    // Reference: the engine's pixels p are those whose source pixel p x t
    // lies in the window, from the first (with t above 1 an even one when two
    // source pixels make a dot), (right - left) / t of them. The conversion
    // and the per-channel halftoning take the same span, scaled to the
    // output for the ink rows. By hand: [6, 8) at t = 2 is pixel 3 alone;
    // [3, 10) at t = 2 is 2, 3, 4; at t = 4, 1 alone.
    const struct {
        int srcX, prtX;
    } geometries[] = {{720, 720}, {360, 720}, {180, 720}, {720, 360}};
    const struct {
        uint32_t left, right;
    } windows[] = {{0, 64}, {0, 5}, {6, 8}, {3, 10}, {2, 7}, {5, 6}, {7, 64}, {61, 64}, {63, 64}, {9, 9}};
    int spans = 0;
    for (const auto& g : geometries)
        for (int t = 1; t <= 4; ++t) {
            Build(HtGeometry{4, 1, 64, {g.srcX, 720}, {g.prtX, 720}});
            const bool pairs = buffer->HConversion() == -1;
            init.reduce_step = t;
            ht.halftone_type = 6;
            engine.ClearCalls();
            auto h = Start(4);
            std::vector<uint8_t> line = RgbxLine(64, {1, 2, 5});
            std::vector<uint8_t> ink(4 * 1024, 0);
            unsigned char* lines[1] = {line.data()};
            unsigned char* inkRows[4] = {&ink[0], &ink[1024], &ink[2048], &ink[3072]};
            unsigned char* outRows[4] = {};
            for (const auto& w : windows) {
                SCOPED_TRACE(std::to_string(g.srcX) + "/" + std::to_string(g.prtX) + " t " + std::to_string(t) +
                             " [" + std::to_string(w.left) + ", " + std::to_string(w.right) + ")");
                std::vector<uint32_t> used;
                for (uint32_t p = 0; p * t < w.right; ++p)
                    if (p * t >= w.left) used.push_back(p);
                if (pairs && t > 1 && !used.empty() && used[0] % 2) used.erase(used.begin());
                const size_t count = std::min<size_t>(used.size(), (w.right - w.left) / uint32_t(t));
                const ovcg::HtSpan want{count ? used[0] : 0, uint32_t(count)};
                const ovcg::HtSpan got = h->EngineSpan({w.left, w.right});
                EXPECT_EQ(got.count, want.count);
                if (count > 0) {
                    EXPECT_EQ(got.first, want.first);
                }
                h->SetHTPosition(w.left, w.right);
                ASSERT_EQ(h->ConvertColorRows(handles[0], 1, lines, nullptr, {w.left, w.right}, inkRows, 0), 0);
                ASSERT_EQ(h->CallHXRHalftoneHT(handles[1], 1, inkRows, outRows, 0), 0);
                const auto conv = engine.CallsOf(HxrCall::kConvertColor).back();
                const auto ht1 = engine.CallsOf(HxrCall::kHalftone).back();
                if (count > 0) {
                    EXPECT_EQ(conv.x_offset, int(want.first));
                    EXPECT_EQ(conv.pixels, int(want.count));
                    // The ink rows hold what the conversion wrote: its span scaled.
                    EXPECT_EQ(uint64_t(ht1.x_offset), h->ScaleByOutput(want.first));
                    EXPECT_EQ(uint64_t(ht1.pixels), h->ScaleByOutput(want.count));
                    ++spans;
                } else {
                    EXPECT_EQ(conv.pixels, 0);
                    EXPECT_EQ(ht1.pixels, 0);
                }
            }
            for (void*& hd : handles)
                if (hd) h->DeleteHXRHandle(hd), hd = nullptr;
        }
    EXPECT_GT(spans, 100);
}

TEST_F(HalftoneTest, PerChannelCreationFailureIsReturned) {
    ht.halftone_type = 6;
    engine.SetFailHook([](const HxrCallRecord& c) {
        return c.kind == HxrCall::kCreateInstance && c.image.colorMode == 104 && c.option.tone[0] == 100 &&
                       c.image.pixelOffset == 1
                   ? 5001u
                   : 0u;
    });
    auto h = Make();
    const int docs[2] = {-1, -1};
    EXPECT_EQ(h->GetHXRHandle(handles, 4, docs, nullptr), -3002);
    EXPECT_NE(handles[0], nullptr);
    EXPECT_EQ(h->GetHXRHandle(handles, 13, docs, nullptr), -204);
}

TEST_F(HalftoneTest, CalibrationFileReachesTheEngineOnlyWhole) {
    // The engine copies as many bytes as the first four say.
    const std::string path = ::testing::TempDir() + "ht_calibration.bin";
    const struct {
        std::vector<uint8_t> file;
        bool handedOn;
    } rows[] = {{{8, 0, 0, 0, 1, 2, 3, 4}, true},
                {{8, 0, 0, 0, 1, 2, 3, 4, 9}, true},
                {{9, 0, 0, 0, 1, 2, 3, 4}, false},
                {{2, 0, 0}, false},
                {{3, 0, 0, 0}, false}};
    for (const auto& r : rows) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(r.file.data(), 1, r.file.size(), f);
        std::fclose(f);
        ht.lpSMBCalibrate_Tbl = const_cast<char*>(path.c_str());
        engine.ClearCalls();
        Start();
        const auto create = engine.CallsOf(HxrCall::kCreateInstance).at(0);
        if (r.handedOn)
            EXPECT_EQ(create.calibration, std::vector<uint8_t>(r.file.begin(), r.file.begin() + 8));
        else
            EXPECT_TRUE(create.calibration.empty()) << r.file.size();
        dll.HXR_DeleteInstance(handles[0]);
        handles[0] = nullptr;
    }
    std::remove(path.c_str());
    // The init record's IMS calibration comes first; nothing is kept by
    // pointer once the instances exist.
    const unsigned char ims[] = {5, 0, 0, 0, 42};
    init.ims_calib = ims;
    auto h = Start();
    EXPECT_EQ(engine.CallsOf(HxrCall::kCreateInstance).back().calibration, std::vector<uint8_t>(ims, ims + 5));
    EXPECT_EQ(h->OptionInfo().calibration, nullptr);
    EXPECT_EQ(h->Init().ims_calib, nullptr);
    EXPECT_EQ(h->Init().ht_struct, nullptr);
}

}  // namespace
}  // namespace ovcg_test
