// Writer of the halftone engine's LUT resource (a tagged container of colour
// tables) with any subset of its blocks, and the model's LUTs.
#pragma once

#include "support/model.h"
#include "support/res_writer.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ovcg_test {

// The "inkd" code whose value is the total ink duty.
inline constexpr uint8_t kLutInkdTotalCode = 20;

struct LutClut {
    uint8_t dim = 3, out_type = 0;
    std::vector<uint8_t> inks;   // unit size U codes (255 after the valid ones)
    std::vector<uint8_t> pos;    // G grid positions, written for every axis
    std::vector<uint8_t> table;  // G^dim nodes of U bytes
};
struct LutMono {
    uint8_t dim = 1, unit = 1, out_type = 0;
    std::vector<uint8_t> pos;
    std::vector<uint8_t> table;  // G levels of unit bytes
};
struct LutGray {
    uint8_t dim = 1, out_type = 0, selector = 2;
    int16_t gamma = 0;
    std::vector<uint8_t> inks, pos;
    std::vector<int16_t> table;  // G levels of U values
};
struct LutTnmx {
    uint8_t dim = 1, out_type = 0, selector = 3;
    int16_t gamma = 0;
    std::vector<uint8_t> inks, pos;  // G = pos.size()
    std::vector<uint16_t> table;     // G levels of U values
};
struct LutCtcn {
    uint8_t tone_count = 4, rate_mode = 1;
    std::array<std::pair<int16_t, int16_t>, 3> ranges{{{75, -75}, {75, -75}, {75, -75}}};  // {upper, lower}
    std::vector<uint8_t> types;
    std::vector<std::array<int16_t, 4>> tones;  // one per type
    std::vector<std::array<int16_t, 6>> rates;  // one per type
};

struct LutSpec {
    std::string version = "5100";
    bool planar_mark = true;  // byte 15 '5': a packed copy can find its "clut"
    std::optional<LutClut> clut;
    std::optional<LutMono> mlut;
    std::optional<LutGray> egry;
    std::optional<std::pair<int16_t, int16_t>> cdbg, mdbg;
    std::optional<int16_t> gama;
    bool encd = false;
    std::optional<std::vector<std::pair<uint8_t, int16_t>>> inkd;  // {code, value}
    std::optional<LutTnmx> tnmx;
    std::optional<LutCtcn> ctcn;
    // Further entries after the known ones: {entry tag, block bytes}.
    std::vector<std::pair<std::string, Bytes>> extra;
};
// The container; `offsets` receives the block offset of each known tag.
Bytes write_lut(const LutSpec& recipe, std::map<std::string, size_t>* offsets = nullptr);
// The same, packed with the colour table stored planar (needs a "clut").
Bytes pack_lut_resource(const LutSpec& recipe);

// The model's tables for the colour ink set: a 3D clut of 17 nodes (scaled
// by `shade`), cdbg, mdbg, gama, egry and a mono table; a 4D clut of 9 nodes;
// a monochrome-photo table of 256 levels with inkd and ctcn.
LutSpec model_lut_3d(const ModelDescription& model, int shade);
LutSpec model_lut_4d(const ModelDescription& model);
LutSpec model_lut_tnmx(const ModelDescription& model);
// The monochrome-photo table for the LUT colours of another ink set.
LutSpec model_lut_tnmx(const ModelDescription& model, int32_t ink_set);
// The model's grid positions of n nodes (0 ... 255, even steps).
std::vector<uint8_t> model_grid(size_t n);

}  // namespace ovcg_test
