// The level-3 encode buffers: how bands gather into blocks of 8 lines and
// go out as objects (hand-derived sequences), the bytes of the object
// records, the set-up per format, and each fault that was mended.
#include "commands/encode_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/level3_objects.h"
#include "support/spool_deframer.h"
#include "support/stream_validator.h"

namespace ovcg::test {
namespace {

using ovcg_test::bytes_of;
using ovcg_test::hex_of;

struct Rig {
    ovcg_test::SpoolRecorder recorder;
    CPlimoSpooler spooler{0, ovcg_test::SpoolRecorder::Callback, &recorder};
    CTRAQ3V1_1 records{{300, 300}, {600, 600}, {100, 100}, {90, 90}, {5, 5}};
    std::unique_ptr<CEncodeBuffer> buffer;

    // selector: 0 JPEG with identification data, 1 RHV2, 2 JPEG.
    explicit Rig(int selector, int format = 0, int convert = 0, uint32_t height = 200) {
        if (selector == 1)
            buffer = std::make_unique<CEncodeRhv2Buffer>(&spooler, &records, height);
        else if (selector == 2)
            buffer = std::make_unique<CEncodeJpegBuffer>(&spooler, &records, height);
        else
            buffer = std::make_unique<CEncodeJpegPlusBuffer>(&spooler, &records, height);
        EXPECT_TRUE(buffer->bInitEncodeBuffa(300, format, convert, tagPOINT{600, 600}));
        Send(records.pvGet_MakePage(), records.uiGetLength_MakePage());
    }
    void Send(const void* p, unsigned n) { spooler.SendData(static_cast<const char*>(p), n); }
    // A band of `rows` lines of `width` pixels at page column x, row y; pixel
    // values from the row and column.
    bool Write(uint32_t y, uint32_t rows, uint32_t x, uint32_t width, bool buffered = true) {
        const unsigned bpp = buffer->BytesPerPixel();
        const uint32_t stride = (width + 2) * bpp;
        std::vector<uint8_t> band(size_t{stride} * rows);
        for (size_t i = 0; i < band.size(); ++i) band[i] = uint8_t(i * 7 + y);
        const TRAQ3_tagBitmapParam b{band.data(), 0, rows, tagRECT{1, 0, 1 + width, rows}};
        const TRAQ3_tagTargetPositionForBitmap t{x, y, width, rows, y, rows};
        return buffer->bWriteENCODEBuff(&b, stride, &t, buffered);
    }
    ovcg_test::Level3Job Job() {
        spooler.Flush();
        return ovcg_test::ParseLevel3Job(recorder.stream());
    }
};

struct WriteStep {
    uint32_t y, rows, x, width;
};
struct Placed {
    uint32_t x, y, w, h;
    bool operator==(const Placed&) const = default;
};
struct GatherCase {
    const char* name;
    std::vector<WriteStep> writes;
    std::vector<Placed> objects;  // in the order they are sent, the flush's last
};

void PrintTo(const GatherCase& c, std::ostream* os) { *os << c.name; }

const GatherCase kGather[] = {
    // 20 lines: the first 16 at once (two slices), the last 4 held.
    {"twenty_lines", {{0, 20, 0, 9}}, {{0, 0, 9, 16}, {0, 16, 9, 4}}},
    {"eight_lines", {{3, 8, 2, 5}}, {{2, 3, 5, 8}}},
    // A band continuing the held lines fills the block.
    {"join_fills", {{0, 5, 0, 9}, {5, 3, 0, 9}}, {{0, 0, 9, 8}}},
    // A gap line stays white; the object spans both bands' columns.
    {"join_with_gap", {{0, 5, 0, 10}, {6, 1, 4, 4}}, {{0, 0, 10, 7}}},
    // Starting above the held lines (negative fill): the block goes first.
    {"band_above", {{10, 5, 0, 9}, {2, 4, 0, 9}}, {{0, 10, 9, 5}, {0, 2, 9, 4}}},
    // Starting at the block's top + 8: the block goes first.
    {"band_below", {{0, 5, 0, 9}, {8, 3, 0, 9}}, {{0, 0, 9, 5}, {0, 8, 9, 3}}},
    // Wider than the block: the block goes before it grows.
    {"wider_band", {{0, 5, 0, 10}, {5, 2, 0, 30}}, {{0, 0, 10, 5}, {0, 5, 30, 2}}},
    // A tail of 4 lines and the band after it make a block of 8.
    {"tail_and_next", {{3, 12, 0, 9}, {15, 4, 0, 9}}, {{0, 3, 9, 8}, {0, 11, 9, 8}}},
    {"overlap_inside", {{0, 6, 0, 9}, {4, 3, 0, 9}}, {{0, 0, 9, 6}, {0, 4, 9, 3}}},
};

class Gather : public ::testing::TestWithParam<GatherCase> {};

TEST_P(Gather, ObjectsAsHandDerived) {
    for (const int selector : {1, 0}) {
        Rig rig(selector);
        for (const WriteStep& w : GetParam().writes) ASSERT_TRUE(rig.Write(w.y, w.rows, w.x, w.width));
        ASSERT_TRUE(rig.buffer->bFlushENCODEBuff());
        EXPECT_EQ(rig.buffer->HeldLines(), 0u);
        const ovcg_test::Level3Job job = rig.Job();
        ASSERT_TRUE(job.ok) << job.error;
        std::vector<Placed> got;
        for (const auto& o : job.pages.at(0).objects) {
            got.push_back({o.x, o.y, o.width, o.height});
            EXPECT_EQ(o.jpeg_y, o.y);
            EXPECT_EQ(o.denominator, 300);
            ovcg_test::DecodedObject d;
            std::string why;
            EXPECT_TRUE(ovcg_test::DecodeLevel3Object(o, d, &why)) << why;
            // RHV2: one slice per 8 lines, then the empty last dsnd.
            if (selector == 1) {
                EXPECT_EQ(o.statuses.size(), (o.height + 7) / 8 + 1);
            }
            EXPECT_EQ(std::count(o.statuses.begin(), o.statuses.end(), 1), 1);
            EXPECT_EQ(o.statuses.back(), 1);
        }
        EXPECT_EQ(got, GetParam().objects);
        const auto& last = job.pages[0].objects.back();
        EXPECT_EQ(rig.buffer->ulGetLastWritePos(), last.y + last.height);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Gather, ::testing::ValuesIn(kGather),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeBuffer, ObjectRecordsAreByteExact) {
    Rig rig(1);
    rig.spooler.Flush();
    rig.recorder.clear();
    ASSERT_TRUE(rig.Write(7, 1, 2, 3, false));
    const std::vector<uint8_t> s = rig.recorder.stream();
    const std::string head = hex_of(bytes_of(
        "1B 6F 00 26 'mkim#:' 00 00 'D:' 01 2C 'X:' 00 00 00 02 'Y:' 00 00 00 07 'W:' 00 00 00 03"
        " 'H:' 00 00 00 01 'J:' 00 00 00 07 1B 70 00 00 'proc' 1B 64 00 0E 'dsnd#:' 00 00 'S:' 00 00 '+:' 00 00 00"));
    ASSERT_GT(s.size(), 100u);
    EXPECT_EQ(hex_of(s.data(), 75), head);
    // The slice: an RHV2 stream of one gray line.
    EXPECT_EQ(hex_of(s.data() + 76, 8), "FF 00 01 00 00 00 00 01");
    // Every RHV2 object ends with an empty dsnd of status 1.
    EXPECT_EQ(hex_of(s.data() + s.size() - 22, 22),
              hex_of(bytes_of("1B 64 00 0E 'dsnd#:' 00 00 'S:' 00 01 '+:' 00 00 00 00")));
}

struct InitCase {
    int selector, format, convert;
    bool ok;
    unsigned bpp;
    uint32_t mode;  // RHV2 codec type
    uint32_t kind, dc16, dqt;
};

TEST(EncodeBuffer, SetUpPerFormat) {
    const InitCase cases[] = {
        {0, 7, 1, true, 4, 0, 0, 1, 16}, {0, 8, 1, true, 4, 0, 1, 1, 16}, {0, 0, 1, true, 4, 0, 0, 1, 16},
        {2, 8, 0, true, 4, 0, 1, 0, 1},  {2, 4, 1, false, 0, 0, 0, 0, 0}, {0, 2, 1, false, 0, 0, 0, 0, 0},
        {1, 4, 1, true, 4, 1, 0, 0, 0},  {1, 7, 1, true, 4, 2, 0, 0, 0},  {1, 8, 1, true, 4, 2, 0, 0, 0},
        {1, 7, 0, true, 1, 0, 0, 0, 0},  {1, 0, 1, true, 1, 0, 0, 0, 0},  {1, 1, 1, false, 0, 0, 0, 0, 0},
    };
    for (const InitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.selector << " " << c.format << " " << c.convert);
        ovcg_test::SpoolRecorder rec;
        CPlimoSpooler spooler(0, ovcg_test::SpoolRecorder::Callback, &rec);
        CTRAQ3V1_1 records({300, 300}, {600, 600}, {100, 100}, {90, 90}, {5, 5});
        std::unique_ptr<CEncodeBuffer> b;
        if (c.selector == 1) b = std::make_unique<CEncodeRhv2Buffer>(&spooler, &records, 10);
        if (c.selector == 2) b = std::make_unique<CEncodeJpegBuffer>(&spooler, &records, 10);
        if (c.selector == 0) b = std::make_unique<CEncodeJpegPlusBuffer>(&spooler, &records, 10);
        ASSERT_EQ(b->bInitEncodeBuffa(300, c.format, c.convert, tagPOINT{}), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(b->BytesPerPixel(), c.bpp);
        EXPECT_EQ(b->bCanInput8bitGray(), c.selector == 1);
        if (c.selector == 1) {
            EXPECT_EQ(static_cast<CEncodeRhv2Buffer&>(*b).Mode(), c.mode);
            EXPECT_EQ(b->WhiteByte(), c.format == 4 ? 0 : 255);  // no ink is white in CMYK
        } else {
            const jpeg::SDataPattern& p = b->Pattern();
            EXPECT_EQ(p.pixelKind, c.kind);
            EXPECT_EQ(p.dcPrecision16, c.dc16);
            EXPECT_EQ(p.dqtAcScale, c.dqt);
            EXPECT_EQ(p.pixelPadding, 2u);
            EXPECT_EQ(p.quality, 1u);
        }
    }
}

// Mended: 4-byte pixels are packed to 3 bytes in the buffer's own memory
// (the band stays as given, for the dot counts that halftone it after);
// BGRX reaches the codec as R, G, B.
TEST(EncodeBuffer, PackingLeavesTheBandAlone) {
    Rig rig(1, 8, 1);
    std::vector<uint8_t> band = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    const std::vector<uint8_t> given = band;
    const TRAQ3_tagBitmapParam b{band.data(), 0, 1, tagRECT{0, 0, 3, 1}};
    const TRAQ3_tagTargetPositionForBitmap t{0, 0, 3, 1, 0, 1};
    ASSERT_TRUE(rig.buffer->bWriteENCODEBuff(&b, 12, &t, false));
    EXPECT_EQ(band, given);
    const ovcg_test::Level3Job job = rig.Job();
    ovcg_test::DecodedObject d;
    ASSERT_TRUE(ovcg_test::DecodeLevel3Object(job.pages.at(0).objects.at(0), d, nullptr));
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{30, 20, 10, 70, 60, 50, 110, 100, 90}));
}

// Mended: the next raster and the last write position belong to the page;
// base-row steps saturate; a page of height 0 pads nothing; the banner pads
// from the next raster to the page's last rows.
TEST(EncodeBuffer, PagePositions) {
    Rig rig(1, 0, 0, 20);
    ASSERT_TRUE(rig.Write(5, 8, 0, 6, false));
    EXPECT_EQ(rig.buffer->ulGetNextRaster(), 13u);
    EXPECT_EQ(rig.buffer->ulGetLastWritePos(), 13u);
    rig.recorder.clear();
    ASSERT_TRUE(rig.buffer->bOutBunnerObject());  // 13 mod 20: 7 white lines at row 13
    const std::vector<uint8_t> s = rig.recorder.stream();
    EXPECT_EQ(hex_of(s.data() + 16, 24), "58 3A 00 00 00 00 59 3A 00 00 00 0D 57 3A 00 00 00 06 48 3A 00 00 00 07");
    // The second page: the base row has moved down a page (20 rows), so the
    // band ends at raster 33, and the white block pads its page from row
    // 33 mod 20 = 13 on, one page down: raster 33 again, 7 lines.
    rig.buffer->vStartPage();
    rig.buffer->vBaseVPositionIncriment();
    ASSERT_TRUE(rig.Write(5, 8, 0, 6, false));
    EXPECT_EQ(rig.buffer->ulGetNextRaster(), 33u);
    rig.recorder.clear();
    ASSERT_TRUE(rig.buffer->bOutBunnerObject());
    const std::vector<uint8_t> s2 = rig.recorder.stream();
    EXPECT_EQ(hex_of(s2.data() + 16, 24), "58 3A 00 00 00 00 59 3A 00 00 00 21 57 3A 00 00 00 06 48 3A 00 00 00 07");
    rig.buffer->vStartPage();
    EXPECT_EQ(rig.buffer->ulGetNextRaster(), 0u);
    EXPECT_EQ(rig.buffer->ulGetLastWritePos(), 0u);
    rig.recorder.clear();
    EXPECT_TRUE(rig.buffer->bOutBunnerObject());
    rig.buffer->vBaseVPositionDecriment();
    EXPECT_EQ(rig.buffer->ulGetBaseVPosition(), 0u);
    rig.buffer->vBaseVPositionIncriment();
    rig.buffer->vBaseVPositionIncriment();
    EXPECT_EQ(rig.buffer->ulGetBaseVPosition(), 40u);
    rig.buffer->ResetPageHeight(0);
    ASSERT_TRUE(rig.Write(3, 2, 0, 6, false));
    EXPECT_EQ(rig.buffer->ulGetNextRaster(), 45u);
    rig.recorder.clear();
    EXPECT_TRUE(rig.buffer->bOutBunnerObject());
    EXPECT_TRUE(rig.recorder.stream().empty());
}

// Failures: a refused window, a codec size beyond 32 bits (mended: it is a
// failure, not an empty object), a failed send; the JPEG encoder's own
// failure leaves as its ERR value.
TEST(EncodeBuffer, Failures) {
    Rig rig(1);
    uint8_t line[16] = {};
    const TRAQ3_tagBitmapParam b{line, 0, 1, tagRECT{0, 0, 16, 1}};
    TRAQ3_tagTargetPositionForBitmap t{0, 0, 16, 1, 0, 1};
    EXPECT_FALSE(rig.buffer->bWriteENCODEBuff(&b, 15, &t, false));  // the window is wider than the line
    t.height = 2;
    EXPECT_FALSE(rig.buffer->bWriteENCODEBuff(&b, 16, &t, false));  // target and window disagree
    t = {0xFFFFFFF0u, 0, 16, 1, 0, 1};
    EXPECT_FALSE(rig.buffer->bWriteENCODEBuff(&b, 16, &t, false));  // beyond 32-bit columns
    // Rows: the print row and the JPEG row each pass 2^32 - 1 with the band's
    // line on their own, or end exactly there.
    const struct {
        uint32_t vertical, verticalJpeg;
        bool taken;
    } rows[] = {{0xFFFFFFFFu, 0, false}, {0, 0xFFFFFFFFu, false}, {0xFFFFFFFEu, 7, true}, {7, 0xFFFFFFFEu, true}};
    for (const auto& r : rows) {
        t = {0, r.vertical, 16, 1, r.verticalJpeg, 1};
        EXPECT_EQ(rig.buffer->bWriteENCODEBuff(&b, 16, &t, false), r.taken) << r.vertical << " " << r.verticalJpeg;
    }
    // A width whose codec buffer size does not fit 32 bits: nothing is read.
    const TRAQ3_tagBitmapParam huge{line, 0, 1, tagRECT{0, 0, 0x40000000u, 1}};
    const TRAQ3_tagTargetPositionForBitmap ht{0, 0, 0x40000000u, 1, 0, 1};
    EXPECT_FALSE(rig.buffer->bWriteENCODEBuff(&huge, 0x40000000u, &ht, false));
    // A failed send.
    rig.recorder.FailCall(rig.recorder.attempts());
    EXPECT_FALSE(rig.Write(0, 8, 0, 6, false));
    // The JPEG encoder refuses a frame wider than 65535 pixels.
    Rig jpeg(0, 7, 1);
    const TRAQ3_tagBitmapParam wide{line, 0, 1, tagRECT{0, 0, 70000, 1}};
    const TRAQ3_tagTargetPositionForBitmap wt{0, 0, 70000, 1, 0, 1};
    EXPECT_THROW(jpeg.buffer->bWriteENCODEBuff(&wide, 280000, &wt, false), jpeg::ERR);
}

}  // namespace
}  // namespace ovcg::test
