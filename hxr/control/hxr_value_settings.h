// The values an engine instance takes by key before its job starts, as far as
// the colour converters read them. The instance owns one block; the colour
// converter controller receives a pointer to it when the job's converter is
// made. The keys that fill it, their checks and defaults belong to the
// engine's set-value entry; this header only fixes the layout.
#pragma once

#include <cstdint>

inline constexpr uint32_t kHxrWPrintChannels = 12;

// Output modes of white print.
inline constexpr int32_t kHxrWPrintOff = -1;
inline constexpr int32_t kHxrWPrintWhiteOnly = 0;
inline constexpr int32_t kHxrWPrintColourOnly = 1;
inline constexpr int32_t kHxrWPrintBoth = 2;

// The white-print block (keys 1024 to 1026). A 3D converter made while the
// output mode is not -1 writes the W channel into the instance's block, zeroes
// that channel's weight and cap, and keeps a copy of the whole block; the
// white-print kernels read only that copy.
struct HXRColorCvtWPrintParam {
    int32_t outputMode;                   // -1 off, 0 W only, 1 colour only, 2 both
    uint32_t infoFlags;                   // bit 0 W info present, bit 1 reduction info present
    int32_t wChannel;                     // LUT channel of colour code 16; -1 until a converter sets it
    uint32_t weight[kHxrWPrintChannels];  // 4096 = 1.0, 0..32768
    uint32_t cap[kHxrWPrintChannels];     // decoded-amount scale x 4096
    uint32_t upperBound;
    uint32_t lowerBound;
    uint32_t scaledUpperBound;  // min(upper x factor, 0xFF00000)
    uint32_t scaledLowerBound;
    uint32_t factor;              // 0..16
    uint32_t firstLevels[4];      // three levels 0..255 and 0; read by no kernel
    uint32_t secondLevels[4];     // three levels 0..255 and 0
    int32_t reductionRange;       // largest of the three second levels
    const uint32_t* colourCurve;  // 256 multipliers, 4096 = 1.0
    const uint32_t* wCurve;       // 256 multipliers, 4096 = 1.0
};

inline constexpr uint32_t kHxrPatternDChannels = 12;

// The block of set values the converters read, in the instance's order.
struct HXRValueSettings {
    HXRColorCvtWPrintParam wprint;               // keys 1024..1026
    uint32_t patternD[2][kHxrPatternDChannels];  // keys 256, 257: a word in 1..255 makes a PatternD job
    uint32_t underWhite;                         // key 258: non-zero takes the under-white CMYK tables
    uint32_t reductionMethod;                    // key 16: 0 or 1; 0xFFFFFFFF leaves the ink buffer's own
    uint32_t textEnhance;                        // key 17: 0 or 3, kept for the text-edge step
};
