// Binarize modes and the halftone-type check.
#include "hxr/binarize/hxr_bnrz_mode.h"

#include <gtest/gtest.h>

#include <iterator>
#include <map>

namespace {

// The ink sets with HybridED colours and their counts, in table order.
const std::pair<uint32_t, uint32_t> kRows[] = {
    {0, 1},   {1, 4},  {2, 3},  {3, 6},  {4, 7},   {5, 4},   {6, 7},  {7, 7},  {8, 6},  {9, 8},  {10, 8},
    {12, 7},  {13, 6}, {14, 8}, {15, 8}, {16, 10}, {17, 7},  {18, 5}, {19, 8}, {20, 9}, {24, 5}, {25, 5},
    {26, 4},  {27, 8}, {28, 5}, {29, 8}, {30, 9},  {31, 10}, {33, 8}, {34, 5}, {35, 6}, {36, 7}, {37, 8},
    {38, 12}, {39, 8}, {40, 9}, {41, 10}, {42, 10}, {43, 6}, {45, 8}, {46, 6}, {47, 7}, {48, 10}, {49, 7},
};

TEST(BnrzMode, TableRowsInOrder) {
    const HXRHybridEdModeRow* t = HXRGetHybridEdModeTable();
    size_t r = 0;
    for (const auto& [id, count] : kRows) {
        EXPECT_EQ(t[r].inkSet, id) << r;
        EXPECT_EQ(t[r].count, count) << r;
        for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(t[r].mode[i], i < count ? 2u : 0u) << id << " " << i;
        ++r;
    }
    EXPECT_EQ(r, 44u);
    EXPECT_EQ(t[44].inkSet, 0xFFFFFFFFu);
    EXPECT_EQ(t[44].count, 0u);
}

TEST(BnrzMode, EveryInkSetTypeAndColour) {
    const std::map<uint32_t, uint32_t> counts(std::begin(kRows), std::end(kRows));
    for (uint32_t ink = 0; ink < 64; ++ink)
        for (uint32_t type : {0u, 3u, 4u, 5u, 6u, 7u, 0xFFFFFFFFu})
            for (uint32_t c = 0; c < 14; ++c) {
                uint32_t want = 0;
                if (c <= 11 && type == 3) want = 1;
                if (c <= 11 && (type == 5 || type == 6)) {
                    auto it = counts.find(ink);
                    want = it != counts.end() && c < it->second ? 2 : 0;
                }
                ASSERT_EQ(HXRGetBinarizeMode(ink, type, c), want) << ink << " " << type << " " << c;
            }
    // Hand-picked: 11 and 44 have derived colours and no row.
    EXPECT_EQ(HXRGetBinarizeMode(0, 6, 0), 2u);
    EXPECT_EQ(HXRGetBinarizeMode(0, 6, 1), 0u);
    EXPECT_EQ(HXRGetBinarizeMode(11, 5, 0), 0u);
    EXPECT_EQ(HXRGetBinarizeMode(44, 6, 0), 0u);
    EXPECT_EQ(HXRGetBinarizeMode(38, 5, 11), 2u);
    EXPECT_EQ(HXRGetBinarizeMode(5, 3, 7), 1u);
    EXPECT_EQ(HXRGetBinarizeMode(0xFFFFFFFF, 3, 0), 1u);
    EXPECT_EQ(HXRGetBinarizeMode(0xFFFFFFFF, 6, 0), 0u);  // the closing row's id matches nothing
}

TEST(BnrzMode, HalftoneTypes) {
    for (uint32_t t : {3u, 5u, 6u}) EXPECT_EQ(HXRCheckHtType(t), 0u) << t;
    for (uint32_t t : {0u, 1u, 2u, 4u, 7u, 0xFFFFFFFFu}) EXPECT_EQ(HXRCheckHtType(t), 1u) << t;
}

}  // namespace
