// The per-page, per-band and query entry points of an instance, and the
// bridge entries that forward to them.
#include "hxr/control/hxr_instance.h"

#include <algorithm>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kMaxCounts = kHxrHtDotCounts;

HXRInstance* as_instance(void* handle) { return static_cast<HXRInstance*>(handle); }
bool started(const HXRInstance* inst) { return (inst->state & kHxrStateStarted) != 0; }

// An inner failure of a page or band call: its detail goes to the error
// record, the caller gets the function's own code.
uint32_t inner(uint32_t result, uint32_t code) {
    if (result == 0) return 0;
    HXRSetErrorInfo(result);
    return code;
}

// The host's switching record {count, positions...}: only the positions it
// counts are read, at most the binariser's five (a larger count is passed on
// for the binariser to refuse).
bool switching_list(const int* record, HXRSwitchPosList* list) {
    if (!record) return false;
    *list = {};
    list->count = static_cast<uint32_t>(record[0]);
    const uint32_t n = std::min(list->count, kHxrMaxSwitchPos);
    for (uint32_t i = 0; i < n; ++i) list->positions[i] = record[1 + i];
    return true;
}

// Reads the controller's 64-bit counters; their number (0: none).
uint32_t read_counts(HXRInstance* inst, uint64_t* counts) {
    return HXRGetHtCtrlDotCounter(inst->htCtrl, counts, kMaxCounts);
}

// The RH getters: null instance or output, refusal, job not started.
template <typename Call>
uint32_t rh_call(void* handle, void** data, unsigned int* size, uint32_t base, Call call) {
    HXRInstance* inst = as_instance(handle);
    if (!inst || !data || !size) return base + 1;
    if (!started(inst)) return base + 3;
    uint32_t got = 0;
    const uint32_t r = inst->rh ? call(HXRGetPackageOps(), inst, &got) : 1;
    if (r != 0) return base + 2;
    *size = got;
    return 0;
}

}  // namespace

unsigned int HXR_SetBRSFunc(void* handle, const void* brs) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 301;
    if (!started(inst)) return 303;
    return inner(HXRSetBrs(inst->htCtrl, brs), 302);
}

unsigned int HXR_SetDataShiftFunc(void* handle, const void* shift) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 401;
    if (!started(inst)) return 403;
    return inner(HXRSetDataShift(inst->htCtrl, shift, inst->colours), 402);
}

// The RH package ignores its ABR hook.
unsigned int HXR_SetABRFunc(void* handle) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 1601;
    if (!started(inst)) return 1603;
    return 0;
}

unsigned int HXR_ResetSwitchingPos(void* handle, const int* switching) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 501;
    HXRSwitchPosList list;
    const bool given = switching_list(switching, &list);
    return inner(HXRResetSwitchingPos(inst->htCtrl, given ? &list : nullptr, inst->memory), 502);
}

unsigned int HXR_StartPage(void* handle, const int* switching) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 601;
    if (!started(inst)) return 603;
    HXRSwitchPosList list;
    const bool given = switching_list(switching, &list);
    return inner(HXRStartPage(inst->htCtrl, given ? &list : nullptr, inst->memory), 602);
}

namespace {

// An instance fed ink planes (the direct converter) copies every plane it is
// given into its ink rows before it halftones. A caller that halftones some
// colours only (the parallel path's per-channel instances, one colour each)
// would have the other planes copied for nothing: only the planes of the
// inks that the colours with an output row read are kept. (Output rows of a
// second head come only with a data-shift table, which gives the colours
// their first head too.)
const uint8_t* const* planes_read(const HXRInstance* inst, unsigned char* const* out, const void* const* planes,
                                  int lines, const uint8_t** kept) {
    const auto* all = reinterpret_cast<const uint8_t* const*>(planes);
    const HXRHtController* c = inst->htCtrl;
    if (!c || c->mode != kHxrColorCvtDirect || !out || !planes || (lines != 1 && lines != 2)) return all;
    const uint32_t hc = HXRGetHalftoneColorNum(inst->colours), n = HXRGetOutputColorNum(inst->colours);
    if (hc == 0 || hc > kHxrMaxInks || n == 0 || n > kHxrMaxInks) return all;
    std::fill(kept, kept + 2 * kHxrMaxInks, nullptr);
    for (int l = 0; l < lines; ++l)
        for (uint32_t k = 0; k < hc; ++k) {
            if (!out[size_t(l) * hc + k]) continue;
            const uint32_t ink = HXRGetLutColorOrder(inst->colours, HXRGetHalftoneColorCode(inst->colours, k));
            if (ink >= n) return all;
            kept[size_t(l) * n + ink] = all[size_t(l) * n + ink];
        }
    return kept;
}

}  // namespace

uint32_t HXRCutInstanceRuns(void* handle, HXRHybridEDTailSlot** slot) {
    HXRInstance* inst = as_instance(handle);
    if (!slot) return 1;
    *slot = inst && inst->htCtrl ? HXRCutHtRuns(inst->htCtrl, inst->memory) : nullptr;
    return *slot ? 0u : 1u;
}

unsigned int HXR_Halftone(void* handle, unsigned char** out, int* anyDot, const void** planes,
                          const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 701;
    uint32_t dot = 0;
    const uint8_t* kept[2 * kHxrMaxInks];
    const uint32_t r = HXRHalftone(inst->htCtrl, out, anyDot ? &dot : nullptr,
                                   planes_read(inst, out, planes, lines, kept), attributes, pixels, xOffset,
                                   lines, firstRow);
    if (r == 0 && anyDot) *anyDot = static_cast<int>(dot);
    return inner(r, 702);
}

unsigned int HXR_ConvertColor(void* handle, unsigned char** out, int* start, int* length, const void** planes,
                              const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 801;
    return inner(HXRConvertColor(inst->htCtrl, out, start, length, reinterpret_cast<const uint8_t* const*>(planes),
                                 attributes, pixels, xOffset, lines, firstRow),
                 802);
}

unsigned int HXR_EndPage(void* handle) {
    if (!handle) return 901;
    return inner(HXREndPage(), 902);
}

unsigned int HXR_GetOutputColorOrder(void* handle, signed char* codes) {
    HXRInstance* inst = as_instance(handle);
    if (!inst || !codes || !started(inst)) return 0;
    return HXRWriteRealOutputCodes(inst->colours, codes);
}

unsigned int HXR_GetOutputBufferSize(void* handle, int* sizes) {
    HXRInstance* inst = as_instance(handle);
    if (!inst || !sizes) return 1001;
    if (!started(inst)) return 1004;
    const uint32_t n = HXRGetHtCtrlHalftoneColorNum(inst->htCtrl);
    if (n == 0 || n > kHxrMaxInks) return 1002;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t size = HXRGetWriteOutBufSize(inst->htCtrl, i);
        if (size == 0 || size > INT32_MAX) return 1003;
        sizes[i] = static_cast<int>(size);
    }
    return 0;
}

unsigned int HXR_GetInkBufferSize(void* handle, int* size) {
    HXRInstance* inst = as_instance(handle);
    if (!inst || !size) return 1101;
    if (!started(inst)) return 1103;
    const uint32_t bytes = HXRGetWriteInkBufSize(inst->htCtrl);
    if (bytes == 0 || bytes > INT32_MAX) return 1102;
    *size = static_cast<int>(bytes);
    return 0;
}

unsigned int HXR_GetDotCount(void* handle, unsigned int* counts, int shift) {
    HXRInstance* inst = as_instance(handle);
    if (!inst || !counts) return 1201;
    if (shift < 0 || shift > 9) return 1203;
    uint64_t raw[kMaxCounts] = {};
    const uint32_t n = read_counts(inst, raw);
    if (n == 0) return 1202;
    uint64_t divisor = 1;
    for (int i = 0; i < shift; ++i) divisor *= 10;
    uint32_t result = 0;
    for (uint32_t i = 0; i < n && i < kMaxCounts; ++i) {
        // Rounded half up, without adding to a count that could be near 2^64.
        const uint64_t v = raw[i] / divisor + (divisor > 1 && raw[i] % divisor >= divisor / 2 ? 1 : 0);
        if (v > 0xFFFFFFFFu) result = 1204;
        counts[i] = static_cast<unsigned int>(std::min<uint64_t>(v, 0xFFFFFFFFu));
    }
    return result;
}

unsigned int HXR_GetDotCount64(void* handle, unsigned long long* counts) {
    HXRInstance* inst = as_instance(handle);
    if (!inst || !counts) return 1301;
    uint64_t raw[kMaxCounts] = {};
    const uint32_t n = read_counts(inst, raw);
    if (n == 0) return 1302;
    std::copy(raw, raw + std::min(n, kMaxCounts), counts);
    return 0;
}

unsigned int HXR_GetSlut(void* handle, unsigned char** data, int* size) {
    HXRInstance* inst = as_instance(handle);
    if (!inst || !data || !size) return 1401;
    if (!started(inst)) return 1403;
    const HXRPackageOps* ops = HXRGetPackageOps();
    const uint8_t* bytes = nullptr;
    uint32_t got = 0;
    if (!inst->slut || !ops->getSlut || ops->getSlut(inst->slut, &bytes, &got) != 0 || got > INT32_MAX) return 1402;
    // The caller sends the package as it stands; the interface hands it out
    // as the host's buffer type.
    *data = const_cast<unsigned char*>(bytes);
    *size = static_cast<int>(got);
    return 0;
}

unsigned int HXR_GetDoubleGamma(void* handle, unsigned int* gamma0, unsigned int* gamma255, unsigned int* colour0,
                                unsigned int* colour255) {
    HXRInstance* inst = as_instance(handle);
    if (!inst) return 1501;
    if (!gamma0 || !gamma255 || !colour0 || !colour255) return 1502;
    if (!started(inst)) return 1508;
    const uint32_t n = HXRGetOutputColorNum(inst->colours);
    if (n < 1 || n > kHxrMaxInks) return 1503;
    *gamma0 = inst->lutGamma[0];
    *gamma255 = inst->lutGamma[1];
    for (uint32_t i = 0; i < n; ++i) {
        colour0[i] = inst->dotGamma[i][0];
        colour255[i] = inst->dotGamma[i][1];
    }
    if (*gamma0 == kNone || *gamma255 == kNone) return 1504;
    for (uint32_t i = 0; i < n; ++i)
        if (colour0[i] == kNone || colour255[i] == kNone) return 1505;
    for (uint32_t i = 1; i < n; ++i)
        if (colour0[i] != colour0[0] || colour255[i] != colour255[0]) return 1506;
    if (colour0[0] != *gamma0 || colour255[0] != *gamma255) return 1507;
    return 0;
}

unsigned int HXR_GetRHData(void* handle, void** data, unsigned int* size) {
    return rh_call(handle, data, size, 1700, [&](const HXRPackageOps* o, HXRInstance* inst, uint32_t* got) {
        const void* bytes = nullptr;
        const uint32_t r = o->getRHData ? o->getRHData(inst->rh, &bytes, got) : 1u;
        if (r == 0) *data = const_cast<void*>(bytes);
        return r;
    });
}

unsigned int HXR_GetRHCommonData(void* handle, void** data, unsigned int* size, unsigned int reserved) {
    return rh_call(handle, data, size, 1800, [&](const HXRPackageOps* o, HXRInstance* inst, uint32_t* got) {
        return o->getRHCommonData ? o->getRHCommonData(inst->rh, data, got, reserved, inst->memory) : 1u;
    });
}

unsigned int HXR_GetRHLutData(void* handle, void** data, unsigned int* size, unsigned int kind) {
    return rh_call(handle, data, size, 1900, [&](const HXRPackageOps* o, HXRInstance* inst, uint32_t* got) {
        return o->getRHLutData ? o->getRHLutData(inst->rh, data, got, kind, inst->memory) : 1u;
    });
}

unsigned int HXR_GetRHDitherData(void* handle, void** data, unsigned int* size, unsigned int kind) {
    return rh_call(handle, data, size, 2000, [&](const HXRPackageOps* o, HXRInstance* inst, uint32_t* got) {
        return o->getRHDitherData ? o->getRHDitherData(inst->rh, data, got, kind, inst->memory) : 1u;
    });
}

unsigned int HXR_GetRHUBECData(void* handle, void** data, unsigned int* size, unsigned int kind) {
    return rh_call(handle, data, size, 2100, [&](const HXRPackageOps* o, HXRInstance* inst, uint32_t* got) {
        return o->getRHUBECData ? o->getRHUBECData(inst->rh, data, got, kind, inst->memory) : 1u;
    });
}

unsigned int HXR_GetErrorInfo(char** message) { return HXRGetErrorInfo(message); }

unsigned int HXR_GetColorConvertData(void*) { return kHxrColorConvertDataAlways; }

// ---------------------------------------------------------------- bridge

unsigned int A_OvhtHXR_GetDefaultValue(_HXR_OPTION_INFO* option) { return HXR_GetDefaultValue(option); }
unsigned int A_OvhtHXR_GetOutputColorOrderRough(int inkSet, signed char* codes, const HXRServiceTable* services) {
    return HXR_GetOutputColorOrderRough(inkSet, codes, services);
}
unsigned int A_OvhtHXR_CreateInstance(void** handle, const _HXR_IMAGE_INFO* image, const _HXR_HALFTONE_INFO* halftone,
                                      const _HXR_OPTION_INFO* option, const HXRServiceTable* services, int flags) {
    return HXR_CreateInstance(handle, image, halftone, option, services, flags);
}
void A_OvhtHXR_DeleteInstance(void* instance) { HXR_DeleteInstance(instance); }
unsigned int A_OvhtHXR_SetBRSFunc(void* instance, const void* brs) { return HXR_SetBRSFunc(instance, brs); }
unsigned int A_OvhtHXR_ResetSwitchingPos(void* instance, const int* switching) {
    return HXR_ResetSwitchingPos(instance, switching);
}
unsigned int A_OvhtHXR_StartPage(void* instance, const int* switching) { return HXR_StartPage(instance, switching); }
unsigned int A_OvhtHXR_Halftone(void* instance, unsigned char** out, int* anyDot, const void** planes,
                                const unsigned char** attributes, int pixels, int xOffset, int lines, int firstRow) {
    return HXR_Halftone(instance, out, anyDot, planes, attributes, pixels, xOffset, lines, firstRow);
}
unsigned int A_OvhtHXR_ConvertColor(void* instance, unsigned char** out, int* start, int* length, const void** planes,
                                    const unsigned char** attributes, int pixels, int xOffset, int lines,
                                    int firstRow) {
    return HXR_ConvertColor(instance, out, start, length, planes, attributes, pixels, xOffset, lines, firstRow);
}
unsigned int A_OvhtHXR_EndPage(void* instance) { return HXR_EndPage(instance); }
unsigned int A_OvhtHXR_GetOutputColorOrder(void* instance, signed char* codes) {
    return HXR_GetOutputColorOrder(instance, codes);
}
unsigned int A_OvhtHXR_GetOutputBufferSize(void* instance, int* sizes) {
    return HXR_GetOutputBufferSize(instance, sizes);
}
unsigned int A_OvhtHXR_GetDotCount(void* instance, unsigned int* counts, int shift) {
    return HXR_GetDotCount(instance, counts, shift);
}
unsigned int A_OvhtHXR_GetSlut(void* instance, unsigned char** data, int* size) {
    return HXR_GetSlut(instance, data, size);
}
