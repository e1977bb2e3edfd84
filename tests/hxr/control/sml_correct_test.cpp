#include "hxr/binarize/hxr_crct_id.h"
#include "hxr/control/hxr_sml_correct.h"
#include "hxr/control/hxr_sml_mgr.h"
#include "host_data_fixture.h"
#include "support/model_calib.h"
#include "support/model_cfg.h"
#include "support/model_printer_id.h"
#include "support/model_rate.h"

#include <random>

namespace {

using namespace ovcg_test;
using Table = std::vector<uint32_t>;

// ---- slow references, transcribed from the fixed-point definitions

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
uint32_t clamp32(int64_t v) { return uint32_t(std::clamp<int64_t>(v, 0, 0xFFFFFFFF)); }
uint32_t shift_of(size_t n) {
    uint32_t b = 0;
    for (size_t m = n - 1; m; m >>= 1) ++b;
    return 16 - b;
}

int64_t ref_slope(const Table& t) {
    size_t k = t.size() - 1;
    while (k > 0 && t[k - 1] == t[k]) --k;
    const auto at = [&](size_t j) { return int64_t(t[j <= k ? k - j : 0]); };
    const int64_t v = t[k];
    return (6 * (v - at(4)) + (v - at(8)) + 32 * (v - at(2))) / 12;
}

uint32_t ref_interp(const Table& t, uint32_t x) {
    const int64_t n = int64_t(t.size()), s = shift_of(t.size()), unit = int64_t(1) << s;
    const int64_t i = x / unit, frac = x - i * unit;
    if (i < n - 1) return clamp32(t[i] + floor_div((int64_t(t[i + 1]) - t[i]) * frac + unit / 2, unit));
    return clamp32(t[n - 1] + floor_div(ref_slope(t) * (x - (n - 1) * unit) + 4 * unit, 8 * unit));
}

uint32_t ref_index(const Table& t, uint32_t value) {
    const int64_t n = int64_t(t.size()), unit = int64_t(1) << shift_of(t.size());
    for (int64_t i = 0; i < n; ++i) {
        if (t[i] < value) continue;
        if (i == 0) return 0;
        const int64_t dt = int64_t(t[i]) - t[i - 1];
        return clamp32((i - 1) * unit + ((int64_t(value) - t[i - 1]) * unit + dt / 2) / dt);
    }
    const int64_t slope = ref_slope(t);
    if (slope <= 0) return clamp32((n - 1) * unit);
    return clamp32((n - 1) * unit + ((int64_t(value) - t[n - 1]) * 8 * unit + slope / 2) / slope);
}

Table random_rising(std::mt19937& rng, size_t n) {
    Table t(n);
    uint32_t v = rng() % 50;
    for (size_t i = 0; i < n; ++i) {
        t[i] = v;
        v += rng() % 4 == 0 ? 0 : rng() % 600;  // flat runs too
    }
    if (rng() % 2) {  // a flat tail
        const size_t tail = rng() % std::min<size_t>(12, n);
        for (size_t i = n - tail; i < n; ++i) t[i] = t[n - 1 - tail];
    }
    return t;
}

class SmlCorrect : public HostDataTest {
protected:
    // One-ink-set SML data (ink set 1: C M Y K) of `dots` dot sizes.
    HXRSmlData* sml(uint32_t bits, const std::function<void(SmlSpec&)>& edit = {}, uint16_t grad = 256) {
        clr = colours(1, bits);
        SmlSpec s;
        s.grad = grad;
        for (uint8_t c : {1, 2, 3, 0}) s.inks.push_back(model_sml_ink(c, bits == 1 ? 1 : 3, 120, 100, grad));
        if (edit) edit(s);
        HXRSmlData* d = HXRCreateTRAQ2SmlData(sml_parser(s), 0, clr, mm);
        if (d) at_end([this, d] { HXRDeleteTRAQ2SmlData(d, mm); });
        return d;
    }
    HXRSmlCorrectData* correct(const HXRSmlData* d, HXRBlobRef calib = {}, HXRBlobRef pid = {},
                               const HXRCfgResParser* cfg = nullptr, const HXRRateResParser* rate = nullptr,
                               uint32_t bits = 1) {
        HXRSmlCorrectData* c =
            HXRCreateTRAQ2SmlCorrectData(d, calib, pid, cfg, "MW1", "0", 1, bits, cmp(), rate, clr, mm);
        if (c) at_end([this, c] { EXPECT_EQ(HXRDeleteTRAQ2SmlCorrectData(c, mm), 0u); });
        return c;
    }
    HXRBlobRef blob(const Bytes& b) { return {hold(b), uint32_t(b.size())}; }
    const HXRCfgResParser* cfg(const CfgSpec& recipe) {
        const Bytes b = write_cfg(recipe);
        HXRCfgResParser* p = HXRCreateCfgResParser(hold(b), uint32_t(b.size()), cmp(), mm);
        if (p) at_end([this, p] { HXRDeleteCfgResParser(p, mm); });
        return p;
    }
    const HXRRateResParser* rate(const RateSpec& recipe) {
        const Bytes b = write_rate(recipe);
        HXRRateResParser* p = HXRCreateRateResParser(hold(b), uint32_t(b.size()), cmp(), mm);
        if (p) at_end([this, p] { HXRDeleteRateResParser(p, mm); });
        return p;
    }
    // A mode for ink set 1 and one-dot output whose four entries (one per
    // ink in dither-offset order) name the ID positions given.
    const HXRCfgResParser* one_dot_cfg(std::vector<uint16_t> positions, uint16_t version = 3) {
        CfgSpec s;
        s.version = version;
        s.list_a = {{"0", 1}};
        s.list_b = {{"MW1", 1}};
        CfgBlock b;
        for (uint16_t p : positions) b.entries.push_back({p});
        s.blocks = {b};
        s.modes = {{1, 1, 255, 255, 0}};
        return cfg(s);
    }
    // Ink c's table A with the factors of its dots.
    Table expected_a(const HXRSmlColorData& e, std::vector<uint32_t> f) {
        f.resize(6, 0x10000);
        Table t(e.gradationNum);
        MakeInkWeightTable(t.data(), &e, f.data());
        return t;
    }
    const HXRClrMgr* clr = nullptr;
};

TEST_F(SmlCorrect, FixedPointMatchesSlowReference) {
    std::mt19937 rng(2024);
    for (size_t n : {256u, 512u, 3u, 9u}) {
        for (int round = 0; round < 20; ++round) {
            const Table t = random_rising(rng, n);
            const uint32_t s = shift_of(n);
            for (int k = 0; k < 200; ++k) {
                const uint32_t x = rng() % ((uint32_t(n) + 16) << s);
                ASSERT_EQ(Interpolation(t.data(), uint32_t(n), x), ref_interp(t, x)) << n << " " << x;
                const uint32_t v = rng() % (t.back() + 3000);
                ASSERT_EQ(GetSmlIndex(t.data(), uint32_t(n), v, rng() % uint32_t(n)), ref_index(t, v)) << n << " " << v;
            }
        }
    }
    // The end slope stops at entry 0; a flat table extrapolates to its last position.
    const Table flat(5, 70), step = {0, 0, 0, 8};
    EXPECT_EQ(GetSlope(flat.data(), 5), 0);
    EXPECT_EQ(GetSmlIndex(flat.data(), 5, 71, 0), 4u << 13);
    EXPECT_EQ(GetSlope(step.data(), 4), (6 * 8 + 8 + 32 * 8) / 12);
}

TEST_F(SmlCorrect, CorrectedTableMatchesSlowReference) {
    std::mt19937 rng(99);
    const HXRClrMgr* c = colours(3, 2);
    for (uint32_t g : {256u, 512u}) {
        HXRSmlData d{};
        Table base[6], w[6], rates[6];
        HXRSmlCorrectData corr{};
        corr.gradationNum = g;
        corr.sml = &d;
        corr.colours = c;
        for (uint32_t k = 0; k < 6; ++k) {
            base[k] = random_rising(rng, g);
            w[k] = Table(g);
            for (uint32_t& v : w[k]) v = rng() % (base[k].back() + 2000);
            rates[k] = Table(size_t(g) * 3);
            for (uint32_t& r : rates[k]) r = rng() % 1361;
            d.entry[k] = {g, 3, {3, 6, 10}, rates[k].data()};
            corr.base[k] = base[k].data();
            corr.tableA[k] = w[k].data();
            corr.source[k] = kHxrSmlTableA;
        }
        const uint32_t s = shift_of(g), unit = 1u << s;
        for (uint32_t k = 0; k < 6; ++k) {
            Table out(size_t(g) * 3), index(256);
            ASSERT_EQ(HXRGetSmlTable(out.data(), &corr, HXRGetOutputColorCode(c, k)), 0u);
            ASSERT_EQ(HXRGetSmlIndexTable(index.data(), &corr, HXRGetOutputColorCode(c, k)), 0u);
            for (uint32_t v = 0; v < g; ++v) {
                const uint32_t p = ref_index(base[k], w[k][v]), i = p >> s, f = p & (unit - 1);
                for (uint32_t dd = 0; dd < 3; ++dd) {
                    const uint32_t want = i >= g - 1 ? rates[k][3 * (g - 1) + dd]
                                                     : (rates[k][3 * (i + 1) + dd] * f + rates[k][3 * i + dd] * (unit - f) + unit / 2) >> s;
                    ASSERT_EQ(out[3 * v + dd], want) << g << " " << k << " " << v;
                }
            }
            for (uint32_t j = 0; j < 256; ++j)
                ASSERT_EQ(index[j], std::min(ref_index(base[k], w[k][j * g / 256]), (g - 1) << s));
        }
        EXPECT_EQ(HXRGetSmlTable(Table(3 * g).data(), &corr, 9), 1u);  // not an output colour
    }
}

TEST_F(SmlCorrect, BaseTablesMustRiseBelowTheLimit) {
    const struct {
        const char* name;
        std::function<void(SmlSpec&)> edit;
    } cases[] = {
        {"negative weight", [](SmlSpec& s) { s.inks[1].weights[0] = -20; }},
        {"falling ink", [](SmlSpec& s) { s.inks[2].rates[100] = s.inks[2].rates[99] - 1; }},
        {"0x400000 reached", [](SmlSpec& s) { s.inks[3].weights[0] = 32000; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXRSmlData* d = sml(1, c.edit);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(correct(d), nullptr);
        expect_error(6852);
    }
    HXRSmlCorrectData* ok = correct(sml(1));
    ASSERT_NE(ok, nullptr);
    for (uint32_t k = 0; k < 4; ++k) EXPECT_TRUE(std::equal(ok->base[k], ok->base[k] + 256, ok->tableA[k]));
    // Three tables of G entries per colour lie inside the one block.
    EXPECT_EQ(HXRGetMemSize(mm, ok->block), 3u * 12 * 256 * 4);
    EXPECT_EQ(ok->tableB[11] + 256, ok->block + 3 * 12 * 256);
    EXPECT_EQ(HXRDeleteTRAQ2SmlCorrectData(nullptr, mm), 6801u);
    expect_error(6801);
}

TEST_F(SmlCorrect, MultiDutyAndBrsSteps) {
    HXRSmlCorrectData* c = correct(sml(2));
    ASSERT_NE(c, nullptr);
    const Table base(c->base[0], c->base[0] + 256);
    const uint32_t unchanged[4] = {1024, 1024, 1024, 1024}, half[4] = {512, 1024, 1024, 1024};
    ASSERT_EQ(HXRControlInkWeightTRAQ2SmlByRate(c, unchanged), 0u);
    EXPECT_TRUE(std::equal(base.begin(), base.end(), c->tableA[0]));
    ASSERT_EQ(HXRControlInkWeightTRAQ2SmlByRate(c, half), 0u);
    for (uint32_t g = 0; g < 256; ++g) ASSERT_EQ(c->tableA[0][g], (base[g] + 1) >> 1);
    const uint32_t too_much[4] = {1024, 4097, 1024, 1024};
    EXPECT_EQ(HXRControlInkWeightTRAQ2SmlByRate(c, too_much), 1u);
    EXPECT_EQ(c->tableA[0][255], (base[255] + 1) >> 1);

    // BRS reads table A into table B once per preparation.
    Table brs(256);
    for (uint32_t j = 0; j < 256; ++j) brs[j] = j * 250;
    EXPECT_EQ(HXRSetBrsExcutedInkWeight(c, brs.data(), 1), 1u);  // still A into A
    ASSERT_EQ(HXRPrepareFinalWeightTable(c), 0u);
    ASSERT_EQ(HXRSetBrsExcutedInkWeight(c, brs.data(), 1), 0u);
    const Table a(c->tableA[0], c->tableA[0] + 256);
    for (uint32_t g = 0; g < 256; ++g)
        ASSERT_EQ(c->tableB[0][g], ref_interp(base, ref_interp(brs, ref_index(base, a[g]))));
    EXPECT_EQ(c->source[0], kHxrSmlTableB);
    EXPECT_EQ(HXRSetBrsExcutedInkWeight(c, brs.data(), 1), 1u);

    const uint32_t words[12] = {1024, 1024, 1024, 4097, 9999};
    EXPECT_EQ(HXRCheckMDFParam(nullptr, clr), 0u);
    EXPECT_EQ(HXRCheckMDFParam(words, clr), 1u);
    EXPECT_EQ(HXR8CheckTRAQ2SmlMDFParam(words, colours(1, 1) /* 4 inks */), 1u);
    EXPECT_EQ(HXRCheckMDFParam(words + 4, nullptr), 1u);
    const uint32_t fine[12] = {4096, 0, 1, 1024};
    EXPECT_EQ(HXRCheckMDFParam(fine, clr), 0u);
}

TEST_F(SmlCorrect, CalibrationReReadsTheBaseTable) {
    for (uint16_t g : {256, 512}) {
        HXRSmlData* d = sml(1, {}, g);
        const Bytes cal = write_calib({model_calib_positions(2, 60), model_calib_positions(0, -40)});
        HXRSmlCorrectData* c = correct(d, blob(cal));
        ASSERT_NE(c, nullptr);
        const HXRClbTblParser p = HXRCreateClbTblParser(hold(cal), uint32_t(cal.size()));
        for (uint32_t k = 0; k < 4; ++k) {
            const uint8_t* t = HXRSearchCalibTable(&p, HXRGetOutputColorCode(clr, k));
            const Table base(c->base[k], c->base[k] + g);
            for (uint32_t v = 0; v < g; ++v) {
                uint32_t want = base[v];
                if (t && g == 256) want = ref_interp(base, HXRGetCalibData(t, v));
                if (t && g == 512)
                    want = ref_interp(base, (HXRGetCalibData(t, std::min(v, 510u) / 2) +
                                             HXRGetCalibData(t, (std::min(v, 510u) + 1) / 2)) / 2);
                ASSERT_EQ(c->tableA[k][v], want) << g << " " << k << " " << v;
            }
        }
    }
    Bytes bad = write_calib({model_calib_positions(2, 60)});
    bad[8] = 0;
    EXPECT_EQ(correct(sml(1), blob(bad)), nullptr);
    expect_error(5251);
}

TEST_F(SmlCorrect, CorrectionIdsPickFactors) {
    HXRSmlData* d = sml(1);
    RateSpec r;
    r.k = 1;
    r.entries = {{1, {RateLine{0, -50, 255, -19}}},  // 20000 at ID 1: halves the dot
                 {2, {RateLine{0, 342, 255, 24}}},   // 120000 at ID 1: capped at 98048
                 {3, {std::nullopt}},                // no line: no correction
                 {0, {RateLine{0, 0, 255, 255}}}};   // 256 ID + 32768
    const HXRRateResParser* rates = rate(r);
    for (auto [ink, want] : {std::pair{1u, 20000u}, std::pair{2u, 120000u}})
        EXPECT_EQ(HXRGetCorrectValue(rates, ink, 0, 1), want);
    const Bytes pid = write_printer_id({1, 4, 0}, false);
    // Entries in dither-offset order (K C M Y); K averages IDs 1 and 4 (2.5 rounds up).
    CfgSpec s;
    s.list_a = {{"0", 1}};
    CfgBlock b;
    b.width = 2;
    b.entries = {{0, 1}, {0, 0xFFFF}, {0, 0xFFFF}, {2, 0xFFFF}};
    s.blocks = {b};
    s.modes = {{1, 1, 255, 255, 0}};
    HXRSmlCorrectData* c = correct(d, {}, blob(pid), cfg(s), rates);
    ASSERT_NE(c, nullptr);
    const uint32_t factor[4] = {32768, 98048, 0x10000, 256 * 3 + 32768};  // C M Y K
    for (uint32_t k = 0; k < 4; ++k) {
        const Table want = expected_a(d->entry[k], {factor[k]});
        EXPECT_TRUE(std::equal(want.begin(), want.end(), c->tableA[k])) << k;
    }
    EXPECT_EQ(c->tableA[0][255], 5u * 4080);
    EXPECT_EQ(error(), 0u);

    // No correction: IDs all zero, an unknown blob form, no mode for the keys.
    for (const Bytes& p : {write_printer_id({0, 0, 0}, true), Bytes{0x41, 3, 0, 1, 2}}) {
        HXRSmlCorrectData* n = correct(d, {}, blob(p), cfg(s), rates);
        ASSERT_NE(n, nullptr);
        EXPECT_TRUE(std::equal(n->base[1], n->base[1] + 256, n->tableA[1]));
    }
    ASSERT_NE(correct(d, {}, blob(pid), cfg(s), rates, 2), nullptr);
    EXPECT_EQ(correct(d, {}, blob({0x20, 1}), cfg(s), rates), nullptr);
    expect_error(5351);
    // A position past the IDs; more than 254 IDs with one-byte positions.
    EXPECT_EQ(correct(d, {}, blob(pid), one_dot_cfg({0, 1, 2, 3}), rates), nullptr);
    expect_error(6851);
    const Bytes many = write_printer_id(model_printer_ids(255), true);
    EXPECT_EQ(correct(d, {}, blob(many), one_dot_cfg({0, 1, 2, 3}, 2), rates), nullptr);
    expect_error(6857);
    EXPECT_NE(correct(d, {}, blob(write_printer_id(model_printer_ids(254), false)), one_dot_cfg({0, 1, 2, 3}, 2),
                      rates),
              nullptr);
}

TEST_F(SmlCorrect, ManagerOfTheModelsPrintMode) {
    const HXRClrMgr* c = nullptr;
    _HXR_HALFTONE_INFO q = query(mode(0, 3, 2), 1);
    HXRResReadController* ctrl = read_controller(q, &c);
    ASSERT_NE(ctrl, nullptr);
    const Bytes pid = write_printer_id(model_printer_ids(240), false);
    const auto make = [&](uint32_t intent, uint32_t part, uint32_t g, uint32_t* err) {
        HXRSmlDataMgr* m = HXRCreateTRAQ2SmlDataMgr(ctrl, intent, part, g, 1, &q, {}, blob(pid), svc.table(), c, mm, err);
        if (m) at_end([this, m] { EXPECT_EQ(HXRDeleteTRAQ2SmlDataMgr(m, mm), 0u); });
        return m;
    };
    uint32_t err = 99;
    HXRSmlDataMgr* m = make(0, 0, 256, &err);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(m->tnmx, nullptr);
    // The model's correction mode for the print mode changes table A.
    bool corrected = false;
    for (uint32_t k = 0; k < 4; ++k) corrected |= !std::equal(m->correct->base[k], m->correct->base[k] + 256, m->correct->tableA[k]);
    EXPECT_TRUE(corrected);
    for (auto [intent, part] : {std::pair{0u, 1u}, std::pair{1u, 0u}}) {
        EXPECT_EQ(make(intent, part, 256, &err), nullptr);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(error(), 0u);
    }
    EXPECT_EQ(make(0, 0, 0xFFFFFFFF, &err), nullptr);
    EXPECT_EQ(err, 6601u);
    expect_error(6601);
    EXPECT_EQ(make(0, 0, 512, &err), nullptr);
    EXPECT_EQ(err, 6601u);
    expect_error(6752);
    q.docType = 7;
    ASSERT_NE(make(0, 0, 256, &err)->tnmx, nullptr);
    EXPECT_EQ(HXRDeleteTRAQ2SmlDataMgr(nullptr, mm), 6611u);
    expect_error(6611);
    HXRSmlColorData row{};
    uint32_t out[256];
    for (uint32_t r : {HXRExecMultyDutyFactor(nullptr, out), HXRGetSDMSmlTable(nullptr, out, 1),
                       HXRPrepareEveryLineCorrection(nullptr), HXRCopySDMSmlDataEveryColor(nullptr, &row, 0, mm),
                       HXRMergeLutInSml(m, &row, nullptr, 0, 4, 0), HXRExpandTNMXDrtSml(m, &row, 0),
                       HXRExpandTRAQ2SmlMgrTNMXDotRate(m, c, mm)})
        EXPECT_EQ(r, 1u);
}

}  // namespace
