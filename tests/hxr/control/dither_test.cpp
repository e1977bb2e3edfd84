#include "hxr/control/hxr_dither.h"
#include "support/hxr_fixture.h"
#include "support/model.h"
#include "support/model_dither.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace ovcg_test;

struct Patch {
    size_t at;
    uint32_t value;
    int width;  // bytes, little-endian
};

Bytes patched(Bytes b, std::initializer_list<Patch> patches) {
    for (const Patch& p : patches)
        for (int k = 0; k < p.width; ++k) b.at(p.at + size_t(k)) = uint8_t(p.value >> (8 * k));
    return b;
}

class Dither : public HxrTest {
protected:
    HXRStrNCmpFn cmp() { return svc.table()->StrNCmp; }
    // Parses with the bytes in a buffer of exactly their size.
    template <typename P, typename F>
    P* parse(F create, const Bytes& b) {
        held_.push_back(std::make_unique<uint8_t[]>(b.size() + (b.empty() ? 1 : 0)));
        if (!b.empty()) std::memcpy(held_.back().get(), b.data(), b.size());
        return create(held_.back().get(), uint32_t(b.size()), cmp(), mm);
    }
    std::vector<std::unique_ptr<uint8_t[]>> held_;
};

Bytes plain16() { return write_plain_mask(model_plain_mask(8, 4, 16)); }
Bytes ubec16() { return write_ubec_mask(model_ubec_mask(8, 8, 4, 4)); }
Bytes switch2() {
    DitherSwitchSpec s;
    s.form = 2;
    s.areas = {{10, 11, 10}, {12, 12, 13}};
    return write_dither_switch(s);
}
Bytes offsets() { return write_dither_offset({{2, 1, 5, 1, 2, 0}, {1, 0, 0, 3, 4, 1}}); }

// ---- parsers

TEST_F(Dither, PlainMasksRead) {
    const PlainMaskSpec recipe = model_plain_mask(8, 4, 16);
    for (int bits : {16, 12}) {
        PlainMaskSpec s = recipe;
        s.bits = bits;
        s.shift = 3;
        s.direction = 1;
        HXRDthResParser* m = parse<HXRDthResParser>(HXRCreateDthResParser, write_plain_mask(s));
        ASSERT_NE(m, nullptr) << bits;
        EXPECT_EQ(HXRGetDthResType(m), kHxrDthTypePlain);
        EXPECT_EQ(HXRGetDthBits(m), uint32_t(bits));
        EXPECT_EQ(HXRGetDthSizeH(m), 8u);
        EXPECT_EQ(HXRGetDthSizeV(m), 4u);
        EXPECT_EQ(HXRGetDthShiftH(m), 3u);
        EXPECT_EQ(HXRGetDthShiftV(m), 0u);
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(HXRGetDthThresh(m, x, y), s.thresholds[y * 8 + x]);
        EXPECT_EQ(HXRGetDthThresh(m, 8, 0), kHxrNoValue);
        EXPECT_EQ(HXRGetDthThresh(m, 0, 4), kHxrNoValue);
        EXPECT_EQ(HXRGetDthUBECBlockNum(m), kHxrNoValue);
        EXPECT_EQ(HXRGetDthUBECThresh(m, 0, 0), kHxrNoValue);
        EXPECT_EQ(HXRDeleteDthResParser(m, mm), 0u);
    }
}

TEST_F(Dither, TwelveBitThresholdsShareAByte) {
    // Width 3: thresholds 0xABC and 0x123 in bytes BC 3A 12, then 0x456.
    Bytes b = write_plain_mask({3, 1, 12, 0, 0, {0xABC, 0x123, 0x456}});
    ASSERT_EQ(b[32], 0xBC);
    ASSERT_EQ(b[33], 0x3A);
    ASSERT_EQ(b[34], 0x12);
    HXRDthResParser* m = parse<HXRDthResParser>(HXRCreateDthResParser, b);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(HXRGetDthThresh(m, 0, 0), 0xABCu);
    EXPECT_EQ(HXRGetDthThresh(m, 1, 0), 0x123u);
    EXPECT_EQ(HXRGetDthThresh(m, 2, 0), 0x456u);
    EXPECT_EQ(HXRGetDthShiftV(m), 0u);
    EXPECT_EQ(HXRDeleteDthResParser(m, mm), 0u);
}

TEST_F(Dither, UbecMasksRead) {
    const UbecMaskSpec s = model_ubec_mask(16, 8, 4, 2);
    Bytes b = write_ubec_mask(s);
    HXRDthResParser* m = parse<HXRDthResParser>(HXRCreateDthResParser, b);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(HXRGetDthResType(m), kHxrDthTypeUbec);
    EXPECT_EQ(HXRGetDthUBECBlockNum(m), 16u);
    EXPECT_EQ(HXRGetDthUBECBlockNumH(m), 4u);
    EXPECT_EQ(HXRGetDthUBECBlockNumV(m), 4u);
    EXPECT_EQ(HXRGetDthUBECBlockSize(m), 8u);
    EXPECT_EQ(HXRGetDthUBECBlockSizeH(m), 4u);
    EXPECT_EQ(HXRGetDthUBECBlockSizeV(m), 2u);
    for (uint32_t blk = 0; blk < 16; ++blk)
        for (uint32_t j = 0; j < 8; ++j) {
            EXPECT_EQ(HXRGetDthUBECThresh(m, blk, j), s.entries[blk * 8 + j] & 0xFFFu);
            EXPECT_EQ(HXRGetDthUBECOrder(m, blk, j), uint32_t(s.entries[blk * 8 + j] >> 12));
        }
    EXPECT_EQ(HXRGetDthUBECThresh(m, 16, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetDthUBECThresh(m, 0, 8), kHxrNoValue);
    EXPECT_EQ(HXRGetDthThresh(m, 0, 0), kHxrNoValue);  // plain only
    EXPECT_EQ(HXRGetDthBits(m), kHxrNoValue);
    EXPECT_EQ(HXRDeleteDthResParser(m, mm), 0u);
}

struct BreakCase {
    const char* name;
    Bytes res;
    uint32_t code;
};

TEST_F(Dither, MasksBrokenOneFieldAtATime) {
    const Bytes p = plain16(), u = ubec16();
    const BreakCase cases[] = {
        {"magic", patched(p, {{4, 0xCE, 1}}), kHxrDthMaskMagic},
        {"too short for the magic", Bytes(p.begin(), p.begin() + 7), kHxrDthMaskMagic},
        {"form byte 8", patched(p, {{8, 2, 1}}), kHxrDthMaskForm},
        {"form byte 9", patched(p, {{9, 4, 1}}), kHxrDthMaskForm},
        {"header cut", Bytes(p.begin(), p.begin() + 27), kHxrDthMaskForm},
        {"maximum", patched(p, {{16, 4079, 4}}), kHxrDthMaskMaximum},
        {"width 0", patched(p, {{12, 0, 2}}), kHxrDthMaskSize},
        {"height 0", patched(p, {{14, 0, 2}}), kHxrDthMaskSize},
        {"thresholds past the end", patched(p, {{14, 5, 2}}), kHxrDthMaskSize},
        {"threshold offset past the end", patched(p, {{10, 0xFFFF, 2}}), kHxrDthMaskSize},
        {"direction", patched(p, {{26, 2, 1}}), kHxrDthMaskDirection},
        {"packing", patched(p, {{22, 3, 1}}), kHxrDthMaskPacking},
        {"packing pair", patched(p, {{23, 4, 1}}), kHxrDthMaskPacking},
        {"byte 27", patched(p, {{27, 1, 1}}), kHxrDthMaskByte27},
        {"ubec version", patched(u, {{8, 3, 4}}), kHxrDthMaskForm},
        {"ubec header cut", Bytes(u.begin(), u.begin() + 71), kHxrDthMaskForm},
        {"ubec offset", patched(u, {{12, 76, 4}}), kHxrUbecOffset},
        {"ubec offset word", patched(u, {{68, 4, 4}}), kHxrUbecOffset},
        {"ubec maximum", patched(u, {{40, 4095, 4}}), kHxrUbecMaximum},
        {"ubec width 0", patched(u, {{32, 0, 4}}), kHxrUbecSize},
        {"ubec height negative", patched(u, {{36, uint32_t(-8), 4}}), kHxrUbecSize},
        {"ubec block size", patched(u, {{16, 12, 4}}), kHxrUbecBlockSize},
        {"ubec block shape", patched(u, {{20, 2, 4}}), kHxrUbecBlockShape},
        {"ubec width multiple", patched(u, {{32, 10, 4}}), kHxrUbecWidth},
        {"ubec height multiple", patched(u, {{36, 6, 4}}), kHxrUbecHeight},
        {"ubec block count", patched(u, {{28, 5, 4}}), kHxrUbecBlockCount},
        {"ubec huge size", patched(u, {{32, 0x40000000, 4}, {36, 0x40000000, 4}}), kHxrUbecBlockCount},
        {"ubec two shifts", patched(u, {{52, 4, 4}, {56, 4, 4}}), kHxrUbecTwoShifts},
        {"ubec shift h", patched(u, {{52, 2, 4}}), kHxrUbecShiftH},
        {"ubec shift v", patched(u, {{56, 3, 4}}), kHxrUbecShiftV},
        {"ubec reserved", patched(u, {{60, 1, 4}}), kHxrUbecReserved},
        {"ubec blocks past the end", patched(u, {{12, 1072, 4}, {68, 1000, 4}}), kHxrUbecSize},
        {"ubec blocks cut", Bytes(u.begin(), u.end() - 1), kHxrUbecSize},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        EXPECT_EQ(parse<HXRDthResParser>(HXRCreateDthResParser, c.res), nullptr) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
    }
    // The valid ones, and valid variants.
    for (const Bytes& b : {p, u, patched(u, {{52, 4, 4}, {56, uint32_t(-4), 4}}), patched(p, {{26, 1, 1}})}) {
        HXRSetErrorInfo(0);
        HXRDthResParser* m = parse<HXRDthResParser>(HXRCreateDthResParser, b);
        EXPECT_NE(m, nullptr);
        EXPECT_EQ(error(), 0u);
        HXRDeleteDthResParser(m, mm);
    }
}

TEST_F(Dither, SwitchAndOffsetBrokenOneFieldAtATime) {
    const Bytes s = switch2(), o = offsets();
    const BreakCase cases[] = {
        {"switch magic", patched(s, {{7, 0xB9, 1}}), kHxrDthSwcMagic},
        {"switch too short", Bytes(s.begin(), s.begin() + 6), kHxrDthSwcMagic},
        {"switch header cut", Bytes(s.begin(), s.begin() + 15), kHxrDthSwcForm},
        {"switch form", patched(s, {{8, 3, 1}}), kHxrDthSwcForm},
        {"switch inks", patched(s, {{9, 13, 1}}), kHxrDthSwcTooManyInks},
        {"switch areas", patched(s, {{10, 7, 1}}), kHxrDthSwcTooManyAreas},
        {"switch no areas", patched(s, {{10, 0, 1}}), kHxrDthSwcForm},
        {"switch area offset outside", patched(s, {{20, 0xFFFFFFF0u, 4}}), kHxrDthSwcForm},
        {"switch ids cut", Bytes(s.begin(), s.end() - 1), kHxrDthSwcForm},
        {"switch area table cut", patched(s, {{10, 6, 1}}), kHxrDthSwcForm},
        {"offset magic", patched(o, {{5, 0, 1}}), kHxrDthOffMagic},
        {"offset version", patched(o, {{8, 2, 4}}), kHxrDthOffVersion},
        {"offset header cut", Bytes(o.begin(), o.begin() + 19), kHxrDthOffVersion},
        {"offset entries outside", patched(o, {{12, 0xFFFFFFFFu, 4}}), kHxrDthOffVersion},
        {"offset count huge", patched(o, {{16, 0x80000000u, 4}}), kHxrDthOffVersion},
        {"offset entries cut", Bytes(o.begin(), o.end() - 1), kHxrDthOffVersion},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        const bool is_switch = std::string(c.name).rfind("switch", 0) == 0;
        if (is_switch) {
            EXPECT_EQ(parse<HXRDthSwcResParser>(HXRCreateDthSwcResParser, c.res), nullptr) << c.name;
        } else {
            EXPECT_EQ(parse<HXRDthOffResParser>(HXRCreateDthOffResParser, c.res), nullptr) << c.name;
        }
        EXPECT_EQ(error(), c.code) << c.name;
    }
}

TEST_F(Dither, SwitchAnswersIdentifiers) {
    HXRDthSwcResParser* p = parse<HXRDthSwcResParser>(HXRCreateDthSwcResParser, switch2());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(HXRGetDthSwcResAreaNum(p), 2u);
    EXPECT_EQ(HXRGetDthSwcResInkNum(p), 3u);
    EXPECT_EQ(HXRGetDthResNo(p, 0, 1), 11u);
    EXPECT_EQ(HXRGetDthResNo(p, 1, 2), 13u);
    EXPECT_EQ(HXRGetDthResNo(p, 2, 0), kHxrNoValue);
    expect_error(kHxrDthSwcArea);
    EXPECT_EQ(HXRGetDthResNo(p, 0, 3), kHxrNoValue);
    expect_error(kHxrDthSwcInk);
    EXPECT_EQ(HXRDeleteDthSwcResParser(p, mm), 0u);
    EXPECT_EQ(HXRDeleteDthSwcResParser(nullptr, mm), kHxrDthSwcNone);
    EXPECT_EQ(HXRDeleteDthResParser(nullptr, mm), kHxrDthMaskNone);
    EXPECT_EQ(HXRDeleteDthOffResParser(nullptr, mm), kHxrDthOffNone);
    EXPECT_EQ(HXRDeleteDthResMgr(nullptr, mm), kHxrDthMgrNone);
}

// The most a switch holds, 12 inks in each of 6 areas, parses; the rows
// above refuse 13 inks and 7 areas.
TEST_F(Dither, SwitchAtItsLimits) {
    DitherSwitchSpec s;
    s.form = 2;
    s.areas.resize(6);
    for (uint16_t a = 0; a < 6; ++a)
        for (uint16_t k = 0; k < 12; ++k) s.areas[a].push_back(uint16_t(100 * a + k));
    HXRDthSwcResParser* p = parse<HXRDthSwcResParser>(HXRCreateDthSwcResParser, write_dither_switch(s));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(error(), 0u);
    EXPECT_EQ(HXRGetDthSwcResInkNum(p), 12u);
    EXPECT_EQ(HXRGetDthSwcResAreaNum(p), 6u);
    EXPECT_EQ(HXRGetDthResNo(p, 5, 11), 511u);
    EXPECT_EQ(HXRDeleteDthSwcResParser(p, mm), 0u);
}

TEST_F(Dither, Offsets) {
    HXRDthOffResParser* p = parse<HXRDthOffResParser>(HXRCreateDthOffResParser, offsets());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(HXRGetDthOffsetNum(p), 2u);
    EXPECT_EQ(HXRGetDthOffsetH(p, 0, 0, 64), 133u);   // 64 * 2 / 1 + 5
    EXPECT_EQ(HXRGetDthOffsetV(p, 5, 0, 63), 31u);    // 63 * 1 / 2 + 0, any area
    EXPECT_EQ(HXRGetDthOffsetV(p, 0, 1, 64), 49u);    // 64 * 3 / 4 + 1
    EXPECT_EQ(HXRGetDthOffsetV(p, 0, 0, -5), uint32_t(-2));  // truncates toward zero
    EXPECT_EQ(error(), 0u);
    EXPECT_EQ(HXRGetDthOffsetH(p, 0, 1, 64), kHxrNoValue);
    expect_error(kHxrDthOffDivisor);
    EXPECT_EQ(HXRGetDthOffsetH(p, 0, 2, 64), kHxrNoValue);
    expect_error(kHxrDthOffEntry);
    EXPECT_EQ(HXRDeleteDthOffResParser(p, mm), 0u);
}

// Every prefix of every resource is refused or read without touching a byte
// past its end.
TEST_F(Dither, TruncatedResourcesNeverOverrun) {
    const Bytes all[] = {plain16(), ubec16(), write_plain_mask(model_plain_mask(5, 3, 12)), switch2(), offsets()};
    for (const Bytes& b : all) {
        for (size_t n = 0; n < b.size(); ++n) {
            const Bytes cut(b.begin(), b.begin() + long(n));
            HXRSetErrorInfo(0);
            HXRDthResParser* m = parse<HXRDthResParser>(HXRCreateDthResParser, cut);
            if (m) HXRDeleteDthResParser(m, mm);
            HXRDthSwcResParser* s = parse<HXRDthSwcResParser>(HXRCreateDthSwcResParser, cut);
            if (s) HXRDeleteDthSwcResParser(s, mm);
            HXRDthOffResParser* o = parse<HXRDthOffResParser>(HXRCreateDthOffResParser, cut);
            if (o) HXRDeleteDthOffResParser(o, mm);
            EXPECT_FALSE(m || s || o) << n << " of " << b.size();
        }
    }
}

// ---- manager

class DitherMgr : public Dither {
protected:
    void SetUp() override {
        Dither::SetUp();
        ResWriter w;
        add_model_dither(w, default_model());
        svc.add_resources_from(w);
        rm = resources();
        ASSERT_NE(rm, nullptr);
    }
    void TearDown() override {
        drop();
        if (clr) {
            EXPECT_EQ(HXRDeleteClrMgr(clr, mm), 0u);
        }
        EXPECT_EQ(HXRDeleteResMgr(rm), 0u);
        EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
        Dither::TearDown();
    }
    // The manager under test, in d (deleted by the next make and at the end).
    HXRDthResMgr* make(uint32_t ink_set, uint32_t dither, uint32_t offset = kModelDitherOffsetId) {
        drop();
        if (clr) HXRDeleteClrMgr(clr, mm);
        clr = HXRCreateClrMgr(ink_set, 1, 0, mm);
        EXPECT_NE(clr, nullptr);
        return d = HXRCreateDthResMgr(dither, offset, clr, cmp(), rm, mm);
    }
    void drop() {
        if (d) {
            EXPECT_EQ(HXRDeleteDthResMgr(d, mm), 0u);
        }
        d = nullptr;
    }
    HXRResMgr* rm = nullptr;
    HXRClrMgr* clr = nullptr;
    HXRDthResMgr* d = nullptr;
};

TEST_F(DitherMgr, OneAreaSwitch) {
    ASSERT_NE(make(3, kModelDitherSwitchId), nullptr);
    EXPECT_EQ(error(), 0u);
    EXPECT_EQ(HXRGetDthResAreaNum(d), 1u);
    // Ink 3 (K) has dither-offset order 0, which names the 12-bit mask.
    EXPECT_EQ(HXRGetDthResMgrSizeH(d, 0, 3), 32u);
    EXPECT_EQ(HXRGetDthResMgrSizeH(d, 0, 0), 64u);
    EXPECT_EQ(HXRIsSameDth(d, 0, 0, 0, 1), 1u);
    EXPECT_EQ(HXRIsSameDth(d, 0, 0, 0, 5), 1u);
    EXPECT_EQ(HXRIsSameDth(d, 0, 0, 0, 3), 0u);
    const PlainMaskSpec m16 = model_plain_mask(64, 64, 16), m12 = model_plain_mask(32, 32, 12);
    for (uint32_t y = 0; y < 64; y += 7)
        for (uint32_t x = 0; x < 64; x += 5) {
            EXPECT_EQ(HXRGetDthResMgrThresh(d, 0, 2, x, y), m16.thresholds[y * 64 + x]);
            if (x < 32 && y < 32) {
                EXPECT_EQ(HXRGetDthResMgrThresh(d, 0, 3, x, y), m12.thresholds[y * 32 + x]);
            }
        }
    // Offsets: entry k of the model is {k % 4, 4, k, (k + 1) % 3, 3, 2k}.
    EXPECT_EQ(HXRGetDthResMgrOffsetH(d, 0, 0), 64u * 1 / 4 + 1);  // ink 0 has order 1
    EXPECT_EQ(HXRGetDthResMgrOffsetV(d, 0, 3), 32u * 1 / 3 + 0);  // ink 3 has order 0
    EXPECT_EQ(HXRGetDthResMgrUBECBlockNum(d, 0, 0), kHxrNoValue);
    // Out of range.
    EXPECT_EQ(HXRGetDthResMgrSizeH(d, 1, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetDthResMgrSizeH(d, 0, 6), kHxrNoValue);
    EXPECT_EQ(HXRIsSameDth(d, 0, 6, 0, 6), 0u);
}

// The threshold of a UBEC mask at (x, y), literally: the entry whose order
// the pixel's entry names, in the block that covers the pixel modulo the mask.
uint32_t ubec_reference(const UbecMaskSpec& s, uint32_t x, uint32_t y) {
    x %= uint32_t(s.width);
    y %= uint32_t(s.height);
    const uint32_t per_row = uint32_t(s.width / s.block_w);
    const uint32_t blk = (y / uint32_t(s.block_h)) * per_row + x / uint32_t(s.block_w);
    const uint32_t pos = (y % uint32_t(s.block_h)) * uint32_t(s.block_w) + x % uint32_t(s.block_w);
    const uint32_t j = s.entries[blk * uint32_t(s.block_size) + pos] >> 12;
    if (j >= uint32_t(s.block_size)) return kHxrNoValue;
    return s.entries[blk * uint32_t(s.block_size) + j] & 0xFFF;
}

TEST_F(DitherMgr, TwoAreasWithUbecMasks) {
    ASSERT_NE(make(1, kModelDitherSwitchAreasId), nullptr);
    EXPECT_EQ(HXRGetDthResAreaNum(d), 2u);
    // Area 1: order k uses the 4x4 UBEC mask for even k, 4x2 for odd k.
    EXPECT_EQ(HXRGetDthResMgrUBECBlockSize(d, 1, 3), 16u);  // ink 3: order 0
    EXPECT_EQ(HXRGetDthResMgrUBECBlockSize(d, 1, 0), 8u);   // ink 0: order 1
    EXPECT_EQ(HXRGetDthResMgrUBECBlockSizeH(d, 1, 0), 4u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockSizeV(d, 1, 0), 2u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockNumH(d, 1, 0), 4u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockNumV(d, 1, 0), 4u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockNum(d, 1, 3), 64u);
    EXPECT_EQ(HXRIsSameDth(d, 1, 0, 1, 2), 1u);  // orders 1 and 3
    EXPECT_EQ(HXRIsSameDth(d, 0, 0, 1, 0), 0u);
    EXPECT_EQ(HXRIsSameDth(d, 0, 0, 0, 1), 1u);
    // Thresholds repeat in both directions.
    const UbecMaskSpec s16 = model_ubec_mask(32, 32, 4, 4), s8 = model_ubec_mask(16, 8, 4, 2);
    for (uint32_t y = 0; y < 100; y += 3)
        for (uint32_t x = 0; x < 100; x += 7) {
            EXPECT_EQ(HXRGetDthResMgrThresh(d, 1, 3, x, y), ubec_reference(s16, x, y)) << x << "," << y;
            EXPECT_EQ(HXRGetDthResMgrThresh(d, 1, 0, x, y), ubec_reference(s8, x, y)) << x << "," << y;
        }
    // Block thresholds of a UBEC mask are its entries, for its own block shape only.
    uint32_t order = 0;
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 1, 0, 5, 3, 4, 2, &order), s8.entries[5 * 8 + 3] & 0xFFFu);
    EXPECT_EQ(order, uint32_t(s8.entries[5 * 8 + 3] >> 12));
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 1, 0, 5, 3, 2, 4, &order), kHxrNoValue);  // other shape
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 1, 0, 16, 0, 4, 2, &order), kHxrNoValue);
}

// Masks whose block grid is wider than tall, and taller than wide: the block
// of a pixel counts rows of blocks across, and repeats each way on its own.
TEST_F(DitherMgr, UbecThresholdsOnGridsThatAreNotSquare) {
    const struct {
        int32_t width, height, block_w, block_h;
    } shapes[] = {{16, 4, 4, 2}, {8, 16, 4, 4}};
    uint16_t id = 902;
    for (const auto& sh : shapes) {
        const UbecMaskSpec s = model_ubec_mask(sh.width, sh.height, sh.block_w, sh.block_h);
        ASSERT_NE(s.width / s.block_w, s.height / s.block_h);
        svc.add_resource(id, write_ubec_mask(s));
        ASSERT_NE(make(0, id++), nullptr);
        for (uint32_t y = 0; y < 40; ++y)
            for (uint32_t x = 0; x < 40; ++x)
                ASSERT_EQ(HXRGetDthResMgrThresh(d, 0, 0, x, y), ubec_reference(s, x, y))
                    << sh.width << "x" << sh.height << " at " << x << "," << y;
    }
}

TEST_F(DitherMgr, UbecOrderBeyondTheBlockIsRefused) {
    UbecMaskSpec s = model_ubec_mask(8, 4, 4, 2);
    s.entries[0] = uint16_t(12u << 12 | 100);  // order 12 in a block of 8
    svc.add_resource(900, write_ubec_mask(s));
    ASSERT_NE(make(0, 900), nullptr);
    EXPECT_EQ(HXRGetDthResMgrThresh(d, 0, 0, 0, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetDthResMgrThresh(d, 0, 0, 8, 4), kHxrNoValue);  // the same pixel, one repeat on
    EXPECT_EQ(HXRGetDthResMgrThresh(d, 0, 0, 1, 0), ubec_reference(s, 1, 0));
}

// Block thresholds of a plain mask, literally: sort the block, take the value
// at the position; the order is where the position's own value first stands.
uint32_t block_reference(const PlainMaskSpec& s, uint32_t block, uint32_t pos, uint32_t bw, uint32_t bh,
                         uint32_t* order) {
    const uint32_t per_row = s.width / bw;
    const uint32_t x0 = (block % per_row) * bw, y0 = (block / per_row) * bh;
    if (y0 + bh > s.height) return kHxrNoValue;
    std::vector<uint16_t> v;
    for (uint32_t r = 0; r < bh; ++r)
        for (uint32_t c = 0; c < bw; ++c) v.push_back(s.thresholds[(y0 + r) * s.width + x0 + c]);
    const uint16_t own = v[pos];
    std::sort(v.begin(), v.end());
    *order = uint32_t(std::lower_bound(v.begin(), v.end(), own) - v.begin());
    return v[pos];
}

TEST_F(DitherMgr, BlockThresholdsOfPlainMasks) {
    PlainMaskSpec s = model_plain_mask(12, 8, 16);
    for (size_t i = 0; i < s.thresholds.size(); ++i) s.thresholds[i] = uint16_t((i * 37) % 50);  // with ties
    svc.add_resource(901, write_plain_mask(s));
    ASSERT_NE(make(0, 901), nullptr);
    const uint32_t shapes[][2] = {{4, 4}, {4, 2}, {2, 4}, {3, 8}, {12, 1}, {5, 3}};
    for (const auto& sh : shapes) {
        const uint32_t bw = sh[0], bh = sh[1];
        const uint32_t blocks = (12 / bw) * (8 / bh);
        for (uint32_t b = 0; b < blocks + 2; ++b)
            for (uint32_t p = 0; p < bw * bh; ++p) {
                uint32_t want_order = 0, got_order = 0xDEAD;
                const uint32_t want = block_reference(s, b, p, bw, bh, &want_order);
                const uint32_t got = HXRGetDthResMgrUBECThresh(d, 0, 0, b, p, bw, bh, &got_order);
                EXPECT_EQ(got, want) << bw << "x" << bh << " block " << b << " pos " << p;
                if (want != kHxrNoValue) {
                    EXPECT_EQ(got_order, want_order);
                }
            }
    }
    uint32_t order = 0;
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 0, 0, 0, 16, 4, 4, &order), kHxrNoValue);  // position
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 0, 0, 0, 0, 13, 1, &order), kHxrNoValue);  // wider than the mask
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 0, 0, 0, 0, 0, 1, &order), kHxrNoValue);
}

// A dither identifier that names a mask: the switch parse fails on purpose and
// its code must not stay; a failure recorded before must.
TEST_F(DitherMgr, DirectMaskKeepsTheErrorRecord) {
    for (uint32_t before : {0u, 9012u}) {
        HXRSetErrorInfo(0);
        HXRSetErrorInfo(before);
        ASSERT_NE(make(3, kModelMask16Id), nullptr);
        EXPECT_EQ(error(), before);
        EXPECT_EQ(HXRGetDthResAreaNum(d), 1u);
        for (uint32_t i = 1; i < 6; ++i) EXPECT_EQ(HXRIsSameDth(d, 0, 0, 0, i), 1u);
    }
}

TEST_F(DitherMgr, Failures) {
    DitherSwitchSpec few;
    few.areas = {{kModelMask16Id, kModelMask16Id}};  // two inks only
    svc.add_resource(910, write_dither_switch(few));
    DitherSwitchSpec missing;
    missing.areas = {{kModelMask16Id, 999, kModelMask16Id, kModelMask16Id}};
    svc.add_resource(911, write_dither_switch(missing));
    svc.add_resource(912, patched(write_plain_mask(model_plain_mask(4, 4, 16)), {{27, 1, 1}}));
    struct Case {
        const char* name;
        uint32_t ink_set, dither, offset, code;
    } cases[] = {
        {"switch with too few inks", 1, 910, kModelDitherOffsetId, kHxrDthSwcInk},
        {"missing mask", 1, 911, kModelDitherOffsetId, 0},
        {"broken mask", 1, 912, kModelDitherOffsetId, kHxrDthMaskByte27},
        {"missing dither", 1, 999, kModelDitherOffsetId, 0},
        {"missing offset", 1, kModelDitherSwitchId, 999, 0},
        {"offset is a mask", 1, kModelDitherSwitchId, kModelMask12Id, kHxrDthOffMagic},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        EXPECT_EQ(make(c.ink_set, c.dither, c.offset), nullptr) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
    }
    HXRSetErrorInfo(0);
    EXPECT_EQ(HXRCreateDthResMgr(kModelDitherSwitchId, kModelDitherOffsetId, nullptr, cmp(), rm, mm), nullptr);
    // Out of memory at every step: no manager, nothing left behind.
    for (long k = 0; k < 12; ++k) {
        // A whole manager first (which also makes the colour manager).
        ASSERT_NE(make(3, kModelDitherSwitchAreasId), nullptr);
        drop();
        const uint32_t blocks = HXRGetMemBlockCount(mm);
        svc.fail_allocation_after(k);
        d = HXRCreateDthResMgr(kModelDitherSwitchAreasId, kModelDitherOffsetId, clr, cmp(), rm, mm);
        svc.fail_allocation_after(-1);
        if (!d) {
            // Resources cached before the failure stay with the resource manager.
            EXPECT_GE(HXRGetMemBlockCount(mm), blocks) << k;
        }
    }
}

TEST_F(DitherMgr, EmptySwitchEntriesLeaveSlotsEmpty) {
    DitherSwitchSpec s;
    s.areas = {{kModelMask16Id, kHxrDthNoMask, kModelMask16Id, kModelMask16Id}};
    svc.add_resource(920, write_dither_switch(s));
    ASSERT_NE(make(1, 920), nullptr);
    // Order 1 (ink 0) is empty.
    EXPECT_EQ(HXRGetDthResMgrSizeH(d, 0, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetDthResMgrThresh(d, 0, 0, 0, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetDthResMgrOffsetH(d, 0, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetDthResMgrSizeH(d, 0, 1), 64u);
}

// The model file carries the resources packed and plain alike, and both
// read back the same.
TEST_F(DitherMgr, PackedAndPlainModelsAgree) {
    ResWriter plain, packed;
    add_model_dither(plain, default_model(), DitherPacking::Plain);
    add_model_dither(packed, default_model(), DitherPacking::AllPacked);
    ASSERT_EQ(plain.records().size(), packed.records().size());
    for (size_t i = 0; i < plain.records().size(); ++i) {
        const ResRecord& a = plain.records()[i];
        const ResRecord& b = packed.records()[i];
        ASSERT_EQ(a.id, b.id);
        EXPECT_EQ(b.data.at(0), 0x7A);  // packed
        EXPECT_NE(a.data.at(0), 0x7A);
        svc.add_resource(int(a.id) + 1000, a.data);
        svc.add_resource(int(a.id) + 2000, b.data);
        uint32_t na = 0, nb = 0;
        const uint8_t* pa = HXRGetResource(rm, a.id + 1000u, 6, &na);
        const uint8_t* pb = HXRGetResource(rm, a.id + 2000u, 6, &nb);
        ASSERT_TRUE(pa && pb);
        ASSERT_EQ(na, a.data.size());
        ASSERT_EQ(na, nb);
        EXPECT_EQ(std::memcmp(pa, pb, na), 0) << a.id;
    }
    ResWriter model = build_model(default_model());
    EXPECT_NE(model.find(kResTypeHalftone, kModelMask16Id + 100), nullptr);
    EXPECT_NE(model.find(kResTypeHalftone, kModelDitherOffsetId + 100), nullptr);
}


// ---- resources laid out byte by byte from their layouts, independently of
// the writers: the writers must produce these bytes, and the parsers and the
// manager must read them.

// Little-endian words, for the all-word UBEC header.
Bytes words(std::initializer_list<uint32_t> ws) {
    Bytes b;
    for (uint32_t w : ws)
        for (int k = 0; k < 4; ++k) b.push_back(uint8_t(w >> (8 * k)));
    return b;
}
Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Plain 12-bit mask, 3 x 2, shift 5 vertical; `at` is the threshold offset.
Bytes hand_plain(uint8_t at) {
    Bytes b = {0, 0, 0, 0, 0xCF, 0xF9, 0x2E, 0x47,  // magic at 4
               3, 3, at, 0,                         // form; threshold offset
               3, 0, 2, 0,                          // W = 3, H = 2
               0xF0, 0x0F, 0, 0,                    // maximum 4080
               0, 0, 1, 4,                          // 12-bit packing
               5, 0, 0, 0};                         // shift 5, vertical, 0
    b.resize(at, 0);
    // Six 12-bit thresholds: 0x001 0x002 0xFF0 0x00F 0xDAB 0xEFC.
    return cat(b, {0x01, 0x20, 0x00, 0xF0, 0xFF, 0x00, 0xAB, 0xCD, 0xEF});
}

// UBEC mask 4 x 4 in 2 x 4 blocks of 8, shifts -2 and 4; the blocks start
// `gap` bytes after the header. Block 0: entry j has order 7 - j and threshold
// 100 (j + 1); block 1: order j and threshold 1000 + j.
Bytes hand_ubec(uint32_t gap) {
    Bytes b = words({0, 0x1E0DCBE7u,  // magic E7 CB 0D 1E at 4
                     2, 72 + gap,      // version; offset of the blocks
                     8, 2, 4, 2,       // block size, bw, bh, block count
                     4, 4, 4080,       // W, H, maximum
                     0, 0,             // 44, 48
                     uint32_t(-2), 4,  // shifts H, V
                     0, 0, gap});      // 60 reserved, 64, 68
    b.resize(72 + gap, 0);
    for (uint32_t j = 0; j < 8; ++j) b = cat(b, {uint8_t(100 * (j + 1)), uint8_t((7 - j) << 4 | (100 * (j + 1)) >> 8)});
    for (uint32_t j = 0; j < 8; ++j) b = cat(b, {uint8_t(0xE8 + j), uint8_t(j << 4 | 0x03)});
    return b;
}

TEST_F(Dither, WritersLayTheDocumentedBytes) {
    EXPECT_EQ(write_plain_mask({3, 2, 12, 5, 0, {0x001, 0x002, 0xFF0, 0x00F, 0xDAB, 0xEFC}}), hand_plain(32));
    UbecMaskSpec u;
    u.block_size = 8, u.block_w = 2, u.block_h = 4, u.width = 4, u.height = 4, u.shift_h = -2, u.shift_v = 4;
    for (uint16_t j = 0; j < 8; ++j) u.entries.push_back(uint16_t((7 - j) << 12 | 100 * (j + 1)));
    for (uint16_t j = 0; j < 8; ++j) u.entries.push_back(uint16_t(j << 12 | (1000 + j)));
    EXPECT_EQ(write_ubec_mask(u), hand_ubec(0));
    DitherSwitchSpec sw;
    sw.form = 2;
    sw.areas = {{10, 11}, {12, 13}};
    EXPECT_EQ(write_dither_switch(sw), Bytes({0, 0, 0, 0, 0xFC, 0xF9, 0x2E, 0xB8, 2, 2, 2, 0, 0, 0, 0, 0,  //
                                              24, 0, 0, 0, 28, 0, 0, 0, 10, 0, 11, 0, 12, 0, 13, 0}));
    sw.form = 1;
    sw.areas = {{0x1234}};
    EXPECT_EQ(write_dither_switch(sw),
              Bytes({0, 0, 0, 0, 0xFC, 0xF9, 0x2E, 0xB8, 1, 1, 1, 0, 0, 0, 0, 0, 0x34, 0x12}));
    EXPECT_EQ(write_dither_offset({{2, 1, 5, 1, 2, 0}}),
              cat(words({0, 0xFF0DCBE7u, 1, 20, 1}), {2, 1, 5, 1, 2, 0}));
}

TEST_F(DitherMgr, HandLaidResourcesRead) {
    // Form 2, one ink; the area table points backwards: area 0 at 26, area 1 at 24.
    svc.add_resource(930, {0, 0, 0, 0, 0xFC, 0xF9, 0x2E, 0xB8, 2, 1, 2, 0, 0, 0, 0, 0,  //
                           26, 0, 0, 0, 24, 0, 0, 0, 0xA3, 0x03, 0xA4, 0x03});  // 931 at 24, 932 at 26
    svc.add_resource(931, hand_plain(28));
    svc.add_resource(932, hand_ubec(8));
    // Offset entries after a 4-byte gap: {3, 2, 1} across, {1, 3, 7} down.
    svc.add_resource(933, cat(words({0, 0xFF0DCBE7u, 1, 24, 1, 0}), {3, 2, 1, 1, 3, 7}));
    ASSERT_NE(make(0, 930, 933), nullptr);
    EXPECT_EQ(error(), 0u);
    ASSERT_EQ(HXRGetDthResAreaNum(d), 2u);

    // Area 1: the plain mask.
    const uint32_t plain[2][3] = {{0x001, 0x002, 0xFF0}, {0x00F, 0xDAB, 0xEFC}};
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(HXRGetDthResMgrThresh(d, 1, 0, x, y), plain[y][x]);
    EXPECT_EQ(HXRGetDthResMgrThresh(d, 1, 0, 3, 0), kHxrNoValue);  // plain masks do not repeat
    EXPECT_EQ(HXRGetDthResMgrShiftV(d, 1, 0), 5u);
    EXPECT_EQ(HXRGetDthResMgrShiftH(d, 1, 0), 0u);
    EXPECT_EQ(HXRGetDthResMgrOffsetH(d, 1, 0), 5u);  // 3 * 3 / 2 + 1
    EXPECT_EQ(HXRGetDthResMgrOffsetV(d, 1, 0), 7u);  // 2 * 1 / 3 + 7
    uint32_t order = 0;
    // The 3 x 2 block sorted: 001 002 00F DAB EFC FF0; position 2 held FF0 (rank 5).
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 1, 0, 0, 2, 3, 2, &order), 0x00Fu);
    EXPECT_EQ(order, 5u);

    // Area 0: the UBEC mask.
    EXPECT_EQ(HXRGetDthResMgrSizeH(d, 0, 0), 4u);
    EXPECT_EQ(HXRGetDthResMgrShiftH(d, 0, 0), uint32_t(-2));
    EXPECT_EQ(HXRGetDthResMgrShiftV(d, 0, 0), 4u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockNum(d, 0, 0), 2u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockNumH(d, 0, 0), 2u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockNumV(d, 0, 0), 1u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockSize(d, 0, 0), 8u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockSizeH(d, 0, 0), 2u);
    EXPECT_EQ(HXRGetDthResMgrUBECBlockSizeV(d, 0, 0), 4u);
    EXPECT_EQ(HXRGetDthResMgrOffsetH(d, 0, 0), 7u);  // 4 * 3 / 2 + 1
    EXPECT_EQ(HXRGetDthResMgrOffsetV(d, 0, 0), 8u);  // 4 * 1 / 3 + 7
    const struct {
        uint32_t x, y, want;
    } px[] = {
        {0, 0, 800},   // block 0, position 0 names entry 7
        {1, 0, 700},   // position 1 names entry 6
        {0, 1, 600},   // position 2 names entry 5
        {1, 3, 100},   // position 7 names entry 0
        {2, 0, 1000},  // block 1, position 0 names entry 0
        {3, 2, 1005},  // block 1, position 5
        {4, 0, 800},   // repeats across
        {0, 4, 800},   // and down
        {6, 5, 1002},  // block 1, position 2
    };
    for (const auto& p : px) EXPECT_EQ(HXRGetDthResMgrThresh(d, 0, 0, p.x, p.y), p.want) << p.x << "," << p.y;
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 0, 0, 1, 3, 2, 4, &order), 1003u);
    EXPECT_EQ(order, 3u);
    EXPECT_EQ(HXRGetDthResMgrUBECThresh(d, 0, 0, 0, 3, 2, 4, &order), 400u);
    EXPECT_EQ(order, 4u);
}


// Random bytes written over the headers: whatever parses must answer every
// lookup from inside its resource (the buffers are exactly the resource's size).
TEST_F(Dither, MutatedHeadersStayInsideTheResource) {
    std::mt19937 rng(11);
    const Bytes all[] = {hand_plain(28), hand_ubec(8), plain16(), ubec16(), switch2(), offsets()};
    for (int round = 0; round < 3000; ++round) {
        Bytes b = all[size_t(round) % std::size(all)];
        const size_t span = std::min<size_t>(b.size() - 8, 64);
        for (int k = 0, n = 1 + int(rng() % 3); k < n; ++k) b[8 + rng() % span] = uint8_t(rng());
        if (HXRDthResParser* m = parse<HXRDthResParser>(HXRCreateDthResParser, b)) {
            for (uint32_t y = 0; y < std::min(HXRGetDthSizeV(m), 40u); ++y)
                for (uint32_t x = 0; x < std::min(HXRGetDthSizeH(m), 40u); ++x) HXRGetDthThresh(m, x, y);
            const uint32_t blocks = HXRGetDthUBECBlockNum(m);
            for (uint32_t blk = 0; blocks != kHxrNoValue && blk < std::min(blocks, 64u); ++blk)
                for (uint32_t j = 0; j < 16; ++j) HXRGetDthUBECThresh(m, blk, j);
            HXRDeleteDthResParser(m, mm);
        }
        if (HXRDthSwcResParser* sw = parse<HXRDthSwcResParser>(HXRCreateDthSwcResParser, b)) {
            for (uint32_t a = 0; a < 7; ++a)
                for (uint32_t k = 0; k < 13; ++k) HXRGetDthResNo(sw, a, k);
            HXRDeleteDthSwcResParser(sw, mm);
        }
        if (HXRDthOffResParser* o = parse<HXRDthOffResParser>(HXRCreateDthOffResParser, b)) {
            for (uint32_t k = 0; k < 13; ++k) HXRGetDthOffsetH(o, 0, k, 64), HXRGetDthOffsetV(o, 0, k, 64);
            HXRDeleteDthOffResParser(o, mm);
        }
        held_.clear();
    }
}

}  // namespace
