#include "hxr/control/hxr_package_ops.h"

#include "hxr/control/hxr_packages.h"

#include <atomic>

namespace {

std::atomic<const HXRPackageOps*> g_ops{nullptr};

HXRSlut* create_slut(const HXRPackageInputs* in) {
    return HXRCreateTRAQ3Data(in->readCtrl, in->answers, in->halftone, in->option, in->values, in->services,
                              in->colours, in->memory, in->dutyModeId);
}
HXRRHData* create_rh(const HXRPackageInputs* in) {
    return HXRCreateRHData(in->readCtrl, in->halftone, in->option, in->values, in->added, in->services, in->colours,
                           in->memory, in->dutyModeId);
}

const HXRPackageOps kOps = {create_slut,       HXRGetSlut,       create_rh,          HXRGetRHData,
                            HXRGetRHCommonData, HXRGetRHLutData, HXRGetRHDitherData, HXRGetRHUBECData};

}  // namespace

const HXRPackageOps* HXRGetPackageOps() {
    const HXRPackageOps* ops = g_ops.load();
    return ops ? ops : HXRDefaultPackageOps();
}

void HXRSetPackageOps(const HXRPackageOps* ops) { g_ops.store(ops); }

const HXRPackageOps* HXRDefaultPackageOps() { return &kOps; }
