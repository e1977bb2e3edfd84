// The binariser the library's halftone controllers take by default: the
// binarize controller reaching the job's host data set, and the text-edge
// step.
#include "hxr/binarize/hxr_bnrz_ctrl.h"
#include "hxr/binarize/hxr_text_edge.h"
#include "hxr/control/hxr_ht_ctrl.h"

namespace {

HXRBinarizeController* create(const _HXR_HALFTONE_INFO* halftone, const void* printMode, uint32_t kind,
                              uint32_t pixels, uint32_t element, const HXRClrMgr* colours, HXRMemMgr* memory) {
    return HXRCreateBinarizeController(halftone, printMode, kind, pixels, element, colours, memory,
                                       &kHxrBnrzDataSetOps);
}
// The host's hook records are the binariser's sources as they stand.
uint32_t set_brs(HXRBinarizeController* c, const void* brs) {
    return HXRSetBrsBinarize(c, static_cast<const HXRBrsSource*>(brs));
}
uint32_t set_data_shift(HXRBinarizeController* c, const void* source, const HXRClrMgr* colours) {
    return HXRSetDataShiftBinarize(c, static_cast<const HXRDataShiftSource*>(source), colours);
}

const HXRBinarizeOps kOps = {
    create,
    HXRSetHybridEDBinarize,
    set_brs,
    set_data_shift,
    HXRSetBinarizeData,
    HXRSetHtSwitchPos,
    HXRBinarize,
    HXRResetBnrzErrorBuffer,
    HXRGetBnrzCtrlDotCounter,
    HXRTextEnhance,
    IsTextEdge07Condition,
    HXRGetBnrzSmlGradNum,
    HXRIfUseDth,
    HXRGetBnrzDthOrder,
    HXRGetBnrzDthThreshAddition,
    HXRGetBnrzDthDataBytes,
    HXRGetBnrzDthDataType,
    HXRGetBnrzDthThreshUpdatePixel,
    HXRIfUseUBEC,
    HXRGetBnrzUBECBlockSize,
    HXRGetBnrzUBECEncodeStep,
    HXRGetBnrzUBECTableType,
    HXRGetBnrzBitPerColor,
    HXRGetBnrzPixelSize,
    HXRGetBnrzOutputColorOrder,
    HXRGetBnrzHalftoneColorNum,
};

}  // namespace

const HXRBinarizeOps* HXRDefaultBinarizeOps() { return &kOps; }
