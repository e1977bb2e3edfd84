// Data shift (the identity every object holds) and the 64-bit dot counter.
#include "hxr/binarize/hxr_data_shift.h"
#include "support/hxr_fixture.h"

#include <cstring>

namespace {

class DataShift : public HxrTest {};

TEST_F(DataShift, IdentityAnswersEveryLine) {
    HXRDataShift* d = HXRCreateDataShift(nullptr, nullptr, mm);
    ASSERT_NE(d, nullptr);
    // The built-in entry: nozzle 0 and 0xFFFF, rates 255 and 0.
    const uint8_t identity[6] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(0, std::memcmp(d->identityEntry, identity, 6));
    EXPECT_EQ(d->table, d->identityEntry);
    for (int32_t line : {0, 77, 0x7FFFFFFF})
        for (uint32_t order : {0u, 5u, 11u}) {
            EXPECT_EQ(HXRGetUseHeadNum(d, line, order), 1u);
            EXPECT_EQ(HXRGetUseSmlRate(d, line, order, 0), 255u);
            EXPECT_EQ(HXRGetUseNozzleNumber(d, line, order, 0), line);  // entry size 0: the line
            EXPECT_EQ(HXRGetUseSmlRate(d, line, order, 1), 0u);
            EXPECT_EQ(HXRGetUseNozzleNumber(d, line, order, 1), -1);
        }
    EXPECT_EQ(HXRIsDataShiftCorrection(d), 0);
    EXPECT_EQ(HXRDataShiftGetCorrection(d, 0x7FFFFFFF), 0u);
    EXPECT_EQ(HXRDataShiftGetCorrection(d, -1), 1u);
    EXPECT_EQ(HXRDataShiftGetCorrection(nullptr, 0), 1u);
    EXPECT_EQ(error(), 0u);
}

TEST_F(DataShift, RefusedLookupsAnswerNeutralValues) {
    HXRDataShift* d = HXRCreateDataShift(nullptr, nullptr, mm);
    ASSERT_NE(d, nullptr);
    struct Case {
        const HXRDataShift* d;
        int32_t line;
        uint32_t order, head;
        uint32_t code;  // recorded
    };
    const Case cases[] = {
        {nullptr, 0, 0, 0, 0},
        {d, -1, 0, 0, kHxrDataShiftLine},
        {d, INT32_MIN, 0, 0, kHxrDataShiftLine},
        {d, 3, 12, 0, 0},           // colour order past the table
        {d, 3, 0xFFFFFFFF, 0, 0},   // an absent colour's order
        {d, 3, 0, 2, 0},            // head past the two a line can have
    };
    for (const Case& c : cases) {
        if (c.head == 0) {
            EXPECT_EQ(HXRGetUseHeadNum(c.d, c.line, c.order), 0u);
            expect_error(c.code);
        }
        EXPECT_EQ(HXRGetUseSmlRate(c.d, c.line, c.order, c.head), 0u);
        expect_error(c.code);
        EXPECT_EQ(HXRGetUseNozzleNumber(c.d, c.line, c.order, c.head), -1);
        expect_error(c.code);
    }
}

TEST_F(DataShift, SourcesAndCorrectionStates) {
    int p = 0, q = 0;
    const HXRDataShiftSource first_only{&p, nullptr}, second_only{nullptr, &q}, both{&p, &q};
    HXRDataShift* d = HXRCreateDataShift(&first_only, nullptr, mm);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(HXRSetDataShiftDataShift(d, &second_only, nullptr), 0u);
    EXPECT_EQ(HXRCreateDataShift(&both, nullptr, mm), nullptr);
    d->lastLine = 5;  // not the identity any more
    EXPECT_EQ(HXRSetDataShiftDataShift(d, &both, nullptr), 1u);
    EXPECT_EQ(d->lastLine, 5);  // unchanged
    EXPECT_EQ(HXRSetDataShiftDataShift(nullptr, nullptr, nullptr), 1u);
    EXPECT_EQ(HXRIsDataShiftCorrection(d), 1);
    EXPECT_EQ(HXRDataShiftGetCorrection(d, 6), 1u);
    EXPECT_EQ(HXRGetUseHeadNum(d, 6, 0), 0u);
    expect_error(kHxrDataShiftLine);

    struct Case {
        void (*mutate)(HXRDataShift*);
        int32_t answer;
        uint32_t code;
    };
    const Case cases[] = {
        {[](HXRDataShift*) {}, 0, 0},
        {[](HXRDataShift* s) { s->identityEntry[5] = 1; }, 1, 0},
        {[](HXRDataShift* s) { s->identityEntry[4] = 0xFE; }, 1, 0},
        {[](HXRDataShift* s) { s->lineStride = 1; }, 1, 0},
        {[](HXRDataShift* s) { s->entrySize = 6; }, 1, 0},
        {[](HXRDataShift* s) { s->lastLine = -1; }, -1, kHxrDataShiftLine},
        {[](HXRDataShift* s) { s->table = nullptr; }, -1, 0},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(HXRSetDataShiftDataShift(d, nullptr, nullptr), 0u);
        c.mutate(d);
        EXPECT_EQ(HXRIsDataShiftCorrection(d), c.answer);
        expect_error(c.code);
    }
    EXPECT_EQ(HXRIsDataShiftCorrection(nullptr), -1);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateDataShift(nullptr, nullptr, mm), nullptr);
}

TEST_F(DataShift, DotCounterCarriesIntoSixtyFourBits) {
    HXRCountDot* c = HXRCreateCountDot(mm);
    ASSERT_NE(c, nullptr);
    const uint32_t one[6] = {1, 0, 0, 0, 0, 7};
    const uint32_t big[6] = {0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0, 0};
    EXPECT_EQ(HXRAddDotCounter(c, one, 11), 0u);
    EXPECT_EQ(HXRAddDotCounter(c, big, 11), 0u);
    EXPECT_EQ(HXRAddDotCounter(c, big, 11), 0u);
    uint64_t out[6] = {};
    EXPECT_EQ(HXRGetDotCounter(c, out, 11), 0u);
    EXPECT_EQ(out[0], 0x1FFFFFFFFull);  // 1 + 2 x 0xFFFFFFFF
    EXPECT_EQ(out[1], 0x1FFFFFFFEull);
    EXPECT_EQ(out[5], 7u);
    // Index 12, null arrays and a null counter add nothing.
    EXPECT_EQ(HXRAddDotCounter(c, one, 12), 1u);
    EXPECT_EQ(HXRAddDotCounter(c, nullptr, 0), 1u);
    EXPECT_EQ(HXRAddDotCounter(nullptr, one, 0), 1u);
    EXPECT_EQ(HXRGetDotCounter(c, out, 12), 1u);
    EXPECT_EQ(HXRGetDotCounter(c, nullptr, 0), 1u);
    EXPECT_EQ(HXRGetDotCounter(nullptr, out, 0), 1u);
    for (uint32_t k = 0; k < 11; ++k) {
        ASSERT_EQ(HXRGetDotCounter(c, out, k), 0u);
        for (uint64_t v : out) EXPECT_EQ(v, 0u);
    }
    EXPECT_EQ(HXRClearDotCounter(c), 0u);
    EXPECT_EQ(HXRGetDotCounter(c, out, 11), 0u);
    EXPECT_EQ(out[0] | out[1] | out[5], 0u);
    EXPECT_EQ(HXRClearDotCounter(nullptr), 1u);
}

}  // namespace
