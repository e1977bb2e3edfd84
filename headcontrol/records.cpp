#include "headcontrol/records.h"

namespace ovcg::irac {

uint32_t make_identifier_pair(const IRACS_IDENTIFIER& id, IdentifierPair* out) {
    if (id.kind > 1 || (id.kind == 1 && id.sub_kind > 6)) return kErrStartJobIdentifier;
    const bool long_form = id.kind == 1 && id.sub_kind >= 4;
    out->mode_id = long_form ? id.long_mode : static_cast<uint32_t>(id.mode);
    out->sub_mode = id.sub_mode;
    return 0;
}

PrintDataCopy copy_print_data(const IRACS_PRINTDATA_INFO& in) {
    return PrintDataCopy{in.raster_width, in.page_length, in.color_count, 1};
}

OptionCopy copy_option(const IRACS_OPTION& in) {
    return OptionCopy{in.direction, in.pixel_shift, in.flags, 0, 0};
}

bool repack_raster_data(const IRACS_RASTERDATA& in, RasterRun* out) {
    if (in.raster_count > 0xFFFFu) return false;
    *out = RasterRun{in.lines, in.line_width, in.first_raster,
                     static_cast<uint16_t>(in.raster_count), 0};
    return true;
}

}  // namespace ovcg::irac
