#include "engine/plimo_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/engine_error.h"

namespace {

tagPOINT Pt(int32_t x, int32_t y) { return tagPOINT{x, y}; }

// Horizontal conversion by resolution pair.
struct HCase {
    int src, prt;
    int expansion, code;
    unsigned factor;
    unsigned offset, printOffset;
    unsigned width, printWidth;
};

class HConversion : public ::testing::TestWithParam<HCase> {};

TEST_P(HConversion, FieldsAndConvertedGeometry) {
    const HCase& c = GetParam();
    CPlimoBuffer b(1, 1, c.offset, c.width, Pt(c.src, 360), Pt(c.prt, 360), 2, 0);
    EXPECT_EQ(b.HExpansion(), c.expansion);
    EXPECT_EQ(b.HConversion(), c.code);
    EXPECT_EQ(b.HFactor(), c.factor);
    EXPECT_EQ(b.PrintOffset(), c.printOffset);
    EXPECT_EQ(b.PrintWidth(), c.printWidth);
    EXPECT_EQ(b.GetHConversionValue(c.offset, 0), c.printOffset);
    EXPECT_EQ(b.GetHConversionValue(c.width, 1), c.printWidth);
}

INSTANTIATE_TEST_SUITE_P(
    PlimoBuffer, HConversion,
    ::testing::Values(
        // The two special ratios: ×8÷3 and ×4÷3, round-up has no effect.
        HCase{270, 720, 3 * 65536 + 8, 0x803, 0, 300, 800, 301, 802},
        HCase{540, 720, 3 * 65536 + 4, 0x403, 0, 300, 400, 301, 401},
        // Equal and whole multiples.
        HCase{720, 720, 1, 0, 1, 5, 5, 100, 100}, HCase{360, 720, 2, 1, 2, 5, 10, 100, 200},
        HCase{360, 1440, 4, 3, 4, 7, 28, 11, 44}, HCase{180, 2880, 16, 15, 16, 1, 16, 3, 48},
        // Enlarging by a non-whole ratio: the integer factor.
        HCase{300, 720, 5 * 65536 + 12, 1, 2, 10, 20, 10, 20},
        // Reducing: truncating, the width rounded up by one source dot.
        HCase{720, 360, 2 * 65536 + 1, -1, 2, 101, 50, 101, 51},
        HCase{1440, 360, 4 * 65536 + 1, -3, 4, 7, 1, 7, 2}, HCase{1440, 360, 4 * 65536 + 1, -3, 4, 8, 2, 8, 2},
        // Source above print but below twice it: unchanged.
        HCase{720, 540, 4 * 65536 + 3, 0, 1, 101, 101, 101, 101},
        HCase{600, 360, 5 * 65536 + 3, 0, 1, 33, 33, 33, 33}));

struct VCase {
    int src, prt;
    int code;
    unsigned factor, ratio;
    unsigned in, converted, ratioValue;
};

class VConversion : public ::testing::TestWithParam<VCase> {};

TEST_P(VConversion, Fields) {
    const VCase& c = GetParam();
    CPlimoBuffer b(1, 1, 0, 8, Pt(360, c.src), Pt(360, c.prt), 1, 0);
    EXPECT_EQ(b.VConversion(), c.code);
    EXPECT_EQ(b.VFactor(), c.factor);
    EXPECT_EQ(b.VRatio(), c.ratio);
    EXPECT_EQ(b.GetVConversionValue(c.in), c.converted);
    EXPECT_EQ(b.GetVRatioValue(c.in), c.ratioValue);
}

INSTANTIATE_TEST_SUITE_P(PlimoBuffer, VConversion,
                         ::testing::Values(VCase{360, 360, 0, 1, 1, 99, 99, 99}, VCase{360, 720, 0, 2, 2, 99, 99, 198},
                                           VCase{300, 720, 0, 2, 2, 10, 10, 20},
                                           VCase{720, 360, -1, 2, 1, 99, 50, 99},
                                           VCase{1440, 360, -3, 4, 1, 10, 2, 10},
                                           VCase{720, 540, 0, 1, 1, 7, 7, 7}));

TEST(PlimoBuffer, LineGeometryOfFourTwoBitPlanes) {
    CPlimoBuffer b(4, 2, 5, 100, Pt(720, 720), Pt(720, 720), 2, 1);
    EXPECT_EQ(b.BitShift(), 5u);
    EXPECT_EQ(b.DotsPerLine(), 105u);
    EXPECT_EQ(b.ShiftBits(), 10u);
    EXPECT_EQ(b.LineBits(), 210u);
    EXPECT_EQ(b.LineBytes(), 27u);
    EXPECT_EQ(b.PadBits(), 6u);
    EXPECT_EQ(b.AllPlanesLineBytes(), 108u);
    EXPECT_EQ(b.BufferBytes(), 216u);
    ASSERT_NE(b.Buffer(), nullptr);
    for (unsigned i = 0; i < b.BufferBytes(); ++i) ASSERT_EQ(b.Buffer()[i], 0);
    std::memset(b.Buffer(), 0xAB, b.BufferBytes());  // the whole buffer is ours
    b.ClearBuffer();
    for (unsigned i = 0; i < b.BufferBytes(); ++i) ASSERT_EQ(b.Buffer()[i], 0);
}

TEST(PlimoBuffer, NoBandBufferWithoutAllocation) {
    CPlimoBuffer b(4, 2, 5, 100, Pt(720, 720), Pt(720, 720), 2, 0);
    EXPECT_EQ(b.Buffer(), nullptr);
    EXPECT_EQ(b.AllPlanesLineBytes(), 0u);
    EXPECT_EQ(b.BufferBytes(), 0u);
    EXPECT_EQ(b.LineBytes(), 27u);
    b.ClearBuffer();
    CPlimoBuffer none(1, 1, 0, 1, Pt(360, 360), Pt(360, 360), 0, 0);  // 0 lines without a buffer is fine
    EXPECT_EQ(none.BufferBytes(), 0u);
}

// Over every resolution pair, plane count, depth, offset and width: the line
// geometry holds together.
TEST(PlimoBuffer, GeometryInvariants) {
    const int res[] = {180, 270, 300, 360, 540, 600, 720, 1200, 1440, 2880};
    for (int src : res) {
        for (int prt : res) {
            for (int bpd = 1; bpd <= 2; ++bpd) {
                for (unsigned offset = 0; offset < 19; offset += 3) {
                    for (unsigned width = 15; width < 90; width += 7) {
                        const int planes = 1 + static_cast<int>((offset + width) % 8);
                        CPlimoBuffer b(planes, bpd, offset, width, Pt(src, prt), Pt(prt, src), 3, 1);
                        SCOPED_TRACE(testing::Message() << src << "->" << prt << " bpd " << bpd << " off " << offset
                                                        << " w " << width);
                        EXPECT_EQ(b.PrintOffset(), b.GetHConversionValue(offset, 0));
                        EXPECT_EQ(b.PrintWidth(), b.GetHConversionValue(width, 1));
                        EXPECT_EQ(b.BitShift(), b.PrintOffset() % 8);
                        EXPECT_EQ(b.DotsPerLine(), b.PrintWidth() + b.BitShift());
                        EXPECT_EQ(b.ShiftBits(), b.BitShift() * static_cast<unsigned>(bpd));
                        EXPECT_EQ(b.LineBits(), b.DotsPerLine() * static_cast<unsigned>(bpd));
                        EXPECT_EQ(b.LineBytes() * 8 - b.LineBits(), b.PadBits());
                        EXPECT_LT(b.PadBits(), 8u);
                        EXPECT_EQ(b.AllPlanesLineBytes(), b.LineBytes() * static_cast<unsigned>(planes));
                        EXPECT_EQ(b.BufferBytes(), b.AllPlanesLineBytes() * 3);
                        // Enlarging never loses dots; reducing never makes more.
                        if (prt >= src && b.HConversion() < 256) {
                            EXPECT_GE(b.PrintWidth(), width);
                        }
                        if (prt < src) {
                            EXPECT_LE(b.PrintWidth(), width + 1);
                        }
                        EXPECT_GE(b.PrintWidth(), 1u);
                    }
                }
            }
        }
    }
}

// Line geometry worked by hand: the special ratio, a reduction with the
// round-up, and the plain case, each with a bit shift and pad bits.
struct GeometryCase {
    int planes, bpd;
    unsigned offset, width;
    int src, prt;
    unsigned printOffset, printWidth, bitShift, dots, shiftBits, lineBits, lineBytes, padBits, bufferBytes;
};

class LineGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(LineGeometry, MatchesHandWorkedValues) {
    const GeometryCase& c = GetParam();
    CPlimoBuffer b(c.planes, c.bpd, c.offset, c.width, Pt(c.src, c.src), Pt(c.prt, c.prt), 2, 1);
    EXPECT_EQ(b.PrintOffset(), c.printOffset);
    EXPECT_EQ(b.PrintWidth(), c.printWidth);
    EXPECT_EQ(b.BitShift(), c.bitShift);
    EXPECT_EQ(b.DotsPerLine(), c.dots);
    EXPECT_EQ(b.ShiftBits(), c.shiftBits);
    EXPECT_EQ(b.LineBits(), c.lineBits);
    EXPECT_EQ(b.LineBytes(), c.lineBytes);
    EXPECT_EQ(b.PadBits(), c.padBits);
    EXPECT_EQ(b.BufferBytes(), c.bufferBytes);
}

INSTANTIATE_TEST_SUITE_P(PlimoBuffer, LineGeometry,
                         ::testing::Values(GeometryCase{4, 2, 5, 100, 720, 720, 5, 100, 5, 105, 10, 210, 27, 6, 216},
                                           GeometryCase{3, 2, 4, 10, 270, 720, 10, 26, 2, 28, 4, 56, 7, 0, 42},
                                           GeometryCase{1, 1, 13, 17, 720, 360, 6, 9, 6, 15, 6, 15, 2, 1, 4},
                                           GeometryCase{2, 2, 100, 3, 1440, 360, 25, 1, 1, 2, 2, 4, 1, 4, 4}));

TEST(PlimoBuffer, BandBufferOfNoLinesIsAFailedAllocation) {
    try {
        CPlimoBuffer b(1, 1, 0, 10, Pt(360, 360), Pt(360, 360), 0, 1);
        ADD_FAILURE() << "no exception";
    } catch (ovcg::EngineMessage m) {
        EXPECT_STREQ(m, "Memory Allocation Exception");
    }
}

struct BadCase {
    const char* what;
    int planes, bpd;
    unsigned offset, width;
    tagPOINT src, prt;
    unsigned lines;
    int allocate;
};

class PlimoBufferRefuses : public ::testing::TestWithParam<BadCase> {};

TEST_P(PlimoBufferRefuses, WithIllegalParameter) {
    const BadCase& c = GetParam();
    try {
        CPlimoBuffer b(c.planes, c.bpd, c.offset, c.width, c.src, c.prt, c.lines, c.allocate);
        ADD_FAILURE() << c.what << ": no exception";
    } catch (ovcg::EngineMessage m) {
        EXPECT_STREQ(m, "Illegal Parameter Exception") << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    PlimoBuffer, PlimoBufferRefuses,
    ::testing::Values(BadCase{"planes 0", 0, 1, 0, 10, {360, 360}, {360, 360}, 2, 1},
                      BadCase{"planes -1", -1, 1, 0, 10, {360, 360}, {360, 360}, 2, 1},
                      BadCase{"width 0", 1, 1, 0, 0, {360, 360}, {360, 360}, 2, 1},
                      BadCase{"bits 0", 1, 0, 0, 10, {360, 360}, {360, 360}, 2, 1},
                      BadCase{"bits 3", 1, 3, 0, 10, {360, 360}, {360, 360}, 2, 1},
                      BadCase{"src x 0", 1, 1, 0, 10, {0, 360}, {360, 360}, 2, 1},
                      BadCase{"src y 0", 1, 1, 0, 10, {360, 0}, {360, 360}, 2, 1},
                      BadCase{"prt x 0", 1, 1, 0, 10, {360, 360}, {0, 360}, 2, 1},
                      BadCase{"prt y -720", 1, 1, 0, 10, {360, 360}, {360, -720}, 2, 1},
                      BadCase{"src x negative", 1, 1, 0, 10, {-360, 360}, {720, 360}, 2, 1},
                      BadCase{"width reduced to no dot", 1, 1, 0, 1, {540, 360}, {180, 360}, 2, 0},
                      BadCase{"line bits past 32 bits", 1, 2, 0, 0x80000000u, {360, 360}, {720, 360}, 2, 0},
                      BadCase{"offset past 32 bits", 1, 1, 0xFFFFFFF0u, 8, {180, 180}, {2880, 180}, 2, 0},
                      BadCase{"buffer past 2 GiB", 16, 2, 0, 0x10000000u, {360, 360}, {360, 360}, 2, 1}));

}  // namespace
