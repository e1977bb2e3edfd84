// The driver's less travelled paths through the entry points, a row each:
// stacked halftoning (two nozzle lines an ink), the colours of further
// heads, the grouping's row order, a run past a fixed page, the multi-line
// code buffer of a split-order model, and page ends on the boundaries of
// the moving-range rows. A row sets up the model, starts a job and a page
// and checks what follows; run under the sanitizers, a write past the
// driver's line tables shows there.
#include "head_driver_fixture.h"

#include "headcontrol/codes.h"
#include "support/model.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;
using ovcg_test::VpLineMap;
using ovcg_test::VpModel;

constexpr uint8_t kInkK = 0, kInkC = 1, kInkGrouped = 8;

// Stacked halftoning: the colour table lists an ink once for each of its
// nozzle lines, here K on lines 0x10 and 0x20, C on 0x11 and 0x21 (and, when
// `third`, K once more on 0x22, a line without its pair).
ModelHeadControl stacked(bool third = false) {
    ModelHeadControl hc = variant(HcVariant::Default);
    ovcg_test::HcMode& m = hc.modes[0];
    m.function_flags |= 0x10000;
    const size_t arrays = m.color_order.size();
    m.lht.starts.assign(arrays, {0});
    m.lht.halftones.assign(arrays, {0});
    m.lht.stacked = 1;
    hc.color_table = {{kInkK, 0x10}, {kInkK, 0x20}, {kInkC, 0x11}, {kInkC, 0x21}};
    m.color_order = {0x10, 0x20, 0x11, 0x21};
    if (third) {
        hc.color_table = {{kInkK, 0x10}, {kInkK, 0x20}, {kInkK, 0x22}};
        m.color_order = {0x10, 0x20, 0x22};
    }
    m.color_order.resize(arrays, 0);
    return hc;
}

// The grouped nozzle line: ink 8 prints with K's line; their rows' shifts
// (the grouping's order values) as given. Every pass prints 90 nozzles of
// the pattern, moved by the row's shift.
ModelHeadControl grouped(uint16_t shiftK, uint16_t shiftGrouped) {
    ModelHeadControl hc = variant(HcVariant::DriverGrouped);
    hc.modes[0].block_e.shifts[0] = shiftK;
    hc.modes[0].block_e.shifts[1] = shiftGrouped;
    return hc;
}
const std::vector<uint8_t> kGroupedInks = {kInkK, kInkGrouped, 1, 2, 3, 4, 5};

// A random page of the job's inks through the entry points, read back by
// the virtual printer: "" when every canvas holds the planes `planesOf`
// names for it (merged), and nothing was printed twice.
std::string print_and_read(DriverJob& d, const std::vector<uint8_t>& inks, const VpModel& printer,
                           const std::vector<std::vector<uint32_t>>& planesOf, uint32_t length, uint32_t setLength,
                           uint32_t seed) {
    std::mt19937 rng(seed);
    Page page = random_page(rng, PageKind::Dense, uint32_t(inks.size()), length, 6);
    page.left = 0;  // the page was started at the left edge
    // Planes merged into one canvas print where the others have no dots.
    for (const std::vector<uint32_t>& planes : planesOf)
        for (size_t k = 1; k < planes.size(); ++k)
            for (uint32_t r = 0; r < length; ++r)
                for (uint32_t i = 0; i < page.width; ++i)
                    for (size_t e = 0; e < k; ++e) page.planes[planes[k]][r][i] &= uint8_t(~page.planes[planes[e]][r][i]);
    const size_t from = d.ovf.sent().size();
    if (uint32_t rc = print_page(d, page, inks, rng, true, 3, setLength, false)) return "page code " + std::to_string(rc);
    const ovcg_test::VpResult read = ovcg_test::RunVirtualPrinter(printer, sent_from(d.ovf, from));
    if (!read.ok) return "stream: " + read.error;
    if (read.pages.size() != 1) return "pages: " + std::to_string(read.pages.size());
    const ovcg_test::VpPage& p = read.pages[0];
    std::string out;
    if (p.twice) out += "printed twice: " + p.firstTwice + "; ";
    for (size_t canvas = 0; canvas < planesOf.size(); ++canvas) {
        ovcg_test::VpPlane expected;
        for (uint32_t plane : planesOf[canvas]) expected.merge(expected_plane(page, plane, 0, 0, printer.bits));
        const auto printed = p.planes.find(int(canvas));
        const std::string diff =
            ovcg_test::plane_difference(printed == p.planes.end() ? ovcg_test::VpPlane{} : printed->second, expected);
        if (!diff.empty()) out += "canvas " + std::to_string(canvas) + ": " + diff + "; ";
    }
    return out;
}

// Sends rasters [first, first + count) of blank lines: the first failing code.
uint32_t draw_blank(DriverJob& d, uint32_t first, uint32_t count) {
    std::vector<uint8_t> line(size_t(d.request.rasterWidth) * d.request.colours, 0);
    uint8_t* lines[2] = {line.data(), line.data()};
    for (uint32_t r = first; r < first + count; r += 2) {
        const IRACS_RASTERDATA run{lines, d.request.rasterWidth, std::min(2u, first + count - r), r};
        if (uint32_t rc = IRAC_DrawData(d.handle, &run)) return rc;
    }
    return 0;
}

// The edge logics' printer: colour 0x10 + c prints ink c at pitch 1, V from `start`.
VpModel edge_printer(size_t inks, int64_t start) {
    VpModel m;
    m.start = start;
    m.bits = 2;
    for (size_t c = 0; c < inks; ++c) m.add(uint8_t(0x10 + c), VpLineMap{int(c), 0, 1});
    return m;
}
std::vector<std::vector<uint32_t>> one_each(size_t inks) {
    std::vector<std::vector<uint32_t>> p;
    for (uint32_t c = 0; c < inks; ++c) p.push_back({c});
    return p;
}

struct PathCase {
    const char* what;
    std::function<ModelHeadControl()> model;
    std::vector<uint8_t> inks;
    JobRequest job;
    uint32_t pageStart;  // IRAC_StartPage's code
    std::function<void(DriverJob&)> then;
};

std::vector<PathCase> path_cases() {
    const std::vector<uint8_t> six = model_inks();
    std::vector<PathCase> v;
    // ---- Stacked halftoning: lines = colour-table entries; each page ink
    // takes its entry and the next entry of the same ink.
    // K, C, K: K and C fill the four lines, the second K finds none left.
    v.push_back({"stacked: more inks than line pairs", [] { return stacked(); }, {kInkK, kInkC, kInkK},
                 JobRequest{1, 8, 200, 3}, kIcmNotInColourTable, {}});
    // K, K on three lines: the second K's first line is the last; its
    // second finds none left.
    v.push_back({"stacked: a second line past the lines", [] { return stacked(true); }, {kInkK, kInkK},
                 JobRequest{1, 8, 200, 2}, kIcmNotInColourTable, {}});
    v.push_back({"stacked: an ink without its second line", [] { return stacked(true); }, {kInkC},
                 JobRequest{1, 8, 200, 1}, kIcmNotInColourTable, {}});
    // Each ink's second line prints the ink's plane in its own colour.
    v.push_back({"stacked: each line in its colour", [] { return stacked(); }, {kInkK, kInkC}, JobRequest{1, 6, 400, 2},
                 0, [](DriverJob& d) {
                     VpModel printer;
                     printer.bits = 2;
                     const uint8_t colours[4] = {0x10, 0x20, 0x11, 0x21};
                     for (int k = 0; k < 4; ++k) printer.add(colours[k], VpLineMap{k, 0, 1});
                     EXPECT_EQ(print_and_read(d, {kInkK, kInkC}, printer, {{0}, {0}, {1}, {1}}, 400, 0, 1), "");
                 }});
    // ---- Further heads take each column's colour at its place in the
    // head's part of the colour order: one missing from head 0's part is
    // refused before the pass engine sees the page.
    v.push_back({"two heads: a page colour missing from head 0's order",
                 [] {
                     ModelHeadControl hc = variant(HcVariant::TwoHeads);
                     hc.modes[0].color_order[5] = 0;
                     return hc;
                 },
                 six, JobRequest{}, kIcmNotInColourTable, {}});
    v.push_back({"one head: the same colour refused by the pass engine",
                 [] {
                     ModelHeadControl hc = variant(HcVariant::Default);
                     hc.modes[0].color_order[5] = 0;
                     return hc;
                 },
                 six, JobRequest{}, kMleUnknownInk, {}});
    v.push_back({"two heads: head 1 prints its own colours",
                 [] { return variant(HcVariant::DriverTwoHeads); }, six, JobRequest{1, 6, 400, 6}, 0,
                 [](DriverJob& d) {
                     VpModel printer;
                     printer.bits = 2;
                     for (uint8_t c = 0; c < 6; ++c) {
                         printer.add(uint8_t(0x10 + c), VpLineMap{c, 0, 1});
                         printer.add(uint8_t(0x20 + c), VpLineMap{c, 88, 1});
                     }
                     EXPECT_EQ(print_and_read(d, model_inks(), printer, one_each(6), 400, 0, 2), "");
                 }});
    // ---- The grouping: a column's rows by ascending order value (the row
    // shift), equal values in the page's order.
    auto groupedPrinter = [] {
        VpModel printer = edge_printer(7, -90);
        printer.lines.erase({uint8_t(0x30), uint8_t(0)});
        printer.add(0x10, VpLineMap{0, 0, 1});
        for (uint8_t c = 1; c < 6; ++c) printer.add(uint8_t(0x10 + c), VpLineMap{c, 0, 1});
        return printer;
    };
    const std::vector<std::vector<uint32_t>> groupedPlanes = {{0, 1}, {2}, {3}, {4}, {5}, {6}};
    v.push_back({"grouping: the member's smaller order value goes first", [] { return grouped(90, 0); },
                 kGroupedInks, JobRequest{1, 6, 400, 7}, 0, [=](DriverJob& d) {
                     const IcmJob* j = d.job();
                     EXPECT_EQ(j->slotInk[0], 1);  // ink 8 (page ink 1) in row 0
                     EXPECT_EQ(j->slotInk[j->linesPerRow], 0);
                     EXPECT_EQ(print_and_read(d, kGroupedInks, groupedPrinter(), groupedPlanes, 400, 0, 3), "");
                 }});
    v.push_back({"grouping: the leader's smaller order value stays first", [] { return grouped(0, 90); },
                 kGroupedInks, JobRequest{1, 6, 400, 7}, 0, [=](DriverJob& d) {
                     EXPECT_EQ(d.job()->slotInk[0], 0);
                     EXPECT_EQ(print_and_read(d, kGroupedInks, groupedPrinter(), groupedPlanes, 400, 0, 4), "");
                 }});
    // Equal values keep the page's order; the two rows then share nozzles,
    // which the first printing pass refuses.
    v.push_back({"grouping: equal order values keep the page's order", [] { return grouped(90, 90); }, kGroupedInks,
                 JobRequest{1, 6, 400, 7}, 0, [](DriverJob& d) {
                     const IcmJob* j = d.job();
                     EXPECT_EQ(j->slotInk[0], 0);
                     EXPECT_EQ(j->slotInk[j->linesPerRow], 1);
                     EXPECT_EQ(draw_blank(d, 0, 400), kIcmBlockOverflow);
                 }});
    // ---- Runs at a fixed page's end.
    v.push_back({"a run right after the last raster", [] { return variant(HcVariant::Default); }, six,
                 JobRequest{1, 16, 400, 6}, 0, [](DriverJob& d) {
                     EXPECT_EQ(draw_blank(d, 0, 400), 0u);
                     EXPECT_EQ(draw_blank(d, 400, 1), kIcmBadRun);
                     EXPECT_EQ(d.state(), uint32_t(kIcmDrawFailed));
                     EXPECT_EQ(IRAC_EndPage(d.handle), 0u);
                     EXPECT_EQ(d.state(), uint32_t(kIcmPageFailed));
                 }});
    v.push_back({"a run over the last raster is clipped", [] { return variant(HcVariant::Default); }, six,
                 JobRequest{1, 16, 400, 6}, 0, [](DriverJob& d) {
                     EXPECT_EQ(draw_blank(d, 0, 399), 0u);
                     EXPECT_EQ(draw_blank(d, 399, 2), 0u);
                     EXPECT_EQ(d.job()->stored, 400);
                     EXPECT_EQ(IRAC_EndPage(d.handle), 0u);
                 }});
    // ---- The multi-line form codes one sub-block of a split-order head
    // (360 nozzles in two sub-lines) at a time: 180 lines.
    v.push_back({"split order, multi-line form: a sub-block's code buffer",
                 [] {
                     ModelHeadControl hc = variant(HcVariant::DriverSplit);
                     hc.encoders[0].flags = 0x4;
                     return hc;
                 },
                 six, JobRequest{1, 6, 400, 6}, 0, [](DriverJob& d) {
                     const OvcContext& o = *d.job()->ovc;
                     EXPECT_EQ(d.job()->groupSize, 180);
                     EXPECT_EQ(o.codeLines, 180);
                     EXPECT_EQ(o.codeCapacity, o.codedLineSize * 180);
                     VpModel printer;
                     printer.bits = 2;
                     for (uint8_t c = 0; c < 6; ++c) {
                         printer.add(uint8_t(0x10 + c), VpLineMap{c, 0, 2});
                         printer.add(uint8_t(0x40 + c), VpLineMap{c, 1, 2});
                     }
                     EXPECT_EQ(print_and_read(d, model_inks(), printer, one_each(6), 400, 0, 5), "");
                 }});
    // ---- Page ends on a boundary of the moving-range rows (width 8 for
    // the lower logic, 6 for the lower-edge one, from 16 rasters): the
    // remainder 0 takes the first row. Fixed pages and open ones set to
    // the length.
    const struct {
        const char* what;
        HcVariant variant;
        int64_t start;
        uint32_t length;
    } edges[] = {
        {"lower passes, a page of 2 rows past the fixed part", HcVariant::Lower, 0, 32},
        {"lower passes, 14 rows", HcVariant::Lower, 0, 128},
        {"lower edge, 2 rows", HcVariant::DriverLowerEdge, -6, 28},
        {"lower edge, 17 rows", HcVariant::DriverLowerEdge, -6, 118},
        {"two moving-range tables, 3 rows", HcVariant::TwoTables, 0, 40},
    };
    // An open page set to such a length and growing by it lands on row
    // boundaries again each time it grows past its plan.
    for (const auto& e : edges)
        for (uint32_t mode : {1u, 3u, 4u}) {
            const uint32_t length = mode == 4 ? 5 * e.length + 1 : e.length;
            const uint32_t set = mode == 1 ? 0 : e.length;
            const VpModel printer = edge_printer(6, e.start);
            v.push_back({e.what, [k = e.variant] { return variant(k); }, six,
                         JobRequest{std::min(mode, 3u), 6, mode == 1 ? length : IRAC_OPEN_PAGE_LENGTH, 6}, 0,
                         [=](DriverJob& d) {
                             EXPECT_EQ(print_and_read(d, model_inks(), printer, one_each(6), length, set, length), "")
                                 << "sub-mode " << std::min(mode, 3u) << ", set to " << set << ", " << length
                                 << " rasters";
                         }});
        }
    return v;
}

TEST(HeadDriverPaths, OneRowPerPath) {
    for (const PathCase& t : path_cases()) {
        SCOPED_TRACE(t.what);
        DriverJob d(t.model(), t.job);
        ASSERT_EQ(d.code, 0u);
        const uint32_t rc = IRAC_StartPage(d.handle, 0, t.inks.data());
        EXPECT_EQ(rc, t.pageStart);
        if (rc) {
            EXPECT_EQ(d.state(), uint32_t(kIcmPageFailed));
        } else if (t.then) {
            t.then(d);
        }
        EXPECT_EQ(d.release(), "");
    }
}

}  // namespace
}  // namespace ovcg::irac::test
