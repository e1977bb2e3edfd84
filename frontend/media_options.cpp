#include "frontend/media_options.h"

#include "frontend/heap.h"

namespace ovcg::frontend {

static_assert(sizeof(tagMEDIAOPT_8) == kMediaOptSize);
static_assert(OVCG_MEDIAOPT_PLANES == kMediaOptPlanes);

tagMEDIAOPT_8* media_options_create() {
    auto* r = static_cast<tagMEDIAOPT_8*>(ovcg_malloc(sizeof(tagMEDIAOPT_8)));
    if (!r) return nullptr;
    *r = tagMEDIAOPT_8{};
    r->version = kMediaOptVersion;
    r->field = kMediaOptDutyMulti;
    for (int32_t& d : r->multi_duty) d = kDutyFull;
    return r;
}

void media_options_free(tagMEDIAOPT_8* record) { ovcg_free(record); }

uint16_t media_options_version(const tagMEDIAOPT_8* record) { return record ? record->version : 0; }

uint32_t media_options_field(const tagMEDIAOPT_8* record) { return record ? record->field : 0; }

void media_options_set_duty(tagMEDIAOPT_8* record, int plane, int32_t duty) {
    if (!record || plane < 0 || plane >= kMediaOptPlanes) return;
    record->multi_duty[plane] = duty;
}

int32_t media_options_duty(const tagMEDIAOPT_8* record, int plane) {
    if (!record || plane < 0 || plane >= kMediaOptPlanes) return 0;
    return record->multi_duty[plane];
}

}  // namespace ovcg::frontend
