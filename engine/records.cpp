#include "engine/records.h"

#include <algorithm>
#include <limits>

namespace ovcg {

size_t JobRecordSize(uint16_t version) { return VersionSize(kJobRecordSizes, version); }
size_t HalftoneRecordSize(uint16_t version) { return VersionSize(kHalftoneRecordSizes, version); }
size_t JobDataSize(uint16_t version) { return VersionSize(kJobDataSizes, version); }

int UpgradeJobRecord(const void* caller, tagPRTSTRUCT3_12* out) {
    const uint16_t version = CopyVersionedPrefix(caller, kJobRecordSizes, out);
    if (version == 0) return kRecordVersionRefused;
    if (version < 3) out->lut_format = out->prt_format;
    if (version < 12) out->quality_type = 1;
    // The debug-export callback is process-wide; a caller must opt in to it.
    if ((out->ex_option2 & OVCG_EXO2_CHECKFUNC) == 0) out->lpCheckFunc = nullptr;
    return 0;
}

int UpgradeHalftoneRecord(const void* caller, tagHTSTRUCT3_5* out) {
    const uint16_t version = CopyVersionedPrefix(caller, kHalftoneRecordSizes, out);
    return version == 0 ? kRecordVersionRefused : 0;
}

int UpgradeJobData(const void* caller, tagJOBDATA_6* out) {
    const uint16_t version = CopyVersionedPrefix(caller, kJobDataSizes, out);
    if (version == 0) return kRecordVersionRefused;
    if (version < 2) out->HostNameType = -1;
    return 0;
}

SourceFormat SplitSourceFormat(int32_t src_format) {
    switch (src_format) {
        case OVCG_SRC_16BIT_FLAG + 4:
        case OVCG_SRC_16BIT_FLAG + 7:
        case OVCG_SRC_16BIT_FLAG + 10:
            return {src_format - OVCG_SRC_16BIT_FLAG, true};
        default:
            return {src_format, false};
    }
}

ClampedClip ClampClipToBand(const tagRECT& clip, const tagRECT& band) {
    // Band edges are page coordinates: an inverted band has no extent, and an
    // extent beyond the signed range is kept inside it so that the signed
    // comparisons below stay meaningful.
    static constexpr uint32_t kMaxExtent = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
    const auto extent = [](uint32_t lo, uint32_t hi) -> int32_t {
        return static_cast<int32_t>(hi > lo ? std::min(hi - lo, kMaxExtent) : 0u);
    };
    const int32_t width = extent(band.left, band.right);
    const int32_t height = extent(band.top, band.bottom);
    const auto clamp = [](uint32_t edge, int32_t limit) -> int32_t {
        return std::clamp(static_cast<int32_t>(edge), 0, limit);
    };

    const int32_t left = clamp(clip.left, width);
    const int32_t top = clamp(clip.top, height);
    const int32_t right = std::max(clamp(clip.right, width), left);
    const int32_t bottom = std::max(clamp(clip.bottom, height), top);

    ClampedClip r;
    r.clip.left = static_cast<uint32_t>(left);
    r.clip.top = static_cast<uint32_t>(top);
    r.clip.right = static_cast<uint32_t>(right);
    r.clip.bottom = static_cast<uint32_t>(bottom);
    r.changed = r.clip.left != clip.left || r.clip.top != clip.top || r.clip.right != clip.right ||
                r.clip.bottom != clip.bottom;
    return r;
}

}  // namespace ovcg
