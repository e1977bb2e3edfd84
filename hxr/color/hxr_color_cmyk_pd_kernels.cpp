// The named CMYK PatternD kernels: the CMYK kernels of
// hxr_color_cmyk_kernels.cpp with the PatternD hold, one instantiation of
// CmykKernel each.
#include "hxr/color/hxr_color_cmyk_kernel.h"
#include "hxr/color/hxr_color_cmyk_kernels.h"

// One ink count: its rows of Color4DPatternDFuncTable,
// Color4DUserSpecPatternDFuncTable, Color4DUnderWhitePatternDFuncTable and
// Color4DUserSpecUnderWhitePatternDFuncTable.
#define OVCG_CMYK_PD_ROW(n)                                                                                          \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CPdExpandH2NxV2, n, ExpandWalk, ovcg::kCmykPatternD)                       \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CPdNormal, n, NormalWalk, ovcg::kCmykPatternD)                             \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CPdReduceH, n, ReduceWalk, ovcg::kCmykPatternD)                            \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUserPdNormal, n, NormalWalk, ovcg::kCmykUser | ovcg::kCmykPatternD)       \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUnderWhitePdExpandH2NxV2, n, ExpandWalk,                                  \
                     ovcg::kCmykUnderWhite | ovcg::kCmykPatternD)                                                     \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUnderWhitePdNormal, n, NormalWalk,                                        \
                     ovcg::kCmykUnderWhite | ovcg::kCmykPatternD)                                                     \
    OVCG_CMYK_KERNEL(HXRColorConvert4D##n##CUserUnderWhitePdNormal, n, NormalWalk,                                    \
                     ovcg::kCmykUser | ovcg::kCmykUnderWhite | ovcg::kCmykPatternD)

OVCG_CMYK_PD_ROW(4)
OVCG_CMYK_PD_ROW(5)
OVCG_CMYK_PD_ROW(6)
OVCG_CMYK_PD_ROW(7)
OVCG_CMYK_PD_ROW(8)
OVCG_CMYK_PD_ROW(9)
OVCG_CMYK_PD_ROW(10)
OVCG_CMYK_PD_ROW(12)

#undef OVCG_CMYK_PD_ROW
