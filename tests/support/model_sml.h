// Writer of the halftone engine's SML (dot-size rate) resource, and the
// model's SML data.
#pragma once

#include "support/model.h"
#include "support/res_writer.h"

#include <cstdint>
#include <vector>

namespace ovcg_test {

struct SmlInk {
    uint8_t code = 0;
    uint8_t stride = 2;      // bytes from one rate to the next
    uint16_t max = 4080;
    std::vector<int16_t> weights;  // tenths, one per dot
    std::vector<uint16_t> rates;   // dot-major: rates[d x G + level]
    uint16_t dbg0 = 100, dbg255 = 100;
};
struct SmlSpec {
    uint16_t grad = 256;
    std::vector<SmlInk> inks;
    bool skipped_tables = false;  // add tables of kinds 4 and 5
};
// Where the writer put things, for tests that break them.
struct SmlLayout {
    size_t directory = 0;
    size_t ink_table = 0, set_table = 0, info_table = 0, dbg_table = 0;  // first entries
    std::vector<size_t> header, set, info, dbg;                         // per ink
};
Bytes write_sml(const SmlSpec& recipe, SmlLayout* layout = nullptr);

// The model's rates for `dots` dot sizes (1..6) at `grad` levels: the ink
// passes from each dot size to the next larger one as the level rises, so
// rows sum to at most 4080 and the ink they put down never decreases. Dot
// weights rise with the dot size (1: 10, 3: 3, 6, 10, else evenly from 2 to
// 10). zero_dot >= 0 gives that dot weight 0 and no rates (the ramp runs over
// the other dots).
SmlInk model_sml_ink(uint8_t code, int dots, uint16_t dbg0, uint16_t dbg255, uint16_t grad = 256,
                     int zero_dot = -1);
// The SML of the colour ink sets' inks, or of the monochrome ink, for output
// bits 1 or 2.
SmlSpec model_sml(const ModelDescription& model, bool colour, int out_bits);

}  // namespace ovcg_test
