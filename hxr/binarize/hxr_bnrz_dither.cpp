#include "hxr/binarize/hxr_bnrz_dither.h"

#include "hxr/binarize/hxr_runtime_sml.h"

#include <cstring>
#include <iterator>

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFFu;
constexpr int32_t kMaxSpanEnd = 0x7FFFFFF7;  // x0 + n + 7 stays within int32

// Bit 12 of cell - level: 1 where the threshold lies below the level.
inline uint32_t prints(uint32_t cell, uint32_t level) { return ((cell - level) >> 12) & 1u; }

template <typename In>
inline bool all_zero(const In* v) {
    if constexpr (sizeof(In) == 1) {
        uint32_t w;
        std::memcpy(&w, v, sizeof w);
        return w == 0;
    } else {
        uint64_t w;
        std::memcpy(&w, v, sizeof w);
        return w == 0;
    }
}

template <typename In>
inline uint32_t level_index(In v, uint32_t last) {
    if constexpr (sizeof(In) == 1) {
        return v;
    } else {
        return v > last ? last : v;
    }
}

// One group of four pixels at 1 bit: their bits, first pixel highest, and the
// number of dots in *dots.
template <typename In, bool Skip>
inline uint32_t group1(const In* ink, const uint16_t* cell, const uint32_t* rate, uint32_t last, uint32_t& tested,
                       uint32_t& dots) {
    if (Skip && all_zero(ink)) return 0;
    // The dots are summed as they are made: without a hardware population
    // count in the target, std::popcount is a library call per group.
    uint32_t bits = 0;
    for (int j = 0; j < 4; ++j) {
        const uint32_t p = prints(cell[j], rate[level_index(ink[j], last)]);
        bits = (bits << 1) | p;
        dots += p;
    }
    tested += 4;
    return bits;
}

// One group at 2 bits: the byte of four codes, counted by code.
template <typename In, bool Skip>
inline uint32_t group2(const In* ink, const uint16_t* cell, const uint32_t* rate, uint32_t last, uint32_t* count) {
    if (Skip && all_zero(ink)) return 0;
    uint32_t byte = 0;
    for (int j = 0; j < 4; ++j) {
        const uint32_t* r = rate + 3 * level_index(ink[j], last);
        const uint32_t c = cell[j];
        const uint32_t code = prints(c, r[0]) + prints(c, r[1]) + prints(c, r[2]);
        ++count[code];
        byte = (byte << 2) | code;
    }
    return byte;
}

// Takes the pixels outside [x0, x0 + n) of the first and last byte back out
// of the counts; restores the first byte's leading pixels from `saved`, clears
// the last byte's trailing ones. Bits per pixel: 1 or 2.
template <int Bits>
void mend_span(uint8_t* plane, uint32_t* counts, uint8_t saved, int32_t x0, int32_t n) {
    constexpr int32_t kPerByte = 8 / Bits;
    constexpr uint32_t kCode = (1u << Bits) - 1;
    auto take_back = [&](uint32_t byte, int32_t from, int32_t to) {
        for (int32_t j = from; j < to; ++j)
            if (const uint32_t code = (byte >> (8 - Bits * (j + 1))) & kCode) --counts[code];
    };
    const int32_t x1 = x0 + n;
    if (const int32_t head = x0 % kPerByte) {
        uint8_t& b = plane[x0 / kPerByte];
        const uint8_t keep = uint8_t(0xFFu >> (Bits * head));
        take_back(b, 0, head);
        b = uint8_t((b & keep) | (saved & ~keep));
    }
    if (const int32_t tail = x1 % kPerByte) {
        uint8_t& b = plane[x1 / kPerByte];
        take_back(b, tail, kPerByte);
        b = uint8_t(b & (0xFF00u >> (Bits * tail)));
    }
}

}  // namespace

template <typename In, int Bits, bool Skip>
void HXRDitherKernelT(uint8_t* plane, uint32_t* counts, const In* ink, const uint8_t*, const uint32_t* const* rates,
                      const HXRDthData* dither, const HXRDthOffset* offset, int32_t x0, int32_t n, uint32_t nozzle,
                      uint32_t last) {
    constexpr int32_t kPerByte = 8 / Bits;
    const int32_t first = x0 / kPerByte, end = (x0 + n + kPerByte - 1) / kPerByte;
    const uint8_t saved = x0 % kPerByte ? plane[first] : 0;
    const uint32_t* rate = rates[0];
    ovcg::DitherWalk walk(*dither, *offset, nozzle, int64_t(first) * kPerByte);
    const In* v = ink + ptrdiff_t(first) * kPerByte;
    if constexpr (Bits == 1) {
        uint32_t tested = 0, dots = 0;
        for (int32_t b = first; b < end; ++b, v += 8) {
            uint32_t byte = group1<In, Skip>(v, walk.cells(), rate, last, tested, dots) << 4;
            walk.next();
            byte |= group1<In, Skip>(v + 4, walk.cells(), rate, last, tested, dots);
            walk.next();
            plane[b] = uint8_t(byte);
        }
        counts[0] += tested - dots;
        counts[1] += dots;
    } else {
        uint32_t count[4] = {};
        for (int32_t b = first; b < end; ++b, v += 4) {
            plane[b] = uint8_t(group2<In, Skip>(v, walk.cells(), rate, last, count));
            walk.next();
        }
        for (int k = 0; k < 4; ++k) counts[k] += count[k];
    }
    mend_span<Bits>(plane, counts, saved, x0, n);
}

// The six kernels.
#define OVCG_DITHER_KERNEL(In, Bits, Skip)                                                                    \
    template void HXRDitherKernelT<In, Bits, Skip>(uint8_t*, uint32_t*, const In*, const uint8_t*,          \
                                                   const uint32_t* const*, const HXRDthData*,                \
                                                   const HXRDthOffset*, int32_t, int32_t, uint32_t, uint32_t);
OVCG_DITHER_KERNEL(uint8_t, 1, true)
OVCG_DITHER_KERNEL(uint8_t, 2, true)
OVCG_DITHER_KERNEL(uint8_t, 1, false)
OVCG_DITHER_KERNEL(uint8_t, 2, false)
OVCG_DITHER_KERNEL(uint16_t, 1, true)
OVCG_DITHER_KERNEL(uint16_t, 2, true)
#undef OVCG_DITHER_KERNEL

const HXRDitherFuncRow DitherFuncTable[] = {
    {1, HXRBinarizeDitherIn8BitOut1Bit, HXRBinarizeDitherIn16BitOut1Bit},
    {2, HXRBinarizeDitherIn8BitOut2Bit, HXRBinarizeDitherIn16BitOut2Bit},
    {34, HXRBinarizeDitherIn8BitOut2Bit, HXRBinarizeDitherIn16BitOut2Bit},
    {kEnd, nullptr, nullptr},
};
// The monochrome-photo converters give ink 0 a level of its own: no shortcut.
const HXRDitherFuncRow TNMXDitherFuncTable[] = {
    {1, HXRBinarizeTNMXDitherIn8BitOut1Bit, HXRBinarizeDitherIn16BitOut1Bit},
    {2, HXRBinarizeTNMXDitherIn8BitOut2Bit, HXRBinarizeDitherIn16BitOut2Bit},
    {34, HXRBinarizeTNMXDitherIn8BitOut2Bit, HXRBinarizeDitherIn16BitOut2Bit},
    {kEnd, nullptr, nullptr},
};
static_assert(std::size(DitherFuncTable) == 4 && std::size(TNMXDitherFuncTable) == 4, "three dot modes per table");

HXRDitherBinarizer* HXRCreateBinarizeDither(uint32_t kind, uint32_t elementSize, uint32_t dotMode, HXRMemMgr* mm) {
    auto* b = static_cast<HXRDitherBinarizer*>(HXRAllocMem(mm, sizeof(HXRDitherBinarizer)));
    if (!b) return nullptr;
    const HXRDitherFuncRow* row = (kind & ~2u) == 4 ? TNMXDitherFuncTable : DitherFuncTable;
    for (; row->dotMode != kEnd; ++row) {
        if (row->dotMode != dotMode) continue;
        b->kernel8 = elementSize == 1 ? row->kernel8 : nullptr;
        b->kernel16 = elementSize == 2 ? row->kernel16 : nullptr;
        break;
    }
    if (!b->kernel8 && !b->kernel16) return nullptr;  // the block stays with the manager
    b->converterKind = kind;
    b->elementSize = elementSize;
    b->dotMode = dotMode;
    return b;
}

namespace {

template <typename In>
uint32_t run(const HXRDitherBinarizer* b, HXRDitherKernel<In> kernel, uint8_t* plane, uint32_t* counts,
             const In* ink, const uint8_t* intent, int32_t x0, int32_t n, const HXRDthData* d,
             const HXRDthOffset* off, const HXRSmlColorData* const* sml, uint32_t nozzle) {
    if (!b) return 1;
    if (!plane || !ink) return 0;
    if (!counts || !d || !off || !sml || !sml[0] || !sml[1]) return 1;
    if (!kernel || HXRCheckDthData(d) != 0) return 1;
    if (x0 < 0 || n < 0 || n > kMaxSpanEnd - x0) return 1;
    if (HXRCheckSmlRow(sml[0], b->dotMode) != 0) return 1;
    const uint32_t* rates[2] = {sml[0]->rates, sml[1]->rates};
    kernel(plane, counts, ink, intent, rates, d, off, x0, n, nozzle, sml[0]->gradationNum - 1);
    return 0;
}

}  // namespace

uint32_t HXRBinarizeDither(const HXRDitherBinarizer* b, uint8_t* plane, uint32_t* counts, const uint8_t* ink,
                           const uint8_t* intent, int32_t x0, int32_t n, const HXRDthData* d, const HXRDthOffset* off,
                           const HXRSmlColorData* const* sml, uint32_t nozzle) {
    return run<uint8_t>(b, b ? b->kernel8 : nullptr, plane, counts, ink, intent, x0, n, d, off, sml, nozzle);
}

uint32_t HXRBinarizeDither16bit(const HXRDitherBinarizer* b, uint8_t* plane, uint32_t* counts, const uint16_t* ink,
                                const uint8_t* intent, int32_t x0, int32_t n, const HXRDthData* d,
                                const HXRDthOffset* off, const HXRSmlColorData* const* sml, uint32_t nozzle) {
    return run<uint16_t>(b, b ? b->kernel16 : nullptr, plane, counts, ink, intent, x0, n, d, off, sml, nozzle);
}

uint32_t HXRGetBnrzDitherDthThreshAddition(const HXRDitherBinarizer* b) { return b ? kHxrDthThreshAddition : 0; }

uint32_t HXRGetBnrzDitheMode(const HXRDitherBinarizer* b) { return b ? b->converterKind : kEnd; }

void HXRBinarizeFraction1Bit(uint8_t* plane, uint32_t* counts, uint8_t saved, int32_t x0, int32_t n) {
    mend_span<1>(plane, counts, saved, x0, n);
}

void HXRBinarizeFraction2Bit(uint8_t* plane, uint32_t* counts, uint8_t saved, int32_t x0, int32_t n) {
    mend_span<2>(plane, counts, saved, x0, n);
}
