// The engine's own copies of the caller's argument records.
//
// The entry points copy every record they are given (the caller may reuse
// its records after the call) and add the fields the paths expect.
#pragma once

#include "ovcg/irac.h"

#include <cstdint>

namespace ovcg::irac {

// Code of IRAC_StartJob for an identifier kind or sub-kind out of range.
inline constexpr uint32_t kErrStartJobIdentifier = 807;

// The job's print-mode selection as the model resource reader takes it.
struct IdentifierPair {
    uint32_t mode_id;
    uint32_t sub_mode;
};

// 0 with the pair formed, or 807 for kind > 1 or kind 1 with sub-kind > 6.
// Kind 1 with sub-kind 4 to 6 takes the long mode number; kind 0 and kind 1
// with sub-kind 0 to 3 the short one, zero-extended.
uint32_t make_identifier_pair(const IRACS_IDENTIFIER& id, IdentifierPair* out);

struct PrintDataCopy {
    uint32_t raster_width;
    uint32_t page_length;
    uint16_t color_count;
    uint8_t layer_count;  // one halftone layer per colour: always 1 here
};
PrintDataCopy copy_print_data(const IRACS_PRINTDATA_INFO& in);

struct OptionCopy {
    int16_t direction;
    const int8_t* pixel_shift;
    uint32_t flags;
    uint16_t reserved;   // always 0 through this interface
    uint8_t page_flag;   // read at page start; always 0 through this interface
};
OptionCopy copy_option(const IRACS_OPTION& in);

// A raster run as the paths take it.
struct RasterRun {
    uint8_t** lines;
    uint32_t line_width;
    uint32_t first_raster;
    uint16_t raster_count;
    uint64_t reserved;  // 0
};

// False when the run's count does not fit the 16-bit count the paths keep:
// such a run is refused rather than silently cut to its low half.
bool repack_raster_data(const IRACS_RASTERDATA& in, RasterRun* out);

}  // namespace ovcg::irac
