// The driver's re-planning within a page: the rebuilt schedule of a grown
// open page, the logic switches that band-buffer searches would drive (auto-
// bottom, BRS, colour/mono; the searches find nothing in this system, so
// the switches are driven directly), the change of length, and the BRS
// and MIR queries on the pass engine's answers.
#include "head_driver_fixture.h"

#include "headcontrol/codes.h"
#include "support/model.h"
#include "support/stream_validator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;

// Sends rasters [from, to) of the page one by one; the first failing code.
uint32_t send(DriverJob& d, const Page& page, uint32_t from, uint32_t to) {
    const uint32_t colours = uint32_t(page.planes.size());
    std::vector<uint8_t> line(size_t(page.width) * colours);
    uint8_t* lines[1] = {line.data()};
    for (uint32_t r = from; r < to; ++r) {
        for (uint32_t c = 0; c < colours; ++c)
            std::copy(page.planes[c][r].begin(), page.planes[c][r].end(), line.begin() + long(c) * page.width);
        const IRACS_RASTERDATA run{lines, page.width, 1, r};
        if (uint32_t rc = IRAC_DrawData(d.handle, &run)) return rc;
    }
    return 0;
}

// The printer of the default head: every command colour 0x10 + ink at
// pitch 1, two bits per dot.
ovcg_test::VpModel default_printer() {
    ovcg_test::VpModel printer;
    printer.bits = 2;
    for (uint32_t c = 0; c < 6; ++c) printer.add(uint8_t(0x10 + c), {int(c), 0, 1});
    return printer;
}

// Every dot of rasters [0, rows) of the page once, nothing else.
void expect_printed(const DriverJob& d, const Page& page, uint32_t rows) {
    const auto read = ovcg_test::RunVirtualPrinter(default_printer(), sent_from(d.ovf, 0));
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.pages.size(), 1u);
    EXPECT_EQ(read.pages[0].twice, 0u) << read.pages[0].firstTwice;
    Page cut = page;
    for (auto& plane : cut.planes) plane.resize(rows);
    cut.length = rows;
    for (uint32_t c = 0; c < 6; ++c) {
        const auto printed = read.pages[0].planes.find(int(c));
        const ovcg_test::VpPlane none;
        EXPECT_EQ(plane_difference(printed == read.pages[0].planes.end() ? none : printed->second,
                                   expected_plane(cut, c, 0, 0, 2)),
                  "")
            << "ink " << c;
    }
}

// ---- The schedule of a grown open page ------------------------------------------------------

// An open page of the default logic with rasters 0-199 sent: pass 0 (at 0)
// printed, pass 1 at 180 next. The schedule change then plans logic 0 for
// the given length: a pass standing further on than the current position
// becomes it, one standing above the head is refused, one the new plan
// lacks fails its head table.
TEST(HeadDriverReplan, ScheduleChangeOfAGrownPage) {
    const struct {
        const char* what;
        int32_t position;  // the current pass position before
        int64_t length;
        uint32_t code;
        int32_t after;
    } cases[] = {
        {"the pass stands further on", 100, 400, 0, 180},
        {"the pass stands above the head", 300, 400, kIcmScheduleBehind, 300},
        {"the plan has no such pass", 180, 100, kMleChangeFailed, 180},
    };
    std::mt19937 rng(11);
    const Page page = random_page(rng, PageKind::Sparse, 6, 400, 16);
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        DriverJob d(variant(HcVariant::Default), JobRequest{3, 16, IRAC_OPEN_PAGE_LENGTH});
        ASSERT_EQ(IRAC_StartPage(d.handle, page.left, model_inks().data()), 0u);
        ASSERT_EQ(send(d, page, 0, 200), 0u);
        IcmJob* j = d.job();
        ASSERT_EQ(j->passCounter, 1);
        j->passPosition = t.position;
        j->printLength = t.length;
        j->scheduleChange = 1;
        j->bufferingEnd = 0;
        EXPECT_EQ(ICM_Draw_Rasterdata(j), t.code);
        EXPECT_EQ(j->passPosition, t.after);
        EXPECT_EQ(j->mle->schedule.scheduleLength, uint32_t(t.length));
        if (t.code == 0) {
            EXPECT_EQ(j->bufferingEnd, t.after + 180);  // an open page's end is not capped
        }
        EXPECT_EQ(d.release(), "");
    }
}

// ---- Auto-bottom ---------------------------------------------------------------------------

// The bottom range at page start: the page length plus the margin (0 here)
// less the lower-edge logic's lower span (16); the normal pass that first
// reaches 179 rasters above the page end stands at 360 (page 400), the
// range from there. A page shorter than the head has none: the block stays
// disarmed and the page prints.
TEST(HeadDriverReplan, AutoBottomRangeAtPageStart) {
    const struct {
        const char* what;
        uint32_t length;
        bool flag;
        IcmAutoBottomBlock block;
    } cases[] = {
        {"a page of 400", 400, true, {1, 360, 24}},
        {"a page of 560", 560, true, {1, 540, 4}},
        {"a page shorter than the head", 150, true, {0, 0, 0}},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = variant(HcVariant::DriverSwitches);
        for (auto& s : hc.modes[0].sub_modes) s.min_length = 100;
        DriverJob d(hc, JobRequest{1, 16, t.length});
        ASSERT_EQ(d.code, 0u);
        std::mt19937 rng(t.length);
        const Page page = random_page(rng, PageKind::Sparse, 6, t.length, 16);
        ASSERT_EQ(IRAC_StartPage(d.handle, page.left, model_inks().data()), 0u);
        const IcmAutoBottomBlock& a = *d.job()->autoBottom;
        EXPECT_EQ(a.armed, t.block.armed);
        EXPECT_EQ(a.top, t.block.top);
        EXPECT_EQ(a.length, t.block.length);
        // Its searches find nothing: the page prints with its own logic.
        ASSERT_EQ(send(d, page, 0, t.length), 0u);
        ASSERT_EQ(IRAC_EndPage(d.handle), 0u);
        expect_printed(d, page, t.length);
        EXPECT_EQ(d.release(), "");
    }
}

// ---- Logic switches ----------------------------------------------------------------------------

// DriverSwitches on a page of 400 with rasters 0-199 sent (pass 1 at 180
// next). Kind 3 plans the Lower logic for 384 (400 less its lower span) and
// keeps pass 1: its normal pass at 8. Kind 2 loads the passes feeding 60
// moved down to the raster, from pass 0; kind 1 the mono copy, likewise.
TEST(HeadDriverReplan, LogicSwitchesDrivenDirectly) {
    const struct {
        const char* what;
        std::function<uint32_t(IcmJob*)> call;
        std::function<void(ModelHeadControl&)> change;
        uint32_t code;
        int32_t position;
        uint32_t scheduleLength;
    } cases[] = {
        {"the bottom logic", ICM_SwitchToBottomLogic, {}, 0, 8, 384},
        {"the BRS lower logic at 250", [](IcmJob* j) { return ICM_SwitchToBrsLowerLogic(j, 250); }, {}, 0, 250, 400},
        {"the mono logic at 300", [](IcmJob* j) { return ICM_ChangeLogic(j, 1, 300); }, {}, 0, 300, 400},
        {"logic 0 for 600 rasters", [](IcmJob* j) { return ICM_ChangeLogic(j, -1, 600); }, {}, 0, 180, 600},
        {"a BRS raster above the page", [](IcmJob* j) { return ICM_SwitchToBrsLowerLogic(j, -1); }, {}, kIcmBadRun, 180,
         400},
        {"a logic selector past the slots", [](IcmJob* j) { return ICM_ChangeLogic(j, 4, 0); }, {}, kMleNoLogic, 180, 400},
        {"a slot without logic", ICM_SwitchToBottomLogic,
         [](ModelHeadControl& hc) {
             for (auto& s : hc.modes[0].sub_modes) s.units[3] = {-1, -1};
         },
         kMleNoLogic, 180, 400},
    };
    std::mt19937 rng(12);
    const Page page = random_page(rng, PageKind::Sparse, 6, 400, 16);
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = variant(HcVariant::DriverSwitches);
        if (t.change) t.change(hc);
        DriverJob d(hc);
        ASSERT_EQ(IRAC_StartPage(d.handle, page.left, model_inks().data()), 0u);
        ASSERT_EQ(send(d, page, 0, 200), 0u);
        IcmJob* j = d.job();
        ASSERT_EQ(j->passPosition, 180);
        j->brs->armed = 1;
        EXPECT_EQ(t.call(j), t.code);
        EXPECT_EQ(j->passPosition, t.position);
        EXPECT_EQ(j->mle->schedule.scheduleLength, t.scheduleLength);
        if (t.code == 0) {
            EXPECT_EQ(j->bufferingEnd, std::min(t.position + 180, 400));
            EXPECT_EQ(j->brs->armed, t.position == 180 || t.position == 300 ? 1 : 0);
        }
        if (t.position == 250) {
            EXPECT_EQ(j->brs->switched, 1);
            EXPECT_EQ(j->brs->raster, 250);
            EXPECT_EQ(j->mle->passNo, 0);
        }
        EXPECT_EQ(d.release(), "");
    }
}

// The BRS block armed: its search finds nothing, so the passes step on to
// the next cycle boundary (every pass, cycle 1) without printing.
TEST(HeadDriverReplan, ArmedBrsStepsPassesWithoutPrinting) {
    std::mt19937 rng(13);
    const Page page = random_page(rng, PageKind::Dense, 6, 400, 16);
    DriverJob d(variant(HcVariant::DriverSwitches));
    ASSERT_EQ(IRAC_StartPage(d.handle, page.left, model_inks().data()), 0u);
    const size_t start = d.ovf.sent().size();
    d.job()->brs->armed = 1;
    ASSERT_EQ(send(d, page, 0, 400), 0u);
    ASSERT_EQ(IRAC_EndPage(d.handle), 0u);
    EXPECT_EQ(d.job()->passCounter, 3);
    const auto check = ovcg_test::ValidateStream(sent_from(d.ovf, start));
    EXPECT_EQ(check.count("ESC i"), 0u);
    EXPECT_EQ(d.release(), "");
}

// Colour to mono at 200 and back at 300: the colour passes print rasters
// 0-199, the mono copy moved to 200 prints 200-299 with the upper nozzle
// line (K) alone, the colour logic moved to 300 the rest; each switch sends
// its selection once.
TEST(HeadDriverReplan, ColourMonoSwitchesPrintEachRasterOnce) {
    std::mt19937 rng(14);
    const Page page = random_page(rng, PageKind::Dense, 6, 400, 8);
    Page printed = page;
    for (uint32_t c = 1; c < 6; ++c)
        for (uint32_t r = 200; r < 300; ++r) std::fill(printed.planes[c][r].begin(), printed.planes[c][r].end(), 0);
    DriverJob d(variant(HcVariant::DriverSwitches), JobRequest{1, 8, 400});
    ASSERT_EQ(IRAC_StartPage(d.handle, page.left, model_inks().data()), 0u);
    IcmJob* j = d.job();
    ICM_QueueColourMonoSwitch(j, 200);
    EXPECT_EQ(j->colourMono->kind, 2);
    bool back = false;
    for (uint32_t r = 0; r < 400; ++r) {
        ASSERT_EQ(send(d, page, r, r + 1), 0u);
        if (!back && j->colourMono->kind == 3) {
            EXPECT_EQ(j->passPosition, 200);
            ICM_QueueColourMonoSwitch(j, 300);
            back = true;
        }
    }
    ASSERT_EQ(IRAC_EndPage(d.handle), 0u);
    EXPECT_EQ(j->colourMono->kind, 1);
    std::vector<uint8_t> selections;
    for (const auto& piece : d.ovf.sent())
        if (piece.bytes.size() == 7 && piece.bytes[0] == 0x1B && piece.bytes[2] == 0x4B) selections.push_back(piece.bytes[6]);
    EXPECT_EQ(selections, (std::vector<uint8_t>{1, 2}));
    expect_printed(d, printed, 400);
    EXPECT_EQ(d.release(), "");
}

// ---- Change of length ------------------------------------------------------------------------

// Feeds suppressed (the page flag no caller can set), a page of 400 with
// rasters 0-199 sent: pass 0 printed, pass 1 (180) next.
TEST(HeadDriverReplan, ChangeSpecification) {
    const struct {
        const char* what;
        std::function<void(ModelHeadControl&)> change;
        bool suppressed;
        int32_t back, length;
        uint32_t code, state;
        int32_t position;
    } cases[] = {
        {"feeds not suppressed", {}, false, 0, 300, kIcmFeedsNotSuppressed, 2, 180},
        {"more passes back than made", {}, true, 2, 300, kIcmChangeRefused, 2, 180},
        {"passes back below 0", {}, true, -1, 300, kIcmChangeRefused, 2, 180},
        {"below the minimum length", {}, true, 0, 179, kIcmChangeRefused, 2, 180},
        {"a length within the ignored rasters",
         [](ModelHeadControl& hc) {
             for (auto& s : hc.modes[0].sub_modes) s.min_length = 1, s.ignore_top = 7, s.ignore_bottom = 5;
         },
         true, 0, 12, kIcmChangeRefused, 3, 180},
        {"a plan without the current pass", {}, true, 0, 180, kMleChangeTooFar, 3, 180},
        {"one pass back", {}, true, 1, 300, 0, 2, 0},
        {"the page cut at 300", {}, true, 0, 300, 0, 2, 180},
    };
    std::mt19937 rng(15);
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = variant(HcVariant::Default);
        if (t.change) t.change(hc);
        DriverJob d(hc);
        IcmJob* j = d.job();
        j->option.page_flag = t.suppressed;
        const Page page = random_page(rng, PageKind::Sparse, 6, 400, 16);
        ASSERT_EQ(IRAC_StartPage(d.handle, page.left, model_inks().data()), 0u);
        const uint32_t ignored = j->res->subModeValue2;
        ASSERT_EQ(send(d, page, 0, 200 + ignored), 0u);
        EXPECT_EQ(ICM_ChangeSpecification(j, t.back, t.length), t.code);
        EXPECT_EQ(j->state, t.state);
        EXPECT_EQ(j->passPosition, t.position);
        if (t.code == 0) {
            EXPECT_EQ(j->printLength, t.length);
            EXPECT_EQ(j->passCounter, 1 - t.back);
            EXPECT_EQ(j->stored, std::min(std::max(200, t.position + 180), t.length));  // the current pass can print
            EXPECT_EQ(j->nextExpected, j->stored);
            EXPECT_EQ(ICM_ChangeSpecification(j, 0, t.length), kIcmChangedBefore);
            EXPECT_EQ(j->state, uint32_t(kIcmDrawFailed));
        }
        if (t.back == 0 && t.code == 0) {
            // Raster 300 on lies past the cut page; the rest is blank.
            j->state = kIcmPageOpen;
            ASSERT_EQ(IRAC_EndPage(d.handle), 0u);
            expect_printed(d, page, 200);
        }
        EXPECT_EQ(d.release(), "");
    }
}

// ---- Queries -----------------------------------------------------------------------------------

// Value code 1 of a BRS logic (second flag word 0x8000) on the Lower logic,
// page 45 (normal passes 0, 8, 16, the first lower pass at 20). With the
// calculation method 1 the corrected lower position (with positioning the
// first lower pass less 1, 19; without it the last normal pass, 16) and the
// positioning gap (8 less the step 16 -> 20); without it the switching
// position. The position is made even, or rounded to the unit raster.
TEST(HeadDriverReplan, BrsValuesAtPageStart) {
    const struct {
        const char* what;
        uint16_t logicFlags;
        uint32_t method, functionFlags, unit;
        int16_t lowerValue;
        uint32_t code, position, gap;
    } cases[] = {
        {"positioning", 0x1, 1, 0, 0, 0, 0, 20, 4},
        {"positioning, unit raster 8", 0x1, 1, 0, 8, 0, 0, 16, 4},
        {"no positioning", 0, 1, 0, 0, 0, 0, 16, 0},
        {"a lower pass further than the normal feed", 0x1, 1, 0, 0, 2, kMleBrsGapNegative, 0, 0},
        {"the switching position", 0x1, 0xFFFFFFFFu, 0, 0, 0, 0, 2147483647u, 0},
        {"function flag 0x1", 0x1, 1, 0x1, 0, 0, kIcmBrsFlag, 0, 0},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        ModelHeadControl hc = variant(HcVariant::Lower);
        hc.units[0].flags = t.logicFlags;
        hc.units[0].flags2 = 0x8000;
        if (t.lowerValue) hc.units[0].normal[0].value = t.lowerValue;
        hc.modes[0].function_flags |= t.functionFlags;
        hc.modes[0].value3 = 1;
        for (auto& s : hc.modes[0].sub_modes) s.brs_method = t.method;
        DriverJob d(hc, JobRequest{1, 4, 45, 1});
        ASSERT_EQ(d.code, 0u);
        const uint8_t ink = ovcg_test::model_ink_code('K');
        ASSERT_EQ(IRAC_StartPage(d.handle, 0, &ink), 0u);
        if (t.unit) {
            ASSERT_EQ(IRAC_SetValue(d.handle, IRAC_SET_UNITRASTER, &t.unit), 0u);
        }
        IRACS_BRS_PAGE out{};
        EXPECT_EQ(IRAC_GetValue(d.handle, IRAC_GET_BRS_STARTPAGE, &out), t.code);
        EXPECT_EQ(out.position, t.position);
        EXPECT_EQ(out.gap, t.gap);
        EXPECT_EQ(d.job()->mle->table.headPos, 0);  // the current pass's table is back
        EXPECT_EQ(d.release(), "");
    }
}

// The per-pass feed list: the pass engine's, in page state before the
// first pass. DriverFTrans on 57: normal, F-trans (five passes and the null
// pass (10, 3): six values, the fourth 0) and lower sections.
TEST(HeadDriverReplan, MirList) {
    DriverJob d(variant(HcVariant::DriverFTrans), JobRequest{1, 4, 57, 1});
    IcmJob* j = d.job();
    const MleMirList* list = nullptr;
    EXPECT_EQ(ICM_GetValue_MIR(j, &list), kIcmValueState);
    const uint8_t ink = ovcg_test::model_ink_code('K');
    ASSERT_EQ(IRAC_StartPage(d.handle, 0, &ink), 0u);
    ASSERT_EQ(ICM_GetValue_MIR(j, &list), 0u);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->sectionCount, 3u);
    EXPECT_EQ(list->sections[0].kind, 3u);
    EXPECT_EQ(list->sections[1].kind, 5u);
    EXPECT_EQ(list->sections[2].kind, 6u);
    const MleMirSection& f = list->sections[1];
    EXPECT_EQ(f.passes, 5u);
    EXPECT_EQ(std::vector<uint32_t>(f.values, f.values + f.valueCount), (std::vector<uint32_t>{4, 4, 4, 0, 4, 4}));
    std::vector<uint8_t> line(4, 0x40);
    uint8_t* lines[1] = {line.data()};
    for (uint32_t r = 0; r < 20; ++r) {
        const IRACS_RASTERDATA run{lines, 4, 1, r};
        ASSERT_EQ(IRAC_DrawData(d.handle, &run), 0u);
    }
    ASSERT_GT(j->passCounter, 0);
    EXPECT_EQ(ICM_GetValue_MIR(j, &list), kIcmAfterFirstPass);
    EXPECT_EQ(d.release(), "");
}

}  // namespace
}  // namespace ovcg::irac::test
