// The named CMYK kernels: one instantiation of CmykKernel each.
#include "hxr/color/hxr_color_cmyk_kernels.h"

#include "hxr/color/hxr_color_cmyk_kernel.h"

// (The PatternD forms are in hxr_color_cmyk_pd_kernels.cpp, to share out
// the compile time.)
// One ink count: the rows of Color4DFuncTable, Color4DUserSpecFuncTable,
// Color4DUnderWhiteFuncTable and Color4DUserSpecUnderWhiteFuncTable.
#define OVCG_CMYK_ROW(n)                                                                                             \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CExpandH2NxV2, n, ExpandWalk, 0)                                           \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CNormal, n, NormalWalk, 0)                                                 \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CReduceH, n, ReduceWalk, 0)                                                \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUserNormal, n, NormalWalk, ovcg::kCmykUser)                               \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUnderWhiteExpandH2NxV2, n, ExpandWalk, ovcg::kCmykUnderWhite)             \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUnderWhiteNormal, n, NormalWalk, ovcg::kCmykUnderWhite)                   \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUserUnderWhiteNormal, n, NormalWalk,                                      \
                     ovcg::kCmykUser | ovcg::kCmykUnderWhite)

OVCG_CMYK_ROW(4)
OVCG_CMYK_ROW(5)
OVCG_CMYK_ROW(6)
OVCG_CMYK_ROW(7)
OVCG_CMYK_ROW(8)
OVCG_CMYK_ROW(9)
OVCG_CMYK_ROW(10)
OVCG_CMYK_ROW(12)

#undef OVCG_CMYK_ROW
