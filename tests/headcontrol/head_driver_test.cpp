// The entry points and the job driver: argument checks in their order, null
// handles and unknown codes, every call in every state, allocation and send
// failures at every step, the model values the driver refuses, and the
// queries.
#include "head_driver_fixture.h"

#include "headcontrol/codes.h"
#include "support/model.h"
#include "support/stream_validator.h"

#include <gtest/gtest.h>

#include <functional>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcLayer;
using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;

ModelHeadControl base() { return variant(HcVariant::Default); }

IRAC_INSTANCE_DEF* const kUntouched = reinterpret_cast<IRAC_INSTANCE_DEF*>(0x5A5A);

// ---- Job start -------------------------------------------------------------------------------

// Start arguments that a case breaks one field at a time.
struct StartArgs {
    ovcg_test::FakeOvf ovf;
    IRAC_INSTANCE_DEF* handle = kUntouched;
    IRACS_IDENTIFIER id{0, 1, 1, 4, ovcg_test::model_head_mode_id()};
    IRACS_PRINTDATA_INFO pd{16, 400, 6};
    std::array<int8_t, 32> shifts{};
    IRACS_OPTION option{0, shifts.data(), IRAC_OPT_ENGINE};
    IRACS_VALUE value{0xA5A5A5A5u};
    OVF_COMMON table;
    bool nullHandle = false, nullId = false, nullPd = false, nullOption = false, nullValue = false, nullTable = false;

    explicit StartArgs(const ModelHeadControl& hc = base()) : table(ovf.table()) {
        ovf.set_resource(kModelResourceKind, ovcg_test::head_control_resource(hc));
    }
    uint32_t start() {
        return IRAC_StartJob(nullHandle ? nullptr : &handle, nullId ? nullptr : &id, nullPd ? nullptr : &pd,
                             nullOption ? nullptr : &option, nullValue ? nullptr : &value,
                             nullTable ? nullptr : &table);
    }
};

void clear_word(OVF_COMMON& t, int w) { reinterpret_cast<void**>(&t)[w] = nullptr; }

TEST(HeadDriverEntry, StartJobChecksArgumentsInOrderAndLeavesNothingOnFailure) {
    struct Case {
        const char* what;
        std::function<void(StartArgs&)> breakIt;
        uint32_t code;
    };
    std::vector<Case> cases = {
        {"null handle", [](StartArgs& a) { a.nullHandle = true; }, 801},
        {"null identifier", [](StartArgs& a) { a.nullId = true; }, 801},
        {"null print data", [](StartArgs& a) { a.nullPd = true; }, 801},
        {"null option", [](StartArgs& a) { a.nullOption = true; }, 801},
        {"null value", [](StartArgs& a) { a.nullValue = true; }, 801},
        {"null callbacks", [](StartArgs& a) { a.nullTable = true; }, 801},
        {"kind 2", [](StartArgs& a) { a.id.kind = 2; }, 807},
        {"kind 1, sub-kind 7", [](StartArgs& a) { a.id.sub_kind = 7; }, 807},
        {"pointers before the identifier", [](StartArgs& a) { a.id.kind = 2, a.nullTable = true; }, 801},
        {"identifier before option 0x4", [](StartArgs& a) { a.id.kind = 2, a.option.flags = 0x14; }, 807},
        {"option 0x14", [](StartArgs& a) { a.option.flags = 0x14; }, 801},
        {"the band path without its resource", [](StartArgs& a) { a.option.flags = 0x18; }, kStrNoResource},
        {"sub-kind 3 takes the short mode number", [](StartArgs& a) { a.id.sub_kind = 3; }, kRscNoMode},
        {"sub-mode 5", [](StartArgs& a) { a.id.sub_mode = 5; }, kIcmBadArgument},
        {"page length 0", [](StartArgs& a) { a.pd.page_length = 0; }, kIcmBadArgument},
        {"a page beyond 31 bits", [](StartArgs& a) { a.pd.page_length = 0x80000000u; }, kIcmBadArgument},
        {"no colours", [](StartArgs& a) { a.pd.color_count = 0; }, kIcmBadArgument},
        {"33 colours", [](StartArgs& a) { a.pd.color_count = 33; }, kIcmBadArgument},
        {"direction 128", [](StartArgs& a) { a.option.direction = 128; }, kIcmBadArgument},
        {"direction -129", [](StartArgs& a) { a.option.direction = -129; }, kIcmBadArgument},
        {"raster width 0", [](StartArgs& a) { a.pd.raster_width = 0; }, kIcmBadArgument},
        {"no shift table", [](StartArgs& a) { a.option.pixel_shift = nullptr; }, kIcmBadPixelShift},
        {"shift 17", [](StartArgs& a) { a.shifts[5] = 17; }, kIcmBadPixelShift},
        {"shift -17", [](StartArgs& a) { a.shifts[0] = -17; }, kIcmBadPixelShift},
        {"no resource", [](StartArgs& a) { a.ovf.set_resource(kModelResourceKind, {}); }, kRscBadResource},
        {"a shift beyond the colours", [](StartArgs& a) { a.shifts[6] = 100; }, 0},
        {"direction -128, sub-kind 4", [](StartArgs& a) { a.option.direction = -128; }, 0},
    };
    for (int w : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12})
        cases.push_back({"a required word", [w](StartArgs& a) { clear_word(a.table, w); }, 801});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartArgs a;
        c.breakIt(a);
        const uint32_t rc = a.start();
        EXPECT_EQ(rc, c.code);
        if (rc == 0) {
            IRAC_EndJob(a.handle);
        } else {
            EXPECT_EQ(a.handle, kUntouched);
            EXPECT_EQ(a.value.value, 0xA5A5A5A5u);
        }
        EXPECT_EQ(a.ovf.live_blocks(), 0u);
        EXPECT_EQ(a.ovf.resources_out(), 0u);
    }
}

// Words 9, 11, 13 and 18 may be null: the platform here needs no contexts.
ovcg_test::FakeOvf* g_platform = nullptr;
int SendAlone(void*, const void* b, uint32_t n, int flag) { return g_platform->table().send_data(g_platform, b, n, flag); }
void* FetchAlone(void*, int kind, uint32_t* size) { return g_platform->table().get_resource(g_platform, kind, size); }
void FreeAlone(void*, void* r) { g_platform->table().free_resource(g_platform, r); }

TEST(HeadDriverEntry, OptionalCallbackWordsMayBeNull) {
    StartArgs a;
    g_platform = &a.ovf;
    a.table.send_data = SendAlone;
    a.table.get_resource = FetchAlone;
    a.table.free_resource = FreeAlone;
    for (int w : {9, 11, 13, 18}) clear_word(a.table, w);
    ASSERT_EQ(a.start(), 0u);
    const std::vector<uint8_t> inks = model_inks();
    EXPECT_EQ(IRAC_StartPage(a.handle, 0, inks.data()), 0u);
    EXPECT_EQ(IRAC_EndPage(a.handle), 0u);
    EXPECT_FALSE(a.ovf.sent().empty());
    IRAC_EndJob(a.handle);
    EXPECT_EQ(a.ovf.live_blocks(), 0u);
    g_platform = nullptr;
}

// The off-area values: head values C and D in the vertical denominator's
// unit (mode value 1, or block 0x100's value), per head value A, clamped.
TEST(HeadDriverEntry, OffAreaValues) {
    struct Case {
        uint16_t c, d, a;
        int16_t value1;
        int32_t blockD;  // -1: no block
        uint32_t value;
    };
    const Case cases[] = {
        {3, 4, 600, 600, -1, 3u | 4u << 16},
        {3, 4, 600, 600, 1200, 6u | 8u << 16},
        {65535, 1, 1, 32767, -1, 65535u | 32767u << 16},  // the product needs 64 bits
        {5, 5, 600, -600, -1, 0},                          // a negative unit gives 0
    };
    for (const Case& t : cases) {
        ModelHeadControl hc = base();
        hc.head.value_c = t.c;
        hc.head.value_d = t.d;
        hc.head.value_a = t.a;
        hc.modes[0].value1 = t.value1;
        if (t.blockD >= 0) {
            hc.modes[0].function_flags |= 0x100;
            hc.modes[0].block_d = {uint16_t(t.blockD), {0}};
        }
        DriverJob d(hc);
        ASSERT_EQ(d.code, 0u);
        EXPECT_EQ(d.value.value, t.value) << t.c << " " << t.value1;
    }
}

TEST(HeadDriverEntry, NullHandlesAndUnknownCodes) {
    uint32_t out[4] = {};
    const uint32_t in = 1;
    const uint8_t inks[32] = {};
    EXPECT_EQ(IRAC_StartPage(nullptr, 0, inks), 1u);
    EXPECT_EQ(IRAC_EndPage(nullptr), 2u);
    const IRACS_RASTERDATA run{};
    EXPECT_EQ(IRAC_DrawData(nullptr, &run), 3u);
    EXPECT_EQ(IRAC_GetValue(nullptr, 6, out), 22u);
    EXPECT_EQ(IRAC_SetValue(nullptr, 1, &in), 20u);
    IRAC_EndJob(nullptr);
    IRAC_AbortJob(nullptr);
    DriverJob d(base());
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(IRAC_GetValue(d.handle, 8, nullptr), 22u);
    EXPECT_EQ(IRAC_SetValue(d.handle, 0, nullptr), 20u);
    for (int32_t code : {2, 3, 4, 5, 10, 100, 507, 510, -1}) EXPECT_EQ(IRAC_GetValue(d.handle, code, out), 22u) << code;
    for (int32_t code : {2, 3, 100, -1}) EXPECT_EQ(IRAC_SetValue(d.handle, code, &in), 20u) << code;
    EXPECT_EQ(d.release(), "");
}

// ---- States ---------------------------------------------------------------------------------

struct StateJob {
    DriverJob d;
    std::vector<uint8_t> inks = model_inks();
    std::vector<uint8_t> line = std::vector<uint8_t>(16 * 6, 0x81);
    uint8_t* lines[2] = {line.data(), line.data()};

    // A job brought to state 1, 2, 3 (a run going back) or 4 (the failed
    // page ended).
    StateJob(uint32_t state, const ModelHeadControl& hc = base()) : d(hc) {
        if (d.code || state == 1) return;
        EXPECT_EQ(IRAC_StartPage(d.handle, 0, inks.data()), 0u);
        if (state == 2) return;
        EXPECT_EQ(draw(5), 0u);
        EXPECT_EQ(draw(0), kIcmBadRun);
        if (state == 4) {
            EXPECT_EQ(IRAC_EndPage(d.handle), 0u);
        }
    }
    uint32_t draw(uint32_t first, uint32_t count = 1) {
        const IRACS_RASTERDATA run{lines, 16, count, first};
        return IRAC_DrawData(d.handle, &run);
    }
};

TEST(HeadDriverStates, EveryCallInEveryState) {
    struct Call {
        const char* name;
        std::function<uint32_t(StateJob&)> call;
        uint32_t code[4];   // in states 1-4
        uint32_t next[4];   // the state after
    };
    auto get = [](int32_t code) {
        return [code](StateJob& s) {
            uint8_t out[32] = {};
            return IRAC_GetValue(s.d.handle, code, out);
        };
    };
    auto set = [](int32_t code, uint32_t value) {
        return [code, value](StateJob& s) { return IRAC_SetValue(s.d.handle, code, &value); };
    };
    const Call calls[] = {
        {"page start", [](StateJob& s) { return IRAC_StartPage(s.d.handle, 0, s.inks.data()); }, {0, 52, 52, 52},
         {2, 2, 3, 4}},
        {"raster run", [](StateJob& s) { return s.draw(10); }, {54, 0, 54, 54}, {1, 2, 3, 4}},
        {"page end", [](StateJob& s) { return IRAC_EndPage(s.d.handle); }, {53, 0, 0, 53}, {1, 1, 4, 4}},
        {"BRS at job start", get(0), {61, 61, 55, 55}, {1, 2, 3, 4}},
        {"BRS at page start", get(1), {55, 61, 55, 55}, {1, 2, 3, 4}},
        {"minimum length", get(6), {55, 0, 55, 55}, {1, 2, 3, 4}},
        {"switching positions", get(7), {55, 0, 55, 55}, {1, 2, 3, 4}},
        {"used heads", get(8), {0, 0, 55, 55}, {1, 2, 3, 4}},
        {"pre-buffering raster", get(9), {0, 0, 55, 55}, {1, 2, 3, 4}},
        {"shift count", get(508), {0, 0, 0, 0}, {1, 2, 3, 4}},
        {"unit raster", set(0, 4), {0, 0, 59, 59}, {1, 2, 3, 4}},
        {"unit raster 0", set(0, 0), {81, 81, 59, 59}, {1, 2, 3, 4}},
        {"length", set(1, 400), {59, 0, 59, 59}, {1, 2, 3, 4}},
        {"length below the minimum", set(1, 100), {59, 82, 59, 59}, {1, 2, 3, 4}},
    };
    for (const Call& c : calls)
        for (uint32_t state = 1; state <= 4; ++state) {
            SCOPED_TRACE(std::string(c.name) + ", state " + std::to_string(state));
            StateJob s(state);
            ASSERT_EQ(s.d.code, 0u);
            ASSERT_EQ(s.d.state(), state);
            EXPECT_EQ(c.call(s), c.code[state - 1]);
            EXPECT_EQ(s.d.state(), c.next[state - 1]);
            EXPECT_EQ(s.d.release(), "");
        }
}

// The job is freed in every state, an open page ended (or dropped) first.
TEST(HeadDriverStates, EndAndAbortFreeInEveryState) {
    for (bool abort : {false, true})
        for (uint32_t state = 1; state <= 4; ++state) {
            StateJob s(state);
            ASSERT_EQ(s.d.state(), state);
            (abort ? IRAC_AbortJob : IRAC_EndJob)(s.d.handle);
            s.d.handle = nullptr;
            EXPECT_EQ(s.d.ovf.live_blocks(), 0u) << state << (abort ? " abort" : " end");
        }
    // Ending a page through the job end prints its passes; aborting drops them.
    for (bool abort : {false, true}) {
        StateJob s(2);
        ASSERT_EQ(s.draw(0, 2), 0u);
        const size_t before = s.d.ovf.sent().size();
        (abort ? IRAC_AbortJob : IRAC_EndJob)(s.d.handle);
        s.d.handle = nullptr;
        const auto check = ovcg_test::ValidateStream(sent_from(s.d.ovf, before));
        EXPECT_EQ(check.count("ESC i") > 0, !abort);
    }
}

// ---- Failures --------------------------------------------------------------------------------

TEST(HeadDriverFailures, AllocationFailingAtEveryCallOfJobAndPageStart) {
    size_t jobAllocations = 0, pageAllocations = 0;
    {
        DriverJob d(variant(HcVariant::DriverOverlapMasks));
        ASSERT_EQ(d.code, 0u);
        jobAllocations = d.ovf.alloc_calls();
        ASSERT_EQ(IRAC_StartPage(d.handle, 3, model_inks().data()), 0u);
        pageAllocations = d.ovf.alloc_calls() - jobAllocations;
    }
    ASSERT_GT(jobAllocations, 20u);
    ASSERT_GT(pageAllocations, 3u);
    for (size_t k = 1; k <= jobAllocations; ++k) {
        StartArgs a(variant(HcVariant::DriverOverlapMasks));
        a.ovf.fail_alloc_from(k);
        EXPECT_NE(a.start(), 0u) << k;
        EXPECT_EQ(a.handle, kUntouched) << k;
        EXPECT_EQ(a.ovf.live_blocks(), 0u) << k;
        EXPECT_EQ(a.ovf.resources_out(), 0u) << k;
    }
    for (size_t k = 1; k <= pageAllocations; ++k) {
        DriverJob d(variant(HcVariant::DriverOverlapMasks));
        d.ovf.fail_alloc_from(d.ovf.alloc_calls() + k);
        EXPECT_NE(IRAC_StartPage(d.handle, 3, model_inks().data()), 0u) << k;
        EXPECT_EQ(d.state(), uint32_t(kIcmPageFailed)) << k;
        EXPECT_EQ(d.release(), "") << k;
    }
}

// The code of a refused piece, by its first bytes.
uint32_t code_of_piece(const std::vector<uint8_t>& b, bool multi) {
    if (b.size() == 1 && b[0] == 0x0D) return kOvcSendCR;
    if (b.size() >= 3 && b[0] == 0x1B && b[1] == 0x28) {
        switch (b[2]) {
            case 0x44: return kOvcSendUnit;
            case 0x6D: return kOvcSendPageFormat;
            case 0x65: return kOvcSendDotSize;
            case 0x76: return kOvcSendFeed;
            case 0x24: return kOvcSendHPos;
            case 0x64: return kOvcSendDeferredFeed;
            default: return 0;
        }
    }
    if (b.size() >= 2 && b[0] == 0x1B && b[1] == 0x69) return multi ? kOvcSendMultiHead : kOvcSendHead;
    return multi ? kOvcSendMultiData : kOvcSendData;
}

TEST(HeadDriverFailures, SendFailingAtEveryPiece) {
    for (bool multi : {false, true}) {
        ModelHeadControl hc = variant(HcVariant::DriverDeferredFeed);
        if (multi) hc.encoders[0].flags = 0x4;
        std::mt19937 rng(7);
        const Page page = random_page(rng, PageKind::Sparse, 6, 200, 16);
        size_t pieces = 0;
        {
            DriverJob d(hc, JobRequest{2, 16, 200});
            std::mt19937 r2(8);
            ASSERT_EQ(print_page(d, page, model_inks(), r2, false), 0u);
            pieces = d.ovf.sent().size();
        }
        ASSERT_GT(pieces, 20u);
        // Every piece of the page start and the first passes, then a sample.
        for (size_t k = 1; k <= pieces; k += k < 80 ? 1 : 23) {
            DriverJob d(hc, JobRequest{2, 16, 200});
            d.ovf.fail_send_from(k);
            std::mt19937 r2(8);
            const uint32_t rc = print_page(d, page, model_inks(), r2, false);
            ASSERT_GE(d.ovf.sent().size(), k);
            EXPECT_EQ(rc, code_of_piece(d.ovf.sent()[k - 1].bytes, multi)) << k;
            const uint32_t state = d.state();
            EXPECT_TRUE(state == kIcmDrawFailed || state == kIcmPageFailed) << k;
            EXPECT_EQ(IRAC_EndPage(d.handle), state == kIcmDrawFailed ? 0u : kIcmPageEndState);
            EXPECT_EQ(d.state(), uint32_t(kIcmPageFailed));
            EXPECT_EQ(d.release(), "") << k;
        }
    }
}

// ---- Runs ------------------------------------------------------------------------------------

TEST(HeadDriverRuns, RefusedRunsAndClipping) {
    {
        // Going back: 14 and state 3; the page end moves to 4; the job end frees.
        StateJob s(2);
        EXPECT_EQ(s.draw(3), 0u);
        EXPECT_EQ(s.draw(2), kIcmBadRun);
        EXPECT_EQ(s.d.state(), uint32_t(kIcmDrawFailed));
        EXPECT_EQ(IRAC_EndPage(s.d.handle), 0u);
        EXPECT_EQ(s.d.state(), uint32_t(kIcmPageFailed));
        EXPECT_EQ(s.d.release(), "");
    }
    struct Refused {
        const char* what;
        std::function<uint32_t(StateJob&)> run;
    };
    const Refused refused[] = {
        {"null record", [](StateJob& s) { return IRAC_DrawData(s.d.handle, nullptr); }},
        {"null lines",
         [](StateJob& s) {
             const IRACS_RASTERDATA r{nullptr, 16, 1, 0};
             return IRAC_DrawData(s.d.handle, &r);
         }},
        {"three rasters", [](StateJob& s) { return s.draw(0, 3); }},
        {"no rasters", [](StateJob& s) { return s.draw(0, 0); }},
        {"beyond 16 bits", [](StateJob& s) { return s.draw(0, 0x10001); }},
        {"line width below the raster width",
         [](StateJob& s) {
             const IRACS_RASTERDATA r{s.lines, 15, 1, 0};
             return IRAC_DrawData(s.d.handle, &r);
         }},
        {"after the page", [](StateJob& s) { return s.draw(399, 2) ? 1 : s.draw(401); }},
    };
    for (const Refused& r : refused) {
        StateJob s(2);
        EXPECT_EQ(r.run(s), kIcmBadRun) << r.what;
        EXPECT_EQ(s.d.state(), uint32_t(kIcmDrawFailed)) << r.what;
    }
    {
        // A run near the 32-bit end: no wrap, blank to the page end.
        StateJob s(2);
        EXPECT_EQ(s.draw(0xFFFFFFFFu, 2), 0u);
        EXPECT_EQ(s.d.job()->stored, 400);
        EXPECT_EQ(s.d.job()->nextExpected, int64_t{0xFFFFFFFFu} + 2);
        EXPECT_EQ(s.draw(0), kIcmBadRun);
    }
    {
        // 100 ignored top rasters: rasters 0-1 store nothing.
        ModelHeadControl hc = base();
        for (auto& m : hc.modes[0].sub_modes) m.ignore_top = 100;
        StateJob s(2, hc);
        EXPECT_EQ(s.draw(0, 2), 0u);
        EXPECT_EQ(s.d.job()->stored, 0);
        EXPECT_EQ(s.d.job()->nextExpected, 2);
        EXPECT_EQ(s.draw(101), 0u);
        EXPECT_EQ(s.d.job()->stored, 2);  // raster 100 blank, 101 stored
    }
}

// An open page (sub-mode 3) grows by whole page lengths and ends where its
// rasters end; its growth near the 31-bit limit is refused.
TEST(HeadDriverRuns, OpenPageGrowsByWholeLengths) {
    std::mt19937 rng(3);
    const Page page = random_page(rng, PageKind::Sparse, 6, 1200, 8);
    std::vector<uint8_t> line(8 * 6);
    uint8_t* lines[1] = {line.data()};
    {
        DriverJob d(base(), JobRequest{3, 8, 500});
        ASSERT_EQ(IRAC_StartPage(d.handle, page.left, model_inks().data()), 0u);
        const size_t from = d.ovf.sent().size();
        for (uint32_t r = 0; r < 1200; ++r) {
            for (uint32_t c = 0; c < 6; ++c)
                std::copy(page.planes[c][r].begin(), page.planes[c][r].end(), line.begin() + c * 8);
            const IRACS_RASTERDATA run{lines, 8, 1, r};
            ASSERT_EQ(IRAC_DrawData(d.handle, &run), 0u) << r;
            if (r == 499 || r == 500) {
                EXPECT_EQ(d.job()->printLength, r == 499 ? 500 : 1000);
            }
        }
        EXPECT_EQ(d.job()->printLength, 1500);
        ASSERT_EQ(IRAC_EndPage(d.handle), 0u);
        ovcg_test::VpModel printer;
        printer.bits = 2;
        for (uint32_t c = 0; c < 6; ++c) printer.add(uint8_t(0x10 + c), {int(c), 0, 1});
        const auto read = ovcg_test::RunVirtualPrinter(printer, sent_from(d.ovf, from));
        ASSERT_TRUE(read.ok) << read.error;
        for (uint32_t c = 0; c < 6; ++c)
            EXPECT_EQ(ovcg_test::plane_difference(read.pages[0].planes.at(int(c)), expected_plane(page, c, 0, 0, 2)),
                      "");
    }
    // Near the limit.
    DriverJob e(base(), JobRequest{3, 8, 500});
    ASSERT_EQ(IRAC_StartPage(e.handle, 0, model_inks().data()), 0u);
    const IRACS_RASTERDATA far{lines, 8, 1, uint32_t(INT32_MAX)};
    EXPECT_EQ(IRAC_DrawData(e.handle, &far), kIcmBadRun);
}

// ---- Pages ---------------------------------------------------------------------------------------

std::vector<std::string> names(const std::vector<uint8_t>& bytes) {
    const auto check = ovcg_test::ValidateStream(bytes);
    std::vector<std::string> out;
    for (const auto& it : check.items) out.push_back(it.name);
    return out;
}

TEST(HeadDriverPages, BlankPagesAndDeferredFeeds) {
    const std::vector<std::string> init = {"ESC ( D", "ESC ( m", "ESC ( e"};
    std::mt19937 rng(1);
    const Page blank = random_page(rng, PageKind::Blank, 6, 400, 16);
    {
        // Only the page-start commands.
        DriverJob d(base());
        ASSERT_EQ(print_page(d, blank, model_inks(), rng), 0u);
        EXPECT_EQ(names(sent_from(d.ovf, 0)), init);
    }
    // The deferred feed: with the page start (sub-mode 2, option 0x1), else
    // after the first raster with data, flushed (flag 1); never on a blank page.
    struct Case {
        uint32_t subMode, flags;
        bool blankPage;
        std::vector<std::string> first;
    };
    const std::vector<Case> cases = {
        {2, IRAC_OPT_ENGINE | IRAC_OPT_EARLY_FEED, false, {"ESC ( D", "ESC ( m", "ESC ( e", "ESC ( d", "ESC ( v"}},
        {2, IRAC_OPT_ENGINE, false, {"ESC ( D", "ESC ( m", "ESC ( e", "ESC ( v", "ESC ( d"}},
        {1, IRAC_OPT_ENGINE | IRAC_OPT_EARLY_FEED, false, {"ESC ( D", "ESC ( m", "ESC ( e", "ESC ( v", "ESC ( d"}},
        {2, IRAC_OPT_ENGINE, true, init},
        {2, IRAC_OPT_ENGINE | IRAC_OPT_EARLY_FEED, true, {"ESC ( D", "ESC ( m", "ESC ( e", "ESC ( d"}},
    };
    for (const Case& c : cases) {
        // Data from raster 450 on: the passes at 0, 180 and 360 hold nothing
        // before the pass at 360, which the one feed of 360 reaches.
        Page page = random_page(rng, PageKind::Blank, 6, 600, 16);
        if (!c.blankPage) page.planes[2][450][3] = 0x40;
        DriverJob d(variant(HcVariant::DriverDeferredFeed), JobRequest{c.subMode, 16, 600, 6, c.flags});
        ASSERT_EQ(print_page(d, page, model_inks(), rng), 0u);
        std::vector<std::string> got = names(sent_from(d.ovf, 0));
        got.resize(std::min(got.size(), c.first.size()));
        EXPECT_EQ(got, c.first) << c.subMode << " " << c.flags;
        for (const auto& piece : d.ovf.sent())
            if (piece.bytes.size() == 6 && piece.bytes[2] == 0x64) {
                EXPECT_EQ(piece.flag, 1);
            }
        if (!c.blankPage) {
            ovcg_test::VpModel printer;
            printer.bits = 2;
            for (uint32_t k = 0; k < 6; ++k) printer.add(uint8_t(0x10 + k), {int(k), 0, 1});
            const auto read = ovcg_test::RunVirtualPrinter(printer, sent_from(d.ovf, 0));
            ASSERT_TRUE(read.ok) << read.error;
            ASSERT_EQ(read.pages[0].feeds, std::vector<int32_t>{360});
        }
    }
}

// A plan whose normal passes start over at the page top after its upper
// passes (feed 1, from 0 to the layer's end) ran past the page (the band
// buffer holding the whole page): once the page is stored the driver steps
// through up to 1024 blank upper passes; beyond that it refuses rather than
// step through them all.
TEST(HeadDriverPages, BlankPassesBeforeTheNextPrintingOne) {
    const struct {
        int32_t upperEnd;
        uint32_t code, state;
    } cases[] = {{400 + 1023, 0, kIcmJobOpen}, {400 + 1024, kIcmIdlePasses, kIcmDrawFailed}};  // 1024, 1025 idle
    std::mt19937 rng(6);
    const Page page = random_page(rng, PageKind::Sparse, 6, 400, 2);
    for (const auto& t : cases) {
        ModelHeadControl hc = base();
        HcLayer upper = hc.units[0].layers[0];
        upper.kind = 0;
        upper.end = t.upperEnd;
        upper.feed = {1};
        upper.range = {{0, 1}};  // a wider window over feed 1 costs the pass engine too much
        hc.units[0].layers.insert(hc.units[0].layers.begin(), upper);
        hc.encoders[0].sub_mode_values = {600, 600};
        DriverJob d(hc, JobRequest{1, 2, 400});
        std::mt19937 r2(7);
        EXPECT_EQ(print_page(d, page, model_inks(), r2), t.code) << t.upperEnd;
        EXPECT_EQ(d.state(), t.state) << t.upperEnd;
        EXPECT_EQ(d.release(), "");
    }
}

// With coding off every header says plain; with it, a blank-heavy block codes.
TEST(HeadDriverPages, CodingDecisionPerBlock) {
    std::mt19937 rng(5);
    for (int8_t mode : {int8_t(0), int8_t(2)}) {
        ModelHeadControl hc = base();
        hc.encoders[0].run_length = mode;
        DriverJob d(hc);
        Page page = random_page(rng, PageKind::Blank, 6, 400, 16);
        page.planes[1][200][0] = page.planes[1][200][15] = 0x30;  // one raster, 16 bytes wide
        ASSERT_EQ(print_page(d, page, model_inks(), rng), 0u);
        const auto all = sent_from(d.ovf, 0);
        const auto check = ovcg_test::ValidateStream(all);
        size_t coded = 0, headers = 0;
        for (const auto& it : check.items)
            if (it.name == "ESC i") ++headers, coded += all[it.offset + 3];
        EXPECT_GT(headers, 0u);
        EXPECT_EQ(coded, mode ? headers : 0u) << int(mode);  // one line of data in 180 pays
    }
}

// ---- Model values ------------------------------------------------------------------------------

TEST(HeadDriverModel, ValuesTheDriverRefuses) {
    struct Case {
        const char* what;
        std::function<void(ModelHeadControl&)> change;
        uint32_t start;  // IRAC_StartJob
        uint32_t page;   // IRAC_StartPage
        std::vector<uint8_t> inks;
    };
    const std::vector<uint8_t> six = model_inks();
    const Case cases[] = {
        {"vertical correction by mode value 1 = 0",
         [](ModelHeadControl& hc) {
             hc.modes[0].function_flags |= 0x100;
             hc.modes[0].block_d = {600, {0}};
             hc.modes[0].value1 = 0;
         },
         kIcmBadModelValue, 0, six},
        {"BRS cycle of mode value 3 = 0", [](ModelHeadControl& hc) { hc.modes[0].function_flags |= 0x1; },
         kIcmBadModelValue, 0, six},
        {"colour/mono cycle 0",
         [](ModelHeadControl& hc) {
             hc.modes[0].function_flags |= 0x400;
             hc.modes[0].block_c = {};
         },
         kIcmBadModelValue, 0, six},
        {"a band buffer shorter than a pass", [](ModelHeadControl& hc) { hc.encoders[0].sub_mode_values = {179, 179}; },
         0, kIcmBufferTooShort, six},
        {"an ink the colour table lacks", {}, 0, kIcmNotInColourTable, {0, 1, 2, 3, 4, 9}},
        {"stacked lines beyond the list",
         [](ModelHeadControl& hc) {
             hc.modes[0].function_flags |= 0x10000;
             hc.modes[0].lht.starts.assign(6, {0});
             hc.modes[0].lht.halftones.assign(6, {0});
             hc.modes[0].lht.stacked = 1;
         },
         0, kIcmNotInColourTable, six},
        {"a group member before its leader", [](ModelHeadControl& hc) { hc = variant(HcVariant::DriverGrouped); }, 0,
         kIcmNotInGrouping, {8, 0, 1, 2, 3, 4, 5}},
        // Ink 8's row 91 nozzles down K's line of 180: the passes' nozzles
        // 89 of it would lie past the head.
        {"a grouped row carrying the passes past the head",
         [](ModelHeadControl& hc) {
             hc = variant(HcVariant::DriverGrouped);
             hc.modes[0].block_e.shifts[1] = 91;
         },
         kRscBadValue, 0, {0, 8, 1, 2, 3, 4, 5}},
        // The hang the fuzzer found: a normal layer from -2^31 prints 11.9
        // million blank passes above a page of 400 rasters.
        {"a logic whose layer starts far above the page",
         [](ModelHeadControl& hc) { hc.units[0].layers[0].start = INT32_MIN; },
         0, kMleBadLogic, six},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelHeadControl hc = base();
        if (c.change) c.change(hc);
        DriverJob d(hc, JobRequest{1, 16, 400, uint16_t(c.inks.size())});
        EXPECT_EQ(d.code, c.start);
        if (d.code) continue;
        EXPECT_EQ(IRAC_StartPage(d.handle, 0, c.inks.data()), c.page);
        if (c.page) {
            EXPECT_EQ(d.state(), uint32_t(kIcmPageFailed));
        }
        EXPECT_EQ(d.release(), "");
    }
}

// A layer row whose kind is 0xFFFF has no mask: its shared rasters print
// whole in both passes, without a refusal.
TEST(HeadDriverModel, ARowWithoutAKindPrintsUnmasked) {
    ModelHeadControl hc = variant(HcVariant::DriverOverlapMasks);
    hc.modes[0].layer_values = {0, 0xFFFF, 1};
    std::mt19937 rng(9);
    const Page page = random_page(rng, PageKind::Dense, 6, 700, 4);
    DriverJob d(hc, JobRequest{1, 4, 700});
    ASSERT_EQ(print_page(d, page, model_inks(), rng), 0u);
    ovcg_test::VpModel printer;
    printer.bits = 2;
    for (uint32_t c = 0; c < 6; ++c) printer.add(uint8_t(0x10 + c), {int(c), 0, 2});
    const auto read = ovcg_test::RunVirtualPrinter(printer, sent_from(d.ovf, 0));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_GT(read.pages[0].twice, 0u);
}

// ---- Queries -----------------------------------------------------------------------------------

TEST(HeadDriverValues, Queries) {
    ModelHeadControl hc = base();
    hc.modes[0].function_flags |= 0x20000;
    hc.modes[0].sss = {1440, {7, 8, 9}};
    for (auto& s : hc.modes[0].sub_modes) s.ht_mask_switching = 11, s.min_length = 150, s.pre_buffering = 33;
    StateJob s(2, hc);
    ASSERT_EQ(s.d.code, 0u);
    IRAC_INSTANCE_DEF* h = s.d.handle;
    uint32_t length = 0;
    EXPECT_EQ(IRAC_GetValue(h, 6, &length), 0u);
    EXPECT_EQ(length, 150u);
    int32_t pre = 0;
    EXPECT_EQ(IRAC_GetValue(h, 9, &pre), 0u);
    EXPECT_EQ(pre, 33);
    IRACS_USE_HEAD* use = nullptr;
    EXPECT_EQ(IRAC_GetValue(h, 8, &use), 0u);
    ASSERT_NE(use, nullptr);
    EXPECT_EQ(use->headNum, 1);
    // Switching positions: no unit raster leaves them; unit raster 4 rounds 11
    // to 12 and leaves 2147483647.
    IRACS_SWITCHING_POSITION sw{};
    EXPECT_EQ(IRAC_GetValue(h, 7, &sw), 0u);
    ASSERT_EQ(sw.count, 2u);
    EXPECT_EQ(sw.positions[0], 11u);
    EXPECT_EQ(sw.positions[1], 2147483647u);
    const uint32_t unit = 4;
    EXPECT_EQ(IRAC_SetValue(h, 0, &unit), 0u);
    EXPECT_EQ(IRAC_GetValue(h, 7, &sw), 0u);
    EXPECT_EQ(sw.positions[0], 12u);
    EXPECT_EQ(sw.positions[1], 2147483647u);
    // Shifts: 508 the enable and count; 509 into the caller's array, whose
    // count on entry is its capacity.
    IRACS_SHIFT_LIST list{};
    EXPECT_EQ(IRAC_GetValue(h, 508, &list), 0u);
    EXPECT_EQ(list.enable, 1);
    EXPECT_EQ(list.count, 3);
    uint16_t shifts[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
    list = IRACS_SHIFT_LIST{0, 0, 0, 2, shifts};
    EXPECT_EQ(IRAC_GetValue(h, 509, &list), 22u);
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(shifts[0], 0xEEEE);
    list.count = 4;
    EXPECT_EQ(IRAC_GetValue(h, 509, &list), 0u);
    EXPECT_EQ(list.resolution, 1440);
    EXPECT_EQ(std::vector<uint16_t>(shifts, shifts + 4), (std::vector<uint16_t>{7, 8, 9, 0xEEEE}));
    // The length once a pass has printed: 59.
    EXPECT_EQ(s.draw(0, 2), 0u);
    for (uint32_t r = 2; r < 200; ++r) ASSERT_EQ(s.draw(r), 0u);
    const uint32_t newLength = 300;
    EXPECT_EQ(IRAC_SetValue(h, 1, &newLength), kIcmSetState);
    EXPECT_EQ(s.d.release(), "");
}

// The callers reuse their records: the job keeps copies.
TEST(HeadDriverValues, TheJobKeepsCopiesOfTheCallersRecords) {
    StartArgs a;
    a.shifts = {1, -2, 3};
    ASSERT_EQ(a.start(), 0u);
    a.shifts.fill(99);
    a.pd.raster_width = 1;
    const IcmJob* j = reinterpret_cast<IcmJob*>(a.handle);
    EXPECT_EQ(j->pixelShift[0], 1);
    EXPECT_EQ(j->pixelShift[1], -2);
    EXPECT_EQ(j->option.pixel_shift, j->pixelShift);
    EXPECT_EQ(j->printData.raster_width, 16u);
    IRAC_EndJob(a.handle);
}

// The accessors no value code reaches, and ICM_ChangeSpecification.
TEST(HeadDriverValues, UnreachableAccessors) {
    StateJob s(1);
    IcmJob* j = s.d.job();
    uint8_t dot = 0;
    EXPECT_EQ(ICM_GetValue_DOTSIZE(j, &dot), 0u);
    EXPECT_EQ(dot, 0x11);
    IcmColourCodes codes{};
    EXPECT_EQ(ICM_GetValue_COLORCODE(j, &codes), 0u);
    EXPECT_EQ(codes.count, 6);
    uint16_t top = 1, bottom = 1, denominator = 0;
    EXPECT_EQ(ICM_GetValue_OFFAREA(j, &top, &bottom), 0u);
    EXPECT_EQ(top + bottom, 0);
    EXPECT_EQ(ICM_GetValue_VERTICAL_DENOMI(j, &denominator), 0u);
    EXPECT_EQ(denominator, 600);
    uint32_t ignoredTop = 1, ignoredBottom = 1, sets = 0;
    EXPECT_EQ(ICM_GetValue_IGNORERASTER(j, &ignoredTop, &ignoredBottom), 0u);
    EXPECT_EQ(ignoredTop + ignoredBottom, 0u);
    EXPECT_EQ(ICM_GetValue_POLMASKNUM(j, &sets), kIcmMaskSetCount);
    uint8_t records[32];
    IcmPolMaskSets io{1, records};
    EXPECT_EQ(ICM_GetValue_POLMASKSET(j, &io), 22u);
    EXPECT_EQ(ICM_GetValue_LOSS_NOZZLE_COMPLEMENT(j), 0u);
    EXPECT_EQ(ICM_SetValue_PMC_PARAM(j, 3), 0u);
    EXPECT_EQ(ICM_SetValue_PMC_PARAM(j, -1), kCcmnNegativeMaximum);
    EXPECT_TRUE(ICM_IsStatusBeforeStartPage(j));
    IcmCuring curing{};
    IcmNextSchedule next{};
    EXPECT_EQ(ICM_GetValue_CURING(j, &curing), kIcmValueState);
    const MleMirList* mir = nullptr;
    EXPECT_EQ(ICM_GetValue_MIR(j, &mir), kIcmValueState);
    EXPECT_EQ(ICM_ChangeSpecification(j, 0, 400), kIcmChangeState);
    ASSERT_EQ(IRAC_StartPage(s.d.handle, 0, s.inks.data()), 0u);
    EXPECT_FALSE(ICM_IsStatusBeforeStartPage(j));
    EXPECT_EQ(ICM_GetValue_CURING(j, &curing), 0u);
    EXPECT_EQ(curing.pitch, 1);
    EXPECT_EQ(curing.bufferingEnd, 180u);
    EXPECT_EQ(ICM_GetValue_NEXTMW_SCHEDULE(j, &next), 0u);
    EXPECT_EQ(next.last, 179);
    EXPECT_EQ(ICM_ChangeSpecification(j, 0, 400), kIcmFeedsNotSuppressed);
    j->option.page_flag = 1;  // the feed suppression no caller can set
    EXPECT_EQ(ICM_ChangeSpecification(j, 1, 400), kIcmChangeRefused);
    EXPECT_EQ(ICM_ChangeSpecification(j, 0, 100), kIcmChangeRefused);
    j->option.page_flag = 0;
    EXPECT_EQ(ICM_SetOn_Rasterdata_forLayeredHT(j), 0u);
    EXPECT_EQ(s.d.release(), "");
}

// Horizontal positions of the cycle block and the corrections of the
// vertical one, from the blocks' tables.
TEST(HeadDriverValues, CycleAndCorrectionArithmetic) {
    {
        ModelHeadControl hc = variant(HcVariant::DriverCycle);
        hc.modes[0].value0 = 2;
        hc.modes[0].color_num = 2;
        hc.modes[0].block_b = {3, {1, 2}, {10, 11, 20, 21}};
        StateJob s(1, hc);
        ASSERT_EQ(s.d.code, 0u);
        IcmJob* j = s.d.job();
        int32_t p = 0;
        // (left 0 + 16 bytes x 8 / 2 bits) x 3 / 2 + entry (shift + index x 2).
        EXPECT_EQ(ICM_Calc_hpos(j, 1, 16, &p), 0u);
        EXPECT_EQ(p, 96 + 11);
        j->cycle->index = 1;
        EXPECT_EQ(ICM_Calc_hpos(j, 0, 0, &p), 0u);
        EXPECT_EQ(p, 20);
        j->cycle->index = 2;  // past the table
        EXPECT_EQ(ICM_Calc_hpos(j, 0, 0, &p), kIcmBadModelValue);
    }
    {
        // d = (new - last) x 900; d / 600 rounded up on the first call, down
        // after; plus the list's entry of the call.
        ModelHeadControl hc = variant(HcVariant::DriverCorrected);
        hc.modes[0].block_d = {900, {5, 1}};
        StateJob s(1, hc);
        IcmJob* j = s.d.job();
        *j->correction = IcmCorrectionBlock{0, 0};
        const int32_t want[] = {2 + 5, 1 + 1, -3 + 5};  // 1.5 up, 1.5 down, -3
        const uint32_t positions[] = {1, 2, 0};
        for (int k = 0; k < 3; ++k) {
            j->ovc->pendingCorrection = 0;
            EXPECT_EQ(ICM_Calc_ARC_vpos(j, positions[k]), 0u);
            EXPECT_EQ(j->ovc->pendingCorrection, want[k]) << k;
        }
    }
}

}  // namespace
}  // namespace ovcg::irac::test
