// The media-options record: its upgrade into the current layout, and
// CMediaOpt, the print mode's copy of it with the getters through which every
// reader sees the options (version and validity-bit rules, per-plane duty
// defaults from the model).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ovcg/ovcg_records.h"

namespace ovcg {

// Bytes a media-options record of each version has; index 0 (refused) is 0.
inline constexpr std::array<size_t, OVCG_MEDIAOPT_VERSION + 1> kMediaOptSizes = {
    0,
    OVCG_MEDIAOPT_SIZE_V1, OVCG_MEDIAOPT_SIZE_V2, OVCG_MEDIAOPT_SIZE_V3, OVCG_MEDIAOPT_SIZE_V4,
    OVCG_MEDIAOPT_SIZE_V5, OVCG_MEDIAOPT_SIZE_V6, OVCG_MEDIAOPT_SIZE_V7, OVCG_MEDIAOPT_SIZE_V8,
};
static_assert(kMediaOptSizes.back() == sizeof(tagMEDIAOPT_8));

// Bytes the engine reads of a record that declares `version` (above the
// current version: the current size; 0: nothing).
size_t MediaOptSize(uint16_t version);

// Copies exactly the bytes the caller's version has into *out (fully
// overwritten), clears the reserved bytes and the validity bits of fields
// the version does not have, gives a record before version 8 every
// multi_duty 1024 and user_media_number 0, and sets version 8. The caller's
// pointer need not be aligned. Returns 0, or kRecordVersionRefused (engine/
// records.h) for version 0 or a null record (then *out is zeroed).
int UpgradeMediaOpt(const void* caller, tagMEDIAOPT_8* out);

// The names the job interface logs for the validity bits, in bit order.
struct MediaOptBitName {
    uint32_t bit;
    const char* name;
};
std::span<const MediaOptBitName> MediaOptBitNames();

// Duty of 100 per cent.
inline constexpr int32_t kDutyFull = 1024;

class CMediaOpt {
public:
    static constexpr int kPlanes = OVCG_MEDIAOPT_PLANES;

    CMediaOpt();

    // With a record: copies it and marks the options given; with null:
    // zeroes the copy and marks them not given. Duty defaults and the
    // feed-offset adjustment are left as they are.
    void Init(const tagMEDIAOPT_8* record);

    // All 16 duty defaults = value.
    void Set_duty_default(int16_t value);
    // Duty default i = values[i] for i < n (at most 16), 1024 where negative.
    void Set_duty_default_multi(const int16_t* values, int n);
    void Set_feed_offset_adjustment(int8_t value) { m_adjust = value; }

    int IsInit() const { return m_init; }
    int Get_version(uint16_t* version) const;

    // Mean duty over the first `planes` planes, and the per-plane duties.
    // Products are taken in 64 bits and a result beyond the 32-bit range is
    // saturated; a plane count above 16 is taken as 16.
    int Get_duty(int planes, int32_t* duty) const;
    int Get_duty_multi(int planes, int32_t* duties) const;

    // Each writes the value and returns 1 when it is given, else writes the
    // default and returns 0.
    int Get_feeding_offset(int16_t* v) const;
    int Get_path_delay_time(int16_t* v) const;
    int Get_paper_thickness(uint16_t* v) const;
    int Get_vacuum_intensity(uint16_t* v) const;
    int Get_cutting_adjustment(int32_t* v) const;
    int Get_page_delay_time(int16_t* v) const;
    int Get_platen_gap_mode(uint16_t* v) const;
    int Get_feed_roller_type(uint16_t* v) const;
    int Get_auto_dp_delay_time(int16_t* v) const;
    int Get_roll_tension_mode(uint16_t* v) const;
    int Get_num_overprint(uint16_t* v) const;
    int Get_auto_dp_doc_type(int32_t* v) const;
    int Get_page_margin(uint16_t* v) const;
    int Get_top_margin(uint16_t* v) const;
    int Get_eject_roller(uint16_t* v) const;
    int Get_user_media_number(int32_t* v) const;

    int16_t DutyDefault(int plane) const { return m_dutyDefault[static_cast<size_t>(plane)]; }
    int8_t FeedOffsetAdjustment() const { return m_adjust; }
    tagMEDIAOPT_8* Record() { return &m_record; }
    const tagMEDIAOPT_8* Record() const { return &m_record; }

private:
    // Given: a record, its version at least `since` and the bit set.
    bool Given(uint16_t since, uint32_t bit) const;
    // Which duty source applies: 2 multi-duty, 1 single duty, 0 none.
    int DutySource() const;
    int32_t PlaneDuty(int source, int plane) const;

    tagMEDIAOPT_8 m_record;
    int32_t m_init = 0;
    std::array<int16_t, kPlanes> m_dutyDefault;
    int8_t m_adjust = 0;
};

}  // namespace ovcg
