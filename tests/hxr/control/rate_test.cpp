#include "hxr/control/hxr_rate.h"
#include "support/hxr_fixture.h"
#include "support/model_calib.h"
#include "support/model_index.h"
#include "support/model_rate.h"
#include "support/resource_cuts.h"

#include <algorithm>
#include <vector>

namespace {

using namespace ovcg_test;
constexpr uint32_t kNo = 0xFFFFFFFFu;

class RateResource : public HxrTest {
protected:
    HXRRateResParser* parse_at(const uint8_t* p, uint32_t n) {
        return HXRCreateRateResParser(p, n, svc.table()->StrNCmp, mm);
    }
    HXRRateResParser* parse(const Bytes& b) {
        const GuardedCopy& g = copies.hold(b);
        return parse_at(g.data(), g.size());
    }
    GuardedCopies copies;
};

// The corrected value by the line's formula, in 64 bits, saturated.
uint32_t ref_value(const RateLine& l, int64_t level) {
    const int64_t v = ((int64_t(l.y1) * (level - l.x0) + int64_t(l.y0) * (l.x1 - level)) * 256) / (l.x1 - l.x0) + 32768;
    return uint32_t(std::clamp<int64_t>(v, 0, 0x7FFFFFFF));
}

RateSpec one_line(RateLine line) {
    RateSpec s;
    s.k = 1;
    s.entries = {{7, {line}}};
    return s;
}

TEST_F(RateResource, DiagonalLineScalesTheLevel) {
    HXRRateResParser* p = parse(write_rate(one_line({0, 0, 255, 255})));
    ASSERT_NE(p, nullptr);
    for (uint32_t level = 0; level < 256; ++level) EXPECT_EQ(HXRGetCorrectValue(p, 7, 0, level), 256 * level + 32768);
    EXPECT_EQ(HXRGetCorrectValue(p, 7, 0, 256), kNo);
    EXPECT_EQ(error(), 0u);
    HXRDeleteRateResParser(p, mm);
}

// Lines whose 32-bit products would wrap, or whose value goes negative.
TEST_F(RateResource, ExtremeLinesSaturate) {
    const RateLine lines[] = {{0, -32768, 1, 32767}, {0, 32767, 1, -32768}, {-32768, -32768, 32767, 32767},
                              {255, 32767, 0, -32768}, {10, 100, 20, 200}, {0, -1000, 255, 1000}};
    for (const RateLine& l : lines) {
        HXRRateResParser* p = parse(write_rate(one_line(l)));
        ASSERT_NE(p, nullptr);
        for (uint32_t level = 0; level < 256; ++level)
            ASSERT_EQ(HXRGetCorrectValue(p, 7, 0, level), ref_value(l, level)) << l.x0 << "," << l.y0 << " at " << level;
        HXRDeleteRateResParser(p, mm);
    }
    // At level 255: (+-32767 x 255 -+ 32768 x -254) x 256, beyond 32 bits either way.
    HXRRateResParser* p = parse(write_rate(one_line({0, -32768, 1, 32767})));
    EXPECT_EQ(HXRGetCorrectValue(p, 7, 0, 255), 0x7FFFFFFFu);
    HXRDeleteRateResParser(p, mm);
    p = parse(write_rate(one_line({0, 32767, 1, -32768})));
    EXPECT_EQ(HXRGetCorrectValue(p, 7, 0, 255), 0u);
    HXRDeleteRateResParser(p, mm);
}

TEST_F(RateResource, ModelLinesAndLookUps) {
    const RateSpec s = model_rate(default_model());
    HXRRateResParser* p = parse(write_rate(s));
    ASSERT_NE(p, nullptr);
    for (const RateEntry& e : s.entries)
        for (uint32_t i = 0; i < s.k; ++i) {
            uint32_t pts[4] = {};
            if (!e.lines[i]) {
                EXPECT_EQ(HXRGetCorrectValue(p, uint32_t(e.code), i, 0), kNo);
                EXPECT_EQ(HXRGetRateData2Point(p, pts, uint32_t(e.code), i), 1u);
                continue;
            }
            ASSERT_EQ(HXRGetRateData2Point(p, pts, uint32_t(e.code), i), 0u);
            EXPECT_EQ(pts[2], uint32_t(e.lines[i]->x1));
            EXPECT_EQ(pts[3], uint32_t(e.lines[i]->y1));
            for (uint32_t level = 0; level < 256; level += 17)
                EXPECT_EQ(HXRGetCorrectValue(p, uint32_t(e.code), i, level), ref_value(*e.lines[i], level));
        }
    EXPECT_EQ(error(), 0u);
    // An ink without an entry, an index beyond k, a flat line.
    uint32_t pts[4];
    EXPECT_EQ(HXRGetCorrectValue(p, 99, 0, 0), kNo);
    EXPECT_EQ(HXRGetRateData2Point(p, pts, 99, 0), 1u);
    EXPECT_EQ(error(), 0u);
    EXPECT_EQ(HXRGetCorrectValue(p, 1, 3, 0), kNo);
    expect_error(kHxrRateIndex);
    EXPECT_EQ(HXRGetRateData2Point(p, pts, 1, 3), 1u);
    EXPECT_EQ(HXRGetRateData2Point(p, nullptr, 1, 0), 1u);
    HXRDeleteRateResParser(p, mm);
    p = parse(write_rate(one_line({40, 0, 40, 255})));
    EXPECT_EQ(HXRGetCorrectValue(p, 7, 0, 40), kNo);
    expect_error(kHxrRateFlatLine);
    HXRDeleteRateResParser(p, mm);
    EXPECT_EQ(HXRDeleteRateResParser(nullptr, mm), kHxrRateNone);
    expect_error(kHxrRateNone);
    // A negative ink code is compared sign-extended.
    RateSpec neg = one_line({0, 0, 255, 255});
    neg.entries[0].code = -2;
    p = parse(write_rate(neg));
    EXPECT_EQ(HXRGetCorrectValue(p, uint32_t(-2), 0, 1), 256u + 32768);
    HXRDeleteRateResParser(p, mm);
}

TEST_F(RateResource, OneFieldBrokenAtATime) {
    const Bytes b = write_rate(model_rate(default_model()));
    const size_t first_offset = kRateEntriesAt + 2;
    const struct {
        const char* name;
        Bytes res;
        uint32_t code;
    } cases[] = {
        {"magic", patched(b, {{7, 0x4B, 1}}), 0},
        {"too short for the magic", Bytes(b.begin(), b.begin() + 7), 0},
        {"version", patched(b, {{8, 2, 2}}), 0},
        {"byte 20", patched(b, {{20, 0, 1}}), 0},
        {"header cut", Bytes(b.begin(), b.begin() + 31), kHxrRateBlockSize},
        {"entries past the end", patched(b, {{18, 200, 1}}), kHxrRateBlockSize},
        {"offsets past the end", patched(b, {{19, 250, 1}}), kHxrRateBlockSize},
        {"line past the end", patched(b, {{first_offset, uint32_t(b.size() - 7), 2}}), kHxrRateBlockSize},
        {"line offset negative", patched(b, {{first_offset, 0x8000, 2}}), kHxrRateBlockSize},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        EXPECT_EQ(parse(c.res), nullptr) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
    }
    // The index text as a rate resource (an ink identifier of 0).
    EXPECT_EQ(parse(text_bytes(write_index_text(model_index(default_model())))), nullptr);
}

TEST_F(RateResource, EveryTruncationIsRefused) {
    const Bytes b = write_rate(model_rate(default_model()));
    for_each_prefix(b, [&](const uint8_t* data, uint32_t n) {
        HXRRateResParser* p = parse_at(data, n);
        EXPECT_EQ(p, nullptr) << n;
        if (p) HXRDeleteRateResParser(p, mm);
    });
}

// ---- calibration blob

TEST(CalibBlob, TablesAreFoundByIdentifier) {
    HXRSetErrorInfo(0);
    const std::vector<CalibTable> tables = {model_calib_table(1, 40), model_calib_table(3, -30),
                                            model_calib_table(1, 0)};
    const Bytes b = write_calib(tables);
    ASSERT_EQ(b.size(), 128u + 3 * 512);
    const GuardedCopy g(b);
    const HXRClbTblParser p = HXRCreateClbTblParser(g.data(), g.size());
    ASSERT_NE(p.blob, nullptr);
    EXPECT_EQ(p.count, 3u);
    const uint8_t* t1 = HXRSearchCalibTable(&p, 1);
    const uint8_t* t3 = HXRSearchCalibTable(&p, 3);
    ASSERT_TRUE(t1 && t3);
    EXPECT_EQ(t1, g.data() + 128);  // the first of two tables with identifier 1
    for (uint32_t v = 0; v < 256; ++v) {
        EXPECT_EQ(HXRGetCalibData(t1, v), uint32_t(int32_t(tables[0].values[v]) * 16));
        EXPECT_EQ(HXRGetCalibData(t3, v), uint32_t(int32_t(tables[1].values[v]) * 16));
    }
    EXPECT_EQ(HXRSearchCalibTable(&p, 2), nullptr);
    EXPECT_EQ(HXRGetCalibData(t1, 256), kNo);
    EXPECT_EQ(HXRGetCalibData(nullptr, 0), kNo);
    // -1 shifts to 0xFFFFFFF0.
    CalibTable neg = model_calib_table(9, 0);
    neg.values[5] = -1;
    const GuardedCopy gn(write_calib({neg}));
    const HXRClbTblParser pn = HXRCreateClbTblParser(gn.data(), gn.size());
    EXPECT_EQ(HXRGetCalibData(HXRSearchCalibTable(&pn, 9), 5), 0xFFFFFFF0u);
    EXPECT_EQ(HXRGetErrorInfo(nullptr), 0u);
}

TEST(CalibBlob, HeaderChecksInOrder) {
    const Bytes b = write_calib({model_calib_table(1, 10), model_calib_table(2, 20)});
    const uint32_t exact = 128 + 2 * 512;
    const struct {
        const char* name;
        Bytes blob;
        uint32_t code;
    } cases[] = {
        {"exact length", b, 0},
        {"length one short", patched(b, {{0, exact - 1, 4}}), kHxrCalibBadLength},
        {"length past the blob", patched(b, {{0, exact + 1, 4}}), kHxrCalibBadLength},
        {"blob cut", Bytes(b.begin(), b.end() - 1), kHxrCalibBadLength},
        {"mark", patched(b, {{8, 401, 2}}), kHxrCalibBadMark},
        {"levels", patched(b, {{16, 255, 4}}), kHxrCalibBadLevels},
        {"word 20", patched(b, {{20, 11, 4}}), kHxrCalibBadWord},
        {"no tables", patched(b, {{24, 0, 4}}), kHxrCalibBadCount},
        {"thirteen tables", patched(b, {{24, 13, 4}}), kHxrCalibBadCount},
        {"mark and levels", patched(b, {{8, 0, 2}, {16, 0, 4}}), kHxrCalibBadMark},
        {"too short for the mark", Bytes(b.begin(), b.begin() + 9), kHxrCalibBadMark},
        {"too short for the count", Bytes(b.begin(), b.begin() + 27), kHxrCalibBadCount},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        const GuardedCopy g(c.blob);
        const HXRClbTblParser p = HXRCreateClbTblParser(g.data(), g.size());
        EXPECT_EQ(p.blob != nullptr, c.code == 0) << c.name;
        EXPECT_EQ(HXRGetErrorInfo(nullptr), c.code) << c.name;
    }
    HXRSetErrorInfo(0);
}

TEST(CalibBlob, TablesOutsideTheBlobAreNotFound) {
    const Bytes b = write_calib({model_calib_table(1, 10), model_calib_table(2, 20)});
    const struct {
        uint32_t offset;
        bool found;
    } cases[] = {{128, true}, {640, true}, {641, false}, {127, false}, {32, false}, {0x80000000u, false},
                 {0xFFFFFFFFu, false}, {600, true}};
    for (const auto& c : cases) {
        const GuardedCopy g(patched(b, {{40, c.offset, 4}}));  // table 2's offset
        const HXRClbTblParser p = HXRCreateClbTblParser(g.data(), g.size());
        ASSERT_NE(p.blob, nullptr);
        EXPECT_EQ(HXRSearchCalibTable(&p, 2) != nullptr, c.found) << c.offset;
    }
    const HXRClbTblParser none = HXRCreateClbTblParser(nullptr, 0);
    EXPECT_EQ(none.blob, nullptr);
    EXPECT_EQ(HXRSearchCalibTable(&none, 1), nullptr);
}

}  // namespace
