#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_lut.h"
#include "support/hxr_fixture.h"
#include "support/model_index.h"
#include "support/model_lut.h"
#include "support/resource_cuts.h"

#include <vector>

namespace {

using namespace ovcg_test;
constexpr uint32_t kNo = 0xFFFFFFFFu;

class LutResource : public HxrTest {
protected:
    HXRLutResParser* parse_at(const uint8_t* p, uint32_t n) {
        const HXRServiceTable* t = svc.table();
        return HXRCreateLutResParser(p, n, t->StrNCmp, t->AtoI, t->MemCmp, mm);
    }
    HXRLutResParser* parse(const Bytes& b) {
        const GuardedCopy& g = copies.hold(b);
        return parse_at(g.data(), g.size());
    }
    GuardedCopies copies;
};

// A small LUT with every block: a 3-node 3D clut of two inks, a 2-level mono
// table, a gray table, both double gammas, a gamma, and a monochrome-photo
// table of one ink with its duty and colour control.
LutSpec small_spec() {
    LutSpec s;
    LutClut c;
    c.inks = {1, 0, 255};
    c.pos = {0, 100, 255};
    for (int n = 0; n < 27 * 3; ++n) c.table.push_back(uint8_t(n * 7));
    s.clut = c;
    s.mlut = LutMono{1, 2, 0, {0, 255}, {9, 8, 7, 6}};
    s.egry = LutGray{1, 5, 1, 180, {1, 0}, {0, 128, 255}, {10, -20, 30, -400, 500, 600}};
    s.cdbg = {120, 100};
    s.mdbg = {-3, 90};
    s.gama = 180;
    s.encd = true;
    LutTnmx t;
    t.gamma = 100;
    t.inks = {0};
    for (int g = 0; g < 256; ++g) {
        t.pos.push_back(uint8_t(g));
        t.table.push_back(uint16_t(g * 257));
    }
    s.tnmx = t;
    s.inkd = std::vector<std::pair<uint8_t, int16_t>>{{3, 50}, {kLutInkdTotalCode, 320}};
    LutCtcn cc;
    cc.types = {3, 1, 2, 9};
    cc.tones = {{-75, 0, 1, 75}, {-10, -20, -30, -40}, {10, 20, 30, 40}, {0, 0, 0, 0}};
    cc.rates = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}, {-1, -2, -3, -4, -5, -6}, {0, 0, 0, 0, 0, 0}};
    s.ctcn = cc;
    return s;
}

TEST_F(LutResource, EveryBlockReadsBack) {
    const LutSpec s = small_spec();
    HXRLutResParser* p = parse(write_lut(s));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(error(), 0u);
    EXPECT_EQ(HXRGetLutColorDimension(p), 3u);
    EXPECT_EQ(HXRGetLutColorUnitSize(p), 3u);
    EXPECT_EQ(HXRGetLutColorOutputType(p), 0u);
    EXPECT_EQ(HXRGetLutColorGridNum(p), 3u);
    EXPECT_EQ(HXRGetLutColorInkNum(p), 2u);  // the codes before the 255
    EXPECT_EQ(HXRGetLutColorInkCode(p, 2), 255u);
    EXPECT_EQ(HXRGetLutColorInkCode(p, 3), kNo);
    EXPECT_EQ(HXRGetLutColorGridPos(p, 1), 100u);
    EXPECT_EQ(HXRGetLutColorGridPos(p, 3), kNo);
    // Node (2, 1, 0) is node 21: bytes 63 and 64 (the third, unused, is not written).
    uint8_t out[3] = {0xAA, 0xAA, 0xAA};
    const struct {
        uint32_t mode, ink;
        uint8_t a, b;
    } modes[] = {{0, 0, 63 * 7 % 256, 64 * 7 % 256}, {1, 0, 0, 64 * 7 % 256}, {2, 0, 63 * 7 % 256, 0}, {1, 5, 63 * 7 % 256, 64 * 7 % 256}};
    for (const auto& m : modes) {
        ASSERT_EQ(HXRGetLutColor3dLut(p, 2, 1, 0, m.mode, m.ink, out), 0u);
        EXPECT_EQ(out[0], m.a) << m.mode;
        EXPECT_EQ(out[1], m.b) << m.mode;
        EXPECT_EQ(out[2], 0xAA);
    }
    EXPECT_EQ(HXRGetLutColor3dLut(p, 2, 1, 0, 3, 0, out), kNo);
    EXPECT_EQ(HXRGetLutColor3dLut(p, 3, 0, 0, 0, 0, out), kNo);
    EXPECT_EQ(HXRGetLutColor4dLut(p, 0, 0, 0, 0, 0, 0, out), kNo);

    EXPECT_EQ(HXRGetLutMonoUnitSize(p), 2u);
    EXPECT_EQ(HXRGetLutMonoInkNum(p), 1u);
    EXPECT_EQ(HXRGetLutMonoInkCode(p, 1), 0u);
    EXPECT_EQ(HXRGetLutMonoInkCode(p, 2), kNo);
    ASSERT_EQ(HXRGetLutMonoLut(p, 1, out), 0u);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(HXRGetLutMonoLut(p, 2, out), kNo);

    EXPECT_EQ(HXRGetLut16GrayOutputType(p), 5u);
    EXPECT_EQ(HXRGetLut16GrayMaxValue(p), 4095u);
    EXPECT_EQ(HXRGetLut16GrayGamma(p), 180u);
    EXPECT_EQ(HXRGetLut16GrayInkNum(p), 2u);
    EXPECT_EQ(HXRGetLut16GrayGridPos(p, 2), 255u);
    uint32_t v[12] = {};
    ASSERT_EQ(HXRGetLut16GrayLut(p, 1, 0, 0, v), 0u);
    EXPECT_EQ(v[0], 30u);
    EXPECT_EQ(v[1], uint32_t(-400));
    ASSERT_EQ(HXRGetLut16GrayLut(p, 1, 2, 1, v), 0u);
    EXPECT_EQ(v[0], 0u);
    EXPECT_EQ(v[1], uint32_t(-400));

    EXPECT_EQ(HXRGetLutColorDblGamma0(p), 120u);
    EXPECT_EQ(HXRGetLutColorDblGamma255(p), 100u);
    EXPECT_EQ(HXRGetLutMonoDblGamma0(p), uint32_t(-3));
    EXPECT_EQ(HXRGetLutMonoDblGamma255(p), 90u);
    EXPECT_EQ(HXRGetLutGamma(p), 180u);

    EXPECT_EQ(HXRGetLutTNMXDimension(p), 1u);
    EXPECT_EQ(HXRGetLutTNMXOutputType(p), 0u);
    EXPECT_EQ(HXRGetLutTNMXGridNum(p), 256u);
    EXPECT_EQ(HXRGetLutTNMXGamma(p), 100u);
    EXPECT_EQ(HXRGetLutTNMXMaxValue(p), 65280u);
    EXPECT_EQ(HXRGetLutTNMXTotalInkDuty(p), 320u);
    EXPECT_EQ(HXRGetLutTNMXCtcnNum(p), 4u);
    EXPECT_EQ(HXRGetLutTNMXCtcnIncAndDecRate(p), 1u);
    EXPECT_EQ(HXRGetLutTNMXGridPos(p, 200), 200u);
    ASSERT_EQ(HXRGetLutTNMXLut(p, 200, v), 0u);
    EXPECT_EQ(v[0], 200u * 257);
    EXPECT_EQ(HXRGetLutTNMXLut(p, 256, v), kNo);
    // No ink 4 or 5: axes from types 1 and 2, the third from type 3. Tone:
    // values 3, 1, 4, 2 and the range; rate: values 5, 3, 6, 4, 2, 1.
    uint32_t tone[3][6], rate[3][6];
    ASSERT_EQ(HXRGetLutTNMXColorControlParam(p, tone, rate), 0u);
    const int32_t want_tone[3][6] = {{-30, -10, -40, -20, -75, 75}, {30, 10, 40, 20, -75, 75}, {1, -75, 75, 0, -75, 75}};
    const int32_t want_rate[3][6] = {{11, 9, 12, 10, 8, 7}, {-5, -3, -6, -4, -2, -1}, {5, 3, 6, 4, 2, 1}};
    for (int a = 0; a < 3; ++a)
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(tone[a][k], uint32_t(want_tone[a][k])) << a << "," << k;
            EXPECT_EQ(rate[a][k], uint32_t(want_rate[a][k])) << a << "," << k;
        }
    EXPECT_EQ(HXRDeleteLutResParser(p, mm), 0u);
    EXPECT_EQ(HXRDeleteLutResParser(nullptr, mm), kHxrLutNone);
    expect_error(kHxrLutNone);
}

TEST_F(LutResource, ColourControlNeedsBothLightInksOrNone) {
    LutSpec s = small_spec();
    s.ctcn->types = {1, 2, 3, 4, 5};
    s.ctcn->tones.assign(5, {-1, -2, -3, -4});
    s.ctcn->rates.assign(5, {1, 1, 1, 1, 1, 1});
    s.ctcn->tones[3] = {4, 4, 4, 4};
    s.ctcn->tones[4] = {5, 5, 5, 5};
    uint32_t tone[3][6], rate[3][6];
    const struct {
        std::vector<uint8_t> inks;
        uint32_t result, first, second;
    } cases[] = {{{0}, 0, uint32_t(-3), uint32_t(-3)},  // types 1 and 2
                 {{4, 5, 0}, 0, 4, 5},                  // types 4 and 5
                 {{4, 0}, kNo, 0, 0},
                 {{4, 4, 5}, kNo, 0, 0},
                 {{4, 255, 5}, kNo, 0, 0}};             // a 5 past the valid inks is not counted
    for (const auto& c : cases) {
        LutSpec v = s;
        v.tnmx->inks = c.inks;
        v.tnmx->table.assign(256 * c.inks.size(), 0);
        HXRLutResParser* p = parse(write_lut(v));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(HXRGetLutTNMXColorControlParam(p, tone, rate), c.result) << c.inks.size();
        if (c.result == 0) {
            EXPECT_EQ(tone[0][0], c.first);
            EXPECT_EQ(tone[1][0], c.second);
        }
        HXRDeleteLutResParser(p, mm);
    }
    // A type an axis needs is missing, or there is no "ctcn".
    LutSpec missing = small_spec();
    missing.ctcn->types = {1, 2, 9, 9};
    LutSpec none = small_spec();
    none.ctcn.reset();
    for (const LutSpec& v : {missing, none}) {
        HXRLutResParser* p = parse(write_lut(v));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(HXRGetLutTNMXColorControlParam(p, tone, rate), kNo);
        HXRDeleteLutResParser(p, mm);
    }
}

TEST_F(LutResource, ContainerRules) {
    LutSpec only;
    only.clut = small_spec().clut;
    LutSpec later = only;
    later.gama = 50;
    later.extra = {{"gama", {'g', 'a', 'm', 'a', 77, 0, 0, 0}},   // a later entry wins
                   {"mlut", {'c', 'l', 'u', 't', 1, 1, 0, 2}},    // block tag differs: skipped
                   {"abcd", {'a', 'b', 'c', 'd'}}};               // unknown: skipped
    // 48 entries: the count's low byte is the digit '0' right after the version.
    LutSpec many = only;
    for (int k = 0; k < 47; ++k) many.extra.push_back({"zzzz", {'z', 'z', 'z', 'z'}});
    HXRLutResParser* p = parse(write_lut(only));
    ASSERT_NE(p, nullptr);
    const uint32_t absent[] = {HXRGetLutMonoDimension(p), HXRGetLutMonoGridNum(p), HXRGetLut16GrayGridNum(p),
                               HXRGetLut16GrayGamma(p), HXRGetLutColorDblGamma0(p), HXRGetLutMonoDblGamma255(p),
                               HXRGetLutGamma(p), HXRGetLutTNMXGridNum(p), HXRGetLutTNMXTotalInkDuty(p),
                               HXRGetLutTNMXCtcnNum(p), HXRGetLutTNMXCtcnIncAndDecRate(p), HXRGetLutMonoInkNum(p),
                               HXRGetLutTNMXInkCode(p, 0), HXRGetLut16GrayGridPos(p, 0)};
    for (uint32_t a : absent) EXPECT_EQ(a, kNo);
    uint8_t out[4];
    uint32_t v[4], tone[3][6], rate[3][6];
    EXPECT_EQ(HXRGetLutMonoLut(p, 0, out), kNo);
    EXPECT_EQ(HXRGetLut16GrayLut(p, 0, 0, 0, v), kNo);
    EXPECT_EQ(HXRGetLutTNMXLut(p, 0, v), kNo);
    EXPECT_EQ(HXRGetLutTNMXColorControlParam(p, tone, rate), kNo);
    HXRDeleteLutResParser(p, mm);

    p = parse(write_lut(later));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(HXRGetLutGamma(p), 77u);
    EXPECT_EQ(HXRGetLutMonoGridNum(p), kNo);
    HXRDeleteLutResParser(p, mm);

    const Bytes b = write_lut(many);
    ASSERT_EQ(b[20], '0');
    p = parse(b);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(error(), 0u);
    HXRDeleteLutResParser(p, mm);
}

struct BreakCase {
    const char* name;
    Bytes res;
    uint32_t code;  // 0: refused with nothing recorded
};

TEST(LutGrid, PositionsRiseFrom0To255) {
    const struct {
        std::vector<uint8_t> pos;
        bool ok;
    } cases[] = {{{0, 255}, true},  {{0, 0, 128, 255}, true}, {{0, 128, 100, 255}, false}, {{0, 128, 254}, false},
                 {{1, 128, 255}, false}, {{0}, false}, {{255}, false}, {{}, false}, {{0, 255, 255}, true}};
    for (const auto& c : cases) EXPECT_EQ(CheckGridPos(c.pos.data(), uint32_t(c.pos.size())), c.ok) << c.pos.size();
    EXPECT_FALSE(CheckGridPos(nullptr, 2));
}

// The LUT of one block, with `offset` its block's offset.
Bytes one_block(LutSpec s, const char* tag, size_t& offset) {
    std::map<std::string, size_t> at;
    const Bytes b = write_lut(s, &at);
    offset = at.at(tag);
    return b;
}

TEST_F(LutResource, OneFieldBrokenAtATime) {
    std::map<std::string, size_t> at;
    const Bytes b = write_lut(small_spec(), &at);
    const size_t clut = at["clut"], pos = clut + 10 + 3;  // grid positions after three counts and three inks
    const size_t mlut = at["mlut"], egry = at["egry"], tnmx = at["tnmx"], inkd = at["inkd"], ctcn = at["ctcn"];
    const size_t n = 4;  // ctcn entries
    // Blocks alone, so that a count can point past the resource.
    LutSpec c_only, m_only, g_only, t_only;
    c_only.clut = small_spec().clut;
    m_only.mlut = small_spec().mlut;
    g_only.egry = small_spec().egry;
    t_only.tnmx = small_spec().tnmx;
    t_only.tnmx->inks.clear();
    t_only.tnmx->table.clear();
    t_only.inkd = small_spec().inkd;
    size_t c1 = 0, m1 = 0, g1 = 0, i1 = 0;
    const Bytes cb = one_block(c_only, "clut", c1), mb = one_block(m_only, "mlut", m1);
    const Bytes gb = one_block(g_only, "egry", g1), ib = one_block(t_only, "inkd", i1);
    const BreakCase cases[] = {
        {"head", patched(b, {{1, 'W', 1}}), kHxrLutBadHead},
        {"head cut", Bytes(b.begin(), b.begin() + 23), kHxrLutBadHead},
        {"tag table past the end", patched(b, {{20, 0x10000000, 4}}), kHxrLutBadHead},
        {"version", patched(b, {{19, '1', 1}}), kHxrLutBadVersion},
        {"version blank", patched(b, {{18, ' ', 1}}), kHxrLutBadVersion},
        {"block offset past the end", patched(b, {{28, uint32_t(b.size()), 4}}), kHxrLutBlockSize},
        {"block offset huge", patched(b, {{28, 0xFFFFFFFE, 4}}), kHxrLutBlockSize},
        {"colour dimension", patched(b, {{clut + 4, 5, 1}}), kHxrLutColorDimension},
        {"colour grid counts", patched(b, {{clut + 8, 4, 1}}), kHxrLutGridCounts},
        {"colour axis positions", patched(b, {{pos + 3 + 1, 99, 1}}), kHxrLutGridLists},
        {"colour positions", patched(b, {{pos, 1, 1}, {pos + 3, 1, 1}, {pos + 6, 1, 1}}), kHxrLutColorGridPos},
        {"colour table past the end", patched(cb, {{c1 + 7, 0xC8C8C8, 3}}), kHxrLutBlockSize},
        {"colour inks past the end", patched(cb, {{c1 + 5, 255, 1}}), kHxrLutBlockSize},
        {"mono positions", patched(b, {{mlut + 9, 254, 1}}), kHxrLutMonoGridPos},
        {"mono table past the end", patched(mb, {{m1 + 5, 200, 1}}), kHxrLutBlockSize},
        {"gray selector", patched(b, {{egry + 11, 4, 1}}), kHxrLutSelector},
        {"gray positions", patched(b, {{egry + 16 + 2, 254, 1}}), kHxrLutGrayGridPos},
        {"gray table past the end", patched(gb, {{g1 + 5, 250, 1}}), kHxrLutBlockSize},
        {"gamma mismatch", patched(b, {{at["gama"] + 4, 181, 2}}), kHxrLutGammaMismatch},
        {"tnmx dimension", patched(b, {{tnmx + 4, 2, 1}}), kHxrLutSelector},
        {"tnmx unit size", patched(b, {{tnmx + 5, 13, 1}}), 0},
        {"tnmx grid 255", patched(b, {{tnmx + 7, 255, 2}}), 0},
        {"tnmx grid 257", patched(b, {{tnmx + 7, 257, 2}}), 0},
        {"tnmx gamma", patched(b, {{tnmx + 9, 0, 2}}), 0},
        {"tnmx selector", patched(b, {{tnmx + 12, 4, 1}}), 0},
        {"tnmx table past the end", patched(b, {{tnmx + 5, 12, 1}}), kHxrLutBlockSize},
        {"inkd empty", patched(b, {{inkd + 5, 0, 1}}), 0},
        {"inkd without code 20", patched(b, {{inkd + 7, 21, 1}}), 0},
        {"inkd past the end", patched(ib, {{i1 + 5, 255, 1}}), kHxrLutBlockSize},
        {"ctcn tone count", patched(b, {{ctcn + 6, 3, 1}}), 0},
        {"ctcn range", patched(b, {{ctcn + 8 + n + 2, uint32_t(-74), 2}}), 0},
        {"ctcn type", patched(b, {{ctcn + 8 + 3, 6, 1}}), 0},
        {"ctcn tone outside its range", patched(b, {{ctcn + 20 + n, uint32_t(-76), 2}}), 0},
        {"ctcn rate zero", patched(b, {{ctcn + 20 + 9 * n + 4, 0, 2}}), 0},
        {"ctcn past the end", patched(b, {{ctcn + 4, 200, 1}}), kHxrLutBlockSize},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        EXPECT_EQ(parse(c.res), nullptr) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
    }
    // The unbroken ones, skipped types, and rate mode 0 with a zero third rate, are fine.
    HXRSetErrorInfo(0);
    for (const Bytes& ok : {b, cb, mb, gb, ib, patched(b, {{ctcn + 8 + 3, 21, 1}}),
                            patched(b, {{ctcn + 7, 0, 1}, {ctcn + 20 + 9 * n + 4, 0, 2}})}) {
        HXRLutResParser* p = parse(ok);
        EXPECT_NE(p, nullptr);
        HXRDeleteLutResParser(p, mm);
    }
    EXPECT_EQ(error(), 0u);
}

TEST_F(LutResource, DutyAndColourControlAreReadOnlyBesideTheTable) {
    LutSpec s = small_spec();
    s.tnmx.reset();
    s.inkd = std::vector<std::pair<uint8_t, int16_t>>{};
    s.ctcn->types[0] = 6;
    s.ctcn->tone_count = 9;
    HXRLutResParser* p = parse(write_lut(s));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(HXRGetLutTNMXTotalInkDuty(p), kNo);
    EXPECT_EQ(HXRGetLutTNMXCtcnNum(p), kNo);
    HXRDeleteLutResParser(p, mm);
}

// Everything a parser answers, to compare a cut resource with the whole one.
std::vector<uint32_t> answers(const HXRLutResParser* p) {
    uint8_t node[16] = {};
    uint32_t v[16] = {}, tone[3][6] = {}, rate[3][6] = {};
    std::vector<uint32_t> a = {HXRGetLutColorGridNum(p), HXRGetLutColorInkNum(p), HXRGetLutMonoGridNum(p),
                               HXRGetLut16GrayGridNum(p), HXRGetLutColorDblGamma0(p), HXRGetLutMonoDblGamma255(p),
                               HXRGetLutGamma(p), HXRGetLutTNMXGridNum(p), HXRGetLutTNMXTotalInkDuty(p),
                               HXRGetLutTNMXCtcnNum(p), HXRGetLutColor3dLut(p, 1, 1, 1, 0, 0, node),
                               HXRGetLutColor4dLut(p, 1, 1, 1, 1, 0, 0, node), HXRGetLut16GrayLut(p, 1, 0, 0, v),
                               HXRGetLutTNMXLut(p, 255, v), HXRGetLutTNMXColorControlParam(p, tone, rate)};
    a.insert(a.end(), node, node + 16);
    a.insert(a.end(), v, v + 16);
    return a;
}

TEST_F(LutResource, EveryTruncationIsRefusedOrReadsTheSame) {
    const ModelDescription model = default_model();
    for (const LutSpec& s : {small_spec(), model_lut_3d(model, 0), model_lut_4d(model), model_lut_tnmx(model)}) {
        const Bytes b = write_lut(s);
        HXRLutResParser* whole = parse(b);
        ASSERT_NE(whole, nullptr);
        const std::vector<uint32_t> want = answers(whole);
        size_t accepted = 0;
        for_each_prefix(b, [&](const uint8_t* data, uint32_t n) {
            HXRLutResParser* p = parse_at(data, n);
            if (!p) return;
            ++accepted;
            EXPECT_EQ(answers(p), want) << n << " of " << b.size();
            HXRDeleteLutResParser(p, mm);
        });
        EXPECT_LE(accepted, 4u);  // only the unread tail of the last block may go
        HXRDeleteLutResParser(whole, mm);
        HXRSetErrorInfo(0);
    }
}

TEST_F(LutResource, PackedModelTableReadsLikeThePlainOne) {
    const LutSpec s = model_lut_3d(default_model(), 2);
    svc.add_resource(1, write_lut(s));
    svc.add_resource(2, pack_lut_resource(s));
    HXRResMgr* rm = resources();
    ASSERT_NE(rm, nullptr);
    uint32_t n1 = 0, n2 = 0;
    const uint8_t* plain = HXRGetResource(rm, 1, kHxrResKindLut, &n1);
    const uint8_t* packed = HXRGetResource(rm, 2, kHxrResKindLut, &n2);
    ASSERT_TRUE(plain && packed);
    ASSERT_EQ(n1, n2);
    HXRLutResParser* a = parse_at(plain, n1);
    HXRLutResParser* b = parse_at(packed, n2);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(HXRGetLutColorGridNum(b), 17u);
    const std::vector<uint8_t> codes = model_lut_codes(model_colour_ink_set(default_model()));
    uint8_t x[12], y[12];
    for (uint32_t i = 0; i < 17; ++i)
        for (uint32_t k = 0; k < 17; k += 4) {
            ASSERT_EQ(HXRGetLutColor3dLut(a, i, 16 - i, k, 0, 0, x), 0u);
            ASSERT_EQ(HXRGetLutColor3dLut(b, i, 16 - i, k, 0, 0, y), 0u);
            const size_t node = (size_t(i) * 17 + (16 - i)) * 17 + k;
            for (size_t c = 0; c < codes.size(); ++c) {
                EXPECT_EQ(x[c], s.clut->table[node * codes.size() + c]);
                EXPECT_EQ(y[c], x[c]);
            }
        }
    HXRDeleteLutResParser(a, mm);
    HXRDeleteLutResParser(b, mm);
    EXPECT_EQ(HXRDeleteResMgr(rm), 0u);
}

TEST_F(LutResource, UserColourTable) {
    const Bytes good = {3, 0, 2, 0, 10, 11, 12, 20, 21, 22};
    const struct {
        const char* name;
        Bytes table;
        uint32_t size;  // 0: the table's own
        bool ok;
        uint32_t code;
    } cases[] = {
        {"valid", good, 0, true, 0},
        {"no colours", patched(good, {{0, 0, 1}}), 0, false, 0},
        {"thirteen colours", patched(good, {{0, 13, 1}}), 0, false, 0},
        {"no entries", patched(good, {{2, 0, 2}}), 0, false, kHxrUserLutEntryCount},
        {"257 entries", patched(good, {{2, 257, 2}}), 0, false, kHxrUserLutEntryCount},
        {"negative entries", patched(good, {{2, 0x8001, 2}}), 0, false, kHxrUserLutEntryCount},
        {"entries past the end", good, 9, false, 0},
        {"header cut", good, 3, false, kHxrUserLutEntryCount},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        const GuardedCopy g(c.table);
        const HXRUserLutParser p = HXRCreateUserLutParser(g.data(), c.size ? c.size : g.size());
        EXPECT_EQ(p.entries != nullptr, c.ok) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
    }
    const GuardedCopy g(good);
    const HXRUserLutParser p = HXRCreateUserLutParser(g.data(), g.size());
    uint32_t out[12] = {};
    EXPECT_EQ(HXRGetUserLutData(&p, 1, out), 3u);
    EXPECT_EQ(out[0], 20u);
    EXPECT_EQ(out[2], 22u);
    EXPECT_EQ(HXRGetUserLutData(&p, 2, out), 0u);
    EXPECT_EQ(HXRGetUserLutData(nullptr, 0, out), 0u);
}

}  // namespace

namespace {

// The model's colour tables are written in the colour manager's orders.
TEST(ModelInkOrders, AgreeWithTheColourManager) {
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    for (const ovcg_test::ModelInkSet& set : model.ink_sets) {
        const HXRInkRow* lut = HXRGetLutTable(uint32_t(set.prt_format));
        const HXRInkRow* out = HXRGetBaseOutputTable(uint32_t(set.prt_format));
        ASSERT_TRUE(lut && out) << set.prt_format;
        EXPECT_EQ(ovcg_test::model_lut_codes(set.prt_format), std::vector<uint8_t>(lut->codes, lut->codes + lut->count));
        EXPECT_EQ(ovcg_test::model_output_codes(model, set.prt_format),
                  std::vector<uint8_t>(out->codes, out->codes + out->count));
    }
}

}  // namespace
