// Working records of the colour-table builder: the resource's tables read
// into memory of the instance, reshaped in place by the colour adjustment and
// the duty factor, then re-gridded into the kernels' tables. Internal to the
// builder and its adjustments; nothing outside the build keeps them.
#pragma once

#include <cstdint>

inline constexpr uint32_t kHxrLutSrcMaxGrid = 32;   // nodes per axis of a resource colour table
inline constexpr uint32_t kHxrLutGrayMaxGrid = 64;  // nodes of a resource gray table
inline constexpr uint32_t kHxrTnmxMaxGrid = 256;
inline constexpr uint32_t kHxrDuty100 = 1024;       // duty factor of 100 %
inline constexpr int32_t kHxrNoOrder = -1;
// The identifier of a duty-factor block, 16 bytes without terminator.
inline constexpr char kHxrDutyModeId[] = "DUTY_FACTOR_MODE";
inline constexpr uint32_t kHxrDutyIdBytes = 16;

// Grid levels a working table can be interpolated on: n of them (2..max),
// from 0 to 255, never falling.
inline bool HXRLutLevelsValid(const uint32_t* levels, uint32_t n, uint32_t max) {
    if (!levels || n < 2 || n > max || levels[0] != 0 || levels[n - 1] != 255) return false;
    for (uint32_t j = 1; j < n; ++j)
        if (levels[j] < levels[j - 1]) return false;
    return true;
}

// A colour table: Ns^D nodes of K ink codes in resource (LUT) order, node
// (i0, i1, i2[, i3]) at ((i0 Ns + i1) Ns + i2)[Ns + i3] x K.
struct HXRLutWork {
    uint8_t* table;
    uint32_t gridNum;                      // Ns, 2..32
    uint32_t gridPos[kHxrLutSrcMaxGrid];   // node levels 0..255 (non-decreasing), 0xFFFFFFFF past Ns
    uint32_t colorNum;                     // K, 1..12
    uint32_t dimension;                    // 3 or 4
    uint32_t gamma;                        // 50..300
    uint32_t whiteNode;                    // 1: the colour-code-10 channel is cleared at the white node
    int32_t clearOrder;                    // LUT order of colour code 10, -1 when the ink set has none
    uint32_t duty;                         // 1024 = 100 %; a 4D table applies it to the grid levels
};

// The 16-bit gray table: Ng nodes of K values (0..255 once read).
struct HXRGrayLutWork {
    uint32_t* table;
    uint32_t gridNum;                      // Ng, 2..64
    uint32_t gridPos[kHxrLutGrayMaxGrid];  // 0xFFFFFFFF past Ng
    uint32_t colorNum;
    uint32_t gamma;
    uint32_t whiteNode;
    int32_t clearOrder;
};

// Tone axes of the monochrome-photo colour control.
inline constexpr uint32_t kHxrTnmxAxes = 3;
inline constexpr uint32_t kHxrTnmxPairs = 6;

// The monochrome-photo table: G rows of K channel values.
struct HXRLutTNMXWork {
    uint32_t* table;
    uint32_t gridNum;                     // G (256)
    uint32_t gridPos[kHxrTnmxMaxGrid];
    uint32_t colorNum;
    uint32_t flag;
    uint32_t gamma;                       // the table's gamma (x 100)
    uint32_t totalInkDuty;
    uint32_t maxValue;                    // 4080, 4095, 255 or 65280
    uint32_t toneCount;                   // 4
    uint32_t rateMode;                    // outputs in 1/100 (1) or 1/1000 (2)
    // Per tone axis, six (input, output) pairs: the inputs are the tone
    // indexes with the range's bounds, the outputs the rates.
    int32_t toneIn[kHxrTnmxAxes][kHxrTnmxPairs];
    int32_t toneOut[kHxrTnmxAxes][kHxrTnmxPairs];
    // LUT orders of colour codes 1, 4, 2, 5, 3 (-1 when absent).
    int32_t order[5];
};

// Indexes into HXRLutTNMXWork::order.
enum : uint32_t { kTnmxOrderC = 0, kTnmxOrderLc = 1, kTnmxOrderM = 2, kTnmxOrderLm = 3, kTnmxOrderY = 4 };
