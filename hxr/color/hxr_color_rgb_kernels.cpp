// The named RGB kernels: one instantiation of RgbKernel each.
#include "hxr/color/hxr_color_rgb_kernels.h"

#include "hxr/color/hxr_color_rgb_kernel.h"

#define OVCG_RGB_KERNEL(name, inks, walk, features)                                                                   \
    void name(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,               \
              uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,                     \
              const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end) {                              \
        ovcg::RgbKernel<inks, ovcg::walk, ovcg::features>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale,     \
                                                          planes, attrs, attrStride, start, end);                    \
    }

// Plain: rows of Color3DFuncTable.
#define OVCG_RGB_PLAIN_ROW(inks)                                                                                     \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CExpandH2NxV2, inks, ExpandWalk, RgbPlain)                               \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CNormal, inks, NormalWalk, RgbPlain)                                     \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CReduceH, inks, ReduceWalk, RgbPlain)

OVCG_RGB_PLAIN_ROW(1)
OVCG_RGB_PLAIN_ROW(4)
OVCG_RGB_PLAIN_ROW(5)
OVCG_RGB_PLAIN_ROW(6)
OVCG_RGB_PLAIN_ROW(7)
OVCG_RGB_PLAIN_ROW(8)
OVCG_RGB_PLAIN_ROW(9)
OVCG_RGB_PLAIN_ROW(10)
OVCG_RGB_PLAIN_ROW(12)

#undef OVCG_RGB_PLAIN_ROW
#undef OVCG_RGB_KERNEL
