#include "codecs/jpeg/output_stream.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace ovcg::jpeg {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Iota(int n) {
    Bytes b(static_cast<size_t>(n));
    std::iota(b.begin(), b.end(), uint8_t{1});
    return b;
}

TEST(JpegOutputStream, BytesPastTheLimitAreCarriedInOrderIntoTheNextBuffers) {
    COutputStream s;
    Bytes a(16), b(16), c(64);
    const Bytes src = Iota(36);
    s.InitStream(a.data(), 16);
    s.CopyByte(src.data(), 36);
    s.CopyByte(src.data(), -3);  // nothing
    EXPECT_EQ(s.carryCount(), 20);
    EXPECT_EQ(a, Bytes(src.begin(), src.begin() + 16));
    s.InitStream(b.data(), 16);  // 20 carried into 16: 16 open it, 4 stay carried
    EXPECT_EQ(s.carryCount(), 4);
    EXPECT_EQ(b, Bytes(src.begin() + 16, src.begin() + 32));
    s.InitStream(c.data(), 64);
    EXPECT_EQ(s.count(), 4);
    EXPECT_EQ(Bytes(c.begin(), c.begin() + 4), Bytes(src.begin() + 32, src.end()));
}

TEST(JpegOutputStream, FullCarryAreaThrows) {
    COutputStream s;
    Bytes a(16);
    s.InitStream(a.data(), 16);
    s.Fill(0x11, 16 + COutputStream::kCarrySize - 2);
    EXPECT_THROW(s.CarryTail(3), ERR);  // 9217 bytes would be carried
    s.Fill(0x11, 2);
    try {
        s.PutByte(0x22);
        FAIL() << "no throw";
    } catch (ERR e) {
        EXPECT_EQ(e, ERR_CARRY_FULL);
    }
}

TEST(JpegOutputStream, CarryTailMovesTheTailAheadOfCarriedBytes) {
    COutputStream s;
    Bytes a(8);
    s.InitStream(a.data(), 8);
    const Bytes src = Iota(10);
    s.CopyByte(src.data(), 10);  // 9 and 10 carried
    s.CarryTail(3);
    EXPECT_EQ(s.count(), 5);
    EXPECT_EQ(Bytes(s.carry(), s.carry() + s.carryCount()), (Bytes{6, 7, 8, 9, 10}));
}

// Bits in, bytes out: stuffing after every FF, one-bit padding at the end,
// codes straddling a buffer change.
TEST(JpegOutputStream, BitPacking) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, int>> codes;
        Bytes expected;  // end marker included
    } cases[] = {
        {"three_bits_101", {{0b101, 3}}, {0xBF, 0xFF, 0xD9}},
        {"nothing_pending", {}, {0xFF, 0xD9}},
        {"straddling_codes", {{0xABC, 12}}, {0xAB, 0xCF, 0xFF, 0xD9}},
        {"padding_makes_FF", {{0x7F, 7}}, {0xFF, 0x00, 0xFF, 0xD9}},
        {"stuffing", {{0xFF, 8}, {0x1FF, 9}, {0x7F, 7}, {0x00, 8}}, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0xD9}},
    };
    for (const auto& c : cases) {
        COutputStream s;
        Bytes a(32), b(32);
        s.InitStream(a.data(), 32);
        for (size_t i = 0; i < c.codes.size(); ++i) {
            if (i == 1) {  // the pending bits survive a buffer change
                a.resize(static_cast<size_t>(s.count()));
                s.InitStream(b.data(), 32);
            }
            s.PutBits(c.codes[i].first, c.codes[i].second);
        }
        s.SetDataAll();
        Bytes all = c.codes.size() > 1 ? a : Bytes{};
        const Bytes& last = c.codes.size() > 1 ? b : a;
        all.insert(all.end(), last.begin(), last.begin() + s.count());
        EXPECT_EQ(all, c.expected) << c.name;
        EXPECT_EQ(s.bitCount(), 0);
    }
}

}  // namespace
}  // namespace ovcg::jpeg
