#include "support/bnrz_model_job.h"

#include "support/model.h"
#include "support/model_index.h"

#include <algorithm>

namespace ovcg_test {

namespace {

constexpr char kDutyId[] = "DUTY_FACTOR_MODE";

// What the halftone controller answers the data set, from the binarize
// controller (no colour table: the binariser does not read one).
HXRHtCtrlAnswers answers(const HXRBinarizeController* c, uint32_t kind, uint32_t smlGrad) {
    HXRHtCtrlAnswers a{};
    a.colorConvertMode = kind;
    a.smlGradNum = smlGrad;
    a.needDth = HXRIfUseDth(c);
    a.dthOrder = HXRGetBnrzDthOrder(c);
    a.dthThreshAddition = HXRGetBnrzDthThreshAddition(c);
    a.dthDataBytes = HXRGetBnrzDthDataBytes(c);
    a.dthUpdatePixel = HXRGetBnrzDthThreshUpdatePixel(c);
    a.dthDataType = HXRGetBnrzDthDataType(c);
    a.needUBEC = HXRIfUseUBEC(c);
    a.ubecBlockKind = HXRGetBnrzUBECBlockSize(c);
    a.ubecEncodeStep = HXRGetBnrzUBECEncodeStep(c);
    a.ubecTableType = HXRGetBnrzUBECTableType(c);
    a.halftoneColorNum = HXRGetBnrzHalftoneColorNum(c);
    return a;
}

}  // namespace

bool BnrzModelJob::make(const ResWriter& file, const BnrzModelQuery& q, HXRMemMgr* mm) {
    release();
    for (const ResRecord& r : file.records())
        if (r.type == kResTypeHalftone) svc_.add_resource(int(r.id) - 100, r.data);
    const uint32_t media = model_print_modes(default_model()).front().media;
    ht = {q.inkSet, media, q.docType, 0, q.htType, uint32_t(q.hRes), uint32_t(q.vRes), q.dotMode, 0, 1, 1};
    option = {};
    option.tone[0] = -1;
    option.tone[9] = 220;
    std::fill(option.colorValue, option.colorValue + 12, 1024u);
    option.secondDocType = 0xFFFFFFFFu;
    option.channelMode1 = 0xFFFFFFFFu;
    readCtrl = HXRCreateResReadController(svc_.table(), mm);
    if (!readCtrl || HXRFindPrintMode(readCtrl, &ht, &option) != 0) return false;
    clr = HXRCreateClrMgr(q.inkSet, q.dotMode, HXRGetBlackInkCode(readCtrl), mm);
    if (!clr || HXRReadAllResource(readCtrl, clr) != 0) return false;
    ctrl = HXRCreateBinarizeController(&ht, &option, q.kind, uint32_t(q.width), q.elementSize, clr, mm,
                                       &kHxrBnrzDataSetOps);
    if (!ctrl) return false;
    const HXRHtCtrlAnswers a = answers(ctrl, q.kind, q.smlGrad);
    HXRDataSetOptions values{};
    values.colorWords[0] = values.colorWords[1] = option.colorValue;
    data = HXRCreateTRAQ2Data(readCtrl, &a, &ht, &option, &values, svc_.table(), clr, mm, kDutyId);
    if (!data) return false;
    random = HXRCreateRandNum(mm);
    const uint32_t inks = q.kind == kHxrCvtTNMX ? 1 : HXRGetOutputColorNum(clr);
    interm = HXRCreateIntermediateData(int32_t(inks), q.width, int32_t(q.elementSize), 0, nullptr, -1, mm);
    return random && interm;
}

void BnrzModelJob::release() {
    if (readCtrl) HXRDeleteResReadController(readCtrl);
    readCtrl = nullptr;
}

}  // namespace ovcg_test
