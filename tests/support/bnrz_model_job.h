// A binarisation job over the model's real host data set, for tests and
// benchmarks: the halftone resources of a model file served by the counting
// services, the read controller of one print mode, the colour manager, the
// binarize controller bound to the data set (kHxrBnrzDataSetOps), the data
// set built with the controller's answers, an ink buffer descriptor and a
// random state. Nothing is attached: the caller runs the controller's set-up.
#pragma once

#include "hxr/binarize/hxr_bnrz_ctrl.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr/control/hxr_traq2_data.h"
#include "support/counting_services.h"
#include "support/res_writer.h"

#include <cstdint>

namespace ovcg_test {

struct BnrzModelQuery {
    uint32_t inkSet, dotMode, htType;
    int32_t hRes, vRes;
    uint32_t kind = 1, elementSize = 1;
    int32_t width = 100;  // output pixels of a line
    uint32_t docType = 0;
    // The gradation count the data set expects (0: the resource's own).
    uint32_t smlGrad = kHxrBnrzSmlGradNum;
};

class BnrzModelJob {
public:
    explicit BnrzModelJob(CountingServices& services) : svc_(services) {}
    ~BnrzModelJob() { release(); }
    BnrzModelJob(const BnrzModelJob&) = delete;
    BnrzModelJob& operator=(const BnrzModelJob&) = delete;

    // Serves the file's halftone resources (replacing what an earlier job
    // served) and makes the job in `memory` (the caller's memory manager,
    // which holds every object of it); false at the first step that fails.
    bool make(const ResWriter& file, const BnrzModelQuery& query, HXRMemMgr* memory);
    // Deletes the read controller, which holds the fetched resources.
    void release();

    _HXR_HALFTONE_INFO ht{};
    _HXR_OPTION_INFO option{};
    HXRResReadController* readCtrl = nullptr;
    HXRClrMgr* clr = nullptr;
    HXRBinarizeController* ctrl = nullptr;
    HXRTRAQ2Data* data = nullptr;
    HXRIntermediateData* interm = nullptr;
    HXRRandNum* random = nullptr;

private:
    CountingServices& svc_;
};

}  // namespace ovcg_test
