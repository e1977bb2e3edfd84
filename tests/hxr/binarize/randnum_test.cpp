// The seed formula: hand-worked words for a few numbers, repeatability, and
// the wrap at the top of the range.
#include "hxr/binarize/hxr_randnum.h"
#include "support/hxr_fixture.h"

#include <gtest/gtest.h>

namespace {

class RandNum : public HxrTest {};

TEST_F(RandNum, SeedsByHand) {
    HXRRandNum* r = HXRCreateRandNum(mm);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->w0 | r->w1 | r->w2 | r->w3, 0u);  // zero-filled
    struct Case {
        uint32_t n, seed, w0, w1, w2;
    };
    // s = n + 1 + n/3; w0 = s x 0xC02BB292, w1 = s x 0x18372D95, w2 = (n + 1) x 0x3A439ADF;
    // w3 = ((n/3 + n/9 + 1) x 0xD8417564 | w0 >> 31) ^ (w1 << 1 | w2 >> 31).
    const Case cases[] = {
        {0, 0xE82F2E4F, 0xC02BB292, 0x18372D95, 0x3A439ADF},
        {1, 0xB89DC331, 0x80576524, 0x306E5B2A, 0x748735BE},
        {1031, 0xC5A7A27F, 0, 0, 0},
        {0xFFFFFFFF, 0x3562007A, 0, 0, 0},
    };
    for (const Case& c : cases) {
        // An unrelated number first: nothing carries over.
        HXRGetRandNum(r, 12345);
        EXPECT_EQ(HXRGetRandNum(r, c.n), c.seed) << c.n;
        EXPECT_EQ(r->w3, c.seed);
        if (c.w0 != 0) {
            EXPECT_EQ(r->w0, c.w0);
            EXPECT_EQ(r->w1, c.w1);
            EXPECT_EQ(r->w2, c.w2);
        }
    }
    // n + 1 wraps to 0 at the top, so the third product is 0.
    HXRGetRandNum(r, 0xFFFFFFFF);
    EXPECT_EQ(r->w2, 0u);
    EXPECT_EQ(HXRDeleteRandNum(r, mm), 0u);
}

TEST_F(RandNum, NullState) {
    EXPECT_EQ(HXRGetRandNum(nullptr, 7), 0u);
    EXPECT_EQ(HXRDeleteRandNum(nullptr, mm), kHxrRandNumNone);
    EXPECT_EQ(HXRCreateRandNum(nullptr), nullptr);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateRandNum(mm), nullptr);
}

}  // namespace
