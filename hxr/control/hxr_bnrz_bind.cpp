// The binariser the library's halftone controllers take by default.
#include "hxr/control/hxr_ht_ctrl.h"

const HXRBinarizeOps* HXRDefaultBinarizeOps() {
    static const HXRBinarizeOps ops{};
    return &ops;
}
