#include "hxr/binarize/hxr_crct_id.h"

#include "common/byte_cursor.h"
#include "hxr/control/hxr_memory.h"

namespace {

constexpr uint8_t kShortForm = 0x20;
constexpr uint8_t kLongForm = 0x30;

HXRCrctIdList refuse() {
    HXRSetErrorInfo(kHxrCrctIdLength);
    return {0, nullptr};
}

}  // namespace

HXRCrctIdList HXRCreateCrctIdParser(const uint8_t* blob, uint32_t size) {
    if (!blob) return {0, nullptr};
    ovcg::ByteCursor c(blob, size);
    uint8_t form = 0;
    if (!c.u8(form)) return refuse();
    uint32_t n = 0;
    size_t first = 0;
    if (form == kShortForm) {
        uint8_t v = 0;
        if (!c.u8(v)) return refuse();
        n = v;
        first = 3;
    } else if (form == kLongForm) {
        uint16_t v = 0;
        if (!c.u16le(v)) return refuse();
        n = v;
        first = 4;
    } else {
        return {0, nullptr};
    }
    if (n < 2) return refuse();
    ovcg::ByteCursor ids;
    if (!c.sub_at(first, n - 1, ids)) return refuse();
    return {static_cast<int32_t>(n - 1), ids.data()};
}

int32_t HXRIsCrctIdAllZero(const HXRCrctIdList* list) {
    if (!list) return -1;
    for (int32_t i = 0; i < list->idNum; ++i)
        if (list->ids[i] != 0) return 0;
    return 1;
}

int32_t HXRGetCrctId(const HXRCrctIdList* list, int32_t index) {
    if (!list || index < 0 || index >= list->idNum) return -1;
    return list->ids[index];
}
