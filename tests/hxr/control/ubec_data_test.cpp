#include "hxr/control/hxr_ubec_data.h"
#include "host_data_fixture.h"

#include <random>
#include <tuple>

namespace {

using namespace ovcg_test;
using Comp = std::tuple<uint32_t, uint32_t, uint32_t>;  // c3, c2, c1

std::vector<Comp> compositions(uint32_t n) {
    std::vector<Comp> all;
    for (uint32_t c3 = 0; c3 <= n; ++c3)
        for (uint32_t c2 = 0; c2 + c3 <= n; ++c2)
            for (uint32_t c1 = 0; c1 + c2 + c3 <= n; ++c1) all.emplace_back(c3, c2, c1);
    return all;
}

struct Lists {
    std::vector<uint8_t> pre;
    std::vector<uint16_t> enc;
    uint32_t code = 0;
};

// The block's lists built as the description reads: compositions counted
// threshold by threshold, their index found by enumeration, thinned pair by pair.
Lists ref_block(const std::vector<uint32_t>& s, const std::vector<uint32_t>& rows, uint32_t dots, uint32_t l,
                const uint32_t* dec, const uint32_t* enc) {
    const uint32_t n = uint32_t(s.size());
    const std::vector<Comp> all = compositions(n);
    std::vector<uint32_t> pre, index = {0};
    uint32_t last_key = 0, last_total = 0;
    for (uint32_t v = 0; v < 255; ++v) {
        const uint32_t* r = &rows[(v + 1) * dots];
        uint32_t c3 = 0, c2 = 0, c1 = 0;
        for (uint32_t t : s) {
            if (dots == 1) {
                c1 += r[0] > s[0] && t < r[0];
            } else if (t < r[2]) {
                ++c3;
            } else if (t < r[1]) {
                ++c2;
            } else if (t < r[0]) {
                ++c1;
            }
        }
        const uint32_t key = c3 << 10 | c2 << 5 | c1, total = c3 + c2 + c1;
        if (key > last_key && total >= last_total) {
            pre.push_back(v);
            index.push_back(uint32_t(std::find(all.begin(), all.end(), Comp{c3, c2, c1}) - all.begin()));
            last_key = key, last_total = total;
        }
    }
    pre.push_back(255);
    Lists out;
    const size_t count = pre.size() - 1;
    if (count + 1 > l && count > 2 * l - 2) {
        out.code = 7652;
        return out;
    }
    if (count + 1 <= l) {
        pre.resize(l, 0), index.resize(l, 0);
    } else {
        const size_t kept = 2 * l - count - 2;
        std::vector<uint32_t> p(pre.begin(), pre.begin() + long(kept)), e(index.begin(), index.begin() + long(kept));
        for (size_t a = kept; a + 1 < count; a += 2) {
            const uint32_t mean = ((dec[pre[a]] + dec[pre[a + 1]]) << 7) + 64, i = mean >> 16, f = (mean >> 8) & 255;
            p.push_back((enc[i] + ((f * (enc[i + 1] - enc[i])) >> 8) + 16) >> 5);
            e.push_back(index[a]);
        }
        p.push_back(255), e.push_back(index[count]);
        pre = p, index = e;
    }
    out.pre.assign(pre.begin(), pre.end());
    out.enc.assign(index.begin(), index.end());
    return out;
}

// Cumulative three-dot rows that give the block of sorted distinct
// thresholds `s` the composition path[v] at level v + 1.
std::vector<uint32_t> rows_for(const std::vector<uint32_t>& s, const std::vector<Comp>& path) {
    std::vector<uint32_t> rows(3 * 256, 0);
    const auto rate = [&](uint32_t below) { return below < s.size() ? s[below] : 4080u; };
    for (size_t v = 0; v < path.size() && v < 255; ++v) {
        const auto [c3, c2, c1] = path[v];
        rows[3 * (v + 1) + 2] = rate(c3);
        rows[3 * (v + 1) + 1] = rate(c3 + c2);
        rows[3 * (v + 1)] = rate(c3 + c2 + c1);
    }
    return rows;
}

class UbecData : public HostDataTest {
protected:
    void SetUp() override {
        HostDataTest::SetUp();
        HXRGetDbgDecTable(dec, 120, 100);
        HXRGetDbgEncTable(enc, 120, 100);
        clr = colours(3, 2);
    }
    Lists build(const std::vector<uint32_t>& s, const std::vector<uint32_t>& rows, uint32_t dots, uint32_t l) {
        HXRSmlColorData row{256, dots, {}, const_cast<uint32_t*>(rows.data())};
        Lists out;
        out.pre.resize(l), out.enc.resize(l);
        out.code = HXRUbecBuildBlock(s.data(), uint32_t(s.size()), &row, l, dec, enc, out.pre.data(), out.enc.data());
        if (out.code) out.pre.clear(), out.enc.clear();
        return out;
    }
    // A manager over one intent's SML data of the model (ink set 3, three dots).
    HXRSmlDataMgr* sml_mgr(const std::function<void(SmlSpec&)>& edit = {}) {
        SmlSpec s;
        for (uint32_t i = 0; i < 6; ++i)
            s.inks.push_back(model_sml_ink(uint8_t(HXRGetOutputColorCode(clr, i)), 3, 120, 100));
        if (edit) edit(s);
        auto* m = new HXRSmlDataMgr{HXRCreateTRAQ2SmlData(sml_parser(s), 256, clr, mm), nullptr, nullptr};
        m->correct = HXRCreateTRAQ2SmlCorrectData(m->sml, {}, {}, nullptr, "", "", 3, 2, cmp(), nullptr, clr, mm);
        at_end([this, m] {
            HXRDeleteTRAQ2SmlCorrectData(m->correct, mm);
            HXRDeleteTRAQ2SmlData(m->sml, mm);
            delete m;
        });
        return m;
    }
    const HXRTRAQ2DthDataMgr* blocks(uint32_t dither, uint32_t kind, uint32_t type = kHxrDthDataUbec) {
        const HXRDthLayout lay{1, 8192, 2, 4, kind, type};
        HXRTRAQ2DthDataMgr* m = HXRCreateTRAQ2DthDataMgrFrom(dither_resources(dither, clr), &lay, clr, mm);
        if (m) at_end([this, m] { HXRDeleteTRAQ2DthDataMgr(m, mm); });
        return m;
    }
    HXRTRAQ2UBECDataMgr* make(const HXRLutSlc* lut, HXRSmlDataMgr* sml, const HXRTRAQ2DthDataMgr* dth,
                              uint32_t step = 1, uint32_t kind = 1) {
        HXRTRAQ2UBECDataMgr* m = HXRCreateTRAQ2UBECDataMgr(lut, sml, dth, step, 0, kind, clr, mm);
        if (m) at_end([this, m] { EXPECT_EQ(HXRDeleteTRAQ2UBECDataMgr(m, mm), 0u); });
        return m;
    }
    uint32_t dec[256], enc[257];
    const HXRClrMgr* clr = nullptr;
};

TEST_F(UbecData, PostDecodeCodesDecodeBack) {
    for (uint32_t n : {8u, 16u}) {
        const uint32_t p = HXRUbecPostDecodeSize(n);
        std::vector<uint32_t> post(p, 0xDEAD);
        const uint32_t used = HXRUbecFillPostDecode(post.data(), n, p);
        EXPECT_EQ(used, n == 8 ? 165u : 969u);
        const std::vector<Comp> all = compositions(n);
        ASSERT_EQ(all.size(), used);
        for (uint32_t i = 0; i < used; ++i) {
            // Digit k from the low end is the dot of the k-th pixel in threshold order.
            uint32_t c[4] = {}, code = post[i], prev = 3;
            for (uint32_t k = 0; k < n; ++k, code >>= 2) {
                EXPECT_LE(code & 3, prev);
                prev = code & 3;
                ++c[code & 3];
            }
            const auto [c3, c2, c1] = all[i];
            EXPECT_EQ(std::tie(c[3], c[2], c[1]), std::tie(c3, c2, c1)) << i;
            EXPECT_EQ(HXRUbecCompositionIndex(n, c3, c2, c1), i);
        }
        for (uint32_t i = used; i < p; ++i) EXPECT_EQ(post[i], 0u);
    }
    EXPECT_EQ(HXRUbecListSize(1, 8), 32u);
    EXPECT_EQ(HXRUbecListSize(1, 16), 64u);
    EXPECT_EQ(HXRUbecListSize(2, 16), 32u);
    EXPECT_EQ(HXRUbecListSize(3, 8), 64u);
    EXPECT_EQ(HXRUbecListSize(4, 8), 0u);
}

TEST_F(UbecData, BreakpointsMatchEnumeratedCompositions) {
    std::mt19937 rng(5);
    for (int round = 0; round < 400; ++round) {
        const uint32_t n = round % 2 ? 16 : 8, dots = round % 3 ? 3 : 1, l = round % 4 < 2 ? 32 : 64;
        std::vector<uint32_t> s(n);
        for (uint32_t& t : s) t = rng() % 4080;
        std::vector<uint32_t> rows(256 * dots);
        if (dots == 1 || round % 5 == 0) {
            for (uint32_t& r : rows) r = rng() % 4081;  // any rows, rising or not
        } else {
            // A path through many compositions, with repeats and steps back.
            std::vector<uint32_t> sorted = s;
            std::sort(sorted.begin(), sorted.end());
            const std::vector<Comp> all = compositions(n);
            std::vector<Comp> path;
            for (uint32_t v = 0; v < 255; ++v) {
                const uint32_t jump = rng() % 6;
                path.push_back(all[std::min<size_t>(all.size() - 1, v * all.size() / 255 + jump)]);
            }
            rows = rows_for(sorted, path);
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        const Lists want = ref_block(s, rows, dots, l, dec, enc), got = build(s, rows, dots, l);
        ASSERT_EQ(got.code, want.code);
        ASSERT_EQ(got.pre, want.pre);
        ASSERT_EQ(got.enc, want.enc);
    }
}

TEST_F(UbecData, ThinningKeepsTheListWithinItsPlaces) {
    std::vector<uint32_t> s(16);
    for (uint32_t i = 0; i < 16; ++i) s[i] = 200 * i + 7;
    // Every composition of 16 pixels in rising key order (ramp of c1 first).
    std::vector<Comp> rising;
    for (uint32_t c1 = 1; c1 <= 16; ++c1) rising.emplace_back(0, 0, c1);
    for (const Comp& c : compositions(16))
        if (std::get<0>(c) + std::get<1>(c) + std::get<2>(c) == 16 && c > Comp{0, 0, 16}) rising.push_back(c);
    ASSERT_EQ(rising.size(), 168u);
    for (uint32_t count : {31u, 40u, 62u, 63u, 126u, 127u, 168u}) {
        SCOPED_TRACE(count);
        const std::vector<Comp> path(rising.begin(), rising.begin() + count);
        const std::vector<uint32_t> rows = rows_for(s, path);
        for (uint32_t l : {32u, 64u}) {
            const Lists want = ref_block(s, rows, 3, l, dec, enc), got = build(s, rows, 3, l);
            EXPECT_EQ(got.code, count > 2 * l - 2 ? 7652u : 0u);
            EXPECT_EQ(got.code, want.code);
            EXPECT_EQ(got.pre, want.pre);
            EXPECT_EQ(got.enc, want.enc);
            if (got.code == 0) {
                EXPECT_EQ(got.pre[std::min(count, l - 1)], 255);  // the closing place
            }
        }
    }
}

TEST_F(UbecData, TablesOfTheModelsUbecMasks) {
    HXRSmlDataMgr* sml = sml_mgr();
    const HXRLutSlc* lut = dbg_slice(120, 100);
    for (auto [mask, n] : {std::pair{kModelMaskUbecId, 16u}, std::pair{kModelMaskUbec8Id, 8u}}) {
        SCOPED_TRACE(mask);
        const HXRTRAQ2DthDataMgr* dth = blocks(mask, 1);
        ASSERT_NE(dth, nullptr);
        const uint32_t before = HXRGetMemBlockCount(mm);
        HXRTRAQ2UBECDataMgr* m = HXRCreateTRAQ2UBECDataMgr(lut, sml, dth, 1, 0, 1, clr, mm);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(HXRGetTRAQ2UBECAreaNum(m), 1u);
        // Every colour has the same blocks and rows: one table serves them all.
        EXPECT_EQ(m->tableNum, 1u);
        const HXRTRAQ2UBECTable* t = HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(m, 0, 0);
        const HXRTRAQ2UBECDthData* u = HXRGetTRAQ2DthDataMgrUBECSingleInfo(dth, 0, 0);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(m, 0, 5), t);
        EXPECT_EQ(HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(m, 0, 6), nullptr);
        EXPECT_EQ(t->L, n == 8 ? 32u : 64u);
        EXPECT_EQ(t->P, n == 8 ? 256u : 1024u);
        std::vector<uint32_t> post(t->P);
        HXRUbecFillPostDecode(post.data(), n, t->P);
        EXPECT_TRUE(std::equal(post.begin(), post.end(), t->postDecode));
        HXRSmlColorData row{};
        ASSERT_EQ(HXRCopyTRAQ2SmlDataEveryColor(sml->sml, &row, 0, mm), 0u);
        HXRAddRateTRAQ2SmlDataEveryColor(&row);
        const std::vector<uint32_t> rows(row.rates, row.rates + 768);
        HXRFreeMem(mm, row.rates);
        const uint32_t bits = n == 8 ? 3 : 4;
        for (uint32_t b = 0; b < t->blocksH * t->blocksV; ++b) {
            for (uint32_t p = 0; p < n; ++p) ASSERT_EQ((t->order[b] >> (p * bits)) & (n - 1), u->orders[b * n + p]);
            const std::vector<uint32_t> s(u->thresholds + b * n, u->thresholds + (b + 1) * n);
            const Lists want = ref_block(s, rows, 3, t->L, dec, enc);
            ASSERT_TRUE(std::equal(want.pre.begin(), want.pre.end(), t->preDecode + b * t->L)) << b;
            ASSERT_TRUE(std::equal(want.enc.begin(), want.enc.end(), t->encode + b * t->L)) << b;
        }
        EXPECT_EQ(HXRDeleteTRAQ2UBECDataMgr(m, mm), 0u);
        EXPECT_EQ(HXRGetMemBlockCount(mm), before);
    }
    // Same blocks but other SML rows: a table of its own.
    HXRSmlDataMgr* other = sml_mgr([](SmlSpec& s) { s.inks[2] = model_sml_ink(s.inks[2].code, 3, 120, 100, 256, 0); });
    HXRTRAQ2UBECDataMgr* m = make(lut, other, blocks(kModelMaskUbecId, 1), 2);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->tableNum, 2u);
    EXPECT_NE(HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(m, 0, 2), HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(m, 0, 1));
    EXPECT_EQ(HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(m, 0, 0)->L, 32u);
}

TEST_F(UbecData, EachCodeHasOneCause) {
    HXRSmlDataMgr* sml = sml_mgr();
    const HXRLutSlc* lut = dbg_slice(120, 100);
    const HXRTRAQ2DthDataMgr* dth = blocks(kModelMaskUbec8Id, 1);
    const HXRLutSlc tnmx{nullptr, kLutSliceTNMX};
    EXPECT_EQ(make(&tnmx, sml, dth), nullptr);
    expect_error(7651);
    EXPECT_EQ(make(nullptr, sml, dth), nullptr);
    expect_error(7651);
    EXPECT_EQ(make(lut, sml, blocks(kModelDitherSwitchAreasId, 3, kHxrDthDataBoth)), nullptr);
    expect_error(7551);
    EXPECT_EQ(make(lut, sml, dth, 4), nullptr);  // no such encode step
    EXPECT_EQ(make(lut, sml, dth, 1, 2), nullptr);  // no such table kind
    EXPECT_EQ(error(), 0u);
    // A hostile mask whose orders reach past its blocks of eight.
    UbecMaskSpec bad = model_ubec_mask(16, 8, 4, 2);
    bad.entries[3] = uint16_t(9 << 12 | (bad.entries[3] & 0xFFF));
    svc.add_resource(540, write_ubec_mask(bad));
    EXPECT_EQ(make(lut, sml, blocks(540, 1)), nullptr);
    expect_error(7653);
    EXPECT_EQ(HXRDeleteTRAQ2UBECDataMgr(nullptr, mm), 7511u);
    expect_error(7511);
    EXPECT_EQ(HXRDeleteTRAQ2UBECData(nullptr, mm), 7601u);
    expect_error(7601);
    EXPECT_EQ(HXRGetTRAQ2UBECAreaNum(nullptr), 0xFFFFFFFFu);
}

}  // namespace
