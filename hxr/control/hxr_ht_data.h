// Records the host halftoning data set builds and the binariser reads: the
// dither data of one colour in one dither area, the colour's offsets into the
// tiling, and the per-colour SML (dot-size rate) rows.
#pragma once

#include <cstdint>

// Threshold matrix of one colour in one dither area, W x H cells in rows of
// `stride` cells. A cell holds the resource's threshold plus the binariser's
// threshold addition (8192). Rows are padded past the matrix: the cells after
// column W - 1 continue the same row of the tile to its right, that is matrix
// row (row + ShiftV) mod H from column 0, so that four consecutive cells can
// be read from any column below W (stride >= W + 3).
struct HXRDthData {
    int32_t SizeH;   // W
    int32_t SizeV;   // H
    int32_t ShiftH;  // each further band of H nozzle rows starts ShiftH columns to the right
    int32_t ShiftV;  // each step right across a tile edge moves ShiftV rows down
    const uint16_t* cells;
    uint32_t stride;
};

// Where the colour lies in the tiling.
struct HXRDthOffset {
    uint32_t OffsetH;
    uint32_t OffsetV;
};

inline constexpr uint32_t kHxrSmlMaxDots = 6;

// SML data of one colour: per gradation level, the rates of its dot sizes on
// the 0..4080 scale (4080 = a dot on every pixel), gradation-major: level g,
// dot d at rates[g x dotSizeNum + d].
struct HXRSmlColorData {
    uint32_t gradationNum;  // 256, or 65535 for the expanded monochrome-photo rows
    uint32_t dotSizeNum;    // 1..6
    uint32_t dotValue[kHxrSmlMaxDots];
    uint32_t* rates;        // gradationNum x dotSizeNum
};
