// The named RGB user-colour kernels: the Normal walk with the user-colour
// features, one instantiation per ink count. They serve both line cases.
#include "hxr/color/hxr_color_rgb_families.h"
#include "hxr/color/hxr_color_rgb_kernels.h"

#define OVCG_RGB_USER_ROW(inks)                    \
    OVCG_RGB_KERNEL(HXRColorConvert3D##inks##CUserNormal, \
                    (ovcg::RgbKernel<inks, ovcg::NormalWalk, ovcg::RgbUser>))

OVCG_RGB_USER_ROW(1)
OVCG_RGB_USER_ROW(4)
OVCG_RGB_USER_ROW(5)
OVCG_RGB_USER_ROW(6)
OVCG_RGB_USER_ROW(7)
OVCG_RGB_USER_ROW(8)
OVCG_RGB_USER_ROW(9)
OVCG_RGB_USER_ROW(10)
OVCG_RGB_USER_ROW(12)

#undef OVCG_RGB_USER_ROW
