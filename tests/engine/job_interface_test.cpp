// The exported job interface: handle checks, record upgrades, clip clamping,
// exceptions turned into codes, and the debug-export entries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/debug_export.h"
#include "engine/plimo.h"
#include "fake_engine_parts.h"
#include "ovcg/ovcg_jobif.h"

using namespace ovcg_test;

namespace {

int32_t CountingSpool(void*, const uint8_t*, int32_t length) { return length; }

std::vector<std::pair<int32_t, int32_t>> g_exports;
int32_t RecordExport(int32_t id, int32_t size, void*) {
    g_exports.emplace_back(id, size);
    return 77;
}

class JobInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        options.lppszRsc_File = files;
        options.NumRsc = 1;
        options.lpfuncSpool = &CountingSpool;
        job = PlainJob();
        ht = PlainHalftone();
        g_exports.clear();
    }
    void TearDown() override {
        if (handle) DestroyJob(handle);
        ovcg::SetDebugExportHook(nullptr);
    }
    const ovcg::CPlimo& Engine() const { return *reinterpret_cast<const ovcg::CPlimo*>(handle); }

    FakeWorld w;
    FakeEngineParts parts{&w};
    ScopedDefaultParts scoped{&parts};
    const char* files[1] = {"/nonexistent/model.res"};
    tagOPTION options{};
    tagPRTSTRUCT3_12 job{};
    tagHTSTRUCT3_5 ht{};
    HPLIMO3 handle = nullptr;
};

TEST_F(JobInterfaceTest, MissingOrUnknownHandles) {
    tagRECT r{0, 0, 1, 1};
    std::vector<uint8_t> px(8);
    tagBANDBMP bmp{4, px.data()};
    tagTPINFOSTRUCT end{1, 0};
    uint32_t ink[4];
    alignas(16) unsigned char junk[64] = {};
    // A handle that was never issued, and one that has been destroyed.
    ASSERT_EQ(InitJob(&handle, &job, &options), 0);
    HPLIMO3 stale = handle;
    ASSERT_EQ(DestroyJob(handle), 0);
    handle = nullptr;
    for (HPLIMO3 h : {static_cast<HPLIMO3>(nullptr), reinterpret_cast<HPLIMO3>(junk), stale}) {
        EXPECT_EQ(InitPage(h, &ht), -5);
        EXPECT_EQ(BandOut(h, &r, &bmp, nullptr, &r, nullptr), -5);
        EXPECT_EQ(TerminatePage(h), -5);
        EXPECT_EQ(TerminatePageEx(h, &end), -5);
        EXPECT_EQ(GetInkAmount(h, ink), -5);
        EXPECT_EQ(DestroyJob(h), -5);
        HPLIMO3 copy = h;
        EXPECT_EQ(ResetJob(&copy, &job, &options), -5);
    }
    EXPECT_EQ(InitJob(nullptr, &job, &options), -5);
    EXPECT_EQ(ResetJob(nullptr, &job, &options), -5);
}

TEST_F(JobInterfaceTest, RefusedRecordsLeaveNoHandle) {
    handle = reinterpret_cast<HPLIMO3>(&job);  // overwritten on failure
    tagPRTSTRUCT3_12 zero = job;
    zero.version = 0;
    EXPECT_EQ(InitJob(&handle, &zero, &options), -1);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(InitJob(&handle, nullptr, &options), -1);
    EXPECT_EQ(InitJob(&handle, &job, nullptr), -10);
    EXPECT_EQ(handle, nullptr);

    tagMEDIAOPT_8 media{};
    tagPRTSTRUCT3_12 j = job;
    j.lpMediaOpt = &media;
    EXPECT_EQ(InitJob(&handle, &j, &options), -1);
    tagJOBDATA_6 data{};
    j = job;
    j.lpJobData = &data;
    EXPECT_EQ(InitJob(&handle, &j, &options), -1);
    EXPECT_EQ(handle, nullptr);
    EXPECT_FALSE(w.Has("print_mode.create"));
}

TEST_F(JobInterfaceTest, EngineFailureLeavesNoHandle) {
    w.results["irac.StartJob"] = -2003;
    EXPECT_EQ(InitJob(&handle, &job, &options), -2003);
    EXPECT_EQ(handle, nullptr);
    EXPECT_TRUE(w.Has("print_mode.delete"));
    w.results.clear();
    w.throws["print_mode.create"] = 0;
    EXPECT_EQ(InitJob(&handle, &job, &options), -10);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(JobInterfaceTest, OlderRecordsAreUpgraded) {
    // A version-2 record: lut_format from prt_format, quality 1, later pointers null.
    std::vector<uint8_t> bytes(OVCG_PRTSTRUCT3_SIZE_V2, 0);
    tagPRTSTRUCT3_12 j = job;
    j.version = 2;
    j.prt_format = 3;
    j.lut_format = 99;
    std::memcpy(bytes.data(), &j, bytes.size());
    ASSERT_EQ(InitJob(&handle, reinterpret_cast<tagPRTSTRUCT3_12*>(bytes.data()), &options), 0);
    const tagPRTSTRUCT3_12& seen = Engine().PrintMode()->Job();
    EXPECT_EQ(seen.version, OVCG_PRTSTRUCT3_VERSION);
    EXPECT_EQ(seen.lut_format, 3);
    EXPECT_EQ(seen.quality_type, 1);
    EXPECT_EQ(seen.lpMediaOpt, nullptr);
    EXPECT_EQ(seen.src_format, 7);  // RGB in the working format

    // A version-1 halftone record.
    std::vector<uint8_t> htBytes(OVCG_HTSTRUCT3_SIZE_V1, 0);
    tagHTSTRUCT3_5 h = ht;
    h.version = 1;
    h.halftone_type = 2;
    std::memcpy(htBytes.data(), &h, htBytes.size());
    ASSERT_EQ(InitPage(handle, reinterpret_cast<tagHTSTRUCT3_5*>(htBytes.data())), 0);
    EXPECT_EQ(w.halftoner_inits.at(0).ht_struct->halftone_type, 2);
    EXPECT_EQ(w.halftoner_inits.at(0).ht_struct->remaining_pages, 0);

    tagHTSTRUCT3_5 zero{};
    EXPECT_EQ(InitPage(handle, &zero), -1);
    EXPECT_EQ(InitPage(handle, nullptr), -1);
}

TEST_F(JobInterfaceTest, SixteenBitSourcesReachTheEngineSplit) {
    job.src_format = 135;
    ASSERT_EQ(InitJob(&handle, &job, &options), 0);
    EXPECT_EQ(Engine().PrintMode()->Job().src_format, 7);
    ASSERT_EQ(InitPage(handle, &ht), 0);
    EXPECT_EQ(w.halftoner_inits.at(0).sixteen_bit, 1u);
}

TEST_F(JobInterfaceTest, ClipIsClampedToTheBand) {
    ASSERT_EQ(InitJob(&handle, &job, &options), 0);
    ASSERT_EQ(InitPage(handle, &ht), 0);
    std::vector<uint8_t> px(4 * 3 * 2);
    tagBANDBMP bmp{12, px.data()};
    const tagRECT band{0, 10, 4, 11};  // one line high
    const tagRECT clip{0, 0, 4, 2};    // two lines
    ASSERT_EQ(BandOut(handle, &clip, &bmp, nullptr, &band, nullptr), 0);
    ASSERT_EQ(w.bands.size(), 1u);
    EXPECT_EQ(w.bands[0].clip.bottom, 1u);
    EXPECT_EQ(clip.bottom, 2u);  // the caller's rectangle is untouched
    EXPECT_EQ(BandOut(handle, nullptr, &bmp, nullptr, &band, nullptr), -10);
    EXPECT_EQ(BandOut(handle, &clip, nullptr, nullptr, &band, nullptr), -10);
}

TEST_F(JobInterfaceTest, ExceptionsBecomeMinusTen) {
    ASSERT_EQ(InitJob(&handle, &job, &options), 0);
    ASSERT_EQ(InitPage(handle, &ht), 0);
    w.throws["halftoner.BandOut"] = 0;  // e.g. a failing spooler inside the band
    std::vector<uint8_t> px(24);
    tagBANDBMP bmp{12, px.data()};
    const tagRECT band{0, 0, 4, 2};
    EXPECT_EQ(BandOut(handle, &band, &bmp, nullptr, &band, nullptr), -10);
    EXPECT_EQ(TerminatePageEx(handle, nullptr), -10);
    EXPECT_EQ(GetInkAmount(handle, nullptr), -10);
    tagTPINFOSTRUCT end{1, 1};
    EXPECT_EQ(TerminatePageEx(handle, &end), 0);
    EXPECT_EQ(w.page_ends.at(0).abort, 1u);
}

// The page-start refusals: the job starts, the document start and the page
// start go out, then the page is refused and the job stays open for another.
TEST_F(JobInterfaceTest, PageStartRefusals) {
    struct Case {
        uint32_t mw;
        bool noHead;      // the print mode gives no first head selector
        int correction;   // of a composite-black page
        int expected;
        int lastError;    // after the refusal; the earlier one was -2
    };
    const Case cases[] = {
        {0, false, 10, -1, -1},           {0, false, 11, -1, -1},
        {OVCG_MW_P3, false, 10, -1, -1},  {OVCG_MW_OVC, false, 11, -1, -1},
        {OVCG_MW_P3, true, 2, -400, -2},  {OVCG_MW_OVC, true, 2, -400, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mw << " " << c.noHead << " " << c.correction);
        w = FakeWorld{};
        if (c.noHead) w.tweak_info = [](tagPRTINFOSTRUCT& i) { i.head_id_bytes[0] = 0xFFFF; };
        job = PlainJob(c.mw, c.noHead ? 0 : OVCG_EXO_CB);
        ASSERT_EQ(InitJob(&handle, &job, &options), 0);
        EXPECT_EQ(TerminatePage(handle), -2);
        ht.color_correction = c.correction;
        EXPECT_EQ(InitPage(handle, &ht), c.expected);
        EXPECT_EQ(Engine().LastError(), c.lastError);
        EXPECT_EQ(w.Count("mwcmd.SendStartDocCmd"), 1);
        EXPECT_EQ(w.Count("mwcmd.SendStartPageCmd"), 1);
        EXPECT_FALSE(w.Has("halftoner.create"));
        if (!c.noHead) {
            ht.color_correction = 2;
            EXPECT_EQ(InitPage(handle, &ht), 0);
            EXPECT_EQ(w.Count("mwcmd.SendStartDocCmd"), 1);
            tagTPINFOSTRUCT end{1, 0};
            EXPECT_EQ(TerminatePageEx(handle, &end), 0);
        }
        EXPECT_EQ(DestroyJob(handle), 0);
        handle = nullptr;
    }
}

TEST_F(JobInterfaceTest, ResetJobThroughTheInterface) {
    ASSERT_EQ(InitJob(&handle, &job, &options), 0);
    HPLIMO3 before = handle;
    ovcg::SetDebugExportHook(&RecordExport);
    tagPRTSTRUCT3_12 same = job;
    EXPECT_EQ(ResetJob(&handle, &same, &options), 0);
    EXPECT_EQ(handle, before);
    EXPECT_FALSE(w.Has("print_mode.delete"));
    same.num_copy = 2;
    EXPECT_EQ(ResetJob(&handle, &same, &options), 0);
    EXPECT_TRUE(w.Has("print_mode.delete"));
    EXPECT_EQ(g_exports, (std::vector<std::pair<int32_t, int32_t>>{{1002, 0}, {1004, 0}}));
    tagPRTSTRUCT3_12 zero = job;
    zero.version = 0;
    EXPECT_EQ(ResetJob(&handle, &zero, &options), -1);
}

TEST_F(JobInterfaceTest, DebugExport) {
    _DEBUG_SET_FUNCTION(nullptr);
    EXPECT_EQ(_DEBUG_EXPORT(2001, 4, nullptr), 0);
    _DEBUG_SET_FUNCTION(&RecordExport);
    EXPECT_EQ(_DEBUG_EXPORT(2103, 12, nullptr), 77);
    EXPECT_EQ(g_exports.back(), (std::pair<int32_t, int32_t>{2103, 12}));
    _DEBUG_SET_FUNCTION(nullptr);

    // The job record's callback is taken only with its opt-in bit.
    job.lpCheckFunc = &RecordExport;
    ASSERT_EQ(InitJob(&handle, &job, &options), 0);
    EXPECT_EQ(ovcg::GetDebugExportHook(), nullptr);
    ASSERT_EQ(DestroyJob(handle), 0);
    job.ex_option2 = OVCG_EXO2_CHECKFUNC;
    ASSERT_EQ(InitJob(&handle, &job, &options), 0);
    EXPECT_EQ(ovcg::GetDebugExportHook(), &RecordExport);
}

}  // namespace
