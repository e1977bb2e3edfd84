// Random pages through the entry points, read back by the virtual printer:
// for every model variant the passes together print exactly the page, no
// dot twice. The printer places lines from the head as the model describes
// it (first pass position, column offsets, nozzle pitch, dot step), written
// down here from the variants' descriptions.
#include "head_driver_fixture.h"

#include "support/model.h"
#include "support/sanitized.h"

#include <gtest/gtest.h>

#include <functional>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcVariant;
using ovcg_test::ModelHeadControl;
using ovcg_test::VpLineMap;
using ovcg_test::VpModel;

struct PageCase {
    const char* name;
    HcVariant variant;
    std::function<void(ModelHeadControl&)> tweak;
    std::vector<char> inks;  // empty: K C M Y c m
    uint32_t subMode = 1;
    uint32_t optionFlags = IRAC_OPT_ENGINE;
    // The printer: V at page start, the nozzle pitch (rasters) and the dot
    // step of the plane lines, and what each command colour prints.
    int64_t start = 0;
    int64_t pitch = 1;
    int64_t step = 1;
    std::function<void(VpModel&, const std::vector<char>&)> lines;
    uint32_t top = 0, bottom = 0;  // ignored rasters
    uint32_t longest = 360;        // page lengths up to
    uint32_t shortest = 3;         // and from
    uint32_t setLength = 0;        // an open page's length set after its start (Set 1)
};

void with_pitch(VpModel& m, const std::vector<char>& inks, int64_t pitch) {
    for (size_t i = 0; i < inks.size(); ++i) m.add(ovcg_test::model_color_code(inks[i]), VpLineMap{int(i), 0, pitch});
}

std::vector<PageCase> cases() {
    auto runLength = [](int8_t m) { return [m](ModelHeadControl& hc) { hc.encoders[0].run_length = m; }; };
    auto plain = [](VpModel& m, const std::vector<char>& inks) { with_pitch(m, inks, 1); };
    std::vector<PageCase> v;
    v.push_back({"one head, pitch 1, one bit", HcVariant::DriverOneBit, {}, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"two bits", HcVariant::Default, {}, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"coding off", HcVariant::Default, runLength(0), {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"coding +1", HcVariant::DriverOneBit, runLength(1), {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"coding -1", HcVariant::Default, runLength(-1), {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"coding -2", HcVariant::DriverOneBit, runLength(-2), {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"multi-line form", HcVariant::Default, [](ModelHeadControl& hc) { hc.encoders[0].flags = 0x4; }, {},
                 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"multi-line form, coding off", HcVariant::DriverOneBit,
                 [](ModelHeadControl& hc) {
                     hc.encoders[0].flags = 0x4;
                     hc.encoders[0].run_length = 0;
                 },
                 {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"pitch 2 with overlap masks", HcVariant::DriverOverlapMasks, {}, {}, 1, IRAC_OPT_ENGINE, 0, 2, 1,
                 [](VpModel& m, const std::vector<char>& inks) { with_pitch(m, inks, 2); }});
    // Head 1 starts at virtual nozzle 88, its lines 0x10 above head 0's.
    auto twoHeads = [](VpModel& m, const std::vector<char>& inks) {
        for (size_t i = 0; i < inks.size(); ++i) {
            const uint8_t c = ovcg_test::model_color_code(inks[i]);
            m.add(c, VpLineMap{int(i), 0, 1});
            m.add(uint8_t(c + 0x10), VpLineMap{int(i), 88, 1});
        }
    };
    auto multiLine = [](ModelHeadControl& hc) { hc.encoders[0].flags = 0x4; };
    v.push_back({"two overlapping heads", HcVariant::DriverTwoHeads, {}, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, twoHeads});
    v.push_back({"two overlapping heads, multi-line form", HcVariant::DriverTwoHeads, multiLine, {}, 1,
                 IRAC_OPT_ENGINE, 0, 1, 1, twoHeads});
    // Row 2 a gradation mask of one block; the m line one raster up ranks 1,
    // so its overlap index passes the blocks and is clamped.
    v.push_back({"pitch 2, gradation masks, column offsets", HcVariant::DriverOverlapMasks,
                 [](ModelHeadControl& hc) {
                     auto& kind = hc.modes[0].layer_kinds[1];
                     kind = {};
                     kind.flags = 0x1;
                     kind.values = {0, 1, 2, 3};
                     for (uint32_t level = 0; level < 4; ++level)
                         hc.head.pol_base_a.insert(hc.head.pol_base_a.end(), {0xC3A50F96u >> level, 0x3C5AF069u << level});
                     hc.head.pol_dispersion = {3};
                     hc.modes[0].array_values = {0, 0, 0, 0, 0, 1};
                     hc.encoders[0].sub_mode_values = {361, 361};
                 },
                 {}, 1, IRAC_OPT_ENGINE, 0, 2, 1,
                 [](VpModel& m, const std::vector<char>& inks) {
                     for (size_t i = 0; i < inks.size(); ++i)
                         m.add(ovcg_test::model_color_code(inks[i]), VpLineMap{int(i), inks[i] == 'm' ? -1 : 0, 2});
                 }});
    v.push_back({"deferred feed, sub-mode 2, option 0x1", HcVariant::DriverDeferredFeed, {}, {}, 2,
                 IRAC_OPT_ENGINE | IRAC_OPT_EARLY_FEED, 0, 1, 1, plain});
    v.push_back({"deferred feed after the first raster with data", HcVariant::DriverDeferredFeed, {}, {}, 2,
                 IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"grouped nozzle line", HcVariant::DriverGrouped, {}, {'K', 'k', 'C', 'M', 'Y', 'c', 'm'}, 1,
                 IRAC_OPT_ENGINE, -90, 1, 1, plain});
    // The same line on logics that do not lift their passes by the grouped
    // row's 90 nozzles, or only by 40: the plan moves up by what they lack,
    // its first pass at -90 again, also on open pages.
    auto topOffset = [](uint16_t t) { return [t](ModelHeadControl& hc) { hc.units[0].top_offset = t; }; };
    for (uint32_t mode : {1u, 3u})
        for (uint16_t t : {uint16_t(0), uint16_t(40)})
            v.push_back({t ? "grouped nozzle line, top offset 40" : "grouped nozzle line, no top offset",
                         HcVariant::DriverGrouped, topOffset(t), {'K', 'k', 'C', 'M', 'Y', 'c', 'm'}, mode,
                         IRAC_OPT_ENGINE, -90, 1, 1, plain});
    v.push_back({"split lines", HcVariant::DriverSplit, {}, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1,
                 [](VpModel& m, const std::vector<char>& inks) {
                     for (size_t i = 0; i < inks.size(); ++i) {
                         const uint8_t c = ovcg_test::model_color_code(inks[i]);
                         m.add(c, VpLineMap{int(i), 0, 2});
                         m.add(uint8_t(c + 0x30), VpLineMap{int(i), 1, 2});
                     }
                 }});
    v.push_back({"split lines, multi-line form", HcVariant::DriverSplit, multiLine, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1,
                 v.back().lines});
    v.push_back({"cycle block", HcVariant::DriverCycle, {}, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    v.push_back({"vertical correction", HcVariant::DriverCorrected, {}, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    PageCase ignored{"ignored rasters", HcVariant::DriverIgnored, {}, {}, 1, IRAC_OPT_ENGINE, 0, 1, 1, plain};
    ignored.top = 7;
    ignored.bottom = 5;
    v.push_back(ignored);
    v.push_back({"two planes, repeat 2", HcVariant::DriverTwoPlanes, {}, {'K', 'C', 'M', 'Y'}, 1, IRAC_OPT_ENGINE, 0, 1,
                 2, plain});
    v.push_back({"open length", HcVariant::Default, {}, {'C', 'M', 'Y', 'K'}, 3, IRAC_OPT_ENGINE, 0, 1, 1, plain});
    // The interleaved logic's second overlap (passes 1 and 3, rasters 413
    // on) needs longer pages.
    for (PageCase& c : v)
        if (c.variant == HcVariant::DriverOverlapMasks) c.longest = 1400;
    // The edge logics on their head of 8 nozzles, from their shortest pages.
    const struct {
        const char* name;
        HcVariant variant;
        int64_t start, pitch;
        uint32_t shortest;
    } edges[] = {
        {"lower passes", HcVariant::Lower, 0, 1, 24},
        {"lower edge", HcVariant::DriverLowerEdge, -6, 1, 24},
        {"MWSW passes", HcVariant::DriverMwsw, 0, 1, 23},
        {"F-trans passes and null passes", HcVariant::DriverFTrans, 0, 1, 39},
        {"repeat mode", HcVariant::Repeat, -2, 1, 39},
        {"two moving-range tables", HcVariant::TwoTables, 0, 1, 24},
        {"lower-edge logic in slot 3", HcVariant::LowerEdgeSlot, 0, 1, 24},
        {"interleaved lower passes", HcVariant::LowerInterleaved, 0, 2, 105},
    };
    // Nozzle lines standing higher on the head (array values: rasters)
    // print each pass's rasters higher up; the page is planned for the
    // highest, whose last rasters the other lines' passes no longer reach.
    auto offsets = [](std::vector<uint16_t> values, uint32_t margin) {
        return [values, margin](ModelHeadControl& hc) {
            hc.modes[0].array_values = values;
            hc.modes[0].array_values.resize(hc.modes[0].color_order.size(), 0);
            hc.encoders[0].sub_mode_values.assign(hc.modes[0].sub_modes.size(), margin);
        };
    };
    auto shifted = [](std::vector<int64_t> values, int64_t pitch) {
        return [values, pitch](VpModel& m, const std::vector<char>& inks) {
            for (size_t i = 0; i < inks.size(); ++i)
                m.add(ovcg_test::model_color_code(inks[i]), VpLineMap{int(i), -values[i], pitch});
        };
    };
    v.push_back({"nozzle-line offsets", HcVariant::Default, offsets({0, 12, 4, 12, 30, 7}, 210), {}, 1,
                 IRAC_OPT_ENGINE, 0, 1, 1, shifted({0, 12, 4, 12, 30, 7}, 1)});
    v.push_back({"nozzle-line offsets, open length", HcVariant::Default, offsets({0, 12, 4, 12, 30, 7}, 210), {}, 3,
                 IRAC_OPT_ENGINE, 0, 1, 1, shifted({0, 12, 4, 12, 30, 7}, 1)});
    {
        PageCase c{"lower passes, nozzle-line offsets", HcVariant::Lower, offsets({0, 3, 1, 5, 2, 4}, 13), {}, 1,
                   IRAC_OPT_ENGINE, 0, 1, 1, shifted({0, 3, 1, 5, 2, 4}, 1)};
        c.shortest = 24;
        c.longest = 200;
        v.push_back(c);
        c.name = "interleaved lower passes, nozzle-line offsets";
        c.variant = HcVariant::LowerInterleaved;
        c.tweak = offsets({0, 3, 1, 5, 2, 4}, 37);
        c.pitch = 2;
        c.lines = shifted({0, 3, 1, 5, 2, 4}, 2);
        c.shortest = 105;
        v.push_back(c);
    }
    // Each in sub-mode 1, on an open page, and on an open page set to its
    // shortest length, which the page grows past again and again.
    for (const auto& e : edges)
        for (uint32_t mode : {1u, 3u, 4u}) {
            PageCase c{e.name, e.variant, {}, {}, std::min(mode, 3u), IRAC_OPT_ENGINE, e.start, e.pitch, 1,
                       [p = e.pitch](VpModel& m, const std::vector<char>& inks) { with_pitch(m, inks, p); }};
            c.shortest = e.shortest;
            c.longest = 200;
            if (mode == 4) c.setLength = e.shortest;
            v.push_back(c);
        }
    return v;
}

std::vector<uint8_t> ink_codes(const std::vector<char>& inks) {
    std::vector<uint8_t> codes;
    for (char c : inks) codes.push_back(c == 'k' ? 8 : ovcg_test::model_ink_code(c));
    return codes;
}

// One random page of a case through a fresh job, read back: every dot of
// the page once, no feed without a printing pass.
void print_and_read(const PageCase& t, const ModelHeadControl& hc, const VpModel& printer, const Page& page,
                    const std::vector<uint8_t>& inks, std::mt19937& rng, int n) {
    const bool grouped = t.variant == HcVariant::DriverGrouped;
    const int bits = printer.bits;
    JobRequest q;
    q.subMode = t.subMode;
    q.rasterWidth = page.width;
    q.pageLength = t.subMode == 3 ? IRAC_OPEN_PAGE_LENGTH : page.length;
    q.colours = uint16_t(inks.size());
    q.optionFlags = t.optionFlags;
    DriverJob d(hc, q);
    ASSERT_EQ(d.code, 0u);
    const size_t from = d.ovf.sent().size();
    ASSERT_EQ(print_page(d, page, inks, rng, true, 3, t.setLength), 0u) << "page " << n;
    const ovcg_test::VpResult read = ovcg_test::RunVirtualPrinter(printer, sent_from(d.ovf, from));
    ASSERT_TRUE(read.ok) << "page " << n << ": " << read.error << " at " << read.errorOffset;
    ASSERT_EQ(read.pages.size(), 1u);
    const ovcg_test::VpPage& p = read.pages[0];
    EXPECT_EQ(p.twice, 0u) << "page " << n << ": " << p.firstTwice;
    for (size_t c = 0; c < inks.size(); ++c) {
        if (grouped && c == 1) continue;
        ovcg_test::VpPlane expected = expected_plane(page, uint32_t(c), t.top, t.bottom, bits);
        if (grouped && c == 0) expected.merge(expected_plane(page, 1, t.top, t.bottom, bits));
        const auto printed = p.planes.find(int(c));
        const ovcg_test::VpPlane none;
        EXPECT_EQ(plane_difference(printed == p.planes.end() ? none : printed->second, expected), "")
            << "page " << n << ", ink " << c << ", width " << page.width << ", length " << page.length
            << ", left " << page.left;
    }
    // Null passes send zero feeds; every other feed is a printing pass's.
    size_t feed = 0;
    for (size_t k = 0; k < p.commands.size(); ++k) {
        EXPECT_EQ(p.commands[k].bytesPerLine % 2, 0) << "page " << n;
        size_t moves = 0;
        for (size_t f = 0; f < p.feedsBeforeCommand[k]; ++f) moves += p.feeds[feed++] != 0;
        EXPECT_LE(moves, 1u) << "page " << n << ": feeds without a printing pass";
    }
    EXPECT_EQ(d.release(), "");
}

// A grouped line's logic without the top offset its row needs prints, once
// the plan has moved up, exactly what the logic with it prints: the same
// bytes for the same page.
TEST(HeadDriverPages, AGroupedLineWithoutItsTopOffsetSendsWhatTheLogicWithItSends) {
    std::mt19937 rng(44);
    const std::vector<uint8_t> inks = ink_codes({'K', 'k', 'C', 'M', 'Y', 'c', 'm'});
    for (uint32_t length : {1u, 89u, 90u, 91u, 400u, 1003u}) {
        Page page = random_page(rng, PageKind::Dense, uint32_t(inks.size()), length, 8);
        for (uint32_t r = 0; r < length; ++r)
            for (uint32_t i = 0; i < page.width; ++i) page.planes[1][r][i] &= uint8_t(~page.planes[0][r][i]);
        std::vector<uint8_t> sent[2];
        for (uint16_t t : {uint16_t(90), uint16_t(0)}) {
            ModelHeadControl hc = variant(HcVariant::DriverGrouped);
            hc.units[0].top_offset = t;
            DriverJob d(hc, JobRequest{1, page.width, length, uint16_t(inks.size())});
            ASSERT_EQ(d.code, 0u);
            std::mt19937 runs(length);  // the same runs for both
            ASSERT_EQ(print_page(d, page, inks, runs), 0u) << length;
            sent[t ? 0 : 1] = sent_from(d.ovf, 0);
            EXPECT_EQ(d.release(), "");
        }
        EXPECT_FALSE(sent[0].empty());
        EXPECT_EQ(sent[0], sent[1]) << length;
    }
}

int result_parts() { return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count(); }

TEST(HeadDriverPages, EveryVariantPrintsEachPageOnceThroughTheVirtualPrinter) {
    std::mt19937 rng(30);
    const PageKind kinds[] = {PageKind::Sparse, PageKind::Dense, PageKind::OneDot, PageKind::BlankStretches,
                              PageKind::BlankTop};
    for (PageCase t : cases()) {
        SCOPED_TRACE(std::string(t.name) + ", sub-mode " + std::to_string(t.subMode) +
                     (t.setLength ? ", length set to " + std::to_string(t.setLength) : ""));
        if (t.inks.empty()) t.inks = {'K', 'C', 'M', 'Y', 'c', 'm'};
        ModelHeadControl hc = variant(t.variant);
        if (t.tweak) t.tweak(hc);
        const bool grouped = t.variant == HcVariant::DriverGrouped;
        VpModel printer;
        printer.start = t.start;
        printer.step = t.step;
        printer.bits = hc.modes[0].bits_per_pixel;
        t.lines(printer, t.inks);
        if (grouped) printer.lines.erase({uint8_t(0x30), uint8_t(0)});  // 0x30 prints through K's line
        const std::vector<uint8_t> inks = ink_codes(t.inks);
        // Under the sanitizers two pages of each kind.
        for (int n = 0; n < (ovcg_test::kSanitized ? 10 : 50); ++n) {
            const uint32_t width = 1 + rng() % (n % 5 == 0 ? 60 : 12);
            const uint32_t length = t.shortest + t.top + t.bottom + rng() % t.longest;
            Page page = random_page(rng, kinds[n % 5], uint32_t(inks.size()), length, width);
            if (grouped) {
                // Ink 8 shares K's line: its dots where K has none.
                for (uint32_t r = 0; r < length; ++r)
                    for (uint32_t i = 0; i < width; ++i) page.planes[1][r][i] &= uint8_t(~page.planes[0][r][i]);
            }
            const int before = result_parts();
            print_and_read(t, hc, printer, page, inks, rng, n);
            if (result_parts() != before) break;  // the case's first failing page; the next case runs
        }
    }
}

}  // namespace
}  // namespace ovcg::irac::test
