// Token coding of one component line (plane) of RHV2.
#pragma once

#include "codecs/rhv2/rhv2_codes.h"

#include <cstddef>
#include <cstdint>

namespace ovcg::rhv2 {

// Coding context of one component, carried from line to line when the
// context carry is on.
struct Context {
    uint8_t last = 0xFF;   // most recent sample value
    uint8_t second = 0;    // most recent value different from `last`
    uint32_t run1 = 1;     // last coded run length
    uint32_t run2 = 1;     // last run length that occurred twice in a row
    uint32_t state = 2;    // 2, 3 or 4: selects the prefix table
    bool operator==(const Context&) const = default;
};

struct LineSetup {
    uint32_t width;       // samples in the plane (>= 1)
    bool above_runs;      // context carry on: runs equal to the line above allowed
    bool above_predict;   // context carry on and not the first line: predict from above
};

// Codes `cur` (width samples) against `above` (width samples, zeros on the
// first line) into `w`. Stops early once w.bytes() exceeds `stop_after` (the
// caller then stores the line raw). Updates `ctx`.
void encode_plane(const uint8_t* cur, const uint8_t* above, const LineSetup& s, Context& ctx,
                  BitWriter& w, size_t stop_after);

// Rebuilds a plane in `line`, which holds the previous line of the plane on
// entry (zeros for the first line), from the coded bytes `src` (exactly the
// row-table entry). Handles the raw escape. False on any malformed code, on a
// run past the line end, or when the bytes consumed differ from `size`.
bool decode_plane(const uint8_t* src, size_t size, const LineSetup& s, Context& ctx,
                  uint8_t* line);

}  // namespace ovcg::rhv2
