// The CMYK LUT kernels, for 4, 5, 6, 7, 8, 9, 10 and 12 inks: the plain
// forms for identical lines at an even scale (ExpandH2NxV2), for distinct
// lines (Normal) and for the 2:1 reduction (ReduceH); the user-colour form
// (UserNormal, for both line cases); the under-white forms (ExpandH2NxV2 and
// Normal); and the user-colour under-white form; each again with the
// PatternD hold (Pd), for the four PatternD tables. Each is CmykKernel
// (hxr_color_cmyk_kernel.h) and takes the common kernel call of
// hxr_color_kernel.h.
#pragma once

#include "hxr/color/hxr_color_kernel.h"

#define OVCG_CMYK_KERNEL_NAMES(n)                                                                                    \
    HXRColorKernelFn HXRColorConvert4D##n##CExpandH2NxV2, HXRColorConvert4D##n##CNormal,                             \
        HXRColorConvert4D##n##CReduceH, HXRColorConvert4D##n##CUserNormal,                                           \
        HXRColorConvert4D##n##CUnderWhiteExpandH2NxV2, HXRColorConvert4D##n##CUnderWhiteNormal,                      \
        HXRColorConvert4D##n##CUserUnderWhiteNormal, HXRColorConvert4D##n##CPdExpandH2NxV2,                      \
        HXRColorConvert4D##n##CPdNormal, HXRColorConvert4D##n##CPdReduceH, HXRColorConvert4D##n##CUserPdNormal,      \
        HXRColorConvert4D##n##CUnderWhitePdExpandH2NxV2, HXRColorConvert4D##n##CUnderWhitePdNormal,                  \
        HXRColorConvert4D##n##CUserUnderWhitePdNormal;

OVCG_CMYK_KERNEL_NAMES(4)
OVCG_CMYK_KERNEL_NAMES(5)
OVCG_CMYK_KERNEL_NAMES(6)
OVCG_CMYK_KERNEL_NAMES(7)
OVCG_CMYK_KERNEL_NAMES(8)
OVCG_CMYK_KERNEL_NAMES(9)
OVCG_CMYK_KERNEL_NAMES(10)
OVCG_CMYK_KERNEL_NAMES(12)

#undef OVCG_CMYK_KERNEL_NAMES
