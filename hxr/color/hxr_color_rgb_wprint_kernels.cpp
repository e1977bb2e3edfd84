// The named RGB white-print kernels: the Normal and ExpandH2NxV2 walks with
// the white-print features, per ink count.
#include "hxr/color/hxr_color_rgb_families.h"
#include "hxr/color/hxr_color_rgb_kernels.h"

#define OVCG_RGB_WPRINT_ROW(inks)                                                              \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CWpExpandH2NxV2,                                  \
                    (ovcg::RgbWprintKernel<inks, ovcg::ExpandWalk>))                           \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CWpNormal, (ovcg::RgbWprintKernel<inks, ovcg::NormalWalk>))

OVCG_RGB_WPRINT_ROW(1)
OVCG_RGB_WPRINT_ROW(4)
OVCG_RGB_WPRINT_ROW(5)
OVCG_RGB_WPRINT_ROW(6)
OVCG_RGB_WPRINT_ROW(7)
OVCG_RGB_WPRINT_ROW(8)
OVCG_RGB_WPRINT_ROW(9)
OVCG_RGB_WPRINT_ROW(10)
OVCG_RGB_WPRINT_ROW(12)

#undef OVCG_RGB_WPRINT_ROW
