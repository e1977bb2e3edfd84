// The head-control part of the synthetic model: a description of the model
// resource (type 4000, identifier 256) and its writer.
//
// The description mirrors the resource section by section. Counts, sizes,
// the head-option mask and the head-section flags are computed from what the
// description holds; the writer records where it put every named field
// (HcLayout), so a test may set any field to any value afterwards with
// patch_field() to break the resource on purpose. Misuse (arrays that
// disagree with each other, an id too wide for the format) throws
// std::invalid_argument.
//
// Variants of the model (head_control_variant) are made from the default by
// small changes; later users add theirs to HcVariant.
#pragma once

#include "support/res_writer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ovcg_test {

struct ModelDescription;

inline constexpr uint16_t kHeadControlModelId = 256;

// Where the writer put a named field of the (unpacked) resource.
struct HcField {
    size_t offset;
    size_t width;
};
using HcLayout = std::map<std::string, HcField>;

// Overwrites a field, little-endian, in its recorded width.
void patch_field(Bytes& resource, const HcLayout& layout, const std::string& name, uint64_t value);

// ---- Head section ---------------------------------------------------------------
struct HcMatrix {
    int8_t rows = 0;
    uint8_t columns = 0;
    Bytes data;  // rows x columns
};

struct HcTaggedBytes {
    uint32_t tags = 0;  // written from format 1.4; bit 0: extra follows
    uint8_t rows = 0;
    int16_t columns = 0;
    Bytes data;   // rows x columns
    Bytes extra;  // columns, with tag bit 0
};

struct HcPmcTableGroup {
    uint16_t rows = 0, columns = 0;
    std::vector<std::vector<uint16_t>> tables;  // each rows x columns
};

struct HcPmcModel {
    uint32_t flags = 1;  // form 1 (format 1.4 on): bit 0, the mask follows
    std::vector<std::pair<HcPmcTableGroup, HcPmcTableGroup>> sets;
    uint8_t mask_width = 0;
    uint16_t mask_rows = 0;
    uint8_t multiplier = 1;  // form 1 only
    Bytes mask;              // width x rows x multiplier
};

struct HcHeadSection {
    uint16_t value_a = 1;
    uint32_t value_b = 0;
    uint16_t value_c = 0, value_d = 0;  // the off-area top and bottom
    std::vector<uint16_t> nozzles;      // per head: the head count
    std::vector<uint16_t> overlaps;     // heads - 1
    std::vector<uint16_t> line_values;  // per nozzle line: the line count
    // Format 1.3 on. Default: bit 3 with yds_resolution, bit 4 with
    // yds_columns, bit 5 with head_kinds.
    std::optional<uint16_t> section_flags;
    std::optional<uint16_t> yds_resolution;
    std::vector<uint16_t> yds_columns;  // per line
    std::vector<uint16_t> head_kinds;   // per line
    // Default: the bit of every table below that holds entries, 0x400 with a PMC model part.
    std::optional<uint16_t> option_mask;
    std::array<uint32_t, 3> discarded{};
    std::vector<uint32_t> pol_base_a, pol_base_b, pol_base_c;
    Bytes pol_offsets64, pol_offsets32;
    std::vector<HcMatrix> pol_matrices;
    std::vector<HcTaggedBytes> pol_stored;
    Bytes pol_dispersion, pol_order;
    std::optional<HcPmcModel> pmc_model;
};

// ---- Mode entry ------------------------------------------------------------------
struct HcLayerKind {
    uint16_t flags = 0;
    std::vector<uint16_t> values;  // written unless flags hold 0x4, 0x8, 0x200 or 0x4000
    int16_t grades = 0;            // the count written when no values are
    uint16_t dither_row_bytes = 0;  // flag 0x40
    uint8_t dither_matrix = 0, dither_step = 0;
    std::array<uint16_t, 3> range{};  // flag 0x4000
    uint16_t stored_row_bytes = 0;    // flag 0x200
    uint8_t stored_record = 0;
};

struct HcUnitSelector {
    int32_t logic = -1;
    int32_t variant = -1;  // written from format 1.2; -1/-1: the slot has no unit
};

struct HcSubMode {
    uint8_t number = 0;  // 0 to 4; sub-modes in ascending order
    uint32_t head_top_value = 0;
    int8_t head_top_mode = 0;
    uint32_t ignore_top = 0, ignore_bottom = 0;
    uint32_t min_length = 1;
    int32_t pre_buffering = -1;
    std::optional<uint32_t> function_flags;  // default: the mode's (which lays out the entry)
    int32_t ht_mask_switching = 0;
    uint32_t brs_method = 0xFFFFFFFFu;
    uint32_t switching_offset = 0;
    std::array<HcUnitSelector, 4> units{};  // per slot; slots of the unit mask are written
};

struct HcMode {
    uint32_t id = 0;
    uint16_t value0 = 1;
    int16_t value1 = 0;
    uint16_t bits_per_pixel = 2;
    int16_t value3 = 0;
    uint16_t color_num = 1;
    uint32_t value5 = 0;
    std::vector<HcLayerKind> layer_kinds;
    Bytes mode_bytes;
    uint16_t unit_mask = 1;
    uint16_t layer_value_count = 0;  // the declared count (read with function flag 0x80)
    uint32_t unit_value8 = 0, unit_value2 = 0, unit_value4 = 0;
    std::vector<HcSubMode> sub_modes;
    uint32_t function_flags = 0;
    Bytes color_order;                   // per nozzle array of head 0: the array count
    Bytes color_order_more;              // further heads, without function flag 0x200
    std::vector<uint16_t> array_values;  // per nozzle array: its offset on the head, in rasters
    std::array<uint16_t, 4> block_a{};   // 0x800
    struct {
        uint16_t value = 0;
        std::vector<uint16_t> list, per_color;  // list.size() x color_num
    } block_b;                            // 0x2000
    struct {
        uint32_t v0 = 0, v1 = 0, v2 = 0;
        uint16_t v3 = 0;
        Bytes bytes;
    } block_c;                            // 0x400
    struct {
        uint8_t value = 0;
        int16_t n = 1;
        Bytes codes;  // heads x arrays x n
    } split;                              // 0x200
    struct {
        uint16_t value = 0;
        std::vector<uint16_t> list;
    } block_d;                            // 0x100
    struct {
        uint16_t rows = 0;
        Bytes colors, codes;
        std::vector<uint16_t> shifts;
    } block_e;                            // 0x40
    struct {
        std::vector<std::vector<uint16_t>> starts, halftones;  // per nozzle array
        uint8_t stacked = 0;                                    // format 1.3 on
    } lht;                                // 0x10000
    struct {
        uint16_t resolution = 0;
        std::vector<uint16_t> shifts;
    } sss;                                // 0x20000
    std::vector<std::vector<uint16_t>> timings;  // 0x40000
    struct {
        uint8_t kind = 0;
        Bytes data;
    } pmc_unit;                           // 0x80000
    struct {
        uint8_t flags = 1;
        Bytes thresholds, types;
    } cms_unit;                           // 0x200000
    uint8_t lower_edge_mode = 0;          // 0x20
    std::vector<uint16_t> layer_values;
    Bytes use_heads;                      // per head
};

// ---- Microweave units ---------------------------------------------------------------
struct HcLayer {
    int16_t kind = 1;
    int32_t start = 0, end = 0;
    std::vector<int16_t> feed;                              // the cycle length
    std::vector<std::pair<uint16_t, uint16_t>> range;       // per cycle step
    std::vector<uint16_t> selector, group, step_values;     // step values: none or per step
};

struct HcRangeRow {
    uint16_t width = 0, add_remainder = 0;
    int16_t value = 0, phase = 0;
};

struct HcMwswRow {
    uint16_t width = 0, feed = 0, phase = 0;
};

// Logic flags the variants use (HcLogic::flags).
inline constexpr uint16_t kHcLowerPositioning = 0x1;
inline constexpr uint16_t kHcFTransPhaseRule = 0x2;
inline constexpr uint16_t kHcFTransFromNormal = 0x10;
inline constexpr uint16_t kHcFixedFTrans = 0x20;
inline constexpr uint16_t kHcTwoTables = 0x40;
inline constexpr uint16_t kHcRepeat = 0x100;

struct HcLogic {
    int32_t logic_id = 0, variant_id = 0;  // the variant is written from format 1.2
    uint16_t pitch = 1, top_offset = 0, flags = 0, flags2 = 0;
    std::vector<HcLayer> layers;
    std::vector<std::pair<uint16_t, uint32_t>> null_passes;  // {code, pass}
    uint16_t feed_base = 0, lower_sum_steps = 0;
    std::vector<uint16_t> head_units;
    std::vector<HcRangeRow> normal, ftrans;
    std::vector<HcMwswRow> mwsw;
};

// ---- Encoder entry ------------------------------------------------------------------
struct HcEncoder {
    uint32_t id = 0;
    std::vector<uint32_t> sub_mode_values;  // one per sub-mode of the mode: the buffering margin
    uint8_t dot_size = 0;
    uint32_t page_format = 0;
    int8_t run_length = 0;
    // The unit command's base (steps per inch) and the resolutions (dpi)
    // that divide it; the printer gets base / resolution per axis.
    uint16_t base_unit = 1, h_resolution = 1, v_resolution = 1;
    uint16_t word3 = 1;
    uint16_t flags = 0;
    Bytes init_record;
    std::vector<std::pair<uint8_t, uint8_t>> remap;  // with flag 0x1
};

struct ModelHeadControl {
    int16_t format_major = 1, format_minor = 4;
    HcHeadSection head;
    std::vector<std::pair<uint8_t, uint8_t>> color_table;  // {ink code, command colour code}
    std::vector<HcMode> modes;
    std::vector<HcLogic> units;
    std::vector<HcEncoder> encoders;
    bool packed = true;  // how the model file stores it
};

// The resource as the engine receives it (unpacked): the 16-byte header
// (format, packed flag 0, the size of what follows byte 8, then AB B0 A0 and
// four zero bytes), then the sections.
Bytes head_control_resource(const ModelHeadControl& hc, HcLayout* layout = nullptr);

// The mode identifier the job side sends for the default model's print
// modes: the four head selectors of the link tables, one byte each.
uint32_t model_head_mode_id();
// The mode identifier of a driver setting of the model (ModelDriverPrint):
// head 0x31, then the horizontal and vertical resolution in 300 dpi steps and
// 0x10 + the bits per dot, 0x20 + the bits per dot for its high-speed mode
// (the job's mode word with bit 0x4).
struct ModelDriverPrint;
uint32_t model_driver_head_mode_id(const ModelDriverPrint& print, bool high_speed = false);
// The dot-size code a driver setting's encoder sends (ESC ( e): 0x10 for
// one bit per dot and 0x11 for two, 0x30 and 0x31 in the high-speed mode,
// which prints the same passes in both directions with a dot set of its own.
uint8_t model_driver_dot_size(const ModelDriverPrint& print, bool high_speed = false);
// Halftone ink code and command colour code of an ink letter of an ink set.
uint8_t model_ink_code(char letter);
uint8_t model_color_code(char letter);

enum class HcVariant {
    Default,      // format 1.4, one head, one one-pass logic
    Format10,     // the default in formats 1.0 to 1.3 (mode ids one byte below 1.2)
    Format11,
    Format12,
    Format13,
    AllSections,  // every optional section, two heads, split order, two units over four slots
    TwoHeads,     // the default head split in two overlapping heads
    SharedUnits,  // four slots naming two units, one slot empty, a duplicate unit id
    // Pass planning.
    Interleaved,      // pitch 2 on the default head: two upper passes, overlap layers 3 and 4
    Interleaved8,     // the same logic on a head of 8 nozzles
    TwoHeadsOverlap,  // TwoHeads with a head-overlap layer: the heads share nozzles 88-91
    SplitColors,      // a split colour table: ink rows of one command colour, shifted
    Corrected,        // direction-correction values, nozzle-array offsets and head-top mode 7
    PreNormal,        // Interleaved8 whose second top pass is a pre-normal pass
    EveryPassLayer,   // Interleaved8 on two heads with every layer type of the three first groups
    // Raster side.
    EncoderModes, // one copy of the default mode per encoder case (hc_encoder_cases), ids hc_encoder_mode_id
    BandModes,    // one copy per repeat number, plane count and bits per dot, ids hc_band_mode_id
    MaskKinds,    // layer kinds of every overlap-mask kind with their tables; offset tables absent
    // Job driver.
    DriverOneBit,        // the default at one bit per dot
    DriverOverlapMasks,  // Interleaved whose overlap rows 1 and 2 take a simple mask by phase and a rotation mask
    DriverTwoHeads,      // TwoHeadsOverlap, head 1's lines 0x20-0x25, a simple mask for the shared nozzles
    DriverDeferredFeed,  // function flag 0x4 and a sub-mode 2
    DriverGrouped,       // function flag 0x40: ink 8 (0x30) in K's nozzle line 90 nozzles down; 90-nozzle passes
    DriverSplit,         // function flag 0x200: each line two sub-lines (0x10+a even, 0x40+a odd nozzles)
    DriverCycle,         // function flag 0x2000 whose cycle keeps every position
    DriverCorrected,     // function flag 0x100 whose correction is the plain feed
    DriverIgnored,       // 7 ignored rasters at the top, 5 at the bottom
    DriverTwoPlanes,     // repeat 2 and two planes: two passes at each position, one per plane
    // Edge planning, all on one head of 8 nozzles.
    Lower,            // pitch 1, feed 8: normal passes to a cycle boundary, a segment layer carrying them on, lower passes feeding 3
    LowerEdge,        // Lower with normal passes overlapping by 2 (type-4 layer) and the lower-edge record
    Mwsw,             // normal passes, then MWSW passes feeding 4 whose first shares 4 rasters (overlap layers 7 and 8)
    FTrans,           // Lower with F-trans passes between (flag 0x10, a POL index source), null passes (10, 3) and (2, 0)
    Repeat,           // repeat mode: the upper and lower passes print the normal pattern moved 2 nozzles
    TwoTables,        // Lower whose lower feeds are steps over the normal feed less feedBase (two moving-range tables)
    LowerEdgeSlot,    // Lower in slot 0 and a lower-edge logic (lower feed 2) in slot 3
    LowerInterleaved, // pitch 2: the interleaved logic (no overlap) carried on by a segment layer, lower passes feeding 3
    // The edge logics whose passes share rasters, with masks that split them
    // for the job driver: layer values 0 to 9 name a simple kind (0x20, word 0x55).
    DriverLowerEdge,
    DriverMwsw,
    DriverFTrans,
    // The logic switches: function flags 0x1 (BRS cycle 1), 0x2 and 0x400
    // (cycle 1, no head offset); slot 0 the default logic, slot 1 (mono) a
    // copy of it, slot 2 (BRS lower) passes feeding 60, slot 3 (lower edge)
    // the Lower logic.
    DriverSwitches,
    // Loss-nozzle complement.
    LossNozzle,       // TwoHeadsOverlap with layered halftoning (stack n for nozzles 16n..), a PMC model part, PMC and CMS units
};
ModelHeadControl head_control_variant(const ModelDescription& model, HcVariant variant);

// An interleaved logic at pitch 2 over n nozzles whose normal passes stand
// a, 2(n - v) - a, a, 2n - a rasters apart (a odd): every second pass prints
// one parity of rasters; passes 0 and 2 of a cycle share v nozzles (overlap
// layers 3 and 4), passes 2 and 4 share none. The normal layer starts at
// raster 2; two upper passes at rasters 0 and 1 print what it does not reach.
HcLogic interleaved_logic(uint16_t n, uint16_t v, int16_t a);

// The encoder entries of HcVariant::EncoderModes: run-length modes 0, 1,
// -1, 2, -2, 3, -128, then flag 0x1 (with remap pairs, 0x10 twice: the
// last pair wins), 0x4 and 0x8.
struct HcEncoderCase {
    int8_t run_length;
    uint16_t flags;
};
const std::vector<HcEncoderCase>& hc_encoder_cases();
uint32_t hc_encoder_mode_id(size_t case_index);
// The band modes of HcVariant::BandModes: every valid (repeat number r,
// planes P) pair at 1 and 2 bits per dot (mode value 0 = r, encoder word 3 = 1).
struct HcBandMode {
    uint16_t repeat, planes, bits;
};
const std::vector<HcBandMode>& hc_band_modes();
uint32_t hc_band_mode_id(const HcBandMode& mode);
// The layer kinds of HcVariant::MaskKinds, by index.
enum HcMaskKind : uint16_t {
    kHcSimple,        // 0x10, value 0x55
    kHcGradation64,   // 0x1, values: levels
    kHcGradation32,   // 0x2 | 0x4000: levels from the range, no values
    kHcRotation64,    // 0x4 | 0x8000, 200 grades
    kHcRotation32,    // 0x8, 200 grades
    kHcDither,        // 0x40, values: thresholds
    kHcDitherRange,   // 0x40 | 0x4000, no grade count (taken from the F-trans overlap)
    kHcStored,        // 0x200, 3 grades
    kHcSimpleSecond,  // 0x20: not the first simple kind, so not read
    kHcMaskKindCount
};
// The resource of a variant of the default model.
Bytes head_control_variant_resource(HcVariant variant);
ModelHeadControl default_head_control(const ModelDescription& model);
// Adds a copy of the first mode and encoder for each driver setting of the
// model's media and one for its high-speed mode (ids
// model_driver_head_mode_id); the default model has them.
void add_driver_head_modes(ModelHeadControl& hc, const ModelDescription& model);

// Adds the model's head-control resource (type 4000, identifier 256),
// packed or plain as its description says.
void add_model_head_control(ResWriter& writer, const ModelDescription& model);

}  // namespace ovcg_test
