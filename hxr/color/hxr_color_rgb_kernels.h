// The named RGB LUT kernels, each RgbKernel (hxr_color_rgb_kernel.h) with a
// feature policy (hxr_color_rgb_families.h), all taking the common kernel
// call of hxr_color_kernel.h, for 1, 4, 5, 6, 7, 8, 9, 10 and 12 inks:
//  plain (rows of Color3DFuncTable): the form for identical lines at an even
//   scale (ExpandH2NxV2), for distinct lines (Normal) and for the 2:1
//   reduction (ReduceH);
//  user colour (both line slots of Color3DUserSpecFuncTable): UserNormal,
//   aux the user colour table;
//  white print (Color3DWprintFuncTable): WpExpandH2NxV2 and WpNormal, aux
//   the converter's HXRColorCvtWPrintParam copy;
//  PatternD, from 4 inks on (rows of Color3DPatternDFuncTable): PdExpandH2NxV2,
//   PdNormal and PdReduceH;
//  PatternD user colour (both line slots of Color3DUserSpecPatternDFuncTable):
//   UserPdNormal, aux the user colour table.
#pragma once

#include "hxr/color/hxr_color_kernel.h"

#define OVCG_RGB_DECLARE_ROW(inks)                                                                                   \
    HXRColorKernelFn HXRColorConvert3D##inks##CExpandH2NxV2, HXRColorConvert3D##inks##CNormal,                       \
        HXRColorConvert3D##inks##CReduceH, HXRColorConvert3D##inks##CUserNormal,                                     \
        HXRColorConvert3D##inks##CWpExpandH2NxV2, HXRColorConvert3D##inks##CWpNormal;

OVCG_RGB_DECLARE_ROW(1)
OVCG_RGB_DECLARE_ROW(4)
OVCG_RGB_DECLARE_ROW(5)
OVCG_RGB_DECLARE_ROW(6)
OVCG_RGB_DECLARE_ROW(7)
OVCG_RGB_DECLARE_ROW(8)
OVCG_RGB_DECLARE_ROW(9)
OVCG_RGB_DECLARE_ROW(10)
OVCG_RGB_DECLARE_ROW(12)

#undef OVCG_RGB_DECLARE_ROW

#define OVCG_RGB_PD_DECLARE_ROW(inks)                                                                                \
    HXRColorKernelFn HXRColorConvert3D##inks##CPdExpandH2NxV2, HXRColorConvert3D##inks##CPdNormal,                   \
        HXRColorConvert3D##inks##CPdReduceH, HXRColorConvert3D##inks##CUserPdNormal;

OVCG_RGB_PD_DECLARE_ROW(4)
OVCG_RGB_PD_DECLARE_ROW(5)
OVCG_RGB_PD_DECLARE_ROW(6)
OVCG_RGB_PD_DECLARE_ROW(7)
OVCG_RGB_PD_DECLARE_ROW(8)
OVCG_RGB_PD_DECLARE_ROW(9)
OVCG_RGB_PD_DECLARE_ROW(10)
OVCG_RGB_PD_DECLARE_ROW(12)

#undef OVCG_RGB_PD_DECLARE_ROW
