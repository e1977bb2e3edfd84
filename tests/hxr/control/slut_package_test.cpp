#include "common/byte_cursor.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_slut.h"
#include "package_fixture.h"
#include "support/slut_walker.h"

namespace {

using namespace ovcg_test;
using Bytes8 = std::vector<uint8_t>;
constexpr uint32_t kNone = 0xFFFFFFFFu;

// The printer path's answers for a table type and grid count.
HXRHtCtrlAnswers printer_answers(uint32_t lut_type = 3, uint32_t grid = 64) {
    HXRHtCtrlAnswers a{};
    a.needLut = 1, a.lutType = lut_type, a.lutGridNum = grid, a.smlGradNum = 256, a.needDth = 1;
    a.colorConvertMode = lut_type == 3 ? 1 : lut_type == 4 ? 2 : 4;
    return a;
}

// Record identifiers and body positions of a package, read header by header.
std::vector<std::pair<uint32_t, size_t>> records(const Bytes8& b) {
    std::vector<std::pair<uint32_t, size_t>> r;
    for (size_t at = 0; at + 8 <= b.size();) {
        r.emplace_back(ovcg::load_u32le(&b[at]), at + 8);
        at += 8 + ovcg::load_u32le(&b[at + 4]);
    }
    return r;
}

Bytes8 bytes_of(std::initializer_list<int> v) { return Bytes8(v.begin(), v.end()); }

class SlutPackage : public PackageTest {
protected:
    // The package of the job, or empty. The same data set is built again and
    // laid out in two passes by hand: the bytes must agree, and the walker
    // checks them against that data set.
    using Check = std::function<void(const Bytes8&, const SlutSource&)>;
    Bytes8 build(Job& j, const HXRHtCtrlAnswers& a, const Check& also = {}) {
        if (!j.ctrl) return {};
        const uint32_t before = HXRGetMemBlockCount(inst);
        HXRSlut* slut = HXRCreateTRAQ3Data(j.ctrl, &a, &j.q, &j.option, j.vals(), svc.table(), j.clr, inst, kDutyId);
        if (!slut) {
            EXPECT_EQ(HXRGetMemBlockCount(inst), before);  // a failed build keeps nothing
            return {};
        }
        EXPECT_EQ(HXRGetMemBlockCount(inst), before + 2);  // the record and its bytes
        const uint8_t* p = nullptr;
        uint32_t n = 0;
        EXPECT_EQ(HXRGetSlut(slut, &p, &n), 0u);
        Bytes8 bytes(p, p + n);
        HXRTRAQ2Data* set = HXRCreateTRAQ3DataSet(j.ctrl, &a, &j.q, &j.option, j.vals(), svc.table(), j.clr, inst, kDutyId);
        EXPECT_NE(set, nullptr);
        const auto layout = [&](HXRPkgCursor c) {
            return CreateSlutResource(c, set, j.ctrl, a.lutGridNum, j.clr, j.q.inkSet, j.q.outputBits, a.lutType, cmp());
        };
        Bytes8 again(layout(nullptr));
        ovcg::ByteWriter w(again.data(), again.size());
        EXPECT_EQ(layout(&w), again.size());
        EXPECT_EQ(again, bytes);
        const SlutSource src{set, j.ctrl, j.clr, a.lutType, a.lutGridNum, j.q.inkSet, j.q.outputBits, cmp()};
        EXPECT_TRUE(WalkSlutPackage(bytes.data(), bytes.size(), src));
        if (also) also(bytes, src);
        HXRDeleteTRAQ2Data(set, inst);
        return bytes;
    }
};

TEST_F(SlutPackage, BuildsFromTheModel) {
    const struct {
        const char* name;
        uint32_t ink_set, doc, ht, bits, sub, second, lut_type, grid;
        std::vector<uint32_t> head;  // identifiers up to the grid record
        uint32_t matrices;
    } cases[] = {
        {"3D", 1, 0, 3, 2, 0, kNone, 3, 64, {16, 0x20001}, 2},
        {"3D, 32 nodes", 1, 0, 3, 1, 0, kNone, 3, 32, {16, 0x20001}, 2},
        {"3D, two intents", 1, 0, 3, 2, 2, 1, 3, 64, {16, 17, 0x20001}, 4},
        {"3D, two areas", 1, 0, 5, 1, 0, kNone, 3, 64, {16, 0x20001}, 4},
        {"3D, UBEC masks", 1, 0, 5, 2, 2, kNone, 3, 32, {16, 0x20001}, 2},
        {"4D", 1, 0, 3, 2, 1, kNone, 4, 32, {48, 0x20001}, 2},
        {"monochrome photo", 1, 7, 3, 2, 0, kNone, 17, 256, {32, 0x20001}, 2},
        {"monochrome", 0, 0, 3, 1, 0, kNone, 3, 64, {16, 0x20001}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Job j = job(mode(c.doc, c.ht, c.bits, c.sub), c.ink_set, c.second);
        const Bytes8 pkg = build(j, printer_answers(c.lut_type, c.grid));
        ASSERT_FALSE(pkg.empty()) << error();
        const auto r = records(pkg);
        for (size_t i = 0; i < c.head.size(); ++i) EXPECT_EQ(r.at(i).first, c.head[i]);
        const auto header = std::find_if(r.begin(), r.end(), [](const auto& x) { return x.first == 0x40000; });
        ASSERT_NE(header, r.end());
        EXPECT_EQ(pkg[header->second + 4], c.matrices);
        EXPECT_EQ(error(), 0u);
    }
}

TEST_F(SlutPackage, WalkerCatchesEveryFault) {
    Job j = job(mode(0, 3, 2), 1);
    bool walked = false;
    build(j, printer_answers(3, 32), [&](const Bytes8& pkg, const SlutSource& src) {
        walked = true;
        const auto r = records(pkg);
        const auto body = [&](uint32_t id) {
            for (const auto& x : r)
                if (x.first == id) return x.second;
            return size_t(0);
        };
        const struct {
            const char* name;
            size_t at;
            int delta;
        } faults[] = {
            {"a LUT node", body(16) + 16 + 1000, 1},
            {"the colour flag", body(16) + 5, 1},
            {"a grid level", body(0x20001) + 6 + 3, 1},
            {"an SML rate", body(0x10002) + 28 + 6 + 40, 1},
            {"an SML offset", body(0x10002) + 16, 2},
            {"a correction position", body(0x10002) + ovcg::load_u32le(&pkg[body(0x10002) + 16]) + 2, 1},
            {"a body size", body(0x10001) - 4, 4},
            {"a format number", body(0x10003), 1},
            {"a threshold", body(0x40011) + 16 + 7, 1},
            {"a matrix index", body(0x40131) + 4, 1},
            {"padding", body(0x40131) + 5, 1},
            {"an offset", body(0x50004) + 6, 1},
            {"the end record", pkg.size() - 1, 1},
        };
        for (const auto& f : faults) {
            Bytes8 bad = pkg;
            bad.at(f.at) = uint8_t(bad.at(f.at) + f.delta);
            EXPECT_FALSE(WalkSlutPackage(bad.data(), bad.size(), src)) << f.name;
        }
        Bytes8 longer = pkg;
        longer.push_back(0);
        EXPECT_FALSE(WalkSlutPackage(longer.data(), longer.size(), src));
        EXPECT_FALSE(WalkSlutPackage(pkg.data(), pkg.size() - 8, src));
        EXPECT_NE(ovcg::load_u32le(&pkg[body(0x10002) + 16]), 0u);  // the model's modes carry correction data
    });
    EXPECT_TRUE(walked);
}

TEST_F(SlutPackage, IdentifierTables) {
    // Colour code -> SML, dither index (areas 0, 1, 2) and offset identifiers.
    const std::map<uint32_t, std::array<uint32_t, 5>> table = {
        {1, {0x10001, 0x40110, 0x40111, 0x40112, 0x50001}},  {2, {0x10002, 0x40120, 0x40121, 0x40122, 0x50002}},
        {3, {0x10003, 0x40130, 0x40131, 0x40132, 0x50003}},  {12, {0x10004, 0x40140, 0x40141, 0x40142, 0x50004}},
        {4, {0x10005, 0x40150, 0x40151, 0x40152, 0x50005}},  {5, {0x10006, 0x40160, 0x40161, 0x40162, 0x50006}},
        {7, {0x10007, 0x40170, 0x40171, 0x40172, 0x50007}},  {11, {0x10008, 0x40180, 0x40181, 0x40182, 0x50008}},
        {14, {0x10009, 0x40190, 0x40191, 0x40192, 0x50009}}, {15, {0x1000A, 0x401A0, 0x401A1, 0x401A2, 0x5000A}},
        {9, {0x1000B, 0x401B0, 0x401B1, 0x401B2, 0x5000B}},  {13, {0x1000C, 0x401C0, 0x401C1, 0x401C2, 0x5000C}},
        {0, {0x10004, 0x40140, 0x40141, 0x40142, 0x50004}},  {21, {0x1000D, 0x401D0, 0x401D1, 0x401D2, 0x5000D}},
    };
    for (uint32_t code = 0; code < 300; ++code) {
        const HXRSlutIds ids = HXRGetSlutIds(code);
        const auto it = table.find(code);
        ASSERT_EQ(ids.found, it != table.end()) << code;
        if (!ids.found) continue;
        const std::array<uint32_t, 5> got = {ids.sml, ids.index[0], ids.index[1], ids.index[2], ids.offset};
        EXPECT_EQ(got, it->second) << code;
    }
}

TEST_F(SlutPackage, LutRecordsByHand) {
    // A 3D table of 2 nodes per axis and five channels (two words a node):
    // channel k of node n is 16 n + k.
    uint32_t grid[16] = {};
    for (uint32_t n = 0; n < 8; ++n) {
        uint32_t v[5];
        for (uint32_t k = 0; k < 5; ++k) v[k] = 16 * n + k;
        HXRRearrangeLut(grid + 2 * n, v, 5);
    }
    HXRLutData lut{};
    lut.grid = grid, lut.gridNum = 2, lut.dimension = 3, lut.channels = 5;
    HXRLutSlc slice{&lut, kLutSlice3D};
    Bytes8 out(64);
    ovcg::ByteWriter w(out.data(), out.size());
    ASSERT_EQ(HXRGetSlutLut(nullptr, &slice, 2, 5, 0x21, 3, 1), 64u);
    ASSERT_EQ(HXRGetSlutLut(&w, &slice, 2, 5, 0x21, 3, 1), 64u);
    EXPECT_EQ(out, bytes_of({17, 0, 0, 0, 56, 0, 0, 0, 1, 0, 0, 0, 5, 0x21, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             0x00, 0x01, 0x02, 0x03, 0x04, 0x10, 0x11, 0x12, 0x13, 0x14, 0x20, 0x21, 0x22, 0x23,
                             0x24, 0x30, 0x31, 0x32, 0x33, 0x34, 0x40, 0x41, 0x42, 0x43, 0x44, 0x50, 0x51, 0x52,
                             0x53, 0x54, 0x60, 0x61, 0x62, 0x63, 0x64, 0x70, 0x71, 0x72, 0x73, 0x74}));
    // Three of the five channels: 16 + 24 bytes.
    EXPECT_EQ(HXRGetSlutLut(nullptr, &slice, 2, 3, 0, 3, 0), 8u + 40u);

    // A monochrome-photo table: 256 rows of six channels, low halves.
    std::vector<uint32_t> rows(256 * 6);
    for (uint32_t i = 0; i < rows.size(); ++i) rows[i] = 0x30000 + (i / 6) * 256 + i % 6;
    HXRLutTNMXData tnmx{rows.data(), 256, 6};
    HXRLutSlc tone{&tnmx, kLutSliceTNMX};
    Bytes8 t(8 + 16 + 256 * 12);
    ovcg::ByteWriter tw(t.data(), t.size());
    ASSERT_EQ(HXRGetSlutLut(&tw, &tone, 256, 6, 1, 17, 0), t.size());
    EXPECT_EQ(Bytes8(t.begin(), t.begin() + 36),
              bytes_of({32, 0, 0, 0, 0x10, 0x0C, 0, 0, 1, 0, 0, 0, 6, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0}));
    EXPECT_EQ(t[t.size() - 2], 5);
    EXPECT_EQ(t[t.size() - 1], 255);

    // One cause at a time.
    HXRLutData four = lut;
    four.dimension = 4;
    HXRLutSlc four_slice{&four, kLutSlice4D};
    HXRLutTNMXData short_tone{rows.data(), 255, 6};
    HXRLutSlc short_slice{&short_tone, kLutSliceTNMX};
    const struct {
        const char* name;
        const HXRLutSlc* slice;
        uint32_t grid, k, type, intent, code;
    } bad[] = {
        {"more colours than channels", &slice, 2, 6, 3, 0, kHxrSlutLutChannels},
        {"monochrome photo, more colours", &tone, 256, 7, 17, 0, kHxrSlutLutChannels},
        {"grid count not the table's", &slice, 4, 5, 3, 0, kHxrSlutGrid},
        {"no colours", &slice, 2, 0, 3, 0, kHxrSlutGrid},
        {"monochrome photo, 255 rows handed in", &tone, 255, 6, 17, 0, kHxrSlutGrid},
        {"monochrome photo, a 255-row table", &short_slice, 256, 6, 17, 0, kHxrSlutGrid},
        {"no table", nullptr, 2, 5, 3, 0, kHxrSlutNoLut},
        {"3D slice asked as 4D", &slice, 2, 5, 4, 0, kHxrSlutNoLut},
        {"4D slice asked as 3D", &four_slice, 2, 5, 3, 0, kHxrSlutNoLut},
        {"third intent", &slice, 2, 5, 3, 2, kHxrSlutNoLut},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(HXRGetSlutLut(nullptr, b.slice, b.grid, b.k, 0, b.type, b.intent), kHxrPkgFail);
        expect_error(b.code);
    }
}

TEST_F(SlutPackage, GridRecordsByHand) {
    HXRLutData lut{};
    lut.gridNum = 32, lut.dimension = 3, lut.channels = 4;
    HXRLutSlc slice{&lut, kLutSlice3D};
    Bytes8 out(48);
    ovcg::ByteWriter w(out.data(), out.size());
    ASSERT_EQ(HXRGetSlutGrid(&w, &slice, 32, 3), 48u);
    EXPECT_EQ(out, bytes_of({1, 0, 2, 0, 40, 0, 0, 0, 1, 0, 0, 0, 32, 0, 0, 8, 17, 26, 35, 44, 53, 62, 71, 80, 89, 98,
                             107, 116, 125, 134, 143, 152, 161, 170, 179, 188, 197, 206, 215, 224, 233, 239, 244, 248,
                             252, 255, 0, 0}));
    HXRLutData four = lut;
    four.dimension = 4;
    HXRLutSlc four_slice{&four, kLutSlice4D};
    Bytes8 f(48);
    ovcg::ByteWriter fw(f.data(), f.size());
    ASSERT_EQ(HXRGetSlutGrid(&fw, &four_slice, 32, 4), 48u);
    EXPECT_EQ(Bytes8(f.begin() + 14, f.begin() + 20), bytes_of({0, 4, 9, 15, 21, 28}));
    std::vector<uint32_t> rows(256 * 4);
    HXRLutTNMXData tnmx{rows.data(), 256, 4};
    HXRLutSlc tone{&tnmx, kLutSliceTNMX};
    Bytes8 t(8 + 264);
    ovcg::ByteWriter tw(t.data(), t.size());
    ASSERT_EQ(HXRGetSlutGrid(&tw, &tone, 256, 17), t.size());
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(t[14 + i], i);
    EXPECT_EQ(Bytes8(t.begin(), t.begin() + 14), bytes_of({1, 0, 2, 0, 8, 1, 0, 0, 1, 0, 0, 0, 0, 1}));

    lut.gridNum = 48;
    EXPECT_EQ(HXRGetSlutGrid(nullptr, &slice, 48, 3), kHxrPkgFail);  // not one of the engine's grids
    expect_error(kHxrSlutGrid);
    lut.gridNum = 128;
    EXPECT_EQ(HXRGetSlutGrid(nullptr, &slice, 128, 3), kHxrPkgFail);  // above 64
    expect_error(kHxrSlutGrid);
    EXPECT_EQ(HXRGetSlutGrid(nullptr, &tone, 64, 17), kHxrPkgFail);   // a monochrome-photo grid has 256
    expect_error(kHxrSlutGrid);
}

TEST_F(SlutPackage, SmlRecordsByHand) {
    const HXRClrMgr* clr = colours(1, 2);  // C M Y K, 3 dots each; K takes dither offsets first
    uint32_t rates[6] = {4080, 0, 0, 1000, 2000, 1080};
    const HXRSmlColorData e{2, 3, {3, 6, 10}, rates};
    // Without correction data.
    Bytes8 plain(56);
    ovcg::ByteWriter pw(plain.data(), plain.size());
    ASSERT_EQ(WriteSmlFmt2(&pw, 0x10001, &e, nullptr, nullptr, 1, clr), 56u);
    EXPECT_EQ(plain, bytes_of({1, 0, 1, 0, 48, 0, 0, 0, 2, 0, 0, 0, 3, 2, 0, 0, 0xF0, 0x0F, 2, 0,
                               34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 0, 60, 0, 100, 0,
                               0xF0, 0x0F, 0, 0, 0, 0, 0xE8, 0x03, 0xD0, 0x07, 0x38, 0x04, 0, 0}));
    // One-byte correction positions: C's dots are entries 3, 4, 5 (K's three
    // dots come first), one position each, so the block ends odd and is padded.
    const uint8_t block[] = {6, 2, 1, 2, 3, 4, 5, 6, 7, 255, 255, 8, 9, 255};
    const HXRSlutCorrection corr{block, 1, nullptr};
    Bytes8 fixed(88);
    ovcg::ByteWriter fw(fixed.data(), fixed.size());
    ASSERT_EQ(WriteSmlFmt2(&fw, 0x10001, &e, nullptr, &corr, 1, clr), 88u);
    EXPECT_EQ(Bytes8(fixed.begin(), fixed.begin() + 36),
              bytes_of({1, 0, 1, 0, 80, 0, 0, 0, 2, 0, 0, 0, 3, 2, 0, 0, 0xF0, 0x0F, 2, 0, 34, 0, 0, 0, 46, 0, 0, 0,
                        52, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes8(fixed.begin() + 54, fixed.end()),
              bytes_of({1, 1, 7, 8, 9, 0,                                              // M, P, positions, pad
                        1, 0, 0, 0, 128, 0, 255, 0, 128, 0, 0, 0, 128, 0, 255, 0, 128, 0,  // rate points
                        0, 0, 128, 0, 255, 0, 128, 0, 0, 0}));
    // Two-byte positions with the rate data's lines and an index table.
    const uint8_t wide[] = {6, 1, 0, 0, 0, 0, 0, 0, 0x34, 0x12, 0xFF, 0xFF, 0x78, 0x56};
    const HXRSlutCorrection corr2{wide, 2, nullptr};
    uint32_t index[256];
    for (uint32_t j = 0; j < 256; ++j) index[j] = 255 * j;
    const uint64_t n = WriteSmlFmt2(nullptr, 0x10001, &e, index, &corr2, 1, clr);
    Bytes8 full(n);
    ovcg::ByteWriter ww(full.data(), full.size());
    ASSERT_EQ(WriteSmlFmt2(&ww, 0x10001, &e, index, &corr2, 1, clr), n);
    ASSERT_EQ(n, 8u + 46 + 8 + 26 + 516);
    EXPECT_EQ(ovcg::load_u32le(&full[8 + 16]), 46u);
    EXPECT_EQ(ovcg::load_u32le(&full[8 + 20]), 54u);
    EXPECT_EQ(ovcg::load_u32le(&full[8 + 24]), 80u);
    EXPECT_EQ(Bytes8(full.begin() + 8 + 46, full.begin() + 8 + 54), bytes_of({1, 2, 0x34, 0x12, 0xFF, 0xFF, 0x78, 0x56}));
    EXPECT_EQ(Bytes8(full.begin() + 8 + 80, full.begin() + 8 + 88), bytes_of({0, 1, 16, 0, 0, 0, 0xFF, 0}));
}

TEST_F(SlutPackage, DitherRecordsByHand) {
    const HXRClrMgr* clr = colours(1, 2);  // output order C M Y K
    FakeDither f;
    HXRTRAQ2DthSingleData* a = f.add(2, 2, 0, 3);
    HXRTRAQ2DthSingleData* b = f.add(4, 2, 5, 0);
    HXRTRAQ2DthSingleData* c = f.add(2, 2, 0, 0);
    HXRTRAQ2DthSingleData* d = f.add(2, 2, 2, 2);
    HXRTRAQ2DthSingleData* by_ink[4] = {b, a, d, c};  // first appearance: b, a, d, c
    for (uint32_t i = 0; i < 4; ++i) {
        f.area[0].dither[i] = by_ink[i];
        f.offset[0].ink[i] = {10 + i, 20 * i};
    }
    const uint64_t n = HXRGetSlutDither(nullptr, &f.mgr, clr, 4);
    Bytes8 out(n);
    ovcg::ByteWriter w(out.data(), out.size());
    ASSERT_EQ(HXRGetSlutDither(&w, &f.mgr, clr, 4), n);
    const Bytes8 head = bytes_of({0, 0, 4, 0, 8, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0,
                                  // b: 4 x 2, first step 5, second 0
                                  0x10, 0, 4, 0, 32, 0, 0, 0, 1, 0, 0, 0, 4, 0, 2, 0, 1, 2, 5, 0, 0, 0, 0, 0,
                                  1, 0, 2, 0, 3, 0, 4, 0, 17, 0, 18, 0, 19, 0, 20, 0,
                                  // a: 2 x 2, first step 0, second 3
                                  0x11, 0, 4, 0, 24, 0, 0, 0, 1, 0, 0, 0, 2, 0, 2, 0, 1, 1, 3, 0, 0, 0, 0, 0,
                                  1, 0, 2, 0, 17, 0, 18, 0,
                                  // d: both steps non-zero, nothing written
                                  0x12, 0, 4, 0, 24, 0, 0, 0, 1, 0, 0, 0, 2, 0, 2, 0, 1, 0, 0, 0, 0, 1, 0, 2,
                                  0, 17, 0, 18, 0, 0, 0, 0,
                                  // c: both 0, the first form
                                  0x13, 0, 4, 0, 24, 0, 0, 0, 1, 0, 0, 0, 2, 0, 2, 0, 1, 1, 0, 0, 0, 0, 0, 0,
                                  1, 0, 2, 0, 17, 0, 18, 0});
    ASSERT_EQ(n, head.size() + 12 * 16);
    EXPECT_EQ(Bytes8(out.begin(), out.begin() + long(head.size())), head);
    // Index records: C (areas 0, 1, 2 all area 0's matrix), then M, Y, K.
    const uint32_t want[4][2] = {{0x40110, 0}, {0x40120, 1}, {0x40130, 2}, {0x40140, 3}};
    for (uint32_t i = 0; i < 12; ++i) {
        const size_t at = head.size() + 16 * i;
        EXPECT_EQ(Bytes8(out.begin() + long(at), out.begin() + long(at) + 16),
                  bytes_of({int(want[i / 3][0] + i % 3) & 0xFF, int(want[i / 3][0] >> 8) & 0xFF, 4, 0, 8, 0, 0, 0, 1,
                            0, 0, 0, int(want[i / 3][1]), 0, 0, 0}));
    }
    Bytes8 off(4 * 16);
    ovcg::ByteWriter ow(off.data(), off.size());
    ASSERT_EQ(HXRGetSlutDitherOffset(&ow, &f.mgr, clr, 4), off.size());
    EXPECT_EQ(Bytes8(off.begin() + 48, off.end()), bytes_of({4, 0, 5, 0, 8, 0, 0, 0, 1, 0, 0, 0, 13, 0, 60, 0}));

    // One cause at a time.
    f.area[0].dither[4] = f.add(2, 2);  // a fifth matrix
    EXPECT_EQ(HXRGetSlutDither(nullptr, &f.mgr, clr, 4), kHxrPkgFail);
    expect_error(kHxrSlutDitherLayout);
    FakeDither areas(4);
    for (uint32_t a4 = 0; a4 < 4; ++a4)
        for (uint32_t i = 0; i < 4; ++i) areas.area[a4].dither[i] = i ? nullptr : areas.add(2, 2);
    EXPECT_EQ(HXRGetSlutDither(nullptr, &areas.mgr, clr, 4), kHxrPkgFail);
    expect_error(kHxrSlutDitherLayout);
    FakeDither huge;  // 65535 x 65535 two-byte thresholds do not fit in a record
    for (uint32_t i = 0; i < 4; ++i) huge.area[0].dither[i] = i ? huge.area[0].dither[0] : huge.add(65535, 65535, 0, 0, 2, false);
    EXPECT_EQ(HXRGetSlutDither(nullptr, &huge.mgr, clr, 4), kHxrPkgFail);
    expect_error(kHxrSlutSize);
    const HXRClrMgr* dy = colours(4, 1);  // C M Y K c m DY: DY has no identifiers
    EXPECT_EQ(HXRGetSlutDitherOffset(nullptr, &f.mgr, dy, 7), kHxrPkgFail);
    expect_error(kHxrSlutColourCode);
}

TEST_F(SlutPackage, CodesOfTheBuild) {
    const ModelPrintMode m = mode(0, 3, 2);
    struct Case {
        const char* name;
        std::function<void(Job&, HXRHtCtrlAnswers&)> edit;
        uint32_t code;
        uint32_t second = kNone;
    };
    static const uint32_t over[12] = {1024, 4097, 1024, 1024};
    const Case cases[] = {
        {"words neither multi-duty nor a duty record", [](Job& j, HXRHtCtrlAnswers&) { j.values.colorWords[1] = over; },
         kHxrSlutDutyNotARecord},
        {"duty factor out of range", [](Job& j, HXRHtCtrlAnswers&) { duty_record(j.option.colorValue, 100); },
         kHxrSlutDutyOutOfRange},
        {"no colour table", [](Job&, HXRHtCtrlAnswers& a) { a.needLut = 0; }, kHxrSlutNoLut},
        {"two intents of a 4D table", [](Job&, HXRHtCtrlAnswers& a) { a = printer_answers(4, 32); }, kHxrSlutNoLut, 1},
        {"no dither data", [](Job&, HXRHtCtrlAnswers& a) { a.needDth = 0; }, kHxrSlutNoDither},
        {"grid count the rebuilt table lacks", [](Job&, HXRHtCtrlAnswers& a) { a.lutGridNum = 48; }, 6369},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Job j = job(c.second == kNone ? m : mode(0, 3, 2, 2), 1, c.second);
        HXRHtCtrlAnswers a = printer_answers();
        c.edit(j, a);
        EXPECT_TRUE(build(j, a).empty());
        expect_error(c.code);
    }
    // A duty-factor record that is valid scales the tables instead.
    Job duty = job(m, 1);
    duty_record(duty.option.colorValue, 1536);
    EXPECT_FALSE(build(duty, printer_answers()).empty());
    expect_error(0);

    const uint8_t* p = nullptr;
    uint32_t n = 0;
    HXRSlut s{nullptr, 0};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(HXRGetSlut(i == 0 ? nullptr : &s, i == 1 ? nullptr : &p, i == 2 ? nullptr : &n), kHxrSlutNullArgument);
        expect_error(kHxrSlutNullArgument);
    }
}

TEST_F(SlutPackage, FailedAllocationsLeaveNothing) {
    Job j = job(mode(0, 3, 2, 2), 1, 1);
    ASSERT_NE(j.ctrl, nullptr);
    const HXRHtCtrlAnswers a = printer_answers(3, 32);
    sweep_allocations([&] {
        return HXRCreateTRAQ3Data(j.ctrl, &a, &j.q, &j.option, j.vals(), svc.table(), j.clr, inst, kDutyId) != nullptr;
    });
}

}  // namespace
