// The twenty HybridED kernel bodies and the four kernel tables.
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"

#include <iterator>

namespace ovcg::hybrid_ed {
OVCG_HYBRID_ED_ALL_BODIES()
}  // namespace ovcg::hybrid_ed

const HXRHybridEDFuncRow HybridEDFuncTableOut1bit[5] = {
    {0, 1, HXRBinarizeHybridEDIn8BitOut1Bit_1x1},
    {0, 2, HXRBinarizeHybridEDIn8BitOut1Bit_2x1},
    {0, 3, HXRBinarizeHybridEDIn8BitOut1Bit_4x1},
    {0, 4, HXRBinarizeHybridEDIn8BitOut1Bit_1x2},
    {0, 0, nullptr},
};
const HXRHybridEDFuncRow HybridEDAllEDOnlyFuncTableOut1bit[5] = {
    {0, 1, HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_1x1},
    {0, 2, HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_2x1},
    {0, 3, HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_4x1},
    {0, 4, HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_1x2},
    {0, 0, nullptr},
};
const HXRHybridEDFuncRow HybridEDFuncTableOut2bit[13] = {
    {0, 1, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_SML}, {0, 2, HXRBinarizeHybridEDIn8BitOut2Bit_2x1_SML},
    {0, 3, HXRBinarizeHybridEDIn8BitOut2Bit_4x1_SML}, {0, 4, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_SML},
    {1, 1, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_ML},  {1, 2, HXRBinarizeHybridEDIn8BitOut2Bit_2x1_ML},
    {1, 3, HXRBinarizeHybridEDIn8BitOut2Bit_4x1_ML},  {1, 4, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_ML},
    {2, 1, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_L},   {2, 2, HXRBinarizeHybridEDIn8BitOut2Bit_2x1_L},
    {2, 3, HXRBinarizeHybridEDIn8BitOut2Bit_4x1_L},   {2, 4, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_L},
    {2, 0, nullptr},
};
const HXRHybridEDFuncRow HybridEDAllEDOnlyFuncTableOut2bit[13] = {
    {0, 1, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_SML}, {0, 2, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_2x1_SML},
    {0, 3, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_4x1_SML}, {0, 4, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x2_SML},
    {1, 1, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_ML},  {1, 2, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_2x1_ML},
    {1, 3, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_4x1_ML},  {1, 4, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x2_ML},
    {2, 1, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_L},   {2, 2, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_2x1_L},
    {2, 3, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_4x1_L},   {2, 4, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x2_L},
    {2, 0, nullptr},
};
