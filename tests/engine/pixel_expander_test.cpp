// The band's conversion into the working pixel format, and the built-in
// factory's choices.
#include "engine/pixel_expander.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "commands/traq3_records.h"
#include "engine/engine_interfaces.h"

namespace {

using ovcg::PixelExpander;

TEST(PixelExpander, WorkingFormats) {
    PixelExpander e;
    const std::pair<int, int> table[] = {{0, 0}, {1, 7}, {2, 2}, {3, 3}, {4, 4}, {7, 7}, {104, 104}};
    for (auto [in, out] : table) {
        EXPECT_EQ(e.GetSrcFormat(in), out) << in;
        EXPECT_EQ(e.Enabled(), in == 1) << in;
    }
}

TEST(PixelExpander, MatchesALiteralExpansionOnRandomBands) {
    std::mt19937 rng(7);
    PixelExpander e;
    ASSERT_EQ(e.GetSrcFormat(1), 7);
    for (int round = 0; round < 50; ++round) {
        const unsigned lines = 1 + rng() % 5, pixels = 1 + rng() % 40, pad = rng() % 7;
        const unsigned stride = pixels * 3 + pad;
        std::vector<uint8_t> in(static_cast<size_t>(stride) * lines);
        for (auto& b : in) b = static_cast<uint8_t>(rng());
        tagBANDBMP src{stride, in.data()}, out{};
        ASSERT_EQ(e.Convert(lines, pixels, &src, &out), 1);
        ASSERT_EQ(out.WidthBytes, pixels * 4);
        for (unsigned y = 0; y < lines; ++y)
            for (unsigned x = 0; x < pixels; ++x)
                for (unsigned c = 0; c < 4; ++c)
                    ASSERT_EQ(out.Bits[y * pixels * 4 + x * 4 + c], c == 3 ? 0 : in[y * stride + x * 3 + c]);
    }
}

TEST(PixelExpander, RefusesBandsItCannotReadWhole) {
    PixelExpander e;
    e.GetSrcFormat(1);
    std::vector<uint8_t> in(64);
    tagBANDBMP out{};
    tagBANDBMP shortStride{11, in.data()};
    EXPECT_EQ(e.Convert(2, 4, &shortStride, &out), 0);
    tagBANDBMP noBits{12, nullptr};
    EXPECT_EQ(e.Convert(2, 4, &noBits, &out), 0);
    tagBANDBMP ok{12, in.data()};
    EXPECT_EQ(e.Convert(0, 4, &ok, &out), 0);
    EXPECT_EQ(e.Convert(2, 0, &ok, &out), 0);
    EXPECT_EQ(e.Convert(2, 4, nullptr, &out), 0);
    EXPECT_EQ(e.Convert(2, 4, &ok, &out), 1);
}

TEST(PixelExpander, DisabledPassesTheBandThrough) {
    PixelExpander e;
    e.GetSrcFormat(1);
    EXPECT_EQ(e.End(), 1);
    EXPECT_FALSE(e.Enabled());
    std::vector<uint8_t> in(10);
    tagBANDBMP src{5, in.data()}, out{};
    ASSERT_EQ(e.Convert(2, 5, &src, &out), 1);
    EXPECT_EQ(out.Bits, in.data());
    EXPECT_EQ(out.WidthBytes, 5u);
}

TEST(BuiltInParts, ChoicesOfTheLibrary) {
    ovcg::EngineParts& parts = ovcg::BuiltInEngineParts();
    tagPRTSTRUCT3_12 job{};
    job.src_resolution = {300, 300};
    job.prt_resolution = {600, 600};
    auto v1 = parts.CreateLevel3Records(1, job);
    auto v2 = parts.CreateLevel3Records(2, job);
    EXPECT_NE(dynamic_cast<ovcg::CTRAQ3V1_1*>(v1.get()), nullptr);
    EXPECT_NE(dynamic_cast<ovcg::CTRAQ3V1_2*>(v2.get()), nullptr);
    auto conv = parts.CreatePixelConverter();
    EXPECT_EQ(conv->GetSrcFormat(1), 7);
    // A generator selector without a class gives no generator.
    ovcg::MWCmdArgs args{};
    args.level = ovcg::CommandLevel::kLevel2;
    args.selector = 9;
    EXPECT_EQ(parts.CreateMWCmd(args), nullptr);
    // The default is the built-in factory until replaced.
    EXPECT_EQ(&ovcg::DefaultEngineParts(), &parts);
}

}  // namespace
