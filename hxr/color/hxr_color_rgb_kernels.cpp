// The named plain RGB kernels: one instantiation of RgbKernel each.
#include "hxr/color/hxr_color_rgb_kernels.h"

#include "hxr/color/hxr_color_rgb_kernel.h"

// Plain: rows of Color3DFuncTable.
#define OVCG_RGB_PLAIN_ROW(inks)                                                                                     \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CExpandH2NxV2, (ovcg::RgbKernel<inks, ovcg::ExpandWalk, ovcg::RgbPlain>)) \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CNormal, (ovcg::RgbKernel<inks, ovcg::NormalWalk, ovcg::RgbPlain>))       \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CReduceH, (ovcg::RgbKernel<inks, ovcg::ReduceWalk, ovcg::RgbPlain>))

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
