#include "engine/plimo_buffer.h"
#include "halftoning/intent_x.h"

namespace ovcg {

int ProbeHalftoner(const tagHTINITSTRUCT* init, bool anyDocType) {
    if (!init || !init->band_buffer || !init->ht_struct) return kHtUnsupported;
    // The base holds the engine's records as the page's object would make
    // them; its constructor refuses what the page's would.
    try {
        if (int r = CIntentX::CheckRecord(*init, init->band_buffer->VRatio())) return r;
        CHalftone base(init);
        int docTypes[2];
        bool attrUse = false;
        CIntentX::JobDocTypes(*init, init->ht_struct->color_correction, docTypes, &attrUse);
        return base.ProbePrintMode(docTypes, anyDocType);
    } catch (int code) {
        return code;
    } catch (...) {
        return kHtNoMemory;
    }
}

}  // namespace ovcg
