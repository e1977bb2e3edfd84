#include "support/virtual_printer.h"

#include "support/stream_validator.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using ovcg_test::bytes_of;
using ovcg_test::RunVirtualPrinter;
using ovcg_test::VpLineMap;
using ovcg_test::VpModel;
using ovcg_test::VpPlane;

VpModel one_bit() {
    VpModel m;
    m.start = 10;
    m.add(0x10, VpLineMap{0, 3, 2});
    m.add(0x11, VpLineMap{1, 100, 1}, 2);
    m.add(0x11, VpLineMap{1, 50, 1});
    return m;
}

// Feed 5, H 8, two plain lines; a coded single-line command; a multi-line
// command of block 2 and one of block 3 (its colour's block-0 map).
const char* kPage =
    "1B 28 63 04 00 01 00 02 00 "
    "1B 28 76 04 00 05 00 00 00 1B 28 24 04 00 08 00 00 00 1B 69 10 00 01 02 00 02 00 80 01 00 C0 0D "
    "1B 69 10 01 01 02 00 01 00 01 F0 0F 0D "
    "1B 28 76 04 00 FE FF FF FF 1B 69 11 05 01 01 00 02 00 02 04 00 00 00 00 80 00 00 0D "
    "1B 69 11 04 01 01 00 01 00 03 01 00 00 00 01 0D";

TEST(VirtualPrinter, PlacesLinesByFeedsOffsetsPitchAndDotStep) {
    const auto r = RunVirtualPrinter(one_bit(), bytes_of(kPage));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.pages.size(), 1u);
    const auto& p = r.pages[0];
    EXPECT_EQ(p.feeds, (std::vector<int32_t>{5, -2}));
    EXPECT_EQ(p.pageFormats, (std::vector<std::pair<uint32_t, uint32_t>>{{1, 2}}));
    EXPECT_EQ(p.feedsBeforeCommand, (std::vector<size_t>{1, 0, 1, 0}));
    EXPECT_EQ(p.commands.size(), 4u);
    EXPECT_EQ(p.twice, 0u);
    VpPlane k, c;
    // V 15: lines at 18 and 20 from H 8; the coded line after the CR from H 0.
    k.at(18, 8) = 1, k.at(18, 23) = 1, k.at(20, 16) = 1, k.at(20, 17) = 1;
    for (int d : {0, 1, 2, 3, 12, 13, 14, 15}) k.at(18, d) = 1;
    // V 13: block 2 at +100 (line 0 0x80, line 1 zeros), block 3 at +50.
    c.at(113, 0) = 1, c.at(63, 7) = 1;
    EXPECT_EQ(plane_difference(p.planes.at(0), k), "");
    EXPECT_EQ(plane_difference(p.planes.at(1), c), "");
}

TEST(VirtualPrinter, TwoBitDotsStepsPagesAndDotsPrintedTwice) {
    VpModel m;
    m.bits = 2;
    m.step = 2;
    m.add(0x10, VpLineMap{0, 0, 1});
    const auto r = RunVirtualPrinter(m, bytes_of("1B 69 10 00 02 01 00 01 00 C4 0D 1B 69 10 00 02 01 00 01 00 40 0D 0C "
                                                 "1B 28 76 04 00 07 00 00 00 1B 69 10 00 02 01 00 01 00 01 0D"));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_EQ(r.pages[0].twice, 1u);  // dot 0 again
    EXPECT_EQ(r.pages[0].planes.at(0).get(0, 0), 3);
    EXPECT_EQ(r.pages[0].planes.at(0).get(0, 4), 1);  // dot 2 at step 2
    EXPECT_EQ(r.pages[1].twice, 0u);
    EXPECT_EQ(r.pages[1].planes.at(0).get(7, 6), 1);  // dot 3 at step 2
}

TEST(VirtualPrinter, RefusesWhatAPrinterCannotPrint) {
    struct Case {
        const char* what;
        const char* stream;
    };
    const Case cases[] = {
        {"unknown colour", "1B 69 12 00 01 01 00 01 00 FF 0D"},
        {"no CR between raster commands", "1B 69 10 00 01 01 00 01 00 FF 1B 69 10 00 01 01 00 01 00 FF 0D"},
        {"feed before the CR", "1B 69 10 00 01 01 00 01 00 FF 1B 28 76 04 00 01 00 00 00 0D"},
        {"page end before the CR", "1B 69 10 00 01 01 00 01 00 FF 0C 0D"},
        {"no CR at the end", "1B 69 10 00 01 01 00 01 00 FF"},
        {"a coded row past its line", "1B 69 11 05 01 01 00 02 00 02 04 00 00 00 02 01 02 03"},
        {"coded data longer than its lines", "1B 69 11 05 01 01 00 01 00 02 04 00 00 00 00 01 00 01 0D"},
        {"not a stream", "1B 99"},
    };
    for (const Case& c : cases) {
        const auto r = RunVirtualPrinter(one_bit(), bytes_of(c.stream));
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_FALSE(r.error.empty()) << c.what;
    }
}

// Cut anywhere, the stream reads only where a command ends and no CR is owed.
TEST(VirtualPrinter, TruncatedStreams) {
    const auto bytes = bytes_of(kPage);
    const auto check = ovcg_test::ValidateStream(bytes);
    ASSERT_TRUE(check.ok);
    std::set<size_t> good{0};
    for (const auto& it : check.items)
        if (it.name != "ESC i") good.insert(it.offset + it.length);
    for (size_t n = 0; n <= bytes.size(); ++n) {
        const auto r = RunVirtualPrinter(one_bit(), bytes.data(), n);
        EXPECT_EQ(r.ok, good.count(n) == 1) << n << ": " << r.error;
    }
}

}  // namespace
