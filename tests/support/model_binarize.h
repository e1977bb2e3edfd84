// The binarisation tests' additions to the model: print modes at the
// resolution ratios the HybridED kernels serve (1x1, 2x1, 4x1, 1x2) and one
// they do not (1080 x 720), each for halftone types 3, 5 and 6 at output bits
// 1 and 2 and, for type 3, dot mode 34; and the SML resources those modes
// name, which carry every colour of ink sets 1, 3, 11 (five dot sizes for
// its cyan and magenta at dot mode 34) and 26. The default model is left as
// it is: add_model_binarize() replaces its index with the extended one and
// adds the SML resources.
#pragma once

#include "support/model.h"
#include "support/model_index.h"
#include "support/model_sml.h"
#include "support/res_writer.h"

#include <cstdint>
#include <vector>

namespace ovcg_test {

// Engine identifiers of the added SML resources: + output bits (1, 2, 34).
inline constexpr uint16_t kModelBnrzSmlId = 80;

// The shape of the added SML resources' rates.
enum class ModelBnrzSml {
    kRamp,       // the model's ramps
    kNoSmall,    // three dot sizes, the small one unused (weight 0, no rates)
    kLargeOnly,  // three dot sizes, only the large one with rates
    kLevels255,  // 255 gradation levels instead of 256
};

struct ModelBnrzMode {
    ModelPrintMode mode;
    bool hybridRatio;  // a resolution ratio the HybridED kernels serve
};
// The added print modes: first media, document type 0, sub-type 0.
std::vector<ModelBnrzMode> model_binarize_modes(const ModelDescription& model);
// The model's index with the added rows.
IndexTextSpec model_binarize_index(const ModelDescription& model);
// The SML resource the added rows of `out_bits` name.
SmlSpec model_binarize_sml(const ModelDescription& model, uint32_t out_bits, ModelBnrzSml shape);
// Replaces the index and adds the three SML resources.
void add_model_binarize(ResWriter& writer, const ModelDescription& model, ModelBnrzSml shape = ModelBnrzSml::kRamp);

}  // namespace ovcg_test
