// Ordered dither: one line of ink values of one halftone colour becomes 1-bit
// or 2-bit dots. Each pixel's level comes from the colour's SML row, its
// threshold cell from the tiled matrix (hxr_dither_walk.h).
//
// Scale. Levels lie in 0..4080 (4080 = a dot on every pixel); a cell holds
// its threshold plus 8192. A pixel prints when bit 12 of the 32-bit
// difference cell - level is set, which for thresholds 0..4095 is exactly
// threshold < level: one subtraction and a bit test instead of a comparison.
// 2-bit output takes the three cumulative values of the level (small and
// larger, medium and larger, large) and gives the pixel the number of them
// that print (dot code 0..3).
//
// Kernels. One template over the ink type (u8, u16), the output bits (1, 2)
// and the all-zero-group shortcut (a group of four zero inks is left without
// dots and uncounted; the monochrome-photo kernels test every pixel). Each
// writes whole output bytes from the byte that holds x0 to the byte that
// holds x0 + n - 1, then mends the partial bytes (HXRBinarizeFraction*): the
// pixels before x0 get their old bits back, the pixels from x0 + n on are
// cleared, and the dots of both are taken back out of counts 1..3 (count 0
// keeps the no-dot pixels of every group it tested). 16-bit values above the
// row's last level use the last level.
//
// A kernel checks nothing and relies on: a record HXRCheckDthData accepts;
// x0 >= 0, n >= 0; an ink row holding every pixel of the bytes it writes
// (x0 + n rounded up to 8 pixels for 1 bit, 4 for 2 bits; the ink buffer's
// rows are padded so); a plane holding those bytes; and rates[0] holding
// 3 (2-bit) or 1 (1-bit) values for each level 0..lastLevel, with
// lastLevel >= 255 for u8 inks. Only rates[0] (intent 0) is read; the intent
// row is not read.
//
// Wrappers (HXRBinarizeDither, HXRBinarizeDither16bit) answer 0 for success
// and 1 for failure: null binariser, counts, dither data, offsets, SML pair
// or either record; no kernel for their element size; a record the walk
// refuses; x0 < 0, n < 0 or x0 + n beyond 0x7FFFFFF7; an SML row that does not
// cover the kernel (HXRCheckSmlRow). A null plane or ink row is success with
// nothing written or counted. No error code is recorded.
#pragma once

#include "hxr/binarize/hxr_dither_walk.h"
#include "hxr/control/hxr_ht_data.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrDthThreshAddition = 8192;

template <typename In>
using HXRDitherKernel = void (*)(uint8_t* plane, uint32_t* counts, const In* ink, const uint8_t* intent,
                                 const uint32_t* const* rates, const HXRDthData* dither,
                                 const HXRDthOffset* offset, int32_t x0, int32_t n, uint32_t nozzle,
                                 uint32_t lastLevel);
using HXRDitherKernel8 = HXRDitherKernel<uint8_t>;
using HXRDitherKernel16 = HXRDitherKernel<uint16_t>;

template <typename In, int Bits, bool SkipZeroGroups>
void HXRDitherKernelT(uint8_t* plane, uint32_t* counts, const In* ink, const uint8_t* intent,
                      const uint32_t* const* rates, const HXRDthData* dither, const HXRDthOffset* offset,
                      int32_t x0, int32_t n, uint32_t nozzle, uint32_t lastLevel);

// The six named kernels.
inline constexpr HXRDitherKernel8 HXRBinarizeDitherIn8BitOut1Bit = &HXRDitherKernelT<uint8_t, 1, true>;
inline constexpr HXRDitherKernel8 HXRBinarizeDitherIn8BitOut2Bit = &HXRDitherKernelT<uint8_t, 2, true>;
inline constexpr HXRDitherKernel8 HXRBinarizeTNMXDitherIn8BitOut1Bit = &HXRDitherKernelT<uint8_t, 1, false>;
inline constexpr HXRDitherKernel8 HXRBinarizeTNMXDitherIn8BitOut2Bit = &HXRDitherKernelT<uint8_t, 2, false>;
inline constexpr HXRDitherKernel16 HXRBinarizeDitherIn16BitOut1Bit = &HXRDitherKernelT<uint16_t, 1, true>;
inline constexpr HXRDitherKernel16 HXRBinarizeDitherIn16BitOut2Bit = &HXRDitherKernelT<uint16_t, 2, true>;

// A row of DitherFuncTable / TNMXDitherFuncTable; closed by dot mode 0xFFFFFFFF.
struct HXRDitherFuncRow {
    uint32_t dotMode;
    HXRDitherKernel8 kernel8;
    HXRDitherKernel16 kernel16;
};
extern const HXRDitherFuncRow DitherFuncTable[];
extern const HXRDitherFuncRow TNMXDitherFuncTable[];

struct HXRDitherBinarizer {
    uint32_t converterKind;       // 4 and 6 are the monochrome-photo kinds
    uint32_t elementSize;         // 1: 8-bit ink rows, 2: 16-bit
    HXRDitherKernel8 kernel8;     // null unless elementSize is 1
    HXRDitherKernel16 kernel16;   // null unless elementSize is 2
    uint32_t dotMode;             // what the SML rows are checked against
};

// Null for a dot mode without a table row (1, 2 and 34 have one), an element
// size other than 1 and 2, or a failed allocation.
HXRDitherBinarizer* HXRCreateBinarizeDither(uint32_t converterKind, uint32_t elementSize, uint32_t dotMode,
                                            HXRMemMgr* manager);
// `sml` is the pair {intent 0 row, intent 1 row}.
uint32_t HXRBinarizeDither(const HXRDitherBinarizer* b, uint8_t* plane, uint32_t* counts, const uint8_t* ink,
                           const uint8_t* intent, int32_t x0, int32_t n, const HXRDthData* dither,
                           const HXRDthOffset* offset, const HXRSmlColorData* const* sml, uint32_t nozzle);
uint32_t HXRBinarizeDither16bit(const HXRDitherBinarizer* b, uint8_t* plane, uint32_t* counts,
                                const uint16_t* ink, const uint8_t* intent, int32_t x0, int32_t n,
                                const HXRDthData* dither, const HXRDthOffset* offset,
                                const HXRSmlColorData* const* sml, uint32_t nozzle);
// 8192; 0 for null.
uint32_t HXRGetBnrzDitherDthThreshAddition(const HXRDitherBinarizer* b);
// The converter kind; 0xFFFFFFFF for null.
uint32_t HXRGetBnrzDitheMode(const HXRDitherBinarizer* b);
// Span mending of a kernel's partial first and last byte (`saved`: the first
// byte as it was before the kernel ran; only used when x0 is not on a byte
// boundary). x0 >= 0, n >= 0, and the plane holds the bytes of x0 and x0 + n
// where those are not on a byte boundary.
void HXRBinarizeFraction1Bit(uint8_t* plane, uint32_t* counts, uint8_t saved, int32_t x0, int32_t n);
void HXRBinarizeFraction2Bit(uint8_t* plane, uint32_t* counts, uint8_t saved, int32_t x0, int32_t n);
