#include "common/byte_cursor.h"
#include "common/byte_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace ovcg {
namespace {

TEST(ByteCursor, ReadsBothEndiannesses) {
    const uint8_t b[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C};
    ByteCursor c(b, sizeof b);
    EXPECT_EQ(c.u8(), 0x01);
    EXPECT_EQ(c.u16le(), 0x0302);
    EXPECT_EQ(c.u16be(), 0x0405);
    EXPECT_EQ(c.u32le(), 0x09080706u);
    EXPECT_EQ(c.u16be(), 0x0A0B);
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(c.remaining(), 1u);
    uint16_t v = 0xAAAA;
    EXPECT_FALSE(c.u16le(v));
    EXPECT_EQ(v, 0xAAAA);  // untouched on failure
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(c.u8(), 0);  // sticky: even a byte that is there is refused
}

TEST(ByteCursor, SignedReads) {
    const uint8_t b[] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF};
    ByteCursor c(b, sizeof b);
    EXPECT_EQ(c.i16le(), -1);
    EXPECT_EQ(c.i32le(), -2);
}

struct RangeCase {
    size_t size, offset, len;
    bool ok;
};

TEST(ByteCursor, SubRangesRefuseAnythingOutside) {
    const RangeCase cases[] = {
        {8, 0, 8, true},  {8, 8, 0, true},           {8, 4, 4, true},         {8, 4, 5, false},
        {8, 9, 0, false}, {8, SIZE_MAX, 2, false},   {8, 2, SIZE_MAX, false}, {0, 0, 0, true},
        {0, 0, 1, false}, {8, 1, SIZE_MAX - 0, false},
    };
    std::vector<uint8_t> buf(16);
    for (const auto& t : cases) {
        ByteCursor c(buf.data(), t.size);
        ByteCursor s;
        EXPECT_EQ(c.sub_at(t.offset, t.len, s), t.ok) << t.size << " " << t.offset << " " << t.len;
        if (t.ok) {
            EXPECT_EQ(s.size(), t.len);
        }
        ByteCursor d(buf.data(), t.size);
        bool seek_ok = d.seek(t.offset);
        EXPECT_EQ(seek_ok && d.skip(t.len), t.ok);
    }
}

TEST(ByteCursor, TakeAndAlign) {
    uint8_t b[10] = {};
    ByteCursor c(b, sizeof b);
    EXPECT_EQ(c.take(3), b);
    EXPECT_TRUE(c.align(4));
    EXPECT_EQ(c.pos(), 4u);
    EXPECT_TRUE(c.align(4));
    EXPECT_EQ(c.pos(), 4u);
    EXPECT_TRUE(c.skip(5));
    EXPECT_FALSE(c.align(4));  // would step past the end
    ByteCursor n(nullptr, 100);  // a null range has no bytes
    EXPECT_EQ(n.size(), 0u);
    EXPECT_EQ(n.take(1), nullptr);
}

TEST(ByteCursor, PeekDoesNotMoveOrFail) {
    const uint8_t b[] = {0x10, 0x20, 0x30, 0x40};
    ByteCursor c(b, sizeof b);
    uint32_t v = 0;
    EXPECT_TRUE(c.peek_u32be(0, v));
    EXPECT_EQ(v, 0x10203040u);
    EXPECT_FALSE(c.peek_u32le(1, v));
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(c.pos(), 0u);
}

TEST(ByteWriter, NeverWritesPastCapacity) {
    uint8_t buf[8];
    std::fill(std::begin(buf), std::end(buf), 0xEE);
    ByteWriter w(buf, 6);
    EXPECT_TRUE(w.u16be(0x0102));
    EXPECT_TRUE(w.u16le(0x0304));
    EXPECT_FALSE(w.u32le(0x05060708));  // 2 bytes left: nothing written
    EXPECT_FALSE(w.ok());
    EXPECT_FALSE(w.u8(1));  // sticky
    EXPECT_EQ(w.size(), 4u);
    const uint8_t want[] = {0x01, 0x02, 0x04, 0x03, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(0, memcmp(buf, want, sizeof want));
}

TEST(ByteWriter, PatchesOnlyWrittenBytes) {
    uint8_t buf[8] = {};
    ByteWriter w(buf, sizeof buf);
    w.u32be(0);
    w.u16be(0x7777);
    EXPECT_TRUE(w.patch_u32be(0, 6));
    EXPECT_FALSE(w.patch_u32be(4, 1));  // would cover bytes not yet written
    const uint8_t want[] = {0, 0, 0, 6, 0x77, 0x77};
    EXPECT_EQ(0, memcmp(buf, want, sizeof want));
}

}  // namespace
}  // namespace ovcg
