#include "engine/prtinfo.h"

#include <cstring>

namespace ovcg {
namespace {

template <typename T, size_t N>
void FillArray(T (&a)[N], T v) {
    for (T& x : a) x = v;
}

void FillTable(PrtInfoCodeValue (&t)[kPrtInfoTableEntries]) {
    for (PrtInfoCodeValue& e : t) e = PrtInfoCodeValue{0xFFFF, 0xFFFF};
}

}  // namespace

void PresetPrtInfo(tagPRTINFOSTRUCT* info) {
    // Zero every byte first so that the padding of the exported record is
    // defined; the fields with a preset of their own follow.
    std::memset(static_cast<void*>(info), 0, sizeof *info);
    tagPRTINFOSTRUCT& r = *info;
    r.fixed_one = 1;

    r.key10000 = -1;
    r.key10001 = -1;
    r.paper_thickness_default = 0xFFFF;
    r.paper_thickness_high = 0xFFFF;
    r.key10004 = 0xFFFF;
    r.key10100 = -1;
    r.top_margin_adjust = -1;
    r.key10102 = -1;

    r.dot_size = 0xFFFF;
    r.key11001 = 0xFFFF;
    r.remote_flags = 0xFFFF;
    r.remote_flags2 = 0xFFFF;
    r.remote_flags3 = 0xFFFFFFFFu;
    r.key11010 = r.key11011 = r.key11012 = r.key11013 = 0xFFFF;
    r.key11014 = -1;
    r.key11015 = 0xFFFF;
    r.key11016 = 0xFFFF;
    r.mono_mode = -1;
    r.key11019 = r.key11020 = r.key11021 = 0xFFFF;
    FillArray(r.head_id_bytes, uint16_t{0xFFFF});
    r.hres_multiplier = -1;
    r.page_mw_mode = 0xFFFF;
    r.microweave = 0xFFFF;
    r.key11029 = r.key11030 = r.key11031 = -1;
    r.key11032 = 0xFFFF;
    r.halftone_type_override = -1;
    r.color_correction_override = -1;
    r.key11038 = -1;

    r.key12000 = r.key12001 = r.key12002_3 = 0xFFFF;
    r.sn04_kind = -1;
    r.media_paper_id[0] = r.media_paper_id[1] = -1;
    r.key20001 = r.key20002 = r.key20003 = -1;
    r.key12602 = -1;
    r.sn04_count = 0xFFFF;
    std::memset(r.sn04_data, 0xFF, sizeof r.sn04_data);
    std::memset(r.spare_blocks, 0xFF, sizeof r.spare_blocks);
    r.spare_word = -1;

    FillTable(r.sn_table);
    FillTable(r.dry_time_table);
    r.paper_path = 0xFFFF;
    r.paper_path_value = 0xFFFF;
    r.trim_banner_value = 0xFFFFFFFFu;
    std::memset(r.custom_mode_data, 0xFF, sizeof r.custom_mode_data);
    r.ink_id = 0xFFFF;
    FillTable(r.user_setting_table);
    r.head_feed_lines = -1;
    r.key12103 = -1;
    std::memset(r.data_proc_setting, 0xFF, sizeof r.data_proc_setting);
    FillArray(r.plane_sml_index, uint16_t{0xFFFF});
    r.dot_count_scale = 1;

    // Generator switches, selectors and per-page values: not given.
    // Groups 9 and 10 are all 16-bit and run to the end of the record.
    constexpr size_t kSwitches = offsetof(tagPRTINFOSTRUCT, paper_thickness_mode);
    static_assert(offsetof(tagPRTINFOSTRUCT, user_media_number_type) + 2 == kPrtInfoSize);
    std::memset(reinterpret_cast<unsigned char*>(info) + kSwitches, 0xFF, kPrtInfoSize - kSwitches);
}

}  // namespace ovcg
