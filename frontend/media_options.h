// The media-options record the front end hands to the engine with the job
// record: the front end sets only its version, its field word and the
// per-plane duties (1024 = 100 per cent).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ovcg/ovcg_records.h"

namespace ovcg::frontend {

inline constexpr size_t kMediaOptSize = 120;
inline constexpr uint16_t kMediaOptVersion = 8;
inline constexpr uint32_t kMediaOptDutyMulti = OVCG_MO_DUTY_MULTI;  // multi_duty valid
inline constexpr int kMediaOptPlanes = 16;
inline constexpr int32_t kDutyFull = 1024;

// A new record from the caller's allocator: version 8, DUTY_MULTI, every
// plane 1024, all else 0. Null when out of memory.
tagMEDIAOPT_8* media_options_create();
void media_options_free(tagMEDIAOPT_8* record);

uint16_t media_options_version(const tagMEDIAOPT_8* record);
uint32_t media_options_field(const tagMEDIAOPT_8* record);
// plane 0..15; others are ignored (set) or read as 0 (get).
void media_options_set_duty(tagMEDIAOPT_8* record, int plane, int32_t duty);
int32_t media_options_duty(const tagMEDIAOPT_8* record, int plane);

}  // namespace ovcg::frontend
