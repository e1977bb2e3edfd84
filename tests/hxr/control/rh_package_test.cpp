#include "common/byte_cursor.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_rh.h"
#include "hxr/control/hxr_slut.h"
#include "package_fixture.h"
#include "support/model_calib.h"
#include "support/model_lut.h"

namespace {

using namespace ovcg_test;
using Bytes8 = std::vector<uint8_t>;
constexpr uint32_t kNone = 0xFFFFFFFFu;

Bytes8 bytes_of(std::initializer_list<int> v) { return Bytes8(v.begin(), v.end()); }
Bytes8 u16s(std::initializer_list<uint32_t> v) {
    Bytes8 b;
    for (uint32_t x : v) b.push_back(uint8_t(x)), b.push_back(uint8_t(x >> 8));
    return b;
}
// A writer's bytes: the sizing pass, then the writing pass into a buffer of that size.
template <typename F>
Bytes8 written(F&& f) {
    const uint64_t n = f(HXRPkgCursor{nullptr});
    if (n == kHxrPkgFail) return {};
    Bytes8 b(n);
    ovcg::ByteWriter w(b.data(), b.size());
    EXPECT_EQ(f(HXRPkgCursor{&w}), n);
    EXPECT_EQ(w.size(), n);
    return b;
}
// A row of G levels and D dot sizes.
HXRSmlColorData row_of(std::vector<uint32_t>& rates, uint32_t dots) {
    return {uint32_t(rates.size() / dots), dots, {3, 6, 10}, rates.data()};
}

class RhPackage : public PackageTest {
protected:
    HXRRHData* build(Job& j, const HXRAdditionalLut* added = nullptr) {
        if (!j.ctrl) return nullptr;
        const uint32_t before = HXRGetMemBlockCount(inst);
        HXRRHData* rh = HXRCreateRHData(j.ctrl, &j.q, &j.option, j.vals(), added, svc.table(), j.clr, inst, kDutyId);
        EXPECT_EQ(HXRGetMemBlockCount(inst), before + (rh ? 2 : 0));  // the handle and its image, or nothing
        if (rh) check_image(rh);
        return rh;
    }
    // The image read through its directory, independently of the writer:
    // every present section 8-aligned, inside the image, after the previous
    // one with less than 8 bytes between, the last one ending the image.
    void check_image(const HXRRHData* rh) {
        const void* p = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(HXRGetRHData(rh, &p, &n), 0u);
        img_ = static_cast<const uint8_t*>(p);
        ASSERT_GE(n, 32u + 8 * 58);
        EXPECT_EQ(ovcg::load_u32le(img_ + 28), 58u);
        std::vector<std::pair<uint32_t, uint32_t>> spans;
        for (uint32_t s = 0; s < 58; ++s) {
            const uint32_t off = ovcg::load_u32le(img_ + 32 + 8 * s), len = ovcg::load_u32le(img_ + 36 + 8 * s);
            if (len == 0) {
                EXPECT_EQ(off, 0u) << s;
                continue;
            }
            EXPECT_EQ(off % 8, 0u) << s;
            spans.emplace_back(off, len);
        }
        std::sort(spans.begin(), spans.end());
        uint64_t end = 32 + 8 * 58;
        for (const auto& [off, len] : spans) {
            EXPECT_GE(off, end);
            EXPECT_LT(off - end, 8u);
            end = uint64_t(off) + len;
        }
        EXPECT_EQ(end, n);
    }
    // A section of the last image checked (empty when absent).
    Bytes8 section(uint32_t slot) const {
        const uint32_t off = ovcg::load_u32le(img_ + 32 + 8 * slot), len = ovcg::load_u32le(img_ + 36 + 8 * slot);
        return Bytes8(img_ + off, img_ + off + len);
    }
    const uint8_t* at(uint32_t slot) const {
        const uint32_t len = ovcg::load_u32le(img_ + 36 + 8 * slot);
        return len ? img_ + ovcg::load_u32le(img_ + 32 + 8 * slot) : nullptr;
    }
    uint32_t len(uint32_t slot) const { return ovcg::load_u32le(img_ + 36 + 8 * slot); }
    // The bytes of the sections the pointers lead to.
    uint64_t pointed(const std::vector<const unsigned char*>& ptrs) const {
        uint64_t n = 0;
        for (const unsigned char* p : ptrs)
            for (uint32_t s = 0; p && s < 58; ++s) n += at(s) == p ? len(s) : 0;
        return n;
    }

    template <typename T>
    T* get(uint32_t (*getter)(const HXRRHData*, void**, uint32_t*, uint32_t, HXRMemMgr*), const HXRRHData* rh,
           uint32_t kind, uint32_t want_code, uint32_t* size = nullptr) {
        void* d = nullptr;
        uint32_t n = 0;
        EXPECT_EQ(getter(rh, &d, &n, kind, inst), want_code);
        expect_error(want_code);
        if (size) *size = n;
        return static_cast<T*>(d);
    }

    const uint8_t* img_ = nullptr;
};

TEST_F(RhPackage, BuildsFromTheModel) {
    const struct {
        const char* name;
        uint32_t ink_set, doc, ht, bits, sub, second;
        uint32_t dither;  // 0 laid out, else the code that left it out
        uint32_t ubec;    // 0 laid out, else the getter's code
    } cases[] = {
        {"3D, four masks", 1, 0, 3, 2, 2, kNone, 0, kHxrRhUbecNone},
        {"3D, two intents", 1, 0, 3, 2, 2, 1, 0, kHxrRhUbecNone},
        {"3D, UBEC masks", 1, 0, 5, 2, 2, kNone, 0, 0},
        {"3D, 64-wide masks", 1, 0, 3, 1, 0, kNone, kHxrRhDitherWidth, kHxrRhUbecNone},
        {"3D, two areas", 1, 0, 6, 2, 2, kNone, kHxrRhDitherWidth, kHxrRhUbecUnusable},
        {"monochrome photo", 3, 7, 3, 2, 2, kNone, 0, kHxrRhUbecNone},
        {"monochrome", 0, 0, 3, 1, 2, kNone, 0, kHxrRhUbecNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ModelPrintMode m = mode(c.doc, c.ht, c.bits, c.sub);
        Job j = job(m, c.ink_set, c.second);
        HXRRHData* rh = build(j);
        ASSERT_NE(rh, nullptr) << error();
        expect_error(c.dither);
        const bool tnmx = c.doc == 7;
        const uint32_t k = HXRGetOutputColorNum(j.clr), intents = c.second == kNone ? 1 : 2;
        // The common head.
        void* common = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(HXRGetRHCommonData(rh, &common, &n, 0, inst), 0u);
        ASSERT_EQ(n, 26u);
        const Bytes8 head(static_cast<uint8_t*>(common), static_cast<uint8_t*>(common) + 26);
        EXPECT_EQ(Bytes8(head.begin(), head.end()), Bytes8(img_, img_ + 26));
        EXPECT_EQ(head[0], k);
        EXPECT_EQ(img_[26], intents);
        // LUT descriptors of the kinds the package holds; the size counts the
        // sections they point to.
        uint32_t size = 0;
        const auto* lut = get<HXRRHLutInfo>(HXRGetRHLutData, rh, tnmx ? 2 : 0, 0, &size);
        ASSERT_NE(lut, nullptr);
        EXPECT_EQ(lut->intentNum, intents);
        EXPECT_EQ(lut->gridNum, tnmx ? 256 : 64);
        std::vector<const unsigned char*> ptrs(lut->calibration, lut->calibration + 8);
        for (const unsigned char* const* pair : {lut->table, lut->additional, lut->gray, lut->encode, lut->decode,
                                                 lut->gridPosition})
            ptrs.insert(ptrs.end(), pair, pair + 2);
        ptrs.push_back(lut->prePosition);
        EXPECT_EQ(size, sizeof(HXRRHLutInfo) + pointed(ptrs));
        for (uint32_t i = 0; i < 2; ++i) {
            EXPECT_EQ(lut->table[i], at((tnmx ? kRhSlotTnmx : kRhSlotPreLut) + i));
            EXPECT_EQ(lut->table[i] != nullptr, i < intents);
            EXPECT_EQ(lut->gray[i] != nullptr, i < intents && !tnmx && c.ink_set != 0);
            EXPECT_EQ(lut->gridPosition[i], tnmx ? nullptr : at(kRhSlotGridPos + i));
        }
        for (uint32_t j2 = 0; j2 < 8; ++j2) EXPECT_EQ(lut->calibration[j2], j2 < k ? at(kRhSlotCal + j2) : nullptr);
        EXPECT_EQ(lut->prePosition != nullptr, !tnmx);
        if (!tnmx) {
            const auto* grid = get<HXRRHLutInfo>(HXRGetRHLutData, rh, 1, 0);
            EXPECT_EQ(grid->table[0], at(kRhSlotGrid));
            EXPECT_EQ(len(kRhSlotGrid), 64u * 64 * 64 * ((k + 3) & ~3u));
            EXPECT_EQ(grid->gray[0], nullptr);
            get<HXRRHLutInfo>(HXRGetRHLutData, rh, 2, kHxrRhLutNoTnmx);
        } else {
            EXPECT_EQ(section(kRhSlotTnmx)[200], 200);
            get<HXRRHLutInfo>(HXRGetRHLutData, rh, 0, kHxrRhLutNoPreLut);
            get<HXRRHLutInfo>(HXRGetRHLutData, rh, 1, kHxrRhLutNoGrid);
        }
        // Dither and UBEC descriptors, or why they are missing.
        const auto* dth = get<HXRRHDitherInfo>(HXRGetRHDitherData, rh, 0, c.dither ? uint32_t(kHxrRhDitherNone) : 0u);
        EXPECT_EQ(dth != nullptr, c.dither == 0);
        if (dth) {
            std::vector<const unsigned char*> dp(dth->thresholds, dth->thresholds + 4);
            dp.insert(dp.end(), dth->sml, dth->sml + 8);
            uint32_t dsize = 0;
            get<HXRRHDitherInfo>(HXRGetRHDitherData, rh, 0, 0, &dsize);
            EXPECT_EQ(dsize, sizeof(HXRRHDitherInfo) + pointed(dp));
            EXPECT_GE(dth->matrixNum, 1u);
            EXPECT_EQ(dth->width[0], 32u);
            EXPECT_EQ(dth->thresholds[dth->matrixNum - 1], at(kRhSlotMatrix + dth->matrixNum - 1));
            EXPECT_GE(dth->smlNum, 1u);
            EXPECT_EQ(dth->sml[0], at(kRhSlotSml));
        }
        const auto* ubec = get<HXRRHUbecInfo>(HXRGetRHUBECData, rh, 0, c.ubec);
        EXPECT_EQ(ubec != nullptr, c.ubec == 0);
        // Hybrid error diffusion flags the colours with their SML kinds.
        for (uint32_t h = 0; h < 8; ++h) EXPECT_EQ(head[18 + h], c.ht != 3 && h < k ? 1 : 0) << h;
    }
}

TEST_F(RhPackage, SectionsOfTheModelJob) {
    const ModelPrintMode m = mode(0, 5, 2, 2);
    Job j = job(m, 1);
    const HXRRHData* rh = build(j);
    ASSERT_NE(rh, nullptr) << error();
    // The 17-node section is the model's resource table (no picture control,
    // no duty): C M Y K in both output and LUT order.
    const LutSpec recipe = model_lut_3d(model, 0);
    EXPECT_EQ(section(kRhSlotPreLut), recipe.clut->table);
    // Dither offsets of the flat offset resource: entry k of C, M, Y, K's
    // dither-offset order k = 1, 2, 3, 0 is 32 (k mod 4) / 4 + k.
    EXPECT_EQ(Bytes8(img_ + 2, img_ + 18), u16s({9, 18, 27, 0, 0, 0, 0, 0}));
    // One SML section shared by all four colours: the model's rates, made
    // cumulative.
    const auto* d = get<HXRRHDitherInfo>(HXRGetRHDitherData, rh, 0, 0);
    EXPECT_EQ(d->smlNum, 1u);
    EXPECT_EQ(Bytes8(d->smlNo0, d->smlNo0 + 8), Bytes8(8, 0));
    EXPECT_EQ(Bytes8(d->smlNo1, d->smlNo1 + 4), Bytes8(4, kRhNoSml));
    const SmlInk ink = model_sml_ink(1, 3, kModelColourDbg0, kModelColourDbg255);
    const Bytes8 sml = section(kRhSlotSml);
    ASSERT_EQ(sml.size(), 256u * 6);
    for (uint32_t g = 0; g < 256; ++g) {
        const uint32_t r2 = ink.rates[512 + g], r1 = ink.rates[256 + g] + r2, r0 = ink.rates[g] + r1;
        ASSERT_EQ(Bytes8(sml.begin() + 6 * g, sml.begin() + 6 * g + 6), u16s({r0, r1, r2})) << g;
    }
    // Matrices in order of first use by C, M, Y, K (dither-offset orders 1, 2,
    // 3, 0 take the masks 534, 512, 534, 512): two, 32 x 32.
    EXPECT_EQ(d->matrixNum, 2u);
    EXPECT_EQ(Bytes8(d->matrixNo, d->matrixNo + 8), bytes_of({0, 1, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(len(kRhSlotMatrix), 2u * 32 * 32);
    // UBEC tables: 4 x 2 blocks for C and Y, 4 x 4 blocks for M and K.
    const auto* u = get<HXRRHUbecInfo>(HXRGetRHUBECData, rh, 0, 0);
    EXPECT_EQ(u->tableNum, 2u);
    EXPECT_EQ(std::vector<uint32_t>(u->tableNo, u->tableNo + 8), std::vector<uint32_t>({0, 1, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint16_t>(u->blocksH, u->blocksH + 4), std::vector<uint16_t>({8, 8, 0, 0}));
    EXPECT_EQ(std::vector<uint16_t>(u->blocksV, u->blocksV + 4), std::vector<uint16_t>({16, 8, 0, 0}));
    EXPECT_EQ(Bytes8(u->blockW, u->blockW + 4), bytes_of({4, 4, 0, 0}));
    EXPECT_EQ(Bytes8(u->blockH, u->blockH + 4), bytes_of({2, 4, 0, 0}));
    // Each table whole in its own width: blocks x 32 u16 and blocks x 32 bytes.
    EXPECT_EQ(len(kRhSlotUbecEncode), 128u * 32 * 2);
    EXPECT_EQ(len(kRhSlotUbecPreDecode), 128u * 32);
    EXPECT_EQ(len(kRhSlotUbecPostDecode), 256u * 4);
    EXPECT_EQ(len(kRhSlotUbecPostDecode + 1), 1024u * 4);
    EXPECT_EQ(len(kRhSlotUbecOrder + 1), 64u * 8);
    EXPECT_EQ(Bytes8(u->postDecode[0] + 4, u->postDecode[0] + 8), u16s({1, 0}));  // one small dot
    // Without a calibration the correction is the identity: 16 j.
    for (uint32_t j2 = 0; j2 < 256; ++j2) ASSERT_EQ(ovcg::load_u16le(at(kRhSlotCal + 3) + 2 * j2), 16 * j2);
}

TEST_F(RhPackage, CalibrationTablesFollowTheCorrection) {
    const ModelPrintMode m = mode(0, 3, 2, 2);
    Job j = job(m, 1);
    ASSERT_NE(j.ctrl, nullptr);
    std::vector<CalibTable> tables;
    for (uint32_t code = 0; code < 4; ++code) tables.push_back(model_calib_positions(code, 20 + 10 * int(code)));
    const Bytes calib = write_calib(tables);
    j.values.calibration = {hold(calib), uint32_t(calib.size())};
    ASSERT_NE(build(j), nullptr) << error();
    uint32_t err = 0;
    HXRSmlDataMgr* mgr = HXRCreateTRAQ2SmlDataMgr(j.ctrl, 0, 0, 256, 1, &j.q, j.values.calibration, {}, svc.table(),
                                                  j.clr, mm, &err);
    ASSERT_NE(mgr, nullptr);
    bool bent = false;
    for (uint32_t k = 0; k < 4; ++k) {
        uint32_t pos[256];
        ASSERT_EQ(HXRGetSDMSmlIndexTable(mgr, pos, HXRGetOutputColorCode(j.clr, k)), 0u);
        for (uint32_t v = 0; v < 256; ++v) {
            ASSERT_EQ(ovcg::load_u16le(at(kRhSlotCal + k) + 2 * v), (pos[v] + 8) >> 4);
            bent = bent || pos[v] != 256 * v;
        }
    }
    EXPECT_TRUE(bent);
    EXPECT_EQ(HXRDeleteTRAQ2SmlDataMgr(mgr, mm), 0u);
}

TEST_F(RhPackage, SectionsByHand) {
    // Nodes re-ordered into output order, padded to four lanes.
    const uint8_t nodes[12] = {10, 11, 12, 13, 14, 15, 20, 21, 22, 23, 24, 25};
    const uint32_t chan[3] = {2, 0, 5};
    EXPECT_EQ(written([&](HXRPkgCursor c) { return WritePreLutRH(c, nodes, 2, 6, chan, 3); }),
              bytes_of({12, 10, 15, 0, 22, 20, 25, 0}));
    const uint32_t off_node[3] = {2, 0, 6};
    EXPECT_EQ(WritePreLutRH(nullptr, nodes, 2, 6, off_node, 3), kHxrPkgFail);
    expect_error(kHxrRhBadArgument);
    EXPECT_EQ(WritePreLutRH(nullptr, nodes, uint64_t(1) << 31, 6, chan, 3), kHxrPkgFail);  // 8 GB
    expect_error(kHxrRhSize);

    // Side tables of a colour table.
    HXRLutData lut{};
    lut.gridNum = 64, lut.dimension = 3, lut.channels = 4;
    for (uint32_t v = 0; v < 256; ++v) {
        lut.srcGridIndex[v] = 9 * v;
        lut.decode[v] = 0x12340000 + 257 * v;
        lut.preTable[v] = 0x10000 + 64 * v;
        lut.encode[v] = v;
    }
    lut.encode[256] = 0xABCD0102;
    const Bytes8 pos = written([&](HXRPkgCursor c) { return HXRGetRHLutGridPosTable(c, &lut); });
    ASSERT_EQ(pos.size(), 128u);
    // Levels 0, 5, 10, 15 sit at 0, 45, 90, 135 = 1 node + 7: 2 x 128 + 7.
    EXPECT_EQ(Bytes8(pos.begin(), pos.begin() + 8), u16s({0, 45, 90, 263}));
    EXPECT_EQ(Bytes8(pos.end() - 2, pos.end()), u16s({2 * 2176 + 119}));  // level 255 at 2295
    const Bytes8 dec = written([&](HXRPkgCursor c) { return HXRGetRHLutDecTable(c, &lut); });
    EXPECT_EQ(Bytes8(dec.begin(), dec.begin() + 6), u16s({0, 257, 514}));
    const Bytes8 enc = written([&](HXRPkgCursor c) { return HXRGetRHLutEncTable(c, &lut); });
    ASSERT_EQ(enc.size(), 514u);
    EXPECT_EQ(Bytes8(enc.end() - 4, enc.end()), bytes_of({255, 0, 2, 1}));
    const Bytes8 pre = written([&](HXRPkgCursor c) { return HXRGetRHPrePos(c, &lut); });
    EXPECT_EQ(Bytes8(pre.end() - 4, pre.end()), u16s({64 * 254, 64 * 255}));
    // Calibration: (p + 8) >> 4; without positions 16 j.
    uint32_t cal[256] = {0, 7, 8, 24, 65280, 65535};
    const Bytes8 c1 = written([&](HXRPkgCursor c) { return WriteCalTableKVT38P(c, cal); });
    EXPECT_EQ(Bytes8(c1.begin(), c1.begin() + 12), u16s({0, 0, 1, 2, 4080, 4096}));
    const Bytes8 c2 = written([&](HXRPkgCursor c) { return WriteCalTableKVT38P(c, nullptr); });
    EXPECT_EQ(Bytes8(c2.end() - 4, c2.end()), u16s({16 * 254, 16 * 255}));
    // The 3D table the sections need: three dimensions, 64 nodes, 17 source nodes.
    uint32_t grid[4] = {};
    uint8_t padded[4] = {};
    lut.grid = grid, lut.paddedTable = padded;
    for (uint32_t v = 0; v < 256; ++v) lut.srcGridIndex[v] = 8 * v + (v == 255 ? 8 : 0);
    const uint32_t lut_chan[4] = {0, 1, 2, 3};
    HXRLutData four = lut, coarse = lut, small = lut;
    four.dimension = 4, coarse.srcGridIndex[255] = 8 * 128, small.gridNum = 32;
    for (const HXRLutData* t : {&four, &coarse, &small}) {
        EXPECT_EQ(HXRGetRHLut(nullptr, t, lut_chan, 4, nullptr), kHxrPkgFail);
        expect_error(kHxrRhNo3DTable);
        EXPECT_EQ(HXRGetRHPreLut(nullptr, t, lut_chan, 4, nullptr), kHxrPkgFail);
        expect_error(kHxrRhNo3DTable);
    }
    EXPECT_EQ(HXRGetRHPreLut(nullptr, &lut, lut_chan, 4, nullptr), 17u * 17 * 17 * 4);
    // A padded copy that is not 17^3 nodes long is refused too.
    EXPECT_EQ(HXRGetRHPreLut(nullptr, &lut, lut_chan, 4, mm), kHxrPkgFail);
    expect_error(kHxrRhNo3DTable);

    // The monochrome-photo table: levels 0..255; none, or a monochrome job.
    HXRLutTNMXData tone{nullptr, 256, 6};
    HXRLutSlc tone_slice{&tone, kLutSliceTNMX}, colour_slice{&lut, kLutSlice3D};
    const Bytes8 ident = written([&](HXRPkgCursor c) { return HXRGetRHLutTNMX(c, &tone_slice, 3); });
    ASSERT_EQ(ident.size(), 256u);
    for (uint32_t v = 0; v < 256; ++v) ASSERT_EQ(ident[v], v);
    for (const auto& [slice, flag] : {std::pair{&tone_slice, 0u}, std::pair{&colour_slice, 3u}}) {
        EXPECT_EQ(HXRGetRHLutTNMX(nullptr, slice, flag), kHxrPkgFail);
        expect_error(kHxrRhNoTnmxTable);
    }

    // SML sections: three values a level, a one-dot row repeated.
    std::vector<uint32_t> one = {100, 200}, two = {7, 5, 9, 8}, three = {3, 2, 1, 6, 5, 4};
    HXRSmlColorData r1 = row_of(one, 1), r2 = row_of(two, 2), r3 = row_of(three, 3);
    EXPECT_EQ(written([&](HXRPkgCursor c) { return HXRGetRHSml(c, &r1); }), u16s({100, 100, 100, 200, 200, 200}));
    EXPECT_EQ(written([&](HXRPkgCursor c) { return HXRGetRHSml(c, &r2); }), u16s({7, 5, 0, 9, 8, 0}));
    EXPECT_EQ(written([&](HXRPkgCursor c) { return HXRGetRHSml(c, &r3); }), u16s({3, 2, 1, 6, 5, 4}));
}

TEST_F(RhPackage, SmlKindsAndNumbers) {
    const struct {
        std::vector<uint32_t> rates;
        uint32_t dots;
        uint8_t kind;
    } kinds[] = {
        {{9, 9}, 1, 0},                      // one dot
        {{5, 5, 5, 5, 4, 4}, 3, 1},          // the smallest dot used on some level
        {{5, 5, 5, 5, 5, 4}, 3, 2},          // the middle one
        {{0, 0, 0, 7, 7, 7}, 3, 3},          // only the largest
        {{0, 0, 0, 0, 0, 0}, 3, 0},          // none
        {{4, 3, 4, 4}, 2, 1},                // two dots: the third value is 0
        {{4, 4, 4, 4}, 2, 2},
    };
    for (auto k : kinds) {
        HXRSmlColorData r = row_of(k.rates, k.dots);
        EXPECT_EQ(HXRGetRHSmlKind(&r), k.kind);
    }
    // Numbering: colours 0 and 2 share, colour 3 equals colour 1; part-1 rows
    // equal to a part-0 row take its number, the others the next ones.
    std::vector<std::vector<uint32_t>> rates;
    for (uint32_t v = 0; v < 12; ++v) rates.push_back({v, v, v, v, v, 0});
    std::vector<HXRSmlColorData> p0, p1;
    for (uint32_t i : {1, 2, 1, 2}) p0.push_back(row_of(rates[i], 3));
    for (uint32_t i : {2, 5, 5, 6}) p1.push_back(row_of(rates[i], 3));
    HXRRhSmlPlan plan;
    ASSERT_EQ(SetSmlNoTbl(&plan, p0.data(), p1.data(), 4, false), 0u);
    EXPECT_EQ(plan.count, 4u);
    EXPECT_EQ(plan.partZeroCount, 2u);
    EXPECT_EQ(Bytes8(plan.no0, plan.no0 + 4), bytes_of({0, 1, 0, 1}));
    EXPECT_EQ(Bytes8(plan.no1, plan.no1 + 4), bytes_of({1, 2, 2, 3}));
    EXPECT_EQ(plan.kind[0], 2);
    ASSERT_EQ(SetSmlNoTbl(&plan, p0.data(), p1.data(), 4, true), 0u);  // monochrome photo: part 1 as part 0
    EXPECT_EQ(plan.count, 2u);
    EXPECT_EQ(Bytes8(plan.no1, plan.no1 + 4), bytes_of({0, 1, 0, 1}));
    ASSERT_EQ(SetSmlNoTbl(&plan, p0.data(), nullptr, 4, false), 0u);
    EXPECT_EQ(Bytes8(plan.no1, plan.no1 + 4), Bytes8(4, kRhNoSml));
    // Eight distinct part-0 rows and one new part-1 row: a ninth number.
    std::vector<HXRSmlColorData> eight, others;
    for (uint32_t i = 0; i < 8; ++i) eight.push_back(row_of(rates[i], 3)), others.push_back(row_of(rates[i == 7 ? 11 : i], 3));
    EXPECT_EQ(SetSmlNoTbl(&plan, eight.data(), nullptr, 8, false), 0u);
    EXPECT_EQ(SetSmlNoTbl(&plan, eight.data(), others.data(), 8, false), kHxrRhSmlNumbers);
    // Five part-0 sections beside part-1 rows, all of them shared.
    EXPECT_EQ(SetSmlNoTbl(&plan, eight.data(), eight.data(), 5, false), kHxrRhSmlPartZero);
    EXPECT_EQ(SetSmlNoTbl(&plan, eight.data(), eight.data(), 4, false), 0u);
    EXPECT_EQ(SetSmlNoTbl(&plan, eight.data(), eight.data(), 5, true), 0u);
}

TEST_F(RhPackage, DitherAndUbecPlans) {
    const HXRClrMgr* six = colours(3, 2);  // C M Y K c m; dither-offset orders 1 2 3 0 4 5
    const auto plan_code = [&](FakeDither& f) {
        HXRRhDitherPlan p;
        uint32_t code = HXRGetDitherInfo(&p, &f.mgr, six);
        if (code == 0) code = HXRGetDitherPram(&p);
        if (code == 0) code = HXRGetRHDitherOffset(&p, &f.mgr, six);
        return code;
    };
    const struct {
        const char* name;
        std::function<void(FakeDither&)> edit;
        uint32_t code;
    } cases[] = {
        {"laid out", {}, 0},
        {"a colour without a matrix", [](FakeDither& f) { f.area[0].dither[5] = nullptr; }, kHxrRhDitherNumbering},
        {"a fifth matrix", [](FakeDither& f) { f.area[0].dither[4] = f.add(32, 32), f.area[0].dither[5] = f.add(32, 32); },
         kHxrRhDitherMatrices},
        {"width 64", [](FakeDither& f) { f.area[0].dither[0] = f.add(64, 32); }, kHxrRhDitherWidth},
        {"width 48", [](FakeDither& f) { f.area[0].dither[0] = f.add(48, 32); }, kHxrRhDitherWidth},
        {"height 1025", [](FakeDither& f) { f.area[0].dither[0] = f.add(32, 1025, 0, 0, 1, false); }, kHxrRhDitherHeight},
        {"a second step", [](FakeDither& f) { f.area[0].dither[0] = f.add(32, 32, 0, 2); }, kHxrRhDitherStep},
        {"another height", [](FakeDither& f) { f.area[0].dither[1] = f.add(32, 16); }, kHxrRhDitherDiffer},
        {"another first step", [](FakeDither& f) { f.area[0].dither[1] = f.add(32, 32, 4); }, kHxrRhDitherDiffer},
        {"a second offset", [](FakeDither& f) { f.offset[0].ink[2].OffsetV = 1; }, kHxrRhDitherOffset},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDither f;
        HXRTRAQ2DthSingleData* m[3] = {f.add(32, 32), f.add(32, 32), f.add(32, 32)};
        for (uint32_t i = 0; i < 6; ++i) f.area[0].dither[i] = m[i % 3], f.offset[0].ink[i] = {3 * i, 0};
        if (c.edit) c.edit(f);
        EXPECT_EQ(plan_code(f), c.code);
    }
    // Numbers by halftone colour (C M Y K c m take inks 0..5) and the matrix
    // thresholds row by row, from rows and from row pairs alike.
    FakeDither f;
    HXRTRAQ2DthSingleData* rows = f.add(16, 2, 0, 0, 1);
    HXRTRAQ2DthSingleData* pairs = f.add(16, 2, 0, 0, 2);
    for (uint32_t i = 0; i < 6; ++i) f.area[0].dither[i] = i % 3 ? rows : pairs, f.offset[0].ink[i] = {i, 0};
    HXRRhDitherPlan p;
    ASSERT_EQ(HXRGetDitherInfo(&p, &f.mgr, six), 0u);
    ASSERT_EQ(HXRGetDitherPram(&p), 0u);
    ASSERT_EQ(HXRGetRHDitherOffset(&p, &f.mgr, six), 0u);
    EXPECT_EQ(p.count, 2u);
    EXPECT_EQ(Bytes8(p.number, p.number + 6), bytes_of({0, 1, 1, 0, 1, 1}));
    EXPECT_EQ(std::vector<uint16_t>(p.offset, p.offset + 6), std::vector<uint16_t>({0, 1, 2, 3, 4, 5}));
    const Bytes8 a = written([&](HXRPkgCursor c) { return HXRGetDitherMaskData(c, rows); });
    EXPECT_EQ(a, written([&](HXRPkgCursor c) { return HXRGetDitherMaskData(c, pairs); }));
    EXPECT_EQ(Bytes8(a.begin() + 28, a.begin() + 36), u16s({15, 16, 17, 18}));

    // UBEC tables: numbering and geometry.
    HXRTRAQ2UBECTable t[5] = {};
    for (HXRTRAQ2UBECTable& x : t) x.blockW = 4, x.blockH = 4, x.blocksH = 8, x.blocksV = 8, x.L = 32, x.P = 1024;
    HXRTRAQ2UBECData data{};
    HXRTRAQ2UBECDataMgr mgr{1, 0, {&data}};
    for (uint32_t h = 0; h < 6; ++h) data.table[h] = &t[h % 2];
    HXRRhUbecPlan u;
    ASSERT_EQ(HXRGetUBECInfo(&u, &mgr, 6), 0u);
    EXPECT_EQ(u.count, 2u);
    EXPECT_EQ(std::vector<uint32_t>(u.number, u.number + 6), std::vector<uint32_t>({0, 1, 0, 1, 0, 1}));
    for (uint32_t h = 0; h < 5; ++h) data.table[h] = &t[h];
    EXPECT_EQ(HXRGetUBECInfo(&u, &mgr, 6), kHxrRhUbecTables);
    const struct {
        uint32_t bw, bh, across;
        uint32_t code;
    } geometry[] = {{4, 4, 8, 0}, {2, 4, 4, 0},  {4, 2, 128, 0}, {4, 4, 6, kHxrRhUbecWidth}, {4, 4, 1, kHxrRhUbecWidth},
                    {4, 4, 256, kHxrRhUbecWidth}, {4, 256, 8, kHxrRhUbecBlockHeight}, {4, 255, 8, 0}};
    for (const auto& g : geometry) {
        t[0].blockW = g.bw, t[0].blockH = g.bh, t[0].blocksH = g.across;
        u = {};
        u.count = 1, u.table[0] = &t[0];
        EXPECT_EQ(HXRGetUBECPram(&u), g.code) << g.bw << " " << g.bh << " " << g.across;
    }
}

TEST_F(RhPackage, UbecSectionsByHand) {
    uint16_t enc[64];
    uint8_t pre[64];
    uint32_t post[256] = {0x00030002, 0xFFFF0001};
    uint64_t order[2] = {0x0807060504030201ull, 0x1817161514131211ull};
    for (uint32_t i = 0; i < 64; ++i) enc[i] = uint16_t(0x100 + i), pre[i] = uint8_t(i);
    HXRTRAQ2UBECTable t{pre, enc, post, order, 4, 2, 2, 1, 0, 0, 256, 32};
    const Bytes8 e = written([&](HXRPkgCursor c) { return HXRGetUBECEncTableData(c, &t); });
    ASSERT_EQ(e.size(), 128u);  // every u16 of both blocks
    EXPECT_EQ(Bytes8(e.end() - 4, e.end()), u16s({0x13E, 0x13F}));
    const Bytes8 p = written([&](HXRPkgCursor c) { return HXRGetUBECPreDecTableData(c, &t); });
    ASSERT_EQ(p.size(), 64u);  // one byte a place
    EXPECT_EQ(p.back(), 63);
    const Bytes8 d = written([&](HXRPkgCursor c) { return HXRGetUBECPostDecTableData(c, &t); });
    ASSERT_EQ(d.size(), 1024u);
    EXPECT_EQ(Bytes8(d.begin(), d.begin() + 8), u16s({2, 3, 1, 0xFFFF}));
    EXPECT_EQ(written([&](HXRPkgCursor c) { return HXRGetUBECOrderTableData(c, &t); }),
              bytes_of({1, 2, 3, 4, 5, 6, 7, 8, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18}));
    t.L = 64;  // only tables of 32 places go out
    EXPECT_EQ(HXRGetUBECEncTableData(nullptr, &t), 0u);
    EXPECT_EQ(HXRGetUBECPreDecTableData(nullptr, &t), 0u);
}

TEST_F(RhPackage, ShapeOfThePackage) {
    const struct {
        uint32_t k, intents;
        bool tnmx;
        uint32_t code;
    } cases[] = {{1, 1, false, 0}, {4, 2, false, 0}, {8, 1, false, 0}, {9, 1, false, kHxrRhBadArgument},
                 {0, 1, false, kHxrRhInkNum}, {2, 1, false, kHxrRhInkNum}, {3, 1, false, kHxrRhInkNum},
                 {4, 3, false, kHxrRhIntentNum}, {6, 1, true, 0}, {8, 2, true, 0}, {4, 1, true, kHxrRhTnmxInkNum},
                 {7, 1, true, kHxrRhTnmxInkNum}};
    for (const auto& c : cases) EXPECT_EQ(HXRCheckRHShape(c.k, c.intents, c.tnmx), c.code) << c.k << " " << c.tnmx;
}

TEST_F(RhPackage, CodesOfTheBuild) {
    // A 3D table of 9 source nodes (every other node of the model's 17).
    LutSpec nine = model_lut_3d(model, 0);
    LutClut& c = *nine.clut;
    LutClut sub = c;
    sub.pos.clear(), sub.table.clear();
    for (size_t i = 0; i < 17; i += 2) sub.pos.push_back(c.pos[i]);
    for (size_t a = 0; a < 17; a += 2)
        for (size_t b = 0; b < 17; b += 2)
            for (size_t d = 0; d < 17; d += 2)
                for (size_t k = 0; k < 4; ++k) sub.table.push_back(c.table[((a * 17 + b) * 17 + d) * 4 + k]);
    c = sub;
    file.add(kResTypeHalftone, 190, write_lut(nine));
    // A switch naming five distinct 32-wide masks for the six inks.
    DitherSwitchSpec five;
    five.areas = {{kModelMask32Ids[0], kModelMask32Ids[1], kModelMask32Ids[2], kModelMask32Ids[3], kModelMask12Id,
                   kModelMask12Id}};
    file.add(kResTypeHalftone, 691, write_dither_switch(five));
    // One mask for every ink, whatever the ink count.
    const ModelPrintMode narrow = mode(0, 3, 2, 2);
    edit_index(narrow, {{"ubec_dither", std::to_string(kModelMask32Ids[0])}});
    edit_index(mode(0, 3, 1, 2), {{"CMM-ID", "90"}});
    edit_index(mode(0, 5, 1, 2), {{"ubec_vinfo", std::to_string(kModelDitherOffsetId)}});
    edit_index(mode(7, 6, 1, 2), {{"ubec_dither", "591"}});
    edit_index(mode(7, 5, 2, 2), {{"CMM-ID", std::to_string(kModelLutTnmxId)}});
    static const uint32_t over[12] = {1024, 4097, 1024, 1024};
    const struct {
        const char* name;
        ModelPrintMode m;
        uint32_t ink_set;
        std::function<void(Job&)> edit;
        uint32_t code;
        bool built;  // dither left out: the package is built all the same
    } cases[] = {
        {"ten colours", narrow, 16, {}, kHxrRhBadArgument, false},
        {"an output colour outside the LUT", narrow, 25, {}, kHxrRhBadArgument, false},
        {"three colours", narrow, 2, {}, kHxrRhInkNum, false},
        {"monochrome photo of four colours", mode(7, 3, 2), 1, {}, kHxrRhTnmxInkNum, false},
        {"words neither multi-duty nor a record", narrow, 1, [](Job& j) { j.values.colorWords[1] = over; },
         kHxrRhDutyNotARecord, false},
        {"duty factor out of range", narrow, 1, [](Job& j) { duty_record(j.option.colorValue, 9000); },
         kHxrRhDutyOrIntents, false},
        {"9 source nodes", mode(0, 3, 1, 2), 1, {}, kHxrRhNo3DTable, false},
        {"a four-ink tone table for six inks", mode(7, 5, 2, 2), 3, {}, kHxrRhNoTnmxTable, false},
        {"an additional table of the wrong size", narrow, 1, {}, kHxrAdditionalLutSize, false},
        {"second offsets", mode(0, 5, 1, 2), 1, {}, kHxrRhDitherOffset, true},
        {"five matrices", mode(7, 6, 1, 2), 3, {}, kHxrRhDitherMatrices, true},
        {"64-wide masks", mode(0, 3, 2), 1, {}, kHxrRhDitherWidth, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        Job j = job(k.m, k.ink_set);
        ASSERT_NE(j.ctrl, nullptr);
        if (k.edit) k.edit(j);
        uint8_t bytes[10] = {};
        const HXRAdditionalLut wrong[2] = {{10, bytes}, {}};
        HXRRHData* rh = build(j, k.code == kHxrAdditionalLutSize ? wrong : nullptr);
        EXPECT_EQ(rh != nullptr, k.built);
        expect_error(k.code);
        if (rh) get<HXRRHDitherInfo>(HXRGetRHDitherData, rh, 0, kHxrRhDitherNone);
    }
    // No print mode found: no intent.
    serve();
    HXRResReadController* none = HXRCreateResReadController(svc.table(), mm);
    Job j = job(narrow, 1);
    j.ctrl = none;
    EXPECT_EQ(build(j), nullptr);
    expect_error(kHxrRhDutyOrIntents);
    EXPECT_EQ(HXRDeleteResReadController(none), 0u);
}

TEST_F(RhPackage, AdditionalTables) {
    Job j = job(mode(0, 3, 2, 2), 1, 1);
    std::vector<uint8_t> t0(kHxrRhAdditionalEntries * 4), t1(kHxrRhAdditionalEntries * 4);
    for (size_t i = 0; i < t0.size(); ++i) t0[i] = uint8_t(i * 7), t1[i] = uint8_t(i * 3);
    const HXRAdditionalLut added[2] = {{uint32_t(t0.size()), t0.data()}, {uint32_t(t1.size()), t1.data()}};
    ASSERT_NE(build(j, added), nullptr) << error();
    EXPECT_EQ(section(kRhSlotAdditional), t0);
    EXPECT_EQ(section(kRhSlotAdditional + 1), t1);
    // Only intent 1's.
    Job k = job(mode(0, 3, 2, 2), 1, 1);
    const HXRAdditionalLut second[2] = {{}, added[1]};
    ASSERT_NE(build(k, second), nullptr);
    EXPECT_EQ(len(kRhSlotAdditional), 0u);
    EXPECT_EQ(section(kRhSlotAdditional + 1), t1);
}

TEST_F(RhPackage, GetterCodes) {
    Job j = job(mode(0, 3, 2, 2), 1);
    HXRRHData* rh = build(j);
    ASSERT_NE(rh, nullptr);
    void* d = nullptr;
    uint32_t n = 0;
    const void* cp = nullptr;
    // The whole image.
    EXPECT_EQ(HXRGetRHData(nullptr, &cp, &n), kHxrRhBadArgument);
    EXPECT_EQ(HXRGetRHData(rh, nullptr, &n), kHxrRhBadArgument);
    EXPECT_EQ(HXRGetRHData(rh, &cp, nullptr), kHxrRhBadArgument);
    expect_error(kHxrRhBadArgument);
    // The common head.
    EXPECT_EQ(HXRGetRHCommonData(nullptr, &d, &n, 0, inst), kHxrRhCommonNull);
    EXPECT_EQ(HXRGetRHCommonData(rh, &d, nullptr, 0, inst), kHxrRhCommonNull);
    expect_error(kHxrRhCommonNull);
    const auto no_memory = [&](auto&& call) {
        svc.fail_allocation_after(0);
        const uint32_t code = call();
        svc.fail_allocation_after(-1);
        return code;
    };
    EXPECT_EQ(no_memory([&] { return HXRGetRHCommonData(rh, &d, &n, 0, inst); }), kHxrRhCommonMemory);
    expect_error(kHxrRhCommonMemory);
    // Descriptors: null argument, kind, no package, no memory, in that order.
    using Getter = uint32_t (*)(const HXRRHData*, void**, uint32_t*, uint32_t, HXRMemMgr*);
    const struct {
        Getter getter;
        uint32_t null_arg, bad_kind, no_package, memory;
    } getters[] = {
        {HXRGetRHLutData, kHxrRhLutNull, kHxrRhLutKind, kHxrRhLutNoPackage, kHxrRhLutMemory},
        {HXRGetRHDitherData, kHxrRhDitherNull, kHxrRhDitherKind, kHxrRhDitherNoPackage, kHxrRhDitherMemory},
        {HXRGetRHUBECData, kHxrRhUbecNull, kHxrRhUbecKind, kHxrRhUbecNoPackage, kHxrRhUbecMemory},
    };
    for (const auto& g : getters) {
        EXPECT_EQ(g.getter(rh, nullptr, &n, 0, inst), g.null_arg);
        EXPECT_EQ(g.getter(rh, &d, nullptr, 0, inst), g.null_arg);
        EXPECT_EQ(g.getter(rh, &d, &n, 0, nullptr), g.null_arg);
        expect_error(g.null_arg);
        EXPECT_EQ(g.getter(rh, &d, &n, 3, inst), g.bad_kind);
        expect_error(g.bad_kind);
        EXPECT_EQ(g.getter(nullptr, &d, &n, 0, inst), g.no_package);
        expect_error(g.no_package);
    }
    for (const auto& g : getters) {
        if (g.getter == HXRGetRHUBECData) continue;  // this job has no UBEC data
        EXPECT_EQ(no_memory([&] { return g.getter(rh, &d, &n, 0, inst); }), g.memory);
        expect_error(g.memory);
    }
    EXPECT_EQ(HXRSetABR(rh, &n), 0u);
    // The memory code of the UBEC descriptor, on a job that has one.
    Job u = job(mode(0, 5, 2, 2), 1);
    HXRRHData* with_ubec = build(u);
    ASSERT_NE(with_ubec, nullptr);
    EXPECT_EQ(no_memory([&] { return HXRGetRHUBECData(with_ubec, &d, &n, 0, inst); }), kHxrRhUbecMemory);
    expect_error(kHxrRhUbecMemory);
}

TEST_F(RhPackage, DeletingTheInstanceFreesBothPackages) {
    Job j = job(mode(0, 5, 2, 2), 1);
    const size_t before = svc.live_blocks();
    HXRMemMgr* instance = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
    HXRHtCtrlAnswers a{};
    a.needLut = 1, a.lutType = 3, a.lutGridNum = 32, a.smlGradNum = 256, a.needDth = 1, a.colorConvertMode = 1;
    ASSERT_NE(HXRCreateTRAQ3Data(j.ctrl, &a, &j.q, &j.option, j.vals(), svc.table(), j.clr, instance, kDutyId), nullptr);
    HXRRHData* rh = HXRCreateRHData(j.ctrl, &j.q, &j.option, j.vals(), nullptr, svc.table(), j.clr, instance, kDutyId);
    ASSERT_NE(rh, nullptr);
    void* d = nullptr;
    uint32_t n = 0;
    for (uint32_t kind : {0u, 1u}) EXPECT_EQ(HXRGetRHLutData(rh, &d, &n, kind, instance), 0u);
    EXPECT_EQ(HXRGetRHDitherData(rh, &d, &n, 0, instance), 0u);
    EXPECT_EQ(HXRGetRHUBECData(rh, &d, &n, 0, instance), 0u);
    EXPECT_EQ(HXRGetRHCommonData(rh, &d, &n, 0, instance), 0u);
    EXPECT_GT(svc.live_blocks(), before + 7);
    EXPECT_EQ(HXRDeleteMemMgr(instance), 0u);
    EXPECT_EQ(svc.live_blocks(), before);
}

TEST_F(RhPackage, FailedAllocationsLeaveNothing) {
    Job j = job(mode(7, 3, 2, 2), 3);  // no 64-node grids to rebuild at every try
    ASSERT_NE(j.ctrl, nullptr);
    sweep_allocations([&] {
        return HXRCreateRHData(j.ctrl, &j.q, &j.option, j.vals(), nullptr, svc.table(), j.clr, inst, kDutyId) != nullptr;
    });
}

}  // namespace
