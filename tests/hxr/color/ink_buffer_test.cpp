// The ink buffer descriptor: creation limits, row addressing, the written
// span, vertical expansion and valid flags.
#include "color_test_util.h"

#include "hxr/color/hxr_interm.h"

namespace {

using color_test::ColorTest;

class InkBuffer : public ColorTest {};

TEST_F(InkBuffer, CreationTable) {
    struct Case {
        int32_t inks, width, element;
        uint32_t intent;
        int32_t clear;
        bool made;
        uint32_t rowLength;
    };
    const Case cases[] = {
        {1, 1, 1, 0, -1, true, 8},
        {1, 7, 1, 0, 0, true, 8},
        {1, 8, 1, 0, 0, true, 16},  // always one spare column
        {12, 9, 2, 1, 11, true, 16},
        {4, 100, 1, 1, -1, true, 104},
        {0, 8, 1, 0, -1, false, 0},
        {13, 8, 1, 0, -1, false, 0},  // the record holds twelve inks
        {-1, 8, 1, 0, -1, false, 0},
        {1, 0, 1, 0, -1, false, 0},
        {1, -8, 1, 0, -1, false, 0},
        {1, 8, 0, 0, -1, false, 0},
        {1, 8, 3, 0, -1, false, 0},
        {1, 8, 1, 2, -1, false, 0},
        {4, 8, 1, 0, -2, false, 0},
        {4, 8, 1, 0, 4, false, 0},  // clear position beyond the inks
        {4, 8, 1, 0, 3, true, 16},
        // 0x80000000-element rows: the block would need 2^32 bytes or more.
        {1, 0x7FFFFFFF, 1, 0, -1, false, 0},
        {12, 0x7FFFFFFF, 2, 1, -1, false, 0},
        // The block wraps 32 bits: 2 x 0x10000008 x 12 x 2 = 0x1_8000_0180 bytes.
        {12, 0x10000000, 2, 0, -1, false, 0},
    };
    const uint32_t off[12] = {7, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 9};
    for (const Case& c : cases) {
        const size_t before = svc.allocations();
        HXRIntermediateData* d = HXRCreateIntermediateData(c.inks, c.width, c.element, c.intent, off, c.clear, mm);
        SCOPED_TRACE(testing::Message() << c.inks << " x " << c.width << " e" << c.element << " i" << c.intent << " c"
                                        << c.clear);
        ASSERT_EQ(d != nullptr, c.made);
        if (!d) {
            EXPECT_EQ(svc.allocations(), before);  // refused before anything was allocated
            continue;
        }
        EXPECT_EQ(HXRGet1Color1LinePixelSize(d), c.rowLength);
        EXPECT_EQ(HXRGetInkNum(d), static_cast<uint32_t>(c.inks));
        EXPECT_EQ(HXRGetInkElementSize(d), static_cast<uint32_t>(c.element));
        EXPECT_EQ(HXRGetIntermClearPos(d), c.clear);
        EXPECT_EQ(HXRGetReductionMethod(d), 0u);
        uint32_t start = 9, count = 9;
        EXPECT_EQ(HXRGetWrittenArea(d, &start, &count), 0u);
        EXPECT_EQ(start + count, 0u);
        const uint64_t rowBytes = uint64_t{c.rowLength} * c.element;
        EXPECT_EQ(HXRGetMemSize(mm, d->inkQuantityBuf), rowBytes * (c.inks + c.intent) * 2);
        EXPECT_EQ(d->intentBuf, c.intent ? d->inkQuantityBuf + rowBytes * c.inks * 2 : nullptr);
        for (int32_t i = 0; i < 12; ++i) {
            const bool used = i < c.inks;
            EXPECT_EQ(d->validInput[i][0], used ? 1u : 0u);
            EXPECT_EQ(d->validInput[i][1], used ? 1u : 0u);
            EXPECT_EQ(HXRGetInkDirectInkOffFlag(d, i), used ? off[i] : 0u);
            EXPECT_EQ(d->directInkOff[i], used ? off[i] : 0u);
        }
    }
}

TEST_F(InkBuffer, CreationWithoutFlagsOrMemory) {
    HXRIntermediateData* d = HXRCreateIntermediateData(3, 5, 1, 0, nullptr, -1, mm);
    ASSERT_NE(d, nullptr);
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(HXRGetInkDirectInkOffFlag(d, i), 0u);
    EXPECT_EQ(HXRCreateIntermediateData(1, 8, 1, 0, nullptr, -1, nullptr), nullptr);
    for (long n : {0L, 1L}) {  // record, then row block
        svc.fail_allocation_after(n);
        EXPECT_EQ(HXRCreateIntermediateData(2, 8, 1, 1, nullptr, -1, mm), nullptr) << n;
        svc.fail_allocation_after(-1);
    }
}

TEST_F(InkBuffer, RowAddresses) {
    for (int32_t element : {1, 2}) {
        HXRIntermediateData* d = buffer(3, 13, element);  // rows of 16 elements
        uint8_t* base = d->inkQuantityBuf;
        const size_t row = 16 * static_cast<size_t>(element);
        for (int32_t i = 0; i < 3; ++i) {
            for (uint32_t l = 0; l < 2; ++l) {
                uint8_t* want = base + (2 * i + l) * row;
                if (element == 1) {
                    EXPECT_EQ(HXRGetInkQuantityBuf(d, i, l), want);
                    EXPECT_EQ(HXRGetInkQuantityBuf16(d, i, l), nullptr);
                } else {
                    EXPECT_EQ(reinterpret_cast<uint8_t*>(HXRGetInkQuantityBuf16(d, i, l)), want);
                    EXPECT_EQ(HXRGetInkQuantityBuf(d, i, l), nullptr);
                }
            }
            // With vertical expansion both lines are line 0's row.
            ASSERT_EQ(HXRSetVExpansion(d, 1), 0u);
            if (element == 1) {
                EXPECT_EQ(HXRGetInkQuantityBuf(d, i, 1), HXRGetInkQuantityBuf(d, i, 0));
            }
            ASSERT_EQ(HXRSetVExpansion(d, 0), 0u);
        }
        uint8_t* intent = base + 6 * row;
        EXPECT_EQ(HXRGetIntentBuf(d, 0), intent);
        EXPECT_EQ(HXRGetIntentBuf(d, 1), intent + 16);  // one byte per pixel at any element size
        HXRSetVExpansion(d, 1);
        EXPECT_EQ(HXRGetIntentBuf(d, 1), intent);
        for (auto [ink, line] : {std::pair{-1, 0u}, {3, 0u}, {0, 2u}}) {
            EXPECT_EQ(HXRGetInkQuantityBuf(d, ink, line), nullptr);
            EXPECT_EQ(HXRGetInkQuantityBuf16(d, ink, line), nullptr);
        }
        EXPECT_EQ(HXRGetIntentBuf(d, 2), nullptr);
    }
    HXRIntermediateData* plain = buffer(1, 8, 1, 0);
    EXPECT_EQ(HXRGetIntentBuf(plain, 0), nullptr);
    EXPECT_EQ(HXRGetIntentBuf(plain, 1), nullptr);
}

TEST_F(InkBuffer, SpanBounds) {
    HXRIntermediateData* d = buffer(1, 8);  // rows of 16
    struct Case {
        int32_t start, end;
        uint32_t result;
    };
    const Case cases[] = {{0, 0, 0},  {0, 16, 0}, {3, 9, 0},  {16, 16, 0},       {0, 17, 1},
                          {-1, 4, 1}, {5, 4, 1},  {0, -1, 1}, {INT32_MIN, 0, 1}, {0, INT32_MAX, 1}};
    for (const Case& c : cases) {
        HXRSetWritingArea(d, 2, 5);
        EXPECT_EQ(HXRSetWritingArea(d, c.start, c.end), c.result) << c.start << ".." << c.end;
        uint32_t start = 0, count = 0;
        ASSERT_EQ(HXRGetWrittenArea(d, &start, &count), 0u);
        EXPECT_EQ(start, c.result ? 2u : static_cast<uint32_t>(c.start));
        EXPECT_EQ(count, c.result ? 3u : static_cast<uint32_t>(c.end - c.start));
    }
    uint32_t v = 0;
    EXPECT_EQ(HXRGetWrittenArea(nullptr, &v, &v), 1u);
    EXPECT_EQ(HXRGetWrittenArea(d, nullptr, &v), 1u);
    EXPECT_EQ(HXRGetWrittenArea(d, &v, nullptr), 1u);
    EXPECT_EQ(HXRSetWritingArea(nullptr, 0, 0), 1u);
}

TEST_F(InkBuffer, ValidFlags) {
    HXRIntermediateData* d = buffer(3, 8);
    uint8_t byte = 0;
    const uint8_t* p = &byte;
    struct Case {
        const uint8_t* planes[6];
        int32_t lines;
        uint32_t valid[3][2];
    };
    const Case cases[] = {
        {{p, p, p, p, p, p}, 2, {{1, 1}, {1, 1}, {1, 1}}},
        {{p, nullptr, p, p, p, nullptr}, 2, {{1, 1}, {0, 1}, {1, 0}}},
        {{p, p, nullptr, p, p, p}, 1, {{1, 0}, {1, 0}, {0, 0}}},  // one line: every line-1 row invalid
    };
    for (const Case& c : cases) {
        ASSERT_EQ(HXRSetValidInput(d, c.planes, c.lines), 0u);
        for (int32_t i = 0; i < 3; ++i) {
            for (uint32_t l = 0; l < 2; ++l) {
                EXPECT_EQ(d->validInput[i][l], c.valid[i][l]) << i << "/" << l;
                EXPECT_EQ(HXRGetInkQuantityBuf(d, i, l) != nullptr, c.valid[i][l] == 1) << i << "/" << l;
            }
        }
    }
    // Vertical expansion serves line 1 from line 0's valid row.
    HXRSetVExpansion(d, 1);
    EXPECT_NE(HXRGetInkQuantityBuf(d, 0, 1), nullptr);
    EXPECT_EQ(HXRGetInkQuantityBuf(d, 2, 1), nullptr);
    const HXRIntermediateData before = *d;
    EXPECT_EQ(HXRSetValidInput(d, cases[0].planes, 0), 1u);
    EXPECT_EQ(HXRSetValidInput(d, cases[0].planes, 3), 1u);
    EXPECT_EQ(HXRSetValidInput(d, nullptr, 1), 1u);
    EXPECT_EQ(HXRSetValidInput(nullptr, cases[0].planes, 1), 1u);
    EXPECT_EQ(std::memcmp(&before, d, sizeof before), 0);
}

TEST_F(InkBuffer, SettersAndNullAnswers) {
    HXRIntermediateData* d = buffer(2, 8);
    EXPECT_EQ(HXRSetReductionMethod(d, 1), 0u);
    EXPECT_EQ(HXRSetReductionMethod(d, 2), 1u);
    EXPECT_EQ(HXRSetReductionMethod(d, 0xFFFFFFFF), 1u);  // "not set" keeps the descriptor's own
    EXPECT_EQ(HXRGetReductionMethod(d), 1u);
    EXPECT_EQ(HXRSetVExpansion(d, 2), 1u);
    EXPECT_EQ(d->vExpansion, 0u);
    EXPECT_EQ(HXRGetInkDirectInkOffFlag(d, -1) + HXRGetInkDirectInkOffFlag(d, 2), 0u);
    EXPECT_EQ(HXRSetReductionMethod(nullptr, 0) + HXRSetVExpansion(nullptr, 0), 2u);
    EXPECT_EQ(HXRGetReductionMethod(nullptr) + HXRGet1Color1LinePixelSize(nullptr) + HXRGetInkNum(nullptr) +
                  HXRGetInkDirectInkOffFlag(nullptr, 0),
              0u);
    EXPECT_EQ(HXRGetInkElementSize(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetIntermClearPos(nullptr), 0);
    EXPECT_EQ(HXRGetInkQuantityBuf(nullptr, 0, 0), nullptr);
    EXPECT_EQ(HXRGetInkQuantityBuf16(nullptr, 0, 0), nullptr);
    EXPECT_EQ(HXRGetIntentBuf(nullptr, 0), nullptr);
}

}  // namespace
