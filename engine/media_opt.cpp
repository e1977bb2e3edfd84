#include "engine/media_opt.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/engine_error.h"
#include "engine/records.h"

namespace ovcg {
namespace {

// Validity bits that exist in a record of each version (index: version).
constexpr std::array<uint32_t, OVCG_MEDIAOPT_VERSION + 1> kFieldMasks = {
    0, 0x7F, 0x3FF, 0x7FF, 0xFFF, 0xFFFF, 0xFFFF, 0x7FFFF, 0xFFFFFFFFu,
};

// value x default / 1024, truncating toward zero, without 32-bit overflow.
int64_t Scaled(int32_t value, int16_t def) {
    return static_cast<int64_t>(value) * def / kDutyFull;
}

int ClampPlanes(int planes) { return std::min(planes, CMediaOpt::kPlanes); }

}  // namespace

std::span<const MediaOptBitName> MediaOptBitNames() {
    static constexpr MediaOptBitName kNames[] = {
        {OVCG_MO_DUTY, "DUTY"},
        {OVCG_MO_FEED_OFFSET, "FEED_OFFSET"},
        {OVCG_MO_PATH_DELAY, "PATH_DELAY"},
        {OVCG_MO_THICK_01, "THICK_01"},
        {OVCG_MO_VACUUM, "VACUUM"},
        {OVCG_MO_CUT_ADJUST, "CUT_ADJUST"},
        {OVCG_MO_PAGE_DELAY, "PAGE_DELAY"},
        {OVCG_MO_PALATEN_GAP, "PALATEN_GAP"},
        {OVCG_MO_FEED_ROLLER, "FEED_ROLLER"},
        {OVCG_MO_AUTO_DP_DELAY, "AUTO_DP_DELAY"},
        {OVCG_MO_ROLL_TENSION, "ROLL_TENSION"},
        {OVCG_MO_OVERPRINT, "OVERPRINT"},
        {OVCG_MO_AUTO_DP_DOC, "AUTO_DP_DOC"},
        {OVCG_MO_PAGE_MARGIN, "PAGE_MARGIN"},
        {OVCG_MO_TOP_MARGIN, "TOP_MARGIN"},
        {OVCG_MO_EJECT_ROLLER, "EJECT_ROLLER"},
        {OVCG_MO_THICK_001, "THICK_001"},
        {OVCG_MO_DUTY_MULTI, "DUTY_MULTI"},
    };
    return kNames;
}

size_t MediaOptSize(uint16_t version) { return VersionSize(kMediaOptSizes, version); }

int UpgradeMediaOpt(const void* caller, tagMEDIAOPT_8* out) {
    const uint16_t version = CopyVersionedPrefix(caller, kMediaOptSizes, out);
    if (version == 0) return kRecordVersionRefused;
    std::memset(out->reserved, 0, sizeof out->reserved);
    const uint16_t effective = std::min<uint16_t>(version, OVCG_MEDIAOPT_VERSION);
    out->field &= kFieldMasks[effective];
    if (effective < 8) {
        for (int32_t& d : out->multi_duty) d = kDutyFull;
        out->user_media_number = 0;
    }
    return 0;
}

CMediaOpt::CMediaOpt() : m_record{} { m_dutyDefault.fill(kDutyFull); }

void CMediaOpt::Init(const tagMEDIAOPT_8* record) {
    if (record) {
        m_record = *record;
        m_init = 1;
    } else {
        m_record = tagMEDIAOPT_8{};
        m_init = 0;
    }
}

void CMediaOpt::Set_duty_default(int16_t value) { m_dutyDefault.fill(value); }

void CMediaOpt::Set_duty_default_multi(const int16_t* values, int n) {
    if (!values) return;
    n = ClampPlanes(n);
    for (int i = 0; i < n; ++i)
        m_dutyDefault[static_cast<size_t>(i)] = values[i] < 0 ? int16_t{kDutyFull} : values[i];
}

int CMediaOpt::Get_version(uint16_t* version) const {
    if (m_init != 1) {
        *version = 0;
        return 0;
    }
    *version = m_record.version;
    return 1;
}

bool CMediaOpt::Given(uint16_t since, uint32_t bit) const {
    return m_init == 1 && m_record.version != 0 && m_record.version >= since &&
           (m_record.field & bit) != 0;
}

int CMediaOpt::DutySource() const {
    if (Given(8, OVCG_MO_DUTY_MULTI)) return 2;
    if (Given(1, OVCG_MO_DUTY)) return 1;
    return 0;
}

int32_t CMediaOpt::PlaneDuty(int source, int plane) const {
    const int16_t def = m_dutyDefault[static_cast<size_t>(plane)];
    const int32_t value = source == 2 ? m_record.multi_duty[plane] : m_record.duty;
    return Saturate32(Scaled(value, def));
}

int CMediaOpt::Get_duty(int planes, int32_t* duty) const {
    planes = ClampPlanes(planes);
    switch (DutySource()) {
        case 2: {
            if (planes < 1) {
                *duty = 0;
                return 1;
            }
            int64_t sum = 0;
            for (int i = 0; i < planes; ++i) sum += Scaled(m_record.multi_duty[i], m_dutyDefault[static_cast<size_t>(i)]);
            *duty = Saturate32(sum / planes);
            return 1;
        }
        case 1:
            *duty = PlaneDuty(1, 0);
            return 1;
        default:
            *duty = kDutyFull;
            return 0;
    }
}

int CMediaOpt::Get_duty_multi(int planes, int32_t* duties) const {
    planes = ClampPlanes(planes);
    const int source = DutySource();
    for (int i = 0; i < planes; ++i) duties[i] = source ? PlaneDuty(source, i) : kDutyFull;
    return source ? 1 : 0;
}

namespace {

template <typename T, typename V>
int Report(bool given, T* out, V value, T def) {
    *out = given ? static_cast<T>(value) : def;
    return given ? 1 : 0;
}

}  // namespace

int CMediaOpt::Get_feeding_offset(int16_t* v) const {
    return Report<int16_t>(Given(1, OVCG_MO_FEED_OFFSET), v,
                           static_cast<uint16_t>(m_record.feeding_offset + m_adjust), 0);
}
int CMediaOpt::Get_path_delay_time(int16_t* v) const {
    return Report<int16_t>(Given(1, OVCG_MO_PATH_DELAY), v, m_record.path_delay_time, 0);
}
int CMediaOpt::Get_paper_thickness(uint16_t* v) const {
    if (Given(8, OVCG_MO_THICK_001)) {
        *v = m_record.paper_thickness;
        return 1;
    }
    return Report<uint16_t>(Given(1, OVCG_MO_THICK_01), v,
                            static_cast<uint16_t>(m_record.paper_thickness * 10u), 0);
}
int CMediaOpt::Get_vacuum_intensity(uint16_t* v) const {
    return Report<uint16_t>(Given(1, OVCG_MO_VACUUM), v, m_record.vacuum_intensity, 0);
}
int CMediaOpt::Get_cutting_adjustment(int32_t* v) const {
    return Report<int32_t>(Given(1, OVCG_MO_CUT_ADJUST), v, m_record.cutting_adjustment, 0);
}
int CMediaOpt::Get_page_delay_time(int16_t* v) const {
    return Report<int16_t>(Given(1, OVCG_MO_PAGE_DELAY), v, m_record.page_delay_time, 0);
}
int CMediaOpt::Get_platen_gap_mode(uint16_t* v) const {
    return Report<uint16_t>(Given(2, OVCG_MO_PALATEN_GAP), v, m_record.platen_gap_mode, 0);
}
int CMediaOpt::Get_feed_roller_type(uint16_t* v) const {
    return Report<uint16_t>(Given(2, OVCG_MO_FEED_ROLLER), v, m_record.feed_roller_type, 0);
}
int CMediaOpt::Get_auto_dp_delay_time(int16_t* v) const {
    return Report<int16_t>(Given(2, OVCG_MO_AUTO_DP_DELAY), v, m_record.auto_dp_delay_time, 0);
}
int CMediaOpt::Get_roll_tension_mode(uint16_t* v) const {
    return Report<uint16_t>(Given(3, OVCG_MO_ROLL_TENSION), v, m_record.roll_tension_mode, 0);
}
int CMediaOpt::Get_num_overprint(uint16_t* v) const {
    const bool given = Given(4, OVCG_MO_OVERPRINT);
    *v = given ? m_record.num_overprint : 0;
    return given && *v != 0 ? 1 : 0;
}
int CMediaOpt::Get_auto_dp_doc_type(int32_t* v) const {
    return Report<int32_t>(Given(5, OVCG_MO_AUTO_DP_DOC), v, m_record.auto_dp_doc_type, 99);
}
int CMediaOpt::Get_page_margin(uint16_t* v) const {
    return Report<uint16_t>(Given(7, OVCG_MO_PAGE_MARGIN), v, m_record.page_margin, 0);
}
int CMediaOpt::Get_top_margin(uint16_t* v) const {
    return Report<uint16_t>(Given(7, OVCG_MO_TOP_MARGIN), v, m_record.top_margin, 0);
}
int CMediaOpt::Get_eject_roller(uint16_t* v) const {
    return Report<uint16_t>(Given(7, OVCG_MO_EJECT_ROLLER), v, m_record.eject_roller, 0);
}
int CMediaOpt::Get_user_media_number(int32_t* v) const {
    return Report<int32_t>(Given(8, OVCG_MO_USER_MEDIA_NUMBER), v, m_record.user_media_number, 0);
}

}  // namespace ovcg
