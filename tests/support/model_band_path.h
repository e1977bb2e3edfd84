// The band-path resource of the synthetic model (type 4000, identifier 768)
// and its writer.
//
// Layout: u16 version, three kept bytes, u32 lines per band, i8 run-length
// flag, u16 ink count, the ink codes, the command colour codes. The writer
// records where it put each field (HcLayout) so that a test can break any
// of them with patch_field().
#pragma once

#include "support/model_head_control.h"
#include "support/res_writer.h"

#include <array>
#include <cstdint>
#include <optional>

namespace ovcg_test {

inline constexpr uint16_t kBandPathModelId = 768;

struct ModelBandPath {
    uint16_t version = 1;
    std::array<uint8_t, 3> kept{};
    uint32_t lines = 8;      // lines per band
    int8_t run_length = 1;   // 0 raw only; the sign chooses the coder
    std::optional<uint16_t> ink_count;  // default: inks.size()
    Bytes inks;              // ink codes
    Bytes colours;           // command colour codes, one per ink
};

// Fields: "version", "kept", "lines", "run_length", "ink_count", "inks",
// "colours" (the arrays' first byte).
Bytes band_path_resource(const ModelBandPath& band, HcLayout* layout = nullptr);

// Every ink of the model's head-control colour table with its command colour.
ModelBandPath default_band_path(const ModelDescription& model);

void add_model_band_path(ResWriter& writer, const ModelDescription& model);

}  // namespace ovcg_test
