// Writers of the halftone engine's dither resources (switch, plain and UBEC
// threshold masks, offsets) and the model's set of them.
#pragma once

#include "support/model.h"
#include "support/res_writer.h"

#include <cstdint>
#include <vector>

namespace ovcg_test {

// Engine identifiers of the model's dither resources (stored as type 2000
// with identifier + 100).
inline constexpr uint16_t kModelDitherSwitchId = 500;       // one area, every ink
inline constexpr uint16_t kModelDitherSwitchAreasId = 501;  // two areas
inline constexpr uint16_t kModelMask16Id = 510;             // plain, 16-bit, 64 x 64
inline constexpr uint16_t kModelMask12Id = 511;             // plain, 12-bit, 32 x 32
inline constexpr uint16_t kModelMaskUbecId = 512;           // UBEC, 4 x 4 blocks, 32 x 32
inline constexpr uint16_t kModelMaskUbec8Id = 513;          // UBEC, 4 x 2 blocks, 16 x 8
// Two odd-sized masks that no print mode of the model names, so the model
// file leaves them out: the tests of odd widths and shifts serve them under
// these identifiers themselves.
inline constexpr uint16_t kModelMaskOdd37Id = 514;          // plain, 16-bit, 37 x 16, shifted horizontally
inline constexpr uint16_t kModelMaskOdd5Id = 515;           // plain, 12-bit, 5 x 8, shifted vertically
inline constexpr uint16_t kModelDitherOffsetId = 520;
inline constexpr uint16_t kModelDitherSwitchFourId = 502;   // one area, four distinct 32 x 32 plain masks
inline constexpr uint16_t kModelDitherSwitchUbecId = 503;   // one area, 32 x 32 UBEC masks
inline constexpr uint16_t kModelMask32Ids[4] = {530, 531, 532, 533};  // plain, 32 x 32, no shift
inline constexpr uint16_t kModelMaskUbec32x2Id = 534;       // UBEC, 4 x 2 blocks, 32 x 32
inline constexpr uint16_t kModelDitherOffsetFlatId = 521;   // offsets without a vertical part

struct DitherSwitchSpec {
    uint8_t form = 1;                          // 1 one area, 2 several
    std::vector<std::vector<uint16_t>> areas;  // mask identifiers per area and ink
};
Bytes write_dither_switch(const DitherSwitchSpec& recipe);

struct PlainMaskSpec {
    uint16_t width = 0, height = 0;
    int bits = 16;  // 16 or 12
    uint16_t shift = 0;
    uint8_t direction = 0;  // 0 vertical, 1 horizontal
    std::vector<uint16_t> thresholds;  // width x height, row by row
};
Bytes write_plain_mask(const PlainMaskSpec& recipe);
// A dispersed-dot threshold matrix (sizes a power of two), thresholds 1..4080.
PlainMaskSpec model_plain_mask(uint16_t width, uint16_t height, int bits);
// A matrix of any size whose W x H thresholds are the ranks 0..W x H - 1
// scaled to 0..4079 (threshold = rank x 4080 / (W x H), rounded down), the
// ranks scattered by a stride prime to the cell count: a level T prints on
// exactly ceil(T x W x H / 4080) cells of a tile.
PlainMaskSpec model_scattered_mask(uint16_t width, uint16_t height, int bits, uint16_t shift, uint8_t direction);
// The two odd-width masks (kModelMaskOdd37Id, kModelMaskOdd5Id).
PlainMaskSpec model_odd_mask_37();
PlainMaskSpec model_odd_mask_5();

struct UbecMaskSpec {
    int32_t block_size = 16, block_w = 4, block_h = 4;
    int32_t width = 0, height = 0;
    int32_t shift_h = 0, shift_v = 0;
    std::vector<uint16_t> entries;  // block count x block size; order << 12 | threshold
};
Bytes write_ubec_mask(const UbecMaskSpec& recipe);
UbecMaskSpec model_ubec_mask(int32_t width, int32_t height, int32_t block_w, int32_t block_h);

struct DitherOffsetEntry {
    uint8_t h_mul, h_div, h_add, v_mul, v_div, v_add;
};
Bytes write_dither_offset(const std::vector<DitherOffsetEntry>& entries);
std::vector<DitherOffsetEntry> model_dither_offsets();

enum class DitherPacking { Plain, MasksPacked, AllPacked };
// Adds the model's dither resources (type 2000, identifier + 100). The switch
// names a mask for as many inks as the model's largest ink set has.
void add_model_dither(ResWriter& writer, const ModelDescription& model,
                      DitherPacking packing = DitherPacking::MasksPacked);

}  // namespace ovcg_test
