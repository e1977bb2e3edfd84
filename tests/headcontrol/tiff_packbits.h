// libtiff as an independent decoder of the run-length code: rows of equal
// width go into one in-memory bilevel TIFF, one PackBits strip per row, and
// are read back with TIFFReadEncodedStrip. Any libtiff warning or error is a
// failure (a decoder that had to discard or invent bytes warns).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovcg_test {

struct CodedRow {
    std::vector<uint8_t> plain;  // what the row must decode to (at least 1 byte)
    std::vector<uint8_t> coded;
};

// Empty when libtiff decodes every row to its plain bytes; else what went wrong.
std::string tiff_packbits_mismatch(const std::vector<CodedRow>& rows);

}  // namespace ovcg_test
