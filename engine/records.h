// Upgrade of the caller's versioned records into the current layout, and the
// small pure helpers the job interface applies to its arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "ovcg/ovcg_records.h"

namespace ovcg {

// Result of an upgrade whose record has version 0 (or is missing).
inline constexpr int kRecordVersionRefused = -1;

// Bytes a record of each version has; index 0 (refused) is 0.
inline constexpr std::array<size_t, OVCG_PRTSTRUCT3_VERSION + 1> kJobRecordSizes = {
    0,
    OVCG_PRTSTRUCT3_SIZE_V1, OVCG_PRTSTRUCT3_SIZE_V2, OVCG_PRTSTRUCT3_SIZE_V3,
    OVCG_PRTSTRUCT3_SIZE_V4, OVCG_PRTSTRUCT3_SIZE_V5, OVCG_PRTSTRUCT3_SIZE_V6,
    OVCG_PRTSTRUCT3_SIZE_V7, OVCG_PRTSTRUCT3_SIZE_V8, OVCG_PRTSTRUCT3_SIZE_V9,
    OVCG_PRTSTRUCT3_SIZE_V10, OVCG_PRTSTRUCT3_SIZE_V11, OVCG_PRTSTRUCT3_SIZE_V12,
};
inline constexpr std::array<size_t, OVCG_HTSTRUCT3_VERSION + 1> kHalftoneRecordSizes = {
    0,
    OVCG_HTSTRUCT3_SIZE_V1, OVCG_HTSTRUCT3_SIZE_V2, OVCG_HTSTRUCT3_SIZE_V3,
    OVCG_HTSTRUCT3_SIZE_V4, OVCG_HTSTRUCT3_SIZE_V5,
};
inline constexpr std::array<size_t, OVCG_JOBDATA_VERSION + 1> kJobDataSizes = {
    0,
    OVCG_JOBDATA_SIZE_V1, OVCG_JOBDATA_SIZE_V2, OVCG_JOBDATA_SIZE_V3,
    OVCG_JOBDATA_SIZE_V4, OVCG_JOBDATA_SIZE_V5, OVCG_JOBDATA_SIZE_V6,
};

static_assert(kJobRecordSizes.back() == sizeof(tagPRTSTRUCT3_12));
static_assert(kHalftoneRecordSizes.back() == sizeof(tagHTSTRUCT3_5));
static_assert(kJobDataSizes.back() == sizeof(tagJOBDATA_6));

// The size a record of `version` has in a table of sizes by version (a
// version above the last is read as the last; 0 reads nothing).
template <size_t N>
constexpr size_t VersionSize(const std::array<size_t, N>& sizes, uint16_t version) {
    return sizes[version < N ? version : N - 1];
}

// Copies the prefix of the caller's record that its version has into *out
// (fully overwritten first) and sets out->version to the last version of
// `sizes`. These are in-memory records of the caller's own C layout
// (pointers included), not serialised bytes, so the prefix is taken as raw
// bytes; going through unsigned char also makes an unaligned caller record
// harmless. Returns the caller's version (0: refused, *out zeroed).
template <typename Record, size_t N>
uint16_t CopyVersionedPrefix(const void* caller, const std::array<size_t, N>& sizes, Record* out) {
    static_assert(std::is_trivially_copyable_v<Record>);
    static_assert(offsetof(Record, version) == 0);
    *out = Record{};
    if (caller == nullptr) return 0;
    uint16_t version = 0;
    std::memcpy(&version, caller, sizeof version);
    if (version == 0) return 0;
    std::memcpy(static_cast<void*>(out), caller, VersionSize(sizes, version));
    out->version = static_cast<uint16_t>(N - 1);
    return version;
}

// Bytes the engine reads of a record that declares `version` (a version above
// the current one is read as the current one; 0 reads nothing).
size_t JobRecordSize(uint16_t version);
size_t HalftoneRecordSize(uint16_t version);
size_t JobDataSize(uint16_t version);

// Each upgrade reads the caller's version, copies exactly the bytes that
// version has into *out (fully overwritten), gives the later fields their
// defaults and sets out->version to the current version. The caller's
// pointer need not be aligned. Returns 0, or kRecordVersionRefused for
// version 0 or a null record (then *out is zeroed).
//
// Job record: lut_format defaults to prt_format, quality_type to 1;
// lpCheckFunc survives only when ex_option2 has OVCG_EXO2_CHECKFUNC.
int UpgradeJobRecord(const void* caller, tagPRTSTRUCT3_12* out);
// Halftone record: later fields 0 or null.
int UpgradeHalftoneRecord(const void* caller, tagHTSTRUCT3_5* out);
// Job data: HostNameType defaults to -1.
int UpgradeJobData(const void* caller, tagJOBDATA_6* out);

// The caller's src_format split into the engine's working format and the
// 16-bit-sample mark: 132, 135 and 138 become 4, 7 and 10 with the mark;
// every other value passes unchanged without it.
struct SourceFormat {
    int32_t format;
    bool sixteen_bit;
};
SourceFormat SplitSourceFormat(int32_t src_format);

// The clip rectangle of a band, clamped to the band's extent (width
// band.right - band.left, height band.bottom - band.top; an inverted band has
// no extent). Edges are compared as signed values: an edge below 0 becomes 0,
// one beyond the extent becomes the extent, and a clip whose right (bottom)
// ends up before its left (top) becomes empty at its left (top), so every
// edge of the result lies within [0, extent].
struct ClampedClip {
    tagRECT clip;
    bool changed;
};
ClampedClip ClampClipToBand(const tagRECT& clip, const tagRECT& band);

}  // namespace ovcg
