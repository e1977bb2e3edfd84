// Writer of the printer-identifier blob a caller may hand the halftone
// engine: the list of correction IDs that pick the printer's ink-weight
// corrections, and the model's printer's IDs.
#pragma once

#include "support/res_writer.h"

#include <cstdint>
#include <vector>

namespace ovcg_test {

// Short form (at most 254 IDs): 0x20, u8 n = IDs + 1, one unused byte, the
// IDs. Long form: 0x30, u16le n, one unused byte, the IDs.
Bytes write_printer_id(const std::vector<uint8_t>& ids, bool long_form);
// `count` IDs, none of them 0.
std::vector<uint8_t> model_printer_ids(size_t count);

}  // namespace ovcg_test
