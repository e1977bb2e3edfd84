// Shared pieces of the colour-conversion tests: a fixture with colour
// managers by output colour count, image records, descriptor snapshots and
// valid colour tables the converters accept.
#pragma once

#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_lut_data.h"
#include "support/hxr_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace color_test {

// An ink set for each output colour count the tables know (3 has none).
inline uint32_t ink_set_for(uint32_t count) {
    switch (count) {
        case 1: return 0;
        case 3: return 2;
        case 4: return 1;
        case 5: return 18;
        case 6: return 3;
        case 7: return 4;
        case 8: return 9;
        case 9: return 20;
        case 10: return 16;
        case 12: return 38;
        default: return 0xFFFFFFFF;
    }
}
inline constexpr uint32_t kCounts[] = {1, 4, 5, 6, 7, 8, 9, 10, 12};

inline _HXR_IMAGE_INFO image(uint32_t mode, uint32_t width, uint32_t pixelOffset = 3, uint32_t sampleBytes = 1,
                             uint32_t attrStride = 0) {
    return _HXR_IMAGE_INFO{mode, sampleBytes, pixelOffset, attrStride, width};
}

// The descriptor's record and every byte of its row block.
struct Snapshot {
    HXRIntermediateData record;
    std::vector<uint8_t> block;
    bool operator==(const Snapshot& o) const {
        return std::memcmp(&record, &o.record, sizeof record) == 0 && block == o.block;
    }
};

// A table the converters accept: `channels` inks on a grid of `grid` nodes
// per axis in `dimension` dimensions, pre-table inside the grid.
struct TestLut {
    std::vector<uint32_t> grid;
    HXRLutData lut{};
    TestLut(uint32_t dimension, uint32_t gridNum, uint32_t channels) {
        size_t nodes = 1;
        for (uint32_t d = 0; d < dimension; ++d) nodes *= gridNum;
        grid.assign(nodes * ((channels + 3) / 4), 0x01020304u);
        lut.grid = grid.data();
        for (uint32_t v = 0; v < 256; ++v) lut.preTable[v] = v * (gridNum - 1);
        lut.gridNum = gridNum;
        lut.dimension = dimension;
        lut.channels = channels;
    }
};

class ColorTest : public HxrTest {
public:
    // Colour manager with `count` output colours (kept until the manager goes).
    const HXRClrMgr* clr(uint32_t count) {
        HXRClrMgr* c = HXRCreateClrMgr(ink_set_for(count), 1, 0, mm);
        EXPECT_NE(c, nullptr) << count;
        if (c) {
            EXPECT_EQ(HXRGetOutputColorNum(c), count);
        }
        return c;
    }
    const HXRClrMgr* clr_of_set(uint32_t inkSet) { return HXRCreateClrMgr(inkSet, 1, 0, mm); }

    HXRIntermediateData* buffer(int32_t inks, int32_t width, int32_t element = 1, uint32_t intent = 1,
                                const uint32_t* off = nullptr) {
        HXRIntermediateData* d = HXRCreateIntermediateData(inks, width, element, intent, off, -1, mm);
        EXPECT_NE(d, nullptr);
        return d;
    }
    // Fills every row byte with a pattern so untouched bytes show.
    void paint(HXRIntermediateData* d, uint8_t value = 0xA5) {
        std::memset(d->inkQuantityBuf, value, HXRGetMemSize(mm, d->inkQuantityBuf));
    }
    Snapshot snap(const HXRIntermediateData* d) {
        Snapshot s;
        std::memcpy(&s.record, d, sizeof s.record);
        const uint32_t size = HXRGetMemSize(mm, d->inkQuantityBuf);
        s.block.assign(d->inkQuantityBuf, d->inkQuantityBuf + size);
        return s;
    }
};

}  // namespace color_test
