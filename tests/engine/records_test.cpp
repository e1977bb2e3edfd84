#include "engine/records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "record_upgrade_check.h"
#include "support/guard_page.h"

namespace {

using ovcg::ClampClipToBand;
using ovcg::SplitSourceFormat;
using ovcg_test::BytesOf;
using ovcg_test::CheckEveryVersion;
using ovcg_test::Field;
using ovcg_test::GuardedBytes;

// ---- Per field, the version that added it -----------------------------------

#define FIELD RECORD_FIELD

const std::vector<Field> kJobRecordFields = {
    FIELD(tagPRTSTRUCT3_12, src_format, 1), FIELD(tagPRTSTRUCT3_12, prt_format, 1),
    FIELD(tagPRTSTRUCT3_12, src_resolution, 1), FIELD(tagPRTSTRUCT3_12, prt_resolution, 1),
    FIELD(tagPRTSTRUCT3_12, src_paper_size, 1), FIELD(tagPRTSTRUCT3_12, src_print_area, 1),
    FIELD(tagPRTSTRUCT3_12, src_print_area_ex, 1), FIELD(tagPRTSTRUCT3_12, src_margin, 1),
    FIELD(tagPRTSTRUCT3_12, media_type, 1), FIELD(tagPRTSTRUCT3_12, bit_p_color, 1),
    FIELD(tagPRTSTRUCT3_12, num_copy, 1), FIELD(tagPRTSTRUCT3_12, mw_type, 1),
    FIELD(tagPRTSTRUCT3_12, ex_option, 1), FIELD(tagPRTSTRUCT3_12, printer_ID, 1),
    FIELD(tagPRTSTRUCT3_12, bin_ID, 1), FIELD(tagPRTSTRUCT3_12, paper_ID, 1),
    FIELD(tagPRTSTRUCT3_12, head_ID, 1), FIELD(tagPRTSTRUCT3_12, lpRemoteCmd, 2),
    FIELD(tagPRTSTRUCT3_12, lut_format, 3), FIELD(tagPRTSTRUCT3_12, lpCutCmdData, 3),
    FIELD(tagPRTSTRUCT3_12, trim_left_margin, 4), FIELD(tagPRTSTRUCT3_12, lpSBString, 4),
    FIELD(tagPRTSTRUCT3_12, lpMediaOpt, 4), FIELD(tagPRTSTRUCT3_12, lpJobData, 4),
    FIELD(tagPRTSTRUCT3_12, lpTrimInfo, 5), FIELD(tagPRTSTRUCT3_12, out_tray_ID, 6),
    FIELD(tagPRTSTRUCT3_12, lpHeadInfo, 7), FIELD(tagPRTSTRUCT3_12, ex_option2, 7),
    FIELD(tagPRTSTRUCT3_12, lpszHMM_File, 8), FIELD(tagPRTSTRUCT3_12, lpBRSData, 9),
    FIELD(tagPRTSTRUCT3_12, lpInkInfo_Tbl, 10), FIELD(tagPRTSTRUCT3_12, lpCheckFunc, 11),
    FIELD(tagPRTSTRUCT3_12, lpIsv, 11), FIELD(tagPRTSTRUCT3_12, quality_type, 12),
};

const std::vector<Field> kHalftoneRecordFields = {
    FIELD(tagHTSTRUCT3_5, color_correction, 1), FIELD(tagHTSTRUCT3_5, doRotation, 1),
    FIELD(tagHTSTRUCT3_5, halftone_type, 1), FIELD(tagHTSTRUCT3_5, brightness, 1),
    FIELD(tagHTSTRUCT3_5, contrast, 1), FIELD(tagHTSTRUCT3_5, saturation, 1),
    FIELD(tagHTSTRUCT3_5, r_strength, 1), FIELD(tagHTSTRUCT3_5, g_strength, 1),
    FIELD(tagHTSTRUCT3_5, b_strength, 1), FIELD(tagHTSTRUCT3_5, gamma, 1),
    FIELD(tagHTSTRUCT3_5, OsCMM, 1), FIELD(tagHTSTRUCT3_5, lpID_Tbl, 1),
    FIELD(tagHTSTRUCT3_5, lpCalibratePro, 1), FIELD(tagHTSTRUCT3_5, lpIwf_Tbl, 2),
    FIELD(tagHTSTRUCT3_5, lpSMBidx_Tbl, 3), FIELD(tagHTSTRUCT3_5, lpSMBCalibrate_Tbl, 3),
    FIELD(tagHTSTRUCT3_5, lpTNMX_params, 3), FIELD(tagHTSTRUCT3_5, page_option, 4),
    FIELD(tagHTSTRUCT3_5, remaining_pages, 5),
};

const std::vector<Field> kJobDataFields = {
    FIELD(tagJOBDATA_6, lpInkSetData, 1), FIELD(tagJOBDATA_6, NumInkSetData, 1),
    FIELD(tagJOBDATA_6, lpszOwnerName, 1), FIELD(tagJOBDATA_6, OwnerNameSize, 1),
    FIELD(tagJOBDATA_6, lpszDocName, 1), FIELD(tagJOBDATA_6, DocNameSize, 1),
    FIELD(tagJOBDATA_6, lpszHostName, 2), FIELD(tagJOBDATA_6, HostNameSize, 2),
    FIELD(tagJOBDATA_6, HostNameType, 2), FIELD(tagJOBDATA_6, dwJobID, 2),
    FIELD(tagJOBDATA_6, lpszVenderInfo, 3), FIELD(tagJOBDATA_6, VenderInfoSize, 3),
    FIELD(tagJOBDATA_6, lpszOsVerInfo, 3), FIELD(tagJOBDATA_6, OsVerInfoSize, 3),
    FIELD(tagJOBDATA_6, lpszMediaInfo, 4), FIELD(tagJOBDATA_6, MediaInfoSize, 4),
    FIELD(tagJOBDATA_6, lpHDDOption, 5), FIELD(tagJOBDATA_6, NumHDDOption, 5),
    FIELD(tagJOBDATA_6, DisablePrinterErrorCheck, 6),
};

#undef FIELD

// The defaults each record gives the fields its version lacks.
void JobRecordDefaults(tagPRTSTRUCT3_12& e, uint16_t v) {
    if (v < 3) e.lut_format = e.prt_format;
    if (v < 12) e.quality_type = 1;
    if (v < 11 || (e.ex_option2 & 0x80000000u) == 0) e.lpCheckFunc = nullptr;
}

void JobDataDefaults(tagJOBDATA_6& e, uint16_t v) {
    if (v < 2) e.HostNameType = -1;
}

// ---- Version sizes --------------------------------------------------------

// Bytes of each version (index = version), worked out by hand from the
// natural layout with 8-byte pointers.
const std::vector<size_t> kJobRecordBytes = {0, 96, 104, 120, 152, 160, 168, 184, 192, 200, 208, 224, 232};
const std::vector<size_t> kHalftoneRecordBytes = {0, 64, 72, 96, 100, 104};
const std::vector<size_t> kJobDataBytes = {0, 56, 80, 112, 128, 140, 144};

TEST(RecordSizes, EveryVersionIsTheLayoutCutAfterItsFields) {
    EXPECT_EQ(std::vector<size_t>(ovcg::kJobRecordSizes.begin(), ovcg::kJobRecordSizes.end()),
              kJobRecordBytes);
    EXPECT_EQ(std::vector<size_t>(ovcg::kHalftoneRecordSizes.begin(), ovcg::kHalftoneRecordSizes.end()),
              kHalftoneRecordBytes);
    EXPECT_EQ(std::vector<size_t>(ovcg::kJobDataSizes.begin(), ovcg::kJobDataSizes.end()), kJobDataBytes);
}

TEST(RecordSizes, NewerVersionsReadAsCurrentAndZeroReadsNothing) {
    EXPECT_EQ(ovcg::JobRecordSize(0), 0u);
    EXPECT_EQ(ovcg::JobRecordSize(13), sizeof(tagPRTSTRUCT3_12));
    EXPECT_EQ(ovcg::JobRecordSize(0xFFFF), sizeof(tagPRTSTRUCT3_12));
    EXPECT_EQ(ovcg::HalftoneRecordSize(6), sizeof(tagHTSTRUCT3_5));
    EXPECT_EQ(ovcg::JobDataSize(0xFFFF), sizeof(tagJOBDATA_6));
}

// ---- Upgrade of every version at a guard page ------------------------------

TEST(RecordUpgrade, JobRecordEveryVersion) {
    // Variant 0: ex_option2 bit 31 clear, 1: set.
    CheckEveryVersion<tagPRTSTRUCT3_12>(
        ovcg::UpgradeJobRecord, kJobRecordFields, OVCG_PRTSTRUCT3_VERSION, kJobRecordBytes, JobRecordDefaults,
        [](tagPRTSTRUCT3_12& r, int variant) {
            if (variant == 0)
                r.ex_option2 &= ~OVCG_EXO2_CHECKFUNC;
            else
                r.ex_option2 |= OVCG_EXO2_CHECKFUNC;
        },
        2);
}

TEST(RecordUpgrade, HalftoneRecordEveryVersion) {
    CheckEveryVersion<tagHTSTRUCT3_5>(ovcg::UpgradeHalftoneRecord, kHalftoneRecordFields,
                                      OVCG_HTSTRUCT3_VERSION, kHalftoneRecordBytes, nullptr, nullptr, 1);
}

TEST(RecordUpgrade, JobDataEveryVersion) {
    CheckEveryVersion<tagJOBDATA_6>(ovcg::UpgradeJobData, kJobDataFields, OVCG_JOBDATA_VERSION,
                                    kJobDataBytes, JobDataDefaults, nullptr, 1);
}

// ---- Refusals --------------------------------------------------------------

TEST(RecordUpgrade, VersionZeroIsRefusedReadingOnlyTheVersion) {
    // Only the two version bytes exist before the guard.
    GuardedBytes two = GuardedBytes::EndingAtGuard(2);
    {
        tagPRTSTRUCT3_12 out;
        std::memset(static_cast<void*>(&out), 0xCC, sizeof out);
        EXPECT_EQ(ovcg::UpgradeJobRecord(two.data(), &out), -1);
        EXPECT_EQ(out.version, 0);
        EXPECT_EQ(out.lpCheckFunc, nullptr);
        EXPECT_EQ(out.quality_type, 0);
    }
    {
        tagHTSTRUCT3_5 out;
        std::memset(static_cast<void*>(&out), 0xCC, sizeof out);
        EXPECT_EQ(ovcg::UpgradeHalftoneRecord(two.data(), &out), -1);
        EXPECT_EQ(out.lpTNMX_params, nullptr);
    }
    {
        tagJOBDATA_6 out;
        std::memset(static_cast<void*>(&out), 0xCC, sizeof out);
        EXPECT_EQ(ovcg::UpgradeJobData(two.data(), &out), -1);
        EXPECT_EQ(out.lpszHostName, nullptr);
    }
}

TEST(RecordUpgrade, NullRecordIsRefused) {
    tagPRTSTRUCT3_12 job;
    tagHTSTRUCT3_5 ht;
    tagJOBDATA_6 jd;
    EXPECT_EQ(ovcg::UpgradeJobRecord(nullptr, &job), ovcg::kRecordVersionRefused);
    EXPECT_EQ(ovcg::UpgradeHalftoneRecord(nullptr, &ht), ovcg::kRecordVersionRefused);
    EXPECT_EQ(ovcg::UpgradeJobData(nullptr, &jd), ovcg::kRecordVersionRefused);
    EXPECT_EQ(job.lpMediaOpt, nullptr);
    EXPECT_EQ(jd.version, 0);
}

// ---- Spot checks of the reference model with literal values ---------------

int32_t DummyExport(int32_t, int32_t, void*) { return 0; }

TEST(RecordUpgrade, JobRecordDefaultsByVersion) {
    struct Case {
        uint16_t version;
        bool bit31;
        int32_t lut_format;
        int32_t quality_type;
        bool check_func_kept;
    };
    const Case cases[] = {
        {2, true, 101, 1, false}, {3, true, 55, 1, false},  {10, true, 55, 1, false}, {11, true, 55, 1, true},
        {11, false, 55, 1, false}, {12, true, 55, 3, true}, {40, true, 55, 3, true},  {40, false, 55, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + (c.bit31 ? " bit set" : " bit clear"));
        tagPRTSTRUCT3_12 src{};
        src.version = c.version;
        src.prt_format = 101;
        src.lut_format = 55;
        src.quality_type = 3;
        src.ex_option2 = c.bit31 ? OVCG_EXO2_CHECKFUNC : 0u;
        src.lpCheckFunc = DummyExport;
        GuardedBytes mem = GuardedBytes::EndingAtGuard(BytesOf(kJobRecordBytes, c.version));
        mem.assign(&src, mem.size());
        tagPRTSTRUCT3_12 out;
        ASSERT_EQ(ovcg::UpgradeJobRecord(mem.data(), &out), 0);
        EXPECT_EQ(out.version, 12);
        EXPECT_EQ(out.lut_format, c.lut_format);
        EXPECT_EQ(out.quality_type, c.quality_type);
        EXPECT_EQ(out.lpCheckFunc, c.check_func_kept ? &DummyExport : nullptr);
    }
}

TEST(RecordUpgrade, VersionOneJobDataGetsHostNameTypeMinusOne) {
    for (uint16_t version : {1, 2}) {
        tagJOBDATA_6 src{};
        src.version = version;
        src.HostNameType = 0;
        GuardedBytes mem = GuardedBytes::EndingAtGuard(BytesOf(kJobDataBytes, version));
        mem.assign(&src, mem.size());
        tagJOBDATA_6 out;
        ASSERT_EQ(ovcg::UpgradeJobData(mem.data(), &out), 0);
        EXPECT_EQ(out.HostNameType, version == 1 ? -1 : 0);
    }
}

// ---- Source format ---------------------------------------------------------

TEST(SourceFormat, SixteenBitCodesSplit) {
    struct Case {
        int32_t in;
        int32_t format;
        bool sixteen;
    };
    const Case cases[] = {
        {132, 4, true}, {135, 7, true}, {138, 10, true},
        {0, 0, false},  {1, 1, false},  {2, 2, false},   {3, 3, false},   {4, 4, false},
        {7, 7, false},  {10, 10, false}, {128, 128, false}, {129, 129, false}, {131, 131, false},
        {133, 133, false}, {136, 136, false}, {139, 139, false}, {-124, -124, false}, {260, 260, false},
    };
    for (const Case& c : cases) {
        const ovcg::SourceFormat f = SplitSourceFormat(c.in);
        EXPECT_EQ(f.format, c.format) << c.in;
        EXPECT_EQ(f.sixteen_bit, c.sixteen) << c.in;
    }
}

// ---- Clip clamping -----------------------------------------------------------

TEST(ClipClamp, Table) {
    constexpr uint32_t kNeg1 = 0xFFFFFFFFu;
    constexpr uint32_t kNeg5 = 0xFFFFFFFBu;
    struct Case {
        const char* what;
        tagRECT clip;
        tagRECT band;
        tagRECT want;
        bool changed;
    };
    const Case cases[] = {
        {"inside", {0, 0, 100, 2}, {0, 10, 100, 12}, {0, 0, 100, 2}, false},
        {"one-line band, two-line clip", {0, 0, 100, 2}, {0, 5, 100, 6}, {0, 0, 100, 1}, true},
        {"right beyond width", {3, 0, 120, 2}, {0, 0, 100, 2}, {3, 0, 100, 2}, true},
        {"band not at column 0", {0, 0, 50, 2}, {20, 0, 60, 2}, {0, 0, 40, 2}, true},
        {"negative left and top", {kNeg1, kNeg5, 10, 2}, {0, 0, 100, 2}, {0, 0, 10, 2}, true},
        {"negative right and bottom", {0, 0, kNeg1, kNeg5}, {0, 0, 100, 2}, {0, 0, 0, 0}, true},
        {"left beyond width", {150, 0, 200, 2}, {0, 0, 100, 2}, {100, 0, 100, 2}, true},
        {"inverted clip", {40, 1, 10, 0}, {0, 0, 100, 2}, {40, 1, 40, 1}, true},
        {"inverted band", {0, 0, 10, 2}, {50, 8, 10, 4}, {0, 0, 0, 0}, true},
        {"empty band, empty clip", {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}, false},
        {"edges on the extent", {100, 2, 100, 2}, {0, 0, 100, 2}, {100, 2, 100, 2}, false},
        {"huge band", {0, 0, 0x80000000u, 2}, {0, 0, kNeg1, 2}, {0, 0, 0, 2}, true},
        {"huge band, in range", {5, 0, 0x7FFFFFFFu, 2}, {0, 0, kNeg1, 2}, {5, 0, 0x7FFFFFFFu, 2}, false},
    };
    for (const Case& c : cases) {
        const ovcg::ClampedClip r = ClampClipToBand(c.clip, c.band);
        EXPECT_EQ(r.clip.left, c.want.left) << c.what;
        EXPECT_EQ(r.clip.top, c.want.top) << c.what;
        EXPECT_EQ(r.clip.right, c.want.right) << c.what;
        EXPECT_EQ(r.clip.bottom, c.want.bottom) << c.what;
        EXPECT_EQ(r.changed, c.changed) << c.what;
    }
}

TEST(ClipClamp, ResultAlwaysInsideTheBand) {
    // Invariant over many random rectangles: edges within [0, extent],
    // right >= left, bottom >= top, and clamping twice changes nothing.
    uint32_t x = 12345;
    auto next = [&x] {
        x = x * 1103515245u + 12345u;
        const uint32_t r = x >> 8;
        switch (r % 4) {
            case 0: return r % 16;
            case 1: return r % 300;
            case 2: return 0xFFFFFFFFu - r % 8;
            default: return r * 2654435761u;
        }
    };
    for (int i = 0; i < 20000; ++i) {
        const tagRECT clip{next(), next(), next(), next()};
        const tagRECT band{next(), next(), next(), next()};
        const ovcg::ClampedClip r = ClampClipToBand(clip, band);
        const int64_t w = std::max<int64_t>(0, int64_t{band.right} - band.left);
        const int64_t h = std::max<int64_t>(0, int64_t{band.bottom} - band.top);
        ASSERT_LE(r.clip.right, std::min<int64_t>(w, INT32_MAX));
        ASSERT_LE(r.clip.bottom, std::min<int64_t>(h, INT32_MAX));
        ASSERT_LE(r.clip.left, r.clip.right);
        ASSERT_LE(r.clip.top, r.clip.bottom);
        const ovcg::ClampedClip again = ClampClipToBand(r.clip, band);
        ASSERT_FALSE(again.changed);
        ASSERT_EQ(std::memcmp(&again.clip, &r.clip, sizeof r.clip), 0);
        const bool same = std::memcmp(&clip, &r.clip, sizeof clip) == 0;
        ASSERT_EQ(r.changed, !same);
    }
}

}  // namespace
