#include "hxr/control/hxr_sml.h"
#include "support/hxr_fixture.h"
#include "support/model_index.h"
#include "support/model_sml.h"
#include "support/resource_cuts.h"

#include <vector>

namespace {

using namespace ovcg_test;
constexpr uint32_t kNo = 0xFFFFFFFFu;

class SmlResource : public HxrTest {
protected:
    HXRSmlResParser* parse_at(const uint8_t* p, uint32_t n) {
        return HXRCreateSmlResParser(p, n, svc.table()->StrNCmp, mm);
    }
    HXRSmlResParser* parse(const Bytes& b) {
        const GuardedCopy& g = copies.hold(b);
        return parse_at(g.data(), g.size());
    }
    // Every answer of the parser for the written inks matches what was written.
    void expect_reads(const HXRSmlResParser* p, const SmlSpec& s) {
        for (const SmlInk& ink : s.inks) {
            const uint32_t dots = uint32_t(ink.weights.size());
            EXPECT_EQ(HXRGetSmlGradNum(p, ink.code), s.grad);
            EXPECT_EQ(HXRGetSmlMaxValue(p, ink.code), ink.max);
            EXPECT_EQ(HXRGetSmlDotNum(p, ink.code), dots);
            EXPECT_EQ(HXRGetSmlDoubleGamma0(p, ink.code), ink.dbg0);
            EXPECT_EQ(HXRGetSmlDoubleGamma255(p, ink.code), ink.dbg255);
            for (uint32_t d = 0; d < dots; ++d) {
                EXPECT_EQ(HXRGetSmlDotWeight(p, ink.code, d), uint32_t(ink.weights[d] / 10));
                for (uint32_t v = 0; v < s.grad; ++v)
                    ASSERT_EQ(HXRGetSmlGenerateRate(p, ink.code, d, v), ink.rates[d * s.grad + v]) << d << "," << v;
                EXPECT_EQ(HXRGetSmlGenerateRate(p, ink.code, d, s.grad), kNo);
            }
            EXPECT_EQ(HXRGetSmlDotWeight(p, ink.code, dots), 0u);
            EXPECT_EQ(HXRGetSmlGenerateRate(p, ink.code, dots, 0), kNo);
        }
    }
    GuardedCopies copies;
};

// Two inks of two levels: the second with two dots, a stride of 3 and a
// negative weight.
SmlSpec small_spec() {
    SmlSpec s;
    s.grad = 2;
    s.inks = {SmlInk{1, 2, 4080, {100}, {0, 4080}, 120, 100}, SmlInk{0, 3, 4095, {-25, 57}, {1, 2, 3, 4}, 110, 90}};
    return s;
}

TEST_F(SmlResource, ResourcesReadBack) {
    const ModelDescription model = default_model();
    SmlSpec skipping = small_spec();
    skipping.skipped_tables = true;
    for (const SmlSpec& s : {small_spec(), skipping, model_sml(model, true, 1), model_sml(model, true, 2),
                             model_sml(model, false, 2)}) {
        HXRSmlResParser* p = parse(write_sml(s));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(error(), 0u);
        expect_reads(p, s);
        EXPECT_EQ(HXRGetSmlGradNum(p, 9), kNo);
        EXPECT_EQ(HXRGetSmlMaxValue(p, 9), kNo);
        EXPECT_EQ(HXRGetSmlDotNum(p, 9), 0u);
        EXPECT_EQ(HXRGetSmlDotWeight(p, 9, 0), 0u);
        EXPECT_EQ(HXRGetSmlGenerateRate(p, 9, 0, 0), kNo);
        EXPECT_EQ(HXRGetSmlDoubleGamma0(p, 9), kNo);
        EXPECT_EQ(HXRDeleteSmlResParser(p, mm), 0u);
    }
    HXRSmlResParser* p = parse(write_sml(small_spec()));
    EXPECT_EQ(HXRGetSmlDotWeight(p, 0, 0), uint32_t(-2));  // -25 tenths
    EXPECT_EQ(HXRGetSmlDotWeight(p, 0, 1), 5u);
    HXRDeleteSmlResParser(p, mm);
    EXPECT_EQ(HXRDeleteSmlResParser(nullptr, mm), kHxrSmlNone);
    expect_error(kHxrSmlNone);
}

TEST_F(SmlResource, ModelRatesPutDownMoreInkEveryLevel) {
    for (int bits : {1, 2}) {
        const SmlSpec s = model_sml(default_model(), true, bits);
        for (const SmlInk& ink : s.inks) {
            int64_t last = -1;
            for (uint32_t v = 0; v < 256; ++v) {
                int64_t sum = 0, weight = 0;
                for (size_t d = 0; d < ink.weights.size(); ++d) {
                    sum += ink.rates[d * 256 + v];
                    weight += int64_t(ink.weights[d]) * ink.rates[d * 256 + v];
                }
                EXPECT_LE(sum, 4080);
                EXPECT_GE(weight, last);
                last = weight;
            }
            EXPECT_EQ(ink.dbg0, kModelColourDbg0);
        }
    }
}

TEST_F(SmlResource, TheFirstInkOfACodeAnswers) {
    SmlSpec s = small_spec();
    s.inks[1].code = 1;
    HXRSmlResParser* p = parse(write_sml(s));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(HXRGetSmlDotNum(p, 1), 1u);
    EXPECT_EQ(HXRGetSmlMaxValue(p, 1), 4080u);
    HXRDeleteSmlResParser(p, mm);
}

struct BreakCase {
    const char* name;
    Bytes res;
    uint32_t code;  // 0: refused with nothing recorded
};

TEST_F(SmlResource, OneFieldBrokenAtATime) {
    SmlLayout l;
    const Bytes b = write_sml(small_spec(), &l);
    const size_t dir = l.directory;  // count, then {kind, n, s} and the entries of each table
    const BreakCase cases[] = {
        {"magic", patched(b, {{6, 0xF6, 1}}), kHxrSmlBadMagic},
        {"too short for the magic", Bytes(b.begin(), b.begin() + 7), kHxrSmlBadMagic},
        {"version", patched(b, {{8, 4, 4}}), kHxrSmlBadVersion},
        {"version cut", Bytes(b.begin(), b.begin() + 11), kHxrSmlBadVersion},
        {"header cut", Bytes(b.begin(), b.begin() + 17), kHxrSmlBlockSize},
        {"directory past the end", patched(b, {{12, uint32_t(b.size()), 4}}), kHxrSmlBlockSize},
        {"directory negative", patched(b, {{12, 0xFFFFFFF0u, 4}}), kHxrSmlBlockSize},
        {"empty directory", patched(b, {{dir, 0, 1}}), 0},
        {"table kind 6", patched(b, {{dir + 1, 6, 1}}), 0},
        {"tables past the end", patched(b, {{l.dbg_table - 2, 200, 1}}), kHxrSmlBlockSize},
        {"no ink table", patched(b, {{dir + 1, 4, 1}}), 0},
        {"no inks", write_sml(SmlSpec{}), 0},
        {"thirteen inks", write_sml(SmlSpec{2, std::vector<SmlInk>(13, small_spec().inks[0]), false}), 0},
        // The same bytes as n x s entries, each too short for its fields.
        {"ink entry too short", patched(b, {{l.ink_table - 2, 0x0205, 2}}), kHxrSmlBlockSize},
        {"header offset 0", patched(b, {{l.ink_table + 1, 0, 4}}), 0},
        {"header past the end", patched(b, {{l.ink_table + 1, uint32_t(b.size() - 1), 4}}), kHxrSmlBlockSize},
        {"marker", patched(b, {{l.header[0] + 1, 254, 1}}), kHxrSmlBadMarker},
        {"set index", patched(b, {{l.header[1], 2, 1}}), kHxrSmlSetIndex},
        {"set entry too short", patched(b, {{l.set_table - 2, 0x0204, 2}}), kHxrSmlBlockSize},
        {"set past the end", patched(b, {{l.set_table, uint32_t(b.size() - 5), 4}}), kHxrSmlBlockSize},
        {"dot information index", patched(b, {{l.set[0] + 2, 2, 1}}), kHxrSmlDotInfoIndex},
        {"dot counts differ", patched(b, {{l.set[1] + 3, 1, 1}}), kHxrSmlDotCount},
        {"seven dots", patched(b, {{l.set[1] + 3, 7, 1}, {l.info[1] + 3, 7, 1}}), kHxrSmlDotCount},
        {"dot records past the end", patched(b, {{l.set[1] + 3, 6, 1}, {l.info[1] + 3, 6, 1}}), kHxrSmlBlockSize},
        {"double-gamma index", patched(b, {{l.set[0] + 4, 5, 1}}), kHxrSmlDblGammaIndex},
        {"double gamma past the end", patched(b, {{l.dbg_table + 4, uint32_t(b.size() - 4), 4}}), kHxrSmlBlockSize},
        {"rates past the end", patched(b, {{16, 0xFFFF, 2}}), kHxrSmlBlockSize},
        {"stride past the end", patched(b, {{l.info[1], 255, 1}}), kHxrSmlBlockSize},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        EXPECT_EQ(parse(c.res), nullptr) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
    }
}

TEST_F(SmlResource, EveryTruncationIsRefused) {
    const ModelDescription model = default_model();
    for (const SmlSpec& s : {small_spec(), model_sml(model, true, 2), model_sml(model, false, 1)}) {
        const Bytes b = write_sml(s);
        for_each_prefix(b, [&](const uint8_t* data, uint32_t n) {
            HXRSmlResParser* p = parse_at(data, n);
            EXPECT_EQ(p, nullptr) << n << " of " << b.size();
            if (p) HXRDeleteSmlResParser(p, mm);
        });
        HXRSetErrorInfo(0);
    }
}

}  // namespace
