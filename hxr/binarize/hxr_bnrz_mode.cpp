#include "hxr/binarize/hxr_bnrz_mode.h"

#include <array>
#include <cstddef>
#include <iterator>

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFFu;

struct IdCount {
    uint32_t id, count;
};

// Ink set: number of leading colours that use HybridED.
constexpr IdCount kHybridEdCounts[] = {
    {0, 1},  {1, 4},  {2, 3},   {3, 6},  {4, 7},  {5, 4},  {6, 7},  {7, 7},  {8, 6},  {9, 8},  {10, 8},
    {12, 7}, {13, 6}, {14, 8},  {15, 8}, {16, 10}, {17, 7}, {18, 5}, {19, 8}, {20, 9}, {24, 5}, {25, 5},
    {26, 4}, {27, 8}, {28, 5},  {29, 8}, {30, 9}, {31, 10}, {33, 8}, {34, 5}, {35, 6}, {36, 7}, {37, 8},
    {38, 12}, {39, 8}, {40, 9}, {41, 10}, {42, 10}, {43, 6}, {45, 8}, {46, 6}, {47, 7}, {48, 10}, {49, 7},
};
constexpr std::size_t kRows = std::size(kHybridEdCounts);
static_assert(kRows == 44, "one row per ink set with HybridED colours");

// Every row follows one rule: mode 2 below the colour count, 0 from there on.
constexpr std::array<HXRHybridEdModeRow, kRows + 1> make_table() {
    std::array<HXRHybridEdModeRow, kRows + 1> t{};
    for (std::size_t r = 0; r < kRows; ++r) {
        t[r].inkSet = kHybridEdCounts[r].id;
        t[r].count = kHybridEdCounts[r].count;
        for (uint32_t i = 0; i < 12; ++i) t[r].mode[i] = i < t[r].count ? kHxrBnrzHybridED : kHxrBnrzNone;
    }
    t[kRows].inkSet = kEnd;
    return t;
}

constexpr std::array<HXRHybridEdModeRow, kRows + 1> kHybridEdMode = make_table();

}  // namespace

uint32_t HXRCheckHtType(uint32_t t) {
    return t == kHxrHtTypeDither || t == kHxrHtTypeAllEDOnly || t == kHxrHtTypeHybridED ? 0u : 1u;
}

uint32_t HXRGetBinarizeMode(uint32_t inkSet, uint32_t htType, uint32_t index) {
    if (index > 11) return kHxrBnrzNone;
    if (htType == kHxrHtTypeDither) return kHxrBnrzDither;
    if (htType != kHxrHtTypeAllEDOnly && htType != kHxrHtTypeHybridED) return kHxrBnrzNone;
    for (const HXRHybridEdModeRow* r = kHybridEdMode.data(); r->inkSet != kEnd; ++r)
        if (r->inkSet == inkSet) return r->mode[index];
    return kHxrBnrzNone;
}

const HXRHybridEdModeRow* HXRGetHybridEdModeTable() { return kHybridEdMode.data(); }
