// Shared pieces of the colour-conversion tests: a fixture with colour
// managers by output colour count, image records, descriptor snapshots and
// valid colour tables the converters accept.
#pragma once

#include "hxr/binarize/hxr_randnum.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_lut_data.h"
#include "support/hxr_fixture.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <functional>
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

// Address space reserved but not committed: pages far apart become usable
// on demand, so samples gigabytes from a line start can be placed.
class SparseSpace {
public:
    explicit SparseSpace(size_t size) : size_(size) {
        void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    }
    ~SparseSpace() {
        if (base_) munmap(base_, size_);
    }
    SparseSpace(const SparseSpace&) = delete;
    SparseSpace& operator=(const SparseSpace&) = delete;
    uint8_t* base() { return base_; }
    // The byte at `offset`, its page made readable and writable.
    uint8_t* at(size_t offset) {
        const size_t page = offset & ~size_t{4095};
        EXPECT_EQ(mprotect(base_ + page, 4096, PROT_READ | PROT_WRITE), 0);
        return base_ + offset;
    }

private:
    uint8_t* base_;
    size_t size_;
};

// Pixel 3 at a pixel offset of 0x7FFFFFFF samples lies past 4 GiB; a 32-bit
// product would wrap to this offset instead.
inline constexpr size_t kFarOffset = size_t{3} * 0x7FFFFFFF;
inline constexpr size_t kWrappedOffset = kFarOffset & 0xFFFFFFFF;

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

class ColorTest;

// The arguments of one band call, converter-neutral.
struct BandCall {
    void* cvt = nullptr;
    HXRIntermediateData* ink = nullptr;
    HXRRandNum* random = nullptr;
    const uint8_t* planes[2 * kHxrMaxInkNum] = {};
    const uint8_t* attrs[2] = {};
    bool planeArray = true, attrArray = true;  // false: pass null for the array
    int32_t count = 4, start = 2, lines = 2, line = 0;
    uint32_t width = 0;  // the converter's image width
    int32_t inks = 0;    // the descriptor's ink count
    const uint8_t* const* planeArg() const { return planeArray ? planes : nullptr; }
    const uint8_t* const* attrArg() const { return attrArray ? attrs : nullptr; }
};
using BandRun = std::function<uint32_t(const BandCall&)>;
struct Refusal {
    const char* what;
    std::function<void(BandCall&, ColorTest&)> breakIt;
};

class ColorTest : public HxrTest {
public:
    // A passing band for a converter of image width 10 at scale 2: lines of
    // `perLine` planes over `pixels` (64 bytes), attribute bytes from it too,
    // a painted descriptor of `inks` inks and 20 columns.
    BandCall plain_band(void* cvt, int32_t inks, uint32_t perLine, const uint8_t* pixels) {
        BandCall b{cvt, buffer(inks, 20), HXRCreateRandNum(mm)};
        for (uint32_t j = 0; j < 2 * perLine; ++j) b.planes[j] = pixels + 32 * (j / perLine) + j % perLine;
        b.attrs[0] = pixels;
        b.attrs[1] = pixels + 1;
        b.width = 10;
        b.inks = inks;
        paint(b.ink);
        return b;
    }
    // A band that `make` builds passes; each case breaks a fresh one, which
    // is refused with the descriptor unchanged byte for byte. Every
    // converter refuses the common cases (bands of end x scale + 1 > 8
    // columns, attribute stride 1, lines 2).
    void expect_refusals(const std::function<BandCall()>& make, const BandRun& run, const std::vector<Refusal>& cases) {
        BandCall ok = make();
        EXPECT_EQ(run(ok), 0u) << "the unbroken band";
        std::vector<Refusal> all = {
            {"null converter", [](BandCall& b, ColorTest&) { b.cvt = nullptr; }},
            {"null descriptor", [](BandCall& b, ColorTest&) { b.ink = nullptr; }},
            {"null random state", [](BandCall& b, ColorTest&) { b.random = nullptr; }},
            {"negative start", [](BandCall& b, ColorTest&) { b.start = -2; }},
            {"negative count", [](BandCall& b, ColorTest&) { b.count = -1; }},
            {"one past the width",
             [](BandCall& b, ColorTest&) { b.count = static_cast<int32_t>(b.width) - b.start + 1; }},
            {"start + count wraps", [](BandCall& b, ColorTest&) { b.start = b.count = INT32_MAX; }},
            {"lines 0", [](BandCall& b, ColorTest&) { b.lines = 0; }},
            {"lines 3", [](BandCall& b, ColorTest&) { b.lines = 3; }},
            {"no plane array", [](BandCall& b, ColorTest&) { b.planeArray = false; }},
            {"no attribute array", [](BandCall& b, ColorTest&) { b.attrArray = false; }},
            {"line 1 attributes missing", [](BandCall& b, ColorTest&) { b.attrs[1] = nullptr; }},
            {"16-bit descriptor", [](BandCall& b, ColorTest& t) { b.ink = t.buffer(b.inks, 64, 2); }},
            {"rows too short", [](BandCall& b, ColorTest& t) { b.ink = t.buffer(b.inks, 1); }},
        };
        all.insert(all.end(), cases.begin(), cases.end());
        for (const Refusal& c : all) {
            SCOPED_TRACE(c.what);
            BandCall b = make();
            c.breakIt(b, *this);
            const Snapshot before = b.ink ? snap(b.ink) : Snapshot{};
            EXPECT_EQ(run(b), 1u);
            if (b.ink) {
                EXPECT_TRUE(snap(b.ink) == before);
            }
        }
    }

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
