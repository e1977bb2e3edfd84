// Fuzzes the printer-side packages built from hostile resources: the default
// model's halftone resources are served, with the one the first input byte
// names replaced by the rest of the input; the job's read controller reads
// them, and the SLUT and RH packages are built and every RH getter asked.
//   0: a 32-wide plain mask (four-mask switch, halftone type 3)
//   1: a 32-wide UBEC mask (UBEC switch, halftone type 5)
//   2: the colour SML resource
//   3: the 3D colour table
//   4: the six-ink monochrome-photo table (ink set 3)
#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_packages.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr_fuzz_services.h"
#include "support/model_dither.h"
#include "support/model_index.h"

#include <map>

namespace {

using namespace hxr_fuzz;
using namespace ovcg_test;

struct Served {
    std::map<int, std::vector<uint8_t>> resources;
};

void* get_served(void* context, unsigned int* size, int id, int) {
    const auto* s = static_cast<const Served*>(context);
    const auto it = s->resources.find(id);
    if (it == s->resources.end()) return nullptr;
    const std::vector<uint8_t>& b = it->second;
    void* p = std::malloc(b.empty() ? 1 : b.size());
    if (p && !b.empty()) std::memcpy(p, b.data(), b.size());
    *size = unsigned(b.size());
    return p;
}

struct Target {
    int resource;
    uint32_t ink_set, doc, ht;
};
constexpr Target kTargets[] = {
    {kModelMask32Ids[1], 3, kModelTnmxDocType, 3},
    {kModelMaskUbecId, 3, kModelTnmxDocType, 5},
    {kModelSmlColourId + 2, 3, kModelTnmxDocType, 5},
    {kModelLut3dId, 1, 0, 5},
    {kModelLutTnmx6Id, 3, kModelTnmxDocType, 3},
};
constexpr size_t kTargetCount = sizeof kTargets / sizeof kTargets[0];

// Built once: the halftone resources of the model cut down to its first
// media, and each target's print-mode query. Every input makes the read
// controller parse the whole index, and the default model's index has rows
// for dozens of media; the index parser has a fuzz target of its own.
struct Setup {
    std::map<int, std::vector<uint8_t>> resources;
    _HXR_HALFTONE_INFO query[kTargetCount];
};

const Setup& setup() {
    static const Setup s = [] {
        Setup out;
        ModelDescription model = default_model();
        model.media.resize(1);
        const ResWriter w = build_model(model);
        for (const auto& rec : w.records())
            if (rec.type == kResTypeHalftone) out.resources[int(rec.id) - 100] = rec.data;
        const std::vector<ModelPrintMode> modes = model_print_modes(model);
        for (size_t i = 0; i < kTargetCount; ++i) {
            const Target& t = kTargets[i];
            ModelPrintMode m{};
            for (const ModelPrintMode& x : modes)
                if (x.doc_type == t.doc && x.sub_type == kModelNarrowSubType && x.ht_type == t.ht && x.out_bits == 2) {
                    m = x;
                    break;
                }
            out.query[i] = {t.ink_set, m.media, m.doc_type, m.sub_type, m.ht_type, m.h_res, m.v_res, 2, 0, 1, 1};
        }
        return out;
    }();
    return s;
}

void build(size_t target, const std::vector<uint8_t>& resource) {
    const Target& t = kTargets[target];
    Served served{setup().resources};
    served.resources[t.resource] = resource;
    HXRServiceTable svc{alloc,   release,  get_served,  free_resource, &served,    copy,      fill,
                        compare, str_copy, str_compare, str_ncompare,  str_length, to_integer};
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return;
    HXRResReadController* ctrl = HXRCreateResReadController(&svc, mm);
    const _HXR_HALFTONE_INFO& q = setup().query[target];
    _HXR_OPTION_INFO option{};
    option.tone[0] = -1, option.tone[9] = 220, option.secondDocType = 0xFFFFFFFF, option.channelMode1 = 0xFFFFFFFF;
    std::fill(option.colorValue, option.colorValue + 12, 1024u);
    HXRClrMgr* clr = nullptr;
    if (ctrl && HXRFindPrintMode(ctrl, &q, &option) == 0)
        clr = HXRCreateClrMgr(t.ink_set, 2, HXRGetBlackInkCode(ctrl), mm);
    if (clr && HXRReadAllResource(ctrl, clr) == 0) {
        HXRDataSetOptions values{};
        values.colorWords[0] = values.colorWords[1] = option.colorValue;
        const bool tnmx = t.doc == kModelTnmxDocType;
        HXRHtCtrlAnswers a{};
        a.needLut = 1, a.lutType = tnmx ? 17 : 3, a.lutGridNum = tnmx ? 256 : 32, a.smlGradNum = 256, a.needDth = 1;
        HXRCreateTRAQ3Data(ctrl, &a, &q, &option, &values, &svc, clr, mm, "DUTY_FACTOR_MODE");
        if (HXRRHData* rh = HXRCreateRHData(ctrl, &q, &option, &values, nullptr, &svc, clr, mm, "DUTY_FACTOR_MODE")) {
            void* d = nullptr;
            uint32_t n = 0;
            for (uint32_t kind = 0; kind < 3; ++kind) HXRGetRHLutData(rh, &d, &n, kind, mm);
            HXRGetRHDitherData(rh, &d, &n, 0, mm);
            HXRGetRHUBECData(rh, &d, &n, 0, mm);
            HXRGetRHCommonData(rh, &d, &n, 0, mm);
        }
    }
    if (ctrl) HXRDeleteResReadController(ctrl);
    HXRDeleteMemMgr(mm);
    HXRSetErrorInfo(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    build(data[0] % kTargetCount, std::vector<uint8_t>(data + 1, data + size));
    return 0;
}
