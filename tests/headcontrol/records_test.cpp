#include "headcontrol/records.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace ovcg::irac {
namespace {

// The records the print job engine fills keep the sizes it exports them with.
static_assert(sizeof(IRACS_IDENTIFIER) == 16);
static_assert(offsetof(IRACS_IDENTIFIER, sub_mode) == 4);
static_assert(offsetof(IRACS_IDENTIFIER, kind) == 8);
static_assert(offsetof(IRACS_IDENTIFIER, sub_kind) == 10);
static_assert(offsetof(IRACS_IDENTIFIER, long_mode) == 12);
static_assert(sizeof(IRACS_PRINTDATA_INFO) == 12);
static_assert(offsetof(IRACS_PRINTDATA_INFO, color_count) == 8);
static_assert(sizeof(IRACS_OPTION) == 24);
static_assert(offsetof(IRACS_OPTION, pixel_shift) == 8);
static_assert(offsetof(IRACS_OPTION, flags) == 16);
static_assert(sizeof(IRACS_VALUE) == 4);
// The count's low half lies where a 16-bit count would.
static_assert(offsetof(IRACS_RASTERDATA, raster_count) == 12);
static_assert(offsetof(IRACS_RASTERDATA, first_raster) == 16);

TEST(IdentifierPair, KindAndSubKindChooseTheModeNumber) {
    const struct {
        uint16_t kind, sub_kind;
        uint32_t code;
        uint32_t mode_id;  // when code is 0; the short mode 0xF0 is zero-extended
    } cases[] = {
        {0, 0, 0, 0xF0},  {0, 9, 0, 0xF0},  // sub-kind not read for kind 0
        {1, 0, 0, 0xF0},  {1, 3, 0, 0xF0},  {1, 4, 0, 0x12345},
        {1, 5, 0, 0x12345}, {1, 6, 0, 0x12345}, {1, 7, 807, 0},
        {2, 0, 807, 0},   {0xFFFF, 4, 807, 0},
    };
    for (const auto& c : cases) {
        IRACS_IDENTIFIER id{};
        id.mode = 0xF0;
        id.sub_mode = 3;
        id.kind = c.kind;
        id.sub_kind = c.sub_kind;
        id.long_mode = 0x12345;
        IdentifierPair pair{0xDEAD, 0xBEEF};
        EXPECT_EQ(make_identifier_pair(id, &pair), c.code) << c.kind << "/" << c.sub_kind;
        if (c.code == 0) {
            EXPECT_EQ(pair.mode_id, c.mode_id) << c.kind << "/" << c.sub_kind;
            EXPECT_EQ(pair.sub_mode, 3u);
        } else {
            EXPECT_EQ(pair.mode_id, 0xDEADu);  // untouched on refusal
        }
    }
}

TEST(RecordCopies, AddTheFixedFields) {
    const IRACS_PRINTDATA_INFO pd{1234, IRAC_OPEN_PAGE_LENGTH, 6};
    const PrintDataCopy p = copy_print_data(pd);
    EXPECT_EQ(p.raster_width, 1234u);
    EXPECT_EQ(p.page_length, 21543311u);
    EXPECT_EQ(p.color_count, 6);
    EXPECT_EQ(p.layer_count, 1);

    const int8_t shifts[32] = {1, -1};
    const IRACS_OPTION opt{-128, shifts, IRAC_OPT_ENGINE | IRAC_OPT_EARLY_FEED};
    const OptionCopy o = copy_option(opt);
    EXPECT_EQ(o.direction, -128);
    EXPECT_EQ(o.pixel_shift, shifts);
    EXPECT_EQ(o.flags, 0x11u);
    EXPECT_EQ(o.reserved, 0);
    EXPECT_EQ(o.page_flag, 0);
}

TEST(RecordCopies, RasterRunIsRepackedAndOversizedCountsRefused) {
    uint8_t line[4] = {};
    uint8_t* lines[1] = {line};
    const struct {
        uint32_t count;
        bool ok;
    } cases[] = {{0, true}, {1, true}, {0xFFFF, true}, {0x10000, false}, {0x10002, false}};
    for (const auto& c : cases) {
        const IRACS_RASTERDATA in{lines, 4, c.count, 77};
        RasterRun run{nullptr, 9, 9, 9, 9};
        EXPECT_EQ(repack_raster_data(in, &run), c.ok) << c.count;
        if (c.ok) {
            EXPECT_EQ(run.lines, lines);
            EXPECT_EQ(run.line_width, 4u);
            EXPECT_EQ(run.first_raster, 77u);
            EXPECT_EQ(run.raster_count, c.count);
            EXPECT_EQ(run.reserved, 0u);
        }
    }
}

}  // namespace
}  // namespace ovcg::irac
