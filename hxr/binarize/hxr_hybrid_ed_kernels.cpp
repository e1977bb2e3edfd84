// The twenty HybridED kernel bodies and the four kernel tables.
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"

#include <iterator>

namespace ovcg::hybrid_ed {
OVCG_HYBRID_ED_ALL_BODIES()

namespace {
struct KernelParts {
    HXRHybridEDKernel kernel;
    const EdParts* parts;
};
template <class Table>
constexpr KernelParts kOne = {kOut1<Table>, &EdPartsOf<Table, Decide1Bit>::kParts};
template <class Table, uint32_t K>
constexpr KernelParts kTwo = {kOut2<Table, K>, &EdPartsOf<Table, Decide2Bit<K>>::kParts};
#define OVCG_HYBRID_ED_PARTS(Table) kOne<Table>, kTwo<Table, 0>, kTwo<Table, 1>, kTwo<Table, 2>
constexpr KernelParts kAllParts[] = {OVCG_HYBRID_ED_PARTS(Spread1x1), OVCG_HYBRID_ED_PARTS(Spread2x1),
                                     OVCG_HYBRID_ED_PARTS(Spread4x1), OVCG_HYBRID_ED_PARTS(Spread1x2),
                                     OVCG_HYBRID_ED_PARTS(SpreadAllEDOnly1x1)};
#undef OVCG_HYBRID_ED_PARTS
}  // namespace
}  // namespace ovcg::hybrid_ed

const ovcg::hybrid_ed::EdParts* HXRGetHybridEDParts(HXRHybridEDKernel kernel) {
    for (const auto& k : ovcg::hybrid_ed::kAllParts)
        if (k.kernel == kernel) return k.parts;
    return nullptr;
}

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
