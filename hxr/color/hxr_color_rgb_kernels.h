// The plain RGB LUT kernels: for 1, 4, 5, 6, 7, 8, 9, 10 and 12 inks the
// form for identical lines at an even scale (ExpandH2NxV2), for distinct
// lines (Normal) and for the 2:1 reduction (ReduceH). They fill the rows of
// Color3DFuncTable; each is RgbKernel (hxr_color_rgb_kernel.h) with the plain
// features, and takes the common kernel call of hxr_color_kernel.h.
#pragma once

#include "hxr/color/hxr_color_kernel.h"

HXRColorKernelFn HXRColorConvert3D1CExpandH2NxV2, HXRColorConvert3D1CNormal, HXRColorConvert3D1CReduceH;
HXRColorKernelFn HXRColorConvert3D4CExpandH2NxV2, HXRColorConvert3D4CNormal, HXRColorConvert3D4CReduceH;
HXRColorKernelFn HXRColorConvert3D5CExpandH2NxV2, HXRColorConvert3D5CNormal, HXRColorConvert3D5CReduceH;
HXRColorKernelFn HXRColorConvert3D6CExpandH2NxV2, HXRColorConvert3D6CNormal, HXRColorConvert3D6CReduceH;
HXRColorKernelFn HXRColorConvert3D7CExpandH2NxV2, HXRColorConvert3D7CNormal, HXRColorConvert3D7CReduceH;
HXRColorKernelFn HXRColorConvert3D8CExpandH2NxV2, HXRColorConvert3D8CNormal, HXRColorConvert3D8CReduceH;
HXRColorKernelFn HXRColorConvert3D9CExpandH2NxV2, HXRColorConvert3D9CNormal, HXRColorConvert3D9CReduceH;
HXRColorKernelFn HXRColorConvert3D10CExpandH2NxV2, HXRColorConvert3D10CNormal, HXRColorConvert3D10CReduceH;
HXRColorKernelFn HXRColorConvert3D12CExpandH2NxV2, HXRColorConvert3D12CNormal, HXRColorConvert3D12CReduceH;
