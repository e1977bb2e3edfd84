// The print-mode information record: everything the print-mode resolution
// learned about one job, in one flat record that the engine core and every
// command generator read (the generators copy it whole when they are made).
//
// The in-memory layout is the exported one: natural alignment, 1340 bytes,
// fields in the order below; padding bytes are always 0. A 16-bit field holds
// 0xFFFF and a 32-bit field -1 when its key was not given. Flags are 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace ovcg {

// A (code, value) entry of the command tables; code 0xFFFF ends a table.
struct PrtInfoCodeValue {
    uint16_t code;
    uint16_t value;
};

// Parameters of the feed-adjustment command.
struct PrtInfoAdjustFeed {
    uint8_t a;
    uint16_t b;
    uint16_t c;
    uint8_t d;
};
struct PrtInfoAdjustFeedEx {
    uint8_t a;
    uint8_t b;
    uint16_t c;
    uint16_t d;
    uint8_t e;
    uint8_t f;
};

// Entries of the expanded option words that have a name of their own.
enum PrtInfoMwFlag : int {
    kMwBidirectional = 2,  // "HS"
    kMwBwModeValue = 7,    // "TNMX"
    kMwBlackPrint = 12,    // "BPM"
};
enum PrtInfoExFlag : int {
    kExRollMedia = 0,
    kExNextPageSingle = 1,
    kExJxSendCopies = 2,
    kExPaperCheck = 3,
    kExUserSetting0On = 4,
    kExAutoCut = 5,
    kExCutLine = 6,
    kExLineFeedFirst = 9,
    kExTrimBanner = 10,
    kExCutAfterJob = 11,
    kExDuplex = 12,
    kExDuplexSecond = 13,
    kExDuplexThird = 14,
    kExDuplexEnd = 15,
    kExForceMode2 = 16,
    kExColorSettingOverride = 18,
    kExEjectToBin = 19,
    kExDuplexAlt = 22,
    kExJobInfoMode = 23,
    kExUserSetting2On = 25,
    kExBannerAlt = 26,
    kExNextPageOn = 27,
    kExNoLoadDefault = 29,
    kExNozzleCheck = 30,
};

inline constexpr int kPrtInfoMaxPlanes = 16;
inline constexpr int kPrtInfoTableEntries = 16;
inline constexpr int kSn04DataSize = 100;

struct tagPRTINFOSTRUCT {
    // 1. Header.
    int32_t num_planes;
    uint32_t fixed_one;
    // 2. Expanded option words, one flag per bit.
    uint32_t mw_type_flags[19];
    uint32_t ex_option_flags[32];
    uint32_t ex_option2_flags[4];
    // 3. Derived words.
    uint32_t bin279_flag;
    uint32_t media_resolved;
    uint32_t mw_and_11001_zero;
    // 4. Resources 20000 and 20050.
    int32_t key10000;
    int32_t key10001;
    uint16_t paper_thickness_default;
    uint16_t paper_thickness_high;
    uint16_t key10004;
    uint32_t key10005_on;
    int32_t key10100;
    int32_t top_margin_adjust;
    int32_t key10102;
    // 5. The media-class resource.
    uint16_t dot_size;
    uint16_t key11001;
    uint16_t remote_flags;   // tested as signed: negative selects the newer command set
    uint16_t remote_flags2;
    uint32_t remote_flags3;  // the flag word
    uint16_t key11010;
    uint16_t key11011;
    uint16_t key11012;
    uint16_t key11013;
    int16_t key11014;
    uint16_t key11015;
    uint16_t key11016;
    int16_t mono_mode;
    uint32_t key11018_on;
    uint16_t key11019;
    uint16_t key11020;
    uint16_t key11021;
    uint32_t double_hres;
    uint16_t head_id_bytes[4];
    int16_t hres_multiplier;
    uint16_t page_mw_mode;
    uint16_t microweave;
    int16_t key11029;
    int16_t key11030;
    int16_t key11031;
    uint16_t key11032;
    int16_t halftone_type_override;
    int16_t color_correction_override;
    int32_t key11038;
    // 6. Resource 21000 and the remote-mode resources 25000 to 25060.
    uint16_t key12000;
    uint16_t key12001;
    uint16_t key12002_3;
    int32_t length_12006;
    int32_t length_12004;
    int32_t length_12007;
    int32_t length_12005;
    int32_t sn04_kind;
    uint32_t color_mode_key;
    int32_t media_paper_id[2];
    int32_t key20001;
    int32_t key20002;
    int32_t key20003;
    int32_t bin_id_key;
    int32_t key12602;
    uint16_t sn04_count;
    uint8_t sn04_data[kSn04DataSize];
    uint8_t spare_blocks[2][100];
    int32_t spare_word;
    // 7. Mechanical command parameters and tables.
    PrtInfoAdjustFeed adjust_feed;
    PrtInfoAdjustFeedEx adjust_feed_ex;
    PrtInfoCodeValue sn_table[kPrtInfoTableEntries];
    PrtInfoCodeValue dry_time_table[kPrtInfoTableEntries];
    uint16_t paper_path;
    uint16_t paper_path_value;
    uint32_t trim_banner_value;
    int32_t custom_mode_count;
    uint8_t custom_mode_data[8];
    uint16_t ink_id;
    PrtInfoCodeValue user_setting_table[kPrtInfoTableEntries];
    int32_t length_12100;
    int32_t head_feed_lines;
    int32_t key12103;
    int32_t resolution_class;
    uint8_t data_proc_setting[9];
    uint32_t key10103_on;
    uint32_t user_setting0_off;
    int32_t plane_count;
    uint16_t plane_sml_index[kPrtInfoMaxPlanes];
    int16_t dot_count_scale;
    int32_t ink_weights[kPrtInfoMaxPlanes][3];
    // 8. Border and roll lengths.
    uint32_t ex_option2_flag4;
    uint32_t border_flag;
    uint32_t top_margin_offset_on;
    int32_t top_margin_offset;  // tenths of a millimetre
    int32_t page_length_extra;  // source lines
    int32_t page_gap;           // source lines
    uint32_t border_length_on;
    // 9. Generator switches (0xFFFF: off).
    uint16_t paper_thickness_mode;
    uint16_t duplex_mode;
    uint16_t media_paper_id_on;
    uint16_t jx_items[14];
    uint16_t sn_modes[9];
    uint16_t sn06_mode;
    uint16_t sn07_mode;
    uint16_t sn09_mode;
    uint16_t dry_time_modes[4];
    uint16_t user_media_number_on;
    uint16_t paper_dimension_mode;
    uint16_t paper_dimension_at_end;
    uint16_t page_length_on;
    uint16_t page_length_reset;
    // 10. Selectors and per-page values.
    uint16_t key28500;
    uint16_t generator_selector;
    uint16_t key28502;
    uint16_t encoder_selector;
    uint16_t record_selector;
    uint16_t page_color_correction;
    uint16_t page_halftone_type;
    uint16_t image_type;
    uint16_t key12245;
    uint16_t user_media_number_type;

    uint32_t mw_flag(int bit) const { return mw_type_flags[bit]; }
    uint32_t ex_flag(int bit) const { return ex_option_flags[bit]; }
};

inline constexpr size_t kPrtInfoSize = 1340;
// Debug-export identifier of the record.
inline constexpr int32_t kPrtInfoExportId = 2001;

static_assert(std::is_trivially_copyable_v<tagPRTINFOSTRUCT>);
static_assert(std::is_standard_layout_v<tagPRTINFOSTRUCT>);
static_assert(sizeof(tagPRTINFOSTRUCT) == kPrtInfoSize);
static_assert(offsetof(tagPRTINFOSTRUCT, key10000) == 240);
static_assert(offsetof(tagPRTINFOSTRUCT, dot_size) == 272);
static_assert(offsetof(tagPRTINFOSTRUCT, remote_flags3) == 280);
static_assert(offsetof(tagPRTINFOSTRUCT, key12000) == 348);
static_assert(offsetof(tagPRTINFOSTRUCT, sn04_count) == 408);
static_assert(offsetof(tagPRTINFOSTRUCT, sn04_data) == 410);
static_assert(offsetof(tagPRTINFOSTRUCT, adjust_feed) == 716);
static_assert(offsetof(tagPRTINFOSTRUCT, sn_table) == 732);
static_assert(offsetof(tagPRTINFOSTRUCT, ink_weights) == 1024);
static_assert(offsetof(tagPRTINFOSTRUCT, ex_option2_flag4) == 1216);
static_assert(offsetof(tagPRTINFOSTRUCT, paper_thickness_mode) == 1244);
static_assert(offsetof(tagPRTINFOSTRUCT, generator_selector) == 1322);
static_assert(offsetof(tagPRTINFOSTRUCT, encoder_selector) == 1326);
static_assert(offsetof(tagPRTINFOSTRUCT, record_selector) == 1328);
static_assert(offsetof(tagPRTINFOSTRUCT, page_color_correction) == 1330);
static_assert(offsetof(tagPRTINFOSTRUCT, user_media_number_type) == 1338);

// Sets every byte of *info (padding included) to its value before
// resolution: the presets, 0 where a field has none.
void PresetPrtInfo(tagPRTINFOSTRUCT* info);

}  // namespace ovcg
