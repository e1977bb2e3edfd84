// Binarize modes: how each halftone colour of a job is binarised, from the
// job's halftone type and ink set. Type 3 dithers every colour; types 5 and 6
// use hybrid error diffusion for the colours the ink set's hybridEdMode row
// marks (6 selects the HybridED kernel tables, 5 the AllEDOnly ones).
#pragma once

#include <cstdint>

inline constexpr uint32_t kHxrBnrzNone = 0;       // no binariser: the colour fails every band
inline constexpr uint32_t kHxrBnrzDither = 1;
inline constexpr uint32_t kHxrBnrzHybridED = 2;
inline constexpr uint32_t kHxrBnrzUbec = 4;       // tested by the queries; no rule produces it

inline constexpr uint32_t kHxrHtTypeDither = 3;
inline constexpr uint32_t kHxrHtTypeAllEDOnly = 5;
inline constexpr uint32_t kHxrHtTypeHybridED = 6;

// A row of hybridEdMode: {ink-set id, colour count, mode per colour index}.
struct HXRHybridEdModeRow {
    uint32_t inkSet;
    uint32_t count;
    uint32_t mode[12];
};

// 0 for halftone types 3, 5 and 6; 1 for every other value.
uint32_t HXRCheckHtType(uint32_t htType);
// The mode of halftone colour `index` (0 above 11, for other halftone types,
// and under types 5 and 6 for ink sets without a row).
uint32_t HXRGetBinarizeMode(uint32_t inkSet, uint32_t htType, uint32_t index);
// The table, closed by a row whose id is 0xFFFFFFFF.
const HXRHybridEdModeRow* HXRGetHybridEdModeTable();
