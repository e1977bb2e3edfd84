#include "codecs/jpeg/huffman.h"
#include "codecs/jpeg/markers.h"
#include "jpeg_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace ovcg::jpeg {
namespace {

using ovcg_test::jpegt::Bytes;

Bytes Str(const char* s, size_t n) { return Bytes(s, s + n); }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
template <typename F>
Bytes Written(F&& write) {
    COutputStream s;
    Bytes buf(4096);
    s.InitStream(buf.data(), 4096);
    write(s);
    buf.resize(static_cast<size_t>(s.count()));
    return buf;
}

const Bytes kIdent = Str("OVRIX Q7LM302 \0", 15);

TEST(JpegMarkers, MatrixSegmentBytes) {
    EXPECT_EQ(Written([](COutputStream& s) { InsertYuvToRGB(s); }),
              Cat({{0xFF, 0xEE, 0x00, 0x30}, kIdent, {0x00},
                   {0x00, 0x02, 0x00, 0x00, 0xCE, 0x02, 0x00, 0x04, 0x60, 0x01, 0xDA, 0x02, 0x00, 0x02, 0x8B, 0x03, 0x00, 0x00},
                   {0x00, 0x66, 0x01, 0x00, 0x00, 0x1F, 0x02, 0x00, 0x80, 0xC4, 0x01, 0x00}}));
}

TEST(JpegMarkers, OptionSegmentBytes) {
    struct Case {
        uint32_t quality, sampling, colourMode;
        const char* fields;
    } cases[] = {{1, 0, 1, "Q10/QUALTY1/Col01/"}, {0, 1, 2, "Q08/QUALTYH/Col02/"}, {2, 2, 3, "Q12/QUALTYW/Col03/"},
                 {1, 3, 8, "Q10/QUALTY4/Col08/"}, {1, 4, 5, "Q10/QUALTYM/Col05/"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Written([&](COutputStream& s) { InsertJpegOption(s, c.quality, 2, c.sampling, c.colourMode); }),
                  Cat({{0xFF, 0xEE, 0x00, 0x41}, kIdent, {0x01}, Str("Ver3.06\0", 8), Str(c.fields, 18), Bytes(11, 0),
                       {'/'}, Bytes(9, 0)}))
            << c.fields;
    }
}

TEST(JpegMarkers, ApplicationSegment) {
    const uint8_t payload[3] = {7, 8, 9};
    EXPECT_EQ(Written([&](COutputStream& s) { WriteAppSegment(s, payload, 3); }),
              Cat({{0xFF, 0xE1, 0x00, 20}, kIdent, {7, 8, 9}}));
}

TEST(JpegMarkers, QuantSegmentScalesOnlyTheAcEntriesInZigzagOrder) {
    int16_t q[64];
    for (int k = 0; k < 64; ++k) q[k] = static_cast<int16_t>(k % 8 + 3);
    q[0] = 5;
    q[8] = 0x113;  // only the low 8 bits count: 0x13 * 16 = 0x130 -> 0x30
    const Bytes b = Written([&](COutputStream& s) { WriteQuantSegment(s, 1, q, 16); });
    ASSERT_EQ(b.size(), 69u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), (Bytes{0xFF, 0xDB, 0x00, 0x43, 0x01, 5}));  // DC unscaled
    EXPECT_EQ(b[6], (1 + 3) * 16);  // zigzag 1 = natural 1
    EXPECT_EQ(b[7], 0x30);          // zigzag 2 = natural 8
    EXPECT_EQ(b[8], 3 * 16);        // zigzag 3 = natural 16
    EXPECT_EQ(b[68], (7 + 3) * 16); // zigzag 63 = natural 63
}

TEST(JpegMarkers, AlignmentPutsTheFirstScanByteOnSixteenForEveryStart) {
    for (int comps : {1, 3}) {
        for (int p = 0; p < 48; ++p) {
            const Bytes b = Written([&](COutputStream& s) {
                s.Fill(0x77, p);
                WriteAlignment(s, comps);
            });
            const int t = static_cast<int>(b.size()) - p;
            EXPECT_GE(t, 6);
            EXPECT_LE(t, 21);
            EXPECT_EQ(Bytes(b.begin() + p, b.end()), Cat({{0xFF, 0xE1, 0x00, static_cast<uint8_t>(t - 2)}, Bytes(static_cast<size_t>(t - 4), 0)}));
            EXPECT_EQ((b.size() + 2 * static_cast<size_t>(comps) + 8) % 16, 0u) << p;
        }
    }
}

TEST(JpegMarkers, HuffmanSegments) {
    struct Case {
        const HuffmanSegment* seg;
        size_t size;
        uint8_t classId;
    } cases[] = {{&kYDcSegment, 33, 0x00},  {&kCDcSegment, 33, 0x01},  {&kYDcSegment16, 37, 0x00},  {&kCDcSegment16, 37, 0x01},
                 {&kYAcSegment, 183, 0x10}, {&kCAcSegment, 183, 0x11}, {&kYAcSegment16, 263, 0x10}, {&kCAcSegment16, 263, 0x11}};
    for (const auto& c : cases) {
        const Bytes b = Written([&](COutputStream& s) { WriteHuffmanSegment(s, *c.seg); });
        EXPECT_EQ(b.size(), c.size);
        EXPECT_EQ(Bytes(b.begin(), b.begin() + 5),
                  (Bytes{0xFF, 0xC4, static_cast<uint8_t>((c.size - 2) >> 8), static_cast<uint8_t>(c.size - 2), c.classId}));
    }
    // The 16-bit AC tables keep the codes up to length 10 and list the rest ascending.
    for (auto [wide, base, kept] : {std::tuple{&kYAcSegment16, &kYAcSegment, 28}, std::tuple{&kCAcSegment16, &kCAcSegment, 32}}) {
        EXPECT_EQ(Bytes(wide->bits, wide->bits + 10), Bytes(base->bits, base->bits + 10));
        EXPECT_EQ(Bytes(wide->bits + 10, wide->bits + 15), Bytes(5, 0));
        EXPECT_EQ(Bytes(wide->vals, wide->vals + kept), Bytes(base->vals, base->vals + kept));
        EXPECT_TRUE(std::is_sorted(wide->vals + kept, wide->vals + wide->count));
    }
}

// The DC segments byte for byte: the counts per code length, then the
// categories in order.
TEST(JpegMarkers, DcSegmentBytes) {
    struct Case {
        const HuffmanSegment* seg;
        Bytes head;  // marker, length, class and identifier, 16 counts
        int symbols;
    } cases[] = {
        {&kYDcSegment, {0xFF, 0xC4, 0, 31, 0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, 12},
        {&kCDcSegment, {0xFF, 0xC4, 0, 31, 0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, 12},
        {&kYDcSegment16, {0xFF, 0xC4, 0, 35, 0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0}, 16},
        {&kCDcSegment16, {0xFF, 0xC4, 0, 35, 0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, 16},
    };
    for (const auto& c : cases) {
        Bytes expected = c.head;
        for (int k = 0; k < c.symbols; ++k) expected.push_back(static_cast<uint8_t>(k));
        EXPECT_EQ(Written([&](COutputStream& s) { WriteHuffmanSegment(s, *c.seg); }), expected);
    }
    // The 16-bit AC tables: counts of lengths 1 to 10 as the 8-bit tables,
    // none at 11 to 15, the rest (214 and 210) at 16.
    const Bytes yAc = Written([](COutputStream& s) { WriteHuffmanSegment(s, kYAcSegment16); });
    const Bytes cAc = Written([](COutputStream& s) { WriteHuffmanSegment(s, kCAcSegment16); });
    EXPECT_EQ(Bytes(yAc.begin(), yAc.begin() + 21),
              (Bytes{0xFF, 0xC4, 0x01, 0x05, 0x10, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 0, 0, 0, 0, 0, 214}));
    EXPECT_EQ(Bytes(cAc.begin(), cAc.begin() + 21),
              (Bytes{0xFF, 0xC4, 0x01, 0x05, 0x11, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 0, 0, 0, 0, 0, 210}));
    // After the 28 kept luminance symbols: the smallest symbols not among them.
    EXPECT_EQ(Bytes(yAc.begin() + 21 + 28, yAc.begin() + 21 + 32), (Bytes{0x09, 0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(yAc.back(), 0xFF);
}

TEST(JpegMarkers, InputLevelTables) {
    const uint8_t *id = InputLevelTable(1), *half = InputLevelTable(2), *tq = InputLevelTable(3);
    for (uint32_t mode : {4u, 5u, 6u, 7u, 8u}) EXPECT_EQ(InputLevelTable(mode), id);
    for (int k = 0; k < 256; ++k) EXPECT_EQ(id[k], k);
    // Quotients truncate toward zero; the ends are set apart.
    EXPECT_EQ(Bytes({half[0], half[1], half[128], half[254], half[255]}), (Bytes{32, 65, 128, 191, 223}));
    EXPECT_EQ(Bytes({tq[0], tq[1], tq[128], tq[254], tq[255]}), (Bytes{0, 33, 128, 222, 255}));
}

// The header of the encode buffers' images: the fixed segments end at 708
// (716 with 16-times DC precision) and the first entropy byte is at 736.
TEST(JpegMarkers, HeaderLayoutOfBothConfigurations) {
    for (bool plus : {false, true}) {
        SDataPattern p = plus ? ovcg_test::jpegt::PlusPattern() : ovcg_test::jpegt::PlainPattern();
        CJpegAPI enc;
        Bytes buf(32768);
        int written = 0;
        enc.Open(buf.data(), &written, 32768, 640, 480, &p, 640 * 4, nullptr, 0);
        ASSERT_EQ(written, 736);
        std::vector<std::pair<uint8_t, size_t>> segs;
        for (size_t at = 2; at < 736; at += segs.back().second) {
            ASSERT_EQ(buf[at], 0xFF);
            segs.emplace_back(buf[at + 1], static_cast<size_t>(buf[at + 2] * 256 + buf[at + 3]) + 2);
        }
        const size_t dc = plus ? 37 : 33;
        const std::vector<std::pair<uint8_t, size_t>> expected = {
            {0xEE, 50}, {0xEE, 67},  {plus ? 0xC1 : 0xC0, 19}, {0xDB, 69}, {0xDB, 69},  {0xC4, dc},
            {0xC4, dc}, {0xC4, 183}, {0xC4, 183},              {0xE1, plus ? 6u : 14u}, {0xDA, 14}};
        EXPECT_EQ(segs, expected);
        EXPECT_EQ(Bytes(buf.begin() + 119, buf.begin() + 138),
                  (Bytes{0xFF, static_cast<uint8_t>(plus ? 0xC1 : 0xC0), 0, 17, static_cast<uint8_t>(plus ? 12 : 8), 480 >> 8,
                         480 & 255, 640 >> 8, 640 & 255, 3, 0, 0x11, 0, 1, 0x11, 1, 2, 0x11, 1}));
        EXPECT_EQ(buf[138 + 5 + 63], 3 * p.dqtAcScale);  // last luminance entry, scaled
        EXPECT_EQ(Bytes(buf.begin() + 52 + 32, buf.begin() + 52 + 38), Str("QUALTY", 6));
    }
}

// The first 16 entries (zigzag order) of both quantisation segments as the
// header writes them for the chosen quality and AC scale.
TEST(JpegMarkers, QuantSegmentsInTheHeader) {
    struct Case {
        SDataPattern p;
        Bytes luminance, chrominance;
    } cases[] = {
        {ovcg_test::jpegt::Pat(0, 2, 0, 0), {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 2, 2, 2, 3, 4},
         {3, 3, 3, 5, 4, 5, 9, 6, 6, 9, 13, 10, 9, 10, 13, 15}},
        {ovcg_test::jpegt::PlusPattern(), {1, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
         {1, 16, 16, 16, 16, 16, 16, 16, 16, 16, 32, 32, 16, 32, 32, 48}},
    };
    for (auto& c : cases) {
        CJpegAPI enc;
        Bytes buf(32768);
        int written = 0;
        enc.Open(buf.data(), &written, 32768, 64, 64, &c.p, 64 * 4, nullptr, 0);
        EXPECT_EQ(Bytes(buf.begin() + 138, buf.begin() + 143), (Bytes{0xFF, 0xDB, 0x00, 0x43, 0x00}));
        EXPECT_EQ(Bytes(buf.begin() + 143, buf.begin() + 159), c.luminance);
        EXPECT_EQ(Bytes(buf.begin() + 207, buf.begin() + 212), (Bytes{0xFF, 0xDB, 0x00, 0x43, 0x01}));
        EXPECT_EQ(Bytes(buf.begin() + 212, buf.begin() + 228), c.chrominance);
    }
}

TEST(JpegMarkers, ApplicationDataKeepsTheScanAligned) {
    for (int appLen : {1, 5, 16, 100, 1000}) {
        CJpegAPI enc;
        Bytes buf(32768), app(static_cast<size_t>(appLen), 0x42);
        int written = 0;
        SDataPattern p = ovcg_test::jpegt::PlainPattern();
        enc.Open(buf.data(), &written, 32768, 64, 64, &p, 64 * 4, app.data(), appLen);
        EXPECT_EQ(written % 16, 0) << appLen;
        EXPECT_EQ(Bytes(buf.begin() + 119, buf.begin() + 123),
                  (Bytes{0xFF, 0xE1, static_cast<uint8_t>((appLen + 17) >> 8), static_cast<uint8_t>(appLen + 17)}));
        EXPECT_EQ(buf[119 + 19], 0x42);
    }
}

}  // namespace
}  // namespace ovcg::jpeg
