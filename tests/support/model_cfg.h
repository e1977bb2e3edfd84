// Writer of the halftone engine's configuration resource (correction offsets
// by ink set, output bits and the print mode's ink-set and Micro names), and
// the model's one (identifier 991).
#pragma once

#include "support/model.h"
#include "support/res_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovcg_test {

struct CfgName {
    std::string text;
    uint8_t number;
};
struct CfgMode {
    uint8_t ink_set, bits, a = 255, b = 255;
    size_t block;  // index into CfgSpec::blocks
};
struct CfgBlock {
    uint8_t width = 1;
    std::vector<std::vector<uint16_t>> entries;  // T entries of `width` values
};
struct CfgSpec {
    uint16_t version = 3;  // 2: one-byte values, 3: two-byte values
    std::vector<CfgName> list_a, list_b;
    std::vector<CfgMode> modes;
    std::vector<CfgBlock> blocks;
};
struct CfgLayout {
    size_t list_a = 0, list_b = 0, modes = 0;
    std::vector<size_t> blocks;
};
Bytes write_cfg(const CfgSpec& recipe, CfgLayout* layout = nullptr);

// The model's: ink-set names "0", Micro names of the index, a mode for each
// ink set and output bits (and one that needs both names), each block with
// one entry per dot of the ink set.
CfgSpec model_cfg(const ModelDescription& model);
// The values of entry e of the model's blocks (the empty mark left out).
std::vector<uint16_t> model_cfg_values(size_t block, size_t entry);

}  // namespace ovcg_test
