// The correction-ID list of a printer-identifier blob: both forms, every
// blob also one byte short, and the queries.
#include "hxr/binarize/hxr_crct_id.h"
#include "support/hxr_fixture.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

class CrctId : public HxrTest {};

// Each blob is parsed in a buffer of exactly its size, then again one byte
// short.
TEST_F(CrctId, CorrectionIdBlobs) {
    struct Case {
        std::vector<uint8_t> blob;
        std::vector<uint8_t> ids;  // expected
        uint32_t code;
        uint32_t short_code;  // one byte short
    };
    const Case cases[] = {
        {{0x20, 0x04, 0x00, 0x0A, 0x0B, 0x0C}, {10, 11, 12}, 0, kHxrCrctIdLength},
        {{0x30, 0x03, 0x00, 0x00, 0x07, 0x08}, {7, 8}, 0, kHxrCrctIdLength},
        {{0x20, 0x02, 0xEE, 0x00}, {0}, 0, kHxrCrctIdLength},
        {{0x30, 0x02, 0x00, 0xEE, 0xFF}, {255}, 0, kHxrCrctIdLength},
        {{0x20, 0x01}, {}, kHxrCrctIdLength, kHxrCrctIdLength},
        {{0x20, 0x00, 0x00, 0x00}, {}, kHxrCrctIdLength, kHxrCrctIdLength},
        {{0x30, 0x01, 0x00, 0x00}, {}, kHxrCrctIdLength, kHxrCrctIdLength},
        {{0x30, 0x00, 0x00}, {}, kHxrCrctIdLength, kHxrCrctIdLength},
        {{0x41, 0x04, 0x00, 0x0A, 0x0B, 0x0C}, {}, 0, 0},  // not a form: empty, no error
        {{0x20}, {}, kHxrCrctIdLength, kHxrCrctIdLength},  // short of its length; then empty
        // A length of 0x0104 that the blob does not hold.
        {{0x30, 0x04, 0x01, 0x00, 0x01, 0x02}, {}, kHxrCrctIdLength, kHxrCrctIdLength},
    };
    for (const Case& c : cases) {
        for (int cut = 0; cut < 2; ++cut) {
            const size_t n = c.blob.size() - size_t(cut);
            auto buf = std::make_unique<uint8_t[]>(n ? n : 1);
            std::copy(c.blob.begin(), c.blob.begin() + ptrdiff_t(n), buf.get());
            const HXRCrctIdList l = HXRCreateCrctIdParser(buf.get(), uint32_t(n));
            const bool full = cut == 0;
            const size_t count = full ? c.ids.size() : 0;
            ASSERT_EQ(l.idNum, int32_t(count)) << int(c.blob[0]) << " cut " << cut;
            EXPECT_EQ(l.ids == nullptr, count == 0);
            for (size_t i = 0; i < count; ++i) EXPECT_EQ(HXRGetCrctId(&l, int32_t(i)), c.ids[i]);
            EXPECT_EQ(HXRGetCrctId(&l, int32_t(count)), -1);
            expect_error(full ? c.code : c.short_code);
        }
    }
    EXPECT_EQ(HXRCreateCrctIdParser(nullptr, 10).idNum, 0);
    expect_error(0);
}

TEST_F(CrctId, CorrectionIdQueries) {
    const uint8_t zeros[3] = {0, 0, 0}, last_one[3] = {0, 0, 1};
    const HXRCrctIdList all_zero{3, zeros}, one_set{3, last_one}, empty{0, nullptr};
    EXPECT_EQ(HXRIsCrctIdAllZero(&all_zero), 1);
    EXPECT_EQ(HXRIsCrctIdAllZero(&one_set), 0);
    EXPECT_EQ(HXRIsCrctIdAllZero(&empty), 1);
    EXPECT_EQ(HXRIsCrctIdAllZero(nullptr), -1);
    EXPECT_EQ(HXRGetCrctId(&one_set, 2), 1);
    EXPECT_EQ(HXRGetCrctId(&one_set, -1), -1);
    EXPECT_EQ(HXRGetCrctId(&one_set, 3), -1);
    EXPECT_EQ(HXRGetCrctId(nullptr, 0), -1);
}

}  // namespace
