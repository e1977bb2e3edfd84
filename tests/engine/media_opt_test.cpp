#include "engine/media_opt.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <initializer_list>
#include <tuple>
#include <cstring>
#include <vector>

#include "engine/records.h"
#include "record_upgrade_check.h"
#include "support/guard_page.h"

namespace {

using ovcg::CMediaOpt;
using ovcg::UpgradeMediaOpt;
using ovcg_test::GuardedBytes;

// ---- Upgrade of every version at a guard page --------------------------------

#define FIELD(f, v) RECORD_FIELD(tagMEDIAOPT_8, f, v)
const std::vector<ovcg_test::Field> kFields = {
    FIELD(field, 1), FIELD(duty, 1), FIELD(feeding_offset, 1), FIELD(path_delay_time, 1),
    FIELD(paper_thickness, 1), FIELD(vacuum_intensity, 1), FIELD(cutting_adjustment, 1),
    FIELD(page_delay_time, 1), FIELD(platen_gap_mode, 2), FIELD(feed_roller_type, 2),
    FIELD(auto_dp_delay_time, 2), FIELD(roll_tension_mode, 3), FIELD(num_overprint, 4),
    FIELD(auto_dp_doc_type, 5), FIELD(reserved, 0xFFFF),  // always cleared
    FIELD(page_margin, 7), FIELD(top_margin, 7), FIELD(eject_roller, 7), FIELD(multi_duty, 8),
    FIELD(user_media_number, 8),
};
#undef FIELD

// Bytes of each version (index = version), worked out by hand.
const std::vector<size_t> kMediaOptBytes = {0, 26, 32, 34, 36, 40, 40, 52, 120};

void MediaOptDefaults(tagMEDIAOPT_8& e, uint16_t v) {
    // Validity bits a record of each version keeps.
    static const uint32_t masks[] = {0, 0x7F, 0x3FF, 0x7FF, 0xFFF, 0xFFFF, 0xFFFF, 0x7FFFF, 0xFFFFFFFF};
    e.field &= masks[v];
    if (v < 8)
        for (int32_t& d : e.multi_duty) d = 1024;
}

TEST(MediaOptUpgrade, EveryVersionAtItsExactSize) {
    EXPECT_EQ(std::vector<size_t>(ovcg::kMediaOptSizes.begin(), ovcg::kMediaOptSizes.end()), kMediaOptBytes);
    ovcg_test::CheckEveryVersion<tagMEDIAOPT_8>(UpgradeMediaOpt, kFields, OVCG_MEDIAOPT_VERSION, kMediaOptBytes,
                                                MediaOptDefaults, nullptr, 1);
}

TEST(MediaOptUpgrade, RefusesVersionZeroAndNull) {
    std::vector<uint8_t> rec(sizeof(tagMEDIAOPT_8), 0x5A);
    rec[0] = rec[1] = 0;
    tagMEDIAOPT_8 out;
    std::memset(&out, 0xAB, sizeof out);
    EXPECT_EQ(UpgradeMediaOpt(rec.data(), &out), ovcg::kRecordVersionRefused);
    EXPECT_EQ(out.version, 0);
    EXPECT_EQ(out.field, 0u);
    EXPECT_EQ(UpgradeMediaOpt(nullptr, &out), ovcg::kRecordVersionRefused);
}

// ---- Getters --------------------------------------------------------------

tagMEDIAOPT_8 Record(uint16_t version, uint32_t field) {
    tagMEDIAOPT_8 r{};
    r.version = version;
    r.field = field;
    r.duty = 512;
    r.feeding_offset = 10;
    r.path_delay_time = 11;
    r.paper_thickness = 12;
    r.vacuum_intensity = 13;
    r.cutting_adjustment = -14;
    r.page_delay_time = 15;
    r.platen_gap_mode = 16;
    r.feed_roller_type = 17;
    r.auto_dp_delay_time = 18;
    r.roll_tension_mode = 19;
    r.num_overprint = 20;
    r.auto_dp_doc_type = 21;
    r.page_margin = 22;
    r.top_margin = 23;
    r.eject_roller = 24;
    for (int i = 0; i < 16; ++i) r.multi_duty[i] = 1024;
    r.user_media_number = 25;
    return r;
}

struct GetterCase {
    const char* name;
    uint16_t since;
    uint32_t bit;
    int64_t value;  // written when given
    int64_t def;    // written when not
    int64_t (*get)(const CMediaOpt&, int*);
};

template <typename T, int (CMediaOpt::*G)(T*) const>
int64_t Call(const CMediaOpt& m, int* result) {
    T v{};
    *result = (m.*G)(&v);
    return v;
}

const GetterCase kGetters[] = {
    {"feeding_offset", 1, 0x2, 10, 0, Call<int16_t, &CMediaOpt::Get_feeding_offset>},
    {"path_delay_time", 1, 0x4, 11, 0, Call<int16_t, &CMediaOpt::Get_path_delay_time>},
    {"vacuum_intensity", 1, 0x10, 13, 0, Call<uint16_t, &CMediaOpt::Get_vacuum_intensity>},
    {"cutting_adjustment", 1, 0x20, -14, 0, Call<int32_t, &CMediaOpt::Get_cutting_adjustment>},
    {"page_delay_time", 1, 0x40, 15, 0, Call<int16_t, &CMediaOpt::Get_page_delay_time>},
    {"platen_gap_mode", 2, 0x80, 16, 0, Call<uint16_t, &CMediaOpt::Get_platen_gap_mode>},
    {"feed_roller_type", 2, 0x100, 17, 0, Call<uint16_t, &CMediaOpt::Get_feed_roller_type>},
    {"auto_dp_delay_time", 2, 0x200, 18, 0, Call<int16_t, &CMediaOpt::Get_auto_dp_delay_time>},
    {"roll_tension_mode", 3, 0x400, 19, 0, Call<uint16_t, &CMediaOpt::Get_roll_tension_mode>},
    {"num_overprint", 4, 0x800, 20, 0, Call<uint16_t, &CMediaOpt::Get_num_overprint>},
    {"auto_dp_doc_type", 5, 0x1000, 21, 99, Call<int32_t, &CMediaOpt::Get_auto_dp_doc_type>},
    {"page_margin", 7, 0x10000, 22, 0, Call<uint16_t, &CMediaOpt::Get_page_margin>},
    {"top_margin", 7, 0x20000, 23, 0, Call<uint16_t, &CMediaOpt::Get_top_margin>},
    {"eject_roller", 7, 0x40000, 24, 0, Call<uint16_t, &CMediaOpt::Get_eject_roller>},
    {"user_media_number", 8, 0x200000, 25, 0, Call<int32_t, &CMediaOpt::Get_user_media_number>},
};

TEST(MediaOptGetters, VersionAndBitRules) {
    for (const GetterCase& g : kGetters) {
        SCOPED_TRACE(g.name);
        for (uint16_t v = 0; v <= 9; ++v) {
            for (bool bit : {false, true}) {
                CMediaOpt m;
                tagMEDIAOPT_8 r = Record(v, bit ? g.bit : ~g.bit);
                m.Init(&r);
                int result = -1;
                const int64_t value = g.get(m, &result);
                const bool given = v != 0 && v >= g.since && bit;
                EXPECT_EQ(result, given ? 1 : 0) << "version " << v << " bit " << bit;
                EXPECT_EQ(value, given ? g.value : g.def) << "version " << v << " bit " << bit;
            }
        }
        // Without a record nothing is given.
        CMediaOpt none;
        int result = -1;
        EXPECT_EQ(g.get(none, &result), g.def);
        EXPECT_EQ(result, 0);
    }
}

TEST(MediaOptGetters, FeedingOffsetAddsTheAdjustment) {
    CMediaOpt m;
    tagMEDIAOPT_8 r = Record(8, 0x2);
    m.Init(&r);
    m.Set_feed_offset_adjustment(-3);
    int16_t v = 0;
    EXPECT_EQ(m.Get_feeding_offset(&v), 1);
    EXPECT_EQ(v, 7);
    r.field = 0;
    m.Init(&r);
    EXPECT_EQ(m.Get_feeding_offset(&v), 0);
    EXPECT_EQ(v, 0);
    // The sum is 16-bit.
    r = Record(8, 0x2);
    r.feeding_offset = 32767;
    m.Init(&r);
    m.Set_feed_offset_adjustment(1);
    EXPECT_EQ(m.Get_feeding_offset(&v), 1);
    EXPECT_EQ(v, -32768);
}

TEST(MediaOptGetters, NumOverprintZeroIsNotGiven) {
    CMediaOpt m;
    tagMEDIAOPT_8 r = Record(8, 0x800);
    r.num_overprint = 0;
    m.Init(&r);
    uint16_t v = 9;
    EXPECT_EQ(m.Get_num_overprint(&v), 0);
    EXPECT_EQ(v, 0);
}

TEST(MediaOptGetters, PaperThicknessUnits) {
    struct Case {
        uint16_t version;
        uint32_t field;
        int result;
        uint16_t value;
    } cases[] = {
        {8, 0x80008, 1, 12},  // both bits, version 8: as is
        {8, 0x80000, 1, 12},
        {8, 0x8, 1, 120},     // tenths
        {7, 0x80008, 1, 120}, // 0x80000 does not exist before version 8
        {7, 0x80000, 0, 0},
        {1, 0x8, 1, 120},
        {0, 0x8, 0, 0},
    };
    for (const Case& c : cases) {
        CMediaOpt m;
        tagMEDIAOPT_8 r = Record(c.version, c.field);
        m.Init(&r);
        uint16_t v = 99;
        EXPECT_EQ(m.Get_paper_thickness(&v), c.result) << c.version << " " << c.field;
        EXPECT_EQ(v, c.value) << c.version << " " << c.field;
    }
}

TEST(MediaOptVersion, ReportsOnlyWithARecord) {
    CMediaOpt m;
    uint16_t v = 5;
    EXPECT_EQ(m.IsInit(), 0);
    EXPECT_EQ(m.Get_version(&v), 0);
    tagMEDIAOPT_8 r = Record(8, 0);
    m.Init(&r);
    EXPECT_EQ(m.IsInit(), 1);
    EXPECT_EQ(m.Get_version(&v), 1);
    EXPECT_EQ(v, 8);
    m.Init(nullptr);
    EXPECT_EQ(m.IsInit(), 0);
}

// ---- Duties ----------------------------------------------------------------

TEST(MediaOptDuty, SingleDutyScaledByTheFirstDefault) {
    struct Case {
        int32_t duty;
        int16_t def;
        int32_t expect;
    } cases[] = {{512, 1024, 512}, {512, 2048, 1024}, {-1, 1024, -1}, {-1, 1, 0}, {INT_MAX, 2048, INT_MAX}};
    for (const Case& c : cases) {
        CMediaOpt m;
        tagMEDIAOPT_8 r = Record(8, OVCG_MO_DUTY);
        r.duty = c.duty;
        m.Init(&r);
        m.Set_duty_default(c.def);
        int32_t d = 0;
        EXPECT_EQ(m.Get_duty(4, &d), 1);
        EXPECT_EQ(d, c.expect) << c.duty << " x " << c.def;
        int32_t per[16] = {};
        EXPECT_EQ(m.Get_duty_multi(3, per), 1);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(per[i], c.expect);
    }
}

TEST(MediaOptDuty, MultiDutyMeanAndPerPlane) {
    CMediaOpt m;
    tagMEDIAOPT_8 r = Record(8, OVCG_MO_DUTY_MULTI | OVCG_MO_DUTY);
    const int32_t duties[4] = {1024, 512, 0, 2048};
    std::memcpy(r.multi_duty, duties, sizeof duties);
    m.Init(&r);
    int32_t d = 0;
    EXPECT_EQ(m.Get_duty(4, &d), 1);
    EXPECT_EQ(d, 896);
    int32_t per[4] = {};
    EXPECT_EQ(m.Get_duty_multi(4, per), 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(per[i], duties[i]);
    EXPECT_EQ(m.Get_duty(0, &d), 1);
    EXPECT_EQ(d, 0);
    // Per-plane defaults; a negative one is 100 per cent.
    const int16_t defaults[4] = {2048, -5, 512, 1024};
    m.Set_duty_default_multi(defaults, 4);
    EXPECT_EQ(m.Get_duty_multi(4, per), 1);
    EXPECT_EQ(per[0], 2048);
    EXPECT_EQ(per[1], 512);
    EXPECT_EQ(per[2], 0);
    EXPECT_EQ(per[3], 2048);
}

TEST(MediaOptDuty, NotGivenIsFull) {
    struct Case {
        bool record;
        uint16_t version;
        uint32_t field;
    } cases[] = {{true, 7, OVCG_MO_DUTY_MULTI}, {true, 0, OVCG_MO_DUTY | OVCG_MO_DUTY_MULTI},
                 {false, 8, OVCG_MO_DUTY}};
    for (const Case& c : cases) {
        CMediaOpt m;
        tagMEDIAOPT_8 r = Record(c.version, c.field);
        if (c.record) m.Init(&r);
        int32_t d = 0;
        EXPECT_EQ(m.Get_duty(4, &d), 0) << c.version;
        EXPECT_EQ(d, 1024);
        int32_t per[2] = {};
        EXPECT_EQ(m.Get_duty_multi(2, per), 0);
        EXPECT_EQ(per[0], 1024);
        EXPECT_EQ(per[1], 1024);
    }
}

TEST(MediaOptDuty, LargeProductsDoNotOverflowAndPlanesAreCapped) {
    CMediaOpt m;
    tagMEDIAOPT_8 r = Record(8, OVCG_MO_DUTY_MULTI);
    for (int32_t& d : r.multi_duty) d = INT_MAX;
    m.Init(&r);
    m.Set_duty_default(1024);
    int32_t d = 0;
    EXPECT_EQ(m.Get_duty(16, &d), 1);
    EXPECT_EQ(d, INT_MAX);  // 16 x INT_MAX summed in 64 bits, then / 16
    m.Set_duty_default(32767);
    EXPECT_EQ(m.Get_duty(16, &d), 1);
    EXPECT_EQ(d, INT_MAX);  // saturated
    for (int32_t& x : r.multi_duty) x = INT_MIN;
    m.Init(&r);
    EXPECT_EQ(m.Get_duty(16, &d), 1);
    EXPECT_EQ(d, INT_MIN);
    // A plane count above 16 reads 16 planes and writes 16 entries.
    GuardedBytes out = GuardedBytes::EndingAtGuard(16 * sizeof(int32_t));
    EXPECT_EQ(m.Get_duty_multi(40, reinterpret_cast<int32_t*>(out.data())), 1);
    EXPECT_EQ(m.Get_duty(40, &d), 1);
    EXPECT_EQ(d, INT_MIN);
}

TEST(MediaOptDuty, DefaultsSurviveInit) {
    CMediaOpt m;
    m.Set_duty_default(2048);
    m.Set_feed_offset_adjustment(4);
    tagMEDIAOPT_8 r = Record(8, OVCG_MO_DUTY);
    m.Init(&r);
    EXPECT_EQ(m.DutyDefault(15), 2048);
    EXPECT_EQ(m.FeedOffsetAdjustment(), 4);
}

TEST(MediaOptBitNames, OnePerNamedBitInOrder) {
    const auto names = ovcg::MediaOptBitNames();
    ASSERT_EQ(names.size(), 18u);
    uint32_t last = 0;
    for (const auto& n : names) {
        EXPECT_GT(n.bit, last);
        EXPECT_EQ(n.bit & (n.bit - 1), 0u) << n.name;  // one bit each
        last = n.bit;
    }
    EXPECT_STREQ(names[7].name, "PALATEN_GAP");
    EXPECT_STREQ(names[16].name, "THICK_001");
    EXPECT_STREQ(names[17].name, "DUTY_MULTI");
}

// ---- Layout and upgrade from bytes laid out by hand --------------------------

// Offsets worked out by hand from the field list with natural alignment.
TEST(MediaOptLayout, FieldOffsets) {
    struct Case {
        const char* name;
        size_t got, want;
    } cases[] = {
        {"field", offsetof(tagMEDIAOPT_8, field), 4},
        {"duty", offsetof(tagMEDIAOPT_8, duty), 8},
        {"feeding_offset", offsetof(tagMEDIAOPT_8, feeding_offset), 12},
        {"path_delay_time", offsetof(tagMEDIAOPT_8, path_delay_time), 14},
        {"paper_thickness", offsetof(tagMEDIAOPT_8, paper_thickness), 16},
        {"vacuum_intensity", offsetof(tagMEDIAOPT_8, vacuum_intensity), 18},
        {"cutting_adjustment", offsetof(tagMEDIAOPT_8, cutting_adjustment), 20},
        {"page_delay_time", offsetof(tagMEDIAOPT_8, page_delay_time), 24},
        {"platen_gap_mode", offsetof(tagMEDIAOPT_8, platen_gap_mode), 26},
        {"feed_roller_type", offsetof(tagMEDIAOPT_8, feed_roller_type), 28},
        {"auto_dp_delay_time", offsetof(tagMEDIAOPT_8, auto_dp_delay_time), 30},
        {"roll_tension_mode", offsetof(tagMEDIAOPT_8, roll_tension_mode), 32},
        {"num_overprint", offsetof(tagMEDIAOPT_8, num_overprint), 34},
        {"auto_dp_doc_type", offsetof(tagMEDIAOPT_8, auto_dp_doc_type), 36},
        {"reserved", offsetof(tagMEDIAOPT_8, reserved), 40},
        {"page_margin", offsetof(tagMEDIAOPT_8, page_margin), 46},
        {"top_margin", offsetof(tagMEDIAOPT_8, top_margin), 48},
        {"eject_roller", offsetof(tagMEDIAOPT_8, eject_roller), 50},
        {"multi_duty", offsetof(tagMEDIAOPT_8, multi_duty), 52},
        {"user_media_number", offsetof(tagMEDIAOPT_8, user_media_number), 116},
        {"size", sizeof(tagMEDIAOPT_8), 120},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

// A caller's record given as little-endian values at byte offsets.
std::vector<uint8_t> CallerRecord(size_t size, std::initializer_list<std::tuple<size_t, size_t, int64_t>> values) {
    std::vector<uint8_t> b(size, 0xEE);  // every byte not written is noise
    for (const auto& [offset, width, value] : values)
        for (size_t i = 0; i < width; ++i) b.at(offset + i) = uint8_t(uint64_t(value) >> (8 * i));
    return b;
}

TEST(MediaOptUpgrade, FromHandLaidBytes) {
    // Version 3, 34 bytes, every validity bit: the bits of later fields go.
    {
        const auto b = CallerRecord(34, {{0, 2, 3}, {4, 4, 0xFFFFFFFF}, {8, 4, 512}, {12, 2, -5}, {14, 2, 7},
                                         {16, 2, 12}, {18, 2, 13}, {20, 4, -14}, {24, 2, 15}, {26, 2, 16},
                                         {28, 2, 17}, {30, 2, 18}, {32, 2, 19}});
        tagMEDIAOPT_8 r;
        ASSERT_EQ(UpgradeMediaOpt(b.data(), &r), 0);
        EXPECT_EQ(r.version, 8);
        EXPECT_EQ(r.field, 0x7FFu);
        CMediaOpt m;
        m.Init(&r);
        int32_t i32 = 0;
        int16_t i16 = 0;
        uint16_t u16 = 0;
        EXPECT_EQ(m.Get_duty(4, &i32), 1);
        EXPECT_EQ(i32, 512);
        EXPECT_EQ(m.Get_feeding_offset(&i16), 1);
        EXPECT_EQ(i16, -5);
        EXPECT_EQ(m.Get_paper_thickness(&u16), 1);
        EXPECT_EQ(u16, 120);
        EXPECT_EQ(m.Get_cutting_adjustment(&i32), 1);
        EXPECT_EQ(i32, -14);
        EXPECT_EQ(m.Get_platen_gap_mode(&u16), 1);
        EXPECT_EQ(u16, 16);
        EXPECT_EQ(m.Get_auto_dp_delay_time(&i16), 1);
        EXPECT_EQ(i16, 18);
        EXPECT_EQ(m.Get_roll_tension_mode(&u16), 1);
        EXPECT_EQ(u16, 19);
        EXPECT_EQ(m.Get_num_overprint(&u16), 0);
        EXPECT_EQ(m.Get_auto_dp_doc_type(&i32), 0);
        EXPECT_EQ(i32, 99);
        EXPECT_EQ(r.multi_duty[15], 1024);
        EXPECT_EQ(r.user_media_number, 0);
    }
    // Version 7, 52 bytes: margins kept, reserved cleared, 0x80000 dropped
    // so the thickness is in tenths.
    {
        const auto b = CallerRecord(52, {{0, 2, 7}, {4, 4, 0xFFFFFFFF}, {16, 2, 3}, {34, 2, 2}, {36, 4, 5},
                                         {46, 2, 46}, {48, 2, 48}, {50, 2, 50}});
        tagMEDIAOPT_8 r;
        ASSERT_EQ(UpgradeMediaOpt(b.data(), &r), 0);
        EXPECT_EQ(r.field, 0x7FFFFu);
        for (uint8_t x : r.reserved) EXPECT_EQ(x, 0);
        CMediaOpt m;
        m.Init(&r);
        uint16_t u16 = 0;
        int32_t i32 = 0;
        EXPECT_EQ(m.Get_paper_thickness(&u16), 1);
        EXPECT_EQ(u16, 30);
        EXPECT_EQ(m.Get_num_overprint(&u16), 1);
        EXPECT_EQ(u16, 2);
        EXPECT_EQ(m.Get_auto_dp_doc_type(&i32), 1);
        EXPECT_EQ(i32, 5);
        EXPECT_EQ(m.Get_page_margin(&u16), 1);
        EXPECT_EQ(u16, 46);
        EXPECT_EQ(m.Get_top_margin(&u16), 1);
        EXPECT_EQ(u16, 48);
        EXPECT_EQ(m.Get_eject_roller(&u16), 1);
        EXPECT_EQ(u16, 50);
        EXPECT_EQ(m.Get_user_media_number(&i32), 0);
    }
    // Version 9, read as 8: field word kept, multi-duty and user media number.
    {
        const auto b = CallerRecord(120, {{0, 2, 9}, {4, 4, 0x380000}, {16, 2, 3}, {52, 4, 2048}, {56, 4, 0},
                                          {60, 4, 1024}, {64, 4, 0}, {116, 4, 77}});
        tagMEDIAOPT_8 r;
        ASSERT_EQ(UpgradeMediaOpt(b.data(), &r), 0);
        EXPECT_EQ(r.version, 8);
        EXPECT_EQ(r.field, 0x380000u);
        for (uint8_t x : r.reserved) EXPECT_EQ(x, 0);
        CMediaOpt m;
        m.Init(&r);
        uint16_t u16 = 0;
        int32_t i32 = 0;
        EXPECT_EQ(m.Get_paper_thickness(&u16), 1);
        EXPECT_EQ(u16, 3);
        EXPECT_EQ(m.Get_duty(4, &i32), 1);
        EXPECT_EQ(i32, (2048 + 0 + 1024 + 0) / 4);
        EXPECT_EQ(m.Get_user_media_number(&i32), 1);
        EXPECT_EQ(i32, 77);
    }
}

}  // namespace
