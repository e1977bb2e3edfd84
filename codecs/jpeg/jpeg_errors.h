// Failure codes of the JPEG encoder. Every operation of the encoder reports a
// failure by throwing one of these enumeration values; the caller catches
// everything, destroys the encoder and abandons the image.
#pragma once

#include <cstdint>

namespace ovcg::jpeg {

enum ERR : uint32_t {
    ERR_ARGUMENT = 1,       // an argument or a buffer size is invalid
    ERR_CARRY_FULL = 2,     // the carry area of the output stream is full
    ERR_LINES_MISSING = 3,  // Close finds that not every image line was coded
    ERR_ROW_BUSY = 4,       // SetData while the previous MCU row is still being coded
};

enum COMP_ERR : uint32_t {
    COMP_ERR_TABLE = 2,  // a value whose category the Huffman table has no code for
};

}  // namespace ovcg::jpeg
