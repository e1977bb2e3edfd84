// Writer of the halftone engine's rate resource (two-point correction lines
// per ink), and the model's one.
#pragma once

#include "support/model.h"
#include "support/res_writer.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ovcg_test {

struct RateLine {
    int16_t x0, y0, x1, y1;
};
struct RateEntry {
    int16_t code = 0;
    std::vector<std::optional<RateLine>> lines;  // k of them; none: offset 0
};
struct RateSpec {
    uint16_t version = 1;
    uint8_t byte20 = 1;
    uint8_t k = 0;  // offsets per entry (every entry has k lines)
    std::vector<RateEntry> entries;
};
// The lines follow the 32-byte header and the entries, in entry order.
Bytes write_rate(const RateSpec& recipe);
inline constexpr size_t kRateEntriesAt = 32;

// Every ink of the model's ink sets, three lines each (one per dot size of
// output bits 2); the last ink lacks its third line.
RateSpec model_rate(const ModelDescription& model);

}  // namespace ovcg_test
