#include "codecs/jpeg/huffman.h"
#include "codecs/jpeg/jpeg_coder.h"
#include "support/jpeg_decode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ovcg::jpeg {
namespace {

using Bytes = std::vector<uint8_t>;
using Block = std::array<int, 64>;

std::string CodeString(const SHuffmanCodeTable& t, int sym) {
    std::string s;
    for (int i = t.length[sym] - 1; i >= 0; --i) s += ((t.code[sym] >> i) & 1) ? '1' : '0';
    return s;
}

Bytes FromBits(std::string bits) {  // padded with one-bits, then the end marker
    while (bits.size() % 8) bits += '1';
    Bytes out;
    for (size_t i = 0; i < bits.size(); i += 8) out.push_back(static_cast<uint8_t>(std::stoi(bits.substr(i, 8), nullptr, 2)));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

TEST(JpegHuffman, KnownCodeWords) {
    struct Case {
        const SHuffmanCodeTable* t;
        int sym;
        const char* code;
    } cases[] = {{&kYDcHuffmanT, 0, "00"},           {&kYDcHuffmanT, 2, "011"},       {&kYDcHuffmanT, 11, "111111110"},
                 {&kCDcHuffmanT, 11, "11111111110"}, {&kYDcHuffmanT16, 15, "1111111111110"},
                 {&kCDcHuffmanT16, 15, "111111111111110"}, {&kYAcHuffmanT, 0x00, "1010"}, {&kYAcHuffmanT, 0x01, "00"},
                 {&kYAcHuffmanT, 0x41, "111011"},    {&kYAcHuffmanT, 0xF0, "11111111001"}, {&kCAcHuffmanT, 0x00, "00"},
                 {&kCAcHuffmanT, 0xF0, "1111111010"}, {&kYAcHuffmanT16, 0x01, "00"}, {&kYAcHuffmanT16, 0xFF, "1111111110010101"}};
    // (16-bit luminance 0xFF: the 214th code of length 16, after (1019 << 6).)
    for (const auto& c : cases) EXPECT_EQ(CodeString(*c.t, c.sym), c.code) << c.sym;
}

Bytes CodeBlocks(const std::vector<Block>& blocks, bool dc16, bool ac16, int component = 0) {
    CJpegCoder c;
    c.SetPrecision(dc16, ac16);
    Bytes buf(1 << 16);
    c.stream().InitStream(buf.data(), static_cast<int>(buf.size()));
    for (const auto& b : blocks) {
        std::copy(b.begin(), b.end(), c.coefficients());
        c.FirstCodeHuffman(component);
    }
    c.stream().SetDataAll();
    buf.resize(static_cast<size_t>(c.stream().count()));
    return buf;
}

struct RoundTripCase {
    const char* name;
    bool dc16, ac16;
    int component;
    int acLimit;  // AC magnitudes reach this now and then
};

class JpegHuffmanRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Random blocks (runs past 16, values outside the precomputed range, blocks
// with and without a last coefficient) decode back with the test decoder.
TEST_P(JpegHuffmanRoundTrip, RandomBlocksDecodeBack) {
    const auto& c = GetParam();
    std::mt19937 rng(1234);
    std::vector<Block> blocks;
    const int dcLimit = c.dc16 ? 16000 : 1000;
    for (int i = 0; i < 300; ++i) {
        Block b{};
        b[0] = static_cast<int>(rng() % (2 * dcLimit + 1)) - dcLimit;
        const int density = static_cast<int>(rng() % 64);
        for (int k = 1; k < 64; ++k) {
            if (static_cast<int>(rng() % 64) >= density) continue;
            const int lim = (rng() % 8 == 0) ? c.acLimit : 40;
            b[static_cast<size_t>(k)] = static_cast<int>(rng() % (2 * lim + 1)) - lim;
        }
        if (i % 7 == 0) b[63] = 5;
        blocks.push_back(b);
    }
    const Bytes coded = CodeBlocks(blocks, c.dc16, c.ac16, c.component);
    for (size_t i = 0; i + 3 < coded.size(); ++i) {
        if (coded[i] == 0xFF) {
            EXPECT_EQ(coded[i + 1], 0x00) << "unstuffed FF at " << i;
        }
    }
    const bool chroma = c.component != 0;
    const HuffmanSegment& dc = c.dc16 ? (chroma ? kCDcSegment16 : kYDcSegment16) : (chroma ? kCDcSegment : kYDcSegment);
    const HuffmanSegment& ac = c.ac16 ? (chroma ? kCAcSegment16 : kYAcSegment16) : (chroma ? kCAcSegment : kYAcSegment);
    test::JpegHuffTable tdc, tac;
    ASSERT_TRUE(test::BuildHuffTable(dc.bits, dc.vals, tdc));
    ASSERT_TRUE(test::BuildHuffTable(ac.bits, ac.vals, tac));
    test::JpegBitReader br(coded.data(), coded.size(), 0);
    int pred = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        Block got;
        bool eob = false;
        ASSERT_TRUE(test::DecodeJpegBlock(br, tdc, tac, pred, got.data(), &eob)) << i;
        EXPECT_EQ(got, blocks[i]) << i;
        EXPECT_EQ(eob, blocks[i][63] == 0) << i;  // no end-of-block after a last coefficient
    }
    EXPECT_EQ(coded.size() - br.pos(), 2u);  // only the end marker remains
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegHuffmanRoundTrip,
                         ::testing::Values(RoundTripCase{"luma8", false, false, 0, 1023},
                                           RoundTripCase{"chroma8", false, false, 1, 1023},
                                           RoundTripCase{"cr8", false, false, 2, 1023},
                                           RoundTripCase{"dc16", true, false, 0, 1023},
                                           RoundTripCase{"dc16_chroma", true, false, 1, 1023},
                                           RoundTripCase{"ac16", false, true, 0, 32767},
                                           RoundTripCase{"ac16_chroma", true, true, 2, 32767}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(JpegHuffman, ExactBits) {
    Block zero{}, three{}, run20{};
    three[0] = 3;
    run20[kZigzag[21]] = 1;  // 20 zeros before it
    struct Case {
        const char* name;
        std::vector<Block> blocks;
        std::string bits;
    } cases[] = {
        {"all_zero: DC category 0, end-of-block", {zero}, "00" "1010"},
        {"same DC twice: category 0 the second time", {three, three}, "011" "11" "1010" "00" "1010"},
        {"run of 20: zero-run code, then run 4", {run20}, "00" "11111111001" "111011" "1" "1010"},
    };
    for (const auto& c : cases) EXPECT_EQ(CodeBlocks(c.blocks, false, false), FromBits(c.bits)) << c.name;
}

TEST(JpegHuffman, UniColorBlockIsDcAndEndOfBlock) {
    CJpegCoder c;
    Bytes buf(64);
    c.stream().InitStream(buf.data(), 64);
    c.CodeHuffmanUniColor(3, 1);
    c.CodeHuffmanUniColor(3, 1);
    c.stream().SetDataAll();
    buf.resize(static_cast<size_t>(c.stream().count()));
    EXPECT_EQ(buf, FromBits("10" "11" "00" "00" "00"));  // chroma DC category 2, value, end-of-block
}

TEST(JpegHuffman, ValuesWithoutACodeThrow) {
    struct Case {
        const char* name;
        bool dc16, ac16;
        int index, value;
        bool throws;
    } cases[] = {{"dc_category_11", false, false, 0, 2047, false}, {"dc_category_12", false, false, 0, 2048, true},
                 {"dc_category_12_negative", false, false, 0, -2048, true},
                 {"dc16_category_15", true, false, 0, 32767, false}, {"dc16_category_16", true, false, 0, 32768, true},
                 {"ac_size_11", false, false, 1, 1024, true},  {"ac16_size_11", false, true, 1, 1024, false},
                 {"ac16_size_16", false, true, 1, 32768, true}};
    for (const auto& c : cases) {
        Block b{};
        b[static_cast<size_t>(c.index)] = c.value;
        bool threw = false;
        try {
            CodeBlocks({b}, c.dc16, c.ac16);
        } catch (COMP_ERR e) {
            threw = e == COMP_ERR_TABLE;
        }
        EXPECT_EQ(threw, c.throws) << c.name;
    }
}

}  // namespace
}  // namespace ovcg::jpeg
