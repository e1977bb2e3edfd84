// The halftone base over a page: the upper skip against a literal model,
// a whole page handed to the output module, the SLUT package, dot counts and
// the page calls.
#include <cstdio>
#include <random>

#include "commands/mw_cmd.h"
#include "commands/traq3_records.h"
#include "engine/debug_export.h"
#include "engine/isv_tool.h"
#include "engine/spooler.h"
#include "halftone_fixture.h"

namespace ovcg_test {
namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// The upper skip, literally: n rows passed, s skipped, m the minimum length,
// L the page length (vertical ratio 1, so no conversion of counts).

struct ExpectedRun {
    bool empty;
    unsigned count, position, startRow;
    bool operator==(const ExpectedRun&) const = default;
};

struct SkipModel {
    uint64_t n = 0, s = 0, m = 0, L = 0;
    bool done = false;
    uint32_t first = 0xFFFFFFFFu, end = 0;
    std::vector<ExpectedRun> runs;
    std::vector<int> skips;
    int splits = 0;  // calls whose rows follow skipped rows that became due

    void EndSkip() {
        if (done) return;
        done = true;
        if (s > 0) skips.push_back(static_cast<int>(s));
    }
    uint64_t Calc(uint64_t rows) {
        if (done) return rows;
        if (m + s + rows <= L) return rows;
        const uint64_t old = s;
        s = m <= L ? L - m : 0;
        n = s;
        EndSkip();
        return old + rows - s;
    }
    void Pass(uint64_t rows, bool empty) {
        const uint64_t oldN = n;
        uint64_t r = Calc(rows);
        if (!done) {
            s += r;
            n += r;
        } else {
            const uint64_t e = n + r;
            bool send = true;
            if (n < s) {
                if (s >= e) {
                    n = e;
                    send = false;
                } else {
                    n = s;
                    r = e - s;
                }
            }
            if (send && s < e) {
                if (empty) {
                    runs.push_back({true, unsigned(r), unsigned(n - s), 0});
                } else {
                    const uint64_t blank = r > rows ? r - rows : 0;
                    if (blank) {
                        runs.push_back({true, unsigned(blank), unsigned(n - s), 0});
                        ++splits;
                    }
                    const uint64_t sent = r - blank;
                    runs.push_back({false, unsigned(sent), unsigned(n + blank - s), unsigned(rows - sent)});
                }
                n += r;
            }
        }
        if (!empty) {
            if (first > n) first = static_cast<uint32_t>(oldN);
            if (n > end) end = static_cast<uint32_t>(n);
        }
    }
};

std::vector<ExpectedRun> Observed(const RecordingOutModule& out, const uint8_t* buffer, unsigned rowBytes) {
    std::vector<ExpectedRun> got;
    for (const auto& r : out.runs()) {
        unsigned start = 0;
        if (!r.empty) start = static_cast<unsigned>((r.pointers.at(0) - buffer) / rowBytes);
        got.push_back({r.empty, r.count, r.position, start});
    }
    return got;
}

TEST_F(HalftoneTest, UpperSkipAgainstTheLiteralModel) {
    std::mt19937 rng(2024);
    const unsigned width = 16;
    int droppedFirstRows = 0, blankBeforeRaster = 0, skipsEnded = 0;
    for (int trial = 0; trial < 1000; ++trial) {
        Build(HtGeometry{2, 1, width});
        init.upper_skip = rng() % 4 != 0;
        init.defer_skip = rng() % 2;
        init.page_length = 5 + static_cast<int>(rng() % 60);
        init.layout_offset.y = static_cast<int>(rng() % 6) - 1;
        out->minimum_length = rng() % 5 == 0 ? 0x7FFFFFFF : static_cast<int>(rng() % 70);
        auto h = Make();
        const int docs[2] = {-1, -1};
        ASSERT_EQ(h->GetHXRHandle(handles, 0, docs, nullptr), 0);
        SkipModel model;
        model.L = static_cast<uint64_t>(init.page_length);
        model.m = static_cast<uint64_t>(out->minimum_length);
        model.done = !init.upper_skip;
        ASSERT_EQ(h->StartPage(handles, 0), 0);
        if (init.layout_offset.y > 0) model.Pass(static_cast<uint64_t>(init.layout_offset.y), true);
        h->SetHTPosition(0, width);

        for (int op = 0; op < 30; ++op) {
            const unsigned kind = rng() % 10;
            if (kind < 6) {  // a halftoned group of one or two rows, with or without dots
                const unsigned rows = 1 + rng() % 2;
                const bool dots = rng() % 4 == 0;
                Bytes a = RgbxLine(width, dots ? std::vector<unsigned>{3} : std::vector<unsigned>{});
                Bytes b = RgbxLine(width);
                unsigned char* lines[2] = {a.data(), b.data()};
                ASSERT_EQ(h->CallHXRHalftone(handles[0], rows, lines, nullptr, width), 0);
                if (dots) model.EndSkip();
                ASSERT_EQ(h->RasterOut(handles[0], rows), 0);
                model.Pass(rows, false);
            } else if (kind < 8) {
                const unsigned rows = rng() % 7;
                ASSERT_EQ(h->EmptyRasterOut(handles[0], rows), 0);
                if (rows) model.Pass(rows, true);
            } else if (kind == 8 && !h->SkipDone()) {  // the parallel path's skip decision
                const uint32_t v = rng() % 50;
                h->SetSkipRows(v);
                model.s = v;
                ASSERT_EQ(h->CalcSkipVPosMT(handles[0]), 0);
                if (model.s + model.m > model.L) model.s = model.m <= model.L ? model.L - model.m : 0;
                model.EndSkip();
            } else if (kind == 9) {  // a continuous roll's next page length
                const unsigned length = 5 + rng() % 40;
                EXPECT_EQ(h->ResetPageLength(length), 1);
                model.L = model.m = length;
            }
            ASSERT_EQ(Observed(*out, buffer->Buffer(), buffer->LineBytes()), model.runs) << "trial " << trial;
        }
        EXPECT_EQ(h->RowsPassed(), model.n) << trial;
        EXPECT_EQ(h->SkipRows(), model.s) << trial;
        EXPECT_EQ(h->SkipDone(), model.done) << trial;
        EXPECT_EQ(h->FirstOutputRow(), model.first) << trial;
        EXPECT_EQ(h->EndOutputRow(), model.end) << trial;
        EXPECT_EQ(out->skip_lengths(), model.skips) << trial;
        EXPECT_EQ(h->DeferredSkipRows(), init.defer_skip && !model.skips.empty() ? uint32_t(model.skips[0]) : 0u);
        for (int c : out->switching_capacities()) EXPECT_EQ(c, 6);
        for (size_t i = 0; i < model.runs.size(); ++i) {
            if (!model.runs[i].empty && model.runs[i].startRow > 0) ++droppedFirstRows;
        }
        blankBeforeRaster += model.splits;
        skipsEnded += static_cast<int>(model.skips.size());
        h->DeleteHXRHandle(handles[0]);
        handles[0] = nullptr;
    }
    // The sequences reach the rare paths.
    EXPECT_GT(droppedFirstRows, 10);
    EXPECT_GT(blankBeforeRaster, 10);
    EXPECT_GT(skipsEnded, 100);
}

TEST_F(HalftoneTest, SkipSumsDoNotWrap) {
    // L = 2 x 0x7FFFFFFF, m = 0x7FFFFFFF: 0x80000001 rows reach past L - m,
    // although their 32-bit sum with m wraps to 0.
    Build(HtGeometry{2, 1, 16, {720, 720}, {720, 1440}});
    init.upper_skip = 1;
    init.page_length = 0x7FFFFFFF;
    out->minimum_length = 0x7FFFFFFF;
    auto h = Start();
    ASSERT_EQ(h->EmptyRasterOut(handles[0], 0x80000001u), 0);
    EXPECT_TRUE(h->SkipDone());
    EXPECT_EQ(h->SkipRows(), 0x7FFFFFFFu);
}

TEST_F(HalftoneTest, NegativeLayoutOffsetHasNoWhiteRows) {
    init.layout_offset.y = -5;
    auto h = Start();
    EXPECT_TRUE(out->runs().empty());
    EXPECT_EQ(h->RowsPassed(), 0u);
    init.layout_offset.y = 3;
    h = Make();
    EXPECT_EQ(h->StartPage(handles, 0), 0);
    ASSERT_EQ(out->runs().size(), 1u);
    EXPECT_TRUE(out->runs()[0].empty);
    EXPECT_EQ(out->runs()[0].count, 3u);
}

// ---------------------------------------------------------------------------
// A whole page

TEST_F(HalftoneTest, HalftonesAPageAndHandsItOn) {
    // Equal resolutions (two source lines, two band rows per call) and a
    // vertical reduction (four source lines make two printed rows).
    const struct {
        HtGeometry g;
        unsigned lines;
    } rows[] = {{HtGeometry{3, 1, 21}, 2}, {HtGeometry{3, 1, 21, {720, 720}, {720, 360}}, 4}};
    for (const auto& r : rows) {
        Build(r.g);
        init.band_lines = r.lines;
        engine.config.lines_per_row = r.lines / 2;
        const unsigned height = 12, width = r.g.width;
        std::vector<std::vector<unsigned>> ink(height);
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x)
                if ((x * 7 + y * 3) % 5 == 0) ink[y].push_back(x);
        auto h = Start();
        for (unsigned y = 0; y < height; y += r.lines) {
            h->InitOutBuffer();
            h->SetHTPosition(0, width);
            std::vector<Bytes> lines;
            unsigned char* ptrs[4];
            for (unsigned j = 0; j < r.lines; ++j) {
                lines.push_back(RgbxLine(width, ink[y + j]));
                h->Converter()->Convert(lines.back().data(), width, nullptr);
                ptrs[j] = lines.back().data();
            }
            ASSERT_EQ(h->CallHXRHalftone(handles[0], r.lines, ptrs, nullptr, width), 0);
            ASSERT_EQ(h->RasterOut(handles[0], r.lines), 0);
        }
        ASSERT_EQ(h->EndPage(handles, 0), 0);
        // Each printed row: a dot wherever one of its source rows has ink.
        const unsigned per = r.lines / 2, printed = height / per, bytes = buffer->LineBytes();
        ASSERT_EQ(out->page().size(), printed);
        for (unsigned p = 0; p < printed; ++p) {
            Bytes row(bytes);
            for (unsigned j = 0; j < per; ++j)
                for (unsigned x : ink[p * per + j]) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            Bytes want;
            for (int k = 0; k < r.g.planes; ++k) want.insert(want.end(), row.begin(), row.end());
            EXPECT_EQ(out->page().at(p), want) << "row " << p << " lines " << r.lines;
        }
        for (const auto& run : out->runs()) EXPECT_EQ(run.width, buffer->LineBytes() * buffer->Lines());
        EXPECT_TRUE(h->PageHasOutput());
        for (void*& hd : handles)
            if (hd) h->DeleteHXRHandle(hd), hd = nullptr;
    }
}

TEST_F(HalftoneTest, RowCountsBeyondTheBandRowsAreRefused) {
    auto h = Start();
    Bytes a = RgbxLine(64);
    unsigned char* lines[3] = {a.data(), a.data(), a.data()};
    h->SetHTPosition(0, 64);
    EXPECT_EQ(h->CallHXRHalftone(handles[0], 3, lines, nullptr, 64), -203);
    EXPECT_EQ(h->RasterOut(handles[0], 3), -203);
    h->SetHTPosition(10, 5);
    EXPECT_EQ(h->CallHXRHalftone(handles[0], 1, lines, nullptr, 64), -203);
    EXPECT_EQ(h->CallHXRHalftone(handles[0], 1, nullptr, nullptr, 64), -203);
    EXPECT_TRUE(engine.CallsOf(HxrCall::kHalftone).empty());
}

// ---------------------------------------------------------------------------
// The end of the skip and the page calls

class RecordingCmd : public ovcg::CMWCmd {
public:
    using CMWCmd::CMWCmd;
    void SendVPosCmd(unsigned int feed) override { feeds.push_back(feed); }
    std::vector<unsigned> feeds;
};

int SendNowhere(void*, char*, unsigned int length) { return static_cast<int>(length); }

TEST_F(HalftoneTest, EndOfTheSkipTellsGeneratorHeadControlAndEngine) {
    CPlimoSpooler spooler(0, &SendNowhere, nullptr);
    tagPRTSTRUCT3_12 job{};
    ovcg::tagPRTINFOSTRUCT info{};
    RecordingCmd cmd(&job, &info, &spooler, nullptr, nullptr, nullptr, nullptr);
    init.mw_cmd = static_cast<ovcg::CMWCmd*>(&cmd);
    init.upper_skip = 1;
    out->minimum_length = 10;
    out->switching_positions = {10, 20, 30, 40, 50, 60, 70};
    for (uint32_t defer : {0u, 1u}) {
        init.defer_skip = defer;
        cmd.feeds.clear();
        engine.ClearCalls();
        auto h = Start();
        EXPECT_EQ(engine.CallsOf(HxrCall::kStartPage).at(0).switching, (std::vector<int>{5, 10, 20, 30, 40, 50}));
        h->SetHTPosition(0, 8);
        ASSERT_EQ(h->EmptyRasterOut(handles[0], 7), 0);
        Bytes a = RgbxLine(8, {2});
        unsigned char* lines[1] = {a.data()};
        ASSERT_EQ(h->CallHXRHalftone(handles[0], 1, lines, nullptr, 8), 0);
        EXPECT_EQ(cmd.feeds, defer ? std::vector<unsigned>{} : std::vector<unsigned>{7});
        EXPECT_EQ(h->DeferredSkipRows(), defer ? 7u : 0u);
        EXPECT_EQ(cmd.SkippedRows(), defer ? 7u : 0u);
        EXPECT_EQ(out->skip_lengths().back(), 7);
        EXPECT_EQ(engine.CallsOf(HxrCall::kResetSwitchingPos).at(0).switching,
                  (std::vector<int>{5, 10, 20, 30, 40, 50}));
        dll.HXR_DeleteInstance(handles[0]);
        handles[0] = nullptr;
    }
    // A failing skip length is reported by the call that ended the skip.
    out->skip_result = -2077;
    auto h = Start();
    h->SetHTPosition(0, 8);
    ASSERT_EQ(h->EmptyRasterOut(handles[0], 2), 0);
    Bytes a = RgbxLine(8, {2});
    unsigned char* lines[1] = {a.data()};
    EXPECT_EQ(h->CallHXRHalftone(handles[0], 1, lines, nullptr, 8), -2077);
    // The queries' failures stop the page start.
    out->switching_result = -2061;
    EXPECT_EQ(h->StartPage(handles, 0), -2061);
    out->switching_result = 0;
    out->minimum_result = -2062;
    EXPECT_EQ(h->StartPage(handles, 0), -2062);
}

int32_t g_resetLength = -1;
int32_t CoreStart(void** handle, const void*, const void*, uint32_t, const OVF_COMMON*) {
    *handle = reinterpret_cast<void*>(0x77);
    return 0;
}
int32_t CoreEnd(void*) { return 0; }
int32_t CoreCorrect(void*, const void*, void*) { return 0; }
int32_t CoreCorrectEx(void*, const void*, void*, uint32_t) { return 0; }
int32_t CorePage(void*) { return 0; }
int32_t CoreReset(void*, uint32_t length) {
    g_resetLength = static_cast<int32_t>(length);
    return 0;
}

TEST_F(HalftoneTest, CorrectionSessionGetsTheHookAndTheSkip) {
    const std::string path = ::testing::TempDir() + "ht_brs.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("correction", f);
    std::fclose(f);
    tagBRSINITSTRUCT brsInit{};
    brsInit.file = path.c_str();
    brsInit.page_length = 100;
    brsInit.values[0] = brsInit.values[1] = 1;
    CBRS brs(&brsInit, BrsCoreTable{&CoreStart, &CoreEnd, &CoreCorrect, &CoreCorrectEx, &CorePage, &CoreReset});
    ASSERT_EQ(brs.StartBRS(), 0);
    init.brs = &brs;
    init.upper_skip = 1;
    out->minimum_length = 0;
    auto h = Start();
    const auto hook = engine.CallsOf(HxrCall::kSetBRSFunc).at(0);
    EXPECT_EQ(hook.brs_function, reinterpret_cast<const void*>(&CoreCorrect));
    EXPECT_EQ(hook.brs_context, reinterpret_cast<const void*>(0x77));
    h->SetHTPosition(0, 8);
    ASSERT_EQ(h->EmptyRasterOut(handles[0], 9), 0);
    Bytes a = RgbxLine(8, {0});
    unsigned char* lines[1] = {a.data()};
    ASSERT_EQ(h->CallHXRHalftone(handles[0], 1, lines, nullptr, 8), 0);
    EXPECT_EQ(g_resetLength, 91);
    std::remove(path.c_str());
}

TEST_F(HalftoneTest, PageCalls) {
    ht.halftone_type = 6;
    auto h = Start(2);
    EXPECT_EQ(h->StartPage(nullptr, 0), -201);
    EXPECT_EQ(h->EndPage(nullptr, 0), -201);
    EXPECT_EQ(h->StartPage(handles, 13), -204);
    // One failing per-channel page end fails the page: 0 | 0 | 902.
    engine.SetFailHook([](const HxrCallRecord& c) { return c.kind == HxrCall::kEndPage && c.instance == 2 ? 902u : 0u; });
    EXPECT_EQ(h->EndPage(handles, 2), -3001);
    engine.SetFailHook(nullptr);
    EXPECT_EQ(h->EndPage(handles, 2), 0);
    // An engine code above 2^31 is a failure, never a negative pipeline code.
    engine.FailTimes(HxrCall::kStartPage, 1, 0x80000005u);
    EXPECT_EQ(h->StartPage(handles, 2), -3004);

    signed char order[32] = {};
    EXPECT_EQ(h->GetHalftoneColor(handles[0], order), 0);
    EXPECT_EQ(order[3], 3);
    EXPECT_EQ(h->GetHalftoneColor(nullptr, order), -201);
    engine.config.colours.clear();
    EXPECT_EQ(h->GetHalftoneColor(handles[0], order), -3005);

    std::vector<std::pair<int32_t, int32_t>> exports;
    static std::vector<std::pair<int32_t, int32_t>>* sink;
    sink = &exports;
    ovcg::SetDebugExportHook([](int32_t id, int32_t size, void* data) -> int32_t {
        sink->emplace_back(id, size + (data ? 1000 : 0));
        return 0;
    });
    EXPECT_EQ(h->ResetPage(nullptr), 1);
    ovcg::SetDebugExportHook(nullptr);
    EXPECT_EQ(exports, (std::vector<std::pair<int32_t, int32_t>>{{2103, 0}}));
    EXPECT_FALSE(h->PageHasOutput());
    EXPECT_EQ(h->ResetPageLength(33), 1);
    EXPECT_EQ(h->PageLength(), 33u);
    EXPECT_EQ(h->MinimumLength(), 33u);
}

TEST_F(HalftoneTest, DotCountsOfEveryEngineColourFitTheCallersTable) {
    // The engine writes 12 x 3 counts; the caller's tables hold 4 colours.
    Build(HtGeometry{12, 1, 600});
    auto h = Start();
    h->SetHTPosition(0, 600);
    std::vector<unsigned> all(600);
    for (unsigned x = 0; x < 600; ++x) all[x] = x;
    Bytes a = RgbxLine(600, all);
    unsigned char* lines[1] = {a.data()};
    ASSERT_EQ(h->CallHXRHalftone(handles[0], 1, lines, nullptr, 600), 0);
    std::vector<ovcg::tagSMLDATA> page(4, ovcg::tagSMLDATA{{1, 2, 0xFFFFFFFFu}}), job(4);
    ASSERT_EQ(h->GetDotCount(handles[0], page.data(), job.data(), 4 * 12, 12), 0);
    for (const auto& c : page) EXPECT_EQ(c.count[0], 2u);  // 1 + 600 dots / 1000, rounded
    EXPECT_EQ(job[3].count[0], 1u);
    ASSERT_EQ(h->GetDotCount(handles[0], page.data(), nullptr, 4 * 12, 1), 0);
    EXPECT_EQ(page[0].count[0], 3u);
    EXPECT_EQ(page[1].count[0], 2u);
    engine.FailTimes(HxrCall::kGetDotCount, 1, 1204);
    EXPECT_EQ(h->GetDotCount(handles[0], page.data(), nullptr, 4 * 12, 4), -3001);
}

TEST_F(HalftoneTest, RowBuffersForTheParallelPath) {
    auto h = Start();
    h->SetHTPosition(0, 64);
    const unsigned bytes = buffer->LineBytes();
    std::vector<Bytes> rows(2 * 4, Bytes(bytes));
    std::vector<unsigned char*> ptrs;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::fill(rows[i].begin(), rows[i].end(), static_cast<uint8_t>(i + 1));
        ptrs.push_back(rows[i].data());
    }
    ASSERT_EQ(h->SetBufferForRasterOut(ptrs.data(), 2, 4, static_cast<int>(bytes)), 0);
    for (unsigned b = 0; b < 2; ++b)
        for (unsigned k = 0; k < 4; ++k)
            EXPECT_EQ(h->OutputRowTable()[b * 4 + k][bytes - 1], b * 4 + k + 1);
    EXPECT_EQ(h->OutputRowTable()[1], buffer->Buffer() + buffer->LineBytes() * buffer->Lines());
    EXPECT_EQ(h->SetBufferForRasterOut(ptrs.data(), 3, 4, 1), -203);
    EXPECT_EQ(h->SetBufferForRasterOut(ptrs.data(), 2, 5, 1), -203);
    EXPECT_EQ(h->SetBufferForRasterOut(ptrs.data(), 2, 4, static_cast<int>(bytes) + 1), -203);
    EXPECT_EQ(h->SetBufferForRasterOut(nullptr, 1, 1, 1), -203);
    // The bit phase of the window's left edge: 13 dots of 1 bit.
    h->SetHTPosition(13, 64);
    EXPECT_EQ(h->BitPhase(), 5u);
}

TEST(ClearRasterBufTest, WhitePerColourType) {
    const struct {
        int type;
        int result;
        Bytes line;
    } rows[] = {{0, 1, {255, 255}},
                {1, 1, {255, 255, 255, 255, 255, 255}},
                {2, 1, {255, 255, 255, 255, 255, 255}},
                {3, 1, {0, 255, 255, 255, 0, 255, 255, 255}},
                {4, 0, {}},
                {5, 0, {}},
                {6, 0, {}},
                {7, 1, {255, 255, 255, 0, 255, 255, 255, 0}},
                {8, 1, {255, 255, 255, 0, 255, 255, 255, 0}},
                {9, 0, {}},
                {-1, 0, {}}};
    for (const auto& r : rows) {
        Bytes line(8, 0x11), attr(2, 0x22);
        EXPECT_EQ(ovcg::CHalftone::ClearRasterBuf(line.data(), attr.data(), 2, r.type), r.result) << r.type;
        Bytes want = r.line;
        want.resize(8, 0x11);
        if (r.result == 0) want = Bytes(8, 0x11);
        EXPECT_EQ(line, want) << r.type;
        EXPECT_EQ(attr, (r.type == 1 || r.type == 2) ? Bytes(2, 0) : Bytes(2, 0x22)) << r.type;
    }
    EXPECT_EQ(ovcg::CHalftone::ClearRasterBuf(nullptr, nullptr, 4, 0), 1);
}

// ---------------------------------------------------------------------------
// The SLUT package of a level-3 job

Bytes* g_sent = nullptr;
int Capture(void*, char* data, unsigned int length) {
    g_sent->insert(g_sent->end(), data, data + length);
    return static_cast<int>(length);
}

TEST_F(HalftoneTest, SlutPackageBytes) {
    const ovcg::CTRAQ3V1::Point p{720, 720};
    // The record: ESC 'm', length 000A, "slut", 'I' ':' id 0000, '+' ':' the
    // data length (BE), then the prefix blocks and the package.
    const Bytes head{0x1B, 0x6D, 0x00, 0x0A, 's', 'l', 'u', 't', 'I', ':', 0x00, 0x00, '+', ':'};
    const char rs[] = "RS";
    const char ims[] = "IMS";
    const struct {
        int version;
        const void* raster;
        int32_t rasterSize;
        const void* imsBlock;
        int32_t imsSize;
        Bytes want;
    } rows[] = {
        {1, nullptr, 0, nullptr, 0, {0, 0, 0, 3}},
        {1, rs, 2, ims, 3, {0, 0, 0, 8, 'R', 'S', 'I', 'M', 'S'}},
        {1, rs, 0, ims, 3, {0, 0, 0, 6, 'I', 'M', 'S'}},
        {1, nullptr, 2, rs, -4, {0, 0, 0, 3}},
        {2, rs, 2, ims, 3, {}},  // no slut record in version 2: only a flush
    };
    for (const auto& r : rows) {
        Build(HtGeometry{});
        CPlimoSpooler spooler(0, &Capture, nullptr);
        Bytes sent;
        g_sent = &sent;
        std::unique_ptr<ovcg::CTRAQ3V1> records;
        if (r.version == 1)
            records = std::make_unique<ovcg::CTRAQ3V1_1>(p, p, p, p, p);
        else
            records = std::make_unique<ovcg::CTRAQ3V1_2>(p, p, p, p, p);
        init.level3_records = records.get();
        init.spooler = &spooler;
        init.out_module = nullptr;
        init.raster_slut = r.raster;
        init.raster_slut_size = r.rasterSize;
        init.ims_slut = r.imsBlock;
        init.ims_slut_size = r.imsSize;
        engine.config.slut = {0xA1, 0xA2, 0xA3};
        engine.ClearCalls();
        auto h = Start();
        EXPECT_EQ(engine.CallsOf(HxrCall::kCreateInstance).at(0).flags, 3);
        Bytes want;
        if (r.version == 1) {
            want = head;
            want.insert(want.end(), r.want.begin(), r.want.end());
            want.insert(want.end(), {0xA1, 0xA2, 0xA3});
        }
        EXPECT_EQ(sent, want) << r.version << " " << r.rasterSize << " " << r.imsSize;
        EXPECT_EQ(spooler.Count(), 0u);  // flushed
        // No prefix block outlives the instances.
        EXPECT_EQ(h->SendHHXRLUTData(engine.config.slut.data(), 1), 0);
        if (r.version == 1) {
            EXPECT_EQ(records->ulGetslutDataLength(), 1u);
        }
        g_sent = nullptr;
        for (void*& hd : handles)
            if (hd) h->DeleteHXRHandle(hd), hd = nullptr;
    }
}

TEST_F(HalftoneTest, SlutPackageRefusals) {
    const ovcg::CTRAQ3V1::Point p{720, 720};
    ovcg::CTRAQ3V1_1 records(p, p, p, p, p);
    CPlimoSpooler spooler(0, &SendNowhere, nullptr);
    init.level3_records = &records;
    init.spooler = &spooler;
    init.out_module = nullptr;
    const int docs[2] = {-1, -1};
    // No package, then one whose length with the prefix blocks passes 32 bits.
    engine.config.slut.clear();
    EXPECT_EQ(Make()->GetHXRHandle(handles, 0, docs, nullptr), -3004);
    dll.HXR_DeleteInstance(handles[0]);
    handles[0] = nullptr;
    static const char block = 0;
    init.raster_slut = &block;
    init.raster_slut_size = 0x7FFFFFFF;
    init.ims_slut = &block;
    init.ims_slut_size = 0x7FFFFFFF;
    engine.config.slut = {1, 2};
    EXPECT_EQ(Make()->GetHXRHandle(handles, 0, docs, nullptr), -3004);
    engine.FailTimes(HxrCall::kGetSlut, 1, 1403);
    dll.HXR_DeleteInstance(handles[0]);
    handles[0] = nullptr;
    EXPECT_EQ(Make()->GetHXRHandle(handles, 0, docs, nullptr), -3001);
    EXPECT_EQ(Make()->SendHHXRLUTData(nullptr, 4), -3004);
}

}  // namespace
}  // namespace ovcg_test
