#include "hxr/control/hxr_sml_data.h"
#include "host_data_fixture.h"

#include <random>

namespace {

using namespace ovcg_test;

// The model's SML for every output colour of a colour manager.
SmlSpec spec_for(const HXRClrMgr* clr, uint16_t grad = 256, int zero_dot = -1) {
    SmlSpec s;
    s.grad = grad;
    for (uint32_t i = 0; i < HXRGetOutputColorNum(clr); ++i)
        s.inks.push_back(model_sml_ink(uint8_t(HXRGetOutputColorCode(clr, i)), int(HXRGetOutputDotNum(clr, i)), 120,
                                       100, grad, zero_dot));
    return s;
}

// A row of its own storage.
struct Row {
    Row(uint32_t g, uint32_t d, const std::function<uint32_t(uint32_t, uint32_t)>& f) : rates(size_t(g) * d) {
        row.gradationNum = g;
        row.dotSizeNum = d;
        for (uint32_t k = 0; k < d; ++k) row.dotValue[k] = 10 * (k + 1);
        for (uint32_t v = 0; v < g; ++v)
            for (uint32_t k = 0; k < d; ++k) rates[size_t(v) * d + k] = f(v, k);
        row.rates = rates.data();
    }
    uint32_t at(uint32_t v, uint32_t k) const { return rates[size_t(v) * row.dotSizeNum + k]; }
    std::vector<uint32_t> rates;
    HXRSmlColorData row{};
};

class SmlData : public HostDataTest {
protected:
    HXRSmlData* make(const SmlSpec& recipe, const HXRClrMgr* clr, uint32_t expected = 0) {
        HXRSmlData* d = HXRCreateTRAQ2SmlData(sml_parser(recipe), expected, clr, mm);
        if (d) at_end([this, d] { EXPECT_EQ(HXRDeleteTRAQ2SmlData(d, mm), 0u); });
        return d;
    }
};

TEST_F(SmlData, ReadsEveryDotCountAndGradation) {
    const struct {
        uint32_t ink_set, bits;
        uint16_t grad;
        int zero_dot;
        std::vector<int16_t> weights;  // of every ink, tenths; empty: the model's
    } cases[] = {{1, 1, 256, -1, {}},
                 {3, 2, 512, -1, {}},
                 {11, 34, 256, -1, {}},
                 {3, 2, 256, 0, {}},
                 // Weights may stay equal (only a decrease is refused), also after a zero.
                 {3, 2, 256, -1, {300, 300, 1000}},
                 {3, 2, 256, 0, {0, 500, 500}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ink_set << "/" << c.bits << " G " << c.grad << " weights "
                                        << c.weights.size());
        const HXRClrMgr* clr = colours(c.ink_set, c.bits);
        SmlSpec recipe = spec_for(clr, c.grad, c.zero_dot);
        if (!c.weights.empty())
            for (auto& ink : recipe.inks) ink.weights = c.weights;
        const HXRSmlData* d = make(recipe, clr, c.grad);
        ASSERT_NE(d, nullptr);
        for (uint32_t i = 0; i < kHxrMaxInks; ++i) {
            const HXRSmlColorData& e = d->entry[i];
            if (i >= recipe.inks.size()) {
                EXPECT_TRUE(e.gradationNum == 0 && e.dotSizeNum == 0 && !e.rates);
                continue;
            }
            const SmlInk& ink = recipe.inks[i];
            ASSERT_EQ(e.gradationNum, c.grad);
            ASSERT_EQ(e.dotSizeNum, ink.weights.size());
            for (uint32_t k = 0; k < e.dotSizeNum; ++k) {
                EXPECT_EQ(int32_t(e.dotValue[k]), ink.weights[k] / 10);
                for (uint32_t v = 0; v < c.grad; ++v) ASSERT_EQ(e.rates[v * e.dotSizeNum + k], ink.rates[k * c.grad + v]);
            }
        }
    }
}

TEST_F(SmlData, EachCodeHasOneCause) {
    const HXRClrMgr* clr = colours(3, 2);
    const HXRClrMgr* one_dot = colours(3, 1);
    const struct {
        const char* name;
        std::function<void(SmlSpec&)> edit;
        uint32_t expected_g;
        bool mono_clr;
        uint32_t code;  // 0: null without a code
    } cases[] = {
        {"no levels", [](SmlSpec& s) { s.grad = 0; for (auto& i : s.inks) i.rates.clear(); }, 0, false, 6751},
        {"other G than expected", [](SmlSpec&) {}, 512, false, 6752},
        {"maximum 4095", [](SmlSpec& s) { s.inks[2].max = 4095; }, 0, false, 6753},
        {"a colour missing", [](SmlSpec& s) { s.inks.pop_back(); }, 0, false, 6754},
        {"three dots for a one-dot colour", [](SmlSpec&) {}, 0, true, 6754},
        {"weights decrease", [](SmlSpec& s) { s.inks[1].weights = {60, 30, 100}; }, 0, false, 6755},
        {"weight 0 with rates", [](SmlSpec& s) { s.inks[1].weights[0] = 0; }, 0, false, 6756},
        {"other double gamma", [](SmlSpec& s) { s.inks[3].dbg255 = 90; }, 0, false, 6758},
        {"a level above 4080", [](SmlSpec& s) { s.inks[0].rates[256 + 10] = 4080; }, 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmlSpec s = spec_for(clr);
        c.edit(s);
        EXPECT_EQ(make(s, c.mono_clr ? one_dot : clr, c.expected_g), nullptr);
        expect_error(c.code);
    }
    EXPECT_EQ(HXRDeleteTRAQ2SmlData(nullptr, mm), 6701u);
    expect_error(6701);
}

TEST_F(SmlData, SplitFiveDotsIntoParts) {
    // Part 1 keeps the rates of dots 0..2 and takes the weights of dots
    // 3..5; part 0 the rates of dots 3..5 and the weights of dots 0..2 (a
    // missing dot gives 0).
    for (uint32_t dots : {4u, 5u, 6u})
        for (uint32_t part : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << dots << " dots, part " << part);
            Row r(4, dots, [](uint32_t v, uint32_t d) { return 100 * v + d; });
            ASSERT_EQ(HXRSplitTRAQ2SmlDataEveryColor(&r.row, part), 0u);
            EXPECT_EQ(r.row.dotSizeNum, 3u);
            for (uint32_t v = 0; v < 4; ++v)
                for (uint32_t k = 0; k < 3; ++k) {
                    const uint32_t d = part ? k : k + 3;
                    EXPECT_EQ(r.rates[3 * v + k], d < dots ? 100 * v + d : 0);
                }
            for (size_t i = 12; i < r.rates.size(); ++i) EXPECT_EQ(r.rates[i], 0u);
            uint32_t want[6] = {};
            for (uint32_t k = 0; k < 3; ++k) {
                const uint32_t w = part ? k + 3 : k;
                want[k] = w < dots ? 10 * (w + 1) : 0;
            }
            EXPECT_TRUE(std::equal(want, want + 6, r.row.dotValue));
        }
    Row three(2, 3, [](uint32_t v, uint32_t d) { return v + d; }), seven(2, 6, [](uint32_t, uint32_t) { return 1; });
    EXPECT_EQ(HXRSplitTRAQ2SmlDataEveryColor(&three.row, 0), 0u);
    EXPECT_EQ(three.row.dotSizeNum, 3u);
    EXPECT_EQ(HXRSplitTRAQ2SmlDataEveryColor(&seven.row, 2), 1u);
    seven.row.dotSizeNum = 7;
    EXPECT_EQ(HXRSplitTRAQ2SmlDataEveryColor(&seven.row, 0), 1u);
}

TEST_F(SmlData, RowHelpers) {
    const HXRClrMgr* clr = colours(3, 2);
    HXRSmlData* d = make(spec_for(clr), clr);
    ASSERT_NE(d, nullptr);
    HXRSmlColorData copy{};
    ASSERT_EQ(HXRCopyTRAQ2SmlDataEveryColor(d, &copy, 2, mm), 0u);
    EXPECT_NE(copy.rates, d->entry[2].rates);
    EXPECT_EQ(HXRCheckSameSmlRow(&copy, &d->entry[2]), 0u);
    // Rows that differ only in their last dot's rates are not the same.
    copy.rates[3 * 200 + 2] += 1;
    EXPECT_EQ(HXRCheckSameSmlRow(&copy, &d->entry[2]), 1u);
    EXPECT_EQ(HXRCopyTRAQ2SmlDotRate(&d->entry[2], &copy), 0u);
    EXPECT_EQ(HXRCheckSameTRAQ2SmlDataEveryColor(d, 0, 1), 0u);  // the model gives every ink the same rows
    EXPECT_EQ(HXRCheckSameTRAQ2SmlDataEveryColor(d, 0, 12), 1u);
    ASSERT_EQ(HXRAddRateTRAQ2SmlDataEveryColor(&copy), 0u);
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t* o = d->entry[2].rates + 3 * v;
        EXPECT_EQ(copy.rates[3 * v], o[0] + o[1] + o[2]);
        EXPECT_EQ(copy.rates[3 * v + 1], o[1] + o[2]);
    }
    // Cumulative rates over every dot count up to six; seven is refused.
    for (uint32_t dots : {1u, 2u, 6u}) {
        Row r(3, dots, [](uint32_t v, uint32_t k) { return 10 * v + k + 1; });
        ASSERT_EQ(HXRAddRateTRAQ2SmlDataEveryColor(&r.row), 0u) << dots;
        for (uint32_t v = 0; v < 3; ++v)
            for (uint32_t k = 0; k < dots; ++k) {
                uint32_t want = 0;
                for (uint32_t j = k; j < dots; ++j) want += 10 * v + j + 1;
                EXPECT_EQ(r.at(v, k), want) << dots << " dots, level " << v << " dot " << k;
            }
    }
    Row seven(2, 6, [](uint32_t, uint32_t) { return 1; });
    seven.row.dotSizeNum = 7;
    EXPECT_EQ(HXRAddRateTRAQ2SmlDataEveryColor(&seven.row), 1u);
    copy.dotValue[1] = 7;
    EXPECT_EQ(HXRCopyTRAQ2SmlDotRate(&d->entry[2], &copy), 1u);
    EXPECT_EQ(HXRResetTRAQ2SmlDot(d, &copy, 2), 0u);
    EXPECT_EQ(HXRCopyTRAQ2SmlDotRate(&d->entry[2], &copy), 0u);
    EXPECT_EQ(HXRCopyTRAQ2SmlDataEveryColor(d, &copy, 12, mm), 1u);
    HXRFreeMem(mm, copy.rates);

    HXRSmlData* same = make(spec_for(clr), clr);
    EXPECT_EQ(HXRCheckCoordinationTRAQ2Sml(d, same), 0u);
    SmlSpec other = spec_for(clr);
    other.inks[4].weights[2] = 110;
    EXPECT_EQ(HXRCheckCoordinationTRAQ2Sml(d, make(other, clr)), 1u);
    HXRSmlData blank{};
    ASSERT_EQ(HXRCopyTRAQ2SmlData(d, &blank, mm), 0u);
    EXPECT_EQ(HXRCheckCoordinationTRAQ2Sml(d, &blank), 0u);
    EXPECT_EQ(blank.entry[5].rates[3 * 255], 0u);
    for (auto& e : blank.entry) HXRFreeMem(mm, e.rates);
}

TEST_F(SmlData, MonochromePhotoMergeMatchesReference) {
    const HXRClrMgr* clr = colours(3, 2);
    HXRSmlData* sml = make(spec_for(clr), clr);
    HXRSmlData* tnmx = HXRCreateTRAQ2SmlTNMXData(sml, 1, clr, mm);
    ASSERT_NE(tnmx, nullptr);
    at_end([this, tnmx] { HXRDeleteTRAQ2SmlData(tnmx, mm); });
    EXPECT_EQ(tnmx->entry[0].gradationNum, 256u);
    EXPECT_EQ(tnmx->room[0], 512u * 3);
    std::mt19937 rng(7);
    std::vector<uint32_t> table(256 * 6);
    for (uint32_t& w : table) w = rng() & 0xFFFF;
    table[5 * 6 + 4] = 0xFF80;  // the last level: taken as it is
    HXRLutTNMXData lut{table.data(), 256, 6};
    // Rows of three and of six dot sizes (the 512 x 3 rates of the entry
    // hold 256 levels of six).
    for (uint32_t dots : {6u, 3u}) {
        Row six(256, dots, [&](uint32_t, uint32_t) { return rng() % 1361; });
        ASSERT_EQ(HXRGetTRAQ2SmlTNMXMergeLut(&six.row, 3, &lut, 4, 6, tnmx), 0u) << dots;
        EXPECT_EQ(tnmx->entry[3].dotSizeNum, dots);
        for (uint32_t v = 0; v < 256; ++v) {
            const uint32_t x = table[v * 6 + 4], r = x >> 8 & 255, t = x & 255;
            for (uint32_t k = 0; k < dots; ++k) {
                int64_t want = six.at(255, k);
                if (r < 255) {
                    const int64_t lo = six.at(r, k), delta = int64_t(six.at(r + 1, k)) - lo;
                    want = delta >= 0 ? lo + (t * delta + 128) / 256 : lo + (int64_t(t) * delta - 128) / 256;
                }
                ASSERT_EQ(tnmx->entry[3].rates[v * dots + k], uint32_t(want)) << dots << " dots, level " << v;
            }
        }
    }
    Row row(256, 3, [&](uint32_t, uint32_t) { return rng() % 1361; });
    ASSERT_EQ(HXRGetTRAQ2SmlTNMXMergeLut(&row.row, 3, &lut, 4, 6, tnmx), 0u);
    // The LUT is read only inside its own rows and channels.
    lut.gridNum = 255;
    EXPECT_EQ(HXRGetTRAQ2SmlTNMXMergeLut(&row.row, 3, &lut, 4, 6, tnmx), 1u);
    lut.gridNum = 256;
    EXPECT_EQ(HXRGetTRAQ2SmlTNMXMergeLut(&row.row, 3, &lut, 6, 6, tnmx), 1u);
    EXPECT_EQ(HXRGetTRAQ2SmlTNMXMergeLut(&row.row, 3, &lut, 0, 7, tnmx), 1u);
    // A mode-1 table has no room for the 65535-level expansion.
    EXPECT_EQ(HXRGetTRAQ2SmlTNMXExpand(&row.row, 3, tnmx), 1u);
    // Swapping tables with a row of the entry's shape.
    uint32_t* mine = row.row.rates;
    uint32_t* theirs = tnmx->entry[3].rates;
    ASSERT_EQ(HXRResetTRAQ2SmlTNMX(&row.row, 3, tnmx), 0u);
    EXPECT_EQ(row.row.rates, theirs);
    EXPECT_EQ(tnmx->entry[3].rates, mine);
    EXPECT_EQ(tnmx->room[3], 256u * 3);
    ASSERT_EQ(HXRResetTRAQ2SmlTNMX(&row.row, 3, tnmx), 0u);
    row.row.gradationNum = 255;
    EXPECT_EQ(HXRResetTRAQ2SmlTNMX(&row.row, 3, tnmx), 1u);
}

TEST_F(SmlData, MonochromePhotoExpansionMatchesReference) {
    const HXRClrMgr* clr = colours(1, 2);
    HXRSmlData* tnmx = HXRCreateTRAQ2SmlTNMXData(make(spec_for(clr), clr), 0, clr, mm);
    ASSERT_NE(tnmx, nullptr);
    at_end([this, tnmx] { HXRDeleteTRAQ2SmlData(tnmx, mm); });
    std::mt19937 rng(11);
    for (uint32_t g : {2u, 17u, 256u}) {
        Row row(g, 3, [&](uint32_t, uint32_t) { return rng() % 1361; });
        ASSERT_EQ(HXRGetTRAQ2SmlTNMXExpand(&row.row, 1, tnmx), 0u);
        const HXRSmlColorData& e = tnmx->entry[1];
        ASSERT_EQ(e.gradationNum, 65535u);
        for (uint32_t lv = 0; lv < 65535; ++lv)
            for (uint32_t k = 0; k < 3; ++k) {
                const uint32_t at = std::min(lv, 256 * (g - 1) - 1), kk = at / 256, t = at % 256;
                const int64_t lo = row.at(kk, k), delta = int64_t(row.at(kk + 1, k)) - lo;
                const int64_t want = lo + (delta * t + (delta >= 0 ? 128 : -128)) / 256;
                ASSERT_EQ(e.rates[size_t(lv) * 3 + k], uint32_t(want)) << g << " " << lv;
            }
    }
    for (uint32_t g : {1u, 257u}) {
        Row row(g, 3, [](uint32_t, uint32_t) { return 0; });
        EXPECT_EQ(HXRGetTRAQ2SmlTNMXExpand(&row.row, 1, tnmx), 1u) << g;
    }
}

TEST_F(SmlData, DotRateExpansionDoublesTheLevels) {
    const HXRClrMgr* clr = colours(1, 2);
    SmlSpec recipe = spec_for(clr);
    // Level 40's odd neighbour sums one short of it: it is copied.
    recipe.inks[0].rates[40] = 1001, recipe.inks[0].rates[41] = 1000;
    recipe.inks[0].rates[256 + 40] = 0, recipe.inks[0].rates[256 + 41] = 0;
    recipe.inks[0].rates[512 + 40] = 0, recipe.inks[0].rates[512 + 41] = 0;
    HXRSmlData* sml = make(recipe, clr);
    HXRSmlData* tnmx = HXRCreateTRAQ2SmlTNMXData(sml, 1, clr, mm);
    ASSERT_NE(tnmx, nullptr);
    at_end([this, tnmx] { HXRDeleteTRAQ2SmlData(tnmx, mm); });
    ASSERT_EQ(HXRTRAQ2SmlTNMXExpandDotRate(sml, tnmx, clr, mm), 0u);
    size_t copied = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        const uint32_t* o = sml->entry[i].rates;
        const uint32_t* n = tnmx->entry[i].rates;
        ASSERT_EQ(tnmx->entry[i].gradationNum, 512u);
        for (uint32_t j = 0; j < 256; ++j) {
            uint32_t odd[3], odd_sum = 0, even_sum = 0;
            for (uint32_t k = 0; k < 3; ++k) {
                odd[k] = j == 255 ? o[3 * j + k] : (o[3 * j + k] + o[3 * j + 3 + k]) >> 1;
                odd_sum += odd[k];
                even_sum += o[3 * j + k];
            }
            const bool copy = odd_sum + 1 == even_sum;
            copied += copy;
            for (uint32_t k = 0; k < 3; ++k) {
                ASSERT_EQ(n[6 * j + k], o[3 * j + k]);
                ASSERT_EQ(n[6 * j + 3 + k], copy ? o[3 * j + k] : odd[k]) << i << " " << j;
            }
        }
    }
    EXPECT_EQ(copied, 1u);
    // The copy now has 512 levels and the SML data 256: nothing to expand.
    EXPECT_EQ(HXRTRAQ2SmlTNMXExpandDotRate(sml, tnmx, clr, mm), 1u);
}

}  // namespace
