#include "hxr/control/hxr_cfg.h"
#include "support/hxr_fixture.h"
#include "support/model_cfg.h"
#include "support/resource_cuts.h"

#include <vector>

namespace {

using namespace ovcg_test;

class CfgResource : public HxrTest {
protected:
    void SetUp() override {
        HxrTest::SetUp();
        recipe = model_cfg(default_model());
    }
    HXRCfgResParser* parse_at(const uint8_t* p, uint32_t n) {
        return HXRCreateCfgResParser(p, n, svc.table()->StrNCmp, mm);
    }
    HXRCfgResParser* parse(const Bytes& b) {
        const GuardedCopy& g = copies.hold(b);
        return parse_at(g.data(), g.size());
    }
    const uint8_t* base() const { return copies.last().data(); }
    std::vector<uint16_t> offsets(const uint8_t* block, uint32_t ink, uint32_t dot, uint32_t value_size,
                                  const HXRClrMgr* clr) {
        const HXRCorrectOffset r = HXRGetCorrectOffset(block, ink, dot, value_size, clr);
        EXPECT_LE(r.count, 4u);
        return std::vector<uint16_t>(r.values, r.values + r.count);
    }
    CfgSpec recipe;
    GuardedCopies copies;
};

TEST_F(CfgResource, ModesAreFoundByKeysAndNames) {
    CfgLayout l;
    HXRCfgResParser* p = parse(write_cfg(recipe, &l));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(HXRGetIdPosSize(p), 2u);
    // Block 0 needs ink-set name "0" and the last Micro name for ink set 1 and
    // output bits 2; blocks 1.. are the catch-alls of ink sets 0, 1, 3 by bits 1, 2.
    const struct {
        uint32_t key1, key2;
        const char *ink_set, *micro;
        int block;  // -1: none
    } cases[] = {
        {1, 2, "0", "MW3", 0},  {1, 2, "0", "MW33", 0}, {1, 2, "0", "MW2", 4}, {1, 2, "7", "MW3", 4},
        {1, 2, "0", "MW", 4},   {1, 2, nullptr, nullptr, 4}, {0, 1, "0", "MW1", 1}, {0, 2, "x", "y", 2},
        {3, 1, "0", "MW1", 5},  {3, 2, "0", "MW3", 6}, {5, 1, "0", "MW1", -1}, {1, 3, "0", "MW1", -1},
        {257, 2, "0", "MW3", -1},
    };
    const HXRStrNCmpFn cmp = svc.table()->StrNCmp;
    for (const auto& c : cases) {
        const uint8_t* got = HXRSearchCorrectMode(p, c.key1, c.key2, c.ink_set, c.micro, cmp);
        EXPECT_EQ(got, c.block < 0 ? nullptr : base() + l.blocks[size_t(c.block)])
            << c.key1 << "/" << c.key2 << " " << (c.micro ? c.micro : "-");
    }
    EXPECT_EQ(HXRSearchCorrectMode(nullptr, 1, 2, "0", "MW3", cmp), nullptr);
    EXPECT_EQ(HXRSearchCorrectMode(p, 1, 2, "0", "MW3", nullptr), nullptr);
    EXPECT_EQ(HXRDeleteCfgResParser(p, mm), 0u);
    EXPECT_EQ(HXRDeleteCfgResParser(nullptr, mm), kHxrCfgNone);
    expect_error(kHxrCfgNone);
    EXPECT_EQ(HXRGetIdPosSize(nullptr), 0xFFFFFFFFu);
}

TEST_F(CfgResource, OffsetsFollowTheDitherOffsetOrder) {
    for (uint16_t version : {uint16_t(3), uint16_t(2)}) {
        recipe.version = version;
        CfgLayout l;
        HXRCfgResParser* p = parse(write_cfg(recipe, &l));
        ASSERT_NE(p, nullptr);
        const uint32_t size = HXRGetIdPosSize(p);
        // Ink set 1 with 3 dots takes dither offsets in the order K, C, M, Y:
        // K the entries 0..2, C 3..5, M 6..8, Y 9..11 (block 0).
        HXRClrMgr* cmyk = HXRCreateClrMgr(1, 2, 0, mm);
        const struct {
            uint32_t code, first;
        } inks[] = {{0, 0}, {1, 3}, {2, 6}, {3, 9}};
        for (const auto& ink : inks)
            for (uint32_t dot = 0; dot < 3; ++dot)
                EXPECT_EQ(offsets(base() + l.blocks[0], ink.code, dot, size, cmyk), model_cfg_values(0, ink.first + dot))
                    << version << ": ink " << ink.code << " dot " << dot;
        // Ink set 3: then the light inks, 12..14 and 15..17 (block 6).
        HXRClrMgr* six = HXRCreateClrMgr(3, 2, 0, mm);
        EXPECT_EQ(offsets(base() + l.blocks[6], 5, 1, size, six), model_cfg_values(6, 16));
        EXPECT_EQ(offsets(base() + l.blocks[6], 0, 2, size, six), model_cfg_values(6, 2));
        // Nothing for a dot beyond the ink's, an ink not in the set, a bad value size.
        EXPECT_TRUE(offsets(base() + l.blocks[0], 1, 3, size, cmyk).empty());
        EXPECT_TRUE(offsets(base() + l.blocks[0], 4, 0, size, cmyk).empty());
        EXPECT_TRUE(offsets(base() + l.blocks[0], 1, 0, 3, cmyk).empty());
        EXPECT_TRUE(offsets(nullptr, 1, 0, size, cmyk).empty());
        EXPECT_TRUE(offsets(base() + l.blocks[0], 1, 0, size, nullptr).empty());
        EXPECT_EQ(error(), 0u);
        // Block 1 has a single entry (ink set 0, one dot): C's index 1 is beyond it.
        HXRClrMgr* cmyk1 = HXRCreateClrMgr(1, 1, 0, mm);
        EXPECT_TRUE(offsets(base() + l.blocks[1], 1, 0, size, cmyk1).empty());
        expect_error(kHxrCfgBadEntry);
        HXRDeleteClrMgr(cmyk, mm);
        HXRDeleteClrMgr(six, mm);
        HXRDeleteClrMgr(cmyk1, mm);
        HXRDeleteCfgResParser(p, mm);
    }
}

TEST_F(CfgResource, WidthsOutsideOneToFourAreRefusedOnLookUp) {
    for (uint8_t width : {uint8_t(0), uint8_t(5), uint8_t(200)}) {
        CfgSpec s = recipe;
        s.blocks[1].width = width;
        s.blocks[1].entries.assign(s.blocks[1].entries.size(), std::vector<uint16_t>(width, 1));
        CfgLayout l;
        HXRCfgResParser* p = parse(write_cfg(s, &l));
        ASSERT_NE(p, nullptr) << int(width);
        HXRClrMgr* mono = HXRCreateClrMgr(0, 1, 0, mm);
        EXPECT_TRUE(offsets(base() + l.blocks[1], 0, 0, 2, mono).empty());
        expect_error(kHxrCfgBadWidth);
        HXRDeleteClrMgr(mono, mm);
        HXRDeleteCfgResParser(p, mm);
    }
}

TEST_F(CfgResource, OneFieldBrokenAtATime) {
    CfgLayout l;
    const Bytes b = write_cfg(recipe, &l);
    CfgSpec dup_a = recipe, dup_b = recipe, dup_mode = recipe, blank = recipe;
    dup_a.list_a.push_back({"0", 9});
    dup_b.list_b.push_back({"MW2", 9});
    dup_mode.modes.push_back(recipe.modes[3]);
    dup_mode.modes.back().block = 0;
    blank.list_a.push_back({"00", 2});  // the same first character is no duplicate
    const size_t last_mode = l.modes + 1 + 8 * (recipe.modes.size() - 1);
    const struct {
        const char* name;
        Bytes res;
        uint32_t code;
    } cases[] = {
        {"magic", patched(b, {{2, '>', 1}}), kHxrCfgBadMagic},
        {"too short for the magic", Bytes(b.begin(), b.begin() + 3), kHxrCfgBadMagic},
        {"version 1", patched(b, {{8, 1, 2}}), kHxrCfgBadVersion},
        {"version 4", patched(b, {{8, 4, 2}}), kHxrCfgBadVersion},
        {"header cut", Bytes(b.begin(), b.begin() + 27), kHxrCfgBlockSize},
        {"name twice in list A", write_cfg(dup_a), kHxrCfgDupNameA},
        {"name twice in list B", write_cfg(dup_b), kHxrCfgDupNameB},
        {"mode twice", write_cfg(dup_mode), kHxrCfgDupMode},
        {"list A past the end", patched(b, {{16, uint32_t(b.size()), 4}}), kHxrCfgBlockSize},
        {"list B negative", patched(b, {{20, 0xFFFFFFFFu, 4}}), kHxrCfgBlockSize},
        {"name past the end", patched(b, {{l.list_b + 1, 0xFF, 1}, {20, uint32_t(b.size() - 40), 4}}), kHxrCfgBlockSize},
        {"mode list past the end", patched(b, {{l.modes, 250, 1}}), kHxrCfgBlockSize},
        {"block past the end", patched(b, {{last_mode + 4, uint32_t(b.size() - 1), 4}}), kHxrCfgBlockSize},
        {"block values past the end", patched(b, {{l.blocks.back(), 250, 1}}), kHxrCfgBlockSize},
        {"block negative", patched(b, {{last_mode + 4, 0x80000000u, 4}}), kHxrCfgBlockSize},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        EXPECT_EQ(parse(c.res), nullptr) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
    }
    HXRSetErrorInfo(0);
    HXRCfgResParser* p = parse(write_cfg(blank));
    EXPECT_NE(p, nullptr);
    HXRDeleteCfgResParser(p, mm);
}

TEST_F(CfgResource, EveryTruncationIsRefused) {
    for (uint16_t version : {uint16_t(2), uint16_t(3)}) {
        recipe.version = version;
        const Bytes b = write_cfg(recipe);
        for_each_prefix(b, [&](const uint8_t* data, uint32_t n) {
            HXRCfgResParser* p = parse_at(data, n);
            EXPECT_EQ(p, nullptr) << n;
            if (p) HXRDeleteCfgResParser(p, mm);
        });
    }
    HXRSetErrorInfo(0);
}

}  // namespace
