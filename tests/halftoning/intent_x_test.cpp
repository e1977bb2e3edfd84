// The band driver: call sequences derived by hand, band placement, the
// refusals, mirroring, the white tests and the page object behind the
// engine's interface.
#include <functional>

#include "engine/engine_interfaces.h"
#include "intent_x_fixture.h"

namespace ovcg_test {
namespace {

using ovcg::CHalftone;
using ovcg::CIntentX;

// ---------------------------------------------------------------------------
// Call sequences derived by hand. Source rows carry a letter in every pixel
// of the clip (A for the first row of the first band, then on across the
// bands; 'y' left and right of the clip, 'x' past the page's right edge, 'z'
// in the frame); a call reads as "first row:letters of its lines" ('-'
// white, '?' mixed), with the engine's first pixel and pixel count after '@'
// when the case asks; a run of the output module as R (rasters) or E
// (empty), count, @ position.

struct HandBand {
    unsigned top, rows;
    tagRECT clip{};      // all zero: the whole band
    uint32_t frame = 0;  // the descriptor's frame on every side
    unsigned extra = 0;  // pixels past the page's right edge
};

struct HandCase {
    const char* name;
    int srcY, prtY;
    std::function<void(ovcg::tagHTINITSTRUCT&)> tweak;
    std::vector<HandBand> bands;
    std::vector<std::string> calls, runs;
    bool spans = false;  // the calls show "@first+count"
    unsigned width = 8;  // of the page
};

std::string Letter(const std::vector<uint8_t>& samples) {
    if (samples.empty()) return "?";
    for (uint8_t v : samples)
        if (v != samples[0]) return "?";
    return samples[0] == 255 ? "-" : std::string(1, static_cast<char>(samples[0]));
}

TEST_F(IntentXTest, HandDerivedCallSequences) {
    const HandCase cases[] = {
        {"a gap of 5 with R = 2 is two empty runs of 5", 720, 1440, nullptr,
         {{0, 2}, {7, 1}},
         {"0:AA", "2:BB", "14:CC"},
         {"R2@0", "R2@2", "E5@4", "E5@9", "R2@14"}},
        {"R = 3: rows of a band share calls, the last repeat goes alone", 720, 2160, nullptr,
         {{0, 2}, {2, 1}},
         {"0:AA", "2:AB", "4:BB", "6:CC", "8:C"},
         {"R2@0", "R2@2", "R2@4", "R2@6", "R1@8"}},
        {"R = 3: a row outside the clip sends the held repeat alone", 720, 2160, nullptr,
         {{0, 2, {0, 0, 8, 1}}},
         {"0:AA", "2:A"},
         {"R2@0", "R1@2", "E3@3"}},
        {"R = 4: each row twice in two-line calls", 720, 2880, nullptr,
         {{0, 1}},
         {"0:AA", "2:AA"},
         {"R2@0", "R2@2"}},
        {"empty-page gap of 5 with L = 2: two two-line calls and one of one line", 720, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.empty_page = 1; },
         {{0, 3}, {8, 1}},
         {"0:AB", "2:C", "3:--", "5:--", "7:-", "8:D"},
         {"R2@0", "R1@2", "R2@3", "R2@5", "R1@7", "R1@8"}},
        {"a first band at page row 0 with a frame of 10 drops its first 10 rows", 720, 720, nullptr,
         {{0, 12, {0, 0, 28, 12}, 10}},
         {"0:KL"},
         {"R2@0"}},
        {"a band above the previous band's end has no gap", 720, 720, nullptr,
         {{0, 2}, {1, 2}},
         {"0:AB", "2:CD"},
         {"R2@0", "R2@2"}},
        {"R = 1: a group with a row in the clip is halftoned whole", 720, 720, nullptr,
         {{0, 4, {0, 1, 8, 2}}},
         {"0:AB"},
         {"R2@0", "E2@2"}},
        {"defer_skip: empty rows before the first output are not counted", 720, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.defer_skip = 1; },
         {{0, 4, {0, 2, 8, 4}}, {4, 2, {0, 1, 8, 2}}, {6, 2, {0, 2, 8, 2}}},
         {"0:CD", "2:EF"},
         {"R2@0", "R2@2", "E2@4"}},
        {"the vertical flip walks the rows from the last", 720, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.flip_v = 1; },
         {{0, 3, {0, 0, 8, 1}}},
         {"2:A"},
         {"E2@0", "R1@2"}},
        {"reduce step 2: every second row, the last group what remains", 720, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.reduce_step = 2; },
         {{0, 5}},
         {"0:AC", "2:E"},
         {"R2@0", "R1@2"}},
        {"L = 4: groups of four page rows across bands, the last padded at the page end", 1440, 720, nullptr,
         {{0, 6}, {6, 3}},
         {"0:ABCD", "4:EFGH", "8:I---"},
         {"R2@0", "R2@2", "R1@4"}},
        {"L = 4: blank rows of a group are sent again as white lines", 1440, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.layout_offset.y = 1; },
         {{0, 5}, {8, 2}},
         {"0:-ABC", "4:DE--", "8:-FG-"},
         {"E1@0", "R2@0", "R2@2", "E1@8", "R2@4"}},
        // With a reduction step t the engine's pixel p is source pixel p x t:
        // a window [l, r) gives the pixels from ceil(l / t), (r - l) / t of
        // them. Window [6, 8) at step 2 (the clip reaches 14, the page ends
        // at 8): pixel 3, the source's 6; nothing right of the page is read.
        {"L = 4, step 2: a window at the page's right edge reads its own pixels", 1440, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.layout_offset.y = 1, i.reduce_step = 2; },
         {{0, 6, {6, 0, 14, 6}, 0, 6}},
         {"0:-ACE@3+1"},
         {"E1@0", "R2@0"},
         true},
        // Two bands of four rows, two used rows each: the first band's rows
        // are held until the second completes the group.
        {"L = 4, step 2: rows held across a band keep the window's pixels", 1440, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.reduce_step = 2; },
         {{0, 4, {6, 0, 8, 4}}, {4, 4, {6, 0, 8, 4}}},
         {"0:ACEG@3+1"},
         {"R2@0"},
         true},
        {"L = 4, step 1: three rows held, two flushed at the page end", 1440, 720, nullptr,
         {{0, 3, {6, 0, 8, 3}}, {3, 3, {6, 0, 8, 3}}},
         {"0:ABCD@6+2", "4:EF--@6+2"},
         {"R2@0", "R1@2"},
         true},
        // Step 4, window [2, 7): pixel 1 (the source's 4); the one after it
        // would be the source's 8, past the window.
        {"L = 4, step 4: a window mid-page, rows held", 1440, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.reduce_step = 4; },
         {{0, 8, {2, 0, 7, 8}}, {8, 8, {2, 0, 7, 8}}},
         {"0:AEIM@1+1"},
         {"R2@0"},
         true},
        // An odd page of 7: window [3, 7) at step 2 gives pixels 2 and 3
        // (the source's 4 and 6); rows held over three bands.
        {"L = 4, step 2: a window at the right edge of an odd page, held over three bands", 1440, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.reduce_step = 2; },
         {{0, 2, {3, 0, 7, 2}}, {2, 2, {3, 0, 7, 2}}, {4, 2, {3, 0, 7, 2}}, {6, 2, {3, 0, 7, 2}}},
         {"0:ACEG@2+2"},
         {"R2@0"},
         true,
         7},
        // An odd window at 0: [0, 5) at step 2 gives pixels 0 and 1 (the
        // source's 4 would be a third). The second band's rows D, F, H: H
        // waits for the page's end.
        {"L = 4, step 2: an odd window at the page's left edge", 1440, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.reduce_step = 2; },
         {{0, 3, {0, 0, 5, 3}}, {3, 5, {0, 0, 5, 5}}},
         {"0:ACDF@0+2", "4:H---@0+2"},
         {"R2@0", "R1@2"},
         true},
        {"L = 2, step 2: a window mid-page", 720, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.reduce_step = 2; },
         {{0, 4, {3, 0, 8, 4}}},
         {"0:AC@2+2"},
         {"R2@0"},
         true},
        {"L = 2, step 4: a window at the right edge of an odd page", 720, 720,
         [](ovcg::tagHTINITSTRUCT& i) { i.reduce_step = 4; },
         {{0, 5, {1, 0, 9, 5}}},
         {"0:AE@1+2"},
         {"R2@0"},
         true,
         9},
    };
    for (const HandCase& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned W = c.width;
        SetupPage(W, c.srcY, c.prtY);
        if (c.tweak) c.tweak(init);
        engine.ClearCalls();
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        char letter = 'A';
        std::vector<TestBand> bitmaps(c.bands.size());
        for (size_t b = 0; b < c.bands.size(); ++b) {
            const HandBand& hb = c.bands[b];
            const unsigned width = W + 2 * hb.frame + hb.extra;
            TestBand& tb = bitmaps[b];
            tb.Make(hb.rows, width * 4);
            const tagRECT clip = hb.clip.right ? hb.clip : tagRECT{0, 0, width, hb.rows};
            for (unsigned y = 0; y < hb.rows; ++y, ++letter)
                for (unsigned px = 0; px < width; ++px) {
                    const bool frame = px < hb.frame || (px >= W + hb.frame && px < W + hb.frame + hb.frame);
                    const char v = frame                                    ? 'z'
                                   : px >= W + 2 * hb.frame                 ? 'x'
                                   : px < clip.left || px >= clip.right     ? 'y'
                                                                            : letter;
                    tb.Put(source, px, y, static_cast<uint8_t>(v));
                }
            const tagRECT band{0, hb.top, width, hb.top + hb.rows};
            tagOSDEP3 d{};
            d.ImageFrameSize = hb.frame;
            ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, hb.frame ? &d : nullptr), 0) << b;
        }
        ASSERT_EQ(x->EndPage(), 0);
        std::vector<std::string> calls, runs;
        for (const HxrCallRecord& r : engine.CallsOf(HxrCall::kHalftone)) {
            std::string s = std::to_string(r.first_row) + ":";
            for (int j = 0; j < r.lines; ++j) s += Letter(r.planes.at(static_cast<size_t>(j) * 3));
            if (c.spans)
                s.append(1, '@').append(std::to_string(r.x_offset)).append(1, '+').append(std::to_string(r.pixels));
            calls.push_back(s);
        }
        for (const auto& r : out->runs()) {
            std::string s(1, r.empty ? 'E' : 'R');
            s.append(std::to_string(r.count)).append(1, '@').append(std::to_string(r.position));
            runs.push_back(s);
        }
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(runs, c.runs);
    }
}

// ---------------------------------------------------------------------------
// Construction and the engine's interface

TEST_F(IntentXTest, DocumentTypesAndAttributeUse) {
    const struct {
        int correction, attrType, attrFlags, clMode;
        int first, second;
        bool attr;
    } rows[] = {{10, 0, 0, 0, 0, 2, true},  {11, 0, 0, 0, 5, 2, true}, {4, 2, 2, 1, 4, 4, true},
                {4, 2, 2, 2, 4, -1, false}, {4, 2, 1, 1, 4, -1, false}, {7, 1, 2, 1, 7, -1, false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.correction);
        SetupPage(8, 720, 720);
        ht.color_correction = r.correction;
        init.attr_type = r.attrType;
        init.attr_flags = uint16_t(r.attrFlags);
        init.cl_mode = r.clMode;
        engine.ClearCalls();
        auto x = MakeX();
        EXPECT_EQ(x->DocTypes()[0], r.first);
        EXPECT_EQ(x->DocTypes()[1], r.second);
        EXPECT_EQ(x->AttributeUse(), r.attr);
        const auto created = engine.CallsOf(HxrCall::kCreateInstance).at(0);
        EXPECT_EQ(int(created.halftone.docType), CHalftone::GetDocType(r.first));
        EXPECT_EQ(created.option.secondDocType, r.second < 0 ? 0xFFFFFFFFu : unsigned(CHalftone::GetDocType(r.second)));
    }
}

TEST_F(IntentXTest, ConstructionFailuresLeaveNoInstance) {
    const struct {
        const char* name;
        std::function<void()> setUp;
        int code;
    } rows[] = {
        {"unsupported source format", [this] { init.src_format = 5; }, -204},
        {"three lines a call", [this] { init.band_lines = 3; }, -204},
        {"every instance creation fails",
         [this] { engine.FailTimes(HxrCall::kCreateInstance, 9, 201); }, -3001},
        {"a per-channel instance fails after the main one",
         [this] {
             ht.halftone_type = 6;
             engine.SetFailHook([](const HxrCallRecord& r) {
                 return r.kind == HxrCall::kCreateInstance && r.image.colorMode == 102 ? 5001u : 0u;
             });
         },
         -3002},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        SetupPage(8, 720, 720);
        engine.SetFailHook(nullptr);
        r.setUp();
        EXPECT_EQ(ThrowX(), r.code);
        EXPECT_EQ(engine.LiveInstances(), 0);
    }
    engine.SetFailHook(nullptr);
}

TEST_F(IntentXTest, TheFactoryBuildsTheBandDriver) {
    SetupPage(8, 720, 720);
    ovcg::EngineParts& parts = ovcg::BuiltInEngineParts();
    try {
        parts.CreateHalftoner(true, &init, 0, 0);
        ADD_FAILURE() << "a level-3 band driver needs the level-3 records and an encode buffer";
    } catch (const char* message) {
        EXPECT_STREQ(message, "Illegal Parameter Exception");
    }
    EXPECT_EQ(engine.LiveInstances(), 0);
    std::unique_ptr<ovcg::IHalftoner> h = parts.CreateHalftoner(false, &init, 0, 0);
    ASSERT_NE(h, nullptr);
    uint8_t order[32] = {};
    EXPECT_EQ(h->GetHalftoneColor(order), 0);
    EXPECT_EQ(order[1], 1);
    ASSERT_EQ(h->StartPage(), 0);
    TestBand tb;
    tb.Make(2, 32);
    for (unsigned px = 0; px < 8; ++px) tb.Put(source, px, 0, px == 2 ? 0 : 255), tb.Put(source, px, 1, 255);
    const tagRECT band{0, 0, 8, 2};
    tagRECT window{0, 0, 3, 2};
    EXPECT_EQ(h->GetFlipHBand(&tb.bmp, nullptr, &band, &window), 0);
    EXPECT_EQ(window.left, 5u);
    ASSERT_EQ(h->BandOut(&window, &tb.bmp, nullptr, &band, nullptr), 0);
    ASSERT_EQ(h->EndPage(), 0);
    uint64_t counts[6] = {7, 0, 0, 7, 0, 0};
    EXPECT_EQ(h->GetDotCount(counts, 2), 0);
    EXPECT_EQ((std::vector<uint64_t>(counts, counts + 6)), (std::vector<uint64_t>{7, 0, 0, 7, 0, 0}));  // rounded to thousands
    EXPECT_EQ(engine.CallsOf(HxrCall::kGetDotCount).size(), 1u);
    EXPECT_EQ(engine.CallsOf(HxrCall::kHalftone).at(0).x_offset, 5);
    EXPECT_EQ(h->ResetPageLength(100), 0);
    EXPECT_EQ(h->ResetPage(&init), 1);
    h.reset();
    EXPECT_EQ(engine.LiveInstances(), 0);
}

// ---------------------------------------------------------------------------
// Placement

TEST(BandPlacementTest, FrameClipAndPageEdges) {
    const struct {
        const char* name;
        tagRECT clip, band;
        uint64_t x, y;
        bool emptyPage;
        uint32_t left, right, first, end, height, dropped;
    } rows[] = {
        {"no frame: the clip within the band", {2, 1, 30, 9}, {0, 5, 20, 12}, 0, 0, false, 2, 20, 1, 7, 7, 0},
        {"empty-page mode takes the whole band", {2, 1, 3, 2}, {0, 5, 20, 12}, 0, 0, true, 0, 20, 0, 7, 7, 0},
        {"a right edge at the band's edge loses the frame on both sides", {0, 0, 20, 7}, {0, 5, 20, 12}, 3, 0,
         false, 0, 14, 0, 7, 7, 0},
        {"an inner right edge moves by the frame", {5, 0, 10, 7}, {0, 5, 20, 12}, 3, 0, false, 2, 7, 0, 7, 7, 0},
        {"a frame wider than half the band leaves no pixel", {0, 0, 20, 7}, {0, 5, 20, 12}, 11, 0, false, 0, 0, 0,
         7, 7, 0},
        {"a right edge left of the frame leaves no pixel", {0, 0, 2, 7}, {0, 5, 20, 12}, 3, 0, false, 0, 0, 0, 7,
         7, 0},
        {"the band at row 0 drops the frame's rows", {0, 2, 20, 9}, {0, 0, 20, 9}, 1, 4, false, 0, 18, 0, 5, 5, 4},
        {"a frame taller than the band leaves no row", {0, 0, 20, 3}, {0, 0, 20, 3}, 1, 5, false, 0, 18, 0, 0, 0,
         3},
        {"a band reaching below the page is cut", {0, 0, 20, 10}, {0, 55, 20, 65}, 1, 2, false, 0, 18, 0, 7, 7, 0},
        {"a band starting in the frame above the page", {0, 0, 20, 10}, {0, 1, 20, 11}, 1, 5, false, 0, 18, 0, 10,
         10, 0},
        {"the window ends at the page width", {0, 0, 90, 4}, {0, 5, 90, 9}, 0, 0, false, 0, 64, 0, 4, 4, 0},
    };
    for (const auto& r : rows) {
        const ovcg::BandPlacement p =
            ovcg::SetRectPos(r.clip, r.band, ovcg::FrameOffsets{r.x, r.y}, r.emptyPage, 64, 60);
        EXPECT_EQ((std::vector<uint32_t>{p.left, p.right, p.first, p.end, p.height, p.dropped}),
                  (std::vector<uint32_t>{r.left, r.right, r.first, r.end, r.height, r.dropped}))
            << r.name;
    }
    tagOSDEP3 d{};
    d.ImageFrameSize = 4;
    d.dwFrameOffsetX = 0xFFFFFFFFu;
    d.dwFrameOffsetY = 2;
    EXPECT_EQ(ovcg::GetFrameOffsets(&d).x, 4u);
    d.wCMD = OVCG_OSDEP3_CMD_FRAME_OFFSETS;
    EXPECT_EQ(ovcg::GetFrameOffsets(&d).x, uint64_t{4} + 0xFFFFFFFFu);
    EXPECT_EQ(ovcg::GetFrameOffsets(&d).y, 6u);
    EXPECT_EQ(ovcg::GetFrameOffsets(nullptr).y, 0u);
}

// ---------------------------------------------------------------------------
// Refusals: nothing is passed, no engine call, the page's counters stay.

TEST_F(IntentXTest, RefusedBandsLeaveThePageAsItWas) {
    const SourceKind rgbx{7, 7, 1, false};
    const SourceKind bgr16{2, 1, 1, true};
    struct Case {
        const char* name;
        SourceKind s;
        std::function<void(tagRECT& clip, tagBANDBMP& in, tagBANDBMP*& at, tagRECT& band, tagOSDEP3*& d)> breakIt;
    };
    tagOSDEP3 frame{};
    frame.wCMD = OVCG_OSDEP3_CMD_FRAME_OFFSETS;
    frame.ImageFrameSize = 2;
    frame.dwFrameOffsetY = 60;
    const Case cases[] = {
        {"no pixels", rgbx, [](auto&, auto& in, auto&, auto&, auto&) { in.Bits = nullptr; }},
        {"no rows", rgbx, [](auto&, auto&, auto&, auto& band, auto&) { band.bottom = band.top; }},
        {"no columns", rgbx, [](auto&, auto&, auto&, auto& band, auto&) { band.right = 0; }},
        {"starts below the page and its frame", rgbx,
         [&](auto&, auto&, auto&, auto& band, auto& d) {
             band.top = 123, band.bottom = 125;
             d = &frame;
         }},
        {"a line one byte short", rgbx, [](auto&, auto& in, auto&, auto&, auto&) { in.WidthBytes = 8 * 4 - 1; }},
        {"a 16-bit line one byte short", bgr16,
         [](auto&, auto& in, auto&, auto&, auto&) { in.WidthBytes = 8 * 6 - 1; }},
        {"the frame's pixels count", rgbx,
         [&](auto& clip, auto& in, auto&, auto& band, auto& d) {
             d = &frame;  // frame 2 on the left, the window 8 - 4 wide
             band.right = clip.right = 8;
             in.WidthBytes = (2 + 4) * 4 - 1;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetupPage(8, 720, 720);
        UseSource(c.s);
        engine.ClearCalls();
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        TestBand tb;
        tb.Make(2, 8 * PixelBytesOf(c.s));
        tagRECT clip{0, 0, 8, 2}, band{0, 3, 8, 5};
        tagBANDBMP in = tb.bmp;
        tagBANDBMP* at = nullptr;
        tagOSDEP3* d = nullptr;
        c.breakIt(clip, in, at, band, d);
        EXPECT_EQ(x->BandOut(&clip, &in, at, &band, d), -203);
        EXPECT_EQ(x->RowsPassed(), 0u);
        EXPECT_EQ(x->PreviousBandEnd(), 0u);
        EXPECT_TRUE(engine.CallsOf(HxrCall::kHalftone).empty());
        EXPECT_TRUE(out->runs().empty());
    }
    SetupPage(8, 720, 720);
    auto x = MakeX();
    TestBand tb;
    tb.Make(2, 32);
    const tagRECT r{0, 0, 8, 2};
    EXPECT_EQ(x->BandOut(nullptr, &tb.bmp, nullptr, &r, nullptr), -203);
    EXPECT_EQ(x->BandOut(&r, nullptr, nullptr, &r, nullptr), -203);
    EXPECT_EQ(x->BandOut(&r, &tb.bmp, nullptr, nullptr, nullptr), -203);
}

TEST_F(IntentXTest, AttributePlane) {
    // RGB with the attribute plane in use: its own band of a byte a pixel,
    // starting at the frame's pixel, must come with the band and cover the
    // frame and the window (1 + 8 bytes).
    SetupPage(8, 720, 720);
    UseSource({2, 1, 1, false});
    init.attr_type = 2;
    init.attr_flags = 0x2;
    init.cl_mode = 1;
    auto x = MakeX();
    EXPECT_TRUE(x->AttributeUse());
    ASSERT_EQ(x->StartPage(), 0);
    tagOSDEP3 d{};
    d.wCMD = OVCG_OSDEP3_CMD_FRAME_OFFSETS;
    d.dwFrameOffsetX = 1;  // a horizontal frame only
    TestBand tb;
    tb.Make(1, 10 * 3);
    for (unsigned px = 0; px < 10; ++px) tb.Put(source, px, 0, 'A');
    GuardedBytes attr(9);
    tagBANDBMP at{8, attr.data()};
    const tagRECT band{0, 0, 10, 1}, clip{0, 0, 10, 1};
    EXPECT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, &d), -203);
    EXPECT_EQ(x->BandOut(&clip, &tb.bmp, &at, &band, &d), -203);
    at.WidthBytes = 9;
    ASSERT_EQ(x->BandOut(&clip, &tb.bmp, &at, &band, &d), 0);
    const auto call = engine.CallsOf(HxrCall::kHalftone).at(0);
    ASSERT_EQ(call.attribute_pointers.size(), 1u);
    EXPECT_EQ(call.attribute_pointers[0], attr.data() + 1);
    EXPECT_EQ(call.pixels, 8);
}

TEST_F(IntentXTest, ExactLinesOnAGuardPage) {
    // Each format's band ends exactly where its line ends; the converters
    // and the engine read up to the window's right edge and no further.
    // A gray source in composite black stays one sample a pixel until the
    // gray expansion lays it out as the colour type.
    const struct {
        SourceKind s;
        bool composite = false;
    } kinds[] = {{{0, 0, 1, false}}, {{1, 1, 1, true}}, {{2, 1, 1, false}}, {{2, 2, 1, true}},
                 {{3, 3, 1, false}}, {{4, 4, 1, true}}, {{7, 7, 1, true}},  {{7, 0, 0, false}},
                 {{8, 7, 1, false}}, {{8, 3, 1, true}}, {{101, 0, 1, false}}, {{104, 0, 1, true}},
                 {{10, 0, 1, false}}, {{0, 7, 1, false}, true}, {{0, 7, 1, true}, true}, {{0, 1, 1, true}, true}};
    for (const auto& [s, composite] : kinds) {
        SCOPED_TRACE(std::to_string(s.format) + (s.sixteen ? " 16-bit" : "") + (composite ? " composite" : ""));
        SetupPage(9, 720, 720);
        UseSource(s);
        init.composite_black = composite ? 1 : 0;
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        const unsigned stride = 9 * PixelBytesOf(s);
        GuardedBytes bits(size_t{stride} * 3);
        TestBand tb;
        tb.bits.assign(bits.size(), 0);
        tb.bmp = {stride, tb.bits.data()};
        for (unsigned y = 0; y < 3; ++y)
            for (unsigned px = 0; px < 9; ++px) tb.Put(s, px, y, static_cast<uint8_t>(px == y ? 7 : WhiteOf(s)));
        bits.assign(tb.bits.data(), bits.size());
        tagBANDBMP bmp{stride, bits.data()};
        const tagRECT band{0, 0, 9, 3}, clip{0, 0, 9, 3};
        EXPECT_EQ(x->BandOut(&clip, &bmp, nullptr, &band, nullptr), 0);
        EXPECT_EQ(x->EndPage(), 0);
        EXPECT_EQ(out->rasters_sent(), 3u);
    }
}

// ---------------------------------------------------------------------------
// Empty-page mode: the white line stays white from call to call.

TEST_F(IntentXTest, WhiteLinesStayWhite) {
    const SourceKind kinds[] = {{7, 3, 1, false}, {8, 3, 1, true}, {2, 1, 1, true}, {7, 0, 0, true},
                                {0, 0, 1, true},  {3, 3, 1, false}};
    for (const SourceKind& s : kinds) {
        SCOPED_TRACE(std::to_string(s.format) + "/" + std::to_string(s.colourType));
        SetupPage(6, 720, 720);
        UseSource(s);
        init.empty_page = 1;
        init.page_length = 9;
        engine.ClearCalls();
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        for (int page = 0; page < 3; ++page) {
            ASSERT_EQ(x->EmptyPageEndOut(1), 0);
            ASSERT_EQ(x->EmptyPageEndFlush(0), 0);
        }
        const auto calls = engine.CallsOf(HxrCall::kHalftone);
        ASSERT_EQ(calls.size(), 15u);  // 9 rows a page: four calls of two, one of one
        for (const auto& c : calls) {
            EXPECT_EQ(c.any_dot, 0);
            for (const auto& plane : c.planes) EXPECT_EQ(plane, Bytes(6, 255));
        }
    }
    // A format without a white pattern cannot run in empty-page mode.
    SetupPage(6, 720, 720);
    UseSource({4, 4, 1, false});
    init.empty_page = 1;
    EXPECT_EQ(ThrowX(), -204);
    EXPECT_EQ(engine.LiveInstances(), 0);
}

TEST_F(IntentXTest, PageEndRows) {
    // wholePage, band seen, empty-page mode -> the rows and where they go.
    SetupPage(8, 720, 1440);
    init.page_length = 20;
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty);
        init.empty_page = empty;
        out = std::make_unique<RecordingOutModule>(2u, buffer->LineBytes());
        init.out_module = static_cast<COutModule*>(out.get());
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        EXPECT_EQ(x->EmptyPageEndOut(0), 0);  // no band, not the whole page: nothing
        EXPECT_EQ(x->EmptyPageEndOut(1), 0);  // no band: the page length
        EXPECT_EQ(x->PageEndRows(), empty ? 20u : 0u);
        EXPECT_EQ(x->RowsPassed(), empty ? 0u : 40u);
        TestBand tb;
        tb.Make(2, 32);
        tagOSDEP3 d{};
        d.wCMD = OVCG_OSDEP3_CMD_FRAME_OFFSETS;
        d.dwFrameOffsetY = 3;
        const tagRECT band{0, 5, 8, 7}, clip{0, 0, 8, 2};
        ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, &d), 0);
        EXPECT_EQ(x->EmptyPageEndOut(0), 0);  // 20 + 3 - 7 after the band
        EXPECT_EQ(x->PreviousBandEnd(), 0u);
        EXPECT_EQ(x->PageEndRows(), empty ? 36u : 0u);
        EXPECT_EQ(x->PageEndRowsAfterLastBand(), empty ? 16u : 0u);
        const uint32_t before = x->RowsPassed();
        EXPECT_EQ(x->EmptyPageEndFlush(1), 0);
        EXPECT_EQ(x->RowsPassed() - before, empty ? 32u : 0u);
        EXPECT_EQ(x->PageEndRows(), 0u);
    }
}

// ---------------------------------------------------------------------------
// Mirroring: only the band's pixels, the window with them.

TEST_F(IntentXTest, MirroredBands) {
    const SourceKind kinds[] = {{7, 7, 1, false}, {2, 1, 1, true}, {0, 0, 1, false}};
    for (const SourceKind& s : kinds) {
        SetupPage(8, 720, 720);
        UseSource(s);
        auto x = MakeX();
        const unsigned pb = PixelBytesOf(s);
        GuardedBytes bits(size_t{5} * pb * 2);
        for (size_t i = 0; i < bits.size(); ++i) bits.data()[i] = static_cast<uint8_t>(i);
        const Bytes before(bits.begin(), bits.end());
        tagBANDBMP bmp{5 * pb, bits.data()};
        const tagRECT rect{3, 10, 8, 12};
        tagRECT window{1, 0, 4, 2};
        EXPECT_EQ(x->GetFlipHBand(&bmp, nullptr, &rect, &window), 4);
        EXPECT_EQ(window.left, 1u);
        EXPECT_EQ(window.right, 4u);
        for (unsigned y = 0; y < 2; ++y)
            for (unsigned px = 0; px < 5; ++px)
                EXPECT_TRUE(std::equal(bits.data() + (y * 5 + px) * pb, bits.data() + (y * 5 + px + 1) * pb,
                                       before.data() + (y * 5 + 4 - px) * pb));
        bmp.WidthBytes = 5 * pb - 1;
        EXPECT_EQ(x->GetFlipHBand(&bmp, nullptr, &rect, &window), -203);
    }
    // The attribute band of a 3-byte format turns with it; a window beyond
    // the band is taken as the band's edge.
    SetupPage(8, 720, 720);
    UseSource({1, 1, 1, false});
    auto x = MakeX();
    Bytes px = {1, 1, 1, 2, 2, 2, 3, 3, 3}, attr = {7, 8, 9};
    tagBANDBMP in{9, px.data()}, at{3, attr.data()};
    const tagRECT rect{0, 0, 3, 1};
    tagRECT window{2, 0, 50, 1};
    EXPECT_EQ(x->GetFlipHBand(&in, &at, &rect, &window), 1);
    EXPECT_EQ(px, (Bytes{3, 3, 3, 2, 2, 2, 1, 1, 1}));
    EXPECT_EQ(attr, (Bytes{9, 8, 7}));
    EXPECT_EQ(window.left, 0u);
    EXPECT_EQ(window.right, 1u);
    at.WidthBytes = 2;
    EXPECT_EQ(x->GetFlipHBand(&in, &at, &rect, &window), -203);
    EXPECT_EQ(x->GetFlipHBand(nullptr, nullptr, &rect, nullptr), -203);
}

// ---------------------------------------------------------------------------
// White tests and the parallel path's upper skip

TEST(BlankRasterTest, WhitePerFormatAndSampleSize) {
    const struct {
        int format;
        unsigned bytes;       // of an 8-bit pixel
        uint8_t white;        // the colour samples' white byte
        int ignored;          // a byte that is not colour (-1: none)
    } rows[] = {{0, 1, 255, -1}, {1, 3, 255, -1}, {2, 3, 255, -1}, {3, 4, 255, 0}, {7, 4, 255, 3},
                {8, 4, 255, 3},  {4, 4, 0, -1},   {101, 1, 0, -1}, {104, 4, 0, -1}, {10, 10, 0, -1}};
    for (const auto& r : rows)
        for (bool sixteen : {false, true}) {
            SCOPED_TRACE(std::to_string(r.format) + (sixteen ? " 16-bit" : ""));
            const size_t sample = sixteen ? 2 : 1, pixel = r.bytes * sample, pixels = 5;
            GuardedBytes line(pixels * pixel);
            for (size_t p = 0; p < pixels; ++p)
                for (size_t b = 0; b < pixel; ++b)
                    line.data()[p * pixel + b] = static_cast<int>(b / sample) == r.ignored ? 0x33 : r.white;
            EXPECT_TRUE(CIntentX::IsBlankRaster(r.format, sixteen, line.data(), pixels));
            for (size_t b = 0; b < line.size(); ++b) {
                if (static_cast<int>(b % pixel / sample) == r.ignored) continue;
                line.data()[b] ^= 1;
                EXPECT_FALSE(CIntentX::IsBlankRaster(r.format, sixteen, line.data(), pixels)) << b;
                line.data()[b] ^= 1;
            }
        }
    GuardedBytes rgbx(8), cmyk(8);
    std::memset(rgbx.data(), 255, 8);
    rgbx.data()[7] = 0;
    EXPECT_TRUE(CIntentX::IsBlankRGBXRaster(rgbx.data(), 2));
    EXPECT_TRUE(CIntentX::IsBlankCMYKRaster(cmyk.data(), 2));
    EXPECT_FALSE(CIntentX::IsBlankRaster(5, false, cmyk.data(), 1));
}

// Places each band, then decides the skip as the parallel path does.
class SkipProbe : public CIntentX {
public:
    using CIntentX::CIntentX;
    int ExecBandOut() override { return SkipUpperMT(&band); }
    tagRECT band{};
};

TEST_F(IntentXTest, UpperSkipFromTheSourceRows) {
    // Rows 0..3 white, row 4 not: i = 4. Without the deferred skip
    // s = (4 + band top 4 - frame 1) x R 2 = 14, with it (4 - first clip row
    // 1) x 2 = 6. A band without ink ends nothing.
    const struct {
        bool defer, ink;
        SourceKind s;
        unsigned skip;
    } rows[] = {{false, true, {7, 7, 1, false}, 14}, {true, true, {7, 7, 1, false}, 6},
                {false, true, {2, 1, 1, true}, 14},  {false, true, {4, 4, 1, false}, 14},
                {true, true, {0, 0, 1, true}, 6},    {false, true, {104, 0, 1, true}, 14},
                {false, false, {7, 7, 1, true}, 6},  {false, false, {3, 3, 1, false}, 6}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.s.format) + (r.defer ? " deferred" : "") + (r.ink ? "" : " white"));
        SetupPage(6, 720, 1440);
        UseSource(r.s);
        init.upper_skip = 1;
        init.defer_skip = r.defer;
        out->minimum_length = 10;
        auto x = std::make_unique<SkipProbe>(&init);
        ASSERT_EQ(x->StartPage(), 0);
        const unsigned pb = PixelBytesOf(r.s);
        TestBand tb;
        tb.Make(5, 6 * pb);
        for (unsigned y = 0; y < 5; ++y)
            for (unsigned px = 0; px < 6; ++px)
                tb.Put(r.s, px, y, r.ink && y == 4 && px == 5 ? 9 : WhiteOf(r.s));
        // The lines end at a guard page: the tests read each line exactly.
        GuardedBytes bits(size_t{6} * pb * 5);
        bits.assign(tb.bits.data(), bits.size());
        tagBANDBMP bmp{6 * pb, bits.data()};
        tagOSDEP3 d{};
        d.wCMD = OVCG_OSDEP3_CMD_FRAME_OFFSETS;
        d.dwFrameOffsetY = 1;
        x->band = tagRECT{0, 4, 6, 9};
        const tagRECT clip{0, 1, 6, 5};
        ASSERT_EQ(x->BandOut(&clip, &bmp, nullptr, &x->band, &d), 0);
        // The gap of 3 rows before the band is skipped either way (R = 2).
        EXPECT_EQ(x->SkipRows(), r.skip);
        EXPECT_EQ(x->SkipDone(), r.ink);
        EXPECT_EQ(out->skip_lengths(), r.ink ? std::vector<int>{int(r.skip)} : std::vector<int>{});
        EXPECT_TRUE(engine.CallsOf(HxrCall::kHalftone).empty());
    }
}

}  // namespace
}  // namespace ovcg_test
