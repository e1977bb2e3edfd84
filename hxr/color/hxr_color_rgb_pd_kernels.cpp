// The named RGB PatternD kernels: the three walks with the PatternD hold
// over the plain features, and the Normal walk with the hold over the
// user-colour features (serving both line cases), per ink count.
#include "hxr/color/hxr_color_rgb_families.h"
#include "hxr/color/hxr_color_rgb_kernels.h"

#define OVCG_RGB_PD_ROW(inks)                                                                                        \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CPdExpandH2NxV2, (ovcg::RgbKernel<inks, ovcg::ExpandWalk, ovcg::RgbPd>)) \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CPdNormal, (ovcg::RgbKernel<inks, ovcg::NormalWalk, ovcg::RgbPd>))       \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CPdReduceH, (ovcg::RgbKernel<inks, ovcg::ReduceWalk, ovcg::RgbPd>))      \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CUserPdNormal,                                                          \
                    (ovcg::RgbKernel<inks, ovcg::NormalWalk, ovcg::RgbUserPd>))

OVCG_RGB_PD_ROW(4)
OVCG_RGB_PD_ROW(5)
OVCG_RGB_PD_ROW(6)
OVCG_RGB_PD_ROW(7)
OVCG_RGB_PD_ROW(8)
OVCG_RGB_PD_ROW(9)
OVCG_RGB_PD_ROW(10)
OVCG_RGB_PD_ROW(12)

#undef OVCG_RGB_PD_ROW
