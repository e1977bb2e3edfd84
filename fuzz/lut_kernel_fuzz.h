// Pieces of the LUT kernel fuzz targets: the input reader, a band whose
// planes are exactly as long as the span needs (a read past them trips the
// address sanitizer), and the two runs (kernel and reference) into painted
// descriptors that must agree byte for byte, outside the span as well, with
// the same span and the same moved pointers.
#pragma once

#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_lut_data.h"
#include "hxr_fuzz_services.h"
#include "tests/support/band_layout.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lut_fuzz {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint32_t word() { return byte() | byte() << 8 | byte() << 16 | byte() << 24; }
    // Content bytes, cycling over what is left (zeros when nothing is).
    uint8_t content() {
        if (pos_ >= size_) return 0;
        const uint8_t b = data_[pos_ + cursor_ % (size_ - pos_)];
        ++cursor_;
        return b;
    }

private:
    const uint8_t* data_;
    size_t size_, pos_ = 0, cursor_ = 0;
};

// `lines` lines of `pixels` pixels of C channels (band_layout.h), filled
// from the input block by block.
template <int C>
struct Band {
    Band(Reader& in, int lines, size_t pixels, uint32_t depth, uint32_t pixelOffset, uint32_t attrStride) {
        ovcg_test::lay_out_band<C>(lines, pixels, depth, pixelOffset, attrStride, planes, attrs, [&](size_t bytes, bool) {
            store.emplace_back(bytes);
            for (uint8_t& b : store.back()) b = in.content();
            return static_cast<const uint8_t*>(store.back().data());
        });
    }
    std::vector<std::vector<uint8_t>> store;
    const uint8_t* planes[2 * C];
    const uint8_t* attrs[2];
};

// Two painted descriptors of `inks` inks and `columns` columns, with copies
// of the band's pointer arrays: run 0 for the kernel, run 1 for the model.
template <int C>
struct Runs {
    struct Run {
        HXRIntermediateData* d;
        const uint8_t* planes[2 * C];
        const uint8_t* attrs[2];
    };
    // False when a descriptor cannot be made.
    bool make(HXRMemMgr* mm, const Band<C>& band, int inks, int32_t columns, bool intents, uint32_t method,
              bool vExpansion, int32_t clear = -1) {
        for (Run& r : run) {
            r.d = HXRCreateIntermediateData(inks, columns > 0 ? columns : 1, 1, intents ? 1 : 0, nullptr, -1, mm);
            if (!r.d) return false;
            r.d->clearPos = clear;  // also positions the descriptor itself refuses
            std::memset(r.d->inkQuantityBuf, 0xA5, HXRGetMemSize(mm, r.d->inkQuantityBuf));
            HXRSetReductionMethod(r.d, method);
            HXRSetVExpansion(r.d, vExpansion ? 1 : 0);
            std::memcpy(r.planes, band.planes, sizeof r.planes);
            std::memcpy(r.attrs, band.attrs, sizeof r.attrs);
        }
        return true;
    }
    bool agree(HXRMemMgr* mm) const {
        const uint32_t bytes = HXRGetMemSize(mm, run[0].d->inkQuantityBuf);
        return std::memcmp(run[0].d->inkQuantityBuf, run[1].d->inkQuantityBuf, bytes) == 0 &&
               run[0].d->writtenStart == run[1].d->writtenStart && run[0].d->writtenEnd == run[1].d->writtenEnd &&
               std::memcmp(run[0].planes, run[1].planes, sizeof run[0].planes) == 0 &&
               std::memcmp(run[0].attrs, run[1].attrs, sizeof run[0].attrs) == 0;
    }
    Run run[2];
};

// PatternD upper values of ink 0 and ink 2 of both tables (the others are
// never read): mostly codes, sometimes 0 or any word.
inline void read_pattern_upper(Reader& in, HXRLutData* first, HXRLutData* second) {
    for (HXRLutData* lut : {first, second})
        for (int channel : {0, 2}) {
            const uint32_t b = in.byte();
            lut->patternUpper[channel] = b < 200 ? b : b < 230 ? 0 : in.word();
        }
}

// The band's kernel run, `kernel(run)`, and reference run, `model(run)`,
// into painted descriptors; aborts when they disagree. The band's planes
// must outlive the call.
template <int C, class Kernel, class Model>
int compare(const Band<C>& band, int inks, int32_t columns, bool intents, uint32_t method, bool vExpansion,
            int32_t clear, Kernel kernel, Model model) {
    HXRMemMgr* mm = HXRCreateMemMgr(hxr_fuzz::alloc, hxr_fuzz::release);
    if (!mm) return 0;
    Runs<C> runs;
    if (!runs.make(mm, band, inks, columns, intents, method, vExpansion, clear)) std::abort();
    kernel(runs.run[0]);
    model(runs.run[1]);
    if (!runs.agree(mm)) std::abort();
    HXRDeleteMemMgr(mm);
    return 0;
}

}  // namespace lut_fuzz
